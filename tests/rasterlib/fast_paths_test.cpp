// The quick ways of the raster library against the per-pixel ways they replace, on random
// pictures: the packed threshold, JPEG fed with the bitmap's own blue-first rows, TIFF rows
// written in place, and plain RGB TIFF strips read without libtiff's RGBA reader.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <tiffio.h>

#include <random>
#include <string>
#include <vector>

#include "raster_test_util.h"

namespace {

using pvk::rasterlib::test::scratch;

RasterImage randomImage(uint32_t w, uint32_t h, uint32_t bpp, uint32_t seed)
{
    RasterImage img;
    img.Create(w, h, bpp, 0);
    if (bpp == 8) img.SetGrayPalette();
    std::mt19937 rng(seed);
    for (uint32_t y = 0; y < h; ++y) {
        uint8_t* row = img.GetBits(y);
        for (uint32_t i = 0; i < img.GetEffWidth(); ++i) row[i] = static_cast<uint8_t>(rng());
        if (bpp == 1) row[(w - 1) / 8] &= static_cast<uint8_t>(0xFF00 >> (w % 8 ? w % 8 : 8));
    }
    return img;
}

// What the threshold makes of a pixel: its grey by the library's weights, then above the level.
uint8_t greyOf(uint8_t r, uint8_t g, uint8_t b) { return static_cast<uint8_t>((601 * g + 117 * b + 306 * r) >> 10); }

TEST(RasterFastPaths, ThresholdPacksWhatThePixelWalkSets)
{
    uint32_t seed = 3;
    for (uint32_t bpp : {8u, 24u})
        for (uint32_t w : {1u, 7u, 8u, 9u, 17u, 64u, 131u})
            for (int level : {0, 100, 254}) {
                RasterImage img = randomImage(w, 5, bpp, seed++);
                if (bpp == 8 && w == 17) {  // a palette that is not the grey ramp
                    RGBQUAD* pal = img.GetPalette();
                    for (int i = 0; i < 256; ++i) pal[i] = RGBQUAD{uint8_t(i * 7), uint8_t(255 - i), uint8_t(i / 2), 0};
                }
                std::vector<uint8_t> want;
                for (uint32_t y = 0; y < 5; ++y)
                    for (uint32_t x = 0; x < w; ++x) {
                        RGBQUAD c = img.GetPixelColor(static_cast<int32_t>(x), static_cast<int32_t>(y));
                        want.push_back(greyOf(c.rgbRed, c.rgbGreen, c.rgbBlue) > level);
                    }
                ASSERT_TRUE(img.Threshold(static_cast<uint8_t>(level)));
                ASSERT_EQ(img.GetBpp(), 1);
                std::vector<uint8_t> got;
                for (uint32_t y = 0; y < 5; ++y) {
                    for (uint32_t x = 0; x < w; ++x) got.push_back(img.GetPixelIndex(static_cast<int32_t>(x), static_cast<int32_t>(y)));
                    // Bits past the width stay clear.
                    const uint8_t* row = img.GetBits(y);
                    if (w % 8) {
                        EXPECT_EQ(row[w / 8] & (0xFF >> (w % 8)), 0);
                    }
                }
                EXPECT_EQ(got, want) << "bpp " << bpp << " width " << w << " level " << level;
            }
}

// The encoding as it was made before: each row copied, swapped to RGB and given as RGB.
std::vector<uint8_t> referenceJpeg(RasterImage& img, int quality)
{
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = img.GetWidth();
    c.image_height = img.GetHeight();
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, FALSE);
    c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = 2;
    c.comp_info[1].h_samp_factor = c.comp_info[1].v_samp_factor = 1;
    c.comp_info[2].h_samp_factor = c.comp_info[2].v_samp_factor = 1;
    c.density_unit = 1;
    c.X_density = static_cast<UINT16>(img.GetXDPI());
    c.Y_density = static_cast<UINT16>(img.GetYDPI());
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> line(img.GetEffWidth());
    while (c.next_scanline < c.image_height) {
        const uint8_t* row = img.GetBits(c.image_height - 1 - c.next_scanline);
        for (uint32_t x = 0; x < img.GetWidth(); ++x) {
            line[3 * x] = row[3 * x + 2];
            line[3 * x + 1] = row[3 * x + 1];
            line[3 * x + 2] = row[3 * x];
        }
        JSAMPROW p = line.data();
        jpeg_write_scanlines(&c, &p, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<uint8_t> bytes(out, out + size);
    free(out);
    return bytes;
}

TEST(RasterFastPaths, ColourJpegFromBlueFirstRowsIsTheSameFile)
{
    uint32_t seed = 40;
    for (auto [w, h] : {std::pair{33u, 17u}, std::pair{64u, 48u}, std::pair{101u, 39u}}) {
        RasterImage img = randomImage(w, h, 24, seed++);
        img.SetJpegQuality(80);
        img.SetXDPI(300);
        img.SetYDPI(200);
        uint8_t* buf = nullptr;
        int32_t size = 0;
        ASSERT_TRUE(img.Encode(buf, size, IMAGE_TYPE_JPG));
        std::vector<uint8_t> got(buf, buf + size);
        free(buf);
        EXPECT_EQ(got, referenceJpeg(img, 80)) << w << "x" << h;
    }
}

// Top-down rows of a TIFF as libtiff decodes them.
std::vector<std::vector<uint8_t>> tiffRows(const std::string& path)
{
    std::vector<std::vector<uint8_t>> rows;
    TIFF* t = TIFFOpen(path.c_str(), "r");
    if (!t) return rows;
    uint32_t h = 0;
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
    for (uint32_t y = 0; y < h; ++y) {
        std::vector<uint8_t> row(TIFFScanlineSize(t));
        if (TIFFReadScanline(t, row.data(), y, 0) < 0) break;
        rows.push_back(row);
    }
    TIFFClose(t);
    return rows;
}

TEST(RasterFastPaths, TiffRowsWrittenInPlaceHoldThePicture)
{
    struct Case {
        uint32_t bpp, compression;
    } cases[] = {{8, COMPRESSION_NONE}, {8, COMPRESSION_LZW}, {1, COMPRESSION_CCITTFAX4}, {1, COMPRESSION_NONE},
                 {24, COMPRESSION_NONE}, {24, COMPRESSION_LZW}};
    uint32_t seed = 70;
    for (const Case& c : cases) {
        const uint32_t w = 45, h = 21;
        RasterImage img = randomImage(w, h, c.bpp, seed++);
        if (c.bpp == 1) {
            img.SetPaletteColor(0, 0, 0, 0);
            img.SetPaletteColor(1, 255, 255, 255);
        }
        RasterImage before(img);
        img.SetCodecOption(c.compression, IMAGE_TYPE_TIF);
        const std::string path = scratch("inplace_" + std::to_string(c.bpp) + "_" + std::to_string(c.compression) + ".tif");
        ASSERT_TRUE(img.Save(path.c_str(), IMAGE_TYPE_TIF));
        auto rows = tiffRows(path);
        ASSERT_EQ(rows.size(), h);
        for (uint32_t y = 0; y < h; ++y) {
            const uint8_t* src = before.GetBits(h - 1 - y);
            for (uint32_t x = 0; x < (c.bpp == 1 ? (w + 7) / 8 : w * c.bpp / 8); ++x) {
                uint8_t want = src[x];
                if (c.bpp == 24) want = src[x - x % 3 + 2 - x % 3];  // the file holds RGB
                if (c.bpp == 1) want = static_cast<uint8_t>(~want);    // black is 1 in a MinIsWhite file
                const uint8_t mask = c.bpp == 1 && x == w / 8 ? static_cast<uint8_t>(0xFF00 >> (w % 8)) : 0xFF;
                ASSERT_EQ(rows[y][x] & mask, want & mask)
                    << "bpp " << c.bpp << " compression " << c.compression << " row " << y << " byte " << x;
            }
        }
    }
}

// A plain RGB TIFF: random samples, given strips, compression and orientation.
std::vector<uint8_t> writeRgbTiff(const std::string& path, uint32_t w, uint32_t h, uint32_t rowsPerStrip,
                                  uint16_t compression, uint16_t orientation, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> px(static_cast<size_t>(w) * h * 3);
    for (auto& b : px) b = static_cast<uint8_t>(rng() % 7 == 0 ? rng() : 128 + rng() % 4);
    TIFF* t = TIFFOpen(path.c_str(), "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
    TIFFSetField(t, TIFFTAG_ORIENTATION, orientation);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    if (compression == COMPRESSION_LZW) TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    for (uint32_t y = 0; y < h; ++y) TIFFWriteScanline(t, px.data() + static_cast<size_t>(y) * w * 3, y, 0);
    TIFFClose(t);
    return px;
}

// The picture as libtiff's RGBA reader gives it, turned as the Orientation tag says.
bool referenceRgb(const std::string& path, RasterImage& out)
{
    TIFF* t = TIFFOpen(path.c_str(), "r");
    if (!t) return false;
    uint32_t w = 0, h = 0;
    uint16_t orientation = 1;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetField(t, TIFFTAG_ORIENTATION, &orientation);
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    std::vector<uint32_t> raster(static_cast<size_t>(w) * h);
    const bool ok = TIFFReadRGBAImage(t, w, h, raster.data(), 1);
    TIFFClose(t);
    if (!ok) return false;
    out.Create(w, h, 24, 0);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            uint32_t p = raster[static_cast<size_t>(y) * w + x];
            uint8_t* d = out.GetBits(y) + 3 * x;
            d[0] = static_cast<uint8_t>(TIFFGetB(p));
            d[1] = static_cast<uint8_t>(TIFFGetG(p));
            d[2] = static_cast<uint8_t>(TIFFGetR(p));
        }
    switch (orientation) {
    case ORIENTATION_TOPRIGHT: out.Mirror(); break;
    case ORIENTATION_BOTRIGHT: out.Flip(); out.Mirror(); break;
    case ORIENTATION_BOTLEFT: out.Flip(); break;
    case ORIENTATION_LEFTTOP: out.RotateRight(); out.Mirror(); break;
    case ORIENTATION_RIGHTTOP: out.RotateRight(); break;
    case ORIENTATION_RIGHTBOT: out.RotateLeft(); out.Mirror(); break;
    case ORIENTATION_LEFTBOT: out.RotateLeft(); break;
    default: break;
    }
    return true;
}

TEST(RasterFastPaths, RgbStripsReadAsTheRgbaReaderReadsThem)
{
    struct Case {
        uint32_t w, h, rowsPerStrip;
        uint16_t compression, orientation;
    } cases[] = {{37, 23, 1, COMPRESSION_NONE, ORIENTATION_TOPLEFT},
                 {37, 23, 7, COMPRESSION_LZW, ORIENTATION_TOPLEFT},
                 {64, 40, 40, COMPRESSION_ADOBE_DEFLATE, ORIENTATION_BOTRIGHT},
                 {29, 31, 5, COMPRESSION_PACKBITS, ORIENTATION_LEFTTOP},
                 {50, 9, 100, COMPRESSION_NONE, ORIENTATION_RIGHTBOT}};
    uint32_t seed = 90;
    for (const Case& c : cases) {
        const std::string path = scratch("rgb_" + std::to_string(seed) + ".tif");
        writeRgbTiff(path, c.w, c.h, c.rowsPerStrip, c.compression, c.orientation, seed++);
        RasterImage want, got;
        ASSERT_TRUE(referenceRgb(path, want));
        ASSERT_TRUE(got.Load(path.c_str(), IMAGE_TYPE_TIF)) << got.GetLastError();
        ASSERT_EQ(got.GetBpp(), 24);
        ASSERT_EQ(got.GetWidth(), want.GetWidth());
        ASSERT_EQ(got.GetHeight(), want.GetHeight());
        for (uint32_t y = 0; y < want.GetHeight(); ++y)
            ASSERT_EQ(0, memcmp(got.GetBits(y), want.GetBits(y), 3 * want.GetWidth()))
                << "case with compression " << c.compression << " orientation " << c.orientation << " row " << y;
    }
}

}  // namespace

namespace {

std::vector<uint8_t> fileBytes(const std::string& path)
{
    std::vector<uint8_t> bytes;
    if (FILE* f = fopen(path.c_str(), "rb")) {
        int c;
        while ((c = fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
        fclose(f);
    }
    return bytes;
}

// Plain strips of a file in memory are taken from where they lie; the picture must be the one
// read from disk through libtiff, and a file cut short must fail the same way.
TEST(RasterFastPaths, RgbStripsInMemoryReadAsFromDisk)
{
    struct Case {
        uint32_t w, h, rowsPerStrip;
        uint16_t compression, orientation;
    } cases[] = {{37, 23, 1, COMPRESSION_NONE, ORIENTATION_TOPLEFT},   {64, 23, 7, COMPRESSION_NONE, ORIENTATION_TOPLEFT},
                 {37, 23, 23, COMPRESSION_NONE, ORIENTATION_BOTRIGHT}, {1400, 6, 4, COMPRESSION_NONE, ORIENTATION_TOPLEFT},
                 {29, 31, 5, COMPRESSION_LZW, ORIENTATION_LEFTTOP}};
    uint32_t seed = 500;
    for (const Case& c : cases) {
        const std::string path = scratch("mem_rgb_" + std::to_string(seed) + ".tif");
        writeRgbTiff(path, c.w, c.h, c.rowsPerStrip, c.compression, c.orientation, seed++);
        std::vector<uint8_t> bytes = fileBytes(path);
        RasterImage disk, mem;
        ASSERT_TRUE(disk.Load(path.c_str(), IMAGE_TYPE_TIF)) << disk.GetLastError();
        ASSERT_TRUE(mem.Decode(bytes.data(), static_cast<uint32_t>(bytes.size()), IMAGE_TYPE_TIF)) << mem.GetLastError();
        ASSERT_EQ(mem.GetWidth(), disk.GetWidth());
        ASSERT_EQ(mem.GetHeight(), disk.GetHeight());
        for (uint32_t y = 0; y < disk.GetHeight(); ++y) {
            ASSERT_EQ(0, memcmp(mem.GetBits(y), disk.GetBits(y), disk.GetEffWidth())) << c.w << "x" << c.h << " row " << y;
            for (uint32_t x = 3 * c.w; c.orientation < ORIENTATION_LEFTTOP && x < mem.GetEffWidth(); ++x)
                ASSERT_EQ(mem.GetBits(y)[x], 0) << c.w << "x" << c.h << " padding of row " << y;  // the bitmap was not zeroed first
        }
    }
    // Strips are written before the directory, so a file cut inside its pixels loses the
    // directory too: the last strip is said to lie past the end instead (its entry in the
    // StripOffsets array of the little-endian file patched).
    const std::string path = scratch("mem_rgb_cut.tif");
    writeRgbTiff(path, 40, 12, 4, COMPRESSION_NONE, ORIENTATION_TOPLEFT, 77);
    std::vector<uint8_t> bytes = fileBytes(path);
    auto u16 = [&](size_t at) { return static_cast<uint32_t>(bytes[at] | bytes[at + 1] << 8); };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    ASSERT_EQ(u16(0), 0x4949u);
    const uint32_t ifd = u32(4);
    bool patched = false;
    for (uint32_t e = 0; e < u16(ifd); ++e) {
        const size_t entry = ifd + 2 + 12 * e;
        if (u16(entry) != TIFFTAG_STRIPOFFSETS || u16(entry + 2) != TIFF_LONG || u32(entry + 4) != 3) continue;
        const size_t last = u32(entry + 8) + 8;
        const uint32_t far = 1u << 30;
        for (int i = 0; i < 4; ++i) bytes[last + i] = static_cast<uint8_t>(far >> (8 * i));
        patched = true;
    }
    ASSERT_TRUE(patched);
    {
        FILE* f = fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
    RasterImage disk, mem;
    EXPECT_FALSE(disk.Load(path.c_str(), IMAGE_TYPE_TIF));
    EXPECT_FALSE(mem.Decode(bytes.data(), static_cast<uint32_t>(bytes.size()), IMAGE_TYPE_TIF));
}

uint64_t fnv1a(const uint8_t* p, size_t n)
{
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

// Uncompressed TIFF files in memory, whole, against the digests of the files the row-by-row
// writer made: one-row strips, strips of several rows, rows with and without padding, grey,
// colour and bilevel, a last strip cut short.
TEST(RasterFastPaths, PlainTiffFilesKeepTheirBytes)
{
    struct Case {
        uint32_t w, h, bpp;
        uint64_t digest;
    } cases[] = {{45, 21, 8, 503410530460119111ull}, {45, 21, 24, 3492944570654406230ull},
                 {2800, 5, 8, 13302051183737923023ull}, {2800, 5, 24, 24388268243718711ull},
                 {1001, 31, 8, 13410073268962415930ull}, {1001, 31, 24, 333222507597236676ull},
                 {1000, 17, 24, 5140879185496135568ull}, {77, 40, 1, 13080387224563622458ull},
                 {9000, 3, 1, 12938629471422503043ull}};
    uint32_t seed = 300;
    for (const Case& c : cases) {
        RasterImage img = randomImage(c.w, c.h, c.bpp, seed++);
        if (c.bpp == 1) {
            img.SetPaletteColor(0, 0, 0, 0);
            img.SetPaletteColor(1, 255, 255, 255);
        }
        img.SetXDPI(200);
        img.SetYDPI(300);
        img.SetCodecOption(COMPRESSION_NONE, IMAGE_TYPE_TIF);
        uint8_t* out = nullptr;
        int32_t size = 0;
        ASSERT_TRUE(img.Encode(out, size, IMAGE_TYPE_TIF));
        EXPECT_EQ(fnv1a(out, static_cast<size_t>(size)), c.digest)
            << c.w << "x" << c.h << " bpp " << c.bpp << " size " << size;
        // The same file written through a stdio stream: the bytes libtiff skips to align its
        // directory are zeros there, and must be in memory too, whatever the heap held.
        const std::string path = scratch("plain_" + std::to_string(c.w) + "_" + std::to_string(c.bpp) + ".tif");
        FILE* f = fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        const bool written = img.Encode(f, IMAGE_TYPE_TIF);
        fclose(f);
        ASSERT_TRUE(written);
        EXPECT_EQ(fileBytes(path), std::vector<uint8_t>(out, out + size)) << c.w << "x" << c.h << " bpp " << c.bpp;
        free(out);
    }
}

}  // namespace

namespace {

// A BMP whose rows are borrowed from the caller's buffer has no zeroed pixel area of its own
// until it owns them: a copy, a BMP written from it and its dump must still hold the pixels, and
// a buffer too short to borrow from reads as it always did (what it lacks is black).
TEST(RasterFastPaths, BorrowedRowsCopyEncodeAndReadShortAsOwnedOnes)
{
    uint32_t seed = 900;
    for (uint32_t bpp : {8u, 24u}) {
        RasterImage src = randomImage(45, 17, bpp, seed++);
        uint8_t* file = nullptr;
        int32_t size = 0;
        ASSERT_TRUE(src.Encode(file, size, IMAGE_TYPE_BMP));
        std::vector<uint8_t> bmp(file, file + size);
        free(file);

        RasterImage owned, borrowed;
        ASSERT_TRUE(owned.Decode(bmp.data(), static_cast<uint32_t>(bmp.size()), IMAGE_TYPE_BMP));
        ASSERT_TRUE(borrowed.DecodeBorrowing(bmp.data(), static_cast<uint32_t>(bmp.size())));
        ASSERT_TRUE(borrowed.BorrowsPixels());
        const size_t pixels = owned.GetEffWidth() * owned.GetHeight();

        RasterImage copy(borrowed);
        EXPECT_EQ(0, memcmp(copy.GetBits(0), owned.GetBits(0), pixels)) << bpp << " bpp copy";
        uint8_t *a = nullptr, *b = nullptr;
        int32_t sa = 0, sb = 0;
        ASSERT_TRUE(borrowed.Encode(a, sa, IMAGE_TYPE_BMP));
        ASSERT_TRUE(owned.Encode(b, sb, IMAGE_TYPE_BMP));
        EXPECT_TRUE(sa == sb && memcmp(a, b, static_cast<size_t>(sa)) == 0) << bpp << " bpp BMP";
        free(a);
        free(b);
        std::vector<uint8_t> da(borrowed.DumpSize()), db(owned.DumpSize());
        ASSERT_EQ(borrowed.Dump(da.data()), da.size());
        ASSERT_EQ(owned.Dump(db.data()), db.size());
        EXPECT_EQ(0, memcmp(da.data() + da.size() - 1 - pixels, db.data() + db.size() - 1 - pixels, pixels))
            << bpp << " bpp dump";

        const uint32_t shortSize = static_cast<uint32_t>(bmp.size()) - 100;
        RasterImage cutOwned, cutBorrowed;
        ASSERT_TRUE(cutOwned.Decode(bmp.data(), shortSize, IMAGE_TYPE_BMP));
        ASSERT_TRUE(cutBorrowed.DecodeBorrowing(bmp.data(), shortSize));
        EXPECT_FALSE(cutBorrowed.BorrowsPixels());
        EXPECT_EQ(0, memcmp(cutBorrowed.GetBits(0), cutOwned.GetBits(0), pixels)) << bpp << " bpp cut short";
        EXPECT_EQ(cutOwned.GetBits(0)[pixels - 1], 0) << "the rows the buffer lacks are black";
    }
}

}  // namespace
