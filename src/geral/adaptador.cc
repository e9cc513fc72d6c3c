// Replications of an extended model: each one a run of the second engine on streams of its own.
#include "geral/adaptador.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "comum/failure.h"
#include "geral/classes.h"
#include "geral/distribuicao.h"
#include "geral/motor.h"
#include "teoria/figuras.h"

namespace tarvo {

namespace {

// Items joined as a list is said: "a, b ou c".
std::string ou(const std::vector<std::string>& itens) {
  std::string t;
  for (std::size_t k = 0; k < itens.size(); ++k) {
    t += (k == 0 ? "" : k + 1 == itens.size() ? " ou " : ", ") + itens[k];
  }
  return t;
}

// A distribution in words, with the parameters the file gives it, after a masculine noun
// ("intervalo", "serviço").
std::string em_palavras(const geral::Distribuicao& d) {
  using geral::Dist;
  switch (d.tipo) {
    case Dist::exponencial:
      return formatar("exponencial de média %g", d.media);
    case Dist::uniforme:
      return formatar("uniforme entre %g e %g", d.min, d.max);
    case Dist::deterministica:
      return formatar("sempre %g", d.valor);
    case Dist::erlang:
      return formatar("Erlang de %d %s e média %g", d.k, d.k == 1 ? "fase" : "fases", d.media);
    case Dist::gama:
      return formatar("gama de forma %g e média %g", d.forma, d.media);
    case Dist::lognormal:
      return formatar("lognormal de média %g e desvio %g", d.media, d.desvio);
    case Dist::weibull:
      return formatar("Weibull de forma %g e média %g", d.forma, d.media);
    case Dist::triangular:
      return formatar("triangular de %g a %g, moda %g", d.min, d.max, d.moda);
    case Dist::hiperexponencial:
      return formatar("hiperexponencial de média %g e cv %g", d.media, d.cv);
    case Dist::empirica: {
      // A long list says little to a reader: its size, mean and range instead.
      if (d.valores.size() > 5) {
        const auto [menor, maior] = std::minmax_element(d.valores.begin(), d.valores.end());
        return formatar("empírico, um de %zu valores com a mesma chance (média %g, de %g a %g)",
                        d.valores.size(), geral::media(d), *menor, *maior);
      }
      std::vector<std::string> v;
      for (double x : d.valores) v.push_back(formatar("%g", x));
      return "empírico, um de " + ou(v) + " com a mesma chance";
    }
  }
  return "?";
}

// Items joined as a list is said: "a, b e c".
std::string e_lista(const std::vector<std::string>& itens) {
  std::string t;
  for (std::size_t k = 0; k < itens.size(); ++k) {
    t += (k == 0 ? "" : k + 1 == itens.size() ? " e " : ", ") + itens[k];
  }
  return t;
}

// A value by the time of day in words: "3 a partir de 0, 14 a partir de 8 e 5 a partir de 18,
// repetido a cada 24".
template <class T, class F>
std::string por_horario(const geral::PorHorario<T>& h, F valor) {
  std::vector<std::string> v;
  for (const auto& [t, x] : h.valores) v.push_back(valor(x) + formatar(" a partir de %g", t));
  return e_lista(v) + formatar(", repetido a cada %g", h.periodo);
}

// Where customers go after a route, in words.
std::string destino(const geral::Rede& rede, const geral::Rota& rota) {
  double resto = 1;
  std::vector<std::string> t;
  for (const geral::Destino& d : rota) {
    const std::string& nome = rede.estacoes[static_cast<std::size_t>(d.estacao)].nome;
    t.push_back("«" + nome + "»" + (d.p < 1 ? formatar(" (%g%%)", 100 * d.p) : std::string()));
    resto -= d.p;
  }
  if (t.empty()) return "deixam a rede";
  if (resto > 1e-12) t.push_back(formatar("deixam a rede (%g%%)", 100 * resto));
  return "vão para " + ou(t);
}

// The order a station serves its queue in, in words.
std::string ordem(const geral::Estacao& e) {
  using geral::Disciplina;
  switch (e.disciplina) {
    case Disciplina::fifo:
      return "fila única por ordem de chegada";
    case Disciplina::lifo:
      return "fila em que o último a chegar é o primeiro atendido";
    case Disciplina::aleatoria:
      return "fila atendida em ordem sorteada";
    case Disciplina::ps:
      return "servidores repartidos entre todos os presentes (processor sharing)";
    case Disciplina::prioridade:
      return "fila por prioridade da classe, sem interromper quem está em serviço";
    case Disciplina::prioridade_preemptiva:
      return "fila por prioridade da classe; quem chega de classe melhor interrompe o pior em "
             "serviço, que depois retoma o que faltava";
  }
  return "";
}

std::vector<std::string> descrever(const geral::Rede& rede) {
  std::vector<std::string> d;
  for (const geral::Classe& k : rede.classes) {
    std::string t = "Classe «" + k.nome + "»: ";
    t += k.populacao ? formatar("fechada, %lld %s que circulam sem fim a partir de «%s»",
                                static_cast<long long>(*k.populacao),
                                *k.populacao == 1 ? "freguês" : "fregueses",
                                rede.estacoes[static_cast<std::size_t>(k.inicio)].nome.c_str())
                     : std::string("aberta");
    d.push_back(t + formatar(", prioridade %d.", k.prioridade));
  }
  auto de_classe = [&rede](int k) {
    return rede.classes.empty()
               ? std::string()
               : " da classe «" + rede.classes[static_cast<std::size_t>(k)].nome + "»";
  };
  for (const geral::Fonte& f : rede.fontes) {
    std::string t = "Fonte «" + f.nome + "»: ";
    if (f.taxa) {
      t += "chegadas de Poisson à taxa " +
           por_horario(*f.taxa, [](double x) { return formatar("%g por unidade de tempo", x); });
    } else {
      t += "intervalo entre chegadas " + em_palavras(f.intervalo);
    }
    if (f.lote) {
      t += f.lote->tipo == geral::Dist::deterministica
               ? formatar(", em lotes de %g", f.lote->valor)
               : ", em lotes de tamanho " + em_palavras(*f.lote);
    }
    d.push_back(t + "; os fregueses" + de_classe(f.classe) + " " + destino(rede, f.rota) + ".");
  }
  for (const geral::Estacao& e : rede.estacoes) {
    std::string t = "Estação «" + e.nome + "»: ";
    t += e.infinitos ? std::string("servidores sem limite (ninguém espera)")
         : e.turnos  ? "servidores por turno: " +
                          por_horario(*e.turnos, [](int x) { return formatar("%d", x); }) +
                          " (quando diminuem, quem está em serviço termina o atendimento)"
         : e.servidores == 1 ? std::string("1 servidor")
                             : formatar("%d servidores", e.servidores);
    if (e.capacidade) {
      t += formatar(", no máximo %lld %s", static_cast<long long>(*e.capacidade),
                    *e.capacidade == 1 ? "freguês" : "fregueses");
      t += e.bloqueia ? " (com ela cheia, quem vem de outra estação espera no servidor de lá; "
                        "quem vem de uma fonte se perde)"
                      : " (quem chega com ela cheia se perde)";
    }
    if (!e.infinitos) t += ", " + ordem(e);
    t += ", serviço " + em_palavras(e.servico);
    if (e.paciencia) t += "; quem espera desiste após um tempo " + em_palavras(*e.paciencia);
    if (!e.desistencia.empty()) {
      std::vector<std::string> p, n;
      for (std::size_t i = 0; i < e.desistencia.size(); ++i) {
        p.push_back(formatar("%g%%", 100 * e.desistencia[i]));
        n.push_back(formatar(i + 1 == e.desistencia.size() && i > 0 ? "%zu ou mais" : "%zu", i));
      }
      t += "; quem chega entra na fila com chance " + e_lista(p) + " se encontra " + e_lista(n) +
           " esperando";
    }
    t += "; os atendidos " + destino(rede, e.rota) + ".";
    for (std::size_t k = 0; k < e.classes.size(); ++k) {
      const geral::DaClasse& x = e.classes[k];
      if (!x.servico && !x.rota && !x.proxima_classe && !x.paciencia) continue;
      t += " Os" + de_classe(static_cast<int>(k)) + ":";
      if (x.servico) t += " serviço " + em_palavras(*x.servico) + ";";
      if (x.paciencia) t += " desistem após um tempo " + em_palavras(*x.paciencia) + ";";
      t += " " + destino(rede, x.rota ? *x.rota : e.rota);
      if (x.proxima_classe) {
        t +=
            " como classe «" + rede.classes[static_cast<std::size_t>(*x.proxima_classe)].nome + "»";
      }
      t += ".";
    }
    d.push_back(t);
  }
  std::string fim = "Fim: ";
  if (rede.tempo) fim += formatar("no tempo %g", *rede.tempo);
  if (rede.tempo && rede.fregueses) fim += " ou ";
  if (rede.fregueses) {
    fim += formatar("ao gerar o freguês %lld", static_cast<long long>(*rede.fregueses));
  }
  if (rede.tempo && rede.fregueses) fim += ", o que vier primeiro";
  if (rede.aquecimento > 0) {
    fim += formatar("; as estatísticas começam no tempo %g", rede.aquecimento);
  }
  if (rede.janela) fim += formatar("; figuras também por janela de %g", *rede.janela);
  d.push_back(fim + ".");
  return d;
}

// The draws one variate takes, as a multiple of an ordinary one's: an Erlang of few phases is
// the sum of its exponentials.
double custo(const geral::Distribuicao& d) {
  return d.tipo == geral::Dist::erlang && d.k <= geral::kFasesSomadas ? static_cast<double>(d.k)
                                                                      : 1.0;
}

// A source's customers per unit of time, on average over its period and batches.
double taxa_media(const geral::Fonte& f) {
  double r = 0;
  if (f.taxa) {
    for (std::size_t i = 0; i < f.taxa->valores.size(); ++i) {
      const double fim =
          i + 1 < f.taxa->valores.size() ? f.taxa->valores[i + 1].first : f.taxa->periodo;
      r += f.taxa->valores[i].second * (fim - f.taxa->valores[i].first);
    }
    r /= f.taxa->periodo;
  } else if (geral::media(f.intervalo) > 0) {
    r = 1 / geral::media(f.intervalo);
  }
  return f.lote ? r * geral::media(*f.lote) : r;
}

class Geral final : public Modelo {
 public:
  Geral(const geral::Rede& lida, const std::string& texto, const Ajustes& ajustes)
      : rede_(com_limiar(lida, ajustes)),
        pronta_(geral::preparar_rede(rede_)),
        teoria_(teoria::de_geral(rede_)),
        descricao_(descrever(rede_)) {
    assinatura_ = assinatura_do_texto(texto);
    // Customers wait only where servers are limited; the bins start at the mean time between
    // arrivals.
    for (std::size_t e = 0; e < rede_.estacoes.size(); ++e) {
      if (rede_.estacoes[e].infinitos) continue;
      seguidas_.push_back(e);
      nomes_seguidas_.push_back(rede_.estacoes[e].nome);
    }
    double taxa = 0;
    for (const geral::Fonte& f : rede_.fontes) taxa += taxa_media(f);
    const double sem = std::numeric_limits<double>::infinity();
    horizonte_ =
        horizonte_esperado(rede_.tempo.value_or(sem),
                           rede_.fregueses ? static_cast<double>(*rede_.fregueses) : sem, taxa);
    largura_ = largura_inicial(taxa);
    std::string classe;  // of the figures that follow: empty for all classes
    auto id = [this, &classe](const char* tipo, const std::string& nome, int numero,
                              const char* figura, const std::string& rotulo) {
      ids_.push_back({tipo, nome, numero, figura, rotulo, std::nullopt, classe});
    };
    // With classes declared, the network's and every station's figures for all classes, then
    // per class; a closed class has its cycle instead of the network's sojourn.
    std::vector<std::string> classes = {""};
    for (const geral::Classe& k : rede_.classes) classes.push_back(k.nome);
    id("rede", "rede", 0, "tempo_final", "TEMPO SIMULADO");
    for (std::size_t k = 0; k < classes.size(); ++k) {
      classe = classes[k];
      if (k > 0 && rede_.classes[k - 1].populacao) continue;
      id("rede", "rede", 0, "saidas", "SAIDAS DA REDE");
      id("rede", "rede", 0, "permanencia_media", "TEM.MED.REDE");
      id("rede", "rede", 0, "permanencia_p50", "TEM.REDE P50");
      id("rede", "rede", 0, "permanencia_p90", "TEM.REDE P90");
      id("rede", "rede", 0, "permanencia_p95", "TEM.REDE P95");
      id("rede", "rede", 0, "permanencia_p99", "TEM.REDE P99");
      histogramas_.push_back({"rede", "rede", "permanencia", classe});
    }
    classe.clear();
    int j = 0;
    for (const geral::Fonte& f : rede_.fontes)
      id("fonte", f.nome, ++j, "gerados", "NUM.CLIENTE.GER.");
    j = 0;
    for (const geral::Classe& k : rede_.classes) {
      ++j;
      if (!k.populacao) continue;
      id("classe", k.nome, j, "ciclo", "TEM.CICLO");
      id("classe", k.nome, j, "vazao", "PASSAGENS/T");
    }
    j = 0;
    for (const geral::Estacao& e : rede_.estacoes) {
      ++j;
      for (const std::string& k : classes) {
        classe = k;
        id("estacao", e.nome, j, "chegadas", "NUM.CHEGADAS");
        id("estacao", e.nome, j, "perdidos", "NUM.PERDIDOS");
        id("estacao", e.nome, j, "prob_perda", "PROB.PERDA");
        id("estacao", e.nome, j, "vazao", "VAZAO");
        id("estacao", e.nome, j, "utilizacao", "UTILIZ.");
        id("estacao", e.nome, j, "fila_media", "TAM.MED.FIL");
        id("estacao", e.nome, j, "sistema_medio", "TAM.MED.EST.");
        id("estacao", e.nome, j, "espera_media", "TEM.MED.FIL");
        id("estacao", e.nome, j, "prob_espera", "PROB.ESPERA");
        id("estacao", e.nome, j, "espera_p50", "TEM.FIL P50");
        id("estacao", e.nome, j, "espera_p90", "TEM.FIL P90");
        id("estacao", e.nome, j, "espera_p95", "TEM.FIL P95");
        id("estacao", e.nome, j, "espera_p99", "TEM.FIL P99");
        if (e.limiar) {
          id("estacao", e.nome, j, "nivel_servico", formatar("NIVEL SERV.<=%g", *e.limiar));
          ids_.back().limiar = e.limiar;
        }
        id("estacao", e.nome, j, "permanencia_media", "TEM.MED.EST.");
        id("estacao", e.nome, j, "fila_maxima", "MAX.FIL.");
        const geral::EstacaoPronta& p = pronta_.estacoes[static_cast<std::size_t>(j - 1)];
        if (p.paciencia) {
          id("estacao", e.nome, j, "abandonos", "ABANDONOS");
          id("estacao", e.nome, j, "prob_abandono", "PROB.ABANDONO");
        }
        if (!e.desistencia.empty()) {
          id("estacao", e.nome, j, "desistencias", "DESISTENCIAS");
          id("estacao", e.nome, j, "prob_desistencia", "PROB.DESIST.");
        }
        if (bloqueavel(static_cast<std::size_t>(j - 1)))
          id("estacao", e.nome, j, "bloqueio", "BLOQUEIO");
        if (e.turnos) id("estacao", e.nome, j, "servidores_medio", "SERV.MEDIO");
        histogramas_.push_back({"estacao", e.nome, "espera", classe});
      }
    }
    // The same figures per window, but the time the run ended.
    inteiras_ = ids_.size();
    for (std::int64_t w = 0; w < pronta_.n_janelas; ++w) {
      for (std::size_t f = 1; f < inteiras_; ++f) {
        IdFigura x = ids_[f];
        x.janela = static_cast<int>(w);
        x.inicio = static_cast<double>(w) * *pronta_.janela;
        ids_.push_back(std::move(x));
      }
    }
  }

