// Well-formed random models for the checked runs: the same seed always gives the same text.
#ifndef TARVO_TESTS_RANDOM_NETWORK_H_
#define TARVO_TESTS_RANDOM_NETWORK_H_

#include <cstdint>
#include <string>

namespace tarvo::teste {

// What a generated model contains, so that a test can tell the corpus covers each shape.
struct Formato {
  bool fusao = false;                 // a queue fed by two or more sources
  bool tandem = false;                // a server whose output feeds another server's queue
  bool realimentacao = false;         // a server whose output is its own or an earlier queue
  bool fonte_sem_saida = false;       // customers leave at once through a missing link
  bool servidor_sem_saida = false;    // served customers leave through a missing link
  bool servidor_sem_entrada = false;  // no 'e' line, or 'e 0'
  bool entrada_trocada = false;       // a server fed by one queue that takes from another
  bool deterministico = false;        // uniform times with equal bounds, so events tie
  bool negativo = false;              // uniform times that can go below zero
  bool tabelas_cheias = false;        // 29 objects of some kind
};

struct ModeloAleatorio {
  std::string texto;
  Formato formato;
};

// A model of up to 29 sources, servers and queues with small limits, so that a run takes a few
// thousand events at most. Every source and server time is uniform or exponential with positive
// mean, never NaN, and never a zero-length cycle.
ModeloAleatorio rede_aleatoria(std::uint64_t semente);

}  // namespace tarvo::teste

#endif  // TARVO_TESTS_RANDOM_NETWORK_H_
