// Charts as inline SVG, sized in a 400-unit-wide view box that the page scales to its width: a
// row per object with its interval (whiskers) and theory, or lines against a parameter or time.
// Every label is placed so that none overlaps another or leaves the chart.
#ifndef TARVO_EXPERIMENTO_GRAFICO_H_
#define TARVO_EXPERIMENTO_GRAFICO_H_

#include <limits>
#include <string>
#include <vector>

namespace tarvo::grafico {

// Text made safe for HTML and SVG.
std::string escapar(const std::string& s);

// An axis: from min to max, with the round values marked on it, each at most this many wide.
struct Eixo {
  double min = 0, max = 1;
  std::vector<double> marcas;
  std::vector<std::string> rotulos;
};

// A round axis covering [a, b] whose labels, each about 7.4 units per character, fit spaced in
// comprimento units; with zero, the axis reaches 0 too.
Eixo eixo(double a, double b, double comprimento, bool zero);

// One row of a dot chart: a value with its interval and maybe the theory's (NaN where none).
// classe colours the dot ("" for the usual).
struct Linha {
  std::string rotulo;
  double valor, baixo, alto, teoria;
  std::string classe;
  std::string dica;         // shown on hover
  bool aproximada = false;  // the theory is an approximation: a grey diamond
};

// A dot chart, one row per object. tipo is the page's kind of chart (data-tipo); with zero a
// line marks 0.
std::string pontos(const std::string& tipo, const std::string& unidade,
                   const std::vector<Linha>& linhas, bool zero);

// A line of a chart against x: y with its interval band (baixo/alto, NaN where none), and the
// theory (NaN where none). Points are drawn only where marcar says so.
struct Serie {
  std::string nome;
  std::vector<double> x, y, baixo, alto, teoria;
  bool marcar = true;
  std::string classe;  // "" or "fina" (light points, for bins)
};

// A chart of lines against x, one colour per series; linha_x, when finite, marks one x (the
// warm-up) with its label.
std::string linhas(const std::string& tipo, const std::string& eixo_x, const std::string& eixo_y,
                   const std::vector<Serie>& series,
                   double linha_x = std::numeric_limits<double>::quiet_NaN(),
                   const std::string& rotulo_linha_x = "");

// The colour of series k, as the legend shows it.
const char* cor(std::size_t k);

}  // namespace tarvo::grafico

#endif  // TARVO_EXPERIMENTO_GRAFICO_H_
