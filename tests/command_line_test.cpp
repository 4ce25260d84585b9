// Tests of the quobel command line and of the parameter file it opens at start-up.
#include "windows/command_line.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "support/recording_windows.hpp"
#include "support/temp_folder.hpp"

namespace quobel::testing {
namespace {

using windows::CommandLine;

CommandLine read(std::vector<const char*> arguments) {
    return windows::read_command_line(arguments, {{"platform", "style"}, {"style"}, {"reverse"}});
}

TEST(CommandLine, HelpVersionAndMistakesEndAtOnce) {
    for (const CommandLine& line : {read({"--help"}), read({"x", "-h", "--bogus"})}) {
        EXPECT_EQ(line.exit_status, 0);
        EXPECT_THAT(line.output, ::testing::StartsWith("Usage: quobel"));
        EXPECT_EQ(line.error, "");
    }
    EXPECT_THAT(read({"--version"}).output, ::testing::MatchesRegex("quobel [0-9.]+\n"));
    for (const auto& [arguments, what] :
         std::vector<std::pair<std::vector<const char*>, std::string>>{
             {{"p.txt", "--bogus"}, "unknown option '--bogus'"},
             {{"--platform=offscreen"}, "unknown option '--platform=offscreen'"},
             {{"-\x1b[2J"}, "unknown option '-\\x1B[2J'"},
             {{"p.txt", "-platform"}, "option '-platform' needs a value"},
             {{"a.txt", "b.txt"},
              "one parameter file at a time: 'a.txt' and 'b.txt' were given"}}) {
        const CommandLine line = read(arguments);
        EXPECT_EQ(line.exit_status, 2);
        EXPECT_EQ(line.output, "");
        EXPECT_EQ(line.error, "quobel: " + what + "\nTry 'quobel --help' for more information.\n");
    }
}

TEST(CommandLine, AFileBesideTheToolkitsOptions) {
    EXPECT_EQ(read({}).exit_status, std::nullopt);
    EXPECT_EQ(read({}).file, std::nullopt);
    for (const CommandLine& line :
         {read({"-platform", "offscreen", "p.txt"}), read({"p.txt", "--style=fusion", "-reverse"}),
          read({"-style", "fusion", "--", "p.txt"})}) {
        EXPECT_EQ(line.exit_status, std::nullopt) << line.error;
        EXPECT_EQ(line.file, "p.txt");
    }
    EXPECT_EQ(read({"--", "--help"}).file, "--help");
}

TEST(CommandLine, AFileGivenAtStartLoadsAsTheLoadButtonWouldOrSaysWhyNot) {
    TempFolder folder;
    write_file(folder / "two maps.txt", "2\n1\n.1\n.2\n.3\n.4\n.5\n.6\n.25\n.75\n");
    write_file(folder / "bad.txt", "1\n1\n.5\nhalf\n");
    const std::string missing = folder / "missing.txt";
    for (const auto& [name, notice] : std::vector<std::pair<std::string, std::string>>{
             {folder / "two maps.txt", ""},
             {folder / "bad.txt",
              "Line 4 holds \"half\" for la1(1,1), which is not a number the program can use."},
             {missing, "Cannot open \"" + missing + "\": " + std::strerror(ENOENT) + "."}}) {
        Program program;
        RecordingMainWindow& window = program.start();
        model::ModelState unchanged = program.state.model;
        unchanged.data_file_name = name;
        program.events.open_file(name);

        EXPECT_EQ(window.notice, notice);
        EXPECT_EQ(program.open_save_load().file_name, name);
        if (notice.empty()) {
            EXPECT_EQ(program.state.model.la2(2, 1), 0.6);
            EXPECT_EQ(window.field_text(Field::Text7, 0), "0.600");
            EXPECT_EQ(window.field_text(Field::Text9, 0), "2");
        } else {
            EXPECT_EQ(program.state.model, unchanged);
            EXPECT_EQ(window.field_text(Field::Text9, 0), "3");
        }
    }
}

}  // namespace
}  // namespace quobel::testing
