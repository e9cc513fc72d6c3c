// Writing the report when the file system refuses: every failure must leave a clear message,
// a non-zero status, no temporary file and an earlier report exactly as it was.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "processo.h"

namespace tarvo::teste {
namespace {

namespace fs = std::filesystem;

// Three customers one unit apart: a run that reaches its report at once.
const char* const MODELO = "D 100\nN 3\nE 2 chegada 1 1\ns 1\nF fila\n";
const char* const ANTERIOR = "relatorio de uma execucao anterior\n";

std::vector<std::string> entradas(const std::string& dir) {
  std::vector<std::string> nomes;
  for (const auto& e : fs::directory_iterator(dir)) nomes.push_back(e.path().filename());
  std::sort(nomes.begin(), nomes.end());
  return nomes;
}

std::string mensagem(const char* motivo, int codigo) {
  return std::string("Erro ao gravar o relatorio Simula_imp.txt: ") + motivo + " (codigo " +
         std::to_string(codigo) + ")\n";
}

// What every failed write must look like from outside.
void espera_falha(const Resultado& r, const std::string& texto) {
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(sem_banner(r.saida), texto);
  EXPECT_EQ(r.erro, "");
}

TEST(FalhaRelatorio, ReportNameTakenByADirectory) {
  DiretorioTemporario tmp;
  escrever_arquivo(tmp / "model.txt", MODELO);
  fs::create_directory(tmp / "Simula_imp.txt");
  escrever_arquivo(tmp / "Simula_imp.txt/dentro", ANTERIOR);

  espera_falha(executar_tarvo(tmp.caminho(), {"model.txt"}, "1"),
               mensagem("existe um diretorio com esse nome", EISDIR));
  EXPECT_EQ(tmp.arquivos(), (std::vector<std::string>{"Simula_imp.txt", "model.txt"}));
  EXPECT_EQ(entradas(tmp / "Simula_imp.txt"), std::vector<std::string>{"dentro"});
  EXPECT_EQ(ler_arquivo(tmp / "Simula_imp.txt/dentro"), ANTERIOR);
}

// The kernel signals a write past the limit; the write must fail with EFBIG instead of the
// process dying with its temporary file in place. The limit, in blocks of 512 bytes, also
// applies to the captured standard output: one block holds the message, four hold part of the
// report (about 2200 bytes).
TEST(FalhaRelatorio, FileSizeLimit) {
  for (const char* limite : {"ulimit -f 1", "ulimit -f 4"}) {
    SCOPED_TRACE(limite);
    DiretorioTemporario tmp;
    escrever_arquivo(tmp / "model.txt", MODELO);
    escrever_arquivo(tmp / "Simula_imp.txt", ANTERIOR);

    espera_falha(executar_tarvo(tmp.caminho(), {"model.txt"}, "1", limite),
                 mensagem("limite de tamanho de arquivo excedido", EFBIG));
    EXPECT_EQ(tmp.arquivos(), (std::vector<std::string>{"Simula_imp.txt", "model.txt"}));
    EXPECT_EQ(ler_arquivo(tmp / "Simula_imp.txt"), ANTERIOR);
  }
}

// The same limit well above the report's size changes nothing: the report replaces the old one.
TEST(FalhaRelatorio, FileSizeLimitNotReached) {
  DiretorioTemporario tmp;
  escrever_arquivo(tmp / "model.txt", MODELO);
  escrever_arquivo(tmp / "Simula_imp.txt", ANTERIOR);
  Resultado r = executar_tarvo(tmp.caminho(), {"model.txt"}, "1", "ulimit -f 1000");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(sem_banner(r.saida), "");
  EXPECT_NE(ler_arquivo(tmp / "Simula_imp.txt").find("NUM. DE CLIENTES GERADOS :           3\n"),
            std::string::npos);
}

// The working directory is removed before tarvo starts: nothing can be created in it.
TEST(FalhaRelatorio, WorkingDirectoryRemoved) {
  DiretorioTemporario tmp;
  escrever_arquivo(tmp / "model.txt", MODELO);
  espera_falha(executar_tarvo(tmp.caminho(), {tmp / "model.txt"}, "1",
                              "mkdir sumido && cd sumido && rmdir ../sumido"),
               mensagem("diretorio inexistente", ENOENT));
  EXPECT_EQ(tmp.arquivos(), std::vector<std::string>{"model.txt"});
}

// Every name the writer would try for its temporary file is already taken. The shell's
// process id is tarvo's, since it execs it.
TEST(FalhaRelatorio, NoFreeTemporaryName) {
  DiretorioTemporario tmp;
  escrever_arquivo(tmp / "model.txt", MODELO);
  escrever_arquivo(tmp / "Simula_imp.txt", ANTERIOR);
  espera_falha(executar_tarvo(tmp.caminho(), {"model.txt"}, "1",
                              "n=; i=0; while [ $i -lt 100 ]; do n=\"$n .Simula_imp.txt.$$.$i\"; "
                              "i=$((i + 1)); done; mkdir $n"),
               mensagem("nenhum nome livre para o arquivo temporario", EEXIST));
  const std::vector<std::string> nomes = tmp.arquivos();
  ASSERT_EQ(nomes.size(), 102u);
  for (const std::string& n : nomes) {
    if (n == "Simula_imp.txt" || n == "model.txt") continue;
    EXPECT_TRUE(fs::is_directory(tmp / n)) << n;
    EXPECT_TRUE(fs::is_empty(tmp / n)) << n;
  }
  EXPECT_EQ(ler_arquivo(tmp / "Simula_imp.txt"), ANTERIOR);
}

// Marks a path immutable (even root can then neither create entries in a directory nor replace
// a file) and clears the mark when it goes out of scope. Needs a file system with attributes
// (ext4, xfs, btrfs); feito() says whether it worked.
class Imutavel {
 public:
  explicit Imutavel(std::string caminho) : caminho_(std::move(caminho)) {
    feito_ = std::system(("chattr +i '" + caminho_ + "' 2>/dev/null").c_str()) == 0;
  }
  ~Imutavel() {
    if (feito_) std::system(("chattr -i '" + caminho_ + "'").c_str());
  }
  bool feito() const { return feito_; }

