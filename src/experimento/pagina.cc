#include "experimento/pagina.h"

#include <algorithm>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <map>

#include "experimento/comparacao.h"
#include "experimento/curva.h"
#include "experimento/estatistica.h"
#include "experimento/grafico.h"
#include "model/failure.h"

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
};

Sobre sobre(const IdFigura& id) {
  struct Entrada {
    const char* tipo;
    const char* figura;
    const char* titulo;
    const char* unidade;
    bool grafico;
  };
  static const Entrada tabela[] = {
      {"rede", "tempo_final", "Tempo simulado", TEMPO, false},
      {"rede", "gerados", "Fregueses gerados", FREGUESES, false},
      {"rede", "termino_por_clientes", "Terminou pelo limite de fregueses (1 = sim)", "", false},
      {"rede", "duracoes_perdidas", "Durações perdidas pela precisão do relógio", "eventos", false},
      {"rede", "saidas", "Saídas da rede", FREGUESES, true},
      {"rede", "permanencia_media", "Permanência na rede: média", TEMPO, true},
      {"rede", "permanencia_p50", "Permanência na rede: mediana", TEMPO, true},
      {"rede", "permanencia_p90", "Permanência na rede: quantil 90%", TEMPO, true},
      {"rede", "permanencia_p95", "Permanência na rede: quantil 95%", TEMPO, true},
      {"rede", "permanencia_p99", "Permanência na rede: quantil 99%", TEMPO, true},
      {"fonte", "gerados", "Fregueses gerados", FREGUESES, true},
      {"servidor", "utilizacao", "Utilização", "fração do tempo", true},
      {"servidor", "em_servico", "Em serviço no fim", FREGUESES, false},
      {"servidor", "atendidos", "Atendidos", FREGUESES, true},
      {"servidor", "taxa_servico", "Taxa de serviço", TAXA, true},
      {"fila", "taxa_chegada", "Taxa de chegada", TAXA, true},
      {"fila", "tamanho_medio", "Número médio na fila", FREGUESES, true},
      {"fila", "espera_media", "Espera média na fila", TEMPO, true},
      {"fila", "maximo", "Máximo na fila", FREGUESES, true},
      {"fila", "tamanho_final", "Na fila no fim", FREGUESES, false},
      {"fila", "sorvedouro", "Saídas pelo sorvedouro", FREGUESES, true},
      {"estacao", "chegadas", "Chegadas", FREGUESES, true},
      {"estacao", "perdidos", "Perdidos (estação cheia)", FREGUESES, true},
      {"estacao", "prob_perda", "Probabilidade de perda", "fração das chegadas", true},
      {"estacao", "vazao", "Vazão", TAXA, true},
      {"estacao", "utilizacao", "Utilização por servidor", "fração do tempo", true},
      {"estacao", "fila_media", "Número médio na fila", FREGUESES, true},
      {"estacao", "sistema_medio", "Número médio na estação", FREGUESES, true},
      {"estacao", "espera_media", "Espera média na fila", TEMPO, true},
      {"estacao", "permanencia_media", "Permanência média na estação", TEMPO, true},
      {"estacao", "fila_maxima", "Máximo na fila", FREGUESES, true},
  };
  for (const Entrada& e : tabela) {
    if (id.tipo != e.tipo || id.figura != e.figura) continue;
    Sobre s{e.titulo, e.unidade, "", id.nome};
    if (!e.grafico) return s;
    s.grupo = id.tipo + "/" + id.figura;
    if (id.tipo == "rede" && id.figura.rfind("permanencia", 0) == 0) {
      s.grupo = "rede/permanencia";
      s.linha = id.figura == "permanencia_media" ? "média" : "p" + id.figura.substr(13);
    }
    return s;
  }
  return {id.rotulo, "", "", id.nome};
}

// The object a figure belongs to, in words.
std::string objeto(const IdFigura& id) {
  if (id.tipo == "rede") return "rede";
  const char* nome = id.tipo == "estacao" ? "estação" : id.tipo.c_str();
  return std::string(nome) + " «" + id.nome + "»";
}

