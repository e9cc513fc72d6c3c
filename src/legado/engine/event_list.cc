// The rare insertion, when the event window has reached the start of its array.
#include "legado/engine/event_list.h"

namespace tarvo {

void inserir_pela_direita(ListaEventos& l, const Evento& e) {
  // Running out of nodes is memory exhaustion: the run ends with status 1 and no message.
  if (l.fim == ListaEventos::CAPACIDADE) throw Falha{1, ""};
  int p = l.ini;
  while (p < l.fim && !(l.no[p].tev >= e.tev)) ++p;
  for (int i = l.fim; i > p; --i) l.no[i] = l.no[i - 1];
  l.no[p] = e;
  ++l.fim;
  if (p <= l.atual) ++l.atual;
}

}  // namespace tarvo
