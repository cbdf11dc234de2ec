// A whole calibration run: every setting the device supports visited with the sheet in the
// transport (black phase, white phase) and the sheet ejected; the run's files are kept aside
// until the caller knows it succeeded. The caller's options survive the run.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "calibration/calibration.h"
#include "control/control.h"
#include "core/image_utils.h"
#include "core/ini.h"
#include "core/shims.h"
#include "core/trace.h"
#include "device/device.h"

namespace {

using pvk::calibration::FeatureState;
using pvk::calibration::featureStates;
using pvk::control::roadHooks;

constexpr const char* kBlackValid = "CalibrationBackIsValid";
constexpr const char* kWhiteValid = "CalibrationIsValid";

struct Run {
  char scratch[300] = "";
  bool d0 = true, d1 = true;
  uint16_t previous[2][kColourSlots] = {};
  bool blackError = false, whiteError = false;
  int refLines = 0;
  int moved = 0;
  uint16_t lineTiming = 0;
};

void markValid(const Run& run, const char* section) {
  char key[16];
  std::snprintf(key, sizeof key, "%x", CorrMode());
  WritePrivateProfileString(section, key, "1", run.scratch);
}

bool isValid(const Run& run, const char* section) {
  char key[16], value[8];
  std::snprintf(key, sizeof key, "%x", CorrMode());
  GetPrivateProfileString(section, key, "0", value, sizeof value, run.scratch);
  return value[0] == '1' && value[1] == 0;
}

void applyState(const FeatureState& st) {
  MyMICR.enabled = st.micr ? 1 : 0;
  MyAcq.backlight = st.backlight ? 1 : 0;
}

short colourCode(int base, const FeatureState& st) {
  return static_cast<short>(base + (st.ir ? 8 : 0) + (st.uv ? 16 : 0));
}

// Sets a colour code quietly; a refusal leaves the last result as it was.
bool takeColour(short code) {
  const int keep = MyDev.lastResult;
  if (Vx3ParamSet(0, code, true) == 0) return true;
  MyDev.lastResult = keep;
  return false;
}

bool takeMode(int mode) {
  const int keep = MyDev.lastResult;
  if (MyDevImgInitWithMode(0, static_cast<unsigned char>(mode), true)) return true;
  MyDev.lastResult = keep;
  return false;
}

void betweenSettings() {
  if (MyDev.fwVersion <= 0x2FFF) Vx3BaseContrlMsg(209, 2, nullptr, 0, true);
  if (!MyAcq.cfgFlagsMore[0]) Sleep(10);
}

void bestMode() {
  MyAcq.mode = ResModeBest();
  MyDevImgInit(0, true);
}

void blackSetting(Run& run, int frontDpiV) {
  int rows = 0;
  if (CalibrateBlack(&rows, true)) {
    markValid(run, kBlackValid);
    run.moved += rows * frontDpiV / std::max<int>(MyDev.img[1].dpiV, 1);
  } else {
    run.blackError = true;
  }
  betweenSettings();
}

void blackPhase(Run& run, int v) {
  for (const FeatureState& st : featureStates(MyMICR.headPresent != 0, MyDev.irHw != 0, MyDev.uvHw != 0, MyDev.backlightHw != 0)) {
    applyState(st);
    for (int base : {1, 2})
      for (int mode = 0; mode < 8; ++mode) {
        if (!takeColour(colourCode(base, st)) || !takeMode(mode)) continue;
        MyAcq.mode = static_cast<uint8_t>(mode);
        SetFrontOff(false);
        SetRearOff(false);
        blackSetting(run, v);
        if (HasFrontOnlyCalibration() && SetRearOff(true) && MyAcq.rearOff) {
          blackSetting(run, v);
          SetRearOff(false);
        }
      }
  }
}

// Grey starting levels taken from the colour calibration on devices with independent LEDs.
void greyStartLevels(Run& run) {
  for (int s : {1, 0}) {
    if (s == 0 && !MyDev.rearPresent) continue;
    uint16_t* l = MyCorS[s].ledLev;
    const int m = std::max({l[0], l[1], l[2]});
    uint16_t old[3] = {l[0], l[1], l[2]};
    LedLevSet(static_cast<uint8_t>(s), 1000);
    for (int k = 0; k < kColourSlots; ++k)
      run.previous[s][k] = m < 6 || k > 2 ? l[k] : static_cast<uint16_t>(l[k] * old[k] / m);
  }
}

// -23 when the sheet left too early, else 0.
int whiteSetting(Run& run) {
  if (CalibrateWhite(run.d0, run.d1, run.previous)) {
    markValid(run, kWhiteValid);
  } else {
    if (MyDev.lastResult == PVK_ERR_CALIB_SHEET_SHORT) return PVK_ERR_CALIB_SHEET_SHORT;
    run.whiteError = true;
  }
  betweenSettings();
  return 0;
}

int whitePhase(Run& run) {
  MyAcq.backlight = MyAcq.ir = MyAcq.uv = 0;
  MyMICR.enabled = 0;
  MyDev.outDpi[2] = 0;
  run.whiteError = false;
  const bool micr = MyDev.micrDependentCalib && MyMICR.headPresent;
  for (const FeatureState& st : featureStates(micr, MyDev.irHw != 0, MyDev.uvHw != 0, MyDev.backlightHw != 0)) {
    applyState(st);
    if (st.backlight) MyDev.outDpi[2] = MyDev.outDpi[1];
    for (int base : {2, 1}) {
      if (!takeColour(colourCode(base, st))) continue;
      if (base == 1 && MyDev.ledIndependent && MyDev.greyFromColour) {
        greyStartLevels(run);
      } else {
        LedLevSet(1, 1000);
        LedLevSet(0, 1000);
      }
      for (int mode = 0; mode < 8; ++mode) {
        if (!takeColour(colourCode(base, st)) || !takeMode(mode)) continue;
        SetRearOff(false);
        if (whiteSetting(run) < 0) return PVK_ERR_CALIB_SHEET_SHORT;
        if (!HasFrontOnlyCalibration() || !SetRearOff(true) || !MyAcq.rearOff) continue;
        if (!isValid(run, kBlackValid)) {
          run.whiteError = true;
        } else if (whiteSetting(run) < 0) {
          return PVK_ERR_CALIB_SHEET_SHORT;
        }
        SetRearOff(false);
      }
    }
  }
  return 0;
}

// Carries the sheet out: 0 when it left and every setting calibrated, -22, or a move's failure.
int endSheet(const Run& run, bool& moveFailed) {
  moveFailed = false;
  for (int tries = 0; tries < 3; ++tries) {
    const int r = roadHooks.moveScannerLines(true, 1800, 300, false, 15, 0, true);
    if (r < 0) {
      moveFailed = true;
      return r;
    }
    Sleep(10);
    bool error = false;
    const bool present = DocInMaster(error, false, true);
    if (error) {
      WriteTrace("err - ", "device error while calibrating", false);
      return PVK_ERR_CALIB;
    }
    if (present) continue;
    MyAcq.backlight = 0;
    roadHooks.moveScannerLines(true, 900, 300, false, 5, 0, false);
    Sleep(10);
    if (run.blackError) {
      WriteTrace("err - ", "error calibrating back level", false);
      return PVK_ERR_CALIB;
    }
    if (run.whiteError) {
      WriteTrace("err - ", "error calibrating white", false);
      return PVK_ERR_CALIB;
    }
    return 0;
  }
  WriteTrace("err - ", "photocell not detecting end of calibration sheet. Is photocell working?", false);
  return PVK_ERR_CALIB;
}

// The sheet is carried out by a whole-document acquisition after a run that stopped early.
int abortRun(int e) {
  MyAcq.cfgFlags[2] = 0;
  Vx3ParamSet(0, 1, false);
  bestMode();
  LedLevSet(1, 10);
  LedLevSet(0, 10);
  return roadHooks.acquireImg(0, MyDev.img, true) == PVK_WAR_CANCELLED ? PVK_WAR_CANCELLED : e;
}

// The end of a run that failed. Its files are dropped whole by the caller, so the settings that
// failed keep the calibration they had, like the others.
int endFailedRun(const Run& run, int result) {
  MyDev.lastResult = result;
  DeleteFile(run.scratch);
  MyAcq.msValLines = run.lineTiming;
  return result;
}

}  // namespace

