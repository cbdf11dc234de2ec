// The cut of one zone out of the OCR image of its side: the zone's 1/150-inch rectangle in
// pixels, clipped to the image, as a view of the source pixels or, turned or mirrored, as an
// image of its own. The source (the cached OCR image) is never written.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/trace.h"
#include "image/image.h"
#include "reading/reading.h"

namespace {

constexpr float kPi = 3.14159265358979f;

// A value at 150 dpi in pixels of an image at dpi, in single precision, truncated toward zero.
// Values beyond what an i64 holds saturate: they lie outside any image all the same.
int64_t toPixels(int64_t value, uint16_t dpi) {
  const float f = static_cast<float>(value) * static_cast<float>(dpi) / 150.0f;
  constexpr float kLimit = 9.2e18f;  // below 2^63
  if (!(f > -kLimit)) return -static_cast<int64_t>(kLimit);
  if (!(f < kLimit)) return static_cast<int64_t>(kLimit);
  return static_cast<int64_t>(f);
}

float angleOf(short rotation) {
  switch (rotation) {
    case 256: return 90.0f;
    case 768: return -90.0f;
    case 512: return -180.0f;
    default: return 0.0f;
  }
}

PVKImg* newHeader(size_t extra) {
  auto* h = static_cast<PVKImg*>(std::calloc(1, sizeof(PVKImg) + extra));
  if (!h) {
    MyDev.lastResult = PVK_ERR_OUT_OF_MEMORY;
    WriteTrace("err - ", "Image codeline", static_cast<int>(errno), false);
  }
  return h;
}

// An unrotated cut to be mirrored: one block holding the header and a copy of the pixels, so
// that the caller's free of the header releases both and the source stays as it was. Each row
// of the view holds rowBytes readable bytes (the rest of the source row past the cut's left).
PVKImg* copyOfView(const PVKImg& view, size_t rowBytes) {
  PVKImg* h = newHeader(static_cast<size_t>(view.stride) * view.height);
  if (!h) return nullptr;
  *h = view;
  h->data = reinterpret_cast<uint8_t*>(h + 1);
  for (size_t y = 0; y < view.height; ++y) std::memcpy(h->data + y * view.stride, view.data + y * view.stride, rowBytes);
  return h;
}

// Each row reversed left to right, per plane segment of the row.
void mirrorRows(PVKImg& img, unsigned char planes) {
  if (planes == 0) return;
  const int segment = img.stride / planes;
  const int n = std::min<int>(img.width, segment);
  for (uint16_t y = 0; y < img.height; ++y)
    for (int p = 0; p < planes; ++p) {
      uint8_t* row = img.data + static_cast<size_t>(y) * img.stride + static_cast<size_t>(p) * segment;
      std::reverse(row, row + n);
    }
}

}  // namespace

namespace pvk::reading {

PVKRoi zoneToPixels(const PVKOCRZone& zone, uint16_t dpi) {
  PVKRoi r{toPixels(zone.left, dpi), toPixels(zone.top, dpi), toPixels(zone.width, dpi), toPixels(zone.height, dpi)};
  if (r.width == 0) r.x = 0;
  if (r.height == 0) r.y = 0;
  return r;
}

bool clipRoi(PVKRoi& roi, int64_t W, int64_t H) {
  int64_t x = roi.x, y = roi.y;
  int64_t width = roi.width == 0 ? W : roi.width;
  int64_t height = roi.height == 0 ? H : roi.height;
  // Negative offsets count from the far edge; compared without negating (INT64_MIN has no
  // negative).
  if (x < 0) x = x > -W ? W + x : 0;
  if (y < 0) {
    if (y > -H) {
      y = H + y;
    } else {
      // The overshoot comes off the height; summed wide, as both may lie far out.
      const __int128 h = static_cast<__int128>(height) + y + H;
      height = h <= 0 ? 0 : h >= H ? H : static_cast<int64_t>(h);
      y = 0;
    }
  }
  x = std::min(x, W);
  width = std::min(width, W);
  y = std::min(y, H);
  height = std::min(height, H);
  width = std::max<int64_t>(std::min(width, W - x), 0);
  height = std::max<int64_t>(std::min(height, H - y), 0);
  roi = PVKRoi{x, y, width, height};
  return width > 0 && height > 0;
}

bool cutIsRotated(short rotation) { return angleOf(rotation) != 0.0f; }

void releaseCut(PVKImg* cut, short rotation) {
  if (!cut) return;
  if (cutIsRotated(rotation)) std::free(cut->data);
  std::free(cut);
}

}  // namespace pvk::reading

PVKImg* ElaboraRoi(PVKImg* image, PVKRoi roi, short rotation, unsigned char planes, bool mirror) {
  // An image whose rows are shorter than its width has no zone to give.
  if (!image || !image->data || image->stride < image->width) {
    WriteTrace("war - ", "Zone is outside the document", false);
    return nullptr;
  }
  const float angle = angleOf(rotation);
  if (!pvk::reading::clipRoi(roi, image->width, image->height)) {
    WriteTrace("war - ", "Zone is outside the document", false);
    return nullptr;
  }
  PVKImg view{static_cast<uint16_t>(roi.width), static_cast<uint16_t>(roi.height), image->stride, image->dpi,
              image->data + static_cast<size_t>(roi.y) * image->stride + static_cast<size_t>(roi.x)};
  PVKImg* out = nullptr;
  if (angle != 0.0f) {
    out = newHeader(0);
    if (!out) return nullptr;
    if (!StretchRotateStretch(view, *out, 1, 1, 1, 1, angle * kPi / 180.0f, planes, false) || !out->data) {
      std::free(out->data);
      std::free(out);
      return nullptr;
    }
    // A cut of a pixel or two can turn into nothing: no zone to give.
    if (out->width == 0 || out->height == 0) {
      std::free(out->data);
      std::free(out);
      WriteTrace("war - ", "Zone is outside the document", false);
      return nullptr;
    }
  } else if (mirror && planes != 0) {
    out = copyOfView(view, static_cast<size_t>(image->stride) - static_cast<size_t>(roi.x));
  } else {
    out = newHeader(0);
    if (out) *out = view;
  }
  if (out && mirror) mirrorRows(*out, planes);
  return out;
}
