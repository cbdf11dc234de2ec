// The zone loop of a document read: each working slot read with the reader or composite mode
// its font names, into the caller's buffers one after another, then the output rewritten in
// the caller's zone order with each zone's count and font written back.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "control/control.h"
#include "core/trace.h"
#include "device/device.h"
#include "document/document.h"
#include "ocr/ocr.h"
#include "reading/reading.h"

namespace {

using pvk::reading::DocumentSetup;
using pvk::reading::ZoneOutput;

constexpr int kBandChars = 128;

bool readTrace() { return (MyLog.Debug & 0x2) != 0; }
void modeTrace(const char* text) {
  if (readTrace()) WriteTrace(text, false);
}
bool typeWithCodeline(uint16_t t) { return t >= 3 && t <= 13; }
bool typeIn(uint16_t t, std::initializer_list<uint16_t> set) {
  for (uint16_t v : set)
    if (t == v) return true;
  return false;
}

// What one document's loop carries from slot to slot.
struct Loop {
  DocumentSetup& s;
  ZoneOutput out;
  bool dimError = false;
  bool failed = false;  // a zone gave a negative count: the output is emptied
  bool noCldSounded = false;
  bool truncated = false;  // a reading lost characters for lack of room, or a zone had none: warning 7
};

// How a slot ended: read (its count recorded), skipped (nothing written), or the loop ends.
enum class Step { Read, Skipped, EndLoop };

void freeAllImages() {
  for (uint16_t side = 0; side < kSides; ++side) MyOcrFree(side, false);
}

// The OCR image of side for the working request, built when not there; -20 (a document of
// other dimensions than declared) is remembered and cleared. False on failure.
bool sideImage(Loop& l, uint16_t side, PVKOCRDoc* doc) {
  if (side < kSides && MyOcr.ocrImgValid[side]) return true;
  if (!pvk::reading::buildImage(side, doc)) return false;
  if (MyDev.lastResult == PVK_ERR_IMG_DIMENSIONS) {
    l.dimError = true;
    MyDev.lastResult = PVK_OK;
  }
  return true;
}

// A reading as long as a document's output may be: what a zone reads when the room left is
// shorter. Given only the room left, a reader finds nothing that fits (a barcode or a line longer
// than the room reads as nothing), and the host would take a short buffer for an empty zone.
constexpr unsigned short kWholeReading = pvk::reading::kOutputLimit + 1;

// Reads zone at the slot's place in the output with the room left, its cut turned by rotation.
// A reading longer than the room keeps what fits and marks the output truncated: even a reading
// a composite mode then reads again otherwise, as the room changed what the host gets.
bool readHere(Loop& l, uint16_t side, PVKOCRZone& zone, short rotation = 0) {
  const int room = l.out.capacity > 0 ? l.out.capacity : 0;
  if (room == 0) {
    zone.charsRead = 0;
    return true;
  }
  char* text = pvk::reading::slotText(l.out);
  char* conf = pvk::reading::slotConf(l.out);
  if (room >= kWholeReading)
    return pvk::reading::readZone(side, zone, static_cast<unsigned short>(room), text, conf, nullptr, rotation);
  char fullText[kWholeReading] = {}, fullConf[kWholeReading] = {};
  const bool ok = pvk::reading::readZone(side, zone, kWholeReading, fullText, fullConf, nullptr, rotation);
  const int n = ok ? static_cast<int16_t>(zone.charsRead) : 0;
  int kept = std::max(0, std::min(n, room - 1));  // a negative count stays for the loop
  // A cut between the rows of a zone keeps whole rows' ends: no line end without its row.
  while (kept < n && kept > 0 && (fullText[kept - 1] == '\r' || fullText[kept - 1] == '\n')) --kept;
  std::memcpy(text, fullText, static_cast<size_t>(kept));
  text[kept] = '\0';
  if (conf != nullptr) {
    std::memcpy(conf, fullConf, static_cast<size_t>(kept));
    conf[kept] = '\0';
  }
  if (ok && n >= 0) zone.charsRead = static_cast<uint16_t>(kept);
  if (n > kept) l.truncated = true;
  return ok;
}

void emptyHere(Loop& l, int n) {
  if (n <= 0) return;
  std::memset(pvk::reading::slotText(l.out), 0, static_cast<size_t>(n));
  if (l.out.conf) std::memset(pvk::reading::slotConf(l.out), 0, static_cast<size_t>(n));
}

// ---- Stored codeline of the document types 3..13 --------------------------------------------------

bool isOcrbFont(short f) { return f == 3 || f == 4 || f == 5 || f == 38 || f == 39; }

Step returnCodeline(Loop& l, int k, PVKOCRZone& z) {
  z.side = static_cast<int16_t>(MyOcrOpt.side);
  const int n = MyOcrOpt.count > 0 ? MyOcrOpt.count : 0;
  if (n > 0 && l.out.capacity <= n) {
    // The terminator needs its byte too: a codeline as long as the room left does not fit.
    WriteTrace("too short codeline", MyOcrOpt.text, false);
    MyDev.lastResult = PVK_ERR_INV_PARAMETER;
    return Step::EndLoop;
  }
  pvk::reading::putSlot(l.out, k, MyOcrOpt.text, MyOcrOpt.conf, n);
  z.charsRead = static_cast<uint16_t>(n);
  z.font = static_cast<int16_t>(MyOcrOpt.font);
  if (z.option == 0 && n > 0) {
    short kept = static_cast<short>(n);
    RimuoviSpazi(pvk::reading::slotText(l.out), pvk::reading::slotConf(l.out), kept);
    l.out.total -= n - kept;
    l.out.capacity += n - kept;
    l.out.length[k] = kept;
    z.charsRead = static_cast<uint16_t>(kept);
  }
  if (readTrace()) WriteTrace(pvk::reading::slotText(l.out), false);
  return Step::Read;
}

// Step 4: the codeline found before the loop answers codeline zones. Returns Read when the slot
// was answered, Skipped when it is to be read normally.
Step storedCodeline(Loop& l, int k, PVKOCRZone& z) {
  if (k == 0) freeAllImages();
  if (MyOcrOpt.found) {
    MyAcq.autoFrontSide = MyOcrOpt.side == 1;
    MyAcq.autoRearSide = MyOcrOpt.side != 1;
  }
  l.s.work.rotation = MyOcrOpt.found ? MyOcrOpt.rotation : 0;
  z.side = static_cast<int16_t>(z.side == 1 ? MyAcq.autoFrontSide : MyAcq.autoRearSide);
  const short f = z.font;
  const short cf = static_cast<short>(MyOcrOpt.font);
  const bool empty = MyOcrOpt.count <= 0;
  const uint16_t td = MyOcr.typeDoc;
  if (f == 100) {
    WriteTrace("returning codeline", false);
    return returnCodeline(l, k, z);
  }
  if (IsCMC7Font(f) && (IsCMC7Font(cf) || empty)) {
    WriteTrace(empty ? "returning empty CMC7" : "returning CMC7", false);
    return returnCodeline(l, k, z);
  }
  if (IsE13BFont(f) && (IsE13BFont(cf) || empty)) {
    WriteTrace(empty ? "returning empty E13B" : "returning E13B", false);
    return returnCodeline(l, k, z);
  }
  if (isOcrbFont(f) && f != 39 && (typeIn(cf, {4, 5, 38, 39}) || empty)) {
    WriteTrace(empty ? "returning empty OCRB" : "returning OCRB", false);
    return returnCodeline(l, k, z);
  }
  if (isOcrbFont(f) && typeIn(td, {6, 7, 9, 13}) && cf == 3 && f != 39) {
    WriteTrace("returning OCRB - freccia", false);
    return returnCodeline(l, k, z);
  }
  if (f == 36 && pvk::reading::italianDataMatrix.read && typeIn(td, {3, 4, 6, 7, 8})) {
    const auto& dm = pvk::reading::italianDataMatrix;
    if (!pvk::reading::putSlot(l.out, k, dm.text, dm.conf, dm.count)) l.truncated = true;
    z.charsRead = static_cast<uint16_t>(l.out.length[k]);
    return Step::Read;
  }
  return Step::Skipped;
}

// ---- MICR band ---------------------------------------------------------------------------------

bool micrDisabledByPhotocell() { return MyMICR.headPresent && !MyMICR.enabled && MyMICR.photocellCheck; }

// One magnetic-band try as font; the reading in text/conf (kBandChars + 1 bytes).
bool readBand(Loop& l, short font, const PVKOCRZone& slot, PVKOCRZone& band, char* text, char* conf) {
  PVKOCRDoc doc{};
  doc.nZones = 1;
  doc.rotation = MyMICR.rotation;
  band = PVKOCRZone{};
  band.side = static_cast<int16_t>(MyMICR.side);
  band.font = font;
  band.option = slot.option;
  band.top = font == 33 ? -150 : -130;
  band.height = -band.top;
  doc.zones[0] = band;
  MyMICR.zoneY = band.top;
  MyMICR.zoneHeight = band.height;
  MyOcrFree(MyMICR.side, false);
  if (!sideImage(l, MyMICR.side, &doc)) return false;
  MyOcr.multiLine = 1;
  std::memset(text, 0, kBandChars + 1);
  std::memset(conf, 0, kBandChars + 1);
  ChInfo info[kBandChars];
  const bool ok = pvk::reading::readZone(MyMICR.side, band, kBandChars, text, conf, info);
  MyOcr.multiLine = l.s.switch1;
  return ok;
}

Step micrZone(Loop& l, int k, PVKOCRZone& z) {
  WriteTrace("MICR zone", false);
  if (!MyMICR.enabled) {
    WriteTrace("err - ", "Magnetic head not ready", false);
    MyDev.lastResult = PVK_ERR_HW_NOT_SUPPORTED;
    return Step::EndLoop;
  }
  char text[kBandChars + 1], conf[kBandChars + 1];
  PVKOCRZone band{};
  const short first = z.font == 34 ? 32 : z.font;
  if (!readBand(l, first, z, band, text, conf)) {
    WriteTrace("MICR error", false);
    return Step::EndLoop;
  }
  if (z.font == 34 && band.charsRead <= 9) {
    char text2[kBandChars + 1], conf2[kBandChars + 1];
    PVKOCRZone band2{};
    if (!readBand(l, 33, z, band2, text2, conf2)) {
      WriteTrace("MICR error", false);
      return Step::EndLoop;
    }
    if (band2.charsRead > band.charsRead) {
      band = band2;
      std::memcpy(text, text2, sizeof text);
      std::memcpy(conf, conf2, sizeof conf);
    }
  }
  // The band is read into a buffer of its own: what fits of it is copied, a cut one warned of.
  if (!pvk::reading::putSlot(l.out, k, text, conf, band.charsRead)) l.truncated = true;
  z.charsRead = static_cast<uint16_t>(l.out.length[k]);
  z.font = band.font;
  if (band.charsRead > 3) {
    MyMICR.cdlFound = 1;
    int best = 0;
    AggiornaOptCdl(band, text, conf, nullptr, static_cast<short>(MyMICR.rotation), true, false, best);
  }
  WriteTrace("MICR end", false);
  return Step::Read;
}

// ---- Composite modes ---------------------------------------------------------------------------

Step failMode(const char* trace) {
  WriteTrace(trace, false);
  return Step::EndLoop;
}

// Mode 101: CMC7 on either side, then OCR-B, a long OCR-B line leading to the arrow PDF417 zone.
Step mode101(Loop& l, int k, PVKOCRZone& z) {
  modeTrace("CMC7_OR_OCRB1_EB1_PLUS");
  z.top = -130;
  z.height = 130;
  for (uint16_t side : {uint16_t{1}, uint16_t{0}}) {
    PVKOCRZone t = z;
    t.side = static_cast<int16_t>(side);
    t.font = 0;
    if (!sideImage(l, side, &l.s.work)) return failMode("CMC7_OR_OCRB1_EB1_PLUS error");
    MyOcr.multiLine = 1;
    const bool ok = readHere(l, side, t);
    MyOcr.multiLine = l.s.switch1;
    if (!ok) return failMode("CMC7_OR_OCRB1_EB1_PLUS error");
    z.charsRead = t.charsRead;
    if (t.charsRead > 3) {
      z.side = t.side, z.font = 0;
      modeTrace("CMC7 found");
      return Step::Read;
    }
  }
  for (uint16_t side : {uint16_t{1}, uint16_t{0}}) {
    PVKOCRZone t = z;
    t.side = static_cast<int16_t>(side);
    t.font = 4;
    if (!sideImage(l, side, &l.s.work) || !readHere(l, side, t)) return failMode("CMC7_OR_OCRB1_EB1_PLUS error");
    z.charsRead = t.charsRead;
    if (t.charsRead <= 2) continue;
    z.side = t.side, z.font = 4;
    if (t.charsRead > 60) {
      // The arrow zone of a payment form: a PDF417 symbol at a fixed place of the same side.
      PVKOCRDoc arrow{};
      arrow.nZones = 1;
      arrow.rotation = l.s.work.rotation;
      PVKOCRZone& a = arrow.zones[0];
      a.side = t.side, a.font = 8, a.left = 679, a.top = -484, a.width = 546, a.height = 412;
      MyOcr.typeDoc = 2;
      const PVKImg keptImage = MyOcr.ocrImg[side];
      const uint8_t keptValid = MyOcr.ocrImgValid[side];
      const uint16_t keptRotation = MyOcr.ocrImgRotation[side];
      MyOcr.ocrImg[side] = PVKImg{};
      MyOcr.ocrImgValid[side] = 0;
      char text[kBandChars + 1] = {}, conf[kBandChars + 1] = {};
      bool ok = sideImage(l, side, &arrow) && pvk::reading::readZone(side, a, kBandChars, text, conf, nullptr);
      MyOcrFree(side, false);
      MyOcr.ocrImg[side] = keptImage;
      MyOcr.ocrImgValid[side] = keptValid;
      MyOcr.ocrImgRotation[side] = keptRotation;
      if (ok && a.charsRead >= 1) {
        emptyHere(l, t.charsRead);
        if (!pvk::reading::putSlot(l.out, k, text, conf, a.charsRead)) l.truncated = true;
        z = a;
        z.charsRead = static_cast<uint16_t>(l.out.length[k]);
        modeTrace("FRECCIA found");
        return Step::Read;
      }
    }
    modeTrace("OCRB1_EB1 found");
    return Step::Read;
  }
  modeTrace("CMC7_OR_OCRB1_EB1_PLUS not found");
  return Step::Read;
}

// Mode 110: the CMC7 band on the front in two geometries, then on the rear.
Step mode110(Loop& l, PVKOCRZone& z) {
  modeTrace("CMC7_PLUS");
  const uint8_t keptSwitch4 = MyOcr.removeCrLf;
  MyOcr.removeCrLf = 1;
  struct Try {
    uint16_t side;
    short font;
    int64_t top;
  };
  static const Try kTries[] = {{1, 0, -150}, {1, 111, 0}, {0, 0, -150}, {0, 111, 0}};
  bool found = false;
  for (const Try& t : kTries) {
    PVKOCRZone band = z;
    band.left = 0, band.width = 0, band.top = t.top, band.height = 150;
    band.side = static_cast<int16_t>(t.side), band.font = t.font;
    if (t.side == 0 && t.font == 0) MyOcrFree(0, false);
    if (!sideImage(l, t.side, &l.s.work) || !readHere(l, t.side, band)) {
      MyOcr.removeCrLf = keptSwitch4;
      return failMode("CMC7_PLUS error");
    }
    z.charsRead = band.charsRead;
    int real = 0;
    const char* text = pvk::reading::slotText(l.out);
    for (int i = 0; i < band.charsRead; ++i) real += text[i] != '?';
    if (real > 5) {
      z.side = band.side, z.font = band.font;
      found = true;
      break;
    }
  }
  MyOcr.removeCrLf = keptSwitch4;
  modeTrace(found ? "CMC7 found" : "CMC7 not found");
  modeTrace("CMC7_PLUS end");
  return Step::Read;
}

// Reads the slot as font on its own side and geometry, the cut turned by cutRotation (the side's
// image stays as built for the document); false on a read failure.
bool readAs(Loop& l, PVKOCRZone& z, short font, short cutRotation = 0) {
  PVKOCRZone t = z;
  t.font = font;
  const bool ok = readHere(l, static_cast<uint16_t>(z.side), t, cutRotation);
  z.charsRead = t.charsRead;
  return ok;
}

Step compositeMode(Loop& l, int k, PVKOCRZone& z) {
  switch (z.font) {
    case 101: return mode101(l, k, z);
    case 110: return mode110(l, z);
    case 100:
      modeTrace("CMC7_OR_OCRB1_EB1");
      if (!readAs(l, z, 0)) return failMode("CMC7_OR_OCRB1_EB1 error");
      if (z.charsRead > 3) {
        z.font = 0;
      } else if (!readAs(l, z, 4)) {
        z.font = 100;
        return failMode("CMC7_OR_OCRB1_EB1 error");
      } else if (z.charsRead < 1) {
        modeTrace("CMC7_OR_OCRB1_EB1 not found");
      } else {
        z.font = 4;
      }
      modeTrace("CMC7_OR_OCRB1_EB1 end");
      return Step::Read;
    case 203: {
      modeTrace("CMC7_OCRB_ASS_ITA");
      const uint16_t td = MyOcr.typeDoc;
      MyOcr.typeDoc = 3;
      bool ok = readAs(l, z, 0);
      if (ok && z.charsRead < 3) {
        ok = readAs(l, z, 4);
        if (ok && z.charsRead < 20) {
          emptyHere(l, z.charsRead);
          z.charsRead = 0;
        }
      }
      MyOcr.typeDoc = td;
      if (!ok) return failMode("CMC7_OCRB_ASS_ITA error");
      modeTrace("CMC7_OCRB_ASS_ITA end");
      return Step::Read;
    }
    case 120:
      modeTrace("BARCODE_OR_PDF417");
      if (!readAs(l, z, 7)) return failMode("BARCODE_OR_PDF417 error");
      if (z.charsRead >= 1) {
        z.font = 7;
        modeTrace("BARCODE found");
        return Step::Read;
      }
      if (!readAs(l, z, 8)) return failMode("BARCODE_OR_PDF417 error");
      if (z.charsRead >= 1) {
        z.font = 8;
        modeTrace("PDF417 found");
      } else {
        modeTrace("BARCODE_OR_PDF417 end - not found");
      }
      return Step::Read;
    case 121:
      modeTrace("BARCODE_VERTICAL");
      if (!readAs(l, z, 7, 256)) return failMode("BARCODE_VERTICAL error");
      modeTrace("BARCODE_VERTICAL end");
      return Step::Read;
    default: {  // 14
      modeTrace("BARCODE_TRANSCODIFICA_FARMACEUTICA");
      MyOcr.pharmacode = 1;
      const bool ok = readAs(l, z, 7);
      MyOcr.pharmacode = 0;
      if (!ok) return failMode("BARCODE_TRANSCODIFICA_FARMACEUTICA error");
      modeTrace("BARCODE_TRANSCODIFICA_FARMACEUTICA end");
      return Step::Read;
    }
  }
}

bool isComposite(short f) { return f == 100 || f == 101 || f == 110 || f == 203 || f == 120 || f == 121 || f == 14; }

// ---- Ordinary zones ----------------------------------------------------------------------------

void soundNoCldOnce(Loop& l) {
  if (l.noCldSounded || !MyDev.buzzerPresent || MyBuz.valNoCld == 0 || MyBuz.sounded[1]) return;
  l.noCldSounded = true;
  MyBuz.sounded[1] = 1;
  Vx3ComandaBuzzer(MyBuz.valNoCld, MyBuz.msNoCld);
  Vx3ComandaBuzzer(0, 0);
}

Step ordinaryZone(Loop& l, PVKOCRZone& z) {
  uint16_t side = static_cast<uint16_t>(z.side);
  PVKOCRZone t = z;
  bool turnedImage = false;
  if (MyMICR.cdlFound && !typeWithCodeline(MyOcr.typeDoc)) {
    WriteTrace("MICR auto side", false);
    if (z.side == 1) {
      if (MyMICR.side != 1) WriteTrace("OCR zone side changed for MICR side; F -> R", false);
      side = MyMICR.side;
    } else if (z.side == 0) {
      const uint16_t other = MyMICR.side == 1 ? 0 : 1;
      if (other != 0) WriteTrace("OCR zone side changed for MICR side; R -> F", false);
      side = other;
    } else {
      WriteTrace("OCR zone side not changed for MICR side", false);
    }
    PVKOCRDoc copy = l.s.work;
    copy.rotation = z.side == 0 ? (MyMICR.rotation == 768 ? 256 : 768) : MyMICR.rotation;
    MyOcrFree(side, false);
    if (!sideImage(l, side, &copy)) return Step::EndLoop;
    turnedImage = true;
  }
  if (z.font == 36)
    WriteTrace("Vx3Read1Zone with DATAMATRIX, font", z.font, false);
  else
    WriteTrace("Vx3Read1Zone with font", z.font, false);
  const bool ok = readHere(l, side, t);
  if (turnedImage) MyOcrFree(side, false);
  t.side = z.side;  // the zone keeps its own side number
  z = t;
  if (!ok) {
    soundNoCldOnce(l);
    return Step::EndLoop;
  }
  return Step::Read;
}

// ---- One slot ----------------------------------------------------------------------------------

bool sideTooCoarse(uint16_t side) {
  if (side >= kSides) return true;
  const ImgInfo& i = MyDev.img[side];
  return MyAcq.colourLines * i.dpiV <= 71 || i.dpiH <= 71;
}

bool takesMicrBranch(PVKOCRZone& z, int& outcome) {
  const bool onlyMicr = MyOcr.onlyMicr != 0;
  if (!(onlyMicr ? IsMICRFont(z.font, false) : (z.font == 32 || z.font == 33 || z.font == 34))) return false;
  const bool cmc7 = IsCMC7Font(z.font), e13b = IsE13BFont(z.font);
  if (onlyMicr && MyMICR.headPresent && micrDisabledByPhotocell() && (cmc7 || e13b)) {
    z.font = 0;
    outcome = 0;
    return true;
  }
  if (onlyMicr && MyMICR.cdlFound) {
    outcome = 0;
    return true;
  }
  if (onlyMicr && !IsMICRFont(z.font, true)) z.font = cmc7 ? 32 : 33;
  outcome = micrDisabledByPhotocell() ? -1 : 1;
  return outcome == 1;
}

Step readSlot(Loop& l, int k, PVKOCRZone& z) {
  if (z.font == -1) return Step::Skipped;
  if (typeWithCodeline(MyOcr.typeDoc)) {
    const Step st = storedCodeline(l, k, z);
    if (st != Step::Skipped) return st;
  }
  const uint16_t side = static_cast<uint16_t>(z.side);
  if (sideTooCoarse(side)) {
    WriteTrace("dpi too small for side", side, false);
    l.dimError = true;
    return Step::Skipped;
  }
  if (MyOcr.ocrImg[side].data != nullptr &&
      (!MyOcr.ocrImgValid[side] || MyOcr.ocrImgRotation[side] != l.s.work.rotation))
    MyOcrFree(side, false);
  int micr = -1;
  if (takesMicrBranch(z, micr)) {
    if (micr == 0) return Step::Skipped;
    return micrZone(l, k, z);
  }
  if (z.font != 101 && z.font != 110 && !sideImage(l, side, &l.s.work)) return Step::EndLoop;
  if (IsMICROPERFORATIONFont(z.font, false) && (z.font == 35 || z.font == 40 || z.font == 41)) {
    const int n = pvk::reading::readMicroperforationZone(l.s, z, z.font, pvk::reading::slotText(l.out),
                                                         pvk::reading::slotConf(l.out), l.out.capacity);
    if (n < 0) return Step::EndLoop;
    z.charsRead = static_cast<uint16_t>(n);
    return Step::Read;
  }
  if (isComposite(z.font)) return compositeMode(l, k, z);
  return ordinaryZone(l, z);
}

void zoneLoop(Loop& l) {
  for (int k = 0; k < l.s.nZones; ++k) {
    PVKOCRZone& z = l.s.work.zones[k];
    z.charsRead = 0;
    MyOcr.multiLine = l.s.switch1;
    if (pvk::core::stopRequested()) {
      WriteTrace("skipping zone decoding for stop", k, false);
      continue;
    }
    if (k > 0 && !pvk::reading::separateSlot(l.out, k)) {
      z.charsRead = 0;
      l.truncated = true;  // the zone is not read at all: the output was cut before it
      continue;
    }
    const int before = l.out.total;
    const Step st = readSlot(l, k, z);
    if (st == Step::Read && l.out.total == before) {
      // A reader that wrote in place: its count is recorded now (never past the room).
      const int count = static_cast<int16_t>(z.charsRead);
      if (count < 0) {
        WriteTrace("Vx3Read1Zone error", count, false);
        l.failed = true;
        z.charsRead = 0;
        break;
      }
      pvk::reading::recordSlot(l.out, k, count);
      z.charsRead = static_cast<uint16_t>(l.out.length[k]);
    }
    if (st == Step::EndLoop) break;
  }
  WriteTrace("end n. zone", l.s.nZones, false);
}

// ---- Output ------------------------------------------------------------------------------------

void soundBuzzers(const PVKOCRDoc& doc, const char* conf, int n) {
  if (!MyDev.buzzerPresent) return;
  if (!MyBuz.sounded[0] && MyBuz.valNR != 0 && !MyBuz.sounded[2] && conf != nullptr &&
      std::memchr(conf, 1, static_cast<size_t>(n)) != nullptr) {
    MyBuz.sounded[2] = 1;
    Vx3ComandaBuzzer(MyBuz.valNR, MyBuz.msNR);
    Vx3ComandaBuzzer(0, 0);
  }
  if (MyBuz.sounded[2] || MyBuz.valNoCld == 0 || MyBuz.sounded[1]) return;
  for (int i = 0; i < doc.nZones && i < PVK_OCR_MAX_ZONES; ++i) {
    if (doc.zones[i].font == -1 || doc.zones[i].charsRead > 0) continue;
    MyBuz.sounded[1] = 1;
    Vx3ComandaBuzzer(MyBuz.valNoCld, MyBuz.msNoCld);
    Vx3ComandaBuzzer(0, 0);
    return;
  }
}

void endOfDocument(bool keepCodeline) {
  if (!keepCodeline) {
    SetDefaultSideAndRotationAuto();
    RipristinaDefaultMyOcrOpt();
  }
  MyOcr.typeDoc = MyOcr.typeDocSaved;
}

bool output(Loop& l, PVKOCRDoc* doc) {
  const int nCaller = doc != nullptr && doc->nZones > 0 ? std::min<int>(doc->nZones, PVK_OCR_MAX_ZONES) : 0;
  int slotOf[PVK_OCR_MAX_ZONES];
  int16_t fonts[PVK_OCR_MAX_ZONES];
  uint16_t counts[PVK_OCR_MAX_ZONES];
  for (int i = 0; i < nCaller; ++i) slotOf[i] = -1, fonts[i] = doc->zones[i].font;
  for (int k = 0; k < l.s.nZones; ++k) {
    const int i = l.s.callerIndex[k];
    if (i < 0 || i >= nCaller) continue;
    slotOf[i] = k;
    fonts[i] = l.s.work.zones[k].font;
  }
  bool cut = false;
  const int n = pvk::reading::arrangeOutput(l.out, slotOf, fonts, nCaller, counts, cut);
  for (int i = 0; i < nCaller; ++i) {
    doc->zones[i].charsRead = counts[i];
    doc->zones[i].font = fonts[i];
  }
  if ((cut || l.truncated) && MyDev.lastResult == PVK_OK) MyDev.lastResult = PVK_WAR_OCR_TRUNCATED;
  soundBuzzers(*(doc ? doc : &l.s.work), l.out.conf, n);
  if (l.dimError && MyDev.lastResult == PVK_OK) {
    WriteTrace("OCRDimError", false);
    MyDev.lastResult = PVK_WAR_IMG_DIMENSIONS;
  }
  if (pvk::core::stopRequested()) {
    WriteTrace("stop", false);
    MyDev.lastResult = PVK_ERR_ABORTED;
  }
  const bool failed = l.failed;
  if (failed) {
    if (l.out.text && l.out.size > 0) std::memset(l.out.text, 0, static_cast<size_t>(l.out.size));
    if (l.out.conf && l.out.size > 0) std::memset(l.out.conf, 0, static_cast<size_t>(l.out.size));
  }
  std::free(l.s.ownedConf);
  l.s.ownedConf = nullptr;
  if (failed) {
    if (MyDev.lastResult >= 0) MyDev.lastResult = PVK_ERR_OCR;
    WriteTrace("Vx3ReadChar returning false", false);
    endOfDocument(false);
    return false;
  }
  WriteTrace("Vx3ReadChar returning true", false);
  endOfDocument(MyMICR.cdlFound || MyOcrOpt.found);
  return true;
}

}  // namespace

bool Vx3ReadChar(PVKOCRDoc* doc, char* text, char* conf, unsigned short maxChars) {
  DocumentSetup s;
  const pvk::reading::SetupOutcome setup = pvk::reading::setUpDocument(doc, text, conf, maxChars, s);
  if (setup == pvk::reading::SetupOutcome::Failed) return false;
  Loop l{s, ZoneOutput{}};
  // The confidences go to the caller's buffer, or to the one the set-up made when there is none.
  pvk::reading::startOutput(l.out, text, s.conf, maxChars);
  if (setup == pvk::reading::SetupOutcome::ReadZones) zoneLoop(l);
  // The caller's zones get their counts and fonts even when nothing was read.
  return output(l, doc);
}
