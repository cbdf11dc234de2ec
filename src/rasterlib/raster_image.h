// The raster image object: a device-independent bitmap (40-byte header, palette, bottom-up
// rows padded to 4 bytes) with its descriptive information, codec dispatch, pixel access
// and whole-image transforms. Failures return false and leave a text in GetLastError().
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "rasterlib/raster_file.h"
#include "rasterlib/raster_types.h"

#define RASTERIMAGE_MAX_MEMORY 268435456ull

// The descriptive information that travels with a bitmap (copied by CopyInfo,
// moved by Transfer). Plain data only: Startup clears it with memset.
struct RasterImageInfo {
    uint32_t dwEffWidth;      // bytes per row (stride)
    uint8_t* pImage;          // first pixel byte inside the DIB
    class RasterImage* pGhost;
    uint32_t dwType;
    char szLastError[256];
    int32_t nProgress;
    int32_t nEscape;
    int32_t nBkgndIndex;
    RGBQUAD nBkgndColor;
    float fQuality;
    uint8_t nJpegScale;
    int32_t nFrame;
    int32_t nNumFrames;
    uint32_t dwFrameDelay;
    int32_t xDPI;
    int32_t yDPI;
    uint8_t nAlphaMax;
    bool bEnabled;
    int32_t xOffset;
    int32_t yOffset;
    uint32_t dwCodecOpt[4];
    RGBQUAD last_c;
    uint8_t last_c_index;
    bool last_c_isvalid;
    uint32_t dwFlags;
    uint8_t dispmeth;
    bool bGetAllFrames;
    bool bLittleEndianHost;
    RasterExifData ExifInfo;
};

class RasterImage {
public:
    explicit RasterImage(uint32_t imagetype = 0);
    RasterImage(uint32_t width, uint32_t height, uint32_t bpp, uint32_t imagetype = 0);
    RasterImage(const RasterImage& src, bool copypixels = true, bool copyselection = true,
                bool copyalpha = true);
    RasterImage(const char* filename, uint32_t imagetype);
    RasterImage(FILE* stream, uint32_t imagetype);
    RasterImage(RasterFile* stream, uint32_t imagetype);
    RasterImage(uint8_t* buffer, uint32_t size, uint32_t imagetype);
    virtual ~RasterImage();
    RasterImage& operator=(const RasterImage& src);

    // Bitmap management.
    void* Create(uint32_t width, uint32_t height, uint32_t bpp, uint32_t imagetype = 0);
    bool Destroy();
    bool DestroyFrames();
    void Clear(uint8_t bval = 0);
    void Copy(const RasterImage& src, bool copypixels = true, bool copyselection = true,
              bool copyalpha = true);
    bool Transfer(RasterImage& from, bool bTransferFrames = true);
    bool CreateFromArray(uint8_t* pArray, uint32_t dwWidth, uint32_t dwHeight, uint32_t dwBitsperpixel,
                         uint32_t dwBytesperline, bool bFlipImage);
    bool CreateFromMatrix(uint8_t** ppMatrix, uint32_t dwWidth, uint32_t dwHeight,
                          uint32_t dwBitsperpixel, uint32_t dwBytesperline, bool bFlipImage);
    void FreeMemory(void* memblock);
    uint32_t Dump(uint8_t* dst);
    uint32_t UnDump(const uint8_t* src);
    uint32_t DumpSize();

