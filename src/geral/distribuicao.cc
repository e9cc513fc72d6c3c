// Means and squared coefficients of variation of the distributions, from their parameters.
#include "geral/distribuicao.h"

#include <cmath>

namespace tarvo::geral {

namespace {

double quadrado(double x) { return x * x; }

// Variance over the squared mean, where the variance is known in closed form.
double razao(double variancia, double m) { return variancia == 0 ? 0 : variancia / quadrado(m); }

}  // namespace

const char* nome(Dist tipo) {
  switch (tipo) {
    case Dist::exponencial:
      return "exponencial";
    case Dist::uniforme:
      return "uniforme";
    case Dist::deterministica:
      return "deterministica";
    case Dist::erlang:
      return "erlang";
    case Dist::gama:
      return "gama";
    case Dist::lognormal:
      return "lognormal";
    case Dist::weibull:
      return "weibull";
    case Dist::triangular:
      return "triangular";
    case Dist::hiperexponencial:
      return "hiperexponencial";
    case Dist::empirica:
      return "empirica";
  }
  return "?";
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
      double soma = 0;
      for (double v : d.valores) soma += v;
      return d.valores.empty() ? 0 : soma / static_cast<double>(d.valores.size());
    }
    default:
      return d.media;
  }
}

double scv(const Distribuicao& d) {
  switch (d.tipo) {
    case Dist::exponencial:
      return 1;
    case Dist::uniforme:
      return razao(quadrado(d.max - d.min) / 12, media(d));
    case Dist::deterministica:
      return 0;
    case Dist::erlang:
      return 1 / static_cast<double>(d.k);
    case Dist::gama:
      return 1 / d.forma;
    case Dist::lognormal:
      return quadrado(d.desvio / d.media);
    case Dist::weibull:
      return std::tgamma(1 + 2 / d.forma) / quadrado(std::tgamma(1 + 1 / d.forma)) - 1;
    case Dist::triangular: {
      const double a = d.min, b = d.max, c = d.moda;
      return razao((a * a + b * b + c * c - a * b - a * c - b * c) / 18, media(d));
    }
    case Dist::hiperexponencial:
      return quadrado(d.cv);
    case Dist::empirica: {
      const double m = media(d);
      double soma = 0;
      for (double v : d.valores) soma += quadrado(v - m);
      return d.valores.empty() ? 0 : razao(soma / static_cast<double>(d.valores.size()), m);
    }
  }
  return 0;
}

}  // namespace tarvo::geral
