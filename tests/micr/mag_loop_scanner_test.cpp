// The magnetic reading of a document fed through the software scanner: a synthesised cheque on
// the full-featured profile, whose head says its signal runs reversed, acquired in grey and in
// colour; the reading loop on the samples the acquisition left, guided by the line's truth,
// gives the printed codeline.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "../common/synthetic_cheque.h"
#include "PlavikMS.h"
#include "document/document.h"
#include "magsynth.h"
#include "micr/micr.h"
#include "pvkemu.h"
#include "pvkemu_image.h"
#include "pvkemu_sheet.h"
#include "head_scanner_fixture.h"

namespace {

namespace ms = pvk::magsynth;

class MagThroughScanner : public HeadScannerFixture {
 protected:
  void SetUp() override { open("/tmp/pvk_magloop_scan_XXXXXX", true); }

  // Feeds a cheque with the codeline on the head's side, acquires it, and reads its samples.
  std::string feedAndRead(pvk::glyphs::Font font, const std::string& text, int planes) {
    ms::Head head;
    head.planes = planes;
    ms::Codeline line;
    line.font = font;
    line.text = text;
    line.startLine = 600;
    ms::Impairments imp;
    // About half a level of noise on every down-sampled sample, whatever the bytes averaged: a
    // quiet stretch without any noise lobe puts the E13B noise estimate at its prior of 15.
    imp.noise = planes == 1 ? 1 : 2;
    imp.seed = 9;
    imp.mirrored = true;
    feed(head, line, planes, imp);
    if (!Vx3Read_AcquireImg()) return "acquisition failed: " + std::to_string(MyDev.lastResult);
    EXPECT_EQ(MyMICR.reverse, 1);
    EXPECT_EQ(MyMICR.nSamples, signal.bytes.size());
    char gt[kCdlChars] = {}, gc[kCdlChars] = {}, t[kCdlChars], c[kCdlChars];
    int gs[kCdlChars] = {}, ge[kCdlChars] = {}, s[kCdlChars], e[kCdlChars];
    int gn = 0;
    for (const ms::CharTruth& ch : signal.truth) {
      gt[gn] = ch.symbol;
      gc[gn] = 60;
      gs[gn] = ch.first;
      ge[gn] = ch.last;
      ++gn;
    }
    MyOcr.currentFont = font == pvk::glyphs::Font::CMC7 ? 32 : 33;
    MyOcr.cdlMicr = 0;
    const int n = LetturaMag(t, c, s, e, 0, static_cast<int>(signal.samples.size()), gt, gc, gs, ge, gn);
    return std::string(t, static_cast<size_t>(n));
  }

};

TEST_F(MagThroughScanner, GreyAndColourDocumentsReadTheirCodelines) {
  EXPECT_EQ(feedAndRead(pvk::glyphs::Font::E13B, "12381238", 1), "12381238") << "E13B, grey";
  EXPECT_EQ(feedAndRead(pvk::glyphs::Font::CMC7, "0123456789:0123", 1), "0123456789:0123") << "CMC7, grey";
  ASSERT_EQ(PVKSetParameter(0, 2), 0);
  EXPECT_EQ(feedAndRead(pvk::glyphs::Font::E13B, "3128", 3), "3128") << "E13B, colour";
  EXPECT_EQ(feedAndRead(pvk::glyphs::Font::CMC7, "98765:43210", 3), "98765:43210") << "CMC7, colour";
}

}  // namespace
