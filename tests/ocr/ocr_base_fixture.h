// What the tests of the OCR groundwork share: a temporary database directory with the trace
// inside it, the engine state emptied around each test, and font database files written byte
// by byte from the file layout (a 32-bit little-endian count, the codes, 32 rows of 32 bits
// per cell with bit 31 the left column, a 32-byte attribute record per character).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "../core/core_test_util.h"
#include "ocr/ocr.h"

namespace pvk::test {

inline int countOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) ++n;
  return n;
}

using Cell = std::vector<uint32_t>;  // 32 rows, row 0 on top

struct DbChar {
  unsigned char code;
  Cell cell;              // missing rows are white
  unsigned char attrFill; // every byte of the attribute record
};

inline void putLe32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// The bytes of a database file holding chars; count overrides the stored N.
inline std::string dbBytes(const std::vector<DbChar>& chars, std::optional<uint32_t> count = std::nullopt) {
  std::string out;
  putLe32(out, count ? *count : static_cast<uint32_t>(chars.size()));
  for (const DbChar& c : chars) out.push_back(static_cast<char>(c.code));
  for (const DbChar& c : chars)
    for (int row = 0; row < 32; ++row) putLe32(out, row < static_cast<int>(c.cell.size()) ? c.cell[row] : 0);
  for (const DbChar& c : chars) out.append(32, static_cast<char>(c.attrFill));
  return out;
}

// n characters with codes from first on, each cell holding its code in row 0.
inline std::vector<DbChar> someChars(int n, unsigned char first = 'A') {
  std::vector<DbChar> chars;
  for (int i = 0; i < n; ++i) {
    const auto code = static_cast<unsigned char>(first + i);
    chars.push_back({code, Cell{code}, code});
  }
  return chars;
}

class OcrBaseTest : public TraceTest {
 protected:
  void SetUp() override {
    TraceTest::SetUp();
    openTrace();
    resetEngine();
    std::snprintf(MyOcr.dbDir, sizeof MyOcr.dbDir, "%s/", dir_.c_str());
  }
  void TearDown() override {
    resetEngine();
    TraceTest::TearDown();
  }
  static void resetEngine() {
    ocr_clear();
    caricadati = true;
    MyOcr = OcrInfo{};
    MyITACheck = ITACheckInfo{};
    MyDev.lastResult = 0;
    SoloMaiuscolo = false;
    ForzaSoloAlfa = false;
    PrivilegiaBarreVert = 0;
    UtilizzoImgBacklight = 0;
  }
  // A database file in the directory, named as on disk.
  void writeDb(const std::string& diskName, const std::vector<DbChar>& chars) {
    writeFile(path(diskName), dbBytes(chars));
  }
  bool registerDb(const char* name, bool narrow = true, float space = 1.0f, bool split = false) {
    return ocr_init(name, 1, narrow, space, split, true);
  }
};

}  // namespace pvk::test
