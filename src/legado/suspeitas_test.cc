// The table of suspicious legacy models in tests/rep/suspeitas.txt, each with its warnings.
#include "legado/suspeitas.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace tarvo {
namespace {

struct Caso {
  std::string nome, modelo, avisos;
  bool nos_avisos = false;
};

// \t and \xHH of a model line, as bytes.
std::string bytes(const std::string& l) {
  std::string r;
  for (std::size_t i = 0; i < l.size(); ++i) {
    if (l.compare(i, 2, "\\t") == 0) {
      r += '\t';
      ++i;
    } else if (l.compare(i, 2, "\\x") == 0 && i + 4 <= l.size()) {
      r += static_cast<char>(std::stoi(l.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      r += l[i];
    }
  }
  return r;
}

std::vector<Caso> casos() {
  std::ifstream in(TARVO_REP_CASOS "/suspeitas.txt");
  std::vector<Caso> v;
  for (std::string l; std::getline(in, l);) {
    if (l.rfind("== ", 0) == 0) {
      v.push_back({l.substr(3), "", "", false});
    } else if (v.empty()) {
      continue;
    } else if (l == "--") {
      v.back().nos_avisos = true;
    } else if (v.back().nos_avisos) {
      if (!l.empty()) v.back().avisos += l + "\n";
    } else {
      v.back().modelo += bytes(l) + "\n";
    }
  }
  return v;
}

TEST(Suspeitas, PointsOutWhatEachModelOfTheTableHides) {
  const std::vector<Caso> v = casos();
  ASSERT_GE(v.size(), 8u);
  for (const Caso& c : v) {
    SCOPED_TRACE(c.nome);
    ASSERT_TRUE(c.nos_avisos);
    std::string avisos;
    for (const std::string& a : suspeitas(c.modelo, "m.txt")) avisos += a + "\n";
    EXPECT_EQ(avisos, c.avisos);
  }
}

}  // namespace
}  // namespace tarvo
