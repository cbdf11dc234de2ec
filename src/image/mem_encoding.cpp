// The bridge from the library's in-memory BMP to the raster library's codecs: a BMP becomes
// JPEG, TIFF or BMP in a new buffer; a BMP file is re-encoded in place; a file's size and dpi.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/frame.h"
#include "image/image.h"
#include "rasterlib/raster_file.h"
#include "rasterlib/raster_image.h"

using namespace pvk::image;

namespace {

struct Target {
  uint32_t type;
  uint32_t option;
  bool blackAndWhite;
  bool needsQuality;
};

bool targetOf(int format, Target& t)
{
  switch (format) {
    case kJpeg: t = {IMAGE_TYPE_JPG, 1, false, true}; return true;
    case pvk::image::kTiffG3: t = {IMAGE_TYPE_TIF, kCompG3, true, false}; return true;
    case pvk::image::kTiffG4: t = {IMAGE_TYPE_TIF, kCompG4, true, false}; return true;
    case pvk::image::kTiffLzw: t = {IMAGE_TYPE_TIF, kCompLzw, false, false}; return true;
    case kBmp: t = {IMAGE_TYPE_BMP, 1, false, false}; return true;
    case pvk::image::kTiffNone: t = {IMAGE_TYPE_TIF, kCompNone, false, false}; return true;
    case pvk::image::kTiffJpeg: t = {IMAGE_TYPE_TIF, kCompJpeg, false, true}; return true;
    default: return false;
  }
}

// Brings the picture to the target depth; 0 keeps its own.
bool convertDepth(RasterImage& img, uint32_t target, uint8_t threshold)
{
  if (target == 0)
    return true;
  uint32_t depth = img.GetBpp();
  if (depth >= 2 && target == 1) {
    if (!img.Threshold(threshold))
      return false;
  } else if (depth >= 9 && target == 8) {
    if (!img.GrayScale())
      return false;
  }
  depth = img.GetBpp();
  if (target > depth)
    return img.IncreaseBpp(target);
  if (target < depth)
    return img.DecreaseBpp(target, false, nullptr, 256);
  return true;
}

}  // namespace

uint8_t* EncodeImage(const uint8_t* bmp, long* size, int quality, uint8_t threshold, short format,
                     short rotation, short xdpi, short ydpi, short bpp)
{
  if (!bmp || bmp[0] == 0 || !size || *size <= 0 || *size > 0x7FFFFFFF)
    return nullptr;
  // The pixels stay in the caller's bitmap while they are only read; whatever changes them
  // (a turn, a flip, another depth, an encoder not known to leave its rows alone) works on a
  // copy of its own.
  RasterImage img;
  img.DecodeBorrowing(const_cast<uint8_t*>(bmp), static_cast<uint32_t>(*size));
  if (!img.IsValid()) {
    traceError("error encoding image");
    return nullptr;
  }
  if ((rotation & 0xF00) != 0 || (format & kFlipTopBottom))
    img.OwnPixels();
  switch (rotation & 0xF00) {
    case 0x100: img.RotateRight(); break;
    case 0x200: img.Rotate180(); break;
    case 0x300: img.RotateLeft(); break;
    default: break;
  }
  if (format & kFlipTopBottom)
    img.Flip();

  Target t{};
  if (!targetOf(format & kFormatMask, t)) {
    *size = 0;
    return nullptr;
  }
  if (t.needsQuality) {
    if (quality < 1 || quality > 100) {
      *size = 0;
      return nullptr;
    }
    img.SetJpegQuality(static_cast<uint8_t>(quality));
  }
  uint32_t depth = t.blackAndWhite ? 1 : (bpp > 0 ? static_cast<uint32_t>(bpp) : 0);
  const bool readsOnly = t.type == IMAGE_TYPE_JPG || (t.type == IMAGE_TYPE_TIF && t.option == kCompNone);
  if (!readsOnly || (depth != 0 && depth != img.GetBpp()))
    img.OwnPixels();
  if (!convertDepth(img, depth, threshold)) {
    traceError("error encoding image", img.GetLastError());
    *size = 0;
    return nullptr;
  }
  img.SetXDPI(xdpi);
  img.SetYDPI(ydpi);
  img.SetCodecOption(t.option, t.type);
  uint8_t* out = nullptr;
  int32_t outSize = 0;
  if (!img.Encode(out, outSize, t.type)) {
    traceError("error encoding image", img.GetLastError());
    std::free(out);
    *size = 0;
    return nullptr;
  }
  *size = outSize;
  return out;
}

namespace {

bool convertFailed(const char* what, const char* path, const char* detail)
{
  traceError(what, path);
  traceError("error ", detail ? detail : std::strerror(errno));
  return false;
}

}  // namespace

