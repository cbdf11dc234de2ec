// The calibration file: name, layout, round trip, validation, fallbacks and conditioning.
#include "../common/file_kinds.h"
#include "../common/file_limit.h"
#include "calib_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

using namespace calibtest;
using pvk::calibration::conditionWhiteReference;
using pvk::calibration::ConditionInput;

TEST_F(CalibFixture, FileNames) {
  EXPECT_EQ(path(), dir + "/pid_0x000b_sn_AB12_fw_0x3105_0110.pcf");
  char p[kCalibPathSize];
  ASSERT_TRUE(GetCalibFile(p, false));
  EXPECT_EQ(std::string(p), dir + "/AB12_0110_3105.pcf");
  MyDev.serialString[0] = '\0';
  EXPECT_EQ(path(), dir + "/vclb_fw_0x3105_0110.pcf");
  std::strcpy(MyDev.serialString, "0123456789ABCDEF");
  EXPECT_EQ(path(), dir + "/pid_0x000b_sn_vclb_fw_0x3105_0110.pcf");
  std::strcpy(MyDev.serialString, "S1");
  MyDev.fwVersion = 0x3000;
  MyAcq.ir = MyAcq.uv = 1;
  EXPECT_EQ(path(), dir + "/pid_0x000b_sn_S1_8510_ir_uv.pcf");
  MyDev.cnfDir[0] = '\0';
  EXPECT_EQ(path(), "pid_0x000b_sn_S1_8510_ir_uv.pcf");
}

TEST_F(CalibFixture, ANameThatDoesNotFitIsRefusedNotCut) {
  std::string longDir(240, 'd');
  std::snprintf(MyDev.cnfDir, sizeof MyDev.cnfDir, "/%s", longDir.c_str());
  char p[kCalibPathSize];
  MyDev.lastResult = 0;
  EXPECT_FALSE(GetCalibFile(p, true));
  EXPECT_EQ(p[0], '\0');
  EXPECT_EQ(MyDev.lastResult, -5);
  EXPECT_FALSE(CorrInfoWrite());
  // A directory too long for the serial falls back to the bare name, as before.
  std::string tooLong(252, 'e');
  std::snprintf(MyDev.cnfDir, sizeof MyDev.cnfDir, "%s", tooLong.c_str());
  ASSERT_TRUE(GetCalibFile(p, true));
  EXPECT_EQ(std::string(p), "pid_0x000b_sn_AB12_fw_0x3105_0110.pcf");
}

TEST_F(CalibFixture, WriteReadRoundTripByteForByte) {
  ASSERT_TRUE(CorrInfoCreate(MyCorS));
  fillGood(MyCorS);
  ASSERT_TRUE(CorrInfoWrite());
  // Three slots per side: 2 x 3 LED bytes, 3 + 3 levels, two references of 400 bytes.
  EXPECT_EQ(fileSize(path()), 2 * (4 * 3 + 2 * 400));
  std::vector<uint8_t> white(MyCorS[1].white, MyCorS[1].white + 400);
  std::vector<uint8_t> black(MyCorS[0].black, MyCorS[0].black + 400);
  CorrModeReset(MyCorS);
  MyAcq.calibrating = 1;  // no conditioning: the bytes come back as written
  ASSERT_TRUE(CorrInfoRead(MyCorS));
  EXPECT_EQ(std::vector<uint8_t>(MyCorS[1].white, MyCorS[1].white + 400), white);
  EXPECT_EQ(std::vector<uint8_t>(MyCorS[0].black, MyCorS[0].black + 400), black);
  EXPECT_EQ(MyCorS[1].ledLev[2], 0x123);
  EXPECT_EQ(MyCorS[0].ledLev[0], 30);
  EXPECT_EQ(MyCorS[1].modeLoaded, 0x0110);
  EXPECT_EQ(MyDev.calibValid, 1);
  // The first bytes of the file: LED levels little-endian, then the white levels.
  FILE* f = std::fopen(path().c_str(), "rb");
  uint8_t head[9];
  ASSERT_EQ(std::fread(head, 1, 9, f), 9u);
  std::fclose(f);
  EXPECT_EQ(std::vector<uint8_t>(head, head + 9),
            (std::vector<uint8_t>{30, 0, 40, 0, 0x23, 0x01, 200, 0, 0}));
}

