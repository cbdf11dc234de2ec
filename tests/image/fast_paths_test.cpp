// The quick ways of the image output against the plain per-pixel ways they replace, on random
// pictures: the BMP build with a neutral table, and the geometry transform without rotation.
// Each reference below is the per-pixel form, kept here as the judge.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "image/image.h"
#include "image_test_util.h"
#include "rasterlib/raster_image.h"

namespace {

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed)
{
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v)
    b = static_cast<uint8_t>(rng());
  return v;
}

// The BMP build through its brightness/contrast table, one look-up per byte.
std::vector<uint8_t> referenceBmpRows(const uint8_t* src, int rows, int width, int planeOffset, int srcStride,
                                      int dstStride, short brightness, short contrast, int bpp, bool bottomUp,
                                      bool bgr)
{
  uint8_t t[256];
  for (int v = 0; v < 256; ++v) {
    int x = v + brightness + ((contrast * (v - 128)) >> 7);
    t[v] = static_cast<uint8_t>(x < 0 ? 0 : x > 255 ? 255 : x);
  }
  std::vector<uint8_t> out(static_cast<size_t>(rows) * dstStride, 0);
  size_t pixels24 = std::min<size_t>(dstStride / 3, planeOffset), pixels8 = std::min(width, dstStride);
  for (int r = 0; r < rows; ++r) {
    const uint8_t* s = src + static_cast<size_t>(r) * srcStride;
    uint8_t* d = out.data() + static_cast<size_t>(bottomUp ? rows - 1 - r : r) * dstStride;
    if (bpp == 24) {
      size_t first = bgr ? 2u * planeOffset : 0, third = bgr ? 0 : 2u * planeOffset;
      for (size_t k = 0; k < pixels24; ++k) {
        *d++ = t[s[k + first]];
        *d++ = t[s[k + planeOffset]];
        *d++ = t[s[k + third]];
      }
    } else {
      for (size_t k = 0; k < pixels8; ++k)
        d[k] = t[s[k]];
    }
  }
  return out;
}

TEST(FastPaths, BmpBuildMatchesTheTableLookUp)
{
  struct Case {
    int width, planes;
    short brightness, contrast;
    bool bottomUp, bgr;
  } cases[] = {{37, 1, 0, 0, true, true},   {64, 3, 0, 0, true, true},   {61, 3, 0, 0, false, false},
               {50, 1, 0, 0, false, true},  {45, 3, 12, 0, true, true},  {33, 1, -5, 40, true, false},
               {40, 3, 0, -128, false, true}};
  uint32_t seed = 1;
  for (const Case& c : cases) {
    const int rows = 23, planeOffset = c.width + 3, srcStride = planeOffset * c.planes + 5;
    const int bpp = 8 * c.planes, dstStride = (c.width * c.planes + 3) & ~3;
    auto src = randomBytes(static_cast<size_t>(srcStride) * rows, seed++);
    std::vector<uint8_t> bmp(ImgBMPSize(static_cast<size_t>(c.width) * c.planes, rows), 0);
    long size = 0;
    ASSERT_TRUE(ImgBMPElabora(src.data(), rows, c.width, planeOffset, srcStride, dstStride, 300, 300, c.brightness,
                              c.contrast, bpp, c.bottomUp, c.bgr, bmp.data(), &size));
    const size_t header = c.planes == 1 ? 1078 : 54;
    ASSERT_EQ(size, static_cast<long>(header + static_cast<size_t>(rows) * dstStride));
    auto want = referenceBmpRows(src.data(), rows, c.width, planeOffset, srcStride, dstStride, c.brightness,
                                 c.contrast, bpp, c.bottomUp, c.bgr);
    EXPECT_TRUE(std::equal(want.begin(), want.end(), bmp.begin() + header))
        << "width " << c.width << " planes " << c.planes << " brightness " << c.brightness;
  }
}

