// Image output: what the other folders may call. BMP and PGM files, the geometry transform,
// encoding into memory and multipage TIFF, output elaboration of an acquired side and the
// blank-page check. Given names keep their signatures; our helpers live in pvk::image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/records.h"

// ---- BMP and PGM files --------------------------------------------------------------------

// Bytes of an 8-bit BMP of width x height (rows padded to 4, header and palette included);
// callers pass planes x width for colour, which is large enough for the 24-bit form too.
size_t ImgBMPSize(size_t width, size_t height);
// Writes the 54-byte header (and for 8 bits the 1024-byte grey palette) into out; returns
// its length, 1078 for 8 bits and 54 for 24.
int ImgBMPHeaderFill(uint16_t width, uint16_t height, uint16_t xdpi, uint16_t ydpi, uint16_t bpp,
                     char* out);
// Builds a BMP in out (ImgBMPSize bytes at least) from plane rows of src, through the
// brightness/contrast table; *size receives header + rows x dstStride. False on null pointers.
bool ImgBMPElabora(const uint8_t* src, uint16_t rows, uint16_t width, uint16_t planeOffset,
                   uint16_t srcStride, uint16_t dstStride, uint16_t xdpi, uint16_t ydpi,
                   short brightness, short contrast, uint16_t bpp, bool bottomUp, bool bgrOrder,
                   uint8_t* out, long* size);
// BMP files; false (result -1 and a trace) when the file cannot be created or written.
bool ImgBPMWrite(const char* path, const PVKImg* img, uint16_t bpp);
bool ImgBPMWrite(const char* path, const PVKImg* first, const PVKImg* second, uint16_t bpp);
bool ImgBPMWrite(const char* path, const ImgInfo* side);
// The two BMP headers as read from a file (fields in file order).
struct BmpFileHeader {
  uint16_t type;
  uint32_t fileSize;
  uint16_t reserved1, reserved2;
  uint32_t dataOffset;
};
struct BmpInfoHeader {
  uint32_t size;
  int32_t width, height;
  uint16_t planes, bitCount;
  uint32_t compression, imageSize;
  int32_t xPelsPerMeter, yPelsPerMeter;
  uint32_t colorsUsed, colorsImportant;
};
bool ImgBMPHeaderRead(FILE* f, BmpFileHeader& fileHeader, BmpInfoHeader& infoHeader);
// 8-bit uncompressed grey BMP into a side record (allocating its buffer when asked) or into a
// new PVKImg buffer that the caller owns.
bool ImgBMPRead(const char* path, ImgInfo* side, bool allocate);
bool ImgBMPRead(const char* path, PVKImg* img);

// Binary PGM dumps. The writers return 0 whatever happens (nothing is written on bad input).
int ImgPGMWrite(const char* path, const uint8_t* data, uint16_t rows, uint16_t width,
                uint16_t planeOffset, uint16_t rowStride, uint16_t xdpi, uint16_t ydpi,
                uint16_t planes);
int ImgPGMWrite(const char* path, const ImgInfo* side, uint16_t planes);
int ImgPGMWrite(const char* path, const ImgInfo* side);
int ImgPGMWrite(const char* path, const PVKImg* img, uint16_t planes);
int ImgPGMWrite(const char* path, const PVKImg* img);
// Readers; each releases the image's previous buffer and gives it a new one (stride = width
// rounded up to 8). ImgPGMReadEnlarge adds extraRows white rows below the picture.
bool ImgPGMReadEnlarge(const char* path, PVKImg* img, uint16_t extraRows);
bool ImgPGMRead(const char* path, PVKImg* img);
int ImgPGMRead(const char* path, PVKImg& img, int& maxValue, bool rotate180);  // 0 or -1
bool ImgPGMRead(const char* path, ImgInfo* side, bool toWritePointer, bool onePlane);
bool ImgPGMRead(const char* path, ImgInfo* side, bool toWritePointer);

int Vx3MultiPageInit_PDF(const char* path, short format, short quality);  // -11
int Vx3MultiPageAdd_PDF(const char* path);                               // -11
int Vx3MultiPageClose_PDF();                                             // -11

// ---- Geometry transform -------------------------------------------------------------------

// x' = p0 x + p1 y + p2, y' = p3 x + p4 y + p5.
struct LinTranPars {
  float p0, p1, p2, p3, p4, p5;
};
struct Point {
  float x, y;
};

