// The engine's path for classes on runs worked out by hand: each discipline, a closed class, and
// FIFO with classes giving what the path of one class gives.
#include "geral/classes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "comum/failure.h"
#include "geral/adaptador.h"

namespace tarvo::geral {
namespace {

Distribuicao det(double v) {
  Distribuicao d;
  d.tipo = Dist::deterministica;
  d.valor = v;
  return d;
}

// One station of one server, deterministic services of s, in discipline d; tempo t.
Rede estacao(double s, Disciplina d, double t) {
  Rede r;
  r.tempo = t;
  Estacao e;
  e.nome = "posto";
  e.servico = det(s);
  e.disciplina = d;
  r.estacoes.push_back(e);
  return r;
}

// A figure of the model, of one class or ("") of all.
double figura(const Modelo& m, const Replicacao& r, const std::string& tipo,
              const std::string& nome, const std::string& classe = "") {
  for (std::size_t f = 0; f < m.figuras().size(); ++f) {
    const IdFigura& id = m.figuras()[f];
    if (id.tipo == tipo && id.figura == nome && id.classe == classe) return r.valores[f];
  }
  ADD_FAILURE() << "no figure " << tipo << "." << nome << " " << classe;
  return 0;
}

struct Esperado {
  std::string tipo, figura, classe;
  double valor;
};

struct Caso {
  std::string nome;
  Rede rede;
  std::vector<Esperado> figuras;
};

std::vector<Caso> casos() {
  std::vector<Caso> v;
  {
    // Arrivals every 1 from 1, services of 2.5. Services start at 1 (c1), 3.5 (c3, the last
    // waiting), 6 (the completion, scheduled first, goes before the arrival of c6: c5) and 8.5
    // (c8): waits 0, 0.5, 1 and 0.5; 3 completions by 10.
    Rede r = estacao(2.5, Disciplina::lifo, 10);
    r.fontes.push_back({"porta", det(1), {{0, 1}}});
    v.push_back({"lifo",
                 r,
                 {{"estacao", "espera_media", "", 0.5},
                  {"estacao", "prob_espera", "", 0.75},
                  {"estacao", "vazao", "", 0.3},
                  {"estacao", "fila_maxima", "", 6}}});
  }
  {
    // Arrivals every 5 from 5, services of 6 shared on one server. By 10 c1 has 5 done; shared
    // at half the rate it ends at 12, after 7; c2, 1 done then, is alone to 14. The station
    // holds 1 over [5, 10) and [12, 14], 2 over [10, 12): 11 / 14; a server busy from 5.
    Rede r = estacao(6, Disciplina::ps, 14);
    r.fontes.push_back({"porta", det(5), {{0, 1}}});
    v.push_back({"processor sharing",
                 r,
                 {{"estacao", "permanencia_media", "", 7},
                  {"estacao", "sistema_medio", "", 11.0 / 14},
                  {"estacao", "fila_media", "", 0},
                  {"estacao", "utilizacao", "", 9.0 / 14},
                  {"estacao", "espera_media", "", 0},
                  {"estacao", "vazao", "", 1.0 / 14}}});
  }
  // Two classes: "baixa" arrives every 2 from 2, "alta" (served first) every 3 from 3; services
  // of 1.5, one server, tempo 10. Without preemption: b1 at 2; a1 waits 3 to 3.5; b2 4 to 5; at
  // 6 a2 then b3 arrive (a2's arrival was scheduled first); a2 waits to 6.5; at 8 b4 arrives
  // before the completion (scheduled at 6.5) and b3 waits 6 to 8; a3 waits 9 to 9.5. Waits:
  // alta 0.5, 0.5, 0.5; baixa 0, 1, 2.
  // With preemption: a1 preempts b1 at 3 (0.5 left), b1 resumes at 4.5 and ends at 5; b2 waits
  // 4 to 5 and is preempted by a2 at 6, resuming at 7.5 to 8; b3 waits 6 to 8 and is preempted
  // at 9. Waits: alta 0, 0, 0; baixa 0, 1, 2. Done by 10: a1 (3 to 4.5), a2 (6 to 7.5), b1 (2
  // to 5), b2 (4 to 8).
  for (Disciplina d : {Disciplina::prioridade, Disciplina::prioridade_preemptiva}) {
    Rede r = estacao(1.5, d, 10);
    r.classes = {{"alta", 0, std::nullopt, -1}, {"baixa", 1, std::nullopt, -1}};
    r.fontes.push_back({"urgencia", det(3), {{0, 1}}, 0});
    r.fontes.push_back({"rotina", det(2), {{0, 1}}, 1});
    const bool pre = d == Disciplina::prioridade_preemptiva;
    std::vector<Esperado> f = {{"estacao", "espera_media", "alta", pre ? 0 : 0.5},
                               {"estacao", "espera_media", "baixa", 1},
                               {"estacao", "espera_media", "", pre ? 0.5 : 0.75},
                               {"estacao", "chegadas", "baixa", 5},
                               {"estacao", "chegadas", "", 8}};
    if (pre) {
      f.insert(f.end(), {{"estacao", "permanencia_media", "alta", 1.5},
                         {"estacao", "permanencia_media", "baixa", 3.5},
                         {"estacao", "vazao", "", 0.4},
                         {"rede", "permanencia_media", "baixa", 3.5}});
    }
    v.push_back({pre ? "preemptive priority" : "priority", r, f});
  }
  {
    // A closed class of 2 at a station of one server, services of 1, back to the station: they
    // take turns, each passing every 2; 10 passages by 10, 8 cycles of 2; 11 services started
    // by 10, every one but the first after a wait of 1.
    Rede r = estacao(1, Disciplina::fifo, 10);
    r.classes = {{"terminais", 0, 2, 0}};
    r.estacoes[0].rota = {{0, 1}};
    v.push_back({"closed class",
                 r,
                 {{"classe", "ciclo", "", 2},
                  {"classe", "vazao", "", 1},
                  {"estacao", "espera_media", "terminais", 10.0 / 11},
                  {"estacao", "utilizacao", "", 1}}});
  }
  {
    // A day's service. One server, services of 10 (c1 from 1 to 11), arrivals every 1 from 1,
    // until 7.9. With a patience of 2.5, c2 to c5 give up at 4.5, 5.5, 6.5 and 7.5, c6 and c7
    // still wait: 2 or 3 waiting from 3 on, 1 over [2, 3): 12.8 in all. Served within 0, c1 of
    // the 5 who came to be served.
    Rede r = estacao(10, Disciplina::fifo, 7.9);
    r.fontes.push_back({"porta", det(1), {{0, 1}}});
    r.estacoes[0].paciencia = det(2.5);
    r.estacoes[0].limiar = 0;
    v.push_back({"impatience",
                 r,
                 {{"estacao", "abandonos", "", 4},
                  {"estacao", "prob_abandono", "", 4.0 / 7},
                  {"estacao", "nivel_servico", "", 0.2},
                  {"estacao", "fila_maxima", "", 3},
                  {"estacao", "fila_media", "", 12.8 / 7.9}}});
    // Joining a queue of one never: c2 waits, c3 to c7 balk; c1 of 6 served within 0.
    r.estacoes[0].paciencia.reset();
    r.estacoes[0].desistencia = {1, 0};
    v.push_back({"balking",
                 r,
                 {{"estacao", "desistencias", "", 5},
                  {"estacao", "prob_desistencia", "", 5.0 / 7},
                  {"estacao", "nivel_servico", "", 1.0 / 6},
                  {"estacao", "fila_maxima", "", 1}}});
  }
  {
    // Blocking after service: arrivals every 1 from 1 at "a" (services of 0.5), then "b" (room
    // for 1, services of 3), until 6.9. c1 is at b from 1.5 to 4.5; c2, done at a at 2.5, holds
    // a's server until 4.5, when it enters b; c3 waits at a from 3 to 4.5, and is done and held
    // from 5. a's server blocked for 2 + 1.9, serving for 1.5; c1 and c2 left a after 0.5 and
    // 2.5. At a: c1 0.5, c2 2.5, c3 3.9, c4 2.9, c5 1.9, c6 0.9.
    Rede r = estacao(0.5, Disciplina::fifo, 6.9);
    r.estacoes[0].nome = "a";
    r.estacoes[0].rota = {{1, 1}};
    Estacao b = r.estacoes[0];
    b.nome = "b";
    b.servico = det(3);
    b.capacidade = 1;
    b.bloqueia = true;
    b.rota = {};
    r.estacoes.push_back(b);
    r.fontes.push_back({"porta", det(1), {{0, 1}}});
    v.push_back({"blocking",
                 r,
                 {{"estacao", "bloqueio", "", 3.9 / 6.9},
                  {"estacao", "utilizacao", "", 1.5 / 6.9},
                  {"estacao", "permanencia_media", "", 1.5},
                  {"estacao", "sistema_medio", "", 12.6 / 6.9}}});
  }
  {
    // Shifts: 2 servers, 1 from 3; services of 4, arrivals every 1 from 1, until 9.5. c1 and c2
    // finish at 5 and 6, past the change; c3, waiting from 3, starts only at 6. Servers on
    // shift 2 * 3 + 6.5; busy 11.5 of them.
    Rede r = estacao(4, Disciplina::fifo, 9.5);
    r.fontes.push_back({"porta", det(1), {{0, 1}}});
    r.estacoes[0].turnos = PorHorario<int>{10, {{0, 2}, {3, 1}}};
    v.push_back({"shifts",
                 r,
                 {{"estacao", "servidores_medio", "", 12.5 / 9.5},
                  {"estacao", "utilizacao", "", 11.5 / 12.5},
                  {"estacao", "espera_media", "", 1},
                  {"estacao", "fila_maxima", "", 6}}});
  }
  {
    // Batches of 3 at 1 and 2, each customer on its own.
    Rede r = estacao(0.5, Disciplina::fifo, 2.5);
    r.estacoes[0].infinitos = true;
    r.fontes.push_back({"porta", det(1), {{0, 1}}});
    r.fontes[0].lote = det(3);
    v.push_back(
        {"batches",
         r,
         {{"fonte", "gerados", "", 6}, {"estacao", "chegadas", "", 6}, {"rede", "saidas", "", 6}}});
  }
  return v;
}

TEST(Classes, RunsWorkedOutByHand) {
  for (const Caso& c : casos()) {
    SCOPED_TRACE(c.nome);
    const auto m = modelo_geral(c.rede, "");
    const Replicacao r = m->rodar(Plano{1, 1}, 0, 0, nullptr);
    for (const Esperado& e : c.figuras) {
      EXPECT_NEAR(figura(*m, r, e.tipo, e.figura, e.classe), e.valor, 1e-12)
          << e.tipo << "." << e.figura << " " << e.classe;
    }
  }
}

// FIFO with a class declared takes the engine's path for classes: with deterministic times (no
// stream to tell the paths apart) it gives every figure the path of one class gives.
TEST(Classes, FifoWithAClassIsFifo) {
  Rede uma = estacao(2.5, Disciplina::fifo, 10);
  uma.fontes.push_back({"porta", det(1), {{0, 1}}});
  uma.estacoes[0].capacidade = 3;
  Rede com = uma;
  com.classes = {{"todos", 0, std::nullopt, -1}};
  const auto a = modelo_geral(uma, ""), b = modelo_geral(com, "");
  const Replicacao ra = a->rodar(Plano{1, 1}, 0, 0, nullptr),
                   rb = b->rodar(Plano{1, 1}, 0, 0, nullptr);
  for (std::size_t f = 0; f < a->figuras().size(); ++f) {
    const IdFigura& id = a->figuras()[f];
    const double x = ra.valores[f], y = figura(*b, rb, id.tipo, id.figura);
    EXPECT_TRUE(x == y || (std::isnan(x) && std::isnan(y))) << id.tipo << "." << id.figura;
    // And the one class's figures are the whole's.
    if (id.tipo == "estacao") {
      const double z = figura(*b, rb, id.tipo, id.figura, "todos");
      EXPECT_TRUE(x == z || (std::isnan(x) && std::isnan(z))) << id.figura;
    }
  }
}

}  // namespace
}  // namespace tarvo::geral