  const std::vector<IdFigura>& figuras() const override { return ids_; }
  std::vector<IdHistograma> histogramas() const override { return histogramas_; }
  std::uint64_t assinatura() const override { return assinatura_; }

  std::vector<std::optional<Teorico>> teoria() const override {
    // Stations are numbered from 1 in the file's order.
    const std::vector<IdFigura> inteiras(ids_.begin(),
                                         ids_.begin() + static_cast<std::ptrdiff_t>(inteiras_));
    auto estacao = [](const IdFigura& id) { return id.tipo == "estacao" ? id.numero - 1 : -1; };
    std::vector<std::optional<Teorico>> t =
        teoria::teoria_das_figuras(teoria::resolver(teoria_), inteiras, estacao);
    // Each window by its own solution, as if its rates and servers held for ever.
    teoria::Resolvidos resolvidos;
    const std::size_t por_janela = inteiras_ - 1;
    for (std::int64_t w = 0; w < pronta_.n_janelas; ++w) {
      const auto inicio = ids_.begin() + static_cast<std::ptrdiff_t>(
                                             inteiras_ + static_cast<std::size_t>(w) * por_janela);
      const std::vector<IdFigura> da_janela(inicio,
                                            inicio + static_cast<std::ptrdiff_t>(por_janela));
      const double a = inicio->inicio;
      const double b = std::min(a + *pronta_.janela, *pronta_.tempo);
      const std::vector<std::optional<Teorico>> x = teoria::teoria_das_figuras(
          teoria::na_janela(teoria_, a, b, &resolvidos), da_janela, estacao);
      t.insert(t.end(), x.begin(), x.end());
    }
    return t;
  }

