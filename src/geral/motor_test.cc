// The extended engine through the model the driver sees: runs worked out by hand, the end rules,
// the warm-up, the tie rule, and each object's draws kept apart from the others'.
#include "geral/motor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "app/geral.h"
#include "model/failure.h"

namespace tarvo::geral {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

Distribuicao det(double v) {
  Distribuicao d;
  d.tipo = Dist::deterministica;
  d.valor = v;
  return d;
}

Distribuicao exponencial(double media) {
  Distribuicao d;
  d.media = media;
  return d;
}

// One source into one station, whose served customers leave.
Rede uma_estacao(Distribuicao chegada, Distribuicao servico) {
  Rede r;
  r.fontes.push_back({"porta", chegada, {{0, 1}}});
  Estacao e;
  e.nome = "caixa";
  e.servico = servico;
  r.estacoes.push_back(e);
  return r;
}

// A figure by tipo and figura ("rede.saidas"), or of the station when no tipo is given.
double figura(const Modelo& m, const Replicacao& r, const std::string& nome) {
  const std::size_t ponto = nome.find('.');
  const std::string tipo = ponto == std::string::npos ? "estacao" : nome.substr(0, ponto);
  const std::string fig = ponto == std::string::npos ? nome : nome.substr(ponto + 1);
  for (std::size_t f = 0; f < m.figuras().size(); ++f) {
    if (m.figuras()[f].tipo == tipo && m.figuras()[f].figura == fig) return r.valores[f];
  }
  ADD_FAILURE() << "no figure " << nome;
  return 0;
}

struct Caso {
  const char* nome;
  std::function<Rede()> rede;
  double aquecimento;
  std::vector<std::pair<const char*, double>> figuras;
};

// Deterministic times: arrivals every unit from time 1. "B": one server, capacity 2, services
// of 2.5. Customer 1 is served 1 to 3.5; 2 waits 2 to 3.5 and is served to 6; 3 is lost; 4
// waits 4 to 6 and is served to 8.5; at 6 the completion, scheduled at 3.5, goes before the
// arrival scheduled at 5, so 6 finds room and waits to 8.5; 5, 7 and 8 are lost; 9 waits from 9;
// 10 is lost. Sojourns 2.5, 4 and 4.5; waits 0, 1.5, 2, 2.5.
Rede rede_b() {
  Rede r = uma_estacao(det(1), det(2.5));
  r.estacoes[0].capacidade = 2;
  r.tempo = 10;
  return r;
}

const Caso casos[] = {
    {"A: no queue; the arrival at 10 is handled, its completion at 10.5 is not",
     [] {
       Rede r = uma_estacao(det(1), det(0.5));
       r.tempo = 10;
       return r;
     },
     0,
     {{"chegadas", 10},
      {"perdidos", 0},
      {"prob_perda", 0},
      {"vazao", 0.9},
      {"utilizacao", 0.45},
      {"fila_media", 0},
      {"sistema_medio", 0.45},
      {"espera_media", 0},
      {"permanencia_media", 0.5},
      {"fila_maxima", 0},
      {"fonte.gerados", 10},
      {"rede.saidas", 9},
      {"rede.permanencia_media", 0.5},
      {"rede.permanencia_p50", 0.5},
      {"rede.permanencia_p99", 0.5},
      {"rede.tempo_final", 10}}},
    {"B: capacity 2 and the tie at 6",
     rede_b,
     0,
     {{"chegadas", 10},
      {"perdidos", 5},
      {"prob_perda", 0.5},
      {"vazao", 0.3},
      {"utilizacao", 0.9},
      {"fila_media", 0.7},
      {"sistema_medio", 1.6},
      {"espera_media", 1.5},
      {"permanencia_media", 11.0 / 3},
      {"fila_maxima", 1},
      {"fonte.gerados", 10},
      {"rede.saidas", 3},
      {"rede.permanencia_media", 11.0 / 3},
      {"rede.permanencia_p50", 4},
      {"rede.permanencia_p90", 4.5},
      {"rede.permanencia_p95", 4.5},
      {"rede.permanencia_p99", 4.5},
      {"rede.tempo_final", 10}}},
    // From 4.5 on (5.5 units): customer 4 waiting since 4 and 2 in service carry on; the queue
    // holds one over [4.5, 6], [6, 8.5] and [9, 10]; the server is never idle.
    {"B with a warm-up of 4.5",
     rede_b,
     4.5,
     {{"chegadas", 6},
      {"perdidos", 4},
      {"prob_perda", 4.0 / 6},
      {"vazao", 2 / 5.5},
      {"utilizacao", 1},
      {"fila_media", 5 / 5.5},
      {"sistema_medio", (5 + 5.5) / 5.5},
      {"espera_media", 2.25},
      {"permanencia_media", 4.25},
      {"fila_maxima", 1},
      {"fonte.gerados", 6},
      {"rede.saidas", 2},
      {"rede.permanencia_media", 4.25},
      {"rede.permanencia_p50", 4},
      {"rede.permanencia_p90", 4.5},
      {"rede.tempo_final", 10}}},
    {"B ended by its 4th customer, at 4",
     [] {
       Rede r = rede_b();
       r.fregueses = 4;
       return r;
     },
     0,
     {{"chegadas", 4},
      {"perdidos", 1},
      {"prob_perda", 0.25},
      {"vazao", 0.25},
      {"utilizacao", 0.75},
      {"fila_media", 0.375},
      {"sistema_medio", 1.125},
      {"espera_media", 0.75},
      {"permanencia_media", 2.5},
      {"fonte.gerados", 4},
      {"rede.saidas", 1},
      {"rede.permanencia_p95", 2.5},
      {"rede.tempo_final", 4}}},
    // In service at t: those arrived in (t - 2.5, t]; the integral to 10 is 7 * 2.5 + 2 + 1.
    {"infinitely many servers",
     [] {
       Rede r = uma_estacao(det(1), det(2.5));
       r.estacoes[0].infinitos = true;
       r.tempo = 10;
       return r;
     },
     0,
     {{"chegadas", 10},
      {"vazao", 0.7},
      {"utilizacao", 2.05},
      {"fila_media", 0},
      {"sistema_medio", 2.05},
      {"espera_media", 0},
      {"permanencia_media", 2.5},
      {"fila_maxima", 0},
      {"rede.saidas", 7},
      {"rede.permanencia_p50", 2.5}}},
    {"a source whose customers all leave at once",
     [] {
       Rede r = uma_estacao(det(1), det(2.5));
       r.fontes[0].rota = {{0, 0}};
       r.tempo = 10;
       return r;
     },
     0,
     {{"chegadas", 0},
      {"prob_perda", nan},
      {"vazao", 0},
      {"utilizacao", 0},
      {"espera_media", nan},
      {"permanencia_media", nan},
      {"fonte.gerados", 10},
      {"rede.saidas", 10},
      {"rede.permanencia_media", 0},
      {"rede.permanencia_p99", 0}}},
    {"a run that ends before its warm-up measures nothing",
     [] {
       Rede r = uma_estacao(det(1), det(0.5));
       r.tempo = 10;
       return r;
     },
     20,
     {{"chegadas", nan},
      {"vazao", nan},
      {"fila_maxima", nan},
      {"fonte.gerados", nan},
      {"rede.saidas", nan},
      {"rede.permanencia_p50", nan},
      {"rede.tempo_final", 10}}},
};

TEST(MotorGeral, RunsWorkedOutByHand) {
  for (const Caso& c : casos) {
    const auto m = modelo_geral(c.rede(), "");
    const Replicacao r = m->rodar(Plano{1, 1}, 0, c.aquecimento);
    EXPECT_EQ(r.sorteios, 0u) << c.nome;
    for (const auto& [nome, esperado] : c.figuras) {
      const double v = figura(*m, r, nome);
      if (std::isnan(esperado)) {
        EXPECT_TRUE(std::isnan(v)) << c.nome << ": " << nome << " = " << v;
      } else {
        EXPECT_EQ(v, esperado) << c.nome << ": " << nome;
      }
    }
  }
}

// A source, a station routing 0.8 of its customers to a second, and that one sending 0.3 back
// to itself: each object draws from streams of its own.
Rede duas_estacoes() {
  Rede r;
  r.tempo = 2000;
  r.fontes.push_back({"porta", exponencial(1), {{0, 1}}});
  Estacao a, b;
  a.nome = "a";
  a.servico = exponencial(0.5);
  a.rota = {{1, 0.8}};
  b.nome = "b";
  b.servidores = 2;
  b.servico = exponencial(1.2);
  b.rota = {{1, 0.3}};
  r.estacoes = {a, b};
  return r;
}

TEST(MotorGeral, ChangingOneObjectLeavesTheOthersDrawsAlone) {
  const auto base = modelo_geral(duas_estacoes(), "");
  const Replicacao r0 = base->rodar(Plano{9, 4}, 2, 0);
  std::vector<std::function<void(Rede&)>> mudancas = {
      [](Rede& r) { r.estacoes[1].servico.media = 0.9; },
      [](Rede& r) { r.estacoes[1].servico = det(0.7); },
      [](Rede& r) {
        r.estacoes[1].rota = {{1, 0.5}};
      },
      [](Rede& r) { r.estacoes[1].capacidade = 3; },
  };
  for (std::size_t k = 0; k < mudancas.size(); ++k) {
    Rede rede = duas_estacoes();
    mudancas[k](rede);
    const auto m = modelo_geral(rede, "");
    const Replicacao r = m->rodar(Plano{9, 4}, 2, 0);
    for (std::size_t f = 0; f < r.valores.size(); ++f) {
      const IdFigura& id = m->figuras()[f];
      if (id.tipo == "fonte" || id.numero == 1) {
        EXPECT_EQ(r.valores[f], r0.valores[f]) << k << " " << id.nome << " " << id.figura;
      }
    }
    EXPECT_NE(figura(*m, r, "rede.permanencia_media"), figura(*base, r0, "rede.permanencia_media"));
  }
}

TEST(MotorGeral, ReplicationsAreReproducibleAndApart) {
  const auto m = modelo_geral(duas_estacoes(), "");
  const Plano plano{5, 3};
  EXPECT_EQ(m->sorteios_por_replicacao(plano), 0u);  // streams of their own: nothing to run into
  const Replicacao a = m->rodar(plano, 2, 0), b = m->rodar(plano, 2, 0), c = m->rodar(plano, 1, 0);
  EXPECT_EQ(a.valores, b.valores);
  EXPECT_NE(a.valores, c.valores);
  EXPECT_EQ(a.semente, chave_replicacao(5, 2));
  EXPECT_EQ(m->rodar(Plano{5, 1000}, 2, 0).valores, a.valores);  // whatever the plan's maximum
  // A source of exponential intervals limited to 10 customers draws 11 intervals, two outputs
  // each; the deterministic station and the certain route draw nothing.
  Rede r = uma_estacao(exponencial(1), det(0.1));
  r.fregueses = 10;
  EXPECT_EQ(modelo_geral(r, "")->rodar(plano, 0, 0).sorteios, 22u);
}

TEST(MotorGeral, RefusesNetworksItCannotRunOrEnd) {
  auto recusa = [](const Rede& r) {
    try {
      modelo_geral(r, "");
    } catch (const Falha& f) {
      return f.texto;
    }
    return std::string();
  };
  Rede r = uma_estacao(det(0), det(1));
  EXPECT_EQ(recusa(r), "Sem limite de tempo nem de fregueses\n");
  r.tempo = 5;
  EXPECT_EQ(recusa(r), "A simulacao nao termina: a fonte porta gera fregueses sem intervalo\n");
  r.fregueses = 5;
  EXPECT_EQ(recusa(r), "");
  r.fontes[0].rota = {{1, 0.5}};
  EXPECT_EQ(recusa(r), "Rota para uma estacao que nao existe (1)\n");
  r.fontes[0].rota = {{0, 0.7}, {0, 0.7}};
  EXPECT_EQ(recusa(r), "Probabilidades de uma rota somam mais que 1\n");
}

}  // namespace
}  // namespace tarvo::geral
