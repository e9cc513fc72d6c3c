// The number waiting at each station over simulated time, as means over bins of equal width,
// from which a warm-up is chosen by eye (Welch's procedure): a run feeds a Registro as its clock
// moves, and the replications' series are averaged bin by bin.
#ifndef TARVO_EXPERIMENTO_CURVA_H_
#define TARVO_EXPERIMENTO_CURVA_H_

#include <cstddef>
#include <vector>

namespace tarvo {

// One replication's series, or their mean: per station, the time-average number waiting in each
// bin [k*largura, (k+1)*largura) that the run covered whole.
struct Serie {
  double largura = 0;
  std::vector<std::vector<double>> medias;
};

// How long a run is expected to last: its time limit, or sooner the time its sources take at
// their total rate (arrivals per unit of time) to generate its customer limit. Either limit may
// be infinite (none).
double horizonte_esperado(double tempo, double fregueses, double taxa);

// A run's bins as they fill. They start largura wide; when the clock passes the last one, pairs
// are merged and the width doubles, so any length of run fits in the same memory, allocated once.
class Registro {
 public:
  Registro(std::size_t estacoes, double largura, std::size_t caixas = kCaixas);
  static constexpr std::size_t kCaixas = 256;

  // The clock moves to t, each station s having held n[s] customers waiting since the previous
  // call (or 0). A t that is not past the previous one adds nothing; one that is not finite ends
  // the record there.
  void ate(double t, const double* n);

  Serie serie() const;

 private:
  void dobrar();

  std::size_t estacoes_, caixas_;
  double largura_;
  double fim_ = 0;
  bool parado_ = false;
  std::vector<double> area_;  // per station, per bin: the integral of the number waiting
};

// The mean of replications' series bin by bin, over the bins every one of them covers whole, at
// the widest of their widths (narrower ones merged to it; widths differ by powers of 2). Kept
// as a running sum, so its memory does not grow with the replications.
class MediaDeSeries {
 public:
  // Every series must have the same stations.
  void somar(const Serie& s);
  Serie media() const;
  std::size_t replicacoes() const { return n_; }

 private:
  Serie soma_;
  std::size_t n_ = 0;
};

// Welch's moving average of window w: point i is the mean of y[i-w..i+w], or near the start,
// where there are fewer than w points before it, of y[0..2i]. The last w points have none.
std::vector<double> media_movel(const std::vector<double>& y, std::size_t w);

}  // namespace tarvo

#endif  // TARVO_EXPERIMENTO_CURVA_H_
