// Exported image calls: output resolution, release, save and get of one side or of two sides
// stacked, output brightness and contrast, blank page, multipage TIFF and file utilities.
#include <cstdlib>
#include <initializer_list>

#include "api/exported.h"
#include "core/frame.h"
#include "core/image_utils.h"
#include "core/ini.h"
#include "core/results.h"
#include "document/document.h"
#include "image/image.h"
#include "image/image_calls.h"
#include "image/image_seams.h"

using namespace pvk::image;

namespace {

// The frame of a call: guard, operation, last result. A refused call returns `refused()`.
template <typename Op, typename Refused>
auto framed(const char* name, void* handle, Op&& op, Refused&& refused)
{
  using R = decltype(op());
  R result{};
  pvk::api::guarded(name, [&] {
    if (!DllFunctInit(name, handle)) {
      RMSVERIFICARESULT();
      result = refused();
      return 0;
    }
    result = op();
    RMSVERIFICARESULT();
    return 0;
  });
  return result;
}

// In automatic-side mode side 1 stands for 9, 0 for 8, and no rotation means automatic.
void applyAuto(short& side, short& rotation)
{
  if (!autoSideMode())
    return;
  if (side == 1)
    side = 9;
  else if (side == 0)
    side = 8;
  if (rotation == 0)
    rotation = kRotationAuto;
}

// The quality-or-bpp argument split by the format.
void splitQualityOrBpp(short format, short qualityOrBpp, short& quality, short& bpp)
{
  bool jpeg = IS_JPEG_COMPRESSION(format);
  quality = jpeg ? qualityOrBpp : 0;
  bpp = jpeg ? 0 : qualityOrBpp;
}

short dpiOfAsked(short side) { return Vx3GetDpiOut(side == 9 ? 1 : side == 8 ? 0 : side); }

// The single-side save calls. ownDpi: the dpi of the resolved side rather than the asked one.
int saveSide(const char* invalidSideText, short side, const PVKRoi* roi, short qualityOrBpp,
             short format, short rotation, short plane, const char* path, bool ownDpi)
{
  applyAuto(side, rotation);
  if (side != 0 && side != 1 && side != 2 && side != 8 && side != 9) {
    traceError(invalidSideText, side);
    return -3;
  }
  short resolved = (side == 8 || side == 9) ? Vx3GetSideAuto(side == 9 ? 1 : 0) : side;
  short dpi = ownDpi ? Vx3GetDpiOut(resolved) : dpiOfAsked(side);
  short quality = 0, bpp = 0;
  splitQualityOrBpp(format, qualityOrBpp, quality, bpp);
  return saveImage(resolved, plane, 0, 0, roi, quality, format, rotation, dpi, bpp, path);
}

void splitFormatWord(short& format, short& rotation)
{
  rotation = static_cast<short>(format & kRotationMask);
  format = static_cast<short>(format & 0xF8FF);
}

// Sides of the two-call gets: in automatic-side mode 0 and 1 go straight to the automatic sides.
short twoCallSide(short side, short& rotation)
{
  bool autoMode = autoSideMode();
  if (autoMode && rotation == 0)
    rotation = kRotationAuto;
  if (side == 9 || (autoMode && side == 1))
    return Vx3GetSideAuto(1);
  if (side == 8 || (autoMode && side == 0))
    return Vx3GetSideAuto(0);
  return side;
}

// The resolved side of a two-call get, or -1 (result -3) after tracing `what` with the side asked
// when it resolves to no side of the document.
short checkedTwoCallSide(const char* what, short side, short& rotation)
{
  const short resolved = twoCallSide(side, rotation);
  if (resolved >= 0 && resolved <= 2)
    return resolved;
  traceError(what, side);
  Vx3ResultSet(-3);
  return -1;
}

}  // namespace

extern "C" int PVKImgCreate(void* handle, short dpiFront, short dpiRear)
{
  return pvk::api::withHandle("PVKImgCreate", handle, [&] {
    return Vx3PVKImgCreate(dpiFront, dpiRear, 0) ? 0 : (MyDev.lastResult < 0 ? MyDev.lastResult : -3);
  });
}

extern "C" int PVKImgCreate1(void* handle, short dpiFront, short dpiRear, short dpiBacklight)
{
  return pvk::api::withHandle("PVKImgCreate1", handle, [&] {
    return Vx3PVKImgCreate(dpiFront, dpiRear, dpiBacklight) ? 0 : (MyDev.lastResult < 0 ? MyDev.lastResult : -3);
  });
}

extern "C" int PVKImgFree(void* handle)
{
  return pvk::api::withHandle("PVKImgFree", handle, [&] { return Vx3PVKImgFree(); });
}

