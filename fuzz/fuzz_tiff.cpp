// libFuzzer target: TIFF files through libtiff and our row unpackers, first and second page.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pvk::rasterlib::fuzz::decodeAs(data, size, IMAGE_TYPE_TIF, 0);
    pvk::rasterlib::fuzz::decodeAs(data, size, IMAGE_TYPE_TIF, 1);
    return 0;
}
