// Debug greymaps of the engine: the engine image of a band and one standard cell written as P5
// files (black 0, white 255), and the reader that loads such a file back for offline reading.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "core/atomic_file.h"
#include "core/records.h"
#include "core/regular_file.h"
#include "core/shims.h"
#include "core/trace.h"
#include "ocr/ocr.h"

namespace {

constexpr size_t kHeaderLine = 128;
// The largest picture the raster library takes; a header asking for more is not trusted.
constexpr uint64_t kMaxPixels = 256ull << 20;

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

bool writeGreymap(const char* path, const char* creator, unsigned w, unsigned h, int maxGrey,
                  const uint8_t* bytes) {
  if (path == nullptr) return false;
  char header[kHeaderLine];
  const int len = std::snprintf(header, sizeof header, "P5\n# Created by %s\n%u %u\n%d\n", creator, w, h, maxGrey);
  if (len < 0 || static_cast<size_t>(len) >= sizeof header) return false;
  std::string file(header, static_cast<size_t>(len));
  file.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(w) * h);
  return pvk::core::writeFileAtomically(path, file.data(), file.size());
}

uint8_t* allocOrTrace(size_t n, const char* text) {
  auto* p = static_cast<uint8_t*>(std::malloc(n == 0 ? 1 : n));
  if (p == nullptr) {
    WriteTrace("err - ", text, static_cast<int>(GetLastError()), false);
    MyDev.lastResult = PVK_ERR_OUT_OF_MEMORY;
  }
  return p;
}

}  // namespace

bool ImgPGMWrite(const char* path, const uint32_t* image, uint16_t w, uint16_t h, int maxGrey) {
  if (image == nullptr) return false;
  const size_t n = static_cast<size_t>(w) * h;
  std::unique_ptr<uint8_t, decltype(&std::free)> bytes(
      allocOrTrace(n, "write pgm with invalid memory allocation"), &std::free);
  if (!bytes) return false;
  for (size_t i = 0; i < n; ++i) bytes.get()[i] = image[i] != 0 ? 0 : 255;
  return writeGreymap(path, "Plavik", w, h, maxGrey, bytes.get());
}

bool ImgPGMWriteBBK(const char* path, const uint32_t* cell, int maxGrey) {
  if (cell == nullptr) return false;
  uint8_t bytes[32 * 32];
  for (int r = 0; r < 32; ++r)
    for (int c = 0; c < 32; ++c) bytes[r * 32 + c] = (cell[r] & val[c]) != 0 ? 0 : 255;
  return writeGreymap(path, "me", 32, 32, maxGrey, bytes);
}

uint8_t* ImgPGMRead(const char* path) {
  File f(path != nullptr ? pvk::core::openForReading(path) : nullptr);
  char line[kHeaderLine];
  if (!f || std::fgets(line, sizeof line, f.get()) == nullptr ||
      std::fgets(line, sizeof line, f.get()) == nullptr) {
    WriteTrace("err - ", "read pgm file with invalid header", false);
    return nullptr;
  }
  long w = 0, h = 0;
  int maxGrey = 0;
  // The sizes become the 16-bit engine sizes: anything they cannot hold is refused here.
  if (std::fscanf(f.get(), "%ld %ld %d", &w, &h, &maxGrey) != 3 || w < 1 || w > 65535 || h < 1 ||
      h > 65535 || static_cast<uint64_t>(w) * static_cast<uint64_t>(h) > kMaxPixels) {
    WriteTrace("err - ", "read pgm file with invalid parameters", false);
    return nullptr;
  }
  std::fgetc(f.get());
  const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
  uint8_t* bytes = allocOrTrace(n, "read pgm file with invalid memory allocation");
  if (bytes == nullptr) return nullptr;
  if (std::fread(bytes, 1, n, f.get()) != n) {
    std::free(bytes);
    return nullptr;
  }
  width = static_cast<uint16_t>(w);
  height = static_cast<uint16_t>(h);
  imagsize = static_cast<int32_t>(n > INT32_MAX ? INT32_MAX : n);
  return bytes;
}
