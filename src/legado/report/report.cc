// The report: every text, width and rounding point below shows in the file.
#include "legado/report/report.h"

#include <string>

#include "comum/failure.h"
#include "comum/gravacao.h"

namespace tarvo {

namespace {

const char* const REGRA = "----------------------------------------------------------------";
const char* const UNIFORME_LEGENDA =
    "                     [2] - uniforme    ==> [2] INF :__ SUP :__";

void cabecalho(const Simulacao& sim, int termino, std::FILE* out) {
  const Rede& r = sim.rede;
  std::fprintf(out, " %s \n ", "TARVO");
  std::fprintf(out, "\n\n %s", "TIPO DO TERMINO : ");
  std::fprintf(out, "%s",
               termino == 0 ? "tempo simulado estipulado" : "numero de clientes estipulado");
  std::fprintf(out, "\n\n %s %10.2f",
               "********** TEMPO SIMULADO           : ", static_cast<double>(sim.Tsimul));
  Contagem total = 0;
  for (int j = 1; j <= r.nfontes; ++j) total += r.fontes[j].gerados;
  std::fprintf(out, "\n %s %10lld",
               "********** NUM. DE CLIENTES GERADOS : ", static_cast<long long>(total));
}

void fontes(const Rede& r, std::FILE* out) {
  std::fprintf(out, "\n \n %s \n\n %s \n %s", "******************** FONTES ********************",
               "LEGENDA :", "---------");
  std::fprintf(out, "\n\n %s \n\n %s \n %s \n %s",
               "NUM.CLIENTE.GER  ==> numero de clientes gerados pela FONTE",
               "TEMPO DE GERACAO ==> proveniente do arquivo de entrada de dados",
               "\t              [1] - exponencial ==> [1] MED :__", UNIFORME_LEGENDA);
  std::fprintf(out, "\n\n %s \n %s ", "FONTE - NUM.CLIENTE.GER. - TAXA DE GERACAO",
               "           [clientes]       [uts/cliente]      ");
  for (int j = 1; j <= r.nfontes; ++j) {
    const Fonte& f = r.fontes[j];
    std::fprintf(out, "\n %s", REGRA);
    std::fprintf(out, "\n %4d %13lld", j, static_cast<long long>(f.gerados));
    if (f.tipo == DIST_EXPONENCIAL) {
      std::fprintf(out, " %s %8.4f", "       [1] MED :", static_cast<double>(f.med));
    } else if (f.tipo == DIST_UNIFORME) {
      std::fprintf(out, " %s %8.4f %s %8.4f", "       [2] INF :", static_cast<double>(f.inf),
                   " SUP :", static_cast<double>(f.sup));
    }
  }
}

void servidores(const Simulacao& sim, std::FILE* out) {
  const Rede& r = sim.rede;
  std::fprintf(out, "\f \n \n %s \n\n %s \n %s",
               "******************** SERVIDORES ********************", "LEGENDA :", "---------");
  std::fprintf(out, "\n\n %s \n %s \n\n %s \n %s \n\n %s \n\n %s \n %s \n\n %s \n %s \n %s",
               "UTILIZ           ==> parte do tempo que o servidor processou ",
               "                     clientes frente ao tempo total simulado",
               "CLI.FIM.         ==> se o servidor tem cliente em servico no final",
               "                     da simulacao : 0 -> NAO ; 1 -> SIM.",
               "NUM.CLI.         ==> numero total de clientes servidos",
               "TX DE SERVICO    ==> numero medio de clientes por uts servidos",
               "\t\t      calculado pelo simulador",
               "TEMPO DE SERVICO ==> proveniente do arquivo de entrada de dados",
               "\t\t      [1] - exponencial ==> [1] MED :__", UNIFORME_LEGENDA);
  std::fprintf(out, "\n\n %s \n %s",
               "SERV. - UTILIZ. - CLI.FIM. - NUM.CLI. - TX DE SERVICO - TEMPO DE SERVICO",
               "                   [0-1]    [clientes]  [cliente/uts]   [uts/cliente]");
  const double T = static_cast<double>(sim.Tsimul);
  for (int j = 1; j <= r.nservidores; ++j) {
    const Servidor& s = r.servidores[j];
    const LinhaServidor l = linha_servidor(s, T);
    std::fprintf(out, "\n %s", REGRA);
    std::fprintf(out, "\n %4d %11.4f %8d %10lld %14.4f", j, static_cast<double>(l.utilizacao),
                 s.ocupado, static_cast<long long>(s.atendidos), l.taxa);
    if (s.tipo == DIST_EXPONENCIAL) {
      std::fprintf(out, " %s %7.4f", "     [1] MED :", static_cast<double>(s.med));
    } else if (s.tipo == DIST_UNIFORME) {
      std::fprintf(out, " %s %7.4f %s %7.4f", "     [2] INF :", static_cast<double>(s.inf),
                   " SUP :", static_cast<double>(s.sup));
    }
  }
}

void filas(const Simulacao& sim, std::FILE* out) {
  const Rede& r = sim.rede;
  std::fprintf(out, "\f \n \n %s \n\n %s \n %s", "******************** FILAS ********************",
               "LEGENDA :", "---------");
  std::fprintf(out, "\n\n %s \n\n %s \n\n %s \n\n %s \n\n %s",
               "TX.CHG.      ==> taxa de chegada media de fregueses na fila",
               "TAM.MED.FIL. ==> numero medio de clientes na fila",
               "TEM.MED.FIL. ==> tempo medio de espera de um cliente na fila",
               "MAX.CLI.     ==> numero maximo de clientes ocorrido na fila",
               "CLI.TER.     ==> numero de clientes na fila no termino da simulacao");
  std::fprintf(out, "\n\n\n %s \n %s",
               "FILA - TX.CHG. - TAM.MED.FIL - TEM.MED.FIL - MAX.CLI. - CLI.TER.",
               "      [cli/uts]  [clientes]       [uts]     [clientes] [clientes]");
  const double T = static_cast<double>(sim.Tsimul);
  for (int j = 1; j <= r.nfilas; ++j) {
    const Fila& q = r.filas[j];
    std::fprintf(out, "\n %s", REGRA);
    if (j < r.nfilas) {
      const LinhaFila l = linha_fila(q, T);
      std::fprintf(out, "\n %4d %10.4f %14.4f %16.4f %10lld %10lld", j, static_cast<double>(l.taxa),
                   static_cast<double>(l.medio), static_cast<double>(l.espera),
                   static_cast<long long>(q.maximo), static_cast<long long>(q.tamanho));
    } else {
      std::fprintf(out, "\n %s %10lld", "SORVEDOURO                                          ",
                   static_cast<long long>(q.tamanho));
    }
  }
}

}  // namespace

LinhaServidor linha_servidor(const Servidor& s, double T) {
  // Utilisation is rounded before the service rate is formed from it.
  const float util = static_cast<float>(static_cast<double>(s.tocupado) / T);
  return {util, static_cast<double>(s.atendidos) / (T * static_cast<double>(util))};
}

LinhaFila linha_fila(const Fila& q, double T) {
  const float taxa = static_cast<float>(static_cast<double>(q.chegadas) / T);
  const double medio = static_cast<double>(q.area) / T;
  // Little's law, from the unrounded mean length and the rounded arrival rate.
  return {taxa, static_cast<float>(medio), static_cast<float>(medio / static_cast<double>(taxa))};
}

void relatorio(const Simulacao& sim, int termino, std::FILE* out) {
  cabecalho(sim, termino, out);
  fontes(sim.rede, out);
  servidores(sim, out);
  filas(sim, out);
  std::fprintf(out, "\n\n\n %s", "******************** FINAL DOS RESULTADOS *********************");
  std::fprintf(out, "\n\n");
}

void gravar_relatorio(const Simulacao& sim, int termino, const char* diretorio) {
  const int erro = gravar_substituindo(std::string(diretorio) + "/" + ARQUIVO_RELATORIO,
                                       [&](std::FILE* out) { relatorio(sim, termino, out); });
  if (erro != 0) {
    falha(1, "Erro ao gravar o relatorio %s: %s (codigo %d)\n", ARQUIVO_RELATORIO,
          motivo_erro(erro), erro);
  }
}

}  // namespace tarvo