// The transform walked pixel by pixel: the source point steps along each output row, four
// source pixels blended with cubed weights, written only away from the source's outer frame.
void referenceTransform(const PVKImg& src, PVKImg& dst, const LinTranPars& p, bool turn180)
{
  auto floorTo = [](float v) {
    auto t = static_cast<int64_t>(v);
    return (v < 0 && static_cast<float>(t) != v) ? t - 1 : t;
  };
  PVKImg box{};
  ASSERT_TRUE(LinearTransformation(src, box, p, turn180, true, 1));
  float xs[4] = {0, static_cast<float>(src.width), static_cast<float>(src.width), 0};
  float ys[4] = {0, 0, static_cast<float>(src.height), static_cast<float>(src.height)};
  float x0 = INFINITY, y0 = INFINITY;
  for (int i = 0; i < 4; ++i) {
    Point m = Transform(Point{xs[i], ys[i]}, p);
    x0 = std::fmin(x0, m.x);
    y0 = std::fmin(y0, m.y);
  }
  float ox = static_cast<float>(static_cast<int64_t>(x0 + 0.5f)), oy = static_cast<float>(static_cast<int64_t>(y0 + 0.5f));
  LinTranPars q = GetInversePars(p);
  Point start = Transform(Point{ox, oy}, q), col = Transform(Point{ox + 1, oy}, q), row = Transform(Point{ox, oy + 1}, q);
  float cx = col.x - start.x, cy = col.y - start.y, rx = row.x - start.x, ry = row.y - start.y;
  int64_t w = std::min<int64_t>(box.width, dst.width), h = std::min<int64_t>(box.height, dst.height);
  for (int64_t y = 0; y < h; ++y) {
    float fx = start.x + static_cast<float>(y) * rx, fy = start.y + static_cast<float>(y) * ry;
    for (int64_t x = 0; x < w; ++x, fx += cx, fy += cy) {
      int64_t ix = floorTo(fx), iy = floorTo(fy);
      if (ix < 1 || ix > src.width - 2 || iy < 1 || iy > src.height - 2)
        continue;
      float u = fx - static_cast<float>(ix), v = fy - static_cast<float>(iy);
      u = u * u * u;
      v = v * v * v;
      const uint8_t* r0 = src.data + iy * static_cast<int64_t>(src.stride) + ix;
      const uint8_t* r1 = r0 + src.stride;
      float value = (r0[0] * (1 - v) + r1[0] * v) * (1 - u) + (r0[1] * (1 - v) + r1[1] * v) * u;
      int64_t at = turn180 ? (h - 1 - y) * dst.stride + (w - 1 - x) : y * dst.stride + x;
      dst.data[at] = static_cast<uint8_t>(value);
    }
  }
}

class FastTransform : public imgtest::ImageTest {
 protected:
  void SetUp() override
  {
    ImageTest::SetUp();
    MyAcq.colourLines = 1;
    MyAcq.planesPerLine = 1;
  }
};

TEST_F(FastTransform, ScalingWithoutRotationMatchesThePixelWalk)
{
  struct Case {
    int w, h, srcV, srcH, dstV, dstH;
    bool turn180;
  } cases[] = {{301, 97, 3, 3, 2, 2, false}, {301, 97, 3, 3, 2, 2, true}, {120, 80, 2, 2, 3, 3, false},
               {77, 131, 4, 5, 5, 4, true},  {200, 50, 3, 1, 2, 1, false}, {64, 64, 7, 3, 5, 4, false},
               {90, 33, 2, 1, 1, 1, true}};
  uint32_t seed = 11;
  for (const Case& c : cases) {
    auto pixels = randomBytes(static_cast<size_t>(c.w + 5) * c.h, seed++);
    PVKImg src{static_cast<uint16_t>(c.w), static_cast<uint16_t>(c.h), static_cast<uint16_t>(c.w + 5), 300,
               pixels.data()};
    PVKImg dst{};
    ASSERT_TRUE(StretchRotateStretch(src, dst, c.srcV, c.srcH, c.dstV, c.dstH, 0.0f, 1, c.turn180));
    // The reference fills a buffer like the transform's own: 10 everywhere first.
    PVKImg ref = dst;
    std::vector<uint8_t> refPixels((static_cast<size_t>(dst.height) + 16) * dst.stride, 10);
    ref.data = refPixels.data();
    float m = static_cast<float>(std::min(c.srcV, c.srcH));
    referenceTransform(src, ref,
                       GetLinTranPars(src, c.srcV / m, c.srcH / m, 0.0f, c.dstV / m, c.dstH / m), c.turn180);
    EXPECT_EQ(0, std::memcmp(dst.data, refPixels.data(), refPixels.size()))
        << c.w << "x" << c.h << " " << c.srcV << ":" << c.dstV << " / " << c.srcH << ":" << c.dstH;
    FreePVKImg(dst);
  }
}

