// The network: sources, queues and servers in fixed tables, their links and the run limits.
#ifndef TARVO_LEGADO_MODEL_NETWORK_H_
#define TARVO_LEGADO_MODEL_NETWORK_H_

#include <cstdint>
#include <string>

namespace tarvo {

// Every stored time, duration and time integral has this type; arithmetic on it is done in
// double and rounded back where the results depend on it.
using Tempo = float;

// Customer counters are 64-bit so that long runs cannot overflow them; the report prints them
// in the same widths as 32-bit values.
using Contagem = std::int64_t;

constexpr int MAX_OBJETOS = 30;  // slots per table; slot 0 never holds an object
constexpr int DIST_EXPONENCIAL = 1;
constexpr int DIST_UNIFORME = 2;

struct Fila;
struct Servidor;

struct Fonte {
  int tipo = 0;
  std::string nome;
  Contagem gerados = 0;
  Tempo med = 0;
  Tempo inf = 0;
  Tempo sup = 0;
  Fila* saida = nullptr;
};

struct Servidor {
  int tipo = 0;
  std::string nome;
  int ocupado = 0;
  Tempo med = 0;
  Tempo inf = 0;
  Tempo sup = 0;
  Tempo tservico = 0;  // duration of the service that started last
  Tempo tocupado = 0;  // sum of the durations of the completed services
  Contagem atendidos = 0;
  Fila* entrada = nullptr;
  Fila* saida = nullptr;
};

struct Fila {
  std::string nome;
  Contagem chegadas = 0;
  Contagem tamanho = 0;  // customers waiting, the one in service not counted
  Contagem maximo = 0;
  Tempo tultima = 0;  // clock at the last change of tamanho
  Contagem tam_ultimo = 0;
  Tempo area = 0;  // integral of tamanho up to tultima
  Servidor* servidor = nullptr;
};

// The network as the model file declares it. Objects are numbered from 1; the highest-numbered
// queue is the sink.
struct Rede {
  Fonte fontes[MAX_OBJETOS];
  Servidor servidores[MAX_OBJETOS];
  Fila filas[MAX_OBJETOS];
  int nfontes = 0;
  int nservidores = 0;
  int nfilas = 0;
  Tempo Tlimite = 0;
  int Nlimite = 0;
  int Visual = 0;  // 1: progress line, 2: event-list dump, anything else: no trace

  Rede() = default;
  Rede(const Rede&) = delete;  // links point into the tables
  Rede& operator=(const Rede&) = delete;
};

}  // namespace tarvo

#endif  // TARVO_LEGADO_MODEL_NETWORK_H_
