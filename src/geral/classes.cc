// Classes and disciplines: each station's waiting customers in rings by priority level, taken by
// its discipline; preemption by cancelling, in effect, the preempted customer's completion (the
// event stays in the heap and is dropped when it comes up, its ordem no longer in service);
// processor sharing by the work each customer has received, with one completion pending at a
// time and rescheduled at every arrival and departure.
#include "geral/classes.h"

#include <algorithm>
#include <cmath>

#include "comum/failure.h"
#include "geral/agenda.h"

namespace tarvo::geral {

// ---- the ring ------------------------------------------------------------------------------

void Anel::crescer() {
  const std::size_t n = v_.size();
  std::vector<Esperando> novo(2 * n);
  for (std::size_t i = 0; i < n; ++i) novo[i] = v_[(cabeca_ + i) & (n - 1)];
  v_.swap(novo);
  cabeca_ = 0;
}

void Anel::por_atras(const Esperando& x) {
  if (static_cast<std::size_t>(n_) == v_.size()) crescer();
  v_[(cabeca_ + static_cast<std::size_t>(n_)) & (v_.size() - 1)] = x;
  ++n_;
}

void Anel::por_frente(const Esperando& x) {
  if (static_cast<std::size_t>(n_) == v_.size()) crescer();
  cabeca_ = (cabeca_ + v_.size() - 1) & (v_.size() - 1);
  v_[cabeca_] = x;
  ++n_;
}

Esperando Anel::tirar_frente() {
  const Esperando x = v_[cabeca_];
  cabeca_ = (cabeca_ + 1) & (v_.size() - 1);
  --n_;
  return x;
}

Esperando Anel::tirar_atras() {
  --n_;
  return v_[(cabeca_ + static_cast<std::size_t>(n_)) & (v_.size() - 1)];
}

Esperando Anel::tirar_em(std::size_t i) {
  const std::size_t m = v_.size() - 1;
  const Esperando x = v_[(cabeca_ + i) & m];
  v_[(cabeca_ + i) & m] = v_[(cabeca_ + static_cast<std::size_t>(n_) - 1) & m];
  --n_;
  return x;
}

namespace {

// ---- where things are ----------------------------------------------------------------------

std::size_t nclasses(const Corrida& c) { return c.rede.classes.size(); }

Gerador& servico_de(Corrida& c, std::size_t e, std::int32_t k) {
  return c.classes->servicos[e * nclasses(c) + static_cast<std::size_t>(k)];
}

Gerador& rota_de(Corrida& c, std::size_t e, std::int32_t k) {
  return c.classes->rotas[e * nclasses(c) + static_cast<std::size_t>(k)];
}

bool preemptiva(const EstacaoPronta& p) {
  return p.disciplina == Disciplina::prioridade_preemptiva;
}

// The servers busy at a station with n customers in service: all of them but at a PS station,
// where n share c.
std::int64_t ocupados(const EstacaoPronta& p, std::int64_t n) {
  return p.disciplina == Disciplina::ps ? std::min(n, p.servidores) : n;
}

// ---- the statistics ------------------------------------------------------------------------

void integrar(Corrida& c, std::size_t e, double t) {
  EstadoEstacao& s = c.estacoes[e];
  EstacaoClasses& g = c.classes->estacoes[e];
  const EstacaoPronta& p = c.rede.estacoes[e];
  const double dt = t - s.t_ultima;
  const std::int64_t busy = ocupados(p, g.em_servico);
  s.area_fila += static_cast<double>(g.esperando) * dt;
  s.area_ocupados += static_cast<double>(busy) * dt;
  s.area_servico += static_cast<double>(g.em_servico) * dt;
  // At a PS station each class holds the servers in proportion to its customers.
  const double parte =
      g.em_servico > 0 ? static_cast<double>(busy) / static_cast<double>(g.em_servico) : 0;
  for (PorClasse& x : g.classes) {
    x.area_fila += static_cast<double>(x.fila) * dt;
    x.area_servico += static_cast<double>(x.servico) * dt;
    x.area_ocupados += static_cast<double>(x.servico) * parte * dt;
  }
  s.t_ultima = t;
}

// A service starts at station e after a wait of w, for all classes and for class k.
void iniciar(Corrida& c, std::size_t e, std::int32_t k, double w) {
  EstadoEstacao& s = c.estacoes[e];
  const EstacaoPronta& p = c.rede.estacoes[e];
  PorClasse& x = c.classes->estacoes[e].classes[static_cast<std::size_t>(k)];
  ++s.inicios;
  s.soma_espera += w;
  s.esperaram += w > 0;
  s.no_limiar += w <= p.limiar;
  s.espera.somar(w);
  ++x.inicios;
  x.soma_espera += w;
  x.esperaram += w > 0;
  x.no_limiar += w <= p.limiar;
  x.espera.somar(w);
}

// ---- processor sharing ---------------------------------------------------------------------

bool depois(const Partilhado& a, const Partilhado& b) {
  return a.fim > b.fim || (a.fim == b.fim && a.seq > b.seq);
}

// Each of n customers on c servers is served at min(1, c / n).
double taxa(const EstacaoPronta& p, std::int64_t n) {
  return n <= p.servidores ? 1.0 : static_cast<double>(p.servidores) / static_cast<double>(n);
}

// The work each customer has received, carried to t at the rate of the customers there now.
void acumular(EstacaoClasses& g, const EstacaoPronta& p, double t) {
  if (g.em_servico > 0) g.trabalho += (t - g.t_trabalho) * taxa(p, g.em_servico);
  g.t_trabalho = t;
}

// The completion of the customer whose work ends first, at the rate of those there now; the one
// scheduled before, if any, is left in the heap to be dropped.
void reagendar(Corrida& c, std::size_t e) {
  EstacaoClasses& g = c.classes->estacoes[e];
  const EstacaoPronta& p = c.rede.estacoes[e];
  g.agendado = g.em_servico > 0;
  if (!g.agendado) return;
  const Partilhado& x = g.partilha.front();
  const double falta = std::max(0.0, x.fim - g.trabalho);
  g.ordem_valida = c.ordem;
  agendar(c, c.relogio + falta / taxa(p, g.em_servico), static_cast<std::int32_t>(e), x.f,
          x.classe);
}

void entrar_partilha(Corrida& c, std::size_t e, const Fregues& f, std::int32_t k) {
  EstacaoClasses& g = c.classes->estacoes[e];
  const EstacaoPronta& p = c.rede.estacoes[e];
  acumular(g, p, c.relogio);
  iniciar(c, e, k, 0);
  const double d = sortear(p.classes[static_cast<std::size_t>(k)].servico, servico_de(c, e, k));
  g.partilha.push_back({g.trabalho + d, g.seq++, f, k});
  std::push_heap(g.partilha.begin(), g.partilha.end(), depois);
  ++g.em_servico;
  ++g.classes[static_cast<std::size_t>(k)].servico;
  c.estacoes[e].ocupados = ocupados(p, g.em_servico);
  reagendar(c, e);
}

// ---- the other disciplines -----------------------------------------------------------------

// x's service starts (or resumes, when it has work left) at station e.
void servir(Corrida& c, std::size_t e, const Esperando& x) {
  EstacaoClasses& g = c.classes->estacoes[e];
  const EstacaoPronta& p = c.rede.estacoes[e];
  const double t = c.relogio;
  double d = x.resto;
  if (d < 0) {
    iniciar(c, e, x.classe, t - x.f.estacao);
    d = sortear(p.classes[static_cast<std::size_t>(x.classe)].servico, servico_de(c, e, x.classe));
  }
  ++g.em_servico;
  ++g.classes[static_cast<std::size_t>(x.classe)].servico;
  c.estacoes[e].ocupados = g.em_servico;
  if (preemptiva(p)) g.servindo.push_back({x.f, x.classe, t + d, c.ordem});
  agendar(c, t + d, static_cast<std::int32_t>(e), x.f, x.classe);
}

void esperar(Corrida& c, std::size_t e, const Esperando& x, bool na_frente) {
  EstacaoClasses& g = c.classes->estacoes[e];
  Anel& a = g.niveis[g.niveis.size() == 1
                         ? 0
                         : static_cast<std::size_t>(
                               c.rede.classes[static_cast<std::size_t>(x.classe)].nivel)];
  if (na_frente) {
    a.por_frente(x);
  } else {
    a.por_atras(x);
  }
  ++g.esperando;
  PorClasse& k = g.classes[static_cast<std::size_t>(x.classe)];
  ++k.fila;
  EstadoEstacao& s = c.estacoes[e];
  s.fila_maxima = std::max(s.fila_maxima, g.esperando);
  k.fila_maxima = std::max(k.fila_maxima, k.fila);
}

// The customer the discipline serves next; some must be waiting.
Esperando proximo(Corrida& c, std::size_t e) {
  EstacaoClasses& g = c.classes->estacoes[e];
  const EstacaoPronta& p = c.rede.estacoes[e];
  Esperando x;
  switch (p.disciplina) {
    case Disciplina::lifo:
      x = g.niveis[0].tirar_atras();
      break;
    case Disciplina::aleatoria: {
      Anel& a = g.niveis[0];
      const auto i =
          static_cast<std::size_t>(uniforme(c.classes->ordens[e]) * static_cast<double>(a.n()));
      x = a.tirar_em(std::min(i, static_cast<std::size_t>(a.n() - 1)));
      break;
    }
    default: {
      // FIFO within the best level that has anyone.
      std::size_t l = 0;
      while (g.niveis[l].n() == 0) ++l;
      x = g.niveis[l].tirar_frente();
    }
  }
  --g.esperando;
  --g.classes[static_cast<std::size_t>(x.classe)].fila;
  return x;
}

// With preemption, an arrival of class k that finds every server busy takes the server of the
// worst customer in service, the last to start among the worst, when that one's class is worse
// than k's: returns whether it did.
bool preemptar(Corrida& c, std::size_t e, std::int32_t k) {
  EstacaoClasses& g = c.classes->estacoes[e];
  const auto nivel = [&c](std::int32_t classe) {
    return c.rede.classes[static_cast<std::size_t>(classe)].nivel;
  };
  std::size_t pior = g.servindo.size();
  for (std::size_t i = 0; i < g.servindo.size(); ++i) {
    if (pior == g.servindo.size() ||
        nivel(g.servindo[i].classe) >= nivel(g.servindo[pior].classe)) {
      pior = i;
    }
  }
  if (pior == g.servindo.size() || nivel(g.servindo[pior].classe) <= nivel(k)) return false;
  const EmServico x = g.servindo[pior];
  g.servindo.erase(g.servindo.begin() + static_cast<std::ptrdiff_t>(pior));
  --g.em_servico;
  --g.classes[static_cast<std::size_t>(x.classe)].servico;
  c.estacoes[e].ocupados = g.em_servico;
  // Resumes first among its class's level, with the work it had left.
  esperar(c, e, Esperando{x.f, x.classe, std::max(0.0, x.fim - c.relogio)}, true);
  return true;
}

void chegar(Corrida& c, std::size_t e, const Fregues& f, std::int32_t k) {
  EstadoEstacao& s = c.estacoes[e];
  EstacaoClasses& g = c.classes->estacoes[e];
  const EstacaoPronta& p = c.rede.estacoes[e];
  PorClasse& x = g.classes[static_cast<std::size_t>(k)];
  ++s.chegadas;
  ++x.chegadas;
  if (g.esperando + g.em_servico >= p.capacidade) {
    ++s.perdidos;
    ++s.perdidos_total;
    ++x.perdidos;
    ++x.perdidos_total;
    return;
  }
  integrar(c, e, c.relogio);
  if (p.disciplina == Disciplina::ps) {
    entrar_partilha(c, e, f, k);
  } else if (g.em_servico < p.servidores || (preemptiva(p) && preemptar(c, e, k))) {
    servir(c, e, Esperando{f, k, -1});
  } else {
    esperar(c, e, Esperando{f, k, -1}, false);
  }
}

// The head is a completion at station ev.alvo: whether it still stands, and if so the customer
// whose service ended, that station's state carried to now.
bool acabou(Corrida& c, const Evento& ev, Fregues& f, std::int32_t& k) {
  const std::size_t e = static_cast<std::size_t>(ev.alvo);
  EstacaoClasses& g = c.classes->estacoes[e];
  const EstacaoPronta& p = c.rede.estacoes[e];
  if (p.disciplina == Disciplina::ps) {
    if (!g.agendado || ev.ordem != g.ordem_valida) return false;
    acumular(g, p, c.relogio);
    std::pop_heap(g.partilha.begin(), g.partilha.end(), depois);
    f = g.partilha.back().f;
    k = g.partilha.back().classe;
    g.partilha.pop_back();
  } else if (preemptiva(p)) {
    const auto it = std::find_if(g.servindo.begin(), g.servindo.end(),
                                 [&ev](const EmServico& x) { return x.ordem == ev.ordem; });
    if (it == g.servindo.end()) return false;  // preempted: it resumes later
    g.servindo.erase(it);
    f = ev.f;
    k = ev.classe;
  } else {
    f = ev.f;
    k = ev.classe;
  }
  integrar(c, e, c.relogio);
  --g.em_servico;
  --g.classes[static_cast<std::size_t>(k)].servico;
  c.estacoes[e].ocupados = ocupados(p, g.em_servico);
  return true;
}

// The head's service ends, as on the path of one class: the next customer takes the server
// before the one served is routed.
void completar(Corrida& c, const Evento& ev) {
  tirar_cabeca(c);
  Fregues f;
  std::int32_t k = 0;
  if (!acabou(c, ev, f, k)) return;
  const std::size_t e = static_cast<std::size_t>(ev.alvo);
  const double t = c.relogio;
  EstadoEstacao& s = c.estacoes[e];
  EstacaoClasses& g = c.classes->estacoes[e];
  const EstacaoPronta& p = c.rede.estacoes[e];
  PorClasse& x = g.classes[static_cast<std::size_t>(k)];
  ++s.atendidos;
  ++x.atendidos;
  s.soma_permanencia += t - f.estacao;
  x.soma_permanencia += t - f.estacao;
  const ClassePronta& classe = c.rede.classes[static_cast<std::size_t>(k)];
  if (classe.populacao > 0 && classe.inicio == ev.alvo) {
    // A closed class's passage through its station of start; f.rede holds the last one.
    RedeClasse& r = c.classes->classes[static_cast<std::size_t>(k)];
    ++r.passagens;
    if (f.rede >= 0) {
      ++r.ciclos;
      r.soma_ciclo += t - f.rede;
    }
    f.rede = t;
  }
  if (p.disciplina == Disciplina::ps) {
    reagendar(c, e);
  } else if (g.esperando > 0) {
    servir(c, e, proximo(c, e));
  }
  const DaClassePronta& dk = p.classes[static_cast<std::size_t>(k)];
  const std::int32_t d = destino(c, dk.rota, rota_de(c, e, k));
  if (dk.proxima != k) {
    ++c.classes->classes[static_cast<std::size_t>(k)].viraram;
    ++c.classes->classes[static_cast<std::size_t>(dk.proxima)].vieram;
  }
  if (d < 0) {
    sair_classe(c, f, dk.proxima);
  } else {
    chegar(c, static_cast<std::size_t>(d), Fregues{f.rede, t}, dk.proxima);
  }
}

bool gerar(Corrida& c, const Evento& ev) {
  const std::size_t j = static_cast<std::size_t>(-1 - ev.alvo);
  const FontePronta& fonte = c.rede.fontes[j];
  const double t = c.relogio;
  ++c.gerados[j];
  ++c.gerados_total;
  ++c.classes->classes[static_cast<std::size_t>(fonte.classe)].gerados_total;
  trocar_cabeca(c, t + sortear(fonte.intervalo, c.intervalos[j]), ev.alvo, Fregues{});
  const Fregues f{t, t};
  const std::int32_t d = destino(c, fonte.rota, c.rotas_fonte[j]);
  if (d < 0) {
    sair_classe(c, f, fonte.classe);
  } else {
    chegar(c, static_cast<std::size_t>(d), f, fonte.classe);
  }
  return c.gerados_total == c.limite;
}

}  // namespace

void sair_classe(Corrida& c, const Fregues& f, std::int32_t k) {
  RedeClasse& r = c.classes->classes[static_cast<std::size_t>(k)];
  ++r.saidas_total;
  if (c.rede.classes[static_cast<std::size_t>(k)].populacao > 0) {
    // A closed class's customer has no way out (the loader says so); counted as leaving, so that
    // the customers are still all accounted for.
    ++c.saidas_total;
    return;
  }
  sair(c, f);
  const double d = c.relogio - f.rede;
  ++r.saidas;
  r.soma_permanencia += d;
  r.permanencia.somar(d);
}

void iniciar_classes(Corrida& c, std::uint32_t semente, std::uint64_t replicacao) {
  const RedePronta& r = c.rede;
  c.classes = std::make_unique<EstadoClasses>();
  EstadoClasses& x = *c.classes;
  const std::size_t K = r.classes.size(), ne = r.estacoes.size();
  x.estacoes.resize(ne);
  x.classes.resize(K);
  auto fluxo = [&](std::vector<Gerador>& v, Proposito p, std::size_t e, std::uint64_t chave) {
    v.push_back(gerador(semente, replicacao, p, static_cast<std::uint32_t>(e), chave));
    x.origem.push_back(v.back().pcg);
  };
  for (std::size_t e = 0; e < ne; ++e) {
    for (std::size_t k = 0; k < K; ++k)
      fluxo(x.servicos, Proposito::servico, e, r.classes[k].chave);
  }
  for (std::size_t e = 0; e < ne; ++e) {
    for (std::size_t k = 0; k < K; ++k) {
      fluxo(x.rotas, Proposito::rota_estacao, e, r.classes[k].chave);
    }
  }
  for (std::size_t e = 0; e < ne; ++e) fluxo(x.ordens, Proposito::ordem, e, 0);
  for (std::size_t e = 0; e < ne; ++e) {
    const EstacaoPronta& p = r.estacoes[e];
    const bool por_nivel = p.disciplina == Disciplina::prioridade || preemptiva(p);
    x.estacoes[e].niveis.resize(por_nivel ? static_cast<std::size_t>(r.niveis) : 1);
    x.estacoes[e].classes.resize(K);
  }
  // The closed classes' customers, at their stations of start at time 0, class by class; with
  // no passage yet (f.rede < 0).
  for (std::size_t k = 0; k < K; ++k) {
    const ClassePronta& classe = r.classes[k];
    for (std::int64_t i = 0; i < classe.populacao; ++i) {
      chegar(c, static_cast<std::size_t>(classe.inicio), Fregues{-1, 0},
             static_cast<std::int32_t>(k));
    }
  }
}

bool tratar_classes(Corrida& c) {
  const Evento ev = c.pendentes[0];
  c.relogio = ev.t;
  ++c.eventos;
  if (ev.alvo >= 0) {
    completar(c, ev);
    return false;
  }
  return gerar(c, ev);
}

void integrar_classes(Corrida& c, double t) {
  for (std::size_t e = 0; e < c.estacoes.size(); ++e) integrar(c, e, t);
}

void reiniciar_classes(Corrida& c) {
  for (EstacaoClasses& g : c.classes->estacoes) {
    for (PorClasse& x : g.classes) {
      x.area_fila = x.area_servico = x.area_ocupados = 0;
      x.chegadas = x.perdidos = x.inicios = x.atendidos = 0;
      x.esperaram = x.no_limiar = 0;
      x.fila_maxima = x.fila;
      x.soma_espera = x.soma_permanencia = 0;
      x.espera = Histograma();
    }
  }
  for (RedeClasse& r : c.classes->classes) {
    r.saidas = r.passagens = r.ciclos = 0;
    r.soma_permanencia = r.soma_ciclo = 0;
    r.permanencia = Histograma();
  }
}

}  // namespace tarvo::geral
