// Runs that can never end: customers passing between servers at one instant, forever.
#ifndef TARVO_LEGADO_ENGINE_STALL_H_
#define TARVO_LEGADO_ENGINE_STALL_H_

#include <cstdint>
#include <limits>
#include <vector>

#include "legado/model/network.h"

namespace tarvo {

struct Simulacao;

// Server events in a row at one clock value, with no source event among them. A source event
// adds a customer, so the customer limit bounds those; server events alone are bounded only by
// the clock moving. Past a threshold the state is examined: when no server that can still act
// is able to move the clock (its durations are zero, or too short for the clock's precision),
// the future no longer depends on the draws, and a state seen twice repeats forever.
struct Parada {
  static constexpr Contagem LIMIAR = Contagem{1} << 16;
  static constexpr Contagem NUNCA = std::numeric_limits<Contagem>::max();
  Tempo T = 0;                      // the clock value of the run of events
  Contagem eventos = 0;             // server events in the run so far
  Contagem proximo = LIMIAR;        // at this count, examinar_parada runs
  Contagem foto_em = 0;             // the count at which foto was taken; 0 before any
  std::vector<std::uint64_t> foto;  // the state that decides the future, at foto_em
  std::vector<std::uint64_t> agora;
};

// A new run of events at clock t.
inline void recomecar_parada(Parada& p, Tempo t) {
  p.T = t;
  p.eventos = 0;
  p.proximo = Parada::LIMIAR;
  p.foto_em = 0;
}

// Called at the start of a server event once the run at one clock value reaches p.proximo.
// Throws a Falha when the state proves that the run cannot end.
void examinar_parada(Simulacao& sim);

}  // namespace tarvo

#endif  // TARVO_LEGADO_ENGINE_STALL_H_
