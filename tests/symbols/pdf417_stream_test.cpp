// The codeword stream: hand-made streams for the controls and refusals, and streams of symbols
// that zint encodes for every compaction, shift and latch, GLI, Macro PDF417 and 921.
#include "pdf417_test_util.h"

namespace {

using namespace pdf417test;
using pvk::tools::pdf417::checkCodewords;

using StreamTest = PdfTest;

struct HandCase {
  const char* name;
  std::vector<int> data;  // codewords after the length descriptor
  std::string text;       // "" when nothing is read
  const char* traceText;  // nullptr: nothing expected
};

TEST_F(StreamTest, HandMadeStreams)
{
  const HandCase cases[] = {
      {"text pair in alpha", {1}, "AB", nullptr},
      {"numeric drops the leading 1", {902, 1, 100}, "000", nullptr},
      {"latch refused while a shift is pending", {899, 0}, ";A",
       "war - two Submode Shift or consecutive Latch in alpha"},
      {"second shift refused", {837, 870, 1}, "Aab",
       "war - two Submode Shift or consecutive Latch in text punctutation"},
      {"macro block", {1, 928, 111, 100, 1, 2, 922}, "AB\\92800000\\001\\002\\922", nullptr},
      {"921 as codeword 1", {921, 1}, "AB", nullptr},
      {"921 elsewhere", {1, 921, 1}, "", "err - invalid code in pdf"},
      {"923 text field", {923, 0, 1}, "\\923AB", nullptr},
      {"923 numeric field", {923, 1, 1, 100}, "\\923000", nullptr},
      {"GLI 927", {927, 26, 1}, "AB", "PDF417 with GLI 26"},
      {"GLI 926", {926, 1, 2, 1}, "AB", "PDF417 with GLI 1802"},
      {"GLI 925", {925, 5, 1}, "AB", "PDF417 with GLI 810905"},
      {"913 one byte then text", {1, 913, 200, 1}, "AB\xC8" "AB", nullptr},
      {"913 inside byte mode", {901, 65, 913, 66}, "AB", "war - Shift to Byte while in Byte mode"},
      {"923 without designator", {1, 923}, "", nullptr},
      {"925 without operand", {1, 925}, "", nullptr},
      {"926 with one operand", {1, 926, 5}, "", nullptr},
      {"927 without operand", {1, 927}, "", nullptr},
      {"928 with one operand", {1, 928, 111}, "", nullptr},
      {"928 file ID stops at the data's end", {1, 928, 111, 101, 7}, "AB\\92800001\\007", nullptr},
      {"reserved codewords are skipped", {903, 1, 920}, "AB", nullptr},
  };
  for (const HandCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(decode(handStream(c.data, 1), 1), c.text);
    if (c.traceText) {
      EXPECT_TRUE(traced(c.traceText)) << trace();
    }
  }
}

TEST_F(StreamTest, RefusesLevelsLengthsAndErasuresItCannotTake)
{
  std::vector<int> ok = handStream({1}, 2);  // 2 data, 8 checks
  EXPECT_EQ(decode(ok, 2), "AB");
  EXPECT_EQ(decode(ok, 9), "");
  EXPECT_EQ(decode(ok, -1), "");
  EXPECT_EQ(decode(ok, 3), "");  // 10 codewords cannot hold 16 checks
  // A descriptor beyond the data (into the checks or past n) is traced and refused.
  for (int descriptor : {3, 11, 40}) {
    std::vector<int> data{descriptor, 1};
    auto checks = checkCodewords(data, 2);
    data.insert(data.end(), checks.begin(), checks.end());
    EXPECT_EQ(decode(data, 2), "") << descriptor;
  }
  EXPECT_TRUE(traced("war - unexpedcted lenght in pdf run"));
  // Level 2: 7 erasures are refused at once; 3 are corrected.
  std::vector<int> stream = handStream({1, 1, 1, 1, 1, 1, 1, 1}, 2);
  std::vector<int> three = stream, seven = stream;
  for (int i = 0; i < 7; ++i)
    seven[i + 1] = -1;
  for (int i = 0; i < 3; ++i)
    three[2 * i + 1] = -1;
  EXPECT_EQ(decode(three, 2), "ABABABABABABABAB");
  EXPECT_EQ(decode(seven, 2), "");
  // Null pointers.
  char text[8] = "guard";
  EXPECT_EQ(AnalyzeRuns(static_cast<int>(stream.size()), nullptr, text, 2, 8), 0);
  EXPECT_EQ(text[0], 0);
  EXPECT_EQ(AnalyzeRuns(static_cast<int>(stream.size()), stream.data(), nullptr, 2, 8), 0);
}

// The text and its terminator must fit: below that nothing usable is returned and nothing is
// written past maxChars.
TEST_F(StreamTest, MaxCharsBoundsEveryWrite)
{
  const std::string payload = "HELLO WORLD";
  std::vector<int> good = handStream({7 * 30 + 4, 11 * 30 + 11, 14 * 30 + 26, 22 * 30 + 14,
                                      17 * 30 + 11, 3 * 30 + 29}, 1);
  for (unsigned short max = 0; max <= 14; ++max) {
    std::vector<int> cw = good;
    char buf[32];
    std::memset(buf, 'G', sizeof buf);
    int n = AnalyzeRuns(static_cast<int>(cw.size()), cw.data(), buf, 1, max);
    SCOPED_TRACE(max);
    if (max > payload.size()) {
      EXPECT_EQ(n, 11);
      EXPECT_EQ(std::string(buf), payload);
    } else {
      EXPECT_EQ(n, 0);
      if (max > 0) {
        EXPECT_EQ(buf[0], 0);
      }
    }
    for (size_t i = max; i < sizeof buf; ++i)
      ASSERT_EQ(buf[i], 'G') << i;
  }
}

std::string decodeZint(const Request& rq)
{
  std::vector<int> cw;
  int level = 0;
  if (!zintStream(rq, cw, level))
    return "<zint refused>";
  return decode(cw, level);
}

Request text(const std::string& payload, int level = -1, int cols = 0)
{
  Request rq;
  rq.payload = payload;
  rq.level = level;
  rq.cols = cols;
  return rq;
}

TEST_F(StreamTest, TextSubmodesShiftsAndLatches)
{
  std::string chars = "\t\n\r";
  for (int c = 32; c < 127; ++c)
    chars += static_cast<char>(c);
  const char* fixed[] = {"aBc", "a;b", "A;B", "1;2", "ab12CD;;;ef", "\t\r\n", "Mixed: 50% + $3",
                         "lower UPPER lower", "{[<>]}~`|", "x", "ZZ", "a\nb"};
  for (const char* p : fixed)
    EXPECT_EQ(decodeZint(text(p)), p);
  Rng rng(28);
  for (int k = 0; k < 30; ++k) {
    std::string p;
    int len = rng.in(1, 60);
    for (int i = 0; i < len; ++i)
      p += chars[rng.in(0, static_cast<int>(chars.size()) - 1)];
    EXPECT_EQ(decodeZint(text(p, rng.in(0, 4))), p);
  }
}

// Bytes under 901 (lengths not a multiple of 6: the last 1 to 5 codewords single) and 924.
TEST_F(StreamTest, ByteCompactionOfEveryLengthTo40)
{
  Rng rng(901);
  for (int len = 1; len <= 40; ++len) {
    std::string p;
    for (int i = 0; i < len; ++i)
      p += static_cast<char>(rng.in(0x80, 0xFF));
    if (len % 3 == 0)
      p[0] = static_cast<char>(rng.in(0, 0x7F));
    EXPECT_EQ(decodeZint(text(p, 2)), p) << len;
  }
}

TEST_F(StreamTest, NumericCompactionKeepsLeadingZeros)
{
  Rng rng(902);
  for (int len = 1; len <= 100; ++len) {
    std::string p(static_cast<size_t>(len % 4), '0');
    while (static_cast<int>(p.size()) < len)
      p += static_cast<char>('0' + rng.in(0, 9));
    EXPECT_EQ(decodeZint(text(p, 1)), p) << len;
  }
  EXPECT_EQ(decodeZint(text("AB0000000000000000000000000000CD")), "AB0000000000000000000000000000CD");
}

TEST_F(StreamTest, GliIsTracedAndTheBytesKeptRaw)
{
  for (int eci : {26, 1000, 811000}) {
    Request rq = text("caf\xC3\xA9 \xE2\x82\xAC", 2);
    rq.eci = eci;
    EXPECT_EQ(decodeZint(rq), rq.payload);
    EXPECT_TRUE(traced("PDF417 with GLI " + std::to_string(eci))) << eci;
  }
}

TEST_F(StreamTest, ReaderInitialisationAndMacroBlocks)
{
  Request init = text("PROGRAM 7", 2);
  init.readerInit = true;
  EXPECT_EQ(decodeZint(init), "PROGRAM 7");
  // The segment index comes out as 5 digits with leading zeros (0-based), the file ID as
  // three-digit groups, the segment count field (923, designator 1) as numeric digits.
  Request seg = text("PART", 2);
  seg.structIndex = 2;
  seg.structCount = 3;
  seg.structId = "123";
  EXPECT_EQ(decodeZint(seg), "PART\\92800001\\123\\92300003");
}

}  // namespace
