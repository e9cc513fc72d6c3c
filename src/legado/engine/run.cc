// The run loop. The limits are tested before each event, on the state the previous one left,
// so the event that reaches a limit is handled in full and the loop stops before the next.
#include "legado/engine/run.h"

#include <cmath>
#include <cstring>
#include <ctime>

#include "legado/engine/decimal.h"
#include "legado/engine/handlers.h"
#include "legado/engine/passo.h"

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

// Trace text gathered in a buffer of its own and handed to the stream in few writes; what it
// writes is exactly what the printf formats quoted beside each use would write.
class Texto {
 public:
  explicit Texto(std::FILE* f) : f_(f) {}
  ~Texto() { descarregar(); }
  Texto(const Texto&) = delete;
  Texto& operator=(const Texto&) = delete;

  template <std::size_t N>
  void literal(const char (&s)[N]) {
    bytes(s, N - 1);
  }
  void texto(const char* s) { bytes(s, std::strlen(s)); }
  void fixo(Tempo v, int casas) {
    reservar(MAX_DECIMAL);
    p_ = escrever_fixo(p_, v, casas);
  }
  void inteiro(long long v) {
    reservar(MAX_DECIMAL);
    p_ = escrever_inteiro(p_, v);
  }
  void descarregar() {
    if (p_ != buf_) fwrite_unlocked(buf_, 1, static_cast<std::size_t>(p_ - buf_), f_);
    p_ = buf_;
  }

 private:
  void reservar(std::size_t n) {
    if (static_cast<std::size_t>(buf_ + sizeof buf_ - p_) < n) descarregar();
  }
  void bytes(const char* s, std::size_t n) {
    if (n > sizeof buf_ / 2) {  // a very long name goes straight through
      descarregar();
      fwrite_unlocked(s, 1, n, f_);
      return;
    }
    reservar(n);
    std::memcpy(p_, s, n);
    p_ += n;
  }

  std::FILE* f_;
  char buf_[4096];
  char* p_ = buf_;
};

// "%c[u" with ESC, then "%12.2f / %7lld" with the clock and the customers so far.
void progresso(const Simulacao& sim) {
  char linha[3 + MAX_DECIMAL + 3 + MAX_DECIMAL];
  char* p = linha;
  *p++ = ESC;
  *p++ = '[';
  *p++ = 'u';
  p = escrever_fixo(p, sim.Tsimul, 2, 12);
  *p++ = ' ';
  *p++ = '/';
  *p++ = ' ';
  p = escrever_inteiro(p, sim.Nfregues, 7);
  fwrite_unlocked(linha, 1, static_cast<std::size_t>(p - linha), sim.err);
}

[[gnu::always_inline]] inline void tratar(Simulacao& sim, const Evento& e) {
  if (e.tipo == EV_FONTE) {
    evento_fonte(sim, *e.fonte());
  } else if (e.tipo == EV_SERVIDOR) {
    evento_servidor(sim, *e.servidor());
  }
}

// One pass of the loop after the limits were tested: moves the clock to the head, handles it,
// traces and unlinks it. Returns false when no event is pending.
template <int V>
[[gnu::always_inline]] inline bool passo(Simulacao& sim) {
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

// Whether the head event is at or after T, where a pause was asked for.
bool pausa(const Simulacao& sim, Tempo T) {
  return !lista_vazia(sim.eventos) && cabeca(sim.eventos).tev >= T;
}

// The loop for Visual 0 (V = 0) or 1. The limits do not change during a run. With PAUSA, it
// also returns 0 before handling the first event at or after T.
template <int V, bool PAUSA = false>
int laco(Simulacao& sim, Tempo T = 0) {
  const Contagem Nlimite = sim.rede.Nlimite;
  const Tempo Tlimite = sim.rede.Tlimite;
  Descarga d(sim.err);
  sim.eventos.atual = -1;
  for (;;) {
    if (sim.Nfregues >= Nlimite) return TERMINO_CLIENTES;
    if (sim.Tsimul >= Tlimite) return TERMINO_TEMPO;
    if constexpr (PAUSA) {
      if (pausa(sim, T)) return 0;
    }
    if constexpr (V == 1) progresso(sim);
    if (!passo_sem_nan(sim)) return TERMINO_TEMPO;
    if constexpr (V == 1) d.talvez();
  }
}

}  // namespace

