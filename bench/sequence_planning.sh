#!/usr/bin/env bash
# Restore sequences at scale: folders holding a full backup and 24 or 720 hourly log backups (a
# day, a month) are read, planned and restored through the command-line tool against the stand-in.
# Planning is timed as a --script run, which reads every header and the file list and sends
# nothing that changes the server, i.e. everything before the CREATE. Times and peak resident
# memory are printed as ratios against a folder holding the full backup alone.
#   bench/sequence_planning.sh [RUNS]    builds in $BUILD_DIR (default build/)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
# shellcheck source=common.sh
source bench/common.sh

runs=${1:-3}
build_with_standin quarn-sql-restore-cli

cli="$build_dir/src/cli/quarn-sql-restore-cli"
[[ -x /usr/bin/time ]] || { echo "GNU time (Debian package time) is needed" >&2; exit 1; }

make_bench_work "${BENCH_TMPDIR:-$([[ -d /dev/shm ]] && echo /dev/shm || echo /tmp)}"
export LANG=C.UTF-8 QUARN_SQL_PASSWORD=secret
for logs in 0 24 720; do
    mkdir "$work/chain$logs"
    "$standin" make-backup "$work/chain$logs" --chain "$logs" --db Shop \
        --file D:Shop_Data:1M --file L:Shop_Log:1M >/dev/null
done
start_standin "$work" --root "$work/root" --login sa:secret

# Leaves "seconds peak_KiB" of one run of the tool in $work/last.
measure() { # logs name [more options]
    local logs=$1 name=$2
    shift 2
    mkdir -p "$work/data/$name"
    /usr/bin/time -f '%e %M' -o "$work/last" "$cli" --server "127.0.0.1,$port" --user sa \
        --backup "$work/chain$logs" --name "$name" --dir "$work/data/$name" "$@" \
        >"$work/cli.out" 2>"$work/cli.err" ||
        { echo "the tool failed: $(cat "$work/cli.err")" >&2; exit 1; }
}

median() {
    sort -g | awk '{ values[NR] = $1 } END { print values[int((NR + 1) / 2)] }'
}

declare -A plan_s plan_kib run_s run_kib
for logs in 0 24 720; do
    : >"$work/plans" && : >"$work/runs"
    for ((run = 0; run < runs; run++)); do
        measure "$logs" "P$logs-$run" --script
        cat "$work/last" >>"$work/plans"
        measure "$logs" "R$logs-$run"
        grep -q "正在恢复数据库... OK！" "$work/cli.out" ||
            { echo "the restore of $logs logs did not finish: $(cat "$work/cli.out")" >&2; exit 1; }
        cat "$work/last" >>"$work/runs"
    done
    plan_s[$logs]=$(awk '{ print $1 }' "$work/plans" | median)
    plan_kib[$logs]=$(awk '{ print $2 }' "$work/plans" | median)
    run_s[$logs]=$(awk '{ print $1 }' "$work/runs" | median)
    run_kib[$logs]=$(awk '{ print $2 }' "$work/runs" | median)
    printf '%3d logs: planning %.2f s, peak %.1f MiB; whole restore %.2f s, peak %.1f MiB\n' \
        "$logs" "${plan_s[$logs]}" "$(awk -v k="${plan_kib[$logs]}" 'BEGIN { print k / 1024 }')" \
        "${run_s[$logs]}" "$(awk -v k="${run_kib[$logs]}" 'BEGIN { print k / 1024 }')"
done
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / (b > 0.01 ? b : 0.01) }'; }
for logs in 24 720; do
    printf 'against the full backup alone, %d logs: planning time x%s, planning peak memory x%s, ' \
        "$logs" "$(ratio "${plan_s[$logs]}" "${plan_s[0]}")" \
        "$(ratio "${plan_kib[$logs]}" "${plan_kib[0]}")"
    printf 'restore time x%s, restore peak memory x%s\n' "$(ratio "${run_s[$logs]}" "${run_s[0]}")" \
        "$(ratio "${run_kib[$logs]}" "${run_kib[0]}")"
done
printf 'peak memory 720 logs / 24 logs: planning x%s, restore x%s\n' \
    "$(ratio "${plan_kib[720]}" "${plan_kib[24]}")" "$(ratio "${run_kib[720]}" "${run_kib[24]}")"
