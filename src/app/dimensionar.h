// tarvo-rep dimensionar: the fewest servers at one station of an extended model that meet every
// goal, found by simulation from theory's first guess, one count per window of time when the
// station works in shifts.
#ifndef TARVO_APP_DIMENSIONAR_H_
#define TARVO_APP_DIMENSIONAR_H_

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "experimento/experimento.h"
#include "experimento/saida.h"

namespace tarvo {

// A goal on a figure of the station, of one class or (classe empty) of all: at least alvo
// (minimo) or at most alvo.
struct Meta {
  std::string texto;  // as given
  std::string figura;
  std::string classe;
  bool minimo = true;
  double alvo = 0;
};

// Reads FIGURA[/CLASSE]>=X or FIGURA[/CLASSE]<=X, and refuses (status 2) a figure that does not
// exist, does not move one way with the servers, or is asked the way more servers do not go.
Meta ler_meta(const std::string& texto);

// What the user asks: the model, the station, the goals, and the replications of every
// candidate (the same seed plan for all of them).
struct Dimensionamento {
  std::string estacao;
  std::vector<std::string> metas;
  int max_servidores = 1000;
  Pedido pedido;  // the model's path, replications, confidence, seed plan, threshold
  Ajustes ajustes;
  bool semente_do_relogio = false;  // say the seed, so that the run can be repeated
  int jobs = 1;
  Formato formato = Formato::texto;
  bool html = false;
  const std::atomic<bool>* parar = nullptr;  // when set and true, the search stops
};

struct Dimensionado {
  std::string saida;
  std::string pagina;  // with Dimensionamento::html
  bool interrompido = false;
};

// Runs the search and writes its outputs. Throws a Falha for a model or goal refused (status 2)
// and for a goal that even the most servers allowed do not meet (status 1).
Dimensionado dimensionar(const Dimensionamento& d);

}  // namespace tarvo

#endif  // TARVO_APP_DIMENSIONAR_H_
