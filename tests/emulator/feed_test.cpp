// A fed document on the wire: the sheet it puts at the entry photocell and the raw stream of
// the plain layout, with the line aligner's markers, pinned with bytes worked out by hand.
#include <gtest/gtest.h>
#include <libusb.h>

#include <vector>

#include "emulator_bus.h"
#include "pvkemu.h"
#include "pvkemu_image.h"
#include "pvkemu_sheet.h"

namespace {

using emutest::Bus;
using V = std::vector<uint8_t>;

struct Feed : Bus {
  // Three sensor pixels, two lines: a black ink pixel on each line of the front, the rear white.
  const uint8_t front[6] = {0, 7, 255, 3, 0, 9};

  int feed() {
    pvkemu_document doc{};
    doc.width = 3;
    doc.height = 2;
    doc.front[PVKEMU_PLANE_GREY] = front;
    return pvkemu_feed(dev, &doc);
  }
  // Whether the status reply carries the entry photocell (bit 2 of the raw word).
  bool atEntry() { return (in(3, 8).at(1) & PVKEMU_SHEET_ENTRY) != 0; }
  // Grey, both sides, no magnetic bytes: the plain layout, with the photocell-wait bits of
  // byte 3. Then the acquisition start; the result of the read is left in rc.
  V acquire(uint8_t byte3 = 0) {
    V block(33, 0);
    block[1] = 0x06;
    block[3] = byte3;
    EXPECT_EQ(out(61, block), 33);
    EXPECT_EQ(command(62), 1);
    V bytes(64, 0xEE);
    int n = 0;
    rc = libusb_bulk_transfer(h, 0x82, bytes.data(), 64, &n, 1000);
    bytes.resize(static_cast<size_t>(n));
    return bytes;
  }
  int rc = 0;
};

TEST_F(Feed, TheSheetShowsAtTheEntryPhotocellUntilTheAcquisition) {
  pvkemu_profile p;
  pvkemu_profile_basic(&p);
  plug(p);
  EXPECT_FALSE(atEntry());
  ASSERT_EQ(feed(), 0);
  EXPECT_TRUE(atEntry());
  EXPECT_TRUE(atEntry());
  acquire();
  EXPECT_FALSE(atEntry());
  // A sheet the caller set for a test of the wait stays: it shows after two status reads.
  ASSERT_EQ(pvkemu_sheet(dev, 2, 1, PVKEMU_SHEET_ENTRY), 0);
  ASSERT_EQ(feed(), 0);
  EXPECT_FALSE(atEntry());
  EXPECT_FALSE(atEntry());
  EXPECT_TRUE(atEntry());
}

// Once acquired the document is out of the device, as a sheet leaves a real transport: the
// photocell is clear and the next start, without a new document, sends no line. A device told
// to wait at its photocell (byte 3 without 0x02) waits in vain and the read times out; one told to
// start at once ends the stream empty. A sheet that stays in gives its document again.
TEST_F(Feed, ADocumentLeavesWhenAcquiredAndAStartWithoutOneSendsNoLine) {
  const V stream = {0x00, 0xFF, 0x07, 0xFF, 0xFF, 0xFF, 0x03, 0xFF, 0x00, 0xFF, 0x09, 0xFF};
  const struct {
    const char* name;
    bool fed, stays;  // a sheet that stays in after the first start
    uint8_t byte3;    // of the second start
    int rc;
  } cases[] = {
      {"start at once", true, false, 0x03, LIBUSB_SUCCESS},
      {"device waits", true, false, 0x00, LIBUSB_ERROR_TIMEOUT},
      {"only the host waits", true, false, 0x01, LIBUSB_ERROR_TIMEOUT},
      {"nothing ever fed", false, false, 0x03, LIBUSB_SUCCESS},
      {"sheet stays in", true, true, 0x03, LIBUSB_SUCCESS},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    pvkemu_profile p;
    pvkemu_profile_basic(&p);
    if (h) libusb_close(h);
    plug(p);
    if (c.fed) {
      ASSERT_EQ(feed(), 0);
      if (c.stays) {
        ASSERT_EQ(pvkemu_sheet(dev, 0, -1, PVKEMU_SHEET_ENTRY), 0);
      }
      EXPECT_EQ(acquire(0x03), stream);
    }
    EXPECT_EQ(atEntry(), c.stays);
    EXPECT_EQ(acquire(c.byte3), c.stays ? stream : V{});
    EXPECT_EQ(rc, c.rc);
  }
}

// Front and rear bytes alternate per pixel, one slot per line. With the line aligner the first
// byte of each slot is the 0 marker and an inked 0 arrives as 1; without it bytes pass as fed.
TEST_F(Feed, TheLineAlignerMarksEverySlotAndSendsNoZeroPixel) {
  struct Case {
    void (*profile)(pvkemu_profile*);
    V stream;
  } cases[] = {
      {pvkemu_profile_full, {0x00, 0xFF, 0x07, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0x01, 0xFF, 0x09, 0xFF}},
      {pvkemu_profile_basic, {0x00, 0xFF, 0x07, 0xFF, 0xFF, 0xFF, 0x03, 0xFF, 0x00, 0xFF, 0x09, 0xFF}},
  };
  for (const Case& c : cases) {
    pvkemu_profile p;
    c.profile(&p);
    SCOPED_TRACE(p.firmware);
    if (h) libusb_close(h);
    plug(p);
    ASSERT_EQ(feed(), 0);
    EXPECT_EQ(acquire(), c.stream);
  }
}

}  // namespace
