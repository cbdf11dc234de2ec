// The raw image stream: one bulk read of a whole document with two asynchronous transfers that
// alternate on the IN endpoint, so one is always queued while the other completes.
#include <libusb.h>

#include <cstdio>

#include "core/image_utils.h"
#include "core/records.h"
#include "core/shims.h"
#include "core/trace.h"
#include "device/device.h"

uint8_t completato[2] = {1, 1};
uint8_t stopAcq = 0;

void callbackUSBTransferComplete(libusb_transfer* t) {
  auto* done = static_cast<uint8_t*>(t->user_data);
  // Whatever arrived is in the buffer, counted or not: it must never be overwritten as unread.
  if (t->actual_length > 0) pvk::core::noteSideBufferWritten(t->buffer, static_cast<uint64_t>(t->actual_length));
  if (t->status != LIBUSB_TRANSFER_COMPLETED) {
    switch (t->status) {
      case LIBUSB_TRANSFER_CANCELLED: WriteTrace("LIBUSB_TRANSFER_CANCELLED", false); break;
      case LIBUSB_TRANSFER_NO_DEVICE: WriteTrace("LIBUSB_TRANSFER_NO_DEVICE", false); break;
      case LIBUSB_TRANSFER_TIMED_OUT: WriteTrace("LIBUSB_TRANSFER_TIMED_OUT", false); break;
      case LIBUSB_TRANSFER_ERROR: WriteTrace("LIBUSB_TRANSFER_ERROR", false); break;
      case LIBUSB_TRANSFER_STALL: WriteTrace("LIBUSB_TRANSFER_STALL", false); break;
      case LIBUSB_TRANSFER_OVERFLOW: WriteTrace("LIBUSB_TRANSFER_OVERFLOW", false); break;
      default: WriteTrace("status", static_cast<int>(t->status), false);
    }
    Sleep(10);
  }
  if (done) *done = 1;
}

namespace {

using pvk::device::kBulkChunk;
using pvk::device::kBulkChunkSlow;

class BulkRead {
 public:
  BulkRead(int timeout, unsigned char* buffer, unsigned long size)
      : timeout_(timeout), buffer_(buffer), size_(size) {}

  // Runs the read; returns the result and sets bytes to what the caller gets in size.
  bool run(unsigned long& bytes) {
    chooseTiming();
    xfr_[0] = libusb_alloc_transfer(0);
    xfr_[1] = libusb_alloc_transfer(0);
    if (!xfr_[0] || !xfr_[1]) {
      WriteTrace("Vx3BaseBulkRead - null xfr", false);
      release();
      bytes = 0;
      return false;
    }
    completato[0] = completato[1] = 1;
    bool ok = submit(0) && (!firstFull_ || submit(1)) && waitAll();
    if (!ok) {
      bytes = failBytes_;
      finish(false);
      MyDev.lastResult = PVK_ERR_GENERIC;
      return false;
    }
    finish(true);
    bytes = received_;
    return true;
  }

 private:
  void chooseTiming() {
    slow_ = MyDev.streamEndCap && MyDev.serialHigh == 0 && MyDev.serialLow < 380247;
    chunk_ = slow_ ? kBulkChunkSlow : kBulkChunk;
    lines_ = (static_cast<long>(MyDev.img[1].dpiV) * 6 * MyAcq.planesPerLine) / 300;
    long t = (lines_ + 2) * 150;
    if (t < 2000) t = 2000;
    if (timeout_ > 0 && t > timeout_) t = timeout_;
    transferTimeout_ = static_cast<unsigned>(t);
    bool feed = MyAcq.cfgFlags[kCfgWaitDoc] || MyAcq.cfgFlags[kCfgWaitDoc2];
    firstTimeout_ = feed ? 10000u : transferTimeout_;
  }

  // Queues the next piece of the stream on slot s; false when libusb refuses.
  bool submit(int s) {
    completato[s] = 0;
    unsigned long remaining = size_ - offset_;
    if (remaining == 0) {
      completato[s] = 1;
      lastOut_ = true;
      return true;
    }
    bool full = remaining > chunk_;
    unsigned long len = full ? chunk_ : remaining;
    libusb_fill_bulk_transfer(xfr_[s], MyDev.usbHandle, pvk::device::kBulkInEndpoint, buffer_ + offset_,
                              static_cast<int>(len), callbackUSBTransferComplete, &completato[s],
                              sequence_ < 2 ? firstTimeout_ : transferTimeout_);
    offset_ += len;
    int rc = libusb_submit_transfer(xfr_[s]);
    if (rc != 0) {
      completato[s] = 1;
      if (rc == LIBUSB_ERROR_NO_DEVICE)
        pvk::device::traceError("libusb_submit_transfer - IBUSB_ERROR_NO_DEVICE on", s);
      else if (rc == LIBUSB_ERROR_IO || rc == LIBUSB_ERROR_BUSY)
        pvk::device::traceError("libusb_submit_transfer - LIBUSB_ERROR_IO on", s);
      else
        pvk::device::traceError("libusb_submit_transfer", rc);
      failBytes_ = 0;
      return false;
    }
    pending_[s] = true;
    order_[s] = ++sequence_;
    if (sequence_ == 1) {
      firstFull_ = full;
      if (!full) lastOut_ = true;  // slot 1 stays idle
    } else {
      lastOut_ = false;
    }
    return true;
  }

  int oldestPending() const {
    if (pending_[0] && pending_[1]) return order_[0] < order_[1] ? 0 : 1;
    if (pending_[0]) return 0;
    if (pending_[1]) return 1;
    return -1;
  }

