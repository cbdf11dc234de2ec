// The PDF417 zone reader on small grey images made of the input bytes: the first two give the
// width and height, the rest the pixels (repeated when short). Whatever it reads must fit the
// buffers and come with confidence 100.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/records.h"
#include "symbols/symbols.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 3 || size > 65536)
    return 0;
  std::memset(&MyLog, 0, sizeof MyLog);  // no trace file
  MyAcq.colourLines = 1;
  MyAcq.planesPerLine = 1;
  const int width = 120 + data[0] * 2, height = 8 + data[1] % 120;
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height);
  for (size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = data[2 + i % (size - 2)];
  PVKImg img{static_cast<uint16_t>(width), static_cast<uint16_t>(height),
             static_cast<uint16_t>(width), 300, pixels.data()};
  const unsigned short maxChars = 64;
  std::vector<char> text(maxChars + 8, 'G'), conf(maxChars + 8, 'G');
  int n = ReadPdf(img, text.data(), conf.data(), maxChars);
  if (n >= maxChars || (n > 0 && (text[n] != 0 || conf[n] != 0)))
    std::abort();
  for (int i = 0; i < n; ++i)
    if (conf[i] != 100)
      std::abort();
  for (size_t i = maxChars; i < text.size(); ++i)
    if (text[i] != 'G' || conf[i] != 'G')
      std::abort();
  return 0;
}
