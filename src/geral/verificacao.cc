// The checks of a run of the extended engine, from its state alone.
#include "geral/verificacao.h"

#include <cinttypes>

#include "comum/failure.h"

namespace tarvo::geral {

std::string verificar(const Corrida& c) {
  const std::vector<Evento>& h = c.pendentes;
  const std::size_t ne = c.estacoes.size(), nf = c.gerados.size();
  std::vector<std::int64_t> servico(ne, 0), chegada(nf, 0);
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
    if (e.alvo >= 0) {
      if (static_cast<std::size_t>(e.alvo) >= ne) return formatar("evento de estacao %d", e.alvo);
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
