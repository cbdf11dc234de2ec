// The head model: every step of ink under the head's gap answers with a Hann bump of the gap's
// width whose area is the step, so the head reads the derivative of the ink smoothed by its
// aperture. Sampled on a fine grid in time (the document may swing in speed), scaled by the
// gain, put on the DC level with hum, wander and noise, clipped, and laid out as head bytes.
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "line_ink.h"

namespace pvk::magsynth {
namespace {

// Travel position (samples) that the head sees at time t (samples), and the speed there.
struct Travel {
  double amplitude, period, phase;
  double at(double t) const {
    return amplitude ? t + amplitude * period / (2 * M_PI) * std::sin(2 * M_PI * t / period + phase) -
                           amplitude * period / (2 * M_PI) * std::sin(phase)
                     : t;
  }
  double speed(double t) const { return amplitude ? 1 + amplitude * std::cos(2 * M_PI * t / period + phase) : 1; }
  // The time at which the travel reaches x (the travel only moves forward).
  double timeOf(double x) const {
    if (!amplitude) return x;
    double lo = x - amplitude * period, hi = x + amplitude * period;
    for (int k = 0; k < 60; ++k) {
      const double mid = (lo + hi) / 2;
      (at(mid) < x ? lo : hi) = mid;
    }
    return (lo + hi) / 2;
  }
};

struct Edge {
  double at;  // samples
  double step;
};

// The head's derivative signal per sample: the mean over the fine steps of each sample of the
// bumps under the gap, times the speed.
std::vector<double> derivative(const std::vector<Edge>& edges, int n, const Head& head, const Travel& travel) {
  const double w = std::max(head.gap * head.samplesPerInch(), 1e-6);
  const int fine = std::max(1, head.fine);
  std::vector<double> out(static_cast<size_t>(n), 0.0);
  size_t lo = 0;  // first edge that may still lie within reach
  for (int s = 0; s < n; ++s) {
    double acc = 0;
    for (int f = 0; f < fine; ++f) {
      const double t = s + (f + 0.5) / fine;
      const double x = travel.at(t);
      while (lo < edges.size() && edges[lo].at < x - w / 2) ++lo;
      double slope = 0;
      for (size_t e = lo; e < edges.size() && edges[e].at <= x + w / 2; ++e)
        slope += edges[e].step * (1 + std::cos(2 * M_PI * (x - edges[e].at) / w)) / w;
      acc += slope * travel.speed(t);
    }
    out[static_cast<size_t>(s)] = acc / fine;
  }
  return out;
}

uint8_t toByte(double v) { return static_cast<uint8_t>(std::clamp<long>(std::lround(v), 0, 255)); }

// The random draws of a signal, in the order every signal takes them: the travel's phase, the
// phases of wander and hum, then the noise of each byte.
struct Draws {
  detail::Random rnd;
  Travel travel;
  double wanderPhase, tonePhase;
  explicit Draws(const Impairments& imp)
      : rnd(imp.seed ^ 0x5bd1e995u), travel{imp.speedVariation, std::max(imp.speedPeriod, 1.0), 0} {
    travel.phase = 2 * M_PI * rnd.uniform();
    wanderPhase = 2 * M_PI * rnd.uniform();
    tonePhase = 2 * M_PI * rnd.uniform();
  }
};

void checkHead(const Head& head, int rawLines) {
  if (head.samplesPer3Px < 1 || head.planes < 1 || head.linesPerInch <= 0 || rawLines < 0)
    throw std::invalid_argument("head without samples");
}

// The head's bytes and down-sampled signal for ink edges placed in samples of travel.
void sample(Signal& sig, const Head& head, const std::vector<Edge>& edges, int rawLines, const Impairments& imp,
            Draws& draws) {
  sig.rawLines = rawLines;
  sig.bytesPerLine = head.bytesPerLine();
  const size_t total = static_cast<size_t>(rawLines) * head.bytesPerLine();
  const int k = head.bytesPerSample();
  const int n = static_cast<int>(total / k);
  const double sps = head.samplesPerInch();
  const std::vector<double> d = derivative(edges, n, head, draws.travel);
  const double polarity = imp.inverted ? 1 : -1;
  std::vector<double> value(static_cast<size_t>(n));
  for (int s = 0; s < n; ++s) {
    const double t = s + 0.5;
    const double gain = head.gain * (1 + imp.gainDrift * (n > 1 ? 2.0 * s / (n - 1) - 1 : 0));
    double v = head.dc + polarity * gain * d[static_cast<size_t>(s)];
    v += imp.wander * std::sin(2 * M_PI * t / std::max(imp.wanderPeriod, 1.0) + draws.wanderPhase);
    v += imp.toneAmplitude * std::sin(2 * M_PI * t * imp.toneCyclesPerInch / sps + draws.tonePhase);
    if (imp.saturation > 0) v = std::clamp(v, head.dc - imp.saturation, head.dc + imp.saturation);
    value[static_cast<size_t>(s)] = v;
  }
  if (imp.mirrored) std::reverse(value.begin(), value.end());

  sig.bytes.assign(total, toByte(head.dc));
  sig.samples.resize(static_cast<size_t>(n));
  for (int s = 0; s < n; ++s) {
    int sum = 0;
    for (int j = 0; j < k; ++j) {
      const uint8_t b =
          toByte(value[static_cast<size_t>(s)] + (imp.noise > 0 ? imp.noise * draws.rnd.gaussian() : 0));
      sig.bytes[static_cast<size_t>(s) * k + j] = b;
      sum += b;
    }
    sig.samples[static_cast<size_t>(s)] = sum / k;
  }
}

}  // namespace

Signal synthesise(const Head& head, const Codeline& line, int rawLines, const Impairments& imp) {
  checkHead(head, rawLines);
  Signal sig;
  Draws draws(imp);
  // Ink edges in samples of travel, and the truth of each character from its ink extent.
  const double origin = head.sampleAtLine(line.startLine), sps = head.samplesPerInch();
  std::vector<Edge> edges;
  for (const InkEdge& e : inkEdges(line, head.track, imp)) edges.push_back({origin + e.at * sps, e.step});
  for (const detail::PlacedInk& ink : detail::placeInk(line, imp)) {
    if (ink.character < 0) continue;
    double x0 = 1e30, x1 = -1e30;
    for (const glyphs::Shape& s : ink.shapes) {
      x0 = std::min(x0, s.x0);
      x1 = std::max(x1, s.x1);
    }
    const double t0 = draws.travel.timeOf(origin + x0 * sps), t1 = draws.travel.timeOf(origin + x1 * sps);
    sig.truth.push_back({ink.symbol, ink.character, static_cast<int>(std::floor(t0)),
                         static_cast<int>(std::ceil(t1)) - 1, ink.strength});
  }
  std::sort(sig.truth.begin(), sig.truth.end(), [](const CharTruth& a, const CharTruth& b) { return a.index < b.index; });
  sample(sig, head, edges, rawLines, imp, draws);
  return sig;
}

Signal synthesise(const Head& head, const std::vector<InkEdge>& profile, double startLine, int rawLines,
                  const Impairments& imp) {
  checkHead(head, rawLines);
  Signal sig;
  Draws draws(imp);
  const double origin = head.sampleAtLine(startLine), sps = head.samplesPerInch();
  std::vector<Edge> edges;
  for (const InkEdge& e : profile) edges.push_back({origin + e.at * sps, e.step});
  std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.at < b.at; });
  sample(sig, head, edges, rawLines, imp, draws);
  return sig;
}

Impairments graded(int grade, uint32_t seed) {
  Impairments m;
  m.seed = seed;
  if (grade <= 0) return m;
  const double g = std::min(grade, 3);
  m.speedVariation = 0.01 * g;
  m.gainDrift = 0.08 * g;
  m.noise = 1.0 * g;
  m.toneAmplitude = 1.5 * g;
  m.wander = 4.0 * g;
  m.weakFraction = 0.04 * g;
  m.missingFraction = grade >= 2 ? 0.02 * g : 0;
  m.spurious = grade >= 2 ? grade : 0;
  m.saturation = grade >= 3 ? 45 : 0;
  return m;
}

}  // namespace pvk::magsynth
