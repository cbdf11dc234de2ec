// The library's own BMP writer and reader: the in-memory picture that every image output
// passes through before encoding, stamp image files and debug copies of sides and zones.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "core/atomic_file.h"
#include "core/image_utils.h"
#include "core/regular_file.h"
#include "image/image.h"

using namespace pvk::image;

namespace {

constexpr int kHeader24 = 54;
constexpr int kHeader8 = 1078;

void PutWord(char*& p, uint16_t v)
{
  *p++ = static_cast<char>(v & 0xFF);
  *p++ = static_cast<char>(v >> 8);
}

void PutDWord(char*& p, uint32_t v)
{
  for (int i = 0; i < 4; ++i)
    *p++ = static_cast<char>((v >> (8 * i)) & 0xFF);
}

bool ReadWord(FILE* f, uint16_t& v) { return std::fread(&v, 2, 1, f) == 1; }
bool ReadDWord(FILE* f, uint32_t& v) { return std::fread(&v, 4, 1, f) == 1; }

uint32_t pixelsPerMetre(uint16_t dpi)
{
  return static_cast<uint32_t>(static_cast<float>(dpi) * 39.3701f);
}

// Brightness/contrast table of the output picture.
void levelTable(short brightness, short contrast, uint8_t t[256])
{
  for (int v = 0; v < 256; ++v) {
    int x = v + brightness + ((contrast * (v - 128)) >> 7);
    t[v] = static_cast<uint8_t>(x < 0 ? 0 : x > 255 ? 255 : x);
  }
}

// A writer that remembers the first failed write, so a full disk is reported, not hidden; the
// file appears whole at the end or not at all.
struct BmpOut {
  explicit BmpOut(const char* path) : file(path) {}
  pvk::core::AtomicFile file;
  void put(const void* p, size_t n) { file.write(p, n); }
  void zeros(size_t n)
  {
    static const uint8_t z[256] = {};
    while (n) {
      size_t k = n < sizeof z ? n : sizeof z;
      put(z, k);
      n -= k;
    }
  }
};

bool openBmp(const char* path, BmpOut& out)
{
  if (!path || !out.file.open()) {
    traceError("creating image file", static_cast<long>(path ? errno : EINVAL));
    traceError(path ? path : "(null)");
    setResult(-1);
    return false;
  }
  return true;
}

bool closeBmp(const char* path, BmpOut& out)
{
  if (!out.file.commit()) {
    traceError("writing image file", static_cast<long>(errno));
    traceError(path);
    setResult(-1);
    return false;
  }
  return true;
}

// Rows of a PVKImg, last to first, each padded with zeros to rowBytes.
void putRowsBottomUp(BmpOut& out, const PVKImg& img, size_t rowBytes)
{
  size_t have = img.stride ? img.stride : img.width;
  size_t take = have < rowBytes ? have : rowBytes;
  for (int r = img.height - 1; r >= 0; --r) {
    out.put(img.data + static_cast<size_t>(r) * have, take);
    out.zeros(rowBytes - take);
  }
}

}  // namespace

size_t ImgBMPSize(size_t width, size_t height)
{
  return ((width + 3) & ~static_cast<size_t>(3)) * height + kHeader8;
}

int ImgBMPHeaderFill(uint16_t width, uint16_t height, uint16_t xdpi, uint16_t ydpi, uint16_t bpp,
                     char* out)
{
  bool grey = bpp != 24;
  uint32_t offset = grey ? kHeader8 : kHeader24;
  uint32_t imageSize = ((width + 3u) & ~3u) * height * (grey ? 1u : 3u);
  char* p = out;
  PutWord(p, 0x4D42);
  PutDWord(p, imageSize + offset);
  PutWord(p, 0);
  PutWord(p, 0);
  PutDWord(p, offset);
  PutDWord(p, 40);
  PutDWord(p, width);
  PutDWord(p, height);
  PutWord(p, 1);
  PutWord(p, bpp);
  PutDWord(p, 0);
  PutDWord(p, imageSize);
  PutDWord(p, pixelsPerMetre(xdpi));
  PutDWord(p, pixelsPerMetre(ydpi));
  PutDWord(p, grey ? 256 : 0);
  PutDWord(p, 0);
  if (grey) {
    for (int i = 0; i < 256; ++i) {
      *p++ = static_cast<char>(i);
      *p++ = static_cast<char>(i);
      *p++ = static_cast<char>(i);
      *p++ = 0;
    }
  }
  return static_cast<int>(offset);
}

