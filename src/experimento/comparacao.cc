// The paired comparison. Common random numbers make the replications of the same index of two
// models alike in their luck, so the differences vary less than the figures themselves, and
// the interval of their mean is narrower than one built from two independent samples.
#include "experimento/comparacao.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <string_view>
#include <tuple>

#include "comum/failure.h"

namespace tarvo {

namespace {

// Which way each figure improves, and what the better model does, in words.
struct Direcao {
  std::string_view figura;
  int sentido;
  const char* faz;
};

// Waits, lengths, sojourns and losses are better lower; what leaves the network, higher. The
// figures left out have no better direction.
constexpr Direcao direcoes[] = {
    {"espera_media", -1, "espera menos"},
    {"prob_espera", -1, "faz esperar menos fregueses"},
    {"espera_p50", -1, "espera menos"},
    {"espera_p90", -1, "espera menos"},
    {"espera_p95", -1, "espera menos"},
    {"espera_p99", -1, "espera menos"},
    {"nivel_servico", 1, "atende mais dentro do limiar"},
    {"tamanho_medio", -1, "tem fila média menor"},
    {"fila_media", -1, "tem fila média menor"},
    {"sistema_medio", -1, "tem menos fregueses"},
    {"permanencia_media", -1, "fica menos tempo"},
    {"permanencia_p50", -1, "fica menos tempo"},
    {"permanencia_p90", -1, "fica menos tempo"},
    {"permanencia_p95", -1, "fica menos tempo"},
    {"permanencia_p99", -1, "fica menos tempo"},
    {"perdidos", -1, "perde menos"},
    {"prob_perda", -1, "perde menos"},
    {"abandonos", -1, "tem menos abandonos"},
    {"prob_abandono", -1, "tem menos abandonos"},
    {"desistencias", -1, "tem menos desistências"},
    {"prob_desistencia", -1, "tem menos desistências"},
    {"bloqueio", -1, "bloqueia menos"},
    {"maximo", -1, "tem fila máxima menor"},
    {"fila_maxima", -1, "tem fila máxima menor"},
    {"vazao", 1, "serve mais"},
    {"ciclo", -1, "tem ciclo mais curto"},
    {"saidas", 1, "tem mais saídas da rede"},
    {"atendidos", 1, "atende mais"},
    {"sorvedouro", 1, "tem mais saídas"},
};

const Direcao* direcao(const IdFigura& id) {
  for (const Direcao& d : direcoes) {
    if (id.figura == d.figura) return &d;
  }
  return nullptr;
}

// What pairs a figure of one model with the other's: the object, the figure, the class and the
// window (by its index and its start, so that windows of different lengths do not pair).
using Chave = std::tuple<std::string, std::string, std::string, std::string, int, double>;

Chave chave(const IdFigura& id) {
  return {id.tipo, id.nome, id.figura, id.classe, id.janela.value_or(-1), id.inicio};
}

// Each figure of r by its key; a thousand windows of a few dozen figures make a search per
// figure too slow.
std::map<Chave, std::size_t> indice(const Resultado& r) {
  std::map<Chave, std::size_t> m;
  for (std::size_t g = 0; g < r.ids.size(); ++g) m.emplace(chave(r.ids[g]), g);
  return m;
}

std::size_t achar(const std::map<Chave, std::size_t>& m, const IdFigura& id) {
  const auto it = m.find(chave(id));
  return it == m.end() ? Comparada::nenhuma : it->second;
}

// The words of the writers without accents: text output is plain ASCII.
std::string sem_acentos(std::string_view s) {
  static constexpr std::pair<std::string_view, char> trocas[] = {
      {"á", 'a'}, {"à", 'a'}, {"â", 'a'}, {"ã", 'a'}, {"é", 'e'}, {"ê", 'e'},
      {"í", 'i'}, {"ó", 'o'}, {"ô", 'o'}, {"õ", 'o'}, {"ú", 'u'}, {"ç", 'c'}};
  std::string r;
  for (std::size_t i = 0; i < s.size();) {
    bool trocou = false;
    for (const auto& [de, para] : trocas) {
      if (s.compare(i, de.size(), de) == 0) {
        r += para;
        i += de.size();
        trocou = true;
        break;
      }
    }
    if (!trocou) r += s[i++];
  }
  return r;
}

// An object of the kind in words: (singular with its preposition, plural).
std::pair<std::string, std::string> objetos(const std::string& tipo) {
  if (tipo == "fonte") return {"na fonte", "fontes"};
  if (tipo == "servidor") return {"no servidor", "servidores"};
  if (tipo == "fila") return {"na fila", "filas"};
  return {"na estação", "estações"};
}

}  // namespace

int sentido(const IdFigura& id) {
  const Direcao* d = direcao(id);
  return d ? d->sentido : 0;
}

std::string Comparada::so_em() const {
  if (em_a == nenhuma) return "B";
  return em_b == nenhuma ? "A" : "";
}

std::vector<Comparada> comparar(const Resultado& a, const Resultado& b) {
  constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
  const double confianca = a.pedido.confianca;
  std::vector<Comparada> v;
  const std::map<Chave, std::size_t> em_a = indice(a), em_b = indice(b);
  for (std::size_t f = 0; f < a.ids.size(); ++f) {
    Comparada c;
    c.id = a.ids[f];
    c.em_a = f;
    c.em_b = achar(em_b, c.id);
    const std::vector<double>& x = a.valores[f];
    c.media_a = resumir(x, x.size(), confianca).media;
    c.melhor = "-";
    if (c.em_b == Comparada::nenhuma) {
      c.media_b = NaN;
      c.diferenca = resumir({}, 0, confianca);
      v.push_back(std::move(c));
      continue;
    }
    const std::vector<double>& y = b.valores[c.em_b];
    std::vector<double> d(std::min(x.size(), y.size()));
    for (std::size_t i = 0; i < d.size(); ++i) d[i] = y[i] - x[i];  // NaN where either has none
    c.media_b = resumir(y, y.size(), confianca).media;
    c.diferenca = resumir(d, d.size(), confianca);
    const int s = sentido(c.id);
    const Resumo& r = c.diferenca;
    if (s != 0 && r.n >= 2 && std::isfinite(r.meia_largura) &&
        std::fabs(r.media) > r.meia_largura) {
      c.melhor = (r.media > 0) == (s > 0) ? "B" : "A";
    }
    v.push_back(std::move(c));
  }
  for (std::size_t g = 0; g < b.ids.size(); ++g) {
    if (achar(em_a, b.ids[g]) != Comparada::nenhuma) continue;
    Comparada c;
    c.id = b.ids[g];
    c.em_b = g;
    c.media_a = NaN;
    c.media_b = resumir(b.valores[g], b.valores[g].size(), confianca).media;
    c.diferenca = resumir({}, 0, confianca);
    c.melhor = "-";
    v.push_back(std::move(c));
  }
  return v;
}

std::vector<Veredito> veredito(const std::vector<Comparada>& cs, bool acentos) {
  auto palavras = [acentos](std::string_view s) {
    return acentos ? std::string(s) : sem_acentos(s);
  };
  std::vector<Veredito> linhas;
  std::vector<std::string>
      vistas;  // kinds as tipo/figura: a station's sojourn is not the network's
  for (const Comparada& c : cs) {
    const std::string& figura = c.id.figura;
    const std::string& tipo = c.id.tipo;
    const Direcao* dir = direcao(c.id);
    const std::string tipo_figura = tipo + "/" + figura;
    // A verdict is on the whole run: a window says what happened at one time of day.
    if (dir == nullptr || c.id.janela ||
        std::find(vistas.begin(), vistas.end(), tipo_figura) != vistas.end()) {
      continue;
    }
    vistas.push_back(tipo_figura);
    // The objects of both models with this figure, and the verdicts on them.
    long n = 0, na = 0, nb = 0;
    std::string nome;
    for (const Comparada& o : cs) {
      if (o.id.tipo != tipo || o.id.figura != figura || !o.so_em().empty() || o.id.janela) {
        continue;
      }
      ++n;
      na += o.melhor == "A";
      nb += o.melhor == "B";
      nome = o.id.nome;
    }
    if (na + nb == 0) continue;
    const std::string primeiro = na > 0 ? "A" : "B";
    std::string t = primeiro + " " + palavras(dir->faz);
    if (tipo == "rede") {
      if (t.find("rede") == std::string::npos) t += " na rede";
    } else if (n == 1) {
      t += " " + palavras(objetos(tipo).first) + " " + nome;
    } else {
      t += formatar(" em %ld de %ld ", na > 0 ? na : nb, n) + palavras(objetos(tipo).second);
      if (na > 0 && nb > 0) t += formatar(", B em %ld", nb);
    }
    auto igual = [&t](const Veredito& v) { return v.frase == t; };
    const auto v = std::find_if(linhas.begin(), linhas.end(), igual);
    if (v == linhas.end()) {
      linhas.push_back({{c.id}, t});
    } else {
      v->ids.push_back(c.id);
    }
  }
  return linhas;
}

}  // namespace tarvo
