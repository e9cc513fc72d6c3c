// The command line and what it is handed: usage, TARVO_SEED, paths that are no model file, a
// pipe. A refused run prints its message after the banner, exits with status 1 and leaves the
// directory as it was, an earlier report included.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "processo.h"

namespace tarvo::teste {
namespace {

namespace fs = std::filesystem;

// Exponential times, so that different seeds give different reports.
const std::string REDE = "D 50\nN 20\nE 1 a 2 0\ns 1\nF q\ns 1\nS 1 b 1.5 0\ne 1\ns 2\nF f\n";

// A directory holding model.txt and an earlier report.
struct Diretorio : DiretorioTemporario {
  explicit Diretorio(const std::string& modelo) {
    escrever_arquivo(*this / "model.txt", modelo);
    escrever_arquivo(*this / "Simula_imp.txt", "antigo");
  }
  Resultado rodar(const std::vector<std::string>& args,
                  std::optional<std::string> semente = "1") const {
    return executar_tarvo(caminho(), args, semente, "ulimit -t 20");  // a spin fails, not hangs
  }
  void recusa(const std::vector<std::string>& args, const char* semente,
              const std::string& saida) const {
    const std::vector<std::string> antes = arquivos();
    const Resultado r = rodar(args, semente);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(sem_banner(r.saida), saida);
    EXPECT_EQ(r.erro, "");
    EXPECT_EQ(arquivos(), antes);
    EXPECT_EQ(ler_arquivo(*this / "Simula_imp.txt"), "antigo");
  }
};

TEST(Cli, UsageAndPathsThatAreNoModelFile) {
  const Diretorio d(REDE);
  fs::create_directory(d / "pasta");
  fs::create_symlink(d / "nada", d / "pendurado");
  fs::create_symlink("laco_b", d / "laco_a");
  fs::create_symlink("laco_a", d / "laco_b");
  const std::string uso = " Uso : tarvo nome_arquivo \n", longo(5000, 'c');
  const std::pair<std::vector<std::string>, std::string> casos[] = {
      {{}, uso},
      {{"model.txt", "model.txt"}, uso},
      {{"--help", "model.txt"}, uso},
      {{"--version", "--version"}, uso},
      {{"--helpx"}, "O arquivo --helpx nao encontra-se.\n"},
      {{"-h"}, "O arquivo -h nao encontra-se.\n"},
      {{"nada.txt"}, "O arquivo nada.txt nao encontra-se.\n"},
      {{"pasta"}, "O arquivo pasta e um diretorio, nao um modelo.\n"},
      {{"pasta/"}, "O arquivo pasta/ e um diretorio, nao um modelo.\n"},
      {{"pendurado"}, "O arquivo pendurado nao encontra-se.\n"},
      {{"laco_a"}, "O arquivo laco_a nao encontra-se.\n"},
      {{""}, "O arquivo  nao encontra-se.\n"},
      // Read as a stream is, up to a size no model reaches.
      {{"/dev/zero"},
       "O arquivo /dev/zero nao e um arquivo regular e passa de 16 MB: nao e um "
       "modelo.\n"},
      {{longo}, "O arquivo " + longo + " nao encontra-se.\n"},
  };
  for (const auto& [args, saida] : casos) {
    SCOPED_TRACE(saida.substr(0, 40));
    d.recusa(args, "1", saida);
  }
}

// A report that would replace the model, named as the report or linked to it, is refused before
// the run, the model intact.
TEST(Cli, NeverWritesTheReportOverItsModel) {
  for (const char* ligacao : {"", "simbolica", "fisica"}) {
    SCOPED_TRACE(ligacao);
    const DiretorioTemporario d;
    const std::string modelo = *ligacao ? "model.txt" : "Simula_imp.txt";
    escrever_arquivo(d / modelo, REDE);
    if (*ligacao == 's') fs::create_symlink(modelo, d / "Simula_imp.txt");
    if (*ligacao == 'f') fs::create_hard_link(d / modelo, d / "Simula_imp.txt");
    const Resultado r = executar_tarvo(d.caminho(), {"./" + modelo}, "1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(sem_banner(r.saida),
              "O relatorio Simula_imp.txt gravaria sobre o arquivo de dados ./" + modelo + ".\n");
    EXPECT_EQ(ler_arquivo(d / modelo), REDE);
  }
}

// The only argument --help or --version: the text alone, without the banner, status 0 and
// nothing written. Any other argument, a file named like an option included, is a model.
TEST(Cli, HelpAndVersion) {
  Diretorio d(REDE);
  const Resultado versao = d.rodar({"--version"});
  EXPECT_EQ(versao.saida, "tarvo " TARVO_VERSAO "\n");
  const Resultado ajuda = d.rodar({"--help"});
  EXPECT_EQ(ajuda.saida.rfind(" Uso : tarvo nome_arquivo \n", 0), 0u) << ajuda.saida;
  for (const char* tema : {"--version", "Simula_imp.txt", "TARVO_SEED", "README.md"}) {
    EXPECT_NE(ajuda.saida.find(tema), std::string::npos) << tema;
  }
  for (const Resultado& r : {versao, ajuda}) EXPECT_TRUE(r.status == 0 && r.erro.empty());
  EXPECT_EQ(d.arquivos(), (std::vector<std::string>{"Simula_imp.txt", "model.txt"}));
  EXPECT_EQ(ler_arquivo(d / "Simula_imp.txt"), "antigo");

  escrever_arquivo(d / "--helpx", REDE);
  const Resultado modelo = d.rodar({"--helpx"});
  EXPECT_TRUE(modelo.status == 0 && sem_banner(modelo.saida).empty()) << modelo.saida;
  EXPECT_NE(ler_arquivo(d / "Simula_imp.txt").find("FINAL DOS RESULTADOS"), std::string::npos);
}

TEST(Cli, SeedIsADecimalFrom0To4294967295) {
  // Refused before the model is read: this one has an error of its own.
  const Diretorio ruim("D\n");
  for (const char* s :
       {"", "abc", "-1", "+1", " 1", "5 ", "1x", "0x10", "4294967296", "99999999999999999999999"}) {
    SCOPED_TRACE(s);
    ruim.recusa({"model.txt"}, s,
                std::string("TARVO_SEED invalida: \"") + s +
                    "\" (use um inteiro decimal de 0 a 4294967295)\n");
  }
  std::vector<std::string> relatorios;
  for (const char* s : {"0", "4294967295", "10", "010", "8", "2147483658"}) {
    const Diretorio d(REDE);
    const Resultado r = d.rodar({"model.txt"}, s);
    EXPECT_TRUE(r.status == 0 && sem_banner(r.saida).empty()) << s;
    relatorios.push_back(ler_arquivo(d / "Simula_imp.txt"));
    EXPECT_NE(relatorios.back().find("FINAL DOS RESULTADOS"), std::string::npos) << s;
  }
  EXPECT_EQ(relatorios[3], relatorios[2]);  // decimal, not octal
  EXPECT_NE(relatorios[3], relatorios[4]);
  EXPECT_EQ(relatorios[5], relatorios[2]);  // 10 + 2^31: only the low 31 bits of the state count
  EXPECT_EQ(Diretorio(REDE).rodar({"model.txt"}, std::nullopt).status, 0);  // unset: the clock
}

// A model read from a pipe as it is written: the loader needs no file size or seeking.
TEST(Cli, ModelFromAFifo) {
  const DiretorioTemporario d;
  ASSERT_EQ(mkfifo((d / "cano").c_str(), 0600), 0);
  const Resultado r = executar_tarvo(d.caminho(), {"cano"}, "1",
                                     "printf 'D 10\\nN 2\\nE 2 a 1 1\\ns 1\\nF f\\n' > cano &");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(ler_arquivo(d / "Simula_imp.txt").find("NUM. DE CLIENTES GERADOS :           2\n"),
            std::string::npos);
}

}  // namespace
}  // namespace tarvo::teste
