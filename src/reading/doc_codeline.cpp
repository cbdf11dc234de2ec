// The best codeline reading of a document: scoring a band reading, keeping it in MyOcrOpt with
// the side and rotation it fixes for the whole document, and judging a payment-form line by its
// last characters. Also the two fixed zones of the Italian cheque.
#include <cstring>

#include "core/trace.h"
#include "reading/reading.h"

OcrOptInfo DefaultMyOcrOpt;

void RipristinaDefaultMyOcrOpt() { std::memcpy(&MyOcrOpt, &DefaultMyOcrOpt, sizeof MyOcrOpt); }

namespace {

inline bool isMark(char c) { return c == '<' || c == '>' || c == '+'; }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
inline uint8_t cf(const char* conf, int i) { return static_cast<uint8_t>(conf[i]); }

uint16_t codelineSide() { return MyOcrOpt.found ? MyOcrOpt.side : 1; }

// How the backlight image is turned and flipped so that it lies as the codeline side does.
void backlightOrientation(uint16_t side, short rotation) {
  const bool quarter = rotation == 256 || rotation == 768;
  const bool blOnFront = MyDev.backlightSide == 1;
  auto set = [](uint16_t a, uint16_t b, uint16_t c, uint16_t d, uint8_t h, uint8_t v) {
    MyOcrBL.rotation[0] = a, MyOcrBL.rotation[1] = b, MyOcrBL.rotation[2] = c, MyOcrBL.rotation[3] = d;
    MyOcrBL.flipH = h, MyOcrBL.flipV = v;
  };
  if (side != 1 && !blOnFront)
    set(512, 256, 0, 768, 1, 1);
  else if (side != 1)
    set(0, 256, 512, 768, quarter ? 0 : 1, quarter ? 1 : 0);
  else if (blOnFront)
    set(0, 256, 512, 768, 0, 0);
  else
    set(0, 768, 512, 256, quarter ? 0 : 1, quarter ? 1 : 0);
}

// The numbered payment forms end in their type and '>'.
int numberedType(const char* t, int n) {
  static const char* const kEnds[] = {"123>", "247>", "451>", "674>", "896>"};
  static const int kTypes[] = {123, 247, 451, 674, 896};
  if (n < 4) return 0;
  for (int k = 0; k < 5; ++k)
    if (std::strncmp(t + n - 4, kEnds[k], 4) == 0) return kTypes[k];
  return 0;
}

// The end-of-text tests; 0 when none matches.
int typeFromEnd(const char* t, int n, uint16_t typeDoc) {
  if (const int numbered = numberedType(t, n)) return numbered;
  if (n > 4 && t[n - 1] == '<' && t[n - 2] == '+' && t[n - 5] == '+') return 111;
  if (n > 7) {
    const int hits = (t[n - 1] == '<') + (t[n - 3] == '+') + (t[n - 5] == '<') + (t[n - 7] == '>');
    const bool formType = typeDoc == 9 || typeDoc == 13 || typeDoc == 6 || typeDoc == 7;
    if (hits >= 3 && formType) return 222;
  }
  return 0;
}

}  // namespace

void ZonaDATAMATRIXAssegnoItaliano(PVKOCRZone& zone) {
  zone.font = 36;
  zone.side = static_cast<int16_t>(codelineSide());
  zone.left = 10, zone.top = -280, zone.width = 140, zone.height = 140;
}

void ZonaOCRBssegnoItaliano(PVKOCRZone& zone) {
  zone.font = 39;
  zone.side = static_cast<int16_t>(codelineSide());
  zone.left = 10, zone.top = -145, zone.width = 350, zone.height = 65;
}

bool AggiornaOptCdl(PVKOCRZone zone, char* text, char* conf, ChInfo* info, short rotation, bool fromMicr,
                    bool strict, int& best) {
  if (!text || !conf) return false;
  int n = zone.charsRead;
  if (n > static_cast<int>(sizeof MyOcrOpt.text) - 1) n = sizeof MyOcrOpt.text - 1;
  if (n < 3) return false;
  int counted = 0, sum = 0;
  for (int i = 0; i < n; ++i) {
    if (text[i] == ' ' || text[i] == '?') continue;
    ++counted;
    if (cf(conf, i) > 20) sum += cf(conf, i);
  }
  if (counted < 3 || sum <= best) return false;

  best = sum;
  const uint16_t side = (fromMicr && !strict) ? MyMICR.side : static_cast<uint16_t>(zone.side);
  MyOcrOpt.found = 1;
  MyOcrOpt.rotation = static_cast<uint16_t>(rotation);
  MyOcrOpt.side = side;
  MyOcrOpt.typeDoc = MyOcr.typeDoc;
  MyOcrOpt.count = n;
  MyOcrOpt.font = static_cast<uint16_t>(zone.font);
  // Text and confidences by count: a confidence of 0 is a value, not the end of the array.
  std::memcpy(MyOcrOpt.text, text, static_cast<size_t>(n));
  std::memcpy(MyOcrOpt.conf, conf, static_cast<size_t>(n));
  MyOcrOpt.text[n] = 0;
  MyOcrOpt.conf[n] = 0;
  if (info)
    std::memcpy(MyOcrOpt.info, info, sizeof(ChInfo) * static_cast<size_t>(n));
  else
    std::memset(MyOcrOpt.info, 0, sizeof MyOcrOpt.info);
  MyAcq.autoFrontSide = side;
  MyAcq.autoRearSide = side == 0;
  for (uint16_t& r : MyAcq.rotation) r = static_cast<uint16_t>(rotation);
  backlightOrientation(side, rotation);
  if (fromMicr && n > 3) MyMICR.cdlFound = 1;

  if (strict && std::memchr(text, '?', static_cast<size_t>(n))) return false;
  if (n < 21 || sum / n < 61) return false;
  if (MyLog.Debug & 0x2) WriteTrace("found check", false);
  return true;
}

namespace pvk::reading {

PaymentFormVerdict judgePaymentForm(const char* text, const char* conf, int n, uint16_t typeDoc) {
  PaymentFormVerdict v;
  if (!text || !conf || n <= 3) return v;
  if (n > 127) n = 127;
  for (int i = 0; i < n; ++i)
    if (cf(conf, i) > 20) v.sum += cf(conf, i);
  char t[128];
  std::memcpy(t, text, static_cast<size_t>(n));
  t[n] = 0;
  v.type = typeFromEnd(t, n, typeDoc);
  if (v.type) return v;

  int valid = 0, marks = 0;
  for (int i = 0; i < n; ++i) {
    if (t[i] == ' ' || t[i] == '?' || cf(conf, i) < 60) continue;
    if (isMark(t[i])) ++marks, ++valid;
    else if (isDigit(t[i])) ++valid;
  }
  if (valid <= 10 || valid <= 2 * n / 3) {
    v.discarded = true;
    v.sum = 0;
    v.type = -1;
    return v;
  }
  if (marks > 1) {
    v.type = 1;
    return v;
  }
  if (t[n - 1] == ' ' || t[n - 1] == '?') {
    --n;
    if (n > 0 && t[n - 1] == ' ') --n;
    t[n] = 0;
    if (n <= 3) {
      v.type = -1;
      return v;
    }
    v.type = typeFromEnd(t, n, typeDoc);
    if (v.type) return v;
  }
  const char last = t[n - 1];
  v.type = (cf(conf, n - 1) >= 60 && (isDigit(last) || isMark(last))) ? 0 : -1;
  return v;
}

}  // namespace pvk::reading
