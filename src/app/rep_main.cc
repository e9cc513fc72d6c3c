// tarvo-rep: replications of a model with a confidence interval on every figure, on threads,
// in slices across machines, and the merge of those slices.
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/corrida.h"
#include "app/dimensionar.h"
#include "app/progresso.h"
#include "app/varredura.h"
#include "comum/failure.h"
#include "comum/gravacao.h"
#include "experimento/experimento.h"
#include "experimento/pagina.h"
#include "experimento/saida.h"
#include "geral/adaptador.h"
#include "geral/toml_loader.h"
#include "geral/variaveis.h"
#include "legado/adaptador.h"
#include "legado/converter.h"
#include "legado/suspeitas.h"

namespace tarvo {
namespace {

const char* const AJUDA = R"(NOME
    tarvo-rep - replicacoes independentes de um modelo do Tarvo, com intervalos de confianca

SINOPSE
    tarvo-rep [opcoes] MODELO
    tarvo-rep [opcoes] --sweep NOME=DE:ATE:PASSO... MODELO
    tarvo-rep [opcoes] --compare A B
    tarvo-rep merge [--format F] [--output ARQUIVO] [--html ARQUIVO] FATIA.json...
    tarvo-rep convert [--output ARQUIVO] MODELO.txt
    tarvo-rep dimensionar --estacao NOME --meta META... [opcoes] MODELO.toml

DESCRICAO
    Roda N replicacoes independentes do MODELO (o arquivo que tarvo le), cada uma numa
    simulacao propria, em varias threads, e da para cada figura do relatorio a media, a
    meia-largura do intervalo de confianca t de Student, o desvio padrao, o minimo, o maximo e
    o numero de replicacoes que a mediram. A replicacao i da exatamente as figuras do relatorio
    de TARVO_SEED=s_i tarvo MODELO, onde s_i e o estado do gerador na semente S avancado de
    i*L sorteios (L = 2^31 dividido pela menor potencia de 2 que cobre o maximo de
    replicacoes). O resultado nao depende do numero de threads.

OPCOES
    -r, --replications N    replicacoes a fazer (padrao 10)
    -j, --jobs J            threads (padrao: o numero de processadores)
    -s, --seed S            semente, inteiro de 0 a 4294967295 (padrao: do relogio; e sempre
                            escrita na saida, para que a execucao possa ser repetida)
    -c, --confidence C      nivel de confianca dos intervalos, maior que 0 e no maximo
                            0.9999999999999998 (padrao 0.95)
    -p, --precision P       depois das N primeiras, acrescenta replicacoes ate que a
                            meia-largura relativa de toda media finita e nao nula (ou das
                            figuras de --target) seja no maximo P; exige --max-replications
    -m, --max-replications M
                            o maximo de replicacoes com --precision (M >= N)
    -t, --target FIGURA     com --precision, a figura a controlar, como FIGURA, NOME.FIGURA
                            ou TIPO.NOME.FIGURA (nomes da saida json); pode repetir
    -w, --warmup T          as estatisticas recomecam no primeiro evento em ou apos o tempo
                            simulado T; o estado da rede continua (padrao 0: nada recomeca)
    -f, --format F          text, json ou csv (padrao text)
    -o, --output ARQUIVO    escreve a saida em ARQUIVO (por um arquivo temporario, renomeado
                            no fim; o lugar e conferido antes de tudo) em vez da saida padrao
        --theory            ao lado de cada media, o valor da teoria de filas, a diferenca
                            relativa e uma marca onde a teoria fica fora do intervalo (exata
                            onde vale, aproximacao de dois momentos rotulada, ou nenhum)
        --sweep NOME=DE:ATE:PASSO
                            um experimento inteiro para cada valor DE, DE+PASSO, ... ate ATE
                            do parametro NOME, com a mesma semente em todos (numeros
                            aleatorios comuns), e uma tabela de cada figura contra o
                            parametro; repetida, a grade de todas as combinacoes (a primeira
                            varia mais devagar; ate 1000 pontos). NOME: simulacao.tempo,
                            simulacao.fregueses, simulacao.aquecimento,
                            simulacao.janela, estacao.E.servidores, estacao.E.capacidade,
                            estacao.E.servico.P, estacao.E.paciencia.P, fonte.F.intervalo.P
                            (P: media, k, forma, desvio, cv, min, max, moda ou valor, os da
                            distribuicao), fonte.F.lote.valor; num modelo do tarvo, Sk.a e
                            Sk.b (os dois numeros da k-esima linha S), Ek.a, Ek.b, D e N
        --compare A B       as mesmas replicacoes (mesma semente) de dois modelos da mesma
                            linguagem; por figura as duas medias, a diferenca B - A pareada
                            por replicacao com seu intervalo e o melhor onde o intervalo
                            exclui 0 (menor e melhor para esperas, tamanhos e perdas, maior
                            para vazao e saidas); sem MODELO
        --slice A:B         roda so as replicacoes A a B-1 do mesmo plano e as escreve em
                            json, para juntar depois com merge
        --html ARQUIVO      escreve tambem uma pagina HTML autocontida (graficos em SVG, sem
                            scripts nem nada buscado na rede): o modelo em palavras, a tabela
                            das figuras com intervalos e teoria, um grafico por tipo de
                            figura; com --sweep, cada figura contra o parametro com a faixa
                            do intervalo e a curva da teoria; com --compare, as diferencas
                            com seus intervalos; vale tambem para merge
        --warmup-plot       com --html e um MODELO so: o grafico de Welch de cada fila, o
                            numero medio esperando ao longo do tempo (em intervalos, media
                            das replicacoes, e a media movel), para escolher o aquecimento
        --figuras LISTA     so estas figuras no text, json, csv e na pagina: nomes separados
                            por virgula, cada um FIGURA, NOME/FIGURA ou TIPO/NOME/FIGURA,
                            com * e ? (ex.: --figuras 'espera_*,utilizacao'); a precisao
                            continua a valer para as figuras de --target; vale tambem para
                            merge
        --limiar T          a figura nivel_servico de toda estacao: a fracao dos fregueses
                            atendidos que esperaram no maximo T; num .toml, a chave limiar de
                            uma estacao vale para ela
    -h, --help              esta ajuda
        --version           a versao
        --                  o que vem depois nao e opcao (um MODELO cujo nome comeca com -)

