// Paper moves: an acquisition in grey, without correction or checks, whose image is thrown
// away, run between a save and a restore of every option and correction record so that the
// host's set-up and the last document's images survive it. Also the pre-scan feed and the move
// back of a next document found inserted.
#include <algorithm>
#include <new>

#include "calibration/calibration.h"
#include "control/control.h"
#include "core/defaults.h"
#include "core/trace.h"
#include "device/device.h"
#include "document/document.h"

namespace {

constexpr int kParSequenceCheck = 112;
constexpr int kParColour = 0;

struct SavedState {
  _DevInfo dev;
  AcqInfo acq;
  CorInfoSide cor[kSides];
  BrCrInfoSide brcr[kSides];
};

int32_t finish(int32_t result) {
  MyDev.lastResult = result;
  return result;
}

// Geometry of a grey acquisition: the mode preparation may refuse a locked mode in grey, in
// which case colour is tried once.
bool prepareGeometry() {
  if (!MyAcq.modeLocked || InitMyImgFW()) return true;
  Vx3ParamSet(kParColour, 2, true);
  return InitMyImgFW();
}

uint16_t frontDpiV(const SavedState& saved) {
  if (MyDev.img[1].dpiV) return MyDev.img[1].dpiV;
  if (InitMyImgFW() && MyDev.img[1].dpiV) return MyDev.img[1].dpiV;
  if (saved.dev.img[1].dpiV) return saved.dev.img[1].dpiV;
  return 300;
}

}  // namespace

int32_t Vx3MoveScannerLines(bool forward, uint16_t lines, uint16_t dpi, bool noFeedFlag, uint16_t seconds,
                            uint16_t milliseconds, bool lastFlag) {
  // Lines are converted at 300 dpi: a resolution of 0 names no distance at all.
  if (dpi == 0) {
    WriteTrace("err - ", "MoveScanner with invalid dpi", 0, false);
    return finish(PVK_ERR_INV_PARAMETER);
  }
  auto* saved = new (std::nothrow) SavedState{};
  if (!saved) return finish(PVK_ERR_OUT_OF_MEMORY);
  SalvaDevice(&saved->dev, &saved->acq, saved->cor, saved->brcr);

  Vx3ParamSet(kParSequenceCheck, 0, true);
  MyAcq.backlight = MyAcq.ir = MyAcq.uv = 0;
  Vx3ParamSet(kParColour, 1, true);
  const uint32_t lines300 = static_cast<uint32_t>(lines) * 300 / dpi;
  int32_t result = 0;
  if (!prepareGeometry()) {
    result = MyDev.lastResult < 0 ? MyDev.lastResult : PVK_ERR_GENERIC;
  } else {
    Vx3PVKImgCreate(300, 300, 0);
    MyAcq.cfgFlags[kCfgWaitDoc] = MyAcq.cfgFlags[kCfgWaitDoc2] = 0;
    MyAcq.acqTimeoutSec = seconds;
    MyAcq.acqTimeoutMs = milliseconds;
    MyAcq.cfgFlags[1] = lastFlag;
    const bool byTime = MyAcq.paperMove2 != 0;
    // Nothing is kept of a move: no correction, deskew, double-feed check or move back.
    MyAcq.calibOption = 0;
    MyAcq.deskew = 0;
    MyAcq.doubleFeed = MyAcq.doubleFeedDelivery = 0;
    MyAcq.autoMoveBack = 0;
    MyAcq.frontOff = byTime ? 0 : 1;
    MyAcq.rearOff = 1;
    uint32_t toAcquire = 0;
    if (lines300) {
      MyAcq.cfgFlags[kCfgMoveByLines] = !byTime;
      MyAcq.noFeedMove = !noFeedFlag;
      const uint16_t dpiV = frontDpiV(*saved);
      toAcquire = pvk::document::moveLines(lines300, dpiV, MyAcq.lineGranularity);
      MyAcq.height150 = static_cast<uint16_t>(std::min<uint64_t>(
          0xFFFF, (static_cast<uint64_t>(dpiV) + toAcquire) * 150 / dpiV));
    } else {
      MyAcq.cfgFlags[kCfgMoveByLines] = 0;
    }
    MyAcq.paperMove = 1;
    result = AcquireImg(static_cast<uint16_t>(std::min<uint32_t>(toAcquire, 0xFFFF)), MyDev.img, forward);
  }
  FreeMyImg(MyDev.img);
  // Running out of paper before the distance is covered is how a move usually ends.
  if (result == PVK_ERR_TIMEOUT) result = 0;
  RipristinaDevice(&saved->dev, &saved->acq, saved->cor, saved->brcr);
  delete saved;
  MyDev.docMoveFlag = 0;
  return finish(result);
}

int32_t Vx3MoveScannerLines_(bool forward, uint16_t lines, uint16_t dpi, bool noFeedFlag, uint16_t seconds,
                             uint16_t milliseconds, bool lastFlag) {
  if (pvk::core::stopRequested()) return finish(PVK_ERR_ABORTED);
  if (!forward && !MyDev.FwCapBackward && !MyDev.FwCapBackward2 && MyDev.fwVersion != 0x2009) {
    WriteTrace("err - ", "MoveScanner with invalid parameter (backward not allowed for this HW)", false);
    // Refused, so not done: the host must not take the paper for moved.
    return finish(PVK_ERR_HW_NOT_SUPPORTED);
  }
  if (dpi > 99) return Vx3MoveScannerLines(forward, lines, dpi, noFeedFlag, seconds, milliseconds, lastFlag);
  return finish(0);
}

int32_t Vx3MoveScanner(bool lastFlag, bool forward, int milliseconds, uint16_t dpi, uint16_t lines) {
  const int ms = std::max(milliseconds, 0);
  if (lines != 0) {
    const uint16_t seconds = std::max<uint16_t>(MyAcq.acqTimeoutSec, 30);
    return Vx3MoveScannerLines_(forward, lines, dpi, false, seconds, MyAcq.acqTimeoutMs, lastFlag);
  }
  // A move by time runs the height of a default document; the height set for documents is
  // put back afterwards so that the next document is not cut to the move's length.
  const uint16_t height150 = MyAcq.height150;
  MyAcq.height150 = pvk::document::moveByTimeLines150(MyDev.fwVersion, ms, DefaultHeight150());
  MyAcq.paperMove2 = 1;
  const int32_t r = Vx3MoveScannerLines_(forward, 0, dpi, false, static_cast<uint16_t>(std::min(ms / 1000, 0xFFFF)),
                                         static_cast<uint16_t>(ms % 1000), lastFlag);
  MyAcq.paperMove2 = 0;
  MyAcq.height150 = height150;
  return r;
}

int32_t Vx3PreScan(uint16_t seconds, uint16_t milliseconds) {
  if (MyDev.adfPresent && !(FX2ReadStatusL() & 0x4))
    Vx3MoveScannerLines_(true, 4, 300, true, seconds, milliseconds, false);
  return finish(0);
}

void MuoviSeGiaInseritoProssimo() {
  if (!MyAcq.nextDocInserted || !MyDev.FwCapBackward || !MyAcq.autoMoveBack) return;
  if (MyLog.Debug) WriteTrace("moving back", false);
  Vx3MoveScannerLines_(false, 300, 300, false, 1, 0, true);
}
