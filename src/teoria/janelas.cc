// Networks whose rates and servers change with the time of day: their long-run flows, and each
// window by the pointwise stationary approximation.
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <map>

#include "teoria/grafo.h"
#include "teoria/teoria.h"

namespace tarvo::teoria {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

Medidas sem_valor() { return {NaN, NaN, NaN, NaN, NaN, NaN, NaN, NaN, NaN, NaN, NaN}; }

// Sums of values, each with its weight, for a weighted mean.
struct Media {
  double soma = 0, peso = 0;
  void mais(double w, double x) {
    if (w == 0) return;  // a stretch that counts nothing adds nothing, whatever its value
    soma += w * x;
    peso += w;
  }
  double valor() const { return peso > 0 ? soma / peso : NaN; }
};

// One stretch of a window: its length and the stationary solution of its rates and servers.
struct Trecho {
  double duracao = 0;
  Solucao sol;
  double chegadas = 0;             // to the network per unit of time
  std::vector<double> por_classe;  // of each open class's sources
};

Metodo pior(Metodo a, Metodo b) {
  if (a == Metodo::nenhum || b == Metodo::nenhum) return Metodo::nenhum;
  return Metodo::aproximada;
}

// The window's means of one group of customers at a station: m(t) and servidores(t) of each
// stretch, each mean over what it counts.
Medidas juntar(const std::vector<Trecho>& v, const std::function<const Medidas&(const Trecho&)>& m,
               const std::function<double(const Trecho&)>& servidores) {
  Media chegada, vazao, fila, sistema, bloqueio, ocupados, perda, desistencia, abandono, espera,
      permanencia, todos;
  for (const Trecho& t : v) {
    const Medidas& x = m(t);
    const double d = t.duracao, c = servidores(t);
    chegada.mais(d, x.chegada);
    vazao.mais(d, x.vazao);
    fila.mais(d, x.fila);
    sistema.mais(d, x.sistema);
    bloqueio.mais(d, x.bloqueio);
    // Busy server-time over server-time; with infinitely many, the mean number busy.
    ocupados.mais(std::isnan(c) ? d : d * c, x.utilizacao);
    perda.mais(d * x.chegada, x.perda);
    desistencia.mais(d * x.chegada, x.desistencia);
    abandono.mais(d * x.chegada * (1 - x.perda - x.desistencia), x.abandono);
    espera.mais(d * x.vazao, x.espera);
    permanencia.mais(d * x.vazao, x.permanencia);
  }
  Medidas r;
  r.chegada = chegada.valor();
  r.vazao = vazao.valor();
  r.utilizacao = ocupados.valor();
  r.fila = fila.valor();
  r.sistema = sistema.valor();
  r.espera = espera.valor();
  r.permanencia = permanencia.valor();
  r.perda = perda.valor();
  r.abandono = abandono.valor();
  r.desistencia = desistencia.valor();
  r.bloqueio = bloqueio.valor();
  return r;
}

Solucao combinar(const std::vector<Trecho>& v) {
  const Solucao& primeiro = v.front().sol;
  Solucao r;
  r.nomes = primeiro.nomes;
  r.estacoes.resize(primeiro.estacoes.size());
  for (std::size_t i = 0; i < r.estacoes.size(); ++i) {
    Estado& s = r.estacoes[i];
    Media servidores, carga;
    s.metodo = s.metodo_fluxo = Metodo::aproximada;
    bool sobrecarga = false;
    for (const Trecho& t : v) {
      const Estado& x = t.sol.estacoes[i];
      servidores.mais(t.duracao, x.servidores);
      carga.mais(t.duracao, x.carga);
      sobrecarga = sobrecarga || x.metodo == Metodo::instavel;
      s.metodo = pior(s.metodo, x.metodo);
      s.metodo_fluxo = pior(s.metodo_fluxo, x.metodo_fluxo);
      s.impaciente = s.impaciente || x.impaciente;
    }
    s.servidores = servidores.valor();
    s.carga = carga.valor();
    // A window overloaded in any stretch has no value: its queue grows there by an amount the
    // approximation does not know.
    if (sobrecarga) {
      s.m = sem_valor();
      s.metodo = s.metodo_fluxo = Metodo::nenhum;
      continue;
    }
    auto servidores_de = [i](const Trecho& t) { return t.sol.estacoes[i].servidores; };
    s.m = juntar(
        v, [i](const Trecho& t) -> const Medidas& { return t.sol.estacoes[i].m; }, servidores_de);
    // The law of the wait: the stretches' laws mixed by the customers each serves.
    double atendidos = 0;
    bool leis = true;
    for (const Trecho& t : v) {
      const Estado& x = t.sol.estacoes[i];
      const double w = t.duracao * x.m.vazao;
      if (!(w > 0)) continue;
      if (!x.espera) leis = false;
      if (leis) s.esperas.emplace_back(w, *x.espera);
      atendidos += w;
    }
    if (!leis || !(atendidos > 0)) s.esperas.clear();
    for (auto& [w, u] : s.esperas) w /= atendidos;
    for (std::size_t c = 0; c < primeiro.estacoes[i].classes.size(); ++c) {
      Estado::DaClasse k;
      k.metodo = k.metodo_fluxo = Metodo::aproximada;
      for (const Trecho& t : v) {
        k.metodo = pior(k.metodo, t.sol.estacoes[i].classes[c].metodo);
        k.metodo_fluxo = pior(k.metodo_fluxo, t.sol.estacoes[i].classes[c].metodo_fluxo);
      }
      k.m = juntar(
          v, [i, c](const Trecho& t) -> const Medidas& { return t.sol.estacoes[i].classes[c].m; },
          servidores_de);
      s.classes.push_back(k);
    }
  }
  // The network's mean sojourn, over the customers arriving in each stretch; per open class over
  // that class's. A closed class's cycle has no such mean.
  Media rede;
  r.metodo_rede = Metodo::aproximada;
  for (const Trecho& t : v) {
    r.metodo_rede = pior(r.metodo_rede, t.sol.metodo_rede);
    rede.mais(t.duracao * t.chegadas, t.sol.permanencia_rede);
  }
  r.permanencia_rede = rede.valor();
  if (!std::isfinite(r.permanencia_rede)) r.metodo_rede = Metodo::nenhum;
  for (std::size_t c = 0; c < primeiro.classes.size(); ++c) {
    NaRede k{Metodo::aproximada, NaN, NaN, NaN};
    Media w;
    for (const Trecho& t : v) {
      const NaRede& x = t.sol.classes[c];
      k.metodo = pior(k.metodo, x.metodo);
      w.mais(t.duracao * t.por_classe[c], x.permanencia);
    }
    k.permanencia = w.valor();
    if (!std::isfinite(k.permanencia)) k.metodo = Metodo::nenhum;
    r.classes.push_back(k);
  }
  return r;
}

}  // namespace

