// The traffic equations and QNA's variability equations are linear systems solved along the
// routing graph's components; the single-station formulas are the textbook ones.
#include "teoria/teoria.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "comum/failure.h"
#include "geral/distribuicao.h"
#include "teoria/grafo.h"

namespace tarvo::teoria {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

Medidas sem_valor() { return {NaN, NaN, NaN, NaN, NaN, NaN, NaN, NaN}; }

// Completes the means from the waiting line, by Little's law over the customers served.
Medidas de_fila(double lambda, double vazao, double ocupados, double servidores, double lq,
                double es) {
  Medidas m;
  m.chegada = lambda;
  m.vazao = vazao;
  m.utilizacao = ocupados / servidores;
  m.fila = lq;
  m.sistema = lq + ocupados;
  m.espera = lq / vazao;
  m.permanencia = m.espera + es;
  m.perda = lambda > 0 ? 1 - vazao / lambda : 0;  // nobody arrives, nobody is lost
  return m;
}

}  // namespace

const char* nome(Metodo m) {
  switch (m) {
    case Metodo::exata:
      return "exata";
    case Metodo::aproximada:
      return "aproximada";
    case Metodo::instavel:
      return "instavel";
    case Metodo::nenhum:
      break;
  }
  return "";
}

double erlang_b(int c, double a) {
  double b = 1;
  for (int k = 1; k <= c; ++k) b = a * b / (k + a * b);
  return b;
}

double erlang_c(int c, double a) {
  const double b = erlang_b(c, a), rho = a / c;
  return b / (1 - rho * (1 - b));
}

Medidas mmc(double lambda, int c, double es) {
  const double a = lambda * es, rho = a / c;
  return de_fila(lambda, lambda, a, c, erlang_c(c, a) * rho / (1 - rho), es);
}

std::vector<double> estados_mmck(double lambda, int c, std::int64_t k, double es) {
  // p_n is proportional to a^n / n! up to c and to a^c / c! rho^(n - c) beyond; the terms are
  // rescaled when they grow large, which leaves their ratios alone.
  const double a = lambda * es;
  std::vector<double> p(static_cast<std::size_t>(k) + 1);
  p[0] = 1;
  for (std::int64_t n = 1; n <= k; ++n) {
    const auto i = static_cast<std::size_t>(n);
    p[i] = p[i - 1] * a / static_cast<double>(std::min<std::int64_t>(n, c));
    if (p[i] > 1e250) {
      for (std::size_t j = 0; j <= i; ++j) p[j] *= 1e-250;
    }
  }
  double soma = 0;
  for (double x : p) soma += x;
  for (double& x : p) x /= soma;
  return p;
}

Medidas mmck(double lambda, int c, std::int64_t k, double es) {
  const std::vector<double> p = estados_mmck(lambda, c, k, es);
  double lq = 0;
  for (std::int64_t n = c + 1; n <= k; ++n) {
    lq += static_cast<double>(n - c) * p[static_cast<std::size_t>(n)];
  }
  const double vazao = lambda * (1 - p.back());
  return de_fila(lambda, vazao, vazao * es, c, lq, es);
}

Medidas mg1(double lambda, double es, double scv) {
  const double rho = lambda * es;
  return de_fila(lambda, lambda, rho, 1, rho * rho * (1 + scv) / (2 * (1 - rho)), es);
}

Medidas mginf(double lambda, double es) {
  Medidas m = de_fila(lambda, lambda, lambda * es, 1, 0, es);
  return m;
}

Medidas ggc(double lambda, int c, double es, double ca, double cs) {
  Medidas m = mmc(lambda, c, es);
  return de_fila(lambda, lambda, lambda * es, c, m.fila * (ca + cs) / 2, es);
}

