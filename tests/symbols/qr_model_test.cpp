// The QR symbol model on module grids of two independent encoders: every version and level,
// every mask, each segment mode and mixtures, the version and format copies, and symbols it
// must refuse.
#include <gtest/gtest.h>
#include <iconv.h>

#include <random>

#include "qr_test_util.h"

using pvk::qrgen::Grid;
using qrtest::readGrid;

namespace {

std::mt19937 rng(30);

std::string randomOf(const std::string& alphabet, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += alphabet[rng() % alphabet.size()];
  return s;
}

const std::string kDigits = "0123456789";
const std::string kAlnum = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
const std::string kLower = "abcdefghijklmnopqrstuvwxyz!?#";

// A payload of about `fill` of the data codewords of the version and level (model order M, L,
// H, Q): digits, alphanumerics, bytes, or a mixture that the encoder splits into segments.
std::string payloadFor(int version, int modelLevel, int kind, double fill) {
  int data = CodeData(version, modelLevel).dataCodewords;
  size_t n = static_cast<size_t>(data * fill);
  switch (kind % 4) {
    case 0: return randomOf(kDigits, n * 2);
    case 1: return randomOf(kAlnum, n * 4 / 3);
    case 2: return randomOf(kLower, n);
    default:
      return randomOf(kLower, n / 3) + randomOf(kDigits, n / 2) + randomOf(kAlnum, n / 4) + randomOf(kLower, 2);
  }
}

std::string shiftJis(const std::string& utf8) {
  iconv_t cd = iconv_open("SHIFT_JIS", "UTF-8");
  std::string in = utf8, out(utf8.size() * 2, '\0');
  char* ip = in.data();
  char* op = out.data();
  size_t il = in.size(), ol = out.size();
  iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  out.resize(out.size() - ol);
  return out;
}

int sizeOf(int version) { return 17 + 4 * version; }

// zint's level numbers (1 L, 2 M, 3 Q, 4 H) in the model's order M, L, H, Q.
const int kZintLevel[4] = {2, 1, 4, 3};

Grid zintAt(const std::string& payload, int version, int zintLevel, int mask, const std::string& extra = "") {
  return pvk::qrgen::zintQr(payload, version, zintLevel, mask, false, extra);
}

}  // namespace

// Every version at every level, the masks going round, at 2 to 6 pixels per module.
TEST(QrModel, ReadsEveryVersionAndLevelOfZint) {
  for (int v = 1; v <= 40; ++v) {
    for (int li = 0; li < 4; ++li) {
      int mask = (v * 4 + li) % 8, pixels = 2 + (v + li) % 5;
      std::string payload;
      Grid g;
      for (double fill = 0.8; fill > 0.1 && static_cast<int>(g.size()) != sizeOf(v); fill *= 0.8) {
        payload = payloadFor(v, li, v + li, fill);
        g = zintAt(payload, v, kZintLevel[li], mask);
      }
      ASSERT_EQ(static_cast<int>(g.size()), sizeOf(v)) << "version " << v;
      auto r = readGrid(g, pixels);
      SCOPED_TRACE("version " + std::to_string(v) + " level " + "MLHQ"[li]);
      EXPECT_TRUE(r.initOk);
      EXPECT_EQ(r.version, v);
      EXPECT_EQ(r.level, "MLHQ"[li]);
      EXPECT_EQ(r.mask, mask);
      EXPECT_EQ(r.text.size(), payload.size());
      EXPECT_TRUE(r.text == payload);
    }
  }
}

TEST(QrModel, ReadsEveryVersionAndLevelOfQrencode) {
  for (int v = 1; v <= 40; ++v) {
    for (int li = 0; li < 4; ++li) {
      char letter = "MLHQ"[li];
      std::string payload;
      Grid g;
      for (double fill = 0.8; fill > 0.1 && static_cast<int>(g.size()) != sizeOf(v); fill *= 0.8) {
        payload = payloadFor(v, li, v + li + 1, fill);
        g = pvk::qrgen::qrencodeQr(payload, v, letter);
      }
      ASSERT_EQ(static_cast<int>(g.size()), sizeOf(v)) << "version " << v;
      auto r = readGrid(g, 2 + (v + li + 2) % 5);
      SCOPED_TRACE("version " + std::to_string(v) + " level " + letter);
      EXPECT_EQ(r.level, letter);
      EXPECT_EQ(r.text.size(), payload.size());
      EXPECT_TRUE(r.text == payload);
    }
  }
}

TEST(QrModel, ReadsKanjiAsShiftJis) {
  const std::string utf8 = "漢字日本語東京大阪山川田中";
  const std::string sjis = shiftJis(utf8);
  ASSERT_EQ(sjis.size(), 26u);
  // Kanji alone, and Kanji between other segments.
  for (int v : {2, 10, 27}) {
    Grid q = pvk::qrgen::qrencodeQr(sjis, v, 'M', true);
    ASSERT_EQ(static_cast<int>(q.size()), sizeOf(v));
    EXPECT_EQ(readGrid(q, 3).text, sjis) << "qrencode version " << v;
    Grid z = zintAt(utf8, v, 2, -1);
    ASSERT_EQ(static_cast<int>(z.size()), sizeOf(v));
    EXPECT_EQ(readGrid(z, 3).text, sjis) << "zint version " << v;
  }
  Grid mixed = pvk::qrgen::qrencodeQr("ABC123" + sjis + "xyz0123456789", 5, 'L', true);
  EXPECT_EQ(readGrid(mixed, 4).text, "ABC123" + sjis + "xyz0123456789");
}

