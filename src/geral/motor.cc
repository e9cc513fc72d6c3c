// The extended engine's events: arrivals from sources, service completions, routing and the
// statistics, with the pending events in a binary heap.
#include "geral/motor.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <string>

#include "comum/failure.h"
#include "geral/agenda.h"
#include "geral/classes.h"

namespace tarvo::geral {

namespace {

constexpr double kInfinito = std::numeric_limits<double>::infinity();

RotaPronta preparar_rota(const Rota& rota, std::size_t nestacoes, std::vector<Desvio>& desvios) {
  RotaPronta r;
  r.inicio = static_cast<std::int32_t>(desvios.size());
  double soma = 0;
  for (const Destino& d : rota) {
    if (d.estacao < 0 || static_cast<std::size_t>(d.estacao) >= nestacoes) {
      falha(1, "Rota para uma estacao que nao existe (%d)\n", d.estacao);
    }
    if (!(d.p >= 0 && d.p <= 1)) falha(1, "Probabilidade fora de [0, 1] numa rota\n");
    if (d.p == 0) continue;  // never taken; dropping it leaves the other draws as they were
    soma += d.p;
    desvios.push_back({soma, d.estacao});
  }
  if (soma > 1 + 1e-9) falha(1, "Probabilidades de uma rota somam mais que 1\n");
  r.n = static_cast<std::int32_t>(desvios.size()) - r.inicio;
  if (r.n == 1 && soma >= 1) {
    r.certa = desvios.back().estacao;
  } else {
    r.sorteia = r.n > 0;
  }
  return r;
}

// ---- the queues ----------------------------------------------------------------------------

[[gnu::noinline]] void crescer(FilaEspera& q) {
  const std::size_t n = q.anel.size(), m = n - 1;
  std::vector<Fregues> novo(2 * n);
  for (std::size_t i = 0; i < n; ++i) novo[i] = q.anel[(q.cabeca + i) & m];
  q.anel.swap(novo);
  q.cabeca = 0;
}

inline void por(FilaEspera& q, const Fregues& f) {
  if (static_cast<std::size_t>(q.n) == q.anel.size()) crescer(q);
  q.anel[(q.cabeca + static_cast<std::size_t>(q.n)) & (q.anel.size() - 1)] = f;
  ++q.n;
}

inline Fregues tirar(FilaEspera& q) {
  const Fregues f = q.anel[q.cabeca];
  q.cabeca = (q.cabeca + 1) & (q.anel.size() - 1);
  --q.n;
  return f;
}

// ---- the events ----------------------------------------------------------------------------

// Carries the station's time integrals up to t.
inline void integrar(EstadoEstacao& s, double t) {
  const double dt = t - s.t_ultima;
  s.area_fila += static_cast<double>(s.fila.n) * dt;
  s.area_ocupados += static_cast<double>(s.ocupados) * dt;
  s.t_ultima = t;
}

// A service starts at station s after a wait of w.
inline void iniciar(EstadoEstacao& s, const EstacaoPronta& p, double w) {
  ++s.inicios;
  s.soma_espera += w;
  s.esperaram += w > 0;
  s.no_limiar += w <= p.limiar;
  s.espera.somar(w);
}

inline void chegar(Corrida& c, std::int32_t e, const Fregues& f) {
  EstadoEstacao& s = c.estacoes[static_cast<std::size_t>(e)];
  const EstacaoPronta& p = c.rede.estacoes[static_cast<std::size_t>(e)];
  ++s.chegadas;
  if (s.ocupados + s.fila.n >= p.capacidade) {
    ++s.perdidos;
    ++s.perdidos_total;
    return;
  }
  integrar(s, c.relogio);
  if (s.ocupados < p.servidores) {
    ++s.ocupados;
    iniciar(s, p, 0);
    agendar(c, c.relogio + sortear(p.servico, c.servicos[static_cast<std::size_t>(e)]), e, f);
  } else {
    por(s.fila, f);
    s.fila_maxima = std::max(s.fila_maxima, s.fila.n);
  }
}

// The head's service ends. A waiting customer takes the server before the one served is routed,
// so that a customer sent back to the same station joins the end of its queue.
inline void completar(Corrida& c, const Evento& ev) {
  const std::size_t e = static_cast<std::size_t>(ev.alvo);
  EstadoEstacao& s = c.estacoes[e];
  const EstacaoPronta& p = c.rede.estacoes[e];
  const double t = c.relogio;
  integrar(s, t);
  ++s.atendidos;
  s.soma_permanencia += t - ev.f.estacao;
  if (s.fila.n > 0) {
    const Fregues g = tirar(s.fila);
    iniciar(s, p, t - g.estacao);
    trocar_cabeca(c, t + sortear(p.servico, c.servicos[e]), ev.alvo, g);
  } else {
    --s.ocupados;
    tirar_cabeca(c);
  }
  const std::int32_t d = destino(c, p.rota, c.rotas_estacao[e]);
  if (d < 0) {
    sair(c, ev.f);
  } else {
    chegar(c, d, Fregues{ev.f.rede, t});
  }
}

// The head is source j's arrival: its next is scheduled first, then the customer goes on.
// Returns true when this customer is the last the run generates.
inline bool gerar(Corrida& c, const Evento& ev) {
  const std::size_t j = static_cast<std::size_t>(-1 - ev.alvo);
  const FontePronta& fonte = c.rede.fontes[j];
  const double t = c.relogio;
  ++c.gerados[j];
  ++c.gerados_total;
  trocar_cabeca(c, t + sortear(fonte.intervalo, c.intervalos[j]), ev.alvo, Fregues{});
  const Fregues f{t, t};
  const std::int32_t d = destino(c, fonte.rota, c.rotas_fonte[j]);
  if (d < 0) {
    sair(c, f);
  } else {
    chegar(c, d, f);
  }
  return c.gerados_total == c.limite;
}

inline bool tratar(Corrida& c) {
  const Evento ev = c.pendentes[0];
  c.relogio = ev.t;
  ++c.eventos;
  if (ev.alvo >= 0) {
    completar(c, ev);
    return false;
  }
  return gerar(c, ev);
}

// ---- the phases ----------------------------------------------------------------------------

// Every station's time integrals carried to t, on either path.
void integrar_todas(Corrida& c, double t) {
  if (c.classes) {
    integrar_classes(c, t);
    return;
  }
  for (EstadoEstacao& s : c.estacoes) integrar(s, t);
}

// The statistics start at t; the customers present and the pending events carry on.
void reiniciar(Corrida& c, double t) {
  c.relogio = t;
  integrar_todas(c, t);
  for (std::size_t e = 0; e < c.estacoes.size(); ++e) {
    EstadoEstacao& s = c.estacoes[e];
    static_cast<Medidas&>(s) = Medidas{};
    s.fila_maxima = c.classes ? c.classes->estacoes[e].esperando : s.fila.n;
  }
  std::fill(c.gerados.begin(), c.gerados.end(), 0);
  c.saidas = 0;
  c.soma_permanencia = 0;
  c.permanencia = Histograma();
  if (c.classes) reiniciar_classes(c);
  c.fase = Fase::medicao;
  c.medida = true;
}

void encerrar(Corrida& c, double t) {
  c.relogio = t;
  if (c.fase == Fase::medicao) integrar_todas(c, t);
  encerrar_janelas(c, t);
  c.fase = Fase::fim;
}

// The events of the current phase are those before this.
double limite_fase(const Corrida& c) {
  return c.fase == Fase::aquecimento ? std::min(c.aquecimento, c.fim) : c.fim;
}

// No event is left before the phase's limit: the warm-up ends, or the run does at its time limit.
void mudar_fase(Corrida& c) {
  if (c.fase == Fase::aquecimento && c.aquecimento < c.fim) {
    reiniciar(c, c.aquecimento);
  } else {
    encerrar(c, c.rede.tempo ? *c.rede.tempo : c.relogio);
  }
}

// The classes as the engine takes them: the implicit one when none is declared; a rank per
// distinct priority, 0 the best.
void preparar_classes(const Rede& rede, RedePronta& r) {
  if (rede.classes.empty()) {
    r.classes.push_back(ClassePronta{});
    return;
  }
  std::vector<int> prioridades;
  for (const Classe& k : rede.classes) prioridades.push_back(k.prioridade);
  std::sort(prioridades.begin(), prioridades.end());
  prioridades.erase(std::unique(prioridades.begin(), prioridades.end()), prioridades.end());
  r.niveis = static_cast<std::int32_t>(prioridades.size());
  for (const Classe& k : rede.classes) {
    ClassePronta x;
    x.nome = k.nome;
    x.nivel = static_cast<std::int32_t>(
        std::lower_bound(prioridades.begin(), prioridades.end(), k.prioridade) -
        prioridades.begin());
    x.chave = chave_classe(k.nome);
    if (k.populacao) {
      if (*k.populacao < 1) falha(1, "Classe %s sem fregueses\n", k.nome.c_str());
      if (k.inicio < 0 || static_cast<std::size_t>(k.inicio) >= rede.estacoes.size()) {
        falha(1, "Classe fechada %s sem estacao de inicio\n", k.nome.c_str());
      }
      x.populacao = *k.populacao;
      x.inicio = k.inicio;
    }
    r.classes.push_back(std::move(x));
  }
}

// The starts of a value by the time of day: the first at 0, increasing, all within the period.
template <class T>
std::vector<double> inicios(const PorHorario<T>& h, const std::string& de) {
  if (!(h.periodo > 0 && h.periodo <= kMaiorTempo)) {
    falha(1, "%s: periodo deve ser positivo e finito, nao %g\n", de.c_str(), h.periodo);
  }
  if (h.valores.empty()) falha(1, "%s: sem valores\n", de.c_str());
  std::vector<double> v;
  for (const auto& [t, x] : h.valores) {
    if (v.empty() ? t != 0 : !(t > v.back())) {
      falha(1, "%s: os horarios devem comecar em 0 e crescer\n", de.c_str());
    }
    if (!(t < h.periodo)) falha(1, "%s: horario %g fora do periodo\n", de.c_str(), t);
    v.push_back(t);
  }
  return v;
}

TaxaPronta preparar_taxa(const PorHorario<double>& h, const std::string& fonte) {
  TaxaPronta x;
  const std::string de = "Fonte " + fonte;
  x.periodo = h.periodo;
  x.inicios = inicios(h, de);
  for (std::size_t i = 0; i < h.valores.size(); ++i) {
    const double r = h.valores[i].second;
    if (!(r >= 0 && r <= kMaiorTempo)) falha(1, "%s: taxa %g invalida\n", de.c_str(), r);
    x.taxas.push_back(r);
    const double fim = i + 1 < h.valores.size() ? h.valores[i + 1].first : h.periodo;
    x.integral += r * (fim - h.valores[i].first);
  }
  if (!(x.integral > 0 && x.integral <= kMaiorTempo)) {
    falha(1, "%s: a taxa de chegadas e sempre 0\n", de.c_str());
  }
  return x;
}

TurnosProntos preparar_turnos(const PorHorario<int>& h, const std::string& estacao) {
  TurnosProntos t;
  const std::string de = "Estacao " + estacao;
  t.periodo = h.periodo;
  t.inicios = inicios(h, de);
  for (const auto& v : h.valores) {
    if (v.second < 0) falha(1, "%s: turno com %d servidores\n", de.c_str(), v.second);
    t.valores.push_back(v.second);
  }
  if (*std::max_element(t.valores.begin(), t.valores.end()) < 1) {
    falha(1, "Estacao %s sem servidores\n", estacao.c_str());
  }
  return t;
}

// A batch size is a whole number of customers, at least one.
Variavel preparar_lote(const Distribuicao& d, const std::string& fonte) {
  const auto inteiro = [](double x) { return x >= 1 && x <= 1e9 && x == std::floor(x); };
  const bool ok = (d.tipo == Dist::deterministica && inteiro(d.valor)) ||
                  (d.tipo == Dist::empirica && !d.valores.empty() &&
                   std::all_of(d.valores.begin(), d.valores.end(), inteiro));
  if (!ok) {
    falha(1,
          "Fonte %s: o lote deve ser deterministico ou empirico, de numeros inteiros de 1 "
          "em diante\n",
          fonte.c_str());
  }
  return preparar(d);
}

// The number of windows of length L that cover tempo, the last one up to it.
std::int64_t contar_janelas(double tempo, double L) {
  if (!(L > 0 && L <= kMaiorTempo)) falha(1, "Janela deve ser positiva, nao %g\n", L);
  const double q = std::ceil(tempo / L);
  if (!(q <= static_cast<double>(kMaisJanelas))) {
    falha(1, "Janelas demais: %g de %g no tempo %g (no maximo %lld)\n", q, L, tempo,
          static_cast<long long>(kMaisJanelas));
  }
  auto n = std::max<std::int64_t>(1, static_cast<std::int64_t>(q));
  while (n > 1 && static_cast<double>(n - 1) * L >= tempo) --n;
  while (static_cast<double>(n) * L < tempo) ++n;
  if (n > kMaisJanelas)
    falha(1, "Janelas demais (no maximo %lld)\n", static_cast<long long>(kMaisJanelas));
  return n;
}

// Whether a route sends anyone to a station that blocks.
bool manda_a_quem_bloqueia(const Rota& r, const Rede& rede) {
  return std::any_of(r.begin(), r.end(), [&rede](const Destino& d) {
    return d.p > 0 && d.estacao >= 0 &&
           static_cast<std::size_t>(d.estacao) < rede.estacoes.size() &&
           rede.estacoes[static_cast<std::size_t>(d.estacao)].bloqueia;
  });
}

}  // namespace

void tempo_nao_finito(const Corrida& c, double t, std::int32_t alvo) {
  const std::string o = alvo < 0
                            ? "da fonte " + c.rede.fontes[static_cast<std::size_t>(-1 - alvo)].nome
                            : "da estacao " + c.rede.estacoes[static_cast<std::size_t>(alvo)].nome;
  falha(1,
        "O tempo de um evento %s nao e um numero finito (%g, no tempo %.17g): as duracoes "
        "sorteadas sao grandes demais para o relogio; reduza os parametros ou o tempo da "
        "simulacao\n",
        o.c_str(), t, c.relogio);
}

RedePronta preparar_rede(const Rede& rede) {
  RedePronta r;
  if (!rede.tempo && !rede.fregueses) falha(1, "Sem limite de tempo nem de fregueses\n");
  if (rede.tempo && !(*rede.tempo >= 0)) falha(1, "Limite de tempo negativo\n");
  if (rede.fregueses && *rede.fregueses < 0) falha(1, "Limite de fregueses negativo\n");
  if (rede.fontes.size() > INT32_MAX / 2 || rede.estacoes.size() > INT32_MAX / 2) {
    falha(1, "Rede grande demais\n");
  }
  r.tempo = rede.tempo;
  r.fregueses = rede.fregueses;
  r.aquecimento = rede.aquecimento;
  const std::size_t n = rede.estacoes.size();
  for (const Fonte& f : rede.fontes) {
    if (!f.taxa && !rede.fregueses && sempre_zero(f.intervalo)) {
      falha(1, "A simulacao nao termina: a fonte %s gera fregueses sem intervalo\n",
            f.nome.c_str());
    }
    FontePronta x{f.nome, f.taxa ? Variavel{} : preparar(f.intervalo),
                  preparar_rota(f.rota, n, r.desvios), f.classe};
    if (f.taxa) x.taxa = preparar_taxa(*f.taxa, f.nome);
    if (f.lote) x.lote = preparar_lote(*f.lote, f.nome);
    r.fontes.push_back(std::move(x));
  }
  // What only the path for classes does: everything beyond one class in FIFO order.
  r.com_classes = !rede.classes.empty() || rede.janela.has_value();
  for (const Fonte& f : rede.fontes) r.com_classes |= f.taxa || f.lote;
  for (const Estacao& e : rede.estacoes) {
    r.com_classes |= e.disciplina != Disciplina::fifo || e.turnos || e.paciencia ||
                     !e.desistencia.empty() || e.bloqueia;
    for (const DaClasse& k : e.classes) r.com_classes |= k.paciencia.has_value();
  }
  if (rede.janela) {
    if (!rede.tempo) falha(1, "Janelas pedem um limite de tempo\n");
    r.janela = rede.janela;
    r.n_janelas = contar_janelas(*rede.tempo, *rede.janela);
  }
  if (r.com_classes) preparar_classes(rede, r);
  const std::size_t K = r.classes.size();
  for (const FontePronta& f : r.fontes) {
    if (f.classe < 0 ||
        static_cast<std::size_t>(std::max(f.classe, 0)) >= std::max<std::size_t>(K, 1)) {
      falha(1, "Fonte %s de uma classe que nao existe (%d)\n", f.nome.c_str(), f.classe);
    }
    if (r.com_classes && r.classes[static_cast<std::size_t>(f.classe)].populacao > 0) {
      falha(1, "Fonte %s de uma classe fechada\n", f.nome.c_str());
    }
  }
  for (const Estacao& e : rede.estacoes) {
    EstacaoPronta p;
    p.nome = e.nome;
    if (e.limiar) p.limiar = *e.limiar;
    if (e.turnos) {
      if (e.infinitos) falha(1, "Estacao %s com turnos e servidores sem limite\n", e.nome.c_str());
      p.turnos = preparar_turnos(*e.turnos, e.nome);
    } else if (!e.infinitos && e.servidores < 1) {
      falha(1, "Estacao %s sem servidores\n", e.nome.c_str());
    }
    if (e.capacidade && *e.capacidade < 1) falha(1, "Estacao %s sem lugares\n", e.nome.c_str());
    p.servidores = e.infinitos ? kSemLimite
                   : p.turnos
                       ? *std::max_element(p.turnos->valores.begin(), p.turnos->valores.end())
                       : e.servidores;
    if (p.turnos && e.capacidade && *e.capacidade < p.servidores) {
      falha(1, "Estacao %s com mais servidores que lugares\n", e.nome.c_str());
    }
    for (double q : e.desistencia) {
      if (!(q >= 0 && q <= 1)) falha(1, "Estacao %s: desistencia fora de [0, 1]\n", e.nome.c_str());
    }
    p.desistencia = e.desistencia;
    p.bloqueia = e.bloqueia;
    if (e.bloqueia && !e.capacidade) {
      falha(1, "Estacao %s bloqueia mas nunca enche: falta a capacidade\n", e.nome.c_str());
    }
    if (e.disciplina == Disciplina::ps) {
      bool manda = manda_a_quem_bloqueia(e.rota, rede);
      for (const DaClasse& k : e.classes) manda |= k.rota && manda_a_quem_bloqueia(*k.rota, rede);
      if (manda) {
        falha(1,
              "Estacao %s reparte os servidores (ps) e nao pode ficar bloqueada por uma estacao "
              "cheia\n",
              e.nome.c_str());
      }
    }
    p.capacidade = e.capacidade ? *e.capacidade : kSemLimite;
    p.servico = preparar(e.servico);
    p.rota = preparar_rota(e.rota, n, r.desvios);
    p.disciplina = e.disciplina;
    if (!e.classes.empty() && e.classes.size() != K) {
      falha(1, "Estacao %s com %zu entradas por classe para %zu classes\n", e.nome.c_str(),
            e.classes.size(), K);
    }
    for (std::size_t k = 0; r.com_classes && k < K; ++k) {
      DaClassePronta x;
      const DaClasse* d = e.classes.empty() ? nullptr : &e.classes[k];
      x.servico = d && d->servico ? preparar(*d->servico) : p.servico;
      x.rota = d && d->rota ? preparar_rota(*d->rota, n, r.desvios) : p.rota;
      x.proxima = d && d->proxima_classe ? *d->proxima_classe : static_cast<std::int32_t>(k);
      // The customers of a closed class never leave: they neither give up nor balk.
      if (d && d->paciencia && r.classes[k].populacao > 0) {
        falha(1, "Estacao %s: a classe fechada %s nao desiste de esperar\n", e.nome.c_str(),
              r.classes[k].nome.c_str());
      }
      const Distribuicao* paciencia = d && d->paciencia ? &*d->paciencia
                                      : e.paciencia     ? &*e.paciencia
                                                        : nullptr;
      if (paciencia && r.classes[k].populacao == 0) {
        x.paciencia = preparar(*paciencia);
        p.paciencia = true;
      }
      if (x.proxima < 0 || static_cast<std::size_t>(x.proxima) >= K) {
        falha(1, "Estacao %s manda a uma classe que nao existe (%d)\n", e.nome.c_str(), x.proxima);
      }
      p.classes.push_back(std::move(x));
    }
    r.estacoes.push_back(std::move(p));
  }
  return r;
}

Corrida::Corrida(const RedePronta& r, std::uint32_t semente, std::uint64_t replicacao, double aquec)
    : rede(r),
      aquecimento(aquec > 0 ? aquec : 0),
      fim(r.tempo ? std::nextafter(*r.tempo, kInfinito) : kInfinito),
      limite(r.fregueses ? *r.fregueses : kSemLimite),
      proxima_janela(kInfinito) {
  fase = aquecimento > 0 ? Fase::aquecimento : Fase::medicao;
  medida = fase == Fase::medicao;
  const std::size_t nf = r.fontes.size(), ne = r.estacoes.size();
  auto fluxos = [&](std::vector<Gerador>& v, std::size_t n, Proposito p) {
    for (std::size_t j = 0; j < n; ++j) {
      v.push_back(gerador(semente, replicacao, p, static_cast<std::uint32_t>(j)));
      origem.push_back(v.back().pcg);
    }
  };
  fluxos(intervalos, nf, Proposito::intervalo);
  fluxos(rotas_fonte, nf, Proposito::rota_fonte);
  fluxos(servicos, ne, Proposito::servico);
  fluxos(rotas_estacao, ne, Proposito::rota_estacao);
  estacoes.resize(ne);
  gerados.assign(nf, 0);
  std::size_t reserva = nf + 16;
  for (const EstacaoPronta& e : r.estacoes) {
    reserva += static_cast<std::size_t>(
        std::min<std::int64_t>({e.servidores, e.capacidade, std::int64_t{1} << 16}));
  }
  pendentes.reserve(reserva);
  if (limite == 0) {
    encerrar(*this, 0);
    return;
  }
  for (std::size_t j = 0; j < nf; ++j) {
    // 0 + d, as every later time is the clock plus a duration: a duration of -0 becomes +0.
    agendar(*this, chegada_seguinte(*this, j, 0.0), -1 - static_cast<std::int32_t>(j), Fregues{});
  }
  if (r.com_classes) iniciar_classes(*this, semente, replicacao);
}

Corrida::~Corrida() = default;

namespace {

// The run to its end on one path: T is how it handles an event.
template <bool (*T)(Corrida&)>
void correr(Corrida& c) {
  // Whoever watches the run is looked at every 2^14 events: a few times a millisecond.
  constexpr std::uint64_t kOlhar = (std::uint64_t{1} << 14) - 1;
  const bool vigiada = c.parar != nullptr || c.andamento != nullptr;
  while (c.fase != Fase::fim) {
    const double fase = limite_fase(c);
    const double limite = std::min(fase, c.proxima_janela);
    const std::vector<Evento>& h = c.pendentes;
    while (!h.empty() && h[0].t < limite) {
      if (T(c)) {
        encerrar(c, c.relogio);
        return;
      }
      if ((c.eventos & kOlhar) == 0 && vigiada) [[unlikely]] {
        if (c.andamento != nullptr) c.andamento->store(andamento(c), std::memory_order_relaxed);
        if (c.parar != nullptr && c.parar->load(std::memory_order_relaxed)) {
          c.interrompida = true;
          c.fase = Fase::fim;
          return;
        }
      }
    }
    if (c.proxima_janela < fase) {
      fechar_janela(c);
    } else {
      mudar_fase(c);
    }
  }
}

}  // namespace

void rodar(Corrida& c) {
  if (c.classes) {
    correr<tratar_classes>(c);
  } else {
    correr<tratar>(c);
  }
}

bool passo(Corrida& c) {
  while (c.fase != Fase::fim) {
    const double fase = limite_fase(c);
    if (!c.pendentes.empty() && c.pendentes[0].t < std::min(fase, c.proxima_janela)) {
      if (c.classes ? tratar_classes(c) : tratar(c)) encerrar(c, c.relogio);
      return true;
    }
    if (c.proxima_janela < fase) {
      fechar_janela(c);
    } else {
      mudar_fase(c);
    }
  }
  return false;
}

std::uint64_t sorteios(const Corrida& c) {
  std::uint64_t m = 0;
  std::size_t i = 0;
  for (const auto* v : {&c.intervalos, &c.rotas_fonte, &c.servicos, &c.rotas_estacao}) {
    for (const Gerador& g : *v) m = std::max<std::uint64_t>(m, g.pcg - c.origem[i++]);
  }
  if (c.classes) {
    i = 0;
    const EstadoClasses& x = *c.classes;
    for (const auto* v :
         {&x.servicos, &x.rotas, &x.ordens, &x.pacientes, &x.desistencias, &x.lotes}) {
      for (const Gerador& g : *v) m = std::max<std::uint64_t>(m, g.pcg - x.origem[i++]);
    }
  }
  return m;
}

std::int64_t esperando(const Corrida& c, std::size_t e) {
  return c.classes ? c.classes->estacoes[e].esperando : c.estacoes[e].fila.n;
}

double andamento(const Corrida& c) {
  double f = 0;
  if (c.rede.tempo && *c.rede.tempo > 0) f = c.relogio / *c.rede.tempo;
  if (c.limite != kSemLimite && c.limite > 0) {
    f = std::max(f, static_cast<double>(c.gerados_total) / static_cast<double>(c.limite));
  }
  return std::clamp(f, 0.0, 1.0);
}

}  // namespace tarvo::geral
