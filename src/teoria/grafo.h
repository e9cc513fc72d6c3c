// The routing graph of a theory network: its loops as strongly connected components, and the
// linear systems along its routes solved one component at a time.
#ifndef TARVO_TEORIA_GRAFO_H_
#define TARVO_TEORIA_GRAFO_H_

#include <cstddef>
#include <optional>
#include <vector>

#include "teoria/teoria.h"

namespace tarvo::teoria {

struct Arco {
  int de = 0, para = 0;
  double p = 0;
};

// The routes of positive probability, by station of origin in the network's order (those of
// station i from inicio[i] to inicio[i + 1]), and the components in an order where every route
// goes to its own component or a later one.
struct Grafo {
  std::vector<Arco> arcos;
  std::vector<std::size_t> inicio;
  std::vector<std::vector<int>> componentes;
  std::vector<int> componente;  // of each station
  std::vector<char> laco;       // a station a customer can come back to
};

Grafo grafo(const Rede& r);

// For each station, whether a station that reaches it (itself only when on a loop) is marked.
std::vector<char> acima(const Grafo& g, const std::vector<char>& marca);

// Solves x = b + A x where A is a[k] at (arcos[k].para, arcos[k].de). None when a component's
// block is singular.
std::optional<std::vector<double>> propagar(const Grafo& g, const std::vector<double>& a,
                                            std::vector<double> b);

}  // namespace tarvo::teoria

#endif  // TARVO_TEORIA_GRAFO_H_
