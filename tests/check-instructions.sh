#!/bin/sh
# Fails when the instructions per small message (1 KB body) grow past LIMIT:
# callgrind's user-space count for 201 messages to the benchmark's sink less
# that for one, so the program's start and end are left out. Counts, never
# times. TOP=1 also lists the ten costliest functions, inclusive and self.
#
#   sh tests/check-instructions.sh SINK HOST LIMIT   (bench's lsmtp_e2e_sink and lsmtp_e2e_lsmtp)
set -eu
tool=valgrind
count() {
    valgrind --tool=callgrind --callgrind-out-file="$work/$1" "$host" "$2" 1 >/dev/null 2>"$work/log" ||
        { cat "$work/log" >&2; echo "the host failed to send $2 messages" >&2; exit 1; }
}
. "$(dirname "$0")/per-message-runs.sh"
for inclusive in ${TOP:+yes no}; do
    callgrind_annotate --inclusive=$inclusive "$work/many" | grep -E '^ *[0-9,]+ ' | grep -v 'PROGRAM TOTALS' | head -n 10
done

# The totals line of each profile: "totals: <instructions>".
awk -v n="$messages" -v limit="$limit" '
    $1 == "totals:" { if (FILENAME ~ /one$/) few = $2; else many = $2 }
    END {
        average = sprintf("%.0f", (many - few) / n)
        printf "instructions per message, %d small messages to the sink: %s (limit %s)\n", n, average, limit
        if (average + 0 > limit + 0) { print "more instructions per message than the limit" > "/dev/stderr"; exit 1 }
    }' "$work/one" "$work/many"
