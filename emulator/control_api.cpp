// The software scanner's control interface for tests (pvkemu.h): the built-in profiles and the
// calls that shape the bus, script the firmware, inject faults and read the request log.
#include <cstring>

#include "bus.h"
#include "image_stream.h"
#include "sheet_model.h"
#include "inkjet_head.h"
#include "stripe_reader.h"

#ifndef PVK_USB_VENDOR_ID
#error "PVK_USB_VENDOR_ID must be defined by the build"
#endif

using namespace pvk::emulator;

namespace {

void commonProfile(pvkemu_profile* p) {
  std::memset(p, 0, sizeof *p);
  p->vendor_id = PVK_USB_VENDOR_ID;
  p->status = 1u << 16;  // external power present
}

}  // namespace

extern "C" {

void pvkemu_profile_basic(pvkemu_profile* p) {
  if (!p) return;
  commonProfile(p);
  p->product_id = 4;
  p->bcd_usb = 0x0110;
  p->firmware = 0x3103;
  std::strcpy(p->serial, "31050777");
  // Rear sensor, entry photocell, feeder, status gates A and B.
  p->composition_low = (1u << 1) | (1u << 7) | (1u << 8) | (1u << 11) | (1u << 13);
  p->device_class = 5;  // a 5 V device
  p->pages = 1200;
  p->stamps = 0;
}

void pvkemu_profile_full(pvkemu_profile* p) {
  if (!p) return;
  commonProfile(p);
  p->product_id = 9;
  p->bcd_usb = 0x0200;
  p->firmware = 0x5011;
  std::strcpy(p->serial, "12400512");
  p->composition_low = (1u << 1) | (7u << 4) | (1u << 7) | (1u << 8) | (1u << 9) | (1u << 11) |
                       (1u << 12) | (1u << 13) | (1u << 14) | (1u << 16) | (1u << 17) | (1u << 18) |
                       (1u << 24) | (1u << 25) | (1u << 27) | (1u << 30) | (1u << 31);
  p->composition_high = (1u << 4) | (1u << 5);  // stream-end status, buzzer
  p->device_class = 12;
  // Magnetic head: present, rotation bit, reference 200, 200 dpi, parameters, and 10 magnetic
  // bytes per plane slot with one side or both (bytes 8/11 and 9/12): about 1,000 samples per
  // inch at 300 raw lines per inch.
  const uint8_t head[16] = {0, 0x41, 0x90, 0x01, 20, 10, 2, 4, 10, 10, 0, 0, 0, 0, 0, 0};
  std::memcpy(p->head_config, head, sizeof head);
  // Print head: resolution 30, offset 300 (bytes 1 and 7), intensity 128, origin (50, 10),
  // buffer 32 x 64 bytes. Three inches in from the sensor's far edge, the stamp lands on a
  // cheque centred on the sensor and on one laid against the far edge alike.
  const uint8_t ink[9] = {30, 300 & 0xFF, 128, 50, 0, 10, 0, 300 >> 8, 32};
  std::memcpy(p->inkjet_config, ink, sizeof ink);
  p->capability = 0x08;
  p->pages = 52340;
  p->stamps = 1710;
}

int pvkemu_loaded(void) { return 1; }

void pvkemu_reset(void) {
  Bus& b = configuredBus();
  for (Device& d : b.devices) {
    d.plugged = false;
    d.usb = nullptr;
  }
  b.devices.clear();
  dropPendingTransfers();
  imageStreamReset();
  sheetReset();
  stripeBusReset();
  inkjetBusReset();
  b.log.clear();
  b.errorCount = 0;
  b.lastError.clear();
}

int pvkemu_add_device(const pvkemu_profile* p) {
  if (!p) return -1;
  Bus& b = configuredBus();
  Device d;
  d.id = static_cast<int>(b.devices.size());
  d.profile = *p;
  d.profile.serial[sizeof d.profile.serial - 1] = 0;
  d.usb = newUsbDevice(d.id);
  b.devices.push_back(d);
  return d.id;
}

int pvkemu_unplug(int dev) {
  configuredBus();
  Device* d = deviceById(dev);
  if (!d) return -1;
  d->plugged = false;
  d->claimed = false;
  return 0;
}

int pvkemu_replug(int dev) {
  configuredBus();
  Device* d = deviceById(dev);
  if (!d) return -1;
  if (d->plugged) return 0;
  d->plugged = true;
  d->usb = newUsbDevice(d->id);  // a new USB device; the old one stays dead
  d->scanEnabled = d->stripeEnabled = d->scanBusy = false;
  d->openHandles = 0;
  return 0;
}

pvkemu_profile* pvkemu_device_profile(int dev) {
  configuredBus();
  Device* d = deviceById(dev);
  return d ? &d->profile : nullptr;
}

int pvkemu_open_handles(int dev) {
  Device* d = deviceById(dev);
  return d ? d->openHandles : -1;
}

int pvkemu_claimed(int dev) {
  Device* d = deviceById(dev);
  return d ? (d->claimed ? 1 : 0) : -1;
}

int pvkemu_script_status(int dev, const uint32_t* words, size_t count) {
  configuredBus();
  Device* d = deviceById(dev);
  if (!d || (count && !words)) return -1;
  d->statusScript.assign(words, words + count);
  d->statusPos = 0;
  return 0;
}

int pvkemu_fault(int dev, int wvalue, int direction, int kind, int times, int shortLength) {
  configuredBus();
  Device* d = deviceById(dev);
  if (!d || kind < PVKEMU_FAULT_TIMEOUT || kind > PVKEMU_FAULT_SHORT) return -1;
  d->faults.push_back(Fault{wvalue, direction, kind, times, shortLength});
  return 0;
}

int pvkemu_fault_claim(int dev, int code, int times) {
  configuredBus();
  Device* d = deviceById(dev);
  if (!d) return -1;
  d->claimFault = code;
  d->claimFaultTimes = times;
  return 0;
}

int pvkemu_fault_open(int dev, int code, int times) {
  configuredBus();
  Device* d = deviceById(dev);
  if (!d) return -1;
  d->openFault = code;
  d->openFaultTimes = times;
  return 0;
}

void pvkemu_clear_faults(void) {
  for (Device& d : configuredBus().devices) {
    d.faults.clear();
    d.claimFaultTimes = d.openFaultTimes = 0;
  }
  imageStreamClearFaults();
}

size_t pvkemu_log_count(void) { return configuredBus().log.size(); }

int pvkemu_log_get(size_t i, pvkemu_request* out) {
  Bus& b = configuredBus();
  if (!out || i >= b.log.size()) return -1;
  *out = b.log[i];
  return 0;
}

void pvkemu_log_clear(void) { configuredBus().log.clear(); }

int pvkemu_stream_push(int dev, const void* data, size_t length) {
  configuredBus();
  Device* d = deviceById(dev);
  if (!d || (length && !data)) return -1;
  const auto* p = static_cast<const uint8_t*>(data);
  d->stream.append(p, length);
  d->streamEnded = false;
  d->streamQueued = true;
  return 0;
}

int pvkemu_stream_end(int dev) {
  configuredBus();
  Device* d = deviceById(dev);
  if (!d) return -1;
  d->streamEnded = true;
  return 0;
}

size_t pvkemu_bulk_out_take(int dev, void* buffer, size_t size) {
  Device* d = deviceById(dev);
  if (!d) return 0;
  size_t total = d->bulkOut.size();
  if (buffer) std::memcpy(buffer, d->bulkOut.data(), total < size ? total : size);
  d->bulkOut.clear();
  return total;
}

int pvkemu_error_count(void) { return configuredBus().errorCount; }

const char* pvkemu_last_error(void) { return configuredBus().lastError.c_str(); }

}  // extern "C"
