// The event list against the walk it must behave like: ties, NaN times, removal anywhere.
#include "legado/engine/event_list.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "legado/engine/simulation.h"

namespace tarvo {
namespace {

// Events are told apart by the address they carry: event k points at marcas[k].
struct Lista {
  std::unique_ptr<Simulacao> sim = std::make_unique<Simulacao>();
  ListaEventos& l = sim->eventos;
  std::vector<char> marcas = std::vector<char>(70000);

  void inserir(int k, float t) { inserir_evento(l, novo_evento(EV_FONTE, &marcas[k], t)); }
  void remover(int i) { remover_evento(l, l.ini + i); }  // the i-th in list order
  std::vector<int> ordem() const {
    std::vector<int> v;
    for (int i = 0; i < tamanho_lista(l); ++i) {
      v.push_back(
          static_cast<int>(static_cast<char*>(evento_na_posicao(l, i).objeto) - &marcas[0]));
    }
    return v;
  }
};

// The run loop's pattern, many times over: the head is handled, events are scheduled (ties and
// NaN times among them), now and then another is cancelled, then the handled one goes. A vector
// with the same walk is the reference. The window starts in the middle of its array, where
// insertions make room to the left, or at its start, where they move the rest right.
TEST(ListaEventos, MatchesAReferenceWalkOverLongRuns) {
  for (bool no_inicio : {false, true}) {
    SCOPED_TRACE(no_inicio ? "window at the start" : "window in the middle");
    Lista a;
    if (no_inicio) a.l.ini = a.l.fim = 0;
    std::vector<std::pair<float, int>> ref;
    std::uint32_t x = 12345;
    auto sorteio = [&x](std::uint32_t n) { return ((x = x * 1103515245u + 12345u) >> 8) % n; };
    float relogio = 0;
    int novo = 0;
    auto inserir = [&](float t) {
      std::size_t p = 0;
      while (p < ref.size() && !(ref[p].first >= t)) ++p;
      ref.insert(ref.begin() + static_cast<std::ptrdiff_t>(p), {t, novo});
      a.inserir(novo++, t);
    };
    for (int passo = 0; passo < 20000; ++passo) {
      if (ref.empty() || sorteio(8) == 0) inserir(relogio + 0.5f * static_cast<float>(sorteio(6)));
      const int atual = ref.front().second;
      if (!std::isnan(ref.front().first)) relogio = ref.front().first;
      a.l.atual = a.l.ini;
      for (std::uint32_t n = ref.size() < 50 ? sorteio(3) : 0; n > 0; --n) {
        inserir(sorteio(50) == 0 ? std::nanf("") : relogio + 0.5f * static_cast<float>(sorteio(6)));
      }
      const std::size_t i = 1 + sorteio(static_cast<std::uint32_t>(ref.size()));
      if (i < ref.size() && ref[i].second != atual && sorteio(4) == 0) {
        a.remover(static_cast<int>(i));
        ref.erase(ref.begin() + static_cast<std::ptrdiff_t>(i));
      }
      ASSERT_EQ(evento_na_posicao(a.l, a.l.atual - a.l.ini).objeto, &a.marcas[atual]);
      remover_evento(a.l, a.l.atual);
      std::erase_if(ref, [&](const auto& e) { return e.second == atual; });
      std::vector<int> esperado;
      for (const auto& e : ref) esperado.push_back(e.second);
      ASSERT_EQ(a.ordem(), esperado) << "step " << passo;
    }
  }
}

// Running out of nodes is memory exhaustion: status 1 and no message.
TEST(ListaEventos, HoldsAllItsSlotsThenFails) {
  Lista a;
  for (int i = 0; i < ListaEventos::CAPACIDADE; ++i) a.inserir(i, static_cast<float>(i % 7));
  EXPECT_EQ(tamanho_lista(a.l), ListaEventos::CAPACIDADE);
  try {
    a.inserir(0, 1);
    ADD_FAILURE() << "a full list took one more event";
  } catch (const Falha& f) {
    EXPECT_TRUE(f.status == 1 && f.texto.empty()) << f.texto;
  }
}

}  // namespace
}  // namespace tarvo
