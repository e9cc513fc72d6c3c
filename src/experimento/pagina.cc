// The pages: tables whose columns each keep one precision, and charts in a grid, the figures a
// reader comes for first; a figure that does not vary stays in its table.
#include "experimento/pagina.h"

#include <algorithm>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <map>

#include "comum/failure.h"
#include "experimento/comparacao.h"
#include "experimento/curva.h"
#include "experimento/estatistica.h"
#include "experimento/grafico.h"

namespace tarvo {

namespace {

using grafico::escapar;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

const char* const TEMPO = "unidades de tempo";
const char* const FREGUESES = "fregueses";
const char* const TAXA = "fregueses/unidade de tempo";

// What a figure is, for a reader: its title, its unit, and the chart it goes in (none for the
// figures that tell how the run went rather than how the network behaves).
struct Sobre {
  std::string titulo;
  std::string unidade;
  std::string grupo;  // the chart's key; empty: no chart
  std::string linha;  // the row's label in that chart
  std::size_t ordem;  // charts go in this order: waits, lengths, sojourns, losses, utilisation...
};

Sobre sobre(const IdFigura& id) {
  struct Entrada {
    const char* tipo;
    const char* figura;
    const char* titulo;
    const char* unidade;
    bool grafico;
  };
  // In the order of the charts: what a reader comes for first.
  static const Entrada tabela[] = {
      {"fila", "espera_media", "Espera média na fila", TEMPO, true},
      {"estacao", "espera_media", "Espera média na fila", TEMPO, true},
      {"fila", "prob_espera", "Probabilidade de esperar", "fração dos atendidos", true},
      {"estacao", "prob_espera", "Probabilidade de esperar", "fração dos atendidos", true},
      {"fila", "espera_p50", "Espera na fila: mediana", TEMPO, true},
      {"estacao", "espera_p50", "Espera na fila: mediana", TEMPO, true},
      {"fila", "espera_p90", "Espera na fila: quantil 90%", TEMPO, true},
      {"estacao", "espera_p90", "Espera na fila: quantil 90%", TEMPO, true},
      {"fila", "espera_p95", "Espera na fila: quantil 95%", TEMPO, true},
      {"estacao", "espera_p95", "Espera na fila: quantil 95%", TEMPO, true},
      {"fila", "espera_p99", "Espera na fila: quantil 99%", TEMPO, true},
      {"estacao", "espera_p99", "Espera na fila: quantil 99%", TEMPO, true},
      {"fila", "nivel_servico", "Nível de serviço: esperaram até o limiar", "fração dos atendidos",
       true},
      {"estacao", "nivel_servico", "Nível de serviço: esperaram até o limiar",
       "fração dos atendidos", true},
      {"fila", "tamanho_medio", "Número médio na fila", FREGUESES, true},
      {"estacao", "fila_media", "Número médio na fila", FREGUESES, true},
      {"estacao", "sistema_medio", "Número médio na estação", FREGUESES, true},
      {"rede", "permanencia_media", "Permanência na rede: média", TEMPO, true},
      {"rede", "permanencia_p50", "Permanência na rede: mediana", TEMPO, true},
      {"rede", "permanencia_p90", "Permanência na rede: quantil 90%", TEMPO, true},
      {"rede", "permanencia_p95", "Permanência na rede: quantil 95%", TEMPO, true},
      {"rede", "permanencia_p99", "Permanência na rede: quantil 99%", TEMPO, true},
      {"estacao", "permanencia_media", "Permanência média na estação", TEMPO, true},
      {"estacao", "perdidos", "Perdidos (estação cheia)", FREGUESES, true},
      {"estacao", "prob_perda", "Probabilidade de perda", "fração das chegadas", true},
      {"estacao", "abandonos", "Abandonos (perderam a paciência na fila)", FREGUESES, true},
      {"estacao", "prob_abandono", "Probabilidade de abandono", "fração", true},
      {"estacao", "desistencias", "Desistências (não entraram na fila)", FREGUESES, true},
      {"estacao", "prob_desistencia", "Probabilidade de desistir", "fração das chegadas", true},
      {"estacao", "bloqueio", "Bloqueio depois do serviço (estação seguinte cheia)", "", true},
      {"estacao", "servidores_medio", "Servidores no turno (média no tempo)", "servidores", true},
      {"servidor", "utilizacao", "Utilização", "fração do tempo", true},
      {"estacao", "utilizacao", "Utilização por servidor", "fração do tempo", true},
      {"estacao", "vazao", "Vazão", TAXA, true},
      {"servidor", "taxa_servico", "Taxa de serviço", TAXA, true},
      {"fila", "taxa_chegada", "Taxa de chegada", TAXA, true},
      {"servidor", "atendidos", "Atendidos", FREGUESES, true},
      {"estacao", "chegadas", "Chegadas", FREGUESES, true},
      {"rede", "saidas", "Saídas da rede", FREGUESES, true},
      {"fila", "sorvedouro", "Saídas pelo sorvedouro", FREGUESES, true},
      {"fonte", "gerados", "Fregueses gerados", FREGUESES, true},
      {"classe", "ciclo", "Tempo de ciclo da classe fechada", TEMPO, true},
      {"classe", "vazao", "Passagens pela estação de início", TAXA, true},
      {"fila", "maximo", "Máximo na fila", FREGUESES, true},
      {"estacao", "fila_maxima", "Máximo na fila", FREGUESES, true},
      {"rede", "tempo_final", "Tempo simulado", TEMPO, false},
      {"rede", "gerados", "Fregueses gerados", FREGUESES, false},
      {"rede", "termino_por_clientes", "Terminou pelo limite de fregueses (1 = sim)", "", false},
      {"rede", "duracoes_perdidas", "Durações perdidas pela precisão do relógio", "eventos", false},
      {"servidor", "em_servico", "Em serviço no fim", FREGUESES, false},
      {"fila", "tamanho_final", "Na fila no fim", FREGUESES, false},
  };
  constexpr std::size_t n = sizeof tabela / sizeof tabela[0];
  for (std::size_t k = 0; k < n; ++k) {
    const Entrada& e = tabela[k];
    if (id.tipo != e.tipo || id.figura != e.figura) continue;
    // A class's row beside the others of its object: "triagem · urgente".
    const std::string linha = id.classe.empty() ? id.nome : id.nome + " · " + id.classe;
    Sobre s{e.titulo, e.unidade, "", linha, k};
    if (id.limiar) s.titulo = "Nível de serviço: esperaram até " + formatar("%g", *id.limiar);
    if (!e.grafico) return s;
    s.grupo = id.tipo + "/" + id.figura;
    if (id.tipo == "rede" && id.figura.rfind("permanencia", 0) == 0) {
      s.grupo = "rede/permanencia";
      s.linha = (id.classe.empty() ? "" : id.classe + " · ") +
                (id.figura == "permanencia_media" ? "média" : "p" + id.figura.substr(13));
    }
    // A station's four quantiles of the wait in one chart, a row each.
    if (id.figura.rfind("espera_p", 0) == 0) {
      s.grupo = id.tipo + "/espera_p";
      s.linha = linha + " p" + id.figura.substr(8);
    }
    return s;
  }
  return {id.rotulo, "", "", id.nome, n};
}

// The object a figure belongs to, in words.
std::string objeto(const IdFigura& id) {
  const std::string classe = id.classe.empty() ? "" : ", classe «" + id.classe + "»";
  if (id.tipo == "rede") return "rede" + classe;
  const char* nome = id.tipo == "estacao" ? "estação" : id.tipo.c_str();
  return std::string(nome) + " «" + id.nome + "»" + classe;
}

// The title of a chart of a group of figures.
std::string titulo_grupo(const std::string& grupo, const Sobre& s) {
  if (grupo == "rede/permanencia") return "Permanência na rede: média e quantis";
  if (grupo == "fila/espera_p" || grupo == "estacao/espera_p") return "Espera na fila: quantis";
  if (grupo == "fila/sorvedouro" || grupo == "rede/saidas") return s.titulo;
  const std::string tipo = grupo.substr(0, grupo.find('/'));
  // A row per object; a title that already says "fila" needs no "por fila".
  const char* de = tipo == "fonte"      ? " por fonte"
                   : tipo == "servidor" ? " por servidor"
                   : tipo == "fila"
                       ? (s.titulo.find("fila") == std::string::npos ? " por fila" : "")
                   : tipo == "estacao" ? " por estação"
                                       : "";
  return s.titulo + de;
}

// The numbers of one column of a table, in one precision: whole numbers whole; values within
// three decades of each other with the decimals that give the largest five significant digits;
// a column that spans more, five significant digits each (whole from 10000 up). A dash where
// there is none.
std::vector<std::string> coluna(const std::vector<double>& xs) {
  double maior = 0, menor = INFINITY;
  bool inteiros = true;
  for (double x : xs) {
    if (!std::isfinite(x)) continue;
    const double a = std::fabs(x);
    maior = std::max(maior, a);
    if (a > 0) menor = std::min(menor, a);
    inteiros = inteiros && x == std::floor(x) && a < 1e15;
  }
  const bool fixo = !inteiros && maior < 1e4 && menor >= maior / 1000;
  const int casas = fixo ? std::max(0, 4 - static_cast<int>(std::floor(std::log10(maior)))) : 0;
  std::vector<std::string> r;
  for (double x : xs) {
    std::string t;
    if (!std::isfinite(x)) {
      t = "—";
    } else if (fixo) {
      t = formatar("%.*f", casas, x);
    } else if ((x == std::floor(x) && std::fabs(x) < 1e15) ||
               (std::fabs(x) >= 1e4 && std::fabs(x) < 1e15)) {
      t = formatar("%.0f", x);
    } else {
      t = formatar("%#.5g", x);
      if (t.back() == '.') t.pop_back();
    }
    if (t[0] == '-' && t.find_first_not_of("-0.") == std::string::npos) t.erase(0, 1);
    r.push_back(t);
  }
  return r;
}

// Whether a figure took one value in every replication that has one (or none at all).
bool constante(const Resumo& m) { return !(m.n > 0) || m.min == m.max; }

// Intervals of a column, their ends in one precision; a figure that did not vary, its value
// alone.
std::vector<std::string> intervalos(const std::vector<Resumo>& ms) {
  std::vector<double> xs;
  for (const Resumo& m : ms) {
    if (constante(m) || m.meia_largura == 0) {
      xs.push_back(m.media);
    } else {
      const bool tem = std::isfinite(m.meia_largura);
      xs.push_back(tem ? m.media - m.meia_largura : NaN);
      xs.push_back(tem ? m.media + m.meia_largura : NaN);
    }
  }
  const std::vector<std::string> t = coluna(xs);
  std::vector<std::string> r;
  std::size_t i = 0;
  for (const Resumo& m : ms) {
    if (constante(m) || m.meia_largura == 0) {
      r.push_back(t[i++]);
    } else if (!std::isfinite(m.meia_largura)) {
      r.push_back("—");
      i += 2;
    } else {
      std::string baixo = t[i], alto = t[i + 1];
      // An interval narrower than the column's precision, with the digits that tell its ends
      // apart.
      for (int casas = 1; baixo == alto && casas <= 6; ++casas) {
        baixo = formatar("%.*f", casas, m.media - m.meia_largura);
        alto = formatar("%.*f", casas, m.media + m.meia_largura);
      }
      r.push_back(baixo + " – " + alto);
      i += 2;
    }
  }
  return r;
}

std::string percentual(double c) { return formatar("%g%%", 100 * c); }

// A column of a page table: its heading, and whether it holds words (left, wrapping) rather
// than numbers.
struct Coluna {
  std::string titulo;
  bool palavras = false;
};

// A row of a page table: its cells (HTML), a class that marks the whole row, and a note under
// its first cell.
struct LinhaTabela {
  std::vector<std::string> celulas;
  std::string classe;
  std::string nota;
};

std::string tabela(const std::vector<Coluna>& colunas, const std::vector<LinhaTabela>& linhas) {
  std::string s = "<div class=\"rolar\"><table>\n<tr>";
  for (const Coluna& c : colunas) {
    s += std::string(c.palavras ? "<th class=\"t\">" : "<th>") + c.titulo + "</th>";
  }
  s += "</tr>\n";
  for (const LinhaTabela& l : linhas) {
    s += l.classe.empty() ? "<tr>" : "<tr class=\"" + l.classe + "\">";
    for (std::size_t c = 0; c < l.celulas.size(); ++c) {
      s += std::string(colunas[c].palavras ? "<td class=\"t\">" : "<td>") + l.celulas[c];
      if (c == 0 && !l.nota.empty()) s += "<br><span class=\"nota\">" + escapar(l.nota) + "</span>";
      s += "</td>";
    }
    s += "</tr>\n";
  }
  return s + "</table></div>\n";
}

// A table's first cell: what the figure is, and under it of which object, so that a narrow
// screen still shows the numbers beside it.
std::string celula_figura(const IdFigura& id) {
  return escapar(sobre(id).titulo) + "<br><span class=\"obj\">" + escapar(objeto(id)) + "</span>";
}

// A number in the text of a page: five significant digits, whole numbers of up to twelve
// digits in full.
std::string num(double x) {
  if (!std::isfinite(x)) return "—";
  if (std::fabs(x) >= 1e4 && std::fabs(x) < 1e12) return formatar("%.0f", x);
  return formatar("%.5g", x);
}

// A parameter's values, as given: the fewest decimals that show every one of them exactly (to
// twelve significant digits, as the sweep writes them).
std::vector<std::string> coluna_exata(const std::vector<double>& xs) {
  auto ler = [](const std::string& t) { return std::strtod(t.c_str(), nullptr); };
  int casas = 0;
  for (double x : xs) {
    const double v = ler(formatar("%.12g", x));
    while (casas < 12 && ler(formatar("%.*f", casas, v)) != v) ++casas;
  }
  std::vector<std::string> r;
  for (double x : xs) r.push_back(formatar("%.*f", casas, x));
  return r;
}

// Wide tables scroll sideways inside their box, whose edge shows a shadow while more of the
// table lies beyond it: the white covers scroll with the table (local), the shadows stay with
// the box (scroll), so a cover hides its shadow once that end of the table is reached.
const char* const ESTILO = R"(<style>
body{font-family:system-ui,-apple-system,"Segoe UI",Roboto,sans-serif;margin:0 auto;
max-width:1180px;padding:12px;color:#1b1b1b;line-height:1.45;font-size:16px}
p,ul{max-width:48em}
h1{font-size:1.45em;margin:.4em 0}h2{font-size:1.2em;margin-top:1.6em;border-bottom:1px solid #ccc}
h3{font-size:1em;margin:1em 0 .3em}h1,h2,h3,p,li{overflow-wrap:anywhere}
.rolar{overflow-x:auto;-webkit-overflow-scrolling:touch;max-width:100%;
background:linear-gradient(to right,#fff 30%,rgba(255,255,255,0)) left center/40px 100% no-repeat local,
linear-gradient(to left,#fff 30%,rgba(255,255,255,0)) right center/40px 100% no-repeat local,
radial-gradient(farthest-side at 0 50%,rgba(0,0,0,.3),rgba(0,0,0,0)) left center/14px 100% no-repeat scroll,
radial-gradient(farthest-side at 100% 50%,rgba(0,0,0,.3),rgba(0,0,0,0)) right center/14px 100% no-repeat scroll}
table{border-collapse:collapse;font-size:14px;margin:.4em 0}
th,td{padding:3px 8px;border-bottom:1px solid #e2e2e2;text-align:right;white-space:nowrap}
th{background:rgba(0,0,0,.05)}td.t,th.t{text-align:left;white-space:normal;min-width:9em}
.obj{font-size:12px;color:#666}span.nota{font-size:12px;color:#7a4a00}
tr.fora td{background:rgba(255,140,0,.13)}tr.instavel td{background:rgba(220,40,40,.12)}tr.so td{color:#555;font-style:italic}
.graficos{display:grid;grid-template-columns:minmax(0,1fr);column-gap:36px}
@media (min-width:900px){.graficos{grid-template-columns:repeat(2,minmax(0,1fr))}}
figure.quadro{margin:0 0 1.2em;min-width:0}
svg.grafico{display:block;width:100%;max-width:560px;height:auto;font-size:12px}
svg text{fill:#1b1b1b}svg text.titulo{font-size:13px;fill:#333}svg text.nada{fill:#888}
svg text.nota{fill:#7a4a00}svg text.leg{fill:#444}
.grade{stroke:#e6e6e6}.eixo{stroke:#555}.zero{stroke:#000;stroke-dasharray:4 3}
.marca{stroke:#7a4a00;stroke-width:1.5;stroke-dasharray:6 3}
.bigode{stroke:#1f5fa8;stroke-width:1.6}
circle.ponto,circle.simbolo{fill:var(--cor,#1f5fa8)}circle.melhor{fill:#2a8a3e}
circle.pior{fill:#c0392b}circle.neutro{fill:#888}circle.ponto.fina{opacity:.45}
path.teoria{fill:#f07f1a;stroke:#8a3d00;stroke-width:1.2}
path.teoria.aprox{fill:#fff;stroke:#e06a00;stroke-width:1.6}
polyline.teoria{fill:none;stroke:#e06a00;stroke-width:2;stroke-dasharray:6 4}
polyline.media{fill:none;stroke:var(--cor);stroke-width:2}polyline.media.fina{stroke-width:1;opacity:.5}
polygon.faixa,rect.faixa{fill:var(--cor);fill-opacity:.18;stroke:none}
.legenda{font-size:14px;color:#444;margin:.2em 0 1em}.aviso{background:#fff6d6;padding:6px 10px}.aviso.instavel{background:#fde2e2}
.cor{display:inline-block;width:.9em;height:.9em;border-radius:50%;vertical-align:-.1em}
footer{margin-top:2em;font-size:13px;color:#666}
</style>)";

std::string inicio(const std::string& titulo) {
  return "<!DOCTYPE html>\n<html lang=\"pt-BR\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
         escapar(titulo) + "</title>\n" + ESTILO + "\n</head>\n<body>\n<h1>" + escapar(titulo) +
         "</h1>\n";
}

std::string fim(const Contexto& c) {
  return "<footer>Página escrita por " + escapar(c.programa) +
         ". Os gráficos são SVG desenhado pelo próprio programa: a página não usa scripts nem "
         "busca nada na rede.</footer>\n</body>\n</html>\n";
}

std::string lista(const std::vector<std::string>& linhas) {
  if (linhas.empty()) return "<p>(modelo sem descrição)</p>\n";
  std::string s = "<ul>\n";
  for (const std::string& l : linhas) s += "<li>" + escapar(l) + "</li>\n";
  return s + "</ul>\n";
}

// The run's particulars; a sweep's points may have made different numbers of replications
// (from menos to mais) and reached the precision at some of them only.
std::string ficha(const Resultado& r, std::int64_t menos, std::int64_t mais, bool todos) {
  const Pedido& p = r.pedido;
  std::string s =
      "<p>Arquivo <code>" + escapar(p.modelo) + "</code>; semente " +
      formatar("%" PRIu32, p.plano.semente) + "; " +
      (menos == mais ? formatar("%lld replicações", static_cast<long long>(menos))
                     : formatar("de %lld a %lld replicações por ponto",
                                static_cast<long long>(menos), static_cast<long long>(mais)));
  if (p.precisao) {
    s += formatar(" (precisão relativa pedida %g, %s)", *p.precisao,
                  todos ? "atingida" : "não atingida no máximo em algum ponto");
  }
  s += "; intervalos de confiança t de Student de " + percentual(p.confianca);
  if (p.aquecimento > 0) s += formatar("; aquecimento até o tempo %g", p.aquecimento);
  return s + ".</p>\n";
}

// The stations whose queue grows without bound, in words, with where (a sweep's point).
std::string instaveis_html(const Resultado& r, const std::string& onde = "") {
  std::string s;
  for (const Instavel& x : r.instaveis) {
    s += "<p class=\"aviso instavel\">" + escapar(onde) +
         (x.tipo == "fila" ? "A fila «" : "A estação «") + escapar(x.nome) +
         "» é instável: carga de " + num(x.carga) +
         " por servidor, 1 ou mais. Sua fila cresce sem limite e suas figuras crescem com a "
         "duração da corrida: não têm valor de longo prazo.</p>\n";
  }
  return s;
}

// Whether f is a figure of an unstable station, and its load.
std::optional<double> carga_instavel(const Resultado& r, const IdFigura& id) {
  for (const Instavel& x : r.instaveis) {
    if (x.tipo == id.tipo && x.nome == id.nome) return x.carga;
  }
  return std::nullopt;
}

std::string interrompido_html(const Resultado& r) {
  if (!r.interrompido) return "";
  return formatar(
      "<p class=\"aviso\"><strong>Execução interrompida</strong> pelo usuário: os resultados são "
      "os das %lld replicações terminadas antes.</p>\n",
      static_cast<long long>(r.fim - r.inicio));
}

std::string avisos_html(const Resultado& r) {
  std::string s = interrompido_html(r) + instaveis_html(r), a = avisos_da_execucao(r);
  for (std::size_t i = 0; i < a.size();) {
    const std::size_t j = a.find('\n', i);
    s += "<p class=\"aviso\">" + escapar(a.substr(i, j - i)) + "</p>\n";
    i = j == std::string::npos ? a.size() : j + 1;
  }
  return s;
}

double valor_teorico(const Resultado& r, std::size_t f) {
  const Teorico* t = teorico(r, f);
  return t != nullptr && t->metodo != "instavel" ? t->valor : NaN;
}

bool fora(const Teorico* t, const Resumo& m) { return t != nullptr && dentro(*t, m) == false; }

bool aproximada(const Resultado& r, std::size_t f) {
  const Teorico* t = teorico(r, f);
  return t != nullptr && t->metodo == "aproximada";
}

Resumo resumo(const Resultado& r, std::size_t f) {
  return resumir(r.valores[f], r.valores[f].size(), r.pedido.confianca);
}

// The theory's column: each value in the column's precision with "(aprox.)" where it is the
// two-moment approximation, "instável" with the load, or a dash.
std::vector<std::string> teorias(const std::vector<const Teorico*>& ts) {
  std::vector<double> xs;
  for (const Teorico* t : ts) xs.push_back(t && t->metodo != "instavel" ? t->valor : NaN);
  std::vector<std::string> r = coluna(xs);
  for (std::size_t k = 0; k < ts.size(); ++k) {
    if (ts[k] == nullptr) continue;
    if (ts[k]->metodo == "instavel") r[k] = "instável (carga " + num(ts[k]->carga) + ")";
    if (ts[k]->metodo == "aproximada") r[k] += " (aprox.)";
  }
  return r;
}

// The relative difference of the mean from the theory, ✗ where the theory is outside the
// interval.
std::string dif_rel(const Teorico* t, const Resumo& m) {
  if (t == nullptr) return "—";
  return diferenca_relativa(*t, m).value_or("—") + (fora(t, m) ? " ✗" : "");
}

const char* const LEGENDA_TEORIA =
    "Teoria: o valor da teoria de filas (exato onde vale; (aprox.): uma aproximação, de dois "
    "momentos, a MVA de Schweitzer numa rede fechada de várias classes, ou, numa janela, a "
    "estacionária ponto a ponto). Dif. rel.: (média − teoria) / teoria. ✗ e fundo laranja: a "
    "teoria fica fora do intervalo.";

std::string tabela_figuras(const Resultado& r) {
  const bool teoria = r.pedido.teoria;
  std::vector<Coluna> colunas = {{"Figura", true}, {"Média"}, {"Intervalo"}, {"n"}};
  if (teoria) colunas.insert(colunas.end(), {{"Teoria"}, {"Dif. rel."}});
  // The whole run's figures: a window's are in its charts, which a thousand rows would bury.
  std::vector<std::size_t> fs;
  for (std::size_t f = 0; f < r.ids.size(); ++f) {
    if (!r.ids[f].janela) fs.push_back(f);
  }
  std::vector<Resumo> ms;
  std::vector<double> medias;
  std::vector<const Teorico*> ts;
  for (std::size_t f : fs) {
    ms.push_back(resumo(r, f));
    medias.push_back(ms.back().media);
    ts.push_back(teoria ? teorico(r, f) : nullptr);
  }
  const std::vector<std::string> media = coluna(medias), intervalo = intervalos(ms),
                                 valor_teoria = teorias(ts);
  std::vector<LinhaTabela> linhas;
  bool constantes = false;
  for (std::size_t k = 0; k < fs.size(); ++k) {
    LinhaTabela l;
    l.celulas = {celula_figura(r.ids[fs[k]]), media[k], intervalo[k],
                 formatar("%lld", static_cast<long long>(ms[k].n))};
    if (teoria) l.celulas.insert(l.celulas.end(), {valor_teoria[k], dif_rel(ts[k], ms[k])});
    if (fora(ts[k], ms[k])) l.classe = "fora";
    if (const std::optional<double> c = carga_instavel(r, r.ids[fs[k]])) {
      l.classe = "instavel";
      l.nota = "instável: carga " + num(*c);
    }
    constantes = constantes || (ms[k].n > 1 && constante(ms[k]));
    linhas.push_back(std::move(l));
  }
  std::string notas = teoria ? LEGENDA_TEORIA : "";
  if (teoria && r.discretizada) {
    notas +=
        " Os tempos exponenciais do tarvo são sorteados numa grade de 32768 pontos: a teoria usa "
        "os momentos desses tempos, e difere um pouco da do livro (M/M/1 com carga 0,8: espera "
        "3,1969, e não 3,2).";
  }
  if (!r.instaveis.empty()) {
    notas += std::string(notas.empty() ? "" : " ") +
             "Fundo vermelho: figura de estação instável, sem valor de longo prazo.";
  }
  if (constantes) {
    notas += std::string(teoria ? " " : "") +
             "Um valor só no intervalo: todas as replicações deram esse valor.";
  }
  return tabela(colunas, linhas) +
         (notas.empty() ? "" : "<p class=\"legenda\">" + notas + "</p>\n");
}

// The groups of figures that have a chart, in the order of the charts, and their figures.
std::vector<std::pair<std::string, std::vector<std::size_t>>> grupos(
    const std::vector<IdFigura>& ids) {
  std::vector<std::pair<std::string, std::vector<std::size_t>>> g;
  std::map<std::string, std::size_t> onde;
  for (std::size_t f = 0; f < ids.size(); ++f) {
    if (ids[f].janela) continue;  // charted against time
    const std::string k = sobre(ids[f]).grupo;
    if (k.empty()) continue;
    const auto [it, novo] = onde.emplace(k, g.size());
    if (novo) g.push_back({k, {}});
    g[it->second].second.push_back(f);
  }
  std::stable_sort(g.begin(), g.end(), [&ids](const auto& x, const auto& y) {
    return sobre(ids[x.second[0]]).ordem < sobre(ids[y.second[0]]).ordem;
  });
  return g;
}

// Row labels: the names, told apart by number where two objects share one.
std::vector<std::string> rotulos(const std::vector<IdFigura>& ids,
                                 const std::vector<std::size_t>& fs) {
  std::map<std::string, int> vezes;
  for (std::size_t f : fs) ++vezes[sobre(ids[f]).linha];
  std::vector<std::string> r;
  for (std::size_t f : fs) {
    const std::string l = sobre(ids[f]).linha;
    r.push_back(vezes[l] > 1 ? l + formatar(" (%d)", ids[f].numero) : l);
  }
  return r;
}

// One chart with its title, a cell of the grid of charts.
std::string quadro(const std::string& titulo, const std::string& svg,
                   const std::string& depois = "") {
  return "<figure class=\"quadro\">\n<h3>" + escapar(titulo) + "</h3>\n" + svg + "\n" + depois +
         "</figure>\n";
}

std::string grade(const std::string& quadros) {
  return quadros.empty() ? "" : "<div class=\"graficos\">\n" + quadros + "</div>\n";
}

// The note under the charts that names the figures left to the table for not varying.
std::string sem_grafico(const std::vector<std::string>& titulos, const char* porque) {
  if (titulos.empty()) return "";
  std::string s;
  for (const std::string& t : titulos) s += (s.empty() ? "" : "; ") + t;
  return "<p class=\"legenda\">Sem gráfico, " + std::string(porque) + ": " + escapar(s) +
         " (na tabela).</p>\n";
}

std::string intervalo_de(const Resultado& r) {
  return "intervalo de " + percentual(r.pedido.confianca);
}

std::string graficos(const Resultado& r) {
  std::string s;
  std::vector<std::string> constantes;
  for (const auto& [grupo, fs] : grupos(r.ids)) {
    const Sobre so = sobre(r.ids[fs[0]]);
    const std::vector<std::string> nomes = rotulos(r.ids, fs);
    std::vector<grafico::Linha> linhas;
    bool varia = false, teoria = false, aprox = false;
    for (std::size_t k = 0; k < fs.size(); ++k) {
      const std::size_t f = fs[k];
      const Resumo m = resumo(r, f);
      const double t = valor_teorico(r, f);
      varia = varia || !constante(m);
      teoria = teoria || (std::isfinite(t) && !aproximada(r, f));
      aprox = aprox || aproximada(r, f);
      const double hw = std::isfinite(m.meia_largura) ? m.meia_largura : NaN;
      linhas.push_back({nomes[k], m.media, m.media - hw, m.media + hw, t, "",
                        nomes[k] + ": " + num(m.media) + " (" + intervalos({m})[0] + ")" +
                            (std::isfinite(t) ? "; teoria " + num(t) : ""),
                        aproximada(r, f), ""});
    }
    if (!varia) {
      constantes.push_back(titulo_grupo(grupo, so));
      continue;
    }
    grafico::Opcoes o;
    o.legenda = {{"ponto", "média"}, {"intervalo", intervalo_de(r)}};
    if (teoria) o.legenda.push_back({"teoria", "teoria"});
    if (aprox) o.legenda.push_back({"teoria aprox", "teoria aproximada"});
    s += quadro(titulo_grupo(grupo, so), grafico::pontos("figuras", so.unidade, linhas, o));
  }
  return grade(s) + sem_grafico(constantes, "por não variar");
}

const char* const INICIO_JANELA = "tempo simulado";

// The windows' length: the least step from one window's start to the next's; NaN with one
// window.
double largura_das_janelas(const std::vector<IdFigura>& ids,
                           const std::vector<std::vector<Janelas>>& objetos) {
  double w = NaN;
  for (const std::vector<Janelas>& o : objetos) {
    for (const Janelas& js : o) {
      for (std::size_t k = 1; k < js.size(); ++k) {
        const IdFigura &a = ids[js[k - 1]], &b = ids[js[k]];
        if (*b.janela == *a.janela) continue;
        const double d = (b.inicio - a.inicio) / static_cast<double>(*b.janela - *a.janela);
        if (d > 0 && !(d >= w)) w = d;
      }
    }
  }
  return w;
}

// Values each held over its window, as the points of a line of steps from each window's start
// to its end: a window without a value, or missing, leaves a gap.
void degraus(const std::vector<double>& inicios, const std::vector<double>& ys, double largura,
             std::vector<double>& x, std::vector<double>& y) {
  for (std::size_t k = 0; k < inicios.size(); ++k) {
    x.insert(x.end(), {inicios[k], inicios[k] + largura});
    y.insert(y.end(), {ys[k], ys[k]});
    if (k + 1 < inicios.size() && inicios[k + 1] > inicios[k] + largura * (1 + 1e-9)) {
      x.push_back(NaN);
      y.push_back(NaN);
    }
  }
}

// An object as a heading: "Estação «caixa»", "Rede".
std::string titulo_objeto(IdFigura id) {
  id.classe.clear();
  std::string t = objeto(id);
  if (t[0] >= 'a' && t[0] <= 'z') t[0] = static_cast<char>(t[0] - 'a' + 'A');
  return t;
}

// A station's load over time: its servers on duty per window (the shifts), and each source's
// arrivals per unit of time, as steps. Empty when there is neither.
std::string grafico_carga(const Resultado& r, const std::vector<Janelas>& estacao,
                          const std::vector<const Janelas*>& fontes, double largura) {
  std::vector<grafico::Serie> series;
  grafico::Opcoes o;
  auto juntar = [&](const Janelas& js, double escala, const std::string& nome) {
    std::vector<double> inicios, ys;
    for (std::size_t f : js) {
      inicios.push_back(r.ids[f].inicio);
      ys.push_back(resumo(r, f).media / escala);
    }
    grafico::Serie v{nome, {}, {}, {}, {}, {}, false, "", false};
    degraus(inicios, ys, largura, v.x, v.y);
    o.legenda.push_back({series.empty() ? "linha" : formatar("linha %zu", series.size()), nome});
    series.push_back(std::move(v));
  };
  for (const Janelas& js : estacao) {
    const IdFigura& id = r.ids[js[0]];
    if (id.figura == "servidores_medio" && id.classe.empty()) juntar(js, 1, "servidores (média)");
  }
  // Arrivals per unit of time need the windows' length.
  if (std::isfinite(largura)) {
    for (const Janelas* js : fontes) {
      juntar(*js, largura, "chegadas/tempo: " + r.ids[(*js)[0]].nome);
    }
  }
  if (series.empty()) return "";
  return quadro("Carga ao longo do tempo",
                grafico::linhas("carga", INICIO_JANELA, "servidores; chegadas/tempo", series, o));
}

// Beyond this many windows a chart's points would crowd its line: only those no line reaches
// are marked.
constexpr std::size_t MARCADAS = 48;

// Every figure measured per window, against the windows' start: a section per object, a
// station's opening with its load, a chart per figure (the mean per window, its interval as a
// band, the theory as steps). A figure that does not vary is named under its section.
std::string graficos_janelas(const Resultado& r) {
  const std::vector<std::vector<Janelas>> objetos = janelas_por_objeto(r.ids);
  if (objetos.empty()) return "";
  const double largura = largura_das_janelas(r.ids, objetos);
  std::vector<const Janelas*> fontes;
  for (const std::vector<Janelas>& o : objetos) {
    for (const Janelas& js : o) {
      const IdFigura& id = r.ids[js[0]];
      if (id.tipo == "fonte" && id.figura == "gerados" && id.classe.empty()) fontes.push_back(&js);
    }
  }
  std::string s =
      "<h2>Ao longo do tempo</h2>\n<p>Cada figura medida também em janelas de tempo" +
      (std::isfinite(largura) ? " de " + num(largura) : std::string()) +
      ": no vertical a média das replicações em cada janela, no meio dela, com a faixa do seu " +
      intervalo_de(r) +
      "; a teoria, onde há, em degraus tracejados. Uma janela sem valor em nenhuma replicação "
      "(antes do fim do aquecimento, ou que a execução não alcançou) fica em branco. Cada estação "
      "começa pela carga: o número médio de servidores em cada janela (os turnos) e as chegadas "
      "de cada fonte por unidade de tempo, em degraus. Os valores estão nas saídas text, json e "
      "csv.</p>\n";
  for (const std::vector<Janelas>& o : objetos) {
    const IdFigura& a = r.ids[o[0][0]];
    std::string quadros = a.tipo == "estacao" ? grafico_carga(r, o, fontes, largura) : "";
    std::vector<const Janelas*> ordem;
    for (const Janelas& js : o) ordem.push_back(&js);
    std::stable_sort(ordem.begin(), ordem.end(), [&r](const Janelas* x, const Janelas* y) {
      return sobre(r.ids[(*x)[0]]).ordem < sobre(r.ids[(*y)[0]]).ordem;
    });
    std::vector<std::string> constantes;
    for (const Janelas* js : ordem) {
      const IdFigura& id = r.ids[(*js)[0]];
      const Sobre so = sobre(id);
      const std::string titulo =
          so.titulo + (id.classe.empty() ? "" : " — classe «" + id.classe + "»");
      grafico::Serie media{"média", {}, {}, {}, {}, {}, js->size() <= MARCADAS, "", true};
      std::vector<double> teoria;
      double menor = INFINITY, maior = -INFINITY;
      bool tem_teoria = false, aprox = false;
      for (std::size_t f : *js) {
        const Resumo m = resumo(r, f);
        const double hw = std::isfinite(m.meia_largura) ? m.meia_largura : NaN;
        media.x.push_back(r.ids[f].inicio);
        media.y.push_back(m.media);
        media.baixo.push_back(m.media - hw);
        media.alto.push_back(m.media + hw);
        teoria.push_back(valor_teorico(r, f));
        tem_teoria = tem_teoria || std::isfinite(teoria.back());
        aprox = aprox || aproximada(r, f);
        if (m.n > 0) menor = std::min(menor, m.min), maior = std::max(maior, m.max);
      }
      if (!(menor < maior)) {
        constantes.push_back(titulo);
        continue;
      }
      // A window's mean is of the whole window: its point stands at the window's middle, in the
      // middle of its theory's step, so that a change at a shift's start shows on both sides
      // of that time.
      // A figure that no replication takes below 0 (a count, a time, a share) is not drawn
      // below 0: its band stops there.
      if (menor >= 0) {
        for (double& b : media.baixo) b = std::max(b, 0.0);
      }
      const std::vector<double> inicios = media.x;
      if (std::isfinite(largura)) {
        for (double& x : media.x) x += largura / 2;
      }
      grafico::Opcoes op;
      op.legenda = {{"linha", "média"}, {"faixa", intervalo_de(r)}};
      std::vector<grafico::Serie> series = {media};
      if (tem_teoria) {
        grafico::Serie t{"teoria", {}, {}, {}, {}, {}, false, "", false};
        degraus(inicios, teoria, largura, t.x, t.teoria);
        series.push_back(std::move(t));
        op.legenda.push_back({"linha-teoria", aprox ? "teoria (aproximada)" : "teoria"});
      }
      quadros +=
          quadro(titulo, grafico::linhas("janelas", INICIO_JANELA,
                                         so.unidade.empty() ? "valor" : so.unidade, series, op));
    }
    s += "<h3>" + escapar(titulo_objeto(a)) + "</h3>\n" + grade(quadros) +
         sem_grafico(constantes, "por não variar");
  }
  return s;
}

std::string grafico_espera(const Resultado& r) {
  if (r.espera.replicacoes() == 0) return "";
  std::string s = "<h2>Aquecimento (gráfico de Welch)</h2>\n";
  if (r.estacoes_espera.empty()) {
    return s + "<p>O modelo não tem fila onde fregueses esperem: nada a seguir.</p>\n";
  }
  const Serie m = r.espera.media();
  const double largura = m.limites.size() > 1 ? m.limites[1] : NaN;
  s += "<p>Para cada fila, o número médio de fregueses esperando ao longo do tempo, na média das "
       "replicações (pontos), em intervalos que começam com o tempo médio entre chegadas (" +
       num(largura) +
       ") e se alargam com o tempo, oito a cada vez que ele dobra; a linha é a média móvel desses "
       "pontos. O eixo do tempo é logarítmico: o começo da execução, onde fica o transiente, "
       "aparece tão detalhado quanto o resto. O aquecimento a escolher é o tempo a partir do qual "
       "a linha fica estável" +
       (r.pedido.aquecimento > 0 ? "; a linha tracejada marca o usado nesta execução" : "") +
       ".</p>\n";
  std::string quadros;
  for (std::size_t e = 0; e < r.estacoes_espera.size(); ++e) {
    const std::string titulo = r.estacoes_espera[e] + ": fregueses esperando ao longo do tempo";
    const std::vector<double>& y = m.medias[e];
    if (y.empty()) {
      quadros += "<figure class=\"quadro\">\n<h3>" + escapar(titulo) +
                 "</h3>\n<p>A execução não cobriu nenhum intervalo inteiro.</p>\n</figure>\n";
      continue;
    }
    const std::size_t janela = std::max<std::size_t>(1, y.size() / 20);
    grafico::Serie pontos{"média no intervalo", {}, y, {}, {}, {}, true, "fina", false};
    for (std::size_t k = 0; k < y.size(); ++k) {
      pontos.x.push_back((m.limites[k] + m.limites[k + 1]) / 2);
    }
    grafico::Serie movel{"média móvel", pontos.x, media_movel(y, janela), {}, {}, {}, false, "",
                         false};
    grafico::Opcoes o;
    o.legenda = {{"ponto", "média no intervalo"}, {"movel", "média móvel"}};
    o.log_x = true;
    if (r.pedido.aquecimento > 0) {
      o.marca_x = r.pedido.aquecimento;
      o.rotulo_marca = "aquecimento";
    }
    quadros += quadro(
        titulo,
        grafico::linhas("aquecimento", "tempo simulado (escala logarítmica)", "fregueses na fila",
                        {pontos, movel}, o),
        formatar("<p class=\"legenda\">%zu intervalos; média móvel de %zu pontos (%zu de cada "
                 "lado, menos no começo).</p>\n",
                 y.size(), 2 * janela + 1, janela));
  }
  return s + grade(quadros);
}

// Names joined: "a, b e c".
std::string juntar_nomes(const std::vector<std::string>& v) {
  std::string s;
  for (std::size_t k = 0; k < v.size(); ++k) {
    s += (k == 0 ? "" : k + 1 == v.size() ? " e " : ", ") + v[k];
  }
  return s;
}

// The note of a page that leaves the figures per window to the outputs that hold them.
std::string sem_janelas(const char* saidas) {
  return std::string(
             "<p class=\"legenda\">As figuras por janela de tempo ficam fora desta "
             "página: estão nas saídas ") +
         saidas + ".</p>\n";
}

}  // namespace

std::string pagina(const Resultado& r, const Contexto& c) {
  std::string s = inicio("Tarvo: " + r.pedido.modelo);
  s += ficha(r, r.fim - r.inicio, r.fim - r.inicio, r.precisao_atingida) + avisos_html(r);
  s += "<h2>O modelo</h2>\n" + lista(c.descricao);
  s += "<h2>Figuras</h2>\n" + tabela_figuras(r);
  s += "<h2>Gráficos</h2>\n" + graficos(r);
  s += graficos_janelas(r);
  s += grafico_espera(r);
  return s + fim(c);
}

std::string pagina_varredura(const std::vector<Ponto>& pontos, const Contexto& c) {
  const Resultado& r0 = pontos.front().resultado;
  std::string nomes;
  for (const auto& [nome, v] : pontos.front().parametros) {
    nomes += (nomes.empty() ? "" : ", ") + nome;
  }
  std::string s = inicio("Tarvo: " + r0.pedido.modelo + ", variando " + nomes);
  std::int64_t menos = INT64_MAX, mais = 0;
  bool todos = true;
  for (const Ponto& p : pontos) {
    menos = std::min(menos, p.resultado.fim - p.resultado.inicio);
    mais = std::max(mais, p.resultado.fim - p.resultado.inicio);
    todos = todos && p.resultado.precisao_atingida;
  }
  s += ficha(r0, menos, mais, todos);
  for (const Ponto& p : pontos) {
    s += interrompido_html(p.resultado) +
         instaveis_html(p.resultado, "No ponto " + nome_do_ponto(p) + ": ");
    const std::string a = avisos_da_execucao(p.resultado);
    for (std::size_t i = 0; i < a.size();) {
      const std::size_t j = a.find('\n', i);
      s += "<p class=\"aviso\">" + escapar(a.substr(i, j - i)) + "</p>\n";
      i = j == std::string::npos ? a.size() : j + 1;
    }
  }
  s += formatar(
      "<p>%zu pontos, cada um um experimento inteiro com a mesma semente (números "
      "aleatórios comuns).</p>\n",
      pontos.size());
  s += "<h2>O modelo (no primeiro ponto)</h2>\n" + lista(c.descricao);
  // One line per value of the parameters after the first, in the order they first appear.
  std::vector<std::string> series;
  std::vector<std::size_t> serie_do_ponto;
  for (const Ponto& p : pontos) {
    std::string k;
    for (std::size_t j = 1; j < p.parametros.size(); ++j) {
      k += (k.empty() ? "" : ", ") + p.parametros[j].first + " = " + num(p.parametros[j].second);
    }
    std::size_t i = 0;
    while (i < series.size() && series[i] != k) ++i;
    if (i == series.size()) series.push_back(k);
    serie_do_ponto.push_back(i);
  }
  // The parameters' columns, the same in every figure's table.
  const std::size_t np = pontos.front().parametros.size();
  std::vector<std::vector<std::string>> parametros(np);
  for (std::size_t j = 0; j < np; ++j) {
    std::vector<double> v;
    for (const Ponto& p : pontos) v.push_back(p.parametros[j].second);
    parametros[j] = coluna_exata(v);
  }
  const std::string eixo_x = pontos.front().parametros.front().first;
  s += "<h2>Figuras contra " + escapar(eixo_x) + "</h2>\n";
  if (series.size() > 1) {
    s += "<p class=\"legenda\">";
    for (std::size_t k = 0; k < series.size(); ++k) {
      s += std::string(k ? " &nbsp; " : "") +
           "<span class=\"cor\" style=\"background:" + grafico::cor(k) + "\"></span> " +
           escapar(series[k]);
    }
    s += "</p>\n";
  }
  // The whole run's figures in the order of the charts: a chart per window of every figure would
  // bury them.
  std::vector<std::size_t> ordem;
  for (std::size_t f = 0; f < r0.ids.size(); ++f) {
    if (!r0.ids[f].janela) ordem.push_back(f);
  }
  const bool janelas = ordem.size() < r0.ids.size();
  std::stable_sort(ordem.begin(), ordem.end(), [&r0](std::size_t x, std::size_t y) {
    return sobre(r0.ids[x]).ordem < sobre(r0.ids[y]).ordem;
  });
  std::string quadros;
  std::vector<std::string> constantes;
  for (std::size_t f : ordem) {
    const Sobre so = sobre(r0.ids[f]);
    if (so.grupo.empty()) continue;
    std::vector<grafico::Serie> linhas(series.size());
    std::vector<Resumo> ms;
    std::vector<double> medias;
    std::vector<const Teorico*> ts;
    double menor = INFINITY, maior = -INFINITY;
    bool teoria = false, aprox = false;
    std::vector<std::string> fora_do_grafico;
    for (std::size_t p = 0; p < pontos.size(); ++p) {
      const Resultado& r = pontos[p].resultado;
      const Resumo m = resumo(r, f);
      grafico::Serie& l = linhas[serie_do_ponto[p]];
      l.nome = series[serie_do_ponto[p]];
      l.x.push_back(pontos[p].parametros.front().second);
      // A point where the network is unstable grows with the run: drawn, it would set the
      // scale and flatten the others; it is left to the table.
      const bool instavel = !r.instaveis.empty();
      if (instavel) fora_do_grafico.push_back(nome_do_ponto(pontos[p]));
      l.y.push_back(instavel ? NaN : m.media);
      const double hw = std::isfinite(m.meia_largura) && !instavel ? m.meia_largura : NaN;
      l.baixo.push_back(m.media - hw);
      l.alto.push_back(m.media + hw);
      l.teoria.push_back(valor_teorico(r, f));
      teoria = teoria || std::isfinite(l.teoria.back());
      aprox = aprox || aproximada(r, f);
      if (m.n > 0 && !instavel) menor = std::min(menor, m.min), maior = std::max(maior, m.max);
      ms.push_back(m);
      medias.push_back(m.media);
      ts.push_back(r.pedido.teoria ? teorico(r, f) : nullptr);
    }
    const std::string titulo = so.titulo + " — " + objeto(r0.ids[f]);
    if (!(menor < maior)) {
      constantes.push_back(titulo);
      continue;
    }
    std::vector<Coluna> colunas;
    for (const auto& [nome, v] : pontos.front().parametros) colunas.push_back({escapar(nome)});
    colunas.insert(colunas.end(), {{"Média"}, {"Intervalo"}});
    if (r0.pedido.teoria) colunas.insert(colunas.end(), {{"Teoria"}, {"Dif. rel."}});
    const std::vector<std::string> media = coluna(medias), intervalo = intervalos(ms),
                                   valor_teoria = teorias(ts);
    std::vector<LinhaTabela> tabela_linhas;
    for (std::size_t p = 0; p < pontos.size(); ++p) {
      LinhaTabela l;
      for (std::size_t j = 0; j < np; ++j) l.celulas.push_back(parametros[j][p]);
      l.celulas.insert(l.celulas.end(), {media[p], intervalo[p]});
      if (r0.pedido.teoria) {
        l.celulas.insert(l.celulas.end(), {valor_teoria[p], dif_rel(ts[p], ms[p])});
      }
      if (fora(ts[p], ms[p])) l.classe = "fora";
      if (!pontos[p].resultado.instaveis.empty()) {
        l.classe = "instavel";
        l.nota = "instável";
      }
      tabela_linhas.push_back(std::move(l));
    }
    std::string valores = "<details><summary>valores</summary>\n";
    if (aprox) {
      valores +=
          "<p class=\"legenda\">A teoria desta figura é, em algum ponto, a aproximação de dois "
          "momentos.</p>\n";
    }
    valores += tabela(colunas, tabela_linhas) + "</details>\n";
    grafico::Opcoes o;
    o.legenda = {{"linha", "média"}, {"faixa", intervalo_de(r0)}};
    if (teoria) o.legenda.push_back({"linha-teoria", "teoria"});
    const std::string depois =
        fora_do_grafico.empty()
            ? valores
            : "<p class=\"legenda\">Fora do gráfico, por instáveis (a fila cresce sem limite): " +
                  escapar(juntar_nomes(fora_do_grafico)) + "; veja os valores.</p>\n" + valores;
    quadros += quadro(
        titulo,
        grafico::linhas("varredura", eixo_x, so.unidade.empty() ? "valor" : so.unidade, linhas, o),
        depois);
  }
  s += grade(quadros);
  if (r0.pedido.teoria) {
    s += "<p class=\"legenda\">A teoria falta onde a estação é instável (carga de 1 ou "
         "mais).</p>\n";
  }
  s += sem_grafico(constantes, "pois não variam");
  if (janelas) s += sem_janelas("json e csv");
  return s + fim(c);
}

std::string pagina_comparacao(const Resultado& a, const Resultado& b, const Contexto& c) {
  std::string s = inicio("Tarvo: " + b.pedido.modelo + " comparado a " + a.pedido.modelo);
  s += "<p>A: <code>" + escapar(a.pedido.modelo) + "</code>; B: <code>" + escapar(b.pedido.modelo) +
       "</code>. " +
       formatar("%lld replicações de cada um, com a mesma semente %" PRIu32,
                static_cast<long long>(a.fim - a.inicio), a.pedido.plano.semente) +
       ": a replicação i de A e a de B usam os mesmos números aleatórios, e a diferença B − A "
       "é tomada replicação a replicação (intervalo t de Student de " +
       percentual(a.pedido.confianca) + ").</p>\n" + avisos_html(a) + avisos_html(b);
  // The whole run's figures: the windows' are in the outputs.
  std::vector<Comparada> cs = comparar(a, b);
  const auto sem = std::remove_if(cs.begin(), cs.end(),
                                  [](const Comparada& x) { return x.id.janela.has_value(); });
  const bool janelas = sem != cs.end();
  cs.erase(sem, cs.end());
  // The verdicts in the order of the charts.
  std::vector<Veredito> v = veredito(cs, true);
  std::stable_sort(v.begin(), v.end(), [](const Veredito& x, const Veredito& y) {
    return sobre(x.ids[0]).ordem < sobre(y.ids[0]).ordem;
  });
  s += "<h2>Em resumo</h2>\n";
  if (v.empty()) {
    s += "<p>Nenhum intervalo de diferença exclui 0: com estas replicações, nenhum dos dois "
         "modelos se mostra melhor.</p>\n";
  } else {
    s += "<ul>\n";
    for (const Veredito& x : v) {
      std::string titulos;
      for (const IdFigura& id : x.ids) titulos += (titulos.empty() ? "" : "; ") + sobre(id).titulo;
      s += "<li>" + escapar(titulos) + " — " + escapar(x.frase) + ".</li>\n";
    }
    s += "</ul>\n<p class=\"legenda\">Onde o intervalo da diferença exclui 0; as contagens são "
         "dos objetos dos dois modelos.</p>\n";
  }
  s += "<h2>Modelo A</h2>\n" + lista(c.descricao) + "<h2>Modelo B</h2>\n" + lista(c.descricao_b);

  const bool teoria = a.pedido.teoria || b.pedido.teoria;
  std::vector<Coluna> colunas = {
      {"Figura", true}, {"Média A"}, {"Média B"}, {"B − A"}, {"Intervalo de B − A"}};
  if (teoria) colunas.insert(colunas.end(), {{"Teoria A"}, {"Teoria B"}});
  colunas.push_back({"Melhor", true});
  std::vector<double> medias, difs;
  std::vector<Resumo> ds;
  std::vector<const Teorico*> ts;
  auto teoria_de = [](const Resultado& r, std::size_t f) {
    return f == Comparada::nenhuma || !r.pedido.teoria ? nullptr : teorico(r, f);
  };
  for (const Comparada& x : cs) medias.push_back(x.media_a);
  for (const Comparada& x : cs) medias.push_back(x.media_b);
  for (const Comparada& x : cs) ts.push_back(teoria_de(a, x.em_a));
  for (const Comparada& x : cs) ts.push_back(teoria_de(b, x.em_b));
  for (const Comparada& x : cs) {
    difs.push_back(x.diferenca.media);
    ds.push_back(x.diferenca);
  }
  const std::vector<std::string> media = coluna(medias), dif = coluna(difs),
                                 intervalo = intervalos(ds), valor_teoria = teorias(ts);
  std::vector<LinhaTabela> linhas;
  std::vector<IdFigura> ids;
  std::vector<std::size_t> de_ids;  // the comparison of each of ids
  const std::size_t n = cs.size();
  for (std::size_t k = 0; k < n; ++k) {
    const Comparada& x = cs[k];
    LinhaTabela l;
    l.celulas = {celula_figura(x.id), media[k], media[n + k], dif[k], intervalo[k]};
    if (teoria) {
      std::string ta = valor_teoria[k], tb = valor_teoria[n + k];
      if (ts[k] && fora(ts[k], resumo(a, x.em_a))) ta += " ✗";
      if (ts[n + k] && fora(ts[n + k], resumo(b, x.em_b))) tb += " ✗";
      l.celulas.insert(l.celulas.end(), {ta, tb});
    }
    if (x.so_em().empty()) {
      l.celulas.push_back(x.melhor == "-" ? "–" : x.melhor);
      ids.push_back(x.id);
      de_ids.push_back(k);
    } else {
      l.celulas.push_back("só em " + x.so_em());
      l.classe = "so";
    }
    linhas.push_back(std::move(l));
  }
  s += "<h2>Figuras</h2>\n" + tabela(colunas, linhas);
  s += "<p class=\"legenda\">Melhor: o modelo cuja figura é melhor onde o intervalo da diferença "
       "exclui 0 (menor é melhor para esperas, tamanhos, permanências e perdas; maior para vazão "
       "e saídas); “–”: sem conclusão; só em A, só em B: a figura de um modelo só (objeto "
       "acrescentado, retirado ou renomeado).";
  if (teoria) {
    s += " Teoria A, Teoria B: a teoria de filas de cada modelo; ✗: fora do intervalo da média "
         "do modelo.";
  }
  s += "</p>\n<h2>Diferenças B − A</h2>\n";
  std::string quadros;
  std::vector<std::string> constantes;
  for (const auto& [grupo, fs] : grupos(ids)) {
    const Sobre so = sobre(ids[fs[0]]);
    const std::vector<std::string> nomes = rotulos(ids, fs);
    std::vector<grafico::Linha> pontos;
    bool varia = false;
    bool classes[3] = {false, false, false};
    double escala = 0;
    for (std::size_t k = 0; k < fs.size(); ++k) {
      const Comparada& x = cs[de_ids[fs[k]]];
      const Resumo& d = x.diferenca;
      const double hw = std::isfinite(d.meia_largura) ? d.meia_largura : NaN;
      const double maior = std::max(std::fabs(x.media_a), std::fabs(x.media_b));
      if (std::isfinite(maior)) escala = std::max(escala, maior);
      varia = varia || !constante(d);
      const int qual = x.melhor == "B" ? 0 : x.melhor == "A" ? 1 : 2;
      classes[qual] = true;
      // Small against the means: the whole interval within 1% of the larger one.
      std::string nota;
      if (d.n > 0 && d.min == 0 && d.max == 0) {
        nota = "igual";
      } else if (std::isfinite(hw) && std::fabs(d.media) + hw <= 0.01 * maior) {
        nota = "desprezível";
      }
      pontos.push_back({nomes[k], d.media, d.media - hw, d.media + hw, NaN,
                        qual == 0   ? "melhor"
                        : qual == 1 ? "pior"
                                    : "neutro",
                        nomes[k] + ": B − A = " + num(d.media) + " (" + intervalos({d})[0] + ")",
                        false, nota});
    }
    const std::string titulo = titulo_grupo(grupo, so);
    if (!varia) {
      constantes.push_back(titulo);
      continue;
    }
    grafico::Opcoes o;
    o.zero = true;
    o.amplitude = 0.1 * escala;
    if (classes[0]) o.legenda.push_back({"ponto melhor", "B melhor"});
    if (classes[1]) o.legenda.push_back({"ponto pior", "A melhor"});
    if (classes[2]) o.legenda.push_back({"ponto neutro", "sem conclusão"});
    o.legenda.push_back({"intervalo", intervalo_de(a)});
    quadros += quadro(titulo + ": B − A", grafico::pontos("comparacao", so.unidade, pontos, o));
  }
  s += grade(quadros);
  s += "<p class=\"legenda\">Ponto: diferença média B − A; traço: seu intervalo; linha tracejada: "
       "0. Cada eixo cobre pelo menos um décimo da maior média da figura, para que uma diferença "
       "pequena diante das médias pareça pequena; desprezível: a diferença e seu intervalo ficam "
       "abaixo de 1% da média; igual: os dois modelos dão o mesmo valor em toda "
       "replicação.</p>\n";
  s += sem_grafico(constantes, "pois a diferença não varia");
  if (janelas) s += sem_janelas("text, json e csv");
  return s + fim(c);
}

std::string pagina_avulsa(const std::string& titulo, const std::string& corpo, const Contexto& c) {
  return inicio(titulo) + corpo + fim(c);
}

}  // namespace tarvo
