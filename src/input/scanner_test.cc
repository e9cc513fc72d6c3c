// Field readers: integers worked out by hand, reals against strtof on the accepted prefix.
#include "input/scanner.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>

namespace tarvo {
namespace {

TEST(Scanner, IntegersFitSigned32BitsOrDoNotMatch) {
  // The value read, or -99 when nothing matches (nothing is stored then); characters consumed.
  // clang-format off
  const struct { const char* texto; int valor, lidos; } casos[] = {
      {"42", 42, 2}, {" \t-7 x", -7, 4}, {"+15", 15, 3}, {"007", 7, 3}, {"5.9", 5, 1},
      {"0x1F", 0, 1}, {"2147483647", INT_MAX, 10}, {"-2147483648", INT_MIN, 11},
      {"2147483648", -99, 0}, {"-2147483649", -99, 0}, {"99999999999", -99, 0}, {"-", -99, 0},
      {"+ 5", -99, 0}, {"--5", -99, 0}, {"x5", -99, 0}, {" \n", -99, 0}};
  // clang-format on
  for (const auto& c : casos) {
    Cursor cur(c.texto);
    int v = -99;
    EXPECT_EQ(ler_inteiro(cur, v), c.lidos > 0) << c.texto;
    EXPECT_EQ(v, c.valor) << c.texto;
    EXPECT_EQ(c.lidos > 0 ? cur.p - c.texto : 0, c.lidos) << c.texto;
  }
}

TEST(Scanner, RealsAreDecimalPrefixesRoundedToFloat) {
  // The text of the number, nullptr when nothing matches. Beyond the range: an infinity of its
  // sign; below it: a subnormal or zero; an exponent letter without digits is left behind.
  // clang-format off
  const struct { const char *texto, *prefixo; } casos[] = {
      {"1.5", "1.5"}, {"  -2.25e1x", "-2.25e1"}, {"0.1", "0.1"}, {".5", ".5"}, {"5.", "5."},
      {"+.5", "+.5"}, {"1.e2", "1.e2"}, {"1e", "1"}, {"1e+", "1"}, {"2E-3 ", "2E-3"},
      {"1.5e5.3", "1.5e5"}, {"0x1p3", "0"}, {"1e39", "1e39"}, {"-1e39", "-1e39"},
      {"1e-40", "1e-40"}, {"-1e-50", "-1e-50"}, {"16777217", "16777217"}, {"-.", nullptr},
      {".", nullptr}, {".e5", nullptr}, {"inf", nullptr}, {"-inf", nullptr}, {"nan", nullptr},
      {"e5", nullptr}, {"+-1", nullptr}, {"", nullptr}};
  // clang-format on
  for (const auto& c : casos) {
    Cursor cur(c.texto);
    float v = -99.0f;
    ASSERT_EQ(ler_real(cur, v), c.prefixo != nullptr) << c.texto;
    const float esperado = c.prefixo ? std::strtof(c.prefixo, nullptr) : -99.0f;
    EXPECT_EQ(std::memcmp(&v, &esperado, sizeof v), 0) << c.texto << ": " << v;
    const char* fim = c.prefixo ? std::strstr(c.texto, c.prefixo) + std::strlen(c.prefixo) : cur.p;
    EXPECT_EQ(cur.p, fim) << c.texto;
  }
}

TEST(Scanner, NamesAreRunsOfNonBlanks) {
  std::string nome = "antigo", longo(60, 'n');  // longer than the classic 39: kept whole
  Cursor vazio(" \t\r\n"), duas("  caixa-1\x1a\tfila 2"), c(longo);
  EXPECT_FALSE(ler_nome(vazio, nome));
  EXPECT_TRUE(ler_nome(duas, nome) && nome == "caixa-1\x1a");  // Ctrl-Z is ordinary
  EXPECT_TRUE(ler_nome(duas, nome) && nome == "fila");
  EXPECT_TRUE(ler_nome(c, nome) && nome == longo);
}

}  // namespace
}  // namespace tarvo
