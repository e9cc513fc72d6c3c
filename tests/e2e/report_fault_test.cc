// Writing the report when the file system refuses: every failure must leave a clear message,
// status 1, no temporary file and an earlier report exactly as it was.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "processo.h"

namespace tarvo::teste {
namespace {

namespace fs = std::filesystem;

const char* const ANTERIOR = "relatorio de uma execucao anterior\n";

TEST(FalhaRelatorio, LeavesNoTemporaryFileAndTheEarlierReport) {
  // tarvo runs in a directory holding an earlier report and a directory sub/ holding another,
  // after the shell commands of `antes`, which can change its directory or its limits. The
  // shell's process id is tarvo's, since it execs it.
  const struct {
    const char* antes;
    const char* imutavel;  // a path made immutable first, or nullptr
    const char* motivo;
    int codigo;
  } casos[] = {
      {"rm Simula_imp.txt && mkdir Simula_imp.txt", nullptr, "existe um diretorio com esse nome",
       EISDIR},
      // The kernel signals a write past the limit; the write must fail instead of the process
      // dying with its temporary file in place. In blocks of 512 bytes, the limit also applies
      // to the captured standard output: one block holds the message, four hold part of the
      // report (about 2200 bytes).
      {"ulimit -f 1", nullptr, "limite de tamanho de arquivo excedido", EFBIG},
      {"ulimit -f 4", nullptr, "limite de tamanho de arquivo excedido", EFBIG},
      // Nothing can be created in a directory that has been removed.
      {"mkdir sumido && cd sumido && rmdir ../sumido", nullptr, "diretorio inexistente", ENOENT},
      {"n=; i=0; while [ $i -lt 100 ]; do n=\"$n .Simula_imp.txt.$$.$i\"; i=$((i + 1)); done; "
       "mkdir $n",
       nullptr, "nenhum nome livre para o arquivo temporario", EEXIST},
      // Immutable (even root can then neither create entries in a directory nor replace a file;
      // it needs a file system with attributes): no temporary file can be created beside the
      // report; then it is written in full but cannot be renamed over the earlier one.
      {"cd sub", "sub", "permissao negada", EPERM},
      {"", "Simula_imp.txt", "permissao negada", EPERM},
  };
  ASSERT_EQ(std::system("command -v chattr >/dev/null"), 0)
      << "chattr is not installed (apt-get install e2fsprogs)";
  for (const auto& c : casos) {
    SCOPED_TRACE(c.antes);
    const DiretorioTemporario tmp;
    escrever_arquivo(tmp / "model.txt", "D 100\nN 3\nE 2 chegada 1 1\ns 1\nF fila\n");
    escrever_arquivo(tmp / "Simula_imp.txt", ANTERIOR);
    fs::create_directory(tmp / "sub");
    escrever_arquivo(tmp / "sub/Simula_imp.txt", ANTERIOR);
    const std::string marca = c.imutavel ? "'" + tmp / c.imutavel + "'" : "";
    if (c.imutavel && std::system(("chattr +i " + marca + " 2>/dev/null").c_str()) != 0) {
      std::printf("chattr +i does not work on %s: case skipped\n", tmp.caminho().c_str());
      continue;
    }
    const Resultado r = executar_tarvo(tmp.caminho(), {tmp / "model.txt"}, "1", c.antes);
    if (c.imutavel) {
      EXPECT_EQ(std::system(("chattr -i " + marca).c_str()), 0);
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(sem_banner(r.saida), std::string("Erro ao gravar o relatorio Simula_imp.txt: ") +
                                       c.motivo + " (codigo " + std::to_string(c.codigo) + ")\n");
    EXPECT_EQ(r.erro, "");
    for (const auto& e : fs::recursive_directory_iterator(tmp.caminho())) {
      if (!e.is_regular_file()) continue;
      const std::string nome = e.path().filename();
      EXPECT_NE(nome.rfind(".Simula_imp.txt", 0), 0u) << "left behind: " << e.path();
      if (nome == "Simula_imp.txt") {
        EXPECT_EQ(ler_arquivo(e.path()), ANTERIOR) << e.path();
      }
    }
  }
}

}  // namespace
}  // namespace tarvo::teste
