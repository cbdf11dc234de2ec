// stdio and memory streams for the raster codecs.
#include "rasterlib/raster_file.h"

#include <fcntl.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/regular_file.h"

RasterIOFile::RasterIOFile(FILE* fp) : m_fp(fp), m_bCloseFile(fp == nullptr) {}

RasterIOFile::~RasterIOFile() { Close(); }

namespace {

// The open(2) flags of a stdio mode; -1 for a mode that is not one.
int openFlags(const char* mode)
{
    const int rw = strchr(mode, '+') ? O_RDWR : -1;
    switch (mode[0]) {
    case 'r': return rw != -1 ? rw : O_RDONLY;
    case 'w': return (rw != -1 ? rw : O_WRONLY) | O_CREAT | O_TRUNC;
    case 'a': return (rw != -1 ? rw : O_WRONLY) | O_CREAT | O_APPEND;
    default: return -1;
    }
}

}  // namespace

bool RasterIOFile::Open(const char* path, const char* mode)
{
    if (m_fp || !path || !mode || openFlags(mode) == -1) return false;
    // Only a regular file, opened without blocking: a FIFO at the path would hang the caller.
    m_fp = pvk::core::openRegularFile(path, openFlags(mode), mode);
    m_bCloseFile = true;
    return m_fp != nullptr;
}

bool RasterIOFile::Close()
{
    int rc = 0;
    if (m_fp && m_bCloseFile) {
        rc = fclose(m_fp);
        m_fp = nullptr;
    }
    return rc == 0;
}

size_t RasterIOFile::Read(void* buffer, size_t size, size_t count)
{
    if (!m_fp || !buffer) return 0;
    return fread(buffer, size, count, m_fp);
}

size_t RasterIOFile::Write(const void* buffer, size_t size, size_t count)
{
    if (!m_fp || !buffer) return 0;
    return fwrite(buffer, size, count, m_fp);
}

bool RasterIOFile::Seek(int32_t offset, int origin)
{
    if (!m_fp) return false;
    return fseek(m_fp, offset, origin) == 0;
}

int32_t RasterIOFile::Tell()
{
    if (!m_fp) return 0;
    long pos = ftell(m_fp);
    return pos > INT32_MAX ? -1 : static_cast<int32_t>(pos);
}

int32_t RasterIOFile::Size()
{
    if (!m_fp) return -1;
    long pos = ftell(m_fp);
    if (pos < 0 || fseek(m_fp, 0, SEEK_END) != 0) return -1;
    long size = ftell(m_fp);
    fseek(m_fp, pos, SEEK_SET);
    return size > INT32_MAX ? -1 : static_cast<int32_t>(size);
}

bool RasterIOFile::Flush() { return m_fp && fflush(m_fp) == 0; }
bool RasterIOFile::Eof() { return !m_fp || feof(m_fp) != 0; }
int32_t RasterIOFile::Error() { return m_fp ? ferror(m_fp) : -1; }
bool RasterIOFile::PutC(uint8_t c) { return m_fp && fputc(c, m_fp) != EOF; }
int32_t RasterIOFile::GetC() { return m_fp ? fgetc(m_fp) : EOF; }

char* RasterIOFile::GetS(char* string, int32_t n)
{
    if (!m_fp || !string || n < 1) return nullptr;
    return fgets(string, n, m_fp);
}

int32_t RasterIOFile::Scanf(const char* format, void* output)
{
    if (!m_fp || !format) return EOF;
    return fscanf(m_fp, format, output);
}

RasterMemFile::RasterMemFile(uint8_t* buffer, uint32_t size)
    : m_pBuffer(buffer), m_Size(size), m_bFreeOnClose(buffer == nullptr),
      m_Position(0), m_Edge(size), m_bEOF(false)
{
}

RasterMemFile::~RasterMemFile() { Close(); }

bool RasterMemFile::Open()
{
    if (m_pBuffer) return false;
    m_Position = 0;
    m_Size = 0;
    m_Edge = 0;
    m_pBuffer = static_cast<uint8_t*>(malloc(1));
    m_bFreeOnClose = true;
    return m_pBuffer != nullptr;
}

uint8_t* RasterMemFile::GetBuffer(bool detach)
{
    if (detach) m_bFreeOnClose = false;
    return m_pBuffer;
}

bool RasterMemFile::Close()
{
    if (m_pBuffer && m_bFreeOnClose) {
        free(m_pBuffer);
        m_pBuffer = nullptr;
        m_Edge = 0;
    }
    m_Size = 0;
    return true;
}

