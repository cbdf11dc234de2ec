// The QR symbol model: module grid, version and format information, data mask, codeword
// placement and the split of the codewords into error-correction blocks, then the data
// segments. Only exact version and format codes are accepted; nothing is corrected.
#include <algorithm>
#include <cmath>

#include "symbols/symbols.h"

const int Symbol::MODULE_SIZE[40] = {21,  25,  29,  33,  37,  41,  45,  49,  53,  57,  61,  65,  69,  73,
                                     77,  81,  85,  89,  93,  97,  101, 105, 109, 113, 117, 121, 125, 129,
                                     133, 137, 141, 145, 149, 153, 157, 161, 165, 169, 173, 177};

namespace {

std::unique_ptr<ECIDecoder> decoderFor(int mode) {
  switch (mode) {
    case 1: return std::make_unique<NumericalDecoder>();
    case 2: return std::make_unique<AlphanumericDecoder>();
    case 4: return std::make_unique<ByteDecoder>();
    case 8: return std::make_unique<KanjiDecoder>();
    default: return nullptr;
  }
}

int bitsValue(const std::vector<uint16_t>& bits, size_t pos, int n) {
  int v = 0;
  for (int i = 0; i < n; ++i) v = (v << 1) | (bits[pos + i] & 1);
  return v;
}

}  // namespace

// ---- Blocks -----------------------------------------------------------------------------------

CodeBlock::CodeBlock(int c, int kk, int rr) : k(kk), ecCount(c - kk), r(rr) {
  data.reserve(static_cast<size_t>(std::max(k, 0)) * 8);
  ec.reserve(static_cast<size_t>(std::max(ecCount, 0)) * 8);
  clear();
}

void CodeBlock::clear() {
  dataPushed = ecPushed = 0;
  data.clear();
  ec.clear();
}

bool CodeBlock::pushData(const std::vector<uint16_t>& codeword) {
  if (dataPushed >= k) return false;
  data.insert(data.begin() + std::min(data.size(), static_cast<size_t>(dataPushed) * 8), codeword.begin(),
              codeword.end());
  ++dataPushed;
  return true;
}

bool CodeBlock::pushError(const std::vector<uint16_t>& codeword) {
  if (ecPushed >= ecCount) return false;
  ec.insert(ec.begin() + std::min(ec.size(), static_cast<size_t>(ecPushed) * 8), codeword.begin(),
            codeword.end());
  ++ecPushed;
  return true;
}

CodeData::CodeData(int version, int ecLevel) {
  if (version < 1 || version > 40 || ecLevel < 0 || ecLevel > 3) return;
  const int16_t* row = CODE_BLOCK_CHARACTERISTIC[version - 1][ecLevel];
  total = row[0];
  int b1 = row[1], c = row[2], k = row[3], r = row[4];
  int b2 = (total - b1 * c) / (c + 1);
  blockCount = b1 + b2;
  dataCodewords = b1 * k + b2 * (k + 1);
  ecCodewords = total - dataCodewords;
  for (int i = 0; i < b1; ++i) blocks.push_back(std::make_unique<CodeBlock>(c, k, r));
  for (int i = 0; i < b2; ++i) blocks.push_back(std::make_unique<CodeBlock>(c + 1, k + 1, r));
}

// ---- The grid ---------------------------------------------------------------------------------

Symbol::Symbol() { bits.clear(); }
Symbol::~Symbol() = default;

int Symbol::round(double x) { return static_cast<int>(std::floor(x + 0.5)); }

bool Symbol::init() {
  if (moduleSize < 1.0 || !image) {
    rows = cols = 0;
    return false;
  }
  int rows0 = round(image->height / moduleSize), cols0 = round(image->width / moduleSize);
  const int candidates[3][2] = {{rows0, cols0}, {rows0 + 1, cols0 + 1}, {rows0 - 1, cols0 - 1}};
  for (const auto& cand : candidates) {
    for (int size : MODULE_SIZE) {
      if (size == cand[0]) {
        rows = cols = static_cast<uint16_t>(size);
        moduleSize = static_cast<double>(image->height) / size;
        return true;
      }
      if (size == cand[1]) {
        rows = cols = static_cast<uint16_t>(size);
        moduleSize = static_cast<double>(image->width) / size;
        return true;
      }
    }
  }
  return false;
}

