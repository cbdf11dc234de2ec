// What image output takes from the acquisition folder, and the one seam tests replace: the
// side copy-out.
#pragma once

#include <cstdint>

#include "acquisition/acq_buffers.h"
#include "acquisition/correction.h"
#include "acquisition/document.h"
#include "acquisition/scanner_control.h"
#include "core/records.h"

namespace pvk::image {

using SideCopyOut = bool (*)(ImgInfo src, short rotation, int dpi, short brightness,
                             short contrast, ImgInfo& dst, uint8_t threshold, bool flipH,
                             bool flipV);
// The copy-out every elaboration goes through; WrapCutCopyOut unless a test puts its own.
extern SideCopyOut sideCopyOut;

}  // namespace pvk::image
