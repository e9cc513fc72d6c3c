// The model loader: one forward pass, each line handled before the next is read, the first
// line that cannot be accepted ends the load with its number.
#include "legado/input/loader.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "legado/input/scanner.h"

namespace tarvo {

namespace {

// Counts the conversions made so far, like the C library's formatted input: after the first
// field that does not match, nothing more is converted.
class Campos {
 public:
  // The key is the first conversion.
  explicit Campos(std::string_view texto) : cur_(texto.substr(1)) {}
  Campos& inteiro(int& v) { return conta(!parado_ && ler_inteiro(cur_, v)); }
  Campos& real(float& v) { return conta(!parado_ && ler_real(cur_, v)); }
  Campos& nome(std::string& v) { return conta(!parado_ && ler_nome(cur_, v)); }
  int n() const { return n_; }

 private:
  Campos& conta(bool ok) {
    if (ok)
      ++n_;
    else
      parado_ = true;
    return *this;
  }
  Cursor cur_;
  int n_ = 1;
  bool parado_ = false;
};

enum class Tipo { nenhum, fonte, fila, servidor };

// The line that made each link to an object number above 0, so that a link to an object the
// file never declares can be reported at it once the whole file has been read.
struct Origens {
  long long saida_fonte[MAX_OBJETOS] = {};
  long long servidor_fila[MAX_OBJETOS] = {};
  long long entrada_servidor[MAX_OBJETOS] = {};
  long long saida_servidor[MAX_OBJETOS] = {};
};

struct Leitura {
  Simulacao& sim;
  Origens origens;
  long long linha = 0;
  Tipo atual = Tipo::nenhum;
  int numero = 0;
};

void declarar(Leitura& l, int& contagem) {
  if (contagem == MAX_OBJETOS - 1) erro_dados(l.linha, ERRO_OBJETOS_DEMAIS);
  ++contagem;
}

template <class Objeto>
void ler_distribuicao(Leitura& l, std::string_view texto, Objeto& o, Tipo tipo, int numero) {
  int t = 0;
  float a = 0, b = 0;
  if (Campos(texto).inteiro(t).nome(o.nome).real(a).real(b).n() != 5) {
    erro_dados(l.linha, ERRO_PARAMETROS);
  }
  o.tipo = t;
  if (t == DIST_EXPONENCIAL) {
    o.med = a;
  } else if (t == DIST_UNIFORME) {
    o.inf = a;
    o.sup = b;
  } else {
    erro_dados(l.linha, ERRO_PARAMETROS);
  }
  l.atual = tipo;
  l.numero = numero;
}

// The object number of an 'e' or 's' line, after the checks common to both.
int ler_ligacao(Leitura& l, std::string_view texto) {
  if (l.atual == Tipo::nenhum) erro_dados(l.linha, ERRO_SEM_OBJETO);
  int n = 0;
  if (Campos(texto).inteiro(n).n() < 2) erro_dados(l.linha, ERRO_PARAMETROS);
  return n;
}

void conferir_faixa(const Leitura& l, int n) {
  if (n < 0 || n >= MAX_OBJETOS) erro_dados(l.linha, ERRO_FORA_DA_TABELA);
}

void ler_entrada(Leitura& l, std::string_view texto) {
  const int n = ler_ligacao(l, texto);
  if (l.atual == Tipo::fonte) erro_dados(l.linha, ERRO_INCOMPATIVEL);
  if (l.atual != Tipo::servidor) return;  // on a queue the line has no effect
  conferir_faixa(l, n);
  // Slot 0 holds no queue: the server then never takes a waiting customer.
  l.sim.rede.servidores[l.numero].entrada = &l.sim.rede.filas[n];
  l.origens.entrada_servidor[l.numero] = n > 0 ? l.linha : 0;
}

void ler_saida(Leitura& l, std::string_view texto) {
  const int n = ler_ligacao(l, texto);
  conferir_faixa(l, n);
  Rede& r = l.sim.rede;
  const long long origem = n > 0 ? l.linha : 0;
  switch (l.atual) {
    case Tipo::fonte:
      r.fontes[l.numero].saida = n > 0 ? &r.filas[n] : nullptr;
      l.origens.saida_fonte[l.numero] = origem;
      break;
    case Tipo::fila:
      r.filas[l.numero].servidor = n > 0 ? &r.servidores[n] : nullptr;
      l.origens.servidor_fila[l.numero] = origem;
      break;
    case Tipo::servidor:
      r.servidores[l.numero].saida = n > 0 ? &r.filas[n] : nullptr;
      l.origens.saida_servidor[l.numero] = origem;
      break;
    case Tipo::nenhum:
      break;
  }
}

void tratar_linha(Leitura& l, std::string_view texto) {
  Rede& r = l.sim.rede;
  switch (texto[0]) {
    case 'D':
      if (Campos(texto).real(r.Tlimite).n() != 2) erro_dados(l.linha, ERRO_PARAMETROS);
      break;
    case 'N':
      if (Campos(texto).inteiro(r.Nlimite).n() != 2) erro_dados(l.linha, ERRO_PARAMETROS);
      break;
    case 'V':
      if (Campos(texto).inteiro(r.Visual).n() != 2) erro_dados(l.linha, ERRO_PARAMETROS);
      break;
    case 'E':
      declarar(l, r.nfontes);
      ler_distribuicao(l, texto, r.fontes[r.nfontes], Tipo::fonte, r.nfontes);
      break;
    case 'S':
      declarar(l, r.nservidores);
      ler_distribuicao(l, texto, r.servidores[r.nservidores], Tipo::servidor, r.nservidores);
      break;
    case 'F':
      declarar(l, r.nfilas);
      if (Campos(texto).nome(r.filas[r.nfilas].nome).n() != 2) {
        erro_dados(l.linha, ERRO_PARAMETROS);
      }
      l.atual = Tipo::fila;
      l.numero = r.nfilas;
      break;
    case 'e':
      ler_entrada(l, texto);
      break;
    case 's':
      ler_saida(l, texto);
      break;
    default:
      break;  // a comment
  }
}

// The earliest line whose link still names an object that was never declared, or 0.
long long primeira_ligacao_orfa(const Leitura& l) {
  const Rede& r = l.sim.rede;
  long long primeira = 0;
  auto orfa = [&](long long origem, long numero, int contagem) {
    if (origem != 0 && numero > contagem && (primeira == 0 || origem < primeira)) {
      primeira = origem;
    }
  };
  for (int j = 1; j <= r.nfontes; ++j) {
    if (r.fontes[j].saida) orfa(l.origens.saida_fonte[j], r.fontes[j].saida - r.filas, r.nfilas);
  }
  for (int j = 1; j <= r.nfilas; ++j) {
    if (r.filas[j].servidor) {
      orfa(l.origens.servidor_fila[j], r.filas[j].servidor - r.servidores, r.nservidores);
    }
  }
  for (int j = 1; j <= r.nservidores; ++j) {
    const Servidor& s = r.servidores[j];
    if (s.entrada) orfa(l.origens.entrada_servidor[j], s.entrada - r.filas, r.nfilas);
    if (s.saida) orfa(l.origens.saida_servidor[j], s.saida - r.filas, r.nfilas);
  }
  return primeira;
}

}  // namespace

void erro_dados(long long linha, int codigo) {
  const char* mensagem;
  switch (codigo) {
    case 0:
      mensagem = " \tEste parametro nao se usa com este objeto\n";
      break;
    case 1:
      mensagem = " \tNumero de parametros invalido\n";
      break;
    case 2:
      mensagem = " \tLigacao entre objetos incompativeis\n";
      break;
    case 3:
      mensagem = " \tNumero de parametros invalido\n";
      break;
    case 4:
      mensagem = " \tO tempo de simulacao nao encontra-se\n";
      break;
    case 5:
      mensagem = " \tO tempo de amostragem nao encontra-se\n";
      break;
    case 6:
      mensagem = " \tO tempo de chegada dos fregues nao encontra-se\n";
      break;
    case ERRO_FORA_DA_TABELA:
      mensagem = " \tNumero de objeto fora da faixa de 0 a 29\n";
      break;
    case ERRO_OBJETOS_DEMAIS:
      mensagem = " \tMais de 29 objetos do mesmo tipo\n";
      break;
    case ERRO_NAO_DECLARADO:
      mensagem = " \tLigacao com objeto nao declarado\n";
      break;
    default:
      mensagem = "";
      break;
  }
  falha(1, "Arquivo de dados : erro linha  - %lld - \n%s", linha, mensagem);
}

int ler_pedaco(std::FILE* arquivo, char (&buf)[80]) {
  int n = 0;
  while (n < 79) {
    int c = std::getc(arquivo);
    if (c == EOF) break;
    if (c == '\r') {
      int seguinte = std::getc(arquivo);
      if (seguinte == '\n') {
        c = '\n';
      } else if (seguinte != EOF) {
        std::ungetc(seguinte, arquivo);
      }
    }
    buf[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  buf[n] = '\0';
  return n;
}

namespace {

// What a model read from a stream may hold: a model of every object, every link and long
// comments fits in a few hundred kilobytes; /dev/zero or an endless pipe never ends.
constexpr long long MAX_FLUXO = 16 << 20;

// Reads the model; fluxo names a file that is not a regular one, whose end may never come.
void ler(Simulacao& sim, std::FILE* arquivo, const char* fluxo) {
  Rede& r = sim.rede;
  r.Nlimite = 0;
  r.nfontes = r.nservidores = r.nfilas = 0;
  sim.Nfregues = 0;
  sim.Tsimul = 0;
  Leitura l{sim, {}};
  char buf[80];
  long long lidos = 0;
  for (;;) {
    errno = 0;
    const int n = ler_pedaco(arquivo, buf);
    if (fluxo != nullptr && (lidos += n) > MAX_FLUXO) {
      falha(1, "O arquivo %s nao e um arquivo regular e passa de 16 MB: nao e um modelo.\n", fluxo);
    }
    // Tested before the piece is handled: a piece that a failed read cut short is no line.
    if (std::ferror(arquivo)) {
      falha(1, "Erro de leitura no arquivo de dados na linha %lld (codigo %d)\n", l.linha + 1,
            errno);
    }
    if (n == 0) break;
    ++l.linha;
    // A NUL byte ends the text that the fields are read from.
    std::string_view texto(buf, static_cast<std::size_t>(n));
    texto = texto.substr(0, texto.find('\0'));
    if (!texto.empty()) tratar_linha(l, texto);
  }
  if (long long linha = primeira_ligacao_orfa(l)) erro_dados(linha, ERRO_NAO_DECLARADO);
}

struct Fechar {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using Arquivo = std::unique_ptr<std::FILE, Fechar>;

}  // namespace

void ler_modelo(Simulacao& sim, std::FILE* arquivo) { ler(sim, arquivo, nullptr); }

void ler_modelo_texto(Simulacao& sim, std::string_view texto) {
  // fmemopen refuses an empty buffer; an empty model reads the same from /dev/null.
  Arquivo arquivo(texto.empty() ? std::fopen("/dev/null", "r")
                                : fmemopen(const_cast<char*>(texto.data()), texto.size(), "r"));
  if (!arquivo) throw std::bad_alloc();
  ler_modelo(sim, arquivo.get());
}

void ler_modelo(Simulacao& sim, const char* caminho) {
  Arquivo arquivo(std::fopen(caminho, "r"));
  if (!arquivo) falha(1, "O arquivo %s nao encontra-se.\n", caminho);
  // A directory opens for reading here, and its first read fails: say what it is instead.
  struct stat st;
  const bool lido = fstat(fileno(arquivo.get()), &st) == 0;
  if (lido && S_ISDIR(st.st_mode))
    falha(1, "O arquivo %s e um diretorio, nao um modelo.\n", caminho);
  ler(sim, arquivo.get(), lido && S_ISREG(st.st_mode) ? nullptr : caminho);
}

}  // namespace tarvo
