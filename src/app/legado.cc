// Replications of a legacy model: each one a whole run of its own, the figures those of the
// report.
#include "app/legado.h"

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/converter.h"
#include "engine/handlers.h"
#include "engine/run.h"
#include "geral/toml_loader.h"
#include "input/loader.h"
#include "model/failure.h"
#include "model/gravacao.h"
#include "report/report.h"
#include "teoria/figuras.h"

namespace tarvo {

namespace {

// The figures, in this order: the network's, then per source, server and queue by number.
enum Rede { TEMPO_FINAL, GERADOS, TERMINO, PERDIDAS, N_REDE };

class Legado final : public Modelo {
 public:
  Legado(std::string texto, std::string caminho)
      : texto_(std::move(texto)), caminho_(std::move(caminho)) {
    auto sim = std::make_unique<Simulacao>();
    ler_modelo_texto(*sim, texto_);
    const tarvo::Rede& r = sim->rede;
    auto id = [this](const char* tipo, const std::string& nome, int numero, const char* figura,
                     const char* rotulo) {
      ids_.push_back({tipo, nome, numero, figura, rotulo});
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
      id("fila", n, j, "maximo", "MAX.CLI.");
      id("fila", n, j, "tamanho_final", "CLI.TER.");
    }
    if (r.nfilas > 0) id("fila", r.filas[r.nfilas].nome, r.nfilas, "sorvedouro", "SORVEDOURO");
    descricao_ = descrever(r);
    // Every queue but the sink is followed over time, for a run expected to last this long.
    for (int j = 1; j < r.nfilas; ++j) filas_.push_back(r.filas[j].nome);
    double taxa = 0;
    for (int j = 1; j <= r.nfontes; ++j) {
      const Fonte& f = r.fontes[j];
      const double m = f.tipo == DIST_EXPONENCIAL
                           ? static_cast<double>(f.med)
                           : (static_cast<double>(f.inf) + static_cast<double>(f.sup)) / 2;
      if (m > 0) taxa += 1 / m;
    }
    horizonte_ = horizonte_esperado(static_cast<double>(r.Tlimite), r.Nlimite, taxa);
    limite_ = static_cast<double>(r.Tlimite);
  }

  const std::vector<IdFigura>& figuras() const override { return ids_; }

  std::uint64_t assinatura() const override { return assinatura_do_texto(texto_); }

  std::uint64_t sorteios_por_replicacao(const Plano& plano) const override { return passo(plano); }

  // The network as its conversion to stations gives it (none where the conversion is refused),
  // with the moments of the times the legacy generator actually draws.
  std::vector<std::optional<Teorico>> teoria() const override {
    teoria::Rede t;
    try {
      t = teoria::de_geral(geral::ler_rede_texto(converter_legado(caminho_), caminho_));
    } catch (const Falha&) {
      return {};
    }
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
    // Station q - 1 is queue q with the one server that takes from it.
    std::vector<int> estacao_do_servidor(static_cast<std::size_t>(r.nservidores + 1), -1);
    for (int j = 1; j <= r.nservidores; ++j) {
      const Servidor& s = r.servidores[j];
      const int q = static_cast<int>(s.entrada - r.filas);
      estacao_do_servidor[static_cast<std::size_t>(j)] = q - 1;
      const teoria::Momentos m = momentos(s);
      teoria::Estacao& e = t.estacoes[static_cast<std::size_t>(q - 1)];
      e.media = m.media;
      e.scv = m.scv;
    }
    const int sorvedouro = r.nfilas;
    return teoria::teoria_das_figuras(teoria::resolver(t), ids_, [&](const IdFigura& id) {
      if (id.tipo == "fila") return id.numero < sorvedouro ? id.numero - 1 : -1;
      if (id.tipo == "servidor") return estacao_do_servidor[static_cast<std::size_t>(id.numero)];
      return -1;
    });
  }

  std::vector<std::string> descricao() const override { return descricao_; }
  std::vector<std::string> estacoes_em_espera() const override { return filas_; }
  // Every legacy run has one: without a D line it is 0, and the run ends at once.
  std::optional<double> tempo_limite() const override { return limite_; }

  // The model in words, from its network as loaded.
  static std::vector<std::string> descrever(const tarvo::Rede& r) {
    auto tempo = [](const auto& o, const char* de) {
      if (o.tipo == DIST_EXPONENCIAL) {
        return formatar("%s exponenciais de média %g", de, static_cast<double>(o.med));
      }
      return formatar("%s uniformes entre %g e %g", de, static_cast<double>(o.inf),
                      static_cast<double>(o.sup));
    };
    auto para = [&r](const Fila* q) {
      if (q == nullptr) return std::string("deixam a rede (sem ligação)");
      if (q == &r.filas[r.nfilas]) return "vão para o sorvedouro «" + q->nome + "»";
      return "vão para a fila «" + q->nome + "»";
    };
    std::vector<std::string> d;
    for (int j = 1; j <= r.nfontes; ++j) {
      const Fonte& f = r.fontes[j];
      d.push_back("Fonte «" + f.nome + "»: " + tempo(f, "intervalos") +
                  " entre chegadas; os fregueses " + para(f.saida) + ".");
    }
    for (int j = 1; j <= r.nservidores; ++j) {
      const Servidor& s = r.servidores[j];
      d.push_back("Servidor «" + s.nome + "»: atende a fila «" + s.entrada->nome +
                  "», um freguês por vez, com " + tempo(s, "serviços") + "; os atendidos " +
                  para(s.saida) + ".");
    }
    d.push_back(formatar("Fim: no tempo %g ou ao gerar o freguês %d, o que vier primeiro.",
                         static_cast<double>(r.Tlimite), r.Nlimite));
    return d;
  }

