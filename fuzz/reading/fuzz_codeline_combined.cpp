// The combined codeline readers from their optical pass on, with arbitrary head bytes, optical
// readings, offsets, dpis and window sizes: the count handed out stays below maxChars, and
// nothing past the caller's maxChars bytes is written.
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
  if (size < 24 || size > 1 << 16) return 0;
  Bytes b{data, size};
  OcrReading opt{};
  opt.n = static_cast<int>(b.next() % (kOcrChars + 2)) - 1;
  static const char symbols[] = "0123456789:;<=>? ";
  for (int k = 0; k < opt.n; ++k) {
    opt.text[k] = symbols[b.next() % 17];
    opt.conf[k] = static_cast<char>(b.next());
    opt.info[k].left = static_cast<uint16_t>(b.next16());
    opt.info[k].right = static_cast<uint16_t>(opt.info[k].left + b.next() % 60 - 10);
    opt.info[k].top = b.next();
    opt.info[k].bottom = b.next();
    opt.info[k].agreement = b.next();
  }
  MyMICR.enabled = b.next() & 1;
  MyMICR.side = b.next() % 4;
  MyMICR.samplesPer3Px = b.next() % 16;
  MyMICR.refOffset = static_cast<int16_t>(b.next16());
  MyMICR.opticalOffset300 = static_cast<uint16_t>(b.next16());
  MyMICR.reverse = b.next() & 1;
  MyAcq.planesPerLine = 1 + b.next() % 2;
  MyAcq.dpiV = static_cast<uint16_t>(b.next() % 4 * 150);
  MyOcr.ocrImg[MyMICR.side % kSides].dpi = static_cast<uint16_t>(b.next() % 5 * 150);
  MyDev.img[MyMICR.side % kSides].rowsUsed = static_cast<uint16_t>(b.next16());
  MyDev.img[MyMICR.side % kSides].fullHeight = static_cast<uint16_t>(b.next16());
  MyDev.productId = b.next();
  MyOcr.modeByte = b.next() & 1;
  MyOcr.currentFont = (b.next() & 1) ? 32 : 33;
  const bool e13b = b.next() & 1;
  const short font = (b.next() & 1) ? 32 : 202;
  const unsigned short maxChars = static_cast<unsigned short>(1 + b.next() % 128);
  // A zone of 100 to 400 dpi (0 is refused before the combined stage).
  const auto zoneDpi = static_cast<uint16_t>(b.next() % 4 * 100 + 100);
  // The rest of the input is the head's bytes.
  std::vector<uint8_t> samples(b.p, b.p + b.n);
  MyMICR.samples = samples.empty() ? nullptr : samples.data();
  MyMICR.nSamples = samples.size();
  fNameDatiMICR = nullptr;
  MyOcr.cdlMicr = 0;

  uint8_t pixel = 255;
  PVKImg img{64, 12, 64, zoneDpi, &pixel};
  std::vector<char> text(maxChars + 8, '#'), conf(maxChars + 8, '#');
  std::vector<ChInfo> info(maxChars);
  const int n = e13b ? pvk::micr::combineE13B(img, opt, text.data(), conf.data(), maxChars)
                     : pvk::micr::combineCmc7(img, opt, text.data(), conf.data(), info.data(), font, maxChars);
  if (n < -1 || n >= maxChars) std::abort();
  if (n > 0 && text[n] != 0) std::abort();
  for (size_t k = maxChars; k < text.size(); ++k)
    if (text[k] != '#' || conf[k] != '#') std::abort();
  return 0;
}
