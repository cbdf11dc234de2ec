// Perturbed zones around a PDF417 or DataMatrix sample: the linear ones, the print turned by a
// small angle, and the zone drawn into white paper well beyond the sample's own border.
#include "matrix_perturbations.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace pvk::peerbench {

namespace {

constexpr int kWhiteBorder = 16;  // pixels of white paper on each side

// The sample turned by `degrees` anticlockwise about its centre, on a canvas grown to hold all of it.
cv::Mat turned(const cv::Mat& m, double degrees) {
  const double a = degrees * CV_PI / 180, c = std::abs(std::cos(a)), s = std::abs(std::sin(a));
  const int w = static_cast<int>(std::ceil(m.cols * c + m.rows * s));
  const int h = static_cast<int>(std::ceil(m.cols * s + m.rows * c));
  cv::Mat r = cv::getRotationMatrix2D(cv::Point2f(m.cols / 2.0f, m.rows / 2.0f), degrees, 1.0);
  r.at<double>(0, 2) += (w - m.cols) / 2.0;
  r.at<double>(1, 2) += (h - m.rows) / 2.0;
  cv::Mat out;
  cv::warpAffine(m, out, r, cv::Size(w, h), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(borderShade(m)));
  return out;
}

}  // namespace

std::vector<std::string> matrixPerturbationKinds() {
  std::vector<std::string> kinds = perturbationKinds();
  kinds.insert(kinds.end(), {"rotate2", "rotate5", "white16"});
  return kinds;
}

std::vector<Perturbed> matrixPerturbations(const corpus::Image& sample) {
  std::vector<Perturbed> out = perturbations(sample);
  const cv::Mat m = asMat(sample);
  out.push_back(Perturbed{"rotate2", asImage(turned(m, 2), sample.dpi)});
  out.push_back(Perturbed{"rotate5", asImage(turned(m, 5), sample.dpi)});
  cv::Mat white;
  cv::copyMakeBorder(m, white, kWhiteBorder, kWhiteBorder, kWhiteBorder, kWhiteBorder, cv::BORDER_CONSTANT,
                     cv::Scalar(255));
  out.push_back(Perturbed{"white16", asImage(white, sample.dpi)});
  return out;
}

}  // namespace pvk::peerbench
