// Multi-line zones on real pixels: DataMatrix symbols (each first read by ZXing-cpp) stacked in
// rows and set side by side in one zone, read through the line splitter: rows joined by CR LF,
// blocks by one blank, the capacity running out between rows and blocks, the stop request, and
// the best row for zones read as a single line. Then one symbol that the column search parts, a
// narrow barcode parted from other print, and the symbol zones of the demo cheque.
#include <ZXing/ReadBarcode.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ocr/ocr.h"
#include "reading/reading.h"
#include "demo_cheque.h"
#include "reading_fixture.h"
#include "symbol_corpus.h"
#include "zone_corpus.h"

namespace {

using pvk::testing::countOf;
namespace corpus = pvk::corpus;

// A symbol drawn at 300 dpi with the encoder's size and shape options, first read by ZXing-cpp.
cv::Mat symbolPicture(corpus::Symbology s, const std::string& data, double xMils, int size = 0, int shape = 0,
                      int barHeightPx = 0) {
  corpus::SymbolSpec spec;
  spec.symbology = s;
  spec.data = data;
  spec.option2 = size;
  spec.option3 = shape;
  corpus::DrawSpec draw;
  draw.xMils = xMils;
  draw.barHeightPx = barHeightPx;
  corpus::Sample sample;
  EXPECT_TRUE(corpus::makeSample(spec, draw, 0, 1, sample)) << data;
  cv::Mat m = cv::Mat(sample.image.height, sample.image.width, CV_8UC1, sample.image.pixels.data()).clone();
  const ZXing::Result r = ZXing::ReadBarcode(ZXing::ImageView(m.data, m.cols, m.rows, ZXing::ImageFormat::Lum), {});
  EXPECT_EQ(std::string(r.bytes().begin(), r.bytes().end()), data);
  return m;
}

// 225-pixel symbols: a row of one passes the DataMatrix minimum.
cv::Mat dataMatrix(const std::string& data) { return symbolPicture(corpus::Symbology::DataMatrix, data, 25); }

class ZoneSplit : public pvk::testing::ReadingFixture {
 protected:
  void SetUp() override {
    ReadingFixture::SetUp();
    MyAcq.colourLines = 1;
    MyAcq.planesPerLine = 1;
  }
  // A white zone image at 300 dpi with the symbols at their places; kept by the fixture.
  PVKImg zoneOf(const std::vector<std::pair<cv::Point, std::string>>& symbols, int w = 700, int h = 820) {
    std::vector<std::pair<cv::Point, cv::Mat>> pictures;
    for (const auto& [at, data] : symbols) pictures.emplace_back(at, dataMatrix(data));
    return zoneWith(pictures, w, h);
  }
  PVKImg zoneWith(const std::vector<std::pair<cv::Point, cv::Mat>>& pictures, int w, int h) {
    zone_ = cv::Mat(h, w, CV_8UC1, cv::Scalar(255));
    for (const auto& [at, s] : pictures) s.copyTo(zone_(cv::Rect(at.x, at.y, s.cols, s.rows)));
    return PVKImg{static_cast<uint16_t>(w), static_cast<uint16_t>(h), static_cast<uint16_t>(zone_.step), 300, zone_.data};
  }
  // Zone-corpus lines of a font stacked `gap` rows apart on white; kept by the fixture.
  PVKImg stacked(short font, int dpi, const std::vector<std::string>& texts, int gap, uint64_t seed,
                 const pvk::zonecorpus::Conditions* cond = nullptr) {
    std::vector<cv::Mat> lines;
    int rows = 0, cols = 0;
    for (const std::string& text : texts) {
      pvk::zonecorpus::ZoneRequest r;
      r.font = font;
      r.dpi = dpi;
      r.text = {text};
      r.seed = seed;
      if (cond) r.cond = *cond;
      pvk::zonecorpus::Zone z = pvk::zonecorpus::makeZone(r);
      MyOcr.typeDoc = z.typeDoc;
      lines.push_back(cv::Mat(z.image.height, z.image.width, CV_8UC1, z.image.pixels.data(), z.image.stride).clone());
      rows += lines.back().rows + gap;
      cols = std::max(cols, lines.back().cols);
    }
    zone_ = cv::Mat(rows - gap, cols, CV_8UC1, cv::Scalar(255));
    int y = 0;
    for (const cv::Mat& l : lines) {
      l.copyTo(zone_(cv::Rect(0, y, l.cols, l.rows)));
      y += l.rows + gap;
    }
    return PVKImg{static_cast<uint16_t>(zone_.cols), static_cast<uint16_t>(zone_.rows), static_cast<uint16_t>(zone_.step),
                  static_cast<uint16_t>(dpi), zone_.data};
  }
  // Splits with buffers of exactly maxChars bytes (the sanitizer sees any byte beyond).
  std::string split(PVKImg img, unsigned short maxChars, short option = 0, int* n = nullptr, short font = 36) {
    std::vector<char> text(maxChars), conf(maxChars);
    std::vector<ChInfo> info(maxChars);
    PVKOCRZone zone{0, 0, img.width, img.height, 1, font, option, 0};
    MyOcr.modeByte = option != 0;
    MyOcr.currentFont = font;  // as the dispatch leaves them
    MyOcr.dmDpi = img.dpi;
    const int count = Vx3OCRSpezzaInZone(img, &zone, text.data(), conf.data(), info.data(), maxChars, img.width);
    if (n) *n = count;
    if (count <= 0) return "";
    for (int i = 0; i < count; ++i) EXPECT_TRUE(font == 36 ? conf[i] == 100 : conf[i] >= 1) << i;
    boxes_.assign(info.begin(), info.begin() + count);
    return std::string(text.data(), count);
  }

