// JPEG marker sections and the EXIF block: what the decoder learns about resolution,
// orientation and the camera, and the writer that puts an EXIF section back.
// Every read from the block is bounds-checked in 64 bits: the block is untrusted.
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "rasterlib/raster_codecs.h"

namespace {

enum {
    M_SOF0 = 0xC0, M_SOF1 = 0xC1, M_SOF2 = 0xC2, M_SOF3 = 0xC3, M_SOF5 = 0xC5, M_SOF6 = 0xC6, M_SOF7 = 0xC7,
    M_SOF9 = 0xC9, M_SOF10 = 0xCA, M_SOF11 = 0xCB, M_SOF13 = 0xCD, M_SOF14 = 0xCE, M_SOF15 = 0xCF,
    M_SOI = 0xD8, M_EOI = 0xD9, M_SOS = 0xDA, M_JFIF = 0xE0, M_EXIF = 0xE1, M_COM = 0xFE,
    PSEUDO_IMAGE_MARKER = 0x123,
};

const int kBytesPerFormat[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
const int kNumFormats = 12;

// A double that does not fit an int leaves the field at 0 (and a resolution at its default).
int32_t toInt(double v)
{
    if (!(v > -2147483648.0 && v < 2147483648.0)) return 0;
    return static_cast<int32_t>(v);
}

float unitFactor(int unit, float current)
{
    switch (unit) {
    case 1:
    case 2: return 1.0f;
    case 3: return 0.3937008f;
    case 4: return 0.03937008f;
    case 5: return 0.00003937008f;
    default: return current;
    }
}

}  // namespace

using ExifInfo = RasterImageJPG::RasterExifInfo;

ExifInfo::RasterExifInfo(RasterExifData* info)
{
    if (info) {
        m_exifinfo = info;
        freeinfo = false;
    } else {
        m_exifinfo = static_cast<RasterExifData*>(calloc(1, sizeof(RasterExifData)));
        freeinfo = true;
    }
    m_szLastError[0] = 0;
    MotorolaOrder = false;
    ExifImageWidth = 0;
    DirectoriesRead = 0;
    SectionsRead = 0;
    memset(Sections, 0, sizeof(Sections));
}

ExifInfo::~RasterExifInfo()
{
    for (int i = 0; i < SectionsRead; ++i) free(Sections[i].Data);
    if (freeinfo) free(m_exifinfo);
}

int ExifInfo::Get16m(const void* Short) const
{
    const uint8_t* p = static_cast<const uint8_t*>(Short);
    return (p[0] << 8) | p[1];
}

int ExifInfo::Get16u(const void* Short) const
{
    const uint8_t* p = static_cast<const uint8_t*>(Short);
    return MotorolaOrder ? ((p[0] << 8) | p[1]) : ((p[1] << 8) | p[0]);
}

uint32_t ExifInfo::Get32u(const void* Long) const
{
    const uint8_t* p = static_cast<const uint8_t*>(Long);
    if (MotorolaOrder)
        return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
               (static_cast<uint32_t>(p[2]) << 8) | p[3];
    return (static_cast<uint32_t>(p[3]) << 24) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[1]) << 8) | p[0];
}

int32_t ExifInfo::Get32s(const void* Long) const { return static_cast<int32_t>(Get32u(Long)); }

double ExifInfo::ConvertAnyFormat(const void* ValuePtr, int Format) const
{
    const uint8_t* p = static_cast<const uint8_t*>(ValuePtr);
    switch (Format) {
    case 1: return p[0];
    case 3: return Get16u(p);
    case 4: return Get32u(p);
    case 5: {
        const uint32_t den = Get32u(p + 4);
        return den == 0 ? 0.0 : static_cast<double>(Get32u(p)) / den;
    }
    case 10: {
        const int32_t den = Get32s(p + 4);
        return den == 0 ? 0.0 : static_cast<double>(Get32s(p)) / den;
    }
    case 6: return static_cast<int8_t>(p[0]);
    case 8: return static_cast<int16_t>(Get16u(p));
    case 9: return Get32s(p);
    case 11: {
        uint32_t bits = Get32u(p);
        float f;
        memcpy(&f, &bits, 4);
        return f;
    }
    case 12: {
        uint64_t bits = MotorolaOrder ? (static_cast<uint64_t>(Get32u(p)) << 32) | Get32u(p + 4)
                                      : (static_cast<uint64_t>(Get32u(p + 4)) << 32) | Get32u(p);
        double d;
        memcpy(&d, &bits, 8);
        return d;
    }
    default: return 0.0;
    }
}

