// The checks of a run of the extended engine, from its state alone.
#include "geral/verificacao.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <limits>

#include "comum/failure.h"
#include "geral/classes.h"

namespace tarvo::geral {

namespace {

// The path for classes: the customers of each class conserved (a closed class's population
// constant), never more in service than servers, nobody waiting at a free server, the shares of
// a processor-sharing station summing to its servers busy, each completion pending matched; the
// customers who may give up each with the end of its patience pending, the blocked ones each in
// the line of a full station, and every shift of servers with its next change pending.
std::string verificar_classes(const Corrida& c,
                              const std::vector<std::vector<std::uint64_t>>& ordens,
                              const std::vector<std::vector<const Evento*>>& outros) {
  const EstadoClasses& x = *c.classes;
  const std::size_t K = c.rede.classes.size(), ne = c.estacoes.size();
  std::vector<std::int64_t> presentes(K, 0), perdidos(K, 0);
  // Per station and class, the customers blocked there, from the lines they wait in.
  std::vector<std::int64_t> retidos(ne * K, 0);
  for (std::size_t d = 0; d < ne; ++d) {
    const Anel<Bloqueado>& r = x.estacoes[d].remetentes;
    if (r.n() > 0 &&
        !(c.rede.estacoes[d].bloqueia &&
          x.estacoes[d].esperando + x.estacoes[d].em_servico >= c.rede.estacoes[d].capacidade)) {
      return formatar("estacao %zu com fregueses bloqueados por ela e lugar livre", d + 1);
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(r.n()); ++i) {
      const Bloqueado& b = r.em(i);
      if (b.origem < 0 || static_cast<std::size_t>(b.origem) >= ne || b.classe < 0 ||
          static_cast<std::size_t>(b.classe) >= K) {
        return formatar("estacao %zu com bloqueado invalido", d + 1);
      }
      ++retidos[static_cast<std::size_t>(b.origem) * K + static_cast<std::size_t>(b.classe)];
    }
  }
  for (std::size_t e = 0; e < ne; ++e) {
    const EstacaoClasses& g = x.estacoes[e];
    const EstacaoPronta& p = c.rede.estacoes[e];
    const std::size_t n = e + 1;
    std::int64_t fila = 0, servico = 0, bloqueados = 0;
    for (std::size_t k = 0; k < K; ++k) {
      const PorClasse& pk = g.classes[k];
      if (pk.fila < 0 || pk.servico < 0 || pk.bloqueados < 0 || pk.bloqueados > pk.servico) {
        return formatar("estacao %zu com contagem negativa", n);
      }
      if (pk.bloqueados != retidos[e * K + k]) {
        return formatar("estacao %zu com %" PRId64 " bloqueados da classe %zu, e nao %" PRId64, n,
                        pk.bloqueados, k + 1, retidos[e * K + k]);
      }
      fila += pk.fila;
      servico += pk.servico;
      bloqueados += pk.bloqueados;
      presentes[k] += pk.fila + pk.servico;
      perdidos[k] += pk.perdidos_total + pk.abandonos_total + pk.desistencias_total;
    }
    // The living in the rings, and among them those who may give up, each holding its place.
    std::int64_t vivos = 0, mortos = 0, impacientes = 0;
    for (const Anel<Esperando>& a : g.niveis) {
      for (std::size_t i = 0; i < static_cast<std::size_t>(a.n()); ++i) {
        const Esperando& y = a.em(i);
        if (y.id != 0 && (y.vaga < 0 || static_cast<std::size_t>(y.vaga) >= g.vagas.size())) {
          return formatar("estacao %zu com vaga invalida", n);
        }
        if (y.id == 0 || g.vagas[static_cast<std::size_t>(y.vaga)].id == y.id) {
          ++vivos;
          impacientes += y.id != 0;
        } else {
          ++mortos;
        }
      }
    }
    if (fila != g.esperando || vivos != g.esperando || mortos != g.mortos ||
        servico != g.em_servico || bloqueados != g.bloqueados) {
      return formatar("estacao %zu: as classes nao somam o total", n);
    }
    if (impacientes != g.pacientes) {
      return formatar("estacao %zu com %" PRId64 " impacientes, e nao %" PRId64, n, impacientes,
                      g.pacientes);
    }
    // Each place held has the end of its patience pending.
    std::int64_t prazos = 0;
    for (const Evento* ev : outros[e]) {
      if (static_cast<std::size_t>(ev->alvo) < 2 * ne) continue;
      if (ev->classe < 0 || static_cast<std::size_t>(ev->classe) >= g.vagas.size()) {
        return formatar("estacao %zu com fim de paciencia de vaga invalida", n);
      }
      prazos += g.vagas[static_cast<std::size_t>(ev->classe)].id == ev->ordem + 1;
    }
    if (prazos != g.pacientes) {
      return formatar("estacao %zu com %" PRId64 " impacientes e %" PRId64 " prazos pendentes", n,
                      g.pacientes, prazos);
    }
    // Shifts: the servers of the one on now, and its change pending.
    std::int64_t trocas = 0;
    for (const Evento* ev : outros[e]) trocas += static_cast<std::size_t>(ev->alvo) < 2 * ne;
    if (p.turnos) {
      if (g.servidores != p.turnos->valores[static_cast<std::size_t>(g.turno)] ||
          trocas != (p.turnos->valores.size() > 1 ? 1 : 0)) {
        return formatar("estacao %zu fora do seu turno", n);
      }
    } else if (trocas != 0 || g.servidores != p.servidores) {
      return formatar("estacao %zu com troca de turno sem turnos", n);
    }
    const bool ps = p.disciplina == Disciplina::ps;
    const std::int64_t ocupados =
        ps ? std::min(g.em_servico, g.servidores) : g.em_servico - g.bloqueados;
    if (ocupados > p.servidores || c.estacoes[e].ocupados != ocupados) {
      return formatar("estacao %zu com %" PRId64 " em servico para %" PRId64 " servidores", n,
                      g.em_servico, p.servidores);
    }
    if (g.esperando > 0 && g.em_servico < g.servidores) {
      return formatar("estacao %zu com %" PRId64 " na fila e servidor livre", n, g.esperando);
    }
    if (g.esperando + g.em_servico > p.capacidade) {
      return formatar("estacao %zu acima da capacidade", n);
    }
    // The completions pending that still stand.
    std::int64_t valem = 0;
    for (std::uint64_t o : ordens[e]) {
      if (ps) {
        valem += g.agendado && o == g.ordem_valida;
      } else if (p.disciplina == Disciplina::prioridade_preemptiva) {
        for (const EmServico& s : g.servindo) valem += s.ordem == o;
      } else {
        ++valem;
      }
    }
    if (valem !=
        (ps ? (g.em_servico > 0 && g.servidores > 0 ? 1 : 0) : g.em_servico - g.bloqueados)) {
      return formatar("estacao %zu com %" PRId64 " conclusoes pendentes validas e %" PRId64
                      " em servico",
                      n, valem, g.em_servico);
    }
    if (ps) {
      if (static_cast<std::int64_t>(g.partilha.size()) != g.em_servico) {
        return formatar("estacao %zu: partilha com %zu fregueses", n, g.partilha.size());
      }
      // Nobody has received more work than its service, and the completion pending is the one
      // the first to finish gets at the rate min(1, c / n) each: together the servers busy.
      const double r = g.em_servico <= g.servidores
                           ? 1.0
                           : static_cast<double>(g.servidores) / static_cast<double>(g.em_servico);
      const double trabalho = g.trabalho + (c.relogio - g.t_trabalho) * r;
      double menor = std::numeric_limits<double>::infinity();
      for (const Partilhado& q : g.partilha) {
        if (q.fim < trabalho - 1e-9 * (1 + std::fabs(trabalho))) {
          return formatar("estacao %zu: um fregues recebeu mais que seu servico", n);
        }
        menor = std::min(menor, q.fim);
      }
      for (const Evento& ev : c.pendentes) {
        if (ev.alvo != static_cast<std::int32_t>(e) || !g.agendado || ev.ordem != g.ordem_valida) {
          continue;
        }
        const double previsto = g.t_trabalho + (menor - g.trabalho) / r;
        if (std::fabs(ev.t - previsto) > 1e-9 * (1 + std::fabs(previsto))) {
          return formatar("estacao %zu: conclusao em %.17g, e nao %.17g", n, ev.t, previsto);
        }
      }
    }
  }
  const std::string presas = impasse(c);
  if (!presas.empty()) return "impasse despercebido: " + presas;
  for (std::size_t k = 0; k < K; ++k) {
    const RedeClasse& r = x.classes[k];
    const ClassePronta& classe = c.rede.classes[k];
    if (classe.populacao > 0) {
      if (presentes[k] != classe.populacao) {
        return formatar("classe fechada %s com %" PRId64 " fregueses, e nao %" PRId64,
                        classe.nome.c_str(), presentes[k], classe.populacao);
      }
      continue;
    }
    if (r.gerados_total + r.vieram != presentes[k] + r.saidas_total + perdidos[k] + r.viraram) {
      return formatar("classe %s: gerados %" PRId64 " + vindos %" PRId64 " != presentes %" PRId64
                      " + saidas %" PRId64 " + perdidos, desistentes e que abandonaram %" PRId64
                      " + idos %" PRId64,
                      classe.nome.c_str(), r.gerados_total, r.vieram, presentes[k], r.saidas_total,
                      perdidos[k], r.viraram);
    }
  }
  return "";
}

}  // namespace

std::string verificar(const Corrida& c) {
  const std::vector<Evento>& h = c.pendentes;
  const std::size_t ne = c.estacoes.size(), nf = c.gerados.size();
  std::vector<std::int64_t> servico(ne, 0), chegada(nf, 0);
  std::vector<std::vector<std::uint64_t>> ordens(ne);
  std::vector<std::vector<const Evento*>> outros(ne);  // changes of shift, ends of patience
  for (std::size_t i = 0; i < h.size(); ++i) {
    const Evento& e = h[i];
    if (!(e.t >= c.relogio)) {
      return formatar("evento pendente no tempo %.17g, antes do relogio", e.t);
    }
    if (e.ordem >= c.ordem) return formatar("evento pendente de ordem %" PRIu64, e.ordem);
    if (i > 0) {
      const Evento& pai = h[(i - 1) / 2];
      if (e.t < pai.t || (e.t == pai.t && e.ordem < pai.ordem)) {
        return formatar("heap fora de ordem na posicao %zu", i);
      }
    }
    if (e.alvo >= 0 && static_cast<std::size_t>(e.alvo) >= ne) {
      if (!c.classes || static_cast<std::size_t>(e.alvo) >= 3 * ne) {
        return formatar("evento de estacao %d", e.alvo);
      }
      outros[static_cast<std::size_t>(e.alvo) % ne].push_back(&e);
    } else if (e.alvo >= 0) {
      ordens[static_cast<std::size_t>(e.alvo)].push_back(e.ordem);
      if (!(e.f.rede <= e.f.estacao && e.f.estacao <= c.relogio)) {
        return formatar("fregues em servico na estacao %d com tempos fora de ordem", e.alvo + 1);
      }
      ++servico[static_cast<std::size_t>(e.alvo)];
    } else {
      const std::size_t j = static_cast<std::size_t>(-1 - static_cast<std::int64_t>(e.alvo));
      if (j >= nf) return formatar("evento de fonte %zu", j + 1);
      ++chegada[j];
    }
  }
  for (std::size_t j = 0; j < nf; ++j) {
    if (chegada[j] != (c.ordem > 0 ? 1 : 0)) {
      return formatar("fonte %zu com %" PRId64 " chegadas pendentes", j + 1, chegada[j]);
    }
  }
  if (c.classes) return verificar_classes(c, ordens, outros);
  std::int64_t presentes = 0, perdidos = 0;
  for (std::size_t e = 0; e < ne; ++e) {
    const EstadoEstacao& s = c.estacoes[e];
    const EstacaoPronta& p = c.rede.estacoes[e];
    const std::size_t n = e + 1;
    if (s.ocupados < 0 || s.ocupados > p.servidores) {
      return formatar("estacao %zu com %" PRId64 " servidores ocupados de %" PRId64, n, s.ocupados,
                      p.servidores);
    }
    if (s.ocupados != servico[e]) {
      return formatar("estacao %zu com %" PRId64 " ocupados e %" PRId64 " servicos pendentes", n,
                      s.ocupados, servico[e]);
    }
    if (s.fila.n < 0 || (s.fila.n > 0 && s.ocupados < p.servidores)) {
      return formatar("estacao %zu com %" PRId64 " na fila e servidor livre", n, s.fila.n);
    }
    if (s.ocupados + s.fila.n > p.capacidade) {
      return formatar("estacao %zu com %" PRId64 " fregueses, acima da capacidade", n,
                      s.ocupados + s.fila.n);
    }
    if (c.fase == Fase::medicao && s.fila_maxima < s.fila.n) {
      return formatar("estacao %zu com fila maxima abaixo da fila", n);
    }
    const std::size_t m = s.fila.anel.size() - 1;
    double anterior = -1;
    for (std::int64_t i = 0; i < s.fila.n; ++i) {
      const Fregues& f = s.fila.anel[(s.fila.cabeca + static_cast<std::size_t>(i)) & m];
      if (!(f.rede <= f.estacao && f.estacao <= c.relogio && f.estacao >= anterior)) {
        return formatar("estacao %zu com fregues na fila fora de ordem", n);
      }
      anterior = f.estacao;
    }
    presentes += s.ocupados + s.fila.n;
    perdidos += s.perdidos_total;
  }
  if (c.gerados_total != presentes + c.saidas_total + perdidos) {
    return formatar("gerados %" PRId64 " != presentes %" PRId64 " + saidas %" PRId64
                    " + perdidos %" PRId64,
                    c.gerados_total, presentes, c.saidas_total, perdidos);
  }
  return "";
}

std::string rodar_verificado(Corrida& c) {
  std::string v = verificar(c);
  double anterior = c.relogio;
  while (v.empty() && passo(c)) {
    if (c.relogio < anterior) {
      v = formatar("o relogio voltou de %.17g", anterior);
    } else {
      v = verificar(c);
    }
    anterior = c.relogio;
  }
  if (v.empty()) return v;
  return formatar("evento %" PRIu64 ", relogio %.17g: %s", c.eventos, c.relogio, v.c_str());
}

}  // namespace tarvo::geral
