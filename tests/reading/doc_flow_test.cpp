// The decisions of a document read before its zone loop, and of the microperforation modes, with
// scripted zone readers: what a zone reads is stated per side, font and image rotation, and the
// test checks which zones were read and what the document keeps.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "reading/reading.h"

namespace {

struct Line {
  int side;
  short font;
  int rotation;  // -1: any
  std::string text;
  int conf;
  int top = 60, bottom = 100;  // box rows
};

struct Seen {
  int side;
  short font;
  int rotation;
  PVKOCRZone zone;
  unsigned short max;  // the bytes the reader may write, the NUL included
};

std::vector<Line> script;
std::vector<Seen> seen;
int failImageSide = -1;
bool engineSetsSemicolon = false;  // as the CMC7 reader does when ';' stands at 10..13

bool scriptedImage(unsigned short side, PVKOCRDoc* doc, unsigned char) {
  if (static_cast<int>(side) == failImageSide) return false;
  MyOcr.ocrImgRotation[side] = doc ? doc->rotation : 0;
  MyOcr.ocrImgValid[side] = 1;
  MyOcr.ocrImg[side].width = 2000;
  MyOcr.ocrImg[side].dpi = 300;
  return true;
}

bool scriptedRead(PVKImg*, PVKOCRZone* z, short, unsigned short max, char* text, char* conf, ChInfo* info,
                  unsigned short side, void*) {
  const int rotation = MyOcr.ocrImgRotation[side];
  seen.push_back({side, z->font, rotation, *z, max});
  MyOcr.currentFont = z->font;
  if (z->font == 0 && engineSetsSemicolon) MyITACheck.semicolonAt10 = 1;
  text[0] = 0;
  z->charsRead = 0;
  for (const Line& l : script) {
    if (l.side != side || l.font != z->font || (l.rotation >= 0 && l.rotation != rotation)) continue;
    const int n = static_cast<int>(l.text.size() < max ? l.text.size() : max - 1u);
    std::memcpy(text, l.text.data(), static_cast<size_t>(n));
    std::memset(conf, l.conf, static_cast<size_t>(n));
    text[n] = conf[n] = 0;
    for (int i = 0; info && i < n; ++i) {
      info[i] = ChInfo{};
      info[i].left = static_cast<uint16_t>(100 + 30 * i);
      info[i].right = static_cast<uint16_t>(120 + 30 * i);
      info[i].top = static_cast<uint16_t>(l.top);
      info[i].bottom = static_cast<uint16_t>(l.bottom);
    }
    z->charsRead = static_cast<uint16_t>(n);
    break;
  }
  return true;
}

const std::string kCheque = ":0123456789; 030021234> 000012345<";

class DocFlow : public ::testing::Test {
 protected:
  void SetUp() override {
    script.clear();
    seen.clear();
    failImageSide = -1;
    engineSetsSemicolon = false;
    std::memset(&MyOcr, 0, sizeof MyOcr);
    std::memset(&MyOcrOpt, 0, sizeof MyOcrOpt);
    std::memset(&MyITACheck, 0, sizeof MyITACheck);
    std::memset(&MyMICR, 0, sizeof MyMICR);
    std::memset(&MyOcrBL, 0, sizeof MyOcrBL);
    std::memset(MyAcq.rotation, 0, sizeof MyAcq.rotation);
    MyAcq.backlight = 0;
    MyDev.backlightSide = 1;
    MyDev.lastResult = 0;
    MyDev.img[0].trimWidth = MyDev.img[1].trimWidth = 2000;
    MyDev.img[0].rowsUsed = MyDev.img[1].rowsUsed = 900;
    MyLog.iniPath[0] = 0;
    MyOcr.cmc7Thr = 80;
    MyOcr.typeDocCmc7 = 1;
    MyOcr.typeDocSaved = 1;
    MyOcr.checkIdExtended = 60;
    saved = pvk::reading::zoneReaders;
    pvk::reading::zoneReaders = {scriptedRead, scriptedImage};
  }
  void TearDown() override { pvk::reading::zoneReaders = saved; }

