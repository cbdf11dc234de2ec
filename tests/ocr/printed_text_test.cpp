// Text printed by others read by the zone reader: lines set by ImageMagick in the system's OCR-B
// and Liberation Sans fonts, at the sizes hosts print (8 to 14 points), on the look-alikes the
// engine's shapes alone cannot tell apart (a letter O and a zero, a dot and a dash or an
// apostrophe, an amount's comma and stars, a wide W). Each is read exactly, and nothing is read
// wrong with a confidence of 50 or more.
#include <gtest/gtest.h>

#include <string>

#include "ocr_lines_fixture.h"
#include "printed_zone.h"
#include "zone_score.h"

namespace pvk::test {
namespace {

using namespace pvk::zonecorpus;

class PrintedText : public OcrLinesTest {};

TEST_F(PrintedText, LookAlikesAndSizesReadExactly) {
  if (magickProgram().empty()) GTEST_SKIP() << "ImageMagick is not installed";
  const std::string ocrb = "/usr/share/fonts/opentype/ocr-b/OCRB.otf";
  const std::string sans = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
  const std::string ocra = "/usr/share/fonts/truetype/ocr-a/OCRA.ttf";
  struct Case {
    short font;
    uint16_t typeDoc;
    int dpi;
    double points;
    const std::string* face;
    const char* text;
  };
  const Case cases[] = {
      {3, 0, 300, 10, &ocrb, "ROAD 1000 BOX"},        // O and 0 told by their height
      {3, 0, 200, 11, &ocrb, "ROOM QUEEN 2008"},      // the same at 200 dpi
      {3, 0, 200, 8, &ocrb, "OOOOOOOO AG4IP7 2008"},  // 8 points: the line's zeros stand a row above its O
      {4, 0, 300, 14, &ocrb, "57 88219 2629"},        // 14-point digits stand 46 rows
      {4, 0, 300, 11, &ocrb, "4650 34.56"},           // a dot, not a dash
      {4, 0, 300, 14, &ocrb, "4451,8914 55"},         // a 14-point comma, not a slash
      {3, 0, 300, 12, &ocrb, "VL4GB."},               // a dot, not an apostrophe
      {2, 0, 200, 12, &ocra, "420.77441 64502"},      // a 200-dpi dot has ink enough, and is no dash
      {945, 3, 300, 10, &sans, "WALTER WAGNER"},      // a W wider than the old width limit
      {945, 3, 300, 14, &sans, "EDWARD NEWTON"},      // 14 points, taller than the old height limit
      {945, 3, 300, 11, &sans, "PIXEL JAX LUCIA"},    // an L among capitals, not an l
      {945, 3, 200, 8, &sans, "XAVIER ZANETTI DELTA SRL"},  // a small L: an OCR-B l fits it better
      {945, 3, 300, 12, &sans, "YORK DELTA SRL WW WAVE"},   // kerned pairs: L and T, W and A, A and V
      {944, 3, 300, 11, &sans, "**14011,16**"},       // an amount's comma and its stars
      {944, 3, 300, 9, &sans, "97318,42"},
      {944, 3, 200, 9, &sans, "**90565,76**"},        // at 200 dpi each pair of stars runs together
      {944, 3, 200, 8, &sans, "**54474,56**"},        // 8-point stars at 200 dpi: blocks of 4 by 6, under a star's size
      {944, 3, 200, 8, &sans, "**94687,48**"},        // an 8-point comma at 200 dpi comes out one column wide
      {944, 3, 200, 8, &sans, "45008,68"},            // ... and is read in a line a sixth of whose width is two
      {944, 3, 300, 14, &sans, "54379,77"},           // 14-point digits stand 37 rows, over the old line height
  };
  for (const Case& c : cases) {
    PrintRequest r;
    r.font = c.font;
    r.typeDoc = c.typeDoc;
    r.dpi = c.dpi;
    r.points = c.points;
    r.fontFile = *c.face;
    r.lines = {c.text};
    Zone z = printZone(r);
    MyOcr = OcrInfo{};
    std::snprintf(MyOcr.dbDir, sizeof MyOcr.dbDir, "%s", PVK_FONT_DB_DIR "/");
    MyOcr.typeDoc = c.typeDoc;
    char text[128] = {}, conf[128] = {};
    const int n = ReadOCR(z.image.view(), text, conf, nullptr, c.font, sizeof text);
    ASSERT_GE(n, 0) << z.id;
    const Tally t = scoreReading(z.lines, std::string(text, n), std::string(conf, n), false, false);
    EXPECT_EQ(t.errors, 0) << z.id << " read \"" << std::string(text, n) << "\"";
    EXPECT_EQ(t.confidentWrong, 0) << z.id;
  }
}

// A host reads a zone, other fonts' zones and set-ups come between, and the zone reads the same.
TEST_F(PrintedText, ReadingAgainAfterOtherFontsGivesTheSameText) {
  if (magickProgram().empty()) GTEST_SKIP() << "ImageMagick is not installed";
  auto zone = [](short font, uint16_t typeDoc, const char* face, const char* text) {
    PrintRequest r;
    r.font = font;
    r.typeDoc = typeDoc;
    r.dpi = 200;
    r.points = 10;
    r.fontFile = face;
    r.lines = {text};
    return printZone(r);
  };
  Zone payee = zone(945, 3, "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf", "WALTER DELTA SRL");
  Zone ocrb = zone(3, 0, "/usr/share/fonts/opentype/ocr-b/OCRB.otf", "ROAD 1000 BOX");
  MyOcr = OcrInfo{};
  std::snprintf(MyOcr.dbDir, sizeof MyOcr.dbDir, "%s", PVK_FONT_DB_DIR "/");
  auto read = [](Zone& z) {
    MyOcr.typeDoc = z.typeDoc;
    char text[128] = {}, conf[128] = {};
    const int n = ReadOCR(z.image.view(), text, conf, nullptr, z.font, sizeof text);
    return n < 0 ? std::string("error") : std::string(text, n) + "|" + std::string(conf, n);
  };
  const std::string first = read(payee);
  EXPECT_EQ(read(ocrb), read(ocrb));
  MyOcr.typeDoc = 3;
  ASSERT_GE(InitOCR(944, false, 1.0f), 0);  // a check of another font, nothing loaded
  EXPECT_EQ(read(payee), first);

  // The kept databases serve only the set-up that loaded them: a check that loads nothing and
  // another document type's spacing are not carried into the next set-up of the font.
  MyOcr.typeDoc = 12;
  ASSERT_EQ(InitOCR(3, true, 1.0f), 1);
  MyOcr.typeDoc = 0;
  ASSERT_EQ(InitOCR(3, true, 1.0f), 1);
  EXPECT_FLOAT_EQ(DBList[0].spaceFactor, 1.3f);
  MyOcr.typeDoc = 3;
  ASSERT_GE(InitOCR(945, false, 1.0f), 0);
  MyOcr.typeDoc = 0;
  EXPECT_EQ(InitOCR(3, true, 1.0f), 1);
  ocr_clear();
}

}  // namespace
}  // namespace pvk::test
