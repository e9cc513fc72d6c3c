// Suspicious legacy models. tarvo reads them as they are and must keep doing so; tarvo-rep says
// where a model probably does not mean what it says. The lines are cut into pieces and keyed
// exactly as the loader does, and their fields read with its scanner, so that a warning never
// names a line the loader read otherwise.
#include "legado/suspeitas.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <utility>

#include "comum/failure.h"
#include "comum/gravacao.h"
#include "experimento/saida.h"
#include "legado/engine/simulation.h"
#include "legado/input/loader.h"
#include "legado/input/scanner.h"

namespace tarvo {

namespace {

bool chave(char c) {
  return c != '\0' && std::string_view("DNVEFSes").find(c) != std::string_view::npos;
}

// The shortest text that reads back to the value; a float's own when it is one, so that a
// legacy 0.1 is not written 0.10000000149011612.
std::string numero(double x) {
  char buf[64];
  if (std::fabs(x) <= static_cast<double>(std::numeric_limits<float>::max())) {
    const float f = static_cast<float>(x);
    if (static_cast<double>(f) == x) {
      return std::string(buf, std::to_chars(buf, buf + sizeof buf, f).ptr);
    }
  }
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, x).ptr);
}

// Between quotes, on one line: tabs, control bytes, quotes and backslashes escaped.
std::string aspas(std::string_view s) {
  std::string r = "\"";
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      r += {'\\', c};
    } else if (c == '\t') {
      r += "\\t";
    } else if (u < 0x20 || u == 0x7f) {
      r += formatar("\\x%02X", u);
    } else {
      r += c;
    }
  }
  return r + "\"";
}

// "a", "a e b", "a, b e c".
std::string junto(const std::vector<std::string>& v) {
  std::string r;
  for (std::size_t i = 0; i < v.size(); ++i) {
    r += (i == 0 ? "" : i + 1 == v.size() ? " e " : ", ") + v[i];
  }
  return r;
}

enum class Tipo { nenhum, fonte, fila, servidor };

// What the loader holds after each line, as far as the warnings need it, and the line of each
// declaration by object number.
struct Estado {
  Tipo atual = Tipo::nenhum;
  std::string nome_atual;
  std::vector<long long> linhas[3] = {{0}, {0}, {0}};  // by Tipo - 1
};

std::vector<long long>& linhas(Estado& e, Tipo t) { return e.linhas[static_cast<int>(t) - 1]; }
const std::vector<long long>& linhas(const Estado& e, Tipo t) {
  return e.linhas[static_cast<int>(t) - 1];
}

// A keyed line as the loader takes it: a declaration becomes the current object.
void registrar(Estado& e, std::string_view texto, long long linha) {
  const Tipo t = texto[0] == 'E'   ? Tipo::fonte
                 : texto[0] == 'F' ? Tipo::fila
                 : texto[0] == 'S' ? Tipo::servidor
                                   : Tipo::nenhum;
  if (t == Tipo::nenhum) return;
  linhas(e, t).push_back(linha);
  e.atual = t;
  Cursor c(texto.substr(1));
  int tipo = 0;
  e.nome_atual.clear();
  if (t == Tipo::fila || ler_inteiro(c, tipo)) ler_nome(c, e.nome_atual);
}

std::string objeto(Tipo t, const std::string& nome) {
  const char* o = t == Tipo::fonte ? "a fonte " : t == Tipo::fila ? "a fila " : "o servidor ";
  return o + aspas(nome);
}

