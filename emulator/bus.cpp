// The software scanner's USB bus: device enumeration, descriptors, open, claim and the
// synchronous control transfer, with the request log and the injected faults.
#include <cstring>

#include "bus.h"

namespace pvk::emulator {
namespace {

Bus* theBus = nullptr;
bool defaultPresent = false;

Bus& rawBus() {
  if (!theBus) theBus = new Bus();  // lives for the process: the library may hold its devices
  return *theBus;
}

}  // namespace

libusb_device* newUsbDevice(int id) {
  auto* u = new libusb_device{id, 1};  // the bus keeps one reference for ever
  rawBus().usbDevices.push_back(u);
  return u;
}

Bus& bus() {
  Bus& b = rawBus();
  if (!b.configured && !defaultPresent) {
    defaultPresent = true;
    pvkemu_profile p;
    pvkemu_profile_full(&p);
    Device d;
    d.id = 0;
    d.profile = p;
    d.usb = newUsbDevice(0);
    b.devices.push_back(d);
  }
  return b;
}

Bus& configuredBus() {
  Bus& b = rawBus();
  if (!b.configured) {
    b.configured = true;
    if (defaultPresent) {
      // Nothing has shaped the bus yet: the default scanner leaves it.
      for (Device& d : b.devices) d.plugged = false;
      b.devices.clear();
    }
  }
  return b;
}

Device* deviceById(int id) {
  Bus& b = rawBus();
  if (id < 0 || static_cast<size_t>(id) >= b.devices.size()) return nullptr;
  return &b.devices[static_cast<size_t>(id)];
}

void noteMisuse(const std::string& text) {
  Bus& b = rawBus();
  ++b.errorCount;
  b.lastError = text;
}

void logRequest(const pvkemu_request& r) { rawBus().log.push_back(r); }

}  // namespace pvk::emulator

using namespace pvk::emulator;

namespace {

// The device behind a handle, or null when the handle is closed or its device is gone.
Device* liveDevice(libusb_device_handle* h, int* error) {
  if (!h || !h->dev) {
    noteMisuse("null device handle");
    *error = LIBUSB_ERROR_INVALID_PARAM;
    return nullptr;
  }
  if (!h->open) {
    noteMisuse("device handle used after libusb_close");
    *error = LIBUSB_ERROR_NO_DEVICE;
    return nullptr;
  }
  Device* d = deviceById(h->dev->devId);
  if (!d || !d->plugged || d->usb != h->dev) {
    *error = LIBUSB_ERROR_NO_DEVICE;
    return nullptr;
  }
  return d;
}

int libusbCodeOf(int kind) {
  switch (kind) {
    case PVKEMU_FAULT_TIMEOUT: return LIBUSB_ERROR_TIMEOUT;
    case PVKEMU_FAULT_NO_DEVICE: return LIBUSB_ERROR_NO_DEVICE;
    default: return LIBUSB_ERROR_PIPE;
  }
}

// The first fault that matches this request, consumed; null when none.
Fault* takeFault(Device& d, uint16_t value, bool in) {
  for (Fault& f : d.faults) {
    if (f.times == 0) continue;
    if (f.wvalue != PVKEMU_ANY_REQUEST && f.wvalue != value) continue;
    if (f.direction != PVKEMU_DIR_ANY && f.direction != (in ? PVKEMU_DIR_IN : PVKEMU_DIR_OUT)) continue;
    if (f.times > 0) --f.times;
    return &f;
  }
  return nullptr;
}

int faultResult(Device& d, Fault& f, uint8_t type, uint8_t req, uint16_t value,
                unsigned char* data, uint16_t length, unsigned int timeout) {
  if (f.kind != PVKEMU_FAULT_SHORT) {
    if (f.kind == PVKEMU_FAULT_TIMEOUT && clockIsVirtual()) pvkemu_clock_advance_ms(timeout);
    return libusbCodeOf(f.kind);
  }
  if (!(type & LIBUSB_ENDPOINT_IN)) return firmwareControl(d, type, req, value, data, length);
  unsigned char full[4096] = {0};
  int rc = firmwareControl(d, type, req, value, full, length);
  if (rc < 0) return rc;
  int n = f.shortLength < rc ? f.shortLength : rc;
  if (n < 0) n = 0;
  if (n > 0 && data) std::memcpy(data, full, static_cast<size_t>(n));
  return n;
}

}  // namespace

