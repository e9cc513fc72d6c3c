#include "experimento/curva.h"

#include <algorithm>
#include <cmath>

namespace tarvo {

double horizonte_esperado(double tempo, double fregueses, double taxa) {
  return taxa > 0 ? std::min(tempo, fregueses / taxa) : tempo;
}

Registro::Registro(std::size_t estacoes, double largura, std::size_t caixas)
    : estacoes_(estacoes),
      caixas_(std::max<std::size_t>(2, caixas & ~std::size_t{1})),
      largura_(std::isfinite(largura) && largura > 0 ? largura : 1),
      area_(estacoes_ * caixas_, 0.0) {}

void Registro::dobrar() {
  for (std::size_t s = 0; s < estacoes_; ++s) {
    double* a = &area_[s * caixas_];
    for (std::size_t k = 0; k < caixas_ / 2; ++k) a[k] = a[2 * k] + a[2 * k + 1];
    std::fill(a + caixas_ / 2, a + caixas_, 0.0);
  }
  largura_ *= 2;
}

void Registro::ate(double t, const double* n) {
  if (parado_ || !(t > fim_)) return;
  if (!std::isfinite(t)) {
    parado_ = true;
    return;
  }
  while (t > largura_ * static_cast<double>(caixas_)) dobrar();
  double a = fim_;
  auto k = std::min(caixas_ - 1, static_cast<std::size_t>(a / largura_));
  while (a < t) {
    // The last bin takes whatever rounding leaves past its end.
    const double b = k + 1 < caixas_ ? std::min(t, largura_ * static_cast<double>(k + 1)) : t;
    if (b > a) {
      for (std::size_t s = 0; s < estacoes_; ++s) area_[s * caixas_ + k] += n[s] * (b - a);
      a = b;
    }
    if (a < t) ++k;
  }
  fim_ = t;
}

Serie Registro::serie() const {
  Serie r;
  r.largura = largura_;
  const auto inteiras = std::min(caixas_, static_cast<std::size_t>(std::floor(fim_ / largura_)));
  r.medias.resize(estacoes_);
  for (std::size_t s = 0; s < estacoes_; ++s) {
    for (std::size_t k = 0; k < inteiras; ++k) {
      r.medias[s].push_back(area_[s * caixas_ + k] / largura_);
    }
  }
  return r;
}

namespace {

// The series with its bins merged, f at a time, into bins f times as wide.
void alargar(Serie& s, std::size_t f) {
  if (f <= 1) return;
  for (std::vector<double>& y : s.medias) {
    const std::size_t n = y.size() / f;
    for (std::size_t k = 0; k < n; ++k) {
      double x = 0;
      for (std::size_t j = 0; j < f; ++j) x += y[k * f + j];
      y[k] = x / static_cast<double>(f);
    }
    y.resize(n);
  }
  s.largura *= static_cast<double>(f);
}

std::size_t razao(double larga, double estreita) {
  return static_cast<std::size_t>(std::max(1L, std::lround(larga / estreita)));
}

}  // namespace

void MediaDeSeries::somar(const Serie& s) {
  if (n_++ == 0) {
    soma_ = s;
    return;
  }
  Serie nova = s;
  const double largura = std::max(soma_.largura, nova.largura);
  alargar(soma_, razao(largura, soma_.largura));
  alargar(nova, razao(largura, nova.largura));
  for (std::size_t e = 0; e < soma_.medias.size() && e < nova.medias.size(); ++e) {
    std::vector<double>& y = soma_.medias[e];
    y.resize(std::min(y.size(), nova.medias[e].size()));
    for (std::size_t k = 0; k < y.size(); ++k) y[k] += nova.medias[e][k];
  }
}

Serie MediaDeSeries::media() const {
  Serie m = soma_;
  for (std::vector<double>& y : m.medias) {
    for (double& x : y) x /= static_cast<double>(n_);
  }
  return m;
}

std::vector<double> media_movel(const std::vector<double>& y, std::size_t w) {
  std::vector<double> r;
  if (y.size() <= w) return r;
  for (std::size_t i = 0; i + w < y.size(); ++i) {
    const std::size_t a = i < w ? 0 : i - w;
    const std::size_t b = i < w ? 2 * i : i + w;
    double x = 0;
    for (std::size_t j = a; j <= b; ++j) x += y[j];
    r.push_back(x / static_cast<double>(b - a + 1));
  }
  return r;
}

}  // namespace tarvo
