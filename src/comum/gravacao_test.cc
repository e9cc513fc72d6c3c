// Files replaced whole even when the user asks the program to stop while they are written.
#include "comum/gravacao.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "processo.h"

namespace tarvo::teste {
namespace {

// What the signal handler saw, where a signal's default action would have ended the process.
std::string g_diretorio;
std::size_t g_tamanho = 0;  // of the destination, when the signal arrived
int g_temporarios = -1;     // files named ".*" in the directory then

extern "C" void anotar(int) {
  char buf[4096];
  const int fd = open((g_diretorio + "/saida.txt").c_str(), O_RDONLY);
  g_tamanho = 0;
  if (fd >= 0) {
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) g_tamanho += static_cast<std::size_t>(n);
    close(fd);
  }
  g_temporarios = 0;
  if (DIR* d = opendir(g_diretorio.c_str())) {
    while (const dirent* e = readdir(d))
      g_temporarios += e->d_name[0] == '.' && e->d_name[1] != '.' && e->d_name[1] != '\0';
    closedir(d);
  }
}

// SIGINT or SIGTERM in the middle of the writing arrives once the file is in place: had it
// ended the program, the file would be whole and no temporary file left behind.
TEST(Gravacao, ASignalWaitsForTheFileToBeInPlace) {
  DiretorioTemporario tmp;
  g_diretorio = tmp.caminho();
  const std::string texto(1 << 20, 'x');
  for (int sinal : {SIGINT, SIGTERM}) {
    struct sigaction a {
    }, antes{};
    a.sa_handler = anotar;
    sigaction(sinal, &a, &antes);
    g_temporarios = -1;
    const int erro = gravar_substituindo(tmp / "saida.txt", [&](std::FILE* out) {
      std::fwrite(texto.data(), 1, texto.size() / 2, out);
      raise(sinal);
      std::fwrite(texto.data() + texto.size() / 2, 1, texto.size() - texto.size() / 2, out);
    });
    sigaction(sinal, &antes, nullptr);
    EXPECT_EQ(erro, 0);
    EXPECT_EQ(g_temporarios, 0) << sinal;
    EXPECT_EQ(g_tamanho, texto.size()) << sinal;
  }
}

}  // namespace
}  // namespace tarvo::teste
