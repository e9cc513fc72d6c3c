// Replications of a legacy model: each one a whole run of its own, the figures those of the
// report.
#include "legado/adaptador.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include "comum/failure.h"
#include "comum/gravacao.h"
#include "geral/toml_loader.h"
#include "legado/converter.h"
#include "legado/engine/handlers.h"
#include "legado/engine/passo.h"
#include "legado/engine/run.h"
#include "legado/input/loader.h"
#include "legado/report/report.h"
#include "teoria/figuras.h"

namespace tarvo {

namespace {

// The figures, in this order: the network's, then per source, server and queue by number.
enum Rede { TEMPO_FINAL, GERADOS, TERMINO, PERDIDAS, N_REDE };

// The waits at one queue, which the legacy engine does not follow: the times its waiting
// customers arrived, first in first out, and the waits of the services started since the
// statistics started.
struct Esperas {
  std::vector<Tempo> chegadas = std::vector<Tempo>(16);  // a ring
  std::size_t cabeca = 0, n = 0;
  std::int64_t inicios = 0, esperaram = 0, no_limiar = 0;
  Histograma espera;

  // The ring's size is a power of 2, so that a mask wraps it.
  void por(Tempo t) {
    if (n == chegadas.size()) {
      std::vector<Tempo> v(2 * n);
      for (std::size_t k = 0; k < n; ++k) v[k] = chegadas[(cabeca + k) & (n - 1)];
      chegadas.swap(v);
      cabeca = 0;
    }
    chegadas[(cabeca + n) & (chegadas.size() - 1)] = t;
    ++n;
  }
  void iniciar(double w, double limiar) {
    ++inicios;
    esperaram += w > 0;
    no_limiar += w <= limiar;
    espera.somar(w);
  }
  void tirar(Tempo agora, double limiar) {
    if (n == 0) return;
    const Tempo t = chegadas[cabeca];
    cabeca = (cabeca + 1) & (chegadas.size() - 1);
    --n;
    iniciar(static_cast<double>(agora) - static_cast<double>(t), limiar);
  }
  void zerar() {
    inicios = esperaram = no_limiar = 0;
    espera = Histograma();
  }
};

class Legado final : public Modelo {
 public:
  Legado(std::string texto, std::string caminho, const Ajustes& ajustes)
      : texto_(std::move(texto)), caminho_(std::move(caminho)), limiar_(ajustes.limiar) {
    auto sim = std::make_unique<Simulacao>();
    ler_modelo_texto(*sim, texto_);
    const tarvo::Rede& r = sim->rede;
    auto id = [this](const char* tipo, const std::string& nome, int numero, const char* figura,
                     const std::string& rotulo) {
      ids_.push_back({tipo, nome, numero, figura, rotulo, std::nullopt});
    };
    id("rede", "rede", 0, "tempo_final", "TEMPO SIMULADO");
    id("rede", "rede", 0, "gerados", "NUM. DE CLIENTES GERADOS");
    id("rede", "rede", 0, "termino_por_clientes", "TIPO DO TERMINO (1 = clientes)");
    id("rede", "rede", 0, "duracoes_perdidas", "DURACOES PERDIDAS");
    for (int j = 1; j <= r.nfontes; ++j) {
      id("fonte", r.fontes[j].nome, j, "gerados", "NUM.CLIENTE.GER.");
    }
    for (int j = 1; j <= r.nservidores; ++j) {
      const std::string& n = r.servidores[j].nome;
      id("servidor", n, j, "utilizacao", "UTILIZ.");
      id("servidor", n, j, "em_servico", "CLI.FIM.");
      id("servidor", n, j, "atendidos", "NUM.CLI.");
      id("servidor", n, j, "taxa_servico", "TX DE SERVICO");
    }
    for (int j = 1; j < r.nfilas; ++j) {
      const std::string& n = r.filas[j].nome;
      id("fila", n, j, "taxa_chegada", "TX.CHG.");
      id("fila", n, j, "tamanho_medio", "TAM.MED.FIL");
      id("fila", n, j, "espera_media", "TEM.MED.FIL");
      id("fila", n, j, "prob_espera", "PROB.ESPERA");
      id("fila", n, j, "espera_p50", "TEM.FIL P50");
      id("fila", n, j, "espera_p90", "TEM.FIL P90");
      id("fila", n, j, "espera_p95", "TEM.FIL P95");
      id("fila", n, j, "espera_p99", "TEM.FIL P99");
      if (limiar_) {
        id("fila", n, j, "nivel_servico", formatar("NIVEL SERV.<=%g", *limiar_));
        ids_.back().limiar = limiar_;
      }
      id("fila", n, j, "maximo", "MAX.CLI.");
      id("fila", n, j, "tamanho_final", "CLI.TER.");
    }
    if (r.nfilas > 0) id("fila", r.filas[r.nfilas].nome, r.nfilas, "sorvedouro", "SORVEDOURO");
    descricao_ = descrever(r);
    // Every queue but the sink is followed over time, in bins from the mean time between
    // arrivals.
    for (int j = 1; j < r.nfilas; ++j) {
      filas_.push_back(r.filas[j].nome);
      histogramas_.push_back({"fila", r.filas[j].nome, "espera"});
    }
    double taxa = 0;
    for (int j = 1; j <= r.nfontes; ++j) {
      const double m = media(r.fontes[j]);
      taxa_fontes_ += m > 0 ? 1 / m : std::numeric_limits<double>::infinity();
      if (m > 0) taxa += 1 / m;
      discretizada_ = discretizada_ || r.fontes[j].tipo == DIST_EXPONENCIAL;
    }
    for (int j = 1; j <= r.nservidores; ++j) {
      const double m = media(r.servidores[j]);
      capacidade_servidores_.push_back(m > 0 ? 1 / m : std::numeric_limits<double>::infinity());
      discretizada_ = discretizada_ || r.servidores[j].tipo == DIST_EXPONENCIAL;
    }
    Tlimite_ = r.Tlimite;
    Nlimite_ = r.Nlimite;
    horizonte_ = horizonte_esperado(static_cast<double>(r.Tlimite), r.Nlimite, taxa);
    largura_ = largura_inicial(taxa);
    try {
      teorica_ = calcular_rede_teorica();
    } catch (const Falha& f) {
      porque_sem_teoria_ = f.texto;
    }
  }

