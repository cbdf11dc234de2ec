// The inkjet endorser: set-up of a stamp (text drawn with a stamp font, or a BMP image), its
// 12-row bitmap, the head configuration, the print set-up block and column stream sent before a
// document, and the printed-count check after it. The state lives in MyInkjet.
#pragma once

#include <cstddef>
#include <cstdint>

#include "PlavikMS.h"

constexpr int kStampRows = 12;

// Sets up the stamp of the next document (text + font, or with font null and size 0 a BMP
// path in text). 0 armed or nothing to print; -15 no inkjet; -3 bad values or stamp; -1 bad
// font file; -4 out of memory.
int32_t Inkjet1SetUp(const char* text, const char* font, short size, short intensity, short offset,
                     short keepImage, short fireCount, short rotate180);
// Reads the head configuration (208/81) for mode 0 or 0x200 when an inkjet is present.
bool InkjetReadCnfData(unsigned short mode);
bool InkjetReadCnfData_TIJ10();
// Makes the stamp image (from the font when there is none), turns it once when asked, and
// checks it against the head: false with the last result set (or left) on failure.
bool InkjetPrepare_TIJ10();
// Before a document: set-up block, column stream, print start. False when nothing is printed.
bool InkjetStart();
bool InkjetStart_TIJ10();
// Writes the column stream to the head (bulk OUT endpoint 6).
bool ScriviTimbro(char* columns, int bytes);
// After a document: the head must have printed every column (else -81).
bool CheckStamp();
bool CheckStamp_TIJ10();
void InkjetStop();
void InkjetStop_TIJ10();
void InkjetOff_TIJ10();
// The stamp font file can be opened.
bool VerificaFontProprietario(char* path);
// Draws the stamp text with the font file into the stamp image, `rows` rows high.
bool CreaStampFontProprietario(char* path, uint16_t rows, bool bottomUp);
bool CreateStamp();

namespace pvk::device {

// One glyph of a stamp font: its columns and `rows` text lines of them (' ' blank, else ink).
struct StampFont {
  char chars[512];
  uint8_t widths[512];
  size_t count = 0;
  const char* glyphs[512];  // into `data`: rows lines of widths[i] bytes each
  char* data = nullptr;     // owned (std::free)
};

// Parses a stamp font file of glyphs `rows` high. 0, -1 for a garbled or truncated file, -4
// when out of memory. The font is valid only on success; release it with freeStampFont.
int readStampFont(const char* path, uint16_t rows, StampFont& font);
void freeStampFont(StampFont& font);
// Draws the stamp text with the font into MyInkjet.stamp: 0, -1 (garbled font file), -3 (the
// stamp is empty or too wide for a 16-bit image), -4 (out of memory).
int createStamp(char* path, uint16_t rows, bool bottomUp);
// Path of a stamp font: cnfDir + "/" + name, ".fnt" appended unless the name ends in it.
// False when it does not fit.
bool stampFontPath(const char* cnfDir, const char* name, char* out, size_t size);
// The stamp font file of `name` (as stampFontPath): the configuration directory's copy, else the
// one installed with the library beside its OCR font databases. False when neither opens; out
// then holds the last path tried.
bool findStampFont(const char* name, char* out, size_t size);

// The print set-up block (208/72) for the current stamp and head.
void inkjetSetUpBlock(uint8_t out[8]);
// Percent by which the intensity scales the print positions (never 0).
int inkjetScale();
// Column words of the stamp: bit r of column c set when row r is ink (< 128). Normalises the
// bitmap to 0 and 255. Writes 2 x width bytes; false when they do not fit in size.
bool stampColumns(PVKImg& stamp, uint8_t* out, size_t size);

}  // namespace pvk::device
