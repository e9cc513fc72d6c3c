// Spawning tarvo for the end-to-end tests, and the other helpers the tests share.
#include "processo.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "legado/engine/handlers.h"
#include "legado/input/loader.h"

namespace tarvo::teste {

namespace fs = std::filesystem;

std::string ler_arquivo(const std::string& caminho) {
  std::ifstream in(caminho, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void escrever_arquivo(const std::string& caminho, const std::string& conteudo) {
  std::ofstream out(caminho, std::ios::binary);
  out << conteudo;
  if (!out) throw std::runtime_error("cannot write " + caminho);
}

std::string sem_banner(const std::string& saida) {
  auto p = saida.find('\n');
  return p == std::string::npos ? std::string() : saida.substr(p + 1);
}

std::string sem_sinal_nan(std::string texto) {
  for (std::size_t p; (p = texto.find("-nan")) != std::string::npos;) texto.erase(p, 1);
  return texto;
}

std::string capturar(const std::function<void(std::FILE*)>& escrever) {
  char* buf = nullptr;
  std::size_t n = 0;
  std::FILE* f = open_memstream(&buf, &n);
  if (f == nullptr) throw std::runtime_error("open_memstream failed");
  escrever(f);
  std::fclose(f);
  std::string s(buf, n);
  std::free(buf);
  return s;
}

std::unique_ptr<Simulacao> preparar(const std::string& modelo, std::uint32_t semente) {
  auto sim = std::make_unique<Simulacao>();
  ler_modelo_texto(*sim, modelo);
  zerar_estatisticas(*sim);
  semear(sim->gerador, semente);
  primeiras_chegadas(*sim);
  return sim;
}

DiretorioTemporario::DiretorioTemporario() {
  std::string modelo = (fs::temp_directory_path() / "tarvo-teste-XXXXXX").string();
  if (mkdtemp(modelo.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  caminho_ = modelo;
}

DiretorioTemporario::~DiretorioTemporario() {
  std::error_code ec;
  fs::remove_all(caminho_, ec);
}

std::vector<std::string> DiretorioTemporario::arquivos() const {
  std::vector<std::string> nomes;
  for (const auto& e : fs::directory_iterator(caminho_)) nomes.push_back(e.path().filename());
  std::sort(nomes.begin(), nomes.end());
  return nomes;
}

// Quoted for the shell, whatever the text holds.
std::string citado(const std::string& s) {
  std::string r = "'";
  for (char c : s) r += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return r + "'";
}

Resultado executar_programa(const std::string& programa, const std::string& dir,
                            const std::vector<std::string>& args, const std::string& extra) {
  const std::string saida = dir + "/.stdout", erro = dir + "/.stderr";
  // The shell execs the program, so that limits such as ulimit apply to it alone and a signal
  // that kills it shows in the status.
  std::string comando = "cd " + citado(dir) + " && exec </dev/null >.stdout 2>.stderr && " + extra +
                        "\n exec " + citado(programa);
  for (const std::string& a : args) comando += " " + citado(a);
  const int st = std::system(comando.c_str());
  Resultado r;
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  r.saida = ler_arquivo(saida);
  r.erro = ler_arquivo(erro);
  fs::remove(saida);
  fs::remove(erro);
  return r;
}

Resultado executar_tarvo(const std::string& dir, const std::vector<std::string>& args,
                         std::optional<std::string> semente, const std::string& extra) {
  return executar_programa(
      TARVO_BIN, dir, args,
      (semente ? "export TARVO_SEED=" + citado(*semente) : "unset TARVO_SEED") + "; " + extra);
}

}  // namespace tarvo::teste
