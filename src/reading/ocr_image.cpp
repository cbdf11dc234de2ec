// The OCR image of a side: the acquired side cut, resampled to the zones' resolution and
// turned upright for the document rotation, built once per document and rotation and kept in
// MyOcr for every zone of that side.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "core/trace.h"
#include "document/document.h"
#include "geometry/geometry.h"
#include "image/image.h"
#include "reading/reading.h"

namespace {

constexpr uint16_t kReadingTrace = 0x2;

bool readingTrace() { return (MyLog.Debug & kReadingTrace) != 0; }

bool validRotation(unsigned r) { return r == 0 || r == 256 || r == 512 || r == 768; }

// A failure keeps an earlier, more specific negative code.
void failWith(int32_t code) {
  if (MyDev.lastResult >= 0) MyDev.lastResult = code;
}

bool sideIndexOk(unsigned short side) {
  if (side < kSides) return true;
  WriteTrace("err - ", "OCR image of invalid side", side, false);
  MyDev.lastResult = PVK_ERR_INV_PARAMETER;
  return false;
}

// The rotation the OCR image of the side is built with for the request.
uint16_t sideRotation(unsigned short side, const PVKOCRDoc* doc) {
  unsigned r = doc ? doc->rotation : 0;
  if (!validRotation(r)) {
    if (doc->nZones > 0) WriteTrace("war - ", "OCR document rotation with invalid value. No rotation is used (a)", false);
    r = 0;
  }
  // The rear is seen from behind: its quarter turns go the other way.
  if (side == 0 && (r == 256 || r == 768)) r = 1024 - r;
  if (side == 2) {
    r = MyOcrBL.rotation[r / 256];
    if (!validRotation(r)) r = 0;
  }
  return static_cast<uint16_t>(r);
}

const char* dumpLetter(unsigned short side) { return side == 1 ? "F" : side == 2 ? "B" : "R"; }

void dumpOcrImage(unsigned short side, bool jpegToo) {
  if (MyLog.Debug) {
    char path[400];
    if (std::snprintf(path, sizeof path, "%s/_Ocr%s.pgm", MyDev.cnfDir, dumpLetter(side)) < static_cast<int>(sizeof path))
      ImgPGMWrite(path, &MyOcr.ocrImg[side], 1);
  }
  if (jpegToo && MyOcr.debugDump) {
    char path[400];
    if (std::snprintf(path, sizeof path, "%s/%s%s.jpg", MyOcr.dumpDir, MyOcr.debugStem, dumpLetter(side)) <
        static_cast<int>(sizeof path))
      ImgWrite(path, &MyOcr.ocrImg[side]);
  }
}

// Declared size (1/150 inch) against the image; -20 in the last result beyond 10 %.
void checkDeclaredSize(const PVKOCRDoc* doc, const PVKImg& img, int dpi) {
  const int expectedH = doc->expectedHeight * dpi / 150;
  const int expectedW = doc->expectedWidth * dpi / 150;
  if (expectedH != 0 && std::abs(img.height - expectedH) > std::abs(expectedH) / 10) {
    MyDev.lastResult = PVK_ERR_IMG_DIMENSIONS;
    WriteTrace("war - ", "Unxepected height", false);
  }
  if (expectedW != 0 && std::abs(img.width - expectedW) > std::abs(expectedW) / 10) {
    MyDev.lastResult = PVK_ERR_IMG_DIMENSIONS;
    WriteTrace("war - ", "Unxepected width", false);
  }
}

bool sideHasImage(const ImgInfo& img) { return img.firstRow != nullptr && img.hasData != 0; }

}  // namespace

