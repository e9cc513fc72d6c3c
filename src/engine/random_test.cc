// The generator's known sequence and the durations drawn from it, with their rounding points.
#include "engine/random.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace tarvo {
namespace {

// The state whose next draw returns r, by running the recurrence backwards.
std::uint32_t estado_para(int r) {
  std::uint32_t inverso = 214013u;  // Newton's iteration for the inverse modulo 2^32
  for (int i = 0; i < 5; ++i) inverso *= 2u - 214013u * inverso;
  return ((static_cast<std::uint32_t>(r) << 16) - 2531011u) * inverso;
}

float duracao(int r, int tipo, double a, double b, double c, std::FILE* out = stdout) {
  Gerador g{estado_para(r)};
  return gerar_duracao(g, out, tipo, a, b, c);
}

TEST(Gerador, FollowsTheClassicSequence) {
  Gerador g;
  EXPECT_EQ(aleatorio(g), 41);
  EXPECT_EQ(aleatorio(g), 18467);
  EXPECT_EQ(aleatorio(g), 6334);
  Gerador zero{0};
  EXPECT_EQ(aleatorio(zero), 38);
  for (int r : {0, 1, 16384, 32767}) {
    Gerador h{estado_para(r)};
    EXPECT_EQ(aleatorio(h), r);
  }
}

TEST(Gerador, SeedsFromTheGivenValueOrTheHalvedClock) {
  Gerador g;
  semear(g, 4294967295u);
  EXPECT_EQ(g.estado, 4294967295u);
  const auto antes = static_cast<std::uint32_t>(std::time(nullptr)) >> 1;
  semear(g, std::nullopt);
  const auto depois = static_cast<std::uint32_t>(std::time(nullptr)) >> 1;
  EXPECT_GE(g.estado, antes);
  EXPECT_LE(g.estado, depois);
}

TEST(Gerador, DrawsDurationsWithTheirRoundingPoints) {
  // Exponential: r = 0 gives exactly 0; the largest r gives a * ln 32768.
  EXPECT_EQ(duracao(0, DIST_EXPONENCIAL, 2.0, 0, 0), 0.0f);
  EXPECT_EQ(duracao(32767, DIST_EXPONENCIAL, 2.0, 0, 0), 20.794414520263672f);
  // ln and the product in double, rounded once; float arithmetic gives 0.0001953363389475271.
  EXPECT_EQ(duracao(8, DIST_EXPONENCIAL, static_cast<double>(0.8f), 0, 0), 0.00019533635349944234f);
  // Uniform: the midpoint, the bounds either way round, negative bounds.
  EXPECT_EQ(duracao(16384, DIST_UNIFORME, 0, 2, 4), 3.0f);
  EXPECT_EQ(duracao(16384, DIST_UNIFORME, 0, 4, 2), 3.0f);
  EXPECT_EQ(duracao(0, DIST_UNIFORME, 0, 4, 2), 4.0f);
  EXPECT_EQ(duracao(0, DIST_UNIFORME, 0, -2, -0.5), -2.0f);
  EXPECT_EQ(duracao(32767, DIST_UNIFORME, 0, 0, 32768), 32767.0f);
  // (c - b) * u + b in double, rounded once; float arithmetic gives 0.10789184272289276.
  EXPECT_EQ(duracao(431, DIST_UNIFORME, 0, static_cast<double>(0.1f), static_cast<double>(0.7f)),
            0.10789185017347336f);
  // The absolute time adds the clock in double, unrounded.
  Gerador g{estado_para(16384)};
  EXPECT_EQ(gerar_tempo(g, 16777216.0f, stdout, DIST_UNIFORME, 0, 0.5, 1.5), 16777217.0);
}

TEST(Gerador, EveryCallDrawsExactlyOneNumber) {
  char* buf = nullptr;
  std::size_t n = 0;
  std::FILE* out = open_memstream(&buf, &n);
  ASSERT_NE(out, nullptr);
  Gerador g, referencia;
  for (int tipo : {DIST_EXPONENCIAL, 0, DIST_UNIFORME, 3}) {
    const double t = gerar_tempo(g, 5.0f, out, tipo, 1, 1, 1);
    aleatorio(referencia);
    EXPECT_EQ(g.estado, referencia.estado) << "tipo " << tipo;
    if (tipo != DIST_EXPONENCIAL && tipo != DIST_UNIFORME) {
      EXPECT_EQ(t, 5.0);  // no duration
    }
  }
  std::fclose(out);
  const std::string queixa =
      "\n \n Erro grave de edicao TIPO  do elemento XXXXX  definido incorreto";
  EXPECT_EQ(std::string(buf, n), queixa + queixa);
  std::free(buf);
}

}  // namespace
}  // namespace tarvo
