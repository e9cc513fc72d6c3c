// The laws of waits and sojourns in uniformized form, which keeps every term positive: no
// difference of exponentials cancels, however close two rates are.
#include <algorithm>
#include <boost/math/special_functions/gamma.hpp>
#include <boost/math/tools/toms748_solve.hpp>
#include <cmath>
#include <limits>

#include "teoria/teoria.h"

namespace tarvo::teoria {

Uniformizada espera_mmc(double lambda, int c, double es) {
  return {c / es - lambda, {erlang_c(c, lambda * es)}};
}

Uniformizada espera_mmck(double lambda, int c, std::int64_t k, double es) {
  // With all c servers busy, every event of a Poisson process of rate c mu ends a service: one
  // who finds n >= c present is still waiting after j of them while j <= n - c, so s[j] is the
  // chance, among those accepted, of finding c + j or more.
  const std::vector<double> p = estados_mmck(lambda, c, k, es);
  Uniformizada u{c / es, std::vector<double>(static_cast<std::size_t>(k - c))};
  double cauda = 0;
  for (std::int64_t n = k - 1; n >= c; --n) {
    cauda += p[static_cast<std::size_t>(n)];
    u.s[static_cast<std::size_t>(n - c)] = cauda / (1 - p.back());
  }
  return u;
}

Uniformizada sem_espera() { return {}; }

double excede(const Uniformizada& u, double t) {
  if (u.s.empty()) return 0;
  if (!(t > 0)) return u.s[0];
  // Only the Poisson weights within 40 standard deviations (and 50) of the mean x count: the
  // others are below e^-700. They go by their logarithms, which stay finite however large x is.
  const double x = u.taxa * t, lx = std::log(x), d = 40 * std::sqrt(x) + 50;
  const auto primeiro = static_cast<std::size_t>(std::max(0.0, std::floor(x - d)));
  const double ultimo = std::min(static_cast<double>(u.s.size() - 1), std::ceil(x + d));
  double l = -x + static_cast<double>(primeiro) * lx -
             boost::math::lgamma(static_cast<double>(primeiro) + 1);
  double soma = 0;
  for (std::size_t k = primeiro; static_cast<double>(k) <= ultimo; ++k) {
    if (k > primeiro) l += lx - std::log(static_cast<double>(k));
    soma += std::exp(l) * u.s[k];
  }
  return soma;
}

namespace {

// The least t where a falling P(X > t) reaches 1 - p, bracketed by doubling from escala.
template <typename Excede>
double raiz(const Excede& excede_t, double escala, double p) {
  const double alvo = 1 - p;
  if (excede_t(0.0) <= alvo) return 0;
  auto f = [&](double t) { return excede_t(t) - alvo; };
  double baixo = 0, alto = escala;
  while (f(alto) > 0) {
    baixo = alto;
    alto *= 2;
    if (!std::isfinite(alto)) return std::numeric_limits<double>::quiet_NaN();
  }
  std::uintmax_t passos = 200;
  const auto [a, b] = boost::math::tools::toms748_solve(
      f, baixo, alto, boost::math::tools::eps_tolerance<double>(50), passos);
  return (a + b) / 2;
}

}  // namespace

double quantil(const Uniformizada& u, double p) {
  return raiz([&u](double t) { return excede(u, t); }, 1 / u.taxa, p);
}

double excede(const std::vector<std::pair<double, Uniformizada>>& v, double t) {
  double soma = 0;
  for (const auto& [peso, u] : v) soma += peso * excede(u, t);
  return soma;
}

double quantil(const std::vector<std::pair<double, Uniformizada>>& v, double p) {
  double escala = std::numeric_limits<double>::infinity();
  for (const auto& [peso, u] : v) escala = std::min(escala, 1 / u.taxa);
  return raiz([&v](double t) { return excede(v, t); }, escala, p);
}

std::optional<Uniformizada> uniformizar(const Fases& f) {
  constexpr double kTrabalho = 1e9;  // stage-steps
  constexpr double kPassos = 1e7;    // the length of s
  const std::size_t n = f.taxa.size();
  Uniformizada u;
  double arcos = 0, soma = 0;
  u.taxa = 0;
  for (std::size_t i = 0; i < n; ++i) {
    u.taxa = std::max(u.taxa, f.taxa[i]);
    arcos += static_cast<double>(f.rota[i].size());
    soma += f.entrada[i];
  }
  if (!(soma > 0)) return u;
  if (!(u.taxa > 0)) return std::nullopt;
  std::vector<double> v = f.entrada, proximo(n);
  u.s.push_back(soma);
  while (soma > 1e-14) {
    const auto passos = static_cast<double>(u.s.size());
    if (passos * (static_cast<double>(n) + arcos) > kTrabalho || passos > kPassos) {
      return std::nullopt;
    }
    std::fill(proximo.begin(), proximo.end(), 0.0);
    for (std::size_t i = 0; i < n; ++i) {
      if (v[i] == 0) continue;
      const double sai = v[i] * f.taxa[i] / u.taxa;
      proximo[i] += v[i] - sai;
      for (const Destino& d : f.rota[i]) proximo[static_cast<std::size_t>(d.estacao)] += sai * d.p;
    }
    v.swap(proximo);
    soma = 0;
    for (double x : v) soma += x;
    u.s.push_back(soma);
  }
  return u;
}

Fases permanencia_mmc(double lambda, int c, double es) {
  const double espera = erlang_c(c, lambda * es);
  return {{espera, 1 - espera}, {c / es - lambda, 1 / es}, {{{1, 1}}, {}}};
}

}  // namespace tarvo::teoria
