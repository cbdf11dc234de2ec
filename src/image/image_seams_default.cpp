// Stand-ins until the scanner-open code and the raster library's codecs are linked in; see
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

// Until the raster library's codecs are linked in, nothing can be encoded.
__attribute__((weak)) uint8_t* EncodeImage(const uint8_t*, long* size, int, uint8_t, short, short,
                                           short, short, short)
{
  traceError("error encoding image - no encoder");
  if (size)
    *size = 0;
  return nullptr;
}

namespace pvk::image {

SideCopyOut sideCopyOut = &WrapCutCopyOut;

}  // namespace pvk::image