static int convertImage(const char* path, short format, short quality, int* height, int* width,
                        int* dpi)
{
  if (height)
    *height = 0;
  if (width)
    *width = 0;
  if (dpi)
    *dpi = 100;
  uint32_t option = 0, type = IMAGE_TYPE_TIF;
  switch (format) {
    case kBmp: type = IMAGE_TYPE_BMP; break;
    case pvk::image::kTiffNone: option = kCompNone; break;
    case pvk::image::kTiffJpeg: option = kCompJpeg; break;
    case pvk::image::kTiffG3: option = kCompG3; break;
    case pvk::image::kTiffG4: option = kCompG4; break;
    case kJpeg: type = IMAGE_TYPE_JPG; break;
    default:
      traceError("invalid format", format);
      return false;
  }
  if (!path)
    return convertFailed("ConvertiImg - creating ", "(null)", "null path");
  RasterImage img(IMAGE_TYPE_BMP);
  if (!img.Load(path, IMAGE_TYPE_BMP) || !img.IsValid())
    return convertFailed("ConvertiImg - creating ", path, img.GetLastError());
  if (height)
    *height = static_cast<int>(img.GetHeight());
  if (width)
    *width = static_cast<int>(img.GetWidth());
  if (dpi)
    *dpi = img.GetXDPI();
  if (img.GetBpp() >= 8 && (option == kCompG3 || option == kCompG4))
    img.DecreaseBpp(1, false, nullptr, 256);
  if (img.GetBpp() < 8 && option == kCompJpeg) {
    traceWarning("b&w image - changing from COMPRESSION_JPEG to COMPRESSION_NONE");
    option = kCompNone;
  }
  if (type == IMAGE_TYPE_TIF)
    img.SetCodecOption(option, IMAGE_TYPE_TIF);
  if (type == IMAGE_TYPE_JPG)
    img.SetJpegQuality(static_cast<uint8_t>(quality > 100 ? 100 : quality < 1 ? 1 : quality));

  // Encode first: a failed encoding must leave the original file as it was.
  uint8_t* out = nullptr;
  int32_t size = 0;
  if (!img.Encode(out, size, type)) {
    std::free(out);
    return convertFailed("ConvertiImg - encoding ", path, img.GetLastError());
  }
  // Replaced whole, through any links to it, with its permissions kept.
  bool ok = writeWholeFile(path, out, static_cast<size_t>(size));
  std::free(out);
  if (!ok)
    return convertFailed("ConvertiImg - opening ", path, nullptr);
  return true;
}

// A resolution the outputs can hold: a garbled header's (a density of 65535, an EXIF ratio
// of billions) is no resolution, and reads as the raster image's default of 96.
static short dpiOutput(int32_t dpi, const char* path)
{
  if (dpi >= 1 && dpi <= 32767)
    return static_cast<short>(dpi);
  traceWarning("GetImageInfo - resolution out of range", path);
  return 96;
}

static int imageInfo(const char* path, short* xdpi, short* ydpi, short* height,
                     short* width)
{
  if (!path)
    return false;
  RasterImage img(IMAGE_TYPE_UNKNOWN);
  bool ok = img.Load(path, IMAGE_TYPE_UNKNOWN) && img.IsValid();
  // The outputs are 16-bit: a larger picture is refused rather than reported wrapped.
  if (ok && (img.GetWidth() > 32767 || img.GetHeight() > 32767)) {
    traceError("GetImageInfo - image too large for the outputs", path);
    ok = false;
  }
  // An unreadable file still reports the raster image's defaults: 96 dpi, size 0.
  if (xdpi)
    *xdpi = ok ? dpiOutput(img.GetXDPI(), path) : 96;
  if (ydpi)
    *ydpi = ok ? dpiOutput(img.GetYDPI(), path) : 96;
  if (height)
    *height = static_cast<short>(ok ? img.GetHeight() : 0);
  if (width)
    *width = static_cast<short>(ok ? img.GetWidth() : 0);
  return ok;
}

int ConvertiImg(const char* path, short format, short quality, int* height, int* width, int* dpi)
{
  // Exported under its own name: nothing thrown inside may reach the host, and the call
  // counts as running for a PVKStop from another thread.
  pvk::core::CallInProgress running;
  try {
    return convertImage(path, format, quality, height, width, dpi);
  } catch (...) {
    pvk::image::traceError("ConvertiImg - unexpected exception");
    return false;
  }
}

int GetImageInfo(const char* path, short* xdpi, short* ydpi, short* height, short* width)
{
  // Exported under its own name: nothing thrown inside may reach the host, and the call
  // counts as running for a PVKStop from another thread.
  pvk::core::CallInProgress running;
  try {
    return imageInfo(path, xdpi, ydpi, height, width);
  } catch (...) {
    pvk::image::traceError("GetImageInfo - unexpected exception");
    return false;
  }
}
