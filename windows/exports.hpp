// The rules all windows' exports share: a name's suffix, the largest picture, the trajectory CSV.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/step_log.hpp"
#include "storage/text_file.hpp"

namespace quobel::windows {

// Beyond this many pixels on a side a PNG takes gigabytes to form and to write.
inline constexpr int largest_image_side = 16384;

// Why a picture of `width` x `height` pixels cannot be exported, or empty when it can. The sides
// come as reals, so that a scale of any size is refused before a size is formed from it.
std::string image_size_refusal(double width, double height);

// The name with "." and `suffix` added when its last part has no suffix of its own: "plot" gives
// "plot.png", while "plot.png", "plot.old" and ".plot" stay as they are.
std::string with_suffix(std::string_view name, std::string_view suffix);

// Writes the points to the file `name`, replacing it only once the whole text is on disk; no
// points are refused with `nothing_to_export` as the reason.
storage::FileOutcome export_trajectory_csv(const std::vector<model::TrajectoryPoint>& points,
                                           const std::string& name,
                                           std::string_view nothing_to_export);

}  // namespace quobel::windows
