// Exported side-geometry calls (deskew, crop, stamp, resize, vertical stretch, image file). No
// call guard and no last result: each checks its pointers, hands over to the side-image
// geometry and answers with its own result and text buffers.
#include "PlavikMS.h"
#include "core/frame.h"
#include "core/trace.h"
#include "geometry/geometry.h"

namespace {

// A C host passes the edge offset as a pointer, which may be null; keep the compiler from
// assuming a reference is never null.
short* addressOf(short& ref) {
  short* p = &ref;
  __asm__("" : "+r"(p));
  return p;
}

constexpr size_t kText = 40;

}  // namespace

extern "C" bool PVKDeskewWrapStamp2(ImgInfo* side, ImgInfo* companion, bool flipV, bool flipH, bool compFlipV,
                                    bool compFlipH, bool deskewNow, short& edgeOffset, bool edgeFromTop,
                                    char* errText, char* infoText, ImgInfo* stamp, short stampColumn,
                                    short stampRowOffset, bool enhance, bool allowRotation) {
  pvk::core::CallInProgress running;  // for a PVKStop from another thread
  try {
    char errLocal[kText] = "", infoLocal[kText] = "";
    if (side == nullptr) {
      WriteTrace("err - ", "PVKDeskewWrapStamp2 with null side image", false);
      pvk::geometry::putText(errText, "invalid side image");
      return false;
    }
    pvk::geometry::DeskewCall call{side,      companion, flipV,
                                      flipH,     compFlipV, compFlipH,
                                      deskewNow, addressOf(edgeOffset), edgeFromTop,
                                      errText ? errText : errLocal, infoText ? infoText : infoLocal,
                                      stamp,     stampColumn, stampRowOffset,
                                      enhance,   allowRotation};
    return pvk::geometry::onCallingThreadOnly([&] { return pvk::geometry::deskewWrapStamp(call); }) != 0;
  } catch (...) {
    pvk::geometry::putText(errText, "PVKDeskewWrapStamp2 exception");
    return false;
  }
}

extern "C" bool PVKDeskewWrapStamp(ImgInfo* side, ImgInfo* companion, bool flipV, bool flipH, bool compFlipV,
                                   bool compFlipH, bool deskewNow, short& edgeOffset, bool edgeFromTop,
                                   char* errText, char* infoText, ImgInfo* stamp, short stampColumn,
                                   short stampRowOffset, bool enhance) {
  return PVKDeskewWrapStamp2(side, companion, flipV, flipH, compFlipV, compFlipH, deskewNow, edgeOffset,
                             edgeFromTop, errText, infoText, stamp, stampColumn, stampRowOffset, enhance, false);
}

extern "C" bool PVKResize2(ImgInfo* src, short side, ImgInfo* dst, short brightness, short contrast, bool grey,
                           bool reverse, bool flipV, bool flipH, bool transpose, char* msg) {
  pvk::core::CallInProgress running;  // for a PVKStop from another thread
  try {
    char local[64] = "";
    return pvk::geometry::onCallingThreadOnly([&] {
             return pvk::geometry::resizeSide(src, side, dst, brightness, contrast, grey, reverse, flipV, flipH,
                                              transpose, msg ? msg : local);
           }) != 0;
  } catch (...) {
    pvk::geometry::putText(msg, "PVKResize2 exception", 64);
    return false;
  }
}

extern "C" bool PVKResize(ImgInfo* src, short side, ImgInfo* dst, bool grey, bool reverse, bool flipV, bool flipH,
                          bool transpose, char* msg) {
  return PVKResize2(src, side, dst, 0, 0, grey, reverse, flipV, flipH, transpose, msg);
}

extern "C" int PVKFixVRes(ImgInfo* img, float factor, short rowLimit) {
  pvk::core::CallInProgress running;  // for a PVKStop from another thread
  try {
    return pvk::geometry::onCallingThreadOnly([&] { return pvk::geometry::fixVerticalResolution(img, factor, rowLimit); });
  } catch (...) {
    return 0;
  }
}

extern "C" int PVKReadImgFile(ImgInfo* img, char* path, short planes) {
  pvk::core::CallInProgress running;  // for a PVKStop from another thread
  try {
    return pvk::geometry::onCallingThreadOnly([&] { return pvk::geometry::readImgFile(img, path, planes); });
  } catch (...) {
    return 0;
  }
}
