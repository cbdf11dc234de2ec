// The library opened through its exported calls on a bus holding one software scanner, in a
// directory of the test's own, and closed with that directory removed.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "PlavikMS.h"
#include "pvkemu.h"

namespace scanlib {

struct OpenLibrary {
  std::string dir;
  int h = -1;

  void* handle() const { return reinterpret_cast<void*>(static_cast<intptr_t>(h)); }

  // Virtual clock, one scanner of profile p, the library initialised in a new directory under
  // /tmp named after prefix. Use inside ASSERT_NO_FATAL_FAILURE.
  void openLibrary(const pvkemu_profile& p, const std::string& prefix) {
    pvkemu_clock_virtual(1);
    pvkemu_reset();
    ASSERT_EQ(pvkemu_add_device(&p), 0);
    std::string tmpl = "/tmp/" + prefix + "XXXXXX";
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir = tmpl;
    h = PVKInitializeSN(dir.data(), nullptr);
    ASSERT_GT(h, 0) << PVKGetLastResult();
  }
  void closeLibrary() {
    if (h > 0) PVKClose(handle());
    h = -1;
    if (!dir.empty()) (void)!std::system(("rm -rf '" + dir + "'").c_str());
    dir.clear();
  }
};

}  // namespace scanlib
