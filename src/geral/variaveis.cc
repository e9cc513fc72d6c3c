// Variates from uniforms, with the logarithm and exponential written out so that the numbers do
// not depend on the platform's libm (which may differ in the last bit between versions).
#include "geral/variaveis.h"

#include <bit>
#include <cmath>
#include <limits>

#include "comum/failure.h"

namespace tarvo::geral {

namespace {

constexpr std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }
constexpr double de_bits(std::uint64_t b) { return std::bit_cast<double>(b); }

// ln 2 split so that k * ln2_alto is exact for every exponent k.
constexpr double ln2_alto = 6.93147180369123816490e-01;   // 0x3fe62e42fee00000
constexpr double ln2_baixo = 1.90821492927058770002e-10;  // 0x3dea39ef35793c76

// SplitMix64's finaliser: nearby inputs to unrelated outputs.
std::uint64_t misturar(std::uint64_t z) {
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
  return z ^ (z >> 31);
}

double normal(Gerador& g) {
  // Marsaglia's polar method; the second of each pair is kept for the next call.
  if (g.tem_normal) {
    g.tem_normal = false;
    return g.normal;
  }
  double v1, v2, s;
  do {
    v1 = 2 * uniforme(g) - 1;
    v2 = 2 * uniforme(g) - 1;
    s = v1 * v1 + v2 * v2;
  } while (s >= 1 || s == 0);
  const double f = std::sqrt(-2 * ln(s) / s);
  g.normal = v2 * f;
  g.tem_normal = true;
  return v1 * f;
}

// Marsaglia and Tsang's gamma of shape at least 1 and scale 1, with d = shape - 1/3 and
// c = 1 / sqrt(9 d).
double gama_padrao(double d, double c, Gerador& g) {
  for (;;) {
    double x, v;
    do {
      x = normal(g);
      v = 1 + c * x;
    } while (v <= 0);
    v = v * v * v;
    const double u = uniforme(g);
    const double x2 = x * x;
    if (u < 1 - 0.0331 * x2 * x2) return d * v;
    if (ln(u) < 0.5 * x2 + d * (1 - v + ln(v))) return d * v;
  }
}

// An index in [0, n) with every one equally likely (Lemire's multiply and reject).
std::uint32_t indice(std::uint32_t n, Gerador& g) {
  std::uint64_t m = std::uint64_t{g.pcg()} * n;
  if (static_cast<std::uint32_t>(m) < n) {
    const std::uint32_t limiar = static_cast<std::uint32_t>(-n) % n;
    while (static_cast<std::uint32_t>(m) < limiar) m = std::uint64_t{g.pcg()} * n;
  }
  return static_cast<std::uint32_t>(m >> 32);
}

// For each of 128 subintervals of [0.6875, 1.375), split where the bits of z - 0.6875 change in
// their top 7 mantissa bits: its centre c, 1/c rounded, and ln c as a double-double, rounded
// from 80-digit decimal arithmetic.
struct LinhaLn {
  double c, inv, log_alto, log_baixo;
};
constexpr LinhaLn tabela_ln[128] = {
    {0x1.6100000000000p-1, 0x1.734f0c541fe8dp+0, -0x1.7cc7f7db46a0ep-2, 0x1.8438023cdc3d3p-56},
    {0x1.6300000000000p-1, 0x1.713786d9c7c09p+0, -0x1.76feecb947175p-2, 0x1.118d9eb4ea362p-56},
    {0x1.6500000000000p-1, 0x1.6f26016f26017p+0, -0x1.713e33a46a17cp-2, 0x1.9367a05ae38d3p-56},
    {0x1.6700000000000p-1, 0x1.6d1a62681c861p+0, -0x1.6b85b4cffa3fdp-2, 0x1.8af2c8dafcb08p-57},
    {0x1.6900000000000p-1, 0x1.6b1490aa31a3dp+0, -0x1.65d558d4ce00bp-2, 0x1.7605a4748480ap-56},
    {0x1.6b00000000000p-1, 0x1.691473a88d0c0p+0, -0x1.602d08af091ecp-2, 0x1.6e8920c09b73fp-58},
    {0x1.6d00000000000p-1, 0x1.6719f3601671ap+0, -0x1.5a8cadbbedfa1p-2, 0x1.e6c2bdfb3e037p-58},
    {0x1.6f00000000000p-1, 0x1.6524f853b4aa3p+0, -0x1.54f431b7be1a9p-2, 0x1.aacfdbbdab914p-56},
    {0x1.7100000000000p-1, 0x1.63356b88ac0dep+0, -0x1.4f637ebba9810p-2, 0x1.58cb3124b9245p-56},
    {0x1.7300000000000p-1, 0x1.614b36831ae94p+0, -0x1.49da7f3bcc41fp-2, 0x1.9964a168ccacap-57},
    {0x1.7500000000000p-1, 0x1.5f66434292dfcp+0, -0x1.44591e0539f49p-2, 0x1.2b125247b0fa5p-56},
    {0x1.7700000000000p-1, 0x1.5d867c3ece2a5p+0, -0x1.3edf463c1683ep-2, -0x1.83d680d3c1084p-56},
    {0x1.7900000000000p-1, 0x1.5babcc647fa91p+0, -0x1.396ce359bbf54p-2, 0x1.ce2b31b31e8b0p-58},
    {0x1.7b00000000000p-1, 0x1.59d61f123ccaap+0, -0x1.3401e12aecba1p-2, 0x1.cd55b8a4746c0p-58},
    {0x1.7d00000000000p-1, 0x1.5805601580560p+0, -0x1.2e9e2bce12286p-2, -0x1.8251a3b83d97ap-62},
    {0x1.7f00000000000p-1, 0x1.56397ba7c52e2p+0, -0x1.2941afb186b7cp-2, 0x1.856e61c515740p-57},
    {0x1.8100000000000p-1, 0x1.54725e6bb82fep+0, -0x1.23ec5991eba49p-2, -0x1.bb75d1addf870p-60},
    {0x1.8300000000000p-1, 0x1.52aff56a8054bp+0, -0x1.1e9e1678899f4p-2, -0x1.512c3749a1e4ep-56},
    {0x1.8500000000000p-1, 0x1.50f22e111c4c5p+0, -0x1.1956d3b9bc2fap-2, -0x1.7b9d68d50a15dp-56},
    {0x1.8700000000000p-1, 0x1.4f38f62dd4c9bp+0, -0x1.14167ef367783p-2, -0x1.e0936abd4fa6ep-62},
    {0x1.8900000000000p-1, 0x1.4d843bedc2c4cp+0, -0x1.0edd060b78081p-2, 0x1.92b49ef282b09p-57},
    {0x1.8b00000000000p-1, 0x1.4bd3edda68fe1p+0, -0x1.09aa572e6c6d4p-2, -0x1.43c2e68684d53p-57},
    {0x1.8d00000000000p-1, 0x1.4a27fad76014ap+0, -0x1.047e60cde83b8p-2, 0x1.0779634061cbcp-56},
    {0x1.8f00000000000p-1, 0x1.4880522014880p+0, -0x1.feb2233ea07cdp-3, -0x1.8de00938b4c40p-61},
    {0x1.9100000000000p-1, 0x1.46dce34596066p+0, -0x1.f474b134df229p-3, 0x1.27c77ded76aadp-58},
    {0x1.9300000000000p-1, 0x1.453d9e2c776cap+0, -0x1.ea4449f04aaf5p-3, 0x1.d33919ab94074p-57},
    {0x1.9500000000000p-1, 0x1.43a2730abee4dp+0, -0x1.e020cc6235ab5p-3, -0x1.fea48dd7b81d1p-58},
    {0x1.9700000000000p-1, 0x1.420b5265e5951p+0, -0x1.d60a17f903515p-3, 0x1.c0df841a71b7ap-57},
    {0x1.9900000000000p-1, 0x1.40782d10e6566p+0, -0x1.cc000c9db3c52p-3, -0x1.53d154280394fp-57},
    {0x1.9b00000000000p-1, 0x1.3ee8f42a5af07p+0, -0x1.c2028ab17f9b4p-3, -0x1.f11aa3853a5f1p-57},
    {0x1.9d00000000000p-1, 0x1.3d5d991aa75c6p+0, -0x1.b811730b823d2p-3, -0x1.a0ee735d9f0ecp-60},
    {0x1.9f00000000000p-1, 0x1.3bd60d9232955p+0, -0x1.ae2ca6f672bd4p-3, -0x1.ab5ca9eaa088ap-57},
    {0x1.a100000000000p-1, 0x1.3a524387ac822p+0, -0x1.a454082e6ab05p-3, -0x1.df207dc5c34c6p-58},
    {0x1.a300000000000p-1, 0x1.38d22d366088ep+0, -0x1.9a8778debaa38p-3, -0x1.f47dfd871f87fp-57},
    {0x1.a500000000000p-1, 0x1.3755bd1c945eep+0, -0x1.90c6db9fcbcd9p-3, -0x1.054473941ad99p-57},
    {0x1.a700000000000p-1, 0x1.35dce5f9f2af8p+0, -0x1.871213750e994p-3, -0x1.d685f35eea2a0p-57},
    {0x1.a900000000000p-1, 0x1.34679ace01346p+0, -0x1.7d6903caf5ad0p-3, 0x1.ac5f0c075b847p-59},
    {0x1.ab00000000000p-1, 0x1.32f5ced6a1dfap+0, -0x1.73cb9074fd14dp-3, 0x1.521a000b4cf01p-57},
    {0x1.ad00000000000p-1, 0x1.3187758e9ebb6p+0, -0x1.6a399dabbd383p-3, -0x1.96332bd4b341fp-57},
    {0x1.af00000000000p-1, 0x1.301c82ac40260p+0, -0x1.60b3100b09476p-3, 0x1.5b2623e05016bp-58},
    {0x1.b100000000000p-1, 0x1.2eb4ea1fed14bp+0, -0x1.5737cc9018cddp-3, -0x1.4f4d710fec38ep-57},
    {0x1.b300000000000p-1, 0x1.2d50a012d50a0p+0, -0x1.4dc7b897bc1c8p-3, 0x1.927d47803c5f4p-57},
    {0x1.b500000000000p-1, 0x1.2bef98e5a3711p+0, -0x1.4462b9dc9b3dcp-3, 0x1.629c46c186385p-58},
    {0x1.b700000000000p-1, 0x1.2a91c92f3c105p+0, -0x1.3b08b6757f2a9p-3, -0x1.70d6cdf05266cp-60},
    {0x1.b900000000000p-1, 0x1.293725bb804a5p+0, -0x1.31b994d3a4f85p-3, 0x1.c4716bdfc0cc9p-58},
    {0x1.bb00000000000p-1, 0x1.27dfa38a1ce4dp+0, -0x1.28753bc11aba5p-3, 0x1.6394d9fa33311p-57},
    {0x1.bd00000000000p-1, 0x1.268b37cd60127p+0, -0x1.1f3b925f25d41p-3, -0x1.62c9ef939ac5dp-59},
    {0x1.bf00000000000p-1, 0x1.2539d7e9177b2p+0, -0x1.160c8024b27b1p-3, 0x1.2d56ff61c2bfbp-57},
    {0x1.c100000000000p-1, 0x1.23eb79717605bp+0, -0x1.0ce7ecdccc28dp-3, 0x1.692a0055dc959p-57},
    {0x1.c300000000000p-1, 0x1.22a0122a0122ap+0, -0x1.03cdc0a51ec0dp-3, -0x1.39e2d3f8b7d10p-57},
    {0x1.c500000000000p-1, 0x1.21579804855e6p+0, -0x1.f57bc7d9005dbp-4, 0x1.9361574fb24e2p-58},
    {0x1.c700000000000p-1, 0x1.2012012012012p+0, -0x1.e3707ee30487bp-4, -0x1.09ccecd579d99p-58},
    {0x1.c900000000000p-1, 0x1.1ecf43c7fb84cp+0, -0x1.d179788219364p-4, -0x1.9daf7df76ad2ap-59},
    {0x1.cb00000000000p-1, 0x1.1d8f5672e4abdp+0, -0x1.bf968769fca11p-4, 0x1.cdc9f6f5f38c7p-59},
    {0x1.cd00000000000p-1, 0x1.1c522fc1ce059p+0, -0x1.adc77ee5aea8cp-4, -0x1.37d8f39bee659p-58},
    {0x1.cf00000000000p-1, 0x1.1b17c67f2bae3p+0, -0x1.9c0c32d4d2548p-4, -0x1.fb0be3ccc1532p-59},
    {0x1.d100000000000p-1, 0x1.19e0119e0119ep+0, -0x1.8a6477a91dc29p-4, 0x1.fa83214904842p-59},
    {0x1.d300000000000p-1, 0x1.18ab083902bdbp+0, -0x1.78d02263d82d3p-4, -0x1.abca5b4fdb880p-58},
    {0x1.d500000000000p-1, 0x1.1778a191bd684p+0, -0x1.674f089365a7ap-4, 0x1.9acd8b33f8fdcp-58},
    {0x1.d700000000000p-1, 0x1.1648d50fc3201p+0, -0x1.55e10050e0384p-4, 0x1.45f9d61c68c1bp-58},
    {0x1.d900000000000p-1, 0x1.151b9a3fdd5c9p+0, -0x1.4485e03dbdfadp-4, -0x1.1ba349aadbc6ep-58},
    {0x1.db00000000000p-1, 0x1.13f0e8d344724p+0, -0x1.333d7f8183f4bp-4, -0x1.a92afc8ef70b1p-58},
    {0x1.dd00000000000p-1, 0x1.12c8b89edc0acp+0, -0x1.2207b5c78549ep-4, 0x1.cc0fbce104eaap-58},
    {0x1.df00000000000p-1, 0x1.11a3019a74826p+0, -0x1.10e45b3cae831p-4, 0x1.a4a128d192686p-58},
    {0x1.e100000000000p-1, 0x1.107fbbe011080p+0, -0x1.ffa6911ab9301p-5, 0x1.cd9f1f95c2eedp-59},
    {0x1.e300000000000p-1, 0x1.0f5edfab325a2p+0, -0x1.dda8adc67ee4ep-5, -0x1.4e6c986f44c55p-59},
    {0x1.e500000000000p-1, 0x1.0e40655826011p+0, -0x1.bbcebfc68f420p-5, -0x1.e5cf3a0f56f72p-60},
    {0x1.e700000000000p-1, 0x1.0d24456359e3ap+0, -0x1.9a187b573de7cp-5, 0x1.727626c86b3abp-59},
    {0x1.e900000000000p-1, 0x1.0c0a7868b4171p+0, -0x1.788595a3577bap-5, -0x1.e5ef898b67923p-59},
    {0x1.eb00000000000p-1, 0x1.0af2f722eecb5p+0, -0x1.5715c4c03ceefp-5, 0x1.bbf88ec501b56p-61},
    {0x1.ed00000000000p-1, 0x1.09ddba6af8360p+0, -0x1.35c8bfaa1306bp-5, 0x1.50830a65543a4p-63},
    {0x1.ef00000000000p-1, 0x1.08cabb37565e2p+0, -0x1.149e3e4005a8dp-5, 0x1.53482d1f9d7d7p-61},
    {0x1.f100000000000p-1, 0x1.07b9f29b8eae2p+0, -0x1.e72bf2813ce51p-6, -0x1.75b44595cab18p-60},
    {0x1.f300000000000p-1, 0x1.06ab59c7912fbp+0, -0x1.a55f548c5c43fp-6, -0x1.ec1a5f86d41f9p-62},
    {0x1.f500000000000p-1, 0x1.059eea0727586p+0, -0x1.63d6178690bd6p-6, 0x1.8ed4d357c9c97p-64},
    {0x1.f700000000000p-1, 0x1.04949cc1664c5p+0, -0x1.228fb1fea2e28p-6, 0x1.cd7b66e01c26dp-61},
    {0x1.f900000000000p-1, 0x1.038c6b78247fcp+0, -0x1.c317384c75f06p-7, -0x1.806208c04c220p-61},
    {0x1.fb00000000000p-1, 0x1.02864fc7729e9p+0, -0x1.41929f96832f0p-7, 0x1.c5517f64bc223p-61},
    {0x1.fd00000000000p-1, 0x1.0182436517a37p+0, -0x1.8121214586b54p-8, -0x1.c14b9f9377a1dp-65},
    {0x1.ff00000000000p-1, 0x1.0080402010080p+0, -0x1.0040155d5889ep-9, 0x1.8f98e1113f403p-65},
    {0x1.0100000000000p+0, 0x1.fe01fe01fe020p-1, 0x1.ff00aa2b10bc0p-9, 0x1.2821ad5a6d353p-63},
    {0x1.0300000000000p+0, 0x1.fa11caa01fa12p-1, 0x1.7dc475f810a77p-7, -0x1.16d7687d3df21p-62},
    {0x1.0500000000000p+0, 0x1.f6310aca0dbb5p-1, 0x1.3cea44346a575p-6, -0x1.0cb5a902b3a1cp-62},
    {0x1.0700000000000p+0, 0x1.f25f644230ab5p-1, 0x1.b9fc027af9198p-6, -0x1.0ae69229dc868p-64},
    {0x1.0900000000000p+0, 0x1.ee9c7f8458e02p-1, 0x1.1b0d98923d980p-5, -0x1.e9ae889bac481p-60},
    {0x1.0b00000000000p+0, 0x1.eae807aba01ebp-1, 0x1.58a5bafc8e4d5p-5, -0x1.ce55c2b4e2b72p-59},
    {0x1.0d00000000000p+0, 0x1.e741aa59750e4p-1, 0x1.95c830ec8e3ebp-5, 0x1.f5a0e80520bf2p-59},
    {0x1.0f00000000000p+0, 0x1.e3a9179dc1a73p-1, 0x1.d276b8adb0b52p-5, 0x1.1e3c53257fd47p-61},
    {0x1.1100000000000p+0, 0x1.e01e01e01e01ep-1, 0x1.075983598e471p-4, 0x1.80da5333c45b8p-59},
    {0x1.1300000000000p+0, 0x1.dca01dca01dcap-1, 0x1.253f62f0a1417p-4, -0x1.c125963fc4cfdp-62},
    {0x1.1500000000000p+0, 0x1.d92f2231e7f8ap-1, 0x1.42edcbea646f0p-4, 0x1.ddd4f935996c9p-59},
    {0x1.1700000000000p+0, 0x1.d5cac807572b2p-1, 0x1.60658a93750c4p-4, -0x1.388458ec21b6ap-58},
    {0x1.1900000000000p+0, 0x1.d272ca3fc5b1ap-1, 0x1.7da766d7b12cdp-4, -0x1.eeedfcdd94131p-58},
    {0x1.1b00000000000p+0, 0x1.cf26e5c44bfc6p-1, 0x1.9ab42462033adp-4, -0x1.2099e1c184e8ep-59},
    {0x1.1d00000000000p+0, 0x1.cbe6d9601cbe7p-1, 0x1.b78c82bb0eda1p-4, 0x1.0878cf0327e21p-61},
    {0x1.1f00000000000p+0, 0x1.c8b265afb8a42p-1, 0x1.d4313d66cb35dp-4, 0x1.790dd951d90fap-58},
    {0x1.2100000000000p+0, 0x1.c5894d10d4986p-1, 0x1.f0a30c01162a6p-4, 0x1.85f325c5bbacdp-58},
    {0x1.2300000000000p+0, 0x1.c26b5392ea01cp-1, 0x1.0671512ca596ep-3, 0x1.50c647eb86499p-58},
    {0x1.2500000000000p+0, 0x1.bf583ee868d8bp-1, 0x1.14785846742acp-3, 0x1.a28813e3a7f07p-57},
    {0x1.2700000000000p+0, 0x1.bc4fd65883e7bp-1, 0x1.2266f190a5acbp-3, 0x1.f547bf1809e88p-57},
    {0x1.2900000000000p+0, 0x1.b951e2b18ff23p-1, 0x1.303d718e47fd3p-3, -0x1.6b9c7d96091fap-63},
    {0x1.2b00000000000p+0, 0x1.b65e2e3beee05p-1, 0x1.3dfc2b0ecc62ap-3, -0x1.ab3a8e7d81017p-58},
    {0x1.2d00000000000p+0, 0x1.b37484ad806cep-1, 0x1.4ba36f39a55e5p-3, 0x1.68981bcc36756p-57},
    {0x1.2f00000000000p+0, 0x1.b094b31d922a4p-1, 0x1.59338d9982086p-3, -0x1.65d22aa8ad7cfp-58},
    {0x1.3100000000000p+0, 0x1.adbe87f94905ep-1, 0x1.66acd4272ad51p-3, -0x1.0900e4e1ea8b2p-58},
    {0x1.3300000000000p+0, 0x1.aaf1d2f87ebfdp-1, 0x1.740f8f54037a5p-3, -0x1.b264062a84cdbp-58},
    {0x1.3500000000000p+0, 0x1.a82e65130e159p-1, 0x1.815c0a14357ebp-3, -0x1.4be48073a0564p-58},
    {0x1.3700000000000p+0, 0x1.a574107688a4ap-1, 0x1.8e928de886d41p-3, -0x1.569d851a56770p-57},
    {0x1.3900000000000p+0, 0x1.a2c2a87c51ca0p-1, 0x1.9bb362e7dfb83p-3, 0x1.575e31f003e0cp-57},
    {0x1.3b00000000000p+0, 0x1.a01a01a01a01ap-1, 0x1.a8becfc882f19p-3, -0x1.e8c37918c39ebp-58},
    {0x1.3d00000000000p+0, 0x1.9d79f176b682dp-1, 0x1.b5b519e8fb5a4p-3, 0x1.ba27fdc19e1a0p-57},
    {0x1.3f00000000000p+0, 0x1.9ae24ea5510dap-1, 0x1.c2968558c18c1p-3, -0x1.73dee38a3fb6bp-57},
    {0x1.4100000000000p+0, 0x1.9852f0d8ec0ffp-1, 0x1.cf6354e09c5dcp-3, 0x1.239a07d55b695p-57},
    {0x1.4300000000000p+0, 0x1.95cbb0be377aep-1, 0x1.dc1bca0abec7dp-3, 0x1.834c51998b6fcp-57},
    {0x1.4500000000000p+0, 0x1.934c67f9b2ce6p-1, 0x1.e8c0252aa5a60p-3, -0x1.6e03a39bfc89bp-59},
    {0x1.4700000000000p+0, 0x1.90d4f120190d5p-1, 0x1.f550a564b7b37p-3, 0x1.c5f6dfd018c37p-61},
    {0x1.4900000000000p+0, 0x1.8e6527af1373fp-1, 0x1.00e6c45ad501dp-2, -0x1.cb9568ff6feadp-57},
    {0x1.4b00000000000p+0, 0x1.8bfce8062ff3ap-1, 0x1.071b85fcd590dp-2, 0x1.d1707f97bde80p-58},
    {0x1.4d00000000000p+0, 0x1.899c0f601899cp-1, 0x1.0d46b579ab74bp-2, 0x1.03ec81c3cbd92p-57},
    {0x1.4f00000000000p+0, 0x1.87427bcc092b9p-1, 0x1.136870293a8b0p-2, 0x1.7b66298edd24ap-56},
    {0x1.5100000000000p+0, 0x1.84f00c2780614p-1, 0x1.1980d2dd4236fp-2, 0x1.9d3d1b0e4d147p-56},
    {0x1.5300000000000p+0, 0x1.82a4a0182a4a0p-1, 0x1.1f8ff9e48a2f3p-2, -0x1.c9fdf9a0c4b07p-56},
    {0x1.5500000000000p+0, 0x1.8060180601806p-1, 0x1.2596010df763ap-2, -0x1.0f76c57075e9ep-58},
    {0x1.5700000000000p+0, 0x1.7e225515a4f1dp-1, 0x1.2b9303ab89d25p-2, -0x1.896b5fd852ad4p-56},
    {0x1.5900000000000p+0, 0x1.7beb3922e017cp-1, 0x1.31871c9544185p-2, -0x1.51acc4c09b379p-60},
    {0x1.5b00000000000p+0, 0x1.79baa6bb6398bp-1, 0x1.3772662bfd85bp-2, -0x1.b5629d8117de7p-59},
    {0x1.5d00000000000p+0, 0x1.77908119ac60dp-1, 0x1.3d54fa5c1f710p-2, -0x1.e3265c6a1c98dp-56},
    {0x1.5f00000000000p+0, 0x1.756cac201756dp-1, 0x1.432ef2a04e814p-2, -0x1.29931715ac903p-56},
};

// fdlibm's method, with one division; used near 1, where the table's sum would cancel, and for
// zero, subnormal, negative, infinite and NaN arguments.
constexpr double ln_divisao(double x) {
  // Reduce x to 2^k (1 + f) with 1 + f in [sqrt(2)/2, sqrt(2)); then ln(1 + f) = 2 atanh(s) with
  // s = f / (2 + f), a minimax series in s^2 (the coefficients of fdlibm's e_log.c).
  constexpr double Lg1 = 6.666666666666735130e-01, Lg2 = 3.999999999940941908e-01,
                   Lg3 = 2.857142874366239149e-01, Lg4 = 2.222219843214978396e-01,
                   Lg5 = 1.818357216161805012e-01, Lg6 = 1.531383769920937332e-01,
                   Lg7 = 1.479819860511658591e-01;
  std::uint64_t b = bits(x);
  std::int32_t hx = static_cast<std::int32_t>(b >> 32);
  int k = 0;
  if (hx < 0x00100000) {  // below 2^-1022: zero, negative or subnormal
    if ((b & 0x7fffffffffffffffu) == 0) return -std::numeric_limits<double>::infinity();
    if (hx < 0) return std::numeric_limits<double>::quiet_NaN();
    k -= 54;
    x *= 0x1p54;
    b = bits(x);
    hx = static_cast<std::int32_t>(b >> 32);
  }
  if (hx >= 0x7ff00000) return x + x;  // infinity or NaN
  k += (hx >> 20) - 1023;
  hx &= 0x000fffff;
  const std::int32_t i = (hx + 0x95f64) & 0x100000;  // the mantissa at or past sqrt(2)
  x = de_bits(
      (static_cast<std::uint64_t>(static_cast<std::uint32_t>(hx | (i ^ 0x3ff00000))) << 32) |
      (b & 0xffffffffu));
  k += i >> 20;
  const double f = x - 1.0;
  const double dk = k;
  if ((0x000fffff & (2 + hx)) < 3) {  // |f| < 2^-20
    if (f == 0) return k == 0 ? 0.0 : dk * ln2_alto + dk * ln2_baixo;
    const double R = f * f * (0.5 - 0.33333333333333333 * f);
    return k == 0 ? f - R : dk * ln2_alto - ((R - dk * ln2_baixo) - f);
  }
  const double s = f / (2.0 + f);
  const double z = s * s;
  const double w = z * z;
  const double t1 = w * (Lg2 + w * (Lg4 + w * Lg6));
  const double t2 = z * (Lg1 + w * (Lg3 + w * (Lg5 + w * Lg7)));
  const double R = t2 + t1;
  if (((hx - 0x6147a) | (0x6b851 - hx)) > 0) {  // 1 + f far enough from 1: use f^2 / 2
    const double hfsq = 0.5 * f * f;
    return k == 0 ? f - (hfsq - s * (hfsq + R))
                  : dk * ln2_alto - ((hfsq - (s * (hfsq + R) + dk * ln2_baixo)) - f);
  }
  return k == 0 ? f - s * (f - R) : dk * ln2_alto - ((s * (f - R) - dk * ln2_baixo) - f);
}

constexpr double logaritmo(double x) {
  // x = 2^k z with z in [0.6875, 1.375) and c the centre of z's subinterval: ln x = k ln 2 +
  // ln c + ln(1 + r), r = (z - c) / c, |r| < 2^-8, where z - c is exact (Sterbenz) and
  // ln(1 + r) - r is its Taylor series to r^7 (the next term is below 2^-66). No division, so
  // it costs half of ln_divisao.
  const std::uint64_t ix = bits(x);
  if (ix - 0x3fee000000000000u < 0x3ff1000000000000u - 0x3fee000000000000u) {
    return ln_divisao(x);  // |x - 1| < 1/16
  }
  if ((ix >> 52) - 1 >= 0x7fe) return ln_divisao(x);  // not a positive normal number
  const std::uint64_t t = ix - 0x3fe6000000000000u;
  const LinhaLn& l = tabela_ln[(t >> 45) % 128];
  const double kd = static_cast<double>(static_cast<std::int64_t>(t) >> 52);
  const double z = de_bits(ix - (t & (std::uint64_t{0xfff} << 52)));
  const double r = (z - l.c) * l.inv;
  // hi + lo = k ln 2 + ln c + r, each sum's rounding error kept (Fast2Sum: the first term is
  // the larger, or 0, since |x - 1| >= 1/16 here).
  const double a = kd * ln2_alto;
  const double w = a + l.log_alto;
  const double hi = w + r;
  const double lo = ((w - hi) + r) + (((a - w) + l.log_alto) + (kd * ln2_baixo + l.log_baixo));
  const double r2 = r * r;
  const double p = r * r2 * (1.0 / 3 + r * (-0.25 + r * (0.2 + r * (-1.0 / 6 + r * (1.0 / 7)))));
  return hi + (lo + (-0.5 * r2 + p));
}

constexpr double potencia_e(double x) {
  // x = k ln 2 + r with |r| <= ln 2 / 2; exp(r) by a rational form of a minimax series in r^2
  // (the coefficients of fdlibm's e_exp.c); then the exponent raised by k.
  constexpr double P1 = 1.66666666666666019037e-01, P2 = -2.77777777770155933842e-03,
                   P3 = 6.61375632143793436117e-05, P4 = -1.65339022054652515390e-06,
                   P5 = 4.13813679705723846039e-08;
  constexpr double inv_ln2 = 1.44269504088896338700e+00;
  if (x != x) return x;
  if (x > 7.09782712893383973096e+02) return std::numeric_limits<double>::infinity();
  if (x < -7.45133219101941108420e+02) return 0;
  const std::uint32_t ax = static_cast<std::uint32_t>(bits(x) >> 32) & 0x7fffffffu;
  double hi = 0, lo = 0;
  int k = 0;
  if (ax > 0x3fd62e42) {    // |x| > ln 2 / 2
    if (ax < 0x3ff0a2b2) {  // and |x| < 3 ln 2 / 2
      hi = x < 0 ? x + ln2_alto : x - ln2_alto;
      lo = x < 0 ? -ln2_baixo : ln2_baixo;
      k = x < 0 ? -1 : 1;
    } else {
      k = static_cast<int>(inv_ln2 * x + (x < 0 ? -0.5 : 0.5));
      const double t = k;
      hi = x - t * ln2_alto;  // exact
      lo = t * ln2_baixo;
    }
    x = hi - lo;
  } else if (ax < 0x3e300000) {  // |x| < 2^-28
    return 1 + x;
  }
  const double t = x * x;
  const double c = x - t * (P1 + t * (P2 + t * (P3 + t * (P4 + t * P5))));
  if (k == 0) return 1 - ((x * c) / (c - 2.0) - x);
  const double y = 1 - ((lo - (x * c) / (2.0 - c)) - hi);
  if (k >= -1021) return de_bits(bits(y) + (static_cast<std::uint64_t>(k) << 52));
  return de_bits(bits(y) + (static_cast<std::uint64_t>(k + 1000) << 52)) * 0x1p-1000;
}

// Layer by layer up from the tail: each has area v, the tail's e^-r plus the rectangle r e^-r
// under it, so the layer of width x[i] above height f[i] reaches f[i] + v / x[i], the height of
// the curve at the next width.
constexpr Zigurate montar() {
  Zigurate z{};
  const double r = kCaudaZigurate;
  const double v = (r + 1) * potencia_e(-r);
  z.x[1] = r;
  z.f[1] = potencia_e(-r);
  for (int i = 1; i < 255; ++i) {
    z.x[i + 1] = -logaritmo(z.f[i] + v / z.x[i]);
    z.f[i + 1] = potencia_e(-z.x[i + 1]);
  }
  z.x[256] = 0;
  z.f[256] = 1;
  z.x[0] = v / z.f[1];
  return z;
}

}  // namespace

