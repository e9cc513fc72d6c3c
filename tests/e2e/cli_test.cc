// The command line: usage, a missing model, TARVO_SEED, and a report that cannot be written.
#include <gtest/gtest.h>

#include "processo.h"

namespace tarvo::teste {
namespace {

const char* const MODELO =
    "D 50\nN 20\nE 1 fonte 2.0 0\ns 1\nF q\ns 1\nS 1 servo 1.5 0\ne 1\ns 2\nF fim\n";

// A directory holding the model and an earlier report.
struct Pasta {
  DiretorioTemporario d;
  Pasta() {
    escrever_arquivo(d / "model.txt", MODELO);
    escrever_arquivo(d / "Simula_imp.txt", "antigo");
  }
  Resultado rodar(std::vector<std::string> args, std::optional<std::string> semente,
                  const std::string& extra = "") {
    return executar_tarvo(d.caminho(), args, semente, extra);
  }
  std::string relatorio() const { return ler_arquivo(d / "Simula_imp.txt"); }
  std::vector<std::string> arquivos() const { return d.arquivos(); }
};

const std::vector<std::string> INTACTO{"Simula_imp.txt", "model.txt"};

TEST(Cli, UsageAndMissingModelLeaveTheReportAlone) {
  const struct {
    std::vector<std::string> args;
    std::string saida;
  } casos[] = {
      {{}, " Uso : tarvo nome_arquivo \n"},
      {{"model.txt", "model.txt"}, " Uso : tarvo nome_arquivo \n"},
      {{"nada.txt"}, "O arquivo nada.txt nao encontra-se.\n"},
  };
  for (const auto& c : casos) {
    Pasta p;
    const Resultado r = p.rodar(c.args, "1");
    EXPECT_EQ(r.status, 1);
    // One banner line of our own, then the message.
    EXPECT_GT(r.saida.find('\n'), 0u);
    EXPECT_EQ(sem_banner(r.saida), c.saida);
    EXPECT_EQ(r.erro, "");
    EXPECT_EQ(p.relatorio(), "antigo");
    EXPECT_EQ(p.arquivos(), INTACTO);
  }
}

TEST(Cli, SeedMustBeADecimalFrom0To4294967295) {
  for (const char* ruim :
       {"", "-1", "4294967296", "99999999999999999999", "12x", " 5", "5 ", "+5", "0x10"}) {
    SCOPED_TRACE(std::string("TARVO_SEED=\"") + ruim + "\"");
    Pasta p;
    const Resultado r = p.rodar({"model.txt"}, ruim);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(sem_banner(r.saida).find("TARVO_SEED"), std::string::npos) << r.saida;
    EXPECT_EQ(p.relatorio(), "antigo");
    EXPECT_EQ(p.arquivos(), INTACTO);
  }
  std::string relatorios[5];
  const char* boas[] = {"0", "4294967295", "10", "010", "8"};
  for (int i = 0; i < 5; ++i) {
    Pasta p;
    const Resultado r = p.rodar({"model.txt"}, boas[i]);
    EXPECT_EQ(r.status, 0) << boas[i];
    EXPECT_EQ(sem_banner(r.saida), "") << boas[i];
    relatorios[i] = p.relatorio();
    EXPECT_NE(relatorios[i].find("FINAL DOS RESULTADOS"), std::string::npos) << boas[i];
  }
  EXPECT_EQ(relatorios[3], relatorios[2]);  // decimal, not octal
  EXPECT_NE(relatorios[3], relatorios[4]);

  Pasta relogio;  // unset: the clock seeds the run
  EXPECT_EQ(relogio.rodar({"model.txt"}, std::nullopt).status, 0);
}

TEST(Cli, ReportThatCannotBeWrittenKeepsTheEarlierOne) {
  // A file size limit below the report's size: the write fails instead of killing the process.
  Pasta p;
  const Resultado r = p.rodar({"model.txt"}, "3", "ulimit -f 1");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(sem_banner(r.saida).rfind("Erro ao gravar o relatorio Simula_imp.txt: ", 0), 0u)
      << r.saida;
  EXPECT_EQ(p.relatorio(), "antigo");
  EXPECT_EQ(p.arquivos(), INTACTO);
}

}  // namespace
}  // namespace tarvo::teste
