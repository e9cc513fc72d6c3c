# The module against tarvo-rep, the loaders' messages, the guide's models, interruption, threads
# and memory. ctest gives the program (TARVO_REP) and the source tree (TARVO_RAIZ).
import html
import os
import pathlib
import re
import signal
import subprocess
import threading
import tomllib

import pytest

import tarvo

REP = os.environ["TARVO_REP"]
RAIZ = pathlib.Path(os.environ["TARVO_RAIZ"])
EX = RAIZ / "examples"


def rep(*args, cwd=RAIZ):
    return subprocess.run([REP, *map(str, args)], cwd=cwd, check=True, capture_output=True,
                          text=True).stdout


# Each case: the model, the keywords of rodar, the same request as tarvo-rep options. The JSON
# documents must be the same bytes.
RODADAS = [
    ("examples/mm1.txt", dict(replicacoes=5, semente=42, jobs=2, teoria=True),
     "-r 5 -s 42 -j 2 --theory"),
    ("examples/tandem.txt", dict(replicacoes=3, semente=7, aquecimento=50.0, confianca=0.9),
     "-r 3 -s 7 -w 50 -c 0.9"),
    ("examples/clinica.toml", dict(replicacoes=4, semente=3, jobs=2, teoria=True),
     "-r 4 -s 3 -j 2 --theory"),
    ("examples/clinica.toml",
     dict(replicacoes=3, semente=9, precisao=0.05, max_replicacoes=12, alvo="espera_media"),
     "-r 3 -s 9 -p 0.05 -m 12 -t espera_media"),
    ("examples/central.toml", dict(replicacoes=3, semente=1), "-r 3 -s 1"),
]


@pytest.mark.parametrize("modelo,kw,opcoes", RODADAS)
def test_rodar_da_o_json_do_tarvo_rep(modelo, kw, opcoes):
    os.chdir(RAIZ)
    r = tarvo.carregar(modelo).rodar(**kw)
    assert r.json() == rep(*opcoes.split(), "-f", "json", modelo)
    assert r.texto() == rep(*opcoes.split(), modelo)


def test_tabelas_trazem_os_numeros_do_json():
    import json
    os.chdir(RAIZ)
    r = tarvo.carregar("examples/clinica.toml").rodar(replicacoes=4, semente=5, teoria=True)
    doc = json.loads(r.json())["figuras"]
    t = r.figuras
    assert len(t) == len(doc)
    for (_, linha), f in zip(t.iterrows(), doc):
        assert (linha.tipo, linha.nome, linha.figura) == (f["tipo"], f["nome"], f["figura"])
        for c in ("media", "meia_largura", "desvio", "min", "max"):
            assert (linha[c] if linha[c] == linha[c] else None) == f[c]
        assert linha.n == f["n"]
        teoria = f["teoria"] and f["teoria"]["valor"]
        assert (linha.teoria if linha.teoria == linha.teoria else None) == teoria
    reps = r.replicacoes
    assert len(reps) == 4 * len(doc)
    por_figura = reps[(reps.nome == "consulta") & (reps.figura == "espera_media")]
    valores = next(f["valores"] for f in doc
                   if f["nome"] == "consulta" and f["figura"] == "espera_media")
    assert list(por_figura.valor) == valores
    assert list(por_figura.replicacao) == [0, 1, 2, 3]


def test_varredura_e_comparacao_dao_os_documentos_do_tarvo_rep(tmp_path):
    os.chdir(RAIZ)
    m = tarvo.carregar("examples/mm1.txt")
    v = tarvo.varrer(m, {"S1.a": [0.5, 0.6, 0.7], "D": [2000.0, 4000.0]}, replicacoes=3,
                     semente=42, teoria=True)
    assert v.json() == rep("-r", 3, "-s", 42, "--theory", "-f", "json", "--sweep",
                           "S1.a=0.5:0.7:0.1", "--sweep", "D=2000:4000:2000", "examples/mm1.txt")
    t = v.figura("espera_media")
    assert list(zip(t["S1.a"], t["D"])) == [(a, d) for a in (0.5, 0.6, 0.7) for d in (2000, 4000)]
    c = tarvo.carregar("examples/clinica.toml")
    (tmp_path / "c3.toml").write_text(c.texto.replace("servidores = 4", "servidores = 3"))
    b = tarvo.carregar(tmp_path / "c3.toml")
    assert b.caminho == str(tmp_path / "c3.toml")
    k = tarvo.comparar(c, b, replicacoes=4, semente=2)
    assert k.json() == rep("-r", 4, "-s", 2, "-f", "json", "--compare", "examples/clinica.toml",
                           tmp_path / "c3.toml")
    linha = k.figuras[(k.figuras.nome == "consulta") & (k.figuras.figura == "espera_media")]
    assert linha.melhor.item() == "A" and linha.diferenca.item() > 0
    assert "A espera menos em 1 de 2 estações" in k.veredito


