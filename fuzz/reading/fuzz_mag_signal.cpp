// The magnetic signal operations on arbitrary head bytes and arbitrary arguments: the band
// filter with cut-offs anywhere, the moving average with any window, the measures and the
// alignment of two arbitrary readings; nothing is read or written outside the arrays.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "micr/micr.h"

namespace {

struct Bytes {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  int next() { return at < size ? data[at++] : 0; }
  int wide() { return static_cast<int16_t>(next() | (next() << 8)); }
};

void filter(Bytes& in, std::vector<int>& sig) {
  const int n = static_cast<int>(sig.size());
  const int start = in.next() % 64, end = std::min(n, start + 101 + in.wide() % 2000);
  std::vector<int> out(sig.size() + 1, 0);
  if (end <= start || !CreaFFT(sig.data(), start, end, in.wide(), in.wide(), in.next() / 8.0f, in.next() / 8.0f))
    return;
  for (int pass = 0; pass < 3; ++pass) FiltraFFT(out.data(), in.wide(), in.wide(), in.next() & 1, in.next() & 2, in.wide());
  freeFFT();
}

void readings(Bytes& in) {
  char ta[128], tb[128], marks[128];
  int sa[128], ea[128], sb[128], eb[128];
  int na = in.next() % 129, nb = in.next() % 129;
  const char symbols[] = "0123456789:;<=> ?";
  int pos = 0;
  for (int i = 0; i < 128; ++i) {
    ta[i] = symbols[in.next() % 17];
    tb[i] = symbols[in.next() % 17];
    pos += in.next();
    sa[i] = pos;
    ea[i] = pos + in.next();
    sb[i] = pos + in.wide() % 300;
    eb[i] = sb[i] + in.next();
  }
  int agree = 0, disagree = 0;
  ValutaCMC(ta, sa, ea, na, marks, tb, sb, eb, nb, in.next(), agree, disagree, true, in.wide(), in.wide());
  if (na < 0 || na > 128 || nb < 0 || nb > 128) __builtin_trap();
}

// Magnetic CMC7 on arbitrary peak arrays (exactly n long), then merges and weak removal of what
// it read against a second reading.
void recognise(Bytes& in, const std::vector<int>& sig) {
  const int n = static_cast<int>(sig.size());
  std::vector<int> maxS(n), maxE(n);
  for (int i = 0; i < n; ++i) {
    maxS[i] = (sig[i] & 1) ? sig[i] / 4 : 0;
    maxE[i] = (sig[i] & 2) ? sig[i] / 4 : 0;
  }
  char t[128], c[128], t2[128], c2[128];
  int h[128], s[128], e[128], h2[128], s2[128], e2[128];
  InitDatiMICR(32, 1.0f);
  int na = RiconosciCaratteriCMC7(t, c, h, s, e, nullptr, nullptr, nullptr, 0, maxS.data(), maxE.data(), in.wide(),
                                  in.wide(), n, 105, 4, 160);
  int nb = RiconosciCaratteriCMC7(t2, c2, h2, s2, e2, nullptr, nullptr, nullptr, 0, maxE.data(), maxS.data(), 1, n - 1,
                                  n, 105, 4, 160);
  ConfrontaMICR(t, c, s, e, h, na, t2, c2, s2, e2, h2, nb, in.next(), 75, 115, 160, in.next() & 1);
  int weak, middle, strong, d = 3, ee = 10, f = 15;
  RimuoviCaratteriDeboli(t, c, s, e, na, nullptr, weak, middle, strong, d, ee, f, 0.1f, 0.35f, 0.7f,
                         const_cast<int*>(sig.data()), 0, n, true, in.wide() % 64, in.next() & 1);
  if (na < 0 || na > 127) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8 || size > 65536) return 0;
  Bytes in{data, size};
  std::vector<int> sig(size);
  for (size_t i = 0; i < size; ++i) sig[i] = data[i];
  const int n = static_cast<int>(sig.size());
  switch (data[0] % 5) {
    case 4: recognise(in, sig); break;
    case 0: filter(in, sig); break;
    case 1: {
      std::vector<int> out(sig.size());
      MediaMobile(sig.data(), out.data(), in.wide(), in.wide(), n, in.next() & 1);
      SpecchiaMICR(sig.data(), n);
      CalcolaLivelloRumore(sig.data(), n);
      break;
    }
    case 2: {
      const int from = in.wide(), to = std::min(n, static_cast<int>(in.wide()));
      CalcolaValMassimiMinimi(in.next() & 1, static_cast<char>(in.next()), sig.data(), from, to);
      BordiPuliti(in.wide(), in.wide(), sig.data(), in.next(), in.wide(), in.wide(), sig.data(), in.next(), n,
                  in.wide());
      break;
    }
    default: readings(in); break;
  }
  return 0;
}
