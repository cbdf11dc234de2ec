// Image output costs, each beside a reference measured in the same run: the geometry transform
// of a 300 dpi cheque-sized zone (whole-number decimation, fractional scaling, a small turn)
// against memcpy of the zone; and the JPEG encodings of one side (quality 80 once, and the
// automatic-quality search) against the BMP build that precedes them.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/records.h"
#include "image/image.h"
#include "image/jpeg_autoquality.h"

namespace {

constexpr int kRounds = 5;

double cpuSeconds()
{
  struct timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

template <class F>
double best(F&& f)
{
  double b = 1e9;
  for (int i = 0; i < kRounds; ++i) {
    double t0 = cpuSeconds();
    f();
    b = std::min(b, cpuSeconds() - t0);
  }
  return b;
}

// A grey cheque-like zone: light noisy paper with dark bars.
std::vector<uint8_t> makeZone(int w, int h)
{
  std::vector<uint8_t> px(static_cast<size_t>(w) * h);
  uint32_t seed = 1;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      seed = seed * 1103515245u + 12345u;
      bool bar = (y % 80) < 12 && x < 2 * w / 3;
      px[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>((bar ? 50 : 210) + (seed >> 28));
    }
  return px;
}

}  // namespace

int main()
{
  MyAcq.colourLines = MyAcq.planesPerLine = 1;  // the transform checks the acquisition record
  const int w = 1800, h = 800;
  std::vector<uint8_t> zone = makeZone(w, h), copy(zone.size());
  PVKImg src{w, h, w, 300, zone.data()};
  double ref = best([&] { std::memcpy(copy.data(), zone.data(), zone.size()); });

  std::printf("geometry transform of a %d x %d zone (memcpy of it: %.3f ms)\n", w, h, ref * 1e3);
  struct Case {
    const char* name;
    int srcV, srcH, dstV, dstH;
    float angle;
  } cases[] = {{"300 -> 150 dpi, decimated", 2, 2, 1, 1, 0.0f},
               {"300 -> 200 dpi, interpolated", 3, 3, 2, 2, 0.0f},
               {"300 dpi turned by 0.02 rad", 1, 1, 1, 1, 0.02f}};
  for (const Case& c : cases) {
    double t = best([&] {
      PVKImg dst{};
      StretchRotateStretch(src, dst, c.srcV, c.srcH, c.dstV, c.dstH, c.angle, 1, false);
      FreePVKImg(dst);
    });
    std::printf("  %-30s %8.3f ms  %6.1f x memcpy\n", c.name, t * 1e3, t / ref);
  }

  std::vector<uint8_t> bmp(ImgBMPSize(w, h));
  long bmpSize = 0;
  double build = best([&] {
    ImgBMPElabora(zone.data(), h, w, w, w, w, 300, 300, 0, 0, 8, true, true, bmp.data(), &bmpSize);
  });
  std::printf("encoding one %d x %d side (BMP build: %.3f ms)\n", w, h, build * 1e3);
  double jpeg = best([&] {
    long size = bmpSize;
    std::free(EncodeImage(bmp.data(), &size, 80, 128, 0, 0, 300, 300, 8));
  });
  std::printf("  %-30s %8.3f ms  %6.1f x BMP build\n", "JPEG quality 80", jpeg * 1e3, jpeg / build);
  MyIQA.quality[1] = 90;
  MyIQA.lower[1] = 40;
  MyIQA.upper[1] = 60;
  int size = 0;
  double search = best([&] {
    pvk::image::AutoQualityRequest r{1, bmp.data(), bmpSize, 128, 0, 300, 8};
    std::free(pvk::image::encodeAutoQuality(r, &size));
  });
  std::printf("  %-30s %8.3f ms  %6.1f x one JPEG encoding (final size %d bytes)\n",
              "automatic quality, 40..60 KiB", search * 1e3, search / jpeg, size);
  return 0;
}
