// The codeline readers the zone dispatch calls: each runs its optical pass with the OCR engine,
// restores what it changed of the OCR state, and hands the reading to its optical or combined
// stage.
#include <algorithm>
#include <memory>

#include "micr/micr.h"
#include "ocr/ocr.h"

using pvk::micr::handOut;

namespace {

// The OCR pass of the optical CMC7 reader, into arrays of its own (the caller's hold maxChars
// only). ownDpi: the image's resolution is already known to be the one to read it at.
int readCmc7Ocr(PVKImg img, OcrReading& ocr, bool ownDpi) {
  const uint8_t mode = MyOcr.modeByte;
  MyOcr.modeByte = 1;
  ocr.n = ownDpi ? pvk::ocr::readOcrAtOwnDpi(img, ocr.text, ocr.conf, ocr.info, 202, kOcrChars)
                 : ReadOCR(img, ocr.text, ocr.conf, ocr.info, 202, kOcrChars);
  MyOcr.modeByte = mode;
  return ocr.n;
}

}  // namespace

int ReadCMCHor(PVKImg img, char* text, char* conf, ChInfo* info, short font, unsigned short maxChars) {
  if (text == nullptr || conf == nullptr) return -1;
  if (img.width < 64 || img.height < 12 || maxChars < 8) return 0;
  auto ocr = std::make_unique<OcrReading>();
  // A line printed from a font scaled down or up is the standard line at another resolution:
  // every size of the engine and of the bar decoder follows the resolution it is read at. When
  // that reads nothing, the image's own resolution has its try.
  PVKImg asRead = img;
  asRead.dpi = pvk::ocr::codelineReadingDpi(img);
  if (readCmc7Ocr(asRead, *ocr, asRead.dpi == img.dpi) == 0 && asRead.dpi != img.dpi) {
    asRead = img;
    readCmc7Ocr(asRead, *ocr, false);
  }
  if (ocr->n < 1) return 0;
  if (MyOcr.zoneSide == 2) return handOut(ocr->text, ocr->conf, ocr->info, ocr->n, text, conf, info, maxChars);
  return pvk::micr::readCmcBars(asRead, *ocr, text, conf, info, font, maxChars);
}

int ReadCMC(PVKImg img, char* text, char* conf, ChInfo* info, short font, unsigned short maxChars) {
  std::unique_ptr<ChInfo[]> local;
  if (info == nullptr) {
    local = std::make_unique<ChInfo[]>(kCdlChars);
    info = local.get();
    maxChars = std::min<unsigned short>(maxChars, kCdlUsable);
  }
  bool complete = false;
  int n = 0;
  if (MyMICR.enabled && font == 32) {
    n = ReadCMCVert(img, text, conf, info, 32, maxChars);
    IsAssegnoItalia(text, conf, nullptr, n, complete, true);
  } else {
    n = ReadCMCHor(img, text, conf, info, font, maxChars);
    IsAssegnoItalia(text, conf, info, n, complete, true);
  }
  return n;
}

int ReadCMCVert(PVKImg img, char* text, char* conf, ChInfo* info, short font, unsigned short maxChars) {
  if (text == nullptr || conf == nullptr) return -1;
  if (pvk::micr::checkCodelineImage(img, maxChars, false) < 0) return -1;
  auto optical = std::make_unique<OcrReading>();
  const uint8_t mode = MyOcr.modeByte;
  MyOcr.modeByte = 1;
  optical->n = ReadCMCHor(img, optical->text, optical->conf, optical->info, 202, kOcrChars);
  MyOcr.modeByte = mode;
  return pvk::micr::combineCmc7(img, *optical, text, conf, info, font, maxChars);
}

int ReadE13BVert(PVKImg img, char* text, char* conf, unsigned short maxChars) {
  if (text == nullptr || conf == nullptr) return -1;
  const int usable = pvk::micr::checkCodelineImage(img, maxChars, true);
  if (usable < 1) return usable;
  auto optical = std::make_unique<OcrReading>();
  const auto saved = std::make_unique<OcrInfo>(MyOcr);
  optical->n = ReadOCR(img, optical->text, optical->conf, optical->info, 1, kOcrChars);
  MyOcr = *saved;
  return pvk::micr::combineE13B(img, *optical, text, conf, maxChars);
}
