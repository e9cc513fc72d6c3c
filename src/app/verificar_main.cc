// tarvo_verificar: runs a model, or a range of random ones, with the checks after every event.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "geral/motor.h"
#include "geral/toml_loader.h"
#include "geral/verificacao.h"
#include "legado/check/random_network.h"
#include "legado/engine/handlers.h"
#include "legado/engine/invariants.h"
#include "legado/input/loader.h"

namespace {

using tarvo::Simulacao;

constexpr char kUso[] =
    "Uso : tarvo_verificar MODELO [SEMENTE]   (MODELO.txt ou MODELO.toml)\n"
    "      tarvo_verificar --aleatorias DE ATE\n";

bool numero(const char* s, unsigned long long& v) {
  char* fim = nullptr;
  v = std::strtoull(s, &fim, 10);
  return *s != '\0' && *s != '-' && *fim == '\0';
}

// Loads, seeds (from the clock when semente is empty) and runs one model checked; returns
// false, having said why, on a violation or a model error.
bool verificar(const std::string& texto, std::optional<std::uint32_t> semente,
               const std::string& nome) {
  auto sim = std::make_unique<Simulacao>();
  std::string violacao;
  std::uint32_t usada = 0;  // the state right after seeding, which reproduces the run
  int r;
  try {
    tarvo::ler_modelo_texto(*sim, texto);
    tarvo::zerar_estatisticas(*sim);
    tarvo::semear(sim->gerador, semente);
    usada = sim->gerador.estado;
    tarvo::primeiras_chegadas(*sim);
    r = tarvo::simular_verificado(*sim, violacao);
  } catch (const tarvo::Falha& f) {
    std::printf("%s: %s", nome.c_str(), f.texto.c_str());
    return false;
  }
  if (r == 0) {
    std::printf("%s (semente %u): %s\n", nome.c_str(), usada, violacao.c_str());
    return false;
  }
  return true;
}

// The same for a model of the extended language, replication 0 of the seed (0 when none is
// given: its runs do not depend on the clock).
bool verificar_geral(const std::string& texto, std::uint32_t semente, const std::string& nome) {
  try {
    const tarvo::geral::Rede rede = tarvo::geral::ler_rede_texto(texto, nome);
    const tarvo::geral::RedePronta pronta = tarvo::geral::preparar_rede(rede);
    tarvo::geral::Corrida c(pronta, semente, 0, rede.aquecimento);
    const std::string violacao = tarvo::geral::rodar_verificado(c);
    if (violacao.empty()) return true;
    std::printf("%s (semente %u): %s\n", nome.c_str(), semente, violacao.c_str());
  } catch (const tarvo::Falha& f) {
    std::printf("%s", f.texto.c_str());
  }
  return false;
}

bool termina_em_toml(const std::string& s) {
  return s.size() > 5 && s.compare(s.size() - 5, 5, ".toml") == 0;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long long de, ate, s;
  if (argc == 4 && std::string(argv[1]) == "--aleatorias" && numero(argv[2], de) &&
      numero(argv[3], ate)) {
    int falhas = 0;
    for (unsigned long long i = de; i <= ate; ++i) {
      const tarvo::ModeloAleatorio m = tarvo::rede_aleatoria(i);
      if (!verificar(m.texto, static_cast<std::uint32_t>(i), "rede " + std::to_string(i))) {
        std::printf("%s\n", m.texto.c_str());
        ++falhas;
      }
    }
    std::printf("%llu redes, %d com falha\n", ate - de + 1, falhas);
    return falhas == 0 ? 0 : 1;
  }
  if (argc == 2 || (argc == 3 && numero(argv[2], s) && s <= 0xFFFFFFFFu)) {
    std::FILE* f = std::fopen(argv[1], "rb");
    if (f == nullptr) {
      std::printf("O arquivo %s nao encontra-se.\n", argv[1]);
      return 1;
    }
    std::string texto;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) texto.append(buf, n);
    std::fclose(f);
    std::optional<std::uint32_t> semente;
    if (argc == 3) semente = static_cast<std::uint32_t>(s);
    const bool ok = termina_em_toml(argv[1]) ? verificar_geral(texto, semente.value_or(0), argv[1])
                                             : verificar(texto, semente, argv[1]);
    if (!ok) return 1;
    std::printf("%s: invariantes mantidos em todos os eventos\n", argv[1]);
    return 0;
  }
  std::fputs(kUso, stdout);
  return 1;
}
