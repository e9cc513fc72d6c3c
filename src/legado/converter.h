// A legacy model written in the extended language.
#ifndef TARVO_LEGADO_CONVERTER_H_
#define TARVO_LEGADO_CONVERTER_H_

#include <string>

namespace tarvo {

// The .toml text of the legacy model at caminho: each queue with the server that takes from it
// becomes a station named after the queue, the sink becomes the network's exit, names are kept.
// Throws a Falha with the loader's message for a model tarvo refuses, and with a message of its
// own for what the extended language cannot express.
std::string converter_legado(const std::string& caminho);

}  // namespace tarvo

#endif  // TARVO_LEGADO_CONVERTER_H_
