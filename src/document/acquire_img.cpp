// The road of one document: power and height checks, side buffers, the photocell wait, the
// acquisition engine, the two-part document, the top skips, then the sides' deskew, crop and
// stamp (acquire_sides.cpp), the vertical stretch of one firmware and the page counters.
#include <algorithm>

#include "acquisition/acquisition.h"
#include "calibration/calibration.h"
#include "control/control.h"
#include "core/image_utils.h"
#include "core/shims.h"
#include "core/trace.h"
#include "device/device.h"
#include "device/inkjet.h"
#include "document/document.h"
#include "geometry/geometry.h"

namespace {

constexpr uint16_t kOwnVendor = PVK_USB_VENDOR_ID;
constexpr uint16_t kDebugAcquisition = 0x4;

bool secondPart() { return MyAcq.twoPartActive && MyAcq.secondPartPending; }
bool firstPart() { return MyAcq.twoPartActive && !MyAcq.secondPartPending; }
bool paperMove() { return MyAcq.paperMove != 0; }
bool moveByTime() { return MyAcq.paperMove2 != 0; }
bool normalDocument() { return !MyAcq.paperMove && !MyAcq.paperMove2 && !MyAcq.calibrating; }

// The failure exit: every road out of a failed document passes here.
int32_t failureExit(int32_t result) {
  SetScanBusy(false);
  // The side records may still span the whole prepared buffer: every byte as it is due.
  pvk::core::settleSideBuffer();
  for (int s = 0; s < kSides; ++s) {
    if (MyOcr.reqDpiV[s] && MyOcr.reqDpiV[s] < MyDev.img[s].dpiV) MyOcr.reqDpiV[s] = MyDev.img[s].dpiV;
  }
  if (result >= 0) {
    WriteTrace("aquiring image", false);
    result = PVK_ERR_GENERIC;
  }
  pvk::document::inkjetArmedClear();
  if (MyLog.Debug) WriteTrace("AcquireImg returns", result, false);
  MyDev.lastResult = result;
  return result;
}

void startOfDocument(bool forward) {
  MyOcr.autoSideResolved = 0;
  MyAcq.imagesToRecreate = 1;
  MyAcq.forward = forward;
  pvk::document::inkjetPrintedClear();
  if (!secondPart() && !paperMove()) {
    SetDefaultSideAndRotationAuto();
    SetDefaultMyOcrOpt();
  }
  MyAcq.deskewSource = 4;
  MyOcr.cdlImgCounter = 0;
}

// Sides that must be on for this acquisition; returns lines replaced for a move by time.
void switchSidesOn(ImgInfo* sides, uint16_t& lines) {
  if (MyAcq.frontOff && MyAcq.rearOff) {
    if (paperMove() && !moveByTime()) {
      MyAcq.frontOff = 0;
      sides[1].hasData = 0;
    } else if (moveByTime()) {
      lines = MyAcq.lineGranularity;
    }
  }
  if (MyAcq.backlight) {
    if (MyAcq.frontOff) {
      MyAcq.frontOff = 0;
      sides[1].hasData = 0;
    }
    if (MyAcq.rearOff && MyDev.rearPresent) {
      MyAcq.rearOff = 0;
      sides[0].hasData = 0;
    }
  }
}

void chooseSidesWithData(ImgInfo* sides) {
  for (int s = 0; s < kSides; ++s) {
    if (paperMove() || moveByTime()) {
      sides[s].hasData = 0;
    } else if (MyAcq.calibrating) {
      sides[s].hasData = 1;
    } else {
      sides[s].hasData = MyDev.outDpi[s] > 0 || MyOcr.reqDpiH[s] > 0 || MyOcr.reqDpiV[s] > 0;
    }
  }
  // A side that is switched off, or a backlight that is not lit, has no image to give.
  if (!MyAcq.calibrating) {
    if (MyAcq.rearOff) sides[0].hasData = 0;
    if (MyAcq.frontOff) sides[1].hasData = 0;
    if (!MyAcq.backlight) sides[2].hasData = 0;
  }
}

void traceStart() {
  if (!(MyLog.Debug & kDebugAcquisition)) return;
  if (secondPart())
    WriteTrace("start acquisition - second part", false);
  else if (firstPart())
    WriteTrace("start acquisition - first part", false);
  else
    WriteTrace("start acquisition", false);
}

// The first part is kept aside for the second, which is appended behind it.
bool twoPartBookkeeping(ImgInfo* sides) {
  if (!MyAcq.twoPartActive) {
    bool error = false;
    MyAcq.docAtEntry = DocInMaster(error, false, false);
    return true;
  }
  if (secondPart()) {
    for (int s = 0; s < kSides; ++s) {
      if (!MyAcq.firstPartRow[s]) continue;
      sides[s].firstRow = MyAcq.firstPartRow[s];
      sides[s].rowsUsed = static_cast<uint16_t>(std::min<uint32_t>(
          0xFFFFu, static_cast<uint32_t>(sides[s].rowsUsed) + MyDev.imgFirstPart[s].rowsUsed));
      sides[s].imageBytes += MyDev.imgFirstPart[s].imageBytes;
    }
    return true;
  }
  if (!PreparaSecondaAcq()) {
    FermaAcquisizione(1, true, false);
    return false;
  }
  return true;
}

void applyTopSkips(ImgInfo* sides) {
  for (int s = 0; s < kSides; ++s) {
    ImgInfo& img = sides[s];
    if (!img.hasData) {
      img.fullHeight = 0;
      img.rowsUsed = 0;
      continue;
    }
    const int skipSide = s < 2 ? s : 1;
    const auto r = pvk::document::skipTop(img.rowsUsed, img.trimTop, MyDev.doubleFeedHw != 0,
                                             MyAcq.topSkip[skipSide], MyAcq.addSkip[skipSide], MyAcq.streamRead != 0);
    img.fullHeight = r.fullHeight;
    img.rowsUsed = r.height;
    img.trimTop = r.trimTop;
  }
}

void oldFirmwareStop() {
  if (MyDev.fwVersion >= 0x2010 || firstPart()) return;
  if (MyDev.fwVersion == 0x1005 || MyDev.fwVersion == 0x1007) Sleep(MyAcq.rearOff ? 1500 : 800);
  Vx3BaseContrlMsg(209, 2, nullptr, 0, true);
}

// Firmware 0x4002 delivers its lines slightly compressed: stretch them back while the buffer
// has room for it.
void stretchOf4002(ImgInfo* sides) {
  if (MyDev.fwVersion != 0x4002 || !normalDocument()) return;
  const ImgInfo& front = sides[1];
  if (!front.rawLineBytes) return;
  const uint64_t allocatedRows = front.bytesAllocated / front.rawLineBytes;
  if (allocatedRows <= front.trimTop) return;
  const float factor = MyDev.adfPresent ? 1.046f : 1.03f;
  const short rowLimit = static_cast<short>(std::min<uint64_t>(allocatedRows - front.trimTop, 0x7FFF));
  for (int s = 0; s < kSides; ++s) {
    if (!sides[s].firstRow || !sides[s].rowsUsed) continue;
    if (pvk::geometry::fixVerticalResolution(&sides[s], factor, rowLimit)) sides[s].vStretchApplied = 1;
  }
}

bool moveBackModel() {
  if (MyDev.vendorId != kOwnVendor) return false;
  switch (MyDev.productId) {
    case 0x0003: case 0x0004: case 0x0008: case 0x0009: case 0x000E: return true;
    default: return false;
  }
}

void noteNextDocument() {
  MyAcq.nextDocInserted = 0;
  if (moveBackModel() && !MyAcq.calibrating && !moveByTime() && !MyDev.adfPresent && MyDev.FwCapBackward &&
      MyAcq.autoMoveBack)
    MyAcq.nextDocInserted = MyAcq.streamRead ? (FX2ReadStatusL() & 0x4) != 0 : 1;
}

// A one-part document whose stream ended before the bytes asked for must show its paper's end:
// sides from a stream cut inside the document are never handed on as a document.
bool streamCutShort(const ImgInfo* sides) {
  if (!normalDocument() || MyAcq.twoPartActive || !pvk::acquisition::lastStreamEndedShort()) return false;
  for (int s : {1, 0}) {
    const ImgInfo& side = sides[s];
    if (side.hasData && side.firstRow && side.rowsUsed) return !pvk::document::streamHoldsWholeDocument(side);
  }
  return sides[0].hasData || sides[1].hasData;
}

// A document acquisition whose stream brought not one line had no document to scan: the sheet
// never reached the sensors (the device was told not to wait for it, or it was gone). Nothing
// was acquired, so nothing is counted and the sides hold no image.
bool noDocumentCame(const ImgInfo* sides) {
  return normalDocument() && !secondPart() && sides[1].rowsUsed == 0 && sides[0].rowsUsed == 0;
}

// A device that stops answering during a document (unplugged, powered off) is marked for a
// reopen at the next call, so that the host gets it back once it is there again.
void noteLostDevice() {
  if (MyDev.state > 0 && FX2ReadStatusL() == 0) {
    WriteTrace("err - ", "device not answering after acquisition - reopen at next call", false);
    pvk::device::markLost();
  }
  // Lost here or by a request of this document that found no device.
  if (MyDev.state == pvk::device::kStateReopen && MyDev.lastResult >= PVK_ERR_GENERIC)
    MyDev.lastResult = PVK_ERR_NOT_READY;
}

}  // namespace

