// Scanner open and close: a connected device becomes one ready to acquire (capabilities,
// options from their defaults, neutral correction, scanner and stripe reader enabled), and
// closing stops any acquisition and frees every image buffer. Also the whole opening for the
// host: start-up, the device opened, the scanner made ready and the default colour checked.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "acquisition/acquisition.h"
#include "calibration/calibration.h"
#include "control/control.h"
#include "core/cnf_dir.h"
#include "core/defaults.h"
#include "core/frame.h"
#include "core/records.h"
#include "core/trace.h"
#include "device/device.h"
#include "device/inkjet.h"
#include "device/mag_stripe.h"
#include "document/document.h"
#include "geometry/geometry.h"

namespace {

using pvk::document::FirmwareCaps;

constexpr uint16_t kOwnVendor = PVK_USB_VENDOR_ID;

void traceValue(const char* text, long long value) {
  char line[96];
  std::snprintf(line, sizeof line, "%s %lld", text, value);
  WriteTrace(line, false);
}

// The directory the host gives to an open, when it is usable, is the configuration directory
// from here on, and the trace moves there before the open writes a line: start-up may have
// settled on a default that the host's user cannot write. One that cannot be used (missing,
// or a name the record cannot hold) keeps the directory in force. True when it was adopted.
bool adoptHostDir(const char* dir) {
  if (dir == nullptr || dir[0] == '\0' || std::strcmp(dir, MyDev.cnfDir) == 0) return false;
  if (strnlen(dir, sizeof MyDev.cnfDir) >= sizeof MyDev.cnfDir || !DirExist(dir)) return false;
  std::memcpy(MyDev.cnfDir, dir, std::strlen(dir) + 1);
  AggiornaLog(false);
  return true;
}

}  // namespace

void pvk::document::storeFirmwareCaps(const FirmwareCaps& c) {
  MyDev.FwCapA = c.a;
  MyDev.FwCapB = c.b;
  MyDev.FwCapC = c.c;
  MyDev.FwCapD = c.d;
  MyDev.FwCapE = c.e;
  MyDev.FwCapF = c.f;
  MyDev.FwCapG = c.g;
  MyDev.FwCapBackward = c.backward;
  MyDev.FwCapH = c.h;
  MyDev.FwCapBackward2 = c.backward2;
  MyDev.FwCapI = c.i;
  MyDev.FwCapJ = c.j;
  MyDev.FwCap3000 = c.fw3000;
  // What calibration asks of the device, said by the firmware: each side gets its own LED
  // levels and no front-only settings (E), the red, green and blue LEDs are set apart (F),
  // grey starts from the colour calibration where colour is allowed (I), and a device that
  // moves paper backward takes a three-inch sheet (Backward). The reversible transport of the
  // white passes is G, read there. Nothing the device reports makes calibration depend on
  // the magnetic head.
  MyDev.bothSidesCalib = c.e;
  MyDev.ledIndependent = c.f;
  MyDev.greyFromColour = c.i;
  MyDev.calibLongSheet = c.backward;
  MyDev.micrDependentCalib = 0;
}

