// libFuzzer target: any bytes as a model file through the loader and, when they load, through a
// run bounded in events and a report written to memory.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "comum/failure.h"
#include "legado/engine/handlers.h"
#include "legado/engine/invariants.h"
#include "legado/engine/run.h"
#include "legado/engine/simulation.h"
#include "legado/input/loader.h"
#include "legado/report/report.h"

namespace {

// A run is bounded by its events, not by the model's limits, which can ask for billions. The
// event-list dump writes the whole list after every event, so runs that ask for it get fewer.
constexpr long MAX_EVENTOS = 10000;
constexpr long MAX_EVENTOS_DUMP = 500;
// Server events in a row at one clock value are examined for a cycle only after 2^16 of them. A
// run that reaches the cap in such a row goes on, up to this, for that proof to conclude.
constexpr long MAX_EVENTOS_PARADA = 1L << 18;
// Checking an event costs up to the square of the list's length; on a network of 29 of each kind
// checking all 10000 took a second. Every event of the first thousand is checked in full, then
// the state alone every hundredth event and after the last.
constexpr long EVENTOS_VERIFICADOS = 1000;
constexpr long INTERVALO_VERIFICACAO = 100;
constexpr std::uint32_t SEMENTE = 12345;

// A stream that takes whatever the traces write and keeps nothing: no file descriptor, and no
// memory that grows with the run.
std::FILE* ralo() {
  cookie_io_functions_t f{};
  f.write = [](void*, const char*, std::size_t n) -> ssize_t { return static_cast<ssize_t>(n); };
  return fopencookie(nullptr, "w", f);
}

[[noreturn]] void quebra(const char* o_que) {
  std::fprintf(stderr, "model_fuzzer: %s\n", o_que);
  std::abort();
}

// The checked run's verdicts are the oracle beyond the sanitizers: a model that drives the
// engine into a wrong but harmless-looking state is a finding too.
void conferir(const std::string& violacao, long evento) {
  if (violacao.empty()) return;
  std::fprintf(stderr, "model_fuzzer: after event %ld: %s\n", evento, violacao.c_str());
  std::abort();
}

void rodar(tarvo::Simulacao& sim, std::FILE* traco) {
  sim.out = traco;
  sim.err = traco;
  tarvo::zerar_estatisticas(sim);
  tarvo::semear(sim.gerador, SEMENTE);
  tarvo::primeiras_chegadas(sim);
  long limite = sim.rede.Visual == 2 ? MAX_EVENTOS_DUMP : MAX_EVENTOS;
  int r = 0;
  long i = 0;  // events handled
  conferir(tarvo::verificar_invariantes(sim), i);
  for (;;) {
    if (i == MAX_EVENTOS && sim.parada.eventos >= MAX_EVENTOS / 2) limite = MAX_EVENTOS_PARADA;
    if (i >= limite || (r = tarvo::termino(sim)) != 0) break;
    const bool completo = i < EVENTOS_VERIFICADOS;
    std::vector<tarvo::Evento> antes;
    if (completo) antes = tarvo::copiar_eventos(sim.eventos);
    bool houve;
    try {
      houve = tarvo::proximo_evento(sim);
    } catch (const tarvo::Falha& f) {
      // A run proved endless stops before its event changes anything, with no report.
      if (f.texto.rfind("A simulacao nao termina", 0) != 0) throw;
      conferir(tarvo::verificar_invariantes(sim), i);
      return;
    }
    if (!houve) {
      r = tarvo::TERMINO_TEMPO;  // an empty list ends the run as the time limit would
      break;
    }
    ++i;
    if (completo) {
      conferir(tarvo::verificar_agendamento(antes, tarvo::copiar_eventos(sim.eventos)), i);
    }
    if (completo || i % INTERVALO_VERIFICACAO == 0) conferir(tarvo::verificar_invariantes(sim), i);
  }
  conferir(tarvo::verificar_invariantes(sim), i);
  tarvo::avisar_ao_terminar(sim);

  char* texto = nullptr;
  std::size_t n = 0;
  std::FILE* rel = open_memstream(&texto, &n);
  if (rel == nullptr) quebra("open_memstream failed");
  tarvo::relatorio(sim, r == tarvo::TERMINO_CLIENTES ? 1 : 0, rel);
  std::fclose(rel);
  static constexpr char FIM[] = "FINAL DOS RESULTADOS *********************\n\n";
  const bool completo =
      n >= sizeof FIM - 1 && std::memcmp(texto + n - (sizeof FIM - 1), FIM, sizeof FIM - 1) == 0;
  std::free(texto);
  if (!completo) quebra("a report that does not end with its closing banner");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
  // Links point into the tables, so every input gets a fresh simulation of its own.
  auto sim = std::make_unique<tarvo::Simulacao>();
  try {
    tarvo::ler_modelo_texto(*sim, std::string_view(reinterpret_cast<const char*>(dados), tamanho));
  } catch (const tarvo::Falha&) {
    return 0;  // a rejected model is an ordinary outcome
  }
  // Past the proof that a run cannot end, a Falha is not caught: a model that loaded must run
  // and report.
  std::FILE* traco = ralo();
  if (traco == nullptr) quebra("fopencookie failed");
  rodar(*sim, traco);
  std::fclose(traco);
  return 0;
}
