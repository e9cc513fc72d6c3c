#include "experimento/curva.h"

#include <algorithm>
#include <cmath>

namespace tarvo {

double largura_inicial(double taxa) {
  return std::isfinite(taxa) && taxa > 0 && std::isfinite(1 / taxa) ? 1 / taxa : 1;
}

Registro::Registro(std::size_t estacoes, double largura, std::size_t por_oitava)
    : estacoes_(estacoes),
      m_(std::max<std::size_t>(1, por_oitava)),
      largura_(std::isfinite(largura) && largura > 0 ? largura : 1),
      area_(estacoes) {
  for (std::vector<double>& a : area_) a.reserve(m_ * 32);
}

double Registro::limite(std::size_t k) const {
  if (k <= 2 * m_) return static_cast<double>(k) * largura_;
  const auto oitava = static_cast<int>(k / m_ - 1);
  return std::ldexp(static_cast<double>(m_ + k % m_) * largura_, oitava);
}

void Registro::ate(double t, const double* n) {
  if (parado_ || !(t > fim_)) return;
  if (!std::isfinite(t)) {
    parado_ = true;
    return;
  }
  for (double a = fim_; a < t;) {
    const double fim_caixa = limite(caixa_ + 1);
    const double b = std::min(t, fim_caixa);
    for (std::size_t s = 0; s < estacoes_; ++s) {
      if (area_[s].size() <= caixa_) area_[s].resize(caixa_ + 1, 0.0);
      area_[s][caixa_] += n[s] * (b - a);
    }
    a = b;
    if (b == fim_caixa) ++caixa_;
  }
  fim_ = t;
}

Serie Registro::serie() const {
  Serie r;
  for (std::size_t k = 0; k <= caixa_; ++k) r.limites.push_back(limite(k));
  r.medias.resize(estacoes_);
  for (std::size_t s = 0; s < estacoes_; ++s) {
    for (std::size_t k = 0; k < caixa_; ++k) {
      r.medias[s].push_back(area_[s][k] / (r.limites[k + 1] - r.limites[k]));
    }
  }
  return r;
}

void MediaDeSeries::somar(const Serie& s) {
  if (n_++ == 0) {
    soma_ = s;
    return;
  }
  const std::size_t n = std::min(soma_.limites.size(), s.limites.size());
  soma_.limites.resize(n);
  for (std::size_t e = 0; e < soma_.medias.size() && e < s.medias.size(); ++e) {
    std::vector<double>& y = soma_.medias[e];
    y.resize(n > 0 ? n - 1 : 0);
    for (std::size_t k = 0; k < y.size(); ++k) y[k] += s.medias[e][k];
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
