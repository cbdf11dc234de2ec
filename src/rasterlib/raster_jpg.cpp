// JPEG codec over libjpeg. libjpeg reports fatal errors by calling its error exit, which
// jumps back with longjmp: every function that calls setjmp below holds plain data only,
// so no C++ destructor is skipped. Messages go into the image's last-error text.
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

#include "core/regular_file.h"
#include "rasterlib/raster_codecs.h"

namespace {

const size_t kJpegBufferSize = 4096;

struct JpegErrorManager {
    jpeg_error_mgr pub;
    jmp_buf setjmpBuffer;
    char* text;  // the image's last-error text (256 bytes)
};

void ima_jpeg_error_exit(j_common_ptr cinfo)
{
    JpegErrorManager* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->text);
    longjmp(err->setjmpBuffer, 1);
}

// Warnings (a truncated stream) are kept as the last-error text, never printed.
void jpegOutputMessage(j_common_ptr cinfo)
{
    JpegErrorManager* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->text);
}

void installErrorManager(JpegErrorManager& jerr, char* text)
{
    jpeg_std_error(&jerr.pub);
    jerr.pub.error_exit = ima_jpeg_error_exit;
    jerr.pub.output_message = jpegOutputMessage;
    jerr.text = text;
}

int32_t truncDpi(double v)
{
    return (v >= 1.0 && v < 2147483648.0) ? static_cast<int32_t>(v) : 0;
}

}  // namespace

// libjpeg's source and destination managers over a RasterFile.
struct RasterImageJPG::RasterFileJpg {
    jpeg_destination_mgr dest;
    jpeg_source_mgr src;
    RasterFile* file;
    JOCTET* buffer;
    boolean startOfFile;

    // The managers are members: step back from them to the whole record.
    static RasterFileJpg* fromDest(j_compress_ptr cinfo)
    {
        return reinterpret_cast<RasterFileJpg*>(reinterpret_cast<char*>(cinfo->dest) - offsetof(RasterFileJpg, dest));
    }
    static RasterFileJpg* fromSrc(j_decompress_ptr cinfo)
    {
        return reinterpret_cast<RasterFileJpg*>(reinterpret_cast<char*>(cinfo->src) - offsetof(RasterFileJpg, src));
    }

    static void InitDestination(j_compress_ptr cinfo)
    {
        RasterFileJpg* self = fromDest(cinfo);
        self->dest.next_output_byte = self->buffer;
        self->dest.free_in_buffer = kJpegBufferSize;
    }

    static boolean EmptyOutputBuffer(j_compress_ptr cinfo)
    {
        RasterFileJpg* self = fromDest(cinfo);
        if (self->file->Write(self->buffer, 1, kJpegBufferSize) != kJpegBufferSize) ERREXIT(cinfo, JERR_FILE_WRITE);
        self->dest.next_output_byte = self->buffer;
        self->dest.free_in_buffer = kJpegBufferSize;
        return TRUE;
    }

    static void TermDestination(j_compress_ptr cinfo)
    {
        RasterFileJpg* self = fromDest(cinfo);
        const size_t count = kJpegBufferSize - self->dest.free_in_buffer;
        if (count > 0 && self->file->Write(self->buffer, 1, count) != count) ERREXIT(cinfo, JERR_FILE_WRITE);
        self->file->Flush();
        if (self->file->Error()) ERREXIT(cinfo, JERR_FILE_WRITE);
    }

    static void InitSource(j_decompress_ptr cinfo)
    {
        RasterFileJpg* self = fromSrc(cinfo);
        self->startOfFile = TRUE;
    }

