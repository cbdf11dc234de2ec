// One zone of a document: cut out of the OCR image of its side, turned upright, handed to the
// reader its font selects, and its text and confidences cleaned. The caller's buffers hold
// maxChars bytes each, the terminating NUL included: a zone gives at most maxChars - 1
// characters, and a capacity of 0 writes nothing.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/image_utils.h"
#include "core/trace.h"
#include "image/image.h"
#include "micr/micr.h"
#include "ocr/ocr.h"
#include "reading/reading.h"
#include "symbols/symbols.h"

namespace {

constexpr uint16_t kReadingTrace = 0x2;

bool readingTrace() { return (MyLog.Debug & kReadingTrace) != 0; }

// Fonts read from a mirrored cut (their print is seen through the paper).
bool mirroredFont(short font) { return font >= 935 && font <= 937; }

void failWith(int32_t code) {
  if (MyDev.lastResult >= 0) MyDev.lastResult = code;
}

// The cut written as an 8-bit BMP for the codeline dumps, numbered from 0.
void dumpCut(const PVKImg* cut) {
  char path[400];
  const int n = std::snprintf(path, sizeof path, "%s/cl_%02d.bmp", MyDev.cnfDir, MyOcr.cdlImgCounter);
  ++MyOcr.cdlImgCounter;
  if (n < 0 || n >= static_cast<int>(sizeof path)) return;
  const AcqInfo saved = MyAcq;
  MyAcq.colourLines = 1;
  ImgBPMWrite(path, cut, 8);
  MyAcq = saved;
}

// Text and confidences of a symbol reader's result of r characters: confidence 100 each.
int symbolResult(int r, char* text, char* conf, unsigned short maxChars) {
  if (r < 1) {
    text[0] = conf[0] = '\0';
    return 0;
  }
  r = std::min<int>(r, maxChars - 1);
  std::memset(conf, 100, static_cast<size_t>(r));
  text[r] = conf[r] = '\0';
  if (readingTrace()) WriteTrace(text, false);
  return r;
}

}  // namespace

namespace pvk::reading {

int fitCount(int count, char* text, char* conf, unsigned short maxChars) {
  if (count <= 0 || maxChars == 0) return count < 0 ? count : 0;
  if (count >= maxChars) {
    count = maxChars - 1;
    text[count] = conf[count] = '\0';
  }
  return count;
}

}  // namespace pvk::reading

int Vx3OCRReadBarcodeOrPDF(PVKImg image, PVKOCRZone* zone, char* text, char* conf, unsigned short maxChars) {
  if (!zone || maxChars == 0) return 0;
  if (IsBarcode(zone->font)) {
    const int n = ReadBarCode(image, text, conf, maxChars);
    if (n > 0) return n;
  }
  if (zone->font != 8) return 0;
  return std::max(ReadPdf(image, text, conf, maxChars), 0);
}

int Vx3OCRAnalizzaZone(PVKImg image, PVKOCRZone* zone, char* text, char* conf, ChInfo* info, unsigned short maxChars) {
  if (!zone || maxChars == 0) return 0;  // no room: nothing is read, nothing written
  const short font = zone->font;
  if (!Vx3OCRVerificaDimensioneMinima(&image, static_cast<unsigned short>(font))) return 0;
  if (font == 37 || font == 36) {
    unsigned short len = maxChars;
    int r;
    if (font == 37) {
      if (readingTrace()) WriteTrace("getting QRCODE", false);
      r = PQrCodeDecode(&image, text, len);
      if (readingTrace()) WriteTrace("PQrCodeDecode returned len", r, false);
    } else {
      if (readingTrace()) WriteTrace("getting PDataMatrixDecode", false);
      r = PDataMatrixDecode(&image, text, len);
    }
    return symbolResult(r, text, conf, maxChars);
  }
  if (font == 120 || font == 8 || IsBarcode(font))
    return pvk::reading::fitCount(Vx3OCRReadBarcodeOrPDF(image, zone, text, conf, maxChars), text, conf, maxChars);
  const int n = ReadOCR(image, text, conf, info, font, maxChars);
  if (n > 0 && IsE13BFont(font)) E13BRemapping(text, n);
  return pvk::reading::fitCount(n, text, conf, maxChars);
}

namespace {

// The reader of a zone image by its font.
enum class Reader { OpticalCmc7, E13bCombined, ZoneOcr, Lines, Block };

Reader readerOf(short font, bool multiLine) {
  if (font == 0 || font == 32 || font == 111 || font == 6) return Reader::OpticalCmc7;
  if (font == 33) return Reader::E13bCombined;
  if (IsMICROPERFORATIONFont(font, false)) return Reader::ZoneOcr;
  return multiLine ? Reader::Lines : Reader::Block;
}

}  // namespace

