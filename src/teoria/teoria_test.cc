// The formulas, and networks with the figures theory gives them, on cases with known answers, from
// casos.txt.
#include "teoria/teoria.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "comum/failure.h"
#include "teoria/figuras.h"

namespace tarvo::teoria {
namespace {

double figura(const Medidas& m, const std::string& f) {
  const std::map<std::string, double> v = {
      {"chegada", m.chegada},         {"vazao", m.vazao},
      {"utilizacao", m.utilizacao},   {"fila", m.fila},
      {"sistema", m.sistema},         {"espera", m.espera},
      {"permanencia", m.permanencia}, {"perda", m.perda},
      {"abandono", m.abandono},       {"desistencia", m.desistencia}};
  return v.at(f);
}

// "-" for none, else a list "X,Y,...".
std::vector<double> lista(const std::string& t) {
  std::vector<double> v;
  std::istringstream in(t == "-" ? "" : t);
  for (std::string x; std::getline(in, x, ',');) v.push_back(std::stod(x));
  return v;
}

// "VhT,VhT,...%PERIOD": V from T on, repeating every PERIOD.
template <class T>
geral::PorHorario<T> horario(const std::string& t) {
  geral::PorHorario<T> h;
  const std::size_t pc = t.find('%');
  h.periodo = std::stod(t.substr(pc + 1));
  std::istringstream in(t.substr(0, pc));
  for (std::string x; std::getline(in, x, ',');) {
    const std::size_t a = x.find('h');
    h.valores.emplace_back(std::stod(x.substr(a + 1)), static_cast<T>(std::stod(x.substr(0, a))));
  }
  return h;
}

// "J" or "J:P", J from 1.
geral::Destino destino(const std::string& t) {
  const std::size_t dois = t.find(':');
  return {std::stoi(t.substr(0, dois)) - 1,
          dois == std::string::npos ? 1 : std::stod(t.substr(dois + 1))};
}

// Takes "SINAL..." off the end of t and gives what followed, or none.
std::optional<std::string> sufixo(std::string& t, char sinal) {
  const std::size_t i = t.find(sinal);
  if (i == std::string::npos) return std::nullopt;
  std::string resto = t.substr(i + 1);
  t.resize(i);
  return resto;
}

// Of that mean: exponential, or of the SCV after "~" (0: deterministic, else a gamma).
geral::Distribuicao lei(double media, const std::optional<std::string>& scv) {
  geral::Distribuicao d;
  d.media = media;
  if (scv && std::stod(*scv) == 0) {
    d.tipo = geral::Dist::deterministica;
    d.valor = media;
  } else if (scv) {
    d.tipo = geral::Dist::gama;
    d.forma = 1 / std::stod(*scv);
  }
  return d;
}

// "MEAN[~SCV]".
geral::Distribuicao servico(std::string t) {
  const std::optional<std::string> scv = sufixo(t, '~');
  return lei(std::stod(t), scv);
}

int classe(const geral::Rede& r, const std::string& nome) {
  for (std::size_t c = 0; c < r.classes.size(); ++c) {
    if (r.classes[c].nome == nome) return static_cast<int>(c);
  }
  ADD_FAILURE() << "no class " << nome;
  return 0;
}

// "STATIONS | SOURCES [| ROUTES]" over the classes of a "classes" line, as casos.txt writes them.
geral::Rede modelo(std::istringstream& in, std::vector<geral::Classe> classes) {
  std::vector<std::istringstream> partes;
  for (std::string parte; std::getline(in, parte, '|');) partes.emplace_back(parte);
  geral::Rede r;
  r.classes = std::move(classes);
  const std::map<std::string, geral::Disciplina> disciplinas = {
      {"lifo", geral::Disciplina::lifo},
      {"aleatoria", geral::Disciplina::aleatoria},
      {"ps", geral::Disciplina::ps},
      {"prioridade", geral::Disciplina::prioridade},
      {"preemptiva", geral::Disciplina::prioridade_preemptiva}};
  for (std::string t; partes.at(0) >> t;) {
    geral::Estacao e;
    if (const std::optional<std::string> d = sufixo(t, '!')) e.disciplina = disciplinas.at(*d);
    e.bloqueia = sufixo(t, '^').has_value();
    if (const std::optional<std::string> b = sufixo(t, '?')) e.desistencia = lista(*b);
    if (std::optional<std::string> p = sufixo(t, '+')) {
      const std::optional<std::string> pscv = sufixo(*p, '~');
      e.paciencia = lei(std::stod(*p), pscv);
    }
    const std::optional<std::string> scv = sufixo(t, '~');
    if (const std::optional<std::string> k = sufixo(t, '/')) e.capacidade = std::stoll(*k);
    const std::size_t vezes = t.find('*');
    const std::string c = t.substr(0, vezes);
    e.infinitos = c == "inf";
    if (c.find('%') != std::string::npos) {
      e.turnos = horario<int>(c);
    } else if (!e.infinitos) {
      e.servidores = std::stoi(c);
    }
    e.servico = lei(std::stod(t.substr(vezes + 1)), scv);
    e.classes.resize(r.classes.size());
    r.estacoes.push_back(e);
  }
  for (std::string t; partes.at(1) >> t;) {
    geral::Fonte f;
    if (const std::optional<std::string> c = sufixo(t, '@')) f.classe = classe(r, *c);
    const std::optional<std::string> scv = sufixo(t, '~');
    const std::size_t maior = t.find('>');
    std::string taxa = t.substr(0, maior);
    if (const std::optional<std::string> x = sufixo(taxa, 'x')) {
      f.lote.emplace();
      f.lote->valores = lista(*x);
      f.lote->tipo = geral::Dist::empirica;
      if (f.lote->valores.size() == 1) {
        f.lote->tipo = geral::Dist::deterministica;
        f.lote->valor = f.lote->valores[0];
      }
    }
    if (taxa.find('%') != std::string::npos) {
      f.taxa = horario<double>(taxa);
    } else {
      f.intervalo = lei(1 / std::stod(taxa), scv);
    }
    std::istringstream destinos(t.substr(maior + 1));
    for (std::string d; std::getline(destinos, d, ',');) f.rota.push_back(destino(d));
    r.fontes.push_back(f);
  }
  // I>J:P, and of class A at station I: I.A>J:P, I.A=B (leaves as B), I.A*MEAN[~SCV], I.A+MEAN
  // (its patience, exponential).
  for (std::string t; partes.size() > 2 && partes[2] >> t;) {
    const std::size_t fim = t.find_first_of(".>");
    geral::Estacao& e = r.estacoes.at(std::stoul(t.substr(0, fim)) - 1);
    if (t[fim] == '>') {
      e.rota.push_back(destino(t.substr(fim + 1)));
      continue;
    }
    const std::size_t sinal = t.find_first_of(">=*+", fim);
    geral::DaClasse& x =
        e.classes.at(static_cast<std::size_t>(classe(r, t.substr(fim + 1, sinal - fim - 1))));
    const std::string resto = t.substr(sinal + 1);
    if (t[sinal] == '>') {
      if (!x.rota) x.rota.emplace();
      x.rota->push_back(destino(resto));
    } else if (t[sinal] == '=') {
      x.proxima_classe = classe(r, resto);
    } else if (t[sinal] == '+') {
      x.paciencia = lei(std::stod(resto), std::nullopt);
    } else {
      x.servico = servico(resto);
    }
  }
  return r;
}

// "TIPO NUMERO FIGURA[@T] VALUE TOLERANCE METHOD" or "TIPO NUMERO FIGURA -": the figure as an
// engine names it, and what theory must give it.
void conferir(const std::string& tipo, std::istringstream& in, const Solucao& sol) {
  IdFigura id{tipo, "x", 0, "", ""};
  std::string objeto, valor;
  ASSERT_TRUE(in >> objeto >> id.figura >> valor);
  if (tipo == "classe") {
    id.nome = objeto;
  } else {
    if (const std::optional<std::string> c = sufixo(objeto, ':')) id.classe = *c;
    id.numero = std::stoi(objeto);
  }
  if (const std::size_t arroba = id.figura.find('@'); arroba != std::string::npos) {
    id.limiar = std::stod(id.figura.substr(arroba + 1));
    id.figura.resize(arroba);
  }
  const std::optional<Teorico> t =
      teoria_das_figuras(sol, {id}, [](const IdFigura& x) {
        return x.tipo == "rede" || x.tipo == "classe" ? -1 : x.numero - 1;
      }).at(0);
  if (valor == "-") {
    EXPECT_FALSE(t) << t->valor << " " << t->metodo;
    return;
  }
  double tol;
  std::string metodo;
  ASSERT_TRUE(in >> tol >> metodo);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->metodo, metodo);
  EXPECT_NEAR(metodo == "instavel" ? t->carga : t->valor, std::stod(valor), tol);
}

TEST(Teoria, GivesTextbookAnswers) {
  std::ifstream arquivo(TARVO_TEORIA_CASOS);
  ASSERT_TRUE(arquivo) << TARVO_TEORIA_CASOS;
  int casos = 0;
  std::optional<Solucao> sol;          // of the last network, unless solving it failed
  Rede rede;                           // the last network
  Resolvidos resolvidos;               // the stretches of its windows solved so far
  std::vector<geral::Classe> classes;  // of the next network
  for (std::string linha; std::getline(arquivo, linha);) {
    linha = linha.substr(0, linha.find('#'));
    std::istringstream in(linha);
    std::string f;
    if (!(in >> f)) continue;
    SCOPED_TRACE(linha);
    ++casos;
    double lambda, es, a, scv, esperado, tol;
    int c;
    std::int64_t k;
    std::string nome;
    if (f == "classes") {
      // NAME[:PRIORITY][=POPULATION@STATION]
      for (std::string t; in >> t;) {
        geral::Classe x;
        if (const std::optional<std::string> p = sufixo(t, '=')) {
          const std::size_t arroba = p->find('@');
          x.populacao = std::stoll(p->substr(0, arroba));
          x.inicio = std::stoi(p->substr(arroba + 1)) - 1;
        }
        if (const std::optional<std::string> p = sufixo(t, ':')) x.prioridade = std::stoi(*p);
        x.nome = t;
        classes.push_back(x);
      }
      continue;
    }
    if (f == "modelo") {
      rede = de_geral(modelo(in, std::move(classes)));
      classes.clear();
      resolvidos.clear();
      try {
        sol = resolver(rede);
      } catch (const Falha&) {
        sol.reset();
      }
      continue;
    }
    if (f == "janela" && in >> lambda >> es) {
      sol = na_janela(rede, lambda, es, &resolvidos);
      continue;
    }
    if (f == "falha") {
      EXPECT_FALSE(sol);
      continue;
    }
    if (f == "estacao" || f == "fila" || f == "servidor" || f == "rede" || f == "classe") {
      ASSERT_TRUE(sol);
      conferir(f, in, *sol);
      continue;
    }
    double x = 0;
    if (f == "mmc" && in >> lambda >> c >> es >> nome) {
      x = figura(mmc(lambda, c, es), nome);
    } else if (f == "mmck" && in >> lambda >> c >> k >> es >> nome) {
      x = figura(mmck(lambda, c, k, es), nome);
    } else if (f == "mg1" && in >> lambda >> es >> scv >> nome) {
      x = figura(mg1(lambda, es, scv), nome);
    } else if (f == "mginf" && in >> lambda >> es >> nome) {
      x = figura(mginf(lambda, es), nome);
    } else if (f == "erlang_b" && in >> c >> a) {
      x = erlang_b(c, a);
    } else if (f == "erlang_c" && in >> c >> a) {
      x = erlang_c(c, a);
    } else if (f == "cadeia") {
      // LAMBDA C E[S] PATIENCE CHANCES CAPACITY FIGURE, "-" for no patience, chances, capacity.
      Impaciente y;
      std::string paciencia, chances, capacidade;
      ASSERT_TRUE(in >> y.lambda >> y.servidores >> y.media >> paciencia >> chances >> capacidade >>
                  nome);
      if (paciencia != "-") y.paciencia = std::stod(paciencia);
      y.desistencia = lista(chances);
      if (capacidade != "-") y.capacidade = std::stoll(capacidade);
      const std::optional<Cadeia> z = impaciente(y);
      if (nome == "nenhuma") {
        EXPECT_FALSE(z);
        continue;
      }
      ASSERT_TRUE(z);
      x = nome == "espera_todos" ? z->espera_todos
          : nome == "estados"    ? static_cast<double>(z->estados)
                                 : figura(z->m, nome);
    } else {
      ADD_FAILURE() << "unreadable case";
      continue;
    }
    ASSERT_TRUE(in >> esperado >> tol);
    EXPECT_NEAR(x, esperado, tol);
  }
  EXPECT_GT(casos, 50);
}

// Loops too large to solve densely, as the small ones. A ring of stations passing 0.999 of their
// customers on, fed at the first: lambda_k = 0.999^k / (1 - 0.999^n). The ring with a source of
// rate 0.1 and SCV 1/2 at every station, which passes half on to the next, services of mean 2.5
// and SCV 1/4: by symmetry lambda = 0.2 and rho = 0.5 everywhere, and QNA's flows into a station
// are the source's and the previous station's, each half of it: v = 2, w = 1/2, and c_a =
// 0.5 + 0.25 0.5 + 0.25 (0.5 rho^2 c_s + 0.5) + 0.25 0.5 (1 - rho^2) c_a, so c_a = 0.7578125 /
// 0.90625; the wait is M/M/1's, 2.5, times (c_a + c_s) / 2.
TEST(Teoria, SolvesLargeLoopsAsSmallOnes) {
  for (int n : {3, 1000}) {
    SCOPED_TRACE(n);
    Rede r;
    r.fontes = {{1, 1, true, {{0, 1}}}};
    for (int i = 0; i < n; ++i) {
      r.estacoes.push_back({1, false, std::nullopt, 0.1, 1, true, {{(i + 1) % n, 0.999}}});
    }
    const std::vector<double> l = taxas(r, std::vector<double>(static_cast<std::size_t>(n), 1));
    for (int k = 0; k < n; ++k) {
      const double esperado = std::pow(0.999, k) / (1 - std::pow(0.999, n));
      EXPECT_NEAR(l[static_cast<std::size_t>(k)] / esperado, 1, 1e-12) << k;
    }
    r.fontes.clear();
    for (int i = 0; i < n; ++i) {
      r.fontes.push_back({0.1, 0.5, false, {{i, 1}}});
      r.estacoes[static_cast<std::size_t>(i)] = {1,    false, std::nullopt,        2.5,
                                                 0.25, false, {{(i + 1) % n, 0.5}}};
    }
    const Solucao s = resolver(r);
    for (const Estado& e : s.estacoes) {
      EXPECT_NEAR(e.m.espera, 2.5 * (0.7578125 / 0.90625 + 0.25) / 2, 1e-12);
      EXPECT_EQ(e.metodo, Metodo::aproximada);
    }
  }
}

}  // namespace
}  // namespace tarvo::teoria
