#!/usr/bin/env bash
# How long the window stops answering during a restore: a 20-second throttled Backup restore
# through the real window (offscreen) against the stand-in, with a 10 ms timer in the window's
# event loop. The last line gives the longest gap between two runs of the timer.
#   bench/responsiveness.sh [SECONDS]        builds in $BUILD_DIR (default build/)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
# shellcheck source=common.sh
source bench/common.sh

seconds=${1:-20}
build_with_standin responsiveness_probe

probe="$build_dir/bench/responsiveness_probe"
make_bench_work "${TMPDIR:-/tmp}"
export LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen

# One MiB per second, so the backup's size in MiB is the restore's length in seconds.
"$standin" make-backup "$work/Shop.bak" --db Shop --file "D:Shop_Data:$((seconds - 1))M" \
    --file L:Shop_Log:1M >/dev/null
mkdir "$work/data"
start_standin "$work" --root "$work/root" --login sa:secret --fault rate:1048576

"$probe" --server "127.0.0.1,$port" --user sa --password secret --backup "$work/Shop.bak" \
    --database Responsive --directory "$work/data/" 2>"$work/probe.err" ||
    { cat "$work/probe.err" >&2; exit 1; }
