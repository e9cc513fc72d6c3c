// The engine's path for classes on runs worked out by hand: each discipline, a closed class, and
// FIFO with classes giving what the path of one class gives.
#include "geral/classes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

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
