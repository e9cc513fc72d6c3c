// Two models run on the same replications, figure by figure: the paired difference and which
// model is better where its interval says so.
#ifndef TARVO_EXPERIMENTO_COMPARACAO_H_
#define TARVO_EXPERIMENTO_COMPARACAO_H_

#include <string>
#include <vector>

#include "experimento/estatistica.h"
#include "experimento/experimento.h"

namespace tarvo {

// Which way a figure improves: -1 when lower is better, +1 when higher is, 0 when neither
// (counts of what arrives, utilisation, the clock).
int sentido(const IdFigura& id);

// A figure of both models: their means, and the summary of the differences B - A of the
// replications of the same index where both have a value.
struct Comparada {
  IdFigura id;  // as model A names it
  double media_a = 0;
  double media_b = 0;
  Resumo diferenca;
  std::string melhor;  // "A", "B", or "-" where the interval holds 0 or the figure is neutral
};

// The figures present in both (by tipo, nome and figura), in A's order. Both results must hold
// the same replications.
std::vector<Comparada> comparar(const Resultado& a, const Resultado& b);

}  // namespace tarvo

#endif  // TARVO_EXPERIMENTO_COMPARACAO_H_
