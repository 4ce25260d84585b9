#!/usr/bin/env bash
# Runs clang-tidy with the checks of .clang-tidy over the program's sources as build/default
# compiles them: the core folders, the Qt layer and the Python module, or the folders given (scripts/tidy.sh tests).
# Any finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
# Configuring again is quick and brings the compile commands up to date with the sources.
cmake --preset default > /dev/null

folders=("$@")
[ ${#folders[@]} -eq 0 ] && folders=(model editing plot storage analysis windows sweep cli python)
pathspecs=()
for folder in "${folders[@]}"; do
    pathspecs+=("$folder/*.cpp")
done

# The compile commands carry GCC-only flags that clang-tidy's own compiler does not know.
# clang-tidy counts the warnings of the system headers it left out; only findings are shown.
git ls-files -z -- "${pathspecs[@]}" |
    xargs -0 -P2 -n4 clang-tidy -p build/default --quiet --extra-arg=-Wno-unknown-warning-option \
        2> >(grep -v 'warnings\( and [0-9]* errors\)\? generated\.$' >&2)
echo "clang-tidy: no findings in ${folders[*]}"
