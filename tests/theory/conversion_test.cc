// A legacy model and its conversion, run on their own engines, agree within their intervals on
// the figures the two languages define alike (over long runs, where the legacy figures' small
// differences of definition vanish: its mean length stops at the queue's last change, its
// utilisation counts completed services only).
//
// Each engine runs R = 20 replications of each model. For each figure, the difference of the two
// means over the error sqrt(s1^2 / R + s2^2 / R) is nearly normal for engines that agree (the two
// experiments are independent; the draws of the legacy generator are a discretised exponential,
// whose mean is 0.02% below the continuous one, far below the error). Each |z| must stay under
// 4.5: with the 12 checks below, a union bound gives a false alarm for at most one seed in
// 10000.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "experimento/experimento.h"
#include "geral/adaptador.h"
#include "geral/toml_loader.h"
#include "legado/adaptador.h"
#include "legado/converter.h"
#include "processo.h"

namespace tarvo {
namespace {

constexpr int kReplicacoes = 20;
constexpr double kLimiteZ = 4.5;

// The replication values of figure (tipo, nome, figura) of an experiment.
const std::vector<double>& valores(const Resultado& r, const std::string& tipo,
                                   const std::string& nome, const std::string& figura) {
  for (std::size_t f = 0; f < r.ids.size(); ++f) {
    const IdFigura& id = r.ids[f];
    if (id.tipo == tipo && id.nome == nome && id.figura == figura) return r.valores[f];
  }
  throw std::runtime_error("no figure " + tipo + " " + nome + " " + figura);
}

struct Media {
  double m = 0, erro2 = 0;  // mean and its squared standard error
};

Media media(const std::vector<double>& v) {
  Media r;
  for (double x : v) r.m += x / static_cast<double>(v.size());
  for (double x : v) r.erro2 += (x - r.m) * (x - r.m);
  r.erro2 /= static_cast<double>(v.size() - 1) * static_cast<double>(v.size());
  return r;
}

// The name of station number k of an experiment of the extended engine.
std::string nome_da_estacao(const Resultado& r, int k) {
  for (const IdFigura& id : r.ids) {
    if (id.tipo == "estacao" && id.numero == k) return id.nome;
  }
  throw std::runtime_error("no station " + std::to_string(k));
}

Resultado experimento(const Modelo& m, std::uint32_t semente) {
  Pedido p;
  p.plano = {semente, kReplicacoes};
  p.replicacoes = kReplicacoes;
  return executar(m, p, Execucao{2, {}, {}, {}});
}

TEST(Conversao, LegacyAndConvertedModelsAgreeOnLongRuns) {
  teste::DiretorioTemporario d;
  // A tandem of exponential servers and a merge with uniform times, both below load 0.8, with
  // time limits long against their relaxation times.
  const std::vector<std::pair<std::string, std::string>> modelos = {
      {"tandem.txt",
       "D 40000\nN 100000000\nE 1 pecas 2 0\ns 1\nF antes_torno\ns 1\nS 1 torno 1.2 0\ne 1\ns 2\n"
       "F antes_fresa\ns 2\nS 1 fresa 1.5 0\ne 2\ns 3\nF fim\n"},
      {"merge.txt",
       "D 40000\nN 100000000\nE 1 telefone 4 0\ns 1\nE 2 balcao 2 6\ns 1\nF atendimento\ns 1\n"
       "S 2 atendente 0.5 2.3\ne 1\ns 2\nF fim\n"}};
  int checados = 0;
  for (const auto& [nome, texto] : modelos) {
    SCOPED_TRACE(nome);
    teste::escrever_arquivo(d / nome, texto);
    const std::string toml = converter_legado(d / nome);
    const Resultado legado = experimento(*carregar_legado(d / nome), 11);
    const Resultado geral =
        experimento(*modelo_geral(geral::ler_rede_texto(toml, nome + ".toml"), toml), 12);
    // Queue k and server k of these models became station k, named after the queue.
    auto comparar = [&](const IdFigura& id, const std::string& nova) {
      const Media a = media(valores(legado, id.tipo, id.nome, id.figura));
      const Media b = media(valores(geral, "estacao", nome_da_estacao(geral, id.numero), nova));
      const double z = (a.m - b.m) / std::sqrt(a.erro2 + b.erro2);
      EXPECT_LT(std::fabs(z), kLimiteZ)
          << id.tipo << " " << id.nome << " " << id.figura << ": " << a.m << " against " << b.m;
      ++checados;
    };
    for (const IdFigura& id : legado.ids) {
      if (id.tipo == "servidor" && id.figura == "utilizacao") comparar(id, "utilizacao");
      if (id.tipo != "fila") continue;
      if (id.figura == "taxa_chegada") comparar(id, "vazao");
      if (id.figura == "tamanho_medio") comparar(id, "fila_media");
      if (id.figura == "espera_media") comparar(id, "espera_media");
    }
  }
  EXPECT_EQ(checados, 12);
}

}  // namespace
}  // namespace tarvo
