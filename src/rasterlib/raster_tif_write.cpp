// TIFF encoder: one page per call, or pages appended to one open handle; tags and
// compression chosen from the image's TIFF codec option or, without one, its depth.
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include <tiffio.h>

#include "core/image_utils.h"
#include "rasterlib/raster_codecs.h"

bool RasterImageTIF::Encode(RasterFile* hFile, bool bAppend)
{
    try {
        if (!hFile) throw "null file handler";
        if (!pDib) throw "null image!!!";
        if (!m_tif2) m_tif2 = OpenStream(hFile, "a");
        if (!m_tif2) throw "initialization fail";
        if (bAppend || m_pages) m_multipage = true;
        ++m_pages;
        if (!EncodeBody(m_tif2, m_multipage, m_pages, m_pages)) throw "Error saving TIFF file";
        if (bAppend) {
            if (!TIFFWriteDirectory(m_tif2)) throw "Error saving TIFF directory";
        } else {
            // Flush before closing: a write that fails here must not pass for success.
            const int flushed = TIFFFlush(m_tif2);
            TIFFClose(m_tif2);
            m_tif2 = nullptr;
            m_multipage = false;
            m_pages = 0;
            if (!flushed) throw "Error saving TIFF file";
        }
    } catch (const char* message) {
        if (*message) SetError(message);
        if (m_tif2) TIFFClose(m_tif2);
        m_tif2 = nullptr;
        m_multipage = false;
        m_pages = 0;
        return false;
    }
    return true;
}

bool RasterImageTIF::EncodePage(RasterFile* hFile, int page, int pagecount)
{
    const char* fault = nullptr;
    TIFF* tif = nullptr;
    m_messages.error = false;
    if (!hFile)
        fault = "null file handler";
    else if (!pDib)
        fault = "null image!!!";
    else if (!(tif = OpenStream(hFile, "a")))
        fault = "initialization fail";
    else if (!EncodeBody(tif, true, page, pagecount) || !TIFFFlush(tif))
        fault = "Error saving TIFF file";
    if (!fault) {
        TIFFClose(tif);
        return true;
    }
    // Dropped without the flush of a close: nothing more of a failed page is written.
    if (tif) TIFFCleanup(tif);
    if (!m_messages.error) SetError(fault);
    return false;
}

bool RasterImageTIF::Encode(RasterFile* hFile, RasterImage** pImages, int pagecount)
{
    try {
        if (!hFile) throw "invalid file pointer";
        if (!pImages || pagecount < 1) throw "multipage TIFF, no images!";
        for (int i = 0; i < pagecount; ++i) {
            if (!pImages[i]) throw "Bad image pointer";
            if (!pImages[i]->IsValid()) throw "Empty image";
        }
        RasterImageTIF pages;
        for (int i = 0; i < pagecount; ++i) {
            pages.Ghost(pImages[i]);
            if (!pages.Encode(hFile, true)) {
                SetError(pages.GetLastError());
                throw "";
            }
        }
        // Leaving scope closes the handle and with it the file's last directory.
    } catch (const char* message) {
        if (*message) SetError(message);
        return false;
    }
    return true;
}