  // The mean of an object's times, as the file gives them.
  template <class Objeto>
  static double media(const Objeto& o) {
    return o.tipo == DIST_EXPONENCIAL
               ? static_cast<double>(o.med)
               : (static_cast<double>(o.inf) + static_cast<double>(o.sup)) / 2;
  }

  const std::vector<IdFigura>& figuras() const override { return ids_; }

  std::uint64_t assinatura() const override { return assinatura_do_texto(texto_); }

  std::uint64_t sorteios_por_replicacao(const Plano& plano) const override { return passo(plano); }

  std::vector<IdHistograma> histogramas() const override { return histogramas_; }
  // Every legacy run has one: without a D line it is 0, and the run ends at once.
  std::optional<double> tempo_limite() const override { return static_cast<double>(Tlimite_); }
  bool exponencial_discretizada() const override { return discretizada_; }

  std::string aviso_sem_eventos() const override {
    // As tarvo words it.
    return formatar("Aviso: nenhum evento foi simulado (N = %d, D = %g)", Nlimite_,
                    static_cast<double>(Tlimite_));
  }

  double eventos_esperados() const override {
    // An arrival per customer, then a completion per service, which no server makes faster than
    // its mean allows; the rates into the servers come from the traffic equations of the
    // network as converted, or without them, every server busy all the time.
    double porUnidade = taxa_fontes_;
    std::vector<double> lambda;
    try {
      const teoria::Rede& t = rede_teorica();
      lambda = teoria::taxas(t, std::vector<double>(t.estacoes.size(), 1.0));
    } catch (const Falha&) {
    }
    const std::vector<int> estacao = estacao_do_servidor();
    for (std::size_t j = 0; j < capacidade_servidores_.size(); ++j) {
      double l = capacidade_servidores_[j];
      const int e = estacao[j + 1];
      if (e >= 0 && static_cast<std::size_t>(e) < lambda.size())
        l = std::min(l, lambda[static_cast<std::size_t>(e)]);
      porUnidade += l;
    }
    return horizonte_ * porUnidade;
  }

