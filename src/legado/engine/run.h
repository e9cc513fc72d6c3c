// The next-event loop and its two console traces.
#ifndef TARVO_LEGADO_ENGINE_RUN_H_
#define TARVO_LEGADO_ENGINE_RUN_H_

#include "legado/engine/simulation.h"

namespace tarvo {

constexpr int TERMINO_TEMPO = 1;     // the simulated-time limit ended the run
constexpr int TERMINO_CLIENTES = 2;  // the customer limit ended the run

// 0 while the run goes on, else the limit that has been reached; the customer limit first.
int termino(const Simulacao& sim);

// Runs events until a limit is reached and returns which one. An empty event list ends the
// run as the time limit would.
int simular(Simulacao& sim);

// Runs events, without traces, until a limit is reached (returning it, as simular does) or until
// the head event is at or after T (returning 0, that event not yet handled).
int simular_ate(Simulacao& sim, Tempo T);

// One pass of the loop once the limits have been tested: moves the clock to the head event,
// handles it, dumps the list when Visual is 2, and unlinks the event. Returns false, doing
// nothing, when no event is pending.
bool proximo_evento(Simulacao& sim);

// The warnings of a finished run, each one line on sim.err: a run that handled no event (its
// limits as loaded), then durations lost to the clock's precision (how many and from when).
// Nothing for a run that needs neither.
void avisar_ao_terminar(const Simulacao& sim);

// Whether no event time of this run can be NaN, so that passo_sem_nan (engine/passo.h) may run
// it: no parameter nor pending time is infinite or NaN.
bool sem_nan(const Simulacao& sim);

// Writes the pending events, head first, to sim.out.
void imprimir_eventos(Simulacao& sim);

}  // namespace tarvo

#endif  // TARVO_LEGADO_ENGINE_RUN_H_
