// The DataMatrix reader entry on drawn zones (clean symbols of every size, turned and degraded
// ones, the retries, the entry rules and bad input) and on symbols printed by others.
#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include "core/records.h"
#include "dm_symbols.h"
#include "geometry/geometry.h"
#include "symbols/symbols.h"

namespace {

// A zone holding the symbol at px pixels per module inside a quiet zone, turned by deg.
cv::Mat zoneOf(const dmtest::ModuleGrid& g, int px, double deg = 0, int quiet = 40) {
  cv::Mat m = dmtest::drawGrid(g, px, quiet);
  if (deg != 0) {
    const cv::Mat r = cv::getRotationMatrix2D(cv::Point2f(m.cols / 2.0f, m.rows / 2.0f), deg, 1.0);
    cv::warpAffine(m, m, r, m.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(255));
  }
  return m;
}

struct EntryResult {
  int result;
  unsigned short len;
  std::string text;
};

EntryResult readZone(cv::Mat zone, int dpi = 300, unsigned short capacity = 600) {
  MyOcr.dmDpi = static_cast<uint16_t>(dpi);
  PVKImg img{static_cast<uint16_t>(zone.cols), static_cast<uint16_t>(zone.rows), static_cast<uint16_t>(zone.step),
             static_cast<uint16_t>(dpi), zone.data};
  std::vector<char> out(capacity + 1, 'x');
  unsigned short len = capacity;
  const int r = PDataMatrixDecode(&img, out.data(), len);
  return {r, len, r > 0 ? std::string(out.data(), r) : std::string()};
}

// The box of a turned rectangle, as the entry takes it from an outline.
void turnedBox(double deg, float w, float h, cv::Point2f p[4]) {
  std::vector<cv::Point> outline;
  const double a = deg * CV_PI / 180;
  for (auto c : {cv::Point2f(-w / 2, -h / 2), cv::Point2f(w / 2, -h / 2), cv::Point2f(w / 2, h / 2), cv::Point2f(-w / 2, h / 2)})
    outline.emplace_back(cvRound(200 + c.x * std::cos(a) - c.y * std::sin(a)), cvRound(150 + c.x * std::sin(a) + c.y * std::cos(a)));
  pvk::geometry::boxCorners(pvk::geometry::minAreaBox(outline), p);
}

// Beyond about 30 degrees the rule may name a mirrored order; the readers take small skews.
TEST(SymbolCorners, TurnedBoxesGetTheirCornersNamedByPlaceUpToAThirdOfAQuarterTurn) {
  for (double deg = -27.5; deg <= 27.5; deg += 2.5) {
    for (auto wh : {cv::Size2f(120, 120), cv::Size2f(160, 90), cv::Size2f(90, 160)}) {
      cv::Point2f p[4], c[4];
      turnedBox(deg, wh.width, wh.height, p);
      ChooseSymbolCorners(p, c);
      auto best = [&](auto score) { return *std::max_element(p, p + 4, [&](auto a, auto b) { return score(a) < score(b); }); };
      EXPECT_EQ(c[0], best([](cv::Point2f q) { return -q.x - q.y; })) << deg;
      EXPECT_EQ(c[1], best([](cv::Point2f q) { return q.x - q.y; })) << deg;
      EXPECT_EQ(c[2], best([](cv::Point2f q) { return q.x + q.y; })) << deg;
      EXPECT_EQ(c[3], best([](cv::Point2f q) { return q.y - q.x; })) << deg;
    }
  }
  // Ties on truncated rows: an upright box keeps its corners in place.
  const cv::Point2f upright[4] = {{10.5f, 80.5f}, {10.5f, 10.5f}, {90.5f, 10.5f}, {90.5f, 80.5f}};
  cv::Point2f c[4];
  ChooseSymbolCorners(upright, c);
  EXPECT_EQ(c[0], upright[1]);
  EXPECT_EQ(c[1], upright[2]);
  EXPECT_EQ(c[2], upright[3]);
  EXPECT_EQ(c[3], upright[0]);
}

TEST(DataMatrixEntry, CleanSymbolReads) {
  const dmtest::ModuleGrid g = dmtest::dmtxGrid("PLAVIK 0123456789");
  const EntryResult r = readZone(zoneOf(g, 6));
  EXPECT_EQ(r.text, "PLAVIK 0123456789");
  EXPECT_EQ(r.result, 17);
}

}  // namespace
namespace {

// Clears the document state the entry consults.
class DataMatrixRules : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(&MyITACheck, 0, sizeof MyITACheck);
    MyOcr.typeDoc = 0;
    MyDev.productId = 0;
  }
  void TearDown() override { SetUp(); }
};

