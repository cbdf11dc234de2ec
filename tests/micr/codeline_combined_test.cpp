// The combined codeline readers from their optical pass on, over rendered lines whose head
// samples come from the same line: the optical reading handed to them is the line's truth at its
// drawn boxes (as the optical reader gives it), changed where a case needs it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "codeline_docs.h"
#include "codeline_reading.h"
#include "micr/micr.h"
#include "ocr/ocr.h"
#include "saved_records.h"

namespace cd = pvk::codelinedocs;

namespace {

constexpr int kOffset = 520;  // the document's optical-magnetic offset, lines: the line lies well inside the signal

OcrReading opticalOf(const cd::Doc& d, int conf = 90) { return cd::readingOf(d, conf); }

using Result = pvk::codelinedocs::Reading;

class Combined : public ::testing::Test {
 protected:
  void SetUp() override {
    fNameDatiMICR = nullptr;
    MyOcr.cdlMicr = 0;
    MyOcr.modeByte = 1;
    MyOcr.cmc7Thr = 60;
    MyOcr.engineScale = 1.0f;
    MyDev.productId = 0x1234;
  }

  // Draws the line and installs its head samples as the acquisition leaves them.
  cd::Doc install(short font, const std::string& text = "", std::vector<int> ordinaryInk = {},
                  uint32_t seed = 3, int dpi = 300) {
    cd::DocRequest r;
    r.font = font;
    r.text = text;
    r.seed = seed;
    r.dpi = dpi;
    r.deg = cd::condition("phase", seed);
    r.ordinaryInk = std::move(ordinaryInk);
    cd::Doc d = cd::makeDoc(r);
    pvk::magsynth::Head head;
    pvk::magsynth::Impairments imp;
    imp.noise = 1;  // a head is never silent
    mag_ = cd::magnetic(d, head, kOffset, imp);
    MyMICR.enabled = 1;
    MyMICR.samples = mag_.signal.bytes.data();
    MyMICR.nSamples = mag_.signal.bytes.size();
    MyMICR.reverse = 0;
    MyMICR.samplesPer3Px = static_cast<uint16_t>(head.samplesPer3Px);
    MyMICR.refOffset = static_cast<int16_t>(head.refLines);
    MyMICR.opticalOffset300 = kOffset;
    MyMICR.side = 1;
    MyAcq.planesPerLine = 1;
    MyAcq.dpiV = 300;
    MyOcr.ocrImg[1].dpi = static_cast<uint16_t>(dpi);
    // The head side's image: as long as the document, every raw line.
    MyDev.img[1].rowsUsed = static_cast<uint16_t>(mag_.rawLines);
    MyDev.img[1].fullHeight = static_cast<uint16_t>(mag_.rawLines);
    MyOcr.currentFont = pvk::codelinedocs::isE13B(font) ? 33 : 202;
    return d;
  }

  Result cmc7(cd::Doc& d, const OcrReading& opt, unsigned short maxChars = 128, short font = 32) {
    std::vector<char> text(maxChars + 8, '#'), conf(maxChars + 8, '#');
    std::vector<ChInfo> info(maxChars);
    Result r;
    r.n = pvk::micr::combineCmc7(d.image.view(), opt, text.data(), conf.data(), info.data(), font, maxChars);
    for (size_t k = maxChars; k < text.size(); ++k) {
      EXPECT_TRUE(text[k] == '#' && conf[k] == '#') << k;
    }
    if (r.n > 0) {
      r.text.assign(text.data(), static_cast<size_t>(r.n));
      for (int k = 0; k < r.n; ++k) r.conf.push_back(static_cast<signed char>(conf[k]));
      r.info.assign(info.begin(), info.begin() + r.n);
    }
    return r;
  }

  Result e13b(const OcrReading& opt, unsigned short maxChars = 128, uint16_t dpi = 300) {
    std::vector<char> text(maxChars + 8, '#'), conf(maxChars + 8, '#');
    Result r;
    const PVKImg zone{0, 0, 0, dpi, nullptr};  // the stage reads the zone's resolution only
    r.n = pvk::micr::combineE13B(zone, opt, text.data(), conf.data(), maxChars);
    for (size_t k = maxChars; k < text.size(); ++k) {
      EXPECT_TRUE(text[k] == '#' && conf[k] == '#') << k;
    }
    // A rejected line leaves the text as it was: the dispatch empties it first.
    if (r.n > 0) {
      EXPECT_EQ(text[static_cast<size_t>(r.n)], 0);
      r.text.assign(text.data(), static_cast<size_t>(r.n));
      for (int k = 0; k < r.n; ++k) r.conf.push_back(static_cast<signed char>(conf[k]));
    }
    return r;
  }