  std::vector<Instavel> instaveis() const override {
    std::vector<Instavel> v;
    teoria::Solucao s;
    try {
      s = teoria::resolver(teoria_);
    } catch (const Falha&) {
      return v;  // no traffic equations to tell: a run without --theory goes on
    }
    for (std::size_t e = 0; e < s.estacoes.size(); ++e) {
      if (s.estacoes[e].metodo == teoria::Metodo::instavel) {
        v.push_back({"estacao", rede_.estacoes[e].nome, s.estacoes[e].carga});
      }
    }
    return v;
  }

  double aquecimento_padrao() const override { return pronta_.aquecimento; }
  std::optional<double> tempo_limite() const override { return rede_.tempo; }

  double eventos_esperados() const override {
    // Each customer is one arrival, then one completion per service: per unit of time, the
    // sources' rates and each station's throughput, which no station's servers can exceed.
    // Without a unique solution of the traffic equations (customers that never leave), every
    // station is taken as busy all the time.
    std::vector<double> lambda;
    try {
      lambda = teoria::taxas(teoria_, std::vector<double>(rede_.estacoes.size(), 1.0));
    } catch (const Falha&) {
      lambda.assign(rede_.estacoes.size(), std::numeric_limits<double>::infinity());
    }
    double porUnidade = 0;
    for (const geral::Fonte& f : rede_.fontes) {
      const double m = geral::media(f.intervalo);
      porUnidade += f.taxa || f.lote ? taxa_media(f)
                    : m > 0          ? custo(f.intervalo) / m
                                     : std::numeric_limits<double>::infinity();
    }
    for (std::size_t e = 0; e < rede_.estacoes.size(); ++e) {
      const geral::Estacao& x = rede_.estacoes[e];
      const double m = geral::media(x.servico);
      double l = lambda[e];
      if (!x.infinitos && m > 0) l = std::min(l, static_cast<double>(x.servidores) / m);
      porUnidade += l * custo(x.servico);
    }
    return horizonte_ * porUnidade;
  }

