#!/usr/bin/env bash
# Where a Ninja build's time went: compile and link minutes per part of the tree, largest first,
# from the build's .ninja_log (one line per step: start and end in milliseconds, then the output).
#   ninja-minutes.sh BUILD/.ninja_log
set -euo pipefail
awk -F '\t' -v build="$(cd "$(dirname "$1")" && pwd)/" '
    !/^#/ {
        output = index($4, build) == 1 ? substr($4, length(build) + 1) : $4
        n = split(output, part, "/")
        # src/corelib, src/3rdparty/zlib and src/plugins/platforms/windows are parts of their own.
        area = part[1]
        if (part[1] == "src" && n > 2) area = part[2]
        if (area == "3rdparty" && n > 3) area = area "/" part[3]
        if (area == "plugins" && n > 4) area = area "/" part[3] "/" part[4]
        ms[area] += $2 - $1; steps[area]++; total += $2 - $1
    }
    END {
        printf "%.1f step-minutes in all (the build runs two at a time):\n", total / 60000
        for (area in ms) printf "%8.1f min %5d steps  %s\n", ms[area] / 60000, steps[area], area
    }' "$1" | sort -k1,1 -rn
