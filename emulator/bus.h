// Inside the software scanner: the bus of simulated devices, the request log and the faults,
// shared by the libusb entry points, the firmware model and the control interface.
#pragma once

#include <libusb.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "pvkemu.h"

namespace pvk::emulator {

struct Fault {
  int wvalue;      // PVKEMU_ANY_REQUEST or a wValue
  int direction;   // PVKEMU_DIR_*
  int kind;        // pvkemu_fault_kind
  int times;       // remaining; negative = for ever
  int shortLength;
};

// The bytes waiting on the IN endpoint, taken from the front and added at the back, in blocks:
// a read costs its copy, and what was read is let go block by block as a device would.
class ByteQueue {
 public:
  size_t size() const { return size_; }
  void clear() {
    blocks_.clear();
    head_ = size_ = 0;
  }
  void append(const uint8_t* p, size_t n) {
    size_ += n;
    while (n > 0) {
      if (blocks_.empty() || blocks_.back().size() == kBlock) blocks_.emplace_back().reserve(kBlock);
      std::vector<uint8_t>& back = blocks_.back();
      const size_t k = std::min(n, kBlock - back.size());
      back.insert(back.end(), p, p + k);
      p += k;
      n -= k;
    }
  }
  // Moves up to n bytes to out (null: drops them); returns how many.
  size_t take(uint8_t* out, size_t n) {
    n = std::min(n, size_);
    size_ -= n;
    for (size_t left = n; left > 0;) {
      std::vector<uint8_t>& front = blocks_.front();
      const size_t k = std::min(left, front.size() - head_);
      if (out) std::memcpy(out, front.data() + head_, k), out += k;
      head_ += k;
      left -= k;
      if (head_ == front.size()) blocks_.pop_front(), head_ = 0;
    }
    return n;
  }

 private:
  static constexpr size_t kBlock = 4 * 1024;
  std::deque<std::vector<uint8_t>> blocks_;
  size_t head_ = 0;  // bytes taken of the first block
  size_t size_ = 0;
};

// One simulated scanner: its profile (the firmware's memory) and its run-time state.
struct Device {
  int id = 0;
  pvkemu_profile profile{};
  bool plugged = true;
  libusb_device* usb = nullptr;  // the USB device of the current plug-in
  // Firmware state.
  bool scanEnabled = false;
  bool scanBusy = false;
  bool stripeEnabled = false;
  bool inkjetPrinting = false;
  uint8_t eepromSet = 0;
  uint8_t configBlock[33] = {};
  bool configBlockValid = false;
  std::vector<uint32_t> statusScript;
  size_t statusPos = 0;
  // Host-visible state.
  int openHandles = 0;
  bool claimed = false;
  std::vector<Fault> faults;
  int claimFault = 0, claimFaultTimes = 0;
  int openFault = 0, openFaultTimes = 0;
  // Bulk endpoints.
  ByteQueue stream;
  bool streamEnded = false;
  bool streamQueued = false;  // the stream holds bytes a test queued, not a document's
  std::vector<uint8_t> bulkOut;
};

// The bus: every device ever added (ids index it), the log and the misuse record.
struct Bus {
  std::vector<Device> devices;
  std::vector<pvkemu_request> log;
  int errorCount = 0;
  std::string lastError;
  bool configured = false;  // a test has shaped the bus; no default device
  // Every USB device and handle ever made: kept for the process, so that a stale pointer held
  // by the library is noticed instead of being a use after free.
  std::vector<libusb_device*> usbDevices;
  std::vector<libusb_device_handle*> handles;
};

// A new USB device for device id (a plug-in), owned by the bus.
libusb_device* newUsbDevice(int id);

// The bus, with the default full-featured scanner on it unless a test configured it.
Bus& bus();
// Same, for control calls: marks the bus as configured first (dropping the default device
// when nothing has used it yet).
Bus& configuredBus();
Device* deviceById(int id);
void noteMisuse(const std::string& text);
void logRequest(const pvkemu_request& r);

// The firmware model: answers one control request of a device. `data` holds the OUT bytes or
// receives the IN reply (wLength bytes of room). Returns the bytes transferred or a libusb error.
int firmwareControl(Device& d, uint8_t requestType, uint8_t request, uint16_t value,
                    unsigned char* data, uint16_t length);

// Forgets every submitted transfer (the bus is being emptied); they never complete.
void dropPendingTransfers();

// Virtual clock, read by the transfer deadlines.
uint64_t monotonicMs();
bool clockIsVirtual();
void clockJumpToMs(uint64_t monotonicTarget);

}  // namespace pvk::emulator

// The opaque libusb types, as the software scanner sees them.
struct libusb_device {
  int devId;
  int refs;
};
struct libusb_device_handle {
  libusb_device* dev;
  bool open;
  bool claimed;
};
