// Perturbed zones around a linear sample: the zone's four sides moved together by 1-3 pixels
// either way, the zone moved 2 pixels along each axis, a Gaussian blur of sigma 0.7, and the
// image scaled to 0.9 (area averaging) and 1.1 (linear interpolation).
#include "zone_perturbations.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace pvk::peerbench {

cv::Mat asMat(const corpus::Image& im) {
  return cv::Mat(im.height, im.width, CV_8UC1, const_cast<uint8_t*>(im.pixels.data())).clone();
}

corpus::Image asImage(const cv::Mat& m, int dpi) {
  corpus::Image out;
  out.width = m.cols;
  out.height = m.rows;
  out.dpi = dpi;
  const cv::Mat c = m.isContinuous() ? m : m.clone();
  out.pixels.assign(c.data, c.data + c.total());
  return out;
}

uint8_t borderShade(const cv::Mat& m) {
  std::vector<uint8_t> border;
  for (int x = 0; x < m.cols; ++x) border.insert(border.end(), {m.at<uint8_t>(0, x), m.at<uint8_t>(m.rows - 1, x)});
  for (int y = 0; y < m.rows; ++y) border.insert(border.end(), {m.at<uint8_t>(y, 0), m.at<uint8_t>(y, m.cols - 1)});
  std::nth_element(border.begin(), border.begin() + border.size() / 2, border.end());
  return border[border.size() / 2];
}

namespace {

// The zone whose sides lie left, top, right, bottom pixels outside the sample's (negative:
// inside), paper of the border's shade where it leaves the sample. Never below one pixel.
cv::Mat zone(const cv::Mat& m, int left, int top, int right, int bottom) {
  const int w = std::max(1, m.cols + left + right), h = std::max(1, m.rows + top + bottom);
  cv::Mat out(h, w, CV_8UC1, cv::Scalar(borderShade(m)));
  const cv::Rect inSample(0, 0, m.cols, m.rows);
  const cv::Rect wanted(-left, -top, w, h);
  const cv::Rect common = inSample & wanted;
  if (common.area() > 0) m(common).copyTo(out(common - wanted.tl()));
  return out;
}

}  // namespace

std::vector<std::string> perturbationKinds() {
  return {"cut-3", "cut-2", "cut-1", "cut+1", "cut+2", "cut+3", "shift-x", "shift+x",
          "shift-y", "shift+y", "blur0.7", "scale0.9", "scale1.1"};
}

std::vector<Perturbed> perturbations(const corpus::Image& sample) {
  const cv::Mat m = asMat(sample);
  std::vector<Perturbed> out;
  auto add = [&](const char* kind, const cv::Mat& p) { out.push_back(Perturbed{kind, asImage(p, sample.dpi)}); };
  const char* cuts[] = {"cut-3", "cut-2", "cut-1", "cut+1", "cut+2", "cut+3"};
  for (int d : {-3, -2, -1, 1, 2, 3}) add(cuts[d < 0 ? d + 3 : d + 2], zone(m, d, d, d, d));
  add("shift-x", zone(m, 2, 0, -2, 0));
  add("shift+x", zone(m, -2, 0, 2, 0));
  add("shift-y", zone(m, 0, 2, 0, -2));
  add("shift+y", zone(m, 0, -2, 0, 2));
  cv::Mat p;
  cv::GaussianBlur(m, p, cv::Size(0, 0), 0.7);
  add("blur0.7", p);
  cv::resize(m, p, cv::Size(), 0.9, 0.9, cv::INTER_AREA);
  add("scale0.9", p);
  cv::resize(m, p, cv::Size(), 1.1, 1.1, cv::INTER_LINEAR);
  add("scale1.1", p);
  return out;
}

}  // namespace pvk::peerbench
