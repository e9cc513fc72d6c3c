// libFuzzer target: any bytes as an extended-language model through the .toml loader. A refusal
// is a Falha with one line of text that names the file; anything else escaping, a crash or a
// sanitizer report is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "geral/toml_loader.h"
#include "model/failure.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t n) {
  const std::string_view texto(reinterpret_cast<const char*>(dados), n);
  try {
    const tarvo::geral::Rede r = tarvo::geral::ler_rede_texto(texto, "f.toml");
    if (r.fontes.empty() && r.estacoes.empty()) std::abort();  // nothing to run was accepted
  } catch (const tarvo::Falha& f) {
    const std::string& t = f.texto;
    if (f.status != 1 || t.rfind("f.toml:", 0) != 0 || t.empty() || t.back() != '\n' ||
        t.find('\n') != t.size() - 1) {
      std::abort();
    }
  }
  return 0;
}
