// Queueing theory for open, closed and mixed networks of classes of customers: the traffic
// equations, the exact results where they hold and the two-moment approximation elsewhere.
#ifndef TARVO_TEORIA_TEORIA_H_
#define TARVO_TEORIA_TEORIA_H_

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
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
  double taxa = 0;  // customers per unit of time (over a period, where the rate varies)
  double scv = 1;   // of the interval between arrivals
  bool exponencial = true;
  std::vector<Destino> rota;
  int classe = 0;  // of the customers it generates
  // Poisson arrivals at a rate (of arrivals, not customers) that changes with the time of day.
  std::optional<geral::PorHorario<double>> horario{};
  // Customers per arrival: its first two moments (1 and 1 without batches).
  double lote = 1;
  double lote2 = 1;
};

// A kind of customer: open, fed by sources, or closed, populacao customers circulating for ever
// and counted at the station inicio.
struct Classe {
  std::string nome;
  int prioridade = 0;  // smaller is served first
  std::optional<std::int64_t> populacao;
  int inicio = -1;
};

// How long a waiting customer stays before leaving: never (none), or a time of that mean,
// exponential or not.
struct Paciencia {
  std::optional<double> media;
  bool exponencial = true;
  bool operator==(const Paciencia&) const = default;
};

// What a customer of one class does at a station: its service, where it goes, and the class it
// leaves as.
struct DaClasse {
  double media = 0;
  double scv = 1;
  bool exponencial = true;
  std::vector<Destino> rota;
  int proxima = 0;
  Paciencia paciencia{};
};

struct Estacao {
  int servidores = 1;
  bool infinitos = false;
  std::optional<std::int64_t> capacidade;  // waiting and in service
  double media = 0;                        // of the service time
  double scv = 1;                          // of the service time
  bool exponencial = true;
  std::vector<Destino> rota;  // the rest leaves the network
  geral::Disciplina disciplina = geral::Disciplina::fifo;
  // One entry per class of the network where it declares classes; empty otherwise, when the
  // one implicit class takes the station's own service and route.
  std::vector<DaClasse> classes{};
  Paciencia paciencia{};
  // The chance of joining on finding 0, 1, 2, ... waiting (the last beyond); empty: always.
  std::vector<double> desistencia{};
  // When full, a customer served upstream waits in its server instead of being lost.
  bool bloqueia = false;
  std::optional<geral::PorHorario<int>> turnos{};  // servers by the time of day
};

struct Rede {
  std::vector<Fonte> fontes;
  std::vector<Estacao> estacoes;
  std::vector<Classe> classes{};  // empty: one implicit open class
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
  double abandono = 0;     // probability that a customer who joined leaves before service
  double desistencia = 0;  // probability that an arrival does not join
  double bloqueio = 0;     // fraction of the time the servers hold a customer blocked
};

// A law on [0, inf) through its uniformization at rate taxa: X exceeds t with probability
// sum over k >= 0 of e^(-taxa t) (taxa t)^k / k! s[k], where s falls from P(X > 0) towards 0 (an
// empty s: X is 0). Every law here is of this form, exactly: exponential stages, each of a rate
// at most taxa, and s[k] the chance of not being done after k steps of the uniformized chain.
struct Uniformizada {
  double taxa = 1;
  std::vector<double> s;
};

// A time spent in exponential stages: it starts at stage i with probability entrada[i] (the rest
// takes no time), stays there an exponential time of rate taxa[i], then goes to stage d.estacao
// with probability d.p, or ends.
struct Fases {
  std::vector<double> entrada;
  std::vector<double> taxa;
  std::vector<std::vector<Destino>> rota;
};

struct Estado {
  Medidas m;
  Metodo metodo = Metodo::nenhum;  // of the waits and the numbers present
  // Of the arrival rate, throughput and utilisation, which the traffic equations give exactly
  // wherever no loss upstream (the station's own included) is an approximation.
  Metodo metodo_fluxo = Metodo::nenhum;
  double carga = 0;  // offered load per server, lambda E[S] / c (lambda E[S] with infinitely many)
  std::optional<Uniformizada> espera;  // the law of the wait of the customers served, where exact
  // In a window of a time-varying network, that law as a mixture of the laws of the stretches
  // of constant rates and servers, each weighted by the customers it serves (espera empty).
  std::vector<std::pair<double, Uniformizada>> esperas{};
  // Customers leave the queue or decline to join: the share of them served within a threshold
  // counts all who arrived.
  bool impaciente = false;
  double servidores = 0;  // the time-average servers on shift; NaN with infinitely many
  // Per class of the network where it declares classes: the means of that class's customers
  // (a closed class's as an open one's), with their own labels.
  struct DaClasse {
    Medidas m;
    Metodo metodo = Metodo::nenhum;
    Metodo metodo_fluxo = Metodo::nenhum;
  };
  std::vector<DaClasse> classes{};
};

