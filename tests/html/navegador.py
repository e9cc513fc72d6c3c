#!/usr/bin/env python3
# A page written by tarvo-rep --html, opened in headless Chromium through chromedriver (W3C
# WebDriver over HTTP) and checked: no console message of level WARNING or SEVERE, the charts and
# their points counted by kind and the first chart's title, no two labels of a chart overlapping
# and none outside its chart at phone (375 px) and desktop (1280 px) widths, a legend on every
# chart, the charts two a row at the desktop width and one at the phone's, no sideways scroll,
# no label under 9 px and a shadow on every table wider than the phone. --fotos DIR keeps a PNG
# of the first chart of each kind and of the whole page.
# Usage: navegador.py PAGE.html --graficos figuras=3,varredura=1 --pontos figuras=12,varredura=5
#          [--primeiro TITLE] [--fotos DIR]
# Exit status: 0 all held, 1 a check failed (each one printed) or Chromium is missing, 2 bad usage.
import argparse
import base64
import json
import os
import pathlib
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

TIPOS = ("figuras", "varredura", "comparacao", "aquecimento", "janelas", "carga")
CELULAR, DESKTOP = (375, 812), (1280, 900)
ELEMENTO = "element-6066-11e4-a52e-4f735466cecf"  # the W3C key of an element reference

# Everything the checks need, read in one pass at the window's width. A label's rendered size is
# its computed font size times the vertical scale of its screen matrix, which holds the viewBox
# scaling and any transform (a rotated label keeps its size).
MEDIR = """
const caixa = e => {
  const r = e.getBoundingClientRect();
  return [r.left, r.top, r.right, r.bottom];
};
const cor = e => !e ? null : getComputedStyle(e)[e.tagName === 'polyline' ? 'stroke' : 'fill'];
const meta = document.querySelector('meta[name="viewport"]');
return {
  largura: window.innerWidth,
  rolagem: document.documentElement.scrollWidth,
  viewport: meta ? meta.getAttribute('content') : null,
  externos: performance.getEntriesByType('resource').map(e => e.name)
    .filter(n => !/^(file|data|blob):/.test(n)),
  rolar: [...document.querySelectorAll('.rolar')].map(d => ({
    transborda: d.scrollWidth > d.clientWidth + 1,
    fundo: getComputedStyle(d).backgroundImage,
    fixacao: getComputedStyle(d).backgroundAttachment})),
  graficos: [...document.querySelectorAll('svg.grafico')].map(s => ({
    tipo: s.getAttribute('data-tipo'),
    pontos: s.querySelectorAll('.ponto').length,
    caixa: caixa(s),
    quadro: caixa(s.closest('figure') || s),
    grade: [...document.querySelectorAll('.graficos')].indexOf(s.closest('.graficos')),
    titulo: ((s.closest('figure') || s).querySelector('h3') || {textContent: ''}).textContent,
    legenda: [...s.querySelectorAll('g.legenda text')].map(t => t.textContent.trim()),
    teoria: cor([...s.querySelectorAll('.teoria')].find(e => !e.closest('g.legenda'))),
    dado: cor([...s.querySelectorAll('circle.ponto, polyline.media')][0]),
    textos: [...s.querySelectorAll('text')].filter(t => t.textContent.trim()).map(t => {
      const m = t.getScreenCTM();
      return {texto: t.textContent.trim(), caixa: caixa(t),
              corpo: parseFloat(getComputedStyle(t).fontSize) * Math.hypot(m.c, m.d)};
    }).filter(t => t.caixa[2] > t.caixa[0])}))  // hidden labels (display: none) have no box
};
"""