extern "C" {

int libusb_init(libusb_context** ctx) {
  bus();
  if (ctx) *ctx = nullptr;  // everything lives on the default context
  return 0;
}

void libusb_exit(libusb_context*) {}

ssize_t libusb_get_device_list(libusb_context*, libusb_device*** list) {
  if (!list) return LIBUSB_ERROR_INVALID_PARAM;
  Bus& b = bus();
  std::vector<libusb_device*> found;
  for (Device& d : b.devices)
    if (d.plugged) found.push_back(d.usb);
  auto** out = new libusb_device*[found.size() + 1];
  for (size_t i = 0; i < found.size(); ++i) {
    out[i] = found[i];
    ++found[i]->refs;
  }
  out[found.size()] = nullptr;
  *list = out;
  return static_cast<ssize_t>(found.size());
}

void libusb_free_device_list(libusb_device** list, int unref) {
  if (!list) return;
  if (unref)
    for (libusb_device** p = list; *p; ++p) libusb_unref_device(*p);
  delete[] list;
}

libusb_device* libusb_ref_device(libusb_device* dev) {
  if (dev) ++dev->refs;
  return dev;
}

void libusb_unref_device(libusb_device* dev) {
  if (!dev) return;
  if (dev->refs <= 1) {
    noteMisuse("device unreferenced more often than referenced");
    return;
  }
  --dev->refs;
}

int libusb_get_device_descriptor(libusb_device* dev, struct libusb_device_descriptor* desc) {
  if (!dev || !desc) return LIBUSB_ERROR_INVALID_PARAM;
  Device* d = deviceById(dev->devId);
  if (!d || d->usb != dev) return LIBUSB_ERROR_NO_DEVICE;
  std::memset(desc, 0, sizeof *desc);
  desc->bLength = LIBUSB_DT_DEVICE_SIZE;
  desc->bDescriptorType = LIBUSB_DT_DEVICE;
  desc->bcdUSB = d->profile.bcd_usb;
  desc->bMaxPacketSize0 = 64;
  desc->idVendor = d->profile.vendor_id;
  desc->idProduct = d->profile.product_id;
  desc->bcdDevice = d->profile.firmware;
  desc->iSerialNumber = d->profile.serial[0] ? 4 : 0;
  desc->bNumConfigurations = 1;
  return 0;
}

uint8_t libusb_get_bus_number(libusb_device*) { return 1; }
uint8_t libusb_get_device_address(libusb_device* dev) { return dev ? static_cast<uint8_t>(dev->devId + 2) : 0; }

int libusb_open(libusb_device* dev, libusb_device_handle** handle) {
  if (!dev || !handle) return LIBUSB_ERROR_INVALID_PARAM;
  Device* d = deviceById(dev->devId);
  if (!d || !d->plugged || d->usb != dev) return LIBUSB_ERROR_NO_DEVICE;
  if (d->openFaultTimes != 0) {
    if (d->openFaultTimes > 0) --d->openFaultTimes;
    return d->openFault;
  }
  ++dev->refs;
  ++d->openHandles;
  *handle = new libusb_device_handle{dev, true, false};
  bus().handles.push_back(*handle);
  return 0;
}

void libusb_close(libusb_device_handle* h) {
  if (!h) return;
  if (!h->open) {
    noteMisuse("libusb_close on a closed handle");
    return;
  }
  h->open = false;
  Device* d = deviceById(h->dev->devId);
  if (d) {
    if (h->claimed && d->usb == h->dev) d->claimed = false;
    if (d->openHandles > 0) --d->openHandles;
  }
  --h->dev->refs;
  // The handle itself is kept, so that a use after close is noticed instead of crashing.
}

libusb_device* libusb_get_device(libusb_device_handle* h) { return h ? h->dev : nullptr; }

int libusb_claim_interface(libusb_device_handle* h, int iface) {
  int err = 0;
  Device* d = liveDevice(h, &err);
  if (!d) return err;
  if (iface != 0) return LIBUSB_ERROR_NOT_FOUND;
  if (d->claimFaultTimes != 0) {
    if (d->claimFaultTimes > 0) --d->claimFaultTimes;
    return d->claimFault;
  }
  if (d->claimed && !h->claimed) return LIBUSB_ERROR_BUSY;
  d->claimed = h->claimed = true;
  return 0;
}

int libusb_release_interface(libusb_device_handle* h, int iface) {
  int err = 0;
  Device* d = liveDevice(h, &err);
  if (!d) return err;
  if (iface != 0 || !h->claimed) return LIBUSB_ERROR_NOT_FOUND;
  d->claimed = h->claimed = false;
  return 0;
}

int libusb_get_string_descriptor_ascii(libusb_device_handle* h, uint8_t index, unsigned char* data,
                                       int length) {
  int err = 0;
  Device* d = liveDevice(h, &err);
  if (!d) return err;
  pvkemu_request r{};
  r.kind = PVKEMU_LOG_CONTROL;
  r.dev = d->id;
  r.request_type = 0x80;
  r.request = LIBUSB_REQUEST_GET_DESCRIPTOR;
  r.value = static_cast<uint16_t>((LIBUSB_DT_STRING << 8) | index);
  r.index = 0x0409;
  r.length = static_cast<uint16_t>(length < 0 ? 0 : length > 255 ? 255 : length);
  int rc;
  Fault* f = takeFault(*d, r.value, true);
  if (f) {
    rc = libusbCodeOf(f->kind == PVKEMU_FAULT_SHORT ? PVKEMU_FAULT_STALL : f->kind);
  } else if (!data || length <= 0) {
    rc = LIBUSB_ERROR_INVALID_PARAM;
  } else if (index != 4 || !d->profile.serial[0]) {
    rc = LIBUSB_ERROR_PIPE;
  } else {
    // A string descriptor holds at most 126 UTF-16 characters; the ASCII copy ends with a NUL.
    size_t n = strnlen(d->profile.serial, sizeof d->profile.serial);
    if (n > 126) n = 126;
    if (n > static_cast<size_t>(length - 1)) n = static_cast<size_t>(length - 1);
    std::memcpy(data, d->profile.serial, n);
    data[n] = 0;
    std::memcpy(r.data, data, n < sizeof r.data ? n : sizeof r.data);
    rc = static_cast<int>(n);
  }
  r.result = rc;
  logRequest(r);
  return rc;
}

int libusb_control_transfer(libusb_device_handle* h, uint8_t type, uint8_t request, uint16_t value,
                            uint16_t index, unsigned char* data, uint16_t length, unsigned int timeout) {
  int err = 0;
  Device* d = liveDevice(h, &err);
  pvkemu_request r{};
  r.kind = PVKEMU_LOG_CONTROL;
  r.dev = d ? d->id : (h && h->dev ? h->dev->devId : -1);
  r.request_type = type;
  r.request = request;
  r.value = value;
  r.index = index;
  r.length = length;
  bool in = type & LIBUSB_ENDPOINT_IN;
  if (!in && data && length) std::memcpy(r.data, data, length < 64 ? length : 64);
  int rc;
  if (!d) {
    rc = err;
  } else if (Fault* f = takeFault(*d, value, in)) {
    rc = faultResult(*d, *f, type, request, value, data, length, timeout);
  } else if (index != 0) {
    rc = LIBUSB_ERROR_PIPE;
  } else {
    rc = firmwareControl(*d, type, request, value, data, length);
  }
  if (in && rc > 0 && data) std::memcpy(r.data, data, rc < 64 ? static_cast<size_t>(rc) : 64);
  r.result = rc;
  logRequest(r);
  return rc;
}

const char* libusb_error_name(int code) {
  switch (code) {
    case LIBUSB_SUCCESS: return "LIBUSB_SUCCESS";
    case LIBUSB_ERROR_IO: return "LIBUSB_ERROR_IO";
    case LIBUSB_ERROR_INVALID_PARAM: return "LIBUSB_ERROR_INVALID_PARAM";
    case LIBUSB_ERROR_ACCESS: return "LIBUSB_ERROR_ACCESS";
    case LIBUSB_ERROR_NO_DEVICE: return "LIBUSB_ERROR_NO_DEVICE";
    case LIBUSB_ERROR_NOT_FOUND: return "LIBUSB_ERROR_NOT_FOUND";
    case LIBUSB_ERROR_BUSY: return "LIBUSB_ERROR_BUSY";
    case LIBUSB_ERROR_TIMEOUT: return "LIBUSB_ERROR_TIMEOUT";
    case LIBUSB_ERROR_OVERFLOW: return "LIBUSB_ERROR_OVERFLOW";
    case LIBUSB_ERROR_PIPE: return "LIBUSB_ERROR_PIPE";
    case LIBUSB_ERROR_INTERRUPTED: return "LIBUSB_ERROR_INTERRUPTED";
    case LIBUSB_ERROR_NO_MEM: return "LIBUSB_ERROR_NO_MEM";
    case LIBUSB_ERROR_NOT_SUPPORTED: return "LIBUSB_ERROR_NOT_SUPPORTED";
    default: return "LIBUSB_ERROR_OTHER";
  }
}

const char* libusb_strerror(int code) { return libusb_error_name(code); }

}  // extern "C"
