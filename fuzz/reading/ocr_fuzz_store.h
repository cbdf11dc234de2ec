// A font database for the OCR fuzzers: one cell per character made from its code, written into a
// directory of its own that becomes the database directory.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../../tests/common/scratch_dir.h"
#include "ocr/ocr.h"

namespace pvk::fuzz {

// Writes diskName holding the characters chars into the directory dir.
inline void writeOcrStoreIn(const std::string& dir, const char* chars, const char* diskName) {
  const auto n = static_cast<int32_t>(std::strlen(chars));
  std::vector<uint8_t> bytes(4 + 161 * static_cast<size_t>(n), 0);
  std::memcpy(bytes.data(), &n, 4);
  std::memcpy(bytes.data() + 4, chars, static_cast<size_t>(n));
  for (int i = 0; i < n; ++i)
    for (int r = 0; r < 32; ++r) {
      const uint32_t row = (0x9E3779B9u * static_cast<uint32_t>(i * 32 + r + 1)) | 0x00FFFF00u;
      std::memcpy(bytes.data() + 4 + n + 128 * i + 4 * r, &row, 4);
    }
  const std::string path = dir + "/" + diskName;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
  std::fclose(f);
}

// Writes diskName (upper case) holding the characters chars into a new directory.
inline void writeOcrStore(const char* chars, const char* diskName) {
  const std::string dir = pvk::testing::processScratchDir("pvk_fuzz_ocr_");
  if (dir.empty()) std::abort();
  std::snprintf(MyOcr.dbDir, sizeof MyOcr.dbDir, "%s/", dir.c_str());
  writeOcrStoreIn(dir, chars, diskName);
}

}  // namespace pvk::fuzz
