#!/usr/bin/env bash
# Installs the Debian 12 packages the Windows build needs: the MinGW-w64 cross compiler, 64-bit Wine
# (the programs, the tests and the amd64 installer are all 64-bit, so no i386 packages and no i386
# package lists are needed), NSIS, icoutils to read the programs' resources, Xvfb, the Chinese and
# English locales Wine takes its code page from, and a deb-src entry so Qt's source can be fetched.
# Quiet when all is there.
set -euo pipefail

packages=(
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
    ninja-build cmake dpkg-dev qt6-base-dev-tools googletest
    wine wine64 fonts-wine fonts-noto-cjk
    nsis icoutils zip unzip xvfb xauth x11-apps netpbm locales
    unixodbc tdsodbc
)
locales_wanted=(zh_CN.UTF-8 en_US.UTF-8)

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
update_needed=false

# Qt's source must come from the same archive and suites as the host's Qt tools.
if ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    src_list=/etc/apt/sources.list.d/quarn-windows-src
    if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
        sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
            "${sudo[@]}" tee "$src_list.sources" >/dev/null
    else
        grep -hE '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
            "${sudo[@]}" tee "$src_list.list" >/dev/null
    fi
    update_needed=true
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
if [[ ${#missing[@]} -gt 0 || $update_needed == true ]]; then
    "${sudo[@]}" apt-get update -q
fi
if [[ ${#missing[@]} -gt 0 ]]; then
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

missing_locales=()
for locale_name in "${locales_wanted[@]}"; do
    locale -a | grep -qix "${locale_name/UTF-8/utf8}" || missing_locales+=("$locale_name")
done
if [[ ${#missing_locales[@]} -gt 0 ]]; then
    for locale_name in "${missing_locales[@]}"; do
        "${sudo[@]}" sed -i "s/^# *\($locale_name UTF-8\)/\1/" /etc/locale.gen
    done
    "${sudo[@]}" locale-gen >/dev/null
fi
