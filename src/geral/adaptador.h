// Models of the extended language as the replication driver sees them.
#ifndef TARVO_GERAL_ADAPTADOR_H_
#define TARVO_GERAL_ADAPTADOR_H_

#include <memory>
#include <string>

#include "experimento/modelo.h"
#include "geral/rede.h"

namespace tarvo {

// A model from its network and the text of its file, which the fingerprint is taken from.
// Throws a Falha for a network the engine cannot run.
std::unique_ptr<Modelo> modelo_geral(const geral::Rede& rede, const std::string& texto,
                                     const Ajustes& ajustes = {});

}  // namespace tarvo

#endif  // TARVO_GERAL_ADAPTADOR_H_
