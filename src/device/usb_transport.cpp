// The USB link: finding and opening the scanner, its interface, and the vendor control request
// through which every other part of the library speaks to the device.
#include <libusb.h>

#include <cstdio>
#include <cstring>

#include "core/frame.h"
#include "core/records.h"
#include "core/trace.h"
#include "device/device.h"

uint8_t initLibUsb = 0;

namespace {

// Reads string descriptor 4 (the serial number) of an open handle into out (254 characters at
// most); empty when the device has none.
void readSerial(libusb_device_handle* h, char* out, size_t size) {
  std::memset(out, 0, size);
  unsigned char buf[1024] = {0};
  int n = libusb_get_string_descriptor_ascii(h, 4, buf, sizeof buf);
  if (n <= 0) return;
  size_t len = static_cast<size_t>(n) < size - 1 ? static_cast<size_t>(n) : size - 1;
  std::memcpy(out, buf, len);
  out[len] = 0;
}

void traceInterfaceError(int rc, const char* what, bool traceNotFound) {
  char text[96];
  switch (rc) {
    case LIBUSB_ERROR_BUSY:
      std::snprintf(text, sizeof text, "LIBUSB_ERROR_BUSY %s", what);
      pvk::device::traceError(text);
      break;
    case LIBUSB_ERROR_NOT_FOUND:
      if (!traceNotFound) return;
      std::snprintf(text, sizeof text, "LIBUSB_ERROR_NOT_FOUND %s", what);
      pvk::device::traceError(text);
      break;
    case LIBUSB_ERROR_NO_DEVICE:
      std::snprintf(text, sizeof text, "LIBUSB_ERROR_NO_DEVICE %s", what);
      pvk::device::traceError(text);
      break;
    default:
      pvk::device::traceError(what, rc);
  }
}

// Drops the kept device reference.
void dropDevice() {
  if (MyDev.usbDevice) libusb_unref_device(MyDev.usbDevice);
  MyDev.usbDevice = nullptr;
}

void closeHandle() {
  if (!MyDev.usbHandle) return;
  Vx3ReleaseInterface();
  libusb_close(MyDev.usbHandle);
  MyDev.usbHandle = nullptr;
}

// Whether a listed device passes the vendor and product filters.
bool candidate(const libusb_device_descriptor& d) {
  if (d.idVendor != MyDev.vendorId) return false;
  if (d.idProduct == 6 || d.idProduct == 10) return false;
  if (pidDLL != 0 && d.idProduct != pidDLL) return false;  // the model this instance serves
  return MyDev.productId == 0 || d.idProduct == MyDev.productId;
}

}  // namespace

namespace pvk::device {

uint16_t requestValue(int bank, int reg) {
  int offset = bank == 209 ? 10 : bank == 210 ? 50 : 0;
  return static_cast<uint16_t>(reg + offset);
}

}  // namespace pvk::device

bool Vx3BaseOpen(const char* serial) {
  if (MyDev.usbDevice && MyDev.state >= 0) return true;
  if (MyDev.state < 0) closeHandle();
  if (!initLibUsb) {
    initLibUsb = 1;
    if (libusb_init(nullptr) < 0) return false;
  }
  MyDev.vendorId = pvk::device::kVendorId;
  libusb_device** list = nullptr;
  ssize_t count = libusb_get_device_list(nullptr, &list);
  if (count < 0) return false;
  const bool bySerial = serial && serial[0];
  libusb_device_handle* handle = nullptr;
  libusb_device* found = nullptr;
  libusb_device_descriptor desc{};
  char sn[255];
  for (ssize_t i = 0; i < count && !found; ++i) {
    if (libusb_get_device_descriptor(list[i], &desc) < 0) {
      libusb_free_device_list(list, 1);
      return false;
    }
    if (!candidate(desc)) continue;
    if (libusb_open(list[i], &handle) != 0 || !handle) {
      handle = nullptr;
      if (bySerial) continue;  // another device may still be the one asked for
      libusb_free_device_list(list, 1);
      dropDevice();
      return false;
    }
    readSerial(handle, sn, sizeof sn);
    // The serial is compared before a device is kept: a wrong device is closed at once.
    if (bySerial && std::strcmp(sn, serial) != 0) {
      libusb_close(handle);
      handle = nullptr;
      continue;
    }
    found = list[i];
  }
  if (!found) {
    libusb_free_device_list(list, 1);
    return false;
  }
  dropDevice();
  MyDev.usbDevice = libusb_ref_device(found);
  MyDev.usbHandle = handle;
  MyDev.productId = desc.idProduct;
  MyDev.highSpeed = desc.bcdUSB == 0x0200 ? 1 : 0;
  MyAcq.usbBlock = MyDev.highSpeed ? 512 : 64;
  Vx3ClaimInterface();
  MyDev.state = pvk::device::kStateValid;
  std::memcpy(MyDev.serialString, sn, sizeof MyDev.serialString);
  std::memcpy(MyDev.openTag, "Vx3", 4);
  libusb_free_device_list(list, 1);
  return true;
}

