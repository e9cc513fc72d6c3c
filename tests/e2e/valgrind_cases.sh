#!/bin/sh
# Whole runs of tarvo under valgrind's memcheck: no invalid access, no use of uninitialised
# memory and no leak, on every way a run can end (a report, each trace, an input error, a
# failed report, a run that cannot end, a usage error). A handful of small cases keeps it fast.
# Usage: valgrind_cases.sh VALGRIND TARVO CASES_DIR
set -u
valgrind=$1
tarvo=$2
casos=$3
if ! command -v "$valgrind" >/dev/null; then
  echo "FAIL: valgrind is not installed (apt-get install valgrind)"
  exit 1
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
falhas=0

# rodar NAME DIR SEED ARGS...: runs tarvo in DIR and checks memcheck's verdict.
rodar() {
  nome=$1 dir=$2 semente=$3
  shift 3
  (cd "$dir" && TARVO_SEED=$semente "$valgrind" -q --error-exitcode=99 --leak-check=full \
    --errors-for-leak-kinds=definite,indirect,possible --log-file="$tmp/valgrind.log" \
    "$tarvo" "$@" >/dev/null 2>&1)
  status=$?
  if [ "$status" -ne 0 ] && [ "$status" -ne 1 ] || [ -s "$tmp/valgrind.log" ]; then
    echo "FAIL $nome: status $status"
    cat "$tmp/valgrind.log"
    falhas=$((falhas + 1))
  else
    echo "ok   $nome"
  fi
}

# caso NAME: one of the end-to-end cases, with its model and seed.
caso() {
  d="$tmp/$1"
  mkdir "$d"
  cp "$casos/$1/model.txt" "$d/"
  rodar "$1" "$d" "$(cat "$casos/$1/seed")" model.txt
}

for c in mm1_limit_by_N tandem_exp feedback_loop uniform_negative missing_saida_source \
  no_sources visual1_small visual2_small err_type_3 err_after_long_comment stall_zero_service; do
  caso "$c"
done

d="$tmp/relatorio_diretorio"
mkdir -p "$d/Simula_imp.txt"
cp "$casos/tandem_exp/model.txt" "$d/"
rodar relatorio_diretorio "$d" 1 model.txt

rodar uso "$tmp" 1
rodar arquivo_inexistente "$tmp" 1 nao_existe.txt
rodar diretorio_como_modelo "$tmp" 1 "$tmp"

[ "$falhas" -eq 0 ]
