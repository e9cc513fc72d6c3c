// The trace conversions against the C library's printf, the oracle they must match byte for
// byte: edge values, exact ties, every class of float at random, and integers.
#include "engine/decimal.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace tarvo {
namespace {

std::string fixo(Tempo v, int casas, int largura) {
  char buf[MAX_DECIMAL];
  return std::string(buf, escrever_fixo(buf, v, casas, largura));
}

std::string printf_fixo(Tempo v, int casas, int largura) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "%*.*f", largura, casas, static_cast<double>(v));
  return buf;
}

Tempo de_bits(std::uint32_t b) {
  Tempo v;
  std::memcpy(&v, &b, sizeof v);
  return v;
}

// Compares the formats the traces use (%f, %12.2f) and a few more precisions; stops the test
// after a handful of mismatches so that a broken conversion does not flood the log.
void comparar(Tempo v, int& falhas) {
  static const int formatos[][2] = {{6, 0}, {2, 12}, {0, 0}, {1, 5}, {3, 0}, {9, 0}};
  for (const auto& f : formatos) {
    const std::string esperado = printf_fixo(v, f[0], f[1]);
    const std::string obtido = fixo(v, f[0], f[1]);
    if (obtido != esperado && ++falhas <= 10) {
      std::uint32_t b;
      std::memcpy(&b, &v, sizeof b);
      ADD_FAILURE() << "bits 0x" << std::hex << b << std::dec << " %" << f[1] << "." << f[0]
                    << "f: expected \"" << esperado << "\", got \"" << obtido << "\"";
    }
  }
}

TEST(Decimal, MatchesPrintfOnEdgeValues) {
  const Tempo inf = std::numeric_limits<Tempo>::infinity();
  const Tempo nan = std::numeric_limits<Tempo>::quiet_NaN();
  const Tempo valores[] = {0.0f,
                           -0.0f,
                           1.0f,
                           -1.0f,
                           0.5f,
                           1.5f,
                           2.5f,  // ties to even at 0 places
                           0.125f,
                           0.375f,
                           -0.125f,  // ties at 2 places
                           0.005f,
                           0.015f,
                           9.995f,
                           99.995f,
                           0.0078125f,  // a tie at 6 places
                           999999.9f,
                           9999999.0f,
                           16777216.0f,
                           12345.678f,
                           -0.001f,  // rounds to a negative zero
                           1e-7f,
                           5e-7f,
                           4.9999997e-7f,
                           std::numeric_limits<Tempo>::denorm_min(),
                           -std::numeric_limits<Tempo>::denorm_min(),
                           FLT_MIN,
                           FLT_EPSILON,
                           1099511627775.0f,  // just below 2^40
                           1099511627776.0f,  // 2^40: from here on snprintf writes it
                           -1099511627776.0f,
                           1e20f,
                           FLT_MAX,
                           -FLT_MAX,
                           inf,
                           -inf,
                           nan,
                           -nan};
  int falhas = 0;
  for (Tempo v : valores) comparar(v, falhas);
  EXPECT_EQ(falhas, 0);
}

TEST(Decimal, MatchesPrintfOnExactTies) {
  // Multiples of 2^-7 end in ...0078125 and so sit exactly halfway at 6 places, and multiples
  // of 2^-3 do at 2 places: the last digit must go to the even one each time.
  int falhas = 0;
  for (int k = -(1 << 17); k <= (1 << 17); ++k) {
    comparar(std::ldexp(static_cast<Tempo>(k), -7), falhas);
    comparar(std::ldexp(static_cast<Tempo>(k), -3) + 1000.0f, falhas);
  }
  EXPECT_EQ(falhas, 0);
}

TEST(Decimal, MatchesPrintfOnRandomFloats) {
  std::mt19937 gerador(20261206);
  int falhas = 0;
  // Every bit pattern alike: all exponents, subnormals, infinities and NaNs.
  std::uniform_int_distribution<std::uint32_t> bits;
  for (int i = 0; i < 150000; ++i) comparar(de_bits(bits(gerador)), falhas);
  // Clock-like values, where the traces spend their time.
  std::uniform_real_distribution<double> relogio(-1e3, 2e7);
  for (int i = 0; i < 150000; ++i) comparar(static_cast<Tempo>(relogio(gerador)), falhas);
  EXPECT_EQ(falhas, 0);
}

TEST(Decimal, IntegersMatchPrintf) {
  const long long valores[] = {
      0,        1,        -1,      9,    10,        99,        1000000, 9999999,
      10000000, -9999999, 1234567, -123, LLONG_MAX, LLONG_MIN, INT_MAX, INT_MIN - 1LL};
  for (long long v : valores) {
    for (int largura : {0, 1, 7, 12, 25}) {
      char esperado[64];
      std::snprintf(esperado, sizeof esperado, "%*lld", largura, v);
      char buf[MAX_DECIMAL];
      EXPECT_EQ(std::string(buf, escrever_inteiro(buf, v, largura)), esperado)
          << v << " width " << largura;
    }
  }
}

}  // namespace
}  // namespace tarvo