double ln(double x) { return logaritmo(x); }
double expo(double x) { return potencia_e(x); }

constexpr Zigurate kZigurate = montar();

Zigurate montar_zigurate() { return montar(); }

double exponencial_fora(Gerador& g, std::size_t i, double x) {
  const Zigurate& z = kZigurate;
  double cauda = 0;
  for (;;) {
    if (i == 0) {
      // Beyond r the law is r plus an exponential again (it has no memory): no logarithm there
      // either.
      cauda += kCaudaZigurate;
    } else if (z.f[i] + uniforme(g) * (z.f[i + 1] - z.f[i]) < potencia_e(-x)) {
      return cauda + x;  // past x[i + 1], a height drawn in the layer is under the curve
    }
    const std::uint64_t a = g.pcg(), b = g.pcg();
    i = b & 255;
    x = uniforme(a, b) * z.x[i];
    if (x < z.x[i + 1]) return cauda + x;
  }
}

double funcao_gama(double x) {
  // Lanczos with g = 7 and nine terms, as in Numerical Recipes' third edition tables.
  constexpr double p[] = {0.99999999999980993,  676.5203681218851,     -1259.1392167224028,
                          771.32342877765313,   -176.61502916214059,   12.507343278686905,
                          -0.13857109526572012, 9.9843695780195716e-6, 1.5056327351493116e-7};
  const double z = x - 1;
  double s = p[0];
  for (int i = 1; i < 9; ++i) s += p[i] / (z + i);
  const double t = z + 7.5;
  constexpr double raiz_2pi = 2.5066282746310005024;
  return raiz_2pi * expo((z + 0.5) * ln(t) - t) * s;
}

