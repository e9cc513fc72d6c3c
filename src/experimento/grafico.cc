#include "experimento/grafico.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "comum/failure.h"

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

// 10 to the k: in full from 0.001 to 10000, beyond with a superscript exponent.
std::string potencia(int k) {
  if (k >= -3 && k <= 4) return formatar("%g", std::pow(10.0, k));
  static const char* const sobrescritos[] = {"⁰", "¹", "²", "³", "⁴", "⁵", "⁶", "⁷", "⁸", "⁹"};
  std::string e;
  for (int a = std::abs(k); a > 0; a /= 10) e = sobrescritos[a % 10] + e;
  return std::string("10") + (k < 0 ? "⁻" : "") + e;
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

std::string losango(double x, double y, double r, bool aproximada) {
  return std::string("<path class=\"teoria") + (aproximada ? " aprox" : "") + "\" d=\"M" + n(x) +
         " " + n(y - r) + "L" + n(x + r) + " " + n(y) + "L" + n(x) + " " + n(y + r) + "L" +
         n(x - r) + " " + n(y) + "Z\"/>";
}

std::string abrir(const std::string& tipo, double altura, const std::string& descricao) {
  return "<svg class=\"grafico\" data-tipo=\"" + tipo + "\" viewBox=\"0 0 " + n(L) + " " +
         n(altura) + "\" role=\"img\" aria-label=\"" + escapar(descricao) + "\">";
}

// One symbol of the legend, 16 units wide from x, centred on y.
std::string simbolo(const std::string& qual, double x, double y) {
  const std::string cor0 = std::string(" style=\"--cor:") + cor(0) + "\"";
  const std::string trecho =
      "\" points=\"" + n(x) + "," + n(y) + " " + n(x + 16) + "," + n(y) + "\"/>";
  if (qual.rfind("ponto", 0) == 0) {
    return "<circle class=\"simbolo" + qual.substr(5) + "\" cx=\"" + n(x + 8) + "\" cy=\"" + n(y) +
           "\" r=\"4\"/>";
  }
  if (qual == "intervalo") {
    return linha(x + 1, y, x + 15, y, "bigode") + linha(x + 1, y - 4, x + 1, y + 4, "bigode") +
           linha(x + 15, y - 4, x + 15, y + 4, "bigode");
  }
  if (qual == "teoria" || qual == "teoria aprox") return losango(x + 8, y, 5, qual != "teoria");
  if (qual == "linha") return "<polyline class=\"media\"" + cor0 + trecho;
  if (qual.rfind("linha ", 0) == 0) {
    const auto k = static_cast<std::size_t>(std::atoi(qual.c_str() + 6));
    return std::string("<polyline class=\"media\" style=\"--cor:") + cor(k) + trecho;
  }
  if (qual == "movel") {
    return std::string("<polyline class=\"media\" style=\"--cor:") + cor(1) + trecho;
  }
  if (qual == "linha-teoria") return "<polyline class=\"teoria" + trecho;
  if (qual == "faixa") {
    return "<rect class=\"faixa\"" + cor0 + " x=\"" + n(x) + "\" y=\"" + n(y - 5) +
           "\" width=\"16\" height=\"10\"/>";
  }
  return "";
}

// The legend from the top of the chart, in as many lines as it needs; its height, or 0 when it
// has nothing.
double legenda(std::string& s, const std::vector<Item>& itens) {
  if (itens.empty()) return 0;
  constexpr double MARGEM = 6, ALTURA = 18, ESPACO = 14;
  double x = MARGEM, y = 13;  // y: the baseline of the line's text
  s += "<g class=\"legenda\">";
  for (const Item& it : itens) {
    const double w = 16 + 4 + largura(it.texto);
    if (x > MARGEM && x + w > L - MARGEM) {
      x = MARGEM;
      y += ALTURA;
    }
    s += simbolo(it.simbolo, x, y - 4) + texto(x + 20, y, "start", it.texto, " class=\"leg\"");
    x += w + ESPACO;
  }
  s += "</g>";
  return y + 9;
}

// The marks and labels of a horizontal axis at y from x0 to x1, with its title below.
std::string eixo_horizontal(const Eixo& e, double x0, double x1, double y, double topo,
                            const std::string& titulo) {
  std::string s;
  for (std::size_t k = 0; k < e.marcas.size(); ++k) {
    const double x = x0 + e.fracao(e.marcas[k]) * (x1 - x0);
    s += linha(x, topo, x, y, "grade");
    // Clear of a vertical axis's lowest label.
    if (!e.rotulos[k].empty()) s += texto(x, y + 20, "middle", e.rotulos[k]);
  }
  s += linha(x0, y, x1, y, "eixo");
  s += texto((x0 + x1) / 2, y + 40, "middle", titulo, " class=\"titulo\"");
  return s;
}

}  // namespace

