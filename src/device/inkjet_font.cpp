// Stamp fonts: the font file (a line of characters, a line of their widths, then each glyph as
// text lines) and the stamp text drawn with it into the endorser's 12-row bitmap.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/frame.h"
#include "core/records.h"
#include "core/regular_file.h"
#include "core/trace.h"
#include "device/device.h"
#include "device/inkjet.h"

namespace pvk::device {
namespace {

constexpr size_t kMaxFontBytes = 4u << 20;  // far above any font of 512 glyphs of 12 lines
constexpr size_t kLineMax = 512;
constexpr int kCmc7Gap = 6;
constexpr uint32_t kMaxStampWidth = 0xFFF8;  // its stride, rounded up to 8, must fit 16 bits

// The line end at pos must be exactly the one of line 1.
bool lineEndAt(const std::vector<unsigned char>& d, size_t pos, size_t eol) {
  if (pos + eol > d.size()) return false;
  return eol == 2 ? d[pos] == '\r' && d[pos + 1] == '\n' : d[pos] == '\n';
}

}  // namespace

bool stampFontPath(const char* cnfDir, const char* name, char* out, size_t size) {
  const size_t len = std::strlen(name);
  const bool hasExt = len >= 4 && std::strstr(name + len - 4, ".fnt") != nullptr;
  const int n = std::snprintf(out, size, "%s/%s%s", cnfDir, name, hasExt ? "" : ".fnt");
  return n >= 0 && static_cast<size_t>(n) < size;
}

bool findStampFont(const char* name, char* out, size_t size) {
  if (stampFontPath(MyDev.cnfDir, name, out, size) && VerificaFontProprietario(out)) return true;
  char dir[PATH_MAX];
  if (!pvk::core::installedFontDbDir(dir, sizeof dir)) return false;
  const size_t n = std::strlen(dir);
  if (n > 1 && dir[n - 1] == '/') dir[n - 1] = '\0';
  return stampFontPath(dir, name, out, size) && VerificaFontProprietario(out);
}

void freeStampFont(StampFont& font) {
  std::free(font.data);
  font.data = nullptr;
  font.count = 0;
}

int readStampFont(const char* path, uint16_t rows, StampFont& font) {
  font.count = 0;
  font.data = nullptr;
  std::vector<unsigned char> d;
  if (!pvk::core::readRegularFile(path, d, kMaxFontBytes)) return -1;
  // Line 1: the characters.
  size_t nl = 0;
  while (nl < d.size() && nl < kLineMax && d[nl] != '\n') ++nl;
  if (nl >= d.size() || nl + 1 >= kLineMax) return -1;
  const size_t eol = nl > 0 && d[nl - 1] == '\r' ? 2 : 1;
  const size_t count = nl + 1 - eol;
  if (count == 0) return -1;
  std::memcpy(font.chars, d.data(), count);
  // Line 2: one width byte per character; a width of 10 may have been written as CR LF.
  size_t pos = nl + 1;
  size_t total = 0;
  for (size_t i = 0; i < count; ++i) {
    if (pos >= d.size()) return -1;
    if (d[pos] == '\r' && pos + 1 < d.size() && d[pos + 1] == '\n') {
      font.widths[i] = 10;
      pos += 2;
      char text[32];
      std::snprintf(text, sizeof text, "%c\t%d", font.chars[i], 10);
      WriteTrace(text, false);
    } else {
      font.widths[i] = d[pos++];
    }
    total += static_cast<size_t>(font.widths[i]) * rows;
  }
  if (!lineEndAt(d, pos, eol)) return -1;
  pos += eol;
  // The glyphs, each `rows` lines of its width, every line with line 1's end.
  font.data = static_cast<char*>(std::malloc(total ? total : 1));
  if (!font.data) {
    traceError("allocating stamp font memory");
    return PVK_ERR_OUT_OF_MEMORY;
  }
  size_t at = 0;
  for (size_t i = 0; i < count; ++i) {
    font.glyphs[i] = font.data + at;
    for (uint16_t r = 0; r < rows; ++r) {
      const size_t w = font.widths[i];
      if (pos + w > d.size() || !lineEndAt(d, pos + w, eol)) {
        freeStampFont(font);
        return -1;
      }
      if (w) std::memcpy(font.data + at, d.data() + pos, w);
      at += w;
      pos += w + eol;
    }
  }
  if (pos != d.size()) {
    freeStampFont(font);
    return -1;
  }
  font.count = count;
  return 0;
}

namespace {

size_t glyphOf(const StampFont& font, char c) {
  for (size_t i = 0; i < font.count; ++i)
    if (font.chars[i] == c) return i;
  return 0;  // characters the font lacks take its first glyph
}

// 0, -1 (font), -3 (stamp too wide), -4 (memory).
int drawStamp(char* path, uint16_t rows, bool bottomUp) {
  StampFont font;
  const int read = readStampFont(path, rows, font);
  if (read < 0) return read;
  std::vector<char> text(MyInkjet.stampText, MyInkjet.stampText + strnlen(MyInkjet.stampText, sizeof MyInkjet.stampText));
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  const bool cmc7 = std::strstr(path, "cmc7") || std::strstr(path, "CMC7");
  std::vector<int> drawWidth(font.widths, font.widths + font.count);
  if (cmc7 && font.count >= 2) drawWidth[0] = font.widths[1];
  // Widths add up in 32 bits: a long text must not wrap into a small allocation.
  uint32_t width = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (cmc7 && i > 0 && text[i - 1] != ' ') width += kCmc7Gap;
    width += static_cast<uint32_t>(drawWidth[glyphOf(font, text[i])]);
  }
  if (width == 0 || width > kMaxStampWidth) {
    traceError("stamp too wide", static_cast<long>(width));
    freeStampFont(font);
    return PVK_ERR_INV_PARAMETER;
  }
  const uint32_t stride = (width + 7) / 8 * 8;
  auto* bits = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(stride) * rows, 1));
  if (!bits) {
    traceError("allocating stamp memory", errno);
    freeStampFont(font);
    return PVK_ERR_OUT_OF_MEMORY;
  }
  uint32_t x = 0;
  auto blank = [&](uint32_t columns) {
    for (uint16_t r = 0; r < rows; ++r) std::memset(bits + static_cast<size_t>(r) * stride + x, 255, columns);
    x += columns;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    if (cmc7 && i > 0 && text[i - 1] != ' ') blank(kCmc7Gap);
    const size_t g = glyphOf(font, text[i]);
    const uint32_t w = static_cast<uint32_t>(drawWidth[g]);
    if (text[i] == ' ') {
      blank(w);
      continue;
    }
    const uint32_t stored = font.widths[g];
    for (uint16_t r = 0; r < rows; ++r) {
      const char* line = font.glyphs[g] + static_cast<size_t>(bottomUp ? rows - 1 - r : r) * stored;
      uint8_t* dst = bits + static_cast<size_t>(r) * stride + x;
      for (uint32_t c = 0; c < w; ++c) dst[c] = c < stored && line[c] != ' ' ? 0 : 255;
    }
    x += w;
  }
  freeStampFont(font);
  std::free(MyInkjet.stamp.data);
  MyInkjet.stamp = PVKImg{static_cast<uint16_t>(width), rows, static_cast<uint16_t>(stride), 100, bits};
  MyInkjet.stampTurned = 0;
  return 0;
}

}  // namespace

int createStamp(char* path, uint16_t rows, bool bottomUp) { return drawStamp(path, rows, bottomUp); }

}  // namespace pvk::device

bool VerificaFontProprietario(char* path) {
  if (!path) return false;
  FILE* f = pvk::core::openForReading(path);
  if (!f) return false;
  std::fclose(f);
  return true;
}

bool CreaStampFontProprietario(char* path, uint16_t rows, bool bottomUp) {
  if (!path) return false;
  const int r = pvk::device::createStamp(path, rows, bottomUp);
  if (r == PVK_ERR_INV_PARAMETER || r == PVK_ERR_OUT_OF_MEMORY) MyDev.lastResult = r;
  return r == 0;
}