std::uint64_t chave_replicacao(std::uint32_t semente, std::uint64_t replicacao) {
  return misturar(misturar(semente) + replicacao);
}

Gerador gerador(std::uint32_t semente, std::uint64_t replicacao, Proposito proposito,
                std::uint32_t posicao) {
  return gerador(semente, replicacao, proposito, posicao, 0);
}

Gerador gerador(std::uint32_t semente, std::uint64_t replicacao, Proposito proposito,
                std::uint32_t posicao, std::uint64_t chave) {
  std::uint64_t objeto = misturar((static_cast<std::uint64_t>(proposito) << 32) | posicao);
  if (chave != 0) objeto = misturar(objeto ^ misturar(chave));
  const std::uint64_t k = misturar(chave_replicacao(semente, replicacao) + objeto);
  Gerador g;
  g.pcg = pcg32(k, misturar(k + 0x9e3779b97f4a7c15u) >> 1);
  return g;
}

std::uint64_t chave_classe(const std::string& nome) {
  std::uint64_t h = 0xcbf29ce484222325u;
  for (unsigned char c : nome) h = (h ^ c) * 0x100000001b3u;
  return h != 0 ? h : 1;
}

// The ranges follow from the variates above, given what they start from: a uniform u in
// [2^-53, 1 - 2^-53], so -ln u in [2^-53, 53 ln 2 = 36.74] and -ln u above 36.04 only in the
// first of the 2^52 cells of u; the ziggurat's exponential E of mean 1, at least
// 2^-53 x[255] = 7.1e-18 and with no end, its tail drawing again, but above 179.8 with
// probability e^-179.8 < 10^-78; and a polar normal z with |z| < 12, since s = v1^2 + v2^2 is at
// least 2^-103, each v an odd multiple of 2^-52, and |z| <= sqrt(-2 ln s). Each bound keeps
// (a) every draw finite (E's all but once in 10^78), (b) the part of the mean that those limits
// cut off or misplace below 10^-6, and (c) the draws near the mean normal doubles, and no power
// of u below 2^-1022, where draws would collapse to 0. A bound is the derived limit rounded
// inward to a round number.
std::optional<ForaDaFaixa> fora_da_faixa(const Distribuicao& d) {
  auto entre = [](const char* p, double x, double lo, double hi) -> std::optional<ForaDaFaixa> {
    if (x >= lo && x <= hi) return std::nullopt;
    return ForaDaFaixa{p, x, formatar("estar entre %g e %g", lo, hi)};
  };
  // (c) for every mean: the smallest exponential draw, 7.1e-18 media, is normal from media
  // 3.2e-291 on; the other variates' draws near their mean are no smaller.
  constexpr double MEDIA_MIN = 1e-290;
  switch (d.tipo) {
    case Dist::exponencial:
      // media E: finite up to media 1e306 unless E > DBL_MAX / 1e306 = 179.8 (a).
      return entre("media", d.media, MEDIA_MIN, 1e306);
    case Dist::erlang:
      // media / k times a sum of k values of -ln u, at most 36.74 k: finite up to
      // DBL_MAX / 36.74 = 4.9e306.
      return entre("media", d.media, MEDIA_MIN, 1e306);
    case Dist::gama:
      // Below shape 1, u^(1/a) >= 2^(-53/a) stays normal for a >= 53/1022 = 0.0519 (c). A
      // draw is media / a times G = d (1 + c z)^3, c = 1 / sqrt(9 d), times u^(1/a) <= 1 below
      // shape 1; G / a is largest at a = 1, d = 2/3: (2/3) (1 + 12 / sqrt(6))^3 = 137, and G
      // itself, with d from 2/3 to 5/3 below shape 1, at most 137. So a draw is at most
      // 137 / a = 2635 times media: finite up to 6.8e304 (a). The scale media / a stays normal
      // for every media from 1e-290 while a <= 4.4e17 (c).
      if (auto f = entre("forma", d.forma, 0.052, 1e17)) return f;
      return entre("media", d.media, MEDIA_MIN, 1e304);
    case Dist::lognormal: {
      // The polar normal's tail is whole up to about z = 10 (beyond, the cells of v are no
      // longer small against the region they fill); the mean's share beyond is
      // Phi(-(10 - sigma)), below 10^-6 for sigma <= 5.25, cv <= 9.5e5 (b): bound 1e5, sigma
      // 4.80. The largest draw, exp(mu + 12 sigma), is then at most 1.0e20 times media:
      // finite up to 1.7e288 (a).
      if (auto f = entre("media", d.media, MEDIA_MIN, 1e288)) return f;
      constexpr double CV_MAX = 1e5;
      if (d.desvio > CV_MAX * d.media) {
        return ForaDaFaixa{"desvio", d.desvio,
                           formatar("ser no maximo %g vezes a media (%.12g)", CV_MAX, d.media)};
      }
      return std::nullopt;
    }
    case Dist::weibull:
      // The mean of (-ln u)^(1/k) is Gamma(1 + 1/k); the part beyond 36.04 is
      // Q(1 + 1/k, 36.04), below 10^-6 while 1 + 1/k <= 11.9, k >= 0.092 (b): bound 0.1, where
      // (-ln u)^(1/k) >= 2^-530 (c). The largest draw, 36.74^(1/k) / Gamma(1 + 1/k) = 1.2e9
      // times media at k = 0.1, is finite up to 1.46e299 (a).
      if (!(d.forma >= 0.1)) return ForaDaFaixa{"forma", d.forma, "ser maior ou igual a 0.1"};
      return entre("media", d.media, MEDIA_MIN, 1e299);
    case Dist::hiperexponencial:
      // The second phase, of probability 1 - p = 1 / (2 (cv^2 + 1)), is chosen by u >= p,
      // whose probability is off by up to one cell, 2^-52: the mean is off by up to
      // 2^-52 (cv^2 + 1), below 10^-6 for cv <= 6.7e4 (b): bound 1e4. That phase's mean is
      // then media (cv^2 + 1), 1e8 media, and its draw that times E: finite up to media 1e298
      // unless E > 179.8 (a).
      if (auto f = entre("cv", d.cv, 1, 1e4)) return f;
      return entre("media", d.media, MEDIA_MIN, 1e298);
    case Dist::triangular:
      // u (max - min) (moda - min) is at most max^2: finite for max <= sqrt(DBL_MAX) = 1.3e154
      // (a); with max below sqrt(DBL_MIN) = 1.5e-154 it is subnormal or 0, and the draws sit
      // at min or max (c).
      if (d.max == 0 || (d.max >= 1e-153 && d.max <= 1e154)) return std::nullopt;
      return ForaDaFaixa{"max", d.max, formatar("ser 0 ou estar entre %g e %g", 1e-153, 1e154)};
    case Dist::uniforme:
    case Dist::deterministica:
    case Dist::empirica:
      break;  // draws between the values given, by sums and products that cannot overflow
  }
  return std::nullopt;
}

