// The checked mode over random networks of every shape the engine takes, and the checks
// themselves catching a state that was broken on purpose.
#include "geral/verificacao.h"

#include <gtest/gtest.h>

#include <string>

#include "comum/failure.h"
#include "geral/classes.h"

namespace tarvo::geral {
namespace {

// A network drawn from the seed: up to 3 sources and 8 stations, every distribution, finite and
// infinite servers, capacities, routes that leave, loop back or go nowhere, ties from
// deterministic times, and a warm-up and limits small enough for a few thousand events. With
// classes: up to 3 open classes of random priorities, maybe a closed one, every discipline, and
// per class services, routes and changes of class. With a day's features as well: rates by the
// hour, batches, shifts, impatience, balking, blocking and windows.
Rede aleatoria(std::uint32_t semente, bool com_classes = false, bool dia = false) {
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
  if (!com_classes) return r;
  const int abertas = 1 + inteiro(3);
  for (int k = 0; k < abertas; ++k)
    r.classes.push_back({"k" + std::to_string(k), inteiro(3), {}, -1});
  const bool fechada = inteiro(2) == 0;
  if (fechada) r.classes.push_back({"fechada", inteiro(3), 1 + inteiro(5), inteiro(ne)});
  for (Fonte& f : r.fontes) f.classe = inteiro(abertas);
  const int K = static_cast<int>(r.classes.size());
  for (std::size_t j = 0; j < r.estacoes.size(); ++j) {
    Estacao& e = r.estacoes[j];
    e.disciplina = static_cast<Disciplina>(inteiro(6));
    if (e.infinitos && e.disciplina != Disciplina::fifo) e.infinitos = false;
    // The closed class's customers must all fit: at their start, and blocked, not lost, on
    // their way.
    if (fechada && (!dia || static_cast<int>(j) == r.classes.back().inicio)) e.capacidade.reset();
    if (fechada && e.capacidade) e.bloqueia = true;
    e.classes.resize(static_cast<std::size_t>(K));
    for (int k = 0; k < K; ++k) {
      DaClasse& d = e.classes[static_cast<std::size_t>(k)];
      if (inteiro(2)) d.servico = dist(real(0.1, 2));
      if (fechada && k == K - 1) {
        d.rota = Rota{{inteiro(ne), 1.0}};  // never leaves
      } else {
        if (inteiro(2)) d.rota = rota();
        if (inteiro(3) == 0) d.proxima_classe = inteiro(abertas);
        if (dia && inteiro(4) == 0) d.paciencia = dist(real(0.1, 3));
      }
    }
  }
  if (!dia) return r;
  auto horario = [&](auto valor) {
    PorHorario<decltype(valor())> h;
    h.periodo = real(2, 60);
    double t = 0;
    for (int i = inteiro(4); i >= 0 && t < h.periodo; --i, t += real(0.5, h.periodo / 2)) {
      h.valores.push_back({t, valor()});
    }
    return h;
  };
  if (inteiro(2)) r.janela = real(1, 40);
  for (Fonte& f : r.fontes) {
    if (inteiro(3) == 0) {
      f.taxa = horario([&] { return inteiro(3) * real(0.2, 1.5); });
      f.taxa->valores[0].second = real(0.2, 1.5);
    }
    if (inteiro(4) == 0) {
      Distribuicao d;
      d.tipo = inteiro(2) ? Dist::deterministica : Dist::empirica;
      d.valor = 1 + inteiro(3);
      d.valores = {1, static_cast<double>(1 + inteiro(4))};
      f.lote = d;
    }
  }
  for (Estacao& e : r.estacoes) {
    if (!e.infinitos && inteiro(3) == 0) {
      e.turnos = horario([&] { return inteiro(4); });
      e.turnos->valores[0].second = 1 + inteiro(3);
      int mais = 0;
      for (const auto& v : e.turnos->valores) mais = std::max(mais, v.second);
      if (e.capacidade && *e.capacidade < mais) e.capacidade = mais;
    }
    if (inteiro(3) == 0) e.paciencia = dist(real(0.1, 3));
    for (int i = inteiro(3) == 0 ? inteiro(4) : -1; i >= 0; --i)
      e.desistencia.push_back(real(0, 1));
    if (e.capacidade && inteiro(2)) e.bloqueia = true;
  }
  // A processor-sharing station cannot be held by a full station it sends to.
  for (Estacao& e : r.estacoes) {
    auto bloqueia = [&r](const Rota& x) {
      for (const Destino& d : x) {
        if (r.estacoes[static_cast<std::size_t>(d.estacao)].bloqueia) return true;
      }
      return false;
    };
    bool b = bloqueia(e.rota);
    for (const DaClasse& d : e.classes) b |= d.rota && bloqueia(*d.rota);
    if (b && e.disciplina == Disciplina::ps) e.disciplina = Disciplina::fifo;
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

TEST(VerificacaoGeral, RandomNetworksWithClassesKeepEveryInvariant) {
  std::uint64_t eventos = 0;
  for (std::uint32_t s = 1; s <= 1000; ++s) {
    const RedePronta pronta = preparar_rede(aleatoria(s, true));
    Corrida c(pronta, s, 0, pronta.aquecimento);
    const std::string v = rodar_verificado(c);
    ASSERT_EQ(v, "") << "network " << s;
    eventos += c.eventos;
  }
  std::printf("  %llu events checked\n", static_cast<unsigned long long>(eventos));
}

// Runs that end in a deadlock of blocked stations stop there, named; until then every invariant
// holds, and the runs that reach the deadlock must be a real share of them, or it is not tested.
TEST(VerificacaoGeral, RandomNetworksOfADayKeepEveryInvariant) {
  std::uint64_t eventos = 0;
  int impasses = 0;
  for (std::uint32_t s = 1; s <= 1000; ++s) {
    const RedePronta pronta = preparar_rede(aleatoria(s, true, true));
    Corrida c(pronta, s, 0, pronta.aquecimento);
    std::string v;
    try {
      v = rodar_verificado(c);
    } catch (const Falha& f) {
      ASSERT_NE(f.texto.find("Impasse"), std::string::npos) << "network " << s << f.texto;
      ASSERT_NE(verificar(c).find("impasse"), std::string::npos) << "network " << s;
      ++impasses;
    }
    ASSERT_EQ(v, "") << "network " << s;
    eventos += c.eventos;
  }
  EXPECT_GT(impasses, 0);
  std::printf("  %llu events checked, %d deadlocks\n", static_cast<unsigned long long>(eventos),
              impasses);
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
  // On the path for classes: a PS station of one class and a closed class of 3 at the other.
  r.classes = {{"a", 0, {}, -1}, {"b", 1, 3, 1}};
  r.estacoes[0].disciplina = Disciplina::ps;
  Estacao f = e;
  f.nome = "f";
  f.capacidade.reset();
  f.disciplina = Disciplina::prioridade_preemptiva;
  f.rota = {{1, 1}};
  r.estacoes.push_back(f);
  const RedePronta classes = preparar_rede(r);
  const Quebra mais[] = {
      {[](Corrida& c) { ++c.classes->classes[0].gerados_total; }, "classe a: gerados"},
      {[](Corrida& c) { ++c.classes->estacoes[1].classes[1].fila; }, "as classes nao somam"},
      {[](Corrida& c) { c.classes->estacoes[0].partilha.pop_back(); }, "partilha com"},
      {[](Corrida& c) { c.classes->estacoes[1].servindo.clear(); }, "conclusoes pendentes"},
      {[](Corrida& c) { c.classes->estacoes[0].partilha[0].fim = -1; }, "recebeu mais"},
  };
  for (const Quebra& q : mais) {
    Corrida c(classes, 3, 0, 0);
    while (c.eventos < 200) ASSERT_TRUE(passo(c));
    ASSERT_EQ(verificar(c), "");
    ASSERT_GT(c.classes->estacoes[0].em_servico, 0);
    SCOPED_TRACE(q.mensagem);
    q.quebrar(c);
    EXPECT_NE(verificar(c).find(q.mensagem), std::string::npos) << verificar(c);
  }
}

}  // namespace
}  // namespace tarvo::geral
