// Field readers: integers from a table worked out on the decimal digits, reals against strtof on
// the accepted prefix.
#include "legado/input/scanner.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace tarvo {
namespace {

// The table of integer fields, read from TARVO_INTEIROS: the text between double quotes, the
// value and the characters taken, or "-" for no match.
TEST(Scanner, IntegersAreWholeDecimalsThatFit32Bits) {
  std::ifstream tabela(TARVO_INTEIROS);
  ASSERT_TRUE(tabela) << TARVO_INTEIROS;
  int casos = 0;
  for (std::string linha; std::getline(tabela, linha);) {
    if (linha.empty() || linha[0] == '#') continue;
    const std::size_t fim = linha.rfind('"');
    ASSERT_TRUE(linha[0] == '"' && fim > 0) << linha;
    std::string texto;
    for (std::size_t i = 1; i < fim; ++i) {
      if (linha[i] == '\\' && i + 1 < fim) {
        ++i;
        texto += linha[i] == 't' ? '\t' : linha[i] == 'n' ? '\n' : linha[i];
      } else {
        texto += linha[i];
      }
    }
    std::istringstream resto(linha.substr(fim + 1));
    std::string valor, lidos;
    ASSERT_TRUE(resto >> valor >> lidos) << linha;
    Cursor cur(texto);
    int v = -99;
    const bool casou = ler_inteiro(cur, v);
    if (valor == "-") {
      EXPECT_TRUE(!casou && v == -99) << linha;  // nothing stored
    } else {
      EXPECT_TRUE(casou) << linha;
      EXPECT_EQ(v, std::stoi(valor)) << linha;
      EXPECT_EQ(cur.p - texto.data(), std::stoi(lidos)) << linha;
    }
    ++casos;
  }
  EXPECT_GT(casos, 40);
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