  cv::Mat zone_;
  std::vector<ChInfo> boxes_;
};

const std::vector<std::pair<cv::Point, std::string>> kThreeRows = {
    {{60, 20}, "ROW-1"}, {{60, 300}, "ROW-2"}, {{60, 580}, "ROW-3"}};

TEST_F(ZoneSplit, RowsAreJoinedByCrLf) {
  EXPECT_EQ(split(zoneOf(kThreeRows), 64), "ROW-1\r\nROW-2\r\nROW-3");
  EXPECT_EQ(MyDev.lastResult, 0);
}

// A row of the zone that reads as nothing adds no line, with blanks kept or not: one block, or
// two side by side that are read whole, of 3-pixel cells of random ink (too fine for the column
// search to part, and no symbol).
TEST_F(ZoneSplit, ARowThatReadsNothingAddsNoLine) {
  auto noise = [](uint64_t seed) {
    cv::Mat cells(75, 75, CV_8UC1), m;
    cv::RNG(seed).fill(cells, cv::RNG::UNIFORM, 0, 2);
    cv::resize(cells * 255, m, {}, 3, 3, cv::INTER_NEAREST);
    return m;
  };
  const cv::Mat top = dataMatrix("TOP-1"), bottom = dataMatrix("BOT-2");
  for (bool twoBlocks : {false, true})
    for (short option : {0, 1}) {
      SCOPED_TRACE(testing::Message() << (twoBlocks ? "two blocks" : "one block") << ", option " << option);
      std::vector<std::pair<cv::Point, cv::Mat>> pictures = {{{60, 20}, top}, {{60, 580}, bottom}};
      pictures.emplace_back(cv::Point(twoBlocks ? 20 : 60, 300), noise(7));
      if (twoBlocks) pictures.emplace_back(cv::Point(440, 300), noise(8));
      MyDev.lastResult = 0;
      EXPECT_EQ(split(zoneWith(pictures, 700, 820), 64, option), "TOP-1\r\nBOT-2");
      EXPECT_EQ(MyDev.lastResult, 0);
    }
}

TEST_F(ZoneSplit, BlocksOfARowAreJoinedByOneBlankWithTheOption) {
  const PVKImg img = zoneOf({{{20, 30}, "LEFT1"}, {{440, 30}, "RIGHT"}}, 700, 290);
  EXPECT_EQ(split(img, 64, 1), "LEFT1 RIGHT");
  EXPECT_EQ(split(img, 64, 0), "LEFT1RIGHT");
}

TEST_F(ZoneSplit, SwitchOneKeepsOneRow) {
  MyOcr.multiLine = 1;
  EXPECT_EQ(split(zoneOf(kThreeRows), 64), "ROW-1") << "equal means: the first row stays";
}

TEST_F(ZoneSplit, CapacityRunsOutBetweenRows) {
  const std::vector<std::pair<cv::Point, std::string>> rows = {{{60, 20}, "ABC"}, {{60, 300}, "DEF"}, {{60, 580}, "GHI"}};
  const PVKImg img = zoneOf(rows);
  // 9 bytes: ABC CR LF DEF leaves one byte, too few for the next CR LF: warning 7.
  MyDev.lastResult = 0;
  int n = 0;
  EXPECT_EQ(split(img, 9, 0, &n), "ABC\r\nDEF");
  EXPECT_EQ(n, 8);
  EXPECT_EQ(MyDev.lastResult, PVK_WAR_OCR_TRUNCATED);
  EXPECT_EQ(countOf(trace(), "war -  too many chars E\r\n"), 1);
  // 10 bytes: the second CR LF takes the last two; the third row meets no room and is not read
  // (a reader at one past the buffer would write there), and its loss is told.
  MyDev.lastResult = 0;
  EXPECT_EQ(split(img, 10), "ABC\r\nDEF");
  EXPECT_EQ(MyDev.lastResult, PVK_WAR_OCR_TRUNCATED);
}

TEST_F(ZoneSplit, BoxesComeBackInZoneCoordinates) {
  const PVKImg img = zoneOf({{{40, 60}, "L"}, {{500, 400}, "R"}}, 900, 800);
  MyOcr.modeByte = 0;
  ASSERT_EQ(split(img, 32), "L\r\nR");
  ASSERT_EQ(boxes_.size(), 4u);
  EXPECT_EQ(boxes_[1].left, 0) << "inserted characters carry no box";
  // DataMatrix readings carry no box of their own: what the zone adds is the block's place.
  EXPECT_GE(boxes_[3].left, 400);
  EXPECT_GE(boxes_[3].top, 200);
}

// The whole road: the rows read through the one-zone reader, line ends kept, or turned into
// blanks by per-document switch 5.
TEST_F(ZoneSplit, TheOneZoneReaderKeepsOrRemovesLineEnds) {
  zoneOf(kThreeRows);
  setSide(1, zone_);
  ASSERT_TRUE(Vx3CreateOCRImage(1, nullptr, 0));
  for (uint8_t remove : {0, 1}) {
    MyOcr.removeCrLf = remove;
    char text[64], conf[64];
    PVKOCRZone zone{0, 0, 0, 0, 1, 36, 0, 0};  // the whole side
    ASSERT_TRUE(Vx3Read1Zone(&MyOcr.ocrImg[1], &zone, 0, sizeof text, text, conf, nullptr));
    EXPECT_STREQ(text, remove ? "ROW-1 ROW-2 ROW-3" : "ROW-1\r\nROW-2\r\nROW-3");
    EXPECT_EQ(zone.charsRead, std::strlen(text));
    EXPECT_EQ(conf[zone.charsRead], '\0');
  }
}

// Two OCR-B rows of 5 (each drawn by the zone corpus, stacked 80 rows apart): joined by CR LF;
// in 10 bytes the first row, CR LF and what of the second fits, with warning 7.
TEST_F(ZoneSplit, OcrRowsMeetTheCapacity) {
  std::snprintf(MyOcr.dbDir, sizeof MyOcr.dbDir, "%s", PVK_FONT_DB_DIR "/");
  const PVKImg img = stacked(3, 300, {"AB123", "CD456"}, 80, 3);
  MyOcr.multiLine = 0;
  EXPECT_EQ(split(img, 64, 0, nullptr, 3), "AB123\r\nCD456");
  EXPECT_EQ(MyDev.lastResult, 0);
  int n = 0;
  EXPECT_EQ(split(img, 10, 0, &n, 3), "AB123\r\nCD");
  EXPECT_EQ(n, 9);
  EXPECT_EQ(MyDev.lastResult, PVK_WAR_OCR_TRUNCATED);
  EXPECT_EQ(countOf(trace(), "war -  too many chars E\r\n"), 1);
}

TEST_F(ZoneSplit, AStopEndsTheZone) {
  const PVKImg img = zoneOf(kThreeRows);
  pvk::core::requestStop(true);
  int n = -1;
  EXPECT_EQ(split(img, 64, 0, &n), "");
  pvk::core::requestStop(false);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(MyDev.lastResult, PVK_ERR_ABORTED);
}

// The columns the column search finds in a one-row symbol zone (arguments of the 2D symbol fonts).
int columnsOf(const PVKImg& img) {
  std::vector<ClmnType> cols(kMaxColonne);
  return CercaColBase(img, cols.data(), 8, 8, 8, 150, 16);
}

// One symbol in a zone, switch 1 clear as for a document's zones. A light stretch across every
// row of it (the 3-module space after a 10-mil PDF417 start pattern, a light module column of a
// DataMatrix) parts it like symbols side by side; no piece reads, so the row is read whole. The
// row band leaves the DataMatrix locator a tight margin.
TEST_F(ZoneSplit, OneSymbolReadsThroughTheRowAndColumnSearches) {
  using S = corpus::Symbology;
  constexpr int k8x32 = 26, kSquare = 100;  // the encoder's DataMatrix size and shape options
  struct Case {
    S symbology;
    double mils;
    int size, shape;
    bool parted, reads;
  } const cases[] = {
      {S::Pdf417, 10, 0, 0, true, true},
      {S::Pdf417, 15, 0, 0, true, true},
      {S::DataMatrix, 20, k8x32, 0, true, true},  // 48 pixels high, parted by the column search
      {S::DataMatrix, 25, k8x32, 0, false, true},
      {S::DataMatrix, 20, 0, kSquare, false, true},
      {S::DataMatrix, 30, 0, kSquare, false, true},  // data modules dark beside the finder
  };
  const std::string data = "DM-DEMO-2026";
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << corpus::symbologyName(c.symbology) << " " << c.mils << " mil");
    const cv::Mat s = symbolPicture(c.symbology, data, c.mils, c.size, c.shape);
    const PVKImg img = zoneWith({{{30, 30}, s}}, s.cols + 60, s.rows + 60);
    EXPECT_EQ(columnsOf(img) > 1, c.parted);
    const short font = c.symbology == S::Pdf417 ? 8 : 36;
    for (short option : {0, 1}) EXPECT_EQ(split(img, 64, option, nullptr, font), c.reads ? data : "") << option;
  }
}

