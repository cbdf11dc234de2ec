// The side copy-out hook of image output; see image_seams.h.
#include "image/image_seams.h"

namespace pvk::image {

SideCopyOut sideCopyOut = &WrapCutCopyOut;

}  // namespace pvk::image
