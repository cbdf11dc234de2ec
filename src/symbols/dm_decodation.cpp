// DataMatrix decodation: block correction of the sampled codewords, then ASCII with its C40,
// Text, X12, EDIFACT and Base 256 segments, into the text the reader returns.
#include "symbols/symbols.h"

#include "core/records.h"
#include "core/trace.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr char kMacroTrailer[] = "\x1e\x04";
constexpr char kGS = 29;

// The decodation state of one symbol's data codewords.
struct Decodation {
  const unsigned char* cw;
  int count;
  int pos = 0;               // next codeword to read
  std::string& text;
  unsigned short capacity;
  bool upperShift = false;   // the next character gets 128 added
  bool trailer = false;      // a macro header was written: its trailer closes the text
  bool failAtEnd = false;

  void put(int c) {
    if (upperShift) c += 128;
    upperShift = false;
    text.push_back(static_cast<char>(c));
  }
};

// One value of a C40 (set 1) or Text (set 4) triple; false for a value outside the sets.
bool putC40Value(Decodation& d, int set, int& shift, int v) {
  static const char kShift2[] = "!\"#$%&'()*+,-./:;<=>?@[\\]^_";
  if (shift == 0) {
    if (v <= 2) {
      shift = v + 1;
    } else if (v == 3) {
      d.put(' ');
    } else if (v <= 13) {
      d.put('0' + v - 4);
    } else if (v <= 39) {
      d.put((set == 4 ? 'a' : 'A') + v - 14);
    } else {
      return false;
    }
    return true;
  }
  const int s = shift;
  shift = 0;
  if (s == 1) {
    d.put(v);
  } else if (s == 2) {
    if (v <= 26) d.put(kShift2[v]);
    else if (v == 27) d.put(kGS);          // FNC1
    else if (v == 30) d.upperShift = true;
  } else if (set == 4) {
    if (v == 0) d.put('`');
    else if (v <= 26) d.put('A' + v - 1);
    else d.put(v + 96);
  } else {
    d.put(v + 96);
  }
  return true;
}

bool decode_C40_TEXT(Decodation& d, int set) {
  int shift = 0;
  // An incomplete pair leaves its codeword to ASCII.
  while (d.pos < d.count) {
    if (d.cw[d.pos] == 254) {
      ++d.pos;
      return true;
    }
    if (d.count - d.pos < 2) break;
    const int v = 256 * d.cw[d.pos] + d.cw[d.pos + 1] - 1;
    d.pos += 2;
    if (v < 0) return false;  // no encoder writes the pair 0, 0
    if (!putC40Value(d, set, shift, v / 1600) || !putC40Value(d, set, shift, (v / 40) % 40) ||
        !putC40Value(d, set, shift, v % 40))
      return false;
  }
  return true;
}

bool decode_EDIFACT(Decodation& d) {
  // With fewer than three codewords left the segment has ended and they are ASCII.
  while (d.count - d.pos >= 3) {
    const int group = (d.cw[d.pos] << 16) | (d.cw[d.pos + 1] << 8) | d.cw[d.pos + 2];
    for (int k = 0; k < 4; ++k) {
      const int v = (group >> (18 - 6 * k)) & 0x3F;
      if (v == 31) {
        // The unlatch drops the rest of the codeword that holds its last bit.
        d.pos += (6 * k + 5) / 8 + 1;
        return true;
      }
      d.put(v < 31 ? v + 64 : v);
    }
    d.pos += 3;
  }
  return true;
}

// Number of value codewords after an ECI codeword by the first one's range.
int eciLength(int first) { return first <= 127 ? 1 : (first <= 191 ? 2 : 3); }

bool decodeAscii(Decodation& d) {
  Decoder decoder;
  while (d.pos < d.count) {
    const int c = d.cw[d.pos++];
    int used = 0;
    if (c == 0 || c >= 243) return false;
    if (c <= 128) {
      d.put(c - 1);
    } else if (c == 129) {
      break;  // pad: end of data
    } else if (c <= 229) {
      d.upperShift = false;
      d.text.push_back(static_cast<char>('0' + (c - 130) / 10));
      d.text.push_back(static_cast<char>('0' + (c - 130) % 10));
    } else if (c == 230 || c == 239) {
      if (!decode_C40_TEXT(d, c == 230 ? 1 : 4)) return false;
    } else if (c == 231) {
      if (!decoder.decodeBASE256(d.cw + d.pos, d.count - d.pos, d.pos + 1, d.text, d.capacity, used)) return false;
      d.pos += used;
    } else if (c == 232) {
      d.put(kGS);
    } else if (c == 233) {
      d.pos += 3;  // sequence indicator and two file identification codewords
    } else if (c == 235) {
      d.upperShift = true;
    } else if (c == 236 || c == 237) {
      d.text += c == 236 ? "[)>\x1e" "05\x1d" : "[)>\x1e" "06\x1d";
      d.trailer = true;
    } else if (c == 238) {
      if (!decoder.decodeANSIX12(d.cw + d.pos, d.count - d.pos, d.text, d.capacity, used)) return false;
      d.pos += used;
    } else if (c == 240) {
      if (!decode_EDIFACT(d)) return false;
    } else if (c == 241) {
      if (d.pos < d.count) d.pos += eciLength(d.cw[d.pos]);
    } else if (c == 242) {
      d.failAtEnd = true;
    }
    // 234 (reader programming) is skipped.
  }
  if (d.trailer) d.text += kMacroTrailer;
  return !d.failAtEnd;
}

}  // namespace

// ---- Decoder -------------------------------------------------------------------------------

int Decoder::unrandomizing255state(int value, int position) {
  int v = value - ((149 * position) % 255 + 1);
  return v < 0 ? v + 256 : v;
}