  void cancel(int s) {
    if (pending_[s] && !completato[s]) libusb_cancel_transfer(xfr_[s]);
  }

  // Handles events until slot a completes. A host's stop cancels what is in flight at once:
  // a stalled stream must not hold the call for the rest of its transfer time-out.
  void pumpUntilDone(int a) {
    while (!completato[a]) {
      if (!stopped_ && pvk::core::stopRequested()) {
        stopped_ = true;
        cancel(a);
        cancel(1 - a);
      }
      struct timeval tv = {0, slow_ ? 100000 : 0};
      int rc = libusb_handle_events_timeout(nullptr, &tv);
      if (rc != 0) {
        WriteTrace("libusb_cancel_transfer for libusb_handle_events_timeout returning", rc, false);
        cancel(a);
        if (slow_) cancel(1 - a);
      }
      if (slow_ && !cancelledByRead_) watchStreamEnd(a);
    }
  }

  // Slow mode: the device tells the end of the stream through its status word.
  void watchStreamEnd(int a) {
    long status = FX2ReadStatusL();
    if (status & (1L << 26)) {
      cancel(1);
      cancelledByRead_ = true;
    } else if (status & (1L << 2)) {
      docCounter_ = 1;
    } else if (MyAcq.cfgFlags[kCfgWaitDoc]) {
      if (docCounter_++ > lines_) {
        cancel(a);
        cancel(1 - a);
        cancelledByRead_ = true;
      }
    }
  }

  // Steps through the transfers until the stream is read; false on failure.
  bool waitAll() {
    for (;;) {
      int a = oldestPending();
      if (a < 0) return true;
      pumpUntilDone(a);
      pending_[a] = false;
      libusb_transfer* t = xfr_[a];
      bool accepted = t->status == LIBUSB_TRANSFER_COMPLETED ||
                      ((cancelledByRead_ || stopped_) && (t->status == LIBUSB_TRANSFER_TIMED_OUT ||
                                                          t->status == LIBUSB_TRANSFER_CANCELLED));
      if (!accepted) {
        if (t->status == LIBUSB_TRANSFER_CANCELLED) {
          if (lastOut_) return true;
          WriteTrace("LIBUSB_TRANSFER_CANCELLED - not expected", false);
          cancel(1 - a);
          continue;
        }
        WriteTrace("libusb_transfer_status", static_cast<int>(t->status), false);
        failBytes_ = 0;
        return false;
      }
      unsigned long got = t->actual_length > 0 ? static_cast<unsigned long>(t->actual_length) : 0;
      received_ += got;
      if (timeout_ <= 0) {
        WriteTrace("Timeout", false);
        failBytes_ = received_;
        return false;
      }
      // A host's PVKStop ends the read as well as the library's own stop.
      const bool stop = stopAcq || stopped_ || pvk::core::stopRequested();
      if (stop) WriteTrace("stopAcq", false);
      if (cancelledByRead_) got = 0;
      if (!stop && got == chunk_) {
        if (!submit(a)) return false;
        continue;
      }
      if (lastOut_) return true;
      lastOut_ = true;
    }
  }

  // Cancels what is still in flight, waits until libusb has given every transfer back, frees.
  void finish(bool normal) {
    for (int s = 0; s < 2; ++s) {
      if (completato[s]) continue;
      char text[64];
      std::snprintf(text, sizeof text, normal ? "libusb_cancel_transfer %d - FineAcq" : "libusb_cancel_transfer %d", s);
      WriteTrace(text, false);
      libusb_cancel_transfer(xfr_[s]);
      Sleep(normal ? 1000 : 100);
    }
    // A transfer is freed only after its completion was reported; one that never comes back is
    // left allocated rather than freed under libusb's feet.
    for (int round = 0; round < 100 && (!completato[0] || !completato[1]); ++round) {
      struct timeval tv = {0, 100000};
      libusb_handle_events_timeout(nullptr, &tv);
    }
    for (int s = 0; s < 2; ++s)
      if (!completato[s]) xfr_[s] = nullptr;
    release();
  }

  void release() {
    for (auto*& x : xfr_) {
      if (x) libusb_free_transfer(x);
      x = nullptr;
    }
  }

  int timeout_;
  unsigned char* buffer_;
  unsigned long size_;
  libusb_transfer* xfr_[2] = {nullptr, nullptr};
  bool slow_ = false, firstFull_ = false, lastOut_ = false, cancelledByRead_ = false;
  bool stopped_ = false;  // the host's stop cancelled the transfers
  bool pending_[2] = {false, false};
  unsigned long order_[2] = {0, 0}, sequence_ = 0;
  unsigned long chunk_ = kBulkChunk, offset_ = 0, received_ = 0, failBytes_ = 0;
  long lines_ = 0, docCounter_ = 0;
  unsigned transferTimeout_ = 2000, firstTimeout_ = 2000;
};

}  // namespace

bool Vx3BaseBulkRead(int timeout, unsigned char* buffer, unsigned long& size, bool) {
  if (!buffer) {
    size = 0;
    WriteTrace("Vx3BaseBulkRead - invalid", false);
    return false;
  }
  if (size < 1024) {
    size = 0;
    return true;
  }
  if (!MyDev.usbHandle) {
    size = 0;
    WriteTrace("Vx3BaseBulkRead - no device", false);
    return false;
  }
  BulkRead read(timeout, buffer, size);
  return read.run(size);
}
