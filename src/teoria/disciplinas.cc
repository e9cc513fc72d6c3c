// The order of service among classes: priorities, non-preemptive and preemptive, at one station
// fed by Poisson streams, by the level of each class (classes of equal priority form one level).
#include <algorithm>
#include <map>

#include "teoria/teoria.h"

namespace tarvo::teoria {

namespace {

// Per priority level, from the highest: the load per server of that level and of those above it
// together, and the mean residual work E[S^2] / 2 arriving with them per unit of time.
struct Nivel {
  double carga = 0;    // sigma: this level and those above, per server
  double lambda = 0;   // of this level alone
  double residuo = 0;  // sum of lambda E[S^2] / 2, this level and those above
};

std::map<int, Nivel> niveis(const std::vector<Fluxo>& f, int c) {
  std::map<int, Nivel> v;
  for (const Fluxo& x : f) {
    Nivel& n = v[x.prioridade];
    n.carga += x.lambda * x.media / c;
    n.lambda += x.lambda;
    n.residuo += x.lambda * x.media * x.media * (1 + x.scv) / 2;
  }
  double carga = 0, residuo = 0;
  for (auto& [p, n] : v) {
    carga += n.carga;
    residuo += n.residuo;
    n.carga = carga;
    n.residuo = residuo;
  }
  return v;
}

// The load per server of the levels strictly above p.
double acima(const std::map<int, Nivel>& v, int p) {
  const auto i = v.find(p);
  return i == v.begin() ? 0 : std::prev(i)->second.carga;
}

}  // namespace

std::vector<double> espera_prioridade(const std::vector<Fluxo>& f, int c, double es) {
  const std::map<int, Nivel> v = niveis(f, c);
  // The mean work in service found by an arrival, which every level waits for: M/G/1's
  // residual service, or at M/M/c the chance that all are busy times the time to the first
  // completion.
  double w0 = v.empty() ? 0 : v.rbegin()->second.residuo;
  if (c > 1) {
    double a = 0;
    for (const Fluxo& x : f) a += x.lambda * es;
    w0 = erlang_c(c, a) * es / c;
  }
  std::vector<double> w;
  for (const Fluxo& x : f) {
    w.push_back(w0 / ((1 - acima(v, x.prioridade)) * (1 - v.at(x.prioridade).carga)));
  }
  return w;
}

std::vector<double> permanencia_preemptiva(const std::vector<Fluxo>& f, int c, double es) {
  const std::map<int, Nivel> v = niveis(f, c);
  std::vector<double> t;
  for (const Fluxo& x : f) {
    const Nivel& n = v.at(x.prioridade);
    const double s = acima(v, x.prioridade);
    if (c == 1) {
      // Its own service stretched by the arrivals above it, after the work of its level and
      // those above that it finds (M/G/1's, with the lower levels out of sight).
      t.push_back(x.media / (1 - s) + n.residuo / ((1 - s) * (1 - n.carga)));
      continue;
    }
    // With a common exponential service, the levels down to this one are an M/M/c of their
    // own: this level's mean number is the difference of two M/M/c's.
    const double com = n.carga * c / es, sem = s * c / es;
    t.push_back((mmc(com, c, es).sistema - mmc(sem, c, es).sistema) / n.lambda);
  }
  return t;
}

}  // namespace tarvo::teoria
