// libFuzzer target: JPEG files through the section and EXIF reader and libjpeg.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > pvk::rasterlib::fuzz::kMaxInput) return 0;
    // The section reader alone, in both modes, over an exact-size copy.
    std::vector<uint8_t> copy(data, data + size);
    for (int mode : {1, 3}) {
        RasterMemFile file(copy.data(), static_cast<uint32_t>(copy.size()));
        RasterImageJPG::RasterExifInfo exif;
        exif.DecodeExif(&file, mode);
    }
    pvk::rasterlib::fuzz::decodeAs(data, size, IMAGE_TYPE_JPG);
    return 0;
}
