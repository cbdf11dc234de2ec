// The magnetic E13B recogniser on arbitrary peak arrays and guides, and the magnetic reading
// loop on arbitrary head bytes, planes, reverse flag, window and guide: counts stay in 0..127
// with the texts terminated, and nothing is read or written outside the arrays.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "micr/micr.h"

namespace {

struct Bytes {
  const uint8_t* p;
  size_t n;
  uint8_t next() { return n ? (--n, *p++) : 0; }
  int next16() { return static_cast<int16_t>(next() | next() << 8); }
};

struct Guide {
  char text[kCdlChars] = {}, conf[kCdlChars] = {};
  int start[kCdlChars] = {}, end[kCdlChars] = {};
  int n = 0;
  void fill(Bytes& b) {
    static const char symbols[] = "0123456789:=<;? ";
    n = b.next() % kCdlChars;
    int x = b.next16() & 0x3FFF;
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
  const int n = 16 + b.next16() % 4000;
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
  const int first = b.next16(), last = b.next16(), window = b.next() % 200;
  char text[kCdlChars], conf[kCdlChars];
  int height[kCdlChars], start[kCdlChars], end[kCdlChars];
  datiMICR[0] = 160;
  const int got = RiconosciCaratteriE13B(text, conf, height, start, end, g.text, g.start, g.end, g.n, a.data(),
                                         e.data(), s.data(), f.data(), first, last, n, window, 4, b.next16());
  checkLine(text, got);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  std::vector<uint8_t> copy(data, data + size);
  Bytes b{copy.data(), copy.size()};
  recogniser(b);
  return 0;
}
