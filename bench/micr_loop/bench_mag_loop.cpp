// The cost of one magnetic reading (LetturaMag) of a cheque-length codeline, E13B and CMC7, as a
// ratio to its pass count times one bare FFTW backward transform of the window it filters, both
// measured in this run: what the loop spends beyond its transforms (recognition, merges, lobe
// extraction) shows as the ratio above 1.
#include <fftw3.h>

#include <cstdio>
#include <string>
#include <vector>

#include "magsynth.h"
#include "micr/micr.h"
#include "../bench_timing.h"

namespace {

namespace ms = pvk::magsynth;
using pvk::bench::medianMicros;

double bareBackward(int n) {
  fftw_complex* a = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * n));
  fftw_complex* b = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * n));
  fftw_plan plan = fftw_plan_dft_1d(n, a, b, FFTW_BACKWARD, FFTW_ESTIMATE);
  for (int k = 0; k < n; ++k) a[k][0] = k % 7, a[k][1] = 0;
  const double t = medianMicros(200, [&] { fftw_execute(plan); });
  fftw_destroy_plan(plan);
  fftw_free(a);
  fftw_free(b);
  return t;
}

void run(const char* name, pvk::glyphs::Font font, int code, const std::string& text) {
  ms::Codeline line;
  line.font = font;
  line.text = text;
  line.startLine = 500;
  ms::Signal sig = ms::synthesise(ms::Head{}, line, 2200, ms::graded(1, 3));
  MyMICR.enabled = 1;
  MyMICR.samples = sig.bytes.data();
  MyMICR.nSamples = sig.bytes.size();
  MyMICR.reverse = 0;
  MyMICR.samplesPer3Px = 10;
  MyAcq.planesPerLine = 1;
  MyOcr.currentFont = static_cast<int16_t>(code);
  MyOcr.cdlMicr = 0;
  const int n = static_cast<int>(sig.samples.size());
  char gt[kCdlChars], gc[kCdlChars], t[kCdlChars], c[kCdlChars];
  int gs[kCdlChars], ge[kCdlChars], s[kCdlChars], e[kCdlChars];
  int count = 0;
  const double loop = medianMicros(5, [&] {
    int gn = static_cast<int>(sig.truth.size());
    for (int i = 0; i < gn; ++i) {
      gt[i] = sig.truth[i].symbol;
      gc[i] = 60;
      gs[i] = sig.truth[i].first;
      ge[i] = sig.truth[i].last;
    }
    gt[gn] = 0;
    count = LetturaMag(t, c, s, e, 0, n, gt, gc, gs, ge, gn);
  });
  const int passes = pvk::micr::magPassCount();
  // The window the loop filters: from sample 10 to 4 short of the end, less one.
  const int window = n - 4 - 10 - 1;
  const double fft = bareBackward(window);
  std::printf("bench_mag_loop: %s %d samples, %d characters read, %d passes, %.0f us; bare backward %.1f us; "
              "ratio %.2f\n",
              name, n, count, passes, loop, fft, loop / (passes * fft));
}

}  // namespace

int main() {
  run("E13B", pvk::glyphs::Font::E13B, 33, "1289:3128913<12893189=");
  run("CMC7", pvk::glyphs::Font::CMC7, 32, "0123456789:0123456789;0123456789<");
  return 0;
}