  std::vector<Instavel> instaveis() const override {
    std::vector<Instavel> v;
    teoria::Solucao s;
    try {
      s = teoria::resolver(rede_teorica());
    } catch (const Falha&) {
      return v;
    }
    auto sim = std::make_unique<Simulacao>();
    ler_modelo_texto(*sim, texto_);
    for (std::size_t e = 0; e < s.estacoes.size(); ++e) {
      if (s.estacoes[e].metodo == teoria::Metodo::instavel) {
        v.push_back({"fila", sim->rede.filas[e + 1].nome, s.estacoes[e].carga});
      }
    }
    return v;
  }

  // The network as its conversion to stations gives it, with the moments of the times the
  // legacy generator actually draws. Throws a Falha where the conversion is refused.
  const teoria::Rede& rede_teorica() const {
    if (!teorica_) falha(1, "%s", porque_sem_teoria_.c_str());
    return *teorica_;
  }

  // The theory's network, worked out once: the conversion and the moments of the discretised
  // times are the costly part of any question to the theory.
  teoria::Rede calcular_rede_teorica() const {
    teoria::Rede t = teoria::de_geral(geral::ler_rede_texto(converter_legado(caminho_), caminho_));
    auto sim = std::make_unique<Simulacao>();
    ler_modelo_texto(*sim, texto_);
    const tarvo::Rede& r = sim->rede;
    auto momentos = [](const auto& o) {
      return teoria::momentos_legado(o.tipo, static_cast<double>(o.med), static_cast<double>(o.inf),
                                     static_cast<double>(o.sup));
    };
    for (int j = 1; j <= r.nfontes; ++j) {
      const teoria::Momentos m = momentos(r.fontes[j]);
      teoria::Fonte& f = t.fontes[static_cast<std::size_t>(j - 1)];
      f.taxa = m.media > 0 ? 1 / m.media : 0;
      f.scv = m.scv;
    }
    const std::vector<int> estacao = estacao_do_servidor();
    for (int j = 1; j <= r.nservidores; ++j) {
      const teoria::Momentos m = momentos(r.servidores[j]);
      teoria::Estacao& e =
          t.estacoes[static_cast<std::size_t>(estacao[static_cast<std::size_t>(j)])];
      e.media = m.media;
      e.scv = m.scv;
    }
    return t;
  }

  // Station q - 1 is queue q with the one server that takes from it; by server number.
  std::vector<int> estacao_do_servidor() const {
    auto sim = std::make_unique<Simulacao>();
    ler_modelo_texto(*sim, texto_);
    const tarvo::Rede& r = sim->rede;
    std::vector<int> v(static_cast<std::size_t>(r.nservidores + 1), -1);
    for (int j = 1; j <= r.nservidores; ++j) {
      const Fila* q = r.servidores[j].entrada;
      if (q != nullptr) v[static_cast<std::size_t>(j)] = static_cast<int>(q - r.filas) - 1;
    }
    return v;
  }

  std::vector<std::optional<Teorico>> teoria() const override {
    teoria::Rede t;
    try {
      t = rede_teorica();
    } catch (const Falha&) {
      return {};
    }
    const std::vector<int> estacao = estacao_do_servidor();
    auto sim = std::make_unique<Simulacao>();
    ler_modelo_texto(*sim, texto_);
    const int sorvedouro = sim->rede.nfilas;
    return teoria::teoria_das_figuras(teoria::resolver(t), ids_, [&](const IdFigura& id) {
      if (id.tipo == "fila") return id.numero < sorvedouro ? id.numero - 1 : -1;
      if (id.tipo == "servidor") return estacao[static_cast<std::size_t>(id.numero)];
      return -1;
    });
  }