TEST_F(DataMatrixRules, ThresholdListsRunDownAndUpFromHalfTheThreshold) {
  EXPECT_EQ(pvk::symbols::dmThresholdList(8), (std::vector<int>{4, 4, 4, 4, 7, 4, 5, 6, 7, 8}));
  const std::vector<int> l = pvk::symbols::dmThresholdList(130);
  EXPECT_EQ(l.size(), 29u);  // cut at 29 entries
  EXPECT_EQ(std::vector<int>(l.begin(), l.begin() + 9), (std::vector<int>{65, 65, 55, 45, 35, 25, 15, 5, 65}));
  EXPECT_EQ(pvk::symbols::dmThresholdList(0), (std::vector<int>{0, 0, 0, 0, 0}));
}

TEST_F(DataMatrixRules, CheckActiveNeedsMoreThan28Characters) {
  for (int n : {28, 29}) {
    const std::string text = std::string(n - 4, 'A') + "1234";
    const dmtest::ModuleGrid g = dmtest::dmtxGrid(text, 'a', 9);  // 32 x 32
    MyITACheck.active = 1;
    const EntryResult r = readZone(zoneOf(g, 5));
    EXPECT_EQ(r.result, n == 29 ? 29 : 0) << n;
    EXPECT_EQ(r.len, n == 29 ? 600 : 0) << n;
    MyITACheck.active = 0;
    EXPECT_EQ(readZone(zoneOf(g, 5)).result, n);
  }
}

TEST_F(DataMatrixRules, TheTextMustLeaveRoomForItsTerminator) {
  const dmtest::ModuleGrid g = dmtest::dmtxGrid("ABCDEFGHIJ");
  EXPECT_EQ(readZone(zoneOf(g, 6), 300, 10).result, 0);
  const EntryResult r = readZone(zoneOf(g, 6), 300, 11);
  EXPECT_EQ(r.result, 10);
  EXPECT_EQ(r.len, 11);  // left as it came in
  EXPECT_EQ(r.text, "ABCDEFGHIJ");
}

TEST_F(DataMatrixRules, SmallZonesAndBadArguments) {
  cv::Mat narrow(40, 31, CV_8UC1, cv::Scalar(255));
  EXPECT_EQ(readZone(narrow).result, 0);
  EXPECT_EQ(readZone(narrow).len, 600);  // untouched
  cv::Mat zone(64, 64, CV_8UC1, cv::Scalar(255));
  PVKImg img{64, 64, 64, 300, zone.data};
  char out[16] = "xxxx";
  unsigned short len = 0;
  EXPECT_EQ(PDataMatrixDecode(&img, out, len), -1);
  EXPECT_EQ(len, 0);
  len = 16;
  EXPECT_EQ(PDataMatrixDecode(&img, nullptr, len), -1);
  EXPECT_EQ(len, 0);
  len = 16;
  EXPECT_EQ(PDataMatrixDecode(nullptr, out, len), -1);
  EXPECT_EQ(len, 16);
  PVKImg noPixels{64, 64, 64, 300, nullptr};
  EXPECT_EQ(PDataMatrixDecode(&noPixels, out, len), -1);
  EXPECT_EQ(len, 16);
  PVKImg shortRows{64, 64, 40, 300, zone.data};  // rows would overlap past the buffer
  EXPECT_EQ(PDataMatrixDecode(&shortRows, out, len), -1);
  EXPECT_EQ(len, 0);
}

