// The parameter table: ranges, refusals and exactly which fields each call changes.
#include <functional>
#include <vector>

#include "control_fixture.h"

extern "C" int PVKSetParameter(int id, int value);
extern "C" int PVKGetParameter0(unsigned short id);

namespace {

using pvk::test::ControlTest;

struct Change {
  unsigned short id;
  short value;
  int result;
  // What the call may change; everything else must stay byte for byte.
  std::function<void(AcqInfo&, _DevInfo&, OcrInfo&)> expect;
};

class ParameterTest : public ControlTest {
 protected:
  void SetUp() override {
    ControlTest::SetUp();
    MyDev.inkjetPresent = 1;  // hardware maximum 2560
    AcqDefault.msWaitStart = 40;
    AcqDefault.doubleFeedDelivery = 1;
    AcqDefault.doubleFeedBlackVe = 0x6000;
  }
  void check(const Change& c) {
    const AcqInfo acq0 = MyAcq;
    const _DevInfo dev0 = MyDev;
    const OcrInfo ocr0 = MyOcr;
    AcqInfo acq = acq0;
    _DevInfo dev = dev0;
    OcrInfo ocr = ocr0;
    if (c.expect) c.expect(acq, dev, ocr);
    dev.lastResult = c.result;
    EXPECT_EQ(Vx3ParamSet(c.id, c.value, false), c.result) << "id " << c.id << " value " << c.value;
    EXPECT_EQ(Vx3ResultGet(), c.result);
    EXPECT_EQ(std::memcmp(&MyAcq, &acq, sizeof acq), 0) << "MyAcq, id " << c.id << " value " << c.value;
    EXPECT_EQ(std::memcmp(&MyDev, &dev, sizeof dev), 0) << "MyDev, id " << c.id << " value " << c.value;
    EXPECT_EQ(std::memcmp(&MyOcr, &ocr, sizeof ocr), 0) << "MyOcr, id " << c.id << " value " << c.value;
    MyAcq = acq0;
    MyDev = dev0;
    MyOcr = ocr0;
  }
};

TEST_F(ParameterTest, RangesAndRefusalsChangeExactlyTheNamedFields) {
  const std::vector<Change> table = {
      {VX3_PAR_AUTOROTATE, 0, 0, [](AcqInfo& a, _DevInfo&, OcrInfo&) { a.deskew = 0; }},
      {VX3_PAR_AUTOROTATE, 2, -3, [](AcqInfo& a, _DevInfo&, OcrInfo&) { a.deskew = 1; }},
      {VX3_PAR_ENHANCE_IMG, -1, -3, [](AcqInfo& a, _DevInfo&, OcrInfo&) { a.sharp = 1; }},
      {VX3_PAR_CORRECT, 2, -3, [](AcqInfo& a, _DevInfo&, OcrInfo&) { a.calibOption = 1; }},
      {VX3_PAR_TRIM, 2, 0, [](AcqInfo& a, _DevInfo&, OcrInfo&) { a.trim = a.trimBoth = 1; }},
      {VX3_PAR_TRIM, -5, 0, nullptr},
      {VX3_PAR_THRESHOLD, 255, 0, [](AcqInfo& a, _DevInfo&, OcrInfo&) { a.thresholds[1] = 255; }},
      {VX3_PAR_THRESHOLD, 256, -3, nullptr},
      {VX3_PAR_THRESHOLD, -1, -3, nullptr},
      {VX3_PAR_THRESHOLD2, 128, 0, [](AcqInfo& a, _DevInfo&, OcrInfo&) { a.thresholds[0] = 128; }},
      {VX3_PAR_MAX_HEIGHT_150DPI, 0, 0, [](AcqInfo& a, _DevInfo&, OcrInfo&) { a.height150 = 2560; }},
      {VX3_PAR_MAX_HEIGHT_150DPI, 2560, 0, [](AcqInfo& a, _DevInfo&, OcrInfo&) { a.height150 = 2560; }},
      {VX3_PAR_MAX_HEIGHT_150DPI, 1, 0, [](AcqInfo& a, _DevInfo&, OcrInfo&) { a.height150 = 1; }},
      {VX3_PAR_MAX_HEIGHT_150DPI, 2561, -3, [](AcqInfo& a, _DevInfo&, OcrInfo&) { a.height150 = 2560; }},
      {VX3_PAR_MAX_HEIGHT_150DPI, -1, -3, [](AcqInfo& a, _DevInfo&, OcrInfo&) { a.height150 = 2560; }},
      {VX3_PAR_DOC_TYPE, 13, 0, [](AcqInfo&, _DevInfo&, OcrInfo& o) { o.typeDoc = o.typeDocSaved = 13; }},
      {VX3_PAR_DOC_TYPE, 2, -3, nullptr},
      {VX3_PAR_DOC_TYPE, 14, -3, nullptr},
      {VX3_PAR_BARCODE_TYPE, 5, -3, nullptr},
      {PAR_E13B_MAPPING, 3, 0, [](AcqInfo&, _DevInfo&, OcrInfo& o) { o.e13bMapping = 3; }},
      {PAR_E13B_MAPPING, 4, -3, [](AcqInfo&, _DevInfo&, OcrInfo& o) { o.e13bMapping = 0; }},
      {PAR_E13B_MAPPING, -1, -3, [](AcqInfo&, _DevInfo&, OcrInfo& o) { o.e13bMapping = 0; }},
      {VX3_PAR_BACKLIGHT, 1, -15, nullptr},  // no backlight hardware
      {VX3_PAR_BACKLIGHT, 2, -3, nullptr},
      {VX3_PAR_MSEC_WAIT_DOC, 0, 0, [](AcqInfo& a, _DevInfo&, OcrInfo&) {
         a.msWaitDoc = 0;
         a.cfgFlags[kCfgWaitDoc] = a.cfgFlags[kCfgWaitDoc2] = 0;
       }},
      {VX3_PAR_MSEC_WAIT_DOC, -7, 0, [](AcqInfo& a, _DevInfo&, OcrInfo&) {
         a.msWaitDoc = 0;
         a.cfgFlags[kCfgWaitDoc] = a.cfgFlags[kCfgWaitDoc2] = 1;
       }},
      {MSEC_WAIT_START, -1, -3, [](AcqInfo& a, _DevInfo&, OcrInfo&) { a.msWaitStart = 40; }},
      {VX3_PAR_ACQ_TIMEOUT, 0, 0, [](AcqInfo& a, _DevInfo&, OcrInfo&) { a.acqTimeoutSec = 60; }},
      {VX3_PAR_SLOW_ACQ, 1, 0, [](AcqInfo&, _DevInfo& d, OcrInfo&) { d.slowAcq = 1; }},
      {VX3_PAR_DOUBLE_FEED, 1, 0, nullptr},  // no double-feed hardware: both stay off
      // Firmware 0x5011 is below the INI limit 0x6000: the check is forced on.
      {VX3_PAR_DOUBLE_FEED_B, 1, 0, [](AcqInfo& a, _DevInfo&, OcrInfo&) { a.doubleFeedBlackVe = 0x9999; }},
      {VX3_PAR_DOUBLE_FEED_B, -1, 0, nullptr},
      {VX3_PAR_DPI_FRONT, -4, 0, [](AcqInfo&, _DevInfo& d, OcrInfo&) { d.outDpi[1] = 0; }},
      {VX3_PAR_DPI_BACKLIGHT, 200, 0, [](AcqInfo&, _DevInfo& d, OcrInfo&) { d.outDpi[2] = 200; }},
      {VX3_PAR_ONLY_MICR, 1, -3, nullptr},  // readable only
      {7, 0, -3, nullptr},
      {65535, 0, -3, nullptr},
  };
  for (const Change& c : table) check(c);
}

TEST_F(ParameterTest, FieldsWrittenIntoTheDefaultsToo) {
  EXPECT_EQ(Vx3ParamSet(MSEC_WAIT_START, 250, false), 0);
  EXPECT_EQ(AcqDefault.msWaitStart, 250);
  MyAcq.acqTimeoutMs = 500;
  EXPECT_EQ(Vx3ParamSet(VX3_PAR_ACQ_TIMEOUT, 5, false), 0);
  EXPECT_EQ(MyAcq.acqTimeoutSec, 5);
  EXPECT_EQ(AcqDefault.acqTimeoutSec, 5);
  EXPECT_EQ(MyAcq.acqTimeoutMs, 0);
  short v = 0;
  EXPECT_EQ(Vx3ParamSet(VX3_PAR_ACQ_TIMEOUT, -2, false), 0);
  ASSERT_EQ(Vx3ParamGet(VX3_PAR_ACQ_TIMEOUT, &v), 0);
  EXPECT_EQ(v, 60);
  MyDev.fwVersion = 0x7000;  // at or above the INI limit 0x6000: the limit stays
  MyAcq.doubleFeedBlackVe = 0x1234;
  EXPECT_EQ(Vx3ParamSet(VX3_PAR_DOUBLE_FEED_B, 1, false), 0);
  EXPECT_EQ(MyAcq.doubleFeedBlackVe, 0x1234);
  MyDev.doubleFeedHw = 1;
  EXPECT_EQ(Vx3ParamSet(VX3_PAR_DOUBLE_FEED, 1, false), 0);
  EXPECT_EQ(MyAcq.doubleFeed, 1);
  EXPECT_EQ(MyAcq.doubleFeedDelivery, 1);
}

TEST_F(ParameterTest, ReadsAndTheIdsThatCannotBeRead) {
  MyAcq.trim = 1;
  short v = 77;
  ASSERT_EQ(Vx3ParamGet(VX3_PAR_TRIM, &v), 0);
  EXPECT_EQ(v, 1);
  MyIQA.active = 1;
  MyIQA.errLevel = 9;
  ASSERT_EQ(Vx3ParamGet(VX3_PAR_IQA, &v), 0);
  EXPECT_EQ(v, 1);  // the active flag, not the level
  for (unsigned short id : {104, 1000, 1001, 7}) {
    v = 77;
    EXPECT_EQ(Vx3ParamGet(id, &v), -3) << id;
    EXPECT_EQ(v, 77) << id;
  }
  EXPECT_TRUE(traced("PVK_ERR_INV_PARAMETER getting ParId 7"));
  EXPECT_EQ(Vx3ParamGet(VX3_PAR_COLOR, nullptr), -3);
}

TEST_F(ParameterTest, TracesOfRefusals) {
  Vx3ParamSet(VX3_PAR_DOC_TYPE, 2, false);
  Vx3ParamSet(VX3_PAR_AUTOROTATE, 5, false);
  Vx3ParamSet(VX3_PAR_MAX_HEIGHT_150DPI, 9999, false);
  Vx3ParamSet(VX3_PAR_BACKLIGHT, 1, false);
  Vx3ParamSet(PAR_E13B_MAPPING, 9, false);
  Vx3ParamSet(999, 1, false);
  Vx3ParamSet(998, 1, true);
  EXPECT_TRUE(traced("VX3_PAR_DOC_TYPE 2"));
  EXPECT_TRUE(traced("VX3_PAR_AUTOROTATE - PVK_ERR_INV_PARAMETER for ParVal 5"));
  EXPECT_TRUE(traced("VX3_PAR_MAX_HEIGHT_150DPI - Invalid max height value 9999"));
  EXPECT_TRUE(traced("err -  Backlight request not supported by HW"));
  EXPECT_TRUE(traced("err -  SetParameter - Invalid PAR_E13B_MAPPING - setting default 9"));
  EXPECT_TRUE(traced("PVK_ERR_INV_PARAMETER setting ParId 999"));
  EXPECT_EQ(trace().find("998"), std::string::npos);  // quiet
}

TEST_F(ParameterTest, DocumentTypesZeroAndOneLetTheIniDecide) {
  std::snprintf(MyLog.iniPath, sizeof MyLog.iniPath, "%s/doctype_%d.ini", ::testing::TempDir().c_str(),
                static_cast<int>(getpid()));
  FILE* f = std::fopen(MyLog.iniPath, "w");
  ASSERT_NE(f, nullptr);
  std::fputs("[Ocr]\ntypeDoc=5\n", f);
  std::fclose(f);
  MyAcq.height150 = 7;
  OcrDefault.barcodeMirror = 1;
  EXPECT_EQ(Vx3ParamSet(VX3_PAR_DOC_TYPE, 1, false), 0);
  EXPECT_EQ(MyOcr.typeDoc, 5);
  EXPECT_EQ(MyOcr.typeDocSaved, 5);
  EXPECT_EQ(MyOcr.barcodeMirror, 1);
  EXPECT_EQ(MyAcq.height150, DefaultHeight150());
  EXPECT_TRUE(traced("ini forces typeDoc to  5"));
  std::remove(MyLog.iniPath);
  EXPECT_EQ(Vx3ParamSet(VX3_PAR_DOC_TYPE, 0, false), 0);  // no INI: the value itself
  EXPECT_EQ(MyOcr.typeDoc, 0);
}

TEST_F(ParameterTest, BacklightNeedsItsHardware) {
  MyDev.backlightHw = 1;
  EXPECT_EQ(Vx3ParamSet(VX3_PAR_BACKLIGHT, 1, false), 0);
  EXPECT_EQ(MyAcq.backlight, 1);
  EXPECT_EQ(MyDev.img[2].hasData, 1);
  EXPECT_EQ(Vx3ParamSet(VX3_PAR_BACKLIGHT, 0, false), 0);
  EXPECT_EQ(MyAcq.backlight, 0);
  EXPECT_EQ(MyDev.img[2].hasData, 0);
}

TEST_F(ParameterTest, OutputResolutionsFollowTheAutomaticSides) {
  MyAcq.autoFrontSide = 0;
  MyAcq.autoRearSide = 1;
  EXPECT_EQ(Vx3ParamSet(VX3_PAR_DPI_FRONT, 150, false), 0);
  EXPECT_EQ(Vx3ParamSet(VX3_PAR_DPI_REAR, 240, false), 0);
  EXPECT_EQ(MyDev.outDpi[0], 150);
  EXPECT_EQ(MyDev.outDpi[1], 240);
  // A garbled side field stays inside the three records.
  MyAcq.autoFrontSide = 40000;
  EXPECT_EQ(Vx3ParamSet(VX3_PAR_DPI_FRONT, 100, false), 0);
}

TEST_F(ParameterTest, ModeRequestsWithoutModeSupport) {
  MyDev.FwCapA = 0;
  const AcqInfo before = MyAcq;
  EXPECT_EQ(Vx3ParamSet(VX3_PAR_ACQ_MODE, 8, false), 0);
  EXPECT_EQ(Vx3ParamSet(VX3_PAR_ACQ_MODE, 0, false), 0);
  EXPECT_EQ(Vx3ParamSet(VX3_PAR_ACQ_MODE, 3, false), -3);
  EXPECT_EQ(std::memcmp(&MyAcq, &before, sizeof before), 0);
}

TEST_F(ParameterTest, RefusedModeAndColourPutTheRecordBack) {
  const AcqInfo before = MyAcq;
  EXPECT_EQ(Vx3ParamSet(VX3_PAR_ACQ_MODE, 5, false), -3);
  EXPECT_EQ(std::memcmp(&MyAcq, &before, sizeof before), 0);
  EXPECT_EQ(Vx3ParamSet(VX3_PAR_ACQ_MODE, 9, false), -3);
  EXPECT_EQ(std::memcmp(&MyAcq, &before, sizeof before), 0);
  EXPECT_EQ(Vx3ParamSet(VX3_PAR_COLOR, 24, false), -3);  // no IR or UV hardware
  EXPECT_EQ(std::memcmp(&MyAcq, &before, sizeof before), 0);
  EXPECT_TRUE(traced("err -  invalid color request 24"));
  // A mode the table allows locks it; 8 unlocks.
  EXPECT_EQ(Vx3ParamSet(VX3_PAR_ACQ_MODE, 3, false), 0);
  EXPECT_EQ(MyAcq.modeLocked, 1);
  EXPECT_EQ(MyAcq.mode, 3);
  EXPECT_EQ(Vx3ParamSet(VX3_PAR_ACQ_MODE, 8, false), 0);
  EXPECT_EQ(MyAcq.modeLocked, 0);
}

TEST_F(ParameterTest, WideIdsAndValuesAreRefusedAtTheCall) {
  PVKGetParameter0(0);  // start-up, which clears the records
  MyDev.handleValue = 1234;
  MyDev.state = 1;
  MyDev.FwCapI = 1;
  MyAcq.colour = 1;
  EXPECT_EQ(PVKSetParameter(65536, 2), -3);  // would wrap onto id 0, the colour
  EXPECT_EQ(MyAcq.colour, 1);
  EXPECT_EQ(PVKSetParameter(0, 65538), -3);  // would wrap onto value 2
  EXPECT_EQ(MyAcq.colour, 1);
  EXPECT_EQ(PVKSetParameter(-1, 0), -3);
  EXPECT_EQ(PVKSetParameter(VX3_PAR_THRESHOLD2, 99), 0);
  EXPECT_EQ(PVKGetParameter0(VX3_PAR_THRESHOLD2), 99);
  EXPECT_EQ(PVKGetParameter0(7), 0);
}

}  // namespace
