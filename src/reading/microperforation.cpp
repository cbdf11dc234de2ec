// The microperforated fields of a cheque (number, payee, amount): holes that show dark against
// the backlight and faint on the front and, mirrored, on the rear. Up to three readings are
// taken, aligned by their character boxes, merged and corrected against the cheque's other
// sources (DataMatrix, codeline, OCR-B line).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "core/trace.h"
#include "ocr/ocr.h"
#include "reading/reading.h"

namespace {

using pvk::reading::DocumentSetup;

struct Fonts {
  short backlight, rear, front, retry;
  const char* name;
};

Fonts fontsOf(int mode) {
  switch (mode) {
    case 35: return {938, 935, 941, 0, "MICROPERFORATION"};
    case 40: return {939, 936, 942, 945, "MICROPERFORATION_BENEFICIARY"};
    default: return {940, 937, 943, 944, "MICROPERFORATION_AMOUNT"};
  }
}

struct Reading {
  char text[256];
  char conf[256];
  ChInfo info[256];
  int n;
  short font;
  void clear() {
    std::memset(this, 0, sizeof *this);
  }
};

int64_t saturatedSum(int64_t a, int64_t b) {
  int64_t r;
  if (__builtin_add_overflow(a, b, &r)) return a < 0 ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
  return r;
}

int64_t saturatedNeg(int64_t a) { return a == std::numeric_limits<int64_t>::min() ? std::numeric_limits<int64_t>::max() : -a; }

struct Mode {
  int mode;
  Fonts f;
  PVKOCRDoc req;
  uint16_t front, rear;
  bool backlight;
  const DocumentSetup& s;

  // Reads the request's zone with font on side (its OCR image built for the request).
  bool read(uint16_t side, short font, Reading& r) {
    r.clear();
    r.font = font;
    PVKOCRZone z = req.zones[0];
    z.font = font;
    z.side = static_cast<int16_t>(side);
    PVKOCRDoc doc = req;
    doc.zones[0] = z;
    if (!pvk::reading::buildImage(side, &doc)) return false;
    MyOcr.multiLine = 1;
    const bool ok = pvk::reading::readZone(side, doc.zones[0], sizeof r.text, r.text, r.conf, r.info);
    MyOcr.multiLine = s.switch1;
    r.n = ok ? std::min<int>(doc.zones[0].charsRead, 255) : 0;
    r.text[r.n] = 0;
    return ok;
  }

