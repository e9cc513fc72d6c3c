// Mean Value Analysis of closed product-form networks: the exact recursion over the populations,
// and Schweitzer's fixed point where the recursion would be too long.
#include <algorithm>
#include <cmath>

#include "teoria/teoria.h"

namespace tarvo::teoria {

namespace {

// The recursion, population vector by population vector in mixed radix, the last class
// varying slowest: the queue lengths one customer fewer of class c lie stride[c] vectors back,
// so only the last stride of the largest ones are kept, in a ring.
Mva exata(const Fechada& f, const std::vector<std::size_t>& ordem) {
  const std::size_t m = f.demanda.size(), cs = f.populacao.size();
  std::vector<std::size_t> passo(cs);
  std::size_t total = 1;
  for (std::size_t c : ordem) {
    passo[c] = total;
    total *= static_cast<std::size_t>(f.populacao[c]) + 1;
  }
  const std::size_t anel = passo[ordem.back()] + 1;
  std::vector<double> q(anel * m, 0);  // the total at each station, per vector kept
  std::vector<std::size_t> n(cs, 0);
  Mva r;
  r.vazao.assign(cs, 0);
  r.residencia.assign(m, std::vector<double>(cs, 0));
  for (std::size_t x = 1; x < total; ++x) {
    for (std::size_t c : ordem) {  // the next vector
      if (++n[c] <= static_cast<std::size_t>(f.populacao[c])) break;
      n[c] = 0;
    }
    double* aqui = &q[(x % anel) * m];
    std::fill(aqui, aqui + m, 0.0);
    for (std::size_t c = 0; c < cs; ++c) {
      if (n[c] == 0) continue;
      // The arrival theorem: a customer arriving at a station finds there what the network
      // with one customer fewer of its class has in the long run.
      const double* antes = &q[((x - passo[c]) % anel) * m];
      double ciclo = 0;
      for (std::size_t i = 0; i < m; ++i) {
        r.residencia[i][c] = f.demanda[i][c] * (f.atraso[i] ? 1 : 1 + antes[i]);
        ciclo += r.residencia[i][c];
      }
      r.vazao[c] = static_cast<double>(n[c]) / ciclo;
      for (std::size_t i = 0; i < m; ++i) aqui[i] += r.vazao[c] * r.residencia[i][c];
    }
  }
  return r;
}

// Schweitzer: one customer fewer of class c takes 1 / N_c of that class's own queue away,
// solved by successive substitution from the customers spread evenly.
Mva schweitzer(const Fechada& f) {
  const std::size_t m = f.demanda.size(), cs = f.populacao.size();
  Mva r;
  r.vazao.assign(cs, 0);
  r.residencia.assign(m, std::vector<double>(cs, 0));
  std::vector<std::vector<double>> q(m, std::vector<double>(cs, 0));
  for (std::size_t c = 0; c < cs; ++c) {
    double visitadas = 0;
    for (std::size_t i = 0; i < m; ++i) visitadas += f.demanda[i][c] > 0;
    for (std::size_t i = 0; i < m; ++i) {
      if (f.demanda[i][c] > 0) q[i][c] = static_cast<double>(f.populacao[c]) / visitadas;
    }
  }
  std::vector<double> soma(m);
  for (int it = 0; it < 100000; ++it) {
    for (std::size_t i = 0; i < m; ++i) {
      soma[i] = 0;
      for (double x : q[i]) soma[i] += x;
    }
    double mudou = 0;
    for (std::size_t c = 0; c < cs; ++c) {
      if (f.populacao[c] == 0) continue;
      const auto nc = static_cast<double>(f.populacao[c]);
      double ciclo = 0;
      for (std::size_t i = 0; i < m; ++i) {
        const double achada = soma[i] - q[i][c] / nc;
        r.residencia[i][c] = f.demanda[i][c] * (f.atraso[i] ? 1 : 1 + achada);
        ciclo += r.residencia[i][c];
      }
      r.vazao[c] = nc / ciclo;
      for (std::size_t i = 0; i < m; ++i) {
        const double novo = r.vazao[c] * r.residencia[i][c];
        mudou = std::max(mudou, std::fabs(novo - q[i][c]) / nc);
        q[i][c] = novo;
      }
    }
    if (mudou < 1e-14) break;
  }
  r.fila = q;
  r.metodo = Metodo::aproximada;
  return r;
}

}  // namespace

Mva mva(const Fechada& f) {
  const std::size_t m = f.demanda.size(), cs = f.populacao.size();
  double estados = 1, pares = 0;
  for (std::size_t c = 0; c < cs; ++c) {
    estados *= static_cast<double>(f.populacao[c]) + 1;
    for (std::size_t i = 0; i < m; ++i) pares += f.demanda[i][c] > 0;
  }
  std::vector<std::size_t> ordem;
  for (std::size_t c = 0; c < cs; ++c) {
    if (f.populacao[c] > 0) ordem.push_back(c);
  }
  if (ordem.empty()) {
    Mva r;
    r.metodo = Metodo::exata;
    r.vazao.assign(cs, 0);
    r.residencia.assign(m, std::vector<double>(cs, 0));
    r.fila = r.residencia;
    return r;
  }
  if (estados * pares > kMvaExata) return schweitzer(f);
  // The largest population varies slowest, which keeps the ring shortest.
  std::stable_sort(ordem.begin(), ordem.end(),
                   [&](std::size_t a, std::size_t b) { return f.populacao[a] < f.populacao[b]; });
  Mva r = exata(f, ordem);
  r.metodo = Metodo::exata;
  r.fila.assign(m, std::vector<double>(cs, 0));
  for (std::size_t i = 0; i < m; ++i) {
    for (std::size_t c = 0; c < cs; ++c) r.fila[i][c] = r.vazao[c] * r.residencia[i][c];
  }
  return r;
}

}  // namespace tarvo::teoria
