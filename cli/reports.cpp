// What quobel-cli prints: the exponents and the long run, as JSON or as readable text.
#include "cli/reports.hpp"

#include <cmath>
#include <string>
#include <string_view>

#include "analysis/log_odds_bins.hpp"
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

std::string_view end_text(analysis::LongRunEnd end) {
    switch (end) {
        case analysis::LongRunEnd::finished:
            return "finished";
        case analysis::LongRunEnd::cancelled:
            return "cancelled";
        case analysis::LongRunEnd::not_finite:
            return "not finite";
        case analysis::LongRunEnd::no_map:
            break;
    }
    return "no map";
}

// The occupied bins of the log-odds histogram, from the lower edge of the first in log-odds.
std::string log_odds_json(const analysis::LongRunResult& r) {
    const auto& counts = r.log_odds_histogram;
    const auto occupied = [](std::int64_t count) { return count > 0; };
    const auto first = std::find_if(counts.begin(), counts.end(), occupied);
    const auto last = std::find_if(counts.rbegin(), counts.rend(), occupied).base();
    const double low =
        first == counts.end()
            ? 0.0
            : analysis::log_odds_bin_low_edge(static_cast<std::size_t>(first - counts.begin()));
    const std::vector<std::int64_t> shown(first, first == counts.end() ? first : last);
    return "{\"low\": " + json_number(low) +
           ", \"width\": " + json_number(analysis::log_odds_bin_width) +
           ", \"counts\": " + json_list(shown, count_text) +
           ", \"at_0\": " + count_text(r.at_boundary[0]) +
           ", \"at_1\": " + count_text(r.at_boundary[1]) + "}";
}

std::string absorbed_json(const analysis::LongRunResult& r) {
    for (int side = 0; side < 2; ++side) {
        const std::int64_t step = r.boundaries[static_cast<std::size_t>(side)].absorbed;
        if (step >= 0) {
            return "{\"boundary\": " + std::to_string(side) + ", \"step\": " + count_text(step) +
                   "}";
        }
    }
    return "null";
}

std::string first_within_json(const analysis::LongRunResult& r) {
    std::vector<std::string> entries;
    for (int side = 0; side < 2; ++side) {
        for (std::size_t level = 0; level < analysis::nearness.size(); ++level) {
            const std::int64_t step =
                r.boundaries[static_cast<std::size_t>(side)].first_within[level];
            entries.push_back("{\"boundary\": " + std::to_string(side) +
                              ", \"within\": " + json_number(analysis::nearness[level]) +
                              ", \"step\": " + (step >= 0 ? count_text(step) : "null") + "}");
        }
    }
    return json_list(entries, [](const std::string& e) { return e; });
}

std::vector<std::string> flag_texts(const std::vector<analysis::Flag>& flags) {
    std::vector<std::string> texts;
    texts.reserve(flags.size());
    for (const analysis::Flag& flag : flags) {
        texts.push_back(flag.text);
    }
    return texts;
}

// A run's flags: its parameters', then the run's own doubt about its error bars.
std::vector<std::string> flag_texts(const analysis::LongRunResult& r,
                                    const std::vector<analysis::Flag>& flags) {
    std::vector<std::string> texts = flag_texts(flags);
    if (const std::string warning = analysis::error_bar_warning(r); !warning.empty()) {
        texts.push_back(warning);
    }
    return texts;
}

std::string flags_json(const std::vector<std::string>& flags) {
    return json_list(flags, json_string);
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
        out << "{\"lambda_0\": " << json_number(e.lambda_0)
            << ", \"lambda_1\": " << json_number(e.lambda_1)
            << ", \"verdict\": " << json_string(analysis::verdict_text(e.verdict))
            << ", \"explanation\": " << json_string(analysis::verdict_explanation(e))
            << ", \"flags\": " << flags_json(flag_texts(e.flags))
            << ", \"kelly\": " << json_list(e.kelly, json_number) << ", \"maps\": "
            << json_list(e.terms,
                         [](const analysis::MapTerms& t) {
                             return "{\"map\": " + std::to_string(t.map) +
                                    ", \"chance\": " + json_number(t.chance) +
                                    ", \"slope_at_0\": " + json_number(t.slope_at_0) +
                                    ", \"slope_at_1\": " + json_number(t.slope_at_1) + "}";
                         })
            << "}\n";
        return;
    }
    out << "Lambda_0: " << number_text(e.lambda_0) << "\n"
        << "Lambda_1: " << number_text(e.lambda_1) << "\n"
        << "verdict: " << analysis::verdict_text(e.verdict) << "\n"
        << "  " << analysis::verdict_explanation(e) << "\n";
    flags_text(flag_texts(e.flags), out);
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
    const analysis::LongRunResult& r = e.pooled;
    std::vector<std::int64_t> draws(r.draws.begin(),
                                    r.draws.begin() + std::clamp(r.maps.count, 0, 3));
    out << "{\"end\": " << json_string(end_text(r.end)) << ", \"steps\": " << r.steps_taken
        << ", \"recorded\": " << r.recorded << ", \"start\": " << json_number(r.start)
        << ", \"last\": " << json_number(r.last)
        << ", \"histogram\": " << json_list(r.histogram, count_text) << ", \"below\": " << r.below
        << ", \"above\": " << r.above << ", \"log_odds_histogram\": " << log_odds_json(r)
        << ", \"mean_r\": " << json_number(r.mean_r)
        << ", \"mean_r_stderr\": " << json_number(r.mean_r_error)
        << ", \"lyapunov\": " << json_number(r.lyapunov)
        << ", \"lyapunov_stderr\": " << json_number(r.lyapunov_error);
    if (e.chains > 1) {
        out << ", \"chains\": " << e.chains
            << ", \"mean_r_chain_error\": " << json_number(e.mean_r_chain_error)
            << ", \"lyapunov_chain_error\": " << json_number(e.lyapunov_chain_error);
    }
    out << ", \"errors_may_be_too_small\": " << (r.errors_may_be_too_small ? "true" : "false")
        << ", \"lambda_0\": " << json_number(r.boundary_lambda[0])
        << ", \"lambda_1\": " << json_number(r.boundary_lambda[1])
        << ", \"draws\": " << json_list(draws, count_text)
        << ", \"absorbed\": " << absorbed_json(r);
    if (e.chains > 1) {
        out << ", \"absorbed_chains\": " << json_list(e.absorbed_chains, count_text);
    }
    out << ", \"first_within\": " << first_within_json(r)
        << ", \"flags\": " << flags_json(flag_texts(r, flags)) << "}\n";
}

void run_text(const analysis::EnsembleResult& e, const std::vector<analysis::Flag>& flags,
              std::ostream& out) {
    const analysis::LongRunResult& r = e.pooled;
    out << "end: " << end_text(r.end) << "\nsteps: " << r.steps_taken
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
    flags_text(flag_texts(r, flags), out);
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
