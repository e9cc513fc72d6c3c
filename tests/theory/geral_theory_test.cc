// The extended engine against queueing theory: M/M/c (Erlang C) with the quantiles of its wait
// and sojourn, M/M/c/K and Erlang B, M/D/1 and M/E_k/1 (Pollaczek-Khinchine), M/G/infinity,
// processor sharing, LIFO and random order, priorities by Cobham with and without preemption, a
// closed network by mean value analysis, impatience (Erlang A) and balking by their birth-death
// chains, batches (M^X/M/1), and a Jackson network with feedback.
//
// Each case is an experiment of the replication driver: R = 30 independent replications, each
// starting empty, warming up for at least ten relaxation times of its most loaded station, then
// measuring. For each figure checked, the replication values' mean and standard error s / sqrt(R)
// give t = (mean - theory) / error, which for a correct engine follows Student's t with R - 1
// degrees of freedom (the replication values are nearly normal at these run lengths; the bias of
// the empty start and of ratio estimators is far below one standard error). Each |t| must stay
// under the two-sided quantile of probability 0.001 / (number of checks), so that a correct
// engine fails the whole file for at most one seed in a thousand (a union bound, whatever the
// correlation among the figures). With 60 checks the bound is |t| < 5.15. Where the theory
// of tarvo-rep --theory calls its value exact, it must be the formula's too.
#include <gtest/gtest.h>

#include <boost/math/distributions/students_t.hpp>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "experimento/experimento.h"
#include "geral/adaptador.h"

