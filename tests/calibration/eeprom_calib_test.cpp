// Factory calibration data: request sequence, identity checks, the cache, the conversion, and
// the fallback of the calibration file to it.
#include "calib_fixture.h"

using namespace calibtest;

namespace {

class Eeprom : public CalibFixture {
 protected:
  void SetUp() override {
    CalibFixture::SetUp();
    geometry(2592, 300, 0, 2592);
    std::strcpy(MyDev.serialString, "SN00123456");
    uint8_t* i = eeprom.info;
    std::strcpy(reinterpret_cast<char*>(i), "123456");
    i[kEEInfoCode] = 3;
    i[kEEInfoBacklight] = 77;
    for (int k = 0; k < 3; ++k) {
      i[kEEInfoGrayRearWhite + k] = 200;
      i[kEEInfoGrayFrontWhite + k] = 210;
      i[kEEInfoGrayRearBlack + k] = 20;
      i[kEEInfoGrayFrontBlack + k] = 21;
      i[kEEInfoGrayRearLed + k] = static_cast<uint8_t>(50 + k);
      i[kEEInfoGrayFrontLed + k] = static_cast<uint8_t>(60 + k);
      i[kEEInfoColourRearGain + k] = 100;
      i[kEEInfoColourFrontGain + k] = 100;
    }
    i[kEEInfoGrayRearGain] = 100;
    i[kEEInfoGrayFrontGain] = 50;
    setInfoSize(i, 2592);
    eeprom.data.assign(2 * 2592, 0);
    for (int x = 0; x < 2592; ++x) {
      eeprom.data[x] = 180;              // rear line
      eeprom.data[2592 + x] = 200 + x % 3;  // front line
    }
  }
};

}  // namespace

TEST_F(Eeprom, ReadsTheSetAndConvertsIt) {
  ASSERT_TRUE(CorrInfoCreate(MyCorS));
  MyDev.lastResult = -7;
  ASSERT_TRUE(EEPROMCalibDataRead(3));
  EXPECT_EQ(MyDev.lastResult, 0);
  EXPECT_EQ(eeprom.requests, 2 + 81);  // select, info, 81 blocks of 64 bytes
  EXPECT_EQ(eeprom.selected, 3);
  EXPECT_EQ(MyCorS[1].ledLev[0], 60);
  EXPECT_EQ(MyCorS[0].ledLev[2], 52);
  EXPECT_EQ(MyCorS[2].ledLev[0], 77);
  EXPECT_EQ(MyCorS[1].whiteLev[0], 210);
  EXPECT_EQ(MyCorS[0].blackLev[0], 20);
  // Front: gain 50 %: 201 x 0.5 = 100.5 -> 100, black 100.5 x 21 / 210 = 10.05 -> 10.
  EXPECT_EQ(MyCorS[1].white[1], 100);
  EXPECT_EQ(MyCorS[1].black[1], 10);
  // Rear: 180, black 180 x 20 / 200 = 18.
  EXPECT_EQ(MyCorS[0].white[5], 180);
  EXPECT_EQ(MyCorS[0].black[5], 18);
  // Read again: the cache answers without the device.
  ASSERT_TRUE(EEPROMCalibDataRead(3));
  EXPECT_EQ(eeprom.requests, 83);
}

TEST_F(Eeprom, SmallWhiteLevelsAndZeroGain) {
  eeprom.info[kEEInfoGrayRearWhite] = 5;  // divided as 10
  eeprom.info[kEEInfoGrayFrontGain] = 0;
  ASSERT_TRUE(CorrInfoCreate(MyCorS));
  ASSERT_TRUE(EEPROMCalibDataRead(3));
  EXPECT_EQ(MyCorS[0].black[0], 255);  // 180 x 20 / 10 = 360, clamped
  EXPECT_EQ(MyCorS[1].white[7], 0);
  EXPECT_EQ(MyCorS[1].black[7], 0);
}

