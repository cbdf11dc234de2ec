// The QR segment decoders and the block walk on bit vectors made by hand.
#include <gtest/gtest.h>

#include "qr_test_util.h"

using qrtest::appendBits;

namespace {

struct Result {
  int code;
  std::string text;
  int readLength;
};

Result run(ECIDecoder& d, int version, const std::vector<uint16_t>& bits, unsigned short capacity = 100) {
  std::vector<char> out(capacity + 1, 0);
  unsigned short len = capacity;
  int code = d.decode(version, bits, out.data(), &len);
  return {code, std::string(out.data(), len), d.get_read_length()};
}

// A numeric segment body (count and groups) for version 1.
std::vector<uint16_t> numericBits(const std::string& digits) {
  std::vector<uint16_t> b;
  appendBits(b, static_cast<unsigned>(digits.size()), 10);
  size_t i = 0;
  for (; i + 3 <= digits.size(); i += 3) appendBits(b, std::stoi(digits.substr(i, 3)), 10);
  if (digits.size() - i == 2) appendBits(b, std::stoi(digits.substr(i)), 7);
  if (digits.size() - i == 1) appendBits(b, std::stoi(digits.substr(i)), 4);
  return b;
}

std::vector<uint16_t> alnumBits(const std::string& text) {
  const std::string set = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
  std::vector<uint16_t> b;
  appendBits(b, static_cast<unsigned>(text.size()), 9);
  size_t i = 0;
  for (; i + 2 <= text.size(); i += 2)
    appendBits(b, static_cast<unsigned>(set.find(text[i]) * 45 + set.find(text[i + 1])), 11);
  if (i < text.size()) appendBits(b, static_cast<unsigned>(set.find(text[i])), 6);
  return b;
}

std::vector<uint16_t> byteBits(const std::string& text) {
  std::vector<uint16_t> b;
  appendBits(b, static_cast<unsigned>(text.size()), 8);
  for (char c : text) appendBits(b, static_cast<unsigned char>(c), 8);
  return b;
}

}  // namespace

TEST(QrSegments, CountIndicatorWidths) {
  NumericalDecoder n;
  AlphanumericDecoder a;
  ByteDecoder b;
  KanjiDecoder k;
  ECIDecoder* all[] = {&n, &a, &b, &k};
  const int widths[4][3] = {{10, 12, 14}, {9, 11, 13}, {8, 16, 16}, {8, 10, 12}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(all[i]->get_character_count(1), widths[i][0]);
    EXPECT_EQ(all[i]->get_character_count(9), widths[i][0]);
    EXPECT_EQ(all[i]->get_character_count(10), widths[i][1]);
    EXPECT_EQ(all[i]->get_character_count(26), widths[i][1]);
    EXPECT_EQ(all[i]->get_character_count(27), widths[i][2]);
    EXPECT_EQ(all[i]->get_character_count(40), widths[i][2]);
    EXPECT_EQ(all[i]->get_character_count(41), 0);
    EXPECT_EQ(all[i]->get_character_count(0), 0);
  }
}

TEST(QrSegments, DecodesEachMode) {
  NumericalDecoder n;
  for (std::string digits : {"0", "01", "012", "0123", "01234", "9999999", ""}) {
    auto r = run(n, 1, numericBits(digits));
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.text, digits);
    EXPECT_EQ(r.readLength, static_cast<int>(numericBits(digits).size()));
  }
  AlphanumericDecoder a;
  for (std::string text : {"A", "AC-42", "HELLO WORLD", "::"}) EXPECT_EQ(run(a, 1, alnumBits(text)).text, text);
  ByteDecoder b;
  EXPECT_EQ(run(b, 1, byteBits(std::string("a\0\xff", 3))).text, std::string("a\0\xff", 3));
  // Kanji: 0x935F (13-bit value 0x0D9F) and 0xE4AA (0x1AAA), two bytes each.
  KanjiDecoder k;
  std::vector<uint16_t> kb;
  appendBits(kb, 2, 8);
  appendBits(kb, 0x0D9F, 13);
  appendBits(kb, 0x1AAA, 13);
  auto kr = run(k, 1, kb);
  EXPECT_EQ(kr.code, 1);
  EXPECT_EQ(kr.text, "\x93\x5F\xE4\xAA");
  EXPECT_EQ(kr.readLength, 34);
}

