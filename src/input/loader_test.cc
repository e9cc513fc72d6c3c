// The loader: pieces of lines, the exact error texts and line numbers, links and tables.
#include "input/loader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

namespace tarvo {
namespace {

const char* const SEM_OBJETO = "Este parametro nao se usa com este objeto";
const char* const PARAMETROS = "Numero de parametros invalido";
const char* const INCOMPATIVEL = "Ligacao entre objetos incompativeis";
const char* const FORA = "Numero de objeto fora da faixa de 0 a 29";
const char* const DEMAIS = "Mais de 29 objetos do mesmo tipo";
const char* const NAO_DECLARADO = "Ligacao com objeto nao declarado";

std::string erro(int linha, const char* mensagem) {
  return "Arquivo de dados : erro linha  - " + std::to_string(linha) + " - \n \t" + mensagem + "\n";
}

// The text of the error the model raises, or "aceito".
std::string carregar(const std::string& modelo) {
  auto sim = std::make_unique<Simulacao>();
  try {
    ler_modelo_texto(*sim, modelo);
  } catch (const Falha& f) {
    EXPECT_EQ(f.status, 1);
    return f.texto;
  }
  return "aceito";
}

std::string repetir(const std::string& linha, int vezes) {
  std::string s;
  for (int i = 0; i < vezes; ++i) s += linha;
  return s;
}

TEST(Loader, RejectsTheFirstBadLineWithItsNumber) {
  const std::string fonte = "E 1 a 1 0\n";
  const std::string c78(78, '*'), c79(79, '*'), c100(100, '*');
  const struct {
    std::string modelo;
    std::string esperado;
  } casos[] = {
      // No current object, then the count, then the kind, then the table's range.
      {"D 5\nN 3\nV 1\ns 1\n", erro(4, SEM_OBJETO)},
      {"e\n", erro(1, SEM_OBJETO)},
      {fonte + "e\n", erro(2, PARAMETROS)},
      {fonte + "e 1\n", erro(2, INCOMPATIVEL)},
      {fonte + "e 40\n", erro(2, INCOMPATIVEL)},
      {fonte + "s 30\n", erro(2, FORA)},
      {fonte + "s -1\n", erro(2, FORA)},
      {"F q\ns 30\n", erro(2, FORA)},
      {"S 1 s 1 0\ne -1\n", erro(2, FORA)},
      {"S 1 s 1 0\ns 29\n", erro(2, NAO_DECLARADO)},
      {"F q\ne x\n", erro(2, PARAMETROS)},
      {"F q\ne 77\nF r\n", "aceito"},  // under a queue the number is no link
      // Fields.
      {"E 3 a 1 0\n", erro(1, PARAMETROS)},
      {"E 1 a 1\n", erro(1, PARAMETROS)},
      {"S 2 s 1\n", erro(1, PARAMETROS)},
      {"E a 1 0\n", erro(1, PARAMETROS)},
      {"F\n", erro(1, PARAMETROS)},
      {"F \t\n", erro(1, PARAMETROS)},
      {"D\n", erro(1, PARAMETROS)},
      {"D inf\n", erro(1, PARAMETROS)},
      {"D nan\n", erro(1, PARAMETROS)},
      {"N x\n", erro(1, PARAMETROS)},
      {"N 99999999999\n", erro(1, PARAMETROS)},
      {"Vx 2\n", erro(1, PARAMETROS)},
      {"s 99999999999\n", erro(1, SEM_OBJETO)},
      {fonte + "s 99999999999\n", erro(2, PARAMETROS)},
      // Pieces of at most 79 characters; a CR before the LF is part of the line end.
      {"X\nN\n", erro(2, PARAMETROS)},
      {c78 + "\nN\n", erro(2, PARAMETROS)},
      {c78 + "\r\nN\n", erro(2, PARAMETROS)},
      {c79 + "\nN\n", erro(3, PARAMETROS)},
      {c79 + "\r\nN\n", erro(3, PARAMETROS)},
      {c100 + "\nN\n", erro(3, PARAMETROS)},
      {c79 + "N x\n", erro(2, PARAMETROS)},  // a key at the 80th character
      {c79 + fonte + "e 1\n", erro(3, INCOMPATIVEL)},
      {"X\rN\nN\n", erro(2, PARAMETROS)},  // a bare CR is ordinary
      {"X\r\r\nN\n", erro(2, PARAMETROS)},
      {"\x1a\nN\n", erro(2, PARAMETROS)},                // Ctrl-Z does not end the file
      {std::string("N\0 5\n", 5), erro(1, PARAMETROS)},  // NUL ends the fields
      {std::string("\0N\nN\n", 5), erro(2, PARAMETROS)},
      {std::string("D 5\0x\nN\n", 8), erro(2, PARAMETROS)},
      {std::string("E 1 a\0b 1 0\n", 13), erro(1, PARAMETROS)},
      // A 30th declaration, before its fields are read.
      {repetir("F q\n", 29) + "F q\n", erro(30, DEMAIS)},
      {repetir(fonte, 29) + "E 3 x\n", erro(30, DEMAIS)},
      {"F q\n" + repetir("S 1 s 1 0\n", 29) + "S\n", erro(31, DEMAIS)},
      {repetir("F q\n", 29) + repetir("S 1 s 1 0\n", 29) + repetir(fonte, 29), "aceito"},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.modelo);
    EXPECT_EQ(carregar(c.modelo), c.esperado);
  }
}

TEST(Loader, RejectsLinksToUndeclaredObjectsAtTheEarliestLine) {
  EXPECT_EQ(carregar("E 1 a 1 0\ns 2\nF q\n"), erro(2, NAO_DECLARADO));
  EXPECT_EQ(carregar("F q\ns 1\n"), erro(2, NAO_DECLARADO));
  // The server's input link (line 2) comes before the source's output (line 5), though sources
  // are declared first in the tables.
  EXPECT_EQ(carregar("S 1 s 1 0\ne 5\ns 1\nE 1 a 1 0\ns 6\nF q\n"), erro(2, NAO_DECLARADO));
  // Only the link that holds at the end counts.
  EXPECT_EQ(carregar("E 1 a 1 0\ns 5\ns 1\nF q\n"), "aceito");
  EXPECT_EQ(carregar("E 1 a 1 0\ns 5\ns 0\n"), "aceito");
  EXPECT_EQ(carregar("S 1 s 1 0\ne 0\n"), "aceito");
  // The check waits for the end of the file, so a bad line after the link is reported instead.
  EXPECT_EQ(carregar("E 1 a 1 0\ns 4\nD\n"), erro(3, PARAMETROS));
}

TEST(Loader, LoadsTheExampleIntoTheTables) {
  auto sim = std::make_unique<Simulacao>();
  Rede& r = sim->rede;
  r.Visual = 3;  // the loader leaves Visual to the program entry
  r.Nlimite = 8;
  sim->Nfregues = 4;
  sim->Tsimul = 2;
  ler_modelo_texto(*sim,
                   "D 1000\nN 500\n* fonte, fila com servidor, sorvedouro\nE 1 porta 5.0 0\n"
                   "s 1\nF espera\ns 1\nS 2 caixa 2.0 6.0\ne 1\ns 2\nF fim\n");
  EXPECT_EQ(r.nfontes, 1);
  EXPECT_EQ(r.nfilas, 2);
  EXPECT_EQ(r.nservidores, 1);
  EXPECT_EQ(r.Tlimite, 1000.0f);
  EXPECT_EQ(r.Nlimite, 500);
  EXPECT_EQ(r.Visual, 3);
  EXPECT_EQ(sim->Nfregues, 0);
  EXPECT_EQ(sim->Tsimul, 0.0f);
  const Fonte& f = r.fontes[1];
  EXPECT_EQ(f.nome, "porta");
  EXPECT_EQ(f.tipo, DIST_EXPONENCIAL);
  EXPECT_EQ(f.med, 5.0f);
  EXPECT_EQ(f.saida, &r.filas[1]);
  EXPECT_EQ(r.filas[1].nome, "espera");
  EXPECT_EQ(r.filas[1].servidor, &r.servidores[1]);
  const Servidor& s = r.servidores[1];
  EXPECT_EQ(s.nome, "caixa");
  EXPECT_EQ(s.tipo, DIST_UNIFORME);
  EXPECT_EQ(s.inf, 2.0f);
  EXPECT_EQ(s.sup, 6.0f);
  EXPECT_EQ(s.med, 0.0f);
  EXPECT_EQ(s.entrada, &r.filas[1]);
  EXPECT_EQ(s.saida, &r.filas[2]);
  EXPECT_EQ(r.filas[2].nome, "fim");
  EXPECT_EQ(r.filas[2].servidor, nullptr);
}

TEST(Loader, LinksRepeatsAndTrailingText) {
  auto sim = std::make_unique<Simulacao>();
  Rede& r = sim->rede;
  r.Tlimite = 9;
  ler_modelo_texto(*sim,
                   " D 5 indented: a comment\n"
                   "E 1 a 2.5 9 remark\n"
                   "s 2 7 99999999999\n"  // extra integers change nothing
                   "s 1 x\n"
                   "F q\ns 1 2 3 4 5 6\n"
                   "S 1 s 1 0\ne 0\ns 2\n"
                   "E 2 b 3 4\ns 0\n"
                   "S 2 t 1 1\ns 0\ne 2\n"
                   "F um_nome_bem_mais_longo_que_trinta_e_nove_caracteres\ns 0\n"
                   "V 1\nV 2\nN 3\nN -4\n");
  EXPECT_EQ(r.Tlimite, 9.0f);
  EXPECT_EQ(r.Visual, 2);
  EXPECT_EQ(r.Nlimite, -4);
  EXPECT_EQ(r.fontes[1].saida, &r.filas[1]);
  EXPECT_EQ(r.fontes[1].med, 2.5f);
  EXPECT_EQ(r.fontes[1].sup, 0.0f);  // the second number of type 1 is ignored
  EXPECT_EQ(r.fontes[2].saida, nullptr);
  EXPECT_EQ(r.fontes[2].inf, 3.0f);
  EXPECT_EQ(r.fontes[2].sup, 4.0f);
  EXPECT_EQ(r.filas[1].servidor, &r.servidores[1]);
  EXPECT_EQ(r.servidores[1].entrada, &r.filas[0]);  // 'e 0': the slot that holds no queue
  EXPECT_EQ(r.servidores[1].saida, &r.filas[2]);
  EXPECT_EQ(r.servidores[2].saida, nullptr);
  EXPECT_EQ(r.servidores[2].entrada, &r.filas[2]);
  EXPECT_EQ(r.filas[2].nome, "um_nome_bem_mais_longo_que_trinta_e_nove_caracteres");
  EXPECT_EQ(r.filas[2].servidor, nullptr);

  auto hex = std::make_unique<Simulacao>();
  ler_modelo_texto(*hex, "D 0x10\nE 1 a 1 0\ns 1\nF q");  // no line end on the last line
  EXPECT_EQ(hex->rede.Tlimite, 0.0f);
  EXPECT_EQ(hex->rede.nfilas, 1);

  auto vazio = std::make_unique<Simulacao>();
  ler_modelo_texto(*vazio, "* only\n\n\tcomments\n");
  EXPECT_EQ(vazio->rede.nfontes + vazio->rede.nfilas + vazio->rede.nservidores, 0);
}

TEST(Loader, ReadFailureEndsTheFileQuietly) {
  // A stream that gives "D 5\nN" and then fails: the piece cut short is not read as a line.
  struct Fonte {
    int chamadas = 0;
  } fonte;
  cookie_io_functions_t funcoes{};
  funcoes.read = [](void* c, char* buf, std::size_t) -> ssize_t {
    if (static_cast<Fonte*>(c)->chamadas++ > 0) {
      errno = EIO;
      return -1;
    }
    std::memcpy(buf, "D 5\nN", 5);
    return 5;
  };
  std::FILE* arquivo = fopencookie(&fonte, "r", funcoes);
  ASSERT_NE(arquivo, nullptr);
  auto sim = std::make_unique<Simulacao>();
  EXPECT_NO_THROW(ler_modelo(*sim, arquivo));
  std::fclose(arquivo);
  EXPECT_EQ(sim->rede.Tlimite, 5.0f);
}

TEST(Loader, MissingFileNamesItsPath) {
  auto sim = std::make_unique<Simulacao>();
  try {
    ler_modelo(*sim, "/nonexistent/modelo.txt");
    FAIL() << "loaded";
  } catch (const Falha& f) {
    EXPECT_EQ(f.status, 1);
    EXPECT_EQ(f.texto, "O arquivo /nonexistent/modelo.txt nao encontra-se.\n");
  }
}

}  // namespace
}  // namespace tarvo
