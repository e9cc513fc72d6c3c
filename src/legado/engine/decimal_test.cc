// The trace conversions against the C library's printf, the oracle they must match byte for
// byte: edge values, exact ties, every class of float at random, and integers.
#include "legado/engine/decimal.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

namespace tarvo {
namespace {

// Compares the formats the traces use (%f, %12.2f) and a few more precisions; stops reporting
// after a handful of mismatches so that a broken conversion does not flood the log.
void comparar(Tempo v, int& falhas) {
  for (const auto& [casas, largura] : {std::pair{6, 0}, {2, 12}, {0, 0}, {1, 5}, {3, 0}, {9, 0}}) {
    char esperado[128], obtido[MAX_DECIMAL + 1];
    std::snprintf(esperado, sizeof esperado, "%*.*f", largura, casas, static_cast<double>(v));
    *escrever_fixo(obtido, v, casas, largura) = '\0';
    if (std::string(obtido) != esperado && ++falhas <= 10) {
      ADD_FAILURE() << "bits 0x" << std::hex << std::bit_cast<std::uint32_t>(v) << std::dec << " %"
                    << largura << "." << casas << "f: expected \"" << esperado << "\", got \""
                    << obtido << "\"";
    }
  }
}

TEST(Decimal, FloatsMatchPrintf) {
  using lim = std::numeric_limits<Tempo>;
  int falhas = 0;
  // 2.5 and 0.125 are ties at 0 and 2 places, 0.0078125 at 6; -0.001 rounds to a negative zero;
  // from 2^40 on the conversion hands the value to snprintf.
  const Tempo inf = lim::infinity(), nan = lim::quiet_NaN(), sub = lim::denorm_min();
  // clang-format off
  const Tempo bordas[] = {
      0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 1.5f, 2.5f, 0.125f, 0.375f, -0.125f, 0.005f, 0.015f, 9.995f,
      99.995f, 0.0078125f, 999999.9f, 9999999.0f, 16777216.0f, 12345.678f, -0.001f, 1e-7f, 5e-7f,
      4.9999997e-7f, sub, -sub, FLT_MIN, FLT_EPSILON, 1099511627775.0f, 1099511627776.0f,
      -1099511627776.0f, 1e20f, FLT_MAX, -FLT_MAX, inf, -inf, nan, -nan};
  // clang-format on
  for (Tempo v : bordas) comparar(v, falhas);
  // Multiples of 2^-7 end in ...0078125 and so sit exactly halfway at 6 places, and multiples
  // of 2^-3 do at 2 places: the last digit must go to the even one each time.
  for (int k = -(1 << 15); k <= (1 << 15); ++k) {
    comparar(std::ldexp(static_cast<Tempo>(k), -7), falhas);
    comparar(std::ldexp(static_cast<Tempo>(k), -3) + 1000.0f, falhas);
  }
  // Every bit pattern alike (all exponents, subnormals, infinities and NaNs), and clock-like
  // values, where the traces spend their time.
  std::mt19937 gerador(20261206);
  std::uniform_int_distribution<std::uint32_t> bits;
  std::uniform_real_distribution<double> relogio(-1e3, 2e7);
  for (int i = 0; i < 100000; ++i) {
    comparar(std::bit_cast<Tempo>(bits(gerador)), falhas);
    comparar(static_cast<Tempo>(relogio(gerador)), falhas);
  }
  EXPECT_EQ(falhas, 0);
}

TEST(Decimal, IntegersMatchPrintf) {
  for (long long v : {0LL, 1LL, -1LL, 9LL, 10LL, 99LL, 9999999LL, 10000000LL, -9999999LL, -123LL,
                      LLONG_MAX, LLONG_MIN, INT_MIN - 1LL}) {
    for (int largura : {0, 1, 7, 12, 25}) {
      char esperado[64], obtido[MAX_DECIMAL + 1];
      std::snprintf(esperado, sizeof esperado, "%*lld", largura, v);
      *escrever_inteiro(obtido, v, largura) = '\0';
      EXPECT_STREQ(obtido, esperado) << v << " width " << largura;
    }
  }
}

}  // namespace
}  // namespace tarvo
