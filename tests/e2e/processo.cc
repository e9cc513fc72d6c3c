// Spawning tarvo for the end-to-end tests.
#include "processo.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

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

bool existe(const std::string& caminho) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(caminho, ec));
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

Resultado executar_tarvo(const std::string& dir, const std::vector<std::string>& args,
                         std::optional<std::string> semente, const std::string& extra) {
  const std::string saida = dir + "/.stdout", erro = dir + "/.stderr";
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    int o = open(saida.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(erro.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int n = open("/dev/null", O_RDONLY);
    if (o < 0 || e < 0 || n < 0) _exit(126);
    dup2(n, 0);
    dup2(o, 1);
    dup2(e, 2);
    if (semente)
      setenv("TARVO_SEED", semente->c_str(), 1);
    else
      unsetenv("TARVO_SEED");
    std::vector<std::string> todos;
    if (!extra.empty()) {
      // Through the shell, so that limits such as ulimit apply to tarvo alone.
      todos = {"/bin/sh", "-c", extra + "; exec \"$0\" \"$@\"", TARVO_BIN};
    } else {
      todos = {TARVO_BIN};
    }
    todos.insert(todos.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : todos) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int st = 0;
  waitpid(pid, &st, 0);
  Resultado r;
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  r.saida = ler_arquivo(saida);
  r.erro = ler_arquivo(erro);
  fs::remove(saida);
  fs::remove(erro);
  return r;
}

}  // namespace tarvo::teste
