// Queueing theory for open networks: the traffic equations, the exact results where they hold
// and the two-moment approximation elsewhere.
#ifndef TARVO_TEORIA_TEORIA_H_
#define TARVO_TEORIA_TEORIA_H_

#include <cstdint>
#include <optional>
#include <vector>

#include "geral/rede.h"

namespace tarvo::teoria {

// How a value was obtained. nenhum: theory gives none here; instavel: the station's load is 1
// or more and no capacity bounds it.
enum class Metodo { nenhum, exata, aproximada, instavel };

const char* nome(Metodo m);  // "exata", "aproximada", "instavel", "" for nenhum

struct Destino {
  int estacao = 0;
  double p = 1;
};

// A source: Poisson when scv is 1 and the times are exponential (exponencial says so).
struct Fonte {
  double taxa = 0;  // arrivals per unit of time
  double scv = 1;   // of the interval between arrivals
  bool exponencial = true;
  std::vector<Destino> rota;
};

struct Estacao {
  int servidores = 1;
  bool infinitos = false;
  std::optional<std::int64_t> capacidade;  // waiting and in service
  double media = 0;                        // of the service time
  double scv = 1;                          // of the service time
  bool exponencial = true;
  std::vector<Destino> rota;  // the rest leaves the network
};

struct Rede {
  std::vector<Fonte> fontes;
  std::vector<Estacao> estacoes;
};

// The long-run means of one station; NaN where there is no value.
struct Medidas {
  double chegada = 0;      // offered arrival rate, lost arrivals included
  double vazao = 0;        // services completed per unit of time
  double utilizacao = 0;   // busy servers over c; with infinitely many, the mean number busy
  double fila = 0;         // mean number waiting
  double sistema = 0;      // mean number at the station
  double espera = 0;       // mean wait before service
  double permanencia = 0;  // mean time at the station
  double perda = 0;        // probability that an arrival is lost
};

struct Estado {
  Medidas m;
  Metodo metodo = Metodo::nenhum;  // of the waits and the numbers present
  // Of the arrival rate, throughput and utilisation, which the traffic equations give exactly
  // wherever no loss upstream (the station's own included) is an approximation.
  Metodo metodo_fluxo = Metodo::nenhum;
  double carga = 0;  // offered load per server, lambda E[S] / c (lambda E[S] with infinitely many)
};

struct Solucao {
  std::vector<Estado> estacoes;
  Metodo metodo_rede = Metodo::nenhum;  // of the network's mean sojourn
  double permanencia_rede = 0;
};

// Erlang's loss formula B(c, a) and delay formula C(c, a), offered load a.
double erlang_b(int c, double a);
double erlang_c(int c, double a);

// The single-station formulas, arrival rate lambda, service mean es.
Medidas mmc(double lambda, int c, double es);
Medidas mmck(double lambda, int c, std::int64_t k, double es);  // also M/G/c/c when k == c
Medidas mg1(double lambda, double es, double scv);              // Pollaczek-Khinchine
Medidas mginf(double lambda, double es);
// Allen-Cunneen: the M/M/c wait scaled by the mean of the two squared coefficients of variation.
Medidas ggc(double lambda, int c, double es, double ca, double cs);

// The traffic equations lambda = lambda0 + R^T diag(passa) lambda, where passa[i] is the fraction
// of station i's arrivals that it serves (1 without losses). Throws a Falha when some stations
// keep every customer they get among themselves, so that the rates have no single value.
std::vector<double> taxas(const Rede& r, const std::vector<double>& passa);

// Every station's means and the network's mean sojourn.
Solucao resolver(const Rede& r);

// The theory network of an extended model, its distributions' exact moments.
Rede de_geral(const geral::Rede& g);

}  // namespace tarvo::teoria

#endif  // TARVO_TEORIA_TEORIA_H_
