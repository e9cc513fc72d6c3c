// Replications of an extended model: each one a run of the second engine on streams of its own.
#include "app/geral.h"

#include <cmath>
#include <limits>

#include "geral/distribuicao.h"
#include "geral/motor.h"
#include "model/failure.h"
#include "teoria/figuras.h"

namespace tarvo {

namespace {

// A distribution in words, with the parameters the file gives it.
std::string em_palavras(const geral::Distribuicao& d) {
  using geral::Dist;
  switch (d.tipo) {
    case Dist::exponencial:
      return formatar("exponencial de média %g", d.media);
    case Dist::uniforme:
      return formatar("uniforme entre %g e %g", d.min, d.max);
    case Dist::deterministica:
      return formatar("sempre %g", d.valor);
    case Dist::erlang:
      return formatar("Erlang de %d fases e média %g", d.k, d.media);
    case Dist::gama:
      return formatar("gama de forma %g e média %g", d.forma, d.media);
    case Dist::lognormal:
      return formatar("lognormal de média %g e desvio %g", d.media, d.desvio);
    case Dist::weibull:
      return formatar("Weibull de forma %g e média %g", d.forma, d.media);
    case Dist::triangular:
      return formatar("triangular de %g a %g, moda %g", d.min, d.max, d.moda);
    case Dist::hiperexponencial:
      return formatar("hiperexponencial de média %g e cv %g", d.media, d.cv);
    case Dist::empirica: {
      std::string v;
      for (double x : d.valores) v += (v.empty() ? "" : ", ") + formatar("%g", x);
      return "empírica, um de {" + v + "} com a mesma chance";
    }
  }
  return "?";
}

// Where customers go after a route, in words.
std::string destino(const geral::Rede& rede, const geral::Rota& rota) {
  double resto = 1;
  std::string t;
  for (const geral::Destino& d : rota) {
    const std::string& nome = rede.estacoes[static_cast<std::size_t>(d.estacao)].nome;
    t += (t.empty() ? "" : ", ") + ("«" + nome + "»") +
         (d.p < 1 ? formatar(" (%g%%)", 100 * d.p) : std::string());
    resto -= d.p;
  }
  if (t.empty()) return "deixam a rede";
  if (resto > 1e-12) t += formatar(", ou deixam a rede (%g%%)", 100 * resto);
  return "vão para " + t;
}

std::vector<std::string> descrever(const geral::Rede& rede) {
  std::vector<std::string> d;
  for (const geral::Fonte& f : rede.fontes) {
    d.push_back("Fonte «" + f.nome + "»: intervalos entre chegadas " + em_palavras(f.intervalo) +
                "; os fregueses " + destino(rede, f.rota) + ".");
  }
  for (const geral::Estacao& e : rede.estacoes) {
    std::string t = "Estação «" + e.nome + "»: ";
    t += e.infinitos         ? std::string("servidores sem limite (ninguém espera)")
         : e.servidores == 1 ? std::string("1 servidor")
                             : formatar("%d servidores", e.servidores);
    if (e.capacidade) {
      t += formatar(", no máximo %lld fregueses (quem chega com ela cheia se perde)",
                    static_cast<long long>(*e.capacidade));
    }
    t += ", fila única por ordem de chegada, serviço " + em_palavras(e.servico) +
         "; os atendidos " + destino(rede, e.rota) + ".";
    d.push_back(t);
  }
  std::string fim = "Fim: ";
  if (rede.tempo) fim += formatar("no tempo %g", *rede.tempo);
  if (rede.tempo && rede.fregueses) fim += " ou ";
  if (rede.fregueses) {
    fim += formatar("ao gerar o freguês %lld", static_cast<long long>(*rede.fregueses));
  }
  if (rede.tempo && rede.fregueses) fim += ", o que vier primeiro";
  if (rede.aquecimento > 0) {
    fim += formatar("; as estatísticas começam no tempo %g", rede.aquecimento);
  }
  d.push_back(fim + ".");
  return d;
}

class Geral final : public Modelo {
 public:
  Geral(const geral::Rede& rede, const std::string& texto)
      : pronta_(geral::preparar_rede(rede)),
        teoria_(teoria::de_geral(rede)),
        descricao_(descrever(rede)) {
    assinatura_ = assinatura_do_texto(texto);
    tempo_ = rede.tempo;
    // Customers wait only where servers are limited; the bins start at a 256th of the length
    // the run is expected to have.
    for (std::size_t e = 0; e < rede.estacoes.size(); ++e) {
      if (rede.estacoes[e].infinitos) continue;
      seguidas_.push_back(e);
      nomes_seguidas_.push_back(rede.estacoes[e].nome);
    }
    double taxa = 0;
    for (const geral::Fonte& f : rede.fontes) {
      if (geral::media(f.intervalo) > 0) taxa += 1 / geral::media(f.intervalo);
    }
    const double sem = std::numeric_limits<double>::infinity();
    horizonte_ =
        horizonte_esperado(rede.tempo.value_or(sem),
                           rede.fregueses ? static_cast<double>(*rede.fregueses) : sem, taxa);
    auto id = [this](const char* tipo, const std::string& nome, int numero, const char* figura,
                     const char* rotulo) {
      ids_.push_back({tipo, nome, numero, figura, rotulo});
    };
    id("rede", "rede", 0, "tempo_final", "TEMPO SIMULADO");
    id("rede", "rede", 0, "saidas", "SAIDAS DA REDE");
    id("rede", "rede", 0, "permanencia_media", "TEM.MED.REDE");
    id("rede", "rede", 0, "permanencia_p50", "TEM.REDE P50");
    id("rede", "rede", 0, "permanencia_p90", "TEM.REDE P90");
    id("rede", "rede", 0, "permanencia_p95", "TEM.REDE P95");
    id("rede", "rede", 0, "permanencia_p99", "TEM.REDE P99");
    int j = 0;
    for (const geral::Fonte& f : rede.fontes)
      id("fonte", f.nome, ++j, "gerados", "NUM.CLIENTE.GER.");
    j = 0;
    for (const geral::Estacao& e : rede.estacoes) {
      ++j;
      id("estacao", e.nome, j, "chegadas", "NUM.CHEGADAS");
      id("estacao", e.nome, j, "perdidos", "NUM.PERDIDOS");
      id("estacao", e.nome, j, "prob_perda", "PROB.PERDA");
      id("estacao", e.nome, j, "vazao", "VAZAO");
      id("estacao", e.nome, j, "utilizacao", "UTILIZ.");
      id("estacao", e.nome, j, "fila_media", "TAM.MED.FIL");
      id("estacao", e.nome, j, "sistema_medio", "TAM.MED.EST.");
      id("estacao", e.nome, j, "espera_media", "TEM.MED.FIL");
      id("estacao", e.nome, j, "permanencia_media", "TEM.MED.EST.");
      id("estacao", e.nome, j, "fila_maxima", "MAX.FIL.");
    }
  }

