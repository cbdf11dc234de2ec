// The cheque-number and ABI/CAB fields of an Italian codeline checked against a second reading
// (DataMatrix, OCR-B line, microperforation), and a microperforated cheque number made to agree
// with a reference number.
#include <cstring>

#include "reading/reading.h"

namespace pvk::reading {

void removeAt(char* text, char* conf, ChInfo* info, int& n, int pos) {
  if (pos < 0 || pos >= n) return;
  const size_t tail = static_cast<size_t>(n - pos - 1);
  std::memmove(text + pos, text + pos + 1, tail);
  if (conf) std::memmove(conf + pos, conf + pos + 1, tail);
  if (info) std::memmove(info + pos, info + pos + 1, tail * sizeof(ChInfo));
  --n;
  text[n] = 0;
  if (conf) conf[n] = 0;
}

void insertAt(char* text, char* conf, ChInfo* info, int& n, int pos, char c, uint8_t cf) {
  if (pos < 0) pos = 0;
  if (pos > n) pos = n;
  const size_t tail = static_cast<size_t>(n - pos);
  std::memmove(text + pos + 1, text + pos, tail);
  text[pos] = c;
  if (conf) {
    std::memmove(conf + pos + 1, conf + pos, tail);
    conf[pos] = static_cast<char>(cf);
  }
  if (info) {
    std::memmove(info + pos + 1, info + pos, tail * sizeof(ChInfo));
    ChInfo box{};
    if (n > 0) box = info[pos < n ? pos + 1 : pos - 1];
    info[pos] = box;
  }
  ++n;
  text[n] = 0;
  if (conf) conf[n] = 0;
}

}  // namespace pvk::reading

namespace {

using pvk::reading::insertAt;
using pvk::reading::removeAt;

inline uint8_t cf(const char* conf, int i) { return static_cast<uint8_t>(conf[i]); }
inline bool unusable(char c) { return c == '?' || c == ' '; }

// The twin rule of the cheque number and the ABI/CAB field: L positions closed by `closing`.
bool correggiCampo(char* code, char* codeConf, const char* ref, const char* refConf, uint8_t t, int L,
                   char closing) {
  if (!code || !codeConf || !ref || !refConf) return false;
  const int refLen = static_cast<int>(std::strlen(ref));
  if (refLen < L || static_cast<int>(std::strlen(code)) < L + 1) return false;
  const bool closed = code[L] == closing;
  const int m = refLen < L ? refLen : L;

  int differing = 0, e = 0;
  for (int i = 0; i < m; ++i) {
    if (code[i] == ref[i]) continue;
    ++differing;
    if (!unusable(ref[i]) && cf(refConf, i) >= t) ++e;
  }
  if (differing > 3) return false;

  int fixes = 0;
  for (int i = 0; i < m; ++i) {
    if (unusable(ref[i]) || cf(refConf, i) < t) continue;
    if (code[i] == ref[i]) {
      if (cf(codeConf, i) < t) ++fixes;
      codeConf[i] = 100;
      continue;
    }
    // A field whose closing character is off may be shifted: leave the rest alone.
    if (!closed) break;
    if (code[i] == ' ' || cf(codeConf, i) <= cf(refConf, i)) {
      code[i] = ref[i];
      ++fixes;
    }
    codeConf[i] = static_cast<char>(t);
  }
  return fixes > 0 && e <= fixes;
}

bool hasUnread(const char* s) { return std::strchr(s, '?') || std::strchr(s, ' '); }

// Step 2 of CorreggiNumero: lays the text over the reference, padding it with '?'. False when a
// 9-character text cannot be laid.
bool alignNumero(char* text, char* conf, int& n, const char* ref, int m) {
  const int refLen = static_cast<int>(std::strlen(ref));
  const bool atStart = n <= refLen && std::strncmp(ref, text, n) == 0;
  const bool atEnd = n <= refLen && std::strcmp(ref + refLen - n, text) == 0;
  if (atStart || atEnd || std::strstr(ref, text)) {
    if (atStart) {
      while (n < refLen) insertAt(text, conf, nullptr, n, n, '?', 1);
    } else if (atEnd) {
      while (n < m) insertAt(text, conf, nullptr, n, 0, '?', 1);
    }
    return true;
  }
  if (n != 9) return true;
  if (text[8] == '?' && refLen >= 8 && std::strncmp(text, ref, 8) == 0) {
    while (n < m) insertAt(text, conf, nullptr, n, n, '?', 1);
    return true;
  }
  return false;
}

// Steps 4 and 5: an 11- or 12-character text cut down to 10; false when it cannot be.
bool cutNumero(char* text, char* conf, int& n, const char* ref) {
  while (n >= 11) {
    const char* at = ref[0] ? std::strstr(text, ref) : text;
    if (!at) break;
    const int k = static_cast<int>(at - text);
    if (k + 10 < n) {
      n = k + 10;
      text[n] = 0;
      conf[n] = 0;
    }
    while (n > 10) removeAt(text, conf, nullptr, n, 0);
  }
  if (n == 12) {
    if (text[0] == '?' && text[1] == ' ') {
      removeAt(text, conf, nullptr, n, 0);
      removeAt(text, conf, nullptr, n, 0);
    }
    if (n == 12 && text[10] == ' ' && text[11] == '?') {
      removeAt(text, conf, nullptr, n, 11);
      removeAt(text, conf, nullptr, n, 10);
    }
  }
  if (n == 11) {
    if (text[0] == '?' && text[9] != '?')
      removeAt(text, conf, nullptr, n, 0);
    else if (text[9] == '?' && text[0] != '?')
      removeAt(text, conf, nullptr, n, 10);
    else
      return false;
  }
  return n == 10;
}

}  // namespace

bool CorreggiNAssegno(char* code, char* codeConf, char* ref, char* refConf, unsigned char t) {
  return correggiCampo(code, codeConf, ref, refConf, t, 10, ';');
}

bool CorreggiABIeCAB(char* code, char* codeConf, char* ref, char* refConf, unsigned char t) {
  return correggiCampo(code, codeConf, ref, refConf, t, 9, '>');
}

bool CorreggiNumero(char* text, char* conf, char* ref, unsigned char confValue, bool relaxed) {
  if (!text || !conf || !ref || !text[0]) return false;
  int n = static_cast<int>(std::strlen(text));
  int m = 10;
  if (!relaxed) {
    if (n == 10 && !hasUnread(text)) return false;
    if (std::strlen(ref) != 10 || std::strchr(ref, '?')) return false;
  } else {
    m = static_cast<int>(std::strlen(ref));
  }
  if (!alignNumero(text, conf, n, ref, m)) return false;
  if (n < 10) return false;
  if (!cutNumero(text, conf, n, ref)) return false;

  // Only the positions the reference has are compared: a short reference (relaxed) leaves the
  // rest of the number as read.
  const int cmp = m < 10 ? m : 10;
  int d = 0, u = 0;
  for (int i = 0; i < cmp; ++i) {
    if (text[i] == ref[i]) continue;
    if (unusable(text[i]))
      ++u;
    else
      ++d;
  }
  if (d > 1 || d + u == 0 || d + u > 3) return false;
  for (int i = 0; i < cmp; ++i) {
    if (text[i] == ref[i] || ref[i] == '?') continue;
    const bool certain = !unusable(text[i]) && cf(conf, i) == 100;
    conf[i] = static_cast<char>(confValue);
    if (!certain) text[i] = ref[i];
  }
  return std::strchr(text, '?') == nullptr;
}
