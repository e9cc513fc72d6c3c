// The event window's two ways of making room, and the run loop that unlinks the head before
// handling it, against the pass-by-pass loop that keeps it linked.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "engine/event_list.h"
#include "engine/handlers.h"
#include "engine/run.h"
#include "engine/simulation.h"
#include "input/loader.h"
#include "model/failure.h"

namespace tarvo {
namespace {

std::vector<float> tempos(const ListaEventos& l) {
  std::vector<float> v;
  for (int i = 0; i < tamanho_lista(l); ++i) v.push_back(evento_na_posicao(l, i).tev);
  return v;
}

std::vector<const void*> objetos(const ListaEventos& l) {
  std::vector<const void*> v;
  for (int i = 0; i < tamanho_lista(l); ++i) v.push_back(evento_na_posicao(l, i).objeto);
  return v;
}

// Both ways an insertion makes room: events walked past move left into the free slot before
// the head, or, with the window at the start of the array, the rest moves right.
TEST(ListaEventos, TieRuleAndNaNWalkOnEitherSide) {
  for (bool no_inicio : {false, true}) {
    SCOPED_TRACE(no_inicio ? "window at the start" : "window in the middle");
    ListaEventos l;
    if (no_inicio) l.ini = l.fim = 0;
    Fonte a, b, c, d, e;
    inserir_evento(l, novo_evento(EV_FONTE, &a, 5.0));
    inserir_evento(l, novo_evento(EV_FONTE, &b, 3.0));
    inserir_evento(l, novo_evento(EV_FONTE, &c, 5.0));  // before the equal time already there
    EXPECT_EQ(objetos(l), (std::vector<const void*>{&b, &c, &a}));
    // A NaN time walks to the tail; a later event walks past it to its first time not earlier.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    inserir_evento(l, novo_evento(EV_FONTE, &d, nan));
    inserir_evento(l, novo_evento(EV_FONTE, &e, 4.0));
    EXPECT_EQ(objetos(l), (std::vector<const void*>{&b, &e, &c, &a, &d}));
    inserir_evento(l, novo_evento(EV_FONTE, &e, 6.0));
    EXPECT_EQ(objetos(l), (std::vector<const void*>{&b, &e, &c, &a, &d, &e}));
  }
}

TEST(ListaEventos, HandledEventIsFollowedWhereverItMoves) {
  for (bool no_inicio : {false, true}) {
    SCOPED_TRACE(no_inicio ? "window at the start" : "window in the middle");
    ListaEventos l;
    if (no_inicio) l.ini = l.fim = 0;
    Fonte a, b, c, d;
    inserir_evento(l, novo_evento(EV_FONTE, &a, 1.0));
    inserir_evento(l, novo_evento(EV_FONTE, &b, 2.0));
    l.atual = l.ini;                                    // a is being handled
    inserir_evento(l, novo_evento(EV_FONTE, &c, 1.0));  // goes before it
    inserir_evento(l, novo_evento(EV_FONTE, &d, 1.5));  // goes after it
    ASSERT_EQ(l.no[l.atual].objeto, &a);
    remover_evento(l, l.atual);
    EXPECT_EQ(l.atual, -1);
    EXPECT_EQ(objetos(l), (std::vector<const void*>{&c, &d, &b}));
    EXPECT_EQ(tempos(l), (std::vector<float>{1.0f, 1.5f, 2.0f}));
  }
}

TEST(ListaEventos, HoldsAllItsSlotsThenFails) {
  ListaEventos l;
  Fonte f;
  for (int i = 0; i < ListaEventos::CAPACIDADE; ++i) {
    inserir_evento(l, novo_evento(EV_FONTE, &f, static_cast<double>(i % 7)));
  }
  EXPECT_EQ(tamanho_lista(l), ListaEventos::CAPACIDADE);
  const std::vector<float> t = tempos(l);
  for (std::size_t i = 1; i < t.size(); ++i) EXPECT_LE(t[i - 1], t[i]);
  try {
    inserir_evento(l, novo_evento(EV_FONTE, &f, 1.0));
    ADD_FAILURE() << "a full list took one more event";
  } catch (const Falha& falha) {
    EXPECT_EQ(falha.status, 1);
    EXPECT_EQ(falha.texto, "");
  }
}

std::uint32_t bits(Tempo v) { return std::bit_cast<std::uint32_t>(v); }

// Everything a run leaves behind, times as bits so that NaNs and signed zeros compare too.
std::vector<std::uint64_t> estado(const Simulacao& sim) {
  std::vector<std::uint64_t> v;
  auto n = [&v](long long x) { v.push_back(static_cast<std::uint64_t>(x)); };
  const Rede& r = sim.rede;
  n(bits(sim.Tsimul));
  n(sim.Nfregues);
  n(sim.perdidos);
  n(sim.sem_duracao);
  n(bits(sim.Tsem_duracao));
  for (int j = 1; j <= r.nfontes; ++j) n(r.fontes[j].gerados);
  for (int j = 1; j <= r.nservidores; ++j) {
    const Servidor& s = r.servidores[j];
    n(s.ocupado);
    n(bits(s.tservico));
    n(bits(s.tocupado));
    n(s.atendidos);
  }
  for (int j = 1; j <= r.nfilas; ++j) {
    const Fila& q = r.filas[j];
    n(q.chegadas);
    n(q.tamanho);
    n(q.maximo);
    n(bits(q.tultima));
    n(q.tam_ultimo);
    n(bits(q.area));
  }
  const ListaEventos& l = sim.eventos;
  for (int i = 0; i < tamanho_lista(l); ++i) {
    const Evento& e = evento_na_posicao(l, i);
    n(bits(e.tev));
    n(e.tipo);
    n(static_cast<long long>(reinterpret_cast<std::uintptr_t>(e.objeto)) -
      static_cast<long long>(reinterpret_cast<std::uintptr_t>(&sim)));
  }
  n(sim.gerador.estado);
  return v;
}

std::unique_ptr<Simulacao> preparar(const std::string& modelo, std::uint32_t semente) {
  auto sim = std::make_unique<Simulacao>();
  ler_modelo_texto(*sim, modelo);
  zerar_estatisticas(*sim);
  semear(sim->gerador, semente);
  primeiras_chegadas(*sim);
  return sim;
}

// simular unlinks the head before its handler whenever no time can be NaN; that must leave
// exactly what handling each event with the head still linked leaves, ties, times earlier than
// the clock and lost durations included.
TEST(Simular, UnlinkingTheHeadFirstChangesNothing) {
  const std::string cauda = "F fim\n";
  const std::string modelos[] = {
      // Arrivals a million units apart: most services are lost to the clock's precision and
      // their completions go in front of the arrival being handled.
      "D 1e30\nN 3000\nE 2 f 1000000 1000001\ns 1\nE 2 g 1000000 1000001\ns 1\nF q\ns 1\n"
      "S 1 s 0.05 0\ne 1\ns 2\n" +
          cauda,
      // Equal times everywhere: two deterministic sources and a zero-length service.
      "D 60\nN 5000\nE 2 a 1 1\ns 1\nE 2 b 1 1\ns 1\nF q\ns 1\nS 2 s 0.5 0.5\ne 1\ns 2\n"
      "F r\ns 2\nS 2 t 0 0\ne 2\ns 3\n" +
          cauda,
      // Durations below zero schedule events before the clock.
      "D 40\nN 5000\nE 2 f -1 3\ns 1\nF q\ns 1\nS 2 s -0.5 1\ne 1\ns 2\nF r\ns 2\nS 1 t 0.3 0\n"
      "e 2\ns 3\n" +
          cauda,
      // A server feeding its own queue, and a tandem.
      "D 300\nN 5000\nE 1 f 1 0\ns 1\nF q\ns 1\nS 1 s 0.2 0\ne 1\ns 1\n" + cauda,
      "D 300\nN 5000\nE 1 f 1 0\ns 1\nF q1\ns 1\nS 1 a 0.8 0\ne 1\ns 2\nF q2\ns 2\nS 1 b 0.8 0\n"
      "e 2\ns 3\n" +
          cauda,
  };
  for (const std::string& modelo : modelos) {
    for (std::uint32_t semente = 1; semente <= 3; ++semente) {
      SCOPED_TRACE(modelo + " seed " + std::to_string(semente));
      auto rapido = preparar(modelo, semente);
      auto passo = preparar(modelo, semente);
      const int r = simular(*rapido);
      int r_passo;
      while ((r_passo = termino(*passo)) == 0) {
        if (!proximo_evento(*passo)) {
          r_passo = TERMINO_TEMPO;
          break;
        }
      }
      EXPECT_EQ(r, r_passo);
      EXPECT_GT(passo->Nfregues, 30);
      EXPECT_EQ(estado(*rapido), estado(*passo));
    }
  }
}

}  // namespace
}  // namespace tarvo
