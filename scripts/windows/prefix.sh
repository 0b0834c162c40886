#!/usr/bin/env bash
# Makes a Wine prefix that reports Windows 10 and has Wine's own fonts, unless it is there.
#   prefix.sh FOLDER
set -euo pipefail
prefix=$1
[[ -f $prefix/.quarn-ready ]] && exit 0
export WINEPREFIX=$prefix WINEDEBUG=-all WINELOADER=/usr/lib/wine/wine64
mkdir -p "$prefix"
timeout 300 "$WINELOADER" wineboot --init >/dev/null 2>&1
timeout 60 "$WINELOADER" winecfg -v win10 >/dev/null 2>&1
# Debian's Wine does not find its own fonts otherwise.
cp /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/"
timeout 60 wineserver -w
touch "$prefix/.quarn-ready"
