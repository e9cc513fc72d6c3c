// The run loop: when it stops, what it handles, and the bytes of its two traces.
#include "engine/run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "engine/handlers.h"

namespace tarvo {
namespace {

// What a FILE* received, for the traces.
class Captura {
 public:
  Captura() : f_(open_memstream(&buf_, &n_)) {}
  ~Captura() {
    if (f_) std::fclose(f_);
    std::free(buf_);
  }
  std::FILE* f() { return f_; }
  std::string texto() {
    std::fflush(f_);
    return std::string(buf_, n_);
  }

 private:
  char* buf_ = nullptr;
  std::size_t n_ = 0;
  std::FILE* f_;
};

// A source named chegada (fixed interval) into a queue served by balcao (fixed service) into
// the sink; with no server the source's customers leave at once.
std::unique_ptr<Simulacao> linha(float intervalo, float servico, bool com_servidor = true) {
  auto sim = std::make_unique<Simulacao>();
  Rede& r = sim->rede;
  r.nfontes = 1;
  Fonte& f = r.fontes[1];
  f.nome = "chegada";
  f.tipo = DIST_UNIFORME;
  f.inf = f.sup = intervalo;
  if (com_servidor) {
    r.nfilas = 2;
    r.nservidores = 1;
    f.saida = &r.filas[1];
    r.servidores[1].nome = "balcao";
    r.servidores[1].tipo = DIST_UNIFORME;
    r.servidores[1].inf = r.servidores[1].sup = servico;
    r.servidores[1].entrada = &r.filas[1];
    r.servidores[1].saida = &r.filas[2];
    r.filas[1].servidor = &r.servidores[1];
  }
  r.Tlimite = 100;
  r.Nlimite = 1000;
  zerar_estatisticas(*sim);
  primeiras_chegadas(*sim);
  return sim;
}

TEST(Run, TerminoTestsTheCustomerLimitFirst) {
  const float nan = std::nanf("");
  const struct {
    int nfregues, nlimite;
    float tsimul, tlimite;
    int esperado;
  } casos[] = {
      {0, 0, 0, 0, TERMINO_CLIENTES},
      {5, 5, 100, 10, TERMINO_CLIENTES},
      {0, -1, 0, 10, TERMINO_CLIENTES},
      {0, 5, 0, 0, TERMINO_TEMPO},
      {4, 5, 10, 10, TERMINO_TEMPO},
      {4, 5, 9.99f, 10, 0},
      {4, 5, nan, 10, 0},
      {4, 5, 10, nan, 0},
  };
  for (const auto& c : casos) {
    auto sim = std::make_unique<Simulacao>();
    sim->Nfregues = c.nfregues;
    sim->rede.Nlimite = c.nlimite;
    sim->Tsimul = c.tsimul;
    sim->rede.Tlimite = c.tlimite;
    EXPECT_EQ(termino(*sim), c.esperado) << c.nfregues << " " << c.tsimul;
  }
}

TEST(Run, StopsAfterTheEventThatReachesALimit) {
  // D 10 with events at 9.5 and 12 (a completion): the one at 12 is handled.
  auto sim = linha(9.5f, 2.5f);
  sim->rede.Tlimite = 10;
  EXPECT_EQ(simular(*sim), TERMINO_TEMPO);
  EXPECT_EQ(sim->Tsimul, 12.0f);
  EXPECT_EQ(sim->rede.servidores[1].atendidos, 1);
  EXPECT_EQ(sim->rede.filas[2].tamanho, 1);

  // N 1: only the first arrival; its service and the next arrival stay pending.
  auto um = linha(3, 4);
  um->rede.Nlimite = 1;
  EXPECT_EQ(simular(*um), TERMINO_CLIENTES);
  EXPECT_EQ(um->Tsimul, 3.0f);
  EXPECT_EQ(um->Nfregues, 1);
  EXPECT_EQ(tamanho_lista(um->eventos), 2);
  EXPECT_EQ(um->rede.servidores[1].ocupado, 1);
}

TEST(Run, NanTimeLeavesTheClockAlone) {
  auto sim = linha(std::nanf(""), 1, false);
  sim->Tsimul = 5;
  ASSERT_TRUE(proximo_evento(*sim));
  EXPECT_EQ(sim->Tsimul, 5.0f);
  EXPECT_EQ(sim->Nfregues, 1);
  EXPECT_EQ(termino(*sim), 0);
}

TEST(Run, EmptyListEndsLikeTheTimeLimitAfterItsProgressLine) {
  Captura err;
  auto sim = std::make_unique<Simulacao>();
  sim->rede.Tlimite = 10;
  sim->rede.Nlimite = 5;
  sim->rede.Visual = 1;
  sim->err = err.f();
  EXPECT_EQ(simular(*sim), TERMINO_TEMPO);
  EXPECT_EQ(sim->Tsimul, 0.0f);
  EXPECT_EQ(err.texto(),
            " Tarvo executando  : Tsimul / Nfregues = \x1b[s\x1b[u        0.00 /       0");
  EXPECT_FALSE(proximo_evento(*sim));
}

TEST(Run, ProgressLineShowsTheStateBeforeEachEvent) {
  Captura out, err;
  auto sim = linha(1.25f, 0, false);
  sim->rede.Nlimite = 3;
  sim->rede.Visual = 1;
  sim->out = out.f();
  sim->err = err.f();
  EXPECT_EQ(simular(*sim), TERMINO_CLIENTES);
  EXPECT_EQ(err.texto(),
            " Tarvo executando  : Tsimul / Nfregues = \x1b[s"
            "\x1b[u        0.00 /       0"
            "\x1b[u        1.25 /       1"
            "\x1b[u        2.50 /       2");
  EXPECT_EQ(out.texto(), "");
  EXPECT_EQ(sim->perdidos, 3);

  for (int visual : {0, 3, -1}) {  // no trace at all
    Captura o, e;
    auto quieto = linha(1, 0.5f);
    quieto->rede.Visual = visual;
    quieto->out = o.f();
    quieto->err = e.f();
    simular(*quieto);
    EXPECT_EQ(o.texto() + e.texto(), "");
  }
}

TEST(Run, DumpListsTheEventsAfterEachHandler) {
  // Services of no duration: the completion lands at the current time, in front of the arrival
  // being handled, and the loop must then unlink that arrival, not the head.
  Captura out;
  auto sim = linha(1, 0);
  sim->rede.Nlimite = 2;
  sim->rede.Visual = 2;
  sim->out = out.f();
  EXPECT_EQ(simular(*sim), TERMINO_CLIENTES);
  EXPECT_EQ(out.texto(),
            "Tsimul = 1.000000\n"
            "Event no 0 :Servidor balcao\t Tev = 1.000000\n"
            "Event no 1 :Fonte    chegada\t Tev = 1.000000\n"
            "Event no 2 :Fonte    chegada\t Tev = 2.000000\n"
            "\n\n"
            "Tsimul = 1.000000\n"
            "Event no 0 :Servidor balcao\t Tev = 1.000000\n"
            "Event no 1 :Fonte    chegada\t Tev = 2.000000\n"
            "\n\n"
            "Tsimul = 2.000000\n"
            "Event no 0 :Servidor balcao\t Tev = 2.000000\n"
            "Event no 1 :Fonte    chegada\t Tev = 2.000000\n"
            "Event no 2 :Fonte    chegada\t Tev = 3.000000\n"
            "\n\n");
  EXPECT_EQ(sim->rede.servidores[1].atendidos, 1);
  EXPECT_EQ(sim->rede.filas[2].tamanho, 1);

  Captura estranho;
  auto s = std::make_unique<Simulacao>();
  s->out = estranho.f();
  s->Tsimul = 0.5f;
  inserir_evento(s->eventos, novo_evento(7, nullptr, 0.1));
  imprimir_eventos(*s);
  EXPECT_EQ(estranho.texto(), "Tsimul = 0.500000\nEvent no 0 :  ????   Tev = 0.100000\n\n\n");
}

}  // namespace
}  // namespace tarvo
