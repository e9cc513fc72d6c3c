// The driver, the intervals and the merge on small models whose figures are known.
#include "experimento/experimento.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <tuple>

#include "experimento/estatistica.h"
#include "experimento/pagina.h"
#include "experimento/saida.h"
#include "geral/adaptador.h"
#include "geral/toml_loader.h"
#include "legado/adaptador.h"
#include "processo.h"

namespace tarvo {
namespace {

using teste::DiretorioTemporario;
using teste::escrever_arquivo;

TEST(Resumo, GivesTheStudentIntervalAndLeavesOutMissingValues) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const Resumo r = resumir({2, nan, 1, 5, inf, 3, 4}, 7, 0.95);
  EXPECT_EQ(r.n, 5);
  EXPECT_EQ(r.faltantes, 2);
  EXPECT_EQ(r.media, 3);
  EXPECT_EQ(r.min, 1);
  EXPECT_EQ(r.max, 5);
  EXPECT_DOUBLE_EQ(r.desvio, std::sqrt(2.5));
  // t with 4 degrees of freedom at 0.975 is 2.776445 (any table).
  EXPECT_NEAR(r.meia_largura, 2.776445 * std::sqrt(2.5) / std::sqrt(5.0), 1e-6);
  EXPECT_TRUE(std::isnan(resumir({7}, 1, 0.95).meia_largura));
  EXPECT_TRUE(std::isnan(resumir({nan}, 1, 0.95).media));
}

struct Modelo_ {
  DiretorioTemporario dir;
  std::unique_ptr<Modelo> m;
  explicit Modelo_(const std::string& texto) {
    escrever_arquivo(dir / "m.txt", texto);
    m = carregar_legado(dir / "m.txt");
  }
  double figura(const Replicacao& r, const std::string& tipo, const std::string& nome) const {
    for (std::size_t f = 0; f < m->figuras().size(); ++f) {
      if (m->figuras()[f].tipo == tipo && m->figuras()[f].figura == nome) return r.valores[f];
    }
    ADD_FAILURE() << tipo << " " << nome;
    return 0;
  }
};

// Arrivals every 2 units from time 2, services of 1.5: the service started at 8 is in progress
// at the warm-up 9 and ends at 9.5, the first event at or after it, where the statistics
// restart. Up to the stop at 100 (the arrival there is the first event at or after D), 46
// services complete (9.5, 11.5, ..., 99.5), all counted in full, and 46 customers arrive (10,
// 12, ..., 100), the last of them in service at the end; nobody ever waits.
TEST(Aquecimento, RestartsTheStatisticsAtTheFirstEventAtOrAfterIt) {
  const Modelo_ m("D 100\nN 1000\nE 2 a 2 2\ns 1\nF q\ns 1\nS 2 b 1.5 1.5\ne 1\ns 2\nF f\n");
  const Replicacao r = m.m->rodar(Plano{1, 1}, 0, 9, nullptr);
  const double T = 100 - 9.5;
  EXPECT_EQ(m.figura(r, "rede", "tempo_final"), 100);
  EXPECT_EQ(m.figura(r, "fonte", "gerados"), 46);
  EXPECT_EQ(m.figura(r, "servidor", "atendidos"), 46);
  EXPECT_EQ(m.figura(r, "servidor", "utilizacao"), double{static_cast<float>(46 * 1.5 / T)});
  EXPECT_EQ(m.figura(r, "servidor", "em_servico"), 1);
  EXPECT_EQ(m.figura(r, "fila", "taxa_chegada"), double{static_cast<float>(46 / T)});
  EXPECT_EQ(m.figura(r, "fila", "tamanho_medio"), 0);
  EXPECT_EQ(m.figura(r, "fila", "maximo"), 0);
  EXPECT_EQ(m.figura(r, "fila", "sorvedouro"), 46);
  // A warm-up past the end of the run: the limit comes first and nothing restarts.
  const Replicacao fim = m.m->rodar(Plano{1, 1}, 0, 500, nullptr);
  EXPECT_EQ(m.figura(fim, "servidor", "atendidos"), 49);
}

// A day of three windows of 2 whose figures are chosen: the mean wait of the whole run, which
// barely varies, and of each window: none in window 0 (before the warm-up), one in every other
// replication in window 1, and in window 2 one that varies too much for any precision.
class Dia final : public Modelo {
 public:
  Dia() {
    ids_ = {{"estacao", "caixa", 1, "espera_media", "TEM.MED.FIL"}};
    for (int k = 0; k < 3; ++k) {
      ids_.push_back(ids_[0]);
      ids_.back().janela = k;
      ids_.back().inicio = 2.0 * k;
    }
  }
  const std::vector<IdFigura>& figuras() const override { return ids_; }
  std::uint64_t sorteios_por_replicacao(const Plano&) const override { return 0; }
  std::uint64_t assinatura() const override { return 1; }
  std::optional<double> tempo_limite() const override { return 6; }
  double eventos_esperados() const override { return 1; }
  std::string aviso_sem_eventos() const override { return ""; }
  std::vector<std::string> descricao() const override { return {}; }
  std::vector<std::string> estacoes_em_espera() const override { return {}; }
  Replicacao rodar(const Plano&, std::int64_t i, const Rodada&) const override {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double u = static_cast<double>(i * 7919 % 101) / 100;
    Replicacao r;
    r.valores = {2 + 0.01 * u, nan, i % 2 == 0 ? 1 + u : nan, 10 * u};
    r.semente = static_cast<std::uint64_t>(i);
    r.eventos = 1;
    return r;
  }

