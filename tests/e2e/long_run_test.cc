// The warning for durations that the clock's precision swallows: one line on standard error at
// the end of a long run, nothing on a normal one, the report and standard output unchanged.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "processo.h"

namespace tarvo::teste {
namespace {

Resultado rodar(const DiretorioTemporario& tmp, const std::string& modelo, const char* semente) {
  escrever_arquivo(tmp / "model.txt", modelo);
  return executar_tarvo(tmp.caminho(), {"model.txt"}, semente, "ulimit -t 120");
}

// One customer every 3e7 time units, each served for exactly 1. The clock's step is 2 from
// 2^24 and 4 from 2^25, so 3e7 + 1 and 6e7 + 1 both round back to the clock: the two services
// that start at the two arrivals lose their duration. The run stops after the arrival at 6e7,
// the first event past the limit of 4e7.
const char* const DOIS_PERDIDOS =
    "D 4e7\nN 1000\nE 2 chegada 3e7 3e7\ns 1\nF fila\ns 1\nS 2 caixa 1 1\ne 1\ns 2\nF fim\n";
const char* const AVISO_DOIS_PERDIDOS =
    "Aviso: 2 eventos perderam a duracao por falta de precisao do relogio, a partir de "
    "Tsimul = 30000000.00\n";

TEST(AvisoSemDuracao, CountsTheLostDurationsAndTheirFirstTime) {
  DiretorioTemporario tmp;
  const Resultado r = rodar(tmp, DOIS_PERDIDOS, "1");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(sem_banner(r.saida), "");
  EXPECT_EQ(r.erro, AVISO_DOIS_PERDIDOS);
  const std::string rel = ler_arquivo(tmp / "Simula_imp.txt");
  EXPECT_NE(rel.find("\n\n ********** TEMPO SIMULADO           :  60000000.00\n"
                     " ********** NUM. DE CLIENTES GERADOS :           2\n"),
            std::string::npos);
}

// The progress line has no line end of its own; the warning starts on a line of its own. The
// line shows the state before each of the three events: the start, then twice the clock and the
// count left by the arrival at 3e7.
TEST(AvisoSemDuracao, FollowsTheProgressLineOnItsOwnLine) {
  DiretorioTemporario tmp;
  const Resultado r = rodar(tmp, std::string("V 1\n") + DOIS_PERDIDOS, "1");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.erro, std::string(" Tarvo executando  : Tsimul / Nfregues = \x1b[s") +
                        "\x1b[u        0.00 /       0" + "\x1b[u 30000000.00 /       1" +
                        "\x1b[u 30000000.00 /       1" + "\n" + AVISO_DOIS_PERDIDOS);
}

// A long run of short random inter-arrival times (mean 32) up to 4e7: past 2^24 the clock's
// step is 2, and the draws between half a step and 1/64 of the mean are lost and counted. How
// many depends on the draws; that there are some, and from when, does not.
TEST(AvisoSemDuracao, LongRunPast2To24) {
  DiretorioTemporario tmp;
  const Resultado r = rodar(tmp, "D 4e7\nN 2000000000\nE 1 a 32 0\ns 1\nF f\n", "7");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(sem_banner(r.saida), "");
  // The line parsed for its two numbers, then rebuilt from them and compared whole.
  long long perdidos = 0;
  double desde = 0;
  ASSERT_EQ(std::sscanf(r.erro.c_str(),
                        "Aviso: %lld eventos perderam a duracao por falta de "
                        "precisao do relogio, a partir de Tsimul = %lf",
                        &perdidos, &desde),
            2)
      << r.erro;
  char linha[200];
  std::snprintf(linha, sizeof linha,
                "Aviso: %lld eventos perderam a duracao por falta de precisao do relogio, a "
                "partir de Tsimul = %.2f\n",
                perdidos, desde);
  EXPECT_EQ(r.erro, linha);
  EXPECT_GT(perdidos, 0);
  EXPECT_LT(perdidos, 4e7 / 32);
  // Below 2^23 the clock's step is at most 1/2: only draws up to 1/4 are lost, none counted.
  EXPECT_GE(desde, 8388608.0);
  EXPECT_LT(desde, 4e7);
  EXPECT_TRUE(existe(tmp / "Simula_imp.txt"));
}

// Runs that end well before the clock's step matters print nothing on standard error. The M/M/1
// runs to 1e5, where the step is 1/128: the durations it swallows are all shorter than 1/64 of
// the mean, the harmless kind.
TEST(AvisoSemDuracao, NormalRunsStaySilent) {
  const char* const modelos[] = {
      "D 1000\nN 500\nE 1 porta 5.0 0\ns 1\nF espera\ns 1\nS 2 caixa 2.0 6.0\ne 1\ns 2\nF fim\n",
      "D 100000\nN 2000000000\nE 1 a 1 0\ns 1\nF q\ns 1\nS 1 x 0.5 0\ne 1\ns 2\nF f\n",
  };
  for (const char* modelo : modelos) {
    SCOPED_TRACE(modelo);
    DiretorioTemporario tmp;
    const Resultado r = rodar(tmp, modelo, "3");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.erro, "");
    EXPECT_TRUE(existe(tmp / "Simula_imp.txt"));
  }
}

// An infinite mean puts the arrivals at infinity (the first draw of seed 0 is not 0). Every
// later duration leaves the clock where it is, but at infinity that is no loss of precision.
TEST(AvisoSemDuracao, NoneAtAnInfiniteClock) {
  DiretorioTemporario tmp;
  const Resultado r = rodar(tmp, "D 100\nN 50\nV 0\nE 1 a 1e39 0\ns 1\nF f\n", "0");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.erro, "");
  EXPECT_NE(ler_arquivo(tmp / "Simula_imp.txt").find("TEMPO SIMULADO           :         inf\n"),
            std::string::npos);
}

}  // namespace
}  // namespace tarvo::teste