TEST_F(DataMatrixRules, StrideWiderThanTheZoneAndZeroStride) {
  const dmtest::ModuleGrid g = dmtest::dmtxGrid("STRIDE 77");
  const cv::Mat z = zoneOf(g, 5);
  cv::Mat wide(z.rows, z.cols + 13, CV_8UC1, cv::Scalar(0));  // black past the width
  z.copyTo(wide(cv::Rect(0, 0, z.cols, z.rows)));
  MyOcr.dmDpi = 300;
  PVKImg img{static_cast<uint16_t>(z.cols), static_cast<uint16_t>(z.rows), static_cast<uint16_t>(wide.step), 300,
             wide.data};
  char out[64];
  unsigned short len = sizeof out;
  EXPECT_EQ(PDataMatrixDecode(&img, out, len), 9);
  cv::Mat tight = z.clone();
  PVKImg zero{static_cast<uint16_t>(z.cols), static_cast<uint16_t>(z.rows), 0, 300, tight.data};
  EXPECT_EQ(PDataMatrixDecode(&zero, out, len), 9);
}

TEST_F(DataMatrixRules, BlankZonesReadNothingWhateverTheirSizeAndResolution) {
  for (int dpi : {0, 10, 24, 200, 300, 600})
    for (uint8_t grey : {0, 255}) {
      cv::Mat z(48, 300, CV_8UC1, cv::Scalar(grey));
      const EntryResult r = readZone(z, dpi);
      EXPECT_EQ(r.result, 0) << dpi;
      EXPECT_EQ(r.len, 0) << dpi;
    }
  for (cv::Size s : {cv::Size(32, 32), cv::Size(8000, 40), cv::Size(40, 8000)}) {
    cv::Mat z(s, CV_8UC1);
    cv::randu(z, 0, 256);
    EXPECT_EQ(readZone(z).result, 0) << s;
  }
}

// A zone whose darkest pixel is 168 or lighter is refused unread: its cubic warp has no pixel
// below 129 (the darkest a locator could take for ink), even for the pattern that undershoots
// most, sampled half-way between pixels. One level darker, that pattern undershoots to 128.
TEST_F(DataMatrixRules, AZoneTooLightForInkAfterTheWarpIsRefused) {
  for (int darkest : {167, 168}) {
    cv::Mat z(64, 64, CV_8UC1);
    for (int y = 0; y < z.rows; ++y)
      for (int x = 0; x < z.cols; ++x) z.at<uint8_t>(y, x) = (x % 4 == 1 || x % 4 == 2) == (y % 4 == 1 || y % 4 == 2) ? darkest : 255;
    const cv::Point2f half[3] = {{0.5f, 0.5f}, {60.5f, 0.5f}, {60.5f, 60.5f}};
    double least = 0;
    cv::minMaxLoc(pvk::geometry::uprightWarp(z, half, 60, 60), &least);
    EXPECT_EQ(least, darkest == 168 ? 129 : 128);
    EXPECT_EQ(readZone(z).len, 0);
  }
}

TEST_F(DataMatrixRules, BorderCutAtLowResolutionEnds) {
  // No outline, check active, ';' set, no device: the border cut of dpi / 25 pixels; below
  // 25 dpi there is nothing to cut and the call ends.
  // (A speck of ink in the middle, too small for an outline, keeps the zones from being blank.)
  MyITACheck.active = 1;
  MyITACheck.semicolonAt10 = 1;
  cv::Mat z(2500, 2500, CV_8UC1, cv::Scalar(255));
  z.at<uint8_t>(1250, 1250) = 0;
  EXPECT_EQ(readZone(z, 24).result, 0);
  // At 300 dpi the cut and the doubled read run; the resolution is set back after them.
  cv::Mat small(250, 250, CV_8UC1, cv::Scalar(255));
  small.at<uint8_t>(125, 125) = 0;
  EXPECT_EQ(readZone(small, 300).result, 0);
  EXPECT_EQ(MyOcr.dmDpi, 300);
}

