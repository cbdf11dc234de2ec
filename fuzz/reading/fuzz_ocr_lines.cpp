// A one-bit band of any bits, read whole by the line assembly with one of the engine's fonts on
// a small template store and a buffer of any capacity: the count stays within the buffer, the
// text is terminated, every confidence is 1..100 (or 'd' beside CR and LF), every box inside the
// band.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ocr/ocr.h"
#include "ocr_fuzz_store.h"

namespace {

constexpr short kFonts[] = {4, 3, 9, 12, 202, 935, 936, 1, 944, 945, 2, 39};
constexpr char kChars[] = "0123456789ABCDEO-'/I#<.,";

// One database whose cells are made from the character codes, in a directory of its own.
void writeStore() {
  static bool done = false;
  if (done) return;
  done = true;
  pvk::fuzz::writeOcrStore(kChars, "FUZZLINES04.DB");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  writeStore();
  if (size < 5 || size > 4096) return 0;
  const short font = kFonts[data[0] % (sizeof kFonts / sizeof kFonts[0])];
  const uint16_t w = static_cast<uint16_t>(8 + data[1] % 160);
  const uint16_t h = static_cast<uint16_t>(12 + data[2] % 120);
  const int maxChars = 1 + data[3] % 64;
  MyOcr.typeDoc = static_cast<uint16_t>(data[4] % 14);
  const uint16_t stride = static_cast<uint16_t>((w + 3) & ~3);
  std::vector<uint32_t> band(static_cast<size_t>(stride) * h, 0);
  const size_t bits = (size - 5) * 8;
  for (size_t i = 0; i < band.size() && i < bits; ++i) band[i] = (data[5 + i / 8] >> (i % 8)) & 1u;

  // The set-up of the font, then our store in its place: registration forgets the engine image,
  // so it comes before the band.
  InitOCR(font, false, 1.0f);
  ocr_clear();
  caricadati = true;
  if (!ocr_init("fuzzlines04.db", 1, (data[0] & 0x40) != 0, 1.0f, (data[0] & 0x20) != 0, false)) std::abort();
  MyOcr.currentFont = font;
  MyOcr.fixedSize = data[0] & 0x80 ? 1 : 0;
  MyOcr.singleChar = data[4] & 0x80 ? 1 : 0;
  aw = 22;
  ah = 32;
  if (ocr_pre_process(band.data(), w, h) != 1) {
    imag = nullptr;
    return 0;
  }
  std::vector<char> text(maxChars + 1, 'x'), conf(maxChars + 1, 'x');
  std::vector<ChInfo> info(maxChars + 1);
  const short n = ocr_read(text.data(), conf.data(), info.data(), maxChars, 0);
  if (n < -1 || n >= maxChars || text[maxChars] != 'x' || conf[maxChars] != 'x') std::abort();
  for (int i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(conf[i]);
    if (c < 1 || c > 100) std::abort();
    if ((text[i] == '\r' || text[i] == '\n') && c != 'd') std::abort();
    if (text[i] != '\r' && text[i] != '\n' && text[i] != ' ' && info[i].right > width) std::abort();
  }
  if (n >= 0 && text[n] != 0) std::abort();
  imag = nullptr;
  return 0;
}