  // The rear reading: the zone mirrored onto the rear side.
  bool readRear(Reading& c) {
    const PVKImg& fi = MyOcr.ocrImg[front < kSides ? front : 1];
    const int64_t W = static_cast<int64_t>(fi.width) * 150 / std::max<int>(fi.dpi, 100);
    PVKOCRZone& z = req.zones[0];
    const int64_t saved = z.left;
    z.left = z.left >= 0 ? saturatedNeg(saturatedSum(z.left, z.width))
                         : saturatedSum(saturatedSum(z.left, saturatedNeg(z.width)), -W);
    const bool ok = read(rear, f.rear, c);
    z.left = saved;
    return ok;
  }
};

void halveConfidences(Reading& r) {
  for (int i = 0; i < r.n; ++i) {
    const int v = static_cast<uint8_t>(r.conf[i]) / 2;
    r.conf[i] = static_cast<char>(v < 1 ? 1 : v);
  }
}

void take(Reading& to, const Reading& from) { std::memcpy(&to, &from, sizeof to); }

// Step 7 without backlight: the front and rear readings decide.
void mergeFrontRear(Reading& b, Reading& c, Reading& result, short frontFont, int room) {
  if (b.n == 0) return take(result, c);
  if (c.n == 0) return take(result, b);
  ValutaBestShift(b.text, b.info, b.n, c.text, c.info, c.n, 20);
  InitOCR(frontFont, true, 1.0f);
  if (ConfrontaSimili(c.text, c.conf, c.info, c.n, b.text, b.conf, b.info, b.n, true, room, false, false)) {
    VerificaAggiungiSpazi(b.text, b.conf, b.info, b.n, room, frontFont);
    take(result, b);
  } else {
    result.clear();
  }
}

// Step 8: the corrections of each mode against the Italian cheque references.
void correct(int mode, Reading& r, bool relaxed) {
  if (r.n == 0) return;
  if (mode == 35) {
    if (r.n == 10)
      for (int i = 0; i < r.n; ++i)
        if (r.text[i] == ' ') r.text[i] = '?', r.conf[i] = 1;
    if (!std::strchr(r.text, '?') && !std::strchr(r.text, ' ') && r.n >= 10) return;
    char* refs[2] = {MyITACheck.dmChequeNo, MyITACheck.chequeNo};
    const uint8_t values[2] = {60, 50};
    for (int k = 0; k < 2; ++k) {
      if (refs[k][0] && CorreggiNumero(r.text, r.conf, refs[k], values[k], relaxed)) {
        r.n = static_cast<int>(std::strlen(r.text));
        return;
      }
    }
    char ref[11] = {};
    const char* from = MyITACheck.dmChequeNo[0] ? MyITACheck.dmChequeNo
                       : MyITACheck.chequeNo[0] ? MyITACheck.chequeNo
                                                : MyITACheck.ocrbLine;
    std::memcpy(ref, from, strnlen(from, 10));
    if (ref[0]) CorreggiNumero(r.text, r.conf, ref, 40, relaxed);
  } else if (mode == 40) {
    if (MyITACheck.dmPayee[0]) CorreggiBeneficiario(r.text, r.conf, 40, sizeof r.text);
  } else {
    CorreggiAmount(r.text, r.conf, r.info, 40);
  }
  r.n = static_cast<int>(std::strlen(r.text));
}

// Relaxed correction when a weak confidence lowered the running minimum.
bool weakReading(const Reading& r) {
  int low = 100;
  bool relaxed = false;
  for (int i = 0; i < r.n; ++i) {
    const int c = static_cast<uint8_t>(r.conf[i]);
    if (c < low) {
      if (c < 90) relaxed = true;
      low = c;
    }
  }
  return relaxed;
}

// Step 9: unread ends ("?" and a blank) trimmed while more than five characters remain.
void trimUnreadEnds(Reading& r) {
  while (r.n > 5 && r.text[0] == '?' && r.text[1] == ' ') {
    pvk::reading::removeAt(r.text, r.conf, r.info, r.n, 0);
    pvk::reading::removeAt(r.text, r.conf, r.info, r.n, 0);
  }
  while (r.n > 5 && r.text[r.n - 2] == ' ' && r.text[r.n - 1] == '?') {
    pvk::reading::removeAt(r.text, r.conf, r.info, r.n, r.n - 1);
    pvk::reading::removeAt(r.text, r.conf, r.info, r.n, r.n - 1);
  }
}

}  // namespace

