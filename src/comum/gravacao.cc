// Files replaced whole: a temporary name of our own, then a rename; several at once, all or none.
#include "comum/gravacao.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <string>

namespace tarvo {

namespace {

// The path a write to caminho lands in: its symbolic links followed, as open would follow them,
// the last one too when what it names is not there yet, which a rename would otherwise replace
// by a regular file. Returns 0, or ELOOP past as many links as the kernel follows.
int seguir_ligacoes(const std::string& caminho, std::string& destino) {
  destino = caminho;
  for (int n = 0; n <= 40; ++n) {
    struct stat st;
    if (lstat(destino.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return 0;
    char alvo[PATH_MAX];
    const ssize_t k = readlink(destino.c_str(), alvo, sizeof alvo);
    if (k <= 0 || static_cast<std::size_t>(k) == sizeof alvo) return 0;
    const std::size_t barra = destino.rfind('/');
    destino = alvo[0] == '/' || barra == std::string::npos
                  ? std::string(alvo, static_cast<std::size_t>(k))
                  : destino.substr(0, barra + 1) + std::string(alvo, static_cast<std::size_t>(k));
  }
  return ELOOP;
}

std::string diretorio(const std::string& destino) {
  const std::size_t barra = destino.rfind('/');
  if (barra == std::string::npos) return ".";
  return barra == 0 ? "/" : destino.substr(0, barra);
}

// One file being written: into its temporary file, or straight into destino when that is not a
// regular file (a device such as /dev/null, a pipe, a terminal), which a rename would replace.
struct Escrita {
  std::string destino;
  std::string temporario;  // empty when written straight
  std::FILE* out = nullptr;
};

// Finds where e's output goes, and whether straight (into what is not a regular file). Returns
// 0 or the errno.
int preparar(const std::string& caminho, Escrita& e, bool& direto) {
  if (const int erro = seguir_ligacoes(caminho, e.destino)) return erro;
  struct stat st;
  const bool existe = stat(e.destino.c_str(), &st) == 0;
  if (existe && S_ISDIR(st.st_mode)) return EISDIR;
  direto = existe && !S_ISREG(st.st_mode);
  return 0;
}

// Opens what e's output goes straight into. Opening a pipe waits for its reader: done before the
// signals are held, so that Ctrl-C still ends a wait that may never end.
int abrir_direto(Escrita& e) {
  e.out = std::fopen(e.destino.c_str(), "w");
  return e.out == nullptr ? errno : 0;
}

// Creates e's temporary file beside its destination. Returns 0 or the errno.
int abrir_temporario(Escrita& e) {
  struct stat st;
  const bool existe = stat(e.destino.c_str(), &st) == 0;
  const std::size_t barra = e.destino.rfind('/');
  const std::string nome = barra == std::string::npos ? e.destino : e.destino.substr(barra + 1);
  const std::string dir = barra == std::string::npos ? "" : e.destino.substr(0, barra + 1);
  int fd = -1;
  // Created exclusively, so that nobody else's file is taken over; with the permissions of the
  // file it replaces, or the usual ones.
  for (int tentativa = 0; fd < 0 && tentativa < 100; ++tentativa) {
    e.temporario =
        dir + "." + nome + "." + std::to_string(getpid()) + "." + std::to_string(tentativa);
    fd = open(e.temporario.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    const int erro = errno;
    e.temporario.clear();
    return erro;
  }
  if ((existe && fchmod(fd, st.st_mode & 07777) != 0) || (e.out = fdopen(fd, "w")) == nullptr) {
    const int erro = errno;
    close(fd);
    unlink(e.temporario.c_str());
    e.temporario.clear();
    return erro;
  }
  return 0;
}

// While alive, the signals that end a program by default wait, so that a file being replaced is
// the old one or the new one and no temporary file is left behind; they arrive when it ends.
class SinaisEmEspera {
 public:
  SinaisEmEspera() {
    sigset_t s;
    sigemptyset(&s);
    for (int sinal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&s, sinal);
    pthread_sigmask(SIG_BLOCK, &s, &antes_);
  }
  ~SinaisEmEspera() { pthread_sigmask(SIG_SETMASK, &antes_, nullptr); }
  SinaisEmEspera(const SinaisEmEspera&) = delete;
  SinaisEmEspera& operator=(const SinaisEmEspera&) = delete;

 private:
  sigset_t antes_;
};

// Ends the writing. Returns 0 or the errno of the first failure.
int fechar(Escrita& e) {
  int erro = 0;
  if (std::fflush(e.out) != 0 || std::ferror(e.out)) erro = errno ? errno : EIO;
  if (std::fclose(e.out) != 0 && erro == 0) erro = errno ? errno : EIO;
  e.out = nullptr;
  return erro;
}

void desfazer(Escrita& e) {
  if (e.out != nullptr) std::fclose(e.out);
  e.out = nullptr;
  if (!e.temporario.empty()) unlink(e.temporario.c_str());
}

int concluir(Escrita& e) {
  if (!e.temporario.empty() && std::rename(e.temporario.c_str(), e.destino.c_str()) != 0) {
    const int erro = errno;
    desfazer(e);
    return erro;
  }
  e.temporario.clear();
  return 0;
}

}  // namespace

int gravar_substituindo(const std::string& caminho,
                        const std::function<void(std::FILE*)>& escrever) {
  Escrita e;
  bool direto = false;
  if (const int erro = preparar(caminho, e, direto)) return erro;
  if (direto) {
    if (const int erro = abrir_direto(e)) return erro;
    escrever(e.out);
    return fechar(e);
  }
  const SinaisEmEspera espera;
  if (const int erro = abrir_temporario(e)) return erro;
  escrever(e.out);
  if (const int erro = fechar(e)) {
    desfazer(e);
    return erro;
  }
  return concluir(e);
}

int gravar_todos(const std::vector<std::pair<std::string, std::string>>& arquivos,
                 std::string& falhou) {
  std::vector<Escrita> es(arquivos.size());
  std::vector<bool> direto(arquivos.size(), false);
  auto falha_em = [&](std::size_t i, int erro) {
    for (Escrita& e : es) desfazer(e);
    falhou = arquivos[i].first;
    return erro;
  };
  for (std::size_t i = 0; i < arquivos.size(); ++i) {
    bool d = false;
    if (const int erro = preparar(arquivos[i].first, es[i], d)) return falha_em(i, erro);
    direto[i] = d;
    if (d) {
      if (const int erro = abrir_direto(es[i])) return falha_em(i, erro);
    }
  }
  const SinaisEmEspera espera;
  // The temporary files first; what goes straight into a device or a pipe only once all of them
  // are complete, since it cannot be taken back; the renames last.
  for (int vez = 0; vez < 2; ++vez) {
    for (std::size_t i = 0; i < arquivos.size(); ++i) {
      if (direto[i] != (vez == 1)) continue;
      Escrita& e = es[i];
      if (!direto[i]) {
        if (const int erro = abrir_temporario(e)) return falha_em(i, erro);
      }
      const std::string& texto = arquivos[i].second;
      std::fwrite(texto.data(), 1, texto.size(), e.out);
      if (const int erro = fechar(e)) return falha_em(i, erro);
    }
  }
  for (std::size_t i = 0; i < es.size(); ++i) {
    if (const int erro = concluir(es[i])) return falha_em(i, erro);
  }
  return 0;
}

std::string destino_real(const std::string& caminho) {
  std::string destino;
  seguir_ligacoes(caminho, destino);
  return destino;
}

int conferir_destino(const std::string& caminho) {
  std::string destino;
  if (const int erro = seguir_ligacoes(caminho, destino)) return erro;
  struct stat st;
  if (stat(destino.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return EISDIR;
    if (!S_ISREG(st.st_mode)) return 0;  // written straight into it
  }
  const std::string dir = diretorio(destino);
  if (stat(dir.c_str(), &st) != 0) return errno;
  if (!S_ISDIR(st.st_mode)) return ENOTDIR;
  return access(dir.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
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
    case ELOOP:
      return "ligacoes simbolicas demais";
    default:
      return "erro do sistema";
  }
}

}  // namespace tarvo
