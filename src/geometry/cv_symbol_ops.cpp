// Outline, warp and crop operations of the 2D symbol locators, in the library's C++ interface.
#include "geometry/geometry.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace pvk::geometry {

double thresholdInverse(const cv::Mat& blurred, cv::Mat& bin, double threshold) {
  if (threshold == 0) return cv::threshold(blurred, bin, 0, 255, cv::THRESH_BINARY_INV | cv::THRESH_OTSU);
  cv::threshold(blurred, bin, threshold, 255, cv::THRESH_BINARY_INV);
  return threshold;
}

double blurThresholdInverse(const cv::Mat& src, cv::Mat& bin, int blur, double threshold) {
  return thresholdInverse(squareBlur(src, blur), bin, threshold);
}

void erodeDilateSquare(cv::Mat& bin, int erodeSide, int dilateSide) {
  const cv::Mat e = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(erodeSide, erodeSide),
                                              cv::Point(erodeSide / 2, erodeSide / 2));
  const cv::Mat d = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(dilateSide, dilateSide),
                                              cv::Point(dilateSide / 2, dilateSide / 2));
  cv::erode(bin, bin, e, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::morphologyDefaultBorderValue());
  cv::dilate(bin, bin, d, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::morphologyDefaultBorderValue());
}

cv::Mat dilateErodeSquare(const cv::Mat& grey, int dilateSide, int erodeSide) {
  const cv::Mat d = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(dilateSide, dilateSide),
                                              cv::Point(dilateSide / 2, dilateSide / 2));
  const cv::Mat e = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(erodeSide, erodeSide),
                                              cv::Point(erodeSide / 2, erodeSide / 2));
  cv::Mat out;
  cv::dilate(grey, out, d, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::morphologyDefaultBorderValue());
  cv::erode(out, out, e, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::morphologyDefaultBorderValue());
  return out;
}

std::vector<std::vector<cv::Point>> treeContours(const cv::Mat& binary, std::vector<cv::Vec4i>* hierarchy) {
  std::vector<std::vector<cv::Point>> contours;
  // The tracing works on a framed copy of its own: the image is left as it was.
  if (hierarchy)
    cv::findContours(binary, contours, *hierarchy, cv::RETR_TREE, cv::CHAIN_APPROX_SIMPLE, cv::Point(0, 0));
  else cv::findContours(binary, contours, cv::RETR_TREE, cv::CHAIN_APPROX_SIMPLE, cv::Point(0, 0));
  return contours;
}

cv::Mat perspectiveCrop(const cv::Mat& src, const cv::Point2f quad[4], float width, float height) {
  const cv::Point2f to[4] = {cv::Point2f(0, 0), cv::Point2f(0, height), cv::Point2f(width, height),
                             cv::Point2f(width, 0)};
  // A region reaching past the image is cut to it, as a region of interest would be. Each pixel
  // of a warp depends on its own place alone, so only the region kept is warped.
  const cv::Rect roi = cv::Rect(0, 0, static_cast<int>(width), static_cast<int>(height)) &
                       cv::Rect(0, 0, src.cols, src.rows);
  if (roi.width <= 0 || roi.height <= 0) return cv::Mat();
  const cv::Mat m = cv::getPerspectiveTransform(quad, to);
  // An upright rectangle of whole pixels moves without a change of scale: every pixel of the
  // warp is a source pixel, and copying them gives the same image without the interpolation.
  const cv::Point shift(cvRound(-m.at<double>(0, 2)), cvRound(-m.at<double>(1, 2)));
  const cv::Mat translation = (cv::Mat_<double>(3, 3) << 1, 0, -shift.x, 0, 1, -shift.y, 0, 0, 1);
  const cv::Rect from(shift, roi.size());
  if (cv::norm(m, translation, cv::NORM_INF) < 1e-9 && (from & cv::Rect(0, 0, src.cols, src.rows)) == from)
    return src(from).clone();
  cv::Mat warped;
  cv::warpPerspective(src, warped, m, roi.size(), cv::INTER_LINEAR | cv::WARP_FILL_OUTLIERS, cv::BORDER_CONSTANT,
                      cv::Scalar(0));
  return warped;
}

void thresholdBinary(cv::Mat& img, int threshold) { cv::threshold(img, img, threshold, 255, cv::THRESH_BINARY); }

}  // namespace pvk::geometry
