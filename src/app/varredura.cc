// Parameters by path. A legacy model is changed in its text, which is then read by the loader
// as a file would be; an extended one in its network, checked with the loader's rules for the
// values it holds.
#include "app/varredura.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "comum/failure.h"
#include "comum/gravacao.h"
#include "experimento/saida.h"
#include "geral/adaptador.h"
#include "geral/distribuicao.h"
#include "geral/toml_loader.h"
#include "geral/variaveis.h"
#include "legado/adaptador.h"
#include "legado/model/network.h"
#include "legado/suspeitas.h"

namespace tarvo {

namespace {

struct Parametro {
  std::string nome;
  bool inteiro = false;
};

bool termina_com(const std::string& s, const std::string& fim) {
  return s.size() > fim.size() && s.compare(s.size() - fim.size(), fim.size(), fim) == 0;
}

std::string ler_arquivo(const std::string& caminho) {
  std::string texto;
  if (const int erro = ler_inteiro(caminho, texto)) {
    falha(1, "tarvo-rep: erro de leitura em %s (codigo %d)\n", caminho.c_str(), erro);
  }
  return texto;
}

// The lines of a legacy model's text as [begin, end) offsets, without their line ends.
std::vector<std::pair<std::size_t, std::size_t>> linhas(const std::string& t) {
  std::vector<std::pair<std::size_t, std::size_t>> v;
  std::size_t a = 0;
  while (a < t.size()) {
    std::size_t b = t.find('\n', a);
    if (b == std::string::npos) b = t.size();
    std::size_t c = b;
    if (c > a && t[c - 1] == '\r') --c;
    v.push_back({a, c});
    a = b + 1;
  }
  return v;
}

// The blank-separated fields of one line, as [begin, end) offsets.
std::vector<std::pair<std::size_t, std::size_t>> campos(const std::string& t, std::size_t a,
                                                        std::size_t b) {
  std::vector<std::pair<std::size_t, std::size_t>> v;
  std::size_t i = a;
  while (i < b) {
    while (i < b && (t[i] == ' ' || t[i] == '\t')) ++i;
    const std::size_t j = i;
    while (i < b && t[i] != ' ' && t[i] != '\t') ++i;
    if (i > j) v.push_back({j, i});
  }
  return v;
}

// The legacy line that a path names: D, N, or the k-th S or E line; npos when there is none.
struct AlvoLegado {
  std::size_t linha = std::string::npos;
  std::size_t campo = 0;  // index of the field to replace
};

AlvoLegado alvo_legado(const std::string& texto, const std::string& nome) {
  AlvoLegado r;
  const auto ls = linhas(texto);
  if (nome == "D" || nome == "N") {
    for (std::size_t i = 0; i < ls.size(); ++i) {
      if (ls[i].second > ls[i].first && texto[ls[i].first] == nome[0]) r = {i, 1};
    }
    return r;
  }
  if (nome.size() < 4 || (nome[0] != 'S' && nome[0] != 'E')) return r;
  const std::size_t ponto = nome.find('.');
  if (ponto == std::string::npos || ponto < 2) return r;
  const std::string num = nome.substr(1, ponto - 1), letra = nome.substr(ponto + 1);
  if (num.find_first_not_of("0123456789") != std::string::npos || num[0] == '0' || num.size() > 3 ||
      (letra != "a" && letra != "b")) {
    return r;
  }
  int k = std::atoi(num.c_str());
  for (std::size_t i = 0; i < ls.size(); ++i) {
    if (ls[i].second > ls[i].first && texto[ls[i].first] == nome[0] && --k == 0) {
      return {i, letra == "a" ? std::size_t{3} : std::size_t{4}};
    }
  }
  return r;
}

// A legacy line's distribution type, from its second field (0 when unreadable).
int tipo_legado(const std::string& texto, std::size_t linha) {
  const auto l = linhas(texto)[linha];
  const auto c = campos(texto, l.first, l.second);
  if (c.size() < 2) return 0;
  return std::atoi(texto.substr(c[1].first, c[1].second - c[1].first).c_str());
}

std::vector<Parametro> parametros(const Base& base) {
  std::vector<Parametro> v;
  if (!base.rede) {
    const auto ls = linhas(base.texto);
    int s = 0, e = 0;
    bool d = false, n = false;
    for (std::size_t i = 0; i < ls.size(); ++i) {
      if (ls[i].second == ls[i].first) continue;
      const char c = base.texto[ls[i].first];
      d = d || c == 'D';
      n = n || c == 'N';
      if (c != 'S' && c != 'E') continue;
      const std::string p = formatar("%c%d.", c, c == 'S' ? ++s : ++e);
      v.push_back({p + "a", false});
      if (tipo_legado(base.texto, i) == DIST_UNIFORME) v.push_back({p + "b", false});
    }
    if (d) v.push_back({"D", false});
    if (n) v.push_back({"N", true});
    return v;
  }
  const geral::Rede& r = *base.rede;
  v.push_back({"simulacao.tempo", false});
  v.push_back({"simulacao.fregueses", true});
  v.push_back({"simulacao.aquecimento", false});
  // Windows need the run's end: only a model with tempo, which no sweep takes away, has them.
  if (r.tempo) v.push_back({"simulacao.janela", false});
  auto dist = [&v](const std::string& p, const geral::Distribuicao& d) {
    using geral::Dist;
    std::vector<const char*> ps;
    switch (d.tipo) {
      case Dist::exponencial:
        ps = {"media"};
        break;
      case Dist::uniforme:
        ps = {"min", "max"};
        break;
      case Dist::deterministica:
        ps = {"valor"};
        break;
      case Dist::erlang:
        ps = {"k", "media"};
        break;
      case Dist::gama:
      case Dist::weibull:
        ps = {"forma", "media"};
        break;
      case Dist::lognormal:
        ps = {"media", "desvio"};
        break;
      case Dist::triangular:
        ps = {"min", "moda", "max"};
        break;
      case Dist::hiperexponencial:
        ps = {"media", "cv"};
        break;
      case Dist::empirica:
        break;
    }
    for (const char* x : ps) v.push_back({p + x, std::string_view(x) == "k"});
  };
  for (const geral::Classe& c : r.classes) {
    v.push_back({"classe." + c.nome + ".prioridade", true});
    if (c.populacao) v.push_back({"classe." + c.nome + ".populacao", true});
  }
  for (const geral::Fonte& f : r.fontes) {
    if (!f.taxa) dist("fonte." + f.nome + ".intervalo.", f.intervalo);
    if (f.lote && f.lote->tipo == geral::Dist::deterministica) {
      v.push_back({"fonte." + f.nome + ".lote.valor", true});
    }
  }
  for (const geral::Estacao& e : r.estacoes) {
    if (!e.infinitos && !e.turnos) v.push_back({"estacao." + e.nome + ".servidores", true});
    v.push_back({"estacao." + e.nome + ".capacidade", true});
    dist("estacao." + e.nome + ".servico.", e.servico);
    if (e.paciencia) dist("estacao." + e.nome + ".paciencia.", *e.paciencia);
    for (std::size_t k = 0; k < e.classes.size(); ++k) {
      const std::string p = "estacao." + e.nome + ".classes." + r.classes[k].nome;
      if (e.classes[k].servico) dist(p + ".servico.", *e.classes[k].servico);
      if (e.classes[k].paciencia) dist(p + ".paciencia.", *e.classes[k].paciencia);
    }
  }
  return v;
}

// A value as the outputs and messages write it: the shortest of up to 12 significant digits.
std::string escrito(double x) { return formatar("%.12g", x); }

// The parameter of that name among ps; a Falha listing them, or naming the nearest, if none.
const Parametro& parametro(const std::vector<Parametro>& ps, const std::string& nome) {
  const auto achado =
      std::find_if(ps.begin(), ps.end(), [&](const Parametro& p) { return p.nome == nome; });
  if (achado == ps.end()) {
    std::string lista, perto;
    std::size_t melhor = std::max<std::size_t>(2, nome.size() / 4) + 1;
    for (const Parametro& p : ps) {
      lista += (lista.empty() ? "" : ", ") + p.nome;
      const std::size_t d = distancia(nome, p.nome);
      if (d < melhor) melhor = d, perto = p.nome;
    }
    falha(1, "tarvo-rep: --sweep: o modelo nao tem o parametro \"%s\"; %s\n", nome.c_str(),
          perto.empty() ? ("os seus: " + lista).c_str()
                        : ("voce quis dizer \"" + perto + "\"?").c_str());
  }
  return *achado;
}

// Refuses a value the parameter cannot take: a fraction or too large a number for an integer.
void conferir_valor(const Parametro& p, double x) {
  const char* nome = p.nome.c_str();
  if (p.inteiro && x != std::floor(x)) {
    falha(1, "tarvo-rep: --sweep %s: o parametro e inteiro, e %s nao e\n", nome,
          escrito(x).c_str());
  }
  if (p.inteiro && std::fabs(x) > static_cast<double>(INT_MAX)) {
    falha(1, "tarvo-rep: --sweep %s: %s e grande demais\n", nome, escrito(x).c_str());
  }
}

// Shorthand for the point's failures.
[[noreturn]] void recusar(const std::string& ponto, const std::string& motivo) {
  falha(1, "tarvo-rep: no ponto %s: %s\n", ponto.c_str(), motivo.c_str());
}

void conferir_dist(const std::string& ponto, const std::string& onde,
                   const geral::Distribuicao& d) {
  using geral::Dist;
  auto maior_que_zero = [&](const char* p, double x) {
    if (!(x > 0))
      recusar(ponto,
              formatar("%s.%s deve ser maior que 0, nao %s", onde.c_str(), p, escrito(x).c_str()));
  };
  auto nao_negativo = [&](const char* p, double x) {
    if (!(x >= 0)) {
      recusar(ponto, formatar("%s.%s deve ser maior ou igual a 0, nao %s", onde.c_str(), p,
                              escrito(x).c_str()));
    }
  };
  auto ate = [&](const char* p, double a, const char* q, double b) {
    if (a > b) {
      recusar(ponto, formatar("%s.%s (%s) deve ser menor ou igual a %s.%s (%s)", onde.c_str(), p,
                              escrito(a).c_str(), onde.c_str(), q, escrito(b).c_str()));
    }
  };
  switch (d.tipo) {
    case Dist::exponencial:
      maior_que_zero("media", d.media);
      break;
    case Dist::uniforme:
      nao_negativo("min", d.min);
      ate("min", d.min, "max", d.max);
      break;
    case Dist::deterministica:
      nao_negativo("valor", d.valor);
      break;
    case Dist::erlang:
      maior_que_zero("k", d.k);
      maior_que_zero("media", d.media);
      break;
    case Dist::gama:
    case Dist::weibull:
      maior_que_zero("forma", d.forma);
      maior_que_zero("media", d.media);
      break;
    case Dist::lognormal:
      maior_que_zero("media", d.media);
      nao_negativo("desvio", d.desvio);
      break;
    case Dist::triangular:
      nao_negativo("min", d.min);
      ate("min", d.min, "moda", d.moda);
      ate("moda", d.moda, "max", d.max);
      break;
    case Dist::hiperexponencial:
      maior_que_zero("media", d.media);
      break;
    case Dist::empirica:
      break;
  }
  if (const auto f = geral::fora_da_faixa(d)) {
    recusar(ponto, formatar("%s.%s deve %s, nao %s", onde.c_str(), f->parametro, f->faixa.c_str(),
                            escrito(f->valor).c_str()));
  }
}

// The distribution's field that a parameter names.
void por_na_dist(geral::Distribuicao& d, const std::string& p, double x) {
  if (p == "media") d.media = x;
  if (p == "min") d.min = x;
  if (p == "max") d.max = x;
  if (p == "moda") d.moda = x;
  if (p == "valor") d.valor = x;
  if (p == "forma") d.forma = x;
  if (p == "desvio") d.desvio = x;
  if (p == "cv") d.cv = x;
  if (p == "k") d.k = static_cast<int>(x);
}

std::unique_ptr<Modelo> geral_no_ponto(const Base& base,
                                       const std::vector<std::pair<std::string, double>>& ponto,
                                       const std::string& nome_ponto) {
  geral::Rede r = *base.rede;
  for (const auto& [nome, x] : ponto) {
    if (nome == "simulacao.tempo") r.tempo = x;
    if (nome == "simulacao.fregueses") r.fregueses = static_cast<std::int64_t>(x);
    if (nome == "simulacao.aquecimento") r.aquecimento = x;
    if (nome == "simulacao.janela") r.janela = x;
    for (geral::Classe& c : r.classes) {
      if (nome == "classe." + c.nome + ".prioridade") c.prioridade = static_cast<int>(x);
      if (nome == "classe." + c.nome + ".populacao") c.populacao = static_cast<std::int64_t>(x);
    }
    for (geral::Fonte& f : r.fontes) {
      const std::string p = "fonte." + f.nome + ".intervalo.";
      if (nome.rfind(p, 0) == 0) por_na_dist(f.intervalo, nome.substr(p.size()), x);
      if (f.lote && nome == "fonte." + f.nome + ".lote.valor") f.lote->valor = x;
    }
    for (geral::Estacao& e : r.estacoes) {
      const std::string p = "estacao." + e.nome + ".";
      if (nome.rfind(p, 0) != 0) continue;
      const std::string resto = nome.substr(p.size());
      if (resto == "servidores") e.servidores = static_cast<int>(x);
      if (resto == "capacidade") e.capacidade = static_cast<std::int64_t>(x);
      if (resto.rfind("servico.", 0) == 0) por_na_dist(e.servico, resto.substr(8), x);
      if (e.paciencia && resto.rfind("paciencia.", 0) == 0) {
        por_na_dist(*e.paciencia, resto.substr(10), x);
      }
      for (std::size_t k = 0; k < e.classes.size(); ++k) {
        const std::string q = "classes." + r.classes[k].nome + ".";
        // Names may hold dots, so a path may start like another object's: only a present
        // distribution is set.
        if (e.classes[k].servico && resto.rfind(q + "servico.", 0) == 0) {
          por_na_dist(*e.classes[k].servico, resto.substr(q.size() + 8), x);
        }
        if (e.classes[k].paciencia && resto.rfind(q + "paciencia.", 0) == 0) {
          por_na_dist(*e.classes[k].paciencia, resto.substr(q.size() + 10), x);
        }
      }
    }
  }
  // The loader's rules for the values a sweep can change.
  if (r.tempo && !(*r.tempo > 0)) {
    recusar(nome_ponto, "simulacao.tempo deve ser maior que 0, nao " + escrito(*r.tempo));
  }
  if (r.fregueses && *r.fregueses < 1) {
    recusar(nome_ponto, formatar("simulacao.fregueses deve ser pelo menos 1, nao %lld",
                                 static_cast<long long>(*r.fregueses)));
  }
  if (!(r.aquecimento >= 0)) {
    recusar(nome_ponto,
            "simulacao.aquecimento deve ser maior ou igual a 0, nao " + escrito(r.aquecimento));
  }
  if (r.tempo && r.aquecimento >= *r.tempo) {
    recusar(nome_ponto, formatar("simulacao.aquecimento (%s) deve ser menor que simulacao.tempo "
                                 "(%s)",
                                 escrito(r.aquecimento).c_str(), escrito(*r.tempo).c_str()));
  }
  if (r.janela && !(*r.janela > 0)) {
    recusar(nome_ponto, "simulacao.janela deve ser maior que 0, nao " + escrito(*r.janela));
  }
  if (r.janela && geral::janelas(*r.tempo, *r.janela) > geral::JANELAS_MAX) {
    recusar(nome_ponto,
            formatar("simulacao.janela (%s) divide simulacao.tempo (%s) em %s janelas, "
                     "mais que o maximo de %d",
                     escrito(*r.janela).c_str(), escrito(*r.tempo).c_str(),
                     escrito(geral::janelas(*r.tempo, *r.janela)).c_str(), geral::JANELAS_MAX));
  }
  for (const geral::Classe& c : r.classes) {
    const std::string onde = "classe." + c.nome;
    if (c.prioridade < -geral::PRIORIDADE_MAX || c.prioridade > geral::PRIORIDADE_MAX) {
      recusar(nome_ponto, formatar("%s.prioridade deve ser um inteiro de %lld a %lld, nao %d",
                                   onde.c_str(), static_cast<long long>(-geral::PRIORIDADE_MAX),
                                   static_cast<long long>(geral::PRIORIDADE_MAX), c.prioridade));
    }
    if (c.populacao && (*c.populacao < 1 || *c.populacao > geral::POPULACAO_MAX)) {
      recusar(nome_ponto, formatar("%s.populacao deve ser um inteiro de 1 a %lld, nao %lld",
                                   onde.c_str(), static_cast<long long>(geral::POPULACAO_MAX),
                                   static_cast<long long>(*c.populacao)));
    }
  }
  for (const geral::Fonte& f : r.fontes) {
    const std::string onde = "fonte." + f.nome + ".intervalo";
    if (!f.taxa) {
      conferir_dist(nome_ponto, onde, f.intervalo);
      if (geral::media(f.intervalo) == 0) {
        recusar(nome_ponto, onde + " tem media 0: a fonte geraria fregueses sem fim no instante 0");
      }
    }
    if (f.lote && f.lote->tipo == geral::Dist::deterministica &&
        !(f.lote->valor >= 1 && f.lote->valor <= static_cast<double>(geral::LOTE_MAX))) {
      recusar(nome_ponto, formatar("fonte.%s.lote.valor deve ser um inteiro de 1 a %lld, nao %s",
                                   f.nome.c_str(), static_cast<long long>(geral::LOTE_MAX),
                                   escrito(f.lote->valor).c_str()));
    }
  }
  for (const geral::Estacao& e : r.estacoes) {
    const std::string onde = "estacao." + e.nome;
    if (!e.infinitos && e.servidores < 1) {
      recusar(nome_ponto,
              formatar("%s.servidores deve ser pelo menos 1, nao %d", onde.c_str(), e.servidores));
    }
    if (e.capacidade && *e.capacidade < 1) {
      recusar(nome_ponto, formatar("%s.capacidade deve ser pelo menos 1, nao %lld", onde.c_str(),
                                   static_cast<long long>(*e.capacidade)));
    }
    if (e.capacidade && !e.infinitos && *e.capacidade < e.servidores) {
      recusar(nome_ponto,
              formatar("%s.capacidade (%lld) deve ser maior ou igual %s %s.servidores (%d)",
                       onde.c_str(), static_cast<long long>(*e.capacidade),
                       e.turnos ? "ao maior turno de" : "a", onde.c_str(), e.servidores));
    }
    conferir_dist(nome_ponto, onde + ".servico", e.servico);
    if (e.paciencia) conferir_dist(nome_ponto, onde + ".paciencia", *e.paciencia);
    for (std::size_t k = 0; k < e.classes.size(); ++k) {
      const std::string p = onde + ".classes." + r.classes[k].nome;
      if (e.classes[k].servico) conferir_dist(nome_ponto, p + ".servico", *e.classes[k].servico);
      if (e.classes[k].paciencia) {
        conferir_dist(nome_ponto, p + ".paciencia", *e.classes[k].paciencia);
      }
    }
  }
  if (const auto x = geral::populacao_excedente(r)) {
    std::string soma;
    for (int k : x->classes) {
      soma += (soma.empty() ? "classe." : " + classe.") + r.classes[k].nome + ".populacao";
    }
    const geral::Estacao& e = r.estacoes[x->estacao];
    recusar(nome_ponto,
            formatar("estacao.%s.capacidade (%lld) e menor que os %lld fregueses das classes "
                     "fechadas que podem estar ali (%s): uma estacao cheia perderia fregueses que "
                     "nunca saem",
                     e.nome.c_str(), static_cast<long long>(*e.capacidade),
                     static_cast<long long>(x->populacao), soma.c_str()));
  }
  return modelo_geral(r, base.texto, base.ajustes);
}

std::unique_ptr<Modelo> legado_no_ponto(const Base& base,
                                        const std::vector<std::pair<std::string, double>>& ponto,
                                        const std::string& nome_ponto) {
  std::string texto = base.texto;
  for (const auto& [nome, x] : ponto) {
    if (!(x >= 0)) recusar(nome_ponto, nome + " nao pode ser negativo: " + escrito(x));
    const AlvoLegado a = alvo_legado(texto, nome);
    const auto l = linhas(texto)[a.linha];
    const auto c = campos(texto, l.first, l.second);
    if (a.campo >= c.size()) continue;  // the loader refuses the line as it is
    // Legacy times are 32-bit floats, whose nine digits keep them whole.
    const std::string novo =
        nome == "N" ? formatar("%lld", static_cast<long long>(x)) : formatar("%.9g", x);
    texto.replace(c[a.campo].first, c[a.campo].second - c[a.campo].first, novo);
  }
  for (const auto& [nome, x] : ponto) {
    if (nome.size() < 2 || nome.back() != 'b') continue;
    const AlvoLegado a = alvo_legado(texto, nome);
    const auto l = linhas(texto)[a.linha];
    const auto c = campos(texto, l.first, l.second);
    const double inf =
        std::strtod(texto.substr(c[3].first, c[3].second - c[3].first).c_str(), nullptr);
    if (inf > x) {
      recusar(nome_ponto, formatar("%s.a (%s) deve ser menor ou igual a %s (%s)",
                                   nome.substr(0, nome.size() - 2).c_str(), escrito(inf).c_str(),
                                   nome.c_str(), escrito(x).c_str()));
    }
  }
  return modelo_legado(std::move(texto), base.caminho, base.ajustes);
}

}  // namespace

std::size_t distancia(const std::string& a, const std::string& b) {
  std::vector<std::size_t> d(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) d[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diag = d[0];
    d[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cima = d[j];
      d[j] = std::min({d[j] + 1, d[j - 1] + 1, diag + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diag = cima;
    }
  }
  return d[b.size()];
}

void exigir_arquivo_regular(const std::string& caminho) {
  struct stat st;
  if (stat(caminho.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) return;
  const char* tipo = S_ISFIFO(st.st_mode)                         ? "um pipe"
                     : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "um dispositivo"
                     : S_ISSOCK(st.st_mode)                       ? "um socket"
                                                                  : "um arquivo especial";
  falha(1, "tarvo-rep: o modelo %s e %s, nao um arquivo regular\n", caminho.c_str(), tipo);
}

Base abrir(const std::string& caminho, std::vector<std::string>* avisos) {
  const auto avisar = [avisos](const std::string& a) {
    if (avisos != nullptr) {
      avisos->push_back(a);
    } else {
      std::fprintf(stderr, "%s\n", visivel(a).c_str());
    }
  };
  exigir_arquivo_regular(caminho);
  Base b;
  b.caminho = caminho;
  if (!termina_com(caminho, ".toml")) {
    std::string texto;  // unreadable, it is the loader that says so
    if (ler_inteiro(caminho, texto) == 0) {
      for (const std::string& a : suspeitas(texto, caminho)) avisar(a);
    }
    carregar_legado(caminho);  // the loader's messages for the file as it is
    b.texto = ler_arquivo(caminho);
    return b;
  }
  b.rede = geral::ler_rede(caminho);
  for (const std::string& a : b.rede->avisos) avisar(a);
  b.texto = ler_arquivo(caminho);
  return b;
}

std::unique_ptr<Modelo> modelo_da_base(const Base& base) {
  return base.rede ? modelo_geral(*base.rede, base.texto, base.ajustes)
                   : modelo_legado(base.texto, base.caminho, base.ajustes);
}

Eixo ler_eixo(const Base& base, const std::string& texto) {
  const std::size_t igual = texto.find('=');
  const std::size_t p1 = igual == std::string::npos ? igual : texto.find(':', igual);
  const std::size_t p2 = p1 == std::string::npos ? p1 : texto.find(':', p1 + 1);
  if (igual == std::string::npos || igual == 0 || p2 == std::string::npos ||
      texto.find(':', p2 + 1) != std::string::npos) {
    falha(1, "tarvo-rep: --sweep espera NOME=DE:ATE:PASSO, e nao \"%s\"\n", texto.c_str());
  }
  Eixo e;
  e.nome = texto.substr(0, igual);
  const char* nome = e.nome.c_str();
  double v[3];
  const std::string partes[3] = {texto.substr(igual + 1, p1 - igual - 1),
                                 texto.substr(p1 + 1, p2 - p1 - 1), texto.substr(p2 + 1)};
  for (int i = 0; i < 3; ++i) {
    char* fim = nullptr;
    v[i] = std::strtod(partes[i].c_str(), &fim);
    if (partes[i].empty() || *fim != '\0' || !std::isfinite(v[i]) ||
        partes[i].find_first_of("xXnNiI") != std::string::npos) {
      falha(1, "tarvo-rep: --sweep %s: \"%s\" nao e um numero\n", nome, partes[i].c_str());
    }
  }
  const auto ps = parametros(base);
  const Parametro& achado = parametro(ps, e.nome);
  const double de = v[0], ate = v[1], passo = v[2];
  if (!(passo > 0)) {
    falha(1, "tarvo-rep: --sweep %s: o PASSO deve ser maior que 0, e nao %s\n", nome,
          partes[2].c_str());
  }
  if (de > ate) {
    falha(1, "tarvo-rep: --sweep %s: DE (%s) e maior que ATE (%s)\n", nome, partes[0].c_str(),
          partes[1].c_str());
  }
  // Each value is computed from its index, so that errors do not add up; the last one may fall
  // short of ATE by a billionth of a step.
  const double n = std::floor((ate - de) / passo + 1e-9) + 1;
  if (n > 1000) {
    falha(1, "tarvo-rep: --sweep %s: %s valores, mais que o maximo de 1000\n", nome,
          escrito(n).c_str());
  }
  for (int i = 0; i < static_cast<int>(n); ++i) {
    const double x = std::strtod(escrito(de + i * passo).c_str(), nullptr);
    conferir_valor(achado, x);
    e.valores.push_back(x);
  }
  return e;
}

Eixo eixo(const Base& base, const std::string& nome, const std::vector<double>& valores) {
  const auto ps = parametros(base);
  const Parametro& p = parametro(ps, nome);
  if (valores.empty()) falha(1, "tarvo-rep: --sweep %s: nenhum valor\n", nome.c_str());
  if (valores.size() > 1000) {
    falha(1, "tarvo-rep: --sweep %s: %zu valores, mais que o maximo de 1000\n", nome.c_str(),
          valores.size());
  }
  for (double x : valores) {
    if (!std::isfinite(x)) {
      falha(1, "tarvo-rep: --sweep %s: \"%s\" nao e um numero\n", nome.c_str(), escrito(x).c_str());
    }
    conferir_valor(p, x);
  }
  return {nome, valores};
}

std::vector<std::vector<double>> grade(const std::vector<Eixo>& eixos, std::size_t maximo) {
  double total = 1;
  for (const Eixo& e : eixos) total *= static_cast<double>(e.valores.size());
  if (total > static_cast<double>(maximo)) {
    falha(1, "tarvo-rep: a grade de --sweep tem %s pontos, mais que o maximo de %zu\n",
          escrito(total).c_str(), maximo);
  }
  std::vector<std::vector<double>> pontos = {{}};
  for (const Eixo& e : eixos) {
    std::vector<std::vector<double>> mais;
    for (const auto& p : pontos) {
      for (double x : e.valores) {
        mais.push_back(p);
        mais.back().push_back(x);
      }
    }
    pontos = std::move(mais);
  }
  return pontos;
}

std::unique_ptr<Modelo> modelo_no_ponto(const Base& base,
                                        const std::vector<std::pair<std::string, double>>& ponto) {
  std::string nome;
  for (const auto& [n, x] : ponto) nome += (nome.empty() ? "" : ", ") + n + "=" + escrito(x);
  try {
    return base.rede ? geral_no_ponto(base, ponto, nome) : legado_no_ponto(base, ponto, nome);
  } catch (const Falha& f) {
    if (f.texto.rfind("tarvo-rep: no ponto", 0) == 0) throw;
    throw Falha{f.status, formatar("tarvo-rep: no ponto %s: ", nome.c_str()) + f.texto};
  }
}

}  // namespace tarvo
