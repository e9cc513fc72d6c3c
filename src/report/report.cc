// The report: every text, width and rounding point below shows in the file.
#include "report/report.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "model/failure.h"

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
    // Utilisation is rounded before the service rate is formed from it.
    const float util = static_cast<float>(static_cast<double>(s.tocupado) / T);
    const double taxa = static_cast<double>(s.atendidos) / (T * static_cast<double>(util));
    std::fprintf(out, "\n %s", REGRA);
    std::fprintf(out, "\n %4d %11.4f %8d %10lld %14.4f", j, static_cast<double>(util), s.ocupado,
                 static_cast<long long>(s.atendidos), taxa);
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
      const float taxa = static_cast<float>(static_cast<double>(q.chegadas) / T);
      const double medio = static_cast<double>(q.area) / T;
      // Little's law, from the unrounded mean length and the rounded arrival rate.
      const float espera = static_cast<float>(medio / static_cast<double>(taxa));
      std::fprintf(out, "\n %4d %10.4f %14.4f %16.4f %10lld %10lld", j, static_cast<double>(taxa),
                   static_cast<double>(static_cast<float>(medio)), static_cast<double>(espera),
                   static_cast<long long>(q.maximo), static_cast<long long>(q.tamanho));
    } else {
      std::fprintf(out, "\n %s %10lld", "SORVEDOURO                                          ",
                   static_cast<long long>(q.tamanho));
    }
  }
}

// Why a file operation failed, in words for the report's failure message.
const char* motivo(int erro) {
  switch (erro) {
    case EISDIR:
      return "existe um diretorio com esse nome";
    case ENOSPC:
      return "disco cheio";
    case EDQUOT:
      return "cota de disco esgotada";
    case EFBIG:
      return "limite de tamanho de arquivo excedido";
    case EACCES:
    case EPERM:
      return "permissao negada";
    case EROFS:
      return "sistema de arquivos somente para leitura";
    case ENOENT:
    case ENOTDIR:
      return "diretorio inexistente";
    case EIO:
      return "erro de entrada e saida";
    case EEXIST:
      return "nenhum nome livre para o arquivo temporario";
    case EMFILE:
    case ENFILE:
      return "arquivos abertos demais";
    default:
      return "erro do sistema";
  }
}

[[noreturn]] void falha_relatorio(const std::string& temporario, int erro) {
  if (!temporario.empty()) unlink(temporario.c_str());
  falha(1, "Erro ao gravar o relatorio %s: %s (codigo %d)\n", ARQUIVO_RELATORIO, motivo(erro),
        erro);
}

}  // namespace

void relatorio(const Simulacao& sim, int termino, std::FILE* out) {
  cabecalho(sim, termino, out);
  fontes(sim.rede, out);
  servidores(sim, out);
  filas(sim, out);
  std::fprintf(out, "\n\n\n %s", "******************** FINAL DOS RESULTADOS *********************");
  std::fprintf(out, "\n\n");
}

void gravar_relatorio(const Simulacao& sim, int termino, const char* diretorio) {
  const std::string dir = diretorio;
  const std::string final = dir + "/" + ARQUIVO_RELATORIO;
  std::string temporario;
  int fd = -1;
  // A name of our own, created exclusively, so that the file gets the usual permissions.
  for (int tentativa = 0; fd < 0 && tentativa < 100; ++tentativa) {
    temporario = dir + "/." + ARQUIVO_RELATORIO + "." + std::to_string(getpid()) + "." +
                 std::to_string(tentativa);
    fd = open(temporario.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) falha_relatorio("", errno);
  std::FILE* out = fdopen(fd, "w");
  if (out == nullptr) {
    int erro = errno;
    close(fd);
    falha_relatorio(temporario, erro);
  }
  relatorio(sim, termino, out);
  int erro = 0;
  if (std::fflush(out) != 0 || std::ferror(out)) erro = errno ? errno : EIO;
  if (std::fclose(out) != 0 && erro == 0) erro = errno ? errno : EIO;
  if (erro != 0) falha_relatorio(temporario, erro);
  if (std::rename(temporario.c_str(), final.c_str()) != 0) falha_relatorio(temporario, errno);
}

}  // namespace tarvo
