// Two models run on the same replications, figure by figure: the paired difference and which
// model is better where its interval says so.
#ifndef TARVO_EXPERIMENTO_COMPARACAO_H_
#define TARVO_EXPERIMENTO_COMPARACAO_H_

#include <cstddef>
#include <string>
#include <vector>

#include "experimento/estatistica.h"
#include "experimento/experimento.h"

namespace tarvo {

// Which way a figure improves: -1 when lower is better, +1 when higher is, 0 when neither
// (counts of what arrives, utilisation, the clock).
int sentido(const IdFigura& id);

// A figure of either model: their means, and the summary of the differences B - A of the
// replications of the same index where both have a value. A figure of one model only (an
// object added, removed or renamed) has NaN for the other's mean and no differences.
struct Comparada {
  static constexpr std::size_t nenhuma = static_cast<std::size_t>(-1);
  IdFigura id;                 // as model A names it, or B for a figure of B only
  std::size_t em_a = nenhuma;  // its index among A's figures
  std::size_t em_b = nenhuma;  // and among B's
  double media_a = 0;
  double media_b = 0;
  Resumo diferenca;
  std::string melhor;  // "A", "B", or "-" where the interval holds 0 or the figure is neutral
  // "A" or "B" for a figure of that model only; empty for one of both.
  std::string so_em() const;
};

// Every figure of both (matched by tipo, nome, figura, classe and window): A's in A's order,
// then those of B only, in B's order. Both results must hold the same replications.
std::vector<Comparada> comparar(const Resultado& a, const Resultado& b);

// What the intervals say of kinds of figure: for espera_media of the stations, the phrase
// "B espera menos em 2 de 3 estações", counting the objects both models have.
struct Veredito {
  std::vector<IdFigura> ids;  // the first figure of each kind the phrase says it of
  std::string frase;
};

// The verdicts on the kinds of figure (tipo and figura) where some interval of the whole run
// says which model is better, kinds of the same phrase together, in the order the kinds first
// come. Without acentos
// the fixed words lose their accents (names keep theirs), as text output has none.
std::vector<Veredito> veredito(const std::vector<Comparada>& cs, bool acentos);

}  // namespace tarvo

#endif  // TARVO_EXPERIMENTO_COMPARACAO_H_
