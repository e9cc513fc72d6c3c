// The command line: usage, a missing model, TARVO_SEED, and a report that cannot be written.
// Every refused run must leave an earlier report as it was.
#include <gtest/gtest.h>

#include "processo.h"

namespace tarvo::teste {
namespace {

struct Rodada {
  Resultado r;
  std::string relatorio;
  std::vector<std::string> arquivos;
};

Rodada rodar(std::vector<std::string> args, std::optional<std::string> semente,
             const std::string& extra = "") {
  DiretorioTemporario d;
  escrever_arquivo(d / "model.txt",
                   "D 50\nN 20\nE 1 a 2 0\ns 1\nF q\ns 1\nS 1 b 1.5 0\ne 1\ns 2\nF f\n");
  escrever_arquivo(d / "Simula_imp.txt", "antigo");
  Resultado r = executar_tarvo(d.caminho(), args, semente, extra);
  return {r, ler_arquivo(d / "Simula_imp.txt"), d.arquivos()};
}

const std::vector<std::string> INTACTO{"Simula_imp.txt", "model.txt"};

TEST(Cli, RefusedRunsLeaveTheEarlierReport) {
  const std::string uso = " Uso : tarvo nome_arquivo \n";
  for (auto [args, saida] : {std::pair{std::vector<std::string>{}, uso},
                             {{"model.txt", "model.txt"}, uso},
                             {{"nada.txt"}, "O arquivo nada.txt nao encontra-se.\n"}}) {
    const Rodada x = rodar(args, "1");
    EXPECT_GT(x.r.saida.find('\n'), 0u);  // one banner line of our own first
    EXPECT_EQ(sem_banner(x.r.saida), saida);
    EXPECT_TRUE(x.r.status == 1 && x.r.erro.empty() && x.relatorio == "antigo");
    EXPECT_EQ(x.arquivos, INTACTO);
  }
  for (const char* ruim :
       {"", "-1", "4294967296", "99999999999999999999", "12x", " 5", "5 ", "+5", "0x10"}) {
    const Rodada x = rodar({"model.txt"}, ruim);
    EXPECT_NE(sem_banner(x.r.saida).find("TARVO_SEED"), std::string::npos) << ruim;
    EXPECT_TRUE(x.r.status == 1 && x.relatorio == "antigo" && x.arquivos == INTACTO) << ruim;
  }
  // A file size limit below the report's size: the write fails and is reported.
  const Rodada x = rodar({"model.txt"}, "3", "ulimit -f 1");
  EXPECT_EQ(sem_banner(x.r.saida).rfind("Erro ao gravar o relatorio Simula_imp.txt: ", 0), 0u);
  EXPECT_TRUE(x.r.status == 1 && x.relatorio == "antigo" && x.arquivos == INTACTO) << x.r.status;
}

TEST(Cli, SeedIsADecimalFrom0To4294967295) {
  std::vector<std::string> relatorios;
  for (const char* boa : {"0", "4294967295", "10", "010", "8"}) {
    const Rodada x = rodar({"model.txt"}, boa);
    EXPECT_TRUE(x.r.status == 0 && sem_banner(x.r.saida).empty()) << boa;
    EXPECT_NE(x.relatorio.find("FINAL DOS RESULTADOS"), std::string::npos) << boa;
    relatorios.push_back(x.relatorio);
  }
  EXPECT_EQ(relatorios[3], relatorios[2]);  // decimal, not octal
  EXPECT_NE(relatorios[3], relatorios[4]);
  EXPECT_EQ(rodar({"model.txt"}, std::nullopt).r.status, 0);  // unset: the clock seeds the run
}

}  // namespace
}  // namespace tarvo::teste
