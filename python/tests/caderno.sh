#!/bin/sh
# Executes the notebook with Jupyter into a directory of the build, then checks what it shows:
# every code cell ran without an error, the tables name the figures, and the plot is there.
# Arguments: Debian's python3, the notebook, the directory for the executed copy.
set -eu
export PYDEVD_DISABLE_FILE_VALIDATION=1  # the kernel's debugger, which is not used, warns otherwise
python=$1 caderno=$2 saida=$3
mkdir -p "$saida"
cd "$saida"
"$python" -m jupyter nbconvert --to notebook --execute --ExecutePreprocessor.timeout=300 \
  --ExecutePreprocessor.kernel_name=python3 --output-dir "$saida" --output executado "$caderno"
"$python" - "$saida/executado.ipynb" <<'FIM'
import json, sys
celulas = [c for c in json.load(open(sys.argv[1]))["cells"] if c["cell_type"] == "code"]
falhas = []
for n, c in enumerate(celulas, 1):
    if not c["outputs"]:
        falhas.append(f"celula {n}: sem saida")
    for o in c["outputs"]:
        if o["output_type"] == "error":
            falhas.append(f"celula {n}: {o['ename']}: {o['evalue']}")
texto = json.dumps([c["outputs"] for c in celulas])
for esperado in ("espera_media", "utilizacao", "image/png", "iframe"):
    if esperado not in texto:
        falhas.append(f"nenhuma saida mostra {esperado}")
print("\n".join(falhas) or f"{len(celulas)} celulas executadas")
sys.exit(1 if falhas else 0)
FIM
