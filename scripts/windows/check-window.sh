#!/usr/bin/env bash
# The window under Wine: started beside a defaults file, it restores from it on a stand-in run
# natively, with a Chinese (code page 936) and an English (code page 1252) locale. Then a
# screenshot of the window as Wine shows it on Xvfb, WINDOWS_BUILD/window-wine.png.
#   check-window.sh WINDOWS_BUILD LINUX_BUILD
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../standin.sh
source "$here/../standin.sh"
windows_build=$(realpath "$1")
standin=$(realpath "$2")/tools/standin/standin
make_work /tmp/quarn-windows-check.XXXXXX

test_binary=$windows_build/tests/gui/startup_defaults_window_tests.exe
"$standin" make-backup "$work/Shop.bak" --db Shop --file D:Shop_Data:1M --file L:Shop_Log:1M \
    >/dev/null
for locale_name in zh_CN.UTF-8 en_US.UTF-8; do
    # The window's scratch folders lie on the prefix's C: drive.
    start_standin "$work" --root "$work/root-$locale_name" --log "$work/batches.log" \
        --login sa:secret --drive Z=/ --drive "C=$WINEPREFIX/drive_c"
    if ! QUARN_STANDIN_ADDRESS="127.0.0.1,$port" QUARN_STANDIN_BACKUP="Z:${work//\//\\}\\Shop.bak" \
        QUARN_WINE_LANG=$locale_name QT_QPA_PLATFORM=offscreen \
        "$here/wine-run.sh" "$test_binary" presetRestoreSucceedsOnAServer >"$work/test.out" 2>&1 ||
        ! grep -q '^PASS   : .*presetRestoreSucceedsOnAServer' "$work/test.out"; then
        cat "$work/test.out" >&2
        echo "the window did not restore from its defaults file with $locale_name" >&2
        exit 1
    fi
    stop_standin
done
echo "Window under Wine: restored from its defaults file with code pages 936 and 1252"

# The real windows platform on a virtual screen; the window stays up until it is stopped. The
# picture is for the README, so a missed one is only reported. The prefix's Wine processes go
# first: they keep the display they started with.
timeout 30 wineserver -k || true
# shellcheck disable=SC2016 # the inner script expands its own arguments
xvfb-run -a -s '-screen 0 800x620x24' bash -c '
    QUARN_WINE_TIMEOUT=30 "$1/wine-run.sh" "$2" &
    for _ in 1 2 3; do
        sleep 8
        xwd -root -silent | xwdtopnm 2>/dev/null | pnmcrop 2>/dev/null | pnmtopng >"$3"
        [[ $(stat -c %s "$3") -gt 5000 ]] && break
    done
    wait' _ "$here" "$windows_build/src/quarn-sql-restore.exe" "$work/window.png" || true
if [[ -s $work/window.png ]]; then
    cp "$work/window.png" "$windows_build/window-wine.png"
else
    echo "warning: no screenshot of the window under Wine" >&2
fi
