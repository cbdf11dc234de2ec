// The engine's refusals before anything is sent to the scanner.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "acquisition/acquisition.h"

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

TEST_F(EngineChecks, AReadThatFailsWithoutACodeOfItsOwnIsNoSuccess) {
  // The read here is refused without a result code, as a read without a device handle is.
  MyDev.img[1].sensorPixels = 64;
  MyDev.img[1].planeLineBytes = 128;
  MyAcq.planesPerLine = 1;
  MyDev.lastResult = 0;
  EXPECT_EQ(Vx3Scan_PID009(), 0);
  EXPECT_EQ(MyDev.lastResult, -1);
}

TEST_F(EngineChecks, ARawLineShorterThan64BytesIsRefused) {
  MyDev.img[1].rawLineBytes = 63;
  EXPECT_EQ(pvk::acquisition::separateCurrent(1024), -1);
  EXPECT_EQ(MyDev.lastResult, -1);
}

TEST_F(EngineChecks, CorrectionSetsBordersAndMirrorsTheFrontOfOneModel) {
  // Two sides of 8 pixels, one plane: front 0..7, rear 8..15 in each row of 16 bytes.
  for (ImgInfo& i : MyDev.img) {
    i.sensorPixels = 8;
    i.trimLeft = 1;
    i.trimWidth = 6;
    i.fullWidth = 6;
    i.planesPerLine = 1;
    i.rowsUsed = 2;
    i.hasData = 1;
    i.planeLineBytes = 16;
    i.rawLineBytes = 16;
  }
  MyDev.img[1].side = 1;
  MyDev.img[0].side = 0;
  MyDev.img[1].firstRow = buffer.data();
  MyDev.img[0].firstRow = buffer.data() + 8;
  for (int r = 0; r < 2; ++r)
    for (int x = 0; x < 16; ++x) buffer[r * 16 + x] = static_cast<uint8_t>(100 + x);
  MyAcq.calibOption = 1;
  MyDev.productId = 0x000B;
  CorrezioneImgInAcq(&MyDev.img[1]);
  CorrezioneImgInAcq(&MyDev.img[0]);
  // No calibration data: values stay, borders become 10, the front is mirrored over the trim.
  const std::vector<uint8_t> front = {10, 106, 105, 104, 103, 102, 101, 10};
  const std::vector<uint8_t> rear = {10, 109, 110, 111, 112, 113, 114, 10};
  for (int r = 0; r < 2; ++r) {
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + r * 16, buffer.begin() + r * 16 + 8), front);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + r * 16 + 8, buffer.begin() + r * 16 + 16), rear);
  }
  EXPECT_EQ(MyDev.img[1].corrected, 1);
  MyAcq.calibrating = 1;  // raw calibration lines are left alone
  MyDev.img[0].corrected = 0;
  CorrezioneImgInAcq(&MyDev.img[0]);
  EXPECT_EQ(MyDev.img[0].corrected, 0);
}
