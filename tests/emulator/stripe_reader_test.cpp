// The stripe reader of the software scanner: track characters worked out by hand from the track
// formats, and the device's buffer behind the status bits and the track requests.
#include <gtest/gtest.h>
#include <libusb.h>

#include <vector>

#include "emulator_bus.h"
#include "pvkemu.h"
#include "pvkemu_stripe.h"

namespace {

std::vector<uint8_t> encode(int track, pvkemu_track t) {
  uint8_t out[256];
  size_t n = pvkemu_stripe_encode(track, &t, out, sizeof out);
  return std::vector<uint8_t>(out, out + (n < sizeof out ? n : sizeof out));
}

TEST(StripeEncoder, TrackCharactersWithParitySentinelsAndLrc) {
  // ';' 1 2 3 4 '?' and an LRC of 0 (odd parity sets its bit 4).
  EXPECT_EQ(encode(1, {"1234", 0, 0, 0, 0, 0, 0}), (std::vector<uint8_t>{0x0B, 0x01, 0x02, 0x13, 0x04, 0x1F, 0x10}));
  // '%' 'A' '?' and the LRC 0x3B over 0x05 ^ 0x21 ^ 0x1F.
  EXPECT_EQ(encode(0, {"A", 0, 0, 0, 0, 0, 0}), (std::vector<uint8_t>{0x45, 0x61, 0x1F, 0x3B}));
  // The passbook sentinel '=' starts track 3.
  EXPECT_EQ(encode(2, {"", 0, 0, 1, 0, 0, 0}), (std::vector<uint8_t>{0x0D, 0x1F, 0x02}));
  // A character outside the track's set encodes nothing.
  EXPECT_TRUE(encode(1, {"12A", 0, 0, 0, 0, 0, 0}).empty());
  EXPECT_TRUE(encode(3, {"1", 0, 0, 0, 0, 0, 0}).empty());
}

TEST(StripeEncoder, BackwardLateAndFaultySwipes) {
  // Backward: last character first, each with its bits mirrored.
  EXPECT_EQ(encode(1, {"1234", 1, 0, 0, 0, 0, 0}), (std::vector<uint8_t>{0x01, 0x1F, 0x04, 0x19, 0x08, 0x10, 0x1A}));
  // Framed four bits late: 0111110010010011000100000101011 cut into fives.
  EXPECT_EQ(encode(1, {"1234", 1, 1, 0, 0, 0, 0}), (std::vector<uint8_t>{0x1E, 0x09, 0x12, 0x11, 0x00, 0x15, 0x01}));
  // A parity error on the second character, an LRC one bit off, two noise characters.
  EXPECT_EQ(encode(1, {"1234", 0, 0, 0, 2, 0, 0})[1], 0x11);
  EXPECT_EQ(encode(1, {"1234", 0, 0, 0, 0, 1, 0}).back(), 0x01);
  std::vector<uint8_t> noisy = encode(1, {"1234", 0, 0, 0, 0, 0, 2});
  ASSERT_EQ(noisy.size(), 9u);
  EXPECT_EQ(noisy[7], 0x03);
  EXPECT_EQ(noisy[8], 0x05);
}

struct StripeDevice : emutest::Bus {
  void SetUp() override {
    pvkemu_profile p;
    pvkemu_profile_full(&p);
    plug(p);
    ASSERT_EQ(dev, 0);
  }
  uint32_t status() {
    std::vector<uint8_t> r = in(3, 8);
    return r.size() < 5 ? 0 : r[1] | (r[2] << 8) | (r[3] << 16) | (static_cast<uint32_t>(r[4]) << 24);
  }
};

TEST_F(StripeDevice, SwipeShowsAfterItsPollsAndEmptiesByReplies) {
  pvkemu_track tracks[3] = {};
  std::string longText(70, '7');
  tracks[1].text = longText.c_str();
  ASSERT_EQ(pvkemu_swipe(0, tracks, 2), 0);
  EXPECT_EQ(status() & (7u << 13), 0u);
  EXPECT_EQ(status() & (7u << 13), 0u);
  EXPECT_EQ(status() & (7u << 13), 1u << 14);
  // 73 characters: 62, then 11, then none.
  std::vector<uint8_t> r = in(53, 64);
  ASSERT_EQ(r.size(), 64u);
  EXPECT_EQ(r[1], 62);
  EXPECT_EQ(r[2], 0x0B);
  EXPECT_EQ(in(53, 64)[1], 11);
  EXPECT_EQ(in(53, 64)[1], 0);
  EXPECT_EQ(in(52, 64)[1], 0);
  // The buffer reset forgets the swipe.
  EXPECT_EQ(command(51), 1);
  EXPECT_EQ(status() & (7u << 13), 0u);
}

TEST_F(StripeDevice, EnableCommandsAndForcedCounts) {
  EXPECT_EQ(pvkemu_stripe_enabled(0), 0);
  EXPECT_EQ(command(55), 1);
  EXPECT_EQ(pvkemu_stripe_enabled(0), 1);
  EXPECT_NE(status() & (1u << 12), 0u);
  EXPECT_EQ(command(56), 1);
  EXPECT_EQ(pvkemu_stripe_enabled(0), 0);
  const uint8_t raw[3] = {1, 2, 3};
  ASSERT_EQ(pvkemu_swipe_raw(0, 2, raw, 3, 0), 0);
  ASSERT_EQ(pvkemu_stripe_reply_count(0, -2, 1), 0);
  EXPECT_EQ(static_cast<int8_t>(in(54, 64)[1]), -2);
  EXPECT_EQ(in(54, 64)[1], 0);  // the forced reply took the characters
  EXPECT_EQ(pvkemu_swipe_raw(5, 0, raw, 3, 0), -1);
  EXPECT_EQ(pvkemu_swipe_raw(0, 3, raw, 3, 0), -1);
}

}  // namespace
