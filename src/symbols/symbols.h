// Barcode and 2D symbol readers: what the other folders may call. Each reader takes a zone
// image and returns a character count (0 nothing read, negative an error left in the last
// result). Given names keep their signatures; our helpers live in pvk::symbols.
#pragma once

#include <cstdint>

#include "core/records.h"

// ---- PDF417 ---------------------------------------------------------------------------------

// Error correction over GF(929), generator 3. The tables are built once per process
// (MyOcr.gf929Built); the work areas are the module's own, so none of this is re-entrant.
int GFmul(int a, int b);
// a / b modulo 929; a zero divisor traces "zero division" and gives 0.
int GFdiv(int a, int b);
void InitTables();
// The codewords as a polynomial (cw[0] of highest degree) at 3^j, modulo 929.
int CalcSyndromes(int* cw, int n, int j);
// Corrects cw (n codewords, data and checks) in place with nSynd = 2^(L+1) - 2 syndromes for
// the locator and the last two to verify it. Codewords outside 0..928 (erasures) count as 0.
// Returns the number of codewords corrected, or -1 (n above 928, more errors than it can
// locate, a correction that does not zero every syndrome).
int CorrectErrs(int* cw, int n, int nSynd);

// Decodes the n codewords of one symbol (data then checks, -1 where a codeword was not read)
// into text for level L: corrects them in place, then walks text, byte and numeric compaction;
// Macro PDF417 controls come out as "\928", "\922", "\923" sequences. Returns the text length
// (text NUL-terminated), or 0 when the symbol cannot be corrected or decoded or the text and
// its terminator do not fit maxChars bytes.
int AnalyzeRuns(int n, int* codewords, char* text, int level, unsigned short maxChars);

namespace pvk::symbols {

// One trace line of the PDF417 reader: the tag ("err - ", "war - " or "") and the text, with
// " %d" of the value when one is given.
void pdfTrace(const char* tag, const char* text);
void pdfTrace(const char* tag, const char* text, long value);

}  // namespace pvk::symbols

// t1..t6 of each codeword value (4 bits each, t1 highest) for clusters 0, 3 and 6.
extern const uint64_t tabPdf417[3][929];
// Text compaction submodes alpha, lower, mixed, punctuation: a character, or 0xFF/0xFE/0xFD/
// 0xFC latch to lower/mixed/punctuation/alpha, 0x9A shift to alpha, 0x9B to punctuation.
extern const unsigned char txtSubmMap[4][30];
