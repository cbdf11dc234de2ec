// Sheet handling: the document test at the entry photocell, the wait for a document before an
// acquisition, the cleaning cycle with a cleaning sheet and the copy of the first part of a
// two-part document.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/image_utils.h"
#include "control/control.h"
#include "core/ini.h"
#include "core/results.h"
#include "core/shims.h"
#include "core/trace.h"
#include "device/device.h"

using namespace pvk::control;

namespace pvk::control {

unsigned photocellStep(unsigned w) {
  if (w >= 1 && w <= 49) return 1;
  if (w >= 50 && w <= 199) return 10;
  return 50;
}

bool reportsDocument() {
  if (MyDev.vendorId != PVK_USB_VENDOR_ID) return false;
  switch (MyDev.productId) {
    case 3: case 4: case 8: case 9: case 14: return true;
    default: return false;
  }
}

int (*cleaningMove)(bool forward, unsigned short lines, unsigned short dpi) = Vx3MoveScannerLinesOld;

}  // namespace pvk::control

namespace {

constexpr int kBankDevice = 208;
constexpr int kRegScanEnable = 9;

int result(int code) {
  Vx3ResultSet(code);
  return code;
}

// Set when the last presence test found the scanner disabled and could not enable it.
bool enableFailed = false;

}  // namespace

bool DocInMaster(bool& error, bool confirm, bool ignoreAdf) {
  enableFailed = false;
  long status = FX2ReadStatusL();
  if (status == 0) {
    error = true;
    return false;
  }
  if (!reportsDocument()) return false;
  if (!(status & kStatusEnabled)) {
    WriteTrace("enabling device", false);
    Vx3BaseContrlMsg(kBankDevice, kRegScanEnable, nullptr, 0, true);
    status = FX2ReadStatusL();
    if (!(status & kStatusEnabled)) {
      WriteTrace("err - ", "enable scanner first", false);
      Vx3ResultSet(-21);
      enableFailed = true;
      return false;
    }
  }
  bool present = (status & kStatusDocAtEntry) != 0;
  if (MyDev.adfPresent && !ignoreAdf) present = present || (status & kStatusDocInAdf) != 0;
  if (!present) return false;
  if (!confirm) return true;
  Sleep(300);
  return DocInMaster(error, false, false);
}

bool FotocellIsPresent() { return MyDev.photocellPresent != 0; }

bool WaitFotocellula() {
  if (MyLog.Debug & 0x4) WriteTrace("start without ADF thread", false);
  if (!MyAcq.cfgFlags[kCfgWaitDoc] || !MyDev.photocellPresent || (MyAcq.twoPartActive && MyAcq.secondPartPending))
    return true;
  const unsigned w = MyAcq.msWaitDoc;
  const unsigned step = photocellStep(w);
  unsigned count = std::max(w / step, 1u);
  while (!pvk::core::stopRequested()) {
    bool error = false;
    const bool present = DocInMaster(error, true, false);
    if (error) return false;
    if (present) return true;
    Sleep(step);
    // A document wait of 0 waits without end; the wait is read again at every poll.
    if (MyAcq.msWaitDoc != 0 && --count == 0) {
      WriteTrace("err - ", "acquisition timeout 1", static_cast<int>(w), false);
      Vx3ResultSet(-10);
      return false;
    }
  }
  Vx3ResultSet(-19);
  return false;
}

namespace {

constexpr int kInsertPolls = 101;
constexpr int kEjectMoves = 21;

int statusFailure(const char* trace) {
  WriteTrace(trace, false);
  return result(Vx3ResultGet() < 0 ? Vx3ResultGet() : -1);
}

// One move of the cleaning cycle; a negative result is also the last result.
int cleanMove(bool forward, unsigned short lines, unsigned short dpi) {
  const int r = pvk::control::cleaningMove(forward, lines, dpi);
  if (r < 0) Vx3ResultSet(r);
  return r;
}

// Scrubs the sensors with the sheet: passes of moves of halving length; gone when the sheet
// left the path. Returns 0 or a negative code.
int scrub(bool& gone) {
  unsigned length = 320, moves = 2;
  bool forward = true;
  gone = false;
  for (int pass = 0; pass < 4; ++pass) {
    for (unsigned m = 0; m < moves; ++m) {
      bool error = false;
      const bool present = DocInMaster(error, false, false);
      if (error) return statusFailure("Clean - device error cleaning");
      if (!present) {
        gone = true;
        return 0;
      }
      const int r = cleanMove(forward, static_cast<unsigned short>(length), 300);
      if (r < 0) return r;
      Sleep(50);
      if (MyDev.FwCapBackward) forward = !forward;
    }
    length = std::max(length / 2, 64u);
    moves = std::min(2 * moves, 8u);
  }
  return 0;
}

}  // namespace

