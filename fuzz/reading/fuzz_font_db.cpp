// A font database file as it enters: any bytes under a database name are loaded into the
// template store or refused with -34; nothing outside the store is touched. The first byte
// chooses whether a database of 1990 characters is loaded first, so that loads also start
// near the end of the store.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../../tests/common/scratch_dir.h"
#include "ocr/ocr.h"

namespace {

char dirSlash[4096];

void writeBytes(const char* name, const uint8_t* data, size_t size) {
  char path[sizeof dirSlash + 32];
  std::snprintf(path, sizeof path, "%s%s", dirSlash, name);
  FILE* f = std::fopen(path, "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

void setUp() {
  static bool done = false;
  if (done) return;
  done = true;
  const std::string dir = pvk::testing::processScratchDir("pvk_fuzz_fontdb_");
  if (dir.empty()) std::abort();
  std::snprintf(dirSlash, sizeof dirSlash, "%s/", dir.c_str());
  // 1990 characters, all zero cells and attributes.
  constexpr int32_t n = 1990;
  static uint8_t big[4 + 161 * n];
  std::memcpy(big, &n, 4);
  writeBytes("BIG.DB", big, sizeof big);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setUp();
  if (size < 1 || size > (1 << 20)) return 0;
  ocr_clear();
  caricadati = true;
  std::snprintf(MyOcr.dbDir, sizeof MyOcr.dbDir, "%s", dirSlash);
  if ((data[0] & 1) != 0 && !ocr_init("big.db", 1, true, 1.0f, false, false)) std::abort();
  const int before = dfnchars;
  writeBytes("FUZZ.DB", data + 1, size - 1);
  MyDev.lastResult = 0;
  const bool ok = ocr_init("fuzz.db", 1, true, 1.0f, false, false);
  if (ok != (MyDev.lastResult == 0)) std::abort();
  if (ok && (dfnchars > kStoreCells || dfnchars < before || nchars != dfnchars)) std::abort();
  // Every template of the store belongs to a listed database.
  for (int i = 1; ok && i < dfnchars; ++i)
    if (pDB[i] == nullptr || pDB[i] < DBList || pDB[i] >= DBList + nDBLoaded) std::abort();
  return 0;
}
