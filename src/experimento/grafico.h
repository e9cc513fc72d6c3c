// Charts as inline SVG, sized in a 400-unit-wide view box that the page scales to its width: a
// row per object with its interval (whiskers) and theory, or lines against a parameter or time,
// each with its legend on top. Every label is placed so that none overlaps another or leaves
// the chart.
#ifndef TARVO_EXPERIMENTO_GRAFICO_H_
#define TARVO_EXPERIMENTO_GRAFICO_H_

#include <limits>
#include <string>
#include <vector>

namespace tarvo::grafico {

// Text made safe for HTML and SVG.
std::string escapar(const std::string& s);

// An axis: from min to max, with the round values marked on it and their labels (empty where a
// mark has none).
struct Eixo {
  double min = 0, max = 1;
  bool log = false;  // marks placed by their logarithm
  std::vector<double> marcas;
  std::vector<std::string> rotulos;
  // Where v lies, from 0 at min to 1 at max.
  double fracao(double v) const;
};

// A round axis covering [a, b] whose labels, each about 7.4 units per character, fit spaced in
// comprimento units; with zero, the axis reaches 0 too.
Eixo eixo(double a, double b, double comprimento, bool zero);

// A logarithmic axis covering [a, b], a > 0, marked at the powers of 10 (labels thinned until
// they fit in comprimento units).
Eixo eixo_log(double a, double b, double comprimento);

// One row of a dot chart: a value with its interval and maybe the theory's (NaN where none).
// classe colours the dot ("" for the usual); nota, when given, is written on the row.
struct Linha {
  std::string rotulo;
  double valor, baixo, alto, teoria;
  std::string classe;
  std::string dica;         // shown on hover
  bool aproximada = false;  // the theory is an approximation: a hollow diamond
  std::string nota;
};

// A symbol of the legend and what it stands for. simbolo is one of: ponto (with the class of
// the dots it stands for, as "ponto melhor"), intervalo, teoria, teoria aprox, linha (with the
// index of the series whose colour it takes, as "linha 2"; the first without), faixa,
// linha-teoria, movel.
struct Item {
  std::string simbolo;
  std::string texto;
};

struct Opcoes {
  std::vector<Item> legenda;  // drawn on top, in as many lines as it needs
  bool zero = false;          // a dot chart's axis reaches 0, marked by a dashed line
  double amplitude = 0;       // the least span of a dot chart's axis
  bool log_x = false;         // a line chart's x axis is logarithmic (x > 0)
  double marca_x = std::numeric_limits<double>::quiet_NaN();  // a line at this x, labelled
  std::string rotulo_marca;
};

// A dot chart, one row per object. tipo is the page's kind of chart (data-tipo).
std::string pontos(const std::string& tipo, const std::string& unidade,
                   const std::vector<Linha>& linhas, const Opcoes& opcoes);

// A line of a chart against x: y with its interval band (baixo/alto, NaN where none), and the
// theory (NaN where none), each broken where a value is missing. Points are drawn only where
// marcar says so, or with soltos where no line reaches them (a value between two missing).
struct Serie {
  std::string nome;
  std::vector<double> x, y, baixo, alto, teoria;
  bool marcar = true;
  std::string classe;  // "" or "fina" (light points, for bins)
  bool soltos = false;
};

// A chart of lines against x, one colour per series.
std::string linhas(const std::string& tipo, const std::string& eixo_x, const std::string& eixo_y,
                   const std::vector<Serie>& series, const Opcoes& opcoes);

// The colour of series k, as the legend shows it; none is the theory's orange.
const char* cor(std::size_t k);

}  // namespace tarvo::grafico

#endif  // TARVO_EXPERIMENTO_GRAFICO_H_
