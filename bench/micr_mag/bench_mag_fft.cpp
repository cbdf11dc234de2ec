// The cost of one FiltraFFT pass (restore of the kept spectrum, band mask, backward transform,
// scale and write-back) on a 10,000-sample window, as a ratio to the bare backward transform of
// the same length planned the same way, both measured in this run. The reading loop runs some
// thirty such passes per document.
#include <fftw3.h>

#include <cstdio>
#include <vector>

#include "magsynth.h"
#include "micr/micr.h"
#include "../bench_timing.h"

using pvk::bench::medianMicros;

int main() {
  namespace ms = pvk::magsynth;
  ms::Codeline line;
  line.text = "0123456789:;<=>0123456789:;<=>0123456789:;<=>0123456789:;<=>";
  line.startLine = 500;
  const ms::Signal sig = ms::synthesise(ms::Head{}, line, 3300, ms::graded(2, 3));
  std::vector<int> raw = sig.samples, filtered(raw.size());
  const int start = 10, n = 10000, end = start + n + 1;
  if (static_cast<int>(raw.size()) < end) return 1;
  if (!CreaFFT(raw.data(), start, end, 10, 1400, 10.0f, 5.0f)) return 1;
  int lo = 300, hi = 1200;
  const double pass = medianMicros(200, [&] {
    FiltraFFT(filtered.data(), lo, hi, false, false, 50);
    hi = hi == 1200 ? 1300 : 1200;  // two cut-offs in turn, as the sweep moves
  });
  freeFFT();

  fftw_complex* a = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * n));
  fftw_complex* b = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * n));
  fftw_plan plan = fftw_plan_dft_1d(n, a, b, FFTW_BACKWARD, FFTW_ESTIMATE);
  for (int k = 0; k < n; ++k) a[k][0] = raw[start + k], a[k][1] = 0;
  const double bare = medianMicros(200, [&] { fftw_execute(plan); });
  fftw_destroy_plan(plan);
  fftw_free(a);
  fftw_free(b);

  std::printf("bench_mag_fft: FiltraFFT pass on %d samples %.1f us, bare FFTW backward %.1f us, ratio %.2f\n", n,
              pass, bare, pass / bare);
  return 0;
}
