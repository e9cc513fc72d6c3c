#!/bin/sh
# Each case of casos.txt: tarvo-rep writes its HTML page, run from the source directory so that
# the models' relative paths hold, and navegador.py opens the page in headless Chromium and
# checks it. Every case runs and each one that fails is named; a table with no case fails, and
# so does a missing Chromium, chromedriver or python3, naming the package.
# Arguments: TARVO_REP SOURCE_DIR [FOTOS_DIR], where each case gets a directory of screenshots.
rep=$(realpath "$1") && fonte=$(realpath "$2") || exit 1
aqui=$(dirname "$(realpath "$0")")
fotos=
if [ -n "$3" ]; then
  mkdir -p "$3" && fotos=$(realpath "$3") || exit 1
fi
if ! command -v python3 >/dev/null; then
  echo "FAIL: python3 is not installed (apt-get install python3)"
  exit 1
fi
tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT
trap 'exit 1' HUP INT TERM
set -f  # ARGUMENTOS are split on blanks, never expanded as patterns
falhou=0 casos=0 n=0
erro() { echo "$*" && falhou=1; }
while IFS= read -r linha; do
  n=$((n + 1))
  case $linha in '' | '#'*) continue ;; esac
  IFS='|' read -r nome args graficos pontos primeiro <<FIM
$linha
FIM
  # Unquoted echo: the fields without their surrounding blanks.
  nome=$(echo $nome) args=$(echo $args) graficos=$(echo $graficos) pontos=$(echo $pontos)
  primeiro=$(echo $primeiro)
  barras=$(printf %s "$linha" | tr -cd '|')
  case $nome in '' | *[!A-Za-z0-9_.-]*) barras= ;; esac
  if [ "$barras" != '||||' ]; then
    erro "casos.txt:$n: esperado NOME | ARGUMENTOS | GRAFICOS | PONTOS | PRIMEIRO, NOME de A-Z a-z 0-9 _ . -"
    continue
  fi
  casos=$((casos + 1))
  pagina=$tmp/$nome.html
  rm -f "$pagina"  # a page left by an earlier case of that name is not this one's
  if ! (cd "$fonte" && exec "$rep" $args --html "$pagina" -o /dev/null) </dev/null \
    >"$tmp/saida" 2>&1; then
    erro "caso $nome: tarvo-rep $args --html $nome.html -o /dev/null falhou:"
    cat "$tmp/saida"
    continue
  fi
  set -- "$pagina" --graficos "$graficos" --pontos "$pontos" --primeiro "$primeiro"
  [ -z "$fotos" ] || set -- "$@" --fotos "$fotos/$nome"
  python3 "$aqui/navegador.py" "$@" </dev/null
  status=$?
  [ $status -eq 0 ] || erro "caso $nome falhou"
done <"$aqui/casos.txt"
[ $casos -gt 0 ] || erro "casos.txt: nenhum caso"
exit $falhou
