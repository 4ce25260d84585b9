#!/usr/bin/env bash
# Runs clang-tidy with the checks of .clang-tidy over the program's sources as build/default
# compiles them: the core folders and the Qt layer, or the folders given (scripts/tidy.sh tests).
# Any finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
if [ ! -f build/default/compile_commands.json ]; then
    cmake --preset default
fi

folders=("$@")
[ ${#folders[@]} -eq 0 ] && folders=(model editing plot storage analysis windows sweep cli)
pathspecs=()
for folder in "${folders[@]}"; do
    pathspecs+=("$folder/*.cpp")
done

# The compile commands carry GCC-only flags that clang-tidy's own compiler does not know.
git ls-files -z -- "${pathspecs[@]}" |
    xargs -0 -P2 -n4 clang-tidy -p build/default --quiet --extra-arg=-Wno-unknown-warning-option
echo "clang-tidy: no findings in ${folders[*]}"
