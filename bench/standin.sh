# Sourced by the benchmarks that restore against the stand-in ($standin).

# Configures the build in $BUILD_DIR (default build/) and builds the targets given and the
# stand-in; sets build_dir and standin.
build_with_standin() {
    build_dir=${BUILD_DIR:-build}
    cmake -S . -B "$build_dir" >/dev/null
    cmake --build "$build_dir" -j2 --target "$@" standin >/dev/null
    standin="$build_dir/tools/standin/standin"
}

# Makes the work folder $work in the folder $1 (default: the system's), removed on exit together
# with the stand-in, and keeps user and system FreeTDS settings out of the clients (TDS 7.1, as
# our client speaks).
make_work() {
    work=$(mktemp -d -p "${1:-${TMPDIR:-/tmp}}")
    standin_pid=
    trap stop_work EXIT
    printf '[global]\n\ttds version = 7.1\n' >"$work/freetds.conf"
    export FREETDSCONF="$work/freetds.conf"
}

stop_work() {
    [[ -n $standin_pid ]] && kill "$standin_pid" 2>/dev/null && wait "$standin_pid" 2>/dev/null
    rm -rf "$work"
}

# Starts the stand-in in the background on a free loopback port with the login sa:secret, its
# root in $work/root and the extra options given; sets standin_pid and port.
start_standin() {
    mkdir "$work/root"
    mkfifo "$work/standin.out"
    "$standin" --port 0 --root "$work/root" --login sa:secret "$@" >"$work/standin.out" \
        2>"$work/standin.err" &
    standin_pid=$!
    # Its one line on standard output says where it listens.
    local listening
    read -r -t 10 listening <"$work/standin.out" || true
    port=${listening##*:}
    [[ $listening == "listening on 127.0.0.1:"* ]] ||
        { echo "the stand-in did not start: $(cat "$work/standin.err")" >&2; exit 1; }
}
