// The checks of a scan-and-read request before anything is fed: whether each zone's font or
// mode can be read at all, which sides must be acquired and at which resolutions, and the
// request's own limits.
#include <algorithm>

#include "control/control.h"
#include "core/image_utils.h"
#include "core/trace.h"
#include "device/device.h"
#include "ocr/ocr.h"
#include "reading/reading.h"

namespace {

constexpr int kRear = 0, kFront = 1, kBacklight = 2;
constexpr uint16_t kBaseDpi = 300;

bool hasHead() { return MyMICR.headPresent != 0; }

int noHead() {
  WriteTrace("err - ", "magnetic head not detected", false);
  MyDev.lastResult = PVK_ERR_INV_PARAMETER;
  return PVK_ERR_INV_PARAMETER;
}

// The decision of Vx3OCREnabledCheck without the save and restore around it.
int enabledCheck(short font, bool load) {
  switch (font) {
    case 0:
    case 110:
    case 111:
      return enabledCheck(202, load);
    case 100:
    case 101: {
      const int r = enabledCheck(202, load);
      if (r >= 0) enabledCheck(4, load);
      return r;
    }
    case 32:
    case 34: {
      if (!hasHead()) return noHead();
      const int r = enabledCheck(202, load);
      if (font == 32) return r;
      return enabledCheck(1, load);
    }
    case 33:
      if (!hasHead()) return noHead();
      return enabledCheck(1, load);
    case 36:
    case 37:
    case 6:
    case 7:
    case 121:
    case 8:
      return 0;
    case 203:
    case 120:
    case 14: {
      // Each part of a composite is stored as the last result when it is judged.
      const short firstPart = font == 203 ? 0 : 7;
      int r = enabledCheck(firstPart, true);
      MyDev.lastResult = r;
      if (r != 0 || font == 14) return r;
      r = enabledCheck(font == 203 ? 4 : 8, true);
      MyDev.lastResult = r;
      return r;
    }
    default:
      if (IsBarcode(font)) return 0;
      InitOCR(font, load, 1.0f);
      return MyDev.lastResult;
  }
}

bool fromMakerWithMicrFeeder() {
  const uint16_t p = MyDev.productId;
  return MyDev.vendorId == pvk::device::kVendorId && (p == 3 || p == 4 || p == 8 || p == 9 || p == 14);
}

bool photocellCovered() { return (static_cast<unsigned long>(FX2ReadStatusL()) & 0x20000u) != 0; }

void raiseH(int side) { MyOcr.reqDpiH[side] = std::max<uint16_t>(MyOcr.reqDpiH[side], kBaseDpi); }
void raiseV(int side) {
  const uint16_t v = static_cast<uint16_t>(kBaseDpi * std::max<uint8_t>(MyAcq.colourLines, 1));
  MyOcr.reqDpiV[side] = std::max(MyOcr.reqDpiV[side], v);
}
void raiseV300(int side) { MyOcr.reqDpiV[side] = std::max<uint16_t>(MyOcr.reqDpiV[side], kBaseDpi); }
void raiseHV(int side) {
  raiseH(side);
  raiseV(side);
}

// The onlyMICR rules: the feeder photocell may switch the head off, codeline fonts are read
// magnetically. False (last result untouched) when the head the font needs is missing.
bool onlyMicrFont(short& font, bool& skipBarcode) {
  if (MyMICR.headPresent && MyMICR.photocellCheck && photocellCovered()) {
    WriteTrace("MICR disabled by ADF photocell", false);
    MyMICR.enabled = 0;
    return true;
  }
  const bool cmc7 = IsCMC7Font(font), e13b = IsE13BFont(font);
  if (font != 34 && !cmc7 && !e13b) return true;
  if (!MyMICR.enabled && !hasHead()) {
    WriteTrace("err - ", "only MICR with MICR not present", font, false);
    return false;
  }
  MyMICR.enabled = 1;
  if (font != 34) font = cmc7 ? 32 : 33;
  skipBarcode = e13b;
  return true;
}

// The sides and resolutions a font asks for (after the MICR and barcode rules).
void requestFor(short font, int side) {
  const int rear = kRear, front = kFront;
  switch (font) {
    case 0:
    case 6:
    case 100:
    case 101:
    case 110:
    case 202:
    case 203: {
      // Codeline modes may be found on either side.
      SetRearOff(false);
      MyOcr.reqDpiH[rear] = MyOcr.reqDpiH[front] = kBaseDpi;
      const uint16_t v = std::max<uint16_t>(MyOcr.reqDpiV[rear],
                                            static_cast<uint16_t>(kBaseDpi * std::max<uint8_t>(MyAcq.colourLines, 1)));
      MyOcr.reqDpiV[rear] = MyOcr.reqDpiV[front] = v;
      break;
    }
    case 35:
    case 40:
    case 41:
      raiseHV(rear);
      raiseHV(front);
      if (MyAcq.backlight) {
        MyOcr.reqDpiH[kBacklight] = std::max<uint16_t>(MyOcr.reqDpiH[kBacklight], kBaseDpi);
        MyOcr.reqDpiV[kBacklight] = std::max<uint16_t>(MyOcr.reqDpiV[kBacklight], kBaseDpi);
      }
      break;
    case 121:
      raiseV300(side);
      break;
    default:
      raiseHV(side);
  }
  const uint16_t td = MyOcr.typeDoc;
  if (td >= 3 && td <= 13) {
    raiseHV(rear);
    raiseHV(front);
    if (td == 4 || td == 5 || td == 6 || td == 9 || td == 11) {
      MyOcr.reqDpiH[front] = std::max(MyOcr.reqDpiH[front], MyOcr.reqDpiH[rear]);
      MyOcr.reqDpiV[front] = std::max(MyOcr.reqDpiV[front], MyOcr.reqDpiV[rear]);
    }
  }
}

}  // namespace

