// The module _tarvo: the models, the driver and the writers of tarvo-rep for Python, through the
// same functions the program calls; the package tarvo (tarvo/__init__.py) builds on it.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/corrida.h"
#include "app/varredura.h"
#include "comum/failure.h"
#include "experimento/comparacao.h"
#include "experimento/estatistica.h"
#include "experimento/experimento.h"
#include "experimento/pagina.h"
#include "experimento/saida.h"
#include "geral/toml_loader.h"

namespace py = pybind11;

namespace tarvo {
namespace {

// A text for Python: a legacy name may hold any byte, and what is not UTF-8 shows as \xHH.
py::str texto_py(const std::string& s) {
  return py::reinterpret_steal<py::str>(
      PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "backslashreplace"));
}

// The Falha as the exception of the package named by classe, which reads its parts from texto;
// arquivo is the model's path, for the messages that do not name it.
[[noreturn]] void levantar(const char* classe, const Falha& f, const std::string& arquivo) {
  std::string texto = f.texto;
  if (!texto.empty() && texto.back() == '\n') texto.pop_back();
  const py::object tipo = py::module_::import("tarvo").attr(classe);
  const py::object erro = tipo(texto_py(texto), f.status, arquivo);
  PyErr_SetObject(tipo.ptr(), erro.ptr());
  throw py::error_already_set();
}

// Each warning as a tarvo.Aviso, where a notebook shows it.
void avisar(const std::vector<std::string>& avisos) {
  if (avisos.empty()) return;
  const py::object warn = py::module_::import("warnings").attr("warn");
  const py::object aviso = py::module_::import("tarvo").attr("Aviso");
  for (const std::string& a : avisos) {
    warn(texto_py(a), aviso, 3);
  }
}

// The lines of a text of warnings, one each.
std::vector<std::string> linhas(const std::string& texto) {
  std::vector<std::string> v;
  std::size_t a = 0;
  while (a < texto.size()) {
    std::size_t b = texto.find('\n', a);
    if (b == std::string::npos) b = texto.size();
    if (b > a) v.push_back(texto.substr(a, b - a));
    a = b + 1;
  }
  return v;
}

// A model as read once: its file's text (or the text given), its network for the extended
// language, and the model the driver runs.
struct ModeloPy {
  Base base;
  std::unique_ptr<Modelo> modelo;
};

std::shared_ptr<ModeloPy> de_base(Base base, const std::optional<double>& limiar) {
  auto m = std::make_shared<ModeloPy>();
  m->base = std::move(base);
  m->base.ajustes.limiar = limiar;
  try {
    m->modelo = modelo_da_base(m->base);
  } catch (const Falha& f) {
    levantar("ErroDeModelo", f, m->base.caminho);
  }
  return m;
}

std::shared_ptr<ModeloPy> carregar_arquivo(const std::string& caminho,
                                           const std::optional<double>& limiar) {
  Base b;
  std::vector<std::string> avisos;
  try {
    b = abrir(caminho, &avisos);
  } catch (const Falha& f) {
    avisar(avisos);  // a line taken for a comment may be what the loader's message is about
    levantar("ErroDeModelo", f, caminho);
  }
  avisar(avisos);
  return de_base(std::move(b), limiar);
}

std::shared_ptr<ModeloPy> carregar_texto(const std::string& texto, const std::string& nome,
                                         const std::optional<double>& limiar) {
  Base b;
  b.caminho = nome;
  b.texto = texto;
  try {
    b.rede = geral::ler_rede_texto(texto, nome);
  } catch (const Falha& f) {
    levantar("ErroDeModelo", f, nome);
  }
  avisar(b.rede->avisos);
  return de_base(std::move(b), limiar);
}

// What every model of a run shares, as the keywords of rodar, varrer and comparar give it.
struct Opcoes {
  std::int64_t replicacoes = 10;
  std::uint32_t semente = 0;
  int jobs = 1;
  std::optional<double> aquecimento;
  std::optional<double> precisao;
  std::optional<std::int64_t> max_replicacoes;
  std::vector<std::string> alvos;
  double confianca = 0.95;
  bool teoria = false;
};

[[noreturn]] void recusar(const std::string& texto) { falha(1, "tarvo: %s\n", texto.c_str()); }

// The shared part of the request, checked as tarvo-rep checks its options.
Pedido pedido_comum(const Opcoes& o) {
  constexpr std::int64_t MAXIMO = std::int64_t{1} << 31;
  if (o.replicacoes < 1 || o.replicacoes > MAXIMO) {
    recusar(formatar("replicacoes deve ser de 1 a %lld", static_cast<long long>(MAXIMO)));
  }
  if (o.jobs < 1 || o.jobs > 4096) recusar("jobs deve ser de 1 a 4096");
  if (!confianca_valida(o.confianca)) {
    recusar("confianca deve ser maior que 0 e no maximo 0.9999999999999998");
  }
  if (o.aquecimento && !(std::isfinite(*o.aquecimento) && *o.aquecimento >= 0)) {
    recusar("aquecimento deve ser um numero finito de 0 em diante");
  }
  Pedido p;
  p.replicacoes = o.replicacoes;
  p.plano.semente = o.semente;
  p.plano.maximo = o.replicacoes;
  p.confianca = o.confianca;
  p.teoria = o.teoria;
  p.alvos = o.alvos;
  if (o.precisao) {
    if (!(std::isfinite(*o.precisao) && *o.precisao > 0)) {
      recusar("precisao deve ser um numero maior que 0");
    }
    if (!o.max_replicacoes) recusar("precisao exige max_replicacoes");
    if (*o.max_replicacoes < o.replicacoes || *o.max_replicacoes > MAXIMO) {
      recusar(formatar("max_replicacoes deve ser de replicacoes (%lld) a %lld",
                       static_cast<long long>(o.replicacoes), static_cast<long long>(MAXIMO)));
    }
    p.precisao = o.precisao;
    p.plano.maximo = *o.max_replicacoes;
  } else {
    if (o.max_replicacoes) recusar("max_replicacoes so vale com precisao");
    if (!o.alvos.empty()) recusar("alvo so vale com precisao");
  }
  return p;
}

Pedido pedido_de(const Opcoes& o, const ModeloPy& m) {
  Pedido p = pedido_do_modelo(pedido_comum(o), m.base.caminho, *m.modelo, o.aquecimento);
  p.limiar = m.base.ajustes.limiar;
  return p;
}

// Runs the experiment on a thread of its own while this one, holding the interpreter only
// between waits, looks for a signal every 50 ms: Ctrl-C stops the replications within a
// fraction of a second and comes out as KeyboardInterrupt.
Resultado executar_interrompivel(const Modelo& m, const Pedido& p, int jobs) {
  std::atomic<bool> parar{false};
  Execucao e;
  e.jobs = jobs;
  e.parar = &parar;
  std::future<Resultado> futuro;
  {
    const py::gil_scoped_release livre;
    futuro = std::async(std::launch::async, [&] { return executar(m, p, e); });
  }
  for (;;) {
    bool pronto;
    {
      const py::gil_scoped_release livre;
      pronto = futuro.wait_for(std::chrono::milliseconds(50)) == std::future_status::ready;
    }
    if (pronto) break;
    if (PyErr_CheckSignals() != 0) {
      parar = true;
      {
        const py::gil_scoped_release livre;
        futuro.wait();
      }
      try {
        futuro.get();
      } catch (...) {  // the interruption is what the user is told of
      }
      throw py::error_already_set();
    }
  }
  const py::gil_scoped_release livre;
  return futuro.get();
}

Contexto contexto(const Modelo* a, const Modelo* b = nullptr) {
  return contexto("tarvo (Python) " TARVO_VERSAO, a, b);
}

// One experiment's result, with what its page says of the model.
struct ResultadoPy {
  Resultado r;
  Contexto c;
};

struct VarreduraPy {
  std::vector<Ponto> pontos;
  Contexto c;
};

struct ComparacaoPy {
  std::shared_ptr<ResultadoPy> a, b;
};

// What tarvo-rep says of a run on standard error: unstable stations, then what happened.
std::vector<std::string> avisos_da_corrida(const Resultado& r, const Modelo& m,
                                           const std::string& onde) {
  std::vector<std::string> v = linhas(avisos_de_instabilidade(m.instaveis(), onde));
  for (std::string& a : linhas(avisos_da_execucao(r))) v.push_back(std::move(a));
  if (r.sem_eventos > 0) v.push_back(m.aviso_sem_eventos());
  return v;
}

std::shared_ptr<ResultadoPy> rodar(const ModeloPy& m, const Opcoes& o) {
  const Pedido p = pedido_de(o, m);
  auto r = std::make_shared<ResultadoPy>();
  r->r = executar_interrompivel(*m.modelo, p, o.jobs);
  r->c = contexto(m.modelo.get());
  avisar(avisos_da_corrida(r->r, *m.modelo, ""));
  return r;
}

std::shared_ptr<VarreduraPy> varrer(
    const ModeloPy& m, const std::vector<std::pair<std::string, std::vector<double>>>& eixos,
    const Opcoes& o) {
  if (eixos.empty()) recusar("a varredura precisa de pelo menos um parametro");
  std::vector<Eixo> es;
  for (const auto& [nome, valores] : eixos) es.push_back(eixo(m.base, nome, valores));
  std::vector<std::unique_ptr<Modelo>> modelos;
  std::vector<Pedido> pedidos;
  auto v = std::make_shared<VarreduraPy>();
  // Every point is checked before any runs, as tarvo-rep does.
  for (const std::vector<double>& valores : grade(es, 1000)) {
    Ponto x;
    for (std::size_t k = 0; k < es.size(); ++k) x.parametros.push_back({es[k].nome, valores[k]});
    modelos.push_back(modelo_no_ponto(m.base, x.parametros));
    Pedido p = pedido_do_modelo(pedido_comum(o), m.base.caminho, *modelos.back(), o.aquecimento);
    p.limiar = m.base.ajustes.limiar;
    pedidos.push_back(std::move(p));
    v->pontos.push_back(std::move(x));
  }
  for (std::size_t k = 0; k < modelos.size(); ++k) {
    v->pontos[k].resultado = executar_interrompivel(*modelos[k], pedidos[k], o.jobs);
    avisar(avisos_da_corrida(v->pontos[k].resultado, *modelos[k],
                             "no ponto " + nome_do_ponto(v->pontos[k]) + ", "));
  }
  v->c = contexto(modelos.front().get());
  return v;
}

std::shared_ptr<ComparacaoPy> comparar_modelos(const ModeloPy& a, const ModeloPy& b,
                                               const Opcoes& o) {
  if (a.base.rede.has_value() != b.base.rede.has_value()) {
    recusar("comparar precisa de dois modelos da mesma linguagem");
  }
  if (o.precisao) {
    recusar("comparar nao vale com precisao: os dois modelos precisam das mesmas replicacoes");
  }
  const Pedido pa = pedido_de(o, a), pb = pedido_de(o, b);
  auto c = std::make_shared<ComparacaoPy>();
  c->a = std::make_shared<ResultadoPy>();
  c->b = std::make_shared<ResultadoPy>();
  c->a->r = executar_interrompivel(*a.modelo, pa, o.jobs);
  c->b->r = executar_interrompivel(*b.modelo, pb, o.jobs);
  c->a->c = c->b->c = contexto(a.modelo.get(), b.modelo.get());
  avisar(avisos_da_corrida(c->a->r, *a.modelo, ""));
  avisar(avisos_da_corrida(c->b->r, *b.modelo, ""));
  return c;
}

// A number for Python: None where the figure has no value.
py::object numero(double x) { return std::isfinite(x) ? py::object(py::float_(x)) : py::none(); }

py::object texto_ou_nada(const std::string& s) {
  return s.empty() ? py::object(py::none()) : py::object(py::str(s));
}

// The columns that name a figure, appended to c for figure id.
void por_id(py::dict& c, const IdFigura& id) {
  c["tipo"].cast<py::list>().append(id.tipo);
  c["nome"].cast<py::list>().append(id.nome);
  c["numero"].cast<py::list>().append(id.numero);
  c["classe"].cast<py::list>().append(texto_ou_nada(id.classe));
  c["janela"].cast<py::list>().append(id.janela ? py::object(py::int_(*id.janela)) : py::none());
  c["inicio"].cast<py::list>().append(id.janela ? numero(id.inicio) : py::none());
  c["figura"].cast<py::list>().append(id.figura);
  c["rotulo"].cast<py::list>().append(id.rotulo);
  c["limiar"].cast<py::list>().append(id.limiar ? numero(*id.limiar) : py::none());
}

py::dict colunas(std::initializer_list<const char*> nomes) {
  py::dict c;
  for (const char* n :
       {"tipo", "nome", "numero", "classe", "janela", "inicio", "figura", "rotulo", "limiar"}) {
    c[n] = py::list();
  }
  for (const char* n : nomes) c[n] = py::list();
  return c;
}

void por(py::dict& c, const char* coluna, const py::object& valor) {
  c[coluna].cast<py::list>().append(valor);
}

// One row per figure: its summary over the replications and its theory, as the outputs give them.
py::dict figuras(const Resultado& r) {
  py::dict c = colunas({"media", "meia_largura", "desvio", "min", "max", "n", "faltantes",
                        "agrupado", "teoria", "metodo"});
  for (std::size_t f = 0; f < r.ids.size(); ++f) {
    por_id(c, r.ids[f]);
    const Resumo s = resumir(r.valores[f], r.valores[f].size(), r.pedido.confianca);
    por(c, "media", numero(s.media));
    por(c, "meia_largura", numero(s.meia_largura));
    por(c, "desvio", numero(s.desvio));
    por(c, "min", numero(s.min));
    por(c, "max", numero(s.max));
    por(c, "n", py::int_(s.n));
    por(c, "faltantes", py::int_(s.faltantes));
    const std::optional<double> a =
        quantil_de(r.ids[f], r.ids_histogramas) ? agrupado(r, f) : std::nullopt;
    por(c, "agrupado", a ? numero(*a) : py::none());
    const Teorico* t = teorico(r, f);
    por(c, "teoria", t != nullptr && t->metodo != "instavel" ? numero(t->valor) : py::none());
    por(c, "metodo", t != nullptr ? py::object(py::str(t->metodo)) : py::none());
  }
  return c;
}

// One row per replication and figure.
py::dict replicacoes(const Resultado& r) {
  py::dict c = colunas({"replicacao", "semente", "valor"});
  for (std::size_t f = 0; f < r.ids.size(); ++f) {
    for (std::size_t i = 0; i < r.valores[f].size(); ++i) {
      por_id(c, r.ids[f]);
      por(c, "replicacao", py::int_(r.inicio + static_cast<std::int64_t>(i)));
      por(c, "semente", py::int_(r.sementes[i]));
      por(c, "valor", numero(r.valores[f][i]));
    }
  }
  return c;
}

// One row per figure of either model: the two means, the paired difference and the verdict.
py::dict comparadas(const Resultado& a, const Resultado& b) {
  py::dict c = colunas(
      {"media_a", "media_b", "diferenca", "meia_largura", "desvio", "n", "melhor", "so_em"});
  for (const Comparada& x : comparar(a, b)) {
    por_id(c, x.id);
    por(c, "media_a", numero(x.media_a));
    por(c, "media_b", numero(x.media_b));
    const bool ambos = x.so_em().empty();
    por(c, "diferenca", ambos ? numero(x.diferenca.media) : py::none());
    por(c, "meia_largura", ambos ? numero(x.diferenca.meia_largura) : py::none());
    por(c, "desvio", ambos ? numero(x.diferenca.desvio) : py::none());
    por(c, "n", py::int_(ambos ? x.diferenca.n : 0));
    por(c, "melhor", py::str(x.melhor));
    por(c, "so_em", texto_ou_nada(x.so_em()));
  }
  return c;
}

Formato formato(const std::string& f) {
  if (f == "text") return Formato::texto;
  if (f == "json") return Formato::json;
  if (f == "csv") return Formato::csv;
  recusar("formato \"" + f + "\": use text, json ou csv");
}

}  // namespace
}  // namespace tarvo

