// Whole runs of tarvo compared byte for byte with expected outputs. Each case directory holds
// model.txt and the expected stdout (after the banner), stderr, status and, when a report must
// be written, Simula_imp.txt; seed holds TARVO_SEED.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "processo.h"

namespace tarvo::teste {
namespace {

namespace fs = std::filesystem;

struct Caso {
  std::string nome;
  fs::path dir;
};

// Failures name the case's directory instead of dumping the record's bytes.
void PrintTo(const Caso& c, std::ostream* os) { *os << c.dir.string(); }

std::vector<Caso> casos() {
  std::vector<Caso> v;
  for (const char* raiz : {TARVO_CASES, TARVO_CONFORMANCE}) {
    std::error_code ec;
    if (!fs::is_directory(raiz, ec)) continue;
    const std::string prefixo = raiz == std::string(TARVO_CASES) ? "" : "shared_";
    for (const auto& e : fs::directory_iterator(raiz)) {
      if (fs::exists(e.path() / "model.txt"))
        v.push_back({prefixo + e.path().filename().string(), e.path()});
    }
  }
  std::sort(v.begin(), v.end(), [](const Caso& a, const Caso& b) { return a.nome < b.nome; });
  return v;
}

std::string aparado(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

class Exemplo : public testing::TestWithParam<Caso> {};

TEST_P(Exemplo, MatchesExpectedOutputs) {
  const fs::path& c = GetParam().dir;
  DiretorioTemporario tmp;
  fs::copy_file(c / "model.txt", tmp / "model.txt");
  std::optional<std::string> semente;
  if (fs::exists(c / "seed")) semente = aparado(ler_arquivo(c / "seed"));
  Resultado r = executar_tarvo(tmp.caminho(), {"model.txt"}, semente);

  EXPECT_EQ(r.status, std::stoi(ler_arquivo(c / "status")));
  EXPECT_EQ(sem_banner(r.saida), ler_arquivo(c / "stdout"));
  EXPECT_EQ(r.erro, ler_arquivo(c / "stderr"));
  if (fs::exists(c / "Simula_imp.txt")) {
    ASSERT_TRUE(existe(tmp / "Simula_imp.txt"));
    EXPECT_EQ(sem_sinal_nan(ler_arquivo(tmp / "Simula_imp.txt")),
              sem_sinal_nan(ler_arquivo(c / "Simula_imp.txt")));
    EXPECT_EQ(tmp.arquivos(), (std::vector<std::string>{"Simula_imp.txt", "model.txt"}));
  } else {
    EXPECT_EQ(tmp.arquivos(), std::vector<std::string>{"model.txt"});
  }
}

INSTANTIATE_TEST_SUITE_P(Casos, Exemplo, testing::ValuesIn(casos()),
                         [](const testing::TestParamInfo<Caso>& i) { return i.param.nome; });

}  // namespace
}  // namespace tarvo::teste
