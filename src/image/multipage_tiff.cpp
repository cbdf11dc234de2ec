// The multipage TIFF writer: image files are added one by one as pages of one TIFF file.
// At most one file is pending; its page image and file object live in one state.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "core/atomic_file.h"
#include "core/frame.h"
#include "image/image.h"
#include "rasterlib/raster_codecs.h"
#include "rasterlib/raster_file.h"

using namespace pvk::image;

namespace {

// The pending file is written to a temporary file beside the target and renamed over it at the
// close, so the target is never half written. Each page is appended through a TIFF handle of its
// own; a page that fails is taken back, leaving the file as the pages before it made it.
struct MultiPage {
  explicit MultiPage(const char* path) : out(path) {}
  RasterImageTIF page;      // carries each page
  pvk::core::AtomicFile out;
  RasterIOFile* stream = nullptr;  // over out's FILE, which it does not close
  uint16_t compression = 0;
  uint16_t quality = 0;
  uint16_t pages = 0;
  long goodSize = 0;        // bytes of the file once the last good page was added
  long lastLink = -1;       // where the last page's link to a next page is, -1 when unknown
  bool writeFailed = false; // a page was lost to a failed write: the close reports it
};

}  // namespace

// The pending multipage file, null when none.
static MultiPage* pMyMultiPage = nullptr;

namespace {

void releaseState()
{
  if (!pMyMultiPage)
    return;
  RasterIOFile* stream = pMyMultiPage->stream;
  delete pMyMultiPage;  // an uncommitted file is dropped with it
  pMyMultiPage = nullptr;
  delete stream;
}

int fail(const char* text, int code)
{
  traceError(text);
  return setResult(code);
}

uint32_t readNumber(const uint8_t* p, int bytes, bool little)
{
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i)
    v |= static_cast<uint32_t>(p[little ? i : bytes - 1 - i]) << (8 * i);
  return v;
}

// Where the last directory of a classic TIFF keeps the offset of the next one; -1 when the file
// is not one that can be followed.
long lastLinkOf(int fd, long size)
{
  uint8_t header[8];
  if (size < 8 || pread(fd, header, 8, 0) != 8)
    return -1;
  const bool little = header[0] == 'I' && header[1] == 'I';
  if (!little && !(header[0] == 'M' && header[1] == 'M'))
    return -1;
  if (readNumber(header + 2, 2, little) != 42)
    return -1;
  long link = 4;
  uint32_t dir = readNumber(header + 4, 4, little);
  for (int n = 0; dir != 0 && n < 65536; ++n) {
    uint8_t count[2], next[4];
    if (dir + 2L > size || pread(fd, count, 2, dir) != 2)
      return -1;
    link = static_cast<long>(dir) + 2 + 12L * readNumber(count, 2, little);
    if (link + 4 > size || pread(fd, next, 4, link) != 4)
      return -1;
    dir = readNumber(next, 4, little);
  }
  return dir == 0 ? link : -1;
}

// Puts the file back as the last good page left it: what a failed page wrote is cut off, and a
// link to it from the page before is cleared.
void takeBackFailedPage(MultiPage& m)
{
  FILE* f = m.out.stream();
  const int fd = fileno(f);
  std::clearerr(f);
  if (ftruncate(fd, m.goodSize) != 0)
    m.out.fail(errno);
  static const uint8_t zero[4] = {0, 0, 0, 0};
  if (m.lastLink >= 0 && pwrite(fd, zero, 4, m.lastLink) != 4)
    m.out.fail(errno);
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
  pMyMultiPage = new (std::nothrow) MultiPage(path);
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
  // A file that cannot be created leaves nothing pending: the next init may go ahead.
  if (!path || !pMyMultiPage->out.open()) {
    releaseState();
    return fail("no multipage file", -1);
  }
  // Unbuffered: a write that fails does so at once, and nothing of it lingers in a buffer.
  std::setvbuf(pMyMultiPage->out.stream(), nullptr, _IONBF, 0);
  pMyMultiPage->stream = new (std::nothrow) RasterIOFile(pMyMultiPage->out.stream());
  if (!pMyMultiPage->stream) {
    releaseState();
    return fail("multipage - memory allocation failed", -4);
  }
  return setResult(0);
}

