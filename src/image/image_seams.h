// What image output takes from the floors below it (scanner control, calibration, side-image
// geometry, the document road), and the one seam tests replace: the side copy-out.
#pragma once

#include <cstdint>

#include "calibration/calibration.h"
#include "control/control.h"
#include "core/records.h"
#include "document/document.h"
#include "geometry/geometry.h"

namespace pvk::image {

using SideCopyOut = bool (*)(ImgInfo src, short rotation, int dpi, short brightness,
                             short contrast, ImgInfo& dst, uint8_t threshold, bool flipH,
                             bool flipV);
// The copy-out every elaboration goes through; WrapCutCopyOut unless a test puts its own.
extern SideCopyOut sideCopyOut;

}  // namespace pvk::image
