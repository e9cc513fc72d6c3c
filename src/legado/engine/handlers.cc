// The reset of the statistics and the first arrivals. The order of the draws is
// part of the results: each draw consumes one number of the generator.
#include "legado/engine/handlers.h"

namespace tarvo {

void zerar_estatisticas(Simulacao& sim) {
  Rede& r = sim.rede;
  for (int j = 1; j <= r.nfontes; ++j) r.fontes[j].gerados = 0;
  for (int j = 1; j <= r.nservidores; ++j) {
    Servidor& s = r.servidores[j];
    s.atendidos = 0;
    s.ocupado = 0;
    s.tservico = 0;
    s.tocupado = 0;
  }
  for (int j = 1; j <= r.nfilas; ++j) {
    Fila& q = r.filas[j];
    q.chegadas = 0;
    q.tamanho = 0;
    q.maximo = 0;
    q.tultima = 0;
    q.tam_ultimo = 0;
    q.area = 0;
  }
}

void reiniciar_estatisticas(Simulacao& sim, Tempo agora) {
  Rede& r = sim.rede;
  for (int j = 1; j <= r.nfontes; ++j) r.fontes[j].gerados = 0;
  for (int j = 1; j <= r.nservidores; ++j) {
    r.servidores[j].atendidos = 0;
    r.servidores[j].tocupado = 0;
  }
  for (int j = 1; j <= r.nfilas; ++j) {
    Fila& q = r.filas[j];
    q.chegadas = 0;
    q.maximo = q.tamanho;
    q.tultima = agora;
    q.tam_ultimo = q.tamanho;
    q.area = 0;
  }
}

void primeiras_chegadas(Simulacao& sim) {
  for (int j = 1; j <= sim.rede.nfontes; ++j) {
    detalhe::agendar(sim, sim.Tsimul, EV_FONTE, sim.rede.fontes[j]);
  }
}

}  // namespace tarvo
