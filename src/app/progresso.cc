#include "app/progresso.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "comum/failure.h"

namespace tarvo {

namespace {

// Beyond this, a run is worth a word before it starts: at tens of millions of events a second,
// minutes of work or more.
constexpr double kMuitosEventos = 1e10;
// Beyond this, measured, a run is worth a word while it goes.
constexpr double kMuitosSegundos = 3600;

int largura_do_terminal(std::FILE* f) {
  winsize w{};
  if (ioctl(fileno(f), TIOCGWINSZ, &w) == 0 && w.ws_col > 20) return w.ws_col;
  return 80;
}

}  // namespace

std::string duracao(double s) {
  if (!(s < 1000 * 365.25 * 86400)) return "mais de 1000 anos";
  if (s >= 2 * 365.25 * 86400) return formatar("%.3g anos", s / (365.25 * 86400));
  if (s >= 2 * 86400) return formatar("%.3g dias", s / 86400);
  const long t = std::lround(s);
  return formatar("%ld:%02ld:%02ld", t / 3600, t / 60 % 60, t % 60);
}

// "cerca de 3:25:07", or "mais de 1000 anos".
std::string cerca(double s) {
  const std::string d = duracao(s);
  return d.rfind("mais", 0) == 0 ? d : "cerca de " + d;
}

std::string aviso_de_trabalho(const std::vector<double>& eventos_por_replicacao,
                              const std::vector<std::int64_t>& replicacoes) {
  double total = 0, maior = 0;
  for (std::size_t k = 0; k < eventos_por_replicacao.size(); ++k) {
    total += eventos_por_replicacao[k] * static_cast<double>(replicacoes[k]);
    maior = std::max(maior, eventos_por_replicacao[k]);
  }
  if (!std::isnan(total) && total <= kMuitosEventos) return "";
  if (!std::isfinite(total)) {
    return "tarvo-rep: aviso: esta execucao nao tem fim previsivel pelos limites e taxas do "
           "modelo; Ctrl-C interrompe e grava as replicacoes terminadas\n";
  }
  return formatar(
      "tarvo-rep: aviso: trabalho estimado de %.2g eventos (%.2g por replicacao), que pode levar "
      "muito tempo; Ctrl-C interrompe e grava as replicacoes terminadas\n",
      total, maior);
}

Progresso::Progresso(std::FILE* saida, bool terminal, std::size_t pontos,
                     std::optional<double> precisao)
    : saida_(saida),
      terminal_(terminal),
      pontos_(std::max<std::size_t>(1, pontos)),
      precisao_(precisao),
      inicio_(std::chrono::steady_clock::now()) {}

double Progresso::passou() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio_).count();
}

void Progresso::apagar() {
  if (escreveu_) {
    std::fputs("\r\033[K", saida_);
    std::fflush(saida_);
  }
  escreveu_ = false;
}

void Progresso::operator()(const Andamento& a) {
  const double t = passou();
  // The share of the whole run done: the experiments before this one, and this one's share of
  // the replications it is expected to make, those running counted by the part they have done.
  const double neste = a.previstas > 0
                           ? std::min(1.0, (static_cast<double>(a.feitas) + a.em_curso) /
                                               static_cast<double>(a.previstas))
                           : 1.0;
  const double feito = (static_cast<double>(ponto_) + neste) / static_cast<double>(pontos_);
  const double falta =
      feito > 0 ? t * (1 - feito) / feito : std::numeric_limits<double>::infinity();
  if (!avisou_ && t >= 2 && (falta > kMuitosSegundos || (feito == 0 && t >= 5))) {
    avisou_ = true;
    apagar();
    std::fprintf(saida_,
                 feito > 0 ? "tarvo-rep: aviso: pelo ritmo medido, esta execucao levaria ainda "
                             "%s; Ctrl-C interrompe e grava as replicacoes terminadas\n"
                           : "tarvo-rep: aviso: em %s nenhuma replicacao andou de forma "
                             "mensuravel; Ctrl-C interrompe e grava as replicacoes terminadas\n",
                 feito > 0 ? cerca(falta).c_str() : duracao(t).c_str());
    std::fflush(saida_);
  }
  if (!terminal_ || t < 1 || t - ultima_ < 0.1) return;
  ultima_ = t;
  std::string l;
  if (pontos_ > 1) l += formatar("ponto %zu/%zu, ", ponto_ + 1, pontos_);
  l += formatar("replicacoes %lld/%lld", static_cast<long long>(a.feitas),
                static_cast<long long>(a.previstas));
  if (precisao_) {
    l += std::isfinite(a.largura)
             ? formatar(", precisao %.3g%% (alvo %g%%)", 100 * a.largura, 100 * *precisao_)
             : formatar(", precisao ? (alvo %g%%)", 100 * *precisao_);
  }
  l += ", " + duracao(t) + " passados";
  if (feito > 0) l += ", ~" + duracao(falta) + " restantes";
  const auto cabe = static_cast<std::size_t>(largura_do_terminal(saida_) - 1);
  if (l.size() > cabe) l.resize(cabe);
  std::fprintf(saida_, "\r%s\033[K", l.c_str());
  std::fflush(saida_);
  escreveu_ = true;
}

}  // namespace tarvo
