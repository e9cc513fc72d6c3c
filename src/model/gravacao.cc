// Files replaced whole: a temporary name of our own, then a rename.
#include "model/gravacao.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace tarvo {

namespace {

// Straight into what is not a regular file: a device such as /dev/null, a pipe, a terminal.
int gravar_direto(const std::string& destino, const std::function<void(std::FILE*)>& escrever) {
  std::FILE* out = std::fopen(destino.c_str(), "w");
  if (out == nullptr) return errno;
  escrever(out);
  int erro = 0;
  if (std::fflush(out) != 0 || std::ferror(out)) erro = errno ? errno : EIO;
  if (std::fclose(out) != 0 && erro == 0) erro = errno ? errno : EIO;
  return erro;
}

}  // namespace

int gravar_substituindo(const std::string& caminho,
                        const std::function<void(std::FILE*)>& escrever) {
  // A rename would put a regular file in place of a device or a pipe, and of a symbolic link
  // rather than the file it names.
  std::string destino = caminho;
  struct stat st;
  if (stat(caminho.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return EISDIR;
    if (!S_ISREG(st.st_mode)) return gravar_direto(caminho, escrever);
    if (char* real = realpath(caminho.c_str(), nullptr)) {
      destino = real;
      std::free(real);
    }
  }
  const std::size_t barra = destino.rfind('/');
  const std::string dir = barra == std::string::npos ? "." : destino.substr(0, barra);
  const std::string nome = barra == std::string::npos ? destino : destino.substr(barra + 1);
  std::string temporario;
  int fd = -1;
  // Created exclusively, so that the file gets the usual permissions and nobody else's file is
  // taken over.
  for (int tentativa = 0; fd < 0 && tentativa < 100; ++tentativa) {
    temporario = (dir.empty() ? "" : dir + "/") + "." + nome + "." + std::to_string(getpid()) +
                 "." + std::to_string(tentativa);
    fd = open(temporario.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return errno;
  std::FILE* out = fdopen(fd, "w");
  if (out == nullptr) {
    const int erro = errno;
    close(fd);
    unlink(temporario.c_str());
    return erro;
  }
  escrever(out);
  int erro = 0;
  if (std::fflush(out) != 0 || std::ferror(out)) erro = errno ? errno : EIO;
  if (std::fclose(out) != 0 && erro == 0) erro = errno ? errno : EIO;
  if (erro == 0 && std::rename(temporario.c_str(), destino.c_str()) != 0) erro = errno;
  if (erro != 0) unlink(temporario.c_str());
  return erro;
}

int ler_inteiro(const std::string& caminho, std::string& texto) {
  std::FILE* f = std::fopen(caminho.c_str(), "rb");
  if (f == nullptr) return errno;
  texto.clear();
  char buf[1 << 16];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) texto.append(buf, n);
  const int erro = std::ferror(f) ? (errno ? errno : EIO) : 0;
  std::fclose(f);
  return erro;
}

const char* motivo_erro(int erro) {
  switch (erro) {
    case EISDIR:
      return "existe um diretorio com esse nome";
    case ENOSPC:
      return "disco cheio";
    case EDQUOT:
      return "cota de disco esgotada";
    case EFBIG:
      return "limite de tamanho de arquivo excedido";
    case EACCES:
    case EPERM:
      return "permissao negada";
    case EROFS:
      return "sistema de arquivos somente para leitura";
    case ENOENT:
    case ENOTDIR:
      return "diretorio inexistente";
    case EIO:
      return "erro de entrada e saida";
    case EEXIST:
      return "nenhum nome livre para o arquivo temporario";
    case EMFILE:
    case ENFILE:
      return "arquivos abertos demais";
    default:
      return "erro do sistema";
  }
}

}  // namespace tarvo
