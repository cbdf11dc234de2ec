// Symbol corpus: the encoder (libzint in process) and the ground truth of each symbology.
#include "symbol_corpus.h"

#include <zint.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>

namespace pvk::corpus {

namespace {

struct SymbologyInfo {
  Symbology s;
  const char* name;
  int zint;
  int font;
};

const SymbologyInfo kInfo[] = {
    {Symbology::Code39, "code39", BARCODE_CODE39, 300},
    {Symbology::Code32, "code32", BARCODE_CODE32, 300},
    {Symbology::I2of5, "i2of5", BARCODE_C25INTER, 301},
    {Symbology::Code93, "code93", BARCODE_CODE93, 303},
    {Symbology::Code128, "code128", BARCODE_CODE128, 304},
    {Symbology::Codabar, "codabar", BARCODE_CODABAR, 306},
    {Symbology::Ean8, "ean8", BARCODE_EANX, 309},
    {Symbology::Ean13, "ean13", BARCODE_EANX, 310},
    {Symbology::UpcA, "upca", BARCODE_UPCA, 307},
    {Symbology::UpcE, "upce", BARCODE_UPCE, 308},
    {Symbology::Pdf417, "pdf417", BARCODE_PDF417, 0},
    {Symbology::DataMatrix, "datamatrix", BARCODE_DATAMATRIX, 0},
    {Symbology::QrCode, "qrcode", BARCODE_QRCODE, 0},
};

const SymbologyInfo& info(Symbology s) {
  for (const auto& i : kInfo)
    if (i.s == s) return i;
  return kInfo[0];
}

const char kCode39Chars[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
const char kCodabarChars[] = "0123456789-$:/.+ABCD";

char code39Check(const std::string& data) {
  int sum = 0;
  for (char c : data) {
    const char* p = std::strchr(kCode39Chars, c);
    if (p && c) sum += static_cast<int>(p - kCode39Chars);
  }
  return kCode39Chars[sum % 43];
}

// The Codabar check character: the values of all characters, start and stop included, and of
// the check sum to a multiple of 16.
char codabarCheck(const std::string& data) {
  int sum = 0;
  for (char c : data) {
    const char* p = std::strchr(kCodabarChars, c);
    if (p && c) sum += static_cast<int>(p - kCodabarChars);
  }
  return kCodabarChars[(16 - sum % 16) % 16];
}

std::string randomFrom(std::mt19937& rng, const char* alphabet, int n) {
  std::string s;
  size_t len = std::strlen(alphabet);
  for (int i = 0; i < n; ++i) s += alphabet[rng() % len];
  return s;
}

int between(std::mt19937& rng, int lo, int hi) { return lo + static_cast<int>(rng() % (hi - lo + 1)); }

}  // namespace

const std::vector<Symbology>& allSymbologies() {
  static const std::vector<Symbology> v = [] {
    std::vector<Symbology> out;
    for (const auto& i : kInfo) out.push_back(i.s);
    return out;
  }();
  return v;
}

const std::vector<Symbology>& linearSymbologies() {
  static const std::vector<Symbology> v = [] {
    std::vector<Symbology> out;
    for (const auto& i : kInfo)
      if (isLinear(i.s)) out.push_back(i.s);
    return out;
  }();
  return v;
}

bool isLinear(Symbology s) {
  return s != Symbology::Pdf417 && s != Symbology::DataMatrix && s != Symbology::QrCode;
}

const char* symbologyName(Symbology s) { return info(s).name; }

bool nameToSymbology(const std::string& name, Symbology& out) {
  for (const auto& i : kInfo)
    if (name == i.name) {
      out = i.s;
      return true;
    }
  return false;
}

int ownFont(Symbology s) { return info(s).font; }

bool encode(const SymbolSpec& spec, ModuleGrid& grid, std::string* error) {
  std::unique_ptr<zint_symbol, void (*)(zint_symbol*)> z(ZBarcode_Create(), ZBarcode_Delete);
  if (!z) {
    if (error) *error = "encoder allocation failed";
    return false;
  }
  z->symbology = info(spec.symbology).zint;
  z->input_mode = DATA_MODE;
  z->show_hrt = 1;
  if (spec.option1 >= 0) z->option_1 = spec.option1;
  if (spec.option2) z->option_2 = spec.option2;
  if (spec.option3) z->option_3 = spec.option3;
  bool checkable = spec.symbology == Symbology::Code39 || spec.symbology == Symbology::I2of5 ||
                   spec.symbology == Symbology::Codabar;
  if (checkable) z->option_2 = spec.check ? 1 : 0;
  int rc = ZBarcode_Encode(z.get(), reinterpret_cast<const unsigned char*>(spec.data.data()),
                           static_cast<int>(spec.data.size()));
  if (rc >= ZINT_ERROR) {
    if (error) *error = z->errtxt;
    return false;
  }
  grid.rows = z->rows;
  grid.cols = z->width;
  grid.dark.assign(static_cast<size_t>(grid.rows) * grid.cols, 0);
  grid.rowHeight.assign(grid.rows, 0.f);
  // A stacked symbol may leave its row heights unset and give only the whole height; its rows
  // share that. PDF417 rows are never lower than 3 modules.
  float shared = grid.rows > 0 && z->height > 0 ? z->height / grid.rows : 1.f;
  if (spec.symbology == Symbology::Pdf417) shared = std::max(shared, 3.f);
  for (int r = 0; r < grid.rows; ++r) {
    // The encoder packs each row's modules eight to a byte, lowest bit first.
    for (int c = 0; c < grid.cols; ++c)
      grid.dark[static_cast<size_t>(r) * grid.cols + c] = (z->encoded_data[r][c >> 3] >> (c & 7)) & 1;
    grid.rowHeight[r] = isLinear(spec.symbology) ? 0.f : (z->row_height[r] > 0 ? z->row_height[r] : shared);
  }
  grid.hrt = reinterpret_cast<const char*>(z->text);
  return true;
}

std::vector<int> elementModules(const ModuleGrid& grid, int row) {
  std::vector<int> out;
  if (row < 0 || row >= grid.rows) return out;
  int c = 0;
  while (c < grid.cols && !grid.at(row, c)) ++c;  // leading light modules are quiet zone
  int last = grid.cols;
  while (last > c && !grid.at(row, last - 1)) --last;
  while (c < last) {
    bool d = grid.at(row, c);
    int n = 0;
    while (c < last && grid.at(row, c) == d) ++c, ++n;
    out.push_back(n);
  }
  return out;
}

std::string truthFor(const SymbolSpec& spec, const ModuleGrid& grid, int font) {
  switch (spec.symbology) {
    case Symbology::Code39:
      return spec.check ? spec.data + code39Check(spec.data) : spec.data;
    case Symbology::Code32:
      return grid.hrt.size() > 1 ? grid.hrt.substr(1) : grid.hrt;  // the text after the leading 'A'
    case Symbology::Codabar: {
      if (!spec.check || spec.data.size() < 2) return spec.data;
      std::string t = spec.data;
      t.insert(t.size() - 1, 1, codabarCheck(spec.data));
      return t;
    }
    case Symbology::Code128: {
      std::string t = spec.data;
      for (char& c : t)
        if (c == 0) c = static_cast<char>(0xEC);
      return t;
    }
    case Symbology::Ean13:
      if ((font == 7 || font == 307) && !grid.hrt.empty() && grid.hrt[0] == '0') return grid.hrt.substr(1);
      return grid.hrt;
    case Symbology::UpcA:
      return font == 310 ? "0" + grid.hrt : grid.hrt;
    case Symbology::I2of5:
    case Symbology::Ean8:
    case Symbology::UpcE:
      return grid.hrt;
    default:
      return spec.data;
  }
}

std::vector<SymbolSpec> specsFor(Symbology s, int count, uint32_t seed) {
  std::mt19937 rng(seed * 7919u + static_cast<uint32_t>(s) * 104729u + 17u);
  std::vector<SymbolSpec> out;
  const char* digits = "0123456789";
  for (int k = 0; k < count; ++k) {
    SymbolSpec sp;
    sp.symbology = s;
    switch (s) {
      case Symbology::Code39:
        sp.data = randomFrom(rng, kCode39Chars, between(rng, 1, 16));
        sp.check = k % 2 == 1;
        break;
      case Symbology::Code32:
        sp.data = randomFrom(rng, digits, 8);
        break;
      case Symbology::I2of5:
        sp.check = k % 3 == 2;
        sp.data = randomFrom(rng, digits, 2 * between(rng, 2, 9) - (sp.check ? 1 : 0));
        break;
      case Symbology::Code93: {
        int n = between(rng, 1, 16);
        for (int i = 0; i < n; ++i)
          sp.data += static_cast<char>(k % 2 ? 1 + rng() % 127 : kCode39Chars[rng() % 43]);
        break;
      }
      case Symbology::Code128: {
        int kind = k % 4, n = between(rng, 1, 16);
        if (kind == 0) sp.data = randomFrom(rng, digits, 2 * n);  // set C
        for (int i = 0; kind && i < n; ++i) {
          int c = kind == 1 ? static_cast<int>(rng() % 96)               // set A, NUL included
                  : kind == 2 ? 32 + static_cast<int>(rng() % 96)        // set B
                              : static_cast<int>(rng() % 256);          // anything, FNC4 above 127
          sp.data += static_cast<char>(c);
        }
        break;
      }
      case Symbology::Codabar:
        sp.data = randomFrom(rng, "ABCD", 1) + randomFrom(rng, "0123456789-$:/.+", between(rng, 1, 16)) +
                  randomFrom(rng, "ABCD", 1);
        sp.check = k % 2 == 1;
        break;
      case Symbology::Ean8:
        sp.data = randomFrom(rng, digits, 7);
        break;
      case Symbology::Ean13:
        sp.data = (k % 3 == 1 ? std::string("0") + randomFrom(rng, digits, 11) : randomFrom(rng, "123456789", 1) +
                                                                                    randomFrom(rng, digits, 11));
        break;
      case Symbology::UpcA:
        sp.data = randomFrom(rng, digits, 11);
        break;
      case Symbology::UpcE:
        sp.data = randomFrom(rng, digits, 6);
        break;
      case Symbology::Pdf417:
      case Symbology::DataMatrix:
      case Symbology::QrCode: {
        int n = between(rng, 4, 60);
        for (int i = 0; i < n; ++i)
          sp.data += static_cast<char>(k % 3 == 2 ? 1 + rng() % 255 : 32 + rng() % 95);
        break;
      }
    }
    out.push_back(sp);
  }
  return out;
}

}  // namespace pvk::corpus
