// A fed document on the wire: the sheet it puts at the entry photocell and the raw stream of
// the plain layout, with the line aligner's markers, pinned with bytes worked out by hand.
#include <gtest/gtest.h>
#include <libusb.h>

#include <string>
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
    return pvkemu_feed_lines(dev, &doc);
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

// A sheet laid on the transport, read whole: two pixels a side on the grey basic scanner (no
// line aligner) with 2592 sensor pixels, a raw line of 5184 bytes. The sheet lies against the
// far edge (its pixels in the last four bytes of a slot), the transport's 25 before it; a sheet
// with paper in its first or last line passes between 50 lines of transport. A grey sheet shows
// its plane in each colour slot; a colour sheet scanned in grey shows its luminance: (306 x 0x5A +
// 601 x 0x3C + 117 x 0x1E) >> 10 = 65 = 0x41. The magnetic head's bytes (current layout, one per
// slot) go with the sheet's line; over the transport the head rests at 0x80.
TEST_F(Feed, ASheetIsLaidAgainstTheFarEdgeBetweenTransportLines) {
  const uint8_t paper[2] = {0x11, 0xC8}, dark[2] = {0x11, 0x12}, rear[2] = {0x21, 0x22};
  const uint8_t red[2] = {0x5A, 0x5A}, green[2] = {0x3C, 0x3C}, blue[2] = {0x1E, 0x1E}, head[1] = {0xA1};
  const V onPaper = {0x11, 0x21, 0xC8, 0x22}, onDark = {0x11, 0x21, 0x12, 0x22};
  struct Patch {
    size_t line, at;  // at: bytes from the line's start
    V bytes;
  };
  struct Case {
    const char* name;
    const uint8_t *grey, *green, *blue;  // front planes
    uint8_t byte1, byte2;                 // of the configuration block
    size_t lines, lineBytes;
    std::vector<Patch> patches;  // over lines of 25, each led by the head's 0x80 when it is on
  } cases[] = {
      {"paper at its edges", paper, nullptr, nullptr, 0x06, 0, 101, 5184, {{50, 5180, onPaper}}},
      {"a dark sheet", dark, nullptr, nullptr, 0x06, 0, 1, 5184, {{0, 5180, onDark}}},
      {"grey in colour", dark, nullptr, nullptr, 0x07, 0, 1, 3 * 5184,
       {{0, 5180, onDark}, {0, 10364, onDark}, {0, 15548, onDark}}},
      {"colour in grey", red, green, blue, 0x06, 0, 1, 5184, {{0, 5180, {0x41, 0x21, 0x41, 0x22}}}},
      {"the head on the sheet", paper, nullptr, nullptr, 0x06, 0x20, 101, 5185,
       {{50, 0, {0xA1}}, {50, 5181, onPaper}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pvkemu_profile p;
    pvkemu_profile_basic(&p);
    p.firmware = 0x5011;  // the current magnetic layout; no line aligner announced
    if (h) libusb_close(h);
    plug(p);
    pvkemu_document doc{};
    doc.width = 2;
    doc.height = 1;
    doc.front[PVKEMU_PLANE_GREY] = c.grey;
    doc.front[PVKEMU_PLANE_GREEN] = c.green;
    doc.front[PVKEMU_PLANE_BLUE] = c.blue;
    doc.rear[PVKEMU_PLANE_GREY] = rear;
    doc.micr = head;
    doc.micr_length = doc.micr_per_slot = 1;
    ASSERT_EQ(pvkemu_feed(dev, &doc), 0);
    V want(c.lines * c.lineBytes, 25);
    for (size_t y = 0; c.byte2 && y < c.lines; ++y) want[y * c.lineBytes] = 0x80;
    for (const Patch& q : c.patches) std::copy(q.bytes.begin(), q.bytes.end(), &want[q.line * c.lineBytes + q.at]);
    V block(33, 0);
    block[1] = c.byte1;
    block[2] = c.byte2;
    block[3] = 0x03;  // start at once
    ASSERT_EQ(out(61, block), 33);
    ASSERT_EQ(command(62), 1);
    V got(want.size() + 512, 0xEE);
    int n = 0;
    EXPECT_EQ(libusb_bulk_transfer(h, 0x82, got.data(), static_cast<int>(got.size()), &n, 1000), 0);
    got.resize(static_cast<size_t>(n));
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i)
      ASSERT_EQ(got[i], want[i]) << "line " << i / c.lineBytes << " byte " << i % c.lineBytes;
  }
}

// A document wider than the sensor is refused, and says why where the scanner's mistakes are
// noted; one of exactly the sensor's width is taken. The sensors' own lines take any width.
TEST(FeedWidth, AWiderThanSensorSheetIsRefusedWithItsReason) {
  pvkemu_reset();
  pvkemu_profile p;
  pvkemu_profile_basic(&p);
  const int dev = pvkemu_add_device(&p);
  std::vector<uint8_t> line(2593, 200);
  pvkemu_document doc{};
  doc.height = 1;
  doc.front[PVKEMU_PLANE_GREY] = line.data();
  doc.width = 2593;
  EXPECT_EQ(pvkemu_feed(dev, &doc), -1);
  EXPECT_EQ(pvkemu_error_count(), 1);
  const std::string why = pvkemu_last_error();
  EXPECT_NE(why.find("2593 pixels wide does not fit the sensor's 2592"), std::string::npos) << why;
  EXPECT_EQ(pvkemu_feed_lines(dev, &doc), 0);
  doc.width = PVKEMU_SENSOR_PIXELS;
  EXPECT_EQ(pvkemu_feed(dev, &doc), 0);
  EXPECT_EQ(pvkemu_error_count(), 1);
  pvkemu_reset();
}

}  // namespace
