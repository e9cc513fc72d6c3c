// A replicated experiment: the plan, the replication driver with its precision stop, and the
// result that every writer and the merge of slices work from.
#ifndef TARVO_EXPERIMENTO_EXPERIMENTO_H_
#define TARVO_EXPERIMENTO_EXPERIMENTO_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "experimento/modelo.h"

namespace tarvo {

// What the user asked for; everything here is part of the result, and slices to be merged must
// agree on all of it.
struct Pedido {
  std::string modelo;              // the path as given
  std::uint64_t assinatura = 0;    // of the model's text
  Plano plano;                     // seed and the most replications the run may do
  std::int64_t replicacoes = 10;   // done in any case
  std::optional<double> precisao;  // relative half-width to reach, then stop
  std::vector<std::string> alvos;  // the figures the precision applies to; empty: all
  double confianca = 0.95;
  double aquecimento = 0;
  std::uint64_t sorteios_por_replicacao = 0;  // 0 when the streams cannot meet
  bool teoria = false;                        // theory beside each figure
};

struct Resultado {
  Pedido pedido;
  std::int64_t inicio = 0;  // the replications held are inicio..fim-1
  std::int64_t fim = 0;
  bool fatia = false;  // a slice to be merged, not a whole experiment
  std::vector<IdFigura> ids;
  std::vector<std::vector<double>> valores;    // per figure, per replication held
  std::vector<std::uint64_t> sorteios;         // per replication held
  std::vector<std::uint64_t> sementes;         // per replication held
  bool precisao_atingida = false;              // when a precision was asked for
  std::vector<std::optional<Teorico>> teoria;  // per figure, when pedido.teoria
  // With Execucao::espera: the stations followed, and the mean of the replications' series.
  // Not part of what slices carry.
  std::vector<std::string> estacoes_espera;
  MediaDeSeries espera;
};

// Which figures a precision applies to: those named by alvos (as FIGURA, NOME.FIGURA or
// TIPO.NOME.FIGURA), or when there are none every figure. Throws a Falha for a name that
// matches no figure.
std::vector<bool> figuras_alvo(const std::vector<IdFigura>& ids,
                               const std::vector<std::string>& alvos);

// Decides, in index order, how many of the replications held from 0 on make the experiment, as
// executar would have: pedido.replicacoes, or with a precision the first k from there on at
// which it holds. Sets precisao_atingida and keeps the first k. Returns false when the
// replications held end before that point and before the plan's maximum: more are needed.
bool decidir(Resultado& r);

// The precision test on the first k replications of r.
bool precisao_atingida(const Resultado& r, const std::vector<bool>& alvo, std::int64_t k);

struct Execucao {
  int jobs = 1;
  std::optional<std::int64_t> fatia_inicio, fatia_fim;  // a slice: run exactly these
  std::function<void(std::int64_t feitas, std::int64_t total)> progresso;
  bool espera = false;  // follow the number waiting over time (Resultado::espera)
};

// Runs the experiment on jobs threads. The result is the same for any number of threads: the
// replications are taken in index order, and the precision is decided on them in that order.
// Throws the Falha of the first replication, in index order, that failed.
Resultado executar(const Modelo& modelo, const Pedido& pedido, const Execucao& execucao);

}  // namespace tarvo

#endif  // TARVO_EXPERIMENTO_EXPERIMENTO_H_
