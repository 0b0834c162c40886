#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   scripts/test.sh             plain build in build/
#   scripts/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer build in build-sanitize/
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build_dir=build
cmake_options=()
case "${1:-}" in
    "") ;;
    --sanitize)
        build_dir=build-sanitize
        cmake_options=(-DQUARN_SANITIZE=ON)
        ;;
    *)
        echo "usage: $0 [--sanitize]" >&2
        exit 2
        ;;
esac

bash scripts/deps.sh
cmake -S . -B "$build_dir" "${cmake_options[@]}" >/dev/null
cmake --build "$build_dir" -j2
cd "$build_dir"
ctest --output-on-failure -j2
