// The pending events in time order, held in one fixed array; the tie rule puts the event
// scheduled last first among events of equal time.
#ifndef TARVO_ENGINE_EVENT_LIST_H_
#define TARVO_ENGINE_EVENT_LIST_H_

#include <cstring>

#include "model/failure.h"
#include "model/network.h"

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
// per server plus the one being handled (59); the slack beyond that lets the window drift right
// for a while before it is moved back to the start.
struct ListaEventos {
  static constexpr int CAPACIDADE = 128;
  Evento no[CAPACIDADE];
  int ini = 0;
  int fim = 0;
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

void compactar_lista(ListaEventos& l);

// Links e in before the first pending event whose time is not earlier than its own, or at the
// tail when there is none. The walk from the head, not a search, is what decides where an event
// whose time is NaN goes.
inline void inserir_evento(ListaEventos& l, const Evento& e) {
  if (l.fim == ListaEventos::CAPACIDADE) compactar_lista(l);
  int p = l.ini;
  while (p < l.fim && !(l.no[p].tev >= e.tev)) ++p;
  std::memmove(&l.no[p + 1], &l.no[p], static_cast<std::size_t>(l.fim - p) * sizeof(Evento));
  l.no[p] = e;
  ++l.fim;
  if (p <= l.atual) ++l.atual;
}

// Unlinks the event at position pos, wherever it stands in the list.
inline void remover_evento(ListaEventos& l, int pos) {
  std::memmove(&l.no[l.ini + 1], &l.no[l.ini],
               static_cast<std::size_t>(pos - l.ini) * sizeof(Evento));
  ++l.ini;
  if (pos == l.atual)
    l.atual = -1;
  else if (pos > l.atual && l.atual >= 0)
    ++l.atual;
  if (l.ini == l.fim) l.ini = l.fim = 0;
}

}  // namespace tarvo

#endif  // TARVO_ENGINE_EVENT_LIST_H_