int32_t AcquireImg(uint16_t lines, ImgInfo* sides, bool forward) {
  if (!sides) return failureExit(PVK_ERR_INV_PARAMETER);
  startOfDocument(forward);
  if (!Vx3IsExtPwrd()) {
    // A status that cannot be read at all is a lost device, not a missing power supply.
    if (MyDev.state == pvk::device::kStateReopen) return failureExit(PVK_ERR_NOT_READY);
    WriteTrace("err - ", "The device is missing external power", false);
    return failureExit(PVK_ERR_NO_EXT_POWER);
  }
  const int dpiV = std::max(sides[0].dpiV, sides[1].dpiV);
  // A height beyond 16 bits comes back as all ones: the most a side record can hold.
  int maxLines = EvalNumLine(MyAcq.height150, 150, dpiV);
  if (maxLines < 0 || maxLines > 0xFFFF) maxLines = 0xFFFF;
  switchSidesOn(sides, lines);
  if (lines == 0) lines = static_cast<uint16_t>(maxLines);
  if (static_cast<int>(lines) > maxLines) {
    WriteTrace("err - ", "invalid height", lines, false);
    WriteTrace("dpi", sides[1].dpiV, false);
    return failureExit(PVK_ERR_INV_PARAMETER);
  }
  CorrModeUpdate();
  MyDev.lastResult = 0;
  // The white fill of the buffer is written only where this acquisition can read it; every road
  // out before the read settles it whole.
  pvk::core::deferSideBufferFill(true);
  const bool prepared = MyDevImgInit(lines, true);
  pvk::core::deferSideBufferFill(false);
  if (!prepared) {
    WriteTrace("init image", false);
    return failureExit(MyDev.lastResult > 0 ? PVK_ERR_GENERIC : MyDev.lastResult);
  }
  MyAcq.docAtEntry = 0;
  chooseSidesWithData(sides);
  if (sides[0].imageBytes == 0 && sides[1].imageBytes == 0) {
    for (int s = 0; s < 2; ++s) {
      sides[s].rowsUsed = 0;
      sides[s].fullHeight = sides[s].trimTop;
    }
    pvk::core::settleSideBuffer();
    FermaAcquisizione(0, true, false);
    return MyDev.lastResult;
  }
  if (!Vx3IsExtPwrd())
    return failureExit(MyDev.state == pvk::device::kStateReopen ? PVK_ERR_NOT_READY : MyDev.lastResult);
  if (!WaitFotocellula()) {
    if (MyDev.lastResult != PVK_ERR_TIMEOUT && MyDev.lastResult != PVK_ERR_ABORTED) noteLostDevice();
    return failureExit(MyDev.lastResult);
  }
  traceStart();
  if (!SetScanBusy(true)) return failureExit(MyDev.lastResult);
  const bool scanned = Vx3Scan_PID009() != 0;
  if (paperMove())
    for (int s = 0; s < kSides; ++s) sides[s].hasData = 0;
  if (!scanned) {
    FermaAcquisizione(1, true, false);
    noteLostDevice();
    return failureExit(MyDev.lastResult);
  }
  if (noDocumentCame(sides)) {
    WriteTrace("err - ", "no document: the image stream brought no line", false);
    return failureExit(PVK_ERR_TIMEOUT);
  }
  if (normalDocument() && !secondPart()) AggiornaNumPag();
  if (streamCutShort(sides)) {
    WriteTrace("err - ", "image stream ended inside the document", sides[1].rowsUsed, false);
    return failureExit(PVK_ERR_NOT_READY);
  }
  if (!twoPartBookkeeping(sides)) return failureExit(MyDev.lastResult);
  applyTopSkips(sides);
  ReAllign();
  oldFirmwareStop();
  SetScanBusy(false);

  if (!MyAcq.calibrating) {
    if (moveByTime()) {
      for (int s = 0; s < kSides; ++s) sides[s].rowsUsed = 0;
    } else if (!firstPart()) {
      // The first part of a two-part document is half a document: the second part is appended
      // to it as it was read, and the whole is cropped then.
      const int32_t r = pvk::document::finishSides(sides, secondPart());
      if (r < 0) return failureExit(r);
      stretchOf4002(sides);
    }
  }
  noteNextDocument();

  MyDev.lastResult = 0;
  if (pvk::document::inkjetPrinted()) {
    if (CheckStamp())
      AggiornaNInkjet();
    else if (MyDev.lastResult >= 0)
      MyDev.lastResult = PVK_ERR_INKJET_INCOMPLETE;
  }
  return MyDev.lastResult;
}
