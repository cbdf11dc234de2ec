// Time of one CMC7 bar pass on a 300 dpi codeline band of 45 characters: the column profile and
// its lobes (ElaboraSegnaleCMC) and the grouping and decoding of every character (decodCMC), as
// one band pass of the optical reader does. Reference: cv::reduce summing the same band's
// columns, measured in the same run.
#include <opencv2/core.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "glyphs.h"
#include "micr/micr.h"
#include "../bench_timing.h"

using pvk::bench::Clock;

namespace {

using pvk::bench::us;

using pvk::bench::median;

}  // namespace

int main() {
  const std::string text = "<0123456789< 9876543210> :;<=>:;<=> 1357924680=";
  pvk::glyphs::Codeline line = pvk::glyphs::renderCodeline(pvk::glyphs::Font::CMC7, text);
  for (uint8_t& p : line.image.pixels) p = static_cast<uint8_t>(255 - p);  // ink high, as cleaned
  PVKImg band = line.image.view();
  InitDatiCMC(0, 1.0f);
  const int W = band.width, n = 2 * W;
  std::vector<int> profile(n, 0), peaks(n, 0), work(n, 0);
  int decoded = 0;
  auto pass = [&] {
    const auto t0 = Clock::now();
    ElaboraSegnaleCMC(&band, profile.data(), peaks.data(), work.data(), datiCmc[17]);
    decoded = 0;
    for (int i = 0; i < n; ++i) {
      if (peaks[i] <= 30) continue;
      int s = i, e = 0, mp = 0, mk = 0;
      char conf = 4;
      if (decodCMC(e, s, conf, n, profile.data(), mp, 100, peaks.data(), 30, mk, 80) != 0) ++decoded, i = e;
    }
    return us(Clock::now() - t0);
  };
  cv::Mat m(band.height, band.width, CV_8U, band.data, band.stride), sums;
  auto reference = [&] {
    const auto t0 = Clock::now();
    cv::reduce(m, sums, 0, cv::REDUCE_SUM, CV_32S);
    return us(Clock::now() - t0);
  };
  for (int i = 0; i < 20; ++i) pass(), reference();
  const double tPass = median(301, pass), tRef = median(301, reference);
  std::printf("bench_cmc7_bars: band %dx%d at 300 dpi, %d characters decoded of %zu\n", band.width, band.height,
              decoded, line.boxes.size());
  std::printf("  bar pass          %8.1f us\n", tPass);
  std::printf("  cv::reduce (sum)  %8.1f us\n", tRef);
  std::printf("  ratio             %8.2f\n", tPass / tRef);
  return 0;
}