namespace {

std::vector<double> taxas(const Rede& r, const Grafo& g, const std::vector<double>& passa) {
  const std::size_t n = r.estacoes.size();
  std::vector<double> b(n, 0), a(g.arcos.size());
  for (const Fonte& f : r.fontes) {
    for (const Destino& d : f.rota) b[static_cast<std::size_t>(d.estacao)] += f.taxa * d.p;
  }
  for (std::size_t k = 0; k < a.size(); ++k) {
    a[k] = g.arcos[k].p * passa[static_cast<std::size_t>(g.arcos[k].de)];
  }
  // A loop that loses no one and sends (to within the loader's tolerance) every customer back
  // into itself has no single solution, whether or not a customer ever reaches it.
  bool fechado = false;
  for (const std::vector<int>& c : g.componentes) {
    if (!g.laco[static_cast<std::size_t>(c[0])]) continue;
    bool sai = false;
    for (int s : c) {
      const auto u = static_cast<std::size_t>(s);
      double dentro = 0;
      for (std::size_t k = g.inicio[u]; k < g.inicio[u + 1]; ++k) {
        if (g.componente[static_cast<std::size_t>(g.arcos[k].para)] == g.componente[u]) {
          dentro += g.arcos[k].p;
        }
      }
      sai = sai || passa[u] < 1 || dentro < 1 - 1e-9;
    }
    fechado = fechado || !sai;
  }
  std::optional<std::vector<double>> x;
  if (!fechado) x = propagar(g, a, b);
  if (!x) falha(1, "tarvo-rep: as equacoes de trafego nao tem solucao unica (um laco sem saida)\n");
  return *x;
}

// The network's mean sojourn over the customers that leave it, where capacities turn some away.
// Exact when every source is Poisson, every station's means are exact, every station with a
// capacity sends all it serves out of the network, and every station upstream of one is a single
// exponential server without capacity, on no loop, from which one path only leads to it. The
// sojourn of a customer at such a ./M/1 station, and along the ./M/1 stations that follow, is
// independent of the departures before its own (by reversibility, it is the time an arrival
// spends in the reversed tandem, which later arrivals do not change); so is the capacity's state
// when it gets there, and the mean over the customers kept is, along their paths, the sum of each
// station's mean for those it serves.
std::optional<double> permanencia_com_perdas(const Rede& r, const Grafo& g, const Solucao& sol) {
  const std::size_t n = r.estacoes.size();
  for (const Fonte& f : r.fontes) {
    if (!f.exponencial) return std::nullopt;
  }
  for (const Estado& s : sol.estacoes) {
    if (s.metodo != Metodo::exata) return std::nullopt;
  }
  std::vector<std::vector<int>> antes(n);
  for (const Arco& a : g.arcos) {
    std::vector<int>& v = antes[static_cast<std::size_t>(a.para)];
    if (v.empty() || v.back() != a.de) v.push_back(a.de);
  }
  std::vector<char> acima_de_perda(n, 0);
  std::vector<std::size_t> visto(n, n);  // the capacity whose upstream last reached it
  std::vector<int> pilha;
  for (std::size_t k = 0; k < n; ++k) {
    if (!r.estacoes[k].capacidade) continue;
    if (g.inicio[k] != g.inicio[k + 1]) return std::nullopt;
    pilha = antes[k];
    while (!pilha.empty()) {
      const auto u = static_cast<std::size_t>(pilha.back());
      pilha.pop_back();
      const Estacao& e = r.estacoes[u];
      if (visto[u] == k || e.capacidade || !e.exponencial || e.infinitos || e.servidores != 1 ||
          g.laco[u]) {
        return std::nullopt;
      }
      visto[u] = k;
      acima_de_perda[u] = 1;
      pilha.insert(pilha.end(), antes[u].begin(), antes[u].end());
    }
  }
  // q: the chance that a customer served at a station leaves the network rather than being
  // turned away downstream, worked from the last stations back.
  std::vector<double> q(n, 1);
  auto saida = [](const std::vector<Destino>& rota) {
    double p = 0;
    for (const Destino& d : rota) p += d.p;
    return std::max(0.0, 1 - p);
  };
  for (auto c = g.componentes.rbegin(); c != g.componentes.rend(); ++c) {
    const auto u = static_cast<std::size_t>((*c)[0]);
    if (!acima_de_perda[u]) continue;
    double x = saida(r.estacoes[u].rota);
    for (std::size_t k = g.inicio[u]; k < g.inicio[u + 1]; ++k) {
      const auto j = static_cast<std::size_t>(g.arcos[k].para);
      x += g.arcos[k].p * (1 - sol.estacoes[j].m.perda) * q[j];
    }
    q[u] = x;
  }
  double soma = 0, saem = 0;
  for (const Fonte& f : r.fontes) saem += f.taxa * saida(f.rota);
  for (std::size_t i = 0; i < n; ++i) {
    const Medidas& m = sol.estacoes[i].m;
    if (!(m.vazao > 0)) continue;  // a station nobody reaches has no mean sojourn
    saem += m.vazao * saida(r.estacoes[i].rota);
    soma += m.vazao * q[i] * m.permanencia;
  }
  if (!(saem > 0)) return std::nullopt;
  return soma / saem;
}

// The law of the network's sojourn, where exact: every source Poisson, no capacity, and either
// one M/M/c station on no loop, whose sojourn is W + S; or single exponential servers on no loop,
// each fed by one station at most, so that no customer overtakes another along its path: the
// sojourns along a path are then independent exponentials of rates mu - lambda (Reich; Walrand
// and Varaiya for paths through a Jackson network that no one overtakes on), a time in stages.
std::optional<Fases> lei_permanencia(const Rede& r, const Grafo& g, const Solucao& sol) {
  const std::size_t n = r.estacoes.size();
  if (sol.metodo_rede != Metodo::exata || n == 0) return std::nullopt;
  double total = 0;
  std::vector<double> entrada(n, 0);
  for (const Fonte& f : r.fontes) {
    if (!f.exponencial) return std::nullopt;
    total += f.taxa;
    for (const Destino& d : f.rota) entrada[static_cast<std::size_t>(d.estacao)] += f.taxa * d.p;
  }
  if (!(total > 0)) return std::nullopt;
  for (double& x : entrada) x /= total;
  std::vector<char> alimentada(n, 0);
  for (const Arco& a : g.arcos) {
    if (alimentada[static_cast<std::size_t>(a.para)]++) return std::nullopt;
  }
  for (std::size_t i = 0; i < n; ++i) {
    const Estacao& e = r.estacoes[i];
    if (e.capacidade || !e.exponencial || e.infinitos || g.laco[i]) return std::nullopt;
    if (e.servidores != 1 && n > 1) return std::nullopt;
  }
  const Estacao& primeira = r.estacoes[0];
  if (n == 1 && primeira.servidores > 1) {
    Fases f = permanencia_mmc(sol.estacoes[0].m.chegada, primeira.servidores, primeira.media);
    for (double& x : f.entrada) x *= entrada[0];
    return f;
  }
  Fases f;
  f.entrada = std::move(entrada);
  for (std::size_t i = 0; i < n; ++i) {
    f.taxa.push_back(1 / r.estacoes[i].media - sol.estacoes[i].m.chegada);
    f.rota.push_back(r.estacoes[i].rota);
  }
  return f;
}

}  // namespace

