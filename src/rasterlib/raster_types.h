// Plain records of the raster image library: the 40-byte bitmap header, palette quads,
// rectangles and the EXIF record that the JPEG codec fills.
#pragma once

#include <cstdint>

#ifndef PVK_RGBQUAD_DEFINED
#define PVK_RGBQUAD_DEFINED
struct RGBQUAD {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
};
#endif

#ifndef PVK_RECT_DEFINED
#define PVK_RECT_DEFINED
struct RECT {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};
#endif

struct rgb_color {
    uint8_t r, g, b;
};

#pragma pack(push, 1)
struct tagBITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
struct tagBITMAPFILEHEADER {
    uint16_t bfType;
    uint32_t bfSize;
    uint16_t bfReserved1;
    uint16_t bfReserved2;
    uint32_t bfOffBits;
};
#pragma pack(pop)
static_assert(sizeof(tagBITMAPINFOHEADER) == 40, "BMP information header is 40 bytes");
static_assert(sizeof(tagBITMAPFILEHEADER) == 14, "BMP file header is 14 bytes");
static_assert(sizeof(RGBQUAD) == 4, "palette entries are 4 bytes");

// Packed RGB: red in bits 0-7, green 8-15, blue 16-23.
inline uint32_t RasterRGB(uint8_t r, uint8_t g, uint8_t b)
{
    return r | (static_cast<uint32_t>(g) << 8) | (static_cast<uint32_t>(b) << 16);
}
inline uint8_t RasterGetR(uint32_t c) { return static_cast<uint8_t>(c); }
inline uint8_t RasterGetG(uint32_t c) { return static_cast<uint8_t>(c >> 8); }
inline uint8_t RasterGetB(uint32_t c) { return static_cast<uint8_t>(c >> 16); }

enum {
    IMAGE_TYPE_UNKNOWN = 0,
    IMAGE_TYPE_BMP = 1,
    IMAGE_TYPE_JPG = 3,
    IMAGE_TYPE_TIF = 6,
};

enum { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3 };

// What the JPEG section reader learns from a file (EXIF block, SOF and comment).
struct RasterExifData {
    char Version[5];
    char CameraMake[32];
    char CameraModel[40];
    char DateTime[20];
    int32_t Height, Width;
    int32_t Orientation;
    int32_t IsColor;
    int32_t Process;
    int32_t FlashUsed;
    float FocalLength;
    float ExposureTime;
    float ApertureFNumber;
    float Distance;
    float CCDWidth;
    float ExposureBias;
    int32_t LightSource;
    int32_t MeteringMode;
    int32_t ExposureProgram;
    int32_t ISOequivalent;
    int32_t CompressionLevel;
    float FocalplaneXRes;
    float FocalplaneYRes;
    float FocalplaneUnits;
    float Xresolution;
    float Yresolution;
    float ResolutionUnit;  // inches per unit
    float Brightness;
    char Comments[256];
    const uint8_t* ThumbnailPointer;
    uint32_t ThumbnailSize;
    bool IsExif;
};

// Float point and rectangle of the raster geometry helpers.
struct RasterPoint2 {
    float x, y;
    RasterPoint2() : x(0), y(0) {}
    RasterPoint2(float px, float py) : x(px), y(py) {}
    float Distance(const RasterPoint2& p) const { return Distance(p.x, p.y); }
    float Distance(float px, float py) const;
};

struct RasterRect2 {
    float left, top, right, bottom;
    RasterRect2() : left(0), top(0), right(0), bottom(0) {}
    RasterRect2(float l, float t, float r, float b) : left(l), top(t), right(r), bottom(b) {}
    float Surface() const { return (right - left) * (bottom - top); }
    RasterRect2 CrossSection(const RasterRect2& r2) const;
    RasterPoint2 Center() const { return RasterPoint2((right + left) / 2, (bottom + top) / 2); }
    float Width() const { return right - left; }
    float Height() const { return bottom - top; }
};