namespace {

// What the device is and how it is set up, for service: counters, slow firmware, disabled
// modes, MICR, double-feed and sequence checks.
void traceOpenedState() {
  if (AcqDefault.countPages) {
    const bool onDevice = MyDev.fwVersion >= 0x3100;
    traceValue(onDevice ? "pages acquired with this SN:" : "pages acquired with this SN on this PC:",
               static_cast<long long>(MyDev.pagesTotal));
    if (MyDev.inkjetPresent)
      traceValue(onDevice ? "pages with inkjet:" : "pages with inkjet on this PC:",
                 static_cast<long long>(MyDev.stampsTotal));
  }
  if (MyDev.inkjetPresent && MyInkjet.minFireCount != 1) traceValue("nFireMin:", MyInkjet.minFireCount);
  if (MyDev.slowAcq) WriteTrace("special FW - slow acquisition", false);
  if (MyAcq.disabledModes) {
    traceValue("disAcqMode:", MyAcq.disabledModes);
    for (int m = 0; m < 8; ++m) {
      if (!(MyAcq.disabledModes & (1u << m))) continue;
      char line[32];
      std::snprintf(line, sizeof line, "mode %d disabled", m);
      WriteTrace(line, false);
    }
  }
  if (MyOcr.cdlMicr) WriteTrace("MICR tracing", false);
  if (MyMICR.headPresent && MyMICR.disablesAdf) WriteTrace("MICR disabling ADF", false);
  if (MyAcq.doubleFeed) {
    char line[64];
    const bool variantB = MyAcq.doubleFeedBlackVe >= MyDev.fwVersion;
    std::snprintf(line, sizeof line, variantB ? "with DoubleFeedCheck %d B" : "with DoubleFeedCheck %d no B",
                  MyAcq.doubleFeedCntMax);
    WriteTrace(line, false);
    WriteTrace(MyAcq.doubleFeedDelivery ? "with DoubleFeedCheckDelivering" : "without DoubleFeedCheckDelivering",
               false);
  } else {
    WriteTrace("without DoubleFeedCheck", false);
  }
  WriteTrace(MyAcq.sequenceCheck ? "with SequenceCheck" : "without withSeqCheck", false);
}

// The options start from their defaults at every open; the colour falls back as the
// capabilities allow.
void optionsFromDefaults() {
  if (!MyDev.doubleFeedHw) {
    AcqDefault.doubleFeed = 0;
    AcqDefault.doubleFeedDelivery = 0;
  }
  AcqDefault.height150 = DefaultHeight150();
  MyAcq.height150 = AcqDefault.height150;
  if (!MyDev.rearPresent) AcqDefault.rearOff = 1;
  MyAcq = AcqDefault;
  SetColor(AcqDefault.colour, false);
  MyDev.outDpi[1] = 300;
  MyDev.outDpi[0] = 300;
  MyDev.outDpi[2] = 0;
  SetRearOff(false);
  MyAcq.usbBlock = MyDev.highSpeed ? 512 : 64;
}

void neutralCorrection() {
  InitCorrInfo();
  for (uint8_t side : {uint8_t{1}, uint8_t{0}, uint8_t{2}}) {
    LedLevSet(side, 0);
    Brightness(side, int16_t{0});
    Contrast(side, int16_t{0});
    BrightnessContrastEval(side);
  }
  CorrModeReset(MyCorS);
}

void enableScannerAndStripe() {
  Vx3ScanEnable(1);
  Vx3MagStripeEnable(0);
  Vx3ScanEnable(1);
  Vx3MagStripeEnable(1);
  if (MyDev.fwVersion < 0x2010) {
    Vx3BaseContrlMsg(209, 1, nullptr, 0, true);
    Vx3BaseContrlMsg(209, 2, nullptr, 0, true);
  }
}

void ocrOptionsFromDefaults() {
  MyOcr = OcrDefault;
  MyOcr.typeDoc = 1;
  std::snprintf(MyOcr.dbDir, sizeof MyOcr.dbDir, "%.258s/", MyDev.cnfDir);
}

void defaultColour() {
  if (SetColor(MyAcq.colour, false)) return;
  pvk::device::traceError("invalid default color", MyAcq.colour);
  MyAcq.colour = AcqDefault.colour = 1;
  MyAcq.baseColour = AcqDefault.baseColour = 1;
  if (!SetColor(1, false))
    pvk::device::traceError("changing color to GRAY", MyDev.lastResult);
  else
    WriteTrace("default color changed to gray", false);
}

}  // namespace

int Vx3ScanEnable(short on) {
  int r;
  if (MyDev.fwVersion >= 0x3000)
    r = Vx3BaseContrlMsg(208, on >= 1 ? 9 : 10, nullptr, 0, true);
  else
    r = Vx3BaseContrlMsg(209, on >= 1 ? 5 : 6, nullptr, 0, true);
  return r > 0 ? 0 : MyDev.lastResult;
}

