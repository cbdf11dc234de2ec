// The linear barcode reader on images of the symbol corpus: clean symbols read exactly, pass
// counts per degradation level held as a ratchet, several symbols in one zone, upside-down
// symbols, the negative set, and bad input.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "symbol_corpus.h"
#include "symbols/symbols.h"

using namespace pvk::corpus;

namespace {

PVKImg viewOf(Image& im) {
  PVKImg p{};
  p.width = static_cast<uint16_t>(im.width);
  p.height = static_cast<uint16_t>(im.height);
  p.stride = static_cast<uint16_t>(im.width);
  p.dpi = static_cast<uint16_t>(im.dpi);
  p.data = im.pixels.data();
  return p;
}

std::string readZone(Image& im, int font, bool pharmacode = false, int maxChars = 256) {
  MyOcr.currentFont = static_cast<int16_t>(font);
  MyOcr.pharmacode = pharmacode ? 1 : 0;
  std::vector<char> text(maxChars + 1, 0), conf(maxChars + 1, 0);
  int n = ReadBarCode(viewOf(im), text.data(), conf.data(), static_cast<unsigned short>(maxChars));
  return n > 0 ? std::string(text.data(), n) : std::string();
}

class BarcodeReader : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(MyOcr.barcodeDisabled, 0, sizeof MyOcr.barcodeDisabled);
    MyOcr.barcodeMirror = 0;
  }
};

}  // namespace

TEST_F(BarcodeReader, EveryCleanSymbolReadsExactlyUnderItsFontAndFont7) {
  CorpusOptions o;
  o.levels = {0};
  o.specsPerSymbology = 2;
  o.barHeightPx = 60;
  int n = 0;
  for (const Sample& s0 : buildCorpus(o)) {
    if (modulePixels(s0.draw) < 2.0) continue;
    Sample s = s0;
    bool pharma = s.spec.symbology == Symbology::Code32;
    std::string own = readZone(s.image, ownFont(s.spec.symbology), pharma);
    EXPECT_EQ(escapeText(own), escapeText(s.truth)) << s.id;
    if (s.spec.symbology != Symbology::Code32) {
      std::string any = readZone(s.image, 7);
      EXPECT_EQ(escapeText(any), escapeText(s.truthFont7)) << s.id << " font 7";
    }
    ++n;
  }
  EXPECT_GT(n, 100);
}