  std::string aviso_sem_eventos() const override {
    std::string l;
    if (rede_.tempo) l = formatar("tempo = %g", *rede_.tempo);
    if (rede_.fregueses) {
      l += (l.empty() ? "" : ", ") +
           formatar("fregueses = %lld", static_cast<long long>(*rede_.fregueses));
    }
    return "Aviso: nenhum evento foi simulado (" + l + ")";
  }

  // Every replication draws from streams of its own, which no other replication's can meet.
  std::uint64_t sorteios_por_replicacao(const Plano&) const override { return 0; }

  std::vector<std::string> descricao() const override { return descricao_; }
  std::vector<std::string> estacoes_em_espera() const override { return nomes_seguidas_; }

  Replicacao rodar(const Plano& plano, std::int64_t i, const Rodada& r) const override {
    const std::uint64_t indice = static_cast<std::uint64_t>(i);
    geral::Corrida c(pronta_, plano.semente, indice, r.aquecimento);
    c.parar = r.parar;
    c.andamento = r.andamento;
    if (r.espera == nullptr) {
      geral::rodar(c);
    } else {
      // Event by event, as rodar goes, the number waiting held since the previous one.
      Registro registro(seguidas_.size(), largura_);
      std::vector<double> n(seguidas_.size());
      for (std::uint64_t k = 1;; ++k) {
        for (std::size_t q = 0; q < n.size(); ++q) {
          n[q] = static_cast<double>(geral::esperando(c, seguidas_[q]));
        }
        const bool mais = geral::passo(c);
        registro.ate(c.relogio, n.data());
        if (!mais) break;
        if (k % 16384 == 0) {
          if (r.andamento != nullptr) r.andamento->store(geral::andamento(c));
          if (r.parar != nullptr && r.parar->load()) throw Interrompida{};
        }
      }
      *r.espera = registro.serie();
    }
    if (c.interrompida) throw Interrompida{};
    Replicacao rep;
    rep.sorteios = geral::sorteios(c);
    rep.semente = geral::chave_replicacao(plano.semente, indice);
    rep.eventos = c.eventos;
    std::vector<double>& v = rep.valores;
    v.reserve(ids_.size());
    // The whole run as one span of time, with its histograms.
    const geral::Janela toda = inteira(c, rep.histogramas);
    v.push_back(c.relogio);
    valores(toda, c.relogio - c.aquecimento, c.medida, v);
    if (pronta_.janela) {
      const std::vector<geral::Janela>& js = c.classes->janelas;
      for (std::int64_t w = 0; w < pronta_.n_janelas; ++w) {
        const auto n = static_cast<std::size_t>(w);
        if (n < js.size() && js[n].medida) {
          valores(js[n], js[n].fim - js[n].inicio, true, v);
        } else {
          v.resize(v.size() + inteiras_ - 1, std::numeric_limits<double>::quiet_NaN());
        }
      }
    }
    return rep;
  }

