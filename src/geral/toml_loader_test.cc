// The .toml loader: the example network field by field, the other forms a model may take, and
// every bad file of tests/geral/erros refused with the message written on its first line.
#include "geral/toml_loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <tuple>
#include <utility>
#include <vector>

#include "comum/failure.h"

namespace tarvo::geral {
namespace {

namespace fs = std::filesystem;

auto campos(const Distribuicao& d) {
  return std::tuple(d.tipo, d.media, d.min, d.moda, d.max, d.valor, d.k, d.forma, d.desvio, d.cv,
                    d.valores);
}

std::vector<std::pair<int, double>> pares(const Rota& r) {
  std::vector<std::pair<int, double>> v;
  for (const Destino& d : r) v.emplace_back(d.estacao, d.p);
  return v;
}

TEST(LerRede, LoadsTheExampleAsWritten) {
  const Rede r = ler_rede(TARVO_EXEMPLOS "/clinica.toml");
  EXPECT_EQ(r.tempo, 100000.0);
  EXPECT_EQ(r.fregueses, 200000);
  EXPECT_EQ(r.aquecimento, 1000.0);
  ASSERT_EQ(r.fontes.size(), 1u);
  EXPECT_EQ(r.fontes[0].nome, "chegadas");
  EXPECT_EQ(campos(r.fontes[0].intervalo),
            campos({.tipo = Dist::exponencial, .media = 1.0, .valores = {}}));
  EXPECT_EQ(pares(r.fontes[0].rota), (std::vector<std::pair<int, double>>{{0, 1.0}}));
  ASSERT_EQ(r.estacoes.size(), 2u);
  const Estacao &t = r.estacoes[0], &c = r.estacoes[1];
  EXPECT_TRUE(t.nome == "triagem" && t.servidores == 2 && !t.infinitos && !t.capacidade);
  EXPECT_EQ(campos(t.servico), campos({.tipo = Dist::erlang, .media = 1.6, .k = 3, .valores = {}}));
  EXPECT_EQ(pares(t.rota), (std::vector<std::pair<int, double>>{{1, 0.7}}));
  EXPECT_TRUE(c.nome == "consulta" && c.servidores == 4 && !c.infinitos && c.capacidade == 12);
  EXPECT_EQ(campos(c.servico),
            campos({.tipo = Dist::lognormal, .media = 3.0, .desvio = 1.5, .valores = {}}));
  EXPECT_EQ(pares(c.rota), (std::vector<std::pair<int, double>>{{1, 0.2}}));
  // What the model leaves out of a day's keys stays out.
  EXPECT_TRUE(!r.janela && !r.fontes[0].taxa && !r.fontes[0].lote && !c.turnos && !c.paciencia &&
              c.desistencia.empty() && !c.bloqueia);
  EXPECT_TRUE(r.avisos.empty());
}

TEST(LerRede, TakesASourceRouteInfiniteServersWholeFloatsAndWarnsOfAStationNothingReaches) {
  const Rede r = ler_rede_texto(R"(
[simulacao]
fregueses = 1e3     # a whole float for an integer
tempo = 50          # an integer for a real

[[fonte]]
nome = "a"
intervalo = { dist = "exponencial", media = 1 }
# 1.0000000000000002 in binary, within the tolerance
rota = [ { destino = "atraso", p = 0.34 }, { destino = "fila", p = 0.56 },
         { destino = "fim", p = 0.1 } ]

[[estacao]]
nome = "atraso"
servidores = "infinitos"
capacidade = 3
servico = { dist = "exponencial", media = 4 }
destino = "fila"    # all of them, to a station that lets some out

[[estacao]]
nome = "fila"
servidores = 2.0
servico = { dist = "exponencial", media = 1 }
rota = [ { destino = "fila", p = 0.5 }, { destino = "sozinha", p = 0 } ]

[[estacao]]
nome = "fim"
servico = { dist = "exponencial", media = 1 }

[[estacao]]
nome = "sozinha"    # a closed loop, but nobody gets here
servico = { dist = "exponencial", media = 1 }
destino = "sozinha"
)",
                                "v.toml");
  using Pares = std::vector<std::pair<int, double>>;
  EXPECT_TRUE(r.fregueses == 1000 && r.tempo == 50.0 && r.aquecimento == 0);
  EXPECT_EQ(pares(r.fontes[0].rota), (Pares{{0, 0.34}, {1, 0.56}, {2, 0.1}}));
  ASSERT_EQ(r.estacoes.size(), 4u);
  const Estacao &a = r.estacoes[0], &f = r.estacoes[1], &fim = r.estacoes[2];
  EXPECT_TRUE(a.infinitos && a.capacidade == 3);
  EXPECT_EQ(pares(a.rota), (Pares{{1, 1.0}}));
  EXPECT_TRUE(f.servidores == 2 && !f.infinitos && !f.capacidade);
  EXPECT_EQ(pares(f.rota), (Pares{{1, 0.5}, {3, 0.0}}));
  EXPECT_TRUE(fim.servidores == 1 && fim.rota.empty());
  EXPECT_EQ(pares(r.estacoes[3].rota), (Pares{{3, 1.0}}));
  EXPECT_EQ(r.avisos, std::vector<std::string>{
                          "v.toml:31:8: aviso: nenhum fregues chega a estacao \"sozinha\""});
}

// Classes, disciplines, a closed class and what each class does differently at a station.
TEST(LerRede, LoadsClassesAsWritten) {
  using Pares = std::vector<std::pair<int, double>>;
  const Rede r = ler_rede(TARVO_EXEMPLOS "/pronto_socorro.toml");
  ASSERT_EQ(r.classes.size(), 3u);
  const Classe &u = r.classes[0], &ro = r.classes[1], &m = r.classes[2];
  EXPECT_TRUE(u.nome == "urgente" && u.prioridade == 0 && !u.populacao);
  EXPECT_TRUE(ro.nome == "rotina" && ro.prioridade == 1 && !ro.populacao);
  EXPECT_TRUE(m.nome == "maqueiros" && m.populacao == 3 && m.inicio == 3);
  EXPECT_EQ(r.fontes[0].classe, 0);
  EXPECT_EQ(r.fontes[1].classe, 1);
  ASSERT_EQ(r.estacoes.size(), 4u);
  const Estacao &t = r.estacoes[0], &e = r.estacoes[1], &c = r.estacoes[2], &b = r.estacoes[3];
  EXPECT_EQ(t.disciplina, Disciplina::prioridade);
  ASSERT_EQ(t.classes.size(), 3u);
  EXPECT_EQ(campos(*t.classes[0].servico),
            campos({.tipo = Dist::exponencial, .media = 0.5, .valores = {}}));
  EXPECT_EQ(pares(*t.classes[0].rota), (Pares{{1, 1.0}}));
  EXPECT_TRUE(!t.classes[0].proxima_classe && !t.classes[1].servico && !t.classes[1].rota &&
              !t.classes[2].rota);
  EXPECT_EQ(e.disciplina, Disciplina::ps);
  ASSERT_EQ(e.classes.size(), 3u);
  EXPECT_TRUE(!e.classes[0].servico && e.classes[0].proxima_classe == 1 && !e.classes[1].rota);
  EXPECT_EQ(pares(*e.classes[0].rota), (Pares{{2, 0.4}}));
  EXPECT_EQ(pares(*e.classes[2].rota), (Pares{{3, 1.0}}));
  EXPECT_TRUE(c.disciplina == Disciplina::fifo && c.classes.empty());
  EXPECT_TRUE(b.infinitos && b.classes.empty());
  EXPECT_TRUE(r.avisos.empty());
}

// Rates and servers by the hour, batches, patience, balking, blocking and windows.
TEST(LerRede, LoadsACallCentresDayAsWritten) {
  const Rede r = ler_rede(TARVO_EXEMPLOS "/central.toml");
  EXPECT_TRUE(r.tempo == 24.0 && r.janela == 1.0 && !r.fregueses);
  ASSERT_EQ(r.fontes.size(), 2u);
  const Fonte &c = r.fontes[0], &rt = r.fontes[1];
  ASSERT_TRUE(c.taxa && rt.taxa && rt.lote);
  EXPECT_EQ(c.taxa->periodo, 24.0);
  EXPECT_EQ(c.taxa->valores, (std::vector<std::pair<double, double>>{
                                 {0.0, 20.0}, {8.0, 120.0}, {12.0, 90.0}, {18.0, 40.0}}));
  EXPECT_FALSE(c.lote);
  EXPECT_EQ(rt.taxa->valores,
            (std::vector<std::pair<double, double>>{{0.0, 0.0}, {9.0, 2.0}, {17.0, 0.0}}));
  EXPECT_EQ(campos(*rt.lote),
            campos({.tipo = Dist::empirica, .valores = std::vector<double>{1, 1, 2, 3}}));
  ASSERT_EQ(r.estacoes.size(), 2u);
  const Estacao &u = r.estacoes[0], &a = r.estacoes[1];
  EXPECT_TRUE(u.infinitos && !u.turnos && !u.paciencia && u.desistencia.empty() && !u.bloqueia);
  ASSERT_TRUE(a.turnos && a.paciencia);
  EXPECT_EQ(a.turnos->periodo, 24.0);
  EXPECT_EQ(a.turnos->valores,
            (std::vector<std::pair<double, int>>{{0.0, 3}, {8.0, 14}, {18.0, 5}}));
  EXPECT_EQ(a.servidores, 14);  // the most of any shift
  EXPECT_TRUE(a.capacidade == 40 && a.bloqueia && a.limiar == 0.0056);
  EXPECT_EQ(campos(*a.paciencia),
            campos({.tipo = Dist::exponencial, .media = 0.05, .valores = {}}));
  EXPECT_EQ(a.desistencia, (std::vector<double>{1.0, 1.0, 0.9, 0.7, 0.5}));
  ASSERT_EQ(a.classes.size(), 2u);
  EXPECT_FALSE(a.classes[0].paciencia);
  EXPECT_EQ(campos(*a.classes[1].paciencia),
            campos({.tipo = Dist::exponencial, .media = 0.1, .valores = {}}));
  EXPECT_TRUE(r.avisos.empty());
}

// Only closed classes: no source, and what the loader warns of in a model with classes.
TEST(LerRede, TakesAClosedNetworkAndWarnsOfWhatHasNoEffect) {
  const Rede r = ler_rede_texto(R"(
[simulacao]
tempo = 100

[[classe]]
nome = "a"
populacao = 2
inicio = "cpu"

[[classe]]
nome = "b"           # nobody is ever of this class

[[estacao]]
nome = "cpu"
disciplina = "prioridade_preemptiva"
servico = { dist = "exponencial", media = 1 }
destino = "cpu"
classes = { a = { proxima_classe = "a" }, b = { destino = "disco" } }

[[estacao]]
nome = "disco"
servico = { dist = "exponencial", media = 1 }
)",
                                "f.toml");
  EXPECT_TRUE(r.fontes.empty());
  EXPECT_EQ(r.estacoes[0].disciplina, Disciplina::prioridade_preemptiva);
  EXPECT_EQ(r.estacoes[0].classes[0].proxima_classe, 0);
  EXPECT_EQ(
      r.avisos,
      (std::vector<std::string>{
          "f.toml:15:14: aviso: a disciplina \"prioridade_preemptiva\" de \"cpu\" serve na "
          "ordem de chegada: todas as classes tem a mesma \"prioridade\"",
          "f.toml:21:8: aviso: nenhum fregues chega a estacao \"disco\"",
          "f.toml:18:43: aviso: nenhum fregues da classe \"b\" chega a estacao \"cpu\": o que "
          "ela diz dessa classe nao tem efeito",
          "f.toml:11:8: aviso: nenhum fregues da classe \"b\" chega a uma estacao"}));
}

