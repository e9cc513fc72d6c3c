// Proving that a run of server events at one clock value never ends.
#include "legado/engine/stall.h"

#include <cstring>

#include "comum/failure.h"
#include "legado/engine/random.h"
#include "legado/engine/simulation.h"

namespace tarvo {

namespace {

// Whether every duration that s can draw schedules its event at t exactly. The event's time
// grows with the draw, so the smallest and the largest draw decide; a NaN at either is no.
bool sem_efeito(const Servidor& s, Tempo t) {
  const double extremos[] = {0.0, static_cast<double>(static_cast<float>(32767 / 32768.0))};
  for (double u : extremos) {
    const Tempo x = duracao(u, s.tipo, static_cast<double>(s.med), static_cast<double>(s.inf),
                            static_cast<double>(s.sup));
    const Tempo tev = static_cast<Tempo>(static_cast<double>(x) + static_cast<double>(t));
    if (!(tev == t)) return false;
  }
  return true;
}

// The number of s in the servers' table, or 0 for a server outside it (built by hand), which
// is beyond the proof below.
int numero(const Rede& r, const Servidor* s) {
  for (int j = 1; j <= r.nservidores; ++j) {
    if (&r.servidores[j] == s) return j;
  }
  return 0;
}

// Whether no server that can act while the run at clock T goes on can move the clock. Those
// are the servers whose pending event is not later than T (a NaN time included), and the idle
// servers that their customers can start, through their output queues. A busy server whose
// completion is later than T stays busy as long as the run goes on.
bool relogio_preso(const Simulacao& sim, Tempo T) {
  const Rede& r = sim.rede;
  bool ativo[MAX_OBJETOS] = {};
  int pilha[MAX_OBJETOS];
  int n = 0;
  const ListaEventos& l = sim.eventos;
  for (int i = 0; i < tamanho_lista(l); ++i) {
    const Evento& e = evento_na_posicao(l, i);
    if (e.tipo != EV_SERVIDOR || e.tev > T) continue;
    const int j = numero(r, e.servidor());
    if (j == 0) return false;
    if (!ativo[j]) {
      ativo[j] = true;
      pilha[n++] = j;
    }
  }
  while (n > 0) {
    const Servidor& s = r.servidores[pilha[--n]];
    if (!sem_efeito(s, T)) return false;
    const Servidor* seguinte = s.saida != nullptr ? s.saida->servidor : nullptr;
    if (seguinte == nullptr || seguinte->ocupado != 0) continue;
    const int j = numero(r, seguinte);
    if (j == 0) return false;
    if (!ativo[j]) {
      ativo[j] = true;
      pilha[n++] = j;
    }
  }
  return true;
}

// Everything the next events depend on once no draw can move the clock: the queue lengths, the
// busy flags and the pending events in list order.
void estado(const Simulacao& sim, std::vector<std::uint64_t>& v) {
  const Rede& r = sim.rede;
  v.clear();
  for (int j = 1; j <= r.nfilas; ++j) v.push_back(static_cast<std::uint64_t>(r.filas[j].tamanho));
  for (int j = 1; j <= r.nservidores; ++j) {
    v.push_back(static_cast<std::uint64_t>(r.servidores[j].ocupado));
  }
  const ListaEventos& l = sim.eventos;
  for (int i = 0; i < tamanho_lista(l); ++i) {
    const Evento& e = evento_na_posicao(l, i);
    std::uint32_t bits;
    std::memcpy(&bits, &e.tev, sizeof bits);
    v.push_back(bits | static_cast<std::uint64_t>(e.tipo) << 32);
    v.push_back(reinterpret_cast<std::uintptr_t>(e.objeto));
  }
}

}  // namespace

void examinar_parada(Simulacao& sim) {
  Parada& p = sim.parada;
  if (p.foto_em == 0) {
    if (!relogio_preso(sim, p.T)) {
      p.proximo = Parada::NUNCA;
      return;
    }
  } else {
    estado(sim, p.agora);
    if (p.agora == p.foto) {
      falha(1,
            "A simulacao nao termina: a partir de Tsimul = %.2f, os clientes passam de servidor "
            "em servidor sem que o relogio avance (duracoes nulas, negativas ou menores que a "
            "precisao do relogio)\n",
            static_cast<double>(p.T));
    }
  }
  // A new picture at every doubling of the run finds any cycle once the run is in it.
  if (p.foto_em == 0 || p.eventos >= 2 * p.foto_em) {
    estado(sim, p.foto);
    p.foto_em = p.eventos;
  }
  p.proximo = p.eventos + 1;
}

}  // namespace tarvo
