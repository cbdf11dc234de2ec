// The QR reader entry of zone font 37, which reads no text, and the outline search a decoder of
// the upright symbol would start from: it shrinks its erosion and grows its dilation until one
// blob is large enough.
#include <algorithm>

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
  // No decoder takes an upright QR symbol, so finding its outline and turning it upright would
  // cost the host the time of a full read for a result nobody uses: the zone gives no text.
  return 0;
}
