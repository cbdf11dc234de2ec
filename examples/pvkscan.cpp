// pvkscan: one cheque through the library on the software scanner. It opens the scanner,
// calibrates it with its calibration sheet, feeds a synthetic two-sided cheque, acquires it,
// and saves the front as JPEG and TIFF G4, the rear as JPEG and both sides as one multipage
// TIFF into the library's configuration directory, then tells what it wrote.
//
// Hosts start a scan with the scan-and-read call of the reading layer; this demo drives the
// document road directly. Its body is therefore a shared object that holds the library's
// internals and the software scanner's controls, named libPlavikMS.so.scan: like any copy of
// the library it reads the INI file beside it (libPlavikMS.ini), and the small pvkscan program
// only calls pvkscan_run.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "PlavikMS.h"
#include "control/control.h"
#include "document/document.h"
#include "pvkemu.h"
#include "pvkemu_calib.h"
#include "pvkemu_image.h"

namespace {

constexpr int kSensor = 2592;  // pixels per line of the basic scanner (300 dpi)
constexpr int kLines = 1100;

// A cheque of 1800 x 800 pixels on the dark transport: a payee line, an amount box, a
// signature block and a codeline band on the front; a printed endorsement area on the rear.
std::vector<uint8_t> drawCheque(bool front)
{
  std::vector<uint8_t> px(static_cast<size_t>(kSensor) * kLines, 25);
  const int left = 396, top = 120, width = 1800, height = 800;
  for (int y = top; y < top + height; ++y)
    for (int x = left; x < left + width; ++x) {
      int u = x - left, v = y - top;
      bool ink;
      if (front)
        ink = (v > 150 && v < 160 && u > 100 && u < 1300) ||                        // payee line
              ((v == 120 || v == 200) && u > 1350 && u < 1700) ||                    // amount box
              ((u == 1350 || u == 1700) && v > 120 && v < 200) ||
              (v > 480 && v < 560 && u > 1150 && u < 1650 && ((u / 7 + v / 5) % 4 == 0)) ||  // signature
              (v > 700 && v < 740 && u > 200 && u < 1600 && (u / 12) % 3 != 0);      // codeline
      else
        ink = v > 300 && v < 420 && u > 600 && u < 1200 && (v / 10) % 3 == 0;         // endorsement
      px[static_cast<size_t>(y) * kSensor + x] = ink ? 40 : 220;
    }
  return px;
}

// A sensor whose pixels vary in their white response, as real ones do, so that calibration
// has something to take out.
void unevenSensor(int dev)
{
  pvkemu_sensor model{};
  model.seed = 7;
  model.white_min = 170;
  model.white_max = 235;
  model.white_level = 220;
  model.black_level = 12;
  model.led_level = 30;
  pvkemu_sensor_model(dev, &model);
}

// The calibration sheet in the transport, as wide as the sensor line of each mode.
void calibrationSheet(int dev)
{
  pvkemu_calib_sheet sheet{};
  sheet.length300 = 5000;
  const AcqInfo options = MyAcq;
  MyAcq.modeLocked = 1;
  for (short colour : {1, 2})
    for (int mode = 0; mode < 8; ++mode)
      if (Vx3ParamSet(0, colour, true) == 0 && MyDevImgInitWithMode(0, static_cast<unsigned char>(mode), true))
        sheet.width[mode] = MyDev.img[1].sensorPixels;
  MyAcq = options;
  MyDevImgInit(0, true);
  pvkemu_calibration_sheet(dev, &sheet);
}

void report(const char* what, int code, const std::string& path)
{
  short xdpi = 0, ydpi = 0, h = 0, w = 0;
  GetImageInfo(path.c_str(), &xdpi, &ydpi, &h, &w);
  FILE* f = std::fopen(path.c_str(), "rb");
  long bytes = 0;
  if (f) {
    std::fseek(f, 0, SEEK_END);
    bytes = std::ftell(f);
    std::fclose(f);
  }
  std::printf("  %-26s result %3d  %5d x %-5d %3d dpi  %7ld bytes  %s\n", what, code, w, h, xdpi,
              bytes, path.c_str());
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int pvkscan_run()
{
  pvkemu_clock_virtual(1);  // waits of the document road cost nothing
  pvkemu_reset();
  pvkemu_profile profile;
  pvkemu_profile_basic(&profile);
  int dev = pvkemu_add_device(&profile);
  unevenSensor(dev);

  // An empty directory keeps the configuration directory of the INI file.
  unsigned char keep[1] = {0};
  int handle = PVKInitialize(keep);
  std::printf("\nscanning one cheque on the software scanner (grey, 300 dpi sensor)\n");
  if (handle <= 0) {
    std::printf("  the scanner did not open: result %d\n", handle);
    return EXIT_FAILURE;
  }
  void* h = reinterpret_cast<void*>(static_cast<intptr_t>(handle));
  char cnfDir[260] = "";
  PVKConfigDirGet(h, cnfDir);
  const std::string dir = cnfDir;

  calibrationSheet(dev);
  int code = PVKCalibrate(h);
  pvkemu_calibration_sheet(dev, nullptr);
  std::printf("  calibration with the calibration sheet: result %d\n", code);
  if (code != 0 && code != PVK_WAR_CLEANING_REQUIRED) {
    PVKClose(h);
    return EXIT_FAILURE;
  }
  code = PVKImgCreate(h, 200, 200);
  std::printf("  output resolution 200 dpi both sides: result %d\n", code);

  std::vector<uint8_t> front = drawCheque(true), rear = drawCheque(false);
  pvkemu_document doc{};
  doc.width = kSensor;
  doc.height = kLines;
  doc.front[0] = front.data();
  doc.rear[0] = rear.data();
  pvkemu_feed(dev, &doc);
  MyAcq.cfgFlags[kCfgWaitDoc] = 0;  // the cheque is already in the transport
  code = AcquireImg(0, MyDev.img, true);
  std::printf("  acquisition: result %d, front %d x %d and rear %d x %d pixels at %d dpi\n", code,
              MyDev.img[1].trimWidth, MyDev.img[1].rowsUsed, MyDev.img[0].trimWidth,
              MyDev.img[0].rowsUsed, MyDev.img[1].dpiH);
  if (code != 0) {
    PVKClose(h);
    return EXIT_FAILURE;
  }

  std::printf("\nfiles written:\n");
  std::string frontJpg = dir + "/front.jpg", frontTif = dir + "/front_g4.tif";
  std::string rearJpg = dir + "/rear.jpg", both = dir + "/cheque.tif";
  report("front, JPEG quality 80", PVKImgSave(h, 1, nullptr, 80, 0, &frontJpg[0]), frontJpg);
  report("front, TIFF CCITT G4", PVKImgSave(h, 1, nullptr, 0, 2, &frontTif[0]), frontTif);
  report("rear, JPEG quality 80", PVKImgSave(h, 0, nullptr, 80, 0, &rearJpg[0]), rearJpg);
  code = Vx3MultiPageInit(both.c_str(), 6, 75);
  if (code == 0) {
    Vx3MultiPageAdd(frontJpg.c_str());
    Vx3MultiPageAdd(rearJpg.c_str());
    code = Vx3MultiPageClose();
  }
  report("both sides, multipage TIFF", code, both);
  int blank = PVKIsPageBlank(h, 1, 10, 128);
  std::printf("\nblank-page test of the front: %d (%s)\n", blank, blank == PVK_WAR_BLANK_PAGE ? "blank" : "written");
  PVKImgFree(h);
  PVKClose(h);
  std::printf("open the files in %s with any image viewer\n", dir.c_str());
  return EXIT_SUCCESS;
}
