// libFuzzer target: any bytes as a model file through the loader and, when they load, through a
// run bounded in events and a report written to memory.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>

#include "engine/handlers.h"
#include "engine/run.h"
#include "engine/simulation.h"
#include "input/loader.h"
#include "model/failure.h"
#include "report/report.h"

namespace {

// A run is bounded by its events, not by the model's limits, which can ask for billions. The
// event-list dump writes the whole list after every event, so runs that ask for it get fewer.
constexpr long MAX_EVENTOS = 10000;
constexpr long MAX_EVENTOS_DUMP = 500;
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

// What every state between events must satisfy, whatever the model: the fuzzer's oracle beyond
// the sanitizers.
void conferir(const tarvo::Simulacao& sim) {
  const tarvo::Rede& r = sim.rede;
  tarvo::Contagem gerados = 0, presentes = 0;
  for (int j = 1; j <= r.nfontes; ++j) gerados += r.fontes[j].gerados;
  for (int j = 1; j <= r.nfilas; ++j) {
    const tarvo::Fila& q = r.filas[j];
    if (q.tamanho < 0) quebra("a queue with a negative tamanho");
    if (q.maximo < q.tamanho) quebra("a queue with maximo below tamanho");
    if (q.tam_ultimo != q.tamanho) quebra("a queue whose tam_ultimo is not its tamanho");
    presentes += q.tamanho;
  }
  if (gerados != sim.Nfregues) quebra("Nfregues is not the sum of gerados");

  // Each source has one pending arrival and each busy server one pending completion; nothing
  // else is pending. NaN times aside, the list is in time order.
  int pendentes[2][tarvo::MAX_OBJETOS] = {};
  const tarvo::ListaEventos& l = sim.eventos;
  float anterior = -std::numeric_limits<float>::infinity();
  for (int i = 0; i < tarvo::tamanho_lista(l); ++i) {
    const tarvo::Evento& e = tarvo::evento_na_posicao(l, i);
    if (e.tipo == tarvo::EV_FONTE) {
      ++pendentes[0][e.fonte() - r.fontes];
    } else if (e.tipo == tarvo::EV_SERVIDOR) {
      ++pendentes[1][e.servidor() - r.servidores];
    } else {
      quebra("an event of an unknown kind");
    }
    if (std::isnan(e.tev)) continue;
    if (e.tev < anterior) quebra("the event list is out of time order");
    anterior = e.tev;
  }
  for (int j = 1; j <= r.nfontes; ++j) {
    if (pendentes[0][j] != 1) quebra("a source without exactly one pending arrival");
  }
  for (int j = 1; j <= r.nservidores; ++j) {
    const int o = r.servidores[j].ocupado;
    if (o != 0 && o != 1) quebra("a server with ocupado neither 0 nor 1");
    if (pendentes[1][j] != o) quebra("a server whose pending completions are not ocupado");
    presentes += o;
  }
  if (presentes + sim.perdidos != gerados) quebra("customers were not conserved");
}

void rodar(tarvo::Simulacao& sim, std::FILE* traco) {
  sim.out = traco;
  sim.err = traco;
  tarvo::zerar_estatisticas(sim);
  tarvo::semear(sim.gerador, SEMENTE);
  tarvo::primeiras_chegadas(sim);
  const long limite = sim.rede.Visual == 2 ? MAX_EVENTOS_DUMP : MAX_EVENTOS;
  int r = 0;
  conferir(sim);
  for (long i = 0; i < limite && (r = tarvo::termino(sim)) == 0; ++i) {
    if (!tarvo::proximo_evento(sim)) {
      r = tarvo::TERMINO_TEMPO;  // an empty list ends the run as the time limit would
      break;
    }
    conferir(sim);
  }
  tarvo::avisar_sem_duracao(sim);

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
  // A Falha from here on is not caught: a model that loaded must run and report.
  std::FILE* traco = ralo();
  if (traco == nullptr) quebra("fopencookie failed");
  rodar(*sim, traco);
  std::fclose(traco);
  return 0;
}
