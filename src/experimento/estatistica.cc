// Means and intervals. The sums run in index order, so that the same values give the same bits
// however the replications were spread over threads or machines.
#include "experimento/estatistica.h"

#include <boost/math/distributions/students_t.hpp>
#include <cmath>
#include <limits>

namespace tarvo {

Resumo resumir(const std::vector<double>& valores, std::size_t k, double confianca) {
  constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
  Resumo r;
  double soma = 0;
  for (std::size_t i = 0; i < k; ++i) {
    const double x = valores[i];
    if (!std::isfinite(x)) {
      ++r.faltantes;
      continue;
    }
    if (r.n == 0 || x < r.min) r.min = x;
    if (r.n == 0 || x > r.max) r.max = x;
    soma += x;
    ++r.n;
  }
  if (r.n == 0) {
    r.media = r.min = r.max = r.desvio = r.meia_largura = NaN;
    return r;
  }
  r.media = soma / static_cast<double>(r.n);
  if (r.n < 2) {
    r.desvio = r.meia_largura = NaN;
    return r;
  }
  // Deviations from the mean in a second pass: no cancellation when the values are large and
  // close together, as a clock at the end of the run is.
  double quadrados = 0;
  for (std::size_t i = 0; i < k; ++i) {
    if (std::isfinite(valores[i])) quadrados += (valores[i] - r.media) * (valores[i] - r.media);
  }
  r.desvio = std::sqrt(quadrados / static_cast<double>(r.n - 1));
  const boost::math::students_t t(static_cast<double>(r.n - 1));
  r.meia_largura = boost::math::quantile(t, (1 + confianca) / 2) * r.desvio /
                   std::sqrt(static_cast<double>(r.n));
  return r;
}

bool confianca_valida(double c) { return c > 0 && (1 + c) / 2 < 1; }

double largura_relativa(const Resumo& r) { return std::fabs(r.meia_largura / r.media); }

}  // namespace tarvo