// A calibration that the full disk keeps out of its file fails with -5, and the file keeps the
// calibration it held, whole; nothing else is left beside it.
TEST_F(CalibFixture, AFullDiskKeepsThePreviousCalibrationFile) {
  using pvk::testing::fileBytes;
  using pvk::testing::filesIn;
  using pvk::testing::withFileLimit;
  ASSERT_TRUE(CorrInfoCreate(MyCorS));
  fillGood(MyCorS);
  ASSERT_TRUE(CorrInfoWrite());
  const std::string before = fileBytes(path());
  const auto files = filesIn(dir);
  MyCorS[1].ledLev[0] = 77;  // a new calibration
  EXPECT_EQ(withFileLimit(500, [] { return CorrInfoWrite() ? 1 : MyDev.lastResult; }), -5);
  EXPECT_EQ(fileBytes(path()), before);
  EXPECT_EQ(filesIn(dir), files);
  // The same for the set of a calibration run: no temporary and no commit list stay behind.
  EXPECT_EQ(withFileLimit(500, [] {
              pvk::calibration::beginCalibSet();
              CorrInfoWrite();
              return pvk::calibration::commitCalibSet();
            }),
            -5);
  EXPECT_EQ(fileBytes(path()), before);
  EXPECT_EQ(filesIn(dir), files);
  // Marking the calibration invalid needs no room: the file becomes empty.
  EXPECT_EQ(withFileLimit(500, [] {
              CorrInfoMakeInvalid();
              return static_cast<int>(fileBytes(path()).size());
            }),
            0);
  EXPECT_EQ(filesIn(dir), files);
}

// A commit list left beside the calibration files renames only this device's files, from their
// own temporaries; a list naming anything else is dropped whole, and the loads go on.
TEST_F(CalibFixture, ACommitListIsTrustedOnlyForThisDevicesFiles) {
  using pvk::testing::fileBytes;
  const std::string mine = "pid_0x000b_sn_AB12_fw_0x3105_0110.pcf", other = "pid_0x000b_sn_XY99_fw_0x3105_0110.pcf";
  const struct {
    std::string list;
    bool renamed;  // this device's file put in place from its temporary
  } rows[] = {
      {mine, true},           {mine + "\npid_0x000b_sn_AB12_fw_0x3105_0111.pcf", true},
      {other, false},         {mine + "\npid_0x000b_sn_AB12_/../" + mine, false},
      {mine + ".bak", false}, {"pid_0x000b_sn_AB12.pcf", false},
      {mine + "\n\n", false}, {mine + "\n" + std::string("pid_0x000b_sn_AB12_x\0.pcf", 25), false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.list);
    ASSERT_TRUE(CorrInfoCreate(MyCorS));
    fillGood(MyCorS);
    ASSERT_TRUE(CorrInfoWrite());
    const std::string old = fileBytes(path());
    for (const std::string& name : {mine, other, mine + ".bak"})
      std::ofstream(dir + "/." + name + ".next", std::ios::binary) << std::string(old).replace(0, 1, "\x05");
    std::ofstream(dir + "/pid_0x000b_sn_AB12.commit", std::ios::binary) << row.list;
    CorrInfoRead(MyCorS);
    EXPECT_EQ(fileBytes(path())[0], row.renamed ? 5 : old[0]);
    for (const std::string& name : {std::string("pid_0x000b_sn_AB12.commit"), other, mine + ".bak"})
      EXPECT_NE(access((dir + "/" + name).c_str(), F_OK), 0) << name;
  }
}