    static boolean FillInputBuffer(j_decompress_ptr cinfo)
    {
        RasterFileJpg* self = fromSrc(cinfo);
        size_t nbytes = self->file->Read(self->buffer, 1, kJpegBufferSize);
        if (nbytes == 0) {
            if (self->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
            WARNMS(cinfo, JWRN_JPEG_EOF);
            // A synthetic end of image lets a cut stream decode to its end.
            self->buffer[0] = 0xFF;
            self->buffer[1] = JPEG_EOI;
            nbytes = 2;
        }
        self->src.next_input_byte = self->buffer;
        self->src.bytes_in_buffer = nbytes;
        self->startOfFile = FALSE;
        return TRUE;
    }

    static void SkipInputData(j_decompress_ptr cinfo, long num_bytes)
    {
        RasterFileJpg* self = fromSrc(cinfo);
        if (num_bytes <= 0) return;
        while (num_bytes > static_cast<long>(self->src.bytes_in_buffer)) {
            num_bytes -= static_cast<long>(self->src.bytes_in_buffer);
            FillInputBuffer(cinfo);
        }
        self->src.next_input_byte += num_bytes;
        self->src.bytes_in_buffer -= static_cast<size_t>(num_bytes);
    }

    static void TermSource(j_decompress_ptr) {}

    void initFor(RasterFile* f, JOCTET* buf)
    {
        memset(this, 0, sizeof(*this));
        file = f;
        buffer = buf;
        dest.init_destination = InitDestination;
        dest.empty_output_buffer = EmptyOutputBuffer;
        dest.term_destination = TermDestination;
        src.init_source = InitSource;
        src.fill_input_buffer = FillInputBuffer;
        src.skip_input_data = SkipInputData;
        src.resync_to_restart = jpeg_resync_to_restart;
        src.term_source = TermSource;
    }

    // A record over f with its own transfer buffer, from the C allocator; nullptr when out of memory.
    static RasterFileJpg* create(RasterFile* f)
    {
        JOCTET* buf = static_cast<JOCTET*>(malloc(kJpegBufferSize));
        RasterFileJpg* io = static_cast<RasterFileJpg*>(malloc(sizeof(RasterFileJpg)));
        if (!buf || !io) {
            free(buf);
            free(io);
            return nullptr;
        }
        io->initFor(f, buf);
        return io;
    }

    static void release(RasterFileJpg* io)
    {
        if (!io) return;
        free(io->buffer);
        free(io);
    }
};

RasterImageJPG::RasterImageJPG() : RasterImage(IMAGE_TYPE_JPG), m_exif(nullptr), m_nSmoothing(0), m_nDither(0)
{
    memset(&info.ExifInfo, 0, sizeof(info.ExifInfo));
}

RasterImageJPG::~RasterImageJPG() { delete m_exif; }

bool RasterImageJPG::DecodeExif(RasterFile* hFile)
{
    delete m_exif;
    m_exif = nullptr;
    memset(&info.ExifInfo, 0, sizeof(info.ExifInfo));
    m_exif = new RasterExifInfo(&info.ExifInfo);
    const int32_t pos = hFile->Tell();
    m_exif->DecodeExif(hFile, 1);
    hFile->Seek(pos, SEEK_SET);
    // Anything wrong in the sections only means there is no EXIF data.
    if (!info.ExifInfo.IsExif && m_exif->GetLastError()[0]) SetError(m_exif->GetLastError());
    return info.ExifInfo.IsExif;
}

// Everything one decode needs, in plain data so that a longjmp skips no destructor.
struct RasterImageJPG::DecodeState {
    jpeg_decompress_struct cinfo;
    JpegErrorManager jerr;
    bool isExif;
    uint32_t options;
    uint8_t colors;
    uint8_t scale;
    int result;  // 0 failed, 1 decoded
};

namespace {

void setJpegResolution(RasterImage& img, const RasterExifData& exif, bool isExif, const jpeg_decompress_struct& ci)
{
    if (isExif) {
        // Rounded, not truncated: 300 per cm is 761.99997 per inch by the factor and means 762.
        if (exif.Xresolution != 0 && exif.ResolutionUnit != 0) {
            const int32_t dpi = truncDpi(static_cast<double>(exif.Xresolution) / exif.ResolutionUnit + 0.5);
            if (dpi) img.SetXDPI(dpi);
        }
        if (exif.Yresolution != 0 && exif.ResolutionUnit != 0) {
            const int32_t dpi = truncDpi(static_cast<double>(exif.Yresolution) / exif.ResolutionUnit + 0.5);
            if (dpi) img.SetYDPI(dpi);
        }
        return;
    }
    switch (ci.density_unit) {
    case 0:
        if (ci.X_density && ci.Y_density) {
            const int32_t dpi = truncDpi(img.GetXDPI() * (static_cast<double>(ci.Y_density) / ci.X_density));
            if (dpi) img.SetYDPI(dpi);
        }
        break;
    case 2:
        img.SetXDPI(static_cast<int32_t>(ci.X_density * 2.54 + 0.5));
        img.SetYDPI(static_cast<int32_t>(ci.Y_density * 2.54 + 0.5));
        break;
    default:
        img.SetXDPI(ci.X_density);
        img.SetYDPI(ci.Y_density);
        break;
    }
}

}  // namespace

// The libjpeg part of a decode. Holds no C++ objects: libjpeg may longjmp back here.
void RasterImageJPG::DecodeFrame(RasterImageJPG* img, RasterFileJpg* io, DecodeState* st)
{
    const uint32_t options = st->options;
    int32_t* escape = &img->info.nEscape;
    char* text = img->info.szLastError;
    jpeg_decompress_struct* cinfo = &st->cinfo;
    installErrorManager(st->jerr, text);
    cinfo->err = &st->jerr.pub;
    if (setjmp(st->jerr.setjmpBuffer)) {
        jpeg_destroy_decompress(cinfo);
        st->result = 0;
        return;
    }
    jpeg_create_decompress(cinfo);
    cinfo->src = &io->src;
    jpeg_read_header(cinfo, TRUE);

    if (options & 0x80) cinfo->out_color_space = JCS_GRAYSCALE;
    if (options & 0x100) {
        cinfo->quantize_colors = TRUE;
        cinfo->desired_number_of_colors = st->colors;
    }
    if (options & 0x200) cinfo->dither_mode = static_cast<J_DITHER_MODE>(img->m_nDither);
    if (options & 0x400) cinfo->two_pass_quantize = FALSE;
    if (options & 0x800) cinfo->do_fancy_upsampling = FALSE;
    cinfo->scale_num = 1;
    cinfo->scale_denom = st->scale ? st->scale : 1;

    if (*escape == -1) {
        jpeg_calc_output_dimensions(cinfo);
        img->head.biWidth = static_cast<int32_t>(cinfo->output_width);
        img->head.biHeight = static_cast<int32_t>(cinfo->output_height);
        img->info.dwType = IMAGE_TYPE_JPG;
        jpeg_destroy_decompress(cinfo);
        st->result = 1;
        return;
    }

    // Refuse a picture too large for a bitmap before libjpeg allocates for it (a
    // progressive file keeps every coefficient of the picture in memory).
    jpeg_calc_output_dimensions(cinfo);
    const uint64_t claimed = static_cast<uint64_t>(cinfo->output_width) * cinfo->output_height *
                             static_cast<uint64_t>(cinfo->out_color_components);
    if (claimed > RASTERIMAGE_MAX_MEMORY) {
        strcpy(text, "RASTERIMAGE_MAX_MEMORY exceeded");
        jpeg_destroy_decompress(cinfo);
        st->result = 0;
        return;
    }
    jpeg_start_decompress(cinfo);
    if (!img->Create(cinfo->output_width, cinfo->output_height, 8 * cinfo->output_components, IMAGE_TYPE_JPG)) {
        // Keep the text Create left: a call into libjpeg would not overwrite it.
        jpeg_destroy_decompress(cinfo);
        st->result = 0;
        return;
    }
    setJpegResolution(*img, img->info.ExifInfo, st->isExif, *cinfo);

    if (cinfo->out_color_space == JCS_GRAYSCALE) {
        img->SetGrayPalette();
    } else if (cinfo->quantize_colors) {
        img->SetPalette(static_cast<uint32_t>(cinfo->actual_number_of_colors), cinfo->colormap[0],
                        cinfo->colormap[1], cinfo->colormap[2]);
    }

    const uint32_t rowStride = cinfo->output_width * static_cast<uint32_t>(cinfo->output_components);
    JSAMPARRAY line = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, rowStride, 1);
    const uint32_t eff = img->GetEffWidth();
    const uint32_t height = img->GetHeight();
    while (cinfo->output_scanline < cinfo->output_height) {
        if (*escape) {
            strcpy(text, "Cancelled");
            jpeg_destroy_decompress(cinfo);
            st->result = 0;
            return;
        }
        const uint32_t y = cinfo->output_scanline;
        jpeg_read_scanlines(cinfo, line, 1);
        uint8_t* dst = img->GetBits(height - 1 - y);
        if (cinfo->output_components == 4 && !cinfo->quantize_colors) {
            const uint8_t* s = line[0];
            for (uint32_t x = 0, o = 0; x < cinfo->output_width && o + 3 <= eff; ++x, o += 3, s += 4) {
                const uint32_t k = s[3];
                dst[o] = static_cast<uint8_t>(s[2] * k / 255);
                dst[o + 1] = static_cast<uint8_t>(s[1] * k / 255);
                dst[o + 2] = static_cast<uint8_t>(s[0] * k / 255);
            }
        } else {
            memcpy(dst, line[0], rowStride < eff ? rowStride : eff);
        }
    }
    jpeg_finish_decompress(cinfo);
    if (cinfo->output_components == 3 && !cinfo->quantize_colors) {
        for (uint32_t y = 0; y < height; ++y) {
            if (*escape) break;
            img->RGBtoBGR(img->GetBits(y), static_cast<int32_t>(eff));
        }
    }
    jpeg_destroy_decompress(cinfo);
    st->result = 1;
}

