// The set-up of a document read: the working copy of the caller's request with its zones
// re-ordered (magnetic codelines first, then DataMatrix, then the rest) and the fixed geometries
// of the Italian cheque, the INI patch of the arrow zone, the rotation checks, and for the
// document types with a codeline the search for it and the cross-check of an Italian cheque.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/ini.h"
#include "core/shims.h"
#include "core/trace.h"
#include "ocr/ocr.h"
#include "reading/reading.h"

namespace {

bool readTrace() { return (MyLog.Debug & 0x2) != 0; }

void traceRequest(const PVKOCRDoc& doc, int nZones) {
  WriteTrace("td", MyOcr.typeDoc, false);
  for (int i = 0; i < nZones; ++i) {
    const PVKOCRZone& z = doc.zones[i];
    char line[160];
    std::snprintf(line, sizeof line, "zona %d side %d font %d, t %d, h %d, l %d, w %d, s %d", i, z.side, z.font,
                  static_cast<int>(z.top), static_cast<int>(z.height), static_cast<int>(z.left),
                  static_cast<int>(z.width), z.option);
    WriteTrace(line, false);
  }
}

void setGeometry(PVKOCRZone& z, int64_t left, int64_t top, int64_t width, int64_t height) {
  z.left = left, z.top = top, z.width = width, z.height = height;
}

// The taller of the two acquired sides decides where the amount of an Italian cheque lies.
int64_t amountTop() {
  const uint16_t rows = MyDev.img[0].rowsUsed > MyDev.img[1].rowsUsed ? MyDev.img[0].rowsUsed : MyDev.img[1].rowsUsed;
  return rows > 830 ? -410 : 20;
}

// Pass c of the re-ordering: the fixed places of the Italian cheque's fields.
void italianGeometry(PVKOCRZone& z) {
  switch (z.font) {
    case 39: ZonaOCRBssegnoItaliano(z); return;
    case 35: setGeometry(z, 10, -115, 280, 70); break;
    case 40: setGeometry(z, 150, -215, 900, 70); break;
    case 41: setGeometry(z, -365, amountTop(), 350, 75); break;
    default: return;
  }
  z.side = 1;
}

// Fills the working slots in three passes, each keeping the caller's order.
void reorderZones(const PVKOCRDoc& caller, pvk::reading::DocumentSetup& s, int nZones) {
  WriteTrace("moving zones", false);
  const bool italian = MyITACheck.active != 0;
  const bool strict = !MyOcr.onlyMicr;
  bool taken[PVK_OCR_MAX_ZONES] = {};
  int slot = 0;
  auto take = [&](int i) -> PVKOCRZone& {
    taken[i] = true;
    s.callerIndex[slot] = i;
    s.work.zones[slot] = caller.zones[i];
    return s.work.zones[slot++];
  };
  for (int i = 0; i < nZones; ++i) {
    const short font = caller.zones[i].font;
    if (!IsMICRFont(font, strict)) continue;
    PVKOCRZone& z = take(i);
    if (IsMICRFont(font, true)) continue;
    if (IsCMC7Font(font)) {
      z.font = 32;
      if (italian) {
        z.side = 1;
        setGeometry(z, 0, -100, 0, 100);
      }
    } else if (IsE13BFont(font)) {
      z.font = 33;
    }
  }
  for (int i = 0; i < nZones; ++i) {
    if (taken[i] || caller.zones[i].font != 36) continue;
    PVKOCRZone& z = take(i);
    if (italian) ZonaDATAMATRIXAssegnoItaliano(z);
  }
  for (int i = 0; i < nZones; ++i) {
    if (taken[i]) continue;
    PVKOCRZone& z = take(i);
    if (italian) italianGeometry(z);
  }
}

// INI [Patch] Freccia01: the arrow PDF417 zone at a fixed place; 2 also makes the document a
// payment form with an arrow.
void arrowPatch(PVKOCRDoc& work, int nZones) {
  char value[64];
  GetPrivateProfileString("Patch", "Freccia01", "0", value, sizeof value, MyLog.iniPath);
  const int patch = std::atoi(value);
  if (patch <= 0) return;
  WriteTrace("Patch_Freccia01", patch, false);
  for (int i = 0; i < nZones; ++i)
    if (work.zones[i].font == 8) setGeometry(work.zones[i], -460, -340, 460, 240);
  if (patch == 2) MyOcr.typeDoc = 13;
}

void checkRotation(PVKOCRDoc& work, int nZones) {
  const uint16_t r = work.rotation;
  if ((r & ~0x0300) != 0 && r != 1024) {
    if (nZones > 0)
      WriteTrace("war - ", "OCR document rotation with invalid value. No rotation is used (c)", false);
    work.rotation = 0;
  }
  if ((MyOcr.typeDoc == 0 || MyOcr.typeDoc == 1) && work.rotation == 0 && MyMICR.enabled) {
    WriteTrace("MICR rotation forced", false);
    work.rotation = MyMICR.rotation;
  }
}

}  // namespace

namespace pvk::reading {

SetupOutcome setUpDocument(PVKOCRDoc* doc, char* text, char* conf, unsigned short maxChars, DocumentSetup& s) {
  std::memset(&s, 0, sizeof s);
  std::memset(&italianDataMatrix, 0, sizeof italianDataMatrix);
  MyOcrOpt.found = 0;
  MyOcrOpt.count = 0;
  const uint16_t td = MyOcr.typeDoc;
  if (td == 3 || td == 4 || td == 6 || td == 7 || td == 8) {
    MyITACheck.semicolonAt10 = 0;
    MyITACheck.equalsAt10 = 0;
  }
  s.switch1 = MyOcr.multiLine;

  if (text && maxChars > 0) text[0] = 0;
  s.conf = conf;
  if (!conf) {
    s.ownedConf = static_cast<char*>(std::calloc(maxChars > 0 ? maxChars : 1, 1));
    if (!s.ownedConf) {
      WriteTrace("err - ", "ReadOCR - memory allocation failure ", static_cast<int>(GetLastError()), false);
      MyDev.lastResult = -4;
      return SetupOutcome::Failed;
    }
    s.conf = s.ownedConf;
  }
  if (!doc || doc->nZones <= 0) return SetupOutcome::Output;
  const int nZones = doc->nZones > PVK_OCR_MAX_ZONES ? PVK_OCR_MAX_ZONES : doc->nZones;
  if (readTrace()) traceRequest(*doc, nZones);

  AggiornaDebugFileName();
  std::memcpy(&s.work, doc, sizeof s.work);
  s.work.nZones = static_cast<int16_t>(nZones);
  s.nZones = nZones;
  MyOcr.autoSideResolved = 0;
  for (int i = 0; i < nZones; ++i) {
    const short font = doc->zones[i].font;
    MyOcr.currentFont = font;
    if (IsCMC7Font(font) && (MyOcr.typeDoc == 0 || MyOcr.typeDoc == 1)) {
      MyOcr.typeDoc = MyOcr.typeDocCmc7;
      MyOcr.autoSideResolved = 1;
    }
  }
  reorderZones(*doc, s, nZones);
  arrowPatch(s.work, nZones);
  checkRotation(s.work, nZones);

  if (MyOcr.typeDoc >= 3 && MyOcr.typeDoc <= 13) {
    if (!detectDocumentType(s)) return SetupOutcome::Output;
    italianChequeCrossCheck(s);
  }
  return SetupOutcome::ReadZones;
}

}  // namespace pvk::reading
