#!/usr/bin/env bash
# Renders the window offscreen to PNG files in the build folder: as it starts, and after a
# successful restore from the SQL Server 2000 stand-in with the promotion panel uncovered; then
# the same at scale factor 2 (window-fresh@2x.png, window-after-restore@2x.png).
#   scripts/screenshot.sh        builds in $BUILD_DIR (default build/)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build_dir=${BUILD_DIR:-build}
bash scripts/deps.sh
cmake -S . -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j2 --target window_screenshots standin >/dev/null
for scale in 1 2; do
    QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 QT_SCALE_FACTOR=$scale \
        "$build_dir/tests/gui/window_screenshots" "$build_dir"
done
