// What the tests share: running the built tarvo in a directory of its own and collecting what it
// did, files, and a simulation ready for its first event.
#ifndef TARVO_TESTS_E2E_PROCESSO_H_
#define TARVO_TESTS_E2E_PROCESSO_H_

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "legado/engine/simulation.h"

namespace tarvo::teste {

struct Resultado {
  int status = -1;    // exit status, or 128 + signal
  std::string saida;  // standard output, banner included
  std::string erro;   // standard error
};

// Runs the tarvo binary with args in dir. TARVO_SEED is set to semente when given and removed
// from the environment otherwise. extra holds further shell commands run before exec (for
// example "ulimit -f 1"); it is empty for a plain run.
Resultado executar_tarvo(const std::string& dir, const std::vector<std::string>& args,
                         std::optional<std::string> semente, const std::string& extra = "");

// Runs programa with args in dir, extra holding shell commands run before exec.
Resultado executar_programa(const std::string& programa, const std::string& dir,
                            const std::vector<std::string>& args, const std::string& extra = "");

// The standard output after the banner line.
std::string sem_banner(const std::string& saida);

std::string ler_arquivo(const std::string& caminho);
void escrever_arquivo(const std::string& caminho, const std::string& conteudo);

// A fresh, empty directory under the system's temporary directory, removed with its contents
// by the destructor.
class DiretorioTemporario {
 public:
  DiretorioTemporario();
  ~DiretorioTemporario();
  DiretorioTemporario(const DiretorioTemporario&) = delete;
  DiretorioTemporario& operator=(const DiretorioTemporario&) = delete;
  const std::string& caminho() const { return caminho_; }
  std::string operator/(const std::string& nome) const { return caminho_ + "/" + nome; }
  std::vector<std::string> arquivos() const;  // names of the entries, sorted

 private:
  std::string caminho_;
};

// glibc prints a NaN with its sign bit; results compare the two spellings as equal.
std::string sem_sinal_nan(std::string texto);

// What escrever writes to a FILE*, for tests of the traces and the report.
std::string capturar(const std::function<void(std::FILE*)>& escrever);

// The model loaded, its statistics reset, the generator seeded and the first arrivals scheduled.
std::unique_ptr<Simulacao> preparar(const std::string& modelo, std::uint32_t semente = 1);

}  // namespace tarvo::teste

#endif  // TARVO_TESTS_E2E_PROCESSO_H_
