// The QR reader entry on small arbitrary images: whatever it finds, it returns 0 with the
// text empty and the length unchanged, and reads nothing outside the image.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "symbols/symbols.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4 || size > 16384) return 0;
  const int width = 1 + data[0] % 128, extra = data[1] % 4;
  const int stride = width + extra;
  const int height = static_cast<int>((size - 4) / stride);
  if (height < 1) return 0;
  // The pixels in a buffer of exactly the rows they fill, the last row no longer than its width.
  std::vector<uint8_t> pixels(data + 4, data + 4 + static_cast<size_t>(stride) * (height - 1) + width);
  PVKImg img{static_cast<uint16_t>(width), static_cast<uint16_t>(height), static_cast<uint16_t>(stride),
             static_cast<uint16_t>(data[2] | (data[3] << 8)), pixels.data()};
  char out[8] = {'x'};
  unsigned short len = sizeof out;
  if (PQrCodeDecode(&img, out, len) != 0 || len != sizeof out || out[0] != 0) abort();
  return 0;
}
