// Binary PGM ("P5") dumps of acquired sides and zone images, and their reading back into an
// image record or a side record as if the side had been acquired.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/atomic_file.h"
#include "core/regular_file.h"
#include "image/image.h"

using namespace pvk::image;

namespace {

constexpr uint8_t kFill = 10;  // what the raw stream holds where the sensor saw nothing

struct PgmHeader {
  long width = 0;
  long height = 0;
  int maxValue = 0;
};

struct FileCloser {
  FILE* f;
  ~FileCloser()
  {
    if (f)
      std::fclose(f);
  }
};

// The magic line and one comment line, then "width height maxval" and one separator byte.
// Dimensions and grey range are checked before anyone allocates for them.
bool readHeader(FILE* f, PgmHeader& h, bool& atEnd)
{
  char line[129];
  atEnd = false;
  if (!std::fgets(line, sizeof line, f) || !std::fgets(line, sizeof line, f))
    return false;
  if (std::fscanf(f, "%ld %ld %d", &h.width, &h.height, &h.maxValue) != 3)
    return false;
  if (std::fgetc(f) == EOF) {
    atEnd = true;
    return false;
  }
  if (h.width < 1 || h.width > 65535 || h.height < 1 || h.height > 65535 || h.maxValue < 1 ||
      h.maxValue > 255) {
    traceError("read pgm file - invalid header", h.width);
    return false;
  }
  return true;
}

// The file opened for reading with its header read; nullptr when it cannot be opened or the
// header is not valid. The caller closes it.
FILE* openPgm(const char* path, PgmHeader& h)
{
  FILE* f = pvk::core::openForReading(path);
  if (!f)
    return nullptr;
  bool atEnd = false;
  if (!readHeader(f, h, atEnd)) {
    std::fclose(f);
    return nullptr;
  }
  return f;
}

size_t roundUp8(size_t v) { return (v + 7) & ~static_cast<size_t>(7); }

}  // namespace

int ImgPGMWrite(const char* path, const uint8_t* data, uint16_t rows, uint16_t width,
                uint16_t planeOffset, uint16_t rowStride, uint16_t xdpi, uint16_t ydpi,
                uint16_t planes)
{
  if (!path || !*path)
    return 0;
  if (rows == 0 || width < 4 || rowStride < 4) {
    traceWarning("write pgm image with nothing to do ", path);
    return 0;
  }
  if (planes == 0) {
    traceError("write pgm image with invalid num of colors ", path);
    return 0;
  }
  if (!data) {
    traceError("write pgm image with invalid data pointer ", path);
    return 0;
  }
  // A dump is whole or absent: a full disk leaves no truncated picture behind.
  pvk::core::AtomicFile f(path);
  if (!f.open())
    return 0;
  char header[96];
  int n = std::snprintf(header, sizeof header, "P5\n# Created by %s (dpi %3dx%3d)\n", "Plavik", xdpi, ydpi);
  f.write(header, static_cast<size_t>(n));
  n = std::snprintf(header, sizeof header, "%d %d\n%d\n", static_cast<int>(width) * planes, static_cast<int>(rows), 255);
  f.write(header, static_cast<size_t>(n));
  const uint8_t* row = data;
  for (size_t r = 0; r < rows && f.ok(); ++r, row += rowStride)
    for (size_t p = 0; p < planes; ++p)
      f.write(row + p * planeOffset, width);
  if (!f.commit())
    traceError("write pgm image failed ", path);
  return 0;
}

int ImgPGMWrite(const char* path, const ImgInfo* side, uint16_t planes)
{
  if (!side || !side->firstRow)
    return 0;
  const uint8_t* data = side->firstRow + side->trimLeft +
                        static_cast<size_t>(side->trimTop) * side->rawLineBytes;
  return ImgPGMWrite(path, data, side->rowsUsed, side->trimWidth, side->planeLineBytes,
                     side->rawLineBytes, side->dpiH, side->dpiV, planes);
}

int ImgPGMWrite(const char* path, const ImgInfo* side)
{
  return side ? ImgPGMWrite(path, side, side->planesPerLine) : 0;
}

