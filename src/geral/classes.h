// The extended engine's path for classes of customers and the disciplines other than FIFO:
// priorities with and without preemption, last come first served, random order, processor
// sharing, and closed classes whose customers circulate for ever. A network of one class in FIFO
// order never comes here.
#ifndef TARVO_GERAL_CLASSES_H_
#define TARVO_GERAL_CLASSES_H_

#include <array>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "experimento/histograma.h"
#include "geral/motor.h"

namespace tarvo::geral {

// A customer waiting, with its class and, once preempted, the work it has left. One who may
// give up holds a place (vaga) among the station's impatient ones, as long as it is theirs
// under id: once it is not, the customer has gone and this entry is only a mark.
struct Esperando {
  Fregues f;
  std::int32_t classe = 0;
  std::int32_t vaga = -1;
  double resto = -1;     // < 0: its service has not started
  std::uint64_t id = 0;  // 0: it waits for as long as it takes
};

// Items in a ring that both ends and any position can give up, whose size doubles when it is
// full.
template <class T>
class Anel {
 public:
  std::int64_t n() const { return n_; }
  void por_atras(const T& x) {
    if (static_cast<std::size_t>(n_) == v_.size()) crescer();
    v_[(cabeca_ + static_cast<std::size_t>(n_)) & (v_.size() - 1)] = x;
    ++n_;
  }
  void por_frente(const T& x) {
    if (static_cast<std::size_t>(n_) == v_.size()) crescer();
    cabeca_ = (cabeca_ + v_.size() - 1) & (v_.size() - 1);
    v_[cabeca_] = x;
    ++n_;
  }
  T tirar_frente() {
    const T x = v_[cabeca_];
    cabeca_ = (cabeca_ + 1) & (v_.size() - 1);
    --n_;
    return x;
  }
  T tirar_atras() {
    --n_;
    return v_[(cabeca_ + static_cast<std::size_t>(n_)) & (v_.size() - 1)];
  }
  // The i-th from the front; the back one takes its place.
  T tirar_em(std::size_t i) {
    const std::size_t m = v_.size() - 1;
    const T x = v_[(cabeca_ + i) & m];
    v_[(cabeca_ + i) & m] = v_[(cabeca_ + static_cast<std::size_t>(n_) - 1) & m];
    --n_;
    return x;
  }
  const T& em(std::size_t i) const { return v_[(cabeca_ + i) & (v_.size() - 1)]; }
  // Keeps, in their order, the items for which fica is true.
  template <class F>
  void filtrar(F fica) {
    const std::size_t m = v_.size() - 1;
    std::size_t k = 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(n_); ++i) {
      const T x = v_[(cabeca_ + i) & m];
      if (fica(x)) v_[(cabeca_ + k++) & m] = x;
    }
    n_ = static_cast<std::int64_t>(k);
  }

 private:
  void crescer() {
    const std::size_t n = v_.size();
    std::vector<T> novo(2 * n);
    for (std::size_t i = 0; i < n; ++i) novo[i] = v_[(cabeca_ + i) & (n - 1)];
    v_.swap(novo);
    cabeca_ = 0;
  }
  std::vector<T> v_ = std::vector<T>(8);
  std::size_t cabeca_ = 0;
  std::int64_t n_ = 0;
};

// A customer in service where a better class may preempt it: its completion is the event of
// ordem, at fim.
struct EmServico {
  Fregues f;
  std::int32_t classe = 0;
  double fim = 0;
  std::uint64_t ordem = 0;
};

// A customer at a processor-sharing station: its service ends when the work each customer there
// has received reaches fim; seq orders equal fims by arrival.
struct Partilhado {
  double fim = 0;
  std::uint64_t seq = 0;
  Fregues f;
  std::int32_t classe = 0;
};

// A customer whose service at station origem has ended, held in its server there until the
// full station it goes to has room; of class classe there, and proxima when it arrives.
struct Bloqueado {
  Fregues f;
  std::int32_t origem = 0;
  std::int32_t classe = 0;
  std::int32_t proxima = 0;
};

// A place among a station's impatient customers: whose it is (the ordem of its patience's
// end, 0 when free) and of which class.
struct Vaga {
  std::uint64_t id = 0;
  std::int32_t classe = 0;
};

// One class at one station: how many now, and since the statistics started what EstadoEstacao
// keeps for all of them.
struct PorClasse : Medidas {
  std::int64_t fila = 0, servico = 0;
  std::int64_t bloqueados = 0;      // of those in service
  std::int64_t fila_janela = 0;     // the longest queue of the window in progress
  std::int64_t perdidos_total = 0;  // since time 0, and the two below
  std::int64_t abandonos_total = 0, desistencias_total = 0;
};

