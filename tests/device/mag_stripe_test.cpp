// The magnetic stripe reader against the software scanner's swipes: directions, late framing,
// noise, flags, decoding errors that empty one track, and failures of the link and the replies.
#include <string>

#include "device/mag_stripe.h"
#include "device_fixture.h"
#include "pvkemu_stripe.h"

namespace pvk::test {
namespace {

class MagStripe : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    ASSERT_EQ(add(full()), 0);
    ASSERT_GT(open(), 0);
    ASSERT_TRUE(Vx3CompositionLH());  // the track readers of the device
    MagStripeEn = 6;
    MyAcq.msWaitSwipe = 1000;
  }
  void swipe(pvkemu_track t1, pvkemu_track t2, pvkemu_track t3, int polls = 0) {
    pvkemu_track tracks[3] = {t1, t2, t3};
    ASSERT_EQ(pvkemu_swipe(0, tracks, polls), 0);
  }
  static pvkemu_track track(const char* text, int reverse = 0) { return {text, reverse, 0, 0, 0, 0, 0}; }
  static pvkemu_track none() { return {nullptr, 0, 0, 0, 0, 0, 0}; }
  std::string out[3];
  int read(unsigned char flags = 0) {
    char t[3][kTrackBytes];
    std::memset(t, 'x', sizeof t);
    int r = Vx3MagStripeC(t[0], t[1], t[2], flags);
    for (int i = 0; i < 3; ++i) out[i].assign(t[i], strnlen(t[i], kTrackBytes));
    return r;
  }
  static size_t count(uint16_t value, size_t from = 0) {
    size_t n = 0;
    for (const auto& r : vendorRequests(from)) n += r.value == value;
    return n;
  }
};

const char kName[] = "B4111111111111111^PUBLIC/JOHN^2512101";
const char kDigits[] = "4111111111111111=25121011234";
const char kTrack3[] = "011234567890123445=7247241000000000000303000000040400099010=0000000000";

TEST_F(MagStripe, AllThreeTracksInEitherDirectionGiveTheSameText) {
  for (int reverse = 0; reverse < 2; ++reverse) {
    swipe(track(kName, reverse), track(kDigits, reverse), track(kTrack3, reverse));
    ASSERT_EQ(read(), 0) << "reverse " << reverse;
    EXPECT_EQ(out[0].substr(0, out[0].size() - 1), std::string("%") + kName + "?");
    EXPECT_EQ(out[1].substr(0, out[1].size() - 1), std::string(";") + kDigits + "?");
    EXPECT_EQ(out[2].substr(0, out[2].size() - 1), std::string(";") + kTrack3 + "?");
    EXPECT_EQ(MyDev.lastResult, 0);
    EXPECT_EQ(LibrettoSpagna, 0);
  }
}

TEST_F(MagStripe, OutputFlagsDropSentinelsAndLrc) {
  swipe(none(), track("1234"), none());
  ASSERT_EQ(read(7), 0);
  EXPECT_EQ(out[0], "");
  EXPECT_EQ(out[1], "1234");
  EXPECT_EQ(out[2], "");
  swipe(none(), track("1234"), none());
  ASSERT_EQ(read(2), 0);
  EXPECT_EQ(out[1], ";12340");  // the LRC (value 0) takes the end sentinel's place
  swipe(none(), track("1234"), none());
  ASSERT_EQ(read(1 | 4), 0);
  EXPECT_EQ(out[1], "1234?");
}

TEST_F(MagStripe, LateFramingNoiseAndPassbook) {
  // Framed late by a shift of 1: the LRC's lost bits are zero for this text (LRC '1').
  pvkemu_track late = {"41", 1, 1, 0, 0, 0, 0};
  swipe(none(), late, none());
  ASSERT_EQ(read(4), 0);
  EXPECT_EQ(out[1], ";41?");
  // Noise behind the LRC is cut off, in either direction.
  for (int reverse = 0; reverse < 2; ++reverse) {
    pvkemu_track noisy = {kName, reverse, 0, 0, 0, 0, 3};
    pvkemu_track digits = {"1234", reverse, 0, 0, 0, 0, 2};
    swipe(noisy, digits, none());
    ASSERT_EQ(read(1 | 2 | 4), 0);
    EXPECT_EQ(out[0], kName) << reverse;
    EXPECT_EQ(out[1], "1234") << reverse;
  }
  // The passbook sentinel, both ways.
  for (int reverse = 0; reverse < 2; ++reverse) {
    pvkemu_track book = {"1234", reverse, 0, 1, 0, 0, 0};
    swipe(none(), none(), book);
    ASSERT_EQ(read(4), 0);
    EXPECT_EQ(out[2], "=1234?");
    EXPECT_EQ(LibrettoSpagna, 1);
  }
}