 private:
  // The network with the threshold asked for at every station without one of its own.
  static geral::Rede com_limiar(geral::Rede rede, const Ajustes& a) {
    for (geral::Estacao& e : rede.estacoes) {
      if (!e.limiar) e.limiar = a.limiar;
    }
    return rede;
  }

  // The whole run's measures as a window's are, with its histograms into hs.
  geral::Janela inteira(const geral::Corrida& c, std::vector<Histograma>& hs) const {
    geral::Janela j;
    auto quantis = [](const Histograma& h) {
      geral::Quantis q{};
      for (std::size_t i = 0; i < q.size(); ++i) q[i] = h.quantil(geral::kQuantis[i]);
      return q;
    };
    auto rede = [&](std::int64_t saidas, double soma, const Histograma& h) {
      geral::MedidasRede r;
      r.saidas = saidas;
      r.soma_permanencia = soma;
      j.rede.push_back(r);
      j.permanencia.push_back(quantis(h));
      hs.push_back(c.medida ? h : Histograma());
    };
    rede(c.saidas, c.soma_permanencia, c.permanencia);
    const std::size_t K = rede_.classes.size();
    for (std::size_t k = 0; k < K; ++k) {
      const geral::RedeClasse& x = c.classes->classes[k];
      if (rede_.classes[k].populacao) {
        j.rede.push_back(x);
        j.rede.back().permanencia = Histograma();
        j.permanencia.emplace_back();
      } else {
        rede(x.saidas, x.soma_permanencia, x.permanencia);
      }
    }
    j.gerados = c.gerados;
    auto estacao = [&](const geral::Medidas& m) {
      j.estacoes.push_back(m);
      j.estacoes.back().espera = Histograma();
      j.espera.push_back(quantis(m.espera));
      hs.push_back(c.medida ? m.espera : Histograma());
    };
    for (std::size_t e = 0; e < c.estacoes.size(); ++e) {
      const geral::EstadoEstacao& s = c.estacoes[e];
      estacao(s);
      // Where customers in service are servers busy, the path of one class keeps no area of its
      // own for them.
      if (!c.classes) j.estacoes.back().area_servico = s.area_ocupados;
      for (std::size_t k = 0; k < K; ++k) estacao(c.classes->estacoes[e].classes[k]);
    }
    return j;
  }

