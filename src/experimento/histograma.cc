// The histogram's buckets and quantiles.
#include "experimento/histograma.h"

#include <algorithm>
#include <limits>

#include "comum/failure.h"

namespace tarvo {

namespace {

// The buckets any positive finite double can fall in.
const std::int32_t kPrimeiro = Histograma::balde(std::numeric_limits<double>::denorm_min());
const std::int32_t kUltimo = Histograma::balde(std::numeric_limits<double>::max());

}  // namespace

std::int32_t Histograma::balde_subnormal(double x) {
  int e = 0;
  const double f = std::frexp(x, &e);  // x = f 2^e, f in [0.5, 1): exact
  const double s = 2 * f - 1;
  const double l = static_cast<double>(e - 1) + ((kA * s + kB) * s + kC) * s;
  return piso(kPorUnidade * l);
}

double Histograma::limite(std::int32_t k) {
  const double y = static_cast<double>(k) / kPorUnidade;
  const double e = std::floor(y);
  const double t = y - e;
  // P is increasing on [0, 1]: bisection finds P(s) = t to the last bit in 64 steps, the same
  // steps on every platform.
  double a = 0, b = 1;
  for (int i = 0; i < 64; ++i) {
    const double m = (a + b) / 2;
    if (((kA * m + kB) * m + kC) * m < t) {
      a = m;
    } else {
      b = m;
    }
  }
  // The largest doubles round up into a bucket that would start at 2^1024.
  return std::min(std::ldexp(1 + a, static_cast<int>(e)), std::numeric_limits<double>::max());
}

void Histograma::abrir(std::int32_t k) {
  if (contagens_.empty()) {
    // About two binades each way of the first value; most samples need little more.
    inicio_ = k - 64;
    contagens_.assign(128, 0);
    return;
  }
  const std::int64_t fim = inicio_ + static_cast<std::int64_t>(contagens_.size());
  const std::int64_t folga = static_cast<std::int64_t>(contagens_.size());
  std::int64_t a = inicio_, b = fim;
  if (k < inicio_)
    a = std::max<std::int64_t>(kPrimeiro, std::min<std::int64_t>(k, inicio_ - folga));
  if (k >= fim) b = std::min<std::int64_t>(kUltimo + 1, std::max<std::int64_t>(k + 1, fim + folga));
  std::vector<std::int64_t> novo(static_cast<std::size_t>(b - a), 0);
  std::copy(contagens_.begin(), contagens_.end(), novo.begin() + (inicio_ - a));
  contagens_.swap(novo);
  inicio_ = static_cast<std::int32_t>(a);
}

void Histograma::juntar(const Histograma& h) {
  zeros_ += h.zeros_;
  if (h.contagens_.empty()) return;
  const auto fim_h =
      static_cast<std::int32_t>(h.inicio_ + static_cast<std::int64_t>(h.contagens_.size()) - 1);
  if (contagens_.empty()) {
    inicio_ = h.inicio_;
    contagens_ = h.contagens_;
    return;
  }
  if (h.inicio_ < inicio_) abrir(h.inicio_);
  if (fim_h >= inicio_ + static_cast<std::int64_t>(contagens_.size())) abrir(fim_h);
  for (std::size_t j = 0; j < h.contagens_.size(); ++j) {
    contagens_[static_cast<std::size_t>(h.inicio_ - inicio_) + j] += h.contagens_[j];
  }
}

void Histograma::tirar(const Histograma& antes) {
  zeros_ -= antes.zeros_;
  if (antes.contagens_.empty()) return;
  // The buckets only ever widen: antes's lie within these.
  const auto desvio = static_cast<std::size_t>(antes.inicio_ - inicio_);
  for (std::size_t j = 0; j < antes.contagens_.size(); ++j) {
    contagens_[desvio + j] -= antes.contagens_[j];
  }
}

std::int64_t Histograma::n() const {
  std::int64_t n = zeros_;
  for (std::int64_t c : contagens_) n += c;
  return n;
}

double Histograma::quantil(double p) const {
  const std::int64_t n = this->n();
  if (n == 0) return std::numeric_limits<double>::quiet_NaN();
  const double r = std::ceil(p * static_cast<double>(n));
  const std::int64_t posto = std::clamp<std::int64_t>(static_cast<std::int64_t>(r), 1, n);
  std::int64_t ate = zeros_;
  if (posto <= ate) return 0;
  for (std::size_t j = 0; j < contagens_.size(); ++j) {
    const std::int64_t antes = ate;
    ate += contagens_[j];
    if (posto <= ate) {
      const auto k = static_cast<std::int32_t>(inicio_ + static_cast<std::int64_t>(j));
      // The values of a bucket taken as spread evenly over it: the posto-th at the middle of
      // its share.
      const double a = limite(k), b = limite(k + 1);
      const double f =
          (static_cast<double>(posto - antes) - 0.5) / static_cast<double>(contagens_[j]);
      return a + (b - a) * f;
    }
  }
  return std::numeric_limits<double>::quiet_NaN();  // unreachable: the counts add up to n
}

Histograma Histograma::de(std::int64_t zeros, std::int32_t inicio,
                          std::vector<std::int64_t> contagens) {
  const bool fora =
      zeros < 0 ||
      (!contagens.empty() && (inicio < kPrimeiro || inicio > kUltimo ||
                              static_cast<std::int64_t>(contagens.size()) > kUltimo - inicio + 1));
  if (fora ||
      std::any_of(contagens.begin(), contagens.end(), [](std::int64_t c) { return c < 0; })) {
    falha(1, "histograma invalido\n");
  }
  Histograma h;
  h.zeros_ = zeros;
  h.inicio_ = contagens.empty() ? 0 : inicio;
  h.contagens_ = std::move(contagens);
  return h;
}

}  // namespace tarvo