bool RasterImageJPG::Decode(RasterFile* hFile)
{
    if (!hFile) return false;
    const bool isExif = DecodeExif(hFile);
    DecodeState* st = static_cast<DecodeState*>(calloc(1, sizeof(DecodeState)));
    RasterFileJpg* io = RasterFileJpg::create(hFile);
    if (!st || !io) {
        free(st);
        RasterFileJpg::release(io);
        SetError("can't allocate memory");
        return false;
    }
    st->isExif = isExif;
    st->options = GetCodecOption(IMAGE_TYPE_JPG);
    st->colors = GetJpegQuality();
    st->scale = GetJpegScale();
    DecodeFrame(this, io, st);
    const int result = st->result;
    free(st);
    RasterFileJpg::release(io);
    if (info.nEscape == -1) return result && info.dwType == IMAGE_TYPE_JPG;
    return result == 1;
}

struct RasterImageJPG::EncodeState {
    jpeg_compress_struct cinfo;
    JpegErrorManager jerr;
    uint32_t options;
    int result;
};

// The libjpeg part of an encode. Holds no C++ objects: libjpeg may longjmp back here.
void RasterImageJPG::EncodeFrame(RasterImageJPG* img, RasterFileJpg* io, EncodeState* st)
{
    const uint32_t options = st->options;
    char* text = img->info.szLastError;
    jpeg_compress_struct* cinfo = &st->cinfo;
    installErrorManager(st->jerr, text);
    cinfo->err = &st->jerr.pub;
    if (setjmp(st->jerr.setjmpBuffer)) {
        jpeg_destroy_compress(cinfo);
        st->result = 0;
        return;
    }
    jpeg_create_compress(cinfo);
    cinfo->dest = &io->dest;

    const bool gray = img->IsGrayScale();
    cinfo->image_width = img->GetWidth();
    cinfo->image_height = img->GetHeight();
    cinfo->input_components = gray ? 1 : 3;
    // 24-bit rows are stored blue first: libjpeg-turbo reads them in that order as they are.
    const bool direct = gray || img->GetBpp() == 24;
    cinfo->in_color_space = gray ? JCS_GRAYSCALE : (direct ? JCS_EXT_BGR : JCS_RGB);
    jpeg_set_defaults(cinfo);
    if (options & 0x8) cinfo->optimize_coding = TRUE;
    if (options & 0x4) jpeg_set_colorspace(cinfo, JCS_GRAYSCALE);
    if (options & 0x40) cinfo->smoothing_factor = img->m_nSmoothing;
    jpeg_set_quality(cinfo, img->GetJpegQuality() & 0xFF, (options & 0x1) ? TRUE : FALSE);
    if (options & 0x10) jpeg_simple_progression(cinfo);

    cinfo->comp_info[0].h_samp_factor = 2;
    cinfo->comp_info[0].v_samp_factor = 2;
    cinfo->comp_info[1].h_samp_factor = 1;
    cinfo->comp_info[1].v_samp_factor = 1;
    cinfo->comp_info[2].h_samp_factor = 1;
    cinfo->comp_info[2].v_samp_factor = 1;
    if (options & 0x1000) cinfo->comp_info[0].v_samp_factor = 1;
    if (options & 0x2000) {
        cinfo->comp_info[0].h_samp_factor = 1;
        cinfo->comp_info[0].v_samp_factor = 1;
    }
    cinfo->density_unit = 1;
    const int32_t xdpi = img->GetXDPI(), ydpi = img->GetYDPI();
    cinfo->X_density = static_cast<UINT16>(xdpi > 65535 ? 65535 : (xdpi < 0 ? 0 : xdpi));
    cinfo->Y_density = static_cast<UINT16>(ydpi > 65535 ? 65535 : (ydpi < 0 ? 0 : ydpi));

    jpeg_start_compress(cinfo, TRUE);
    // The rows go in where they are, bottom-up in the bitmap, a batch at a time; libjpeg only
    // reads them. Other depths go through a swapped copy of each row.
    const uint32_t eff = img->GetEffWidth();
    JSAMPARRAY line = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, eff + 8, 1);
    while (!direct && cinfo->next_scanline < cinfo->image_height) {
        memcpy(line[0], img->GetBits(cinfo->image_height - 1 - cinfo->next_scanline), eff);
        img->RGBtoBGR(line[0], static_cast<int32_t>(eff));
        jpeg_write_scanlines(cinfo, line, 1);
    }
    JSAMPROW rows[16];
    RowsAhead ahead(*img, false);
    while (cinfo->next_scanline < cinfo->image_height) {
        const JDIMENSION n = cinfo->image_height - cinfo->next_scanline < 16 ? cinfo->image_height - cinfo->next_scanline : 16;
        for (JDIMENSION i = 0; i < n; ++i) rows[i] = img->GetBits(cinfo->image_height - 1 - cinfo->next_scanline - i);
        ahead.before(cinfo->next_scanline + n);  // the next batch
        jpeg_write_scanlines(cinfo, rows, n);
    }
    jpeg_finish_compress(cinfo);
    jpeg_destroy_compress(cinfo);
    st->result = 1;
}

