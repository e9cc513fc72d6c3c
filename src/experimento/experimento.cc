// The replication driver. Replications run on a pool of threads, each in a simulation of its
// own; the main thread takes their results in index order, so that what it decides (the
// precision stop, the first failure) is what one thread would have decided.
#include "experimento/experimento.h"

#include <fnmatch.h>

#include <algorithm>
#include <atomic>
#include <boost/math/distributions/students_t.hpp>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <tuple>

#include "comum/failure.h"
#include "experimento/estatistica.h"

namespace tarvo {

std::vector<bool> figuras_alvo(const std::vector<IdFigura>& ids,
                               const std::vector<std::string>& alvos) {
  std::vector<bool> alvo(ids.size(), false);
  for (std::size_t f = 0; f < ids.size(); ++f) alvo[f] = alvos.empty() && !ids[f].janela;
  for (const std::string& a : alvos) {
    bool achou = false;
    for (std::size_t f = 0; f < ids.size(); ++f) {
      const IdFigura& id = ids[f];
      if (id.janela) continue;
      if (a == id.figura || a == id.nome + "." + id.figura ||
          a == id.tipo + "." + id.nome + "." + id.figura) {
        alvo[f] = achou = true;
      }
    }
    if (!achou) {
      falha(1,
            "tarvo-rep: --target %s nao corresponde a nenhuma figura do modelo (use FIGURA, "
            "NOME.FIGURA ou TIPO.NOME.FIGURA, como na saida json)\n",
            a.c_str());
    }
  }
  return alvo;
}

std::vector<bool> figuras_escolhidas(const std::vector<IdFigura>& ids,
                                     const std::vector<std::string>& padroes) {
  std::vector<bool> v(ids.size(), false);
  for (const std::string& p : padroes) {
    std::vector<std::string> partes;
    for (std::size_t i = 0, j; i <= p.size(); i = j + 1) {
      j = std::min(p.find('/', i), p.size());
      partes.push_back(p.substr(i, j - i));
    }
    bool achou = false;
    for (std::size_t f = 0; f < ids.size() && partes.size() <= 3; ++f) {
      const IdFigura& id = ids[f];
      const std::string* campos[] = {&id.tipo, &id.nome, &id.figura};
      bool casa = true;
      for (std::size_t k = 0; k < partes.size(); ++k) {
        const std::string& c = *campos[3 - partes.size() + k];
        casa = casa && fnmatch(partes[k].c_str(), c.c_str(), 0) == 0;
      }
      if (casa) v[f] = achou = true;
    }
    if (!achou) {
      falha(1,
            "tarvo-rep: --figuras %s nao corresponde a nenhuma figura do modelo (use FIGURA, "
            "NOME/FIGURA ou TIPO/NOME/FIGURA, com * e ?, como na saida json)\n",
            p.c_str());
    }
  }
  return v;
}

void selecionar(Resultado& r, const std::vector<bool>& escolhidas) {
  std::size_t k = 0;
  for (std::size_t f = 0; f < r.ids.size(); ++f) {
    if (!escolhidas[f]) continue;
    if (k != f) {
      r.ids[k] = std::move(r.ids[f]);
      r.valores[k] = std::move(r.valores[f]);
      if (f < r.teoria.size()) r.teoria[k] = std::move(r.teoria[f]);
    }
    ++k;
  }
  r.ids.resize(k);
  r.valores.resize(k);
  if (!r.teoria.empty()) r.teoria.resize(k);
}

std::vector<std::vector<Janelas>> janelas_por_objeto(const std::vector<IdFigura>& ids) {
  using Objeto = std::tuple<std::string, int, std::string>;
  using Figura = std::tuple<std::string, std::string, std::optional<double>>;
  std::vector<std::vector<Janelas>> v;
  std::map<Objeto, std::size_t> objetos;
  std::vector<std::map<Figura, std::size_t>> figuras;
  for (std::size_t f = 0; f < ids.size(); ++f) {
    const IdFigura& id = ids[f];
    if (!id.janela) continue;
    const auto [o, novo] = objetos.try_emplace({id.tipo, id.numero, id.nome}, v.size());
    if (novo) {
      v.emplace_back();
      figuras.emplace_back();
    }
    std::vector<Janelas>& js = v[o->second];
    const auto [g, nova] =
        figuras[o->second].try_emplace({id.figura, id.classe, id.limiar}, js.size());
    if (nova) js.emplace_back();
    js[g->second].push_back(f);
  }
  for (auto& js : v) {
    for (Janelas& j : js) {
      std::stable_sort(j.begin(), j.end(), [&ids](std::size_t a, std::size_t b) {
        return ids[a].janela < ids[b].janela;
      });
    }
  }
  return v;
}

bool precisao_atingida(const Resultado& r, const std::vector<bool>& alvo, std::int64_t k) {
  const double P = *r.pedido.precisao;
  const bool todas = r.pedido.alvos.empty();
  for (std::size_t f = 0; f < r.ids.size(); ++f) {
    if (!alvo[f]) continue;
    const Resumo s = resumir(r.valores[f], static_cast<std::size_t>(k), r.pedido.confianca);
    // Left to itself the test skips the means that no relative width can be taken of; a figure
    // named on purpose must reach the precision whatever its mean.
    if (todas && (!std::isfinite(s.media) || s.media == 0)) continue;
    if (!(largura_relativa(s) <= P)) return false;
  }
  return true;
}

namespace {

// The precision test after each replication, in index order. Running sums make it cheap; only
// when they say the precision holds is it confirmed on the values themselves, so that the
// decision is the one the summaries then printed show.
class Parada {
 public:
  explicit Parada(const Resultado& r)
      : r_(r), alvo_(figuras_alvo(r.ids, r.pedido.alvos)), soma_(r.ids.size()) {}

