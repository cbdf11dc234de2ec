// Erasers of an 8-bit grey zone image (0 black, 255 white), changed in place: dark side borders
// cut off, dark runs touching the side edges, short isolated marks along the rows and small
// specks inside a light ring whitened. Nothing in the reading road calls them; they are offered
// to hosts of the engine that clean a zone before reading it.
#include "ocr/ocr.h"

namespace {

bool usable(const PVKImg* img) {
  return img != nullptr && img->data != nullptr && img->width > 0 && img->height > 0 && img->stride >= img->width;
}

uint8_t* rowOf(PVKImg* img, int y) { return img->data + static_cast<size_t>(y) * img->stride; }

// A column is light when its mean over rows 4 .. height - 5 exceeds 40.
bool lightColumn(PVKImg* img, int x) {
  const int rows = img->height - 8;
  long sum = 0;
  for (int y = 4; y < 4 + rows; ++y) sum += rowOf(img, y)[x];
  return sum > 40L * rows;
}

}  // namespace

int TagliaBordi(PVKImg* img) {
  if (!usable(img) || img->width < 16 || img->height < 16) return 0;
  const int w = img->width;
  int left = 4;
  while (left <= w - 9 && !lightColumn(img, left)) ++left;
  if (left == 4) left = 0;
  if (left != 0) {
    img->width = static_cast<uint16_t>(w - left > 0 ? w - left : 0);
    if (left >= w - 5) return left;
  }
  int right = w - 5;
  while (right > left && !lightColumn(img, right)) --right;
  if (right < w - 5) img->width = static_cast<uint16_t>(right - left > 0 ? right - left : 0);
  return left;
}

void RimuoviBordo(PVKImg* img, unsigned char thr) {
  if (!usable(img)) return;
  for (int y = 0; y < img->height; ++y) {
    uint8_t* row = rowOf(img, y);
    for (int x = 0; x < img->width && row[x] <= thr; ++x) row[x] = 255;
    for (int x = img->width - 1; x >= 0 && row[x] <= thr; --x) row[x] = 255;
  }
}

void CancellaSegni(PVKImg* img, unsigned short maxLen, unsigned short minGap, unsigned char thr) {
  if (!usable(img)) return;
  for (int y = 0; y < img->height; ++y) {
    uint8_t* row = rowOf(img, y);
    int prevStart = -1, prevLen = 0, prevGap = 0;  // the previous dark run and the light gap before it
    int lightRun = 0;                               // light pixels since the last dark one (or the row start)
    for (int x = 0; x < img->width;) {
      if (row[x] > thr) {
        ++lightRun;
        ++x;
        continue;
      }
      const int start = x;
      while (x < img->width && row[x] <= thr) ++x;
      if (prevStart >= 0 && prevLen < maxLen && prevGap > minGap && lightRun > minGap)
        for (int i = prevStart; i < prevStart + prevLen; ++i) row[i] = 255;
      prevStart = start;
      prevLen = x - start;
      prevGap = lightRun;
      lightRun = 0;
    }
  }
}

void CancellaQuadrati(PVKImg* img, unsigned short size, unsigned char thr) {
  if (!usable(img) || size < 3) return;
  const int e = size & ~1;
  const int side = e + 1;
  constexpr int kMargin = 3;
  for (int y0 = kMargin; y0 + side + kMargin <= img->height; ++y0) {
    for (int x0 = kMargin; x0 + side + kMargin <= img->width; ++x0) {
      if (rowOf(img, y0 + e / 2)[x0 + e / 2] >= thr) continue;
      bool ring = true;
      for (int i = 0; i < side && ring; ++i)
        ring = rowOf(img, y0)[x0 + i] >= thr && rowOf(img, y0 + e)[x0 + i] >= thr && rowOf(img, y0 + i)[x0] >= thr &&
               rowOf(img, y0 + i)[x0 + e] >= thr;
      if (!ring) continue;
      for (int y = y0; y < y0 + side; ++y)
        for (int x = x0; x < x0 + side; ++x) rowOf(img, y)[x] = 255;
    }
  }
}
