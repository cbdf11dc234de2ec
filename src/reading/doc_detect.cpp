// The codeline search of the document types 3..13: the cheque band (CMC7 or E13B) and the
// payment-form line read over four rotations of one side, and of the other side for some types;
// the best reading fixes the side and rotation of the whole document.
#include <cstring>

#include "control/control.h"
#include "core/trace.h"
#include "document/document.h"
#include "ocr/ocr.h"
#include "reading/reading.h"

namespace {

using pvk::reading::DocumentSetup;

bool typeIn(uint16_t t, std::initializer_list<uint16_t> set) {
  for (uint16_t v : set)
    if (t == v) return true;
  return false;
}

// Rotation order of the trials: where the codeline is most likely first.
void rotationOrder(uint16_t order[4]) {
  static const uint16_t kDefault[4] = {0, 512, 256, 768};
  static const uint16_t kFrom768[4] = {768, 256, 0, 512};
  static const uint16_t kQuarter[4] = {256, 768, 0, 512};
  const uint16_t* o = kDefault;
  if (MyMICR.enabled)
    o = MyMICR.rotation == 768 ? kFrom768 : kQuarter;
  else if (MyDev.img[1].trimWidth < MyDev.img[1].rowsUsed)
    o = kQuarter;
  std::memcpy(order, o, sizeof(uint16_t) * 4);
}

struct Trial {
  char text[128];
  char conf[128];
  ChInfo info[128];
  PVKOCRDoc band;
  PVKOCRZone& zone() { return band.zones[0]; }
};

void setBand(PVKOCRZone& z, uint16_t side, short font, int64_t left, int64_t top, int64_t width, int64_t height) {
  std::memset(&z, 0, sizeof z);
  z.side = static_cast<int16_t>(side);
  z.font = font;
  z.option = 1;
  z.left = left, z.top = top, z.width = width, z.height = height;
}

// Reads the trial's band on the OCR image of side with switch 1 set.
bool readTrialBand(Trial& t, uint16_t side, const DocumentSetup& s) {
  std::memset(t.text, 0, sizeof t.text);
  std::memset(t.conf, 0, sizeof t.conf);
  MyOcr.multiLine = 1;
  const bool ok = pvk::reading::readZone(side, t.zone(), sizeof t.text, t.text, t.conf, t.info);
  MyOcr.multiLine = s.switch1;
  return ok;
}

enum class Step { Next, Found, Fail };

// Step d: the cheque band. Found when AggiornaOptCdl accepts the reading.
Step chequeTrial(Trial& t, uint16_t side, uint16_t rotation, bool micrMode, bool e13b, const DocumentSetup& s,
                 int& best) {
  if (!micrMode) {
    if (!readTrialBand(t, side, s)) return Step::Fail;
    return AggiornaOptCdl(t.zone(), t.text, t.conf, t.info, static_cast<short>(rotation), false, false, best)
               ? Step::Found
               : Step::Next;
  }
  if (side != MyMICR.side || rotation != MyMICR.rotation) return Step::Next;
  t.zone().font = e13b ? 33 : 32;
  if (!pvk::reading::buildImage(MyMICR.side, &t.band)) return Step::Fail;
  if (!readTrialBand(t, MyMICR.side, s)) return Step::Fail;
  return AggiornaOptCdl(t.zone(), t.text, t.conf, t.info, static_cast<short>(rotation), true, false, best)
             ? Step::Found
             : Step::Next;
}

// Step f: the accepted payment-form band, widened, fitted to its characters and read again.
void acceptPaymentForm(Trial& t, uint16_t side, uint16_t rotation, int type, short font, const DocumentSetup& s) {
  PVKOCRZone& z = t.zone();
  MyOcrOpt.found = 1;
  MyOcrOpt.typeDoc = MyOcr.typeDoc;
  MyOcrOpt.rotation = rotation;
  MyOcrOpt.side = side;
  MyOcrOpt.font = static_cast<uint16_t>(font);
  MyAcq.autoFrontSide = side;
  MyAcq.autoRearSide = side == 0;
  if (type == 222 || type == 1)
    z.left = -1230, z.width = 1230;
  else if (type == 0)
    z.left = 0, z.width = 0;
  else
    z.left = -1000, z.width = 1000;
  z.font = font;

  int top = 0x7FFF, bottom = -1;
  for (int i = 0; i < z.charsRead && i < 127; ++i) {
    if (t.text[i] == ' ' || t.text[i] == '?') continue;
    if (t.info[i].top / 2 < top) top = t.info[i].top / 2;
    if (t.info[i].bottom / 2 > bottom) bottom = t.info[i].bottom / 2;
  }
  if (bottom >= 0) {
    const int64_t oldHeight = z.height;
    const int64_t shift = top >= 20 ? top - 20 : 0;
    int64_t newBottom = bottom + 20;
    if (newBottom > oldHeight - 1) newBottom = oldHeight - 1;
    z.top += shift;
    z.height = newBottom - shift > 1 ? newBottom - shift : 1;
  }

  const uint16_t typeBefore = MyOcr.typeDoc;
  MyOcr.typeDoc = 12;
  const bool ok = readTrialBand(t, side, s);
  MyOcr.typeDoc = typeBefore;
  if (!ok) return;
  const int n = z.charsRead < 127 ? z.charsRead : 127;
  std::memcpy(MyOcrOpt.text, t.text, static_cast<size_t>(n));
  std::memcpy(MyOcrOpt.conf, t.conf, static_cast<size_t>(n));
  std::memcpy(MyOcrOpt.info, t.info, sizeof(ChInfo) * static_cast<size_t>(n));
  MyOcrOpt.text[n] = 0;
  MyOcrOpt.conf[n] = 0;
  MyOcrOpt.count = n;
}

// Step e: the payment-form band. Found when a numbered, 111, 222 or type-1 line was accepted.
Step paymentFormTrial(Trial& t, uint16_t side, uint16_t rotation, const DocumentSetup& s, int& best) {
  const uint16_t td = MyOcr.typeDoc;
  setBand(t.zone(), side, 38, -500, -150, 500, 150);
  MyOcr.typeDoc = 12;
  const bool ok = readTrialBand(t, side, s);
  MyOcr.typeDoc = td;
  if (!ok) return Step::Fail;
  const auto v = pvk::reading::judgePaymentForm(t.text, t.conf, t.zone().charsRead, td);
  if (v.discarded) {
    WriteTrace("scarto", t.text, false);
    MyOcrOpt.count = 0;
    MyOcrOpt.found = 0;
    return Step::Next;
  }
  if (v.type < 0 || (v.type == 0 && v.sum <= best)) return Step::Next;
  best = v.sum;
  short font = 38;
  if (v.type == 222) {
    MyOcr.typeDoc = 2;
    font = 3;
  }
  acceptPaymentForm(t, side, rotation, v.type, font, s);
  if (v.type == 0) return Step::Next;
  WriteTrace("found", v.type, false);
  return Step::Found;
}

bool micrRequest(const DocumentSetup& s) {
  if (MyOcr.onlyMicr) return true;
  for (int i = 0; i < s.nZones; ++i)
    if (IsMICRFont(s.work.zones[i].font, true)) return true;
  return false;
}

// Step 7: the end of the search.
void endSearch(int best, const DocumentSetup& s, uint16_t typeOnEntry) {
  WriteTrace(best > 0 ? "found" : "not found", false);
  if (best == 0) MyOcrOpt.rotation = 0;
  MyOcr.multiLine = s.switch1;
  if (!MyOcrOpt.found) {
    SetDefaultSideAndRotationAuto();
    RipristinaDefaultMyOcrOpt();
    MyOcr.typeDoc = MyOcr.typeDocSaved;
    return;
  }
  if (typeIn(typeOnEntry, {3, 4, 6, 7, 8})) {
    PVKOCRDoc doc{};
    doc.nZones = 1;
    const uint16_t side = MyOcrOpt.side;
    doc.rotation = MyAcq.rotation[side < 3 ? side : 1];
    pvk::reading::buildImage(side, &doc);
  }
}

}  // namespace

