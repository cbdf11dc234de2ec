// Barcode and 2D symbol readers: what the other folders may call. Each symbology keeps its
// section below; everything else of this folder is file-local.
#pragma once

#include <opencv2/core.hpp>
#include <opencv2/core/types_c.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "PlavikMS.h"
#include "control/control.h"  // VX3_BARCODE, the symbology switches, AggiornaFirstBarcodeRead
#include "core/records.h"     // PVKImg, MyOcr, MyDev

// ---- QR: symbol model and segment decoders ---------------------------------------------------
// A Symbol reads one error-free QR symbol (versions 1-40) from a binary image of its code area
// (one pixel grid, modules dark, no quiet zone) and a module size in pixels. No Reed-Solomon
// correction: the error-correction codewords are sorted into their blocks and left unused.

// One error-correction block: bits of its data and check codewords, 8 per codeword.
class CodeBlock {
 public:
  CodeBlock(int c, int k, int r);
  void clear();
  // Append one codeword (its 8 bits, or fewer for a last short piece); false when full.
  bool pushData(const std::vector<uint16_t>& codeword);
  bool pushError(const std::vector<uint16_t>& codeword);

  int k;        // data codewords
  int ecCount;  // check codewords (c - k)
  int r;        // correctable errors
  std::vector<uint16_t> data, ec;
  int dataPushed = 0, ecPushed = 0;
};

// The block layout of one version and level. A version outside 1..40 or a level outside 0..3
// gives an empty layout (no codewords, no blocks).
class CodeData {
 public:
  CodeData(int version, int ecLevel);

  int total = 0;          // codewords of the symbol
  int dataCodewords = 0;
  int ecCodewords = 0;
  int blockCount = 0;
  std::vector<std::unique_ptr<CodeBlock>> blocks;  // first group, then the second (c + 1, k + 1)
  int spare = 0;

  // [version - 1][level: M, L, H, Q] = {total codewords, blocks of the first group, codewords
  // per block c, data codewords per block k, correctable errors r}.
  static const int16_t CODE_BLOCK_CHARACTERISTIC[40][4][5];
};

// One segment mode. read_data takes the bits after the mode indicator; *len is the capacity
// on entry and the characters written on return. Results: 1 complete, 0 cut at the capacity
// (or nothing could be written), -1 malformed (count or data past the end of the bits, a
// group out of its range): the symbol then gives no text.
class ECIDecoder {
 public:
  ECIDecoder(int mode, int bitsPerGroup, int charsPerGroup, int bytesPerChar);
  virtual ~ECIDecoder() = default;
  virtual int get_read_length() = 0;
  int decode(int version, const std::vector<uint16_t>& bits, char* out, unsigned short* len);
  // Width of the character count indicator; 0 for a version outside 1..40.
  virtual int get_character_count(int version) = 0;
  virtual int read_data(int version, const std::vector<uint16_t>& bits, char* out, unsigned short* len);

  int mode;
  int charCount = 0;
  std::string name;
  int bitsPerGroup, charsPerGroup, bytesPerChar;
  int spare = 0;
  int readLength = 0;  // bits consumed after the mode indicator (count indicator included)

 protected:
  // Reads the count indicator; false (with *len = 0) when the bits end inside it.
  bool readCount(int version, const std::vector<uint16_t>& bits, unsigned short* len);
  // Reads one group from bit `pos` (moved past it) for `left` characters still to come,
  // appending its text; false when the bits end inside it or its value is out of range.
  using GroupReader = std::function<bool(size_t& pos, int left, std::string& text)>;
  // The count, then groups until the declared count is made; the result as for read_data.
  int readSegment(int version, const std::vector<uint16_t>& bits, char* out, unsigned short* len,
                  const GroupReader& group);
  // Count-indicator width of a mode column (0 numeric .. 3 Kanji); 0 outside 1..40.
  static int countBits(int version, int column);
  static const int CHARACTER_COUNTS[40][4];
};

class NumericalDecoder : public ECIDecoder {
 public:
  NumericalDecoder();
  int get_read_length() override { return readLength; }
  int get_character_count(int version) override;
  int read_data(int version, const std::vector<uint16_t>& bits, char* out, unsigned short* len) override;
};

class AlphanumericDecoder : public ECIDecoder {
 public:
  AlphanumericDecoder();
  int get_read_length() override { return readLength; }
  int get_character_count(int version) override;
  int read_data(int version, const std::vector<uint16_t>& bits, char* out, unsigned short* len) override;
};

class ByteDecoder : public ECIDecoder {
 public:
  ByteDecoder();
  int get_read_length() override { return readLength; }
  int get_character_count(int version) override;
  int read_data(int version, const std::vector<uint16_t>& bits, char* out, unsigned short* len) override;
};

// Kanji characters come out as their two Shift JIS bytes, high byte first.
class KanjiDecoder : public ECIDecoder {
 public:
  KanjiDecoder();
  int get_read_length() override { return readLength; }
  int get_character_count(int version) override;
  int read_data(int version, const std::vector<uint16_t>& bits, char* out, unsigned short* len) override;
};

class Symbol {
 public:
  Symbol();
  ~Symbol();
  Symbol(const Symbol&) = delete;
  Symbol& operator=(const Symbol&) = delete;