  const std::vector<IdFigura>& figuras() const override { return ids_; }
  std::uint64_t assinatura() const override { return assinatura_; }

  std::vector<std::optional<Teorico>> teoria() const override {
    // Stations are numbered from 1 in the file's order.
    return teoria::teoria_das_figuras(teoria::resolver(teoria_), ids_, [](const IdFigura& id) {
      return id.tipo == "estacao" ? id.numero - 1 : -1;
    });
  }
  double aquecimento_padrao() const override { return pronta_.aquecimento; }
  std::optional<double> tempo_limite() const override { return tempo_; }

  // Every replication draws from streams of its own, which no other replication's can meet.
  std::uint64_t sorteios_por_replicacao(const Plano&) const override { return 0; }

  std::vector<std::string> descricao() const override { return descricao_; }
  std::vector<std::string> estacoes_em_espera() const override { return nomes_seguidas_; }

  Replicacao rodar(const Plano& plano, std::int64_t i, double aquecimento,
                   Serie* espera) const override {
    const std::uint64_t indice = static_cast<std::uint64_t>(i);
    geral::Corrida c(pronta_, plano.semente, indice, aquecimento);
    if (espera == nullptr) {
      geral::rodar(c);
    } else {
      // Event by event, as rodar goes, the number waiting held since the previous one.
      Registro registro(seguidas_.size(), horizonte_ / Registro::kCaixas);
      std::vector<double> n(seguidas_.size());
      for (;;) {
        for (std::size_t k = 0; k < n.size(); ++k) {
          n[k] = static_cast<double>(c.estacoes[seguidas_[k]].fila.n);
        }
        const bool mais = geral::passo(c);
        registro.ate(c.relogio, n.data());
        if (!mais) break;
      }
      *espera = registro.serie();
    }
    Replicacao rep;
    rep.sorteios = geral::sorteios(c);
    rep.semente = geral::chave_replicacao(plano.semente, indice);
    std::vector<double>& v = rep.valores;
    v.reserve(ids_.size());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Nothing is measured when the run ends before its warm-up does.
    auto medido = [&c, nan](double x) { return c.medida ? x : nan; };
    const double T = c.relogio - c.aquecimento;
    auto por = [](double a, double b) {
      return b != 0 ? a / b : std::numeric_limits<double>::quiet_NaN();
    };
    auto d = [](std::int64_t n) { return static_cast<double>(n); };
    v.push_back(c.relogio);
    v.push_back(medido(d(c.saidas)));
    v.push_back(medido(por(c.soma_permanencia, d(c.saidas))));
    for (int q = 0; q < 4; ++q) v.push_back(medido(geral::quantil(c, q)));
    for (std::int64_t g : c.gerados) v.push_back(medido(d(g)));
    for (std::size_t e = 0; e < c.estacoes.size(); ++e) {
      const geral::EstadoEstacao& s = c.estacoes[e];
      const std::int64_t servidores = pronta_.estacoes[e].servidores;
      const double ocupados = servidores == geral::kSemLimite ? 1 : d(servidores);
      v.push_back(medido(d(s.chegadas)));
      v.push_back(medido(d(s.perdidos)));
      v.push_back(medido(por(d(s.perdidos), d(s.chegadas))));
      v.push_back(medido(por(d(s.atendidos), T)));
      v.push_back(medido(por(s.area_ocupados, T * ocupados)));
      v.push_back(medido(por(s.area_fila, T)));
      v.push_back(medido(por(s.area_fila + s.area_ocupados, T)));
      v.push_back(medido(por(s.soma_espera, d(s.inicios))));
      v.push_back(medido(por(s.soma_permanencia, d(s.atendidos))));
      v.push_back(medido(d(s.fila_maxima)));
    }
    return rep;
  }

 private:
  geral::RedePronta pronta_;
  teoria::Rede teoria_;
  std::vector<std::string> descricao_;
  std::vector<std::size_t> seguidas_;  // the stations followed over time
  std::vector<std::string> nomes_seguidas_;
  double horizonte_ = 1;
  std::uint64_t assinatura_ = 0;
  std::optional<double> tempo_;
  std::vector<IdFigura> ids_;
};

}  // namespace

std::unique_ptr<Modelo> modelo_geral(const geral::Rede& rede, const std::string& texto) {
  return std::make_unique<Geral>(rede, texto);
}

}  // namespace tarvo