int ImgPGMWrite(const char* path, const PVKImg* img, uint16_t planes)
{
  if (!img || planes == 0)
    return 0;
  return ImgPGMWrite(path, img->data, img->height, img->width,
                     static_cast<uint16_t>(img->stride / planes), img->stride, img->dpi, img->dpi,
                     planes);
}

int ImgPGMWrite(const char* path, const PVKImg* img)
{
  if (!img)
    return 0;
  uint16_t planes = MyDev.img[1].planesPerLine;
  if (planes < 2 || img->stride < static_cast<size_t>(img->width) * planes)
    planes = 1;
  return ImgPGMWrite(path, img, planes);
}

bool ImgPGMReadEnlarge(const char* path, PVKImg* img, uint16_t extraRows)
{
  PgmHeader h;
  FILE* f = (path && img) ? openPgm(path, h) : nullptr;
  if (!f)
    return false;
  FileCloser closer{f};
  size_t stride = roundUp8(static_cast<size_t>(h.width));
  size_t rows = static_cast<size_t>(h.height) + extraRows;
  if (stride > 65535 || rows > 65535) {
    traceError("read pgm file - image too large", h.width);
    return false;
  }
  std::free(img->data);
  img->data = nullptr;
  if (img->dpi == 0)
    img->dpi = 100;
  img->width = static_cast<uint16_t>(h.width);
  img->stride = static_cast<uint16_t>(stride);
  img->height = static_cast<uint16_t>(rows);
  img->data = static_cast<uint8_t*>(std::calloc(stride * rows, 1));
  if (!img->data) {
    traceError("Read pgm file with invalid memory allocation", static_cast<long>(errno));
    img->height = 0;
    return false;
  }
  // Rows are width bytes in the file and stride bytes apart in memory.
  bool ok = true;
  for (size_t r = 0; r < static_cast<size_t>(h.height) && ok; ++r)
    ok = std::fread(img->data + r * stride, 1, h.width, f) == static_cast<size_t>(h.width);
  std::memset(img->data + static_cast<size_t>(h.height) * stride, 255, extraRows * stride);
  return ok;
}

bool ImgPGMRead(const char* path, PVKImg* img) { return ImgPGMReadEnlarge(path, img, 0); }

int ImgPGMRead(const char* path, PVKImg& img, int& maxValue, bool rotate180)
{
  PgmHeader h;
  FILE* f = path ? openPgm(path, h) : nullptr;
  if (!f)
    return -1;
  FileCloser closer{f};
  maxValue = h.maxValue;
  size_t w = static_cast<size_t>(h.width), rows = static_cast<size_t>(h.height);
  size_t stride = roundUp8(w);
  if (stride > 65535)
    return -1;
  std::free(img.data);
  img.data = static_cast<uint8_t*>(std::calloc(stride * (rows + 1), 1));
  if (!img.data) {
    traceError("Read pgm file with invalid memory allocation", static_cast<long>(errno));
    img.height = 0;
    setResult(-4);
    return -1;
  }
  img.width = static_cast<uint16_t>(w);
  img.height = static_cast<uint16_t>(rows);
  img.stride = static_cast<uint16_t>(stride);
  if (!rotate180) {
    for (size_t r = 0; r < rows; ++r)
      if (std::fread(img.data + r * stride, 1, w, f) != w)
        return -1;
    return 0;
  }
  // Read backwards from the last pixel of the last row: the picture turns by 180 degrees.
  std::vector<uint8_t> row(w);
  for (size_t r = 0; r < rows; ++r) {
    if (std::fread(row.data(), 1, w, f) != w)
      return -1;
    uint8_t* d = img.data + (rows - 1 - r) * stride;
    for (size_t x = 0; x < w; ++x)
      d[w - 1 - x] = row[x];
  }
  return 0;
}

