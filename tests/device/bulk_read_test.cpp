// The bulk read of the raw stream: chunking, short transfers that end the stream, stops,
// timeouts and lost devices, with every transfer given back before it is freed.
#include "device_fixture.h"

namespace pvk::test {
namespace {

class BulkRead : public DeviceTest {
 protected:
  int dev = -1;
  std::vector<unsigned char> buf;
  void SetUp() override {
    DeviceTest::SetUp();
    dev = add(full());
    ASSERT_TRUE(Vx3BaseOpen(nullptr));
    MyDev.fwVersion = 0x5011;
    MyDev.streamEndCap = 1;
    MyDev.serialHigh = 0;
    MyDev.serialLow = 12400512;  // not slow
    MyDev.img[1].dpiV = 300;
    MyAcq.planesPerLine = 1;
    stopAcq = 0;
    pvkemu_log_clear();
  }
  void stream(size_t n, bool end = true) {
    std::vector<unsigned char> data(n);
    for (size_t i = 0; i < n; ++i) data[i] = static_cast<unsigned char>(i * 7);
    pvkemu_stream_push(dev, data.data(), n);
    if (end) pvkemu_stream_end(dev);
  }
  std::vector<int> submittedLengths() {
    std::vector<int> out;
    for (const auto& r : bulkSubmissions()) out.push_back(r.length == 0xFFFF ? -1 : r.length);
    return out;
  }
  bool read(unsigned long& size, int timeout = 60000) {
    buf.assign(size + 16, 0xEE);
    return Vx3BaseBulkRead(timeout, buf.data(), size, false);
  }
};

constexpr unsigned long kChunk = 0x200000;

TEST_F(BulkRead, TooSmallOrInvalidRequests) {
  unsigned long size = 1023;
  EXPECT_TRUE(read(size));
  EXPECT_EQ(size, 0u);
  size = 4096;
  EXPECT_FALSE(Vx3BaseBulkRead(1000, nullptr, size, false));
  EXPECT_EQ(size, 0u);
  EXPECT_TRUE(traced("Vx3BaseBulkRead - invalid"));
  EXPECT_TRUE(bulkSubmissions().empty());
  Vx3BaseCloseLinux();
  size = 4096;
  EXPECT_FALSE(read(size));
  EXPECT_TRUE(traced("Vx3BaseBulkRead - no device"));
}

TEST_F(BulkRead, ExactlyOneChunkIsOneSubmission) {
  stream(kChunk);
  unsigned long size = kChunk;
  EXPECT_TRUE(read(size));
  EXPECT_EQ(size, kChunk);
  EXPECT_EQ(bulkSubmissions().size(), 1u);
  EXPECT_EQ(buf[kChunk - 1], static_cast<unsigned char>((kChunk - 1) * 7));
}

TEST_F(BulkRead, OneChunkAndOneByteAreTwoSubmissions) {
  stream(kChunk + 1);
  unsigned long size = kChunk + 1;
  EXPECT_TRUE(read(size));
  EXPECT_EQ(size, kChunk + 1);
  auto lengths = bulkSubmissions();
  ASSERT_EQ(lengths.size(), 2u);
  EXPECT_EQ(buf[kChunk], static_cast<unsigned char>(kChunk * 7));
  EXPECT_EQ(buf[kChunk + 1], 0xEE);  // nothing written past the end
}

TEST_F(BulkRead, AShortTransferEndsTheStream) {
  stream(kChunk + 1000);
  unsigned long size = 3 * kChunk;
  EXPECT_TRUE(read(size));
  EXPECT_EQ(size, kChunk + 1000);
}

TEST_F(BulkRead, AStopEndsTheReadAfterTheNextTransfer) {
  stream(5 * kChunk);
  stopAcq = 1;
  unsigned long size = 5 * kChunk;
  EXPECT_TRUE(read(size));
  EXPECT_EQ(size, 2 * kChunk);  // the two transfers in flight, no more
  EXPECT_EQ(bulkSubmissions().size(), 2u);
  EXPECT_TRUE(traced("stopAcq"));
}

// The host's stop does not wait for a transfer to come back: what is in flight is cancelled, so
// a stalled stream ends the read at once instead of after its transfer time-out.
TEST_F(BulkRead, TheHostsStopCancelsWhatIsInFlight) {
  stream(kChunk / 2, false);  // the device stops sending half way
  pvk::core::requestStop(true);
  unsigned long size = 5 * kChunk;
  const uint64_t before = pvkemu_clock_elapsed_ms();
  EXPECT_TRUE(read(size));
  EXPECT_LT(pvkemu_clock_elapsed_ms() - before, 100u);
  pvk::core::requestStop(false);
  EXPECT_LE(size, kChunk / 2);
  EXPECT_EQ(bulkSubmissions().size(), 2u);
  EXPECT_TRUE(traced("stopAcq"));
  EXPECT_FALSE(traced("LIBUSB_TRANSFER_CANCELLED - not expected"));
  // Without the host's stop the same stall waits for the transfer time-out.
  stream(0, false);
  size = 5 * kChunk;
  EXPECT_FALSE(read(size));
  EXPECT_GE(pvkemu_clock_elapsed_ms() - before, 2000u);
}

TEST_F(BulkRead, NoTimeLeftFailsWithTheBytesReceived) {
  stream(100);
  unsigned long size = 4096;
  EXPECT_FALSE(read(size, 0));
  EXPECT_EQ(size, 100u);
  EXPECT_EQ(MyDev.lastResult, -1);
  EXPECT_TRUE(traced("Timeout"));
}

TEST_F(BulkRead, ASilentDeviceTimesOut) {
  stream(0, false);
  unsigned long size = 3 * kChunk;
  EXPECT_FALSE(read(size));
  EXPECT_EQ(size, 0u);
  EXPECT_TRUE(traced("LIBUSB_TRANSFER_TIMED_OUT"));
  EXPECT_TRUE(traced("libusb_transfer_status 2"));
}

TEST_F(BulkRead, ALostDeviceFailsTheRead) {
  pvkemu_unplug(dev);
  unsigned long size = 3 * kChunk;
  EXPECT_FALSE(read(size));
  EXPECT_EQ(size, 0u);
  EXPECT_TRUE(traced("err -  libusb_submit_transfer - IBUSB_ERROR_NO_DEVICE on 0"));
}

TEST_F(BulkRead, SlowModeUsesSmallerChunks) {
  MyDev.serialLow = 380246;
  stream(0x80000 + 1);
  unsigned long size = 0x80000 + 1;
  EXPECT_TRUE(read(size));
  EXPECT_EQ(size, 0x80000u + 1);
  auto subs = bulkSubmissions();
  ASSERT_EQ(subs.size(), 2u);
  EXPECT_EQ(subs[1].length, 1);
}

TEST_F(BulkRead, SlowModeEndsOnTheStreamEndStatus) {
  MyDev.serialLow = 1000;
  stream(0x80000 + 10, false);  // more is announced, but the device says the stream ended
  uint32_t endWord = (1u << 27) | 2u;
  pvkemu_script_status(dev, &endWord, 1);
  unsigned long size = 4 * 0x80000;
  EXPECT_TRUE(read(size));
  EXPECT_EQ(size, 0x80000u);
}

}  // namespace
}  // namespace pvk::test