// What the rest of a line after key k would have been for the loader, at column 1 and after
// the lines before it; empty when it would have been refused, or when no number follows k.
std::string declararia(char k, std::string_view resto, const Estado& e) {
  float x = 0;
  int n = 0, tipo = 0;
  std::string nome;
  if (Cursor c(resto); !ler_real(c, x)) return "";
  Cursor c(resto);
  switch (k) {
    case 'D':
      return ler_real(c, x) ? "o limite de tempo D" : "";
    case 'N':
      return ler_inteiro(c, n) ? "o limite de fregueses N" : "";
    case 'V':
      return ler_inteiro(c, n) ? "o modo de acompanhamento V" : "";
    case 'E':
    case 'S': {
      const Tipo t = k == 'E' ? Tipo::fonte : Tipo::servidor;
      const bool ok = ler_inteiro(c, tipo) && ler_nome(c, nome) && ler_real(c, x) &&
                      ler_real(c, x) && (tipo == DIST_EXPONENCIAL || tipo == DIST_UNIFORME) &&
                      linhas(e, t).size() < MAX_OBJETOS;
      return ok ? objeto(t, nome) : "";
    }
    case 'F':
      return ler_nome(c, nome) && linhas(e, Tipo::fila).size() < MAX_OBJETOS
                 ? objeto(Tipo::fila, nome)
                 : "";
    default:  // 'e' and 's', links of the current object
      if (e.atual == Tipo::nenhum || !ler_inteiro(c, n)) return "";
      if (k == 'e' && e.atual == Tipo::fonte) return "";
      if ((k == 's' || e.atual == Tipo::servidor) && (n < 0 || n >= MAX_OBJETOS)) return "";
      return std::string(k == 'e' ? "a entrada (e) d" : "a saida (s) d") +
             objeto(e.atual, e.nome_atual);
  }
}

// The warning for a piece that starts a line and was read as a comment, if it is one of those
// that would have been a declaration: indented, a lowercase key, or behind a byte-order mark.
std::optional<std::string> comentario_suspeito(std::string_view texto, long long linha,
                                               const Estado& e) {
  std::vector<std::string> por, com;
  if (linha == 1 && texto.starts_with("\xEF\xBB\xBF")) {
    texto.remove_prefix(3);
    por.push_back("a marca de ordem de bytes do UTF-8 (BOM)");
    com.push_back("sem ela");
  }
  Cursor c(texto);
  pular_brancos(c);
  if (c.p == c.fim) return std::nullopt;
  if (c.p > texto.data()) {
    por.push_back(texto[0] == ' ' ? "espaco" : texto[0] == '\t' ? "tabulacao" : "espaco em branco");
    com.push_back("na coluna 1");
  }
  char k = *c.p;
  if (std::string_view("dnvf").find(k) != std::string_view::npos) {
    por.push_back(formatar("%c minusculo", k));
    k = static_cast<char>(k - 'a' + 'A');
    com.push_back(formatar("com %c maiusculo", k));
  }
  if (por.empty() || !chave(k)) return std::nullopt;
  const std::string o = declararia(k, std::string_view(c.p + 1, c.fim), e);
  if (o.empty()) return std::nullopt;
  std::string_view escrita = texto;
  if (escrita.ends_with('\n')) escrita.remove_suffix(1);
  return formatar("a linha %s foi lida como comentario, por comecar com %s; %s, seria %s",
                  aspas(escrita).c_str(), junto(por).c_str(), junto(com).c_str(), o.c_str());
}

// A negative mean, or a uniform's bounds the wrong way round, of a source or server.
template <class Objeto>
void conferir_tempos(std::vector<std::pair<long long, std::string>>& v, long long linha,
                     const std::string& quem, const Objeto& o) {
  const double inf = static_cast<double>(o.inf), sup = static_cast<double>(o.sup);
  if (o.tipo == DIST_UNIFORME && inf > sup) {
    v.push_back({linha, formatar("%s e uniforme com INF (%s) maior que SUP (%s): os tempos "
                                 "sorteados ficam entre %s e %s, como com os dois trocados",
                                 quem.c_str(), numero(inf).c_str(), numero(sup).c_str(),
                                 numero(sup).c_str(), numero(inf).c_str())});
  }
  // In the legacy model's own precision, as its numbers were written.
  const double media = o.tipo == DIST_EXPONENCIAL
                           ? static_cast<double>(o.med)
                           : static_cast<double>(static_cast<float>((inf + sup) / 2));
  if (media < 0) {
    v.push_back({linha, formatar("%s tem media negativa (%s): o tarvo sorteia tempos negativos, "
                                 "que levam o relogio para tras",
                                 quem.c_str(), numero(media).c_str())});
  }
}

}  // namespace

