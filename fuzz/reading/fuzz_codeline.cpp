// Codelines and bar signals as a reading may produce them: arbitrary entries through the editing
// operations, the clean-ups and the merge of two readings, and arbitrary profiles through the
// lobe extractor and the character decoder. Counts stay in 0..127 with the text terminated, and
// nothing is read or written outside the arrays.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "micr/micr.h"
#include "fuzz_bytes.h"

namespace {

using Bytes = pvk::fuzz::Bytes;

struct Line {
  char text[kCdlChars], conf[kCdlChars];
  int start[kCdlChars], end[kCdlChars], height[kCdlChars];
  int n = 0;
};

void fill(Line& l, Bytes& b) {
  std::memset(&l, 0, sizeof l);
  static const char symbols[] = "0123456789:;<=>? ";
  const int count = b.next() % kCdlChars;
  int x = b.nextSigned16();
  for (int i = 0; i < count; ++i) {
    l.text[i] = symbols[b.next() % 17];
    l.conf[i] = static_cast<char>(b.next());
    l.start[i] = x;
    x += static_cast<int8_t>(b.next());
    l.end[i] = x;
    x += static_cast<int8_t>(b.next());
    l.height[i] = i;
  }
  l.n = count;
}

void check(const Line& l) {
  if (l.n < 0 || l.n > kCdlUsable || l.text[l.n] != 0) std::abort();
}

void edits(Bytes& b) {
  Line a, o;
  fill(a, b);
  fill(o, b);
  InitDatiCMC(static_cast<short>(b.next()), 0.3f + b.next() / 64.0f);
  while (b.n > 0) {
    const int op = b.next() % 12, k = b.next() - 64, w = b.next();
    int index = k;
    switch (op) {
      case 0: AggungiCar(a.text, a.conf, a.start, a.end, a.height, k, a.n, '7', 9, w, w + 5, 1); break;
      case 1: RimuoviCar(a.text, a.conf, a.start, a.end, a.height, k, a.n); break;
      case 2: RimuoviCarEDecrementa(a.text, a.conf, a.start, a.end, a.height, index, a.n); break;
      case 3: if (a.n > 0) SostituisciCarattereCMC(a.text, a.conf, a.start, a.end, a.height, w % a.n, (k & 127) % a.n); break;
      case 4: RimuoviCHNR(a.text, a.conf, a.start, a.end, a.height, a.n); break;
      case 5: VerificaCHNR(a.text, a.conf, a.start, a.end, a.height, a.n, k); break;
      case 6: VerificaAggiungiSpazi(a.text, a.conf, a.start, a.end, a.height, a.n, w, k & 1); break;
      case 7: VerificaCaratteriTroppoVicini(a.text, a.conf, a.start, a.end, a.n); break;
      case 8: PulisciAssegniMinima(a.text, a.conf, a.n); break;
      case 9: VerificaCdlFinale(a.text, a.conf, a.start, a.end, a.height, a.n); break;
      default: {
        int dis = 0;
        Line c = o;
        ConfrontaCMCMag(a.text, a.conf, a.start, a.end, a.n, c.text, c.conf, c.start, c.end, c.n, w % 40, k, w, 81,
                        0, dis, k & 1);
        check(c);
        if (dis < 0) std::abort();
      }
    }
    check(a);
  }
}

void signal(Bytes& b) {
  InitDatiCMC(0, 0.3f + b.next() / 64.0f);
  const int threshold = b.next();
  const int n = static_cast<int>(b.n / 2);
  std::vector<int> sig(n), a(n), c(n), d(n), e(n);
  for (int i = 0; i < n; ++i) sig[i] = b.nextSigned16();
  std::vector<int> profile = sig;
  if (!ElaboraSegnale(sig.data(), a.data(), c.data(), d.data(), e.data(), n, 0, n)) std::abort();
  for (int i = 0; i < n; ++i) {
    if (a[i] <= threshold) continue;
    int s = i, end = 0, mp = 0, mk = 0;
    char conf = 4;
    decodCMC(end, s, conf, n, profile.data(), mp, 0, a.data(), threshold, mk, 0);
    if (end > i) i = end;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1 << 16)) return 0;
  std::vector<uint8_t> copy(data, data + size);
  Bytes b{copy.data() + 1, size - 1};
  if (copy[0] & 1)
    signal(b);
  else
    edits(b);
  return 0;
}