Variavel preparar(const Distribuicao& dist) {
  auto exigir = [](bool ok) {
    if (!ok) falha(1, "Distribuicao com parametros invalidos\n");
  };
  Variavel v;
  v.tipo = dist.tipo;
  switch (dist.tipo) {
    case Dist::exponencial:
      exigir(dist.media >= 0);
      v.a = dist.media;
      break;
    case Dist::uniforme:
      exigir(dist.min >= 0 && dist.min <= dist.max);
      v.a = dist.min;
      v.b = dist.max - dist.min;
      break;
    case Dist::deterministica:
      exigir(dist.valor >= 0);
      v.a = dist.valor;
      break;
    case Dist::erlang:
      exigir(dist.k >= 1 && dist.media >= 0);
      v.k = dist.k;
      v.a = dist.media / dist.k;
      v.b = dist.k - 1.0 / 3;        // d, for many phases
      v.c = 1 / std::sqrt(9 * v.b);  // c
      break;
    case Dist::gama: {
      exigir(dist.forma > 0 && dist.media >= 0);
      const double forma = dist.forma < 1 ? dist.forma + 1 : dist.forma;
      v.a = dist.media / dist.forma;  // scale
      v.b = forma - 1.0 / 3;          // d
      v.c = 1 / std::sqrt(9 * v.b);   // c
      v.d = dist.forma < 1 ? 1 / dist.forma : 0;
      break;
    }
    case Dist::lognormal: {
      exigir(dist.media > 0 && dist.desvio >= 0);
      const double cv = dist.desvio / dist.media;
      const double s2 = ln(1 + cv * cv);
      v.a = ln(dist.media) - s2 / 2;  // mu
      v.b = std::sqrt(s2);            // sigma
      break;
    }
    case Dist::weibull:
      exigir(dist.forma > 0 && dist.media >= 0);
      v.a = dist.media / funcao_gama(1 + 1 / dist.forma);  // scale
      v.b = 1 / dist.forma;
      break;
    case Dist::triangular:
      exigir(dist.min >= 0 && dist.min <= dist.moda && dist.moda <= dist.max);
      v.a = dist.min;
      v.b = dist.max;
      v.c = dist.max > dist.min ? (dist.moda - dist.min) / (dist.max - dist.min) : 0;
      v.d = dist.moda;
      break;
    case Dist::hiperexponencial: {
      exigir(dist.media >= 0 && dist.cv >= 1);
      const double c2 = dist.cv * dist.cv;
      const double p = (1 + std::sqrt((c2 - 1) / (c2 + 1))) / 2;
      v.a = p;
      v.b = dist.media / (2 * p);
      v.c = dist.media / (2 * (1 - p));
      break;
    }
    case Dist::empirica:
      exigir(!dist.valores.empty() && dist.valores.size() <= 0xffffffffu);
      for (double x : dist.valores) exigir(x >= 0);
      v.valores = dist.valores;
      break;
  }
  exigir(!fora_da_faixa(dist));
  return v;
}

