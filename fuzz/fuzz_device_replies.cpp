// The device's replies as the connection reads them: the serial descriptor, the version, the
// capability byte, the counters, the composition words, the magnetic head and print head
// configurations and the status word. A scripted bus in this file stands in for libusb and
// answers every request from the fuzz input: any length up to the one asked for, any bytes, a
// failure, or a lost device once the input runs out. Nothing may crash, hang or overrun.
#include <fcntl.h>
#include <libusb.h>
#include <semaphore.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../tests/common/scratch_dir.h"
#include "core/frame.h"
#include "core/records.h"
#include "device/device.h"

namespace {

constexpr size_t kMaxInput = 4096;

// The fuzz input, consumed one reply at a time.
struct Feed {
  std::vector<uint8_t> bytes;
  size_t at = 0;
  bool empty() const { return at >= bytes.size(); }
  uint8_t next() { return empty() ? 0 : bytes[at++]; }
  // Copies up to n bytes of the input into out; returns how many there were.
  int copy(unsigned char* out, int n) {
    int k = 0;
    for (; k < n && !empty(); ++k) out[k] = bytes[at++];
    return k;
  }
};

Feed feed;
uint16_t feedProduct = 9;
uint16_t feedBcd = 0x0200;
uint16_t feedVendor = pvk::device::kVendorId;

// Opaque libusb objects of the one scripted device: only their addresses are used.
alignas(16) unsigned char fakeDevice[64];
alignas(16) unsigned char fakeHandle[64];

// A failure code chosen by a reply selector of 0xF0 and above.
int failureOf(uint8_t sel) {
  switch (sel & 3) {
    case 0: return LIBUSB_ERROR_TIMEOUT;
    case 1: return LIBUSB_ERROR_NO_DEVICE;
    case 2: return LIBUSB_ERROR_PIPE;
    default: return LIBUSB_ERROR_IO;
  }
}

std::string dir;

void setUp() {
  static bool done = false;
  if (done) return;
  done = true;
  dir = pvk::testing::processScratchDir("pvk_fuzz_device_");
  if (dir.empty()) std::abort();
  SoLibInit(dir.c_str());
}

// The EP0 lock is a lock file per serial: remove this input's one from the system.
void dropLock() {
  char path[160];
  pvk::device::ep0LockPath(path, sizeof path, MyDev.vendorId, MyDev.productId, MyDev.serialLow);
  CloseSemaforoEP0(false);
  ::unlink(path);
}

}  // namespace

// The status retries and stop pauses wait for real; under the fuzzer time does not matter.
extern "C" int nanosleep(const struct timespec*, struct timespec* rem) {
  if (rem) rem->tv_sec = rem->tv_nsec = 0;
  return 0;
}

// --- The scripted bus -----------------------------------------------------------------------

