// The DataMatrix reader entry on small arbitrary zones: size, stride, resolution, the
// document flags it consults and the pixels come from the input; no read outside the zone,
// no write outside the text buffer, every result a length, 0 or -1.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/records.h"
#include "symbols/symbols.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8 || size > 1 << 14) return 0;
  const int width = 32 + data[0] % 64, height = 32 + data[1] % 64;
  const int stride = width + data[2] % 4;
  static const uint16_t kDpi[] = {0, 10, 24, 200, 300, 600};
  const uint16_t dpi = kDpi[data[3] % 6];
  std::memset(&MyITACheck, 0, sizeof MyITACheck);
  MyITACheck.active = data[4] & 1;
  MyITACheck.semicolonAt10 = (data[4] >> 1) & 1;
  MyITACheck.equalsAt10 = (data[4] >> 2) & 1;
  MyOcr.typeDoc = static_cast<uint16_t>(data[4] >> 4);
  MyOcr.dmDpi = dpi;
  MyDev.productId = 0;
  const unsigned short capacity = static_cast<unsigned short>(1 + data[5] % 64);
  // Pixels: the input repeated, scaled up in blocks so shapes survive the outline's blur.
  const int block = 1 + data[6] % 6;
  std::vector<uint8_t> pixels(static_cast<size_t>(stride) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < stride; ++x) {
      const size_t i = static_cast<size_t>(y / block) * 64 + x / block;
      pixels[static_cast<size_t>(y) * stride + x] = (data[7 + i % (size - 7)] & 1) ? 20 : 235;
    }
  PVKImg img{static_cast<uint16_t>(width), static_cast<uint16_t>(height), static_cast<uint16_t>(stride), dpi,
             pixels.data()};
  std::vector<char> out(capacity);
  unsigned short len = capacity;
  const int r = PDataMatrixDecode(&img, out.data(), len);
  if (r < -1 || r >= capacity) __builtin_trap();
  return 0;
}
