// Number waiting over time: the bins, the mean over replications and Welch's moving average on
// values worked by hand; then both engines, whose figures must not change when followed.
#include "experimento/curva.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/geral.h"
#include "app/legado.h"
#include "geral/toml_loader.h"

namespace tarvo {
namespace {

TEST(Curva, BinsDoubleAndKeepTheIntegral) {
  Registro r(2, 1, 4);  // four bins of 1
  const double a[] = {2, 1}, b[] = {0, 3};
  r.ate(3, a);   // 2 and 1 waiting over [0, 3)
  r.ate(10, b);  // 0 and 3 over [3, 10): past 4 bins of 1 and of 2, so bins of 4
  r.ate(9, a);   // the clock never goes back
  const Serie s = r.serie();
  EXPECT_EQ(s.largura, 4);
  ASSERT_EQ(s.medias.size(), 2u);
  EXPECT_EQ(s.medias[0], (std::vector<double>{6.0 / 4, 0}));  // [8, 10) is not whole
  EXPECT_EQ(s.medias[1], (std::vector<double>{(3 + 3) / 4.0, 3}));
}

TEST(Curva, MeanOverReplicationsAtTheWidestWidth) {
  const Serie fina{1, {{1, 3, 5, 7, 9}}}, larga{2, {{10, 20, 30}}};
  for (bool inverte : {false, true}) {  // in either order
    MediaDeSeries m;
    m.somar(inverte ? larga : fina);
    m.somar(inverte ? fina : larga);
    m.somar(larga);
    EXPECT_EQ(m.replicacoes(), 3u);
    EXPECT_EQ(m.media().largura, 2);
    EXPECT_EQ(m.media().medias[0], (std::vector<double>{(2 + 10 + 10) / 3.0, (6 + 20 + 20) / 3.0}));
  }
}

TEST(Curva, WelchMovingAverage) {
  const std::vector<double> y{0, 1, 4, 9, 16, 25, 36};
  EXPECT_EQ(media_movel(y, 2), (std::vector<double>{0, 5.0 / 3, 6, 11, 18}));
  EXPECT_EQ(media_movel(y, 0), y);
  EXPECT_TRUE(media_movel(y, 7).empty());
}

std::string ler(const std::string& caminho) {
  std::ifstream f(caminho);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

double media(const std::vector<double>& y) {
  double s = 0;
  for (double x : y) s += x;
  return s / static_cast<double>(y.size());
}

// Followed or not, a replication gives the same figures, with a warm-up too; and the series of
// each station averages over the run to its mean queue length (the figure named fila).
void conferir(const Modelo& m, double aquecimento, const char* fila, double tolerancia) {
  const Plano plano{7, 4};
  const Replicacao so = m.rodar(plano, 1, aquecimento, nullptr);
  Serie s;
  const Replicacao seguida = m.rodar(plano, 1, aquecimento, &s);
  EXPECT_EQ(so.valores, seguida.valores);
  if (aquecimento > 0) return;
  const std::vector<std::string> nomes = m.estacoes_em_espera();
  ASSERT_EQ(s.medias.size(), nomes.size());
  for (std::size_t e = 0; e < nomes.size(); ++e) {
    ASSERT_GE(s.medias[e].size(), 128u);
    for (std::size_t f = 0; f < m.figuras().size(); ++f) {
      const IdFigura& id = m.figuras()[f];
      if (id.nome != nomes[e] || id.figura != fila) continue;
      EXPECT_NEAR(media(s.medias[e]), so.valores[f], tolerancia * so.valores[f]) << nomes[e];
    }
  }
}

TEST(Curva, EnginesFollowWithoutChangingTheirFigures) {
  const std::string tandem = std::string(TARVO_EXEMPLOS) + "/tandem.txt";
  const auto legado = modelo_legado(ler(tandem), tandem);
  EXPECT_EQ(legado->estacoes_em_espera(),
            (std::vector<std::string>{"antes_torno", "antes_fresa", "antes_inspecao"}));
  conferir(*legado, 0, "tamanho_medio", 0.02);  // the last bins are not whole
  conferir(*legado, 900, "tamanho_medio", 0);
  // A time limit of 256 whole bins, each 4 wide: the bins cover the run exactly.
  const std::string toml =
      "[simulacao]\ntempo = 1024\n[[fonte]]\nnome = \"f\"\nintervalo = { dist = "
      "\"exponencial\", media = 1 }\ndestino = \"a\"\n[[estacao]]\nnome = \"a\"\nservidores = "
      "2\nservico = { dist = \"exponencial\", media = 1.8 }\ndestino = \"b\"\n[[estacao]]\n"
      "nome = \"b\"\nservidores = \"infinitos\"\nservico = { dist = \"exponencial\", media = 1 "
      "}\ndestino = \"c\"\n[[estacao]]\nnome = \"c\"\nservico = { dist = \"uniforme\", min = "
      "0, max = 1.6 }\n";
  const auto geral = modelo_geral(geral::ler_rede_texto(toml, "m.toml"), toml);
  EXPECT_EQ(geral->estacoes_em_espera(), (std::vector<std::string>{"a", "c"}));
  conferir(*geral, 0, "fila_media", 1e-12);
  conferir(*geral, 100, "fila_media", 0);
}

}  // namespace
}  // namespace tarvo