def test_pagina_no_jupyter_e_a_de_html(tmp_path):
    os.chdir(RAIZ)
    r = tarvo.carregar("examples/mm1.txt").rodar(replicacoes=3, semente=1, teoria=True)
    rep("-r", 3, "-s", 1, "--theory", "--html", tmp_path / "p.html", "examples/mm1.txt")
    quadro = r._repr_html_()
    srcdoc = re.fullmatch(r'<iframe [^>]*srcdoc="([^"]*)"></iframe>', quadro).group(1)
    versao = re.search(r"Página escrita por tarvo-rep (\S+)\.", (tmp_path / "p.html").read_text())
    esperado = (tmp_path / "p.html").read_text().replace(
        f"tarvo-rep {versao.group(1)}", f"tarvo (Python) {versao.group(1)}")
    assert html.unescape(srcdoc) == esperado


def erros_do_loader():
    for p in sorted((RAIZ / "tests/geral/erros").glob("*.toml")):
        primeira = p.read_bytes().split(b"\n", 1)[0].decode("utf-8", "backslashreplace")
        yield pytest.param(p.name, primeira[2:], id=p.stem)


# The bad files of the extended loader, each with its whole message on its first line.
@pytest.mark.parametrize("arquivo,mensagem", erros_do_loader())
def test_erro_de_modelo_tem_a_mensagem_e_o_lugar(arquivo, mensagem):
    os.chdir(RAIZ / "tests/geral/erros")
    with pytest.raises(tarvo.ErroDeModelo) as e:
        tarvo.carregar(arquivo)
    linha, coluna, resto = mensagem[len(arquivo) + 1:].split(":", 2)
    assert str(e.value) == mensagem
    assert (e.value.arquivo, e.value.linha, e.value.coluna) == (arquivo, int(linha), int(coluna))
    assert e.value.mensagem == resto[1:]


def test_erros_de_arquivo_dos_dois_idiomas(tmp_path):
    (tmp_path / "ruim.txt").write_text("D 100\nS 1 x\n")
    (tmp_path / "ruim.toml").write_text("[simulacao]\ntempo = 10.0\nxis = 1\n")
    casos = [
        ("ruim.txt", 2, None, "Numero de parametros invalido"),
        ("ruim.toml", 3, 1, None),
        ("nada.toml", None, None, None),
    ]
    for nome, linha, coluna, mensagem in casos:
        caminho = str(tmp_path / nome)
        r = subprocess.run([REP, "-r", "1", caminho], capture_output=True, text=True)
        with pytest.raises(tarvo.ErroDeModelo) as e:
            tarvo.carregar(caminho)
        assert str(e.value) + "\n" == r.stderr
        assert (e.value.linha, e.value.coluna) == (linha, coluna)
        assert e.value.arquivo == caminho
        assert mensagem is None or e.value.mensagem == mensagem


def test_pedidos_recusados():
    os.chdir(RAIZ)
    m = tarvo.carregar("examples/mm1.txt")
    casos = [
        (lambda: m.rodar(replicacoes=0), "tarvo: replicacoes deve ser de 1 a 2147483648"),
        (lambda: m.rodar(precisao=0.1), "tarvo: precisao exige max_replicacoes"),
        (lambda: m.rodar(semente=2**32), "tarvo: semente deve ser um inteiro de 0 a 4294967295"),
        (lambda: m.rodar(confianca=1.0), "tarvo: confianca deve ser maior que 0 e no maximo"),
        (lambda: m.rodar(aquecimento=1e9, semente=1),
         "tarvo-rep: --warmup (1e+09) deve ser menor que D (1e+05)"),
        (lambda: m.rodar(precisao=0.1, max_replicacoes=20, alvo="nada"),
         "tarvo-rep: --target nada"),
        (lambda: tarvo.varrer(m, {"S1.x": [1]}),
         'tarvo-rep: --sweep: o modelo nao tem o parametro "S1.x"'),
        (lambda: tarvo.varrer(m, {"N": [1.5]}), "tarvo-rep: --sweep N: o parametro e inteiro"),
        (lambda: tarvo.comparar(m, tarvo.carregar("examples/clinica.toml")),
         "tarvo: comparar precisa de dois modelos da mesma linguagem"),
    ]
    for chamada, inicio in casos:
        with pytest.raises(tarvo.Erro) as e:
            chamada()
        assert str(e.value).startswith(inicio), str(e.value)
        assert not isinstance(e.value, tarvo.ErroDeModelo)


