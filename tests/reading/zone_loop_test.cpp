// The zone loop of a document read with scripted zone readers: what each zone reads is stated per
// zone, font and side; the test checks the joined output, the counts and fonts written back into
// the caller's request, the order of the reads and the result code.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/records.h"
#include "reading/reading.h"

namespace {

struct Line {
  int64_t left;  // the zone's left edge names it; -1 any
  short font;
  std::string text;
  int conf = 80;
};

struct Seen {
  int64_t left;
  short font;
  uint16_t side;
  uint16_t rotation;  // of the side image
  short cutRotation;
};

std::vector<Line> script;
std::vector<Seen> seen;
int dimensionsOffSide = -1;  // the image of this side is built with -20 left behind
int stopAfterReads = -1;      // a stop request arrives after this many reads
int negativeAtLeft = -1;

bool scriptedImage(unsigned short side, PVKOCRDoc* doc, unsigned char) {
  MyOcr.ocrImgRotation[side] = doc ? doc->rotation : 0;
  MyOcr.ocrImgValid[side] = 1;
  if (static_cast<int>(side) == dimensionsOffSide) MyDev.lastResult = PVK_ERR_IMG_DIMENSIONS;
  return true;
}

bool scriptedRead(PVKImg*, PVKOCRZone* z, short cutRotation, unsigned short max, char* text, char* conf, ChInfo*,
                  unsigned short side, void*) {
  seen.push_back({z->left, z->font, side, MyOcr.ocrImgRotation[side], cutRotation});
  if (stopAfterReads >= 0 && static_cast<int>(seen.size()) >= stopAfterReads) pvk::core::requestStop(true);
  std::memset(text, 0, max);
  std::memset(conf, 0, max);
  z->charsRead = 0;
  if (z->left == negativeAtLeft) {
    z->charsRead = static_cast<uint16_t>(-2);
    return true;
  }
  for (const Line& l : script) {
    if ((l.left >= 0 && l.left != z->left) || l.font != z->font) continue;
    const size_t n = std::min(l.text.size(), static_cast<size_t>(max - 1));
    std::memcpy(text, l.text.data(), n);
    std::memset(conf, l.conf, n);
    z->charsRead = static_cast<uint16_t>(n);
    break;
  }
  return true;
}

class ZoneLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    script.clear();
    seen.clear();
    dimensionsOffSide = stopAfterReads = negativeAtLeft = -1;
    pvk::core::requestStop(false);
    savedLog_ = MyLog;
    MyLog.Log = 0;
    MyLog.Debug = 0;
    MyLog.iniPath[0] = 0;
    std::memset(&MyOcr, 0, sizeof MyOcr);
    std::memset(&MyOcrOpt, 0, sizeof MyOcrOpt);
    std::memset(&MyITACheck, 0, sizeof MyITACheck);
    std::memset(&MyMICR, 0, sizeof MyMICR);
    MyOcr.typeDoc = MyOcr.typeDocSaved = MyOcr.typeDocCmc7 = 1;
    MyAcq.colourLines = 1;
    for (int s = 0; s < 2; ++s) MyDev.img[s].dpiH = MyDev.img[s].dpiV = 300;
    MyDev.lastResult = 0;
    MyDev.buzzerPresent = 0;
    savedReaders_ = pvk::reading::zoneReaders;
    pvk::reading::zoneReaders = {scriptedRead, scriptedImage};
  }
  void TearDown() override {
    pvk::core::requestStop(false);
    pvk::reading::zoneReaders = savedReaders_;
    MyLog = savedLog_;
  }

  // Zones named by their left edge 10, 20, 30, ... on the front.
  void request(std::vector<short> fonts) {
    doc = PVKOCRDoc{};
    doc.nZones = static_cast<int16_t>(fonts.size());
    for (size_t i = 0; i < fonts.size(); ++i) {
      doc.zones[i].font = fonts[i];
      doc.zones[i].side = 1;
      doc.zones[i].left = 10 * static_cast<int64_t>(i + 1);
    }
  }
  bool read(int size = sizeof text) {
    std::memset(text, 0x5A, sizeof text);
    std::memset(conf, 0x5A, sizeof conf);
    return Vx3ReadChar(&doc, text, conf, static_cast<unsigned short>(size));
  }
  std::vector<uint16_t> counts() const {
    std::vector<uint16_t> v;
    for (int i = 0; i < doc.nZones; ++i) v.push_back(doc.zones[i].charsRead);
    return v;
  }
  void micrHead() {
    MyMICR.headPresent = MyMICR.enabled = 1;
    MyMICR.side = 1;
  }

  PVKOCRDoc doc{};
  char text[256]{};
  char conf[256]{};
  LogInfo savedLog_;
  pvk::reading::ZoneReaders savedReaders_{};
};

