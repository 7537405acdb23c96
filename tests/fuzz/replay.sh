#!/bin/sh
# replay.sh HARNESS CORPUS RUNS: runs every input of the corpus, then RUNS
# inputs in all from a fixed seed. New finds go to a scratch folder beside
# the harness, never into the tree; a failing input is saved there too.
set -eu
harness=$1
corpus=$2
runs=$3
scratch="$harness.scratch"
rm -rf "$scratch"
mkdir -p "$scratch"
exec "$harness" -seed=1 -runs="$runs" -artifact_prefix="$scratch/" -print_final_stats=1 "$scratch" "$corpus"