def modelos_do_guia():
    for doc in sorted((RAIZ / "docs").glob("*.md")):
        for n, bloco in enumerate(re.findall(r"```toml[^\n]*\n(.*?)```", doc.read_text(), re.S)):
            yield pytest.param(bloco, id=f"{doc.stem}-{n}")
    for p in sorted(EX.glob("*.toml")):
        yield pytest.param(p.read_text(), id=p.stem)


# A dict with the TOML schema is the same model as its text: the same figures, the same values.
@pytest.mark.parametrize("texto", modelos_do_guia())
def test_modelo_de_dict_e_o_do_texto(texto):
    try:
        do_texto = tarvo.carregar(texto, nome="m.toml")
    except tarvo.ErroDeModelo as e:  # the guide's examples of mistakes
        with pytest.raises(tarvo.ErroDeModelo) as d:
            tarvo.carregar(tomllib.loads(texto), nome="m.toml")
        assert d.value.mensagem == e.mensagem
        return
    do_dict = tarvo.carregar(tomllib.loads(texto))
    assert tomllib.loads(do_dict.texto) == tomllib.loads(texto)

    def rodada(m):  # the guide's examples of blocking stop with the engine's message
        try:
            return m.rodar(replicacoes=2, semente=11, jobs=1).figuras
        except tarvo.Erro as e:
            return str(e)

    a, b = rodada(do_texto), rodada(do_dict)
    assert a == b if isinstance(a, str) else a.equals(b)


def test_serializador_escreve_o_que_o_tomllib_le():
    modelo = {"simulacao": {"tempo": 1e300, "x": float("inf"), "y": -0.0},
              "f": [{"nome": 'a"b\\c\nd\té', "l": [1, 2.5, True, {"k w": range(3)}]}]}
    lido = tomllib.loads(tarvo.para_toml(modelo))
    modelo["f"][0]["l"][3]["k w"] = [0, 1, 2]
    assert lido == modelo and str(lido["simulacao"]["y"]) == "-0.0"


LONGO = """[simulacao]
fregueses = 4000000000
[[fonte]]
nome = "f"
intervalo = { dist = "exponencial", media = 1.0 }
destino = "e"
[[estacao]]
nome = "e"
servico = { dist = "exponencial", media = 0.5 }
"""


# Ctrl-C, as SIGINT from another thread, stops a run that would last hours; the interpreter goes on.
def test_interrupcao_levanta_keyboardinterrupt_e_o_interpretador_segue():
    m = tarvo.carregar(LONGO)
    t = threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT))
    t.start()
    with pytest.raises(KeyboardInterrupt):
        m.rodar(replicacoes=4, semente=1, jobs=2)
    t.join()
    os.chdir(RAIZ)
    assert tarvo.carregar("examples/mm1.txt").rodar(replicacoes=2, semente=1).feitas == 2


def test_threads_do_python_rodam_juntas_e_dao_o_mesmo():
    os.chdir(RAIZ)
    m = tarvo.carregar("examples/clinica.toml")
    sozinho = m.rodar(replicacoes=4, semente=8, jobs=1).json()
    resultados = [None] * 3
    durante = [0] * 3
    contador = [0]

    def rodar(i):
        antes = contador[0]
        resultados[i] = m.rodar(replicacoes=4, semente=8, jobs=1 + i).json()
        durante[i] = contador[0] - antes

    ts = [threading.Thread(target=rodar, args=(i,)) for i in range(3)]
    for t in ts:
        t.start()
    # The runs hold no lock Python code needs: this thread counts while each goes on.
    while any(t.is_alive() for t in ts):
        contador[0] += 1
    for t in ts:
        t.join()
    assert resultados == [sozinho] * 3
    assert all(d > 0 for d in durante), durante