int Decoder::decodeANSIX12(const unsigned char* cw, int count, std::string& out, unsigned short capacity, int& used) {
  static const char kSet[] = "\r*> 0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  used = 0;
  // A single codeword left after the last pair is ASCII again.
  while (used < count) {
    if (cw[used] == 254) {
      ++used;
      return 1;
    }
    if (count - used < 2) break;
    const int v = 256 * cw[used] + cw[used + 1] - 1;
    used += 2;
    const int values[3] = {v / 1600, (v / 40) % 40, v % 40};
    for (int x : values) {
      if (x < 0 || x > 39 || out.size() >= capacity) return 0;
      out.push_back(kSet[x]);
    }
  }
  return 1;
}

int Decoder::decodeBASE256(const unsigned char* cw, int count, int firstPosition, std::string& out,
                           unsigned short capacity, int& used) {
  used = 0;
  if (count < 1) return 0;
  const int d1 = unrandomizing255state(cw[0], firstPosition);
  used = 1;
  int length;
  if (d1 == 0) {
    length = count - 1;
  } else if (d1 <= 249) {
    length = d1;
  } else {
    if (count < 2) return 0;
    length = (d1 - 249) * 250 + unrandomizing255state(cw[1], firstPosition + 1);
    used = 2;
  }
  if (length > count - used || out.size() + length > capacity) return 0;
  for (int i = 0; i < length; ++i, ++used) out.push_back(static_cast<char>(unrandomizing255state(cw[used], firstPosition + used)));
  return 1;
}

// ---- parseImageDM --------------------------------------------------------------------------

bool parseImageDM::decodeCodewords(const unsigned char* cw, int count, std::string& text, unsigned short capacity) {
  Decodation d{cw, count, 0, text, capacity};
  return decodeAscii(d);
}

// Corrects the sampled codewords block by block; the data codewords in symbol order, or -1.
// Blocks are interleaved codeword by codeword, check codewords after all data codewords.
int parseImageDM::correctBlocks(std::vector<unsigned char>& data) {
  const DmBlocks& b = CODE_BLOCK_CHARACTERISTIC[version];
  const int total = b.data + b.check;
  if (static_cast<int>(codewords.size()) < total || b.check < 1 || b.blocks < 1) return -1;
  data.assign(b.data, 0);
  for (int k = 0; k < b.blocks; ++k) {
    std::vector<unsigned char> blockCw;
    for (int i = k; i < b.data; i += b.blocks) blockCw.push_back(codewords[i]);
    const int nd = static_cast<int>(blockCw.size());
    for (int i = k; i < b.check; i += b.blocks) blockCw.push_back(codewords[b.data + i]);
    if (ReedSolomonForDataMatrix(blockCw.data(), static_cast<int>(blockCw.size()),
                                 static_cast<int>(blockCw.size()) - nd) < 0)
      return -1;
    int n = 0;
    std::unique_ptr<unsigned char[]> corrected = GetCorrectedCodewords(n);
    if (!corrected || n != nd) return -1;
    for (int i = 0; i < nd; ++i) data[k + i * b.blocks] = corrected[i];
  }
  return 0;
}

int parseImageDM::resample() {
  // The origin steps on by at most one module on each axis: further on, every sampling point
  // lies in the next module, and each step costs a full correction of the symbol. A sample
  // taken at a module's centre stands a shift of half a module, so steps of a quarter module
  // (one pixel for modules of up to 4) miss no origin that single pixels would find.
  const int limit = MyOcr.dmDpi * 14 / 300;
  const int rowLimit = std::min(limit, static_cast<int>(std::ceil(moduleHeight)));
  const int colLimit = std::min(limit, static_cast<int>(std::ceil(moduleWidth)));
  const int rowStep = std::max(1, static_cast<int>(std::ceil(moduleHeight / 4)));
  const int colStep = std::max(1, static_cast<int>(std::ceil(moduleWidth / 4)));
  if (colOffset >= colLimit) return -2;
  if (rowOffset >= rowLimit) {
    rowOffset = rowOffsetReset;
    colOffset = static_cast<uint16_t>(colOffset + colStep);
  } else {
    rowOffset = static_cast<uint16_t>(rowOffset + rowStep);
  }
  sampleRow = static_cast<uint16_t>(startRow + rowOffset);
  sampleCol = static_cast<uint16_t>(startCol + colOffset);
  return -3;
}

int parseImageDM::getDataBlocks(char* out, unsigned short& length, unsigned short capacity) {
  const int count = static_cast<int>(codewords.size());
  if (count < 4) {
    WriteTrace("not expected, codewords size", count, false);
    return -6;
  }
  if (version < 0 || version >= kDmVersions) return -2;
  std::vector<unsigned char> data;
  try {
    if (correctBlocks(data) < 0) return resample();
  } catch (const std::bad_alloc&) {
    WriteTrace("memory error", false);
    return -6;
  }
  if (data.empty()) return -2;
  std::string text;
  if (!decodeCodewords(data.data(), static_cast<int>(data.size()), text, capacity)) {
    CopyInRes(std::string(), 0, out, capacity, length);
    return -2;
  }
  CopyInRes(text, static_cast<int>(text.size()), out, capacity, length);
  return 0;
}

void CopyInRes(const std::string& text, int n, char* out, unsigned short capacity, unsigned short& len) {
  if (out == nullptr) {
    len = 0;
    return;
  }
  std::memset(out, 0, capacity);
  if (n >= 0 && n + 1 <= capacity && static_cast<size_t>(n) <= text.size()) {
    std::memcpy(out, text.data(), n);
    len = static_cast<unsigned short>(n);
  } else {
    len = 0;
  }
}
