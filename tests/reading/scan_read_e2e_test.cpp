// A cheque read end to end through the exported calls on the software scanner: an OCR-B line, a
// Code 128, a PDF417, a DataMatrix and a codeline printed at known places, zones added with
// PVKOCRZoneAdd in pixels of the cut front, one PVKImgScan1, and each zone's text and count
// checked against what was printed.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>

#include "core/records.h"
#include "demo_cheque_scan.h"

namespace {

namespace dc = pvk::democheque;

// Threads of this process now.
int threadCount() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (const dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

class ChequeRead : public demoscan::DemoChequeScan {
 protected:
  void SetUp() override { open(pvkemu_profile_full); }  // a device with the line aligner
};

// The composed sides hold no 0 pixel: on a device with the line aligner a 0 byte marks where a
// line slot starts, and an inked 0 would shift the rest of its line (the front was then never
// cut to the paper and every zone missed its print). Both codelines, upright and turned.
TEST_F(ChequeRead, EveryZoneReadsWhatWasPrinted) {
  const int threads = threadCount();
  for (short codeline : {short{202}, short{1}}) {
    const dc::Cheque c = dc::makeCheque(codeline);
    EXPECT_EQ(*std::min_element(c.front.begin(), c.front.end()), 1);
    for (bool upside : {false, true}) {
      SCOPED_TRACE(testing::Message() << "codeline " << codeline << (upside ? " upside down" : " upright"));
      EXPECT_EQ(scan(c, upside), 0);
      EXPECT_EQ(MyDev.img[1].trimWidth, c.width - 1);
      EXPECT_EQ(MyDev.img[1].rowsUsed, c.height - 1);
      expectRead(c);
    }
  }
  // The calls did their work on this thread: none was started in the host's process.
  EXPECT_EQ(threadCount(), threads);
}

}  // namespace