bool ImgBMPElabora(const uint8_t* src, uint16_t rows, uint16_t width, uint16_t planeOffset,
                   uint16_t srcStride, uint16_t dstStride, uint16_t xdpi, uint16_t ydpi,
                   short brightness, short contrast, uint16_t bpp, bool bottomUp, bool bgrOrder,
                   uint8_t* out, long* size)
{
  uint8_t t[256];
  levelTable(brightness, contrast, t);
  if (!out || !size || !src)
    return false;
  int header = ImgBMPHeaderFill(width, rows, xdpi, ydpi, bpp, reinterpret_cast<char*>(out));
  *size = header + static_cast<long>(rows) * dstStride;
  uint8_t* data = out + header;
  // Never more pixels than the target row holds, whatever the plane offset says.
  size_t pixels24 = dstStride / 3u < planeOffset ? dstStride / 3u : planeOffset;
  size_t pixels8 = width < dstStride ? width : dstStride;
  // Neutral brightness and contrast give the identity table: copy instead of looking up.
  bool identity = true;
  for (int v = 0; identity && v < 256; ++v)
    identity = t[v] == v;
  const uint8_t* s = src;
  for (size_t r = 0; r < rows; ++r, s += srcStride) {
    uint8_t* d = data + (bottomUp ? (rows - 1 - r) : r) * static_cast<size_t>(dstStride);
    if (identity && bpp == 24) {
      pvk::core::interleavePlanes(d, s + (bgrOrder ? 2u * planeOffset : 0), s + planeOffset,
                                  s + (bgrOrder ? 0 : 2u * planeOffset), pixels24);
    } else if (identity) {
      std::memcpy(d, s, pixels8);
    } else if (bpp == 24) {
      size_t first = bgrOrder ? 2u * planeOffset : 0, third = bgrOrder ? 0 : 2u * planeOffset;
      for (size_t k = 0; k < pixels24; ++k) {
        *d++ = t[s[k + first]];
        *d++ = t[s[k + planeOffset]];
        *d++ = t[s[k + third]];
      }
    } else {
      for (size_t k = 0; k < pixels8; ++k)
        d[k] = t[s[k]];
    }
  }
  return true;
}

bool ImgBPMWrite(const char* path, const PVKImg* img, uint16_t bpp)
{
  if (!img || !img->data)
    return false;
  uint16_t padded = static_cast<uint16_t>((img->width + 3u) & ~3u);
  if (img->width > 65532)
    return false;
  char header[kHeader8];
  int n = ImgBMPHeaderFill(padded, img->height, img->dpi, img->dpi, bpp, header);
  BmpOut out(path);
  if (!openBmp(path, out))
    return false;
  out.put(header, n);
  putRowsBottomUp(out, *img, padded * (bpp == 24 ? 3u : 1u));
  return closeBmp(path, out);
}

bool ImgBPMWrite(const char* path, const PVKImg* first, const PVKImg* second, uint16_t bpp)
{
  if (!first || !second || !first->data || !second->data)
    return false;
  size_t w = first->width > second->width ? first->width : second->width;
  w = (w + 3) & ~static_cast<size_t>(3);
  size_t h = static_cast<size_t>(first->height) + second->height;
  if (w > 65535 || h > 65535)
    return false;
  char header[kHeader8];
  int n = ImgBMPHeaderFill(static_cast<uint16_t>(w), static_cast<uint16_t>(h), second->dpi,
                           second->dpi, bpp, header);
  BmpOut out(path);
  if (!openBmp(path, out))
    return false;
  out.put(header, n);
  // The first image's rows come first in the file, so in the picture the second stands on top.
  for (const PVKImg* img : {first, second}) {
    size_t have = img->stride ? img->stride : img->width;
    size_t take = img->width < have ? img->width : have;
    for (int r = img->height - 1; r >= 0; --r) {
      out.put(img->data + static_cast<size_t>(r) * have, take);
      out.zeros(w - take);
    }
  }
  return closeBmp(path, out);
}

