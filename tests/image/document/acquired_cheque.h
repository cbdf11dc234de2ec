// One grey cheque acquired from the software scanner's basic scanner: the images that the
// output tests save, convert and read back. Header only.
#pragma once

#include <cstdint>
#include <string>

#include "../../common/cheque_feed.h"
#include "../../common/scanner_scratch.h"
#include "../../common/synthetic_cheque.h"
#include "PlavikMS.h"
#include "device/device.h"
#include "document/document.h"
#include "image/image.h"

namespace imgtest {

class AcquiredCheque : public pvk::testing::ScannerScratch {
 protected:
  void SetUp() override
  {
    ASSERT_NO_FATAL_FAILURE(ScannerScratch::SetUp());
    pvkemu_profile p;
    pvkemu_profile_basic(&p);
    const int dev = pvkemu_add_device(&p);
    h = Vx3Initialize(0, dir.data(), -1, nullptr);
    ASSERT_GT(h, 0);
    ASSERT_TRUE(Vx3PVKImgCreate(200, 200, 0));
    pvk::testing::ChequeSpec spec;
    pvk::testing::feedGrey(dev, pvk::testing::drawSide(spec, 1, false), pvk::testing::drawSide(spec, 1, true));
    MyAcq.cfgFlags[kCfgWaitDoc] = 0;
    ASSERT_EQ(AcquireImg(0, MyDev.img, true), 0);
  }
  void TearDown() override
  {
    Vx3MultiPageClose();
    Vx3DeviceClose(false);
  }
  void* handle() const { return reinterpret_cast<void*>(static_cast<intptr_t>(h)); }

  int h = -1;
};

}  // namespace imgtest
