#!/usr/bin/env bash
# A SQL Server 2000 backup brought onto a 2019 stand-in through a 2008 R2 one (--via), against
# FreeTDS tsql sending the same statements, in the same order, to the same two stand-ins; runs
# alternate between the two (and which goes first). The last line gives the median time ratio:
# the client's own share of a hop run.
#   bench/hop_overhead.sh [RUNS] [BACKUP_MIB]    builds in $BUILD_DIR (default build/)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
# shellcheck source=common.sh
source bench/common.sh

runs=${1:-11}
backup_mib=${2:-256}
build_with_standin quarn-sql-restore-cli

cli="$build_dir/src/cli/quarn-sql-restore-cli"
command -v tsql >/dev/null || { echo "tsql (freetds-bin) is needed" >&2; exit 1; }
make_bench_work "${BENCH_TMPDIR:-$([[ -d /dev/shm ]] && echo /dev/shm || echo /tmp)}"
export LANG=C.UTF-8 QUARN_SQL_PASSWORD=secret QUARN_SQL_VIA_PASSWORD=secret

"$standin" make-backup "$work/Shop.bak" --db Shop \
    --file "D:Shop_Data:$((backup_mib - 8))M" --file L:Shop_Log:8M >/dev/null
mkdir -p "$work/share" "$work/hopdata" "$work/data" "$work/hop" "$work/target"
share_rule="\\\\nas\\hop=$work/share"

# The hop is started first and set aside, so that starting the target does not stop it.
start_standin "$work/hop" --root "$work/hop/root" --login sa:secret --version 2008R2 \
    --drive "$share_rule" --log "$work/hop/batches.log"
hop_port=$port hop_pid=$standin_pid standin_pid=
trap 'kill "$hop_pid" 2>/dev/null || true; stop_standin; rm -rf "$work"' EXIT
start_standin "$work/target" --root "$work/target/root" --login sa:secret --version 2019 \
    --drive "$share_rule" --log "$work/target/batches.log"
target_port=$port

sql() { # PORT
    tsql -H 127.0.0.1 -p "$1" -U sa -P secret
}
seconds_since() { # START
    awk -v s="$1" -v e="$EPOCHREALTIME" 'BEGIN { printf "%.6f\n", e - s }'
}
# The batches of a batch log from record FROM on, each followed by "go", for tsql.
batches_for_tsql() { # LOG FROM
    perl -e 'local $/; open(my $f, "<", $ARGV[0]) or die; my $log = <$f>; my $n = 0;
        while ($log =~ /\G(?:attention\n)*batch (\d+)\n/gc) {
            my $text = substr($log, pos($log), $1); pos($log) += $1 + 1;
            next if $n++ < $ARGV[1]; $text =~ s/\r?\n\z//; print "$text\ngo\n";
        }' "$1" "$2"
}
records() { # LOG
    grep -c '^batch ' "$1" || true
}
drop_target() { # NAME
    printf 'DROP DATABASE [%s]\ngo\n' "$1" | sql "$target_port" >/dev/null 2>&1
}

ours() {
    local start
    start=$EPOCHREALTIME
    "$cli" --server "127.0.0.1,$target_port" --user sa --via "127.0.0.1,$hop_port" \
        --via-user sa --share '\\nas\hop\' --backup "$work/Shop.bak" --name Moved \
        --dir "$work/data" --via-dir "$work/hopdata" >"$work/ours.out" 2>&1 ||
        { echo "the hop run failed: $(cat "$work/ours.out")" >&2; exit 1; }
    ours=$(seconds_since "$start")
    drop_target Moved
}

# One run of ours, its statements recorded: the hop's up to the backup, the target's, then the
# hop's clean-up. tsql replays them in that order, three sessions, on fresh names each time.
hop_from=$(records "$work/hop/batches.log")
target_from=$(records "$work/target/batches.log")
ours
batches_for_tsql "$work/hop/batches.log" "$hop_from" >"$work/hop.all"
batches_for_tsql "$work/target/batches.log" "$target_from" >"$work/target.in"
split_at=$(grep -n '^DROP DATABASE' "$work/hop.all" | head -1 | cut -d: -f1)
head -n $((split_at - 1)) "$work/hop.all" >"$work/hop1.in"
tail -n +"$split_at" "$work/hop.all" >"$work/hop2.in"
theirs() {
    local start
    start=$EPOCHREALTIME
    sql "$hop_port" <"$work/hop1.in" >"$work/tsql.out" 2>&1
    sql "$target_port" <"$work/target.in" >>"$work/tsql.out" 2>&1
    sql "$hop_port" <"$work/hop2.in" >>"$work/tsql.out" 2>&1
    theirs=$(seconds_since "$start")
    if ! grep -q 'RESTORE DATABASE successfully processed' "$work/tsql.out" ||
        [[ -n $(ls -A "$work/share") ]]; then
        echo "tsql's replay failed: $(cat "$work/tsql.out")" >&2
        exit 1
    fi
    drop_target Moved
}
theirs

: >"$work/pairs"
for ((run = 0; run < runs; run++)); do
    if ((run % 2 == 0)); then
        ours
        theirs
    else
        theirs
        ours
    fi
    echo "$ours $theirs" >>"$work/pairs"
    printf 'run %d: ours %.3f s, tsql %.3f s\n' "$run" "$ours" "$theirs"
done

median() {
    sort -g | awk '{ values[NR] = $1 } END { print values[int((NR + 1) / 2)] }'
}
printf 'ours: median %.3f s for a %d MiB backup through the hop; tsql: median %.3f s\n' \
    "$(awk '{ print $1 }' "$work/pairs" | median)" "$backup_mib" \
    "$(awk '{ print $2 }' "$work/pairs" | median)"
printf 'median time ratio ours/tsql over %d alternating runs: %.3f\n' "$runs" \
    "$(awk '{ printf "%.4f\n", $1 / $2 }' "$work/pairs" | median)"
