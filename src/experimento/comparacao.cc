// The paired comparison. Common random numbers make the replications of the same index of two
// models alike in their luck, so the differences vary less than the figures themselves, and
// the interval of their mean is narrower than one built from two independent samples.
#include "experimento/comparacao.h"

#include <cmath>
#include <string_view>

namespace tarvo {

int sentido(const IdFigura& id) {
  // Waits, lengths, sojourns and losses are better lower; what leaves the network, higher.
  static constexpr std::string_view menor[] = {
      "espera_media",      "tamanho_medio",   "fila_media",      "sistema_medio",
      "permanencia_media", "permanencia_p50", "permanencia_p90", "permanencia_p95",
      "permanencia_p99",   "perdidos",        "prob_perda",      "maximo",
      "fila_maxima"};
  static constexpr std::string_view maior[] = {"vazao", "saidas", "atendidos", "sorvedouro"};
  for (std::string_view f : menor) {
    if (id.figura == f) return -1;
  }
  for (std::string_view f : maior) {
    if (id.figura == f) return 1;
  }
  return 0;
}

std::vector<Comparada> comparar(const Resultado& a, const Resultado& b) {
  std::vector<Comparada> v;
  for (std::size_t f = 0; f < a.ids.size(); ++f) {
    const IdFigura& id = a.ids[f];
    std::size_t g = 0;
    while (g < b.ids.size() &&
           (b.ids[g].tipo != id.tipo || b.ids[g].nome != id.nome || b.ids[g].figura != id.figura)) {
      ++g;
    }
    if (g == b.ids.size()) continue;
    const std::vector<double>& x = a.valores[f];
    const std::vector<double>& y = b.valores[g];
    std::vector<double> d(std::min(x.size(), y.size()));
    for (std::size_t i = 0; i < d.size(); ++i) d[i] = y[i] - x[i];  // NaN where either has none
    Comparada c;
    c.id = id;
    c.media_a = resumir(x, x.size(), a.pedido.confianca).media;
    c.media_b = resumir(y, y.size(), b.pedido.confianca).media;
    c.diferenca = resumir(d, d.size(), a.pedido.confianca);
    c.melhor = "-";
    const int s = sentido(id);
    const Resumo& r = c.diferenca;
    if (s != 0 && r.n >= 2 && std::isfinite(r.meia_largura) &&
        std::fabs(r.media) > r.meia_largura) {
      c.melhor = (r.media > 0) == (s > 0) ? "B" : "A";
    }
    v.push_back(std::move(c));
  }
  return v;
}

}  // namespace tarvo
