// Deskew outputs pinned byte for byte on synthetic documents: the whole side buffer, the
// backlight companion, the record and the pending deskew, for grey and colour sides, half
// vertical resolution, crop-only, flips, sharpening on and off, an endorsement, and documents
// found only by joining pieces or at a lowered threshold. The pinned values are the outputs of
// the plain implementation that copied every plane into fresh memory and warped the whole box.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cstring>
#include <vector>

#include "geometry/geometry.h"
#include "side_buffer.h"
#include "synthetic_document.h"

using namespace pvk::testing;

namespace {

uint64_t fnv(const void* p, size_t n, uint64_t h = 1469598103934665603ull) {
  const auto* b = static_cast<const uint8_t*>(p);
  for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
  return h;
}

struct Case {
  const char* name;
  int planes;
  bool halfV, now, flipV, flipH, enhance;
  // 0 plain, 1 torn corner, 2 two pieces, 3 cut at the bottom, 4 dark band: documents too
  // small to pass at the first threshold; 5 a cheque's size, found at the first.
  int scene;
  bool stamp, companion, allowRotation;
  uint64_t pinned;
};

struct Outcome {
  bool ok = false;
  uint64_t hash = 0;
};

// stampInk false: an endorsement of blank pixels, which draws nothing.
Outcome deskewCase(const Case& c, bool stampInk = true, bool allowRotation = false) {
  DocSpec spec;
  if (c.scene < 5) {
    spec.sensorW = 1300 + c.scene * 7;
    spec.sensorH = 700;
    spec.docW = 1000;
    spec.docH = 420;
    spec.centre = cv::Point2f(655, c.scene == 3 ? 560 : 330);
  }
  spec.angleDeg = -4.5 + c.scene * 2.3;
  spec.seed = 40 + c.scene;
  spec.tornCorner = c.scene == 1;
  spec.twoPieces = c.scene == 2;
  spec.darkBand = c.scene == 4;
  Synthetic s = makeDocument(spec);
  cv::Mat scene = s.scene;
  int rows = spec.sensorH;
  if (c.halfV) {
    cv::resize(s.scene, scene, cv::Size(spec.sensorW, rows / 2), 0, 0, cv::INTER_AREA);
    rows /= 2;
  }
  const int spare = c.halfV ? rows + 16 : 0, dpiV = c.halfV ? 150 : 300;
  SideBuffer buf(spec.sensorW, rows, c.planes, c.planes, 300, dpiV, spare);
  SideBuffer comp(spec.sensorW, rows, 1, 1, 300, dpiV, spare);
  for (int p = 0; p < c.planes; ++p) {
    cv::Mat plane;
    scene.convertTo(plane, CV_8U, 1.0 - 0.15 * p, p * 3);
    putPlane(buf.front, p, plane);
  }
  cv::Mat backlit;
  scene.convertTo(backlit, CV_8U, 0.5, 40);
  putPlane(comp.front, 0, backlit);
  ImgInfo& side = buf.front;
  side.trimLeft = 4, side.trimWidth -= 8, side.trimTop = 2, side.rowsUsed -= 2;
  comp.front.side = 2;
  comp.front.trimLeft = side.trimLeft, comp.front.trimWidth = side.trimWidth, comp.front.trimTop = side.trimTop;
  std::vector<uint8_t> ink(32 * 20);
  for (size_t i = 0; i < ink.size(); ++i) ink[i] = stampInk ? static_cast<uint8_t>(i * 37) : 255;
  ImgInfo stamp{};
  stamp.firstRow = ink.data();
  stamp.bytesAllocated = ink.size();
  stamp.trimWidth = 30, stamp.rowsUsed = 20, stamp.rawLineBytes = stamp.planeLineBytes = 32;
  std::memset(PVKPendingDeskew, 0, sizeof PVKPendingDeskew);
  short edge = 0;
  char err[64] = "", info[64] = "";
  pvk::geometry::DeskewCall call{&side, c.companion ? &comp.front : nullptr, c.flipV, c.flipH, c.flipH, c.flipV,
                                 c.now, &edge, true, err, info, c.stamp ? &stamp : nullptr, 25, 3, c.enhance,
                                 allowRotation || c.allowRotation};
  Outcome r;
  r.ok = pvk::geometry::deskewWrapStamp(call);
  r.hash = fnv(buf.front.allocBase, buf.front.bytesAllocated);
  r.hash = fnv(comp.front.allocBase, comp.front.bytesAllocated, r.hash);
  for (const ImgInfo* rec : {&buf.front, &comp.front}) {
    const int geometry[] = {rec->trimTop, rec->trimLeft, rec->trimWidth, rec->fullWidth, rec->rowsUsed,
                            rec->fullHeight, rec->dpiV, rec->deskewApplied, rec->colourPlanes};
    r.hash = fnv(geometry, sizeof geometry, r.hash);
  }
  r.hash = fnv(&edge, sizeof edge, r.hash);
  r.hash = fnv(PVKPendingDeskew, sizeof PVKPendingDeskew, r.hash);
  return r;
}

class DeskewPinned : public ::testing::Test {
 protected:
  void SetUp() override {
    MyDev.img[1].dpiH = MyDev.img[1].dpiV = 300;
    MyITACheck.active = 0;
  }
};

TEST_F(DeskewPinned, OutputsAreTheSameBytes) {
  const Case cases[] = {
      {"grey", 1, false, true, false, false, true, 0, false, false, false, 0x1f7f823acb765187},
      {"grey unsharpened, flipped", 1, false, true, true, true, false, 0, false, false, false, 0x3601812ee0702320},
      {"grey half vertical dpi", 1, true, true, false, false, true, 0, false, false, false, 0x38d2633bbc02b4f1},
      {"grey crop only, flipped", 1, false, false, true, false, true, 0, false, false, false, 0x0926450b57383443},
      {"grey torn corner, endorsed", 1, false, true, false, false, true, 1, true, false, false, 0x28099abb862e91fb},
      {"grey two pieces, lit", 1, false, true, false, true, true, 2, false, true, false, 0xc9c31a399249bdba},
      {"grey cut at bottom, turned", 1, false, true, false, false, true, 3, false, false, true, 0x5ba2f7a3d2ecc3e2},
      {"grey dark band", 1, false, true, false, false, false, 4, false, false, false, 0x4821dc95fb2b5401},
      {"colour", 3, false, true, false, false, true, 0, false, false, false, 0x02c4b1dfd319d622},
      {"grey cheque", 1, false, true, false, false, true, 5, false, false, false, 0xddcaafd77f7961fc},
      {"colour cheque, lit", 3, false, true, false, true, true, 5, false, true, false, 0x04181e4ba50d0b45},
      {"grey cheque half dpi, endorsed", 1, true, true, false, false, true, 5, true, false, false, 0xa99367e657fc228f},
      {"colour half dpi, backlight", 3, true, true, true, false, true, 2, false, true, false, 0x0260417f7a53eb9c},
      {"colour crop only, endorsed", 3, false, false, false, false, false, 1, true, false, false, 0xbda0056fa51b0420},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome r = deskewCase(c);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.hash, c.pinned) << std::hex << "0x" << r.hash;
    // The planes read where they lie and the planes read from a copy (taken whenever an
    // endorsement draws on them) give the same bytes, and so does a side allowed to turn.
    if (!c.stamp && !c.allowRotation && c.scene != 3) {
      EXPECT_EQ(deskewCase(c, false).hash, deskewCase(Case{c.name, c.planes, c.halfV, c.now, c.flipV, c.flipH,
                                                            c.enhance, c.scene, true, c.companion, false, 0},
                                                       false)
                                               .hash);
      EXPECT_EQ(deskewCase(c, true, true).hash, r.hash);
    }
  }
}

