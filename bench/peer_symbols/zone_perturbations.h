// The zones a host may draw around a real linear symbol instead of the sample's own: cut a few
// pixels tighter or looser, shifted, blurred, or the print at a slightly other scale.
#pragma once

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

}  // namespace pvk::peerbench
