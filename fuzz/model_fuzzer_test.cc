// The fuzzer's seed corpus replayed through the fuzz target in the normal suite, so that every
// committed input, findings included, stays clean under the dev and sanitizer builds.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho);

namespace {

namespace fs = std::filesystem;

TEST(ModelFuzzer, ReplaysTheSeedCorpus) {
  std::vector<fs::path> entradas;
  for (const auto& e : fs::directory_iterator(TARVO_FUZZ_CORPUS)) entradas.push_back(e.path());
  ASSERT_GE(entradas.size(), 30u);
  for (const fs::path& p : entradas) {
    SCOPED_TRACE(p.string());
    std::ifstream f(p, std::ios::binary);
    const std::string s((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    // The target aborts on anything wrong; a clean return is all there is to check.
    EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()), 0);
  }
}

}  // namespace
