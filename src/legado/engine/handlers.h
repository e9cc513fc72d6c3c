// What happens to the network at each event, and the statistics that it updates. The handlers
// are defined here so that the run loop can inline them into its pass.
#ifndef TARVO_LEGADO_ENGINE_HANDLERS_H_
#define TARVO_LEGADO_ENGINE_HANDLERS_H_

#include <bit>
#include <cmath>
#include <cstdint>

#include "legado/engine/simulation.h"

namespace tarvo {

// Sets every statistic of every object to zero; names, parameters and links stay.
void zerar_estatisticas(Simulacao& sim);

// Starts the statistics afresh at the clock agora in the middle of a run, the network's state
// carrying on: counters restart at zero, a queue's maximum at its length now and its time
// integral at agora. A service in progress counts in full when it completes.
void reiniciar_estatisticas(Simulacao& sim, Tempo agora);

// Schedules the first arrival of every source, in number order.
void primeiras_chegadas(Simulacao& sim);

// A customer arrives at fila; with no fila (a missing link) it leaves the network.
inline void chegada_fila(Simulacao& sim, Fila* fila);

// The source generates one customer and schedules its next arrival.
inline void evento_fonte(Simulacao& sim, Fonte& fonte);

// The server completes its service and takes the next waiting customer, if any.
inline void evento_servidor(Simulacao& sim, Servidor& servidor);

namespace detalhe {

// Far enough from time zero a duration rounds away to nothing: the event lands on the clock
// instead of after it, and the results degrade. The generator also draws, now and then, a
// duration thousands of times shorter than its distribution's scale, which a clock of a few
// thousand units already cannot represent; losing one of those is harmless, so only durations
// of at least 1/64 of the scale are counted. The scale is the mean of an exponential and, for a
// uniform, the larger magnitude of its bounds: a uniform range that spans zero has a mean near
// zero, or below it, while its positive draws are as long as its bounds allow. A distribution
// whose scale is not positive draws no duration that matters. Every time is the same at an
// infinite clock; that is no loss of precision. Late in a long run a duration is lost on a good
// share of the draws, at random: the count is kept without a branch to mispredict.
template <class Objeto>
[[gnu::always_inline]] inline void contar_sem_duracao(Simulacao& sim, Tempo agora, const Objeto& o,
                                                      Tempo x, Tempo tev) {
  // The larger magnitude of two floats is one of them, so it is taken in float and widened once.
  const Tempo inf = std::fabs(o.inf), sup = std::fabs(o.sup);
  const Tempo maior = inf > sup ? inf : sup;
  const double escala = static_cast<double>(o.tipo == DIST_EXPONENCIAL ? o.med : maior);
  const bool perdida = (x > 0) & !(tev > agora) & !std::isinf(agora) & (escala > 0) &
                       (static_cast<double>(x) >= escala / 64);
  const Contagem antes = sim.sem_duracao;
  sim.sem_duracao = antes + perdida;
  if (perdida & (antes == 0)) [[unlikely]]
    sim.Tsem_duracao = agora;
}

// Draws a duration for o and schedules its next event (tipo) that much after the clock agora.
// Returns the event's time before rounding.
template <class Objeto>
[[gnu::always_inline]] inline double agendar(Simulacao& sim, Tempo agora, int tipo, Objeto& o) {
  const Tempo x = gerar_duracao(sim.gerador, sim.out, o.tipo, static_cast<double>(o.med),
                                static_cast<double>(o.inf), static_cast<double>(o.sup));
  const double t = static_cast<double>(x) + static_cast<double>(agora);
  const Evento e = novo_evento(tipo, &o, t);
  contar_sem_duracao(sim, agora, o, x, e.tev);
  inserir_evento(sim.eventos, e);
  return t;
}

// Starts a service at s now. Its duration comes from the unrounded completion time, not from
// the event's rounded one.
[[gnu::always_inline]] inline void iniciar_servico(Simulacao& sim, Tempo agora, Servidor& s) {
  const double t = agendar(sim, agora, EV_SERVIDOR, s);
  s.tservico = static_cast<Tempo>(t - static_cast<double>(agora));
  s.ocupado = 1;
}

// Closes the stretch of constant length that ends now, after tamanho has changed.
[[gnu::always_inline]] inline void registrar_tamanho(Tempo agora, Fila& q) {
  q.area = static_cast<Tempo>(static_cast<double>(q.area) +
                              (static_cast<double>(agora) - static_cast<double>(q.tultima)) *
                                  static_cast<double>(q.tam_ultimo));
  q.tultima = agora;
  q.tam_ultimo = q.tamanho;
}

[[gnu::always_inline]] inline void chegada_fila(Simulacao& sim, Tempo agora, Fila* fila) {
  if (fila == nullptr) [[unlikely]] {
    ++sim.perdidos;
    return;
  }
  Fila& q = *fila;
  if (q.servidor == nullptr || q.servidor->ocupado != 0) {
    ++q.tamanho;
    if (q.tamanho > q.maximo) q.maximo = q.tamanho;
    registrar_tamanho(agora, q);
  } else {
    iniciar_servico(sim, agora, *q.servidor);
  }
  ++q.chegadas;
}

}  // namespace detalhe

// The handlers never move the clock, so each reads it once.

inline void chegada_fila(Simulacao& sim, Fila* fila) {
  detalhe::chegada_fila(sim, sim.Tsimul, fila);
}

[[gnu::always_inline]] inline void evento_fonte(Simulacao& sim, Fonte& fonte) {
  const Tempo agora = sim.Tsimul;
  recomecar_parada(sim.parada, agora);
  ++fonte.gerados;
  ++sim.Nfregues;
  detalhe::chegada_fila(sim, agora, fonte.saida);
  detalhe::agendar(sim, agora, EV_FONTE, fonte);
}

namespace detalhe {

// A server event at the clock value of the run of server events so far is counted, and once
// there are many in a row the state is examined for a run that cannot end (examinar_parada
// reads the list with this event still in it). Late in a long run many events share a clock
// value, at random, so the count is kept without a branch on it: when the clock has moved, the
// selects below do what recomecar_parada does.
[[gnu::always_inline]] inline bool parada_a_examinar(Simulacao& sim, Tempo agora) {
  Parada& p = sim.parada;
  // All ones when the clock has not moved; masks rather than conditions, which the compiler
  // would turn back into a branch.
  const std::uint64_t mesmo = 0 - static_cast<std::uint64_t>(agora == p.T);
  const auto escolher = [mesmo](std::uint64_t manter, std::uint64_t novo) {
    return (manter & mesmo) | (novo & ~mesmo);
  };
  // As bits, so that the clock is kept, not replaced by an equal value of the other sign.
  p.T = std::bit_cast<Tempo>(static_cast<std::uint32_t>(
      escolher(std::bit_cast<std::uint32_t>(p.T), std::bit_cast<std::uint32_t>(agora))));
  p.eventos = static_cast<Contagem>(escolher(static_cast<std::uint64_t>(p.eventos + 1), 0));
  p.proximo = static_cast<Contagem>(
      escolher(static_cast<std::uint64_t>(p.proximo), static_cast<std::uint64_t>(Parada::LIMIAR)));
  p.foto_em = static_cast<Contagem>(escolher(static_cast<std::uint64_t>(p.foto_em), 0));
  return p.eventos >= p.proximo;
}

// evento_servidor once the run of server events has been counted.
[[gnu::always_inline]] inline void servir(Simulacao& sim, Tempo agora, Servidor& servidor) {
  servidor.tocupado = static_cast<Tempo>(static_cast<double>(servidor.tocupado) +
                                         static_cast<double>(servidor.tservico));
  ++servidor.atendidos;
  // Still busy here: a customer fed back to this server's own queue waits there.
  chegada_fila(sim, agora, servidor.saida);
  servidor.ocupado = 0;
  Fila* q = servidor.entrada;
  if (q == nullptr || q->tamanho == 0) return;
  --q->tamanho;
  registrar_tamanho(agora, *q);
  iniciar_servico(sim, agora, servidor);
}

}  // namespace detalhe

[[gnu::always_inline]] inline void evento_servidor(Simulacao& sim, Servidor& servidor) {
  const Tempo agora = sim.Tsimul;
  if (detalhe::parada_a_examinar(sim, agora)) [[unlikely]]
    examinar_parada(sim);
  detalhe::servir(sim, agora, servidor);
}

}  // namespace tarvo

#endif  // TARVO_LEGADO_ENGINE_HANDLERS_H_