LinTranPars GetLinTranPars(const PVKImg& img, float a, float b, float angle, float c, float d);
LinTranPars GetInversePars(const LinTranPars& p);
Point Transform(const Point& pt, const LinTranPars& p);
// Maps src into dst (or only sets dst's width, height and stride with sizeOnly). False when
// the output would not fit the 16-bit image record.
bool LinearTransformation(const PVKImg& src, PVKImg& dst, const LinTranPars& p, bool turn180,
                          bool sizeOnly, uint16_t planes);
void NoTrasformation(const PVKImg& src, PVKImg& dst, bool turn180, int stepH, int stepV,
                     int planes);
void FreePVKImg(PVKImg& img);
// Rescales src by dstV/srcV vertically and dstH/srcH horizontally and turns it by angle
// (radians) into a new buffer in dst (16 spare rows, filled with 10 where nothing maps).
// False with result -3 (bad factors, output beyond 65535) or -4 (memory).
bool StretchRotateStretch(PVKImg& src, PVKImg& dst, int srcV, int srcH, int dstV, int dstH,
                          float angle, uint8_t planes, bool turn180);

// ---- Encoding into memory and multipage TIFF ----------------------------------------------

// Turns an in-memory BMP into the format of the format word (JPEG, TIFF G3/G4/LZW/none/JPEG,
// BMP). *size holds the BMP length on entry and the encoded length on return; the result is
// released with free(). Null on failure.
uint8_t* EncodeImage(const uint8_t* bmp, long* size, int quality, uint8_t threshold, short format,
                     short rotation, short xdpi, short ydpi, short bpp);

// ---- Output elaboration --------------------------------------------------------------------

bool VerificaFormatoImmagine(short plane, short format, short quality, short bpp,
                             bool& blackAndWhite);
int Vx3ElabImgBrightness(short side, short value);
int Vx3ElabImgContrast(short side, short value);
uint8_t AutoTrimThresh(const ImgInfo* side);
void GestisciAutoRotate(short& rotation, bool& flipH, bool& flipV, short side);
void GestisciRotate(short& rotation, bool& flipH, bool& flipV, short side);
// One side encoded as asked; a new buffer (free()) or null with the result code set.
uint8_t* Vx3ElabImgStructGet(short side, short plane, short brightness, short contrast,
                             const PVKRoi* roi, short quality, short format, short rotation,
                             short dpi, short bpp, int* size);

// ---- Image calls ---------------------------------------------------------------------------

short Vx3GetDpiOut(short side);
short Vx3GetSideAuto(short side);

// ---- Blank page ----------------------------------------------------------------------------

int IsPageBlank(short side, uint8_t pixThreshold, uint8_t darkLevel);  // 6, 0 or -3
int Vx3IQACheck(const char* frontPath, const char* rearPath);         // -3, -6 or -11

namespace pvk::image {

// The format word of the image calls.
constexpr short kFormatMask = 0x0007;
constexpr short kRotationMask = 0x0700;
constexpr short kRotationAuto = 0x0400;
constexpr short kFlipTopBottom = 0x0800;
constexpr short kRgbOrder = 0x1000;
constexpr short kQualityItaCheck = 999;

enum Format : short {
  kJpeg = 0,
  kTiffG3 = 1,
  kTiffG4 = 2,
  kTiffLzw = 3,
  kBmp = 4,
  kTiffNone = 5,
  kTiffJpeg = 6,
};

// TIFF compression codes, as the TIFF codec takes them for its option.
constexpr uint16_t kCompNone = 1;
constexpr uint16_t kCompG3 = 3;
constexpr uint16_t kCompG4 = 4;
constexpr uint16_t kCompLzw = 5;
constexpr uint16_t kCompJpeg = 7;

// Stores code as the device's last result and returns it.
int setResult(int code);

// Trace lines of this folder: "err - " / "war - " and the text, optionally followed by a
// second text or a number.
void traceError(const char* text);
void traceError(const char* text, long value);
void traceError(const char* text, const char* more);
void traceWarning(const char* text);
void traceWarning(const char* text, long value);
void traceWarning(const char* text, const char* more);
void traceInfo(const char* text);
void traceInfo(const char* text, long value);

// Writes the whole buffer to path, whole or not at all (the old file stays on failure).
enum class FileWrite { Done, NotOpened, NotWritten };
FileWrite writeFile(const char* path, const void* data, size_t size);
// The same, true when done.
bool writeWholeFile(const char* path, const void* data, size_t size);

}  // namespace pvk::image