  // Module counts and module size from `image` and `moduleSize`; false when no QR size fits.
  bool init();
  // Full decode into out (no NUL); *len is the capacity on entry and the text length on
  // return (0 when nothing was read). 0 only for a null out or len.
  bool getCodeWords(char* out, unsigned short* len);
  // 1 for a dark module; a sample outside the image reads as light.
  int get(int row, int col);
  void set_version(int v) { version = v; }
  int decode_version();            // -1 when neither copy holds a valid code
  int decodeFormatInformation();   // the 5 format data bits, -1 when neither copy is valid
  void setECC_Mask();
  int getMaskInfo() { return mask; }
  char getECCInfo() { return eccLetter; }
  bool isMasked(unsigned long row, unsigned long col);
  bool isReservedArea(unsigned short col, unsigned short row, unsigned short offset);
  bool isAlignmentPattern(int row, int col);
  // Sorts the codewords into blocks and decodes the data segments; *len as for getCodeWords.
  bool decode(const std::vector<uint16_t>& bits, char* out, unsigned short* len);
  static int round(double x);

  IplImage* image = nullptr;  // not owned; dark = value below 128
  uint16_t cols = 0, rows = 0;
  int32_t version = 0;
  int32_t formatInfo = 0;
  char eccLetter = 0;
  int32_t ecLevel = 0;  // 0 M, 1 L, 2 H, 3 Q
  int32_t mask = 0;
  std::vector<uint16_t> bits;  // data-region modules in placement order, unmasked
  std::unique_ptr<CodeData> codeData;
  std::unique_ptr<ECIDecoder> decoder;  // decoder of the last segment
  double moduleSize = 1.0;

  static const int MODULE_SIZE[40];
  // [version - 1] = {version, alignment centre positions..., -1 for none}.
  static const int VERSION_QR[40][8];
  // {15-bit masked format code, 5-bit format data}.
  static const int FORMAT_INFO_DECODE_LOOKUP[32][2];
  static const int N_FORMAT_INFO_DECODE_LOOKUPS = 32;
  // The 18-bit version codes of versions 7..40.
  static const int VERSION_DECODE_INFO_QR[34];
  static const int N_VERSION_DECODE_INFOS_QR = 34;
};

// Copies min(n, text length) characters of text into out (no NUL) and sets *len to what was
// copied. n is cut to capacity - 1 when it does not fit (result 0), else the result is 1; a
// null out or len, or a capacity of 0, gives 0 and copies nothing.
bool CopyInResQR(const std::string& text, int n, char* out, unsigned short* len);
int power(int base, int exponent);
// The character of index 0..44 of the alphanumeric set "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ
// $%*+-./:", 0 outside it.
char AlphabeticNumericChars(int index);

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
// the locator and the last two to verify it: up to nSynd / 2 errors, or with f codewords outside
// 0..928 (erasures, places known) f erasures and e errors while f + 2e <= nSynd. Returns the
// number of codewords changed, or -1 (n above 928, more errors than it can locate, a
// correction that does not zero every syndrome).
int CorrectErrs(int* cw, int n, int nSynd);

// Decodes the n codewords of one symbol (data then checks, -1 where a codeword was not read)
// into text for level L: corrects them in place, then walks text, byte and numeric compaction;
// Macro PDF417 controls come out as "\928", "\922", "\923" sequences. Returns the text length
// (text NUL-terminated), or 0 when the symbol cannot be corrected or decoded or the text and
// its terminator do not fit maxChars bytes.
int AnalyzeRuns(int n, int* codewords, char* text, int level, unsigned short maxChars);

// One symbol row as the reader measured it: first and last scan line, height in lines.
struct datiRigheType {
  int first;
  int last;
  int height;
};

// Reads one PDF417 symbol from a grey zone image (dark bars on light paper). Returns the text
// length with text and conf (100 for every character) NUL-terminated, 0 when nothing was read
// (both emptied), or -1: null buffers (last result -3), cleaning or allocation failure (-4).
int ReadPdf(PVKImg img, char* text, char* conf, unsigned short maxChars);
// The skew of the symbol between columns left and right of a cleaned image, in radians; 0
// when it cannot be measured.
float CalcolaAngoloPDF(PVKImg* img, int left, int right);
// Reads the symbol of a straightened, cropped image whose rows are given relative to its
// first line; startFound is set when a start pattern was seen. Length, 0 or -1.
int Cerca_Pdf417(PVKImg* img, datiRigheType* rows, int nRows, char* text, char* conf,
                 bool& startFound, unsigned short maxChars);
// The character of the 8 runs from runs[index]: 1000 start, 1001 stop (startStop set), else
// the codeword value of the cluster (0, 1, 2 for clusters 0, 3, 6); -1 when none matches.
int decodPdf417(int* runs, int index, int startStop, int cluster);
// The run lengths (samples x 68) between the edges of one line of n samples, from its first
// rising edge; 0 for more than 1022 runs.
int SampleRow(int* runs, int* edges, int n);
// Thins the edges of one line so that each codeword column spans 8 runs where it can; 1, or 0
// for bad arguments or more than 62 columns.
int pulisciPdf417(int* edges, int* columnStarts, int columns, int n);

