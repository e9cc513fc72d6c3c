// The number waiting at each station over simulated time, as means over bins, from which a
// warm-up is chosen by eye (Welch's procedure): a run feeds a Registro as its clock moves, and
// the replications' series are averaged bin by bin. The bins start at the scale of events and
// widen by octaves, so the start of a run, where its transient is, shows in detail however long
// the run, in memory that grows with the logarithm of its length.
#ifndef TARVO_EXPERIMENTO_CURVA_H_
#define TARVO_EXPERIMENTO_CURVA_H_

#include <cstddef>
#include <vector>

namespace tarvo {

// One replication's series, or their mean: bin k is [limites[k], limites[k+1]), and per station
// the time-average number waiting in each bin that the run covered whole.
struct Serie {
  std::vector<double> limites;
  std::vector<std::vector<double>> medias;
};

// The width of the first bins for a network whose sources generate taxa arrivals per unit of
// time in all: one mean time between arrivals; 1 without arrivals.
double largura_inicial(double taxa);

// A run's bins as they fill: 2m bins of width w from 0, then each octave [m w 2^o, m w 2^(o+1))
// in m bins of width w 2^o, o = 1, 2, ... Every edge is a whole multiple of w times a power of 2.
class Registro {
 public:
  static constexpr std::size_t kPorOitava = 8;
  Registro(std::size_t estacoes, double largura, std::size_t por_oitava = kPorOitava);

  // The clock moves to t, each station s having held n[s] customers waiting since the previous
  // call (or 0). A t that is not past the previous one adds nothing; one that is not finite ends
  // the record there.
  void ate(double t, const double* n);

  Serie serie() const;

 private:
  double limite(std::size_t k) const;  // the start of bin k

  std::size_t estacoes_, m_;
  double largura_;
  double fim_ = 0;
  bool parado_ = false;
  std::size_t caixa_ = 0;  // the bin the clock is in
  std::vector<std::vector<double>>
      area_;  // per station, per bin: the integral of the number waiting
};

// The mean of replications' series bin by bin, over the bins every one of them covers whole.
// Kept as a running sum, so its memory does not grow with the replications.
class MediaDeSeries {
 public:
  // Every series must have the same stations and bins from the same Registro's plan.
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