TEST_F(FastTransform, RotationMatchesThePixelWalkOnEveryPlane)
{
  struct Case {
    int w, h, planes, srcV, srcH, dstV, dstH;
    float degrees;
    bool turn180;
  } cases[] = {{301, 97, 1, 3, 3, 3, 3, 4.0f, false},  {301, 97, 3, 3, 3, 3, 3, -4.0f, true},
               {120, 80, 3, 3, 3, 2, 2, 2.5f, false},  {77, 131, 1, 4, 5, 5, 4, -1.25f, true},
               {200, 50, 3, 3, 1, 2, 1, 0.7f, false},  {64, 64, 2, 1, 1, 1, 1, 30.0f, false},
               {90, 33, 3, 2, 1, 1, 1, -12.0f, true},
               // Wider than a block of columns and taller than a band of rows, spans starting and
               // ending inside blocks, both turns.
               {1203, 77, 3, 1, 1, 1, 1, 4.0f, false}, {1203, 77, 3, 1, 1, 1, 1, -4.0f, true},
               {901, 45, 1, 3, 3, 2, 2, 3.0f, true},   {700, 130, 1, 1, 1, 1, 1, -9.0f, false},
               {5, 5, 1, 1, 1, 1, 1, 10.0f, false}};
  uint32_t seed = 41;
  for (const Case& c : cases) {
    MyAcq.colourLines = MyAcq.planesPerLine = static_cast<uint8_t>(c.planes);
    const int stride = (c.w + 5) * c.planes;
    auto pixels = randomBytes(static_cast<size_t>(stride) * c.h, seed++);
    PVKImg src{static_cast<uint16_t>(c.w), static_cast<uint16_t>(c.h), static_cast<uint16_t>(stride), 300,
               pixels.data()};
    PVKImg dst{};
    const float angle = c.degrees * static_cast<float>(M_PI) / 180.0f;
    ASSERT_TRUE(StretchRotateStretch(src, dst, c.srcV, c.srcH, c.dstV, c.dstH, angle,
                                     static_cast<uint8_t>(c.planes), c.turn180));
    std::vector<uint8_t> refPixels((static_cast<size_t>(dst.height) + 16) * dst.stride, 10);
    float m = static_cast<float>(std::min(c.srcV, c.srcH));
    const LinTranPars p = GetLinTranPars(src, c.srcV / m, c.srcH / m, angle, c.dstV / m, c.dstH / m);
    // Each plane walked on its own, as the planes lie side by side in the rows; a colour image
    // turned round comes out blue first.
    for (int k = 0; k < c.planes; ++k) {
      PVKImg s = src, ref = dst;
      s.data = pixels.data() + k * (stride / c.planes);
      const int out = c.turn180 && c.planes == 3 ? 2 - k : k;
      ref.data = refPixels.data() + out * (dst.stride / c.planes);
      referenceTransform(s, ref, p, c.turn180);
    }
    EXPECT_EQ(0, std::memcmp(dst.data, refPixels.data(), refPixels.size()))
        << c.w << "x" << c.h << " planes " << c.planes << " " << c.degrees << " degrees";
    FreePVKImg(dst);
  }
}

