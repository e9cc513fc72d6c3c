// A checked run: the same passes as simular, with the state verified after every event. Only
// tests and tools call it; the normal run loop carries no checks.
#ifndef TARVO_LEGADO_ENGINE_INVARIANTS_H_
#define TARVO_LEGADO_ENGINE_INVARIANTS_H_

#include <string>
#include <vector>

#include "legado/engine/simulation.h"

namespace tarvo {

// What must hold between any two events of a run that has started: servers idle or busy with
// exactly one pending completion, each source with exactly one pending arrival, queue lengths
// and their records consistent, the list in time order, customers counted and conserved.
// Returns an empty string when all hold, else a description of the first that does not.
std::string verificar_invariantes(const Simulacao& sim);

// The pending events, head first.
std::vector<Evento> copiar_eventos(const ListaEventos& l);

// Compares the list before an event was handled (its head being that event) with the list
// after: the handled event gone, every other one kept in its place and order, and each newly
// scheduled one where the tie rule puts it. Returns an empty string when all hold.
std::string verificar_agendamento(const std::vector<Evento>& antes,
                                  const std::vector<Evento>& depois);

// Runs as simular does, verifying the state before the first event and after every event.
// Returns the limit that ended the run, or 0 when a check failed, with its description, the
// event's number and the clock in violacao.
int simular_verificado(Simulacao& sim, std::string& violacao);

}  // namespace tarvo

#endif  // TARVO_LEGADO_ENGINE_INVARIANTS_H_
