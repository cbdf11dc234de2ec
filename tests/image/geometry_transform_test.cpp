// The geometry transform: the decimation shortcut, interpolated scaling and rotation, the
// untouched outer frame, refused factors and outputs too large for the image record.
#include <cmath>
#include <cstdlib>

#include "image/image.h"
#include "image_test_util.h"

namespace {

class GeometryTransform : public imgtest::ImageTest {
 protected:
  void SetUp() override
  {
    ImageTest::SetUp();
    MyAcq.colourLines = 1;
    MyAcq.planesPerLine = 1;
  }
  void TearDown() override
  {
    std::free(src.data);
    FreePVKImg(dst);
    ImageTest::TearDown();
  }
  // A source of w x h pixels, each planes planes wide, filled by f(x, y, plane).
  template <class F>
  void makeSource(uint16_t w, uint16_t h, int planes, uint16_t dpi, F f)
  {
    uint16_t part = static_cast<uint16_t>((w + 3) & ~3);
    src = PVKImg{w, h, static_cast<uint16_t>(part * planes), dpi, nullptr};
    src.data = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(src.stride) * h, 1));
    for (int p = 0; p < planes; ++p)
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          src.data[y * src.stride + p * part + x] = f(x, y, p);
  }
  uint8_t at(int x, int y) const { return dst.data[y * dst.stride + x]; }

  PVKImg src{};
  PVKImg dst{};
};

TEST_F(GeometryTransform, WholeNumberDownScalingDecimates)
{
  makeSource(1000, 600, 1, 300, [](int x, int y, int) { return static_cast<uint8_t>((x + 7 * y) & 0xFF); });
  ASSERT_TRUE(StretchRotateStretch(src, dst, 300, 300, 150, 150, 0.0f, 1, false));
  EXPECT_EQ(dst.width, 500);
  EXPECT_EQ(dst.height, 300);
  EXPECT_EQ(dst.stride, 504);
  EXPECT_EQ(dst.dpi, 150);
  EXPECT_EQ(at(3, 5), static_cast<uint8_t>((6 + 7 * 10) & 0xFF));
  EXPECT_EQ(at(499, 299), static_cast<uint8_t>((998 + 7 * 598) & 0xFF));
}

TEST_F(GeometryTransform, TurnedDecimationReadsBackwardsAndSwapsColourPlanes)
{
  makeSource(8, 4, 3, 200, [](int x, int y, int p) { return static_cast<uint8_t>(100 * p + 10 * y + x); });
  MyAcq.colourLines = 3;
  ASSERT_TRUE(StretchRotateStretch(src, dst, 2, 2, 1, 1, 0.0f, 3, true));
  EXPECT_EQ(dst.width, 4);
  EXPECT_EQ(dst.height, 2);
  size_t part = dst.stride / 3;
  // Output plane 0 holds source plane 2, starting at the last pixel of the last row.
  EXPECT_EQ(dst.data[0], 200 + 30 + 7);
  EXPECT_EQ(dst.data[1], 200 + 30 + 5);
  EXPECT_EQ(dst.data[dst.stride + 3], 200 + 10 + 1);
  EXPECT_EQ(dst.data[2 * part], 0 + 30 + 7);
}

TEST_F(GeometryTransform, FractionalScaleInterpolatesAndKeepsTheFrame)
{
  makeSource(300, 90, 1, 300, [](int, int, int) { return uint8_t{200}; });
  ASSERT_TRUE(StretchRotateStretch(src, dst, 300, 300, 200, 200, 0.0f, 1, false));
  // Corners map to 0..200 and 0..60: one pixel less each way.
  EXPECT_EQ(dst.width, 199);
  EXPECT_EQ(dst.height, 59);
  EXPECT_EQ(dst.stride, 200);
  EXPECT_EQ(dst.dpi, 200);
  EXPECT_EQ(at(100, 30), 200);
  // Pixels whose base would be the outermost source row or column keep the fill value.
  EXPECT_EQ(at(0, 0), 10);
  EXPECT_EQ(at(0, 30), 10);
  EXPECT_EQ(at(100, 0), 10);
  // The 16 spare rows are there and filled too.
  EXPECT_EQ(dst.data[(dst.height + 15) * dst.stride + dst.stride - 1], 10);
}

