// Reading the fields of one model-file line: integers, 32-bit decimal numbers and names.
#ifndef TARVO_LEGADO_INPUT_SCANNER_H_
#define TARVO_LEGADO_INPUT_SCANNER_H_

#include <string>
#include <string_view>

namespace tarvo {

// A position in the text of one line. Each reader skips leading white space, takes its field
// and advances; on a mismatch it returns false and the position is of no further use.
struct Cursor {
  const char* p;
  const char* fim;

  explicit Cursor(std::string_view texto) : p(texto.data()), fim(texto.data() + texto.size()) {}
};

void pular_brancos(Cursor& c);

// An optionally signed decimal integer. Digits that run straight into a decimal point, or into an
// exponent ('e' or 'E', an optional sign, digits), spell one decimal number, which gives the
// integer when its exact value is whole (1e6, 100., 2.50e1). A value that is not whole or does
// not fit 32 bits does not match. An exponent letter without digits is left behind.
bool ler_inteiro(Cursor& c, int& valor);

// An optional sign, digits with an optional decimal point (at least one digit), and an exponent
// when 'e' or 'E' is followed by digits, optionally signed. No inf, nan or hexadecimal forms.
// The value is the 32-bit float nearest to the text; beyond the range it is an infinity.
bool ler_real(Cursor& c, float& valor);

// A run of non-blank characters.
bool ler_nome(Cursor& c, std::string& valor);

}  // namespace tarvo

#endif  // TARVO_LEGADO_INPUT_SCANNER_H_
