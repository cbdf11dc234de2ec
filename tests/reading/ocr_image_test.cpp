// The OCR image of a side: the rotation each side is built with, the cache and what breaks it,
// the resolution asked for, the declared-size check, the dumps, a failed cut that must not be
// cached as a good image, and the codeline band variant.
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "reading/reading.h"
#include "reading_fixture.h"

namespace {

using pvk::testing::countOf;

// A side with a black 4 x 4 mark in its top-left corner (at 10, 10) on white.
cv::Mat markedSide(int w, int h) {
  cv::Mat m(h, w, CV_8UC1, cv::Scalar(255));
  m(cv::Rect(10, 10, 4, 4)).setTo(0);
  return m;
}

// Where the mark ended up: the centre of the dark pixels.
cv::Point2d markAt(const cv::Mat& m) {
  cv::Mat dark;
  cv::threshold(m, dark, 100, 255, cv::THRESH_BINARY_INV);
  const cv::Moments mo = cv::moments(dark, true);
  return mo.m00 > 0 ? cv::Point2d(mo.m10 / mo.m00, mo.m01 / mo.m00) : cv::Point2d(-1, -1);
}

class OcrImage : public pvk::testing::ReadingFixture {
 protected:
  PVKOCRDoc doc{};
};

TEST_F(OcrImage, EachSideTurnsItsOwnWay) {
  const cv::Mat side = markedSide(120, 60);
  setSide(0, side);
  setSide(1, side);
  doc.nZones = 1;
  struct Case {
    uint16_t docRotation;
    int side;
    uint16_t built;
    cv::Point2d mark;  // in the 120 x 60 side: (11.5, 11.5)
  };
  const Case cases[] = {
      {0, 1, 0, {11.5, 11.5}},     {256, 1, 256, {47.5, 11.5}}, {768, 1, 768, {11.5, 107.5}},
      {512, 1, 512, {107.5, 47.5}}, {256, 0, 768, {11.5, 107.5}}, {768, 0, 256, {47.5, 11.5}},
      {512, 0, 512, {107.5, 47.5}},
  };
  for (const Case& c : cases) {
    doc.rotation = c.docRotation;
    ASSERT_TRUE(Vx3CreateOCRImage(static_cast<uint16_t>(c.side), &doc, 0)) << c.docRotation;
    EXPECT_EQ(MyOcr.ocrImgRotation[c.side], c.built) << c.docRotation << " side " << c.side;
    EXPECT_EQ(MyOcr.ocrImgQuarter[c.side], c.built == 256 || c.built == 768);
    const cv::Point2d at = markAt(ocrMat(c.side));
    EXPECT_NEAR(at.x, c.mark.x, 1.0) << c.docRotation << " side " << c.side;
    EXPECT_NEAR(at.y, c.mark.y, 1.0) << c.docRotation << " side " << c.side;
  }
}

TEST_F(OcrImage, InvalidRotationsReadUnturned) {
  setSide(1, markedSide(80, 40));
  doc.rotation = 300;
  ASSERT_TRUE(Vx3CreateOCRImage(1, &doc, 0));
  EXPECT_EQ(MyOcr.ocrImgRotation[1], 0);
  EXPECT_EQ(countOf(trace(), "No rotation is used (a)"), 0) << "told only for a request with zones";
  doc.nZones = 2;
  doc.rotation = 0xFFFF;
  MyOcrFree(1, false);
  ASSERT_TRUE(Vx3CreateOCRImage(1, &doc, 0));
  EXPECT_EQ(countOf(trace(), "war -  OCR document rotation with invalid value. No rotation is used (a)\r\n"), 1);
  // No request at all: no turn.
  ASSERT_TRUE(Vx3CreateOCRImage(1, nullptr, 0));
  EXPECT_EQ(MyOcr.ocrImgRotation[1], 0);
}

TEST_F(OcrImage, TheBacklightFollowsItsTable) {
  setSide(2, markedSide(80, 40));
  MyOcrBL = OcrBLInfo{{768, 512, 100, 0}, 1, 0};
  const uint16_t expected[] = {768, 512, 0, 0};  // 100 is no rotation: none
  for (int i = 0; i < 4; ++i) {
    doc.rotation = static_cast<uint16_t>(i * 256);
    ASSERT_TRUE(Vx3CreateOCRImage(2, &doc, 0)) << i;
    EXPECT_EQ(MyOcr.ocrImgRotation[2], expected[i]) << i;
    EXPECT_EQ(MyOcr.ocrImgFlipA[2], 1);
    EXPECT_EQ(MyOcr.ocrImgFlipB[2], 0);
  }
  // The plain form takes no flips for the other sides.
  setSide(1, markedSide(80, 40));
  MyOcrBL.flipV = 1;
  ASSERT_TRUE(Vx3CreateOCRImage(1, &doc, 0));
  EXPECT_EQ(MyOcr.ocrImgFlipA[1], 0);
  EXPECT_EQ(MyOcr.ocrImgFlipB[1], 0);
}

TEST_F(OcrImage, ABuiltImageIsKeptUntilRotationOrFlipsChange) {
  setSide(1, markedSide(100, 50));
  MyLog.Debug = 0x2;
  doc.nZones = 2;
  ASSERT_TRUE(Vx3CreateOCRImage(1, &doc, 0));
  const uint8_t* first = MyOcr.ocrImg[1].data;
  ASSERT_TRUE(Vx3CreateOCRImage(1, &doc, 0));
  EXPECT_EQ(MyOcr.ocrImg[1].data, first);
  std::string t = trace();
  EXPECT_EQ(countOf(t, "OCR image already present; side 1\r\n"), 1) << t;
  EXPECT_EQ(countOf(t, "OCR image side 1\r\n"), 1);
  EXPECT_EQ(countOf(t, "OCR image completed\r\n"), 1);
  // Another flip, another rotation, or an image freed meanwhile: built again.
  ASSERT_TRUE(Vx3CreateOCRImage(1, &doc, 0, true, false));
  ASSERT_TRUE(Vx3CreateOCRImage(1, &doc, 0, true, true));
  doc.rotation = 512;
  ASSERT_TRUE(Vx3CreateOCRImage(1, &doc, 0, true, true));
  MyOcr.ocrImgValid[1] = 0;
  ASSERT_TRUE(Vx3CreateOCRImage(1, &doc, 0, true, true));
  EXPECT_EQ(countOf(trace(), "OCR image side 1\r\n"), 5);
}

TEST_F(OcrImage, ResolutionIsTheLargerRequest) {
  struct Case {
    uint16_t dpiH, dpiV;
    uint8_t planes;
    int dpi;
  };
  // The vertical request counts per colour plane; a side claiming no planes counts as one.
  const Case cases[] = {{150, 300, 1, 300}, {200, 100, 1, 200}, {150, 600, 3, 200}, {100, 200, 0, 200}};
  for (const Case& c : cases) {
    setSide(1, markedSide(300, 150), 300, c.planes == 3 ? 3 : 1);
    MyOcr.reqDpiH[1] = c.dpiH;
    MyOcr.reqDpiV[1] = c.dpiV;
    MyDev.img[1].colourPlanes = c.planes;
    MyOcrFree(1, false);
    ASSERT_TRUE(Vx3CreateOCRImage(1, &doc, 0)) << c.dpi;
    EXPECT_EQ(MyOcr.ocrImg[1].dpi, c.dpi);
    EXPECT_EQ(MyOcr.ocrImg[1].width, 300 * c.dpi / 300);
    EXPECT_EQ(MyOcr.ocrImg[1].height, 150 * c.dpi / 300);
  }
}

TEST_F(OcrImage, DeclaredSizeAllowsTenPercent) {
  // 1000 x 400 at 1/150 inch is 2000 x 800 at 300 dpi: 850 rows are within 80, 900 are not.
  doc.expectedWidth = 1000;
  doc.expectedHeight = 400;
  struct Case {
    int w, h;
    int result;
    const char* warning;
  };
  const Case cases[] = {{2000, 850, 0, nullptr},
                        {2000, 880, 0, nullptr},
                        {2000, 900, -20, "war -  Unxepected height\r\n"},
                        {2201, 800, -20, "war -  Unxepected width\r\n"},
                        {1800, 720, 0, nullptr}};
  for (const Case& c : cases) {
    setSide(1, cv::Mat(c.h, c.w, CV_8UC1, cv::Scalar(255)));
    MyOcrFree(1, false);
    MyDev.lastResult = 0;
    const int before = countOf(trace(), "Unxepected");
    ASSERT_TRUE(Vx3CreateOCRImage(1, &doc, 0)) << c.w << "x" << c.h;
    EXPECT_EQ(MyDev.lastResult, c.result) << c.w << "x" << c.h;
    EXPECT_EQ(MyOcr.ocrImg[1].height, c.h) << "the image is used all the same";
    EXPECT_EQ(countOf(trace(), "Unxepected"), before + (c.warning ? 1 : 0));
    if (c.warning) {
      EXPECT_EQ(countOf(trace(), c.warning), 1);
    }
  }
}

TEST_F(OcrImage, ASideWithoutImageOrAFailedCutIsNotReady) {
  EXPECT_FALSE(Vx3CreateOCRImage(1, &doc, 0));
  EXPECT_EQ(MyDev.lastResult, -1);
  EXPECT_EQ(countOf(trace(), "war -  OCR on side without image\r\n"), 1);
  setSide(1, markedSide(100, 50));
  MyDev.img[1].hasData = 0;
  EXPECT_FALSE(Vx3CreateOCRImage(1, &doc, 0));
  EXPECT_EQ(countOf(trace(), "OCR on side without image"), 2);
  EXPECT_FALSE(Vx3CreateOCRImage(3, &doc, 0));
  EXPECT_EQ(MyDev.lastResult, -3);

  // A cut that yields no pixels (no resolution asked for) must not leave a valid empty image
  // behind for the next zones of the side: false with -1, or the negative code already there.
  MyDev.img[1].hasData = 1;
  MyOcr.reqDpiH[1] = MyOcr.reqDpiV[1] = 0;
  MyDev.lastResult = 0;
  EXPECT_FALSE(Vx3CreateOCRImage(1, &doc, 0));
  EXPECT_EQ(MyOcr.ocrImgValid[1], 0);
  EXPECT_EQ(MyDev.lastResult, -1);
  MyDev.lastResult = -4;
  EXPECT_FALSE(Vx3CreateOCRImage(1, &doc, 0)) << "and the second zone does not find it cached";
  EXPECT_EQ(MyDev.lastResult, -4);
  // A side not elaborated for output: the cut fails with -1.
  MyOcr.reqDpiH[1] = MyOcr.reqDpiV[1] = 300;
  MyDev.img[1].outputFlag = 0;
  MyDev.lastResult = 0;
  EXPECT_FALSE(Vx3CreateOCRImage(1, &doc, 0));
  EXPECT_EQ(MyDev.lastResult, -1);
  EXPECT_EQ(MyOcr.ocrImgValid[1], 0);
  MyDev.img[1].outputFlag = 1;
  EXPECT_TRUE(Vx3CreateOCRImage(1, &doc, 0));
  EXPECT_EQ(MyOcr.ocrImgValid[1], 1);
}

TEST_F(OcrImage, DumpsGoWhereTheSwitchesSay) {
  setSide(0, markedSide(64, 32));
  setSide(1, markedSide(64, 32));
  MyLog.Debug = 0x100;
  MyOcr.debugDump = 1;
  std::snprintf(MyOcr.dumpDir, sizeof MyOcr.dumpDir, "%s", dir_.c_str());
  std::snprintf(MyOcr.debugStem, sizeof MyOcr.debugStem, "ocr_000001_x");
  ASSERT_TRUE(Vx3CreateOCRImage(1, &doc, 0));
  ASSERT_TRUE(Vx3CreateOCRImage(0, &doc, 0));
  for (const char* name : {"/_OcrF.pgm", "/_OcrR.pgm", "/ocr_000001_xF.jpg", "/ocr_000001_xR.jpg"})
    EXPECT_TRUE(std::filesystem::exists(dir_ + name)) << name;
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/_OcrB.pgm"));
}

TEST_F(OcrImage, CodelineBandsKeepTheEdgeOfTheCodeline) {
  // 150 dpi both ways: height 20 (1/150 inch) is 20 pixels.
  cv::Mat side(60, 100, CV_8UC1);
  for (int y = 0; y < side.rows; ++y)
    for (int x = 0; x < side.cols; ++x) side.at<uint8_t>(y, x) = static_cast<uint8_t>(x + y * 2);
  setSide(1, side, 150);
  setSide(0, side, 150);
  ASSERT_TRUE(Vx3CreateOCRImageCdl(1, 0, 0, 20));
  cv::Mat o = ocrMat(1);
  ASSERT_EQ(o.rows, 20);
  EXPECT_EQ(o.at<uint8_t>(0, 0), side.at<uint8_t>(40, 0)) << "the last rows";
  EXPECT_EQ(MyOcr.ocrImgValid[1], 0) << "built, never marked valid";
  ASSERT_TRUE(Vx3CreateOCRImageCdl(1, 512, 0, 20));
  o = ocrMat(1);
  ASSERT_EQ(o.rows, 20);
  EXPECT_EQ(o.at<uint8_t>(19, 99), side.at<uint8_t>(0, 0)) << "the first rows, turned";
  // Quarter turns keep a band of columns: the first on the rear for 256, the last on the front.
  ASSERT_TRUE(Vx3CreateOCRImageCdl(0, 256, 0, 20));
  EXPECT_EQ(MyOcr.ocrImg[0].height, 20);
  EXPECT_EQ(MyOcr.ocrImgRotation[0], 256);
  EXPECT_EQ(MyOcr.ocrImgQuarter[0], 1);
  ASSERT_TRUE(Vx3CreateOCRImageCdl(1, 256, 0, 20));
  EXPECT_EQ(MyOcr.ocrImg[1].height, 20);
  ASSERT_TRUE(Vx3CreateOCRImageCdl(1, 768, 0, 20));
  EXPECT_EQ(MyOcr.ocrImgRotation[1], 0) << "768 is cut and recorded as 0";
  // Height 0 takes the whole side.
  ASSERT_TRUE(Vx3CreateOCRImageCdl(1, 0, 0, 0));
  EXPECT_EQ(MyOcr.ocrImg[1].height, 60);
  // Bad rotations, a quarter turn of the backlight, a side without image.
  ASSERT_TRUE(Vx3CreateOCRImageCdl(1, 100, 0, 20));
  EXPECT_EQ(countOf(trace(), "No rotation is used (z)\r\n"), 1);
  setSide(2, side, 150);
  EXPECT_FALSE(Vx3CreateOCRImageCdl(2, 256, 0, 20));
  EXPECT_EQ(MyDev.lastResult, -3);
  EXPECT_EQ(countOf(trace(), "err -  OCR Document with invalid parameter for rotation\r\n"), 1);
  MyDev.img[2].dpiV = 0;
  EXPECT_FALSE(Vx3CreateOCRImageCdl(2, 0, 0, 20));
  EXPECT_EQ(MyDev.lastResult, -1);
}

}  // namespace