TEST_F(DataMatrixRules, DoubledZoneTooWideIsNotMade) {
  // ';' set and no check: a symbol counts as seen and a 300-dpi zone would be doubled; a
  // width doubled past 65535 is refused instead of wrapping.
  MyITACheck.semicolonAt10 = 1;
  cv::Mat z(32, 33000, CV_8UC1, cv::Scalar(255));
  z.at<uint8_t>(16, 16500) = 0;  // a speck of ink: not a blank zone
  const EntryResult r = readZone(z, 300);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.len, 0);
  EXPECT_EQ(MyOcr.dmDpi, 300);
}

TEST_F(DataMatrixRules, UnreadableSymbolLeavesTheResolutionAsItWas) {
  dmtest::ModuleGrid g = dmtest::dmtxGrid("DAMAGED BEYOND REPAIR 123", 'a', 7);
  for (int r = 2; r < g.rows - 2; ++r)
    for (int c = 2; c < g.cols - 2; c += 2) g.dark[r * g.cols + c] ^= 1;
  const EntryResult r = readZone(zoneOf(g, 5), 300);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.len, 0);
  EXPECT_EQ(MyOcr.dmDpi, 300);
}

// Grey ink on grey paper, softened: the binarisations that read lie at different places in the
// threshold list, and the text and its length are the same whichever one is looked at first.
TEST_F(DataMatrixRules, GreyInkReadsAtEveryContrast) {
  const dmtest::ModuleGrid g = dmtest::dmtxGrid("GREY 2026", 'a', 4);  // 18 x 18
  const struct {
    int ink, paper;
  } cases[] = {{10, 250}, {120, 250}, {100, 230}, {40, 150}};
  for (const auto& c : cases) {
    cv::Mat z = zoneOf(g, 4);
    z.setTo(c.paper, z > 127);
    z.setTo(c.ink, z < 128);
    cv::GaussianBlur(z, z, cv::Size(3, 3), 0);
    const EntryResult r = readZone(z);
    EXPECT_EQ(r.text, "GREY 2026") << c.ink << " on " << c.paper;
    EXPECT_EQ(r.result, 9) << c.ink << " on " << c.paper;
  }
}

// A label photographed on a dark ground: the symbol and its quiet zone of two or three modules
// on paper, dark out to the zone's corners.
TEST_F(DataMatrixRules, ASymbolOnPaperInsideADarkSurroundReads) {
  const dmtest::ModuleGrid g = dmtest::dmtxGrid("LABEL ON A DARK DESK 42");
  for (int quietModules : {2, 3})
    for (int surround : {12, 40}) {
      constexpr int px = 4;
      const cv::Mat label = dmtest::drawGrid(g, px, quietModules * px);
      cv::Mat zone(label.rows + 2 * surround, label.cols + 2 * surround, CV_8UC1, cv::Scalar(20));
      label.copyTo(zone(cv::Rect(surround, surround, label.cols, label.rows)));
      EXPECT_EQ(readZone(zone).text, "LABEL ON A DARK DESK 42") << quietModules << " " << surround;
    }
}

