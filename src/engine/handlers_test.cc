// The handlers on small networks whose durations are fixed (uniform bounds equal), so every
// statistic below is worked out by hand from the event times.
#include "engine/handlers.h"

#include <gtest/gtest.h>

#include <memory>

#include "engine/run.h"

namespace tarvo {
namespace {

void uniforme(Fonte& f, float inf, float sup, Fila* saida) {
  f.tipo = DIST_UNIFORME;
  f.inf = inf;
  f.sup = sup;
  f.saida = saida;
}

// alimentadora is the queue whose arrivals start this server when it is idle.
void uniforme(Servidor& s, float inf, float sup, Fila* alimentadora, Fila* entrada, Fila* saida) {
  s.tipo = DIST_UNIFORME;
  s.inf = inf;
  s.sup = sup;
  s.entrada = entrada;
  s.saida = saida;
  if (alimentadora) alimentadora->servidor = &s;
}

std::unique_ptr<Simulacao> rede(int nfontes, int nservidores, int nfilas) {
  auto sim = std::make_unique<Simulacao>();
  sim->rede.nfontes = nfontes;
  sim->rede.nservidores = nservidores;
  sim->rede.nfilas = nfilas;
  return sim;
}

void processar(Simulacao& sim, int eventos) {
  zerar_estatisticas(sim);
  primeiras_chegadas(sim);
  for (int i = 0; i < eventos; ++i) ASSERT_TRUE(proximo_evento(sim)) << "event " << i;
}

TEST(Handlers, ServesAtOnceThenQueuesThenTakesTheNext) {
  // Arrivals every 1 from time 1, services of 2.5: events at 1, 2, 3, 3.5 (completion), 4.
  auto sim = rede(1, 1, 2);
  Rede& r = sim->rede;
  uniforme(r.fontes[1], 1, 1, &r.filas[1]);
  uniforme(r.servidores[1], 2.5f, 2.5f, &r.filas[1], &r.filas[1], &r.filas[2]);
  r.filas[1].area = 7;  // stale statistics: the reset clears them, keeping the links
  r.servidores[1].atendidos = 9;
  processar(*sim, 1);
  const Fila& q1 = r.filas[1];
  const Servidor& s = r.servidores[1];
  EXPECT_EQ(q1.chegadas, 1);
  EXPECT_EQ(q1.tamanho, 0);
  EXPECT_EQ(q1.area, 0.0f);
  EXPECT_EQ(s.ocupado, 1);
  EXPECT_EQ(s.atendidos, 0);
  EXPECT_EQ(s.tservico, 2.5f);
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(proximo_evento(*sim));
  EXPECT_EQ(sim->Tsimul, 4.0f);
  EXPECT_EQ(sim->Nfregues, 4);
  EXPECT_EQ(r.fontes[1].gerados, 4);
  // Waiting: 1 over [2,3], 2 over [3,3.5], 1 over [3.5,4]; then 2 since 4, not yet counted.
  EXPECT_EQ(q1.chegadas, 4);
  EXPECT_EQ(q1.tamanho, 2);
  EXPECT_EQ(q1.maximo, 2);
  EXPECT_EQ(q1.area, 2.5f);
  EXPECT_EQ(q1.tultima, 4.0f);
  EXPECT_EQ(q1.tam_ultimo, 2);
  EXPECT_EQ(s.atendidos, 1);
  EXPECT_EQ(s.tocupado, 2.5f);
  EXPECT_EQ(s.ocupado, 1);
  EXPECT_EQ(r.filas[2].chegadas, 1);
  EXPECT_EQ(r.filas[2].tamanho, 1);
  EXPECT_EQ(r.filas[2].tultima, 3.5f);
  ASSERT_EQ(tamanho_lista(sim->eventos), 2);
  EXPECT_EQ(evento_na_posicao(sim->eventos, 0).tev, 5.0f);
  EXPECT_EQ(evento_na_posicao(sim->eventos, 1).tev, 6.0f);
}

TEST(Handlers, FeedbackCustomerWaitsInItsOwnQueue) {
  // One arrival at 10, services of 1 that send the customer back: completions at 11, 12, 13.
  auto sim = rede(1, 1, 2);
  Rede& r = sim->rede;
  uniforme(r.fontes[1], 10, 10, &r.filas[1]);
  uniforme(r.servidores[1], 1, 1, &r.filas[1], &r.filas[1], &r.filas[1]);
  processar(*sim, 4);
  EXPECT_EQ(sim->Tsimul, 13.0f);
  EXPECT_EQ(r.servidores[1].atendidos, 3);
  EXPECT_EQ(r.servidores[1].tocupado, 3.0f);
  EXPECT_EQ(r.servidores[1].ocupado, 1);
  EXPECT_EQ(r.filas[1].chegadas, 4);
  EXPECT_EQ(r.filas[1].maximo, 1);  // it queued behind its own service, for no time
  EXPECT_EQ(r.filas[1].tamanho, 0);
  EXPECT_EQ(r.filas[1].area, 0.0f);
  EXPECT_EQ(r.filas[1].tultima, 13.0f);
}

TEST(Handlers, ServerLooksOnlyAtItsEntrada) {
  // Q1 feeds the server but its entrada is the empty Q2: events at 1, 2, 2.5, 3, 4, 4.5.
  auto sim = rede(1, 1, 3);
  Rede& r = sim->rede;
  uniforme(r.fontes[1], 1, 1, &r.filas[1]);
  uniforme(r.servidores[1], 1.5f, 1.5f, &r.filas[1], &r.filas[2], &r.filas[3]);
  processar(*sim, 6);
  EXPECT_EQ(sim->Tsimul, 4.5f);
  EXPECT_EQ(r.filas[1].chegadas, 4);
  EXPECT_EQ(r.filas[1].tamanho, 2);  // the customers of 2 and 4 stay in Q1
  EXPECT_EQ(r.filas[1].area, 2.0f);
  EXPECT_EQ(r.filas[2].chegadas + r.filas[2].maximo, 0);
  EXPECT_EQ(r.servidores[1].atendidos, 2);
  EXPECT_EQ(r.servidores[1].tocupado, 3.0f);
  EXPECT_EQ(r.servidores[1].ocupado, 0);
  EXPECT_EQ(r.filas[3].tamanho, 2);
  ASSERT_EQ(tamanho_lista(sim->eventos), 1);
  EXPECT_EQ(cabeca(sim->eventos).tev, 5.0f);
}

TEST(Handlers, MissingLinksLetCustomersLeave) {
  // Source 1 has no saida (every 1); source 2 (every 2) feeds a server of 3 with no saida and
  // no entrada. Events: 1, 2 (source 1, scheduled last), 2, 3, 4, 4, 5 (source 1), 5.
  auto sim = rede(2, 1, 1);
  Rede& r = sim->rede;
  uniforme(r.fontes[1], 1, 1, nullptr);
  uniforme(r.fontes[2], 2, 2, &r.filas[1]);
  uniforme(r.servidores[1], 3, 3, &r.filas[1], nullptr, nullptr);
  processar(*sim, 8);
  EXPECT_EQ(sim->Tsimul, 5.0f);
  EXPECT_EQ(sim->Nfregues, 7);
  EXPECT_EQ(r.fontes[1].gerados, 5);
  EXPECT_EQ(sim->perdidos, 6);  // five from source 1, one served
  EXPECT_EQ(r.servidores[1].atendidos, 1);
  EXPECT_EQ(r.servidores[1].ocupado, 0);
  EXPECT_EQ(r.filas[1].chegadas, 2);
  EXPECT_EQ(r.filas[1].tamanho, 1);
}

TEST(Handlers, DrawsInTheFixedOrder) {
  // Bounds 0 and 32768 make a duration equal to the drawn number: 41, 18467, 6334 from state 1.
  auto sim = rede(2, 1, 2);
  Rede& r = sim->rede;
  uniforme(r.fontes[1], 0, 32768, &r.filas[1]);
  uniforme(r.fontes[2], 0, 65536, nullptr);
  uniforme(r.servidores[1], 0, 65536, &r.filas[1], &r.filas[1], &r.filas[2]);
  processar(*sim, 1);
  // Sources in number order (41, then 2 * 18467); at 41 the service (2 * 6334) is drawn before
  // the next arrival (26500 later).
  EXPECT_EQ(r.servidores[1].tservico, 12668.0f);
  ASSERT_EQ(tamanho_lista(sim->eventos), 3);
  EXPECT_EQ(evento_na_posicao(sim->eventos, 0).tev, 12709.0f);
  EXPECT_EQ(evento_na_posicao(sim->eventos, 1).tev, 26541.0f);
  EXPECT_EQ(evento_na_posicao(sim->eventos, 2).tev, 36934.0f);

  // At a completion the next server downstream draws before this one's next service.
  auto tandem = rede(0, 2, 3);
  Rede& t = tandem->rede;
  uniforme(t.servidores[1], 0, 65536, &t.filas[1], &t.filas[1], &t.filas[2]);
  uniforme(t.servidores[2], 0, 32768, &t.filas[2], &t.filas[2], &t.filas[3]);
  t.servidores[1].ocupado = 1;
  t.filas[1].tamanho = t.filas[1].tam_ultimo = 1;
  evento_servidor(*tandem, t.servidores[1]);
  EXPECT_EQ(t.servidores[2].tservico, 41.0f);
  EXPECT_EQ(t.servidores[1].tservico, 36934.0f);
  EXPECT_EQ(t.filas[1].tamanho, 0);
}

TEST(Handlers, RoundsWhereTheResultsDependOnIt) {
  // At 2^24 floats are 2 apart: the completion at 16777217.5 is stored as 16777218, but the
  // service lasted 1.5.
  auto sim = rede(0, 1, 2);
  Rede& r = sim->rede;
  uniforme(r.servidores[1], 1.5f, 1.5f, &r.filas[1], &r.filas[1], &r.filas[2]);
  sim->Tsimul = 16777216.0f;
  chegada_fila(*sim, &r.filas[1]);
  EXPECT_EQ(cabeca(sim->eventos).tev, 16777218.0f);
  EXPECT_EQ(r.servidores[1].tservico, 1.5f);
  EXPECT_EQ(r.filas[1].chegadas, 1);

  // The area grows by a product and a sum in double, rounded once: 18.80000114440918 in floats.
  Fila& q = r.filas[2];
  q.area = 1.1f;
  q.tultima = 0.2f;
  q.tamanho = q.tam_ultimo = 3;
  sim->Tsimul = 6.1f;
  chegada_fila(*sim, &q);
  EXPECT_EQ(q.area, 18.799999237060547f);
  EXPECT_EQ(q.tam_ultimo, 4);
  EXPECT_EQ(q.tultima, 6.1f);
}

}  // namespace
}  // namespace tarvo