  std::vector<std::string> descricao() const override { return descricao_; }
  std::vector<std::string> estacoes_em_espera() const override { return filas_; }

  // The model in words, from its network as loaded.
  static std::vector<std::string> descrever(const tarvo::Rede& r) {
    // After a masculine noun ("intervalo", "serviço"); a uniform law over one point is that
    // point always.
    auto tempo = [](const auto& o) {
      const auto a = static_cast<double>(o.inf), b = static_cast<double>(o.sup);
      if (o.tipo == DIST_EXPONENCIAL) {
        return formatar("exponencial de média %g", static_cast<double>(o.med));
      }
      return a == b ? formatar("sempre %g", a) : formatar("uniforme entre %g e %g", a, b);
    };
    auto para = [&r](const Fila* q) {
      if (q == nullptr) return std::string("deixam a rede (sem ligação)");
      if (q == &r.filas[r.nfilas]) return "vão para o sorvedouro «" + q->nome + "»";
      return "vão para a fila «" + q->nome + "»";
    };
    std::vector<std::string> d;
    for (int j = 1; j <= r.nfontes; ++j) {
      const Fonte& f = r.fontes[j];
      d.push_back("Fonte «" + f.nome + "»: intervalo entre chegadas " + tempo(f) +
                  "; os fregueses " + para(f.saida) + ".");
    }
    for (int j = 1; j <= r.nservidores; ++j) {
      const Servidor& s = r.servidores[j];
      d.push_back("Servidor «" + s.nome + "»: atende a fila «" + s.entrada->nome +
                  "», um freguês por vez, com serviço " + tempo(s) + "; os atendidos " +
                  para(s.saida) + ".");
    }
    d.push_back(formatar("Fim: no tempo %g ou ao gerar o freguês %d, o que vier primeiro.",
                         static_cast<double>(r.Tlimite), r.Nlimite));
    return d;
  }

  Replicacao rodar(const Plano& plano, std::int64_t i, const Rodada& rodada) const override {
    auto sim = std::make_unique<Simulacao>();
    ler_modelo_texto(*sim, texto_);
    sim->rede.Visual = 0;  // replications run without traces
    zerar_estatisticas(*sim);
    const std::uint32_t semente = semente_legado(plano, i);
    semear(sim->gerador, semente);
    primeiras_chegadas(*sim);
    const tarvo::Rede& r = sim->rede;
    std::vector<Esperas> esperas(static_cast<std::size_t>(std::max(0, r.nfilas - 1)));
    // With a warm-up, the statistics restart at the first event at or after it, and the
    // figures are taken over the time since.
    double inicio = 0;
    Contagem sorvedouro = 0;
    auto reiniciar = [&] {
      const Tempo agora = cabeca(sim->eventos).tev;
      reiniciar_estatisticas(*sim, agora);
      inicio = static_cast<double>(agora);
      if (r.nfilas > 0) sorvedouro = r.filas[r.nfilas].tamanho;
      for (Esperas& e : esperas) e.zerar();
    };
    std::uint64_t eventos = 0;
    const int termino = correr(*sim, rodada, reiniciar, esperas, eventos);

    Replicacao rep;
    rep.sorteios = sim->gerador.sorteios;
    rep.semente = semente;
    rep.eventos = eventos;
    std::vector<double>& v = rep.valores;
    v.reserve(ids_.size());
    const double T = static_cast<double>(sim->Tsimul) - inicio;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    auto por = [nan](std::int64_t a, std::int64_t b) {
      return b != 0 ? static_cast<double>(a) / static_cast<double>(b) : nan;
    };
    Contagem total = 0;
    for (int j = 1; j <= r.nfontes; ++j) total += r.fontes[j].gerados;
    v.push_back(static_cast<double>(sim->Tsimul));
    v.push_back(static_cast<double>(total));
    v.push_back(termino == TERMINO_CLIENTES ? 1 : 0);
    v.push_back(static_cast<double>(sim->sem_duracao));
    for (int j = 1; j <= r.nfontes; ++j) v.push_back(static_cast<double>(r.fontes[j].gerados));
    for (int j = 1; j <= r.nservidores; ++j) {
      const Servidor& s = r.servidores[j];
      const LinhaServidor l = linha_servidor(s, T);
      v.push_back(static_cast<double>(l.utilizacao));
      v.push_back(s.ocupado);
      v.push_back(static_cast<double>(s.atendidos));
      v.push_back(l.taxa);
    }
    for (int j = 1; j < r.nfilas; ++j) {
      const Fila& q = r.filas[j];
      const LinhaFila l = linha_fila(q, T);
      const Esperas& e = esperas[static_cast<std::size_t>(j - 1)];
      v.push_back(static_cast<double>(l.taxa));
      v.push_back(static_cast<double>(l.medio));
      v.push_back(static_cast<double>(l.espera));
      v.push_back(por(e.esperaram, e.inicios));
      for (double p : {0.5, 0.9, 0.95, 0.99}) v.push_back(e.espera.quantil(p));
      if (limiar_) v.push_back(por(e.no_limiar, e.inicios));
      v.push_back(static_cast<double>(q.maximo));
      v.push_back(static_cast<double>(q.tamanho));
      rep.histogramas.push_back(e.espera);
    }
    if (r.nfilas > 0) v.push_back(static_cast<double>(r.filas[r.nfilas].tamanho - sorvedouro));
    return rep;
  }

