// The endorser through one document on the software scanner: set up by the host, the head
// gets its blocks and columns in order around the acquisition, the stamp shows in the front
// image, and a head that prints less than the stamp makes the document fail with -81.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../common/stamp_font.h"
#include "../common/cheque_feed.h"
#include "../common/scanner_scratch.h"
#include "../common/synthetic_cheque.h"
#include "PlavikMS.h"
#include "document/document.h"
#include "pvkemu.h"
#include "pvkemu_image.h"
#include "pvkemu_inkjet.h"
#include "pvkemu_sheet.h"

namespace {

class Endorser : public pvk::testing::ScannerScratch {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(ScannerScratch::SetUp());
    pvkemu_profile p;
    pvkemu_profile_full(&p);
    // The head 3.64 inches from the sensor's far edge: the stamp lands on the cheque.
    p.inkjet_config[1] = 364 & 0xFF;
    p.inkjet_config[7] = 364 >> 8;
    dev = pvkemu_add_device(&p);
    handle = PVKInitializeSN(dir.data(), nullptr);
    ASSERT_GT(handle, 0) << PVKGetLastResult();
    ASSERT_TRUE(pvk::testing::writeFile(dir + "/stamp.fnt", pvk::testing::stampFontBytes(pvk::testing::stampGlyphs(), true)));
  }
  void TearDown() override {
    if (handle > 0) PVKClose(h());
    pvkemu_clock_virtual(0);
  }
  void* h() const { return reinterpret_cast<void*>(static_cast<intptr_t>(handle)); }

  // One grey cheque through the scan-and-read acquisition; the acquisition's result.
  int acquire() {
    pvk::testing::ChequeSpec spec;
    front = pvk::testing::drawSide(spec, 1, false);
    rear = pvk::testing::drawSide(spec, 1, true);
    EXPECT_EQ(pvk::testing::feedGrey(dev, front, rear), 0);
    pvkemu_sheet(dev, 0, 1, PVKEMU_SHEET_ENTRY);
    Vx3Read_AcquireImg();
    return MyDev.lastResult;
  }
  // Pixels of the stamp's grey: the cheque has none (paper 215, ink 60, background 25).
  static int stampPixels(const ImgInfo& side) {
    int n = 0;
    for (int r = 0; r < side.rowsUsed; ++r) {
      const uint8_t* p = side.firstRow + static_cast<size_t>(side.trimTop + r) * side.rawLineBytes + side.trimLeft;
      for (int x = 0; x < side.trimWidth; ++x) n += p[x] >= 40 && p[x] <= 55;  // ink of the stamp, not of the cheque
    }
    return n;
  }

  int dev = -1;
  int handle = -1;
  pvk::testing::SidePlanes front, rear;
};

TEST_F(Endorser, OneStampedDocumentOnTheWire) {
  ASSERT_EQ(PVKSetParameter(0, 1), 0);
  ASSERT_EQ(acquire(), 0);
  const int plain = stampPixels(MyDev.img[1]);
  EXPECT_EQ(plain, 0);
  const int stamps = PVKInkjetNumCur(h(), false);

  ASSERT_EQ(PVKInkjet1SetUp(h(), "0123", "stamp", 0, 0, 100, 1), 0);
  pvkemu_log_clear();
  pvkemu_bulk_out_take(dev, nullptr, 0);
  ASSERT_EQ(acquire(), 0);
  // Set-up block, columns, print start, stop, printed count: in that order.
  std::vector<std::string> order;
  for (size_t i = 0; i < pvkemu_log_count(); ++i) {
    pvkemu_request r;
    pvkemu_log_get(i, &r);
    if (r.kind == PVKEMU_LOG_BULK_SYNC && r.endpoint == 6) order.push_back("columns");
    else if (r.kind == PVKEMU_LOG_CONTROL && (r.value == 72 || r.value == 70 || r.value == 71 || r.value == 80))
      order.push_back(std::to_string(r.value));
  }
  ASSERT_GE(order.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(order.begin(), order.begin() + 5),
            (std::vector<std::string>{"72", "columns", "70", "71", "80"}));
  // 6 + 7 + 8 + 6 columns of 12-bit words.
  EXPECT_EQ(pvkemu_bulk_out_take(dev, nullptr, 0), 2u * 27);
  EXPECT_EQ(pvkemu_inkjet_printed(dev), 2 * 27);
  EXPECT_EQ(PVKInkjetNumCur(h(), false), stamps + 1);
  // The stamp kept for the image darkens the front side.
  EXPECT_GT(stampPixels(MyDev.img[1]), plain);
}

TEST_F(Endorser, AnIncompletePrintFailsTheDocument) {
  ASSERT_EQ(PVKInkjet1SetUp(h(), "0123", "stamp", 0, 0, 20, 0), 0);
  ASSERT_EQ(pvkemu_inkjet_limit(dev, 10), 0);
  EXPECT_EQ(acquire(), PVK_ERR_INKJET_INCOMPLETE);
  // Printed: the next document is not stamped again without a new set-up.
  pvkemu_log_clear();
  acquire();
  for (size_t i = 0; i < pvkemu_log_count(); ++i) {
    pvkemu_request r;
    pvkemu_log_get(i, &r);
    EXPECT_FALSE(r.kind == PVKEMU_LOG_CONTROL && r.value == 70);
  }
}

}  // namespace
