// A model from its path and the request for it, as tarvo-rep and the Python module make them.
#include "app/corrida.h"

#include <cerrno>
#include <cstdio>

#include "app/varredura.h"
#include "comum/failure.h"
#include "comum/gravacao.h"
#include "experimento/saida.h"
#include "geral/adaptador.h"
#include "geral/toml_loader.h"
#include "legado/adaptador.h"
#include "legado/suspeitas.h"

namespace tarvo {

std::string ler(const std::string& caminho) {
  std::string texto;
  if (const int erro = ler_inteiro(caminho, texto)) {
    falha(1, "tarvo-rep: nao foi possivel ler %s: %s (codigo %d)\n", caminho.c_str(),
          erro == ENOENT ? "arquivo inexistente" : motivo_erro(erro), erro);
  }
  return texto;
}

bool termina_em_toml(const std::string& caminho) {
  const std::string fim = ".toml";
  return caminho.size() > fim.size() &&
         caminho.compare(caminho.size() - fim.size(), fim.size(), fim) == 0;
}

std::unique_ptr<Modelo> carregar(const std::string& caminho, const Ajustes& ajustes) {
  exigir_arquivo_regular(caminho);
  if (!termina_em_toml(caminho)) {
    avisar_suspeitas(caminho);
    return carregar_legado(caminho, ajustes);
  }
  const geral::Rede rede = geral::ler_rede(caminho);
  for (const std::string& a : rede.avisos) std::fprintf(stderr, "%s\n", visivel(a).c_str());
  return modelo_geral(rede, ler(caminho), ajustes);
}

Pedido pedido_do_modelo(const Pedido& comum, const std::string& caminho, const Modelo& m,
                        const std::optional<double>& aquecimento) {
  Pedido q = comum;
  q.modelo = caminho;
  q.assinatura = m.assinatura();
  if (aquecimento) conferir_aquecimento(*aquecimento, m, caminho);
  q.aquecimento = aquecimento ? *aquecimento : m.aquecimento_padrao();
  q.sorteios_por_replicacao = m.sorteios_por_replicacao(q.plano);
  if (!q.alvos.empty()) figuras_alvo(m.figuras(), q.alvos);
  return q;
}

Contexto contexto(const std::string& programa, const Modelo* a, const Modelo* b) {
  Contexto c;
  c.programa = programa;
  if (a != nullptr) c.descricao = a->descricao();
  if (b != nullptr) c.descricao_b = b->descricao();
  return c;
}

}  // namespace tarvo