void RasterMemFile::Free() { Close(); }

bool RasterMemFile::Alloc(uint32_t bytes)
{
    if (bytes <= m_Edge) return true;
    if (bytes > 0x7FFF0000u) return false;  // positions are 32-bit signed
    uint32_t edge = (bytes & ~0xFFFFu) + 0x10000u;
    uint8_t* grown;
    if (m_bFreeOnClose) {
        grown = static_cast<uint8_t*>(realloc(m_pBuffer, edge));
    } else {
        // Never reallocate a buffer the caller owns: copy it into one of our own.
        grown = static_cast<uint8_t*>(malloc(edge));
        if (grown && m_pBuffer) memcpy(grown, m_pBuffer, m_Size);
    }
    if (!grown) return false;
    m_pBuffer = grown;
    m_Edge = edge;
    m_bFreeOnClose = true;
    return true;
}

size_t RasterMemFile::Write(const void* buffer, size_t size, size_t count)
{
    m_bEOF = false;
    if (!m_pBuffer || !buffer) return 0;
    if (size == 0 || count == 0) return 0;
    uint64_t bytes = static_cast<uint64_t>(size) * count;
    uint64_t end = static_cast<uint64_t>(m_Position) + bytes;
    if (end > 0x7FFF0000u) return 0;
    if (end > m_Edge && !Alloc(static_cast<uint32_t>(end))) return 0;
    // A write past the end (libtiff aligns its directories this way) leaves a gap that reads
    // as zeros, as in a file on disk: never as whatever the heap held there before.
    if (static_cast<uint32_t>(m_Position) > m_Size) memset(m_pBuffer + m_Size, 0, m_Position - m_Size);
    memcpy(m_pBuffer + m_Position, buffer, static_cast<size_t>(bytes));
    m_Position = static_cast<int32_t>(end);
    if (static_cast<uint32_t>(m_Position) > m_Size) m_Size = static_cast<uint32_t>(m_Position);
    return count;
}

bool RasterMemFile::PutC(uint8_t c) { return Write(&c, 1, 1) == 1; }

size_t RasterMemFile::Read(void* buffer, size_t size, size_t count)
{
    if (!buffer || !m_pBuffer || size == 0) return 0;
    if (m_Position < 0 || static_cast<uint32_t>(m_Position) >= m_Size) {
        m_bEOF = true;
        return 0;
    }
    uint64_t want = static_cast<uint64_t>(size) * count;
    uint64_t left = m_Size - static_cast<uint32_t>(m_Position);
    if (want > left) {
        want = left;
        m_bEOF = true;
    }
    memcpy(buffer, m_pBuffer + m_Position, static_cast<size_t>(want));
    m_Position += static_cast<int32_t>(want);
    return static_cast<size_t>(want / size);
}

int32_t RasterMemFile::GetC()
{
    if (!m_pBuffer || m_Position < 0 || static_cast<uint32_t>(m_Position) >= m_Size) {
        m_bEOF = true;
        return -1;
    }
    return m_pBuffer[m_Position++];
}

char* RasterMemFile::GetS(char* string, int32_t n)
{
    if (!string) return nullptr;
    if (n < 2) {
        if (n == 1) string[0] = 0;
        return string;
    }
    int32_t i = 0;
    while (i < n - 1) {
        int32_t c = GetC();
        if (c < 0) return nullptr;
        string[i++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    string[i] = 0;
    return string;
}

bool RasterMemFile::Seek(int32_t offset, int origin)
{
    m_bEOF = false;
    if (!m_pBuffer) return false;
    int64_t base;
    switch (origin) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = m_Position; break;
    case SEEK_END: base = m_Size; break;
    default: return false;
    }
    int64_t pos = base + offset;
    if (pos < 0) pos = 0;
    if (pos > INT32_MAX) pos = INT32_MAX;
    m_Position = static_cast<int32_t>(pos);
    return true;
}

int32_t RasterMemFile::Tell() { return m_pBuffer ? m_Position : -1; }
int32_t RasterMemFile::Size() { return m_pBuffer ? static_cast<int32_t>(m_Size) : -1; }
bool RasterMemFile::Flush() { return m_pBuffer != nullptr; }
bool RasterMemFile::Eof() { return !m_pBuffer || m_bEOF; }

int32_t RasterMemFile::Error()
{
    if (!m_pBuffer) return -1;
    return static_cast<uint32_t>(m_Position) > m_Size ? 1 : 0;
}

int32_t RasterMemFile::Scanf(const char*, void*) { return 0; }
