#!/usr/bin/env bash
# Prints the first network mirror that apt's sources name for a Debian suite, read from both source
# formats (one-line .list files and deb822 .sources files); prints nothing if none does.
# Usage: apt-mirrors.sh SUITE [APT_FOLDER]   (SUITE "any": the first mirror of a suite other than
# a security one; APT_FOLDER defaults to /etc/apt)
set -euo pipefail
suite=${1:?usage: apt-mirrors.sh SUITE [APT_FOLDER]}
apt=${2:-/etc/apt}

# The sources of one-line .list files as "URI SUITE".
one_line() {
    awk '$1 == "deb" {
             i = 2
             if ($2 ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
             print $i, $(i + 1)
         }' "$1"
}

# The sources of deb822 .sources files as "URI SUITE". Fields start at the line's beginning; lines
# that start with a space continue a field (a key block in Signed-By) and say nothing of the mirror.
deb822() {
    awk '
        function flush(   n, m, i, j, u, s) {
            if (types ~ /(^|[ \t])deb([ \t]|$)/ && enabled != "no") {
                n = split(uris, u, /[ \t]+/); m = split(suites, s, /[ \t]+/)
                for (i = 1; i <= n; i++) for (j = 1; j <= m; j++) print u[i], s[j]
            }
            types = uris = suites = enabled = ""
        }
        /^#/ { next }
        /^[ \t]*$/ { flush(); next }
        /^[A-Za-z-]+:/ {
            key = tolower(substr($0, 1, index($0, ":") - 1))
            value = substr($0, index($0, ":") + 1)
            gsub(/^[ \t]+|[ \t]+$/, "", value)
            if (key == "types") types = value
            else if (key == "uris") uris = value
            else if (key == "suites") suites = value
            else if (key == "enabled") enabled = tolower(value)
        }
        END { flush() }' "$1"
}

# Every source in apt's own order: sources.list, then the files of sources.list.d by name.
sources() {
    [ -f "$apt/sources.list" ] && one_line "$apt/sources.list"
    for file in "$apt"/sources.list.d/*; do
        case $file in
        *.list) one_line "$file" ;;
        *.sources) deb822 "$file" ;;
        esac
    done
}

sources | awk -v want="$suite" '
    $1 !~ /^https?:\/\// { next }
    found { next }
    want == "any" ? $2 !~ /-security$/ : $2 == want { sub(/\/+$/, "", $1); print $1; found = 1 }'
