// The program entry: --help and --version, or console, banner, arguments, seed, then load, run
// and report.
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string_view>

#include "comum/failure.h"
#include "legado/engine/handlers.h"
#include "legado/engine/run.h"
#include "legado/engine/simulation.h"
#include "legado/input/loader.h"
#include "legado/report/report.h"

namespace tarvo {
namespace {

// TARVO_SEED, when set, replaces the clock seed: a decimal integer from 0 to 4294967295.
std::optional<std::uint32_t> semente_do_ambiente() {
  const char* texto = std::getenv("TARVO_SEED");
  if (texto == nullptr) return std::nullopt;
  std::uint64_t v = 0;
  const char* p = texto;
  for (; *p >= '0' && *p <= '9'; ++p) {
    v = v * 10 + static_cast<std::uint64_t>(*p - '0');
    if (v > 0xFFFFFFFFu) break;
  }
  if (p == texto || *p != '\0') {
    falha(1, "TARVO_SEED invalida: \"%s\" (use um inteiro decimal de 0 a 4294967295)\n", texto);
  }
  return static_cast<std::uint32_t>(v);
}

constexpr char AJUDA[] =
    " Uso : tarvo nome_arquivo \n"
    "       tarvo --help | --version\n"
    "\n"
    "Simula a rede de filas aberta descrita no arquivo e grava os resultados em\n"
    "Simula_imp.txt, no diretorio corrente. Uma declaracao por linha, conforme o seu\n"
    "primeiro caractere:\n"
    "  D tempo          limite de tempo simulado\n"
    "  N inteiro        limite de clientes gerados\n"
    "  V inteiro        1: linha de progresso; 2: lista de eventos apos cada evento\n"
    "  E tipo nome a b  fonte; tipo 1: tempos exponenciais de media a,\n"
    "                   tipo 2: uniformes entre a e b\n"
    "  F nome           fila; a ultima declarada e o sorvedouro\n"
    "  S tipo nome a b  servidor, com os tempos de servico como na fonte\n"
    "  e n              fila de onde o servidor declarado por ultimo tira clientes\n"
    "  s n              saida do ultimo declarado: a fila de uma fonte ou servidor,\n"
    "                   o servidor de uma fila (0: nenhuma)\n"
    "Objetos numerados 1, 2, 3... por tipo, na ordem; outro primeiro caractere faz\n"
    "da linha um comentario.\n"
    "\n"
    "TARVO_SEED=n (de 0 a 4294967295) fixa a semente do gerador; sem ela, a semente\n"
    "vem do relogio. Mais no README.md, na raiz do codigo-fonte do tarvo.\n";

// --help and --version, the only argument: answered without the screen clear and the banner,
// so that what they print is all there is. Returns whether the argument was one of them.
bool responder_opcao(int argc, char** argv) {
  if (argc != 2) return false;
  if (std::strcmp(argv[1], "--help") == 0) {
    std::fputs(AJUDA, stdout);
    return true;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("tarvo %s\n", TARVO_VERSAO);
    return true;
  }
  return false;
}

// The report is written in place of the file Simula_imp.txt names: when that is the model
// itself, by its name or a link, the run would replace the model by its report.
void sem_gravar_sobre_o_modelo(const char* modelo) {
  struct stat m, r;
  if (stat(modelo, &m) == 0 && S_ISREG(m.st_mode) && stat(ARQUIVO_RELATORIO, &r) == 0 &&
      m.st_dev == r.st_dev && m.st_ino == r.st_ino) {
    falha(1, "O relatorio %s gravaria sobre o arquivo de dados %s.\n", ARQUIVO_RELATORIO, modelo);
  }
}

int executar(Simulacao& sim, int argc, char** argv) {
  if (argc != 2) falha(1, " Uso : tarvo nome_arquivo \n");
  const std::optional<std::uint32_t> semente = semente_do_ambiente();
  // tarvo-rep tells the two languages apart by this name. Read as a legacy model, such a file
  // would get a message about one of its lines that says nothing of the cause.
  const std::string_view caminho = argv[1];
  if (caminho.size() > 5 && caminho.ends_with(".toml")) {
    falha(1, "O arquivo %s e um modelo da linguagem estendida: rode-o com tarvo-rep.\n", argv[1]);
  }
  sem_gravar_sobre_o_modelo(argv[1]);
  ler_modelo(sim, argv[1]);
  zerar_estatisticas(sim);
  semear(sim.gerador, semente);
  primeiras_chegadas(sim);
  const int r = simular(sim);
  avisar_ao_terminar(sim);
  std::fflush(sim.err);
  gravar_relatorio(sim, r - 1);
  return 0;
}

}  // namespace
}  // namespace tarvo

int main(int argc, char** argv) {
  // Past a file size limit the kernel would kill us in the middle of the report, leaving its
  // temporary file behind; ignored, the signal turns into a failed write that we report.
  std::signal(SIGXFSZ, SIG_IGN);
  // The traces are written event by event: large buffers keep that to few system calls.
  static char buffer_saida[1 << 16];
  static char buffer_erro[1 << 16];
  std::setvbuf(stdout, buffer_saida, _IOFBF, sizeof buffer_saida);
  std::setvbuf(stderr, buffer_erro, _IOFBF, sizeof buffer_erro);

  int status = 0;
  if (!tarvo::responder_opcao(argc, argv)) {
    if (isatty(STDOUT_FILENO)) std::fputs("\033[H\033[2J", stdout);
    std::fputs("Tarvo: simulador de redes de filas abertas por eventos discretos\n", stdout);
    std::fflush(stdout);
    try {
      auto sim = std::make_unique<tarvo::Simulacao>();
      status = tarvo::executar(*sim, argc, argv);
    } catch (const tarvo::Falha& f) {
      std::fputs(f.texto.c_str(), stdout);
      status = f.status;
    } catch (const std::bad_alloc&) {
      status = 1;
    }
  }
  std::fflush(stderr);
  if (std::fflush(stdout) != 0) status = status ? status : 1;
  return status;
}