TEST(LerRede, NamesAFileItCannotRead) {
  for (const std::string caminho : {"/nao/existe.toml", TARVO_GERAL_ERROS}) {
    try {
      ler_rede(caminho);
      ADD_FAILURE() << caminho;
    } catch (const Falha& f) {
      EXPECT_EQ(f.texto,
                caminho == TARVO_GERAL_ERROS
                    ? caminho + ": nao foi possivel ler o arquivo (e um diretorio)\n"
                    : caminho + ": nao foi possivel abrir o arquivo (arquivo inexistente)\n");
    }
  }
}

std::vector<std::string> arquivos_ruins() {
  std::vector<std::string> v;
  for (const auto& e : fs::directory_iterator(TARVO_GERAL_ERROS)) {
    if (e.path().extension() == ".toml") v.push_back(e.path());
  }
  std::sort(v.begin(), v.end());
  return v;
}

class ArquivoRuim : public testing::TestWithParam<std::string> {};

// The first line of each file is "# " and the whole message.
TEST_P(ArquivoRuim, IsRefusedWithTheMessageOnItsFirstLine) {
  const fs::path caminho = GetParam();
  std::ifstream in(caminho, std::ios::binary);
  const std::string texto{std::istreambuf_iterator<char>(in), {}};
  ASSERT_EQ(texto.rfind("# ", 0), 0u);
  try {
    ler_rede_texto(texto, caminho.filename());
    ADD_FAILURE() << "loaded";
  } catch (const Falha& f) {
    EXPECT_EQ(f.status, 1);
    EXPECT_EQ(f.texto, texto.substr(2, texto.find('\n') - 1));
  }
}

INSTANTIATE_TEST_SUITE_P(Erros, ArquivoRuim, testing::ValuesIn(arquivos_ruins()),
                         [](const testing::TestParamInfo<std::string>& i) {
                           return fs::path(i.param).stem().string();
                         });

}  // namespace
}  // namespace tarvo::geral
