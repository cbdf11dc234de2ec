// The band filter of the magnetic head signal: one forward transform per window, then any
// number of band passes, each one backward transform of the kept spectrum (FFTW 3, double).
#include <fftw3.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/trace.h"
#include "micr/micr.h"

int inizio = 0;
int fine = 0;
int fftN = 0;
int fftN_1_2 = 0;
bool fftFirst = false;

namespace {

fftw_complex* out = nullptr;      // working spectrum
fftw_complex* outCopy = nullptr;  // spectrum after notching, restored before each pass
fftw_complex* out2 = nullptr;     // backward transform
fftw_plan p2 = nullptr;           // out -> out2, backward

void freeRun() {
  if (p2) fftw_destroy_plan(p2);
  p2 = nullptr;
  fftw_free(out);
  fftw_free(outCopy);
  fftw_free(out2);
  out = outCopy = out2 = nullptr;
}

fftw_complex* spectrum(int n) { return static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * n)); }

void clearBins(int from, int to) {
  from = std::max(from, 0);
  to = std::min(to, fftN);
  for (int k = from; k < to; ++k) out[k][0] = out[k][1] = 0;
}

bool allocationFailed(fftw_complex* in) {
  fftw_free(in);
  freeRun();
  MyDev.lastResult = -1;
  WriteTrace("err - ", "memory allocation in FFT", false);
  return false;
}

// Notches bin k and its two neighbours.
void notch(int k) { clearBins(k - 1, k + 2); }

}  // namespace

bool CreaFFT(int* sig, int start, int end, int binLo, int binHi, float strong, float outside) {
  // A new run releases the last one first, so that a refused window leaves no stale spectrum
  // for a filter pass to mix with the new window's bounds.
  freeRun();
  inizio = start;
  fine = end;
  fftN = end - start - 1;
  fftN_1_2 = fftN / 2;
  fftFirst = true;
  if (fftN < 100 || !sig || start < 0) {
    fftN = fftN_1_2 = 0;
    return false;
  }
  const int n = fftN;
  fftw_complex* in = spectrum(n);
  out = spectrum(n);
  outCopy = spectrum(n);
  out2 = spectrum(n);
  if (!in || !out || !outCopy || !out2) return allocationFailed(in);
  fftw_plan p1 = fftw_plan_dft_1d(n, in, out, FFTW_FORWARD, FFTW_ESTIMATE);
  p2 = fftw_plan_dft_1d(n, out, out2, FFTW_BACKWARD, FFTW_ESTIMATE);
  if (!p1 || !p2) {
    if (p1) fftw_destroy_plan(p1);
    return allocationFailed(in);
  }
  for (int k = 0; k < n; ++k) {
    in[k][0] = sig[start + k];
    in[k][1] = 0;
  }
  fftw_execute(p1);
  fftw_destroy_plan(p1);
  fftw_free(in);

  out[0][0] = out[0][1] = 0;  // the window's mean
  const long S = static_cast<long>(strong * fftN_1_2);
  const long O = static_cast<long>(fftN_1_2 * outside);
  for (int k = 0; k < n; ++k) {
    const long re = std::labs(static_cast<long>(out[k][0])), im = std::labs(static_cast<long>(out[k][1]));
    if (re > S || im > S || ((k < binLo || k > binHi) && (re > O || im > O))) notch(k);
  }
  std::memcpy(outCopy, out, sizeof(fftw_complex) * n);
  return true;
}

bool FiltraFFT(int* sig, int lo, int hi, bool flip, bool atLeast50, int amp) {
  if (!p2 || !sig) return false;
  const int n = fftN;
  if (!fftFirst) std::memcpy(out + 1, outCopy + 1, sizeof(fftw_complex) * (n - 1));
  // Cut-offs beyond the spectrum clear only what lies inside it.
  clearBins(0, lo);
  clearBins(hi, n - hi);
  clearBins(n - lo, n);
  fftw_execute(p2);

  long m = 0;
  for (int k = 0; k < n; ++k) m = std::max(m, std::labs(static_cast<long>(out2[k][0])));
  double scale = 1.0;
  if (m > 1) {
    int a = std::abs(amp);
    if (atLeast50 && a < 50) a = 50;
    scale = -static_cast<double>(a) / static_cast<double>(m);
  }
  if (flip) scale = -scale;
  std::fill(sig, sig + std::max(fine, 0), 0);
  for (int k = 0; k < n; ++k) {
    const long v = static_cast<long>(out2[k][0] * scale);
    sig[inizio + k] = static_cast<int>(std::clamp(v, -127L, 127L));
  }
  fftFirst = false;
  return true;
}

void freeFFT() {
  freeRun();
  fftN = fftN_1_2 = 0;
}
