#!/usr/bin/env bash
# Start-up of the window program against a minimal one-window Qt Widgets program built the same
# way that shows the window's label texts in the window's font, so both load the same CJK font:
# from process start to the window shown and painted, offscreen, runs alternating between the two.
# The last line gives the median ratios of time and of peak resident memory.
#   bench/startup.sh [RUNS]        builds in $BUILD_DIR (default build/)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

runs=${1:-21}
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j2 --target startup_probe_window startup_probe_minimal >/dev/null

export QT_QPA_PLATFORM=offscreen LANG=C.UTF-8
window="$build_dir/bench/startup_probe_window"
minimal="$build_dir/bench/startup_probe_minimal"
results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT

# Prints "microseconds peak_KiB" for one start of the program.
measure() {
    BENCH_START_US=${EPOCHREALTIME/./} timeout 60 "$1" 2>/dev/null
}

measure "$window" >/dev/null
measure "$minimal" >/dev/null
for ((run = 0; run < runs; run++)); do
    measure "$window" >>"$results/window"
    measure "$minimal" >>"$results/minimal"
done

median() {
    sort -g | awk '{ values[NR] = $1 } END { print values[int((NR + 1) / 2)] }'
}
column_median() {
    awk -v column="$2" '{ print $column }' "$results/$1" | median
}
pair_ratio_median() {
    paste "$results/window" "$results/minimal" |
        awk -v column="$1" '{ printf "%.4f\n", $column / $(column + 2) }' | median
}

printf 'window:  median %.1f ms, peak RSS %.1f MiB\n' \
    "$(column_median window 1 | awk '{ print $1 / 1000 }')" \
    "$(column_median window 2 | awk '{ print $1 / 1024 }')"
printf 'minimal: median %.1f ms, peak RSS %.1f MiB\n' \
    "$(column_median minimal 1 | awk '{ print $1 / 1000 }')" \
    "$(column_median minimal 2 | awk '{ print $1 / 1024 }')"
printf 'median ratios over %d alternating runs: time %.2f, peak RSS %.2f\n' \
    "$runs" "$(pair_ratio_median 1)" "$(pair_ratio_median 2)"
