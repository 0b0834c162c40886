#!/usr/bin/env bash
# The zip unpacked into an empty folder starts both programs in a fresh Wine prefix with nothing
# else on the DLL path; the installer, where this machine runs 32-bit programs (NSIS writes a
# 32-bit installer), installs silently into Program Files with its Start-menu entry.
#   check-package.sh WINDOWS_BUILD
set -euo pipefail
build=$(realpath "$1")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
name=QuarnSQL2000-1.0-win64
work=$(mktemp -d /tmp/quarn-windows-package.XXXXXX)
trap 'WINEPREFIX=$work/prefix timeout 30 wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

unzip -q "$build/$name.zip" -d "$work/unpacked"
folder=$work/unpacked/$name
bash "$here/check-imports.sh" "$folder"

unset WINEPATH WINEQT_PLUGIN_PATH
export WINEPREFIX=$work/prefix
bash "$here/prefix.sh" "$WINEPREFIX"
status=0
QUARN_WINE_TIMEOUT=60 "$here/wine-run.sh" "$folder/quarn-sql-restore-cli.exe" --help \
    >"$work/help.txt" 2>&1 || status=$?
if [[ $status -ne 0 ]] || ! grep -q 'quarn-sql-restore-cli' "$work/help.txt"; then
    echo "the unpacked command line did not start (exit status $status):" >&2
    cat "$work/help.txt" >&2
    exit 1
fi
# Still running when stopped (124, or 137 when it had to be killed) means it started; a missing
# DLL ends it at once.
status=0
xvfb-run -a -s '-screen 0 800x620x24' env QUARN_WINE_TIMEOUT=15 \
    "$here/wine-run.sh" "$folder/quarn-sql-restore.exe" >/dev/null 2>&1 || status=$?
if [[ $status -ne 124 && $status -ne 137 ]]; then
    echo "the unpacked window ended by itself with exit status $status" >&2
    exit 1
fi
echo "Zip: both programs start from an empty folder in a fresh prefix"

if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "Installer not run: this machine runs no 32-bit programs (its kernel has IA-32 emulation off)"
    exit 0
fi
WINEDEBUG=-all WINELOADER=/usr/lib/wine/wine timeout 120 /usr/lib/wine/wine "$build/$name-setup.exe" /S
installed=$WINEPREFIX/drive_c/Program\ Files/QuarnSQL2000
menu=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/QuarnSQL2000
for expected in "$installed/quarn-sql-restore.exe" "$installed/uninstall.exe" "$menu"; do
    [[ -e $expected ]] || {
        echo "the installer left no $expected" >&2
        exit 1
    }
done
echo "Installer: installed silently into Program Files with its Start-menu entry"
