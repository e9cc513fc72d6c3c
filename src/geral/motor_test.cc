// The extended engine through the model the driver sees: runs worked out by hand, the end rules,
// the warm-up, the tie rule, and each object's draws kept apart from the others'.
#include "geral/motor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "comum/failure.h"
#include "geral/adaptador.h"

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

// A value of tests/geral/corridas.txt: a number, a/b, or nan.
double valor(const std::string& v) {
  const std::size_t barra = v.find('/');
  if (v == "nan") return nan;
  if (barra == std::string::npos) return std::stod(v);
  return std::stod(v.substr(0, barra)) / std::stod(v.substr(barra + 1));
}

// The cases of tests/geral/corridas.txt, one run each.
TEST(MotorGeral, RunsWorkedOutByHand) {
  std::ifstream f(std::string(TARVO_GERAL_DADOS) + "/corridas.txt");
  ASSERT_TRUE(f.good());
  struct Caso {
    std::string nome;
    std::map<std::string, double> valores;  // parameters and figures
    std::vector<std::string> figuras;       // in the file's order
  };
  std::vector<Caso> casos;
  std::string linha, palavra;
  while (std::getline(f, linha)) {
    if (linha.rfind("caso ", 0) == 0) {
      casos.push_back({linha.substr(5), {}, {}});
    } else if (!linha.empty() && linha[0] != '#') {
      std::istringstream s(linha);
      while (s >> palavra) {
        const std::size_t eq = palavra.find('=');
        casos.back().valores[palavra.substr(0, eq)] = valor(palavra.substr(eq + 1));
        casos.back().figuras.push_back(palavra.substr(0, eq));
      }
    }
  }
  ASSERT_EQ(casos.size(), 7u);
  for (Caso& c : casos) {
    auto pega = [&c](const char* k, double padrao) {
      std::erase(c.figuras, k);
      return c.valores.count(k) ? c.valores[k] : padrao;
    };
    Rede r = uma_estacao(det(1), det(pega("servico", 0)));
    r.tempo = 10;
    r.fontes[0].rota[0].p = pega("p", 1);
    if (c.valores.count("fregueses")) r.fregueses = static_cast<std::int64_t>(pega("fregueses", 0));
    const double capacidade = pega("capacidade", 0);
    if (capacidade > 0) r.estacoes[0].capacidade = static_cast<std::int64_t>(capacidade);
    r.estacoes[0].infinitos = capacidade < 0;
    Ajustes ajustes;
    if (c.valores.count("limiar")) ajustes.limiar = pega("limiar", 0);
    const auto m = modelo_geral(r, "", ajustes);
    const Replicacao rep = m->rodar(Plano{1, 1}, 0, pega("aquecimento", 0), nullptr);
    EXPECT_EQ(rep.sorteios, 0u) << c.nome;
    for (const std::string& nome : c.figuras) {
      const double v = figura(*m, rep, nome), esperado = c.valores[nome];
      if (std::isnan(esperado)) {
        EXPECT_TRUE(std::isnan(v)) << c.nome << ": " << nome << " = " << v;
      } else if (nome.find("_p") != std::string::npos) {
        // A quantile, from a histogram: within its relative error.
        EXPECT_LE(std::fabs(v - esperado), Histograma::kErro * esperado) << c.nome << ": " << nome;
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
  const Replicacao r0 = base->rodar(Plano{9, 4}, 2, 0, nullptr);
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
    const Replicacao r = m->rodar(Plano{9, 4}, 2, 0, nullptr);
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
  const Replicacao a = m->rodar(plano, 2, 0, nullptr), b = m->rodar(plano, 2, 0, nullptr),
                   c = m->rodar(plano, 1, 0, nullptr);
  EXPECT_EQ(a.valores, b.valores);
  EXPECT_NE(a.valores, c.valores);
  EXPECT_EQ(a.semente, chave_replicacao(5, 2));
  EXPECT_EQ(m->rodar(Plano{5, 1000}, 2, 0, nullptr).valores,
            a.valores);  // whatever the plan's maximum
  // A source of exponential intervals limited to 10 customers draws 11 intervals, two outputs
  // each; the deterministic station and the certain route draw nothing.
  Rede r = uma_estacao(exponencial(1), det(0.1));
  r.fregueses = 10;
  EXPECT_EQ(modelo_geral(r, "")->rodar(plano, 0, 0, nullptr).sorteios, 22u);
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
