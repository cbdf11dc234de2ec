// The raw stream layouts pinned by bytes worked out by hand, on both sides of the wire: what the
// software scanner sends for a tiny document, and what the separation makes of those bytes.
// Two pixels per side: front 11 12, rear 21 22 (grey or red), 13 14 / 23 24 (green),
// 15 16 / 25 26 (blue); backlight 31 32; magnetic bytes A1 A2.
#include <gtest/gtest.h>
#include <libusb.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "acquisition/acquisition.h"
#include "pvkemu.h"
#include "pvkemu_image.h"

using namespace pvk::acquisition;
using Bytes = std::vector<uint8_t>;

namespace {

const Bytes kPlain = {0x11, 0x21, 0x12, 0x22};
const Bytes kColour = {0x11, 0x21, 0x12, 0x22, 0x13, 0x23, 0x14, 0x24, 0x15, 0x25, 0x16, 0x26};
const Bytes kMicrCurrent = {0xA1, 0xA2, 0x11, 0x21, 0x12, 0x22};
const Bytes kMicrOlder = {0x11, 0xA1, 0xA2, 0x21, 0x12, 0x22};
const Bytes kBacklight = {0x11, 0x21, 0x12, 0x22, 0x31, 0x32};
const Bytes kBacklightMicr = {0x11, 0x21, 0x12, 0x22, 0xA1, 0xA2, 0x31, 0x32};

// The software scanner's stream for one configuration block byte 1..3 and firmware.
Bytes scannerStream(uint8_t b1, uint8_t b2, uint8_t b3, uint16_t fw, uint32_t micrPerSlot) {
  pvkemu_reset();
  pvkemu_profile p;
  pvkemu_profile_basic(&p);
  p.firmware = fw;
  p.product_id = 9;
  int dev = pvkemu_add_device(&p);
  const uint8_t front[3][2] = {{0x11, 0x12}, {0x13, 0x14}, {0x15, 0x16}};
  const uint8_t rear[3][2] = {{0x21, 0x22}, {0x23, 0x24}, {0x25, 0x26}};
  const uint8_t back[2] = {0x31, 0x32};
  const uint8_t micr[2] = {0xA1, 0xA2};
  pvkemu_document doc{};
  doc.width = 2;
  doc.height = 1;
  for (int c = 0; c < 3; ++c) {
    doc.front[c] = front[c];
    doc.rear[c] = rear[c];
  }
  doc.backlight = back;
  doc.micr = micr;
  doc.micr_length = 2;
  doc.micr_per_slot = micrPerSlot;
  EXPECT_EQ(pvkemu_feed_lines(dev, &doc), 0);
  libusb_context* ctx = nullptr;
  libusb_init(&ctx);
  libusb_device** list = nullptr;
  Bytes out;
  if (libusb_get_device_list(ctx, &list) < 1) return out;
  libusb_device_handle* h = nullptr;
  EXPECT_EQ(libusb_open(list[0], &h), 0);
  libusb_free_device_list(list, 1);
  uint8_t block[33] = {0};
  block[1] = b1;
  block[2] = b2;
  block[3] = b3;
  EXPECT_EQ(libusb_control_transfer(h, 0x40, 4, 61, 0, block, 33, 1000), 33);
  uint8_t scratch = 0;
  EXPECT_EQ(libusb_control_transfer(h, 0xC0, 4, 62, 0, &scratch, 1, 1000), 1);
  out.resize(64);
  int got = 0;
  libusb_bulk_transfer(h, 0x82, out.data(), 64, &got, 1000);
  out.resize(static_cast<size_t>(got));
  libusb_close(h);
  libusb_exit(ctx);
  return out;
}

struct Separated {
  Bytes row;
  Bytes micr;
};

Separated separate(const Bytes& stream, StreamLayout layout, uint32_t planes, uint32_t micr) {
  StreamGeometry g{};
  g.layout = layout;
  g.sensorPixels = 2;
  g.planes = planes;
  g.micrPerSlot = micr;
  g.micrInBacklight = micr != 0;
  g.trimWidth = 2;
  Bytes raw = stream;
  Separated s;
  s.row.resize(g.outRowBytes());
  uint8_t* buf = nullptr;
  uint64_t count = 0, cap = 0;
  MicrSink sink{&buf, &count, &cap};
  SeparationState st;
  EXPECT_EQ(separateStream(g, st, raw.data(), raw.size(), s.row.data(), s.row.size(), 1, &sink), 1u);
  s.micr.assign(buf, buf + count);
  std::free(buf);
  return s;
}

}  // namespace

TEST(StreamLayout, TheScannerSendsTheBytesWorkedOutByHand) {
  EXPECT_EQ(scannerStream(0x06, 0x08, 0x00, 0x3103, 0), kPlain);
  EXPECT_EQ(scannerStream(0x07, 0x08, 0x00, 0x3103, 0), kColour);
  EXPECT_EQ(scannerStream(0x06, 0x28, 0x00, 0x3108, 2), kMicrCurrent);
  EXPECT_EQ(scannerStream(0x06, 0x28, 0x00, 0x3107, 2), kMicrOlder);
  EXPECT_EQ(scannerStream(0x06, 0x08, 0x40, 0x3103, 0), kBacklight);
  EXPECT_EQ(scannerStream(0x06, 0x28, 0x40, 0x3108, 2), kBacklightMicr);
  EXPECT_EQ(scannerStream(0x02, 0x08, 0x00, 0x3103, 0), (Bytes{0x11, 0x12}));  // front only
}

TEST(StreamLayout, TheSeparationMakesTheRowsWorkedOutByHand) {
  EXPECT_EQ(separate(kPlain, StreamLayout::Plain, 1, 0).row, (Bytes{0x11, 0x12, 0x21, 0x22}));
  EXPECT_EQ(separate(kColour, StreamLayout::Plain, 3, 0).row,
            (Bytes{0x11, 0x12, 0x21, 0x22, 0x13, 0x14, 0x23, 0x24, 0x15, 0x16, 0x25, 0x26}));
  for (auto [stream, layout] : {std::pair{kMicrCurrent, StreamLayout::MicrCurrent},
                                std::pair{kMicrOlder, StreamLayout::MicrOlder}}) {
    Separated s = separate(stream, layout, 1, 2);
    EXPECT_EQ(s.row, (Bytes{0x11, 0x12, 0x21, 0x22}));
    EXPECT_EQ(s.micr, (Bytes{0xA1, 0xA2}));
  }
  EXPECT_EQ(separate(kBacklight, StreamLayout::Backlight, 1, 0).row,
            (Bytes{0x11, 0x12, 0x21, 0x22, 0x31, 0x32}));
  Separated b = separate(kBacklightMicr, StreamLayout::Backlight, 1, 2);
  EXPECT_EQ(b.row, (Bytes{0x11, 0x12, 0x21, 0x22, 0x31, 0x32}));
  EXPECT_EQ(b.micr, (Bytes{0xA1, 0xA2}));
}
