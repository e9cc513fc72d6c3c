// Variates from uniforms, with the logarithm and exponential written out so that the numbers do
// not depend on the platform's libm (which may differ in the last bit between versions).
#include "geral/variaveis.h"

#include <bit>
#include <cmath>
#include <limits>

#include "model/failure.h"

namespace tarvo::geral {

namespace {

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }
double de_bits(std::uint64_t b) { return std::bit_cast<double>(b); }

// ln 2 split so that k * ln2_alto is exact for every exponent k.
constexpr double ln2_alto = 6.93147180369123816490e-01;   // 0x3fe62e42fee00000
constexpr double ln2_baixo = 1.90821492927058770002e-10;  // 0x3dea39ef35793c76

// SplitMix64's finaliser: nearby inputs to unrelated outputs.
std::uint64_t misturar(std::uint64_t z) {
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
  return z ^ (z >> 31);
}

double normal(Gerador& g) {
  // Marsaglia's polar method; the second of each pair is kept for the next call.
  if (g.tem_normal) {
    g.tem_normal = false;
    return g.normal;
  }
  double v1, v2, s;
  do {
    v1 = 2 * uniforme(g) - 1;
    v2 = 2 * uniforme(g) - 1;
    s = v1 * v1 + v2 * v2;
  } while (s >= 1 || s == 0);
  const double f = std::sqrt(-2 * ln(s) / s);
  g.normal = v2 * f;
  g.tem_normal = true;
  return v1 * f;
}

// Marsaglia and Tsang's gamma of shape at least 1 and scale 1, with d = shape - 1/3 and
// c = 1 / sqrt(9 d).
double gama_padrao(double d, double c, Gerador& g) {
  for (;;) {
    double x, v;
    do {
      x = normal(g);
      v = 1 + c * x;
    } while (v <= 0);
    v = v * v * v;
    const double u = uniforme(g);
    const double x2 = x * x;
    if (u < 1 - 0.0331 * x2 * x2) return d * v;
    if (ln(u) < 0.5 * x2 + d * (1 - v + ln(v))) return d * v;
  }
}

// An index in [0, n) with every one equally likely (Lemire's multiply and reject).
std::uint32_t indice(std::uint32_t n, Gerador& g) {
  std::uint64_t m = std::uint64_t{g.pcg()} * n;
  if (static_cast<std::uint32_t>(m) < n) {
    const std::uint32_t limiar = static_cast<std::uint32_t>(-n) % n;
    while (static_cast<std::uint32_t>(m) < limiar) m = std::uint64_t{g.pcg()} * n;
  }
  return static_cast<std::uint32_t>(m >> 32);
}

}  // namespace

double ln(double x) {
  // Reduce x to 2^k (1 + f) with 1 + f in [sqrt(2)/2, sqrt(2)); then ln(1 + f) = 2 atanh(s) with
  // s = f / (2 + f), a minimax series in s^2 (the coefficients of fdlibm's e_log.c).
  constexpr double Lg1 = 6.666666666666735130e-01, Lg2 = 3.999999999940941908e-01,
                   Lg3 = 2.857142874366239149e-01, Lg4 = 2.222219843214978396e-01,
                   Lg5 = 1.818357216161805012e-01, Lg6 = 1.531383769920937332e-01,
                   Lg7 = 1.479819860511658591e-01;
  std::uint64_t b = bits(x);
  std::int32_t hx = static_cast<std::int32_t>(b >> 32);
  int k = 0;
  if (hx < 0x00100000) {  // below 2^-1022: zero, negative or subnormal
    if ((b & 0x7fffffffffffffffu) == 0) return -std::numeric_limits<double>::infinity();
    if (hx < 0) return std::numeric_limits<double>::quiet_NaN();
    k -= 54;
    x *= 0x1p54;
    b = bits(x);
    hx = static_cast<std::int32_t>(b >> 32);
  }
  if (hx >= 0x7ff00000) return x + x;  // infinity or NaN
  k += (hx >> 20) - 1023;
  hx &= 0x000fffff;
  const std::int32_t i = (hx + 0x95f64) & 0x100000;  // the mantissa at or past sqrt(2)
  x = de_bits(
      (static_cast<std::uint64_t>(static_cast<std::uint32_t>(hx | (i ^ 0x3ff00000))) << 32) |
      (b & 0xffffffffu));
  k += i >> 20;
  const double f = x - 1.0;
  const double dk = k;
  if ((0x000fffff & (2 + hx)) < 3) {  // |f| < 2^-20
    if (f == 0) return k == 0 ? 0.0 : dk * ln2_alto + dk * ln2_baixo;
    const double R = f * f * (0.5 - 0.33333333333333333 * f);
    return k == 0 ? f - R : dk * ln2_alto - ((R - dk * ln2_baixo) - f);
  }
  const double s = f / (2.0 + f);
  const double z = s * s;
  const double w = z * z;
  const double t1 = w * (Lg2 + w * (Lg4 + w * Lg6));
  const double t2 = z * (Lg1 + w * (Lg3 + w * (Lg5 + w * Lg7)));
  const double R = t2 + t1;
  if (((hx - 0x6147a) | (0x6b851 - hx)) > 0) {  // 1 + f far enough from 1: use f^2 / 2
    const double hfsq = 0.5 * f * f;
    return k == 0 ? f - (hfsq - s * (hfsq + R))
                  : dk * ln2_alto - ((hfsq - (s * (hfsq + R) + dk * ln2_baixo)) - f);
  }
  return k == 0 ? f - s * (f - R) : dk * ln2_alto - ((s * (f - R) - dk * ln2_baixo) - f);
}

