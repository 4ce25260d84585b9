// What quobel-cli prints: the exponents and the long run, as JSON or as readable text.
#include "cli/reports.hpp"

#include <cmath>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "analysis/report_fields.hpp"
#include "sweep/sweep_csv.hpp"

namespace quobel::cli {

using sweep::number_text;

namespace {

// JSON texts: numbers in shortest round-trip form. JSON has no infinities and no NaN, and null
// would not tell them apart, so those are the strings "inf", "-inf" and "nan", which a reader's
// float() takes back.
std::string json_number(double value) {
    return std::isfinite(value) ? number_text(value) : "\"" + number_text(value) + "\"";
}

std::string json_string(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            constexpr char digits[] = "0123456789abcdef";
            out += "\\u00";
            out += digits[byte >> 4U];
            out += digits[byte & 0xfU];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

template <class T, class Format>
std::string json_list(const T& values, Format format) {
    std::string out = "[";
    bool first = true;
    for (const auto& value : values) {
        out += (first ? "" : ", ") + format(value);
        first = false;
    }
    return out + "]";
}

std::string count_text(std::int64_t value) {
    return std::to_string(value);
}

std::string json_text(const analysis::FieldValue& value);

// The fields as one JSON object, in their order.
std::string json_object(const analysis::Fields& fields) {
    std::string out = "{";
    for (const analysis::Field& field : fields) {
        out +=
            (out.size() > 1 ? ", " : "") + json_string(field.name) + ": " + json_text(field.value);
    }
    return out + "}";
}

std::string json_text(const analysis::FieldValue& value) {
    return std::visit(
        [](const auto& v) -> std::string {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, std::nullptr_t>) {
                return "null";
            } else if constexpr (std::is_same_v<V, bool>) {
                return v ? "true" : "false";
            } else if constexpr (std::is_same_v<V, std::int64_t>) {
                return count_text(v);
            } else if constexpr (std::is_same_v<V, double>) {
                return json_number(v);
            } else if constexpr (std::is_same_v<V, std::string>) {
                return json_string(v);
            } else if constexpr (std::is_same_v<V, analysis::Fields>) {
                return json_object(v);
            } else {
                return json_list(v, [](const auto& item) { return json_text(item); });
            }
        },
        value);
}

void flags_text(const std::vector<std::string>& flags, std::ostream& out) {
    for (const std::string& flag : flags) {
        out << "flag: " << flag << "\n";
    }
}

// After a figure an absorption settled: the note, with a space before it.
std::string spaced(const std::string& note) {
    return note.empty() ? note : " " + note;
}

// Of several chains, after the batch-means error the one from the chains' spread.
std::string chain_error(const analysis::EnsembleResult& e, double error) {
    if (e.chains <= 1) {
        return {};
    }
    return " (batch means), +- " + number_text(error) + " (between chains)";
}

}  // namespace

void analysis_report(const analysis::BoundaryExponents& e, bool json, std::ostream& out) {
    if (json) {
        out << json_object(analysis::exponents_fields(e)) << "\n";
        return;
    }
    out << "Lambda_0: " << number_text(e.lambda_0) << "\n"
        << "Lambda_1: " << number_text(e.lambda_1) << "\n"
        << "verdict: " << analysis::verdict_text(e.verdict) << "\n"
        << "  " << analysis::verdict_explanation(e) << "\n";
    flags_text(analysis::flag_texts(e.flags), out);
    out << "kelly:";
    for (const double share : e.kelly) {
        out << " " << number_text(share);
    }
    out << "\n";
    for (const analysis::MapTerms& t : e.terms) {
        out << "map " << t.map << ": chance " << number_text(t.chance) << ", slope at 0 "
            << number_text(t.slope_at_0) << ", slope at 1 " << number_text(t.slope_at_1) << "\n";
    }
}

void run_json(const analysis::EnsembleResult& e, const std::vector<analysis::Flag>& flags,
              std::ostream& out) {
    out << json_object(analysis::run_fields(e, flags)) << "\n";
}

void run_text(const analysis::EnsembleResult& e, const std::vector<analysis::Flag>& flags,
              std::ostream& out) {
    const analysis::LongRunResult& r = e.pooled;
    out << "end: " << analysis::end_text(r.end) << "\nsteps: " << r.steps_taken
        << "\nrecorded: " << r.recorded << "\n";
    if (e.chains > 1) {
        out << "chains: " << e.chains << "\n";
    }
    // Points that left [0, 1] count in no bin of the histogram and pull the mean outside it: say
    // how many, and why they could.
    if (r.below > 0) {
        out << "below 0: " << r.below << "\n";
    }
    if (r.above > 0) {
        out << "above 1: " << r.above << "\n";
    }
    flags_text(analysis::flag_texts(r, flags), out);
    out << "last: " << number_text(r.last) << "\nmean r: " << number_text(r.mean_r) << " +- "
        << number_text(r.mean_r_error) << chain_error(e, e.mean_r_chain_error)
        << spaced(analysis::ensemble_absorbed_average_note(e))
        << "\nLyapunov exponent: " << number_text(r.lyapunov) << " +- "
        << number_text(r.lyapunov_error) << chain_error(e, e.lyapunov_chain_error) << "\ndraws:";
    for (int s = 0; s < std::clamp(r.maps.count, 0, 3); ++s) {
        out << " " << r.draws[static_cast<std::size_t>(s)];
    }
    out << "\n";
    for (int side = 0; side < 2; ++side) {
        const auto& b = r.boundaries[static_cast<std::size_t>(side)];
        for (std::size_t level = 0; level < analysis::nearness.size(); ++level) {
            out << "within " << number_text(analysis::nearness[level]) << " of " << side << ": "
                << (b.first_within[level] >= 0 ? "step " + count_text(b.first_within[level])
                                               : std::string("never"))
                << "\n";
        }
    }
    if (const std::string absorption = analysis::ensemble_absorption_text(e); !absorption.empty()) {
        out << "absorbed: " << absorption << "\n";
    }
    out << "histogram:";
    for (const std::int64_t count : r.histogram) {
        out << " " << count;
    }
    out << "\n";
}
}  // namespace quobel::cli
