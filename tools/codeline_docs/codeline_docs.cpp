// Drawing and degrading the codeline documents: the line from the glyphs, our marks over it,
// ImageMagick's blur and rotation, seeded noise, the mirror; and the head samples of the same line.
#include "codeline_docs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "magick_ops.h"

namespace pvk::codelinedocs {
namespace {

// splitmix64: small, seeded, the same on every machine.
struct Random {
  uint64_t state;
  explicit Random(uint64_t seed) : state(seed * 0x2545F4914F6CDD1Dull + 1) {}
  uint32_t next() {
    state += 0x9E3779B97F4A7C15ull;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
  }
  double uniform() { return next() / 4294967296.0; }
  double between(double a, double b) { return a + (b - a) * uniform(); }
  double gaussian() {
    const double u = (next() + 1.0) / 4294967297.0;
    return std::sqrt(-2.0 * std::log(u)) * std::cos(2 * M_PI * uniform());
  }
};

glyphs::Font glyphFont(short font) {
  if (isE13B(font)) return glyphs::Font::E13B;
  if (font == 202 || font == 0 || font == 111 || font == 32 || font == 6) return glyphs::Font::CMC7;
  throw std::invalid_argument("no codeline font " + std::to_string(font));
}

uint8_t clampGrey(double v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 255.0))); }

// Darkens a pixel towards level by the share a (0..1).
void darken(glyphs::GreyImage& img, int x, int y, double level, double a) {
  if (x < 0 || y < 0 || x >= img.width || y >= img.height || a <= 0) return;
  uint8_t& p = img.pixels[static_cast<size_t>(y) * img.stride + x];
  const double v = p * (1 - std::min(a, 1.0)) + std::min<double>(p, level) * std::min(a, 1.0);
  p = clampGrey(v);
}

// A few characters lose an elliptic spot of their ink: the paper shows through.
void drawVoids(glyphs::GreyImage& img, const std::vector<glyphs::CharBox>& boxes, const Degradation& d, Random& rnd) {
  for (const glyphs::CharBox& b : boxes) {
    if (rnd.uniform() > 0.25) continue;
    const double w = b.x1 - b.x0, h = b.y1 - b.y0;
    const double cx = rnd.between(b.x0 + w * 0.2, b.x1 - w * 0.2), cy = rnd.between(b.y0 + h * 0.2, b.y1 - h * 0.2);
    const double rx = std::max(1.0, w * rnd.between(0.15, 0.3)), ry = std::max(1.0, h * rnd.between(0.08, 0.15));
    for (int y = static_cast<int>(cy - ry); y <= static_cast<int>(cy + ry) + 1; ++y)
      for (int x = static_cast<int>(cx - rx); x <= static_cast<int>(cx + rx) + 1; ++x) {
        const double q = std::pow((x + 0.5 - cx) / rx, 2) + std::pow((y + 0.5 - cy) / ry, 2);
        if (q <= 1 && x >= 0 && y >= 0 && x < img.width && y < img.height)
          img.pixels[static_cast<size_t>(y) * img.stride + x] = d.paper;
      }
  }
}

// A light, soft-edged stain over two or three neighbouring characters.
void drawStain(glyphs::GreyImage& img, const std::vector<glyphs::CharBox>& boxes, Random& rnd) {
  if (boxes.size() < 3) return;
  const size_t first = static_cast<size_t>(rnd.next() % (boxes.size() - 2));
  const size_t last = first + 1 + rnd.next() % 2;
  const double x0 = boxes[first].x0, x1 = boxes[last].x1;
  const double cx = (x0 + x1) / 2, cy = (boxes[first].y0 + boxes[first].y1) / 2;
  const double rx = (x1 - x0) / 2 + 2, ry = (boxes[first].y1 - boxes[first].y0) * rnd.between(0.5, 0.8);
  const double level = rnd.between(150, 200);
  for (int y = static_cast<int>(cy - ry) - 1; y <= static_cast<int>(cy + ry) + 1; ++y)
    for (int x = static_cast<int>(cx - rx) - 1; x <= static_cast<int>(cx + rx) + 1; ++x) {
      const double q = std::sqrt(std::pow((x + 0.5 - cx) / rx, 2) + std::pow((y + 0.5 - cy) / ry, 2));
      darken(img, x, y, level, std::clamp((1 - q) * 4, 0.0, 1.0));
    }
}

// A pen stroke that crosses the whole line: a slow wave of a few pixels' width, dark.
void drawSignature(glyphs::GreyImage& img, Random& rnd) {
  const double dpi = img.dpi;
  const double amp = img.height * rnd.between(0.15, 0.3), mid = img.height * rnd.between(0.35, 0.65);
  const double period = dpi * rnd.between(0.4, 0.9), phase = rnd.between(0, 2 * M_PI);
  const double half = std::max(0.8, dpi / 300 * rnd.between(0.8, 1.6));
  const double level = rnd.between(40, 90);
  for (int x = 0; x < img.width; ++x) {
    const double y = mid + amp * std::sin(2 * M_PI * x / period + phase);
    const double slope = amp * 2 * M_PI / period * std::cos(2 * M_PI * x / period + phase);
    const double reach = half * std::sqrt(1 + slope * slope);  // keeps the pen's width on steep parts
    for (int yy = static_cast<int>(y - reach) - 1; yy <= static_cast<int>(y + reach) + 1; ++yy)
      darken(img, x, yy, level, std::clamp(reach + 0.5 - std::fabs(yy + 0.5 - y), 0.0, 1.0));
  }
}

