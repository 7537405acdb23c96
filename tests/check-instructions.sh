#!/bin/sh
# Fails when the instructions per small message (1 KB body) grow past LIMIT:
# callgrind counts the user-space instructions of a run of 201 messages to
# the benchmark's sink less those of a run of one, so the program's start
# and end are left out. Counts, never times. TOP=1 also lists the ten
# costliest functions of the long run, inclusive and self.
#
#   sh tests/check-instructions.sh SINK HOST LIMIT   (bench's lsmtp_e2e_sink and lsmtp_e2e_lsmtp)
set -eu
messages=200

if [ "${1-}" != --inside ]; then
    [ $# -eq 3 ] || { echo "usage: $0 SINK HOST LIMIT" >&2; exit 64; }
    command -v valgrind >/dev/null || { echo "valgrind is not installed (apt-get install valgrind)" >&2; exit 1; }
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
    valgrind --tool=callgrind --callgrind-out-file="$work/$1" "$host" "$2" 1 >/dev/null 2>"$work/log" ||
        { cat "$work/log" >&2; echo "the host failed to send $2 messages" >&2; exit 1; }
done
for inclusive in ${TOP:+yes no}; do
    callgrind_annotate --inclusive=$inclusive "$work/many" | grep -E '^ *[0-9,]+ ' | grep -v 'PROGRAM TOTALS' |
        head -n 10
done

# The totals line of each profile: "totals: <instructions>".
awk -v n="$messages" -v limit="$limit" '
    $1 == "totals:" { if (FILENAME ~ /one$/) few = $2; else many = $2 }
    END {
        average = sprintf("%.0f", (many - few) / n)
        printf "instructions per message, %d small messages to the sink: %s (limit %s)\n", n, average, limit
        if (average + 0 > limit + 0) { print "more instructions per message than the limit" > "/dev/stderr"; exit 1 }
    }' "$work/one" "$work/many"