bool MyImageOpen(unsigned short vendor, unsigned short product, char* serial, int, bool, bool) {
  if (!Vx3BaseOpen(serial)) return false;
  bool ok = (vendor == 0 || vendor == MyDev.vendorId) && (product == 0 || product == MyDev.productId) &&
            (!serial || !serial[0] || std::strcmp(serial, MyDev.serialString) == 0);
  if (!ok) Vx3BaseCloseLinux();
  return ok;
}

bool Vx3ClaimInterface() {
  if (!MyDev.usbHandle) return false;
  int rc = libusb_claim_interface(MyDev.usbHandle, 0);
  if (rc == 0) return true;
  traceInterfaceError(rc, "claiming interface", true);
  return false;
}

bool Vx3ReleaseInterface() {
  if (!MyDev.usbHandle) return true;
  int rc = libusb_release_interface(MyDev.usbHandle, 0);
  if (rc == 0) return true;
  traceInterfaceError(rc, "releasing interface", false);
  return false;
}

void Vx3BaseCloseLinux() {
  closeHandle();
  MyDev.openTag[0] = 0;
  dropDevice();
}

void LibUsbClose() {
  closeHandle();
  if (initLibUsb) {
    initLibUsb = 0;
    libusb_exit(nullptr);
  }
}

bool Vx3GetBlockSize(void*) {
  MyDev.highSpeed = 1;
  MyAcq.usbBlock = 512;
  return true;
}

void Vx3BaseGet_SN() { AssegnaMyDevReg(); }

bool Vx3BaseGet_SN(char* a, char* b) {
  if (!a || !b || !a[0] || !b[0]) return false;
  AssegnaMyDevReg();
  return true;
}

namespace {

void traceTransferError(int rc, bool in, uint16_t value) {
  if (rc == LIBUSB_ERROR_TIMEOUT) pvk::device::traceError("control transfer timeout");
  if (rc == LIBUSB_ERROR_NO_DEVICE) pvk::device::traceError("control transfer - no device");
  char text[96];
  std::snprintf(text, sizeof text, "%s %d\tasking %d", in ? "Read usb register" : "Write usb register",
                rc, value);
  pvk::device::traceError(text);
}

int refuse(const char* text, int value) {
  pvk::device::traceError(text, value);
  MyDev.lastResult = PVK_ERR_GENERIC;
  return -1;
}

}  // namespace

int Vx3BaseContrlMsgDev3(libusb_device_handle* handle, int bank, int reg, char* buffer, int length,
                         bool in) {
  if (!handle) return -1;
  bool command = false;
  unsigned char scratch = 0;
  unsigned char* data = reinterpret_cast<unsigned char*>(buffer);
  uint16_t wLength = static_cast<uint16_t>(length);
  // A negative length or a missing buffer for data would reach the bus as garbage: refuse.
  if (length < 0) return refuse("Base control message with invalid length", length);
  if (!buffer) {
    if (length != 0)
      return refuse(in ? "Base control message IN with invalid memory buffer - val"
                       : "Base control message OUT with invalid memory buffer - val",
                    reg);
    if (in) {
      command = true;
      if (MyDev.fwVersion > 0x2006) {
        data = &scratch;
        wLength = 1;
      }
    }
  } else if (length > pvk::device::kMaxControlLength) {
    return refuse("Base control message IN with too much data", length);
  }
  uint16_t value = pvk::device::requestValue(bank, reg);
  int rc;
  {
    pvk::device::Ep0Guard lock;
    rc = libusb_control_transfer(handle, in ? 0xC0 : 0x40, 4, value, 0, data, wLength,
                                 pvk::device::kControlTimeoutMs);
  }
  if (rc < 0) {
    traceTransferError(rc, in, value);
    // A handle whose device went away stays dead, also once the device is back: reopen it.
    if (rc == LIBUSB_ERROR_NO_DEVICE && handle == MyDev.usbHandle) pvk::device::markLost();
    return -1;
  }
  if (command) return wLength == 1 ? 1 : 0;
  // Data requests report what actually crossed the bus, so a short reply can be told apart.
  return rc;
}

int Vx3BaseContrlMsg(int bank, int reg, char* buffer, int length, bool in) {
  if (!MyDev.usbDevice) return -1;
  return Vx3BaseContrlMsgDev3(MyDev.usbHandle, bank, reg, buffer, length, in);
}

int Vx3BaseContrlMsg(int bank, int reg, char* buffer, int length, bool in, bool) {
  return Vx3BaseContrlMsg(bank, reg, buffer, length, in);
}

int Vx3BaseContrlMsgWithoutOpen2(void*, unsigned short, int bank, int reg, char* buffer, int length,
                                 bool in) {
  return Vx3BaseContrlMsg(bank, reg, buffer, length, in);
}

int Vx3BaseContrlMsgWithoutOpen(void* p, unsigned short u, int bank, int reg, char* buffer, int length,
                                bool in, bool direct) {
  if (direct) return Vx3BaseContrlMsg(bank, reg, buffer, length, in);
  int rc = Vx3BaseContrlMsgWithoutOpen2(p, u, bank, reg, buffer, length, in);
  if (rc < 0) rc = Vx3BaseContrlMsg(bank, reg, buffer, length, in);
  return rc;
}
