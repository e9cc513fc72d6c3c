// The staffing search: theory's first guess, then whole runs of the model with the same seed for
// every candidate, judged by the worse end of each goal's interval; and its outputs.
#include "app/dimensionar.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/corrida.h"
#include "app/progresso.h"
#include "app/varredura.h"
#include "comum/failure.h"
#include "experimento/estatistica.h"
#include "experimento/grafico.h"
#include "experimento/pagina.h"
#include "geral/adaptador.h"
#include "geral/distribuicao.h"
#include "teoria/teoria.h"

namespace tarvo {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// Rounds of raising the windows that fail before the search gives up.
constexpr int kRodadas = 50;

[[noreturn]] void recusar(const std::string& mensagem) {
  falha(2, "tarvo-rep: %s\nUse tarvo-rep --help para ver as opcoes.\n", mensagem.c_str());
}

// The station figures a goal can be set on, whether more servers raise them (else lower), and
// whether they are shares, from 0 to 1. None is ever below 0.
struct Sentido {
  const char* figura;
  bool sobe;
  bool fracao = false;
};
constexpr Sentido kSentidos[] = {{"nivel_servico", true, true}, {"utilizacao", false, true},
                                 {"fila_media", false},         {"sistema_medio", false},
                                 {"espera_media", false},       {"prob_espera", false, true},
                                 {"espera_p50", false},         {"espera_p90", false},
                                 {"espera_p95", false},         {"espera_p99", false},
                                 {"permanencia_media", false},  {"fila_maxima", false},
                                 {"perdidos", false},           {"prob_perda", false, true},
                                 {"abandonos", false},          {"prob_abandono", false, true},
                                 {"desistencias", false},       {"prob_desistencia", false, true}};

// Station figures that more servers do not move one way: the arrivals; the throughput, which
// rises only where customers are lost or leave; the servers themselves; the time a full station
// downstream holds the servers, which more of them can only lengthen.
constexpr const char* kSemSentido[] = {"chegadas", "vazao", "servidores_medio", "bloqueio"};

// A goal's figure over the replications, and whether the worse end of its interval meets it.
struct Medida {
  Resumo r;
  double pior = NaN;
  bool atende = false;
};

// One staffing run: the servers (one count, or one per window), the goals' figures (per window,
// or [0] for the whole run) and the verdict.
struct Candidato {
  std::vector<int> servidores;
  std::string etapa;  // partida, subida or reducao, for a staffing by window
  std::vector<std::vector<Medida>> medidas;
  std::vector<char> janela_atende;
  std::vector<double> carga;  // arrivals at the station per unit of time, per window
  bool atende = false;
};

// Thrown when the user stops the search.
struct Parada {};

struct Busca {
  const Dimensionamento& d;
  Base base;
  std::size_t estacao = 0;
  std::vector<Meta> metas;
  bool por_janela = false;
  int janelas = 1;
  double largura = 0;  // of a window
  double tempo = 0;    // the run's length, with windows
  double periodo = 0;  // of the shifts rebuilt from the counts
  int maximo = 1;
  std::string partida;  // how the first guess was made, in words
  std::vector<int> inicial;
  Progresso progresso;
  std::vector<Candidato> candidatos;
};

std::string numero(double x) { return formatar("%.12g", x); }

// The index of goal m's figure at the station (in window w, or of the whole run); npos if absent.
// w is a window's index, or -1 for the whole run (a plain int: g++ 12 at -O2 takes an
// optional<int> built in a loop for uninitialised).
std::size_t indice(const std::vector<IdFigura>& ids, const std::string& estacao, const Meta& m,
                   int w) {
  for (std::size_t i = 0; i < ids.size(); ++i) {
    const IdFigura& x = ids[i];
    if (x.tipo == "estacao" && x.nome == estacao && x.figura == m.figura && x.classe == m.classe &&
        (w < 0 ? !x.janela : x.janela == w)) {
      return i;
    }
  }
  return std::string::npos;
}

// The model with the station's servers set: one count for the whole run, or one per window as
// shifts. The shifts repeat with the model's own period when it covers the run, else with the run.
std::unique_ptr<Modelo> modelo_com(const Busca& b, const std::vector<int>& plano) {
  geral::Rede r = *b.base.rede;
  geral::Estacao& e = r.estacoes[b.estacao];
  if (!b.por_janela) {
    e.turnos.reset();
    e.servidores = plano[0];
  } else {
    geral::PorHorario<int> h;
    h.periodo = b.periodo;
    for (int w = 0; w < b.janelas; ++w) {
      h.valores.push_back({static_cast<double>(w) * b.largura, plano[static_cast<std::size_t>(w)]});
    }
    e.turnos = h;
    e.servidores = *std::max_element(plano.begin(), plano.end());
  }
  return modelo_geral(r, b.base.texto, b.base.ajustes);
}

// What theory says of a staffing in each window (one verdict for the whole run).
enum class Veredito { atende, falha, nada };

std::vector<Veredito> pela_teoria(const Busca& b, const std::vector<int>& plano) {
  std::vector<Veredito> v(static_cast<std::size_t>(b.janelas), Veredito::nada);
  const std::unique_ptr<Modelo> m = modelo_com(b, plano);
  std::vector<std::optional<Teorico>> t;
  try {
    t = m->teoria();
  } catch (const Falha&) {
    return v;  // no traffic equations to solve: the simulation decides alone
  }
  const std::string& nome = b.base.rede->estacoes[b.estacao].nome;
  for (int w = 0; w < b.janelas; ++w) {
    Veredito& x = v[static_cast<std::size_t>(w)];
    for (const Meta& meta : b.metas) {
      const std::size_t i = indice(m->figuras(), nome, meta, b.por_janela ? w : -1);
      if (i >= t.size() || !t[i]) continue;
      if (t[i]->metodo == "instavel") {
        x = Veredito::falha;
        break;
      }
      if (!std::isfinite(t[i]->valor)) continue;
      if (meta.minimo ? t[i]->valor < meta.alvo : t[i]->valor > meta.alvo) {
        x = Veredito::falha;
        break;
      }
      x = Veredito::atende;
    }
  }
  return v;
}

// The least c in [1, hi] for which atende(c) holds, taking it to grow with c, from a first guess:
// up in doubling steps until it holds, or down until it fails, then halving the gap. Also the c
// below it seen to fail (0 when it is 1). None when atende(hi) fails.
struct Limiar {
  int passa = 0;
  int falha = 0;
};
std::optional<Limiar> menor(int c0, int hi, const std::function<bool(int)>& atende) {
  Limiar l;
  c0 = std::clamp(c0, 1, hi);
  if (atende(c0)) {
    l.passa = c0;
    for (int passo = 1; l.passa > 1; passo *= 2) {
      const int c = std::max(1, l.passa - passo);
      if (!atende(c)) {
        l.falha = c;
        break;
      }
      l.passa = c;
    }
  } else {
    l.falha = c0;
    for (int passo = 1;; passo = std::min(passo * 2, hi)) {
      if (l.falha == hi) return std::nullopt;
      const int c = std::min(hi, l.falha + passo);
      if (atende(c)) {
        l.passa = c;
        break;
      }
      l.falha = c;
    }
  }
  while (l.passa - l.falha > 1) {
    const int m = l.falha + (l.passa - l.falha) / 2;
    (atende(m) ? l.passa : l.falha) = m;
  }
  return l;
}

Medida julgar(const Meta& m, const std::vector<double>& valores, std::size_t k, double confianca,
              bool sem_valor_atende) {
  Medida x;
  x.r = resumir(valores, k, confianca);
  if (x.r.n == 0) {
    x.atende = sem_valor_atende;
    return x;
  }
  const double h = std::isfinite(x.r.meia_largura) ? x.r.meia_largura : 0;
  x.pior = m.minimo ? x.r.media - h : x.r.media + h;
  x.atende = m.minimo ? x.pior >= m.alvo : x.pior <= m.alvo;
  return x;
}

// Runs the model with plano and judges every goal, in every window with windows. A window where
// a figure has no value (nobody came, or before the warm-up) has nothing to fail; the whole run
// without one fails.
const Candidato& rodar(Busca& b, const std::vector<int>& plano, const std::string& etapa) {
  const std::unique_ptr<Modelo> m = modelo_com(b, plano);
  Pedido q = b.d.pedido;
  q.assinatura = m->assinatura();
  q.aquecimento = m->aquecimento_padrao();
  q.sorteios_por_replicacao = m->sorteios_por_replicacao(q.plano);
  Execucao e;
  e.jobs = b.d.jobs;
  e.parar = b.d.parar;
  e.progresso = [&b](const Andamento& a) { b.progresso(a); };
  const Resultado r = executar(*m, q, e);
  b.progresso.apagar();
  std::fputs(avisos_da_execucao(r).c_str(), stderr);
  if (r.interrompido) throw Parada{};
  Candidato c;
  c.servidores = plano;
  c.etapa = etapa;
  c.atende = true;
  const auto k = static_cast<std::size_t>(r.fim - r.inicio);
  const std::string& nome = b.base.rede->estacoes[b.estacao].nome;
  for (int w = 0; w < b.janelas; ++w) {
    const int j = b.por_janela ? w : -1;
    std::vector<Medida> v;
    bool ok = true;
    for (const Meta& meta : b.metas) {
      const std::size_t i = indice(r.ids, nome, meta, j);
      v.push_back(julgar(meta, r.valores[i], k, q.confianca, b.por_janela));
      ok = ok && v.back().atende;
    }
    c.medidas.push_back(std::move(v));
    c.janela_atende.push_back(ok);
    c.atende = c.atende && ok;
    if (b.por_janela) {
      const std::size_t i = indice(r.ids, nome, Meta{"", "chegadas", "", true, 0}, j);
      const double inicio = static_cast<double>(w) * b.largura;
      const double dura = std::min(b.largura, b.tempo - inicio);
      c.carga.push_back(resumir(r.valores[i], k, q.confianca).media / dura);
    }
  }
  b.candidatos.push_back(std::move(c));
  return b.candidatos.back();
}

std::string medida_em_texto(const Medida& x) {
  if (x.r.n == 0) return "sem valor";
  return formatar("%.6g +/- %.2g", x.r.media, x.r.meia_largura);
}

[[noreturn]] void impossivel(const Busca& b, const Candidato& c, int janela) {
  const std::size_t w = static_cast<std::size_t>(std::max(0, janela));
  std::size_t g = 0;
  while (g + 1 < b.metas.size() && c.medidas[w][g].atende) ++g;
  const std::string onde = janela < 0
                               ? std::string()
                               : formatar(" na janela %d (inicio %s)", janela,
                                          numero(static_cast<double>(janela) * b.largura).c_str());
  falha(1,
        "tarvo-rep: a meta %s nao e atendida%s nem com %d servidores na estacao %s (o maximo; "
        "veja --max-servidores): o melhor valor alcancado foi %s\n",
        b.metas[g].texto.c_str(), onde.c_str(), b.maximo,
        b.base.rede->estacoes[b.estacao].nome.c_str(), medida_em_texto(c.medidas[w][g]).c_str());
}

// The offered load at the station, arrivals per unit of time times the service's mean; NaN
// where the traffic equations have no solution.
double carga_oferecida(const Busca& b) {
  try {
    const teoria::Solucao s = teoria::resolver(teoria::de_geral(*b.base.rede));
    return s.estacoes[b.estacao].m.chegada * geral::media(b.base.rede->estacoes[b.estacao].servico);
  } catch (const Falha&) {
    return NaN;
  }
}

// The whole run's staffing: the answer and the count below it seen to fail (0 when none).
Limiar estacionario(Busca& b) {
  const double a = carga_oferecida(b);
  const int palpite = std::isfinite(a) ? static_cast<int>(std::min(1e9, std::ceil(a))) + 1 : 1;
  int c0 = std::clamp(palpite, 1, b.maximo);
  if (pela_teoria(b, {c0})[0] == Veredito::nada) {
    b.partida = std::isfinite(a) ? "a carga oferecida (" + formatar("%.4g", a) +
                                       ") arredondada para cima, mais 1"
                                 : "1, sem teoria nem carga oferecida";
  } else {
    std::map<int, bool> visto;
    const auto t = menor(c0, b.maximo, [&](int c) {
      if (!visto.count(c)) visto[c] = pela_teoria(b, {c})[0] == Veredito::atende;
      return visto[c];
    });
    c0 = t ? t->passa : b.maximo;
    b.partida = t ? "a teoria de filas" : "o maximo, onde a teoria nao ve as metas atendidas";
  }
  b.inicial = {c0};
  std::map<int, bool> visto;
  const auto r = menor(c0, b.maximo, [&](int c) {
    if (!visto.count(c)) visto[c] = rodar(b, {c}, "").atende;
    return visto[c];
  });
  if (!r) {
    for (const Candidato& c : b.candidatos) {
      if (c.servidores[0] == b.maximo) impossivel(b, c, -1);
    }
  }
  return *r;
}

// The staffing by window: theory's count for each window, then whole runs raising the windows
// that fail until none does, then each window lowered by one where every window still passes,
// pass after pass until none can be.
std::vector<int> por_janela(Busca& b) {
  const auto n = static_cast<std::size_t>(b.janelas);
  const geral::PorHorario<int>& turnos = *b.base.rede->estacoes[b.estacao].turnos;
  std::map<int, std::vector<Veredito>> vistos;
  auto teoria_em = [&](int c) -> const std::vector<Veredito>& {
    if (!vistos.count(c)) vistos[c] = pela_teoria(b, std::vector<int>(n, c));
    return vistos[c];
  };
  std::vector<int> plano(n);
  for (std::size_t w = 0; w < n; ++w) {
    const int proprio = std::clamp(
        teoria::no_horario(turnos, std::fmod(static_cast<double>(w) * b.largura, turnos.periodo)),
        1, b.maximo);
    if (teoria_em(proprio)[w] == Veredito::nada) {
      plano[w] = proprio;
      continue;
    }
    const auto t =
        menor(proprio, b.maximo, [&](int c) { return teoria_em(c)[w] == Veredito::atende; });
    plano[w] = t ? t->passa : b.maximo;
  }
  b.partida =
      "por janela, a teoria de cada uma como se durasse para sempre (PSA), onde ha valor; "
      "senao, os turnos do modelo";
  b.inicial = plano;
  const Candidato* c = &rodar(b, plano, "partida");
  for (int rodada = 1; !c->atende; ++rodada) {
    if (rodada > kRodadas) {
      falha(1,
            "tarvo-rep: depois de %d rodadas de subida ainda ha janelas fora das metas; a ultima "
            "escala esta na saida de candidatos de uma execucao com --max-servidores menor\n",
            kRodadas);
    }
    for (std::size_t w = 0; w < n; ++w) {
      if (c->janela_atende[w]) continue;
      if (plano[w] >= b.maximo) impossivel(b, *c, static_cast<int>(w));
      ++plano[w];
    }
    c = &rodar(b, plano, "subida");
  }
  // Lowered again while some window can be: a start from the model's own shifts may be well
  // above what a window needs. The last pass has seen every window one server short fail.
  for (bool baixou = true; baixou;) {
    baixou = false;
    for (std::size_t w = 0; w < n; ++w) {
      if (plano[w] <= 1) continue;
      std::vector<int> menos = plano;
      --menos[w];
      if (rodar(b, menos, "reducao").atende) plano = menos, baixou = true;
    }
  }
  return plano;
}

// The goals as the outputs name them.
std::vector<std::string> textos(const Busca& b) {
  std::vector<std::string> v;
  for (const Meta& m : b.metas) v.push_back(m.texto);
  return v;
}

std::string juntar(const std::vector<std::string>& v, const char* sep) {
  std::string s;
  for (const std::string& x : v) s += (s.empty() ? "" : sep) + x;
  return s;
}

std::string contagens(const std::vector<int>& v) {
  std::string s;
  for (int x : v) s += (s.empty() ? "" : " ") + std::to_string(x);
  return s;
}

// Columns padded to their widest cell; the first direita columns aligned right.
std::string tabela(const std::vector<std::vector<std::string>>& linhas, std::size_t direita) {
  std::vector<std::size_t> largura;
  for (const auto& l : linhas) {
    largura.resize(std::max(largura.size(), l.size()));
    for (std::size_t k = 0; k < l.size(); ++k) largura[k] = std::max(largura[k], l[k].size());
  }
  std::string s;
  for (const auto& l : linhas) {
    std::string x;
    for (std::size_t k = 0; k < l.size(); ++k) {
      const std::string espaco(largura[k] - l[k].size(), ' ');
      x +=
          (k ? "  " : "") + (k < direita ? espaco + l[k] : l[k] + (k + 1 < l.size() ? espaco : ""));
    }
    s += x + "\n";
  }
  return s;
}

struct Resposta {
  std::vector<int> escolhido;  // empty when interrupted
  int abaixo = 0;              // whole run: the count below seen to fail
  bool interrompido = false;
};

// The candidates in the order the outputs show them: by servers for the whole run, as run for
// windows.
std::vector<const Candidato*> em_ordem(const Busca& b) {
  std::vector<const Candidato*> v;
  for (const Candidato& c : b.candidatos) v.push_back(&c);
  if (!b.por_janela) {
    std::stable_sort(v.begin(), v.end(), [](const Candidato* x, const Candidato* y) {
      return x->servidores[0] < y->servidores[0];
    });
  }
  return v;
}

const Candidato* achar(const Busca& b, const std::vector<int>& plano) {
  for (const Candidato& c : b.candidatos) {
    if (c.servidores == plano) return &c;
  }
  return nullptr;
}

std::string em_texto(const Busca& b, const Resposta& x) {
  const Dimensionamento& d = b.d;
  const std::string& nome = b.base.rede->estacoes[b.estacao].nome;
  std::string s = "tarvo-rep dimensionar: estacao " + nome + " de " + d.pedido.modelo;
  if (b.por_janela) {
    s += formatar(", por janela de %s (%d janelas)", numero(b.largura).c_str(), b.janelas);
  }
  s += formatar(
      "\nsemente %u; %lld replicacoes por candidato, as mesmas em todos (numeros aleatorios "
      "comuns); confianca %s\n",
      static_cast<unsigned>(d.pedido.plano.semente), static_cast<long long>(d.pedido.replicacoes),
      numero(d.pedido.confianca).c_str());
  s += "metas: " + juntar(textos(b), ", ") +
       " (cada uma julgada pelo pior extremo do intervalo)\npartida: " + b.partida + "\n\n";
  const std::vector<const Candidato*> cs = em_ordem(b);
  if (!b.por_janela) {
    std::vector<std::vector<std::string>> t = {{"SERVIDORES"}};
    for (const std::string& m : textos(b)) t[0].push_back(m);
    t[0].push_back("ATENDE");
    for (const Candidato* c : cs) {
      t.push_back({std::to_string(c->servidores[0])});
      for (const Medida& m : c->medidas[0]) t.back().push_back(medida_em_texto(m));
      t.back().push_back(c->atende ? "sim" : "nao");
    }
    s += tabela(t, 1) + "\n";
    if (x.interrompido) return s + "interrompido: sem resposta\n";
    const int c = x.escolhido[0];
    s += formatar("escolhido: %d servidor%s\n", c, c == 1 ? "" : "es");
    if (x.abaixo == 0) return s + "com 1 servidor, o minimo, as metas ja sao atendidas\n";
    const Candidato* f = achar(b, {x.abaixo});
    std::vector<std::string> falhas;
    for (std::size_t g = 0; g < b.metas.size(); ++g) {
      if (!f->medidas[0][g].atende) {
        falhas.push_back(b.metas[g].texto + " (" + medida_em_texto(f->medidas[0][g]) + ")");
      }
    }
    return s + formatar("com %d nao atende: ", x.abaixo) + juntar(falhas, ", ") + "\n";
  }
  std::vector<std::vector<std::string>> t = {
      {"CANDIDATO", "ETAPA", "SERVIDORES POR JANELA", "JANELAS FORA DAS METAS"}};
  for (std::size_t k = 0; k < cs.size(); ++k) {
    std::vector<std::string> fora;
    for (std::size_t w = 0; w < cs[k]->janela_atende.size(); ++w) {
      if (!cs[k]->janela_atende[w]) fora.push_back(std::to_string(w));
    }
    t.push_back({std::to_string(k + 1), cs[k]->etapa, contagens(cs[k]->servidores),
                 fora.empty() ? "-" : juntar(fora, ", ")});
  }
  s += tabela(t, 1) + "\n";
  if (x.interrompido) return s + "interrompido: sem resposta\n";
  s += "escolhido, por janela:\n";
  const Candidato* c = achar(b, x.escolhido);
  std::vector<std::vector<std::string>> j = {{"JANELA", "INICIO", "SERVIDORES"}};
  for (const std::string& m : textos(b)) j[0].push_back(m);
  for (int w = 0; w < b.janelas; ++w) {
    const auto u = static_cast<std::size_t>(w);
    j.push_back({std::to_string(w), numero(static_cast<double>(w) * b.largura),
                 std::to_string(x.escolhido[u])});
    for (const Medida& m : c->medidas[u]) j.back().push_back(medida_em_texto(m));
  }
  return s + tabela(j, 3);
}

nlohmann::ordered_json medida_em_json(const Meta& meta, const Medida& m) {
  nlohmann::ordered_json j;
  j["meta"] = meta.texto;
  j["media"] = m.r.media;
  j["meia_largura"] = m.r.meia_largura;
  j["pior"] = m.pior;
  j["n"] = m.r.n;
  j["atende"] = m.atende;
  return j;
}

std::string em_json(const Busca& b, const Resposta& x) {
  const Dimensionamento& d = b.d;
  nlohmann::ordered_json j;
  j["modelo"] = d.pedido.modelo;
  j["estacao"] = b.base.rede->estacoes[b.estacao].nome;
  j["semente"] = d.pedido.plano.semente;
  j["replicacoes"] = d.pedido.replicacoes;
  j["confianca"] = d.pedido.confianca;
  j["janela"] = b.por_janela ? nlohmann::ordered_json(b.largura) : nlohmann::ordered_json();
  j["metas"] = nlohmann::ordered_json::array();
  for (const Meta& m : b.metas) {
    j["metas"].push_back({{"meta", m.texto},
                          {"figura", m.figura},
                          {"classe", m.classe},
                          {"sentido", m.minimo ? ">=" : "<="},
                          {"alvo", m.alvo}});
  }
  auto servidores = [&b](const std::vector<int>& v) {
    return b.por_janela ? nlohmann::ordered_json(v) : nlohmann::ordered_json(v[0]);
  };
  j["partida"] = servidores(b.inicial);
  j["escolhido"] = x.interrompido ? nlohmann::ordered_json() : servidores(x.escolhido);
  if (!b.por_janela) {
    j["abaixo"] = x.interrompido || x.abaixo == 0 ? nlohmann::ordered_json()
                                                  : nlohmann::ordered_json(x.abaixo);
  }
  j["interrompido"] = x.interrompido;
  j["candidatos"] = nlohmann::ordered_json::array();
  for (const Candidato* c : em_ordem(b)) {
    nlohmann::ordered_json k;
    k["servidores"] = servidores(c->servidores);
    if (b.por_janela) k["etapa"] = c->etapa;
    k["atende"] = c->atende;
    k["figuras"] = nlohmann::ordered_json::array();
    for (std::size_t w = 0; w < c->medidas.size(); ++w) {
      for (std::size_t g = 0; g < b.metas.size(); ++g) {
        nlohmann::ordered_json f = medida_em_json(b.metas[g], c->medidas[w][g]);
        if (b.por_janela) {
          f["janela"] = w;
          f["inicio"] = static_cast<double>(w) * b.largura;
        }
        k["figuras"].push_back(std::move(f));
      }
    }
    if (b.por_janela) k["chegadas_por_tempo"] = c->carga;
    j["candidatos"].push_back(std::move(k));
  }
  return j.dump(2) + "\n";
}

std::string csv_texto(const std::string& s) {
  if (s.find_first_of(",\"\n") == std::string::npos) return s;
  std::string x = "\"";
  for (char ch : s) x += ch == '"' ? std::string("\"\"") : std::string(1, ch);
  return x + "\"";
}

std::string csv_numero(double v) { return std::isfinite(v) ? formatar("%.17g", v) : ""; }

std::string em_csv(const Busca& b, const Resposta& x) {
  std::string s =
      "candidato,etapa,servidores,meta,janela,inicio,media,meia_largura,pior,n,atende,escolhido\n";
  const std::vector<const Candidato*> cs = em_ordem(b);
  for (std::size_t k = 0; k < cs.size(); ++k) {
    const Candidato& c = *cs[k];
    const bool escolhido = !x.interrompido && c.servidores == x.escolhido;
    for (std::size_t w = 0; w < c.medidas.size(); ++w) {
      for (std::size_t g = 0; g < b.metas.size(); ++g) {
        const Medida& m = c.medidas[w][g];
        s += formatar("%zu,%s,%d,%s,", k + 1, c.etapa.c_str(), c.servidores[w],
                      csv_texto(b.metas[g].texto).c_str());
        s += b.por_janela
                 ? formatar("%zu,%s,", w, csv_numero(static_cast<double>(w) * b.largura).c_str())
                 : std::string(",,");
        s += csv_numero(m.r.media) + "," + csv_numero(m.r.meia_largura) + "," + csv_numero(m.pior) +
             "," + std::to_string(m.r.n) + "," + (m.atende ? "sim" : "nao") + "," +
             (escolhido ? "sim" : "nao") + "\n";
      }
    }
  }
  return s;
}

std::string em_html(const Busca& b, const Resposta& x) {
  using grafico::escapar;
  const Dimensionamento& d = b.d;
  const std::string& nome = b.base.rede->estacoes[b.estacao].nome;
  std::string s = "<p>Arquivo <code>" + escapar(d.pedido.modelo) + "</code>; estação «" +
                  escapar(nome) + "»; semente " + std::to_string(d.pedido.plano.semente) + "; " +
                  std::to_string(d.pedido.replicacoes) +
                  " replicações por candidato, as mesmas em todos (números aleatórios comuns); "
                  "intervalos de " +
                  numero(100 * d.pedido.confianca) +
                  "%. Metas: " + escapar(juntar(textos(b), ", ")) +
                  ", cada uma julgada pelo pior extremo do seu intervalo (o de baixo para ≥, o "
                  "de cima para ≤). Partida: " +
                  escapar(b.partida) + ".</p>\n";
  if (x.interrompido) {
    s += "<p class=\"aviso\">Interrompido: sem resposta.</p>\n";
  } else if (!b.por_janela) {
    s += formatar("<p><strong>Escolhido: %d servidor%s.</strong>", x.escolhido[0],
                  x.escolhido[0] == 1 ? "" : "es");
    s += x.abaixo > 0 ? formatar(" Com %d, alguma meta não é atendida.</p>\n", x.abaixo)
                      : " Com 1 servidor, o mínimo, as metas já são atendidas.</p>\n";
  } else {
    s += "<p><strong>Escolhido, por janela: " + contagens(x.escolhido) + ".</strong></p>\n";
  }
  s +=
      "<h2>Candidatos</h2>\n<div class=\"rolar\"><table>\n<tr><th>" +
      std::string(b.por_janela ? "Etapa</th><th class=\"t\">Servidores por janela" : "Servidores") +
      "</th>";
  for (const Meta& m : b.metas) {
    s += "<th>" + escapar(m.texto) + (b.por_janela ? " (janelas fora)" : "") + "</th>";
  }
  s += "<th>Atende</th></tr>\n";
  for (const Candidato* c : em_ordem(b)) {
    const bool escolhido = !x.interrompido && c->servidores == x.escolhido;
    s += std::string("<tr") + (escolhido ? " class=\"fora\"" : "") + "><td>" +
         (b.por_janela ? escapar(c->etapa) + "</td><td class=\"t\">" : "") +
         contagens(c->servidores) + "</td>";
    for (std::size_t g = 0; g < b.metas.size(); ++g) {
      if (!b.por_janela) {
        s += "<td>" + escapar(medida_em_texto(c->medidas[0][g])) + "</td>";
        continue;
      }
      std::vector<std::string> fora;
      for (std::size_t w = 0; w < c->medidas.size(); ++w) {
        if (!c->medidas[w][g].atende) fora.push_back(std::to_string(w));
      }
      s += "<td>" + (fora.empty() ? std::string("—") : juntar(fora, ", ")) + "</td>";
    }
    s += std::string("<td>") + (c->atende ? "sim" : "não") + "</td></tr>\n";
  }
  s += "</table></div>\n";
  if (b.por_janela && !x.interrompido) {
    const Candidato* c = achar(b, x.escolhido);
    grafico::Serie plano{"servidores", {}, {}, {}, {}, {}, false, "", false};
    grafico::Serie carga{"chegadas por unidade de tempo", {}, {}, {}, {}, {}, false, "", false};
    for (int w = 0; w < b.janelas; ++w) {
      const double a = static_cast<double>(w) * b.largura;
      const double z = std::min(b.tempo, a + b.largura);
      for (const double t : {a, z}) {
        plano.x.push_back(t);
        plano.y.push_back(x.escolhido[static_cast<std::size_t>(w)]);
        carga.x.push_back(t);
        carga.y.push_back(c->carga[static_cast<std::size_t>(w)]);
      }
    }
    for (grafico::Serie* v : {&plano, &carga}) {
      v->baixo.assign(v->x.size(), NaN);
      v->alto.assign(v->x.size(), NaN);
      v->teoria.assign(v->x.size(), NaN);
    }
    grafico::Opcoes o;
    o.legenda = {{"linha", "servidores escolhidos"}};
    s += "<h2>Escala ao longo do tempo</h2>\n<div class=\"graficos\">\n<figure class=\"quadro\">\n"
         "<h3>Servidores escolhidos por janela</h3>\n" +
         grafico::linhas("janelas", "tempo", "servidores", {plano}, o) + "</figure>\n";
    o.legenda = {{"linha", "média das replicações"}};
    s += "<figure class=\"quadro\">\n<h3>Chegadas à estação por unidade de tempo</h3>\n" +
         grafico::linhas("carga", "tempo", "chegadas por unidade de tempo", {carga}, o) +
         "</figure>\n</div>\n<h2>Por janela</h2>\n<div class=\"rolar\"><table>\n<tr><th>Janela</th>"
         "<th>Início</th><th>Servidores</th>";
    for (const Meta& m : b.metas) s += "<th>" + escapar(m.texto) + "</th>";
    s += "</tr>\n";
    for (int w = 0; w < b.janelas; ++w) {
      const auto u = static_cast<std::size_t>(w);
      s += "<tr><td>" + std::to_string(w) + "</td><td>" +
           numero(static_cast<double>(w) * b.largura) + "</td><td>" +
           std::to_string(x.escolhido[u]) + "</td>";
      for (const Medida& m : c->medidas[u]) s += "<td>" + escapar(medida_em_texto(m)) + "</td>";
      s += "</tr>\n";
    }
    s += "</table></div>\n";
  }
  Contexto ctx;
  ctx.programa = "tarvo-rep " TARVO_VERSAO;
  return pagina_avulsa("Dimensionamento da estação " + nome, s, ctx);
}

}  // namespace

