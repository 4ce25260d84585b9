// The sweep's CSV text and the merge of its shards.
#include "sweep/sweep_csv.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace quobel::sweep {

namespace {

constexpr std::string_view settings_start = "# quobel-cli sweep; ";
constexpr std::string_view points_start = "; points [";

// The varied parameters' names hold commas, so they are quoted.
std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string integer_text(std::int64_t value) {
    return std::to_string(value);
}

// The points part of a settings line: [first,last) of size.
struct Points {
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::int64_t size = 0;
};

std::optional<std::int64_t> read_integer(std::string_view& text, char end) {
    std::int64_t value = 0;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || stop == text.data() + text.size() || *stop != end) {
        return std::nullopt;
    }
    text.remove_prefix(static_cast<std::size_t>(stop - text.data()) + 1);
    return value;
}

std::optional<Points> read_points(std::string_view text) {
    Points points;
    const auto first = read_integer(text, ',');
    const auto last = first ? read_integer(text, ')') : std::nullopt;
    if (!last || !text.starts_with(" of ")) {
        return std::nullopt;
    }
    text.remove_prefix(4);
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), points.size);
    if (error != std::errc() || stop != text.data() + text.size()) {
        return std::nullopt;
    }
    points.first = *first;
    points.last = *last;
    if (points.first < 0 || points.first > points.last || points.last > points.size) {
        return std::nullopt;
    }
    return points;
}

struct Shard {
    std::string name;
    std::string settings;  // the settings line up to the points
    Points points;
    std::string header;
    std::string_view rows;  // whole lines
};

}  // namespace

std::string number_text(double value) {
    // NaN has a sign bit that means nothing; one spelling keeps files and outputs comparable.
    if (std::isnan(value)) {
        return "nan";
    }
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return {buffer, end};
}

std::uint64_t parameters_fingerprint(const model::ModelState& model) {
    // FNV-1a over the bits of the values.
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    const auto add = [&hash](double value) {
        const auto bits = std::bit_cast<std::uint64_t>(value);
        for (int byte = 0; byte < 8; ++byte) {
            hash = (hash ^ ((bits >> (8 * byte)) & 0xffU)) * 0x100000001b3ULL;
        }
    };
    add(model.num_maps);
    add(model.num_stocks);
    const int maps = model.maps_in_tables();
    const int stocks = model.stocks_in_tables();
    for (int s = 1; s <= maps; ++s) {
        for (int k = 1; k <= stocks; ++k) {
            add(model.R(s, k).value());
            add(model.la1(s, k).value());
            add(model.la2(s, k));
        }
        add(model.prob(s));
    }
    return hash;
}

std::string settings_line(const model::ModelState& model, const SweepSettings& settings,
                          std::int64_t first, std::int64_t last) {
    char fingerprint[17];
    const std::uint64_t hash = parameters_fingerprint(model);
    for (int digit = 0; digit < 16; ++digit) {
        fingerprint[digit] = "0123456789abcdef"[(hash >> (60 - 4 * digit)) & 0xfU];
    }
    fingerprint[16] = '\0';
    std::string line(settings_start);
    line += "parameters ";
    line += fingerprint;
    for (const Axis& axis : settings.axes) {
        line += "; vary " + parameter_name_text(axis.name) + "=" + number_text(axis.from) + ":" +
                number_text(axis.to) + ":" + integer_text(axis.count);
    }
    line += "; steps " + integer_text(settings.run.steps);
    line += "; burn-in " + integer_text(settings.run.burn_in);
    line += "; seed " + std::to_string(settings.run.seed);
    line += "; start " + number_text(settings.start);
    line += "; bins " + integer_text(settings.run.bins);
    line += std::string(points_start) + integer_text(first) + "," + integer_text(last) + ") of " +
            integer_text(grid_size(settings)) + "\n";
    return line;
}

std::string header_line(const SweepSettings& settings) {
    std::string line;
    for (const Axis& axis : settings.axes) {
        line += quoted(parameter_name_text(axis.name)) + ",";
    }
    line += "lambda_0,lambda_1,verdict";
    if (settings.run.steps > 0) {
        line += ",mean_r,mean_r_stderr,lyapunov,lyapunov_stderr";
        if (settings.axes.size() == 1) {
            for (int bin = 1; bin <= settings.run.bins; ++bin) {
                line += ",density_" + std::to_string(bin);
            }
        }
    }
    return line + "\n";
}

