// The codeline of a document: how a band reading is scored and kept, what it fixes of the
// sides, rotations and backlight orientation, and how a payment-form line is judged.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "reading/reading.h"

namespace {

class DocCodeline : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(&MyOcrOpt, 0, sizeof MyOcrOpt);
    std::memset(&MyOcrBL, 0, sizeof MyOcrBL);
    std::memset(&MyMICR, 0, sizeof MyMICR);
    MyAcq.autoFrontSide = 7;
    MyAcq.autoRearSide = 7;
    MyDev.backlightSide = 1;
    MyOcr.typeDoc = 3;
  }
  // A zone that read text with every confidence conf.
  PVKOCRZone zone(const std::string& t, short side = 1, short font = 0) {
    text = t;
    confs.assign(t.size() + 1, 0);
    for (size_t i = 0; i < t.size(); ++i) confs[i] = 90;
    PVKOCRZone z{};
    z.side = side;
    z.font = font;
    z.charsRead = static_cast<uint16_t>(t.size());
    return z;
  }
  bool offer(const PVKOCRZone& z, short rotation, bool fromMicr, bool strict, int& best) {
    return AggiornaOptCdl(z, text.data(), confs.data(), nullptr, rotation, fromMicr, strict, best);
  }
  std::string text;
  std::vector<char> confs;
};

const std::string kCheque = ":0123456789; 030021234> 000012345<";  // 34 characters

TEST_F(DocCodeline, AcceptedChequeFixesSideAndRotation) {
  int best = 0;
  EXPECT_TRUE(offer(zone(kCheque, 1), 512, false, false, best));
  EXPECT_EQ(best, 90 * 32);  // the two blanks are not counted
  EXPECT_EQ(MyOcrOpt.found, 1);
  EXPECT_EQ(MyOcrOpt.rotation, 512);
  EXPECT_EQ(MyOcrOpt.side, 1);
  EXPECT_EQ(MyOcrOpt.count, 34);
  EXPECT_EQ(MyOcrOpt.typeDoc, 3);
  EXPECT_EQ(std::string(MyOcrOpt.text), kCheque);
  EXPECT_EQ(MyAcq.autoFrontSide, 1);
  EXPECT_EQ(MyAcq.autoRearSide, 0);
  for (uint16_t r : MyAcq.rotation) EXPECT_EQ(r, 512);
}

TEST_F(DocCodeline, WeakOrShortReadingsAreNotKept) {
  int best = 0;
  EXPECT_FALSE(offer(zone("12", 1), 0, false, false, best));
  EXPECT_FALSE(offer(zone("1? ?2", 1), 0, false, false, best));  // two real characters
  EXPECT_EQ(MyOcrOpt.found, 0);
  best = 90 * 32;
  EXPECT_FALSE(offer(zone(kCheque, 1), 0, false, false, best));  // not above best
  EXPECT_EQ(MyOcrOpt.found, 0);
  // Kept but not accepted: too short, too weak, or an unread character when strict.
  best = 0;
  EXPECT_FALSE(offer(zone("01234567890123456789", 1), 0, false, false, best));
  EXPECT_EQ(MyOcrOpt.count, 20);
  best = 0;
  PVKOCRZone weak = zone(kCheque, 1);
  for (auto& c : confs) c = 60;
  EXPECT_FALSE(offer(weak, 0, false, false, best));
  best = 0;
  EXPECT_FALSE(offer(zone(":0123456789; 0300?1234> 000012345<", 0), 0, false, true, best));
  EXPECT_EQ(MyOcrOpt.side, 0);
  EXPECT_EQ(MyAcq.autoRearSide, 1);
}

TEST_F(DocCodeline, ZeroConfidenceKeepsTheLaterOnes) {
  int best = 0;
  PVKOCRZone z = zone(kCheque, 1);
  confs[3] = 0;
  confs[20] = 77;
  offer(z, 0, false, false, best);
  EXPECT_EQ(MyOcrOpt.conf[3], 0);
  EXPECT_EQ(MyOcrOpt.conf[20], 77);
  EXPECT_EQ(MyOcrOpt.conf[33], 90);
}

TEST_F(DocCodeline, MagneticReadingTakesTheHeadSide) {
  MyMICR.side = 0;
  int best = 0;
  offer(zone(kCheque, 1, 32), 768, true, false, best);
  EXPECT_EQ(MyOcrOpt.side, 0);
  EXPECT_EQ(MyMICR.cdlFound, 1);
  best = 0;
  offer(zone(kCheque, 1, 32), 768, true, true, best);
  EXPECT_EQ(MyOcrOpt.side, 1);
}