bool RasterImageTIF::EncodeBody(TIFF* tif, bool multipage, int page, int pagecount)
{
    if (!tif || !pDib) return false;
    const uint16_t bpp = head.biBitCount;
    const uint16_t spp = (bpp == 24 || bpp == 32) ? 3 : 1;
    const uint16_t bps = static_cast<uint16_t>(bpp / spp);
    const uint32_t width = GetWidth(), height = GetHeight();

    uint16_t photometric = PHOTOMETRIC_RGB;
    RGBQUAD* pal = GetPalette();
    if (bpp == 1) {
        photometric = PHOTOMETRIC_MINISWHITE;
        // Index 0 is white in a MinIsWhite file: swap a dark entry 0 into place.
        if (pal && CompareColors(&pal[0], &pal[1]) < 0) {
            std::swap(pal[0], pal[1]);
            info.last_c_isvalid = false;
            for (uint32_t i = 0; i < head.biSizeImage; ++i) info.pImage[i] = static_cast<uint8_t>(~info.pImage[i]);
        }
    } else if (bpp == 4 || bpp == 8) {
        photometric = PHOTOMETRIC_MINISBLACK;
        for (uint32_t i = 0; pal && i < head.biClrUsed; ++i)
            if (pal[i].rgbBlue != i || pal[i].rgbGreen != i || pal[i].rgbRed != i) {
                photometric = PHOTOMETRIC_PALETTE;
                break;
            }
    }

    bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width) && TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height) &&
              TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp) && TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bps) &&
              TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric) &&
              TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    if (!ok) return false;
    const uint32_t rowsPerStrip = TIFFDefaultStripSize(tif, 0xFFFFFFFF);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(GetXDPI()));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(GetYDPI()));
    if (multipage) {
        char name[21];
        snprintf(name, sizeof(name), "Page %d", page);
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(page), static_cast<uint16_t>(pagecount));
        TIFFSetField(tif, TIFFTAG_PAGENAME, name);
    } else {
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0);
    }

    if (photometric == PHOTOMETRIC_PALETTE) {
        uint16_t red[256], green[256], blue[256];
        memset(red, 0, sizeof(red));
        memset(green, 0, sizeof(green));
        memset(blue, 0, sizeof(blue));
        for (uint32_t i = 0; i < head.biClrUsed && i < 256; ++i) {
            red[i] = static_cast<uint16_t>(pal[i].rgbRed * 257);
            green[i] = static_cast<uint16_t>(pal[i].rgbGreen * 257);
            blue[i] = static_cast<uint16_t>(pal[i].rgbBlue * 257);
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, red, green, blue);
    }

    const uint32_t option = GetCodecOption(IMAGE_TYPE_TIF);
    uint16_t compression;
    if (option) {
        compression = static_cast<uint16_t>(option & 0xFFFF);
    } else if (bpp == 1) {
        compression = COMPRESSION_CCITTFAX4;
    } else if (bpp == 4 || bpp == 8) {
        compression = COMPRESSION_LZW;
    } else if (bpp == 24 || bpp == 32) {
        compression = COMPRESSION_JPEG;
    } else {
        compression = COMPRESSION_NONE;
    }
    // A compression libtiff does not know fails the page instead of writing it unpacked.
    if (!TIFFSetField(tif, TIFFTAG_COMPRESSION, compression)) return false;
    const bool predictor = compression == COMPRESSION_LZW && (option ? bpp >= 8 : bpp == 8);
    if (predictor) TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    if (compression == COMPRESSION_JPEG) {
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, static_cast<int>(GetJpegQuality() & 0xFF));
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, (rowsPerStrip + 7) & ~7u);
    }

    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24) return true;
    if (compression == COMPRESSION_NONE) return WritePlainStrips(tif, rowsPerStrip);
    std::vector<uint8_t> line;
    try {
        line.resize(info.dwEffWidth);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Rows that need no reordering go to libtiff where they are, except through the horizontal
    // predictor (which may difference the row it is given in place); colour rows are swapped
    // to RGB on their way into the line buffer.
    const bool inPlace = bpp != 24 && !predictor;
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = GetBits(height - 1 - y);
        if (bpp == 24) {
            pvk::core::swapOuterBytes(line.data(), row, width);
        } else if (!inPlace) {
            memcpy(line.data(), row, info.dwEffWidth);
        }
        if (TIFFWriteScanline(tif, inPlace ? row : line.data(), y, 0) == -1) return false;
    }
    return true;
}

// Uncompressed strips as they go into the file: rows top-down, colour red first. Each strip is
// assembled from the bitmap's rows in one pass and handed over whole, the same bytes libtiff
// would gather from row-by-row writes, without its copy of every row on the way.
bool RasterImageTIF::WritePlainStrips(TIFF* tif, uint32_t rowsPerStrip)
{
    const uint32_t width = GetWidth(), height = GetHeight();
    const tmsize_t scan = TIFFScanlineSize(tif);
    if (scan <= 0 || static_cast<uint64_t>(scan) > info.dwEffWidth || rowsPerStrip == 0) return false;
    if (rowsPerStrip > height) rowsPerStrip = height;
    std::vector<uint8_t> strip;
    try {
        strip.resize(static_cast<size_t>(scan) * rowsPerStrip);
    } catch (const std::bad_alloc&) {
        return false;
    }
    tstrip_t s = 0;
    RowsAhead ahead(*this, false);
    for (uint32_t row = 0; row < height; row += rowsPerStrip, ++s) {
        const uint32_t nrow = rowsPerStrip < height - row ? rowsPerStrip : height - row;
        ahead.before(row + nrow);
        for (uint32_t i = 0; i < nrow; ++i) {
            const uint8_t* src = GetBits(height - 1 - (row + i));
            uint8_t* dst = strip.data() + static_cast<size_t>(i) * scan;
            if (head.biBitCount == 24) pvk::core::swapOuterBytes(dst, src, width);
            else memcpy(dst, src, static_cast<size_t>(scan));
        }
        if (TIFFWriteRawStrip(tif, s, strip.data(), static_cast<tmsize_t>(nrow) * scan) == -1) return false;
    }
    return true;
}
