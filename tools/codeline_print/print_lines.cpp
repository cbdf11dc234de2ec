// Printed codelines: the layouts and conditions, the degraded line image, the profile of its ink
// for the magnetic head, and the cheque that carries it on the software scanner.
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "codeline_print.h"
#include "line_ink.h"

namespace pvk::codelineprint {

namespace {

using Random = magsynth::detail::Random;

// '#' is a digit. E13B symbols: ':' transit, '=' amount, '<' on-us, ';' dash. CMC7: ':' S1,
// ';' S2, '<' S3, '=' S4. Every layout fits a 6-inch cheque from a quarter inch on.
const std::vector<std::string>& layouts(Micr kind) {
  static const std::vector<std::string> e13b = {
      "<####< :#########: ####;####<  =##########=", ":#########: ##########< ####  =##########=",
      ":#####;###: ####;#######< ###", "<######< :#########: #######<"};
  static const std::vector<std::string> cmc7 = {
      ":#########; ########< ##########= #####:", "<#######< ############: ############;",
      "=#####= ##########; #######<", ";###########: #########< ####="};
  return kind == Micr::E13B ? e13b : cmc7;
}

double between(Random& rnd, double a, double b) { return a + (b - a) * rnd.uniform(); }

// Cheque geometry at 300 dpi: the first cell a quarter inch from the left edge, the glyphs' top
// 680 rows down (the codeline band of a 2.67-inch cheque).
constexpr int kFirstCell = 75;
constexpr int kLineTop = 680;
constexpr int kProfileDpi = 1200;

// The ink's profile along the line: the share of the track each column covers, as steps.
std::vector<magsynth::InkEdge> profileOf(const Printed& hi, double trackInches) {
  const double track = trackInches * kProfileDpi;
  std::vector<magsynth::InkEdge> edges;
  double previous = 0;
  size_t box = 0;
  for (int x = 0; x <= hi.ink.width; ++x) {
    double sum = 0;
    for (int y = 0; x < hi.ink.width && y < hi.ink.height; ++y) sum += hi.ink.at(x, y);
    const double share = std::min(1.0, sum / track);
    while (box < hi.boxes.size() && hi.boxes[box].right <= x) ++box;
    const int character = box < hi.boxes.size() && hi.boxes[box].left <= x ? hi.boxes[box].index : -1;
    if (share != previous) edges.push_back({static_cast<double>(x) / kProfileDpi, share - previous, character});
    previous = share;
  }
  return edges;
}

}  // namespace

std::string sampleLine(Micr kind, uint32_t seed) {
  Random rnd(seed * 2246822519u + (kind == Micr::E13B ? 1u : 2u));
  const std::vector<std::string>& all = layouts(kind);
  std::string line = all[rnd.next() % all.size()];
  // CMC7's digit 0 is left out: the font's 0 does not carry the 0's intervals.
  const char first = kind == Micr::E13B ? '0' : '1';
  const uint32_t digits = kind == Micr::E13B ? 10 : 9;
  for (char& c : line)
    if (c == '#') c = static_cast<char>(first + rnd.next() % digits);
  return line;
}

const std::vector<std::string>& conditionNames() {
  static const std::vector<std::string> names = {"clean", "mild", "hard"};
  return names;
}

codelinedocs::Degradation condition(const std::string& name, uint32_t seed) {
  Random rnd(seed * 40503u + static_cast<uint32_t>(name.size()) * 7u + static_cast<unsigned char>(name[0]));
  codelinedocs::Degradation d;
  d.name = name;
  d.phaseX = rnd.uniform();  // print never lands on the scanner's pixel grid
  d.phaseY = rnd.uniform();
  if (name == "clean") return d;
  if (name == "mild") {
    d.blurSigma = 0.5;
    d.noiseSigma = 8;
    d.ink = 50;
    d.paper = 230;
    return d;
  }
  if (name != "hard") throw std::invalid_argument("no condition " + name);
  d.blurSigma = between(rnd, 0.9, 1.1);
  d.noiseSigma = 12;
  d.rotationDegrees = (rnd.next() % 2 ? 1 : -1) * between(rnd, 0.7, 1.0);
  d.strokeWeight = between(rnd, 0.4, 0.8);
  d.stain = true;
  d.ink = static_cast<uint8_t>(between(rnd, 40, 70));
  d.paper = static_cast<uint8_t>(between(rnd, 205, 225));
  return d;
}

Line printLine(const PrintFont& f, const LineRequest& r) {
  Line l;
  l.kind = f.spec().kind;
  l.truth = r.text;
  l.deg = condition(r.condition, r.seed);
  Placement p;
  p.dpi = r.dpi;
  p.pitch *= r.size;
  p.phaseX = l.deg.phaseX;
  p.phaseY = l.deg.phaseY;
  p.inkSpread = l.deg.strokeWeight * r.dpi / 300.0;  // spread is the ink's, so the same in inches
  Printed printed = f.print(r.text, p);
  l.image = glyphs::toGrey(printed.ink, r.dpi, l.deg.paper, l.deg.ink);
  l.boxes = std::move(printed.boxes);
  codelinedocs::degrade(l.image, l.boxes, l.deg, r.seed * 1000003ull + static_cast<uint64_t>(f.spec().kind));
  const double up = static_cast<double>(kProfileDpi) / r.dpi;
  Placement hi = p;
  hi.dpi = kProfileDpi;
  hi.phaseX *= up;
  hi.phaseY *= up;
  hi.inkSpread *= up;
  l.profile = profileOf(f.print(r.text, hi), f.inkHeight(p.pitch));
  return l;
}

magsynth::Impairments headImpairments(const std::string& condition, uint32_t seed) {
  magsynth::Impairments imp;
  imp.seed = seed;
  imp.noise = condition == "clean" ? 1 : condition == "mild" ? 2 : 3;
  if (condition == "hard") {
    imp.speedVariation = 0.01;
    imp.wander = 4;
  }
  return imp;
}

codelinedocs::Magnetic magnetic(const Line& l, int offset, const magsynth::Impairments& imp) {
  codelinedocs::Magnetic m;
  m.head.opticalLag = 0;
  m.offset = offset;
  const double linesPerColumn = m.head.linesPerInch / l.image.dpi;
  m.rawLines = static_cast<int>(std::ceil(l.image.width * linesPerColumn)) + offset + m.head.refLines + 64;
  m.signal = magsynth::synthesise(m.head, l.profile, offset, m.rawLines, imp);
  return m;
}

namespace {

// The line's pixels onto the front with its image's column 0 at x0 and row 0 at y0. No pixel is
// 0: a scanner with the line aligner would take it for its marker.
void printOnFront(democheque::Cheque& c, const glyphs::GreyImage& img, int x0, int y0) {
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x)
      c.front[static_cast<size_t>(y0 + y) * c.width + x0 + x] = std::max<uint8_t>(1, img.at(x, y));
}

// The zone a host sets around the codeline: the line's image, a tenth of an inch of paper
// around the ink (room for a line printed askew).
democheque::Item zoneOf(const Line& l, int x0, int y0, short font) {
  std::string text = l.truth;
  text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
  return {"codeline", font, x0, y0, l.image.width, l.image.height, text};
}

}  // namespace

