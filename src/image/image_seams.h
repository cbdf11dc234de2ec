// What image output takes from the acquisition folder, and the one seam tests replace: the
// side copy-out. WrapCutCopyOut and MyOcrFree have weak stand-ins in image_seams_default.cpp
// until the scanner-open code defines them (same signatures; the real ones take precedence).
#pragma once

#include <cstdint>

#include "acquisition/acq_buffers.h"
#include "acquisition/correction.h"
#include "acquisition/scanner_control.h"
#include "core/records.h"

// Cuts side `src` out at `dpi`, turned by rotation (0, 256, 512, 768) and mirrored, into a new
// buffer owned by dst. False when the cut is refused.
bool WrapCutCopyOut(ImgInfo src, short rotation, int dpi, short brightness, short contrast,
                    ImgInfo& dst, uint8_t threshold, bool flipH, bool flipV);
// Releases the OCR image of a side; with clearDpi its requested dpi too.
void MyOcrFree(uint16_t side, bool clearDpi);

namespace pvk::image {

using SideCopyOut = bool (*)(ImgInfo src, short rotation, int dpi, short brightness,
                             short contrast, ImgInfo& dst, uint8_t threshold, bool flipH,
                             bool flipV);
// The copy-out every elaboration goes through; WrapCutCopyOut unless a test puts its own.
extern SideCopyOut sideCopyOut;

}  // namespace pvk::image