TEST_F(Eeprom, SerialComparison) {
  ASSERT_TRUE(CorrInfoCreate(MyCorS));
  std::strcpy(MyDev.serialString, "X123456");  // the last six characters match
  EXPECT_TRUE(EEPROMCalibDataRead(3));
  EEPROMCalibCacheClear();
  std::strcpy(MyDev.serialString, "3456");  // four characters are compared whole
  std::strcpy(reinterpret_cast<char*>(eeprom.info), "3456");
  EXPECT_TRUE(EEPROMCalibDataRead(3));
  EEPROMCalibCacheClear();
  std::strcpy(MyDev.serialString, "3457");
  int before = eeprom.requests;
  EXPECT_FALSE(EEPROMCalibDataRead(3));
  EXPECT_EQ(MyDev.lastResult, -1);
  EXPECT_EQ(eeprom.requests, before + 2);  // no data blocks after a foreign block
  // An unterminated serial field is compared within its seven bytes.
  std::memset(eeprom.info, 'Z', 7);
  std::strcpy(MyDev.serialString, "ZZZZZZZ");
  EXPECT_FALSE(EEPROMCalibDataRead(3));
}

TEST_F(Eeprom, ACachedBlockIsNotReusedForAnotherDevice) {
  ASSERT_TRUE(CorrInfoCreate(MyCorS));
  ASSERT_TRUE(EEPROMCalibDataRead(3));
  int before = eeprom.requests;
  std::strcpy(MyDev.serialString, "OTHER9");  // another scanner behind the same library
  EXPECT_FALSE(EEPROMCalibDataRead(3));
  EXPECT_GT(eeprom.requests, before);
}

TEST_F(Eeprom, FormatFailuresAndAFailedDataBlockLeaveTheCacheUnread) {
  ASSERT_TRUE(CorrInfoCreate(MyCorS));
  eeprom.info[kEEInfoCode] = 6;
  EXPECT_FALSE(EEPROMCalibDataRead(3));
  EXPECT_EQ(EEPROMCalibInfo300[0], 0);
  eeprom.info[kEEInfoCode] = 3;
  setInfoSize(eeprom.info, 2000);
  EXPECT_FALSE(EEPROMCalibDataRead(3));
  EXPECT_EQ(EEPROMCalibInfo300[kEEInfoSize] | EEPROMCalibInfo300[kEEInfoSize + 1] << 8, 2592);
  setInfoSize(eeprom.info, 2592);
  eeprom.failDataBlock = 40;
  EXPECT_FALSE(EEPROMCalibDataRead(3));
  EXPECT_EQ(EEPROMCalibInfo300[0], 0);
  eeprom.failDataBlock = -1;
  int before = eeprom.requests;
  EXPECT_TRUE(EEPROMCalibDataRead(3));  // asks the device again
  EXPECT_EQ(eeprom.requests, before + 83);
}

TEST_F(Eeprom, RefusalsWithoutDeviceAccess) {
  ASSERT_TRUE(CorrInfoCreate(MyCorS));
  EXPECT_FALSE(EEPROMCalibDataRead(4));
  EXPECT_EQ(MyDev.lastResult, -1);
  geometry(2592, 400, 0, 2592);  // no data set for 400 dpi
  MyDev.sideSwitch = 1;
  EXPECT_FALSE(CorrInfoRead(MyCorS));
  EXPECT_EQ(eeprom.requests, 0);
  geometry(2592, 300, 0, 2592);
  MyAcq.greyLed = 3;  // one LED: no factory data for it
  EXPECT_FALSE(EEPROMCalibDataRead(3));
  EXPECT_EQ(MyDev.lastResult, -1);
  EXPECT_FALSE(EEPROMCalibData_to_CorInfoSide());
  MyAcq.greyLed = 1;
  MyCorS[1].pixelsInUse = 1296;  // sizes that do not match
  EXPECT_FALSE(EEPROMCalibData_to_CorInfoSide());
  EXPECT_EQ(EEPROMPixelPerCol(6), 5184);
  MyDev.productId = 0x000E;
  EXPECT_EQ(EEPROMPixelPerCol(3), 1296);
}