// The title of a chart of a group of figures.
std::string titulo_grupo(const std::string& grupo, const Sobre& s) {
  if (grupo == "rede/permanencia") return "Permanência na rede: média e quantis";
  if (grupo == "fila/sorvedouro" || grupo == "rede/saidas") return s.titulo;
  const std::string tipo = grupo.substr(0, grupo.find('/'));
  const char* de = tipo == "fonte"      ? " por fonte"
                   : tipo == "servidor" ? " por servidor"
                   : tipo == "fila"     ? " por fila"
                   : tipo == "estacao"  ? " por estação"
                                        : "";
  return s.titulo + de;
}

// Five significant digits, whole numbers of up to twelve digits in full.
// A table's first cell: what the figure is, and under it of which object, so that a narrow
// screen still shows the numbers beside it.
std::string celula_figura(const IdFigura& id) {
  return "<td class=\"t\">" + escapar(sobre(id).titulo) + "<br><span class=\"obj\">" +
         escapar(objeto(id)) + "</span></td>";
}

std::string num(double x) {
  if (!std::isfinite(x)) return "—";
  if (std::fabs(x) >= 1e4 && std::fabs(x) < 1e12) return formatar("%.0f", x);
  return formatar("%.5g", x);
}

std::string percentual(double c) { return formatar("%g%%", 100 * c); }

