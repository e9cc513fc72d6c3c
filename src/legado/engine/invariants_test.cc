// The checked run over many random networks, and the checks themselves caught in the act.
#include "legado/engine/invariants.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <limits>

#include "legado/check/random_network.h"
#include "legado/engine/handlers.h"
#include "legado/engine/run.h"
#include "legado/report/report.h"
#include "processo.h"

namespace tarvo {
namespace {

using teste::preparar;

// What a run leaves behind beyond its report, times as bits so that NaNs and signed zeros
// compare too.
std::string resumo(const Simulacao& sim, int termino) {
  std::string s = teste::capturar([&](std::FILE* f) {
    relatorio(sim, termino, f);
    std::fprintf(f, "%u %lld %lld %x %u:", std::bit_cast<std::uint32_t>(sim.Tsimul),
                 static_cast<long long>(sim.perdidos), static_cast<long long>(sim.sem_duracao),
                 std::bit_cast<std::uint32_t>(sim.Tsem_duracao), sim.gerador.estado);
    for (const Evento& e : copiar_eventos(sim.eventos)) {
      std::fprintf(f, " %x/%d/%td", std::bit_cast<std::uint32_t>(e.tev), e.tipo,
                   static_cast<const char*>(e.objeto) - reinterpret_cast<const char*>(&sim));
    }
  });
  return s;
}

struct Verificada {
  std::unique_ptr<Simulacao> sim;
  int r;  // the limit reached, or 0 after a reported failure
};

// Runs the model checked, then as tarvo runs it, which unlinks the head before handling it
// whenever no time can be NaN; both must end in the same state.
Verificada verificar_e_comparar(const std::string& modelo, std::uint32_t semente) {
  Verificada v{preparar(modelo, semente), 0};
  std::string violacao;
  v.r = simular_verificado(*v.sim, violacao);
  if (v.r == 0) {
    ADD_FAILURE() << "seed " << semente << ": " << violacao << "\n" << modelo;
    return v;
  }
  auto livre = preparar(modelo, semente);
  const int r_livre = simular(*livre);
  EXPECT_EQ(r_livre, v.r) << "seed " << semente;
  EXPECT_EQ(resumo(*livre, r_livre), resumo(*v.sim, v.r)) << "seed " << semente << "\n" << modelo;
  return v;
}

// Over a corpus of random networks, every event keeps every invariant, and a checked run ends
// exactly where an unchecked one does.
TEST(SimulacaoVerificada, HoldsOnRandomNetworks) {
  constexpr int kRedes = 1500;
  long long gerados = 0;
  int falhas = 0, com_perdidos = 0, com_fila = 0, por_tempo = 0, por_clientes = 0;
  unsigned vistas = 0;
  for (int semente = 1; semente <= kRedes && falhas < 5; ++semente) {
    const ModeloAleatorio m = rede_aleatoria(static_cast<std::uint64_t>(semente));
    vistas |= m.formas;
    const auto [sim, r] = verificar_e_comparar(m.texto, static_cast<std::uint32_t>(semente));
    falhas += r == 0;
    gerados += sim->Nfregues;
    com_perdidos += sim->perdidos > 0;
    for (int j = 1; j < sim->rede.nfilas; ++j) com_fila += sim->rede.filas[j].maximo > 1;
    por_tempo += r == TERMINO_TEMPO;
    por_clientes += r == TERMINO_CLIENTES;
  }
  // The corpus has to reach every shape, or the runs above prove less than they seem to.
  EXPECT_EQ(vistas, TODAS_AS_FORMAS);
  EXPECT_GT(com_perdidos, kRedes / 20);
  EXPECT_GT(com_fila, kRedes);
  EXPECT_GT(por_tempo, kRedes / 10);
  EXPECT_GT(por_clientes, kRedes / 10);
  EXPECT_GT(gerados, 50LL * kRedes);
}

// Durations lost to the clock far from time zero, which the random networks do not reach: the
// completions go in front of the arrival being handled.
TEST(SimulacaoVerificada, HoldsWhenDurationsAreLost) {
  for (std::uint32_t semente = 1; semente <= 3; ++semente) {
    const Verificada v = verificar_e_comparar(
        "D 1e30\nN 3000\nE 2 f 1000000 1000001\ns 1\nE 2 g 1000000 1000001\ns 1\nF q\ns 1\n"
        "S 1 s 0.05 0\ne 1\ns 2\nF fim\n",
        semente);
    EXPECT_GT(v.sim->sem_duracao, 1000) << v.sim->sem_duracao;
  }
}

// Each corruption of a run's state, made between two events, is reported.
TEST(VerificarInvariantes, CatchesCorruptedState) {
  const char* caixa =
      "D 1000\nN 500\nE 1 porta 5.0 0\ns 1\nF espera\ns 1\nS 2 caixa 2.0 6.0\ne 1\ns 2\nF fim\n";
  const struct {
    void (*estragar)(Simulacao&);
    const char* mensagem;
  } casos[] = {
      {[](Simulacao& s) { ++s.rede.filas[1].tam_ultimo; }, "tam_ultimo"},
      {[](Simulacao& s) {
         Fila& q = s.rede.filas[1];
         ++q.tamanho, ++q.tam_ultimo, ++q.maximo;
       },
       "gerados"},
      {[](Simulacao& s) { s.rede.filas[1].tamanho = s.rede.filas[1].tam_ultimo = -1; },
       "tamanho = -1"},
      {[](Simulacao& s) { s.rede.filas[1].maximo = s.rede.filas[1].tamanho - 1; }, "maximo"},
      {[](Simulacao& s) { s.rede.servidores[1].ocupado = 0; }, "ocupado = 0 com 1 conclusoes"},
      {[](Simulacao& s) { ++s.rede.fontes[1].gerados; }, "Nfregues"},
      {[](Simulacao& s) { primeiras_chegadas(s); }, "fonte 1 com 2 chegadas pendentes"},
  };
  for (const auto& c : casos) {
    auto sim = preparar(caixa, 7);
    // Until the queue holds customers and the server is busy, so that each corruption has
    // something to act on.
    while (sim->rede.filas[1].tamanho < 2) ASSERT_TRUE(proximo_evento(*sim));
    ASSERT_EQ(verificar_invariantes(*sim), "");
    c.estragar(*sim);
    EXPECT_NE(verificar_invariantes(*sim).find(c.mensagem), std::string::npos)
        << c.mensagem << ": " << verificar_invariantes(*sim);
  }
}

// The list before and after one event, against the tie rule: a new event goes before every
// pending one of equal or later time, after every earlier one, and the others keep their order.
TEST(VerificarAgendamento, HoldsTheTieRule) {
  Fonte f1, f2;
  Servidor s1, s2;
  auto F = [](Fonte& f, float t) { return Evento{t, EV_FONTE, &f}; };
  auto S = [](Servidor& s, float t) { return Evento{t, EV_SERVIDOR, &s}; };
  // f1's arrival at 1 is handled; its next arrival is due at 2, where s1 and f2 are already.
  const std::vector<Evento> antes = {F(f1, 1), S(s1, 2), F(f2, 2), S(s2, 5)};
  EXPECT_EQ(verificar_agendamento(antes, {F(f1, 2), S(s1, 2), F(f2, 2), S(s2, 5)}), "");
  EXPECT_EQ(verificar_agendamento(antes, {S(s1, 2), F(f2, 2), S(s2, 5), F(f1, 9)}), "");
  EXPECT_EQ(verificar_agendamento(antes, {F(f1, 0.5f), S(s1, 2), F(f2, 2), S(s2, 5)}), "");
  EXPECT_NE(verificar_agendamento(antes, {S(s1, 2), F(f1, 2), F(f2, 2), S(s2, 5)}), "")
      << "behind an older event of equal time";
  EXPECT_NE(verificar_agendamento(antes, {F(f1, 3), S(s1, 2), F(f2, 2), S(s2, 5)}), "")
      << "ahead of an earlier event";
  EXPECT_NE(verificar_agendamento(antes, {F(f1, 2), F(f2, 2), S(s1, 2), S(s2, 5)}), "")
      << "older events swapped";
  EXPECT_NE(verificar_agendamento(antes, {F(f1, 2), S(s1, 2), S(s2, 5)}), "") << "one lost";
  EXPECT_NE(verificar_agendamento(antes, {F(f1, 1), F(f1, 2), S(s1, 2), F(f2, 2), S(s2, 5)}), "")
      << "the handled event left behind";
  // s1's completion at 2 is handled: its customer starts s2 (scheduled first), then s1 starts
  // its next service (scheduled last, so first among equal times).
  EXPECT_EQ(verificar_agendamento({S(s1, 2), F(f1, 4)}, {S(s1, 4), S(s2, 4), F(f1, 4)}), "");
  EXPECT_NE(verificar_agendamento({S(s1, 2), F(f1, 4)}, {S(s2, 4), S(s1, 4), F(f1, 4)}), "");
  EXPECT_NE(verificar_agendamento({S(s1, 2)}, {S(s2, 3), F(f2, 3)}), "")
      << "two services started by one completion";
}

// The handled event is still pending when a new one is scheduled. Found by the fuzzer: a
// negative service time puts the completion before the handled arrival, and the NaN time after
// it once compared false.
TEST(VerificarAgendamento, CountsTheHandledEventAsPending) {
  Fonte f1, f2;
  Servidor s1;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<Evento> antes = {{1, EV_FONTE, &f1}, {nan, EV_FONTE, &f2}};
  EXPECT_EQ(verificar_agendamento(
                antes, {{0.5f, EV_SERVIDOR, &s1}, {nan, EV_FONTE, &f2}, {3, EV_FONTE, &f1}}),
            "");
  EXPECT_NE(verificar_agendamento(
                antes, {{nan, EV_FONTE, &f2}, {0.5f, EV_SERVIDOR, &s1}, {3, EV_FONTE, &f1}}),
            "");
}

}  // namespace
}  // namespace tarvo