TEST_F(Eeprom, TheCalibrationFileFallsBackToItAndKeepsIt) {
  MyDev.sideSwitch = 1;
  ASSERT_TRUE(CorrInfoRead(MyCorS));
  EXPECT_EQ(MyDev.calibValid, 1);
  EXPECT_EQ(MyCorS[1].modeLoaded, 0x0110);
  EXPECT_EQ(MyCorS[0].white[1000], 180);
  EXPECT_EQ(fileSize(path()), 2 * (4 * 3 + 2 * 2592));
  int before = eeprom.requests;
  EEPROMCalibCacheClear();
  ASSERT_TRUE(CorrInfoRead(MyCorS));  // from the file now
  EXPECT_EQ(eeprom.requests, before);
  EXPECT_EQ(MyCorS[0].white[1000], 180);
}

TEST_F(Eeprom, ConverseFillsTheBlockFromTheCorrectionData) {
  ASSERT_TRUE(CorrInfoCreate(MyCorS));
  ASSERT_TRUE(EEPROMCalibDataRead(3));
  MyCorS[1].whiteLev[0] = 111;
  for (int x = 0; x < 2592; ++x) MyCorS[1].white[x] = 150;  // 150 / 100 of the stored 100
  ASSERT_TRUE(CorInfoSide_to_EEPROMCalibData());
  EXPECT_EQ(EEPROMCalibInfo300[kEEInfoGrayFrontWhite], 111);
  EXPECT_EQ(EEPROMCalibInfo300[kEEInfoGrayFrontGain], 74);  // 150 against the stored mean 201
  MyAcq.greyLed = 5;
  EXPECT_FALSE(CorInfoSide_to_EEPROMCalibData());
  EXPECT_EQ(MyDev.lastResult, -4);
}

namespace {

// Replies of the stand-in device cut to `shortLength` bytes from request `shortFrom` on.
int shortFrom = -1;
int shortLength = 0;
int shortControl(int bank, int reg, char* buf, int len, bool in) {
  int r = fakeControl(bank, reg, buf, len, in);
  return shortFrom >= 0 && fake->requests > shortFrom && r > shortLength ? shortLength : r;
}

}  // namespace

TEST_F(Eeprom, AShortReplyIsAFailedRequestAndLeavesTheCacheUnread) {
  ASSERT_TRUE(CorrInfoCreate(MyCorS));
  pvk::acquisition::controlRequest = shortControl;
  shortFrom = 1;  // the info block
  shortLength = 10;
  EXPECT_FALSE(EEPROMCalibDataRead(3));
  EXPECT_EQ(MyDev.lastResult, -1);
  EXPECT_EQ(EEPROMCalibInfo300[0], 0);
  shortFrom = eeprom.requests + 2 + 5;  // the sixth data block
  shortLength = 63;
  EXPECT_FALSE(EEPROMCalibDataRead(3));
  EXPECT_EQ(EEPROMCalibInfo300[0], 0);
  shortFrom = -1;
  EXPECT_TRUE(EEPROMCalibDataRead(3));
  EXPECT_EQ(MyCorS[0].white[1000], 180);
}

TEST_F(Eeprom, TheConverseKeepsToTheBufferWhateverTheSizeFieldSays) {
  // The small model keeps 1296 pixels per column at 300 dpi; the side records say 2592.
  MyDev.productId = 0x000E;
  MyAcq.greyLed = 2;
  MyAcq.planesPerLine = 3;
  ASSERT_TRUE(CorrInfoCreate(MyCorS));
  for (int s = 0; s < 2; ++s) std::memset(MyCorS[s].white, 150, MyCorS[s].pixelsAlloc);
  ASSERT_TRUE(EEPROMCalibDataInit(3));
  ASSERT_TRUE(CorInfoSide_to_EEPROMCalibData());
  ASSERT_TRUE(CorInfoSide_to_EEPROMCalibData());  // the size field now says 2592
  ASSERT_TRUE(CorInfoSide_to_EEPROMCalibData());
  EXPECT_EQ(EEPROMCalibData300[1296], 150);
  EXPECT_EQ(EEPROMCalibInfo300[kEEInfoColourFrontGain], 100);
  // The size field the converse left is no licence to read past the buffer either.
  EXPECT_FALSE(EEPROMCalibData_to_CorInfoSide());
}
