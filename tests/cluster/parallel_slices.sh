#!/bin/sh
# An experiment cut into slices that GNU parallel runs as separate processes, merged, gives the
# bytes of the whole run in each format; a merge of an incomplete or overlapping set of slices
# fails with a message and writes nothing.
# Usage: parallel_slices.sh TARVO_REP MODEL [SCRATCH_PARENT]
set -eu
rep=$(realpath "$1")
model=$(realpath "$2")
here=$(dirname "$(realpath "$0")")
if ! command -v parallel >/dev/null; then
  echo "FAIL: GNU parallel is not installed (apt-get install parallel)"
  exit 1
fi
dir=$(mktemp -d -p "${3:-${TMPDIR:-/tmp}}")
trap 'rm -rf "$dir"' EXIT
cd "$dir"
. "$here/plan.sh"

whole_runs
parallel --will-cite "$rep" --replications 6 --seed 42 --slice {} --output slice-{#}.json "$model" ::: 0:2 2:4 4:6
merges_match slice-*.json
merges_match slice-3.json slice-1.json slice-2.json

# refused WHAT SLICE...: merging these slices fails, says why, and leaves no file behind.
"$rep" --replications $n --seed $seed --slice 1:3 --output overlap.json "$model"
refused() {
  what=$1
  shift
  mkdir "$what"
  if "$rep" merge --format csv --output "$what/merged.csv" "$@" >"$what.out" 2>"$what.err"; then
    echo "FAIL: the $what set of slices was merged"
    falhas=$((falhas + 1))
  elif [ ! -s "$what.err" ] || [ -s "$what.out" ] || [ -n "$(ls -A "$what")" ]; then
    echo "FAIL: the refused $what merge gave no reason or wrote something:"
    cat "$what.err" "$what.out"
    ls -A "$what"
    falhas=$((falhas + 1))
  fi
}
refused incomplete slice-1.json slice-3.json
refused overlapping slice-1.json overlap.json slice-2.json slice-3.json

[ "$falhas" -eq 0 ]
