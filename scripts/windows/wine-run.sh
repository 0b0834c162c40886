#!/usr/bin/env bash
# Runs a Windows program under Wine, headless and bounded in time: the CMake emulator of the
# Windows build. WINEPREFIX and WINEPATH come from scripts/windows.sh.
#   wine-run.sh PROGRAM.exe [ARGUMENT...]
set -euo pipefail

# Wine hands no QT_* variable to the program; WINEQT_X arrives as QT_X.
while IFS= read -r name; do
    export "WINE$name=${!name}"
done < <(compgen -e | grep '^QT_' || true)
# Test output of Qt Test reaches a pipe only through standard error.
export WINEQT_FORCE_STDERR_LOGGING=1
export WINEQT_QPA_FONTDIR=${QUARN_WINE_FONTDIR:-Z:/usr/share/fonts/opentype/noto}
# Wine takes its code page from LANG: zh_CN.UTF-8 stands for a Chinese Windows (code page 936).
export LANG=${QUARN_WINE_LANG:-zh_CN.UTF-8}
export WINEDEBUG=-all
# The 64-bit loader itself: Debian's `wine` picks the 32-bit one whenever wine32 is installed.
export WINELOADER=/usr/lib/wine/wine64
exec timeout --kill-after=10 "${QUARN_WINE_TIMEOUT:-300}" "$WINELOADER" "$@"
