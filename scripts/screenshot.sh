#!/usr/bin/env bash
# Takes docs/screenshot.png: the main window under a virtual X server after "GO !!!", a click on
# the middle of the diagonal and "Next 10000". Builds the release build first when needed.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/release/CMakeCache.txt ] || cmake --preset release
cmake --build --preset release --target quobel_screenshot
mkdir -p docs
xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" \
    build/release/windows/qt/quobel_screenshot docs/screenshot.png
echo "wrote docs/screenshot.png"
