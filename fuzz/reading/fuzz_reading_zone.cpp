// Zone cuts of small images as a document may hold them: any i64 rectangle (far edges, zero
// sizes, values that overflow when scaled), any rotation word, planes and mirror flag. The cut
// stays inside the source, the source is never written, and every cut is released. Then the
// zone is read whole, with any font, option and capacity.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "reading/reading.h"
#include "fuzz_bytes.h"

namespace {

using Bytes = pvk::fuzz::Bytes;

void cut(Bytes& b) {
  const int w = 1 + b.next() % 96, h = 1 + b.next() % 96;
  const uint8_t planes = b.next() % 4;
  const int stride = w * (planes ? planes : 1) + b.next() % 8;
  const auto rotation = static_cast<short>(b.next16());
  const bool mirror = b.next() & 1;
  PVKOCRZone zone{b.next64(), b.next64(), b.next64(), b.next64(), 1, static_cast<int16_t>(b.next16()), 0, 0};
  const auto dpi = static_cast<uint16_t>(b.next16() % 700);
  std::vector<uint8_t> pixels(static_cast<size_t>(stride) * h);
  for (uint8_t& v : pixels) v = b.next();
  const std::vector<uint8_t> before = pixels;
  PVKImg img{static_cast<uint16_t>(w), static_cast<uint16_t>(h), static_cast<uint16_t>(stride), dpi, pixels.data()};
  const PVKRoi roi = pvk::reading::zoneToPixels(zone, dpi);
  PVKImg* out = ElaboraRoi(&img, roi, rotation, planes, mirror);
  if (out) {
    if (out->width == 0 || out->height == 0) std::abort();
    if (!pvk::reading::cutIsRotated(rotation) && !mirror) {
      // A view: every row of the cut lies inside the source.
      const uint8_t* last = out->data + static_cast<size_t>(out->height - 1) * out->stride + out->width;
      if (out->data < pixels.data() || last > pixels.data() + pixels.size()) std::abort();
    }
    volatile uint8_t sum = 0;
    for (int y = 0; y < out->height; ++y)
      for (int x = 0; x < out->width; ++x) sum = static_cast<uint8_t>(sum + out->data[static_cast<size_t>(y) * out->stride + x]);
    pvk::reading::releaseCut(out, rotation);
  }
  if (pixels != before) std::abort();

  // The same zone read whole: the caller's buffers of maxChars bytes are never overrun (the
  // guard bytes around them stay), the count fits them, and the source is not written.
  if (planes != 1 || dpi == 0) return;
  constexpr size_t kGuard = 16;
  const uint16_t maxChars = b.next() % 48;
  zone.option = static_cast<int16_t>(b.next() % 3) - 1;
  std::vector<char> text(maxChars + 2 * kGuard, 'g'), conf(maxChars + 2 * kGuard, 'g');
  std::vector<ChInfo> info(maxChars + 1);
  Vx3Read1Zone(&img, &zone, rotation, maxChars, text.data() + kGuard, conf.data() + kGuard, info.data(), 1, nullptr);
  if (zone.charsRead >= maxChars && zone.charsRead != 0) std::abort();
  for (size_t i = 0; i < kGuard; ++i)
    if (text[i] != 'g' || conf[i] != 'g' || text[kGuard + maxChars + i] != 'g' || conf[kGuard + maxChars + i] != 'g')
      std::abort();
  if (pixels != before) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool once = [] {
    MyAcq.colourLines = 1;
    MyAcq.planesPerLine = 1;
    MyLog.Log = 0;
    return true;
  }();
  (void)once;
  if (size < 1 || size > (1 << 15)) return 0;
  std::vector<uint8_t> copy(data, data + size);
  Bytes b{copy.data(), size};
  cut(b);
  return 0;
}
