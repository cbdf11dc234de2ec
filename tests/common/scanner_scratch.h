// A test on the software scanner, reset and on its virtual clock, with a scratch directory of
// its own that goes with the fixture. Header only.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "pvkemu.h"
#include "scratch_dir.h"

namespace pvk::testing {

class ScannerScratch : public ::testing::Test {
 protected:
  void SetUp() override {
    pvkemu_clock_virtual(1);
    pvkemu_reset();
    dir = makeScratchDir("pvk_scan_");
    ASSERT_FALSE(dir.empty());
  }
  // After the fixture's TearDown, which closes the library first.
  ~ScannerScratch() override { removeScratchDir(dir); }
  std::string path(const std::string& name) const { return dir + "/" + name; }

  std::string dir;
};

}  // namespace pvk::testing