  Replicacao rodar(const Plano& plano, std::int64_t i, double aquecimento,
                   Serie* espera) const override {
    auto sim = std::make_unique<Simulacao>();
    ler_modelo_texto(*sim, texto_);
    sim->rede.Visual = 0;  // replications run without traces
    zerar_estatisticas(*sim);
    const std::uint32_t semente = semente_legado(plano, i);
    semear(sim->gerador, semente);
    primeiras_chegadas(*sim);
    const tarvo::Rede& r = sim->rede;
    // With a warm-up, the statistics restart at the first event at or after it, and the
    // figures are taken over the time since.
    double inicio = 0;
    Contagem sorvedouro = 0;
    int termino = 0;
    auto reiniciar = [&] {
      const Tempo agora = cabeca(sim->eventos).tev;
      reiniciar_estatisticas(*sim, agora);
      inicio = static_cast<double>(agora);
      if (r.nfilas > 0) sorvedouro = r.filas[r.nfilas].tamanho;
    };
    if (espera != nullptr) {
      termino = seguir(*sim, aquecimento, reiniciar, *espera);
    } else {
      if (aquecimento > 0) {
        termino = simular_ate(*sim, static_cast<Tempo>(aquecimento));
        if (termino == 0) reiniciar();
      }
      if (termino == 0) termino = simular(*sim);
    }

    Replicacao rep;
    rep.sorteios = sim->gerador.sorteios;
    rep.semente = semente;
    std::vector<double>& v = rep.valores;
    v.reserve(ids_.size());
    const double T = static_cast<double>(sim->Tsimul) - inicio;
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
      v.push_back(static_cast<double>(l.taxa));
      v.push_back(static_cast<double>(l.medio));
      v.push_back(static_cast<double>(l.espera));
      v.push_back(static_cast<double>(q.maximo));
      v.push_back(static_cast<double>(q.tamanho));
    }
    if (r.nfilas > 0) v.push_back(static_cast<double>(r.filas[r.nfilas].tamanho - sorvedouro));
    return rep;
  }

  // The run as rodar makes it, one event at a time, following the number waiting at each queue
  // but the sink in a Registro whose bins start at a 256th of the expected length of the run.
  template <class Reiniciar>
  int seguir(Simulacao& sim, double aquecimento, Reiniciar reiniciar, Serie& espera) const {
    const tarvo::Rede& r = sim.rede;
    const std::size_t filas = filas_.size();
    Registro registro(filas, horizonte_ / Registro::kCaixas);
    double n[MAX_OBJETOS];
    bool aquecendo = aquecimento > 0;
    const auto T = static_cast<Tempo>(aquecimento);
    int fim;
    while ((fim = termino(sim)) == 0) {
      if (aquecendo && !lista_vazia(sim.eventos) && cabeca(sim.eventos).tev >= T) {
        reiniciar();
        aquecendo = false;
      }
      for (std::size_t q = 0; q < filas; ++q) {
        n[q] = static_cast<double>(r.filas[q + 1].tamanho);
      }
      const bool houve = proximo_evento(sim);
      registro.ate(static_cast<double>(sim.Tsimul), n);
      if (!houve) {
        fim = TERMINO_TEMPO;
        break;
      }
    }
    espera = registro.serie();
    return fim;
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
  std::vector<std::string> filas_;  // followed over time
  double horizonte_ = 1;
  double limite_ = 0;
};

}  // namespace

std::uint32_t semente_legado(const Plano& plano, std::int64_t i) {
  return avancar(plano.semente, static_cast<std::uint64_t>(i) * Legado::passo(plano));
}

std::unique_ptr<Modelo> carregar_legado(const std::string& caminho) {
  // Read as tarvo reads it, so that the same file gets the same messages; then kept in memory
  // for the replications.
  ler_modelo(*std::make_unique<Simulacao>(), caminho.c_str());
  std::string texto;
  if (const int erro = ler_inteiro(caminho, texto)) {
    falha(1, "Erro de leitura no arquivo de dados %s (codigo %d)\n", caminho.c_str(), erro);
  }
  return std::make_unique<Legado>(std::move(texto), caminho);
}

std::unique_ptr<Modelo> modelo_legado(std::string texto, const std::string& caminho) {
  return std::make_unique<Legado>(std::move(texto), caminho);
}

}  // namespace tarvo
