// A software scanner's device and the library opened on it, for the benchmarks that drive whole
// calls. The device takes a serial of its own: the control lock is per device across processes,
// and other programs driving the software scanner's default device would otherwise make this one
// wait. Needs PVK_FONT_DB_DIR defined by the benchmark's build.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "PlavikMS.h"
#include "pvkemu.h"

namespace pvk::bench {

struct Session {
  int dev = -1, handle = -1;
  std::string dir;
  // profile fills the device's description; serialBase keeps this benchmark's serials apart from
  // another's.
  bool open(const std::string& d, void (*profile)(pvkemu_profile*), int serialBase) {
    dir = d;
    pvkemu_reset();
    pvkemu_profile p;
    profile(&p);
    std::snprintf(p.serial, sizeof p.serial, "%08d", serialBase + static_cast<int>(getpid() % 1000000));
    dev = pvkemu_add_device(&p);
    handle = PVKInitialize(reinterpret_cast<unsigned char*>(dir.data()));
    return dev >= 0 && handle > 0 && PVKDBDirSet(h(), PVK_FONT_DB_DIR) == 0 && PVKImgCreate(h(), 300, 300) == 0;
  }
  void* h() const { return reinterpret_cast<void*>(static_cast<intptr_t>(handle)); }
  void close() {
    if (handle > 0) PVKClose(h());
    handle = -1;
  }
};

}  // namespace pvk::bench
