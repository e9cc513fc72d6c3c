// Hostile model files, end to end: every rejected one ends with its message after the banner,
// status 1 and nothing written; every accepted one runs to a complete report. Each run is
// bounded in processor time (and, without the address sanitizer, in address space), so a hang
// or a runaway allocation fails its case instead of stalling the suite; a crash shows as a
// status of 128 or more.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>
#include <string>
#include <vector>

#include "legado/input/loader.h"
#include "processo.h"

namespace tarvo::teste {
namespace {

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer reserves terabytes of address space, so only processor time is limited.
const char* const LIMITES = "ulimit -t 120";
#else
const char* const LIMITES = "ulimit -t 30; ulimit -v 1048576";
#endif

const char* const ACEITO = "aceito";
// Accepted, and its limits (D being 0) stop the run before its first event.
const char* const VAZIO = "Aviso: nenhum evento foi simulado (N = 0, D = 0)\n";

std::string erro(int linha, int codigo) {
  const char* mensagens[] = {
      "Este parametro nao se usa com este objeto", "Numero de parametros invalido",
      "Ligacao entre objetos incompativeis",       "Numero de objeto fora da faixa de 0 a 29",
      "Mais de 29 objetos do mesmo tipo",          "Ligacao com objeto nao declarado"};
  const int i = codigo < ERRO_FORA_DA_TABELA ? codigo : codigo - ERRO_FORA_DA_TABELA + 3;
  return "Arquivo de dados : erro linha  - " + std::to_string(linha) + " - \n \t" + mensagens[i] +
         "\n";
}

std::string vezes(int n, const std::string& linha) {
  std::string s;
  while (n-- > 0) s += linha;
  return s;
}

// Runs the model and checks the outcome: the exact message of a rejected model, or a report
// that a run reaching a limit writes in full, with the warning of a run that simulated nothing
// when that is what is expected.
void conferir(const std::string& modelo, const std::string& esperado) {
  DiretorioTemporario tmp;
  escrever_arquivo(tmp / "model.txt", modelo);
  const Resultado r = executar_tarvo(tmp.caminho(), {"model.txt"}, "1", LIMITES);
  const std::string inicio = modelo.substr(0, 40);
  if (esperado == ACEITO || esperado.rfind("Aviso: ", 0) == 0) {
    EXPECT_EQ(r.erro, esperado == ACEITO ? "" : esperado) << inicio;
    EXPECT_EQ(r.status, 0) << inicio;
    EXPECT_EQ(sem_banner(r.saida), "") << inicio;
    const std::string relatorio = ler_arquivo(tmp / "Simula_imp.txt");
    EXPECT_NE(relatorio.find("FINAL DOS RESULTADOS *********************\n\n"), std::string::npos)
        << inicio;
    EXPECT_EQ(tmp.arquivos(), (std::vector<std::string>{"Simula_imp.txt", "model.txt"}));
  } else {
    EXPECT_EQ(r.status, 1) << inicio;
    EXPECT_EQ(sem_banner(r.saida), esperado) << inicio;
    EXPECT_EQ(tmp.arquivos(), std::vector<std::string>{"model.txt"}) << inicio;
    EXPECT_EQ(r.erro, "") << inicio;
  }
}

TEST(Hostil, RejectsTheFirstBadLineWithItsNumber) {
  const std::string E = "E 1 a 1 0\n", c78(78, '*'), c79(79, '*'), c100(100, '*');
  // clang-format off
  const struct { std::string modelo, esperado; } casos[] = {
      // No current object, then the count, then the kind, then the table's range.
      {"D 5\nN 3\nV 1\ns 1\n", erro(4, 0)}, {"e\n", erro(1, 0)}, {"s 99999999999\n", erro(1, 0)},
      {E + "e\n", erro(2, 1)}, {E + "e 1\n", erro(2, 2)}, {E + "e 40\n", erro(2, 2)},
      {E + "s 30\n", erro(2, 7)}, {E + "s -1\n", erro(2, 7)}, {"F q\ns 30\n", erro(2, 7)},
      {"S 1 s 1 0\ne -1\n", erro(2, 7)}, {"F q\ne x\n", erro(2, 1)}, {"F q\ne 77\nF r\n", VAZIO},
      {E + "s 99999999999\n", erro(2, 1)},
      // Fields.
      {"E 3 a 1 0\n", erro(1, 1)}, {"E 1 a 1\n", erro(1, 1)}, {"S 2 s 1\n", erro(1, 1)},
      {"E a 1 0\n", erro(1, 1)}, {"F\n", erro(1, 1)}, {"F \t\v\n", erro(1, 1)}, {"D\n", erro(1, 1)},
      {"D inf\n", erro(1, 1)}, {"D nan\n", erro(1, 1)}, {"N x\n", erro(1, 1)},
      {"N 99999999999\n", erro(1, 1)}, {"Vx 2\n", erro(1, 1)},
      // An integer written as a decimal number that is not whole is no integer.
      {"N 2.5\n", erro(1, 1)}, {"E 1.5 a 1 0\n", erro(1, 1)}, {E + "s 1e-1\n", erro(2, 1)},
      {"S 1 s 1 0\ne 0.5\n", erro(2, 1)}, {"V 1e10\n", erro(1, 1)},
      // Pieces of at most 79 characters; a CR just before the LF belongs to the line end.
      {"X\nN\n", erro(2, 1)}, {c78 + "\nN\n", erro(2, 1)}, {c78 + "\r\nN\n", erro(2, 1)},
      {c79 + "\nN\n", erro(3, 1)}, {c79 + "\r\nN\n", erro(3, 1)}, {c100 + "\nN\n", erro(3, 1)},
      {c79 + "N x\n", erro(2, 1)}, {c79 + E + "e 1\n", erro(3, 2)},  // a key at the 80th
      {"X\rN\nN\n", erro(2, 1)}, {"X\r\r\nN\n", erro(2, 1)}, {"\x1a\nN\n", erro(2, 1)},
      {std::string(1000, '\r') + "\nN\n", erro(14, 1)}, {std::string(1000, '\r'), VAZIO},
      {"D\xff\xfe\x80\n", erro(1, 1)},
      // Sizes: a 10 MB comment is 126583 pieces.
      {"*" + std::string(9'999'999, 'x') + "\nN\n", erro(126'584, 1)},
      {"N 2" + std::string(10'000'000, '9') + "\n", erro(1, 1)},
      {vezes(1'000'000, "*\n") + "N\n", erro(1'000'001, 1)},
      // A NUL ends the text of the fields.
      {std::string("N\0 5\n", 5), erro(1, 1)}, {std::string("\0N\nN\n", 5), erro(2, 1)},
      {std::string("E 1 a\0b 1 0\n", 12), erro(1, 1)},
      // A 30th declaration, before its fields are read; 29 of each kind fit.
      {vezes(30, "F q\n"), erro(30, 8)}, {vezes(29, E) + "E 3\n", erro(30, 8)},
      {"F q\n" + vezes(30, "S 1 s 1 0\n"), erro(31, 8)},
      {vezes(29, "F q\n") + vezes(29, "S 1 s 1 0\n") + vezes(29, E), VAZIO},
      // Links to numbers never declared: after the last line, at the earliest line that made one
      // still in place, whichever kind of object holds it.
      {E + "s 2\nF q\n", erro(2, 9)}, {"S 1 s 1 0\ne 5\ns 1\nE 1 a 1 0\ns 6\nF q\n", erro(2, 9)},
      {"F q\ns 2\nS 1 s 1 0\n", erro(2, 9)},
      {E + "s 5\ns 1\nF q\n", VAZIO}, {E + "s 5\ns 0\n", VAZIO}, {"S 1 s 1 0\ne 0\n", VAZIO},
      {E + "s 4\nD\n", erro(3, 1)},
      // Numbers at and beyond the edges of their formats, accepted.
      {"D 1e39\nN 5\nE 1 a 1e-50 0\ns 1\nF f\n", ACEITO},
      {"D 3.4028235e38\nN 3\nE 2 a -1e39 1e39\ns 1\nF q\ns 1\nS 1 x 1e39 0\ne 1\ns 2\nF f\n", ACEITO},
      {"D 0x1p3\nN -2147483648\nE 1 a 1e-400 2E+3x\ns 1\nF f\n",
       "Aviso: nenhum evento foi simulado (N = -2147483648, D = 0)\n"},
      {"E 1 a 1e 0\n", erro(1, 1)}};  // "1e" reads 1, and "e" is no number
  // clang-format on
  for (const auto& c : casos) conferir(c.modelo, c.esperado);
}

// Bytes of every value, and bytes that begin with the keys: whatever they hold, tarvo either
// rejects them with a message or runs them to a report, and never crashes or hangs.
TEST(Hostil, GarbageEndsInAMessageOrAReport) {
  std::mt19937 aleatorio(7);
  for (int i = 0; i < 12; ++i) {
    std::string modelo(static_cast<std::size_t>(aleatorio() % 4000), '\0');
    for (char& ch : modelo) {
      ch = static_cast<char>(i % 2 == 0 ? aleatorio() % 256
                                        : "DNVEFSes 0123.\n\r\t-e"[aleatorio() % 20]);
    }
    DiretorioTemporario tmp;
    escrever_arquivo(tmp / "model.txt", modelo);
    const Resultado r = executar_tarvo(tmp.caminho(), {"model.txt"}, "1", LIMITES);
    ASSERT_TRUE(r.status == 0 || r.status == 1) << "status " << r.status << " for case " << i;
    EXPECT_EQ(tmp.arquivos().size(), r.status == 0 ? 2u : 1u) << i;
  }
}

std::string partes(int n, const std::string& parte, const std::string& entre) {
  std::string s = parte;
  while (--n > 0) s += entre + parte;
  return s;
}

// tarvo-rep on about 100 KB nested 50,000 deep, and on models that are no regular file: each
// ends at once with its message. A read from a pipe blocks rather than spins, so each run is
// bounded in wall time too, a hang showing as status 137.
TEST(Hostil, TarvoRepRefusesDeepNestingAndModelsThatAreNoFile) {
  const std::string fundo =
      "aninhamento profundo demais: mais de 64 niveis de tabelas, listas e "
      "chaves com ponto\n";
  // clang-format off
  const struct { std::vector<std::string> args; std::string erro; } casos[] = {
      {{"-s", "1", "cabecalho.toml"}, "cabecalho.toml:1:129: " + fundo},
      {{"-s", "1", "chave.toml"}, "chave.toml:1:128: " + fundo},
      {{"-s", "1", "lista.toml"}, "lista.toml:1:68: " + fundo},
      {{"merge", "fatia.json"},
       "tarvo-rep merge: fatia.json aninha listas e objetos em mais de 64 niveis: nao e uma fatia "
       "de tarvo-rep\n"},
      {{"-s", "1", "/dev/zero"}, "tarvo-rep: o modelo /dev/zero e um dispositivo, nao um arquivo "
                                 "regular\n"},
      {{"-s", "1", "cano.txt"}, "tarvo-rep: o modelo cano.txt e um pipe, nao um arquivo regular\n"},
      {{"-s", "1", "cano.toml"}, "tarvo-rep: o modelo cano.toml e um pipe, nao um arquivo regular\n"},
      {{"-s", "1", "--compare", "cano.txt", "m.txt"},
       "tarvo-rep: o modelo cano.txt e um pipe, nao um arquivo regular\n"}};
  // clang-format on
  DiretorioTemporario tmp;
  escrever_arquivo(tmp / "cabecalho.toml", "[" + partes(50'000, "a", ".") + "]\n");
  escrever_arquivo(tmp / "chave.toml", partes(50'000, "a", ".") + " = 1\n");
  escrever_arquivo(tmp / "lista.toml", "x = " + std::string(50'000, '[') + "]\n");
  escrever_arquivo(tmp / "fatia.json", std::string(50'000, '[') + std::string(50'000, ']'));
  escrever_arquivo(tmp / "m.txt", "D 10\nN 5\nE 1 a 1 0\ns 1\nF f\n");
  for (const char* cano : {"cano.txt", "cano.toml"})
    ASSERT_EQ(mkfifo((tmp / cano).c_str(), 0600), 0);
  auto rodar = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"-s", "KILL", "20", TARVO_REP_BIN});
    return executar_programa("timeout", tmp.caminho(), args, LIMITES);
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.args.back());
    const Resultado r = rodar(c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.erro, c.erro);
    EXPECT_EQ(r.saida, "");
  }
  // The page of a merge says the model is not here when the slice names a pipe.
  ASSERT_EQ(rodar({"-r", "2", "-s", "1", "--slice", "0:2", "-o", "a.json", "m.txt"}).status, 0);
  std::string fatia = ler_arquivo(tmp / "a.json");
  fatia.replace(fatia.find("\"m.txt\""), 7, "\"cano.txt\"");
  escrever_arquivo(tmp / "b.json", fatia);
  const Resultado r = rodar({"merge", "--html", "p.html", "b.json"});
  EXPECT_EQ(r.status, 0) << r.erro;
  EXPECT_NE(ler_arquivo(tmp / "p.html").find("cano.txt, não está aqui"), std::string::npos);
}

}  // namespace
}  // namespace tarvo::teste