// Turns, scales and shifts that keep the output inside the source, cross its edges or leave it,
// a transform with no inverse, sources of one and two rows, sources as narrow as the rows the
// vectors load whole and one narrower, a shrink whose steps span about as many columns as they
// load, shifts alone by fractions across, down or both whose inner run ends a step short of the
// source's last column, outputs narrower than a step; pixel by pixel and with vectors, into memory
// of its own and into a view.
TEST(WarpLinear, GivesTheLibrarysBytes) {
  struct Case {
    int rows, cols, outRows, outCols;
    double deg, scale, shiftX, shiftY;
  };
  const Case cases[] = {{333, 517, 300, 480, 3.7, 1.0, -13.25, 4.5}, {333, 517, 300, 480, -11.0, 1.0, 40.0, -30.0},
                        {120, 200, 120, 200, 0.0, 1.0, -7.0, -3.0},   {120, 200, 150, 260, 0.0, 1.0, 0.4, 0.6},
                        {90, 140, 200, 300, 25.0, 1.7, 10.0, 10.0},   {90, 140, 60, 90, -4.0, 0.6, -5.0, 2.0},
                        {90, 140, 50, 50, 0.0, 1.0, -500.0, 900.0},   {1, 40, 5, 40, 2.0, 1.0, 0.5, 0.5},
                        {2, 40, 5, 40, -2.0, 1.0, 0.5, 0.5},          {60, 1, 60, 3, 1.0, 1.0, 0.3, 0.0},
                        {64, 64, 7, 5, 45.0, 1.0, 0.0, 0.0},          {64, 64, 64, 64, 0.0, 0.0, 3.0, 3.0},
                        {40, 16, 40, 24, 1.5, 1.0, 0.3, 0.2},         {40, 15, 40, 24, -1.5, 1.0, 0.3, 0.2},
                        {90, 140, 60, 50, 1.0, 0.45, -2.0, 1.0},      {60, 128, 60, 140, 0.0, 1.0, 0.4, 0.6},
                        {60, 128, 60, 100, 0.0, 1.0, -3.0, 0.6}};
  cv::RNG rng(8);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rows << "x" << c.cols << " turned " << c.deg << " scaled " << c.scale);
    cv::Mat src(c.rows, c.cols, CV_8UC1);
    rng.fill(src, cv::RNG::UNIFORM, 0, 256);
    cv::Mat m = cv::getRotationMatrix2D(cv::Point2f(c.cols * 0.4f, c.rows * 0.6f), c.deg, c.scale);
    m.at<double>(0, 2) += c.shiftX;
    m.at<double>(1, 2) += c.shiftY;
    cv::Mat library;
    cv::warpAffine(src, library, m, cv::Size(c.outCols, c.outRows), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0));
    using pvk::geometry::Lanes;
    for (Lanes lanes : {Lanes::None, Lanes::Eight, Lanes::Sixteen}) {
      cv::Mat own(c.outRows, c.outCols, CV_8UC1, cv::Scalar(7));
      cv::Mat larger(c.outRows + 2, c.outCols + 2, CV_8UC1, cv::Scalar(7));
      cv::Mat view = larger(cv::Rect(1, 1, c.outCols, c.outRows));
      pvk::geometry::warpLinear(src, own, m, lanes);
      pvk::geometry::warpLinear(src, view, m, lanes);
      EXPECT_EQ(cv::norm(own, library, cv::NORM_INF), 0) << static_cast<int>(lanes);
      EXPECT_EQ(cv::norm(view, library, cv::NORM_INF), 0) << static_cast<int>(lanes);
    }
  }
}

TEST(WarpCrop, WarpingTheKeptPartEqualsCroppingTheWholeWarp) {
  cv::RNG rng(3);
  cv::Mat src(333, 517, CV_8UC1);
  rng.fill(src, cv::RNG::UNIFORM, 0, 256);
  for (double deg : {0.0, 3.7, -11.0}) {
    SCOPED_TRACE(deg);
    cv::Mat m = cv::getRotationMatrix2D(cv::Point2f(250.3f, 160.9f), deg, 1.0);
    m.at<double>(0, 2) -= 13.25;
    cv::Mat whole, part;
    cv::warpAffine(src, whole, m, cv::Size(480, 300), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0));
    for (cv::Size keep : {cv::Size(480, 300), cv::Size(479, 211), cv::Size(1, 1), cv::Size(97, 300)}) {
      cv::warpAffine(src, part, m, keep, cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0));
      EXPECT_EQ(cv::norm(part, whole(cv::Rect(cv::Point(0, 0), keep)), cv::NORM_INF), 0) << keep;
    }
  }
}

}  // namespace