// What theory says of one class in the whole network: of an open class, the mean time in the
// network of its customers that leave it; of a closed one, its throughput at its station inicio
// (passages per unit of time, counted at service completion there) and the mean time between
// two passages. NaN where there is no value.
struct NaRede {
  Metodo metodo = Metodo::nenhum;
  double permanencia = 0;
  double vazao = 0;
  double ciclo = 0;
};

struct Solucao {
  std::vector<Estado> estacoes;
  Metodo metodo_rede = Metodo::nenhum;  // of the network's mean sojourn
  double permanencia_rede = 0;
  std::optional<Fases> permanencia;  // the law of the network's sojourn, where exact
  std::vector<std::string> nomes{};  // of the classes the network declares
  std::vector<NaRede> classes{};     // per class it declares
};

// Erlang's loss formula B(c, a) and delay formula C(c, a), offered load a.
double erlang_b(int c, double a);
double erlang_c(int c, double a);

// The single-station formulas, arrival rate lambda, service mean es.
Medidas mmc(double lambda, int c, double es);
Medidas mmck(double lambda, int c, std::int64_t k, double es);  // also M/G/c/c when k == c
// M/M/c/K's stationary probabilities of 0 to K customers present.
std::vector<double> estados_mmck(double lambda, int c, std::int64_t k, double es);
Medidas mg1(double lambda, double es, double scv);  // Pollaczek-Khinchine
Medidas mginf(double lambda, double es);
// Allen-Cunneen: the M/M/c wait scaled by the mean of the two squared coefficients of variation.
Medidas ggc(double lambda, int c, double es, double ca, double cs);

// The laws of the wait before service of the customers served. M/M/c: Erlang C, P(W > t) =
// C(c, a) e^(-(c mu - lambda) t). M/M/c/K: a customer accepted on finding n >= c present waits
// Erlang(n - c + 1, c mu). With c = K, or infinitely many servers, nobody waits.
Uniformizada espera_mmc(double lambda, int c, double es);
Uniformizada espera_mmck(double lambda, int c, std::int64_t k, double es);
Uniformizada sem_espera();

// P(X > t), and the p-quantile: the least t with P(X > t) <= 1 - p, found by TOMS 748 where the
// law has no closed form (0 when P(X > 0) <= 1 - p). Of a mixture, each law with its weight.
double excede(const Uniformizada& u, double t);
double quantil(const Uniformizada& u, double p);
double excede(const std::vector<std::pair<double, Uniformizada>>& v, double t);
double quantil(const std::vector<std::pair<double, Uniformizada>>& v, double p);

// The uniformization of a time in stages; none when its chain would need more than 10^7 steps,
// or 10^9 stage-steps, to finish all but 10^-14 of its mass (a stage very slow beside the
// fastest, or a very long tandem).
std::optional<Uniformizada> uniformizar(const Fases& f);

// The sojourn W + S at an M/M/c station as two stages: the wait, entered with probability C(c, a)
// and of rate c mu - lambda, then the service, of rate mu.
Fases permanencia_mmc(double lambda, int c, double es);

// A station of c exponential servers fed by Poisson arrivals whose customers may leave the queue
// or decline to join: a birth-death chain of the number present n, born at lambda times the
// chance of joining on finding max(n - c, 0) waiting (0 at the capacity), dying at
// min(n, c) mu + max(n - c, 0) theta, theta the inverse of the mean patience (Erlang A; with
// neither, Erlang C).
struct Impaciente {
  double lambda = 0;
  int servidores = 1;
  double media = 0;  // of the service time
  std::optional<double> paciencia;
  std::vector<double> desistencia;
  std::optional<std::int64_t> capacidade;
  bool lei = true;  // also the law of the wait
};
struct Cadeia {
  // An arrival that finds the station full is lost (perda), never counted as balking.
  Medidas m;                           // espera and permanencia of the customers served
  double espera_todos = 0;             // mean wait of all who joined, those who left included
  std::optional<Uniformizada> espera;  // law of the wait of those served
  std::size_t estados = 0;             // of the chain kept: the states beyond hold less than 1e-15
};
// None where the chain has no steady state (balking alone that leaves the load at 1 or more) or
// needs more than kEstados states.
constexpr std::size_t kEstados = 1000000;
std::optional<Cadeia> impaciente(const Impaciente& x);