bool sempre_zero(const Distribuicao& d) {
  if (d.tipo == Dist::empirica) {
    for (double x : d.valores) {
      if (x != 0) return false;
    }
    return true;
  }
  return media(d) == 0;
}

double sortear_outra(const Variavel& v, Gerador& g) {
  switch (v.tipo) {
    case Dist::exponencial:
      return v.a * exponencial(g);
    case Dist::uniforme:
      return v.a + v.b * uniforme(g);
    case Dist::deterministica:
      return v.a;
    case Dist::erlang: {
      // Many phases: the same law as a gamma of shape k, whose draw costs the same whatever k;
      // a sum of k exponentials would take k uniforms, millions for a draw at the largest k.
      if (v.k > kFasesSomadas) return v.a * gama_padrao(v.b, v.c, g);
      // The product of up to 16 uniforms stays above 2^-848, so one logarithm serves 16 terms.
      double s = 0;
      for (int i = 0; i < v.k; i += 16) {
        double p = 1;
        for (int j = i; j < v.k && j < i + 16; ++j) p *= uniforme(g);
        s += ln(p);
      }
      return -v.a * s;
    }
    case Dist::gama: {
      double x = gama_padrao(v.b, v.c, g);
      if (v.d > 0) x *= expo(ln(uniforme(g)) * v.d);  // shape below 1: G(a + 1) U^(1/a)
      return v.a * x;
    }
    case Dist::lognormal:
      return expo(v.a + v.b * normal(g));
    case Dist::weibull:
      return v.a * expo(ln(-ln(uniforme(g))) * v.b);
    case Dist::triangular: {
      const double u = uniforme(g);
      if (u < v.c) return v.a + std::sqrt(u * (v.b - v.a) * (v.d - v.a));
      return v.b - std::sqrt((1 - u) * (v.b - v.a) * (v.b - v.d));
    }
    case Dist::hiperexponencial: {
      const double m = uniforme(g) < v.a ? v.b : v.c;
      return m * exponencial(g);
    }
    case Dist::empirica:
      return v.valores[indice(static_cast<std::uint32_t>(v.valores.size()), g)];
  }
  return 0;
}

}  // namespace tarvo::geral
