// PDF417 codeword streams as a reader hands them on: any level, any codewords (erasures and
// values beyond 928 included), any text size. The text must stay inside maxChars and be
// NUL-terminated at the length returned.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/records.h"
#include "symbols/symbols.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 3 || size > 4096)
    return 0;
  std::memset(&MyLog, 0, sizeof MyLog);  // no trace file
  int level = data[0] % 10;
  unsigned short maxChars = static_cast<unsigned short>(data[1] | (data[2] & 0x3) << 8);
  std::vector<int> cw;
  for (size_t i = 3; i + 1 < size; i += 2) {
    int v = (data[i] | data[i + 1] << 8) % 1100;
    cw.push_back(v >= 1000 ? -1 : v);
  }
  // A valid-looking descriptor now and then.
  if (!cw.empty() && (data[0] & 0x80))
    cw[0] = static_cast<int>(cw.size()) - (2 << (level % 9));
  // Room for the text and a guard after it.
  std::vector<char> text(maxChars + 16u, 'G');
  int n = AnalyzeRuns(static_cast<int>(cw.size()), cw.data(), text.data(), level, maxChars);
  if (n < 0 || (n > 0 && (n >= maxChars || text[n] != 0)))
    std::abort();
  for (size_t i = maxChars; i < text.size(); ++i)
    if (text[i] != 'G')
      std::abort();
  return 0;
}
