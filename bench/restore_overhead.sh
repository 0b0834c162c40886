#!/usr/bin/env bash
# A full Backup restore through our driver (the restore run + the ODBC client over unixODBC and
# FreeTDS) against FreeTDS tsql sending the same four statements to the same stand-in, runs
# alternating between the two (and which goes first). Also compares our driver's peak resident
# memory for a 64 MiB and the large backup. The last line gives the median time ratio.
#   bench/restore_overhead.sh [RUNS] [BACKUP_MIB]    builds in $BUILD_DIR (default build/)
# Needs about twice BACKUP_MIB (default 1024) of free space in the work folder.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
# shellcheck source=common.sh
source bench/common.sh

runs=${1:-11}
backup_mib=${2:-1024}
build_with_standin restore_driver

driver="$build_dir/bench/restore_driver"
command -v tsql >/dev/null || { echo "tsql (freetds-bin) is needed" >&2; exit 1; }

# Backup and database files live in memory when /dev/shm is there, so that disk write-back does not
# drown the clients' difference (BENCH_TMPDIR chooses another place).
make_bench_work "${BENCH_TMPDIR:-$([[ -d /dev/shm ]] && echo /dev/shm || echo /tmp)}"
export LANG=C.UTF-8

# Backups hold an 8 MiB log and the rest as data.
"$standin" make-backup "$work/large.bak" --db Shop \
    --file "D:Shop_Data:$((backup_mib - 8))M" --file L:Shop_Log:8M >/dev/null
"$standin" make-backup "$work/small.bak" --db Shop --file D:Shop_Data:56M --file L:Shop_Log:8M \
    >/dev/null

start_standin "$work" --root "$work/root" --login sa:secret

sql() {
    tsql -H 127.0.0.1 -p "$port" -U sa -P secret
}

# Each run restores the backup $1 as database $2 into its own folder and leaves its figures in
# $work/last: "seconds peak_KiB" for ours, "seconds" for tsql.
run_ours() { # backup name
    local dir="$work/$2/" start end
    mkdir -p "$dir"
    start=$EPOCHREALTIME
    "$driver" --server "127.0.0.1,$port" --user sa --password secret --backup "$1" \
        --database "$2" --directory "$dir" >"$work/ours.out" 2>"$work/ours.err" ||
        { echo "our driver failed: $(cat "$work/ours.out")" >&2; exit 1; }
    end=$EPOCHREALTIME
    echo "$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.6f", e - s }')" \
        "$(awk '/^peak_rss_kib/ { print $2 }' "$work/ours.err")" >"$work/last"
}
run_tsql() { # backup name
    local dir="$work/$2/" start end
    mkdir -p "$dir"
    "$driver" --server "127.0.0.1,$port" --user sa --password secret --backup "$1" \
        --database "$2" --directory "$dir" --print-statements | sed 's/$/\ngo/' >"$work/tsql.in"
    start=$EPOCHREALTIME
    sql <"$work/tsql.in" >"$work/tsql.out" 2>&1
    end=$EPOCHREALTIME
    if ! grep -q 'RESTORE DATABASE successfully processed' "$work/tsql.out"; then
        echo "tsql's restore failed: $(cat "$work/tsql.out")" >&2
        exit 1
    fi
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.6f\n", e - s }' >"$work/last"
}
drop() { # name
    printf 'DROP DATABASE [%s]\ngo\n' "$1" | sql >/dev/null 2>&1
    sync
}

ours() { # name
    run_ours "$work/large.bak" "$1"
    read -r ours rss <"$work/last"
    drop "$1"
}
theirs() { # name
    run_tsql "$work/large.bak" "$1"
    read -r theirs <"$work/last"
    drop "$1"
}

# One unmeasured round each, so both start with the backup in the page cache.
ours Warm1
theirs Warm2

: >"$work/pairs"
for ((run = 0; run < runs; run++)); do
    if ((run % 2 == 0)); then
        ours "O$run"
        theirs "T$run"
    else
        theirs "T$run"
        ours "O$run"
    fi
    echo "$ours $theirs $rss" >>"$work/pairs"
    printf 'run %d: ours %.3f s, tsql %.3f s\n' "$run" "$ours" "$theirs"
done
: >"$work/small_rss"
for ((run = 0; run < 3; run++)); do
    run_ours "$work/small.bak" "S$run"
    awk '{ print $2 }' "$work/last" >>"$work/small_rss"
    drop "S$run"
done

median() {
    sort -g | awk '{ values[NR] = $1 } END { print values[int((NR + 1) / 2)] }'
}
ours_median=$(awk '{ print $1 }' "$work/pairs" | median)
tsql_median=$(awk '{ print $2 }' "$work/pairs" | median)
large_rss=$(awk '{ print $3 }' "$work/pairs" | median)
small_rss=$(median <"$work/small_rss")
ratio=$(awk '{ printf "%.4f\n", $1 / $2 }' "$work/pairs" | median)

printf 'ours: median %.3f s for a %d MiB backup; tsql: median %.3f s\n' \
    "$ours_median" "$backup_mib" "$tsql_median"
printf 'our peak RSS: %.1f MiB with %d MiB, %.1f MiB with 64 MiB (ratio %.2f)\n' \
    "$(awk -v k="$large_rss" 'BEGIN { print k / 1024 }')" "$backup_mib" \
    "$(awk -v k="$small_rss" 'BEGIN { print k / 1024 }')" \
    "$(awk -v a="$large_rss" -v b="$small_rss" 'BEGIN { print a / b }')"
printf 'median time ratio ours/tsql over %d alternating runs: %.3f\n' "$runs" "$ratio"
