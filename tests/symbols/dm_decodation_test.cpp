// DataMatrix sampling and decodation on exact module grids (libdmtx at 1 pixel per module,
// libzint's module dump) drawn at 2 to 6 pixels per module, and on codeword arrays.
#include <gtest/gtest.h>

#include "core/records.h"
#include "dm_symbols.h"
#include "symbols/symbols.h"

namespace {

const int kDmtxSizes[kDmVersions] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 24, 26, 25, 27, 28, 29};

struct Read {
  int result = -9;
  std::string text;
  std::vector<unsigned char> codewords;
};

// Samples a grid drawn at px pixels per module with the origin on the first data module,
// as the locator would measure it, and decodes it.
Read readGrid(const dmtest::ModuleGrid& g, int px, int originShift = 0) {
  MyOcr.dmDpi = 300;
  const cv::Mat bin = dmtest::drawGrid(g, px);
  parseImageDM p;
  p.moduleWidth = p.moduleHeight = px;
  p.startRow = p.sampleRow = static_cast<uint16_t>(px + originShift);
  p.startCol = p.sampleCol = static_cast<uint16_t>(px);
  Read r;
  if (!p.setImage(bin) || p.extractDataRegion() != 0 || !p.readCodewords()) return r;
  r.codewords = p.codewords;
  char out[600];
  unsigned short len = 0;
  do {
    r.result = p.getDataBlocks(out, len, sizeof out);
  } while (r.result == -3 && p.extractDataRegion() == 0 && p.readCodewords());
  if (r.result == 0) r.text.assign(out, len);
  return r;
}

std::string decode(std::vector<unsigned char> cw, unsigned short capacity = 600) {
  std::string text;
  if (!parseImageDM::decodeCodewords(cw.data(), static_cast<int>(cw.size()), text, capacity)) return "<fail>";
  return text;
}

TEST(DataMatrixSampling, EverySizeReadsTheEncodersCodewordsAndText) {
  for (int v = 0; v < kDmVersions; ++v) {
    const DmBlocks& b = CODE_BLOCK_CHARACTERISTIC[v];
    std::string text;
    for (int i = 0; static_cast<int>(text.size()) < b.data - 1; ++i) text += char('A' + i % 26);
    const dmtest::ModuleGrid g = dmtest::dmtxGrid(text, 'a', kDmtxSizes[v]);
    ASSERT_TRUE(g.ok) << v;
    ASSERT_EQ(g.rows, VERSION[v].rows);
    ASSERT_EQ(g.cols, VERSION[v].columns);
    const int px = 2 + v % 5;
    const Read r = readGrid(g, px);
    EXPECT_EQ(r.codewords, g.codewords) << VERSION[v].rows << "x" << VERSION[v].columns;
    EXPECT_EQ(r.result, 0) << VERSION[v].rows << "x" << VERSION[v].columns;
    EXPECT_EQ(r.text, text) << VERSION[v].rows << "x" << VERSION[v].columns;
  }
}

TEST(DataMatrixSampling, EveryForcedEncodationGivesThePayload) {
  const std::string payloads[] = {"ABCDE", "HELLO WORLD 2026", "12345678901234", "a*b>c\r12",
                                  "lower case text, Mixed 42!", "AB\xe9\xfc" "CD", "\x01\x7f~`{|}",
                                  std::string("\x00\x80\xff", 3)};
  for (char scheme : {'a', 'c', 't', 'x', 'e', '8', 'b'}) {
    for (const std::string& s : payloads) {
      const dmtest::ModuleGrid g = dmtest::dmtxGrid(s, scheme);
      if (!g.ok) continue;  // a scheme that cannot hold the payload
      const Read r = readGrid(g, 3);
      EXPECT_EQ(r.result, 0) << scheme << " " << s;
      EXPECT_EQ(r.text, s) << "scheme " << scheme;
    }
  }
}

