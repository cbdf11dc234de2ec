// JPEG auto-quality: re-encodes one side with a moving quality until the file size falls in
// the [IQA] window of that side, in at most eleven encodings.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/shims.h"
#include "image/image.h"
#include "image/jpeg_autoquality.h"

namespace pvk::image {

QualityWindow autoQualityWindow(uint16_t kbMin, uint16_t kbMax)
{
  QualityWindow w{static_cast<int64_t>(kbMin) * 1024, static_cast<int64_t>(kbMax) * 1024};
  // A wide window is narrowed by 3 KiB at each end, so a result lands well inside it.
  if (w.max - w.min > 6144) {
    w.min += 3072;
    w.max -= 3072;
  }
  return w;
}

int clampQuality(int q) { return q < 1 ? 1 : q > 100 ? 100 : q; }

namespace {

int clamp99(int64_t n) { return n < 1 ? 1 : n > 99 ? 99 : static_cast<int>(n); }

// The mean of a bound and the current quality, kept inside 1..99.
int meanWith(int bound, int q)
{
  int sum = bound + q;
  if (sum >= 200)
    return 99;
  if (sum < 2)
    return 1;
  return sum / 2;
}

}  // namespace

QualityStep nextQuality(int& q, int64_t size, const QualityWindow& w, int& hi, int& lo)
{
  int next;
  if (size > w.max) {
    hi = q < hi ? q : hi;
    if (q == 1)
      return QualityStep::StopAtOne;
    int64_t n = ((w.min + w.max) / 2 * q) / size;
    if (n < q)
      next = clamp99(n);
    else
      next = q < 2 ? 1 : q > 100 ? 99 : q - 1;
  } else if (size < w.min) {
    lo = q > lo ? q : lo;
    if (q == 99)
      return QualityStep::StopAt99;
    int64_t n = size > 0 ? (w.min * q) / size : 99;
    if (n > q)
      next = clamp99(n);
    else
      next = q < 0 ? 1 : q >= 99 ? 99 : q + 1;
  } else {
    return QualityStep::Inside;
  }
  if (next > hi)
    next = meanWith(hi, q);
  else if (next < lo)
    next = meanWith(lo, q);
  q = next;
  return QualityStep::Next;
}

namespace {

char sideLetter(int side) { return side == 1 ? 'F' : side == 2 ? 'B' : 'R'; }

void dumpResult(int side, const uint8_t* data, long size)
{
  if (!MyOcr.debugDump || size < 1)
    return;
  char path[600];
  std::snprintf(path, sizeof path, "%s/%s%c.jpg", MyOcr.dumpDir, MyIQA.debugStem, sideLetter(side));
  DeleteFile(path);
  writeWholeFile(path, data, static_cast<size_t>(size));
}

void traceSearchEnd(const char* format, int side, int attempts, long size)
{
  char line[200];
  std::snprintf(line, sizeof line, format, side, attempts, static_cast<int>(size / 1000));
  traceInfo(line);
}

}  // namespace

uint8_t* encodeAutoQuality(const AutoQualityRequest& r, int* sizeOut)
{
  int side = r.side < 0 || r.side > 2 ? 0 : r.side;
  // The starting quality comes from the INI file: outside 1..100 the encoder would refuse it.
  int q = clampQuality(MyIQA.quality[side]);
  QualityWindow w = autoQualityWindow(MyIQA.lower[side], MyIQA.upper[side]);
  int hi = 100, lo = 0, attempts = 0;
  long size = 0;
  uint8_t* encoded = nullptr;
  for (;;) {
    size = r.bmpSize;
    encoded = EncodeImage(r.bmp, &size, q, r.threshold, r.format, 0, r.dpi, r.dpi, r.bpp);
    if (!encoded) {
      traceError("EncodeImage returns NULL Pointer");
      setResult(-1);
      return nullptr;
    }
    if (!sizeOut)
      break;
    QualityStep step = nextQuality(q, size, w, hi, lo);
    if (step == QualityStep::Inside) {
      if (MyLog.Debug & 0x100) {
        char line[100];
        std::snprintf(line, sizeof line, "auto quality\t%c\t%02d\t%d\t%d", sideLetter(side), q,
                      static_cast<int>(size / 1024), attempts);
        traceInfo(line);
      }
      break;
    }
    if (step == QualityStep::StopAtOne) {
      traceInfo("autoquality stopped, quality 1 reached", attempts);
      break;
    }
    if (step == QualityStep::StopAt99) {
      traceSearchEnd("side %d, autoquality stopped, quality 99 reached after %d attempts, finale size is %dK",
                     side, attempts, size);
      break;
    }
    if (attempts == 10) {
      traceSearchEnd("side %d, autoquality stopped after %d attempts, finale size is %dK", side, 10,
                     size);
      break;
    }
    ++attempts;
    std::free(encoded);
  }
  dumpResult(side, encoded, size);
  traceSearchEnd("autoquality - side %d, %d attempts, size %dK", side, attempts, size);
  if (sizeOut)
    *sizeOut = static_cast<int>(size);
  return encoded;
}

}  // namespace pvk::image
