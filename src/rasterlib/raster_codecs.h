// The format classes of the raster image library. They are reached through the
// dispatch of RasterImage::Encode / Decode; each borrows or fills a RasterImage.
#pragma once

#include "rasterlib/raster_image.h"

struct tiff;

// Asks for rows ahead of their use. A bottom-up bitmap is met at falling addresses from one row
// to the next, which the processor's own look-ahead does not follow; the codecs ask for the
// next batch of rows while they work on this one.
inline void prefetchRows(const RasterImage& img, uint32_t firstRow, uint32_t lastRow, bool forWriting)
{
    if (lastRow < firstRow) return;
    const uint32_t eff = img.GetEffWidth();
    for (uint32_t y = firstRow; y <= lastRow && y < img.GetHeight(); ++y) {
        const uint8_t* row = const_cast<RasterImage&>(img).GetBits(y);
        for (uint32_t at = 0; row && at < eff; at += 64) {
            if (forWriting) __builtin_prefetch(row + at, 1);
            else __builtin_prefetch(row + at, 0);
        }
    }
}

// Keeps the rows of a picture read or written from the top (file order) asked for some way
// ahead: call with the next file row before each batch.
class RowsAhead {
public:
    RowsAhead(const RasterImage& img, bool forWriting) : m_img(img), m_writing(forWriting) {}
    void before(uint32_t fileRow)
    {
        const uint32_t height = m_img.GetHeight();
        if (fileRow + kRows / 2 < m_asked || m_asked >= height) return;
        const uint32_t from = fileRow > m_asked ? fileRow : m_asked;
        const uint32_t to = from + kRows < height ? from + kRows : height;  // file rows [from, to)
        prefetchRows(m_img, height - to, height - 1 - from, m_writing);
        m_asked = to;
    }

private:
    static constexpr uint32_t kRows = 16;
    const RasterImage& m_img;
    bool m_writing;
    uint32_t m_asked = 0;
};

class RasterImageBMP : public RasterImage {
public:
    RasterImageBMP() : RasterImage(IMAGE_TYPE_BMP) {}
    ~RasterImageBMP() override = default;
    bool Decode(RasterFile* hFile);
    bool Encode(RasterFile* hFile);

protected:
    bool DibReadBitmapInfo(RasterFile* fh, tagBITMAPINFOHEADER* pdib);
    void ReadRle8(RasterFile* hFile);
    void ReadRle4(RasterFile* hFile);
};

class RasterImageJPG : public RasterImage {
public:
    // Walks the JPEG marker sections: reads EXIF, SOF and comment, and can write them back.
    class RasterExifInfo {
    public:
        explicit RasterExifInfo(RasterExifData* info = nullptr);
        ~RasterExifInfo();
        RasterExifInfo(const RasterExifInfo&) = delete;
        RasterExifInfo& operator=(const RasterExifInfo&) = delete;
        // mode bits: 1 EXIF and comment, 2 keep the image data.
        bool DecodeExif(RasterFile* hFile, int nReadMode = 1);
        bool EncodeExif(RasterFile* hFile);
        void DiscardAllButExif();
        bool process_EXif(const uint8_t* CharBuf, uint32_t length);
        void process_COM(const uint8_t* Data, uint32_t length);
        void process_SOFn(const uint8_t* Data, uint32_t length, int marker);
        int Get16u(const void* Short) const;
        int Get16m(const void* Short) const;
        int32_t Get32s(const void* Long) const;
        uint32_t Get32u(const void* Long) const;
        double ConvertAnyFormat(const void* ValuePtr, int Format) const;
        const uint8_t* FindSection(int SectionType) const;
        const char* GetLastError() const { return m_szLastError; }

        RasterExifData* m_exifinfo;
        char m_szLastError[256];

    private:
        struct Section {
            uint8_t* Data;
            int Type;
            uint32_t Size;
        };
        enum { MAX_SECTIONS = 20 };
        // One slot more than the section limit: the image data of a full read.
        Section Sections[MAX_SECTIONS + 1];
        bool ProcessExifDir(const uint8_t* DirStart, const uint8_t* OffsetBase, uint32_t ExifLength,
                            RasterExifData* pInfo, const uint8_t** LastExifRefdP, int NestingLevel);
        bool freeinfo;
        bool MotorolaOrder;
        int32_t ExifImageWidth;
        int DirectoriesRead;  // bounds the work a block of cross-linked directories can cause
        int SectionsRead;
    };

    struct RasterFileJpg;

    RasterImageJPG();
    ~RasterImageJPG() override;
    bool Decode(RasterFile* hFile);
    bool Encode(RasterFile* hFile);
    bool DecodeExif(RasterFile* hFile);
    bool GetExifThumbnail(const char* filename, const char* outname, int type);

    RasterExifInfo* m_exif;
    int32_t m_nSmoothing;
    int32_t m_nDither;

private:
    struct DecodeState;
    struct EncodeState;
    // The libjpeg calls of one decode or encode; libjpeg may longjmp back into them.
    static void DecodeFrame(RasterImageJPG* img, RasterFileJpg* io, DecodeState* st);
    static void EncodeFrame(RasterImageJPG* img, RasterFileJpg* io, EncodeState* st);
};

class RasterImageTIF : public RasterImage {
public:
    RasterImageTIF();
    ~RasterImageTIF() override;
    bool Decode(RasterFile* hFile);
    bool Encode(RasterFile* hFile, bool bAppend = false);
    bool Encode(RasterFile* hFile, RasterImage** pImages, int pagecount);
    // Appends the picture as one page (page `page` of `pagecount`) to the TIFF in hFile, a new
    // one when hFile is empty, through a handle of its own closed again before returning. False
    // when a write fails; the caller then puts the file back as the previous page left it.
    bool EncodePage(RasterFile* hFile, int page, int pagecount);
    // Opens a libtiff handle over the stream (mode "rb" for reading); null on failure.
    struct tiff* TIFFOpenEx(RasterFile* hFile);
    void TIFFCloseEx(struct tiff* tif);

    static void MoveBits(uint8_t* dest, const uint8_t* from, int count, int bpp);
    static void MoveBitsPal(uint8_t* dest, const uint8_t* from, int count, int bpp, const RGBQUAD* pal);
    static void TileToStrip(uint8_t* out, const uint8_t* in, uint32_t rows, uint32_t cols, int outskew,
                            int inskew);

    // Where libtiff's messages for a handle of this object go (the last-error text).
    struct TiffMessages {
        char* text;
        bool error;
    };

protected:
    bool EncodeBody(struct tiff* m_tif, bool multipage = false, int page = 0, int pagecount = 0);
    bool WritePlainStrips(struct tiff* tif, uint32_t rowsPerStrip);
    struct tiff* OpenStream(RasterFile* hFile, const char* mode);

    struct tiff* m_tif2;
    bool m_multipage;
    int32_t m_pages;
    TiffMessages m_messages;
};
