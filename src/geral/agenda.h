// The pending events of a run of the extended engine, in a binary heap, and the routing draw:
// what both paths of the engine (one class in FIFO order, and classes with their disciplines)
// share on their hot path.
#ifndef TARVO_GERAL_AGENDA_H_
#define TARVO_GERAL_AGENDA_H_

#include <bit>
#include <cstdint>
#include <limits>
#include <vector>

#include "geral/motor.h"

namespace tarvo::geral {

constexpr double kMaiorTempo = std::numeric_limits<double>::max();

// A time that is not finite would sit in the heap for ever, or order nothing: the run cannot go
// on, whatever the figures it has so far.
[[gnu::noinline, noreturn]] void tempo_nao_finito(const Corrida& c, double t, std::int32_t alvo);

// Times are never negative (nor -0), so their bits order as the times do, and time and order
// compare as one 128-bit number, without a branch.
inline bool antes(const Evento& a, const Evento& b) {
  using u128 = unsigned __int128;
  const u128 x = (u128{std::bit_cast<std::uint64_t>(a.t)} << 64) | a.ordem;
  const u128 y = (u128{std::bit_cast<std::uint64_t>(b.t)} << 64) | b.ordem;
  return x < y;
}

inline void descer(std::vector<Evento>& h, const Evento& e) {
  const std::size_t n = h.size();
  std::size_t i = 0;
  for (;;) {
    std::size_t f = 2 * i + 1;
    if (f >= n) break;
    if (f + 1 < n && antes(h[f + 1], h[f])) ++f;
    if (!antes(h[f], e)) break;
    h[i] = h[f];
    i = f;
  }
  h[i] = e;
}

// Growing the heap past its capacity reallocates (amortised); it is reserved for the most
// events a network with finite servers can have pending.
inline void agendar(Corrida& c, double t, std::int32_t alvo, const Fregues& f,
                    std::int32_t classe = 0) {
  if (!(t <= kMaiorTempo)) [[unlikely]]
    tempo_nao_finito(c, t, alvo);
  std::vector<Evento>& h = c.pendentes;
  const Evento e{t, c.ordem++, alvo, classe, f};
  std::size_t i = h.size();
  h.push_back(e);
  while (i > 0) {
    const std::size_t p = (i - 1) / 2;
    if (!antes(e, h[p])) break;
    h[i] = h[p];
    i = p;
  }
  h[i] = e;
}

// The head leaves and an event the head's handling scheduled takes its place: one pass down.
inline void trocar_cabeca(Corrida& c, double t, std::int32_t alvo, const Fregues& f,
                          std::int32_t classe = 0) {
  if (!(t <= kMaiorTempo)) [[unlikely]]
    tempo_nao_finito(c, t, alvo);
  descer(c.pendentes, Evento{t, c.ordem++, alvo, classe, f});
}

inline void tirar_cabeca(Corrida& c) {
  std::vector<Evento>& h = c.pendentes;
  const Evento e = h.back();
  h.pop_back();
  if (!h.empty()) descer(h, e);
}

inline std::int32_t destino(const Corrida& c, const RotaPronta& r, Gerador& g) {
  if (!r.sorteia) return r.certa;
  const double u = uniforme(g);
  const Desvio* d = c.rede.desvios.data() + r.inicio;
  for (std::int32_t i = 0; i < r.n; ++i) {
    if (u < d[i].ate) return d[i].estacao;
  }
  return -1;
}

inline void sair(Corrida& c, const Fregues& f) {
  ++c.saidas_total;
  ++c.saidas;
  const double d = c.relogio - f.rede;
  c.soma_permanencia += d;
  c.permanencia.somar(d);
}

}  // namespace tarvo::geral

#endif  // TARVO_GERAL_AGENDA_H_
