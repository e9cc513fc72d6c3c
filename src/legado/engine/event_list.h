// The pending events in time order, held in one fixed array; the tie rule puts the event
// scheduled last first among events of equal time.
#ifndef TARVO_LEGADO_ENGINE_EVENT_LIST_H_
#define TARVO_LEGADO_ENGINE_EVENT_LIST_H_

#include "comum/failure.h"
#include "legado/model/network.h"

namespace tarvo {

constexpr int EV_SERVIDOR = 0;  // a server completes its service
constexpr int EV_FONTE = 1;     // a source generates a customer

struct Evento {
  Tempo tev = 0;  // absolute time of the event
  int tipo = EV_FONTE;
  void* objeto = nullptr;  // the Fonte or the Servidor the event belongs to

  Fonte* fonte() const { return static_cast<Fonte*>(objeto); }
  Servidor* servidor() const { return static_cast<Servidor*>(objeto); }
};

// The list is no[ini..fim), head first. A network has at most one pending event per source and
// per server plus the one being handled (59). An insertion moves the events it walks past one
// slot towards the free space before the head, which every removal of the head leaves behind,
// so the window drifts to the left; only when it touches the start of the array do events move
// right instead. fim therefore never passes the largest size the list has had, and the array
// never needs compacting.
struct ListaEventos {
  static constexpr int CAPACIDADE = 128;
  Evento no[CAPACIDADE];
  int ini = CAPACIDADE / 2;
  int fim = CAPACIDADE / 2;
  int atual = -1;  // position of the event being handled, kept right as others are inserted
};

inline bool lista_vazia(const ListaEventos& l) { return l.ini == l.fim; }
inline int tamanho_lista(const ListaEventos& l) { return l.fim - l.ini; }
inline const Evento& cabeca(const ListaEventos& l) { return l.no[l.ini]; }
// The i-th pending event in list order, 0 being the head.
inline const Evento& evento_na_posicao(const ListaEventos& l, int i) { return l.no[l.ini + i]; }

// A node for an event at t, which is rounded to a Tempo here; not linked yet.
inline Evento novo_evento(int tipo, void* objeto, double t) {
  return Evento{static_cast<Tempo>(t), tipo, objeto};
}

// Stores e into d field by field. Copying the record whole would assemble it on the stack first
// and read it back at once, before its parts have left the store queue; a 16-byte store built
// in a vector register measured slower still.
[[gnu::always_inline]] inline void gravar_evento(Evento& d, const Evento& e) {
  d.tev = e.tev;
  d.tipo = e.tipo;
  d.objeto = e.objeto;
}

// Links e in while no[0] is taken: the events move right to make room.
void inserir_pela_direita(ListaEventos& l, const Evento& e);

// Links e in before the first pending event whose time is not earlier than its own, or at the
// tail when there is none. The walk from the head, not a search, is what decides where an event
// whose time is NaN goes, and how far an event goes past a NaN already pending.
[[gnu::always_inline]] inline void inserir_evento(ListaEventos& l, const Evento& e) {
  const int ini = l.ini;
  if (ini == 0) [[unlikely]] {
    inserir_pela_direita(l, e);
    return;
  }
  // The events walked past move one slot left, into the free slot before the head.
  Evento* no = l.no;
  int p = ini;
  while (p < l.fim && !(no[p].tev >= e.tev)) {
    no[p - 1] = no[p];
    ++p;
  }
  gravar_evento(no[p - 1], e);
  l.ini = ini - 1;
  if (l.atual >= ini && l.atual < p) --l.atual;
}

// Unlinks the event at position pos (an index into no, from ini to fim - 1), wherever it stands
// in the list.
[[gnu::always_inline]] inline void remover_evento(ListaEventos& l, int pos) {
  if (pos != l.ini) [[unlikely]] {
    for (int i = pos; i > l.ini; --i) l.no[i] = l.no[i - 1];
  }
  ++l.ini;
  if (pos == l.atual)
    l.atual = -1;
  else if (pos > l.atual && l.atual >= 0)
    ++l.atual;
}

}  // namespace tarvo

#endif  // TARVO_LEGADO_ENGINE_EVENT_LIST_H_