// Rows of parted symbols are each read whole and joined by CR LF as any rows.
TEST_F(ZoneSplit, PartedSymbolRowsAreJoinedByCrLf) {
  const cv::Mat a = symbolPicture(corpus::Symbology::Pdf417, "FIRST ROW 0001", 10);
  const cv::Mat b = symbolPicture(corpus::Symbology::Pdf417, "SECOND ROW 0002", 10);
  const PVKImg img = zoneWith({{{30, 30}, a}, {{30, a.rows + 90}, b}}, std::max(a.cols, b.cols) + 60, a.rows + b.rows + 120);
  EXPECT_EQ(split(img, 64, 1, nullptr, 8), "FIRST ROW 0001\r\nSECOND ROW 0002");
  EXPECT_EQ(MyDev.lastResult, 0);
  // Room for the first row and its CR LF only: the second row is not read (its reader would
  // write past the buffer) and the line end goes.
  EXPECT_EQ(split(img, 16, 0, nullptr, 8), "FIRST ROW 0001");
}

// An Interleaved 2 of 5 narrower than the least barcode zone, and a few bars of other print
// past its quiet zone: from some height on the column search parts the two, and the symbol's
// block reads though it is no zone a host could draw.
TEST_F(ZoneSplit, ANarrowBarcodePartedFromOtherPrintReads) {
  const std::string data = "00123456";
  for (int height : {16, 40, 80, 160}) {
    for (bool tail : {false, true}) {
      SCOPED_TRACE(testing::Message() << height << " rows, tail " << tail);
      const cv::Mat s = symbolPicture(corpus::Symbology::I2of5, data, 6, 0, 0, height);
      cv::Mat bars(s.rows, 20, CV_8UC1, cv::Scalar(255));
      if (tail)
        for (int x : {0, 8, 16}) bars.colRange(x, x + 4).setTo(0);
      const PVKImg img = zoneWith({{{0, 0}, s}, {{s.cols + 40, 0}, bars}}, s.cols + 100, s.rows);
      EXPECT_EQ(split(img, 64, 0, nullptr, 301), data);
    }
  }
}

