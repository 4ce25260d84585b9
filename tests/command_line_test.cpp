// Tests of the quobel command line and of the parameter file it opens at start-up.
#include "windows/command_line.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <regex>
#include <vector>

#include "storage/parameter_file.hpp"
#include "support/recording_windows.hpp"
#include "support/temp_folder.hpp"

namespace quobel::testing {
namespace {

using windows::CommandLine;

const windows::ToolkitOptions toolkit{{"platform", "style"}, {"style"}, {"reverse"}};

CommandLine read(std::initializer_list<const char*> arguments) {
    const std::vector<const char*> list(arguments);
    return windows::read_command_line(list, toolkit);
}

TEST(CommandLine, HelpAndVersionPrintAndEndAtOnce) {
    for (const CommandLine& line : {read({"--help"}), read({"-h", "--bogus"}), read({"x", "-h"})}) {
        EXPECT_EQ(line.exit_status, 0);
        EXPECT_TRUE(line.output.starts_with("Usage: quobel")) << line.output;
        EXPECT_EQ(line.error, "");
    }
    const CommandLine version = read({"--version"});
    EXPECT_EQ(version.exit_status, 0);
    EXPECT_TRUE(std::regex_match(version.output, std::regex("quobel [0-9]+(\\.[0-9]+)*\n")))
        << version.output;
}

TEST(CommandLine, AFileAndTheToolkitsOptions) {
    EXPECT_EQ(read({}).exit_status, std::nullopt);
    EXPECT_EQ(read({}).file, std::nullopt);
    for (const CommandLine& line :
         {read({"p.txt"}), read({"-platform", "offscreen", "p.txt"}),
          read({"--platform", "x", "p.txt"}), read({"p.txt", "-style=fusion", "-reverse"}),
          read({"-style", "fusion", "--", "p.txt"})}) {
        EXPECT_EQ(line.exit_status, std::nullopt) << line.error;
        EXPECT_EQ(line.file, "p.txt");
    }
    EXPECT_EQ(read({"--", "-p.txt"}).file, "-p.txt");
    EXPECT_EQ(read({"--", "--help"}).file, "--help");
    EXPECT_EQ(read({"-"}).file, "-");
}

TEST(CommandLine, MistakesSayWhatWasWrongAndEndWithStatusTwo) {
    const std::string try_help = "Try 'quobel --help' for more information.\n";
    const auto expect_mistake = [&](std::initializer_list<const char*> arguments,
                                    const std::string& what) {
        const CommandLine line = read(arguments);
        EXPECT_EQ(line.exit_status, 2) << what;
        EXPECT_EQ(line.output, "");
        EXPECT_EQ(line.error, "quobel: " + what + "\n" + try_help);
        EXPECT_EQ(line.file, std::nullopt);
    };
    expect_mistake({"--bogus"}, "unknown option '--bogus'");
    expect_mistake({"p.txt", "-x"}, "unknown option '-x'");
    expect_mistake({"--platform=offscreen"}, "unknown option '--platform=offscreen'");
    expect_mistake({"-reverse=1"}, "unknown option '-reverse=1'");
    expect_mistake({"-\x1b[2J"}, "unknown option '-\\x1B[2J'");
    expect_mistake({"p.txt", "-platform"}, "option '-platform' needs a value");
    expect_mistake({"a.txt", "b.txt"},
                   "one parameter file at a time: 'a.txt' and 'b.txt' were given");
}

TEST(CommandLine, AFileGivenAtStartLoadsAsTheLoadButtonWould) {
    TempFolder folder;
    const std::string name = folder / "two maps.txt";
    write_file(name, "2\n1\n.1\n.2\n.3\n.4\n.5\n.6\n.25\n.75\n");
    Program program;
    RecordingMainWindow& window = program.start();
    program.events.open_file(name);

    EXPECT_EQ(program.state.model.data_file_name, name);
    EXPECT_EQ(program.state.model.num_maps, 2.0);
    EXPECT_EQ(program.state.model.la2(2, 1), 0.6);
    EXPECT_EQ(window.field_text(Field::Text9, 0), "2");
    EXPECT_EQ(window.field_text(Field::Text7, 0), "0.600");
    EXPECT_EQ(window.field_text(Field::Text8, 1), "0.75");
    EXPECT_EQ(window.notice, "");
    // Save / Load offers the file.
    EXPECT_EQ(program.open_save_load().file_name, name);
}

TEST(CommandLine, AFileThatCannotBeLoadedLeavesTheStartAndSaysWhy) {
    TempFolder folder;
    const std::string bad = folder / "bad.txt";
    write_file(bad, "1\n1\n.5\nhalf\n");
    const std::string missing = folder / "missing.txt";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {missing, "Cannot open \"" + missing + "\": " + std::strerror(ENOENT) + "."},
        {bad, "Line 4 holds \"half\" for la1(1,1), which is not a number the program can use."},
    };
    for (const auto& [name, reason] : cases) {
        Program program;
        RecordingMainWindow& window = program.start();
        model::ModelState expected = program.state.model;
        const std::size_t writes = window.writes.size();
        program.events.open_file(name);

        EXPECT_EQ(window.notice, reason);
        expected.data_file_name = name;
        EXPECT_EQ(program.state.model, expected);
        EXPECT_EQ(window.writes.size(), writes);
        EXPECT_EQ(program.open_save_load().file_name, name);
    }
}

}  // namespace
}  // namespace quobel::testing
