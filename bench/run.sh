#!/bin/sh
# Base64 throughput: the library's file encoder against coreutils'
# "base64 -w 76", on the same 64 MiB random file, from and to /dev/shm.
# Both are timed the same way, as whole processes; the best of several runs
# counts. Usage: sh bench/run.sh
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/bench"
runs=5
size_mib=64

work=$(mktemp -d /dev/shm/lsmtp-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
trap 'exit 1' INT TERM

# The compiler's chatter goes to a log, shown only when the build fails.
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DLSMTP_TESTS=OFF -DLSMTP_BENCH=ON &&
       cmake --build "$build" --target lsmtp_bench_base64 -j "$(nproc)"; } >"$work/build.log" 2>&1; then
    cat "$work/build.log" >&2
    exit 1
fi
encoder="$build/bench/lsmtp_bench_base64"
head -c $((size_mib * 1024 * 1024)) /dev/urandom > "$work/source"

now() { date +%s%N; }

# Best wall time in seconds of $runs runs of the command given; the output
# file is removed before each run so that every run writes a new file.
best_of() {
    output=$1
    shift
    best=
    i=0
    while [ $i -lt $runs ]; do
        rm -f "$output"
        start=$(now)
        "$@"
        end=$(now)
        taken=$((end - start))
        if [ -z "$best" ] || [ $taken -lt $best ]; then best=$taken; fi
        i=$((i + 1))
    done
    awk -v ns="$best" 'BEGIN { printf "%.4f", ns / 1e9 }'
}

coreutils_to_file() { base64 -w 76 "$work/source" > "$work/coreutils.b64"; }

ours=$(best_of "$work/ours.b64" "$encoder" "$work/source" "$work/ours.b64")
theirs=$(best_of "$work/coreutils.b64" coreutils_to_file)

# The same text apart from the line ends.
if tr -d '\r' < "$work/ours.b64" | cmp -s - "$work/coreutils.b64"; then
    agree="same text apart from line ends"
else
    agree="OUTPUTS DIFFER beyond line ends"
fi

cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo 2>/dev/null || true)
echo "machine: ${cpu:-unknown CPU}, $(nproc) CPUs, $(uname -sr)"
echo "source: $size_mib MiB of random bytes in /dev/shm; best of $runs runs each"
awk -v ours="$ours" -v theirs="$theirs" -v mib="$size_mib" 'BEGIN {
    printf "  lsmtp encode_file_base64   %8.4f s  %8.1f MiB/s   (76-char lines, CR LF line ends)\n", ours, mib / ours
    printf "  coreutils base64 -w 76     %8.4f s  %8.1f MiB/s   (76-char lines, LF line ends: 1 byte less a line)\n", theirs, mib / theirs
    printf "  ratio: lsmtp is %.2fx the speed of coreutils\n", theirs / ours
}'
echo "  outputs: $agree"
