"""Tarvo em Python: os motores do tarvo-rep, sem subprocesso, com resultados em tabelas pandas.

Um modelo vem de um arquivo (.txt do tarvo ou .toml da linguagem estendida), de um texto TOML
ou de um dict com o esquema do TOML::

    import tarvo
    m = tarvo.carregar("examples/mm1.txt")
    r = m.rodar(replicacoes=20, semente=42)
    r.figuras                      # um DataFrame: uma linha por figura
    v = tarvo.varrer(m, {"S1.a": [0.5, 0.6, 0.7]}, replicacoes=20, semente=42)
    c = tarvo.comparar(a, b, replicacoes=20, semente=42)

Cada figura e a mesma do tarvo-rep com as mesmas opcoes, bit a bit: o mesmo motor, o mesmo
plano de sementes e as mesmas estatisticas. As execucoes rodam em threads proprias, sem o GIL;
Ctrl-C as interrompe com KeyboardInterrupt.
"""

from __future__ import annotations

import html as _html
import json as _json
import math as _math
import os as _os
import re as _re
import secrets as _secrets

import pandas as _pd

from . import _tarvo

__all__ = ["carregar", "varrer", "comparar", "para_toml", "Modelo", "Resultado", "Varredura",
           "Comparacao", "Aviso", "Erro", "ErroDeModelo"]


class Aviso(UserWarning):
    """O que o tarvo-rep avisaria na saida de erro: linhas suspeitas de um modelo, estacoes
    instaveis, duracoes perdidas, replicacoes sem eventos. Um warning do Python, que o Jupyter
    mostra abaixo da celula."""


class Erro(ValueError):
    """Um pedido que o Tarvo recusa, com a mesma mensagem do tarvo-rep.

    status e o status de saida que o programa daria."""

    def __init__(self, texto: str, status: int = 1, arquivo: str = ""):
        super().__init__(texto)
        self.status = status


class ErroDeModelo(Erro):
    """Um modelo que o carregador recusa: str() e a mensagem dos programas; arquivo, linha e
    coluna dizem onde (linha e coluna None onde a mensagem nao as da) e mensagem, o que."""

    # arquivo:linha:coluna: mensagem (linguagem estendida)
    _POSICAO = _re.compile(r"^(.*):(\d+):(\d+): (.*)$", _re.DOTALL)
    # Arquivo de dados : erro linha  - N - (modelo do tarvo)
    _LEGADO = _re.compile(r"^Arquivo de dados : erro linha\s*-\s*(\d+)\s*-\s*(.*)$", _re.DOTALL)

    def __init__(self, texto: str, status: int = 1, arquivo: str = ""):
        super().__init__(texto, status, arquivo)
        self.arquivo = arquivo
        self.linha: int | None = None
        self.coluna: int | None = None
        self.mensagem = texto
        if p := self._POSICAO.match(texto.split("\n", 1)[0]):
            self.arquivo, linha, coluna, _ = p.groups()
            self.linha, self.coluna = int(linha), int(coluna)
            self.mensagem = texto[len(f"{self.arquivo}:{linha}:{coluna}: "):]
        elif p := self._LEGADO.match(texto):
            self.linha = int(p.group(1))
            self.mensagem = p.group(2).strip()


_CHAVE_NUA = _re.compile(r"^[A-Za-z0-9_-]+$")


def _chave(k) -> str:
    if not isinstance(k, str):
        raise TypeError(f"chave {k!r}: as chaves de um modelo sao textos")
    return k if _CHAVE_NUA.match(k) else _json.dumps(k, ensure_ascii=False)


def _valor(v) -> str:
    if isinstance(v, bool):
        return "true" if v else "false"
    if isinstance(v, int):
        return str(v)
    if isinstance(v, float):
        if _math.isnan(v):
            return "nan"
        if _math.isinf(v):
            return "inf" if v > 0 else "-inf"
        return repr(v)  # the shortest text that reads back as the same double
    if isinstance(v, str):
        return _json.dumps(v, ensure_ascii=False)  # JSON's escapes are TOML's
    if isinstance(v, dict):
        return "{ " + ", ".join(f"{_chave(k)} = {_valor(x)}" for k, x in v.items()) + " }"
    if isinstance(v, (list, tuple, range)):
        return "[" + ", ".join(_valor(x) for x in v) + "]"
    if hasattr(v, "item"):  # a numpy scalar
        return _valor(v.item())
    raise TypeError(f"valor {v!r}: use numero, texto, booleano, lista ou dict")


