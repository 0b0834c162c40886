#!/usr/bin/env bash
# Where a Ninja build's time went: compile and link minutes per part of the tree, largest first,
# from the build's .ninja_log (one line per step: start and end in milliseconds, then the output).
#   ninja-minutes.sh BUILD/.ninja_log
set -euo pipefail
awk -F '\t' '
    !/^#/ {
        n = split($4, part, "/")
        area = (part[1] == "src" && (part[2] == "plugins" || part[2] == "3rdparty") && n > 3) ? \
            part[2] "/" part[3] "/" part[4] : (part[1] == "src" && n > 2 ? part[2] : part[1])
        ms[area] += $2 - $1; steps[area]++; total += $2 - $1
    }
    END {
        printf "%.1f step-minutes in all (the build runs two at a time):\n", total / 60000
        for (area in ms) printf "%8.1f min %5d steps  %s\n", ms[area] / 60000, steps[area], area
    }' "$1" | sort -k1,1 -rn
