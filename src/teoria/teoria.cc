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

bool em_lotes(const Fonte& f) { return f.lote != 1 || f.lote2 != 1; }

Medidas sem_valor() { return {NaN, NaN, NaN, NaN, NaN, NaN, NaN, NaN, NaN, NaN, NaN}; }

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

// Whether the customers of the one class are served in the order they arrive: under priorities
// too, which do not reorder one class.
bool por_ordem(const Estacao& e) {
  return e.disciplina != geral::Disciplina::lifo && e.disciplina != geral::Disciplina::aleatoria &&
         e.disciplina != geral::Disciplina::ps;
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
    if (!f.exponencial || em_lotes(f)) return std::nullopt;
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
          !por_ordem(e) || g.laco[u]) {
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
    if (!f.exponencial || em_lotes(f)) return std::nullopt;
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
    if (e.capacidade || !e.exponencial || e.infinitos || g.laco[i] || !por_ordem(e)) {
      return std::nullopt;
    }
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

// The network as each class sees it: every station's service and route per class, and which
// classes are closed.
struct PorClasse {
  std::size_t k = 1;
  std::vector<char> fechada;
  std::vector<std::vector<DaClasse>> de;  // [station][class]
};

PorClasse por_classe(const Rede& r) {
  PorClasse v;
  v.k = std::max<std::size_t>(1, r.classes.size());
  v.fechada.assign(v.k, 0);
  for (std::size_t c = 0; c < r.classes.size(); ++c)
    v.fechada[c] = r.classes[c].populacao.has_value();
  for (const Estacao& e : r.estacoes) {
    if (e.classes.size() == v.k) {
      v.de.push_back(e.classes);
      continue;
    }
    v.de.emplace_back();
    for (std::size_t c = 0; c < v.k; ++c) {
      v.de.back().push_back(
          {e.media, e.scv, e.exponencial, e.rota, static_cast<int>(c), e.paciencia});
    }
  }
  return v;
}

// Whether every class index is one, and no customer changes between an open class and a closed
// one, nor from one closed class to another: a closed class keeps its population.
bool coerente(const Rede& r, const PorClasse& v) {
  const auto k = static_cast<int>(v.k);
  auto valida = [k](int c) { return c >= 0 && c < k; };
  for (const Fonte& f : r.fontes) {
    if (!valida(f.classe) || v.fechada[static_cast<std::size_t>(f.classe)]) return false;
  }
  for (const std::vector<DaClasse>& e : v.de) {
    for (std::size_t c = 0; c < v.k; ++c) {
      const int p = e[c].proxima;
      if (!valida(p)) return false;
      if (v.fechada[c] ? p != static_cast<int>(c) : v.fechada[static_cast<std::size_t>(p)] != 0) {
        return false;
      }
    }
  }
  for (std::size_t c = 0; c < r.classes.size(); ++c) {
    const int i = r.classes[c].inicio;
    if (v.fechada[c] && (i < 0 || static_cast<std::size_t>(i) >= r.estacoes.size())) return false;
  }
  return true;
}

// The stations a search from inicio reaches along rota(i), the routes out of station i.
template <typename Rotas>
std::vector<char> alcancadas(std::size_t n, std::vector<int> inicio, const Rotas& rota) {
  std::vector<char> visto(n, 0);
  for (int i : inicio) visto[static_cast<std::size_t>(i)] = 1;
  while (!inicio.empty()) {
    const auto i = static_cast<std::size_t>(inicio.back());
    inicio.pop_back();
    for (const Destino& d : rota(i)) {
      if (d.p > 0 && !visto[static_cast<std::size_t>(d.estacao)]++) inicio.push_back(d.estacao);
    }
  }
  return visto;
}

// The open classes' network with a station per (station, class), i * k + class: a customer of
// class c served at i goes on as its class leaves i. Only the routes its customers can take
// count: a class's entries no customer of it reaches, and the closed classes', route nowhere.
Rede expandida(const Rede& r, const PorClasse& v) {
  Rede x;
  auto destinos = [&](const std::vector<Destino>& rota, std::size_t c) {
    std::vector<Destino> d;
    for (const Destino& y : rota) {
      d.push_back({y.estacao * static_cast<int>(v.k) + static_cast<int>(c), y.p});
    }
    return d;
  };
  std::vector<int> entradas;
  for (const Fonte& f : r.fontes) {
    x.fontes.push_back(
        {f.taxa, f.scv, f.exponencial, destinos(f.rota, static_cast<std::size_t>(f.classe))});
    for (const Destino& d : x.fontes.back().rota) {
      if (d.p > 0) entradas.push_back(d.estacao);
    }
  }
  for (const std::vector<DaClasse>& e : v.de) {
    for (std::size_t c = 0; c < v.k; ++c) {
      Estacao s;
      s.rota = destinos(e[c].rota, static_cast<std::size_t>(e[c].proxima));
      x.estacoes.push_back(s);
    }
  }
  const std::vector<char> vistas =
      alcancadas(x.estacoes.size(), entradas,
                 [&x](std::size_t j) -> const std::vector<Destino>& { return x.estacoes[j].rota; });
  for (std::size_t j = 0; j < x.estacoes.size(); ++j) {
    if (!vistas[j]) x.estacoes[j].rota.clear();
  }
  return x;
}

// The service of a station's open customers taken together: the mixture of their classes'
// services by arrival rate; exponential when they all are, of one mean. A station no open
// customer reaches keeps its own.
struct Mistura {
  double media = 0, scv = 1;
  bool exponencial = true;
  int presentes = 0;  // open classes with arrivals
  std::size_t unica = 0;
};

Mistura mistura(const Estacao& e, const std::vector<DaClasse>& de, const PorClasse& v,
                const double* l) {
  Mistura m{e.media, e.scv, e.exponencial, 0, 0};
  double total = 0, s1 = 0, s2 = 0;
  bool exponencial = true;
  for (std::size_t c = 0; c < v.k; ++c) {
    if (v.fechada[c] || !(l[c] > 0)) continue;
    const DaClasse& d = de[c];
    if (m.presentes++ == 0) m.unica = c;
    exponencial = exponencial && d.exponencial && d.media == de[m.unica].media;
    total += l[c];
    s1 += l[c] * d.media;
    s2 += l[c] * d.media * d.media * (1 + d.scv);
  }
  if (m.presentes == 1) {
    const DaClasse& d = de[m.unica];
    return {d.media, d.scv, d.exponencial, 1, m.unica};
  }
  if (m.presentes > 1) {
    m.media = s1 / total;
    m.scv = m.media > 0 ? std::max(0.0, s2 / total / (m.media * m.media) - 1) : 0;
    m.exponencial = exponencial;
  }
  return m;
}

// The loss of a station with a capacity, where a formula gives it: M/M/c/K's when the service is
// exponential and the same for every class (the number present is then that chain whatever the
// order of service); with as many places as servers, Erlang's for any service; with processor
// sharing, also for any service, by its insensitivity.
std::optional<double> perda(const Estacao& e, const Mistura& m, double lambda) {
  const int c = e.infinitos ? static_cast<int>(*e.capacidade) : e.servidores;
  const bool ps = e.disciplina == geral::Disciplina::ps;
  if (!(m.exponencial || *e.capacidade == c || ps) || *e.capacidade > 1000000) return std::nullopt;
  return mmck(lambda, c, *e.capacidade, m.media).perda;
}

// The visits per cycle of closed class c to each station, a cycle ending on each return to its
// station inicio; none when the class can wander where it never comes back from.
std::optional<std::vector<double>> visitas(const Rede& r, const PorClasse& v, std::size_t c) {
  const int inicio = r.classes[c].inicio;
  Rede y;
  y.fontes.push_back({1, 1, true, {{inicio, 1}}});
  double volta = 0;
  const std::vector<char> vistas =
      alcancadas(r.estacoes.size(), {inicio},
                 [&](std::size_t i) -> const std::vector<Destino>& { return v.de[i][c].rota; });
  for (std::size_t i = 0; i < r.estacoes.size(); ++i) {
    Estacao s;
    for (const Destino& d : v.de[i][c].rota) {
      if (d.estacao != inicio && vistas[i]) s.rota.push_back(d);
    }
    y.estacoes.push_back(s);
  }
  std::vector<double> x;
  try {
    x = taxas(y, std::vector<double>(r.estacoes.size(), 1.0));
  } catch (const Falha&) {
    return std::nullopt;
  }
  for (std::size_t i = 0; i < x.size(); ++i) {
    for (const Destino& d : v.de[i][c].rota) {
      if (d.estacao == inicio) volta += x[i] * d.p;
    }
  }
  if (std::fabs(volta - 1) > 1e-9) return std::nullopt;
  return x;
}

// The service order a station really has: with infinitely many servers nobody waits, and
// priorities among the customers of one class are FIFO.
geral::Disciplina efetiva(const Estacao& e, int classes) {
  using geral::Disciplina;
  if (e.infinitos) return Disciplina::fifo;
  if (classes <= 1 && (e.disciplina == Disciplina::prioridade ||
                       e.disciplina == Disciplina::prioridade_preemptiva)) {
    return Disciplina::fifo;
  }
  return e.disciplina;
}

// Whether a station's customers may leave its queue or decline to join it.
bool tem_impaciencia(const Estacao& e, const std::vector<DaClasse>& de) {
  return !e.desistencia.empty() || e.paciencia.media ||
         std::any_of(de.begin(), de.end(), [](const DaClasse& d) { return d.paciencia.media; });
}

// What a station's impatience and balking allow: the birth-death chain of the number present
// needs one exponential service mean and one patience (exponential, or none) for all the open
// customers there, and FIFO.
struct Impaciencia {
  bool tem = false;
  bool cadeia = false;
  bool limitada = false;  // someone waiting leaves sooner or later: the queue cannot grow for ever
  std::optional<double> paciencia;
};

Impaciencia impaciencia(const Estacao& e, const std::vector<DaClasse>& de, const PorClasse& v,
                        const double* l, const Mistura& m) {
  Impaciencia x;
  x.tem = tem_impaciencia(e, de);
  std::optional<Paciencia> comum;
  bool iguais = true;
  for (std::size_t c = 0; c < v.k; ++c) {
    if (v.fechada[c] || !(l[c] > 0)) continue;
    const Paciencia& p = de[c].paciencia;
    if (!comum) comum = p;
    iguais = iguais && p == *comum;
    x.limitada = x.limitada || p.media.has_value();
  }
  if (!comum) comum = e.paciencia;
  x.paciencia = comum->media;
  x.cadeia = x.tem && iguais && (!comum->media || comum->exponencial) && m.exponencial &&
             !e.infinitos && efetiva(e, m.presentes) == geral::Disciplina::fifo;
  return x;
}

Impaciente cadeia_de(const Estacao& e, const Impaciencia& x, const Mistura& m, double lambda) {
  return {lambda, e.servidores, m.media, x.paciencia, e.desistencia, e.capacidade};
}

// M^X/G/1: batches of X customers at Poisson instants (rate lambda / E[X]) into one server, FIFO.
// A customer waits for the work found by its batch, M/G/1's with the batch's total service as
// the service, then for the customers ahead of it in its batch, of mean E[X(X - 1)] / (2 E[X]).
Medidas mxg1(double lambda, double es, double scv, double x1, double x2) {
  const double lote = lambda / x1, rho = lambda * es;
  const double trabalho2 = x1 * scv * es * es + x2 * es * es;  // E[B^2] of a batch's work
  const double w = lote * trabalho2 / (2 * (1 - rho)) + es * (x2 - x1) / (2 * x1);
  return de_fila(lambda, lambda, rho, 1, lambda * w, es);
}

// One class's means at a station from its mean wait and sojourn there (NaN where unknown).
Medidas da_classe(const Medidas& m, double chegada, double passa, double es, double por_servidor,
                  double espera, double permanencia) {
  Medidas x;
  x.chegada = chegada;
  x.vazao = chegada * passa;
  x.utilizacao = x.vazao * es / por_servidor;
  x.perda = chegada > 0 ? m.perda : NaN;
  x.abandono = chegada > 0 ? m.abandono : NaN;
  x.desistencia = chegada > 0 ? m.desistencia : NaN;
  x.bloqueio = m.bloqueio;
  x.espera = chegada > 0 ? espera : NaN;
  x.permanencia = chegada > 0 ? permanencia : NaN;
  x.fila = chegada > 0 ? x.vazao * espera : 0;
  x.sistema = chegada > 0 ? x.vazao * permanencia : 0;
  return x;
}

// The network's mean sojourn and its law, with one open class.
void rede_aberta(const Rede& r, const Grafo& g, Solucao& sol) {
  const std::size_t n = r.estacoes.size();
  // Whether those who leave a queue or decline to join count, and with which time, is a matter
  // of definition: no value.
  for (const Estacao& e : r.estacoes) {
    if (tem_impaciencia(e, {})) return;
  }
  const bool perde = std::any_of(r.estacoes.begin(), r.estacoes.end(),
                                 [](const Estacao& e) { return e.capacidade.has_value(); });
  if (perde) {
    if (const std::optional<double> w = permanencia_com_perdas(r, g, sol)) {
      sol.metodo_rede = Metodo::exata;
      sol.permanencia_rede = *w;
    }
    return;
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
}

// The closed classes by Mean Value Analysis, the open ones they meet taking their share of each
// station first: a closed customer finds a single server slowed by 1 / (1 - U), U the open
// classes' utilisation there, and an open customer the closed ones' queue as well (the usual
// reduction of a mixed product-form network, exact there).
void fechar(const Rede& r, const PorClasse& pc, const std::vector<std::vector<double>>& vis,
            const std::vector<double>& lx, Solucao& sol) {
  const std::size_t n = r.estacoes.size(), nk = pc.k;
  std::vector<std::size_t> cls, sts;
  for (std::size_t c = 0; c < nk; ++c) {
    if (pc.fechada[c]) cls.push_back(c);
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (std::any_of(cls.begin(), cls.end(), [&](std::size_t c) { return vis[c][i] > 0; })) {
      sts.push_back(i);
    }
  }
  Fechada f;
  for (std::size_t c : cls) f.populacao.push_back(*r.classes[c].populacao);
  std::vector<double> uo(sts.size(), 0);
  for (std::size_t ii = 0; ii < sts.size(); ++ii) {
    const std::size_t i = sts[ii];
    for (std::size_t c = 0; c < nk; ++c) {
      if (!pc.fechada[c]) uo[ii] += lx[i * nk + c] * pc.de[i][c].media;
    }
    f.atraso.push_back(r.estacoes[i].infinitos);
    f.demanda.emplace_back();
    for (std::size_t c : cls) {
      f.demanda.back().push_back(vis[c][i] * pc.de[i][c].media / (f.atraso[ii] ? 1 : 1 - uo[ii]));
    }
  }
  const Mva res = mva(f);
  for (std::size_t j = 0; j < cls.size(); ++j) {
    const double x = res.vazao[j];
    sol.classes[cls[j]] = {res.metodo, NaN, x, static_cast<double>(f.populacao[j]) / x};
  }
  for (std::size_t ii = 0; ii < sts.size(); ++ii) {
    const std::size_t i = sts[ii];
    const Estacao& e = r.estacoes[i];
    const bool atraso = f.atraso[ii] != 0;
    const bool ps = !atraso && e.disciplina == geral::Disciplina::ps;
    double qc = 0;
    for (double q : res.fila[ii]) qc += q;
    Estado& s = sol.estacoes[i];
    Medidas tot{0, 0, 0, 0, 0, 0, 0, 0};
    Medidas nada = tot;
    for (std::size_t c = 0, j = 0; c < nk; ++c) {
      const DaClasse& d = pc.de[i][c];
      double chegada = 0, t = 0;
      if (pc.fechada[c]) {
        const double visitas_aqui = vis[c][i];
        chegada = res.vazao[j] * visitas_aqui;
        t = visitas_aqui > 0 ? res.residencia[ii][j] / visitas_aqui : NaN;
        ++j;
      } else {
        chegada = lx[i * nk + c];
        t = atraso ? d.media : d.media * (1 + qc) / (1 - uo[ii]);
      }
      if (!(chegada > 0)) continue;
      const double w = atraso ? 0 : ps ? NaN : t - d.media;
      Estado::DaClasse& x = s.classes[c];
      x.m = da_classe(nada, chegada, 1, d.media, 1, w, t);
      x.metodo = res.metodo;
      if (pc.fechada[c]) x.metodo_fluxo = res.metodo;
      tot.chegada += x.m.chegada;
      tot.vazao += x.m.vazao;
      tot.utilizacao += x.m.utilizacao;
      tot.fila += x.m.fila;
      tot.sistema += x.m.sistema;
    }
    tot.espera = tot.fila / tot.vazao;
    tot.permanencia = tot.sistema / tot.vazao;
    s.m = tot;
    s.metodo = s.metodo_fluxo = res.metodo;
  }
}

}  // namespace

std::vector<double> taxas(const Rede& r, const std::vector<double>& passa) {
  const PorClasse v = por_classe(r);
  if (v.k == 1 && !v.fechada[0]) return taxas(r, grafo(r), passa);
  if (!coerente(r, v)) falha(1, "tarvo-rep: as classes da rede nao sao coerentes\n");
  const Rede x = expandida(r, v);
  std::vector<double> px(x.estacoes.size());
  for (std::size_t j = 0; j < px.size(); ++j) px[j] = passa[j / v.k];
  const std::vector<double> lx = taxas(x, grafo(x), px);
  std::vector<double> l(r.estacoes.size(), 0);
  for (std::size_t j = 0; j < lx.size(); ++j) l[j / v.k] += lx[j];
  return l;
}

Solucao resolver(const Rede& r) {
  using geral::Disciplina;
  if (varia(r)) return longo_prazo(r);
  const std::size_t n = r.estacoes.size();
  const PorClasse pc = por_classe(r);
  const std::size_t nk = pc.k;
  const bool declaradas = !r.classes.empty();
  Solucao sol;
  sol.estacoes.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const Estacao& e = r.estacoes[i];
    sol.estacoes[i].servidores = e.infinitos ? NaN : e.servidores;
  }
  for (const Classe& c : r.classes) sol.nomes.push_back(c.nome);
  sol.classes.assign(r.classes.size(), NaRede{Metodo::nenhum, NaN, NaN, NaN});
  if (!coerente(r, pc)) {
    for (Estado& s : sol.estacoes) s.m = sem_valor();
    return sol;
  }
  // The open classes' rates, per station and class: with one open class, the network's own.
  const bool simples = nk == 1 && !pc.fechada[0];
  const Rede xr = simples ? Rede{} : expandida(r, pc);
  const Rede& rx = simples ? r : xr;
  const Grafo gx = grafo(rx);

  // Losses change the flows they feed: the arrival rates and the loss probabilities are solved
  // together, by iteration from no losses.
  std::vector<double> passa(n, 1), px(n * nk, 1), lx, lambda(n);
  std::vector<Mistura> mist(n);
  std::vector<char> sem_taxa(n, 0);  // a loss no formula gives, or an unstable station
  std::vector<Impaciencia> imp(n);
  for (int it = 0; it < 200; ++it) {
    lx = taxas(rx, gx, px);
    for (std::size_t i = 0; i < n; ++i) {
      lambda[i] = lx[i * nk];
      for (std::size_t c = 1; c < nk; ++c) lambda[i] += lx[i * nk + c];
    }
    double mudou = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const Estacao& e = r.estacoes[i];
      const bool impaciente_aqui = tem_impaciencia(e, pc.de[i]);
      if (!e.capacidade && !impaciente_aqui) continue;
      mist[i] = mistura(e, pc.de[i], pc, &lx[i * nk]);
      double p = NaN;
      if (impaciente_aqui) {
        // Those who leave the queue or decline to join leave the network, as the lost do.
        imp[i] = impaciencia(e, pc.de[i], pc, &lx[i * nk], mist[i]);
        Impaciente x = cadeia_de(e, imp[i], mist[i], lambda[i]);
        x.lei = false;
        const std::optional<Cadeia> ch = imp[i].cadeia ? impaciente(x) : std::nullopt;
        if (ch) p = lambda[i] > 0 ? 1 - ch->m.vazao / lambda[i] : 0;
      } else {
        p = perda(e, mist[i], lambda[i]).value_or(NaN);
      }
      if (std::isnan(p)) {
        sem_taxa[i] = 1;
        p = 0;
      }
      mudou = std::max(mudou, std::fabs(1 - p - passa[i]));
      passa[i] = 1 - p;
      for (std::size_t c = 0; c < nk; ++c) px[i * nk + c] = passa[i];
    }
    if (mudou < 1e-15) break;
  }
  for (std::size_t i = 0; i < n; ++i) mist[i] = mistura(r.estacoes[i], pc.de[i], pc, &lx[i * nk]);

  // The closed classes' visits; the stations they visit, and whether Mean Value Analysis holds
  // there: one server, FIFO (or an order blind to the classes and the services) with one
  // exponential service for all, or processor sharing; or infinitely many servers.
  std::vector<std::vector<double>> vis(nk);
  std::vector<char> mista(n, 0);
  std::vector<int> presentes(n);
  bool fechadas = false, mva_vale = true;
  for (std::size_t c = 0; c < nk; ++c) {
    if (!pc.fechada[c]) continue;
    fechadas = true;
    std::optional<std::vector<double>> x2 = visitas(r, pc, c);
    if (!x2) {
      mva_vale = false;
      continue;
    }
    vis[c] = std::move(*x2);
    double demanda = 0;
    for (std::size_t i = 0; i < n; ++i) {
      if (vis[c][i] > 0) mista[i] = 1;
      demanda += vis[c][i] * pc.de[i][c].media;
    }
    if (!(demanda > 0)) mva_vale = false;
  }
  for (std::size_t i = 0; i < n; ++i) {
    presentes[i] = mist[i].presentes;
    if (!mista[i]) continue;
    const Estacao& e = r.estacoes[i];
    double media = NaN;
    bool exponencial = true;
    for (std::size_t c = 0; c < nk; ++c) {
      const bool vem = pc.fechada[c] ? !vis[c].empty() && vis[c][i] > 0 : lx[i * nk + c] > 0;
      if (!vem) continue;
      presentes[i] += pc.fechada[c];
      const DaClasse& d = pc.de[i][c];
      if (std::isnan(media)) media = d.media;
      exponencial = exponencial && d.exponencial && d.media == media;
    }
    const Disciplina d = efetiva(e, presentes[i]);
    // With several classes, an order other than FIFO changes which class leaves next.
    const bool serve =
        (e.infinitos && !imp[i].tem) ||
        (e.servidores == 1 &&
         (d == Disciplina::ps || (exponencial && (d == Disciplina::fifo || presentes[i] <= 1))));
    if (e.capacidade || !serve) mva_vale = false;
  }

  // Departures of a station keep a Poisson input Poisson (Burke for M/M/c, and M/G/inf; Kelly's
  // quasi-reversible queues: processor sharing, FIFO with one exponential service for all its
  // classes, and the stations of a closed product-form network); a network of such stations fed
  // by Poisson sources has the product form. A station no customer reaches sends none on,
  // whatever it is.
  std::vector<char> quebra(n, 0);   // a stream that is not Poisson starts here
  std::vector<char> do_lote(n, 0);  // fed by a source of batches
  for (const Fonte& f : r.fontes) {
    for (const Destino& d : f.rota) {
      if (d.p > 0 && (!f.exponencial || em_lotes(f)))
        quebra[static_cast<std::size_t>(d.estacao)] = 1;
      if (d.p > 0 && em_lotes(f)) do_lote[static_cast<std::size_t>(d.estacao)] = 1;
    }
  }
  const std::vector<char> fonte_nao_poisson = quebra;
  for (std::size_t i = 0; i < n; ++i) {
    const Estacao& e = r.estacoes[i];
    if (!(lambda[i] > 0)) continue;
    const Disciplina d = efetiva(e, presentes[i]);
    bool quebra_aqui = e.capacidade.has_value() || (mista[i] && !mva_vale) || imp[i].tem;
    if (!e.infinitos && d == Disciplina::fifo) quebra_aqui = quebra_aqui || !mist[i].exponencial;
    if (d == Disciplina::lifo || d == Disciplina::aleatoria) {
      quebra_aqui = quebra_aqui || !mist[i].exponencial || presentes[i] > 1;
    }
    if (d == Disciplina::prioridade || d == Disciplina::prioridade_preemptiva) quebra_aqui = true;
    if (quebra_aqui) quebra[i] = 1;
  }

  // The network of the stations as the open customers pass them, all classes together: each
  // station's service the mixture of its classes', its routes weighted by the classes' flows.
  Rede agregada;
  if (!simples) {
    agregada.fontes = r.fontes;
    for (std::size_t i = 0; i < n; ++i) {
      Estacao e = r.estacoes[i];
      e.classes.clear();
      e.media = mist[i].media;
      e.scv = mist[i].scv;
      e.exponencial = mist[i].exponencial;
      e.rota.clear();
      if (mist[i].presentes == 1) {
        e.rota = pc.de[i][mist[i].unica].rota;
      } else if (mist[i].presentes > 1) {
        for (std::size_t c = 0; c < nk; ++c) {
          if (pc.fechada[c]) continue;
          for (const Destino& d : pc.de[i][c].rota) {
            const double p = lx[i * nk + c] * d.p / lambda[i];
            auto j = std::find_if(e.rota.begin(), e.rota.end(),
                                  [&](const Destino& y) { return y.estacao == d.estacao; });
            if (j == e.rota.end()) {
              e.rota.push_back({d.estacao, p});
            } else {
              j->p += p;
            }
          }
        }
      }
      agregada.estacoes.push_back(e);
    }
  }
  const Rede& ag = simples ? r : agregada;
  const Grafo ga = simples ? Grafo{} : grafo(ag);
  const Grafo& g = simples ? gx : ga;

  std::vector<char> quebra_acima;
  auto alimentada_por_poisson = [&](std::size_t s) {
    return !fonte_nao_poisson[s] && !quebra_acima[s];
  };

  for (std::size_t i = 0; i < n; ++i) {
    const Estacao& e = ag.estacoes[i];
    Estado& s = sol.estacoes[i];
    // A station nobody reaches carries no load, even with no servers (closed for a while).
    s.carga = lambda[i] > 0 ? lambda[i] * e.media / (e.infinitos ? 1 : e.servidores) : 0;
    // Balking leaves the load of long queues at lambda times the last chance of joining;
    // patience bounds the queue whatever the load.
    const double fica = imp[i].limitada ? 0 : e.desistencia.empty() ? 1 : e.desistencia.back();
    if (!e.capacidade && !e.infinitos && s.carga * fica >= 1) {
      s.metodo = Metodo::instavel;
      sem_taxa[i] = 1;
    }
  }
  // No value where impatience or balking meet a stream that is not Poisson (a loop, a batch, a
  // station upstream that breaks it), where a capacity gets batches, or where a station blocks
  // another: theory has no exact value there, and none is approximated. Stations downstream of
  // batches get their rates alone, but for one server fed by sources alone (M^X/G/1).
  const std::vector<char> lote = [&] {
    std::vector<char> v = acima(g, do_lote);
    for (std::size_t i = 0; i < n; ++i) v[i] = v[i] || do_lote[i];
    return v;
  }();
  {
    const std::vector<char> q = acima(g, quebra);
    for (std::size_t i = 0; i < n; ++i) {
      if (!(lambda[i] > 0)) continue;
      const Estacao& e = r.estacoes[i];
      if (imp[i].tem && (fonte_nao_poisson[i] || q[i] || g.laco[i] || mista[i])) sem_taxa[i] = 1;
      if (lote[i] && e.capacidade) sem_taxa[i] = 1;
      for (std::size_t c = 0; c < nk; ++c) {
        if (!(lx[i * nk + c] > 0)) continue;
        for (const Destino& d : pc.de[i][c].rota) {
          const Estacao& j = r.estacoes[static_cast<std::size_t>(d.estacao)];
          if (d.p > 0 && j.bloqueia && j.capacidade) {
            sem_taxa[i] = sem_taxa[static_cast<std::size_t>(d.estacao)] = 1;
          }
        }
      }
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
    const Estacao& e = ag.estacoes[i];
    vazao[i] = lambda[i] * passa[i];
    rho[i] = e.infinitos ? 0 : std::min(1.0, vazao[i] * e.media / e.servidores);
  }
  // The flows into each station: the sources' first, then the stations' in order.
  std::vector<std::vector<std::pair<const Fonte*, double>>> das_fontes(n);
  for (const Fonte& f : ag.fontes) {
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
      const Estacao& e = ag.estacoes[i];
      const double m = e.infinitos ? 1 : e.servidores;
      const double beta = rho[i] * rho[i] * (1 + (e.scv - 1) / std::sqrt(m));
      a[k] = w * parte(k) * x.p * (1 - rho[i] * rho[i]);
      b[j] += w * parte(k) * (x.p * beta + 1 - x.p);
    }
  }
  const std::vector<double> ca = propagar(g, a, b).value_or(std::vector<double>(n, NaN));

  // The stations whose open customers the closed ones meet must see Poisson streams for Mean
  // Value Analysis to hold; where they do not, those stations break the streams they send on.
  std::vector<char> perda_aproximada(n, 0), fluxo_aproximado;
  for (int passo = 0; passo < 2; ++passo) {
    std::vector<char> q = quebra;
    for (std::size_t i = 0; i < n; ++i) {
      if (mista[i] && !mva_vale && lambda[i] > 0) q[i] = 1;
    }
    quebra_acima = acima(g, q);
    // A loss is an approximation where the station's input is not Poisson; the rates downstream
    // of one are approximations too.
    for (std::size_t i = 0; i < n; ++i) {
      perda_aproximada[i] =
          lambda[i] > 0 && r.estacoes[i].capacidade && !(alimentada_por_poisson(i) && !g.laco[i]);
    }
    fluxo_aproximado = acima(g, perda_aproximada);
    bool vale = mva_vale;
    for (std::size_t i = 0; i < n; ++i) {
      if (mista[i] && lambda[i] > 0 &&
          (!alimentada_por_poisson(i) || sem_chegada[i] || sem_taxa[i] || fluxo_aproximado[i])) {
        vale = false;
      }
    }
    if (vale == mva_vale) break;
    mva_vale = vale;
  }

  for (std::size_t i = 0; i < n; ++i) {
    const Estacao& e = ag.estacoes[i];
    Estado& s = sol.estacoes[i];
    s.m = sem_valor();
    const double por_servidor = e.infinitos ? 1 : e.servidores;
    const double l = lambda[i];
    // Per open class, the mean wait and sojourn where the discipline gives them.
    std::vector<double> wk(nk, NaN), tk(nk, NaN);
    auto por_classe_fim = [&]() {
      if (!declaradas) return;
      s.classes.resize(nk);
      for (std::size_t c = 0; c < nk; ++c) {
        if (pc.fechada[c]) {
          // A closed class where it never goes: nothing, as exact as its visits.
          const Metodo m = pc.fechada[c] && !vis[c].empty() ? Metodo::exata : Metodo::nenhum;
          s.classes[c] = {da_classe(s.m, 0, 1, 0, 1, NaN, NaN), m, m};
          continue;
        }
        s.classes[c] = {
            da_classe(s.m, lx[i * nk + c], passa[i], pc.de[i][c].media, por_servidor, wk[c], tk[c]),
            s.metodo, s.metodo_fluxo};
        if (s.metodo_fluxo == Metodo::nenhum || s.metodo == Metodo::instavel) {
          s.classes[c].m = sem_valor();
        }
      }
    };
    if (s.metodo == Metodo::instavel || sem_chegada[i] || sem_taxa[i]) {
      por_classe_fim();
      continue;
    }
    const bool poisson = alimentada_por_poisson(i);
    auto exata_se = [](bool x) { return x ? Metodo::exata : Metodo::aproximada; };
    s.metodo_fluxo = exata_se(!perda_aproximada[i] && !fluxo_aproximado[i]);
    // The flows alone, where the means have no value.
    const Medidas so_fluxos = [&] {
      Medidas m = sem_valor();
      m.chegada = l;
      m.vazao = l;
      m.utilizacao = l * e.media / por_servidor;
      m.perda = 0;
      return m;
    }();
    const Disciplina d = efetiva(e, presentes[i]);
    const bool cega = d == Disciplina::fifo || d == Disciplina::lifo || d == Disciplina::aleatoria;
    // Which class LIFO or random order serves next changes where it goes next: back to this
    // station, that changes its own arrivals.
    const bool reordena = d != Disciplina::fifo && cega && presentes[i] > 1;
    if (!(l > 0) && !e.infinitos && e.servidores == 0) {
      // Closed, and nobody comes: nobody waits or is served.
      s.m = de_fila(0, 0, 0, 1, 0, e.media);
      s.m.utilizacao = NaN;
      s.metodo = Metodo::exata;
    } else if (imp[i].tem) {
      // Fed by Poisson streams on no loop, with the chain's conditions (or no value at all).
      const Cadeia ch = *impaciente(cadeia_de(e, imp[i], mist[i], l));
      s.m = ch.m;
      s.espera = ch.espera;
      s.metodo = Metodo::exata;
      s.impaciente = true;
    } else if (lote[i] && !e.infinitos) {
      s.m = so_fluxos;
      // Whole batches, from Poisson sources that send every customer here, and from no station.
      bool inteiros = simples && !g.laco[i] && e.servidores == 1 && d == Disciplina::fifo;
      double lotes = 0, x1 = 0, x2 = 0;  // batches per unit of time, times E[X] and E[X^2]
      for (const Arco& y : g.arcos) inteiros = inteiros && y.para != static_cast<int>(i);
      for (const Fonte& f : r.fontes) {
        for (const Destino& y : f.rota) {
          if (y.estacao != static_cast<int>(i) || !(y.p > 0)) continue;
          inteiros = inteiros && f.exponencial && f.rota.size() == 1 && y.p > 1 - 1e-12;
          lotes += f.taxa / f.lote;
          x1 += f.taxa;
          x2 += f.taxa / f.lote * f.lote2;
        }
      }
      if (inteiros) {
        s.m = mxg1(l, e.media, e.scv, x1 / lotes, x2 / lotes);
        s.metodo = Metodo::exata;
      }
    } else if (mista[i]) {
      s.m = so_fluxos;  // the closed customers' means below, where they have values
    } else if (e.capacidade) {
      const int c = e.infinitos ? static_cast<int>(*e.capacidade) : e.servidores;
      s.m = mmck(l, c, *e.capacidade, e.media);
      if (e.infinitos) s.m.utilizacao = s.m.vazao * e.media;
      s.metodo = exata_se(!perda_aproximada[i]);
      // Where there are as many servers as places, nobody ever waits, whatever the arrivals.
      if (*e.capacidade == c) {
        s.espera = sem_espera();
      } else if (s.metodo == Metodo::exata && d == Disciplina::fifo) {
        s.espera = espera_mmck(l, c, *e.capacidade, e.media);
      }
      // The number present is M/M/c/K's whatever the order; the waiting line is not where
      // service is shared or preempted.
      if (d == Disciplina::ps || d == Disciplina::prioridade_preemptiva) {
        s.m.fila = s.m.espera = NaN;
        s.espera.reset();
      }
      if (d == Disciplina::ps) {
        for (std::size_t c2 = 0; c2 < nk; ++c2) {
          tk[c2] = pc.de[i][c2].media * s.m.sistema / (s.m.vazao * e.media);
        }
      }
    } else if (e.infinitos) {
      // L = lambda E[S] and W = E[S] for any arrivals: as exact as the rate.
      s.m = mginf(l, e.media);
      s.metodo = s.metodo_fluxo;
      s.espera = sem_espera();
    } else if (d == Disciplina::ps) {
      // Processor sharing is insensitive: the number present is M/M/c's at the offered load
      // whatever the services, each class's share of it its share of that load.
      s.m = so_fluxos;
      if (poisson) {
        s.m = mmc(l, e.servidores, e.media);
        s.m.fila = s.m.espera = NaN;
        s.metodo = Metodo::exata;
        for (std::size_t c = 0; c < nk; ++c) {
          tk[c] = pc.de[i][c].media * s.m.sistema / (l * e.media);
        }
      }
    } else if (!cega) {
      // Priorities: Cobham's formulas, at one server for any services or at c servers with
      // one exponential service for all, fed by Poisson streams and on no loop.
      s.m = so_fluxos;
      if (poisson && !g.laco[i] && (e.servidores == 1 || e.exponencial)) {
        std::vector<Fluxo> f;
        std::vector<std::size_t> quais;
        for (std::size_t c = 0; c < nk; ++c) {
          if (pc.fechada[c] || !(lx[i * nk + c] > 0)) continue;
          const DaClasse& x2 = pc.de[i][c];
          f.push_back({lx[i * nk + c], x2.media, x2.scv, r.classes[c].prioridade});
          quais.push_back(c);
        }
        const bool preemptiva = d == Disciplina::prioridade_preemptiva;
        const std::vector<double> y = preemptiva ? permanencia_preemptiva(f, e.servidores, e.media)
                                                 : espera_prioridade(f, e.servidores, e.media);
        double fila = 0, sistema = 0;
        for (std::size_t j = 0; j < quais.size(); ++j) {
          const std::size_t c = quais[j];
          tk[c] = preemptiva ? y[j] : y[j] + f[j].media;
          if (!preemptiva) wk[c] = y[j];
          fila += f[j].lambda * wk[c];
          sistema += f[j].lambda * tk[c];
        }
        s.m = de_fila(l, l, l * e.media, e.servidores, fila, e.media);
        s.m.sistema = sistema;
        s.m.permanencia = sistema / l;
        s.metodo = Metodo::exata;
      }
    } else if (reordena && g.laco[i]) {
      s.m = so_fluxos;
    } else if (e.exponencial && poisson) {
      // One server: Pollaczek-Khinchine with the service's own moments, which is M/M/1 for an
      // SCV of 1 and keeps a discretised exponential's second moment.
      s.m = e.servidores == 1 ? mg1(l, e.media, e.scv) : mmc(l, e.servidores, e.media);
      s.metodo = Metodo::exata;
      // An arrival, even one fed back, sees the stationary state (the arrival theorem of open
      // Jackson networks).
      if (d == Disciplina::fifo) s.espera = espera_mmc(l, e.servidores, e.media);
    } else if (e.servidores == 1 && poisson && !g.laco[i]) {
      s.m = mg1(l, e.media, e.scv);
      s.metodo = Metodo::exata;
    } else {
      s.m = ggc(l, e.servidores, e.media, ca[i], e.scv);
      s.metodo = Metodo::aproximada;
    }
    // An order blind to the classes and the services leaves the number waiting, hence the mean
    // wait, as it is in FIFO, the same for every class (but not the wait's law).
    if (cega) {
      for (std::size_t c = 0; c < nk; ++c) {
        wk[c] = s.m.espera;
        tk[c] = s.m.espera + pc.de[i][c].media;
      }
    }
    por_classe_fim();
    if (mista[i]) {  // the closed classes' flows are still to come
      s.m = sem_valor();
      s.metodo_fluxo = Metodo::nenhum;
    }
  }

  if (fechadas && mva_vale) fechar(r, pc, vis, lx, sol);

  if (simples) {
    rede_aberta(r, g, sol);
    if (declaradas) sol.classes[0] = {sol.metodo_rede, sol.permanencia_rede, NaN, NaN};
    return sol;
  }
  // Several classes: the network's mean sojourn by Little's law, without capacities, over the
  // open customers; per open class where no customer changes into it or out of it.
  bool perde = false;
  for (std::size_t i = 0; i < n; ++i) {
    perde = perde || r.estacoes[i].capacidade || tem_impaciencia(r.estacoes[i], pc.de[i]);
  }
  if (perde) return sol;
  std::vector<double> entra(nk, 0);
  for (const Fonte& f : r.fontes) entra[static_cast<std::size_t>(f.classe)] += f.taxa;
  std::vector<char> muda(nk, 0);
  for (const std::vector<DaClasse>& e : pc.de) {
    for (std::size_t c = 0; c < nk; ++c) {
      const auto p = static_cast<std::size_t>(e[c].proxima);
      if (p != c) muda[c] = muda[p] = 1;
    }
  }
  std::vector<double> num(nk, 0);
  std::vector<Metodo> met(nk, Metodo::exata);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t c = 0; c < nk; ++c) {
      if (pc.fechada[c] || !(lx[i * nk + c] > 0)) continue;
      const Estado::DaClasse& x2 = sol.estacoes[i].classes[c];
      if (x2.metodo == Metodo::nenhum || x2.metodo == Metodo::instavel ||
          !std::isfinite(x2.m.sistema)) {
        met[c] = Metodo::nenhum;
      } else if (x2.metodo == Metodo::aproximada && met[c] == Metodo::exata) {
        met[c] = Metodo::aproximada;
      }
      num[c] += x2.m.sistema;
    }
  }
  double total = 0, soma = 0;
  Metodo todas = Metodo::exata;
  for (std::size_t c = 0; c < nk; ++c) {
    if (pc.fechada[c]) continue;
    total += entra[c];
    soma += num[c];
    if (met[c] == Metodo::nenhum || todas == Metodo::nenhum) {
      todas = Metodo::nenhum;
    } else if (met[c] == Metodo::aproximada) {
      todas = Metodo::aproximada;
    }
    if (!muda[c] && met[c] != Metodo::nenhum && entra[c] > 0) {
      sol.classes[c] = {met[c], num[c] / entra[c], NaN, NaN};
    }
  }
  if (todas != Metodo::nenhum && total > 0) {
    sol.metodo_rede = todas;
    sol.permanencia_rede = soma / total;
  }
  return sol;
}