TEST_F(GeometryTransform, TinyAnglesAreNoAngleLargerOnesRotate)
{
  makeSource(200, 100, 1, 300, [](int x, int, int) { return static_cast<uint8_t>(x < 100 ? 0 : 255); });
  ASSERT_TRUE(StretchRotateStretch(src, dst, 1, 1, 1, 1, 0.0005f, 1, false));
  EXPECT_EQ(dst.width, 200);  // decimation by one keeps the size
  EXPECT_EQ(dst.stride, 200);
  FreePVKImg(dst);
  ASSERT_TRUE(StretchRotateStretch(src, dst, 1, 1, 1, 1, 0.002f, 1, false));
  EXPECT_EQ(dst.width, 199);  // interpolated: the box loses a pixel
  FreePVKImg(dst);
  ASSERT_TRUE(StretchRotateStretch(src, dst, 1, 1, 1, 1, 0.2f, 1, false));
  // A turn by 0.2 rad makes the box larger in both directions.
  EXPECT_GT(dst.width, 200);
  EXPECT_GT(dst.height, 100);
}

TEST_F(GeometryTransform, BadFactorsAndOversizedOutputsAreRefused)
{
  makeSource(1000, 10, 1, 300, [](int, int, int) { return uint8_t{1}; });
  EXPECT_FALSE(StretchRotateStretch(src, dst, 0, 1, 1, 1, 0.0f, 1, false));
  EXPECT_EQ(MyDev.lastResult, -3);
  EXPECT_TRUE(traced("null or negative strech factors"));
  EXPECT_FALSE(StretchRotateStretch(src, dst, 1, 1, 1, -2, 0.0f, 1, false));
  // 1000 pixels stretched 100 times does not fit a 16-bit width: refused, nothing written.
  MyDev.lastResult = 0;
  EXPECT_FALSE(StretchRotateStretch(src, dst, 1, 1, 1, 100, 0.0f, 1, false));
  EXPECT_EQ(MyDev.lastResult, -3);
  EXPECT_EQ(dst.data, nullptr);
  MyAcq.colourLines = 0;
  EXPECT_FALSE(StretchRotateStretch(src, dst, 1, 1, 1, 1, 0.0f, 1, false));
  EXPECT_TRUE(traced("null nColRGB in Stretch"));
  MyAcq.colourLines = 1;
  PVKImg empty{10, 10, 12, 300, nullptr};
  EXPECT_FALSE(StretchRotateStretch(empty, dst, 1, 1, 1, 1, 0.0f, 1, false));
  EXPECT_TRUE(traced("Stretch with invalid input"));
}

TEST_F(GeometryTransform, InverseUndoesTheMap)
{
  PVKImg img{400, 200, 400, 300, nullptr};
  LinTranPars p = GetLinTranPars(img, 3, 2, 0.1f, 1, 1);
  LinTranPars q = GetInversePars(p);
  Point a{123.0f, 45.0f};
  Point b = Transform(Transform(a, p), q);
  EXPECT_NEAR(b.x, a.x, 1e-3);
  EXPECT_NEAR(b.y, a.y, 1e-3);
  // The mapped picture starts at (0, 0).
  Point o = Transform(Point{0, 0}, p), e = Transform(Point{0, 200}, p);
  EXPECT_GE(std::fmin(o.x, e.x), -1e-3);
  LinTranPars zero = GetInversePars(LinTranPars{1, 2, 3, 2, 4, 5});
  EXPECT_EQ(zero.p0, 0);
  EXPECT_EQ(zero.p5, 0);
}

}  // namespace
