// The engine's refusals before anything is sent to the scanner.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "acquisition/acq_engine.h"

namespace {

class EngineChecks : public ::testing::Test {
 protected:
  std::vector<uint8_t> buffer = std::vector<uint8_t>(4096, 0xFF);
  void SetUp() override {
    std::memset(&MyDev, 0, sizeof MyDev);
    std::memset(&MyAcq, 0, sizeof MyAcq);
    std::memset(&MyMICR, 0, sizeof MyMICR);
    MyDev.state = 1;
    MyDev.fwVersion = 0x3103;
    ImgInfo& f = MyDev.img[1];
    f.firstRow = buffer.data();
    f.writePtr = buffer.data() + 128;
    f.rawLineBytes = 128;
    f.imageBytes = 1024;
  }
};

}  // namespace

TEST_F(EngineChecks, RefusalsAndTheirResults) {
  MyDev.state = 0;
  EXPECT_EQ(Vx3Scan_PID009(), 0);
  EXPECT_EQ(MyDev.lastResult, -1);
  MyDev.state = 1;
  MyDev.img[1].firstRow = nullptr;
  EXPECT_EQ(Vx3Scan_PID009(), 0);
  EXPECT_EQ(MyDev.lastResult, -3);
  MyDev.img[1].firstRow = buffer.data();
  MyDev.img[1].writePtr = nullptr;
  EXPECT_EQ(Vx3Scan_PID009(), 0);
  EXPECT_EQ(MyDev.lastResult, -1);
  MyDev.img[1].writePtr = buffer.data() + 128;
  MyDev.img[1].imageBytes = 0;
  EXPECT_EQ(Vx3Scan_PID009(), 0);
  EXPECT_EQ(MyDev.lastResult, -3);
}

TEST_F(EngineChecks, NothingToReadInASecondPartIsSuccess) {
  MyDev.img[1].imageBytes = 0;
  MyDev.img[1].rowsUsed = 9;
  MyAcq.twoPartActive = MyAcq.secondPartPending = 1;
  MyDev.lastResult = -7;
  EXPECT_EQ(Vx3Scan_PID009(), 1);
  EXPECT_EQ(MyDev.lastResult, 0);
  EXPECT_EQ(MyDev.img[1].rowsUsed, 0);
}

TEST_F(EngineChecks, ARawLineShorterThan64BytesIsRefused) {
  MyDev.img[1].rawLineBytes = 63;
  EXPECT_EQ(pvk::acquisition::separateCurrent(1024), -1);
  EXPECT_EQ(MyDev.lastResult, -1);
}
