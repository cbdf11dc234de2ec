// The calls that lower floors make upward, installed once when the library is loaded. The
// device layer reaches calibration, the document road and image files through DeviceHooks;
// scanner control and calibration reach the document road through RoadHooks. Every hook of the
// tree is set here and nowhere else; tests may swap one for a fake and put it back.
#include "calibration/calibration.h"
#include "control/control.h"
#include "device/device.h"
#include "document/document.h"
#include "image/image.h"

namespace {

struct FloorHooks {
  FloorHooks() {
    pvk::device::DeviceHooks& device = pvk::device::deviceHooks;
    device.resetCorrection = CorrModeResetAll;
    device.closeScanner = ScannerClose;
    device.readStampImage = ImgBMPRead;
    pvk::control::roadHooks = {AcquireImg, Vx3MoveScannerLines};
  }
};

const FloorHooks installed;

}  // namespace
