// Theory values onto the figures the engines report, each with the figure's own definition.
#ifndef TARVO_TEORIA_FIGURAS_H_
#define TARVO_TEORIA_FIGURAS_H_

#include <functional>
#include <optional>
#include <vector>

#include "experimento/modelo.h"
#include "teoria/teoria.h"

namespace tarvo::teoria {

// Per figure, the theory's value where it gives one. estacao_de names the station a figure's
// object stands for (-1: none); the network's mean sojourn comes from the solution itself. A
// figure of a class (IdFigura::classe) takes that class's value; a closed class's own figures
// (tipo "classe", nome the class) are its cycle time (ciclo) and throughput (vazao).
std::vector<std::optional<Teorico>> teoria_das_figuras(
    const Solucao& sol, const std::vector<IdFigura>& ids,
    const std::function<int(const IdFigura&)>& estacao_de);

// The first two moments of a duration the legacy generator draws: the engine's own duration of
// u = r / 32768 for r = 0..32767, each equally likely.
struct Momentos {
  double media = 0;
  double scv = 0;
};
Momentos momentos_legado(int tipo, double a, double b, double c);

}  // namespace tarvo::teoria

#endif  // TARVO_TEORIA_FIGURAS_H_
