// The version text of the library and the opened device, and the small identity helpers.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/frame.h"
#include "core/records.h"
#include "core/trace.h"
#include "device/device.h"

namespace {

std::string softwarePart() {
  return std::string("SW Version ") + pvk::core::kVersion + " build " + pvk::core::kBuildTag + ", ";
}

int copyOut(const std::string& text, char* buffer, short size) {
  if (!buffer || size < 1) return static_cast<int>(text.size()) + 1;
  if (text.size() + 1 > static_cast<size_t>(size)) {
    pvk::device::traceError("size too short");
    MyDev.lastResult = PVK_ERR_INV_PARAMETER;
    return -1;
  }
  std::memset(buffer, 0, static_cast<size_t>(size));
  std::memcpy(buffer, text.data(), text.size());
  MyDev.lastResult = 0;
  return static_cast<int>(text.size());
}

}  // namespace

int Vx3Version(char* buffer, short size) {
  std::string text = softwarePart();
  if (MyDev.fwVersion != 0 && MyDev.productId != 0) {
    char device[48];
    std::snprintf(device, sizeof device, "FW 0x%x, PID_%04x", MyDev.fwVersion, MyDev.productId);
    text += device;
    WriteTrace(device, false);
  } else {
    WriteTrace(text.c_str(), false);
  }
  return copyOut(text, buffer, size);
}

bool isValidPid(const char*, unsigned short vendor, unsigned short product, char*) {
  bool known = product == 3 || product == 4 || product == 5 || product == 8 || product == 9 ||
               product == 14 || (product == 11 && vendor == pvk::device::kVendorId);
  if (!known) return false;
  if (pidDLL != 0 && product != pidDLL) {
    char text[40];
    std::snprintf(text, sizeof text, "not opening pid 0x%04x", product);
    WriteTrace(text, false);
    return false;
  }
  return true;
}

int Vx3VersionNull(char* buffer, short size) {
  std::string text = softwarePart();
  std::string list;
  for (unsigned short pid = 1; pid <= 99; ++pid) {
    if (!isValidPid(nullptr, pvk::device::kVendorId, pid, nullptr)) continue;
    char item[16];
    std::snprintf(item, sizeof item, "PID_%04x, ", pid);
    if (text.size() + list.size() + std::strlen(item) > 1024) {
      pvk::device::traceError("PVKVersion with invalid string size");
      MyDev.lastResult = PVK_ERR_GENERIC;
      break;
    }
    list += item;
  }
  if (list.size() >= 2) list.resize(list.size() - 2);
  return copyOut(text + list, buffer, size);
}

bool Vx3GenerateInstLog(char*) { return true; }

unsigned short pidStr_2_pid(char* text) {
  if (!text || std::strlen(text) < 5) return 0;
  return static_cast<unsigned short>(std::strtoul(text + 4, nullptr, 16));
}

const char* AccorciaSN(const char* serial, int n) {
  if (!serial) return nullptr;
  int len = static_cast<int>(std::strlen(serial));
  if (n < 1 || n >= len) return serial;
  return serial + len - n;
}

void WriteDeviceError(unsigned long code, char* text) {
  const char* t = text ? text : "";
  if (static_cast<long>(code) == -2) {
    MyDev.lastResult = PVK_ERR_DEVICE_NOT_FOUND;
    pvk::device::traceError(t, " - device not found");
  } else {
    MyDev.lastResult = PVK_ERR_GENERIC;
    pvk::device::traceError(t, " - failure");
  }
}
