#!/bin/sh
# Fails when the system calls per small message (1 KB body) grow past LIMIT:
# strace counts a run of 201 messages to the benchmark's sink less a run of
# one, so the program's start and end are left out. Counts, never times.
#
#   sh tests/check-syscalls.sh SINK HOST LIMIT   (bench's lsmtp_e2e_sink and lsmtp_e2e_lsmtp)
set -eu
messages=200

if [ "${1-}" != --inside ]; then
    [ $# -eq 3 ] || { echo "usage: $0 SINK HOST LIMIT" >&2; exit 64; }
    command -v strace >/dev/null || { echo "strace is not installed (apt-get install strace)" >&2; exit 1; }
    # A private network, where the sink takes 127.0.0.1:25.
    exec sh "$(dirname "$0")/netns-run.sh" sh "$0" --inside "$@"
fi
sink=$2 host=$3 limit=$4
work=$(mktemp -d)
sink_pid=
trap 'if [ -n "$sink_pid" ]; then kill "$sink_pid"; fi; rm -rf "$work"' EXIT
sink_pid=$("$sink")

for run in "one 1" "many $((messages + 1))"; do
    set -- $run
    strace -f -c -o "$work/$1" "$host" "$2" 1 >/dev/null || { echo "the host failed to send $2 messages" >&2; exit 1; }
done

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