# The bytes in use: the resident size, or under AddressSanitizer (which holds freed blocks back
# for a while) what its allocator counts as allocated.
def memoria():
    import ctypes
    try:
        f = ctypes.CDLL(None).__sanitizer_get_current_allocated_bytes
    except AttributeError:
        paginas = int(pathlib.Path("/proc/self/statm").read_text().split()[1])
        return paginas * os.sysconf("SC_PAGE_SIZE")
    f.restype = ctypes.c_size_t
    return f()


# A thousand runs in one process: a result that outlived its Python object (it holds at least
# its JSON's bytes) would add that much a run.
def test_memoria_nao_cresce_em_mil_execucoes():
    m = tarvo.carregar(LONGO.replace("fregueses = 4000000000", "tempo = 20.0"))

    def uma():
        r = m.rodar(replicacoes=3, semente=1, jobs=1)
        r.figuras
        return len(r.json())

    for _ in range(200):
        tamanho = uma()
    antes = memoria()
    for _ in range(1000):
        uma()
    assert memoria() - antes < 1000 * tamanho / 2


# The stub names what the package has, with the same parameters.
def test_stub_confere_com_o_pacote():
    import ast
    import inspect
    stub = ast.parse((pathlib.Path(tarvo.__file__).parent / "__init__.pyi").read_text())
    vistos = 0
    for no in ast.walk(stub):
        for f in getattr(no, "body", []):
            if not isinstance(f, ast.FunctionDef) or f.name.startswith("__"):
                continue
            dono = tarvo if isinstance(no, ast.Module) else getattr(tarvo, no.name)
            real = getattr(dono, f.name)
            real = real.fget if isinstance(real, property) else real
            nomes = [a.arg for a in f.args.args + f.args.kwonlyargs]
            esperado = list(inspect.signature(real).parameters)
            if f.args.kwonlyargs and "opcoes" in esperado:  # **opcoes, spelt out in the stub
                esperado = esperado[:-1]
                nomes = nomes[:len(esperado)]
            assert nomes == esperado, f.name
            vistos += 1
    assert vistos > 30 and set(tarvo.__all__) <= set(dir(tarvo))


# The chapter's examples, run in order in one namespace, as a reader would.
def test_capitulo_do_guia_roda(capsys):
    import matplotlib
    matplotlib.use("Agg")
    os.chdir(RAIZ)
    nomes = {}
    for bloco in re.findall(r"```python\n(.*?)```", (RAIZ / "docs/python.md").read_text(), re.S):
        exec(compile(bloco, "docs/python.md", "exec"), nomes)
    assert capsys.readouterr().out == '3 15 "aquecimento" (200) deve ser menor que "tempo" (100)\n'
    assert "B espera menos na estação caixas" in nomes["c"].veredito


SUSPEITO = "D 100\nN 50\nE 1 a 1 0\ns 1\nF q\ns 1\nS 1 b 0.5 0\ne 1\ns 2\nF f\n\tN 9\n"
INSTAVEL = LONGO.replace("fregueses = 4000000000", "tempo = 200.0").replace("0.5", "1.25")


# What tarvo-rep writes on standard error, line by line, comes as tarvo.Aviso warnings.
@pytest.mark.parametrize("texto,arquivo,eixos", [
    (SUSPEITO, "m.txt", None),
    (INSTAVEL, "m.toml", None),
    (SUSPEITO, "m.txt", ("S1.a", [0.8, 1.2], "S1.a=0.8:1.2:0.4")),
])
def test_avisos_sao_os_do_tarvo_rep(tmp_path, texto, arquivo, eixos):
    (tmp_path / arquivo).write_text(texto)
    os.chdir(tmp_path)
    with pytest.warns(tarvo.Aviso) as avisos:
        m = tarvo.carregar(arquivo)
        if eixos:
            tarvo.varrer(m, {eixos[0]: eixos[1]}, replicacoes=2, semente=1)
        else:
            m.rodar(replicacoes=2, semente=1)
    args = ["--sweep", eixos[2]] if eixos else []
    erro = subprocess.run([REP, "-r", "2", "-s", "1", *args, arquivo], capture_output=True,
                          text=True, check=True).stderr
    assert [str(a.message) for a in avisos] == erro.splitlines()