// Fine light lines crossing at an angle, as security paper carries them.
void drawPattern(glyphs::GreyImage& img, Random& rnd) {
  const double period = img.dpi / 300.0 * rnd.between(5, 9);
  const double level = rnd.between(185, 225);
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const double a = std::fabs(std::fmod(x + y + 1000 * period, period) - period / 2) / (period / 2);
      const double b = std::fabs(std::fmod(x - y + 1000 * period, period) - period / 2) / (period / 2);
      darken(img, x, y, level, std::clamp(1.6 - 4 * std::min(a, b), 0.0, 1.0) * 0.8);
    }
}

void addNoise(glyphs::GreyImage& img, double sigma, Random& rnd) {
  if (sigma <= 0) return;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      uint8_t& p = img.pixels[static_cast<size_t>(y) * img.stride + x];
      p = clampGrey(p + sigma * rnd.gaussian());
    }
}

void mirror(Doc& d) {
  glyphs::GreyImage& img = d.image;
  for (int y = 0; y < img.height; ++y) {
    uint8_t* row = &img.pixels[static_cast<size_t>(y) * img.stride];
    std::reverse(row, row + img.width);
  }
  for (glyphs::CharBox& b : d.boxes) {
    const double x0 = img.width - b.x1, x1 = img.width - b.x0;
    const int left = img.width - b.right, right = img.width - b.left;
    b.x0 = x0, b.x1 = x1, b.left = left, b.right = right;
  }
  std::reverse(d.boxes.begin(), d.boxes.end());
}

std::string fmt(const char* f, double v) {
  char b[32];
  std::snprintf(b, sizeof b, f, v);
  return b;
}

}  // namespace

bool isE13B(short font) { return font == 1 || font == 33; }

std::string sampleText(short font, uint32_t seed) {
  Random rnd(seed + 77);
  auto digits = [&](int n) {
    std::string s;
    for (int k = 0; k < n; ++k) s += static_cast<char>('0' + rnd.next() % 10);
    return s;
  };
  if (isE13B(font)) return "<" + digits(9) + "< " + digits(10) + "; " + digits(4) + "=";
  glyphFont(font);
  // The Italian cheque layout: separators at 0, 11, 22, 32, 39 and 51, blanks at 12, 23, 33, 40.
  return ":" + digits(10) + "; " + digits(9) + "> " + digits(8) + ": " + digits(5) + "< " + digits(10) + "=";
}

std::string everySymbol(short font) {
  const std::string all = glyphs::symbols(glyphFont(font));
  std::string s;
  for (size_t k = 0; k < all.size(); ++k) {
    if (k > 0 && k % 5 == 0) s += ' ';
    s += all[k];
  }
  return s;
}

std::vector<Degradation> conditions(uint32_t seed) {
  std::vector<Degradation> out;
  for (const char* name : {"clean", "heavy", "light", "phase", "blur", "noise", "rotation", "contrast", "voids",
                           "stain", "signature", "pattern", "all"})
    out.push_back(condition(name, seed));
  return out;
}

Degradation condition(const std::string& name, uint32_t seed) {
  Random rnd(seed * 131 + name.size() * 7 + static_cast<unsigned char>(name[0]));
  Degradation d;
  d.name = name;
  d.phaseX = rnd.uniform();
  d.phaseY = rnd.uniform();
  if (name == "clean") {
    d.phaseX = d.phaseY = 0;
  } else if (name == "heavy") {
    d.strokeWeight = rnd.between(0.6, 1.2);
  } else if (name == "light") {
    d.strokeWeight = -rnd.between(0.3, 0.6);
  } else if (name == "phase") {
    // the phase alone
  } else if (name == "blur") {
    d.blurSigma = rnd.between(0.6, 1.2);
  } else if (name == "noise") {
    d.noiseSigma = rnd.between(8, 20);
  } else if (name == "rotation") {
    d.rotationDegrees = rnd.between(-1, 1);
  } else if (name == "contrast") {
    d.ink = static_cast<uint8_t>(rnd.between(70, 110));
    d.paper = static_cast<uint8_t>(rnd.between(190, 225));
  } else if (name == "voids") {
    d.voids = true;
  } else if (name == "stain") {
    d.stain = true;
  } else if (name == "signature") {
    d.signature = true;
  } else if (name == "pattern") {
    d.pattern = true;
  } else if (name == "all") {
    d.strokeWeight = rnd.between(-0.3, 0.6);
    d.blurSigma = rnd.between(0.4, 0.8);
    d.noiseSigma = rnd.between(4, 10);
    d.rotationDegrees = rnd.between(-0.5, 0.5);
    d.ink = static_cast<uint8_t>(rnd.between(20, 60));
    d.paper = static_cast<uint8_t>(rnd.between(215, 245));
    d.voids = d.stain = d.signature = d.pattern = true;
  } else {
    throw std::invalid_argument("no condition " + name);
  }
  return d;
}