namespace pvk::symbols {

// What the reader knows of one symbol while it reads its rows: positions in half-pixel
// samples of the whole-width edge signal.
struct PdfScan {
  int start = -1;          // the start pattern's first rising edge
  int end = 0;             // the last sample that belongs to the symbol
  int width = 0;           // one codeword
  bool hasStop = false;
  int dataColumns = 0;
  int expectedRuns = 0;    // runs of a complete scan line
  int level = -1;          // largest error-correction level the indicators gave
  std::vector<int> boundaries;  // column starts: start pattern, left indicator, data columns...
  std::vector<int> signal, work, edges, runs;
  std::vector<uint8_t> band;    // a sheared band of lines
  std::vector<int> matrix;      // codewords row after row, -1 where none was read
  int count = 0;
  // What the row indicators of the scan lines said: the symbol's rows in two parts, (rows - 1)
  // / 3 and (rows - 1) % 3, and how many lines had their row group where the rows found put
  // them counted from the top (forward) or from the bottom (a symbol upside down).
  int rowVotes[30] = {};
  int rowRestVotes[3] = {};
  int forward = 0, backward = 0;
  int symbolRows = 0;           // the rows the indicators are checked against (0: those found)
  bool shearRows = false;       // rows left incomplete are scanned along sloping lines too
  int shear = 0;                // the slope (pixels across the symbol) that last completed a row
};

// The rows of a second reading of a symbol that read nothing, after what its row indicators
// said: bottom up for a symbol upside down; checked against the rows they count when these are
// more than were found (sets symbolRows); that many laid evenly over those found when fewer.
std::vector<datiRigheType> secondLayout(const datiRigheType* rows, int nRows, PdfScan& s);
// The runs of `lines` lines from `top` as one scan line in s.runs, cleaned to fit the columns
// (or read column by column); false when they give nothing to read.
bool pdfScanLine(PdfScan& s, const PVKImg* img, int top, int lines);
// Reads the symbol line by line, each line's codewords going to the row its row indicator
// names: rows too low to be told apart by their boundaries, or sloping across one another, are
// read so. The text length, or 0.
int readByLines(PVKImg* img, PdfScan& s, char* text, unsigned short maxChars);
// Reads every row into the codeword matrix and the matrix into text; the text length, or 0.
int readRows(PVKImg* img, const datiRigheType* rows, int nRows, PdfScan& s, char* text, unsigned short maxChars);

// The 8 runs (in samples) between the 9 edges beyond +-edge from sample `at` of an edge signal
// of n samples, forwards or backwards (then runs stay in left-to-right order); their span, or
// -1 when the signal ends first.
int pdfCollectRuns(const int* e, int n, int at, int edge, bool forward, int* runs);
// The first start pattern at or after sample `from`: its first rising edge above `strong`, its
// runs and span; -1 when there is none.
int pdfFindStart(const int* e, int n, int from, int strong, int edge, int* runs, int& span);
// The lines [top, bottom) of a cleaned image that the start pattern at `start` spans, with the
// blank paper just above and below it; false when its bar is not ink on paper along them.
bool pdfStartLines(const PVKImg& img, int start, const int* runs, int& top, int& bottom);
// The lines of the first start pattern of a cleaned image that is ink on paper; false when
// there is none, and so no symbol.
bool pdfSymbolLines(const PVKImg& img, int& top, int& bottom);
// Whether the edge signal of some band of `lines` lines of a cleaned image shows a start
// pattern (the signal's test alone, not the pixels' check that pdfSymbolLines adds).
bool pdfStartSeen(const PVKImg& img, int lines);
// How many lines of a cleaned image, up to `enough`, cross a start or a stop pattern, each line
// read on its own: a pattern leaning with its symbol keeps its widths along a line.
int pdfPatternLines(const PVKImg& img, int enough);

// The most rows a symbol's row profile may show; a caller's row array holds one more.
constexpr int kPdfMaxRows = 148;
// The columns [left, right] of a cleaned image that the symbol spans: the first long run of
// columns bright enough down the image, without the marks a wide gap leaves beyond it; false
// when there is none.
bool pdfFindExtent(const PVKImg& img, int& left, int& right);
// Row boundaries from the difference of each line with the line `lag` below: the rows relative
// to the first one (which is line `base`) in rows (kPdfMaxRows entries at least), the mean row
// height in meanHeight. The number of rows, 0 when the profile shows fewer than 2 or more than
// kPdfMaxRows boundaries.
int pdfFindRows(const PVKImg& img, datiRigheType* rows, float& meanHeight, int& base, int lag);

// One trace line of the PDF417 reader: the tag ("err - ", "war - " or "") and the text, with
// " %d" of the value when one is given.
void pdfTrace(const char* tag, const char* text);
void pdfTrace(const char* tag, const char* text, long value);

}  // namespace pvk::symbols

// Reads row r into the codeword matrix of the scan from its best scan lines; the number of
// codewords stored (the data columns), or 0.
int AnalizzaRigaPdf(const PVKImg* img, const datiRigheType* rows, int r, int nRows,
                    pvk::symbols::PdfScan& scan);

// t1..t6 of each codeword value (4 bits each, t1 highest) for clusters 0, 3 and 6.
extern const uint64_t tabPdf417[3][929];
// Text compaction submodes alpha, lower, mixed, punctuation: a character, or 0xFF/0xFE/0xFD/
// 0xFC latch to lower/mixed/punctuation/alpha, 0x9A shift to alpha, 0x9B to punctuation.
extern const unsigned char txtSubmMap[4][30];

