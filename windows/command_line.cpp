// The command line of the quobel program.
#include "windows/command_line.hpp"

#include <algorithm>

#include "model/version.hpp"
#include "storage/text_file.hpp"

namespace quobel::windows {

namespace {

constexpr std::string_view help = R"(Usage: quobel [OPTION]... [FILE]
Explore a random dynamical system of up to three maps on [0,1].

With FILE, Quobel starts as usual and then loads the parameter file FILE as the
Load button of Save / Load does; FILE is then the name that Save / Load offers.
If the file cannot be loaded, the main window's hint line says why.

  -h, --help     show this help and exit
      --version  show the version and exit
      --         take the next argument as FILE, even if it starts with a dash

The window toolkit's own options, such as -platform NAME, are passed on to it.
)";

constexpr std::string_view try_help = "Try 'quobel --help' for more information.\n";

bool listed(const std::vector<std::string_view>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

CommandLine ends_with(int status, std::string output, std::string error = {}) {
    CommandLine line;
    line.exit_status = status;
    line.output = std::move(output);
    line.error = std::move(error);
    return line;
}

// An argument as a message quotes it, with whatever a terminal would not show plainly escaped.
std::string quoted(std::string_view argument) {
    return "'" + storage::shown_text(argument, storage::longest_shown_name) + "'";
}

CommandLine mistake(const std::string& what) {
    return ends_with(2, {}, "quobel: " + what + "\n" + std::string(try_help));
}

}  // namespace

std::string version_text() {
    return "quobel " + std::string(model::version) + "\n";
}

CommandLine read_command_line(std::span<const char* const> arguments,
                              const ToolkitOptions& toolkit) {
    CommandLine line;
    bool options_end = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        if (!options_end && argument.size() > 1 && argument.front() == '-') {
            if (argument == "--") {
                options_end = true;
                continue;
            }
            if (argument == "--help" || argument == "-h") {
                return ends_with(0, std::string(help));
            }
            if (argument == "--version") {
                return ends_with(0, version_text());
            }
            const std::string_view name = argument.substr(argument.starts_with("--") ? 2 : 1);
            if (listed(toolkit.with_value, name)) {
                if (++i == arguments.size()) {
                    return mistake("option " + quoted(argument) + " needs a value");
                }
                continue;
            }
            if (listed(toolkit.flags, name) ||
                listed(toolkit.with_joined, name.substr(0, name.find('=')))) {
                continue;
            }
            return mistake("unknown option " + quoted(argument));
        }
        if (line.file) {
            return mistake("one parameter file at a time: " + quoted(*line.file) + " and " +
                           quoted(argument) + " were given");
        }
        line.file = std::string(argument);
    }
    return line;
}

}  // namespace quobel::windows
