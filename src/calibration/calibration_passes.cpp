// The two passes of one acquisition setting: the black references with the LEDs off, and the
// white references with the LED search that keeps the white just below saturation.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "calibration/calibration.h"
#include "control/control.h"
#include "core/shims.h"
#include "core/trace.h"

namespace {

using pvk::calibration::sideTopRow;
using pvk::control::roadHooks;

constexpr int kWhiteDark = 50;

int firstSide() { return MyAcq.rearOff ? 1 : 0; }

// The transport carries the sheet back and forth between white passes (the firmware's FwCapG).
bool reversible() { return MyDev.FwCapG != 0; }

int largerDpiV() { return std::max<int>(MyDev.img[0].dpiV, MyDev.img[1].dpiV); }

void outputDpi(int d) {
  MyDev.outDpi[1] = static_cast<int16_t>(d);
  MyDev.outDpi[0] = static_cast<int16_t>(MyAcq.rearOff ? 0 : d);
}

bool enoughRows(const char* frontText, const char* rearText) {
  if (MyDev.img[1].rowsUsed < 4) {
    if (frontText) WriteTrace("err - ", frontText, MyDev.img[1].rowsUsed, false);
    return false;
  }
  if (!MyAcq.rearOff && MyDev.img[0].rowsUsed < 4) {
    if (rearText) WriteTrace("err - ", rearText, MyDev.img[0].rowsUsed, false);
    return false;
  }
  return true;
}

void passSummary(const char* pass) {
  char text[200];
  std::snprintf(text, sizeof text, "calibrating %s, %s, mode %d, dpiV %d, dpiH %d, backL %d, micr %d, IR %d, UV %d", pass,
                MyAcq.rgb ? "rgb" : "gray", MyAcq.mode, MyDev.img[1].dpiV, MyDev.img[1].dpiH, MyAcq.backlight,
                MyMICR.enabled, MyAcq.ir, MyAcq.uv);
  WriteTrace(text, false);
}

// Black references of one side with more than 256 bright pixels in a plane are defective.
bool blackClean(int side) {
  const ImgInfo& img = MyDev.img[side];
  for (int p = 0; p < std::max<int>(img.planesPerLine, 1); ++p) {
    const uint8_t* ref = CorrInfoBackLevel(MyCorS, static_cast<uint8_t>(side), static_cast<uint8_t>(p));
    if (!ref) continue;
    const int limit = (MyCorS[side].blackLev[ColVar2Fix(static_cast<int16_t>(p))] + 50) % 256;
    const int end = std::min<int>(img.trimLeft + img.trimWidth, MyCorS[side].pixelsInUse);
    int bright = 0;
    for (int x = img.trimLeft; x < end; ++x) bright += ref[x] > limit;
    if (bright > 256 && p != MyAcq.colourIrPlanes) {
      WriteCalibrationError("black ", side);
      MyDev.lastResult = PVK_ERR_CALIB;
      return false;
    }
  }
  return true;
}

bool blackPass(int* lines) {
  for (int s = 0; s < 2; ++s)
    for (int k = 0; k < kColourSlots; ++k) MyCorS[s].ledLev[k] = 0;
  MyAcq.cfgFlagsMore[0] = MyAcq.cfgFlagsMore[1] = 1;
  const int d = largerDpiV();
  outputDpi(d);
  const int rows = pvk::calibration::blackPassRows(d);
  if (!CorrInfoCreate()) return false;
  if (roadHooks.acquireImg(static_cast<uint16_t>(rows), MyDev.img, true) < 0) return false;
  if (!enoughRows(nullptr, nullptr)) {
    WriteTrace("err - ", "too few lines for back calibration", false);
    WriteTrace("nLinee", rows, false);
    WriteTrace("MyImg[F].Height", MyDev.img[1].rowsUsed, false);
    if (!MyAcq.rearOff) WriteTrace("MyImg[R].Height", MyDev.img[0].rowsUsed, false);
    return false;
  }
  for (int s = firstSide(); s <= 1; ++s) {
    BackEval(static_cast<uint8_t>(s), sideTopRow(MyDev.img[s]), MyDev.img[s].rowsUsed);
    if (!blackClean(s)) return false;
  }
  *lines = MyDev.img[1].rowsUsed;
  return CorrInfoWrite();
}

}  // namespace