// ---- Corner choice of the 2D symbol outlines (DataMatrix and QR entries) --------------------

// Names the four points of an outline's minimum-area box (in box order, angle in [-90, 0))
// as c[0] top-left, c[1] top-right, c[2] bottom-right, c[3] bottom-left for the upright warp.
// Ties between points that share a truncated row or column go as the locators expect.
void ChooseSymbolCorners(const cv::Point2f p[4], cv::Point2f c[4]);
// Moves the chosen corners outward by m pixels on both axes when every one stays strictly
// inside a width x height image; true when they moved.
bool GrowSymbolCorners(cv::Point2f c[4], float m, float width, float height);

// ---- DataMatrix: Reed-Solomon codec over GF(2^m) and block correction -----------------------

// A Reed-Solomon code over GF(2^m), m = 2..16, with erasures. Symbol i of a code word is the
// coefficient of x^i: the parity symbols are x^0 .. x^(NN-KK-1), data symbol j is x^(NN-KK+j).
class cReedSolomonCodec {
 public:
  cReedSolomonCodec() = default;
  // Init(m, nroots, 1, 1).
  cReedSolomonCodec(int m, int nroots);
  // Builds the field, the generator polynomial and, for the CCSDS code (m 8, 32 roots, fcr 112,
  // prim 11), the dual-basis tables; 1, or 0 for an m, a root count or a step it cannot take.
  int Init(int m, int nroots, int fcr, int prim);
  void Clear();
  // x modulo NN by repeated shift-and-add.
  int modnn(int x) const;
  // Corrects one code word given as KK data and NN-KK parity symbols; `erasures` holds symbol
  // positions (exponents as above). Writes min(KK, outSize) corrected data symbols to `out`.
  // Returns the number of symbols corrected, or -1 when the word cannot be decoded.
  // `used` > 0 says the word is shortened: only its first `used` symbols (parity first) can be
  // wrong, the others are the shortening's zeros. Without erasures, errors are then sought there
  // alone: a solution placing one elsewhere is refused by the caller anyway.
  int Decode(const int* data, const int* parity, const int* erasures, int nErasures, int* out, int outSize,
             int used = 0);

  int mm() const { return MM; }
  int nn() const { return NN; }
  int kk() const { return KK; }
  const std::vector<int>& alphaTo() const { return Alpha_to; }
  const std::vector<int>& indexOf() const { return Index_of; }

 private:
  void generate_gf();
  void gen_poly();
  void gen_ltab();
  int syndromes(const std::vector<int>& rec, std::vector<int>& s) const;
  // The error positions where the locator lambda (plain values, degree degLambda) vanishes:
  // over the whole code, or over its first `used` positions.
  std::vector<int> roots(const std::vector<int>& lambda, int degLambda) const;
  std::vector<int> rootsAmong(const std::vector<int>& lambda, int degLambda, int used) const;

  // alpha^(a + b) for 0 <= a + b < 2 NN, without reducing the sum.
  int expOfSum(int a, int b) const { return Exp2[a + b]; }

  int MM = 0, NN = 0, KK = 0, B0 = 0, PRIM = 1, A0 = 0, Ldec = 1;
  bool ccsds = false;
  std::vector<int> Pp, Alpha_to, Index_of, Gg;
  std::vector<int> Exp2;        // Alpha_to twice over: index 0 .. 2 NN - 1
  std::vector<uint8_t> SynMul;  // m <= 8: per root j, v times alpha^root(j) for every v
  std::vector<unsigned char> taltab, tal1tab;
};

// Corrects one DataMatrix block of n codewords (data then nroots check codewords) as a code of
// length 255 shortened by the missing symbols; the result (corrections, or -1) is also kept.
int ReedSolomonForDataMatrix(const unsigned char* codewords, int n, int nroots);
// Whether the last block correction succeeded.
bool WasDecodable();
// The n = count - nroots data codewords of the last block after correction; null when n < 1.
std::unique_ptr<unsigned char[]> GetCorrectedCodewords(int& n);
// Total check codewords of a square ECC200 symbol by its row count; 0 for other counts.
int GetNoOfErrorCorrectionWords(int rows);

// ---- DataMatrix: module sampling and decodation ----------------------------------------------

// One row of the symbol sizes read: {rows, columns, region data rows, region data columns}.
struct DmVersion {
  int rows, columns, regionRows, regionColumns;
};
// {data codewords, blocks, check codewords}, totals of the symbol.
struct DmBlocks {
  int data, blocks, check;
};
constexpr int kDmVersions = 21;
extern const DmVersion VERSION[kDmVersions];
extern const DmBlocks CODE_BLOCK_CHARACTERISTIC[kDmVersions];

// ANSI X12 and Base 256 decodation, and the 255-state unrandomising of Base 256.
class Decoder {
 public:
  // Each takes the codewords after the latch (`cw`, `count`) and the 1-based place of cw[0] in
  // the symbol; `used` receives the codewords consumed. 1 decoded, 0 failure.
  int decodeANSIX12(const unsigned char* cw, int count, std::string& out, unsigned short capacity, int& used);
  int decodeBASE256(const unsigned char* cw, int count, int firstPosition, std::string& out,
                    unsigned short capacity, int& used);
  static int unrandomizing255state(int value, int position);
};