def para_toml(modelo: dict) -> str:
    """O texto TOML de um modelo dado como dict com o esquema do TOML: uma tabela por chave cujo
    valor e um dict ([simulacao]), uma lista de tabelas por chave cujo valor e uma lista de
    dicts ([[estacao]]), e cada dict dentro delas uma tabela em linha."""
    linhas = []
    tabelas = []
    for k, v in modelo.items():
        if isinstance(v, dict):
            tabelas.append((f"[{_chave(k)}]", v))
        elif isinstance(v, (list, tuple)) and v and all(isinstance(x, dict) for x in v):
            tabelas.extend((f"[[{_chave(k)}]]", x) for x in v)
        else:
            linhas.append(f"{_chave(k)} = {_valor(v)}")
    for cabeca, t in tabelas:
        linhas.extend(["", cabeca] if linhas else [cabeca])
        linhas.extend(f"{_chave(k)} = {_valor(x)}" for k, x in t.items())
    return "\n".join(linhas) + "\n"


def carregar(modelo, *, nome: str | None = None, limiar: float | None = None) -> Modelo:
    """Le um modelo: de um caminho (str ou os.PathLike; .toml e a linguagem estendida, o resto
    o modelo do tarvo), de um texto TOML (um str com quebra de linha) ou de um dict com o
    esquema do TOML. nome e o nome do arquivo que as mensagens de um texto ou dict dao (padrao
    "modelo.toml"); limiar, a espera que define a figura nivel_servico de toda estacao, como
    --limiar. Um modelo recusado levanta ErroDeModelo."""
    if isinstance(modelo, dict):
        modelo = para_toml(modelo)
        nome = nome or "modelo.toml"
    elif isinstance(modelo, _os.PathLike):
        modelo = _os.fspath(modelo)
    if not isinstance(modelo, str):
        raise TypeError("carregar espera um caminho, um texto TOML ou um dict")
    if nome is not None or "\n" in modelo:
        return Modelo(_tarvo.carregar_texto(modelo, nome or "modelo.toml", limiar))
    return Modelo(_tarvo.carregar_arquivo(modelo, limiar))


def _opcoes(replicacoes=10, semente=None, jobs=None, aquecimento=None, precisao=None,
            max_replicacoes=None, alvo=None, confianca=0.95, teoria=False):
    if semente is not None and not (isinstance(semente, int) and 0 <= semente <= 0xFFFFFFFF):
        raise Erro(f"tarvo: semente deve ser um inteiro de 0 a 4294967295, e nao {semente!r}")
    o = _tarvo.Opcoes()
    o.replicacoes = replicacoes
    o.semente = _secrets.randbits(32) if semente is None else semente
    o.jobs = jobs if jobs is not None else max(1, len(_os.sched_getaffinity(0)))
    o.aquecimento = aquecimento
    o.precisao = precisao
    o.max_replicacoes = max_replicacoes
    o.alvos = [alvo] if isinstance(alvo, str) else list(alvo or [])
    o.confianca = confianca
    o.teoria = teoria
    return o


# A window's index is <NA> for the whole run's figures: pandas' integers that may be missing.
_INTEIROS = {"numero": "int64", "janela": "Int64", "n": "int64", "faltantes": "int64"}


def _tabela(colunas: dict) -> _pd.DataFrame:
    t = _pd.DataFrame(colunas)
    for c, tipo in _INTEIROS.items():
        if c in t:
            t[c] = t[c].astype(tipo)
    for c in ("media", "meia_largura", "desvio", "min", "max", "agrupado", "teoria", "inicio",
              "limiar", "valor", "media_a", "media_b", "diferenca"):
        if c in t:
            t[c] = t[c].astype("float64")
    return t


