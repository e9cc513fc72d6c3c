// The generator's known sequence and the durations drawn from it, with their rounding points.
#include "legado/engine/random.h"

#include <gtest/gtest.h>

#include <ctime>

namespace tarvo {
namespace {

// The state whose next draw returns r: the recurrence run backwards.
std::uint32_t estado_para(int r) {
  std::uint32_t inverso = 214013u;  // Newton's iteration for the inverse modulo 2^32
  for (int i = 0; i < 5; ++i) inverso *= 2u - 214013u * inverso;
  return ((static_cast<std::uint32_t>(r) << 16) - 2531011u) * inverso;
}

float duracao(int r, int tipo, double a, double b, double c) {
  Gerador g{estado_para(r)};
  return gerar_duracao(g, stdout, tipo, a, b, c);
}

TEST(Gerador, FollowsTheClassicSequence) {
  Gerador g, zero{0}, h{estado_para(32767)};
  EXPECT_EQ(aleatorio(g), 41);
  EXPECT_EQ(aleatorio(zero), 38);
  EXPECT_EQ(aleatorio(h), 32767);
  const auto antes = static_cast<std::uint32_t>(std::time(nullptr)) >> 1;
  semear(g, std::nullopt);  // the clock, halved
  EXPECT_GE(g.estado, antes);
  EXPECT_LE(g.estado, static_cast<std::uint32_t>(std::time(nullptr)) >> 1);
}

TEST(Gerador, DrawsDurationsWithTheirRoundingPoints) {
  EXPECT_EQ(duracao(0, DIST_EXPONENCIAL, 2, 0, 0), 0.0f);
  EXPECT_EQ(duracao(32767, DIST_EXPONENCIAL, 2, 0, 0), 20.794414520263672f);  // 2 ln 32768
  // ln and the product in double, rounded once; float arithmetic gives 0.0001953363389475271.
  EXPECT_EQ(duracao(8, DIST_EXPONENCIAL, double{0.8f}, 0, 0), 0.00019533635349944234f);
  EXPECT_EQ(duracao(16384, DIST_UNIFORME, 0, 2, 4), 3.0f);
  EXPECT_EQ(duracao(16384, DIST_UNIFORME, 0, 4, 2), 3.0f);  // bounds either way round
  EXPECT_EQ(duracao(0, DIST_UNIFORME, 0, -2, -0.5), -2.0f);
  EXPECT_EQ(duracao(32767, DIST_UNIFORME, 0, 0, 32768), 32767.0f);
  // (c - b) * u + b in double, rounded once; float arithmetic gives 0.10789184272289276.
  EXPECT_EQ(duracao(431, DIST_UNIFORME, 0, double{0.1f}, double{0.7f}), 0.10789185017347336f);
  // The clock is added in double and the sum is not rounded.
  Gerador g{estado_para(16384)};
  EXPECT_EQ(gerar_tempo(g, 16777216.0f, stdout, DIST_UNIFORME, 0, 0.5, 1.5), 16777217.0);
}

TEST(Gerador, JumpsAheadAsFarAsItWouldStep) {
  for (std::uint64_t n : {0u, 1u, 2u, 1000u, 123457u}) {
    Gerador g{2718281828u};
    for (std::uint64_t i = 0; i < n; ++i) aleatorio(g);
    EXPECT_EQ(avancar(2718281828u, n), g.estado) << n;
    EXPECT_EQ(g.sorteios, n);
  }
  // A whole cycle of the state comes back to the start; half of one repeats the draws.
  EXPECT_EQ(avancar(12345u, std::uint64_t{1} << 32), 12345u);
  EXPECT_EQ(avancar(12345u, std::uint64_t{1} << 31) & 0x7FFFFFFFu, 12345u);
}

}  // namespace
}  // namespace tarvo