    // Attributes.
    void* GetDIB() const { return pDib; }
    uint32_t GetHeight() const { return static_cast<uint32_t>(head.biHeight); }
    uint32_t GetWidth() const { return static_cast<uint32_t>(head.biWidth); }
    uint32_t GetEffWidth() const { return info.dwEffWidth; }
    uint32_t GetNumColors() const { return head.biClrUsed; }
    uint16_t GetBpp() const { return head.biBitCount; }
    uint32_t GetType() const { return info.dwType; }
    const char* GetLastError() const { return info.szLastError; }
    static const char* GetVersion();
    static float GetVersionNumber();
    uint32_t GetFrameDelay() const { return info.dwFrameDelay; }
    void SetFrameDelay(uint32_t d) { info.dwFrameDelay = d; }
    void GetOffset(int32_t* x, int32_t* y) const;
    void SetOffset(int32_t x, int32_t y);
    uint8_t GetJpegQuality() const;
    void SetJpegQuality(uint8_t q) { info.fQuality = q; }
    float GetJpegQualityF() const { return info.fQuality; }
    void SetJpegQualityF(float q) { info.fQuality = q < 0 ? 0.0f : q; }
    uint8_t GetJpegScale() const { return info.nJpegScale; }
    void SetJpegScale(uint8_t s) { info.nJpegScale = s; }
    int32_t GetXDPI() const { return info.xDPI; }
    int32_t GetYDPI() const { return info.yDPI; }
    void SetXDPI(int32_t dpi);
    void SetYDPI(int32_t dpi);
    uint32_t GetClrImportant() const { return head.biClrImportant; }
    void SetClrImportant(uint32_t ncolors = 0);
    int32_t GetProgress() const { return info.nProgress; }
    int32_t GetEscape() const { return info.nEscape; }
    void SetProgress(int32_t p) { info.nProgress = p; }
    void SetEscape(int32_t e) { info.nEscape = e; }
    int32_t GetTransIndex() const { return info.nBkgndIndex; }
    RGBQUAD GetTransColor();
    void SetTransIndex(int32_t idx);
    void SetTransColor(RGBQUAD rgb);
    bool IsTransparent() const { return info.nBkgndIndex >= 0; }
    uint32_t GetCodecOption(uint32_t imagetype = 0);
    bool SetCodecOption(uint32_t opt, uint32_t imagetype = 0);
    uint32_t GetFlags() const { return info.dwFlags; }
    void SetFlags(uint32_t flags, bool bLockReservedFlags = true);
    uint8_t GetDisposalMethod() const { return info.dispmeth; }
    void SetDisposalMethod(uint8_t dm) { info.dispmeth = dm; }
    bool SetType(uint32_t type);
    static uint32_t GetNumTypes() { return 3; }
    static uint32_t GetTypeIdFromName(const char* ext);
    static uint32_t GetTypeIdFromIndex(uint32_t index);
    static uint32_t GetTypeIndexFromId(uint32_t id);
    bool GetRetreiveAllFrames() const { return info.bGetAllFrames; }
    void SetRetreiveAllFrames(bool flag) { info.bGetAllFrames = flag; }
    RasterImage* GetFrame(int32_t nFrame) const;
    int32_t GetNumFrames() const { return info.nNumFrames; }
    int32_t GetFrame() const { return info.nFrame; }
    void SetFrame(int32_t nFrame) { info.nFrame = nFrame; }
    bool IsValid() const { return pDib != nullptr; }
    bool IsEnabled() const { return info.bEnabled; }
    void Enable(bool enable = true) { info.bEnabled = enable; }
    bool IsIndexed() const { return head.biClrUsed != 0; }
    uint8_t GetColorType();
    uint8_t* GetBits(uint32_t row = 0);
    uint32_t GetSize();
    bool IsInside(int32_t x, int32_t y) const;
    const RasterExifData& GetExifInfo() const { return info.ExifInfo; }

    // Palette operations.
    bool IsGrayScale();
    uint32_t GetPaletteSize();
    RGBQUAD* GetPalette() const;
    RGBQUAD GetPaletteColor(uint8_t idx);
    bool GetPaletteColor(uint8_t idx, uint8_t* r, uint8_t* g, uint8_t* b);
    uint8_t GetNearestIndex(RGBQUAD c);
    void BlendPalette(uint32_t cr, int32_t perc);
    void SetGrayPalette();
    void SetPalette(uint32_t n, uint8_t* r, uint8_t* g, uint8_t* b);
    void SetPalette(RGBQUAD* pPal, uint32_t nColors = 256);
    void SetPalette(rgb_color* rgb, uint32_t nColors = 256);
    void SetPaletteColor(uint8_t idx, uint8_t r, uint8_t g, uint8_t b, uint8_t alpha = 0);
    void SetPaletteColor(uint8_t idx, RGBQUAD c);
    void SetPaletteColor(uint8_t idx, uint32_t cr);
    void SwapIndex(uint8_t idx1, uint8_t idx2);
    void SwapRGB2BGR();
    void SetStdPalette();
    bool IsSamePalette(RasterImage& img, bool bCheckAlpha = true);

