// The experiment's result as text, JSON or CSV, and slices read back and merged.
#ifndef TARVO_EXPERIMENTO_SAIDA_H_
#define TARVO_EXPERIMENTO_SAIDA_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "experimento/estatistica.h"
#include "experimento/experimento.h"

namespace tarvo {

enum class Formato { texto, json, csv };

// The whole output in the format. Text ends with the warnings of avisos().
std::string escrever(const Resultado& r, Formato formato);

// One point of a sweep: the parameters' values there, and the experiment run with them.
struct Ponto {
  std::vector<std::pair<std::string, double>> parametros;
  Resultado resultado;
};

// A point in words: "S1.a=0.9, N=5".
std::string nome_do_ponto(const Ponto& x);

// A sweep, whole: one table of every figure against the parameters.
std::string escrever_varredura(const std::vector<Ponto>& pontos, Formato formato);

// Two models' results on the same replications and their paired comparison.
std::string escrever_comparacao(const Resultado& a, const Resultado& b, Formato formato);

// The theory of figure f, where the experiment asked for it and theory gives one.
const Teorico* teorico(const Resultado& r, std::size_t f);

// Whether the theory's value lies within the figure's interval; none without either.
std::optional<bool> dentro(const Teorico& t, const Resumo& m);

// (mean - theory) / theory as "+1.23%"; none for an unstable station, a mean without value or a
// theory of 0.
std::optional<std::string> diferenca_relativa(const Teorico& t, const Resumo& m);

// s with its control characters but tabs and line ends written as \xHH: a legacy name may hold
// any byte but blanks, and a terminal would obey them.
std::string visivel(const std::string& s);

// What the user must be told about the replications: unstable stations, lost durations, streams
// that ran into the next one. One line each, empty when all is well.
std::string avisos(const Resultado& r);
// The same in two parts: what the model is (unstable stations), and what happened in the run.
std::string avisos_de_instabilidade(const Resultado& r);
std::string avisos_de_instabilidade(const std::vector<Instavel>& instaveis,
                                    const std::string& onde);
std::string avisos_da_execucao(const Resultado& r);

// A slice or a whole result written as JSON, read back; arquivo names it in messages. Throws a
// Falha when the text is not such a result: a field missing, of another type, outside the range
// tarvo-rep takes, or, when semente is given, a replication's seed that is not semente(pedido,
// its index).
Resultado ler_json(
    const std::string& texto, const std::string& arquivo,
    const std::function<std::uint64_t(const Pedido&, std::int64_t)>& semente = nullptr);

// The slices, in any order, merged into the result of one run of all their replications. Throws
// a Falha when they are not slices of one experiment, overlap or leave a gap.
Resultado juntar(std::vector<Resultado> fatias, const std::vector<std::string>& arquivos);

}  // namespace tarvo

#endif  // TARVO_EXPERIMENTO_SAIDA_H_
