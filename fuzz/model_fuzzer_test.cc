// The fuzzer's seed corpus replayed through the fuzz target in the normal suite, so that every
// committed input, findings included, stays clean under the dev and sanitizer builds; and random
// bytes, which the target must take like any other input.
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

// Alone or after lines that were accepted, binary garbage ends as an input error or as a checked
// run with its report.
TEST(ModelFuzzer, BinaryGarbage) {
  std::uint32_t estado = 12345;
  for (int caso = 0; caso < 12; ++caso) {
    std::string s =
        caso % 2 ? "D 10\nN 5\nE 2 a 1 1\ns 1\nF q\ns 1\nS 2 x 1 1\ne 1\ns 2\nF f\n" : "";
    for (int i = 0; i < 20'000 + caso * 1000; ++i) {
      s += static_cast<char>((estado = estado * 1103515245u + 12345u) >> 23);
    }
    EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()), 0);
  }
}

}  // namespace
