// Tests of the trajectory CSV file: its text, reading it back and the safe save.
#include "storage/trajectory_csv.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

namespace quobel::storage {
namespace {

TEST(TrajectoryCsv, RoundTrip) {
    const std::vector<TrajectoryPoint> points = {
        {1, 2, 0.1},
        {2, 3, 1.0 / 3},
        {3, 1, 0.49999999999999994},
        {4, 1, 5e-324},
        {5, 2, -0.004999999888241291},
        {100'000'000, 3, 1},
    };
    const std::string text = trajectory_csv_text(points);
    EXPECT_THAT(text, ::testing::StartsWith("step,map,r\n1,2,0.1\n2,3,0.3333333333333333\n"));
    EXPECT_EQ(read_trajectory_csv(text).points, points);

    std::string crlf;
    for (char c : text) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    EXPECT_EQ(read_trajectory_csv(crlf).points, points);
    EXPECT_EQ(read_trajectory_csv("step,map,r").points, std::vector<TrajectoryPoint>{});

    const auto bad_header = read_trajectory_csv("t,s,r\n1,1,0.5\n");
    EXPECT_FALSE(bad_header.points);
    const auto bad_line = read_trajectory_csv("step,map,r\n1,1,0.5\n2,1\n");
    EXPECT_FALSE(bad_line.points);
    EXPECT_EQ(bad_line.reason, "Line 3 is not a step, a map and a point separated by commas.");
    EXPECT_FALSE(read_trajectory_csv("step,map,r\n1,1,0.5x\n").points);
    EXPECT_FALSE(read_trajectory_csv("step,map,r\n1,1,0.5,7\n").points);
}

TEST(TrajectoryCsv, SaveReplacesOnlyOnSuccess) {
    namespace fs = std::filesystem;
    const fs::path folder =
        fs::temp_directory_path() / ("quobel_csv_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const std::string name = (folder / "trajectory.csv").string();
    const std::vector<TrajectoryPoint> points = {{1, 1, 0.25}, {2, 2, 0.75}};

    ASSERT_TRUE(save_trajectory_csv(points, name).ok);
    EXPECT_EQ(load_trajectory_csv(name).points, points);
    ASSERT_TRUE(save_trajectory_csv({points[1]}, name).ok);
    EXPECT_EQ(load_trajectory_csv(name).points, std::vector<TrajectoryPoint>{points[1]});

    // A folder in the way or a missing folder: the save fails and leaves no stray file.
    fs::create_directory(folder / "taken");
    EXPECT_FALSE(save_trajectory_csv(points, (folder / "taken").string()).ok);
    EXPECT_FALSE(save_trajectory_csv(points, (folder / "missing" / "t.csv").string()).ok);
    EXPECT_FALSE(save_trajectory_csv(points, "").ok);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
    EXPECT_EQ(load_trajectory_csv(name).points, std::vector<TrajectoryPoint>{points[1]});
    EXPECT_FALSE(load_trajectory_csv((folder / "taken").string()).points);
    fs::remove_all(folder);
}

}  // namespace
}  // namespace quobel::storage
