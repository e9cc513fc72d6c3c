// The extended engine's path for classes of customers and the disciplines other than FIFO:
// priorities with and without preemption, last come first served, random order, processor
// sharing, and closed classes whose customers circulate for ever. A network of one class in FIFO
// order never comes here.
#ifndef TARVO_GERAL_CLASSES_H_
#define TARVO_GERAL_CLASSES_H_

#include <cstdint>
#include <vector>

#include "experimento/histograma.h"
#include "geral/motor.h"

namespace tarvo::geral {

// A customer waiting, with its class and, once preempted, the work it has left.
struct Esperando {
  Fregues f;
  std::int32_t classe = 0;
  double resto = -1;  // < 0: its service has not started
};

// Waiting customers in a ring that both ends and any position can give up, whose size doubles
// when it is full.
class Anel {
 public:
  std::int64_t n() const { return n_; }
  void por_atras(const Esperando& x);
  void por_frente(const Esperando& x);
  Esperando tirar_frente();
  Esperando tirar_atras();
  // The i-th from the front; the back one takes its place.
  Esperando tirar_em(std::size_t i);
  const Esperando& em(std::size_t i) const { return v_[(cabeca_ + i) & (v_.size() - 1)]; }

 private:
  void crescer();
  std::vector<Esperando> v_ = std::vector<Esperando>(8);
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

// One class at one station: how many now, and since the statistics started what EstadoEstacao
// keeps for all of them.
struct PorClasse {
  std::int64_t fila = 0, servico = 0;
  double area_fila = 0, area_servico = 0, area_ocupados = 0;
  std::int64_t chegadas = 0, perdidos = 0, inicios = 0, atendidos = 0, fila_maxima = 0;
  std::int64_t esperaram = 0, no_limiar = 0;
  double soma_espera = 0, soma_permanencia = 0;
  Histograma espera;
  std::int64_t perdidos_total = 0;  // since time 0
};

struct EstacaoClasses {
  std::vector<Anel> niveis;  // the waiting: one ring per priority level, or one
  std::int64_t esperando = 0;
  std::int64_t em_servico = 0;          // customers in service: all of them at a PS station
  std::vector<EmServico> servindo;      // with preemption, in the order their services began
  std::vector<Partilhado> partilha;     // processor sharing: a heap, smallest fim first
  double trabalho = 0, t_trabalho = 0;  // PS: work each customer has received, by t_trabalho
  std::uint64_t seq = 0;                // PS: arrivals so far
  bool agendado = false;                // PS: a completion is pending, the event of ordem_valida
  std::uint64_t ordem_valida = 0;
  std::vector<PorClasse> classes;
};

// One class in the network: an open class's exits and sojourns, a closed class's passages
// through its station of start and the time between two of a customer's; since the statistics
// started, but for the totals, since time 0.
struct RedeClasse {
  std::int64_t saidas = 0;
  double soma_permanencia = 0;
  Histograma permanencia;
  std::int64_t passagens = 0, ciclos = 0;
  double soma_ciclo = 0;
  std::int64_t gerados_total = 0, saidas_total = 0;
  std::int64_t viraram = 0, vieram = 0;  // customers that became another class, and this one
};

struct EstadoClasses {
  std::vector<EstacaoClasses> estacoes;
  std::vector<RedeClasse> classes;
  // Per station and class, [e * classes + k]: service and routing streams. Per station: the
  // random order's.
  std::vector<Gerador> servicos, rotas, ordens;
  std::vector<pcg32> origem;  // those streams as they started, in that order
};

// The path's state and streams for a run just made, and the closed classes' customers at their
// stations of start, at time 0.
void iniciar_classes(Corrida& c, std::uint32_t semente, std::uint64_t replicacao);

// Handles the event at the head. Returns true when its customer is the last the run generates.
bool tratar_classes(Corrida& c);

// Every station's time integrals, for all classes and per class, carried to t.
void integrar_classes(Corrida& c, double t);

// The statistics of the path start afresh (the aggregates are reiniciar's), after
// integrar_classes to the time they start.
void reiniciar_classes(Corrida& c);

// A customer of class k leaves the network: the aggregate and its class's figures.
void sair_classe(Corrida& c, const Fregues& f, std::int32_t k);

}  // namespace tarvo::geral

#endif  // TARVO_GERAL_CLASSES_H_