TEST_F(ZoneLoop, ThreeZonesJoinWithTabsAndCount) {
  request({4, 4, 4});
  script = {{10, 4, "A"}, {30, 4, "BC"}};
  ASSERT_TRUE(read());
  EXPECT_STREQ(text, "A\t\tBC");
  EXPECT_EQ(std::string(conf, 5), "PddPP");
  EXPECT_EQ(counts(), (std::vector<uint16_t>{1, 0, 2}));
  EXPECT_EQ(MyDev.lastResult, 0);
}

TEST_F(ZoneLoop, AMagneticZoneLastInCallerOrderIsReadFirstAndWrittenLast) {
  micrHead();
  request({4, 32});
  script = {{10, 4, "OCR"}, {-1, 32, "0123456789"}};
  ASSERT_TRUE(read());
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].font, 32) << "the band is read first";
  EXPECT_EQ(seen[0].left, 0) << "over the whole width";
  EXPECT_STREQ(text, "OCR\t0123456789");
  EXPECT_EQ(counts(), (std::vector<uint16_t>{3, 10}));
  EXPECT_EQ(doc.zones[1].font, 32);
  EXPECT_EQ(MyMICR.cdlFound, 1);

  // Room for 10 characters: the band fills it, the OCR zone finds none, and the caller's order
  // needs a TAB before the band.
  request({4, 32});
  ASSERT_TRUE(read(11));
  EXPECT_STREQ(text, "\t012345678");
  EXPECT_EQ(counts(), (std::vector<uint16_t>{0, 9}));
  EXPECT_EQ(MyDev.lastResult, PVK_WAR_OCR_TRUNCATED);
  EXPECT_EQ(text[11], 0x5A) << "nothing past size";
}

TEST_F(ZoneLoop, MagneticZoneWithoutAnEnabledHeadEndsTheLoop) {
  request({4, 33});
  MyMICR.headPresent = 1;
  script = {{10, 4, "OCR"}};
  ASSERT_TRUE(read());
  EXPECT_EQ(MyDev.lastResult, PVK_ERR_HW_NOT_SUPPORTED);
  EXPECT_TRUE(seen.empty()) << "the MICR slot comes first and ends the loop";
}

struct ModeCase {
  const char* name;
  short mode;
  std::vector<Line> lines;
  std::string text;
  short font;
};

TEST_F(ZoneLoop, CompositeModesTryTheirFontsInOrder) {
  const std::string ocrb15 = "123456789012345", ocrb25 = "1234567890123456789012345";
  const ModeCase cases[] = {
      {"120 linear found", 120, {{-1, 7, "CODE128"}}, "CODE128", 7},
      {"120 PDF417 only", 120, {{-1, 8, "PDF TEXT"}}, "PDF TEXT", 8},
      {"120 nothing", 120, {}, "", 120},
      {"203 CMC7 2, OCR-B 15", 203, {{-1, 0, "12"}, {-1, 4, ocrb15}}, "", 203},
      {"203 CMC7 2, OCR-B 25", 203, {{-1, 0, "12"}, {-1, 4, ocrb25}}, ocrb25, 203},
      {"203 CMC7", 203, {{-1, 0, "0123456"}}, "0123456", 203},
      {"100 CMC7", 100, {{-1, 0, "0123"}, {-1, 4, "ABCDE"}}, "0123", 0},
      {"100 OCR-B", 100, {{-1, 0, "012"}, {-1, 4, "ABCDE"}}, "ABCDE", 4},
      {"100 nothing", 100, {}, "", 100},
      {"110 rear second geometry", 110, {{-1, 111, "0123?????"}}, "0123?????", 110},
      {"121", 121, {{-1, 7, "VERT"}}, "VERT", 121},
      {"14", 14, {{-1, 7, "123456"}}, "123456", 14},
  };
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(c.name);
    request({c.mode});
    script = c.lines;
    seen.clear();
    ASSERT_TRUE(read());
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(doc.zones[0].font, c.font);
    EXPECT_EQ(doc.zones[0].charsRead, c.text.size());
    EXPECT_EQ(MyOcr.typeDoc, 1) << "the type a mode sets is restored";
  }
}