  pvk::reading::SetupOutcome run(uint16_t typeDoc, std::vector<short> fonts, uint16_t rotation = 0) {
    MyOcr.typeDoc = typeDoc;
    doc = PVKOCRDoc{};
    doc.rotation = rotation;
    doc.nZones = static_cast<int16_t>(fonts.size());
    for (size_t i = 0; i < fonts.size(); ++i) {
      doc.zones[i].font = fonts[i];
      doc.zones[i].side = 1;
      doc.zones[i].left = 100 + static_cast<int>(i);
    }
    return pvk::reading::setUpDocument(&doc, text, conf, sizeof text, s);
  }
  int countSeen(short font) const {
    int n = 0;
    for (const Seen& v : seen) n += v.font == font;
    return n;
  }

  pvk::reading::ZoneReaders saved{};
  PVKOCRDoc doc{};
  char text[512]{};
  char conf[512]{};
  pvk::reading::DocumentSetup s{};
};

// ---- Detection --------------------------------------------------------------------------------

TEST_F(DocFlow, ChequeUpsideDownOnTheFront) {
  script = {{1, 0, 512, kCheque, 90}};
  EXPECT_EQ(run(3, {4}), pvk::reading::SetupOutcome::ReadZones);
  EXPECT_EQ(MyOcrOpt.found, 1);
  EXPECT_EQ(MyOcrOpt.rotation, 512);
  EXPECT_EQ(MyOcrOpt.side, 1);
  EXPECT_EQ(MyAcq.autoFrontSide, 1);
  ASSERT_EQ(seen.size(), 2u);  // rotation 0, then 512
  EXPECT_EQ(seen[0].rotation, 0);
  EXPECT_EQ(seen[0].zone.left, -1370);
  EXPECT_EQ(seen[0].zone.width, 1370);
  EXPECT_EQ(MyOcr.typeDoc, 3);
  EXPECT_EQ(MyOcr.multiLine, 0);
}

TEST_F(DocFlow, E13BBandSpansTheWholeWidth) {
  script = {{1, 1, 0, "1234567890123456789012345", 90}};
  run(10, {4});
  EXPECT_EQ(MyOcrOpt.found, 1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].zone.font, 1);
  EXPECT_EQ(seen[0].zone.left, 0);
  EXPECT_EQ(seen[0].zone.width, 0);
}

TEST_F(DocFlow, CodelineOnlyOnTheRear) {
  script = {{0, 0, 768, kCheque, 90}};
  run(4, {4});
  EXPECT_EQ(MyOcrOpt.found, 1);
  EXPECT_EQ(MyOcrOpt.side, 0);
  EXPECT_EQ(MyAcq.autoRearSide, 1);
  ASSERT_EQ(seen.size(), 4u + 4u);  // all four front rotations, then 0, 512, 256, 768 on the rear
  EXPECT_EQ(seen[4].side, 0);
}

TEST_F(DocFlow, NothingFoundRestoresTheDocumentType) {
  run(3, {4});
  EXPECT_EQ(seen.size(), 4u);
  EXPECT_EQ(MyOcrOpt.found, 0);
  EXPECT_EQ(MyOcrOpt.side, 0);
  EXPECT_EQ(MyOcr.typeDoc, 1);
}

TEST_F(DocFlow, NumberedPaymentFormIsWidenedFittedAndReadAgain) {
  script = {{1, 38, -1, "000001234567890123456 896>", 90, 60, 100}};
  run(12, {4});
  EXPECT_EQ(MyOcrOpt.found, 1);
  EXPECT_EQ(MyOcrOpt.font, 38);
  EXPECT_EQ(MyOcrOpt.count, 26);
  ASSERT_EQ(seen.size(), 2u);  // found at once: no further rotation
  const PVKOCRZone& again = seen[1].zone;
  EXPECT_EQ(again.left, -1000);
  EXPECT_EQ(again.width, 1000);
  EXPECT_EQ(again.top, -150 + 10);  // character tops at 60 rows: 30, 10 below the margin of 20
  EXPECT_EQ(again.height, 60);      // bottoms at 50, + 20, from the new top
  EXPECT_EQ(MyOcr.typeDoc, 12);
}

TEST_F(DocFlow, PaymentFormPatternsAndScarto) {
  script = {{1, 38, -1, "0123456789+01+<", 90}};
  run(12, {4});
  EXPECT_EQ(MyOcrOpt.found, 1);
  EXPECT_EQ(seen[1].zone.left, -1000);
  seen.clear();
  script = {{1, 38, -1, "123456789", 90}};
  run(12, {4});
  EXPECT_EQ(seen.size(), 4u);
  EXPECT_EQ(MyOcrOpt.found, 0);
  EXPECT_EQ(MyOcrOpt.count, 0);
  EXPECT_EQ(MyOcr.typeDoc, 1);
}

