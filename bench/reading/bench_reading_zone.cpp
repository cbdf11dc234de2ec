// Time of the zone road's image work, each beside OpenCV doing the same in the same run: the
// 300-dpi OCR image of a 600-dpi grey cheque side (cv::resize + cv::threshold of the trimmed
// side), and a codeline zone cut out of it and turned by a quarter (cv::rotate of the region).
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/records.h"
#include "document/document.h"
#include "reading/reading.h"
#include "../bench_timing.h"

using pvk::bench::Clock;

namespace {

using pvk::bench::us;

using pvk::bench::median;

// A grey cheque side: paper with a light pattern, text-like dark strokes, a codeline band.
cv::Mat chequeSide(int w, int h) {
  cv::Mat m(h, w, CV_8UC1);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) m.at<uint8_t>(y, x) = static_cast<uint8_t>(215 + ((x / 7 + y / 11) % 5) * 6);
  cv::RNG rng(5);
  for (int k = 0; k < 900; ++k) {
    const int x = rng.uniform(0, w - 60), y = rng.uniform(0, h - 80);
    cv::rectangle(m, cv::Rect(x, y, rng.uniform(4, 40), rng.uniform(20, 60)), cv::Scalar(rng.uniform(10, 90)), 2);
  }
  return m;
}

}  // namespace

int main() {
  const int w = 4800, h = 2100;  // 8 x 3.5 inches at 600 dpi
  const cv::Mat side = chequeSide(w, h);
  ImgInfo& img = MyDev.img[1];
  img = ImgInfo{};
  img.side = 1;
  img.colourPlanes = img.planesPerLine = 1;
  img.trimWidth = img.fullWidth = static_cast<uint16_t>(w);
  img.rowsUsed = img.fullHeight = static_cast<uint16_t>(h);
  img.planeLineBytes = img.rawLineBytes = static_cast<uint16_t>(side.step);
  img.dpiH = img.dpiV = 600;
  img.firstRow = side.data;
  img.imageBytes = img.bytesAllocated = side.total();
  img.outputFlag = img.hasData = img.corrected = img.deskewApplied = 1;
  img.noAutoThreshold = 1;
  MyOcr.reqDpiH[1] = MyOcr.reqDpiV[1] = 300;
  MyAcq.colourLines = MyAcq.planesPerLine = 1;
  MyLog.Log = 0;

  const double ours = median(21, [&] {
    MyOcrFree(1, false);
    const auto t0 = Clock::now();
    if (!Vx3CreateOCRImage(1, nullptr, 128)) std::abort();
    return us(Clock::now() - t0);
  });
  cv::Mat half, bw;
  const double reference = median(21, [&] {
    const auto t0 = Clock::now();
    cv::resize(side, half, cv::Size(w / 2, h / 2), 0, 0, cv::INTER_AREA);
    cv::threshold(half, bw, 128, 255, cv::THRESH_BINARY);
    return us(Clock::now() - t0);
  });
  std::printf("OCR image of a %dx%d 600-dpi side at 300 dpi: %.0f us; cv::resize + cv::threshold %.0f us; ratio %.2f\n",
              w, h, ours, reference, ours / reference);

  // The codeline: the bottom 5/8 inch of the OCR image, turned a quarter as a rear zone is.
  PVKImg* ocr = &MyOcr.ocrImg[1];
  const PVKRoi band{0, -190, 0, 190};
  const cv::Mat ocrMat(ocr->height, ocr->width, CV_8UC1, ocr->data, ocr->stride);
  const cv::Mat region = ocrMat(cv::Rect(0, ocr->height - 190, ocr->width, 190));
  const double cut = median(51, [&] {
    const auto t0 = Clock::now();
    PVKImg* c = ElaboraRoi(ocr, band, 768, 1, false);
    const double t = us(Clock::now() - t0);
    if (!c) std::abort();
    pvk::reading::releaseCut(c, 768);
    return t;
  });
  cv::Mat turned;
  const double rotate = median(51, [&] {
    const auto t0 = Clock::now();
    cv::rotate(region, turned, cv::ROTATE_90_CLOCKWISE);
    return us(Clock::now() - t0);
  });
  std::printf("codeline cut %dx190 turned a quarter: %.0f us; cv::rotate %.0f us; ratio %.2f\n", ocr->width, cut, rotate,
              cut / rotate);
  MyOcrFree(1, true);
  return 0;
}
