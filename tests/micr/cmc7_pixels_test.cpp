// CMC7 bars from pixels: codelines drawn from the CMC7 glyphs go through the bar chain of one
// band (profile, lobes, characters, checks, blanks) and must give the printed text; blurred,
// noisy and stained lines are counted by what their characters became.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>

#include "codeline_fixture.h"
#include "glyphs.h"
#include "micr/micr.h"

namespace pvk::test {
namespace {

using glyphs::Codeline;

// The bar reading of one band covering the whole (ink-high) image, in bar-profile positions.
Line barReading(glyphs::GreyImage inverted) {
  Line b;
  InitDatiCMC(0, inverted.dpi / 300.0f);
  const int32_t* d = datiCmc;
  const int W = inverted.width, n = 2 * W;
  std::vector<int> profile(n, 0), peaks(n, 0), work(n, 0);
  PVKImg img = inverted.view();
  ElaboraSegnaleCMC(&img, profile.data(), peaks.data(), work.data(), d[17]);
  const int lo = n <= 1000 ? 0 : 100, hi = n <= 1000 ? n : n - 100;
  long long sumProfile = 0, sumPeak = 0;
  int largest = 0, count = 0;
  for (int i = lo; i < hi; ++i)
    if (peaks[i] > 20) sumProfile += profile[i], sumPeak += peaks[i], largest = std::max(largest, peaks[i]), ++count;
  if (count < 7) return b;
  int level = largest / 4;
  const int m = static_cast<int>(sumPeak / (2 * count));
  if (m <= level) level = (level + m) / 2;
  if (level < 30) return b;
  int barProfile[kCdlChars], barPeak[kCdlChars];
  for (int i = 0; i < n; ++i) {
    if (peaks[i] <= 30) continue;
    if (b.n == kCdlUsable) return Line();
    int s = i, e = 0, mp = 0, mk = 0;
    char conf = 4;
    const char c = decodCMC(e, s, conf, n, profile.data(), mp, static_cast<int>(sumProfile / (2 * count)),
                            peaks.data(), 30, mk, 80);
    if (c == 0) continue;
    barProfile[b.n] = mp, barPeak[b.n] = mk;
    b.add(c, conf, s, e);
    i = e;
  }
  if (b.n == 0 || !VerificaCdl(b.text, b.conf, b.n, b.start, b.end, b.height, barProfile, barPeak, d[0])) return Line();
  for (int i = 0; i < b.n; ++i)
    if (b.text[i] == '?') RimuoviCar(b.text, b.conf, b.start, b.end, b.height, i--, b.n);
  VerificaAggiungiSpazi(b.text, b.conf, b.start, b.end, b.height, b.n, d[0]);
  VerificaCaratteriTroppoVicini(b.text, b.conf, b.start, b.end, b.n);
  VerificaAggiungiSpazi(b.text, b.conf, b.start, b.end, b.height, b.n, d[0]);
  VerificaCdlFinale(b.text, b.conf, b.start, b.end, b.height, b.n);
  return b;
}

glyphs::GreyImage inverted(glyphs::GreyImage g) {
  for (uint8_t& p : g.pixels) p = static_cast<uint8_t>(255 - p);
  return g;
}

glyphs::CodelineOptions at(int dpi, double phase = 0, double spread = 0) {
  glyphs::CodelineOptions o;
  o.raster.dpi = dpi;
  o.raster.phaseX = phase;
  o.raster.inkSpread = spread;
  return o;
}

TEST(CmcPixels, CleanLinesReadAsPrinted) {
  std::mt19937 rng(7);
  std::string all = "0123456789:;<=>";
  for (int dpi : {200, 300, 600}) {
    for (int round = 0; round < 3; ++round) {
      std::string text = all;
      if (round > 0) std::shuffle(text.begin(), text.end(), rng);
      if (round == 2) text.insert(5, " "), text.insert(11, " ");
      // At 200 dpi the narrow interval is 2.4 pixels: spread ink moves the lobe centres across
      // the wide-gap threshold, so the heavier print is drawn at 300 and 600 dpi only.
      const double phase = round * 0.35, spread = round == 1 && dpi >= 300 ? 0.5 * dpi / 300 : 0;
      const Codeline line = glyphs::renderCodeline(glyphs::Font::CMC7, text, at(dpi, phase, spread));
      const Line b = barReading(inverted(line.image));
      EXPECT_EQ(b.str(), text) << dpi << " dpi, round " << round;
      // Each character runs from its first to its last stroke (two profile positions per column).
      if (b.str() != text) continue;
      const double stroke = glyphs::cmc7::kBar * dpi + spread;
      size_t k = 0;
      for (int i = 0; i < b.n; ++i) {
        if (b.text[i] == ' ') continue;
        const glyphs::CharBox& box = line.boxes[k++];
        EXPECT_NEAR(b.start[i], 2 * box.x0 + stroke, 3) << dpi << " " << box.symbol;
        EXPECT_NEAR(b.end[i], 2 * box.x1 - stroke, 4) << dpi << " " << box.symbol;
      }
    }
  }
}

struct Tally {
  int right = 0, unread = 0, dropped = 0, wrong = 0;
};

// What each printed character became: the entry of the reading that covers its centre.
Tally tally(const Codeline& line, const Line& b) {
  Tally t;
  for (const glyphs::CharBox& box : line.boxes) {
    const double centre = box.x0 + box.x1;  // in profile positions
    char got = 0;
    for (int i = 0; i < b.n; ++i)
      if (b.text[i] != ' ' && b.start[i] <= centre && centre <= b.end[i]) got = b.text[i];
    if (got == box.symbol) ++t.right;
    else if (got == '?') ++t.unread;
    else if (got == 0) ++t.dropped;
    else ++t.wrong;
  }
  return t;
}

TEST(CmcPixels, AMissingBarNeverReadsAsASymbol) {
  for (int dpi : {200, 300, 600}) {
    const std::string text = "0123456789:;<=>";
    Codeline line = glyphs::renderCodeline(glyphs::Font::CMC7, text, at(dpi));
    // Drop bar (k mod 7) of character k, every piece of it: every character loses one bar.
    std::vector<glyphs::Shape> shapes;
    size_t s = 0;
    for (size_t k = 0; k < text.size(); ++k) {
      int bar = -1;
      double column = -1;
      for (const glyphs::Shape& piece : glyphs::glyph(glyphs::Font::CMC7, text[k])->shapes) {
        if (piece.x0 > column) column = piece.x0, ++bar;
        if (bar != static_cast<int>(k % 7)) shapes.push_back(line.shapes[s]);
        ++s;
      }
    }
    glyphs::RasterOptions ro;
    ro.dpi = dpi;
    line.image = glyphs::toGrey(glyphs::rasterise(shapes, line.image.width, line.image.height, ro), dpi);
    const Tally t = tally(line, barReading(inverted(line.image)));
    EXPECT_EQ(t.right + t.wrong, 0) << dpi << " dpi: " << t.right << " right, " << t.wrong << " wrong";
  }
}

TEST(CmcPixels, DegradedLinesAreCounted) {
  const std::string text = "<0123456789< 3579:;=>24680>";
  std::mt19937 rng(11);
  for (int dpi : {200, 300, 600}) {
    const Codeline line = glyphs::renderCodeline(glyphs::Font::CMC7, text, at(dpi, 0.2, 0.5));
    const glyphs::GreyImage& g = line.image;
    cv::Mat clean(g.height, g.width, CV_8U, const_cast<uint8_t*>(g.pixels.data()), g.stride);
    struct Level {
      const char* name;
      double blur, noise;
      int stains;
    };
    const Level levels[] = {{"blur 0.5", 0.5, 0, 0}, {"blur 1.0", 1.0, 0, 0}, {"noise 20", 0, 20, 0},
                            {"noise 45", 0, 45, 0},  {"stains 6", 0, 0, 6},   {"all", 0.8, 25, 4}};
    for (const Level& lv : levels) {
      cv::Mat m = clean.clone();
      const double px = dpi / 300.0;
      if (lv.blur > 0) cv::GaussianBlur(m, m, cv::Size(0, 0), lv.blur * px);
      if (lv.noise > 0) {
        cv::Mat noise(m.size(), CV_16S);
        cv::randn(noise, 0, lv.noise);
        m.convertTo(m, CV_16S);
        m += noise;
        m.convertTo(m, CV_8U);
      }
      for (int s = 0; s < lv.stains; ++s) {
        const int x = std::uniform_int_distribution<int>(0, m.cols - 1)(rng);
        const int y = std::uniform_int_distribution<int>(0, m.rows - 1)(rng);
        cv::circle(m, cv::Point(x, y), static_cast<int>(4 * px), cv::Scalar(90), cv::FILLED);
      }
      glyphs::GreyImage out = g;
      for (int y = 0; y < g.height; ++y) std::copy(m.ptr<uint8_t>(y), m.ptr<uint8_t>(y) + g.width, &out.pixels[y * g.stride]);
      const Tally t = tally(line, barReading(inverted(out)));
      std::printf("[ figures  ] %d dpi %-8s: %2d right, %2d unread, %2d dropped, %2d wrong of %zu\n", dpi, lv.name,
                  t.right, t.unread, t.dropped, t.wrong, line.boxes.size());
      EXPECT_EQ(t.wrong, 0) << dpi << " " << lv.name;
    }
  }
}

}  // namespace
}  // namespace pvk::test
