// The warning for durations that the clock's precision swallows: one line on standard error at
// the end of the run, on a line of its own after the progress line, and nothing when no duration
// that matters was lost; standard output and the report stay as they are.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "processo.h"

namespace tarvo::teste {
namespace {

Resultado rodar(const DiretorioTemporario& tmp, const std::string& modelo, const char* semente) {
  escrever_arquivo(tmp / "model.txt", modelo);
  const Resultado r = executar_tarvo(tmp.caminho(), {"model.txt"}, semente, "ulimit -t 120");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(sem_banner(r.saida), "");
  EXPECT_TRUE(std::filesystem::exists(tmp / "Simula_imp.txt"));
  return r;
}

std::string aviso(long long perdidos, double desde) {
  char linha[200];
  std::snprintf(linha, sizeof linha,
                "Aviso: %lld eventos perderam a duracao por falta de precisao do relogio, a "
                "partir de Tsimul = %.2f\n",
                perdidos, desde);
  return linha;
}

TEST(AvisoSemDuracao, CountsTheLostDurationsAndTheirFirstTime) {
  // One customer every 3e7 time units, each served for exactly 1. The clock's step is 2 from
  // 2^24 and 4 from 2^25, so 3e7 + 1 and 6e7 + 1 both round back to the clock: the two services
  // that start at the two arrivals lose their duration. The run stops after the arrival at 6e7,
  // the first event past the limit of 4e7. The progress line, which has no line end of its own,
  // shows the state before each of the three events.
  const std::string dois =
      "D 4e7\nN 1000\nE 2 chegada 3e7 3e7\ns 1\nF fila\ns 1\nS 2 caixa 1 1\ne 1\ns 2\nF fim\n";
  const std::string progresso =
      " Tarvo executando  : Tsimul / Nfregues = \x1b[s"
      "\x1b[u        0.00 /       0\x1b[u 30000000.00 /       1"
      "\x1b[u 30000000.00 /       1\n";
  const struct {
    std::string modelo;
    const char* semente;
    std::string erro;
  } casos[] = {
      {dois, "1", aviso(2, 3e7)},
      {"V 1\n" + dois, "1", progresso + aviso(2, 3e7)},
      // To 1e5 the clock's step is 1/128: the durations it swallows are all shorter than 1/64
      // of the mean, the harmless kind.
      {"D 100000\nN 2000000000\nE 1 a 1 0\ns 1\nF q\ns 1\nS 1 x 0.5 0\ne 1\ns 2\nF f\n", "3", ""},
      // An infinite mean puts the arrivals at infinity (the first draw of seed 0 is not 0):
      // every later duration leaves the clock where it is, and that is no loss of precision.
      {"D 100\nN 50\nE 1 a 1e39 0\ns 1\nF f\n", "0", ""},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.modelo);
    const DiretorioTemporario tmp;
    EXPECT_EQ(rodar(tmp, c.modelo, c.semente).erro, c.erro);
  }
}

// Short random inter-arrival times (mean 32) up to 4e7: past 2^24 the clock's step is 2, and the
// draws between half a step and 1/64 of the mean are lost and counted. How many depends on the
// draws; that there are some, and from when, does not.
TEST(AvisoSemDuracao, LongRunPast2To24) {
  const DiretorioTemporario tmp;
  const Resultado r = rodar(tmp, "D 4e7\nN 2000000000\nE 1 a 32 0\ns 1\nF f\n", "7");
  long long perdidos = 0;
  double desde = 0;
  // The line parsed for its two numbers, then rebuilt from them and compared whole.
  ASSERT_EQ(std::sscanf(r.erro.c_str(), "Aviso: %lld eventos %*[^=]= %lf", &perdidos, &desde), 2)
      << r.erro;
  EXPECT_EQ(r.erro, aviso(perdidos, desde));
  EXPECT_GT(perdidos, 0);
  EXPECT_LT(perdidos, 4e7 / 32);
  // Below 2^23 the clock's step is at most 1/2: only draws up to 1/4 are lost, none counted.
  EXPECT_GE(desde, 8388608.0);
  EXPECT_LT(desde, 4e7);
}

}  // namespace
}  // namespace tarvo::teste