int Vx3Clean() {
  // A code left by an earlier call must not stand for a failure of this cycle.
  Vx3ResultSet(0);
  Sleep(100);
  bool error = false, present = false;
  for (int i = 0; i < kInsertPolls && !present; ++i) {
    if (i > 0) Sleep(100);
    present = DocInMaster(error, true, false);
    if (error) return statusFailure("Clean - device error waiting sheet insertion");
  }
  if (!present) {
    // A scanner that cannot be enabled never shows the sheet: that, not the wait, is the fault.
    if (enableFailed) return result(-21);
    WriteTrace("Clean - timeout waiting sheet insertion", false);
    return result(-10);
  }
  int r = cleanMove(true, 300, 300);
  if (r < 0) return r;
  bool gone = false;
  r = scrub(gone);
  if (r < 0) return r;
  for (int i = 0; i < kEjectMoves; ++i) {
    present = DocInMaster(error, false, false);
    if (error) return statusFailure("Clean - device error cleaning");
    if (!present) break;
    if ((r = cleanMove(true, 400, 100)) < 0) return r;
  }
  if ((r = cleanMove(true, 400, 100)) < 0) return r;
  // The sheet (or a document waiting in the feeder) is still in: the sensors were not cleaned.
  present = DocInMaster(error, false, false);
  if (error) return statusFailure("Clean - device error cleaning");
  if (present) {
    WriteTrace("err - ", "Clean - sheet still present after eject", false);
    return result(-21);
  }
  MyDev.cleaningRequired = 0;
  if (MyLog.deviceFile[0] != '\0') WritePrivateProfileString("General", "CleaningRequired", "0", MyLog.deviceFile);
  return result(0);
}

bool PreparaSecondaAcq() {
  ImgInfo* img = MyDev.img;
  ImgInfo* first = MyDev.imgFirstPart;
  const ImgInfo& front = img[1];
  for (int s = 0; s < kSides; ++s) {
    if (first[s].allocBase != nullptr && first[s].allocBase != img[s].allocBase)
      pvk::core::releaseSideBuffer(first[s].allocBase);
    first[s] = img[s];
    first[s].allocBase = nullptr;
    if (img[s].allocBase == nullptr) continue;
    const uint64_t size = img[s].bytesAllocated + img[s].margin;
    auto* copy = static_cast<uint8_t*>(std::calloc(size + 1, 1));
    if (copy == nullptr) {
      WriteTrace("err - ", "invalid memory allocation copying first part acquisition scanning", errno, false);
      for (int k = 0; k <= s; ++k) {
        if (first[k].allocBase != img[k].allocBase) pvk::core::releaseSideBuffer(first[k].allocBase);
        std::memset(&first[k], 0, sizeof first[k]);
      }
      Vx3ResultSet(-4);
      return false;
    }
    std::memcpy(copy, img[s].allocBase, size);
    first[s].allocBase = copy;
    first[s].firstRow = copy + (img[s].firstRow - img[s].allocBase);
    first[s].writePtr = img[s].writePtr ? copy + (img[s].writePtr - img[s].allocBase) : nullptr;
  }
  // The rear and backlight views must follow the copy, not the live buffer that the next
  // acquisition overwrites.
  const uint8_t* liveBase = front.allocBase;
  const uint64_t liveSize = front.bytesAllocated + front.margin;
  for (int s : {0, 2}) {
    if (liveBase == nullptr || first[1].allocBase == nullptr || first[s].allocBase != nullptr) continue;
    for (uint8_t** p : {&first[s].firstRow, &first[s].writePtr}) {
      if (*p != nullptr && *p >= liveBase && *p < liveBase + liveSize) *p = first[1].allocBase + (*p - liveBase);
    }
  }
  return true;
}

void PatchBordiFWOld(ImgInfo*) {}
