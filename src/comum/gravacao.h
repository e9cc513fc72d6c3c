// Reading a whole file, and writing one so that it is replaced only by a complete one.
#ifndef TARVO_COMUM_GRAVACAO_H_
#define TARVO_COMUM_GRAVACAO_H_

#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tarvo {

// Writes through a temporary file beside destino, created exclusively with the permissions of
// the file it replaces, and renames it over destino once complete. A symbolic link is written
// through, its file created when it is not there yet; a device or a pipe is written straight.
// Returns 0, or the errno of the step that failed, the temporary file then removed.
int gravar_substituindo(const std::string& destino,
                        const std::function<void(std::FILE*)>& escrever);

// Each (path, text) written as gravar_substituindo does, all or none: the temporary files are all
// complete before anything goes straight into a device or a pipe, and that before any rename.
// When one step fails every temporary file is removed and, but for a rename failing after
// others, no file is replaced. Returns 0, or the errno of the failure and in falhou its path.
int gravar_todos(const std::vector<std::pair<std::string, std::string>>& arquivos,
                 std::string& falhou);

// The path a write to caminho lands in, its symbolic links followed (see gravar_substituindo).
std::string destino_real(const std::string& caminho);

// 0 when a file can be written at caminho now, or the errno of what stands in the way: a
// directory by that name, a directory missing or not a directory, no permission to write in it,
// symbolic links in a loop. Nothing is created.
int conferir_destino(const std::string& caminho);

// Reads the whole file at caminho into texto. Returns 0, or the errno of the open or the read
// that failed.
int ler_inteiro(const std::string& caminho, std::string& texto);

// Why a file operation failed, in words for a message.
const char* motivo_erro(int erro);

}  // namespace tarvo

#endif  // TARVO_COMUM_GRAVACAO_H_
