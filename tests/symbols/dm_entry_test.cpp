// The DataMatrix reader entry on drawn zones: clean symbols of every size, turned and
// degraded ones, the retries, the entry rules and bad input.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cstring>

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
