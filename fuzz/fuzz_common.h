// Shared part of the raster decoder fuzzers: a fresh exact-size copy of the input, a
// size cap, and a header probe that skips pictures too large to decode quickly.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "rasterlib/rasterlib.h"

namespace pvk::rasterlib::fuzz {

constexpr size_t kMaxInput = 1 << 20;
constexpr uint64_t kMaxPixels = 4u << 20;

// Decodes the bytes as the given type, after checking the header's claimed size.
inline void decodeAs(const uint8_t* data, size_t size, uint32_t type, int32_t frame = 0)
{
    if (size == 0 || size > kMaxInput) return;
    std::vector<uint8_t> copy(data, data + size);
    RasterImage probe;
    probe.SetFrame(frame);
    if (!probe.CheckFormat(copy.data(), static_cast<uint32_t>(copy.size()), type)) return;
    if (static_cast<uint64_t>(probe.GetWidth()) * probe.GetHeight() > kMaxPixels) return;
    RasterImage img;
    img.SetFrame(frame);
    if (img.Decode(copy.data(), static_cast<uint32_t>(copy.size()), type) && img.IsValid()) {
        // Touch the result through an encoder so the whole bitmap is read.
        uint8_t* out = nullptr;
        int32_t n = 0;
        if (img.Encode(out, n, IMAGE_TYPE_BMP)) img.FreeMemory(out);
    }
}

}  // namespace pvk::rasterlib::fuzz
