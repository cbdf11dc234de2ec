// Small grey images into the linear barcode reader of a zone: size, resolution, font and
// buffer size from the first bytes, the pixels from the rest (repeated to fill the image).
#include <cstdint>
#include <cstring>
#include <vector>

#include "symbols/symbols.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8 || size > 1 << 16) return 0;
  int width = 16 + data[0] * 3 + (data[1] & 3) * 256;  // up to 1045
  int height = 1 + data[2] % 96;
  int dpi = (data[3] % 7) * 100;                       // 0 .. 600
  int maxChars = data[4];
  static const int16_t kFonts[] = {7, 300, 301, 303, 304, 306, 307, 308, 309, 310};
  MyOcr.currentFont = kFonts[data[5] % 10];
  MyOcr.barcodeMirror = data[6] & 1;
  MyOcr.pharmacode = (data[6] >> 1) & 1;
  std::memset(MyOcr.barcodeDisabled, 0, sizeof MyOcr.barcodeDisabled);
  const uint8_t* px = data + 7;
  size_t n = size - 7;
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height);
  // Columns from the input, so that bars run down the image as in a barcode.
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) pixels[static_cast<size_t>(y) * width + x] = px[(x + y * (data[6] >> 2)) % n];
  PVKImg img{static_cast<uint16_t>(width), static_cast<uint16_t>(height), static_cast<uint16_t>(width),
             static_cast<uint16_t>(dpi), pixels.data()};
  std::vector<char> text(maxChars + 1), conf(maxChars + 1);
  ReadBarCode(img, text.data(), conf.data(), static_cast<unsigned short>(maxChars));
  return 0;
}
