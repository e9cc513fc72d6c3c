// Means and squared coefficients of variation worked out by hand, of each kind of distribution
// as a model file writes it.
#include "geral/distribuicao.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numbers>

#include "comum/failure.h"
#include "geral/toml_loader.h"

namespace tarvo::geral {
namespace {

TEST(Distribuicao, MeanAndScvOfEachKind) {
  struct Caso {
    const char* servico;
    double media, scv;
  };
  const Caso casos[] = {
      {R"({ dist = "exponencial", media = 2 })", 2, 1},
      {R"({ dist = "uniforme", min = 1, max = 3 })", 2, 1.0 / 12},
      {R"({ dist = "deterministica", valor = 4 })", 4, 0},
      {R"({ dist = "deterministica", valor = 0 })", 0, 0},
      {R"({ dist = "erlang", k = 4, media = 2 })", 2, 0.25},
      {R"({ dist = "gama", forma = 2.5, media = 3 })", 3, 0.4},
      {R"({ dist = "lognormal", media = 2, desvio = 1 })", 2, 0.25},
      // G(2) / G(3/2)^2 - 1 with G(3/2) = sqrt(pi) / 2
      {R"({ dist = "weibull", forma = 2, media = 1 })", 1, 4 / std::numbers::pi - 1},
      // 4! / (2!)^2 - 1
      {R"({ dist = "weibull", forma = 0.5, media = 1 })", 1, 5},
      // 20! / (10!)^2 - 1, at the smallest shape
      {R"({ dist = "weibull", forma = 0.1, media = 1 })", 1, 184755},
      // variance (1 + 36 + 4 - 6 - 2 - 12) / 18 = 7/6
      {R"({ dist = "triangular", min = 1, moda = 2, max = 6 })", 3, 7.0 / 54},
      {R"({ dist = "hiperexponencial", media = 2, cv = 3 })", 2, 9},
      // variance (4 + 1 + 9) / 3
      {R"({ dist = "empirica", valores = [1, 2, 6] })", 3, 14.0 / 27},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.servico);
    const Rede r = ler_rede_texto(
        formatar("[simulacao]\ntempo = 1\n[[fonte]]\nnome = \"f\"\n"
                 "intervalo = { dist = \"exponencial\", media = 1 }\ndestino = \"e\"\n"
                 "[[estacao]]\nnome = \"e\"\nservico = %s\n",
                 c.servico),
        "d.toml");
    const Distribuicao& d = r.estacoes.at(0).servico;
    EXPECT_NEAR(media(d), c.media, 1e-12 * std::max(1.0, c.media));
    EXPECT_NEAR(scv(d), c.scv, 1e-12 * std::max(1.0, c.scv));
  }
}

}  // namespace
}  // namespace tarvo::geral
