// Demo cheques composed from the zone and symbol corpora.
#include "demo_cheque.h"

#include <algorithm>
#include <stdexcept>

#include "symbol_corpus.h"
#include "zone_corpus.h"

namespace pvk::democheque {

namespace {

constexpr uint8_t kPaper = 230;
constexpr int kMargin = 16;
constexpr int kSquareDataMatrix = 100;  // the encoder's shape option: square sizes only

// Darker wins: printing adds ink to the paper. No pixel is 0: a scanner with the line aligner
// marks the start of each line slot with a 0 byte and never sends 0 for a pixel, so a 0 in the
// document would read as a misplaced marker and shift the rest of the line.
void blit(Cheque& c, const uint8_t* px, int w, int h, int stride, int x0, int y0) {
  for (int y = 0; y < h && y0 + y < c.height; ++y)
    for (int x = 0; x < w && x0 + x < c.width; ++x) {
      uint8_t& d = c.front[static_cast<size_t>(y0 + y) * c.width + x0 + x];
      d = std::max<uint8_t>(1, std::min(d, px[static_cast<size_t>(y) * stride + x]));
    }
}

void addItem(Cheque& c, const std::string& what, short font, int x, int y, int w, int h, const std::string& text) {
  Item it;
  it.what = what;
  it.font = font;
  it.left = std::max(0, x - kMargin);
  it.top = std::max(0, y - kMargin);
  it.width = std::min(c.width - it.left, w + 2 * kMargin);
  it.height = std::min(c.height - it.top, h + 2 * kMargin);
  it.text = text;
  c.items.push_back(it);
}

// Text drawn by the zone corpus; an empty text lets it choose a line the font reads.
void printText(Cheque& c, const std::string& what, short font, uint16_t typeDoc, const std::string& text, int x,
               int y) {
  zonecorpus::ZoneRequest r;
  r.font = font;
  r.typeDoc = typeDoc;
  r.dpi = 300;
  r.italianLayout = font == 202;
  if (!text.empty()) r.text = {text};
  r.seed = 7;
  const zonecorpus::Zone z = zonecorpus::makeZone(r);
  blit(c, z.image.pixels.data(), z.image.width, z.image.height, z.image.stride, x, y);
  addItem(c, what, font, x, y, z.image.width, z.image.height, z.lines.empty() ? text : z.lines[0]);
}

void printSymbol(Cheque& c, const std::string& what, corpus::Symbology s, short font, const std::string& data,
                 double xMils, int x, int y, int shape = 0) {
  corpus::SymbolSpec spec;
  spec.symbology = s;
  spec.data = data;
  spec.option3 = shape;
  corpus::DrawSpec draw;
  draw.dpi = 300;
  draw.xMils = xMils;
  draw.quietModules = 4;
  corpus::Sample sample;
  std::string error;
  if (!corpus::makeSample(spec, draw, 0, 1, sample, &error)) throw std::invalid_argument(what + ": " + error);
  const corpus::Image& im = sample.image;
  blit(c, im.pixels.data(), im.width, im.height, im.width, x, y);
  addItem(c, what, font, x, y, im.width, im.height, sample.truth);
}

}  // namespace

Cheque makeCheque(short codeline) {
  Cheque c;
  c.front.assign(static_cast<size_t>(c.width) * c.height, kPaper);
  c.rear.assign(c.front.size(), kPaper);
  printText(c, "OCR-B", 4, 0, "PAY 1234 ACME SRL", 80, 90);
  printSymbol(c, "Code 128", corpus::Symbology::Code128, static_cast<short>(corpus::ownFont(corpus::Symbology::Code128)),
              "DEMO-128-2026", 13, 80, 230);
  printSymbol(c, "PDF417", corpus::Symbology::Pdf417, 8, "PLAVIK DEMO PDF417 0042", 10, 820, 230);
  // Square: the encoder's own choice for this text, 8 x 32 modules, is 48 pixels high at 20 mil,
  // under the 80/300 inch below which a zone is not searched for a DataMatrix.
  printSymbol(c, "DataMatrix", corpus::Symbology::DataMatrix, 36, "DM-DEMO-2026", 20, 1520, 70, kSquareDataMatrix);
  if (codeline == 202)
    printText(c, "CMC7 codeline", 202, 1, "", 200, 680);
  else
    printText(c, "E13B codeline", 1, 10, "", 120, 680);
  return c;
}

Transport onTransport(const Cheque& c, bool upsideDown) {
  Transport t;
  const size_t n = static_cast<size_t>(t.sensorPixels) * t.lines;
  t.front.assign(n, 25);
  t.rear.assign(n, 25);
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) {
      const int sx = upsideDown ? c.width - 1 - x : x, sy = upsideDown ? c.height - 1 - y : y;
      const size_t to = static_cast<size_t>(t.top + y) * t.sensorPixels + t.left + x;
      t.front[to] = c.front[static_cast<size_t>(sy) * c.width + sx];
      t.rear[to] = c.rear[static_cast<size_t>(sy) * c.width + sx];
    }
  return t;
}

}  // namespace pvk::democheque