Rede de_geral(const geral::Rede& g) {
  Rede r;
  auto rota = [](const geral::Rota& x) {
    std::vector<Destino> v;
    for (const geral::Destino& d : x) v.push_back({d.estacao, d.p});
    return v;
  };
  for (const geral::Classe& c : g.classes) {
    r.classes.push_back({c.nome, c.prioridade, c.populacao, c.inicio});
  }
  auto paciencia = [](const std::optional<geral::Distribuicao>& d) {
    return d ? Paciencia{geral::media(*d), d->tipo == geral::Dist::exponencial} : Paciencia{};
  };
  for (const geral::Fonte& f : g.fontes) {
    Fonte x;
    x.rota = rota(f.rota);
    x.classe = f.classe;
    if (f.lote) {
      // Whole numbers, each equally likely, or always one.
      const std::vector<double> v = f.lote->tipo == geral::Dist::empirica
                                        ? f.lote->valores
                                        : std::vector{geral::media(*f.lote)};
      x.lote = x.lote2 = 0;
      for (double y : v) {
        x.lote += y / static_cast<double>(v.size());
        x.lote2 += y * y / static_cast<double>(v.size());
      }
    }
    if (f.taxa) {
      x.horario = f.taxa;
      x.taxa = media_horario(*f.taxa, 0, f.taxa->periodo) * x.lote;
    } else {
      const double m = geral::media(f.intervalo);
      x.taxa = m > 0 ? x.lote / m : 0;
      x.scv = geral::scv(f.intervalo);
      x.exponencial = f.intervalo.tipo == geral::Dist::exponencial;
    }
    r.fontes.push_back(x);
  }
  for (const geral::Estacao& e : g.estacoes) {
    r.estacoes.push_back({e.servidores, e.infinitos, e.capacidade, geral::media(e.servico),
                          geral::scv(e.servico), e.servico.tipo == geral::Dist::exponencial,
                          rota(e.rota), e.disciplina});
    Estacao& x = r.estacoes.back();
    x.paciencia = paciencia(e.paciencia);
    x.desistencia = e.desistencia;
    x.bloqueia = e.bloqueia;
    x.turnos = e.turnos;
    for (std::size_t c = 0; c < g.classes.size(); ++c) {
      const geral::DaClasse* y = c < e.classes.size() ? &e.classes[c] : nullptr;
      const geral::Distribuicao& s = y && y->servico ? *y->servico : e.servico;
      x.classes.push_back({geral::media(s), geral::scv(s), s.tipo == geral::Dist::exponencial,
                           rota(y && y->rota ? *y->rota : e.rota),
                           y && y->proxima_classe ? *y->proxima_classe : static_cast<int>(c),
                           paciencia(y && y->paciencia ? y->paciencia : e.paciencia)});
    }
  }
  return r;
}

}  // namespace tarvo::teoria