template <class T>
T no_horario(const geral::PorHorario<T>& h, double t) {
  const double x = t - std::floor(t / h.periodo) * h.periodo;
  T v = h.valores.front().second;
  for (const auto& [inicio, y] : h.valores) {
    if (inicio <= x) v = y;
  }
  return v;
}

template <class T>
double media_horario(const geral::PorHorario<T>& h, double a, double b) {
  // The integral from 0 to t of the schedule, whole periods first.
  auto integral = [&h](double t) {
    const double voltas = std::floor(t / h.periodo), x = t - voltas * h.periodo;
    double periodo = 0, parte = 0;
    for (std::size_t k = 0; k < h.valores.size(); ++k) {
      const double inicio = h.valores[k].first;
      const double fim = k + 1 < h.valores.size() ? h.valores[k + 1].first : h.periodo;
      const auto y = static_cast<double>(h.valores[k].second);
      periodo += y * (fim - inicio);
      parte += y * std::max(0.0, std::min(fim, x) - inicio);
    }
    return voltas * periodo + parte;
  };
  return (integral(b) - integral(a)) / (b - a);
}

template double no_horario(const geral::PorHorario<double>&, double);
template int no_horario(const geral::PorHorario<int>&, double);
template double media_horario(const geral::PorHorario<double>&, double, double);
template double media_horario(const geral::PorHorario<int>&, double, double);

bool varia(const Rede& r) {
  return std::any_of(r.fontes.begin(), r.fontes.end(), [](const Fonte& f) { return f.horario; }) ||
         std::any_of(r.estacoes.begin(), r.estacoes.end(),
                     [](const Estacao& e) { return e.turnos.has_value(); });
}

