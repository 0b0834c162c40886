# shellcheck shell=bash
# Sourced by the benchmarks that restore against the stand-in ($standin).
# shellcheck source=../scripts/standin.sh
source scripts/standin.sh

# Configures the build in $BUILD_DIR (default build/) and builds the targets given and the
# stand-in; sets build_dir and standin.
build_with_standin() {
    build_dir=${BUILD_DIR:-build}
    cmake -S . -B "$build_dir" >/dev/null
    cmake --build "$build_dir" -j2 --target "$@" standin >/dev/null
    standin="$build_dir/tools/standin/standin"
}

# Makes the work folder $work in the folder given and keeps user and system FreeTDS settings out
# of the clients (TDS 7.1, as our client speaks).
make_bench_work() { # FOLDER
    make_work -p "$1"
    printf '[global]\n\ttds version = 7.1\n' >"$work/freetds.conf"
    export FREETDSCONF="$work/freetds.conf"
}