extern "C" int PVKImgSave(void* handle, short side, PVKRoi* roi, short qualityOrBpp, short format,
                          char* path)
{
  return pvk::api::withHandle("PVKImgSave", handle, [&] {
    short rotation = 0;
    splitFormatWord(format, rotation);
    return saveSide("ImgSave with invalid side", side, roi, qualityOrBpp, format, rotation, -1, path, true);
  });
}

extern "C" int PVKImgSaveCol(void* handle, short side, PVKRoi* roi, short qualityOrBpp, short format,
                             short plane, const char* path)
{
  return pvk::api::withHandle("PVKImgSaveCol", handle, [&] {
    short rotation = 0;
    splitFormatWord(format, rotation);
    return saveSide("ImgSave with invalid side", side, roi, qualityOrBpp, format, rotation, plane, path, true);
  });
}

extern "C" int PVKImgSave2(void* handle, short side, PVKRoi roi, short qualityOrBpp, short format,
                           char* path)
{
  return pvk::api::withHandle("ImgeSave2", handle, [&] {
    short rotation = 0;
    splitFormatWord(format, rotation);
    return saveSide("ImgSave with invalid side", side, &roi, qualityOrBpp, format, rotation, -1, path, false);
  });
}

extern "C" int PVKImgSave4(void* handle, short side, PVKRoi roi, short qualityOrBpp, short format,
                           short rotation, char* path)
{
  return pvk::api::withHandle("PVKImgSave4", handle, [&] {
    return saveSide("ImgSave4 with invalid side", side, &roi, qualityOrBpp, format, rotation, -1, path, false);
  });
}

extern "C" unsigned char* PVKImgGet(void* handle, short side, PVKRoi* roi, short qualityOrBpp,
                                    short format, int* size)
{
  return framed("PVKImgGet", handle, [&]() -> unsigned char* {
    short rotation = 0;
    splitFormatWord(format, rotation);
    applyAuto(side, rotation);
    if (side != 0 && side != 1 && side != 2 && side != 8 && side != 9) {
      traceError("PVKImgGet with invalid side", side);
      Vx3ResultSet(-3);
      return nullptr;
    }
    short resolved = (side == 8 || side == 9) ? Vx3GetSideAuto(side == 9 ? 1 : 0) : side;
    short quality = 0, bpp = 0;
    splitQualityOrBpp(format, qualityOrBpp, quality, bpp);
    return Vx3ElabImgStructGet(resolved, -1, 0, 0, roi, quality, format, rotation, dpiOfAsked(side), bpp, size);
  }, []() -> unsigned char* { return nullptr; });
}

extern "C" int PVKImgGet2(void* handle, short side, PVKRoi* roi, short qualityOrBpp, short format,
                          unsigned char* buffer)
{
  return framed("PVKImgGet2", handle, [&]() -> int {
    short rotation = 0;
    splitFormatWord(format, rotation);
    const short resolved = checkedTwoCallSide("PVKImgGet2 with invalid side", side, rotation);
    if (resolved < 0)
      return 0;
    short quality = 0, bpp = 0;
    splitQualityOrBpp(format, qualityOrBpp, quality, bpp);
    return twoCallGet(resolved, -1, 0, 0, roi, quality, format, rotation, dpiOfAsked(side), bpp, buffer);
  }, [] { return 0; });
}

extern "C" int PVKImgGet3(void* handle, short side, short brightness, short contrast, PVKRoi* roi,
                          short quality, short format, short rotation, short dpi, short bpp,
                          unsigned char* buffer)
{
  return framed("PVKImgGet3", handle, [&]() -> int {
    const short resolved = checkedTwoCallSide("PVKImgGet3 with invalid side", side, rotation);
    if (resolved < 0)
      return 0;
    return twoCallGet(resolved, -1, brightness, contrast, roi, quality, format, rotation, dpi, bpp, buffer);
  }, [] { return 0; });
}

extern "C" int PVKImgSaveFR(void* handle, short side1, short side2, short quality, short format,
                            char* path)
{
  return pvk::api::withHandle("PVKImgSaveFR", handle, [&] {
    short rotation = 0;
    splitFormatWord(format, rotation);
    return Vx3PVKImgSaveFR(side1, 0, 0, side2, 0, 0, quality, format, rotation, 0, 0, path);
  });
}

extern "C" int PVKImgSaveFR2(void* handle, short side1, short side2, short quality, short format,
                             short rotation, short dpi, short bpp, char* path)
{
  return pvk::api::withHandle("PVKImgSaveFR2", handle, [&] {
    return Vx3PVKImgSaveFR(side1, 0, 0, side2, 0, 0, quality, format, rotation, dpi, bpp, path);
  });
}

extern "C" int PVKImgSave3FR(void* handle, short side1, short brightness1, short contrast1, short side2,
                             short brightness2, short contrast2, short quality, short format,
                             short rotation, short dpi, short bpp, char* path)
{
  return pvk::api::withHandle("PVKImgSave3FR", handle, [&] {
    return Vx3PVKImgSaveFR(side1, brightness1, contrast1, side2, brightness2, contrast2, quality,
                           format, rotation, dpi, bpp, path);
  });
}

