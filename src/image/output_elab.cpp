// Output elaboration: one acquired side becomes one encoded picture. The request is checked,
// the side cut and turned to the output dpi, its plane picked, a BMP built with the side's
// output brightness and contrast, and the BMP encoded (with the JPEG quality search for 999).
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/defaults.h"
#include "core/frame.h"
#include "core/ini.h"
#include "image/image.h"
#include "image/image_seams.h"
#include "image/jpeg_autoquality.h"

using namespace pvk::image;

namespace {

bool refuse(const char* text, long value)
{
  traceError(text, value);
  return false;
}

bool validDepth(short bpp) { return bpp == 0 || bpp == 1 || bpp == 8 || bpp == 24; }

short swapQuarterTurns(short rotation)
{
  return rotation == 256 ? 768 : rotation == 768 ? 256 : rotation;
}

}  // namespace

bool VerificaFormatoImmagine(short plane, short format, short quality, short bpp,
                             bool& blackAndWhite)
{
  if (plane == 16) {
    if (!MyAcq.uv)
      return refuse("Image Elaboration - UV not enabled", bpp);
    if (bpp == 24)
      return refuse("Image Elaboration - UV with invalid bpp", bpp);
  } else if (plane == 8) {
    if (!MyAcq.ir)
      return refuse("Image Elaboration - IR not enabled", bpp);
    if (bpp == 24)
      return refuse("Image Elaboration - IR with invalid bpp", bpp);
  }
  switch (format) {
    case kJpeg:
    case kTiffJpeg: {
      bool qualityOk = (quality >= 1 && quality <= 100) || (format == kJpeg && quality == kQualityItaCheck);
      if (!qualityOk)
        return refuse("Image Elaboration - JPEG with invalid quality", quality);
      if (bpp == 1)
        return refuse("Image Elaboration - JPEG with B&W depth", bpp);
      return true;
    }
    case kBmp:
    case kTiffLzw:
    case kTiffNone:
      if (!validDepth(bpp))
        return refuse(format == kBmp     ? "Image Elaboration - BMP with invalid bpp"
                      : format == kTiffLzw ? "Image Elaboration - LZW with invalid bpp"
                                           : "Image Elaboration - with TIF invalid bpp",
                      bpp);
      blackAndWhite = bpp == 1;
      return true;
    case kTiffG3:
    case kTiffG4:
      if (bpp != 0 && bpp != 1)
        return refuse("Image Elaboration -  with TIF invalid bpp", bpp);
      blackAndWhite = true;
      return true;
    default:
      return refuse("Image Elaboration - invalid image format", format);
  }
}

namespace {

int setOutputLevel(short side, short value, int16_t ImgInfo::*field, const char* badSide,
                   const char* badValue)
{
  if (side != 0 && side != 1) {
    traceError(badSide, side);
    return setResult(-3);
  }
  if (value < -100 || value > 100) {
    traceError(badValue, value);
    return setResult(-3);
  }
  MyDev.img[side].*field = value;
  return setResult(0);
}

}  // namespace

int Vx3ElabImgBrightness(short side, short value)
{
  return setOutputLevel(side, value, &ImgInfo::outBrightness, "ElabImgBrightness - invalid side",
                        "ElabImgBrightness - invalid value");
}

int Vx3ElabImgContrast(short side, short value)
{
  return setOutputLevel(side, value, &ImgInfo::outContrast, "ElabImgContrast - invalid side",
                        "ElabImgContrast - invalid value");
}

uint8_t AutoTrimThresh(const ImgInfo* side)
{
  if (!side || side->side > 2 || MyCorS[side->side].modeLoaded == 0)
    return 60;
  uint8_t t = BrightnessAndContrast(side->side, MyDev.fwVersion < 0x3101 ? 50 : 40);
  return t < 20 ? 20 : t;
}

void GestisciAutoRotate(short& rotation, bool& flipH, bool& flipV, short side)
{
  flipH = flipV = false;
  if (side >= 0 && side <= 2)
    rotation = static_cast<short>(MyAcq.rotation[side]);
  if (!MyOcrOpt.found) {
    rotation = 0;
    return;
  }
  rotation = static_cast<short>(MyOcrOpt.rotation);
  if (side == 0) {
    rotation = swapQuarterTurns(rotation);
  } else if (side == 2) {
    if (rotation == 0 || rotation == 256 || rotation == 512 || rotation == 768)
      rotation = static_cast<short>(MyOcrBL.rotation[rotation / 256]);
    flipH = MyOcrBL.flipH != 0;
    flipV = MyOcrBL.flipV != 0;
  }
}

