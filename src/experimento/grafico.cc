#include "experimento/grafico.h"

#include <algorithm>
#include <cmath>

#include "model/failure.h"

namespace tarvo::grafico {

namespace {

constexpr double L = 400;          // view box width
constexpr double LETRA = 12;       // font size of every label
constexpr double CARACTERE = 7.4;  // the most a character is wide at that size (digits ~6.7)
constexpr double LINHA = 26;       // height of a row in dot charts
constexpr int MAX_ROTULO = 22;     // characters of a row label before it is cut

double largura(const std::string& s) {
  std::size_t n = 0;  // characters, not bytes: UTF-8 continuation bytes do not count
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return static_cast<double>(n) * CARACTERE;
}

std::string n(double x) { return formatar("%.1f", x); }

// The label of a round value of an axis whose marks are passo apart.
std::string rotulo(double x, double passo) {
  if (std::fabs(x) < passo * 1e-9) x = 0;
  const double a = std::max(std::fabs(x), passo);
  if (a >= 1e6 || passo < 1e-5) return formatar("%.3g", x);
  const int casas = std::max(0, -static_cast<int>(std::floor(std::log10(passo) + 1e-9)));
  return formatar("%.*f", casas, x);
}

// A row label cut to fit, with the whole of it on hover.
std::string cortar(const std::string& s) {
  std::string r;
  int k = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80 && ++k > MAX_ROTULO) {
      return r + "\xE2\x80\xA6";  // an ellipsis
    }
    r += s[i];
  }
  return r;
}

std::string texto(double x, double y, const std::string& ancora, const std::string& s,
                  const std::string& extra = "") {
  return "<text x=\"" + n(x) + "\" y=\"" + n(y) + "\" text-anchor=\"" + ancora + "\"" + extra +
         ">" + escapar(s) + "</text>";
}

std::string linha(double x1, double y1, double x2, double y2, const std::string& classe) {
  return "<line class=\"" + classe + "\" x1=\"" + n(x1) + "\" y1=\"" + n(y1) + "\" x2=\"" + n(x2) +
         "\" y2=\"" + n(y2) + "\"/>";
}

std::string abrir(const std::string& tipo, double altura, const std::string& descricao) {
  return "<svg class=\"grafico\" data-tipo=\"" + tipo + "\" viewBox=\"0 0 " + n(L) + " " +
         n(altura) + "\" role=\"img\" aria-label=\"" + escapar(descricao) + "\">";
}

// The marks and labels of a horizontal axis at y from x0 to x1, with its title below.
std::string eixo_horizontal(const Eixo& e, double x0, double x1, double y, double topo,
                            const std::string& titulo) {
  std::string s;
  for (std::size_t k = 0; k < e.marcas.size(); ++k) {
    const double x = x0 + (e.marcas[k] - e.min) / (e.max - e.min) * (x1 - x0);
    s += linha(x, topo, x, y, "grade");
    s += texto(x, y + 20, "middle", e.rotulos[k]);  // clear of a vertical axis's lowest label
  }
  s += linha(x0, y, x1, y, "eixo");
  s += texto((x0 + x1) / 2, y + 40, "middle", titulo, " class=\"titulo\"");
  return s;
}

}  // namespace

std::string escapar(const std::string& s) {
  std::string r;
  for (char c : s) {
    switch (c) {
      case '&':
        r += "&amp;";
        break;
      case '<':
        r += "&lt;";
        break;
      case '>':
        r += "&gt;";
        break;
      case '"':
        r += "&quot;";
        break;
      case '\'':
        r += "&#39;";
        break;
      default:
        r += c;
    }
  }
  return r;
}

Eixo eixo(double a, double b, double comprimento, bool zero) {
  if (zero) {
    a = std::min(a, 0.0);
    b = std::max(b, 0.0);
  }
  if (!std::isfinite(a) || !std::isfinite(b)) a = 0, b = 1;
  if (b - a <= std::fabs(b) * 1e-12) {  // one value: a little either side of it
    const double d = a != 0 ? std::fabs(a) * 0.1 : 1;
    a -= zero && a == 0 ? 0 : d;
    b += d;
  }
  // The most marks whose labels, spaced, fit the length.
  for (int alvo = 7;; --alvo) {
    const double bruto = (b - a) / alvo;
    const double p10 = std::pow(10.0, std::floor(std::log10(bruto)));
    double passo = p10;
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
      passo = m * p10;
      if (passo >= bruto * (1 - 1e-9)) break;
    }
    Eixo e;
    e.min = std::floor(a / passo + 1e-9) * passo;
    e.max = std::ceil(b / passo - 1e-9) * passo;
    double maior = 0;
    for (double x = e.min; x <= e.max + passo * 1e-6; x += passo) {
      e.marcas.push_back(x);
      e.rotulos.push_back(rotulo(x, passo));
      maior = std::max(maior, largura(e.rotulos.back()));
    }
    const double espaco = comprimento / static_cast<double>(e.marcas.size() - 1);
    if (espaco >= maior + 10 || alvo <= 1) return e;
  }
}

