// Seeding and the rare paths of the generator.
#include "engine/random.h"

#include <ctime>

namespace tarvo {

void semear(Gerador& g, std::optional<std::uint32_t> semente) {
  // The clock seed changes only every two seconds.
  g.estado = semente ? *semente : static_cast<std::uint32_t>(std::time(nullptr)) >> 1;
}

void tipo_invalido(std::FILE* out) {
  std::fprintf(out, "\n \n %s %s %s", "Erro grave de edicao TIPO ", "do elemento XXXXX ",
               "definido incorreto");
}

}  // namespace tarvo
