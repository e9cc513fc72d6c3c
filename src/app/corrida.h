// What tarvo-rep and the Python module share between a model's path and the driver: the file
// read, the model loaded in its language, and the request made for it.
#ifndef TARVO_APP_CORRIDA_H_
#define TARVO_APP_CORRIDA_H_

#include <memory>
#include <optional>
#include <string>

#include "experimento/experimento.h"
#include "experimento/modelo.h"
#include "experimento/pagina.h"

namespace tarvo {

// A file, whole; a Falha naming it when it cannot be read.
std::string ler(const std::string& caminho);

// Whether the path names a model of the extended language.
bool termina_em_toml(const std::string& caminho);

// The model at caminho, in the language its name says: .toml for the extended one. Warnings go
// to standard error.
std::unique_ptr<Modelo> carregar(const std::string& caminho, const Ajustes& ajustes = {});

// The request for model m, whose file is caminho, from what every model of a run shares (the
// seed plan, the replications, the precision and its targets, the confidence, the theory): its
// fingerprint, the numbers a replication may draw, and the warm-up asked for, checked against
// the model's time limit, or else the model's own. Throws a Falha for a warm-up past the time
// limit or a target that names no figure, before anything runs.
Pedido pedido_do_modelo(const Pedido& comum, const std::string& caminho, const Modelo& m,
                        const std::optional<double>& aquecimento);

// What a page says of the models besides their results: the program that wrote it and each
// model in words.
Contexto contexto(const std::string& programa, const Modelo* a, const Modelo* b = nullptr);

}  // namespace tarvo

#endif  // TARVO_APP_CORRIDA_H_