TEST_F(DocFlow, Type222MakesTheDocumentType2) {
  script = {{1, 38, -1, "012345678901>1<2+3<", 90}};
  run(9, {4});
  EXPECT_EQ(MyOcrOpt.found, 1);
  EXPECT_EQ(MyOcrOpt.font, 3);
  EXPECT_EQ(MyOcrOpt.typeDoc, 2);
  EXPECT_EQ(seen[1].zone.left, -1230);
}

TEST_F(DocFlow, MagneticModeReadsTheHeadSideAtItsRotation) {
  MyMICR.enabled = 1;
  MyMICR.side = 0;
  MyMICR.rotation = 768;
  script = {{0, 32, 768, kCheque, 90}};
  run(3, {32});
  EXPECT_EQ(MyOcrOpt.found, 1);
  EXPECT_EQ(MyOcrOpt.side, 0);
  EXPECT_EQ(MyMICR.cdlFound, 1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].font, 32);
}

TEST_F(DocFlow, ArrowPatchFromTheIni) {
  char path[] = "/tmp/reading_doc_iniXXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  FILE* f = fdopen(fd, "w");
  std::fputs("[Patch]\r\nFreccia01=2\r\n", f);
  std::fclose(f);
  std::strcpy(MyLog.iniPath, path);
  run(1, {4, 8});
  EXPECT_EQ(s.work.zones[1].font, 8);
  EXPECT_EQ(s.work.zones[1].left, -460);
  EXPECT_EQ(s.work.zones[1].top, -340);
  EXPECT_EQ(s.work.zones[1].width, 460);
  EXPECT_EQ(s.work.zones[1].height, 240);
  // Type 13 for this document: the payment-form search ran, found nothing, and the saved type
  // came back.
  EXPECT_EQ(countSeen(38), 4);
  EXPECT_EQ(MyOcr.typeDoc, 1);
  std::remove(path);
}

TEST_F(DocFlow, ZonesReorderedWithTheItalianGeometry) {
  MyOcr.onlyMicr = 1;
  MyITACheck.active = 1;
  run(1, {4, 36, 0, 1, 41, 35, 40});
  const int expected[] = {2, 3, 1, 0, 4, 5, 6};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(s.callerIndex[i], expected[i]) << "slot " << i;
  const PVKOCRZone* z = s.work.zones;
  EXPECT_EQ(z[0].font, 32);
  EXPECT_EQ(z[0].top, -100);
  EXPECT_EQ(z[0].width, 0);
  EXPECT_EQ(z[1].font, 33);
  EXPECT_EQ(z[2].top, -280);
  EXPECT_EQ(z[3].left, 100);  // the OCR-B zone keeps its geometry
  EXPECT_EQ(z[4].top, -410);      // the sides are taller than 830 rows
  EXPECT_EQ(z[4].left, -365);
  EXPECT_EQ(z[5].width, 280);
  EXPECT_EQ(z[6].left, 150);
  EXPECT_EQ(MyOcr.typeDoc, 1);    // typeDocCMC7 is 1 here
}

TEST_F(DocFlow, RotationChecks) {
  run(1, {4}, 1024);
  EXPECT_EQ(s.work.rotation, 1024);
  run(1, {4}, 100);
  EXPECT_EQ(s.work.rotation, 0);
  MyMICR.enabled = 1;
  MyMICR.rotation = 256;
  run(1, {4}, 0);
  EXPECT_EQ(s.work.rotation, 256);
}

TEST_F(DocFlow, ImageFailureEndsTheDocument) {
  failImageSide = 1;
  EXPECT_EQ(run(3, {4}), pvk::reading::SetupOutcome::Output);
  EXPECT_TRUE(seen.empty());
}

// ---- Cross-check --------------------------------------------------------------------------------

const std::string kDataMatrix = "103002123450123456789ABCDEFGH00000012345";  // 40 characters

TEST_F(DocFlow, DataMatrixRaisesAWeakCodelineDigit) {
  engineSetsSemicolon = true;
  script = {{1, 0, 0, kCheque, 90}, {1, 36, -1, kDataMatrix, 100}};
  // The codeline's digits at 90 lie below the threshold 100 (CMC7Thr 80 + 20): confirmed, 100.
  run(3, {4});
  ASSERT_EQ(MyOcrOpt.found, 1);
  EXPECT_TRUE(pvk::reading::italianDataMatrix.read);
  EXPECT_EQ(pvk::reading::italianDataMatrix.count, 40);
  for (int i = 1; i <= 10; ++i) EXPECT_EQ(MyOcrOpt.conf[i], 100) << "position " << i;
}