bool Vx3CreateOCRImage(unsigned short side, PVKOCRDoc* doc, unsigned char threshold, bool flipA, bool flipB) {
  if (!sideIndexOk(side)) return false;
  const uint16_t r = sideRotation(side, doc);
  MyOcr.ocrImgQuarter[side] = (r == 256 || r == 768) ? 1 : 0;
  if (MyOcr.ocrImg[side].data && MyOcr.ocrImgValid[side] && MyOcr.ocrImgRotation[side] == r &&
      MyOcr.ocrImgFlipA[side] == flipA && MyOcr.ocrImgFlipB[side] == flipB) {
    if (readingTrace()) WriteTrace("OCR image already present; side", side, false);
    return true;
  }
  WriteTrace("OCR image side", side, false);
  MyOcrFree(side, false);
  MyOcr.ocrImgValid[side] = 0;
  const ImgInfo& src = MyDev.img[side];
  if (!sideHasImage(src)) {
    MyDev.lastResult = PVK_ERR_GENERIC;
    WriteTrace("war - ", "OCR on side without image", false);
    return false;
  }
  if (threshold == 0 && !src.noAutoThreshold) threshold = AutoTrimThresh(&src);
  MyOcr.ocrImgFlipB[side] = flipB;
  MyOcr.ocrImgRotation[side] = r;
  MyOcr.ocrImgFlipA[side] = flipA;
  const int planes = src.colourPlanes ? src.colourPlanes : 1;
  const int dpi = std::max(MyOcr.reqDpiV[side] / planes, static_cast<int>(MyOcr.reqDpiH[side]));
  // Only a good cut makes the image valid: an empty one cached as valid would let every zone of
  // the side read nothing while the document succeeds.
  if (!WrapCutCopyIn(src, static_cast<short>(r), dpi, dpi, &MyOcr.ocrImg[side], threshold, true, flipA, flipB) ||
      !MyOcr.ocrImg[side].data) {
    failWith(PVK_ERR_GENERIC);
    return false;
  }
  MyOcr.ocrImgValid[side] = 1;
  dumpOcrImage(side, true);
  if (doc) checkDeclaredSize(doc, MyOcr.ocrImg[side], dpi);
  if (readingTrace()) WriteTrace("OCR image completed", false);
  return true;
}

bool Vx3CreateOCRImage(unsigned short side, PVKOCRDoc* doc, unsigned char threshold) {
  if (side == 2) return Vx3CreateOCRImage(side, doc, threshold, MyOcrBL.flipH != 0, MyOcrBL.flipV != 0);
  return Vx3CreateOCRImage(side, doc, threshold, false, false);
}

bool Vx3CreateOCRImageCdl(unsigned short side, short rotation, unsigned char threshold, unsigned short height) {
  if (!sideIndexOk(side)) return false;
  if (rotation & ~0x0300) {
    WriteTrace("war - ", "OCR document rotation with invalid value. No rotation is used (z)", false);
    rotation = 0;
  }
  MyOcr.ocrImgQuarter[side] = (rotation == 256 || rotation == 768) ? 1 : 0;
  MyOcrFree(side, false);
  MyOcr.ocrImgValid[side] = 0;
  ImgInfo band = MyDev.img[side];
  if (!sideHasImage(band) || band.rowsUsed == 0 || band.dpiV == 0) {
    MyDev.lastResult = PVK_ERR_GENERIC;
    WriteTrace("war - ", "OCR on side without image", false);
    return false;
  }
  const int height150 = height ? height : band.rowsUsed * 150 / band.dpiV;
  const int hPix = height150 * band.dpiV / 150;
  const int wPix = height150 * band.dpiH / 150;
  const bool quarter = rotation == 256 || rotation == 768;
  if (rotation == 0 && hPix < band.rowsUsed) {
    band.trimTop = static_cast<uint16_t>(band.trimTop + band.rowsUsed - hPix);
    band.rowsUsed = static_cast<uint16_t>(hPix);
  } else if (rotation == 512) {
    band.rowsUsed = static_cast<uint16_t>(std::min<int>(hPix, band.rowsUsed));
  } else if (quarter && side <= 1) {
    const bool firstColumns = (rotation == 256) == (side == 0);
    const int keep = std::min<int>(wPix, band.trimWidth);
    if (!firstColumns) band.trimLeft = static_cast<uint16_t>(band.trimLeft + band.trimWidth - keep);
    band.trimWidth = static_cast<uint16_t>(keep);
  } else if (quarter) {
    MyDev.lastResult = PVK_ERR_INV_PARAMETER;
    WriteTrace("err - ", "OCR Document with invalid parameter for rotation", false);
    return false;
  }
  const short recorded = rotation == 768 ? 0 : rotation;
  MyOcr.ocrImgRotation[side] = static_cast<uint16_t>(recorded);
  const int dpi = std::max(MyOcr.reqDpiH[side], MyOcr.reqDpiV[side]);
  WrapCutCopyIn(band, recorded, dpi, dpi, &MyOcr.ocrImg[side], threshold ? threshold : 100, true, false, false);
  dumpOcrImage(side, false);
  return true;
}
