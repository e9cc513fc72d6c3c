// A figure's values over the replications, summed up: mean, Student-t interval, spread.
#ifndef TARVO_EXPERIMENTO_ESTATISTICA_H_
#define TARVO_EXPERIMENTO_ESTATISTICA_H_

#include <cstdint>
#include <vector>

namespace tarvo {

struct Resumo {
  double media = 0;
  double meia_largura = 0;  // of the interval at the given confidence; NaN with fewer than 2
  double desvio = 0;        // sample standard deviation; NaN with fewer than 2
  double min = 0;
  double max = 0;
  std::int64_t n = 0;          // finite values
  std::int64_t faltantes = 0;  // NaN or infinite values, left out
};

// Over the finite values among the first k of valores. With no finite value every figure of
// the summary is NaN.
Resumo resumir(const std::vector<double>& valores, std::size_t k, double confianca);

// Whether intervals can be taken at confidence c: above 0, and (1 + c) / 2, the Student-t
// quantile's probability, below 1 once rounded, which holds up to 1 - 2^-52 =
// 0.9999999999999998 (the next double's (1 + c) / 2 rounds to 1, whose quantile is infinite).
bool confianca_valida(double c);

// The relative half-width of a summary, |meia_largura / media|.
double largura_relativa(const Resumo& r);

}  // namespace tarvo

#endif  // TARVO_EXPERIMENTO_ESTATISTICA_H_
