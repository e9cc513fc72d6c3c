// Building texts printf-style, and the text of a fatal error.
#include "comum/failure.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

namespace tarvo {

namespace {

__attribute__((format(printf, 1, 0))) std::string vformatar(const char* formato,
                                                            std::va_list args) {
  std::va_list copia;
  va_copy(copia, args);
  const int n = std::vsnprintf(nullptr, 0, formato, copia);
  va_end(copia);
  std::string texto(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(texto.data(), texto.size() + 1, formato, args);
  return texto;
}

}  // namespace

std::string formatar(const char* formato, ...) {
  std::va_list args;
  va_start(args, formato);
  std::string texto = vformatar(formato, args);
  va_end(args);
  return texto;
}

void falha(int status, const char* formato, ...) {
  std::va_list args;
  va_start(args, formato);
  std::string texto = vformatar(formato, args);
  va_end(args);
  throw Falha{status, std::move(texto)};
}

}  // namespace tarvo
