// The sweep's CSV text, its settings file and the merge of its shards.
#include "sweep/sweep_csv.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>

#include "model/version.hpp"

namespace quobel::sweep {

namespace {

// A settings file opens with this and ends with the points line, which alone tells shards apart.
constexpr std::string_view settings_start = "{\n  \"program\": \"quobel-cli sweep\",\n";
constexpr std::string_view points_start = "  \"points\": {\"first\": ";

// A field as CSV reads it back: quoted, its quotes doubled, where it holds a comma, a quote or a
// line end.
std::string csv_field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string field = "\"";
    for (const char c : text) {
        field += c == '"' ? "\"\"" : std::string(1, c);
    }
    return field + "\"";
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

bool skip(std::string_view& text, std::string_view expected) {
    if (!text.starts_with(expected)) {
        return false;
    }
    text.remove_prefix(expected.size());
    return true;
}

// The points line's text after points_start: `first, "last": last, "of": size}` and the object's
// end.
std::optional<Points> read_points(std::string_view text) {
    Points points;
    const auto first = read_integer(text, ',');
    const auto last = first && skip(text, " \"last\": ") ? read_integer(text, ',') : std::nullopt;
    const auto size = last && skip(text, " \"of\": ") ? read_integer(text, '}') : std::nullopt;
    if (!size || text != "\n}\n") {
        return std::nullopt;
    }
    points.first = *first;
    points.last = *last;
    points.size = *size;
    if (points.first < 0 || points.first > points.last || points.last > points.size) {
        return std::nullopt;
    }
    return points;
}

// A JSON string; parameter names and versions hold no characters that need more than this.
std::string json_string(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "\"";
}

// A JSON number, or the string "inf", "-inf" or "nan" as quobel-cli's JSON spells those.
std::string json_number(double value) {
    return std::isfinite(value) ? number_text(value) : json_string(number_text(value));
}

struct Shard {
    ShardText* text = nullptr;
    std::string settings;  // the settings file up to the points line
    Points points;
    std::string header;
    std::uint64_t rows_at = 0;  // the offset of the first row
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

namespace {

// The points line that ends a settings file.
std::string points_line(std::int64_t first, std::int64_t last, std::int64_t size) {
    return std::string(points_start) + integer_text(first) + ", \"last\": " + integer_text(last) +
           ", \"of\": " + integer_text(size) + "}\n}\n";
}

}  // namespace

std::string settings_json(const model::ModelState& model, const SweepSettings& settings,
                          std::int64_t first, std::int64_t last) {
    char fingerprint[17];
    const std::uint64_t hash = parameters_fingerprint(model);
    for (int digit = 0; digit < 16; ++digit) {
        fingerprint[digit] = "0123456789abcdef"[(hash >> (60 - 4 * digit)) & 0xfU];
    }
    fingerprint[16] = '\0';
    std::string text(settings_start);
    text += "  \"version\": " + json_string(model::version) + ",\n";
    text += "  \"parameters\": " + json_string(fingerprint) + ",\n";
    text += "  \"vary\": [";
    for (std::size_t a = 0; a < settings.axes.size(); ++a) {
        const Axis& axis = settings.axes[a];
        text += std::string(a == 0 ? "" : ", ") +
                "{\"name\": " + json_string(parameter_name_text(axis.name)) +
                ", \"from\": " + json_number(axis.from) + ", \"to\": " + json_number(axis.to) +
                ", \"count\": " + integer_text(axis.count) + "}";
    }
    text += "],\n";
    text += "  \"steps\": " + integer_text(settings.run.steps) + ",\n";
    text += "  \"burn_in\": " + integer_text(settings.run.burn_in) + ",\n";
    text += "  \"seed\": " + std::to_string(settings.run.seed) + ",\n";
    // The rows depend on it: a reader comparing files of other versions learns why they differ.
    text += "  \"generator\": \"philox4x32-10 keyed by the seed, one chain per grid point\",\n";
    text += "  \"start\": " + json_number(settings.start) + ",\n";
    text += "  \"bins\": " + integer_text(settings.run.bins) + ",\n";
    return text + points_line(first, last, grid_size(settings));
}

std::string settings_file_name(const std::string& csv_name) {
    constexpr std::string_view csv = ".csv";
    if (csv_name.ends_with(csv)) {
        return csv_name.substr(0, csv_name.size() - csv.size()) + ".json";
    }
    return csv_name + ".json";
}

bool takes_settings_file(const std::string& name) {
    if (name == "-" || name.starts_with("/dev/") || name.starts_with("/proc/")) {
        return false;
    }
    struct stat info {};
    if (::stat(name.c_str(), &info) != 0) {
        return errno == ENOENT;  // a new file
    }
    return S_ISREG(info.st_mode);
}

storage::FileOutcome save_sweep(const std::string& name,
                                const std::function<void(const storage::TextPieces&)>& produce,
                                const std::string& settings) {
    if (!takes_settings_file(name)) {
        return storage::replace_file_with(name, produce);
    }
    const std::string settings_name = settings_file_name(name);
    std::error_code error;
    std::filesystem::remove(settings_name, error);
    if (error) {
        return {false, "Cannot remove the old settings file " + storage::in_quotes(settings_name) +
                           ": " + error.message() + "."};
    }
    storage::FileOutcome saved = storage::replace_file_with(name, produce);
    if (saved.ok) {
        saved = storage::replace_file(settings_name, settings);
    }
    return saved;
}

std::vector<std::string> column_names(const SweepSettings& settings) {
    std::vector<std::string> names;
    for (const Axis& axis : settings.axes) {
        names.push_back(parameter_name_text(axis.name));
    }
    for (const char* name : {"lambda_0", "lambda_1", "verdict"}) {
        names.emplace_back(name);
    }
    if (settings.run.steps > 0) {
        for (const char* name : {"mean_r", "mean_r_stderr", "lyapunov", "lyapunov_stderr"}) {
            names.emplace_back(name);
        }
        if (settings.axes.size() == 1) {
            for (int bin = 1; bin <= settings.run.bins; ++bin) {
                names.push_back("density_" + std::to_string(bin));
            }
        }
    }
    names.emplace_back("flags");
    return names;
}

std::string header_line(const SweepSettings& settings) {
    // The varied parameters' names are quoted, whether or not they hold a comma.
    const std::vector<std::string> names = column_names(settings);
    std::string line;
    for (std::size_t i = 0; i < names.size(); ++i) {
        line += (i == 0 ? "" : ",") +
                (i < settings.axes.size() ? "\"" + names[i] + "\"" : csv_field(names[i]));
    }
    return line + "\n";
}

std::string flags_text(const PointResult& point) {
    std::string text;
    for (const std::string& flag : point.flags) {
        text += (text.empty() ? "" : "; ") + flag;
    }
    return text;
}

std::vector<Cell> row_cells(const SweepSettings& settings, const PointResult& point) {
    std::vector<Cell> cells;
    for (std::size_t a = 0; a < settings.axes.size(); ++a) {
        cells.emplace_back(point.values[a]);
    }
    cells.emplace_back(point.lambda_0);
    cells.emplace_back(point.lambda_1);
    cells.emplace_back(std::string(analysis::verdict_text(point.verdict)));
    if (settings.run.steps > 0) {
        for (double value :
             {point.mean_r, point.mean_r_error, point.lyapunov, point.lyapunov_error}) {
            cells.emplace_back(value);
        }
        if (settings.axes.size() == 1) {
            cells.insert(cells.end(), point.density.begin(), point.density.end());
        }
    }
    cells.emplace_back(flags_text(point));
    return cells;
}

std::string row_line(const SweepSettings& settings, const PointResult& point) {
    std::string line;
    for (const Cell& cell : row_cells(settings, point)) {
        line += line.empty() ? "" : ",";
        const auto* number = std::get_if<double>(&cell);
        line += number ? number_text(*number) : csv_field(std::get<std::string>(cell));
    }
    return line + "\n";
}

namespace {

// Shards are read in pieces of this size: a merge holds one piece, and the header, at a time.
constexpr std::size_t piece_size = std::size_t{1} << 16;

// Far more than a header takes: ten thousand density columns make one of some 150 kB.
constexpr std::size_t longest_header = std::size_t{1} << 20;

constexpr std::string_view header_end = ",flags\n";

constexpr std::string_view not_a_sweep =
    "not a sweep file of quobel-cli (its first line is not a sweep's header).";

// Hands the text from `from` up to `to` or its end, whichever comes first, to `take` piece by
// piece; where it stopped.
std::uint64_t read_pieces(ShardText& text, std::uint64_t from, std::uint64_t to,
                          const std::function<void(std::string_view)>& take) {
    std::string buffer(piece_size, '\0');
    while (from < to) {
        const auto wanted =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), to - from));
        const std::size_t got = text.read_at(from, std::span(buffer.data(), wanted));
        if (got == 0) {
            break;
        }
        take(std::string_view(buffer.data(), got));
        from += got;
    }
    return from;
}

// The shard's header, its first line, read no further than it reaches; nullopt where the text
// cannot be a sweep's, which a first piece that does not open as a header already shows.
std::optional<std::string> read_header(ShardText& text) {
    std::string header;
    for (;;) {
        const std::size_t had = header.size();
        header.resize(had + piece_size);
        header.resize(had + text.read_at(had, std::span(header.data() + had, piece_size)));
        if (header.empty() || header.front() != '"') {
            return std::nullopt;  // a header opens with a varied parameter's quoted name
        }
        const auto end = header.find('\n');
        if (end != std::string::npos) {
            header.resize(end + 1);
            return header.ends_with(header_end) ? std::optional(std::move(header)) : std::nullopt;
        }
        if (header.size() == had || header.size() > longest_header) {
            return std::nullopt;
        }
    }
}

// A shard's parts, or why the text is not a shard of a sweep.
struct ShardRead {
    std::optional<Shard> shard;
    std::string why;
};

// The shard from its settings file's text and its header.
ShardRead read_shard(ShardText& text, const std::string& settings, std::string header) {
    const auto points_at = settings.rfind(points_start);
    const auto points =
        points_at == std::string::npos || !settings.starts_with(settings_start)
            ? std::nullopt
            : read_points(std::string_view(settings).substr(points_at + points_start.size()));
    if (!points) {
        return {std::nullopt,
                "its settings file is not a sweep's: it does not end with the points it holds."};
    }
    const std::uint64_t rows_at = header.size();
    return {Shard{&text, settings.substr(0, points_at), *points, std::move(header), rows_at}, {}};
}

// Why the shard does not hold one whole row for each of its points, or empty when it does. The
// rows are counted piece by piece, up to the end of the text.
std::string missing_rows(const Shard& shard, MergePlan::Rows& rows) {
    char last = '\n';
    rows.count = 0;
    rows.from = shard.rows_at;
    rows.to = read_pieces(
        *shard.text, shard.rows_at, std::numeric_limits<std::uint64_t>::max(),
        [&](std::string_view piece) {
            rows.count += static_cast<std::int64_t>(std::count(piece.begin(), piece.end(), '\n'));
            last = piece.back();
        });
    shard.text->release();
    if (last != '\n') {
        return "its last row is incomplete.";
    }
    if (rows.count != shard.points.last - shard.points.first) {
        return "it holds " + std::to_string(rows.count) + " rows for " +
               std::to_string(shard.points.last - shard.points.first) + " points.";
    }
    return {};
}

// Sorts the shards of one sweep into grid order; why they do not cover the grid exactly once, or
// empty when they do. Empty shards cover nothing; the others must follow each other without gap
// or overlap.
std::string grid_order_problem(std::vector<Shard>& shards) {
    std::stable_sort(shards.begin(), shards.end(), [](const Shard& a, const Shard& b) {
        return a.points.first < b.points.first ||
               (a.points.first == b.points.first && a.points.last < b.points.last);
    });
    std::int64_t covered = 0;
    for (const Shard& shard : shards) {
        if (shard.points.first == shard.points.last) {
            continue;
        }
        if (shard.points.first != covered) {
            return shard.points.first < covered
                       ? shard.text->name() + ": its points overlap those of another shard."
                       : "no shard holds the points [" + std::to_string(covered) + "," +
                             std::to_string(shard.points.first) + ") of the grid.";
        }
        covered = shard.points.last;
    }
    const std::int64_t size = shards.front().points.size;
    if (covered != size) {
        return "no shard holds the points [" + std::to_string(covered) + "," +
               std::to_string(size) + ") of the grid.";
    }
    return {};
}

// check_shards, with a failure to read a shard thrown. What each shard's settings file and header
// show is checked for all of them before any shard is read further.
MergeCheck check_shards_read(const std::vector<ShardText*>& texts) {
    std::vector<Shard> shards;
    for (ShardText* text : texts) {
        const std::string settings = text->settings();
        std::optional<std::string> header = read_header(*text);
        text->release();
        if (!header) {
            return {std::nullopt, text->name() + ": " + std::string(not_a_sweep)};
        }
        ShardRead read = read_shard(*text, settings, std::move(*header));
        if (!read.shard) {
            return {std::nullopt, text->name() + ": " + read.why};
        }
        const Shard& shard = *read.shard;
        if (!shards.empty() && (shard.settings != shards.front().settings ||
                                shard.points.size != shards.front().points.size ||
                                shard.header != shards.front().header)) {
            return {std::nullopt, text->name() + ": its settings differ from those of " +
                                      shards.front().text->name() + "."};
        }
        shards.push_back(std::move(*read.shard));
    }
    if (shards.empty()) {
        return {std::nullopt, "no shards to merge."};
    }
    if (std::string problem = grid_order_problem(shards); !problem.empty()) {
        return {std::nullopt, std::move(problem)};
    }
    MergePlan plan;
    plan.header = shards.front().header;
    plan.settings = shards.front().settings +
                    points_line(0, shards.front().points.size, shards.front().points.size);
    for (const Shard& shard : shards) {
        MergePlan::Rows rows;
        if (std::string problem = missing_rows(shard, rows); !problem.empty()) {
            return {std::nullopt, shard.text->name() + ": " + problem};
        }
        if (rows.count > 0) {
            rows.shard = shard.text;
            plan.rows.push_back(rows);
        }
    }
    return {std::move(plan), {}};
}

}  // namespace

MergeCheck check_shards(const std::vector<ShardText*>& shards) {
    try {
        return check_shards_read(shards);
    } catch (const MergeFailure& failure) {
        return {std::nullopt, failure.what()};
    }
}

void write_merged(const MergePlan& plan, const std::function<void(std::string_view)>& put) {
    put(plan.header);
    for (const MergePlan::Rows& rows : plan.rows) {
        std::int64_t count = 0;
        char last = '\n';
        const std::uint64_t end =
            read_pieces(*rows.shard, rows.from, rows.to, [&](std::string_view piece) {
                count += static_cast<std::int64_t>(std::count(piece.begin(), piece.end(), '\n'));
                last = piece.back();
                put(piece);
            });
        rows.shard->release();
        if (end != rows.to || count != rows.count || last != '\n') {
            throw MergeFailure(rows.shard->name() + ": it changed while it was merged.");
        }
    }
}

}  // namespace quobel::sweep
