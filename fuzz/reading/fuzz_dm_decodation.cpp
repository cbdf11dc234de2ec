// DataMatrix decodation and block correction on arbitrary codeword arrays, and the sampler
// on arbitrary module grids: nothing is read or written outside the codewords, the image or
// the output buffer.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "core/records.h"
#include "symbols/symbols.h"

namespace {

void sampleGrid(const uint8_t* data, size_t size) {
  if (size < 6) return;
  const DmVersion& v = VERSION[data[0] % kDmVersions];
  const int px = 1 + data[1] % 4;
  cv::Mat img(v.rows * px + data[2] % 3, v.columns * px + (data[2] >> 4) % 3, CV_8UC1, cv::Scalar(255));
  for (int r = 0; r < v.rows; ++r)
    for (int c = 0; c < v.columns; ++c) {
      const size_t i = static_cast<size_t>(r) * v.columns + c;
      if ((data[4 + (i / 8) % (size - 4)] >> (i % 8)) & 1) img(cv::Rect(c * px, r * px, px, px)).setTo(0);
    }
  MyOcr.dmDpi = static_cast<uint16_t>(data[3] % 2 ? 300 : 25);
  parseImageDM p;
  p.moduleWidth = px + (data[3] % 8) * 0.1;
  p.moduleHeight = px;
  p.startRow = p.sampleRow = static_cast<uint16_t>(px);
  p.startCol = p.sampleCol = static_cast<uint16_t>(data[1] % 7);
  if (!p.setImage(img)) return;
  unsigned short capacity = data[3];
  std::vector<char> out(capacity ? capacity : 1);
  for (int tries = 0; tries < 400 && p.extractDataRegion() == 0 && p.readCodewords(); ++tries) {
    unsigned short len = 0;
    const int r = p.getDataBlocks(capacity ? out.data() : nullptr, len, capacity);
    if (len >= capacity && capacity > 0 && len != 0) __builtin_trap();
    if (r != -3) break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5 || size > 4096) return 0;
  const std::vector<uint8_t> copy(data, data + size);
  switch (copy[0] % 3) {
    case 0: {
      std::string text;
      const unsigned short capacity = static_cast<unsigned short>(copy[1] * 4);
      parseImageDM::decodeCodewords(copy.data() + 2, static_cast<int>(copy.size() - 2), text, capacity);
      break;
    }
    case 1: {
      const int nroots = 1 + copy[1] % 80;
      if (ReedSolomonForDataMatrix(copy.data() + 2, static_cast<int>(copy.size() - 2), nroots) >= 0) {
        int n = 0;
        GetCorrectedCodewords(n);
      }
      break;
    }
    default:
      sampleGrid(copy.data() + 1, copy.size() - 1);
  }
  return 0;
}