// EncodeImage leaves the pixels in the caller's bitmap while it only reads them: the files must be
// those of a copy decoded the usual way, and the bitmap must come back as it went in, whatever
// the format, turn or flip.
TEST(FastPaths, EncodingStraightFromTheCallersBitmapMatchesACopy)
{
  using namespace pvk::image;
  struct Format {
    short format;
    uint32_t type, option;
    bool readsOnly;
  } formats[] = {{kJpeg, IMAGE_TYPE_JPG, 1, true},       {kTiffNone, IMAGE_TYPE_TIF, kCompNone, true},
                 {kTiffLzw, IMAGE_TYPE_TIF, kCompLzw, false}, {kTiffG4, IMAGE_TYPE_TIF, kCompG4, false},
                 {kBmp, IMAGE_TYPE_BMP, 1, false}};
  uint32_t seed = 71;
  for (int planes : {1, 3}) {
    for (int width : {37, 64}) {
      for (bool topDown : {false, true}) {
        const int rows = 29, stride = width * planes, dstStride = (width * planes + 3) & ~3;
        auto src = randomBytes(static_cast<size_t>(stride) * rows, seed++);
        std::vector<uint8_t> bmp(ImgBMPSize(static_cast<size_t>(stride), rows), 0);
        long bmpSize = 0;
        ASSERT_TRUE(ImgBMPElabora(src.data(), rows, width, width, stride, dstStride, 300, 300, 0, 0, 8 * planes,
                                  true, true, bmp.data(), &bmpSize));
        bmp.resize(static_cast<size_t>(bmpSize));
        if (topDown) {  // the same rows read from the top: a negative height
          int32_t height;
          std::memcpy(&height, bmp.data() + 22, 4);
          height = -height;
          std::memcpy(bmp.data() + 22, &height, 4);
        }
        const std::vector<uint8_t> before = bmp;
        RasterImage probe;
        ASSERT_TRUE(probe.DecodeBorrowing(bmp.data(), static_cast<uint32_t>(bmp.size())));
        EXPECT_EQ(probe.BorrowsPixels(), !topDown) << "a bitmap stored top-down is turned over: copied";
        for (const Format& f : formats) {
          for (short turn : {0, 0x100}) {
            for (short flip : {short{0}, kFlipTopBottom}) {
              SCOPED_TRACE(testing::Message() << planes << " planes, width " << width << (topDown ? ", top-down" : "")
                                              << ", format " << f.format
                                              << ", turn " << turn << ", flip " << flip);
              long size = bmpSize;
              uint8_t* out = EncodeImage(bmp.data(), &size, 80, 128, static_cast<short>(f.format | flip), turn,
                                         300, 300, 0);
              ASSERT_NE(out, nullptr);
              EXPECT_EQ(bmp, before);
              if (f.readsOnly && turn == 0 && flip == 0) {
                std::vector<uint8_t> copy = before;
                RasterImage ref(copy.data(), static_cast<uint32_t>(copy.size()), IMAGE_TYPE_BMP);
                if (f.type == IMAGE_TYPE_JPG)
                  ref.SetJpegQuality(80);
                ref.SetXDPI(300);
                ref.SetYDPI(300);
                ref.SetCodecOption(f.option, f.type);
                uint8_t* want = nullptr;
                int32_t wantSize = 0;
                ASSERT_TRUE(ref.Encode(want, wantSize, f.type));
                EXPECT_EQ(size, wantSize);
                EXPECT_TRUE(size == wantSize && std::memcmp(out, want, static_cast<size_t>(size)) == 0);
                std::free(want);
              }
              std::free(out);
            }
          }
        }
      }
    }
  }
}

}  // namespace
