// The codeline readers called directly on printed lines at each resolution and condition, both
// readers of the font on the same image.
#include "print_bench.h"
#include "print_read.h"

namespace pvk::printbench {

void readDirect(const cp::PrintFont& font, const Options& o, Cells& cells) {
  // A direct reading has no document of its own: it is set beside the grey cheque a scan of 300
  // dpi would send.
  const democheque::Transport upright;
  const double usb = 2.0 * upright.sensorPixels * upright.lines / kUsbBytesPerSecond;
  const cp::Micr kind = font.spec().kind;
  const cp::Reader second = kind == cp::Micr::E13B ? cp::Reader::E13BVert : cp::Reader::CmcHor;
  for (int dpi : o.dpis)
    for (const std::string& condition : cp::conditionNames())
      for (int k = 1; k <= o.lines; ++k) {
        const auto seed = static_cast<uint32_t>(k);
        const cp::Line l = cp::printLine(font, {cp::sampleLine(kind, seed), dpi, condition, seed});
        for (cp::Reader r : {cp::Reader::Ocr, second}) {
          const cp::DirectReading d = cp::readDirect(r, l, PVK_FONT_DB_DIR, cp::headImpairments(condition, seed));
          Cell& c = cells.at(cp::readerName(r, kind), kind, dpi, condition);
          c.tally.add(score(l.truth, d.text.c_str(), d.conf.c_str(), d.n, d.seconds));
          c.usbSeconds += usb;
        }
      }
}

}  // namespace pvk::printbench