double expo(double x) {
  // x = k ln 2 + r with |r| <= ln 2 / 2; exp(r) by a rational form of a minimax series in r^2
  // (the coefficients of fdlibm's e_exp.c); then the exponent raised by k.
  constexpr double P1 = 1.66666666666666019037e-01, P2 = -2.77777777770155933842e-03,
                   P3 = 6.61375632143793436117e-05, P4 = -1.65339022054652515390e-06,
                   P5 = 4.13813679705723846039e-08;
  constexpr double inv_ln2 = 1.44269504088896338700e+00;
  if (x != x) return x;
  if (x > 7.09782712893383973096e+02) return std::numeric_limits<double>::infinity();
  if (x < -7.45133219101941108420e+02) return 0;
  const std::uint32_t ax = static_cast<std::uint32_t>(bits(x) >> 32) & 0x7fffffffu;
  double hi = 0, lo = 0;
  int k = 0;
  if (ax > 0x3fd62e42) {    // |x| > ln 2 / 2
    if (ax < 0x3ff0a2b2) {  // and |x| < 3 ln 2 / 2
      hi = x < 0 ? x + ln2_alto : x - ln2_alto;
      lo = x < 0 ? -ln2_baixo : ln2_baixo;
      k = x < 0 ? -1 : 1;
    } else {
      k = static_cast<int>(inv_ln2 * x + (x < 0 ? -0.5 : 0.5));
      const double t = k;
      hi = x - t * ln2_alto;  // exact
      lo = t * ln2_baixo;
    }
    x = hi - lo;
  } else if (ax < 0x3e300000) {  // |x| < 2^-28
    return 1 + x;
  }
  const double t = x * x;
  const double c = x - t * (P1 + t * (P2 + t * (P3 + t * (P4 + t * P5))));
  if (k == 0) return 1 - ((x * c) / (c - 2.0) - x);
  const double y = 1 - ((lo - (x * c) / (2.0 - c)) - hi);
  if (k >= -1021) return de_bits(bits(y) + (static_cast<std::uint64_t>(k) << 52));
  return de_bits(bits(y) + (static_cast<std::uint64_t>(k + 1000) << 52)) * 0x1p-1000;
}

double funcao_gama(double x) {
  // Lanczos with g = 7 and nine terms, as in Numerical Recipes' third edition tables.
  constexpr double p[] = {0.99999999999980993,  676.5203681218851,     -1259.1392167224028,
                          771.32342877765313,   -176.61502916214059,   12.507343278686905,
                          -0.13857109526572012, 9.9843695780195716e-6, 1.5056327351493116e-7};
  const double z = x - 1;
  double s = p[0];
  for (int i = 1; i < 9; ++i) s += p[i] / (z + i);
  const double t = z + 7.5;
  constexpr double raiz_2pi = 2.5066282746310005024;
  return raiz_2pi * expo((z + 0.5) * ln(t) - t) * s;
}

std::uint64_t chave_replicacao(std::uint32_t semente, std::uint64_t replicacao) {
  return misturar(misturar(semente) + replicacao);
}

Gerador gerador(std::uint32_t semente, std::uint64_t replicacao, Proposito proposito,
                std::uint32_t posicao) {
  const std::uint64_t objeto = (static_cast<std::uint64_t>(proposito) << 32) | posicao;
  const std::uint64_t k = misturar(chave_replicacao(semente, replicacao) + misturar(objeto));
  Gerador g;
  g.pcg = pcg32(k, misturar(k + 0x9e3779b97f4a7c15u) >> 1);
  return g;
}

