// The optical CMC7 reader from its OCR pass on, with an arbitrary image and an arbitrary OCR
// reading (boxes outside the image, inverted, counts up to 127, any confidences and thresholds):
// the count handed out stays below maxChars, the text is terminated there, and nothing past the
// caller's maxChars bytes is written.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "micr/micr.h"
#include "ocr/ocr.h"
#include "fuzz_bytes.h"

namespace {

using Bytes = pvk::fuzz::Bytes;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 16 || size > 1 << 16) return 0;
  Bytes b{data, size};
  const int width = 64 + b.next16() % 700, height = 1 + b.next() % 90;
  const int stride = (width + 3) & ~3;
  OcrReading ocr{};
  ocr.n = b.next() % kOcrChars;
  static const char symbols[] = "0123456789:;<=>? ";
  for (int k = 0; k < ocr.n; ++k) {
    ocr.text[k] = symbols[b.next() % 17];
    ocr.conf[k] = static_cast<char>(b.next());
    ocr.info[k].left = static_cast<uint16_t>(b.next16() % (width + 40));
    ocr.info[k].right = static_cast<uint16_t>(ocr.info[k].left + b.next() % 40 - 5);
    ocr.info[k].top = static_cast<uint16_t>(b.next() % (height + 20));
    ocr.info[k].bottom = static_cast<uint16_t>(ocr.info[k].top + b.next() % 40);
    ocr.info[k].agreement = b.next();
  }
  MyOcr.cmc7Thr = b.next();
  MyOcr.modeByte = b.next() & 1;
  MyOcr.engineScale = 0.5f + (b.next() % 4) / 2.0f;
  sMean = b.next();
  const short font = (b.next() & 1) ? 111 : 202;
  const unsigned short maxChars = static_cast<unsigned short>(1 + b.next() % 128);
  const uint16_t dpi = static_cast<uint16_t>(b.next() % 4 * 100);

  // The rest of the input is the image, repeated to fill it: bars and paper as the bytes say.
  std::vector<uint8_t> pixels(static_cast<size_t>(stride) * height, 255);
  for (size_t i = 0; i < pixels.size() && b.n > 0; ++i) pixels[i] = b.p[i % b.n];
  PVKImg img{static_cast<uint16_t>(width), static_cast<uint16_t>(height), static_cast<uint16_t>(stride), dpi,
             pixels.data()};

  std::vector<char> text(maxChars + 8, '#'), conf(maxChars + 8, '#');
  std::vector<ChInfo> info(maxChars);
  const int n = pvk::micr::readCmcBars(img, ocr, text.data(), conf.data(), info.data(), font, maxChars);
  if (n < -1 || n >= maxChars) std::abort();
  if (n > 0 && text[n] != 0) std::abort();
  for (size_t k = maxChars; k < text.size(); ++k)
    if (text[k] != '#' || conf[k] != '#') std::abort();
  return 0;
}
