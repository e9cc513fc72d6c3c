// The figure names of both languages, and what each is in the theory's terms.
#include "teoria/figuras.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "legado/engine/random.h"

namespace tarvo::teoria {

namespace {

// A station's figure in the theory's terms; NaN for a figure theory says nothing of (counts,
// maxima).
double valor(const Medidas& m, const std::string& figura) {
  // Legacy figures: a queue with its single server. The legacy mean length counts the waiting
  // line only, and its wait is that line's.
  if (figura == "taxa_chegada") return m.chegada;
  if (figura == "tamanho_medio" || figura == "fila_media") return m.fila;
  if (figura == "espera_media") return m.espera;
  if (figura == "utilizacao") return m.utilizacao;
  if (figura == "taxa_servico") return m.vazao / m.utilizacao;  // 1 / E[S], one server
  if (figura == "vazao") return m.vazao;
  if (figura == "sistema_medio") return m.sistema;
  if (figura == "permanencia_media") return m.permanencia;
  if (figura == "prob_perda") return m.perda;
  if (figura == "prob_abandono") return m.abandono;
  if (figura == "prob_desistencia") return m.desistencia;
  if (figura == "bloqueio") return m.bloqueio;
  return NAN;
}

// The p of a quantile figure, prefixo followed by p50, p90, p95 or p99; 0 for any other figure.
double percentil(const std::string& figura, const std::string& prefixo) {
  if (figura.compare(0, prefixo.size(), prefixo) != 0) return 0;
  const std::string resto = figura.substr(prefixo.size());
  for (int p : {50, 90, 95, 99}) {
    if (resto == "p" + std::to_string(p)) return p / 100.0;
  }
  return 0;
}

bool da_espera(const std::string& figura) {
  return figura == "prob_espera" || figura == "nivel_servico" || percentil(figura, "espera_") > 0;
}

// Figures the traffic equations give, as exact as the rates they come from; where nobody leaves
// a queue or declines to join, also the chances of doing so, 0.
bool de_fluxo(const std::string& figura, bool impaciente) {
  return figura == "taxa_chegada" || figura == "vazao" || figura == "utilizacao" ||
         figura == "taxa_servico" || figura == "prob_perda" || figura == "bloqueio" ||
         (!impaciente && (figura == "prob_abandono" || figura == "prob_desistencia"));
}

// A figure of the wait's law (a single law, or a window's mixture): P(W > 0), a quantile, or the
// share that waits at most the threshold. Where customers leave the queue or decline to join,
// that share counts only those served, over all who arrived and were not lost (served the share
// atendidos of them).
template <typename Lei>
std::optional<double> da_lei(const Lei& u, const IdFigura& id, double atendidos) {
  if (id.figura == "prob_espera") return excede(u, 0);
  if (id.figura == "nivel_servico") {
    if (!id.limiar) return std::nullopt;
    return atendidos * (1 - excede(u, *id.limiar));
  }
  return quantil(u, percentil(id.figura, "espera_"));
}

}  // namespace

std::vector<std::optional<Teorico>> teoria_das_figuras(
    const Solucao& sol, const std::vector<IdFigura>& ids,
    const std::function<int(const IdFigura&)>& estacao_de) {
  std::vector<std::optional<Teorico>> v(ids.size());
  std::optional<std::optional<Uniformizada>> permanencia;  // uniformized when first asked for
  auto classe = [&sol](const std::string& nome) {
    const auto i = std::find(sol.nomes.begin(), sol.nomes.end(), nome);
    return i == sol.nomes.end() ? -1 : static_cast<int>(i - sol.nomes.begin());
  };
  for (std::size_t f = 0; f < ids.size(); ++f) {
    const IdFigura& id = ids[f];
    if (id.tipo == "classe") {
      const int c = classe(id.nome);
      if (c < 0) continue;
      const NaRede& x = sol.classes[static_cast<std::size_t>(c)];
      const double y = id.figura == "ciclo"   ? x.ciclo
                       : id.figura == "vazao" ? x.vazao
                                              : std::nan("");
      if (x.metodo != Metodo::nenhum && std::isfinite(y)) v[f] = Teorico{y, nome(x.metodo), 0};
      continue;
    }
    const int c = id.classe.empty() ? -1 : classe(id.classe);
    if (!id.classe.empty() && c < 0) continue;
    if (id.tipo == "rede") {
      // A network of one class has that class's sojourn.
      if (c >= 0 && sol.nomes.size() > 1) {
        const NaRede& x = sol.classes[static_cast<std::size_t>(c)];
        if (id.figura == "permanencia_media" && x.metodo != Metodo::nenhum &&
            std::isfinite(x.permanencia)) {
          v[f] = Teorico{x.permanencia, nome(x.metodo), 0};
        }
        continue;
      }
      if (id.figura == "permanencia_media" && sol.metodo_rede != Metodo::nenhum &&
          std::isfinite(sol.permanencia_rede)) {
        v[f] = Teorico{sol.permanencia_rede, nome(sol.metodo_rede), 0};
      }
      const double p = percentil(id.figura, "permanencia_");
      if (p > 0 && sol.permanencia) {
        if (!permanencia) permanencia = uniformizar(*sol.permanencia);
        if (*permanencia) v[f] = Teorico{quantil(**permanencia, p), "exata", 0};
      }
      continue;
    }
    const int e = estacao_de(id);
    if (e < 0 || static_cast<std::size_t>(e) >= sol.estacoes.size()) continue;
    const Estado& s = sol.estacoes[static_cast<std::size_t>(e)];
    if (c >= 0 && static_cast<std::size_t>(c) >= s.classes.size()) continue;
    const Medidas& m = c < 0 ? s.m : s.classes[static_cast<std::size_t>(c)].m;
    const Metodo metodo = c < 0 ? s.metodo : s.classes[static_cast<std::size_t>(c)].metodo;
    const Metodo fluxo =
        c < 0 ? s.metodo_fluxo : s.classes[static_cast<std::size_t>(c)].metodo_fluxo;
    // The servers on shift are known whatever the queue does.
    if (id.figura == "servidores_medio") {
      if (std::isfinite(s.servidores)) v[f] = Teorico{s.servidores, "exata", 0};
      continue;
    }
    if (s.metodo == Metodo::instavel) {
      const Medidas um{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
      if (!std::isnan(valor(um, id.figura)) || da_espera(id.figura)) {
        v[f] = Teorico{0, "instavel", s.carga};
      }
      continue;
    }
    if (da_espera(id.figura)) {
      // The legacy generator's exponential is discretised: its law is near, not equal to, the
      // continuous one. Where the law is known, every class waits by it.
      if (c >= 0 && !(m.chegada > 0)) continue;
      // The service level counts those who were not lost: the served, those who abandoned
      // and those who balked.
      const double atendidos = s.impaciente ? m.vazao / (m.chegada * (1 - m.perda)) : 1;
      std::optional<double> x;
      if (s.espera) x = da_lei(*s.espera, id, atendidos);
      if (!s.esperas.empty()) x = da_lei(s.esperas, id, atendidos);
      // A window's law is the approximation's; the legacy exponential's is near the continuous.
      const char* como = !s.esperas.empty() || id.tipo == "fila" ? "aproximada" : "exata";
      if (x && std::isfinite(*x)) v[f] = Teorico{*x, como, 0};
      continue;
    }
    const double x = valor(m, id.figura);
    const Metodo usado = de_fluxo(id.figura, s.impaciente) ? fluxo : metodo;
    if (std::isfinite(x) && usado != Metodo::nenhum) v[f] = Teorico{x, nome(usado), 0};
  }
  return v;
}

Momentos momentos_legado(int tipo, double a, double b, double c) {
  double m1 = 0, m2 = 0;
  for (int r = 0; r < 32768; ++r) {
    const double x = static_cast<double>(duracao(r / 32768.0, tipo, a, b, c));
    m1 += x;
    m2 += x * x;
  }
  m1 /= 32768;
  m2 /= 32768;
  const double var = m2 - m1 * m1;
  return {m1, m1 > 0 ? std::max(0.0, var) / (m1 * m1) : 0};
}

}  // namespace tarvo::teoria