 private:
  std::vector<IdFigura> ids_;
};

// The precision holds on the whole run's figures, named or not, never on a window's: the Dia's
// would keep the run going to its maximum.
TEST(Fatias, MergeDecidesThePrecisionAsOneRunDoes) {
  const Modelo_ m("D 400\nN 100000\nE 1 a 1 0\ns 1\nF q\ns 1\nS 1 b 0.7 0\ne 1\ns 2\nF f\n");
  const Dia dia;
  const std::pair<const Modelo*, std::vector<std::string>> casos[] = {
      {m.m.get(), {"espera_media"}}, {&dia, {"espera_media"}}, {&dia, {}}};
  for (const auto& [modelo, alvos] : casos) {
    SCOPED_TRACE(modelo == &dia ? "dia" : "m.txt");
    Pedido p;
    p.modelo = "m.txt";
    p.plano = {5, 40};
    p.replicacoes = 3;
    p.precisao = 0.15;
    p.alvos = alvos;
    const Resultado inteiro = executar(*modelo, p, Execucao{2, {}, {}, {}});
    ASSERT_TRUE(inteiro.precisao_atingida);
    ASSERT_LT(inteiro.fim, 38);
    // Slices past the stopping point are run but not used.
    std::vector<Resultado> fatias;
    for (auto [a, b] : {std::pair{14, 40}, std::pair{0, 7}, std::pair{7, 14}}) {
      fatias.push_back(executar(*modelo, p, Execucao{1, a, b, {}}));
      fatias.back() = ler_json(escrever(fatias.back(), Formato::json), "x");
    }
    const Resultado junto = juntar(fatias, {"a", "b", "c"});
    for (Formato f : {Formato::texto, Formato::json, Formato::csv}) {
      EXPECT_EQ(escrever(junto, f), escrever(inteiro, f));
    }
  }
}

// A window's figure carries its index and start in JSON, and nothing marks the whole run's; a
// sweep's table and the pages of a sweep and of a comparison keep the whole run's figures only,
// and say where the windows are.
TEST(Janelas, GoIntoJsonAndStayOutOfTheSweepAndComparisonPages) {
  const Dia dia;
  Pedido p;
  p.plano = {1, 3};
  p.replicacoes = 3;
  std::vector<Ponto> pontos, inteiras;
  for (double x : {1.0, 2.0}) {
    pontos.push_back({{{"x", x}}, executar(dia, p, Execucao{})});
    inteiras.push_back(pontos.back());
    selecionar(inteiras.back().resultado, {true, false, false, false});
  }
  const auto json = nlohmann::ordered_json::parse(escrever(pontos[0].resultado, Formato::json));
  EXPECT_FALSE(json["figuras"][0].contains("janela"));
  EXPECT_EQ(json["figuras"][3]["janela"], 2);
  EXPECT_EQ(json["figuras"][3]["inicio"], 4.0);
  EXPECT_EQ(escrever_varredura(pontos, Formato::texto),
            escrever_varredura(inteiras, Formato::texto) +
                "\n As figuras por janela de tempo ficam fora destas tabelas: veja-as nas saidas "
                "json e csv.\n");
  const Contexto c{"tarvo-rep", {}, {}};
  auto sem_nota = [](std::string pagina) {
    const std::size_t i = pagina.find("<p class=\"legenda\">As figuras por janela de tempo");
    EXPECT_NE(i, std::string::npos);
    return i == std::string::npos ? pagina : pagina.erase(i, pagina.find('\n', i) + 1 - i);
  };
  EXPECT_EQ(sem_nota(pagina_varredura(pontos, c)), pagina_varredura(inteiras, c));
  EXPECT_EQ(sem_nota(pagina_comparacao(pontos[0].resultado, pontos[1].resultado, c)),
            pagina_comparacao(inteiras[0].resultado, inteiras[1].resultado, c));
}

// Far from time zero a service of 0.5 is lost to the 32-bit clock; a plan of 2^31 replications
// leaves each one a single draw of the generator's cycle.
TEST(Avisos, SayWhenDurationsWereLostOrStreamsRanIntoEachOther) {
  const Modelo_ m("D 1e30\nN 40\nE 2 longe 2e7 2e7\ns 1\nF q\ns 1\nS 1 b 0.5 0\ne 1\ns 2\nF f\n");
  Pedido p;
  p.plano = {1, std::int64_t{1} << 31};
  p.replicacoes = 2;
  p.sorteios_por_replicacao = m.m->sorteios_por_replicacao(p.plano);
  EXPECT_EQ(p.sorteios_por_replicacao, 1u);
  const Resultado r = executar(*m.m, p, Execucao{1, {}, {}, {}});
  EXPECT_EQ(avisos(r),
            "Aviso: em 2 de 2 replicacoes, duracoes se perderam por falta de precisao do relogio "
            "de 32 bits (figura duracoes_perdidas); use replicacoes mais curtas (N ou D menores) "
            "ou a linguagem estendida (tarvo-rep convert)\n"
            "Aviso: 2 replicacoes (a primeira: 0) sortearam mais que os 1 numeros do seu trecho "
            "do gerador, e seu trecho invadiu o da replicacao seguinte; use replicacoes mais "
            "curtas ou um maximo de replicacoes menor\n");
  const std::string texto = escrever(r, Formato::texto);
  EXPECT_EQ(texto.substr(texto.size() - avisos(r).size()), avisos(r));
}

// Three replications of two designs by hand: station y of A is z in B; B's wait at w is 1 lower
// in every pair, at x the pairs differ by 1, 0 and -1 (interval 0 +/- t(2; 0.975) / sqrt(3)).
// A figure of one model only is listed, not dropped; the verdict counts the rows of both, and
// says the losses and their probability, which fall the same way, in one line. Windows pair by
// their index, in a table of their own, and stay out of the verdict: in window 1 of x, B waits
// less, which does not make it better at 2 of 2 stations; window 2 is B's only.
TEST(Comparacao, ListsWhatOnlyOneModelHasAndEndsWithAVerdict) {
  using V = std::vector<double>;
  auto modelo = [](const char* nome,
                   std::vector<std::tuple<IdFigura, V, std::optional<Teorico>>> fs) {
    Resultado r;
    r.pedido.modelo = nome;
    r.pedido.plano = {1, 3};
    r.pedido.replicacoes = 3;
    r.pedido.teoria = true;
    r.fim = 3;
    for (auto& [id, v, t] : fs) {
      r.ids.push_back(id);
      r.valores.push_back(v);
      r.teoria.push_back(t);
    }
    return r;
  };
  auto id = [](const char* tipo, const char* nome, const char* figura, const char* rotulo) {
    return IdFigura{tipo, nome, 1, figura, rotulo, std::nullopt};
  };
  auto janela = [&id](int k) {
    IdFigura x = id("estacao", "x", "espera_media", "TEM.MED.FIL");
    x.janela = k;
    x.inicio = k;
    return x;
  };
  const std::optional<Teorico> nada;
  const Resultado a = modelo(
      "a.toml",
      {{id("rede", "rede", "permanencia_media", "TEM.MED.REDE"), V{3, 4, 5}, nada},
       {id("estacao", "w", "espera_media", "TEM.MED.FIL"), V{2, 3, 4}, Teorico{0, "instavel", 1.2}},
       {id("estacao", "w", "perdidos", "NUM.PERDIDOS"), V{0, 0, 0}, nada},
       {id("estacao", "w", "prob_perda", "PROB.PERDA"), V{0, 0, 0}, nada},
       {id("estacao", "x", "espera_media", "TEM.MED.FIL"), V{1, 2, 3}, Teorico{2, "exata", 0}},
       {id("estacao", "x", "perdidos", "NUM.PERDIDOS"), V{2, 2, 2}, nada},
       {id("estacao", "x", "prob_perda", "PROB.PERDA"), V{0.6, 0.6, 0.6}, nada},
       {id("estacao", "x", "utilizacao", "UTILIZ."), V{0.5, 0.5, 0.5}, nada},
       {id("estacao", "y", "espera_media", "TEM.MED.FIL"), V{4, 4, 4}, nada},
       {janela(0), V{1, 2, 3}, nada},
       {janela(1), V{2, 2, 2}, nada}});
  const Resultado b =
      modelo("b.toml", {{id("rede", "rede", "permanencia_media", "TEM.MED.REDE"), V{2, 3, 4}, nada},
                        {id("estacao", "w", "espera_media", "TEM.MED.FIL"), V{1, 2, 3}, nada},
                        {id("estacao", "w", "perdidos", "NUM.PERDIDOS"), V{1, 1, 1}, nada},
                        {id("estacao", "w", "prob_perda", "PROB.PERDA"), V{0.5, 0.5, 0.5}, nada},
                        {id("estacao", "x", "espera_media", "TEM.MED.FIL"), V{2, 2, 2},
                         Teorico{2.5, "aproximada", 0}},
                        {id("estacao", "x", "perdidos", "NUM.PERDIDOS"), V{1, 1, 1}, nada},
                        {id("estacao", "x", "prob_perda", "PROB.PERDA"), V{0.3, 0.3, 0.3}, nada},
                        {id("estacao", "x", "utilizacao", "UTILIZ."), V{0.4, 0.4, 0.4}, nada},
                        {id("estacao", "z", "espera_media", "TEM.MED.FIL"), V{1, 1, 1}, nada},
                        {janela(0), V{1, 1, 1}, nada},
                        {janela(1), V{1, 1, 1}, nada},
                        {janela(2), V{1, 1, 1}, nada}});
  EXPECT_EQ(
      escrever_comparacao(a, b, Formato::texto),
      " TARVO-REP: comparacao pareada de dois modelos\n\n"
      " A           : a.toml\n"
      " B           : b.toml\n"
      " semente     : 1 (a mesma em toda execucao: numeros aleatorios comuns)\n"
      " replicacoes : 3\n"
      " confianca   : 0.95 (intervalos t de Student)\n"
      " aquecimento : A 0, B 0\n"
      " diferenca   : B - A, replicacao a replicacao (pareadas pelo indice), com seu "
      "intervalo\n\n"
      " TIPO    NOME FIGURA       MEDIA A MEDIA B B - A      +/- N TEORIA A   TEORIA B MELHOR\n"
      " rede    rede TEM.MED.REDE       4       3    -1        0 3        -          - B\n"
      " estacao w    TEM.MED.FIL        3       2    -1        0 3 instavel          - B\n"
      " estacao w    NUM.PERDIDOS       0       1     1        0 3        -          - A\n"
      " estacao w    PROB.PERDA         0     0.5   0.5        0 3        -          - A\n"
      " estacao x    TEM.MED.FIL        2       2     0 2.484138 3        2 2.500000~* -\n"
      " estacao x    NUM.PERDIDOS       2       1    -1        0 3        -          - B\n"
      " estacao x    PROB.PERDA       0.6     0.3  -0.3        0 3        -          - B\n"
      " estacao x    UTILIZ.          0.5     0.4  -0.1        0 3        -          - -\n"
      " estacao y    TEM.MED.FIL        4       -     -        - -        -          - so em A\n"
      " estacao z    TEM.MED.FIL        -       1     -        - -        -          - so em B\n"
      "\n POR JANELA DE TEMPO: cada figura em cada janela (INICIO: o tempo em que ela comeca)\n"
      "\n estacao 1 x\n"
      "\n   TEM.MED.FIL (espera_media)\n"
      "   JANELA INICIO MEDIA A MEDIA B B - A      +/- N TEORIA A TEORIA B MELHOR\n"
      "        0      0       2       1    -1 2.484138 3        -        - -\n"
      "        1      1       2       1    -1        0 3        -        - B\n"
      "        2      2       -       1     -        - -        -        - so em B\n"
      "\n MELHOR: o modelo melhor onde o intervalo da diferenca exclui 0 (menor e melhor para "
      "esperas,\n tamanhos, permanencias e perdas; maior para vazao e saidas); -: sem "
      "veredito; so em A, so em B:\n a figura de um modelo so (objeto acrescentado, retirado "
      "ou renomeado)\n"
      " TEORIA A, TEORIA B: a teoria de filas de cada modelo; ~: aproximacao de dois "
      "momentos;\n *: fora do intervalo da media do modelo; instavel: carga de 1 ou mais\n"
      "\n VEREDITO, onde o intervalo da diferenca exclui 0:\n"
      " permanencia_media: B fica menos tempo na rede\n"
      " espera_media: B espera menos em 1 de 2 estacoes\n"
      " perdidos, prob_perda: A perde menos em 1 de 2 estacoes, B em 1\n");
  const auto json =
      nlohmann::ordered_json::parse(escrever_comparacao(a, b, Formato::json))["comparacao"];
  ASSERT_EQ(json.size(), 13u);
  EXPECT_EQ(json[8].dump(),
            R"({"tipo":"estacao","nome":"y","figura":"espera_media","media_a":4.0,"media_b":null,)"
            R"("diferenca":null,"meia_largura":null,"n":0,"melhor":"-","so_em":"A"})");
  EXPECT_EQ(json[0]["so_em"], nullptr);
  EXPECT_EQ(json[12]["janela"], 2);
  EXPECT_EQ(json[12]["so_em"], "B");
  const std::string csv = escrever_comparacao(a, b, Formato::csv);
  EXPECT_EQ(csv.substr(0, csv.find('\n')),
            "tipo,nome,classe,figura,rotulo,media_a,media_b,diferenca,meia_largura,n,melhor,so_em,"
            "janela,inicio");
  EXPECT_EQ(csv.substr(csv.rfind('\n', csv.rfind('\n', csv.size() - 2) - 1) + 1),
            "estacao,z,,espera_media,TEM.MED.FIL,,1.0,,,0,-,B,,\n"
            "estacao,x,,espera_media,TEM.MED.FIL,,1.0,,,0,-,B,2,2.0\n");
}

// The model in words, for both languages, against the sentences of tests/html/palavras.txt.
TEST(Descricao, SaysTheModelInWords) {
  std::ifstream f(TARVO_PALAVRAS);
  ASSERT_TRUE(f) << TARVO_PALAVRAS;
  struct Caso {
    std::string nome, modelo;
    std::vector<std::string> frases;
  };
  std::vector<Caso> casos;
  for (std::string l; std::getline(f, l);) {
    if (l.rfind("== ", 0) == 0) casos.push_back({l.substr(3), "", {}});
    if (casos.empty() || l.size() < 2 || l[1] != ' ') continue;
    if (l[0] == '<') casos.back().modelo += l.substr(2) + "\n";
    if (l[0] == '>') casos.back().frases.push_back(l.substr(2));
  }
  ASSERT_GE(casos.size(), 3u);
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.nome);
    const std::unique_ptr<Modelo> m =
        c.nome.rfind("toml", 0) == 0
            ? modelo_geral(geral::ler_rede_texto(c.modelo, "m.toml"), c.modelo)
            : modelo_legado(c.modelo, "m.txt");
    EXPECT_EQ(m->descricao(), c.frases);
  }
}

}  // namespace
}  // namespace tarvo