static int multiPageAdd(const char* path)
{
  if (!pMyMultiPage)
    return fail("MultiPage - missing initialization", -8);
  if (!pMyMultiPage->stream)
    return fail("Multipage - missing valid initialization", -8);
  MultiPage& m = *pMyMultiPage;
  RasterImage loaded(IMAGE_TYPE_UNKNOWN);
  if (!path || !loaded.Load(path, IMAGE_TYPE_UNKNOWN) || !loaded.IsValid())
    return fail("loading multipage file", -1);
  RasterImageTIF& page = m.page;
  page.Transfer(loaded);
  uint16_t compression = m.compression;
  if (compression == kCompJpeg) {
    page.SetJpegQuality(static_cast<uint8_t>(m.quality));
    // The JPEG encoder cannot take a picture below 8 bits: store it uncompressed.
    if (page.GetBpp() < 8)
      compression = kCompNone;
  } else if ((compression == kCompG3 || compression == kCompG4) && page.GetBpp() > 1) {
    page.DecreaseBpp(1, false, nullptr, 256);
  }
  page.SetCodecOption(compression, IMAGE_TYPE_TIF);
  const int number = m.pages + 1;
  m.stream->Seek(0, SEEK_SET);  // libtiff reads the pages so far from the head of the file
  if (!page.EncodePage(m.stream, number, number)) {
    traceError("encoding multipage file", page.GetLastError());
    takeBackFailedPage(m);
    m.writeFailed = true;
    return setResult(-1);
  }
  const int fd = fileno(m.out.stream());
  struct stat st {};
  m.goodSize = fstat(fd, &st) == 0 ? static_cast<long>(st.st_size) : m.goodSize;
  m.lastLink = lastLinkOf(fd, m.goodSize);
  ++m.pages;
  return setResult(0);
}

static int multiPageClose()
{
  if (!pMyMultiPage)
    return fail("MultiPage - missing initialization", -8);
  MultiPage& m = *pMyMultiPage;
  // Without a page there is no TIFF to leave: whatever stood at the path stays.
  const bool written = m.pages == 0 || m.out.commit();
  const bool whole = written && !m.writeFailed;
  if (!written)
    traceError("writing multipage file", static_cast<long>(errno));
  else if (!whole)
    traceError("multipage file written without the pages that failed");
  releaseState();
  return setResult(whole ? 0 : -5);
}


int Vx3MultiPageInit(const char* path, short format, short quality)
{
  // Exported under its own name: nothing thrown inside may reach the host, and the call
  // counts as running for a PVKStop from another thread.
  pvk::core::CallInProgress running;
  try {
    return multiPageInit(path, format, quality);
  } catch (...) {
    pvk::image::traceError("MultiPage - unexpected exception");
    return pvk::image::setResult(-1);
  }
}

int Vx3MultiPageAdd(const char* path)
{
  // Exported under its own name: nothing thrown inside may reach the host, and the call
  // counts as running for a PVKStop from another thread.
  pvk::core::CallInProgress running;
  try {
    return multiPageAdd(path);
  } catch (...) {
    pvk::image::traceError("MultiPage - unexpected exception");
    return pvk::image::setResult(-1);
  }
}

int Vx3MultiPageClose()
{
  // Exported under its own name: nothing thrown inside may reach the host, and the call
  // counts as running for a PVKStop from another thread.
  pvk::core::CallInProgress running;
  try {
    return multiPageClose();
  } catch (...) {
    pvk::image::traceError("MultiPage - unexpected exception");
    return pvk::image::setResult(-1);
  }
}