TEST_F(DocFlow, ReadsOfferTheirWholeBuffersNulIncluded) {
  engineSetsSemicolon = true;
  script = {{1, 0, 0, kCheque, 90}, {1, 36, -1, kDataMatrix, 100}};
  run(3, {4});
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(seen[0].max, 128);  // the band: 127 characters at most
  EXPECT_EQ(seen[1].font, 36);
  for (size_t i = 1; i < seen.size(); ++i)  // the DataMatrix and the numbers that check it: 255
    EXPECT_EQ(seen[i].max, 256) << "font " << seen[i].font;
}

TEST_F(DocFlow, DataMatrixFourDifferencesLeftAlone) {
  engineSetsSemicolon = true;
  script = {{1, 0, 0, kCheque, 90}, {1, 36, -1, "103002123450999956789ABCDEFGH00000012345", 100}};
  run(3, {4});
  EXPECT_EQ(std::string(MyOcrOpt.text), kCheque);
  EXPECT_EQ(MyOcrOpt.conf[1], 90);
}

TEST_F(DocFlow, WithoutDataMatrixTheOcrbLineCorrects) {
  engineSetsSemicolon = true;
  script = {{1, 0, 0, ":01234?6789; 030021234> 000012345<", 90}, {1, 39, -1, "0123456789 12", 100}};
  run(3, {4});
  EXPECT_EQ(std::string(MyOcrOpt.text).substr(0, 11), ":0123456789");
  EXPECT_EQ(std::string(MyITACheck.ocrbLine), "0123456789 12");
  EXPECT_EQ(countSeen(941), 0);  // the OCR-B line settled it
}

TEST_F(DocFlow, DataMatrixRetriedOnTheBacklight) {
  struct Case {
    const char* name;
    bool backlight;
    std::string front, rear;  // the DataMatrix read on the front, on the backlight
    int count, backlightReads;
  };
  const std::string kShort = kDataMatrix.substr(0, 28);
  const std::vector<Case> cases = {
      {"front symbol: no retry", true, kDataMatrix, kDataMatrix, 40, 0},
      {"front unreadable: the backlight's", true, "", kDataMatrix, 40, 1},
      {"front too short: the backlight's", true, kShort, kDataMatrix, 40, 1},
      {"backlight too short: none", true, "", kShort, 0, 1},
      {"no backlight acquisition: none", false, "", kDataMatrix, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    engineSetsSemicolon = true;
    MyAcq.backlight = c.backlight;
    script = {{1, 0, 0, kCheque, 90}, {1, 36, -1, c.front, 100}, {2, 36, -1, c.rear, 100}};
    seen.clear();
    run(3, {4});
    ASSERT_EQ(MyOcrOpt.found, 1);
    EXPECT_EQ(pvk::reading::italianDataMatrix.count, c.count);
    int backlightReads = 0;
    for (const Seen& v : seen) backlightReads += v.font == 36 && v.side == 2;
    EXPECT_EQ(backlightReads, c.backlightReads);
    EXPECT_EQ(MyOcrOpt.conf[1], c.count ? 100 : 90);
  }
}

TEST_F(DocFlow, CrossCheckNeedsTheSeparatorFlag) {
  script = {{1, 0, 0, kCheque, 90}, {1, 36, -1, kDataMatrix, 100}};
  run(3, {4});
  EXPECT_EQ(countSeen(36), 0);
  EXPECT_FALSE(pvk::reading::italianDataMatrix.read);
}

// ---- Microperforation -----------------------------------------------------------------------------

class Microperforation : public DocFlow {
 protected:
  int read(int mode, int capacity = 256, int64_t left = 10, int64_t width = 280) {
    pvk::reading::italianDataMatrix.read = true;
    PVKOCRZone z{};
    z.font = static_cast<int16_t>(mode);
    z.side = 1;
    z.left = left, z.top = -115, z.width = width, z.height = 70;
    MyAcq.autoFrontSide = 1;
    MyAcq.autoRearSide = 0;
    std::memset(out, 0, sizeof out);
    return pvk::reading::readMicroperforationZone(s, z, mode, out, outConf, capacity);
  }
  char out[300]{}, outConf[300]{};
};

TEST_F(Microperforation, AcceptedBacklightReadingIsEnough) {
  MyAcq.backlight = 1;
  std::strcpy(MyITACheck.expected1, "0123456789");
  script = {{2, 938, -1, "0123456789", 90}, {1, 941, -1, "0000000000", 90}};
  EXPECT_EQ(read(35), 10);
  EXPECT_EQ(std::string(out), "0123456789");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].side, 2);
}

