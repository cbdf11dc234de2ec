// Hand-made BMP files for the codec tests: headers with chosen fields and raw data.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace pvk::rasterlib::test {

inline void put16(std::vector<uint8_t>& v, uint32_t x)
{
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}

inline void put32(std::vector<uint8_t>& v, uint32_t x)
{
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}

struct BmpSpec {
    int32_t width = 4;
    int32_t height = 2;
    uint16_t bits = 8;
    uint32_t compression = 0;
    uint32_t clrUsed = 0;
    uint32_t paletteEntries = 0;  // entries actually written
    uint32_t headerSize = 40;
    bool fileHeader = true;
    uint32_t sizeImage = 0;
    int32_t ppm = 3780;
    std::vector<uint32_t> masks;  // written after the header
};

// Palette entry i is (i, i, i); the data follows the palette (and masks) directly.
inline std::vector<uint8_t> craftBmp(const BmpSpec& s, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> info;
    put32(info, s.headerSize);
    put32(info, static_cast<uint32_t>(s.width));
    put32(info, static_cast<uint32_t>(s.height));
    put16(info, 1);
    put16(info, s.bits);
    put32(info, s.compression);
    put32(info, s.sizeImage);
    put32(info, static_cast<uint32_t>(s.ppm));
    put32(info, static_cast<uint32_t>(s.ppm));
    put32(info, s.clrUsed);
    put32(info, 0);
    while (info.size() < s.headerSize) info.push_back(0);
    for (uint32_t m : s.masks) put32(info, m);
    for (uint32_t i = 0; i < s.paletteEntries; ++i) {
        const uint8_t v = static_cast<uint8_t>(i);
        info.insert(info.end(), {v, v, v, 0});
    }
    std::vector<uint8_t> out;
    if (s.fileHeader) {
        out.push_back('B');
        out.push_back('M');
        put32(out, static_cast<uint32_t>(14 + info.size() + data.size()));
        put32(out, 0);
        put32(out, static_cast<uint32_t>(14 + info.size()));
    }
    out.insert(out.end(), info.begin(), info.end());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

}  // namespace pvk::rasterlib::test