// The sampler and decoder of one located, binarised symbol (modules 0, background 255).
class parseImageDM {
 public:
  parseImageDM();
  // A fresh sampler that takes only the measured module sizes and sampling origin of `m`.
  static parseImageDM withMeasures(const parseImageDM& m);

  // Measures the grid of `bin` (not owned, must outlive the sampler) and picks the version.
  int setImage(const cv::Mat& bin);
  // 0, or -1 (no version, bad region counts, a module outside the image).
  int extractDataRegion();
  bool readCodewords();
  // 0 decoded (text in out, length set), -3 sample again, -2 failure, -6 too few codewords.
  int getDataBlocks(char* out, unsigned short& length, unsigned short capacity);
  // 1 dark, 0 light, -1 outside the image; column and row 1-based from the sampling origin.
  int get(int column, int row) const;

  // Decodes the corrected data codewords of a symbol (cw[0] is its first codeword) into text;
  // false on a bad codeword or a failing segment.
  static bool decodeCodewords(const unsigned char* cw, int count, std::string& text, unsigned short capacity);

  int version = -1;
  uint16_t columns = 0, rows = 0;
  const cv::Mat* image = nullptr;
  double moduleHeight = 1.0, moduleWidth = 1.0;
  uint8_t mapping[52][52] = {};
  std::vector<unsigned char> codewords;
  uint16_t mappingColumns = 0, mappingRows = 0;
  Decoder decoder;
  uint16_t rowOffsetReset = 0, colOffsetReset = 0, rowOffset = 0, colOffset = 0;
  uint16_t startRow = 0, startCol = 0, sampleRow = 0, sampleCol = 0;

 private:
  int correctBlocks(std::vector<unsigned char>& data);
  int resample();
};

// The result copy: zeroes `capacity` bytes of out and copies the n characters when n + 1 fit
// (len = n), else leaves it empty (len = 0); a null out gives len = 0.
void CopyInRes(const std::string& text, int n, char* out, unsigned short capacity, unsigned short& len);

// ---- DataMatrix: locator and reader entry ----------------------------------------------------

// The locator of one binarisation attempt: finds the solid L edges, crops and binarises the
// symbol and measures its module size into the sampler it holds.
class imageReaderDM {
 public:
  // adjust with tolerance 0, 1, 2: the first binary symbol image found, else empty.
  cv::Mat adjustImage(const cv::Mat& img, int threshold);
  cv::Mat adjust(const cv::Mat& img, int threshold, int tolerance);
  // What adjustImage binarises: the grey symbol cropped at the first tolerance that finds it,
  // else empty. It does not depend on the threshold, so one crop serves a whole threshold list.
  cv::Mat locateSymbol(const cv::Mat& img);
  int findDataMatrix(int tolerance, const cv::Mat& img);
  int findDataMatrixTirna(int tolerance, const cv::Mat& img);
  cv::Mat transformImage(int threshold, const cv::Mat& img);
  // The grey crop of the corners' quadrilateral, upright; empty (traced) when it has no pixels.
  cv::Mat cropSymbol(const cv::Mat& img);
  bool findPixelSize(const cv::Mat& bin);
  bool findStartings(const cv::Mat& bin);
  static double checkRatio(const int* runs, int last);

  float corners[8] = {};  // top-left, bottom-left, bottom-right, top-right (x, y)
  parseImageDM parser;

 private:
  struct EdgeScans;
  int findDataMatrix(int tolerance, const cv::Mat& img, const EdgeScans& scans);
  // The corners at one tolerance (from the scans when given); false when the symbol is not found.
  bool locate(const cv::Mat& img, int tolerance, const EdgeScans* scans);
};

bool checkVariance(double mean, const int* runs, int tolerance, int last);

// The outline of the symbol: blur, threshold (Otsu when threshold is 0, written back), erode,
// dilate and the largest fitting contour; appended to `found`.
bool findImgContoursDM(const cv::Mat& img, std::vector<std::vector<cv::Point>>& found, double& threshold, int dpi,
                       int blur);

// Reads one DataMatrix symbol from a grey zone image. On entry len is the capacity of out.
// The text length (> 0), 0 when nothing was read (len 0), -1 for a bad argument or a failure.
int PDataMatrixDecode(PVKImg* img, char* out, unsigned short& len);

namespace pvk::symbols {
// The binarisation thresholds the entry tries for one outline threshold t: runs down and up
// from t / 2 in steps of 10, 5, 3 and 1, at most 29 entries, repeats kept.
std::vector<int> dmThresholdList(int t);
// Whether the rows of the grey symbol crop binarised at v (dark: at or below v) give the module
// width: a row whose regular runs number as many as its width in modules, or a group of ten
// regular runs.
bool dmRowsGiveWidth(const cv::Mat& crop, int v);
// The first pixel of line[i..n) that is dark (below 128), or light; n when there is none.
int nextDark(const uint8_t* line, int i, int n);
int nextLight(const uint8_t* line, int i, int n);
// The image transposed (columns read as rows, in memory order).
cv::Mat transposed(const cv::Mat& src);
// The dark/light changes asked of each side opposite a located symbol's L: well below the 7 the
// shortest side of the smallest symbols shows on a clean edge, so a damaged edge still passes.
constexpr int kDmTimingChanges = 4;
// Whether the grey symbol crop binarised at v (dark: at or below v) shows a timing pattern on
// both sides opposite its L: kDmTimingChanges dark/light changes or more along one of the three
// rows nearest the top and along one of the three columns nearest the right.
bool dmTimingAt(const cv::Mat& crop, int v);
}  // namespace pvk::symbols

