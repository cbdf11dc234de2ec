// The magnetic E13B recogniser on arbitrary peak arrays and guides, and the magnetic reading
// loop on arbitrary head bytes, planes, reverse flag, window and guide: counts stay in 0..127
// with the texts terminated, and nothing is read or written outside the arrays.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "micr/micr.h"
#include "fuzz_bytes.h"

namespace {

using Bytes = pvk::fuzz::Bytes;

struct Guide {
  char text[kCdlChars] = {}, conf[kCdlChars] = {};
  int start[kCdlChars] = {}, end[kCdlChars] = {};
  int n = 0;
  void fill(Bytes& b) {
    static const char symbols[] = "0123456789:=<;? ";
    n = b.next() % kCdlChars;
    int x = b.nextSigned16() & 0x3FFF;
    for (int i = 0; i < n; ++i) {
      text[i] = symbols[b.next() % 16];
      conf[i] = static_cast<char>(b.next() % 101);
      start[i] = x;
      x += b.next();
      end[i] = x;
      x += b.next() % 64;
    }
    text[n] = 0;
  }
};

void checkLine(const char* text, int n) {
  if (n < 0 || n > kCdlUsable || text[n] != 0) std::abort();
}

void recogniser(Bytes& b) {
  const int n = 16 + (b.nextSigned16() & 0x7FFF) % 4000;
  std::vector<int> a(n), e(n), s(n), f(n);
  // Sparse lobes: a position step, then a value for each of the four arrays.
  for (int x = b.next() % 16; x < n && b.n > 0; x += 1 + b.next() % 24) {
    a[x] = b.next() % 64;
    e[x] = b.next() % 64;
    s[x] = -(b.next() % 64);
    f[x] = -(b.next() % 64);
  }
  Guide g;
  g.fill(b);
  const int first = b.nextSigned16(), last = b.nextSigned16(), window = b.next() % 200;
  char text[kCdlChars], conf[kCdlChars];
  int height[kCdlChars], start[kCdlChars], end[kCdlChars];
  datiMICR[0] = 160;
  const int got = RiconosciCaratteriE13B(text, conf, height, start, end, g.text, g.start, g.end, g.n, a.data(),
                                         e.data(), s.data(), f.data(), first, last, n, window, 4, b.nextSigned16());
  checkLine(text, got);
}

// The reading loop on head bytes drawn from the input (a slow wave with the input's bytes on
// it, so that lobes appear), a few hundred to a few thousand samples long.
void loop(Bytes& b) {
  const int planes = b.next() % 4, font = b.next() & 1 ? 32 : 33;
  const int k = 3 * std::max(planes, 1);
  const size_t count = static_cast<size_t>(480 + (b.nextSigned16() & 0xFFF)) * static_cast<size_t>(k) + b.next() % 4;
  std::vector<uint8_t> bytes(count);
  const int period = 20 + b.next() % 200, depth = b.next() % 100;
  for (size_t i = 0; i < count; ++i) {
    const int wave = static_cast<int>((i / static_cast<size_t>(k)) % static_cast<size_t>(period)) * depth / period;
    bytes[i] = static_cast<uint8_t>(128 + wave - depth / 2 + static_cast<int8_t>(b.next()) / 8);
  }
  Guide g;
  g.fill(b);
  const int from = b.nextSigned16(), to = b.nextSigned16() & 0x7FFF;
  MyMICR.enabled = 1;
  MyMICR.samples = bytes.data();
  MyMICR.nSamples = bytes.size();
  MyMICR.reverse = b.next() & 1;
  MyAcq.planesPerLine = static_cast<uint8_t>(planes);
  MyOcr.currentFont = static_cast<int16_t>(font);
  MyOcr.cdlMicr = 0;
  fNameDatiMICR = nullptr;
  char text[kCdlChars], conf[kCdlChars];
  int start[kCdlChars], end[kCdlChars];
  const int got = LetturaMag(text, conf, start, end, from, to, g.text, g.conf, g.start, g.end, g.n);
  checkLine(text, got);
  if (g.n < 0 || g.n > kCdlUsable) std::abort();
  MyMICR.samples = nullptr;
  MyMICR.nSamples = 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  std::vector<uint8_t> copy(data, data + size);
  Bytes b{copy.data(), copy.size()};
  if (b.next() & 1) recogniser(b);
  else loop(b);
  return 0;
}
