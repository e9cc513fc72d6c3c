// Reading a whole file, and writing one so that it is replaced only by a complete one.
#ifndef TARVO_MODEL_GRAVACAO_H_
#define TARVO_MODEL_GRAVACAO_H_

#include <cstdio>
#include <functional>
#include <string>

namespace tarvo {

// Writes through a temporary file beside destino, created exclusively, and renames it over
// destino once complete. Returns 0, or the errno of the step that failed, the temporary file
// then removed.
int gravar_substituindo(const std::string& destino,
                        const std::function<void(std::FILE*)>& escrever);

// Reads the whole file at caminho into texto. Returns 0, or the errno of the open or the read
// that failed.
int ler_inteiro(const std::string& caminho, std::string& texto);

// Why a file operation failed, in words for a message.
const char* motivo_erro(int erro);

}  // namespace tarvo

#endif  // TARVO_MODEL_GRAVACAO_H_
