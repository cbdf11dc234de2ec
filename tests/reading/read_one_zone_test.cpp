// One zone end to end on real pixels: symbols from the symbol corpus (each first read by
// ZXing-cpp) placed on a document side, the side acquired turned by a quarter, a half or three
// quarters, its OCR image built upright, and the zone read through Vx3Read1Zone. Then the
// argument checks, the caller's buffers at every capacity, and what a reading leaves behind.
#include <ZXing/ReadBarcode.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ocr/ocr.h"
#include "reading/reading.h"
#include "reading_fixture.h"
#include "symbol_corpus.h"
#include "zone_corpus.h"
#include "codeline_docs.h"
#include "demo_cheque.h"

namespace {

using pvk::testing::countOf;
namespace corpus = pvk::corpus;
namespace zc = pvk::zonecorpus;

// What ZXing-cpp reads in the grey image; empty when nothing.
std::string zxingText(const cv::Mat& m) {
  ZXing::DecodeHints hints;
  hints.setTryRotate(false);
  const ZXing::Result r = ZXing::ReadBarcode(ZXing::ImageView(m.data, m.cols, m.rows, ZXing::ImageFormat::Lum,
                                                              static_cast<int>(m.step)), hints);
  if (!r.isValid()) return "";
  const ZXing::ByteArray& b = r.bytes();
  return std::string(b.begin(), b.end());
}

cv::Mat symbolImage(corpus::Symbology s, const std::string& data, double xMils) {
  corpus::SymbolSpec spec;
  spec.symbology = s;
  spec.data = data;
  corpus::DrawSpec draw;
  draw.dpi = 300;
  draw.xMils = xMils;
  corpus::Sample sample;
  EXPECT_TRUE(corpus::makeSample(spec, draw, 0, 1, sample)) << data;
  return cv::Mat(sample.image.height, sample.image.width, CV_8UC1, sample.image.pixels.data()).clone();
}

// A white side at 300 dpi (at least 1200 x 600) with the picture at (x, y); the zone around it in 1/150 inch.
struct Placed {
  cv::Mat side;
  PVKOCRZone zone;
};

Placed place(const cv::Mat& picture, int x, int y, short font, short option = 0) {
  Placed p;
  p.side = cv::Mat(std::max(600, y + picture.rows + 40), std::max(1200, x + picture.cols + 40), CV_8UC1, cv::Scalar(255));
  picture.copyTo(p.side(cv::Rect(x, y, picture.cols, picture.rows)));
  p.zone = PVKOCRZone{(x - 20) / 2, (y - 20) / 2, (picture.cols + 40) / 2, (picture.rows + 40) / 2, 1, font, option, 0};
  return p;
}

// The side as the scanner acquired it when the document lay turned: the OCR image built with
// the rotation turns it back upright.
cv::Mat acquiredFor(const cv::Mat& upright, uint16_t rotation) {
  cv::Mat out;
  switch (rotation) {
    case 256: cv::rotate(upright, out, cv::ROTATE_90_COUNTERCLOCKWISE); break;
    case 512: cv::rotate(upright, out, cv::ROTATE_180); break;
    case 768: cv::rotate(upright, out, cv::ROTATE_90_CLOCKWISE); break;
    default: out = upright.clone();
  }
  return out;
}

class ReadOneZone : public pvk::testing::ReadingFixture {
 protected:
  void SetUp() override {
    ReadingFixture::SetUp();
    MyAcq.colourLines = 1;
    MyAcq.planesPerLine = 1;
  }
  // Builds the OCR image of the front for the document rotation and reads the zone on it.
  std::string readOn(const Placed& p, uint16_t rotation, int* count = nullptr, unsigned short maxChars = 128,
                     bool symbol = true) {
    setSide(1, acquiredFor(p.side, rotation));
    PVKOCRDoc doc{};
    doc.nZones = 1;
    doc.rotation = rotation;
    MyOcrFree(1, false);
    EXPECT_TRUE(Vx3CreateOCRImage(1, &doc, 0)) << rotation;
    PVKOCRZone zone = p.zone;
    std::vector<char> text(maxChars + 1, 'x'), conf(maxChars + 1, 'x');
    std::vector<ChInfo> info(maxChars + 1);
    const bool ok = Vx3Read1Zone(&MyOcr.ocrImg[1], &zone, 0, maxChars, text.data(), conf.data(), info.data(), 1, nullptr);
    EXPECT_TRUE(ok) << rotation;
    if (count) *count = zone.charsRead;
    const std::string t(text.data(), zone.charsRead);
    for (int i = 0; i < zone.charsRead; ++i) EXPECT_TRUE(symbol ? conf[i] == 100 : conf[i] >= 1 && conf[i] <= 100) << i;
    if (maxChars > 0) {
      EXPECT_EQ(text[zone.charsRead], '\0');
    }
    return t;
  }
};

TEST_F(ReadOneZone, ADataMatrixReadsInEveryDocumentRotation) {
  const std::string data = "1" "03069" "01600" "1234567890" "AB12CD34" "00000012345";  // an Italian cheque's 40
  const cv::Mat symbol = symbolImage(corpus::Symbology::DataMatrix, data, 15);
  ASSERT_EQ(zxingText(symbol), data);
  const Placed p = place(symbol, 700, 120, 36);
  for (uint16_t rotation : {0, 256, 512, 768}) {
    MyITACheck = ITACheckInfo{};
    EXPECT_EQ(readOn(p, rotation), data) << rotation;
    EXPECT_STREQ(MyITACheck.dmChequeNo, "1234567890") << rotation;
    EXPECT_STREQ(MyITACheck.dmAmountFmt, "000000123,45") << rotation;
    EXPECT_EQ(MyITACheck.dmTypeDigit, 1);
  }
}

// One block handed straight to the reader of its font, and the reader dispatch's own checks.
TEST_F(ReadOneZone, OneBlockGoesToTheReaderOfItsFont) {
  const std::string data = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
  cv::Mat symbol = symbolImage(corpus::Symbology::DataMatrix, data, 15);
  ASSERT_EQ(zxingText(symbol), data);
  cv::Mat zone;
  cv::copyMakeBorder(symbol, zone, 20, 20, 20, 20, cv::BORDER_REPLICATE);
  PVKImg img{static_cast<uint16_t>(zone.cols), static_cast<uint16_t>(zone.rows), static_cast<uint16_t>(zone.step), 300,
             zone.data};
  PVKOCRZone z{0, 0, zone.cols, zone.rows, 1, 36, 0, 0};
  char text[40], conf[40];
  std::memset(conf, 7, sizeof conf);
  // Through the dispatch read as one block: it hands the image's dpi to the DataMatrix locator.
  ASSERT_EQ(Vx3OCRRead(img, &z, text, conf, nullptr, sizeof text, img.width, false), 30);
  EXPECT_EQ(MyOcr.currentFont, 36);
  EXPECT_EQ(MyOcr.dmDpi, 300);
  EXPECT_EQ(std::string(text), data);
  EXPECT_EQ(std::string(conf), std::string(30, 100)) << "every confidence 100, then a NUL";
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(Vx3OCRAnalizzaZone(img, &z, text, conf, nullptr, sizeof text), 30);
  EXPECT_EQ(std::string(text), data);
  // Below a tenth of an inch a DataMatrix is not looked for.
  PVKImg small = img;
  small.height = 29;
  text[0] = 'x';
  EXPECT_EQ(Vx3OCRAnalizzaZone(small, &z, text, conf, nullptr, sizeof text), 0);
  EXPECT_EQ(text[0], 'x') << "not read: nothing written";
  // No room, or a cut of 39 pixels: nothing read, traced.
  EXPECT_EQ(Vx3OCRRead(img, &z, text, conf, nullptr, 0, img.width, false), 0);
  EXPECT_EQ(text[0], 'x');
  PVKImg narrow = img;
  narrow.width = 39;
  EXPECT_EQ(Vx3OCRRead(narrow, &z, text, conf, nullptr, sizeof text, narrow.width, false), 0);
  const std::string t = trace();
  EXPECT_EQ(countOf(t, "war -  no more OCR char\r\n"), 1) << t;
  EXPECT_EQ(countOf(t, "war -  Ocr Read with too small area\r\n"), 1) << t;
  // The mode byte follows the zone option: any non-zero value keeps blanks.
  z.option = -1;
  Vx3OCRRead(img, &z, text, conf, nullptr, sizeof text, img.width, false);
  EXPECT_EQ(MyOcr.modeByte, 1);
}

TEST_F(ReadOneZone, AQrZoneIsLocatedAndGivesNoText) {
  const cv::Mat symbol = symbolImage(corpus::Symbology::QrCode, "HTTPS://EXAMPLE.ORG/0123", 15);
  ASSERT_EQ(zxingText(symbol), "HTTPS://EXAMPLE.ORG/0123");
  const Placed p = place(symbol, 100, 100, 37);
  MyLog.Debug = 0x2;
  int n = -1;
  EXPECT_EQ(readOn(p, 512, &n), "");
  EXPECT_EQ(n, 0);
  const std::string t = trace();
  EXPECT_EQ(countOf(t, "getting QRCODE\r\n"), 1) << t;
  EXPECT_EQ(countOf(t, "PQrCodeDecode returned len 0\r\n"), 1) << t;
  EXPECT_EQ(countOf(t, "end reading zone with font 37\r\n"), 1) << t;
}

TEST_F(ReadOneZone, ACode128ReadsInEveryDocumentRotation) {
  const std::string data = "PVK-2026-0042";
  const cv::Mat symbol = symbolImage(corpus::Symbology::Code128, data, 10);
  ASSERT_EQ(zxingText(symbol), data);
  const Placed p = place(symbol, 200, 300, static_cast<short>(corpus::ownFont(corpus::Symbology::Code128)));
  for (uint16_t rotation : {0, 256, 512, 768}) EXPECT_EQ(readOn(p, rotation), data) << rotation;
}

TEST_F(ReadOneZone, APdf417ReadsInEveryDocumentRotation) {
  const std::string data = "PVK PDF417 0042";
  const cv::Mat symbol = symbolImage(corpus::Symbology::Pdf417, data, 10);
  ASSERT_EQ(zxingText(symbol), data);
  const Placed p = place(symbol, 100, 150, 8);
  // Switch 1 clear, the column search parts a 10-mil symbol at the 3-module space after its start
  // pattern, and the row is read whole; set, as for the document reader's bands, it is not parted.
  for (uint8_t one : {0, 1}) {
    MyOcr.multiLine = one;
    for (uint16_t rotation : {0, 256, 512, 768}) EXPECT_EQ(readOn(p, rotation), data) << rotation << " switch " << +one;
  }
}

// An OCR-B line drawn by the zone corpus: the blanks go as the OCR of font 4 drops them.
TEST_F(ReadOneZone, AnOcrBLineReadsInEveryDocumentRotation) {
  std::snprintf(MyOcr.dbDir, sizeof MyOcr.dbDir, "%s", PVK_FONT_DB_DIR "/");
  zc::ZoneRequest r;
  r.font = 4;
  r.text = {"12345 678"};
  r.seed = 7;
  zc::Zone z = zc::makeZone(r);
  const cv::Mat line(z.image.height, z.image.width, CV_8UC1, z.image.pixels.data(), z.image.stride);
  const Placed p = place(line, 150, 250, 4);
  for (uint16_t rotation : {0, 256, 512, 768}) {
    MyOcr.typeDoc = z.typeDoc;
    EXPECT_EQ(readOn(p, rotation, nullptr, 128, false), "12345678") << rotation;
  }
}

// A CMC7 codeline of an Italian cheque (the codeline documents' generator, slightly blurred) read
// by the optical CMC7 reader of font 0.
TEST_F(ReadOneZone, ACmc7CodelineReadsInEveryDocumentRotation) {
  std::snprintf(MyOcr.dbDir, sizeof MyOcr.dbDir, "%s", PVK_FONT_DB_DIR "/");
  pvk::codelinedocs::DocRequest r;
  r.font = 202;
  r.seed = 4;
  r.deg = pvk::codelinedocs::condition("blur", 4);
  pvk::codelinedocs::Doc d = pvk::codelinedocs::makeDoc(r);
  std::string truth = d.truth;
  truth.erase(std::remove(truth.begin(), truth.end(), ' '), truth.end());
  const cv::Mat line(d.image.height, d.image.width, CV_8UC1, d.image.pixels.data(), d.image.stride);
  const Placed p = place(line, 40, 300, 0);
  for (uint16_t rotation : {0, 256, 512, 768}) {
    MyOcr.typeDoc = 3;
    MyOcr.cmc7Thr = 60;
    EXPECT_EQ(readOn(p, rotation, nullptr, 128, false), truth) << rotation;
  }
}

// Codelines drawn by the zone corpus: E13B read by the OCR of font 1 and by the combined reader
// (33, no head: its optical pass). The turned document gives the printed characters.
TEST_F(ReadOneZone, E13BCodelinesReadInEveryDocumentRotation) {
  std::snprintf(MyOcr.dbDir, sizeof MyOcr.dbDir, "%s", PVK_FONT_DB_DIR "/");
  for (short font : {1, 33}) {
    zc::ZoneRequest r;
    r.font = 1;
    r.seed = 11;
    zc::Zone z = zc::makeZone(r);
    std::string truth;
    for (char c : z.lines[0])
      if (c != ' ') truth += c;
    const cv::Mat line(z.image.height, z.image.width, CV_8UC1, z.image.pixels.data(), z.image.stride);
    const Placed p = place(line, 40, 300, font);
    for (uint16_t rotation : {0, 256, 512, 768}) {
      MyOcr.typeDoc = z.typeDoc;
      std::string got = readOn(p, rotation, nullptr, 128, false);
      got.erase(std::remove(got.begin(), got.end(), ' '), got.end());
      EXPECT_EQ(got, truth) << font << " " << rotation;
    }
  }
}

// The demo cheque's text zones as the scanner's calibration gives them, black ink on white
// paper: an OCR-B line and a CMC7 codeline, each read off the front's OCR image.
TEST_F(ReadOneZone, TheDemoChequeTextsReadAtFullContrast) {
  std::snprintf(MyOcr.dbDir, sizeof MyOcr.dbDir, "%s", PVK_FONT_DB_DIR "/");
  pvk::democheque::Cheque c = pvk::democheque::makeCheque(202);
  const cv::Mat printed(c.height, c.width, CV_8UC1, c.front.data());
  cv::Mat front;
  printed.convertTo(front, CV_8U, 255.0 / 229.0, -255.0 / 229.0);  // ink 1 to 0, paper 230 to 255
  setSide(1, front);
  PVKOCRDoc doc{};
  doc.nZones = 1;
  ASSERT_TRUE(Vx3CreateOCRImage(1, &doc, 0));
  int texts = 0;
  for (const pvk::democheque::Item& it : c.items) {
    if (it.font != 4 && it.font != 202) continue;
    SCOPED_TRACE(it.what);
    ++texts;
    PVKOCRZone zone{it.left / 2, it.top / 2, it.width / 2, it.height / 2, 1, it.font, 0, 0};
    MyOcr.typeDoc = 1;
    char text[128], conf[128];
    ASSERT_TRUE(Vx3Read1Zone(&MyOcr.ocrImg[1], &zone, 0, sizeof text, text, conf, nullptr));
    EXPECT_EQ(std::string(text, zone.charsRead), it.text);
  }
  EXPECT_EQ(texts, 2);
}

TEST_F(ReadOneZone, BuffersOfEveryCapacity) {
  const std::string data = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";  // 30
  const Placed p = place(symbolImage(corpus::Symbology::DataMatrix, data, 15), 200, 100, 36);
  setSide(1, p.side);
  ASSERT_TRUE(Vx3CreateOCRImage(1, nullptr, 0));
  constexpr int kGuard = 8;
  // The DataMatrix reader gives a text whole or not at all: below 31 bytes it reads nothing.
  for (int maxChars : {0, 1, 2, 29, 30, 31, 32, 34}) {
    std::vector<char> text(maxChars + 2 * kGuard, '#'), conf(maxChars + 2 * kGuard, '#');
    PVKOCRZone zone = p.zone;
    ASSERT_TRUE(Vx3Read1Zone(&MyOcr.ocrImg[1], &zone, 0, static_cast<unsigned short>(maxChars), text.data() + kGuard,
                             conf.data() + kGuard, nullptr))
        << maxChars;
    const int expected = maxChars > 30 ? 30 : 0;
    EXPECT_EQ(zone.charsRead, expected) << maxChars;
    for (int i = 0; i < kGuard; ++i) {
      ASSERT_EQ(text[i], '#') << maxChars;
      ASSERT_EQ(conf[i], '#') << maxChars;
      ASSERT_EQ(text[kGuard + maxChars + i], '#') << maxChars;
      ASSERT_EQ(conf[kGuard + maxChars + i], '#') << maxChars;
    }
    if (maxChars == 0) {
      EXPECT_EQ(text[kGuard], '#') << "capacity 0 writes nothing";
      continue;
    }
    EXPECT_EQ(std::string(text.data() + kGuard), data.substr(0, expected)) << maxChars;
    EXPECT_EQ(conf[kGuard + expected], '\0');
  }
}

TEST_F(ReadOneZone, ArgumentsAndZonesOutside) {
  setSide(1, cv::Mat(300, 600, CV_8UC1, cv::Scalar(255)));
  ASSERT_TRUE(Vx3CreateOCRImage(1, nullptr, 0));
  char text[16], conf[16];
  PVKOCRZone zone{0, 0, 100, 50, 1, 36, 0, 7};
  EXPECT_FALSE(Vx3Read1Zone(nullptr, &zone, 0, 16, text, conf, nullptr));
  EXPECT_EQ(zone.charsRead, 0) << "a zone given is cleared first";
  EXPECT_EQ(MyDev.lastResult, -3);
  EXPECT_FALSE(Vx3Read1Zone(&MyOcr.ocrImg[1], &zone, 0, 16, nullptr, conf, nullptr));
  EXPECT_FALSE(Vx3Read1Zone(&MyOcr.ocrImg[1], &zone, 0, 16, text, nullptr, nullptr));
  EXPECT_FALSE(Vx3Read1Zone(&MyOcr.ocrImg[1], nullptr, 0, 16, text, conf, nullptr));
  EXPECT_EQ(countOf(trace(), "err -  Null img, zone or cdl pointer\r\n"), 4);
  // Outside the image: read as nothing, and true.
  zone = PVKOCRZone{400, 0, 50, 50, 1, 36, 0, 7};
  MyDev.lastResult = 0;
  text[0] = 'x';
  EXPECT_TRUE(Vx3Read1Zone(&MyOcr.ocrImg[1], &zone, 0, 16, text, conf, nullptr));
  EXPECT_EQ(zone.charsRead, 0);
  EXPECT_EQ(text[0], '\0');
  EXPECT_EQ(countOf(trace(), "war -  Zone is outside the document\r\n"), 1);
  // A narrow cut, a bad rotation, a reserved pointer.
  zone = PVKOCRZone{0, 0, 17, 50, 1, 36, 0, 7};  // 34 pixels
  int reserved = 0;
  EXPECT_TRUE(Vx3Read1Zone(&MyOcr.ocrImg[1], &zone, 100, 16, text, conf, &reserved));
  const std::string t = trace();
  EXPECT_EQ(countOf(t, "war -  Ocr Read with too small area\r\n"), 1) << t;
  EXPECT_EQ(countOf(t, "war -  OCR document rotation with invalid value. No rotation is used (b)\r\n"), 1);
  EXPECT_EQ(countOf(t, "unexpected pointer\r\n"), 1);
  EXPECT_EQ(MyOcr.zoneSide, 1) << "the short form reads the zone's own side";
}

TEST_F(ReadOneZone, AMirroredFontLeavesTheOcrImageAlone) {
  cv::Mat side(300, 600, CV_8UC1);
  cv::randu(side, 0, 256);
  setSide(1, side);
  ASSERT_TRUE(Vx3CreateOCRImage(1, nullptr, 0));
  const cv::Mat before = ocrMat(1).clone();
  for (short font : {935, 936, 937}) {
    char text[32], conf[32];
    PVKOCRZone zone{10, 10, 100, 60, 1, font, 0, 0};
    Vx3Read1Zone(&MyOcr.ocrImg[1], &zone, 0, 32, text, conf, nullptr);
    EXPECT_EQ(cv::norm(ocrMat(1), before, cv::NORM_INF), 0) << font;
  }
}

TEST_F(ReadOneZone, ACutIsDumpedWhenAsked) {
  setSide(1, cv::Mat(300, 600, CV_8UC1, cv::Scalar(255)));
  ASSERT_TRUE(Vx3CreateOCRImage(1, nullptr, 0));
  MyOcr.cdlImg = 1;
  MyAcq.colourLines = 3;
  char text[16], conf[16];
  for (int i = 0; i < 2; ++i) {
    PVKOCRZone zone{0, 0, 100, 50, 1, 36, 0, 0};
    EXPECT_TRUE(Vx3Read1Zone(&MyOcr.ocrImg[1], &zone, 0, 16, text, conf, nullptr));
  }
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/cl_00.bmp"));
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/cl_01.bmp"));
  EXPECT_EQ(MyOcr.cdlImgCounter, 2);
  EXPECT_EQ(MyAcq.colourLines, 3) << "restored after the dump";
}

}  // namespace
