// Reading a network of the extended language from its .toml file, checked whole: the first
// mistake is thrown as a Falha (status 1) whose text is "ARQUIVO:LINHA:COLUNA: mensagem\n".
#ifndef TARVO_GERAL_TOML_LOADER_H_
#define TARVO_GERAL_TOML_LOADER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "geral/rede.h"

namespace tarvo::geral {

// A class's prioridade lies within +-PRIORIDADE_MAX, so that the difference of two fits an int.
constexpr std::int64_t PRIORIDADE_MAX = 1000000000;
// A closed class has at most POPULACAO_MAX customers, every one of them held from time 0.
constexpr std::int64_t POPULACAO_MAX = 100000000;
// A source's batch has at most LOTE_MAX customers, every one of them made at its arrival.
constexpr std::int64_t LOTE_MAX = 1000000;
// A run has at most JANELAS_MAX windows of figures: each keeps every figure of every object, in
// every replication, and a year by the hour (8760) still fits.
constexpr int JANELAS_MAX = 10000;

// The windows of length janela that cover a run of tempo, the last one perhaps shorter.
double janelas(double tempo, double janela);

// The network of the file at caminho, which its messages name as given.
Rede ler_rede(const std::string& caminho);

// The network of a file's text; nome_arquivo is the name its messages give.
Rede ler_rede_texto(std::string_view texto, const std::string& nome_arquivo);

// A station whose capacidade is below the customers of the closed classes that can be there
// together: a full station would lose customers that never leave.
struct Excesso {
  int estacao;
  std::int64_t populacao;    // of those classes together
  std::vector<int> classes;  // the closed classes that can be there, in file order
};

// The first such station of the network, in file order; the loader refuses one, and so does a
// sweep's point.
std::optional<Excesso> populacao_excedente(const Rede& rede);

}  // namespace tarvo::geral

#endif  // TARVO_GERAL_TOML_LOADER_H_
