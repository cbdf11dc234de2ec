// The zone reader on symbols drawn from zint's modules: every level and shape at 300 and
// 200 dpi, skewed, without a readable stop, with damaged indicators; ZXing-cpp reads each
// image too, so a miss is ours. Blank paper, noise and a linear barcode read nothing; the
// limits of the search and bad buffers get their results.
#include <ZXing/ReadBarcode.h>

#include <opencv2/imgproc.hpp>

#include "pdf417_test_util.h"
#include "symbol_corpus.h"

namespace {

using namespace pdf417test;
using pvk::tools::pdf417::characterKey;

// A zone image of the corpus with the reader's image record over it.
struct Zone {
  pvk::corpus::Image image;
  PVKImg img{};
  void take(pvk::corpus::Image im)
  {
    image = std::move(im);
    img = {static_cast<uint16_t>(image.width), static_cast<uint16_t>(image.height),
           static_cast<uint16_t>(image.width), static_cast<uint16_t>(image.dpi), image.pixels.data()};
  }
};

// Draws our modules through the corpus renderer: x pixels per module, rows `rowModules` high.
void drawZone(const Modules& m, double x, double angleDeg, Zone& z, int dpi = 300, float rowModules = 3.0f)
{
  pvk::corpus::ModuleGrid g;
  g.rows = m.rows;
  g.cols = m.width;
  for (const auto& row : m.bits)
    g.dark.insert(g.dark.end(), row.begin(), row.end());
  g.rowHeight.assign(m.rows, rowModules);
  pvk::corpus::DrawSpec d;
  d.dpi = dpi;
  d.modulePx = x;
  d.quietModules = 4;
  pvk::corpus::Degradation deg;
  deg.rotationDeg = angleDeg;
  z.take(pvk::corpus::render(g, d, deg));
}

class ReaderTest : public PdfTest {
 protected:
  void SetUp() override
  {
    PdfTest::SetUp();
    MyAcq.colourLines = 1;
    MyAcq.planesPerLine = 1;
  }
  std::string read(const Zone& z, int* result = nullptr)
  {
    std::vector<char> text(2048, 'G'), conf(2048, 'G');
    int n = ReadPdf(z.img, text.data(), conf.data(), static_cast<unsigned short>(text.size()));
    if (result)
      *result = n;
    for (int i = 0; i < n; ++i)
      EXPECT_EQ(conf[i], 100);
    if (n <= 0) {
      EXPECT_EQ(text[0], 0);
      EXPECT_EQ(conf[0], 0);
    }
    return n > 0 ? std::string(text.data(), n) : std::string();
  }
};

bool zxingReads(const Zone& z, const std::string& payload)
{
  ZXing::ImageView view(z.img.data, z.img.width, z.img.height, ZXing::ImageFormat::Lum,
                        z.img.stride);
  ZXing::DecodeHints hints;
  hints.setFormats(ZXing::BarcodeFormat::PDF417);
  auto r = ZXing::ReadBarcode(view, hints);
  if (!r.isValid())
    return false;
  std::string bytes;
  for (uint8_t b : r.bytes())
    bytes += static_cast<char>(b);
  return bytes == payload;
}

struct Shape {
  int extraCols;
  double x;
  int dpi;
  double angle;
};

// Every level in four shapes: clean at X of 2 and 3 px (300 dpi) and 2 px at 200 dpi, and
// skewed by 3 degrees. A text is exact or nothing; read counts per level are a ratchet, and a
// symbol that ZXing-cpp reads and we miss is counted as ours.
TEST_F(ReaderTest, SymbolsOfEveryLevelReadExactlyAndZXingAgrees)
{
  // May only go up.
  const int ratchet[9] = {4, 4, 4, 4, 4, 4, 4, 4, 4};
  const Shape shapes[] = {{0, 2.0, 300, 0}, {2, 3.0, 300, 0}, {1, 2.0, 200, 0}, {3, 2.5, 300, 3}};
  int reads[9] = {}, zxing[9] = {}, ours = 0;
  Rng rng(5107);
  for (int level = 0; level <= 8; ++level) {
    for (const Shape& s : shapes) {
      Request rq;
      for (int i = rng.in(10, 40); i > 0; --i)
        rq.payload += static_cast<char>(rng.in(32, 126));
      rq.level = level;
      rq.cols = 2 + level + s.extraCols;
      Modules m;
      ASSERT_TRUE(pvk::tools::pdf417::encode(rq, m));
      Zone z;
      drawZone(m, s.x, s.angle, z, s.dpi);
      std::string got = read(z);
      bool zx = zxingReads(z, rq.payload);
      reads[level] += got == rq.payload;
      zxing[level] += zx;
      ours += zx && got != rq.payload;
      EXPECT_TRUE(got.empty() || got == rq.payload) << got;
    }
  }
  for (int level = 0; level <= 8; ++level) {
    std::printf("level %d: %d of 4 read, ZXing %d\n", level, reads[level], zxing[level]);
    EXPECT_GE(reads[level], ratchet[level]) << level;
  }
  std::printf("missed where ZXing reads: %d\n", ours);
}

Modules symbolOf(const std::string& payload, int level, int cols)
{
  Request rq;
  rq.payload = payload;
  rq.level = level;
  rq.cols = cols;
  Modules m;
  EXPECT_TRUE(pvk::tools::pdf417::encode(rq, m));
  return m;
}

// Writes the character of value v (cluster of row r) into column c (0 = left indicator).
void putCharacter(Modules& m, int r, int c, int v)
{
  const uint32_t key = static_cast<uint32_t>(tabPdf417[r % 3][v]);
  int t[6];
  for (int i = 0; i < 6; ++i)
    t[i] = (key >> (20 - 4 * i)) & 0xF;
  for (int e1 = 1; e1 <= 6; ++e1) {
    int e[8] = {e1}, sum = e1;
    bool ok = true;
    for (int i = 1; i < 7; ++i) {
      e[i] = t[i - 1] - e[i - 1];
      ok = ok && e[i] >= 1 && e[i] <= 6;
      sum += e[i];
    }
    e[7] = 17 - sum;
    if (!ok || e[7] < 1 || e[7] > 6)
      continue;
    std::vector<uint8_t> bits;
    for (int i = 0; i < 8; ++i)
      bits.insert(bits.end(), e[i], i % 2 == 0);
    if (characterKey(bits.data()) != key)
      continue;
    std::copy(bits.begin(), bits.end(), m.bits[r].begin() + 17 * (c + 1));
    return;
  }
  FAIL() << "no elements for value " << v;
}

TEST_F(ReaderTest, ASymbolWithoutAReadableStopStillReads)
{
  const std::string payload = "NO STOP PATTERN 0123456789";
  Modules m = symbolOf(payload, 3, 4);
  for (auto& row : m.bits)
    std::fill(row.end() - 18, row.end(), 0);
  Zone z;
  drawZone(m, 2.0, 0, z);
  EXPECT_EQ(read(z), payload);
}

// Shapes that print by others takes: one data column (with and without a stop), a symbol upside
// down (its rows bottom up), one cut at its foot (rows the indicators count but the zone lacks,
// corrected as erasures), and rows of 4 to 4.5 pixels at modules of 1.33 to 1.5 pixels.
TEST_F(ReaderTest, ShapesOfPrintByOthersRead)
{
  enum Shape { kPlain, kNoStop, kUpsideDown, kFootCut };
  const struct {
    const char* payload;
    int level, cols;
    double x;
    Shape shape;
  } cases[] = {
      {"A", 0, 1, 2.0, kPlain},
      {"ONE COLUMN", 2, 1, 2.0, kPlain},
      {"ONE COLUMN 12345", 3, 1, 3.0, kPlain},
      {"ONE COLUMN NO STOP", 2, 1, 3.0, kNoStop},
      {"UPSIDE DOWN 0123456789", 3, 3, 2.0, kUpsideDown},
      {"ONE COLUMN UPSIDE DOWN", 2, 1, 2.0, kUpsideDown},
      {"CUT AT THE FOOT 0123456789", 3, 3, 2.0, kFootCut},
      {"ONE COLUMN CUT", 3, 1, 2.0, kFootCut},
      {"SMALL ROWS 0123456789", 3, 3, 1.5, kPlain},
      {"SMALL ROWS 0123456789", 3, 3, 1.33, kPlain},
      {"SMALL ROWS 0123456789", 3, 3, 1.4, kPlain},
      {"SMALL ROWS 0123456789 ABCDEFGHIJ", 4, 5, 1.5, kPlain},
  };
  for (const auto& c : cases) {
    Modules m = symbolOf(c.payload, c.level, c.cols);
    if (c.shape == kNoStop)
      for (auto& row : m.bits)
        std::fill(row.end() - 18, row.end(), 0);
    if (c.shape == kUpsideDown)
      std::reverse(m.bits.begin(), m.bits.end());
    if (c.shape == kFootCut) {
      m.rows -= 2;
      m.bits.resize(m.rows);
    }
    Zone z;
    drawZone(m, c.x, 0, z);
    EXPECT_EQ(read(z), c.payload) << c.cols << " columns at " << c.x << ", shape " << c.shape;
  }
}

// A printed rule across the whole zone, above or below the symbol and clear of it, is no row
// of it; nor is the paper between them.
TEST_F(ReaderTest, RulesAcrossTheZoneAreNoRows)
{
  const std::string payload = "RULED FORM 0123456789";
  Zone plain;
  drawZone(symbolOf(payload, 3, 3), 2.0, 0, plain);
  const int pad = 24, w = plain.image.width, h = plain.image.height;
  const struct {
    bool above;
    int gap, thickness;
  } cases[] = {{true, 3, 1}, {true, 5, 2}, {true, 12, 3}, {true, 20, 6}, {false, 5, 2}, {false, 12, 3}};
  for (const auto& c : cases) {
    pvk::corpus::Image im = plain.image;
    im.height = h + 2 * pad;
    im.pixels.assign(static_cast<size_t>(w) * im.height, plain.image.pixels[0]);
    std::copy(plain.image.pixels.begin(), plain.image.pixels.end(), im.row(pad));
    int first = pad, last = pad + h - 1;  // the symbol's first and last inked lines
    while (*std::min_element(im.row(first), im.row(first) + w) > 128)
      ++first;
    while (*std::min_element(im.row(last), im.row(last) + w) > 128)
      --last;
    const int y0 = c.above ? first - c.gap - c.thickness : last + 1 + c.gap;
    for (int y = y0; y < y0 + c.thickness; ++y)
      std::fill(im.row(y), im.row(y) + w, 0);
    Zone z;
    z.take(std::move(im));
    EXPECT_EQ(read(z), payload) << (c.above ? "above" : "below") << ", gap " << c.gap << ", " << c.thickness;
  }
}

// Rows lower than the line differences can part (one module, 1.5 to 2.5 pixels) are read line
// by line, each line going to the row its indicator names; so is a print seen in perspective
// (its right edge a fifth shorter, its rows sloping each their own way) where its rows fail.
TEST_F(ReaderTest, LowOrSlopingRowsReadLineByLine)
{
  const std::string payload = "LINE BY LINE 0123456789 ABCDEFGHIJ";
  const struct {
    double x;
    float rowModules;
    double shrink;  // the right edge's height over the left's
  } cases[] = {{2.0, 1.0f, 1}, {1.5, 1.0f, 1}, {2.5, 1.0f, 1}, {2.0, 3.0f, 0.8}};
  for (const auto& c : cases) {
    Zone z;
    drawZone(symbolOf(payload, 3, 4), c.x, 0, z, 300, c.rowModules);
    if (c.shrink < 1) {
      pvk::corpus::Image& im = z.image;
      const float w = static_cast<float>(im.width), h = static_cast<float>(im.height), d = static_cast<float>(h * (1 - c.shrink) / 2);
      const cv::Point2f from[4] = {{0, 0}, {w, 0}, {w, h}, {0, h}}, to[4] = {{0, 0}, {w, d}, {w, h - d}, {0, h}};
      cv::Mat src(im.height, im.width, CV_8UC1, im.pixels.data()), out;
      cv::warpPerspective(src, out, cv::getPerspectiveTransform(from, to), src.size(), cv::INTER_LINEAR,
                          cv::BORDER_CONSTANT, cv::Scalar(im.pixels[0]));
      std::copy(out.datastart, out.dataend, im.pixels.begin());
    }
    EXPECT_EQ(read(z), payload) << c.x << " px, rows of " << c.rowModules << ", right edge " << c.shrink;
  }
}

// Degraded corpus symbols whose rows the straightened lines read short: the reading line by
// line, or the second reading (rows laid by the indicators' count, incomplete rows read along
// sloping lines), reads them. The last is turned 4 degrees, blurred and noisy: its start pattern
// shows as ink on paper only once the zone is straightened.
TEST_F(ReaderTest, RowsReadShortAreReadAgainAlongSlopes)
{
  using pvk::corpus::Symbology;
  const std::vector<pvk::corpus::SymbolSpec> specs = pvk::corpus::specsFor(Symbology::Pdf417, 6, 1);
  const std::vector<pvk::corpus::SymbolSpec> more = pvk::corpus::specsFor(Symbology::Pdf417, 8, 77);
  const struct {
    const pvk::corpus::SymbolSpec& spec;
    int dpi;
    double mils;
    int level;
    uint32_t seed;
  } cases[] = {{specs[1], 200, 15, 3, 100054},
               {specs[2], 200, 20, 4, 100090},
               {specs[5], 300, 20, 4, 100165},
               {more[1], 300, 15, 4, 7700055}};
  for (const auto& c : cases) {
    pvk::corpus::DrawSpec d;
    d.dpi = c.dpi;
    d.xMils = c.mils;
    pvk::corpus::Sample sample;
    ASSERT_TRUE(pvk::corpus::makeSample(c.spec, d, c.level, c.seed, sample));
    Zone z;
    z.take(std::move(sample.image));
    EXPECT_EQ(read(z), sample.truth) << sample.id;
  }
}

// Level information of 9 (q / 3 with q up to 29) is not taken: the right indicators still
// give the level; with every level indicator at 9 the symbol is not read, and nothing breaks.
TEST_F(ReaderTest, IndicatorLevelNineIsNotTaken)
{
  const std::string payload = "LEVEL NINE";
  Modules m = symbolOf(payload, 2, 3);
  auto levelNine = [&](int r) { return 30 * (r / 3) + 27 + (m.rows - 1) % 3; };
  for (int r = 1; r < m.rows; r += 3)
    putCharacter(m, r, 0, levelNine(r));
  Zone z;
  drawZone(m, 2.0, 0, z);
  EXPECT_EQ(read(z), payload);
  for (int r = 2; r < m.rows; r += 3)
    putCharacter(m, r, m.cols + 1, levelNine(r));
  drawZone(m, 2.0, 0, z);
  EXPECT_EQ(read(z), "");
}

// The corpus's negative set (blank paper, noise, printed text, guilloche, ruled lines) and
// linear barcodes read nothing.
TEST_F(ReaderTest, NegativesAndLinearBarcodesReadNothing)
{
  int falsePositives = 0;
  for (auto& sample : pvk::corpus::negativeSet(2, 600, 150, 300, 28)) {
    Zone z;
    z.take(std::move(sample.image));
    falsePositives += !read(z).empty();
  }
  for (auto sym : {pvk::corpus::Symbology::Code128, pvk::corpus::Symbology::Ean13,
                   pvk::corpus::Symbology::Code39}) {
    for (const auto& spec : pvk::corpus::specsFor(sym, 2, 5)) {
      pvk::corpus::Sample sample;
      pvk::corpus::DrawSpec d;
      ASSERT_TRUE(pvk::corpus::makeSample(spec, d, 0, 1, sample));
      Zone z;
      z.take(std::move(sample.image));
      falsePositives += !read(z).empty();
    }
  }
  EXPECT_EQ(falsePositives, 0);
}

TEST_F(ReaderTest, BadBuffersAndTinyImages)
{
  Modules m = symbolOf("GUARD", 2, 2);
  Zone z;
  drawZone(m, 2.0, 0, z);
  char text[16], conf[16];
  EXPECT_EQ(ReadPdf(z.img, nullptr, conf, 16), -1);
  EXPECT_EQ(MyDev.lastResult, -3);
  EXPECT_EQ(ReadPdf(z.img, text, nullptr, 16), -1);
  PVKImg none = z.img;
  none.data = nullptr;
  EXPECT_EQ(ReadPdf(none, text, conf, 16), -1);
  PVKImg tiny = z.img;
  tiny.width = 100;
  EXPECT_EQ(ReadPdf(tiny, text, conf, 16), 0);
  EXPECT_EQ(CalcolaAngoloPDF(nullptr, 0, 200), 0.0f);
  EXPECT_TRUE(traced("unexpected null pointer in evaluating PDF rotation"));
  // The text and its terminator must fit: "GUARD" needs 6 bytes; nothing past maxChars.
  for (unsigned short max = 1; max <= 8; ++max) {
    std::memset(text, 'G', sizeof text);
    std::memset(conf, 'G', sizeof conf);
    int n = ReadPdf(z.img, text, conf, max);
    EXPECT_EQ(n, max >= 6 ? 5 : 0) << max;
    for (int i = max; i < 16; ++i) {
      ASSERT_EQ(text[i], 'G') << max;
      ASSERT_EQ(conf[i], 'G') << max;
    }
  }
}

// Cerca_Pdf417 on the straightened image: the width limits and the row counts it takes.
TEST_F(ReaderTest, SearchLimitsOfWidthAndRows)
{
  Modules m = symbolOf("LIMITS", 1, 2);
  Zone z;
  drawZone(m, 1.0, 0, z);
  ASSERT_LE(z.img.width, 150);
  std::vector<uint8_t> wide(4000 * static_cast<size_t>(z.img.height), 0);
  // Inverted, as the cleaned image the search works on: bars bright.
  for (int y = 0; y < z.img.height; ++y)
    for (int x = 0; x < z.img.width; ++x)
      wide[y * 4000 + x] = 255 - z.img.data[y * z.img.stride + x];
  datiRigheType rows[100];
  for (int r = 0; r < 100; ++r)
    rows[r] = {10 + 3 * r, 13 + 3 * r, 3};
  char text[64], conf[64];
  auto search = [&](int width, int nRows) {
    PVKImg img{static_cast<uint16_t>(width), z.img.height, 4000, 300, wide.data()};
    bool start = false;
    int n = Cerca_Pdf417(&img, rows, nRows, text, conf, start, 64);
    EXPECT_GE(n, 0);
    return start;
  };
  EXPECT_FALSE(search(149, 12));
  EXPECT_TRUE(search(150, 12));
  EXPECT_TRUE(search(3888, 12));
  EXPECT_FALSE(search(3889, 12));
  EXPECT_FALSE(search(150, 2));
  EXPECT_TRUE(search(150, 3));
  EXPECT_TRUE(search(150, 90));
  EXPECT_FALSE(search(150, 91));
  bool start = false;
  EXPECT_EQ(Cerca_Pdf417(&z.img, nullptr, 12, text, conf, start, 64), -1);
}

// A zone far wider than the search takes still reads: the limit applies to the cropped symbol.
TEST_F(ReaderTest, AWideZoneHoldingAnOrdinarySymbolReads)
{
  Modules m = symbolOf("WIDE ZONE", 2, 4);
  Zone z;
  drawZone(m, 2.0, 0, z);
  pvk::corpus::Image wide;
  wide.width = 4200;
  wide.height = z.image.height;
  wide.pixels.assign(4200 * static_cast<size_t>(wide.height), z.image.pixels[0]);
  for (int y = 0; y < wide.height; ++y)
    std::memcpy(wide.row(y) + 1500, z.image.row(y), z.image.width);
  Zone w;
  w.take(std::move(wide));
  EXPECT_EQ(read(w), "WIDE ZONE");
}

// More than 63 columns between a start and a stop pattern: nothing is read.
TEST_F(ReaderTest, MoreThan63ColumnsAreRefused)
{
  Modules m = symbolOf("A", 0, 1);
  Modules big = m;
  for (int r = 0; r < m.rows; ++r) {
    std::vector<uint8_t> row(m.bits[r].begin(), m.bits[r].begin() + 34);
    for (int c = 0; c < 64; ++c)
      row.insert(row.end(), m.bits[r].begin() + 34, m.bits[r].begin() + 51);
    row.insert(row.end(), m.bits[r].end() - 35, m.bits[r].end());
    big.bits[r] = row;
  }
  big.width = static_cast<int>(big.bits[0].size());
  Zone z;
  drawZone(big, 1.0, 0, z);
  EXPECT_EQ(read(z), "");
}

// The start pattern's code takes a stroke of a module followed by a wide space for its bar and
// last space, as printed text gives them; the search takes only a first bar of at least half
// the pattern's 8 modules (of 17) and a last space of at most twice its 3. Runs in samples.
TEST_F(ReaderTest, AStartPatternKeepsItsShape)
{
  const struct {
    int runs[8];
    bool found;
  } cases[] = {
      {{32, 4, 4, 4, 4, 4, 4, 12}, true},   // as printed, 4 samples a module
      {{35, 1, 7, 1, 7, 1, 7, 9}, true},    // spread by three quarters of a module
      {{20, 18, 6, 6, 6, 6, 6, 17}, true},         // bar 20 of 85: 4 modules of 17
      {{19, 19, 6, 6, 6, 6, 6, 17}, false},        // a sample less
      {{88, 11, 11, 11, 11, 11, 11, 84}, true},    // last space 84 of 238: 6 modules of 17
      {{88, 11, 11, 11, 11, 11, 11, 85}, false},   // a sample more
      {{4, 4, 4, 4, 4, 4, 4, 40}, false},   // a stroke of text
  };
  for (const auto& c : cases) {
    std::vector<int> e(400, 0);
    for (int k = 0, at = 10; k <= 8; at += k < 8 ? c.runs[k] : 0, ++k)
      e[at] = k % 2 ? -100 : 100;
    int runs[8], span = 0;
    ASSERT_EQ(decodPdf417(const_cast<int*>(c.runs), 0, 1, 0), 1000) << c.runs[0];
    EXPECT_EQ(pvk::symbols::pdfFindStart(e.data(), 400, 0, 50, 25, runs, span) == 10, c.found) << c.runs[0];
  }
}


// A zone is straightened only when enough of its lines, each read on its own, cross a start or
// stop pattern: sums of neighbouring runs rounded to 17ths of the pattern, which is at least as
// wide as the least codeword (16 pixels) and brighter than the faintest level (32). Runs in
// pixels, a bar first; a bar follows the last, on 8 lines.
TEST_F(ReaderTest, LinesCrossingAStartOrStopPatternAreCounted)
{
  const struct {
    int runs[8];
    int grey, enough, lines;
  } cases[] = {
      {{16, 2, 2, 2, 2, 2, 2, 6}, 255, 20, 8},   // start, 2 pixels a module
      {{14, 2, 2, 6, 2, 2, 2, 4}, 255, 20, 8},   // stop
      {{34, 2, 6, 2, 6, 2, 6, 10}, 255, 20, 8},  // start, bars spread by half a module of 4
      {{32, 5, 3, 4, 4, 4, 4, 12}, 255, 20, 8},  // an edge a quarter of a module off
      {{32, 6, 2, 4, 4, 4, 4, 12}, 255, 20, 0},  // half a module: a bar and space of 9.5, not 9
      {{7, 1, 1, 1, 1, 1, 1, 3}, 255, 20, 8},    // 16 pixels
      {{6, 1, 1, 1, 1, 1, 1, 2}, 255, 20, 0},    // 14 pixels (none of 15 rounds right)
      {{16, 2, 2, 2, 2, 2, 2, 6}, 33, 20, 8},
      {{16, 2, 2, 2, 2, 2, 2, 6}, 32, 20, 0},
      {{16, 2, 2, 2, 2, 2, 2, 6}, 255, 5, 5},    // counted as far as enough
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> pixels(8 * 120, 0);
    for (int y = 0; y < 8; ++y)
      for (int k = 0, x = 10; k < 9; x += k < 8 ? c.runs[k] : 0, ++k)
        if (k % 2 == 0)
          std::fill_n(pixels.begin() + y * 120 + x, k < 8 ? c.runs[k] : 4, static_cast<uint8_t>(c.grey));
    const PVKImg img{120, 8, 120, 300, pixels.data()};
    EXPECT_EQ(pvk::symbols::pdfPatternLines(img, c.enough), c.lines) << c.runs[0] << " " << c.runs[1] << " " << c.grey;
  }
}

}  // namespace
