#!/usr/bin/env bash
# Installs the Debian packages Quobel needs to build, test and run that the machine lacks.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    libacl1-dev acl
    libhwy-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev qt6-charts-dev qt6-svg-dev libgl-dev libqt6opengl6-dev
    fonts-dejavu-core
    xvfb xauth
    desktop-file-utils appstream dpkg-dev file
    clang libclang-rt-14-dev clang-format clang-tidy
    python3 python3-pandas parallel
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
