// The run loop: when it stops, what it handles, and the bytes of its two traces.
#include "engine/run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "engine/handlers.h"
#include "input/loader.h"
#include "processo.h"

namespace tarvo {
namespace {

std::unique_ptr<Simulacao> carregar(const std::string& modelo) {
  auto sim = std::make_unique<Simulacao>();
  ler_modelo_texto(*sim, modelo);
  zerar_estatisticas(*sim);
  primeiras_chegadas(*sim);
  return sim;
}

TEST(Run, TerminoTestsTheCustomerLimitFirst) {
  const float nan = std::nanf("");
  // clang-format off
  const struct { int nfregues, nlimite; float tsimul, tlimite; int r; } casos[] = {
      {0, 0, 0, 0, TERMINO_CLIENTES}, {5, 5, 100, 10, TERMINO_CLIENTES},
      {0, -1, 0, 10, TERMINO_CLIENTES}, {0, 5, 0, 0, TERMINO_TEMPO}, {4, 5, 10, 10, TERMINO_TEMPO},
      {4, 5, 9.99f, 10, 0}, {4, 5, nan, 10, 0}, {4, 5, 10, nan, 0}};
  // clang-format on
  for (const auto& c : casos) {
    auto sim = std::make_unique<Simulacao>();
    sim->Nfregues = c.nfregues, sim->rede.Nlimite = c.nlimite;
    sim->Tsimul = c.tsimul, sim->rede.Tlimite = c.tlimite;
    EXPECT_EQ(termino(*sim), c.r) << c.nfregues << " " << c.tsimul << " " << c.tlimite;
  }
}

TEST(Run, StopsAfterTheEventThatReachesALimit) {
  // D 10 with events at 9.5 and 12 (a completion): the one at 12 is handled.
  auto sim = carregar("D 10\nN 99\nE 2 a 9.5 9.5\ns 1\nF q\ns 1\nS 2 b 2.5 2.5\ne 1\ns 2\nF fim\n");
  EXPECT_EQ(simular(*sim), TERMINO_TEMPO);
  EXPECT_TRUE(sim->Tsimul == 12 && sim->rede.filas[2].tamanho == 1);
  // N 1: the first arrival only; its service and the next arrival stay pending.
  auto um = carregar("D 99\nN 1\nE 2 a 3 3\ns 1\nF q\ns 1\nS 2 b 4 4\ne 1\ns 2\nF fim\n");
  EXPECT_EQ(simular(*um), TERMINO_CLIENTES);
  EXPECT_TRUE(um->Tsimul == 3 && um->Nfregues == 1 && tamanho_lista(um->eventos) == 2);
  // An event at a NaN time leaves the clock where it was.
  auto nan = carregar("D 99\nN 9\nE 2 a 1 1\n");
  nan->rede.fontes[1].inf = std::nanf("");
  ASSERT_TRUE(proximo_evento(*nan) && proximo_evento(*nan));
  EXPECT_TRUE(nan->Tsimul == 1 && nan->Nfregues == 2 && termino(*nan) == 0);

  // The dump of an event kind that the handlers never make.
  auto estranho = std::make_unique<Simulacao>();
  estranho->Tsimul = 0.5f;
  inserir_evento(estranho->eventos, novo_evento(7, nullptr, 0.1));
  const std::string out =
      teste::capturar([&](std::FILE* f) { estranho->out = f, imprimir_eventos(*estranho); });
  EXPECT_EQ(out, "Tsimul = 0.500000\nEvent no 0 :  ????   Tev = 0.100000\n\n\n");
}

}  // namespace
}  // namespace tarvo