void GestisciRotate(short& rotation, bool& flipH, bool& flipV, short side)
{
  flipH = flipV = false;
  if (side == static_cast<short>(R0) || (side == 2 && MyDev.backlightSide == R0))
    rotation = swapQuarterTurns(rotation);
}

namespace {

// The cut side; its buffer is released on every way out.
struct CutSide {
  ImgInfo img{};
  ~CutSide() { std::free(img.allocBase); }
};

uint8_t* commonFailure()
{
  traceError("GetElabImgStruct with invalid parameter");
  setResult(-3);
  return nullptr;
}

bool rotationForcedByIni()
{
  return get_private_profile_int("Ocr", "rotAuto", 0, MyLog.iniPath) > 0;
}

// The quality of one encoding when 999 is asked without the cheque check: fixed from the INI.
int fixedQuality()
{
  const long v = pvk::core::iniNumberIn("Image", "Autoquality", LONG_MIN, LONG_MAX, 30);
  int q = clampQuality(static_cast<int>(std::clamp(v, -1L, 101L)));
  traceInfo("ignoring QUALITY_ITA_CHECK, using", q);
  return q;
}

}  // namespace

uint8_t* Vx3ElabImgStructGet(short side, short plane, short brightness, short contrast,
                             const PVKRoi* roi, short quality, short format, short rotation,
                             short dpi, short bpp, int* size)
{
  if (side < 0 || side > 2) {
    traceError("GetElabImgStruct - invalid image handle", side);
    return commonFailure();
  }
  if (rotation == 0 && rotationForcedByIni()) {
    rotation = kRotationAuto;
    traceInfo("ini forces rotation auto");
  }
  bool blackAndWhite = false;
  if (!VerificaFormatoImmagine(plane, format & kFormatMask, quality, bpp, blackAndWhite))
    return commonFailure();
  const ImgInfo& source = MyDev.img[side];
  if (!source.firstRow) {
    traceError("GetElabImgStruct with null data pointer");
    return commonFailure();
  }
  bool flipH = false, flipV = false;
  if (rotation & kRotationAuto)
    GestisciAutoRotate(rotation, flipH, flipV, side);
  else
    GestisciRotate(rotation, flipH, flipV, side);
  CutSide cut;
  if (!sideCopyOut(source, rotation, dpi, brightness, contrast, cut.img, 0, flipH, flipV))
    return commonFailure();
  if (size)
    *size = 0;
  setResult(0);
  if (!cut.img.firstRow) {
    traceError("ImgGet with null data pointer");
    setResult(-3);
    return nullptr;
  }

  // The plane: visible takes the colour planes, infrared and ultraviolet one plane each.
  size_t first = 0, planes = cut.img.colourPlanes ? cut.img.colourPlanes : 1;
  if (plane == 16 || plane == 8) {
    first = cut.img.colourPlanes + ((plane == 16 && MyAcq.ir) ? 1 : 0);
    planes = 1;
  }
  if (bpp == 0)
    bpp = static_cast<short>(8 * planes);
  size_t width = cut.img.trimWidth & ~3u, height = cut.img.rowsUsed;
  if (height == 0) {
    traceWarning("ImgGet with null dimensions - invalid height");
    setResult(3);
    return nullptr;
  }
  if (width < 4) {
    traceWarning("ImgGet with null dimensions - invalid width");
    setResult(3);
    return nullptr;
  }
  if (planes * width > 65532) {
    traceError("ImgGet with invalid dimensions - width", static_cast<long>(width));
    setResult(-3);
    return nullptr;
  }
  if (roi && (roi->width != 0 || roi->height != 0))
    traceInfo("ROI not supported");

  size_t bmpBytes = ImgBMPSize(planes * width, height);
  auto* bmp = static_cast<uint8_t*>(std::calloc(bmpBytes, 1));
  if (!bmp) {
    traceError("Get elab image with invalid memory allocation", static_cast<long>(errno));
    setResult(-4);
    return nullptr;
  }
  const uint8_t* src = cut.img.firstRow + first * cut.img.planeLineBytes + cut.img.trimLeft +
                       static_cast<size_t>(cut.img.trimTop) * cut.img.rawLineBytes;
  long bmpSize = 0;
  ImgBMPElabora(src, static_cast<uint16_t>(height), static_cast<uint16_t>(width),
                cut.img.planeLineBytes, cut.img.rawLineBytes, static_cast<uint16_t>(planes * width),
                dpi, dpi, source.outBrightness, source.outContrast, static_cast<uint16_t>(8 * planes),
                true, !(format & kRgbOrder), bmp, &bmpSize);

  if (format == kBmp && bpp == static_cast<short>(8 * planes)) {
    if (size)
      *size = static_cast<int>(bmpSize);
    return bmp;
  }
  uint8_t* encoded = nullptr;
  AutoQualityRequest request{side, bmp, bmpSize, MyAcq.thresholds[side], format, dpi, bpp};
  if (quality == kQualityItaCheck && MyITACheck.level >= 3) {
    encoded = encodeAutoQuality(request, size);
  } else {
    long encodedSize = bmpSize;
    int q = quality == kQualityItaCheck ? fixedQuality() : quality;
    encoded = EncodeImage(bmp, &encodedSize, q, request.threshold, format, 0, dpi, dpi, bpp);
    if (!encoded) {
      traceError("EncodeImage returns NULL Pointer");
      setResult(-1);
    } else if (size) {
      *size = static_cast<int>(encodedSize);
    }
  }
  std::free(bmp);
  return encoded;
}

