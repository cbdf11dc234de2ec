// The result list of the linear barcode reader: readings kept in position order, one blank of
// confidence 100 between two, merged reading by reading as the passes find them; and the
// Code 32 conversion.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/trace.h"
#include "symbols/symbols.h"

namespace {

// A separator looks like a one-character reading at position 0: a blank of length 1.
bool beginsReading(const char* text, const unsigned short* start, const unsigned short* length, int k) {
  return length[k] > 0 && !(text[k] == ' ' && length[k] == 1 && start[k] == 0);
}

void terminate(char* text, char* conf, int n) {
  text[n] = 0;
  conf[n] = 0;
}

// Moves entries [from, count) by delta (either way) in all four arrays.
void shiftTail(char* text, char* conf, unsigned short* start, unsigned short* length, int from, int count, int delta) {
  int n = count - from;
  if (n <= 0) return;
  std::memmove(text + from + delta, text + from, static_cast<size_t>(n));
  std::memmove(conf + from + delta, conf + from, static_cast<size_t>(n));
  std::memmove(start + from + delta, start + from, sizeof(unsigned short) * static_cast<size_t>(n));
  std::memmove(length + from + delta, length + from, sizeof(unsigned short) * static_cast<size_t>(n));
}

void putSeparator(char* text, char* conf, unsigned short* start, unsigned short* length, int at) {
  text[at] = ' ';
  conf[at] = 100;
  start[at] = 0;
  length[at] = 1;
}

}  // namespace

void SetIniEnd(unsigned short* start, unsigned short* length, unsigned short position, int n) {
  if (n < 1) return;
  start[0] = position;
  length[0] = static_cast<unsigned short>(n);
  for (int i = 1; i < n; ++i) start[i] = length[i] = 0;
}

int ChechIfToDelete(int pos, int n, const char* text, const char* conf) {
  if (pos >= n || text[pos] == '\r' || text[pos] == '\n' || text[pos] == ' ' || conf[pos] >= 20) return 0;
  int k = pos;
  while (k < n && conf[k] <= 19) ++k;
  return k - pos;
}

int AggiungiBarCode(char* text, char* conf, unsigned short* start, unsigned short* length, int at, int* count,
                    int limit, const char* newText, const char* newConf, const unsigned short* newStart,
                    const unsigned short* newLength, int j) {
  int n = newLength[j];
  if (n <= 0) return 1;
  // A short and weak reading is noise.
  if (newConf[j] < 50 && n < 5) return 1;
  int c = *count;
  at = std::clamp(at, 0, c);
  int added = c == 0 ? n : n + 1;
  // The reading, its separator and the terminator must fit in the caller's entries.
  if (c + added + 1 > limit) {
    char shown[kMaxBarcodeChars + 1];
    int k = std::min(n, kMaxBarcodeChars);
    std::memcpy(shown, newText + j, static_cast<size_t>(k));
    shown[k] = 0;
    WriteTrace("skipping barcode (no space) ", shown, false);
    return 0;
  }
  int place = at;
  if (c == 0) {
    place = 0;
  } else if (at < c) {
    shiftTail(text, conf, start, length, at, c, n + 1);
    putSeparator(text, conf, start, length, at + n);
  } else {
    putSeparator(text, conf, start, length, c);
    place = c + 1;
  }
  std::memcpy(text + place, newText + j, static_cast<size_t>(n));
  std::memcpy(conf + place, newConf + j, static_cast<size_t>(n));
  std::memcpy(start + place, newStart + j, sizeof(unsigned short) * static_cast<size_t>(n));
  std::memcpy(length + place, newLength + j, sizeof(unsigned short) * static_cast<size_t>(n));
  *count = c + added;
  terminate(text, conf, *count);
  return 1;
}

void RimuoviBarCode(char* text, char* conf, unsigned short* start, unsigned short* length, int at, int n,
                    int* count) {
  int c = *count;
  if (at < 0 || n <= 0 || at >= c) return;
  n = std::min(n, c - at);
  if (at + n < c) {
    ++n;  // the separator after it
  } else if (at > 0 && text[at - 1] == ' ' && length[at - 1] == 1) {
    --at;  // the last reading takes the separator before it
    ++n;
  }
  shiftTail(text, conf, start, length, at + n, c, -n);
  *count = c - n;
  terminate(text, conf, *count);
}

namespace {

// Whether a surer and longer reading of the list holds the n characters at text + i.
bool insideSurer(const char* text, const char* conf, const unsigned short* start, const unsigned short* length,
                 int count, int i, int n) {
  for (int j = 0; j < count;) {
    int m = std::min<int>(length[j], count - j);
    if (!beginsReading(text, start, length, j)) {
      ++j;
      continue;
    }
    const char* end = text + j + m;
    if (j != i && m > n && conf[j] > conf[i] && std::search(text + j, end, text + i, text + i + n) != end) return true;
    j += m;
  }
  return false;
}

}  // namespace