 private:
  std::string caminho_;
  bool feito_;
};

// The temporary file cannot be created beside the report.
TEST(FalhaRelatorio, ImmutableDirectory) {
  DiretorioTemporario tmp;
  escrever_arquivo(tmp / "model.txt", MODELO);
  const std::string dir = tmp / "imutavel";
  fs::create_directory(dir);
  escrever_arquivo(dir + "/Simula_imp.txt", ANTERIOR);
  Imutavel marca(dir);
  if (!marca.feito()) GTEST_SKIP() << "chattr +i does not work on " << dir << "'s file system";

  espera_falha(executar_tarvo(tmp.caminho(), {"../model.txt"}, "1", "cd imutavel"),
               mensagem("permissao negada", EPERM));
  EXPECT_EQ(entradas(dir), std::vector<std::string>{"Simula_imp.txt"});
  EXPECT_EQ(ler_arquivo(dir + "/Simula_imp.txt"), ANTERIOR);
}

// The temporary file is written in full, but cannot be renamed over the earlier report.
TEST(FalhaRelatorio, ImmutableEarlierReport) {
  DiretorioTemporario tmp;
  escrever_arquivo(tmp / "model.txt", MODELO);
  escrever_arquivo(tmp / "Simula_imp.txt", ANTERIOR);
  Imutavel marca(tmp / "Simula_imp.txt");
  if (!marca.feito()) GTEST_SKIP() << "chattr +i does not work on " << tmp.caminho();

  espera_falha(executar_tarvo(tmp.caminho(), {"model.txt"}, "1"),
               mensagem("permissao negada", EPERM));
  EXPECT_EQ(tmp.arquivos(), (std::vector<std::string>{"Simula_imp.txt", "model.txt"}));
  EXPECT_EQ(ler_arquivo(tmp / "Simula_imp.txt"), ANTERIOR);
}

// A full file system: the temporary file is created, its data cannot be written.
TEST(FalhaRelatorio, FullFileSystem) {
  DiretorioTemporario tmp;
  escrever_arquivo(tmp / "model.txt", MODELO);
  const std::string dir = tmp / "cheio";
  fs::create_directory(dir);
  if (mount("tarvo-teste", dir.c_str(), "tmpfs", 0, "size=16k") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  }
  struct Desmonta {
    std::string dir;
    ~Desmonta() { umount2(dir.c_str(), MNT_DETACH); }
  } desmonta{dir};
  escrever_arquivo(dir + "/Simula_imp.txt", ANTERIOR);
  {
    std::ofstream enche(dir + "/enchimento", std::ios::binary);
    const std::string bloco(1024, 'x');
    for (int i = 0; i < 64 && enche.write(bloco.data(), 1024) && enche.flush(); ++i) {
    }
  }
  ASSERT_LT(fs::space(dir).available, 1024u) << "the tmpfs did not fill up";

  espera_falha(executar_tarvo(tmp.caminho(), {"../model.txt"}, "1", "cd cheio"),
               mensagem("disco cheio", ENOSPC));
  EXPECT_EQ(entradas(dir), (std::vector<std::string>{"Simula_imp.txt", "enchimento"}));
  EXPECT_EQ(ler_arquivo(dir + "/Simula_imp.txt"), ANTERIOR);
}

}  // namespace
}  // namespace tarvo::teste
