// Hostile model files and paths, end to end. A rejected input ends with its message, status 1
// and nothing written; an accepted one runs to its report. Every run is bounded in processor
// time (and, without the address sanitizer, in address space), so a hang or a runaway
// allocation fails its case instead of stalling the suite; a crash shows as a status of 128
// or more.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "processo.h"

namespace tarvo::teste {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer reserves terabytes of address space, so only processor time is limited.
const char* const LIMITES = "ulimit -t 120";
#else
const char* const LIMITES = "ulimit -t 30; ulimit -v 1048576";
#endif

const char* const MODELO_ARQ = "model.txt";

std::string erro_linha(long long linha, const char* mensagem) {
  return "Arquivo de dados : erro linha  - " + std::to_string(linha) + " - \n" + mensagem;
}

const char* const SEM_OBJETO = " \tEste parametro nao se usa com este objeto\n";
const char* const PARAMETROS = " \tNumero de parametros invalido\n";
const char* const INCOMPATIVEL = " \tLigacao entre objetos incompativeis\n";
const char* const FORA_DA_TABELA = " \tNumero de objeto fora da faixa de 0 a 29\n";
const char* const DEMAIS = " \tMais de 29 objetos do mesmo tipo\n";
const char* const NAO_DECLARADO = " \tLigacao com objeto nao declarado\n";

// A well-formed network of ten lines: a source, a queue with its server, the sink.
const std::string REDE = "D 10\nN 5\nE 2 a 1 1\ns 1\nF q\ns 1\nS 2 x 1 1\ne 1\ns 2\nF f\n";

std::string repetido(const std::string& s, int vezes) {
  std::string r;
  r.reserve(s.size() * static_cast<std::size_t>(vezes));
  for (int i = 0; i < vezes; ++i) r += s;
  return r;
}

Resultado rodar(const DiretorioTemporario& tmp, const std::string& modelo,
                const char* semente = "1") {
  escrever_arquivo(tmp / MODELO_ARQ, modelo);
  return executar_tarvo(tmp.caminho(), {MODELO_ARQ}, semente, LIMITES);
}

// The first lines of the report, as the writer must lay them out for these values.
std::string cabecalho(bool por_clientes, const char* tsimul, long long gerados) {
  char linhas[256];
  std::snprintf(linhas, sizeof linhas,
                " TARVO \n \n\n TIPO DO TERMINO : %s\n\n"
                " ********** TEMPO SIMULADO           :  %10s\n"
                " ********** NUM. DE CLIENTES GERADOS :  %10lld\n",
                por_clientes ? "numero de clientes estipulado" : "tempo simulado estipulado",
                tsimul, gerados);
  return linhas;
}

struct Rejeitado {
  const char* nome;
  std::string modelo;
  std::string saida;  // standard output after the banner
};

std::vector<Rejeitado> rejeitados() {
  std::vector<Rejeitado> v = {
      // Every key with a missing or malformed field.
      {"D_sem_numero", "D\n", erro_linha(1, PARAMETROS)},
      {"D_palavra", "D dez\n", erro_linha(1, PARAMETROS)},
      {"D_inf", "D inf\n", erro_linha(1, PARAMETROS)},
      {"D_nan", "D nan\n", erro_linha(1, PARAMETROS)},
      {"D_so_sinal", "D -\n", erro_linha(1, PARAMETROS)},
      {"D_so_ponto", "D .\n", erro_linha(1, PARAMETROS)},
      {"D_so_expoente", "D e5\n", erro_linha(1, PARAMETROS)},
      {"N_sem_numero", "N\n", erro_linha(1, PARAMETROS)},
      {"N_palavra", "N cinco\n", erro_linha(1, PARAMETROS)},
      {"N_acima_de_32_bits", "N 99999999999\n", erro_linha(1, PARAMETROS)},
      {"N_abaixo_de_32_bits", "N -2147483649\n", erro_linha(1, PARAMETROS)},
      {"V_sem_numero", "V\n", erro_linha(1, PARAMETROS)},
      {"V_acima_de_32_bits", "V 2147483648\n", erro_linha(1, PARAMETROS)},
      {"E_vazio", "E\n", erro_linha(1, PARAMETROS)},
      {"E_tipo_palavra", "E um a 1 1\n", erro_linha(1, PARAMETROS)},
      {"E_tipo_0", "E 0 a 1 1\n", erro_linha(1, PARAMETROS)},
      {"E_tipo_negativo", "E -1 a 1 1\n", erro_linha(1, PARAMETROS)},
      {"E_tipo_3", "E 3 a 1 1\n", erro_linha(1, PARAMETROS)},
      {"E_tipo_acima_de_32_bits", "E 4294967297 a 1 1\n", erro_linha(1, PARAMETROS)},
      {"E_sem_nome", "E 1\n", erro_linha(1, PARAMETROS)},
      {"E_sem_numeros", "E 1 a\n", erro_linha(1, PARAMETROS)},
      {"E_um_numero", "E 1 a 5\n", erro_linha(1, PARAMETROS)},
      {"E_numero_palavra", "E 2 a um 2\n", erro_linha(1, PARAMETROS)},
      {"E_segundo_inf", "E 1 a 5 inf\n", erro_linha(1, PARAMETROS)},
      {"F_sem_nome", "F\n", erro_linha(1, PARAMETROS)},
      {"F_so_brancos", "F \t \x0b\n", erro_linha(1, PARAMETROS)},
      {"S_tipo_3", "S 3 x 1 1\n", erro_linha(1, PARAMETROS)},
      {"S_um_numero", "S 2 x 1\n", erro_linha(1, PARAMETROS)},
      {"e_antes_de_objeto", "D 5\nN 5\nV 1\ne 1\n", erro_linha(4, SEM_OBJETO)},
      {"s_antes_de_objeto", "s 1\n", erro_linha(1, SEM_OBJETO)},
      {"e_sob_fonte", "E 2 a 1 1\ne 1\n", erro_linha(2, INCOMPATIVEL)},
      {"e_sem_numero_sob_fonte", "E 2 a 1 1\ne\n", erro_linha(2, PARAMETROS)},
      {"e_palavra_sob_fila", "F q\ne um\n", erro_linha(2, PARAMETROS)},
      {"s_sem_numero", "F q\ns\n", erro_linha(2, PARAMETROS)},
      {"s_acima_de_32_bits", "F q\ns 2147483648\n", erro_linha(2, PARAMETROS)},
      // Object numbers outside the tables, too many objects, links to nothing.
      {"e_30_sob_servidor", "S 2 x 1 1\ne 30\n", erro_linha(2, FORA_DA_TABELA)},
      {"e_negativo_sob_servidor", "S 2 x 1 1\ne -1\n", erro_linha(2, FORA_DA_TABELA)},
      {"s_30_sob_fonte", "E 2 a 1 1\ns 30\n", erro_linha(2, FORA_DA_TABELA)},
      {"s_negativo_sob_fila", "F q\ns -2147483648\n", erro_linha(2, FORA_DA_TABELA)},
      {"trigesima_fila", repetido("F q\n", 30), erro_linha(30, DEMAIS)},
      {"trigesima_fonte", repetido("E 2 a 1 1\n", 30), erro_linha(30, DEMAIS)},
      {"fila_nunca_declarada", "E 2 a 1 1\ns 5\nF q\n", erro_linha(2, NAO_DECLARADO)},
      {"servidor_nunca_declarado", REDE + "F g\ns 29\n", erro_linha(12, NAO_DECLARADO)},
      // A NUL byte ends the fields: what follows it on the line is not read.
      {"nul_antes_dos_numeros", "E 1 a\0 1 0\n"s, erro_linha(1, PARAMETROS)},
      {"nul_depois_da_chave", "D\0 5\n"s, erro_linha(1, PARAMETROS)},
      // Line pieces: a 10 MB comment line is 126583 pieces of 79 characters, its line end
      // included; 1000 CRs and an LF are 999 CRs and a line end, 13 pieces.
      {"linha_de_10_MB", "*" + std::string(9'999'999, 'x') + "\nN\n",
       erro_linha(126'584, PARAMETROS)},
      {"linha_de_10_MB_com_chave", "N 2" + std::string(10'000'000, '9') + "\n",
       erro_linha(1, PARAMETROS)},
      {"um_milhao_de_linhas", repetido("*\n", 1'000'000) + "N\n",
       erro_linha(1'000'001, PARAMETROS)},
      {"so_CR", std::string(1000, '\r') + "\nN\n", erro_linha(14, PARAMETROS)},
      // A name of 200 'E's: the loader takes 77 of them, and the next piece begins with 'E'.
      {"nome_longo_vira_declaracao", "F " + std::string(200, 'E') + "\n",
       erro_linha(2, PARAMETROS)},
      {"chave_e_bytes_binarios", "D\xff\xfe\x80\n", erro_linha(1, PARAMETROS)},
  };
  return v;
}

TEST(Hostil, RejectedInputsEndWithTheirMessageAndWriteNothing) {
  for (const Rejeitado& c : rejeitados()) {
    SCOPED_TRACE(c.nome);
    DiretorioTemporario tmp;
    const Resultado r = rodar(tmp, c.modelo);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(sem_banner(r.saida), c.saida);
    EXPECT_EQ(r.erro, "");
    EXPECT_EQ(tmp.arquivos(), std::vector<std::string>{MODELO_ARQ});
  }
}

// glibc prints a NaN with its sign; this reads "-nan" as " nan", keeping the column widths.
std::string nan_sem_sinal(std::string texto) {
  for (std::size_t p; (p = texto.find("-nan")) != std::string::npos;) texto[p] = ' ';
  return texto;
}

struct Aceito {
  Aceito(const char* n, std::string m, std::string i, std::vector<std::string> t = {},
         const char* s = "1")
      : nome(n), modelo(std::move(m)), inicio(std::move(i)), trechos(std::move(t)), semente(s) {}
  const char* nome;
  std::string modelo;
  std::string inicio;                // the report's first lines
  std::vector<std::string> trechos;  // further lines the report must hold
  const char* semente;
};

// One source of deterministic inter-arrival times a, into the sink.
std::string fonte_uniforme(const char* d, const char* n, const char* a) {
  return std::string("D ") + d + "\nN " + n + "\nE 2 a " + a + " " + a + "\ns 1\nF f\n";
}

std::vector<Aceito> aceitos() {
  return {
      // Limits at the edges of the number formats. Arrivals come at 1, 2, 3, ...
      {"D_alem_do_float", fonte_uniforme("1e39", "5", "1"), cabecalho(true, "5.00", 5)},
      {"D_maior_float", fonte_uniforme("3.4028235e38", "5", "1"), cabecalho(true, "5.00", 5)},
      {"D_menos_infinito", fonte_uniforme("-1e39", "5", "1"), cabecalho(false, "0.00", 0)},
      {"D_abaixo_do_menor_float", fonte_uniforme("1e-50", "5", "1"), cabecalho(false, "0.00", 0)},
      {"D_hexadecimal_le_zero", fonte_uniforme("0x10", "5", "1"), cabecalho(false, "0.00", 0)},
      {"N_maior_int", fonte_uniforme("10", "2147483647", "1"), cabecalho(false, "10.00", 10)},
      {"N_menor_int", fonte_uniforme("10", "-2147483648", "1"), cabecalho(true, "0.00", 0)},
      {"N_com_fracao_le_inteiro", fonte_uniforme("10", "1.5", "1"), cabecalho(true, "1.00", 1)},
      // A limit of minus infinity ends the run before its first event: every rate is 0/0.
      {"nada_simulado",
       "D -1e39\nN 5\nE 2 a 1 1\ns 1\nF q\ns 1\nS 2 x 1 1\ne 1\ns 2\nF f\n",
       cabecalho(false, "0.00", 0),
       {"\n    1" + std::string(9, ' ') + "nan" + std::string(8, ' ') + "0" + std::string(10, ' ') +
            "0" + std::string(12, ' ') + "nan",
        "\n    1" + std::string(8, ' ') + "nan" + std::string(12, ' ') + "nan" +
            std::string(14, ' ') + "nan" + std::string(10, ' ') + "0" + std::string(10, ' ') +
            "0\n"}},
      // Extreme durations. With seed 0 the first draw is 38/32768, so an infinite mean puts
      // the first arrival at infinity, which passes any time limit.
      {"media_infinita",
       "D 100\nN 50\nE 1 a 1e39 0\ns 1\nF f\n",
       cabecalho(false, "inf", 1),
       {"\n    1             1        [1] MED :      inf\f"},
       "0"},
      // Bounds of opposite infinite sign: every time is NaN, the clock never moves.
      {"uniforme_nan", "D 100\nN 50\nE 2 a -1e39 1e39\ns 1\nF f\n", cabecalho(true, "0.00", 50)},
      {"duracao_abaixo_do_menor_float", fonte_uniforme("10", "7", "1e-50"),
       cabecalho(true, "0.00", 7)},
      {"duracao_negativa", fonte_uniforme("10", "5", "-1"), cabecalho(true, "-5.00", 5)},
      // A server that takes no time: at the fifth arrival, at 5, the loop stops with the fifth
      // customer in service and four in the sink; no busy time makes the rate infinite.
      {"servico_instantaneo",
       "D 100\nN 5\nE 2 a 1 1\ns 1\nF q\ns 1\nS 2 x 0 0\ne 1\ns 2\nF f\n",
       cabecalho(true, "5.00", 5),
       {"\n    1      0.0000        1          4            inf",
        "\n SORVEDOURO" + std::string(52, ' ') + "4\n"}},
      // Bytes that end or hide nothing: NUL after the fields, Ctrl-Z, a NUL-led line.
      {"nul_depois_dos_campos", "D 10\0lixo\nN 3\nE 2 a 1 1\ns 1\nF f\n"s,
       cabecalho(true, "3.00", 3)},
      {"linha_comecando_com_nul", "\0N 1\nD 10\nN 2\nE 2 a 1 1\ns 1\nF f\n"s,
       cabecalho(true, "2.00", 2)},
      {"ctrl_z", "D 10\x1a\nN 2\x1a\n\x1aN 9\nE 2 a 1 1\ns 1\nF f\n", cabecalho(true, "2.00", 2)},
      // Sizes: pieces of long lines are comments when they begin with no key.
      {"linha_de_10_MB_comentario", "*" + std::string(10'000'000, 'x') + "\n" + REDE,
       cabecalho(true, "5.00", 5)},
      {"um_milhao_de_linhas_curtas", repetido("*\n", 1'000'000) + REDE, cabecalho(true, "5.00", 5)},
      {"so_CR", std::string(100'000, '\r'), cabecalho(true, "0.00", 0)},
      // The longest name a declaration's piece can hold.
      {"nome_de_70_caracteres", "D 10\nN 2\nE 2 " + std::string(70, 'n') + " 1 1\ns 1\nF f\n",
       cabecalho(true, "2.00", 2)},
      // Link lines with more than they need; an 'e' under a queue links nothing.
      {"ligacoes_com_sobras", "D 10\nN 2\nE 2 a 1 1\ns 1 99999999999 lixo\nF q\ne 555\nF f\n",
       cabecalho(true, "2.00", 2)},
  };
}

TEST(Hostil, AcceptedExtremeInputsRunToTheirReport) {
  for (const Aceito& c : aceitos()) {
    SCOPED_TRACE(c.nome);
    DiretorioTemporario tmp;
    const Resultado r = rodar(tmp, c.modelo, c.semente);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(sem_banner(r.saida), "");
    EXPECT_EQ(r.erro, "");
    ASSERT_EQ(tmp.arquivos(), (std::vector<std::string>{"Simula_imp.txt", MODELO_ARQ}));
    const std::string rel = nan_sem_sinal(ler_arquivo(tmp / "Simula_imp.txt"));
    EXPECT_EQ(rel.substr(0, c.inicio.size()), c.inicio);
    for (const std::string& t : c.trechos) EXPECT_NE(rel.find(t), std::string::npos) << t;
    const std::string fim =
        "\n\n\n ******************** FINAL DOS RESULTADOS *********************\n\n";
    ASSERT_GE(rel.size(), fim.size());
    EXPECT_EQ(rel.substr(rel.size() - fim.size()), fim);
  }
}

// Customers passing between servers at one instant, with no source event among them, would
// loop forever: zero or negative durations, or durations the clock can no longer register.
// Such a run stops with a message and no report. In each model a source feeds queue 1, whose
// server returns its customers to it, directly or through a second server.
TEST(Hostil, RunsThatCannotEndAreStopped) {
  struct Caso {
    const char* nome;
    std::string modelo;
    const char* desde;  // the clock when the run stopped moving
  };
  const std::string laco = "D 100\nN 50\nE 2 a 1 1\ns 1\nF q\ns 1\n";
  const std::vector<Caso> casos = {
      {"servico_nulo", laco + "S 2 x 0 0\ne 1\ns 1\nF f\n", "1.00"},
      {"media_exponencial_nula", laco + "S 1 x 0 5\ne 1\ns 1\nF f\n", "1.00"},
      {"dois_servidores_em_ciclo",
       laco + "S 2 x 0 0\ne 1\ns 2\nF r\ns 2\nS 2 y 0 0\ne 2\ns 1\nF f\n", "1.00"},
      // Each service takes the clock one unit back, down to -2^24, where the step of the clock
      // is 2 and a unit rounds back to it.
      {"servico_negativo", laco + "S 2 x -1 -1\ne 1\ns 1\nF f\n", "-16777216.00"},
      // Negative services so long that the clock reaches minus infinity and stays there.
      {"servico_negativo_infinito", laco + "S 1 x -1e38 0\ne 1\ns 1\nF f\n", "-inf"},
      // The first arrival comes at 3e7, where the clock's step is 2: a unit of service is lost.
      {"servico_abaixo_da_precisao",
       "D 4e7\nN 50\nE 2 a 3e7 3e7\ns 1\nF q\ns 1\nS 2 x 1 1\ne 1\ns 1\nF f\n", "30000000.00"},
      // A second server, busy until later, cannot break the loop at the clock's instant.
      {"outro_servidor_ocupado_depois",
       "D 100\nN 50\nE 2 a 1 1\ns 1\nF q\ns 1\nS 2 x 0 0\ne 1\ns 1\n"
       "E 2 b 0.5 0.5\ns 2\nF r\ns 2\nS 2 y 10 10\ne 2\ns 3\nF f\n",
       "1.00"},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.nome);
    DiretorioTemporario tmp;
    const Resultado r = rodar(tmp, c.modelo);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(sem_banner(r.saida),
              std::string("A simulacao nao termina: a partir de Tsimul = ") + c.desde +
                  ", os clientes passam de servidor em servidor sem que o relogio avance "
                  "(duracoes nulas, negativas ou menores que a precisao do relogio)\n");
    EXPECT_EQ(r.erro, "");
    EXPECT_EQ(tmp.arquivos(), std::vector<std::string>{MODELO_ARQ});
  }
}

// The opposite case: a long run of server events at one instant that does end. Source a sends
// a customer a unit of time to queue 1, which feeds no server; server x, of zero service, takes
// its customers from queue 1 but starts only when source b's one customer reaches queue 2, at
// 1e5. Then x empties queue 1 at that instant, 100001 services in a row, into the sink; the
// arrival at 100001 ends the run.
TEST(Hostil, AnInstantaneousBurstIsNoLoop) {
  DiretorioTemporario tmp;
  const Resultado r = rodar(tmp,
                            "D 100001\nN 1000000\nE 2 a 1 1\ns 1\nF espera\n"
                            "E 2 b 1e5 1e5\ns 2\nF gatilho\ns 1\n"
                            "S 2 x 0 0\ne 1\ns 3\nF fim\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(sem_banner(r.saida), "");
  EXPECT_EQ(r.erro, "");
  const std::string rel = ler_arquivo(tmp / "Simula_imp.txt");
  EXPECT_EQ(rel.substr(0, cabecalho(false, "100001.00", 100002).size()),
            cabecalho(false, "100001.00", 100002));
  EXPECT_NE(rel.find("\n SORVEDOURO" + std::string(47, ' ') + "100001\n"), std::string::npos);
}

// Random bytes cannot be predicted line by line, but whatever they hold the outcome is one of
// two: an input error with no report, or a report.
TEST(Hostil, BinaryGarbage) {
  std::uint32_t estado = 12345;
  for (int caso = 0; caso < 12; ++caso) {
    SCOPED_TRACE(caso);
    std::string lixo(20'000 + caso * 1000, '\0');
    for (char& ch : lixo) {
      estado = estado * 1103515245u + 12345u;
      ch = static_cast<char>(estado >> 23);
    }
    // Half of the cases start with a model, so that garbage follows lines that were accepted.
    if (caso % 2 == 1) lixo = REDE + lixo;
    DiretorioTemporario tmp;
    const Resultado r = rodar(tmp, lixo);
    ASSERT_LT(r.status, 128) << "killed by signal " << r.status - 128;
    if (r.status == 1) {
      EXPECT_EQ(sem_banner(r.saida).rfind("Arquivo de dados : erro linha  - ", 0), 0u)
          << sem_banner(r.saida);
      EXPECT_EQ(tmp.arquivos(), std::vector<std::string>{MODELO_ARQ});
    } else {
      EXPECT_EQ(r.status, 0);
      EXPECT_TRUE(existe(tmp / "Simula_imp.txt"));
    }
  }
}

// TARVO_SEED is refused before the model is read: the model here has an error of its own.
TEST(Hostil, BadSeedsAreRefusedBeforeLoading) {
  for (const char* semente :
       {"", "abc", "-1", "+1", " 1", "1x", "4294967296", "99999999999999999999999"}) {
    SCOPED_TRACE(semente);
    DiretorioTemporario tmp;
    const Resultado r = rodar(tmp, "D\n", semente);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(sem_banner(r.saida), std::string("TARVO_SEED invalida: \"") + semente +
                                       "\" (use um inteiro decimal de 0 a 4294967295)\n");
    EXPECT_EQ(tmp.arquivos(), std::vector<std::string>{MODELO_ARQ});
  }
  for (const char* semente : {"0", "4294967295"}) {
    SCOPED_TRACE(semente);
    DiretorioTemporario tmp;
    EXPECT_EQ(rodar(tmp, fonte_uniforme("10", "2", "1"), semente).status, 0);
  }
}

TEST(Hostil, ModelPathsThatAreNoModelFile) {
  DiretorioTemporario tmp;
  fs::create_directory(tmp / "pasta");
  fs::create_symlink(tmp / "nada", tmp / "pendurado");
  fs::create_symlink("laco_b", tmp / "laco_a");
  fs::create_symlink("laco_a", tmp / "laco_b");
  const std::string longo(5000, 'c');
  struct Caso {
    std::string caminho;
    std::string saida;
  };
  const std::vector<Caso> casos = {
      {"pasta", "O arquivo pasta e um diretorio, nao um modelo.\n"},
      {"pasta/", "O arquivo pasta/ e um diretorio, nao um modelo.\n"},
      {"pendurado", "O arquivo pendurado nao encontra-se.\n"},
      {"laco_a", "O arquivo laco_a nao encontra-se.\n"},
      {"", "O arquivo  nao encontra-se.\n"},
      {longo, "O arquivo " + longo + " nao encontra-se.\n"},
  };
  const std::vector<std::string> antes = tmp.arquivos();
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.caminho.substr(0, 20));
    const Resultado r = executar_tarvo(tmp.caminho(), {c.caminho}, "1", LIMITES);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(sem_banner(r.saida), c.saida);
    EXPECT_EQ(r.erro, "");
    EXPECT_EQ(tmp.arquivos(), antes);
  }
}

// Reading this process's own memory from offset 0 opens like a file and fails on the first
// read.
TEST(Hostil, ReadErrorOnTheFirstLine) {
  DiretorioTemporario tmp;
  const Resultado r = executar_tarvo(tmp.caminho(), {"/proc/self/mem"}, "1", LIMITES);
  if (sem_banner(r.saida).find("nao encontra-se") != std::string::npos) {
    GTEST_SKIP() << "/proc/self/mem cannot be opened here";
  }
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(sem_banner(r.saida), "Erro de leitura no arquivo de dados na linha 1 (codigo 5)\n");
  EXPECT_EQ(tmp.arquivos(), std::vector<std::string>{});
}

// A model read from a pipe as it is written: the loader needs no file size or seeking.
TEST(Hostil, ModelFromAFifo) {
  DiretorioTemporario tmp;
  ASSERT_EQ(mkfifo((tmp / "cano").c_str(), 0600), 0);
  const Resultado r = executar_tarvo(
      tmp.caminho(), {"cano"}, "1",
      "printf 'D 10\\nN 2\\nE 2 a 1 1\\ns 1\\nF f\\n' > cano & " + std::string(LIMITES));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(sem_banner(r.saida), "");
  EXPECT_EQ(ler_arquivo(tmp / "Simula_imp.txt").substr(0, cabecalho(true, "2.00", 2).size()),
            cabecalho(true, "2.00", 2));
}

}  // namespace
}  // namespace tarvo::teste