void degrade(glyphs::GreyImage& img, const std::vector<glyphs::CharBox>& boxes, const Degradation& deg,
             uint64_t seed) {
  Random rnd(seed);
  if (deg.pattern) drawPattern(img, rnd);
  if (deg.voids) drawVoids(img, boxes, deg, rnd);
  if (deg.stain) drawStain(img, boxes, rnd);
  if (deg.signature) drawSignature(img, rnd);
  if (deg.blurSigma > 0 || deg.rotationDegrees != 0)
    magickBlurAndRotate(img, deg.blurSigma, deg.rotationDegrees, deg.paper);
  addNoise(img, deg.noiseSigma, rnd);
}

Doc makeDoc(const DocRequest& r) {
  if (r.dpi < 150 || r.dpi > 600) throw std::invalid_argument("dpi out of 150..600");
  Doc d;
  d.font = r.font;
  d.dpi = r.dpi;
  d.deg = r.deg;
  d.ordinaryInk = r.ordinaryInk;
  d.truth = r.text.empty() ? sampleText(r.font, r.seed) : r.text;
  d.mirrored = r.font == 111;
  glyphs::CodelineOptions o;
  o.raster.dpi = r.dpi;
  o.raster.phaseX = r.deg.phaseX;
  o.raster.phaseY = r.deg.phaseY;
  o.raster.inkSpread = r.deg.strokeWeight;
  o.paper = r.deg.paper;
  o.ink = r.deg.ink;
  glyphs::Codeline line = glyphs::renderCodeline(glyphFont(r.font), d.truth, o);
  d.image = std::move(line.image);
  d.boxes = std::move(line.boxes);

  degrade(d.image, d.boxes, r.deg, r.seed * 1000003ull + static_cast<uint64_t>(r.font));
  if (d.mirrored) mirror(d);

  d.id = "f" + std::to_string(r.font) + "_" + std::to_string(r.dpi) + "dpi_" + r.deg.name + "_s" +
         std::to_string(r.seed);
  return d;
}

Magnetic magnetic(const Doc& d, const magsynth::Head& head, int offset, const magsynth::Impairments& imp) {
  if (d.mirrored) throw std::invalid_argument("a mirrored line has no magnetic side");
  Magnetic m;
  m.head = head;
  m.head.opticalLag = 0;
  m.offset = offset;
  const double linesPerColumn = head.linesPerInch / d.dpi;
  magsynth::Codeline line;
  line.font = glyphFont(d.font);
  line.text = d.truth;
  // The optical drawing's first cell starts at the left margin (0.1 inch) plus the phase.
  line.startLine = (0.1 * d.dpi + d.deg.phaseX) * linesPerColumn + offset;
  line.strength.assign(d.truth.size(), 1.0);
  for (int k : d.ordinaryInk)
    if (k >= 0 && k < static_cast<int>(d.truth.size())) line.strength[static_cast<size_t>(k)] = 0;
  m.rawLines = static_cast<int>(std::ceil(d.image.width * linesPerColumn)) + offset + head.refLines + 64;
  m.signal = magsynth::synthesise(m.head, line, m.rawLines, imp);
  return m;
}

bool writeDoc(const std::string& dir, const Doc& d) {
  const std::string stem = dir + "/" + d.id;
  FILE* f = std::fopen((stem + ".pgm").c_str(), "wb");
  if (!f) return false;
  std::fprintf(f, "P5\n%d %d\n255\n", d.image.width, d.image.height);
  bool ok = true;
  for (int y = 0; y < d.image.height && ok; ++y)
    ok = std::fwrite(&d.image.pixels[static_cast<size_t>(y) * d.image.stride], 1, static_cast<size_t>(d.image.width),
                     f) == static_cast<size_t>(d.image.width);
  ok = std::fclose(f) == 0 && ok;
  FILE* t = std::fopen((stem + ".txt").c_str(), "w");
  if (!t) return false;
  std::fprintf(t, "font=%d\ndpi=%d\ncondition=%s\nmirrored=%d\ntruth=%s\n", d.font, d.dpi, d.deg.name.c_str(),
               d.mirrored ? 1 : 0, d.truth.c_str());
  std::fprintf(t, "blur=%s\nrotation=%s\nnoise=%s\n", fmt("%.2f", d.deg.blurSigma).c_str(),
               fmt("%.2f", d.deg.rotationDegrees).c_str(), fmt("%.1f", d.deg.noiseSigma).c_str());
  return std::fclose(t) == 0 && ok;
}

}  // namespace pvk::codelinedocs
