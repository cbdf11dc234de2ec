// QR data segments: one decoder per segment mode turns the bits after a mode indicator into
// characters. A segment must hold its whole declared count: one that ends early or holds a
// group outside its range makes the symbol give no text.
#include <algorithm>
#include <functional>

#include "symbols/symbols.h"

namespace {

const char kAlphanumeric[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";

// The next n bits from `pos`, most significant first; false when fewer than n remain.
bool takeBits(const std::vector<uint16_t>& bits, size_t& pos, int n, int& value) {
  if (n < 0 || bits.size() < pos || bits.size() - pos < static_cast<size_t>(n)) return false;
  value = 0;
  for (int i = 0; i < n; ++i) value = (value << 1) | (bits[pos++] & 1);
  return true;
}

}  // namespace

bool CopyInResQR(const std::string& text, int n, char* out, unsigned short* len) {
  if (!out || !len || *len == 0) return false;
  bool whole = true;
  if (n >= *len) {
    n = *len - 1;
    whole = false;
  }
  size_t count = std::min(static_cast<size_t>(std::max(n, 0)), text.size());
  std::copy_n(text.data(), count, out);
  // What was copied, not what was asked: bytes never written are no text.
  *len = static_cast<unsigned short>(count);
  return whole;
}

int power(int base, int exponent) {
  if (exponent == 0) return 1;
  if (exponent == 1) return base;
  int h = power(base, exponent / 2);
  // Wraps like 32-bit unsigned arithmetic rather than overflowing a signed int.
  unsigned r = static_cast<unsigned>(h) * static_cast<unsigned>(h);
  if (exponent % 2) r *= static_cast<unsigned>(base);
  return static_cast<int>(r);
}

char AlphabeticNumericChars(int index) {
  return index >= 0 && index <= 44 ? kAlphanumeric[index] : 0;
}

// ---- The base ---------------------------------------------------------------------------------

// Count-indicator widths of the four modes (numeric, alphanumeric, byte, Kanji) per version.
const int ECIDecoder::CHARACTER_COUNTS[40][4] = {
    {10, 9, 8, 8},    {10, 9, 8, 8},    {10, 9, 8, 8},    {10, 9, 8, 8},    {10, 9, 8, 8},
    {10, 9, 8, 8},    {10, 9, 8, 8},    {10, 9, 8, 8},    {10, 9, 8, 8},    {12, 11, 16, 10},
    {12, 11, 16, 10}, {12, 11, 16, 10}, {12, 11, 16, 10}, {12, 11, 16, 10}, {12, 11, 16, 10},
    {12, 11, 16, 10}, {12, 11, 16, 10}, {12, 11, 16, 10}, {12, 11, 16, 10}, {12, 11, 16, 10},
    {12, 11, 16, 10}, {12, 11, 16, 10}, {12, 11, 16, 10}, {12, 11, 16, 10}, {12, 11, 16, 10},
    {12, 11, 16, 10}, {14, 13, 16, 12}, {14, 13, 16, 12}, {14, 13, 16, 12}, {14, 13, 16, 12},
    {14, 13, 16, 12}, {14, 13, 16, 12}, {14, 13, 16, 12}, {14, 13, 16, 12}, {14, 13, 16, 12},
    {14, 13, 16, 12}, {14, 13, 16, 12}, {14, 13, 16, 12}, {14, 13, 16, 12}, {14, 13, 16, 12},
};

ECIDecoder::ECIDecoder(int m, int bpg, int cpg, int bpc)
    : mode(m), bitsPerGroup(bpg), charsPerGroup(cpg), bytesPerChar(bpc) {}

int ECIDecoder::decode(int version, const std::vector<uint16_t>& bits, char* out, unsigned short* len) {
  return read_data(version, bits, out, len);
}

int ECIDecoder::read_data(int, const std::vector<uint16_t>&, char*, unsigned short*) {
  spare = 0;
  return 0;
}

int ECIDecoder::countBits(int version, int column) {
  return version >= 1 && version <= 40 ? CHARACTER_COUNTS[version - 1][column] : 0;
}

int ECIDecoder::readSegment(int version, const std::vector<uint16_t>& bits, char* out, unsigned short* len,
                            const GroupReader& group) {
  readLength = 0;
  if (!out || !len) return 0;
  if (!readCount(version, bits, len)) return -1;
  const int expected = charCount * bytesPerChar;
  std::string text;
  size_t pos = static_cast<size_t>(readLength);
  while (static_cast<int>(text.size()) < expected) {
    // A group cut short by the end of the bits or out of its range: the segment is malformed.
    if (!group(pos, (expected - static_cast<int>(text.size())) / bytesPerChar, text)) {
      *len = 0;
      return -1;
    }
    readLength = static_cast<int>(pos);
  }
  return CopyInResQR(text, expected, out, len) ? 1 : 0;
}

bool ECIDecoder::readCount(int version, const std::vector<uint16_t>& bits, unsigned short* len) {
  size_t pos = 0;
  int n = get_character_count(version);
  if (n == 0 || !takeBits(bits, pos, n, charCount)) {
    charCount = 0;
    *len = 0;
    return false;
  }
  readLength = n;
  return true;
}

// ---- The four modes ---------------------------------------------------------------------------

NumericalDecoder::NumericalDecoder() : ECIDecoder(1, 10, 3, 1) {}
AlphanumericDecoder::AlphanumericDecoder() : ECIDecoder(2, 11, 2, 1) {}
ByteDecoder::ByteDecoder() : ECIDecoder(4, 8, 1, 1) {}
KanjiDecoder::KanjiDecoder() : ECIDecoder(8, 13, 1, 2) {}

int NumericalDecoder::get_character_count(int v) { return countBits(v, 0); }
int AlphanumericDecoder::get_character_count(int v) { return countBits(v, 1); }
int ByteDecoder::get_character_count(int v) { return countBits(v, 2); }
int KanjiDecoder::get_character_count(int v) { return countBits(v, 3); }

int NumericalDecoder::read_data(int version, const std::vector<uint16_t>& bits, char* out, unsigned short* len) {
  return readSegment(version, bits, out, len, [&](size_t& pos, int left, std::string& text) {
    const int digits = std::min(left, 3), width = left >= 3 ? bitsPerGroup : left == 2 ? 7 : 4;
    int v = 0;
    // A group above its digits' range (999, 99, 9) is no number.
    if (!takeBits(bits, pos, width, v) || v >= power(10, digits)) return false;
    for (int d = digits - 1; d >= 0; --d) text += AlphabeticNumericChars(v / power(10, d) % 10);
    return true;
  });
}

int AlphanumericDecoder::read_data(int version, const std::vector<uint16_t>& bits, char* out,
                                   unsigned short* len) {
  return readSegment(version, bits, out, len, [&](size_t& pos, int left, std::string& text) {
    const bool single = left == 1;
    int v = 0;
    // Above 44 (one character) or 45 * 45 - 1 (a pair) lies outside the character set.
    if (!takeBits(bits, pos, single ? 6 : bitsPerGroup, v) || v >= (single ? 45 : 45 * 45)) return false;
    if (!single) text += AlphabeticNumericChars(v / 45);
    text += AlphabeticNumericChars(single ? v : v % 45);
    return true;
  });
}

int ByteDecoder::read_data(int version, const std::vector<uint16_t>& bits, char* out, unsigned short* len) {
  return readSegment(version, bits, out, len, [&](size_t& pos, int, std::string& text) {
    int v = 0;
    if (!takeBits(bits, pos, bitsPerGroup, v)) return false;
    text += static_cast<char>(v);
    return true;
  });
}

int KanjiDecoder::read_data(int version, const std::vector<uint16_t>& bits, char* out, unsigned short* len) {
  // Every character is two bytes of Shift JIS text.
  return readSegment(version, bits, out, len, [&](size_t& pos, int, std::string& text) {
    int v = 0;
    if (!takeBits(bits, pos, bitsPerGroup, v)) return false;
    int t = (v / 0xC0) * 0x100 + v % 0xC0;
    t += t < 0x1F00 ? 0x8140 : 0xC140;
    text += static_cast<char>(t >> 8);
    text += static_cast<char>(t & 0xFF);
    return true;
  });
}
