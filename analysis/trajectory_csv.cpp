// Writing and reading trajectory CSV files.
#include "analysis/trajectory_csv.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace quobel::analysis {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view header = "step,map,r";

// A trajectory of the full 100 million steps would be a few gigabytes; what the program exports
// is far smaller, and reading a huge file whole would only hold the window up.
constexpr std::uintmax_t largest_file = std::uintmax_t{256} << 20;

std::string in_quotes(std::string_view name) {
    return "\"" + std::string(name) + "\"";
}

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

CsvOutcome save_trajectory_csv(const std::vector<TrajectoryPoint>& points,
                               const std::string& name) {
    if (name.empty()) {
        return {false, "No file name given."};
    }
    std::error_code error;
    const fs::file_status status = fs::status(name, error);
    // mkstemp creates the file for its owner only: keep the permissions of the file replaced, or
    // give a new export those of any new file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode_t mode = 0666 & ~mask;
    if (fs::exists(status)) {
        if (!fs::is_regular_file(status)) {
            return {false, in_quotes(name) + " exists and is not a regular file."};
        }
        mode = static_cast<mode_t>(status.permissions() & fs::perms::mask);
    }
    // Write through a link to the file it names, so the link keeps working.
    fs::path target = name;
    if (fs::is_symlink(fs::symlink_status(target, error))) {
        target = fs::weakly_canonical(target, error);
        if (error) {
            return {false,
                    "Cannot follow the link " + in_quotes(name) + ": " + error.message() + "."};
        }
    }
    if (target.filename().empty()) {
        return {false, in_quotes(name) + " does not name a file."};
    }
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string temporary = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return {false, "Cannot create a file in " + in_quotes(folder.string()) + ": " +
                           std::strerror(errno) + "."};
    }
    const std::string text = trajectory_csv_text(points);
    std::string_view rest = text;
    int failure = 0;
    while (!rest.empty() && failure == 0) {
        const ssize_t wrote = ::write(fd, rest.data(), rest.size());
        if (wrote > 0) {
            rest.remove_prefix(static_cast<std::size_t>(wrote));
        } else if (wrote == 0 || errno != EINTR) {
            failure = wrote == 0 ? EIO : errno;
        }
    }
    if (failure == 0 && (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0)) {
        failure = errno;
    }
    if (::close(fd) != 0 && failure == 0) {
        failure = errno;
    }
    if (failure == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) {
        failure = errno;
    }
    if (failure != 0) {
        ::unlink(temporary.c_str());
        return {false, "Cannot write " + in_quotes(name) + ": " + std::strerror(failure) +
                           ". Any earlier file of that name is unchanged."};
    }
    return {true, {}};
}

TrajectoryRead load_trajectory_csv(const std::string& name) {
    std::error_code error;
    if (!fs::is_regular_file(name, error)) {
        return {std::nullopt, in_quotes(name) + " is not a regular file."};
    }
    const std::uintmax_t size = fs::file_size(name, error);
    if (error || size > largest_file) {
        return {std::nullopt, in_quotes(name) + " is too large to be a trajectory file."};
    }
    std::ifstream file(name, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!file && !file.eof()) {
        return {std::nullopt, "Cannot read " + in_quotes(name) + "."};
    }
    return read_trajectory_csv(text);
}

}  // namespace quobel::analysis
