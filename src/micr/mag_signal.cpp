// Conditioning of the magnetic head signal before recognition (moving average, mirror, noise
// level) and the small measures the magnetic recognisers take of it: strength of a character,
// free borders around it, the weakest of its bars.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/trace.h"
#include "micr/micr.h"

int MediaMobile(int* in, int* out, int from, int to, int n, bool rescale) {
  if (!in || !out || n < 1) return 30;
  const int a = std::max(from, 20), b = std::min(to, n - 20);
  std::fill(out, out + std::min(a, n), 0);
  std::fill(out + std::clamp(b, 0, n), out + n, 0);
  if (a >= b) return 30;
  int largest = 0;
  float sum = 0;
  for (int x = a; x < b; ++x) {
    const int v = (in[x - 3] + in[x - 2] + in[x - 1] + 2 * in[x] + in[x + 1] + in[x + 2] + in[x + 3]) >> 3;
    out[x] = v;
    largest = std::max(largest, v);
    sum += static_cast<float>(v);
  }
  const int mean = static_cast<int>(sum / std::max(b - a, 1));
  const int amplitude = std::abs(largest - mean);
  if (amplitude < 50 && rescale) {
    // A flat window has no amplitude to stretch: every value is the mean, so it reads 0.
    for (int x = a; x < b; ++x)
      out[x] = amplitude ? static_cast<int>((mean - out[x]) * 50.0 / amplitude) : 0;
    return 50;
  }
  for (int x = a; x < b; ++x) out[x] = mean - out[x];
  return amplitude;
}

bool SpecchiaMICR(int* sig, int n) {
  if (!sig || n < 2) return true;
  int* copy = static_cast<int*>(std::malloc(sizeof(int) * static_cast<size_t>(n)));
  if (!copy) {
    WriteTrace("err - ", "memory error for MICR data", errno, false);
    MyDev.lastResult = -1;
    return false;
  }
  std::memcpy(copy, sig, sizeof(int) * static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) sig[i] = copy[n - 1 - i];
  std::free(copy);
  return true;
}

int CalcolaLivelloRumore(int* sig, int n) {
  const int cap = (MyDev.inkjetPresent && MyDev.serialHigh == 0 && MyDev.serialLow < 310880) ? 15 : 10;
  if (!sig || n <= 999) return cap;
  // The quiet stretch before any codeline; the model whose codeline may come first is not
  // told apart, so every device is measured at the start.
  const int from = 50, to = 1000;
  long sum = 0;
  for (int i = from; i < to; ++i) sum += sig[i];
  const int m = static_cast<int>(std::clamp<long>(sum / 950, 0, 255));
  int largest = m, smallest = m;
  for (int i = from; i < to; ++i) {
    const int b = sig[i] & 0xFF;
    if (b > m) largest = std::max(largest, b);
    else smallest = std::min(smallest, b);
  }
  return std::min(std::max(largest - m, m - smallest), cap);
}

int CalcolaValMassimiMinimi(bool cmc7, char ch, int* sig, int from, int to) {
  const int k = cmc7 ? 5 : 2;
  int maxima[5] = {0, 0, 0, 0, 0};  // strongest first
  int minima[5] = {0, 0, 0, 0, 0};  // deepest first
  // Inserts v into a sorted list of k where it lies strictly beyond an entry.
  auto offer = [k](int* list, int v, bool above) {
    for (int i = 0; i < k; ++i)
      if (above ? v > list[i] : v < list[i]) {
        std::memmove(list + i + 1, list + i, sizeof(int) * static_cast<size_t>(k - 1 - i));
        list[i] = v;
        return;
      }
  };
  if (sig)
    for (int i = std::max(from, 0); i < to; ++i) {
      const int v = sig[i];
      if (v >= maxima[k - 1]) offer(maxima, v, true);
      else if (v <= minima[k - 1]) offer(minima, v, false);
    }
  int sum = 0;
  for (int i = 0; i < k; ++i) sum += maxima[i] - minima[i];
  const float nominal = cmc7 ? 1.0f : static_cast<float>(PercentualeNominaleE13B(ch)) / 100.0f;
  return static_cast<int>(static_cast<float>(sum) / nominal) / k;
}

bool BordoLiberoMax(int from, int to, int self, int n, int* peaks, int level) {
  if (!peaks) return true;
  for (int i = std::max(from, 0); i < std::min(to, n); ++i)
    if (i != self && peaks[i] > level) return false;
  return true;
}

bool BordoLiberoMin(int from, int to, int self, int n, int* valleys, int level) {
  if (!valleys) return true;
  for (int i = std::max(from, 0); i < std::min(to, n); ++i)
    if (i != self && valleys[i] < level) return false;
  return true;
}

bool BordiPuliti(int pos, int level, int* arrA, int before, int pos2, int level2, int* arrB, int after, int n,
                 int ref) {
  if (level < 1) {
    const int l = std::min(-ref, level2);
    return BordoLiberoMin(pos - before, pos, pos, n, arrA, l) && BordoLiberoMin(pos2, pos2 + after, pos2, n, arrB, l);
  }
  const int l = std::max(level, ref);
  return BordoLiberoMax(pos - before, pos, pos, n, arrA, l) && BordoLiberoMax(pos2, pos2 + after, pos2, n, arrB, l);
}

bool PulisciMax(int& count, int* bars, int minLevel, int* startAmp, int* endAmp, int& ref) {
  ref = 255;
  if (count < 1 || !bars || !startAmp) return false;
  for (int i = 0; i < count; ++i) ref = std::min(ref, startAmp[bars[i]]);
  if (ref >= minLevel) {
    // Every bar is strong: the weakest is the one whose start or end is lowest. A bar whose end
    // does not follow within three positions is not measured; with none measured nothing goes.
    int weakest = 256;
    for (int i = 0; i < count && endAmp; ++i) {
      const int b = bars[i];
      for (int d = 0; d < 4; ++d)
        if (endAmp[b + d] > 0) {
          weakest = std::min({weakest, startAmp[b], endAmp[b + d]});
          break;
        }
    }
    if (weakest > 255) return false;
    ref = weakest;
  }
  for (int i = 0; i < count; ++i)
    if (startAmp[bars[i]] == ref) {
      std::memmove(bars + i, bars + i + 1, sizeof(int) * static_cast<size_t>(count - 1 - i));
      --count;
      ref = ref * 12 / 10;
      return true;
    }
  return false;
}
