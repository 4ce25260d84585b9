#!/usr/bin/env bash
# Builds Quobel and runs every test (core, window logic and the headless Qt windows).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default
cmake --build --preset default
ctest --preset default