bool ImgBPMWrite(const char* path, const ImgInfo* side)
{
  if (!side || !side->firstRow)
    return false;
  bool colour = MyAcq.colourLines >= 3;
  uint16_t bpp = colour ? 24 : 8;
  size_t w = (side->trimWidth + 3u) & ~3u;
  if (w > 65535)
    return false;
  char header[kHeader8];
  int n = ImgBMPHeaderFill(static_cast<uint16_t>(w), side->rowsUsed, side->dpiH, side->dpiV, bpp,
                           header);
  BmpOut out(path);
  if (!openBmp(path, out))
    return false;
  out.put(header, n);
  size_t plane = side->planeLineBytes;
  std::vector<uint8_t> row(w * (colour ? 3 : 1), 0);
  for (int r = side->rowsUsed - 1; r >= 0; --r) {
    const uint8_t* s = side->firstRow + static_cast<size_t>(r) * side->rawLineBytes;
    for (size_t x = 0; x < w; ++x) {
      // Pixels past the plane line are padding: write them black rather than read past it.
      bool in = x < plane;
      if (colour) {
        row[3 * x] = in ? s[2 * plane + x] : 0;
        row[3 * x + 1] = in ? s[plane + x] : 0;
        row[3 * x + 2] = in ? s[x] : 0;
      } else {
        row[x] = in ? s[x] : 0;
      }
    }
    out.put(row.data(), row.size());
  }
  return closeBmp(path, out);
}

bool ImgBMPHeaderRead(FILE* f, BmpFileHeader& fh, BmpInfoHeader& ih)
{
  if (!f)
    return false;
  uint32_t width = 0, height = 0, xppm = 0, yppm = 0;
  bool ok = ReadWord(f, fh.type) && ReadDWord(f, fh.fileSize) && ReadWord(f, fh.reserved1) &&
            ReadWord(f, fh.reserved2) && ReadDWord(f, fh.dataOffset) && ReadDWord(f, ih.size) &&
            ReadDWord(f, width) && ReadDWord(f, height) && ReadWord(f, ih.planes) &&
            ReadWord(f, ih.bitCount) && ReadDWord(f, ih.compression) &&
            ReadDWord(f, ih.imageSize) && ReadDWord(f, xppm) && ReadDWord(f, yppm) &&
            ReadDWord(f, ih.colorsUsed) && ReadDWord(f, ih.colorsImportant);
  if (!ok)
    return false;
  ih.width = static_cast<int32_t>(width);
  ih.height = static_cast<int32_t>(height);
  ih.xPelsPerMeter = static_cast<int32_t>(xppm);
  ih.yPelsPerMeter = static_cast<int32_t>(yppm);
  // The palette (or whatever lies before the pixels) is read and dropped.
  if (fh.dataOffset > kHeader24) {
    uint8_t skip[1024];
    size_t left = fh.dataOffset - kHeader24;
    while (left) {
      size_t k = left < sizeof skip ? left : sizeof skip;
      if (std::fread(skip, 1, k, f) != k)
        return false;
      left -= k;
    }
  }
  return fh.dataOffset >= kHeader24;
}

namespace {

bool refuse(const char* text, long value, int code)
{
  traceError(text, value);
  setResult(code);
  return false;
}

// Everything about the header that must hold before a byte is allocated or read.
bool checkGreyBmp(const BmpInfoHeader& ih, const ImgInfo* side)
{
  if (ih.bitCount != 8)
    return refuse("Not 8 bit grayscale image; bit count", ih.bitCount, -3);
  if (ih.planes != 1)
    return refuse("Not grayscale image; planes", ih.planes, -3);
  if (side->colourPlanes >= 2)
    return refuse("Not grayscale image; nCol", side->colourPlanes, -3);
  // Compressed pixels read as raw rows would be garbage.
  if (ih.compression != 0)
    return refuse("Not uncompressed image; compression", ih.compression, -3);
  if (ih.width <= 0 || ih.width > 65535)
    return refuse("invalid width", ih.width, -3);
  if (ih.height <= 0 || ih.height > 65535)
    return refuse("invalid height", ih.height, -3);
  return true;
}

}  // namespace