std::vector<std::string> suspeitas(std::string_view texto, const std::string& caminho) {
  std::vector<std::pair<long long, std::string>> v;
  Estado e;
  {
    struct Fechar {
      void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Fechar> arquivo(
        texto.empty() ? std::fopen("/dev/null", "r")
                      : fmemopen(const_cast<char*>(texto.data()), texto.size(), "r"));
    if (!arquivo) throw std::bad_alloc();
    char buf[80];
    long long linha = 0;
    bool inicio = true;  // the piece starts a line of the file, not the rest of a long one
    for (int n; (n = ler_pedaco(arquivo.get(), buf)) > 0;) {
      ++linha;
      const bool comeca = inicio;
      inicio = buf[n - 1] == '\n';
      std::string_view p(buf, static_cast<std::size_t>(n));
      p = p.substr(0, p.find('\0'));
      if (p.empty()) continue;
      if (chave(p[0])) {
        registrar(e, p, linha);
      } else if (comeca) {
        if (auto a = comentario_suspeito(p, linha, e)) v.push_back({linha, *a});
      }
    }
  }
  // The rest is about the network as loaded: none when the loader refuses it, as it will say.
  auto sim = std::make_unique<Simulacao>();
  bool lido = true;
  try {
    ler_modelo_texto(*sim, texto);
  } catch (const Falha&) {
    lido = false;
  }
  const Rede& r = sim->rede;
  for (int j = 1; lido && j <= r.nfontes; ++j) {
    const Fonte& f = r.fontes[j];
    conferir_tempos(v, linhas(e, Tipo::fonte)[j], objeto(Tipo::fonte, f.nome), f);
  }
  for (int j = 1; lido && j <= r.nservidores; ++j) {
    const Servidor& s = r.servidores[j];
    const long long linha = linhas(e, Tipo::servidor)[j];
    const std::string quem = objeto(Tipo::servidor, s.nome);
    conferir_tempos(v, linha, quem, s);
    bool iniciado = false;
    for (int q = 1; q <= r.nfilas; ++q) iniciado = iniciado || r.filas[q].servidor == &s;
    if (!iniciado) {
      v.push_back({linha, formatar("nenhuma fila inicia servico n%s (nenhuma linha \"s %d\" "
                                   "depois de um F): ele nunca atende",
                                   quem.c_str(), j)});
    }
  }
  for (int q = 1; lido && q < r.nfilas; ++q) {
    if (r.filas[q].servidor != nullptr) continue;
    v.push_back({linhas(e, Tipo::fila)[q],
                 formatar("%s nao tem servidor e nao e o sorvedouro (a ultima fila, %s): os "
                          "fregueses que chegam a ela ficam nela ate o fim",
                          objeto(Tipo::fila, r.filas[q].nome).c_str(),
                          aspas(r.filas[r.nfilas].nome).c_str())});
  }
  std::stable_sort(v.begin(), v.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> avisos;
  for (const auto& [linha, a] : v) {
    avisos.push_back(formatar("tarvo-rep: aviso: %s:%lld: %s", caminho.c_str(), linha, a.c_str()));
  }
  return avisos;
}

void avisar_suspeitas(const std::string& caminho) {
  std::string texto;
  if (ler_inteiro(caminho, texto) != 0) return;
  for (const std::string& a : suspeitas(texto, caminho)) {
    std::fprintf(stderr, "%s\n", visivel(a).c_str());
  }
}

void conferir_aquecimento(double aquecimento, const Modelo& m, const std::string& caminho) {
  const std::optional<double> limite = m.tempo_limite();
  if (!limite || !(aquecimento > 0) || aquecimento < *limite) return;
  const bool toml = caminho.size() > 5 && caminho.ends_with(".toml");
  falha(1, "tarvo-rep: --warmup (%s) deve ser menor que %s (%s) em %s\n",
        numero(aquecimento).c_str(), toml ? "\"tempo\"" : "D", numero(*limite).c_str(),
        caminho.c_str());
}

}  // namespace tarvo