// A segment cut at any bit position gives no text and reads nothing past the end.
TEST(QrSegments, StreamsCutAtEveryBit) {
  NumericalDecoder n;
  AlphanumericDecoder a;
  ByteDecoder b;
  KanjiDecoder k;
  std::vector<uint16_t> kb;
  appendBits(kb, 3, 8);
  for (int i = 0; i < 3; ++i) appendBits(kb, 0x0D9F + i, 13);
  struct Case {
    ECIDecoder* d;
    std::vector<uint16_t> bits;
  } cases[] = {{&n, numericBits("12345678")}, {&n, numericBits("1234567")},
               {&a, alnumBits("ABCDE")},      {&a, alnumBits("ABCD")},
               {&b, byteBits("xyz")},         {&k, kb}};
  for (auto& c : cases) {
    for (size_t cut = 0; cut < c.bits.size(); ++cut) {
      std::vector<uint16_t> part(c.bits.begin(), c.bits.begin() + cut);
      auto r = run(*c.d, 1, part);
      EXPECT_EQ(r.code, -1) << "mode " << c.d->mode << " cut " << cut;
      EXPECT_EQ(r.text, "");
      EXPECT_LE(r.readLength, static_cast<int>(cut));
    }
    EXPECT_EQ(run(*c.d, 1, c.bits).code, 1);
  }
}

TEST(QrSegments, GroupsOutOfRangeGiveNoText) {
  struct Case {
    bool numeric;
    int count, value, width;
    bool ok;
  } cases[] = {
      {true, 3, 999, 10, true},  {true, 3, 1000, 10, false}, {true, 3, 1023, 10, false},
      {true, 2, 99, 7, true},    {true, 2, 100, 7, false},   {true, 1, 9, 4, true},
      {true, 1, 10, 4, false},   {false, 2, 2024, 11, true}, {false, 2, 2025, 11, false},
      {false, 1, 44, 6, true},   {false, 1, 45, 6, false},   {false, 1, 63, 6, false},
  };
  for (const Case& c : cases) {
    std::vector<uint16_t> bits;
    appendBits(bits, c.count, c.numeric ? 10 : 9);
    appendBits(bits, c.value, c.width);
    NumericalDecoder n;
    AlphanumericDecoder a;
    auto r = c.numeric ? run(n, 1, bits) : run(a, 1, bits);
    EXPECT_EQ(r.code, c.ok ? 1 : -1) << c.value;
    EXPECT_EQ(r.text.empty(), !c.ok) << c.value;
  }
}

TEST(QrSegments, CopyInResQR) {
  char out[8] = {};
  unsigned short len = 5;
  EXPECT_FALSE(CopyInResQR("abcde", 5, out, &len));  // truncated at capacity - 1
  EXPECT_EQ(len, 4);
  EXPECT_EQ(std::string(out, 4), "abcd");
  len = 6;
  EXPECT_TRUE(CopyInResQR("abcde", 5, out, &len));
  EXPECT_EQ(len, 5);
  // A declared count beyond the text reports what was copied.
  len = 8;
  EXPECT_TRUE(CopyInResQR("ab", 6, out, &len));
  EXPECT_EQ(len, 2);
  len = 0;
  EXPECT_FALSE(CopyInResQR("ab", 2, out, &len));
  EXPECT_EQ(len, 0);
  EXPECT_FALSE(CopyInResQR("ab", 2, nullptr, &len));
  EXPECT_FALSE(CopyInResQR("ab", 2, out, nullptr));
}

TEST(QrSegments, SmallHelpers) {
  EXPECT_EQ(power(2, 10), 1024);
  EXPECT_EQ(power(10, 0), 1);
  EXPECT_EQ(power(3, 5), 243);
  EXPECT_EQ(power(7, 1), 7);
  EXPECT_EQ(AlphabeticNumericChars(0), '0');
  EXPECT_EQ(AlphabeticNumericChars(44), ':');
  EXPECT_EQ(AlphabeticNumericChars(45), 0);
  EXPECT_EQ(AlphabeticNumericChars(-1), 0);
}

