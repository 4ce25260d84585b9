// The command line of the quobel program: help, version, and a parameter file to open.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quobel::windows {

// The options that the window toolkit reads itself and that the program passes on to it, named
// without their leading dash (the toolkit takes one dash or two).
struct ToolkitOptions {
    std::vector<std::string_view> with_value;   // "-name value"
    std::vector<std::string_view> with_joined;  // "-name=value"
    std::vector<std::string_view> flags;        // "-name"
};

// What the command line asks for. Decided before any window exists, so that help, version and
// mistakes need no display.
struct CommandLine {
    // Set when the program ends at once: 0 after --help or --version, 2 after a mistake.
    std::optional<int> exit_status;
    std::string output;  // for standard output
    std::string error;   // for standard error
    // The parameter file to load once the main window shows, as its Load would.
    std::optional<std::string> file;
};

// Reads the arguments after the program's own name. "--" ends the options, so a file whose name
// starts with a dash can still be given.
CommandLine read_command_line(std::span<const char* const> arguments,
                              const ToolkitOptions& toolkit);

// "quobel" and the version of the build.
std::string version_text();

}  // namespace quobel::windows
