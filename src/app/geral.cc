// Replications of an extended model: each one a run of the second engine on streams of its own.
#include "app/geral.h"

#include <cmath>
#include <limits>

#include "geral/motor.h"
#include "teoria/figuras.h"

namespace tarvo {

namespace {

class Geral final : public Modelo {
 public:
  Geral(const geral::Rede& rede, const std::string& texto)
      : pronta_(geral::preparar_rede(rede)), teoria_(teoria::de_geral(rede)) {
    assinatura_ = assinatura_do_texto(texto);
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

  // Every replication draws from streams of its own, which no other replication's can meet.
  std::uint64_t sorteios_por_replicacao(const Plano&) const override { return 0; }

  Replicacao rodar(const Plano& plano, std::int64_t i, double aquecimento) const override {
    const std::uint64_t indice = static_cast<std::uint64_t>(i);
    geral::Corrida c(pronta_, plano.semente, indice, aquecimento);
    geral::rodar(c);
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
  std::uint64_t assinatura_ = 0;
  std::vector<IdFigura> ids_;
};

}  // namespace

std::unique_ptr<Modelo> modelo_geral(const geral::Rede& rede, const std::string& texto) {
  return std::make_unique<Geral>(rede, texto);
}

}  // namespace tarvo