namespace {

// A version-1 level-L symbol (one block of 19 data codewords) holding `data` bits.
std::string decodeStream(const std::vector<uint16_t>& data, unsigned short capacity = 100, Symbol* keep = nullptr) {
  Symbol local;
  Symbol& s = keep ? *keep : local;
  s.version = 1;
  s.codeData = std::make_unique<CodeData>(1, 1);
  std::vector<uint16_t> bits = data;
  bits.resize(26 * 8, 0);
  std::vector<char> out(capacity + 1, 0);
  unsigned short len = capacity;
  EXPECT_TRUE(s.decode(bits, out.data(), &len));
  return std::string(out.data(), len);
}

}  // namespace

TEST(QrSegments, SymbolStreams) {
  std::vector<uint16_t> mixed;
  appendBits(mixed, 1, 4);
  auto nb = numericBits("123");
  mixed.insert(mixed.end(), nb.begin(), nb.end());
  appendBits(mixed, 2, 4);
  auto ab = alnumBits("AB");
  mixed.insert(mixed.end(), ab.begin(), ab.end());
  appendBits(mixed, 4, 4);
  auto bb = byteBits("c");
  mixed.insert(mixed.end(), bb.begin(), bb.end());
  EXPECT_EQ(decodeStream(mixed), "123ABc");
  EXPECT_EQ(decodeStream(mixed, 3), "12");
  EXPECT_EQ(decodeStream(mixed, 5), "123A");

  // ECI, structured append, FNC1 and unknown modes end the reading with no text.
  for (unsigned mode : {7u, 3u, 5u, 9u, 15u}) {
    std::vector<uint16_t> s;
    appendBits(s, mode, 4);
    s.insert(s.end(), nb.begin(), nb.end());
    EXPECT_EQ(decodeStream(s), "") << mode;
  }
  // The same after a good segment: nothing of the whole symbol is returned.
  std::vector<uint16_t> late = mixed;
  appendBits(late, 7, 4);
  EXPECT_EQ(decodeStream(late), "");

  // A terminator ends the text and forgets the decoder.
  Symbol s;
  std::vector<uint16_t> term = mixed;
  appendBits(term, 0, 4);
  appendBits(term, 1, 4);
  EXPECT_EQ(decodeStream(term, 100, &s), "123ABc");
  EXPECT_EQ(s.decoder, nullptr);
}

TEST(QrSegments, LayoutLargerThanTheBits) {
  Symbol s;
  s.version = 2;
  s.codeData = std::make_unique<CodeData>(2, 1);  // 34 data codewords
  std::vector<uint16_t> bits(26 * 8, 0);
  char out[8];
  unsigned short len = 8;
  EXPECT_TRUE(s.decode(bits, out, &len));
  EXPECT_EQ(len, 0);
  CodeData none(0, 1), beyond(41, 0), badLevel(3, 4);
  EXPECT_EQ(none.total, 0);
  EXPECT_TRUE(beyond.blocks.empty());
  EXPECT_EQ(badLevel.dataCodewords, 0);
}

TEST(QrSegments, BlockLayout) {
  // Version 5-Q: two blocks of 15 and two of 16 data codewords, 18 check codewords each.
  CodeData d(5, 3);
  EXPECT_EQ(d.total, 134);
  EXPECT_EQ(d.blockCount, 4);
  EXPECT_EQ(d.dataCodewords, 62);
  EXPECT_EQ(d.ecCodewords, 72);
  ASSERT_EQ(d.blocks.size(), 4u);
  EXPECT_EQ(d.blocks[0]->k, 15);
  EXPECT_EQ(d.blocks[3]->k, 16);
  EXPECT_EQ(d.blocks[3]->ecCount, 18);
  CodeBlock b(3, 2, 0);
  EXPECT_TRUE(b.pushData({1, 0, 1, 0, 1, 0, 1, 0}));
  EXPECT_TRUE(b.pushData({1, 1, 1, 1, 0, 0, 0, 0}));
  EXPECT_FALSE(b.pushData({0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(b.pushError({1, 1}));
  EXPECT_FALSE(b.pushError({1, 1}));
  EXPECT_EQ(b.data.size(), 16u);
  EXPECT_EQ(b.ec.size(), 2u);
  b.clear();
  EXPECT_EQ(b.dataPushed, 0);
  EXPECT_TRUE(b.data.empty());
}