  cd::Magnetic mag_;
  pvk::testing::SavedRecords saved_;
};

}  // namespace

TEST_F(Combined, IdenticalReadingsGiveOneHundredAndTheBoxesStayWithTheirCharacters) {
  for (int mode : {1, 0}) {
    SCOPED_TRACE(mode);
    MyOcr.modeByte = static_cast<uint8_t>(mode);
    cd::Doc d = install(202);
    Result r = cmc7(d, opticalOf(d));
    // The re-spacing keeps a 52-character line's blanks (mode 1); mode 0 drops them after the
    // first position.
    std::string expect = d.truth;
    if (mode == 0) expect.erase(std::remove(expect.begin() + 1, expect.end(), ' '), expect.end());
    EXPECT_EQ(r.text, expect);
    for (int c : r.conf) EXPECT_EQ(c, 100);
    size_t box = 0;
    for (int k = 0; k < r.n; ++k) {
      if (r.text[static_cast<size_t>(k)] == ' ') continue;
      ASSERT_LT(box, d.boxes.size());
      EXPECT_NEAR(r.info[static_cast<size_t>(k)].left, d.boxes[box].left, 3) << k;
      EXPECT_NEAR(r.info[static_cast<size_t>(k)].right, d.boxes[box].right, 3) << k;
      ++box;
    }
  }
}

// The transport samples the head at 300 lines per inch whatever the zone's resolution: at 200 and
// 240 dpi the optical columns still land on their characters' samples. CMC7: both readings agree
// and the boxes come back in the zone's columns; E13B: an optical '?' is filled from the head.
TEST_F(Combined, AZoneAtAnotherResolutionMeetsTheHeadWhereItsCharactersLie) {
  for (int dpi : {200, 240}) {
    SCOPED_TRACE(dpi);
    cd::Doc c = install(202, "", {}, 3, dpi);
    Result r = cmc7(c, opticalOf(c));
    EXPECT_EQ(r.text, c.truth);
    for (int v : r.conf) EXPECT_EQ(v, 100);
    for (size_t k = 0, box = 0; k < r.text.size(); ++k) {
      if (r.text[k] == ' ') continue;
      EXPECT_NEAR(r.info[k].left, c.boxes[box].left, 2) << k;
      EXPECT_NEAR(r.info[k].right, c.boxes[box].right, 2) << k;
      ++box;
    }
    cd::Doc e = install(1, "", {}, 3, dpi);
    OcrReading o = opticalOf(e);
    o.text[3] = '?';
    o.conf[3] = 1;
    EXPECT_EQ(e13b(o, 128, static_cast<uint16_t>(dpi)).text, e.truth);
  }
}

TEST_F(Combined, AnOrdinaryInkCharacterBetweenMagneticOnesStaysUnconfirmed) {
  cd::Doc d = install(202, "", {5});
  Result r = cmc7(d, opticalOf(d));
  EXPECT_EQ(r.text, d.truth);
  ASSERT_EQ(r.n, static_cast<int>(d.truth.size()));
  // Never confirmed: at most the optical confidence, less by what the head's weak spill from its
  // neighbours is worth, and still above the line's threshold.
  EXPECT_LE(r.conf[5], 90);
  EXPECT_GE(r.conf[5], MyOcr.cmc7Thr);
  EXPECT_EQ(r.conf[6], 100);
}

TEST_F(Combined, TheMagneticPassMustConfirmEnoughOfTheOpticalLine) {
  struct Case {
    int optical, confirmed;
    bool enough;
  } cases[] = {{23, 4, false}, {23, 5, true}, {24, 5, false}, {24, 6, true},
               {40, 9, false}, {40, 10, true}, {3, 5, true},   {0, 4, false}};
  for (const Case& c : cases) {
    // Confirmed entries, then some that never count: unread, blank, too weak.
    std::string text(static_cast<size_t>(c.confirmed), '7');
    std::string conf(static_cast<size_t>(c.confirmed), static_cast<char>(6));
    text += "? 5";
    conf += std::string("\x64\x64\x05", 3);
    EXPECT_EQ(pvk::micr::magneticConfirms(text.c_str(), conf.c_str(), static_cast<int>(text.size()), c.optical),
              c.enough)
        << c.optical << "/" << c.confirmed;
  }
}

