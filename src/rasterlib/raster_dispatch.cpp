// Routing of encode and decode requests to the format classes, over files, FILE
// pointers and memory buffers.
#include <cstdlib>
#include <cstring>
#include <exception>

#include "core/atomic_file.h"
#include "core/regular_file.h"
#include "rasterlib/raster_codecs.h"

bool RasterImage::EncodeSafeCheck(RasterFile* hFile)
{
    if (!hFile) {
        SetError("null file handler");
        return false;
    }
    if (!pDib) {
        SetError("null image!!!");
        return false;
    }
    return true;
}

bool RasterImage::Encode(RasterFile* hFile, uint32_t imagetype)
{
    // Nothing may leave the library as an exception: an allocation failure is a failure.
    try {
        return EncodeAs(hFile, imagetype);
    } catch (const std::exception&) {
        SetError("RasterImage: out of memory");
        return false;
    }
}

bool RasterImage::EncodeAs(RasterFile* hFile, uint32_t imagetype)
{
    switch (imagetype) {
    case IMAGE_TYPE_BMP: {
        RasterImageBMP codec;
        codec.Ghost(this);
        if (codec.Encode(hFile)) return true;
        SetError(codec.GetLastError());
        return false;
    }
    case IMAGE_TYPE_JPG: {
        RasterImageJPG codec;
        codec.Ghost(this);
        if (codec.Encode(hFile)) return true;
        SetError(codec.GetLastError());
        return false;
    }
    case IMAGE_TYPE_TIF: {
        RasterImageTIF codec;
        codec.Ghost(this);
        if (codec.Encode(hFile)) return true;
        SetError(codec.GetLastError());
        return false;
    }
    default:
        SetError("Encode: Unknown format");
        return false;
    }
}

bool RasterImage::Encode(FILE* hFile, uint32_t imagetype)
{
    RasterIOFile file(hFile);
    return Encode(&file, imagetype);
}

bool RasterImage::Encode(RasterFile* hFile, RasterImage** pImages, int32_t pagecount, uint32_t imagetype)
{
    if (imagetype != IMAGE_TYPE_TIF) {
        SetError("Multipage Encode, Unsupported operation for this format");
        return false;
    }
    RasterImageTIF codec;
    if (codec.Encode(hFile, pImages, pagecount)) return true;
    SetError(codec.GetLastError());
    return false;
}

bool RasterImage::Encode(FILE* hFile, RasterImage** pImages, int32_t pagecount, uint32_t imagetype)
{
    RasterIOFile file(hFile);
    return Encode(&file, pImages, pagecount, imagetype);
}

bool RasterImage::Encode(uint8_t*& buffer, int32_t& size, uint32_t imagetype)
{
    if (buffer) {
        SetError("the buffer must be empty");
        return false;
    }
    RasterMemFile file;
    file.Open();
    // An uncompressed TIFF is about as long as the pixels: its room taken at once, the file is
    // not copied as it grows.
    if (imagetype == IMAGE_TYPE_TIF && GetCodecOption(IMAGE_TYPE_TIF) == 1 && pDib)
        file.Reserve(head.biSizeImage < 0x7FFF0000u - 0x10000u ? head.biSizeImage + 0x10000u : 0x7FFF0000u);
    if (!Encode(&file, imagetype)) return false;
    buffer = file.GetBuffer(true);
    size = file.Size();
    return true;
}

bool RasterImage::Save(const char* filename, uint32_t imagetype)
{
    if (!filename) return false;
    // Encoded in memory first, then written whole or not at all: a full disk leaves the old
    // file as it was.
    uint8_t* buffer = nullptr;
    int32_t size = 0;
    if (!Encode(buffer, size, imagetype)) {
        FreeMemory(buffer);
        return false;
    }
    const bool ok = pvk::core::writeFileAtomically(filename, buffer, static_cast<size_t>(size));
    if (!ok) SetError("Error writing file");
    FreeMemory(buffer);
    return ok;
}

bool RasterImage::Encode2RGBA(RasterFile* hFile, bool bFlipY)
{
    if (!EncodeSafeCheck(hFile)) return false;
    const int32_t w = head.biWidth, h = head.biHeight;
    std::vector<uint8_t> row(static_cast<size_t>(w) * 4);
    for (int32_t r = 0; r < h; ++r) {
        const int32_t y = bFlipY ? r : h - 1 - r;
        for (int32_t x = 0; x < w; ++x) {
            RGBQUAD c = BlindGetPixelColor(x, y);
            row[4 * x] = c.rgbRed;
            row[4 * x + 1] = c.rgbGreen;
            row[4 * x + 2] = c.rgbBlue;
            row[4 * x + 3] = 255;
        }
        if (hFile->Write(row.data(), 1, row.size()) != row.size()) {
            SetError("Error writing RGBA data");
            return false;
        }
    }
    return true;
}