namespace pvk::reading {

int readMicroperforationZone(DocumentSetup& s, const PVKOCRZone& zone, int mode, char* out, char* outConf,
                             int capacity) {
  Mode m{mode, fontsOf(mode), {}, MyAcq.autoFrontSide, MyAcq.autoRearSide, MyAcq.backlight != 0, s};
  WriteTrace(m.f.name, false);
  m.req.nZones = 1;
  m.req.rotation = MyOcrOpt.found ? MyAcq.rotation[2] : s.work.rotation;
  m.req.zones[0] = zone;
  const int room = std::clamp(capacity, 0, 255);
  auto fail = [] {
    WriteTrace("MICROPERFORATION error", false);
    return -1;
  };

  if (!italianDataMatrix.read && !readItalianDataMatrix(m.front, m.req.rotation)) return fail();

  Reading a, b, c, result;
  a.clear(), b.clear(), c.clear(), result.clear();
  bool corrected = false;
  bool done = false;
  if (m.backlight) {
    if (!m.read(2, m.f.backlight, a)) return fail();
    if (a.n == 0 && mode == 35) {
      done = true;
    } else if (a.n > 0 && MicorforaturaOK(m.f.backlight, a.text, a.conf, a.n)) {
      if (mode == 41) {
        CorreggiAmount(a.text, a.conf, a.info, 40);
        a.n = static_cast<int>(std::strlen(a.text));
      }
      take(result, a);
      done = corrected = true;
    }
  }

  if (!done) {
    if (!m.read(m.front, m.f.front, b)) return fail();
    const uint8_t digit = MyITACheck.dmTypeDigit;
    const uint16_t ids = MyOcr.checkIdExtended;
    const bool retry = (mode == 40 || mode == 41) && m.backlight && b.n < 3 && digit < 8 &&
                       (ids == 0 || ((ids >> digit) & 1));
    if (a.n > 2 || (mode == 35 && m.backlight)) {
      // merge below
    } else if (retry) {
      UtilizzoImgBacklight = 1;
      const bool ok = m.read(2, m.f.retry, a);
      UtilizzoImgBacklight = 0;
      if (!ok) return fail();
      const bool enough = mode == 40 ? a.n == 0 : a.n < 3;
      if (!(enough && digit < 2)) {
        if (!m.read(m.front, m.f.retry, b)) return fail();
        if (mode == 40 && b.n <= 3) a.clear(), b.clear();
      }
    } else {
      if (!m.readRear(c)) return fail();
      if (m.backlight) {
        if (MyDev.backlightSide == 1)
          ValutaBestShift(c.text, c.info, c.n, b.text, b.info, b.n, 20);
        else
          ValutaBestShift(b.text, b.info, b.n, c.text, c.info, c.n, 20);
        ConfrontaMicroforatura(b.text, b.conf, b.info, b.n, c.text, c.conf, c.info, c.n, 10, true, m.f.front,
                               static_cast<short>(room), false);
        halveConfidences(b);
      }
    }

    const int threshold = b.n < 6 ? 3 : b.n / 2;
    if (a.n < threshold && (b.font == 944 || b.font == 945)) {
      take(result, b);
    } else if (!m.backlight) {
      mergeFrontRear(b, c, result, m.f.front, room);
    } else if (a.n > 0 && b.n > 0) {
      if (MyDev.backlightSide != 1) ValutaBestShift(a.text, a.info, a.n, b.text, b.info, b.n, 20);
      if (Is_BACKL_Font(a.font)) {
        ConfrontaMicroforatura(a.text, a.conf, a.info, a.n, b.text, b.conf, b.info, b.n, 20, true, a.font,
                               static_cast<short>(room), false);
      } else {
        InitOCR(m.f.front, true, 1.0f);
        ConfrontaSimili(b.text, b.conf, b.info, b.n, a.text, a.conf, a.info, a.n, true, room, false, false);
        VerificaAggiungiSpazi(a.text, a.conf, a.info, a.n, room, m.f.front);
        if (std::memchr(a.text, '\r', static_cast<size_t>(a.n))) a.clear();
      }
      take(result, a);
    } else {
      // The backlight reading when there is one; else the front and rear merge, its confidences
      // halved for being read without the backlight.
      take(result, a.n > 0 ? a : b);
    }
    VerificaMicroforaturaConPulizia(result.text, result.conf, result.info, result.n);
  }
  if (!corrected) correct(mode, result, weakReading(result));
  if (result.n > 5) trimUnreadEnds(result);

  int n = result.n;
  if (n >= capacity) {
    char line[80];
    std::snprintf(line, sizeof line, "troncated (maxChar %d - nChar %d)", capacity, n);
    WriteTrace(line, result.text, false);
    n = capacity > 0 ? capacity - 1 : 0;
    MyDev.lastResult = 7;
  }
  if (n > 0) {
    std::memcpy(out, result.text, static_cast<size_t>(n));
    std::memcpy(outConf, result.conf, static_cast<size_t>(n));
  }
  if (capacity > 0) out[n] = 0, outConf[n] = 0;
  WriteTrace("MICROPERFORATION end", false);
  return n;
}

}  // namespace pvk::reading
