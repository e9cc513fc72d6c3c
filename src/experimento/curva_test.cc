// Number waiting over time: the bins, the mean over replications and Welch's moving average on
// values worked by hand; then both engines, whose figures must not change when followed.
#include "experimento/curva.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "geral/adaptador.h"
#include "geral/toml_loader.h"
#include "legado/adaptador.h"

namespace tarvo {
namespace {

TEST(Curva, BinsWidenByOctavesAndKeepTheIntegral) {
  Registro r(2, 1, 2);  // two bins an octave: edges 0 1 2 3 4, 6 8, 12 16, 24 32, ...
  const double a[] = {2, 1}, b[] = {0, 3};
  r.ate(3, a);   // 2 and 1 waiting over [0, 3)
  r.ate(13, b);  // 0 and 3 over [3, 13): [12, 16) is not whole
  r.ate(9, a);   // the clock never goes back
  const Serie s = r.serie();
  EXPECT_EQ(s.limites, (std::vector<double>{0, 1, 2, 3, 4, 6, 8, 12}));
  ASSERT_EQ(s.medias.size(), 2u);
  EXPECT_EQ(s.medias[0], (std::vector<double>{2, 2, 2, 0, 0, 0, 0}));
  EXPECT_EQ(s.medias[1], (std::vector<double>{1, 1, 1, 3, 3, 3, 3}));
  Registro longo(1, 0.5);  // the default eight an octave: 16 bins of 0.5, then octaves from 8
  longo.ate(1e6, a);
  const Serie l = longo.serie();
  EXPECT_EQ(l.limites[16], 8);
  EXPECT_EQ(l.limites[24], 16);
  EXPECT_EQ(l.limites.back(), 983040);  // 2^19 + 7 2^16, in the octave of bins 2^16 wide
  EXPECT_EQ(l.limites.size(), 16u + 8 * 16 + 7 + 1);
}

TEST(Curva, MeanOverReplicationsOverTheBinsAllCover) {
  const Serie curta{{0, 1, 2}, {{2, 4}}}, longa{{0, 1, 2, 3}, {{6, 8, 10}}};
  for (bool inverte : {false, true}) {  // in either order
    MediaDeSeries m;
    m.somar(inverte ? longa : curta);
    m.somar(inverte ? curta : longa);
    m.somar(longa);
    EXPECT_EQ(m.replicacoes(), 3u);
    EXPECT_EQ(m.media().limites, (std::vector<double>{0, 1, 2}));
    EXPECT_EQ(m.media().medias[0], (std::vector<double>{(2 + 6 + 6) / 3.0, (4 + 8 + 8) / 3.0}));
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

// The time-average over the bins of a series, and the share of [0, fim) they leave out.
std::pair<double, double> media_no_tempo(const Serie& s, std::size_t e, double fim) {
  double area = 0;
  for (std::size_t k = 0; k < s.medias[e].size(); ++k) {
    area += s.medias[e][k] * (s.limites[k + 1] - s.limites[k]);
  }
  return {area / s.limites.back(), 1 - s.limites.back() / fim};
}

// Followed or not, a replication gives the same figures, with a warm-up too; and the series of
// each station averages over the time its bins cover to its mean queue length (the figure named
// fila) over the run, but for the share f of the run past the last whole bin: the two differ by
// f times the difference between the means before and after, within 2 f while the run's end
// holds no more than twice as many as its whole.
void conferir(const Modelo& m, double aquecimento, const char* fila, std::size_t caixas) {
  const Plano plano{7, 4};
  const Replicacao so = m.rodar(plano, 1, aquecimento, nullptr);
  Serie s;
  const Replicacao seguida = m.rodar(plano, 1, aquecimento, &s);
  EXPECT_EQ(so.valores, seguida.valores);
  if (aquecimento > 0) return;
  const std::vector<std::string> nomes = m.estacoes_em_espera();
  ASSERT_EQ(s.medias.size(), nomes.size());
  EXPECT_EQ(s.limites.size(), caixas + 1);
  const double fim = so.valores[0];  // tempo_final comes first in both engines
  for (std::size_t e = 0; e < nomes.size(); ++e) {
    ASSERT_EQ(s.medias[e].size(), caixas);
    for (std::size_t f = 0; f < m.figuras().size(); ++f) {
      const IdFigura& id = m.figuras()[f];
      if (id.nome != nomes[e] || id.figura != fila) continue;
      const auto [media, fora] = media_no_tempo(s, e, fim);
      EXPECT_NEAR(media, so.valores[f], 2 * fora * so.valores[f] + 1e-12 * media) << nomes[e];
    }
  }
}

TEST(Curva, EnginesFollowWithoutChangingTheirFigures) {
  const std::string tandem = std::string(TARVO_EXEMPLOS) + "/tandem.txt";
  const auto legado = modelo_legado(ler(tandem), tandem);
  EXPECT_EQ(legado->estacoes_em_espera(),
            (std::vector<std::string>{"antes_torno", "antes_fresa", "antes_inspecao"}));
  // Arrivals every 2 on average: 16 bins of 2 up to 32, then 8 an octave up to 49152, the last
  // edge before the end at 50000.
  conferir(*legado, 0, "tamanho_medio", 16 + 8 * 10 + 4);
  conferir(*legado, 900, "tamanho_medio", 0);
  // A time limit of 1024 with arrivals every 1 on average: 16 bins of 1, then six octaves, the
  // last of them ending at 1024, so the bins cover the run exactly.
  const std::string toml =
      "[simulacao]\ntempo = 1024\n[[fonte]]\nnome = \"f\"\nintervalo = { dist = "
      "\"exponencial\", media = 1 }\ndestino = \"a\"\n[[estacao]]\nnome = \"a\"\nservidores = "
      "2\nservico = { dist = \"exponencial\", media = 1.8 }\ndestino = \"b\"\n[[estacao]]\n"
      "nome = \"b\"\nservidores = \"infinitos\"\nservico = { dist = \"exponencial\", media = 1 "
      "}\ndestino = \"c\"\n[[estacao]]\nnome = \"c\"\nservico = { dist = \"uniforme\", min = "
      "0, max = 1.6 }\n";
  const auto geral = modelo_geral(geral::ler_rede_texto(toml, "m.toml"), toml);
  EXPECT_EQ(geral->estacoes_em_espera(), (std::vector<std::string>{"a", "c"}));
  conferir(*geral, 0, "fila_media", 16 + 8 * 6);
  conferir(*geral, 100, "fila_media", 0);
}

}  // namespace
}  // namespace tarvo
