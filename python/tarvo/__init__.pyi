"""Tarvo em Python: os motores do tarvo-rep, sem subprocesso, com resultados em tabelas pandas."""

import os
from collections.abc import Iterable, Mapping, Sequence
from typing import Any

import pandas as pd

__all__ = ["carregar", "varrer", "comparar", "para_toml", "Modelo", "Resultado", "Varredura",
           "Comparacao", "Aviso", "Erro", "ErroDeModelo"]

class Aviso(UserWarning):
    """O que o tarvo-rep avisaria na saida de erro, como warning do Python."""

class Erro(ValueError):
    """Um pedido que o Tarvo recusa, com a mesma mensagem do tarvo-rep."""
    status: int
    def __init__(self, texto: str, status: int = ..., arquivo: str = ...) -> None: ...

class ErroDeModelo(Erro):
    """Um modelo que o carregador recusa: onde (arquivo, linha, coluna) e o que (mensagem)."""
    arquivo: str
    linha: int | None
    coluna: int | None
    mensagem: str

def para_toml(modelo: Mapping[str, Any]) -> str:
    """O texto TOML de um modelo dado como dict com o esquema do TOML."""

def carregar(modelo: str | os.PathLike[str] | Mapping[str, Any], *, nome: str | None = ...,
             limiar: float | None = ...) -> Modelo:
    """Le um modelo de um caminho, de um texto TOML ou de um dict; ErroDeModelo se recusado."""

class Resultado:
    """Um experimento: figuras, replicacoes, json() e a pagina no Jupyter."""
    @property
    def figuras(self) -> pd.DataFrame:
        """Uma linha por figura: tipo, nome, classe, janela, figura, media, meia_largura,
        desvio, min, max, n, teoria, metodo e mais."""
    @property
    def replicacoes(self) -> pd.DataFrame:
        """Uma linha por replicacao e figura: replicacao, semente, valor."""
    @property
    def semente(self) -> int: ...
    @property
    def feitas(self) -> int: ...
    @property
    def precisao_atingida(self) -> bool: ...
    @property
    def avisos(self) -> str: ...
    def figura(self, figura: str, nome: str | None = ...) -> pd.DataFrame: ...
    def json(self) -> str:
        """O documento de tarvo-rep --format json."""
    def texto(self) -> str: ...
    def csv(self) -> str: ...
    def html(self) -> str:
        """A pagina de tarvo-rep --html."""
    def _repr_html_(self) -> str: ...

class Varredura:
    """Um experimento por ponto da grade: figuras com uma coluna por parametro."""
    @property
    def figuras(self) -> pd.DataFrame: ...
    def figura(self, figura: str, nome: str | None = ...) -> pd.DataFrame: ...
    def json(self) -> str: ...
    def texto(self) -> str: ...
    def csv(self) -> str: ...
    def html(self) -> str: ...
    def _repr_html_(self) -> str: ...

class Comparacao:
    """Dois modelos nas mesmas replicacoes, e a diferenca pareada B - A."""
    a: Resultado
    b: Resultado
    @property
    def figuras(self) -> pd.DataFrame: ...
    @property
    def veredito(self) -> list[str]: ...
    def json(self) -> str: ...
    def texto(self) -> str: ...
    def csv(self) -> str: ...
    def html(self) -> str: ...
    def _repr_html_(self) -> str: ...

class Modelo:
    """Um modelo lido uma vez e rodado quantas vezes for preciso, de qualquer thread."""
    @property
    def caminho(self) -> str: ...
    @property
    def texto(self) -> str: ...
    @property
    def estendido(self) -> bool: ...
    @property
    def descricao(self) -> list[str]: ...
    @property
    def figuras(self) -> pd.DataFrame: ...
    def rodar(self, replicacoes: int = ..., semente: int | None = ..., jobs: int | None = ...,
              aquecimento: float | None = ..., precisao: float | None = ...,
              max_replicacoes: int | None = ..., alvo: str | Sequence[str] | None = ...,
              confianca: float = ..., teoria: bool = ...) -> Resultado:
        """Roda o experimento como tarvo-rep, com as mesmas figuras bit a bit."""

def varrer(modelo: Modelo, parametros: Mapping[str, Iterable[float]], *,
           replicacoes: int = ..., semente: int | None = ..., jobs: int | None = ...,
           aquecimento: float | None = ..., precisao: float | None = ...,
           max_replicacoes: int | None = ..., alvo: str | Sequence[str] | None = ...,
           confianca: float = ..., teoria: bool = ...) -> Varredura:
    """Um experimento inteiro por combinacao de valores, como tarvo-rep --sweep."""

def comparar(a: Modelo, b: Modelo, *, replicacoes: int = ..., semente: int | None = ...,
             jobs: int | None = ..., aquecimento: float | None = ..., confianca: float = ...,
             teoria: bool = ...) -> Comparacao:
    """Dois modelos nas mesmas replicacoes, como tarvo-rep --compare."""
