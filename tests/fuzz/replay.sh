#!/bin/sh
# replay.sh HARNESS CORPUS RUNS: runs every input of the corpus, then RUNS
# inputs in all from a fixed seed. New finds go to a scratch folder beside
# the harness, never into the tree; a failing input is saved there too.
#
# The same tree gives the same runs every time: the inputs named in one order
# whatever the folder's; no reload of the scratch folder or purge of the
# allocator on a timer; no mutation from the values of comparisons, which
# include addresses that change from run to run.
set -eu
harness=$1
corpus=$2
runs=$3
scratch="$harness.scratch"
rm -rf "$scratch"
mkdir -p "$scratch"
inputs=$(LC_ALL=C ls "$corpus" | sed "s|^|$corpus/|" | paste -sd, -)
# The run's statistics stay beside the harness for the test log.
status=0
"$harness" -seed=1 -runs="$runs" -reload=0 -purge_allocator_interval=-1 -use_cmp=0 -seed_inputs="$inputs" \
    -artifact_prefix="$scratch/" -print_final_stats=1 "$scratch" 2>"$harness.log" || status=$?
cat "$harness.log" >&2
grep -E '^stat::(number_of_executed_units|new_units_added):' "$harness.log" >"$harness.stats" || true
exit $status
