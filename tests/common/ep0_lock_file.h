// The lock file the library keeps for a scanner's control endpoint, named as the library names
// it from what the scanner reports (vendor, product, serial string), for tests that see only the
// shared library. The library leaves a scanner's lock file for the next host; a test's scanners
// and their serials exist only for the test, so their files go when it does. Header only.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../../emulator/pvkemu.h"

namespace pvk::testing {

// The low part of a serial string: of its last 15 characters, any but a digit read as 0, the
// last 8 (or all, when fewer than 9) as a decimal number.
inline uint32_t serialLow(const char* serial) {
  const size_t len = std::strlen(serial);
  std::string piece(serial + (len > 15 ? len - 15 : 0));
  for (char& c : piece)
    if (c < '0' || c > '9') c = '0';
  if (piece.size() >= 9) piece.erase(0, piece.size() - 8);
  return static_cast<uint32_t>(std::strtoul(piece.c_str(), nullptr, 10));
}

inline std::string ep0LockFile(uint16_t vendor, uint16_t product, const char* serial) {
  char path[160];
  std::snprintf(path, sizeof path, "%s/vid_%04x_pid_%04x_snLow_%d_EP0_A.lock",
                ::access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : "/tmp", vendor, product,
                static_cast<int32_t>(serialLow(serial)));
  return path;
}

inline void removeEp0LockFile(const pvkemu_profile& p) {
  ::unlink(ep0LockFile(p.vendor_id, p.product_id, p.serial).c_str());
}

}  // namespace pvk::testing
