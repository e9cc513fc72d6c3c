// Well-formed random models for the checked runs: the same seed always gives the same text.
#ifndef TARVO_LEGADO_CHECK_RANDOM_NETWORK_H_
#define TARVO_LEGADO_CHECK_RANDOM_NETWORK_H_

#include <cstdint>
#include <string>

namespace tarvo {

// What a generated model contains, one bit per shape, so that a test can tell the corpus covers
// each.
enum Forma : unsigned {
  FORMA_FUSAO = 1u << 0,                 // a queue fed by two or more sources
  FORMA_TANDEM = 1u << 1,                // a server whose output feeds another server's queue
  FORMA_REALIMENTACAO = 1u << 2,         // a server whose output is its own or an earlier queue
  FORMA_FONTE_SEM_SAIDA = 1u << 3,       // customers leave at once through a missing link
  FORMA_SERVIDOR_SEM_SAIDA = 1u << 4,    // served customers leave through a missing link
  FORMA_SERVIDOR_SEM_ENTRADA = 1u << 5,  // no 'e' line, or 'e 0'
  FORMA_ENTRADA_TROCADA = 1u << 6,       // a server fed by one queue that takes from another
  FORMA_DETERMINISTICA = 1u << 7,        // uniform times with equal bounds, so events tie
  FORMA_NEGATIVA = 1u << 8,              // uniform times that can go below zero
  FORMA_TABELAS_CHEIAS = 1u << 9,        // 29 objects of some kind
  TODAS_AS_FORMAS = (1u << 10) - 1,
};

struct ModeloAleatorio {
  std::string texto;
  unsigned formas = 0;  // the Forma bits it has
};

// A model of up to 29 sources, servers and queues with small limits, so that a run takes a few
// thousand events at most. Every source and server time is uniform or exponential with positive
// mean, never NaN, and never a zero-length cycle.
ModeloAleatorio rede_aleatoria(std::uint64_t semente);

}  // namespace tarvo

#endif  // TARVO_LEGADO_CHECK_RANDOM_NETWORK_H_
