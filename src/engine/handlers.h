// What happens to the network at each event, and the statistics that it updates.
#ifndef TARVO_ENGINE_HANDLERS_H_
#define TARVO_ENGINE_HANDLERS_H_

#include "engine/simulation.h"

namespace tarvo {

// Sets every statistic of every object to zero; names, parameters and links stay.
void zerar_estatisticas(Simulacao& sim);

// Schedules the first arrival of every source, in number order.
void primeiras_chegadas(Simulacao& sim);

// A customer arrives at fila; with no fila (a missing link) it leaves the network.
void chegada_fila(Simulacao& sim, Fila* fila);

// The source generates one customer and schedules its next arrival.
void evento_fonte(Simulacao& sim, Fonte& fonte);

// The server completes its service and takes the next waiting customer, if any.
void evento_servidor(Simulacao& sim, Servidor& servidor);

}  // namespace tarvo

#endif  // TARVO_ENGINE_HANDLERS_H_