TEST_F(DocCodeline, BacklightOrientationPerSide) {
  struct Case {
    short side;
    uint16_t blSide;
    short rotation;
    std::vector<uint16_t> order;
    int flipH, flipV;
  };
  const std::vector<Case> cases = {
      {0, 0, 0, {512, 256, 0, 768}, 1, 1},   {0, 0, 256, {512, 256, 0, 768}, 1, 1},
      {0, 1, 0, {0, 256, 512, 768}, 1, 0},   {0, 1, 768, {0, 256, 512, 768}, 0, 1},
      {1, 1, 256, {0, 256, 512, 768}, 0, 0}, {1, 0, 512, {0, 768, 512, 256}, 1, 0},
      {1, 0, 256, {0, 768, 512, 256}, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "side " << c.side << " backlight " << c.blSide << " rotation " << c.rotation);
    MyDev.backlightSide = c.blSide;
    int best = 0;
    offer(zone(kCheque, c.side), c.rotation, false, false, best);
    EXPECT_EQ(std::vector<uint16_t>(MyOcrBL.rotation, MyOcrBL.rotation + 4), c.order);
    EXPECT_EQ(MyOcrBL.flipH, c.flipH);
    EXPECT_EQ(MyOcrBL.flipV, c.flipV);
  }
}

TEST_F(DocCodeline, FixedItalianZonesFollowTheCodelineSide) {
  PVKOCRZone z{};
  ZonaDATAMATRIXAssegnoItaliano(z);
  EXPECT_EQ(z.font, 36);
  EXPECT_EQ(z.side, 1);
  EXPECT_EQ(z.top, -280);
  MyOcrOpt.found = 1;
  MyOcrOpt.side = 0;
  ZonaOCRBssegnoItaliano(z);
  EXPECT_EQ(z.font, 39);
  EXPECT_EQ(z.side, 0);
  EXPECT_EQ(z.left, 10);
  EXPECT_EQ(z.top, -145);
  EXPECT_EQ(z.width, 350);
  EXPECT_EQ(z.height, 65);
  RipristinaDefaultMyOcrOpt();
  EXPECT_EQ(MyOcrOpt.found, 0);
  EXPECT_EQ(MyOcrOpt.side, 0);
}

struct FormCase {
  const char* name;
  std::string text;
  int conf;
  uint16_t typeDoc;
  int type;
  bool discarded;
};

TEST_F(DocCodeline, PaymentFormJudgedByItsEnd) {
  const std::vector<FormCase> cases = {
      {"numbered", "000001234567890123456 896>", 90, 12, 896, false},
      {"numbered even when weak", "0123 247>", 10, 12, 247, false},
      {"the 111 pattern", "0123456789+01+<", 90, 12, 111, false},
      {"the 222 pattern", "012345678901>1<2+3<", 90, 9, 222, false},
      {"222 only for its document types", "012345678901>1<2+3<", 90, 12, 1, false},
      {"nine valid characters", "123456789", 90, 12, -1, true},
      {"too few valid for the length", "12345678901 AB CD EF GH", 90, 12, -1, true},
      {"weak digits are not valid", "1234567890123456", 50, 12, -1, true},
      {"more than one mark", "<12345678901234<", 90, 12, 1, false},
      {"ordinary line", "123456789012345", 90, 12, 0, false},
      {"unread end dropped, then numbered", "0123456789012896> ?", 90, 12, 896, false},
      {"unread end dropped, then ordinary", "01234567890123 ?", 90, 12, 0, false},
      {"ending in a letter", "012345678901234A", 90, 12, -1, false},
      {"three characters", "12>", 90, 12, -1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<char> conf(c.text.size() + 1, static_cast<char>(c.conf));
    const auto v = pvk::reading::judgePaymentForm(c.text.data(), conf.data(), static_cast<int>(c.text.size()),
                                                  c.typeDoc);
    EXPECT_EQ(v.type, c.type);
    EXPECT_EQ(v.discarded, c.discarded);
    if (c.discarded) {
      EXPECT_EQ(v.sum, 0);
    }
  }
  std::vector<char> conf = {10, 21, 90, 100, 20, 0};
  EXPECT_EQ(pvk::reading::judgePaymentForm("0 247>", conf.data(), 6, 12).sum, 21 + 90 + 100);
}

}  // namespace
