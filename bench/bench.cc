// The benchmark: the engine's event rate on fixed models against the floor every event costs,
// peak memory, and the whole tarvo process (start-up, traces). Run without arguments; it spawns
// itself (one child per model, so that each peak memory is its own) and the release tarvo.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "comum/failure.h"
#include "geral/motor.h"
#include "legado/engine/handlers.h"
#include "legado/engine/random.h"
#include "legado/engine/run.h"
#include "legado/engine/simulation.h"
#include "legado/input/loader.h"

namespace tarvo::bench {
namespace {

constexpr int REPETICOES = 5;         // each figure is the best of this many runs
constexpr std::uint32_t SEMENTE = 1;  // every run draws the same numbers

double agora() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The processor time of this thread: on a machine other work shares, it counts only the time
// the run itself had the processor. On a quiet machine it equals the elapsed time.
double cpu() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// ---- the floor ----------------------------------------------------------------------------

// What no engine can avoid per event: one draw, the exponential duration as gerar_tempo forms
// it (u as a float, the logarithm in double, the duration rounded to float), the clock added,
// and the new time put in order among k pending times while the earliest leaves. The head is
// taken out and the new time walks in from the head, so the K - 1 others move only as far as
// the new time goes: one pass, no second shift. Returns the final clock so nothing is dropped.
[[gnu::noipa]] float piso(int k, long long eventos, double media) {
  Gerador g;
  g.estado = SEMENTE;
  float p[64];
  auto sorteio = [&g, media] {
    const double u = static_cast<double>(static_cast<float>(aleatorio(g) / 32768.0));
    return static_cast<float>(-(std::log(1.0 - u) * media));
  };
  for (int i = 0; i < k; ++i) p[i] = std::numeric_limits<float>::infinity();
  for (int j = 0; j < k; ++j) {  // the first k times, in order, as the sources' first arrivals
    const float t = sorteio();
    int i = j;
    while (i > 0 && p[i - 1] >= t) {
      p[i] = p[i - 1];
      --i;
    }
    p[i] = t;
  }
  float relogio = 0;
  for (long long n = 0; n < eventos; ++n) {
    relogio = p[0];
    const float t =
        static_cast<float>(static_cast<double>(sorteio()) + static_cast<double>(relogio));
    int i = 1;
    while (i < k && p[i] < t) {  // a tie goes before the pending time
      p[i - 1] = p[i];
      ++i;
    }
    p[i - 1] = t;
  }
  return relogio;
}

// ---- one model, in a child process --------------------------------------------------------

long long pico_memoria_kib() {
  std::ifstream f("/proc/self/status");
  std::string linha;
  while (std::getline(f, linha)) {
    if (linha.rfind("VmHWM:", 0) == 0) return std::atoll(linha.c_str() + 6);
  }
  return -1;
}

struct Execucao {
  long long eventos = 0;
  long long clientes = 0;  // customers generated
  double segundos = 0;
  int pendentes = 0;  // nfontes + nservidores
};

// Loads the model, runs it with Visual 0 and the given customer limit (the file's own when
// clientes is 0), and counts the passes of the loop: each handles one arrival or one completion.
Execucao rodar_modelo(const char* arquivo, long long clientes) {
  auto sim = std::make_unique<Simulacao>();
  ler_modelo(*sim, arquivo);
  Rede& r = sim->rede;
  r.Visual = 0;
  if (clientes > 0) {
    r.Nlimite = static_cast<int>(clientes);
    r.Tlimite = std::numeric_limits<Tempo>::max();
  }
  zerar_estatisticas(*sim);
  semear(sim->gerador, SEMENTE);
  primeiras_chegadas(*sim);
  const double t0 = cpu();
  simular(*sim);
  const double t1 = cpu();
  Execucao e;
  e.segundos = t1 - t0;
  for (int j = 1; j <= r.nfontes; ++j) e.eventos += r.fontes[j].gerados;
  for (int j = 1; j <= r.nservidores; ++j) e.eventos += r.servidores[j].atendidos;
  e.pendentes = r.nfontes + r.nservidores;
  e.clientes = sim->Nfregues;
  return e;
}

// Child: "--modelo FILE CUSTOMERS REPS" prints events, K, best engine seconds, best floor
// seconds and the peak resident memory in KiB. Engine and floor runs alternate so that a
// neighbour's load hits both alike.
int filho_modelo(const char* arquivo, long long clientes, int repeticoes) {
  double motor = 1e300, chao = 1e300;
  Execucao e;
  float soma = 0;
  for (int i = 0; i < repeticoes; ++i) {
    e = rodar_modelo(arquivo, clientes);
    motor = std::min(motor, e.segundos);
    if (e.pendentes > 64) return 1;
    const double t0 = cpu();
    soma += piso(e.pendentes, e.eventos, 1.0);
    chao = std::min(chao, cpu() - t0);
  }
  std::printf("%lld %lld %d %.9f %.9f %lld %g\n", e.eventos, e.clientes, e.pendentes, motor, chao,
              pico_memoria_kib(), static_cast<double>(soma));
  return 0;
}

// ---- the extended engine ------------------------------------------------------------------

geral::Distribuicao exponencial(double media) {
  geral::Distribuicao d;
  d.media = media;
  return d;
}

// The networks the extended engine is timed on, built in code: "mm1" (load 0.9, as M1),
// "tandem" (28 stations of mean 0.8 in series, as M4), "mm4" and "mm16" (4 and 16 servers at load
// 0.9), "mm2/10" (2 servers at load 0.9 and room for 10, losing 5.5% of arrivals),
// "rede1000" (1000 stations routing at random, below), and "atraso:S" (one source of mean 1 into
// infinitely many servers of mean S: about S events pending, for the cost per event against
// their number).
geral::Rede rede_geral(const std::string& nome, long long clientes) {
  geral::Rede r;
  r.fregueses = clientes;
  auto estacao = [&r](int servidores, double media, geral::Rota rota) {
    geral::Estacao e;
    e.nome = "e" + std::to_string(r.estacoes.size() + 1);
    e.servidores = servidores;
    e.servico = exponencial(media);
    e.rota = std::move(rota);
    r.estacoes.push_back(e);
  };
  if (nome == "mm1" || nome == "mm4" || nome == "mm16" || nome == "mm2/10") {
    r.fontes.push_back({"chegadas", exponencial(1), {{0, 1}}});
    if (nome == "mm1") estacao(1, 0.9, {});
    if (nome == "mm4") estacao(4, 3.6, {});
    if (nome == "mm16") estacao(16, 14.4, {});
    if (nome == "mm2/10") {
      estacao(2, 1.8, {});
      r.estacoes.back().capacidade = 10;
    }
  } else if (nome == "tandem") {
    r.fontes.push_back({"chegadas", exponencial(1), {{0, 1}}});
    for (int j = 0; j < 28; ++j) estacao(1, 0.8, j < 27 ? geral::Rota{{j + 1, 1}} : geral::Rota{});
  } else if (nome == "rede1000") {
    // 100 sources of mean 1 into every tenth station; each station sends 0.3 to each of three
    // stations drawn once from a fixed stream, and 0.1 out: about 10 visits per customer and
    // an arrival rate of 1 per station on average, a load of 0.2 (the most loaded below 0.8).
    geral::Gerador g = geral::gerador(SEMENTE, 0, geral::Proposito::rota_estacao, 12345);
    for (int j = 0; j < 100; ++j) {
      r.fontes.push_back({"f" + std::to_string(j + 1), exponencial(1), {{10 * j, 1}}});
    }
    for (int j = 0; j < 1000; ++j) {
      geral::Rota rota;
      for (int k = 0; k < 3; ++k) rota.push_back({static_cast<int>(g.pcg(1000u)), 0.3});
      estacao(1, 0.2, rota);
    }
  } else if (nome.rfind("atraso:", 0) == 0) {
    r.fontes.push_back({"chegadas", exponencial(1), {{0, 1}}});
    estacao(1, std::atof(nome.c_str() + 7), {});
    r.estacoes.back().infinitos = true;
  } else {
    std::fprintf(stderr, "tarvo_bench: no network %s\n", nome.c_str());
    std::exit(2);
  }
  return r;
}

// The most loaded station of a network by its traffic equations (fixed-point iteration), so
// that the random network's stability shows in the output.
double carga_maxima(const geral::Rede& r) {
  std::vector<double> l(r.estacoes.size(), 0);
  for (int it = 0; it < 500; ++it) {
    std::vector<double> n(r.estacoes.size(), 0);
    for (const geral::Fonte& f : r.fontes) {
      for (const geral::Destino& d : f.rota)
        n[static_cast<std::size_t>(d.estacao)] += d.p / f.intervalo.media;
    }
    for (std::size_t j = 0; j < r.estacoes.size(); ++j) {
      for (const geral::Destino& d : r.estacoes[j].rota)
        n[static_cast<std::size_t>(d.estacao)] += d.p * l[j];
    }
    l = n;
  }
  double m = 0;
  for (std::size_t j = 0; j < l.size(); ++j) {
    const geral::Estacao& e = r.estacoes[j];
    if (!e.infinitos) m = std::max(m, l[j] * e.servico.media / e.servidores);
  }
  return m;
}

// Child: "--geral NETWORK CUSTOMERS REPS" prints events, customers, events pending at the end,
// best seconds, peak resident memory in KiB and the network's highest load.
int filho_geral(const std::string& nome, long long clientes, int repeticoes) {
  const geral::Rede rede = rede_geral(nome, clientes);
  const geral::RedePronta pronta = geral::preparar_rede(rede);
  double melhor = 1e300;
  long long eventos = 0, pendentes = 0;
  for (int i = 0; i < repeticoes; ++i) {
    geral::Corrida c(pronta, SEMENTE, 0, 0);
    const double t0 = cpu();
    geral::rodar(c);
    melhor = std::min(melhor, cpu() - t0);
    eventos = static_cast<long long>(c.eventos);
    pendentes = static_cast<long long>(c.pendentes.size());
  }
  std::printf("%lld %lld %lld %.9f %lld %.4f\n", eventos, clientes, pendentes, melhor,
              pico_memoria_kib(), carga_maxima(rede));
  return 0;
}

// ---- processes ----------------------------------------------------------------------------

struct Filho {
  int status = -1;
  double segundos = 0;
  std::string saida;  // standard output, when captured
};

// Runs argv in diretorio. Standard output goes to /dev/null, or to the returned text when
// capturar; standard error always to /dev/null.
Filho executar(const std::vector<std::string>& argv, const std::string& diretorio, bool capturar) {
  int tubo[2] = {-1, -1};
  if (capturar && pipe(tubo) != 0) std::exit(2);
  const double t0 = agora();
  const pid_t pid = fork();
  if (pid < 0) std::exit(2);
  if (pid == 0) {
    const int nulo = open("/dev/null", O_WRONLY);
    dup2(capturar ? tubo[1] : nulo, 1);
    dup2(nulo, 2);
    if (capturar) {
      close(tubo[0]);
      close(tubo[1]);
    }
    if (!diretorio.empty() && chdir(diretorio.c_str()) != 0) _exit(127);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  Filho f;
  if (capturar) {
    close(tubo[1]);
    char buf[1 << 16];
    ssize_t n;
    while ((n = read(tubo[0], buf, sizeof buf)) > 0) f.saida.append(buf, static_cast<size_t>(n));
    close(tubo[0]);
  }
  int st = 0;
  waitpid(pid, &st, 0);
  f.segundos = agora() - t0;
  f.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  return f;
}

// Bytes a run of tarvo writes to standard output, counted through a pipe.
long long bytes_saida(const std::vector<std::string>& argv, const std::string& diretorio) {
  return static_cast<long long>(executar(argv, diretorio, true).saida.size());
}

std::string ler(const std::string& caminho) {
  std::ifstream f(caminho, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

void escrever(const std::string& caminho, const std::string& texto) {
  std::ofstream(caminho, std::ios::binary) << texto;
}

struct Medida {
  long long eventos;
  long long clientes;
  int k;
  double motor, chao;
  long long pico_kib;
};

Medida medir(const std::string& eu, const std::string& arquivo, long long clientes,
             int repeticoes) {
  const Filho f = executar(
      {eu, "--modelo", arquivo, std::to_string(clientes), std::to_string(repeticoes)}, "", true);
  Medida m{};
  if (f.status != 0 || std::sscanf(f.saida.c_str(), "%lld %lld %d %lf %lf %lld", &m.eventos,
                                   &m.clientes, &m.k, &m.motor, &m.chao, &m.pico_kib) != 6) {
    std::fprintf(stderr, "tarvo_bench: the run of %s failed (status %d)\n", arquivo.c_str(),
                 f.status);
    std::exit(1);
  }
  return m;
}

struct MedidaGeral {
  long long eventos, clientes, pendentes;
  double segundos;
  long long pico_kib;
  double carga;
};

MedidaGeral medir_geral(const std::string& eu, const std::string& rede, long long clientes,
                        int repeticoes) {
  const Filho f = executar(
      {eu, "--geral", rede, std::to_string(clientes), std::to_string(repeticoes)}, "", true);
  MedidaGeral m{};
  if (f.status != 0 ||
      std::sscanf(f.saida.c_str(), "%lld %lld %lld %lf %lld %lf", &m.eventos, &m.clientes,
                  &m.pendentes, &m.segundos, &m.pico_kib, &m.carga) != 6) {
    std::fprintf(stderr, "tarvo_bench: the run of %s failed (status %d)\n", rede.c_str(), f.status);
    std::exit(1);
  }
  return m;
}

struct Caso {
  const char* nome;
  const char* arquivo;
  long long clientes;  // 0: the model's own N
};

int principal(const std::string& eu) {
  const std::string modelos = TARVO_BENCH_MODELOS;
  const std::string tarvo = TARVO_BIN;
  const Caso casos[] = {
      {"M1", "m1.txt", 0}, {"M2", "m2.txt", 0}, {"M3", "m3.txt", 0},
      {"M4", "m4.txt", 0}, {"M5", "m5.txt", 0}, {"caixa", "caixa.txt", 10000000},
  };

  std::printf(
      "Tarvo benchmark: Visual 0, in-process, seed %u. Times are the run's own processor time\n"
      "(CLOCK_THREAD_CPUTIME_ID), the best of %d runs, engine and floor runs alternating.\n",
      SEMENTE, REPETICOES);
  std::printf(
      "Floor: per event one draw, u as a float, the duration by std::log as gerar_tempo forms "
      "it,\nthe clock added, and a linear ordered insert among K pending times as the head "
      "leaves;\nK = nfontes + nservidores, the most events pending between two passes.\n\n");
  std::printf(
      "| model | customers | events | events/s | ns/event | K | floor ns/event | "
      "ratio to floor | peak memory |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  std::fflush(stdout);
  double legado_mm1 = 0, legado_tandem = 0;  // events per second
  for (const Caso& c : casos) {
    const Medida m = medir(eu, modelos + "/" + c.arquivo, c.clientes, REPETICOES);
    const double taxa = static_cast<double>(m.eventos) / m.motor;
    if (std::strcmp(c.nome, "M1") == 0) legado_mm1 = taxa;
    if (std::strcmp(c.nome, "M4") == 0) legado_tandem = taxa;
    const double ns = m.motor * 1e9 / static_cast<double>(m.eventos);
    const double ns_chao = m.chao * 1e9 / static_cast<double>(m.eventos);
    std::printf("| %s | %lld | %lld | %.1f M | %.1f | %d | %.1f | %.2f | %.2f MiB |\n", c.nome,
                m.clientes, m.eventos, static_cast<double>(m.eventos) / m.motor / 1e6, ns, m.k,
                ns_chao, ns_chao / ns, static_cast<double>(m.pico_kib) / 1024);
    std::fflush(stdout);
  }

  std::printf(
      "\ncaixa is examples/caixa.txt with its customer limit raised and its time limit "
      "lifted.\n");

  // Peak memory must not grow with the length of the run.
  const Medida pequeno = medir(eu, modelos + "/m1.txt", 100000, 1);
  const Medida grande = medir(eu, modelos + "/m1.txt", 100000000, 1);
  std::printf(
      "\nM1 peak memory (VmHWM of a child each): 1e5 customers %lld KiB, 1e8 customers "
      "%lld KiB (difference %lld KiB; 1e8 run at %.1f M events/s)\n",
      pequeno.pico_kib, grande.pico_kib, grande.pico_kib - pequeno.pico_kib,
      static_cast<double>(grande.eventos) / grande.motor / 1e6);
  std::fflush(stdout);

  // The extended engine, on networks built in code (double precision, PCG streams, a binary
  // heap, the network's sojourn quantiles), against the legacy rows above.
  std::printf(
      "\nExtended engine (src/geral): the same seed, clock and best of %d runs; one event per "
      "arrival\nor completion; K = events pending at the end; legacy = this rate over the "
      "legacy engine's on\nthe same network (M1, M4).\n\n",
      REPETICOES);
  std::printf(
      "| network | customers | events | events/s | ns/event | K | highest load | vs legacy | "
      "peak memory |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  std::fflush(stdout);
  struct CasoGeral {
    const char* rede;
    long long clientes;
    double legado;  // events per second of the legacy engine on the same network, or 0
  };
  const CasoGeral geral[] = {
      {"mm1", 10000000, legado_mm1}, {"tandem", 500000, legado_tandem}, {"mm4", 10000000, 0},
      {"mm16", 10000000, 0},         {"mm2/10", 10000000, 0},           {"rede1000", 1000000, 0},
  };
  for (const CasoGeral& c : geral) {
    const MedidaGeral m = medir_geral(eu, c.rede, c.clientes, REPETICOES);
    const double taxa = static_cast<double>(m.eventos) / m.segundos;
    char contra[32] = "";
    if (c.legado > 0) std::snprintf(contra, sizeof contra, "%.2f", taxa / c.legado);
    std::printf("| %s | %lld | %lld | %.1f M | %.1f | %lld | %.3f | %s | %.2f MiB |\n", c.rede,
                m.clientes, m.eventos, taxa / 1e6, 1e9 / taxa, m.pendentes, m.carga, contra,
                static_cast<double>(m.pico_kib) / 1024);
    std::fflush(stdout);
  }

  // The cost of an event against the number pending: a delay station holds about S customers
  // in service, each with its completion pending.
  std::printf(
      "\nExtended engine, one source into infinitely many servers of mean S (2e6 "
      "customers):\n\n| S | K | ns/event |\n|---:|---:|---:|\n");
  for (const char* s : {"1", "10", "100", "1000", "10000", "100000"}) {
    const MedidaGeral m = medir_geral(eu, std::string("atraso:") + s, 2000000, REPETICOES);
    std::printf("| %s | %lld | %.1f |\n", s, m.pendentes,
                m.segundos * 1e9 / static_cast<double>(m.eventos));
    std::fflush(stdout);
  }

  const MedidaGeral g_pequeno = medir_geral(eu, "mm1", 100000, 1);
  const MedidaGeral g_grande = medir_geral(eu, "mm1", 100000000, 1);
  std::printf(
      "\nExtended mm1 peak memory (VmHWM of a child each): 1e5 customers %lld KiB, 1e8 "
      "customers %lld KiB (difference %lld KiB; 1e8 run at %.1f M events/s)\n",
      g_pequeno.pico_kib, g_grande.pico_kib, g_grande.pico_kib - g_pequeno.pico_kib,
      static_cast<double>(g_grande.eventos) / g_grande.segundos / 1e6);
  std::fflush(stdout);

  // The whole process, from outside.
  char modelo_dir[] = "/tmp/tarvo_bench_XXXXXX";
  if (mkdtemp(modelo_dir) == nullptr) return 1;
  const std::string dir = modelo_dir;
  std::printf("\nWhole process (the tarvo built beside this program, TARVO_SEED=%u):\n", SEMENTE);

  // Starting any process costs something on its own; /bin/true, alternated with tarvo, shows
  // how much on this machine.
  escrever(dir + "/n1.txt", ler(modelos + "/caixa.txt") + "N 1\n");
  std::vector<double> tempos, referencia;
  for (int i = 0; i < 301; ++i) {
    const Filho f = executar({tarvo, "n1.txt"}, dir, false);
    if (f.status != 0) return 1;
    tempos.push_back(f.segundos);
    referencia.push_back(executar({"/bin/true"}, dir, false).segundos);
  }
  std::sort(tempos.begin(), tempos.end());
  std::sort(referencia.begin(), referencia.end());
  std::printf(
      "  caixa with N = 1 (start, load, one event, report): median %.3f ms of %zu runs "
      "(min %.3f ms); /bin/true: median %.3f ms\n",
      tempos[tempos.size() / 2] * 1e3, tempos.size(), tempos.front() * 1e3,
      referencia[referencia.size() / 2] * 1e3);
  std::fflush(stdout);

  const std::string m1 = ler(modelos + "/m1.txt");
  const long long clientes_v1 = 2000000;
  escrever(dir + "/v0.txt", m1 + "N " + std::to_string(clientes_v1) + "\nV 0\n");
  escrever(dir + "/v1.txt", m1 + "N " + std::to_string(clientes_v1) + "\nV 1\n");
  const long long eventos_v1 = rodar_modelo((dir + "/v0.txt").c_str(), 0).eventos;
  double t_v0 = 1e300, t_v1 = 1e300;
  for (int i = 0; i < REPETICOES; ++i) {
    t_v0 = std::min(t_v0, executar({tarvo, "v0.txt"}, dir, false).segundos);
    t_v1 = std::min(t_v1, executar({tarvo, "v1.txt"}, dir, false).segundos);
  }
  std::printf(
      "  M1, %lld customers (%lld events): Visual 0 %.1f M events/s; Visual 1 (stderr to "
      "/dev/null) %.1f M events/s = %.2f of Visual 0\n",
      clientes_v1, eventos_v1, static_cast<double>(eventos_v1) / t_v0 / 1e6,
      static_cast<double>(eventos_v1) / t_v1 / 1e6, t_v0 / t_v1);
  std::fflush(stdout);

  const long long clientes_v2 = 200000;
  escrever(dir + "/v2.txt", m1 + "N " + std::to_string(clientes_v2) + "\nV 2\n");
  const long long bytes = bytes_saida({tarvo, "v2.txt"}, dir);
  double t_v2 = 1e300;
  for (int i = 0; i < REPETICOES; ++i) {
    t_v2 = std::min(t_v2, executar({tarvo, "v2.txt"}, dir, false).segundos);
  }
  std::printf(
      "  M1, %lld customers, Visual 2 (stdout to /dev/null): %.1f MB of dump in %.3f s "
      "= %.0f MB/s (MB = 10^6 bytes)\n",
      clientes_v2, static_cast<double>(bytes) / 1e6, t_v2, static_cast<double>(bytes) / t_v2 / 1e6);

  for (const char* f : {"n1.txt", "v0.txt", "v1.txt", "v2.txt", "Simula_imp.txt"}) {
    std::remove((dir + "/" + f).c_str());
  }
  rmdir(dir.c_str());
  return 0;
}

}  // namespace
}  // namespace tarvo::bench

int main(int argc, char** argv) {
  try {
    if (argc == 5 && std::strcmp(argv[1], "--modelo") == 0) {
      return tarvo::bench::filho_modelo(argv[2], std::atoll(argv[3]), std::atoi(argv[4]));
    }
    if (argc == 5 && std::strcmp(argv[1], "--geral") == 0) {
      return tarvo::bench::filho_geral(argv[2], std::atoll(argv[3]), std::atoi(argv[4]));
    }
    if (argc != 1) {
      std::fprintf(stderr, "usage: tarvo_bench\n");
      return 2;
    }
    char eu[4096];
    const ssize_t n = readlink("/proc/self/exe", eu, sizeof eu - 1);
    if (n <= 0) return 1;
    eu[n] = '\0';
    return tarvo::bench::principal(eu);
  } catch (const tarvo::Falha& f) {
    std::fputs(f.texto.c_str(), stderr);
    return 1;
  }
}
