// The distributions of the extended language: their names, means and squared coefficients of
// variation, as the README gives them.
#ifndef TARVO_GERAL_DISTRIBUICAO_H_
#define TARVO_GERAL_DISTRIBUICAO_H_

#include "geral/rede.h"

namespace tarvo::geral {

// The name a model file gives the kind ("exponencial", ...).
const char* nome(Dist tipo);

double media(const Distribuicao& d);

// Variance over the squared mean; 0 for a distribution without variance, whatever its mean.
double scv(const Distribuicao& d);

}  // namespace tarvo::geral

#endif  // TARVO_GERAL_DISTRIBUICAO_H_
