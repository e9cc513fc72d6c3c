// What-if runs: a model's parameters named by path, the values of a sweep, and the model with
// those values put in, checked before anything runs.
#ifndef TARVO_APP_VARREDURA_H_
#define TARVO_APP_VARREDURA_H_

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "experimento/modelo.h"
#include "geral/rede.h"

namespace tarvo {

// A model file as read once: its text, and for the extended language its network.
struct Base {
  std::string caminho;
  std::string texto;
  std::optional<geral::Rede> rede;  // only for the extended language
  Ajustes ajustes;                  // for every model made from it
};

// Refuses a model that is a device, a pipe or a socket: tarvo-rep reads a model file more than
// once, and a run is repeated from its file. Anything else goes on to the loader.
void exigir_arquivo_regular(const std::string& caminho);

// Reads the model at caminho (.toml: the extended language) as tarvo-rep does, with the
// loader's messages; warnings go to standard error, or into avisos when given (those found
// before a Falha too).
Base abrir(const std::string& caminho, std::vector<std::string>* avisos = nullptr);

// The model of the base, unchanged.
std::unique_ptr<Modelo> modelo_da_base(const Base& base);

// The edit distance between two names, for the "did you mean" of a name not found.
std::size_t distancia(const std::string& a, const std::string& b);

// One --sweep: a parameter and its values, FROM, FROM + STEP, ... up to TO.
struct Eixo {
  std::string nome;
  std::vector<double> valores;
};

// Reads NOME=DE:ATE:PASSO for the model of base: the path must name one of its parameters, an
// integer parameter takes integer values only. Throws a Falha with the reason.
Eixo ler_eixo(const Base& base, const std::string& texto);

// The axis of the named parameter of base's model with the values given: the path must name one
// of its parameters, each value be finite and an integer parameter's integer, and at most 1000
// of them. Throws a Falha with the reason.
Eixo eixo(const Base& base, const std::string& nome, const std::vector<double>& valores);

// Every combination of the axes' values, the first axis varying slowest; refused above maximo.
std::vector<std::vector<double>> grade(const std::vector<Eixo>& eixos, std::size_t maximo);

// The model of base with each named parameter set to its value, checked as its loader checks
// a file. Throws a Falha naming the point.
std::unique_ptr<Modelo> modelo_no_ponto(const Base& base,
                                        const std::vector<std::pair<std::string, double>>& ponto);

}  // namespace tarvo

#endif  // TARVO_APP_VARREDURA_H_