Meta ler_meta(const std::string& texto) {
  Meta m;
  m.texto = texto;
  const std::size_t op = texto.find_first_of("<>");
  const auto malformada = [&texto]() {
    recusar("--meta espera FIGURA[/CLASSE]>=X ou FIGURA[/CLASSE]<=X, e nao \"" + texto + "\"");
  };
  if (op == std::string::npos || op == 0 || op + 1 >= texto.size() || texto[op + 1] != '=') {
    malformada();
  }
  m.minimo = texto[op] == '>';
  const std::string lado = texto.substr(0, op), valor = texto.substr(op + 2);
  char* fim = nullptr;
  m.alvo = std::strtod(valor.c_str(), &fim);
  if (valor.empty() || *fim != '\0' || !std::isfinite(m.alvo) ||
      valor.find_first_of("xXnNiI") != std::string::npos) {
    malformada();
  }
  const std::size_t barra = lado.find('/');
  m.figura = lado.substr(0, barra);
  if (barra != std::string::npos) m.classe = lado.substr(barra + 1);
  if (m.figura.empty() || (barra != std::string::npos && m.classe.empty())) malformada();
  for (const char* f : kSemSentido) {
    if (m.figura == f) {
      recusar(
          formatar("--meta \"%s\": %s nao anda num so sentido com o numero de servidores e "
                   "nao serve de meta",
                   texto.c_str(), f));
    }
  }
  for (const Sentido& s : kSentidos) {
    if (m.figura != s.figura) continue;
    if (m.minimo != s.sobe) {
      recusar(formatar("--meta \"%s\": mais servidores %s %s; a meta deve ser %s%sX", texto.c_str(),
                       s.sobe ? "aumentam" : "diminuem", s.figura, lado.c_str(),
                       s.sobe ? ">=" : "<="));
    }
    // Out of the figure's range no run could meet it: said now, not after runs at the most.
    if (m.minimo && s.fracao && m.alvo > 1) {
      recusar(
          formatar("--meta \"%s\": %s e uma fracao, de 0 a 1: nenhum numero de servidores a "
                   "leva a %s",
                   texto.c_str(), s.figura, valor.c_str()));
    }
    if (!m.minimo && m.alvo < 0) {
      recusar(
          formatar("--meta \"%s\": %s nunca fica abaixo de 0: nenhum numero de servidores a "
                   "leva a %s",
                   texto.c_str(), s.figura, valor.c_str()));
    }
    return m;
  }
  std::string perto;
  std::size_t melhor = std::max<std::size_t>(2, m.figura.size() / 4) + 1;
  for (const Sentido& s : kSentidos) {
    const std::size_t d = distancia(m.figura, s.figura);
    if (d < melhor) melhor = d, perto = s.figura;
  }
  recusar(formatar("--meta \"%s\": a figura \"%s\" nao existe numa estacao%s", texto.c_str(),
                   m.figura.c_str(),
                   perto.empty() ? "" : ("; voce quis dizer \"" + perto + "\"?").c_str()));
}

