// quobel-cli: the analysis, long runs and parameter sweeps without a display.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace quobel::cli {

// Exit statuses: success, a refused file or a failed write, a wrong command line.
inline constexpr int exit_ok = 0;
inline constexpr int exit_refused = 1;
inline constexpr int exit_usage = 2;

// Runs the command named by `args` (without the program name), writing results to `out` and
// any failure as one line to `err`; returns the exit status.
int run_command_line(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace quobel::cli
