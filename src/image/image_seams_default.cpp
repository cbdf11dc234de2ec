// Stand-ins until the scanner, acquisition and correction folders define these; see
// image_seams.h. They refuse rather than invent an image.
#include <cstdlib>

#include "image/image.h"
#include "image/image_seams.h"

using namespace pvk::image;

__attribute__((weak)) bool WrapCutCopyOut(ImgInfo, short, int, short, short, ImgInfo&, uint8_t,
                                          bool, bool)
{
  traceError("side copy-out not available");
  setResult(-11);
  return false;
}

__attribute__((weak)) void MyOcrFree(uint16_t side, bool clearDpi)
{
  if (side > 2)
    return;
  std::free(MyOcr.ocrImg[side].data);
  MyOcr.ocrImg[side] = PVKImg{};
  MyOcr.ocrImgValid[side] = 0;
  if (clearDpi)
    MyOcr.reqDpiH[side] = MyOcr.reqDpiV[side] = 0;
}

__attribute__((weak)) bool MyDevImgInit(unsigned short, bool) { return true; }
__attribute__((weak)) uint8_t ResModeBest() { return 3; }
__attribute__((weak)) int Vx3ParamSet(unsigned short, short, bool) { return 0; }
__attribute__((weak)) uint8_t BrightnessAndContrast(uint8_t, uint8_t value) { return value; }

__attribute__((weak)) int Vx3GetAcqHeight(short side, short dpi)
{
  if (side == 8)
    side = static_cast<short>(MyAcq.autoRearSide);
  else if (side == 9)
    side = static_cast<short>(MyAcq.autoFrontSide);
  if (side < 0 || side > 2 || dpi < 1)
    return 0;
  const ImgInfo& s = MyDev.img[side];
  return s.dpiV ? static_cast<int>(s.rowsUsed) * dpi / s.dpiV : 0;
}

namespace pvk::image {

__attribute__((weak)) uint16_t correctionModeLoaded(int) { return 0; }

}  // namespace pvk::image

// Until the raster library's codecs are linked in, nothing can be encoded.
__attribute__((weak)) uint8_t* EncodeImage(const uint8_t*, long* size, int, uint8_t, short, short,
                                           short, short, short)
{
  traceError("error encoding image - no encoder");
  if (size)
    *size = 0;
  return nullptr;
}
