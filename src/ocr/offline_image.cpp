// The offline path of the engine: a greymap file read, binarised and segmented as a band, for
// reading a saved zone without a scanner.
#include <cerrno>
#include <cstdlib>

#include "core/records.h"
#include "core/shims.h"
#include "core/trace.h"
#include "ocr/ocr.h"

namespace {
constexpr uint8_t kThreshold = 125;
}  // namespace

bool getimage(const char* path) {
  if (path == nullptr) return false;
  uint8_t* grey = ImgPGMRead(path);
  if (grey == nullptr) return false;
  const uint16_t w = width, h = height;
  PVKImg img{};
  img.width = w;
  img.height = h;
  img.stride = w;
  img.dpi = 300;
  img.data = grey;
  Convol(&img, kThreshold, false);
  // Rows of the engine image are widened to a multiple of 8 pixels.
  const uint32_t w8 = w == 0 ? 8 : ((static_cast<uint32_t>(w) - 1) & ~7u) + 8;
  if (w8 > 0xFFF8u) {
    WriteTrace("err - ", "get image too wide", static_cast<int>(w), false);
    MyDev.lastResult = PVK_ERR_INV_PARAMETER;
    std::free(grey);
    return false;
  }
  auto* image = static_cast<uint32_t*>(std::calloc(static_cast<size_t>(w8) * h, sizeof(uint32_t)));
  if (image == nullptr) {
    WriteTrace("err - ", "get image with invalid memory allocation", static_cast<int>(GetLastError()), false);
    MyDev.lastResult = PVK_ERR_OUT_OF_MEMORY;
    std::free(grey);
    return false;
  }
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) image[y * w8 + x] = grey[static_cast<size_t>(y) * w + x] < kThreshold ? 1 : 0;
  std::free(grey);
  imag = image;
  width = static_cast<uint16_t>(w8);
  height = h;
  imagsize = static_cast<int32_t>(w8) * h;
  return true;
}

int process_image(const char* path) {
  if (!getimage(path)) return -1;
  return ocr_pre_process(imag, width, height);
}
