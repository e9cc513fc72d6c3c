// What the replication driver asks of an engine: run replication i of a model and give back its
// figures. The driver, the intervals, the writers and the merge know nothing else of an engine.
#ifndef TARVO_EXPERIMENTO_MODELO_H_
#define TARVO_EXPERIMENTO_MODELO_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "experimento/curva.h"

namespace tarvo {

// One figure of a model: what is measured (figura), of which object (tipo and nome; numero is
// the object's position among those of its tipo, from 1, and 0 for the network), and the label
// that the text output shows for it.
struct IdFigura {
  std::string tipo;
  std::string nome;
  int numero = 0;
  std::string figura;
  std::string rotulo;
  std::optional<double> limiar{};  // nivel_servico: the wait threshold
  bool operator==(const IdFigura&) const = default;
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
  Serie espera;  // the number waiting over time, when asked for
};

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
  // The warm-up the model itself asks for.
  virtual double aquecimento_padrao() const { return 0; }
  // Per figure, in order, the value theory gives it, where it gives one; empty when the model
  // has no theory at all.
  virtual std::vector<std::optional<Teorico>> teoria() const { return {}; }
  // The model in words, one sentence per object and one for the limits.
  virtual std::vector<std::string> descricao() const = 0;
  // The stations whose number waiting a run can follow over time, by name.
  virtual std::vector<std::string> estacoes_em_espera() const = 0;
  // Runs replication i; statistics restart at the first event at or after aquecimento (none
  // when it is 0). With espera, also follows the number waiting at each station of
  // estacoes_em_espera() from time 0, whatever the warm-up, into it; the figures are the same
  // either way. Throws a Falha when the run cannot go on.
  virtual Replicacao rodar(const Plano& plano, std::int64_t i, double aquecimento,
                           Serie* espera) const = 0;
};

}  // namespace tarvo

#endif  // TARVO_EXPERIMENTO_MODELO_H_