extern "C" {

int libusb_init(libusb_context** ctx) {
  if (ctx) *ctx = nullptr;
  return 0;
}
void libusb_exit(libusb_context*) {}

ssize_t libusb_get_device_list(libusb_context*, libusb_device*** list) {
  auto** out = static_cast<libusb_device**>(std::calloc(2, sizeof(libusb_device*)));
  if (!out) return LIBUSB_ERROR_NO_MEM;
  out[0] = reinterpret_cast<libusb_device*>(fakeDevice);
  *list = out;
  return 1;
}
void libusb_free_device_list(libusb_device** list, int) { std::free(list); }
libusb_device* libusb_ref_device(libusb_device* d) { return d; }
void libusb_unref_device(libusb_device*) {}

int libusb_get_device_descriptor(libusb_device*, struct libusb_device_descriptor* d) {
  std::memset(d, 0, sizeof *d);
  d->idVendor = feedVendor;
  d->idProduct = feedProduct;
  d->bcdUSB = feedBcd;
  return 0;
}

int libusb_open(libusb_device*, libusb_device_handle** h) {
  if (feed.empty()) return LIBUSB_ERROR_NO_DEVICE;
  uint8_t sel = feed.next();
  if (sel >= 0xF8) return failureOf(sel);
  *h = reinterpret_cast<libusb_device_handle*>(fakeHandle);
  return 0;
}
void libusb_close(libusb_device_handle*) {}

int libusb_claim_interface(libusb_device_handle*, int) {
  uint8_t sel = feed.next();
  return sel >= 0xF0 ? (sel & 1 ? LIBUSB_ERROR_BUSY : failureOf(sel)) : 0;
}
int libusb_release_interface(libusb_device_handle*, int) {
  uint8_t sel = feed.next();
  return sel >= 0xF0 ? (sel & 1 ? LIBUSB_ERROR_NOT_FOUND : failureOf(sel)) : 0;
}

// The serial number: up to 254 characters of any value, or a failure.
int libusb_get_string_descriptor_ascii(libusb_device_handle*, uint8_t, unsigned char* data, int length) {
  if (feed.empty()) return LIBUSB_ERROR_NO_DEVICE;
  uint8_t sel = feed.next();
  if (sel >= 0xFD) return failureOf(sel);
  int n = sel > 250 ? 254 : sel;
  if (n > length - 1) n = length - 1;
  n = feed.copy(data, n);
  data[n] = 0;
  return n;
}

// A selector byte chooses the reply: below 0x80 the whole length asked for, 0x80..0xEF any
// length up to it, 0xF0 and above a failure; the reply bytes follow in the input.
int libusb_control_transfer(libusb_device_handle* h, uint8_t type, uint8_t, uint16_t, uint16_t,
                            unsigned char* data, uint16_t length, unsigned int) {
  if (!h || feed.empty()) return LIBUSB_ERROR_NO_DEVICE;
  if (length > 0 && !data) std::abort();  // the transport must never send a length without a buffer
  if (length > 64) std::abort();          // nor more than one control packet of data
  uint8_t sel = feed.next();
  if (sel >= 0xF0) return failureOf(sel);
  int n = sel < 0x80 ? length : sel % (length + 1);
  if (!(type & LIBUSB_ENDPOINT_IN)) return n;
  return feed.copy(data, n);
}

}  // extern "C"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setUp();
  if (size < 6 || size > kMaxInput) return 0;
  // Header: the device as enumerated and the library's settings; the rest is the replies.
  static const uint16_t products[8] = {3, 4, 8, 9, 11, 14, 6, 10};
  feedProduct = data[0] & 8 ? data[1] : products[data[0] & 7];
  feedBcd = data[0] & 16 ? 0x0110 : 0x0200;
  feedVendor = data[0] & 32 ? static_cast<uint16_t>(pvk::device::kVendorId + 1) : pvk::device::kVendorId;
  const bool forceVersion = data[0] & 64;
  const uint16_t version = static_cast<uint16_t>(data[2] | (data[3] << 8));
  feed.bytes.assign(data + 6, data + size);
  feed.at = 0;

  std::memset(&MyDev, 0, sizeof MyDev);
  std::memset(&MyMICR.head, 0, sizeof MyMICR.head);
  MyDev.handleValue = pvk::device::kNoHandle;
  MyDev.fwVersion = data[4] & 1 ? 0x1005 : 0;  // a version kept from an earlier opening
  std::snprintf(MyDev.cnfDir, sizeof MyDev.cnfDir, "%s", dir.c_str());
  MyLog.Log = 0;
  MyLog.Verbose = 0;
  MyAcq.pageNumEn = data[4] & 2 ? 1 : 0;
  fw3000Enable = data[4] & 4 ? 1 : 0;
  MyDebug.statusIn = data[4] & 8 ? 1 : 0;
  pidDLL = 0;

  Vx3DeviceOpen(-1, nullptr);
  if (MyDev.usbHandle) {
    if (forceVersion) MyDev.fwVersion = version;
    unsigned long low = 0, high = 0;
    Vx3CompositionLH(low, high);
    for (int i = 0; i < (data[5] & 3) + 1; ++i) FX2ReadStatusL();
    FX2ReadStatusLH(&low, &high);
    Vx3IsExtPwrd();
    Vx3SpecialHW();
    LeggiNPages(true, true);
    LeggiNStamp(true, true);
    SetScanBusy(data[5] & 4);
    // A device marked lost is reopened by the next check, against its kept serial.
    if (MyDev.state < 0) {
      isValidDevice();
      isValidDevice();
    }
    char text[300];
    Vx3Version(text, static_cast<short>(sizeof text));
  }
  Vx3DeviceClose(false);
  dropLock();
  Vx3BaseCloseLinux();
  return 0;
}
