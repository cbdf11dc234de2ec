// The generated font databases judged from outside: each file parsed from the file layout
// (count, codes, 32 rows of 32 bits per cell with bit 31 the left column, 32-byte attribute
// records), each cell compared with its glyph's ink box scaled by OpenCV, and every set-up of
// the engine loaded from the directory.
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>

#include "ocr_lines_fixture.h"

namespace pvk::test {
namespace {

struct ParsedDb {
  bool ok = false;
  std::string codes;
  std::vector<std::array<uint32_t, 32>> cells;
  std::vector<std::string> attrs;
};

uint32_t le32At(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

ParsedDb parse(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ParsedDb p;
  if (b.size() < 4) return p;
  const auto n = static_cast<int32_t>(le32At(b, 0));
  if (n <= 0 || b.size() != 4 + static_cast<size_t>(n) * (1 + 128 + 32)) return p;
  p.codes = b.substr(4, n);
  for (int i = 0; i < n; ++i) {
    std::array<uint32_t, 32> cell{};
    for (int r = 0; r < 32; ++r) cell[r] = le32At(b, 4 + n + 128 * i + 4 * r);
    p.cells.push_back(cell);
    p.attrs.push_back(b.substr(4 + 129 * static_cast<size_t>(n) + 32 * i, 32));
  }
  p.ok = true;
  return p;
}

// The glyph's ink inside the box the engine segmented, scaled to 32 x 32 by area and cut halfway.
std::array<uint32_t, 32> scaledBox(const fontdb::GlyphSample& g) {
  cv::Mat ink(g.bottom - g.top, g.right - g.left, CV_32F);
  for (int y = g.top; y < g.bottom; ++y)
    for (int x = g.left; x < g.right; ++x) ink.at<float>(y - g.top, x - g.left) = g.ink[y * g.grey.stride + x];
  cv::Mat cell;
  cv::resize(ink, cell, cv::Size(32, 32), 0, 0, cv::INTER_AREA);
  std::array<uint32_t, 32> out{};
  for (int r = 0; r < 32; ++r)
    for (int c = 0; c < 32; ++c)
      if (cell.at<float>(r, c) >= 0.5f) out[r] |= 0x80000000u >> c;
  return out;
}

class FontDbGen : public OcrLinesTest {};

TEST_F(FontDbGen, EveryFileParsesAndItsCellsAreItsGlyphs) {
  ASSERT_EQ(fontdb::databases().size(), 20u);
  std::vector<int> differs;
  for (const fontdb::DbSpec& db : fontdb::databases()) {
    const ParsedDb p = parse(std::string(PVK_FONT_DB_DIR) + "/" + db.fileName());
    ASSERT_TRUE(p.ok) << db.fileName();
    EXPECT_EQ(p.codes.find('?'), std::string::npos) << db.fileName();
    EXPECT_EQ(std::set<char>(p.codes.begin(), p.codes.end()), std::set<char>(db.chars.begin(), db.chars.end()))
        << db.fileName();
    size_t t = 0;
    for (char c : db.chars) {
      for (const fontdb::Rendering& r : db.renderings) {
        const fontdb::GlyphSample g = fontdb::renderGlyph(db, c, r);
        if (!g.found) continue;
        ASSERT_LT(t, p.codes.size()) << db.fileName();
        EXPECT_EQ(p.codes[t], c) << db.fileName() << " template " << t;
        const std::array<uint32_t, 32> ref = scaledBox(g);
        int differ = 0;
        for (int row = 0; row < 32; ++row) differ += __builtin_popcount(ref[row] ^ p.cells[t][row]);
        differs.push_back(differ);
        // The engine trims border rows and columns of thin ink before it scales, so a glyph with
        // hairline serifs may differ more; none differs in half of its cell.
        EXPECT_LT(differ, 512) << db.fileName() << " '" << c << "' template " << t;
        const auto aspect = static_cast<unsigned char>(p.attrs[t][0]);
        EXPECT_TRUE(aspect >= 4 && aspect <= 96) << db.fileName() << " template " << t;
        ++t;
      }
    }
    EXPECT_EQ(t, p.codes.size()) << db.fileName();
  }
  ASSERT_FALSE(differs.empty());
  std::sort(differs.begin(), differs.end());
  const int median = differs[differs.size() / 2];
  const int p95 = differs[differs.size() * 95 / 100];
  std::printf("%zu templates; cell pixels that differ from the scaled glyph box: median %d, 95%% %d, most %d\n",
              differs.size(), median, p95, differs.back());
  EXPECT_LE(median, 64);
  EXPECT_LE(p95, 150);
}

// Two runs write the same bytes: the templates of a database made twice are equal.
TEST_F(FontDbGen, TemplatesAreDeterministic) {
  const fontdb::DbSpec* db = fontdb::findDatabase("arial04.db");
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(fontdb::fileBytes(fontdb::makeTemplates(*db)), fontdb::fileBytes(fontdb::makeTemplates(*db)));
}

// Every code that has a set-up loads its databases from the directory, in the document types
// where it has one; the others give -1 with -33.
TEST_F(FontDbGen, EverySetUpLoads) {
  const std::set<int> setUp = {1, 2, 3, 4, 5, 9, 10, 11, 12, 35, 38, 39, 40, 41, 202, 935, 936, 937, 938, 939,
                               940, 941, 942, 943, 944, 945};
  int loaded = 0;
  for (int typeDoc : {0, 2, 5, 12, 13}) {
    for (int font = 0; font <= 1000; ++font) {
      MyOcr.typeDoc = static_cast<uint16_t>(typeDoc);
      MyDev.lastResult = 0;
      const int r = InitOCR(static_cast<short>(font), true, 1.0f);
      const bool has = setUp.count(font) != 0 || ((font == 204 || font == 205) && typeDoc == 12);
      if (has) {
        EXPECT_GE(r, 1) << "font " << font << " typeDoc " << typeDoc << " result " << MyDev.lastResult;
        EXPECT_GT(dfnchars, 1) << font;
        EXPECT_LE(dfnchars, kStoreCells) << font;
        ++loaded;
      } else if (r != 0) {
        EXPECT_EQ(r, -1) << font;
        EXPECT_EQ(MyDev.lastResult, PVK_ERR_OCR_FONT_DISABLED) << font;
      }
    }
  }
  EXPECT_EQ(loaded, 5 * 26 + 2);
}

}  // namespace
}  // namespace pvk::test