int CalibrateWithLed() {
  Run run;
  pvk::calibration::calibScratchPath(run.scratch, sizeof run.scratch);
  DeleteFile(run.scratch);
  MyAcq.calibrating = 1;
  MyAcq.cfgFlags[2] = 1;
  MyMICR.enabled = 0;
  Vx3ParamSet(0, 1, false);
  MyAcq.backlight = MyAcq.ir = MyAcq.uv = 0;
  MyDev.outDpi[0] = MyDev.outDpi[1] = 100;
  MyDev.outDpi[2] = 0;
  bestMode();
  LedLevSet(1, 10);
  LedLevSet(0, 10);
  run.lineTiming = MyAcq.msValLines;
  MyAcq.msValLines = 1000;

  const int v = std::max<int>(MyDev.img[1].dpiV, 1);
  run.refLines = EvalNumLine(MyDev.calibLongSheet ? 3 : 1, 1, v);
  const int firstLines = MyDev.FwCap3000 ? run.refLines : EvalNumLine(1, 1, v);
  int r = roadHooks.acquireImg(static_cast<uint16_t>(firstLines), MyDev.img, true);
  if (r < 0) return endFailedRun(run, abortRun(r));
  MyAcq.cfgFlags[2] = 0;
  MyAcq.twoPartActive = MyAcq.secondPartPending = 0;
  MyAcq.calibOption = MyAcq.calibOptions[0] = MyAcq.calibOptions[1] = 0;
  MyAcq.msValLines = run.lineTiming;
  MyAcq.backlight = MyAcq.ir = MyAcq.uv = 0;
  run.moved = firstLines;

  blackPhase(run, v);
  if (!MyDev.FwCap3000 && run.refLines > run.moved) {
    Vx3ParamSet(0, 1, false);
    MyDev.outDpi[0] = MyDev.outDpi[1] = 100;
    MyDev.outDpi[2] = 0;
    bestMode();
    r = roadHooks.acquireImg(static_cast<uint16_t>((run.refLines - run.moved + 31) / 32 * 32), MyDev.img, true);
    if (r < 0) return endFailedRun(run, abortRun(r));
  }
  r = whitePhase(run);
  if (r < 0) return endFailedRun(run, abortRun(r));
  bool moveFailed = false;
  r = endSheet(run, moveFailed);
  if (moveFailed) return endFailedRun(run, abortRun(r));
  if (r < 0) return endFailedRun(run, r);
  DeleteFile(run.scratch);
  MyAcq.msValLines = run.lineTiming;
  MyDev.lastResult = 0;
  return 0;
}