int Vx3OCRRead(PVKImg image, PVKOCRZone* zone, char* text, char* conf, ChInfo* info, unsigned short maxChars,
               unsigned short fullWidth, bool multiLine) {
  if (!zone || !text || !conf) return -1;
  const short font = zone->font;
  MyOcr.currentFont = font;
  MyOcr.dmDpi = image.dpi;
  if (maxChars == 0) {
    WriteTrace("war - ", "no more OCR char", false);
    return 0;
  }
  if (image.width <= 39) {
    WriteTrace("war - ", "Ocr Read with too small area", false);
    return 0;
  }
  text[0] = conf[0] = '\0';
  MyOcr.modeByte = zone->option != 0 ? 1 : 0;
  int n = 0;
  switch (readerOf(font, multiLine)) {
    case Reader::OpticalCmc7:
      n = ReadCMC(image, text, conf, info, font, maxChars);
      break;
    case Reader::E13bCombined:
      n = ReadE13BVert(image, text, conf, maxChars);
      if (n > 0) E13BRemapping(text, n);
      break;
    case Reader::ZoneOcr:
      n = ReadOCR(image, text, conf, info, font, maxChars);
      break;
    case Reader::Lines:
      n = Vx3OCRSpezzaInZone(image, zone, text, conf, info, maxChars, fullWidth);
      break;
    case Reader::Block:
      n = Vx3OCRAnalizzaZone(image, zone, text, conf, info, maxChars);
      break;
  }
  return pvk::reading::fitCount(n, text, conf, maxChars);
}

bool Vx3Read1Zone(PVKImg* sideImage, PVKOCRZone* zone, short rotation, unsigned short maxChars, char* text, char* conf,
                  ChInfo* info, unsigned short side, void* reserved) {
  MyOcr.zoneSide = side;
  if (zone && readingTrace()) WriteTrace("start reading zone with font", zone->font, false);
  if (zone) zone->charsRead = 0;
  if (!sideImage || !zone || !text || !conf) {
    WriteTrace("err - ", "Null img, zone or cdl pointer", false);
    MyDev.lastResult = PVK_ERR_INV_PARAMETER;
    return false;
  }
  if (reserved) WriteTrace("unexpected pointer", false);
  MyOcr.modeByte = zone->option > 0 ? 1 : 0;
  if (rotation & ~0x0300) {
    WriteTrace("war - ", "OCR document rotation with invalid value. No rotation is used (b)", false);
    rotation = 0;
  }
  const short font = zone->font;
  const PVKRoi roi = pvk::reading::zoneToPixels(*zone, sideImage->dpi);
  if (maxChars > 0) text[0] = conf[0] = '\0';
  int count = 0;
  PVKImg* cut = ElaboraRoi(sideImage, roi, rotation, 1, mirroredFont(font));
  if (cut) {
    if (rotation == 256) CancellaBordiRotazione(cut);
    if (MyOcr.cdlImg) dumpCut(cut);
    std::memset(text, 0, maxChars);
    std::memset(conf, 0, maxChars);
    // Left and top stay those of the request, in pixels, even where the cut was clipped.
    PVKOCRZone handed = *zone;
    handed.left = roi.x;
    handed.top = roi.y;
    handed.width = cut->width;
    handed.height = cut->height;
    count = Vx3OCRRead(*cut, &handed, text, conf, info, maxChars, cut->width, true);
    if (count > 0) {
      pvk::reading::foldConfidences(conf, count);
      if (readingTrace()) WriteTrace(text, false);
    }
    if (count < 0) {
      failWith(PVK_ERR_OCR);
      if (maxChars > 0) text[0] = conf[0] = '\0';
    } else if (maxChars > 0) {
      if (MyOcr.removeCrLf) RimuoviCRLF(text, conf, info, count);
      if (IsE13BFont(font)) E13BRemapping(text, count);
      count = std::min<int>(count, maxChars - 1);
      text[count] = conf[count] = '\0';
      if (font == 36) pvk::reading::italianChequeDataMatrix(text, count);
    }
    pvk::reading::releaseCut(cut, rotation);
  }
  if (count < 0) {
    zone->charsRead = 0;
    failWith(PVK_ERR_OCR);
    WriteTrace("end with error reading zone with font", font, false);
    return false;
  }
  if (readingTrace()) WriteTrace("end reading zone with font", font, false);
  zone->charsRead = static_cast<uint16_t>(count);
  return true;
}

bool Vx3Read1Zone(PVKImg* sideImage, PVKOCRZone* zone, short rotation, unsigned short maxChars, char* text, char* conf,
                  void* reserved) {
  const unsigned short side = zone ? static_cast<unsigned short>(zone->side) : 0;
  return Vx3Read1Zone(sideImage, zone, rotation, maxChars, text, conf, nullptr, side, reserved);
}
