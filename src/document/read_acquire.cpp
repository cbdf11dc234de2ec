// The acquisition step of scan-and-read: the trial rotations reset, the zone images freed, the
// height chosen (a forced INI height, or the first part's for a second part), one document
// acquired, then the short-cheque test and the move back after a sequence error.
#include <algorithm>
#include <climits>
#include <cstdlib>

#include "control/control.h"
#include "core/defaults.h"
#include "core/image_utils.h"
#include "core/trace.h"
#include "device/device.h"
#include "document/document.h"

namespace {

constexpr uint16_t kOwnVendor = PVK_USB_VENDOR_ID;

bool chequeModel() {
  if (MyDev.vendorId != kOwnVendor) return false;
  switch (MyDev.productId) {
    case 0x0003: case 0x0004: case 0x0008: case 0x0009: case 0x000E: return true;
    default: return false;
  }
}

bool normalDocument() { return !MyAcq.paperMove && !MyAcq.paperMove2 && !MyAcq.calibrating; }

// [Image] h_150_dpi forces the document height at 150 dpi. A height below one line would leave
// every scan without an image: such a value, or one that is not a number, forces nothing.
void forcedHeight() {
  long h = pvk::core::iniNumberIn("Image", "h_150_dpi", 1, LONG_MAX, 0);
  if (h == 0) return;
  h = std::min(h, 0xFFFFL);
  MyAcq.height150 = static_cast<uint16_t>(h);
  WriteTrace("forcing ", static_cast<int>(h), false);
}

uint16_t documentLines() {
  if (MyAcq.twoPartActive && MyAcq.secondPartPending)
    return static_cast<uint16_t>(EvalNumLine(MyAcq.height150, 150, MyAcq.dpiV));
  if (normalDocument()) forcedHeight();
  return static_cast<uint16_t>(EvalNumLine(MyAcq.height150, 150, MyAcq.dpiV));
}

// A cheque of standard width whose rear is much shorter than its front may have lost its top
// through punched holes: feed the rest of it out and warn.
void shortChequeTest() {
  if (!chequeModel() || !MyITACheck.active || MyAcq.twoPartActive) return;
  const ImgInfo& f = MyDev.img[1];
  const ImgInfo& r = MyDev.img[0];
  if (!pvk::document::chequeTooShort(f.trimWidth, r.trimWidth, f.dpiH, f.rowsUsed, f.dpiV, r.rowsUsed, r.dpiV))
    return;
  WriteTrace("check too short, possible holes", false);
  const int lines = std::max(2125 * f.dpiV / 300 - f.rowsUsed, static_cast<int>(f.dpiV));
  Vx3MoveScannerLines_(true, static_cast<uint16_t>(std::min(lines, 0xFFFF)), f.dpiV, false, 3, 0, false);
  MyDev.lastResult = PVK_WAR_IQA;
}

void moveBackAfterSequenceError() {
  const uint16_t lines = MyAcq.seqMoveBackLines300;
  if (!chequeModel() || lines == 0 || MyAcq.paperMove2) return;
  Vx3MoveScannerLines_(false, lines, 300, false, static_cast<uint16_t>(lines / 500 + 1), 0, false);
}

}  // namespace

bool Vx3Read_AcquireImg() {
  static const uint16_t kTrialRotations[4] = {0, 256, 512, 768};
  std::copy(kTrialRotations, kTrialRotations + 4, MyOcrBL.rotation);
  MyOcrBL.flipH = MyOcrBL.flipV = 0;
  for (uint16_t s = 0; s < kSides; ++s) MyOcrFree(s, false);
  MyDevImgInit(0, true);
  const uint16_t lines = documentLines();
  int32_t r = AcquireImg(lines, MyDev.img, !MyAcq.reverse);
  if (r >= 0) {
    shortChequeTest();
    for (int s = 0; s < 2; ++s) MyDev.img[s].outBrightness = MyDev.img[s].outContrast = 0;
    if (pvk::core::stopRequested()) {
      MyDev.lastResult = PVK_ERR_ABORTED;
      return false;
    }
    return true;
  }
  if (r == PVK_ERR_SEQUENCE) {
    moveBackAfterSequenceError();
    MyDev.lastResult = PVK_ERR_SEQUENCE;
  }
  if (pvk::core::stopRequested()) MyDev.lastResult = PVK_ERR_ABORTED;
  return false;
}
