// The sides of an acquired document made ready for output: the combined deskew angle, the
// endorsement drawn on the front, and each side deskewed, cropped and stamped in place.
#pragma once

#include <cstdint>

#include "core/records.h"

namespace pvk::acquisition {

// Deskews, crops and stamps the used sides of `sides` (rear then front); 0, or -4 when a side
// could not be processed (traced).
int32_t finishSides(ImgInfo* sides, bool secondPart);

// The endorser's per-document flags as the document road sees them.
void inkjetPrintedClear();
bool inkjetPrinted();
void inkjetArmedClear();

}  // namespace pvk::acquisition
