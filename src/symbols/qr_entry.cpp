// The QR reader entry of zone font 37: finds the symbol's outline in the grey zone image and
// turns it upright, as the DataMatrix entry does, then reads no text. The outline search
// shrinks its erosion and grows its dilation until one blob is large enough.
#include <algorithm>
#include <cstring>

#include <opencv2/imgproc.hpp>

#include "core/trace.h"
#include "geometry/geometry.h"
#include "symbols/symbols.h"

namespace {

// Largest contours (more than three points, area above 500), at most four, largest first; an
// equal area goes before the one already kept.
std::vector<std::pair<double, size_t>> largestFour(const std::vector<std::vector<cv::Point>>& contours) {
  std::vector<std::pair<double, size_t>> top;
  for (size_t k = 0; k < contours.size(); ++k) {
    if (contours[k].size() <= 3) continue;
    const double area = cv::contourArea(contours[k], false);
    if (area <= 500.0) continue;
    auto at = std::find_if(top.begin(), top.end(), [&](const auto& e) { return e.first <= area; });
    top.insert(at, {area, k});
    if (top.size() > 4) top.pop_back();
  }
  return top;
}

// One try's corners and upright warp; false when the try is skipped (same box as the last
// try, or a side below 16 pixels).
bool uprightQr(const cv::Mat& image, const std::vector<cv::Point>* outline, cv::Point2f prev[4]) {
  cv::Point2f p[4];
  int a = image.cols, b = image.rows;
  if (outline) {
    const cv::RotatedRect box = pvk::geometry::minAreaBox(*outline);
    pvk::geometry::boxCorners(box, p);
    if (std::memcmp(p, prev, sizeof p) == 0) return false;
    std::memcpy(prev, p, sizeof p);
    const int w = static_cast<int>(box.size.width), h = static_cast<int>(box.size.height);
    if (w < 16 || h < 16) return false;
    a = box.angle < -45 ? h : w;
    b = box.angle < -45 ? w : h;
  } else {
    // No outline: the whole zone.
    const float w1 = static_cast<float>(image.cols - 1), h1 = static_cast<float>(image.rows - 1);
    p[0] = cv::Point2f(0, 0);
    p[1] = cv::Point2f(0, h1);
    p[2] = cv::Point2f(w1, 0);
    p[3] = cv::Point2f(w1, h1);
  }
  cv::Point2f c[4];
  ChooseSymbolCorners(p, c);
  if (GrowSymbolCorners(c, 4, image.cols, image.rows)) {
    a += 16;
    b += 16;
  }
  // The upright symbol would go to a decoder here; the entry reads no text, so it is dropped.
  pvk::geometry::uprightWarp(image, c, a, b);
  return true;
}

void locate(const cv::Mat& image) {
  int table[25] = {0};
  int base = 0;
  cv::Point2f prev[4] = {};
  for (int i = 0; i < 5; ++i) {
    if (pvk::core::stopRequested()) return;
    const int t = table[i];
    if (i > 0 && (t > base + 80 || t < (base > 89 ? base - 80 : 10))) continue;
    std::vector<std::vector<cv::Point>> found;
    double threshold = t;
    cv::Mat gray = image;
    const bool ok = findImgContoursQRCode(gray, found, threshold);
    if (i == 0 && ok) {
      base = std::min(static_cast<int>(threshold), 160);
      table[0] = base;
      for (int k = 1; k < 25; ++k) table[k] = std::max(0, base - 10 * k);
    }
    if (!ok && i > 0) continue;
    uprightQr(image, ok ? &found.back() : nullptr, prev);
  }
}

}  // namespace

bool findImgContoursQRCode(cv::Mat& img, std::vector<std::vector<cv::Point>>& found, double& threshold) {
  // The blur and threshold are the same on every round; only the morphology changes.
  cv::Mat thresholded;
  threshold = pvk::geometry::blurThresholdInverse(img, thresholded, 15, threshold);
  int e = 3, f = 1;
  for (;;) {
    if (pvk::core::stopRequested()) return false;
    const int ep = std::max(e, 0);
    cv::Mat bin = thresholded.clone();
    pvk::geometry::erodeDilateSquare(bin, 2 * ep + 1, 2 * ep * f + 3);
    const auto contours = pvk::geometry::externalContours(bin);
    const auto top = largestFour(contours);
    const double a = top.empty() ? 0.0 : top[0].first;
    // A mid-sized blob with erosion left is tried again with less erosion and more dilation;
    // a large one is taken; anything else is retried until the erosion is gone.
    const bool adjust = a > 0 && a < 20000.0 && ep >= 1;
    if (!adjust && a > 6000.0) {
      found.push_back(contours[top[0].second]);
      return true;
    }
    if (f <= 4) {
      f += 2;
      e = ep;
    } else if (ep <= 0) {
      return false;
    } else {
      e = ep - 2;
      f = 1;
    }
  }
}

int PQrCodeDecode(PVKImg* img, char* out, unsigned short& len) {
  if (!out || len == 0) {
    WriteTrace("QrCode - invalid parameter", false);
    len = 0;
    return -1;
  }
  out[0] = 0;
  if (!img || !img->data) {
    WriteTrace("DataMatrix - null pointer", false);
    return -1;
  }
  const int stride = img->stride ? img->stride : img->width;
  // A record whose rows would overlap holds no image to look at.
  if (img->width == 0 || img->height == 0 || stride < img->width) return 0;
  try {
    const cv::Mat image(img->height, img->width, CV_8UC1, img->data, static_cast<size_t>(stride));
    locate(image);
  } catch (...) {
  }
  return 0;
}
