#!/bin/sh
# Fails when the system calls per small message (1 KB body) grow past LIMIT:
# strace counts a run of 201 messages to the benchmark's sink less a run of
# one, so the program's start and end are left out. Counts, never times.
#
#   sh tests/check-syscalls.sh SINK HOST LIMIT   (bench's lsmtp_e2e_sink and lsmtp_e2e_lsmtp)
set -eu
tool=strace
count() {
    strace -f -c -o "$work/$1" "$host" "$2" 1 >/dev/null || { echo "the host failed to send $2 messages" >&2; exit 1; }
}
. "$(dirname "$0")/per-message-runs.sh"

# strace's rows: time, seconds, usecs/call, calls, [errors,] name. The
# average is rounded to one decimal as bench/e2e.sh prints it.
awk -v n="$messages" -v limit="$limit" '
    $1 ~ /^[0-9.]+$/ { if (FILENAME ~ /one$/) few[$NF] = $4; else many[$NF] = $4 }
    END {
        for (name in many)
            if (name != "total" && many[name] != few[name])
                printf "  %-16s %6.2f\n", name, (many[name] - few[name]) / n
        average = sprintf("%.1f", (many["total"] - few["total"]) / n)
        printf "system calls per message, %d small messages to the sink: %s (limit %s)\n", n, average, limit
        if (average + 0 > limit + 0) { print "more system calls per message than the limit" > "/dev/stderr"; exit 1 }
    }' "$work/one" "$work/many"