// A calibration file that is a FIFO no one opens: reading it fails at once as a missing file
// does, and a calibration is not written into it.
TEST_F(CalibFixture, AFifoAtTheCalibrationFileIsNeitherReadNorWritten) {
  ASSERT_EQ(::mkfifo(path().c_str(), 0600), 0);
  MyAcq.calibrating = 1;  // no fallback to the factory data
  EXPECT_EQ(pvk::testing::withDeadline(10, [] { return CorrInfoRead(MyCorS) ? 1 : 0; }), 0);
  EXPECT_EQ(pvk::testing::withDeadline(10, [] {
              if (!CorrInfoCreate(MyCorS)) return 2;
              fillGood(MyCorS);
              return CorrInfoWrite() ? 1 : MyDev.lastResult;
            }),
            -5);
  EXPECT_EQ(pvk::testing::typeAt(path()), static_cast<mode_t>(S_IFIFO));
}

TEST_F(CalibFixture, WrongLengthsAndAnEmptyFileGiveNeutralData) {
  ASSERT_TRUE(CorrInfoCreate(MyCorS));
  fillGood(MyCorS);
  ASSERT_TRUE(CorrInfoWrite());
  const std::string p = path();
  for (long delta : {1L, -1L}) {
    long size = fileSize(p);
    ASSERT_EQ(truncate(p.c_str(), size + delta), 0);
    MyDev.calibValid = 1;
    EXPECT_FALSE(CorrInfoRead(MyCorS));
    EXPECT_EQ(MyDev.calibValid, 0);
    EXPECT_EQ(MyCorS[1].white[200], 255);
    EXPECT_EQ(MyCorS[1].black[200], 0);
    EXPECT_EQ(MyCorS[1].modeLoaded, 0);
    ASSERT_EQ(truncate(p.c_str(), size), 0);
  }
  // A zero-length file fails and does not fall back to the device's data.
  MyDev.sideSwitch = 1;
  CorrInfoMakeInvalid();
  EXPECT_EQ(fileSize(p), 0);
  EXPECT_FALSE(CorrInfoRead(MyCorS));
  EXPECT_EQ(eeprom.requests, 0);
}

TEST_F(CalibFixture, ValidationRefusesNoLedLevelAndNoWhiteLevel) {
  ASSERT_TRUE(CorrInfoCreate(MyCorS));
  fillGood(MyCorS);
  MyDev.ledCalib = 1;
  for (int s = 0; s < 2; ++s) std::memset(MyCorS[s].ledLev, 0, sizeof MyCorS[s].ledLev);
  ASSERT_TRUE(CorrInfoWrite());
  EXPECT_FALSE(CorrInfoRead(MyCorS));
  ASSERT_TRUE(CorrInfoCreate(MyCorS));
  fillGood(MyCorS);
  MyCorS[0].whiteLev[0] = MyCorS[1].whiteLev[0] = 0;
  ASSERT_TRUE(CorrInfoWrite());
  EXPECT_FALSE(CorrInfoRead(MyCorS));
  ASSERT_TRUE(CorrInfoCreate(MyCorS));
  fillGood(MyCorS);
  MyCorS[0].whiteLev[0] = 0;  // one side with a level is enough
  ASSERT_TRUE(CorrInfoWrite());
  EXPECT_TRUE(CorrInfoRead(MyCorS));
}

TEST_F(CalibFixture, AFrontOnlyBlockNeverReplacesATwoSideFile) {
  // A device calibrating both sides together: the rear switch does not change the name.
  MyDev.bothSidesCalib = 1;
  ASSERT_TRUE(CorrInfoCreate(MyCorS));
  fillGood(MyCorS);
  ASSERT_TRUE(CorrInfoWrite());
  const long twoSides = fileSize(path());
  MyAcq.rearOff = 1;
  ASSERT_TRUE(CorrInfoWrite());
  EXPECT_EQ(fileSize(path()), twoSides);
  EXPECT_TRUE(CorrInfoRead(MyCorS));
  // A device with a front-only calibration keeps a front-only file under its own name.
  MyDev.bothSidesCalib = 0;
  ASSERT_TRUE(CorrInfoCreate(MyCorS));
  fillGood(MyCorS);
  ASSERT_TRUE(CorrInfoWrite());
  EXPECT_EQ(fileSize(path()), 4 * 3 + 2 * 400);
  EXPECT_NE(path().find("_0310.pcf"), std::string::npos);
  EXPECT_TRUE(CorrInfoRead(MyCorS));
  EXPECT_EQ(MyCorS[0].ledLev[0], MyCorS[1].ledLev[0]);  // the rear takes the front's LEDs
}