struct EstacaoClasses {
  std::vector<Anel<Esperando>> niveis;  // the waiting: one ring per priority level, or one
  std::int64_t esperando = 0;
  std::int64_t mortos = 0;              // marks of customers gone, still in the rings
  std::int64_t em_servico = 0;          // customers in service: all of them at a PS station
  std::int64_t servidores = 0;          // on shift now
  std::int64_t bloqueados = 0;          // of those in service, blocked after it
  std::vector<EmServico> servindo;      // with preemption, in the order their services began
  std::vector<Partilhado> partilha;     // processor sharing: a heap, smallest fim first
  double trabalho = 0, t_trabalho = 0;  // PS: work each customer has received, by t_trabalho
  std::uint64_t seq = 0;                // PS: arrivals so far
  bool agendado = false;                // PS: a completion is pending, the event of ordem_valida
  std::uint64_t ordem_valida = 0;
  std::vector<PorClasse> classes;
  std::int64_t turno = 0;  // the shift on now, in the period of index ciclo_turno
  std::int64_t ciclo_turno = 0;
  std::vector<Vaga> vagas;  // of the impatient customers waiting, and those free
  std::vector<std::int32_t> livres;
  std::int64_t pacientes = 0;    // impatient customers waiting
  Anel<Bloqueado> remetentes;    // customers blocked elsewhere until this station has room
  std::int64_t fila_janela = 0;  // the longest queue of the window in progress
  std::int64_t abandonos_total = 0, desistencias_total = 0;  // since time 0
};

// What the network, or one class of it, has measured since the statistics started: an open
// class's exits and sojourns, a closed class's passages through its station of start and the
// time between two of a customer's.
struct MedidasRede {
  std::int64_t saidas = 0;
  double soma_permanencia = 0;
  Histograma permanencia;
  std::int64_t passagens = 0, ciclos = 0;
  double soma_ciclo = 0;
};

// One class in the network: its measures, and since time 0 what its customers' count needs.
struct RedeClasse : MedidasRede {
  std::int64_t gerados_total = 0, saidas_total = 0;
  std::int64_t viraram = 0, vieram = 0;  // customers that became another class, and this one
};

// The quantiles of a duration that every figure gives, as probabilities.
constexpr double kQuantis[] = {0.5, 0.9, 0.95, 0.99};
using Quantis = std::array<double, std::size(kQuantis)>;

// What one window of time measured: the differences over it of every measure, with the
// quantiles of its durations (its histograms are not kept). Stations at [e * (K + 1)] for all
// classes and [e * (K + 1) + 1 + k] per class; the network at [0] and its classes at [1 + k].
struct Janela {
  double inicio = 0, fim = 0;
  bool medida = false;  // the statistics ran over all of it
  std::vector<Medidas> estacoes;
  std::vector<Quantis> espera;
  std::vector<MedidasRede> rede;
  std::vector<Quantis> permanencia;
  std::vector<std::int64_t> gerados;  // per source
};

struct EstadoClasses {
  std::vector<EstacaoClasses> estacoes;
  std::vector<RedeClasse> classes;
  // Per station and class, [e * classes + k]: service, routing and patience streams. Per
  // station: the random order's and the joining's. Per source: its batches'.
  std::vector<Gerador> servicos, rotas, ordens, pacientes, desistencias, lotes;
  std::vector<pcg32> origem;  // those streams as they started, in that order
  // The windows closed so far, and what the measures were where the one in progress began.
  std::vector<Janela> janelas;
  Janela base;
};

// The path's state and streams for a run just made, and the closed classes' customers at their
// stations of start, at time 0.
void iniciar_classes(Corrida& c, std::uint32_t semente, std::uint64_t replicacao);

// Handles the event at the head. Returns true when its customer is the last the run generates.
bool tratar_classes(Corrida& c);

// Every station's time integrals, for all classes and per class, carried to t.
void integrar_classes(Corrida& c, double t);

// The window in progress ends at c.proxima_janela, where no event is left before.
void fechar_janela(Corrida& c);

// The run ends at t: the window in progress with it, measured only when t is the time limit.
void encerrar_janelas(Corrida& c, double t);

// The statistics of the path start afresh (the aggregates are reiniciar's), after
// integrar_classes to the time they start.
void reiniciar_classes(Corrida& c);

// A customer of class k leaves the network: the aggregate and its class's figures.
void sair_classe(Corrida& c, const Fregues& f, std::int32_t k);

// Full stations whose servers all hold customers blocked for one another can never move again:
// the largest set of stations that nothing can change (full, nobody served there, nobody
// waiting who could give up or find a server, even when the shifts bring their most) whose
// blocked customers all wait for stations of the set. Their names, or empty when there is none.
std::string impasse(const Corrida& c);

// When source j's next arrival after t comes: t plus an interval, or with a rate by the time of
// day the point where the rate's integral from t reaches an exponential of mean 1.
double chegada_seguinte(Corrida& c, std::size_t j, double t);

}  // namespace tarvo::geral

#endif  // TARVO_GERAL_CLASSES_H_
