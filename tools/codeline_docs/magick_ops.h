// The ImageMagick steps of the codeline documents, kept apart so that only this file sees its
// headers.
#pragma once

#include "glyphs.h"

namespace pvk::codelinedocs {

// Gaussian blur of sigma pixels (none for 0), then a rotation by degrees about the centre that
// keeps the image's size, the corners filled with the paper's grey. One thread, so the result is
// the same on every run. Throws std::runtime_error when ImageMagick cannot be run.
void magickBlurAndRotate(glyphs::GreyImage& img, double sigma, double degrees, uint8_t paper);

}  // namespace pvk::codelinedocs