int Symbol::get(int row, int col) {
  if (!image || !image->imageData) return 0;
  int y = round(row * moduleSize + moduleSize / 2), x = round(col * moduleSize + moduleSize / 2);
  // The far half is measured from the far edge, so a module size a little off does not add up.
  if (row > rows / 2) y = static_cast<int>(image->height - (rows - row - 1) * moduleSize - moduleSize / 2);
  if (col > cols / 2) x = static_cast<int>(image->width - (cols - col - 1) * moduleSize - moduleSize / 2);
  // A grid larger than the image (one count matched, the other not) samples nothing outside.
  if (x < 0 || y < 0 || x >= image->width || y >= image->height) return 0;
  const unsigned char* line =
      reinterpret_cast<const unsigned char*>(image->imageData) + static_cast<size_t>(y) * image->widthStep;
  return line[static_cast<size_t>(x) * std::max(image->nChannels, 1)] < 128 ? 1 : 0;
}

// ---- Version and format -----------------------------------------------------------------------

int Symbol::decode_version() {
  for (int copy = 0; copy < 2; ++copy) {
    int code = 0;
    for (int a = 5; a >= 0; --a) {
      for (int b = 9; b <= 11; ++b) code = (code << 1) | (copy == 0 ? get(a, cols - b) : get(rows - b, a));
    }
    for (int i = 0; i < N_VERSION_DECODE_INFOS_QR; ++i) {
      if (VERSION_DECODE_INFO_QR[i] == code) return 7 + i;
    }
  }
  return -1;
}

int Symbol::decodeFormatInformation() {
  int first = 0, second = 0;
  for (int c = 0; c <= 5; ++c) first = (first << 1) | get(8, c);
  first = (first << 1) | get(8, 7);
  first = (first << 1) | get(8, 8);
  first = (first << 1) | get(7, 8);
  for (int r = 5; r >= 0; --r) first = (first << 1) | get(r, 8);
  for (int r = rows - 1; r >= rows - 7; --r) second = (second << 1) | get(r, 8);
  for (int c = cols - 8; c <= cols - 1; ++c) second = (second << 1) | get(8, c);
  for (int code : {first, second}) {
    for (const auto& entry : FORMAT_INFO_DECODE_LOOKUP) {
      if (entry[0] == code) return entry[1];
    }
  }
  return -1;
}

void Symbol::setECC_Mask() {
  ecLevel = (formatInfo >> 3) & 3;
  eccLetter = "MLHQ"[ecLevel];
  mask = formatInfo & 7;
  formatInfo >>= 3;
}

bool Symbol::isMasked(unsigned long i, unsigned long j) {
  switch (mask) {
    case 0: return (i + j) % 2 == 0;
    case 1: return i % 2 == 0;
    case 2: return j % 3 == 0;
    case 3: return (i + j) % 3 == 0;
    case 4: return (i / 2 + j / 3) % 2 == 0;
    case 5: return (i * j) % 2 + (i * j) % 3 == 0;
    case 6: return ((i * j) % 2 + (i * j) % 3) % 2 == 0;
    case 7: return ((i + j) % 2 + (i * j) % 3) % 2 == 0;
    default: return false;
  }
}

bool Symbol::isReservedArea(unsigned short col, unsigned short row, unsigned short offset) {
  int c = col - offset, r = row, n = cols, m = rows;
  if ((r < 9 && c < 9) || (r < 9 && c >= n - 8) || (r >= m - 8 && c < 9)) return true;  // finders, format
  if (r == 6 || c == 6) return true;                                                        // timing
  if (version >= 7 && ((r <= 5 && c >= n - 11 && c <= n - 9) || (c <= 5 && r >= m - 11 && r <= m - 9)))
    return true;  // version information
  return isAlignmentPattern(r, c);
}

bool Symbol::isAlignmentPattern(int row, int col) {
  if (version < 2 || version > 40) return false;
  const int* pos = VERSION_QR[version - 1] + 1;
  int n = 0;
  while (n < 7 && pos[n] >= 0) ++n;
  if (n < 2) return false;
  auto near = [&](int a, int b) { return std::abs(row - a) <= 2 && std::abs(col - b) <= 2; };
  if (version < 7) return near(pos[1], pos[1]);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      bool finder = (i == 0 && j == 0) || (i == 0 && j == n - 1) || (i == n - 1 && j == 0);
      if (!finder && near(pos[i], pos[j])) return true;
    }
  }
  return false;
}