double Eixo::fracao(double v) const {
  if (log) return (std::log10(v) - std::log10(min)) / (std::log10(max) - std::log10(min));
  return (v - min) / (max - min);
}

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

Eixo eixo_log(double a, double b, double comprimento) {
  if (!(a > 0) || !std::isfinite(a)) a = 1;
  if (!(b > a) || !std::isfinite(b)) b = a * 10;
  const int k0 = static_cast<int>(std::floor(std::log10(a) + 1e-9));
  const int k1 = std::max(k0 + 1, static_cast<int>(std::ceil(std::log10(b) - 1e-9)));
  Eixo e;
  e.log = true;
  e.min = std::pow(10.0, k0);
  e.max = std::pow(10.0, k1);
  double maior = 0;
  for (int k = k0; k <= k1; ++k) maior = std::max(maior, largura(potencia(k)));
  // Every passo-th power labelled, the fewest that leave the labels room.
  int passo = 1;
  while (comprimento * passo / (k1 - k0) < maior + 10 && passo < k1 - k0) ++passo;
  for (int k = k0; k <= k1; ++k) {
    e.marcas.push_back(std::pow(10.0, k));
    e.rotulos.push_back((k - k0) % passo == 0 ? potencia(k) : "");
  }
  return e;
}

const char* cor(std::size_t k) {
  static const char* const cores[] = {"#1f5fa8", "#8a3e9c", "#2a8a3e",
                                      "#4a4a4a", "#0f7f86", "#a8326e"};
  return cores[k % 6];
}

std::string pontos(const std::string& tipo, const std::string& unidade,
                   const std::vector<Linha>& linhas, const Opcoes& o) {
  double esquerda = 50;
  double a = INFINITY, b = -INFINITY;
  for (const Linha& l : linhas) {
    esquerda = std::max(esquerda, largura(cortar(l.rotulo)) + 12);
    for (double x : {l.valor, l.baixo, l.alto, l.teoria}) {
      if (std::isfinite(x)) a = std::min(a, x), b = std::max(b, x);
    }
  }
  const bool zero = o.zero || !(a < 0);
  if (std::isfinite(a) && zero) a = std::min(a, 0.0), b = std::max(b, 0.0);
  if (std::isfinite(a) && b - a < o.amplitude) {
    // Widened on the side where the values are, so that a small difference looks small.
    const double falta = o.amplitude - (b - a);
    if (a >= 0) {
      b += falta;
    } else if (b <= 0) {
      a -= falta;
    } else {
      a -= falta / 2, b += falta / 2;
    }
  }
  std::string s;
  const double topo = legenda(s, o.legenda) + 8;
  const double direita = 30;
  const double x0 = esquerda, x1 = L - direita;
  const Eixo e = eixo(a, b, x1 - x0, zero);
  auto X = [&](double v) { return x0 + e.fracao(v) * (x1 - x0); };
  const double y_eixo = topo + LINHA * static_cast<double>(linhas.size());
  s = abrir(tipo, y_eixo + 50, unidade) + s;
  s += eixo_horizontal(e, x0, x1, y_eixo, topo, unidade);
  if (o.zero) s += linha(X(0), topo, X(0), y_eixo, "zero");
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
    if (std::isfinite(l.teoria)) s += losango(X(l.teoria), y, 6, l.aproximada);
    if (std::isfinite(l.valor)) {
      s += "<circle class=\"ponto" + (l.classe.empty() ? "" : " " + l.classe) + "\" cx=\"" +
           n(X(l.valor)) + "\" cy=\"" + n(y) + "\" r=\"4\"/>";
      // The note on the half of the row away from the dot.
      if (!l.nota.empty()) {
        const bool direita_livre = X(l.valor) < (x0 + x1) / 2;
        s += texto(direita_livre ? x1 - 4 : x0 + 4, y + 4, direita_livre ? "end" : "start", l.nota,
                   " class=\"nota\"");
      }
    } else {
      s += texto(x0 + 4, y + 4, "start", "sem valor", " class=\"nada\"");
    }
    s += "</g>";
  }
  return s + "</svg>";
}