bool RasterImageJPG::Encode(RasterFile* hFile)
{
    if (!EncodeSafeCheck(hFile)) return false;
    if (IsIndexed() && !IsGrayScale()) {
        SetError("JPEG can save only RGB or GreyScale images");
        return false;
    }
    const int32_t pos = hFile->Tell();
    EncodeState* st = static_cast<EncodeState*>(calloc(1, sizeof(EncodeState)));
    RasterFileJpg* io = RasterFileJpg::create(hFile);
    if (!st || !io) {
        free(st);
        RasterFileJpg::release(io);
        SetError("can't allocate memory");
        return false;
    }
    st->options = GetCodecOption(IMAGE_TYPE_JPG);
    EncodeFrame(this, io, st);
    const int result = st->result;
    free(st);
    RasterFileJpg::release(io);
    if (!result) return false;

    if (m_exif && m_exif->m_exifinfo && m_exif->m_exifinfo->IsExif) {
        m_exif->DiscardAllButExif();
        hFile->Seek(pos, SEEK_SET);
        m_exif->DecodeExif(hFile, 2);
        hFile->Seek(pos, SEEK_SET);
        if (!m_exif->EncodeExif(hFile)) {
            SetError(m_exif->GetLastError());
            return false;
        }
    }
    return true;
}

bool RasterImageJPG::GetExifThumbnail(const char* filename, const char* outname, int)
{
    if (!filename || !outname) return false;
    FILE* fp = pvk::core::openForReading(filename);
    if (!fp) return false;
    RasterIOFile file(fp);
    RasterExifData exif;
    memset(&exif, 0, sizeof(exif));
    bool ok = false;
    {
        RasterExifInfo reader(&exif);
        reader.DecodeExif(&file, 1);
        if (exif.IsExif && exif.ThumbnailPointer && exif.ThumbnailSize) {
            RasterImage thumb(const_cast<uint8_t*>(exif.ThumbnailPointer), exif.ThumbnailSize, IMAGE_TYPE_JPG);
            if (thumb.IsValid()) {
                if (exif.Orientation != 1) thumb.RotateExif(exif.Orientation);
                ok = thumb.Save(outname, IMAGE_TYPE_JPG);
                if (!ok) SetError(thumb.GetLastError());
            }
        }
    }
    fclose(fp);
    return ok;
}