TEST_F(CalibFixture, AFileOfTheOtherFirstSideStillLoads) {
  // Written front-only by an earlier writer for a device without a rear head flag.
  MyDev.rearPresent = 0;
  MyDev.fwVersion = 0x5011;
  ASSERT_TRUE(CorrInfoCreate(MyCorS));
  fillGood(MyCorS);
  ASSERT_TRUE(CorrInfoWrite());
  EXPECT_EQ(fileSize(path()), 4 * 3 + 2 * 400);
  MyDev.fwVersion = 0x5011;
  MyDev.rearPresent = 1;  // now read where the reader expects two sides
  std::string before = path();
  EXPECT_TRUE(CorrInfoRead(MyCorS));
  EXPECT_EQ(path(), before);
}

TEST_F(CalibFixture, MissingFileWithoutFactoryDataGivesNeutralData) {
  EXPECT_FALSE(CorrInfoRead(MyCorS));
  EXPECT_EQ(MyDev.calibValid, 0);
  ASSERT_NE(MyCorS[0].white, nullptr);
  EXPECT_EQ(MyCorS[0].white[0], 255);
  EXPECT_EQ(MyCorS[2].white, nullptr);  // no backlight: no buffers, accessors give null
  EXPECT_EQ(CorrInfoWhiteLevel(MyCorS, 2, 0), nullptr);
  EXPECT_EQ(CorrInfoWhiteLevel(MyCorS, 1, 1), nullptr);  // plane past the planes per line
  EXPECT_NE(CorrInfoWhiteLevel(MyCorS, 1, 0), nullptr);
}

TEST_F(CalibFixture, ReloadBeforeADocumentOnlyWhenTheSettingChanged) {
  ASSERT_TRUE(CorrInfoCreate(MyCorS));
  fillGood(MyCorS);
  ASSERT_TRUE(CorrInfoWrite());
  CorrModeReset(MyCorS);
  CorrModeUpdate();
  EXPECT_EQ(MyCorS[1].modeLoaded, 0x0110);
  MyCorS[1].white[100] = 7;  // not reloaded while the setting stays
  InitCorrInfo();             // until the scanner is opened again
  CorrModeUpdate();
  EXPECT_NE(MyCorS[1].white[100], 7);
  MyCorS[1].white[100] = 7;
  CorrModeUpdate();
  EXPECT_EQ(MyCorS[1].white[100], 7);
  MyAcq.calibrating = 1;
  MyDev.img[1].sensorPixels = 123;
  CorrModeUpdate();
  EXPECT_EQ(MyCorS[1].pixelsInUse, 123);
}

namespace {

struct Reference {
  std::vector<uint8_t> white, black;
  ConditionInput in{};
  Reference(int pixels, int left, int width, int dpi) : white(pixels, 200), black(pixels, 20) {
    in.pixels = pixels;
    in.left = left;
    in.width = width;
    in.dpi = dpi;
    in.whiteLevel = 200;
    in.blackLevel = 20;
  }
  bool run(bool& dirt) {
    in.white = white.data();
    in.black = black.data();
    return conditionWhiteReference(in, dirt);
  }
};

}  // namespace

TEST(WhiteConditioning, DirtIsFourDarkPixelsInARow) {
  for (int run : {3, 4}) {
    Reference r(400, 10, 380, 50);
    std::fill(r.white.begin() + 150, r.white.begin() + 150 + run, 50);
    bool dirt = false;
    ASSERT_TRUE(r.run(dirt));
    EXPECT_EQ(dirt, run == 4);
    EXPECT_EQ(r.white[150], 20 + 180);  // patched: black + span (avg 199 - 19)
  }
}

