# Sourced by the slice tests, in their scratch directory, with rep (tarvo-rep) and model set: the
# experiment they cut into slices (the plan of the README and examples/slices.sbatch), its whole
# runs, and the check of a merge against them.
n=6
seed=42
falhas=0

# whole_runs: the whole experiment in one process, in each format, as whole.FORMAT.
whole_runs() {
  for f in text json csv; do
    "$rep" --replications $n --seed $seed --format $f --output whole.$f "$model"
  done
}

# merges_match SLICE...: the slices merged in each format are the bytes of the whole run.
merges_match() {
  for f in text json csv; do
    rm -f merged.$f
    if ! "$rep" merge --format $f --output merged.$f "$@" || ! cmp whole.$f merged.$f; then
      echo "FAIL: merge of $* in $f is not the whole run"
      falhas=$((falhas + 1))
    fi
  done
}
