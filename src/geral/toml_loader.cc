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

struct Nome {
  bool fonte;
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
  Posicao pos{};  // of the key destino or rota
};

struct Leitor {
  const std::string& arquivo;
  Rede rede;
  std::map<std::string, Nome, std::less<>> nomes;
  std::vector<RotaLida> rotas_fontes, rotas_estacoes;
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
      const toml::node& v = campo("valores");
      const toml::array* a = v.as_array();
      if (a == nullptr) {
        erro(l, v.source().begin,
             formatar("\"valores\" deve ser uma lista de numeros, nao %s", escrito(v).c_str()));
      }
      if (a->empty()) erro(l, v.source().begin, "\"valores\" deve ter ao menos um valor");
      for (const toml::node& x : *a) {
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

std::string ler_nome(Leitor& l, const toml::table& t, const char* onde, bool fonte, int indice) {
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
         formatar("nome %s ja usado por %s na linha %u", aspas(s).c_str(),
                  it->second.fonte ? "uma fonte" : "uma estacao", linha(it->second.pos)));
  }
  l.nomes.emplace(s, Nome{fonte, indice, pos});
  return s;
}

// Where a source's or a station's customers go: destino = "x" sends them all to x, rota = [...]
// each to one destination by its probability.
RotaLida ler_rota(const Leitor& l, const toml::table& t, const char* onde, bool exigida) {
  RotaLida r;
  const auto d = t.find("destino"), ro = t.find("rota");
  if (d != t.end() && ro != t.end()) {
    const Posicao x = d->first.source().begin, y = ro->first.source().begin;
    erro(l, std::pair(x.line, x.column) > std::pair(y.line, y.column) ? x : y,
         formatar("\"destino\" e \"rota\" juntos %s: use um ou outro", onde));
  }
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

Rota resolver(const Leitor& l, const RotaLida& lida) {
  Rota r;
  for (const Passo& s : lida.passos) {
    const auto it = l.nomes.find(s.destino);
    if (it == l.nomes.end()) {
      Chaves estacoes;
      for (const Estacao& e : l.rede.estacoes) estacoes.push_back(e.nome);
      std::string m = "destino desconhecido " + aspas(s.destino);
      if (auto p = parecido(s.destino, estacoes)) {
        m += formatar("; voce quis dizer %s?", aspas(*p).c_str());
      } else {
        m += ": nenhuma estacao tem esse nome";
      }
      erro(l, s.pos, m);
    }
    const Nome& n = it->second;
    if (n.fonte) {
      erro(l, s.pos,
           formatar("destino %s e uma fonte; so estacoes recebem fregueses",
                    aspas(s.destino).c_str()));
    }
    for (const Destino& x : r) {
      if (x.estacao == n.indice) {
        erro(l, s.pos, formatar("destino %s repetido na rota", aspas(s.destino).c_str()));
      }
    }
    r.push_back({n.indice, s.p});
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
    checar_chaves(l, *t, {"tempo", "fregueses", "aquecimento"}, "em [simulacao]");
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
}

std::vector<const toml::table*> lista(const Leitor& l, const toml::table& raiz, const char* chave) {
  const toml::node* n = raiz.get(chave);
  const std::string nenhuma = formatar("nenhuma [[%s]]: o modelo precisa de ao menos uma", chave);
  if (n == nullptr) erro(l, Posicao{1, 1}, nenhuma);
  const toml::array* a = n->as_array();
  if (a == nullptr) {
    erro(l, n->source().begin,
         formatar("\"%s\" deve ser uma lista de tabelas [[%s]], nao %s", chave, chave,
                  escrito(*n).c_str()));
  }
  if (a->empty()) erro(l, n->source().begin, nenhuma);
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

void ler_fonte(Leitor& l, const toml::table& t) {
  const char* onde = "em [[fonte]]";
  checar_chaves(l, t, {"nome", "intervalo", "destino", "rota"}, onde);
  Fonte f;
  f.nome = ler_nome(l, t, onde, true, static_cast<int>(l.rede.fontes.size()));
  f.intervalo = ler_dist(l, t, "intervalo", onde);
  if (media(f.intervalo) == 0) {
    erro(l, t.get("intervalo")->source().begin,
         "\"intervalo\" tem media 0: a fonte geraria fregueses sem fim no instante 0");
  }
  l.rotas_fontes.push_back(ler_rota(l, t, onde, true));
  l.rede.fontes.push_back(std::move(f));
}

void ler_estacao(Leitor& l, const toml::table& t) {
  const char* onde = "em [[estacao]]";
  checar_chaves(l, t, {"nome", "servidores", "capacidade", "servico", "destino", "rota", "limiar"},
                onde);
  Estacao e;
  e.nome = ler_nome(l, t, onde, false, static_cast<int>(l.rede.estacoes.size()));
  if (const toml::node* n = t.get("servidores")) {
    const auto* s = n->as_string();
    if (s != nullptr && s->get() == "infinitos") {
      e.infinitos = true;
    } else if (auto v = inteiro(*n, 1, MAX_INT)) {
      e.servidores = static_cast<int>(*v);
    } else {
      erro(l, n->source().begin,
           formatar("\"servidores\" deve ser um inteiro de 1 a %lld ou \"infinitos\", nao %s",
                    static_cast<long long>(MAX_INT), escrito(*n).c_str()));
    }
  }
  if (const toml::node* n = t.get("capacidade")) {
    e.capacidade = inteiro(l, *n, "\"capacidade\"", 1, MAX_INT64);
    if (!e.infinitos && *e.capacidade < e.servidores) {
      erro(l, n->source().begin,
           formatar("\"capacidade\" (%lld) deve ser maior ou igual a \"servidores\" (%d)",
                    static_cast<long long>(*e.capacidade), e.servidores));
    }
  }
  if (const toml::node* n = t.get("limiar")) {
    e.limiar = nao_negativo(l, real(l, *n, "\"limiar\""));
  }
  e.servico = ler_dist(l, t, "servico", onde);
  l.rotas_estacoes.push_back(ler_rota(l, t, onde, false));
  l.rede.estacoes.push_back(std::move(e));
}

std::string nomes_entre_aspas(const Rede& r, const std::vector<int>& estacoes) {
  std::string s;
  for (int i : estacoes) s += (s.empty() ? "" : ", ") + aspas(r.estacoes[i].nome);
  return s;
}

// Every station a source reaches must have a way out of the network; one that nothing reaches
// is worth a warning. Routes with probability 0 are no way at all.
void checar_grafo(Leitor& l) {
  const Rede& r = l.rede;
  const std::size_t n = r.estacoes.size();
  std::vector<char> chega(n, 0), sai(n, 0);
  std::vector<std::vector<int>> antes(n);  // the stations that send customers to each one
  std::vector<int> pilha;
  auto visitar = [&](const Rota& rota) {
    for (const Destino& d : rota) {
      if (d.p > 0 && !chega[d.estacao]) {
        chega[d.estacao] = 1;
        pilha.push_back(d.estacao);
      }
    }
  };
  for (const Fonte& f : r.fontes) visitar(f.rota);
  while (!pilha.empty()) {
    const int i = pilha.back();
    pilha.pop_back();
    visitar(r.estacoes[i].rota);
  }
  for (std::size_t i = 0; i < n; ++i) {
    double soma = 0;
    for (const Destino& d : r.estacoes[i].rota) {
      soma += d.p;
      if (d.p > 0) antes[d.estacao].push_back(static_cast<int>(i));
    }
    if (soma < 1 - TOLERANCIA) {
      sai[i] = 1;
      pilha.push_back(static_cast<int>(i));
    }
  }
  while (!pilha.empty()) {
    const int i = pilha.back();
    pilha.pop_back();
    for (int j : antes[i]) {
      if (!sai[j]) {
        sai[j] = 1;
        pilha.push_back(j);
      }
    }
  }
  std::vector<int> presas;
  for (std::size_t i = 0; i < n; ++i) {
    if (chega[i] && !sai[i]) presas.push_back(static_cast<int>(i));
  }
  if (presas.size() == 1) {
    erro(l, l.rotas_estacoes[presas[0]].pos,
         formatar("nenhum fregues sai da rede depois de chegar a %s: sua rota soma 1 e leva de "
                  "volta a ela mesma",
                  nomes_entre_aspas(r, presas).c_str()));
  }
  if (!presas.empty()) {
    erro(l, l.rotas_estacoes[presas[0]].pos,
         formatar("nenhum fregues sai da rede depois de chegar a %s: a rota de cada uma soma 1 e "
                  "leva somente a elas",
                  nomes_entre_aspas(r, presas).c_str()));
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (chega[i]) continue;
    const Posicao p = l.nomes.find(r.estacoes[i].nome)->second.pos;
    l.rede.avisos.push_back(formatar("%s:%u:%u: aviso: nenhum fregues chega a estacao %s",
                                     l.arquivo.c_str(), linha(p), coluna(p),
                                     aspas(r.estacoes[i].nome).c_str()));
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

Rede ler_rede_texto(std::string_view texto, const std::string& nome_arquivo) {
  Leitor l{nome_arquivo, {}, {}, {}, {}};
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
  checar_chaves(l, raiz, {"simulacao", "fonte", "estacao"}, "no topo do arquivo");
  ler_simulacao(l, raiz);
  const auto fontes = lista(l, raiz, "fonte");
  const auto estacoes = lista(l, raiz, "estacao");
  for (const toml::table* t : fontes) ler_fonte(l, *t);
  for (const toml::table* t : estacoes) ler_estacao(l, *t);
  for (std::size_t i = 0; i < fontes.size(); ++i) {
    l.rede.fontes[i].rota = resolver(l, l.rotas_fontes[i]);
  }
  for (std::size_t i = 0; i < estacoes.size(); ++i) {
    l.rede.estacoes[i].rota = resolver(l, l.rotas_estacoes[i]);
  }
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
