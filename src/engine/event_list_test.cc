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

TEST(ListaEventos, KeepsTimeOrderNewestFirstOnTies) {
  const float nan = std::nanf("");
  Lista a;
  for (auto [k, t] : {std::pair{1, 5.0f}, {2, 3.0f}, {3, 5.0f}, {4, 3.0f}, {5, 9.0f}})
    a.inserir(k, t);
  EXPECT_EQ(a.ordem(), (std::vector<int>{4, 2, 3, 1, 5}));
  a.remover(2), a.remover(3), a.remover(0);  // middle, tail, head
  EXPECT_EQ(a.ordem(), (std::vector<int>{2, 1}));
  // No comparison with a NaN holds: it goes to the tail, and later events walk past it.
  for (auto [k, t] : {std::pair{6, nan}, {7, 7.0f}, {8, 1.0f}, {9, 6.0f}}) a.inserir(k, t);
  EXPECT_EQ(a.ordem(), (std::vector<int>{8, 2, 1, 6, 9, 7}));

  // An event at the time of the one being handled goes in front of it; the handled one is then
  // removed from where it stands.
  Lista b;
  b.inserir(1, nan);
  b.inserir(2, 2);
  b.l.atual = b.l.ini + 1;
  b.inserir(3, 2);
  remover_evento(b.l, b.l.atual);
  EXPECT_EQ(b.ordem(), (std::vector<int>{1, 3}));
}

// The run loop's pattern, many times over, so that the list's window travels through its array:
// the head is handled, events are scheduled (ties and NaN times among them), now and then
// another is cancelled, then the handled one goes. A vector with the same walk is the reference.
TEST(ListaEventos, MatchesAReferenceWalkOverLongRuns) {
  Lista a;
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

}  // namespace
}  // namespace tarvo