const uint8_t* ExifInfo::FindSection(int SectionType) const
{
    for (int i = 0; i < SectionsRead; ++i)
        if (Sections[i].Type == SectionType) return Sections[i].Data;
    return nullptr;
}

void ExifInfo::process_SOFn(const uint8_t* Data, uint32_t length, int marker)
{
    if (length < 8) return;  // too short to hold its sizes
    m_exifinfo->Height = Get16m(Data + 3);
    m_exifinfo->Width = Get16m(Data + 5);
    m_exifinfo->IsColor = Data[7] == 3 ? 1 : 0;
    m_exifinfo->Process = marker;
}

void ExifInfo::process_COM(const uint8_t* Data, uint32_t length)
{
    int nch = 0;
    for (uint32_t a = 2; a < length && nch < 255; ++a) {
        const uint8_t ch = Data[a];
        if (ch == '\r' && a + 1 < length && Data[a + 1] == '\n') continue;
        if (isprint(ch) || ch == '\n' || ch == '\t') m_exifinfo->Comments[nch++] = static_cast<char>(ch);
        else m_exifinfo->Comments[nch++] = '?';
    }
    m_exifinfo->Comments[nch] = 0;
}

bool ExifInfo::process_EXif(const uint8_t* CharBuf, uint32_t length)
{
    m_exifinfo->FlashUsed = 0;
    m_exifinfo->Comments[0] = 0;
    ExifImageWidth = 0;
    DirectoriesRead = 0;
    static const uint8_t header[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (length < 6 || memcmp(CharBuf, header, 6) != 0) {
        strcpy(m_szLastError, "Incorrect Exif header");
        return false;
    }
    if (length < 14) {
        strcpy(m_szLastError, "Invalid Exif alignment marker.");
        return false;
    }
    if (memcmp(CharBuf + 6, "II", 2) == 0) {
        MotorolaOrder = false;
    } else if (memcmp(CharBuf + 6, "MM", 2) == 0) {
        MotorolaOrder = true;
    } else {
        strcpy(m_szLastError, "Invalid Exif alignment marker.");
        return false;
    }
    if (Get16u(CharBuf + 8) != 0x2A) {
        strcpy(m_szLastError, "Invalid Exif start (1)");
        return false;
    }
    const uint32_t firstOffset = Get32u(CharBuf + 10);
    const uint8_t* base = CharBuf + 6;
    const uint32_t blockLength = length - 6;
    const uint8_t* lastRefd = CharBuf;
    if (!ProcessExifDir(base + 8, base, blockLength, m_exifinfo, &lastRefd, 0)) return false;
    if (firstOffset > 8) {
        if (static_cast<uint64_t>(firstOffset) + 2 > blockLength) {
            strcpy(m_szLastError, "Illegally sized directory");
            return false;
        }
        if (!ProcessExifDir(base + firstOffset, base, blockLength, m_exifinfo, &lastRefd, 0)) return false;
    }
    if (m_exifinfo->FocalplaneXRes != 0)
        m_exifinfo->CCDWidth = static_cast<float>(ExifImageWidth * m_exifinfo->FocalplaneUnits /
                                                  m_exifinfo->FocalplaneXRes);
    return true;
}

bool ExifInfo::ProcessExifDir(const uint8_t* DirStart, const uint8_t* OffsetBase, uint32_t ExifLength,
                              RasterExifData* pInfo, const uint8_t** LastExifRefdP, int NestingLevel)
{
    if (NestingLevel > 4) {
        strcpy(m_szLastError, "Maximum directory nesting exceeded (corrupt exif header)");
        return false;
    }
    if (++DirectoriesRead > 64) {
        strcpy(m_szLastError, "Too many EXIF directories");
        return false;
    }
    const uint64_t dirOffset = static_cast<uint64_t>(DirStart - OffsetBase);
    if (dirOffset + 2 > ExifLength) {
        strcpy(m_szLastError, "Illegally sized directory");
        return false;
    }
    const uint32_t entries = static_cast<uint32_t>(Get16u(DirStart));
    if (dirOffset + 2 + 12ull * entries > ExifLength) {
        strcpy(m_szLastError, "Illegally sized directory");
        return false;
    }
    uint32_t thumbOffset = 0, thumbSize = 0;
    for (uint32_t de = 0; de < entries; ++de) {
        const uint8_t* entry = DirStart + 2 + 12 * de;
        const int tag = Get16u(entry);
        const int format = Get16u(entry + 2);
        const uint32_t components = Get32u(entry + 4);
        if (format < 1 || format > kNumFormats) {
            strcpy(m_szLastError, "Illegal format code in EXIF dir");
            return false;
        }
        const uint64_t byteCount = static_cast<uint64_t>(components) * kBytesPerFormat[format];
        const uint8_t* value;
        if (byteCount > 4) {
            const uint32_t offset = Get32u(entry + 8);
            if (static_cast<uint64_t>(offset) + byteCount > ExifLength) {
                strcpy(m_szLastError, "Illegal pointer offset value in EXIF.");
                return false;
            }
            value = OffsetBase + offset;
        } else {
            value = entry + 8;
        }
        if (*LastExifRefdP < value + byteCount) *LastExifRefdP = value + byteCount;
        // A count of zero holds no value: read nothing, not even the inline bytes.
        const double num = components ? ConvertAnyFormat(value, format) : 0.0;
        const size_t textLen = static_cast<size_t>(byteCount);
        auto copyText = [&](char* dst, size_t cap) {
            size_t n = textLen < cap ? textLen : cap;
            memcpy(dst, value, n);
            dst[n] = 0;
        };
        switch (tag) {
        case 271: copyText(pInfo->CameraMake, 31); break;
        case 272: copyText(pInfo->CameraModel, 39); break;
        case 274:
            pInfo->Orientation = toInt(num);
            if (pInfo->Orientation < 1 || pInfo->Orientation > 8) {
                strcpy(m_szLastError, "Undefined rotation value");
                pInfo->Orientation = 0;
            }
            break;
        case 282: pInfo->Xresolution = static_cast<float>(num); break;
        case 283: pInfo->Yresolution = static_cast<float>(num); break;
        case 296: pInfo->ResolutionUnit = unitFactor(toInt(num), pInfo->ResolutionUnit); break;
        case 513: thumbOffset = static_cast<uint32_t>(toInt(num)); break;
        case 514: thumbSize = static_cast<uint32_t>(toInt(num)); break;
        case 33434: pInfo->ExposureTime = static_cast<float>(num); break;
        case 33437: pInfo->ApertureFNumber = static_cast<float>(num); break;
        case 34850: pInfo->ExposureProgram = toInt(num); break;
        case 34855:
            pInfo->ISOequivalent = toInt(num);
            if (pInfo->ISOequivalent < 50) pInfo->ISOequivalent *= 200;
            break;
        case 36864: copyText(pInfo->Version, 4); break;
        case 36867: copyText(pInfo->DateTime, 19); break;
        case 37122: pInfo->CompressionLevel = toInt(num); break;
        case 37377:
            if (pInfo->ExposureTime == 0) pInfo->ExposureTime = static_cast<float>(1.0 / exp(num * log(2.0)));
            break;
        case 37378:
        case 37381:
            if (pInfo->ApertureFNumber == 0) pInfo->ApertureFNumber = static_cast<float>(exp(num * log(2.0) * 0.5));
            break;
        case 37379: pInfo->Brightness = static_cast<float>(num); break;
        case 37380: pInfo->ExposureBias = static_cast<float>(num); break;
        case 37382: pInfo->Distance = static_cast<float>(num); break;
        case 37383: pInfo->MeteringMode = toInt(num); break;
        case 37384: pInfo->LightSource = toInt(num); break;
        case 37385: pInfo->FlashUsed = (toInt(num) & 7) ? 1 : 0; break;
        case 37386: pInfo->FocalLength = static_cast<float>(num); break;
        case 37510: {
            size_t n = textLen;
            while (n > 0 && value[n - 1] == ' ') --n;
            size_t from = 0;
            if (n >= 5 && memcmp(value, "ASCII", 5) == 0) {
                from = 5;
                while (from < n && from < 10 && (value[from] == 0 || value[from] == ' ')) ++from;
            }
            size_t len = n > from ? n - from : 0;
            if (len > 199) len = 199;
            memcpy(pInfo->Comments, value + from, len);
            pInfo->Comments[len] = 0;
            break;
        }
        case 40962:
        case 40963:
            if (toInt(num) > ExifImageWidth) ExifImageWidth = toInt(num);
            break;
        case 41486: pInfo->FocalplaneXRes = static_cast<float>(num); break;
        case 41487: pInfo->FocalplaneYRes = static_cast<float>(num); break;
        case 41488: pInfo->FocalplaneUnits = unitFactor(toInt(num), pInfo->FocalplaneUnits); break;
        case 34665:
        case 40965: {
            const uint32_t sub = Get32u(value);
            if (static_cast<uint64_t>(sub) + 2 > ExifLength) {
                strcpy(m_szLastError, "Illegal subdirectory link");
                return false;
            }
            if (!ProcessExifDir(OffsetBase + sub, OffsetBase, ExifLength, pInfo, LastExifRefdP, NestingLevel + 1))
                return false;
            break;
        }
        default: break;
        }
    }
    const uint64_t linkAt = dirOffset + 2 + 12ull * entries;
    if (linkAt + 4 <= ExifLength) {
        const uint32_t next = Get32u(DirStart + 2 + 12 * entries);
        if (next && static_cast<uint64_t>(next) + 2 <= ExifLength) {
            if (!ProcessExifDir(OffsetBase + next, OffsetBase, ExifLength, pInfo, LastExifRefdP, NestingLevel + 1))
                return false;
        }
    }
    if (thumbSize && thumbOffset && static_cast<uint64_t>(thumbOffset) + thumbSize <= ExifLength) {
        pInfo->ThumbnailPointer = OffsetBase + thumbOffset;
        pInfo->ThumbnailSize = thumbSize;
    }
    return true;
}

bool ExifInfo::DecodeExif(RasterFile* hFile, int nReadMode)
{
    if (!hFile) return false;
    if (hFile->GetC() != 0xFF || hFile->GetC() != M_SOI) return false;
    bool haveCom = false;
    for (;;) {
        if (SectionsRead > MAX_SECTIONS - 1) {
            strcpy(m_szLastError, "Too many sections in jpg file");
            return false;
        }
        int marker = 0;
        for (int a = 0; a < 7; ++a) {
            marker = hFile->GetC();
            if (marker != 0xFF) break;
            if (a >= 6) {
                strcpy(m_szLastError, "too many padding bytes");
                return false;
            }
        }
        if (marker < 0) {
            strcpy(m_szLastError, "Premature end of file?");
            return false;
        }
        const int lh = hFile->GetC();
        const int ll = hFile->GetC();
        if (lh < 0 || ll < 0) {
            strcpy(m_szLastError, "Premature end of file?");
            return false;
        }
        const uint32_t itemlen = static_cast<uint32_t>((lh << 8) | ll);
        if (itemlen < 2) {
            strcpy(m_szLastError, "invalid marker");
            return false;
        }
        uint8_t* data = static_cast<uint8_t*>(malloc(itemlen));
        if (!data) {
            strcpy(m_szLastError, "Could not allocate memory");
            return false;
        }
        data[0] = static_cast<uint8_t>(lh);
        data[1] = static_cast<uint8_t>(ll);
        if (hFile->Read(data + 2, 1, itemlen - 2) != itemlen - 2) {
            free(data);
            strcpy(m_szLastError, "Premature end of file?");
            return false;
        }
        Section& s = Sections[SectionsRead];
        s.Data = data;
        s.Type = marker;
        s.Size = itemlen;
        ++SectionsRead;
        auto drop = [&]() {
            free(data);
            --SectionsRead;
            Sections[SectionsRead].Data = nullptr;
        };
        switch (marker) {
        case M_SOS: {
            if (!(nReadMode & 2)) return true;
            const int32_t cp = hFile->Tell();
            hFile->Seek(0, SEEK_END);
            const int32_t ep = hFile->Tell();
            hFile->Seek(cp, SEEK_SET);
            const int32_t size = ep - cp;
            uint8_t* rest = size > 0 ? static_cast<uint8_t*>(malloc(static_cast<size_t>(size))) : nullptr;
            if (!rest) {
                strcpy(m_szLastError, "could not allocate data for entire image");
                return false;
            }
            if (hFile->Read(rest, 1, static_cast<size_t>(size)) != static_cast<size_t>(size)) {
                free(rest);
                strcpy(m_szLastError, "could not read the rest of the image");
                return false;
            }
            Sections[SectionsRead].Data = rest;
            Sections[SectionsRead].Type = PSEUDO_IMAGE_MARKER;
            Sections[SectionsRead].Size = static_cast<uint32_t>(size);
            ++SectionsRead;
            return true;
        }
        case M_EOI:
            strcpy(m_szLastError, "No image in jpeg!");
            return false;
        case M_COM:
            if (!haveCom && (nReadMode & 1)) {
                process_COM(data, itemlen);
                haveCom = true;
            } else {
                drop();
            }
            break;
        case M_JFIF: drop(); break;
        case M_EXIF:
            if ((nReadMode & 1) && itemlen >= 6 && memcmp(data + 2, "Exif", 4) == 0) {
                m_exifinfo->IsExif = process_EXif(data + 2, itemlen - 2);
            } else {
                drop();
            }
            break;
        case M_SOF0: case M_SOF1: case M_SOF2: case M_SOF3: case M_SOF5: case M_SOF6: case M_SOF7:
        case M_SOF9: case M_SOF10: case M_SOF11: case M_SOF13: case M_SOF14: case M_SOF15:
            process_SOFn(data, itemlen, marker);
            break;
        default: break;
        }
    }
}

void ExifInfo::DiscardAllButExif()
{
    Section exif = {nullptr, 0, 0}, com = {nullptr, 0, 0};
    for (int i = 0; i < SectionsRead; ++i) {
        if (Sections[i].Type == M_EXIF && !exif.Data) exif = Sections[i];
        else if (Sections[i].Type == M_COM && !com.Data) com = Sections[i];
        else free(Sections[i].Data);
        Sections[i].Data = nullptr;
    }
    SectionsRead = 0;
    if (exif.Data) Sections[SectionsRead++] = exif;
    if (com.Data) Sections[SectionsRead++] = com;
}

bool ExifInfo::EncodeExif(RasterFile* hFile)
{
    if (!hFile) return false;
    if (!FindSection(M_SOS) && !FindSection(PSEUDO_IMAGE_MARKER)) {
        strcpy(m_szLastError, "Can't write exif : didn't read all");
        return false;
    }
    bool ok = hFile->PutC(0xFF) && hFile->PutC(M_SOI);
    if (SectionsRead > 0 && Sections[0].Type != M_EXIF && Sections[0].Type != M_JFIF) {
        static const uint8_t jfif[18] = {0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46, 0x00,
                                         0x01, 0x01, 0x01, 0x01, 0x2C, 0x01, 0x2C, 0x00, 0x00};
        ok = ok && hFile->Write(jfif, 18, 1) == 1;
    }
    for (int a = 0; ok && a < SectionsRead - 1; ++a) {
        ok = hFile->PutC(0xFF) && hFile->PutC(static_cast<uint8_t>(Sections[a].Type)) &&
             hFile->Write(Sections[a].Data, Sections[a].Size, 1) == 1;
    }
    if (ok && SectionsRead > 0) {
        const Section& last = Sections[SectionsRead - 1];
        ok = hFile->Write(last.Data, last.Size, 1) == 1;
    }
    if (!ok) strcpy(m_szLastError, "Can't write exif : write error");
    return ok;
}
