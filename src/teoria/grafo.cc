// Tarjan's components, found without recursion so that a long tandem cannot exhaust the stack;
// a component's block is solved densely when small, by BiCGSTAB when large (random routing makes
// components whose LU fills in nearly whole), by SparseLU where BiCGSTAB stalls.
#include "teoria/grafo.h"

#include <Eigen/Dense>
#include <Eigen/IterativeLinearSolvers>
#include <Eigen/Sparse>
#include <Eigen/SparseLU>
#include <algorithm>

namespace tarvo::teoria {

namespace {

constexpr std::size_t kDensa = 100;  // the largest component solved densely

// The block of component c as I - A over its own stations, numbered by local.
Eigen::SparseMatrix<double> bloco(const Grafo& g, const std::vector<double>& a,
                                  const std::vector<int>& c, const std::vector<int>& local) {
  std::vector<Eigen::Triplet<double>> t;
  for (std::size_t i = 0; i < c.size(); ++i) {
    t.emplace_back(static_cast<int>(i), static_cast<int>(i), 1.0);
    const auto s = static_cast<std::size_t>(c[i]);
    for (std::size_t k = g.inicio[s]; k < g.inicio[s + 1]; ++k) {
      const Arco& arco = g.arcos[k];
      if (g.componente[static_cast<std::size_t>(arco.para)] != g.componente[s]) continue;
      t.emplace_back(local[static_cast<std::size_t>(arco.para)], static_cast<int>(i), -a[k]);
    }
  }
  const auto m = static_cast<Eigen::Index>(c.size());
  Eigen::SparseMatrix<double> A(m, m);
  A.setFromTriplets(t.begin(), t.end());
  return A;
}

std::optional<Eigen::VectorXd> resolver_bloco(const Eigen::SparseMatrix<double>& A,
                                              const Eigen::VectorXd& b) {
  if (static_cast<std::size_t>(A.rows()) <= kDensa) {
    const Eigen::FullPivLU<Eigen::MatrixXd> lu{Eigen::MatrixXd(A)};
    if (!lu.isInvertible()) return std::nullopt;
    return Eigen::VectorXd(lu.solve(b));
  }
  Eigen::BiCGSTAB<Eigen::SparseMatrix<double>, Eigen::DiagonalPreconditioner<double>> it;
  it.setTolerance(1e-15);
  it.compute(A);
  Eigen::VectorXd x = it.solve(b);
  if (it.info() == Eigen::Success || (x.allFinite() && it.error() <= 1e-13)) return x;
  Eigen::SparseLU<Eigen::SparseMatrix<double>> lu;
  lu.compute(A);
  if (lu.info() != Eigen::Success) return std::nullopt;
  x = lu.solve(b);
  if (lu.info() != Eigen::Success || !x.allFinite()) return std::nullopt;
  return x;
}

}  // namespace

Grafo grafo(const Rede& r) {
  const std::size_t n = r.estacoes.size();
  Grafo g;
  g.inicio.assign(n + 1, 0);
  for (std::size_t i = 0; i < n; ++i) {
    for (const Destino& d : r.estacoes[i].rota) {
      if (d.p > 0) g.arcos.push_back({static_cast<int>(i), d.estacao, d.p});
    }
    g.inicio[i + 1] = g.arcos.size();
  }
  // Tarjan: a component is complete when its first station is left with nothing below it; the
  // components come out downstream first.
  constexpr int kNenhum = -1;
  std::vector<int> indice(n, kNenhum), baixo(n, 0), pilha;
  std::vector<char> na_pilha(n, 0);
  std::vector<std::pair<int, std::size_t>> chamadas;  // station, next arc to follow
  int proximo = 0;
  g.componente.assign(n, kNenhum);
  for (std::size_t raiz = 0; raiz < n; ++raiz) {
    if (indice[raiz] != kNenhum) continue;
    auto entrar = [&](int v) {
      const auto u = static_cast<std::size_t>(v);
      indice[u] = baixo[u] = proximo++;
      pilha.push_back(v);
      na_pilha[u] = 1;
      chamadas.emplace_back(v, g.inicio[u]);
    };
    entrar(static_cast<int>(raiz));
    while (!chamadas.empty()) {
      auto& [v, k] = chamadas.back();
      const auto u = static_cast<std::size_t>(v);
      if (k < g.inicio[u + 1]) {
        const auto w = static_cast<std::size_t>(g.arcos[k++].para);
        if (indice[w] == kNenhum) {
          entrar(static_cast<int>(w));
        } else if (na_pilha[w]) {
          baixo[u] = std::min(baixo[u], indice[w]);
        }
        continue;
      }
      if (baixo[u] == indice[u]) {
        std::vector<int> c;
        int w;
        do {
          w = pilha.back();
          pilha.pop_back();
          na_pilha[static_cast<std::size_t>(w)] = 0;
          g.componente[static_cast<std::size_t>(w)] = static_cast<int>(g.componentes.size());
          c.push_back(w);
        } while (w != v);
        std::reverse(c.begin(), c.end());
        g.componentes.push_back(std::move(c));
      }
      const int filho = baixo[u];
      chamadas.pop_back();
      if (!chamadas.empty()) {
        const auto pai = static_cast<std::size_t>(chamadas.back().first);
        baixo[pai] = std::min(baixo[pai], filho);
      }
    }
  }
  std::reverse(g.componentes.begin(), g.componentes.end());
  const int total = static_cast<int>(g.componentes.size());
  for (int& c : g.componente) c = total - 1 - c;
  g.laco.assign(n, 0);
  for (const std::vector<int>& c : g.componentes) {
    if (c.size() > 1) {
      for (int s : c) g.laco[static_cast<std::size_t>(s)] = 1;
    }
  }
  for (const Arco& a : g.arcos) {
    if (a.de == a.para) g.laco[static_cast<std::size_t>(a.de)] = 1;
  }
  return g;
}

std::vector<char> acima(const Grafo& g, const std::vector<char>& marca) {
  std::vector<char> v(marca.size(), 0);
  for (const std::vector<int>& c : g.componentes) {
    // What came in from earlier components, and on a loop the component's own marks.
    char x = 0;
    for (int s : c) x |= v[static_cast<std::size_t>(s)];
    if (g.laco[static_cast<std::size_t>(c[0])]) {
      for (int s : c) x |= marca[static_cast<std::size_t>(s)];
    }
    for (int s : c) {
      const auto u = static_cast<std::size_t>(s);
      v[u] = x;
      for (std::size_t k = g.inicio[u]; k < g.inicio[u + 1]; ++k) {
        v[static_cast<std::size_t>(g.arcos[k].para)] |= static_cast<char>(x | marca[u]);
      }
    }
  }
  return v;
}

std::optional<std::vector<double>> propagar(const Grafo& g, const std::vector<double>& a,
                                            std::vector<double> b) {
  std::vector<double> x(b.size(), 0);
  std::vector<int> local(b.size(), 0);
  for (const std::vector<int>& c : g.componentes) {
    const auto primeira = static_cast<std::size_t>(c[0]);
    if (c.size() == 1 && !g.laco[primeira]) {
      x[primeira] = b[primeira];
    } else {
      for (std::size_t i = 0; i < c.size(); ++i)
        local[static_cast<std::size_t>(c[i])] = static_cast<int>(i);
      Eigen::VectorXd y(static_cast<Eigen::Index>(c.size()));
      for (std::size_t i = 0; i < c.size(); ++i) {
        y(static_cast<Eigen::Index>(i)) = b[static_cast<std::size_t>(c[i])];
      }
      const std::optional<Eigen::VectorXd> z = resolver_bloco(bloco(g, a, c, local), y);
      if (!z) return std::nullopt;
      for (std::size_t i = 0; i < c.size(); ++i) {
        x[static_cast<std::size_t>(c[i])] = (*z)(static_cast<Eigen::Index>(i));
      }
    }
    // On to the later components.
    for (int s : c) {
      const auto u = static_cast<std::size_t>(s);
      for (std::size_t k = g.inicio[u]; k < g.inicio[u + 1]; ++k) {
        const auto j = static_cast<std::size_t>(g.arcos[k].para);
        if (g.componente[j] != g.componente[u]) b[j] += a[k] * x[u];
      }
    }
  }
  return x;
}

}  // namespace tarvo::teoria
