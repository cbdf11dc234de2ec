// Element arrays into the linear symbology cascade: widths from the input bytes, the font and
// the mirror switch from its first bytes, over a blank cleaned band.
#include <cstdint>
#include <cstring>
#include <vector>

#include "symbols/symbols.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3 || size > 2 * kMaxBarre) return 0;
  static const int16_t kFonts[] = {7, 300, 301, 303, 304, 306, 307, 308, 309, 310, 302, 0};
  MyOcr.currentFont = kFonts[data[0] % 12];
  MyOcr.barcodeMirror = data[1] & 1;
  MyOcr.pharmacode = (data[1] >> 1) & 1;
  std::memset(MyOcr.barcodeDisabled, 0, sizeof MyOcr.barcodeDisabled);
  int count = static_cast<int>(size - 2);
  std::vector<_TipoBarre> bars(count);
  uint32_t pos = 4;
  for (int i = 0; i < count; ++i) {
    uint32_t w = data[i + 2] ? data[i + 2] : 1;
    pos += w;
    bars[i] = {w, pos, i % 2 ? -50 : 50};
  }
  int width = static_cast<int>(pos / 2 + 8);
  if (width > 60000) return 0;
  std::vector<uint8_t> px(static_cast<size_t>(width) * 16);
  for (int x = 0; x < width; ++x)
    for (int y = 0; y < 16; ++y) px[static_cast<size_t>(y) * width + x] = (x / 3) % 2 ? 250 : 5;
  PVKImg img{static_cast<uint16_t>(width), 16, static_cast<uint16_t>(width), 300, px.data()};
  std::vector<char> text(kMaxBarcodeChars + 1), conf(kMaxBarcodeChars + 1);
  std::vector<unsigned short> start(kMaxBarcodeChars + 1), length(kMaxBarcodeChars + 1);
  bool hint = false;
  decodificaBarcode(count, bars.data(), text.data(), conf.data(), start.data(), length.data(), kMaxBarcodeChars,
                    &img, &hint);
  return 0;
}
