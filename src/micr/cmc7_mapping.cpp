// Output characters of the CMC7 symbols: the host may replace the internal separator codes and
// the unread mark; a finished codeline is rewritten with them just before it leaves.
#include <cstring>

#include "core/trace.h"
#include "micr/micr.h"

unsigned char CMC7_S1 = ':';
unsigned char CMC7_S2 = ';';
unsigned char CMC7_S3 = '<';
unsigned char CMC7_S4 = '=';
unsigned char CMC7_S5 = '>';
unsigned char CMC7_NR = '?';

namespace {

constexpr char kCodes[6] = {':', ';', '<', '=', '>', '?'};
constexpr const char* kLabels[6] = {"S1", "S2", "S3", "S4", "S5", "NR"};

unsigned char* const kGlobals[6] = {&CMC7_S1, &CMC7_S2, &CMC7_S3, &CMC7_S4, &CMC7_S5, &CMC7_NR};

}  // namespace

int pvk::micr::setCMC7Mapping(unsigned char s1, unsigned char s2, unsigned char s3, unsigned char s4,
                              unsigned char s5, unsigned char nr) {
  const unsigned char values[6] = {s1, s2, s3, s4, s5, nr};
  const bool valid = std::memchr(values, 0, sizeof values) == nullptr;
  WriteTrace(valid ? "new CMC7 mapping" : "invalid CMC7 mapping", false);
  for (int k = 0; k < 6; ++k) {
    WriteTrace(kLabels[k], values[k], false);
    if (valid) *kGlobals[k] = values[k];
  }
  MyDev.lastResult = valid ? PVK_OK : PVK_ERR_INV_PARAMETER;
  return MyDev.lastResult;
}

void SostituisciSimbolo(char* dst, char* copy, char from, char to) {
  if (to == from || to == 0) return;
  for (int p = 0; p < kCdlChars; ++p)
    if (copy[p] == from) {
      dst[p] = to;
      copy[p] = ' ';  // looked up once: a mapped position is not mapped again
    }
}

void CambiaSeparatoriCMC7(char* text, short len) {
  if (text == nullptr || len < 1) return;
  bool defaults = true;
  for (int k = 0; k < 6; ++k) defaults = defaults && *kGlobals[k] == static_cast<unsigned char>(kCodes[k]);
  if (defaults) return;
  if (len >= kCdlChars) {
    WriteTrace("too may chars to be coded", len, false);
    return;
  }
  char copy[kCdlChars] = {};
  std::memcpy(copy, text, static_cast<size_t>(len));
  for (int k = 0; k < 6; ++k) SostituisciSimbolo(text, copy, kCodes[k], static_cast<char>(*kGlobals[k]));
}
