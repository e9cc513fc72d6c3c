// The run loop: which limit ends a run, tested before each event, and where extreme models end.
#include "legado/engine/run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "processo.h"

namespace tarvo {
namespace {

using teste::preparar;

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

// Whole models at the edges of the number formats and of the durations. Arrivals of source a
// come at 1, 2, 3, ...
TEST(Run, ExtremeModelsEndWhereTheirLimitsSay) {
  const float inf = std::numeric_limits<float>::infinity();
  const std::string a = "E 2 a 1 1\ns 1\nF f\n";
  const struct {
    std::string modelo;
    std::uint32_t semente;
    int r;
    float tsimul;
    long long nfregues;
  } casos[] = {
      {"D 1e39\nN 5\n" + a, 1, TERMINO_CLIENTES, 5, 5},  // a time limit beyond the floats
      {"D -1e39\nN 5\n" + a, 1, TERMINO_TEMPO, 0, 0},
      {"D 10\nN -2147483648\n" + a, 1, TERMINO_CLIENTES, 0, 0},
      {"D 10\nN 2147483647\n" + a, 1, TERMINO_TEMPO, 10, 10},
      // The first draw of seed 0 is 38/32768, so an infinite mean puts the first arrival at
      // infinity, which passes any time limit.
      {"D 100\nN 50\nE 1 a 1e39 0\ns 1\nF f\n", 0, TERMINO_TEMPO, inf, 1},
      // Bounds of opposite infinite sign: every time is NaN and the clock never moves.
      {"D 100\nN 50\nE 2 a -1e39 1e39\ns 1\nF f\n", 1, TERMINO_CLIENTES, 0, 50},
      {"D 10\nN 5\nE 2 a -1 -1\ns 1\nF f\n", 1, TERMINO_CLIENTES, -5, 5},
      // Source a fills queue 1, which feeds no server; server x, of zero service, takes from it
      // but starts only when source b's one customer reaches queue 2, at 1e5. Then x empties
      // queue 1 at that instant, 100001 services in a row, which is no endless loop; the
      // arrival at 100001 ends the run.
      {"D 100001\nN 1000000\nE 2 a 1 1\ns 1\nF espera\nE 2 b 1e5 1e5\ns 2\nF gatilho\ns 1\n"
       "S 2 x 0 0\ne 1\ns 3\nF fim\n",
       1, TERMINO_TEMPO, 100001, 100002},
  };
  for (const auto& c : casos) {
    auto sim = preparar(c.modelo, c.semente);
    EXPECT_EQ(simular(*sim), c.r) << c.modelo;
    EXPECT_EQ(sim->Tsimul, c.tsimul) << c.modelo;
    EXPECT_EQ(sim->Nfregues, c.nfregues) << c.modelo;
  }
}

}  // namespace
}  // namespace tarvo
