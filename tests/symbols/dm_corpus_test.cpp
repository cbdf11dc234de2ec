// The DataMatrix reader on generator images with quiet zones: every size at 300 and 200 dpi,
// turned up to 10 degrees and degraded by level, with pass counts per level that may only
// rise; misses are put beside what libdmtx and ZXing-cpp read in the same image.
#include <gtest/gtest.h>

#include <ZXing/ReadBarcode.h>

#include <opencv2/core.hpp>

#include <cstring>

#include "dm_symbols.h"
#include "symbol_corpus.h"
#include "symbols/symbols.h"

namespace {

using namespace pvk::corpus;

std::string ours(const Image& im) { return dmtest::readOurs(im.pixels.data(), im.width, im.height, im.dpi); }

std::string libdmtx(const Image& im) { return dmtest::readLibdmtx(im.pixels.data(), im.width, im.height, 500); }

std::string zxing(const Image& im) {
  ZXing::DecodeHints hints;
  hints.setFormats(ZXing::BarcodeFormat::DataMatrix);
  const ZXing::Result r =
      ZXing::ReadBarcode(ZXing::ImageView(im.pixels.data(), im.width, im.height, ZXing::ImageFormat::Lum), hints);
  if (!r.isValid()) return "";
  const ZXing::ByteArray& b = r.bytes();
  return std::string(b.begin(), b.end());
}

// zint's size option of each of the 21 sizes read, in our table's order.
const int kZintSize[kDmVersions] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 25, 27, 26, 28, 29, 30};

std::string payloadFor(int v) {
  const int room = CODE_BLOCK_CHARACTERISTIC[v].data;
  std::string s = "DM" + std::to_string(v) + " ";
  for (int i = 0; static_cast<int>(s.size()) < room - 2; ++i) s += static_cast<char>('A' + (i * 7 + v) % 26);
  return s.substr(0, std::max(1, room - 2));
}

// Every size clean; every third size also turned by 10 degrees and at each degraded level.
TEST(DataMatrixCorpus, EverySizeCleanTurnedAndDegraded) {
  // Reads per level (0 clean .. 4 hardest), 42 images at level 0 and 14 at the others; and
  // of the 28 turned images. They may only rise.
  const int kRatchet[kLevels] = {42, 14, 9, 9, 7};
  const int kTurnedRatchet = 28;
  int reads[kLevels] = {}, images[kLevels] = {}, turned = 0, turnedRead = 0;
  for (int dpi : {300, 200}) {
    DrawSpec draw;
    draw.dpi = dpi;
    draw.modulePx = dpi == 300 ? 5 : 4;
    draw.quietModules = 4;
    for (int v = 0; v < kDmVersions; ++v) {
      SymbolSpec spec;
      spec.symbology = Symbology::DataMatrix;
      spec.data = payloadFor(v);
      spec.option2 = kZintSize[v];
      ModuleGrid grid;
      ASSERT_TRUE(encode(spec, grid)) << v;
      ASSERT_EQ(grid.rows, VERSION[v].rows);
      for (int level = 0; level < (v % 3 == 0 ? kLevels : 1); ++level) {
        const Image im = render(grid, draw, degradationFor(level, 100 * v + level));
        const std::string got = ours(im);
        ++images[level];
        if (got == spec.data) {
          ++reads[level];
          continue;
        }
        EXPECT_TRUE(got.empty()) << "misread " << v << " level " << level;
        EXPECT_NE(level, 0) << "clean " << grid.rows << "x" << grid.cols << " at " << dpi;
        std::printf("miss %dx%d dpi %d level %d: libdmtx %s, ZXing %s\n", grid.rows, grid.cols, dpi, level,
                    libdmtx(im) == spec.data ? "reads" : "misses", zxing(im) == spec.data ? "reads" : "misses");
      }
      if (v % 3 != 0) continue;
      for (double deg : {-10.0, 10.0}) {
        Degradation d;
        d.rotationDeg = deg;
        ++turned;
        if (ours(render(grid, draw, d)) == spec.data) ++turnedRead;
        else std::printf("turned miss %dx%d dpi %d by %.0f\n", grid.rows, grid.cols, dpi, deg);
      }
    }
  }
  for (int level = 0; level < kLevels; ++level) {
    std::printf("level %d: %d of %d read\n", level, reads[level], images[level]);
    EXPECT_GE(reads[level], kRatchet[level]) << level;
  }
  std::printf("turned 10 degrees: %d of %d read\n", turnedRead, turned);
  EXPECT_GE(turnedRead, kTurnedRatchet);
}

// The smallest symbols at 300 dpi, 30 to 54 pixels across: 10 x 10, 12 x 12 and 8 x 18 modules
// at 10 and 15 mil (3 and 4.5 pixels a module, so the module edges fall between pixels), with a
// quiet zone of one module and of four. Zones without a symbol read nothing.
TEST(DataMatrixCorpus, SmallSymbolsReadAt300Dpi) {
  struct Case {
    int zintSize;
    const char* data;
  } const cases[] = {{1, "123456"}, {2, "AB12"}, {25, "1234AB"}};
  for (const Case& c : cases)
    for (double mils : {10.0, 15.0})
      for (int quiet : {1, 4}) {
        SymbolSpec spec;
        spec.symbology = Symbology::DataMatrix;
        spec.data = c.data;
        spec.option2 = c.zintSize;
        DrawSpec draw;
        draw.xMils = mils;
        draw.quietModules = quiet;
        Sample smp;
        ASSERT_TRUE(makeSample(spec, draw, 0, 3, smp));
        EXPECT_EQ(ours(smp.image), c.data) << smp.grid.rows << "x" << smp.grid.cols << " " << mils << " mil, quiet "
                                           << quiet << ", " << smp.image.width << " px";
      }
  for (const Sample& n : negativeSet(2, 400, 100, 300, 41)) EXPECT_EQ(ours(n.image), "") << n.id;
}

// Quarter turns are reported, not required: the locator looks for the L at the left and the
// bottom of the upright outline.
TEST(DataMatrixCorpus, QuarterTurnsAreReported) {
  int read[4] = {}, images = 0;
  DrawSpec draw;
  draw.modulePx = 5;
  draw.quietModules = 4;
  for (int v : {3, 9, 18}) {
    SymbolSpec spec;
    spec.symbology = Symbology::DataMatrix;
    spec.data = payloadFor(v);
    spec.option2 = kZintSize[v];
    ModuleGrid grid;
    ASSERT_TRUE(encode(spec, grid));
    const Image im = render(grid, draw, Degradation());
    ++images;
    for (int q = 0; q < 4; ++q) {
      cv::Mat m(im.height, im.width, CV_8UC1, const_cast<uint8_t*>(im.pixels.data()));
      cv::Mat t = m.clone();
      if (q > 0) cv::rotate(m, t, q == 1 ? cv::ROTATE_90_COUNTERCLOCKWISE : q == 2 ? cv::ROTATE_180 : cv::ROTATE_90_CLOCKWISE);
      const std::string got = dmtest::readOurs(t.data, t.cols, t.rows, 300);
      EXPECT_TRUE(got.empty() || got == spec.data) << "misread turned " << q;
      if (got == spec.data) ++read[q];
    }
  }
  EXPECT_EQ(read[0], images);
  std::printf("quarter turns read (0, 90, 180, 270 degrees): %d %d %d %d of %d\n", read[0], read[1], read[2], read[3],
              images);
}

}  // namespace
