// Field readers against the C library: integers by hand, reals by strtof on the accepted prefix.
#include "input/scanner.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace tarvo {
namespace {

TEST(Scanner, IntegersFitSigned32BitsOrDoNotMatch) {
  struct Caso {
    const char* texto;
    bool casa;
    int valor;
    int lidos;  // characters consumed, leading blanks included
  };
  const Caso casos[] = {
      {"42", true, 42, 2},
      {" \t-7 x", true, -7, 4},
      {"+15", true, 15, 3},
      {"007", true, 7, 3},
      {"5.9", true, 5, 1},
      {"0x1F", true, 0, 1},  // hexadecimal stops at its x
      {"2147483647", true, INT_MAX, 10},
      {"-2147483648", true, INT_MIN, 11},
      {"2147483648", false, 0, 0},
      {"-2147483649", false, 0, 0},
      {"99999999999", false, 0, 0},
      {"-", false, 0, 0},
      {"+ 5", false, 0, 0},
      {"--5", false, 0, 0},
      {"x5", false, 0, 0},
      {"   ", false, 0, 0},
      {"", false, 0, 0},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.texto);
    Cursor cur(c.texto);
    int v = -99;
    ASSERT_EQ(ler_inteiro(cur, v), c.casa);
    if (!c.casa) {
      EXPECT_EQ(v, -99);  // a field that does not match stores nothing
      continue;
    }
    EXPECT_EQ(v, c.valor);
    EXPECT_EQ(cur.p - c.texto, c.lidos);
  }
}

TEST(Scanner, RealsAreDecimalPrefixesRoundedToFloat) {
  struct Caso {
    const char* texto;
    const char* prefixo;  // the number's text; nullptr when nothing matches
  };
  const Caso casos[] = {
      {"1.5", "1.5"},        {"  -2.25e1x", "-2.25e1"},
      {"0.1", "0.1"},        {".5", ".5"},
      {"5.", "5."},          {"+.5", "+.5"},
      {"1.e2", "1.e2"},      {"1e", "1"},  // an exponent letter without digits is left behind
      {"1e+", "1"},          {"2E-3 ", "2E-3"},
      {"1.5e5.3", "1.5e5"},  {"0x1p3", "0"},
      {"1e39", "1e39"},                                 // beyond the range: an infinity of its sign
      {"-1e39", "-1e39"},                               //
      {"1e-40", "1e-40"},                               // a subnormal
      {"-1e-50", "-1e-50"},  {"16777217", "16777217"},  // halfway between two floats: to even
      {"-.", nullptr},       {".", nullptr},
      {".e5", nullptr},      {"inf", nullptr},
      {"-inf", nullptr},     {"nan", nullptr},
      {"infinity", nullptr}, {"e5", nullptr},
      {"+-1", nullptr},      {"", nullptr},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.texto);
    Cursor cur(c.texto);
    float v = -99.0f;
    ASSERT_EQ(ler_real(cur, v), c.prefixo != nullptr);
    if (c.prefixo == nullptr) {
      EXPECT_EQ(v, -99.0f);
      continue;
    }
    const float esperado = std::strtof(c.prefixo, nullptr);
    EXPECT_EQ(std::memcmp(&v, &esperado, sizeof v), 0) << v << " vs " << esperado;
    const char* fim = std::strstr(c.texto, c.prefixo) + std::strlen(c.prefixo);
    EXPECT_EQ(cur.p, fim);
  }
  // The same limits without strtof.
  float v;
  Cursor grande("-1e39");
  ASSERT_TRUE(ler_real(grande, v));
  EXPECT_TRUE(std::isinf(v) && v < 0);
  Cursor pequeno("1e-40");
  ASSERT_TRUE(ler_real(pequeno, v));
  EXPECT_EQ(std::fpclassify(v), FP_SUBNORMAL);
  Cursor meio("16777217");
  ASSERT_TRUE(ler_real(meio, v));
  EXPECT_EQ(v, 16777216.0f);
}

TEST(Scanner, NamesAreRunsOfNonBlanks) {
  std::string nome = "antigo";
  Cursor vazio(" \t\r\n");
  EXPECT_FALSE(ler_nome(vazio, nome));
  EXPECT_EQ(nome, "antigo");

  Cursor duas("  caixa-1\x1a\tfila 2");  // Ctrl-Z is an ordinary character
  ASSERT_TRUE(ler_nome(duas, nome));
  EXPECT_EQ(nome, "caixa-1\x1a");
  ASSERT_TRUE(ler_nome(duas, nome));
  EXPECT_EQ(nome, "fila");

  const std::string longo(60, 'n');  // longer than the classic 39: kept whole
  Cursor c(longo);
  ASSERT_TRUE(ler_nome(c, nome));
  EXPECT_EQ(nome, longo);
}

}  // namespace
}  // namespace tarvo
