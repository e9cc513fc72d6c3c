// Classes, disciplines and a day's service: each station's waiting customers in rings by
// priority level, taken by its discipline; preemption by cancelling, in effect, the preempted
// customer's completion (the event stays in the heap and is dropped when it comes up, its ordem
// no longer in service); processor sharing by the work each customer has received, with one
// completion pending at a time and rescheduled at every arrival and departure. A customer who
// gives up waiting leaves a mark in its ring, dropped when the discipline reaches it or when
// marks outnumber the living; one blocked after its service keeps its server and waits in the
// full station's line of senders.
#include "geral/classes.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "comum/failure.h"
#include "geral/agenda.h"

namespace tarvo::geral {

namespace {

// ---- where things are ----------------------------------------------------------------------

std::size_t nclasses(const Corrida& c) { return c.rede.classes.size(); }

Gerador& servico_de(Corrida& c, std::size_t e, std::int32_t k) {
  return c.classes->servicos[e * nclasses(c) + static_cast<std::size_t>(k)];
}

Gerador& rota_de(Corrida& c, std::size_t e, std::int32_t k) {
  return c.classes->rotas[e * nclasses(c) + static_cast<std::size_t>(k)];
}

Gerador& paciencia_de(Corrida& c, std::size_t e, std::int32_t k) {
  return c.classes->pacientes[e * nclasses(c) + static_cast<std::size_t>(k)];
}

bool preemptiva(const EstacaoPronta& p) {
  return p.disciplina == Disciplina::prioridade_preemptiva;
}

bool aberta(const Corrida& c, std::int32_t k) {
  return c.rede.classes[static_cast<std::size_t>(k)].populacao == 0;
}

std::size_t nestacoes(const Corrida& c) { return c.rede.estacoes.size(); }

// The servers busy serving: at a PS station all on shift while anyone is there, elsewhere every
// customer in service but those blocked after it.
std::int64_t servindo(const EstacaoPronta& p, const EstacaoClasses& g) {
  return p.disciplina == Disciplina::ps ? std::min(g.em_servico, g.servidores)
                                        : g.em_servico - g.bloqueados;
}

void atualizar(Corrida& c, std::size_t e) {
  c.estacoes[e].ocupados = servindo(c.rede.estacoes[e], c.classes->estacoes[e]);
}

// ---- the statistics ------------------------------------------------------------------------

void integrar(Corrida& c, std::size_t e, double t) {
  EstadoEstacao& s = c.estacoes[e];
  EstacaoClasses& g = c.classes->estacoes[e];
  const EstacaoPronta& p = c.rede.estacoes[e];
  const double dt = t - s.t_ultima;
  const std::int64_t busy = servindo(p, g);
  s.area_fila += static_cast<double>(g.esperando) * dt;
  s.area_ocupados += static_cast<double>(busy) * dt;
  s.area_servico += static_cast<double>(g.em_servico) * dt;
  const double turno = p.servidores == kSemLimite ? 0 : static_cast<double>(g.servidores) * dt;
  s.area_servidores += turno;
  s.area_bloqueio += static_cast<double>(g.bloqueados) * dt;
  const bool ps = p.disciplina == Disciplina::ps;
  // At a PS station each class holds the servers in proportion to its customers.
  const double parte =
      g.em_servico > 0 ? static_cast<double>(busy) / static_cast<double>(g.em_servico) : 0;
  for (PorClasse& x : g.classes) {
    x.area_fila += static_cast<double>(x.fila) * dt;
    x.area_servico += static_cast<double>(x.servico) * dt;
    x.area_ocupados += ps ? static_cast<double>(x.servico) * parte * dt
                          : static_cast<double>(x.servico - x.bloqueados) * dt;
    x.area_bloqueio += static_cast<double>(x.bloqueados) * dt;
    x.area_servidores += turno;
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

// Each of n customers on the c servers on shift is served at min(1, c / n).
double taxa(const EstacaoClasses& g, std::int64_t n) {
  return n <= g.servidores ? 1.0 : static_cast<double>(g.servidores) / static_cast<double>(n);
}

// The work each customer has received, carried to t at the rate of the customers there now.
void acumular(EstacaoClasses& g, double t) {
  if (g.em_servico > 0) g.trabalho += (t - g.t_trabalho) * taxa(g, g.em_servico);
  g.t_trabalho = t;
}

// The completion of the customer whose work ends first, at the rate of those there now; the one
// scheduled before, if any, is left in the heap to be dropped. None while no server is on shift.
void reagendar(Corrida& c, std::size_t e) {
  EstacaoClasses& g = c.classes->estacoes[e];
  g.agendado = g.em_servico > 0 && g.servidores > 0;
  if (!g.agendado) return;
  const Partilhado& x = g.partilha.front();
  const double falta = std::max(0.0, x.fim - g.trabalho);
  g.ordem_valida = c.ordem;
  agendar(c, c.relogio + falta / taxa(g, g.em_servico), static_cast<std::int32_t>(e), x.f,
          x.classe);
}

void entrar_partilha(Corrida& c, std::size_t e, const Fregues& f, std::int32_t k) {
  EstacaoClasses& g = c.classes->estacoes[e];
  const EstacaoPronta& p = c.rede.estacoes[e];
  acumular(g, c.relogio);
  iniciar(c, e, k, 0);
  const double d = sortear(p.classes[static_cast<std::size_t>(k)].servico, servico_de(c, e, k));
  g.partilha.push_back({g.trabalho + d, g.seq++, f, k});
  std::push_heap(g.partilha.begin(), g.partilha.end(), depois);
  ++g.em_servico;
  ++g.classes[static_cast<std::size_t>(k)].servico;
  atualizar(c, e);
  reagendar(c, e);
}

// ---- patience ------------------------------------------------------------------------------

bool vivo(const EstacaoClasses& g, const Esperando& x) {
  return x.id == 0 || g.vagas[static_cast<std::size_t>(x.vaga)].id == x.id;
}

// x, who has just joined station e's queue, gives up after its class's patience there, if it
// has one: the event of that end, which x's place among the impatient names.
void tomar_vaga(Corrida& c, std::size_t e, Esperando& x) {
  const DaClassePronta& dk = c.rede.estacoes[e].classes[static_cast<std::size_t>(x.classe)];
  if (!dk.paciencia || !aberta(c, x.classe)) return;
  EstacaoClasses& g = c.classes->estacoes[e];
  const double w = sortear(*dk.paciencia, paciencia_de(c, e, x.classe));
  std::int32_t v = 0;
  if (g.livres.empty()) {
    v = static_cast<std::int32_t>(g.vagas.size());
    g.vagas.emplace_back();
  } else {
    v = g.livres.back();
    g.livres.pop_back();
  }
  x.vaga = v;
  x.id = c.ordem + 1;  // the ordem agendar gives, never 0
  g.vagas[static_cast<std::size_t>(v)] = {x.id, x.classe};
  ++g.pacientes;
  agendar(c, c.relogio + w, static_cast<std::int32_t>(2 * nestacoes(c) + e), x.f, v);
}

void soltar_vaga(EstacaoClasses& g, std::int32_t v) {
  g.vagas[static_cast<std::size_t>(v)].id = 0;
  g.livres.push_back(v);
  --g.pacientes;
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
  atualizar(c, e);
  if (preemptiva(p)) g.servindo.push_back({x.f, x.classe, t + d, c.ordem});
  agendar(c, t + d, static_cast<std::int32_t>(e), x.f, x.classe);
}

// x joins station e's queue; a customer just arrived (novo) may give up later.
void esperar(Corrida& c, std::size_t e, Esperando x, bool na_frente, bool novo) {
  EstacaoClasses& g = c.classes->estacoes[e];
  if (novo) tomar_vaga(c, e, x);
  Anel<Esperando>& a =
      g.niveis[g.niveis.size() == 1
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
  g.fila_janela = std::max(g.fila_janela, g.esperando);
  k.fila_janela = std::max(k.fila_janela, k.fila);
}

// The customer the discipline serves next, past the marks of those who gave up; some must be
// waiting.
Esperando proximo(Corrida& c, std::size_t e) {
  EstacaoClasses& g = c.classes->estacoes[e];
  const EstacaoPronta& p = c.rede.estacoes[e];
  Esperando x;
  for (;;) {
    switch (p.disciplina) {
      case Disciplina::lifo:
        x = g.niveis[0].tirar_atras();
        break;
      case Disciplina::aleatoria: {
        // Drawn among marks too, a mark drawn again: still uniform among the living.
        Anel<Esperando>& a = g.niveis[0];
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
    if (vivo(g, x)) break;
    --g.mortos;
  }
  if (x.id != 0) soltar_vaga(g, x.vaga);
  --g.esperando;
  --g.classes[static_cast<std::size_t>(x.classe)].fila;
  return x;
}

// Waiting customers start while servers on shift are free.
void ocupar(Corrida& c, std::size_t e) {
  EstacaoClasses& g = c.classes->estacoes[e];
  while (g.esperando > 0 && g.em_servico < g.servidores) servir(c, e, proximo(c, e));
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
  atualizar(c, e);
  // Resumes first among its class's level, with the work it had left.
  esperar(c, e, Esperando{x.f, x.classe, -1, std::max(0.0, x.fim - c.relogio), 0}, true, false);
  return true;
}

// A customer of class k arrives at station e: lost when it is full, gone when it balks at the
// queue; admitido, one blocked elsewhere until e had room, is neither.
void chegar(Corrida& c, std::size_t e, const Fregues& f, std::int32_t k, bool admitido = false) {
  EstadoEstacao& s = c.estacoes[e];
  EstacaoClasses& g = c.classes->estacoes[e];
  const EstacaoPronta& p = c.rede.estacoes[e];
  PorClasse& x = g.classes[static_cast<std::size_t>(k)];
  ++s.chegadas;
  ++x.chegadas;
  if (!admitido) {
    if (g.esperando + g.em_servico >= p.capacidade) {
      ++s.perdidos;
      ++s.perdidos_total;
      ++x.perdidos;
      ++x.perdidos_total;
      return;
    }
    if (!p.desistencia.empty() && aberta(c, k)) {
      // Drawn only where joining is not certain, so that a certain join costs no number.
      const double junta = p.desistencia[static_cast<std::size_t>(std::min<std::int64_t>(
          g.esperando, static_cast<std::int64_t>(p.desistencia.size()) - 1))];
      if (junta < 1 && !(uniforme(c.classes->desistencias[e]) < junta)) {
        ++s.desistencias;
        ++x.desistencias;
        ++g.desistencias_total;
        ++x.desistencias_total;
        return;
      }
    }
  }
  integrar(c, e, c.relogio);
  if (p.disciplina == Disciplina::ps) {
    entrar_partilha(c, e, f, k);
  } else if (g.em_servico < g.servidores || (preemptiva(p) && preemptar(c, e, k))) {
    servir(c, e, Esperando{f, k, -1, -1, 0});
  } else {
    esperar(c, e, Esperando{f, k, -1, -1, 0}, false, true);
  }
}

// ---- blocking after service ----------------------------------------------------------------

bool cheia(const Corrida& c, std::size_t e) {
  const EstacaoClasses& g = c.classes->estacoes[e];
  return g.esperando + g.em_servico >= c.rede.estacoes[e].capacidade;
}

// A station that nothing can change: full, nobody served there, and nobody waiting who could
// give up or find a server, even when the shifts bring their most.
bool parada(const Corrida& c, std::size_t e) {
  const EstacaoClasses& g = c.classes->estacoes[e];
  const EstacaoPronta& p = c.rede.estacoes[e];
  if (!cheia(c, e) || servindo(p, g) > 0 || p.disciplina == Disciplina::ps) return false;
  return g.esperando == 0 || (g.pacientes == 0 && p.servidores <= g.em_servico);
}

// Blocking after service can freeze a run: see impasse below. The run stops there.
void parar_se_impasse(Corrida& c) {
  const std::string nomes = impasse(c);
  if (nomes.empty()) return;
  falha(1,
        "Impasse no tempo %.17g: as estacoes %s estao cheias e seus servidores retem fregueses "
        "que esperam lugar umas nas outras (bloqueio em circulo); a replicacao nao pode "
        "continuar\n",
        c.relogio, nomes.c_str());
}

void virar(Corrida& c, std::int32_t de, std::int32_t para) {
  if (de == para) return;
  ++c.classes->classes[static_cast<std::size_t>(de)].viraram;
  ++c.classes->classes[static_cast<std::size_t>(para)].vieram;
}

// Station d has room, maybe: the customers blocked for it come in, first blocked first, each
// freeing its server, where the next customer starts and room opens in turn.
void desbloquear(Corrida& c, std::size_t d) {
  EstacaoClasses& gd = c.classes->estacoes[d];
  while (gd.remetentes.n() > 0 && !cheia(c, d)) {
    const Bloqueado b = gd.remetentes.tirar_frente();
    const auto o = static_cast<std::size_t>(b.origem);
    EstadoEstacao& s = c.estacoes[o];
    EstacaoClasses& g = c.classes->estacoes[o];
    PorClasse& x = g.classes[static_cast<std::size_t>(b.classe)];
    const double t = c.relogio;
    integrar(c, o, t);
    --g.em_servico;
    --g.bloqueados;
    --x.servico;
    --x.bloqueados;
    ++s.atendidos;
    ++x.atendidos;
    s.soma_permanencia += t - b.f.estacao;
    x.soma_permanencia += t - b.f.estacao;
    ocupar(c, o);
    atualizar(c, o);
    virar(c, b.classe, b.proxima);
    chegar(c, d, Fregues{b.f.rede, t}, b.proxima, true);
    desbloquear(c, o);
  }
}

// ---- the events ----------------------------------------------------------------------------

// The head is a completion at station ev.alvo: whether it still stands, and if so the customer
// whose service ended, that station's state carried to now.
bool acabou(Corrida& c, const Evento& ev, Fregues& f, std::int32_t& k) {
  const std::size_t e = static_cast<std::size_t>(ev.alvo);
  EstacaoClasses& g = c.classes->estacoes[e];
  const EstacaoPronta& p = c.rede.estacoes[e];
  if (p.disciplina == Disciplina::ps) {
    if (!g.agendado || ev.ordem != g.ordem_valida) return false;
    acumular(g, c.relogio);
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
  atualizar(c, e);
  return true;
}

// The head's service ends, as on the path of one class: the next customer takes the server
// before the one served is routed. One routed to another station that is full and blocks keeps
// its server instead, until that station has room.
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
  const DaClassePronta& dk = p.classes[static_cast<std::size_t>(k)];
  const std::int32_t d = destino(c, dk.rota, rota_de(c, e, k));
  if (d >= 0 && d != ev.alvo && c.rede.estacoes[static_cast<std::size_t>(d)].bloqueia &&
      cheia(c, static_cast<std::size_t>(d))) {
    ++g.em_servico;
    ++g.bloqueados;
    ++x.servico;
    ++x.bloqueados;
    atualizar(c, e);
    c.classes->estacoes[static_cast<std::size_t>(d)].remetentes.por_atras(
        {f, ev.alvo, k, dk.proxima});
    parar_se_impasse(c);
    return;
  }
  ++s.atendidos;
  ++x.atendidos;
  s.soma_permanencia += t - f.estacao;
  x.soma_permanencia += t - f.estacao;
  if (p.disciplina == Disciplina::ps) {
    reagendar(c, e);
  } else {
    ocupar(c, e);
  }
  virar(c, k, dk.proxima);
  if (d < 0) {
    sair_classe(c, f, dk.proxima);
  } else {
    chegar(c, static_cast<std::size_t>(d), Fregues{f.rede, t}, dk.proxima);
  }
  // Room at e, unless the customer came back to it and stayed.
  desbloquear(c, e);
}

// The head is the end of a waiting customer's patience at station alvo - 2n: it leaves, unless
// it has started its service since.
void abandonar(Corrida& c, const Evento& ev) {
  tirar_cabeca(c);
  const std::size_t e = static_cast<std::size_t>(ev.alvo) - 2 * nestacoes(c);
  EstacaoClasses& g = c.classes->estacoes[e];
  const Vaga v = g.vagas[static_cast<std::size_t>(ev.classe)];
  if (v.id != ev.ordem + 1) return;
  integrar(c, e, c.relogio);
  soltar_vaga(g, ev.classe);
  PorClasse& x = g.classes[static_cast<std::size_t>(v.classe)];
  --g.esperando;
  --x.fila;
  ++g.mortos;
  EstadoEstacao& s = c.estacoes[e];
  ++s.abandonos;
  ++x.abandonos;
  ++g.abandonos_total;
  ++x.abandonos_total;
  if (g.mortos > g.esperando + 32) {
    for (Anel<Esperando>& a : g.niveis) a.filtrar([&g](const Esperando& y) { return vivo(g, y); });
    g.mortos = 0;
  }
  desbloquear(c, e);
}

// The time of shift i of the period ciclo at station e.
double hora_turno(const TurnosProntos& t, std::int64_t ciclo, std::int64_t i) {
  return static_cast<double>(ciclo) * t.periodo + t.inicios[static_cast<std::size_t>(i)];
}

void agendar_turno(Corrida& c, std::size_t e) {
  const EstacaoClasses& g = c.classes->estacoes[e];
  const TurnosProntos& t = *c.rede.estacoes[e].turnos;
  const auto n = static_cast<std::int64_t>(t.valores.size());
  if (n == 1) return;
  const std::int64_t i = (g.turno + 1) % n;
  agendar(c, hora_turno(t, i == 0 ? g.ciclo_turno + 1 : g.ciclo_turno, i),
          static_cast<std::int32_t>(nestacoes(c) + e), Fregues{});
}

// The head is a change of shift at station alvo - n: fewer servers leave those busy to finish
// their customers; more take waiting customers at once.
void trocar_turno(Corrida& c, const Evento& ev) {
  tirar_cabeca(c);
  const std::size_t e = static_cast<std::size_t>(ev.alvo) - nestacoes(c);
  EstacaoClasses& g = c.classes->estacoes[e];
  const EstacaoPronta& p = c.rede.estacoes[e];
  const TurnosProntos& t = *p.turnos;
  integrar(c, e, c.relogio);
  if (p.disciplina == Disciplina::ps) acumular(g, c.relogio);
  g.turno = (g.turno + 1) % static_cast<std::int64_t>(t.valores.size());
  if (g.turno == 0) ++g.ciclo_turno;
  g.servidores = t.valores[static_cast<std::size_t>(g.turno)];
  agendar_turno(c, e);
  if (p.disciplina == Disciplina::ps) {
    reagendar(c, e);
  } else {
    ocupar(c, e);
  }
  atualizar(c, e);
}

bool gerar(Corrida& c, const Evento& ev) {
  const std::size_t j = static_cast<std::size_t>(-1 - ev.alvo);
  const FontePronta& fonte = c.rede.fontes[j];
  const double t = c.relogio;
  trocar_cabeca(c, chegada_seguinte(c, j, t), ev.alvo, Fregues{});
  std::int64_t n = 1;
  if (fonte.lote) {
    n = std::llround(sortear(*fonte.lote, c.classes->lotes[j]));
    n = std::min(n, c.limite - c.gerados_total);
  }
  RedeClasse& r = c.classes->classes[static_cast<std::size_t>(fonte.classe)];
  for (std::int64_t i = 0; i < n; ++i) {
    ++c.gerados[j];
    ++c.gerados_total;
    ++r.gerados_total;
    const Fregues f{t, t};
    const std::int32_t d = destino(c, fonte.rota, c.rotas_fonte[j]);
    if (d < 0) {
      sair_classe(c, f, fonte.classe);
    } else {
      chegar(c, static_cast<std::size_t>(d), f, fonte.classe);
    }
  }
  return c.gerados_total == c.limite;
}

// ---- windows -------------------------------------------------------------------------------

// Every measure as it is now, since the statistics started.
void fotografar(const Corrida& c, Janela& j) {
  j.estacoes.clear();
  j.rede.clear();
  for (std::size_t e = 0; e < c.estacoes.size(); ++e) {
    j.estacoes.push_back(c.estacoes[e]);
    for (const PorClasse& x : c.classes->estacoes[e].classes) j.estacoes.push_back(x);
  }
  MedidasRede r;
  r.saidas = c.saidas;
  r.soma_permanencia = c.soma_permanencia;
  r.permanencia = c.permanencia;
  j.rede.push_back(std::move(r));
  for (const RedeClasse& x : c.classes->classes) j.rede.push_back(x);
  j.gerados = c.gerados;
}

Quantis quantis(const Histograma& h) {
  Quantis q{};
  for (std::size_t i = 0; i < q.size(); ++i) q[i] = h.quantil(kQuantis[i]);
  return q;
}

// What was measured between a and b, b earlier; the longest queue is the window's own.
Medidas menos(const Medidas& a, const Medidas& b) {
  Medidas d;
  d.area_fila = a.area_fila - b.area_fila;
  d.area_ocupados = a.area_ocupados - b.area_ocupados;
  d.area_servico = a.area_servico - b.area_servico;
  d.area_bloqueio = a.area_bloqueio - b.area_bloqueio;
  d.area_servidores = a.area_servidores - b.area_servidores;
  d.chegadas = a.chegadas - b.chegadas;
  d.perdidos = a.perdidos - b.perdidos;
  d.inicios = a.inicios - b.inicios;
  d.atendidos = a.atendidos - b.atendidos;
  d.abandonos = a.abandonos - b.abandonos;
  d.desistencias = a.desistencias - b.desistencias;
  d.soma_espera = a.soma_espera - b.soma_espera;
  d.soma_permanencia = a.soma_permanencia - b.soma_permanencia;
  d.esperaram = a.esperaram - b.esperaram;
  d.no_limiar = a.no_limiar - b.no_limiar;
  return d;
}

MedidasRede menos(const MedidasRede& a, const MedidasRede& b) {
  MedidasRede d;
  d.saidas = a.saidas - b.saidas;
  d.soma_permanencia = a.soma_permanencia - b.soma_permanencia;
  d.passagens = a.passagens - b.passagens;
  d.ciclos = a.ciclos - b.ciclos;
  d.soma_ciclo = a.soma_ciclo - b.soma_ciclo;
  return d;
}

// The window in progress ends at t; measured when completa and the statistics ran over it all.
void medir_janela(Corrida& c, double t, bool completa) {
  EstadoClasses& x = *c.classes;
  Janela agora;
  fotografar(c, agora);
  Janela j;
  j.inicio = x.base.inicio;
  j.fim = t;
  j.medida = completa && c.fase == Fase::medicao && j.inicio >= c.aquecimento;
  if (j.medida) {
    std::size_t i = 0;
    for (EstacaoClasses& g : x.estacoes) {
      for (std::size_t k = 0; k <= g.classes.size(); ++k, ++i) {
        Medidas d = menos(agora.estacoes[i], x.base.estacoes[i]);
        d.fila_maxima = k == 0 ? g.fila_janela : g.classes[k - 1].fila_janela;
        Histograma h = agora.estacoes[i].espera;
        h.tirar(x.base.estacoes[i].espera);
        j.espera.push_back(quantis(h));
        j.estacoes.push_back(std::move(d));
      }
    }
    for (std::size_t r = 0; r < agora.rede.size(); ++r) {
      j.rede.push_back(menos(agora.rede[r], x.base.rede[r]));
      Histograma h = agora.rede[r].permanencia;
      h.tirar(x.base.rede[r].permanencia);
      j.permanencia.push_back(quantis(h));
    }
    for (std::size_t f = 0; f < agora.gerados.size(); ++f) {
      j.gerados.push_back(agora.gerados[f] - x.base.gerados[f]);
    }
  }
  x.janelas.push_back(std::move(j));
  x.base = std::move(agora);
  x.base.inicio = t;
  for (EstacaoClasses& g : x.estacoes) {
    g.fila_janela = g.esperando;
    for (PorClasse& k : g.classes) k.fila_janela = k.fila;
  }
}

}  // namespace

std::string impasse(const Corrida& c) {
  const std::size_t ne = nestacoes(c);
  std::vector<char> presa(ne);
  bool alguma = false;
  for (std::size_t e = 0; e < ne; ++e) alguma |= (presa[e] = parada(c, e)) != 0;
  if (!alguma) return "";
  for (bool mudou = true; mudou;) {
    mudou = false;
    for (std::size_t d = 0; d < ne; ++d) {
      const Anel<Bloqueado>& r = c.classes->estacoes[d].remetentes;
      for (std::size_t i = 0; i < static_cast<std::size_t>(r.n()); ++i) {
        const auto o = static_cast<std::size_t>(r.em(i).origem);
        if (presa[o] && !presa[d]) {
          presa[o] = 0;
          mudou = true;
        }
      }
    }
  }
  std::string nomes;
  for (std::size_t e = 0; e < ne; ++e) {
    if (presa[e]) nomes += (nomes.empty() ? "" : ", ") + c.rede.estacoes[e].nome;
  }
  return nomes;
}

double chegada_seguinte(Corrida& c, std::size_t j, double t) {
  const FontePronta& fonte = c.rede.fontes[j];
  if (!fonte.taxa) return t + sortear(fonte.intervalo, c.intervalos[j]);
  // Inversion of the integrated rate: the arrival is where the rate's integral from t reaches
  // an exponential of mean 1, walked piece by piece, whole periods at once.
  const TaxaPronta& x = *fonte.taxa;
  double falta = exponencial(c.intervalos[j]);
  const double ciclos = std::floor(t / x.periodo);
  double base = ciclos * x.periodo;
  const double dentro = std::clamp(t - base, 0.0, x.periodo);
  std::size_t i = static_cast<std::size_t>(
      std::upper_bound(x.inicios.begin(), x.inicios.end(), dentro) - x.inicios.begin() - 1);
  if (falta > x.integral) {
    const double inteiros = std::floor(falta / x.integral);
    falta = std::max(0.0, falta - inteiros * x.integral);
    t += inteiros * x.periodo;
    base += inteiros * x.periodo;
  }
  for (;;) {
    const double fim = base + (i + 1 < x.inicios.size() ? x.inicios[i + 1] : x.periodo);
    const double r = x.taxas[i];
    if (r > 0 && fim > t) {
      const double cabe = r * (fim - t);
      if (falta <= cabe) return t + falta / r;
      falta -= cabe;
    }
    t = std::max(t, fim);
    if (++i == x.inicios.size()) {
      i = 0;
      base += x.periodo;
    }
  }
}

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
  const std::size_t K = r.classes.size(), ne = r.estacoes.size(), nf = r.fontes.size();
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
    for (std::size_t k = 0; k < K; ++k) {
      fluxo(x.pacientes, Proposito::paciencia, e, r.classes[k].chave);
    }
  }
  for (std::size_t e = 0; e < ne; ++e) fluxo(x.desistencias, Proposito::desistencia, e, 0);
  for (std::size_t j = 0; j < nf; ++j) fluxo(x.lotes, Proposito::lote, j, 0);
  for (std::size_t e = 0; e < ne; ++e) {
    const EstacaoPronta& p = r.estacoes[e];
    EstacaoClasses& g = x.estacoes[e];
    const bool por_nivel = p.disciplina == Disciplina::prioridade || preemptiva(p);
    g.niveis.resize(por_nivel ? static_cast<std::size_t>(r.niveis) : 1);
    g.classes.resize(K);
    g.servidores = p.turnos ? p.turnos->valores[0] : p.servidores;
    if (p.turnos) agendar_turno(c, e);
  }
  if (r.janela) {
    fotografar(c, x.base);
    if (r.n_janelas > 1) c.proxima_janela = *r.janela;
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
  if (ev.alvo < 0) return gerar(c, ev);
  const auto ne = static_cast<std::int32_t>(nestacoes(c));
  if (ev.alvo < ne) {
    completar(c, ev);
  } else if (ev.alvo < 2 * ne) {
    trocar_turno(c, ev);
  } else {
    abandonar(c, ev);
  }
  return false;
}

void integrar_classes(Corrida& c, double t) {
  for (std::size_t e = 0; e < c.estacoes.size(); ++e) integrar(c, e, t);
}

void reiniciar_classes(Corrida& c) {
  for (EstacaoClasses& g : c.classes->estacoes) {
    for (PorClasse& x : g.classes) {
      static_cast<Medidas&>(x) = Medidas{};
      x.fila_maxima = x.fila;
    }
  }
  for (RedeClasse& r : c.classes->classes) static_cast<MedidasRede&>(r) = MedidasRede{};
  // The window in progress measures from here.
  if (c.rede.janela) fotografar(c, c.classes->base);
}

void fechar_janela(Corrida& c) {
  const double t = c.proxima_janela;
  integrar_classes(c, t);
  medir_janela(c, t, true);
  const auto i = static_cast<std::int64_t>(c.classes->janelas.size());
  c.proxima_janela = i + 1 < c.rede.n_janelas ? static_cast<double>(i + 1) * *c.rede.janela
                                              : std::numeric_limits<double>::infinity();
}

void encerrar_janelas(Corrida& c, double t) {
  c.proxima_janela = std::numeric_limits<double>::infinity();
  if (!c.rede.janela || !c.classes) return;
  EstadoClasses& x = *c.classes;
  const double L = *c.rede.janela;
  if (static_cast<std::int64_t>(x.janelas.size()) < c.rede.n_janelas) {
    medir_janela(c, t, c.rede.tempo && t == *c.rede.tempo);
  }
  // Those the run never reached.
  while (static_cast<std::int64_t>(x.janelas.size()) < c.rede.n_janelas) {
    Janela j;
    j.inicio = static_cast<double>(x.janelas.size()) * L;
    j.fim = std::min(j.inicio + L, c.rede.tempo.value_or(j.inicio + L));
    x.janelas.push_back(std::move(j));
  }
}

}  // namespace tarvo::geral
