// Builds EXIF blocks (TIFF directories in either byte order) and puts them into JPEGs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pvk::rasterlib::test {

struct ExifEntry {
    uint16_t tag;
    uint16_t type;   // 2 ASCII, 3 SHORT, 4 LONG, 5 RATIONAL, 7 UNDEFINED
    uint32_t count;
    std::vector<uint32_t> values;  // SHORT/LONG values, or numerator/denominator pairs
    std::string text;              // ASCII and UNDEFINED data
    int linkDir = -1;              // LONG holding the offset of this directory
    int64_t forcedOffset = -1;     // write this value offset instead of the real one
};

struct ExifDir {
    std::vector<ExifEntry> entries;
    int next = -1;            // directory index linked after this one
    int64_t forcedNext = -1;  // or a raw link value
    std::vector<uint8_t> blob;  // appended data (a thumbnail), offset in blobOffset
    uint32_t blobOffset = 0;
};

class ExifBuilder {
public:
    explicit ExifBuilder(bool bigEndian) : be_(bigEndian) {}

    // The TIFF block (from the byte-order mark on).
    std::vector<uint8_t> block(std::vector<ExifDir>& dirs)
    {
        std::vector<uint32_t> dirAt(dirs.size());
        uint32_t pos = 8;
        for (size_t i = 0; i < dirs.size(); ++i) {
            dirAt[i] = pos;
            pos += 2 + 12 * static_cast<uint32_t>(dirs[i].entries.size()) + 4;
        }
        std::vector<uint8_t> data;  // out-of-line values after the directories
        std::vector<uint8_t> out;
        out.push_back(be_ ? 'M' : 'I');
        out.push_back(be_ ? 'M' : 'I');
        put16(out, 42);
        put32(out, 8);
        for (size_t i = 0; i < dirs.size(); ++i) {
            put16(out, static_cast<uint32_t>(dirs[i].entries.size()));
            for (const ExifEntry& e : dirs[i].entries) {
                put16(out, e.tag);
                put16(out, e.type);
                put32(out, e.count);
                std::vector<uint8_t> v;
                if (e.linkDir >= 0) put32(v, dirAt[static_cast<size_t>(e.linkDir)]);
                else if (e.type == 2 || e.type == 7) v.assign(e.text.begin(), e.text.end());
                else if (e.type == 3) for (uint32_t x : e.values) put16(v, x);
                else for (uint32_t x : e.values) put32(v, x);
                if (v.size() <= 4 && e.forcedOffset < 0) {
                    while (v.size() < 4) v.push_back(0);
                    out.insert(out.end(), v.begin(), v.end());
                } else {
                    const uint32_t off = e.forcedOffset >= 0 ? static_cast<uint32_t>(e.forcedOffset)
                                                             : pos + static_cast<uint32_t>(data.size());
                    put32(out, off);
                    data.insert(data.end(), v.begin(), v.end());
                }
            }
            uint32_t link = 0;
            if (dirs[i].forcedNext >= 0) link = static_cast<uint32_t>(dirs[i].forcedNext);
            else if (dirs[i].next >= 0) link = dirAt[static_cast<size_t>(dirs[i].next)];
            put32(out, link);
        }
        for (ExifDir& d : dirs) {
            if (d.blob.empty()) continue;
            d.blobOffset = pos + static_cast<uint32_t>(data.size());
            data.insert(data.end(), d.blob.begin(), d.blob.end());
        }
        out.insert(out.end(), data.begin(), data.end());
        return out;
    }

    static std::vector<uint8_t> app1(const std::vector<uint8_t>& block)
    {
        std::vector<uint8_t> seg = {0xFF, 0xE1};
        const size_t len = block.size() + 8;
        seg.push_back(static_cast<uint8_t>(len >> 8));
        seg.push_back(static_cast<uint8_t>(len));
        seg.insert(seg.end(), {'E', 'x', 'i', 'f', 0, 0});
        seg.insert(seg.end(), block.begin(), block.end());
        return seg;
    }

    // The JPEG with the segment right after its start-of-image marker.
    static std::vector<uint8_t> insert(const std::vector<uint8_t>& jpeg, const std::vector<uint8_t>& seg)
    {
        std::vector<uint8_t> out = jpeg;
        out.insert(out.begin() + 2, seg.begin(), seg.end());
        return out;
    }

private:
    void put16(std::vector<uint8_t>& v, uint32_t x) const
    {
        if (be_) {
            v.push_back(static_cast<uint8_t>(x >> 8));
            v.push_back(static_cast<uint8_t>(x));
        } else {
            v.push_back(static_cast<uint8_t>(x));
            v.push_back(static_cast<uint8_t>(x >> 8));
        }
    }
    void put32(std::vector<uint8_t>& v, uint32_t x) const
    {
        for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (be_ ? 24 - 8 * i : 8 * i)));
    }
    bool be_;
};

}  // namespace pvk::rasterlib::test
