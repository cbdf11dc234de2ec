// The candidate codelines of the magnetic reading loop: their scores, copies and exchanges.
#include <algorithm>
#include <cstring>

#include "micr/micr.h"

int32_t datiMICR[kDatiMICR];

int CalCumulaConfCMC(char* text, char* conf, int* fifth, int n, int& readable) {
  int sum = 0;
  readable = ValutaOK(text, conf, fifth, std::clamp(n, 0, kCdlUsable), &sum);
  return sum;
}

void SovrascriviBest(char* dT, char* dC, int* dS, int* dE, int* dF, int& dN, int& dCum, int& dMean, char* sT,
                     char* sC, int* sS, int* sE, int* sF, int& sN, int& sCum, int& sMean) {
  dCum = sCum;
  dMean = sMean;
  dN = std::clamp(sN, 0, kCdlUsable);
  const size_t n = static_cast<size_t>(dN);
  std::memmove(dT, sT, n);
  std::memmove(dC, sC, n);
  std::memmove(dS, sS, n * sizeof(int));
  std::memmove(dE, sE, n * sizeof(int));
  if (dF && sF) std::memmove(dF, sF, n * sizeof(int));
  dT[n] = 0;
}

void ScambiaBest(char* aT, char* aC, int* aS, int* aE, int* aF, int& aN, int& aCum, int& aMean, char* bT, char* bC,
                 int* bS, int* bE, int* bF, int& bN, int& bCum, int& bMean) {
  char t[kCdlChars], c[kCdlChars];
  int s[kCdlChars], e[kCdlChars], f[kCdlChars];
  int n = 0, cum = 0, mean = 0;
  SovrascriviBest(t, c, s, e, aF && bF ? f : nullptr, n, cum, mean, aT, aC, aS, aE, aF, aN, aCum, aMean);
  SovrascriviBest(aT, aC, aS, aE, aF, aN, aCum, aMean, bT, bC, bS, bE, bF, bN, bCum, bMean);
  SovrascriviBest(bT, bC, bS, bE, bF, bN, bCum, bMean, t, c, s, e, aF && bF ? f : nullptr, n, cum, mean);
}
