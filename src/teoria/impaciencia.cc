// Impatience and balking at exponential servers fed by Poisson arrivals: a birth-death chain,
// solved exactly but for a tail of less than 1e-15 that it leaves out.
#include <algorithm>
#include <cmath>
#include <limits>

#include "teoria/teoria.h"

namespace tarvo::teoria {

std::optional<Cadeia> impaciente(const Impaciente& x) {
  const double mu = 1 / x.media;
  const double theta = x.paciencia ? 1 / *x.paciencia : 0;
  const std::int64_t c = x.servidores;
  const auto listadas = static_cast<std::int64_t>(x.desistencia.size());
  // The chance that an arrival finding n present joins.
  auto junta = [&](std::int64_t n) {
    if (x.capacidade && n >= *x.capacidade) return 0.0;
    if (x.desistencia.empty()) return 1.0;
    const std::int64_t k = std::min(std::max<std::int64_t>(n - c, 0), listadas - 1);
    return x.desistencia[static_cast<std::size_t>(k)];
  };
  auto morte = [&](std::int64_t n) {
    return static_cast<double>(std::min(n, c)) * mu +
           static_cast<double>(std::max<std::int64_t>(n - c, 0)) * theta;
  };
  // Past the servers and the listed chances, births no longer rise and deaths no longer fall, so
  // the ratio r of two successive terms no longer rises either and the tail after a term p is
  // at most p r / (1 - r).
  const std::int64_t regular = c + std::max<std::int64_t>(listadas - 1, 0);
  std::vector<double> p{1};
  double soma = 1;
  for (std::int64_t n = 0;; ++n) {
    const double nasce = x.lambda * junta(n);
    if (!(nasce > 0)) break;
    const double d = morte(n + 1);
    if (!(d > 0)) return std::nullopt;  // nobody served nor leaving: the queue grows for ever
    if (p.size() >= kEstados) return std::nullopt;
    p.push_back(p.back() * nasce / d);
    soma += p.back();
    if (p.back() > 1e250) {
      for (double& y : p) y *= 1e-250;
      soma *= 1e-250;
    }
    if (n + 1 >= regular) {
      const double r = x.lambda * junta(n + 1) / morte(n + 2);
      if (r >= 1 && theta == 0) return std::nullopt;  // the ratio stays there for ever
      if (r < 1 && p.back() * r / (1 - r) < 1e-15 * soma) break;
    }
  }
  for (double& y : p) y /= soma;

  Cadeia v;
  v.estados = p.size();
  Medidas& m = v.m;
  double entram = 0, desistem = 0, lq = 0, l = 0, ocupados = 0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const auto n = static_cast<std::int64_t>(i);
    const double b = junta(n);
    entram += p[i] * x.lambda * b;
    if (!(x.capacidade && n >= *x.capacidade)) desistem += p[i] * x.lambda * (1 - b);
    lq += p[i] * static_cast<double>(std::max<std::int64_t>(n - c, 0));
    l += p[i] * static_cast<double>(n);
    ocupados += p[i] * static_cast<double>(std::min(n, c));
  }
  // A customer who joins behind j others waits for c mu + j theta (a service ends or one ahead
  // leaves) while its own patience runs at theta: it reaches service with probability
  // prod (c mu + j theta) / (c mu + (j + 1) theta) over j from its place down to 0, and, given
  // that, after a sum of exponential stages of rates c mu + (j + 1) theta.
  const double cmu = static_cast<double>(c) * mu;
  Fases f;
  double atendidos = 0, soma_espera = 0, chega = 1, tempo = 0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const auto n = static_cast<std::int64_t>(i);
    const double a = p[i] * x.lambda * junta(n);
    if (n < c) {
      atendidos += a;
      continue;
    }
    const auto j = static_cast<double>(n - c);
    const double taxa = cmu + (j + 1) * theta;
    chega *= (cmu + j * theta) / taxa;
    tempo += 1 / taxa;
    atendidos += a * chega;
    soma_espera += a * chega * tempo;
    if (!x.lei) continue;
    f.entrada.push_back(a * chega);
    f.taxa.push_back(taxa);
    f.rota.push_back(n == c ? std::vector<Destino>{}
                            : std::vector<Destino>{{static_cast<int>(n - c) - 1, 1}});
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  m.chegada = x.lambda;
  m.vazao = cmu > 0 ? ocupados * mu : 0;
  m.utilizacao = c > 0 ? ocupados / static_cast<double>(c) : nan;
  m.fila = lq;
  m.sistema = l;
  m.espera = atendidos > 0 ? soma_espera / atendidos : nan;
  m.permanencia = m.espera + x.media;
  const bool cheia = x.capacidade && static_cast<std::int64_t>(p.size()) == *x.capacidade + 1;
  m.perda = cheia ? p.back() : 0;
  m.desistencia = x.lambda > 0 ? desistem / x.lambda : 0;
  m.abandono = entram > 0 ? theta * lq / entram : 0;
  v.espera_todos = entram > 0 ? lq / entram : nan;
  if (atendidos > 0 && x.lei) {
    for (double& e : f.entrada) e /= atendidos;
    v.espera = uniformizar(f);
  }
  return v;
}

}  // namespace tarvo::teoria
