// What tarvo-rep points out in a model that its loader accepts, or refuses in a request that the
// model makes pointless.
#ifndef TARVO_LEGADO_SUSPEITAS_H_
#define TARVO_LEGADO_SUSPEITAS_H_

#include <string>
#include <string_view>
#include <vector>

#include "experimento/modelo.h"

namespace tarvo {

// The warnings for a legacy model's text, one line each (no line end), in the order of the lines
// they name, which are numbered as the loader numbers them: a line read as a comment that would
// have been a declaration at column 1 in the right case (indented, a lowercase key, or behind a
// UTF-8 byte-order mark); and, when the loader accepts the text, a negative mean, a uniform whose
// bounds are swapped, a queue other than the sink with no server, a server no queue starts.
// caminho names the file in the messages.
std::vector<std::string> suspeitas(std::string_view texto, const std::string& caminho);

// Prints the warnings of the legacy model file at caminho on standard error; nothing when the
// file cannot be read, which its loader then reports.
void avisar_suspeitas(const std::string& caminho);

// Refuses, as a Falha, a warm-up at or past the time limit of the model read from caminho: its
// statistics would never restart.
void conferir_aquecimento(double aquecimento, const Modelo& m, const std::string& caminho);

}  // namespace tarvo

#endif  // TARVO_LEGADO_SUSPEITAS_H_