    // Pixel operations; x from the left, y from the bottom row.
    bool IsTransparent(int32_t x, int32_t y);
    bool GetTransparentMask(RasterImage* iDst = nullptr);
    uint8_t GetPixelIndex(int32_t x, int32_t y);
    RGBQUAD GetPixelColor(int32_t x, int32_t y, bool bGetAlpha = true);
    uint8_t GetPixelGray(int32_t x, int32_t y);
    void SetPixelColor(int32_t x, int32_t y, RGBQUAD c, bool bSetAlpha = false);
    void SetPixelColor(int32_t x, int32_t y, uint32_t cr);
    void SetPixelIndex(int32_t x, int32_t y, uint8_t i);
    void DrawLine(int32_t StartX, int32_t EndX, int32_t StartY, int32_t EndY, RGBQUAD color,
                  bool bSetAlpha = false);
    void DrawLine(int32_t StartX, int32_t EndX, int32_t StartY, int32_t EndY, uint32_t cr);
    void BlendPixelColor(int32_t x, int32_t y, RGBQUAD c, float blend, bool bSetAlpha = false);
    bool SetRectColor(int32_t left, int32_t top, int32_t right, int32_t bottom, RGBQUAD color,
                      bool bSetAlpha = false);
    bool SetRectColor(RECT& rect, RGBQUAD color, bool bSetAlpha = false);
    bool SelectionIsValid() const { return false; }
    static RGBQUAD RGBtoRGBQUAD(uint32_t cr);
    static uint32_t RGBQUADtoRGB(RGBQUAD c);
    void RGBtoBGR(uint8_t* buffer, int32_t length);

    // Unchecked forms: the caller guarantees a bitmap and coordinates inside it.
    uint8_t BlindGetPixelIndex(int32_t x, int32_t y);
    RGBQUAD BlindGetPixelColor(int32_t x, int32_t y, bool bGetAlpha = true);
    void BlindSetPixelIndex(int32_t x, int32_t y, uint8_t i);
    void BlindSetPixelColor(int32_t x, int32_t y, RGBQUAD c, bool bSetAlpha = false);
    uint8_t* BlindGetPixelPointer(int32_t x, int32_t y);

    // Transforms.
    bool GrayScale();
    bool Threshold(uint8_t level);
    bool IncreaseBpp(uint32_t nbit);
    bool DecreaseBpp(uint32_t nbit, bool errordiffusion, RGBQUAD* ppal = nullptr,
                     uint32_t clrimportant = 0);
    bool Flip(bool bFlipSelection = false, bool bFlipAlpha = true);
    bool Mirror(bool bMirrorSelection = false, bool bMirrorAlpha = true);
    bool RotateLeft(RasterImage* iDst = nullptr);
    bool RotateRight(RasterImage* iDst = nullptr);
    bool Rotate180(RasterImage* iDst = nullptr);
    bool RotateExif(int32_t orientation = 0);

    // Codec dispatch. Types: 0 detect (decode only), 1 BMP, 3 JPEG, 6 TIFF.
    bool Decode(RasterFile* hFile, uint32_t imagetype);
    bool Decode(FILE* hFile, uint32_t imagetype);
    bool Decode(uint8_t* buffer, uint32_t size, uint32_t imagetype);
    bool Load(const char* filename, uint32_t imagetype = 0);
    bool Encode(RasterFile* hFile, uint32_t imagetype);
    bool Encode(FILE* hFile, uint32_t imagetype);
    bool Encode(RasterFile* hFile, RasterImage** pImages, int32_t pagecount, uint32_t imagetype);
    bool Encode(FILE* hFile, RasterImage** pImages, int32_t pagecount, uint32_t imagetype);
    // The buffer must be null on entry; the result is released with FreeMemory (free()).
    bool Encode(uint8_t*& buffer, int32_t& size, uint32_t imagetype);
    bool Save(const char* filename, uint32_t imagetype);
    bool Encode2RGBA(RasterFile* hFile, bool bFlipY = false);
    bool Encode2RGBA(uint8_t*& buffer, int32_t& size, bool bFlipY = false);
    bool CheckFormat(RasterFile* hFile, uint32_t imagetype = 0);
    bool CheckFormat(uint8_t* buffer, uint32_t size, uint32_t imagetype = 0);
    bool GetExifThumbnail(const char* filename, const char* outname, int32_t imageType);

    static int32_t CompareColors(const void* elem1, const void* elem2);

protected:
    void Startup(uint32_t imagetype);
    void CopyInfo(const RasterImage& src);
    void Ghost(const RasterImage* src);
    void Bitfield2RGB(uint8_t* src, uint32_t redmask, uint32_t greenmask, uint32_t bluemask,
                      uint8_t bpp);
    bool EncodeSafeCheck(RasterFile* hFile);
    void SetError(const char* text);
    uint16_t m_ntohs(uint16_t word) const;
    uint32_t m_ntohl(uint32_t dword) const;
    void bihtoh(tagBITMAPINFOHEADER* bih) const;
    uint8_t BlindGetPixelIndexFast(int32_t x, int32_t y) const;

    void* pDib;                 // header + palette + pixels, one allocation
    tagBITMAPINFOHEADER head;   // working copy of the header
    RasterImageInfo info;
    std::vector<RasterImage*> ppFrames;

    friend class RasterImageTIF;
    friend class RasterImageJPG;
    friend class RasterImageBMP;
};