std::vector<double> taxas(const Rede& r, const std::vector<double>& passa) {
  return taxas(r, grafo(r), passa);
}

Solucao resolver(const Rede& r) {
  const std::size_t n = r.estacoes.size();
  const Grafo g = grafo(r);
  // Losses change the flows they feed: the arrival rates and the loss probabilities are solved
  // together, by iteration from no losses.
  std::vector<double> passa(n, 1), lambda;
  std::vector<char> sem_taxa(n, 0);  // a loss no formula gives, or an unstable station
  for (int it = 0; it < 200; ++it) {
    lambda = taxas(r, g, passa);
    double mudou = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const Estacao& e = r.estacoes[i];
      if (!e.capacidade) continue;
      const int c = e.infinitos ? static_cast<int>(*e.capacidade) : e.servidores;
      double p = NaN;
      if ((e.exponencial || *e.capacidade == c) && *e.capacidade <= 1000000) {
        const Medidas m = mmck(lambda[i], c, *e.capacidade, e.media);
        p = m.perda;
      }
      if (std::isnan(p)) {
        sem_taxa[i] = 1;
        p = 0;
      }
      mudou = std::max(mudou, std::fabs(1 - p - passa[i]));
      passa[i] = 1 - p;
    }
    if (mudou < 1e-15) break;
  }
  // Departures of a station keep a Poisson input Poisson (Burke for M/M/c, and M/G/inf); a
  // network of such stations fed by Poisson sources has the product form. A station no customer
  // reaches sends none on, whatever it is.
  std::vector<char> quebra(n, 0);  // a stream that is not Poisson starts here
  for (const Fonte& f : r.fontes) {
    for (const Destino& d : f.rota) {
      if (d.p > 0 && !f.exponencial) quebra[static_cast<std::size_t>(d.estacao)] = 1;
    }
  }
  const std::vector<char> fonte_nao_poisson = quebra;
  for (std::size_t i = 0; i < n; ++i) {
    const Estacao& e = r.estacoes[i];
    if (lambda[i] > 0 && (e.capacidade || !(e.infinitos || e.exponencial))) quebra[i] = 1;
  }
  const std::vector<char> quebra_acima = acima(g, quebra);
  auto alimentada_por_poisson = [&](std::size_t s) {
    return !fonte_nao_poisson[s] && !quebra_acima[s];
  };

  Solucao sol;
  sol.estacoes.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const Estacao& e = r.estacoes[i];
    Estado& s = sol.estacoes[i];
    s.carga = lambda[i] * e.media / (e.infinitos ? 1 : e.servidores);
    if (!e.capacidade && !e.infinitos && s.carga >= 1) {
      s.metodo = Metodo::instavel;
      sem_taxa[i] = 1;
    }
  }
  // Downstream of a flow the theory cannot give, there is no arrival rate.
  std::vector<char> sem_fluxo(n, 0);
  for (std::size_t i = 0; i < n; ++i) sem_fluxo[i] = sem_taxa[i] && lambda[i] > 0;
  const std::vector<char> sem_chegada = acima(g, sem_fluxo);

  // QNA's arrival variability: c_a(j) = 1 - w_j + w_j sum over flows into j of their share of
  // its arrivals times their SCV; a flow split with probability p from a stream of SCV c has
  // p c + 1 - p; a departure stream has (1 - rho^2) c_a + rho^2 + rho^2 (c_s - 1) / sqrt(m).
  std::vector<double> rho(n, 0), vazao(n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    const Estacao& e = r.estacoes[i];
    vazao[i] = lambda[i] * passa[i];
    rho[i] = e.infinitos ? 0 : std::min(1.0, vazao[i] * e.media / e.servidores);
  }
  // The flows into each station: the sources' first, then the stations' in order.
  std::vector<std::vector<std::pair<const Fonte*, double>>> das_fontes(n);
  for (const Fonte& f : r.fontes) {
    for (const Destino& d : f.rota) {
      if (d.p > 0) das_fontes[static_cast<std::size_t>(d.estacao)].emplace_back(&f, d.p);
    }
  }
  std::vector<std::vector<std::size_t>> dos_arcos(n);
  for (std::size_t k = 0; k < g.arcos.size(); ++k) {
    dos_arcos[static_cast<std::size_t>(g.arcos[k].para)].push_back(k);
  }
  std::vector<double> a(g.arcos.size(), 0), b(n, 1);
  for (std::size_t j = 0; j < n; ++j) {
    if (!(lambda[j] > 0)) continue;
    auto parte = [&](std::size_t k) {
      const Arco& x = g.arcos[k];
      return vazao[static_cast<std::size_t>(x.de)] * x.p / lambda[j];
    };
    double soma2 = 0;
    for (const auto& [f, p] : das_fontes[j]) {
      const double x = f->taxa * p / lambda[j];
      soma2 += x * x;
    }
    for (std::size_t k : dos_arcos[j]) soma2 += parte(k) * parte(k);
    const double v = soma2 > 0 ? 1 / soma2 : 1;
    const double w = 1 / (1 + 4 * (1 - rho[j]) * (1 - rho[j]) * (v - 1));
    b[j] = 1 - w;
    for (const auto& [f, p] : das_fontes[j]) {
      b[j] += w * (f->taxa * p / lambda[j]) * (p * f->scv + 1 - p);
    }
    for (std::size_t k : dos_arcos[j]) {
      const Arco& x = g.arcos[k];
      const auto i = static_cast<std::size_t>(x.de);
      if (!(vazao[i] > 0)) continue;
      const Estacao& e = r.estacoes[i];
      const double m = e.infinitos ? 1 : e.servidores;
      const double beta = rho[i] * rho[i] * (1 + (e.scv - 1) / std::sqrt(m));
      a[k] = w * parte(k) * x.p * (1 - rho[i] * rho[i]);
      b[j] += w * parte(k) * (x.p * beta + 1 - x.p);
    }
  }
  const std::vector<double> ca = propagar(g, a, b).value_or(std::vector<double>(n, NaN));

  // A loss is an approximation where the station's input is not Poisson; the rates downstream of
  // one are approximations too.
  std::vector<char> perda_aproximada(n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    perda_aproximada[i] =
        lambda[i] > 0 && r.estacoes[i].capacidade && !(alimentada_por_poisson(i) && !g.laco[i]);
  }
  const std::vector<char> fluxo_aproximado = acima(g, perda_aproximada);
  for (std::size_t i = 0; i < n; ++i) {
    const Estacao& e = r.estacoes[i];
    Estado& s = sol.estacoes[i];
    s.m = sem_valor();
    if (s.metodo == Metodo::instavel) continue;
    if (sem_chegada[i] || sem_taxa[i]) continue;
    const double l = lambda[i];
    const bool poisson = alimentada_por_poisson(i);
    auto exata_se = [](bool x) { return x ? Metodo::exata : Metodo::aproximada; };
    s.metodo_fluxo = exata_se(!perda_aproximada[i] && !fluxo_aproximado[i]);
    if (e.capacidade) {
      const int c = e.infinitos ? static_cast<int>(*e.capacidade) : e.servidores;
      s.m = mmck(l, c, *e.capacidade, e.media);
      if (e.infinitos) s.m.utilizacao = s.m.vazao * e.media;
      s.metodo = exata_se(!perda_aproximada[i]);
      // Where there are as many servers as places, nobody ever waits, whatever the arrivals.
      if (*e.capacidade == c) {
        s.espera = sem_espera();
      } else if (s.metodo == Metodo::exata) {
        s.espera = espera_mmck(l, c, *e.capacidade, e.media);
      }
    } else if (e.infinitos) {
      // L = lambda E[S] and W = E[S] for any arrivals: as exact as the rate.
      s.m = mginf(l, e.media);
      s.metodo = s.metodo_fluxo;
      s.espera = sem_espera();
    } else if (e.exponencial && poisson) {
      // One server: Pollaczek-Khinchine with the service's own moments, which is M/M/1 for an
      // SCV of 1 and keeps a discretised exponential's second moment.
      s.m = e.servidores == 1 ? mg1(l, e.media, e.scv) : mmc(l, e.servidores, e.media);
      s.metodo = Metodo::exata;
      // An arrival, even one fed back, sees the stationary state (the arrival theorem of open
      // Jackson networks).
      s.espera = espera_mmc(l, e.servidores, e.media);
    } else if (e.servidores == 1 && poisson && !g.laco[i]) {
      s.m = mg1(l, e.media, e.scv);
      s.metodo = Metodo::exata;
    } else {
      s.m = ggc(l, e.servidores, e.media, ca[i], e.scv);
      s.metodo = Metodo::aproximada;
    }
  }

  const bool perde = std::any_of(r.estacoes.begin(), r.estacoes.end(),
                                 [](const Estacao& e) { return e.capacidade.has_value(); });
  if (perde) {
    if (const std::optional<double> w = permanencia_com_perdas(r, g, sol)) {
      sol.metodo_rede = Metodo::exata;
      sol.permanencia_rede = *w;
    }
    return sol;
  }
  // Without losses, the network's mean sojourn by Little's law over every customer generated.
  double total = 0, num = 0;
  Metodo m = Metodo::exata;
  for (const Fonte& f : r.fontes) total += f.taxa;
  for (std::size_t i = 0; i < n; ++i) {
    const Estado& s = sol.estacoes[i];
    if (s.metodo == Metodo::nenhum || s.metodo == Metodo::instavel) {
      m = Metodo::nenhum;
      break;
    }
    if (s.metodo == Metodo::aproximada) m = Metodo::aproximada;
    num += s.m.sistema;
  }
  if (m != Metodo::nenhum && total > 0) {
    sol.metodo_rede = m;
    sol.permanencia_rede = num / total;
  }
  sol.permanencia = lei_permanencia(r, g, sol);
  return sol;
}

Rede de_geral(const geral::Rede& g) {
  Rede r;
  auto rota = [](const geral::Rota& x) {
    std::vector<Destino> v;
    for (const geral::Destino& d : x) v.push_back({d.estacao, d.p});
    return v;
  };
  for (const geral::Fonte& f : g.fontes) {
    const double m = geral::media(f.intervalo);
    r.fontes.push_back({m > 0 ? 1 / m : 0, geral::scv(f.intervalo),
                        f.intervalo.tipo == geral::Dist::exponencial, rota(f.rota)});
  }
  for (const geral::Estacao& e : g.estacoes) {
    r.estacoes.push_back({e.servidores, e.infinitos, e.capacidade, geral::media(e.servico),
                          geral::scv(e.servico), e.servico.tipo == geral::Dist::exponencial,
                          rota(e.rota)});
  }
  return r;
}

}  // namespace tarvo::teoria
