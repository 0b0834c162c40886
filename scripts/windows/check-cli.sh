#!/usr/bin/env bash
# The Windows command line under Wine against the stand-in run natively, beside the Linux command
# line: the same restore, attach, failed restore and refused request give the same exit statuses
# (0, 0, 1, 2) and the same statements on the wire, path forms aside; so does a SQL Server 2012,
# which the version its login reports makes refuse the backup before anything is created.
#   check-cli.sh WINDOWS_BUILD LINUX_BUILD
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../standin.sh
source "$here/../standin.sh"
windows_build=$(realpath "$1")
linux_build=$(realpath "$2")
standin=$linux_build/tools/standin/standin
make_work /tmp/quarn-windows-check.XXXXXX

# Fresh copies of the inputs, at the same place for both runs.
prepare() {
    rm -rf "$work/in"
    mkdir -p "$work/in/pair"
    "$standin" make-backup "$work/in/Shop.bak" --db Shop --file D:Shop_Data:1M --file L:Shop_Log:1M \
        >/dev/null
}

# Runs one request with both builds' path forms; FORM is "linux" or "windows".
run() { # FORM EXPECTED_STATUS ARGUMENT...
    local form=$1 expected=$2 status=0
    shift 2
    local arguments=(--server "127.0.0.1,$port" --user sa)
    for argument in "$@"; do
        if [[ $form == windows && $argument == /* ]]; then
            argument="Z:${argument//\//\\}"
        fi
        arguments+=("$argument")
    done
    if [[ $form == windows ]]; then
        QUARN_SQL_PASSWORD=secret QUARN_WINE_TIMEOUT=120 \
            "$here/wine-run.sh" "$windows_build/src/cli/quarn-sql-restore-cli.exe" "${arguments[@]}" \
            >"$work/$form.out" 2>&1 || status=$?
    else
        QUARN_SQL_PASSWORD=secret QUARN_SQL_DRIVER=FreeTDS \
            "$linux_build/src/cli/quarn-sql-restore-cli" "${arguments[@]}" \
            >"$work/$form.out" 2>&1 || status=$?
    fi
    if [[ $status -ne $expected ]]; then
        echo "$form command line: exit status $status, expected $expected for $*:" >&2
        cat "$work/$form.out" >&2
        exit 1
    fi
}

scenario() { # FORM
    prepare
    start_standin "$work" --root "$work/root-$1" --log "$work/batches-$1.log" --login sa:secret \
        --drive Z=/
    run "$1" 0 --backup "$work/in/Shop.bak" --name 商店副本 --dir "$work/in/data"
    # A detached pair, as the restore left its files.
    cp "$work/in/data/商店副本_Data.MDF" "$work/in/pair/Pair_Data.mdf"
    cp "$work/in/data/商店副本_Log.LDF" "$work/in/pair/Pair_Log.LDF"
    run "$1" 0 --mdf "$work/in/pair/Pair_Data.mdf" --name 附加库 --dir "$work/in/attached"
    run "$1" 1 --backup "$work/in/Shop.bak" --name 商店副本 --dir "$work/in/data"
    run "$1" 2 --backup "$work/in/Shop.bak" --name " "
    stop_standin
    start_standin "$work" --root "$work/root2012-$1" --log "$work/batches2012-$1.log" \
        --login sa:secret --drive Z=/ --version 2012
    run "$1" 1 --backup "$work/in/Shop.bak" --name 新库 --dir "$work/in/data2012"
    if ! grep -q 'SQL Server 2012 (11.0.7001)' "$work/$1.out"; then
        echo "$1 command line: no refusal naming SQL Server 2012:" >&2
        cat "$work/$1.out" >&2
        exit 1
    fi
    stop_standin
}

# The batch log without its length lines, paths in one form.
statements() {
    grep -av '^batch [0-9]*$' "$1" | sed 's/Z:\\/\//g; s/\\/\//g'
}

scenario linux
scenario windows
for log in batches batches2012; do
    if ! diff <(statements "$work/$log-linux.log") <(statements "$work/$log-windows.log"); then
        echo "the Windows command line sent other statements than the Linux one (above)" >&2
        exit 1
    fi
done
echo "Command line under Wine: restore, attach, failure and refusal as on Linux;" \
    "$(cat "$work"/batches*-windows.log | grep -c '^batch ') batches alike"
