#!/bin/bash
# Follows docs/modelos.md from start to end in an empty directory: writes each ```text file=NAME
# (or toml) block to NAME, runs each line of a ```sh block (status 0 expected) or ```sh fails
# block (status other than 0), and checks that each line of a ```text output block appears in
# what the last command printed. Arguments: the guide, the directory of tarvo and tarvo-rep.
guia=$(realpath "$1") && export PATH="$(realpath "$2"):$PATH" || exit 1
d=$(mktemp -d) && trap 'rm -rf "$d"' EXIT && cd "$d" || exit 1
falhou=0 tipo= blocos=0 saida=
erro() { echo "$guia:$n: $*" && falhou=1; }
n=0
while IFS= read -r linha; do
  n=$((n + 1))
  if [[ -z $tipo ]]; then
    case $linha in
    '```'*' file='*) tipo=file alvo=${linha##*file=} && : >"$alvo" ;;
    '```sh') tipo=ok ;;
    '```sh fails') tipo=fails ;;
    '```text output') tipo=output ;;
    '```'*) tipo=outro ;;
    esac
    continue
  fi
  if [[ $linha == '```' ]]; then
    [[ $tipo != outro ]] && blocos=$((blocos + 1))
    tipo=
    continue
  fi
  case $tipo in
  file) printf '%s\n' "$linha" >>"$alvo" ;;
  ok | fails)
    saida=$(sh -c "$linha" 2>&1 </dev/null)
    st=$?
    [[ $tipo == ok && $st -ne 0 ]] && erro "status $st: $linha" && echo "$saida"
    [[ $tipo == fails && $st -eq 0 ]] && erro "status 0, esperado erro: $linha"
    ;;
  output)
    esperado=$(sed 's/^[[:space:]]*//;s/[[:space:]]*$//' <<<"$linha")
    [[ -n $esperado ]] && ! grep -qF -- "$esperado" <<<"$saida" && erro "falta: $esperado"
    ;;
  esac
done <"$guia"
[[ $blocos -ge 20 ]] || erro "so $blocos blocos lidos"
exit $falhou
