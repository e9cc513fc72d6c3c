// Reading a model file into the network tables.
#ifndef TARVO_LEGADO_INPUT_LOADER_H_
#define TARVO_LEGADO_INPUT_LOADER_H_

#include <cstdio>
#include <string_view>

#include "legado/engine/simulation.h"

namespace tarvo {

// Error codes of erro_dados: 0 to 6 are the classic ones; the rest guard the tables.
enum CodigoErro {
  ERRO_SEM_OBJETO = 0,      // a link line before any declaration
  ERRO_PARAMETROS = 1,      // fields missing or malformed, or a bad distribution type
  ERRO_INCOMPATIVEL = 2,    // an input link on a source
  ERRO_FORA_DA_TABELA = 7,  // an object number outside 0..29
  ERRO_OBJETOS_DEMAIS = 8,  // a 30th declaration of one kind
  ERRO_NAO_DECLARADO = 9,   // a link to an object the file never declares
};

// Throws the two-line input error for line `linha` as a Falha with status 1.
[[noreturn]] void erro_dados(long long linha, int codigo);

// Reads the model file at caminho into sim.rede; throws a Falha on any error.
void ler_modelo(Simulacao& sim, const char* caminho);

// The same, from a stream that is already open.
void ler_modelo(Simulacao& sim, std::FILE* arquivo);

// The same, from the bytes of a model file held in memory.
void ler_modelo_texto(Simulacao& sim, std::string_view texto);

// One piece of a line as the loader reads it: at most 79 characters up to and including the
// line end; a CR just before an LF is dropped. Returns the length, 0 at the end of the file
// or when the read fails.
int ler_pedaco(std::FILE* arquivo, char (&buf)[80]);

}  // namespace tarvo

#endif  // TARVO_LEGADO_INPUT_LOADER_H_
