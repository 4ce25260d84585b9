// quobel-cli: the analysis, long runs and sweeps of Quobel on a machine without a display.
#include <iostream>
#include <string>
#include <vector>

#include "cli/command_line.hpp"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return quobel::cli::run_command_line(args, std::cout, std::cerr);
}
