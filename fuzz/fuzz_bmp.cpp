// libFuzzer target: BMP files (with and without a file header) through the BMP decoder.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pvk::rasterlib::fuzz::decodeAs(data, size, IMAGE_TYPE_BMP);
    return 0;
}
