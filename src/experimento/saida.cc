// Writers and readers of results. Every format is made from the Resultado alone, so that a
// merge of slices writes exactly what one run writes.
#include "experimento/saida.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>

#include "comum/failure.h"
#include "experimento/comparacao.h"
#include "experimento/estatistica.h"

namespace tarvo {

namespace {

using Json = nlohmann::ordered_json;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

std::vector<Resumo> resumos(const Resultado& r) {
  std::vector<Resumo> v;
  for (const auto& valores : r.valores) {
    v.push_back(resumir(valores, valores.size(), r.pedido.confianca));
  }
  return v;
}

// JSON has no NaN or infinity: a value missing from a figure is null.
Json numero(double x) { return std::isfinite(x) ? Json(x) : Json(nullptr); }

std::string hex(std::uint64_t x) { return formatar("%016" PRIx64, x); }

std::int64_t feitas(const Resultado& r) { return r.fim - r.inicio; }

Json objeto(const Resultado& r) {
  const Pedido& p = r.pedido;
  Json j;
  j["modelo"] = p.modelo;
  j["assinatura"] = hex(p.assinatura);
  j["semente"] = p.plano.semente;
  j["plano"] = {
      {"replicacoes", p.replicacoes},
      {"max_replicacoes", p.plano.maximo},
      {"sorteios_por_replicacao", p.sorteios_por_replicacao},
      {"precisao", p.precisao ? Json(*p.precisao) : Json(nullptr)},
      {"alvos", p.alvos},
      {"feitas", feitas(r)},
      {"precisao_atingida", p.precisao && !r.fatia ? Json(r.precisao_atingida) : Json(nullptr)}};
  j["plano"]["limiar"] = p.limiar ? Json(*p.limiar) : Json(nullptr);
  j["confianca"] = p.confianca;
  j["aquecimento"] = p.aquecimento;
  j["interrompido"] = r.interrompido;
  if (r.fatia) j["fatia"] = {{"inicio", r.inicio}, {"fim", r.fim}};
  j["sementes"] = r.sementes;
  j["sorteios"] = r.sorteios;
  Json instaveis = Json::array();
  for (const Instavel& x : r.instaveis) {
    instaveis.push_back({{"tipo", x.tipo}, {"nome", x.nome}, {"carga", x.carga}});
  }
  j["instaveis"] = std::move(instaveis);
  if (p.teoria) j["exponencial_discretizada"] = r.discretizada;
  Json figuras = Json::array();
  const std::vector<Resumo> s = resumos(r);
  for (std::size_t f = 0; f < r.ids.size(); ++f) {
    const IdFigura& id = r.ids[f];
    Json valores = Json::array();
    for (double x : r.valores[f]) valores.push_back(numero(x));
    Json t = nullptr;
    if (const Teorico* v = teorico(r, f)) {
      const std::optional<bool> d = dentro(*v, s[f]);
      const bool instavel = v->metodo == "instavel";
      t = {{"valor", instavel ? Json(nullptr) : numero(v->valor)},
           {"metodo", v->metodo},
           {"dentro", d ? Json(*d) : Json(nullptr)}};
      if (instavel) t["carga"] = v->carga;
    }
    figuras.push_back({{"tipo", id.tipo},
                       {"nome", id.nome},
                       {"numero", id.numero},
                       {"figura", id.figura},
                       {"rotulo", id.rotulo}});
    if (!id.classe.empty()) figuras.back()["classe"] = id.classe;
    if (id.limiar) figuras.back()["limiar"] = *id.limiar;
    if (id.janela) {
      figuras.back()["janela"] = *id.janela;
      figuras.back()["inicio"] = numero(id.inicio);
    }
    figuras.back().update(Json{{"media", numero(s[f].media)},
                               {"meia_largura", numero(s[f].meia_largura)},
                               {"desvio", numero(s[f].desvio)},
                               {"min", numero(s[f].min)},
                               {"max", numero(s[f].max)},
                               {"n", s[f].n},
                               {"faltantes", s[f].faltantes}});
    if (quantil_de(id, r.ids_histogramas)) {
      const std::optional<double> a = agrupado(r, f);
      figuras.back()["agrupado"] = a ? numero(*a) : Json(nullptr);
    }
    figuras.back()["valores"] = std::move(valores);
    if (p.teoria) figuras.back()["teoria"] = std::move(t);
  }
  j["figuras"] = std::move(figuras);
  if (r.fatia) {
    // Each histogram of each replication, for the merge to add those it keeps.
    Json hs = Json::array();
    for (std::size_t h = 0; h < r.ids_histogramas.size(); ++h) {
      const IdHistograma& id = r.ids_histogramas[h];
      Json reps = Json::array();
      for (const auto& por_rep : r.histogramas) {
        const Histograma& x = por_rep[h];
        reps.push_back(
            {{"zeros", x.zeros()}, {"inicio", x.inicio()}, {"contagens", x.contagens()}});
      }
      hs.push_back({{"tipo", id.tipo},
                    {"nome", id.nome},
                    {"grandeza", id.grandeza},
                    {"classe", id.classe},
                    {"replicacoes", std::move(reps)}});
    }
    j["histogramas"] = std::move(hs);
  }
  return j;
}

std::string json(const Resultado& r) { return objeto(r).dump(2) + "\n"; }

// A CSV field, quoted when it must be.
std::string campo(const std::string& s) {
  if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

// Shortest text that reads back to the same double; empty for a missing value.
std::string real(double x) {
  if (!std::isfinite(x)) return "";
  return Json(x).dump();
}

std::string cabecalho_csv(const Resultado& r) {
  return std::string(
             "tipo,nome,classe,numero,figura,rotulo,media,meia_largura,desvio,min,max,n,"
             "faltantes,agrupado,interrompido,replicacao,valor") +
         (r.pedido.teoria ? ",teoria,metodo" : "") + ",janela,inicio\n";
}

// The last columns of a figure's rows, its window and the window's start: empty for the whole
// run, so that rows read by position read as they did before windows.
std::string janela_csv(const IdFigura& id) {
  return id.janela ? "," + std::to_string(*id.janela) + "," + real(id.inicio) + "\n" : ",,\n";
}

std::string csv(const Resultado& r) {
  std::string s = cabecalho_csv(r);
  const std::vector<Resumo> rs = resumos(r);
  for (std::size_t f = 0; f < r.ids.size(); ++f) {
    const IdFigura& id = r.ids[f];
    const Resumo& m = rs[f];
    const std::string comum =
        campo(id.tipo) + "," + campo(id.nome) + "," + campo(id.classe) + "," +
        std::to_string(id.numero) + "," + campo(id.figura) + "," + campo(id.rotulo) + "," +
        real(m.media) + "," + real(m.meia_largura) + "," + real(m.desvio) + "," + real(m.min) +
        "," + real(m.max) + "," + std::to_string(m.n) + "," + std::to_string(m.faltantes) + "," +
        real(agrupado(r, f).value_or(NaN)) + "," + (r.interrompido ? "1," : "0,");
    std::string fim;
    if (r.pedido.teoria) {
      const Teorico* t = teorico(r, f);
      fim = t == nullptr              ? ",,"
            : t->metodo == "instavel" ? ",," + t->metodo
                                      : "," + real(t->valor) + "," + t->metodo;
    }
    fim += janela_csv(id);
    for (std::size_t i = 0; i < r.valores[f].size(); ++i) {
      s += comum + std::to_string(r.inicio + static_cast<std::int64_t>(i)) + "," +
           real(r.valores[f][i]) + fim;
    }
  }
  return s;
}

// A number for the table: whole numbers whole, others to about seven significant digits without
// an exponent from 1 up; a dash where there is none.
std::string celula(double x) {
  if (std::isnan(x)) return "-";
  const double a = std::fabs(x);
  if (a < 1e15 && x == std::floor(x)) return formatar("%.0f", x);
  if (a >= 1 && a < 1e15) {
    return formatar("%.*f", std::max(0, 6 - static_cast<int>(std::floor(std::log10(a)))), x);
  }
  return formatar("%.7g", x);
}

// The theory's columns of a row: its value, the relative difference, and the marks.
void colunas_teoria(const Teorico* t, const Resumo& m, std::vector<std::string>& l) {
  if (t == nullptr) {
    l.insert(l.end(), {"-", "-", ""});
    return;
  }
  if (t->metodo == "instavel") {
    l.insert(l.end(), {"-", "-", formatar("instavel (carga %.4g)", t->carga)});
    return;
  }
  const std::string dif = diferenca_relativa(*t, m).value_or("-");
  std::string nota = dentro(*t, m) == false ? "*" : "";
  if (t->metodo == "aproximada") nota += nota.empty() ? "(aprox.)" : " (aprox.)";
  l.insert(l.end(), {celula(t->valor), dif, nota});
}

// A table: words to the left where esquerda says so, numbers to the right, every line indented.
std::string tabela(const std::vector<std::string>& cab,
                   const std::vector<std::vector<std::string>>& linhas,
                   const std::vector<bool>& esquerda) {
  std::vector<std::size_t> larg(cab.size());
  for (std::size_t c = 0; c < cab.size(); ++c) larg[c] = cab[c].size();
  for (const auto& l : linhas) {
    for (std::size_t c = 0; c < l.size(); ++c) larg[c] = std::max(larg[c], l[c].size());
  }
  auto linha = [&](const std::vector<std::string>& l) {
    std::string t;
    for (std::size_t c = 0; c < l.size(); ++c) {
      const int w = static_cast<int>(larg[c]);
      t += formatar(esquerda[c] ? " %-*s" : " %*s", w, l[c].c_str());
    }
    while (!t.empty() && t.back() == ' ') t.pop_back();
    return t + "\n";
  };
  std::string s = linha(cab);
  for (const auto& l : linhas) s += linha(l);
  return s;
}

// The figures a precision that was not reached applies to and missed, with the relative
// half-width each got: "fila.espera_media (3.21%), ...".
std::string longe_da_precisao(const Resultado& r) {
  std::vector<bool> alvo;
  try {
    alvo = figuras_alvo(r.ids, r.pedido.alvos);
  } catch (const Falha&) {
    return "";
  }
  std::string s;
  int n = 0;
  for (std::size_t f = 0; f < r.ids.size(); ++f) {
    if (!alvo[f]) continue;
    const Resumo m = resumir(r.valores[f], r.valores[f].size(), r.pedido.confianca);
    if (r.pedido.alvos.empty() && (!std::isfinite(m.media) || m.media == 0)) continue;
    const double w = largura_relativa(m);
    if (w <= *r.pedido.precisao) continue;
    if (++n > 5) continue;
    s += (s.empty() ? "" : ", ") + r.ids[f].nome + "." + r.ids[f].figura +
         (std::isfinite(w) ? formatar(" (%.3g%%)", 100 * w) : std::string(" (sem intervalo)"));
  }
  if (n > 5) s += formatar(" e mais %d", n - 5);
  return s;
}

// An object's name as a table shows it, with the class a figure is of: "triagem/urgente".
std::string nome_e_classe(const IdFigura& id) {
  return visivel(id.nome) + (id.classe.empty() ? "" : "/" + visivel(id.classe));
}

// The columns of the table of one figure's windows, after JANELA and INICIO: their headings,
// which hold words, and a row per window.
struct Colunas {
  std::vector<std::string> cab;
  std::vector<bool> esquerda;
  std::vector<std::vector<std::string>> linhas;
};

// The figures measured per window of time: under each object, a table per figure with a row per
// window. One table per figure keeps a day of a thousand windows readable, where a row per
// figure and window would bury the whole run's figures.
std::string tabelas_de_janelas(const std::vector<IdFigura>& ids,
                               const std::function<Colunas(const Janelas&)>& colunas) {
  const std::vector<std::vector<Janelas>> objetos = janelas_por_objeto(ids);
  if (objetos.empty()) return "";
  std::string s =
      "\n POR JANELA DE TEMPO: cada figura em cada janela (INICIO: o tempo em que ela comeca)\n";
  for (const std::vector<Janelas>& o : objetos) {
    const IdFigura& a = ids[o[0][0]];
    s += formatar("\n %s %d %s\n", a.tipo.c_str(), a.numero, visivel(a.nome).c_str());
    for (const Janelas& js : o) {
      const IdFigura& id = ids[js[0]];
      s += "\n   " + id.rotulo + " (" + id.figura + ")" +
           (id.classe.empty() ? "" : ", classe " + visivel(id.classe)) + "\n";
      Colunas c = colunas(js);
      c.cab.insert(c.cab.begin(), {"JANELA", "INICIO"});
      c.esquerda.insert(c.esquerda.begin(), {false, false});
      for (std::size_t k = 0; k < js.size(); ++k) {
        const IdFigura& x = ids[js[k]];
        c.linhas[k].insert(c.linhas[k].begin(),
                           {std::to_string(*x.janela), formatar("%.12g", x.inicio)});
      }
      const std::string t = tabela(c.cab, c.linhas, c.esquerda);
      for (std::size_t i = 0; i < t.size();) {
        const std::size_t j = t.find('\n', i) + 1;
        s += "  " + t.substr(i, j - i);
        i = j;
      }
    }
  }
  return s;
}

// The quantiles of every replication's values taken as one sample, where the model has them.
std::string quantis_agrupados(const Resultado& r) {
  std::vector<std::vector<std::string>> linhas;
  for (std::size_t f = 0; f < r.ids.size(); ++f) {
    if (!quantil_de(r.ids[f], r.ids_histogramas)) continue;
    const IdFigura& id = r.ids[f];
    linhas.push_back({id.tipo, std::to_string(id.numero), nome_e_classe(id), id.rotulo,
                      celula(agrupado(r, f).value_or(NaN))});
  }
  if (linhas.empty()) return "";
  return "\n QUANTIS AGRUPADOS: de todos os valores das replicacoes tomados como uma so amostra "
         "(erro\n relativo de no maximo 1%); a tabela acima da a media dos quantis de cada "
         "replicacao\n\n" +
         tabela({"TIPO", "NUM", "NOME", "FIGURA", "AGRUPADO"}, linhas,
                {true, false, true, true, false});
}

std::string texto(const Resultado& r) {
  const Pedido& p = r.pedido;
  std::string s = " TARVO-REP: replicacoes independentes\n\n";
  s += formatar(" modelo      : %s\n", visivel(p.modelo).c_str());
  s += formatar(" semente     : %" PRIu32 "\n", p.plano.semente);
  s += formatar(" replicacoes : %lld", static_cast<long long>(feitas(r)));
  if (r.fatia) {
    s += formatar(" (fatia %lld:%lld)", static_cast<long long>(r.inicio),
                  static_cast<long long>(r.fim));
  }
  if (r.interrompido) s += " (INTERROMPIDA: so as terminadas antes do pedido de parar)";
  s += "\n";
  if (p.limiar)
    s += formatar(" limiar      : %g (nivel_servico: espera de no maximo %g)\n", *p.limiar,
                  *p.limiar);
  if (p.precisao) {
    s += formatar(" precisao    : meia-largura relativa ate %g%s, ", *p.precisao,
                  p.alvos.empty() ? "" : " nas figuras escolhidas");
    if (r.fatia) {
      s += "decidida ao juntar as fatias\n";
    } else if (r.precisao_atingida) {
      s += formatar("atingida com %lld replicacoes\n", static_cast<long long>(feitas(r)));
    } else {
      s += r.interrompido ? formatar("NAO atingida: interrompida com %lld replicacoes",
                                     static_cast<long long>(feitas(r)))
                          : formatar("NAO atingida com o maximo de %lld replicacoes",
                                     static_cast<long long>(p.plano.maximo));
      const std::string faltam = longe_da_precisao(r);
      s += faltam.empty() ? "\n" : "; faltou em " + faltam + "\n";
    }
  }
  s += formatar(" confianca   : %g (intervalos t de Student)\n", p.confianca);
  s += formatar(" aquecimento : %g\n\n", p.aquecimento);

  std::vector<std::string> cab = {"TIPO",   "NUM",    "NOME",   "FIGURA", "MEDIA", "+/-",
                                  "DESVIO", "MINIMO", "MAXIMO", "N",      "FALT."};
  if (p.teoria) cab.insert(cab.end(), {"TEORIA", "DIF.REL.", "NOTA"});
  std::vector<std::vector<std::string>> linhas;
  const std::vector<Resumo> rs = resumos(r);
  for (std::size_t f = 0; f < r.ids.size(); ++f) {
    const IdFigura& id = r.ids[f];
    if (id.janela) continue;
    const Resumo& m = rs[f];
    linhas.push_back({id.tipo, std::to_string(id.numero), nome_e_classe(id), id.rotulo,
                      celula(m.media), celula(m.meia_largura), celula(m.desvio), celula(m.min),
                      celula(m.max), std::to_string(m.n), std::to_string(m.faltantes)});
    if (p.teoria) colunas_teoria(teorico(r, f), m, linhas.back());
  }
  std::vector<bool> esquerda(cab.size(), false);
  for (std::size_t c : {0, 2, 3, 13}) {
    if (c < esquerda.size()) esquerda[c] = true;
  }
  s += tabela(cab, linhas, esquerda);
  s += quantis_agrupados(r);
  s += tabelas_de_janelas(r.ids, [&](const Janelas& js) {
    // The theory's columns where some window has a value of it.
    const bool teoria = p.teoria && std::any_of(js.begin(), js.end(), [&](std::size_t f) {
                          return teorico(r, f) != nullptr;
                        });
    Colunas c{{"MEDIA", "+/-", "N", "FALT."}, {false, false, false, false}, {}};
    if (teoria) {
      c.cab.insert(c.cab.end(), {"TEORIA", "DIF.REL.", "NOTA"});
      c.esquerda.insert(c.esquerda.end(), {false, false, true});
    }
    for (std::size_t f : js) {
      const Resumo& m = rs[f];
      c.linhas.push_back({celula(m.media), celula(m.meia_largura), std::to_string(m.n),
                          std::to_string(m.faltantes)});
      if (teoria) colunas_teoria(teorico(r, f), m, c.linhas.back());
    }
    return c;
  });
  if (p.teoria) {
    s +=
        "\n TEORIA: valor da teoria de filas (man tarvo-rep, --theory); DIF.REL.: (MEDIA - TEORIA) "
        "/ TEORIA;\n *: a teoria fica fora do intervalo; instavel: carga de 1 ou mais; (aprox.): "
        "uma "
        "aproximacao (de dois\n momentos; MVA de Schweitzer numa rede fechada com varias classes; "
        "numa janela, a estacionaria\n ponto a ponto: cada janela com sua taxa e seus servidores, "
        "como se durasse para sempre)\n";
    if (r.discretizada) {
      s += " Os tempos exponenciais do tarvo sao sorteados numa grade de 32768 pontos: a teoria "
           "usa os\n momentos desses tempos e difere um pouco da do livro (M/M/1 com carga 0.8: "
           "espera 3.1969, e nao 3.2).\n";
    }
  }
  const std::string a = avisos(r);
  if (!a.empty()) s += "\n" + a;
  return s;
}

// A slice nests four deep. Deeper text is refused as it is read, before a tree of it is built.
Json analisar(const std::string& texto, const char* nome) {
  constexpr int PROFUNDIDADE_MAX = 64;
  bool fundo = false;
  Json j = Json::parse(
      texto,
      [&fundo](int profundidade, Json::parse_event_t, Json&) {
        fundo = fundo || profundidade > PROFUNDIDADE_MAX;
        return !fundo;
      },
      false);
  if (fundo) {
    falha(1,
          "tarvo-rep merge: %s aninha listas e objetos em mais de %d niveis: nao e uma fatia de "
          "tarvo-rep\n",
          nome, PROFUNDIDADE_MAX);
  }
  if (j.is_discarded()) falha(1, "tarvo-rep merge: %s nao e um arquivo JSON valido\n", nome);
  return j;
}

}  // namespace

const Teorico* teorico(const Resultado& r, std::size_t f) {
  return f < r.teoria.size() && r.teoria[f] ? &*r.teoria[f] : nullptr;
}

std::optional<bool> dentro(const Teorico& t, const Resumo& m) {
  if (t.metodo == "instavel" || !std::isfinite(m.media) || !std::isfinite(m.meia_largura)) {
    return std::nullopt;
  }
  return std::fabs(t.valor - m.media) <= m.meia_largura;
}

std::optional<std::string> diferenca_relativa(const Teorico& t, const Resumo& m) {
  if (t.metodo == "instavel" || !std::isfinite(m.media) || t.valor == 0) return std::nullopt;
  return formatar("%+.2f%%", 100 * (m.media - t.valor) / t.valor);
}

std::string escrever(const Resultado& r, Formato formato) {
  switch (formato) {
    case Formato::json:
      return json(r);
    case Formato::csv:
      return csv(r);
    case Formato::texto:
      break;
  }
  return texto(r);
}

std::string avisos_de_instabilidade(const std::vector<Instavel>& instaveis,
                                    const std::string& onde) {
  std::string s;
  for (const Instavel& x : instaveis) {
    s += formatar(
        "Aviso: %s%s %s esta instavel: carga de %.4g por servidor, 1 ou mais; sua fila cresce "
        "sem limite e suas figuras dependem da duracao da corrida, sem valor de longo prazo\n",
        onde.c_str(), x.tipo == "fila" ? "a fila" : "a estacao", visivel(x.nome).c_str(), x.carga);
  }
  return s;
}

std::string avisos_de_instabilidade(const Resultado& r) {
  return avisos_de_instabilidade(r.instaveis, "");
}

std::string visivel(const std::string& s) {
  std::string r;
  for (const char c : s) {
    const auto u = static_cast<unsigned char>(c);
    r += (u < 0x20 && c != '\n' && c != '\t') || u == 0x7f ? formatar("\\x%02x", u)
                                                           : std::string(1, c);
  }
  return r;
}

std::string avisos(const Resultado& r) {
  return avisos_de_instabilidade(r) + avisos_da_execucao(r);
}

std::string avisos_da_execucao(const Resultado& r) {
  std::string s;
  for (std::size_t f = 0; f < r.ids.size(); ++f) {
    if (r.ids[f].tipo != "rede" || r.ids[f].figura != "duracoes_perdidas" || r.ids[f].janela) {
      continue;
    }
    const auto n =
        std::count_if(r.valores[f].begin(), r.valores[f].end(), [](double x) { return x > 0; });
    if (n == 0) continue;
    s += formatar(
        "Aviso: em %lld de %lld replicacoes, duracoes se perderam por falta de precisao do "
        "relogio de 32 bits (figura duracoes_perdidas); use replicacoes mais curtas (N ou D "
        "menores) ou a linguagem estendida (tarvo-rep convert)\n",
        static_cast<long long>(n), static_cast<long long>(feitas(r)));
  }
  const std::uint64_t L = r.pedido.sorteios_por_replicacao;
  std::int64_t n = 0, primeira = -1;
  for (std::size_t i = 0; i < r.sorteios.size(); ++i) {
    if (L == 0 || r.sorteios[i] <= L) continue;
    if (n++ == 0) primeira = r.inicio + static_cast<std::int64_t>(i);
  }
  if (n > 0) {
    s += formatar(
        "Aviso: %lld replicacoes (a primeira: %lld) sortearam mais que os %llu numeros do seu "
        "trecho do gerador, e seu trecho invadiu o da replicacao seguinte; use replicacoes mais "
        "curtas ou um maximo de replicacoes menor\n",
        static_cast<long long>(n), static_cast<long long>(primeira),
        static_cast<unsigned long long>(L));
  }
  return s;
}

Resultado ler_json(const std::string& texto, const std::string& arquivo,
                   const std::function<std::uint64_t(const Pedido&, std::int64_t)>& semente) {
  const char* nome = arquivo.c_str();
  Json j = analisar(texto, nome);
  Resultado r;
  std::string campo_atual;
  try {
    auto pega = [&](const Json& o, const char* k) -> const Json& {
      campo_atual = k;
      return o.at(k);
    };
    // Written as an integer (2.5 is no count) and within [lo, hi].
    auto inteiro = [](const Json& x, std::int64_t lo, std::int64_t hi) {
      const bool ok = x.is_number_unsigned()  ? x.get<std::uint64_t>() <= std::uint64_t(hi)
                      : x.is_number_integer() ? x.get<std::int64_t>() <= hi
                                              : false;
      if (!ok || x.get<std::int64_t>() < lo) throw std::invalid_argument("inteiro");
      return x.get<std::int64_t>();
    };
    auto natural = [](const Json& x) {
      if (!x.is_number_unsigned()) throw std::invalid_argument("natural");
      return x.get<std::uint64_t>();
    };
    auto naturais = [&](const Json& x) {
      std::vector<std::uint64_t> v;
      for (const Json& y : x.get_ref<const Json::array_t&>()) v.push_back(natural(y));
      return v;
    };
    auto real = [](const Json& x, bool (*aceita)(double)) {
      const double v = x.get<double>();
      if (!x.is_number() || !std::isfinite(v) || !aceita(v)) throw std::invalid_argument("real");
      return v;
    };
    // As tarvo-rep's options take them.
    constexpr std::int64_t MAX_REPLICACOES = std::int64_t{1} << 31;
    Pedido& p = r.pedido;
    p.modelo = pega(j, "modelo").get<std::string>();
    const std::string ass = pega(j, "assinatura").get<std::string>();
    char* fim = nullptr;
    p.assinatura = std::strtoull(ass.c_str(), &fim, 16);
    if (ass.size() != 16 || *fim != '\0') throw std::invalid_argument("assinatura");
    p.plano.semente = static_cast<std::uint32_t>(inteiro(pega(j, "semente"), 0, UINT32_MAX));
    const Json& plano = pega(j, "plano");
    p.replicacoes = inteiro(pega(plano, "replicacoes"), 1, MAX_REPLICACOES);
    p.plano.maximo = inteiro(pega(plano, "max_replicacoes"), p.replicacoes, MAX_REPLICACOES);
    p.sorteios_por_replicacao = natural(pega(plano, "sorteios_por_replicacao"));
    if (!pega(plano, "precisao").is_null()) {
      p.precisao = real(plano.at("precisao"), [](double x) { return x > 0; });
    }
    p.alvos = pega(plano, "alvos").get<std::vector<std::string>>();
    if (plano.contains("limiar") && !pega(plano, "limiar").is_null()) {
      p.limiar = real(plano.at("limiar"), [](double x) { return x >= 0; });
    }
    p.confianca = real(pega(j, "confianca"), confianca_valida);
    p.aquecimento = real(pega(j, "aquecimento"), [](double x) { return x >= 0; });
    if (j.contains("interrompido")) r.interrompido = pega(j, "interrompido").get<bool>();
    if (j.contains("instaveis")) {
      for (const Json& x : pega(j, "instaveis")) {
        r.instaveis.push_back({pega(x, "tipo").get<std::string>(),
                               pega(x, "nome").get<std::string>(), pega(x, "carga").get<double>()});
      }
    }
    if (j.contains("exponencial_discretizada")) {
      r.discretizada = pega(j, "exponencial_discretizada").get<bool>();
    }
    const Json& fatia = pega(j, "fatia");
    r.fatia = true;
    r.inicio = inteiro(pega(fatia, "inicio"), 0, MAX_REPLICACOES);
    r.fim = inteiro(pega(fatia, "fim"), 0, MAX_REPLICACOES);
    r.sementes = naturais(pega(j, "sementes"));
    r.sorteios = naturais(pega(j, "sorteios"));
    const auto n = static_cast<std::size_t>(r.fim - r.inicio);
    campo_atual = "fatia";
    if (r.fim <= r.inicio || r.fim > p.plano.maximo || r.sorteios.size() != n ||
        r.sementes.size() != n) {
      throw std::invalid_argument("fatia");
    }
    campo_atual = "sementes";
    for (std::size_t k = 0; semente && k < n; ++k) {
      if (r.sementes[k] != semente(p, r.inicio + static_cast<std::int64_t>(k))) {
        throw std::invalid_argument("sementes");
      }
    }
    for (const Json& f : pega(j, "figuras")) {
      r.ids.push_back({pega(f, "tipo").get<std::string>(), pega(f, "nome").get<std::string>(),
                       static_cast<int>(inteiro(pega(f, "numero"), 0, INT32_MAX)),
                       pega(f, "figura").get<std::string>(), pega(f, "rotulo").get<std::string>(),
                       std::nullopt});
      if (f.contains("classe")) r.ids.back().classe = pega(f, "classe").get<std::string>();
      if (f.contains("limiar")) {
        r.ids.back().limiar = real(pega(f, "limiar"), [](double x) { return x >= 0; });
      }
      if (f.contains("janela")) {
        r.ids.back().janela = static_cast<int>(inteiro(pega(f, "janela"), 0, INT32_MAX));
        r.ids.back().inicio = real(pega(f, "inicio"), [](double x) { return x >= 0; });
      }
      std::vector<double> v;
      for (const Json& x : pega(f, "valores")) v.push_back(x.is_null() ? NaN : x.get<double>());
      if (v.size() != n) throw std::invalid_argument("valores");
      r.valores.push_back(std::move(v));
      if (f.contains("teoria")) {
        p.teoria = true;
        const Json& t = pega(f, "teoria");
        r.teoria.resize(r.ids.size());
        if (!t.is_null()) {
          Teorico x;
          x.metodo = pega(t, "metodo").get<std::string>();
          if (x.metodo == "instavel") {
            x.carga = pega(t, "carga").get<double>();
          } else {
            x.valor = pega(t, "valor").get<double>();
          }
          r.teoria.back() = x;
        }
      }
    }
    if (j.contains("histogramas")) {
      r.histogramas.assign(n, {});
      for (const Json& h : pega(j, "histogramas")) {
        r.ids_histogramas.push_back(
            {pega(h, "tipo").get<std::string>(), pega(h, "nome").get<std::string>(),
             pega(h, "grandeza").get<std::string>(),
             h.contains("classe") ? pega(h, "classe").get<std::string>() : std::string()});
        const Json& reps = pega(h, "replicacoes");
        if (reps.size() != n) throw std::invalid_argument("histogramas");
        for (std::size_t i = 0; i < n; ++i) {
          const Json& x = reps[i];
          const auto zeros = pega(x, "zeros").get<std::int64_t>();
          const auto inicio = pega(x, "inicio").get<std::int32_t>();
          auto contagens = pega(x, "contagens").get<std::vector<std::int64_t>>();
          try {
            r.histogramas[i].push_back(Histograma::de(zeros, inicio, std::move(contagens)));
          } catch (const Falha&) {
            campo_atual = "histogramas";
            throw std::invalid_argument("histogramas");
          }
        }
      }
    }
  } catch (const std::exception&) {
    falha(1,
          "tarvo-rep merge: %s nao e uma fatia de tarvo-rep (campo \"%s\" ausente ou invalido)\n",
          nome, campo_atual.c_str());
  }
  return r;
}

Resultado juntar(std::vector<Resultado> fatias, const std::vector<std::string>& arquivos) {
  if (fatias.empty()) falha(1, "tarvo-rep merge: nenhuma fatia para juntar\n");
  std::vector<std::size_t> ordem(fatias.size());
  for (std::size_t i = 0; i < ordem.size(); ++i) ordem[i] = i;
  std::stable_sort(ordem.begin(), ordem.end(), [&](std::size_t x, std::size_t y) {
    return fatias[x].inicio < fatias[y].inicio;
  });
  const Resultado& base = fatias[ordem[0]];
  const Pedido& p = base.pedido;
  for (std::size_t i : ordem) {
    const Resultado& f = fatias[i];
    const Pedido& q = f.pedido;
    const char* a = arquivos[i].c_str();
    const char* b = arquivos[ordem[0]].c_str();
    if (q.assinatura != p.assinatura || f.ids != base.ids || f.teoria != base.teoria ||
        f.ids_histogramas != base.ids_histogramas) {
      falha(1, "tarvo-rep merge: %s e %s sao de modelos diferentes\n", a, b);
    }
    if (q.plano.semente != p.plano.semente) {
      falha(1, "tarvo-rep merge: %s e %s tem sementes diferentes (%" PRIu32 " e %" PRIu32 ")\n", a,
            b, q.plano.semente, p.plano.semente);
    }
    const auto diferem = [&](const char* o, const std::string& x, const std::string& y) {
      if (x != y)
        falha(1, "tarvo-rep merge: %s e %s tem %s diferentes (%s e %s)\n", a, b, o, x.c_str(),
              y.c_str());
    };
    const auto real = [](std::optional<double> x) { return x ? formatar("%g", *x) : "-"; };
    const auto lista = [](const std::vector<std::string>& v) {
      std::string t;
      for (const std::string& x : v) t += (t.empty() ? "" : " ") + x;
      return t.empty() ? std::string("-") : t;
    };
    diferem("numeros de replicacoes", std::to_string(q.replicacoes), std::to_string(p.replicacoes));
    diferem("maximos de replicacoes", std::to_string(q.plano.maximo),
            std::to_string(p.plano.maximo));
    diferem("precisoes", real(q.precisao), real(p.precisao));
    diferem("alvos", lista(q.alvos), lista(p.alvos));
    diferem("confiancas", real(q.confianca), real(p.confianca));
    diferem("aquecimentos", real(q.aquecimento), real(p.aquecimento));
    diferem("planos de sorteios", std::to_string(q.sorteios_por_replicacao),
            std::to_string(p.sorteios_por_replicacao));
    diferem("limiares", real(q.limiar), real(p.limiar));
  }
  Resultado r;
  r.pedido = p;
  r.ids = base.ids;
  r.teoria = base.teoria;
  r.discretizada = base.discretizada;
  r.instaveis = base.instaveis;
  r.ids_histogramas = base.ids_histogramas;
  r.valores.assign(r.ids.size(), {});
  for (std::size_t k = 0; k < ordem.size(); ++k) {
    const Resultado& f = fatias[ordem[k]];
    if (f.inicio > r.fim) {
      falha(1, "tarvo-rep merge: faltam as replicacoes %lld a %lld\n",
            static_cast<long long>(r.fim), static_cast<long long>(f.inicio - 1));
    }
    if (f.inicio < r.fim) {
      falha(1, "tarvo-rep merge: %s e %s se sobrepoem (replicacoes %lld a %lld)\n",
            arquivos[ordem[k - 1]].c_str(), arquivos[ordem[k]].c_str(),
            static_cast<long long>(f.inicio), static_cast<long long>(std::min(r.fim, f.fim) - 1));
    }
    for (std::size_t g = 0; g < r.ids.size(); ++g) {
      r.valores[g].insert(r.valores[g].end(), f.valores[g].begin(), f.valores[g].end());
    }
    r.sorteios.insert(r.sorteios.end(), f.sorteios.begin(), f.sorteios.end());
    r.sementes.insert(r.sementes.end(), f.sementes.begin(), f.sementes.end());
    r.histogramas.insert(r.histogramas.end(), f.histogramas.begin(), f.histogramas.end());
    r.fim = f.fim;
  }
  const std::int64_t tinha = r.fim;
  if (!decidir(r)) {
    const std::int64_t ate = p.precisao ? p.plano.maximo : p.replicacoes;
    falha(
        1,
        "tarvo-rep merge: faltam as replicacoes %lld a %lld (as fatias terminam antes que o plano "
        "termine)\n",
        static_cast<long long>(tinha), static_cast<long long>(ate - 1));
  }
  return r;
}

namespace {

// A parameter's value: a sweep's values have at most 12 significant digits.
std::string valor_parametro(double x) { return formatar("%.12g", x); }

std::string cabeca_comum(const Pedido& p, std::int64_t feitas_min, std::int64_t feitas_max) {
  std::string s = formatar(" semente     : %" PRIu32
                           " (a mesma em toda execucao: numeros "
                           "aleatorios comuns)\n",
                           p.plano.semente);
  s += feitas_min == feitas_max
           ? formatar(" replicacoes : %lld", static_cast<long long>(feitas_min))
           : formatar(" replicacoes : de %lld a %lld", static_cast<long long>(feitas_min),
                      static_cast<long long>(feitas_max));
  if (p.precisao) s += formatar(" (precisao relativa pedida: %g)", *p.precisao);
  s += "\n";
  s += formatar(" confianca   : %g (intervalos t de Student)\n", p.confianca);
  return s;
}

}  // namespace

std::string nome_do_ponto(const Ponto& x) {
  std::string s;
  for (const auto& [nome, v] : x.parametros) {
    s += (s.empty() ? "" : ", ") + nome + "=" + valor_parametro(v);
  }
  return s;
}

namespace {

std::string texto_varredura(const std::vector<Ponto>& pontos) {
  const Resultado& r0 = pontos[0].resultado;
  const Pedido& p = r0.pedido;
  std::int64_t menos = INT64_MAX, mais = 0;
  for (const Ponto& x : pontos) {
    menos = std::min(menos, feitas(x.resultado));
    mais = std::max(mais, feitas(x.resultado));
  }
  std::string s = " TARVO-REP: varredura de parametros\n\n";
  s += formatar(" modelo      : %s\n", visivel(p.modelo).c_str());
  s += cabeca_comum(p, menos, mais);
  s += formatar(" pontos      : %zu, cada um com todas as replicacoes\n", pontos.size());
  const std::size_t np = pontos[0].parametros.size();
  std::vector<std::string> cab;
  for (const auto& [nome, x] : pontos[0].parametros) cab.push_back(nome);
  cab.insert(cab.end(), {"MEDIA", "+/-", "N"});
  if (p.teoria) cab.insert(cab.end(), {"TEORIA", "DIF.REL.", "NOTA"});
  // A point with an unstable station has figures that grow with the run: marked on every row.
  bool algum_instavel = false;
  for (const Ponto& x : pontos) algum_instavel = algum_instavel || !x.resultado.instaveis.empty();
  if (algum_instavel) cab.push_back("ESTABILIDADE");
  std::vector<bool> esquerda(cab.size(), false);
  if (p.teoria) esquerda[cab.size() - 1 - algum_instavel] = true;
  if (algum_instavel) esquerda.back() = true;
  bool janelas = false;
  for (std::size_t f = 0; f < r0.ids.size(); ++f) {
    const IdFigura& id = r0.ids[f];
    // A block per window of every figure would bury the sweep.
    janelas = janelas || id.janela.has_value();
    if (id.janela) continue;
    s += formatar("\n %s %s: %s (%s)\n", id.tipo.c_str(), nome_e_classe(id).c_str(),
                  id.rotulo.c_str(), id.figura.c_str());
    std::vector<std::vector<std::string>> linhas;
    for (const Ponto& x : pontos) {
      const Resultado& r = x.resultado;
      const Resumo m = resumir(r.valores[f], r.valores[f].size(), r.pedido.confianca);
      std::vector<std::string> l;
      for (std::size_t k = 0; k < np; ++k) l.push_back(valor_parametro(x.parametros[k].second));
      l.insert(l.end(), {celula(m.media), celula(m.meia_largura), std::to_string(m.n)});
      if (p.teoria) colunas_teoria(teorico(r, f), m, l);
      if (algum_instavel) {
        double carga = 0;
        for (const Instavel& i : r.instaveis) carga = std::max(carga, i.carga);
        l.push_back(r.instaveis.empty() ? "" : formatar("INSTAVEL (carga %.4g)", carga));
      }
      linhas.push_back(std::move(l));
    }
    s += tabela(cab, linhas, esquerda);
  }
  if (janelas) {
    s += "\n As figuras por janela de tempo ficam fora destas tabelas: veja-as nas saidas json e "
         "csv.\n";
  }
  std::string a;
  for (const Ponto& x : pontos) {
    a += avisos_de_instabilidade(x.resultado.instaveis, "no ponto " + nome_do_ponto(x) + ", ") +
         avisos_da_execucao(x.resultado);
  }
  if (!a.empty()) s += "\n" + a;
  return s;
}

std::string csv_varredura(const std::vector<Ponto>& pontos) {
  std::string prefixo;
  for (const auto& [nome, x] : pontos[0].parametros) prefixo += campo(nome) + ",";
  std::string s = prefixo + cabecalho_csv(pontos[0].resultado);
  for (const Ponto& x : pontos) {
    std::string valores;
    for (const auto& [nome, v] : x.parametros) valores += valor_parametro(v) + ",";
    const std::string t = csv(x.resultado);
    for (std::size_t i = t.find('\n') + 1; i < t.size();) {
      const std::size_t fim = t.find('\n', i);
      s += valores + t.substr(i, fim + 1 - i);
      i = fim + 1;
    }
  }
  return s;
}

}  // namespace

std::string escrever_varredura(const std::vector<Ponto>& pontos, Formato formato) {
  if (formato == Formato::texto) return texto_varredura(pontos);
  if (formato == Formato::csv) return csv_varredura(pontos);
  Json v = Json::array();
  for (const Ponto& x : pontos) {
    Json p = Json::object();
    for (const auto& [nome, valor] : x.parametros) p[nome] = valor;
    v.push_back({{"parametros", std::move(p)}, {"resultado", objeto(x.resultado)}});
  }
  return Json{{"varredura", std::move(v)}}.dump(2) + "\n";
}

namespace {

// A model's theory of one figure in the comparison's table: its value, ~ for the two-moment
// approximation and * where it falls outside that model's interval; "instavel"; or "-".
std::string teoria_comparada(const Resultado& r, std::size_t f) {
  const Teorico* t = f == Comparada::nenhuma ? nullptr : teorico(r, f);
  if (t == nullptr) return "-";
  if (t->metodo == "instavel") return "instavel";
  const Resumo m = resumir(r.valores[f], r.valores[f].size(), r.pedido.confianca);
  return celula(t->valor) + (t->metodo == "aproximada" ? "~" : "") +
         (dentro(*t, m) == false ? "*" : "");
}

}  // namespace

std::string escrever_comparacao(const Resultado& a, const Resultado& b, Formato formato) {
  const std::vector<Comparada> cs = comparar(a, b);
  auto so_em = [](const Comparada& c) {
    return c.so_em().empty() ? Json(nullptr) : Json(c.so_em());
  };
  if (formato == Formato::json) {
    Json v = Json::array();
    for (const Comparada& c : cs) {
      v.push_back({{"tipo", c.id.tipo},
                   {"nome", c.id.nome},
                   {"figura", c.id.figura},
                   {"media_a", numero(c.media_a)},
                   {"media_b", numero(c.media_b)},
                   {"diferenca", numero(c.diferenca.media)},
                   {"meia_largura", numero(c.diferenca.meia_largura)},
                   {"n", c.diferenca.n},
                   {"melhor", c.melhor},
                   {"so_em", so_em(c)}});
      if (!c.id.classe.empty()) v.back()["classe"] = c.id.classe;
      if (c.id.janela) {
        v.back()["janela"] = *c.id.janela;
        v.back()["inicio"] = numero(c.id.inicio);
      }
    }
    return Json{{"a", objeto(a)}, {"b", objeto(b)}, {"comparacao", std::move(v)}}.dump(2) + "\n";
  }
  if (formato == Formato::csv) {
    std::string s =
        "tipo,nome,classe,figura,rotulo,media_a,media_b,diferenca,meia_largura,n,melhor,so_em,"
        "janela,inicio\n";
    for (const Comparada& c : cs) {
      s += campo(c.id.tipo) + "," + campo(c.id.nome) + "," + campo(c.id.classe) + "," +
           campo(c.id.figura) + "," + campo(c.id.rotulo) + "," + real(c.media_a) + "," +
           real(c.media_b) + "," + real(c.diferenca.media) + "," + real(c.diferenca.meia_largura) +
           "," + std::to_string(c.diferenca.n) + "," + c.melhor + "," + c.so_em() +
           janela_csv(c.id);
    }
    return s;
  }
  const bool teoria = a.pedido.teoria || b.pedido.teoria;
  std::string s = " TARVO-REP: comparacao pareada de dois modelos\n\n";
  s += formatar(" A           : %s\n", visivel(a.pedido.modelo).c_str());
  s += formatar(" B           : %s\n", visivel(b.pedido.modelo).c_str());
  s += cabeca_comum(a.pedido, feitas(a), feitas(a));
  s += formatar(" aquecimento : A %g, B %g\n", a.pedido.aquecimento, b.pedido.aquecimento);
  s +=
      " diferenca   : B - A, replicacao a replicacao (pareadas pelo indice), com seu intervalo\n\n";
  std::vector<std::string> cab = {"TIPO",    "NOME",  "FIGURA", "MEDIA A",
                                  "MEDIA B", "B - A", "+/-",    "N"};
  if (teoria) cab.insert(cab.end(), {"TEORIA A", "TEORIA B"});
  cab.push_back("MELHOR");
  std::vector<std::vector<std::string>> linhas;
  // The columns after the figure's name, the same in the windows' tables.
  auto colunas = [&](const Comparada& c) {
    const bool ambos = c.so_em().empty();
    std::vector<std::string> l = {celula(c.media_a), celula(c.media_b), celula(c.diferenca.media),
                                  celula(c.diferenca.meia_largura),
                                  ambos ? std::to_string(c.diferenca.n) : "-"};
    if (teoria) {
      l.push_back(teoria_comparada(a, c.em_a));
      l.push_back(teoria_comparada(b, c.em_b));
    }
    l.push_back(ambos ? c.melhor : "so em " + c.so_em());
    return l;
  };
  for (const Comparada& c : cs) {
    if (c.id.janela) continue;
    linhas.push_back({c.id.tipo, nome_e_classe(c.id), c.id.rotulo});
    const std::vector<std::string> l = colunas(c);
    linhas.back().insert(linhas.back().end(), l.begin(), l.end());
  }
  std::vector<bool> esquerda(cab.size(), false);
  esquerda[0] = esquerda[1] = esquerda[2] = esquerda.back() = true;
  s += tabela(cab, linhas, esquerda);
  std::vector<IdFigura> ids;
  for (const Comparada& c : cs) ids.push_back(c.id);
  s += tabelas_de_janelas(ids, [&](const Janelas& js) {
    Colunas t{std::vector<std::string>(cab.begin() + 3, cab.end()),
              std::vector<bool>(esquerda.begin() + 3, esquerda.end()),
              {}};
    for (std::size_t k : js) t.linhas.push_back(colunas(cs[k]));
    return t;
  });
  s += "\n MELHOR: o modelo melhor onde o intervalo da diferenca exclui 0 (menor e melhor para "
       "esperas,\n tamanhos, permanencias e perdas; maior para vazao e saidas); -: sem veredito";
  bool sozinha = false;
  for (const Comparada& c : cs) sozinha = sozinha || !c.so_em().empty();
  s += sozinha ? "; so em A, so em B:\n a figura de um modelo so (objeto acrescentado, retirado ou "
                 "renomeado)\n"
               : "\n";
  if (teoria) {
    s += " TEORIA A, TEORIA B: a teoria de filas de cada modelo; ~: aproximacao de dois "
         "momentos;\n *: fora do intervalo da media do modelo; instavel: carga de 1 ou mais\n";
  }
  const std::vector<Veredito> v = veredito(cs, false);
  s += v.empty() ? "\n VEREDITO: nenhum intervalo de diferenca exclui 0\n"
                 : "\n VEREDITO, onde o intervalo da diferenca exclui 0:\n";
  for (const Veredito& l : v) {
    std::string figuras;
    for (const IdFigura& id : l.ids) figuras += (figuras.empty() ? "" : ", ") + id.figura;
    s += " " + figuras + ": " + l.frase + "\n";
  }
  const std::string av = avisos(a) + avisos(b);
  if (!av.empty()) s += "\n" + av;
  return s;
}

}  // namespace tarvo
