// Readings as a hostile line assembly could hand them to the post-processing: any counts,
// characters, confidences, boxes (reversed ones too), line breaks and database indexes, in
// arrays of exactly the capacity given. The merges, the re-spacing and the overall confidence
// must keep every count inside its arrays and every confidence they write in 0..100.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ocr/ocr.h"

namespace {

struct Bytes {
  const uint8_t* p;
  size_t left;
  uint8_t next() {
    if (left == 0) return 0;
    --left;
    return *p++;
  }
};

struct FuzzReading {
  std::vector<char> text, conf;
  std::vector<ChInfo> info;
  int n = 0;
  explicit FuzzReading(int capacity)
      : text(static_cast<size_t>(capacity), 0), conf(static_cast<size_t>(capacity), 0),
        info(static_cast<size_t>(capacity)) {}
};

// Characters come from a small alphabet that holds every character the rules look at.
constexpr char kAlphabet[] = "AEFPRMVJU0O1I58BSD?. '*,&#/\\:;<=>ab\r\n";

FuzzReading readingFrom(Bytes& in, int capacity) {
  FuzzReading r(capacity);
  const int n = in.next() % capacity;
  int x = in.next() * 2;
  for (int i = 0; i < n; ++i) {
    ChInfo& b = r.info[static_cast<size_t>(i)];
    r.text[static_cast<size_t>(i)] = kAlphabet[in.next() % (sizeof kAlphabet - 1)];
    r.conf[static_cast<size_t>(i)] = static_cast<char>(in.next() % 101);
    x += static_cast<int8_t>(in.next());
    x = x < 0 ? 0 : x;
    b.left = static_cast<uint16_t>(x);
    b.right = static_cast<uint16_t>(x + static_cast<int8_t>(in.next()) + 10);
    b.top = in.next();
    b.bottom = static_cast<uint16_t>(b.top + in.next() % 64);
    b.agreement = static_cast<uint16_t>(in.next() % 4);
    b.dbIndex = in.next() % 8;
    b.zeroLetterO = in.next() % 2;
  }
  r.n = n;
  r.text[static_cast<size_t>(n)] = '\0';
  return r;
}

void check(const FuzzReading& r, int capacity) {
  if (r.n < 0 || r.n >= capacity) std::abort();
  for (int i = 0; i < r.n; ++i)
    if (r.conf[static_cast<size_t>(i)] < 0 || r.conf[static_cast<size_t>(i)] > 100) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8 || size > 8192) return 0;
  std::vector<uint8_t> copy(data, data + size);
  Bytes in{copy.data(), copy.size()};

  static DBEntry list[kDBListSize] = {};
  for (int i = 0; i < 4; ++i) {
    list[i].index = static_cast<uint8_t>(i);
    list[i].spaceFactor = 0.5f + 0.25f * static_cast<float>(i);
    list[i].narrow = static_cast<uint8_t>(i % 2);
    list[i].split = static_cast<uint8_t>(i / 2);
  }
  const uint8_t op = in.next();
  static const short kFonts[] = {4, 3, 1, 0, 12, 935, 936, 937, 944, 945, 39, 41};
  MyOcr.currentFont = kFonts[in.next() % (sizeof kFonts / sizeof kFonts[0])];
  const uint8_t flags = in.next();
  MyOcr.multiLine = flags & 1;
  MyOcr.fixedSize = (flags >> 1) & 1;
  MyOcr.secondSize = (flags >> 2) & 1;
  MyOcr.minLineConf = in.next() % 100;
  MyOcr.charWidth = in.next() % 40;
  MyOcr.charHeight = in.next() % 60;
  MyOcr.engineScale = 0.5f + static_cast<float>(in.next() % 4) * 0.5f;
  aw = in.next() % 40;
  ah = in.next() % 60;
  FixSizeFont = (flags >> 3) & 1;
  DBList = (flags & 0x10) ? list : nullptr;
  nDBLoaded = DBList != nullptr ? 4 : 0;
  const int capacity = 2 + in.next() % (kOcrChars - 1);

  FuzzReading a = readingFrom(in, capacity), b = readingFrom(in, capacity);
  switch (op % 4) {
    case 0:
      ConfrontaSimili(a.text.data(), a.conf.data(), a.info.data(), a.n, b.text.data(), b.conf.data(), b.info.data(),
                      b.n, flags & 0x20, capacity, flags & 0x40, flags & 0x80);
      break;
    case 1:
      ConfrontaMicroforatura(a.text.data(), a.conf.data(), a.info.data(), a.n, b.text.data(), b.conf.data(),
                             b.info.data(), b.n, 1 + op % 30, flags & 0x20, MyOcr.currentFont,
                             static_cast<short>(capacity), flags & 0x40);
      break;
    case 2:
      VerificaAggiungiSpazi(a.text.data(), a.conf.data(), a.info.data(), a.n, capacity, MyOcr.currentFont);
      break;
    default:
      CalCumulaConf(a.text.data(), a.conf.data(), a.info.data(), a.n, flags & 0x20, 0);
      break;
  }
  check(a, capacity);
  check(b, capacity);
  DBList = nullptr;
  nDBLoaded = 0;
  return 0;
}
