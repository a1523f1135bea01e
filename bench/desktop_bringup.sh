#!/usr/bin/env bash
# Times bring-up ("scripts/desktop start", until every service answers) and teardown
# ("scripts/desktop stop", until nothing of the stack is left) of the test desktop.
# Usage: bench/desktop_bringup.sh [RUNS]   (default 5)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
desktop="$here/../scripts/desktop"
runs=${1:-5}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

ups=() downs=()
for ((i = 1; i <= runs; i++)); do
    t0=$(now_ms)
    env_lines=$("$desktop" start)
    t1=$(now_ms)
    dir=$(sed -n 's/^export HALCY_DESKTOP_DIR=//p' <<<"$env_lines")
    "$desktop" stop "$dir"
    t2=$(now_ms)
    ups+=($((t1 - t0)))
    downs+=($((t2 - t1)))
    printf 'run %d: up %4d ms, down %4d ms\n' "$i" "${ups[-1]}" "${downs[-1]}"
done

summary() { # LABEL VALUES...
    local label=$1
    shift
    printf '%s\n' "$@" | sort -n | awk -v label="$label" '
        { v[NR] = $1; sum += $1 }
        END { printf "%-5s min %4d ms  median %4d ms  mean %6.1f ms  max %4d ms\n",
                     label, v[1], v[int((NR + 1) / 2)], sum / NR, v[NR] }'
}
summary up "${ups[@]}"
summary down "${downs[@]}"