// The demo cheque's symbol zones, cut from its front as the zone loop cuts them.
TEST_F(ZoneSplit, TheDemoChequeSymbolZonesRead) {
  const pvk::democheque::Cheque c = pvk::democheque::makeCheque(202);
  const cv::Mat front(c.height, c.width, CV_8UC1, const_cast<uint8_t*>(c.front.data()));
  for (const pvk::democheque::Item& it : c.items) {
    if (it.font != 8 && it.font != 36) continue;
    zone_ = front(cv::Rect(it.left, it.top, it.width, it.height)).clone();
    const PVKImg img{static_cast<uint16_t>(zone_.cols), static_cast<uint16_t>(zone_.rows),
                     static_cast<uint16_t>(zone_.step), 300, zone_.data};
    EXPECT_EQ(split(img, 64, 0, nullptr, it.font), it.text) << it.what;
  }
}

}  // namespace

// OCR-A rows at 200 dpi in mild print (each drawn by the zone corpus, stacked 40 rows apart)
// whose first character has light, horizontal-only strokes at its left (3, 7) or is a lone bar
// (1): the first row reads whole, its first character included, as the same row read alone does.
TEST_F(ZoneSplit, TheFirstCharacterOfARowIsNotCut) {
  std::snprintf(MyOcr.dbDir, sizeof MyOcr.dbDir, "%s", PVK_FONT_DB_DIR "/");
  const std::vector<std::pair<std::string, std::string>> zones = {
      {"305146", "796109"}, {"702195", "3917"}, {"1039407", "36251"}};
  for (uint64_t seed = 1; seed <= 3; ++seed) {
    for (const auto& [first, second] : zones) {
      const pvk::zonecorpus::Conditions mild = pvk::zonecorpus::mild(seed);
      const PVKImg img = stacked(2, 200, {first, second}, 40, seed, &mild);
      MyOcr.multiLine = 0;
      const std::string read = split(img, 64, 0, nullptr, 2);
      EXPECT_EQ(read.substr(0, read.find('\r')), first) << "seed " << seed;
    }
  }
}
