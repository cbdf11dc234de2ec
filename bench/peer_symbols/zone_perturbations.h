// The zones a host may draw around a real linear symbol instead of the sample's own: cut a few
// pixels tighter or looser, shifted, blurred, or the print at a slightly other scale.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "symbol_corpus.h"

namespace pvk::peerbench {

struct Perturbed {
  std::string kind;  // "cut-2", "cut+3", "shift-x", "blur0.7", "scale1.1", ...
  corpus::Image image;
};

// The perturbed zones of one sample, always in the same order and with the same kinds. Paper
// added around the sample is of the median shade of its border.
std::vector<Perturbed> perturbations(const corpus::Image& sample);

// Every kind perturbations() gives, in its order.
std::vector<std::string> perturbationKinds();

// A sample's pixels as an image of its own, and back; the median shade of an image's border.
cv::Mat asMat(const corpus::Image& im);
corpus::Image asImage(const cv::Mat& m, int dpi);
uint8_t borderShade(const cv::Mat& m);

}  // namespace pvk::peerbench