  // The run as tarvo makes it, one event at a time, with what tarvo does not keep: the waits at
  // each queue but the sink, and when asked the number waiting over time in a Registro. Returns
  // the limit that ended it.
  template <class Reiniciar>
  int correr(Simulacao& sim, const Rodada& rodada, Reiniciar reiniciar,
             std::vector<Esperas>& esperas, std::uint64_t& eventos) const {
    const tarvo::Rede& r = sim.rede;
    const double limiar = limiar_ ? *limiar_ : std::numeric_limits<double>::infinity();
    const std::size_t filas = filas_.size();
    std::optional<Registro> registro;
    if (rodada.espera != nullptr) registro.emplace(filas, largura_);
    double n[MAX_OBJETOS];
    bool aquecendo = rodada.aquecimento > 0;
    const auto T = static_cast<Tempo>(rodada.aquecimento);
    // The queue's waits, or none for the sink or a missing link.
    auto de = [&](const Fila* q) -> Esperas* {
      const auto j = q == nullptr ? 0 : q - r.filas;
      return j >= 1 && j < r.nfilas ? &esperas[static_cast<std::size_t>(j - 1)] : nullptr;
    };
    // As tarvo's own loop does, the fast pass where no time can be NaN.
    const bool rapido = sem_nan(sim);
    const Contagem Nlimite = sim.rede.Nlimite;
    const Tempo Tlimite = sim.rede.Tlimite;
    int fim = 0;
    for (;;) {
      // termino's tests, in its order, inline.
      if (sim.Nfregues >= Nlimite) {
        fim = TERMINO_CLIENTES;
        break;
      }
      if (sim.Tsimul >= Tlimite) {
        fim = TERMINO_TEMPO;
        break;
      }
      if (aquecendo && !lista_vazia(sim.eventos) && cabeca(sim.eventos).tev >= T) {
        reiniciar();
        aquecendo = false;
      }
      if (registro) {
        for (std::size_t q = 0; q < filas; ++q) n[q] = static_cast<double>(r.filas[q + 1].tamanho);
      }
      // The event's queues: the one that receives a customer, and the one a server that
      // completes takes its next customer from. The handler puts the arrival first (in its
      // queue, or straight into an idle server), then the server takes from its own.
      Fila* qa = nullptr;
      Fila* qe = nullptr;
      if (!lista_vazia(sim.eventos)) {
        const Evento& ev = cabeca(sim.eventos);
        if (ev.tipo == EV_FONTE) {
          qa = ev.fonte()->saida;
        } else if (ev.tipo == EV_SERVIDOR) {
          qa = ev.servidor()->saida;
          qe = ev.servidor()->entrada;
        }
      }
      const Contagem ta = qa != nullptr ? qa->tamanho : 0, te = qe != nullptr ? qe->tamanho : 0;
      const bool houve = rapido ? passo_sem_nan(sim) : proximo_evento(sim);
      if (registro) registro->ate(static_cast<double>(sim.Tsimul), n);
      if (!houve) {
        fim = TERMINO_TEMPO;
        break;
      }
      ++eventos;
      const Tempo agora = sim.Tsimul;
      if (Esperas* a = de(qa)) {
        if (qa == qe) {
          // The arrival waits and the server takes the head (the length is unchanged), or the
          // arrival found another idle server and this one took the head (one fewer).
          if (qa->tamanho == ta) {
            a->por(agora);
          } else {
            a->iniciar(0, limiar);
          }
          a->tirar(agora, limiar);
        } else if (qa->tamanho > ta) {
          a->por(agora);
        } else {
          a->iniciar(0, limiar);
        }
      }
      if (qe != qa && qe != nullptr && qe->tamanho < te) {
        if (Esperas* e = de(qe)) e->tirar(agora, limiar);
      }
      if ((eventos & 16383) == 0) {
        if (rodada.andamento != nullptr) rodada.andamento->store(andamento(sim));
        if (rodada.parar != nullptr && rodada.parar->load()) throw Interrompida{};
      }
    }
    if (registro) *rodada.espera = registro->serie();
    return fim;
  }

