#!/usr/bin/env bash
# Builds a release build of Quobel and launches it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release
cmake --build --preset release --target quobel
exec build/release/windows/qt/quobel "$@"