Cheque printCheque(const PrintFont& f, const LineRequest& r, short zoneFont, const magsynth::Impairments& head) {
  const bool e13b = f.spec().kind == Micr::E13B;
  // 34 reads the magnetic line in either font.
  const bool lengthwise = zoneFont == 32 || zoneFont == 33 || zoneFont == 34;
  const bool fits = zoneFont == 34 || zoneFont == (e13b ? (lengthwise ? 33 : 1) : (lengthwise ? 32 : 0));
  if (r.dpi != 300 || !fits) throw std::invalid_argument("a cheque is printed at 300 dpi for its font's zone");
  Cheque out;
  const Line l = printLine(f, r);
  out.truth = l.truth;
  democheque::Cheque& c = out.cheque;
  c.front.assign(static_cast<size_t>(c.width) * c.height, l.deg.paper);
  c.rear.assign(c.front.size(), l.deg.paper);
  const Placement margins;
  const int x0 = kFirstCell - static_cast<int>(std::lround(margins.marginLeft * 300));
  const int y0 = kLineTop - static_cast<int>(std::lround(margins.marginTop * 300));
  if (x0 + l.image.width > c.width || y0 + l.image.height > c.height)
    throw std::invalid_argument("the line does not fit on the cheque");
  printOnFront(c, l.image, x0, y0);
  c.items.push_back(zoneOf(l, x0, y0, zoneFont));
  if (!lengthwise) {
    out.transport = democheque::onTransport(c, false);
    out.streamBytes = static_cast<size_t>(out.transport.lines) * 2 * out.transport.sensorPixels;
    return out;
  }
  out.transport = democheque::alongTravel(c, false, 1);
  democheque::Transport& t = out.transport;
  magsynth::Head h;
  out.head = magsynth::synthesise(h, l.profile, t.top + x0, t.lines, head);
  t.micr = out.head.bytes;
  t.micrPerSlot = h.samplesPer3Px;
  out.streamBytes = static_cast<size_t>(t.lines) * (2 * t.sensorPixels + t.micrPerSlot);
  return out;
}

}  // namespace pvk::codelineprint
