// The raw stream as it enters: any bytes in any layout and geometry are separated in place
// inside the buffer, with shift and noise repair on; never a read or write outside it.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "acquisition/acquisition.h"

using namespace pvk::acquisition;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8 || size > (1 << 18)) return 0;
  StreamGeometry g{};
  g.layout = static_cast<StreamLayout>(data[0] % 4);
  g.sensorPixels = 1 + data[1] % 96;
  g.planes = 1 + data[2] % 5;
  g.micrPerSlot = data[3] % 8;
  g.micrInBacklight = g.micrPerSlot != 0;
  g.trimWidth = data[4] % 128;
  SeparationState st;
  st.aligner = data[5] & 1;
  st.swGlitch = data[5] & 2;
  st.swNoise = data[5] & 4;
  st.dpiH = 1 + data[6];
  // In place as during an acquisition: one row of margin, then the stream.
  const size_t rawBytes = size - 8;
  std::vector<uint8_t> buffer(g.outRowBytes() + rawBytes);
  std::memcpy(buffer.data() + g.outRowBytes(), data + 8, rawBytes);
  uint8_t* samples = nullptr;
  uint64_t count = 0, cap = 0;
  MicrSink sink{&samples, &count, &cap};
  uint64_t lines = rawBytes / g.rawLineBytes() + data[7] % 3;  // sometimes more than there are
  separateStream(g, st, buffer.data() + g.outRowBytes(), rawBytes, buffer.data(), buffer.size(),
                 lines, &sink);
  std::free(samples);
  return 0;
}
