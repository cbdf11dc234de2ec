// The CMC7 geometry block for a magnetic reading: widths and gaps in samples, scaled by the
// samples per three optical pixels of the head (10 at about 1,000 samples per inch).
#include <algorithm>
#include <cstring>

#include "micr/micr.h"

void InitDatiMICR(short code, float scale) {
  std::memset(datiCmc, 0, sizeof datiCmc);
  if (code != 32) return;
  const float m = scale * static_cast<float>(MyMICR.samplesPer3Px) / 10.0f;
  auto at = [m](int k) { return std::max(static_cast<int>(k * m), 1); };
  const int elements[13] = {150, 16, 1, 2, 14, 18, 40, 10, 7, 25, 27, 22, 88};
  for (int i = 0; i < 13; ++i) datiCmc[i] = at(elements[i]);
  const int pitch = datiCmc[12];
  datiCmc[13] = pitch * 90 / 100;
  datiCmc[14] = pitch * 115 / 100;
  datiCmc[15] = pitch * 80 / 100;
  datiCmc[16] = pitch * 130 / 100;
  datiCmc[17] = 0;
}
