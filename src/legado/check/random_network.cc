// Random models. Each station is a queue and the server it feeds; sources pick a queue, servers
// route onwards, back, or out, and the lines come in a shuffled but legal order.
#include "legado/check/random_network.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "comum/failure.h"

namespace tarvo {

namespace {

// splitmix64: its sequence is fixed by its definition, unlike the standard library's
// distributions, so a seed names the same model on every platform.
class Sorteio {
 public:
  explicit Sorteio(std::uint64_t s) : s_(s) {}
  std::uint64_t bits() {
    std::uint64_t z = (s_ += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }
  int entre(int a, int b) {  // a..b inclusive
    return a + static_cast<int>(bits() % static_cast<std::uint64_t>(b - a + 1));
  }
  double real(double a, double b) {
    return a + (b - a) * static_cast<double>(bits() >> 11) * 0x1p-53;
  }
  bool chance(double p) { return real(0, 1) < p; }
  template <class T>
  const T& um(const std::vector<T>& v) {
    return v[static_cast<std::size_t>(entre(0, static_cast<int>(v.size()) - 1))];
  }

 private:
  std::uint64_t s_;
};

// The distribution of a source's or server's times: its type and its two numbers as written.
struct Distribuicao {
  int tipo;
  std::string a, b;
  double media;
};

// Times of mean about m, of one of the shapes a model can give.
Distribuicao distribuicao(Sorteio& g, double m, unsigned& formas) {
  const double x = g.real(0, 1);
  if (x < 0.45) {
    // The second number is required and ignored.
    return {1, formatar("%.4g", m), formatar("%d", g.entre(0, 9)), m};
  }
  if (x < 0.70) {
    double inf = m * g.real(0, 0.9), sup = 2 * m - inf;
    if (g.chance(0.15)) std::swap(inf, sup);  // reversed bounds are accepted
    return {2, formatar("%.4g", inf), formatar("%.4g", sup), m};
  }
  if (x < 0.88) {
    // Exactly representable, so events of different objects meet at equal times.
    static constexpr double fixos[] = {0.5, 1, 1.5, 2, 3};
    const double v = fixos[g.entre(0, 4)];
    formas |= FORMA_DETERMINISTICA;
    return {2, formatar("%g", v), formatar("%g", v), v};
  }
  // Some durations fall below zero and events land before the clock; the mean stays positive
  // so that time still moves on.
  const double inf = -m * g.real(0.1, 0.5), sup = 2 * m - inf;
  formas |= FORMA_NEGATIVA;
  return {2, formatar("%.4g", inf), formatar("%.4g", sup), m};
}

std::string declaracao(char chave, const char* nome, int numero, const Distribuicao& d,
                       Sorteio& g) {
  std::string s =
      formatar("%c %d %s%d %s %s", chave, d.tipo, nome, numero, d.a.c_str(), d.b.c_str());
  if (g.chance(0.05)) s += " resto da linha";
  return s;
}

std::string ligacao(char chave, int n, Sorteio& g) {
  if (g.chance(0.05)) return formatar("%c %d 0 0 0 0", chave, n);
  if (g.chance(0.05)) return formatar("%c\t%d  comentario", chave, n);
  return formatar("%c %d", chave, n);
}

// A missing link: no line at all, or the number 0.
void sem_ligacao(std::vector<std::string>& b, char chave, Sorteio& g) {
  if (g.chance(0.5)) b.push_back(formatar("%c 0", chave));
}

std::vector<int> permutacao(Sorteio& g, int n) {
  std::vector<int> v(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) v[static_cast<std::size_t>(i)] = i + 1;
  for (int i = n - 1; i > 0; --i) {
    std::swap(v[static_cast<std::size_t>(i)], v[static_cast<std::size_t>(g.entre(0, i))]);
  }
  return v;
}

}  // namespace

ModeloAleatorio rede_aleatoria(std::uint64_t semente) {
  Sorteio g(semente);
  ModeloAleatorio m;
  unsigned& f = m.formas;

  const bool grande = g.chance(0.12);
  const int K = grande ? g.entre(8, 28) : g.entre(0, 5);  // stations
  int H = g.chance(0.15) ? g.entre(1, 2) : 0;             // queues without a server
  if (grande && g.chance(0.5)) H = 28 - K;
  H = std::min(H, 28 - K);
  const int nfilas = K + H + 1;               // the sink last
  int O = g.chance(0.1) ? g.entre(1, 3) : 0;  // servers no station owns
  if (grande && g.chance(0.5)) O = 29 - K;
  O = std::min(O, 29 - K);
  const int nservidores = K + O;
  int nfontes = grande ? (g.chance(0.5) ? 29 : g.entre(1, 29)) : g.entre(1, 4);
  if (g.chance(0.02)) nfontes = 0;
  if (nfilas == 29 || nservidores == 29 || nfontes == 29) f |= FORMA_TABELAS_CHEIAS;

  // Station i is queue fila[i] feeding server servidor[i]; holding queues and the servers no
  // station owns take the remaining numbers.
  const std::vector<int> numero_fila = permutacao(g, nfilas - 1);
  const std::vector<int> numero_servidor = permutacao(g, nservidores);
  auto fila = [&](int i) { return numero_fila[static_cast<std::size_t>(i)]; };
  auto servidor = [&](int i) { return numero_servidor[static_cast<std::size_t>(i)]; };
  const int sorvedouro = nfilas;

  std::vector<std::vector<std::string>> fontes(static_cast<std::size_t>(nfontes) + 1),
      filas(static_cast<std::size_t>(nfilas) + 1),
      servidores(static_cast<std::size_t>(nservidores) + 1);
  double taxa = 0;  // events per unit of time, at most, that the network can produce
  std::vector<int> clientes(static_cast<std::size_t>(nfilas) + 1, 0);

  for (int j = 1; j <= nfontes; ++j) {
    std::vector<std::string>& b = fontes[static_cast<std::size_t>(j)];
    const Distribuicao d = distribuicao(g, g.real(0.5, 4), f);
    taxa += 1 / d.media;
    b.push_back(declaracao('E', "fonte", j, d, g));
    int q;
    if (g.chance(0.05)) {
      f |= FORMA_FONTE_SEM_SAIDA;
      sem_ligacao(b, 's', g);
      continue;
    }
    if (K > 0 && g.chance(0.85)) {
      q = fila(g.entre(0, K - 1));
    } else {
      q = g.entre(1, nfilas);
    }
    ++clientes[static_cast<std::size_t>(q)];
    b.push_back(ligacao('s', q, g));
  }
  for (std::size_t q = 1; q < clientes.size(); ++q) {
    if (clientes[q] >= 2) f |= FORMA_FUSAO;
  }

  for (int i = 0; i < K; ++i) {
    std::vector<std::string>& b = servidores[static_cast<std::size_t>(servidor(i))];
    const Distribuicao d = distribuicao(g, g.real(0.2, 2), f);
    taxa += 1 / d.media;
    b.push_back(declaracao('S', "caixa", servidor(i), d, g));
    const double x = g.real(0, 1);
    if (x < 0.05) {
      f |= FORMA_SERVIDOR_SEM_ENTRADA;
      sem_ligacao(b, 'e', g);
    } else if (x < 0.11 && nfilas > 1) {
      int outra;
      do outra = g.entre(1, nfilas);
      while (outra == fila(i));
      f |= FORMA_ENTRADA_TROCADA;
      b.push_back(ligacao('e', outra, g));
    } else {
      b.push_back(ligacao('e', fila(i), g));
    }
    const double y = g.real(0, 1);
    int saida;
    if (y < 0.05) {
      f |= FORMA_SERVIDOR_SEM_SAIDA;
      sem_ligacao(b, 's', g);
      continue;
    } else if (y < 0.20) {
      saida = fila(g.entre(0, i));
      f |= FORMA_REALIMENTACAO;
    } else if (y < 0.65) {
      saida = i + 1 < K ? fila(i + 1) : sorvedouro;
    } else if (y < 0.80) {
      saida = g.entre(1, nfilas);
    } else {
      saida = sorvedouro;
    }
    for (int k = 0; k < K; ++k) {
      if (k != i && saida == fila(k)) f |= FORMA_TANDEM;
    }
    b.push_back(ligacao('s', saida, g));
  }
  for (int i = 0; i < K; ++i) {
    filas[static_cast<std::size_t>(fila(i))].push_back(ligacao('s', servidor(i), g));
  }
  // A queue without a station of its own sometimes feeds a server no station owns, which may
  // take its customers from anywhere.
  for (int i = K; i < nfilas - 1; ++i) {
    if (O > 0 && g.chance(0.3)) {
      filas[static_cast<std::size_t>(fila(i))].push_back(
          ligacao('s', servidor(g.entre(K, K + O - 1)), g));
    } else {
      sem_ligacao(filas[static_cast<std::size_t>(fila(i))], 's', g);
    }
  }
  for (int i = K; i < nservidores; ++i) {
    std::vector<std::string>& b = servidores[static_cast<std::size_t>(servidor(i))];
    const Distribuicao d = distribuicao(g, g.real(0.2, 2), f);
    taxa += 1 / d.media;
    b.push_back(declaracao('S', "extra", servidor(i), d, g));
    if (g.chance(0.8)) b.push_back(ligacao('e', g.entre(0, nfilas), g));
    if (g.chance(0.8)) b.push_back(ligacao('s', g.entre(1, nfilas), g));
  }
  sem_ligacao(filas[static_cast<std::size_t>(sorvedouro)], 's', g);
  for (int q = 1; q <= nfilas; ++q) {
    std::vector<std::string>& b = filas[static_cast<std::size_t>(q)];
    b.insert(b.begin(), formatar("F %s%d", q == sorvedouro ? "fim" : "fila", q));
    // Accepted under a queue, with no effect.
    if (g.chance(0.03)) b.push_back(formatar("e %d", g.entre(0, 29)));
  }

  // Each object's lines stay together and in number order within its kind; the kinds are
  // merged at random, since links may name objects declared further down.
  std::vector<std::string> linhas;
  std::size_t proxima[3] = {1, 1, 1};
  std::vector<std::vector<std::string>>* tipos[3] = {&fontes, &filas, &servidores};
  const bool agrupado = g.chance(0.3);
  for (;;) {
    std::vector<int> restantes;
    for (int k = 0; k < 3; ++k) {
      if (proxima[k] < tipos[k]->size()) restantes.push_back(k);
    }
    if (restantes.empty()) break;
    const int k = agrupado ? restantes.front() : g.um(restantes);
    for (const std::string& l : (*tipos[k])[proxima[k]++]) linhas.push_back(l);
  }

  // Limits small enough for a few thousand events at most; 'D', 'N' and 'V' lines may stand
  // anywhere, even between a declaration and its links.
  auto em_algum_lugar = [&](std::string l) {
    const int pos = g.entre(0, static_cast<int>(linhas.size()));
    linhas.insert(linhas.begin() + pos, std::move(l));
  };
  const double eventos = g.real(100, 2500);
  if (!g.chance(0.02)) {
    if (g.chance(0.1)) linhas.insert(linhas.begin(), "D 99999");  // the last one holds
    em_algum_lugar(formatar("D %.4g", taxa > 0 ? eventos / taxa : 50.0));
  }
  if (!g.chance(0.02)) em_algum_lugar(formatar("N %d", g.chance(0.05) ? 1 : g.entre(2, 400)));
  if (g.chance(0.5)) em_algum_lugar("V 0");
  if (g.chance(0.2)) em_algum_lugar("* rede gerada ao acaso");
  if (g.chance(0.1)) em_algum_lugar("");

  for (const std::string& l : linhas) m.texto += l + "\n";
  return m;
}

}  // namespace tarvo