extern "C" int PVKImgeSaveFR(void* handle, short side1, short side2, short quality, short format,
                             char* path)
{
  return pvk::api::withHandle("ImgeSaveFR", handle, [&] {
    short rotation = 0;
    splitFormatWord(format, rotation);
    if (side1 == 8 || side1 == 9)
      side1 = Vx3GetSideAuto(side1 == 9 ? 1 : 0);
    if (side2 == 8 || side2 == 9)
      side2 = Vx3GetSideAuto(side2 == 9 ? 1 : 0);
    return Vx3PVKImgSaveFR(side1, 0, 0, side2, 0, 0, quality, format, rotation, 0, 0, path);
  });
}

namespace {

unsigned char* getFrontRear(short side1, short brightness1, short contrast1, short side2,
                            short brightness2, short contrast2, short quality, short format,
                            short rotation, short dpi, short bpp, int* size, bool dpiOfFirst)
{
  if (size)
    *size = 0;
  if (rotation == 0 && get_private_profile_int("Ocr", "rotAuto", 0, MyLog.iniPath) > 0) {
    rotation = kRotationAuto;
    traceInfo("ini forces rotation auto");
  }
  for (short* s : {&side1, &side2})
    if (*s == 8 || *s == 9) {
      *s = Vx3GetSideAuto(*s == 9 ? 1 : 0);
      if (rotation == 0)
        rotation = kRotationAuto;
    }
  if (dpiOfFirst)
    dpi = Vx3GetDpiOut(side1);
  // The encoded size is a long inside; the host's int receives it only when it fits.
  long encoded = 0;
  unsigned char* out = Vx3PVKImgGetFR(side1, brightness1, contrast1, side2, brightness2, contrast2,
                                      quality, format, rotation, dpi, bpp, &encoded);
  if (out && size)
    *size = encoded > 0x7FFFFFFF ? 0 : static_cast<int>(encoded);
  return out;
}

}  // namespace

extern "C" unsigned char* PVKImgGetFR(void* handle, short side1, short side2, short quality,
                                      short format, int* size)
{
  return framed("PVKImgGetFR", handle, [&]() -> unsigned char* {
    short rotation = 0;
    splitFormatWord(format, rotation);
    return getFrontRear(side1, 0, 0, side2, 0, 0, quality, format, rotation, 0, 0, size, true);
  }, []() -> unsigned char* { return nullptr; });
}

extern "C" unsigned char* PVKImgGet3FR(void* handle, short side1, short brightness1, short contrast1,
                                       short side2, short brightness2, short contrast2, short quality,
                                       short format, short rotation, short dpi, short bpp, int* size)
{
  return framed("PVKImgGetFR", handle, [&]() -> unsigned char* {
    return getFrontRear(side1, brightness1, contrast1, side2, brightness2, contrast2, quality,
                        format, rotation, dpi, bpp, size, false);
  }, []() -> unsigned char* { return nullptr; });
}

extern "C" int PVKImgGetFree(void* handle, void* buffer)
{
  return pvk::api::withHandle("ImgGetFree", handle, [&] {
    std::free(buffer);
    return 0;
  });
}

extern "C" int PVKGetAcqHeight(void* handle, short side, short dpi)
{
  return framed("PVKGetAcqHeight", handle, [&]() -> int {
    int height = Vx3GetAcqHeight(side, dpi);
    char line[120];
    std::snprintf(line, sizeof line, "PVKGetAcqHeight - %s - side %d, height %d at %d dpi",
                  MyAcq.forward ? "forward" : "backward", side, height & 0xFFFF, dpi);
    traceInfo(line);
    return height;
  }, [] { return 0; });
}

extern "C" int PVKImgBright(short side, short value)
{
  return pvk::api::withHandle("ImgBright", pvk::core::noDeviceHandle(), [&] { return Vx3ElabImgBrightness(side, value); });
}

extern "C" int PVKImgContr(short side, short value)
{
  return pvk::api::withHandle("ImgContr", pvk::core::noDeviceHandle(), [&] { return Vx3ElabImgContrast(side, value); });
}

extern "C" int PVKIsPageBlank(void* handle, short side, uint8_t pixThreshold, uint8_t darkLevel)
{
  return pvk::api::withHandle("PVKIsImageBlank", handle, [&] { return IsPageBlank(side, pixThreshold, darkLevel); });
}

extern "C" int PVKIQACheck(void* handle, char* frontPath, char* rearPath)
{
  return pvk::api::withHandle("PVKIQACheck", handle, [&] { return Vx3IQACheck(frontPath, rearPath); });
}
