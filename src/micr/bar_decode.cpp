// Characters from bars: the grouping of bars into one CMC7 character along the peak signal, its
// decoding, and the confidence of a bar reading as a whole.
#include <algorithm>
#include <climits>

#include "micr/micr.h"

namespace {

constexpr int kMaxBars = 12;

struct BarGroup {
  int bars[kMaxBars];
  int gaps[kMaxBars + 1];  // gaps[k]: samples between bar k-1 and bar k (k = 1..12)
  int count = 0;
  bool full = false;   // a twelfth bar was met
};

// Bars from s on at threshold T until a gap run too long for a character (or, with MICR, a
// total gap past the character's cap at a new low), the twelfth bar or the profile's end.
BarGroup collectBars(int s, int n, const int* peaks, int T) {
  const int32_t* d = datiCmc;
  BarGroup g;
  int total = 0;
  int lowest = INT_MAX;
  int i = s;
  while (i < n) {
    lowest = std::min(lowest, peaks[i]);
    if (peaks[i] <= T) {
      ++i;
      continue;
    }
    if (g.count == kMaxBars) {
      g.full = true;
      break;
    }
    g.bars[g.count++] = i;
    while (i < n && peaks[i] > T) lowest = std::min(lowest, peaks[i++]);
    if (i >= n) break;
    if (MyMICR.enabled && peaks[i] < lowest && total > d[16]) break;
    int run = 0;
    while (i < n && peaks[i] <= T && run <= d[10]) {
      lowest = std::min(lowest, peaks[i++]);
      ++run;
    }
    if (run > d[10] || i >= n) break;
    g.gaps[g.count] = run;
    total += run;
  }
  return g;
}

char noCharacter(int& end, int& start, char& conf, int& meanPeak, int s) {
  start = s;
  end = s + 1;
  conf = 0;
  meanPeak = 0;
  return 0;
}

}  // namespace

char decodCMC(int& end, int& start, char& conf, int n, int* profile, int& meanProfile, int minMeanProfile,
              int* peaks, int threshold, int& meanPeak, int minPeak) {
  const int32_t* d = datiCmc;
  const int s = start;
  if (s < 0 || s >= n) return noCharacter(end, start, conf, meanPeak, s);
  int T = threshold;
  BarGroup g;
  for (;;) {
    g = collectBars(s, n, peaks, T);
    // Too many bars for one character: only the stronger ones count.
    if (!g.full && g.count < 8) break;
    if (T > INT_MAX - 10) return noCharacter(end, start, conf, meanPeak, s);
    T += 10;
  }
  if (g.count < 5) return noCharacter(end, start, conf, meanPeak, s);
  char c = '?';
  if (g.count == 7 && pvk::micr::confOf(conf) >= 1) c = DecodeCMCChar(g.gaps, conf);
  const int first = g.bars[0], last = g.bars[g.count - 1];
  const int span = std::max(1, last - first);
  long long sumProfile = 0, sumPeak = 0;
  for (int k = 0; k < g.count; ++k) {
    sumProfile += profile[g.bars[k]];
    sumPeak += peaks[g.bars[k]];
  }
  meanProfile = static_cast<int>(sumProfile / g.count);
  meanPeak = static_cast<int>(sumPeak / g.count);
  if (meanProfile < minMeanProfile || meanPeak < T || meanPeak < minPeak)
    return noCharacter(end, start, conf, meanPeak, s);
  if (span < d[15] || span > d[16]) return noCharacter(end, start, conf, meanPeak, s);
  start = std::max(s, first);
  end = first + span + 1;
  if (span < d[13] || span > d[14]) --conf;
  return c != '?' && pvk::micr::confOf(conf) > 0 ? c : '?';
}

int CalcolaConfidenzaCMC7Barre(char* text, char* conf, int* strength, int& n, int level) {
  using pvk::micr::confOf;
  using pvk::micr::isRead;
  if (n < 0 || n > kCdlUsable) return 1;
  int count = 0, sum = 0;
  for (int i = 0; i < n; ++i) {
    if (!isRead(text[i])) continue;
    if (confOf(conf[i]) < 1) {
      text[i] = '?';
    } else {
      sum += strength[i];
      ++count;
    }
  }
  if (count < 2) {
    n = 0;
    return 1;
  }
  const int mean = std::max(5, sum / (count + 1));
  const int low = std::max(mean > 7 ? mean / 4 : 2, level / 8);
  const int ref = std::max(2 * mean / 3, level / 4);
  int total = 0, values = 0;
  for (int i = 0; i < n; ++i) {
    if (text[i] == ' ') continue;
    int c;
    if (strength[i] < 1) {
      text[i] = '?';
      c = 1;
    } else if (text[i] == '?') {
      c = 1;
    } else {
      const float r = static_cast<float>(confOf(conf[i])) / strength[i];
      if (r < 1.11f) {
        c = 0;
      } else {
        const float share = static_cast<float>(strength[i]) / (strength[i] < low ? low + ref : ref);
        c = std::clamp(static_cast<int>(share * (r - 1.1f) * 80), 1, 100);
      }
    }
    conf[i] = static_cast<char>(c);
    total += c;
    ++values;
  }
  const int result = std::clamp(total / (values + 1), 1, 100);
  // A blank between two characters is as sure as they are.
  if (n > 2)
    for (int k = 1; k <= n - 3; ++k)
      if (text[k] == ' ') conf[k] = static_cast<char>((confOf(conf[k - 1]) + confOf(conf[k + 1])) / 2);
  return result;
}

int ValutaOK(const char* text, const char* conf, const int* weight, int n, int* sum) {
  using pvk::micr::isRead;
  int count = 0, total = 0;
  for (int i = 0; i < n && i < kCdlUsable; ++i) {
    if (!isRead(text[i])) continue;
    const bool neighbour = (i > 0 && isRead(text[i - 1])) || (i + 1 < n && isRead(text[i + 1]));
    if (!neighbour) continue;
    ++count;
    const int c = pvk::micr::confOf(conf[i]);
    total += weight && weight[i] >= 2 ? c / (weight[i] / 2) : c;
  }
  if (sum) *sum = total;
  return count;
}