TEST_F(MagStripe, DecodingErrorsEmptyOnlyTheirTrack) {
  pvkemu_track parity = {"1234", 0, 0, 0, 3, 0, 0};
  pvkemu_track lrc = {kName, 0, 0, 0, 0, 1, 0};
  swipe(lrc, parity, track("5678"));
  ASSERT_EQ(read(4), 0);
  EXPECT_EQ(MyDev.lastResult, 0);
  EXPECT_EQ(out[0], "");
  EXPECT_EQ(out[1], "");
  EXPECT_EQ(out[2], ";5678?");
  EXPECT_TRUE(traced("err -  track1 - wrong LCR\r\n"));
  EXPECT_TRUE(traced("err -  parity error on track 2\r\n"));
  EXPECT_TRUE(traced("err -  PVKMagStripe - not valid reading for trace 1\r\n"));
  EXPECT_TRUE(traced("err -  PVKMagStripe - not valid reading for trace 2\r\n"));
  // Too long for track 2 (41 characters with sentinels and LRC), and garbage without sentinels.
  swipe(none(), track("12345678901234567890123456789012345678"), none());
  ASSERT_EQ(read(), 0);
  EXPECT_EQ(out[1], "");
  EXPECT_TRUE(traced("err -  too may chars on track 2 41\r\n"));
  const uint8_t garbage[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
  ASSERT_EQ(pvkemu_swipe_raw(0, 0, garbage, 6, 0), 0);
  ASSERT_EQ(read(), 0);
  EXPECT_EQ(out[0], "");
  EXPECT_TRUE(traced("war -  null char on trace 1\r\n"));
}

TEST_F(MagStripe, DirectDecodingGuards) {
  nByteT[1] = 3;
  EXPECT_EQ(ElaboraTraccia(1), -70);
  EXPECT_EQ(ElaboraTraccia(3), -3);
  char buffer[kTrackBytes] = {0x1A, 0x10};
  EXPECT_EQ(ValShif(buffer, 5, 4, 1), -70);  // a whole character is no realignment
  EXPECT_EQ(ValShif(buffer, 7, 4, 0), -70);
  EXPECT_EQ(MappingT1(4, buffer, 1, true), -70);
  EXPECT_TRUE(traced("err -  track1 - unexpected nTrace\r\n"));
  EXPECT_EQ(MappingT23(4, buffer, 0, true, false), -70);
  EXPECT_TRUE(traced("err -  unexpected nTrace on track 2 or 3 0\r\n"));
  EXPECT_EQ(MappingT23(500, buffer, 1, true, false), -75);
}

TEST_F(MagStripe, SwipeWaitPollsAndTimeout) {
  MyAcq.msWaitSwipe = 50;
  const size_t from = pvkemu_log_count();
  EXPECT_EQ(read(), -10);
  EXPECT_EQ(count(3, from), 1u);
  EXPECT_TRUE(traced("war -  Magnetic Stripe Timeout\r\n"));
  EXPECT_EQ(out[0] + out[1] + out[2], "");
  // A disabled reader is enabled by the wait, once.
  EXPECT_EQ(count(55, from), 1u);
  EXPECT_EQ(pvkemu_stripe_enabled(0), 1);
  // A swipe after three polls of a 500 ms wait is read, and the device buffer emptied after it.
  MyAcq.msWaitSwipe = 500;
  swipe(none(), track("99"), none(), 3);
  const size_t from2 = pvkemu_log_count();
  ASSERT_EQ(read(4), 0);
  EXPECT_EQ(out[1], ";99?");
  EXPECT_EQ(count(3, from2), 4u);
  EXPECT_EQ(count(51, from2), 1u);
}

TEST_F(MagStripe, LinkAndReplyFailuresNeverReadAsSuccess) {
  // A dead link: no status; the reading fails instead of giving empty tracks with 0.
  MyDev.lastResult = 0;
  ASSERT_EQ(pvkemu_fault(0, PVKEMU_ANY_REQUEST, PVKEMU_DIR_ANY, PVKEMU_FAULT_NO_DEVICE, -1, 0), 0);
  EXPECT_EQ(read(), -1);
  EXPECT_EQ(MyDev.lastResult, -1);
  EXPECT_EQ(Vx3MagStripeReset(), -1);
  EXPECT_TRUE(traced("err -   Badge buffer reset failed\r\n"));
  pvkemu_clear_faults();
  // A failed data request.
  swipe(none(), track("1234"), none());
  MyDev.lastResult = 0;
  ASSERT_EQ(pvkemu_fault(0, 53, PVKEMU_DIR_IN, PVKEMU_FAULT_STALL, 1, 0), 0);
  EXPECT_EQ(read(), -1);
  EXPECT_TRUE(traced("err -  Data request failed\r\n"));
  EXPECT_EQ(Vx3MagStripeReset(), 0);
}

TEST_F(MagStripe, CountsTheReplyOrTheTrackCannotHold) {
  const size_t from = pvkemu_log_count();
  // A count above the 62 characters a reply holds.
  swipe(none(), track("1234"), none());
  ASSERT_EQ(pvkemu_stripe_reply_count(0, 63, 1), 0);
  EXPECT_EQ(read(), -75);
  EXPECT_EQ(out[1], "");
  EXPECT_EQ(count(51, from), 0u);  // the device keeps its data
  // A negative count.
  swipe(none(), track("1234"), none());
  ASSERT_EQ(pvkemu_stripe_reply_count(0, -1, 1), 0);
  EXPECT_EQ(read(), -75);
  // 127 raw characters fit with the terminator; 128 do not.
  std::vector<uint8_t> raw(127, 0x01);
  ASSERT_EQ(pvkemu_swipe_raw(0, 2, raw.data(), raw.size(), 0), 0);
  EXPECT_EQ(read(), 0);
  EXPECT_EQ(nByteT[2], 127u);
  EXPECT_EQ(out[2], "");  // no sentinels: not a track
  raw.push_back(0x01);
  ASSERT_EQ(pvkemu_swipe_raw(0, 2, raw.data(), raw.size(), 0), 0);
  EXPECT_EQ(read(), -75);
  EXPECT_EQ(Track3[kTrackBytes - 1], 0);
}

TEST_F(MagStripe, EnableCommandsFollowTheReaderState) {
  const size_t from = pvkemu_log_count();
  EXPECT_EQ(Vx3MagStripeEnable(1), 0);
  EXPECT_EQ(Vx3MagStripeEnable(1), 0);  // already enabled: nothing sent
  Vx3MagStripeReopen();
  EXPECT_EQ(Vx3MagStripeEnable(0), 0);
  Vx3MagStripeReopen();                 // disabled: nothing sent
  EXPECT_EQ(briefs(vendorRequests(from)), (Strings{"C0/55/1", "C0/55/1", "C0/56/1"}));
  MyDev.trackReader[0] = MyDev.trackReader[1] = MyDev.trackReader[2] = 0;
  MyDev.lastResult = -5;
  EXPECT_EQ(Vx3MagStripeEnable(1), 0);
  EXPECT_EQ(vendorRequests(from).size(), 3u);
}

TEST_F(MagStripe, RandomRawTracksNeverOverrun) {
  // Any raw bytes of any count the reader accepts decode or fail with a stripe code.
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  for (int round = 0; round < 3000; ++round) {
    const int t = round % 3;
    char* buffer = t == 0 ? Track1 : t == 1 ? Track2 : Track3;
    std::memset(buffer, 0, kTrackBytes);
    nByteT[t] = next() % kTrackBytes;
    for (uint64_t i = 0; i < nByteT[t]; ++i) buffer[i] = static_cast<char>(round % 4 == 0 ? next() & 0x7F : next() & 0xFF);
    const int r = ElaboraTraccia(t);
    EXPECT_TRUE(r == 0 || (r <= -70 && r >= -75)) << r;
    EXPECT_EQ(buffer[kTrackBytes - 1], 0);
  }
}

}  // namespace
}  // namespace pvk::test