  // The figures of a span of time T from its measures j, in the order of ids_ after
  // tempo_final; NaN for all of them when not medida.
  void valores(const geral::Janela& j, double T, bool medida, std::vector<double>& v) const {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    auto medido = [medida, nan](double x) { return medida ? x : nan; };
    auto por = [nan](double a, double b) { return b != 0 ? a / b : nan; };
    auto d = [](std::int64_t n) { return static_cast<double>(n); };
    auto rede = [&](std::size_t r) {
      v.push_back(medido(d(j.rede[r].saidas)));
      v.push_back(medido(por(j.rede[r].soma_permanencia, d(j.rede[r].saidas))));
      for (double q : j.permanencia[r]) v.push_back(medido(q));
    };
    const std::size_t K = rede_.classes.size();
    rede(0);
    for (std::size_t k = 0; k < K; ++k) {
      if (!rede_.classes[k].populacao) rede(1 + k);
    }
    for (std::int64_t g : j.gerados) v.push_back(medido(d(g)));
    for (std::size_t k = 0; k < K; ++k) {
      if (!rede_.classes[k].populacao) continue;
      const geral::MedidasRede& x = j.rede[1 + k];
      v.push_back(medido(por(x.soma_ciclo, d(x.ciclos))));
      v.push_back(medido(por(d(x.passagens), T)));
    }
    std::size_t i = 0;
    for (std::size_t e = 0; e < rede_.estacoes.size(); ++e) {
      const geral::Estacao& est = rede_.estacoes[e];
      const geral::EstacaoPronta& p = pronta_.estacoes[e];
      const double servidores = p.servidores == geral::kSemLimite ? 1 : d(p.servidores);
      for (std::size_t k = 0; k <= K; ++k, ++i) {
        const geral::Medidas& x = j.estacoes[i];
        const geral::Quantis& q = j.espera[i];
        // The servers' time: on shift, where shifts change them.
        const double tempo_servidores = p.turnos ? x.area_servidores : T * servidores;
        v.push_back(medido(d(x.chegadas)));
        v.push_back(medido(d(x.perdidos)));
        v.push_back(medido(por(d(x.perdidos), d(x.chegadas))));
        v.push_back(medido(por(d(x.atendidos), T)));
        v.push_back(medido(por(x.area_ocupados, tempo_servidores)));
        v.push_back(medido(por(x.area_fila, T)));
        v.push_back(medido(por(x.area_fila + x.area_servico, T)));
        v.push_back(medido(por(x.soma_espera, d(x.inicios))));
        v.push_back(medido(por(d(x.esperaram), d(x.inicios))));
        for (double y : q) v.push_back(medido(y));
        // Served within the threshold, of all who came to be served: those who gave up or
        // balked count against it.
        if (est.limiar) {
          v.push_back(medido(por(d(x.no_limiar), d(x.inicios + x.abandonos + x.desistencias))));
        }
        v.push_back(medido(por(x.soma_permanencia, d(x.atendidos))));
        v.push_back(medido(d(x.fila_maxima)));
        if (p.paciencia) {
          v.push_back(medido(d(x.abandonos)));
          v.push_back(medido(por(d(x.abandonos), d(x.chegadas - x.perdidos - x.desistencias))));
        }
        if (!est.desistencia.empty()) {
          v.push_back(medido(d(x.desistencias)));
          v.push_back(medido(por(d(x.desistencias), d(x.chegadas))));
        }
        if (bloqueavel(e)) v.push_back(medido(por(x.area_bloqueio, tempo_servidores)));
        if (p.turnos) v.push_back(medido(por(x.area_servidores, T)));
      }
    }
  }