namespace tarvo {
namespace {

using geral::Disciplina;
using geral::Dist;
using geral::Distribuicao;
using geral::Estacao;
using geral::Rede;

constexpr int kReplicacoes = 30;
constexpr double kFalsoAlarme = 0.001;  // for the whole file

Distribuicao exponencial(double media) {
  Distribuicao d;
  d.media = media;
  return d;
}

// Poisson arrivals of rate 1 into one station of c servers (0: infinitely many).
Rede uma_estacao(int c, Distribuicao servico, std::optional<std::int64_t> capacidade = {}) {
  Rede r;
  r.fontes.push_back({"chegadas", exponencial(1), {{0, 1}}});
  Estacao e;
  e.nome = "posto";
  e.servidores = c > 0 ? c : 1;
  e.infinitos = c == 0;
  e.capacidade = capacidade;
  e.servico = servico;
  r.estacoes.push_back(e);
  return r;
}

// ---- the formulas --------------------------------------------------------------------------

// M/M/c/K at offered load a = lambda E[S] (K = 0: no limit), by its stationary probabilities
// p_n proportional to a^n / n! up to c and to a^c / c! (a / c)^(n - c) above.
struct Estacionario {
  double perda = 0, L = 0, Lq = 0;
};

Estacionario mmck(int c, double a, int K) {
  const int N = K > 0 ? K : 20000;  // without a limit, far enough that the tail is nothing
  std::vector<double> p(static_cast<std::size_t>(N) + 1);
  p[0] = 1;
  double soma = 1;
  for (int n = 1; n <= N; ++n) {
    p[static_cast<std::size_t>(n)] = p[static_cast<std::size_t>(n) - 1] * a / std::min(n, c);
    soma += p[static_cast<std::size_t>(n)];
  }
  Estacionario e;
  for (int n = 0; n <= N; ++n) {
    const double pn = p[static_cast<std::size_t>(n)] / soma;
    e.L += n * pn;
    e.Lq += std::max(n - c, 0) * pn;
  }
  e.perda = K > 0 ? p[static_cast<std::size_t>(K)] / soma : 0;
  return e;
}

// Erlang C's mean number waiting, in closed form.
double erlang_c_lq(int c, double a) {
  const double rho = a / c;
  double termo = 1, soma = 0;
  for (int n = 0; n < c; ++n) {
    soma += termo;
    termo *= a / (n + 1);
  }
  const double topo = termo / (1 - rho);  // a^c / (c! (1 - rho))
  return topo / (soma + topo) * rho / (1 - rho);
}

// M/M/c at offered load a, service mean m: the probability of waiting (Erlang C), and the
// p-quantiles of the wait and of the sojourn. The wait is 0 with probability 1 - C and else
// exponential of rate theta = c/m - a/m; the sojourn adds an exponential service of rate 1/m.
struct EsperaMMc {
  double C, theta, mu;
  double espera(double p) const { return p <= 1 - C ? 0 : std::log(C / (1 - p)) / theta; }
  double permanencia(double p) const {
    auto acima = [this](double t) {  // P(sojourn > t)
      const double duas =
          theta == mu ? (1 + mu * t) * std::exp(-mu * t)
                      : (theta * std::exp(-mu * t) - mu * std::exp(-theta * t)) / (theta - mu);
      return (1 - C) * std::exp(-mu * t) + C * duas;
    };
    double a = 0, b = 1;
    while (acima(b) > 1 - p) b *= 2;
    for (int i = 0; i < 200; ++i) (acima((a + b) / 2) > 1 - p ? a : b) = (a + b) / 2;
    return a;
  }
};
EsperaMMc espera_mmc(int c, double a, double m) {
  const double rho = a / c, lq = erlang_c_lq(c, a);
  return {lq * (1 - rho) / rho, (c - a) / m, 1 / m};
}

// Pollaczek-Khinchine: the mean number waiting at one server, Poisson arrivals of rate lambda,
// services of mean m and second moment m2.
double pk_lq(double lambda, double m, double m2) {
  return lambda * lambda * m2 / (2 * (1 - lambda * m));
}

// One station of c exponential servers of mean m, Poisson arrivals of rate 1 that join with
// chance b[w] finding w waiting (the last for more; none: always), waiting customers leaving
// at rate theta: a birth-death chain on the number present, far enough that the tail is nothing.
struct Cadeia {
  double L = 0, Lq = 0, desistencia = 0;
};

Cadeia nascimento_morte(int c, double m, double theta, const std::vector<double>& b) {
  const int N = 4000;
  auto junta = [&b](int w) {
    return b.empty()
               ? 1.0
               : b[static_cast<std::size_t>(std::min<int>(w, static_cast<int>(b.size()) - 1))];
  };
  std::vector<double> p(N + 1);
  p[0] = 1;
  double soma = 1;
  for (int n = 1; n <= N; ++n) {
    const double morte = std::min(n, c) / m + std::max(n - c, 0) * theta;
    p[static_cast<std::size_t>(n)] =
        p[static_cast<std::size_t>(n) - 1] * junta(std::max(n - 1 - c, 0)) / morte;
    soma += p[static_cast<std::size_t>(n)];
  }
  Cadeia x;
  for (int n = 0; n <= N; ++n) {
    const double pn = p[static_cast<std::size_t>(n)] / soma;
    x.L += n * pn;
    x.Lq += std::max(n - c, 0) * pn;
    x.desistencia += pn * (1 - junta(std::max(n - c, 0)));
  }
  return x;
}

// ---- the cases -----------------------------------------------------------------------------

struct Verificacao {
  std::string figura;  // "estacao.NAME.FIGURE" or "rede.rede.FIGURE"
  double esperado;
};

struct Caso {
  std::string nome;
  Rede rede;
  double aquecimento, duracao;
  std::vector<Verificacao> verificacoes;
};

std::vector<Caso> casos() {
  std::vector<Caso> v;
  {
    // M/M/1 at load 0.75; the sojourn is exponential of rate mu - lambda = 1/3, and so is the
    // wait of those who wait, 3 in 4. Sojourns of successive customers are strongly
    // correlated here, where a biased quantile estimator shows.
    const double lq = erlang_c_lq(1, 0.75);
    v.push_back({"M/M/1",
                 uma_estacao(1, exponencial(0.75)),
                 500,
                 100000,
                 {{"estacao.posto.utilizacao", 0.75},
                  {"estacao.posto.fila_media", lq},
                  {"estacao.posto.espera_media", lq},
                  {"estacao.posto.sistema_medio", lq + 0.75},
                  {"estacao.posto.prob_espera", 0.75},
                  {"estacao.posto.espera_p50", 3 * std::log(1.5)},
                  {"estacao.posto.espera_p99", 3 * std::log(75.0)},
                  {"rede.rede.permanencia_media", 3},
                  {"rede.rede.permanencia_p50", 3 * std::log(2.0)},
                  {"rede.rede.permanencia_p90", 3 * std::log(10.0)},
                  {"rede.rede.permanencia_p99", 3 * std::log(100.0)}}});
  }
  {
    // M/M/3 at load 0.85, service mean 2.55: the sojourn's p99 is 27.70.
    const EsperaMMc w = espera_mmc(3, 2.55, 2.55);
    v.push_back({"M/M/3",
                 uma_estacao(3, exponencial(2.55)),
                 2000,
                 200000,
                 {{"estacao.posto.prob_espera", w.C},
                  {"estacao.posto.espera_p90", w.espera(0.9)},
                  {"estacao.posto.espera_p95", w.espera(0.95)},
                  {"rede.rede.permanencia_p50", w.permanencia(0.5)},
                  {"rede.rede.permanencia_p95", w.permanencia(0.95)},
                  {"rede.rede.permanencia_p99", w.permanencia(0.99)}}});
  }
  for (const auto& [c, m] : {std::pair{2, 1.6}, std::pair{8, 6.4}}) {
    // M/M/c at load 0.8: Erlang C.
    const double lq = erlang_c_lq(c, m);
    v.push_back({"M/M/" + std::to_string(c),
                 uma_estacao(c, exponencial(m)),
                 1000,
                 100000,
                 {{"estacao.posto.utilizacao", 0.8},
                  {"estacao.posto.fila_media", lq},
                  {"estacao.posto.espera_media", lq},
                  {"estacao.posto.sistema_medio", lq + m}}});
  }
  {
    // M/M/2/5 at offered load 1.6: losses by PASTA, p_5 of the finite chain.
    const Estacionario e = mmck(2, 1.6, 5);
    v.push_back({"M/M/2/5",
                 uma_estacao(2, exponencial(1.6), 5),
                 200,
                 50000,
                 {{"estacao.posto.prob_perda", e.perda},
                  {"estacao.posto.vazao", 1 - e.perda},
                  {"estacao.posto.sistema_medio", e.L},
                  {"estacao.posto.fila_media", e.Lq}}});
  }
  {
    // M/M/4/4 at offered load 3: Erlang B, 3^4/4! over the sum of 3^n/n! for n <= 4.
    const double B = (81.0 / 24) / (1 + 3 + 4.5 + 4.5 + 81.0 / 24);
    v.push_back({"Erlang B",
                 uma_estacao(4, exponencial(3), 4),
                 100,
                 50000,
                 {{"estacao.posto.prob_perda", B}, {"estacao.posto.sistema_medio", 3 * (1 - B)}}});
  }
  {
    // M/D/1 at load 0.8.
    Distribuicao d;
    d.tipo = Dist::deterministica;
    d.valor = 0.8;
    const double lq = pk_lq(1, 0.8, 0.64);
    v.push_back({"M/D/1",
                 uma_estacao(1, d),
                 1000,
                 100000,
                 {{"estacao.posto.fila_media", lq}, {"estacao.posto.espera_media", lq}}});
  }
  {
    // M/E_4/1 at load 0.8: the second moment of an Erlang of k phases is (1 + 1/k) m^2.
    Distribuicao d;
    d.tipo = Dist::erlang;
    d.k = 4;
    d.media = 0.8;
    const double lq = pk_lq(1, 0.8, 1.25 * 0.64);
    v.push_back({"M/E4/1",
                 uma_estacao(1, d),
                 1000,
                 100000,
                 {{"estacao.posto.fila_media", lq}, {"estacao.posto.espera_media", lq}}});
  }
  {
    // M/G/infinity with lognormal services of mean 5: the mean number in service is 5 whatever
    // the law.
    Distribuicao d;
    d.tipo = Dist::lognormal;
    d.media = 5;
    d.desvio = 5;
    v.push_back({"M/G/inf",
                 uma_estacao(0, d),
                 200,
                 20000,
                 {{"estacao.posto.utilizacao", 5}, {"estacao.posto.permanencia_media", 5}}});
  }
  {
    // Disciplines that do not look at the service time keep M/M/1's mean wait: processor sharing
    // (the mean sojourn E[S] / (1 - rho) = 3), last come first served and random order (2.25).
    const double lq = erlang_c_lq(1, 0.75);
    Rede ps = uma_estacao(1, exponencial(0.75)), lifo = ps, sorteio = ps;
    ps.estacoes[0].disciplina = Disciplina::ps;
    lifo.estacoes[0].disciplina = Disciplina::lifo;
    sorteio.estacoes[0].disciplina = Disciplina::aleatoria;
    v.push_back({"M/M/1-PS", ps, 500, 100000, {{"estacao.posto.permanencia_media", 3}}});
    v.push_back({"M/M/1-LIFO", lifo, 500, 100000, {{"estacao.posto.espera_media", lq}}});
    v.push_back({"M/M/1-RO", sorteio, 500, 100000, {{"estacao.posto.espera_media", lq}}});
  }
  for (Disciplina d : {Disciplina::prioridade, Disciplina::prioridade_preemptiva}) {
    // Two classes at one exponential server of mean 1, "alta" at 0.3 and "baixa" at 0.45 (load
    // 0.75). Cobham: W0 = sum lambda E[S^2] / 2 = 0.75; waits W0 / (1 - 0.3) and
    // W0 / ((1 - 0.3)(1 - 0.75)). Preemptive-resume, sojourns: 1 + (0.3 E[S^2] / 2) / 0.7 for
    // alta, 1 / 0.7 + W0 / (0.7 * 0.25) for baixa.
    Rede r = uma_estacao(1, exponencial(1));
    r.fontes.clear();
    r.classes = {{"alta", 0, {}, -1}, {"baixa", 1, {}, -1}};
    r.fontes.push_back({"a", exponencial(1 / 0.3), {{0, 1}}, 0});
    r.fontes.push_back({"b", exponencial(1 / 0.45), {{0, 1}}, 1});
    r.estacoes[0].disciplina = d;
    if (d == Disciplina::prioridade) {
      v.push_back({"Cobham",
                   r,
                   2000,
                   200000,
                   {{"estacao.posto.espera_media/alta", 0.75 / 0.7},
                    {"estacao.posto.espera_media/baixa", 0.75 / (0.7 * 0.25)}}});
    } else {
      v.push_back({"preemptive",
                   r,
                   2000,
                   200000,
                   {{"estacao.posto.permanencia_media/alta", 1 + 0.3 / 0.7},
                    {"estacao.posto.permanencia_media/baixa", 1 / 0.7 + 0.75 / (0.7 * 0.25)}}});
    }
  }
  {
    // A closed class of 3 between a delay of mean 5 and one exponential server of mean 1. Mean
    // value analysis: R(1) = 1, X(1) = 1/6, Q(1) = 1/6; R(2) = 7/6, X(2) = 12/37, Q(2) = 14/37;
    // R(3) = 51/37, X(3) = 3 / (51/37 + 5) = 111/236, and the cycle through the delay 3 / X.
    Rede r;
    r.classes = {{"terminais", 0, 3, 0}};
    Estacao pensar, cpu;
    pensar.nome = "pensar";
    pensar.infinitos = true;
    pensar.servico = exponencial(5);
    pensar.rota = {{1, 1}};
    cpu.nome = "cpu";
    cpu.servico = exponencial(1);
    cpu.rota = {{0, 1}};
    r.estacoes = {pensar, cpu};
    v.push_back({"MVA",
                 r,
                 200,
                 100000,
                 {{"classe.terminais.vazao", 111.0 / 236},
                  {"classe.terminais.ciclo", 236.0 / 37},
                  {"estacao.cpu.permanencia_media", 51.0 / 37}}});
  }
  {
    // Erlang A: M/M/2 at offered load 1.6 whose waiting customers give up at rate 0.5; by the
    // chain, those who give up are theta Lq per unit of time, of 1 that join.
    const Cadeia x = nascimento_morte(2, 1.6, 0.5, {});
    Rede r = uma_estacao(2, exponencial(1.6));
    r.estacoes[0].paciencia = exponencial(2);
    v.push_back({"Erlang A",
                 r,
                 200,
                 50000,
                 {{"estacao.posto.sistema_medio", x.L},
                  {"estacao.posto.fila_media", x.Lq},
                  {"estacao.posto.prob_abandono", 0.5 * x.Lq},
                  {"estacao.posto.vazao", 1 - 0.5 * x.Lq}}});
    // Balking at one server of mean 0.9: joining with chance 1, 0.6 and 0.3 finding 0, 1 and 2
    // or more waiting; by PASTA, an arrival balks with the chain's mean of 1 - b.
    const std::vector<double> b = {1, 0.6, 0.3};
    const Cadeia y = nascimento_morte(1, 0.9, 0, b);
    Rede q = uma_estacao(1, exponencial(0.9));
    q.estacoes[0].desistencia = b;
    v.push_back({"balking",
                 q,
                 200,
                 50000,
                 {{"estacao.posto.sistema_medio", y.L},
                  {"estacao.posto.fila_media", y.Lq},
                  {"estacao.posto.prob_desistencia", y.desistencia}}});
  }
  {
    // Batches of 2 at rate 0.3 into one exponential server of mean 1 (load 0.6): M^X/M/1's
    // L = rho / (1 - rho) (E[X] + E[X^2]) / (2 E[X]) = 1.5 * 1.5.
    Rede r = uma_estacao(1, exponencial(1));
    r.fontes[0].intervalo = exponencial(1 / 0.3);
    Distribuicao dois;
    dois.tipo = Dist::deterministica;
    dois.valor = 2;
    r.fontes[0].lote = dois;
    v.push_back({"M^X/M/1", r, 500, 100000, {{"estacao.posto.sistema_medio", 2.25}}});
  }
  {
    // Jackson: a (1 server, mean 0.4) sends 0.5 to b and 0.2 back to itself; b (2 servers, mean
    // 1.5) sends 0.4 back to a. Traffic: la = 1 + 0.2 la + 0.4 lb, lb = 0.5 la, so la = 5/3,
    // lb = 5/6; loads 2/3 and 1.25 / 2. Product form: each station is M/M/c at its own rate,
    // and by Little the network sojourn is (La + Lb) / 1.
    Rede r;
    r.fontes.push_back({"chegadas", exponencial(1), {{0, 1}}});
    Estacao a, b;
    a.nome = "a";
    a.servico = exponencial(0.4);
    a.rota = {{1, 0.5}, {0, 0.2}};
    b.nome = "b";
    b.servidores = 2;
    b.servico = exponencial(1.5);
    b.rota = {{0, 0.4}};
    r.estacoes = {a, b};
    const double La = 2, Lb = erlang_c_lq(2, 1.25) + 1.25;
    v.push_back({"Jackson",
                 r,
                 500,
                 50000,
                 {{"estacao.a.vazao", 5.0 / 3},
                  {"estacao.b.vazao", 5.0 / 6},
                  {"estacao.a.sistema_medio", La},
                  {"estacao.b.sistema_medio", Lb},
                  {"rede.rede.permanencia_media", La + Lb}}});
  }
  return v;
}

TEST(TeoriaGeral, FiguresAgreeWithQueueingFormulas) {
  std::vector<Caso> todos = casos();
  std::size_t n = 0;
  for (const Caso& c : todos) n += c.verificacoes.size();
  const boost::math::students_t t(kReplicacoes - 1);
  const double limite =
      boost::math::quantile(boost::math::complement(t, kFalsoAlarme / static_cast<double>(n) / 2));
  std::printf("  %zu checks, each |t| < %.2f\n", n, limite);
  std::uint32_t semente = 1000;
  int exatas = 0;
  for (Caso& c : todos) {
    c.rede.tempo = c.aquecimento + c.duracao;
    const auto modelo = modelo_geral(c.rede, c.nome);
    Pedido p;
    p.modelo = c.nome;
    p.plano = {++semente, kReplicacoes};
    p.replicacoes = kReplicacoes;
    p.aquecimento = c.aquecimento;
    Execucao e;
    e.jobs = 2;
    const Resultado r = executar(*modelo, p, e);
    const std::vector<std::optional<Teorico>> teoria = modelo->teoria();
    for (const Verificacao& v : c.verificacoes) {
      std::size_t f = 0;
      // "tipo.nome.figura", and "/classe" for a class's figure.
      auto nome = [&r](std::size_t g) {
        const IdFigura& id = r.ids[g];
        return id.tipo + "." + id.nome + "." + id.figura +
               (id.classe.empty() ? "" : "/" + id.classe);
      };
      while (f < r.ids.size() && nome(f) != v.figura) ++f;
      ASSERT_LT(f, r.ids.size()) << v.figura;
      double media = 0, var = 0;
      for (double x : r.valores[f]) media += x / kReplicacoes;
      for (double x : r.valores[f]) var += (x - media) * (x - media) / (kReplicacoes - 1);
      const double erro = std::sqrt(var / kReplicacoes);
      const double tt = (media - v.esperado) / erro;
      std::printf("  %-8s %-30s observed %9.5f expected %9.5f  s.e. %.5f  t = %+.2f\n",
                  c.nome.c_str(), v.figura.c_str(), media, v.esperado, erro, tt);
      EXPECT_LT(std::fabs(tt), limite) << c.nome << " " << v.figura;
      if (f < teoria.size() && teoria[f] && teoria[f]->metodo == "exata") {
        ++exatas;
        EXPECT_NEAR(teoria[f]->valor, v.esperado, 1e-9 * std::max(1.0, std::fabs(v.esperado)))
            << c.nome << " " << v.figura << " by --theory";
      }
    }
  }
  std::printf("  %d of them given exactly by --theory too\n", exatas);
  EXPECT_GT(exatas, 0);
}

}  // namespace
}  // namespace tarvo
