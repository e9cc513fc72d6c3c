// Reading a network of the extended language from its .toml file, checked whole: the first
// mistake is thrown as a Falha (status 1) whose text is "ARQUIVO:LINHA:COLUNA: mensagem\n".
#ifndef TARVO_GERAL_TOML_LOADER_H_
#define TARVO_GERAL_TOML_LOADER_H_

#include <string>
#include <string_view>

#include "geral/rede.h"

namespace tarvo::geral {

// The network of the file at caminho, which its messages name as given.
Rede ler_rede(const std::string& caminho);

// The network of a file's text; nome_arquivo is the name its messages give.
Rede ler_rede_texto(std::string_view texto, const std::string& nome_arquivo);

}  // namespace tarvo::geral

#endif  // TARVO_GERAL_TOML_LOADER_H_
