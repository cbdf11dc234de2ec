// The codeline readers called directly on printed lines at each resolution, print size and
// condition, both readers of the font on the same image.
#include <string>
#include <utility>
#include <vector>

#include "print_bench.h"
#include "print_read.h"

namespace pvk::printbench {

namespace {

// A print size for each line of a cell: one of five steps from first to last.
struct Sizes {
  std::string name;
  double first, last;
  double of(int line) const { return first + (last - first) * (line % 5) / 4.0; }
};

}  // namespace

void readDirect(const cp::PrintFont& font, const Options& o, Cells& cells) {
  // A direct reading has no document of its own: it is set beside the grey cheque a scan of 300
  // dpi would send.
  const democheque::Transport upright;
  const double usb = 2.0 * upright.sensorPixels * upright.lines / kUsbBytesPerSecond;
  const cp::Micr kind = font.spec().kind;
  const cp::Reader second = kind == cp::Micr::E13B ? cp::Reader::E13BVert : cp::Reader::CmcHor;
  std::vector<std::pair<int, Sizes>> runs;
  for (int dpi : o.dpis) runs.push_back({dpi, {"1", 1, 1}});
  // Printed from the font at other point sizes, at 300 dpi.
  if (o.dpis.front() == 300)
    for (const Sizes& s : {Sizes{"0.71-0.79", 0.71, 0.79}, Sizes{"1.15-1.25", 1.15, 1.25}}) runs.push_back({300, s});
  for (const auto& [dpi, sizes] : runs)
    for (const std::string& condition : cp::conditionNames())
      for (int k = 1; k <= o.lines; ++k) {
        const auto seed = static_cast<uint32_t>(k);
        const cp::Line l = cp::printLine(font, {cp::sampleLine(kind, seed), dpi, condition, seed, sizes.of(k)});
        for (cp::Reader r : {cp::Reader::Ocr, second}) {
          const cp::DirectReading d = cp::readDirect(r, l, PVK_FONT_DB_DIR, cp::headImpairments(condition, seed));
          Cell& c = cells.at(cp::readerName(r, kind), kind, dpi, condition, sizes.name);
          c.tally.add(score(l.truth, d.text.c_str(), d.conf.c_str(), d.n, d.seconds));
          c.usbSeconds += usb;
        }
      }
}

}  // namespace pvk::printbench
