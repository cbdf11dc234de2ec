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
    uint8_t nBorrow;  // 1: a BMP decode may leave the pixels in the caller's buffer; 2: it did
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

    // What a read outside the image returns, and how sub-pixel reads weigh neighbours.
    // Fixed underlying types: any int a caller passes is a value, unknown ones are refused.
    enum OverflowMethod : int32_t {
        OM_COLOR = 1,        // the replacement colour (white, alpha 0, when none is given)
        OM_BACKGROUND = 2,   // the background colour
        OM_TRANSPARENT = 3,  // the transparent colour
        OM_WRAP = 4,         // coordinates modulo the size
        OM_REPEAT = 5,       // the nearest edge pixel
        OM_MIRROR = 6,       // reflected at the edges
    };
    enum InterpolationMethod : int32_t {
        IM_NEAREST_NEIGHBOUR = 1, IM_BILINEAR = 2, IM_BSPLINE = 3, IM_BICUBIC = 4, IM_BICUBIC2 = 5,
        IM_LANCZOS = 6, IM_BOX = 7, IM_HERMITE = 8, IM_HAMMING = 9, IM_SINC = 10, IM_BLACKMAN = 11,
        IM_BESSEL = 12, IM_GAUSSIAN = 13, IM_QUADRATIC = 14, IM_MITCHELL = 15, IM_CATROM = 16,
        IM_HANNING = 17, IM_POWER = 18,
    };

    // Geometry: resampling and canvas operations. dst receives the result when given.
    bool Rotate(float angle, RasterImage* iDst = nullptr);
    bool Rotate2(float angle, RasterImage* iDst = nullptr, InterpolationMethod inMethod = IM_BILINEAR,
                 OverflowMethod ofMethod = OM_BACKGROUND, RGBQUAD* replColor = nullptr,
                 bool optimizeRightAngles = true, bool bKeepOriginalSize = false);
    bool Resample(int32_t newx, int32_t newy, int mode = 1, RasterImage* iDst = nullptr);
    bool Resample2(int32_t newx, int32_t newy, InterpolationMethod inMethod = IM_BICUBIC2,
                   OverflowMethod ofMethod = OM_REPEAT, RasterImage* iDst = nullptr, bool disableAveraging = false);
    bool QIShrink(int32_t newx, int32_t newy, RasterImage* iDst = nullptr, bool bChangeBpp = false);
    bool Crop(int32_t left, int32_t top, int32_t right, int32_t bottom, RasterImage* iDst = nullptr);
    bool Crop(const RECT& rect, RasterImage* iDst = nullptr);
    bool CropRotatedRectangle(int32_t topx, int32_t topy, int32_t width, int32_t height, float angle,
                              RasterImage* iDst = nullptr);
    bool Skew(float xgain, float ygain, int32_t xpivot = 0, int32_t ypivot = 0, bool bEnableInterpolation = false);
    bool Expand(int32_t left, int32_t top, int32_t right, int32_t bottom, RGBQUAD canvascolor,
                RasterImage* iDst = nullptr);
    bool Expand(int32_t newx, int32_t newy, RGBQUAD canvascolor, RasterImage* iDst = nullptr);
    bool Thumbnail(int32_t newx, int32_t newy, RGBQUAD canvascolor, RasterImage* iDst = nullptr);
    bool CircleTransform(int type, int32_t rmax = 0, float Koeff = 1.0f);
    bool Negative();
    bool Dither(int32_t method = 0);

    // Colour spaces (codes 0 RGB, 1 HSL, 2 YUV, 3 YIQ, 4 XYZ); one byte per component.
    static uint8_t Val_0_255(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }
    static RGBQUAD RGBtoHSL(RGBQUAD lRGBColor);
    static RGBQUAD HSLtoRGB(RGBQUAD lHSLColor);
    static float HueToRGB(float n1, float n2, float hue);
    static RGBQUAD RGBtoYUV(RGBQUAD lRGBColor);
    static RGBQUAD YUVtoRGB(RGBQUAD lYUVColor);
    static RGBQUAD RGBtoYIQ(RGBQUAD lRGBColor);
    static RGBQUAD YIQtoRGB(RGBQUAD lYIQColor);
    static RGBQUAD RGBtoXYZ(RGBQUAD lRGBColor);
    static RGBQUAD XYZtoRGB(RGBQUAD lXYZColor);
    bool ConvertColorSpace(const int32_t dstColorSpace, const int32_t srcColorSpace);
    bool SplitRGB(RasterImage* r, RasterImage* g, RasterImage* b);
    bool SplitCMYK(RasterImage* c, RasterImage* m, RasterImage* y, RasterImage* k);
    bool SplitHSL(RasterImage* h, RasterImage* s, RasterImage* l);
    bool SplitYUV(RasterImage* y, RasterImage* u, RasterImage* v);
    bool SplitYIQ(RasterImage* y, RasterImage* i, RasterImage* q);
    bool SplitXYZ(RasterImage* x, RasterImage* y, RasterImage* z);
    bool Combine(RasterImage* r, RasterImage* g, RasterImage* b, RasterImage* a, int32_t colorspace = 0);
    void HuePalette(float correction = 1);
    bool Colorize(uint8_t hue, uint8_t sat, float blend = 1.0f);
    bool ShiftRGB(int32_t r, int32_t g, int32_t b);
    float Mean();
    bool Lut(uint8_t* pLut);
    bool Lut(uint8_t* pLutR, uint8_t* pLutG, uint8_t* pLutB, uint8_t* pLutA = nullptr);
    bool Light(int32_t brightness, int32_t contrast = 0);
    bool Gamma(float gamma);
    bool GammaRGB(float gammaR, float gammaG, float gammaB);
    bool Saturate(const int32_t saturation, const int32_t colorspace = 1);
    bool Solarize(uint8_t level = 128, bool bLinkedChannels = true);

    // Neighbourhood filters and frequency transforms.
    bool Filter(int32_t* kernel, int32_t Ksize, int32_t Kfactor, int32_t Koffset);
    bool Erode(int32_t Ksize = 2);
    bool Dilate(int32_t Ksize = 2);
    bool Edge(int32_t Ksize = 2);
    bool Median(int32_t Ksize = 3);
    bool Contour();
    bool Noise(int32_t level);
    bool Jitter(int32_t radius = 2);
    static bool IsPowerof2(int32_t x);
    static bool FFT(int dir, int m, double* x, double* y);
    static bool DFT(int dir, int32_t m, double* x1, double* y1, double* x2, double* y2);
    bool FFT2(RasterImage* srcReal, RasterImage* srcImag, RasterImage* dstReal, RasterImage* dstImag,
              int32_t direction = 1, bool bForceFFT = true, bool bMagnitude = true);

    // Thresholds, mixing, repair, blurs and tracing.
    enum ImageOpType : int32_t {
        OpAdd = 0, OpAnd = 1, OpXor = 2, OpOr = 3, OpMask = 4, OpSrcCopy = 5, OpDstCopy = 6, OpSub = 7,
        OpSrcBlend = 8, OpScreen = 9, OpAvg = 10, OpBlendAlpha = 11,
    };
    bool Threshold(RasterImage* pThresholdMask);
    bool Threshold2(uint8_t level, bool bDirection, RGBQUAD nBkgndColor, bool bSetAlpha = false);
    int32_t OptimalThreshold(int32_t method = 0, RECT* pBox = nullptr, RasterImage* pContrastMask = nullptr);
    bool AdaptiveThreshold(int32_t method = 0, int32_t nBoxSize = 64, RasterImage* pContrastMask = nullptr,
                           int32_t nBias = 0, float fGlobalLocalBalance = 0.5f);
    bool Mix(RasterImage& imgsrc2, ImageOpType op, int32_t lXOffset = 0, int32_t lYOffset = 0, bool bMixAlpha = false);
    void MixFrom(RasterImage& imagesrc2, int32_t lXOffset, int32_t lYOffset);
    bool Repair(float radius = 0.25f, int32_t niterations = 1, int32_t colorspace = 0);
    bool RepairChannel(RasterImage* ch, float radius);
    // Gaussian kernel for a radius (new[] array, caller deletes), its product table, one row.
    static int32_t gen_convolve_matrix(float radius, float** cmatrix_p);
    static float* gen_lookup_table(float* cmatrix, int32_t cmatrix_length);
    static void blur_line(float* ctable, float* cmatrix, int32_t cmatrix_length, uint8_t* cur_col,
                          uint8_t* dest_col, int32_t y, int32_t bytes);
    void blur_text(uint8_t threshold, uint8_t decay, uint8_t max_depth, RasterImage* iSrc, RasterImage* iDst,
                   uint8_t bytes);
    bool GaussianBlur(float radius = 1.0f, RasterImage* iDst = nullptr);
    bool TextBlur(uint8_t threshold = 100, uint8_t decay = 2, uint8_t max_depth = 5, bool bBlurHorizontal = true,
                  bool bBlurVertical = true, RasterImage* iDst = nullptr);
    bool SelectiveBlur(float radius = 1.0f, uint8_t threshold = 25, RasterImage* iDst = nullptr);
    bool UnsharpMask(float radius = 5.0f, float amount = 0.5f, int32_t threshold = 0);
    bool RedEyeRemove(float strength = 0.8f);
    bool Trace(RGBQUAD color_target, RGBQUAD color_trace);

    // Histograms: arrays of 256 counts owned by the caller; null arrays are skipped.
    int32_t Histogram(int32_t* red, int32_t* green = nullptr, int32_t* blue = nullptr, int32_t* gray = nullptr,
                      int32_t colorspace = 0);
    bool HistogramStretch(int32_t method = 0, double threshold = 0);
    bool HistogramEqualize();
    bool HistogramNormalize();
    bool HistogramRoot();
    bool HistogramLog();

    // Sub-pixel and area reads.
    bool OverflowCoordinates(int32_t& x, int32_t& y, OverflowMethod const ofMethod);
    void OverflowCoordinates(float& x, float& y, OverflowMethod const ofMethod);
    RGBQUAD GetPixelColorWithOverflow(int32_t x, int32_t y, OverflowMethod const ofMethod = OM_BACKGROUND,
                                      RGBQUAD* const rplColor = nullptr);
    RGBQUAD GetPixelColorInterpolated(float x, float y, InterpolationMethod const inMethod = IM_BILINEAR,
                                      OverflowMethod const ofMethod = OM_BACKGROUND,
                                      RGBQUAD* const rplColor = nullptr);
    RGBQUAD GetAreaColorInterpolated(float const xc, float const yc, float const w, float const h,
                                     InterpolationMethod const inMethod, OverflowMethod const ofMethod = OM_BACKGROUND,
                                     RGBQUAD* const rplColor = nullptr);
    static void AddAveragingCont(RGBQUAD const& color, float const surf, float& rr, float& gg, float& bb,
                                 float& aa);
    static float KernelBSpline(const float x);
    static float KernelLinear(const float t);
    static float KernelCubic(const float t);
    static float KernelGeneralizedCubic(const float t, const float a = -1);
    static float KernelLanczosSinc(const float t, const float r = 3);
    static float KernelBox(const float x);
    static float KernelHermite(const float x);
    static float KernelHamming(const float x);
    static float KernelSinc(const float x);
    static float KernelBlackman(const float x);
    static float KernelBessel_J1(const float x);
    static float KernelBessel_P1(const float x);
    static float KernelBessel_Q1(const float x);
    static float KernelBessel_Order1(float x);
    static float KernelBessel(const float x);
    static float KernelGaussian(const float x);
    static float KernelQuadratic(const float x);
    static float KernelMitchell(const float x);
    static float KernelCatrom(const float x);
    static float KernelHanning(const float x);
    static float KernelPower(const float x, const float a = 2);

    // Codec dispatch. Types: 0 detect (decode only), 1 BMP, 3 JPEG, 6 TIFF.
    bool Decode(RasterFile* hFile, uint32_t imagetype);
    bool Decode(FILE* hFile, uint32_t imagetype);
    bool Decode(uint8_t* buffer, uint32_t size, uint32_t imagetype);
    // Decodes a BMP in memory; an uncompressed bottom-up one keeps its pixels where they are in
    // `buffer` instead of copying them (the buffer must then outlive the image, and the image is
    // only read - encoded - until OwnPixels). Other BMPs are copied as by Decode.
    bool DecodeBorrowing(uint8_t* buffer, uint32_t size);
    // Copies pixels left in the caller's buffer into the image's own rows, before anything may
    // change them; nothing to do when they are its own already.
    void OwnPixels();
    bool BorrowsPixels() const { return info.nBorrow == 2; }
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
    bool EncodeAs(RasterFile* hFile, uint32_t imagetype);
    bool DecodeAs(RasterFile* hFile, uint32_t imagetype);
    void SetError(const char* text);
    uint16_t m_ntohs(uint16_t word) const;
    uint32_t m_ntohl(uint32_t dword) const;
    void bihtoh(tagBITMAPINFOHEADER* bih) const;
    uint8_t BlindGetPixelIndexFast(int32_t x, int32_t y) const;
    // RotateLeft, Rotate180, RotateRight: a turn by 1, 2 or 3 quarters to the left,
    // into iDst (or in place when null).
    bool rotateQuarters(RasterImage* iDst, int quarters);
    // A new w x h picture of bpp bits in out, with this one's settings (CopyInfo) and type;
    // false, with its error text copied into ours, when it cannot be made.
    bool createLike(RasterImage& out, uint32_t w, uint32_t h, uint32_t bpp);
    // A rectangle in pixels, clamped to the picture and with each pair of edges in order.
    void clampRect(int32_t& left, int32_t& top, int32_t& right, int32_t& bottom) const;

    void* pDib;                 // header + palette + pixels, one allocation
    // Set by a decoder just before Create when the pixels will most likely be borrowed: Create
    // then leaves its pixel area unwritten (the decoder zeroes it if it reads the rows after
    // all; OwnPixels fills it whole). Create clears it.
    bool m_leavePixels = false;
    tagBITMAPINFOHEADER head;   // working copy of the header
    RasterImageInfo info;
    std::vector<RasterImage*> ppFrames;

    friend class RasterImageTIF;
    friend class RasterImageJPG;
    friend class RasterImageBMP;
};
