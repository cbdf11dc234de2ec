// Linked into every test program: once its tests are over, the lock files of the scanners still
// on the software scanner's bus are removed (a test program runs one test, so those are the
// scanners its test drove). A program that never loaded the software scanner removes nothing.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "ep0_lock_file.h"

namespace {

class ScannerLocks : public ::testing::Environment {
 public:
  void TearDown() override {
    // Found in the process, where the test linked it or the library loaded it as libusb.
    auto* profileOf = reinterpret_cast<pvkemu_profile* (*)(int)>(::dlsym(RTLD_DEFAULT, "pvkemu_device_profile"));
    if (profileOf == nullptr) return;
    for (int dev = 0; const pvkemu_profile* p = profileOf(dev); ++dev) pvk::testing::removeEp0LockFile(*p);
  }
};

[[maybe_unused]] ::testing::Environment* const registered =
    ::testing::AddGlobalTestEnvironment(new ScannerLocks);

}  // namespace
