// Legacy models in the extended language: the examples and random networks convert into files
// that load, or are refused with the reason; the parts of a legacy network map as documented.
#include "legado/converter.h"

#include <gtest/gtest.h>

#include "comum/failure.h"
#include "geral/toml_loader.h"
#include "legado/check/random_network.h"
#include "processo.h"

namespace tarvo {
namespace {

using teste::DiretorioTemporario;
using teste::escrever_arquivo;

const char* const RECUSA = "a linguagem estendida nao expressa este modelo: ";

TEST(Converter, MapsQueuesAndTheirServersToStations) {
  DiretorioTemporario d;
  escrever_arquivo(d / "m.txt",
                   "D 500\nN 40\nE 2 porta 1 3\ns 1\nF espera\ns 1\nS 1 caixa 0.8 0\ne 1\ns 2\n"
                   "F depois\ns 2\nS 2 fim 2 2\ne 2\ns 3\nF sai\n");
  const geral::Rede r = geral::ler_rede_texto(converter_legado(d / "m.txt"), "m.toml");
  EXPECT_EQ(r.tempo, 500);
  EXPECT_EQ(r.fregueses, 40);
  ASSERT_EQ(r.fontes.size(), 1u);
  EXPECT_EQ(r.fontes[0].intervalo.tipo, geral::Dist::uniforme);
  EXPECT_EQ(r.fontes[0].intervalo.max, 3);
  ASSERT_EQ(r.estacoes.size(), 2u);
  EXPECT_EQ(r.estacoes[0].nome, "espera");
  EXPECT_EQ(r.estacoes[0].servico.media, 0.8);  // the decimal written, not the 32-bit value
  ASSERT_EQ(r.estacoes[0].rota.size(), 1u);
  EXPECT_EQ(r.estacoes[0].rota[0].estacao, 1);
  EXPECT_EQ(r.estacoes[1].servico.tipo, geral::Dist::deterministica);
  EXPECT_TRUE(r.estacoes[1].rota.empty());  // the sink is the way out
}

TEST(Converter, ConvertsTheExamplesAndRandomNetworksOrSaysWhyNot) {
  for (const char* e : {"caixa", "merge", "mm1", "tandem"}) {
    EXPECT_NO_THROW(
        geral::ler_rede_texto(converter_legado(TARVO_EXEMPLOS "/" + std::string(e) + ".txt"), e));
  }
  try {
    converter_legado(TARVO_EXEMPLOS "/feedback.txt");
    ADD_FAILURE() << "a server feeding its own queue has no way out";
  } catch (const Falha& f) {
    EXPECT_NE(f.texto.find(RECUSA), std::string::npos) << f.texto;
  }
  DiretorioTemporario d;
  int convertidas = 0;
  for (std::uint64_t s = 1; s <= 300; ++s) {
    escrever_arquivo(d / "m.txt", rede_aleatoria(s).texto);
    try {
      geral::ler_rede_texto(converter_legado(d / "m.txt"), "m.toml");
      ++convertidas;
    } catch (const Falha& f) {
      EXPECT_NE(f.texto.find(RECUSA), std::string::npos) << s << ": " << f.texto;
    }
  }
  EXPECT_GT(convertidas, 30);
}

}  // namespace
}  // namespace tarvo
