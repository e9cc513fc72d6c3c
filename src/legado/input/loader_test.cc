// The loader: pieces of lines, the exact error texts and line numbers, links and tables.
#include "legado/input/loader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

namespace tarvo {
namespace {

TEST(Loader, FillsTheTablesAndLimits) {
  auto sim = std::make_unique<Simulacao>();
  Rede& r = sim->rede;
  r.Visual = 3, r.Tlimite = 9, sim->Nfregues = 4;  // Visual and an unset Tlimite are kept
  ler_modelo_texto(
      *sim,
      " D 5 indented: a comment\nE 1 porta 5.0 7 remark\ns 2 7 99999999999\ns 1 x\n"
      "F espera\ns 1 2 3 4 5 6\nS 2 caixa 2.0 6.0\ne 1\ns 2\nE 2 b 3 4\ns 0\n"
      "S 1 t 1.5 9\ns 0\ne 0\nN 500\nN -4\nV 3\nF um_nome_bem_mais_longo_que_39_caracteres_"
      "sim\ns 0\nF fim");  // no line end on the last line
  const Fonte &f = r.fontes[1], &g = r.fontes[2];
  const Servidor &s = r.servidores[1], &t = r.servidores[2];
  EXPECT_TRUE(r.nfontes == 2 && r.nfilas == 3 && r.nservidores == 2);
  EXPECT_TRUE(r.Tlimite == 9 && r.Nlimite == -4 && r.Visual == 3 && sim->Nfregues == 0);
  EXPECT_TRUE(f.nome == "porta" && f.tipo == 1 && f.med == 5 && f.sup == 0 &&
              f.saida == &r.filas[1]);
  EXPECT_TRUE(g.tipo == 2 && g.med == 0 && g.inf == 3 && g.sup == 4 && g.saida == nullptr);
  EXPECT_TRUE(r.filas[1].nome == "espera" && r.filas[1].servidor == &s);
  EXPECT_TRUE(s.tipo == 2 && s.inf == 2 && s.sup == 6 && s.entrada == &r.filas[1] &&
              s.saida == &r.filas[2]);
  EXPECT_TRUE(t.med == 1.5f && t.saida == nullptr && t.entrada == &r.filas[0]);  // 'e 0': slot 0
  EXPECT_EQ(r.filas[2].nome, "um_nome_bem_mais_longo_que_39_caracteres_sim");
  EXPECT_TRUE(r.filas[2].servidor == nullptr && r.filas[3].nome == "fim");

  ler_modelo_texto(*sim, "V 1\nV 2\nD 0x10\n");  // the last of each holds; hexadecimal reads 0
  EXPECT_TRUE(r.Visual == 2 && r.Tlimite == 0 && r.nfontes == 0);
}

TEST(Loader, ReadFailureIsAnErrorAtTheLineItCut) {
  // A stream that gives "D 5\nN" and then fails: the piece cut short is not read as a line (an
  // 'N' alone would be a field error), and the model is not run as if it had ended there.
  int chamadas = 0;
  cookie_io_functions_t funcoes{};
  funcoes.read = [](void* c, char* buf, std::size_t) -> ssize_t {
    if ((*static_cast<int*>(c))++ > 0) return errno = EIO, -1;
    std::memcpy(buf, "D 5\nN", 5);
    return 5;
  };
  std::FILE* arquivo = fopencookie(&chamadas, "r", funcoes);
  auto sim = std::make_unique<Simulacao>();
  try {
    ler_modelo(*sim, arquivo);
    ADD_FAILURE() << "loaded";
  } catch (const Falha& f) {
    EXPECT_EQ(f.status, 1);
    EXPECT_EQ(f.texto, "Erro de leitura no arquivo de dados na linha 2 (codigo 5)\n");
  }
  std::fclose(arquivo);
  EXPECT_EQ(sim->rede.Tlimite, 5.0f);
}

}  // namespace
}  // namespace tarvo
