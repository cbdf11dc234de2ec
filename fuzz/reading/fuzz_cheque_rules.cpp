// The Italian cheque correction rules on arbitrary readings: random texts, confidences and
// boxes against references of every length, with random DataMatrix fields. Every rule keeps its
// text within its buffer and terminated, and reads nothing outside the arrays.
#include <cstdlib>
#include <cstring>

#include "reading/reading.h"
#include "fuzz_bytes.h"

namespace {

constexpr int kBuf = 256;

using Bytes = pvk::fuzz::Bytes;

// A text of the characters the rules care about, at most max characters.
void fillText(Bytes& b, char* text, char* conf, ChInfo* info, int max) {
  static const char alphabet[] = "0123456789?* ,.;>ABDOXZ'a";
  const int n = max ? b.next() % (max + 1) : 0;
  int x = 0;
  for (int i = 0; i < n; ++i) {
    text[i] = alphabet[b.next() % (sizeof alphabet - 1)];
    if (conf) conf[i] = static_cast<char>(b.next());
    if (info) {
      info[i].left = static_cast<uint16_t>(x);
      x += b.next() % 40;
      info[i].right = static_cast<uint16_t>(x);
      x += b.next() % 8;
    }
  }
  text[n] = 0;
  if (conf) conf[n] = 0;
}

void check(const char* text, size_t limit) {
  if (strnlen(text, limit) >= limit) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes b{data, size};
  std::memset(&MyITACheck, 0, sizeof MyITACheck);
  char scratch[kBuf];
  fillText(b, scratch, nullptr, nullptr, 11);
  std::memcpy(MyITACheck.dmAmount, scratch, sizeof MyITACheck.dmAmount - 1);
  fillText(b, scratch, nullptr, nullptr, 12);
  std::memcpy(MyITACheck.dmAmountFmt, scratch, sizeof MyITACheck.dmAmountFmt - 1);
  fillText(b, scratch, nullptr, nullptr, 40);
  std::memcpy(MyITACheck.dmPayee, scratch, sizeof MyITACheck.dmPayee - 1);

  char text[kBuf], conf[kBuf], ref[kBuf], refConf[kBuf];
  ChInfo info[kBuf], refInfo[kBuf];
  const uint8_t rule = b.next() % 6;
  const uint8_t value = b.next();
  fillText(b, text, conf, info, kBuf - 1);
  fillText(b, ref, refConf, refInfo, kBuf - 1);
  switch (rule) {
    case 0: CorreggiNAssegno(text, conf, ref, refConf, value); break;
    case 1: CorreggiABIeCAB(text, conf, ref, refConf, value); break;
    case 2: {
      // The number may be padded up to the reference's length.
      if (std::strlen(text) < kBuf - 1) CorreggiNumero(text, conf, ref, value, value & 1);
      break;
    }
    case 3: CorreggiAmount(text, conf, (value & 1) ? info : nullptr, value); break;
    case 4: {
      const int room = 2 + b.next() % (kBuf - 1);
      text[room - 1] = 0;
      CorreggiBeneficiario(text, conf, value, room);
      check(text, static_cast<size_t>(room));
      break;
    }
    default: {
      int nA = static_cast<int>(std::strlen(text)), nB = static_cast<int>(std::strlen(ref));
      ValutaBestShift(text, info, nA, ref, refInfo, nB, static_cast<int8_t>(value));
      break;
    }
  }
  check(text, kBuf);
  return 0;
}
