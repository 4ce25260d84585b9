// The rules every window's exports share.
#include "windows/exports.hpp"

#include <sstream>

#include "storage/trajectory_csv.hpp"

namespace quobel::windows {

std::string image_size_refusal(double width, double height) {
    // Written so that a side that is not a number is refused too.
    const auto fits = [](double side) { return side >= 1 && side <= largest_image_side; };
    if (fits(width) && fits(height)) {
        return {};
    }
    std::ostringstream text;
    text << "A picture of " << width << " x " << height
         << " pixels cannot be exported: each side must be from 1 to " << largest_image_side
         << " pixels.";
    return text.str();
}

std::string with_suffix(std::string_view name, std::string_view suffix) {
    const std::size_t slash = name.find_last_of('/');
    const std::string_view last_part =
        slash == std::string_view::npos ? name : name.substr(slash + 1);
    if (suffix.empty() || last_part.empty() || last_part.find('.') != std::string_view::npos) {
        return std::string(name);
    }
    return std::string(name) + '.' + std::string(suffix);
}

storage::FileOutcome export_trajectory_csv(const std::vector<model::TrajectoryPoint>& points,
                                           const std::string& name,
                                           std::string_view nothing_to_export) {
    if (points.empty()) {
        return {false, std::string(nothing_to_export)};
    }
    return storage::save_trajectory_csv(points, name);
}

}  // namespace quobel::windows