namespace pvk::symbols::dm {
// What the entry's passes over outlines share with the threshold lists each try runs.

// Failure counts towards giving a list up; Counted only adds to the count.
enum class Outcome { Failure, Counted, Skipped, Left, Accepted };

// What an attempt on one binary symbol image came to: the same bytes always come to the same,
// so a binary image met again (the threshold lists repeat values, and neighbouring thresholds
// often cut a sharp symbol alike) is answered from here instead of measured and sampled again.
class TriedBinaries {
 public:
  struct Result {
    Outcome outcome;
    bool decoded;  // it got as far as sampling codewords
  };
  const Result* find(uint64_t k) const {
    const auto it = results_.find(k);
    return it == results_.end() ? nullptr : &it->second;
  }
  void add(uint64_t k, Result r) { results_.emplace(k, r); }

  // The image's size and bytes hashed.
  static uint64_t key(const cv::Mat& b);

 private:
  std::unordered_map<uint64_t, Result> results_;
};

// A binary symbol image measured: whether its grid was measured and a version picked, and the
// sampler so set before its first sample. The first look over a list measures each image and
// samples it at the origin; the full pass samples it again from there, or after the origin when
// the first look's sample there ended in a failed correction (which writes nothing).
struct Measured {
  bool ok = false;
  parseImageDM sampler;
  bool resume = false;  // the first sample failed correction: go on from the origins below
  uint16_t rowOffset = 0, colOffset = 0, sampleRow = 0, sampleCol = 0;
};

// The working state of one entry call.
struct Reading {
  Reading(const PVKImg& i, char* o, unsigned short c) : img(i), out(o), capacity(c) {}
  const PVKImg& img;
  char* out;
  unsigned short capacity;
  cv::Mat image;
  cv::Mat blurred;  // the outline search's blur of the image, the same on every try
  cv::Mat shaped;   // the blur eroded and dilated as every try's binary image is
  int table[32] = {};
  cv::Point2f prev[4] = {};
  bool squarePass = false;
  bool symbolSeen = false;
  cv::Mat stored;  // the last binary symbol image processed
  int counter = 0;
  TriedBinaries tried;
  std::unordered_map<uint64_t, std::unique_ptr<Measured>> measured;
  cv::Mat bin;  // the outline search's binary image, its memory kept from try to try
  // What each outline search asked and found: the square pass asks the first pass's thresholds
  // of the same images again.
  struct OutlineTry {
    double asked, threshold;
    bool found, hole;
    std::vector<cv::Point> outline;
  };
  std::vector<OutlineTry> outlines;
  // The symbol each upright warp gave the locator, by its corners and size: the square pass
  // warps a square outline alike, and tries at other thresholds often find the same outline.
  struct UprightTry {
    cv::Point2f corners[3];
    int width, height;
    cv::Mat crop;
  };
  std::vector<UprightTry> uprights;
};

// A pixel of src above t as `above`, the others as 255 - `above`, into dst (made src's size).
void thresholdInto(const cv::Mat& src, cv::Mat& dst, int t, uint8_t above);
// The threshold list of one try, each entry one candidate binarisation of the symbol cropped
// from the try's upright image (empty: none was found); the accepted length, or 0.
int runList(Reading& st, const cv::Mat& crop, int top);
}  // namespace pvk::symbols::dm

// Angle between two integer vectors from p0; kept for the geometry of tilted symbols.
double angle(cv::Point p1, cv::Point p2, cv::Point p0);

// ---- QR: locator and reader entry -------------------------------------------------------------

// Zone font 37: returns 0 with `out` empty and `len` unchanged: no text is read, and with no
// decoder to take it the symbol is not looked for. -1 with a trace for a null `out` or `len` 0
// ("QrCode - invalid parameter", `len` set to 0) and for a null image or pixels ("DataMatrix -
// null pointer").
int PQrCodeDecode(PVKImg* img, char* out, unsigned short& len);
// Appends the outline of the largest dark blob (eroded and dilated less and less until one
// fits) to `found`. A threshold of 0 asks for Otsu's, written back.
bool findImgContoursQRCode(cv::Mat& img, std::vector<std::vector<cv::Point>>& found, double& threshold);
// Clockwise order about the centre for the code-area corners: 1 when b lies at a larger angle
// than a, -1 when at a smaller one, 0 on a tie (a, b: cv::Point; centre: cv::Point2f).
int seq_cmp_by_clockwise(const void* a, const void* b, void* centre);

// The QR locator: three finder patterns by contours and their 1:1:3:1:1 runs, the code area,
// its perspective, a binary code image and the module size, for the symbol model it holds.
// Images are held as matrices; IplImage views of them are handed out and stay valid until the
// next adjustImage or the reader's end.
class imageReader {
 public:
  imageReader();
  imageReader(int width, int height, int depth, int channels);
  ~imageReader();
  imageReader(const imageReader&) = delete;
  imageReader& operator=(const imageReader&) = delete;

