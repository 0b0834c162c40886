#!/usr/bin/env bash
# The zip unpacked into an empty folder starts both programs in a fresh Wine prefix with nothing
# else on the DLL path. The installer, run silently in another fresh prefix, puts both programs
# into Program Files, where they start, with Start-menu entries naming them and an uninstall entry
# holding its values; its silent uninstaller then takes all that away and leaves the operator's
# own files in the folder.
#   check-package.sh WINDOWS_BUILD
set -euo pipefail
build=$(realpath "$1")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=/dev/null
source "$build/windows-package.sh"
work=$(mktemp -d /tmp/quarn-windows-package.XXXXXX)
cleanup() {
    local prefix
    for prefix in "$work"/prefix "$work"/installed; do
        if [[ -d $prefix ]]; then
            WINEPREFIX=$prefix timeout 30 wineserver -k 2>/dev/null || true
        fi
    done
    rm -rf "$work"
}
trap cleanup EXIT

# Both programs of FOLDER start in the current prefix: the command line's --help, and the window,
# on a virtual screen, where it shows (a screenshot of more than a blank screen) and is still up
# when stopped (124, or 137 when it had to be killed; a missing DLL ends it at once).
programs_start() {
    local status=0
    QUARN_WINE_TIMEOUT=60 "$here/wine-run.sh" "$1/quarn-sql-restore-cli.exe" --help \
        >"$work/help.txt" 2>&1 || status=$?
    if [[ $status -ne 0 ]] || ! grep -q 'quarn-sql-restore-cli' "$work/help.txt"; then
        echo "$2: the command line did not start (exit status $status):" >&2
        cat "$work/help.txt" >&2
        return 1
    fi
    # The prefix's Wine processes keep the display they started with.
    timeout 30 wineserver -k || true
    status=0
    xvfb-run -a -s '-screen 0 800x620x24' bash -c '
        QUARN_WINE_TIMEOUT=15 "$1/wine-run.sh" "$2" >/dev/null 2>&1 &
        window=$!
        for _ in 1 2 3 4; do
            sleep 3
            xwd -root -silent | xwdtopnm 2>/dev/null | pnmcrop 2>/dev/null | pnmtopng >"$3" 2>/dev/null
            [[ $(stat -c %s "$3") -gt 5000 ]] && break
        done
        wait "$window"' _ "$here" "$1/quarn-sql-restore.exe" "$work/shown.png" || status=$?
    if [[ $status -ne 124 && $status -ne 137 ]]; then
        echo "$2: the window ended by itself with exit status $status" >&2
        return 1
    fi
    if [[ $(stat -c %s "$work/shown.png") -le 5000 ]]; then
        echo "$2: the window started but did not show" >&2
        return 1
    fi
}

unzip -q "$build/$package.zip" -d "$work/unpacked"
bash "$here/check-imports.sh" "$work/unpacked/$package"
unset WINEPATH WINEQT_PLUGIN_PATH
export WINEPREFIX=$work/prefix
bash "$here/prefix.sh" "$WINEPREFIX"
programs_start "$work/unpacked/$package" "unpacked zip"
echo "Zip: both programs start from an empty folder in a fresh prefix"

# The installer as a deployment tool runs it: silently, into a fresh prefix.
export WINEPREFIX=$work/installed
bash "$here/prefix.sh" "$WINEPREFIX"
QUARN_WINE_TIMEOUT=120 "$here/wine-run.sh" "$build/$package-setup.exe" /S
timeout 60 wineserver -w
folder="$WINEPREFIX/drive_c/Program Files/$product"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/$product"
windows_folder="C:\\Program Files\\$product"
programs_start "$folder" "installed"

# Each shortcut names its program's installed path (as the link's local base path).
for link in "$product_name:quarn-sql-restore.exe" "卸载 Uninstall:uninstall.exe"; do
    strings "$menu/${link%%:*}.lnk" 2>/dev/null | grep -qFx "$windows_folder\\${link#*:}" || {
        echo "the Start-menu entry ${link%%:*} does not point at $windows_folder\\${link#*:}" >&2
        exit 1
    }
done

uninstall_key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"
registry_value() {
    QUARN_WINE_TIMEOUT=60 "$here/wine-run.sh" reg query "$uninstall_key" /v "$1" 2>/dev/null |
        iconv -f GBK -t UTF-8 | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z_]* *//p" || true
}
expect_value() {
    local value
    value=$(registry_value "$1")
    [[ $value == "$2" ]] || {
        echo "the uninstall entry's $1 is '$value', not '$2'" >&2
        exit 1
    }
}
expect_value DisplayName "$product_name"
expect_value DisplayVersion "$version"
expect_value Publisher "$publisher"
expect_value DisplayIcon "$windows_folder\\quarn-sql-restore.exe,0"
expect_value UninstallString "\"$windows_folder\\uninstall.exe\""
expect_value QuietUninstallString "\"$windows_folder\\uninstall.exe\" /S"
# Sizes in KiB, as "Programs and Features" shows them: the installed files, give or take 5%.
estimated=$(($(registry_value EstimatedSize)))
installed=$(du -sk --apparent-size "$folder" | cut -f1)
if ((estimated * 20 < installed * 19 || estimated * 20 > installed * 21)); then
    echo "the uninstall entry's EstimatedSize is $estimated KiB; the folder holds $installed KiB" >&2
    exit 1
fi
echo "Installer: installed silently into Program Files; both programs start; the Start-menu" \
    "entries name them; the uninstall entry holds its values ($estimated KiB)"

# The folder may hold the operator's own files, such as the defaults file beside the window.
printf '[MAIN]\r\n' >"$folder/初始默认值.ini"
QUARN_WINE_TIMEOUT=120 "$here/wine-run.sh" "$folder/uninstall.exe" /S
# The uninstaller copies itself away and runs from there: wait for it.
timeout 60 wineserver -w
left=$(cd "$folder" && find . -mindepth 1 | sort | paste -sd ' ')
if [[ $left != "./初始默认值.ini" ]]; then
    echo "the uninstaller left '$left' instead of the operator's own file alone" >&2
    exit 1
fi
if [[ -e $menu ]] || [[ -n $(registry_value DisplayName) ]]; then
    echo "the uninstaller left its Start-menu entries or its uninstall entry behind" >&2
    exit 1
fi
echo "Uninstaller: removed the programs, the Start-menu entries and the uninstall entry, kept" \
    "the operator's own file"
