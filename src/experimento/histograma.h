// A histogram of non-negative values whose buckets widen with the value, so that a quantile read
// from it is within 1% of the sample's own, in memory that depends on the range of the values and
// not on how many there are. Histograms of several runs add up into the one their values, taken
// together, would have made.
#ifndef TARVO_EXPERIMENTO_HISTOGRAMA_H_
#define TARVO_EXPERIMENTO_HISTOGRAMA_H_

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

namespace tarvo {

class Histograma {
 public:
  // The largest relative error of a quantile: the value returned lies within this fraction of the
  // sample's order statistic it estimates.
  static constexpr double kErro = 0.01;

  // Adds x. Zero and below count as zero; NaN and infinities are left out.
  void somar(double x) {
    if (!(x > 0)) {
      if (!std::isnan(x)) ++zeros_;
      return;
    }
    if (std::isinf(x)) return;
    const std::int32_t k = balde(x);
    const std::int64_t i = static_cast<std::int64_t>(k) - inicio_;
    if (i < 0 || i >= static_cast<std::int64_t>(contagens_.size())) [[unlikely]] {
      abrir(k);
      ++contagens_[static_cast<std::size_t>(k - inicio_)];
      return;
    }
    ++contagens_[static_cast<std::size_t>(i)];
  }

  // Adds every value of h.
  void juntar(const Histograma& h);

  // Takes away every value of antes, an earlier state of this same histogram: what was added
  // since.
  void tirar(const Histograma& antes);

  // Values added, zeros included.
  std::int64_t n() const;

  // The sample's p-quantile, its smallest value that at least a fraction p of the values do not
  // exceed (the ceil(p n)-th in order), within kErro; NaN when there is no value.
  double quantil(double p) const;

  // The counts as they are kept: zeros, and contagens()[j] values in bucket inicio() + j.
  std::int64_t zeros() const { return zeros_; }
  std::int32_t inicio() const { return inicio_; }
  const std::vector<std::int64_t>& contagens() const { return contagens_; }
  // A histogram from such counts, as written by another run; the buckets are checked.
  static Histograma de(std::int64_t zeros, std::int32_t inicio,
                       std::vector<std::int64_t> contagens);

  // The bucket of x > 0: floor(kPorUnidade * L(x)), where L is log2 approximated by a cubic
  // within each binade. L and the bucket come from exact IEEE operations, so every platform puts
  // a value in the same bucket.
  static std::int32_t balde(double x) {
    const auto b = std::bit_cast<std::uint64_t>(x);
    const auto e = static_cast<std::int32_t>(b >> 52);
    if (e == 0) [[unlikely]]
      return balde_subnormal(x);
    const double s = std::bit_cast<double>((b & kMantissa) | kUm) - 1.0;
    const double l = static_cast<double>(e - 1023) + ((kA * s + kB) * s + kC) * s;
    return piso(kPorUnidade * l);
  }

  // floor(y) for |y| < 2^31, without the library call that floor is on a processor without
  // SSE4.1: truncation, one down for a negative y with a fraction.
  static std::int32_t piso(double y) {
    const auto t = static_cast<std::int32_t>(y);
    return t - (static_cast<double>(t) > y);
  }

  // The smallest value of bucket k (the largest is that of k + 1).
  static double limite(std::int32_t k);

 private:
  static constexpr std::uint64_t kMantissa = (std::uint64_t{1} << 52) - 1;
  static constexpr std::uint64_t kUm = std::uint64_t{1023} << 52;
  // L(2^e (1 + s)) = e + P(s), P(s) = A s^3 + B s^2 + C s: P(0) = 0 and P(1) = 1, so L is
  // continuous and increasing; dL / d(ln x) = P'(s)(1 + s) is at least C = 10/7 on [0, 1].
  static constexpr double kA = 6.0 / 35, kB = -3.0 / 5, kC = 10.0 / 7;
  // A bucket spans 1 / kPorUnidade of L, hence at most 0.7 / kPorUnidade of ln x: the ratio of
  // its ends is at most 1 + kErro, so that any value in it is within kErro of any other, and a
  // quantile read anywhere in its bucket is within kErro of the sample's. kPorUnidade =
  // 0.7 / ln(1 + kErro), rounded up. The value read is interpolated by rank within the bucket:
  // replications whose quantiles differ by less than a bucket still give different values, and
  // their interval is not made of a bucket's width.
  static constexpr double kPorUnidade = 71.0;

  static std::int32_t balde_subnormal(double x);
  void abrir(std::int32_t k);

  std::int64_t zeros_ = 0;
  std::int32_t inicio_ = 0;
  std::vector<std::int64_t> contagens_;
};

}  // namespace tarvo

#endif  // TARVO_EXPERIMENTO_HISTOGRAMA_H_
