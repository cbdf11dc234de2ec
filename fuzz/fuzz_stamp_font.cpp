// A stamp font file as it enters: any bytes are read whole or refused, and a stamp text drawn
// with what was read stays inside its bitmap.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../tests/common/scratch_dir.h"
#include "core/records.h"
#include "device/inkjet.h"

namespace {

char path[4096];

void setUp() {
  static bool done = false;
  if (done) return;
  done = true;
  const std::string dir = pvk::testing::processScratchDir("pvk_fuzz_font_");
  if (dir.empty()) std::abort();
  std::snprintf(path, sizeof path, "%s/f.fnt", dir.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setUp();
  if (size < 2 || size > (1 << 16)) return 0;
  // The first byte chooses the stamp text and the row order, the rest is the file.
  static const char* const texts[] = {"0123", "A -9\r\n", "zz\rZ", ""};
  std::snprintf(MyInkjet.stampText, sizeof MyInkjet.stampText, "%s", texts[data[0] & 3]);
  FILE* f = std::fopen(path, "wb");
  if (!f) std::abort();
  std::fwrite(data + 1, 1, size - 1, f);
  std::fclose(f);
  pvk::device::StampFont font;
  if (pvk::device::readStampFont(path, 12, font) == 0) pvk::device::freeStampFont(font);
  pvk::device::createStamp(path, 12, data[0] & 4);
  std::free(MyInkjet.stamp.data);
  MyInkjet.stamp = PVKImg{};
  return 0;
}