Dimensionado dimensionar(const Dimensionamento& d) {
  if (!termina_em_toml(d.pedido.modelo)) {
    recusar(
        "dimensionar so vale para a linguagem estendida (.toml); converta o modelo antes com "
        "tarvo-rep convert " +
        d.pedido.modelo);
  }
  if (d.estacao.empty()) recusar("dimensionar precisa de --estacao NOME");
  if (d.metas.empty()) recusar("dimensionar precisa de pelo menos uma --meta");
  std::vector<Meta> metas;
  for (const std::string& t : d.metas) metas.push_back(ler_meta(t));
  if (d.pedido.replicacoes < 2) {
    recusar("dimensionar precisa de pelo menos 2 replicacoes, para os intervalos das metas");
  }
  Busca b{d,
          abrir(d.pedido.modelo),
          0,
          {},
          false,
          1,
          0,
          0,
          0,
          d.max_servidores,
          "",
          {},
          Progresso(stderr, isatty(STDERR_FILENO) != 0, 1, std::nullopt),
          {}};
  b.base.ajustes = d.ajustes;
  b.metas = metas;
  const geral::Rede& rede = *b.base.rede;
  const auto achada = std::find_if(rede.estacoes.begin(), rede.estacoes.end(),
                                   [&d](const geral::Estacao& e) { return e.nome == d.estacao; });
  if (achada == rede.estacoes.end()) {
    std::string perto, lista;
    std::size_t melhor = std::max<std::size_t>(2, d.estacao.size() / 4) + 1;
    for (const geral::Estacao& e : rede.estacoes) {
      lista += (lista.empty() ? "" : ", ") + e.nome;
      const std::size_t x = distancia(d.estacao, e.nome);
      if (x < melhor) melhor = x, perto = e.nome;
    }
    recusar("--estacao: o modelo nao tem a estacao \"" + d.estacao + "\"; " +
            (perto.empty() ? "as suas: " + lista : "voce quis dizer \"" + perto + "\"?"));
  }
  b.estacao = static_cast<std::size_t>(achada - rede.estacoes.begin());
  const geral::Estacao& e = *achada;
  if (e.infinitos) {
    recusar("--estacao " + e.nome +
            ": a estacao tem servidores infinitos; nao ha o que dimensionar");
  }
  for (const Meta& m : b.metas) {
    if (m.classe.empty()) continue;
    if (std::none_of(rede.classes.begin(), rede.classes.end(),
                     [&m](const geral::Classe& k) { return k.nome == m.classe; })) {
      recusar(formatar("--meta \"%s\": o modelo nao tem a classe \"%s\"", m.texto.c_str(),
                       m.classe.c_str()));
    }
  }
  const std::unique_ptr<Modelo> proprio = modelo_da_base(b.base);
  for (const Meta& m : b.metas) {
    if (indice(proprio->figuras(), e.nome, m, -1) != std::string::npos) continue;
    recusar(formatar("--meta \"%s\": a estacao %s nao mede %s%s", m.texto.c_str(), e.nome.c_str(),
                     m.figura.c_str(),
                     m.figura == "nivel_servico"
                         ? " (sem limiar: de --limiar T ou a chave limiar da estacao)"
                         : ""));
  }
  // A station holds at least as many places as servers.
  if (e.capacidade) b.maximo = static_cast<int>(std::min<std::int64_t>(b.maximo, *e.capacidade));
  b.por_janela = rede.janela && e.turnos;
  if (b.por_janela) {
    b.largura = *rede.janela;
    b.tempo = *rede.tempo;
    b.periodo = e.turnos->periodo >= b.tempo ? e.turnos->periodo : b.tempo;
    int n = 0;
    for (const IdFigura& id : proprio->figuras()) {
      if (id.janela) n = std::max(n, *id.janela + 1);
    }
    b.janelas = n;
  }
  if (d.semente_do_relogio) {
    std::fprintf(stderr, "tarvo-rep: semente %u (do relogio; repita com --seed %u)\n",
                 static_cast<unsigned>(d.pedido.plano.semente),
                 static_cast<unsigned>(d.pedido.plano.semente));
  }
  Resposta x;
  try {
    if (b.por_janela) {
      x.escolhido = por_janela(b);
    } else {
      const Limiar l = estacionario(b);
      x.escolhido = {l.passa};
      x.abaixo = l.falha;
    }
  } catch (const Parada&) {
    x.interrompido = true;
    x.escolhido.clear();
  }
  Dimensionado r;
  r.interrompido = x.interrompido;
  switch (d.formato) {
    case Formato::texto:
      r.saida = em_texto(b, x);
      break;
    case Formato::json:
      r.saida = em_json(b, x);
      break;
    case Formato::csv:
      r.saida = em_csv(b, x);
      break;
  }
  if (d.html) r.pagina = em_html(b, x);
  return r;
}

}  // namespace tarvo
