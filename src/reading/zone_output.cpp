// The joined output of a document's zones: the zone loop's running output with the place of
// every slot recorded, and its rewrite in the caller's zone order within the caller's buffer.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/trace.h"
#include "micr/micr.h"
#include "ocr/ocr.h"
#include "reading/reading.h"

void SostituisciACapo(char* text) {
  if (text == nullptr) return;
  for (char* p = text; *p != '\0'; ++p)
    if (*p == '\r' || *p == '\n') *p = static_cast<char>(167);
}

namespace pvk::reading {

namespace {

bool validSlot(int slot) { return slot >= 0 && slot < PVK_OCR_MAX_ZONES; }

// The loop's characters that survive the output limit, and each slot's share of them: a slot
// that runs past the limit keeps what lies before it.
int keptTotal(ZoneOutput& out) {
  if (out.total <= kOutputLimit + 1) return out.total;
  WriteTrace("too many chararters returned", out.total, false);
  WriteTrace("limited to ", kOutputLimit, false);
  for (int s = 0; s < PVK_OCR_MAX_ZONES; ++s) {
    const int end = out.offset[s] + out.length[s];
    if (end > kOutputLimit) out.length[s] = out.offset[s] >= kOutputLimit ? 0 : kOutputLimit - out.offset[s];
  }
  return kOutputLimit;
}

void traceZone(int16_t font, int n, const char* text) {
  char head[48];
  std::snprintf(head, sizeof head, "font %d, nChar %d\t", font, n);
  std::string line(head);
  line.append(text, static_cast<size_t>(n));
  WriteTrace(line.c_str(), false);
}

}  // namespace

void startOutput(ZoneOutput& out, char* text, char* conf, int size) {
  out = ZoneOutput{};
  out.text = text;
  out.conf = conf;
  // Without a text buffer there is no room at all: nothing is written, the confidences included.
  out.size = text != nullptr && size > 0 ? size : 0;
  out.capacity = out.size;
  if (out.size > 0) std::memset(text, 0, static_cast<size_t>(out.size));
  if (conf != nullptr && out.size > 0) std::memset(conf, 0, static_cast<size_t>(out.size));
}

bool separateSlot(ZoneOutput& out, int slot) {
  if (out.capacity <= 1) {
    WriteTrace("no more space", slot, false);
    out.capacity = 0;
    return false;
  }
  out.text[out.total] = '\t';
  if (out.conf != nullptr) out.conf[out.total] = kSeparatorConf;
  ++out.total;
  --out.capacity;
  return true;
}

char* slotText(const ZoneOutput& out) { return out.text + out.total; }
char* slotConf(const ZoneOutput& out) { return out.conf == nullptr ? nullptr : out.conf + out.total; }

void recordSlot(ZoneOutput& out, int slot, int count) {
  if (count < 0) count = 0;
  const int room = out.capacity > 0 ? out.capacity - 1 : 0;
  if (count > room) count = room;
  if (validSlot(slot)) {
    out.offset[slot] = out.total;
    out.length[slot] = count;
  }
  out.total += count;
  out.capacity -= count;
}

bool putSlot(ZoneOutput& out, int slot, const char* text, const char* conf, int n) {
  if (text == nullptr || n < 0) n = 0;
  const int room = out.capacity > 0 ? out.capacity - 1 : 0;
  const int kept = n < room ? n : room;
  if (kept > 0) {
    std::memcpy(slotText(out), text, static_cast<size_t>(kept));
    if (out.conf != nullptr) {
      if (conf != nullptr)
        std::memcpy(slotConf(out), conf, static_cast<size_t>(kept));
      else
        std::memset(slotConf(out), 1, static_cast<size_t>(kept));
    }
  }
  recordSlot(out, slot, kept);
  return kept == n;
}

int arrangeOutput(ZoneOutput& out, const int* slotOf, const int16_t* fonts, int nCaller, uint16_t* counts,
                  bool& truncated) {
  truncated = false;
  if (out.text == nullptr || out.size <= 0) return 0;
  const int total = out.total < out.size ? out.total : out.size - 1;
  out.text[total] = '\0';
  WriteTrace("rearranging zones", false);
  const int kept = keptTotal(out);
  const std::vector<char> text(out.text, out.text + kept);
  const std::vector<char> conf = out.conf != nullptr ? std::vector<char>(out.conf, out.conf + kept) : std::vector<char>();
  std::memset(out.text, 0, static_cast<size_t>(out.size));
  if (out.conf != nullptr) std::memset(out.conf, 0, static_cast<size_t>(out.size));

  // Separators the loop did not write (slots skipped by a stop) may lengthen the output: it
  // stays within the buffer and the document's limit all the same.
  const int limit = std::min(out.size - 1, kept < out.total ? kOutputLimit : kOutputLimit + 1);
  int pos = 0;
  for (int i = 0; i < nCaller; ++i) {
    counts[i] = 0;
    const int s = slotOf[i];
    const int len = validSlot(s) ? out.length[s] : 0;
    if (i > 0) {
      if (pos >= limit) {
        truncated = true;
        continue;
      }
      out.text[pos] = '\t';
      if (out.conf != nullptr) out.conf[pos] = kSeparatorConf;
      ++pos;
    }
    const int n = len < limit - pos ? len : limit - pos;
    if (n < len) truncated = true;
    if (n <= 0) continue;
    std::memcpy(out.text + pos, text.data() + out.offset[s], static_cast<size_t>(n));
    if (out.conf != nullptr) std::memcpy(out.conf + pos, conf.data() + out.offset[s], static_cast<size_t>(n));
    if (IsCMC7Font(fonts[i])) CambiaSeparatoriCMC7(out.text + pos, static_cast<short>(n));
    if (MyOcr.cdlTxt != 0) traceZone(fonts[i], n, out.text + pos);
    counts[i] = static_cast<uint16_t>(n);
    pos += n;
  }
  out.total = pos;
  return pos;
}

}  // namespace pvk::reading
