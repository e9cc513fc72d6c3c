// What the replication driver asks of an engine: run replication i of a model and give back its
// figures. The driver, the intervals, the writers and the merge know nothing else of an engine.
#ifndef TARVO_EXPERIMENTO_MODELO_H_
#define TARVO_EXPERIMENTO_MODELO_H_

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "experimento/curva.h"
#include "experimento/histograma.h"

namespace tarvo {

// One figure of a model: what is measured (figura), of which object (tipo and nome; numero is
// the object's position among those of its tipo, from 1, and 0 for the network), of which class
// of customers (empty: all of them), and the label that the text output shows for it. A figure
// of one window of time has the window's index, from 0, and its start; the same figure of the
// whole run has none.
struct IdFigura {
  std::string tipo;
  std::string nome;
  int numero = 0;
  std::string figura;
  std::string rotulo;
  std::optional<double> limiar{};  // nivel_servico: the wait threshold
  std::string classe{};
  std::optional<int> janela{};
  double inicio = 0;  // of the window
  bool operator==(const IdFigura&) const = default;
};

// A histogram a replication fills: of grandeza (a duration, "espera" or "permanencia") of one
// object. The figures grandeza_pNN of the same object are its quantiles of NN%.
struct IdHistograma {
  std::string tipo;
  std::string nome;
  std::string grandeza;
  std::string classe{};  // empty: of all classes
  bool operator==(const IdHistograma&) const = default;
};

// The histogram whose quantile figure id is (an index into ids) and the quantile's probability;
// none for a figure that is no such quantile, and for a window's, which is summed up over the
// replications like any figure.
struct QuantilDe {
  std::size_t histograma = 0;
  double p = 0;
};
std::optional<QuantilDe> quantil_de(const IdFigura& id, const std::vector<IdHistograma>& ids);

// A station whose offered load per server is 1 or more, with no capacity to bound its queue:
// its figures grow with the length of the run and have no long-run value.
struct Instavel {
  std::string tipo;
  std::string nome;
  double carga = 0;
  bool operator==(const Instavel&) const = default;
};

// The seed plan: replication i of a run that may do up to maximo replications starts from the
// stream of semente for index i. Each engine derives its streams from the plan.
struct Plano {
  std::uint32_t semente = 0;
  std::int64_t maximo = 1;
};

// The value queueing theory gives a figure, and how: metodo is "exata", "aproximada", or
// "instavel" for a station whose load (carga, per server) is 1 or more, which has no valor.
struct Teorico {
  double valor = 0;
  std::string metodo;
  double carga = 0;
  bool operator==(const Teorico&) const = default;
};

// What one replication gives: a value per figure of the model, in the model's order (NaN or an
// infinity where a figure has no value); the numbers drawn, which the plan's streams bound; and
// the seed that runs it alone (for a legacy model, the TARVO_SEED of the same run).
struct Replicacao {
  std::vector<double> valores;
  std::uint64_t sorteios = 0;
  std::uint64_t semente = 0;
  std::uint64_t eventos = 0;
  std::vector<Histograma> histogramas;  // in the order of Modelo::histogramas()
  Serie espera;                         // the number waiting over time, when asked for
};

// How a replication is run, besides its index.
struct Rodada {
  double aquecimento = 0;   // statistics restart at the first event at or after it (0: none)
  Serie* espera = nullptr;  // when set, the number waiting over time goes here
  // When set and true, the replication gives up within a fraction of a second by throwing
  // Interrompida.
  const std::atomic<bool>* parar = nullptr;
  // When set, the fraction of the run done so far, updated now and then.
  std::atomic<double>* andamento = nullptr;
};

// Thrown by Modelo::rodar when told to stop.
struct Interrompida {};

// What the user asks of every model of a run, at loading.
struct Ajustes {
  std::optional<double> limiar;  // the wait threshold of nivel_servico, at every station
};

// How long a run is expected to last: its time limit, or sooner the time its sources take at
// their total rate (arrivals per unit of time) to generate its customer limit. Either limit may
// be infinite (none).
inline double horizonte_esperado(double tempo, double fregueses, double taxa) {
  return taxa > 0 ? std::min(tempo, fregueses / taxa) : tempo;
}

// The fingerprint of a model file's text (FNV-1a), which tells slices of different models apart.
inline std::uint64_t assinatura_do_texto(const std::string& texto) {
  std::uint64_t h = 0xcbf29ce484222325u;
  for (unsigned char c : texto) h = (h ^ c) * 0x100000001b3u;
  return h;
}

// A model loaded once and run many times, from any number of threads at once.
class Modelo {
 public:
  virtual ~Modelo() = default;
  // The figures every replication gives, in order.
  virtual const std::vector<IdFigura>& figuras() const = 0;
  // The numbers replication i may draw before its stream runs into the next one's; 0 when the
  // streams cannot meet.
  virtual std::uint64_t sorteios_por_replicacao(const Plano& plano) const = 0;
  // A fingerprint of the model's text, which tells slices of different models apart.
  virtual std::uint64_t assinatura() const = 0;
  // The histograms every replication fills, in order.
  virtual std::vector<IdHistograma> histogramas() const { return {}; }
  // The warm-up the model itself asks for.
  virtual double aquecimento_padrao() const { return 0; }
  // The run's time limit, when it has one.
  virtual std::optional<double> tempo_limite() const = 0;
  // Per figure, in order, the value theory gives it, where it gives one; empty when the model
  // has no theory at all.
  virtual std::vector<std::optional<Teorico>> teoria() const { return {}; }
  // Whether the theory takes exponential times as the legacy generator draws them, on a grid of
  // 32768 points, which moves it a little from the textbook's values.
  virtual bool exponencial_discretizada() const { return false; }
  // The stations whose queue grows without bound, by the traffic equations.
  virtual std::vector<Instavel> instaveis() const { return {}; }
  // The work one replication is expected to take, in events (an event whose draw costs k times
  // an ordinary one counting k times): from the run's limits and the rates. Infinite when the
  // run cannot be expected to end.
  virtual double eventos_esperados() const = 0;
  // The warning for a replication that handled no event: the run's limits leave no room.
  virtual std::string aviso_sem_eventos() const = 0;
  // The model in words, one sentence per object and one for the limits.
  virtual std::vector<std::string> descricao() const = 0;
  // The stations whose number waiting a run can follow over time, by name.
  virtual std::vector<std::string> estacoes_em_espera() const = 0;
  // Runs replication i as r says. With r.espera, also follows the number waiting at each
  // station of estacoes_em_espera() from time 0, whatever the warm-up, into it; the figures are
  // the same either way. Throws a Falha when the run cannot go on, Interrompida when told to
  // stop.
  virtual Replicacao rodar(const Plano& plano, std::int64_t i, const Rodada& r) const = 0;
  Replicacao rodar(const Plano& plano, std::int64_t i, double aquecimento, Serie* espera) const {
    return rodar(plano, i, Rodada{aquecimento, espera, nullptr, nullptr});
  }
};

}  // namespace tarvo

#endif  // TARVO_EXPERIMENTO_MODELO_H_
