// Resolution checks, line-count conversion, time differences and the erasers of dark borders
// and long rules.
#include "core/image_utils.h"

#include <climits>
#include <cstring>

#include "core/records.h"
#include "core/trace.h"

bool CheckDpi(short dpi) {
  if (dpi == 0 || (dpi >= 10 && dpi <= 600)) return true;
  WriteTrace("err - ", "Invalid dpi val", dpi, false);
  MyDev.lastResult = PVK_ERR_INV_PARAMETER;
  return false;
}

int EvalNumLine(int lines, int fromDpi, int toDpi) {
  if (fromDpi < 1) return 0;
  const float r = static_cast<float>(toDpi) * (static_cast<float>(lines) / static_cast<float>(fromDpi));
  if (r < 1.0f) return 0;
  if (r > 65535.0f) return static_cast<int>(0xFFFFFFFFu);
  return static_cast<int>(r);
}

bool IS_JPEG_COMPRESSION(short format) {
  const int f = format & ~0x700;
  return f == 0 || f == 6 || f == 7;
}

long DeltaMsec(struct timeval later, struct timeval earlier) {
  // Times from the host may be anything: the difference in microseconds is exact in 128 bits.
  // Halves round away from zero on both sides, so 10 s earlier is -10000 as 10 s later is 10000.
  const __int128 us = (static_cast<__int128>(later.tv_sec) - earlier.tv_sec) * 1000000 +
                      (static_cast<__int128>(later.tv_usec) - earlier.tv_usec);
  const __int128 magnitude = ((us < 0 ? -us : us) + 500) / 1000;
  const __int128 ms = us < 0 ? -magnitude : magnitude;
  if (ms >= LONG_MAX) return LONG_MAX;
  if (ms <= LONG_MIN) return LONG_MIN;
  return static_cast<long>(ms);
}

namespace {

constexpr unsigned char kDark = 20;
constexpr unsigned char kWhite = 255;

bool usable(const PVKImg* img) {
  return img != nullptr && img->data != nullptr && img->width >= 8 && img->height >= 8 &&
         img->stride >= img->width;
}

uint8_t* row(PVKImg* img, int y) { return img->data + static_cast<size_t>(y) * img->stride; }

bool rowDark(PVKImg* img, int y) {
  const uint8_t* r = row(img, y);
  for (int x = 0; x < img->width; ++x)
    if (r[x] > kDark) return false;
  return true;
}

bool columnDark(PVKImg* img, int x, int top, int bottom) {
  for (int y = top; y <= bottom; ++y)
    if (row(img, y)[x] > kDark) return false;
  return true;
}

void whitenColumn(PVKImg* img, int x) {
  for (int y = 0; y < img->height; ++y) row(img, y)[x] = kWhite;
}

}  // namespace

void CancellaBordiRotazione(PVKImg* img) {
  if (!usable(img)) return;
  const int h = img->height;
  const int w = img->width;
  int t = 0;
  while (t < h && rowDark(img, t)) std::memset(row(img, t++), kWhite, static_cast<size_t>(w));
  int b = h - 1;
  while (b >= 1 && rowDark(img, b)) std::memset(row(img, b--), kWhite, static_cast<size_t>(w));
  for (int x = 0; x < w && columnDark(img, x, t, b); ++x) whitenColumn(img, x);
  for (int x = w - 1; x >= 0 && columnDark(img, x, t, b); --x) whitenColumn(img, x);
}

namespace {

// Dark threshold of the run erasers: delta below the mean grey level, at least 10.
int runThreshold(const PVKImg* img, unsigned char delta) {
  uint64_t sum = 0;
  for (int y = 0; y < img->height; ++y) {
    const uint8_t* r = img->data + static_cast<size_t>(y) * img->stride;
    for (int x = 0; x < img->width; ++x) sum += r[x];
  }
  uint64_t mean = sum / (static_cast<uint64_t>(img->width) * img->height);
  if (mean > 255) mean = 255;
  const int thr = static_cast<int>(mean) - delta;
  return thr < 10 ? 10 : thr;
}

// Erases dark runs along one line of n pixels spaced step bytes apart.
void eraseRuns(uint8_t* p, int n, size_t step, unsigned short minLength, int thr) {
  int start = -1;
  for (int i = 0; i <= n; ++i) {
    const bool dark = i < n && p[i * step] <= thr;
    if (dark && start < 0) start = i;
    if (dark || start < 0) continue;
    const int last = i - 1;
    if (last - start > minLength)
      for (int k = start; k < last; ++k) p[k * step] = kWhite;
    start = -1;
  }
}

}  // namespace

void CancellaRighe(PVKImg* img, unsigned short minLength, unsigned char delta) {
  if (!usable(img)) return;
  const int thr = runThreshold(img, delta);
  for (int y = 0; y < img->height; ++y) eraseRuns(row(img, y), img->width, 1, minLength, thr);
}

void CancellaRigheV(PVKImg* img, unsigned short minLength, unsigned char delta) {
  if (!usable(img)) return;
  const int thr = runThreshold(img, delta);
  for (int x = 0; x < img->width; ++x)
    eraseRuns(img->data + x, img->height, img->stride, minLength, thr);
}

void pvk::core::LevelCounts::add(const uint8_t* p, size_t n) {
  size_t x = 0;
  for (; x + 4 <= n; x += 4) {
    ++part_[0][p[x]];
    ++part_[1][p[x + 1]];
    ++part_[2][p[x + 2]];
    ++part_[3][p[x + 3]];
  }
  for (; x < n; ++x) ++part_[0][p[x]];
}
