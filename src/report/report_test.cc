// The report on hand-built networks: whole texts for tiny ones, rows and columns for the rest.
#include "report/report.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "processo.h"

namespace tarvo {
namespace {

// The fixed blocks, written out from the layout of the report: each section's banner, legend
// and column head, with no rows.
const std::string FONTES =
    "\n \n ******************** FONTES ******************** \n\n LEGENDA : \n ---------"
    "\n\n NUM.CLIENTE.GER  ==> numero de clientes gerados pela FONTE "
    "\n\n TEMPO DE GERACAO ==> proveniente do arquivo de entrada de dados "
    "\n \t              [1] - exponencial ==> [1] MED :__ "
    "\n                      [2] - uniforme    ==> [2] INF :__ SUP :__"
    "\n\n FONTE - NUM.CLIENTE.GER. - TAXA DE GERACAO "
    "\n            [clientes]       [uts/cliente]       ";
const std::string SERVIDORES =
    "\f \n \n ******************** SERVIDORES ******************** \n\n LEGENDA : \n ---------"
    "\n\n UTILIZ           ==> parte do tempo que o servidor processou  "
    "\n                      clientes frente ao tempo total simulado "
    "\n\n CLI.FIM.         ==> se o servidor tem cliente em servico no final "
    "\n                      da simulacao : 0 -> NAO ; 1 -> SIM. "
    "\n\n NUM.CLI.         ==> numero total de clientes servidos "
    "\n\n TX DE SERVICO    ==> numero medio de clientes por uts servidos "
    "\n \t\t      calculado pelo simulador "
    "\n\n TEMPO DE SERVICO ==> proveniente do arquivo de entrada de dados "
    "\n \t\t      [1] - exponencial ==> [1] MED :__ "
    "\n                      [2] - uniforme    ==> [2] INF :__ SUP :__"
    "\n\n SERV. - UTILIZ. - CLI.FIM. - NUM.CLI. - TX DE SERVICO - TEMPO DE SERVICO "
    "\n                    [0-1]    [clientes]  [cliente/uts]   [uts/cliente]";
const std::string FILAS =
    "\f \n \n ******************** FILAS ******************** \n\n LEGENDA : \n ---------"
    "\n\n TX.CHG.      ==> taxa de chegada media de fregueses na fila "
    "\n\n TAM.MED.FIL. ==> numero medio de clientes na fila "
    "\n\n TEM.MED.FIL. ==> tempo medio de espera de um cliente na fila "
    "\n\n MAX.CLI.     ==> numero maximo de clientes ocorrido na fila "
    "\n\n CLI.TER.     ==> numero de clientes na fila no termino da simulacao"
    "\n\n\n FILA - TX.CHG. - TAM.MED.FIL - TEM.MED.FIL - MAX.CLI. - CLI.TER. "
    "\n       [cli/uts]  [clientes]       [uts]     [clientes] [clientes]";
const std::string FINAL =
    "\n\n\n ******************** FINAL DOS RESULTADOS *********************\n\n";
const std::string REGRA = "\n ----------------------------------------------------------------";

std::string texto(const Simulacao& sim, int termino) {
  char* buf = nullptr;
  std::size_t n = 0;
  std::FILE* out = open_memstream(&buf, &n);
  relatorio(sim, termino, out);
  std::fclose(out);
  std::string s(buf, n);
  std::free(buf);
  // A NaN's sign is the hardware's business: "-nan" becomes " nan", keeping the column.
  for (std::size_t p; (p = s.find("-nan")) != std::string::npos;) s[p] = ' ';
  return s;
}

// The rows of one section: what follows its column head, up to the next section.
std::string linhas(const std::string& relatorio, const std::string& secao, const std::string& fim) {
  const std::size_t a = relatorio.find(secao), b = relatorio.find(fim, a);
  if (a == std::string::npos || b == std::string::npos) return "(section missing)";
  return relatorio.substr(a + secao.size(), b - a - secao.size());
}

TEST(Relatorio, WholeTextOfTinyNetworks) {
  auto vazio = std::make_unique<Simulacao>();
  EXPECT_EQ(texto(*vazio, 1),
            " TARVO \n \n\n TIPO DO TERMINO : numero de clientes estipulado"
            "\n\n ********** TEMPO SIMULADO           :        0.00"
            "\n ********** NUM. DE CLIENTES GERADOS :           0" +
                FONTES + SERVIDORES + FILAS + FINAL);

  auto uma = std::make_unique<Simulacao>();  // its only queue is the sink
  uma->Tsimul = 12345.678f;
  uma->rede.nfilas = 1;
  uma->rede.filas[1] = {"", 9, 48, 50, 3, 48, 7.5f, nullptr};
  EXPECT_EQ(texto(*uma, 0),
            " TARVO \n \n\n TIPO DO TERMINO : tempo simulado estipulado"
            "\n\n ********** TEMPO SIMULADO           :    12345.68"
            "\n ********** NUM. DE CLIENTES GERADOS :           0" +
                FONTES + SERVIDORES + FILAS + REGRA +
                "\n SORVEDOURO                                                   48" + FINAL);
}

TEST(Relatorio, SampleRun) {
  auto sim = std::make_unique<Simulacao>();
  Rede& r = sim->rede;
  sim->Tsimul = 500;
  r.nfontes = 1;
  r.fontes[1].tipo = DIST_EXPONENCIAL;
  r.fontes[1].med = 5;
  r.fontes[1].gerados = 247;
  r.nfilas = 2;
  r.filas[1].chegadas = 247;
  r.filas[1].area = 80.25f;
  r.filas[1].maximo = 7;
  r.filas[1].tamanho = 2;
  r.filas[2].tamanho = 99;
  const std::string s = texto(*sim, 0);
  const std::string cabeca =
      " TARVO \n \n\n TIPO DO TERMINO : tempo simulado estipulado\n\n"
      " ********** TEMPO SIMULADO           :      500.00\n"
      " ********** NUM. DE CLIENTES GERADOS :         247";
  EXPECT_EQ(s.substr(0, cabeca.size() + FONTES.size()), cabeca + FONTES);
  EXPECT_EQ(linhas(s, FONTES, SERVIDORES),
            REGRA + "\n    1           247        [1] MED :   5.0000");
  EXPECT_EQ(linhas(s, FILAS, FINAL),
            REGRA + "\n    1     0.4940         0.1605           0.3249          7          2" +
                REGRA + "\n SORVEDOURO                                                   99");
}

TEST(Relatorio, RowsWithDivisionsByZeroAndOddTypes) {
  auto sim = std::make_unique<Simulacao>();
  Rede& r = sim->rede;
  sim->Tsimul = 100;
  r.nfontes = 2;
  r.fontes[1] = {DIST_UNIFORME, "", 3, 9, 1.5f, 2.25f, nullptr};  // med not printed
  r.fontes[2].tipo = 0;                                           // ends after its count
  r.nservidores = 4;
  r.servidores[1].tipo = DIST_EXPONENCIAL;  // in its first service: 0 / 0
  r.servidores[1].med = 2.5f;
  r.servidores[1].ocupado = 1;
  r.servidores[2].tipo = DIST_UNIFORME;  // services of no time: 3 / 0
  r.servidores[2].sup = 12.125f;
  r.servidores[2].atendidos = 3;
  r.servidores[3].tipo = 7;  // utilisation 0.25 rounds the rate: 3 / (100 * 0.25)
  r.servidores[3].tocupado = 25;
  r.servidores[3].atendidos = 3;
  // The rate goes through the utilisation rounded to float: 30000.0011 without that rounding.
  r.servidores[4].tipo = DIST_EXPONENCIAL;
  r.servidores[4].tocupado = 100.0f / 3;
  r.servidores[4].atendidos = 1000000;
  r.nfilas = 4;
  r.filas[2].tamanho = r.filas[2].maximo = 1;  // waiting since its last change: no area yet
  r.filas[2].chegadas = 1;
  r.filas[3].chegadas = 13;  // the wait comes from the unrounded mean length: not 35.1539
  r.filas[3].area = 457;
  r.filas[3].maximo = 5;
  r.filas[3].tamanho = 2;
  const std::string s = texto(*sim, 1);
  EXPECT_EQ(linhas(s, FONTES, SERVIDORES),
            REGRA + "\n    1             3        [2] INF :   1.5000  SUP :   2.2500" + REGRA +
                "\n    2             0");
  EXPECT_EQ(linhas(s, SERVIDORES, FILAS),
            REGRA +
                "\n    1      0.0000        1          0            nan      [1] MED :  2.5000" +
                REGRA +
                "\n    2      0.0000        0          3            inf      [2] INF :  0.0000 "
                " SUP : 12.1250" +
                REGRA + "\n    3      0.2500        0          3         0.1200" + REGRA +
                "\n    4      0.3333        0    1000000     30000.0018      [1] MED :  0.0000");
  EXPECT_EQ(linhas(s, FILAS, FINAL),
            REGRA + "\n    1     0.0000         0.0000              nan          0          0" +
                REGRA + "\n    2     0.0100         0.0000           0.0000          1          1" +
                REGRA + "\n    3     0.1300         4.5700          35.1538          5          2" +
                REGRA + "\n SORVEDOURO                                                    0");

  sim->Tsimul = 0;  // a run that ended before its first event
  const std::string zero = texto(*sim, 1);
  EXPECT_EQ(linhas(zero, FILAS, FINAL),
            REGRA + "\n    1        nan            nan              nan          0          0" +
                REGRA + "\n    2        inf            nan              nan          1          1" +
                REGRA + "\n    3        inf            inf              nan          5          2" +
                REGRA + "\n SORVEDOURO                                                    0");
}

TEST(Relatorio, GravarReplacesTheReportAtomically) {
  auto sim = std::make_unique<Simulacao>();
  sim->Tsimul = 3;
  teste::DiretorioTemporario dir;
  teste::escrever_arquivo(dir / "Simula_imp.txt", "antigo");
  gravar_relatorio(*sim, 0, dir.caminho().c_str());
  EXPECT_EQ(teste::ler_arquivo(dir / "Simula_imp.txt"), texto(*sim, 0));
  EXPECT_EQ(dir.arquivos(), std::vector<std::string>{"Simula_imp.txt"});

  // A directory in the report's place cannot be replaced: a message, no temporary file left.
  teste::DiretorioTemporario ocupado;
  ASSERT_EQ(mkdir((ocupado / "Simula_imp.txt").c_str(), 0755), 0);
  try {
    gravar_relatorio(*sim, 0, ocupado.caminho().c_str());
    ADD_FAILURE() << "written over a directory";
  } catch (const Falha& f) {
    EXPECT_EQ(f.status, 1);
    EXPECT_EQ(f.texto.rfind("Erro ao gravar o relatorio Simula_imp.txt: ", 0), 0u) << f.texto;
  }
  EXPECT_EQ(ocupado.arquivos(), std::vector<std::string>{"Simula_imp.txt"});
  EXPECT_THROW(gravar_relatorio(*sim, 0, "/nonexistent/dir"), Falha);
}

}  // namespace
}  // namespace tarvo
