// Decimal text of the traces' numbers, byte for byte what printf writes, without its cost.
#ifndef TARVO_LEGADO_ENGINE_DECIMAL_H_
#define TARVO_LEGADO_ENGINE_DECIMAL_H_

#include "legado/model/network.h"

namespace tarvo {

// The most characters one call below writes, for any value and any largura up to 40.
constexpr int MAX_DECIMAL = 64;

// Writes what printf("%<largura>.<casas>f", static_cast<double>(v)) writes (casas from 0 to 9)
// at p, which has room for MAX_DECIMAL characters, and returns the end; no terminating NUL.
char* escrever_fixo(char* p, Tempo v, int casas, int largura = 0);

// Writes what printf("%<largura>lld", v) writes at p and returns the end; no terminating NUL.
char* escrever_inteiro(char* p, long long v, int largura = 0);

}  // namespace tarvo

#endif  // TARVO_LEGADO_ENGINE_DECIMAL_H_
