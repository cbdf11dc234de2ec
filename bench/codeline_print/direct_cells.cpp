// The codeline readers called directly on printed lines at each resolution and condition, every
// reader of the font on the same image, each reading starting from the OCR state of a host's
// default zone read of side 1 (the INI's defaults, no blanks kept).
#include <cstdio>
#include <cstring>

#include "codeline_scan.h"
#include "core/defaults.h"
#include "core/records.h"
#include "micr/micr.h"
#include "ocr/ocr.h"
#include "print_bench.h"

namespace pvk::printbench {

namespace {

constexpr unsigned short kMaxChars = 128;
constexpr int kOpticalMagneticOffset = 520;  // raw lines between the document's edge and the head

void defaultState() {
  std::memcpy(&MyOcr, &OcrDefault, sizeof MyOcr);
  std::snprintf(MyOcr.dbDir, sizeof MyOcr.dbDir, "%s", PVK_FONT_DB_DIR "/");
  MyOcr.zoneSide = 1;
  MyOcr.modeByte = 0;
  MyMICR.enabled = 0;
}

struct Reading {
  char text[kMaxChars + 1];
  char conf[kMaxChars + 1];
  ChInfo info[kMaxChars];
  int n = 0;
  double seconds = 0;
};

template <class F>
void timed(Reading& r, F&& read) {
  std::memset(r.text, 0, sizeof r.text);
  std::memset(r.conf, 0, sizeof r.conf);
  const double t0 = threadSeconds();
  r.n = read();
  r.seconds = threadSeconds() - t0;
}

// One printed line through the font's two readers.
void readLine(const cp::Line& l, cp::Micr kind, const std::string& condition, uint32_t seed, Cells& cells,
              double usb) {
  glyphs::GreyImage image = l.image;
  const PVKImg img = image.view();
  Reading r;
  auto add = [&](const char* reader) {
    Cell& c = cells.at(reader, kind, l.image.dpi, condition);
    c.tally.add(score(l.truth, r.text, r.conf, r.n, r.seconds));
    c.usbSeconds += usb;
  };
  defaultState();
  if (kind == cp::Micr::E13B) {
    timed(r, [&] { return ReadOCR(img, r.text, r.conf, r.info, 1, kMaxChars); });
    add("ReadOCR 1");
    codelinedocs::Magnetic mag = cp::magnetic(l, kOpticalMagneticOffset, cp::headImpairments(condition, seed));
    defaultState();
    codelinedocs::installHeadSamples(mag);
    MyOcr.ocrImg[1].dpi = MyAcq.dpiV = static_cast<uint16_t>(l.image.dpi);  // the head runs at the image's dpi
    MyOcr.currentFont = 33;  // as the zone dispatch sets it
    timed(r, [&] { return ReadE13BVert(img, r.text, r.conf, kMaxChars); });
    add("ReadE13BVert");
    MyMICR.enabled = 0;
    MyMICR.samples = nullptr;
  } else {
    timed(r, [&] { return ReadOCR(img, r.text, r.conf, r.info, 202, kMaxChars); });
    add("ReadOCR 202");
    defaultState();
    timed(r, [&] { return ReadCMCHor(img, r.text, r.conf, r.info, 202, kMaxChars); });
    add("ReadCMCHor");
  }
}

}  // namespace

void readDirect(const cp::PrintFont& font, const Options& o, Cells& cells) {
  InitOCRAcquisition();
  // A direct reading has no document of its own: it is set beside the grey cheque a scan of 300
  // dpi would send.
  const democheque::Transport upright;
  const double usb = 2.0 * upright.sensorPixels * upright.lines / kUsbBytesPerSecond;
  const cp::Micr kind = font.spec().kind;
  for (int dpi : o.dpis)
    for (const std::string& condition : cp::conditionNames())
      for (int k = 1; k <= o.lines; ++k) {
        const auto seed = static_cast<uint32_t>(k);
        const cp::Line l = cp::printLine(font, {cp::sampleLine(kind, seed), dpi, condition, seed});
        readLine(l, kind, condition, seed, cells, usb);
      }
}

}  // namespace pvk::printbench
