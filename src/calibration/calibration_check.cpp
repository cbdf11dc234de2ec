// The exported calibration and the checks around it: the full run with the caller's options
// saved and restored, the check that every setting has loadable data, and the cleaning flag.
#include <cstdlib>
#include <cstring>

#include "calibration/calibration.h"
#include "control/control.h"
#include "core/ini.h"
#include "core/trace.h"

namespace {

using pvk::calibration::FeatureState;

// The caller's options and output resolutions, put back after a run. The buffers of the side images and the magnetic
// samples are the run's by then: the saved pointers to them are stale and are not put back.
struct SavedOptions {
  AcqInfo acq;
  MICRInfo micr;
  int16_t outDpi[kSides];
  SavedOptions() : acq(MyAcq), micr(MyMICR) { std::memcpy(outDpi, MyDev.outDpi, sizeof outDpi); }
  void restore() {
    std::memcpy(MyDev.outDpi, outDpi, sizeof outDpi);
    uint8_t* samples = MyMICR.samples;
    const uint64_t nSamples = MyMICR.nSamples, rows = MyMICR.sampleRows, bytes = MyMICR.sampleBytes;
    MyAcq = acq;
    MyMICR = micr;
    MyMICR.samples = samples;
    MyMICR.nSamples = nSamples;
    MyMICR.sampleRows = rows;
    MyMICR.sampleBytes = bytes;
    for (int s = 0; s < kSides; ++s) {
      MyAcq.sideData[s] = nullptr;
      MyAcq.firstPartRow[s] = nullptr;
      MyAcq.endPtr[s] = nullptr;
    }
  }
};

bool countersFileKnown() { return MyLog.deviceFile[0] != 0; }

bool settingLoads() {
  if (!CorrInfoRead(MyCorS)) return false;
  if (HasFrontOnlyCalibration() && SetRearOff(true) && MyAcq.rearOff) {
    const bool ok = CorrInfoRead(MyCorS);
    SetRearOff(false);
    return ok;
  }
  return true;
}

// The new files replace the old set only after a run that succeeded; a run that failed, or was
// stopped, leaves the previous calibration as it was, cleaning flag included.
int settleCalibSet(int r) {
  if (r < 0 || r == PVK_WAR_CANCELLED) {
    pvk::calibration::dropCalibSet();
    return r;
  }
  const int c = pvk::calibration::commitCalibSet();
  if (c < 0) return c;
  MyDev.cleaningRequired = 0;
  if (countersFileKnown()) WritePrivateProfileString("General", "CleaningRequired", "0", MyLog.deviceFile);
  return r;
}

}  // namespace

void VerificaEdAggiornaCleaningRequired() {
  if (!MyDev.cleaningRequired) return;
  if (!MyDev.calibValid) {
    MyDev.cleaningRequired = 0;
    return;
  }
  if (MyDev.cleaningCheckEnabled && countersFileKnown()) {
    WriteTrace("Cleaning Required", false);
    MyDev.lastResult = PVK_WAR_CLEANING_REQUIRED;
    WritePrivateProfileString("General", "CleaningRequired", "1", MyLog.deviceFile);
  }
}

int Vx3Calibrate() {
  SavedOptions saved;
  CorrModeReset(MyCorS);
  MyMICR.enabled = 0;
  MyAcq.calibrating = 1;
  MyAcq.cfgFlags[2] = 1;
  MyAcq.modeLocked = 1;
  MyAcq.twoPartActive = MyAcq.secondPartPending = 0;
  MyAcq.calibOption = MyAcq.calibOptions[0] = MyAcq.calibOptions[1] = 0;
  SetRearOff(false);

  pvk::calibration::beginCalibSet();
  const int r = settleCalibSet(MyDev.ledCalib ? CalibrateWithLed() : CalibrateWithoutLed());

  FreeMyImg(MyDev.img);
  FreeMyImg(MyDev.imgFirstPart);
  CorrModeReset(MyCorS);
  saved.restore();
  MyDevImgInit(0, true);
  MyDev.lastResult = 0;
  CorrInfoRead(MyCorS);
  VerificaEdAggiornaCleaningRequired();
  if (!(r == 0 && MyDev.lastResult == PVK_WAR_CLEANING_REQUIRED)) MyDev.lastResult = r;
  InitCorrInfo();
  return MyDev.lastResult;
}

int Vx3CalibrateCheck() {
  SavedOptions saved;
  MyAcq.modeLocked = 1;
  bool all = true;
  const bool micr = MyDev.micrDependentCalib && MyMICR.headPresent;
  for (const FeatureState& st :
       pvk::calibration::featureStates(micr, MyDev.irHw != 0, MyDev.uvHw != 0, MyDev.backlightHw != 0))
    for (int base : {1, 2}) {
      MyMICR.enabled = st.micr ? 1 : 0;
      MyAcq.backlight = st.backlight ? 1 : 0;
      MyAcq.ir = MyAcq.uv = 0;
      const short code = static_cast<short>(base + (st.ir ? 8 : 0) + (st.uv ? 16 : 0));
      for (int mode = 0; mode < 8; ++mode) {
        const int keep = MyDev.lastResult;
        if (Vx3ParamSet(0, code, true) != 0 || !MyDevImgInitWithMode(0, static_cast<unsigned char>(mode), true)) {
          MyDev.lastResult = keep;
          continue;
        }
        SetRearOff(false);
        // Every setting is read, so that each missing file is rebuilt where the device can.
        if (!settingLoads()) all = false;
      }
    }
  if (!all) MyDev.calibValid = 0;
  VerificaEdAggiornaCleaningRequired();
  CorrModeReset(MyCorS);
  saved.restore();
  SetColor(MyAcq.colour, false);
  MyDev.lastResult = all ? 0 : PVK_WAR_NO_CALIB;
  return MyDev.lastResult;
}

int Vx3CleanCheck() {
  if (MyDev.cleaningCheckEnabled && countersFileKnown()) {
    char value[129] = "";
    GetPrivateProfileString("General", "CleaningRequired", "0", value, sizeof value, MyLog.deviceFile);
    if (std::strtol(value, nullptr, 10) > 0) {
      MyDev.cleaningRequired = 1;
      if (MyDev.calibValid) {
        WriteTrace("Cleaning Required", false);
        MyDev.lastResult = PVK_WAR_CLEANING_REQUIRED;
        return PVK_WAR_CLEANING_REQUIRED;
      }
      MyDev.cleaningRequired = 0;
      WriteTrace("Cleaning ignored as not calibrated", false);
    } else {
      MyDev.cleaningRequired = 0;
    }
  }
  MyDev.lastResult = 0;
  return 0;
}
