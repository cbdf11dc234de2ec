// The row search on zones of rendered text lines in the text fonts of our databases.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "font_db.h"
#include "ocr/ocr.h"

namespace {

namespace fontdb = pvk::fontdb;

struct Zone {
  std::vector<uint8_t> pixels;
  int width = 0, height = 0;
  std::vector<std::pair<int, int>> ink;  // per line: first and one past the last inked row
};

// Lines stacked top to bottom on white paper, each line's image left-aligned.
Zone stack(const fontdb::DbSpec& db, const std::vector<std::string>& texts, double capHeight) {
  fontdb::LineOptions o;
  o.capHeight = capHeight;
  o.margin = 0.06;
  std::vector<fontdb::Line> lines;
  Zone z;
  for (const std::string& t : texts) {
    lines.push_back(fontdb::renderLine(db, t, o));
    z.width = std::max(z.width, lines.back().image.width);
    z.height += lines.back().image.height;
  }
  z.pixels.assign(static_cast<size_t>(z.width) * z.height, 255);
  int top = 0;
  for (const fontdb::Line& l : lines) {
    int first = -1, last = -1;
    for (int y = 0; y < l.image.height; ++y)
      for (int x = 0; x < l.image.width; ++x) {
        uint8_t v = l.image.at(x, y);
        z.pixels[static_cast<size_t>(top + y) * z.width + x] = v;
        if (v < 128) {
          if (first < 0) first = top + y;
          last = top + y;
        }
      }
    z.ink.push_back({first, last + 1});
    top += l.image.height;
  }
  return z;
}

}  // namespace

// Zones of 1 to 3 lines in five text fonts at two sizes, searched with the sizes the zone reader
// gives its study (smoothing rows H, run 2 W with W = H / 2, bands H / 4 to 3 H): one band per
// line, in order, each crossing its own line's ink and no other's. A single line leaves the band
// the caller put first (here the whole zone). Without widening the bands are the lines' dark
// cores; with it they may meet but keep their order.
TEST(BandSearchText, OneBandPerRenderedLine) {
  const std::vector<std::string> texts = {"PAY 1234,56 EUR", "gjpqy Quality 789", "0042 MILANO (MI)"};
  struct Case {
    const char* font;
    double cap;
  } cases[] = {{"ocrbA04.db", 24},    {"ocrbA04.db", 32},    {"arial04.db", 24},     {"arial04.db", 32},
               {"calibriA04.db", 24}, {"calibriA04.db", 32}, {"serifabt204.db", 24}, {"serifabt204.db", 32},
               {"courier04.db", 32}};
  for (const Case& c : cases) {
    const fontdb::DbSpec* db = fontdb::findDatabase(c.font);
    ASSERT_NE(db, nullptr) << c.font;
    for (size_t count = 1; count <= texts.size(); ++count) {
      Zone z = stack(*db, std::vector<std::string>(texts.begin(), texts.begin() + count), c.cap);
      PVKImg img{static_cast<uint16_t>(z.width), static_cast<uint16_t>(z.height), static_cast<uint16_t>(z.width),
                 300, z.pixels.data()};
      const uint16_t h = static_cast<uint16_t>(c.cap);
      for (uint16_t widen : {uint16_t(0), uint16_t(32)}) {
        SCOPED_TRACE(std::string(c.font) + " cap " + std::to_string(h) + " lines " + std::to_string(count) +
                     " widen " + std::to_string(widen));
        StudiaRighe st{nullptr, nullptr, 8, widen, h, h, static_cast<uint16_t>(h / 4), static_cast<uint16_t>(3 * h), 0};
        RigaType bands[kMaxRighe] = {};
        bands[0] = {0, static_cast<uint16_t>(z.height), 0};
        int n = CercaRighe(&img, st, 2, 240, bands, true);
        ASSERT_EQ(n, static_cast<int>(count));
        if (n == 1) {
          EXPECT_EQ(bands[0].start, 0);
          EXPECT_EQ(bands[0].height, z.height);
          continue;
        }
        for (int i = 0; i < n; ++i) {
          int start = bands[i].start, end = start + bands[i].height;
          EXPECT_LE(end, z.height);
          if (i > 0) {
            EXPECT_GT(start, bands[i - 1].start) << i;
          }
          for (int j = 0; j < n; ++j) {
            bool crosses = start < z.ink[j].second && end > z.ink[j].first;
            if (widen == 0 || j == i) {
              EXPECT_EQ(crosses, i == j) << "band " << i << " [" << start << "," << end << ") line " << j;
            }
          }
        }
      }
    }
  }
}