// Symbols printed by others (tests/data/peer-symbols), each image a whole zone at 300 dpi:
// 10 x 10 to 16 x 16 symbols 40 to 75 pixels across, a 32 x 32 of 2-pixel modules, a label on
// a dark ground, a small symbol turned a little among lines of text. A GS1 symbol's FNC1 in
// first place reads as a leading GS.
TEST_F(DataMatrixRules, SymbolsPrintedByOthersRead) {
  for (const char* name : {"datamatrix-1_C40", "datamatrix-1_X12", "datamatrix-1_GUID",
                           "datamatrix-1_gs1-figure-4.15.1-2-32x32", "datamatrix-3_dm-6", "datamatrix-3_dm-d"}) {
    const std::string stem = std::string(PVK_TEST_DATA_DIR) + "/peer-symbols/" + name;
    cv::Mat zone = cv::imread(stem + ".png", cv::IMREAD_GRAYSCALE);
    ASSERT_FALSE(zone.empty()) << name;
    std::ifstream in(stem + ".txt", std::ios::binary);
    const std::string truth((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string got = readZone(zone).text;
    EXPECT_TRUE(got == truth || got == "\x1d" + truth) << name << ": " << got;
  }
}

TEST_F(DataMatrixRules, StrictDocumentsStillReadASymbolAlone) {
  for (int t : {3, 4, 6, 7, 8}) {
    MyOcr.typeDoc = static_cast<uint16_t>(t);
    const dmtest::ModuleGrid g = dmtest::dmtxGrid("CHEQUE 0042 EUR 12,00");
    EXPECT_EQ(readZone(zoneOf(g, 6)).text, "CHEQUE 0042 EUR 12,00") << t;
  }
}

// The sampling origin lies one module past where the left finder begins (module rows 1 and 2),
// whatever the data modules beside the finder hold and whatever light margin the crop left.
TEST(DataMatrixLocator, SamplingStartsOneModulePastTheFinder) {
  constexpr int px = 6;
  struct Case {
    int margin;
    bool col1Dark, col2Dark;
  } const cases[] = {{0, false, false}, {0, true, false}, {0, true, true}, {px, false, true}, {px, true, true}};
  MyOcr.dmDpi = 300;
  for (const Case& c : cases) {
    dmtest::ModuleGrid g = dmtest::dmtxGrid("ORIGIN 42");
    for (int row : {1, 2}) {
      g.dark[row * g.cols + 1] = c.col1Dark;
      g.dark[row * g.cols + 2] = c.col2Dark;
    }
    const cv::Mat grid = dmtest::drawGrid(g, px);
    cv::Mat bin(grid.rows, grid.cols + c.margin, CV_8UC1, cv::Scalar(255));
    grid.copyTo(bin(cv::Rect(c.margin, 0, grid.cols, grid.rows)));
    imageReaderDM r;
    r.parser.moduleWidth = r.parser.moduleHeight = px;
    ASSERT_TRUE(r.findStartings(bin));
    EXPECT_EQ(r.parser.startCol, c.margin + px) << c.margin << " " << c.col1Dark << c.col2Dark;
  }
}

// Sides below, at and one past a tile's 16 pixels and its multiples, and a view into a wider
// image: every pixel lands where the library's transpose puts it.
TEST(DataMatrixLocator, TransposeMatchesTheLibraryOnTileEdgesAndViews) {
  cv::RNG rng(7);
  for (const cv::Size size : {cv::Size(15, 40), cv::Size(16, 16), cv::Size(17, 33), cv::Size(32, 15),
                              cv::Size(47, 31), cv::Size(600, 45)}) {
    cv::Mat wide(size.height + 3, size.width + 5, CV_8UC1);
    rng.fill(wide, cv::RNG::UNIFORM, 0, 256);
    const cv::Mat view = wide(cv::Rect(2, 1, size.width, size.height));
    for (const cv::Mat& src : {view, cv::Mat(view.clone())}) {
      cv::Mat expected;
      cv::transpose(src, expected);
      const cv::Mat got = pvk::symbols::transposed(src);
      ASSERT_EQ(got.size(), expected.size()) << size;
      EXPECT_EQ(cv::norm(got, expected, cv::NORM_INF), 0.0) << size << (src.isSubmatrix() ? " view" : "");
    }
  }
}

// The timing test counts dark/light changes (dark at or below the threshold) along the three
// rows nearest the top and the three columns nearest the right, and needs the floor on both.
TEST(DataMatrixLocator, TimingSidesNeedTheFloorOfChangesOnBothWithinThreeLines) {
  constexpr int F = pvk::symbols::kDmTimingChanges;
  struct Case {
    int topChanges, topLine, rightChanges, rightLine, ink, v;
    bool seen;
  } const cases[] = {
      {F, 0, F, 0, 0, 128, true},         {F - 1, 0, F, 0, 0, 128, false},  {F, 0, F - 1, 0, 0, 128, false},
      {F, 2, F, 2, 0, 128, true},         {F, 3, F, 0, 0, 128, false},      {F, 0, F, 0, 100, 100, true},
      {F, 0, F, 0, 100, 99, false},
  };
  for (const Case& c : cases) {
    cv::Mat crop(40, 40, CV_8UC1, cv::Scalar(255));
    // n changes from the crop's edge, flipping at 2 and every 3 pixels on, ending light.
    auto inkAt = [](int i, int n) { return (n + std::min(n, i < 2 ? 0 : (i - 2) / 3 + 1)) % 2 == 1; };
    for (int i = 0; i < 20; ++i) {
      if (inkAt(i, c.topChanges)) crop.at<uint8_t>(c.topLine, i) = static_cast<uint8_t>(c.ink);
      if (inkAt(i, c.rightChanges)) crop.at<uint8_t>(39 - i, 39 - c.rightLine) = static_cast<uint8_t>(c.ink);
    }
    EXPECT_EQ(pvk::symbols::dmTimingAt(crop, c.v), c.seen)
        << c.topChanges << "@" << c.topLine << " " << c.rightChanges << "@" << c.rightLine << " v " << c.v;
  }
}

// Rows of equal dark and light runs from the left edge: the module width shows where the cut
// (dark at or below v) keeps the runs, on crops of ten rows or more; runs of 7 and 8 pixels put
// a run across, and an edge on, the 64th and 128th pixel.
TEST(DataMatrixLocator, RowsGiveTheModuleWidthWhereTheCutKeepsTheirRuns) {
  struct Case {
    int run, runs, rows, v;
    bool gives;
  } const cases[] = {
      {7, 19, 12, 100, true}, {7, 19, 12, 99, false}, {7, 19, 12, 199, true}, {7, 19, 12, 200, false},
      {8, 17, 12, 150, true}, {7, 19, 10, 150, true}, {7, 19, 9, 150, false},  {3, 20, 12, 150, true},
  };
  for (const Case& c : cases) {
    cv::Mat crop(c.rows, c.run * c.runs, CV_8UC1, cv::Scalar(200));
    for (int x = 0; x < crop.cols; ++x)
      if ((x / c.run) % 2 == 0) crop.col(x).setTo(100);
    EXPECT_EQ(pvk::symbols::dmRowsGiveWidth(crop, c.v), c.gives) << c.run << " x " << c.runs << " rows " << c.rows
                                                                  << " v " << c.v;
  }
}

// Only the right timing column shows runs (20 modules over 51 rows), so the rows give no width:
// it comes from the crop's 54 pixels over the 20 columns of the size so many rows make, not
// from the module height.
TEST(DataMatrixLocator, AWidthTheRowsDoNotGiveIsTheCropOverTheColumnsOfTheSize) {
  cv::Mat bin(51, 54, CV_8UC1, cv::Scalar(255));
  auto row = [](int module) { return static_cast<int>(std::lround(module * 2.55)); };
  for (int m = 0; m < 20; m += 2) bin(cv::Range(row(m), row(m + 1)), cv::Range(52, 54)).setTo(0);
  MyOcr.dmDpi = 300;
  imageReaderDM r;
  ASSERT_TRUE(r.findPixelSize(bin));
  EXPECT_NEAR(r.parser.moduleHeight, 2.55, 0.05);
  EXPECT_DOUBLE_EQ(r.parser.moduleWidth, 54.0 / 20);
}

TEST(DataMatrixGeometry, AngleOfTwoVectors) {
  EXPECT_EQ(angle({0, 10}, {100, 0}, {0, 0}), 0.0);          // |dy1| - dx2 <= 70
  EXPECT_EQ(angle({0, 100}, {0, 100}, {0, 0}), 0.0);         // the same vector
  const double r = angle({10, 100}, {-5, 80}, {0, 0});
  EXPECT_NEAR(r, -std::atan((10.0 * -5 + 100.0 * 80) / std::sqrt((100.0 + 10000) * (25.0 + 6400))), 1e-12);
}

}  // namespace
