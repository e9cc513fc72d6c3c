// The loader: pieces of lines, the exact error texts and line numbers, links and tables.
#include "input/loader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

namespace tarvo {
namespace {

std::string erro(int linha, int codigo) {
  const char* mensagens[] = {
      "Este parametro nao se usa com este objeto", "Numero de parametros invalido",
      "Ligacao entre objetos incompativeis",       "Numero de objeto fora da faixa de 0 a 29",
      "Mais de 29 objetos do mesmo tipo",          "Ligacao com objeto nao declarado"};
  const int i = codigo < ERRO_FORA_DA_TABELA ? codigo : codigo - ERRO_FORA_DA_TABELA + 3;
  return "Arquivo de dados : erro linha  - " + std::to_string(linha) + " - \n \t" + mensagens[i] +
         "\n";
}

// The text of the error the model raises, or "aceito".
std::string carregar(const std::string& modelo) {
  auto sim = std::make_unique<Simulacao>();
  try {
    ler_modelo_texto(*sim, modelo);
  } catch (const Falha& f) {
    return f.status == 1 ? f.texto : "status " + std::to_string(f.status);
  }
  return "aceito";
}

std::string vezes(int n, const std::string& linha) {
  std::string s;
  while (n-- > 0) s += linha;
  return s;
}

TEST(Loader, RejectsTheFirstBadLineWithItsNumber) {
  const std::string E = "E 1 a 1 0\n", c78(78, '*'), c79(79, '*'), c100(100, '*');
  // clang-format off
  const struct { std::string modelo, esperado; } casos[] = {
      // No current object, then the count, then the kind, then the table's range.
      {"D 5\nN 3\nV 1\ns 1\n", erro(4, 0)}, {"e\n", erro(1, 0)}, {"s 99999999999\n", erro(1, 0)},
      {E + "e\n", erro(2, 1)}, {E + "e 1\n", erro(2, 2)}, {E + "e 40\n", erro(2, 2)},
      {E + "s 30\n", erro(2, 7)}, {E + "s -1\n", erro(2, 7)}, {"F q\ns 30\n", erro(2, 7)},
      {"S 1 s 1 0\ne -1\n", erro(2, 7)}, {"F q\ne x\n", erro(2, 1)}, {"F q\ne 77\nF r\n", "aceito"},
      {E + "s 99999999999\n", erro(2, 1)},
      // Fields.
      {"E 3 a 1 0\n", erro(1, 1)}, {"E 1 a 1\n", erro(1, 1)}, {"S 2 s 1\n", erro(1, 1)},
      {"E a 1 0\n", erro(1, 1)}, {"F\n", erro(1, 1)}, {"F \t\v\n", erro(1, 1)}, {"D\n", erro(1, 1)},
      {"D inf\n", erro(1, 1)}, {"D nan\n", erro(1, 1)}, {"N x\n", erro(1, 1)},
      {"N 99999999999\n", erro(1, 1)}, {"Vx 2\n", erro(1, 1)},
      // Pieces of at most 79 characters; a CR just before the LF belongs to the line end.
      {"X\nN\n", erro(2, 1)}, {c78 + "\nN\n", erro(2, 1)}, {c78 + "\r\nN\n", erro(2, 1)},
      {c79 + "\nN\n", erro(3, 1)}, {c79 + "\r\nN\n", erro(3, 1)}, {c100 + "\nN\n", erro(3, 1)},
      {c79 + "N x\n", erro(2, 1)}, {c79 + E + "e 1\n", erro(3, 2)},  // a key at the 80th
      {"X\rN\nN\n", erro(2, 1)}, {"X\r\r\nN\n", erro(2, 1)}, {"\x1a\nN\n", erro(2, 1)},
      {std::string(1000, '\r') + "\nN\n", erro(14, 1)}, {"D\xff\xfe\x80\n", erro(1, 1)},
      // Sizes no case directory should hold: a 10 MB comment is 126583 pieces.
      {"*" + std::string(9'999'999, 'x') + "\nN\n", erro(126'584, 1)},
      {"N 2" + std::string(10'000'000, '9') + "\n", erro(1, 1)},
      {vezes(1'000'000, "*\n") + "N\n", erro(1'000'001, 1)},
      // A NUL ends the text of the fields.
      {std::string("N\0 5\n", 5), erro(1, 1)}, {std::string("\0N\nN\n", 5), erro(2, 1)},
      {std::string("E 1 a\0b 1 0\n", 12), erro(1, 1)},
      // A 30th declaration, before its fields are read; 29 of each kind fit.
      {vezes(30, "F q\n"), erro(30, 8)}, {vezes(29, E) + "E 3\n", erro(30, 8)},
      {"F q\n" + vezes(30, "S 1 s 1 0\n"), erro(31, 8)},
      {vezes(29, "F q\n") + vezes(29, "S 1 s 1 0\n") + vezes(29, E), "aceito"},
      // Links to numbers never declared: after the last line, at the earliest line that made one
      // still in place, whichever kind of object holds it.
      {E + "s 2\nF q\n", erro(2, 9)}, {"S 1 s 1 0\ne 5\ns 1\nE 1 a 1 0\ns 6\nF q\n", erro(2, 9)},
      {"F q\ns 2\nS 1 s 1 0\n", erro(2, 9)},
      {E + "s 5\ns 1\nF q\n", "aceito"}, {E + "s 5\ns 0\n", "aceito"}, {"S 1 s 1 0\ne 0\n", "aceito"},
      {E + "s 4\nD\n", erro(3, 1)}};
  // clang-format on
  for (const auto& c : casos) EXPECT_EQ(carregar(c.modelo), c.esperado) << c.modelo;
}

TEST(Loader, FillsTheTablesAndLimits) {
  auto sim = std::make_unique<Simulacao>();
  Rede& r = sim->rede;
  r.Visual = 3, r.Tlimite = 9, sim->Nfregues = 4;  // Visual and an unset Tlimite are kept
  ler_modelo_texto(
      *sim,
      " D 5 indented: a comment\nE 1 porta 5.0 7 remark\ns 2 7 99999999999\ns 1 x\n"
      "F espera\ns 1 2 3 4 5 6\nS 2 caixa 2.0 6.0\ne 1\ns 2\nE 2 b 3 4\ns 0\n"
      "S 1 t 1.5 9\ns 0\ne 0\nN 500\nN -4\nV 3\nF um_nome_bem_mais_longo_que_39_caracteres_"
      "sim\ns 0\nF fim");  // no line end on the last line
  const Fonte &f = r.fontes[1], &g = r.fontes[2];
  const Servidor &s = r.servidores[1], &t = r.servidores[2];
  EXPECT_TRUE(r.nfontes == 2 && r.nfilas == 3 && r.nservidores == 2);
  EXPECT_TRUE(r.Tlimite == 9 && r.Nlimite == -4 && r.Visual == 3 && sim->Nfregues == 0);
  EXPECT_TRUE(f.nome == "porta" && f.tipo == 1 && f.med == 5 && f.sup == 0 &&
              f.saida == &r.filas[1]);
  EXPECT_TRUE(g.tipo == 2 && g.med == 0 && g.inf == 3 && g.sup == 4 && g.saida == nullptr);
  EXPECT_TRUE(r.filas[1].nome == "espera" && r.filas[1].servidor == &s);
  EXPECT_TRUE(s.tipo == 2 && s.inf == 2 && s.sup == 6 && s.entrada == &r.filas[1] &&
              s.saida == &r.filas[2]);
  EXPECT_TRUE(t.med == 1.5f && t.saida == nullptr && t.entrada == &r.filas[0]);  // 'e 0': slot 0
  EXPECT_EQ(r.filas[2].nome, "um_nome_bem_mais_longo_que_39_caracteres_sim");
  EXPECT_TRUE(r.filas[2].servidor == nullptr && r.filas[3].nome == "fim");

  ler_modelo_texto(*sim, "V 1\nV 2\nD 0x10\n");  // the last of each holds; hexadecimal reads 0
  EXPECT_TRUE(r.Visual == 2 && r.Tlimite == 0 && r.nfontes == 0);
}

TEST(Loader, ReadFailureIsAnErrorAtTheLineItCut) {
  // A stream that gives "D 5\nN" and then fails: the piece cut short is not read as a line (an
  // 'N' alone would be a field error), and the model is not run as if it had ended there.
  int chamadas = 0;
  cookie_io_functions_t funcoes{};
  funcoes.read = [](void* c, char* buf, std::size_t) -> ssize_t {
    if ((*static_cast<int*>(c))++ > 0) return errno = EIO, -1;
    std::memcpy(buf, "D 5\nN", 5);
    return 5;
  };
  std::FILE* arquivo = fopencookie(&chamadas, "r", funcoes);
  auto sim = std::make_unique<Simulacao>();
  try {
    ler_modelo(*sim, arquivo);
    ADD_FAILURE() << "loaded";
  } catch (const Falha& f) {
    EXPECT_EQ(f.status, 1);
    EXPECT_EQ(f.texto, "Erro de leitura no arquivo de dados na linha 2 (codigo 5)\n");
  }
  std::fclose(arquivo);
  EXPECT_EQ(sim->rede.Tlimite, 5.0f);
}

}  // namespace
}  // namespace tarvo