TEST(DataMatrixSampling, ZintSymbolsWithTheirOwnMixAndOptions) {
  dmtest::ZintOptions o;
  struct Case {
    std::string data;
    dmtest::ZintOptions opt;
    std::string expected;
  };
  dmtest::ZintOptions gs1;
  gs1.gs1 = true;
  dmtest::ZintOptions eci;
  eci.eci = 26;
  dmtest::ZintOptions append;
  append.appendIndex = 1;
  append.appendCount = 2;
  dmtest::ZintOptions rect;
  rect.square = false;
  const Case cases[] = {
      {"Mixed: 0123456789 abcdef ABCDEF <>*", o, "Mixed: 0123456789 abcdef ABCDEF <>*"},
      {"[01]09501101530003[10]AB12", gs1, "\x1d" "010950110153000310AB12"},
      {"[10]AB12[21]XY", gs1, "\x1d" "10AB12\x1d" "21XY"},
      {"\xc3\xa9t\xc3\xa9", eci, "\xc3\xa9t\xc3\xa9"},
      {"AB", append, "AB"},
      {"[)>\x1e" "05\x1d" "HELLO\x1e\x04", o, "[)>\x1e" "05\x1d" "HELLO\x1e\x04"},
      {"[)>\x1e" "06\x1d" "12345\x1e\x04", o, "[)>\x1e" "06\x1d" "12345\x1e\x04"},
      {"RECTANGLE 12345", rect, "RECTANGLE 12345"},
      {std::string("\x80\x81\xfe\xff\x00" "abc", 8), o, std::string("\x80\x81\xfe\xff\x00" "abc", 8)},
  };
  for (const Case& c : cases) {
    const dmtest::ModuleGrid g = dmtest::zintGrid(c.data, c.opt);
    ASSERT_TRUE(g.ok) << c.data;
    for (int px = 2; px <= 6; px += 2) {
      const Read r = readGrid(g, px);
      EXPECT_EQ(r.result, 0) << c.data;
      EXPECT_EQ(r.text, c.expected) << c.data << " at " << px;
    }
  }
}

TEST(DataMatrixSampling, SizeSnappingAndResampling) {
  parseImageDM p;
  p.moduleWidth = p.moduleHeight = 4;
  cv::Mat m(40, 44, CV_8UC1, cv::Scalar(255));  // 10 rows, 11 columns
  EXPECT_EQ(p.setImage(m), 1);
  EXPECT_EQ(p.rows, 10);
  EXPECT_EQ(p.columns, 10);
  cv::Mat wide(40, 60, CV_8UC1, cv::Scalar(255));  // 10 x 15: too far from any size
  EXPECT_EQ(p.setImage(wide), 0);
  EXPECT_EQ(p.version, -1);
  EXPECT_EQ(p.extractDataRegion(), -1);

  // An origin one pixel short of the modules reads wrong; the resampling steps onto them.
  const dmtest::ModuleGrid g = dmtest::dmtxGrid("RESAMPLE ME", 'a');
  const Read r = readGrid(g, 6, -4);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.text, "RESAMPLE ME");
}

TEST(DataMatrixSampling, FiftyTwoSquareReadsBothInterleavedBlocksWithErrors) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += char('a' + i % 26);
  dmtest::ModuleGrid g = dmtest::dmtxGrid(text, 'a', 14);
  ASSERT_TRUE(g.ok);
  // Damage a square of modules that spans codewords of both blocks.
  for (int r = 20; r < 26; ++r)
    for (int c = 20; c < 26; ++c) g.dark[r * g.cols + c] ^= 1;
  const Read read = readGrid(g, 2);
  EXPECT_EQ(read.result, 0);
  EXPECT_EQ(read.text, text);
}

TEST(DataMatrixDecodation, AsciiCodewords) {
  EXPECT_EQ(decode({142, 164, 186}), "123456");
  EXPECT_EQ(decode({66, 129, 67, 68}), "A");             // pad ends the data
  EXPECT_EQ(decode({66, 0, 67}), "<fail>");
  EXPECT_EQ(decode({66, 243}), "<fail>");
  EXPECT_EQ(decode({235, 66, 66}), "\xc1" "A");          // upper shift
  EXPECT_EQ(decode({232, 50, 232, 51}), "\x1d" "1\x1d" "2");
  EXPECT_EQ(decode({233, 1, 2, 3, 66}), "A");            // structured append and its three
  EXPECT_EQ(decode({241, 27, 66}), "A");                 // ECI below 128
  EXPECT_EQ(decode({241, 130, 5, 66}), "A");             // two-codeword ECI
  EXPECT_EQ(decode({241, 200, 5, 6, 66}), "A");          // three-codeword ECI
  EXPECT_EQ(decode({234, 66}), "A");
  EXPECT_EQ(decode({236, 66, 129}), "[)>\x1e" "05\x1d" "A\x1e\x04");
  EXPECT_EQ(decode({237, 66}), "[)>\x1e" "06\x1d" "A\x1e\x04");
  EXPECT_EQ(decode({66, 242, 67}), "<fail>");
}