int Vx3OCREnabledCheck(short font, bool load) {
  const OcrInfo saved = MyOcr;
  const int r = enabledCheck(font, load);
  MyOcr = saved;
  return r;
}

bool CheckParameterOCR(short font, short side) {
  MyBuz.sounded[0] = MyBuz.sounded[1] = MyBuz.sounded[2] = 0;
  if (Vx3OCREnabledCheck(font, false) != 0) {
    WriteTrace("err - ", "invalid/not enabled OCR font", font, false);
    return false;
  }
  const int s = side == 1 ? kFront : kRear;
  bool skipBarcode = false;
  if (MyOcr.onlyMicr && fromMakerWithMicrFeeder() && !onlyMicrFont(font, skipBarcode)) return false;
  if (!skipBarcode && IsBarcode(font)) {
    // A symbology's own font reads nothing once parameter 16 switched that symbology off.
    if (font != 7 && !IsBarcodeEnabled(font)) {
      WriteTrace("err - ", "invalid/not enabled OCR font", font, false);
      MyDev.lastResult = PVK_ERR_OCR_FONT_DISABLED;
      return false;
    }
    raiseH(s);
    raiseV300(s);
    return true;
  }
  if (font == 120 || font == 8 || font == 36 || font == 37) {
    raiseHV(s);
    return true;
  }
  if (font == 14) {
    raiseH(s);
    raiseV300(s);
    return true;
  }
  if (font == 32 || font == 33 || font == 34) {
    if (!hasHead()) {
      noHead();
      return false;
    }
    MyMICR.enabled = 1;
    raiseH(MyMICR.side == 1 ? kFront : kRear);
    raiseV(kRear);
    MyOcr.reqDpiV[kFront] = std::max(MyOcr.reqDpiV[kFront], MyOcr.reqDpiV[kRear]);
    return true;
  }
  requestFor(font, s);
  if (MyMICR.headPresent && MyMICR.enabled && MyMICR.photocellCheck && fromMakerWithMicrFeeder() &&
      photocellCovered()) {
    WriteTrace("MICR disabled by ADF photocell", false);
    MyMICR.enabled = 0;
  }
  return true;
}

