// The fuzz input read as a stream of numbers: past its end every byte reads 0, so a short
// input is still a whole case.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pvk::fuzz {

struct Bytes {
  const uint8_t* p;
  size_t n;
  uint8_t next() { return n ? (--n, *p++) : 0; }
  // Two bytes, low first: 0..65535. The low byte is taken in a statement of its own: the two
  // operands of | may be evaluated in either order.
  int next16() {
    const int low = next();
    return low | next() << 8;
  }
  // The same two bytes as a signed 16-bit number.
  int nextSigned16() { return static_cast<int16_t>(next16()); }
  int64_t next64() {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(next()) << (8 * i);
    return static_cast<int64_t>(v);
  }
};

}  // namespace pvk::fuzz
