// The results report.
#ifndef TARVO_LEGADO_REPORT_REPORT_H_
#define TARVO_LEGADO_REPORT_REPORT_H_

#include <cstdio>

#include "legado/engine/simulation.h"

namespace tarvo {

constexpr const char* ARQUIVO_RELATORIO = "Simula_imp.txt";

// A server's row over T units of time: utilisation, rounded, and the service rate formed from it.
struct LinhaServidor {
  float utilizacao;
  double taxa;
};
LinhaServidor linha_servidor(const Servidor& s, double T);

// A queue's row over T units of time: arrival rate, mean length and mean wait by Little's law.
struct LinhaFila {
  float taxa;
  float medio;
  float espera;
};
LinhaFila linha_fila(const Fila& q, double T);

// Writes the whole report to out. termino is 0 when the time limit ended the run, anything else
// when the customer limit did.
void relatorio(const Simulacao& sim, int termino, std::FILE* out);

// Writes the report to a temporary file in diretorio and renames it over Simula_imp.txt there,
// so that an earlier report is only ever replaced by a complete one. Throws a Falha, leaving no
// temporary file behind, when any step fails.
void gravar_relatorio(const Simulacao& sim, int termino, const char* diretorio = ".");

}  // namespace tarvo

#endif  // TARVO_LEGADO_REPORT_REPORT_H_
