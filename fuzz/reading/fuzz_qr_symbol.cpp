// The QR symbol model on arbitrary module grids and the segment decoders on arbitrary bit
// vectors: nothing is read outside the image, the bits or the output buffer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "symbols/symbols.h"

namespace {

bool bitAt(const uint8_t* data, size_t size, size_t i) {
  return size > 0 && (data[(i / 8) % size] >> (i % 8)) & 1;
}

void readGrid(const uint8_t* data, size_t size) {
  // Size, pixels per module and a possibly wrong module size come from the first bytes.
  int n = Symbol::MODULE_SIZE[data[0] % 40];
  int pixels = 1 + data[1] % 3;
  int extra = data[2] % 5;
  cv::Mat img(n * pixels + extra, n * pixels + (data[2] >> 4) % 3, CV_8UC1, cv::Scalar(255));
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c)
      if (bitAt(data + 4, size - 4, static_cast<size_t>(r) * n + c))
        img(cv::Rect(c * pixels, r * pixels, pixels, pixels)).setTo(0);
  IplImage ipl = cvIplImage(img);
  Symbol s;
  s.image = &ipl;
  s.moduleSize = pixels + (data[3] % 8) * 0.1;
  s.init();
  unsigned short capacity = data[3];
  std::vector<char> out(capacity ? capacity : 1);
  unsigned short len = capacity;
  s.getCodeWords(out.data(), &len);
  if (len > capacity) __builtin_trap();
}

void readBits(const uint8_t* data, size_t size) {
  int version = 1 + data[0] % 41;  // 41: outside the table
  Symbol s;
  s.version = version;
  s.codeData = std::make_unique<CodeData>(version, data[1] % 5);
  std::vector<uint16_t> bits;
  for (size_t i = 0; i < (size - 4) * 8; ++i) bits.push_back(bitAt(data + 4, size - 4, i));
  unsigned short capacity = static_cast<unsigned short>(data[2] | (data[3] << 8)) % 4096;
  std::vector<char> out(capacity ? capacity : 1);
  unsigned short len = capacity;
  s.decode(bits, out.data(), &len);
  if (len > capacity) __builtin_trap();
  NumericalDecoder n;
  AlphanumericDecoder a;
  ByteDecoder b;
  KanjiDecoder k;
  for (ECIDecoder* d : {static_cast<ECIDecoder*>(&n), static_cast<ECIDecoder*>(&a),
                        static_cast<ECIDecoder*>(&b), static_cast<ECIDecoder*>(&k)}) {
    len = capacity;
    d->decode(version, bits, out.data(), &len);
    if (len > capacity || d->get_read_length() > static_cast<int>(bits.size())) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5 || size > 8192) return 0;
  std::vector<uint8_t> copy(data, data + size);
  if (copy[0] & 0x80)
    readGrid(copy.data() + 1, copy.size() - 1);
  else
    readBits(copy.data() + 1, copy.size() - 1);
  return 0;
}
