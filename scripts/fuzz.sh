#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for SECONDS (default 60) on a
# scratch copy of its seed corpus, two at a time (FUZZ_JOBS). Fails on any crash, sanitizer report,
# leak, timeout or broken invariant; the input that did it is kept under build-fuzz/fuzz-run/.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

seconds=${1:-60}
if [[ ! $seconds =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [SECONDS]" >&2
    exit 2
fi
jobs=${FUZZ_JOBS:-2}
build_dir=build-fuzz
run_dir=$build_dir/fuzz-run
targets=(fuzz_profile_reader fuzz_connection_string fuzz_standin_packets fuzz_standin_sql
    fuzz_standin_files)

bash scripts/deps.sh
cmake -S . -B "$build_dir" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DQUARN_FUZZ=ON >/dev/null
cmake --build "$build_dir" -j2 --target fuzzers

fuzz_one() {
    local target=$1
    local dir=$run_dir/$target
    mkdir -p "$dir/corpus" "$dir/artifacts"
    # New inputs go to the copy: the committed corpus stays a few hand-picked seeds.
    cp fuzz/corpus/"$target"/* "$dir/corpus/"
    local status=0
    "$build_dir/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$dir/artifacts/" "$dir/corpus" \
        >"$dir/log" 2>&1 || status=$?
    echo "$status" >"$dir/status"
}

rm -rf "$run_dir"
for target in "${targets[@]}"; do
    while (($(jobs -rp | wc -l) >= jobs)); do
        wait -n || true
    done
    fuzz_one "$target" &
done
wait

failed=0
for target in "${targets[@]}"; do
    dir=$run_dir/$target
    status=$(cat "$dir/status")
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -n 1)
    printf '%-24s %12s executions in %ss  %s\n' "$target" "${executions:-?}" "$seconds" \
        "$([[ $status == 0 ]] && echo ok || echo "FAILED (exit $status)")"
    if [[ $status != 0 ]]; then
        failed=1
        grep -E -A 12 'invariant broken|ERROR: |runtime error|Test unit written' "$dir/log" |
            head -n 60 >&2 || tail -n 30 "$dir/log" >&2
        echo "log: $dir/log, input: $dir/artifacts/" >&2
    fi
done
exit "$failed"
