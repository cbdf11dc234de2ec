// A one-bit band as the engine meets it: any bits, a bounded size and one of the engine's fonts
// are segmented, joined, split and recognised on a small template store. Every block stays in
// the band and the table, and every confidence in 0..100.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ocr/ocr.h"
#include "ocr_fuzz_store.h"

namespace {

constexpr short kFonts[] = {4, 9, 202, 35, 1, 944, 945, 2};
constexpr char kChars[] = "0123456789ABCDEO-'/I#<";

// A database whose cells are made from the character codes, registered once: registration
// forgets the engine image, so it comes before any band.
void setUpStore() {
  static bool done = false;
  if (done) return;
  done = true;
  pvk::fuzz::writeOcrStore(kChars, "FUZZCORE04.DB");
  caricadati = true;
  if (!ocr_init("fuzzcore04.db", 1, false, 1.0f, true, false)) std::abort();
  TmpSet.fill(0);
  for (const char* c = kChars; *c != '\0'; ++c) TmpSet[static_cast<unsigned char>(*c)] = 1;
}

void setMetrics() {
  ah = 32;
  aw = 22;
  minW = minH = 2;
  maxW = maxH = 120;
  minHNum = 16;
  minWNum = 7;
  aw_full_width_min = 12, aw_3_2 = 33, aw_2_3 = 14, aw_1_2 = 11, aw_1_3 = 7, aw_1_6 = 3;
  ah_full_height_min = 18, ah_not_full_height_max = 22, ah_1_2 = 16, ah_1_6 = 5, ah_2_3 = 21;
  ValidSet = TmpSet.data();
}

void checkBlocks() {
  if (lastblock >= kBlockSlots) std::abort();
  for (unsigned s = 1; s < kSpareSlot; ++s) {
    const BlockRec& b = tblk[s];
    if (b.top == 0) continue;
    if (b.bottom < b.top || b.right < b.left || b.bottom > height || b.right > width) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setUpStore();
  if (size < 3 || size > 4096) return 0;
  const short font = kFonts[data[0] % (sizeof kFonts / sizeof kFonts[0])];
  const uint16_t w = static_cast<uint16_t>(8 + data[1] % 120);
  const uint16_t h = static_cast<uint16_t>(12 + data[2] % 100);
  const uint16_t stride = static_cast<uint16_t>((w + 3) & ~3);
  std::vector<uint32_t> band(static_cast<size_t>(stride) * h, 0);
  const size_t bits = (size - 3) * 8;
  for (size_t i = 0; i < band.size() && i < bits; ++i) band[i] = (data[3 + i / 8] >> (i % 8)) & 1u;

  MyOcr.currentFont = font;
  MyOcr.engineScale = 1.0f;
  MyOcr.charHeight = 32;
  MyOcr.charWidth = 22;
  MyOcr.fixedSize = data[0] & 0x80 ? 1 : 0;
  MyOcr.minCharHeight = 10, MyOcr.maxCharHeight = 50, MyOcr.minCharWidth = 5, MyOcr.maxCharWidth = 40;
  setMetrics();
  if (ocr_pre_process(band.data(), w, h) != 1) return 0;
  checkBlocks();
  JoinBlocks(0, 0, 1, lastblock);
  const uint32_t blocks = lastblock;
  for (unsigned s = 1; s < blocks && s < 64; ++s) {
    if (tblk[s].top == 0) continue;
    unsigned n = 0;
    switch ((data[0] + s) % 4) {
      case 0: split_block_hor(s, 1.0f, (s & 1) != 0, n); break;
      case 1: split_block_hor_fix(s, 11, n); break;
      case 2: split_block_imag_hor(s, n); break;
      default: split_block_ver(s, 3, 5); break;
    }
    checkBlocks();
    uint32_t cell[32];
    if (!mk_std_size_bin(s, cell, 1, 1)) continue;
    checkBlocks();
    unsigned char conf = 0, db = 0;
    recognize_char(s, cell, conf, db);
    if (conf > 100) std::abort();
  }
  imag = nullptr;
  return 0;
}