TEST_F(Microperforation, ReadingsHoldUpTo255Characters) {
  MyAcq.backlight = 1;
  script = {{2, 939, -1, std::string(300, 'A'), 90}};
  read(40, 300);
  ASSERT_FALSE(seen.empty());
  for (const Seen& v : seen) EXPECT_EQ(v.max, 256) << "font " << v.font;
}

TEST_F(Microperforation, WithoutBacklightFrontAndRearDecide) {
  struct Case {
    const char* name;
    std::string front, rear, result;
  };
  const std::vector<Case> cases = {
      {"front empty: the rear", "", "0123456789", "0123456789"},
      {"rear empty: the front", "0123456789", "", "0123456789"},
      {"both: merged", "0123456789", "0123456789", "0123456789"},
      {"both empty", "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    script = {{1, 941, -1, c.front, 90}, {0, 935, -1, c.rear, 90}};
    seen.clear();
    EXPECT_EQ(read(35), static_cast<int>(c.result.size()));
    EXPECT_EQ(std::string(out), c.result);
    EXPECT_EQ(countSeen(938), 0);
    ASSERT_EQ(countSeen(935), 1);
  }
}

TEST_F(Microperforation, RearZoneIsMirrored) {
  script = {{1, 941, -1, "0123456789", 90}};
  read(35);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].side, 0);
  EXPECT_EQ(seen[1].zone.left, -(10 + 280));
  EXPECT_EQ(seen[1].zone.width, 280);
}

TEST_F(Microperforation, RearLeftSaturatesFarOut) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max(), kMin = std::numeric_limits<int64_t>::min();
  struct Case {
    int64_t left, width, rearLeft;
  };
  // The front OCR image is 2000 pixels at 300 dpi: W = 1000.
  const std::vector<Case> cases = {
      {-365, 350, -365 - 350 - 1000}, {0, 0, 0},         {kMax, 280, -kMax}, {kMax - 100, kMax, -kMax},
      {kMin, 280, kMin},              {-5, kMax, kMin}, {-1, 0, -1001},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.left << " " << c.width);
    script = {{1, 941, -1, "0123456789", 90}};
    seen.clear();
    read(35, 256, c.left, c.width);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].zone.left, c.rearLeft);
    EXPECT_EQ(seen[1].zone.width, c.width);
  }
}

TEST_F(Microperforation, AmountWithStars) {
  script = {{1, 943, -1, "**123,45", 90}};
  EXPECT_EQ(read(41), 12);
  EXPECT_EQ(std::string(out), "000000123,45");
}

TEST_F(Microperforation, ResultAsLongAsTheRoomIsCut) {
  script = {{1, 941, -1, "0123456789", 90}};
  EXPECT_EQ(read(35, 11), 10);
  EXPECT_EQ(MyDev.lastResult, 0);
  EXPECT_EQ(read(35, 10), 9);
  EXPECT_EQ(std::string(out), "012345678");
  EXPECT_EQ(MyDev.lastResult, 7);
}

TEST_F(Microperforation, PayeeRetriedOnTheBacklightWithTheRetryFont) {
  MyAcq.backlight = 1;
  MyITACheck.dmTypeDigit = 3;  // bit 3 of CheckIdExtended 60 is set
  script = {{2, 939, -1, "AB", 90}, {1, 942, -1, "CD", 90}};
  read(40);
  EXPECT_EQ(countSeen(945), 2);  // on the backlight, then the front again
  EXPECT_EQ(countSeen(936), 0);  // no rear reading
  seen.clear();
  MyITACheck.dmTypeDigit = 1;  // bit 1 clear
  read(40);
  EXPECT_EQ(countSeen(945), 0);
  EXPECT_EQ(countSeen(936), 1);
}

TEST_F(Microperforation, ImageFailureIsAnError) {
  failImageSide = 1;
  script = {{1, 941, -1, "0123456789", 90}};
  EXPECT_EQ(read(35), -1);
}

}  // namespace