std::string row_line(const SweepSettings& settings, const PointResult& point) {
    std::string line;
    for (std::size_t a = 0; a < settings.axes.size(); ++a) {
        line += number_text(point.values[a]) + ",";
    }
    line += number_text(point.lambda_0) + "," + number_text(point.lambda_1) + ",";
    line += analysis::verdict_text(point.verdict);
    if (settings.run.steps > 0) {
        for (double value :
             {point.mean_r, point.mean_r_error, point.lyapunov, point.lyapunov_error}) {
            line += "," + number_text(value);
        }
        if (settings.axes.size() == 1) {
            for (double value : point.density) {
                line += "," + number_text(value);
            }
        }
    }
    return line + "\n";
}

namespace {

// A shard's parts, or why the text is not a whole shard of a sweep.
struct ShardRead {
    std::optional<Shard> shard;
    std::string why;
};

ShardRead read_shard(const std::string& name, const std::string& text) {
    const auto settings_end = text.find('\n');
    const auto header_end =
        settings_end == std::string::npos ? settings_end : text.find('\n', settings_end + 1);
    if (!text.starts_with(settings_start) || header_end == std::string::npos) {
        return {std::nullopt,
                "not a sweep file of quobel-cli (its first line names the settings)."};
    }
    const std::string_view settings(text.data(), settings_end);
    const auto points_at = settings.rfind(points_start);
    const auto points = points_at == std::string_view::npos
                            ? std::nullopt
                            : read_points(settings.substr(points_at + points_start.size()));
    if (!points) {
        return {std::nullopt, "its first line does not say which points of the grid it holds."};
    }
    Shard shard{name, std::string(settings.substr(0, points_at)), *points,
                text.substr(settings_end + 1, header_end - settings_end),
                std::string_view(text).substr(header_end + 1)};
    if (!shard.rows.empty() && !shard.rows.ends_with('\n')) {
        return {std::nullopt, "its last row is incomplete."};
    }
    const auto rows =
        static_cast<std::int64_t>(std::count(shard.rows.begin(), shard.rows.end(), '\n'));
    if (rows != points->last - points->first) {
        return {std::nullopt, "it holds " + std::to_string(rows) + " rows for " +
                                  std::to_string(points->last - points->first) + " points."};
    }
    return {std::move(shard), {}};
}

// The rows of shards of one sweep in grid order, refused unless they cover the grid exactly once.
// Empty shards cover nothing; the others must follow each other without gap or overlap.
MergeOutcome rows_in_grid_order(std::vector<Shard>& shards) {
    std::stable_sort(shards.begin(), shards.end(), [](const Shard& a, const Shard& b) {
        return a.points.first < b.points.first ||
               (a.points.first == b.points.first && a.points.last < b.points.last);
    });
    std::int64_t covered = 0;
    std::string rows;
    for (const Shard& shard : shards) {
        if (shard.points.first == shard.points.last) {
            continue;
        }
        if (shard.points.first != covered) {
            return {std::nullopt, shard.points.first < covered
                                      ? shard.name + ": its points overlap those of another shard."
                                      : "no shard holds the points [" + std::to_string(covered) +
                                            "," + std::to_string(shard.points.first) +
                                            ") of the grid."};
        }
        covered = shard.points.last;
        rows += shard.rows;
    }
    const std::int64_t size = shards.front().points.size;
    if (covered != size) {
        return {std::nullopt, "no shard holds the points [" + std::to_string(covered) + "," +
                                  std::to_string(size) + ") of the grid."};
    }
    return {std::move(rows), {}};
}

}  // namespace

MergeOutcome merge_shards(const std::vector<std::pair<std::string, std::string>>& texts) {
    std::vector<Shard> shards;
    for (const auto& [name, text] : texts) {
        ShardRead read = read_shard(name, text);
        if (!read.shard) {
            return {std::nullopt, name + ": " + read.why};
        }
        const Shard& shard = *read.shard;
        if (!shards.empty() && (shard.settings != shards.front().settings ||
                                shard.points.size != shards.front().points.size ||
                                shard.header != shards.front().header)) {
            return {std::nullopt,
                    name + ": its settings differ from those of " + shards.front().name + "."};
        }
        shards.push_back(std::move(*read.shard));
    }
    if (shards.empty()) {
        return {std::nullopt, "no shards to merge."};
    }
    MergeOutcome rows = rows_in_grid_order(shards);
    if (!rows.text) {
        return rows;
    }
    const std::string size = std::to_string(shards.front().points.size);
    std::string text = shards.front().settings + std::string(points_start) + "0," + size + ") of " +
                       size + "\n" + shards.front().header + *rows.text;
    return {std::move(text), {}};
}

}  // namespace quobel::sweep
