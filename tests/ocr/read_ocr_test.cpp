// The zone reader end to end on zones drawn by the zone corpus: the limits of its arguments and of
// the zone size, every way out leaving the engine empty, the stop request, a neighbouring line cut
// by the zone's edge, light print read far from the first threshold, the rows and band
// splits it is built on, the weak characters of a band and the final trims.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "ocr_lines_fixture.h"
#include "zone_corpus.h"

namespace pvk::test {
namespace {

using namespace pvk::zonecorpus;

struct Result {
  int r = 0;
  std::string text, conf;
  std::vector<ChInfo> info;
};

class ReadOcr : public OcrLinesTest {
 protected:
  void TearDown() override {
    pvk::ocr::zoneAllocFailAfter = -1;
    pvk::ocr::zoneStopAfterPasses = -1;
    pvk::core::requestStop(false);
    OcrLinesTest::TearDown();
  }
  static Zone zone(short font, const std::vector<std::string>& lines, int dpi = 300, uint16_t typeDoc = 0) {
    ZoneRequest r;
    r.font = font;
    r.typeDoc = typeDoc;
    r.dpi = dpi;
    r.lines = static_cast<int>(lines.size());
    r.text = lines;
    r.seed = 7;
    Zone z = makeZone(r);
    MyOcr.typeDoc = typeDoc;
    return z;
  }
  // Reads img into buffers of maxChars entries; bytes past them must stay untouched.
  static Result read(PVKImg img, short font, int maxChars = 200, bool withInfo = true) {
    constexpr int kGuard = 16;
    std::vector<char> text(maxChars + kGuard, '#'), conf(maxChars + kGuard, '#');
    std::vector<ChInfo> info(maxChars + kGuard);
    for (ChInfo& c : info) c.agreement = 0xBEEF;
    Result out;
    out.r = ReadOCR(img, text.data(), conf.data(), withInfo ? info.data() : nullptr, font,
                    static_cast<unsigned short>(maxChars));
    for (int k = maxChars; k < maxChars + kGuard; ++k) {
      EXPECT_EQ(text[k], '#') << "text written past " << maxChars;
      EXPECT_EQ(conf[k], '#') << "conf written past " << maxChars;
      EXPECT_EQ(info[k].agreement, 0xBEEF) << "info written past " << maxChars;
    }
    EXPECT_EQ(nDBLoaded, 0) << "the database list is cleared on every way out";
    EXPECT_EQ(BWImg, nullptr);
    if (out.r > 0) {
      out.text.assign(text.data(), out.r);
      out.conf.assign(conf.data(), out.r);
      out.info.assign(info.begin(), info.begin() + out.r);
    }
    return out;
  }
};

TEST_F(ReadOcr, ReadsOneAndTwoLineZones) {
  Zone one = zone(4, {"12345 678"});
  Result r = read(one.image.view(), 4);
  EXPECT_EQ(r.text, "12345678");
  EXPECT_EQ(r.r, 8);

  Zone two = zone(3, {"AB 123", "CD 456"});
  MyOcr.multiLine = 0;  // font 3 keeps the switch as the last set-up left it
  r = read(two.image.view(), 3);
  ASSERT_EQ(r.text, "AB123\r\nCD456");
  EXPECT_EQ(r.conf.substr(5, 2), "dd") << "CR LF carry confidence 100";
  for (int k : {0, 1, 2, 3, 4, 7, 8, 9, 10, 11}) EXPECT_GE(static_cast<unsigned char>(r.conf[k]), 1) << k;
  EXPECT_LT(r.info[0].bottom, r.info[7].top) << "boxes are zone rows, the second line below the first";

  // typeDoc 5 always asks for further cycles, so the first band is read again cleared outside
  // its text: the band below it is still read whole.
  Zone twoDoc5 = zone(3, {"AB 123", "CD 456"}, 300, 5);
  MyOcr.multiLine = 0;
  r = read(twoDoc5.image.view(), 3);
  EXPECT_EQ(r.text, "AB123\r\nCD456");
  MyOcr.typeDoc = 0;

  MyOcr.multiLine = 1;
  r = read(two.image.view(), 3);
  EXPECT_TRUE(r.text == "AB123" || r.text == "CD456") << r.text;
  MyOcr.multiLine = 0;
  MyOcr.modeByte = 1;
  r = read(one.image.view(), 4);
  EXPECT_EQ(r.text, "12345 678") << "blanks kept on request";
}

// The first and last rows that hold ink.
std::pair<int, int> inkRows(const glyphs::GreyImage& g) {
  int first = -1, last = -1;
  for (int y = 0; y < g.height; ++y)
    for (int x = 0; x < g.width; ++x)
      if (g.at(x, y) < 128) {
        if (first < 0) first = y;
        last = y;
      }
  return {first, last};
}

// Rows from..to of an image, after `before` blank rows.
struct Rows {
  const glyphs::GreyImage* image;
  int from, to, before;
};

// The parts one under the other on white paper as wide as the first, `after` blank rows below.
glyphs::GreyImage stacked(std::initializer_list<Rows> parts, int after) {
  glyphs::GreyImage g = *parts.begin()->image;
  int rows = after;
  for (const Rows& p : parts) rows += p.before + p.to - p.from + 1;
  g.pixels.assign(static_cast<size_t>(g.stride) * rows, 255);
  g.height = rows;
  int y = 0;
  for (const Rows& p : parts) {
    y += p.before;
    for (int r = p.from; r <= p.to; ++r, ++y)
      std::memcpy(&g.pixels[static_cast<size_t>(y) * g.stride], &p.image->pixels[static_cast<size_t>(r) * p.image->stride],
                  static_cast<size_t>(std::min(g.width, p.image->width)));
  }
  return g;
}

// Two lines drawn close together make one band; the first cycle's reading holds
// both lines, so the band is split at the gap between them and each part read again.
TEST_F(ReadOcr, ABandHoldingTwoLinesIsReadAgainAsTwo) {
  Zone top = zone(3, {"AB 123"}), bottom = zone(3, {"CD 456"});
  // The text rows of each zone, stacked five blank rows apart: closer than the band search
  // parts lines, far enough for the segmentation to keep them apart.
  const auto [t0, t1] = inkRows(top.image);
  const auto [b0, b1] = inkRows(bottom.image);
  glyphs::GreyImage g = stacked({{&top.image, t0, t1, 12}, {&bottom.image, b0, b1, 5}}, 12);
  MyOcr.multiLine = 0;
  const Result r = read(g.view(), 3);
  EXPECT_EQ(r.text, "AB123\r\nCD456");
}

TEST_F(ReadOcr, ANeighbouringLineCutByTheZonesEdgeIsLeftOut) {
  // A zone drawn too tall reaches 3 rows past its line into most of the neighbouring one (rows
  // of it). The neighbour's characters touch the zone's edge: they are not read with the line.
  const struct {
    short font;
    const char* line;
    const char* neighbour;
    int rows;
    bool above;
  } cases[] = {
      {3, "AB 123 CD", "EF 456 GH", 31, false},
      {4, "12345 678", "90123 456", 33, false},
      {3, "EF 456 GH", "AB 123 CD", 24, true},
  };
  for (const auto& c : cases) {
    Zone line = zone(c.font, {c.line}), neighbour = zone(c.font, {c.neighbour});
    const auto [l0, l1] = inkRows(line.image);
    const auto [n0, n1] = inkRows(neighbour.image);
    glyphs::GreyImage g = c.above ? stacked({{&neighbour.image, n1 - c.rows + 1, n1, 0}, {&line.image, l0, l1, 3}}, 12)
                                  : stacked({{&line.image, l0, l1, 12}, {&neighbour.image, n0, n0 + c.rows - 1, 3}}, 0);
    MyOcr.multiLine = 0;
    std::string want = c.line;
    want.erase(std::remove(want.begin(), want.end(), ' '), want.end());
    EXPECT_EQ(read(g.view(), c.font).text, want) << c.line << (c.above ? " under " : " over ") << c.neighbour;
  }
}

TEST_F(ReadOcr, APrintReadOnlyFarFromTheFirstThresholdIsLessSure) {
  // Two characters in a zone under 500 pixels wide are read in one cycle of thresholds, here from
  // 80: a black print reads there in full. Ink at 224 on paper of 255 reads only at thresholds 35
  // and more above it, where a pass keeps at most 100 x (1 - 35 x 0.1 / 20) = 82 of a confidence.
  for (const char* text : {"12", "A7"}) {
    for (double contrast : {1.0, 0.12}) {
      ZoneRequest q;
      q.font = 3;
      q.text = {text};
      q.seed = 7;
      q.cond.contrast = contrast;
      Zone z = makeZone(q);
      ASSERT_LT(z.image.width, 500);
      MyOcr.typeDoc = 0;
      const Result r = read(z.image.view(), 3);
      ASSERT_EQ(r.text, text) << contrast;
      for (char c : r.conf) {
        if (contrast == 1.0)
          EXPECT_EQ(static_cast<unsigned char>(c), 100) << text;
        else
          EXPECT_LE(static_cast<unsigned char>(c), 82) << text;
      }
    }
  }
}

TEST_F(ReadOcr, ANullChInfoReadsTheSame) {
  Zone z = zone(3, {"A1B2C3"});
  const Result with = read(z.image.view(), 3);
  const Result without = read(z.image.view(), 3, 200, false);
  EXPECT_EQ(with.text, "A1B2C3");
  EXPECT_EQ(without.text, with.text);
  EXPECT_EQ(without.conf, with.conf);
}

TEST_F(ReadOcr, ResolutionAndSizeLimits) {
  Zone z = zone(4, {"1234567"});
  const struct {
    int dpi, height, width, r, code;
  } cases[] = {
      {71, 0, 0, -1, -3},  // too coarse
      {72, 0, 0, 0, 0},    // read (the glyphs are far too small at this scale to say what)
      {300, 16, 0, 0, 0},  // too low
      {300, 17, 0, 0, 0},  // read
      {300, 0, 15, 0, 0},  // too narrow
  };
  for (const auto& c : cases) {
    PVKImg v = z.image.view();
    v.dpi = static_cast<uint16_t>(c.dpi);
    if (c.height > 0) v.height = static_cast<uint16_t>(c.height);
    if (c.width > 0) v.width = static_cast<uint16_t>(c.width);
    MyDev.lastResult = 0;
    const Result r = read(v, 4);
    if (c.r < 0) {
      EXPECT_EQ(r.r, -1) << c.dpi;
    } else {
      EXPECT_GE(r.r, 0) << c.dpi << " " << c.height << " " << c.width;
    }
    EXPECT_EQ(MyDev.lastResult, c.code) << c.dpi;
  }
}

TEST_F(ReadOcr, BadArgumentsChangeNothing) {
  Zone z = zone(4, {"1234"});
  char text[8], conf[8];
  std::memset(text, 'x', sizeof text);
  std::memset(conf, 'y', sizeof conf);
  PVKImg good = z.image.view();
  PVKImg noPixels = good;
  noPixels.data = nullptr;
  PVKImg narrowStride = good;
  narrowStride.stride = static_cast<uint16_t>(good.width - 1);
  const struct {
    PVKImg img;
    char* text;
    char* conf;
  } cases[] = {{good, nullptr, conf}, {good, text, nullptr}, {noPixels, text, conf}, {narrowStride, text, conf}};
  for (const auto& c : cases) {
    MyDev.lastResult = 0;
    EXPECT_EQ(ReadOCR(c.img, c.text, c.conf, nullptr, 4, 8), -1);
    EXPECT_EQ(MyDev.lastResult, -3);
    EXPECT_EQ(std::string(text, 8), std::string(8, 'x'));
    EXPECT_EQ(std::string(conf, 8), std::string(8, 'y'));
  }
  EXPECT_EQ(countOf(trace(), "ReadOCR - invalid argument"), 4);
  EXPECT_EQ(ReadOCR(good, text, conf, nullptr, 4, 0), 0);
  EXPECT_EQ(std::string(text, 8), std::string(8, 'x')) << "maxChars 0 writes nothing";
}

TEST_F(ReadOcr, NothingIsWrittenPastMaxChars) {
  Zone z = zone(3, {"ABC 12345", "DEF 6789"});
  int previous = 0;
  for (int maxChars = 1; maxChars <= 24; ++maxChars) {
    const Result r = read(z.image.view(), 3, maxChars);
    ASSERT_GE(r.r, 0) << maxChars;
    EXPECT_LT(r.r, maxChars) << "room is kept for the terminator";
    EXPECT_GE(r.r, previous) << "more room never reads less";
    previous = r.r;
  }
  EXPECT_EQ(previous, 17);
}

TEST_F(ReadOcr, FontsWithoutACharacterSetFail) {
  Zone z = zone(4, {"1234"});
  for (short font : {35, 40, 41}) {
    MyDev.lastResult = 7;
    const Result r = read(z.image.view(), font);
    EXPECT_EQ(r.r, -1) << font;
    EXPECT_EQ(MyDev.lastResult, 0) << font << ": as the set-up left it";
  }
  EXPECT_GE(countOf(trace(), "Missing valid set definition"), 3);
  EXPECT_GE(countOf(trace(), "Missing OCR valid set"), 3);
}

TEST_F(ReadOcr, EveryWayOutReleasesEverything) {
  Zone z = zone(3, {"AB 12", "CD 34"});
  // Set-up refused: a font code with no databases.
  MyDev.lastResult = 0;
  EXPECT_EQ(read(z.image.view(), 120).r, -1);
  // Every allocation of the reader failing in turn: -4 and nothing held, until none fails.
  bool readWhole = false;
  for (int k = 1; k < 40 && !readWhole; ++k) {
    pvk::ocr::zoneAllocFailAfter = k;
    MyDev.lastResult = 0;
    const Result r = read(z.image.view(), 3);
    if (r.r == -1) {
      EXPECT_EQ(MyDev.lastResult, -4) << k;
    } else {
      readWhole = pvk::ocr::zoneAllocFailAfter > 0;
      EXPECT_TRUE(readWhole || MyDev.lastResult == -4) << k;
    }
  }
  EXPECT_TRUE(readWhole);
  pvk::ocr::zoneAllocFailAfter = -1;
  EXPECT_EQ(read(z.image.view(), 3).text, "AB12\r\nCD34");
}

TEST_F(ReadOcr, AStopKeepsTheBandsFinishedBeforeIt) {
  Zone z = zone(3, {"AB 12", "CD 34"});
  const Result whole = read(z.image.view(), 3);
  ASSERT_EQ(whole.text, "AB12\r\nCD34");
  // A stop before the first pass: nothing is read.
  pvk::core::requestStop(true);
  EXPECT_EQ(read(z.image.view(), 3).r, 0);
  pvk::core::requestStop(false);
  // A stop after the first pass: the first band ends with nothing (the stop falls before its
  // next threshold) and nothing after it is read.
  pvk::ocr::zoneStopAfterPasses = 1;
  EXPECT_EQ(read(z.image.view(), 3).r, 0);
  pvk::core::requestStop(false);
  // Stops after ever more passes: once the first band has been finished it is kept, and the
  // second band never appears without the first.
  bool firstKept = false;
  for (int n = 2; n < 80 && !firstKept; ++n) {
    pvk::ocr::zoneStopAfterPasses = n;
    const Result r = read(z.image.view(), 3);
    pvk::core::requestStop(false);
    if (r.text.find("CD") != std::string::npos) {
      EXPECT_EQ(r.text.substr(0, 4), "AB12");
    }
    firstKept = r.text == "AB12";
  }
  EXPECT_TRUE(firstKept);
  pvk::ocr::zoneStopAfterPasses = -1;
  EXPECT_EQ(read(z.image.view(), 3).text, whole.text) << "with the stop cleared the next reading is whole";
}

TEST_F(ReadOcr, TheBacklitFontsReadLightHoles) {
  Zone z = zone(938, {"123456"}, 300, 3);
  ASSERT_TRUE(z.backlit);
  const Result r = read(z.image.view(), 938);
  EXPECT_GE(r.r, 0);
}

TEST(ZoneTrims, FinalTrimsPerFont) {
  const struct {
    short font;
    uint16_t typeDoc;
    uint8_t keepBlanks;
    const char* text;
    const char* conf;  // one digit per character: its confidence / 10 (0 stands for 1)
    const char* want;
  } cases[] = {
      {4, 0, 0, "? 12345 ?", "009999900", "12345"},
      {4, 0, 1, "? 12345 ?", "009999900", "12345"},
      {4, 0, 0, "1?", "99", ""},                    // at most 2 real characters
      {5, 0, 1, "7 123 4", "0099909", "123 4"},      // weak lead with its blank goes
      {5, 0, 1, "7 123 4", "9099900", "7 123"},      // weak tail with its blank goes
      {38, 0, 1, ". 123 .", "9099909", "123"},       // '.' ends go whatever their confidence
      {9, 0, 1, "AB ?", "9909", "AB"},               // other fonts: a trailing " ?"
      {9, 0, 1, "? AB", "0999", "? AB"},             // and only that
      {9, 2, 1, "? AB", "0999", "AB"},               // typeDoc 2 trims like OCR-B
      {9, 0, 0, "A B C", "99999", "ABC"},
  };
  for (const auto& c : cases) {
    MyOcr = OcrInfo{};
    MyOcr.typeDoc = c.typeDoc;
    MyOcr.modeByte = c.keepBlanks;
    std::string text = c.text, conf;
    for (char d : std::string(c.conf)) conf.push_back(static_cast<char>(d == '0' ? 1 : (d - '0') * 10));
    std::vector<ChInfo> info(text.size() + 1);  // the edits move the terminator entry too
    int n = static_cast<int>(text.size());
    pvk::ocr::trimZoneResult(text.data(), conf.data(), info.data(), n, c.font);
    EXPECT_EQ(text.substr(0, n), c.want) << c.font << " '" << c.text << "'";
  }
  MyOcr = OcrInfo{};
}

TEST(WeakCharacters, FewPassesAndBelowTheLineConfidenceBecomeUnread) {
  // The bar is a quarter of the confident characters' mean agreement (their sum when 4 or
  // fewer), truncated and held within 2..4; minimum line confidence 30.
  const struct {
    const char* text;
    const char* conf;  // one digit per character: its confidence / 10 (0 stands for 1)
    std::vector<uint16_t> agreement;
    const char* want;
  } cases[] = {
      {"ABCD", "9991", {1, 1, 1, 1}, "ABC?"},               // sum 3: the bar is raised to 2
      {"ABCD", "9991", {1, 1, 1, 2}, "ABCD"},               // at the bar
      {"ABC D", "99991", {1, 1, 1, 1, 2}, "ABC  "},         // alone it needs one more
      {"ABCD", "9993", {1, 1, 1, 1}, "ABCD"},               // not weaker than the line
      {"ABCDE", "99991", {3, 3, 3, 3, 2}, "ABCD?"},         // four: their sum 12, bar 3
      {"ABCDEF", "999991", {3, 3, 3, 3, 3, 2}, "ABCDEF"},   // five: their mean 3, bar 2
      {"ABCDEF", "999991", {11, 11, 11, 11, 11, 2}, "ABCDEF"},  // 11 / 4 truncated
      {"ABCDEF", "999991", {20, 20, 20, 20, 20, 4}, "ABCDEF"},  // 5 held at 4
      {"ABCDEF", "999991", {20, 20, 20, 20, 20, 3}, "ABCDE?"},
      {"AB ? CD", "9990999", {1, 1, 1, 1, 1, 1, 1}, "AB   CD"},  // an unread mark alone goes
      {"AB?CD", "99099", {1, 1, 1, 1, 1}, "AB?CD"},
  };
  for (const auto& c : cases) {
    std::string text = c.text, conf;
    for (char d : std::string(c.conf)) conf.push_back(static_cast<char>(d == '0' ? 1 : (d - '0') * 10));
    const std::string before = conf;
    std::vector<ChInfo> info(text.size());
    for (size_t k = 0; k < info.size(); ++k) info[k].agreement = c.agreement[k];
    pvk::ocr::markWeakCharacters(text.data(), conf.data(), info.data(), static_cast<int>(text.size()), 30);
    EXPECT_EQ(text, c.want) << c.text << " " << c.conf;
    for (size_t k = 0; k < text.size(); ++k) {
      const bool weakened = text[k] != c.text[k] && c.text[k] != '?';
      EXPECT_EQ(conf[k], weakened ? 1 : before[k]) << c.text << " " << k;
    }
  }
}

// Payee lines: a character fewer than a third of the line's mean agreement (blanks and unread
// marks left out) is doubtful, under 50; at exactly a third it keeps its confidence.
TEST(WeakCharacters, FewPassesAmongWellAgreedOnesAreDoubtful) {
  const struct {
    const char* text;
    std::vector<uint16_t> agreement;
    const char* want;  // 'd': capped at 49, '.': kept
  } cases[] = {
      {"WALTE", {8, 8, 8, 8, 2}, "....d"},            // 3 x 2 x 5 = 30 < 34
      {"WALTE", {7, 7, 7, 7, 2}, "....."},            // 30: exactly a third
      {"WA ? LTE", {8, 8, 0, 0, 0, 8, 8, 2}, ".......d"},  // the blanks and '?' are not counted
      {"WALT", {12, 12, 12, 1}, "...."},              // four say too little
  };
  for (const auto& c : cases) {
    const std::string text = c.text;
    std::string conf(text.size(), static_cast<char>(100));
    conf[0] = 30;  // a weaker confidence is no higher after
    std::vector<ChInfo> info(text.size());
    for (size_t k = 0; k < info.size(); ++k) info[k].agreement = c.agreement[k];
    pvk::ocr::doubtFewAgreed(text.data(), conf.data(), info.data(), static_cast<int>(text.size()));
    for (size_t k = 0; k < text.size(); ++k)
      EXPECT_EQ(static_cast<unsigned char>(conf[k]), k == 0 ? 30 : c.want[k] == 'd' ? 49 : 100) << c.text << " " << k;
  }
}

// Readings with boxes: each character 10 columns wide, the line's rows given.
struct Boxed {
  std::string text;
  std::vector<ChInfo> info;
  void add(const std::string& line, int top, int bottom) {
    if (!text.empty()) {
      for (char c : {'\r', '\n'}) {
        text.push_back(c);
        info.push_back(info.back());
      }
    }
    for (size_t k = 0; k < line.size(); ++k) {
      ChInfo ci{};
      ci.agreement = 1;
      ci.left = static_cast<uint16_t>(10 * k);
      ci.right = static_cast<uint16_t>(10 * k + 8);
      ci.top = static_cast<uint16_t>(top);
      ci.bottom = static_cast<uint16_t>(bottom);
      text.push_back(line[k]);
      info.push_back(ci);
    }
  }
};

TEST(BandSplit, TwoAndThreeLinesInOneBand) {
  std::vector<RigaType> bands(kMaxRighe + 1);
  bands[0] = {0, 20, 0};
  bands[1] = {20, 100, 5};
  bands[2] = {120, 30, 0};
  unsigned short n = 3;
  Boxed two;
  two.add("AB", 30, 60);
  two.add("CD", 70, 100);
  ASSERT_TRUE(SpezzaAncoraInRighe(two.text.data(), two.info.data(), static_cast<int>(two.text.size()), bands.data(), 1, n));
  ASSERT_EQ(n, 4);
  EXPECT_EQ(bands[1].start, 20);
  EXPECT_EQ(bands[1].height, 65 - 20) << "to the middle between the lines";
  EXPECT_EQ(bands[2].start, 65);
  EXPECT_EQ(bands[2].height, 120 - 65);
  EXPECT_EQ(bands[3].start, 120) << "the bands after move up";

  Boxed three;
  three.add("AB", 10, 40);
  three.add("CD", 50, 80);
  three.add("EF", 90, 120);
  bands[0] = {0, 130, 0};
  n = 1;
  ASSERT_TRUE(SpezzaAncoraInRighe(three.text.data(), three.info.data(), static_cast<int>(three.text.size()), bands.data(), 0, n));
  ASSERT_EQ(n, 3);
  EXPECT_EQ(bands[0].height, 45);
  EXPECT_EQ(bands[1].start, 45);
  EXPECT_EQ(bands[1].height, 40);
  EXPECT_EQ(bands[2].start, 85);
  EXPECT_EQ(bands[2].height, 45);

  // Nothing to split: one line, overlapping lines, a second line of unread marks only.
  Boxed one;
  one.add("AB", 10, 40);
  Boxed overlap;
  overlap.add("AB", 10, 40);
  overlap.add("CD", 20, 50);
  Boxed unread;
  unread.add("AB", 10, 40);
  unread.add("? ?", 50, 80);
  for (Boxed* b : {&one, &overlap, &unread}) {
    bands[0] = {0, 130, 0};
    n = 1;
    EXPECT_FALSE(SpezzaAncoraInRighe(b->text.data(), b->info.data(), static_cast<int>(b->text.size()), bands.data(), 0, n))
        << b->text;
    EXPECT_EQ(n, 1);
    EXPECT_EQ(bands[0].height, 130);
  }
  // A full table: no split, and a third line stops where the table fills.
  n = kMaxRighe;
  bands[0] = {0, 130, 0};
  EXPECT_FALSE(SpezzaAncoraInRighe(two.text.data(), two.info.data(), static_cast<int>(two.text.size()), bands.data(), 0, n));
  EXPECT_EQ(n, kMaxRighe);
  n = kMaxRighe - 1;
  EXPECT_TRUE(SpezzaAncoraInRighe(three.text.data(), three.info.data(), static_cast<int>(three.text.size()), bands.data(), 0, n));
  EXPECT_EQ(n, kMaxRighe);
  EXPECT_EQ(bands[1].start, 45);
  EXPECT_EQ(bands[1].height, 130 - 45) << "the third line stays with the second";
}

// A codeline printed from a font scaled more than a tenth away from the standard is read at the
// resolution where its pitch is the standard eighth of an inch; within a tenth, without a steady
// pitch, and where the engine could not read (71 dpi and below), at its own. Blocks of ink
// (three quarters of a cell) at a pitch in pixels.
TEST(CodelinePitch, ALineOffTheStandardPitchIsReadAtTheResolutionThatRestoresIt) {
  struct Case {
    int pitch;        // pixels; 0: blank paper
    uint16_t dpi;     // of the image (400: a standard pitch of 50 pixels)
    uint16_t readAt;
  } cases[] = {{50, 400, 400}, {45, 400, 400}, {44, 400, 352}, {55, 400, 400}, {56, 400, 448},
               {36, 400, 288}, {0, 400, 400}, {8, 100, 100}, {9, 100, 72}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.pitch << " at " << c.dpi);
    const int w = 1200, h = 60;
    std::vector<uint8_t> px(static_cast<size_t>(w) * h, 230);
    for (int x = 0; c.pitch > 0 && x < w; ++x)
      if (x % c.pitch < 3 * c.pitch / 4)
        for (int y = 10; y < 50; ++y) px[static_cast<size_t>(y) * w + x] = 40;
    PVKImg img{w, h, w, c.dpi, px.data()};
    EXPECT_EQ(pvk::ocr::codelineReadingDpi(img), c.readAt);
  }
  PVKImg none{1200, 60, 1200, 400, nullptr};
  EXPECT_EQ(pvk::ocr::codelinePitchShare(none), 0);
}

}  // namespace
}  // namespace pvk::test

