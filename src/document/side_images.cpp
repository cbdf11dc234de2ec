// The side images of the next document: the output resolution each side is asked at, which
// also picks the acquisition mode, and the release of every side, endorsement and magnetic
// sample buffer.
#include <cstdlib>
#include <string>

#include "control/control.h"
#include "core/image_utils.h"
#include "core/records.h"
#include "core/trace.h"
#include "document/document.h"

namespace {

// A refusal: its "err - " line, as the image calls write theirs, and the last result.
bool refuse(const char* text, int code) {
  WriteTrace((std::string("err - ") + text).c_str(), false);
  MyDev.lastResult = code;
  return false;
}

}  // namespace

bool Vx3PVKImgCreate(short dpiFront, short dpiRear, short dpiBacklight) {
  if (dpiBacklight < 1) {
    MyAcq.backlight = 0;
  } else {
    if (!MyDev.backlightHw) {
      MyAcq.backlight = 0;
      return refuse("backlight not supported by HW", -15);
    }
    const bool onFront = MyDev.backlightSide == 1;
    if ((onFront ? dpiFront : dpiRear) != dpiBacklight)
      return refuse(onFront ? "BACKLIGHT and FRONT images must have the same resolution"
                            : "BACKLIGHT and REAR images must have the same resolution",
                    -3);
    MyAcq.backlight = 1;
  }
  if (MyAcq.twoPartActive && MyAcq.secondPartPending) return true;
  MyOcrFree(1, false);
  MyOcrFree(0, false);
  MyOcrFree(2, false);
  if (!CheckDpi(dpiFront) || !CheckDpi(dpiRear)) return refuse("ImgCreate with invalid dpi", -3);
  MyDev.outDpi[1] = dpiFront;
  MyDev.outDpi[0] = dpiRear;
  MyDev.outDpi[2] = dpiBacklight < 1 ? 0 : dpiBacklight;  // below 1: no backlight side
  if (!MyAcq.modeLocked) {
    Vx3ParamSet(1000, ResModeBest(), false);
    const bool ok = MyDevImgInit(0, true);
    Vx3ParamSet(1000, 8, false);
    if (!ok) return refuse("ImgCreate - error setting mode for dpi", -3);
  }
  MyAcq.imagesToRecreate = 0;
  return true;
}

namespace {

void freeStamp() {
  std::free(MyInkjet.stamp.data);
  MyInkjet.stamp = PVKImg{};
}

// Every side buffer and the magnetic samples.
void freeSides() {
  for (ImgInfo& side : MyDev.img) {
    pvk::core::releaseSideBuffer(side.allocBase);
    side.allocBase = side.firstRow = side.writePtr = nullptr;
    side.imageBytes = side.bytesAllocated = 0;
    side.hasData = 0;
  }
  std::free(MyMICR.samples);
  MyMICR.samples = nullptr;
  MyMICR.nSamples = 0;
}

}  // namespace

int Vx3PVKImgFree() {
  freeStamp();
  freeSides();
  MyDev.lastResult = 0;
  return 0;
}

bool pvk::document::recreateSideImages() {
  // An armed stamp was set up for the coming document, after the last one was acquired: it is
  // the host's endorsement of that document, not a leftover of the last.
  if (!MyInkjet.armed) freeStamp();
  freeSides();
  MyDev.lastResult = 0;
  return Vx3PVKImgCreate(MyDev.outDpi[1], MyDev.outDpi[0], MyDev.outDpi[2]);
}
