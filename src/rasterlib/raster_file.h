// Byte streams of the raster image library: every codec reads and writes through a
// RasterFile, either over a stdio FILE (RasterIOFile) or a growable buffer (RasterMemFile).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class RasterFile {
public:
    RasterFile() = default;
    virtual ~RasterFile() = default;
    RasterFile(const RasterFile&) = delete;
    RasterFile& operator=(const RasterFile&) = delete;

    virtual bool Close() = 0;
    // Returns the number of whole items transferred.
    virtual size_t Read(void* buffer, size_t size, size_t count) = 0;
    virtual size_t Write(const void* buffer, size_t size, size_t count) = 0;
    // origin: SEEK_SET, SEEK_CUR or SEEK_END.
    virtual bool Seek(int32_t offset, int origin) = 0;
    virtual int32_t Tell() = 0;
    virtual int32_t Size() = 0;
    virtual bool Flush() = 0;
    virtual bool Eof() = 0;
    virtual int32_t Error() = 0;
    virtual bool PutC(uint8_t c) { return Write(&c, 1, 1) == 1; }
    virtual int32_t GetC() = 0;
    virtual char* GetS(char* string, int32_t n) = 0;
    virtual int32_t Scanf(const char* format, void* output) = 0;
};

// Over a FILE; closes it only when it opened it itself (constructed without one).
class RasterIOFile : public RasterFile {
public:
    explicit RasterIOFile(FILE* fp = nullptr);
    ~RasterIOFile() override;
    bool Open(const char* path, const char* mode);
    bool Close() override;
    size_t Read(void* buffer, size_t size, size_t count) override;
    size_t Write(const void* buffer, size_t size, size_t count) override;
    bool Seek(int32_t offset, int origin) override;
    int32_t Tell() override;
    int32_t Size() override;
    bool Flush() override;
    bool Eof() override;
    int32_t Error() override;
    bool PutC(uint8_t c) override;
    int32_t GetC() override;
    char* GetS(char* string, int32_t n) override;
    int32_t Scanf(const char* format, void* output) override;

private:
    FILE* m_fp;
    bool m_bCloseFile;
};

// Over a memory buffer allocated with the C allocator; grows in 64 KiB steps.
class RasterMemFile : public RasterFile {
public:
    explicit RasterMemFile(uint8_t* buffer = nullptr, uint32_t size = 0);
    ~RasterMemFile() override;
    bool Open();
    // The buffer; with detach the caller takes it over (release with free()).
    uint8_t* GetBuffer(bool detach = true);
    bool Close() override;
    size_t Read(void* buffer, size_t size, size_t count) override;
    size_t Write(const void* buffer, size_t size, size_t count) override;
    bool Seek(int32_t offset, int origin) override;
    int32_t Tell() override;
    int32_t Size() override;
    bool Flush() override;
    bool Eof() override;
    int32_t Error() override;
    bool PutC(uint8_t c) override;
    int32_t GetC() override;
    char* GetS(char* string, int32_t n) override;
    int32_t Scanf(const char* format, void* output) override;
    uint32_t Capacity() const { return m_Edge; }
    // Room for `bytes` at once (grown by the usual rule), so that writing that much moves
    // nothing; false when it cannot be had.
    bool Reserve(uint32_t bytes) { return m_pBuffer && Alloc(bytes); }

protected:
    bool Alloc(uint32_t bytes);
    void Free();

private:
    uint8_t* m_pBuffer;
    uint32_t m_Size;
    bool m_bFreeOnClose;
    int32_t m_Position;
    uint32_t m_Edge;
    bool m_bEOF;
};
