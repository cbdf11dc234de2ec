// Demo cheques composed from the zone and symbol corpora.
#include "demo_cheque.h"

#include <algorithm>
#include <stdexcept>

#include "magsynth.h"
#include "pvkemu_image.h"
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

// A zone added without the blank option gives the characters without the blanks between them.
std::string withoutBlanks(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
  return text;
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
  addItem(c, what, font, x, y, z.image.width, z.image.height, withoutBlanks(z.lines.empty() ? text : z.lines[0]));
}

void printSymbol(Cheque& c, const std::string& what, corpus::Symbology s, short font, const std::string& data,
                 double xMils, int x, int y, int shape = 0, bool downward = false) {
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
  if (!downward) {
    blit(c, im.pixels.data(), im.width, im.height, im.width, x, y);
    addItem(c, what, font, x, y, im.width, im.height, sample.truth);
    return;
  }
  // A quarter turn to the right: the symbol's first column becomes the top row.
  std::vector<uint8_t> turned(im.pixels.size());
  for (int sy = 0; sy < im.height; ++sy)
    for (int sx = 0; sx < im.width; ++sx)
      turned[static_cast<size_t>(sx) * im.height + (im.height - 1 - sy)] = im.pixels[static_cast<size_t>(sy) * im.width + sx];
  blit(c, turned.data(), im.height, im.width, im.height, x, y);
  addItem(c, what, font, x, y, im.height, im.width, sample.truth);
}

// The text the zone corpus would draw for the codeline font.
std::string codelineText(short font, uint16_t typeDoc) {
  zonecorpus::ZoneRequest r;
  r.font = font;
  r.typeDoc = typeDoc;
  r.dpi = 300;
  r.italianLayout = font == 202;
  r.seed = 7;
  return zonecorpus::sampleText(r).at(0);
}

void addMagneticLine(Cheque& c, bool cmc7, int x, int y) {
  c.micr.cmc7 = cmc7;
  c.micr.text = cmc7 ? codelineText(202, 1) : codelineText(1, 10);
  c.micr.x = x;
  c.micr.y = y;
  const glyphs::Font f = cmc7 ? glyphs::Font::CMC7 : glyphs::Font::E13B;
  const int w = static_cast<int>(c.micr.text.size() * glyphs::pitch(f) * 300 + 0.5);
  const int h = static_cast<int>(glyphs::lineHeight(f) * 300 + 0.5);
  addItem(c, cmc7 ? "CMC7 magnetic codeline" : "E13B magnetic codeline", cmc7 ? 32 : 33, x, y, w, h,
          withoutBlanks(c.micr.text));
}

}  // namespace

void addCode128(Cheque& c, const std::string& what, short font, const std::string& data, int x, int y, bool downward) {
  printSymbol(c, what, corpus::Symbology::Code128, font, data, 10, x, y, 0, downward);
}

Cheque makeCheque(short codeline, bool magneticInk) {
  Cheque c;
  c.front.assign(static_cast<size_t>(c.width) * c.height, kPaper);
  c.rear.assign(c.front.size(), kPaper);
  // Font 4 reads digits and a few signs only: a line with letters would need font 3.
  printText(c, "OCR-B", 4, 0, "0042 1234-5678/90", 80, 90);
  printSymbol(c, "Code 128", corpus::Symbology::Code128, static_cast<short>(corpus::ownFont(corpus::Symbology::Code128)),
              "DEMO-128-2026", 13, 80, 230);
  printSymbol(c, "PDF417", corpus::Symbology::Pdf417, 8, "PLAVIK DEMO PDF417 0042", 10, 820, 230);
  // Square: the encoder's own choice for this text, 8 x 32 modules, is 48 pixels high at 20 mil,
  // under the 80/300 inch below which a zone is not searched for a DataMatrix.
  printSymbol(c, "DataMatrix", corpus::Symbology::DataMatrix, 36, "DM-DEMO-2026", 20, 1520, 70, kSquareDataMatrix);
  if (magneticInk)
    addMagneticLine(c, codeline == 202, codeline == 202 ? 200 : 120, 700);
  else if (codeline == 202)
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

Transport alongTravel(const Cheque& c, bool samples, int planes) {
  Transport t;
  t.lines = c.width + 600;
  t.top = 300;  // the head lies 200 lines ahead of the optical line: the codeline starts well after it
  t.left = (t.sensorPixels - c.height) / 2;
  const size_t n = static_cast<size_t>(t.sensorPixels) * t.lines;
  t.front.assign(n, 25);
  t.rear.assign(n, 25);
  // Along the travel the document's x runs down the rows; across, its y runs toward the first
  // sensor pixel on the head's side.
  auto at = [&](int x, int y) { return static_cast<size_t>(t.top + x) * t.sensorPixels + t.left + (c.height - 1 - y); };
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) {
      t.rear[at(x, y)] = c.front[static_cast<size_t>(y) * c.width + x];
      t.front[at(x, y)] = c.rear[static_cast<size_t>(y) * c.width + x];
    }
  if (c.micr.text.empty()) return t;
  magsynth::Head head;
  head.planes = planes;
  magsynth::Codeline line;
  line.font = c.micr.cmc7 ? glyphs::Font::CMC7 : glyphs::Font::E13B;
  line.text = c.micr.text;
  line.startLine = t.top + c.micr.x;
  magsynth::drawCodeline(head, line, t.rear.data(), t.sensorPixels, t.lines, t.left + (c.height - 1 - c.micr.y), {},
                         true, 40);
  // The head is on for the whole document and sends its bytes with every raw line, whether or not
  // they are given: without them the scanner sends the head's rest level.
  t.micrPerSlot = head.samplesPer3Px;
  if (samples) {
    // No head is silent: about half a level of noise on every down-sampled sample, whatever the
    // number of bytes averaged into it. A flat quiet stretch would leave the reader's noise
    // estimate at its prior, too high for the weaker symbols.
    magsynth::Impairments imp;
    imp.noise = planes == 1 ? 1 : 2;
    imp.seed = 9;
    t.micr = magsynth::synthesise(head, line, t.lines, imp).bytes;
  }
  return t;
}

}  // namespace pvk::democheque
