// Long seeded runs against queueing theory: M/M/1 at two loads, M/U/1, a tandem and a merge.
//
// Each case runs B independent replications of one model. A replication starts empty, runs a
// warm-up that is discarded, then a measured stretch; its figures are those the report computes
// (utilisation, arrival rate, mean queue length, mean wait by Little's law), taken over the
// measured stretch only. The B replication means estimate each figure, and their sample
// standard deviation over sqrt(B) is its standard error. With B = 30 the standardised error
// follows Student's t with 29 degrees of freedom; the suite checks 30 figures, and a bound of
// 4.90 on |t| gives each a two-sided false-alarm probability of 0.001 / 30, so a correct engine
// fails the whole suite for at most one seed in a thousand. Correlation among the figures of a
// case does not matter to that union bound.
//
// The replications draw from one generator stream, each continuing where the last stopped, so
// no two reuse a stretch of it. Each clock stays below 2^17 units, where a 32-bit time still
// resolves 1/128 of a unit; the rounding of event times there is unbiased and far below the
// tolerance.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "legado/engine/invariants.h"
#include "legado/engine/run.h"
#include "processo.h"

namespace tarvo {
namespace {

constexpr int kReplicacoes = 30;
constexpr double kLimiteT = 4.90;  // Student's t, 29 degrees of freedom, two-sided 0.001 / 30

// The first two moments of a duration drawn as f(u), with u = r / 32768 for r = 0..32767
// equally likely: the generator's 15-bit resolution, not the continuous law. For the
// exponential this puts the mean 0.0187% below med and the second moment 0.11% below 2 med^2.
struct Momentos {
  double m1 = 0, m2 = 0;
};

template <class F>
Momentos momentos(F f) {
  Momentos m;
  for (int r = 0; r < 32768; ++r) {
    const double x = f(r / 32768.0);
    m.m1 += x / 32768;
    m.m2 += x * x / 32768;
  }
  return m;
}

Momentos exponencial(double med) {
  return momentos([med](double u) { return -med * std::log(1 - u); });
}

Momentos uniforme(double inf, double sup) {
  return momentos([=](double u) { return (sup - inf) * u + inf; });
}

// Pollaczek-Khinchine: the mean number waiting at a single server fed by a Poisson stream of
// rate lambda. The discretised exponential inter-arrival times differ from Poisson arrivals by
// about 1e-4 in relative terms, far below the tolerances here.
double lq_pk(double lambda, const Momentos& s) {
  return lambda * lambda * s.m2 / (2 * (1 - lambda * s.m1));
}

enum Quantidade { TEMPO, GERADOS, CHEGADAS, OCUPADO, AREA };

// A figure is the growth of one running total over the measured stretch divided by another's.
struct Figura {
  std::string nome;
  Quantidade num, den;
  int objeto;  // number of the source, queue or server
  double esperado;
};

// The running total at the clock's current value: a queue's integral of its length and a
// server's busy time are carried up to now, which the report's totals stop short of.
double total(const Simulacao& sim, Quantidade q, int j) {
  const double t = static_cast<double>(sim.Tsimul);
  const Fila& f = sim.rede.filas[j];
  const Servidor& s = sim.rede.servidores[j];
  double x = static_cast<double>(s.tocupado);
  switch (q) {
    case TEMPO:
      return t;
    case GERADOS:
      return static_cast<double>(sim.rede.fontes[j].gerados);
    case CHEGADAS:
      return static_cast<double>(f.chegadas);
    case AREA:
      return static_cast<double>(f.area) +
             (t - static_cast<double>(f.tultima)) * static_cast<double>(f.tam_ultimo);
    case OCUPADO:
      for (const Evento& e : copiar_eventos(sim.eventos)) {
        if (e.tipo == EV_SERVIDOR && e.servidor() == &s) {
          x += t - (static_cast<double>(e.tev) - static_cast<double>(s.tservico));
        }
      }
  }
  return x;
}

// Runs the replications of modelo, the first seeded with semente, and checks every figure.
// aquecimento is the discarded warm-up, duracao the measured stretch, both in simulated time.
void conferir(const std::string& modelo, std::uint32_t semente, double aquecimento, double duracao,
              const std::vector<Figura>& figuras) {
  ASSERT_LT(aquecimento + duracao, 131072.0);
  std::vector<std::vector<double>> valores(figuras.size());
  for (int b = 0; b < kReplicacoes; ++b) {
    auto sim = teste::preparar(modelo, semente);
    auto medir = [&](double ate) {
      sim->rede.Tlimite = static_cast<Tempo>(ate);
      EXPECT_EQ(simular(*sim), TERMINO_TEMPO);
      std::vector<double> v;
      for (const Figura& f : figuras) {
        v.push_back(total(*sim, f.num, f.objeto));
        v.push_back(total(*sim, f.den, f.objeto));
      }
      return v;
    };
    const std::vector<double> a = medir(aquecimento), z = medir(aquecimento + duracao);
    semente = sim->gerador.estado;  // the next replication goes on with the same stream
    for (std::size_t i = 0; i < figuras.size(); ++i) {
      valores[i].push_back((z[2 * i] - a[2 * i]) / (z[2 * i + 1] - a[2 * i + 1]));
    }
  }
  for (std::size_t i = 0; i < figuras.size(); ++i) {
    double media = 0, var = 0;
    for (double v : valores[i]) media += v / kReplicacoes;
    for (double v : valores[i]) var += (v - media) * (v - media) / (kReplicacoes - 1);
    const double erro = std::sqrt(var / kReplicacoes);
    const double t = (media - figuras[i].esperado) / erro;
    std::printf("  %-28s observed %9.5f expected %9.5f  s.e. %.5f (%.2f%%)  t = %+.2f\n",
                figuras[i].nome.c_str(), media, figuras[i].esperado, erro,
                100 * erro / figuras[i].esperado, t);
    EXPECT_LT(std::fabs(t), kLimiteT) << figuras[i].nome;
  }
}

// The four figures of a single server and its queue fed at rate lambda.
std::vector<Figura> estacao(const std::string& nome, int fila, int servidor, double lambda,
                            const Momentos& s) {
  const double lq = lq_pk(lambda, s);
  return {{nome + " arrival rate", CHEGADAS, TEMPO, fila, lambda},
          {nome + " utilisation", OCUPADO, TEMPO, servidor, lambda * s.m1},
          {nome + " mean queue", AREA, TEMPO, fila, lq},
          {nome + " mean wait", AREA, CHEGADAS, fila, lq / lambda}};
}

// One source of mean 1.0 into one server of the given declaration.
std::string uma_estacao(const char* servidor) {
  return std::string("D 1\nN 2000000000\nE 1 chegada 1.0 0\ns 1\nF fila\ns 1\nS ") + servidor +
         "\ne 1\ns 2\nF fim\n";
}

// The warm-ups below are at least ten relaxation times 1 / (mu (1 - sqrt(rho))^2) of the most
// loaded station, after which the bias of starting empty is negligible.

TEST(Teoria, MM1AtLoadHalf) {
  conferir(uma_estacao("1 caixa 0.5 0"), 101u, 200, 40000,
           estacao("M/M/1 0.5", 1, 1, 1 / exponencial(1).m1, exponencial(0.5)));
}

TEST(Teoria, MM1AtLoadNineTenths) {
  // The variance of a mean queue length near saturation grows as 1 / (1 - rho)^4, hence the
  // long stretch.
  conferir(uma_estacao("1 caixa 0.9 0"), 202u, 4000, 100000,
           estacao("M/M/1 0.9", 1, 1, 1 / exponencial(1).m1, exponencial(0.9)));
}

TEST(Teoria, MU1FollowsPollaczekKhinchine) {
  // Service uniform on [0.4, 1.2]: load 0.8, and half the M/M/1 queue at that load.
  conferir(uma_estacao("2 caixa 0.4 1.2"), 303u, 1000, 60000,
           estacao("M/U/1 0.8", 1, 1, 1 / exponencial(1).m1, uniforme(0.4, 1.2)));
}

TEST(Teoria, TandemIsJackson) {
  // Three exponential stations in series: each sees the same Poisson stream and behaves as an
  // M/M/1 queue of its own.
  const char* modelo =
      "D 1\nN 2000000000\nE 1 chegada 1.0 0\ns 1\n"
      "F fila1\ns 1\nS 1 caixa1 0.5 0\ne 1\ns 2\n"
      "F fila2\ns 2\nS 1 caixa2 0.7 0\ne 2\ns 3\n"
      "F fila3\ns 3\nS 1 caixa3 0.6 0\ne 3\ns 4\n"
      "F fim\n";
  const double lambda = 1 / exponencial(1).m1;
  std::vector<Figura> figuras;
  const double med[] = {0.5, 0.7, 0.6};
  for (int j = 1; j <= 3; ++j) {
    const auto f = estacao("tandem " + std::to_string(j), j, j, lambda, exponencial(med[j - 1]));
    figuras.insert(figuras.end(), f.begin(), f.end());
  }
  conferir(modelo, 404u, 1000, 40000, figuras);
}

TEST(Teoria, MergedPoissonSourcesAddUp) {
  // Sources of means 2 and 3 into one queue: a Poisson stream of rate 1/2 + 1/3.
  const char* modelo =
      "D 1\nN 2000000000\nE 1 porta1 2.0 0\ns 1\nE 1 porta2 3.0 0\ns 1\n"
      "F fila\ns 1\nS 1 caixa 0.9 0\ne 1\ns 2\nF fim\n";
  const double l1 = 1 / exponencial(2).m1, l2 = 1 / exponencial(3).m1;
  std::vector<Figura> figuras = {{"merge source 1 rate", GERADOS, TEMPO, 1, l1},
                                 {"merge source 2 rate", GERADOS, TEMPO, 2, l2}};
  for (Figura& f : estacao("merge", 1, 1, l1 + l2, exponencial(0.9))) figuras.push_back(f);
  conferir(modelo, 505u, 1000, 50000, figuras);
}

}  // namespace
}  // namespace tarvo
