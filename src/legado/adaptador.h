// Legacy models as the replication driver sees them.
#ifndef TARVO_LEGADO_ADAPTADOR_H_
#define TARVO_LEGADO_ADAPTADOR_H_

#include <memory>
#include <string>

#include "experimento/modelo.h"

namespace tarvo {

// Reads and checks the model file at caminho as tarvo does, throwing the loader's Falha.
std::unique_ptr<Modelo> carregar_legado(const std::string& caminho, const Ajustes& ajustes = {});

// The model of a legacy text, read by the loader as tarvo reads a file; caminho is the file it
// came from, whose structure the theory takes.
std::unique_ptr<Modelo> modelo_legado(std::string texto, const std::string& caminho,
                                      const Ajustes& ajustes = {});

// The state that replication i of the plan starts from: the seed advanced by i times the
// numbers each replication may draw.
std::uint32_t semente_legado(const Plano& plano, std::int64_t i);

}  // namespace tarvo

#endif  // TARVO_LEGADO_ADAPTADOR_H_
