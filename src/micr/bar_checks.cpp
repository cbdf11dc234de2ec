// Plausibility passes over a bar reading: isolated and weak characters, bars far weaker than the
// line's, lone symbols beside blanks; and the dirty-column marks and weak-bar pruning kept for
// the tools.
#include <algorithm>
#include <cstring>

#include "micr/micr.h"

using pvk::micr::confOf;
using pvk::micr::isRead;

namespace {

// Removes entry i with its two bar values, which move with the entries.
void removeWithBars(char* text, char* conf, int* start, int* end, int* height, int* barProfile, int* barPeak, int i,
                    int& n) {
  const int before = n;
  RimuoviCar(text, conf, start, end, height, i, n);
  if (n == before) return;
  for (int k = i; k < n; ++k) {
    barProfile[k] = barProfile[k + 1];
    barPeak[k] = barPeak[k + 1];
  }
}

void lower(char* conf, int i) { conf[i] = static_cast<char>(std::max(0, confOf(conf[i]) - 1)); }

}  // namespace

bool VerificaCdl(char* text, char* conf, int& n, int* start, int* end, int* height, int* barProfile, int* barPeak,
                 int gap) {
  if (n < 0 || n > kCdlUsable) return false;
  for (int i = 0; i < n; ++i) height[i] = 1;
  long long sumProfile = 0, sumPeak = 0;
  int accepted = 0;
  for (int i = 0; i < n; ++i) {
    if (!isRead(text[i])) continue;
    // A character with wide room on both sides stands alone.
    const bool gapBefore = i > 0 && (text[i - 1] == '?' || start[i] > end[i - 1] + gap);
    const bool gapAfter = i + 1 < n && (text[i + 1] == '?' || start[i + 1] > end[i] + gap);
    if (gapBefore && gapAfter) lower(conf, i);
    if (confOf(conf[i]) == 0) {
      text[i] = '?';
      continue;
    }
    sumProfile += barProfile[i];
    sumPeak += barPeak[i];
    ++accepted;
  }
  if (accepted < 3 || sumProfile / accepted <= 19 || sumPeak / accepted <= 19) {
    n = 0;
    text[0] = 0;
    return false;
  }
  const long long A = sumProfile / accepted, B = sumPeak / accepted;
  for (int i = 0; i < n; ++i) {
    if (confOf(conf[i]) < 1) {
      removeWithBars(text, conf, start, end, height, barProfile, barPeak, i--, n);
      continue;
    }
    if (isRead(text[i])) {
      if (barProfile[i] >= A / 3 && barPeak[i] >= B / 3) {
        if (barProfile[i] < A / 2 || barPeak[i] < B / 2) lower(conf, i);
      } else {
        text[i] = '?';
        conf[i] = 0;
      }
    } else if (text[i] == '?' && !(barProfile[i] >= A / 2 && barPeak[i] >= B / 3)) {
      conf[i] = 0;
    }
  }
  for (int i = 0; i < n; ++i)
    if (confOf(conf[i]) < 1) removeWithBars(text, conf, start, end, height, barProfile, barPeak, i--, n);
  text[n] = 0;
  conf[n] = 0;
  return n > 0;
}

bool VerificaCdlFinale(char* text, char* conf, int* start, int* end, int* height, int& n) {
  if (n < 0 || n > kCdlUsable) return false;
  int sum = 0, count = 0;
  for (int i = 0; i < n; ++i)
    if (isRead(text[i])) sum += confOf(conf[i]), ++count;
  const int m = sum / (count + 1);
  const int weak = m >= 8 ? m / 2 : 4;
  const int lone = m >= 20 ? m / 4 : 5;
  for (int i = 0; i < n; ++i)
    if (isRead(text[i]) && confOf(conf[i]) < 0) text[i] = '?';
  for (int i = 0; i < n; ++i) {
    if (text[i] == ' ') continue;
    const bool blankBefore = i > 0 && text[i - 1] == ' ';
    const bool blankAfter = i + 1 < n && text[i + 1] == ' ';
    if (!blankBefore && !blankAfter) continue;
    const int c = confOf(conf[i]);
    if (text[i] == '?' || c < weak || (blankBefore && blankAfter && c < lone))
      RimuoviCarEDecrementa(text, conf, start, end, height, i, n);
  }
  while (n > 0 && text[0] == ' ') RimuoviCar(text, conf, start, end, height, 0, n);
  while (n > 0 && text[n - 1] == ' ') RimuoviCar(text, conf, start, end, height, n - 1, n);
  return n > 0;
}

void verificaRigheVerticaliSporco(PVKImg* img, char* flags, unsigned short offset) {
  if (img == nullptr || flags == nullptr) return;
  const int W = img->width, H = img->height;
  std::memset(flags, 0, static_cast<size_t>(offset) + W);
  if (img->data == nullptr) return;
  const int limit = 3 * H < 200 ? 50 : 3 * H / 4;
  for (int x = 4; x <= W - 5; ++x) {
    int dark = 0;
    for (int y = 0; y < H; ++y) dark += img->data[static_cast<size_t>(y) * img->stride + x] < 90;
    flags[offset + x] = dark > limit;
  }
}

bool IsSporcoVerticale(const char* flags, int from, int to) {
  if (MyOcr.ocrImgCdlVariant || flags == nullptr) return false;
  for (int i = std::max(0, from); i < to; ++i)
    if (flags[i]) return true;
  return false;
}

namespace {

// Gaps between consecutive bars (samples between them); the list ends at the first gap too wide
// for a character.
void regap(const int* bars, int& nBars, int* gaps) {
  gaps[0] = 0;
  for (int k = 1; k < nBars; ++k) {
    gaps[k] = bars[k] - bars[k - 1] - 1;
    if (gaps[k] > datiCmc[9]) {
      nBars = k;
      return;
    }
  }
}

}  // namespace

int EliminaBarrePiccole(int* amp, int* bars, int& nBars, int* gaps) {
  if (nBars < 7) return 3;
  int maxAmp = amp[0];
  long long total = 0;
  for (int k = 0; k < nBars; ++k) maxAmp = std::max(maxAmp, amp[k]), total += amp[k];
  int cut = maxAmp / 2;
  const int mean = static_cast<int>(total / nBars);
  if (mean <= cut) cut = (cut + mean) / 2;
  int passes = 0;
  while (nBars > 7) {
    int minAmp = amp[0];
    long long lowSum = 0;
    int lowCount = 0;
    for (int k = 0; k < nBars; ++k) {
      minAmp = std::min(minAmp, amp[k]);
      if (amp[k] <= cut) lowSum += amp[k], ++lowCount;
    }
    if (minAmp > cut) break;
    if (minAmp <= cut / 2) ++passes;
    const int lowMean = lowCount ? static_cast<int>(lowSum / lowCount) : minAmp;
    const int drop = std::max(lowMean / 2 + minAmp / 2, minAmp);
    int kept = 0;
    for (int k = 0; k < nBars; ++k)
      if (amp[k] > drop) amp[kept] = amp[k], bars[kept++] = bars[k];
    nBars = kept;
    regap(bars, nBars, gaps);
  }
  if (nBars == 7 && (bars[6] - bars[0] < datiCmc[13] || bars[6] - bars[0] > datiCmc[14])) return 1;
  return std::max(1, passes);
}