namespace tarvo::geral {
namespace {

// Two full stations that send to each other: from 1 every 1, c1 at x to 2 (c2 lost), at y to
// 3.5, then held there, x full with c3; c3, done at 4, is held at x. The run stops, naming them.
TEST(Dia, DeadlockIsNamed) {
  Rede r = estacao(1, Disciplina::fifo, 100);
  r.estacoes[0].nome = "x";
  r.estacoes[0].capacidade = 1;
  r.estacoes[0].bloqueia = true;
  r.estacoes[0].rota = {{1, 1}};
  Estacao y = r.estacoes[0];
  y.nome = "y";
  y.servico = det(1.5);
  y.rota = {{0, 1}};
  r.estacoes.push_back(y);
  r.fontes.push_back({"porta", det(1), {{0, 1}}});
  const auto m = modelo_geral(r, "");
  try {
    m->rodar(Plano{1, 1}, 0, 0, nullptr);
    ADD_FAILURE() << "no deadlock";
  } catch (const Falha& f) {
    EXPECT_NE(f.texto.find("Impasse no tempo 4: as estacoes x, y"), std::string::npos) << f.texto;
  }
}

// Arrivals at 5 per unit over [0, 4), none over [4, 6), 20 over [6, 10), every 10: by the hour,
// none at all where the rate is 0, and each stretch's count within 4 standard deviations of
// what its integrated rate expects (Poisson: the variance is the mean). The hours add up to
// the whole run.
TEST(Dia, ArrivalsFollowTheIntegratedRate) {
  Rede r = estacao(0.01, Disciplina::fifo, 1000);
  r.estacoes[0].infinitos = true;
  r.janela = 1;
  Fonte f{"porta", {}, {{0, 1}}};
  f.taxa = PorHorario<double>{10, {{0, 5}, {4, 0}, {6, 20}}};
  r.fontes.push_back(f);
  const RedePronta pronta = preparar_rede(r);
  Corrida c(pronta, 7, 0, 0);
  rodar(c);
  ASSERT_EQ(c.classes->janelas.size(), 1000u);
  std::int64_t por_fase[10] = {}, chegadas = 0;
  for (std::size_t w = 0; w < 1000; ++w) {
    const Janela& j = c.classes->janelas[w];
    ASSERT_TRUE(j.medida);
    por_fase[w % 10] += j.gerados[0];
    chegadas += j.estacoes[0].chegadas;
  }
  EXPECT_EQ(chegadas, c.estacoes[0].chegadas);
  EXPECT_EQ(por_fase[4] + por_fase[5], 0);
  const double baixa = static_cast<double>(por_fase[0] + por_fase[1] + por_fase[2] + por_fase[3]);
  const double alta = static_cast<double>(por_fase[6] + por_fase[7] + por_fase[8] + por_fase[9]);
  EXPECT_NEAR(baixa, 2000, 4 * std::sqrt(2000.0));
  EXPECT_NEAR(alta, 8000, 4 * std::sqrt(8000.0));
}

}  // namespace
}  // namespace tarvo::geral
