// Writing and reading trajectory CSV files.
#include "storage/trajectory_csv.hpp"

#include <charconv>
#include <system_error>

#include "storage/text_file.hpp"

namespace quobel::storage {

namespace {

constexpr std::string_view header = "step,map,r";

// A trajectory of the full 100 million steps would be a few gigabytes; what the program exports
// is far smaller, and reading a huge file whole would only hold the window up.
constexpr std::size_t largest_file = std::size_t{256} << 20;

template <class Number>
bool parse_whole(std::string_view field, Number& value) {
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    return error == std::errc() && end == field.data() + field.size() && !field.empty();
}

// Without a precision to_chars gives the shortest text that reads back as the same double.
template <class Number>
void append_number(std::string& text, Number value) {
    char buffer[32];  // the longest double, -2.2250738585072014e-308, takes 24
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    text.append(buffer, error == std::errc() ? end : buffer);
}

// The next line without its line end; false when the text is used up.
bool next_line(std::string_view& text, std::string_view& line) {
    if (text.empty()) {
        return false;
    }
    const std::size_t end = text.find('\n');
    line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return true;
}

}  // namespace

std::string trajectory_csv_text(const std::vector<TrajectoryPoint>& points) {
    std::string text(header);
    text += '\n';
    for (const TrajectoryPoint& point : points) {
        append_number(text, point.step);
        text += ',';
        append_number(text, point.map);
        text += ',';
        append_number(text, point.r);
        text += '\n';
    }
    return text;
}

TrajectoryRead read_trajectory_csv(std::string_view text) {
    std::string_view line;
    if (!next_line(text, line) || line != header) {
        return {std::nullopt, "The first line is not the header \"step,map,r\"."};
    }
    std::vector<TrajectoryPoint> points;
    int number = 1;
    while (next_line(text, line)) {
        ++number;
        const std::size_t first = line.find(',');
        const std::size_t second =
            first == std::string_view::npos ? first : line.find(',', first + 1);
        TrajectoryPoint point;
        if (second == std::string_view::npos || !parse_whole(line.substr(0, first), point.step) ||
            !parse_whole(line.substr(first + 1, second - first - 1), point.map) ||
            !parse_whole(line.substr(second + 1), point.r)) {
            return {std::nullopt, "Line " + std::to_string(number) +
                                      " is not a step, a map and a point separated by commas."};
        }
        points.push_back(point);
    }
    return {std::move(points), {}};
}

FileOutcome save_trajectory_csv(const std::vector<TrajectoryPoint>& points,
                                const std::string& name) {
    return replace_file(name, trajectory_csv_text(points));
}

TrajectoryRead load_trajectory_csv(const std::string& name) {
    std::string text;
    const FileOutcome read = read_text_file(name, largest_file, "a trajectory file", text);
    if (!read.ok) {
        return {std::nullopt, read.reason};
    }
    return read_trajectory_csv(text);
}

}  // namespace quobel::storage
