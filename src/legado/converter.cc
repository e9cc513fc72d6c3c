// From the legacy language to the extended one. The legacy file links objects both ways (a
// queue names the server it starts, a server names the queue it takes from); only networks in
// which the two agree, one server per queue, become stations.
#include "legado/converter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>

#include "comum/failure.h"
#include "geral/toml_loader.h"
#include "legado/engine/simulation.h"
#include "legado/input/loader.h"

namespace tarvo {

namespace {

// The shortest decimal that reads back to the same 32-bit value, so that 0.9 stays 0.9.
std::string numero(float x) {
  if (x == static_cast<float>(static_cast<long long>(x)) && std::fabs(x) < 1e15f) {
    return std::to_string(static_cast<long long>(x));
  }
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, x);
  return std::string(buf, r.ptr);
}

std::string aspas(const std::string& s) {
  std::string t = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') t += '\\';
    t += c;
  }
  return t + "\"";
}

template <class Objeto>
std::string distribuicao(const Objeto& o) {
  if (o.tipo == DIST_EXPONENCIAL) {
    return "{ dist = \"exponencial\", media = " + numero(o.med) + " }";
  }
  if (o.inf == o.sup) return "{ dist = \"deterministica\", valor = " + numero(o.inf) + " }";
  return "{ dist = \"uniforme\", min = " + numero(o.inf) + ", max = " + numero(o.sup) + " }";
}

[[noreturn]] void nao_expressa(const std::string& caminho, const std::string& porque) {
  falha(1, "tarvo-rep convert: %s: a linguagem estendida nao expressa este modelo: %s\n",
        caminho.c_str(), porque.c_str());
}

}  // namespace

std::string converter_legado(const std::string& caminho) {
  auto sim = std::make_unique<Simulacao>();
  ler_modelo(*sim, caminho.c_str());
  const Rede& r = sim->rede;
  const int sorvedouro = r.nfilas;  // 0 when there is no queue at all
  auto numero_fila = [&](const Fila* q) {
    return q == nullptr ? 0 : static_cast<int>(q - r.filas);
  };
  auto nome_servidor = [&](int j) { return aspas(r.servidores[j].nome); };

  if (!(r.Tlimite > 0) || r.Nlimite <= 0) {
    nao_expressa(caminho, r.Nlimite <= 0
                              ? "sem N positivo, o tarvo termina antes do primeiro evento"
                              : "sem D positivo, o tarvo termina antes do primeiro "
                                "evento");
  }
  if (r.nfilas == 0) nao_expressa(caminho, "nao ha fila, nem o sorvedouro");
  if (r.filas[sorvedouro].servidor != nullptr) {
    nao_expressa(caminho, "o sorvedouro (a ultima fila, " + aspas(r.filas[sorvedouro].nome) +
                              ") tem servidor");
  }
  // Each queue but the sink needs exactly one server, which takes from it and only from it.
  std::vector<int> servidor_da_fila(static_cast<std::size_t>(r.nfilas + 1), 0);
  for (int j = 1; j <= r.nservidores; ++j) {
    const int q = numero_fila(r.servidores[j].entrada);
    if (q == 0)
      nao_expressa(caminho, "o servidor " + nome_servidor(j) + " nao tira fregueses de fila");
    if (q == sorvedouro) {
      nao_expressa(caminho, "o servidor " + nome_servidor(j) + " tira fregueses do sorvedouro");
    }
    int& s = servidor_da_fila[static_cast<std::size_t>(q)];
    if (s != 0) {
      nao_expressa(caminho, "dois servidores (" + nome_servidor(s) + " e " + nome_servidor(j) +
                                ") tiram fregueses da fila " + aspas(r.filas[q].nome) +
                                "; uma estacao tem servidores iguais");
    }
    s = j;
  }
  for (int q = 1; q < sorvedouro; ++q) {
    const int s = servidor_da_fila[static_cast<std::size_t>(q)];
    const Servidor* inicia = r.filas[q].servidor;
    if (s == 0 || inicia != &r.servidores[s]) {
      nao_expressa(caminho, "a fila " + aspas(r.filas[q].nome) +
                                (s == 0 ? " nao tem servidor que tire fregueses dela"
                                        : " nao inicia servico no servidor que tira fregueses "
                                          "dela, " +
                                              nome_servidor(s)));
    }
  }

  // Where customers sent to queue q go: its station, or out of the network.
  auto destino = [&](const Fila* q) {
    const int n = numero_fila(q);
    return n == 0 || n == sorvedouro ? std::string("rota = []  # saem da rede")
                                     : "destino = " + aspas(r.filas[n].nome);
  };
  std::string t = "# Convertido de " + caminho +
                  " por tarvo-rep convert: cada fila com o servidor que tira\n"
                  "# fregueses dela e uma estacao com o nome da fila; o sorvedouro (" +
                  aspas(r.filas[sorvedouro].nome) + ") e a saida da rede.\n\n";
  t += "[simulacao]\ntempo = " + numero(r.Tlimite) + "\nfregueses = " + std::to_string(r.Nlimite) +
       "\n";
  for (int j = 1; j <= r.nfontes; ++j) {
    const Fonte& f = r.fontes[j];
    t += "\n[[fonte]]\nnome = " + aspas(f.nome) + "\nintervalo = " + distribuicao(f) + "\n" +
         destino(f.saida) + "\n";
  }
  for (int q = 1; q < sorvedouro; ++q) {
    const Servidor& s = r.servidores[servidor_da_fila[static_cast<std::size_t>(q)]];
    t += "\n[[estacao]]\nnome = " + aspas(r.filas[q].nome) + "  # servidor " + aspas(s.nome) +
         "\nservico = " + distribuicao(s) + "\n";
    if (numero_fila(s.saida) != 0 && numero_fila(s.saida) != sorvedouro) {
      t += destino(s.saida) + "\n";
    }
  }
  // What the extended language checks beyond the legacy one (names, parameters, loops) is
  // checked by reading the result back.
  try {
    geral::ler_rede_texto(t, "x");
  } catch (const Falha& f) {
    // "x:LINHA:COLUNA: mensagem": the place is in a text the user has not seen.
    std::string m = f.texto.substr(std::min(f.texto.size(), f.texto.find(": ") + 2));
    while (!m.empty() && m.back() == '\n') m.pop_back();
    nao_expressa(caminho, m);
  }
  return t;
}

}  // namespace tarvo
