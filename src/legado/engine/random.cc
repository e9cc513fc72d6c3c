// Seeding and the rare paths of the generator.
#include "legado/engine/random.h"

#include <ctime>

namespace tarvo {

void semear(Gerador& g, std::optional<std::uint32_t> semente) {
  // The clock seed changes only every two seconds.
  g.estado = semente ? *semente : static_cast<std::uint32_t>(std::time(nullptr)) >> 1;
  g.sorteios = 0;
}

std::uint32_t avancar(std::uint32_t estado, std::uint64_t n) {
  // n steps of x -> a x + c compose, by squaring, into one step x -> A x + C.
  std::uint32_t a = MULTIPLICADOR, c = INCREMENTO, A = 1, C = 0;
  for (; n != 0; n >>= 1) {
    if (n & 1) {
      A *= a;
      C = C * a + c;
    }
    c = (a + 1) * c;
    a *= a;
  }
  return A * estado + C;
}

void tipo_invalido(std::FILE* out) {
  std::fprintf(out, "\n \n %s %s %s", "Erro grave de edicao TIPO ", "do elemento XXXXX ",
               "definido incorreto");
}

}  // namespace tarvo
