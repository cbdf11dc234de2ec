// A host stopping the library from a second thread, as a host does: paper moves stalled or not,
// stopped at any moment, and PVKStop called over and over while other calls run. Built and run
// under ThreadSanitizer as well (a small build of its own): only the atomic stop request may be
// touched beside a running call, by either side.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "../host_test_util.h"
#include "../../../emulator/pvkemu_image.h"
#include "PlavikMS.h"

namespace {

using apitest::asHandle;
using apitest::emu;

double secondsBetween(const timespec& t0, const timespec& t1) {
  return static_cast<double>(t1.tv_sec - t0.tv_sec) + static_cast<double>(t1.tv_nsec - t0.tv_nsec) / 1e9;
}

void sleepMs(int ms) {
  timespec t{ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&t, nullptr);
}

class StopFromAnotherThread : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(emu<void*>("pvkemu_loaded"), nullptr);
    emu<void (*)(int)>("pvkemu_clock_virtual")(0);  // the second thread runs in real time
    ASSERT_EQ(apitest::busOfOne("pvkemu_profile_basic"), 0);
    h = PVKInitializeSN(const_cast<char*>(apitest::processDir().c_str()), nullptr);
    ASSERT_GT(h, 0) << PVKGetLastResult();
  }
  void TearDown() override { PVKClose(asHandle(h)); }
  // A blank sheet streamed at the next move; with `stall` the scanner stops sending after a few
  // lines without ending the stream.
  void sheet(bool stall) {
    page.assign(static_cast<size_t>(2592) * 300, 200);
    pvkemu_document doc{};
    doc.width = 2592;
    doc.height = 300;
    doc.front[0] = doc.rear[0] = page.data();
    ASSERT_EQ(emu<int (*)(int, const pvkemu_document*)>("pvkemu_feed")(0, &doc), 0);
    if (stall) {
      ASSERT_EQ(emu<int (*)(int, int, size_t, void (*)(void*), void*)>("pvkemu_stream_fault")(
                    0, PVKEMU_STREAM_TIMEOUT, 8192, nullptr, nullptr),
                0);
    }
  }
  int move() { return PVKMoveScannerLines(asHandle(h), 1, 300, 300); }

  int h = -1;
  std::vector<uint8_t> page;
};

// The stream stalls; the host stops 50 ms into the move: the move ends with -19 soon after the
// stop, not after the move's transfer time-out of 10 s. The bound is generous because a loaded
// machine may hold either thread back (seconds, on a busy test machine); what it rules out is
// waiting for the time-out.
TEST_F(StopFromAnotherThread, AStalledMoveEndsSoonAfterTheStop) {
  sheet(true);
  std::atomic<bool> stopped{false};
  timespec tStop{};
  std::thread stopper([&] {
    sleepMs(50);
    clock_gettime(CLOCK_MONOTONIC, &tStop);
    EXPECT_EQ(PVKStop(asHandle(h), 1), 0);
    stopped = true;
  });
  timespec t0, tEnd;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  EXPECT_EQ(move(), PVK_ERR_ABORTED);
  clock_gettime(CLOCK_MONOTONIC, &tEnd);
  stopper.join();
  ASSERT_TRUE(stopped);
  EXPECT_LT(secondsBetween(tStop, tEnd), 5.0);
  EXPECT_GE(secondsBetween(t0, tEnd), 0.04);
  // The stop stays until the host clears it.
  EXPECT_EQ(move(), PVK_ERR_ABORTED);
  ASSERT_EQ(PVKScanEnable(asHandle(h), 0), 0);
}

// Moves stopped at any moment, stalled or not: each ends with 0 or -19, and the next one works
// once the host cleared the stop.
TEST_F(StopFromAnotherThread, MovesStoppedAtAnyMomentEndCleanly) {
  unsigned seed = 2024;
  for (int round = 0; round < 12; ++round) {
    const bool stall = round >= 8;  // a stall, once set up, stays for the next moves
    sheet(stall && round == 8);
    seed = seed * 1103515245u + 12345u;
    const int delay = static_cast<int>((seed >> 16) % 40);
    std::thread stopper([this, delay] {
      sleepMs(delay);
      PVKStop(asHandle(h), 1);
    });
    const int r = move();
    stopper.join();
    EXPECT_TRUE(r == PVK_ERR_ABORTED || (r == 0 && !stall)) << round << ": " << r;
    ASSERT_EQ(PVKScanEnable(asHandle(h), 0), 0);
  }
}

// PVKStop alone runs its whole frame (guard, trace, last result); beside another call it only
// sets the request. Called over and over while other calls run, the two never overlap.
TEST_F(StopFromAnotherThread, StopsAndOtherCallsNeverOverlap) {
  std::atomic<bool> done{false};
  std::thread stopper([&] {
    for (int i = 0; i < 300 && !done; ++i) {
      EXPECT_EQ(PVKStop(asHandle(h), 1), 0);
      EXPECT_EQ(PVKStop(asHandle(h), 0), 0);
    }
  });
  for (int i = 0; i < 150; ++i) {
    short v = 0;
    EXPECT_EQ(PVKSetParameter(6, 100 + i % 50), 0);
    EXPECT_EQ(PVKGetParameter(6, &v), 0);
    EXPECT_EQ(v, 100 + i % 50);
    EXPECT_NE(PVKReadStatusL(asHandle(h)), 0);
  }
  done = true;
  stopper.join();
  ASSERT_EQ(PVKScanEnable(asHandle(h), 0), 0);
}

}  // namespace
