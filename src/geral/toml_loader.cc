// The .toml loader: toml++ parses, then every table is checked against the keys it may hold
// (a misspelt key before anything else, as it often explains what seems missing), routes are
// resolved once every name is known, and the graph of the network is checked last.
#include "geral/toml_loader.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <map>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "comum/failure.h"
#include "geral/distribuicao.h"
#include "geral/variaveis.h"

namespace tarvo::geral {

namespace {

// How far past 1 the probabilities of a route may sum (0.34 + 0.56 + 0.1 is above 1 in binary);
// a remainder this small is taken as nobody leaving.
constexpr double TOLERANCIA = 1e-9;
constexpr std::int64_t MAX_INT = std::numeric_limits<int>::max();
constexpr std::int64_t MAX_INT64 = std::numeric_limits<std::int64_t>::max();

using Posicao = toml::source_position;
using Chaves = std::vector<std::string_view>;

// Sources, stations and classes share one set of names, so that a name in a message, a route
// or a sweep's path is never two things.
enum class Tipo { fonte, estacao, classe };

struct Nome {
  Tipo tipo;
  int indice;
  Posicao pos;  // of the name's value
};

// One destination as written, resolved once every name is known.
struct Passo {
  std::string destino;
  Posicao pos;
  double p;
};

struct RotaLida {
  std::vector<Passo> passos;
  Posicao pos{};  // of the key destino or rota; none when neither is given
};

// What the checks on the whole network point at, beside what the Rede holds.
struct FonteLida {
  RotaLida rota;
};

struct DaClasseLida {
  std::optional<RotaLida> rota;  // only when the class has a route of its own here
  Posicao chave{};               // of the class's name in "classes"
};

struct EstacaoLida {
  RotaLida rota;
  Posicao nome{}, capacidade{};
  Posicao paciencia{}, desistencia{};  // of the keys; none when absent
  std::vector<DaClasseLida> classes;   // as Estacao::classes
};

struct ClasseLida {
  Posicao nome{};
  std::optional<Passo> inicio;  // a closed class's first station, as written
};

struct Leitor {
  const std::string& arquivo;
  Rede rede;
  std::map<std::string, Nome, std::less<>> nomes;
  std::vector<FonteLida> fontes;
  std::vector<EstacaoLida> estacoes;
  std::vector<ClasseLida> classes;
};

unsigned linha(Posicao p) { return p.line > 0 ? p.line : 1; }
unsigned coluna(Posicao p) { return p.line > 0 && p.column > 0 ? p.column : 1; }

[[noreturn]] void erro(const Leitor& l, Posicao p, const std::string& mensagem) {
  falha(1, "%s:%u:%u: %s\n", l.arquivo.c_str(), linha(p), coluna(p), mensagem.c_str());
}

// s with its control characters written as TOML escapes, so that a message stays on one line;
// when citado, between quotes and with its quotes and backslashes escaped too.
std::string escapado(std::string_view s, bool citado) {
  std::string r = citado ? "\"" : "";
  for (char c : s) {
    if (citado && (c == '"' || c == '\\')) {
      r += {'\\', c};
    } else if (c == '\n') {
      r += "\\n";
    } else if (c == '\t') {
      r += "\\t";
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      r += formatar("\\u%04X", static_cast<unsigned>(c));
    } else {
      r += c;
    }
  }
  return citado ? r + "\"" : r;
}

std::string aspas(std::string_view s) { return escapado(s, true); }

// Shortest text that reads back to the same double.
std::string numero(double x) {
  if (std::isnan(x)) return "nan";
  if (std::isinf(x)) return x > 0 ? "inf" : "-inf";
  char buf[32];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, x).ptr);
}

// What a value is, for a message: a simple value as written, anything else by its kind.
std::string escrito(const toml::node& n) {
  switch (n.type()) {
    case toml::node_type::string:
      return aspas(n.as_string()->get());
    case toml::node_type::integer:
      return std::to_string(n.as_integer()->get());
    case toml::node_type::floating_point:
      return numero(n.as_floating_point()->get());
    case toml::node_type::boolean:
      return n.as_boolean()->get() ? "true" : "false";
    case toml::node_type::array:
      return "uma lista";
    case toml::node_type::table:
      return "uma tabela";
    case toml::node_type::date:
      return "uma data";
    case toml::node_type::time:
      return "uma hora";
    default:
      return "uma data e hora";
  }
}

// The list of an empirical law's "valores": present, a list and not empty.
const toml::array& lista_de_valores(const Leitor& l, const toml::node& v) {
  const toml::array* a = v.as_array();
  if (a == nullptr) {
    erro(l, v.source().begin,
         formatar("\"valores\" deve ser uma lista de numeros, nao %s", escrito(v).c_str()));
  }
  if (a->empty()) erro(l, v.source().begin, "\"valores\" deve ter ao menos um valor");
  return *a;
}

std::string juntar(const Chaves& v, const char* entre) {
  std::string s;
  for (std::string_view x : v) s += (s.empty() ? "" : entre) + std::string(x);
  return s;
}