TEST_F(Combined, LimitsAndBadDpisGiveNothingAndNeverWritePastMaxChars) {
  cd::Doc d = install(202);
  const OcrReading o = opticalOf(d);
  const auto count = static_cast<unsigned short>(d.truth.size());
  EXPECT_EQ(cmc7(d, o, count).n, 0);
  EXPECT_EQ(cmc7(d, o, static_cast<unsigned short>(count + 1)).n, count);
  // The first step of both readers.
  PVKImg img = d.image.view();
  img.dpi = 0;
  MyDev.lastResult = 0;
  EXPECT_EQ(pvk::micr::checkCodelineImage(img, 128, false), -1);
  EXPECT_EQ(MyDev.lastResult, -1);
  img.dpi = 300;
  EXPECT_EQ(pvk::micr::checkCodelineImage(img, 128, true), 1);
  EXPECT_EQ(pvk::micr::checkCodelineImage(img, 7, true), 0);
  img.width = 63;
  EXPECT_EQ(pvk::micr::checkCodelineImage(img, 128, true), 0);
  img.width = 64;
  img.height = 11;
  EXPECT_EQ(pvk::micr::checkCodelineImage(img, 128, true), 0);
  EXPECT_EQ(pvk::micr::checkCodelineImage(img, 128, false), 1);
  // Without a vertical dpi there is no magnetic window: nothing is confirmed, nothing handed out.
  MyAcq.dpiV = 0;
  EXPECT_EQ(cmc7(d, o).n, 0);
  cd::Doc e = install(1);
  MyAcq.dpiV = 0;
  EXPECT_EQ(e13b(opticalOf(e)).n, 0);
  // A window end past 65,535 columns (10,923 rows x 600 / 100 = 65,538) is no wrapped window
  // of two columns.
  cd::Doc f = install(202);
  MyAcq.dpiV = 100;
  MyOcr.ocrImg[1].dpi = 600;
  MyDev.img[1].rowsUsed = 10923;
  EXPECT_EQ(cmc7(f, opticalOf(f)).text, f.truth);
}

TEST_F(Combined, WithoutAnOpticalReadingTheMagneticPassRunsOnlyWhenItsDataIsDumped) {
  cd::Doc d = install(202);
  OcrReading none{};
  for (int n : {0, -1}) {
    none.n = n;
    fNameDatiMICR = nullptr;
    EXPECT_EQ(cmc7(d, none).n, n);
    char path[] = "/tmp/pvk_combined_dump_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    std::remove(path);
    fNameDatiMICR = path;
    EXPECT_EQ(cmc7(d, none).n, 0);
    FILE* f = std::fopen(path, "rb");
    ASSERT_NE(f, nullptr) << "the magnetic pass did not run";
    std::fclose(f);
    std::remove(path);
    fNameDatiMICR = nullptr;
  }
  // Without a device the magnetic pass runs all the same.
  MyDev.productId = 0;
  none.n = -1;
  EXPECT_EQ(cmc7(d, none).n, 0);
}

TEST_F(Combined, E13BMergesTheMagneticReadingIntoTheOpticalOne) {
  cd::Doc d = install(1);
  OcrReading o = opticalOf(d);
  // An optical '?' where the head read the symbol with confidence 30 or more is filled.
  o.text[3] = '?';
  o.conf[3] = 1;
  Result r = e13b(o);
  ASSERT_EQ(r.n, static_cast<int>(d.truth.size()));
  EXPECT_EQ(r.text[3], d.truth[3]);
  EXPECT_GE(r.conf[3], 30);
  // The head side's image cropped to the document, as the acquisition leaves it: the magnetic
  // window still reaches the document's end, where it fills an unread character too.
  MyDev.img[1].fullHeight = static_cast<uint16_t>(d.image.width);
  OcrReading late = opticalOf(d);
  late.text[late.n - 2] = '?';
  late.conf[late.n - 2] = 1;
  EXPECT_EQ(e13b(late).text, d.truth);
  // Without the head the optical reading stands; its mean decides: 19 is nothing, 20 is kept.
  MyMICR.enabled = 0;
  EXPECT_EQ(e13b(opticalOf(d, 19)).n, 0);
  Result kept = e13b(opticalOf(d, 20));
  EXPECT_EQ(kept.text, d.truth);
  // A read character at confidence 1 is no reading.
  OcrReading weak = opticalOf(d, 60);
  weak.conf[2] = 1;
  EXPECT_EQ(e13b(weak).text[2], '?');
}