    merge FATIA.json...     junta fatias de um mesmo experimento (mesmo modelo, semente e
                            plano) exatamente na saida que uma execucao de todas as
                            replicacoes daria; aceita --format, --output, --html e
                            --figuras
    convert MODELO.txt      escreve o modelo do tarvo na linguagem estendida (.toml): cada
                            fila com o servidor que tira fregueses dela vira uma estacao com
                            o nome da fila, o sorvedouro vira a saida da rede; recusa, com a
                            razao, o que a linguagem estendida nao expressa; aceita --output
    dimensionar MODELO.toml o menor numero de servidores da estacao --estacao NOME que
                            atende toda --meta FIGURA[/CLASSE]>=X ou FIGURA[/CLASSE]<=X
                            (repetida) pelo pior extremo do intervalo; mais servidores sobem
                            nivel_servico (>=) e descem utilizacao, esperas, filas, perdas,
                            abandonos e desistencias (<=); parte da teoria, roda cada
                            candidato inteiro com a mesma semente (numeros aleatorios
                            comuns) e mostra o escolhido e o de baixo, que falha; com janela
                            e turnos na estacao, um numero por janela: sobe as janelas que
                            falham e roda o dia de novo, depois tenta baixar cada uma;
                            --max-servidores N limita a busca (padrao 1000); aceita -r, -s,
                            -j, -c, --limiar, --format, --output e --html

SAIDA
    text: uma tabela com os rotulos do relatorio; json: um objeto com modelo, semente, plano,
    confianca, aquecimento, interrompido, instaveis e a lista "figuras" (tipo, nome, numero,
    figura, rotulo, media, meia_largura, desvio, min, max, n, faltantes, agrupado nos quantis
    e valores, um por replicacao, null onde a figura nao tem valor); csv: uma linha por figura
    e replicacao. Os quantis (espera_p50 etc.) vem de um histograma de cada replicacao, a 1% da
    amostra; agrupado e o quantil de todas as replicacoes como uma so amostra. Avisos vao para a saida de
    erro (e para o fim da saida text). Com --sweep, text da um bloco por figura (uma linha por
    ponto), json {"varredura": [{"parametros", "resultado"}]} e csv uma coluna a mais por
    parametro; com --compare, json {"a", "b", "comparacao"} e csv uma linha por figura.
    Com janela = L em [simulacao] (linguagem estendida), as figuras vem tambem por janela de
    tempo de L: o text da, depois das figuras da corrida inteira, uma tabela por figura com uma
    linha por janela (JANELA, INICIO, MEDIA, +/-, N, FALT. e a teoria onde houver); o json da
    janela e inicio na figura; o csv, as colunas janela e inicio no fim de toda linha (vazias
    para a corrida inteira); a pagina, cada figura contra o tempo e a carga de cada estacao.
    --precision e --target valem so para a corrida inteira; a tabela text de --sweep deixa as
    janelas para o json e o csv.

EXEMPLOS
    tarvo-rep -r 20 -s 42 examples/mm1.txt
    tarvo-rep -s 42 -p 0.01 -m 200 -t espera_media --format json -o mm1.json examples/mm1.txt
    tarvo-rep -r 30 -s 7 --slice 0:10 -o a.json examples/mm1.txt    (e 10:20, 20:30)
    tarvo-rep merge a.json b.json c.json
    tarvo-rep -r 20 -s 42 --theory --sweep S1.a=0.5:0.9:0.1 examples/mm1.txt
    tarvo-rep -r 20 -s 42 --compare rapido.toml lento.toml
    tarvo-rep -r 20 -s 42 --theory --html mm1.html --warmup-plot examples/mm1.txt

ANDAMENTO E INTERRUPCAO
    Num terminal, uma execucao que passa de um segundo mostra na saida de erro uma linha de
    andamento (ponto, replicacoes, precisao alcancada e alvo, tempo restante), que nunca vai
    para as saidas. Antes de comecar, um trabalho estimado de mais de 10^10 eventos e avisado;
    durante, um ritmo que levaria mais de uma hora tambem. Ctrl-C (SIGINT) ou SIGTERM param as
    replicacoes em curso e gravam o resultado das ja terminadas (as primeiras, sem lacuna),
    marcado como interrompido em todo formato e na pagina; um segundo Ctrl-C sai na hora, sem
    gravar.

STATUS DE SAIDA
    0 tudo certo; 1 opcao invalida, modelo recusado, replicacao que nao termina, memoria
    esgotada ou saida que nao pode ser gravada (nada e escrito pela metade); 130 interrompida
    por SIGINT (Ctrl-C), 143 por SIGTERM, com o resultado das replicacoes terminadas gravado;
    2 argumentos de dimensionar recusados (meta, estacao, modelo .txt); 1 tambem para uma meta
    que nem --max-servidores atende.

VEJA TAMBEM
    tarvo, e o README do projeto.
)";

const char* const VERSAO = "tarvo-rep " TARVO_VERSAO "\n";

[[noreturn]] void uso(const std::string& mensagem) {
  falha(1, "tarvo-rep: %s\nUse tarvo-rep --help para ver as opcoes.\n", mensagem.c_str());
}

// A whole decimal number from min to max, or a usage error naming the option.
std::int64_t inteiro(const std::string& opcao, const std::string& texto, std::int64_t min,
                     std::int64_t max) {
  char* fim = nullptr;
  errno = 0;
  const long long v = std::strtoll(texto.c_str(), &fim, 10);
  if (texto.empty() || *fim != '\0' || errno != 0 || v < min || v > max ||
      texto.find_first_not_of("0123456789") != std::string::npos) {
    falha(1, "tarvo-rep: valor invalido para %s: \"%s\" (use um inteiro de %lld a %lld)\n",
          opcao.c_str(), texto.c_str(), static_cast<long long>(min), static_cast<long long>(max));
  }
  return v;
}

// A finite decimal number, or a usage error naming the option.
double real(const std::string& opcao, const std::string& texto, const char* faixa,
            bool (*aceita)(double)) {
  char* fim = nullptr;
  const double v = std::strtod(texto.c_str(), &fim);
  if (texto.empty() || *fim != '\0' || !std::isfinite(v) || !aceita(v) ||
      texto.find_first_of("xXnNiI") != std::string::npos) {
    falha(1, "tarvo-rep: valor invalido para %s: \"%s\" (%s)\n", opcao.c_str(), texto.c_str(),
          faixa);
  }
  return v;
}

Formato formato(const std::string& f) {
  if (f == "text") return Formato::texto;
  if (f == "json") return Formato::json;
  if (f == "csv") return Formato::csv;
  falha(1, "tarvo-rep: valor invalido para --format: \"%s\" (use text, json ou csv)\n", f.c_str());
}

[[noreturn]] void erro_ao_gravar(const std::string& arquivo, int erro) {
  falha(1, "tarvo-rep: erro ao gravar %s: %s (codigo %d)\n", arquivo.c_str(), motivo_erro(erro),
        erro);
}

// The output, whole, to its file or to standard output, and the page to its file: the files all
// or none, each through a temporary one, and standard output only once they are in place.
void gravar(const std::optional<std::string>& arquivo, const std::string& texto,
            const std::optional<std::string>& html = std::nullopt, const std::string& pagina = "") {
  std::vector<std::pair<std::string, std::string>> arquivos;
  if (html) arquivos.push_back({*html, pagina});
  if (arquivo) arquivos.push_back({*arquivo, texto});
  std::string falhou;
  if (const int erro = gravar_todos(arquivos, falhou)) erro_ao_gravar(falhou, erro);
  if (!arquivo && (std::fwrite(texto.data(), 1, texto.size(), stdout) != texto.size() ||
                   std::fflush(stdout) != 0)) {
    falha(1, "tarvo-rep: erro ao escrever na saida padrao\n");
  }
}

// Before anything runs: each file can be written where it is to go.
void conferir_saidas(const std::optional<std::string>& saida,
                     const std::optional<std::string>& html) {
  for (const auto* a : {&saida, &html}) {
    if (!*a) continue;
    if (const int erro = conferir_destino(**a)) erro_ao_gravar(**a, erro);
  }
}

// A seed from the clock when none is given: the nanoseconds mixed into 32 bits.
std::uint32_t semente_do_relogio() {
  const auto t =
      static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
  std::uint64_t x = t ^ (t >> 29);
  x *= 0xbf58476d1ce4e5b9u;
  x ^= x >> 32;
  return static_cast<std::uint32_t>(x);
}

// The signal that asked the run to stop, and the flag the driver watches. A program's signal
// handler can only reach what is global.
std::atomic<bool> parar_pedido{false};
volatile std::sig_atomic_t sinal_recebido = 0;

// On a terminal, the line the message goes over: the progress line, the ^C the terminal echoed.
volatile std::sig_atomic_t erro_em_terminal = 0;

extern "C" void ao_sinal(int s) {
  constexpr char limpar[] = "\r\033[K";
  if (erro_em_terminal != 0) (void)!write(STDERR_FILENO, limpar, sizeof limpar - 1);
  if (parar_pedido.exchange(true)) {
    constexpr char m[] = "tarvo-rep: interrompido de novo: saindo sem gravar\n";
    (void)!write(STDERR_FILENO, m, sizeof m - 1);
    _exit(128 + s);
  }
  sinal_recebido = s;
  constexpr char m[] =
      "tarvo-rep: parando; o resultado das replicacoes terminadas sera gravado (de novo: sai "
      "sem gravar)\n";
  (void)!write(STDERR_FILENO, m, sizeof m - 1);
}

// While alive, SIGINT and SIGTERM ask the run to stop instead of killing the process.
class Sinais {
 public:
  Sinais() {
    erro_em_terminal = isatty(STDERR_FILENO) != 0;
    struct sigaction a {};
    a.sa_handler = ao_sinal;
    sigemptyset(&a.sa_mask);
    a.sa_flags = SA_RESTART;
    sigaction(SIGINT, &a, &int_);
    sigaction(SIGTERM, &a, &term_);
  }
  ~Sinais() {
    sigaction(SIGINT, &int_, nullptr);
    sigaction(SIGTERM, &term_, nullptr);
  }
  Sinais(const Sinais&) = delete;
  Sinais& operator=(const Sinais&) = delete;

