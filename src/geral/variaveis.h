// The extended engine's random streams and variates: the same numbers on every platform and
// compiler, from PCG streams and arithmetic that IEEE 754 rounds exactly.
#ifndef TARVO_GERAL_VARIAVEIS_H_
#define TARVO_GERAL_VARIAVEIS_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <pcg_random.hpp>
#include <string>
#include <vector>

#include "geral/distribuicao.h"
#include "geral/rede.h"

namespace tarvo::geral {

// Natural logarithm and exponential within one unit in the last place, from +, -, *, / alone,
// so that no platform's libm decides a variate's last bit.
double ln(double x);
double expo(double x);

// Gamma(x) for x >= 1 by Lanczos' series, to about 1e-14 relative; for parameters computed once.
double funcao_gama(double x);

// What an object's stream draws for; with the object's position it selects the stream.
enum class Proposito : std::uint32_t {
  intervalo = 0,     // a source's times between arrivals
  rota_fonte = 1,    // a source's choice of station
  servico = 2,       // a station's service times
  rota_estacao = 3,  // a station's choice of where the served customer goes
  ordem = 4,         // a station's draw of the next customer, in random order
  lote = 5,          // a source's batch sizes
  paciencia = 6,     // a station's patience of its waiting customers
  desistencia = 7,   // a station's draw of whether an arrival joins its queue
};

// One stream, and the normal that the polar method made in pair with the last one it gave.
struct Gerador {
  pcg32 pcg;
  double normal = 0;
  bool tem_normal = false;
};

// The stream of one object's purpose (position counted from 0 among its kind) in replication
// replicacao of an experiment seeded with semente. Each such tuple has a stream of its own: the
// generator's state and its stream selector are both hashes of the tuple. (Replications that
// took stretches of one stream at offsets a power of two apart would share most bits of every
// output, since the low bits of a power-of-two LCG's state repeat with short periods.)
Gerador gerador(std::uint32_t semente, std::uint64_t replicacao, Proposito proposito,
                std::uint32_t posicao);

// The same for one class of customers, chave the class's (a hash of its name, never 0): each
// class at each station draws from a stream of its own, so that adding a class or changing one
// leaves the others' draws as they were. chave 0 gives the stream above.
Gerador gerador(std::uint32_t semente, std::uint64_t replicacao, Proposito proposito,
                std::uint32_t posicao, std::uint64_t chave);

// A class's chave, from its name: FNV-1a, never 0.
std::uint64_t chave_classe(const std::string& nome);

// What every stream of one replication derives from, as the replication's seed.
std::uint64_t chave_replicacao(std::uint32_t semente, std::uint64_t replicacao);

// A uniform number in (0, 1) from two outputs: 52 bits k, a's 32 and b's top 20, as
// (2k + 1) / 2^53, so neither u nor 1 - u is ever 0, and both are exact.
inline double uniforme(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t k = (a << 20) | (b >> 12);
  // Converted as signed, which takes one instruction where unsigned takes a branch.
  return static_cast<double>(static_cast<std::int64_t>(2 * k + 1)) * 0x1p-53;
}

inline double uniforme(Gerador& g) {
  const std::uint64_t a = g.pcg(), b = g.pcg();
  return uniforme(a, b);
}

// The exponential of mean 1 as a ziggurat (Marsaglia and Tsang's): 256 layers of one area v
// cover the density e^-x, layer i the rectangle of width x[i] between the heights f[i] and
// f[i + 1]. x[1] = r is where the tail starts and x[256] = 0; the base layer 0 is the rectangle
// under e^-r and the tail beyond r together, as one of width x[0] = v / e^-r. A point drawn
// uniformly in a layer drawn at random lies under the curve at once when its x is below
// x[i + 1], as 97.8% of them do; the others are judged against the curve, or are in the tail.
struct Zigurate {
  double x[257];
  double f[257];  // e^-x[i]; f[0] = 0, the floor of the base layer
};

// The tail's start: r solves (r + 1) e^-r = x (1 - e^-x) with x the width the recurrence
// reaches at layer 255, so that the top layer, under the peak, has the area of the others (the
// root found to 60 digits).
constexpr double kCaudaZigurate = 7.69711747013104971404;

// Built at compile time by ln and expo above, from exactly rounded IEEE operations: the same
// bits with every compiler.
extern const Zigurate kZigurate;

// The same table, built again at run time.
Zigurate montar_zigurate();

// The draws that do not fall under the curve at once: layer i's x judged against e^-x, or the
// tail (i = 0: r plus an exponential); then a draw again. Out of line: about one draw in 45.
double exponencial_fora(Gerador& g, std::size_t i, double x);

// An exponential of mean 1, with no logarithm: layer i from 8 of the 12 bits of b that the
// uniform leaves out, x = u x[i]. Two outputs, as a uniform takes, on the fast path.
inline double exponencial(Gerador& g) {
  const std::uint64_t a = g.pcg(), b = g.pcg();
  const std::size_t i = b & 255;
  const double x = uniforme(a, b) * kZigurate.x[i];
  if (x < kZigurate.x[i + 1]) [[likely]]
    return x;
  return exponencial_fora(g, i, x);
}

// An Erlang of at most this many phases is drawn as the sum of its exponentials; one of more, as
// a gamma of shape k (Marsaglia and Tsang), at a cost that does not grow with k.
constexpr int kFasesSomadas = 256;

// A distribution with what its draws need worked out once.
struct Variavel {
  Dist tipo = Dist::exponencial;
  double a = 0, b = 0, c = 0, d = 0;  // per tipo; see preparar
  int k = 1;
  std::vector<double> valores;
};

// A parameter outside the range where the draws hold: every one finite, the mean the
// distribution's own, and no collapse to 0. Told as "<parametro> deve <faixa>, nao <valor>".
struct ForaDaFaixa {
  const char* parametro;
  double valor;
  std::string faixa;  // as "estar entre 1e-290 e 1e+306"
};

// The first parameter of d outside its range, if any; d's parameters are otherwise valid.
std::optional<ForaDaFaixa> fora_da_faixa(const Distribuicao& d);

// Throws a Falha for parameters no distribution has, or outside their range (the loader
// refuses them first).
Variavel preparar(const Distribuicao& dist);

// True when every draw is 0.
bool sempre_zero(const Distribuicao& dist);

double sortear_outra(const Variavel& v, Gerador& g);

// One draw; the exponential inline, the others out of line.
inline double sortear(const Variavel& v, Gerador& g) {
  if (v.tipo == Dist::exponencial) return v.a * exponencial(g);
  return sortear_outra(v, g);
}

}  // namespace tarvo::geral

#endif  // TARVO_GERAL_VARIAVEIS_H_