  // setImage(img), then adjust; `found` is set (never cleared) when three finders were seen.
  // The code image (grey, square, perspective corrected) or null. Never throws.
  IplImage* adjustImage(IplImage* img, bool& found, int blockSize, int param);
  IplImage* adjust(int blockSize, int param);
  // Boxes of the contours that hold exactly two others and are nearly square.
  const std::vector<cv::RotatedRect>& findFinderPattern(const cv::Mat& img, double minArea, double minFill,
                                                        double minAspect);
  // The code-area polygon (empty when none).
  const std::vector<cv::Point>& findContourCodearea(double epsilon);
  cv::Rect transformImage();
  void createBinaryImg();
  // Module size of the symbol from finder runs on the binary code image.
  void find();
  bool checkRatio(int* runs);
  // symbol's image = img, find(), then Symbol::init.
  bool initialize(IplImage* img);
  IplImage* setImage(IplImage* img);
  void allocateImage(int width, int height, int depth, int channels);
  void release_image();
  // A view of the binary code image (modules 0, background 255), null before a code was made.
  IplImage* binaryCodeImage();

  uint8_t found = 0;
  cv::Mat source, binary, code, work;
  cv::Mat binaryCode, binaryCode2;  // one image: the binary code
  std::vector<cv::RotatedRect> finders;
  std::vector<cv::Point> codeArea;
  cv::Point codeCorners[4];
  cv::RotatedRect finderBoxes[3];
  Symbol symbol;

 private:
  void init();
  IplImage codeView{}, binaryView{};
};

// ---- Linear barcodes -------------------------------------------------------------------------
// A zone (fonts 7 and 300..310) is cleaned, scanned whole and in ever thinner strips; each scan
// band becomes an edge signal whose strong edges bound the elements (bars and spaces) of a run;
// every plausible run goes through the symbologies the font allows; the readings of all passes
// are merged by position into one list, readings separated by a blank of confidence 100.

// One element of a run: its width in signal samples (half pixels) since the previous strong
// edge, the sample index of the edge that ends it, and that edge's signed strength.
struct _TipoBarre {
  uint32_t width;
  uint32_t position;
  int32_t edge;
};
constexpr int kMaxBarre = 3000;         // elements of one run
constexpr int kMaxBarcodeChars = 511;   // characters one run may add to a result list

// The confidence of every character of a reading whose check passes / fails; the strip passes
// set them and the quality score of each run replaces them (initially 100 and 20).
extern signed char Confidence_ChecSumOK;
extern signed char Confidence_ChecSumKO;

// Pattern tables (generated from an independent encoder's modules: linear_tables.cpp).
struct Code39Row {
  int32_t pattern;  // 9 elements, element 0 in the most significant bit, 1 = wide
  char ch;
  int8_t value;     // check value
};
struct CodabarRow {
  int32_t pattern;  // 7 elements
  char ch;
  int32_t value;
};
struct Code93Row {
  int32_t key;      // base-4 number of the four distances less 2
  int32_t ch;       // '(' ')' '[' ']' stand for ($) (%) (/) (+), '!' for start/stop
  int32_t value;
};
struct tab128str {
  unsigned char setA;  // 0: the value outputs nothing in set A
  unsigned char setB;
  uint16_t setC;       // the value for 0..99
  int32_t value;
  int32_t key;         // t1 x 512 + t2 x 64 + t3 x 8 + t4, distances in modules
  int32_t barModules;
};
constexpr int kCode39Rows = 44;
constexpr int kCodabarRows = 20;
constexpr int kCode93Rows = 48;
constexpr int kTab128Rows = 107;
extern const Code39Row kCode39Table[kCode39Rows];
extern const CodabarRow kCodabarTable[kCodabarRows];
extern const Code93Row kCode93Table[kCode93Rows];
extern const tab128str Tab128[kTab128Rows];

// Runs the symbologies of the zone's font (MyOcr.currentFont: 7 every enabled one, 300..310
// their own) on a run of count elements of the cleaned image img; each reading is merged into
// the list text/conf/start/length of maxChars entries (at most 511 used). Returns the list's
// character count. Sets *retryHint when the run looks like a barcode worth more passes.
int decodificaBarcode(int count, _TipoBarre* bars, char* text, char* conf, unsigned short* start,
                      unsigned short* length, int maxChars, const PVKImg* img, bool* retryHint);

// Finders: widths are element widths x 10; each writes a NUL-terminated text and its
// confidences and returns the character count (0: no reading); `check` tells whether the
// reading's check characters verified (Code 39: or its stop was found).
int Cerca_Codice_39(const int* w, int count, char* text, char* conf, bool& check, bool& startFound);
int Cerca_Codice_25(const int* w, int count, char* text, char* conf, bool& check, int height, int runLength);
int Cerca_Codice_128(const int* w, int count, char* text, char* conf, bool& check);
int Cerca_Codice_CODABAR(const int* w, int count, char* text, char* conf, bool& check);
int Cerca_Codice_93(const int* w, int count, char* text, char* conf, bool& check);
int Cerca_Codice_EAN8(const int* w, int count, char* text, char* conf, bool& check, int height);
int Cerca_Codice_EAN13(const int* w, int count, char* text, char* conf, bool& check);
int Cerca_Codice_UPCA(const int* w, int count, char* text, char* conf, bool& check);
int Cerca_Codice_UPCE(const int* w, int count, char* text, char* conf, bool& check);