 private:
  struct sigaction int_ {
  }, term_{};
};

// The first k replications of r, for two results that must hold the same ones; the pooled
// quantiles cannot be taken back, and are dropped when any replication is.
void aparar(Resultado& r, std::int64_t k) {
  if (r.fim - r.inicio <= k) return;
  const auto n = static_cast<std::size_t>(k);
  for (auto& v : r.valores) v.resize(n);
  r.sorteios.resize(n);
  r.sementes.resize(n);
  r.fim = r.inicio + k;
  r.agrupados.clear();
  r.interrompido = true;
}

// Whether two paths name one regular file, or one file not there yet however they spell it.
// Devices and pipes may take any number of writers.
bool mesmo_arquivo(const std::string& a, const std::string& b) {
  struct stat x, y;
  if (stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0) {
    return S_ISREG(x.st_mode) && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
  }
  namespace fs = std::filesystem;
  auto canonico = [](const std::string& c, std::error_code& e) {
    const fs::path p = fs::absolute(destino_real(c), e);
    return e ? p : fs::weakly_canonical(p, e);
  };
  std::error_code ea, eb;
  const fs::path ca = canonico(a, ea), cb = canonico(b, eb);
  return ea || eb ? a == b : ca == cb;
}

// The page and the output go to two files, neither of them one the run reads: one would
// overwrite the other, or a model or slice would be lost.
void sem_sobrescrever(const std::optional<std::string>& saida,
                      const std::optional<std::string>& html,
                      const std::vector<std::string>& entradas) {
  if (saida && html && mesmo_arquivo(*saida, *html)) {
    uso("--html e --output nao podem ser o mesmo arquivo (" + *html + ")");
  }
  for (const auto& [opcao, destino] : {std::pair{"--output", &saida}, {"--html", &html}}) {
    if (!*destino) continue;
    for (const std::string& e : entradas) {
      if (mesmo_arquivo(**destino, e)) {
        uso(std::string(opcao) + " gravaria sobre a entrada " + e);
      }
    }
  }
}

Contexto contexto(const Modelo* a, const Modelo* b = nullptr) {
  return contexto("tarvo-rep " TARVO_VERSAO, a, b);
}

int merge(const std::vector<std::string>& arquivos, Formato f,
          const std::optional<std::string>& saida, const std::optional<std::string>& html,
          const std::vector<std::string>& escolha) {
  if (arquivos.empty()) uso("merge precisa de pelo menos uma fatia");
  std::vector<Resultado> fatias;
  // Replication i's seed, as the plan gives it to the model's language.
  const auto semente = [](const Pedido& p, std::int64_t i) -> std::uint64_t {
    if (termina_em_toml(p.modelo)) return geral::chave_replicacao(p.plano.semente, i);
    return semente_legado(p.plano, i);
  };
  for (const std::string& a : arquivos) fatias.push_back(ler_json(ler(a), a, semente));
  Resultado r = juntar(std::move(fatias), arquivos);
  if (!escolha.empty()) selecionar(r, figuras_escolhidas(r.ids, escolha));
  const std::string texto = escrever(r, f);
  std::fputs(avisos(r).c_str(), stderr);
  if (html) {
    // The model in words when its file is here, unchanged, as the slices ran it.
    std::unique_ptr<Modelo> m;
    try {
      m = carregar(r.pedido.modelo);
      if (m->assinatura() != r.pedido.assinatura) m.reset();
    } catch (const Falha&) {
      m.reset();
    }
    Contexto c = contexto(m.get());
    if (!m) {
      c.descricao = {"O arquivo do modelo, " + r.pedido.modelo +
                     ", não está aqui como as fatias o rodaram: sem descrição."};
    }
    gravar(saida, texto, html, pagina(r, c));
    return 0;
  }
  gravar(saida, texto);
  return 0;
}

int principal(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--") break;
    if (a == "-h" || a == "--help") {
      std::fputs(AJUDA, stdout);
      return 0;
    }
    if (a == "--version") {
      std::fputs(VERSAO, stdout);
      return 0;
    }
  }
  CLI::App app{"tarvo-rep"};
  app.set_help_flag();
  app.allow_extras();
  std::string N = "10", J, S, C = "0.95", P, M, W, F = "text", L, fatia;
  std::vector<std::string> alvos;
  std::optional<std::string> saida;
  std::vector<std::string> posicionais;
  auto opcao = [&](const char* nome, std::string& destino) {
    return app.add_option(nome, destino)
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  };
  opcao("-r,--replications", N);
  opcao("-j,--jobs", J);
  opcao("-s,--seed", S);
  opcao("-c,--confidence", C);
  opcao("-p,--precision", P);
  opcao("-m,--max-replications", M);
  opcao("-w,--warmup", W);
  opcao("-f,--format", F);
  opcao("--slice", fatia);
  opcao("--limiar", L);
  std::string estacao, max_servidores;
  std::vector<std::string> metas;
  opcao("--estacao", estacao);
  opcao("--max-servidores", max_servidores);
  app.add_option("--meta", metas)->allow_extra_args(false);
  std::vector<std::string> escolha;
  app.add_option("--figuras", escolha)->allow_extra_args(false)->delimiter(',');
  app.add_option("-t,--target", alvos)->allow_extra_args(false);
  std::vector<std::string> varreduras, comparados;
  app.add_option("--sweep", varreduras)->allow_extra_args(false);
  app.add_option("--compare", comparados)->expected(2)->allow_extra_args(false);
  bool teoria = false, curva = false;
  app.add_flag("--theory", teoria);
  app.add_flag("--warmup-plot", curva);
  std::optional<std::string> html;
  for (const auto& [nome, destino] : {std::pair{"--html", &html}, {"-o,--output", &saida}}) {
    app.add_option(nome, *destino)
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  }
  app.add_option("args", posicionais);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ArgumentMismatch& e) {
    const std::string texto = e.what();
    if (texto.rfind("--compare", 0) == 0) uso("--compare espera dois modelos, A e B");
    uso("falta o valor de " + texto.substr(0, texto.find(':')));
  } catch (const CLI::ParseError& e) {
    uso(formatar("%s", e.what()));
  }
  for (const std::string& x : app.remaining()) {
    if (x == "--") continue;  // what follows it CLI11 took as positional
    if (x.size() > 1 && x[0] == '-') uso(formatar("opcao desconhecida: %s", x.c_str()));
    posicionais.push_back(x);
  }
  const Formato formato_saida = formato(F);
  const bool dimensiona = !posicionais.empty() && posicionais[0] == "dimensionar";
  for (const char* o : {"--estacao", "--meta", "--max-servidores"}) {
    if (!dimensiona && app.get_option(o)->count() > 0)
      uso(formatar("%s so vale com dimensionar", o));
  }
  if (dimensiona) {
    for (const char* o : {"-p", "-m", "-w", "--slice", "-t", "--theory", "--sweep", "--compare",
                          "--warmup-plot", "--figuras"}) {
      if (app.get_option(o)->count() > 0) uso(formatar("dimensionar nao aceita a opcao %s", o));
    }
    posicionais.erase(posicionais.begin());
  }
  if (!posicionais.empty() && posicionais[0] == "merge") {
    for (const char* o : {"-r", "-j", "-s", "-c", "-p", "-m", "-w", "--slice", "-t", "--theory",
                          "--sweep", "--compare", "--warmup-plot", "--limiar"}) {
      if (app.get_option(o)->count() > 0) uso(formatar("merge nao aceita a opcao %s", o));
    }
    sem_sobrescrever(saida, html, {posicionais.begin() + 1, posicionais.end()});
    conferir_saidas(saida, html);
    return merge({posicionais.begin() + 1, posicionais.end()}, formato_saida, saida, html, escolha);
  }
  if (!posicionais.empty() && posicionais[0] == "convert") {
    for (const char* o :
         {"-r", "-j", "-s", "-c", "-p", "-m", "-w", "--slice", "-t", "-f", "--theory", "--sweep",
          "--compare", "--html", "--warmup-plot", "--figuras", "--limiar"}) {
      if (app.get_option(o)->count() > 0) uso(formatar("convert nao aceita a opcao %s", o));
    }
    if (posicionais.size() != 2) uso("convert converte um MODELO.txt, um so");
    sem_sobrescrever(saida, std::nullopt, {posicionais[1]});
    avisar_suspeitas(posicionais[1]);
    conferir_saidas(saida, std::nullopt);
    gravar(saida, converter_legado(posicionais[1]));
    return 0;
  }
  const bool compara = app.get_option("--compare")->count() > 0;
  if (compara) {
    if (comparados.size() != 2) uso("--compare espera dois modelos, A e B, uma vez so");
    if (!posicionais.empty()) {
      uso("com --compare A B nao ha MODELO (" + posicionais[0] + ")");
    }
    if (!varreduras.empty()) uso("--compare nao vale com --sweep");
    if (!P.empty()) {
      uso("--compare nao vale com --precision: os dois modelos precisam das mesmas replicacoes");
    }
    if (!fatia.empty()) uso("--compare nao vale com --slice");
    if (termina_em_toml(comparados[0]) != termina_em_toml(comparados[1])) {
      uso("--compare precisa de dois modelos da mesma linguagem (.txt ou .toml)");
    }
    posicionais.push_back(comparados[0]);
  } else if (posicionais.size() != 1) {
    uso(posicionais.empty() ? std::string("falta o MODELO")
                            : "um MODELO so, e nao mais (" + posicionais[1] + ")");
  }
  if (!varreduras.empty() && !fatia.empty()) {
    uso("--sweep nao vale com --slice: cada ponto e um experimento inteiro");
  }
  if (html && !fatia.empty()) {
    uso("--html nao vale com --slice: a pagina sai do merge das fatias (merge --html)");
  }
  if (!escolha.empty() && !fatia.empty()) {
    uso("--figuras nao vale com --slice: uma fatia leva todas as figuras; escolha-as no merge");
  }
  if (curva && !html) uso("--warmup-plot so vale com --html, onde o grafico e desenhado");
  if (curva && (compara || !varreduras.empty())) {
    uso("--warmup-plot vale para um MODELO so, sem --sweep nem --compare");
  }
  sem_sobrescrever(saida, html, compara ? comparados : posicionais);

  constexpr std::int64_t MAXIMO = std::int64_t{1} << 31;  // streams of one draw at least
  Pedido p;
  p.modelo = posicionais[0];
  p.replicacoes = inteiro("--replications", N, 1, MAXIMO);
  p.confianca = real("--confidence", C, "use um numero maior que 0 e no maximo 0.9999999999999998",
                     confianca_valida);
  if (!P.empty()) {
    p.precisao =
        real("--precision", P, "use um numero maior que 0", [](double x) { return x > 0; });
    if (M.empty()) uso("--precision exige --max-replications");
    p.plano.maximo = inteiro("--max-replications", M, 1, MAXIMO);
    if (p.plano.maximo < p.replicacoes) {
      uso(formatar("--max-replications deve ser pelo menos o numero de replicacoes (%s)",
                   N.c_str()));
    }
  } else {
    if (!M.empty()) uso("--max-replications so vale com --precision");
    if (!alvos.empty()) uso("--target so vale com --precision");
    p.plano.maximo = p.replicacoes;
  }
  p.alvos = alvos;
  p.teoria = teoria;
  Ajustes ajustes;
  if (!L.empty()) {
    ajustes.limiar =
        real("--limiar", L, "use um numero finito de 0 em diante", [](double x) { return x >= 0; });
  }
  p.limiar = ajustes.limiar;
  const bool do_relogio = S.empty();
  p.plano.semente = do_relogio ? semente_do_relogio()
                               : static_cast<std::uint32_t>(inteiro("--seed", S, 0, 4294967295));
  Execucao e;
  e.jobs = J.empty() ? static_cast<int>(std::max(1u, std::thread::hardware_concurrency()))
                     : static_cast<int>(inteiro("--jobs", J, 1, 4096));
  if (!fatia.empty()) {
    const std::size_t dois = fatia.find(':');
    if (dois == std::string::npos) uso("--slice espera A:B, e nao \"" + fatia + "\"");
    const std::int64_t a = inteiro("--slice", fatia.substr(0, dois), 0, MAXIMO);
    const std::int64_t b = inteiro("--slice", fatia.substr(dois + 1), 0, MAXIMO);
    if (a >= b || b > p.plano.maximo) {
      falha(1,
            "tarvo-rep: a fatia %s esta fora do plano: A < B <= %lld, as replicacoes vao de 0 "
            "a %lld\n",
            fatia.c_str(), static_cast<long long>(p.plano.maximo),
            static_cast<long long>(p.plano.maximo - 1));
    }
    if (app.get_option("-f")->count() > 0 && formato_saida != Formato::json) {
      uso(formatar("uma fatia e sempre escrita em json (--format %s)", F.c_str()));
    }
    e.fatia_inicio = a;
    e.fatia_fim = b;
  }

  if (dimensiona) {
    Dimensionamento d;
    d.estacao = estacao;
    d.metas = metas;
    if (!max_servidores.empty()) {
      d.max_servidores = static_cast<int>(inteiro("--max-servidores", max_servidores, 1, 100000));
    }
    d.pedido = p;
    d.ajustes = ajustes;
    d.semente_do_relogio = do_relogio;
    d.jobs = e.jobs;
    d.formato = formato_saida;
    d.html = html.has_value();
    d.parar = &parar_pedido;
    conferir_saidas(saida, html);
    Dimensionado r;
    {
      const Sinais sinais;
      r = dimensionar(d);
    }
    gravar(saida, r.saida, html, r.pagina);
    return sinal_recebido != 0 ? 128 + sinal_recebido : 0;
  }
  const std::optional<double> aquecimento =
      W.empty() ? std::nullopt
                : std::optional(real("--warmup", W, "use um numero finito de 0 em diante",
                                     [](double x) { return x >= 0; }));
  // The request for one model: the seed plan is the same for every model of a run.
  auto pedido = [&](const std::string& caminho, const Modelo& m) {
    Pedido q = pedido_do_modelo(p, caminho, m, aquecimento);
    if (!escolha.empty()) figuras_escolhidas(m.figuras(), escolha);
    return q;
  };
  std::vector<std::unique_ptr<Modelo>> modelos;
  std::vector<Pedido> pedidos;
  std::vector<Ponto> pontos;
  if (compara) {
    for (const std::string& c : comparados) {
      Base b = abrir(c);
      b.ajustes = ajustes;
      modelos.push_back(modelo_da_base(b));
      pedidos.push_back(pedido(c, *modelos.back()));
    }
  } else if (!varreduras.empty()) {
    Base base = abrir(p.modelo);
    base.ajustes = ajustes;
    std::vector<Eixo> eixos;
    for (const std::string& v : varreduras) {
      eixos.push_back(ler_eixo(base, v));
      for (std::size_t k = 0; k + 1 < eixos.size(); ++k) {
        if (eixos[k].nome == eixos.back().nome) {
          uso("--sweep " + eixos.back().nome + " aparece mais de uma vez");
        }
      }
    }
    // Every point is checked before any runs.
    for (const std::vector<double>& valores : grade(eixos, 1000)) {
      Ponto x;
      for (std::size_t k = 0; k < eixos.size(); ++k) {
        x.parametros.push_back({eixos[k].nome, valores[k]});
      }
      modelos.push_back(modelo_no_ponto(base, x.parametros));
      pedidos.push_back(pedido(p.modelo, *modelos.back()));
      pontos.push_back(std::move(x));
    }
  } else {
    modelos.push_back(carregar(p.modelo, ajustes));
    pedidos.push_back(pedido(p.modelo, *modelos.back()));
  }
  conferir_saidas(saida, html);
  if (do_relogio) {
    std::fprintf(stderr,
                 "tarvo-rep: semente %" PRIu32 " (do relogio; repita com --seed %" PRIu32 ")\n",
                 p.plano.semente, p.plano.semente);
  }

  // What the user should know before the run starts: unstable stations, a long run ahead, a
  // precision stop that starts from too few replications.
  std::vector<double> por_replicacao;
  std::vector<std::int64_t> quantas;
  for (std::size_t k = 0; k < modelos.size(); ++k) {
    const std::string onde =
        pontos.empty() ? std::string() : "no ponto " + nome_do_ponto(pontos[k]) + ", ";
    std::fputs(avisos_de_instabilidade(modelos[k]->instaveis(), onde).c_str(), stderr);
    por_replicacao.push_back(modelos[k]->eventos_esperados());
    quantas.push_back(e.fatia_inicio ? *e.fatia_fim - *e.fatia_inicio : p.plano.maximo);
  }
  std::fputs(aviso_de_trabalho(por_replicacao, quantas).c_str(), stderr);
  if (p.precisao && p.replicacoes < 10 && !e.fatia_inicio) {
    std::fprintf(stderr,
                 "tarvo-rep: aviso: uma parada por precisao a partir de %lld replicacoes pode "
                 "parar cedo demais, com um intervalo que cobre menos que o pedido (perto da "
                 "saturacao mais ainda); use --replications 10 ou mais\n",
                 static_cast<long long>(p.replicacoes));
  }

  Progresso progresso(stderr, isatty(STDERR_FILENO) != 0, modelos.size(), p.precisao);
  e.progresso = [&progresso](const Andamento& a) { progresso(a); };
  e.espera = curva;
  e.parar = &parar_pedido;
  std::vector<Resultado> rs;
  {
    const Sinais sinais;
    for (std::size_t k = 0; k < modelos.size(); ++k) {
      progresso.ponto(k);
      rs.push_back(executar(*modelos[k], pedidos[k], e));
      // Interrupted, a sweep keeps the points run; a comparison needs its second model's
      // replications too, as many as there are.
      if (rs.back().interrompido && !compara) break;
    }
  }
  progresso.apagar();
  if (compara) {
    const std::int64_t k = std::min(rs[0].fim - rs[0].inicio, rs[1].fim - rs[1].inicio);
    for (Resultado& r : rs) aparar(r, k);
  }
  for (std::size_t k = 0; k < rs.size(); ++k) {
    const Resultado& r = rs[k];
    std::fputs(avisos_da_execucao(r).c_str(), stderr);
    if (r.sem_eventos > 0) std::fprintf(stderr, "%s\n", modelos[k]->aviso_sem_eventos().c_str());
  }
  if (!escolha.empty()) {
    for (Resultado& r : rs) selecionar(r, figuras_escolhidas(r.ids, escolha));
  }
  if (compara) {
    gravar(saida, escrever_comparacao(rs[0], rs[1], formato_saida), html,
           html ? pagina_comparacao(rs[0], rs[1], contexto(&*modelos[0], &*modelos[1])) : "");
  } else if (!pontos.empty()) {
    pontos.resize(rs.size());
    for (std::size_t k = 0; k < pontos.size(); ++k) pontos[k].resultado = std::move(rs[k]);
    gravar(saida, escrever_varredura(pontos, formato_saida), html,
           html ? pagina_varredura(pontos, contexto(&*modelos[0])) : "");
  } else {
    gravar(saida, escrever(rs[0], e.fatia_inicio ? Formato::json : formato_saida), html,
           html ? pagina(rs[0], contexto(&*modelos[0])) : "");
  }
  if (sinal_recebido != 0) return 128 + sinal_recebido;
  return 0;
}

}  // namespace
}  // namespace tarvo

int main(int argc, char** argv) {
  std::signal(SIGXFSZ, SIG_IGN);  // a file size limit becomes a failed write, reported
  int status;
  try {
    status = tarvo::principal(argc, argv);
  } catch (const tarvo::Falha& f) {
    std::fflush(stdout);
    std::fputs(tarvo::visivel(f.texto).c_str(), stderr);
    status = f.status;
  } catch (const std::bad_alloc&) {
    std::fputs(
        "tarvo-rep: a memoria acabou antes do fim; peca menos replicacoes ou um modelo menor, ou "
        "divida as replicacoes em fatias (--slice) e junte-as com merge\n",
        stderr);
    status = 1;
  }
  return status;
}
