// Generator of synthetic cheque-like documents on a scanner background (see the header).
#include "synthetic_document.h"

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace pvk::testing {

cv::Mat makePage(int w, int h, unsigned seed) {
  cv::RNG rng(seed);
  cv::Mat page(h, w, CV_8UC1);
  rng.fill(page, cv::RNG::UNIFORM, 215, 236);
  // Word blocks in lines, kept clear of the marker, the fiducials and the codeline band.
  for (int y = 150; y + 22 < h - 140; y += 60) {
    int x = 150 + rng.uniform(0, 60);
    while (x + 40 < w - 150) {
      int bw = rng.uniform(40, 160);
      bw = std::min(bw, w - 150 - x);
      cv::rectangle(page, cv::Rect(x, y, bw, 22), cv::Scalar(rng.uniform(30, 80)), cv::FILLED);
      x += bw + rng.uniform(20, 60);
    }
  }
  // Codeline band near the bottom edge.
  for (int x = 300; x + 12 < w - 300; x += 20)
    cv::rectangle(page, cv::Rect(x, h - 100, rng.uniform(6, 12), 30), cv::Scalar(20), cv::FILLED);
  cv::rectangle(page, cv::Rect(40, 40, Synthetic::kMarker, Synthetic::kMarker), cv::Scalar(10), cv::FILLED);
  cv::rectangle(page, cv::Rect(w - 40 - Synthetic::kFiducial, 40, Synthetic::kFiducial, Synthetic::kFiducial),
                cv::Scalar(10), cv::FILLED);
  cv::rectangle(page, cv::Rect(40, h - 40 - Synthetic::kFiducial, Synthetic::kFiducial, Synthetic::kFiducial),
                cv::Scalar(10), cv::FILLED);
  return page;
}

Synthetic makeDocument(const DocSpec& spec) {
  Synthetic s;
  s.page = makePage(spec.docW, spec.docH, spec.seed);
  if (spec.darkBand)
    cv::rectangle(s.page, cv::Rect(spec.docW * 45 / 100, 0, 50, spec.docH), cv::Scalar(70), cv::FILLED);

  cv::Mat mask(spec.docH, spec.docW, CV_8UC1, cv::Scalar(255));
  if (spec.tornCorner) {
    std::vector<cv::Point> tri{{spec.docW - 50, spec.docH}, {spec.docW, spec.docH}, {spec.docW, spec.docH - 40}};
    cv::fillConvexPoly(mask, tri, cv::Scalar(0));
  }
  if (spec.twoPieces)
    cv::rectangle(mask, cv::Rect(spec.docW / 2 - spec.gap / 2, 0, spec.gap, spec.docH), cv::Scalar(0), cv::FILLED);

  cv::Point2f pageCentre(spec.docW * 0.5f, spec.docH * 0.5f);
  cv::Mat m = cv::getRotationMatrix2D(pageCentre, spec.angleDeg, 1.0);
  m.at<double>(0, 2) += spec.centre.x - pageCentre.x;
  m.at<double>(1, 2) += spec.centre.y - pageCentre.y;
  cv::Size size(spec.sensorW, spec.sensorH);
  cv::Mat warped, warpedMask;
  cv::warpAffine(s.page, warped, m, size, cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0));
  cv::warpAffine(mask, warpedMask, m, size, cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0));

  cv::RNG rng(spec.seed * 7919u + 1);
  cv::Mat bg(size, CV_8UC1);
  rng.fill(bg, cv::RNG::UNIFORM, 12, 49);  // a scanner background stays below the lowest threshold, 40
  s.scene.create(size, CV_8UC1);
  for (int r = 0; r < size.height; ++r) {
    const uint8_t* p = warped.ptr(r);
    const uint8_t* a = warpedMask.ptr(r);
    const uint8_t* b = bg.ptr(r);
    uint8_t* o = s.scene.ptr(r);
    for (int c = 0; c < size.width; ++c) o[c] = static_cast<uint8_t>((p[c] * a[c] + b[c] * (255 - a[c])) / 255);
  }
  if (spec.dust) {
    for (int i = 0; i < 40; ++i) {
      cv::Point at(rng.uniform(0, size.width), rng.uniform(0, size.height));
      if (warpedMask.at<uint8_t>(at) == 0) cv::circle(s.scene, at, rng.uniform(2, 5), cv::Scalar(245), cv::FILLED);
    }
  }
  cv::GaussianBlur(s.scene, s.scene, cv::Size(3, 3), 0.8);
  return s;
}

cv::Point2f darkCentroid(const cv::Mat& img, cv::Rect window) {
  window &= cv::Rect(0, 0, img.cols, img.rows);
  double sx = 0, sy = 0, n = 0;
  for (int r = window.y; r < window.y + window.height; ++r)
    for (int c = window.x; c < window.x + window.width; ++c)
      if (img.at<uint8_t>(r, c) < 100) sx += c, sy += r, n += 1;
  if (n == 0) return {-1, -1};
  return {static_cast<float>(sx / n), static_cast<float>(sy / n)};
}

double correlation(const cv::Mat& a, const cv::Mat& b) {
  cv::Mat bb;
  if (b.size() != a.size()) cv::resize(b, bb, a.size(), 0, 0, cv::INTER_AREA);
  else bb = b;
  cv::Mat fa, fb;
  a.convertTo(fa, CV_64F);
  bb.convertTo(fb, CV_64F);
  cv::Scalar ma, sa, mb, sb;
  cv::meanStdDev(fa, ma, sa);
  cv::meanStdDev(fb, mb, sb);
  if (sa[0] == 0 || sb[0] == 0) return 0;
  cv::Mat prod = (fa - ma[0]).mul(fb - mb[0]);
  return cv::mean(prod)[0] / (sa[0] * sb[0]);
}

double residualSkew(const cv::Mat& out, int docW, int docH) {
  const double half = Synthetic::kMarker / 2.0, f = Synthetic::kFiducial / 2.0;
  cv::Point2f m = darkCentroid(out, cv::Rect(0, 0, 140, 140));
  cv::Point2f t = darkCentroid(out, cv::Rect(out.cols - 140, 0, 140, 140));
  if (m.x < 0 || t.x < 0) return 90.0;
  double expected = std::atan2((40 + f) - (40 + half), (docW - 40 - f) - (40 + half));
  double actual = std::atan2(t.y - m.y, t.x - m.x);
  return std::fabs(actual - expected) * 180.0 / CV_PI;
}

}  // namespace pvk::testing
