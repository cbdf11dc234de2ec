// Finding the document on the scanner background, and turning a working image about its centre.
#include "geometry/geometry.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "core/trace.h"

namespace {

using Contours = std::vector<std::vector<cv::Point>>;

// The four largest contours above 5000 pixels, in decreasing area; ties put the newer first.
struct Largest {
  std::array<int, 4> index{-1, -1, -1, -1};
  std::array<double, 4> area{0, 0, 0, 0};
  int count = 0;
};

Largest keepLargest(const Contours& contours) {
  Largest l;
  for (int i = 0; i < static_cast<int>(contours.size()); ++i) {
    if (contours[i].size() < 4) continue;
    double a = cv::contourArea(contours[i], false);
    if (!(a > 5000.0)) continue;
    for (int s = 0; s < 4; ++s) {
      if (l.index[s] < 0 || l.area[s] <= a) {
        for (int k = 3; k > s; --k) {
          l.index[k] = l.index[k - 1];
          l.area[k] = l.area[k - 1];
        }
        l.index[s] = i;
        l.area[s] = a;
        break;
      }
    }
  }
  for (int s = 0; s < 4; ++s)
    if (l.index[s] >= 0) ++l.count;
  return l;
}

double minimumArea(int dpiX, int dpiY) {
  if (MyITACheck.active) return 1600000.0;
  // The second part of a two-part document may be any size.
  if (MyAcq.secondPartPending && !MyAcq.twoPartActive) return 0.0;
  const ImgInfo& front = MyDev.img[1];
  return 7.0 * front.dpiH * front.dpiV;
}

// Whether a found box is plausible as a document (sizes brought to 300 dpi).
enum class Verdict { Accept, Reject, LowerAnyway };

Verdict judge(const cv::RotatedRect& box, const cv::Mat& img, int t, int dpiX, int dpiY) {
  double x, y;
  if (box.angle >= -45.0f && box.angle <= 45.0f) {
    x = box.size.width * 300.0 / dpiX;
    y = box.size.height * 300.0 / dpiY;
  } else {
    x = box.size.height * 300.0 / dpiX;
    y = box.size.width * 300.0 / dpiY;
  }
  if (x > 2000 && y < 810 && t >= 61) return Verdict::LowerAnyway;  // a long thin strip
  cv::Point2f p[4];
  pvk::geometry::boxCorners(box, p);
  int maxY = static_cast<int>(p[0].y);
  for (int k = 1; k < 4; ++k) maxY = std::max(maxY, static_cast<int>(p[k].y));
  bool touchesBottom = t < 60 && img.rows <= maxY + 3;
  if (img.rows > 630 && y < 590 && !touchesBottom) return Verdict::Reject;
  if (img.cols > 1000 && x < 950 && y < 950) return Verdict::Reject;
  return Verdict::Accept;
}

void traceDebug(const char* text) {
  if (debugOn) WriteTrace(text, false);
}

}  // namespace

bool findImgContours(cv::Mat img, cv::RotatedRect& box, int dpiX, int dpiY, bool& joined) {
  using namespace pvk::geometry;
  traceDebug("findImgContours start");
  joined = false;
  if (img.empty() || dpiX <= 0 || dpiY <= 0) return false;
  // The binary image lies inside a frame of 0, where the contour search wants it. The blur is
  // made there and thresholded in place; the search marks the binary image, so before each
  // further search it is made again (threshold, then the joining lines drawn so far at that
  // threshold) from the blurred image, which is then made apart once.
  cv::Mat framed = keptImage(Kept::Search, img.rows + 2, img.cols + 2);
  frameWithZeros(framed);
  cv::Mat binary = framed(cv::Rect(1, 1, img.cols, img.rows));
  gaussianBlur15(img, binary);
  cv::Mat blurred;
  auto blurredAgain = [&]() -> const cv::Mat& {
    if (blurred.empty()) {
      blurred = keptImage(Kept::Blurred, img.rows, img.cols);
      gaussianBlur15(img, blurred);
    }
    return blurred;
  };
  // Otsu's level held to 100..120, the image thresholded once at the level kept.
  int t = std::clamp(otsuLevel(binary), 100, 120);
  cv::threshold(binary, binary, t, 255, cv::THRESH_BINARY);
  if (binary.empty()) {
    WriteTrace("no memory for gray image", false);
    return false;
  }
  const double minArea = minimumArea(dpiX, dpiY);
  bool haveBox = false;
  std::vector<std::pair<cv::Point, cv::Point>> lines;  // joining lines at this threshold
  bool marked = false;
  for (;;) {
    int joins = 0;
    for (;;) {
      if (marked) {
        cv::threshold(blurredAgain(), binary, t, 255, cv::THRESH_BINARY);
        for (const auto& [a, b] : lines) cv::line(binary, a, b, cv::Scalar(255), 8, cv::LINE_8, 0);
      }
      Contours contours = externalContoursOfFramed(framed);
      marked = true;
      Largest l = keepLargest(contours);
      haveBox = false;
      if (l.count == 0) break;
      if (l.area[0] < minArea && t > 40) break;
      box = minAreaBox(contours[l.index[0]]);
      haveBox = true;
      if (l.count > 1 && joins < 4) {
        // Pieces of one document (torn edge, dark band, two parts) merge into one contour.
        cv::Point from(cvRound(box.center.x), cvRound(box.center.y));
        for (int s = 1; s < l.count; ++s) {
          cv::RotatedRect other = minAreaBox(contours[l.index[s]]);
          lines.emplace_back(from, cv::Point(cvRound(other.center.x), cvRound(other.center.y)));
        }
        joined = true;
        ++joins;
        continue;
      }
      Verdict v = judge(box, binary, t, dpiX, dpiY);
      if (v == Verdict::Accept) {
        traceDebug("ok");
        return true;
      }
      break;
    }
    if (t <= 40) break;
    t = t <= 50 ? t - 5 : t - 10;
    cv::threshold(blurredAgain(), binary, t, 255, cv::THRESH_BINARY);
    lines.clear();
    marked = false;
  }
  if (haveBox) {
    traceDebug("ok");
    return true;
  }
  traceDebug("ko");
  return false;
}

bool RotateImg(cv::Mat img, double angle) {
  if (img.empty()) return false;
  cv::Point2f centre(img.cols * 0.5f, img.rows * 0.5f);
  cv::Mat m = cv::getRotationMatrix2D(centre, angle, 1.0);
  if (m.empty()) {
    WriteTrace("no memory for rotated image A", false);
    return false;
  }
  cv::Mat rotated(img.size(), CV_8UC1);
  pvk::geometry::warpLinear(img, rotated, m);
  if (rotated.empty()) {
    WriteTrace("no memory for rotated image B", false);
    return false;
  }
  // Back into the caller's own buffer: the image keeps its size and stride.
  img.setTo(cv::Scalar(0));
  int rows = std::min(img.rows, rotated.rows), cols = std::min(img.cols, rotated.cols);
  rotated(cv::Rect(0, 0, cols, rows)).copyTo(img(cv::Rect(0, 0, cols, rows)));
  return true;
}
