// The histogram's quantiles against the exact order statistics of samples of known laws, from
// a few values to a million, over the whole range of doubles; and histograms added up.
#include "experimento/histograma.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>

namespace tarvo {
namespace {

constexpr double kPs[] = {0, 0.001, 0.1, 0.5, 0.9, 0.95, 0.99, 0.999, 1};

// The smallest value that at least a fraction p of the sorted sample do not exceed.
double ordem(const std::vector<double>& ordenada, double p) {
  const auto n = static_cast<std::int64_t>(ordenada.size());
  const auto r = std::clamp<std::int64_t>(
      static_cast<std::int64_t>(std::ceil(p * static_cast<double>(n))), 1, n);
  return ordenada[static_cast<std::size_t>(r - 1)];
}

struct Lei {
  const char* nome;
  std::size_t n;
  std::function<double(std::mt19937_64&)> sortear;
};

TEST(Histograma, QuantilesWithinOnePercentOfTheSamplesOwn) {
  auto u = [](std::mt19937_64& g) { return std::uniform_real_distribution<double>(0, 1)(g); };
  const Lei leis[] = {
      {"one value", 1, [](std::mt19937_64&) { return 3.0; }},
      {"exponential", 100000, [&](std::mt19937_64& g) { return -std::log(1 - u(g)); }},
      {"lognormal, sigma 4", 200000,
       [&](std::mt19937_64& g) { return std::exp(4 * std::normal_distribution<double>()(g)); }},
      {"half zeros, half uniform", 10001,
       [&](std::mt19937_64& g) { return u(g) < 0.5 ? 0.0 : 1e-3 * u(g); }},
      {"from the smallest normal double to the largest", 50000,
       [&](std::mt19937_64& g) { return std::pow(2.0, -1022 + 2045 * u(g)); }},
      {"powers of two, the binades' ends", 4000,
       [&](std::mt19937_64& g) { return std::ldexp(1.0, static_cast<int>(200 * u(g)) - 100); }},
      {"eleven values", 11, [&](std::mt19937_64& g) { return 10 * u(g); }},
  };
  for (const Lei& lei : leis) {
    SCOPED_TRACE(lei.nome);
    std::mt19937_64 g(42);
    std::vector<double> x(lei.n);
    Histograma h;
    for (double& v : x) {
      v = lei.sortear(g);
      h.somar(v);
    }
    std::sort(x.begin(), x.end());
    EXPECT_EQ(h.n(), static_cast<std::int64_t>(lei.n));
    for (double p : kPs) {
      const double exato = ordem(x, p), estimado = h.quantil(p);
      EXPECT_LE(std::fabs(estimado - exato), Histograma::kErro * (1 + 1e-12) * exato)
          << "p = " << p << ": " << estimado << " against " << exato;
    }
  }
}

// Quantiles closer than a bucket are still told apart, as the sample's are: otherwise
// replications whose p90 differ by a little would all give one value, and an interval of width 0.
TEST(Histograma, QuantilesCloserThanABucketDiffer) {
  std::mt19937_64 g(3);
  Histograma h;
  for (int i = 0; i < 100000; ++i) h.somar(-std::log(1 - std::generate_canonical<double, 64>(g)));
  double anterior = 0;
  for (double p = 0.9; p < 0.905; p += 0.001) {  // the exact ones 0.1% apart
    const double q = h.quantil(p);
    EXPECT_GT(q, anterior) << p;
    anterior = q;
  }
}

// Every bucket spans at most the ratio 1 + e, and the buckets are in order, down to
// the smallest normal double and up to the largest. (Below it, a subnormal value has fewer bits
// than a bucket needs, and is kept as precisely as it is itself.)
TEST(Histograma, BucketsAreNarrowEnoughEverywhere) {
  const double razao = 1 + Histograma::kErro;
  const std::int32_t a = Histograma::balde(std::numeric_limits<double>::min()),
                     b = Histograma::balde(std::numeric_limits<double>::max());
  for (std::int32_t k = a; k < b; ++k) {
    const double lo = Histograma::limite(k), hi = Histograma::limite(k + 1);
    ASSERT_LT(lo, hi) << k;
    ASSERT_LE(hi / lo, razao * (1 + 1e-12)) << k;
    // L carries the rounding of its binade number, up to 1e-13 of it near the ends.
    ASSERT_EQ(Histograma::balde(hi * (1 - 1e-12)), k) << k;
    ASSERT_EQ(Histograma::balde(lo * (1 + 1e-12)), k) << k;
  }
}

// Histograms of parts added up are the histogram of the whole, in any order of adding; empty,
// NaN and infinities change nothing.
TEST(Histograma, PartsAddUpToTheWhole) {
  std::mt19937_64 g(7);
  Histograma todo, partes[3];
  for (int i = 0; i < 30000; ++i) {
    const double x = std::exp(std::normal_distribution<double>(0, 1 + i % 3 * 5)(g));
    todo.somar(x);
    partes[i % 3].somar(x);
  }
  todo.somar(0);
  todo.somar(std::numeric_limits<double>::quiet_NaN());
  todo.somar(std::numeric_limits<double>::infinity());
  partes[1].somar(-2);  // counts as zero
  Histograma junto;
  junto.juntar(Histograma());
  for (int k : {2, 0, 1}) junto.juntar(partes[k]);
  EXPECT_EQ(junto.n(), todo.n());
  for (double p : kPs) EXPECT_EQ(junto.quantil(p), todo.quantil(p)) << p;
  const Histograma copia = Histograma::de(junto.zeros(), junto.inicio(), junto.contagens());
  for (double p : kPs) EXPECT_EQ(copia.quantil(p), todo.quantil(p)) << p;
  EXPECT_TRUE(std::isnan(Histograma().quantil(0.5)));
}

}  // namespace
}  // namespace tarvo
