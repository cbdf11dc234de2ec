// The codeline readers as the zone dispatch calls them, their optical pass through the OCR engine
// on the generated font databases: limits, the OCR state they restore, the side-2 reading, and
// whole lines read end to end.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "codeline_docs.h"
#include "codeline_scan.h"
#include "saved_records.h"
#include "micr/micr.h"
#include "ocr/ocr.h"

#ifndef PVK_FONT_DB_DIR
#error "PVK_FONT_DB_DIR names the directory of the generated font databases"
#endif

namespace cd = pvk::codelinedocs;

namespace {

class CodelineReaders : public ::testing::Test {
 protected:
  void SetUp() override {
    std::snprintf(MyOcr.dbDir, sizeof MyOcr.dbDir, "%s", PVK_FONT_DB_DIR "/");
    MyOcr.modeByte = 0;
    MyOcr.cmc7Thr = 60;
    MyOcr.zoneSide = 1;
    MyOcr.typeDoc = 3;  // an Italian cheque: the layout the CMC7 lines are drawn in
    MyMICR.enabled = 0;
    fNameDatiMICR = nullptr;
  }
  // A slightly blurred line: on noise-free CMC7 lines the OCR engine's first threshold series
  // finds no readable block, and the optical reader then gives 0 at its step 2.
  static cd::Doc line(short font, uint32_t seed = 4) {
    cd::DocRequest r;
    r.font = font;
    r.seed = seed;
    r.deg = cd::condition("blur", seed);
    return cd::makeDoc(r);
  }
  struct Out {
    int n = 0;
    std::string text;
  };
  // One reader into buffers of maxChars with guard bytes after them.
  template <class Reader>
  static Out run(Reader reader, unsigned short maxChars = 128) {
    std::vector<char> text(maxChars + 8, '#'), conf(maxChars + 8, '#');
    std::vector<ChInfo> info(maxChars);
    Out o;
    o.n = reader(text.data(), conf.data(), info.data(), maxChars);
    for (size_t k = maxChars; k < text.size(); ++k) EXPECT_TRUE(text[k] == '#' && conf[k] == '#') << k;
    if (o.n > 0) o.text.assign(text.data(), static_cast<size_t>(o.n));
    return o;
  }
  pvk::testing::SavedRecords saved_;
};

}  // namespace

TEST_F(CodelineReaders, OpticalCmc7ReadsALineAndRestoresTheModeByte) {
  cd::Doc d = line(202);
  PVKImg img = d.image.view();
  const Out r = run([&](char* t, char* c, ChInfo* i, unsigned short m) { return ReadCMCHor(img, t, c, i, 202, m); });
  EXPECT_EQ(MyOcr.modeByte, 0);
  // Mode byte 0 drops the blanks.
  std::string expect = d.truth;
  expect.erase(std::remove(expect.begin(), expect.end(), ' '), expect.end());
  EXPECT_EQ(r.text, expect);
  // The bars read what the OCR pass missed: the closing separator.
  MyOcr.modeByte = 1;
  const Out kept = run([&](char* t, char* c, ChInfo* i, unsigned short m) { return ReadCMCHor(img, t, c, i, 202, m); });
  EXPECT_EQ(kept.text, d.truth);
  MyOcr.modeByte = 0;
  // Through the CMC7 entry: the Italian cheque rules, and no box array.
  const Out viaEntry =
      run([&](char* t, char* c, ChInfo*, unsigned short m) { return ReadCMC(img, t, c, nullptr, 202, m); });
  EXPECT_GT(viaEntry.n, 40);
}

TEST_F(CodelineReaders, LimitsOfTheOpticalAndCombinedReaders) {
  cd::Doc d = line(202);
  PVKImg img = d.image.view();
  auto hor = [&](PVKImg at, unsigned short maxChars) {
    return run([&](char* t, char* c, ChInfo* i, unsigned short m) { return ReadCMCHor(at, t, c, i, 202, m); },
               maxChars)
        .n;
  };
  PVKImg narrow = img;
  narrow.width = 63;
  PVKImg low = img;
  low.height = 11;
  EXPECT_EQ(hor(narrow, 128), 0);
  EXPECT_EQ(hor(low, 128), 0);
  EXPECT_EQ(hor(img, 7), 0);
  char text[8], conf[8];
  EXPECT_EQ(ReadCMCHor(img, nullptr, conf, nullptr, 202, 8), -1);
  EXPECT_EQ(ReadE13BVert(img, text, nullptr, 8), -1);
  // No dpi: the combined readers' first step.
  PVKImg noDpi = img;
  noDpi.dpi = 0;
  MyDev.lastResult = 0;
  EXPECT_EQ(run([&](char* t, char* c, ChInfo* i, unsigned short m) { return ReadCMCVert(noDpi, t, c, i, 32, m); }).n,
            -1);
  EXPECT_EQ(MyDev.lastResult, -1);
  MyMICR.enabled = 1;
  EXPECT_EQ(run([&](char* t, char* c, ChInfo* i, unsigned short m) { return ReadCMC(noDpi, t, c, i, 32, m); }).n, -1);
  EXPECT_EQ(run([&](char* t, char* c, ChInfo*, unsigned short m) { return ReadE13BVert(noDpi, t, c, m); }).n, -1);
  cd::Doc e = line(1);
  PVKImg e13b = e.image.view();
  e13b.width = 63;
  EXPECT_EQ(run([&](char* t, char* c, ChInfo*, unsigned short m) { return ReadE13BVert(e13b, t, c, m); }).n, 0);
}

TEST_F(CodelineReaders, OnTheBacklightSideTheOcrReadingIsHandedOutAsItIs) {
  cd::Doc d = line(202);
  PVKImg img = d.image.view();
  MyOcr.zoneSide = 2;
  const Out r = run([&](char* t, char* c, ChInfo* i, unsigned short m) { return ReadCMCHor(img, t, c, i, 202, m); });
  MyOcr.modeByte = 1;
  const Out plain = run([&](char* t, char* c, ChInfo* i, unsigned short m) { return ReadOCR(img, t, c, i, 202, m); });
  EXPECT_EQ(r.text, plain.text);
  EXPECT_GT(r.n, 0);
}

// The optical pass reads the drawn line and the head's samples of it confirm it, at one and two
// levels of head noise: every character is there, and one the magnetic pass reads otherwise may
// turn into '?', never into another symbol.
TEST_F(CodelineReaders, CombinedE13BReadsALineTheHeadConfirmsAndRestoresTheOcrRecord) {
  cd::Doc d = line(1);
  for (double noise : {1.0, 2.0}) {
    SCOPED_TRACE(noise);
    pvk::magsynth::Head head;
    pvk::magsynth::Impairments imp;
    imp.noise = noise;
    cd::Magnetic mag = cd::magnetic(d, head, 520, imp);
    cd::installHeadSamples(mag);
    MyOcr.currentFont = 33;
    MyOcr.modeByte = 1;
    PVKImg img = d.image.view();
    const Out r = run([&](char* t, char* c, ChInfo*, unsigned short m) { return ReadE13BVert(img, t, c, m); });
    EXPECT_EQ(MyOcr.currentFont, 33);
    EXPECT_EQ(MyOcr.modeByte, 1);
    ASSERT_EQ(r.text.size(), d.truth.size());
    for (size_t i = 0; i < r.text.size(); ++i) {
      if (r.text[i] != '?') {
        EXPECT_EQ(r.text[i], d.truth[i]) << i;
      }
    }
  }
}
