// libFuzzer target: any bytes as an extended-language model through the .toml loader and, when
// they load, through a run of the extended engine bounded in events and checked as it goes. A
// refusal is a Falha with one line of text that names the file; a network the loader accepts
// must be one the engine runs, unless its stations block each other in a circle. Anything else
// escaping, a broken invariant, a crash or a sanitizer report is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "comum/failure.h"
#include "geral/classes.h"
#include "geral/motor.h"
#include "geral/toml_loader.h"
#include "geral/verificacao.h"

namespace {

constexpr std::uint64_t MAX_EVENTOS = 10000;
// Checking the state walks every station and the heap: every event of the first thousand, then
// every hundredth.
constexpr std::uint64_t VERIFICADOS = 1000;
constexpr std::uint64_t INTERVALO = 100;

[[noreturn]] void achado(const std::string& o_que) {
  std::fprintf(stderr, "%s\n", o_que.c_str());
  std::abort();
}

void rodar(const tarvo::geral::Rede& rede) {
  const tarvo::geral::RedePronta pronta = tarvo::geral::preparar_rede(rede);
  tarvo::geral::Corrida c(pronta, 12345, 0, rede.aquecimento);
  std::string erro = tarvo::geral::verificar(c);
  try {
    while (erro.empty() && c.eventos < MAX_EVENTOS && tarvo::geral::passo(c)) {
      if (c.eventos <= VERIFICADOS || c.eventos % INTERVALO == 0) erro = tarvo::geral::verificar(c);
    }
  } catch (const tarvo::Falha& f) {
    // Stations that block each other in a circle stop the replication, and that is the one
    // refusal a run may give: it must name stations that really are stuck.
    if (f.texto.rfind("Impasse no tempo ", 0) == 0 && !tarvo::geral::impasse(c).empty()) return;
    achado("after event " + std::to_string(c.eventos) + ", a refusal: " + f.texto);
  }
  if (erro.empty()) erro = tarvo::geral::verificar(c);
  if (!erro.empty()) achado("after event " + std::to_string(c.eventos) + ": " + erro);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t n) {
  const std::string_view texto(reinterpret_cast<const char*>(dados), n);
  tarvo::geral::Rede rede;
  try {
    rede = tarvo::geral::ler_rede_texto(texto, "f.toml");
  } catch (const tarvo::Falha& f) {
    const std::string& t = f.texto;
    if (f.status != 1 || t.rfind("f.toml:", 0) != 0 || t.empty() || t.back() != '\n' ||
        t.find('\n') != t.size() - 1) {
      achado("a refusal that is not one line naming the file: " + t);
    }
    return 0;
  }
  if (rede.fontes.empty() && rede.estacoes.empty()) achado("a network with nothing in it");
  try {
    rodar(rede);
  } catch (const tarvo::Falha& f) {
    achado("loaded, but the engine refuses it: " + f.texto);
  }
  return 0;
}
