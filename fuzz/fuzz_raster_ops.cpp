// libFuzzer target: the raster image operations (geometry, filters, colour, histograms)
// on small pictures and parameters made from the input.
#include "raster_ops_driver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pvk::rasterlib::fuzz::runRasterOps(data, size);
    return 0;
}