  // The widest relative half-width among the figures the precision applies to, from the running
  // sums; NaN while some has fewer than two values.
  double largura() {
    double w = 0;
    for (std::size_t f = 0; f < soma_.size(); ++f) {
      if (!alvo_[f]) continue;
      const Welford& x = soma_[f];
      if (r_.pedido.alvos.empty() && (x.n == 0 || x.media == 0)) continue;
      if (x.n < 2) return std::numeric_limits<double>::quiet_NaN();
      w = std::max(w, std::fabs(meia(x) / x.media));
    }
    return w;
  }

  // Takes in replication k - 1, whose values r holds; true when the experiment ends with k.
  bool depois_de(std::int64_t k) {
    const Pedido& p = r_.pedido;
    if (!p.precisao) return k >= p.replicacoes;
    for (std::size_t f = 0; f < soma_.size(); ++f) {
      const double x = r_.valores[f][static_cast<std::size_t>(k - 1)];
      if (!std::isfinite(x)) continue;
      Welford& w = soma_[f];
      ++w.n;
      const double d = x - w.media;
      w.media += d / static_cast<double>(w.n);
      w.m2 += d * (x - w.media);
    }
    if (k < p.replicacoes || !aproximada()) return false;
    return precisao_atingida(r_, alvo_, k);
  }

 private:
  struct Welford {
    std::int64_t n = 0;
    double media = 0, m2 = 0;
  };

  bool aproximada() {
    const double P = *r_.pedido.precisao;
    for (std::size_t f = 0; f < soma_.size(); ++f) {
      if (!alvo_[f]) continue;
      const Welford& w = soma_[f];
      if (r_.pedido.alvos.empty() && (w.n == 0 || w.media == 0)) continue;
      if (w.n < 2) return false;
      // A little slack: the confirmation decides.
      if (!(std::fabs(meia(w) / w.media) <= P * (1 + 1e-9))) return false;
    }
    return true;
  }

  double meia(const Welford& w) {
    return quantil(w.n) * std::sqrt(w.m2 / static_cast<double>(w.n - 1)) /
           std::sqrt(static_cast<double>(w.n));
  }

  double quantil(std::int64_t n) {
    auto [it, novo] = quantis_.try_emplace(n, 0.0);
    if (novo) {
      it->second = boost::math::quantile(boost::math::students_t(static_cast<double>(n - 1)),
                                         (1 + r_.pedido.confianca) / 2);
    }
    return it->second;
  }

