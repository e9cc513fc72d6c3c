// Peak memory of whole runs: the same whatever the run's length or the model file's size, since
// the tables and the event list are fixed and nothing is allocated per event or per line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "processo.h"

namespace tarvo::teste {
namespace {

// Runs tarvo on dir's model.txt and returns its peak resident set, in kilobytes, as the kernel
// accounts it for that one child. A forked child starts from the resident set of this process,
// so this process must hold no large text when it forks.
long pico_kb(const DiretorioTemporario& dir) {
  const pid_t pid = fork();
  if (pid == 0) {
    int nulo = open("/dev/null", O_RDWR);
    if (chdir(dir.caminho().c_str()) != 0 || nulo < 0) _exit(126);
    dup2(nulo, 0);
    dup2(nulo, 1);
    dup2(nulo, 2);
    setenv("TARVO_SEED", "5", 1);
    execl(TARVO_BIN, TARVO_BIN, "model.txt", static_cast<char*>(nullptr));
    _exit(127);
  }
  int st = 0;
  rusage uso{};
  if (pid < 0 || wait4(pid, &st, 0, &uso) != pid) return -1;
  EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << "status " << st;
  return uso.ru_maxrss;
}

// Writes inicio, vezes times trecho, then fim, without holding the whole text in memory.
void escrever_longo(const std::string& caminho, const std::string& inicio,
                    const std::string& trecho, int vezes, const std::string& fim) {
  std::ofstream out(caminho, std::ios::binary);
  out << inicio;
  for (int i = 0; i < vezes; ++i) out << trecho;
  out << fim;
  ASSERT_TRUE(out.flush()) << caminho;
}

// A tandem of two M/M/1 queues, its length set by the customer limit.
std::string tandem(const char* n) {
  return std::string("D 1e30\nN ") + n +
         "\nE 1 a 1 0\ns 1\nF q1\ns 1\nS 1 x 0.7 0\ne 1\ns 2\nF q2\ns 2\nS 1 y 0.8 0\ne 2\ns 3\n"
         "F f\n";
}

// A leak of even a few bytes per event would add megabytes over the longer run, and the model
// file's size does not count either: it is read a piece of a line at a time.
TEST(Memoria, PeakIndependentOfRunLengthAndModelSize) {
  DiretorioTemporario tmp;
  const std::string modelo = tandem("1000");
  escrever_arquivo(tmp / "model.txt", modelo);
  const long base = pico_kb(tmp);
  ASSERT_GT(base, 0);
  escrever_arquivo(tmp / "model.txt", tandem("1000000"));
  EXPECT_LE(pico_kb(tmp), base + base / 4 + 512) << "a long run; a short one " << base << " KB";
  escrever_longo(tmp / "model.txt", "*", std::string(1000, 'x'), 20'000, "\n" + modelo);
  EXPECT_LE(pico_kb(tmp), base + base / 4 + 512) << "a 20 MB line; a small model " << base << " KB";
  escrever_longo(tmp / "model.txt", "", "* comentario\n", 1'000'000, modelo);
  EXPECT_LE(pico_kb(tmp), base + base / 4 + 512) << "a million lines";
}

}  // namespace
}  // namespace tarvo::teste
