// Two sides stacked into one picture: each is cut at one dpi and turned, the first placed above
// the second, the whole built as one BMP and encoded once.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/ini.h"
#include "image/image.h"
#include "image/image_calls.h"
#include "image/image_seams.h"

using namespace pvk::image;

namespace {

struct CutSide {
  ImgInfo img{};
  ~CutSide() { std::free(img.allocBase); }
};

uint8_t* refuse(const char* text, long value, int code)
{
  traceError(text, value);
  setResult(code);
  return nullptr;
}

short resolveAuto(short side, short& rotation)
{
  if (side != 8 && side != 9)
    return side;
  if (rotation == 0)
    rotation = kRotationAuto;
  return Vx3GetSideAuto(side == 9 ? 1 : 0);
}

// Copies one cut side's rows into the stack from row `top` on: P plane rows of W bytes each,
// a one-plane side repeated in every plane.
void stackRows(const ImgInfo& s, uint8_t* stack, size_t top, size_t W, size_t P)
{
  size_t planes = s.colourPlanes ? s.colourPlanes : 1;
  size_t width = s.trimWidth < W ? s.trimWidth : W;
  for (size_t r = 0; r < s.rowsUsed; ++r) {
    const uint8_t* src = s.firstRow + (r + s.trimTop) * static_cast<size_t>(s.rawLineBytes) + s.trimLeft;
    uint8_t* dst = stack + (top + r) * W * P;
    for (size_t p = 0; p < P; ++p) {
      size_t from = planes == 1 ? 0 : (p < planes ? p : planes - 1);
      std::memcpy(dst + p * W, src + from * s.planeLineBytes, width);
    }
  }
}

}  // namespace

uint8_t* Vx3PVKImgGetFR(short side1, short brightness1, short contrast1, short side2,
                        short brightness2, short contrast2, short quality, short format,
                        short rotation, short dpi, short bpp, long* size)
{
  setResult(0);
  if (rotation == 0 && get_private_profile_int("Ocr", "rotAuto", 0, MyLog.iniPath) > 0) {
    rotation = kRotationAuto;
    traceInfo("ini forces rotation auto");
  }
  short sides[2] = {resolveAuto(side1, rotation), resolveAuto(side2, rotation)};
  if (sides[0] < 0 || sides[0] > 2 || sides[1] < 0 || sides[1] > 2)
    return refuse("Save front rear  with invalid side", sides[0] > 2 || sides[0] < 0 ? sides[0] : sides[1], -3);
  if (dpi == 0)
    dpi = MyDev.outDpi[sides[0]] > MyDev.outDpi[sides[1]] ? MyDev.outDpi[sides[0]] : MyDev.outDpi[sides[1]];
  else if (MyDev.outDpi[sides[0]] < 100)
    return refuse("Save front rear without requested side", sides[0], -3);
  if (MyDev.outDpi[sides[1]] < 100)
    return refuse("Save front rear without requested side", sides[1], -3);
  for (short s : sides)
    if (!MyDev.img[s].firstRow)
      return refuse("GetElabImgStruct with null data pointer", s, -3);

  short levels[2][2] = {{brightness1, contrast1}, {brightness2, contrast2}};
  CutSide cut[2];
  // One trim threshold runs across both sides: a side not yet elaborated replaces it with its
  // own, an elaborated one cuts with the threshold in force.
  uint8_t threshold = 0;
  for (int i = 0; i < 2; ++i) {
    short rot = rotation;
    bool flipH = false, flipV = false;
    if (rotation & kRotationAuto) {
      GestisciAutoRotate(rot, flipH, flipV, sides[i]);
      rot = static_cast<short>(MyAcq.rotation[sides[i]]);
    } else {
      GestisciRotate(rot, flipH, flipV, sides[i]);
    }
    if (!MyDev.img[sides[i]].outputFlag) threshold = AutoTrimThresh(&MyDev.img[sides[i]]);
    if (!sideCopyOut(MyDev.img[sides[i]], rot, dpi, levels[i][0], levels[i][1], cut[i].img,
                        threshold, flipH, flipV) ||
        !cut[i].img.firstRow)
      return refuse("Save front rear - side cut failed", sides[i], -3);
  }
  bool blackAndWhite = false;
  if (!VerificaFormatoImmagine(-1, format & kFormatMask, quality, bpp, blackAndWhite))
    return refuse("Save front rear - invalid format", format, -3);

  size_t W = cut[0].img.trimWidth > cut[1].img.trimWidth ? cut[0].img.trimWidth : cut[1].img.trimWidth;
  W = (W + 3) & ~static_cast<size_t>(3);
  size_t P = cut[0].img.colourPlanes > cut[1].img.colourPlanes ? cut[0].img.colourPlanes : cut[1].img.colourPlanes;
  P = P ? P : 1;
  size_t H = static_cast<size_t>(cut[0].img.rowsUsed) + cut[1].img.rowsUsed;
  if (bpp == 0)
    bpp = static_cast<short>(8 * P);
  // The stacked picture must fit the 16-bit BMP builder.
  if (W * P > 65532 || H > 65535 || H == 0)
    return refuse("Save front rear  - invalid dimensions", static_cast<long>(H), -3);
  auto* stack = static_cast<uint8_t*>(std::calloc(W * P * H, 1));
  if (!stack)
    return refuse("Save front rear  - out of memory", 0, -4);
  stackRows(cut[0].img, stack, 0, W, P);
  stackRows(cut[1].img, stack, cut[0].img.rowsUsed, W, P);

  auto* bmp = static_cast<uint8_t*>(std::calloc(ImgBMPSize(W * P, H), 1));
  if (!bmp) {
    std::free(stack);
    return refuse("Save front rear with invalid memory allocation", errno, -4);
  }
  long bmpSize = 0;
  const ImgInfo& front = MyDev.img[1];
  ImgBMPElabora(stack, static_cast<uint16_t>(H), static_cast<uint16_t>(W), static_cast<uint16_t>(W),
                static_cast<uint16_t>(W * P), static_cast<uint16_t>(W * P), MyDev.img[sides[0]].dpiH,
                MyDev.img[sides[0]].dpiV, front.outBrightness, front.outContrast,
                static_cast<uint16_t>(8 * P), true, !(format & kRgbOrder), bmp, &bmpSize);
  std::free(stack);
  long encodedSize = bmpSize;
  uint8_t* out = EncodeImage(bmp, &encodedSize, quality, MyAcq.thresholds[1], format, 0, dpi, dpi, bpp);
  std::free(bmp);
  if (!out || encodedSize == 0) {
    std::free(out);
    return refuse("Save front rear failed ", errno, -5);
  }
  if (size)
    *size = encodedSize;
  return out;
}

int Vx3PVKImgSaveFR(short side1, short brightness1, short contrast1, short side2, short brightness2,
                    short contrast2, short quality, short format, short rotation, short dpi,
                    short bpp, const char* path)
{
  if (!path) {
    traceError("save with null filename");
    return setResult(-3);
  }
  long size = 0;
  uint8_t* data = Vx3PVKImgGetFR(side1, brightness1, contrast1, side2, brightness2, contrast2,
                                 quality, format, rotation, dpi, bpp, &size);
  if (!data)
    return MyDev.lastResult;
  FileWrite written = writeFile(path, data, static_cast<size_t>(size));
  std::free(data);
  if (written != FileWrite::Done) {
    traceError(written == FileWrite::NotOpened ? "SaveImgStruct with invalid handle"
                                               : "SaveImgStruct with invalid nBytes written",
               static_cast<long>(errno));
    return setResult(-5);
  }
  return setResult(0);
}