def _quadro(pagina: str) -> str:
    """A pagina dentro de um iframe: seu estilo nao vaza para o caderno, e nada e buscado."""
    return ('<iframe style="width:100%;height:640px;border:1px solid #ddd" srcdoc="'
            + _html.escape(pagina, quote=True) + '"></iframe>')


class Resultado:
    """Um experimento: figuras (uma linha por figura: tipo, nome, classe, janela, figura,
    media, meia_largura, desvio, min, max, n, teoria, metodo e mais), replicacoes (uma linha
    por replicacao e figura), json() o mesmo documento de --format json, e no Jupyter a tabela e
    os graficos da pagina de --html."""

    def __init__(self, r):
        self._r = r
        self._figuras = None
        self._replicacoes = None

    @property
    def figuras(self) -> _pd.DataFrame:
        if self._figuras is None:
            self._figuras = _tabela(self._r.figuras())
        return self._figuras

    @property
    def replicacoes(self) -> _pd.DataFrame:
        if self._replicacoes is None:
            self._replicacoes = _tabela(self._r.replicacoes())
        return self._replicacoes

    @property
    def semente(self) -> int:
        """A semente do plano: com ela o mesmo experimento se repete."""
        return self._r.semente

    @property
    def feitas(self) -> int:
        """Quantas replicacoes o resultado tem."""
        return self._r.feitas

    @property
    def precisao_atingida(self) -> bool:
        return self._r.precisao_atingida

    @property
    def avisos(self) -> str:
        """O que o tarvo-rep avisaria sobre a execucao, uma linha cada; vazio se nada."""
        return self._r.avisos

    def figura(self, figura: str, nome: str | None = None) -> _pd.DataFrame:
        """As linhas de uma figura (de um objeto, com nome)."""
        t = self.figuras
        t = t[t.figura == figura]
        return t if nome is None else t[t.nome == nome]

    def json(self) -> str:
        """O documento de tarvo-rep --format json."""
        return self._r.escrever("json")

    def texto(self) -> str:
        """A saida text do tarvo-rep."""
        return self._r.escrever("text")

    def csv(self) -> str:
        """A saida csv do tarvo-rep."""
        return self._r.escrever("csv")

    def html(self) -> str:
        """A pagina de tarvo-rep --html, inteira."""
        return self._r.pagina()

    def _repr_html_(self) -> str:
        return _quadro(self.html())

    def __repr__(self) -> str:
        return self.texto()


class Varredura:
    """Um experimento inteiro por ponto da grade, todos com a mesma semente: figuras tem uma
    coluna por parametro e uma linha por ponto e figura."""

    def __init__(self, v, inteiros=()):
        self._v = v
        self._inteiros = set(inteiros)  # parameters given as whole numbers only
        self._figuras = None

    @property
    def figuras(self) -> _pd.DataFrame:
        if self._figuras is None:
            partes = []
            for parametros, colunas in self._v.pontos():
                t = _tabela(colunas)
                for i, (k, x) in enumerate(parametros.items()):
                    t.insert(i, k, int(x) if k in self._inteiros else x)
                partes.append(t)
            self._figuras = _pd.concat(partes, ignore_index=True)
        return self._figuras

    def figura(self, figura: str, nome: str | None = None) -> _pd.DataFrame:
        t = self.figuras
        t = t[t.figura == figura]
        return t if nome is None else t[t.nome == nome]

    def json(self) -> str:
        return self._v.escrever("json")

    def texto(self) -> str:
        return self._v.escrever("text")

    def csv(self) -> str:
        return self._v.escrever("csv")

    def html(self) -> str:
        return self._v.pagina()

    def _repr_html_(self) -> str:
        return _quadro(self.html())

    def __repr__(self) -> str:
        return self.texto()


