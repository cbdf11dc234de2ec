// Filter, threshold, contour, fill and warp operations of the QR locator, in the library's C++
// interface.
#include <opencv2/imgproc.hpp>

#include "geometry/geometry.h"

namespace pvk::geometry {

cv::Mat greyOf(const cv::Mat& src) {
  if (src.channels() == 1) return src;
  cv::Mat grey;
  cv::cvtColor(src, grey, src.channels() == 4 ? cv::COLOR_BGRA2GRAY : cv::COLOR_BGR2GRAY);
  return grey;
}

void medianThresholdInverse(const cv::Mat& src, cv::Mat& binary, cv::Mat& work, int blockSize, double param) {
  cv::medianBlur(src, binary, 3);
  binary.copyTo(work);
  if (blockSize > 0)
    cv::adaptiveThreshold(work, binary, 128, cv::ADAPTIVE_THRESH_MEAN_C, cv::THRESH_BINARY_INV, blockSize, param);
  else
    cv::threshold(work, binary, param, 255, cv::THRESH_BINARY_INV);
}

std::vector<std::vector<cv::Point>> contoursOf(const cv::Mat& binary, int mode, int method) {
  std::vector<std::vector<cv::Point>> contours;
  cv::Mat copy = binary.clone();
  cv::findContours(copy, contours, mode, method);
  return contours;
}

void keepInsidePolygon(const cv::Mat& binary, const std::vector<cv::Point>& polygon, cv::Mat& work) {
  work = cv::Mat::zeros(binary.size(), CV_8UC1);
  const cv::Point* pts = polygon.data();
  const int n = static_cast<int>(polygon.size());
  cv::fillPoly(work, &pts, &n, 1, cv::Scalar(255), cv::LINE_8);
  cv::bitwise_and(binary, work, work);
  const cv::Mat k = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
  cv::erode(work, work, k);
  cv::dilate(work, work, k);
}

cv::Mat perspectiveWarp(const cv::Mat& src, const cv::Point2f from[4], const cv::Point2f to[4], cv::Size size) {
  const cv::Mat m = cv::getPerspectiveTransform(from, to);
  cv::Mat out;
  cv::warpPerspective(src, out, m, size, cv::INTER_LINEAR | cv::WARP_FILL_OUTLIERS, cv::BORDER_CONSTANT,
                      cv::Scalar(0));
  return out;
}

cv::Mat openedOtsu(const cv::Mat& grey) {
  const cv::Mat k = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
  cv::Mat out;
  cv::erode(grey, out, k);
  cv::dilate(out, out, k);
  cv::threshold(out, out, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
  return out;
}

}  // namespace pvk::geometry
