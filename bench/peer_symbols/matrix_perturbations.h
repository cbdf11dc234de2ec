// The zones a host may draw around a real PDF417 or DataMatrix symbol: those of a linear one,
// and besides the print turned a little on the page or the zone drawn well into white paper.
#pragma once

#include <string>
#include <vector>

#include "zone_perturbations.h"

namespace pvk::peerbench {

// The perturbed zones of one two-dimensional sample: those of perturbations(), then the sample
// turned 2 and 5 degrees anticlockwise (the canvas grown to hold it, paper of its border's
// shade), then the sample on 16 pixels of white paper all round. Always in the same order.
std::vector<Perturbed> matrixPerturbations(const corpus::Image& sample);

// Every kind matrixPerturbations() gives, in its order.
std::vector<std::string> matrixPerturbationKinds();

}  // namespace pvk::peerbench
