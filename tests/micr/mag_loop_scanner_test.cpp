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

namespace {

namespace ms = pvk::magsynth;

class MagThroughScanner : public ::testing::Test {
 protected:
  void SetUp() override {
    pvkemu_clock_virtual(1);
    pvkemu_reset();
    char tmpl[] = "/tmp/pvk_magloop_scan_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    pvkemu_profile p;
    pvkemu_profile_full(&p);
    p.head_config[1] |= 0x20;  // the head's signal runs reversed
    dev = pvkemu_add_device(&p);
    handle = PVKInitialize(reinterpret_cast<unsigned char*>(dir.data()));
    ASSERT_GT(handle, 0) << PVKGetLastResult();
    MyMICR.enabled = 1;
    spec.lines = 2200;
    spec.centreY = 1100;
    spec.height = 1800;
    spec.width = 800;
  }
  void TearDown() override {
    if (handle > 0) PVKClose(reinterpret_cast<void*>(static_cast<intptr_t>(handle)));
    (void)!std::system(("rm -rf " + dir).c_str());
  }

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
    pvk::testing::SidePlanes front = pvk::testing::drawSide(spec, planes, false);
    pvk::testing::SidePlanes rear = pvk::testing::drawSide(spec, planes, true);
    for (auto& plane : rear.planes) ms::drawCodeline(head, line, plane.data(), rear.width, rear.height, 1000);
    const ms::Signal signal = ms::synthesise(head, line, spec.lines, imp);
    pvkemu_document doc{};
    doc.width = static_cast<uint32_t>(spec.sensorPixels);
    doc.height = static_cast<uint32_t>(spec.lines);
    for (int p = 0; p < planes; ++p) {
      doc.front[p] = front.planes[p].data();
      doc.rear[p] = rear.planes[p].data();
    }
    ms::attach(signal, head, doc);
    EXPECT_EQ(pvkemu_feed(dev, &doc), 0);
    pvkemu_sheet(dev, 0, 1, PVKEMU_SHEET_ENTRY);
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

  std::string dir;
  int dev = -1, handle = -1;
  pvk::testing::ChequeSpec spec;
};

TEST_F(MagThroughScanner, GreyAndColourDocumentsReadTheirCodelines) {
  EXPECT_EQ(feedAndRead(pvk::glyphs::Font::E13B, "12381238", 1), "12381238") << "E13B, grey";
  EXPECT_EQ(feedAndRead(pvk::glyphs::Font::CMC7, "0123456789:0123", 1), "0123456789:0123") << "CMC7, grey";
  ASSERT_EQ(PVKSetParameter(0, 2), 0);
  EXPECT_EQ(feedAndRead(pvk::glyphs::Font::E13B, "3128", 3), "3128") << "E13B, colour";
  EXPECT_EQ(feedAndRead(pvk::glyphs::Font::CMC7, "98765:43210", 3), "98765:43210") << "CMC7, colour";
}

}  // namespace
