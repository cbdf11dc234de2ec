// Resolution checks, line counts, format words, time differences and the border and rule erasers.
#include <climits>
#include <vector>

#include "core/image_utils.h"
#include "core_test_util.h"

namespace {

TEST(Resolutions, CheckDpiAndEvalNumLine) {
  for (short dpi : {0, 10, 600}) EXPECT_TRUE(CheckDpi(dpi)) << dpi;
  MyDev.lastResult = 0;
  for (short dpi : {1, 9, 601, -1}) EXPECT_FALSE(CheckDpi(dpi)) << dpi;
  EXPECT_EQ(MyDev.lastResult, -3);
  EXPECT_EQ(EvalNumLine(100, 150, 300), 200);
  EXPECT_EQ(EvalNumLine(1, 300, 100), 0);
  EXPECT_EQ(EvalNumLine(1000, 1, 100), static_cast<int>(0xFFFFFFFFu));
  EXPECT_EQ(EvalNumLine(100, 0, 300), 0);
  EXPECT_EQ(EvalNumLine(65535, 300, 300), 65535);
}

TEST(FormatWord, JpegCompression) {
  for (short f : {0x0100, 0x0306, 7, 0, 6, 0x0400}) EXPECT_TRUE(IS_JPEG_COMPRESSION(f)) << f;
  for (short f : {0x0800, 4, 1, 0x1000, 0x0801}) EXPECT_FALSE(IS_JPEG_COMPRESSION(f)) << f;
}

TEST(Time, DeltaMsecRoundsToTheNearest) {
  EXPECT_EQ(DeltaMsec(timeval{2, 500}, timeval{1, 999700}), 1);
  EXPECT_EQ(DeltaMsec(timeval{5, 0}, timeval{3, 0}), 2000);
  EXPECT_EQ(DeltaMsec(timeval{1, 1499}, timeval{1, 0}), 1);
  EXPECT_EQ(DeltaMsec(timeval{1, 1500}, timeval{1, 0}), 2);
  EXPECT_EQ(DeltaMsec(timeval{LONG_MAX, 0}, timeval{0, 0}), LONG_MAX);
  EXPECT_EQ(DeltaMsec(timeval{LONG_MIN, 0}, timeval{0, 0}), LONG_MIN);
  // The host's times may be anything: the differences themselves must not overflow.
  EXPECT_EQ(DeltaMsec(timeval{LONG_MAX, 0}, timeval{LONG_MIN, 0}), LONG_MAX);
  EXPECT_EQ(DeltaMsec(timeval{LONG_MIN, 0}, timeval{1, 0}), LONG_MIN);
  EXPECT_GT(DeltaMsec(timeval{0, LONG_MAX}, timeval{0, LONG_MIN}), 18446744073709000L);
}

// An earlier `later` gives the same magnitude as the other way round: halves round away from
// zero on both sides, and whole milliseconds stay whole.
TEST(Time, DeltaMsecRoundsNegativeDifferencesLikePositiveOnes) {
  const struct { timeval a, b; long ms; } cases[] = {
      {{100, 0}, {110, 0}, -10000}, {{1, 0}, {1, 1500}, -2},   {{1, 0}, {1, 1499}, -1},
      {{1, 999700}, {2, 500}, -1},  {{0, 0}, {0, 499}, 0},     {{3, 0}, {5, 0}, -2000},
      {{0, 0}, {0, 500}, -1},       {{7, 250}, {7, 250}, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DeltaMsec(c.a, c.b), c.ms) << c.a.tv_sec << "." << c.a.tv_usec << " - " << c.b.tv_sec;
    EXPECT_EQ(DeltaMsec(c.b, c.a), -c.ms);
  }
}

// A grey image of w x h held in a vector, with stride w + pad.
struct Image {
  Image(int w, int h, uint8_t fill, int pad = 0)
      : pixels(static_cast<size_t>((w + pad) * h), fill) {
    img.width = static_cast<uint16_t>(w);
    img.height = static_cast<uint16_t>(h);
    img.stride = static_cast<uint16_t>(w + pad);
    img.dpi = 300;
    img.data = pixels.data();
  }
  uint8_t& at(int x, int y) { return pixels[static_cast<size_t>(y * img.stride + x)]; }
  std::vector<uint8_t> pixels;
  PVKImg img{};
};

TEST(Borders, DarkOuterRowsAndColumnsBecomeWhite) {
  Image im(20, 16, 128);
  for (int x = 0; x < 20; ++x)
    for (int y : {0, 1, 14, 15}) im.at(x, y) = 0;
  for (int y = 0; y < 16; ++y)
    for (int x : {0, 1, 2, 17, 18, 19}) im.at(x, y) = 10;
  im.at(10, 8) = 5;  // a dark pixel inside stays
  CancellaBordiRotazione(&im.img);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 20; ++x) {
      const bool border = y < 2 || y > 13 || x < 3 || x > 16;
      const uint8_t want = border ? 255 : (x == 10 && y == 8 ? 5 : 128);
      ASSERT_EQ(im.at(x, y), want) << x << "," << y;
    }
}

TEST(Borders, SmallOrNullImagesAreLeftAlone) {
  CancellaBordiRotazione(nullptr);
  Image im(7, 20, 0);
  CancellaBordiRotazione(&im.img);
  EXPECT_EQ(im.at(0, 0), 0);
  CancellaRighe(&im.img, 1, 0);
  CancellaRigheV(&im.img, 1, 0);
  EXPECT_EQ(im.at(3, 3), 0);
  CancellaRighe(nullptr, 1, 0);
}

TEST(Rules, LongHorizontalRunsAreWhitenedUpToTheirLastPixel) {
  Image im(120, 10, 250, 8);
  for (int x = 0; x < 100; ++x) im.at(x, 4) = 0;
  for (int x = 0; x < 40; ++x) im.at(x, 6) = 0;  // too short
  CancellaRighe(&im.img, 50, 30);
  for (int x = 0; x < 99; ++x) ASSERT_EQ(im.at(x, 4), 255) << x;
  EXPECT_EQ(im.at(99, 4), 0);
  EXPECT_EQ(im.at(10, 6), 0);
  EXPECT_EQ(im.at(110, 4), 250);
  EXPECT_EQ(im.pixels[4 * 128 + 125], 250) << "padding untouched";
}

TEST(Rules, LongVerticalRuns) {
  Image im(10, 120, 250);
  for (int y = 10; y < 80; ++y) im.at(3, y) = 5;
  CancellaRigheV(&im.img, 50, 30);
  for (int y = 10; y < 79; ++y) ASSERT_EQ(im.at(3, y), 255) << y;
  EXPECT_EQ(im.at(3, 79), 5);
}

}  // namespace