// ---- Reading ----------------------------------------------------------------------------------

bool Symbol::getCodeWords(char* out, unsigned short* len) {
  if (!out || !len) return false;
  bits.clear();
  decoder.reset();
  codeData.reset();
  // No QR size (init failed or never ran): there is no grid to read.
  if (!image || rows != cols || std::find(std::begin(MODULE_SIZE), std::end(MODULE_SIZE), cols) ==
                                    std::end(MODULE_SIZE)) {
    *len = 0;
    return true;
  }
  version = (cols - 17) / 4;
  if (version >= 7) {
    int coded = decode_version();
    // A version code naming another size than the grid would ask for codewords the grid lacks.
    if (coded != -1 && coded != version) {
      *len = 0;
      return true;
    }
  }
  int data = decodeFormatInformation();
  if (data < 0) {
    *len = 0;
    return true;
  }
  formatInfo = data;
  setECC_Mask();
  codeData = std::make_unique<CodeData>(version, ecLevel);
  bool up = true;
  for (int right = cols - 1; right >= 1; right -= 2) {
    if (right == 6) right = 5;  // the vertical timing column is no data column
    for (int i = 0; i < rows; ++i) {
      int row = up ? rows - 1 - i : i;
      for (int col = right; col >= right - 1; --col) {
        if (!isReservedArea(static_cast<unsigned short>(col), static_cast<unsigned short>(row), 0))
          bits.push_back(static_cast<uint16_t>(get(row, col) ^ (isMasked(row, col) ? 1 : 0)));
      }
    }
    up = !up;
  }
  size_t n = std::min(static_cast<size_t>(codeData->total) * 8, bits.size());
  return decode(std::vector<uint16_t>(bits.begin(), bits.begin() + n), out, len);
}

bool Symbol::decode(const std::vector<uint16_t>& stream, char* out, unsigned short* len) {
  unsigned short capacity = *len;
  decoder.reset();
  size_t dataBits = codeData ? static_cast<size_t>(codeData->dataCodewords) * 8 : 0;
  // The walk never passes the bits: a layout asking for more data than the bits hold is no symbol.
  if (stream.empty() || !codeData || codeData->blocks.empty() || stream.size() < dataBits) {
    *len = 0;
    return true;
  }
  auto& blocks = codeData->blocks;
  for (auto& b : blocks) b->clear();
  auto offer = [&](size_t from, size_t to, bool isData) {
    size_t next = 0;
    for (size_t pos = from; pos < to; pos += 8) {
      std::vector<uint16_t> cw(stream.begin() + pos, stream.begin() + std::min(pos + 8, to));
      for (size_t tries = 0; tries < blocks.size(); ++tries) {
        CodeBlock& b = *blocks[next];
        next = (next + 1) % blocks.size();
        if (isData ? b.pushData(cw) : b.pushError(cw)) break;
      }
    }
  };
  offer(0, dataBits, true);
  offer(dataBits, stream.size(), false);
  std::vector<uint16_t> data;
  for (auto& b : blocks) data.insert(data.end(), b->data.begin(), b->data.end());

  int count = 0;
  size_t pos = 0;
  while (data.size() - pos >= 4) {
    int mode = bitsValue(data, pos, 4);
    if (mode == 0) {
      decoder.reset();
      break;
    }
    decoder = decoderFor(mode);
    if (!decoder) {  // ECI, structured append, FNC1 and unknown modes are not read
      *len = 0;
      return true;
    }
    unsigned short remaining = static_cast<unsigned short>(capacity > count ? capacity - count : 0);
    std::vector<uint16_t> rest(data.begin() + pos + 4, data.end());
    if (decoder->decode(version, rest, out + count, &remaining) < 0) {
      decoder.reset();
      *len = 0;
      return true;
    }
    count += remaining;
    pos += 4 + static_cast<size_t>(decoder->get_read_length());
    if (pos >= data.size()) break;
  }
  *len = static_cast<unsigned short>(count);
  return true;
}
