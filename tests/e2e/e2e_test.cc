// Whole runs of tarvo compared byte for byte with expected outputs. Each case directory holds
// model.txt (or model.toml) and the expected stdout (after the banner), stderr, status and, when
// a report must be written, Simula_imp.txt; seed holds TARVO_SEED.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "processo.h"

namespace tarvo::teste {
namespace {

namespace fs = std::filesystem;

// Each case's directory, named for the test by its own name; the shared cases get a prefix.
std::vector<std::string> casos() {
  std::vector<std::string> v;
  for (const char* raiz : {TARVO_CASES, TARVO_CONFORMANCE}) {
    std::error_code ec;
    if (!fs::is_directory(raiz, ec)) continue;
    for (const auto& e : fs::directory_iterator(raiz)) {
      if (fs::exists(e.path() / "model.txt") || fs::exists(e.path() / "model.toml")) {
        v.push_back(e.path());
      }
    }
  }
  std::sort(v.begin(), v.end());
  return v;
}

std::string nome(const testing::TestParamInfo<std::string>& i) {
  const fs::path c = i.param;
  return (c.parent_path() == TARVO_CASES ? "" : "shared_") + c.filename().string();
}

std::string aparado(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

class Exemplo : public testing::TestWithParam<std::string> {};

TEST_P(Exemplo, MatchesExpectedOutputs) {
  const fs::path c = GetParam();
  DiretorioTemporario tmp;
  const std::string modelo = fs::exists(c / "model.txt") ? "model.txt" : "model.toml";
  fs::copy_file(c / modelo, tmp / modelo);
  std::optional<std::string> semente;
  if (fs::exists(c / "seed")) semente = aparado(ler_arquivo(c / "seed"));
  // Bounded in processor time, so that a run that never ends fails its case.
  Resultado r = executar_tarvo(tmp.caminho(), {modelo}, semente, "ulimit -t 60");

  EXPECT_EQ(r.status, std::stoi(ler_arquivo(c / "status")));
  EXPECT_EQ(sem_banner(r.saida), ler_arquivo(c / "stdout"));
  EXPECT_EQ(r.erro, ler_arquivo(c / "stderr"));
  if (fs::exists(c / "Simula_imp.txt")) {
    ASSERT_TRUE(fs::exists(tmp / "Simula_imp.txt"));
    EXPECT_EQ(sem_sinal_nan(ler_arquivo(tmp / "Simula_imp.txt")),
              sem_sinal_nan(ler_arquivo(c / "Simula_imp.txt")));
    EXPECT_EQ(tmp.arquivos(), (std::vector<std::string>{"Simula_imp.txt", modelo}));
  } else {
    EXPECT_EQ(tmp.arquivos(), std::vector<std::string>{modelo});
  }
}

INSTANTIATE_TEST_SUITE_P(Casos, Exemplo, testing::ValuesIn(casos()), nome);

}  // namespace
}  // namespace tarvo::teste
