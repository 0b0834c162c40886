#!/usr/bin/env bash
# Start-up of the window program against a minimal one-window Qt Widgets program built the same
# way that shows the window's label texts in the window's font, so both load the same CJK font:
# from process start to the window shown and painted, offscreen, runs alternating between the two.
# The last line gives the median ratios of time and of peak resident memory.
#   bench/startup.sh [RUNS]             builds in $BUILD_DIR (default build/)
#   bench/startup.sh --windows [RUNS]   the Windows build's probes under Wine, after
#                                       scripts/windows.sh (time only: Wine shows no peak memory)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

windows=false
if [[ ${1:-} == --windows ]]; then
    windows=true
    shift
fi
runs=${1:-21}
export QT_QPA_PLATFORM=offscreen LANG=C.UTF-8
if [[ $windows == true ]]; then
    build_dir=build-windows
    deps=$(bash scripts/windows/qt.sh 2>/dev/null)
    export QUARN_WINDOWS_PREFIXES="$deps/qt;$deps/googletest"
    # shellcheck source=../scripts/windows/env.sh
    source scripts/windows/env.sh "$PWD/$build_dir" "$deps"
    # One Wine server for all runs, as on a Windows machine that is already up.
    timeout 30 wineserver -p
    launcher=(scripts/windows/wine-run.sh)
    suffix=.exe
else
    build_dir=${BUILD_DIR:-build}
    cmake -S . -B "$build_dir" >/dev/null
    launcher=()
    suffix=
fi
cmake --build "$build_dir" -j2 --target startup_probe_window startup_probe_minimal >/dev/null

window="$build_dir/bench/startup_probe_window$suffix"
minimal="$build_dir/bench/startup_probe_minimal$suffix"
results=$(mktemp -d)
trap 'rm -rf "$results"; [[ $windows == false ]] || timeout 30 wineserver -k || true' EXIT

# Prints "microseconds peak_KiB" for one start of the program.
measure() {
    BENCH_START_US=${EPOCHREALTIME/./} timeout 60 "${launcher[@]}" "$1" 2>/dev/null
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

if [[ $windows == true ]]; then
    printf 'window under Wine:  median %.1f ms\n' "$(column_median window 1 | awk '{ print $1 / 1000 }')"
    printf 'minimal under Wine: median %.1f ms\n' "$(column_median minimal 1 | awk '{ print $1 / 1000 }')"
    printf 'median ratio over %d alternating runs under Wine: time %.2f\n' "$runs" "$(pair_ratio_median 1)"
    exit 0
fi
printf 'window:  median %.1f ms, peak RSS %.1f MiB\n' \
    "$(column_median window 1 | awk '{ print $1 / 1000 }')" \
    "$(column_median window 2 | awk '{ print $1 / 1024 }')"
printf 'minimal: median %.1f ms, peak RSS %.1f MiB\n' \
    "$(column_median minimal 1 | awk '{ print $1 / 1000 }')" \
    "$(column_median minimal 2 | awk '{ print $1 / 1024 }')"
printf 'median ratios over %d alternating runs: time %.2f, peak RSS %.2f\n' \
    "$runs" "$(pair_ratio_median 1)" "$(pair_ratio_median 2)"
