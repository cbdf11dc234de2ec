// The calibration file as it enters: any bytes under the current setting's name are read,
// validated and conditioned, or refused with neutral data; never a fault.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../tests/common/scratch_dir.h"
#include "acquisition/acquisition.h"
#include "calibration/calibration.h"

namespace {

std::string dir;

void setUp() {
  static bool done = false;
  if (done) return;
  done = true;
  dir = pvk::testing::processScratchDir("pvk_fuzz_calib_");
  if (dir.empty()) std::abort();
  pvk::acquisition::imgInitForMode = [](uint8_t) {};
  pvk::acquisition::controlRequest = [](int, int, char*, int, bool) { return -1; };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setUp();
  if (size < 8 || size > (1 << 16)) return 0;
  std::memset(&MyDev, 0, sizeof MyDev);
  std::memset(&MyAcq, 0, sizeof MyAcq);
  // The first bytes choose the geometry, the rest is the file.
  MyDev.state = 1;
  MyDev.productId = 9;
  MyDev.fwVersion = 0x3103;
  MyDev.rearPresent = data[0] & 1;
  MyDev.ledCalib = data[0] & 2;
  MyDev.irHw = data[0] & 4;
  MyDev.bothSidesCalib = data[0] & 8;
  MyAcq.rearOff = data[0] & 16;
  MyAcq.backlight = data[0] & 32;
  MyAcq.planesPerLine = static_cast<uint8_t>(1 + data[1] % 5);
  MyAcq.colourLines = data[1] & 8 ? 3 : 1;
  MyAcq.greyLed = 1;
  MyDev.cleaningCalibCheck = 1;
  MyDev.backlightSide = data[2] & 1;
  for (int s = 0; s < kSides; ++s) {
    ImgInfo& i = MyDev.img[s];
    i.sensorPixels = static_cast<uint16_t>(16 + data[3] % 200);
    i.dpiH = static_cast<uint16_t>(data[4] % 120);
    i.fullLeft = static_cast<uint16_t>(data[5] % 64);
    i.fullWidth = static_cast<uint16_t>(data[6] * 2);
    i.fullRight = static_cast<uint16_t>(i.fullLeft + i.fullWidth);
  }
  std::snprintf(MyDev.cnfDir, sizeof MyDev.cnfDir, "%s", dir.c_str());
  char path[kCalibPathSize];
  if (!GetCalibFile(path, true)) return 0;
  FILE* f = std::fopen(path, "wb");
  if (!f) return 0;
  std::fwrite(data + 8, 1, size - 8, f);
  std::fclose(f);
  CorrInfoRead(MyCorS);
  CorrInfoFree(MyCorS);
  return 0;
}
