// What the tests of the line assembly and of the generated font databases share: the engine set
// up for a font code on the generated database directory, lines of text rendered from the
// databases' own fonts, and a reading of such a line through the binarisation, the segmentation
// and ocr_read.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "font_db.h"
#include "ocr_core_fixture.h"
#include "ocr/ocr.h"

#ifndef PVK_FONT_DB_DIR
#error "PVK_FONT_DB_DIR names the directory of the generated font databases"
#endif

namespace pvk::test {

struct LineReading {
  std::string text;
  std::string conf;
  std::vector<ChInfo> info;
  int count = 0;
};

class OcrLinesTest : public OcrCoreTest {
 protected:
  void SetUp() override {
    // The database table is worked out from the engine's set-ups once, before the test's engine
    // state and trace exist.
    fontdb::databases();
    OcrCoreTest::SetUp();
    std::snprintf(MyOcr.dbDir, sizeof MyOcr.dbDir, "%s", PVK_FONT_DB_DIR "/");
  }
  void TearDown() override {
    pvk::ocr::freeBWImg();
    OcrCoreTest::TearDown();
  }

 public:
  // Sets the engine up for font at dpi as the zone reader does; the result of InitOCR.
  static int setUp(short font, int dpi, uint16_t typeDoc = 0, bool lowerCase = false) {
    MyOcr.typeDoc = typeDoc;
    const int r = InitOCR(font, true, dpi / 300.0f);
    MyOcr.lowerCase = lowerCase ? 1 : 0;
    aw = MyOcr.charWidth > 0 ? MyOcr.charWidth : 1;
    ah = MyOcr.charHeight > 0 ? MyOcr.charHeight : 1;
    return r;
  }

  // Reads a grey image as one band: binarised at threshold, segmented, assembled.
  static LineReading readImage(glyphs::GreyImage& img, uint8_t threshold, int maxChars = kOcrChars) {
    LineReading out;
    PVKImg v = img.view();
    if (!Convol(&v, threshold, false)) return out;
    if (ocr_pre_process(BWImg, v.width, v.height) < 0) return out;
    std::vector<char> text(maxChars), conf(maxChars);
    out.info.resize(maxChars);
    out.count = ocr_read(text.data(), conf.data(), out.info.data(), maxChars, 0);
    if (out.count > 0) {
      out.text.assign(text.data(), out.count);
      out.conf.assign(conf.data(), out.count);
      out.info.resize(out.count);
    }
    return out;
  }

  // The threshold of a line drawn black on white: Convol's text mode darkens a pixel whose
  // horizontal neighbourhood is darker than about 1.9 times it, so this is about halfway.
  static constexpr uint8_t kHalfway = 68;
  // Microperforation holes are small dark dots: their binarisation looks at lighter levels.
  static uint8_t thresholdFor(short font) { return IsMICROPERFORATIONFont(font, true) ? 200 : kHalfway; }
};

}  // namespace pvk::test
