// The cross-check of an Italian cheque right after its codeline was found: the codeline's cheque
// number and ABI/CAB field confirmed or corrected from the DataMatrix of the cheque, or without
// one from its OCR-B line or its microperforated number.
#include <cstring>

#include "core/trace.h"
#include "ocr/ocr.h"
#include "reading/reading.h"

namespace pvk::reading {

ItalianDataMatrix italianDataMatrix;

uint8_t crossCheckThreshold() {
  if (MyOcr.cmc7Thr < 50) return 70;
  return MyOcr.cmc7Thr > 235 ? 255 : static_cast<uint8_t>(MyOcr.cmc7Thr + 20);
}

}  // namespace pvk::reading

namespace {

using pvk::reading::italianDataMatrix;

constexpr int kDataMatrixMin = 28;  // an Italian cheque DataMatrix holds more

// The one-zone request of a fixed zone on the codeline side, with the rotation of that side.
PVKOCRDoc fixedRequest(const PVKOCRZone& zone, uint16_t rotation) {
  PVKOCRDoc doc{};
  doc.nZones = 1;
  doc.rotation = rotation;
  doc.zones[0] = zone;
  return doc;
}

// Step 2: the ';' and '=' flags set by the engine checked against the codeline.
bool separatorsAt10() {
  if (!MyITACheck.semicolonAt10) return false;
  if (!MyOcrOpt.found) return false;
  if (MyOcrOpt.count <= 11) {
    MyITACheck.semicolonAt10 = 0;
    return false;
  }
  bool semicolon = false, equals = false;
  for (int i = 10; i <= 13 && i < MyOcrOpt.count; ++i) {
    semicolon |= MyOcrOpt.text[i] == ';';
    equals |= MyOcrOpt.text[i] == '=';
  }
  MyITACheck.semicolonAt10 = semicolon;
  MyITACheck.equalsAt10 = equals;
  if (semicolon && equals) MyITACheck.semicolonAt10 = MyITACheck.equalsAt10 = 0;
  return MyITACheck.semicolonAt10 != 0;
}

}  // namespace

namespace pvk::reading {

// Reads the fixed DataMatrix zone on side (its OCR image built for the request) into the
// document's DataMatrix buffers; a reading of 28 characters or fewer counts as none.
bool readItalianDataMatrix(uint16_t side, uint16_t rotation) {
  ItalianDataMatrix& dm = italianDataMatrix;
  dm.read = true;
  PVKOCRZone zone{};
  ZonaDATAMATRIXAssegnoItaliano(zone);
  zone.side = static_cast<int16_t>(side);
  PVKOCRDoc req = fixedRequest(zone, rotation);
  if (!buildImage(side, &req)) return false;
  if (!readZone(side, req.zones[0], sizeof dm.text, dm.text, dm.conf, nullptr)) return false;
  dm.count = req.zones[0].charsRead > kDataMatrixMin ? req.zones[0].charsRead : 0;
  return true;
}

void italianChequeCrossCheck(DocumentSetup& s) {
  if (MyOcrOpt.font != 0) {
    MyITACheck.semicolonAt10 = 0;
    return;
  }
  if (!separatorsAt10()) return;
  const uint16_t side = MyOcrOpt.side;
  const uint16_t rotation = MyOcrOpt.rotation;
  ItalianDataMatrix& dm = italianDataMatrix;
  if (readItalianDataMatrix(side, rotation) && dm.count == 0 && MyAcq.backlight) {
    // Printed faintly, the symbol may show better against the backlight.
    PVKOCRZone zone{};
    ZonaDATAMATRIXAssegnoItaliano(zone);
    zone.side = 2;
    PVKOCRDoc req = fixedRequest(zone, rotation);
    char text[256], conf[256];
    if (buildImage(2, &req) && readZone(2, req.zones[0], sizeof text, text, conf, nullptr) &&
        req.zones[0].charsRead > kDataMatrixMin) {
      std::memcpy(dm.text, text, sizeof text);
      std::memcpy(dm.conf, conf, sizeof conf);
      dm.count = req.zones[0].charsRead;
    }
  }

  const uint16_t td = MyOcr.typeDoc;
  if (!(td == 3 || td == 4 || td == 6 || td == 7 || td == 8)) return;
  char* code = MyOcrOpt.text;
  char* codeConf = MyOcrOpt.conf;
  if (!IsCMC7Font(static_cast<short>(MyOcrOpt.font)) || code[0] != ':') return;
  const uint8_t t = crossCheckThreshold();
  int n = MyOcrOpt.count;
  bool complete = false;
  const bool layout = IsAssegnoItalia(code, codeConf, nullptr, n, complete, false);
  bool trusted = !std::memchr(code, '?', static_cast<size_t>(MyOcrOpt.count));
  for (int i = 0; i < 10 && i < MyOcrOpt.count; ++i)
    if (code[i] != ' ' && static_cast<uint8_t>(codeConf[i]) < t) trusted = false;
  if (((!layout && dm.count == 0) || complete) && trusted) return;

  if (dm.count > 0) {
    CorreggiNAssegno(code + 1, codeConf + 1, dm.text + 11, dm.conf + 11, t);
    if (char* semi = std::strchr(code, ';')) {
      char* field = semi + 1;
      if (*field == ' ') ++field;
      CorreggiABIeCAB(field, codeConf + (field - code), dm.text + 2, dm.conf + 2, t);
    }
  } else {
    PVKOCRZone zone{};
    ZonaOCRBssegnoItaliano(zone);
    zone.side = static_cast<int16_t>(side);
    zone.option = 1;
    PVKOCRDoc req = fixedRequest(zone, rotation);
    char text[256] = {}, conf[256] = {};
    MyOcr.multiLine = 1;
    const bool ok = buildImage(side, &req) && readZone(side, req.zones[0], sizeof text, text, conf, nullptr);
    MyOcr.multiLine = s.switch1;
    const int m = ok ? req.zones[0].charsRead : 0;
    if (m == 13) std::memcpy(MyITACheck.ocrbLine, text, 14);
    if (m >= 11 && CorreggiNAssegno(code + 1, codeConf + 1, text, conf, 40)) return;
  }
  PVKOCRZone zone{};
  zone.font = 941;
  zone.side = static_cast<int16_t>(side);
  zone.option = 1;
  zone.left = 10, zone.top = -115, zone.width = 280, zone.height = 70;
  PVKOCRDoc req = fixedRequest(zone, rotation);
  char text[256] = {}, conf[256] = {};
  if (buildImage(side, &req) && readZone(side, req.zones[0], sizeof text, text, conf, nullptr) &&
      req.zones[0].charsRead == 10)
    CorreggiNAssegno(code + 1, codeConf + 1, text, conf, 40);
}

}  // namespace pvk::reading
