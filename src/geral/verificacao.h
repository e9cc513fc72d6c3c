// The extended engine's checked mode: the state verified between events. Tests, tools and the
// fuzzer call it; the normal run carries no checks.
#ifndef TARVO_GERAL_VERIFICACAO_H_
#define TARVO_GERAL_VERIFICACAO_H_

#include <string>

#include "geral/motor.h"

namespace tarvo::geral {

// What must hold between any two events: every customer generated is waiting, in service, gone
// or lost; busy servers within 0..c and matched by their pending completions, nobody waiting
// while a server is free; no station above its capacity; one pending arrival per source; the
// pending events in heap order, none before the clock, and each customer's times in order.
// Returns an empty string when all hold, else the first that does not.
std::string verificar(const Corrida& c);

// Runs c to its end as rodar does, verifying the state before the first event and after every
// one, and that the clock never goes back. Returns an empty string, or the first violation with
// the event's number and the clock.
std::string rodar_verificado(Corrida& c);

}  // namespace tarvo::geral

#endif  // TARVO_GERAL_VERIFICACAO_H_
