// The checks of a checked run. Messages name objects by kind and number, as the model file does.
#include "legado/engine/invariants.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>

#include "comum/failure.h"
#include "legado/engine/run.h"

namespace tarvo {

namespace {

// The number of the declared object that an event refers to, or 0 when it refers to none.
int numero_do_objeto(const Rede& r, const Evento& e) {
  if (e.tipo == EV_FONTE) {
    for (int j = 1; j <= r.nfontes; ++j) {
      if (e.objeto == &r.fontes[j]) return j;
    }
  } else if (e.tipo == EV_SERVIDOR) {
    for (int j = 1; j <= r.nservidores; ++j) {
      if (e.objeto == &r.servidores[j]) return j;
    }
  }
  return 0;
}

std::string descrever(const Rede& r, const Evento& e) {
  const char* tipo = e.tipo == EV_FONTE ? "fonte" : e.tipo == EV_SERVIDOR ? "servidor" : "????";
  return formatar("%s %d em %.9g", tipo, numero_do_objeto(r, e), static_cast<double>(e.tev));
}

// Events of one object are unique in the list, so kind and object identify a pending event.
bool mesmo_objeto(const Evento& a, const Evento& b) {
  return a.tipo == b.tipo && a.objeto == b.objeto;
}

bool identicos(const Evento& a, const Evento& b) {
  return mesmo_objeto(a, b) &&
         std::bit_cast<std::uint32_t>(a.tev) == std::bit_cast<std::uint32_t>(b.tev);
}

// The insertion walk stops at the first event whose time is not earlier; written as this test,
// not as <, it also says where an event with a NaN time goes.
bool para_antes_de(const Evento& existente, const Evento& novo) {
  return existente.tev >= novo.tev;
}

// What an event may change, taken before it is handled.
struct Retrato {
  std::vector<Evento> eventos;
  Contagem Nfregues = 0;
  Contagem gerados = 0;    // of the source whose event is at the head
  Contagem atendidos = 0;  // of the server whose event is at the head
  Contagem tamanho[MAX_OBJETOS] = {};
};

Retrato retratar(const Simulacao& sim) {
  Retrato f;
  f.eventos = copiar_eventos(sim.eventos);
  f.Nfregues = sim.Nfregues;
  if (!f.eventos.empty()) {
    const Evento& e = f.eventos.front();
    if (e.tipo == EV_FONTE) f.gerados = e.fonte()->gerados;
    if (e.tipo == EV_SERVIDOR) f.atendidos = e.servidor()->atendidos;
  }
  for (int j = 1; j <= sim.rede.nfilas; ++j) f.tamanho[j] = sim.rede.filas[j].tamanho;
  return f;
}

// The effects of the one event just handled, beyond the list: the clock moved to it, the one
// object it belongs to counted it, and every queue whose length changed recorded when.
std::string verificar_efeitos(const Simulacao& sim, const Retrato& antes) {
  const Rede& r = sim.rede;
  const Evento& e = antes.eventos.front();
  if (e.tev == e.tev &&
      std::bit_cast<std::uint32_t>(sim.Tsimul) != std::bit_cast<std::uint32_t>(e.tev)) {
    return formatar("Tsimul = %.9g, nao o tempo do evento tratado",
                    static_cast<double>(sim.Tsimul));
  }
  if (e.tipo == EV_FONTE && e.fonte()->gerados != antes.gerados + 1) {
    return formatar("a fonte tratada tem gerados = %lld, esperado %lld",
                    static_cast<long long>(e.fonte()->gerados),
                    static_cast<long long>(antes.gerados + 1));
  }
  const Contagem Nfregues = antes.Nfregues + (e.tipo == EV_FONTE ? 1 : 0);
  if (sim.Nfregues != Nfregues) {
    return formatar("Nfregues = %lld, esperado %lld", static_cast<long long>(sim.Nfregues),
                    static_cast<long long>(Nfregues));
  }
  if (e.tipo == EV_SERVIDOR && e.servidor()->atendidos != antes.atendidos + 1) {
    return formatar("o servidor tratado tem atendidos = %lld, esperado %lld",
                    static_cast<long long>(e.servidor()->atendidos),
                    static_cast<long long>(antes.atendidos + 1));
  }
  for (int j = 1; j <= r.nfilas; ++j) {
    const Fila& q = r.filas[j];
    if (q.tamanho != antes.tamanho[j] &&
        std::bit_cast<std::uint32_t>(q.tultima) != std::bit_cast<std::uint32_t>(sim.Tsimul)) {
      return formatar("fila %d: tamanho mudou e tultima = %.9g, nao Tsimul", j,
                      static_cast<double>(q.tultima));
    }
  }
  return {};
}

}  // namespace

std::vector<Evento> copiar_eventos(const ListaEventos& l) {
  std::vector<Evento> v;
  v.reserve(static_cast<std::size_t>(tamanho_lista(l)));
  for (int i = 0; i < tamanho_lista(l); ++i) v.push_back(evento_na_posicao(l, i));
  return v;
}

std::string verificar_invariantes(const Simulacao& sim) {
  const Rede& r = sim.rede;
  int pendentes_fonte[MAX_OBJETOS] = {};
  int pendentes_servidor[MAX_OBJETOS] = {};
  const ListaEventos& l = sim.eventos;
  for (int i = 0; i < tamanho_lista(l); ++i) {
    const Evento& e = evento_na_posicao(l, i);
    const int j = numero_do_objeto(r, e);
    if (j == 0) return formatar("evento %d nao pertence a nenhum objeto declarado", i);
    ++(e.tipo == EV_FONTE ? pendentes_fonte : pendentes_servidor)[j];
    // A NaN time compares false both ways and is left out of the order.
    if (i > 0 && evento_na_posicao(l, i - 1).tev > e.tev) {
      return formatar("eventos %d e %d fora da ordem de tempo: %s antes de %s", i - 1, i,
                      descrever(r, evento_na_posicao(l, i - 1)).c_str(), descrever(r, e).c_str());
    }
  }

  Contagem gerados = 0;
  for (int j = 1; j <= r.nfontes; ++j) {
    if (pendentes_fonte[j] != 1) {
      return formatar("fonte %d com %d chegadas pendentes", j, pendentes_fonte[j]);
    }
    gerados += r.fontes[j].gerados;
  }
  if (sim.Nfregues != gerados) {
    return formatar("Nfregues = %lld, mas as fontes geraram %lld",
                    static_cast<long long>(sim.Nfregues), static_cast<long long>(gerados));
  }

  Contagem em_servico = 0;
  for (int j = 1; j <= r.nservidores; ++j) {
    const Servidor& s = r.servidores[j];
    if (s.ocupado != 0 && s.ocupado != 1)
      return formatar("servidor %d: ocupado = %d", j, s.ocupado);
    if (pendentes_servidor[j] != s.ocupado) {
      return formatar("servidor %d: ocupado = %d com %d conclusoes pendentes", j, s.ocupado,
                      pendentes_servidor[j]);
    }
    em_servico += s.ocupado;
  }

  Contagem esperando = 0;
  for (int j = 1; j <= r.nfilas; ++j) {
    const Fila& q = r.filas[j];
    if (q.tamanho < 0)
      return formatar("fila %d: tamanho = %lld", j, static_cast<long long>(q.tamanho));
    if (q.maximo < q.tamanho) {
      return formatar("fila %d: maximo = %lld abaixo de tamanho = %lld", j,
                      static_cast<long long>(q.maximo), static_cast<long long>(q.tamanho));
    }
    if (q.tam_ultimo != q.tamanho) {
      return formatar("fila %d: tam_ultimo = %lld, tamanho = %lld", j,
                      static_cast<long long>(q.tam_ultimo), static_cast<long long>(q.tamanho));
    }
    esperando += q.tamanho;
  }
  if (gerados != esperando + em_servico + sim.perdidos) {
    return formatar("gerados %lld != esperando %lld + em servico %lld + perdidos %lld",
                    static_cast<long long>(gerados), static_cast<long long>(esperando),
                    static_cast<long long>(em_servico), static_cast<long long>(sim.perdidos));
  }
  return {};
}

std::string verificar_agendamento(const std::vector<Evento>& antes,
                                  const std::vector<Evento>& depois) {
  if (antes.empty()) return "nenhum evento foi tratado";
  const Evento& tratado = antes.front();

  // Where each older event stands now; the rest of the list was scheduled by the event.
  std::vector<int> lugar(antes.size(), -1);
  std::vector<bool> antigo(depois.size(), false);
  for (std::size_t i = 1; i < antes.size(); ++i) {
    for (std::size_t k = 0; k < depois.size(); ++k) {
      if (!mesmo_objeto(antes[i], depois[k])) continue;
      if (lugar[i] >= 0)
        return formatar("dois eventos pendentes do mesmo objeto, %zu e %d", k, lugar[i]);
      if (!identicos(antes[i], depois[k])) {
        return formatar("o evento pendente %zu mudou de tempo", i);
      }
      lugar[i] = static_cast<int>(k);
      antigo[k] = true;
    }
    if (lugar[i] < 0) return formatar("o evento pendente %zu sumiu da lista", i);
    if (i > 1 && lugar[i] < lugar[i - 1]) {
      return formatar("os eventos pendentes %zu e %zu trocaram de ordem", i - 1, i);
    }
  }

  // An event schedules at most one service start elsewhere (a customer reaching an idle server)
  // and then, last, the next event of its own object. novos holds them in that order.
  std::vector<std::size_t> novos;
  for (std::size_t k = 0; k < depois.size(); ++k) {
    if (!antigo[k] && !mesmo_objeto(depois[k], tratado)) novos.push_back(k);
  }
  if (novos.size() > 1) return formatar("%zu servicos iniciados por um so evento", novos.size());
  const std::size_t outros = novos.size();
  for (std::size_t k = 0; k < depois.size(); ++k) {
    if (!antigo[k] && mesmo_objeto(depois[k], tratado)) novos.push_back(k);
  }
  if (novos.size() - outros > 1) return "dois eventos novos do objeto tratado";

  // Each new event went in before the first event then in the list whose time is not earlier
  // than its own. That list still held the handled event, which a new event can stop at: replay
  // the insertions on it, in the order they were made, and the result must be the list after.
  std::vector<Evento> lista(antes);
  std::size_t cabeca = 0;  // where the handled event stands in lista
  for (const std::size_t k : novos) {
    const Evento& e = depois[k];
    const auto p = std::find_if(lista.begin(), lista.end(),
                                [&](const Evento& x) { return para_antes_de(x, e); });
    if (static_cast<std::size_t>(p - lista.begin()) <= cabeca) ++cabeca;
    lista.insert(p, e);
  }
  lista.erase(lista.begin() + static_cast<std::ptrdiff_t>(cabeca));
  for (std::size_t k = 0; k < depois.size(); ++k) {
    if (!identicos(lista[k], depois[k])) {
      return formatar("evento %zu fora do lugar em que a regra de empate o poe", k);
    }
  }
  return {};
}

int simular_verificado(Simulacao& sim, std::string& violacao) {
  violacao = verificar_invariantes(sim);
  if (!violacao.empty()) {
    violacao = "antes do primeiro evento: " + violacao;
    return 0;
  }
  long long n = 0;
  int r;
  while ((r = termino(sim)) == 0) {
    const Retrato antes = retratar(sim);
    if (!proximo_evento(sim)) return TERMINO_TEMPO;
    ++n;
    violacao = verificar_efeitos(sim, antes);
    if (violacao.empty())
      violacao = verificar_agendamento(antes.eventos, copiar_eventos(sim.eventos));
    if (violacao.empty()) violacao = verificar_invariantes(sim);
    if (!violacao.empty()) {
      violacao = formatar("evento %lld (%s), Tsimul = %.9g: ", n,
                          descrever(sim.rede, antes.eventos.front()).c_str(),
                          static_cast<double>(sim.Tsimul)) +
                 violacao;
      return 0;
    }
  }
  return r;
}

}  // namespace tarvo