namespace pvk::reading {

bool detectDocumentType(DocumentSetup& s) {
  const uint16_t td = MyOcr.typeDoc;
  uint16_t order[4];
  rotationOrder(order);
  if (typeIn(td, {3, 4, 8, 10, 11}))
    WriteTrace("looking for check", false);
  else if (typeIn(td, {6, 7}))
    WriteTrace("looking for check and bolletino", false);
  std::memset(MyOcrOpt.text, 0, sizeof MyOcrOpt.text);
  std::memset(MyOcrOpt.conf, 0, sizeof MyOcrOpt.conf);
  MyOcrOpt.count = 0;
  int best = 0;

  const bool micrMode = micrRequest(s);
  WriteTrace(micrMode ? "Check typedoc with MICR" : "Check typedoc without MICR", false);
  const uint16_t first = micrMode ? MyMICR.side : 1;
  const uint16_t other = micrMode ? (MyMICR.side == 0 ? 1 : 0) : 0;
  const int nSides = typeIn(td, {4, 5, 6, 9, 11}) ? 2 : 1;
  const bool cheque = typeIn(td, {3, 4, 6, 7, 8, 10, 11});
  const bool e13b = td == 10 || td == 11;
  const bool formOnly = typeIn(td, {5, 9, 12, 13});
  const bool formAfterCheque = td == 6 || td == 7;

  Trial t;
  for (int k = 0; k < nSides; ++k) {
    const uint16_t side = k == 0 ? first : other;
    for (uint16_t rotation : order) {
      for (int sd = 0; sd < kSides; ++sd) MyOcrFree(static_cast<uint16_t>(sd), false);
      std::memset(&t.band, 0, sizeof t.band);
      t.band.nZones = 1;
      t.band.rotation = rotation;
      if (e13b)
        setBand(t.zone(), side, 1, 0, -80, 0, 80);
      else
        setBand(t.zone(), side, 0, -1370, -80, 1370, 80);
      if (!buildImage(side, &t.band)) return false;
      Step step = Step::Next;
      if (cheque) step = chequeTrial(t, side, rotation, micrMode, e13b, s, best);
      if (step == Step::Next && (formOnly || formAfterCheque))
        step = paymentFormTrial(t, side, rotation, s, best);
      if (step == Step::Fail) {
        MyOcr.multiLine = s.switch1;
        return false;
      }
      if (step == Step::Found) {
        endSearch(best, s, td);
        return true;
      }
    }
  }
  endSearch(best, s, td);
  return true;
}

}  // namespace pvk::reading
