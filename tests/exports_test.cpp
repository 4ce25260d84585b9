// Tests of the rules all windows' exports share: largest picture, suffix and trajectory CSV.
#include "windows/exports.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "storage/trajectory_csv.hpp"
#include "support/temp_folder.hpp"

namespace quobel::windows {
namespace {

TEST(Exports, PicturesFitFromOnePixelToTheLargestSide) {
    EXPECT_EQ(image_size_refusal(1, 1), "");
    EXPECT_EQ(image_size_refusal(largest_image_side, largest_image_side), "");
    EXPECT_EQ(image_size_refusal(497 * 8, 497 * 8), "");  // the plot at its largest scale

    EXPECT_EQ(image_size_refusal(20000, 300),
              "A picture of 20000 x 300 pixels cannot be exported: each side must be from 1 to "
              "16384 pixels.");
    // Either side alone is enough to refuse, and so is a side below one pixel.
    for (const auto& [width, height] :
         {std::pair{300.0, 16385.0}, std::pair{16385.0, 300.0}, std::pair{0.5, 300.0},
          std::pair{300.0, 0.0}, std::pair{-300.0, 300.0}}) {
        EXPECT_NE(image_size_refusal(width, height), "") << width << " x " << height;
    }
    // A scale that overflows every integer, or is no number at all, is refused as well.
    EXPECT_NE(image_size_refusal(400 * 1e300, 300 * 1e300), "");
    EXPECT_NE(image_size_refusal(std::numeric_limits<double>::infinity(), 300), "");
    EXPECT_NE(image_size_refusal(std::nan(""), 300), "");
}

TEST(Exports, ANameWithoutASuffixGetsTheKindsSuffix) {
    EXPECT_EQ(with_suffix("plot", "png"), "plot.png");
    EXPECT_EQ(with_suffix("pictures/plot", "png"), "pictures/plot.png");
    // A dot in a folder's name is no suffix of the file.
    EXPECT_EQ(with_suffix("run.2/trajectory", "csv"), "run.2/trajectory.csv");

    // A suffix of the user's own is kept, even one of another kind.
    EXPECT_EQ(with_suffix("plot.png", "png"), "plot.png");
    EXPECT_EQ(with_suffix("plot.old", "png"), "plot.old");
    EXPECT_EQ(with_suffix("pictures/.plot", "png"), "pictures/.plot");
    EXPECT_EQ(with_suffix("plot", ""), "plot");
}

TEST(Exports, ATrajectoryIsWrittenOnlyWhenThereIsOne) {
    const testing::TempFolder folder;
    const std::string name = folder / "trajectory.csv";

    const storage::FileOutcome refused = export_trajectory_csv({}, name, "Run first.");
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.reason, "Run first.");
    EXPECT_TRUE(folder.entries().empty());

    const std::vector<model::TrajectoryPoint> points = {{0, 0, 0.5}, {1, 2, 0.25}, {2, 1, 0.75}};
    EXPECT_TRUE(export_trajectory_csv(points, name, "Run first.").ok);
    EXPECT_EQ(storage::load_trajectory_csv(name).points, points);
}

}  // namespace
}  // namespace quobel::windows
