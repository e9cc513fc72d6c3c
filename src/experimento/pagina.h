// The experiment as one self-contained HTML page: the model in words, the figures with their
// intervals and theory, and charts drawn as inline SVG (no script, nothing fetched).
#ifndef TARVO_EXPERIMENTO_PAGINA_H_
#define TARVO_EXPERIMENTO_PAGINA_H_

#include <string>
#include <vector>

#include "experimento/experimento.h"
#include "experimento/saida.h"

namespace tarvo {

// What the page says beside the results: the program that wrote it and each model in words.
struct Contexto {
  std::string programa;                // name and version, for the page's foot
  std::vector<std::string> descricao;  // of the model (model A in a comparison)
  std::vector<std::string> descricao_b;
};

// One experiment: a chart per kind of figure, and with Resultado::espera Welch's plot per
// station.
std::string pagina(const Resultado& r, const Contexto& c);

// A sweep: each figure against the first parameter, one line per value of the others.
std::string pagina_varredura(const std::vector<Ponto>& pontos, const Contexto& c);

// A comparison: the paired differences B - A per kind of figure.
std::string pagina_comparacao(const Resultado& a, const Resultado& b, const Contexto& c);

// A page of the house's look around a body of its own (HTML, charts of grafico.h), under titulo.
std::string pagina_avulsa(const std::string& titulo, const std::string& corpo, const Contexto& c);

}  // namespace tarvo

#endif  // TARVO_EXPERIMENTO_PAGINA_H_
