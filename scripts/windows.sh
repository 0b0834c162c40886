#!/usr/bin/env bash
# The Windows version, on Debian 12: installs what is missing, builds Qt and GoogleTest for Windows
# once (cached outside the clone), cross-builds the window, the command line and the tests into
# build-windows/, runs the tests under Wine, checks the command line against a stand-in run
# natively, and writes the portable zip and the installer into build-windows/, then installs,
# starts and uninstalls it under Wine.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
repo=$PWD
build=$repo/build-windows
started=$SECONDS

bash scripts/windows/deps.sh
deps=$(bash scripts/windows/qt.sh)

# The toolchain file reads QUARN_WINDOWS_PREFIXES again whenever the build reconfigures itself.
export QUARN_WINDOWS_PREFIXES="$deps/qt;$deps/googletest"
cmake -G Ninja -S . -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-toolchain.cmake" \
    -DCMAKE_PREFIX_PATH="$QUARN_WINDOWS_PREFIXES" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$repo/scripts/windows/wine-run.sh" >/dev/null
cmake --build "$build" -j2

# The native stand-in and command line the Windows build is compared with.
cmake -S . -B build >/dev/null
cmake --build build -j2 --target standin quarn-sql-restore-cli

# shellcheck source=windows/env.sh
source scripts/windows/env.sh "$build" "$deps"
bash scripts/windows/prefix.sh "$WINEPREFIX"
export QUARN_SQL_DRIVER=FreeTDS

(cd "$build" && ctest --output-on-failure -j2)
bash scripts/windows/check-cli.sh "$build" build
bash scripts/windows/check-window.sh "$build" build
bash scripts/windows/package.sh "$build" "$deps/qt"
# shellcheck source=/dev/null
source "$build/windows-package.sh"
bash scripts/windows/check-resources.sh "$version" "$build/package/$package"/*.exe
bash scripts/windows/check-package.sh "$build"

echo "Windows build, tests and packages done in $((SECONDS - started)) s:"
ls -l "$build/$package.zip" "$build/$package-setup.exe"
