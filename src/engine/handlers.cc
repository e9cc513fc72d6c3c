// The event handlers. The order of the draws below is part of the results: each draw consumes
// one number of the generator.
#include "engine/handlers.h"

#include <cmath>

namespace tarvo {

namespace {

// Far enough from time zero a duration rounds away to nothing: the event lands on the clock
// instead of after it, and the results degrade. The generator also draws, now and then, an
// exponential duration thousands of times shorter than its mean, which a clock of a few
// thousand units already cannot represent; losing one of those is harmless, so only durations
// of at least 1/64 of their distribution's mean are counted.
[[gnu::cold, gnu::noinline]] void registrar_sem_duracao(Simulacao& sim, int tipo, Tempo med,
                                                        Tempo inf, Tempo sup, Tempo x) {
  // Every time is the same at an infinite clock; that is no loss of precision.
  if (std::isinf(sim.Tsimul)) return;
  const double media = tipo == DIST_EXPONENCIAL
                           ? static_cast<double>(med)
                           : (static_cast<double>(inf) + static_cast<double>(sup)) / 2;
  if (media > 0 && static_cast<double>(x) < media / 64) return;
  if (sim.sem_duracao++ == 0) sim.Tsem_duracao = sim.Tsimul;
}

// Draws a duration for o and schedules its next event (tipo) that much after the clock.
// Returns the event's time before rounding.
template <class Objeto>
double agendar(Simulacao& sim, int tipo, Objeto& o) {
  const Tempo x = gerar_duracao(sim.gerador, sim.out, o.tipo, static_cast<double>(o.med),
                                static_cast<double>(o.inf), static_cast<double>(o.sup));
  const double t = static_cast<double>(x) + static_cast<double>(sim.Tsimul);
  const Evento e = novo_evento(tipo, &o, t);
  if (x > 0 && !(e.tev > sim.Tsimul)) [[unlikely]] {
    registrar_sem_duracao(sim, o.tipo, o.med, o.inf, o.sup, x);
  }
  inserir_evento(sim.eventos, e);
  return t;
}

// Starts a service at s now. Its duration comes from the unrounded completion time, not from
// the event's rounded one.
void iniciar_servico(Simulacao& sim, Servidor& s) {
  const double t = agendar(sim, EV_SERVIDOR, s);
  s.tservico = static_cast<Tempo>(t - static_cast<double>(sim.Tsimul));
  s.ocupado = 1;
}

// Closes the stretch of constant length that ends now, after tamanho has changed.
void registrar_tamanho(Simulacao& sim, Fila& q) {
  q.area = static_cast<Tempo>(static_cast<double>(q.area) +
                              (static_cast<double>(sim.Tsimul) - static_cast<double>(q.tultima)) *
                                  static_cast<double>(q.tam_ultimo));
  q.tultima = sim.Tsimul;
  q.tam_ultimo = q.tamanho;
}

}  // namespace

void zerar_estatisticas(Simulacao& sim) {
  Rede& r = sim.rede;
  for (int j = 1; j <= r.nfontes; ++j) r.fontes[j].gerados = 0;
  for (int j = 1; j <= r.nservidores; ++j) {
    Servidor& s = r.servidores[j];
    s.atendidos = 0;
    s.ocupado = 0;
    s.tservico = 0;
    s.tocupado = 0;
  }
  for (int j = 1; j <= r.nfilas; ++j) {
    Fila& q = r.filas[j];
    q.chegadas = 0;
    q.tamanho = 0;
    q.maximo = 0;
    q.tultima = 0;
    q.tam_ultimo = 0;
    q.area = 0;
  }
}

void primeiras_chegadas(Simulacao& sim) {
  for (int j = 1; j <= sim.rede.nfontes; ++j) {
    agendar(sim, EV_FONTE, sim.rede.fontes[j]);
  }
}

void chegada_fila(Simulacao& sim, Fila* fila) {
  if (fila == nullptr) {
    ++sim.perdidos;
    return;
  }
  Fila& q = *fila;
  if (q.servidor == nullptr || q.servidor->ocupado != 0) {
    ++q.tamanho;
    if (q.tamanho > q.maximo) q.maximo = q.tamanho;
    registrar_tamanho(sim, q);
  } else {
    iniciar_servico(sim, *q.servidor);
  }
  ++q.chegadas;
}

void evento_fonte(Simulacao& sim, Fonte& fonte) {
  recomecar_parada(sim.parada, sim.Tsimul);
  ++fonte.gerados;
  ++sim.Nfregues;
  chegada_fila(sim, fonte.saida);
  agendar(sim, EV_FONTE, fonte);
}

void evento_servidor(Simulacao& sim, Servidor& servidor) {
  Parada& p = sim.parada;
  if (sim.Tsimul != p.T) {
    recomecar_parada(p, sim.Tsimul);
  } else if (++p.eventos >= p.proximo) [[unlikely]] {
    examinar_parada(sim);
  }
  servidor.tocupado = static_cast<Tempo>(static_cast<double>(servidor.tocupado) +
                                         static_cast<double>(servidor.tservico));
  ++servidor.atendidos;
  // Still busy here: a customer fed back to this server's own queue waits there.
  chegada_fila(sim, servidor.saida);
  servidor.ocupado = 0;
  Fila* q = servidor.entrada;
  if (q == nullptr || q->tamanho == 0) return;
  --q->tamanho;
  registrar_tamanho(sim, *q);
  iniciar_servico(sim, servidor);
}

}  // namespace tarvo