  // Whether a customer served at station e may be sent to another station that blocks.
  bool bloqueavel(std::size_t e) const {
    const geral::EstacaoPronta& p = pronta_.estacoes[e];
    auto bloqueia = [&](const geral::RotaPronta& r) {
      for (std::int32_t i = 0; i < r.n; ++i) {
        const std::int32_t d = pronta_.desvios[static_cast<std::size_t>(r.inicio + i)].estacao;
        if (static_cast<std::size_t>(d) != e &&
            pronta_.estacoes[static_cast<std::size_t>(d)].bloqueia) {
          return true;
        }
      }
      return false;
    };
    bool sim = bloqueia(p.rota);
    for (const geral::DaClassePronta& k : p.classes) sim |= bloqueia(k.rota);
    return sim;
  }

  geral::Rede rede_;
  geral::RedePronta pronta_;
  std::size_t inteiras_ = 0;  // the figures of the whole run, before those of the windows
  teoria::Rede teoria_;
  std::vector<std::string> descricao_;
  std::vector<std::size_t> seguidas_;  // the stations followed over time
  std::vector<std::string> nomes_seguidas_;
  double horizonte_ = 1;  // the run's expected length
  double largura_ = 1;    // of the first bins followed over time
  std::uint64_t assinatura_ = 0;
  std::vector<IdFigura> ids_;
  std::vector<IdHistograma> histogramas_;
};

}  // namespace

std::unique_ptr<Modelo> modelo_geral(const geral::Rede& rede, const std::string& texto,
                                     const Ajustes& ajustes) {
  return std::make_unique<Geral>(rede, texto, ajustes);
}

}  // namespace tarvo