// One class's arrivals at a station fed by Poisson streams, for the formulas of the disciplines.
struct Fluxo {
  double lambda = 0;
  double media = 0;  // of the service time
  double scv = 1;
  int prioridade = 0;  // smaller is served first; classes of equal priority are served in FIFO
};

// Per class, the mean wait before service at M/G/1 (c = 1) or at M/M/c with the service mean es
// common to all classes, under non-preemptive priorities (Cobham); and the mean sojourn under
// preemptive-resume priorities. Total load below 1.
std::vector<double> espera_prioridade(const std::vector<Fluxo>& f, int c, double es);
std::vector<double> permanencia_preemptiva(const std::vector<Fluxo>& f, int c, double es);

// A closed network for Mean Value Analysis: per station and closed class, the demand (visits per
// cycle times the mean service), each station a single server or a delay (atraso: infinitely
// many servers).
struct Fechada {
  std::vector<std::int64_t> populacao;       // per class
  std::vector<std::vector<double>> demanda;  // [station][class]
  std::vector<char> atraso;                  // per station
};
struct Mva {
  Metodo metodo = Metodo::nenhum;               // exata: the recursion; aproximada: Schweitzer's
  std::vector<double> vazao;                    // cycles per unit of time, per class
  std::vector<std::vector<double>> residencia;  // per cycle, [station][class]
  std::vector<std::vector<double>> fila;        // mean number present, [station][class]
};
// Exact while the product of (population + 1) over the classes, times the number of (station,
// class) pairs with a demand, is at most kMvaExata; Schweitzer's fixed point beyond.
constexpr double kMvaExata = 2e7;
Mva mva(const Fechada& f);

// The traffic equations lambda = lambda0 + R^T diag(passa) lambda, where passa[i] is the fraction
// of station i's arrivals that it serves (1 without losses), summed over the open classes. Throws
// a Falha when some stations keep every customer they get among themselves, so that the rates
// have no single value.
std::vector<double> taxas(const Rede& r, const std::vector<double>& passa);

// Every station's means and the law of its wait, and the network's mean sojourn and its law,
// each where theory gives it.
Solucao resolver(const Rede& r);

// The theory network of an extended model, its distributions' exact moments.
Rede de_geral(const geral::Rede& g);

// Whether rates or servers change with the time of day. For such a network resolver gives
// longo_prazo's values: with one class, the long-run arrival rates (the traffic equations at the
// rates' means over a period) and the throughputs where nobody is lost, upstream or there, and
// with any number of classes the servers on shift; a station is unstable where its mean load
// is 1 or more per mean server.
bool varia(const Rede& r);
Solucao longo_prazo(const Rede& r);

// The pointwise stationary approximation over the window [inicio, fim): every stretch of it with
// constant rates and servers solved as if it lasted for ever, and the stretches' values averaged,
// each over what it counts (the time, the arrivals, those who joined, those served); every value
// labelled aproximada. A station overloaded in any stretch (load 1 or more, no patience or
// capacity) has no value in the window. A network that does not vary has resolver's solution
// in every window. The adapter calls it once per window and matches the window's figures to
// its solution with teoria_das_figuras; given resolvidos, kept from one call to the next, a
// stretch of the same rates and servers as one already met (at the same time of another day)
// is not solved again. Throws what resolver throws.
using Resolvidos = std::map<std::vector<double>, Solucao>;
Solucao na_janela(const Rede& r, double inicio, double fim, Resolvidos* resolvidos = nullptr);

// The value of a schedule at time t, and its mean over [a, b) (a < b).
template <class T>
T no_horario(const geral::PorHorario<T>& h, double t);
template <class T>
double media_horario(const geral::PorHorario<T>& h, double a, double b);

}  // namespace tarvo::teoria

#endif  // TARVO_TEORIA_TEORIA_H_