const char* cor(std::size_t k) {
  static const char* const cores[] = {"#1f5fa8", "#c2571a", "#2a8a3e",
                                      "#8a3e9c", "#9c7a00", "#4a4a4a"};
  return cores[k % 6];
}

std::string pontos(const std::string& tipo, const std::string& unidade,
                   const std::vector<Linha>& linhas, bool zero) {
  double esquerda = 50;
  double a = INFINITY, b = -INFINITY;
  for (const Linha& l : linhas) {
    esquerda = std::max(esquerda, largura(cortar(l.rotulo)) + 12);
    for (double x : {l.valor, l.baixo, l.alto, l.teoria}) {
      if (std::isfinite(x)) a = std::min(a, x), b = std::max(b, x);
    }
  }
  bool so_positivos = !(a < 0);
  const double direita = 30, topo = 8;
  const double x0 = esquerda, x1 = L - direita;
  const Eixo e = eixo(a, b, x1 - x0, zero || so_positivos);
  auto X = [&](double v) { return x0 + (v - e.min) / (e.max - e.min) * (x1 - x0); };
  const double y_eixo = topo + LINHA * static_cast<double>(linhas.size());
  std::string s = abrir(tipo, y_eixo + 50, unidade);
  s += eixo_horizontal(e, x0, x1, y_eixo, topo, unidade);
  if (zero) s += linha(X(0), topo, X(0), y_eixo, "zero");
  for (std::size_t k = 0; k < linhas.size(); ++k) {
    const Linha& l = linhas[k];
    const double y = topo + LINHA * (static_cast<double>(k) + 0.5);
    s += "<g>";
    if (!l.dica.empty()) s += "<title>" + escapar(l.dica) + "</title>";
    s += texto(x0 - 6, y + 4, "end", cortar(l.rotulo));
    if (std::isfinite(l.baixo) && std::isfinite(l.alto)) {
      s += linha(X(l.baixo), y, X(l.alto), y, "bigode");
      s += linha(X(l.baixo), y - 5, X(l.baixo), y + 5, "bigode");
      s += linha(X(l.alto), y - 5, X(l.alto), y + 5, "bigode");
    }
    if (std::isfinite(l.teoria)) {
      const double t = X(l.teoria);
      s += std::string("<path class=\"teoria") + (l.aproximada ? " aprox" : "") + "\" d=\"M" +
           n(t) + " " + n(y - 6) + "L" + n(t + 6) + " " + n(y) + "L" + n(t) + " " + n(y + 6) + "L" +
           n(t - 6) + " " + n(y) + "Z\"/>";
    }
    if (std::isfinite(l.valor)) {
      s += "<circle class=\"ponto" + (l.classe.empty() ? "" : " " + l.classe) + "\" cx=\"" +
           n(X(l.valor)) + "\" cy=\"" + n(y) + "\" r=\"4\"/>";
    } else {
      s += texto(x0 + 4, y + 4, "start", "sem valor", " class=\"nada\"");
    }
    s += "</g>";
  }
  return s + "</svg>";
}

