// The joined output of a document's zones: slots of arbitrary lengths written as the zone loop
// writes them (readers bounded by the room left, stops skipping slots, "no more space"), then
// rewritten in an arbitrary caller order, into buffers of exactly size bytes. Nothing is written
// past them, the text stays below size and under the output limit, and every zone's count is
// what it has in the output.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/records.h"
#include "reading/reading.h"
#include "fuzz_bytes.h"

namespace {

using Bytes = pvk::fuzz::Bytes;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  MyLog.Log = 0;
  Bytes b{data, size};
  const int bufSize = b.next16() % 9000;
  const int nSlots = b.next() % (PVK_OCR_MAX_ZONES + 1);
  std::vector<char> text(static_cast<size_t>(bufSize)), conf(static_cast<size_t>(bufSize));
  pvk::reading::ZoneOutput out;
  pvk::reading::startOutput(out, bufSize ? text.data() : nullptr, bufSize ? conf.data() : nullptr, bufSize);
  if (bufSize == 0) return 0;

  int slotOf[PVK_OCR_MAX_ZONES];
  int16_t fonts[PVK_OCR_MAX_ZONES];
  for (int s = 0; s < nSlots; ++s) {
    slotOf[s] = s;
    fonts[s] = static_cast<int16_t>(b.next() % 8 == 0 ? 0 : 4);
    const uint8_t how = b.next();
    const int want = (b.next16() % 5000) * (how & 1);
    if ((how & 6) == 6) continue;  // a stop: no separator, no read
    if (s > 0 && !pvk::reading::separateSlot(out, s)) continue;
    if (how & 8) {
      std::vector<char> kept(static_cast<size_t>(want), 'k');
      pvk::reading::putSlot(out, s, kept.data(), kept.data(), want);
    } else {
      const int room = out.capacity - 1;
      const int n = want < room ? want : room;
      if (n > 0) {
        std::memset(pvk::reading::slotText(out), 'a' + s, static_cast<size_t>(n));
        std::memset(pvk::reading::slotConf(out), 50, static_cast<size_t>(n));
      }
      pvk::reading::recordSlot(out, s, n);
    }
  }
  // An arbitrary caller order: a permutation drawn from the input.
  for (int i = nSlots - 1; i > 0; --i) std::swap(slotOf[i], slotOf[b.next() % (i + 1)]);
  uint16_t counts[PVK_OCR_MAX_ZONES];
  bool cut = false;
  const int n = pvk::reading::arrangeOutput(out, slotOf, fonts, nSlots, counts, cut);
  if (n < 0 || n > bufSize - 1 || n > pvk::reading::kOutputLimit + 1) std::abort();
  if (static_cast<int>(strnlen(text.data(), static_cast<size_t>(bufSize))) != n) std::abort();
  // Zone by zone: count characters, then a TAB, in caller order.
  int pos = 0;
  for (int i = 0; i < nSlots; ++i) {
    if (i > 0) {
      if (pos == n) {
        if (counts[i] != 0) std::abort();  // past the cut every zone is empty
        continue;
      }
      if (text[static_cast<size_t>(pos)] != '\t' || conf[static_cast<size_t>(pos)] != 'd') std::abort();
      ++pos;
    }
    for (int k = 0; k < counts[i]; ++k)
      if (text[static_cast<size_t>(pos + k)] == '\t' || text[static_cast<size_t>(pos + k)] == '\0') std::abort();
    pos += counts[i];
  }
  if (pos != n) std::abort();
  return 0;
}