Variavel preparar(const Distribuicao& dist) {
  auto exigir = [](bool ok) {
    if (!ok) falha(1, "Distribuicao com parametros invalidos\n");
  };
  Variavel v;
  v.tipo = dist.tipo;
  switch (dist.tipo) {
    case Dist::exponencial:
      exigir(dist.media >= 0);
      v.a = dist.media;
      break;
    case Dist::uniforme:
      exigir(dist.min >= 0 && dist.min <= dist.max);
      v.a = dist.min;
      v.b = dist.max - dist.min;
      break;
    case Dist::deterministica:
      exigir(dist.valor >= 0);
      v.a = dist.valor;
      break;
    case Dist::erlang:
      exigir(dist.k >= 1 && dist.media >= 0);
      v.k = dist.k;
      v.a = dist.media / dist.k;
      break;
    case Dist::gama: {
      exigir(dist.forma > 0 && dist.media >= 0);
      const double forma = dist.forma < 1 ? dist.forma + 1 : dist.forma;
      v.a = dist.media / dist.forma;  // scale
      v.b = forma - 1.0 / 3;          // d
      v.c = 1 / std::sqrt(9 * v.b);   // c
      v.d = dist.forma < 1 ? 1 / dist.forma : 0;
      break;
    }
    case Dist::lognormal: {
      exigir(dist.media > 0 && dist.desvio >= 0);
      const double cv = dist.desvio / dist.media;
      const double s2 = ln(1 + cv * cv);
      v.a = ln(dist.media) - s2 / 2;  // mu
      v.b = std::sqrt(s2);            // sigma
      break;
    }
    case Dist::weibull:
      exigir(dist.forma > 0 && dist.media >= 0);
      v.a = dist.media / funcao_gama(1 + 1 / dist.forma);  // scale
      v.b = 1 / dist.forma;
      break;
    case Dist::triangular:
      exigir(dist.min >= 0 && dist.min <= dist.moda && dist.moda <= dist.max);
      v.a = dist.min;
      v.b = dist.max;
      v.c = dist.max > dist.min ? (dist.moda - dist.min) / (dist.max - dist.min) : 0;
      v.d = dist.moda;
      break;
    case Dist::hiperexponencial: {
      exigir(dist.media >= 0 && dist.cv >= 1);
      const double c2 = dist.cv * dist.cv;
      const double p = (1 + std::sqrt((c2 - 1) / (c2 + 1))) / 2;
      v.a = p;
      v.b = dist.media / (2 * p);
      v.c = dist.media / (2 * (1 - p));
      break;
    }
    case Dist::empirica:
      exigir(!dist.valores.empty() && dist.valores.size() <= 0xffffffffu);
      for (double x : dist.valores) exigir(x >= 0);
      v.valores = dist.valores;
      break;
  }
  return v;
}

double media(const Distribuicao& d) {
  switch (d.tipo) {
    case Dist::uniforme:
      return (d.min + d.max) / 2;
    case Dist::deterministica:
      return d.valor;
    case Dist::triangular:
      return (d.min + d.moda + d.max) / 3;
    case Dist::empirica: {
      double s = 0;
      for (double x : d.valores) s += x;
      return d.valores.empty() ? 0 : s / static_cast<double>(d.valores.size());
    }
    default:
      return d.media;
  }
}

bool sempre_zero(const Distribuicao& d) {
  if (d.tipo == Dist::empirica) {
    for (double x : d.valores) {
      if (x != 0) return false;
    }
    return true;
  }
  return media(d) == 0;
}

double sortear_outra(const Variavel& v, Gerador& g) {
  switch (v.tipo) {
    case Dist::exponencial:
      return -v.a * ln(uniforme(g));
    case Dist::uniforme:
      return v.a + v.b * uniforme(g);
    case Dist::deterministica:
      return v.a;
    case Dist::erlang: {
      // The product of up to 16 uniforms stays above 2^-848, so one logarithm serves 16 terms.
      double s = 0;
      for (int i = 0; i < v.k; i += 16) {
        double p = 1;
        for (int j = i; j < v.k && j < i + 16; ++j) p *= uniforme(g);
        s += ln(p);
      }
      return -v.a * s;
    }
    case Dist::gama: {
      double x = gama_padrao(v.b, v.c, g);
      if (v.d > 0) x *= expo(ln(uniforme(g)) * v.d);  // shape below 1: G(a + 1) U^(1/a)
      return v.a * x;
    }
    case Dist::lognormal:
      return expo(v.a + v.b * normal(g));
    case Dist::weibull:
      return v.a * expo(ln(-ln(uniforme(g))) * v.b);
    case Dist::triangular: {
      const double u = uniforme(g);
      if (u < v.c) return v.a + std::sqrt(u * (v.b - v.a) * (v.d - v.a));
      return v.b - std::sqrt((1 - u) * (v.b - v.a) * (v.b - v.d));
    }
    case Dist::hiperexponencial: {
      const double m = uniforme(g) < v.a ? v.b : v.c;
      return -m * ln(uniforme(g));
    }
    case Dist::empirica:
      return v.valores[indice(static_cast<std::uint32_t>(v.valores.size()), g)];
  }
  return 0;
}

}  // namespace tarvo::geral
