// A replicated experiment: the plan, the replication driver with its precision stop, and the
// result that every writer and the merge of slices work from.
#ifndef TARVO_EXPERIMENTO_EXPERIMENTO_H_
#define TARVO_EXPERIMENTO_EXPERIMENTO_H_

#include <cstdint>
#include <functional>
#include <limits>
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
  std::optional<double> limiar;               // the wait threshold asked for every station
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
  bool interrompido = false;                   // stopped by the user before its end
  std::vector<std::optional<Teorico>> teoria;  // per figure, when pedido.teoria
  bool discretizada = false;  // the theory's exponentials are the legacy generator's
  std::vector<Instavel> instaveis;
  // The histograms of the model, and each one summed over the replications held: its quantiles
  // are those of all their values taken as one sample.
  std::vector<IdHistograma> ids_histogramas;
  std::vector<Histograma> agrupados;
  // A slice's histograms per replication held, for the merge to sum those it keeps.
  std::vector<std::vector<Histograma>> histogramas;
  // Not part of what slices carry: the replications that handled no event, and with
  // Execucao::espera the stations followed and the mean of the replications' series.
  std::int64_t sem_eventos = 0;
  std::vector<std::string> estacoes_espera;
  MediaDeSeries espera;
};

// The pooled quantile of figure f, where f is a quantile of a histogram of the result.
std::optional<double> agrupado(const Resultado& r, std::size_t f);

// Which figures a precision applies to: those of the whole run named by alvos (as FIGURA,
// NOME.FIGURA or TIPO.NOME.FIGURA), or when there are none every figure of the whole run. A
// window's figures never are: one with few customers would keep the run going for ever. Throws
// a Falha for a name that matches no figure.
std::vector<bool> figuras_alvo(const std::vector<IdFigura>& ids,
                               const std::vector<std::string>& alvos);

// Which figures the outputs show: those matched by any of padroes, each FIGURA, NOME/FIGURA or
// TIPO/NOME/FIGURA with the shell's wildcards * and ? in any part, a window's figures with the
// whole run's. Throws a Falha for a pattern that matches no figure.
std::vector<bool> figuras_escolhidas(const std::vector<IdFigura>& ids,
                                     const std::vector<std::string>& padroes);

// Keeps only the figures escolhidas says, in their order; the rest of r stays as it was.
void selecionar(Resultado& r, const std::vector<bool>& escolhidas);

// One figure measured in every window of time: its indices among the ids, in window order.
using Janelas = std::vector<std::size_t>;

// The figures measured per window, by object (tipo, numero and nome, in the order each first
// comes) and within it by figure (the same figura, classe and limiar in every window), in the
// order each first comes. Whole-run figures are in none.
std::vector<std::vector<Janelas>> janelas_por_objeto(const std::vector<IdFigura>& ids);

// Decides, in index order, how many of the replications held from 0 on make the experiment, as
// executar would have: pedido.replicacoes, or with a precision the first k from there on at
// which it holds. Sets precisao_atingida and keeps the first k. Returns false when the
// replications held end before that point and before the plan's maximum: more are needed.
bool decidir(Resultado& r);

// The precision test on the first k replications of r.
bool precisao_atingida(const Resultado& r, const std::vector<bool>& alvo, std::int64_t k);

// How far a run has gone, for a progress line.
struct Andamento {
  std::int64_t feitas = 0;     // replications finished and taken, in index order
  std::int64_t previstas = 0;  // the replications the run will do, as best known now
  std::int64_t maximo = 0;     // the most it may do
  double em_curso = 0;         // the fractions done of the replications running
  // With a precision: the widest relative half-width among the figures it applies to, NaN
  // before two replications.
  double largura = std::numeric_limits<double>::quiet_NaN();
  std::uint64_t eventos = 0;  // handled by the replications taken
};

struct Execucao {
  int jobs = 1;
  std::optional<std::int64_t> fatia_inicio, fatia_fim;  // a slice: run exactly these
  // Called from the calling thread after each replication taken and about every tenth of a
  // second in between.
  std::function<void(const Andamento&)> progresso;
  bool espera = false;  // follow the number waiting over time (Resultado::espera)
  // When set and true, the run stops within a fraction of a second; the result holds the
  // replications finished before, from the first on without a gap, and says it was interrupted.
  const std::atomic<bool>* parar = nullptr;
};

// Runs the experiment on jobs threads. The result is the same for any number of threads: the
// replications are taken in index order, and the precision is decided on them in that order.
// Throws the Falha of the first replication, in index order, that failed; a Falha too when
// fewer threads than asked can be started, or memory runs out.
Resultado executar(const Modelo& modelo, const Pedido& pedido, const Execucao& execucao);

}  // namespace tarvo

#endif  // TARVO_EXPERIMENTO_EXPERIMENTO_H_
