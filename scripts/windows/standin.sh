# Sourced by the checks of the Windows build against the stand-in run natively:
#   source standin.sh WINDOWS_BUILD LINUX_BUILD
# Sets windows_build, linux_build, standin (the Linux build's) and work, a scratch folder removed
# on exit; start_standin sets port.

windows_build=$(realpath "$1")
linux_build=$(realpath "$2")
standin=$linux_build/tools/standin/standin
work=$(mktemp -d /tmp/quarn-windows-check.XXXXXX)
standin_pid=
trap 'stop_standin; rm -rf "$work"' EXIT

stop_standin() {
    if [[ -n $standin_pid ]]; then
        kill "$standin_pid" 2>/dev/null || true
        wait "$standin_pid" 2>/dev/null || true
    fi
    standin_pid=
}

start_standin() { # ROOT LOG [STAND-IN OPTION...]
    local root=$1 log=$2
    shift 2
    : >"$work/listening"
    "$standin" --port 0 --root "$root" --log "$log" --login sa:secret "$@" \
        >"$work/listening" 2>>"$work/standin.err" &
    standin_pid=$!
    for _ in $(seq 100); do
        port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/listening")
        [[ -n $port ]] && return 0
        sleep 0.1
    done
    echo "the stand-in did not start: $(cat "$work/standin.err")" >&2
    return 1
}
