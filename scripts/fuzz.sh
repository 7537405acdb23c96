#!/bin/sh
# fuzz.sh [SECONDS]: builds the fuzzing harnesses with clang and lets each
# explore for SECONDS (default 60) from its seed corpus, with a new seed
# every run. New inputs collect in build/fuzz/found/NAME; an input that
# breaks a harness is saved as build/fuzz/crashes/NAME-*. Once its fault is
# fixed, copy it into tests/fuzz/corpus/NAME so every test run replays it.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}
sh scripts/install-deps.sh clang libclang-rt-14-dev
dir=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLSMTP_FUZZ=ON -DLSMTP_TESTS=OFF -DLSMTP_BENCH=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)" --target fuzzers
mkdir -p "$dir/crashes"
status=0
for corpus in tests/fuzz/corpus/*/; do
    name=$(basename "$corpus")
    mkdir -p "$dir/found/$name"
    echo "== $name"
    "$dir/tests/fuzz/fuzz_$name" -max_total_time="$seconds" -artifact_prefix="$dir/crashes/$name-" \
        -print_final_stats=1 "$dir/found/$name" "$corpus" || status=1
done
exit $status