class Navegador:
    """One chromedriver and one session of headless Chromium; fechar() ends both."""

    def __init__(self, perfil):
        s = socket.socket()
        s.bind(("127.0.0.1", 0))
        porta = s.getsockname()[1]
        s.close()
        self.base = f"http://127.0.0.1:{porta}"
        self.sessao = None
        self.registro = open(os.path.join(perfil, "chromedriver.log"), "wb")
        # In a process group of its own, with the browser it starts: fechar() ends them together
        # even when no session was made to quit.
        self.driver = subprocess.Popen(["chromedriver", f"--port={porta}"], start_new_session=True,
                                       stdout=self.registro, stderr=subprocess.STDOUT)
        try:
            self._abrir(perfil)
        except BaseException:
            self.fechar()
            raise

    def _abrir(self, perfil):
        limite = time.monotonic() + 20
        while not self._pronto():
            if time.monotonic() > limite or self.driver.poll() is not None:
                with open(self.registro.name, errors="replace") as f:
                    fim = " ".join(f.read().split()[-20:])
                raise RuntimeError(f"chromedriver nao respondeu em 20 s: {fim}")
            time.sleep(0.05)
        # --no-sandbox: CI runs as root, where Chromium refuses its sandbox. --hide-scrollbars: a
        # phone draws its scrollbar over the page, so a tall page still gets the whole width.
        opcoes = {"args": ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                           "--no-first-run", "--hide-scrollbars", "--disable-background-networking",
                           "--disable-component-update", "--disable-sync",
                           "--user-data-dir=" + os.path.join(perfil, "perfil")]}
        v = self.pedir("POST", "/session", {"capabilities": {"alwaysMatch": {
            "goog:chromeOptions": opcoes, "goog:loggingPrefs": {"browser": "ALL"}}}})
        self.sessao = v["sessionId"]

    def _pronto(self):
        try:
            return self.pedir("GET", "/status")["ready"]
        except (OSError, RuntimeError):
            return False

    def pedir(self, metodo, caminho, corpo=None):
        if caminho != "/status" and caminho != "/session":
            caminho = f"/session/{self.sessao}{caminho}"
        dados = None if corpo is None else json.dumps(corpo).encode()
        req = urllib.request.Request(self.base + caminho, data=dados, method=metodo,
                                     headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(req, timeout=120) as r:
                return json.load(r)["value"]
        except urllib.error.HTTPError as e:
            v = json.load(e).get("value", {})
            msg = (v.get("message") or "").partition("\n")[0]
            raise RuntimeError(f"{metodo} {caminho}: {v.get('error')}: {msg}") from None

    def executar(self, script):
        return self.pedir("POST", "/execute/sync", {"script": script, "args": []})

    def janela(self, tamanho):
        self.pedir("POST", "/window/rect", {"width": tamanho[0], "height": tamanho[1]})

    def console(self):
        # chromedriver hands out the browser log at its own /se/log (156 still answers the older
        # /log too, from the same buffer); each read empties it. Where neither exists, no console
        # hook is put into the page instead: one added after loading would miss what the page
        # printed while loading, so the missing endpoint is reported as a failure.
        for caminho in ("/se/log", "/log"):
            try:
                return self.pedir("POST", caminho, {"type": "browser"})
            except RuntimeError as e:
                if "unknown command" not in str(e):
                    raise
        raise RuntimeError("este chromedriver nao entrega o registro do console")

    def foto(self, caminho_foto, elemento=None):
        if elemento is None:
            # The whole page, below the window too: chromedriver's route to the DevTools command.
            v = self.pedir("POST", "/goog/cdp/execute", {
                "cmd": "Page.captureScreenshot",
                "params": {"format": "png", "captureBeyondViewport": True}})["data"]
        else:
            v = self.pedir("GET", f"/element/{elemento}/screenshot")
        with open(caminho_foto, "wb") as f:
            f.write(base64.b64decode(v))

    def fechar(self):
        try:
            if self.sessao:
                self.pedir("DELETE", "")
        except (OSError, RuntimeError):
            pass
        for sinal in (signal.SIGTERM, signal.SIGKILL):
            try:
                os.killpg(self.driver.pid, sinal)
            except ProcessLookupError:
                break
            limite = time.monotonic() + 10
            while self._vivos() and time.monotonic() < limite:
                time.sleep(0.05)
            if not self._vivos():
                break
        self.driver.wait()
        self.registro.close()

    def _vivos(self):
        """Members of chromedriver's group still running: zombies left to init do not count,
        as no init reaps them at once and some never do."""
        n = 0
        for p in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{p}/stat") as f:
                    estado, _, grupo = f.read().rpartition(")")[2].split()[:3]
            except (OSError, ValueError):
                continue
            n += grupo == str(self.driver.pid) and estado != "Z"
        return n


def sobreposicao(a, b):
    return (min(a[2], b[2]) - max(a[0], b[0]), min(a[3], b[3]) - max(a[1], b[1]))


def conferir_textos(m, largura, problemas):
    """Labels that overlap or leave their chart, and at the phone width labels too small."""
    vistos = {}
    for g in m["graficos"]:
        vistos[g["tipo"]] = vistos.get(g["tipo"], 0) + 1
        nome = f"grafico {g['tipo']} {vistos[g['tipo']]} a {largura} px"
        ts, c = g["textos"], g["caixa"]
        for i, a in enumerate(ts):
            for b in ts[i + 1:]:
                dx, dy = sobreposicao(a["caixa"], b["caixa"])
                if dx > 0.5 and dy > 0.5:
                    problemas.append(f"{nome}: textos '{a['texto']}' e '{b['texto']}' se "
                                     f"sobrepoem ({dx:.1f} x {dy:.1f} px)")
            fora = max(c[0] - a["caixa"][0], c[1] - a["caixa"][1],
                       a["caixa"][2] - c[2], a["caixa"][3] - c[3])
            if fora > 1:
                problemas.append(f"{nome}: texto '{a['texto']}' sai {fora:.1f} px do grafico")
            if largura == CELULAR[0] and a["corpo"] < 9:
                problemas.append(f"{nome}: texto '{a['texto']}' com {a['corpo']:.1f} px, "
                                 "menos de 9")


def conferir_arranjo(m, largura, problemas):
    """Each chart with its legend, naming the theory where it draws one in a colour of its own;
    two charts a row in a grid at the desktop width, one at the phone's; a table that overflows
    the phone's width drawing the shadows that show it scrolls."""
    linhas = {}
    for k, g in enumerate(m["graficos"]):
        nome = f"grafico {k + 1} ({g['titulo'].strip()}) a {largura} px"
        if not g["legenda"]:
            problemas.append(f"{nome}: sem legenda")
        if g["teoria"] and not any("teoria" in t for t in g["legenda"]):
            problemas.append(f"{nome}: desenha a teoria sem nomea-la na legenda")
        if g["teoria"] and g["teoria"] == g["dado"]:
            problemas.append(f"{nome}: teoria e simulacao na mesma cor {g['dado']}")
        if g["grade"] >= 0:
            linha = linhas.setdefault((g["grade"], round(g["quadro"][1])), [])
            linha.append(k)
    por_grade = {}
    for (grade, _), ks in linhas.items():
        por_grade.setdefault(grade, []).append(len(ks))
    for grade, ns in por_grade.items():
        if largura == DESKTOP[0] and (max(ns) > 2 or (sum(ns) > 1 and max(ns) < 2)):
            problemas.append(f"grade {grade + 1} a {largura} px: {ns} graficos por linha, "
                             "esperados 2")
        if largura == CELULAR[0] and max(ns) > 1:
            problemas.append(f"grade {grade + 1} a {largura} px: {max(ns)} graficos numa linha")
    if largura == CELULAR[0]:
        for k, r in enumerate(m["rolar"]):
            if r["transborda"] and not ("radial-gradient" in r["fundo"]
                                        and "local" in r["fixacao"]):
                problemas.append(f"tabela {k + 1} rola de lado a {largura} px sem sombra na borda")


def contar(m, graficos, pontos, problemas):
    """Charts and points of each kind against the counts expected; a kind not given has none."""
    achados = {t: [0, 0] for t in TIPOS}
    for g in m["graficos"]:
        if g["tipo"] not in achados:
            problemas.append(f"grafico de tipo desconhecido: {g['tipo']}")
            continue
        achados[g["tipo"]][0] += 1
        achados[g["tipo"]][1] += g["pontos"]
    for t, (n, p) in achados.items():
        if n != graficos.get(t, 0):
            problemas.append(f"{n} graficos {t}, esperados {graficos.get(t, 0)}")
        if p != pontos.get(t, 0):
            problemas.append(f"{p} pontos em graficos {t}, esperados {pontos.get(t, 0)}")


def conferir(nav, pagina, graficos, pontos, primeiro, fotos):
    problemas = []
    nav.pedir("POST", "/url", {"url": pathlib.Path(pagina).as_uri()})
    for tamanho in (DESKTOP, CELULAR):
        nav.janela(tamanho)
        m = nav.executar(MEDIR)
        if m["largura"] != tamanho[0]:
            problemas.append(f"janela de {tamanho[0]} px deu innerWidth {m['largura']}")
            continue
        conferir_textos(m, tamanho[0], problemas)
        conferir_arranjo(m, tamanho[0], problemas)
        if tamanho == DESKTOP:
            contar(m, graficos, pontos, problemas)
            titulo = m["graficos"][0]["titulo"].strip() if m["graficos"] else ""
            if primeiro and titulo != primeiro:
                problemas.append(f"primeiro grafico: '{titulo}', esperado '{primeiro}'")
            if "width=device-width" not in (m["viewport"] or ""):
                problemas.append('sem <meta name="viewport" content="width=device-width, ...">')
            problemas += [f"recurso de fora da pagina: {u}" for u in m["externos"]]
            for t in TIPOS if fotos else ():
                e = nav.pedir("POST", "/elements", {"using": "css selector",
                                                    "value": f'svg.grafico[data-tipo="{t}"]'})
                if e:
                    nav.foto(os.path.join(fotos, t + ".png"), e[0][ELEMENTO])
        else:
            if m["rolagem"] > m["largura"]:
                problemas.append(f"a pagina rola de lado a {tamanho[0]} px: "
                                 f"scrollWidth {m['rolagem']}")
            if fotos:
                nav.foto(os.path.join(fotos, "pagina.png"))
    problemas += [f"console {r['level']}: {r['message']}" for r in nav.console()
                  if r["level"] in ("SEVERE", "WARNING")]
    return problemas


def contagens(texto):
    """'figuras=3,varredura=0' as a dict; an empty text is no charts at all."""
    d = {}
    for par in filter(None, texto.replace(" ", "").split(",")):
        tipo, _, n = par.partition("=")
        if tipo not in TIPOS or not n.isdigit():
            raise argparse.ArgumentTypeError(
                f"esperado TIPO=N com TIPO em {', '.join(TIPOS)}: {par}")
        d[tipo] = int(n)
    return d


def main():
    ap = argparse.ArgumentParser(description="Confere uma pagina de tarvo-rep --html no Chromium.")
    ap.add_argument("pagina")
    ap.add_argument("--graficos", type=contagens, required=True, metavar="TIPO=N,...")
    ap.add_argument("--pontos", type=contagens, required=True, metavar="TIPO=N,...")
    ap.add_argument("--primeiro", default="", metavar="TITULO")
    ap.add_argument("--fotos", metavar="DIR")
    a = ap.parse_args()
    if not shutil.which("chromedriver") or not shutil.which("chromium"):
        print("Chromium or chromedriver is not installed (apt-get install chromium chromium-driver)")
        return 1
    pagina = os.path.abspath(a.pagina)
    if not os.path.isfile(pagina):
        print(f"{a.pagina}: nao existe")
        return 1
    if a.fotos:
        os.makedirs(a.fotos, exist_ok=True)
    # A ctest timeout sends SIGTERM: leave through the finally below, which ends the browser.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    perfil = tempfile.mkdtemp(prefix="navegador.")
    nav = None
    try:
        nav = Navegador(perfil)
        problemas = conferir(nav, pagina, a.graficos, a.pontos, a.primeiro, a.fotos)
    except (OSError, RuntimeError, KeyError, ValueError) as e:
        problemas = [f"o navegador falhou: {e}"]
    finally:
        signal.signal(signal.SIGTERM, signal.SIG_IGN)  # the cleanup is not cut short
        if nav:
            nav.fechar()
        shutil.rmtree(perfil, ignore_errors=True)
    for p in problemas:
        print(f"{a.pagina}: {p}")
    return 1 if problemas else 0


if __name__ == "__main__":
    sys.exit(main())
