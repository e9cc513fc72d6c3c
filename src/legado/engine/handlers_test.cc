// The handlers on small networks whose durations are fixed (uniform bounds equal), so every
// statistic below is worked out by hand from the event times.
#include "legado/engine/handlers.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <memory>
#include <sstream>

#include "legado/engine/run.h"
#include "processo.h"

namespace tarvo {
namespace {

template <class... T>
std::string juntar(const T&... v) {
  std::ostringstream o;
  o << std::setprecision(9);
  ((o << v << ' '), ...);
  return o.str();
}

struct Ensaio {
  std::unique_ptr<Simulacao> sim;
  Rede& r;
  // Loads the model, ready for its first event, and handles that many events.
  Ensaio(const char* modelo, int eventos) : sim(teste::preparar(modelo)), r(sim->rede) {
    for (int i = 0; i < eventos; ++i) EXPECT_TRUE(proximo_evento(*sim));
  }
  std::string fila(int j) const {  // chegadas tamanho maximo area tultima tam_ultimo
    const Fila& f = r.filas[j];
    return juntar(f.chegadas, f.tamanho, f.maximo, f.area, f.tultima, f.tam_ultimo);
  }
  std::string serv(int j) const {  // ocupado atendidos tocupado tservico
    const Servidor& s = r.servidores[j];
    return juntar(s.ocupado, s.atendidos, s.tocupado, s.tservico);
  }
  std::string eventos() const {  // the pending events' times, head first
    std::string s;
    for (int i = 0; i < tamanho_lista(sim->eventos); ++i) {
      s += juntar(evento_na_posicao(sim->eventos, i).tev);
    }
    return s;
  }
};

TEST(Handlers, ServesAtOnceThenQueuesThenTakesTheNext) {
  // Arrivals every 1 from 1, services of 2.5: events at 1, 2, 3, 3.5 (completion), 4.
  const char* modelo = "E 2 a 1 1\ns 1\nF q\ns 1\nS 2 b 2.5 2.5\ne 1\ns 2\nF fim\n";
  Ensaio um(modelo, 1);
  EXPECT_EQ(um.fila(1), "1 0 0 0 0 0 ");
  EXPECT_EQ(um.serv(1), "1 0 0 2.5 ");
  EXPECT_EQ(um.eventos(), "2 3.5 ");
  Ensaio n(modelo, 5);
  // Waiting: 1 over [2,3], 2 over [3,3.5], 1 over [3.5,4]; 2 since 4, not counted yet.
  EXPECT_EQ(n.fila(1), "4 2 2 2.5 4 2 ");
  EXPECT_EQ(n.serv(1), "1 1 2.5 2.5 ");
  EXPECT_EQ(n.fila(2), "1 1 1 0 3.5 1 ");
  EXPECT_EQ(n.eventos(), "5 6 ");
  EXPECT_TRUE(n.sim->Tsimul == 4 && n.sim->Nfregues == 4 && n.r.fontes[1].gerados == 4);
  // The reset clears statistics and keeps the rest.
  zerar_estatisticas(*n.sim);
  EXPECT_EQ(n.fila(1) + n.serv(1), "0 0 0 0 0 0 0 0 0 0 ");
  EXPECT_TRUE(n.r.fontes[1].gerados == 0 && n.r.servidores[1].entrada == &n.r.filas[1]);
}

TEST(Handlers, EdgeCasesOfTheLinks) {
  // Feedback: one arrival at 10; services of 1 send the customer back to its queue, where it
  // waits, for no time, behind its own service. Completions at 11, 12, 13.
  Ensaio laco("E 2 a 10 10\ns 1\nF q\ns 1\nS 2 b 1 1\ne 1\ns 1\nF fim\n", 4);
  EXPECT_EQ(laco.fila(1), "4 0 1 0 13 0 ");
  EXPECT_EQ(laco.serv(1), "1 3 3 1 ");

  // Q1 starts the server, whose entrada is the empty Q2: events at 1, 2, 2.5, 3, 4, 4.5; the
  // customers of 2 and 4 stay in Q1.
  Ensaio cego("E 2 a 1 1\ns 1\nF q1\ns 1\nF q2\nS 2 b 1.5 1.5\ne 2\ns 3\nF fim\n", 6);
  EXPECT_EQ(cego.fila(1), "4 2 2 2 4 2 ");
  EXPECT_EQ(cego.fila(2), "0 0 0 0 0 0 ");
  EXPECT_EQ(cego.serv(1), "0 2 3 1.5 ");
  EXPECT_EQ(cego.fila(3), "2 2 2 2 4.5 2 ");
  EXPECT_EQ(cego.eventos(), "5 ");

  // Missing links: source 1 (every 1) has no saida; source 2 (every 2) feeds a server of 3 with
  // neither saida nor entrada. Events: 1, 2 (source 1, scheduled last), 2, 3, 4, 4, 5, 5.
  Ensaio sem("E 2 a 1 1\nE 2 b 2 2\ns 1\nF q\ns 1\nS 2 c 3 3\n", 8);
  EXPECT_EQ(sem.fila(1), "2 1 1 0 4 1 ");
  EXPECT_EQ(sem.serv(1), "0 1 3 3 ");
  EXPECT_TRUE(sem.sim->Nfregues == 7 && sem.sim->perdidos == 6);  // 5 from source 1, 1 served
}

TEST(Handlers, DrawsInTheFixedOrder) {
  // Bounds 0 and 32768 make a duration equal to the number drawn: 41, 18467, 6334, 26500 from
  // state 1. Sources first, in number order (41, 2 * 18467); at 41 the service (2 * 6334) is
  // drawn before the next arrival (26500 later).
  Ensaio n("E 2 a 0 32768\ns 1\nE 2 b 0 65536\nF q\ns 1\nS 2 c 0 65536\ne 1\ns 2\nF fim\n", 1);
  EXPECT_EQ(n.serv(1), "1 0 0 12668 ");
  EXPECT_EQ(n.eventos(), "12709 26541 36934 ");

  // At a completion the next server downstream draws before this one's next service.
  Ensaio t("F q1\ns 1\nS 2 a 0 65536\ne 1\ns 2\nF q2\ns 2\nS 2 b 0 32768\ne 2\ns 3\nF fim\n", 0);
  t.r.servidores[1].ocupado = 1;
  t.r.filas[1].tamanho = t.r.filas[1].tam_ultimo = 1;
  evento_servidor(*t.sim, t.r.servidores[1]);
  EXPECT_EQ(t.serv(2), "1 0 0 41 ");
  EXPECT_EQ(t.serv(1), "1 1 0 36934 ");
}

TEST(Handlers, RoundsWhereTheResultsDependOnIt) {
  // At 2^24 floats are 2 apart: the completion at 16777217.5 is stored as 16777218, but the
  // service lasted 1.5.
  Ensaio n("F q\ns 1\nS 2 a 1.5 1.5\ne 1\ns 2\nF fim\n", 0);
  n.sim->Tsimul = 16777216.0f;
  chegada_fila(*n.sim, &n.r.filas[1]);
  EXPECT_EQ(n.eventos(), "16777218 ");
  EXPECT_EQ(n.serv(1), "1 0 0 1.5 ");

  // The area grows by a product and a sum in double, rounded once: 18.800001 in floats.
  Fila& q = n.r.filas[2];
  q.area = 1.1f, q.tultima = 0.2f, q.tamanho = q.tam_ultimo = 3;
  n.sim->Tsimul = 6.1f;
  chegada_fila(*n.sim, &q);
  EXPECT_EQ(n.fila(2), "1 4 4 18.7999992 6.0999999 4 ");
}

}  // namespace
}  // namespace tarvo
