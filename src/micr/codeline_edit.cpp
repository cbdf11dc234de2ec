// Editing of the codeline arrays: insert, remove and copy entries with the five arrays kept
// aligned, and the clean-up passes that drop unread symbols and stray blanks.
#include <algorithm>
#include <cstring>

#include "core/trace.h"
#include "micr/micr.h"
#include "ocr/ocr.h"  // IsSeparatore

using pvk::micr::confOf;
using pvk::micr::isRead;

void RimuoviCar(char* text, char* conf, int* start, int* end, int* height, int index, int& n) {
  if (n < 1 || n > kCdlUsable || index < 0 || index >= n) return;
  for (int i = index; i + 1 < n; ++i) {
    text[i] = text[i + 1];
    conf[i] = conf[i + 1];
    start[i] = start[i + 1];
    end[i] = end[i + 1];
    if (height) height[i] = height[i + 1];
  }
  --n;
  text[n] = 0;
}

void RimuoviCar(char* text, char* conf, int index, int& n) {
  if (n < 1 || n > kCdlUsable || index < 0 || index >= n) return;
  for (int i = index; i + 1 < n; ++i) {
    text[i] = text[i + 1];
    conf[i] = conf[i + 1];
  }
  --n;
  text[n] = 0;
}

void RimuoviCarEDecrementa(char* text, char* conf, int* start, int* end, int* height, int& index, int& n) {
  if (n < 1 || n > kCdlUsable || index < 0 || index >= n) return;
  const int i = index;
  RimuoviCar(text, conf, start, end, height, i, n);
  if (i > 1 && text[i - 1] == ' ') {
    if (i < n) {
      // The blank reaches up to the entry that follows it now.
      end[i - 1] = start[i] - 1;
    } else {
      // A blank left at the end is no blank between symbols any more.
      --n;
      text[n] = 0;
      conf[n] = 0;
      --index;
    }
  }
  --index;
}

void RimuoviCarEDecrementa(char* text, char* conf, int& index, int& n) {
  if (n < 1 || n > kCdlUsable || index < 0 || index >= n) return;
  RimuoviCar(text, conf, index, n);
  --index;
}

void AggungiCar(char* text, char* conf, int* start, int* end, int* height, int pos, int& n, char ch, char cf, int s,
                int e, int h) {
  if (n > kCdlUsable - 1 || n < 0 || pos < 0) return;
  if (pos > n) pos = n;
  for (int i = n; i > pos; --i) {
    text[i] = text[i - 1];
    conf[i] = conf[i - 1];
    start[i] = start[i - 1];
    end[i] = end[i - 1];
    if (height) height[i] = height[i - 1];
  }
  text[pos] = ch;
  conf[pos] = cf;
  start[pos] = s;
  end[pos] = e;
  if (height) height[pos] = h;
  ++n;
  text[n] = 0;
  conf[n] = 0;
}

void SostituisciCarattereCMC(char* textA, char* confA, int* startA, int* endA, int* heightA, int j, char* textB,
                             char* confB, int* startB, int* endB, int* heightB, int k) {
  if (j < 0 || j >= kCdlUsable || k < 0 || k >= kCdlUsable) return;
  textB[k] = textA[j];
  confB[k] = confA[j];
  startB[k] = startA[j];
  endB[k] = endA[j];
  if (heightA && heightB) heightB[k] = heightA[j];
}

void SostituisciCarattereCMC(char* text, char* conf, int* start, int* end, int* height, int k, int j) {
  if (j < 0 || j >= kCdlUsable || k < 0 || k >= kCdlUsable) return;
  text[k] = text[j];
  conf[k] = conf[j];
  start[k] = start[j];
  end[k] = end[j];
  if (height) height[k] = height[j];
}

void RimuoviCHNR(char* text, char* conf, int* start, int* end, int* height, int& n) {
  for (int i = 0; i < n; ++i)
    if (text[i] == '?') RimuoviCar(text, conf, start, end, height, i--, n);
  while (n > 0 && text[0] == ' ') RimuoviCar(text, conf, start, end, height, 0, n);
  while (n > 0 && text[n - 1] == ' ') RimuoviCar(text, conf, start, end, height, n - 1, n);
  for (int i = 1; i < n; ++i)
    if (text[i] == ' ' && text[i - 1] == ' ') {
      end[i - 1] = end[i];
      RimuoviCar(text, conf, start, end, height, i--, n);
    }
}