  const Resultado& r_;
  std::vector<bool> alvo_;
  std::vector<Welford> soma_;
  std::map<std::int64_t, double> quantis_;
};

void guardar(Resultado& r, Replicacao&& rep) {
  for (std::size_t f = 0; f < r.ids.size(); ++f) r.valores[f].push_back(rep.valores[f]);
  r.sorteios.push_back(rep.sorteios);
  r.sementes.push_back(rep.semente);
  r.sem_eventos += rep.eventos == 0;
  r.agrupados.resize(r.ids_histogramas.size());
  for (std::size_t h = 0; h < r.agrupados.size() && h < rep.histogramas.size(); ++h) {
    r.agrupados[h].juntar(rep.histogramas[h]);
  }
  if (r.fatia) r.histogramas.push_back(std::move(rep.histogramas));
  ++r.fim;
}

// What a thread leaves for the replication it ran: its result, its failure, or that it gave up
// when told to stop.
struct Entregue {
  std::optional<Replicacao> rep;
  std::exception_ptr erro;
  bool interrompida = false;
};

// The replications of one run, as the threads deliver them, until the calling thread takes
// them in index order. Only those delivered and not yet taken are held, so memory does not
// depend on how many the run may do.
struct Entrega {
  std::mutex mu;
  std::condition_variable pronto;
  std::map<std::int64_t, Entregue> prontas;
  std::atomic<std::int64_t> proxima;
  std::atomic<std::int64_t> limite;
  int vivas = 0;  // threads still working, under mu
};

// A sentence for memory that ran out while replication i was run or kept.
[[noreturn]] void sem_memoria(const Resultado& r, std::int64_t i) {
  falha(1,
        "tarvo-rep: a memoria acabou na replicacao %lld (cada replicacao guarda %zu valores, %zu "
        "bytes): peca menos replicacoes, ou divida-as em fatias (--slice) e junte-as com merge\n",
        static_cast<long long>(i), r.ids.size() + 2, 8 * (r.ids.size() + 2));
}

}  // namespace

std::optional<QuantilDe> quantil_de(const IdFigura& id, const std::vector<IdHistograma>& ids) {
  // A window's quantile is each replication's own: no histogram pools it.
  if (id.janela) return std::nullopt;
  const std::size_t p = id.figura.rfind("_p");
  if (p == std::string::npos || p + 2 >= id.figura.size()) return std::nullopt;
  const std::string grandeza = id.figura.substr(0, p), digitos = id.figura.substr(p + 2);
  if (digitos.find_first_not_of("0123456789") != std::string::npos || digitos.size() > 2) {
    return std::nullopt;
  }
  for (std::size_t h = 0; h < ids.size(); ++h) {
    if (ids[h].tipo == id.tipo && ids[h].nome == id.nome && ids[h].grandeza == grandeza &&
        ids[h].classe == id.classe) {
      return QuantilDe{h, std::stod(digitos) / 100};
    }
  }
  return std::nullopt;
}

std::optional<double> agrupado(const Resultado& r, std::size_t f) {
  const std::optional<QuantilDe> q = quantil_de(r.ids[f], r.ids_histogramas);
  if (!q || q->histograma >= r.agrupados.size() || r.agrupados[q->histograma].n() == 0) {
    return std::nullopt;
  }
  return r.agrupados[q->histograma].quantil(q->p);
}

bool decidir(Resultado& r) {
  Parada parada(r);
  std::int64_t k = 1;
  while (k <= r.fim && !parada.depois_de(k)) ++k;
  const bool parou = k <= r.fim;
  if (!parou) k = r.fim;
  r.precisao_atingida = parou && r.pedido.precisao.has_value();
  const auto n = static_cast<std::size_t>(k);
  for (auto& v : r.valores) v.resize(n);
  r.sorteios.resize(n);
  r.sementes.resize(n);
  if (!r.histogramas.empty()) {
    r.histogramas.resize(n);
    r.agrupados.assign(r.ids_histogramas.size(), Histograma());
    for (const auto& hs : r.histogramas) {
      for (std::size_t h = 0; h < r.agrupados.size() && h < hs.size(); ++h) {
        r.agrupados[h].juntar(hs[h]);
      }
    }
  }
  r.fim = k;
  return parou || k == r.pedido.plano.maximo;
}

Resultado executar(const Modelo& modelo, const Pedido& pedido, const Execucao& execucao) {
  Resultado r;
  r.pedido = pedido;
  r.ids = modelo.figuras();
  r.valores.assign(r.ids.size(), {});
  r.ids_histogramas = modelo.histogramas();
  r.agrupados.assign(r.ids_histogramas.size(), Histograma());
  r.instaveis = modelo.instaveis();
  if (pedido.teoria) {
    r.teoria = modelo.teoria();
    r.teoria.resize(r.ids.size());  // a model without theory: none for every figure
    r.discretizada = modelo.exponencial_discretizada();
  }
  r.fatia = execucao.fatia_inicio.has_value();
  if (execucao.espera) r.estacoes_espera = modelo.estacoes_em_espera();
  const std::int64_t a = r.fatia ? *execucao.fatia_inicio : 0;
  const std::int64_t b = r.fatia           ? *execucao.fatia_fim
                         : pedido.precisao ? pedido.plano.maximo
                                           : pedido.replicacoes;
  r.inicio = r.fim = a;
  std::optional<Parada> parada;
  if (!r.fatia) parada.emplace(r);

  const std::int64_t n = std::max<std::int64_t>(1, std::min<std::int64_t>(execucao.jobs, b - a));
  Entrega e;
  e.proxima = a;
  e.limite = b;
  const auto andamentos = std::make_unique<std::atomic<double>[]>(static_cast<std::size_t>(n));
  // What the replications running watch: set when the user asks to stop (the calling thread
  // passes it on) and when the run no longer needs them.
  std::atomic<bool> basta{false};
  auto pedido_parar = [&execucao] { return execucao.parar != nullptr && execucao.parar->load(); };
  auto trabalhar = [&](std::size_t t) {
    for (;;) {
      const std::int64_t i = basta.load() ? e.limite.load() : e.proxima++;
      if (i >= e.limite) break;
      Entregue x;
      try {
        Serie espera;
        x.rep = modelo.rodar(pedido.plano, i,
                             Rodada{pedido.aquecimento, execucao.espera ? &espera : nullptr, &basta,
                                    &andamentos[t]});
        x.rep->espera = std::move(espera);
      } catch (const Interrompida&) {
        x.interrompida = true;
      } catch (...) {
        x.erro = std::current_exception();
        // Nothing after a failure is needed; those before it still are.
        std::int64_t l = e.limite;
        while (i + 1 < l && !e.limite.compare_exchange_weak(l, i + 1)) {
        }
      }
      andamentos[t] = 0;
      const std::lock_guard<std::mutex> trava(e.mu);
      e.prontas.emplace(i, std::move(x));
      e.pronto.notify_all();
    }
    const std::lock_guard<std::mutex> trava(e.mu);
    --e.vivas;
    e.pronto.notify_all();
  };
  std::vector<std::thread> threads;
  auto juntar_threads = [&] {
    e.limite = 0;  // the threads take no more
    basta = true;  // and give up what they are running
    for (auto& t : threads) t.join();
  };
  for (std::int64_t t = 0; t < n; ++t) {
    try {
      {
        const std::lock_guard<std::mutex> trava(e.mu);
        ++e.vivas;
      }
      threads.emplace_back(trabalhar, static_cast<std::size_t>(t));
    } catch (const std::system_error& x) {
      {
        const std::lock_guard<std::mutex> trava(e.mu);
        --e.vivas;
      }
      juntar_threads();
      falha(1,
            "tarvo-rep: nao foi possivel iniciar a thread %lld de %lld (%s); use menos threads "
            "(--jobs)\n",
            static_cast<long long>(t + 1), static_cast<long long>(n), x.what());
    }
  }

  Andamento andamento;
  andamento.maximo = b - a;
  auto informar = [&] {
    if (!execucao.progresso) return;
    andamento.feitas = r.fim - a;
    andamento.em_curso = 0;
    for (std::int64_t t = 0; t < n; ++t) andamento.em_curso += andamentos[t].load();
    andamento.previstas = b - a;
    if (parada && pedido.precisao) {
      andamento.largura = parada->largura();
      // The half-width shrinks as one over the root of the replications.
      const double k = static_cast<double>(andamento.feitas);
      const double P = *pedido.precisao;
      double faltam = std::isfinite(andamento.largura) && andamento.largura > P
                          ? k * (andamento.largura / P) * (andamento.largura / P)
                          : static_cast<double>(pedido.replicacoes);
      faltam = std::clamp(faltam, static_cast<double>(std::min(andamento.feitas + 1, b - a)),
                          static_cast<double>(b - a));
      andamento.previstas = static_cast<std::int64_t>(std::ceil(faltam));
    }
    execucao.progresso(andamento);
  };

  std::exception_ptr falhou;
  std::int64_t falhou_em = 0;
  try {
    for (std::int64_t i = a; i < b; ++i) {
      Entregue x;
      {
        std::unique_lock<std::mutex> trava(e.mu);
        auto pronta = [&] { return e.prontas.count(i) > 0 || e.vivas == 0; };
        while (!pronta()) {
          e.pronto.wait_for(trava, std::chrono::milliseconds(100), pronta);
          if (pedido_parar()) basta = true;
          trava.unlock();
          informar();
          trava.lock();
        }
        const auto it = e.prontas.find(i);
        if (it == e.prontas.end()) {
          r.interrompido = true;  // every thread stopped before this one ran
          break;
        }
        x = std::move(it->second);
        e.prontas.erase(it);
      }
      if (x.interrompida) {
        r.interrompido = true;
        break;
      }
      if (x.erro) {
        falhou = x.erro;
        falhou_em = i;
        break;
      }
      if (execucao.espera) r.espera.somar(x.rep->espera);
      andamento.eventos += x.rep->eventos;
      guardar(r, std::move(*x.rep));
      informar();
      if (parada && parada->depois_de(r.fim)) {
        r.precisao_atingida = pedido.precisao.has_value();
        break;
      }
      if (pedido_parar()) {
        basta = true;
        r.interrompido = r.fim < b;
        break;
      }
    }
  } catch (const std::bad_alloc&) {
    juntar_threads();
    sem_memoria(r, r.fim);
  } catch (...) {
    juntar_threads();
    throw;
  }
  juntar_threads();
  if (r.interrompido) r.precisao_atingida = false;
  if (falhou) {
    try {
      std::rethrow_exception(falhou);
    } catch (const Falha& f) {
      throw Falha{f.status,
                  formatar("Na replicacao %lld: ", static_cast<long long>(falhou_em)) + f.texto};
    } catch (const std::bad_alloc&) {
      sem_memoria(r, falhou_em);
    }
  }
  return r;
}

}  // namespace tarvo