std::string linhas(const std::string& tipo, const std::string& eixo_x, const std::string& eixo_y,
                   const std::vector<Serie>& series, double linha_x,
                   const std::string& rotulo_linha_x) {
  double xa = INFINITY, xb = -INFINITY, ya = INFINITY, yb = -INFINITY;
  for (const Serie& c : series) {
    for (std::size_t k = 0; k < c.x.size(); ++k) {
      xa = std::min(xa, c.x[k]), xb = std::max(xb, c.x[k]);
      for (const auto* v : {&c.y, &c.baixo, &c.alto, &c.teoria}) {
        if (k < v->size() && std::isfinite((*v)[k])) {
          ya = std::min(ya, (*v)[k]), yb = std::max(yb, (*v)[k]);
        }
      }
    }
  }
  const double altura = 200, topo = 10;
  const Eixo ey = eixo(ya, yb, altura, !(ya < 0));
  double maior = 0;
  for (const std::string& r : ey.rotulos) maior = std::max(maior, largura(r));
  const double x0 = 24 + maior + 8;
  const double x1 = L - 30;
  const Eixo ex = eixo(xa, xb, x1 - x0, false);
  auto X = [&](double v) { return x0 + (v - ex.min) / (ex.max - ex.min) * (x1 - x0); };
  const double y1 = topo + altura;
  auto Y = [&](double v) { return y1 - (v - ey.min) / (ey.max - ey.min) * altura; };
  std::string s = abrir(tipo, y1 + 50, eixo_y + " / " + eixo_x);
  s += eixo_horizontal(ex, x0, x1, y1, topo, eixo_x);
  for (std::size_t k = 0; k < ey.marcas.size(); ++k) {
    const double y = Y(ey.marcas[k]);
    if (k > 0) s += linha(x0, y, x1, y, "grade");
    s += texto(x0 - 6, y + 4, "end", ey.rotulos[k]);
  }
  s += linha(x0, topo, x0, y1, "eixo");
  s += "<text class=\"titulo\" text-anchor=\"middle\" transform=\"translate(14 " +
       n(topo + altura / 2) + ") rotate(-90)\">" + escapar(eixo_y) + "</text>";
  for (std::size_t c = 0; c < series.size(); ++c) {
    const Serie& v = series[c];
    const std::string estilo = std::string(" style=\"--cor:") + cor(c) + "\"";
    // The band: up the upper ends, back down the lower ones, over each stretch with both.
    std::string faixa, curva, teoria;
    for (std::size_t k = 0; k <= v.x.size(); ++k) {
      const bool tem = k < v.x.size() && k < v.alto.size() && std::isfinite(v.alto[k]) &&
                       std::isfinite(v.baixo[k]);
      if (tem) {
        faixa += (faixa.empty() ? "" : " ") + n(X(v.x[k])) + "," + n(Y(v.alto[k]));
        continue;
      }
      if (!faixa.empty()) {
        for (std::size_t j = k; j-- > 0 && std::isfinite(v.alto[j]) && std::isfinite(v.baixo[j]);) {
          faixa += " " + n(X(v.x[j])) + "," + n(Y(v.baixo[j]));
        }
        s += "<polygon class=\"faixa\"" + estilo + " points=\"" + faixa + "\"/>";
        faixa.clear();
      }
    }
    auto tracar = [&](const std::vector<double>& y, const std::string& classe) {
      std::string p;
      for (std::size_t k = 0; k <= v.x.size(); ++k) {
        if (k < v.x.size() && k < y.size() && std::isfinite(y[k])) {
          p += (p.empty() ? "" : " ") + n(X(v.x[k])) + "," + n(Y(y[k]));
          continue;
        }
        if (!p.empty()) {
          s += "<polyline class=\"" + classe + "\"" + estilo + " points=\"" + p + "\"/>";
        }
        p.clear();
      }
    };
    tracar(v.y, v.classe == "fina" ? "media fina" : "media");
    tracar(v.teoria, "teoria");
    if (v.marcar) {
      for (std::size_t k = 0; k < v.x.size() && k < v.y.size(); ++k) {
        if (!std::isfinite(v.y[k])) continue;
        s += "<circle class=\"ponto" + (v.classe.empty() ? "" : " " + v.classe) + "\"" + estilo +
             " cx=\"" + n(X(v.x[k])) + "\" cy=\"" + n(Y(v.y[k])) + "\" r=\"" +
             (v.classe == "fina" ? "1.6" : "3.5") + "\"/>";
      }
    }
  }
  if (std::isfinite(linha_x) && linha_x >= ex.min && linha_x <= ex.max) {
    const double x = X(linha_x);
    s += linha(x, topo, x, y1, "marca");
    const bool cabe = x + 8 + largura(rotulo_linha_x) <= x1;
    s += texto(cabe ? x + 4 : x - 4, topo + 14, cabe ? "start" : "end", rotulo_linha_x,
               " class=\"nota\"");
  }
  return s + "</svg>";
}

}  // namespace tarvo::grafico
