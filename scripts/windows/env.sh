# Sourced by what runs the Windows build under Wine: the build's own prefix, and Qt's and
# MinGW's DLLs and Qt's plugins found where they were built.
#   source env.sh WINDOWS_BUILD QT_AND_GOOGLETEST_CACHE
export WINEPREFIX=$1/wine-prefix
to_windows() { printf 'Z:%s' "${1//\//\\}"; }
WINEPATH="$(to_windows "$2/qt/bin");$(to_windows /usr/lib/gcc/x86_64-w64-mingw32/12-posix)"
export WINEPATH="$WINEPATH;$(to_windows /usr/x86_64-w64-mingw32/lib)"
WINEQT_PLUGIN_PATH=$(to_windows "$2/qt/plugins")
export WINEQT_PLUGIN_PATH