const char* const ESTILO = R"(<style>
body{font-family:system-ui,-apple-system,"Segoe UI",Roboto,sans-serif;margin:0 auto;
max-width:760px;padding:12px;color:#1b1b1b;line-height:1.45;font-size:16px}
h1{font-size:1.45em;margin:.4em 0}h2{font-size:1.2em;margin-top:1.6em;border-bottom:1px solid #ccc}
h3{font-size:1em;margin:1.4em 0 .3em}h1,h2,h3,p,li{overflow-wrap:anywhere}
.rolar{overflow-x:auto;-webkit-overflow-scrolling:touch}
table{border-collapse:collapse;font-size:14px;margin:.4em 0}
th,td{padding:3px 8px;border-bottom:1px solid #e2e2e2;text-align:right;white-space:nowrap}
th{background:#f2f2f2}td.t,th.t{text-align:left;white-space:normal;min-width:9em}
.obj{font-size:12px;color:#666}tr.fora td{background:#fff1e6}
svg.grafico{display:block;width:100%;max-width:560px;height:auto;font-size:12px}
svg text{fill:#1b1b1b}svg text.titulo{font-size:13px;fill:#333}svg text.nada{fill:#888}
svg text.nota{fill:#7a4a00}
.grade{stroke:#e6e6e6}.eixo{stroke:#555}.zero{stroke:#000;stroke-dasharray:4 3}
.marca{stroke:#b36b00;stroke-width:1.5;stroke-dasharray:6 3}
.bigode{stroke:#1f5fa8;stroke-width:1.6}
circle.ponto{fill:var(--cor,#1f5fa8)}circle.ponto.melhor{fill:#2a8a3e}
circle.ponto.pior{fill:#c0392b}circle.ponto.neutro{fill:#777}circle.ponto.fina{opacity:.45}
path.teoria{fill:#fff;stroke:#000;stroke-width:1.5}path.teoria.aprox{fill:#bbb;stroke:#555}
polyline.teoria{fill:none;stroke:#000;stroke-width:1.5;stroke-dasharray:5 4}
polyline.media{fill:none;stroke:var(--cor);stroke-width:2}polyline.media.fina{stroke-width:1;opacity:.5}
polygon.faixa{fill:var(--cor);fill-opacity:.18;stroke:none}
.legenda{font-size:14px;color:#444;margin:.2em 0 1em}.aviso{background:#fff6d6;padding:6px 10px}
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

std::string avisos_html(const Resultado& r) {
  std::string s, a = avisos(r);
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

// The theory's cells: value with its method, and the relative difference.
std::string celulas_teoria(const Teorico* t, const Resumo& m) {
  if (t == nullptr) return "<td>—</td><td>—</td>";
  if (t->metodo == "instavel") {
    return "<td class=\"t\">instável (carga " + num(t->carga) + ")</td><td>—</td>";
  }
  std::string v = num(t->valor);
  if (t->metodo == "aproximada") v += " (aprox.)";
  const std::string dif = diferenca_relativa(*t, m).value_or("—");
  return "<td>" + v + "</td><td>" + dif + (fora(t, m) ? " ✗" : "") + "</td>";
}

std::string intervalo(const Resumo& m) {
  if (!std::isfinite(m.meia_largura)) return "—";
  return num(m.media - m.meia_largura) + " – " + num(m.media + m.meia_largura);
}

std::string tabela_figuras(const Resultado& r) {
  const bool teoria = r.pedido.teoria;
  std::string s =
      "<div class=\"rolar\"><table>\n<tr><th class=\"t\">Figura</th>"
      "<th>Média</th><th>Intervalo</th><th>n</th>";
  if (teoria) s += "<th>Teoria</th><th>Dif. rel.</th>";
  s += "</tr>\n";
  for (std::size_t f = 0; f < r.ids.size(); ++f) {
    const Resumo m = resumir(r.valores[f], r.valores[f].size(), r.pedido.confianca);
    const Teorico* t = teoria ? teorico(r, f) : nullptr;
    s += std::string(fora(t, m) ? "<tr class=\"fora\">" : "<tr>") + celula_figura(r.ids[f]) +
         "<td>" + num(m.media) + "</td><td>" + intervalo(m) + "</td><td>" +
         formatar("%lld", static_cast<long long>(m.n)) + "</td>";
    if (teoria) s += celulas_teoria(t, m);
    s += "</tr>\n";
  }
  s += "</table></div>\n";
  if (teoria) {
    s += "<p class=\"legenda\">Teoria: o valor da teoria de filas (exato onde vale; (aprox.): "
         "aproximação de dois momentos). Dif. rel.: (média − teoria) / teoria. ✗ e fundo "
         "laranja: a teoria fica fora do intervalo.</p>\n";
  }
  return s;
}

// The groups of figures that have a chart, in the order of their first figure, and their figures.
std::vector<std::pair<std::string, std::vector<std::size_t>>> grupos(
    const std::vector<IdFigura>& ids) {
  std::vector<std::pair<std::string, std::vector<std::size_t>>> g;
  std::map<std::string, std::size_t> onde;
  for (std::size_t f = 0; f < ids.size(); ++f) {
    const std::string k = sobre(ids[f]).grupo;
    if (k.empty()) continue;
    const auto [it, novo] = onde.emplace(k, g.size());
    if (novo) g.push_back({k, {}});
    g[it->second].second.push_back(f);
  }
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

std::string legenda_pontos(const Resultado& r, bool teoria, bool aproximada) {
  return "<p class=\"legenda\">Ponto: média das replicações; traço: intervalo de " +
         percentual(r.pedido.confianca) + (teoria ? "; losango: teoria" : "") +
         (aproximada ? " (cinza: aproximação de dois momentos)" : "") + ".</p>\n";
}

bool aproximada(const Resultado& r, std::size_t f) {
  const Teorico* t = teorico(r, f);
  return t != nullptr && t->metodo == "aproximada";
}

std::string graficos(const Resultado& r) {
  std::string s;
  for (const auto& [grupo, fs] : grupos(r.ids)) {
    const std::vector<std::string> nomes = rotulos(r.ids, fs);
    std::vector<grafico::Linha> linhas;
    bool algum = false, teoria = false, aprox = false;
    for (std::size_t k = 0; k < fs.size(); ++k) {
      const std::size_t f = fs[k];
      const Resumo m = resumir(r.valores[f], r.valores[f].size(), r.pedido.confianca);
      const double t = valor_teorico(r, f);
      algum = algum || std::isfinite(m.media);
      teoria = teoria || std::isfinite(t);
      aprox = aprox || aproximada(r, f);
      const double hw = std::isfinite(m.meia_largura) ? m.meia_largura : NaN;
      linhas.push_back({nomes[k], m.media, m.media - hw, m.media + hw, t, "",
                        nomes[k] + ": " + num(m.media) + " (" + intervalo(m) + ")" +
                            (std::isfinite(t) ? "; teoria " + num(t) : ""),
                        aproximada(r, f)});
    }
    if (!algum) continue;
    const Sobre so = sobre(r.ids[fs[0]]);
    s += "<h3>" + escapar(titulo_grupo(grupo, so)) + "</h3>\n" +
         grafico::pontos("figuras", so.unidade, linhas, false) + "\n" +
         legenda_pontos(r, teoria, aprox);
  }
  return s;
}

std::string grafico_espera(const Resultado& r) {
  if (r.espera.replicacoes() == 0) return "";
  if (r.estacoes_espera.empty()) {
    return "<h2>Aquecimento (gráfico de Welch)</h2>\n<p>O modelo não tem fila onde fregueses "
           "esperem: nada a seguir.</p>\n";
  }
  const Serie m = r.espera.media();
  std::string s =
      "<h2>Aquecimento (gráfico de Welch)</h2>\n<p>Para cada fila, o número médio de fregueses "
      "esperando em cada intervalo de " +
      num(m.largura) +
      " unidades de tempo, na média das replicações (pontos), e a média móvel desses valores "
      "(linha). O aquecimento a escolher é o tempo a partir do qual a linha fica estável.";
  if (r.pedido.aquecimento > 0) s += " A linha tracejada marca o aquecimento usado nesta execução.";
  s += "</p>\n";
  for (std::size_t e = 0; e < r.estacoes_espera.size(); ++e) {
    const std::vector<double>& y = m.medias[e];
    if (y.empty()) {
      s += "<p>" + escapar(r.estacoes_espera[e]) +
           ": a execução não cobriu nenhum intervalo inteiro.</p>\n";
      continue;
    }
    const std::size_t janela = std::max<std::size_t>(1, y.size() / 40);
    grafico::Serie bins{"média no intervalo", {}, y, {}, {}, {}, true, "fina"};
    for (std::size_t k = 0; k < y.size(); ++k) {
      bins.x.push_back(m.largura * (static_cast<double>(k) + 0.5));
    }
    grafico::Serie movel{"média móvel", bins.x, media_movel(y, janela), {}, {}, {}, false, ""};
    s += "<h3>" + escapar(r.estacoes_espera[e]) + ": fregueses esperando ao longo do tempo</h3>\n" +
         grafico::linhas("aquecimento", "tempo simulado", "fregueses na fila", {bins, movel},
                         r.pedido.aquecimento > 0 ? r.pedido.aquecimento : NaN, "aquecimento") +
         "\n";
    s += formatar(
        "<p class=\"legenda\">%zu intervalos, média móvel de janela %zu (%zu intervalos de cada "
        "lado).</p>\n",
        y.size(), janela, janela);
  }
  return s;
}

}  // namespace

std::string pagina(const Resultado& r, const Contexto& c) {
  std::string s = inicio("Tarvo: " + r.pedido.modelo);
  s += ficha(r, r.fim - r.inicio, r.fim - r.inicio, r.precisao_atingida) + avisos_html(r);
  s += "<h2>O modelo</h2>\n" + lista(c.descricao);
  s += "<h2>Figuras</h2>\n" + tabela_figuras(r);
  s += "<h2>Gráficos</h2>\n" + graficos(r);
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
  for (const Ponto& p : pontos) s += avisos_html(p.resultado);
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
  const std::string eixo_x = pontos.front().parametros.front().first;
  s += "<h2>Figuras contra " + escapar(eixo_x) + "</h2>\n";
  s += "<p class=\"legenda\">Pontos e linha: média das replicações; faixa: intervalo de " +
       percentual(r0.pedido.confianca) +
       (r0.pedido.teoria ? "; tracejado: teoria (ausente onde a estação é instável)" : "") +
       ".</p>\n";
  if (series.size() > 1) {
    s += "<p class=\"legenda\">";
    for (std::size_t k = 0; k < series.size(); ++k) {
      s += std::string(k ? " &nbsp; " : "") +
           "<span class=\"cor\" style=\"background:" + grafico::cor(k) + "\"></span> " +
           escapar(series[k]);
    }
    s += "</p>\n";
  }
  for (std::size_t f = 0; f < r0.ids.size(); ++f) {
    const Sobre so = sobre(r0.ids[f]);
    if (so.grupo.empty()) continue;
    std::vector<grafico::Serie> linhas(series.size());
    bool algum = false;
    std::string tabela = "<details><summary>valores</summary><div class=\"rolar\"><table>\n<tr>";
    for (const auto& [nome, v] : pontos.front().parametros) {
      tabela += "<th>" + escapar(nome) + "</th>";
    }
    tabela += "<th>Média</th><th>Intervalo</th>";
    if (r0.pedido.teoria) tabela += "<th>Teoria</th><th>Dif. rel.</th>";
    tabela += "</tr>\n";
    for (std::size_t p = 0; p < pontos.size(); ++p) {
      const Resultado& r = pontos[p].resultado;
      const Resumo m = resumir(r.valores[f], r.valores[f].size(), r.pedido.confianca);
      grafico::Serie& l = linhas[serie_do_ponto[p]];
      l.nome = series[serie_do_ponto[p]];
      l.x.push_back(pontos[p].parametros.front().second);
      l.y.push_back(m.media);
      const double hw = std::isfinite(m.meia_largura) ? m.meia_largura : NaN;
      l.baixo.push_back(m.media - hw);
      l.alto.push_back(m.media + hw);
      l.teoria.push_back(valor_teorico(r, f));
      algum = algum || std::isfinite(m.media);
      const Teorico* t = r.pedido.teoria ? teorico(r, f) : nullptr;
      tabela += fora(t, m) ? "<tr class=\"fora\">" : "<tr>";
      for (const auto& [nome, v] : pontos[p].parametros) tabela += "<td>" + num(v) + "</td>";
      tabela += "<td>" + num(m.media) + "</td><td>" + intervalo(m) + "</td>";
      if (r.pedido.teoria) tabela += celulas_teoria(t, m);
      tabela += "</tr>\n";
    }
    if (!algum) continue;
    bool aprox = false;
    for (const Ponto& p : pontos) aprox = aprox || aproximada(p.resultado, f);
    if (aprox) {
      tabela =
          "<p class=\"legenda\">A teoria desta figura é, em algum ponto, a aproximação de "
          "dois momentos.</p>\n" +
          tabela;
    }
    s += "<h3>" + escapar(so.titulo) + " — " + escapar(objeto(r0.ids[f])) + "</h3>\n";
    s += grafico::linhas("varredura", eixo_x, so.unidade.empty() ? "valor" : so.unidade, linhas) +
         "\n" + tabela + "</table></div></details>\n";
  }
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
  s += "<h2>Modelo A</h2>\n" + lista(c.descricao) + "<h2>Modelo B</h2>\n" + lista(c.descricao_b);
  const std::vector<Comparada> cs = comparar(a, b);
  s += "<h2>Figuras</h2>\n<div class=\"rolar\"><table>\n<tr><th class=\"t\">Figura</th><th>Média "
       "A</th><th>Média B</th><th>B − A</th>"
       "<th>Intervalo de B − A</th><th class=\"t\">Melhor</th></tr>\n";
  std::vector<IdFigura> ids;
  for (const Comparada& x : cs) {
    ids.push_back(x.id);
    s += "<tr>" + celula_figura(x.id) + "<td>" + num(x.media_a) + "</td><td>" + num(x.media_b) +
         "</td><td>" + num(x.diferenca.media) + "</td><td>" + intervalo(x.diferenca) +
         "</td><td class=\"t\">" + escapar(x.melhor) + "</td></tr>\n";
  }
  s += "</table></div>\n<p class=\"legenda\">Melhor: o modelo cuja figura é melhor onde o "
       "intervalo da diferença exclui 0 (menor é melhor para esperas, tamanhos e perdas; maior "
       "para vazão e saídas); “-”: sem conclusão.</p>\n";
  s += "<h2>Diferenças B − A</h2>\n";
  for (const auto& [grupo, fs] : grupos(ids)) {
    const std::vector<std::string> nomes = rotulos(ids, fs);
    std::vector<grafico::Linha> linhas;
    bool algum = false;
    for (std::size_t k = 0; k < fs.size(); ++k) {
      const Comparada& x = cs[fs[k]];
      const Resumo& d = x.diferenca;
      const double hw = std::isfinite(d.meia_largura) ? d.meia_largura : NaN;
      algum = algum || std::isfinite(d.media);
      linhas.push_back({nomes[k], d.media, d.media - hw, d.media + hw, NaN,
                        x.melhor == "B"   ? "melhor"
                        : x.melhor == "A" ? "pior"
                                          : "neutro",
                        nomes[k] + ": B − A = " + num(d.media) + " (" + intervalo(d) + ")"});
    }
    if (!algum) continue;
    const Sobre so = sobre(ids[fs[0]]);
    s += "<h3>" + escapar(titulo_grupo(grupo, so)) + ": B − A</h3>\n" +
         grafico::pontos("comparacao", so.unidade, linhas, true) + "\n";
  }
  s += "<p class=\"legenda\">Ponto: diferença média B − A; traço: seu intervalo de " +
       percentual(a.pedido.confianca) +
       "; linha tracejada: 0. Verde: B é melhor; vermelho: A é melhor; cinza: sem "
       "conclusão.</p>\n";
  return s + fim(c);
}

}  // namespace tarvo
