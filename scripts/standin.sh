# shellcheck shell=bash
# Sourced by the scripts that restore against the SQL Server 2000 stand-in, $standin: the demo,
# the benchmarks and the checks of the Windows build.
#   start_standin FOLDER [OPTION...]   starts it, sets port
#   stop_standin                       stops it; so does the exit
#   make_work [MKTEMP OPTION...]       makes the scratch folder $work, removed on exit

standin_pid=
standin_work=
# The stand-in goes first: it may still be writing into the scratch folder.
trap 'stop_standin; [[ -z $standin_work ]] || rm -rf "$standin_work"' EXIT

make_work() {
    work=$(mktemp -d "$@")
    standin_work=$work
}

# Starts $standin on a free loopback port with the options given, its standard output and error
# in FOLDER/standin.out and FOLDER/standin.err.
start_standin() { # FOLDER [OPTION...]
    local folder=$1 _
    shift
    stop_standin
    # Made before it starts, so that it can be read at once.
    : >"$folder/standin.out"
    "${standin:?}" --port 0 "$@" >"$folder/standin.out" 2>"$folder/standin.err" &
    standin_pid=$!
    # Its one line on standard output says where it listens.
    for _ in {1..100}; do
        port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$folder/standin.out")
        [[ -n $port ]] && return 0
        kill -0 "$standin_pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "the stand-in did not start ($standin --port 0 $*):" >&2
    cat "$folder/standin.err" >&2
    exit 1
}

stop_standin() {
    [[ -n $standin_pid ]] || return 0
    kill "$standin_pid" 2>/dev/null || true
    wait "$standin_pid" 2>/dev/null || true
    standin_pid=
}