namespace {

// Whether this one-zone request reads only the first part of a two-part acquisition: the part
// that comes out of the scanner first holds the zone.
bool firstPartOnly(const PVKOCRDoc& doc) {
  if (!MyAcq.twoPart || doc.nZones != 1) return false;
  const PVKOCRZone& z = doc.zones[0];
  switch (doc.rotation) {
    case 0: return z.top < 0;
    case 512: return z.top > 0;
    case 768: return z.left < 0;
    default: return false;
  }
}

bool refuse(const char* text) {
  WriteTrace("err - ", text, false);
  MyDev.lastResult = PVK_ERR_INV_PARAMETER;
  return false;
}

void clampRequests() {
  const uint16_t capV = MyAcq.rgb ? 900 : kBaseDpi;
  for (int s = 0; s < kSides; ++s) {
    const uint16_t out = MyDev.outDpi[s] > 0 ? static_cast<uint16_t>(MyDev.outDpi[s]) : 0;
    if (MyOcr.reqDpiH[s] != 0) MyOcr.reqDpiH[s] = std::min<uint16_t>(std::max(MyOcr.reqDpiH[s], out), kBaseDpi);
    if (MyOcr.reqDpiV[s] != 0) MyOcr.reqDpiV[s] = std::min<uint16_t>(std::max(MyOcr.reqDpiV[s], out), capV);
  }
}

}  // namespace

bool Vx3Read_CheckParameter(PVKOCRDoc* doc, char* text, char* /*conf*/) {
  MyDev.lastResult = PVK_OK;
  MyAcq.twoPartActive = 0;
  MyOcr.multiLine = MyOcr.fixedSize = MyOcr.secondSize = 0;
  for (int s = 0; s < kSides; ++s)
    if (!CheckDpi(MyDev.outDpi[s])) return false;
  SetFrontOff(MyDev.outDpi[kFront] <= 0);
  SetRearOff(MyDev.outDpi[kRear] <= 0);
  MyOcr.reqDpiH[kRear] = MyOcr.reqDpiV[kRear] = MyOcr.reqDpiH[kFront] = MyOcr.reqDpiV[kFront] = 0;
  MyITACheck = ITACheckInfo{};
  if (doc != nullptr) {
    // The count is not checked yet: never look past the table's 20 zones.
    const int walk = std::min<int>(doc->nZones, PVK_OCR_MAX_ZONES);
    for (int i = 0; i < walk; ++i) {
      if (doc->zones[i].font != 35) continue;
      MyITACheck.active = 1;
      if (MyOcr.typeDoc == 0 || MyOcr.typeDoc == 1) {
        MyOcr.typeDoc = MyOcr.typeDocMicroperf;
        WriteTrace("forcing MICROPERFORATION typedoc", MyOcr.typeDoc, false);
      }
    }
    if (doc->nZones > 0 && text == nullptr) return refuse("invalid codeline/confidence parameter");
    if (doc->nZones > PVK_OCR_MAX_ZONES) return refuse("Too much OCR zones");
    MyAcq.twoPartActive = firstPartOnly(*doc) ? 1 : 0;
    for (int i = 0; i < doc->nZones; ++i) {
      PVKOCRZone& z = doc->zones[i];
      z.charsRead = 0;
      if (z.height < 0 || z.width < 0 || (z.side != 0 && z.side != 1)) return refuse("OCR zones parameters faulty");
      if (z.font == -1) continue;
      if (CheckParameterOCR(z.font, z.side)) continue;
      if (MyDev.lastResult < 0) return false;
      return refuse("OCR zones parameters faulty");
    }
  }
  if (MyOcr.reqDpiV[kFront] != 0 || MyOcr.reqDpiH[kFront] != 0) SetFrontOff(false);
  if (MyOcr.reqDpiV[kRear] != 0 || MyOcr.reqDpiH[kRear] != 0) SetRearOff(false);
  clampRequests();
  return true;
}
