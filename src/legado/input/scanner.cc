// Field readers. They follow the conversions of the C library's formatted input, except that
// only plain decimal numbers are numbers and an integer may be written as a whole decimal one.
#include "legado/input/scanner.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace tarvo {

namespace {

bool branco(char ch) {
  return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

bool digito(char ch) { return ch >= '0' && ch <= '9'; }

// An exponent is held at this bound while it is read: no text is long enough for its point to
// bring a number scaled that far back into the range of an int, and ten times it still fits.
constexpr std::int64_t LIMITE_EXPOENTE = 1'000'000'000'000'000;

const char* pular_digitos(const char* p, const char* fim) {
  while (p < fim && digito(*p)) ++p;
  return p;
}

}  // namespace

void pular_brancos(Cursor& c) {
  while (c.p < c.fim && branco(*c.p)) ++c.p;
}

bool ler_inteiro(Cursor& c, int& valor) {
  pular_brancos(c);
  const char* p = c.p;
  bool negativo = false;
  if (p < c.fim && (*p == '+' || *p == '-')) negativo = *p++ == '-';
  const char* inteira = p;
  p = pular_digitos(p, c.fim);
  if (p == inteira) return false;
  // Digits that run into a decimal point or an exponent spell one decimal number: its digits,
  // and the power of ten that scales them.
  std::string digitos(inteira, p);
  std::int64_t escala = 0;
  if (p < c.fim && *p == '.') {
    const char* fracao = p + 1;
    p = pular_digitos(fracao, c.fim);
    digitos.append(fracao, p);
    escala = -(p - fracao);
  }
  if (p < c.fim && (*p == 'e' || *p == 'E')) {
    const char* x = p + 1;
    bool expoente_negativo = false;
    if (x < c.fim && (*x == '+' || *x == '-')) expoente_negativo = *x++ == '-';
    const char* fx = pular_digitos(x, c.fim);
    if (fx > x) {
      std::int64_t expoente = 0;
      for (; x < fx; ++x) expoente = std::min(expoente * 10 + (*x - '0'), LIMITE_EXPOENTE);
      escala += expoente_negativo ? -expoente : expoente;
      p = fx;
    }
  }
  // Wholeness and range are decided on the digits, never through a rounded binary value: the
  // trailing zeros go into the scale, the leading ones go, and what remains is whole when the
  // scale is not negative.
  while (!digitos.empty() && digitos.back() == '0') {
    digitos.pop_back();
    ++escala;
  }
  digitos.erase(0, digitos.find_first_not_of('0'));
  std::int64_t v = 0;
  if (!digitos.empty()) {
    if (escala < 0) return false;
    if (static_cast<std::int64_t>(digitos.size()) + escala > 10) return false;
    for (char d : digitos) v = v * 10 + (d - '0');
    for (; escala > 0; --escala) v *= 10;
  }
  if (v > (negativo ? 2147483648LL : 2147483647LL)) return false;
  valor = static_cast<int>(negativo ? -v : v);
  c.p = p;
  return true;
}

bool ler_real(Cursor& c, float& valor) {
  pular_brancos(c);
  const char* ini = c.p;
  const char* p = ini;
  if (p < c.fim && (*p == '+' || *p == '-')) ++p;
  const char* d = p;
  p = pular_digitos(p, c.fim);
  bool algum = p > d;
  if (p < c.fim && *p == '.') {
    const char* f = p + 1;
    p = pular_digitos(f, c.fim);
    algum = algum || p > f;
  }
  if (!algum) return false;
  if (p < c.fim && (*p == 'e' || *p == 'E')) {
    const char* x = p + 1;
    if (x < c.fim && (*x == '+' || *x == '-')) ++x;
    const char* fx = pular_digitos(x, c.fim);
    if (fx > x) p = fx;
  }
  // strtof needs a terminated copy; it rounds correctly, gives an infinity of the sign beyond
  // the range and zero or a subnormal below it.
  std::string texto(ini, p);
  valor = std::strtof(texto.c_str(), nullptr);
  c.p = p;
  return true;
}

bool ler_nome(Cursor& c, std::string& valor) {
  pular_brancos(c);
  const char* p = c.p;
  while (p < c.fim && !branco(*p)) ++p;
  if (p == c.p) return false;
  valor.assign(c.p, p);
  c.p = p;
  return true;
}

}  // namespace tarvo
