// The replication driver. Replications run on a pool of threads, each in a simulation of its
// own; the main thread takes their results in index order, so that what it decides (the
// precision stop, the first failure) is what one thread would have decided.
#include "experimento/experimento.h"

#include <algorithm>
#include <atomic>
#include <boost/math/distributions/students_t.hpp>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "experimento/estatistica.h"
#include "model/failure.h"

namespace tarvo {

std::vector<bool> figuras_alvo(const std::vector<IdFigura>& ids,
                               const std::vector<std::string>& alvos) {
  std::vector<bool> alvo(ids.size(), alvos.empty());
  for (const std::string& a : alvos) {
    bool achou = false;
    for (std::size_t f = 0; f < ids.size(); ++f) {
      const IdFigura& id = ids[f];
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
      const double meia = quantil(w.n) * std::sqrt(w.m2 / static_cast<double>(w.n - 1)) /
                          std::sqrt(static_cast<double>(w.n));
      // A little slack: the confirmation decides.
      if (!(std::fabs(meia / w.media) <= P * (1 + 1e-9))) return false;
    }
    return true;
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
  ++r.fim;
}

// The replications of one run, as the threads deliver them.
struct Entrega {
  std::mutex mu;
  std::condition_variable pronto;
  std::vector<std::optional<Replicacao>> reps;
  std::vector<std::exception_ptr> erros;
  std::atomic<std::int64_t> proxima;
  std::atomic<std::int64_t> limite;
};

}  // namespace

bool decidir(Resultado& r) {
  Parada parada(r);
  std::int64_t k = 1;
  while (k <= r.fim && !parada.depois_de(k)) ++k;
  const bool parou = k <= r.fim;
  if (!parou) k = r.fim;
  r.precisao_atingida = parou && r.pedido.precisao.has_value();
  for (auto& v : r.valores) v.resize(static_cast<std::size_t>(k));
  r.sorteios.resize(static_cast<std::size_t>(k));
  r.sementes.resize(static_cast<std::size_t>(k));
  r.fim = k;
  return parou || k == r.pedido.plano.maximo;
}

Resultado executar(const Modelo& modelo, const Pedido& pedido, const Execucao& execucao) {
  Resultado r;
  r.pedido = pedido;
  r.ids = modelo.figuras();
  r.valores.assign(r.ids.size(), {});
  if (pedido.teoria) {
    r.teoria = modelo.teoria();
    r.teoria.resize(r.ids.size());  // a model without theory: none for every figure
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

  Entrega e;
  e.reps.resize(static_cast<std::size_t>(b - a));
  e.erros.resize(static_cast<std::size_t>(b - a));
  e.proxima = a;
  e.limite = b;
  auto trabalhar = [&] {
    for (;;) {
      const std::int64_t i = e.proxima++;
      if (i >= e.limite) return;
      std::optional<Replicacao> rep;
      std::exception_ptr erro;
      try {
        Serie espera;
        rep =
            modelo.rodar(pedido.plano, i, pedido.aquecimento, execucao.espera ? &espera : nullptr);
        rep->espera = std::move(espera);
      } catch (...) {
        erro = std::current_exception();
        // Nothing after a failure is needed; those before it still are.
        std::int64_t l = e.limite;
        while (i + 1 < l && !e.limite.compare_exchange_weak(l, i + 1)) {
        }
      }
      const std::lock_guard<std::mutex> trava(e.mu);
      e.reps[static_cast<std::size_t>(i - a)] = std::move(rep);
      e.erros[static_cast<std::size_t>(i - a)] = erro;
      e.pronto.notify_all();
    }
  };
  std::vector<std::thread> threads;
  const std::int64_t n = std::max<std::int64_t>(1, std::min<std::int64_t>(execucao.jobs, b - a));
  for (std::int64_t t = 0; t < n; ++t) threads.emplace_back(trabalhar);

  std::exception_ptr falhou;
  for (std::int64_t i = a; i < b; ++i) {
    const auto k = static_cast<std::size_t>(i - a);
    Replicacao rep;
    {
      std::unique_lock<std::mutex> trava(e.mu);
      e.pronto.wait(trava, [&] { return e.reps[k].has_value() || e.erros[k]; });
      if (e.erros[k]) {
        falhou = e.erros[k];
        break;
      }
      rep = std::move(*e.reps[k]);
      e.reps[k].reset();
    }
    if (execucao.espera) r.espera.somar(rep.espera);
    guardar(r, std::move(rep));
    if (execucao.progresso) execucao.progresso(r.fim - a, b - a);
    if (parada && parada->depois_de(r.fim)) {
      r.precisao_atingida = pedido.precisao.has_value();
      break;
    }
  }
  e.limite = 0;  // the threads take no more
  for (auto& t : threads) t.join();
  if (falhou) {
    try {
      std::rethrow_exception(falhou);
    } catch (const Falha& f) {
      throw Falha{f.status,
                  formatar("Na replicacao %lld: ", static_cast<long long>(r.fim)) + f.texto};
    }
  }
  return r;
}

}  // namespace tarvo