// EAN/UPC mod-10 check of the digit at n against digits 0..n-1: 1 when it matches; 0 when it
// does not, when n < 2 or when a character at 1..n-1 is below '0'.
int Calcola_Check(const char* digits, int n);
// Guard test of k elements from first: mean = their mean width; every sum of two neighbours
// must lie in [1.5 mean, 2.5 mean].
bool Testa_CONTR_EAN_UPC(const int* widths, int first, int k, int& mean);

// The edge signal of an image (2 x width + 16 ints, malloc'd, the caller frees it) and its
// threshold; from = 0, to = 2 x width. Null when the image holds too few edges.
int* CalcolaSumPixY2(const PVKImg* img, int& threshold, int& from, int& to);
// The elements of the window [from, to): 1 when it ran (count 0 when fewer than 6), 0 when the
// window holds no barcode.
int CercaBarre(int* signal, int& threshold, _TipoBarre* bars, int& count, int from, int to);
// Trims quiet zones and stray marks: 1 when a run of at least 7 elements remains.
int AnalizzaBarre(_TipoBarre* bars, int& count);
// Every barcode along one image (or strip) into the list; the characters placed, 0 for none,
// -1 for a null image.
int ReadBarCode0(const PVKImg* img, int maxChars, char* text, char* conf, unsigned short* start,
                 unsigned short* length, bool* retryHint);

// The linear barcode reader of a zone: the characters of its readings (blank-separated, NUL
// terminated, at most maxChars - 1 of them), 0 when none or the zone is unusable, -1 without
// memory. conf receives one confidence per character.
int ReadBarCode(PVKImg img, char* text, char* conf, unsigned short maxChars);
// The whole-image pass and the strip passes on a cleaned image; the merged count.
int ReadBarCode1(PVKImg* img, int maxChars, char* text, char* conf, unsigned short* start, unsigned short* length,
                 bool* retryHint);
// Merges a new list into the kept one (count of limit entries at most), by position.
void AggiornaBest(char* text, char* conf, unsigned short* start, unsigned short* length, int* count, int limit,
                  const char* newText, const char* newConf, const unsigned short* newStart,
                  const unsigned short* newLength, int newCount);
// Inserts the new reading that begins at j at position at; 1, or 0 without memory or room.
// The list holds limit entries (text and conf NUL-terminated within them).
int AggiungiBarCode(char* text, char* conf, unsigned short* start, unsigned short* length, int at, int* count,
                    int limit, const char* newText, const char* newConf, const unsigned short* newStart,
                    const unsigned short* newLength, int j);
// Removes the reading of n characters at at (and the separator after it, unless it is last).
void RimuoviBarCode(char* text, char* conf, unsigned short* start, unsigned short* length, int at, int n,
                    int* count);
// Removes every reading found whole inside a surer, longer reading of the list; the new count.
int DropPieces(char* text, char* conf, unsigned short* start, unsigned short* length, int count);
// Marks a fresh reading of n characters beginning at signal sample position.
void SetIniEnd(unsigned short* start, unsigned short* length, unsigned short position, int n);
// Length of the weak run (confidence 19 or less) from pos, 0 when none starts there.
int ChechIfToDelete(int pos, int n, const char* text, const char* conf);
// Code 32: six base-32 Code 39 characters to nine decimal digits; 9, or 0 for an empty text,
// -1 for a character outside the alphabet (vowels included) or a value above 999999999.
int Base32ToBase10(char* text, char* conf);

namespace pvk::symbols {

// A copy of the zone (stride = width) widened by paper on each side that ink touches along an
// eighth of it or more: marginX columns left or right, marginY rows above or below; a zone with
// paper all round is copied as it is. False (out.data null) for an empty image, a result past
// 65535 pixels either way, or no memory. The caller frees out.data.
bool copyOnPaper(const PVKImg& img, int marginX, int marginY, PVKImg& out);
// ReadBarCode0 on the edges of a strip's grey profile (between its extremes) in place of its
// level crossings: for blurred print whose narrow spaces never reach the paper's level. Leaves
// retryHint alone; 0 for a null image.
int readBarCodeByGrey(const PVKImg* img, int maxChars, char* text, char* conf, unsigned short* start,
                      unsigned short* length, bool* retryHint);
// A zone of at most two grey levels (a thresholded picture): no grey lies between its paper and
// its ink, so the cleaning at another grey offset shows its print no differently.
bool twoGreyLevels(const PVKImg& img);
// The paper margin a reader puts around a zone of this resolution: 8 pixels at 300 dpi.
inline int paperMargin(int dpi) { return dpi > 300 ? 8 * dpi / 300 : 8; }

// Closes a finder's reading: n confidences of value c, text and conf NUL-terminated; returns n.
int finish(char* text, char* conf, int n, int c);
// A finder's result n: for 0 the text and conf become empty; returns n.
int noReading(char* text, char* conf, int n);

// While one lives, the print quality of every run found in `img` is scored from the counts of
// bright pixels in each of its columns, counted once (at the first run) rather than once per run.
class BrightColumns {
 public:
  explicit BrightColumns(const PVKImg* img);
  ~BrightColumns();
  BrightColumns(const BrightColumns&) = delete;
  BrightColumns& operator=(const BrightColumns&) = delete;
  // The counts of img's columns, or null when none are kept for it (another image, no memory).
  static const int* of(const PVKImg* img);

 private:
  const PVKImg* img_;
  std::vector<int> counts_;
};

}  // namespace pvk::symbols
