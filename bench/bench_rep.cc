// The benchmark of tarvo-rep: replications on threads against one replication's time, output
// that does not depend on the number of threads, peak memory against run length and number of
// replications, and the coverage of the intervals on an M/M/1 queue whose mean wait is known.
// Prints every number it measured; exits with status 1 when a target is missed.
#include <fcntl.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <boost/math/distributions/binomial.hpp>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "comum/failure.h"
#include "experimento/estatistica.h"
#include "experimento/experimento.h"
#include "experimento/saida.h"
#include "legado/adaptador.h"
#include "legado/engine/random.h"

namespace tarvo::bench {
namespace {

double agora() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The processor time of every thread of this process.
double cpu_processo() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The load averages over 1, 5 and 15 minutes: how much else the machine was running.
std::string carga() {
  std::ifstream f("/proc/loadavg");
  std::string a, b, c;
  f >> a >> b >> c;
  return a + " " + b + " " + c;
}

std::string ler(const std::string& caminho) {
  std::ifstream f(caminho, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// The M/M/1 queue at load 0.9 of bench/models/m1.txt (exponential arrivals of mean 1.0,
// exponential service of mean 0.9, no time limit) with n customers, written into dir.
std::string mm1(const std::string& dir, long long n) {
  const std::string caminho = dir + "/mm1_" + std::to_string(n) + ".txt";
  std::ofstream(caminho, std::ios::binary)
      << ler(std::string(TARVO_BENCH_MODELOS) + "/m1.txt") << "N " << n << "\n";
  return caminho;
}

Pedido pedido(const Modelo& m, const std::string& caminho, std::int64_t replicacoes,
              std::uint32_t semente) {
  Pedido p;
  p.modelo = caminho;
  p.assinatura = m.assinatura();
  p.plano = {semente, replicacoes};
  p.replicacoes = replicacoes;
  p.sorteios_por_replicacao = m.sorteios_por_replicacao(p.plano);
  return p;
}

Resultado rodar(const Modelo& m, const Pedido& p, int jobs) {
  Execucao e;
  e.jobs = jobs;
  return executar(m, p, e);
}

// The wall time of an experiment; cpu receives the processor time all its threads took.
double cronometrar(const Modelo& m, const Pedido& p, int jobs, double* cpu = nullptr) {
  const double c0 = cpu_processo(), t0 = agora();
  rodar(m, p, jobs);
  const double t = agora() - t0;
  if (cpu != nullptr) *cpu = cpu_processo() - c0;
  return t;
}

// One line of the closing table.
struct Alvo {
  std::string nome, medido, limite;
  bool atingido;
  bool imposto;
};

// ---- 1. replications on threads -----------------------------------------------------------

// R replications on J threads against R / J times one replication, all in wall time. 5e6
// customers make a replication of about 0.25 s on this machine; its clock passes 2^22, where
// short durations round away (tarvo-rep warns), which changes the figures but not the work.
constexpr std::int64_t R = 8;
constexpr int J = 2;
constexpr long long CLIENTES_VELOCIDADE = 5000000;
constexpr double FOLGA = 1.10;

Alvo paralelo(const std::string& dir, int tentativas) {
  const std::string caminho = mm1(dir, CLIENTES_VELOCIDADE);
  const auto m = carregar_legado(caminho);
  const Pedido uma = pedido(*m, caminho, 1, 1), todas = pedido(*m, caminho, R, 1);
  std::printf(
      "1. Replications on threads: M/M/1 at load 0.9, %lld customers a replication, R = %lld.\n"
      "   t1 = one replication (best of 3), T(R,J) = R replications on J threads, wall time;\n"
      "   CPU/wall of T(R,2) is about 2 when both cores were ours. Target: T(R,%d) <= %.2f x "
      "R/%d x t1,\n   the best of up to %d attempts.\n\n",
      CLIENTES_VELOCIDADE, static_cast<long long>(R), J, FOLGA, J, tentativas);
  std::printf(
      "| attempt | load avg | t1 s | T(R,1) s | T(R,1)/(R t1) | T(R,2) s | CPU/wall | "
      "T(R,2)/(R/2 t1) |\n|---:|---|---:|---:|---:|---:|---:|---:|\n");
  double melhor = std::numeric_limits<double>::infinity();
  int feitas = 0;
  while (feitas < tentativas && !(melhor <= FOLGA)) {
    ++feitas;
    const std::string antes = carga();
    double t1 = std::numeric_limits<double>::infinity();
    for (int i = 0; i < 3; ++i) t1 = std::min(t1, cronometrar(*m, uma, 1));
    const double s1 = cronometrar(*m, todas, 1);
    double cpu2 = 0;
    const double s2 = cronometrar(*m, todas, J, &cpu2);
    const double r1 = s1 / (static_cast<double>(R) * t1);
    const double r2 = s2 / (static_cast<double>(R) / J * t1);
    melhor = std::min(melhor, r2);
    std::printf("| %d | %s | %.3f | %.3f | %.3f | %.3f | %.2f | %.3f |\n", feitas, antes.c_str(),
                t1, s1, r1, s2, cpu2 / s2, r2);
    std::fflush(stdout);
  }
  std::printf("\n");
  return {"1 parallel speed: T(R,2) / (R/2 x t1)", formatar("%.3f (best of %d)", melhor, feitas),
          formatar("<= %.2f", FOLGA), melhor <= FOLGA, true};
}

// ---- 2. the same output on any number of threads -------------------------------------------

Alvo mesmas_saidas(const std::string& dir) {
  const std::string caminho = mm1(dir, 100000);
  const auto m = carregar_legado(caminho);
  // A fixed number of replications, and a precision stop with a warm-up: the stop is decided
  // in index order while the threads finish out of it.
  Pedido parada = pedido(*m, caminho, 5, 8);
  parada.plano.maximo = 64;
  parada.precisao = 0.03;
  parada.alvos = {"espera_media"};
  parada.aquecimento = 500;
  parada.sorteios_por_replicacao = m->sorteios_por_replicacao(parada.plano);
  const struct {
    const char* nome;
    Pedido p;
  } casos[] = {{"20 replications, seed 7", pedido(*m, caminho, 20, 7)},
               {"precision 0.03 on espera_media, warm-up 500, seed 8", parada}};
  std::printf(
      "2. The same experiment on 1, 2 and 8 threads (in-process executar + escrever), M/M/1 at "
      "load 0.9,\n   1e5 customers a replication. Target: JSON and text identical byte for "
      "byte.\n\n| experiment | replications | JSON bytes | text bytes | J = 2 | J = 8 |\n"
      "|---|---:|---:|---:|---|---|\n");
  bool todas = true;
  for (const auto& c : casos) {
    const Resultado r1 = rodar(*m, c.p, 1);
    const std::string json = escrever(r1, Formato::json), texto = escrever(r1, Formato::texto);
    std::string iguais[2];
    for (int k = 0; k < 2; ++k) {
      const Resultado r = rodar(*m, c.p, k == 0 ? 2 : 8);
      const bool j = escrever(r, Formato::json) == json, t = escrever(r, Formato::texto) == texto;
      iguais[k] = j && t ? "identical" : j ? "text differs" : t ? "JSON differs" : "both differ";
      todas = todas && j && t;
    }
    std::printf("| %s | %lld | %zu | %zu | %s | %s |\n", c.nome,
                static_cast<long long>(r1.fim - r1.inicio), json.size(), texto.size(),
                iguais[0].c_str(), iguais[1].c_str());
  }
  std::printf("\n");
  return {"2 same output on J = 1, 2, 8", todas ? "identical" : "differs", "identical", todas,
          true};
}

// ---- 3. peak memory -----------------------------------------------------------------------

// The peak resident memory (VmHWM) of a run of argv, in KiB. The child is traced only to be
// stopped at its exit, while its memory is still there to read. A child's ru_maxrss would not
// do: Linux counts in it the resident size of the copy of this process made by fork.
long long pico_kib(const std::vector<std::string>& argv) {
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    const int nulo = open("/dev/null", O_WRONLY);
    dup2(nulo, 1);
    dup2(nulo, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) == 0) execv(args[0], args.data());
    _exit(127);
  }
  long long pico = -1;
  int st = 0;
  waitpid(pid, &st, 0);  // stopped by the exec
  if (WIFSTOPPED(st)) {
    auto dado = [](long x) { return reinterpret_cast<void*>(x); };  // ptrace reads a pointer
    ptrace(PTRACE_SETOPTIONS, pid, nullptr, dado(PTRACE_O_TRACEEXIT | PTRACE_O_EXITKILL));
    int sinal = 0;
    for (;;) {
      ptrace(PTRACE_CONT, pid, nullptr, dado(sinal));
      if (waitpid(pid, &st, 0) < 0 || !WIFSTOPPED(st)) break;
      sinal = 0;
      if (st >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
        std::ifstream f("/proc/" + std::to_string(pid) + "/status");
        std::string linha;
        while (std::getline(f, linha)) {
          if (linha.rfind("VmHWM:", 0) == 0) pico = std::atoll(linha.c_str() + 6);
        }
      } else {
        sinal = WSTOPSIG(st);  // the child's own signals go on to it
      }
    }
  }
  return WIFEXITED(st) && WEXITSTATUS(st) == 0 ? pico : -1;
}

constexpr long long FOLGA_MEMORIA_KIB = 1024;

Alvo memoria(const std::string& dir) {
  auto medir = [&](long long clientes, int replicacoes) {
    const long long kib = pico_kib({TARVO_REP_BIN, "-r", std::to_string(replicacoes), "-j", "2",
                                    "-s", "1", "-f", "json", mm1(dir, clientes)});
    if (kib < 0) {
      std::printf("| %d | %lld | not measured: the run failed, or tracing it was refused |\n",
                  replicacoes, clientes);
    } else {
      std::printf("| %d | %lld | %lld KiB |\n", replicacoes, clientes, kib);
    }
    std::fflush(stdout);
    return kib;
  };
  std::printf(
      "3. Peak memory (VmHWM) of tarvo-rep -j 2 -f json on M/M/1 at load 0.9, output to "
      "/dev/null.\n   Target: 4 replications of 1e7 customers within %lld KiB of 4 of 1e5.\n\n"
      "| replications | customers | peak |\n|---:|---:|---:|\n",
      FOLGA_MEMORIA_KIB);
  const long long curta = medir(100000, 4), longa = medir(10000000, 4);
  const long long poucas = medir(1000, 4), muitas = medir(1000, 400);
  const long long d = longa - curta;
  std::printf(
      "\n   run length 1e5 -> 1e7 customers: %+lld KiB; replications 4 -> 400: %+lld KiB "
      "(%.2f KiB a replication)\n\n",
      d, muitas - poucas, static_cast<double>(muitas - poucas) / 396);
  const bool ok = curta > 0 && longa > 0 && poucas > 0 && muitas > 0 && d < FOLGA_MEMORIA_KIB;
  return {"3 peak memory, 1e7 vs 1e5 customers", formatar("%+lld KiB", d),
          formatar("< %lld KiB", FOLGA_MEMORIA_KIB), ok, true};
}

// ---- 4. interval coverage -----------------------------------------------------------------

// The first two moments of the durations the generator gives an exponential of mean med:
// u = r / 32768 for r = 0..32767 equally likely, and -med ln(1 - u). For mean 1 that is 0.019%
// below the mean and 0.11% below the second moment of the continuous law, so arrivals are
// renewal with squared coefficient of variation 0.99845 instead of Poisson's 1; by the
// Kramer-Langenbach-Belz approximation the mean wait is lower by about (1 - 0.99845) / 2 =
// 0.08%, 0.006 time units, against half-widths near 0.25.
struct Momentos {
  double m1 = 0, m2 = 0;
};

Momentos exponencial_discreta(double med) {
  Momentos m;
  for (int r = 0; r < 32768; ++r) {
    const double x = -med * std::log(1 - r / 32768.0);
    m.m1 += x / 32768;
    m.m2 += x * x / 32768;
  }
  return m;
}

// 200 experiments of 20 replications of 1e5 customers. Each replication starts empty: for the
// M/M/1 queue at load 0.9 the expected area lost to starting empty, the integral of
// Lq - E[Lq(t)], is 801.9 (Poisson's equation of the birth-death chain), so over a clock of
// 1e5 the mean wait of a replication is biased by about -0.008. With the arrivals' -0.006 the
// replications' mean sits about 0.014 below W: 0.12 of the standard error (near 0.12) of an
// experiment's mean, which lowers the coverage from 95% by about 0.2 point, against the
// binomial's standard deviation of 1.5 points. No warm-up is needed. Over all 4000
// replications, though, 0.014 is 1.6 standard errors, so the mean of means is printed beside
// W - 0.014.
constexpr int EXPERIMENTOS = 200;
constexpr std::int64_t REPLICACOES = 20;
constexpr long long CLIENTES_COBERTURA = 100000;
constexpr double CONFIANCA = 0.95;
constexpr double CENTRAL = 0.999;  // of Binomial(200, 0.95): the counts accepted
// Experiment k starts at the generator's state 2^18 k draws after seed 1, and its replication
// i a further i 2^26 draws on (the tool's plan for 20 replications): 200 x 2^18 < 2^26, and a
// replication draws 2e5 + 1 < 2^18 numbers, so no two of the 4000 replications share one.
constexpr std::uint64_t PASSO = std::uint64_t{1} << 18;
constexpr double DESVIO_ESPERADO = -0.014;  // of the replications' mean from W, as above

Alvo cobertura(const std::string& dir) {
  const Momentos a = exponencial_discreta(1.0), s = exponencial_discreta(0.9);
  const double lambda = 1 / a.m1, rho = lambda * s.m1;
  const double W = lambda * s.m2 / (2 * (1 - rho));  // Pollaczek-Khinchine
  const boost::math::binomial_distribution<double> bin(EXPERIMENTOS, CONFIANCA);
  const double cauda = (1 - CENTRAL) / 2;
  const auto min_aceito = static_cast<int>(boost::math::quantile(bin, cauda));
  const auto max_aceito = static_cast<int>(boost::math::quantile(complement(bin, cauda)));
  const double massa = boost::math::cdf(bin, max_aceito) - boost::math::cdf(bin, min_aceito - 1);
  std::printf(
      "4. Coverage of the %.0f%% interval of the queue's espera_media: M/M/1 at load 0.9, %d "
      "experiments\n   of %lld replications of %lld customers, on %d threads.\n"
      "   Arrivals: E[A] = %.6f, E[A^2] = %.6f (SCV %.5f); service: E[S] = %.6f, E[S^2] = "
      "%.6f.\n   lambda = %.6f, rho = %.6f, W = lambda E[S^2] / (2 (1 - rho)) = %.5f.\n"
      "   Target: the count of intervals holding W within the central %.1f%% of "
      "Binomial(%d, %.2f):\n   %d to %d (probability %.5f).\n\n",
      100 * CONFIANCA, EXPERIMENTOS, static_cast<long long>(REPLICACOES), CLIENTES_COBERTURA, J,
      a.m1, a.m2, a.m2 / (a.m1 * a.m1) - 1, s.m1, s.m2, lambda, rho, W, 100 * CENTRAL, EXPERIMENTOS,
      CONFIANCA, min_aceito, max_aceito, massa);
  std::fflush(stdout);

  const std::string caminho = mm1(dir, CLIENTES_COBERTURA);
  const auto m = carregar_legado(caminho);
  std::size_t f = 0;
  while (f < m->figuras().size() &&
         !(m->figuras()[f].tipo == "fila" && m->figuras()[f].figura == "espera_media")) {
    ++f;
  }
  int cobre = 0, abaixo = 0;
  double soma = 0, soma2 = 0, largura = 0;
  std::uint64_t sorteios = 0;
  const double c0 = cpu_processo(), t0 = agora();
  for (int k = 0; k < EXPERIMENTOS; ++k) {
    Pedido p = pedido(*m, caminho, REPLICACOES, avancar(1, static_cast<std::uint64_t>(k) * PASSO));
    p.confianca = CONFIANCA;
    const Resultado r = rodar(*m, p, J);
    const Resumo x = resumir(r.valores[f], r.valores[f].size(), CONFIANCA);
    if (std::fabs(x.media - W) <= x.meia_largura) {
      ++cobre;
    } else if (x.media < W) {
      ++abaixo;
    }
    soma += x.media;
    soma2 += x.media * x.media;
    largura += x.meia_largura;
    for (std::uint64_t n : r.sorteios) sorteios = std::max(sorteios, n);
  }
  const double wall = agora() - t0, cpu = cpu_processo() - c0;
  const double media = soma / EXPERIMENTOS;
  const double ep = std::sqrt((soma2 / EXPERIMENTOS - media * media) / (EXPERIMENTOS - 1));
  std::printf(
      "| covering | missed low | missed high | mean of means | s.e. | W %+.3f | "
      "mean half-width | most draws | wall s | CPU s |\n"
      "|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n"
      "| %d | %d | %d | %.4f | %.4f | %.4f | %.4f | %llu | %.1f | %.1f |\n\n",
      DESVIO_ESPERADO, cobre, abaixo, EXPERIMENTOS - cobre - abaixo, media, ep, W + DESVIO_ESPERADO,
      largura / EXPERIMENTOS, static_cast<unsigned long long>(sorteios), wall, cpu);
  const bool separadas = sorteios <= PASSO;
  if (!separadas) {
    std::printf("   a replication drew more than %llu numbers: the streams overlap\n\n",
                static_cast<unsigned long long>(PASSO));
  }
  return {"4 interval coverage, of 200",
          formatar("%d (%.1f%%)", cobre, 100.0 * cobre / EXPERIMENTOS),
          formatar("%d to %d", min_aceito, max_aceito),
          separadas && cobre >= min_aceito && cobre <= max_aceito, true};
}

int principal(bool ci) {
  char modelo_dir[] = "/tmp/tarvo_bench_rep_XXXXXX";
  if (mkdtemp(modelo_dir) == nullptr) return 2;
  const std::string dir = modelo_dir;
  std::printf("tarvo-rep benchmark: %ld processors, load average %s at the start.\n\n",
              sysconf(_SC_NPROCESSORS_ONLN), carga().c_str());
  std::fflush(stdout);
  std::vector<Alvo> alvos;
  // On a machine others share, as CI's is, the speed target fails with their load, not with
  // tarvo-rep: --ci makes one attempt and reports it without enforcing it. Otherwise up to five,
  // as a neighbour's burst of work spoils one attempt, not all.
  alvos.push_back(paralelo(dir, ci ? 1 : 5));
  alvos.back().imposto = !ci;
  alvos.push_back(mesmas_saidas(dir));
  alvos.push_back(memoria(dir));
  alvos.push_back(cobertura(dir));
  for (long long n : {CLIENTES_VELOCIDADE, 100000LL, 10000000LL, 1000LL}) {
    std::remove((dir + "/mm1_" + std::to_string(n) + ".txt").c_str());
  }
  rmdir(dir.c_str());

  std::printf("| target | measured | accepted | met |\n|---|---|---|---|\n");
  bool ok = true;
  for (const Alvo& a : alvos) {
    std::printf("| %s | %s | %s | %s |\n", a.nome.c_str(), a.medido.c_str(), a.limite.c_str(),
                a.atingido  ? "yes"
                : a.imposto ? "NO"
                            : "no (not enforced with --ci)");
    ok = ok && (a.atingido || !a.imposto);
  }
  std::printf("\nload average %s at the end.\n", carga().c_str());
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace tarvo::bench

int main(int argc, char** argv) {
  const bool ci = argc == 2 && std::strcmp(argv[1], "--ci") == 0;
  if (argc > 2 || (argc == 2 && !ci)) {
    std::fprintf(stderr,
                 "usage: tarvo_bench_rep [--ci]\n  --ci  report the parallel speed but do not "
                 "fail on it\n");
    return 2;
  }
  try {
    return tarvo::bench::principal(ci);
  } catch (const tarvo::Falha& f) {
    std::fputs(f.texto.c_str(), stderr);
    return 1;
  }
}