  // The fraction of the run done: of its time limit or of its customers, whichever is further.
  static double andamento(const Simulacao& sim) {
    double f = 0;
    if (sim.rede.Tlimite > 0)
      f = static_cast<double>(sim.Tsimul) / static_cast<double>(sim.rede.Tlimite);
    if (sim.rede.Nlimite > 0) {
      f = std::max(f, static_cast<double>(sim.Nfregues) / static_cast<double>(sim.rede.Nlimite));
    }
    return std::isfinite(f) ? std::clamp(f, 0.0, 1.0) : 0.0;
  }

  // Replications share the generator's cycle of 2^31 draws equally, in powers of two.
  static std::uint64_t passo(const Plano& plano) {
    return (std::uint64_t{1} << 31) / std::bit_ceil(static_cast<std::uint64_t>(plano.maximo));
  }

 private:
  std::string texto_;
  std::string caminho_;
  std::vector<IdFigura> ids_;
  std::vector<std::string> descricao_;
  std::optional<double> limiar_;
  std::vector<std::string> filas_;  // followed over time
  std::vector<IdHistograma> histogramas_;
  double horizonte_ = 1;                       // the run's expected length
  double largura_ = 1;                         // of the first bins followed over time
  double taxa_fontes_ = 0;                     // customers generated per unit of time
  std::vector<double> capacidade_servidores_;  // the most services per unit of time
  bool discretizada_ = false;
  Tempo Tlimite_ = 0;
  int Nlimite_ = 0;
  std::optional<teoria::Rede> teorica_;  // none where the conversion is refused, for this reason:
  std::string porque_sem_teoria_;
};

}  // namespace

std::uint32_t semente_legado(const Plano& plano, std::int64_t i) {
  return avancar(plano.semente, static_cast<std::uint64_t>(i) * Legado::passo(plano));
}

std::unique_ptr<Modelo> carregar_legado(const std::string& caminho, const Ajustes& ajustes) {
  // Read as tarvo reads it, so that the same file gets the same messages; then kept in memory
  // for the replications.
  ler_modelo(*std::make_unique<Simulacao>(), caminho.c_str());
  std::string texto;
  if (const int erro = ler_inteiro(caminho, texto)) {
    falha(1, "Erro de leitura no arquivo de dados %s (codigo %d)\n", caminho.c_str(), erro);
  }
  return std::make_unique<Legado>(std::move(texto), caminho, ajustes);
}

std::unique_ptr<Modelo> modelo_legado(std::string texto, const std::string& caminho,
                                      const Ajustes& ajustes) {
  return std::make_unique<Legado>(std::move(texto), caminho, ajustes);
}

}  // namespace tarvo
