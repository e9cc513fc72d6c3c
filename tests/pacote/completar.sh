#!/bin/bash
# Completions of tarvo-rep from the script bash-completion loads: an option, a --format value,
# a subcommand, only slices after merge and only extended models after dimensionar. Argument:
# the script; run in a scratch directory.
. "$1" || exit 1
d=$(mktemp -d) && trap 'rm -rf "$d"' EXIT && cd "$d" && touch a.json b.txt c.toml || exit 1
pede() {
  COMP_WORDS=("$@") COMP_CWORD=$(($# - 1))
  _tarvo_rep
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}
falhou=0
confere() {
  [ "$1" = "$2" ] || { echo "esperado '$1', veio '$2'" && falhou=1; }
}
confere '--format ' "$(pede tarvo-rep --fo)"
confere 'json ' "$(pede tarvo-rep --format j)"
confere '--sweep ' "$(pede tarvo-rep --sw)"
confere '--figuras ' "$(pede tarvo-rep merge --fig)"
confere 'merge ' "$(pede tarvo-rep -r 2 mer)"
confere 'a.json ' "$(pede tarvo-rep merge '')"
confere 'a.json b.txt c.toml convert dimensionar merge ' "$(pede tarvo-rep '')"
confere '--max-servidores ' "$(pede tarvo-rep dimensionar --max)"
confere 'c.toml ' "$(pede tarvo-rep dimensionar --estacao b '')"
exit $falhou