bool CalibrateBlack(int* lines, bool retry) {
  const AcqInfo saved = MyAcq;
  int rows = 0;
  const bool ok = blackPass(&rows);
  CorrInfoFree();
  MyAcq = saved;
  if (ok) {
    if (lines) *lines = rows;
    MyDev.lastResult = 0;
    return true;
  }
  if (retry) return CalibrateBlack(lines, false);
  passSummary("back");
  MyDev.lastResult = PVK_ERR_GENERIC;
  return false;
}

namespace {

struct WhiteSearch {
  bool& d0;
  bool& d1;
  uint16_t (*previous)[kColourSlots];  // the two sides' levels of the colour calibration
  int limit[3] = {4, 4, 0};
  int sat[2][kColourSlots] = {};
  int shortRows = 0, longRows = 0;
  bool longPass = false;
  int failedLevel = -1;
};

void startLevels(WhiteSearch& w) {
  const bool greyFromColour = MyDev.ledIndependent && MyAcq.greyLed == 1 && MyDev.greyFromColour;
  if (!MyDev.ledIndependent) {
    LedLevSet(1, 1000);
  } else if (!greyFromColour) {
    LedLevSet(1, 1000);
    LedLevSet(0, 1000);
  } else {
    for (int s = 0; s < 2; ++s)
      for (int k = 0; k < 3; ++k) MyCorS[s].ledLev[k] = w.previous[s][k];
  }
  for (uint8_t s : {1, 0}) {
    LedLevSet(s, 255, kColourIr);
    LedLevSet(s, 255, kColourUv);
  }
  LedLevSet(2, 1000);
}

void equaliseLimits(int limit[3]) {
  if (!MyDev.bothSidesCalib) limit[0] = limit[1] = limit[2] = std::max({limit[0], limit[1], limit[2]});
  if (MyAcq.rearOff || !MyDev.rearPresent)
    for (int k = 0; k < kColourSlots; ++k) MyCorS[0].ledLev[k] = 0;
  if (!MyAcq.backlight) MyCorS[2].ledLev[0] = 0;
  for (int k = 1; k < kColourSlots; ++k) MyCorS[2].ledLev[k] = 0;
}

// Reduces the levels that saturate; false when one cannot be reduced. settled: nothing moved.
bool reduceLevels(WhiteSearch& w, bool& settled) {
  settled = true;
  for (int s = firstSide(); s <= 1; ++s)
    for (int k = 0; k < kColourSlots; ++k) {
      uint16_t& level = MyCorS[s].ledLev[k];
      if (level == 0 || w.sat[s][k] <= w.limit[s]) continue;
      const int next = pvk::calibration::reducedLedLevel(level, w.sat[s][k], reversible());
      if (next < 0) {
        w.failedLevel = level;
        return false;
      }
      settled = false;
      level = static_cast<uint16_t>(next);
    }
  return true;
}

void traceLedFailure(int level) {
  char text[120];
  if (MyAcq.greyLed == 1)
    std::snprintf(text, sizeof text, "GRAY calibration - mode %d - invalid led level %d", MyAcq.mode, level);
  else if (MyAcq.greyLed == 2 || MyAcq.greyLed == 3)
    std::snprintf(text, sizeof text, "RGB calibration - mode %d - invalid led level %d", MyAcq.mode, level);
  else
    std::snprintf(text, sizeof text, "colMode %d calibration - mode - invalid led level %d %d", MyAcq.colour, MyAcq.mode, level);
  WriteTrace("err - ", text, false);
}

// One round: acquire, evaluate each side and raise the limits of sides that are not white.
bool whiteRound(WhiteSearch& w, bool firstRound) {
  VerificaLed();
  bool& dir = w.longPass ? w.d1 : w.d0;
  const bool forward = dir;
  if (reversible()) dir = !dir;
  if (firstRound) {
    // The black references of this setting, as the black phase wrote them, under the levels
    // being searched.
    uint16_t kept[kSides][kColourSlots];
    for (int s = 0; s < kSides; ++s) std::memcpy(kept[s], MyCorS[s].ledLev, sizeof kept[s]);
    CorrModeReset(MyCorS);
    if (!CorrInfoRead(MyCorS)) return false;
    for (int s = 0; s < kSides; ++s) std::memcpy(MyCorS[s].ledLev, kept[s], sizeof kept[s]);
  }
  if (!MyAcq.cfgFlagsMore[0]) Sleep(10);
  const int rows = w.longPass ? w.longRows : w.shortRows;
  if (roadHooks.acquireImg(static_cast<uint16_t>(rows + 16), MyDev.img, forward) < 0) return false;
  if (!enoughRows("too few lines - front", "too few lines - rear")) return false;
  for (int s = firstSide(); s <= 1; ++s) {
    WhiteEval(static_cast<uint8_t>(s), MyDev.img[s].rowsUsed, w.sat[s]);
    const uint8_t* lev = MyCorS[s].whiteLev;
    const int white = MyAcq.rgb ? std::min({lev[0], lev[1], lev[2]}) : lev[0];
    if (white < 250) w.limit[s] = std::min(w.limit[s] + 4, 10);
  }
  return true;
}

// The checks of the settled white: saturation, the sheet still in, dark reference pixels.
bool whiteChecks(WhiteSearch& w) {
  for (int s = 1; s >= firstSide(); --s)
    for (int k = 0; k < 3; ++k)
      if (w.sat[s][k] > w.limit[s]) {
        WriteTrace("err - ", s == 1 ? "too many saturations - front" : "too many saturations - rear", false);
        return false;
      }
  bool error = false;
  if (!DocInMaster(error, false, false)) {
    MyDev.lastResult = PVK_ERR_CALIB_SHEET_SHORT;
    WriteTrace("err - ", "sheet too short", false);
    return false;
  }
  for (int s = firstSide(); s <= 1; ++s) {
    const ImgInfo& img = MyDev.img[s];
    for (int p = 0; p < std::max<int>(img.planesPerLine, 1); ++p) {
      const uint8_t* ref = CorrInfoWhiteLevel(MyCorS, static_cast<uint8_t>(s), static_cast<uint8_t>(p));
      if (!ref) continue;
      const int end = std::min<int>(img.trimLeft + img.trimWidth, MyCorS[s].pixelsInUse);
      int dark = 0;
      for (int x = img.trimLeft; x < end; ++x) dark += ref[x] < kWhiteDark;
      if (dark > 2 * img.dpiH && p != MyAcq.colourIrPlanes) {
        WriteCalibrationError("white", s);
        WriteTrace("nErr", dark, false);
        MyDev.lastResult = PVK_ERR_CALIB;
        return false;
      }
    }
  }
  return true;
}

bool whitePass(WhiteSearch& w) {
  MyAcq.cfgFlagsMore[0] = MyAcq.cfgFlagsMore[1] = 1;
  startLevels(w);
  MyDev.lastResult = 0;
  const int d = largerDpiV();
  outputDpi(d);
  pvk::calibration::whitePassSizes(d, w.shortRows, w.longRows);
  for (bool firstRound = true;; firstRound = false) {
    if (!whiteRound(w, firstRound)) return false;
    equaliseLimits(w.limit);
    bool settled = true;
    if (!reduceLevels(w, settled)) {
      traceLedFailure(w.failedLevel);
      return false;
    }
    equaliseLimits(w.limit);
    VerificaLed();
    if (!settled) continue;
    if (w.longPass) break;
    if (!MyDev.FwCap3000 && reversible() && !w.d0) {
      w.d0 = true;
      if (roadHooks.acquireImg(static_cast<uint16_t>(w.shortRows + 16), MyDev.img, false) < 0) return false;
    }
    MyAcq.cfgFlagsMore[0] = 0;
    Sleep(10);
    w.longPass = true;
  }
  if (!whiteChecks(w) || !CorrInfoWrite()) return false;
  if (reversible() && !w.d1) {
    w.d1 = true;
    if (roadHooks.acquireImg(static_cast<uint16_t>(w.longRows + 16), MyDev.img, false) < 0) return false;
  }
  return true;
}

}  // namespace

bool CalibrateWhite(bool& d0, bool& d1, uint16_t previous[2][kColourSlots]) {
  const AcqInfo saved = MyAcq;
  WhiteSearch w{d0, d1, previous};
  const bool ok = whitePass(w);
  CorrInfoFree();
  MyAcq = saved;
  if (ok) {
    MyDev.lastResult = 0;
    return true;
  }
  if (MyDev.lastResult == 0) MyDev.lastResult = PVK_ERR_GENERIC;
  passSummary("white");
  return false;
}
