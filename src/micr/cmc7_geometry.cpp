// The geometry block of the CMC7 steps and the decoding of one character from its six gaps.
//
// datiCmc elements (optical: bar-profile positions, two per column, at s = dpi / 300):
//   0 blank gap   1 wide-gap threshold   2, 3 steps of the raised and lowered retries
//   4, 5 doubtful zone (exclusive; magnetic only)   6 unused here   7 below: doubtful
//   8 below: rejected   9 above: doubtful   10 above: rejected, and the longest gap run inside a
//   character   11 minimum distance between characters   12 character bar span P
//   13, 14 good span   15, 16 acceptable span (16 also caps a character's total gap with MICR on)
//   17 bar-height window of the optical profile
#include <algorithm>
#include <cstring>

#include "micr/micr.h"
#include "ocr/ocr.h"  // IsCMC7Font

int32_t datiCmc[kDatiCmc];

// Index: bit k-1 set when gap k is wide.
const char CodiceCMC7[64] = {
    '?', '?', '?', '7', '?', '3', '2', '?', '?', '4', '9', '?', '0', '?', '?', '?',  // 0-15
    '?', '1', '8', '?', '6', '?', '?', '?', '5', '?', '?', '?', '?', '?', '?', '?',  // 16-31
    '?', ':', ';', '?', '<', '?', '?', '?', '=', '?', '?', '?', '?', '?', '?', '?',  // 32-47
    '>', '?', '?', '?', '?', '?', '?', '?', '?', '?', '?', '?', '?', '?', '?', '?',  // 48-63
};

namespace {

// trunc(k x s), raised to 1.
int atLeastOne(float k, float s) { return std::max(1, static_cast<int>(k * s)); }

}  // namespace

void InitDatiCMC(short font, float scale) {
  std::memset(datiCmc, 0, sizeof datiCmc);
  const float s = scale;
  int32_t* d = datiCmc;
  const bool cmc7 = IsCMC7Font(font);
  d[0] = atLeastOne(cmc7 ? 35 : 40, s);
  d[1] = atLeastOne(cmc7 ? 8 : 15, s);
  d[2] = atLeastOne(1, s);
  d[3] = atLeastOne(1, s);
  d[6] = atLeastOne(cmc7 ? 14 : 26, s);
  d[7] = atLeastOne(cmc7 ? 5 : 8, s);
  d[8] = atLeastOne(cmc7 ? 3 : 6, s);
  d[9] = cmc7 ? std::max(1, static_cast<int>(13.5f * s + 0.5f)) : atLeastOne(23, s);
  d[10] = cmc7 ? std::max(1, static_cast<int>(14.5f * s + 0.5f)) : atLeastOne(24, s);
  d[11] = atLeastOne(cmc7 ? 12 : 20, s);
  d[12] = atLeastOne(cmc7 ? 56 : 110, s);
  d[13] = d[12] * 90 / 100;
  d[14] = d[12] * 105 / 100;
  d[15] = d[12] * 70 / 100;
  d[16] = d[12] * 110 / 100;
  d[17] = atLeastOne(cmc7 ? 44 : 25, s);
}

namespace {

char lookUp(const int* gaps, int threshold) {
  int pattern = 0;
  for (int k = 1; k <= 6; ++k)
    if (gaps[k] > threshold) pattern |= 1 << (k - 1);
  return CodiceCMC7[pattern];
}

}  // namespace

char DecodeCMCChar(int* gaps, char& conf) {
  const int32_t* d = datiCmc;
  bool doubt = false;
  for (int k = 1; k <= 6; ++k) {
    const int g = gaps[k];
    if (g < d[8] || g > d[10]) return '?';
    if (g < d[7] || g > d[9] || (g > d[4] && g < d[5])) doubt = true;
  }
  if (doubt) --conf;
  const char c = lookUp(gaps, d[1]);
  if (c != '?') return c;
  if (pvk::micr::confOf(conf) < 2) return '?';
  // A gap near the threshold may belong to the other class: one more try on either side, paid
  // with a point that is given back when neither decodes.
  --conf;
  char r = lookUp(gaps, d[1] + d[2]);
  if (r == '?') r = lookUp(gaps, d[1] - d[3]);
  if (r == '?') ++conf;
  return r;
}
