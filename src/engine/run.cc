// The run loop. The limits are tested before each event, on the state the previous one left,
// so the event that reaches a limit is handled in full and the loop stops before the next.
#include "engine/run.h"

#include <cmath>
#include <ctime>

#include "engine/handlers.h"

namespace tarvo {

namespace {

constexpr char ESC = 27;

// Traces go through buffered streams; this keeps a watching terminal no more than a fifth of a
// second behind without a system call per event.
class Descarga {
 public:
  explicit Descarga(std::FILE* f) : f_(f), ultima_(agora()) {}
  void talvez() {
    if (++contador_ % 4096 != 0) return;
    long t = agora();
    if (t - ultima_ >= 200) {
      std::fflush(f_);
      ultima_ = t;
    }
  }

 private:
  static long agora() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return static_cast<long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
  }
  std::FILE* f_;
  long ultima_;
  unsigned contador_ = 0;
};

void tratar(Simulacao& sim, const Evento& e) {
  if (e.tipo == EV_FONTE) {
    evento_fonte(sim, *e.fonte());
  } else if (e.tipo == EV_SERVIDOR) {
    evento_servidor(sim, *e.servidor());
  }
}

// One pass of the loop after the limits were tested: moves the clock to the head, handles it,
// traces and unlinks it. Returns false when no event is pending.
template <int V>
bool passo(Simulacao& sim) {
  ListaEventos& l = sim.eventos;
  if (lista_vazia(l)) return false;
  const Evento e = cabeca(l);
  if (!std::isnan(e.tev)) sim.Tsimul = e.tev;
  l.atual = l.ini;
  tratar(sim, e);
  if constexpr (V == 2) imprimir_eventos(sim);
  remover_evento(l, l.atual);
  return true;
}

}  // namespace

bool proximo_evento(Simulacao& sim) { return sim.rede.Visual == 2 ? passo<2>(sim) : passo<0>(sim); }

void avisar_sem_duracao(const Simulacao& sim) {
  if (sim.sem_duracao == 0) return;
  // The progress line has no line end of its own.
  if (sim.rede.Visual == 1) std::fputc('\n', sim.err);
  std::fprintf(sim.err,
               "Aviso: %lld eventos perderam a duracao por falta de precisao do relogio, "
               "a partir de Tsimul = %.2f\n",
               static_cast<long long>(sim.sem_duracao), static_cast<double>(sim.Tsem_duracao));
}

int termino(const Simulacao& sim) {
  if (sim.Nfregues >= sim.rede.Nlimite) return TERMINO_CLIENTES;
  if (sim.Tsimul >= sim.rede.Tlimite) return TERMINO_TEMPO;
  return 0;
}

int simular(Simulacao& sim) {
  const int visual = sim.rede.Visual;
  int r;
  if (visual == 1) {
    std::fprintf(sim.err, " Tarvo executando  : Tsimul / Nfregues = ");
    std::fprintf(sim.err, "%c[s", ESC);
    Descarga d(sim.err);
    while ((r = termino(sim)) == 0) {
      std::fprintf(sim.err, "%c[u", ESC);
      std::fprintf(sim.err, "%12.2f / %7lld", static_cast<double>(sim.Tsimul),
                   static_cast<long long>(sim.Nfregues));
      if (!passo<1>(sim)) return TERMINO_TEMPO;
      d.talvez();
    }
  } else if (visual == 2) {
    Descarga d(sim.out);
    while ((r = termino(sim)) == 0) {
      if (!passo<2>(sim)) return TERMINO_TEMPO;
      d.talvez();
    }
  } else {
    while ((r = termino(sim)) == 0) {
      if (!passo<0>(sim)) return TERMINO_TEMPO;
    }
  }
  return r;
}

void imprimir_eventos(Simulacao& sim) {
  std::FILE* out = sim.out;
  std::fprintf(out, "Tsimul = %f\n", static_cast<double>(sim.Tsimul));
  const ListaEventos& l = sim.eventos;
  for (int i = 0; i < tamanho_lista(l); ++i) {
    const Evento& e = evento_na_posicao(l, i);
    std::fprintf(out, "Event no %i :", i);
    if (e.tipo == EV_SERVIDOR) {
      std::fprintf(out, "Servidor %s\t ", e.servidor()->nome.c_str());
    } else if (e.tipo == EV_FONTE) {
      std::fprintf(out, "Fonte    %s\t ", e.fonte()->nome.c_str());
    } else {
      std::fprintf(out, "  ????   ");
    }
    std::fprintf(out, "Tev = %f\n", static_cast<double>(e.tev));
  }
  std::fprintf(out, "\n\n");
}

}  // namespace tarvo