std::string linhas(const std::string& tipo, const std::string& eixo_x, const std::string& eixo_y,
                   const std::vector<Serie>& series, const Opcoes& o) {
  auto vale = [&o](double x) { return std::isfinite(x) && (!o.log_x || x > 0); };
  double xa = INFINITY, xb = -INFINITY, ya = INFINITY, yb = -INFINITY;
  for (const Serie& c : series) {
    for (std::size_t k = 0; k < c.x.size(); ++k) {
      if (!vale(c.x[k])) continue;
      xa = std::min(xa, c.x[k]), xb = std::max(xb, c.x[k]);
      for (const auto* v : {&c.y, &c.baixo, &c.alto, &c.teoria}) {
        if (k < v->size() && std::isfinite((*v)[k])) {
          ya = std::min(ya, (*v)[k]), yb = std::max(yb, (*v)[k]);
        }
      }
    }
  }
  std::string s;
  const double altura = 200, topo = legenda(s, o.legenda) + 10;
  const Eixo ey = eixo(ya, yb, altura, !(ya < 0));
  double maior = 0;
  for (const std::string& r : ey.rotulos) maior = std::max(maior, largura(r));
  const double x0 = 24 + maior + 8;
  const double x1 = L - 30;
  const Eixo ex = o.log_x ? eixo_log(xa, xb, x1 - x0) : eixo(xa, xb, x1 - x0, false);
  auto X = [&](double v) { return x0 + ex.fracao(v) * (x1 - x0); };
  const double y1 = topo + altura;
  auto Y = [&](double v) { return y1 - ey.fracao(v) * altura; };
  s = abrir(tipo, y1 + 50, eixo_y + " / " + eixo_x) + s;
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
    auto tem_faixa = [&](std::size_t k) {
      return k < v.x.size() && k < v.alto.size() && k < v.baixo.size() && vale(v.x[k]) &&
             std::isfinite(v.alto[k]) && std::isfinite(v.baixo[k]);
    };
    // The band: up the upper ends, back down the lower ones, over each stretch with both.
    std::string faixa;
    for (std::size_t k = 0; k <= v.x.size(); ++k) {
      if (tem_faixa(k)) {
        faixa += (faixa.empty() ? "" : " ") + n(X(v.x[k])) + "," + n(Y(v.alto[k]));
        continue;
      }
      if (!faixa.empty()) {
        for (std::size_t j = k; j-- > 0 && tem_faixa(j);) {
          faixa += " " + n(X(v.x[j])) + "," + n(Y(v.baixo[j]));
        }
        s += "<polygon class=\"faixa\"" + estilo + " points=\"" + faixa + "\"/>";
        faixa.clear();
      }
    }
    auto tracar = [&](const std::vector<double>& y, const std::string& classe) {
      std::string p;
      for (std::size_t k = 0; k <= v.x.size(); ++k) {
        if (k < v.x.size() && k < y.size() && vale(v.x[k]) && std::isfinite(y[k])) {
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
    auto tem = [&](std::size_t k) {
      return k < v.x.size() && k < v.y.size() && vale(v.x[k]) && std::isfinite(v.y[k]);
    };
    if (v.marcar || v.soltos) {
      for (std::size_t k = 0; k < v.x.size() && k < v.y.size(); ++k) {
        if (!tem(k) || (!v.marcar && ((k > 0 && tem(k - 1)) || tem(k + 1)))) continue;
        s += "<circle class=\"ponto" + (v.classe.empty() ? "" : " " + v.classe) + "\"" + estilo +
             " cx=\"" + n(X(v.x[k])) + "\" cy=\"" + n(Y(v.y[k])) + "\" r=\"" +
             (v.classe == "fina" ? "1.6" : "3.5") + "\"/>";
      }
    }
  }
  if (vale(o.marca_x) && o.marca_x >= ex.min && o.marca_x <= ex.max) {
    const double x = X(o.marca_x);
    s += linha(x, topo, x, y1, "marca");
    const bool cabe = x + 8 + largura(o.rotulo_marca) <= x1;
    s += texto(cabe ? x + 4 : x - 4, topo + 14, cabe ? "start" : "end", o.rotulo_marca,
               " class=\"nota\"");
  }
  return s + "</svg>";
}

}  // namespace tarvo::grafico
