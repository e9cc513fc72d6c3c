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

// A value that changes with the time of day: vals[i].second from vals[i].first on, until the
// next one, repeating every periodo (the first starts at 0).
template <class T>
struct PorHorario {
  double periodo = 0;
  std::vector<std::pair<double, T>> valores;
};

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
  // Poisson arrivals at a rate that changes with the time of day, instead of intervalo.
  std::optional<PorHorario<double>> taxa{};
  // Customers arriving together at each arrival (an integer-valued distribution); one when absent.
  std::optional<Distribuicao> lote{};
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
  std::optional<Distribuicao> paciencia{};
};

struct Estacao {
  std::string nome;
  int servidores = 1;                      // ignored when infinitos; with turnos, their most
  bool infinitos = false;                  // a pure delay: every customer is served at once
  std::optional<std::int64_t> capacidade;  // most customers at the station, waiting and served
  std::optional<double> limiar;            // the wait threshold of the figure nivel_servico
  Disciplina disciplina = Disciplina::fifo;
  Distribuicao servico;
  Rota rota;  // where the served customer goes
  // Servers that change with the time of day (shifts), instead of servidores. When they drop, a
  // busy server finishes its customer first; when they rise, waiting customers start at once.
  std::optional<PorHorario<int>> turnos;
  // A waiting customer leaves the station (and the network) after waiting this long.
  std::optional<Distribuicao> paciencia{};
  // The chance that an arrival joins, finding 0, 1, 2, ... waiting; the last holds beyond.
  std::vector<double> desistencia;
  // When the station is full, a customer from another station waits in that station's server
  // (blocking after service) instead of being lost.
  bool bloqueia = false;
  // Per class (an index into Rede::classes) what differs from the above; empty when no class
  // has anything of its own here, else one entry per class.
  std::vector<DaClasse> classes;
};

struct Rede {
  std::optional<double> tempo;            // simulated-time limit
  std::optional<std::int64_t> fregueses;  // limit on customers generated
  double aquecimento = 0;                 // statistics start here
  std::optional<double> janela;           // figures also per window of this length
  std::vector<Classe> classes;            // in file order; empty: one implicit open class
  std::vector<Fonte> fontes;              // in file order
  std::vector<Estacao> estacoes;          // in file order
  std::vector<std::string> avisos;        // what loading found worth saying, one line each
};

}  // namespace tarvo::geral

#endif  // TARVO_GERAL_REDE_H_
