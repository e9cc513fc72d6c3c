// The report on hand-built tables: its head and each section's rows, down to the rounding points.
#include "legado/report/report.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "processo.h"

namespace tarvo {
namespace {

const std::string REGRA = "\n ----------------------------------------------------------------";
const std::string SORVEDOURO = "\n SORVEDOURO" + std::string(43, ' ');  // then the count, in 10

std::string texto(const Simulacao& sim, int termino) {
  std::string s = teste::capturar([&](std::FILE* f) { relatorio(sim, termino, f); });
  // A NaN's sign is the hardware's business: "-nan" becomes " nan", keeping the column.
  for (std::size_t p; (p = s.find("-nan")) != std::string::npos;) s[p] = ' ';
  return s;
}

// The rows of a section: what stands between the end of its column head and the next section.
std::string fontes(const std::string& s) {
  const std::size_t a = s.find("[uts/cliente]       ") + 20;
  return s.substr(a, s.find('\f', a) - a);
}
std::string servidores(const std::string& s) {
  const std::size_t a = s.find("[cliente/uts]   [uts/cliente]") + 29;
  return s.substr(a, s.find('\f', a) - a);
}
std::string filas(const std::string& s) {
  const std::size_t a = s.find("[clientes] [clientes]") + 21;
  return s.substr(a, s.find("\n\n\n *****", a) - a);
}

TEST(Relatorio, RowsAndColumns) {
  auto sim = std::make_unique<Simulacao>();
  Rede& r = sim->rede;
  // Whole reports of ordinary runs are compared in the end-to-end cases; here, the rows that only
  // odd states give.
  sim->Tsimul = 100;
  r.nfontes = 2;
  r.fontes[1] = {DIST_UNIFORME, "", 3, 9, 1.5f, 2.25f, nullptr};  // med is not printed
  r.fontes[2].tipo = 0;                                           // ends after its count
  r.nservidores = 4;
  r.servidores[1].tipo = DIST_EXPONENCIAL;  // in its first service: 0 / 0
  r.servidores[1].med = 2.5f;
  r.servidores[1].ocupado = 1;
  r.servidores[2].tipo = DIST_UNIFORME;  // services of no time: 3 / 0
  r.servidores[2].sup = 12.125f;
  r.servidores[2].atendidos = 3;
  r.servidores[3].tipo = 7;  // 3 / (100 * 0.25)
  r.servidores[3].tocupado = 25;
  r.servidores[3].atendidos = 3;
  // Through the utilisation rounded to float: 30000.0011 without that rounding.
  r.servidores[4].tipo = DIST_EXPONENCIAL;
  r.servidores[4].tocupado = 100.0f / 3;
  r.servidores[4].atendidos = 1000000;
  r.nfilas = 4;
  r.filas[1] = {};                                  // no customer: 0 / 0 for the wait
  r.filas[2] = {"", 1, 1, 1, 90, 1, 0, nullptr};    // waiting since 90: no area yet
  r.filas[3] = {"", 13, 2, 5, 0, 0, 457, nullptr};  // from the unrounded length: not 35.1539
  r.filas[4].tamanho = 0;
  const std::string s = texto(*sim, 2);
  EXPECT_EQ(fontes(s), REGRA + "\n    1             3        [2] INF :   1.5000  SUP :   2.2500" +
                           REGRA + "\n    2             0");
  EXPECT_EQ(servidores(s),
            REGRA +
                "\n    1      0.0000        1          0            nan      [1] MED :  2.5000" +
                REGRA +
                "\n    2      0.0000        0          3            inf      [2] INF :  0.0000 "
                " SUP : 12.1250" +
                REGRA + "\n    3      0.2500        0          3         0.1200" + REGRA +
                "\n    4      0.3333        0    1000000     30000.0018      [1] MED :  0.0000");
  EXPECT_EQ(filas(s),
            REGRA + "\n    1     0.0000         0.0000              nan          0          0" +
                REGRA + "\n    2     0.0100         0.0000           0.0000          1          1" +
                REGRA + "\n    3     0.1300         4.5700          35.1538          5          2" +
                REGRA + SORVEDOURO + "         0");

  sim->Tsimul = 0;  // a run that ended before its first event
  EXPECT_EQ(filas(texto(*sim, 1)),
            REGRA + "\n    1        nan            nan              nan          0          0" +
                REGRA + "\n    2        inf            nan              nan          1          1" +
                REGRA + "\n    3        inf            inf              nan          5          2" +
                REGRA + SORVEDOURO + "         0");
}

}  // namespace
}  // namespace tarvo
