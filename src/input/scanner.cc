// Field readers. They follow the conversions of the C library's formatted input, except that
// only plain decimal numbers are numbers.
#include "input/scanner.h"

#include <cstdint>
#include <cstdlib>

namespace tarvo {

namespace {

bool branco(char ch) {
  return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

bool digito(char ch) { return ch >= '0' && ch <= '9'; }

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
  if (p == c.fim || !digito(*p)) return false;
  const std::int64_t limite = negativo ? 2147483648LL : 2147483647LL;
  std::int64_t v = 0;
  for (; p < c.fim && digito(*p); ++p) {
    v = v * 10 + (*p - '0');
    if (v > limite) return false;
  }
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
