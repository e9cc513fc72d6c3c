// The next-event loop and its two console traces.
#ifndef TARVO_ENGINE_RUN_H_
#define TARVO_ENGINE_RUN_H_

#include "engine/simulation.h"

namespace tarvo {

constexpr int TERMINO_TEMPO = 1;     // the simulated-time limit ended the run
constexpr int TERMINO_CLIENTES = 2;  // the customer limit ended the run

// 0 while the run goes on, else the limit that has been reached; the customer limit first.
int termino(const Simulacao& sim);

// Runs events until a limit is reached and returns which one. An empty event list ends the
// run as the time limit would.
int simular(Simulacao& sim);

// Writes the pending events, head first, to sim.out.
void imprimir_eventos(Simulacao& sim);

}  // namespace tarvo

#endif  // TARVO_ENGINE_RUN_H_
