// The multipage TIFF writer: image files are added one by one as pages of one open TIFF file.
// At most one file is pending; its page image, TIFF handle and file object live in one state.
#include <cerrno>
#include <cstdlib>
#include <new>

#include "image/image.h"
#include "rasterlib/raster_codecs.h"
#include "rasterlib/raster_file.h"

using namespace pvk::image;

namespace {

struct MultiPage {
  RasterImageTIF page;      // carries each page and keeps the TIFF handle open between adds
  FILE* file = nullptr;
  RasterIOFile* stream = nullptr;  // the handle writes through it: it lives as long as the state
  uint16_t compression = 0;
  uint16_t quality = 0;
  uint16_t pages = 0;
};

}  // namespace

// The pending multipage file, null when none.
static MultiPage* pMyMultiPage = nullptr;

namespace {

void releaseState()
{
  if (!pMyMultiPage)
    return;
  FILE* f = pMyMultiPage->file;
  RasterIOFile* stream = pMyMultiPage->stream;
  delete pMyMultiPage;  // the page image closes its TIFF handle, still writing through the stream
  pMyMultiPage = nullptr;
  delete stream;
  if (f)
    std::fclose(f);
}

int fail(const char* text, int code)
{
  traceError(text);
  return setResult(code);
}

}  // namespace

static int multiPageInit(const char* path, short format, short quality)
{
  if (pMyMultiPage)
    return fail("multipage pending", -1);
  uint16_t compression = 0;
  switch (format) {
    case pvk::image::kTiffNone: compression = kCompNone; break;
    case pvk::image::kTiffLzw: compression = kCompLzw; break;
    case pvk::image::kTiffG3: compression = kCompG3; break;
    case pvk::image::kTiffG4: compression = kCompG4; break;
    case pvk::image::kTiffJpeg: compression = kCompJpeg; break;
    default: return fail("MultiPage - invalid encoding parameter", -3);
  }
  pMyMultiPage = new (std::nothrow) MultiPage;
  if (!pMyMultiPage)
    return fail("multipage - memory allocation failed", -4);
  pMyMultiPage->compression = compression;
  if (compression == kCompJpeg) {
    if (quality < 1 || quality > 100) {
      traceWarning("MultiPage - invalid quality value - forcing 60");
      quality = 60;
    }
    pMyMultiPage->quality = static_cast<uint16_t>(quality);
  }
  pMyMultiPage->file = path ? std::fopen(path, "w+b") : nullptr;
  if (!pMyMultiPage->file)
    return fail("no multipage file", -1);
  pMyMultiPage->stream = new (std::nothrow) RasterIOFile(pMyMultiPage->file);
  if (!pMyMultiPage->stream)
    return fail("multipage - memory allocation failed", -4);
  return setResult(0);
}

static int multiPageAdd(const char* path)
{
  if (!pMyMultiPage)
    return fail("MultiPage - missing initialization", -8);
  if (!pMyMultiPage->file || !pMyMultiPage->stream)
    return fail("Multipage - missing valid initialization", -8);
  RasterImage loaded(IMAGE_TYPE_UNKNOWN);
  if (!path || !loaded.Load(path, IMAGE_TYPE_UNKNOWN) || !loaded.IsValid())
    return fail("loading multipage file", -1);
  RasterImageTIF& page = pMyMultiPage->page;
  // The loaded picture takes the page image's place; the open TIFF handle stays.
  page.Transfer(loaded);
  uint16_t compression = pMyMultiPage->compression;
  if (compression == kCompJpeg) {
    page.SetJpegQuality(static_cast<uint8_t>(pMyMultiPage->quality));
    // The JPEG encoder cannot take a picture below 8 bits: store it uncompressed.
    if (page.GetBpp() < 8)
      compression = kCompNone;
  } else if ((compression == kCompG3 || compression == kCompG4) && page.GetBpp() > 1) {
    page.DecreaseBpp(1, false, nullptr, 256);
  }
  page.SetCodecOption(compression, IMAGE_TYPE_TIF);
  if (!page.Encode(pMyMultiPage->stream, true)) {
    traceError("encoding multipage file", page.GetLastError());
    return setResult(-1);
  }
  ++pMyMultiPage->pages;
  return setResult(0);
}

static int multiPageClose()
{
  if (!pMyMultiPage)
    return fail("MultiPage - missing initialization", -8);
  releaseState();
  return setResult(0);
}


int Vx3MultiPageInit(const char* path, short format, short quality)
{
  // Exported under its own name: nothing thrown inside may reach the host.
  try {
    return multiPageInit(path, format, quality);
  } catch (...) {
    pvk::image::traceError("MultiPage - unexpected exception");
    return pvk::image::setResult(-1);
  }
}

int Vx3MultiPageAdd(const char* path)
{
  // Exported under its own name: nothing thrown inside may reach the host.
  try {
    return multiPageAdd(path);
  } catch (...) {
    pvk::image::traceError("MultiPage - unexpected exception");
    return pvk::image::setResult(-1);
  }
}

int Vx3MultiPageClose()
{
  // Exported under its own name: nothing thrown inside may reach the host.
  try {
    return multiPageClose();
  } catch (...) {
    pvk::image::traceError("MultiPage - unexpected exception");
    return pvk::image::setResult(-1);
  }
}