// A scan line that crosses a tilted symbol near one end sees paper, then only the symbol's
// tail (or head): where no check character guards the symbology, that piece decodes as a
// shorter symbol of its own. Found whole inside a surer reading of the same zone, it is that
// reading's piece.
int DropPieces(char* text, char* conf, unsigned short* start, unsigned short* length, int count) {
  for (int i = 0; i < count;) {
    int n = std::min<int>(length[i], count - i);
    if (!beginsReading(text, start, length, i)) {
      ++i;
    } else if (insideSurer(text, conf, start, length, count, i, n)) {
      RimuoviBarCode(text, conf, start, length, i, n, &count);
    } else {
      i += n;
    }
  }
  return count;
}

void AggiornaBest(char* text, char* conf, unsigned short* start, unsigned short* length, int* count, int limit,
                  const char* newText, const char* newConf, const unsigned short* newStart,
                  const unsigned short* newLength, int newCount) {
  if (!newText || newCount <= 0 || !newText[0]) return;
  if (newCount > limit) {
    WriteTrace("barcode reading - too many char", newCount, false);
    newCount = limit;
  }
  // The new readings' confidences may be lowered: work on a copy.
  std::vector<char> nc(newConf, newConf + newCount);
  auto insertAt = [&](int at, int j) {
    return AggiungiBarCode(text, conf, start, length, at, count, limit, newText, nc.data(), newStart, newLength, j);
  };
  int j = 0;
  while (j < newCount && !beginsReading(newText, newStart, newLength, j)) ++j;
  if (j >= newCount) return;
  if (*count <= 0) {
    *count = 0;
    insertAt(0, j);
    return;
  }
  if (text[*count] != 0) terminate(text, conf, *count);
  int i = 0;
  while (i < *count && j < newCount) {
    if (!beginsReading(newText, newStart, newLength, j)) {
      ++j;
      continue;
    }
    if (!beginsReading(text, start, length, i)) {
      ++i;
      continue;
    }
    int d = static_cast<int>(start[i]) - static_cast<int>(newStart[j]);
    int kn = length[i], nn = newLength[j];
    if (d >= -49 && d <= 49) {
      if (kn == nn && i + kn <= *count && j + nn <= newCount && std::memcmp(text + i, newText + j, kn) == 0) {
        // The same reading again: it grows surer.
        if (conf[i] == 100) {
          ++i;
          ++j;
        } else {
          for (int k = 0; k < kn; ++k) conf[i + k] = static_cast<char>(std::min(conf[i + k] + nc[j + k], 100));
          i += kn;
          j += nn;
        }
      } else if (nc[j] >= conf[i]) {
        for (int k = 0; k < nn && j + k < newCount; ++k) nc[j + k] = static_cast<char>(std::max(nc[j + k] - conf[i], 0));
        RimuoviBarCode(text, conf, start, length, i, kn, count);
        insertAt(i, j);
        ++i;
        ++j;
      } else {
        int lower = nc[j];
        for (int k = 0; k < kn && i + k < *count; ++k) conf[i + k] = static_cast<char>(std::max(conf[i + k] - lower, 0));
        ++i;
        ++j;
      }
    } else if (d < -49) {
      ++i;
    } else {
      insertAt(i, j);
      ++j;
    }
  }
  while (j < newCount && !beginsReading(newText, newStart, newLength, j)) ++j;
  if (j < newCount && i >= *count) insertAt(*count, j);
}

int Base32ToBase10(char* text, char* conf) {
  if (!text || !conf || !text[0]) return 0;
  long long value = 0;
  int n = 0, confSum = 0;
  for (; text[n]; ++n) {
    char c = text[n];
    int digit;
    if (c < '0' || c > 'Z' || (c > '9' && c < 'B')) return -1;
    // The vowels are not in the alphabet (they would alias 13, 15 and 21).
    if (c == 'E' || c == 'I' || c == 'O') return -1;
    if (c <= '9') digit = c - '0';
    else if (c <= 'E') digit = c - 56;
    else if (c <= 'H') digit = c - 57;
    else if (c <= 'O') digit = c - 58;
    else digit = c - 59;
    value = value * 32 + digit;
    if (value > 999999999) return -1;
    confSum += static_cast<unsigned char>(conf[n]);
  }
  int c = std::max(0, std::min<int>(Confidence_ChecSumOK, confSum / n));
  std::snprintf(text, 10, "%09d", static_cast<int>(value));
  for (int i = 0; i < 9; ++i) conf[i] = static_cast<char>(c);
  conf[9] = 0;
  return 9;
}
