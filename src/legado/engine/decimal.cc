// The conversions work on the exact binary value of the float: v = m * 2^e with m below 2^24,
// so v * 10^casas splits into an integer part and a remainder that fit in 64 bits, and the
// last digit is rounded from the exact remainder, half to even, as glibc's printf does. Values
// whose integer part needs more bits, infinities and NaNs are rare; snprintf writes those.
#include "legado/engine/decimal.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace tarvo {

namespace {

constexpr std::uint64_t POTENCIA_10[] = {1,      10,      100,      1000,      10000,
                                         100000, 1000000, 10000000, 100000000, 1000000000};

// The decimal digits of v, written backwards so that they end just before fim; returns where
// they begin.
char* digitos(char* fim, std::uint64_t v) {
  do {
    *--fim = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  return fim;
}

// Copies [ini, fim) to p after enough blanks to fill largura, and returns the end.
char* alinhar(char* p, const char* ini, const char* fim, int largura) {
  const int n = static_cast<int>(fim - ini);
  for (int i = n; i < largura; ++i) *p++ = ' ';
  std::memcpy(p, ini, static_cast<std::size_t>(n));
  return p + n;
}

}  // namespace

char* escrever_fixo(char* p, Tempo v, int casas, int largura) {
  std::uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  const bool negativo = (bits >> 31) != 0;
  const int expoente = static_cast<int>((bits >> 23) & 0xFF);
  std::uint64_t m = bits & 0x7FFFFF;
  if (expoente == 0xFF || expoente >= 127 + 40) {
    const int n = std::snprintf(p, MAX_DECIMAL, "%*.*f", largura, casas, static_cast<double>(v));
    return p + n;
  }
  int e;  // v = m * 2^e
  if (expoente == 0) {
    e = -149;
  } else {
    m |= 0x800000;
    e = expoente - 150;
  }
  const std::uint64_t escala = POTENCIA_10[casas];
  std::uint64_t inteiro = 0, fracao = 0;
  if (e >= 0) {
    inteiro = m << e;
  } else {
    const int k = -e;
    if (k < 32) inteiro = m >> k;
    const std::uint64_t resto = k < 32 ? m & ((std::uint64_t{1} << k) - 1) : m;
    // resto * escala is below 2^54, so from k = 55 on it is below half a unit of the last digit.
    if (k <= 55) {
      const std::uint64_t produto = resto * escala;
      fracao = produto >> k;
      const std::uint64_t sobra = produto & ((std::uint64_t{1} << k) - 1);
      const std::uint64_t meio = std::uint64_t{1} << (k - 1);
      const std::uint64_t ultimo = casas == 0 ? inteiro : fracao;
      if (sobra > meio || (sobra == meio && (ultimo & 1) != 0)) {
        if (casas == 0) {
          ++inteiro;
        } else if (++fracao == escala) {
          fracao = 0;
          ++inteiro;
        }
      }
    }
  }
  char texto[40];
  char* fim = texto + sizeof texto;
  char* ini = fim;
  if (casas > 0) {
    for (int i = 0; i < casas; ++i) {
      *--ini = static_cast<char>('0' + fracao % 10);
      fracao /= 10;
    }
    *--ini = '.';
  }
  ini = digitos(ini, inteiro);
  if (negativo) *--ini = '-';
  return alinhar(p, ini, fim, largura);
}

char* escrever_inteiro(char* p, long long v, int largura) {
  char texto[24];
  char* fim = texto + sizeof texto;
  const std::uint64_t modulo =
      v < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
  char* ini = digitos(fim, modulo);
  if (v < 0) *--ini = '-';
  return alinhar(p, ini, fim, largura);
}

}  // namespace tarvo
