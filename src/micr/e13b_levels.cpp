// The small measures of the magnetic E13B recogniser: the candidate flags and confidences of one
// character window, counts of significant extremes near a character, the rating of its peaks and
// valleys, and the mean level of a finished line against the symbols' nominal strengths.
#include <algorithm>
#include <cstring>

#include "micr/micr.h"

char E13B_SET[16] = "0123456789:=<;";
unsigned char valido[16];
signed char confidenza[16];

bool CalcolaVolerMedioENominaleE13B(char* text, int* level, int n, int& meanLevel, int& meanNominal) {
  meanLevel = meanNominal = 0;
  if (!text || !level) return false;
  long sumLevel = 0, sumNominal = 0;
  int count = 0;
  for (int i = 0; i < n && i < kCdlChars; ++i) {
    if (!pvk::micr::isRead(text[i])) continue;
    sumLevel += level[i];
    sumNominal += PercentualeNominaleE13B(text[i]);
    ++count;
  }
  if (count < 4) return false;
  meanLevel = static_cast<int>(sumLevel / count);
  meanNominal = static_cast<int>(sumNominal / count);
  return true;
}

int UnoSoloValido(int n) {
  int best = -1, bestConf = 0;
  for (int i = 0; i < std::min(n, 16); ++i)
    if (valido[i] && confidenza[i] > bestConf) {
      best = i;
      bestConf = confidenza[i];
    }
  return best;
}

bool AlmenoUnoValido() {
  for (int i = 0; i < 15; ++i)
    if (valido[i]) return true;
  return false;
}

void UnicoValido(int index, int conf) {
  std::memset(valido, 0, sizeof valido);
  std::memset(confidenza, 0, sizeof confidenza);
  if (index < 0 || index > 15) return;
  valido[index] = 1;
  confidenza[index] = static_cast<signed char>(std::clamp(conf, 0, 127));
}

int N_Min_Significativi(int from, int to, int self, int n, int* valleys, int level) {
  if (!valleys) return 0;
  int count = 0;
  for (int i = std::max(from, 0); i < std::min(to, n); ++i) count += i != self && valleys[i] < level;
  return count;
}

int N_Max_Significativi(int from, int to, int self, int n, int* peaks, int level) {
  if (!peaks) return 0;
  int count = 0;
  for (int i = std::max(from, 0); i < std::min(to, n); ++i) count += i != self && peaks[i] > level;
  return count;
}

bool VerificaLivelli(int level, int ref, int& conf, int m1, int m2, int m3, int m4, int M1, int M2, int M3, int M4,
                     int& mean) {
  const int cap = 5 * level < 102 ? 5 * level / 2 : 50;
  const int low = ref == 255 ? 0 : 3 * ref / 2;
  const int strongAt = std::min(2 * level, 30);
  mean = 0;
  int count = 0, weak = 0, strong = 0;
  for (int m : {m1, m2, m3, m4}) {
    if (m == 0) continue;
    ++count;
    if (m > -level) ++weak;
    else if (m < -strongAt) ++strong;
  }
  for (int M : {M1, M2, M3, M4}) {
    if (M == 0) continue;
    ++count;
    if (M < low) --conf;
    if (M >= level) strong += M > strongAt;
    else ++weak;
  }
  if (count == 0) {
    conf = 0;
    return false;
  }
  mean = (M1 + M2 + M3 + M4 - m1 - m2 - m3 - m4) / count;
  if (mean > cap) {
    ++conf;
    return true;
  }
  if (cap < 1) {  // level 0 or below: no scale to rate against
    conf = 0;
    return false;
  }
  if (mean > strongAt) {
    conf = std::min({conf, mean * conf / cap, (strong - weak) / count + conf});
    return conf > 0;
  }
  if (mean > level) {
    // More weak extremes than strong ones cost their surplus.
    conf = mean * conf / cap - std::max(weak - strong, 0);
    return conf > 0;
  }
  conf = 0;
  return false;
}