// Every mask in a symbol without and one with version information.
TEST(QrModel, RemovesEveryMask) {
  for (int v : {1, 7}) {
    for (int mask = 0; mask < 8; ++mask) {
      std::string payload = "MASK" + std::to_string(mask) + " test 0123456789";
      auto r = readGrid(zintAt(payload, v, 1, mask), 2);
      EXPECT_EQ(r.mask, mask);
      EXPECT_EQ(r.text, payload) << "version " << v << " mask " << mask;
    }
  }
}

namespace {

// Flips module (r, c) of the grid.
void flip(Grid& g, int r, int c) { g[r][c] ^= 1; }

}  // namespace

TEST(QrModel, VersionAndFormatCopies) {
  // 21 x 21 has no version information; 45 x 45 carries version 7's code.
  auto v1 = readGrid(zintAt("V1", 1, 2, 3), 4);
  EXPECT_EQ(v1.version, 1);
  EXPECT_EQ(v1.text, "V1");
  Grid g7 = zintAt("VERSION SEVEN", 7, 2, 5);
  auto r7 = readGrid(g7, 3);
  EXPECT_EQ(r7.version, 7);
  EXPECT_EQ(r7.text, "VERSION SEVEN");

  // A broken first version copy (upper right) falls back on the second (lower left); both
  // broken leave the version of the size.
  Grid broken = g7;
  flip(broken, 2, 45 - 10);
  EXPECT_EQ(readGrid(broken, 3).text, "VERSION SEVEN");
  flip(broken, 45 - 10, 2);
  EXPECT_EQ(readGrid(broken, 3).text, "VERSION SEVEN");

  // Format: a broken first copy falls back on the second; one bit off in both copies is
  // refused, since nothing is corrected.
  for (int v : {1, 7}) {
    Grid g = zintAt("FORMAT", v, 3, 2);
    int n = sizeOf(v);
    flip(g, 8, 2);
    EXPECT_EQ(readGrid(g, 2).text, "FORMAT") << "version " << v;
    flip(g, n - 3, 8);
    auto r = readGrid(g, 2);
    EXPECT_TRUE(r.result);
    EXPECT_EQ(r.text, "") << "version " << v;
  }
}

TEST(QrModel, VersionCodeOfAnotherSizeGivesNoText) {
  Grid g7 = zintAt("SEVEN", 7, 1, 0);
  Grid g8 = zintAt("EIGHT", 8, 1, 0);
  // Version 8's code in both places of a version-7 grid.
  int n7 = sizeOf(7), n8 = sizeOf(8);
  for (int a = 0; a < 6; ++a) {
    for (int b = 9; b <= 11; ++b) {
      g7[a][n7 - b] = g8[a][n8 - b];
      g7[n7 - b][a] = g8[n8 - b][a];
    }
  }
  auto r = readGrid(g7, 2);
  EXPECT_TRUE(r.result);
  EXPECT_EQ(r.text, "");
}

TEST(QrModel, SegmentsThatAreNotReadGiveNoText) {
  // ECI and structured append as the first segment.
  auto eci = readGrid(zintAt("ABC", 2, 2, -1, "--eci=26"), 3);
  EXPECT_TRUE(eci.result);
  EXPECT_EQ(eci.text, "");
  auto sa = readGrid(zintAt("ABC", 2, 2, -1, "--structapp=1,2"), 3);
  EXPECT_EQ(sa.text, "");
}

TEST(QrModel, CapacityCutsTheText) {
  Grid g = pvk::qrgen::qrencodeQr("abcde", 1, 'M', false, true);
  EXPECT_EQ(readGrid(g, 3, 5).text, "abcd");
  EXPECT_EQ(readGrid(g, 3, 6).text, "abcde");
  EXPECT_EQ(readGrid(g, 3, 1).text, "");
  // Two segments: each is cut at what is left, one byte always stays free.
  Grid two = zintAt("abcdefgh12345678901234", 2, 2, -1);
  EXPECT_EQ(readGrid(two, 3, 12).text, "abcdefgh123");
}

TEST(QrModel, InitFindsTheGridSize) {
  struct Case {
    int width, height;
    double moduleSize;
    bool ok;
    int count;
  } cases[] = {
      {21, 21, 1.0, true, 21},   {200, 200, 1.0, false, 0}, {84, 84, 4.0, true, 21},
      {88, 88, 4.0, true, 21},   {80, 80, 4.0, true, 21},   {84, 84, 0.99, false, 0},
      {30, 177, 1.0, true, 177}, {177, 30, 1.0, true, 177},
  };
  for (const Case& c : cases) {
    cv::Mat img(c.height, c.width, CV_8UC1, cv::Scalar(255));
    IplImage ipl = cvIplImage(img);
    Symbol s;
    s.image = &ipl;
    s.moduleSize = c.moduleSize;
    EXPECT_EQ(s.init(), c.ok) << c.width << "x" << c.height;
    EXPECT_EQ(s.rows, c.count);
    EXPECT_EQ(s.cols, c.count);
    // Whatever init said, reading samples nothing outside the image and gives no text.
    char out[16];
    unsigned short len = sizeof out;
    EXPECT_TRUE(s.getCodeWords(out, &len));
    EXPECT_EQ(len, 0);
  }
}

TEST(QrModel, NullArgumentsAndNoImage) {
  Symbol s;
  char out[8];
  unsigned short len = 8;
  EXPECT_FALSE(s.getCodeWords(nullptr, &len));
  EXPECT_FALSE(s.getCodeWords(out, nullptr));
  EXPECT_FALSE(s.init());
  EXPECT_TRUE(s.getCodeWords(out, &len));
  EXPECT_EQ(len, 0);
  EXPECT_EQ(s.get(0, 0), 0);
}
