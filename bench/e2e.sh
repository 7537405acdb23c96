#!/bin/sh
# End to end: lsmtp against libcurl and Python's smtplib, each sending to a
# fast sink of our own on 127.0.0.1:25 inside a private network namespace,
# beside a bare client of the same dialogue (bodies only: the floor of small
# messages). Rounds are interleaved (the order turns each round) and the
# medians are printed: messages per second, CPU seconds and peak RSS of the
# sending process (and lsmtp's CPU per small message beside the bare
# client's), and system calls per message, counted with strace in a
# separate untimed pass as the difference between a run of 60 and one of 10
# messages. Usage: sh bench/e2e.sh (as root on Debian 12; E2E_ROUNDS=5)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/bench"
bin="$build/bench"
rounds=${E2E_ROUNDS:-5}

if [ "${1-}" != --measure ]; then
    sh "$root/scripts/install-deps.sh" libcurl4-openssl-dev strace python3
    log=$(mktemp)
    # The compiler's chatter goes to a log, shown only when the build fails.
    # Warnings do not stop a measurement; CI builds these programs with
    # -Werror.
    if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DLSMTP_TESTS=OFF -DLSMTP_BENCH=ON -DLSMTP_WERROR=OFF &&
           cmake --build "$build" -j "$(nproc)" --target lsmtp_e2e_sink lsmtp_e2e_pause lsmtp_e2e_lsmtp \
               lsmtp_e2e_bare lsmtp_e2e_curl; } >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        exit 1
    fi
    rm -f "$log"
    exec sh "$root/tests/netns-run.sh" sh "$0" --measure
fi

work=$(mktemp -d /dev/shm/lsmtp-e2e.XXXXXX)
sink_pid=
trap 'if [ -n "$sink_pid" ]; then kill "$sink_pid"; fi; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM
head -c 10240 /dev/urandom > "$work/a10k.bin"
head -c $((2 * 1024 * 1024)) /dev/urandom > "$work/a2m.bin"
sink_pid=$("$bin/lsmtp_e2e_sink")
results="$work/results"
: > "$results"

# host NAME: the command that sends with it (COUNT THREADS [ATTACHMENT] follow).
host() {
    case $1 in
    lsmtp) echo "$bin/lsmtp_e2e_lsmtp" ;;
    bare) echo "$bin/lsmtp_e2e_bare" ;;
    libcurl) echo "$bin/lsmtp_e2e_curl" ;;
    python) echo "/usr/bin/python3 $root/bench/e2e_smtplib.py" ;;
    esac
}

# run SCENARIO NAME COUNT THREADS [ATTACHMENT]: one timed run, recorded as
# "scenario name count wall cpu rss_kib failures".
run() {
    scenario=$1 name=$2 count=$3
    shift 3
    # shellcheck disable=SC2046
    line=$($(host "$name") "$count" "$@") || { echo "$name failed in $scenario: $line" >&2; exit 1; }
    echo "$scenario $name $count $line" >> "$results"
}

# median SCENARIO NAME FIELD (4 wall, 5 cpu, 6 rss) of the rounds.
median() {
    awk -v s="$1" -v n="$2" -v f="$3" '$1 == s && $2 == n { print $f }' "$results" | sort -g |
        awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

order="lsmtp bare libcurl python"
round=1
while [ "$round" -le "$rounds" ]; do
    echo "round $round of $rounds ($order)" >&2
    echo "pause pause 1 $("$bin/lsmtp_e2e_pause")" >> "$results"
    with_files=$(echo "$order" | sed 's/bare *//')
    for name in $order; do run small "$name" 300 1; done
    for name in $with_files; do run a10k "$name" 300 1 "$work/a10k.bin"; done
    for name in $with_files; do run a2m "$name" 1 1 "$work/a2m.bin"; done
    for threads in 1 2 4 8 16; do
        for name in $order; do run "t$threads" "$name" 320 "$threads"; done
    done
    order="${order#* } ${order%% *}"
    round=$((round + 1))
done

# calls NAME COUNT SYSCALL [ATTACHMENT]: system calls of one run, all of them
# or only the named one, with strace following every thread.
calls() {
    name=$1 count=$2 which=$3
    shift 3
    # shellcheck disable=SC2046
    strace -f -c -o "$work/strace" $(host "$name") "$count" 1 "$@" > /dev/null
    awk -v w="$which" '($NF == w) { print $4; found = 1 } END { if (!found) print 0 }' "$work/strace"
}
per_message() {
    name=$1 which=$2
    shift 2
    few=$(calls "$name" 10 "$which" "$@")
    many=$(calls "$name" 60 "$which" "$@")
    awk -v a="$few" -v b="$many" 'BEGIN { printf "%.1f", (b - a) / 50 }'
}
echo "counting system calls (strace, untimed)" >&2
for name in lsmtp libcurl python; do
    echo "syscalls small $name $(per_message "$name" total)" >> "$results"
    echo "syscalls a10k $name $(per_message "$name" total "$work/a10k.bin")" >> "$results"
done
echo "syscalls small bare $(per_message bare total)" >> "$results"
pauses_a10k=$(per_message lsmtp clock_nanosleep "$work/a10k.bin")
pauses_a2m=$(calls lsmtp 1 clock_nanosleep "$work/a2m.bin")

syscalls() { awk -v s="$1" -v n="$2" '$1 == "syscalls" && $2 == s && $3 == n { print $4 }' "$results"; }
pause_ms=$(median pause pause 4)

cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo 2>/dev/null || true)
echo "machine: ${cpu:-unknown CPU}, $(nproc) CPUs, $(uname -sr), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "medians of $rounds interleaved rounds; one SMTP session per message; a 1 ms pause measured $pause_ms ms"