TEST(WhiteConditioning, MarginsOutliersAndAnEmptyWindow) {
  Reference r(400, 10, 380, 50);
  r.black[5] = 90;
  r.white[5] = 90;
  r.black[300] = 230;  // above 200: taken to the average black
  r.white[395] = 3;
  bool dirt = false;
  ASSERT_TRUE(r.run(dirt));
  EXPECT_EQ(r.black[5], 19);
  EXPECT_EQ(r.white[5], 199);
  EXPECT_EQ(r.black[300], 19);
  EXPECT_EQ(r.white[395], 199);
  EXPECT_FALSE(dirt);
  // A dark start of the left margin is patched, not counted as dirt.
  Reference m(400, 10, 380, 50);
  std::fill(m.white.begin() + 10, m.white.begin() + 20, 40);
  ASSERT_TRUE(m.run(dirt));
  EXPECT_FALSE(dirt);
  EXPECT_EQ(m.white[12], 20 + 180);
  // A window narrower than the margins: nothing to evaluate.
  Reference n(400, 10, 0, 50);
  EXPECT_FALSE(n.run(dirt));
  // Geometry larger than the reference stays inside it.
  Reference big(100, 10, 380, 20);
  EXPECT_TRUE(big.run(dirt));
}

TEST_F(CalibFixture, DirtFoundOnLoadAsksForCleaning) {
  ASSERT_TRUE(CorrInfoCreate(MyCorS));
  fillGood(MyCorS);
  std::fill(MyCorS[1].white + 150, MyCorS[1].white + 155, 50);
  ASSERT_TRUE(CorrInfoWrite());
  EXPECT_TRUE(CorrInfoRead(MyCorS));
  EXPECT_EQ(MyDev.cleaningRequired, 0);  // the check is off
  MyDev.cleaningCalibCheck = 1;
  EXPECT_TRUE(CorrInfoRead(MyCorS));
  EXPECT_EQ(MyDev.cleaningRequired, 1);
}

TEST_F(CalibFixture, OpeningRemovesOldSeparationAndZoneDumps) {
  for (const char* name : {"doc1_AltPixel.pgm", "x_OcrF.pgm", "x_OcrR.pgm", "x_OcrB.pgm", "keep.pgm",
                           "x_OcrF.bmp"}) {
    FILE* f = std::fopen((dir + "/" + name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
  }
  CancellaAltPixelPgm();
  for (const char* gone : {"doc1_AltPixel.pgm", "x_OcrF.pgm", "x_OcrR.pgm", "x_OcrB.pgm"})
    EXPECT_EQ(fileSize(dir + "/" + gone), -1) << gone;
  EXPECT_EQ(fileSize(dir + "/keep.pgm"), 0);
  EXPECT_EQ(fileSize(dir + "/x_OcrF.bmp"), 0);
}

TEST_F(CalibFixture, LedDefaultsFromTheIniFileAreClampedToAByte) {
  std::string ini = dir + "/lib.ini";
  FILE* f = std::fopen(ini.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("[BackLight]\r\nLedLevIRRGB=300\r\nLedLevIRGray=-5\r\nLedLevUVGray=77\r\nLedLevUVRGB=bright\r\n", f);
  std::fclose(f);
  std::snprintf(MyLog.iniPath, sizeof MyLog.iniPath, "%s", ini.c_str());
  MyAcq.rgb = 1;
  EXPECT_EQ(defautBLLedLev(), 255);
  EXPECT_EQ(defautUVLedLev(), 0);  // UV off
  MyAcq.uv = 1;
  EXPECT_EQ(defautUVLedLev(), 254);  // not a number: the default
  MyAcq.rgb = 0;
  EXPECT_EQ(defautBLLedLev(), 0);
  EXPECT_EQ(defautUVLedLev(), 77);
  MyLog.iniPath[0] = '\0';
}
