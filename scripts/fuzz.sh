#!/usr/bin/env bash
# Builds the libFuzzer targets and fuzzes each one for a while, starting from a copy of its seed
# corpus so that the repository stays as it is; fails when a target finds a fault and keeps the
# input that shows it in build/fuzz/crashes.
# Usage: scripts/fuzz.sh [seconds per target, default 60] [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_number_text fuzz_parameter_file fuzz_events)

scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]}"

work=$(mktemp -d "${TMPDIR:-/tmp}/quobel-fuzz-run.XXXXXX")
trap 'rm -rf "$work"' EXIT
crashes=build/fuzz/crashes
status=0
for target in "${targets[@]}"; do
    corpus="$work/corpus-$target"
    artifacts="$work/artifacts-$target"
    mkdir -p "$corpus" "$artifacts"
    cp fuzz/corpus/"$target"/* "$corpus"/
    # A parameter file of 10 maps and 10 stocks is some 12 KB; libFuzzer's length control would
    # otherwise keep the inputs near the size of the largest seed for the whole run.
    lengths=()
    [ "$target" = fuzz_parameter_file ] && lengths=(-max_len=16384 -len_control=0)
    echo "== $target: ${seconds} s"
    # An input that runs for 10 s is a hang: the slowest event ("Next 10000") takes milliseconds.
    if ! build/fuzz/fuzz/"$target" "$corpus" -max_total_time="$seconds" -timeout=10 \
        "${lengths[@]}" -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" \
        >"$work/$target.log" 2>&1; then
        status=1
        mkdir -p "$crashes"
        cp "$artifacts"/* "$crashes"/ 2>/dev/null || true
        tail -n 60 "$work/$target.log"
        echo "$target found a fault; its input is in $crashes"
    fi
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added)' \
        "$work/$target.log" | sed 's/^stat::/  /' || true
done
exit $status
