#!/usr/bin/env bash
# Builds Qt (the host's version, from Debian's source) and GoogleTest for 64-bit Windows, once, into a
# cache outside the clone keyed by their versions and the build options. Prints the cache folder;
# progress goes to stderr. Only the installs are kept.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
toolchain=$repo/cmake/mingw-w64-toolchain.cmake

qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
gtest_version=$(dpkg-query -W -f='${Version}' googletest)
# Only what the programs and tests load is configured, and all of it is built: Qt's install copies
# every library the configuration knows, so a build of chosen targets cannot be installed. Direct2D
# stays on (the 6.4.2 windows platform plugin fails to link without it); its 1.1 level only adds a
# second windows platform plugin, and GIF and ICO are image plugins nothing loads.
qt_options=(
    -release -shared -qt-host-path /usr -nomake examples -nomake tests
    -no-opengl -no-dbus -no-icu -no-feature-vulkan -no-feature-sql -no-feature-network
    -no-feature-xml -no-feature-concurrent -no-feature-printsupport
    -no-feature-direct2d1_1 -no-feature-gif -no-feature-ico
    -qt-zlib -qt-libpng -no-libjpeg -qt-freetype -qt-harfbuzz -qt-pcre
)
# Debian's source drops Qt's copy of the Wintab headers; Wine's serve once its Wine-only macros
# name the wide (Unicode) variants, as Qt is built.
wintab_prelude='#define API WINAPI
#define WINELIB_NAME_AW(name) name##W
#define DECL_WINELIB_TYPE_AW(type) typedef WINELIB_NAME_AW(type) type;
'

key=$( (printf '%s\n' "$qt_version" "$gtest_version" "${qt_options[@]}" "$wintab_prelude"
    cat "$toolchain") | sha256sum | cut -c1-12)
if [[ $(id -u) -eq 0 ]]; then
    cache_root=${QUARN_WINDOWS_CACHE:-/var/cache/quarn-windows}
else
    cache_root=${QUARN_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quarn-windows}
fi
cache=$cache_root/qt-${qt_version%%+*}-$key
if [[ -d $cache ]]; then
    echo "$cache"
    exit 0
fi

mkdir -p "$cache_root"
work=$(mktemp -d "${TMPDIR:-/var/tmp}/quarn-windows-qt.XXXXXX")
trap 'rm -rf "$work"' EXIT
partial=$work/install
started=$SECONDS

echo "Building GoogleTest for Windows" >&2
cmake -G Ninja -S /usr/src/googletest -B "$work/googletest" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DBUILD_GMOCK=ON \
    -DCMAKE_INSTALL_PREFIX="$partial/googletest" >&2
cmake --build "$work/googletest" -j2 >&2
cmake --install "$work/googletest" >&2

echo "Fetching Qt $qt_version source" >&2
(cd "$work" && apt-get source -q "qt6-base=$qt_version" && apt-get download -q libwine-dev) >&2
source_dir=$(find "$work" -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
wine_headers=$work/libwine-dev
dpkg-deb -x "$work"/libwine-dev_*.deb "$wine_headers"
mkdir -p "$source_dir/src/3rdparty/wintab"
{
    printf '%s' "$wintab_prelude"
    cat "$(find "$wine_headers" -name wintab.h | head -n 1)"
} >"$source_dir/src/3rdparty/wintab/wintab.h"
cp "$(find "$wine_headers" -name pktdef.h | head -n 1)" "$source_dir/src/3rdparty/wintab/"

echo "Building Qt for Windows (about half an hour on 2 cores)" >&2
mkdir -p "$work/qt-build"
(cd "$work/qt-build" && "$source_dir/configure" -prefix "$partial/qt" "${qt_options[@]}" -- \
    -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake) >&2
cmake --build "$work/qt-build" -j2 >&2
cmake --install "$work/qt-build" >&2
bash "$repo/scripts/windows/ninja-minutes.sh" "$work/qt-build/.ninja_log" >&2

mv "$partial" "$cache"
echo "Qt and GoogleTest for Windows built in $((SECONDS - started)) s into $cache" >&2
echo "$cache"
