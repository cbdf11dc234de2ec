// The QR reader entry: bad arguments with their result codes and traces, and every image it
// may be given (sizes, strides, resolutions, other symbologies, the negative set) returning 0
// with the text empty and the length unchanged.
#include <gtest/gtest.h>
#include <unistd.h>

#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "core/records.h"
#include "qr_test_util.h"
#include "symbol_corpus.h"

namespace {

// Traces into a file of the test's own.
class QrEntry : public ::testing::Test {
 protected:
  void SetUp() override {
    std::snprintf(path_, sizeof path_, "/tmp/pvk_qr_entry_%d.log", static_cast<int>(getpid()));
    std::remove(path_);
    saved_ = MyLog;
    MyLog.Log = 1;
    MyLog.LogTimeStamp = 0;
    MyLog.LogSize = 0;
    std::snprintf(MyLog.tracePath, sizeof MyLog.tracePath, "%s", path_);
  }
  void TearDown() override {
    MyLog = saved_;
    std::remove(path_);
  }
  std::string trace() const {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Calls the entry on the image; expects 0, an empty text and the length unchanged.
  void expectNothing(cv::Mat img, int dpi, int stride = 0) {
    PVKImg p{static_cast<uint16_t>(img.cols), static_cast<uint16_t>(img.rows),
             static_cast<uint16_t>(stride ? stride : img.step), static_cast<uint16_t>(dpi), img.data};
    char out[32];
    std::fill(std::begin(out), std::end(out), 'x');
    unsigned short len = sizeof out;
    EXPECT_EQ(PQrCodeDecode(&p, out, len), 0) << img.cols << "x" << img.rows << " at " << dpi;
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(len, sizeof out);
  }

  char path_[64];
  decltype(MyLog) saved_;
};

}  // namespace

TEST_F(QrEntry, BadArguments) {
  cv::Mat img(64, 64, CV_8UC1, cv::Scalar(255));
  PVKImg p{64, 64, 64, 300, img.data};
  char out[8] = "abc";
  unsigned short len = 0;
  // len 0 is refused first, even with no image.
  EXPECT_EQ(PQrCodeDecode(nullptr, out, len), -1);
  EXPECT_EQ(len, 0);
  len = 8;
  EXPECT_EQ(PQrCodeDecode(&p, nullptr, len), -1);
  EXPECT_EQ(len, 0);
  // A null image with a valid buffer: -1, the text emptied, the length kept.
  len = 8;
  EXPECT_EQ(PQrCodeDecode(nullptr, out, len), -1);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(len, 8);
  PVKImg noPixels{64, 64, 64, 300, nullptr};
  out[0] = 'a';
  EXPECT_EQ(PQrCodeDecode(&noPixels, out, len), -1);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(len, 8);
  EXPECT_EQ(trace(),
            "QrCode - invalid parameter\r\nQrCode - invalid parameter\r\n"
            "DataMatrix - null pointer\r\nDataMatrix - null pointer\r\n");
}

TEST_F(QrEntry, EveryImageGivesNoText) {
  // A clean symbol at 300 and 200 dpi, turned: the entry reads nothing.
  const cv::Mat sym = pvk::qrgen::drawGrid(pvk::qrgen::zintQr("NO TEXT FROM THE ENTRY", 3, 0), 5, 4);
  for (int dpi : {300, 200, 0}) expectNothing(sym.clone(), dpi);
  cv::Mat turned;
  cv::warpAffine(sym, turned, cv::getRotationMatrix2D(cv::Point2f(sym.cols / 2.0f, sym.rows / 2.0f), 30, 0.8),
                 sym.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(255));
  expectNothing(turned, 300);
  // Sizes from one pixel to long strips, all white, all black and noise.
  cv::RNG rng(37);
  for (cv::Size s : {cv::Size(1, 1), cv::Size(2, 3), cv::Size(31, 31), cv::Size(8000, 12), cv::Size(12, 8000),
                     cv::Size(640, 480)}) {
    expectNothing(cv::Mat(s, CV_8UC1, cv::Scalar(255)), 300);
    expectNothing(cv::Mat(s, CV_8UC1, cv::Scalar(0)), 300);
    cv::Mat noise(s, CV_8UC1);
    rng.fill(noise, cv::RNG::UNIFORM, 0, 256);
    expectNothing(noise, 200);
  }
  // Rows longer than the width: only the width is looked at.
  cv::Mat wide(100, 160, CV_8UC1, cv::Scalar(0));
  sym(cv::Rect(0, 0, 100, 100)).copyTo(wide(cv::Rect(0, 0, 100, 100)));
  expectNothing(wide(cv::Rect(0, 0, 100, 100)), 300, 160);
  // Other symbologies and the negative set of the corpus.
  using namespace pvk::corpus;
  for (Symbology sym : {Symbology::DataMatrix, Symbology::Pdf417, Symbology::Code128}) {
    Sample sample;
    ASSERT_TRUE(makeSample(specsFor(sym, 1, 37)[0], DrawSpec{}, 1, 37, sample));
    Image& i = sample.image;
    expectNothing(cv::Mat(i.height, i.width, CV_8UC1, i.pixels.data()), i.dpi);
  }
  for (Sample& n : negativeSet(1, 400, 200, 200, 37)) {
    Image& i = n.image;
    expectNothing(cv::Mat(i.height, i.width, CV_8UC1, i.pixels.data()), i.dpi);
  }
  EXPECT_EQ(trace(), "");
}
