// The checked run over many random networks, and the checks themselves caught in the act.
#include "engine/invariants.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "engine/handlers.h"
#include "engine/run.h"
#include "input/loader.h"
#include "random_network.h"
#include "report/report.h"

namespace tarvo {
namespace {

using teste::ModeloAleatorio;
using teste::rede_aleatoria;

constexpr char kCaixa[] =
    "D 1000\nN 500\nE 1 porta 5.0 0\ns 1\nF espera\ns 1\nS 2 caixa 2.0 6.0\ne 1\ns 2\nF fim\n";

std::unique_ptr<Simulacao> preparar(const std::string& texto, std::uint32_t semente) {
  auto sim = std::make_unique<Simulacao>();
  ler_modelo_texto(*sim, texto);
  zerar_estatisticas(*sim);
  semear(sim->gerador, semente);
  primeiras_chegadas(*sim);
  return sim;
}

std::string relatorio_em_texto(const Simulacao& sim, int termino) {
  char* buf = nullptr;
  std::size_t n = 0;
  std::FILE* f = open_memstream(&buf, &n);
  relatorio(sim, termino, f);
  std::fclose(f);
  std::string s(buf, n);
  std::free(buf);
  return s;
}

// Over a corpus of random networks, every event keeps every invariant, and a checked run ends
// exactly where an unchecked one does, with the same report.
TEST(SimulacaoVerificada, HoldsOnRandomNetworks) {
  constexpr int kRedes = 1500;
  int falhas = 0;
  long long gerados = 0;
  int com_perdidos = 0, com_fila = 0, por_tempo = 0, por_clientes = 0;
  teste::Formato visto;
  for (int semente = 1; semente <= kRedes && falhas < 5; ++semente) {
    const ModeloAleatorio m = rede_aleatoria(static_cast<std::uint64_t>(semente));
    const teste::Formato& f = m.formato;
    visto.fusao |= f.fusao;
    visto.tandem |= f.tandem;
    visto.realimentacao |= f.realimentacao;
    visto.fonte_sem_saida |= f.fonte_sem_saida;
    visto.servidor_sem_saida |= f.servidor_sem_saida;
    visto.servidor_sem_entrada |= f.servidor_sem_entrada;
    visto.entrada_trocada |= f.entrada_trocada;
    visto.deterministico |= f.deterministico;
    visto.negativo |= f.negativo;
    visto.tabelas_cheias |= f.tabelas_cheias;

    std::unique_ptr<Simulacao> sim;
    try {
      sim = preparar(m.texto, static_cast<std::uint32_t>(semente));
    } catch (const Falha& e) {
      ADD_FAILURE() << "seed " << semente << ": the model does not load: " << e.texto << "\n"
                    << m.texto;
      ++falhas;
      continue;
    }
    std::string violacao;
    const int r = simular_verificado(*sim, violacao);
    if (r == 0) {
      ADD_FAILURE() << "seed " << semente << ": " << violacao << "\n" << m.texto;
      ++falhas;
      continue;
    }
    gerados += sim->Nfregues;
    com_perdidos += sim->perdidos > 0;
    for (int j = 1; j < sim->rede.nfilas; ++j) com_fila += sim->rede.filas[j].maximo > 1;
    por_tempo += r == TERMINO_TEMPO;
    por_clientes += r == TERMINO_CLIENTES;

    if (semente % 10 == 0) {
      auto livre = preparar(m.texto, static_cast<std::uint32_t>(semente));
      const int r_livre = simular(*livre);
      EXPECT_EQ(r_livre, r) << "seed " << semente;
      EXPECT_EQ(relatorio_em_texto(*livre, r_livre), relatorio_em_texto(*sim, r))
          << "seed " << semente << "\n"
          << m.texto;
    }
  }
  // The corpus has to reach every shape, or the runs above prove less than they seem to.
  EXPECT_TRUE(visto.fusao && visto.tandem && visto.realimentacao && visto.fonte_sem_saida &&
              visto.servidor_sem_saida && visto.servidor_sem_entrada && visto.entrada_trocada &&
              visto.deterministico && visto.negativo && visto.tabelas_cheias);
  EXPECT_GT(com_perdidos, kRedes / 20);
  EXPECT_GT(com_fila, kRedes);
  EXPECT_GT(por_tempo, kRedes / 10);
  EXPECT_GT(por_clientes, kRedes / 10);
  EXPECT_GT(gerados, 50LL * kRedes);
}

// Each corruption of a run's state, made between two events, is reported.
TEST(VerificarInvariantes, CatchesCorruptedState) {
  struct Caso {
    const char* nome;
    void (*estragar)(Simulacao&);
    const char* mensagem;
  };
  const Caso casos[] = {
      {"tam_ultimo out of step", [](Simulacao& s) { ++s.rede.filas[1].tam_ultimo; }, "tam_ultimo"},
      {"a customer from nowhere",
       [](Simulacao& s) {
         Fila& q = s.rede.filas[1];
         ++q.tamanho, ++q.tam_ultimo, ++q.maximo;
       },
       "gerados"},
      {"a customer vanished",
       [](Simulacao& s) {
         Fila& q = s.rede.filas[1];
         --q.tamanho, --q.tam_ultimo;
       },
       "gerados"},
      {"a customer lost unseen", [](Simulacao& s) { ++s.perdidos; }, "gerados"},
      {"a negative length",
       [](Simulacao& s) {
         Fila& q = s.rede.filas[1];
         q.tamanho = q.tam_ultimo = -1;
       },
       "tamanho = -1"},
      {"a maximum below the length",
       [](Simulacao& s) { s.rede.filas[1].maximo = s.rede.filas[1].tamanho - 1; }, "maximo"},
      {"a busy flag of 2", [](Simulacao& s) { s.rede.servidores[1].ocupado = 2; }, "ocupado = 2"},
      {"an idle server with its completion pending",
       [](Simulacao& s) { s.rede.servidores[1].ocupado = 0; }, "ocupado = 0 com 1 conclusoes"},
      {"an arrival not counted in Nfregues", [](Simulacao& s) { ++s.rede.fontes[1].gerados; },
       "Nfregues"},
      {"a second arrival per source", [](Simulacao& s) { primeiras_chegadas(s); },
       "fonte 1 com 2 chegadas pendentes"},
  };
  for (const Caso& c : casos) {
    auto sim = preparar(kCaixa, 7);
    // Run until the queue holds customers and the server is busy, so that every corruption
    // has something to act on.
    while (sim->rede.filas[1].tamanho < 2) ASSERT_TRUE(proximo_evento(*sim));
    ASSERT_EQ(verificar_invariantes(*sim), "");
    c.estragar(*sim);
    EXPECT_NE(verificar_invariantes(*sim).find(c.mensagem), std::string::npos)
        << c.nome << ": " << verificar_invariantes(*sim);
  }

  auto sim = preparar(kCaixa, 7);
  primeiras_chegadas(*sim);
  std::string violacao;
  EXPECT_EQ(simular_verificado(*sim, violacao), 0);
  EXPECT_EQ(violacao, "antes do primeiro evento: fonte 1 com 2 chegadas pendentes");
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
  EXPECT_EQ(verificar_agendamento(antes, {S(s1, 2), F(f2, 2), F(f1, 3), S(s2, 5)}), "");
  EXPECT_EQ(verificar_agendamento(antes, {S(s1, 2), F(f2, 2), S(s2, 5), F(f1, 9)}), "");
  EXPECT_EQ(verificar_agendamento(antes, {F(f1, 0.5f), S(s1, 2), F(f2, 2), S(s2, 5)}), "");

  EXPECT_NE(verificar_agendamento(antes, {S(s1, 2), F(f1, 2), F(f2, 2), S(s2, 5)}), "")
      << "behind an older event of equal time";
  EXPECT_NE(verificar_agendamento(antes, {S(s1, 2), F(f2, 2), S(s2, 5), F(f1, 3)}), "")
      << "behind a later event";
  EXPECT_NE(verificar_agendamento(antes, {F(f1, 3), S(s1, 2), F(f2, 2), S(s2, 5)}), "")
      << "ahead of an earlier event";
  EXPECT_NE(verificar_agendamento(antes, {F(f1, 2), F(f2, 2), S(s1, 2), S(s2, 5)}), "")
      << "older events swapped";
  EXPECT_NE(verificar_agendamento(antes, {F(f1, 2), S(s1, 2), S(s2, 5)}), "") << "one lost";
  EXPECT_NE(verificar_agendamento(antes, {F(f1, 2), S(s1, 2), F(f2, 3), S(s2, 5)}), "")
      << "an older event moved in time";
  EXPECT_NE(verificar_agendamento(antes, {F(f1, 1), F(f1, 2), S(s1, 2), F(f2, 2), S(s2, 5)}), "")
      << "the handled event left behind";

  // s1's completion at 2 is handled: its customer starts s2 (scheduled first), then s1 starts
  // its next service (scheduled last, so first among equal times).
  const std::vector<Evento> antes2 = {S(s1, 2), F(f1, 4)};
  EXPECT_EQ(verificar_agendamento(antes2, {S(s1, 4), S(s2, 4), F(f1, 4)}), "");
  EXPECT_EQ(verificar_agendamento(antes2, {S(s2, 3), S(s1, 4), F(f1, 4)}), "");
  EXPECT_NE(verificar_agendamento(antes2, {S(s2, 4), S(s1, 4), F(f1, 4)}), "");
  EXPECT_NE(verificar_agendamento(antes2, {S(s2, 3), S(s1, 3), F(f1, 4)}), "");
  EXPECT_NE(verificar_agendamento(antes2, {S(s1, 3), F(f1, 4), S(s2, 4)}), "");
  EXPECT_NE(verificar_agendamento({S(s1, 2)}, {S(s2, 3), F(f2, 3)}), "")
      << "two services started by one completion";
}

}  // namespace
}  // namespace tarvo
