// The formulas and the traffic equations on textbook cases with known answers, from casos.txt.
#include "teoria/teoria.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace tarvo::teoria {
namespace {

double figura(const Medidas& m, const std::string& f) {
  const std::map<std::string, double> v = {{"chegada", m.chegada},         {"vazao", m.vazao},
                                           {"utilizacao", m.utilizacao},   {"fila", m.fila},
                                           {"sistema", m.sistema},         {"espera", m.espera},
                                           {"permanencia", m.permanencia}, {"perda", m.perda}};
  return v.at(f);
}

// "N | LAMBDA0... | I>J:P... | LAMBDA... [| E[S]... | W]": the network and what it must give.
void trafego(std::istringstream& in) {
  std::string resto((std::istreambuf_iterator<char>(in)), {});
  std::vector<std::istringstream> partes;
  for (std::size_t a = 0, b; a <= resto.size(); a = b + 1) {
    b = resto.find('|', a);
    if (b == std::string::npos) b = resto.size();
    partes.emplace_back(resto.substr(a, b - a));
  }
  std::size_t n;
  partes.at(0) >> n;
  Rede r;
  r.estacoes.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    Fonte f;
    partes.at(1) >> f.taxa;
    f.rota = {{static_cast<int>(i), 1}};
    r.fontes.push_back(f);
  }
  for (std::string t; partes.at(2) >> t;) {
    int i, j;
    double p;
    char gt, dois;
    std::istringstream(t) >> i >> gt >> j >> dois >> p;
    r.estacoes.at(static_cast<std::size_t>(i)).rota.push_back({j, p});
  }
  const std::vector<double> l = taxas(r, std::vector<double>(n, 1));
  for (std::size_t i = 0; i < n; ++i) {
    double esperado;
    partes.at(3) >> esperado;
    EXPECT_NEAR(l[i], esperado, 1e-12) << "station " << i;
  }
  if (partes.size() < 6) return;
  for (Estacao& e : r.estacoes) partes[4] >> e.media;
  double w;
  partes[5] >> w;
  const Solucao s = resolver(r);
  EXPECT_EQ(s.metodo_rede, Metodo::exata);
  EXPECT_NEAR(s.permanencia_rede, w, 1e-12);
}

TEST(Teoria, GivesTextbookAnswers) {
  std::ifstream arquivo(TARVO_TEORIA_CASOS);
  ASSERT_TRUE(arquivo) << TARVO_TEORIA_CASOS;
  int casos = 0;
  for (std::string linha; std::getline(arquivo, linha);) {
    linha = linha.substr(0, linha.find('#'));
    std::istringstream in(linha);
    std::string f;
    if (!(in >> f)) continue;
    SCOPED_TRACE(linha);
    ++casos;
    double lambda, es, a, scv, esperado, tol;
    int c;
    std::int64_t k;
    std::string nome;
    if (f == "trafego") {
      trafego(in);
      continue;
    }
    double x = 0;
    if (f == "mmc" && in >> lambda >> c >> es >> nome) {
      x = figura(mmc(lambda, c, es), nome);
    } else if (f == "mmck" && in >> lambda >> c >> k >> es >> nome) {
      x = figura(mmck(lambda, c, k, es), nome);
    } else if (f == "mg1" && in >> lambda >> es >> scv >> nome) {
      x = figura(mg1(lambda, es, scv), nome);
    } else if (f == "mginf" && in >> lambda >> es >> nome) {
      x = figura(mginf(lambda, es), nome);
    } else if (f == "erlang_b" && in >> c >> a) {
      x = erlang_b(c, a);
    } else if (f == "erlang_c" && in >> c >> a) {
      x = erlang_c(c, a);
    } else {
      ADD_FAILURE() << "unreadable case";
      continue;
    }
    ASSERT_TRUE(in >> esperado >> tol);
    EXPECT_NEAR(x, esperado, tol);
  }
  EXPECT_GT(casos, 20);
}

// Networks beyond the product form, solved by hand.
TEST(Teoria, ApproximatesAndRefusesWhereNoExactResultHolds) {
  // Erlang-2 arrivals (SCV 1/2) at rate 1 into a uniform(0, 1.6) server (mean 0.8, SCV 1/3),
  // then an exponential one of mean 0.5. Allen-Cunneen scales M/M/1's wait (3.2 and 0.5) by the
  // mean of the SCVs; QNA gives the second station c_a = (1 - 0.64) 0.5 + 0.64 / 3.
  Rede r;
  r.fontes = {{1, 0.5, false, {{0, 1}}}};
  r.estacoes = {{1, false, std::nullopt, 0.8, 1.0 / 3, false, {{1, 1}}},
                {1, false, std::nullopt, 0.5, 1, true, {}}};
  Solucao s = resolver(r);
  EXPECT_EQ(s.estacoes[0].metodo, Metodo::aproximada);
  EXPECT_NEAR(s.estacoes[0].m.espera, (0.5 + 1.0 / 3) / 2 * 3.2, 1e-12);
  EXPECT_NEAR(s.estacoes[1].m.espera, (0.36 * 0.5 + 0.64 / 3 + 1) / 2 * 0.5, 1e-12);
  EXPECT_EQ(s.metodo_rede, Metodo::aproximada);

  // Poisson at rate 1 into M/M/1/3 of mean 0.5 (loses p_3 = 0.125 / 1.875), whose departures,
  // no longer Poisson, feed an exponential server of mean 0.4: an approximation at the
  // throughput 1 - 1/15, with c_a = 1; the network's sojourn has no value.
  r.fontes = {{1, 1, true, {{0, 1}}}};
  r.estacoes = {{1, false, 3, 0.5, 1, true, {{1, 1}}}, {1, false, std::nullopt, 0.4, 1, true, {}}};
  s = resolver(r);
  EXPECT_EQ(s.estacoes[0].metodo, Metodo::exata);
  EXPECT_NEAR(s.estacoes[0].m.perda, 1.0 / 15, 1e-12);
  EXPECT_EQ(s.estacoes[1].metodo, Metodo::aproximada);
  const double l = 14.0 / 15, rho = l * 0.4;
  EXPECT_NEAR(s.estacoes[1].m.espera, rho * 0.4 / (1 - rho), 1e-12);
  EXPECT_EQ(s.metodo_rede, Metodo::nenhum);

  // An unstable station in a tandem: its load, no value downstream, none for the network.
  r.estacoes = {{1, false, std::nullopt, 0.5, 1, true, {{1, 1}}},
                {1, false, std::nullopt, 1.2, 1, true, {{2, 1}}},
                {1, false, std::nullopt, 0.1, 1, true, {}}};
  s = resolver(r);
  EXPECT_EQ(s.estacoes[0].metodo, Metodo::exata);
  EXPECT_EQ(s.estacoes[1].metodo, Metodo::instavel);
  EXPECT_NEAR(s.estacoes[1].carga, 1.2, 1e-12);
  EXPECT_EQ(s.estacoes[2].metodo, Metodo::nenhum);
  EXPECT_EQ(s.metodo_rede, Metodo::nenhum);
}

}  // namespace
}  // namespace tarvo::teoria
