// What a long run tells the user while it goes: the work expected before it starts, a progress
// line on a terminal, and a warning when the pace measured says it will take very long.
#ifndef TARVO_APP_PROGRESSO_H_
#define TARVO_APP_PROGRESSO_H_

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "experimento/experimento.h"

namespace tarvo {

// The warning, one line, for work of more than about 10^10 events (each model's expected events
// per replication times the replications it may do), or none.
std::string aviso_de_trabalho(const std::vector<double>& eventos_por_replicacao,
                              const std::vector<std::int64_t>& replicacoes);

// A duration in words: "0:00:12", "3:25:07", "2,5 dias", "mais de 1000 anos".
std::string duracao(double segundos);

class Progresso {
 public:
  // terminal: whether the line is drawn (stderr is one); pontos: the experiments of the run, one
  // after another (a sweep's points, a comparison's two models); precisao: the target.
  Progresso(std::FILE* saida, bool terminal, std::size_t pontos, std::optional<double> precisao);
  ~Progresso() { apagar(); }
  Progresso(const Progresso&) = delete;
  Progresso& operator=(const Progresso&) = delete;

  // The experiment k (from 0) starts.
  void ponto(std::size_t k) { ponto_ = k; }
  // Where the current experiment is; draws the line at most ten times a second once a second
  // has passed, and warns once if the pace says the whole run takes more than an hour.
  void operator()(const Andamento& a);
  // Clears the line for what follows.
  void apagar();

 private:
  double passou() const;

  std::FILE* saida_;
  bool terminal_;
  std::size_t pontos_;
  std::optional<double> precisao_;
  std::size_t ponto_ = 0;
  bool escreveu_ = false;
  bool avisou_ = false;
  double ultima_ = -1;
  std::chrono::steady_clock::time_point inicio_;
};

}  // namespace tarvo

#endif  // TARVO_APP_PROGRESSO_H_
