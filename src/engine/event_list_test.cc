// The event list against the walk it must behave like: ties, NaN times, removal anywhere.
#include "engine/event_list.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/simulation.h"

namespace tarvo {
namespace {

// Events are told apart by the address they carry: slot k of `marcas` is event k.
struct Lista {
  std::unique_ptr<Simulacao> sim = std::make_unique<Simulacao>();
  std::vector<char> marcas = std::vector<char>(70000);
  ListaEventos& l = sim->eventos;

  void inserir(int k, float t) { inserir_evento(l, novo_evento(EV_FONTE, &marcas[k], t)); }
  std::vector<int> ordem() const {
    std::vector<int> v;
    for (int i = 0; i < tamanho_lista(l); ++i) {
      v.push_back(
          static_cast<int>(static_cast<char*>(evento_na_posicao(l, i).objeto) - &marcas[0]));
    }
    return v;
  }
};

TEST(ListaEventos, TiesGoBeforeOlderEvents) {
  Lista a;
  a.inserir(1, 5);
  a.inserir(2, 3);
  a.inserir(3, 5);
  EXPECT_EQ(a.ordem(), (std::vector<int>{2, 3, 1}));
  a.inserir(4, 3);
  a.inserir(5, 9);
  EXPECT_EQ(a.ordem(), (std::vector<int>{4, 2, 3, 1, 5}));
  EXPECT_EQ(novo_evento(EV_FONTE, nullptr, 0.1).tev, 0.1f);  // rounded once to a Tempo
}

TEST(ListaEventos, EventAtTheCurrentTimeGoesBeforeTheOneBeingHandled) {
  Lista a;
  a.inserir(1, 2);
  a.inserir(2, 4);
  a.l.atual = a.l.ini;  // event 1 is being handled
  a.inserir(3, 2);
  a.inserir(4, 3);
  EXPECT_EQ(a.ordem(), (std::vector<int>{3, 1, 4, 2}));
  remover_evento(a.l, a.l.atual);
  EXPECT_EQ(a.ordem(), (std::vector<int>{3, 4, 2}));
  EXPECT_EQ(cabeca(a.l).tev, 2.0f);
}

TEST(ListaEventos, RemovesAtHeadMiddleAndTail) {
  Lista a;
  for (int k = 1; k <= 5; ++k) a.inserir(k, static_cast<float>(k));
  remover_evento(a.l, a.l.ini + 2);
  EXPECT_EQ(a.ordem(), (std::vector<int>{1, 2, 4, 5}));
  remover_evento(a.l, a.l.ini + 3);
  EXPECT_EQ(a.ordem(), (std::vector<int>{1, 2, 4}));
  remover_evento(a.l, a.l.ini);
  EXPECT_EQ(a.ordem(), (std::vector<int>{2, 4}));
  a.inserir(6, 3);
  a.inserir(7, 9);
  EXPECT_EQ(a.ordem(), (std::vector<int>{2, 6, 4, 7}));
  for (int i = 0; i < 4; ++i) remover_evento(a.l, a.l.ini);
  EXPECT_TRUE(lista_vazia(a.l));
  a.inserir(8, 1);
  EXPECT_EQ(a.ordem(), (std::vector<int>{8}));
}

TEST(ListaEventos, NanTimesAreOrderedByTheWalk) {
  const float nan = std::nanf("");
  Lista a;
  a.inserir(1, 5);
  a.inserir(2, nan);  // no comparison holds: to the tail
  a.inserir(3, 7);    // walks past the NaN, to the tail
  a.inserir(4, 1);
  a.inserir(5, 6);
  EXPECT_EQ(a.ordem(), (std::vector<int>{4, 1, 2, 5, 3}));
  Lista b;
  b.inserir(1, nan);
  b.inserir(2, 3);
  EXPECT_EQ(b.ordem(), (std::vector<int>{1, 2}));
}

// The run loop's pattern, many times over: the head is handled, events are scheduled (some at
// the same time, some NaN), now and then another event is cancelled, then the handled one goes.
// A plain vector with the same walk is the reference.
TEST(ListaEventos, MatchesAReferenceWalkOverLongRuns) {
  struct Ref {
    float tev;
    int k;
  };
  Lista a;
  std::vector<Ref> ref;
  auto inserir_ref = [&](Ref e) {
    std::size_t p = 0;
    while (p < ref.size() && !(ref[p].tev >= e.tev)) ++p;
    ref.insert(ref.begin() + static_cast<std::ptrdiff_t>(p), e);
  };
  std::uint32_t x = 12345;
  auto sorteio = [&](std::uint32_t n) {
    x = x * 1103515245u + 12345u;
    return (x >> 8) % n;
  };
  float relogio = 0;
  int proximo = 0;
  for (int passo = 0; passo < 20000; ++passo) {
    if (ref.empty() || sorteio(8) == 0) {
      const float t = relogio + 0.5f * static_cast<float>(sorteio(6));
      a.inserir(proximo, t);
      inserir_ref({t, proximo++});
    }
    const int atual = ref.front().k;
    if (!std::isnan(ref.front().tev)) relogio = ref.front().tev;
    a.l.atual = a.l.ini;
    const std::uint32_t novos = ref.size() < 50 ? sorteio(3) : 0;
    for (std::uint32_t i = 0; i < novos; ++i) {
      const float t =
          sorteio(50) == 0 ? std::nanf("") : relogio + 0.5f * static_cast<float>(sorteio(6));
      a.inserir(proximo, t);
      inserir_ref({t, proximo++});
    }
    if (ref.size() > 2 && sorteio(4) == 0) {
      const std::size_t i = 1 + sorteio(static_cast<std::uint32_t>(ref.size() - 1));
      if (ref[i].k != atual) {
        remover_evento(a.l, a.l.ini + static_cast<int>(i));
        ref.erase(ref.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
    ASSERT_EQ(evento_na_posicao(a.l, a.l.atual - a.l.ini).objeto, &a.marcas[atual]);
    remover_evento(a.l, a.l.atual);
    for (std::size_t i = 0; i < ref.size(); ++i) {
      if (ref[i].k == atual) {
        ref.erase(ref.begin() + static_cast<std::ptrdiff_t>(i));
        break;
      }
    }
    std::vector<int> esperado;
    for (const Ref& r : ref) esperado.push_back(r.k);
    ASSERT_EQ(a.ordem(), esperado) << "step " << passo;
  }
}

}  // namespace
}  // namespace tarvo