bool RasterImage::Encode2RGBA(uint8_t*& buffer, int32_t& size, bool bFlipY)
{
    if (buffer) {
        SetError("the buffer must be empty");
        return false;
    }
    RasterMemFile file;
    file.Open();
    if (!Encode2RGBA(&file, bFlipY)) return false;
    buffer = file.GetBuffer(true);
    size = file.Size();
    return true;
}

bool RasterImage::Decode(RasterFile* hFile, uint32_t imagetype)
{
    try {
        return DecodeAs(hFile, imagetype);
    } catch (const std::exception&) {
        SetError("RasterImage: out of memory");
        return false;
    }
}

bool RasterImage::DecodeAs(RasterFile* hFile, uint32_t imagetype)
{
    if (!hFile) {
        SetError("null file handler");
        return false;
    }
    const int32_t pos = hFile->Tell();
    if (imagetype == 0 || imagetype == IMAGE_TYPE_BMP) {
        RasterImageBMP codec;
        codec.CopyInfo(*this);
        if (codec.Decode(hFile)) return Transfer(codec);
        SetError(codec.GetLastError());
        hFile->Seek(pos, SEEK_SET);
        if (imagetype != 0) return false;
    }
    if (imagetype == 0 || imagetype == IMAGE_TYPE_JPG) {
        RasterImageJPG codec;
        codec.CopyInfo(*this);
        if (codec.Decode(hFile)) {
            // The thumbnail lives in the codec's sections, which end with it.
            codec.info.ExifInfo.ThumbnailPointer = nullptr;
            codec.info.ExifInfo.ThumbnailSize = 0;
            return Transfer(codec);
        }
        SetError(codec.GetLastError());
        hFile->Seek(pos, SEEK_SET);
        if (imagetype != 0) return false;
    }
    if (imagetype == 0 || imagetype == IMAGE_TYPE_TIF) {
        RasterImageTIF codec;
        codec.CopyInfo(*this);
        if (codec.Decode(hFile)) return Transfer(codec);
        SetError(codec.GetLastError());
        info.nNumFrames = codec.GetNumFrames();
        hFile->Seek(pos, SEEK_SET);
        if (imagetype != 0) return false;
    }
    SetError("Decode: Unknown or wrong format");
    return false;
}

bool RasterImage::Decode(FILE* hFile, uint32_t imagetype)
{
    if (!hFile) {
        SetError("null file handler");
        return false;
    }
    RasterIOFile file(hFile);
    return Decode(&file, imagetype);
}

bool RasterImage::Decode(uint8_t* buffer, uint32_t size, uint32_t imagetype)
{
    if (!buffer || size == 0) {
        SetError("invalid or empty buffer");
        return false;
    }
    RasterMemFile file(buffer, size);
    return Decode(&file, imagetype);
}

bool RasterImage::DecodeBorrowing(uint8_t* buffer, uint32_t size)
{
    info.nBorrow = 1;
    const bool ok = Decode(buffer, size, IMAGE_TYPE_BMP);
    if (info.nBorrow != 2) info.nBorrow = 0;
    return ok;
}

void RasterImage::OwnPixels()
{
    if (info.nBorrow == 2 && pDib) {
        uint8_t* own = static_cast<uint8_t*>(pDib) + head.biSize + GetPaletteSize();
        memcpy(own, info.pImage, head.biSizeImage);
        info.pImage = own;
    }
    info.nBorrow = 0;
}

bool RasterImage::Load(const char* filename, uint32_t imagetype)
{
    if (!filename) return false;
    if (GetTypeIndexFromId(imagetype) != 0) {
        FILE* fp = pvk::core::openForReading(filename);
        if (!fp) return false;
        bool ok = Decode(fp, imagetype);
        fclose(fp);
        if (ok) return true;
    }
    char kept[256];
    memcpy(kept, info.szLastError, sizeof(kept));
    FILE* fp = pvk::core::openForReading(filename);
    if (!fp) return false;
    bool ok = Decode(fp, 0);
    fclose(fp);
    if (ok || imagetype == 0) return ok;
    memcpy(info.szLastError, kept, sizeof(kept));
    return false;
}

bool RasterImage::CheckFormat(RasterFile* hFile, uint32_t imagetype)
{
    const int32_t escape = info.nEscape;
    info.dwType = 0;
    SetEscape(-1);
    Decode(hFile, imagetype);
    SetEscape(escape);
    return GetType() > 0 && (imagetype == 0 || GetType() == imagetype);
}

bool RasterImage::CheckFormat(uint8_t* buffer, uint32_t size, uint32_t imagetype)
{
    if (!buffer || size == 0) {
        SetError("invalid or empty buffer");
        return false;
    }
    RasterMemFile file(buffer, size);
    return CheckFormat(&file, imagetype);
}

bool RasterImage::GetExifThumbnail(const char* filename, const char* outname, int32_t imageType)
{
    if (imageType != IMAGE_TYPE_JPG) return false;
    RasterImageJPG codec;
    return codec.GetExifThumbnail(filename, outname, imageType);
}
