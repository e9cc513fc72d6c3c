// Moving the event window back to the start of its array.
#include "engine/event_list.h"

namespace tarvo {

void compactar_lista(ListaEventos& l) {
  // Running out of nodes is memory exhaustion: the run ends with status 1 and no message.
  if (l.ini == 0) throw Falha{1, ""};
  int n = l.fim - l.ini;
  std::memmove(&l.no[0], &l.no[l.ini], static_cast<std::size_t>(n) * sizeof(Evento));
  if (l.atual >= 0) l.atual -= l.ini;
  l.ini = 0;
  l.fim = n;
}

}  // namespace tarvo
