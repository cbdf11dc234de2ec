// Barcode and 2D symbol readers: what the other folders may call. Each symbology keeps its
// section below; everything else of this folder is file-local.
#pragma once

#include <opencv2/core/types_c.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
