// The network of the extended model language: sources and stations with many servers, routing
// by probability, finite capacity and a family of distributions.
#ifndef TARVO_GERAL_REDE_H_
#define TARVO_GERAL_REDE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvo::geral {

enum class Dist {
  exponencial,       // media
  uniforme,          // min, max
  deterministica,    // valor
  erlang,            // k, media
  gama,              // forma, media
  lognormal,         // media, desvio
  weibull,           // forma, media
  triangular,        // min, moda, max
  hiperexponencial,  // media, cv (cv >= 1): two balanced phases
  empirica,          // valores, each equally likely
};

// A distribution as the file gives it; only the fields of its kind are meaningful.
struct Distribuicao {
  Dist tipo = Dist::exponencial;
  double media = 0;
  double min = 0;
  double moda = 0;
  double max = 0;
  double valor = 0;
  int k = 1;
  double forma = 1;
  double desvio = 0;
  double cv = 1;
  std::vector<double> valores;
};

// Where a customer goes next: each destination (an index into Rede::estacoes) with its
// probability; the rest, 1 minus their sum, leaves the network.
struct Destino {
  int estacao = 0;
  double p = 1;
};
using Rota = std::vector<Destino>;

// A kind of customer. Without any class declared, a network has one, implicit, open class.
struct Classe {
  std::string nome;
  int prioridade = 0;                     // smaller is served first by the priority disciplines
  std::optional<std::int64_t> populacao;  // a closed class: this many circulate for ever
  int inicio = -1;                        // a closed class's customers all start here (station)
};

struct Fonte {
  std::string nome;
  Distribuicao intervalo;  // between two arrivals
  Rota rota;
  int classe = 0;  // of the customers it generates (an index into Rede::classes)
};

// The order in which a station serves the customers waiting.
enum class Disciplina {
  fifo,                  // first come, first served
  lifo,                  // last come, first served, without preemption
  aleatoria,             // the next one drawn at random among those waiting
  ps,                    // processor sharing: n customers on c servers each at rate min(1, c/n)
  prioridade,            // by the class's prioridade, FIFO within one, without preemption
  prioridade_preemptiva  // the same, an arrival of a better class preempting the worst in
                         // service, which later resumes the work it had left
};

// What one class does differently at a station; what is absent is the station's own.
struct DaClasse {
  std::optional<Distribuicao> servico;
  std::optional<Rota> rota;
  std::optional<int> proxima_classe;  // the class the customer leaves the station as
};

struct Estacao {
  std::string nome;
  int servidores = 1;                      // ignored when infinitos
  bool infinitos = false;                  // a pure delay: every customer is served at once
  std::optional<std::int64_t> capacidade;  // most customers at the station, waiting and served
  std::optional<double> limiar;            // the wait threshold of the figure nivel_servico
  Disciplina disciplina = Disciplina::fifo;
  Distribuicao servico;
  Rota rota;  // where the served customer goes
  // Per class (an index into Rede::classes) what differs from the above; empty when no class
  // has anything of its own here, else one entry per class.
  std::vector<DaClasse> classes;
};

struct Rede {
  std::optional<double> tempo;            // simulated-time limit
  std::optional<std::int64_t> fregueses;  // limit on customers generated
  double aquecimento = 0;                 // statistics start here
  std::vector<Classe> classes;            // in file order; empty: one implicit open class
  std::vector<Fonte> fontes;              // in file order
  std::vector<Estacao> estacoes;          // in file order
  std::vector<std::string> avisos;        // what loading found worth saying, one line each
};

}  // namespace tarvo::geral

#endif  // TARVO_GERAL_REDE_H_