# table SCENARIO COUNT [NAMES]: messages per second, CPU, RSS and system calls.
table() {
    for name in ${3:-lsmtp libcurl python}; do
        awk -v n="$name" -v c="$2" -v w="$(median "$1" "$name" 4)" -v cpu="$(median "$1" "$name" 5)" \
            -v rss="$(median "$1" "$name" 6)" -v sc="$(syscalls "$1" "$name")" \
            'BEGIN { printf "  %-8s %9.0f msg/s %8.3f s CPU %7.1f MiB RSS %7s syscalls/msg\n", n, c / w, cpu, rss / 1024, sc }'
    done
}
# ratios SCENARIO [OTHERS]: lsmtp against each other, for speed, CPU and RSS.
ratios() {
    for other in ${2:-libcurl python}; do
        awk -v o="$other" -v lw="$(median "$1" lsmtp 4)" -v ow="$(median "$1" "$other" 4)" \
            -v lc="$(median "$1" lsmtp 5)" -v oc="$(median "$1" "$other" 5)" \
            -v lr="$(median "$1" lsmtp 6)" -v orss="$(median "$1" "$other" 6)" \
            'BEGIN { printf "  lsmtp/%-8s speed %5.2fx  CPU %5.2fx  RSS %5.2fx\n", o, ow / lw, lc / oc, lr / orss }'
    done
}

echo
echo "300 messages with a 1 KB body, one after another"
table small 300 "lsmtp bare libcurl python"
ratios small "bare libcurl python"
awk -v lc="$(median small lsmtp 5)" -v bc="$(median small bare 5)" 'BEGIN {
    printf "  CPU per message: lsmtp %.1f us, bare client %.1f us (%.2fx)\n", lc / 300 * 1e6, bc / 300 * 1e6, lc / bc }'
awk -v lw="$(median small lsmtp 4)" -v cw="$(median small libcurl 4)" -v lc="$(median small lsmtp 5)" \
    -v cc="$(median small libcurl 5)" -v lr="$(median small lsmtp 6)" -v cr="$(median small libcurl 6)" 'BEGIN {
    printf "  goals: speed >= 1.0x libcurl: %s; CPU <= libcurl: %s; RSS <= 0.5x libcurl: %s\n",
        (cw / lw >= 1) ? "met" : "MISSED", (lc <= cc) ? "met" : "MISSED", (lr <= 0.5 * cr) ? "met" : "MISSED" }'
awk -v lw="$(median small lsmtp 4)" -v bw="$(median small bare 4)" -v cw="$(median small libcurl 4)" \
    -v lc="$(median small lsmtp 5)" -v bc="$(median small bare 5)" -v sc="$(syscalls small lsmtp)" 'BEGIN {
    printf "  goals: speed >= 0.85x bare: %s; >= 1.3x libcurl: %s; CPU <= 1.2x bare: %s; <= 20 syscalls/msg: %s\n",
        (bw / lw >= 0.85) ? "met" : "MISSED", (cw / lw >= 1.3) ? "met" : "MISSED", (lc <= 1.2 * bc) ? "met" : "MISSED",
        (sc <= 20) ? "met" : "MISSED" }'

echo
echo "300 messages with a 1 KB body and a 10 KB attachment"
table a10k 300
ratios a10k
awk -v w="$(median a10k lsmtp 4)" -v p="$pauses_a10k" -v ms="$pause_ms" 'BEGIN {
    floor = 300 * p * ms / 1000
    printf "  lsmtp pacing floor: %.1f pauses/msg x %.3f ms = %.3f s; wall %.3f s = floor + %.1f%% (goal 10%%: %s)\n",
        p, ms, floor, w, (w / floor - 1) * 100, (w <= 1.10 * floor) ? "met" : "MISSED" }'

echo
echo "one message with a 2 MiB attachment"
for name in lsmtp libcurl python; do
    awk -v n="$name" -v w="$(median a2m "$name" 4)" -v cpu="$(median a2m "$name" 5)" -v rss="$(median a2m "$name" 6)" \
        'BEGIN { printf "  %-8s %8.3f s wall %8.3f s CPU %7.1f MiB RSS\n", n, w, cpu, rss / 1024 }'
done
awk -v w="$(median a2m lsmtp 4)" -v p="$pauses_a2m" -v ms="$pause_ms" 'BEGIN {
    floor = p * ms / 1000
    printf "  lsmtp pacing floor: %d pauses x %.3f ms = %.3f s; wall = floor + %.1f%% (goal 5%%: %s)\n",
        p, ms, floor, (w / floor - 1) * 100, (w <= 1.05 * floor) ? "met" : "MISSED" }'

echo
echo "320 messages with a 1 KB body over 1 to 16 threads (messages per second; lsmtp/bare, lsmtp/libcurl, lsmtp/python)"
for threads in 1 2 4 8 16; do
    awk -v t="$threads" -v l="$(median "t$threads" lsmtp 4)" -v b="$(median "t$threads" bare 4)" \
        -v c="$(median "t$threads" libcurl 4)" -v p="$(median "t$threads" python 4)" 'BEGIN {
        printf "  %2d threads: lsmtp %7.0f  bare %7.0f  libcurl %7.0f  python %7.0f   %5.2fx %5.2fx %5.2fx\n",
            t, 320 / l, 320 / b, 320 / c, 320 / p, b / l, c / l, p / l }'
done