TEST(DataMatrixDecodation, SegmentsEndWhereTheEncodersEndThem) {
  // C40 and Text: shifts, upper shift, FNC1, an incomplete pair left to ASCII.
  EXPECT_EQ(decode({239, 12, 171, 12, 212, 13, 35, 70}), "ABCDE");    // -e t "ABCDE"
  EXPECT_EQ(decode({230, 89, 233, 109, 17}), "ABCDE");               // -e c "ABCDE"
  EXPECT_EQ(decode({239, 89, 218, 190, 241}), "ab\xe9");             // upper shift in Text
  const int fnc1 = 1 * 1600 + 27 * 40 + 3 + 1;                       // shift 2, FNC1, space
  EXPECT_EQ(decode({230, static_cast<unsigned char>(fnc1 >> 8), static_cast<unsigned char>(fnc1 & 255), 254, 66}),
            "\x1d A");
  const int grave = 2 * 1600 + 0 * 40 + 3 + 1;                       // Text shift 3 value 0
  EXPECT_EQ(decode({239, static_cast<unsigned char>(grave >> 8), static_cast<unsigned char>(grave & 255)}), "` ");
  // EDIFACT: the unlatch drops the rest of its codeword; fewer than 3 codewords are ASCII.
  EXPECT_EQ(decode({240, 4, 32, 196, 70}), "ABCDE");                 // -e e "ABCDE"
  EXPECT_EQ(decode({240, 0x7C, 66}), "{A");                          // two codewords left: ASCII
  EXPECT_EQ(decode({240, 0x7C, 66, 67}), "AB");                      // unlatch first, rest dropped
  EXPECT_EQ(decode({240, 0x05, 0xF0, 66}), "AA");                    // unlatch second
  EXPECT_EQ(decode({230, 89, 233, 254}), "ABC");                     // a lone unlatch at the end
  // X12 then ASCII, and its unlatch.
  EXPECT_EQ(decode({238, 89, 233, 254, 69, 70, 129}), "ABCDE");     // -e x "ABCDE"
  EXPECT_EQ(decode({238, 89, 233, 109, 36, 254, 72, 129}), "ABCDEFG");
  EXPECT_EQ(decode({238, 89, 233, 70}), "ABCE");
  // The pair 0, 0 stands for no value in either set.
  EXPECT_EQ(decode({238, 0, 0}), "<fail>");
  EXPECT_EQ(decode({230, 0, 0}), "<fail>");
}

TEST(DataMatrixDecodation, Base256FieldsCountPositionsInTheSymbol) {
  // -e b: ASCII "ABCD", a field of six bytes at codeword 5, then ASCII "WXYZ".
  const std::vector<unsigned char> cw = {66, 67, 68, 69, 231, 136, 1, 149, 42, 190, 83, 232, 88, 89, 90, 91, 129, 28};
  EXPECT_EQ(decode(cw), "ABCD\xe9\xe8\xe7\xe6\xe5\xe4WXYZ");
  EXPECT_EQ(decode(cw, 8), "<fail>");  // the field does not fit the capacity
  // A field reaching the end of the symbol (length 0), and a length past the codewords.
  auto rnd = [](int v, int p) { return static_cast<unsigned char>((v + (149 * p) % 255 + 1) % 256); };
  EXPECT_EQ(decode({231, rnd(0, 2), rnd('x', 3), rnd('y', 4)}), "xy");
  EXPECT_EQ(decode({231, rnd(5, 2), rnd('x', 3)}), "<fail>");
  EXPECT_EQ(Decoder::unrandomizing255state(rnd(200, 7), 7), 200);
}

TEST(DataMatrixDecodation, ResultCopyKeepsRoomForTheTerminator) {
  char out[8];
  unsigned short len = 99;
  CopyInRes("1234567", 7, out, sizeof out, len);
  EXPECT_EQ(len, 7);
  EXPECT_STREQ(out, "1234567");
  CopyInRes("12345678", 8, out, sizeof out, len);
  EXPECT_EQ(len, 0);
  EXPECT_STREQ(out, "");
  CopyInRes("1", 1, nullptr, 8, len);
  EXPECT_EQ(len, 0);
}

}  // namespace
