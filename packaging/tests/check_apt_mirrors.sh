#!/usr/bin/env bash
# The mirror the clean-room check bootstraps from, picked from a sample apt folder that mixes both
# source formats, options, disabled entries, a CD and a key block.
# Usage: check_apt_mirrors.sh APT_MIRRORS_SCRIPT SAMPLE_APT_FOLDER
set -uo pipefail
script=$1 sample=$2
checks=0 failures=0
expect() { # suite, mirror; in the sample folder unless a third argument names another
    local got
    got=$("$script" "$1" "${3:-$sample}")
    checks=$((checks + 1))
    if [ "$got" != "$2" ]; then
        echo "$1: expected '$2', got '$got'"
        failures=$((failures + 1))
    fi
}
# sources.list.d/10-debian.sources is read before 20-later.list, and its https mirror names bookworm.
expect bookworm https://deb822.invalid/debian
# The one-line entry with options in brackets; its trailing slash dropped.
expect bookworm-updates http://one-line.invalid/debian
# Not the one in a file that apt does not read (30-old.list.disabled).
expect bookworm-security http://security.invalid/debian-security
# The first network mirror of any suite but a security one.
expect any http://one-line.invalid/debian
expect bullseye ""
# Nothing at all: an empty folder.
empty=$(mktemp -d)
expect bookworm "" "$empty"
rmdir "$empty"
echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