// Edit distance counting a swap of two neighbours as one edit, the commonest slip in typing;
// words too long to be a misspelt key are simply far.
std::size_t distancia(std::string_view a, std::string_view b) {
  if (a.size() > 64 || b.size() > 64) return std::numeric_limits<std::size_t>::max();
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min(
          {d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

// The candidate closest to s, when close enough to be what was meant: a third of the longer
// word may differ (two letters in a short one), or one begins the other ("prob" for "p"); never
// all of it.
std::optional<std::string_view> parecido(std::string_view s, const Chaves& candidatos) {
  std::optional<std::string_view> melhor;
  std::size_t menor = std::numeric_limits<std::size_t>::max();
  for (std::string_view c : candidatos) {
    const std::size_t d = distancia(s, c), maior = std::max(s.size(), c.size());
    const bool perto = d <= std::max<std::size_t>(2, (maior + 2) / 3);
    if ((perto || s.starts_with(c) || c.starts_with(s)) && d < maior && d < menor) {
      melhor = c;
      menor = d;
    }
  }
  return melhor;
}

// The keys of a table in the order of the file (toml++ keeps them sorted by name).
std::vector<const toml::key*> em_ordem(const toml::table& t) {
  std::vector<const toml::key*> v;
  for (auto&& [k, _] : t) v.push_back(&k);
  std::sort(v.begin(), v.end(), [](const toml::key* a, const toml::key* b) {
    const Posicao x = a->source().begin, y = b->source().begin;
    return std::pair(x.line, x.column) < std::pair(y.line, y.column);
  });
  return v;
}

void checar_chaves(const Leitor& l, const toml::table& t, const Chaves& conhecidas,
                   const char* onde) {
  for (const toml::key* k : em_ordem(t)) {
    if (std::find(conhecidas.begin(), conhecidas.end(), k->str()) != conhecidas.end()) continue;
    std::string m = formatar("chave desconhecida %s %s", aspas(k->str()).c_str(), onde);
    if (auto s = parecido(k->str(), conhecidas)) {
      m += formatar("; voce quis dizer %s?", aspas(*s).c_str());
    } else {
      m += "; as conhecidas: " + juntar(conhecidas, ", ");
    }
    erro(l, k->source().begin, m);
  }
}

const toml::node& exigir(const Leitor& l, const toml::table& t, std::string_view chave,
                         const char* onde) {
  if (const toml::node* n = t.get(chave)) return *n;
  erro(l, t.source().begin, formatar("falta %s %s", aspas(chave).c_str(), onde));
}

std::string texto(const Leitor& l, const toml::node& n, const char* rotulo) {
  if (const auto* s = n.as_string()) return s->get();
  erro(l, n.source().begin, formatar("%s deve ser um texto, nao %s", rotulo, escrito(n).c_str()));
}

struct Numero {
  double v;
  Posicao pos;
  std::string rotulo;
};

// A real number, written as a TOML integer or float.
Numero real(const Leitor& l, const toml::node& n, std::string rotulo) {
  const Posicao p = n.source().begin;
  if (const auto* i = n.as_integer()) return {static_cast<double>(i->get()), p, std::move(rotulo)};
  const auto* f = n.as_floating_point();
  if (f == nullptr) {
    erro(l, p, formatar("%s deve ser um numero, nao %s", rotulo.c_str(), escrito(n).c_str()));
  }
  if (!std::isfinite(f->get())) {
    erro(l, p,
         formatar("%s deve ser um numero finito, nao %s", rotulo.c_str(), escrito(n).c_str()));
  }
  return {f->get(), p, std::move(rotulo)};
}

double positivo(const Leitor& l, const Numero& x) {
  if (!(x.v > 0)) {
    erro(l, x.pos,
         formatar("%s deve ser maior que 0, nao %s", x.rotulo.c_str(), numero(x.v).c_str()));
  }
  return x.v;
}

double nao_negativo(const Leitor& l, const Numero& x) {
  if (!(x.v >= 0)) {
    erro(l, x.pos,
         formatar("%s deve ser maior ou igual a 0, nao %s", x.rotulo.c_str(), numero(x.v).c_str()));
  }
  return x.v;
}

// An integer from lo to hi: a TOML integer, or a float with a whole value, since counts are
// naturally written as 1e6.
std::optional<std::int64_t> inteiro(const toml::node& n, std::int64_t lo, std::int64_t hi) {
  std::int64_t v = 0;
  if (const auto* i = n.as_integer()) {
    v = i->get();
  } else if (const auto* f = n.as_floating_point();
             f != nullptr && std::trunc(f->get()) == f->get() && std::fabs(f->get()) < 0x1p63) {
    v = static_cast<std::int64_t>(f->get());
  } else {
    return std::nullopt;
  }
  if (v < lo || v > hi) return std::nullopt;
  return v;
}

std::int64_t inteiro(const Leitor& l, const toml::node& n, const char* rotulo, std::int64_t lo,
                     std::int64_t hi) {
  if (auto v = inteiro(n, lo, hi)) return *v;
  erro(l, n.source().begin,
       formatar("%s deve ser um inteiro de %lld a %lld, nao %s", rotulo, static_cast<long long>(lo),
                static_cast<long long>(hi), escrito(n).c_str()));
}

Chaves parametros(Dist tipo) {
  switch (tipo) {
    case Dist::exponencial:
      return {"media"};
    case Dist::uniforme:
      return {"min", "max"};
    case Dist::deterministica:
      return {"valor"};
    case Dist::erlang:
      return {"k", "media"};
    case Dist::gama:
    case Dist::weibull:
      return {"forma", "media"};
    case Dist::lognormal:
      return {"media", "desvio"};
    case Dist::triangular:
      return {"min", "moda", "max"};
    case Dist::hiperexponencial:
      return {"media", "cv"};
    case Dist::empirica:
      return {"valores"};
  }
  return {};
}

constexpr int NUM_DISTS = static_cast<int>(Dist::empirica) + 1;

Dist tipo_dist(const Leitor& l, const toml::node& n) {
  const std::string s = texto(l, n, "\"dist\"");
  Chaves nomes;
  for (int i = 0; i < NUM_DISTS; ++i) {
    nomes.push_back(nome(static_cast<Dist>(i)));
    if (s == nomes.back()) return static_cast<Dist>(i);
  }
  std::string m = "distribuicao desconhecida " + aspas(s);
  if (auto p = parecido(s, nomes)) {
    m += formatar("; voce quis dizer %s?", aspas(*p).c_str());
  } else {
    m += "; as conhecidas: " + juntar(nomes, ", ");
  }
  erro(l, n.source().begin, m);
}

// min <= max, told at min.
void ate(const Leitor& l, const Numero& a, const Numero& b) {
  if (a.v > b.v) {
    erro(l, a.pos,
         formatar("%s (%s) deve ser menor ou igual a %s (%s)", a.rotulo.c_str(),
                  numero(a.v).c_str(), b.rotulo.c_str(), numero(b.v).c_str()));
  }
}

Distribuicao ler_dist(const Leitor& l, const toml::table& dono, const char* chave,
                      const char* onde_dono) {
  const toml::node& n = exigir(l, dono, chave, onde_dono);
  const toml::table* t = n.as_table();
  if (t == nullptr) {
    erro(l, n.source().begin,
         formatar("%s deve ser uma distribuicao como { dist = \"exponencial\", media = 1.0 }, "
                  "nao %s",
                  aspas(chave).c_str(), escrito(n).c_str()));
  }
  const toml::node* d = t->get("dist");
  if (d == nullptr) {
    Chaves todas{"dist"};
    for (int i = 0; i < NUM_DISTS; ++i) {
      for (std::string_view p : parametros(static_cast<Dist>(i))) {
        if (std::find(todas.begin(), todas.end(), p) == todas.end()) todas.push_back(p);
      }
    }
    checar_chaves(l, *t, todas, "em uma distribuicao");
    erro(l, t->source().begin,
         formatar("falta \"dist\" em %s: o nome da distribuicao, como \"exponencial\"",
                  aspas(chave).c_str()));
  }
  Distribuicao r;
  r.tipo = tipo_dist(l, *d);
  const std::string onde = formatar("na distribuicao %s", nome(r.tipo));
  Chaves conhecidas = parametros(r.tipo);
  conhecidas.insert(conhecidas.begin(), "dist");
  checar_chaves(l, *t, conhecidas, onde.c_str());
  auto campo = [&](const char* p) -> const toml::node& { return exigir(l, *t, p, onde.c_str()); };
  auto num = [&](const char* p) { return real(l, campo(p), aspas(p)); };
  switch (r.tipo) {
    case Dist::exponencial:
      r.media = positivo(l, num("media"));
      break;
    case Dist::uniforme: {
      const Numero a = num("min"), b = num("max");
      r.min = nao_negativo(l, a);
      ate(l, a, b);
      r.max = b.v;
      break;
    }
    case Dist::deterministica:
      r.valor = nao_negativo(l, num("valor"));
      break;
    case Dist::erlang:
      r.k = static_cast<int>(inteiro(l, campo("k"), "\"k\"", 1, MAX_INT));
      r.media = positivo(l, num("media"));
      break;
    case Dist::gama:
    case Dist::weibull:
      r.forma = positivo(l, num("forma"));
      r.media = positivo(l, num("media"));
      break;
    case Dist::lognormal:
      r.media = positivo(l, num("media"));
      r.desvio = nao_negativo(l, num("desvio"));
      break;
    case Dist::triangular: {
      const Numero a = num("min"), c = num("moda"), b = num("max");
      r.min = nao_negativo(l, a);
      ate(l, a, b);
      if (c.v < a.v || c.v > b.v) {
        erro(l, c.pos,
             formatar("\"moda\" (%s) deve estar entre \"min\" (%s) e \"max\" (%s)",
                      numero(c.v).c_str(), numero(a.v).c_str(), numero(b.v).c_str()));
      }
      r.moda = c.v;
      r.max = b.v;
      break;
    }
    case Dist::hiperexponencial:
      r.media = positivo(l, num("media"));
      r.cv = num("cv").v;  // its range below
      break;
    case Dist::empirica: {
      for (const toml::node& x : lista_de_valores(l, campo("valores"))) {
        r.valores.push_back(nao_negativo(l, real(l, x, "cada valor de \"valores\"")));
      }
      break;
    }
  }
  if (const auto f = fora_da_faixa(r)) {
    erro(l, campo(f->parametro).source().begin,
         formatar("%s deve %s, nao %s", aspas(f->parametro).c_str(), f->faixa.c_str(),
                  numero(f->valor).c_str()));
  }
  return r;
}

const char* uma(Tipo t) {
  return t == Tipo::fonte ? "uma fonte" : t == Tipo::estacao ? "uma estacao" : "uma classe";
}

std::string ler_nome(Leitor& l, const toml::table& t, const char* onde, Tipo tipo, int indice) {
  const toml::node& n = exigir(l, t, "nome", onde);
  const Posicao pos = n.source().begin;
  std::string s = texto(l, n, "\"nome\"");
  if (s.empty()) erro(l, pos, "\"nome\" nao pode ser vazio");
  for (unsigned char c : s) {
    if (c <= ' ' || c == 0x7f) {
      erro(l, pos,
           formatar("\"nome\" nao pode ter espacos nem caracteres de controle: %s",
                    aspas(s).c_str()));
    }
  }
  if (auto it = l.nomes.find(s); it != l.nomes.end()) {
    erro(l, pos,
         formatar("nome %s ja usado por %s na linha %u", aspas(s).c_str(), uma(it->second.tipo),
                  linha(it->second.pos)));
  }
  l.nomes.emplace(s, Nome{tipo, indice, pos});
  return s;
}

// Two keys of which a table takes one at most, told at the later one when both are there.
void um_ou_outro(const Leitor& l, const toml::table& t, const char* a, const char* b,
                 const char* onde) {
  const auto x = t.find(a), y = t.find(b);
  if (x == t.end() || y == t.end()) return;
  const Posicao p = x->first.source().begin, q = y->first.source().begin;
  erro(l, std::pair(p.line, p.column) > std::pair(q.line, q.column) ? p : q,
       formatar("%s e %s juntos %s: use um ou outro", aspas(a).c_str(), aspas(b).c_str(), onde));
}

// Where a source's or a station's customers go: destino = "x" sends them all to x, rota = [...]
// each to one destination by its probability.
RotaLida ler_rota(const Leitor& l, const toml::table& t, const char* onde, bool exigida) {
  RotaLida r;
  um_ou_outro(l, t, "destino", "rota", onde);
  const auto d = t.find("destino"), ro = t.find("rota");
  if (d != t.end()) {
    r.pos = d->first.source().begin;
    r.passos.push_back({texto(l, d->second, "\"destino\""), d->second.source().begin, 1.0});
  } else if (ro != t.end()) {
    r.pos = ro->first.source().begin;
    const toml::array* a = ro->second.as_array();
    if (a == nullptr) {
      erro(l, ro->second.source().begin,
           formatar("\"rota\" deve ser uma lista como [ { destino = \"x\", p = 0.5 } ], nao %s",
                    escrito(ro->second).c_str()));
    }
    const char* onde_passo = "em um destino da rota";
    double soma = 0;
    for (const toml::node& item : *a) {
      const toml::table* e = item.as_table();
      if (e == nullptr) {
        erro(l, item.source().begin,
             formatar("cada destino da rota deve ser uma tabela como { destino = \"x\", p = 0.5 "
                      "}, nao %s",
                      escrito(item).c_str()));
      }
      checar_chaves(l, *e, {"destino", "p"}, onde_passo);
      const toml::node& nome = exigir(l, *e, "destino", onde_passo);
      std::string s = texto(l, nome, "\"destino\"");
      const Numero p = real(l, exigir(l, *e, "p", onde_passo), "\"p\"");
      if (!(p.v >= 0 && p.v <= 1)) {
        erro(l, p.pos, formatar("\"p\" deve estar entre 0 e 1, nao %s", numero(p.v).c_str()));
      }
      soma += p.v;
      r.passos.push_back({std::move(s), nome.source().begin, p.v});
    }
    if (soma > 1 + TOLERANCIA) {
      erro(l, r.pos, formatar("as probabilidades da rota somam %.12g, mais que 1", soma));
    }
  } else if (exigida) {
    erro(l, t.source().begin, formatar("falta \"destino\" ou \"rota\" %s", onde));
  }
  return r;
}

// The station that a name stands for, as the key chave (destino, inicio) gives it; porque says
// why it must be a station.
int estacao_chamada(const Leitor& l, const std::string& nome, Posicao pos, const char* chave,
                    const char* porque) {
  const auto it = l.nomes.find(nome);
  if (it == l.nomes.end()) {
    Chaves estacoes;
    for (const Estacao& e : l.rede.estacoes) estacoes.push_back(e.nome);
    std::string m = formatar("%s desconhecido %s", chave, aspas(nome).c_str());
    if (auto p = parecido(nome, estacoes)) {
      m += formatar("; voce quis dizer %s?", aspas(*p).c_str());
    } else {
      m += ": nenhuma estacao tem esse nome";
    }
    erro(l, pos, m);
  }
  if (it->second.tipo != Tipo::estacao) {
    erro(l, pos,
         formatar("%s %s e %s; %s", chave, aspas(nome).c_str(), uma(it->second.tipo), porque));
  }
  return it->second.indice;
}

Rota resolver(const Leitor& l, const RotaLida& lida) {
  Rota r;
  for (const Passo& s : lida.passos) {
    const int i = estacao_chamada(l, s.destino, s.pos, "destino", "so estacoes recebem fregueses");
    for (const Destino& x : r) {
      if (x.estacao == i) {
        erro(l, s.pos, formatar("destino %s repetido na rota", aspas(s.destino).c_str()));
      }
    }
    r.push_back({i, s.p});
  }
  return r;
}

void ler_simulacao(Leitor& l, const toml::table& raiz) {
  const toml::node* n = raiz.get("simulacao");
  const toml::table* t = n != nullptr ? n->as_table() : nullptr;
  if (n != nullptr && t == nullptr) {
    erro(l, n->source().begin,
         formatar("\"simulacao\" deve ser uma tabela [simulacao], nao %s", escrito(*n).c_str()));
  }
  if (t != nullptr) {
    checar_chaves(l, *t, {"tempo", "fregueses", "aquecimento", "janela"}, "em [simulacao]");
    if (const toml::node* x = t->get("tempo")) l.rede.tempo = positivo(l, real(l, *x, "\"tempo\""));
    if (const toml::node* x = t->get("fregueses")) {
      l.rede.fregueses = inteiro(l, *x, "\"fregueses\"", 1, MAX_INT64);
    }
    if (const toml::node* x = t->get("aquecimento")) {
      const Numero a = real(l, *x, "\"aquecimento\"");
      l.rede.aquecimento = nao_negativo(l, a);
      if (l.rede.tempo && a.v >= *l.rede.tempo) {
        erro(l, a.pos,
             formatar("\"aquecimento\" (%s) deve ser menor que \"tempo\" (%s)", numero(a.v).c_str(),
                      numero(*l.rede.tempo).c_str()));
      }
    }
  }
  if (!l.rede.tempo && !l.rede.fregueses) {
    erro(l, t != nullptr ? t->source().begin : Posicao{1, 1},
         "falta um limite em [simulacao]: \"tempo\", \"fregueses\" ou os dois");
  }
  if (const toml::node* x = t != nullptr ? t->get("janela") : nullptr) {
    const Numero j = real(l, *x, "\"janela\"");
    l.rede.janela = positivo(l, j);
    if (!l.rede.tempo) {
      erro(l, j.pos,
           "\"janela\" sem \"tempo\" em [simulacao]: numa corrida que termina por \"fregueses\" "
           "a ultima janela nao teria fim conhecido; de um \"tempo\"");
    }
    const double quantas = janelas(*l.rede.tempo, j.v);
    if (quantas > JANELAS_MAX) {
      erro(l, j.pos,
           formatar("\"janela\" (%s) divide \"tempo\" (%s) em %.12g janelas, mais que o maximo "
                    "de %d; aumente \"janela\"",
                    numero(j.v).c_str(), numero(*l.rede.tempo).c_str(), quantas, JANELAS_MAX));
    }
  }
}

// The tables of [[chave]]; without any, an error when exigida, else none.
std::vector<const toml::table*> lista(const Leitor& l, const toml::table& raiz, const char* chave,
                                      bool exigida) {
  const toml::node* n = raiz.get(chave);
  const std::string nenhuma = formatar("nenhuma [[%s]]: o modelo precisa de ao menos uma", chave);
  if (n == nullptr && !exigida) return {};
  if (n == nullptr) erro(l, Posicao{1, 1}, nenhuma);
  const toml::array* a = n->as_array();
  if (a == nullptr) {
    erro(l, n->source().begin,
         formatar("\"%s\" deve ser uma lista de tabelas [[%s]], nao %s", chave, chave,
                  escrito(*n).c_str()));
  }
  if (a->empty() && exigida) erro(l, n->source().begin, nenhuma);
  std::vector<const toml::table*> v;
  for (const toml::node& item : *a) {
    if (item.as_table() == nullptr) {
      erro(l, item.source().begin,
           formatar("cada item de \"%s\" deve ser uma tabela, nao %s", chave,
                    escrito(item).c_str()));
    }
    v.push_back(item.as_table());
  }
  return v;
}

void ler_classe(Leitor& l, const toml::table& t) {
  const char* onde = "em [[classe]]";
  checar_chaves(l, t, {"nome", "prioridade", "populacao", "inicio"}, onde);
  Classe c;
  ClasseLida lida;
  c.nome = ler_nome(l, t, onde, Tipo::classe, static_cast<int>(l.rede.classes.size()));
  lida.nome = l.nomes.find(c.nome)->second.pos;
  if (const toml::node* n = t.get("prioridade")) {
    c.prioridade =
        static_cast<int>(inteiro(l, *n, "\"prioridade\"", -PRIORIDADE_MAX, PRIORIDADE_MAX));
  }
  const toml::node* populacao = t.get("populacao");
  if (populacao != nullptr) c.populacao = inteiro(l, *populacao, "\"populacao\"", 1, POPULACAO_MAX);
  if (const auto i = t.find("inicio"); i != t.end()) {
    if (populacao == nullptr) {
      erro(l, i->first.source().begin,
           formatar("\"inicio\" sem \"populacao\" na classe %s: so os fregueses de uma classe "
                    "fechada comecam numa estacao; os de uma aberta chegam de uma fonte",
                    aspas(c.nome).c_str()));
    }
    lida.inicio = Passo{texto(l, i->second, "\"inicio\""), i->second.source().begin, 1};
  } else if (populacao != nullptr) {
    erro(l, t.source().begin,
         formatar("falta \"inicio\" na classe fechada %s: a estacao onde seus %lld fregueses "
                  "estao no instante 0",
                  aspas(c.nome).c_str(), static_cast<long long>(*c.populacao)));
  }
  l.classes.push_back(std::move(lida));
  l.rede.classes.push_back(std::move(c));
}

// The class a name stands for; the model has classes.
int classe_chamada(const Leitor& l, const std::string& nome, Posicao pos) {
  const auto it = l.nomes.find(nome);
  if (it != l.nomes.end() && it->second.tipo == Tipo::classe) return it->second.indice;
  Chaves classes;
  for (const Classe& c : l.rede.classes) classes.push_back(c.nome);
  std::string m = "classe desconhecida " + aspas(nome);
  if (auto p = parecido(nome, classes)) {
    m += formatar("; voce quis dizer %s?", aspas(*p).c_str());
  } else {
    m += "; as classes: " + juntar(classes, ", ");
  }
  erro(l, pos, m);
}

// A key that only a model with classes takes.
void sem_classes(const Leitor& l, const toml::table& t, const char* chave) {
  if (!l.rede.classes.empty()) return;
  erro(l, t.find(chave)->first.source().begin,
       formatar("%s sem nenhuma [[classe]] declarada: sem elas, o modelo tem uma classe so",
                aspas(chave).c_str()));
}

// A value that changes with the time of day, { periodo = 24.0, valores = [ [0.0, x], ... ] },
// the table of the key chave; ler_valor reads each x, exemplo shows a pair.
template <class T, class F>
PorHorario<T> ler_por_horario(const Leitor& l, const toml::table& t, const char* chave,
                              const char* exemplo, F ler_valor) {
  const std::string onde = "em " + aspas(chave);
  checar_chaves(l, t, {"periodo", "valores"}, onde.c_str());
  PorHorario<T> r;
  r.periodo = positivo(l, real(l, exigir(l, t, "periodo", onde.c_str()), "\"periodo\""));
  const toml::node& v = exigir(l, t, "valores", onde.c_str());
  const toml::array* a = v.as_array();
  if (a == nullptr) {
    erro(l, v.source().begin,
         formatar("\"valores\" de %s deve ser uma lista de pares [inicio, valor], nao %s",
                  aspas(chave).c_str(), escrito(v).c_str()));
  }
  if (a->empty()) {
    erro(l, v.source().begin,
         formatar("\"valores\" de %s deve ter ao menos um par [inicio, valor]",
                  aspas(chave).c_str()));
  }
  for (const toml::node& item : *a) {
    const toml::array* par = item.as_array();
    if (par == nullptr || par->size() != 2) {
      erro(l, item.source().begin,
           formatar("cada item de \"valores\" deve ser um par [inicio, valor] como %s, nao %s",
                    exemplo,
                    par != nullptr ? formatar("uma lista de %zu itens", par->size()).c_str()
                                   : escrito(item).c_str()));
    }
    const Numero inicio = real(l, (*par)[0], "o inicio de cada par");
    if (r.valores.empty() && inicio.v != 0) {
      erro(l, inicio.pos,
           formatar("o inicio do primeiro par deve ser 0, nao %s", numero(inicio.v).c_str()));
    }
    if (!r.valores.empty() && !(inicio.v > r.valores.back().first)) {
      erro(l, inicio.pos,
           formatar("o inicio de cada par deve ser maior que o do anterior (%s), nao %s",
                    numero(r.valores.back().first).c_str(), numero(inicio.v).c_str()));
    }
    if (!(inicio.v < r.periodo)) {
      erro(l, inicio.pos,
           formatar("o inicio de cada par deve ser menor que \"periodo\" (%s), nao %s",
                    numero(r.periodo).c_str(), numero(inicio.v).c_str()));
    }
    r.valores.emplace_back(inicio.v, ler_valor((*par)[1]));
  }
  return r;
}

// Rates from 1e-306 to 1e290 keep their mean interval, 1 / rate, within the exponential's range
// (1e-290 to 1e306).
constexpr double TAXA_MIN = 1e-306, TAXA_MAX = 1e290;

PorHorario<double> ler_taxa(const Leitor& l, const toml::node& n) {
  const toml::table* t = n.as_table();
  if (t == nullptr) {
    erro(l, n.source().begin,
         formatar("\"taxa\" deve ser uma tabela como { periodo = 24.0, valores = [ [0.0, 20.0], "
                  "[8.0, 120.0] ] }, nao %s",
                  escrito(n).c_str()));
  }
  PorHorario<double> r =
      ler_por_horario<double>(l, *t, "taxa", "[8.0, 120.0]", [&](const toml::node& x) {
        const Numero v = real(l, x, "cada taxa");
        nao_negativo(l, v);
        if (v.v > 0 && (v.v < TAXA_MIN || v.v > TAXA_MAX)) {
          erro(l, v.pos,
               formatar("cada taxa deve ser 0 ou estar entre %s e %s, nao %s",
                        numero(TAXA_MIN).c_str(), numero(TAXA_MAX).c_str(), numero(v.v).c_str()));
        }
        return v.v;
      });
  if (std::all_of(r.valores.begin(), r.valores.end(),
                  [](const auto& v) { return v.second == 0; })) {
    erro(l, n.source().begin, "todas as taxas de \"taxa\" sao 0: a fonte nunca geraria um fregues");
  }
  return r;
}

// The customers of one arrival: a distribution of whole numbers, which only these two kinds give.
Distribuicao ler_lote(const Leitor& l, const toml::node& n) {
  const std::string inteiros =
      formatar("de inteiros de 1 a %lld", static_cast<long long>(LOTE_MAX));
  const toml::table* t = n.as_table();
  if (t == nullptr) {
    erro(l, n.source().begin,
         formatar("\"lote\" deve ser uma distribuicao %s como { dist = \"deterministica\", "
                  "valor = 3 }, nao %s",
                  inteiros.c_str(), escrito(n).c_str()));
  }
  const toml::node* d = t->get("dist");
  if (d == nullptr) {
    checar_chaves(l, *t, {"dist", "valor", "valores"}, "em \"lote\"");
    erro(l, t->source().begin, "falta \"dist\" em \"lote\": \"deterministica\" ou \"empirica\"");
  }
  Distribuicao r;
  r.tipo = tipo_dist(l, *d);
  if (r.tipo != Dist::deterministica && r.tipo != Dist::empirica) {
    erro(l, d->source().begin,
         formatar("\"lote\" deve ser \"deterministica\" ou \"empirica\", %s, nao %s",
                  inteiros.c_str(), aspas(nome(r.tipo)).c_str()));
  }
  const bool fixo = r.tipo == Dist::deterministica;
  const std::string onde = formatar("na distribuicao %s de \"lote\"", nome(r.tipo));
  checar_chaves(l, *t, {"dist", fixo ? "valor" : "valores"}, onde.c_str());
  const toml::node& v = exigir(l, *t, fixo ? "valor" : "valores", onde.c_str());
  auto um = [&](const toml::node& x, const char* rotulo) {
    return static_cast<double>(inteiro(l, x, rotulo, 1, LOTE_MAX));
  };
  if (fixo) {
    r.valor = um(v, "\"valor\" de \"lote\"");
    return r;
  }
  for (const toml::node& x : lista_de_valores(l, v)) {
    r.valores.push_back(um(x, "cada valor de \"valores\" de \"lote\""));
  }
  return r;
}

void ler_fonte(Leitor& l, const toml::table& t) {
  const char* onde = "em [[fonte]]";
  checar_chaves(l, t, {"nome", "classe", "intervalo", "taxa", "lote", "destino", "rota"}, onde);
  Fonte f;
  f.nome = ler_nome(l, t, onde, Tipo::fonte, static_cast<int>(l.rede.fontes.size()));
  if (const toml::node* n = t.get("classe")) {
    sem_classes(l, t, "classe");
    f.classe = classe_chamada(l, texto(l, *n, "\"classe\""), n->source().begin);
    const Classe& c = l.rede.classes[f.classe];
    if (c.populacao) {
      erro(l, n->source().begin,
           formatar("a classe %s e fechada: seus %lld fregueses nunca chegam nem saem, e nenhuma "
                    "fonte os gera; tire a fonte ou \"populacao\" da classe",
                    aspas(c.nome).c_str(), static_cast<long long>(*c.populacao)));
    }
  } else if (!l.rede.classes.empty()) {
    erro(l, t.source().begin,
         "falta \"classe\" em [[fonte]]: com [[classe]] declaradas, cada fonte diz a classe dos "
         "fregueses que gera");
  }
  um_ou_outro(l, t, "intervalo", "taxa", onde);
  if (const toml::node* n = t.get("taxa")) {
    f.taxa = ler_taxa(l, *n);
  } else if (t.get("intervalo") == nullptr) {
    erro(l, t.source().begin, "falta \"intervalo\" ou \"taxa\" em [[fonte]]");
  } else {
    f.intervalo = ler_dist(l, t, "intervalo", onde);
    if (media(f.intervalo) == 0) {
      erro(l, t.get("intervalo")->source().begin,
           "\"intervalo\" tem media 0: a fonte geraria fregueses sem fim no instante 0");
    }
  }
  if (const toml::node* n = t.get("lote")) f.lote = ler_lote(l, *n);
  l.fontes.push_back({ler_rota(l, t, onde, true)});
  l.rede.fontes.push_back(std::move(f));
}

constexpr const char* DISCIPLINAS[] = {"fifo", "lifo",       "aleatoria",
                                       "ps",   "prioridade", "prioridade_preemptiva"};

Disciplina ler_disciplina(const Leitor& l, const toml::node& n) {
  const std::string s = texto(l, n, "\"disciplina\"");
  const Chaves nomes(std::begin(DISCIPLINAS), std::end(DISCIPLINAS));
  for (std::size_t i = 0; i < nomes.size(); ++i) {
    if (s == nomes[i]) return static_cast<Disciplina>(i);
  }
  std::string m = "disciplina desconhecida " + aspas(s);
  if (auto p = parecido(s, nomes)) {
    m += formatar("; voce quis dizer %s?", aspas(*p).c_str());
  } else {
    m += "; as conhecidas: " + juntar(nomes, ", ");
  }
  erro(l, n.source().begin, m);
}

// A class's name as a TOML key, for the header of its table in a message.
std::string como_chave(const std::string& nome) {
  const bool nua = std::all_of(nome.begin(), nome.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
  });
  return nua ? nome : aspas(nome);
}

constexpr std::string_view CHAVES_ESTACAO[] = {"nome",    "servidores", "capacidade",  "disciplina",
                                               "servico", "destino",    "rota",        "limiar",
                                               "classes", "paciencia",  "desistencia", "cheia"};

// Patience and balking act on customers waiting: refused where nobody waits, at the key chave.
void com_espera(const Leitor& l, const Estacao& e, const toml::key& chave) {
  const std::string k = aspas(chave.str());
  if (e.infinitos) {
    erro(l, chave.source().begin,
         formatar("%s com servidores = \"infinitos\": ninguem espera numa estacao assim; tire %s "
                  "ou de um numero de servidores",
                  k.c_str(), k.c_str()));
  }
  if (e.disciplina == Disciplina::ps) {
    erro(l, chave.source().begin,
         formatar("%s com disciplina = \"ps\": ninguem espera no processamento compartilhado, "
                  "todos sao servidos ao mesmo tempo; tire %s ou mude a disciplina",
                  k.c_str(), k.c_str()));
  }
}

// What each class does differently at the station e being read: "classes" maps class names to
// tables of servico, destino or rota, proxima_classe and paciencia.
void ler_classes_da_estacao(Leitor& l, const toml::table& t, Estacao& e, EstacaoLida& lida) {
  const auto it = t.find("classes");
  if (it == t.end()) return;
  sem_classes(l, t, "classes");
  const toml::table* tabela = it->second.as_table();
  if (tabela == nullptr) {
    erro(l, it->second.source().begin,
         formatar("\"classes\" deve ser uma tabela como { urgente = { servico = { dist = "
                  "\"exponencial\", media = 1.0 } } }, nao %s",
                  escrito(it->second).c_str()));
  }
  const Chaves conhecidas = {"servico", "destino", "rota", "proxima_classe", "paciencia"};
  e.classes.resize(l.rede.classes.size());
  lida.classes.resize(l.rede.classes.size());
  for (const toml::key* chave : em_ordem(*tabela)) {
    const std::string nome(chave->str());
    const int k = classe_chamada(l, nome, chave->source().begin);
    const Classe& c = l.rede.classes[k];
    const toml::node& n = *tabela->get(nome);
    const toml::table* x = n.as_table();
    if (x == nullptr) {
      erro(l, n.source().begin,
           formatar("o que a classe %s faz em %s deve ser uma tabela como { servico = { dist = "
                    "\"exponencial\", media = 1.0 } }, nao %s",
                    aspas(nome).c_str(), aspas(e.nome).c_str(), escrito(n).c_str()));
    }
    const std::string onde = formatar("em [estacao.classes.%s]", como_chave(nome).c_str());
    for (const toml::key* y : em_ordem(*x)) {
      const std::string_view s = y->str();
      if (std::find(conhecidas.begin(), conhecidas.end(), s) != conhecidas.end() ||
          std::find(std::begin(CHAVES_ESTACAO), std::end(CHAVES_ESTACAO), s) ==
              std::end(CHAVES_ESTACAO)) {
        continue;
      }
      // A key of the station written after its class tables lands in the last of them.
      erro(l, y->source().begin,
           formatar("chave desconhecida %s %s; se e da estacao, escreva-a antes das tabelas de "
                    "suas classes",
                    aspas(s).c_str(), onde.c_str()));
    }
    checar_chaves(l, *x, conhecidas, onde.c_str());
    DaClasse& d = e.classes[k];
    lida.classes[k].chave = chave->source().begin;
    if (x->get("servico") != nullptr) d.servico = ler_dist(l, *x, "servico", onde.c_str());
    if (x->get("destino") != nullptr || x->get("rota") != nullptr) {
      lida.classes[k].rota = ler_rota(l, *x, onde.c_str(), false);
    }
    if (const toml::node* p = x->get("proxima_classe")) {
      const int j = classe_chamada(l, texto(l, *p, "\"proxima_classe\""), p->source().begin);
      const Classe& outra = l.rede.classes[j];
      if (j != k && c.populacao) {
        erro(l, p->source().begin,
             formatar("\"proxima_classe\" tiraria os fregueses da classe fechada %s: uma classe "
                      "fechada guarda seus %lld fregueses para sempre",
                      aspas(c.nome).c_str(), static_cast<long long>(*c.populacao)));
      }
      if (j != k && outra.populacao) {
        erro(l, p->source().begin,
             formatar("\"proxima_classe\" poria fregueses na classe fechada %s, cuja populacao e "
                      "sempre %lld",
                      aspas(outra.nome).c_str(), static_cast<long long>(*outra.populacao)));
      }
      d.proxima_classe = j;
    }
    if (const auto p = x->find("paciencia"); p != x->end()) {
      com_espera(l, e, p->first);
      if (c.populacao) {
        erro(l, p->first.source().begin,
             formatar("\"paciencia\" para a classe fechada %s: um fregues seu que desistisse "
                      "sairia da rede, e uma classe fechada nunca perde os seus",
                      aspas(c.nome).c_str()));
      }
      d.paciencia = ler_dist(l, *x, "paciencia", onde.c_str());
    }
  }
}

void ler_estacao(Leitor& l, const toml::table& t) {
  const char* onde = "em [[estacao]]";
  checar_chaves(l, t, Chaves(std::begin(CHAVES_ESTACAO), std::end(CHAVES_ESTACAO)), onde);
  Estacao e;
  EstacaoLida lida;
  e.nome = ler_nome(l, t, onde, Tipo::estacao, static_cast<int>(l.rede.estacoes.size()));
  lida.nome = l.nomes.find(e.nome)->second.pos;
  if (const toml::node* n = t.get("servidores")) {
    const auto* s = n->as_string();
    if (s != nullptr && s->get() == "infinitos") {
      e.infinitos = true;
    } else if (auto v = inteiro(*n, 1, MAX_INT)) {
      e.servidores = static_cast<int>(*v);
    } else if (const toml::table* x = n->as_table()) {
      e.turnos = ler_por_horario<int>(l, *x, "servidores", "[8.0, 14]", [&](const toml::node& y) {
        return static_cast<int>(inteiro(l, y, "cada numero de servidores", 0, MAX_INT));
      });
      // What depends on the servers alone (the capacity, a station's size) takes the most.
      e.servidores = 0;
      for (const auto& [_, c] : e.turnos->valores) e.servidores = std::max(e.servidores, c);
      if (e.servidores == 0) {
        erro(l, n->source().begin,
             "todos os turnos de \"servidores\" tem 0 servidores: a estacao nunca atenderia "
             "ninguem");
      }
    } else {
      erro(l, n->source().begin,
           formatar("\"servidores\" deve ser um inteiro de 1 a %lld, \"infinitos\" ou turnos "
                    "como { periodo = 24.0, valores = [ [0.0, 3], [8.0, 14] ] }, nao %s",
                    static_cast<long long>(MAX_INT), escrito(*n).c_str()));
    }
  }
  if (const toml::node* n = t.get("capacidade")) {
    lida.capacidade = n->source().begin;
    e.capacidade = inteiro(l, *n, "\"capacidade\"", 1, MAX_INT64);
    if (!e.infinitos && *e.capacidade < e.servidores) {
      erro(l, n->source().begin,
           formatar("\"capacidade\" (%lld) deve ser maior ou igual %s (%d)",
                    static_cast<long long>(*e.capacidade),
                    e.turnos ? "ao maior turno de \"servidores\"" : "a \"servidores\"",
                    e.servidores));
    }
  }
  if (const toml::node* n = t.get("disciplina")) {
    e.disciplina = ler_disciplina(l, *n);
    const char* d = DISCIPLINAS[static_cast<int>(e.disciplina)];
    // With a server for everyone nobody waits, so no order of service changes anything.
    if (e.infinitos && e.disciplina != Disciplina::fifo) {
      erro(l, n->source().begin,
           formatar("disciplina %s com servidores = \"infinitos\": ninguem espera numa estacao "
                    "assim, e a ordem de servico nao muda nada; tire \"disciplina\" ou de um "
                    "numero de servidores",
                    aspas(d).c_str()));
    }
    const bool prioridade =
        e.disciplina == Disciplina::prioridade || e.disciplina == Disciplina::prioridade_preemptiva;
    const auto& cs = l.rede.classes;
    if (prioridade && std::all_of(cs.begin(), cs.end(), [&](const Classe& c) {
          return c.prioridade == cs[0].prioridade;
        })) {
      const Posicao p = n->source().begin;
      l.rede.avisos.push_back(
          formatar("%s:%u:%u: aviso: a disciplina %s de %s serve na ordem de chegada: %s",
                   l.arquivo.c_str(), linha(p), coluna(p), aspas(d).c_str(), aspas(e.nome).c_str(),
                   cs.empty() ? "o modelo tem uma classe so"
                              : "todas as classes tem a mesma \"prioridade\""));
    }
  }
  if (const auto p = t.find("paciencia"); p != t.end()) {
    lida.paciencia = p->first.source().begin;
    com_espera(l, e, p->first);
    e.paciencia = ler_dist(l, t, "paciencia", onde);
  }
  if (const auto d = t.find("desistencia"); d != t.end()) {
    lida.desistencia = d->first.source().begin;
    com_espera(l, e, d->first);
    const toml::array* a = d->second.as_array();
    if (a == nullptr) {
      erro(l, d->second.source().begin,
           formatar("\"desistencia\" deve ser uma lista de probabilidades como [1.0, 0.9, 0.5], "
                    "nao %s",
                    escrito(d->second).c_str()));
    }
    if (a->empty()) {
      erro(l, d->second.source().begin, "\"desistencia\" deve ter ao menos uma probabilidade");
    }
    for (const toml::node& x : *a) {
      const Numero p = real(l, x, "cada probabilidade de \"desistencia\"");
      if (!(p.v >= 0 && p.v <= 1)) {
        erro(l, p.pos,
             formatar("cada probabilidade de \"desistencia\" deve estar entre 0 e 1, nao %s",
                      numero(p.v).c_str()));
      }
      e.desistencia.push_back(p.v);
    }
  }
  if (const toml::node* n = t.get("cheia")) {
    const std::string s = texto(l, *n, "\"cheia\"");
    if (s != "perde" && s != "bloqueia") {
      erro(l, n->source().begin,
           formatar("\"cheia\" deve ser \"perde\" ou \"bloqueia\", nao %s", aspas(s).c_str()));
    }
    e.bloqueia = s == "bloqueia";
    if (e.bloqueia && !e.capacidade) {
      erro(l, n->source().begin,
           "cheia = \"bloqueia\" sem \"capacidade\": uma estacao sem limite nunca enche, e "
           "ninguem esperaria por ela; de uma \"capacidade\" ou tire \"cheia\"");
    }
  }
  if (const toml::node* n = t.get("limiar")) {
    e.limiar = nao_negativo(l, real(l, *n, "\"limiar\""));
  }
  e.servico = ler_dist(l, t, "servico", onde);
  lida.rota = ler_rota(l, t, onde, false);
  ler_classes_da_estacao(l, t, e, lida);
  l.estacoes.push_back(std::move(lida));
  l.rede.estacoes.push_back(std::move(e));
}

std::string nomes_entre_aspas(const Rede& r, const std::vector<int>& estacoes) {
  std::string s;
  for (int i : estacoes) s += (s.empty() ? "" : ", ") + aspas(r.estacoes[i].nome);
  return s;
}

const Rota& rota_de(const Estacao& e, int k) {
  return !e.classes.empty() && e.classes[k].rota ? *e.classes[k].rota : e.rota;
}

double soma(const Rota& r) {
  double s = 0;
  for (const Destino& d : r) s += d.p;
  return s;
}

// The stations that the customers of closed class k can be at, from its first one on.
std::vector<char> alcance_fechada(const Rede& r, int k) {
  std::vector<char> chega(r.estacoes.size(), 0);
  std::vector<int> pilha = {r.classes[k].inicio};
  chega[pilha[0]] = 1;
  while (!pilha.empty()) {
    const int i = pilha.back();
    pilha.pop_back();
    for (const Destino& d : rota_de(r.estacoes[i], k)) {
      if (d.p > 0 && !chega[d.estacao]) {
        chega[d.estacao] = 1;
        pilha.push_back(d.estacao);
      }
    }
  }
  return chega;
}

// Where the customers of class k at station i go, as the file has it.
Posicao pos_rota(const Leitor& l, int i, int k) {
  const EstacaoLida& e = l.estacoes[i];
  const Posicao p = !e.classes.empty() && e.classes[k].rota ? e.classes[k].rota->pos : e.rota.pos;
  return p.line > 0 ? p : e.nome;
}

// A closed class keeps its customers: its routes sum to 1 wherever they can be, and every
// station they can be at holds them all.
void checar_fechadas(const Leitor& l) {
  const Rede& r = l.rede;
  for (std::size_t k = 0; k < r.classes.size(); ++k) {
    const Classe& c = r.classes[k];
    if (!c.populacao) continue;
    const std::vector<char> chega = alcance_fechada(r, static_cast<int>(k));
    for (std::size_t i = 0; i < r.estacoes.size(); ++i) {
      if (!chega[i]) continue;
      const Estacao& e = r.estacoes[i];
      for (const auto& [chave, pos, como] :
           {std::tuple{"paciencia", l.estacoes[i].paciencia, "desistisse"},
            {"desistencia", l.estacoes[i].desistencia, "desistisse de entrar"}}) {
        if (pos.line == 0) continue;
        erro(l, pos,
             formatar("%s em %s, onde chega a classe fechada %s: um fregues seu que %s sairia da "
                      "rede, e uma classe fechada nunca perde os seus",
                      aspas(chave).c_str(), aspas(e.nome).c_str(), aspas(c.nome).c_str(), como));
      }
      const double s = soma(rota_de(e, static_cast<int>(k)));
      if (s >= 1 - TOLERANCIA) continue;
      erro(l, pos_rota(l, static_cast<int>(i), static_cast<int>(k)),
           formatar("a rota da classe fechada %s em %s soma %.12g: seus fregueses sairiam da "
                    "rede, e uma classe fechada nunca perde os seus; faca a rota dessa classe em "
                    "%s somar 1",
                    aspas(c.nome).c_str(), aspas(r.estacoes[i].nome).c_str(), s,
                    aspas(r.estacoes[i].nome).c_str()));
    }
  }
  if (const auto x = populacao_excedente(r)) {
    std::string classes;
    for (int k : x->classes) classes += (classes.empty() ? "" : ", ") + aspas(r.classes[k].nome);
    erro(l, l.estacoes[x->estacao].capacidade,
         formatar("\"capacidade\" (%lld) e menor que os %lld fregueses das classes fechadas que "
                  "podem estar em %s (%s): uma estacao cheia perderia fregueses que nunca saem; "
                  "aumente \"capacidade\" ou diminua \"populacao\"",
                  static_cast<long long>(*r.estacoes[x->estacao].capacidade),
                  static_cast<long long>(x->populacao), aspas(r.estacoes[x->estacao].nome).c_str(),
                  classes.c_str()));
  }
}

// Every station an open customer reaches must have a way out of the network for it; one that
// nothing reaches is worth a warning. The walk is over (station, class) pairs, as a customer's
// class decides its route and may change on the way. Routes with probability 0 are no way.
void checar_grafo(Leitor& l) {
  const Rede& r = l.rede;
  const int n = static_cast<int>(r.estacoes.size());
  const int nk = std::max(1, static_cast<int>(r.classes.size()));
  auto fechada = [&](int k) { return !r.classes.empty() && r.classes[k].populacao.has_value(); };
  auto proxima = [&](int i, int k) {
    const Estacao& e = r.estacoes[i];
    return !e.classes.empty() && e.classes[k].proxima_classe ? *e.classes[k].proxima_classe : k;
  };
  std::vector<char> chega(static_cast<std::size_t>(n) * nk, 0), sai(chega.size(), 0);
  std::vector<std::vector<int>> antes(chega.size());  // the pairs that send customers to each
  std::vector<int> pilha;
  auto marcar = [&](int i, int k) {
    if (!chega[i * nk + k]) {
      chega[i * nk + k] = 1;
      pilha.push_back(i * nk + k);
    }
  };
  for (const Fonte& f : r.fontes) {
    for (const Destino& d : f.rota) {
      if (d.p > 0) marcar(d.estacao, f.classe);
    }
  }
  for (int k = 0; k < static_cast<int>(r.classes.size()); ++k) {
    if (fechada(k)) marcar(r.classes[k].inicio, k);
  }
  while (!pilha.empty()) {
    const int i = pilha.back() / nk, k = pilha.back() % nk;
    pilha.pop_back();
    for (const Destino& d : rota_de(r.estacoes[i], k)) {
      if (d.p > 0) marcar(d.estacao, proxima(i, k));
    }
  }
  for (int s = 0; s < n * nk; ++s) {
    const int i = s / nk, k = s % nk;
    for (const Destino& d : rota_de(r.estacoes[i], k)) {
      if (d.p > 0) antes[d.estacao * nk + proxima(i, k)].push_back(s);
    }
    if (soma(rota_de(r.estacoes[i], k)) < 1 - TOLERANCIA) {
      sai[s] = 1;
      pilha.push_back(s);
    }
  }
  while (!pilha.empty()) {
    const int s = pilha.back();
    pilha.pop_back();
    for (int j : antes[s]) {
      if (!sai[j]) {
        sai[j] = 1;
        pilha.push_back(j);
      }
    }
  }
  // Open customers can fill a station with a capacity, and a closed class's customer that then
  // came would be lost, from a population that never changes.
  for (int i = 0; i < n; ++i) {
    if (!r.estacoes[i].capacidade) continue;
    int aberta = -1, fechada_ali = -1;
    for (int k = 0; k < nk; ++k) {
      if (!chega[i * nk + k]) continue;
      (fechada(k) ? fechada_ali : aberta) = k;
    }
    if (aberta >= 0 && fechada_ali >= 0) {
      erro(l, l.estacoes[i].capacidade,
           formatar("%s tem \"capacidade\" e recebe a classe fechada %s e a aberta %s: "
                    "fregueses abertos podem enche-la, e um da classe fechada, que nunca sai, se "
                    "perderia; tire \"capacidade\" ou separe as classes",
                    aspas(r.estacoes[i].nome).c_str(), aspas(r.classes[fechada_ali].nome).c_str(),
                    aspas(r.classes[aberta].nome).c_str()));
    }
  }
  std::vector<int> presas;
  for (int s = 0; s < n * nk; ++s) {
    if (chega[s] && !sai[s] && !fechada(s % nk)) presas.push_back(s);
  }
  if (!presas.empty()) {
    std::vector<int> estacoes;
    bool uma_classe = true;
    for (int s : presas) {
      estacoes.push_back(s / nk);
      uma_classe = uma_classe && s % nk == presas[0] % nk;
    }
    const Posicao p = pos_rota(l, presas[0] / nk, presas[0] % nk);
    const bool so_uma = presas.size() == 1;
    if (r.classes.empty()) {
      erro(l, p,
           formatar("nenhum fregues sai da rede depois de chegar a %s: %s",
                    nomes_entre_aspas(r, estacoes).c_str(),
                    so_uma ? "sua rota soma 1 e leva de volta a ela mesma"
                           : "a rota de cada uma soma 1 e leva somente a elas"));
    }
    if (uma_classe) {
      erro(l, p,
           formatar("nenhum fregues da classe %s sai da rede depois de chegar a %s: %s",
                    aspas(r.classes[presas[0] % nk].nome).c_str(),
                    nomes_entre_aspas(r, estacoes).c_str(),
                    so_uma ? "a rota da classe ali soma 1 e leva de volta a ela mesma"
                           : "a rota da classe em cada uma soma 1 e leva somente a elas"));
    }
    std::string lugares;
    for (int s : presas) {
      lugares +=
          formatar("%s%s como %s", lugares.empty() ? "" : ", ",
                   aspas(r.estacoes[s / nk].nome).c_str(), aspas(r.classes[s % nk].nome).c_str());
    }
    erro(l, p,
         formatar("nenhum fregues sai da rede depois de chegar a %s: a rota de cada classe em "
                  "cada uma soma 1 e leva somente a elas",
                  lugares.c_str()));
  }
  auto avisar = [&](Posicao p, const std::string& m) {
    l.rede.avisos.push_back(
        formatar("%s:%u:%u: aviso: %s", l.arquivo.c_str(), linha(p), coluna(p), m.c_str()));
  };
  for (int i = 0; i < n; ++i) {
    if (std::none_of(chega.begin() + i * nk, chega.begin() + (i + 1) * nk,
                     [](char c) { return c != 0; })) {
      avisar(l.estacoes[i].nome, "nenhum fregues chega a estacao " + aspas(r.estacoes[i].nome));
    }
  }
  for (int i = 0; i < n; ++i) {
    for (std::size_t k = 0; k < l.estacoes[i].classes.size(); ++k) {
      const Posicao p = l.estacoes[i].classes[k].chave;
      if (p.line == 0 || chega[i * nk + static_cast<int>(k)]) continue;
      avisar(p, formatar("nenhum fregues da classe %s chega a estacao %s: o que ela diz dessa "
                         "classe nao tem efeito",
                         aspas(r.classes[k].nome).c_str(), aspas(r.estacoes[i].nome).c_str()));
    }
  }
  for (int k = 0; k < static_cast<int>(r.classes.size()); ++k) {
    bool alguem = false;
    for (int i = 0; i < n; ++i) alguem = alguem || chega[i * nk + k];
    if (!alguem) {
      avisar(l.classes[k].nome, formatar("nenhum fregues da classe %s chega a uma estacao",
                                         aspas(r.classes[k].nome).c_str()));
    }
  }
}

const char* motivo(int e) {
  switch (e) {
    case ENOENT:
    case ENOTDIR:
      return "arquivo inexistente";
    case EISDIR:
      return "e um diretorio";
    case EACCES:
    case EPERM:
      return "permissao negada";
    default:
      return "erro do sistema";
  }
}

// How deep a file may nest tables, lists and the parts of dotted keys; a model needs six.
constexpr int PROFUNDIDADE_MAX = 64;

// Walks a file's text as TOML does, through strings and comments, counting how deep each header,
// key part, list and inline table sits, and refuses the file at the first thing past
// PROFUNDIDADE_MAX. toml++ builds and frees nested tables by recursion, so 100 KB of
// [a.a.a...] would overflow the stack. On text that is not TOML the count may go astray, which
// only changes which of the two refusals comes first.
void conferir_profundidade(const Leitor& l, std::string_view t) {
  enum class Onde { chave, cabecalho, valor };
  struct Aberto {
    char fecha;  // ']' or '}'
    int dentro;  // the depth of what it holds
  };
  std::vector<Aberto> abertos;
  Onde onde = Onde::chave;
  int base = 0;   // the depth of the last header's table
  int nivel = 1;  // of the key part, header part or value at hand
  std::size_t i = 0;
  Posicao pos{1, 1};
  auto passo = [&] {
    if (t[i] == '\n') {
      ++pos.line;
      pos.column = 1;
    } else if ((static_cast<unsigned char>(t[i]) & 0xc0) != 0x80) {
      ++pos.column;  // a column per character, not per byte of one
    }
    ++i;
  };
  auto vem = [&](std::string_view s) { return t.substr(i, s.size()) == s; };
  auto fundo = [&](int n) {
    nivel = n;
    if (nivel > PROFUNDIDADE_MAX) {
      erro(l, pos,
           formatar("aninhamento profundo demais: mais de %d niveis de tabelas, listas e chaves "
                    "com ponto",
                    PROFUNDIDADE_MAX));
    }
  };
  // A string from its opening quote: a multi-line one ends at three quotes (and takes up to two
  // more), a basic one skips what follows a backslash, a one-line one ends at the line's end.
  auto pular_texto = [&] {
    const char q = t[i];
    const bool multi = vem(std::string(3, q));
    for (int k = multi ? 3 : 1; k > 0; --k) passo();
    while (i < t.size()) {
      if (q == '"' && t[i] == '\\') {
        passo();
        if (i < t.size()) passo();
      } else if (multi && vem(std::string(3, q))) {
        for (int k = 0; k < 3; ++k) passo();
        for (int k = 0; k < 2 && i < t.size() && t[i] == q; ++k) passo();
        return;
      } else if (!multi && (t[i] == q || t[i] == '\n')) {
        if (t[i] == q) passo();
        return;
      } else {
        passo();
      }
    }
  };
  while (i < t.size()) {
    const char c = t[i];
    if (c == '"' || c == '\'') {
      pular_texto();
      continue;
    }
    if (c == '#') {
      while (i < t.size() && t[i] != '\n') passo();
      continue;
    }
    if (c == '\n' && abertos.empty()) {
      onde = Onde::chave;
      nivel = base + 1;
    } else if (onde == Onde::chave && abertos.empty() && c == '[') {
      onde = Onde::cabecalho;
      const bool lista = vem("[[");  // an array of tables: one level more
      if (lista) passo();
      fundo(lista ? 2 : 1);
    } else if (onde != Onde::valor && c == '.') {
      fundo(nivel + 1);
    } else if (onde == Onde::cabecalho && c == ']') {
      base = nivel;
      onde = Onde::valor;  // what may follow on the line is a comment
    } else if (onde == Onde::chave && c == '=') {
      onde = Onde::valor;
    } else if (onde == Onde::valor && (c == '[' || c == '{')) {
      abertos.push_back({c == '[' ? ']' : '}', nivel + 1});
      fundo(nivel + 1);
      if (c == '{') {
        onde = Onde::chave;
        fundo(nivel + 1);
      }
    } else if (!abertos.empty() && c == ',') {
      const Aberto& a = abertos.back();
      onde = a.fecha == ']' ? Onde::valor : Onde::chave;
      nivel = a.fecha == ']' ? a.dentro : a.dentro + 1;
    } else if (!abertos.empty() && c == abertos.back().fecha) {
      abertos.pop_back();
      onde = Onde::valor;
      nivel = abertos.empty() ? base + 1 : abertos.back().dentro;
    }
    passo();
  }
}

}  // namespace

double janelas(double tempo, double janela) { return std::ceil(tempo / janela); }

std::optional<Excesso> populacao_excedente(const Rede& rede) {
  std::vector<std::int64_t> populacao(rede.estacoes.size(), 0);
  std::vector<std::vector<int>> classes(rede.estacoes.size());
  for (std::size_t k = 0; k < rede.classes.size(); ++k) {
    if (!rede.classes[k].populacao || rede.classes[k].inicio < 0) continue;
    const std::vector<char> chega = alcance_fechada(rede, static_cast<int>(k));
    for (std::size_t i = 0; i < chega.size(); ++i) {
      if (!chega[i]) continue;
      populacao[i] += *rede.classes[k].populacao;
      classes[i].push_back(static_cast<int>(k));
    }
  }
  for (std::size_t i = 0; i < rede.estacoes.size(); ++i) {
    const auto& c = rede.estacoes[i].capacidade;
    if (c && populacao[i] > *c) return Excesso{static_cast<int>(i), populacao[i], classes[i]};
  }
  return std::nullopt;
}

Rede ler_rede_texto(std::string_view texto, const std::string& nome_arquivo) {
  Leitor l{nome_arquivo, {}, {}, {}, {}, {}};
  conferir_profundidade(l, texto);
  toml::table raiz;
  try {
    raiz = toml::parse(texto, std::string_view(nome_arquivo));
  } catch (const toml::parse_error& e) {
    erro(l, e.source().begin, "erro de sintaxe TOML: " + escapado(e.description(), false));
  }
  if (raiz.empty()) {
    erro(l, Posicao{1, 1}, "arquivo vazio: um modelo tem [simulacao], [[fonte]] e [[estacao]]");
  }
  checar_chaves(l, raiz, {"simulacao", "classe", "fonte", "estacao"}, "no topo do arquivo");
  ler_simulacao(l, raiz);
  for (const toml::table* t : lista(l, raiz, "classe", false)) ler_classe(l, *t);
  // Closed classes circulate without any source.
  const bool fechadas = std::any_of(l.rede.classes.begin(), l.rede.classes.end(),
                                    [](const Classe& c) { return c.populacao.has_value(); });
  const auto fontes = lista(l, raiz, "fonte", !fechadas);
  const auto estacoes = lista(l, raiz, "estacao", true);
  for (const toml::table* t : fontes) ler_fonte(l, *t);
  if (fontes.empty() && !l.rede.tempo) {
    erro(l, raiz["simulacao"]["fregueses"].node()->source().begin,
         "\"fregueses\" sozinho nao termina um modelo sem fontes: so ha fregueses de classes "
         "fechadas, e nenhum e gerado; de um \"tempo\" em [simulacao]");
  }
  for (const toml::table* t : estacoes) ler_estacao(l, *t);
  for (std::size_t i = 0; i < fontes.size(); ++i) {
    l.rede.fontes[i].rota = resolver(l, l.fontes[i].rota);
  }
  for (std::size_t i = 0; i < estacoes.size(); ++i) {
    Estacao& e = l.rede.estacoes[i];
    e.rota = resolver(l, l.estacoes[i].rota);
    for (std::size_t k = 0; k < e.classes.size(); ++k) {
      if (const auto& rota = l.estacoes[i].classes[k].rota) e.classes[k].rota = resolver(l, *rota);
    }
  }
  for (std::size_t k = 0; k < l.classes.size(); ++k) {
    if (const auto& i = l.classes[k].inicio) {
      l.rede.classes[k].inicio = estacao_chamada(l, i->destino, i->pos, "inicio",
                                                 "os fregueses de uma classe fechada comecam numa "
                                                 "estacao");
    }
  }
  checar_fechadas(l);
  checar_grafo(l);
  return std::move(l.rede);
}

Rede ler_rede(const std::string& caminho) {
  std::FILE* f = std::fopen(caminho.c_str(), "rb");
  if (f == nullptr) {
    falha(1, "%s: nao foi possivel abrir o arquivo (%s)\n", caminho.c_str(), motivo(errno));
  }
  std::string texto;
  char buf[1 << 14];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) texto.append(buf, n);
  const int e = std::ferror(f) ? (errno != 0 ? errno : EIO) : 0;
  std::fclose(f);
  if (e != 0) falha(1, "%s: nao foi possivel ler o arquivo (%s)\n", caminho.c_str(), motivo(e));
  return ler_rede_texto(texto, caminho);
}

}  // namespace tarvo::geral