static uint8_t* elaboratedPixels(short side, short brightness, short contrast)
{
  if (side < 0 || side > 2) {
    traceError("GetElabImg - invalid image side", side);
    setResult(-3);
    return nullptr;
  }
  const ImgInfo& source = MyDev.img[side];
  if (!source.firstRow) {
    traceError("GetElabImgStruct with null data pointer");
    setResult(-3);
    return nullptr;
  }
  CutSide cut;
  if (!sideCopyOut(source, 0, MyDev.outDpi[side], brightness, contrast, cut.img, 0, false,
                      false) ||
      !cut.img.firstRow)
    return nullptr;
  // Row lengths in size_t: three times a raw line overflows 16 bits on a wide side.
  size_t raw = cut.img.rawLineBytes, rows = cut.img.rowsUsed;
  if (cut.img.colourPlanes != 3) {
    auto* out = static_cast<uint8_t*>(std::malloc(3 * raw * rows + 1));
    if (!out) {
      traceError("malloc with error in GetElabImg II", static_cast<long>(errno));
      setResult(-4);
      return nullptr;
    }
    const uint8_t* s = cut.img.firstRow;
    for (size_t i = 0; i < raw * rows; ++i)
      out[3 * i] = out[3 * i + 1] = out[3 * i + 2] = s[i];
    return out;
  }
  auto* out = static_cast<uint8_t*>(std::calloc(raw * rows + 1, 1));
  if (!out) {
    traceError("calloc with error in GetElabImg", static_cast<long>(errno));
    setResult(-4);
    return nullptr;
  }
  size_t planesPerLine = cut.img.planesPerLine ? cut.img.planesPerLine : 3;
  size_t planeWidth = raw / planesPerLine;
  for (size_t r = 0; r < rows; ++r) {
    const uint8_t* s = cut.img.firstRow + r * raw;
    uint8_t* d = out + r * raw;
    for (size_t k = 0; k < planeWidth && 3 * k + 2 < raw; ++k) {
      d[3 * k] = s[k];
      d[3 * k + 1] = s[cut.img.planeLineBytes + k];
      d[3 * k + 2] = s[2 * cut.img.planeLineBytes + k];
    }
  }
  return out;
}

uint8_t* Vx3GetElabImg(short side, short brightness, short contrast)
{
  // Exported under its own name: nothing thrown inside may reach the host, and the call
  // counts as running for a PVKStop from another thread.
  pvk::core::CallInProgress running;
  try {
    return elaboratedPixels(side, brightness, contrast);
  } catch (...) {
    pvk::image::traceError("GetElabImg - unexpected exception");
    return nullptr;
  }
}
