// A trajectory of the random iteration as a CSV file: one line per step with the map and the point.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/step_log.hpp"
#include "storage/text_file.hpp"

namespace quobel::storage {

using model::TrajectoryPoint;

// The header line "step,map,r", then one line per point. r is written in the shortest form that
// reads back as the same double, so a file read back gives the very same trajectory.
std::string trajectory_csv_text(const std::vector<TrajectoryPoint>& points);

struct TrajectoryRead {
    std::optional<std::vector<TrajectoryPoint>> points;
    std::string reason;  // why the text was refused, when points is empty
};

// Accepts LF or CRLF line ends and a missing last line end; refuses anything else that does not
// follow the form above, naming the line.
TrajectoryRead read_trajectory_csv(std::string_view text);

// Saves the file safely, as replace_file (storage/text_file.hpp) says.
FileOutcome save_trajectory_csv(const std::vector<TrajectoryPoint>& points,
                                const std::string& name);

// Reads the file whole; refuses files too large to be one of ours.
TrajectoryRead load_trajectory_csv(const std::string& name);

}  // namespace quobel::storage
