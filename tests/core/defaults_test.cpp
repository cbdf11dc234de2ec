// Start-up defaults of the option records and the clamps of the INI values.
#include "core/defaults.h"

#include <climits>

#include "core_test_util.h"

using pvk::test::TraceTest;
using pvk::test::writeFile;

namespace {

class Defaults : public TraceTest {
 protected:
  void load(const std::string& text) {
    writeFile(path("lib.ini"), text);
    InitImageAcquisition();
    InitMICRAcquisition();
    InitOCRAcquisition();
    InitOtherSettings();
  }
};

TEST_F(Defaults, WithoutAnIniFile) {
  InitImageAcquisition();
  InitMICRAcquisition();
  InitOCRAcquisition();
  InitOtherSettings();
  const AcqInfo& a = AcqDefault;
  EXPECT_EQ(a.colour, 1);
  EXPECT_EQ(a.forward, 1);
  EXPECT_EQ(a.deskew, 1);
  EXPECT_EQ(a.trim, 1);
  EXPECT_EQ(a.trimBoth, 0);
  EXPECT_EQ(a.removeBack, 1);
  EXPECT_EQ(a.doubleFeed, 1);
  EXPECT_EQ(a.doubleFeedDelivery, 1);
  EXPECT_EQ(a.doubleFeedCntMax, 450);
  EXPECT_EQ(a.doubleFeedBlackVe, 0xFFFF);
  EXPECT_EQ(a.sequenceCheck, 1);
  EXPECT_EQ(a.msBulk, 300);
  EXPECT_EQ(a.msValLines, 1);
  EXPECT_EQ(a.msWaitDoc, 10000);
  EXPECT_EQ(a.msWaitSwipe, 10000);
  EXPECT_EQ(a.acqTimeoutSec, 60);
  EXPECT_EQ(a.thresholds[0], 200);
  EXPECT_EQ(a.thresholds[2], 200);
  EXPECT_EQ(a.cfgFlags[3], 1);
  EXPECT_EQ(a.countPages, 1);
  EXPECT_EQ(a.acqBlock, 0xC00000u);
  EXPECT_EQ(MyAcq.planesPerLine, 1);
  EXPECT_EQ(MyAcq.colourLines, 0);
  EXPECT_EQ(MyDev.cleaningCheckEnabled, 1);
  EXPECT_EQ(fw3000Enable, 1);
  EXPECT_EQ(MyBuz.valDouble, 200);
  EXPECT_EQ(MyBuz.msDouble, 1200);
  EXPECT_EQ(MyBuz.valNoCld, 50);
  EXPECT_EQ(OcrDefault.typeDoc, 1);
  EXPECT_EQ(OcrDefault.typeDocMicroperf, 3);
  EXPECT_EQ(OcrDefault.checkIdExtended, 60);
  EXPECT_EQ(OcrDefault.cmc7Thr, 80);
  EXPECT_EQ(OcrDefault.e13bThr, 40);
  EXPECT_EQ(MyOcr.cmc7Thr, 80) << "OcrDefault is copied into MyOcr";
  EXPECT_EQ(MyInkjet.grayLev, 10);
  EXPECT_EQ(MyIQA.active, 1);
  EXPECT_EQ(MyIQA.lower[1], 60);
  EXPECT_EQ(MyIQA.lower[0], 40);
  EXPECT_EQ(MyIQA.upper[1], 230);
  EXPECT_EQ(MyIQA.quality[2], 20);
}

TEST_F(Defaults, DoubleFeedDeliveryDefaultsToDoubleFeed) {
  load("[General]\r\nDoubleFeed=0\r\n");
  EXPECT_EQ(AcqDefault.doubleFeed, 0);
  EXPECT_EQ(AcqDefault.doubleFeedDelivery, 0);
  load("[General]\r\nDoubleFeed=0\r\nDoubleFeedDelivery=1\r\n");
  EXPECT_EQ(AcqDefault.doubleFeed, 0);
  EXPECT_EQ(MyAcq.doubleFeedDelivery, 1);
}

TEST_F(Defaults, ValuesOutOfRangeAreClamped) {
  load("[General]\r\nDoubleFeedCntMax=5\r\nTrim=2\r\nDisAcqMode=300\r\nMaxHeight150=-7\r\n"
       "[Image]\r\nBorderThr=300\r\nBorderVal=-4\r\n[Inkjet2]\r\ngrayLev=0\r\n"
       "[Ocr]\r\nCMC7Thr=50\r\nE13BThr=70\r\n[Buzer]\r\nMSecNR=-9\r\nValNR=999\r\n");
  EXPECT_EQ(AcqDefault.doubleFeedCntMax, 10);
  EXPECT_EQ(AcqDefault.trim, 1);
  EXPECT_EQ(AcqDefault.trimBoth, 1);
  EXPECT_EQ(AcqDefault.disabledModes, 0);
  EXPECT_EQ(AcqDefault.maxHeight150, 0);
  EXPECT_EQ(AcqDefault.borderThr, 255);
  EXPECT_EQ(AcqDefault.borderVal, 0);
  EXPECT_EQ(MyInkjet.grayLev, 1);
  EXPECT_EQ(OcrDefault.cmc7Thr, 80);
  EXPECT_EQ(OcrDefault.e13bThr, 70);
  EXPECT_EQ(MyBuz.msNR, 0);
  EXPECT_EQ(MyBuz.valNR, 255);
  load("[Ocr]\r\nCMC7Thr=120\r\n[General]\r\nDisAcqMode=5\r\n");
  EXPECT_EQ(OcrDefault.cmc7Thr, 99);
  EXPECT_EQ(MyAcq.disabledModes, 5);
}

TEST_F(Defaults, TextsThatAreNotNumbersCountAsZero) {
  load("[General]\r\nDoubleFeedCntMax=many\r\nDeskew=yes\r\n[Ocr]\r\nCMC7Thr=high\r\n");
  EXPECT_EQ(AcqDefault.doubleFeedCntMax, 10);
  EXPECT_EQ(AcqDefault.deskew, 0);
  EXPECT_EQ(OcrDefault.cmc7Thr, 80);
}

// A key whose value is not a number, or lies outside what it may be, takes its default and is
// traced as a warning once, however often it is read; a missing or empty value is no fault.
TEST_F(Defaults, UnusableNumbersTakeTheDefaultWithOneWarning) {
  const struct {
    const char* line;  // the key's line, null for no key
    long lo, hi, expected;
    bool warned;
  } rows[] = {
      {nullptr, 1, 100, 30, false},  {"k=", 1, 100, 30, false},     {"k=  ", 1, 100, 30, false},
      {"k=1", 1, 100, 1, false},     {"k=0", 1, 100, 30, true},     {"k=-1", 1, 100, 30, true},
      {"k=100", 1, 100, 100, false}, {"k=101", 1, 100, 30, true},   {"k=abc", 1, 100, 30, true},
      {"k= 42x", 1, 100, 42, false}, {"k=-", LONG_MIN, LONG_MAX, 30, true},
      {"k=99999999999999999999", 1, LONG_MAX, LONG_MAX, false},
  };
  openTrace();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line ? row.line : "no key");
    writeFile(path("lib.ini"), std::string("[S]\r\n") + (row.line ? row.line : "other=1") + "\r\n");
    writeFile(tracePath(), "");
    EXPECT_EQ(pvk::core::iniNumberIn("S", "k", row.lo, row.hi, 30), row.expected);
    EXPECT_EQ(pvk::core::iniNumberIn("S", "k", row.lo, row.hi, 30), row.expected);
    const std::string expected = row.warned ? std::string("war -  [S] ") + row.line + ": value not usable, default taken\r\n" : "";
    EXPECT_EQ(trace(), expected);
  }
}

TEST_F(Defaults, OverridesAreTraced) {
  openTrace();
  load("[Ocr]\r\ntypeDoc=4\r\nCheckIdExtended=61\r\nBarcodeMirror=1\r\n[Debug]\r\nglitch=1\r\n"
       "[General]\r\nSWGlitchDetection=1\r\nDeskewMicr=1\r\n");
  EXPECT_EQ(OcrDefault.typeDoc, 4);
  EXPECT_EQ(MyMICR.deskew, 1);
  const std::string t = trace();
  for (const char* line : {"ini forces typeDoc to  4", "looking for beneficiary and ammount on 0x003d",
                           "Mirrored barcode enabled", "glitch debug", "with SW glitch detection"})
    EXPECT_NE(t.find(line), std::string::npos) << line << "\n" << t;
}

TEST_F(Defaults, AcqDefaultBecomesLive) {
  load("[Image]\r\nColor=2\r\n");
  EXPECT_EQ(MyAcq.colour, 1);
  AcqDefaultToLive();
  EXPECT_EQ(MyAcq.colour, 2);
}

}  // namespace
