// The document set-up on real pixels: an Italian cheque side with its DataMatrix drawn by the
// symbol corpus at the cheque's fixed place, acquired upright or upside down. The OCR images are
// built and the DataMatrix is read by the library's own readers; only the codeline band is
// scripted, and it reads only on an OCR image turned upright.
#include <opencv2/core.hpp>

#include <cstring>
#include <string>

#include "reading/reading.h"
#include "reading_fixture.h"
#include "symbol_corpus.h"

namespace {

namespace corpus = pvk::corpus;

// Type digit, ABI, CAB, cheque number, account, amount: 40 characters.
const std::string kDataMatrix = "1" "03069" "01600" "1234567890" "AB12CD34" "00000012345";
// The codeline of the same cheque: its ABI/CAB field is checked against the DataMatrix from its
// third character on.
const std::string kCodeline = ":1234567890; 306901600> 000012345<";

pvk::reading::ZoneReaders library{};
uint16_t uprightRotation = 0;
std::string bandText;

bool bandScripted(PVKImg* image, PVKOCRZone* zone, short rotation, unsigned short maxChars, char* text, char* conf,
                  ChInfo* info, unsigned short side, void* reserved) {
  if (zone->font != 0) return library.readZone(image, zone, rotation, maxChars, text, conf, info, side, reserved);
  text[0] = conf[0] = 0;
  zone->charsRead = 0;
  if (MyOcr.ocrImgRotation[side] != uprightRotation || side != 1) return true;
  const int n = static_cast<int>(bandText.size());
  std::memcpy(text, bandText.c_str(), static_cast<size_t>(n) + 1);
  std::memset(conf, 90, static_cast<size_t>(n));
  conf[4] = 30;  // one weak digit of the cheque number
  conf[n] = 0;
  for (int i = 0; info && i < n; ++i) {
    info[i] = ChInfo{};
    info[i].left = static_cast<uint16_t>(100 + 37 * i);
    info[i].right = static_cast<uint16_t>(125 + 37 * i);
    info[i].top = 60;
    info[i].bottom = 95;
  }
  zone->charsRead = static_cast<uint16_t>(n);
  MyITACheck.semicolonAt10 = 1;  // as the CMC7 reader leaves it for ';' at 10..13
  return true;
}

cv::Mat chequeSide(const std::string& dataMatrix) {
  corpus::SymbolSpec spec;
  spec.symbology = corpus::Symbology::DataMatrix;
  spec.data = dataMatrix;
  corpus::DrawSpec draw;
  draw.dpi = 300;
  draw.xMils = 15;
  corpus::Sample sample;
  EXPECT_TRUE(corpus::makeSample(spec, draw, 0, 1, sample));
  const cv::Mat symbol(sample.image.height, sample.image.width, CV_8UC1, sample.image.pixels.data());
  // 2000 x 900 at 300 dpi; the fixed DataMatrix zone is 140 x 140 (1/150 inch) at 10 from the
  // left, its top 280 above the bottom edge: pixels 20..300 across, 340..620 down.
  cv::Mat side(900, 2000, CV_8UC1, cv::Scalar(255));
  EXPECT_LE(symbol.cols, 230);
  EXPECT_LE(symbol.rows, 230);
  symbol.copyTo(side(cv::Rect(50, 370, symbol.cols, symbol.rows)));
  return side;
}

class DocumentOnPixels : public pvk::testing::ReadingFixture {
 protected:
  void SetUp() override {
    ReadingFixture::SetUp();
    library = pvk::reading::zoneReaders;
    ASSERT_NE(library.readZone, nullptr);
    MyAcq.colourLines = 1;
    MyAcq.planesPerLine = 1;
    MyOcrOpt = OcrOptInfo{};
    MyMICR = MICRInfo{};
    MyOcr.cmc7Thr = 80;  // correction threshold 100
    MyOcr.typeDocCmc7 = 1;
    MyOcr.typeDocSaved = 1;
    MyDev.backlightSide = 1;
    pvk::reading::zoneReaders.readZone = bandScripted;
    bandText = kCodeline;
  }
  void TearDown() override {
    pvk::reading::zoneReaders = library;
    ReadingFixture::TearDown();
  }

  // Sets up a type-3 document whose front was acquired turned by rotation.
  void run(const cv::Mat& upright, uint16_t rotation) {
    uprightRotation = rotation;
    cv::Mat acquired;
    if (rotation == 512)
      cv::rotate(upright, acquired, cv::ROTATE_180);
    else
      acquired = upright.clone();
    setSide(1, acquired);
    setSide(0, cv::Mat(900, 2000, CV_8UC1, cv::Scalar(255)));
    MyOcr.typeDoc = 3;
    PVKOCRDoc doc{};
    doc.nZones = 1;
    doc.zones[0].font = 4;
    doc.zones[0].side = 1;
    char text[256], conf[256];
    pvk::reading::DocumentSetup s{};
    EXPECT_EQ(pvk::reading::setUpDocument(&doc, text, conf, sizeof text, s), pvk::reading::SetupOutcome::ReadZones);
  }
};

TEST_F(DocumentOnPixels, DataMatrixRaisesTheWeakDigitUprightAndUpsideDown) {
  const cv::Mat side = chequeSide(kDataMatrix);
  for (uint16_t rotation : {0, 512}) {
    SCOPED_TRACE(rotation);
    MyITACheck = ITACheckInfo{};
    run(side, rotation);
    ASSERT_EQ(MyOcrOpt.found, 1);
    EXPECT_EQ(MyOcrOpt.rotation, rotation);
    EXPECT_EQ(MyOcrOpt.side, 1);
    EXPECT_TRUE(pvk::reading::italianDataMatrix.read);
    ASSERT_EQ(pvk::reading::italianDataMatrix.count, 40);
    EXPECT_EQ(std::string(pvk::reading::italianDataMatrix.text), kDataMatrix);
    EXPECT_STREQ(MyITACheck.dmChequeNo, "1234567890");
    EXPECT_EQ(std::string(MyOcrOpt.text), kCodeline);
    for (int i = 1; i <= 10; ++i) EXPECT_EQ(MyOcrOpt.conf[i], 100) << "cheque number position " << i;
    for (int i = 13; i <= 21; ++i) EXPECT_EQ(MyOcrOpt.conf[i], 100) << "ABI/CAB position " << i;
  }
}

TEST_F(DocumentOnPixels, DataMatrixWithFourDifferencesLeavesTheCodeline) {
  run(chequeSide("1" "03069" "01600" "1299997890" "AB12CD34" "00000012345"), 512);
  ASSERT_EQ(MyOcrOpt.found, 1);
  ASSERT_EQ(pvk::reading::italianDataMatrix.count, 40);
  EXPECT_EQ(std::string(MyOcrOpt.text), kCodeline);
  EXPECT_EQ(MyOcrOpt.conf[4], 30);
}

TEST_F(DocumentOnPixels, WithoutASymbolNothingIsCorrected) {
  run(cv::Mat(900, 2000, CV_8UC1, cv::Scalar(255)), 0);
  ASSERT_EQ(MyOcrOpt.found, 1);
  EXPECT_TRUE(pvk::reading::italianDataMatrix.read);
  EXPECT_EQ(pvk::reading::italianDataMatrix.count, 0);
  EXPECT_EQ(MyOcrOpt.conf[4], 30);
}

}  // namespace
