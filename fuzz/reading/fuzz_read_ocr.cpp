// The zone reader on small grey zones of any bytes, any resolution, font and capacity: the count
// stays below the capacity, nothing is written past it, every confidence is 1..100, and the
// engine is left without databases. The databases are the generated ones when
// PVK_FONT_DB_DIR names their directory, else cells made from the character codes under the
// file names the fonts' set-ups ask for.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ocr/ocr.h"
#include "ocr_fuzz_store.h"

namespace {

constexpr short kFonts[] = {4, 3, 5, 38, 39, 2, 1, 202, 935, 938, 944, 945, 9, 12};
constexpr char kChars[] = "0123456789ABCDEHMOPRSTZ-'/I#<:;=>.,*";
constexpr const char* kNames[] = {"ocrbA04.db",  "ocraeb204.db", "e13bA04.db", "e13bB04.db", "cmc7aa04.db",
                                  "cmc7ab04.db", "microC04.db"};
char dbDir[260];

void writeStores() {
  if (dbDir[0] != 0) return;
  if (const char* dir = std::getenv("PVK_FONT_DB_DIR")) {
    std::snprintf(dbDir, sizeof dbDir, "%s/", dir);
    return;
  }
  const std::string dir = pvk::testing::processScratchDir("pvk_fuzz_zone_");
  if (dir.empty()) std::abort();
  std::snprintf(dbDir, sizeof dbDir, "%s/", dir.c_str());
  for (const char* name : kNames) pvk::fuzz::writeOcrStoreIn(dir, kChars, name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  writeStores();
  if (size < 6 || size > 6000) return 0;
  const short font = kFonts[data[0] % (sizeof kFonts / sizeof kFonts[0])];
  const uint16_t w = static_cast<uint16_t>(12 + data[1] % 100);
  const uint16_t h = static_cast<uint16_t>(12 + data[2] % 60);
  const int maxChars = data[3] % 48;
  const uint16_t dpi = static_cast<uint16_t>(60 + (data[4] % 32) * 10);
  MyOcr = OcrInfo{};
  std::memcpy(MyOcr.dbDir, dbDir, sizeof dbDir);
  MyOcr.typeDoc = static_cast<uint16_t>(data[5] % 14);
  MyOcr.modeByte = data[5] & 0x80 ? 1 : 0;
  MyOcr.removeCrLf = data[5] & 0x40 ? 1 : 0;
  MyITACheck = ITACheckInfo{};
  MyITACheck.active = data[0] & 0x80 ? 1 : 0;

  const uint16_t stride = static_cast<uint16_t>((w + 3) & ~3);
  std::vector<uint8_t> px(static_cast<size_t>(stride) * h, 255);
  for (size_t i = 0; i < px.size() && 6 + i < size; ++i) px[i] = data[6 + i];
  PVKImg img{w, h, stride, dpi, px.data()};

  constexpr int kGuard = 8;
  std::vector<char> text(maxChars + kGuard, 'x'), conf(maxChars + kGuard, 'x');
  std::vector<ChInfo> info(maxChars + kGuard);
  const int n = ReadOCR(img, text.data(), conf.data(), data[1] & 1 ? info.data() : nullptr, font,
                        static_cast<unsigned short>(maxChars));
  if (n < -1 || (maxChars > 0 && n >= maxChars) || (maxChars == 0 && n != 0)) std::abort();
  for (int i = maxChars; i < maxChars + kGuard; ++i)
    if (text[i] != 'x' || conf[i] != 'x') std::abort();
  for (int i = 0; i < n; ++i) {
    const int c = static_cast<unsigned char>(conf[i]);
    if (c < 1 || c > 100) std::abort();
  }
  if (nDBLoaded != 0 || BWImg != nullptr) std::abort();
  return 0;
}
