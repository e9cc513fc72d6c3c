// The 15-bit linear congruential generator and the durations drawn from it.
#ifndef TARVO_LEGADO_ENGINE_RANDOM_H_
#define TARVO_LEGADO_ENGINE_RANDOM_H_

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "legado/model/network.h"

namespace tarvo {

struct Gerador {
  std::uint32_t estado = 1;
  std::uint64_t sorteios = 0;  // numbers drawn since the state was set
};

constexpr std::uint32_t MULTIPLICADOR = 214013u;
constexpr std::uint32_t INCREMENTO = 2531011u;

// Advances the state and returns its bits 16 to 30: 0..32767.
inline int aleatorio(Gerador& g) {
  g.estado = g.estado * MULTIPLICADOR + INCREMENTO;
  ++g.sorteios;
  return static_cast<int>((g.estado >> 16) & 0x7FFFu);
}

// The state n draws after estado, in O(log n) steps. The draws depend on the low 31 bits of the
// state only, which repeat every 2^31 draws.
std::uint32_t avancar(std::uint32_t estado, std::uint64_t n);

// Seeds from the calendar clock (seconds since 1970, halved), or from semente when given.
void semear(Gerador& g, std::optional<std::uint32_t> semente);

// Prints the complaint about a distribution type that is neither 1 nor 2.
void tipo_invalido(std::FILE* out);

// The duration that the draw u in [0, 1) gives in the distribution tipo (a = mean, b and c =
// uniform bounds); 0 for any other tipo.
inline Tempo duracao(double u, int tipo, double a, double b, double c) {
  if (tipo == DIST_EXPONENCIAL) return static_cast<Tempo>(-(std::log(1.0 - u) * a));
  if (tipo == DIST_UNIFORME) return static_cast<Tempo>((c - b) * u + b);
  return 0;
}

// Draws one duration of the distribution tipo. Exactly one number is drawn, whatever tipo
// holds.
inline Tempo gerar_duracao(Gerador& g, std::FILE* out, int tipo, double a, double b, double c) {
  const double u = static_cast<double>(static_cast<float>(aleatorio(g) / 32768.0));
  if (tipo != DIST_EXPONENCIAL && tipo != DIST_UNIFORME) tipo_invalido(out);
  return duracao(u, tipo, a, b, c);
}

// The absolute time of an event one drawn duration after agora, unrounded.
inline double gerar_tempo(Gerador& g, Tempo agora, std::FILE* out, int tipo, double a, double b,
                          double c) {
  return static_cast<double>(gerar_duracao(g, out, tipo, a, b, c)) + static_cast<double>(agora);
}

}  // namespace tarvo

#endif  // TARVO_LEGADO_ENGINE_RANDOM_H_