bool ImgBMPRead(const char* path, ImgInfo* side, bool allocate)
{
  FILE* f = path ? pvk::core::openForReading(path) : nullptr;
  BmpFileHeader fh{};
  BmpInfoHeader ih{};
  if (!f || !ImgBMPHeaderRead(f, fh, ih)) {
    if (f)
      std::fclose(f);
    traceError("file not found", path);
    setResult(-3);
    return false;
  }
  struct Closer {
    FILE* f;
    ~Closer() { std::fclose(f); }
  } closer{f};
  if (!side)
    return refuse("invalid pointer", 0, -1);
  if (!checkGreyBmp(ih, side))
    return false;

  size_t width = static_cast<size_t>(ih.width), height = static_cast<size_t>(ih.height);
  side->fullWidth = side->trimWidth = static_cast<uint16_t>(width);
  side->fullHeight = side->rowsUsed = static_cast<uint16_t>(height);
  size_t rowLen = (width + 7) & ~static_cast<size_t>(7);
  if (allocate) {
    if (rowLen > 65535)
      return refuse("invalid width", ih.width, -3);
    side->planeLineBytes = side->rawLineBytes = static_cast<uint16_t>(rowLen);
  } else {
    rowLen = side->rawLineBytes;
  }
  if (side->dpiH == 0)
    side->dpiH = 300;
  if (side->dpiV == 0)
    side->dpiV = 300;
  if (allocate && side->imageBytes == 0 && !side->allocBase) {
    auto* buf = static_cast<uint8_t*>(std::calloc(rowLen * height, 1));
    if (!buf)
      return refuse("read bmp file - out of memory", static_cast<long>(errno), -4);
    side->allocBase = side->firstRow = buf;
    side->imageBytes = side->bytesAllocated = rowLen * height;
  }
  if (side->imageBytes < rowLen * height || !side->firstRow)
    return refuse("invalid size", static_cast<long>(side->imageBytes), -3);

  // An uncompressed file row is the width padded to 4 bytes; the image-size field may be 0.
  size_t fileRow = (width + 3) & ~static_cast<size_t>(3);
  size_t take = fileRow < rowLen ? fileRow : rowLen;
  if (std::fseek(f, static_cast<long>(fh.dataOffset), SEEK_SET) != 0)
    return refuse("read bmp file - short read", 0, -3);
  std::vector<uint8_t> row(fileRow);
  for (size_t r = height; r-- > 0;) {
    if (std::fread(row.data(), 1, fileRow, f) != fileRow)
      return refuse("read bmp file - short read", static_cast<long>(height - 1 - r), -3);
    std::memcpy(side->firstRow + r * rowLen, row.data(), take);
  }
  return true;
}

bool ImgBMPRead(const char* path, PVKImg* img)
{
  if (!img)
    return refuse("invalid pointer", 0, -1);
  ImgInfo side{};
  if (!ImgBMPRead(path, &side, true)) {
    std::free(side.allocBase);
    setResult(-1);
    return false;
  }
  img->width = side.trimWidth;
  img->height = side.rowsUsed;
  img->stride = side.rawLineBytes;
  img->dpi = side.dpiH;
  img->data = side.allocBase;
  return true;
}

int Vx3MultiPageInit_PDF(const char*, short, short)
{
  traceError("PDF not supported");
  return setResult(-11);
}

int Vx3MultiPageAdd_PDF(const char*)
{
  traceError("PDF not supported");
  return setResult(-11);
}

int Vx3MultiPageClose_PDF()
{
  traceError("PDF not supported");
  return setResult(-11);
}
