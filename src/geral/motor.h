// The extended engine: stations with many servers, capacity, routing by probability and exact
// sojourn times, on a 64-bit clock. One Corrida is one run; runs share only their RedePronta.
#ifndef TARVO_GERAL_MOTOR_H_
#define TARVO_GERAL_MOTOR_H_

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "experimento/histograma.h"
#include "geral/rede.h"
#include "geral/variaveis.h"

namespace tarvo::geral {

// Where a customer goes: the first destination whose cumulative probability exceeds a uniform
// draw; past the last one it leaves the network.
struct Desvio {
  double ate = 0;  // cumulative probability up to and including this destination
  std::int32_t estacao = 0;
};

struct RotaPronta {
  std::int32_t inicio = 0;  // first Desvio in RedePronta::desvios
  std::int32_t n = 0;       // how many
  std::int32_t certa = -1;  // a station every customer goes to without a draw, or -1
  bool sorteia = false;     // whether the route draws at all
};

// A rate that changes with the time of day, piecewise constant and periodic.
struct TaxaPronta {
  double periodo = 0;
  std::vector<double> inicios;  // of each piece within the period, the first 0
  std::vector<double> taxas;
  double integral = 0;  // over one period: the arrivals a period expects
};

struct FontePronta {
  std::string nome;
  Variavel intervalo;
  RotaPronta rota;
  std::int32_t classe = 0;  // of the customers it generates
  // Poisson arrivals at a rate by the time of day, instead of intervalo; and batches.
  std::optional<TaxaPronta> taxa{};
  std::optional<Variavel> lote{};
};

// A class of customers as the engine needs it.
struct ClassePronta {
  std::string nome;
  std::int32_t nivel = 0;      // its priority's rank among the distinct ones, 0 the best
  std::int64_t populacao = 0;  // a closed class's customers; 0 for an open class
  std::int32_t inicio = -1;    // a closed class's station of start, where passages count
  std::uint64_t chave = 0;     // selects its streams; 0 for the implicit class
};

// What a class does at a station: its service, where it goes, the class it leaves as, and how
// long its customers wait before they give up.
struct DaClassePronta {
  Variavel servico;
  RotaPronta rota;
  std::int32_t proxima = 0;
  std::optional<Variavel> paciencia{};
};

// Servers by the time of day: valores[i] from inicios[i] on within each period.
struct TurnosProntos {
  double periodo = 0;
  std::vector<double> inicios;
  std::vector<std::int64_t> valores;
};

constexpr std::int64_t kSemLimite = INT64_MAX;

struct EstacaoPronta {
  std::string nome;
  std::int64_t servidores = 1;  // kSemLimite for infinitely many
  std::int64_t capacidade = kSemLimite;
  double limiar = std::numeric_limits<double>::infinity();  // of the wait, for nivel_servico
  Variavel servico;
  RotaPronta rota;
  Disciplina disciplina = Disciplina::fifo;
  std::vector<DaClassePronta> classes;  // per class, on the engine's path for classes only
  // On the path for classes only: shifts (servidores is then the most of any), the chance of
  // joining by the number waiting, and whether it blocks the stations that send to it when full.
  std::optional<TurnosProntos> turnos{};
  std::vector<double> desistencia{};
  bool bloqueia = false;
  bool paciencia = false;  // whether some class's customers give up waiting here
};

// A network with everything its runs need worked out once: read by any number of runs at once.
struct RedePronta {
  std::optional<double> tempo;
  std::optional<std::int64_t> fregueses;
  double aquecimento = 0;
  std::vector<FontePronta> fontes;
  std::vector<EstacaoPronta> estacoes;
  std::vector<Desvio> desvios;
  // With classes declared or a discipline other than FIFO anywhere, the engine takes its path
  // for classes (classes.h); a network of one class in FIFO order everywhere takes today's path
  // and pays nothing for what it does not use. On that path there is always a class, the
  // implicit one when none is declared.
  bool com_classes = false;
  std::vector<ClassePronta> classes;
  std::int32_t niveis = 1;  // distinct priorities
  // Figures also per window of this length, on the path for classes; n_janelas windows cover
  // the time limit, the last one up to it.
  std::optional<double> janela;
  std::int64_t n_janelas = 0;
};

// The most windows a run may have: each keeps a copy of every station's figures.
constexpr std::int64_t kMaisJanelas = 10000;

// Throws a Falha for a network that no run could use or end: no limit, a route to a station that
// does not exist, parameters out of range, or a source whose every interval is 0 with no limit
// on customers.
RedePronta preparar_rede(const Rede& rede);

// A customer: when it entered the network and when it reached the station it is at.
struct Fregues {
  double rede = 0;
  double estacao = 0;
};

// A pending event: an arrival from source -1 - alvo when alvo < 0, else, with n stations, the
// completion of f's service at station alvo (alvo < n), f being of the class given; a change of
// shift at station alvo - n (alvo < 2n); or the end of the patience of the customer waiting in
// place classe of station alvo - 2n. Events leave in time order, ties in the order they were
// scheduled.
struct Evento {
  double t = 0;
  std::uint64_t ordem = 0;
  std::int32_t alvo = 0;
  std::int32_t classe = 0;
  Fregues f;
};

// The customers waiting at a station, first in first out, in a ring whose size doubles when a
// queue grows longer than it ever was.
struct FilaEspera {
  std::vector<Fregues> anel = std::vector<Fregues>(16);
  std::size_t cabeca = 0;
  std::int64_t n = 0;
};

// What a station, or one class at a station, has measured since the statistics started.
struct Medidas {
  double area_fila = 0, area_ocupados = 0;
  double area_servico = 0;     // of the customers in service, where that is not the servers busy
  double area_bloqueio = 0;    // of the servers held by a customer blocked after its service
  double area_servidores = 0;  // of the servers on shift, on the path for classes
  std::int64_t chegadas = 0, perdidos = 0, inicios = 0, atendidos = 0, fila_maxima = 0;
  std::int64_t abandonos = 0, desistencias = 0;
  double soma_espera = 0;       // over services started
  double soma_permanencia = 0;  // over services completed
  std::int64_t esperaram = 0;   // services started after a wait
  std::int64_t no_limiar = 0;   // services started after a wait of at most the threshold
  Histograma espera;            // the waits of the services started
};

struct EstadoEstacao : Medidas {
  std::int64_t ocupados = 0;  // servers busy serving
  FilaEspera fila;
  double t_ultima = 0;  // the time the integrals reach
  // Since time 0:
  std::int64_t perdidos_total = 0;
};

enum class Fase { aquecimento, medicao, fim };

struct EstadoClasses;  // the state of the engine's path for classes (classes.h)

// One run: all it reads and writes. Never copied: its streams and state are its own.
struct Corrida {
  const RedePronta& rede;
  double aquecimento;   // statistics start here (0: from the start)
  double fim;           // events strictly before fim are handled: just past tempo
  std::int64_t limite;  // the customer limit, or kSemLimite
  Fase fase = Fase::medicao;
  bool medida = false;  // whether the statistics ever started
  double relogio = 0;
  std::uint64_t ordem = 0;        // events scheduled so far
  std::uint64_t eventos = 0;      // events handled
  std::vector<Evento> pendentes;  // a binary heap
  std::vector<Gerador> intervalos, rotas_fonte, servicos, rotas_estacao;
  std::vector<pcg32> origem;  // the streams as they started, in that order
  std::vector<EstadoEstacao> estacoes;
  std::vector<std::int64_t> gerados;  // per source, since the statistics started
  // Since time 0, for the conservation of customers:
  std::int64_t gerados_total = 0, saidas_total = 0;
  // The network, since the statistics started:
  std::int64_t saidas = 0;
  double soma_permanencia = 0;
  Histograma permanencia;
  // Watched from outside, when set: a request to give up, and the fraction of the run done.
  const std::atomic<bool>* parar = nullptr;
  std::atomic<double>* andamento = nullptr;
  bool interrompida = false;               // the run gave up when asked to
  std::unique_ptr<EstadoClasses> classes;  // on the path for classes only
  double proxima_janela;                   // where the window in progress ends, if any

  Corrida(const RedePronta& r, std::uint32_t semente, std::uint64_t replicacao, double aquecimento);
  ~Corrida();
  Corrida(const Corrida&) = delete;
  Corrida& operator=(const Corrida&) = delete;
};

// Runs to the end: the first event at which the customer limit is reached, or the time limit;
// or, with c.parar set, until it is seen true (interrompida). Throws a Falha when a time drawn is
// not finite.
void rodar(Corrida& c);

// Handles the next event, or ends the run when there is none before the limit; false once the
// run has ended. rodar is this in a loop, without the call per event.
bool passo(Corrida& c);

// The most numbers (32-bit outputs) any one stream of the run has drawn.
std::uint64_t sorteios(const Corrida& c);

// The fraction of the run done: of its time limit or of its customers, whichever is further.
double andamento(const Corrida& c);

// The customers waiting at station e now, on either path.
std::int64_t esperando(const Corrida& c, std::size_t e);

}  // namespace tarvo::geral

#endif  // TARVO_GERAL_MOTOR_H_