TEST_F(ZoneLoop, Mode110AcceptsSixRealCharactersOnTheFrontFirst) {
  request({110});
  script = {{-1, 0, "0123456789"}};
  ASSERT_TRUE(read());
  EXPECT_STREQ(text, "0123456789");
  EXPECT_EQ(doc.zones[0].font, 0);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].side, 1);
  // Five real characters are not enough: all four tries are made, front then rear.
  request({110});
  script = {{-1, 0, "01234?"}};
  seen.clear();
  ASSERT_TRUE(read());
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[2].side, 0);
  EXPECT_EQ(doc.zones[0].font, 110);
}

// The zone keeps its place on the side image as built for the document; only its cut is turned.
TEST_F(ZoneLoop, Mode121TurnsTheCutNotTheSide) {
  request({121, 7});
  script = {{-1, 7, "VERT"}};
  ASSERT_TRUE(read());
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].rotation, 0);
  EXPECT_EQ(seen[0].cutRotation, 256);
  EXPECT_EQ(seen[1].cutRotation, 0);
  EXPECT_EQ(doc.zones[0].font, 121);
}

TEST_F(ZoneLoop, DimensionsOffAndCoarseSidesEndAsWarningThree) {
  request({4});
  script = {{-1, 4, "X"}};
  dimensionsOffSide = 1;
  ASSERT_TRUE(read());
  EXPECT_STREQ(text, "X");
  EXPECT_EQ(MyDev.lastResult, PVK_WAR_IMG_DIMENSIONS);

  dimensionsOffSide = -1;
  MyDev.img[1].dpiV = 50;
  request({4, 4});
  doc.zones[1].side = 0;
  ASSERT_TRUE(read());
  EXPECT_STREQ(text, "\tX") << "the front zone is left empty";
  EXPECT_EQ(MyDev.lastResult, PVK_WAR_IMG_DIMENSIONS);
}

TEST_F(ZoneLoop, AStopBetweenZonesSkipsTheRestAndKeepsThePlaces) {
  request({4, 4, 4});
  script = {{10, 4, "AB"}, {20, 4, "CD"}, {30, 4, "EF"}};
  stopAfterReads = 1;
  ASSERT_TRUE(read());
  EXPECT_STREQ(text, "AB\t\t");
  EXPECT_EQ(counts(), (std::vector<uint16_t>{2, 0, 0}));
  EXPECT_EQ(MyDev.lastResult, PVK_ERR_ABORTED);
  EXPECT_EQ(seen.size(), 1u);
}

TEST_F(ZoneLoop, ANegativeCountEmptiesTheOutput) {
  request({4, 4});
  script = {{10, 4, "AB"}};
  negativeAtLeft = 20;
  EXPECT_FALSE(read());
  EXPECT_STREQ(text, "");
  EXPECT_EQ(MyDev.lastResult, PVK_ERR_OCR);
}

TEST_F(ZoneLoop, AStoredCodelineNeedsRoomForItsTerminator) {
  // Type 3: the codeline search finds the CMC7 line, and a CMC7 zone returns it unread.
  const std::string cdl = "0123456789:0300212345<00001234";
  MyOcr.typeDoc = MyOcr.typeDocSaved = 3;
  MyOcr.cmc7Thr = 80;
  script = {{-1, 0, cdl, 90}};
  request({202});
  ASSERT_TRUE(read(static_cast<int>(cdl.size()) + 1));
  EXPECT_EQ(MyDev.lastResult, 0);
  EXPECT_EQ(doc.zones[0].charsRead, cdl.size());
  const size_t readsWithRoom = seen.size();

  request({202});
  seen.clear();
  ASSERT_TRUE(read(static_cast<int>(cdl.size())));
  EXPECT_EQ(MyDev.lastResult, PVK_ERR_INV_PARAMETER) << "too short codeline";
  EXPECT_STREQ(text, "");
  EXPECT_EQ(seen.size(), readsWithRoom) << "the zone itself is not read";
}

}  // namespace