namespace {

bool tooSmall(const char* text)
{
  traceError(text);
  setResult(-1);
  return false;
}

// Bytes a side record may receive from `start` on.
size_t spaceFrom(const ImgInfo* side, const uint8_t* start)
{
  if (!start)
    return 0;
  if (side->allocBase) {
    if (start < side->allocBase || start > side->allocBase + side->bytesAllocated)
      return 0;
    return side->bytesAllocated - static_cast<size_t>(start - side->allocBase);
  }
  // A view into another side's buffer: what it was sized for.
  if (start < side->firstRow)
    return 0;
  size_t used = static_cast<size_t>(start - side->firstRow);
  return side->imageBytes > used ? side->imageBytes - used : 0;
}

// n plane lines of `width` bytes into one raw line that was first filled with `fill`.
bool readPlaneLines(FILE* f, uint8_t* raw, size_t fillBytes, size_t planeLine, size_t n,
                    size_t width)
{
  std::memset(raw, kFill, fillBytes);
  for (size_t p = 0; p < n; ++p)
    if (std::fread(raw + p * planeLine, 1, width, f) != width)
      return false;
  return true;
}

}  // namespace

bool ImgPGMRead(const char* path, ImgInfo* side, bool toWritePointer, bool onePlane)
{
  PgmHeader h;
  FILE* f = (path && side) ? openPgm(path, h) : nullptr;
  if (!f)
    return false;
  FileCloser closer{f};
  size_t n = side->colourPlanes ? side->colourPlanes : 1;
  side->trimTop = side->fullTop = 0;
  if (side->dpiH == 0)
    side->dpiH = 100;
  if (side->dpiV == 0)
    side->dpiV = 100;
  size_t width = static_cast<size_t>(h.width), rows = static_cast<size_t>(h.height);
  if (onePlane) {
    n = 1;
  } else {
    if (side->colourPlanes == 0)
      side->colourPlanes = MyAcq.colourLines;
    width /= n;
  }
  size_t planeLine = side->planeLineBytes, rawLine = side->rawLineBytes;
  if (width > planeLine || n * planeLine > rawLine)
    return tooSmall("read pgm file - buffer too small");

  if (toWritePointer) {
    // The rows land where the bulk reader would append them: they must fit what is left.
    if (rows * rawLine > spaceFrom(side, side->writePtr))
      return tooSmall("read pgm file - buffer too small");
    side->rowsUsed = side->fullHeight = static_cast<uint16_t>(rows);
    for (size_t r = 0; r < rows; ++r)
      if (!readPlaneLines(f, side->writePtr + r * rawLine, rawLine, planeLine, n, width))
        return false;
    return true;
  }

  if (width > side->sensorPixels)
    return tooSmall("read pgm file - dimensions too small");
  if (width > side->trimWidth) {
    side->trimLeft = side->fullLeft = 0;
    if (width > side->fullWidth)
      side->fullWidth = static_cast<uint16_t>(width);
  }
  side->trimWidth = static_cast<uint16_t>(width);
  size_t skip = 0, keep = rows;
  if (side->rowsUsed != 0 && side->rowsUsed <= rows) {
    keep = side->rowsUsed;
    skip = rows - keep;
  } else {
    side->rowsUsed = side->fullHeight = static_cast<uint16_t>(rows);
    side->imageBytes = rows * rawLine;
  }
  if (keep > side->fullHeight)
    side->fullHeight = static_cast<uint16_t>(keep);
  if (side->side != 0 && !side->allocBase && side->imageBytes < width * rows)
    return tooSmall("read pgm file - buffer too small");
  size_t fillBytes = side->sensorPixels < planeLine ? side->sensorPixels : planeLine;
  if (keep * rawLine > spaceFrom(side, side->firstRow))
    return tooSmall("read pgm file - buffer too small");
  std::vector<uint8_t> drop(width * n);
  for (size_t r = 0; r < skip; ++r)
    if (std::fread(drop.data(), 1, drop.size(), f) != drop.size())
      return false;
  for (size_t r = 0; r < keep; ++r) {
    uint8_t* raw = side->firstRow + r * rawLine;
    for (size_t p = 0; p < n; ++p) {
      std::memset(raw + p * planeLine, kFill, fillBytes);
      if (std::fread(raw + p * planeLine, 1, width, f) != width)
        return false;
    }
  }
  return true;
}

bool ImgPGMRead(const char* path, ImgInfo* side, bool toWritePointer)
{
  return ImgPGMRead(path, side, toWritePointer, false);
}