namespace {

int invalidHeight(const char* text) {
  WriteTrace("err - ", text, false);
  return MyDev.lastResult = PVK_ERR_CALIB;
}

// Bright black-reference bytes over all planes of a band; a band passes below 257.
bool blackBandClean(int side) {
  const ImgInfo& img = MyDev.img[side];
  if (MyAcq.planesPerLine == 0 || MyAcq.planesPerLine == MyAcq.colourIrPlanes) return true;
  int bright = 0;
  for (int p = 0; p < MyAcq.planesPerLine; ++p) {
    const uint8_t* ref = CorrInfoBackLevel(MyCorS, static_cast<uint8_t>(side), static_cast<uint8_t>(p));
    if (!ref) continue;
    const int end = std::min<int>(img.trimLeft + img.trimWidth, MyCorS[side].pixelsInUse);
    for (int x = img.trimLeft; x < end; ++x) bright += ref[x] >= 101;
  }
  return bright < 257;
}

int fixedSide(int side) {
  const ImgInfo& img = MyDev.img[side];
  const int rows = img.rowsUsed;
  if (rows < 32)
    return invalidHeight(side == 0 ? "calibrating back side - invalid height" : "calibrating front side - invalid height");
  uint8_t* top = pvk::calibration::sideTopRow(img);
  uint8_t* bands[2] = {top + static_cast<size_t>(32) * img.rawLineBytes,
                       top + static_cast<size_t>(rows - 32) * img.rawLineBytes};
  if (side == 1) std::swap(bands[0], bands[1]);
  bool clean = false;
  for (uint8_t* band : bands) {
    BackEval(static_cast<uint8_t>(side), band, 32);
    if ((clean = blackBandClean(side))) break;
  }
  if (!clean) return invalidHeight("too many errors on back calibration");
  const int w = rows - 350;
  if (w < 128) return invalidHeight("calibrating white - invalid height");
  int sat[kColourSlots] = {};
  WhiteEval(static_cast<uint8_t>(side), w, sat);
  if (sat[0] >= 11 || sat[1] >= 11 || sat[2] >= 11) WriteTrace("war - ", "saturation in calibration", false);
  for (int p = 0; p < std::max<int>(img.planesPerLine, 1); ++p) {
    const uint8_t* ref = CorrInfoWhiteLevel(MyCorS, static_cast<uint8_t>(side), static_cast<uint8_t>(p));
    if (!ref) continue;
    const int end = std::min<int>(img.trimLeft + img.trimWidth, MyCorS[side].pixelsInUse);
    int dark = 0;
    for (int x = img.trimLeft; x < end; ++x) dark += ref[x] <= 99;
    if (dark > 2 * img.dpiH && p != MyAcq.colourIrPlanes) return invalidHeight("bad calibration - too many white error");
  }
  return 0;
}

}  // namespace

int CalibrateWithoutLed() {
  MyDev.outDpi[0] = MyDev.outDpi[1] = 100;
  MyDev.outDpi[2] = 0;
  MyAcq.cfgFlags[2] = 1;
  SetRearOff(false);
  bestMode();
  if (!CorrInfoCreate()) return MyDev.lastResult;
  const int r = roadHooks.acquireImg(0, MyDev.img, true);
  if (r < 0) return r;
  for (int side = 0; side <= 1; ++side) {
    const int s = fixedSide(side);
    if (s < 0) return s;
  }
  if (CorrInfoWrite() && SetRearOff(true) && MyAcq.rearOff) CorrInfoWrite();
  return MyDev.lastResult;
}
