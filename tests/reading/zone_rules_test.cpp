// The pieces of a zone reading that need no reader: the cut (clipping, views, turns, mirrors),
// the minimum sizes, the E13B mappings, the confidence folding, the Italian-cheque DataMatrix
// fields and the choice of the best row.
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <climits>
#include <string>

#include "reading/reading.h"
#include "reading_fixture.h"

namespace {

using pvk::testing::countOf;

class ZoneRules : public pvk::testing::ReadingFixture {
 protected:
  void SetUp() override {
    ReadingFixture::SetUp();
    MyAcq.colourLines = 1;
    MyAcq.planesPerLine = 1;
  }
};

TEST_F(ZoneRules, ClippingFollowsTheFarEdgeRules) {
  struct Case {
    PVKRoi in;
    PVKRoi out;
    bool inside;
  };
  constexpr int64_t kMin = INT64_MIN, kMax = INT64_MAX;
  const Case cases[] = {
      {{100, 0, 0, 50}, {100, 0, 900, 50}, true},        // zero width: to the edge
      {{-200, 0, 100, 50}, {800, 0, 100, 50}, true},     // from the right edge
      {{-1200, 0, 500, 50}, {0, 0, 500, 50}, true},      // beyond it: 0, the width kept
      {{0, -1200, 50, 300}, {0, 0, 50, 100}, true},      // beyond the bottom: the overshoot comes off
      {{0, -1300, 50, 300}, {0, 0, 50, 0}, false},
      {{990, 990, 50, 50}, {990, 990, 10, 10}, true},
      {{1000, 0, 10, 10}, {1000, 0, 0, 10}, false},
      {{0, 0, -5, 10}, {0, 0, 0, 10}, false},
      {{kMin, kMin, kMax, kMax}, {0, 0, 1000, 999}, true}, // no overflow: the height ends at row 999
      {{kMax, kMax, kMax, kMax}, {1000, 1000, 0, 0}, false},
      {{kMin, 5, 10, kMax}, {0, 5, 10, 995}, true},
      {{0, kMin, 10, kMin}, {0, 0, 10, 0}, false},     // both far out: the sum does not wrap (fuzz target)
      {{0, -1100, 10, kMax}, {0, 0, 10, 1000}, true},
  };
  for (const Case& c : cases) {
    PVKRoi r = c.in;
    EXPECT_EQ(pvk::reading::clipRoi(r, 1000, 1000), c.inside) << c.in.x << "," << c.in.y;
    EXPECT_EQ(r.x, c.out.x) << c.in.x << "," << c.in.y;
    EXPECT_EQ(r.y, c.out.y);
    EXPECT_EQ(r.width, c.out.width);
    EXPECT_EQ(r.height, c.out.height);
  }
}

TEST_F(ZoneRules, ZonesBecomePixelsTruncatedAndSaturated) {
  const int64_t kFar = static_cast<int64_t>(9.2e18f);  // far beyond any image, inside an i64
  struct Case {
    int64_t value;
    uint16_t dpi;
    int64_t pixels;
  };
  // 1/150 inch at 200 dpi: 4/3 pixel, truncated toward zero both ways.
  const Case cases[] = {{1, 200, 1},     {2, 200, 2},         {-2, 200, -2},        {3, 200, 4},
                        {100, 300, 200}, {-100, 300, -200},   {7, 100, 4},          {-7, 100, -4},
                        {INT64_MAX, 600, kFar}, {INT64_MIN, 600, -kFar}};
  for (const Case& c : cases) {
    PVKOCRZone z{c.value, c.value, c.value, c.value, 1, 2, 0, 0};
    const PVKRoi r = pvk::reading::zoneToPixels(z, c.dpi);
    EXPECT_EQ(r.x, c.pixels) << c.value << " at " << c.dpi;
    EXPECT_EQ(r.height, c.pixels);
  }
  PVKOCRZone z{100, 50, 0, 10, 1, 2, 0, 0};
  PVKRoi r = pvk::reading::zoneToPixels(z, 300);
  EXPECT_EQ(r.x, 0) << "a zone spanning the width starts at its left";
  EXPECT_EQ(r.y, 100);
  z = PVKOCRZone{100, 50, 10, 0, 1, 2, 0, 0};
  r = pvk::reading::zoneToPixels(z, 300);
  EXPECT_EQ(r.x, 200);
  EXPECT_EQ(r.y, 0);
}

TEST_F(ZoneRules, AnUnturnedCutIsTheSourceRegion) {
  cv::Mat src(120, 200, CV_8UC1);
  cv::randu(src, 0, 256);
  PVKImg img{200, 120, static_cast<uint16_t>(src.step), 300, src.data};
  PVKImg* cut = ElaboraRoi(&img, PVKRoi{-50, 30, 40, 20}, 0, 1, false);
  ASSERT_NE(cut, nullptr);
  EXPECT_EQ(cut->width, 40);
  EXPECT_EQ(cut->height, 20);
  EXPECT_EQ(cut->data, src.data + 30 * src.step + 150) << "a view, no copy";
  const cv::Mat view(cut->height, cut->width, CV_8UC1, cut->data, cut->stride);
  EXPECT_EQ(cv::norm(view, src(cv::Rect(150, 30, 40, 20)), cv::NORM_INF), 0);
  pvk::reading::releaseCut(cut, 0);
  EXPECT_EQ(ElaboraRoi(&img, PVKRoi{200, 0, 10, 10}, 0, 1, false), nullptr);
  EXPECT_EQ(countOf(trace(), "war -  Zone is outside the document\r\n"), 1);
  // A one-pixel cut turned a quarter comes out empty: no zone either (found by the fuzz target).
  MyAcq.colourLines = MyAcq.planesPerLine = 1;
  EXPECT_EQ(ElaboraRoi(&img, PVKRoi{7, 7, 1, 1}, 256, 1, false), nullptr);
  EXPECT_EQ(countOf(trace(), "war -  Zone is outside the document\r\n"), 2);
}

TEST_F(ZoneRules, TurnedCutsPutTheCornerWhereOpenCvDoes) {
  // A dark 6 x 6 mark near the top-left corner of a 90 x 50 cut of a larger image. Where the
  // turn maps no pixel it leaves dark filler: a frame of 2 pixels is not looked at.
  cv::Mat src(200, 300, CV_8UC1, cv::Scalar(255));
  src(cv::Rect(28, 46, 6, 6)).setTo(0);
  auto markOf = [](const cv::Mat& m) {
    cv::Mat dark = m < 100;
    dark.rowRange(0, 2).setTo(0);
    dark.rowRange(m.rows - 2, m.rows).setTo(0);
    dark.colRange(0, 2).setTo(0);
    dark.colRange(m.cols - 2, m.cols).setTo(0);
    const cv::Moments mo = cv::moments(dark, true);
    return cv::Point2d(mo.m10 / mo.m00, mo.m01 / mo.m00);
  };
  PVKImg img{300, 200, static_cast<uint16_t>(src.step), 300, src.data};
  const cv::Mat region = src(cv::Rect(20, 40, 90, 50)).clone();
  struct Case {
    short rotation;
    int cvCode;
  };
  const Case cases[] = {{256, cv::ROTATE_90_COUNTERCLOCKWISE}, {768, cv::ROTATE_90_CLOCKWISE}, {512, cv::ROTATE_180}};
  for (const Case& c : cases) {
    PVKImg* cut = ElaboraRoi(&img, PVKRoi{20, 40, 90, 50}, c.rotation, 1, false);
    ASSERT_NE(cut, nullptr) << c.rotation;
    cv::Mat expected;
    cv::rotate(region, expected, c.cvCode);
    const cv::Mat got(cut->height, cut->width, CV_8UC1, cut->data, cut->stride);
    // The transform interpolates: a pixel more or less at the far edges.
    ASSERT_NEAR(got.cols, expected.cols, 1) << c.rotation;
    ASSERT_NEAR(got.rows, expected.rows, 1) << c.rotation;
    const cv::Point2d a = markOf(got), b = markOf(expected);
    EXPECT_NEAR(a.x, b.x, 1.0) << c.rotation;
    EXPECT_NEAR(a.y, b.y, 1.0) << c.rotation;
    pvk::reading::releaseCut(cut, c.rotation);
  }
}

// The three turns own their pixels, the turns by a negative angle (768, 512) as much as the
// quarter turn (256); any other code is no turn. A turned cut is a new image, never a view.
TEST_F(ZoneRules, EveryTurnOwnsItsPixels) {
  cv::Mat src(40, 60, CV_8UC1, cv::Scalar(200));
  PVKImg img{60, 40, static_cast<uint16_t>(src.step), 300, src.data};
  for (short rotation : {256, 512, 768, 0, 1, 255, 257, 511, 513, 767, 769, 1024, -256, -512, -768}) {
    const bool turned = rotation == 256 || rotation == 512 || rotation == 768;
    EXPECT_EQ(pvk::reading::cutIsRotated(rotation), turned) << rotation;
    PVKImg* cut = ElaboraRoi(&img, PVKRoi{5, 5, 30, 20}, rotation, 1, false);
    ASSERT_NE(cut, nullptr) << rotation;
    EXPECT_EQ(cut->data >= src.data && cut->data < src.data + src.total(), !turned) << rotation << ": a view";
    pvk::reading::releaseCut(cut, rotation);
  }
}

TEST_F(ZoneRules, AMirroredCutLeavesTheSourceAlone) {
  cv::Mat src(60, 100, CV_8UC1);
  cv::randu(src, 0, 256);
  const cv::Mat before = src.clone();
  PVKImg img{100, 60, static_cast<uint16_t>(src.step), 300, src.data};
  for (short rotation : {0, 512}) {
    PVKImg* cut = ElaboraRoi(&img, PVKRoi{10, 5, 30, 20}, rotation, 1, true);
    ASSERT_NE(cut, nullptr);
    const cv::Mat got(cut->height, cut->width, CV_8UC1, cut->data, cut->stride);
    cv::Mat expected;
    cv::flip(src(cv::Rect(10, 5, 30, 20)), expected, 1);
    if (rotation == 0) {
      EXPECT_EQ(cv::norm(got, expected, cv::NORM_INF), 0);
    }
    pvk::reading::releaseCut(cut, rotation);
    EXPECT_EQ(cv::norm(src, before, cv::NORM_INF), 0) << "rotation " << rotation;
  }
  // Two planes side by side in each row: each plane's first width bytes are reversed.
  std::vector<uint8_t> two = {1, 2, 3, 0, 5, 6, 7, 0, 9, 10, 11, 0, 13, 14, 15, 0};
  PVKImg planes{3, 2, 8, 300, two.data()};
  PVKImg* cut = ElaboraRoi(&planes, PVKRoi{0, 0, 0, 0}, 0, 2, true);
  ASSERT_NE(cut, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(cut->data, cut->data + 16),
            (std::vector<uint8_t>{3, 2, 1, 0, 7, 6, 5, 0, 11, 10, 9, 0, 15, 14, 13, 0}));
  pvk::reading::releaseCut(cut, 0);
  EXPECT_EQ(two[0], 1);
}

TEST_F(ZoneRules, MinimumSizesPerFont) {
  struct Case {
    uint16_t w, h, dpi;
    unsigned short font;
    bool ok;
  };
  const Case cases[] = {
      {8, 8, 300, 2, true},      {7, 8, 300, 2, false},    {8, 7, 300, 2, false},   {5, 5, 200, 2, true},
      {200, 8, 300, 7, true},    {199, 8, 300, 7, false},  {133, 5, 200, 300, true}, {132, 5, 200, 300, false},
      {80, 80, 300, 37, true},   {80, 79, 300, 37, false}, {79, 200, 300, 37, false}, {53, 53, 200, 37, true},
      {30, 30, 300, 36, true},   {29, 30, 300, 36, false}, {30, 29, 300, 36, false}, {29, 29, 295, 36, true},
      {20, 20, 200, 36, true},   {19, 20, 200, 36, false}, {1, 1, 0, 36, true},       {0, 0, 300, 8, false},
  };
  for (const Case& c : cases) {
    PVKImg img{c.w, c.h, c.w, c.dpi, nullptr};
    EXPECT_EQ(Vx3OCRVerificaDimensioneMinima(&img, c.font), c.ok) << c.w << "x" << c.h << " font " << c.font;
  }
  EXPECT_FALSE(Vx3OCRVerificaDimensioneMinima(nullptr, 2));
}

TEST_F(ZoneRules, AReadingFillingTheBufferLeavesTheTerminatorsByte) {
  struct Case {
    int count;
    unsigned short maxChars;
    int kept;
  };
  // A reader handing back its whole buffer loses its last character to the NUL.
  const Case cases[] = {{7, 8, 7}, {8, 8, 7}, {9, 8, 7}, {1, 1, 0}, {0, 8, 0}, {-1, 8, -1}, {5, 0, 0}};
  for (const Case& c : cases) {
    std::string text(12, 'A'), conf(12, 'c');
    EXPECT_EQ(pvk::reading::fitCount(c.count, text.data(), conf.data(), c.maxChars), c.kept) << c.count << "/" << c.maxChars;
    const size_t nul = text.find('\0');
    if (c.count >= c.maxChars && c.maxChars > 0) {
      EXPECT_EQ(nul, static_cast<size_t>(c.kept)) << c.count << "/" << c.maxChars;
      EXPECT_EQ(conf[c.kept], '\0');
    } else {
      EXPECT_EQ(nul, std::string::npos) << "a reading that fits is left as written";
    }
  }
}

TEST_F(ZoneRules, E13BMappingsApplyOncePerFlag) {
  struct Case {
    uint16_t mapping;
    const char* in;
    const char* out;
  };
  const Case cases[] = {{1, "1=2;3X", "1;2=3;"},
                        {2, ":1=2<3;", "A1B2C3D"},
                        {3, "12:34:5", "12-34-5"},
                        {3, "12345", "12345"},
                        {3, "=<;", "#$%"}};
  for (const Case& c : cases) {
    char text[32];
    std::snprintf(text, sizeof text, "%s", c.in);
    MyOcr.e13bMapping = c.mapping;
    MyOcr.remapPending = 1;
    E13BRemapping(text, static_cast<int>(std::strlen(text)));
    EXPECT_STREQ(text, c.out) << c.mapping;
    EXPECT_EQ(MyOcr.remapPending, 0);
    std::snprintf(text, sizeof text, "%s", c.in);
    E13BRemapping(text, static_cast<int>(std::strlen(text)));
    EXPECT_STREQ(text, c.in) << "no second mapping without a new flag";
  }
  char text[] = "1=2";
  MyOcr.remapPending = 1;
  E13BRemapping(text, 0);
  E13BRemapping(nullptr, 3);
  MyOcr.e13bMapping = 0;
  E13BRemapping(text, 3);
  EXPECT_STREQ(text, "1=2");
  EXPECT_EQ(MyOcr.remapPending, 1);
  MyOcr.e13bMapping = 9;
  E13BRemapping(text, 3);
  EXPECT_STREQ(text, "1=2");
  EXPECT_EQ(MyOcr.remapPending, 1) << "an unknown mapping keeps the flag";
  EXPECT_EQ(countOf(trace(), "err -  unexpected E13B Mapping 9\r\n"), 1);
}

TEST_F(ZoneRules, ConfidencesFoldIntoZeroToHundred) {
  char conf[] = {static_cast<char>(150), static_cast<char>(200), static_cast<char>(101), static_cast<char>(127),
                 static_cast<char>(128), 100, 0, static_cast<char>(255), 55};
  pvk::reading::foldConfidences(conf, 8);
  const char expected[] = {1, 1, 100, 100, 1, 100, 0, 1, 55};
  EXPECT_EQ(std::string(conf, 9), std::string(expected, 9)) << "the ninth is beyond the count";
}

TEST_F(ZoneRules, ItalianChequeDataMatrixFields) {
  const std::string head = "3" "12345" "67890" "0123456789" "ABCDEFGH";  // 29 characters
  pvk::reading::italianChequeDataMatrix(head.c_str(), 29);
  EXPECT_EQ(MyITACheck.dmType, '3');
  EXPECT_EQ(MyITACheck.dmTypeDigit, 3);
  EXPECT_STREQ(MyITACheck.dmAbi, "12345");
  EXPECT_STREQ(MyITACheck.dmCab, "67890");
  EXPECT_STREQ(MyITACheck.dmChequeNo, "0123456789");
  EXPECT_STREQ(MyITACheck.dmField8, "ABCDEFGH");
  EXPECT_STREQ(MyITACheck.dmAmount, "");
  EXPECT_STREQ(MyITACheck.dmPayee, "");

  std::string t = head + "00000012345";  // 40
  pvk::reading::italianChequeDataMatrix(t.c_str(), 40);
  EXPECT_STREQ(MyITACheck.dmAmount, "00000012345");
  EXPECT_STREQ(MyITACheck.dmAmountFmt, "000000123,45");
  EXPECT_STREQ(MyITACheck.dmPayee, "");

  // An amount beyond 32 bits keeps its value; the payee has its trailing blanks removed.
  t = head + "98765432109" + "MARIO ROSSI" + std::string(29, ' ');  // 80
  ASSERT_EQ(t.size(), 80u);
  pvk::reading::italianChequeDataMatrix(t.c_str(), 80);
  EXPECT_STREQ(MyITACheck.dmAmountFmt, "987654321,09");
  EXPECT_STREQ(MyITACheck.dmPayee, "MARIO ROSSI");
  // Zero amounts in any spelling empty both amount fields; a type outside 1..7 has no digit.
  for (const char* zero : {"00000000000", "           ", "0000000000 "}) {
    t = "8" + head.substr(1) + zero + "X";
    pvk::reading::italianChequeDataMatrix(t.c_str(), 41);
    EXPECT_STREQ(MyITACheck.dmAmount, "") << zero;
    EXPECT_STREQ(MyITACheck.dmAmountFmt, "");
    EXPECT_EQ(MyITACheck.dmTypeDigit, 0);
    EXPECT_STREQ(MyITACheck.dmPayee, "X");
  }
  // More than 80 characters: no payee is taken.
  MyITACheck.dmPayee[0] = '\0';
  t = head + "00000012345" + std::string(41, 'P');
  pvk::reading::italianChequeDataMatrix(t.c_str(), 81);
  EXPECT_STREQ(MyITACheck.dmPayee, "");
}

TEST_F(ZoneRules, TheBestRowIsTheBestMean) {
  struct Case {
    std::string text;
    std::vector<int> conf;
    std::string best;
  };
  const std::vector<Case> cases = {
      // Row 2 has the best mean: it moves to the start.
      {"AB\r\nCD\r\nEF", {50, 50, 100, 100, 90, 90, 100, 100, 60, 60}, "CD"},
      // An all-'?' row scores -10 per character and loses to any positive mean.
      {"??\r\nX", {1, 1, 100, 100, 5}, "X"},
      // Blanks, ',' and '.' are not scored: "A ." is chosen on the mean of A alone (90), but the
      // value kept is over its whole length (30), which "BB" (80) then beats.
      {"A .\r\nBB", {90, 0, 0, 100, 100, 80, 80}, "BB"},
      {"A .\r\nBB", {90, 0, 0, 100, 100, 29, 29}, "A ."},
      // No row with a positive mean: nothing is chosen.
      {"??\r\n?", {1, 1, 100, 100, 1}, ""},
      {"AB", {30, 40}, "AB"},
  };
  for (const Case& c : cases) {
    char text[32] = {}, conf[32] = {};
    ChInfo info[32] = {};
    for (size_t i = 0; i < c.text.size(); ++i) {
      text[i] = c.text[i];
      conf[i] = static_cast<char>(c.conf[i]);
      info[i].left = static_cast<uint16_t>(i);
    }
    int count = static_cast<int>(c.text.size());
    pvk::reading::bestRow(text, conf, info, count);
    EXPECT_EQ(std::string(text), c.best) << c.text;
    EXPECT_EQ(count, static_cast<int>(c.best.size()));
    if (c.best == "CD") {
      EXPECT_EQ(conf[0], 90);
      EXPECT_EQ(info[0].left, 4) << "the boxes move with their characters";
    }
    int same = static_cast<int>(c.text.size());
    char text2[32] = {}, conf2[32] = {};
    std::memcpy(text2, c.text.data(), c.text.size());
    for (size_t i = 0; i < c.text.size(); ++i) conf2[i] = static_cast<char>(c.conf[i]);
    ScegliRigaMigliore(text2, conf2, same);
    EXPECT_EQ(std::string(text2), c.best);
  }
}

TEST_F(ZoneRules, TheBestRowFitsTheFont) {
  // Rows "AB" and "CD" of a zone 100 rows high, the font's nominal height 32: "CD" has the
  // better mean, but a row that touches the zone's edge or stands lower than 3/5 of the font
  // (19 rows) is a neighbouring line cut by the zone, and gives way to one that fits.
  struct Case {
    int top2, bottom2;  // the box of "CD"; "AB" stands at rows 30..62
    const char* best;
  };
  const Case cases[] = {
      {70, 99, "AB"},  // reaches the bottom edge
      {1, 25, "AB"},   // reaches the top edge
      {75, 88, "AB"},  // 13 rows: lower than the font
      {66, 86, "CD"},  // 20 rows, clear of the edges: fits, and the better mean wins
      {66, 96, "CD"},  // 4 rows from the bottom
      {66, 97, "AB"},  // 3 rows from the bottom
  };
  MyOcr.charHeight = 32;
  for (const Case& c : cases) {
    char text[16] = "AB\r\nCD";
    char conf[16] = {60, 60, 100, 100, 90, 90};
    ChInfo info[16] = {};
    for (int i = 0; i < 6; ++i) {
      const bool second = i >= 4;
      info[i].top = static_cast<uint16_t>(second ? c.top2 : 30);
      info[i].bottom = static_cast<uint16_t>(second ? c.bottom2 : 62);
    }
    int count = 6;
    pvk::reading::bestRow(text, conf, info, count, 100);
    EXPECT_EQ(std::string(text), c.best) << c.top2 << ".." << c.bottom2;
  }
  // Without the zone's height the mean alone decides.
  char text[16] = "AB\r\nCD";
  char conf[16] = {60, 60, 100, 100, 90, 90};
  ChInfo info[16] = {};
  int count = 6;
  pvk::reading::bestRow(text, conf, info, count);
  EXPECT_EQ(std::string(text), "CD");
}

}  // namespace