PYBIND11_MODULE(_tarvo, m) {
  using namespace tarvo;
  m.doc() = "Os modelos, o motor de replicacoes e as saidas do tarvo-rep; use o pacote tarvo.";
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const Falha& f) {
      levantar("Erro", f, "");
    }
  });

  py::class_<ModeloPy, std::shared_ptr<ModeloPy>>(m, "Modelo")
      .def_property_readonly("caminho", [](const ModeloPy& x) { return x.base.caminho; })
      .def_property_readonly("texto", [](const ModeloPy& x) { return x.base.texto; })
      .def_property_readonly("estendido", [](const ModeloPy& x) { return x.base.rede.has_value(); })
      .def_property_readonly("descricao", [](const ModeloPy& x) { return x.modelo->descricao(); })
      .def("figuras", [](const ModeloPy& x) {
        py::dict c = colunas({});
        for (const IdFigura& id : x.modelo->figuras()) por_id(c, id);
        return c;
      });

  py::class_<Opcoes>(m, "Opcoes")
      .def(py::init<>())
      .def_readwrite("replicacoes", &Opcoes::replicacoes)
      .def_readwrite("semente", &Opcoes::semente)
      .def_readwrite("jobs", &Opcoes::jobs)
      .def_readwrite("aquecimento", &Opcoes::aquecimento)
      .def_readwrite("precisao", &Opcoes::precisao)
      .def_readwrite("max_replicacoes", &Opcoes::max_replicacoes)
      .def_readwrite("alvos", &Opcoes::alvos)
      .def_readwrite("confianca", &Opcoes::confianca)
      .def_readwrite("teoria", &Opcoes::teoria);

  py::class_<ResultadoPy, std::shared_ptr<ResultadoPy>>(m, "Resultado")
      .def("figuras", [](const ResultadoPy& x) { return figuras(x.r); })
      .def("replicacoes", [](const ResultadoPy& x) { return replicacoes(x.r); })
      .def("escrever",
           [](const ResultadoPy& x, const std::string& f) { return escrever(x.r, formato(f)); })
      .def("pagina", [](const ResultadoPy& x) { return pagina(x.r, x.c); })
      .def_property_readonly("semente",
                             [](const ResultadoPy& x) { return x.r.pedido.plano.semente; })
      .def_property_readonly("feitas", [](const ResultadoPy& x) { return x.r.fim - x.r.inicio; })
      .def_property_readonly("precisao_atingida",
                             [](const ResultadoPy& x) { return x.r.precisao_atingida; })
      .def_property_readonly("avisos", [](const ResultadoPy& x) { return avisos(x.r); });

  py::class_<VarreduraPy, std::shared_ptr<VarreduraPy>>(m, "Varredura")
      .def("pontos",
           [](const VarreduraPy& x) {
             py::list l;
             for (const Ponto& p : x.pontos) {
               py::dict d;
               for (const auto& [nome, valor] : p.parametros) d[py::str(nome)] = valor;
               l.append(py::make_tuple(d, figuras(p.resultado)));
             }
             return l;
           })
      .def("escrever",
           [](const VarreduraPy& x, const std::string& f) {
             return escrever_varredura(x.pontos, formato(f));
           })
      .def("pagina", [](const VarreduraPy& x) { return pagina_varredura(x.pontos, x.c); });

  py::class_<ComparacaoPy, std::shared_ptr<ComparacaoPy>>(m, "Comparacao")
      .def_readonly("a", &ComparacaoPy::a)
      .def_readonly("b", &ComparacaoPy::b)
      .def("figuras", [](const ComparacaoPy& x) { return comparadas(x.a->r, x.b->r); })
      .def("escrever",
           [](const ComparacaoPy& x, const std::string& f) {
             return escrever_comparacao(x.a->r, x.b->r, formato(f));
           })
      .def("pagina",
           [](const ComparacaoPy& x) { return pagina_comparacao(x.a->r, x.b->r, x.a->c); })
      .def("veredito", [](const ComparacaoPy& x) {
        std::vector<std::string> v;
        for (const Veredito& y : veredito(comparar(x.a->r, x.b->r), true)) v.push_back(y.frase);
        return v;
      });

  m.def("carregar_arquivo", &carregar_arquivo, py::arg("caminho"), py::arg("limiar"));
  m.def("carregar_texto", &carregar_texto, py::arg("texto"), py::arg("nome"), py::arg("limiar"));
  m.def("rodar", &rodar, py::arg("modelo"), py::arg("opcoes"));
  m.def("varrer", &varrer, py::arg("modelo"), py::arg("eixos"), py::arg("opcoes"));
  m.def("comparar", &comparar_modelos, py::arg("a"), py::arg("b"), py::arg("opcoes"));
}