void VerificaCHNR(char* text, char* conf, int* start, int* end, int* height, int& n, int w) {
  for (int i = 0; i < n; ++i) {
    if (text[i] != '?') continue;
    const bool readBefore = i > 0 && isRead(text[i - 1]);
    const bool readAfter = i + 1 < n && isRead(text[i + 1]);
    if (readBefore && end[i - 1] > start[i]) start[i] = end[i - 1] + 1;
    if (readAfter && start[i + 1] < end[i]) end[i] = std::max(0, start[i + 1] - 1);
    const bool squeezed = readBefore && readAfter && start[i + 1] - end[i - 1] < w;
    if (squeezed || end[i] - start[i] <= 2 * w / 3) RimuoviCar(text, conf, start, end, height, i--, n);
  }
}

void VerificaAggiungiSpazi(char* text, char* conf, int* start, int* end, int* height, int& n, int w, bool flag) {
  for (int i = 0; i < n; ++i)
    if (text[i] == ' ') RimuoviCar(text, conf, start, end, height, i--, n);
  VerificaCHNR(text, conf, start, end, height, n, w / 3);
  for (int i = 0; i + 1 < n && n < kCdlUsable; ++i) {
    if (text[i] == ' ' || text[i + 1] == ' ') continue;
    if (start[i + 1] - end[i] > w) {
      const int s = end[i] + 1, e = start[i + 1] - 1;
      AggungiCar(text, conf, start, end, height, i + 1, n, ' ', flag ? 100 : 4, s, e, 1);
      ++i;  // past the new blank
    }
  }
  if (n >= 0 && n <= kCdlUsable) {
    text[n] = 0;
    conf[n] = 0;
  }
}

void VerificaAggiungiSpazi(char* text, char* conf, int* start, int* end, int* height, int& n, int w) {
  VerificaAggiungiSpazi(text, conf, start, end, height, n, w, false);
}

void VerificaCaratteriTroppoVicini(char* text, char* conf, int* start, int* end, int n) {
  for (int i = 0; i + 1 < n && i + 1 < kCdlUsable; ++i) {
    if (text[i] == ' ' || !isRead(text[i + 1])) continue;
    if (start[i + 1] - end[i] >= datiCmc[11]) continue;
    if (confOf(conf[i + 1]) < 3) {
      text[i + 1] = '?';
      conf[i + 1] = 1;
    } else {
      --conf[i + 1];
    }
  }
}

int ConfMicrNoBarre(int a, int b, int c, char& ch) {
  const int r = std::max(1, std::min(a - c, b));
  if (ch != '?' && r <= 9) ch = '?';
  return r;
}

namespace {

bool unreadOrBlank(char c) { return c == '?' || c == ' '; }

// Unread symbols before a leading separator and after a trailing one are no characters.
void trimAroundSeparators(char* text, char* conf, int& n) {
  const int head = std::min(n, 5);
  for (int i = 0; i < head; ++i) {
    if (unreadOrBlank(text[i])) continue;
    if (IsSeparatore(text[i]) && unreadOrBlank(text[0]))
      while (n > 0 && unreadOrBlank(text[0])) RimuoviCar(text, conf, 0, n);
    break;
  }
  for (int i = n - 1; i >= 1; --i) {
    if (unreadOrBlank(text[i])) continue;
    if (IsSeparatore(text[i])) {
      while (n > 1 && unreadOrBlank(text[n - 1])) RimuoviCar(text, conf, n - 1, n);
      break;
    }
    if (confOf(conf[i]) > 49) break;
  }
}

}  // namespace

void PulisciAssegniMinima(char* text, char* conf, int& n) {
  if (n < 0 || n > kCdlUsable) return;
  if (std::memchr(text, '?', static_cast<size_t>(n)) != nullptr) {
    trimAroundSeparators(text, conf, n);
    // An unread symbol where the cheque layout has its field gaps is the gap.
    if (n > 22 && text[12] == '?' && (text[11] == '=' || text[11] == ';') && text[22] == '>') text[12] = ' ';
    if (n > 32 && text[23] == '?' && text[22] == '>' && text[32] == '<') text[23] = ' ';
  }
  for (int i = 1; i < n; ++i)
    if (text[i] == ' ' && text[i - 1] == ' ') RimuoviCar(text, conf, i--, n);
  if (n > 0 && text[0] == ' ') RimuoviCar(text, conf, 0, n);
  if (n > 0 && text[n - 1] == ' ') RimuoviCar(text, conf, n - 1, n);
}

void TraceCnf(const char* conf, int n) {
  char line[kCdlChars + 1] = {};
  const int count = std::clamp(n, 0, kCdlChars);
  for (int i = 0; i < count; ++i) {
    const int c = confOf(conf[i]);
    line[i] = c == kConfAgree ? 'B' : c > 99 ? 'A' : static_cast<char>('0' + std::max(0, c) / 10);
  }
  WriteTrace(line, false);
}