bool ScannerOpen(char* cnfdir) {
  MyDev.lastResult = 0;
  pvk::core::requestStop(false);
  CancellaAltPixelPgm();
  const bool swappedModel = MyDev.vendorId == kOwnVendor && MyDev.productId == 0x000B;
  F0 = swappedModel ? 0 : 1;
  R0 = swappedModel ? 1 : 0;

  unsigned long low = 0, high = 0;
  if (!Vx3CompositionLH(low, high)) return false;
  // The side-switch feature of the composition (bit 22) keeps both sides on.
  pvk::document::storeFirmwareCaps(pvk::document::firmwareCaps(MyDev.fwVersion, MyDev.productId, MyDev.serialHigh, MyDev.serialLow,
                                           MyDev.sideSwitch != 0, false));

  optionsFromDefaults();
  Vx3ParamSet(1000, ResModeBest(), false);
  if (!MyDevImgInit(0, true)) {
    Vx3ParamSet(1000, 8, false);
    return false;
  }
  Vx3ParamSet(1000, 8, false);
  neutralCorrection();
  enableScannerAndStripe();

  // An empty directory keeps the one in force, as a missing one does.
  if (!Vx3CnfDirSet(cnfdir && *cnfdir ? cnfdir : nullptr, false, false)) return false;
  ocrOptionsFromDefaults();
  Vx3SetDefaultDBDir();
  TracciaDevice();
  traceOpenedState();

  if (!Vx3IsExtPwrd()) {
    WriteTrace("err - ", "The device is missing external power", false);
    MyDev.lastResult = PVK_WAR_NO_EXT_POWER;
  }
  return true;
}

void ScannerClose(bool reset) {
  if (MyDev.productId != 0 || MyDev.usbHandle) {
    FermaAcquisizione(0, true, false);
    if (MyDev.inkjetPresent) InkjetOff_TIJ10();
  }
  std::free(MyMICR.samples);
  MyMICR.samples = nullptr;
  MyMICR.nSamples = 0;
  MyMICR.sampleBytes = 0;
  MyMICR.sampleRows = 0;
  for (uint16_t side : {uint16_t{1}, uint16_t{0}, uint16_t{2}}) MyOcrFree(side, true);
  FreeMyImg(MyDev.imgFirstPart);
  FreeMyImg(MyDev.img);
  pvk::geometry::releaseKeptImages();
  SetScanBusy(false);
  CorrModeReset(MyCorS);
  if (reset) Vx3Reset();
}

void MyOcrFree(uint16_t side, bool clearDpi) {
  if (side > 2) return;
  std::free(MyOcr.ocrImg[side].data);
  MyOcr.ocrImg[side] = PVKImg{};
  MyOcr.ocrImgValid[side] = 0;
  if (clearDpi) {
    MyOcr.reqDpiH[side] = 0;
    MyOcr.reqDpiV[side] = 0;
  }
}

int Vx3Initialize(unsigned short pid, char* cnfDir, int first, char* serial) {
  pidDLL = pid;
  MyDev.lastResult = 0;
  SoLibInit(cnfDir);
  const bool adopted = adoptHostDir(cnfDir);
  int h = Vx3DeviceOpen(first, serial);
  if (h == 0 || static_cast<uint32_t>(h) == 0xFFFFFFFFu) {
    pidDLLClose();
    return -1;
  }
  if (!adopted && !DirExist(MyDev.cnfDir)) {
    WriteTrace("CnfDir not Accessible", false);
    Vx3DeviceClose(false);
    MyDev.lastResult = PVK_ERR_INV_PARAMETER;
    pidDLLClose();
    return -1;
  }
  char keep[1] = {0};  // the directory is settled above
  if (!ScannerOpen(keep)) {
    // A scanner whose composition or buffers cannot be set up is no usable device.
    int code = MyDev.lastResult < 0 ? MyDev.lastResult : PVK_ERR_DEVICE;
    pvk::device::traceError("scanner open failed", code);
    Vx3DeviceClose(false);
    pidDLLClose();
    MyDev.lastResult = code;
    return -1;
  }
  // The scanner open may have moved the configuration directory: the counters file follows it.
  char before[sizeof MyLog.deviceFile];
  std::memcpy(before, MyLog.deviceFile, sizeof before);
  AssegnaMyDevReg();
  if (std::strcmp(before, MyLog.deviceFile) != 0) {
    LeggiNPages(true, true);
    LeggiNStamp(true, true);
  }
  const int warning = MyDev.lastResult > 0 ? MyDev.lastResult : 0;
  defaultColour();
  if (MyDev.fwVersion >= 0x3001 && MyDev.fwVersion <= 0x3003) {
    AcqInfo saved = MyAcq;
    MyAcq.calibrating = 1;
    Vx3MoveScanner(false, false, 1, 100, 0);
    MyAcq = saved;
  }
  if (warning && MyDev.lastResult >= 0) MyDev.lastResult = warning;
  return h;
}