class Comparacao:
    """Dois modelos nas mesmas replicacoes: a e b os dois Resultados; figuras uma linha por
    figura com media_a, media_b, a diferenca B - A pareada por replicacao, sua meia_largura e o
    melhor ("A", "B" ou "-")."""

    def __init__(self, c):
        self._c = c
        self.a = Resultado(c.a)
        self.b = Resultado(c.b)
        self._figuras = None

    @property
    def figuras(self) -> _pd.DataFrame:
        if self._figuras is None:
            self._figuras = _tabela(self._c.figuras())
        return self._figuras

    @property
    def veredito(self) -> list[str]:
        """As frases do que os intervalos dizem, como "B espera menos em 2 de 3 estações"."""
        return self._c.veredito()

    def json(self) -> str:
        return self._c.escrever("json")

    def texto(self) -> str:
        return self._c.escrever("text")

    def csv(self) -> str:
        return self._c.escrever("csv")

    def html(self) -> str:
        return self._c.pagina()

    def _repr_html_(self) -> str:
        return _quadro(self.html())

    def __repr__(self) -> str:
        return self.texto()


class Modelo:
    """Um modelo lido uma vez e rodado quantas vezes for preciso, de qualquer thread."""

    def __init__(self, m):
        self._m = m

    @property
    def caminho(self) -> str:
        """O arquivo de onde veio (ou o nome dado a um texto ou dict)."""
        return self._m.caminho

    @property
    def texto(self) -> str:
        """O texto do modelo: o do arquivo, ou o TOML de um dict."""
        return self._m.texto

    @property
    def estendido(self) -> bool:
        """Se e da linguagem estendida (TOML)."""
        return self._m.estendido

    @property
    def descricao(self) -> list[str]:
        """O modelo em palavras, uma frase por objeto e uma para os limites."""
        return self._m.descricao

    @property
    def figuras(self) -> _pd.DataFrame:
        """As figuras que cada replicacao da, na ordem."""
        return _tabela(self._m.figuras())

    def rodar(self, replicacoes: int = 10, semente: int | None = None, jobs: int | None = None,
              aquecimento: float | None = None, precisao: float | None = None,
              max_replicacoes: int | None = None, alvo=None, confianca: float = 0.95,
              teoria: bool = False) -> Resultado:
        """Roda o experimento como tarvo-rep: replicacoes (-r), semente (-s; padrao: ao
        acaso, e guardada no resultado), jobs (-j; padrao: os processadores), aquecimento
        (-w; padrao: o do modelo), precisao e max_replicacoes (-p, -m), alvo (-t: uma figura
        ou lista delas), confianca (-c), teoria (--theory)."""
        return Resultado(_tarvo.rodar(self._m, _opcoes(
            replicacoes, semente, jobs, aquecimento, precisao, max_replicacoes, alvo, confianca,
            teoria)))

    def __repr__(self) -> str:
        return f"<tarvo.Modelo {self.caminho!r}>"


def varrer(modelo: Modelo, parametros: dict, **opcoes) -> Varredura:
    """Um experimento inteiro por combinacao dos valores dos parametros (o primeiro varia mais
    devagar; ate 1000 pontos), todos com a mesma semente, como tarvo-rep --sweep. parametros
    mapeia o nome de --sweep (estacao.E.servidores, S1.a...) a seus valores (lista, range...);
    a coluna de um parametro dado so com inteiros e de inteiros. As opcoes sao as de
    Modelo.rodar."""
    valores = {k: list(v) for k, v in parametros.items()}
    eixos = [(k, [float(x) for x in v]) for k, v in valores.items()]
    inteiros = [k for k, v in valores.items()
                if all(isinstance(x, int) and not isinstance(x, bool) for x in v)]
    return Varredura(_tarvo.varrer(modelo._m, eixos, _opcoes(**opcoes)), inteiros)


def comparar(a: Modelo, b: Modelo, **opcoes) -> Comparacao:
    """Dois modelos da mesma linguagem nas mesmas replicacoes (mesma semente), como tarvo-rep
    --compare. As opcoes sao as de Modelo.rodar, menos precisao."""
    return Comparacao(_tarvo.comparar(a._m, b._m, _opcoes(**opcoes)))
