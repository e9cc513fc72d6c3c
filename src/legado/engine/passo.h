// The pass of the run loop for runs whose times cannot be NaN, inline for loops that watch the
// network between events.
#ifndef TARVO_LEGADO_ENGINE_PASSO_H_
#define TARVO_LEGADO_ENGINE_PASSO_H_

#include "legado/engine/handlers.h"
#include "legado/engine/simulation.h"
#include "legado/engine/stall.h"

namespace tarvo {

// The same pass with the head unlinked before its handler runs, which spares every insertion
// walking past it. Only valid when no time can be NaN (the dump, which shows the processed
// event, uses passo): the pending times are then in order, all of them at or after the head's,
// so an event scheduled at or before the head's time goes to the front either way, and any
// other one passes the head and lands where it would have landed without it.
[[gnu::always_inline]] inline bool passo_sem_nan(Simulacao& sim) {
  ListaEventos& l = sim.eventos;
  if (lista_vazia(l)) return false;
  const Evento e = cabeca(l);
  ++l.ini;
  sim.Tsimul = e.tev;
  if (e.tipo == EV_FONTE) {
    evento_fonte(sim, *e.fonte());
  } else if (e.tipo == EV_SERVIDOR) {
    if (detalhe::parada_a_examinar(sim, e.tev)) [[unlikely]] {
      // The examination reads the list with this event at its head; nothing has been
      // scheduled since it was unlinked, so its slot still holds it.
      --l.ini;
      examinar_parada(sim);
      ++l.ini;
    }
    detalhe::servir(sim, e.tev, *e.servidor());
  }
  return true;
}

}  // namespace tarvo

#endif  // TARVO_LEGADO_ENGINE_PASSO_H_