// Whether no event time of this run can be NaN. A NaN time needs an infinite duration meeting
// an infinite clock, or an infinite parameter; with every parameter at most 1e37 in magnitude a
// duration stays below 1.04e38 (the largest exponential factor is ln 32768), finite as a float,
// and a finite duration added to any clock is not NaN.
bool sem_nan(const Simulacao& sim) {
  auto finito = [](Tempo v) { return std::fabs(v) <= 1e37f; };
  const Rede& r = sim.rede;
  for (int j = 1; j <= r.nfontes; ++j) {
    const Fonte& f = r.fontes[j];
    if (!finito(f.med) || !finito(f.inf) || !finito(f.sup)) return false;
  }
  for (int j = 1; j <= r.nservidores; ++j) {
    const Servidor& s = r.servidores[j];
    if (!finito(s.med) || !finito(s.inf) || !finito(s.sup)) return false;
  }
  const ListaEventos& l = sim.eventos;
  for (int i = 0; i < tamanho_lista(l); ++i) {
    if (std::isnan(evento_na_posicao(l, i).tev)) return false;
  }
  return !std::isnan(sim.Tsimul);
}

bool proximo_evento(Simulacao& sim) { return sim.rede.Visual == 2 ? passo<2>(sim) : passo<0>(sim); }

void avisar_ao_terminar(const Simulacao& sim) {
  // Only arrivals are pending before the first event, and each one generates a customer: a run
  // that handled any event has generated one.
  const bool nenhum_evento = sim.Nfregues == 0;
  if (!nenhum_evento && sim.sem_duracao == 0) return;
  // The progress line has no line end of its own.
  if (sim.rede.Visual == 1) std::fputc('\n', sim.err);
  if (nenhum_evento) {
    std::fprintf(sim.err, "Aviso: nenhum evento foi simulado (N = %d, D = %g)\n", sim.rede.Nlimite,
                 static_cast<double>(sim.rede.Tlimite));
  }
  if (sim.sem_duracao != 0) {
    std::fprintf(sim.err,
                 "Aviso: %lld eventos perderam a duracao por falta de precisao do relogio, "
                 "a partir de Tsimul = %.2f\n",
                 static_cast<long long>(sim.sem_duracao), static_cast<double>(sim.Tsem_duracao));
  }
}

int termino(const Simulacao& sim) {
  if (sim.Nfregues >= sim.rede.Nlimite) return TERMINO_CLIENTES;
  if (sim.Tsimul >= sim.rede.Tlimite) return TERMINO_TEMPO;
  return 0;
}

int simular(Simulacao& sim) {
  const int visual = sim.rede.Visual;
  if (visual == 1) {
    std::fprintf(sim.err, " Tarvo executando  : Tsimul / Nfregues = ");
    std::fprintf(sim.err, "%c[s", ESC);
  }
  if (visual != 2 && sem_nan(sim)) return visual == 1 ? laco<1>(sim) : laco<0>(sim);
  int r;
  if (visual == 1) {
    Descarga d(sim.err);
    while ((r = termino(sim)) == 0) {
      progresso(sim);
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

int simular_ate(Simulacao& sim, Tempo T) {
  if (sim.rede.Visual != 2 && sem_nan(sim)) return laco<0, true>(sim, T);
  int r;
  while ((r = termino(sim)) == 0) {
    if (pausa(sim, T)) return 0;
    if (!passo<0>(sim)) return TERMINO_TEMPO;
  }
  return r;
}

// "Tsimul = %f\n", then per event "Event no %i :", "Servidor %s\t " or "Fonte    %s\t " or
// "  ????   ", and "Tev = %f\n"; then "\n\n".
void imprimir_eventos(Simulacao& sim) {
  Texto t(sim.out);
  t.literal("Tsimul = ");
  t.fixo(sim.Tsimul, 6);
  t.literal("\n");
  const ListaEventos& l = sim.eventos;
  for (int i = 0; i < tamanho_lista(l); ++i) {
    const Evento& e = evento_na_posicao(l, i);
    t.literal("Event no ");
    t.inteiro(i);
    t.literal(" :");
    if (e.tipo == EV_SERVIDOR) {
      t.literal("Servidor ");
      t.texto(e.servidor()->nome.c_str());
      t.literal("\t ");
    } else if (e.tipo == EV_FONTE) {
      t.literal("Fonte    ");
      t.texto(e.fonte()->nome.c_str());
      t.literal("\t ");
    } else {
      t.literal("  ????   ");
    }
    t.literal("Tev = ");
    t.fixo(e.tev, 6);
    t.literal("\n");
  }
  t.literal("\n\n");
}

}  // namespace tarvo