Solucao longo_prazo(const Rede& r) {
  const std::size_t n = r.estacoes.size();
  Solucao sol;
  for (const Classe& c : r.classes) sol.nomes.push_back(c.nome);
  sol.classes.assign(r.classes.size(), NaRede{Metodo::nenhum, NaN, NaN, NaN});
  sol.estacoes.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const Estacao& e = r.estacoes[i];
    Estado& s = sol.estacoes[i];
    s.m = sem_valor();
    s.servidores = e.infinitos ? NaN
                   : e.turnos  ? media_horario(*e.turnos, 0, e.turnos->periodo)
                               : e.servidores;
  }
  if (!r.classes.empty()) return sol;
  Rede fixa = r;
  for (Fonte& f : fixa.fontes) f.horario.reset();
  for (Estacao& e : fixa.estacoes) e.turnos.reset();
  const std::vector<double> lambda = taxas(fixa, std::vector<double>(n, 1.0));
  // Those lost, leaving or declining change the flows downstream by amounts the long run alone
  // does not tell; so does a station that never catches up.
  std::vector<char> muda(n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    const Estacao& e = r.estacoes[i];
    Estado& s = sol.estacoes[i];
    s.carga = lambda[i] * e.media / (e.infinitos ? 1 : s.servidores);
    const bool perde = e.capacidade || e.paciencia.media || !e.desistencia.empty();
    if (!perde && !e.infinitos && s.carga >= 1) s.metodo = Metodo::instavel;
    muda[i] = lambda[i] > 0 && (perde || s.metodo == Metodo::instavel);
  }
  const std::vector<char> acima_de = acima(grafo(fixa), muda);
  for (std::size_t i = 0; i < n; ++i) {
    Estado& s = sol.estacoes[i];
    if (acima_de[i]) {
      s.metodo = Metodo::nenhum;
      continue;
    }
    s.m.chegada = lambda[i];
    if (!muda[i]) {
      s.m.vazao = lambda[i];
      s.m.perda = s.m.abandono = s.m.desistencia = 0;
    }
    s.metodo_fluxo = Metodo::exata;
  }
  return sol;
}

Solucao na_janela(const Rede& r, double inicio, double fim, Resolvidos* resolvidos) {
  if (!varia(r)) return resolver(r);  // every window is the steady state, as exact as it is
  // The instants in the window where some rate or number of servers changes.
  std::vector<double> cortes{inicio, fim};
  auto cortar = [&](const auto& h) {
    for (double k = std::floor(inicio / h.periodo); k * h.periodo < fim; ++k) {
      for (const auto& [t, y] : h.valores) {
        const double x = k * h.periodo + t;
        if (x > inicio && x < fim) cortes.push_back(x);
      }
    }
  };
  for (const Fonte& f : r.fontes) {
    if (f.horario) cortar(*f.horario);
  }
  for (const Estacao& e : r.estacoes) {
    if (e.turnos) cortar(*e.turnos);
  }
  std::sort(cortes.begin(), cortes.end());
  // Stretches of the same rates and servers are one: their lengths add up.
  std::map<std::vector<double>, double> duracoes;
  for (std::size_t k = 0; k + 1 < cortes.size(); ++k) {
    const double t = (cortes[k] + cortes[k + 1]) / 2;
    std::vector<double> chave;
    for (const Fonte& f : r.fontes) chave.push_back(f.horario ? no_horario(*f.horario, t) : 0);
    for (const Estacao& e : r.estacoes) {
      chave.push_back(e.turnos ? no_horario(*e.turnos, t) : 0);
    }
    duracoes[chave] += cortes[k + 1] - cortes[k];
  }
  std::vector<Trecho> trechos;
  Resolvidos locais;
  Resolvidos& ja = resolvidos != nullptr ? *resolvidos : locais;
  for (const auto& [chave, duracao] : duracoes) {
    if (!(duracao > 0)) continue;
    Rede x = r;
    Trecho t;
    t.duracao = duracao;
    t.por_classe.assign(r.classes.size(), 0);
    for (std::size_t k = 0; k < x.fontes.size(); ++k) {
      Fonte& f = x.fontes[k];
      if (f.horario) f.taxa = chave[k] * f.lote;
      f.horario.reset();
      t.chegadas += f.taxa;
      if (!r.classes.empty()) t.por_classe[static_cast<std::size_t>(f.classe)] += f.taxa;
    }
    for (std::size_t i = 0; i < x.estacoes.size(); ++i) {
      Estacao& e = x.estacoes[i];
      if (e.turnos) e.servidores = static_cast<int>(chave[x.fontes.size() + i]);
      e.turnos.reset();
    }
    auto achado = ja.find(chave);
    if (achado == ja.end()) achado = ja.emplace(chave, resolver(x)).first;
    t.sol = achado->second;
    trechos.push_back(std::move(t));
  }
  return combinar(trechos);
}

}  // namespace tarvo::teoria
