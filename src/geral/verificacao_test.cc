// The checked mode over random networks of every shape the engine takes, and the checks
// themselves catching a state that was broken on purpose.
#include "geral/verificacao.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvo::geral {
namespace {

// A network drawn from the seed: up to 3 sources and 8 stations, every distribution, finite and
// infinite servers, capacities, routes that leave, loop back or go nowhere, ties from
// deterministic times, and a warm-up and limits small enough for a few thousand events.
Rede aleatoria(std::uint32_t semente) {
  Gerador g = gerador(semente, 0, Proposito::intervalo, 999);
  auto inteiro = [&g](int n) { return static_cast<int>(g.pcg(static_cast<std::uint32_t>(n))); };
  auto real = [&g](double a, double b) { return a + (b - a) * uniforme(g); };
  auto dist = [&](double media) {
    Distribuicao d;
    d.tipo = static_cast<Dist>(inteiro(10));
    d.media = media;
    d.valor = inteiro(2) ? media : 1.0;  // round numbers, so that events tie
    d.min = real(0, media);
    d.max = 2 * media - d.min;
    d.moda = real(d.min, d.max);
    d.k = 1 + inteiro(5);
    d.forma = real(0.3, 4);
    d.desvio = real(0, 2 * media);
    d.cv = real(1, 3);
    for (int i = inteiro(4); i >= 0; --i) d.valores.push_back(inteiro(3) * media);
    if (d.tipo == Dist::empirica && d.valores[0] == 0) d.valores[0] = media;
    return d;
  };
  const int ne = 1 + inteiro(8);
  auto rota = [&]() {
    Rota r;
    double resta = 1;
    for (int i = inteiro(4); i > 0; --i) {
      const double p = inteiro(4) == 0 ? resta : real(0, resta);
      r.push_back({inteiro(ne), p});
      resta -= p;
    }
    return r;
  };
  Rede r;
  r.tempo = real(0, 200);
  if (inteiro(2)) r.fregueses = inteiro(400);
  if (inteiro(2)) r.aquecimento = real(0, 50);
  for (int j = 1 + inteiro(3); j > 0; --j) {
    r.fontes.push_back({"f" + std::to_string(j), dist(real(0.5, 3)), rota()});
  }
  for (int j = 0; j < ne; ++j) {
    Estacao e;
    e.nome = "e" + std::to_string(j);
    e.servidores = 1 + inteiro(3);
    e.infinitos = inteiro(6) == 0;
    if (inteiro(3) == 0) e.capacidade = 1 + inteiro(6);
    e.servico = dist(real(0.1, 2));
    e.rota = rota();
    r.estacoes.push_back(e);
  }
  return r;
}

TEST(VerificacaoGeral, RandomNetworksKeepEveryInvariant) {
  std::uint64_t eventos = 0;
  for (std::uint32_t s = 1; s <= 1000; ++s) {
    const RedePronta pronta = preparar_rede(aleatoria(s));
    Corrida c(pronta, s, 0, pronta.aquecimento);
    const std::string v = rodar_verificado(c);
    ASSERT_EQ(v, "") << "network " << s;
    eventos += c.eventos;
  }
  std::printf("  %llu events checked\n", static_cast<unsigned long long>(eventos));
}

// Each check can fail: a run is stopped after 200 events, one thing in its state is broken,
// and the check must name it.
TEST(VerificacaoGeral, NamesTheStateThatWasBroken) {
  Rede r;
  r.fregueses = 1000;
  Distribuicao um;
  um.media = 1;
  r.fontes.push_back({"f", um, {{0, 1}}});
  Estacao e;
  e.nome = "e";
  e.servidores = 2;
  e.capacidade = 6;
  e.servico.media = 2.2;
  r.estacoes.push_back(e);
  const RedePronta pronta = preparar_rede(r);
  struct Quebra {
    void (*quebrar)(Corrida&);
    const char* mensagem;
  };
  const Quebra quebras[] = {
      {[](Corrida& c) { ++c.estacoes[0].ocupados; }, "estacao 1 com 3 servidores ocupados de 2"},
      {[](Corrida& c) { c.pendentes[0].t = c.relogio - 1; }, "antes do relogio"},
      {[](Corrida& c) { ++c.saidas_total; }, "!= presentes"},
      {[](Corrida& c) { c.pendentes.pop_back(); }, "pendente"},
  };
  for (const Quebra& q : quebras) {
    Corrida c(pronta, 3, 0, 0);
    while (c.eventos < 200) ASSERT_TRUE(passo(c));
    ASSERT_EQ(verificar(c), "");
    ASSERT_EQ(c.estacoes[0].ocupados, 2);  // the station is full, as the mutations assume
    ASSERT_EQ(c.gerados_total, 200 - c.estacoes[0].atendidos);
    q.quebrar(c);
    EXPECT_NE(verificar(c).find(q.mensagem), std::string::npos) << verificar(c);
  }
}

}  // namespace
}  // namespace tarvo::geral
