// The overall confidence of a finished reading, by which the zone reader chooses among its
// readings; on the way it keeps the better of two lines and applies the last per-font tidying.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "ocr/ocr.h"

using namespace pvk::ocr;

namespace {

struct Reading {
  char* text;
  char* conf;
  ChInfo* info;
  int& n;
  void remove(int i) const { RimuoviCarattere(text, conf, info, i, n); }
  // Removes the blank-isolated character at i and the blank after it; the blank before takes
  // the right column of the removed one.
  void removeIsolated(int i) const {
    info[i - 1].right = info[i + 1].right;
    remove(i);
    remove(i);
  }
};

long confSum(const char* conf, int from, int to) {
  long s = 0;
  for (int i = from; i < to; ++i) s += conf[i];
  return s;
}

// A reading of two lines keeps its better line.
void keepBetterLine(const Reading& r, bool edit, unsigned short spare, int cr) {
  const int second = std::min(cr + 2, r.n);
  OcrReading line2{};
  int l2 = r.n - second;
  std::memcpy(line2.text, r.text + second, static_cast<size_t>(l2));
  std::memcpy(line2.conf, r.conf + second, static_cast<size_t>(l2));
  std::memcpy(line2.info, r.info + second, static_cast<size_t>(l2) * sizeof(ChInfo));
  int l1 = cr;
  r.text[cr] = '\0';
  const int c1 = CalCumulaConf(r.text, r.conf, r.info, l1, edit, spare);
  const int c2 = CalCumulaConf(line2.text, line2.conf, line2.info, l2, edit, spare);

  bool keepFirst;
  if (l1 == 0) keepFirst = false;
  else if (l2 == 0) keepFirst = true;
  else if (c1 > c2 && l1 > l2) keepFirst = true;
  else if (c2 > c1 && l2 > l1) keepFirst = false;
  else keepFirst = confSum(r.conf, 0, l1) > confSum(line2.conf, 0, l2);

  if (keepFirst) {
    r.n = l1;
  } else {
    std::memcpy(r.text, line2.text, static_cast<size_t>(l2));
    std::memcpy(r.conf, line2.conf, static_cast<size_t>(l2));
    std::memcpy(r.info, line2.info, static_cast<size_t>(l2) * sizeof(ChInfo));
    r.n = l2;
  }
  r.text[r.n] = '\0';
}

// The columns two neighbours may share and both stay: two, or in the kerned payee face a sixth
// of the narrower one (an A under a V).
int sharedColumns(const ChInfo& prev, const ChInfo& cur) {
  if (MyOcr.currentFont != 945) return 2;
  const int narrow = std::min(prev.right - prev.left, cur.right - cur.left);
  return std::max(2, narrow / 6);
}

void settleOverlaps(const Reading& r) {
  for (int i = 1; i < r.n;) {
    const char c = r.text[i], p = r.text[i - 1];
    ChInfo& cur = r.info[i];
    ChInfo& prev = r.info[i - 1];
    if (c == ' ' || isLineBreak(c) || isLineBreak(p) || cur.left >= prev.right) { ++i; continue; }
    const int overlap = prev.right - cur.left;
    const bool sized = cur.right - cur.left > 3 && prev.right - prev.left > 3;
    if (overlap <= sharedColumns(prev, cur) && sized) { ++i; continue; }
    if (p == ' ') {
      prev.right = columnBefore(cur.left);
      ++i;
    } else if (r.conf[i - 1] > r.conf[i] + 10) {
      r.remove(i);
    } else if (r.conf[i] > r.conf[i - 1] + 10) {
      r.remove(i - 1);
      i = std::max(1, i - 1);
    } else {
      r.conf[i - 1] = halvedConf(r.conf[i - 1]);
      r.conf[i] = halvedConf(r.conf[i]);
      ++i;
    }
  }
}

bool amountMark(char c) { return c == ',' || c == '*' || c == '?'; }

void tidyAmount944(const Reading& r) {
  while (r.n > 0 && (r.text[0] == ',' || r.text[0] == ' ')) r.remove(0);
  for (int i = 0; i < r.n && amountMark(r.text[i]);) {
    if (r.text[i] == ',') r.remove(i);
    else ++i;
  }
  while (r.n > 0 && (r.text[r.n - 1] == ',' || r.text[r.n - 1] == ' ')) r.remove(r.n - 1);
}

bool keptIn(short font, char c) {
  if (isDigit(c)) return true;
  if (font == 944) return amountMark(c);
  if (std::isalpha(static_cast<unsigned char>(c))) return true;
  return std::strchr(",*&'#/?\\", c) != nullptr && c != '\0';
}

// Fonts 944 and 945: characters foreign to the field become blanks. valid counts the kept
// characters, connected those with a kept neighbour.
void keepFieldCharacters(const Reading& r, short font, int& valid, int& connected) {
  valid = connected = 0;
  for (int i = 0; i < r.n; ++i) {
    if (keptIn(font, r.text[i])) ++valid;
    else r.text[i] = ' ';
  }
  for (int i = 0; i < r.n; ++i)
    if (r.text[i] != ' ' && ((i > 0 && r.text[i - 1] != ' ') || (i + 1 < r.n && r.text[i + 1] != ' '))) ++connected;
  while (r.n > 0 && r.text[0] == ' ') r.remove(0);
  for (int i = 1; i < r.n;) {
    if (r.text[i] == ' ' && r.text[i - 1] == ' ') {
      r.info[i - 1].right = r.info[i].right;
      r.remove(i);
    } else {
      ++i;
    }
  }
}

bool weakensPunctuation(char c) { return c == 'a' || c == 'b' || isCapital(c); }

void weakenPunctuation(const Reading& r) {
  for (int i = 1; i <= r.n - 3; ++i) {
    const char c = r.text[i];
    if (isBlankOrUnread(c) || static_cast<unsigned char>(c) > 46) continue;
    if (weakensPunctuation(r.text[i - 1])) r.conf[i] = static_cast<char>(std::max(1, r.conf[i] * 2 / 3));
    if (weakensPunctuation(r.text[i + 1])) r.conf[i] = static_cast<char>(std::max(1, r.conf[i] * 2 / 3));
  }
}

bool between2Blanks(const Reading& r, int i) {
  return i > 0 && i + 1 < r.n && r.text[i - 1] == ' ' && r.text[i + 1] == ' ';
}

bool e13bSeparatorOrBlank(char c) { return c == ' ' || (c >= ':' && c <= '='); }

void tidyE13B(const Reading& r) {
  for (int i = 0; i < r.n; ++i) {
    if (r.text[i] != '=') continue;
    const bool exposed = r.n >= 3 && (i == 0 || i == r.n - 1 || between2Blanks(r, i));
    if (r.conf[i] <= 9 || (exposed && r.conf[i] < 20)) {
      r.text[i] = '?';
      r.conf[i] = 1;
    }
  }
  if (r.n >= 2 && r.text[0] == '?' && e13bSeparatorOrBlank(r.text[1])) {
    r.remove(0);
    if (r.n > 0 && r.text[0] == ' ') r.remove(0);
  }
  if (r.n >= 2 && r.text[r.n - 1] == '?' && e13bSeparatorOrBlank(r.text[r.n - 2])) {
    r.remove(r.n - 1);
    if (r.n > 0 && r.text[r.n - 1] == ' ') r.remove(r.n - 1);
  }
}

int finalConfidence(const Reading& r, bool edit) {
  long sum = 0;
  int count = 0;
  bool unread = false;
  for (int i = 0; i < r.n; ++i) {
    const char c = r.text[i];
    if (c == ' ' || isLineBreak(c)) continue;
    ++count;
    if (c == '?') {
      sum -= 30;
      unread = true;
    } else {
      sum += r.conf[i];
    }
  }
  int result = static_cast<int>(std::max<long>(1, sum / std::max(1, count)));
  if (MyOcr.currentFont == 12 && r.n != 16) result /= std::abs(r.n - 16);
  if (r.n >= 4) {
    for (int i = 0; i + 2 < r.n; ++i) {
      if (r.text[i] == 'I' && r.text[i + 1] == 'I' && r.text[i + 2] == 'I') {
        RiduciConfidenza(result, r.conf, r.n, 0.5f, edit);
        break;
      }
    }
  }
  return std::clamp(result, 1, unread ? 90 : 100);
}

}  // namespace

int CalCumulaConf(char* text, char* conf, ChInfo* info, int& n, bool edit, unsigned short spare) {
  if (text == nullptr || conf == nullptr || info == nullptr || n < 1) return 0;
  const Reading r{text, conf, info, n};
  const short font = MyOcr.currentFont;
  const int cr = findInReading(text, n, '\r');
  if (MyOcr.multiLine && font != 944 && font != 945 && cr >= 0) keepBetterLine(r, edit, spare, cr);
  if (n == 0) return 0;
  settleOverlaps(r);
  if (n == 0) return 0;
  if (IsMICROPERFORATIONFont(font, true) && VerificaMicroforaturaConPulizia(text, conf, info, n)) return 100;
  if (font == 944) {
    tidyAmount944(r);
    if (n == 0) return 0;
  }
  if (IsCMC7Font(font)) {
    for (int i = 1; i + 1 < n;) {
      if (text[i] == '?' && between2Blanks(r, i)) r.removeIsolated(i);
      else ++i;
    }
  }
  int valid = 0, connected = 0;
  if (font == 944 || font == 945) keepFieldCharacters(r, font, valid, connected);
  if (edit && n >= 3) weakenPunctuation(r);
  if (font == 945 && edit) {
    const bool loose = n > 5 && connected < (n < 12 ? 3 : n / 4);
    if (loose || n - valid > (valid > 8 ? valid / 3 : 3))
      for (int i = 0; i < n; ++i) conf[i] = halvedConf(conf[i]);
  }
  if (n >= 3) {
    for (int i = 1; i + 1 < n;) {
      if (conf[i] <= 9 && text[i] != ' ' && between2Blanks(r, i)) r.removeIsolated(i);
      else ++i;
    }
  }
  // The stars that fence an amount on the right are part of it, as those on the left are.
  if (font == 944) {
    while (n > 0 && text[n - 1] == ' ') r.remove(n - 1);
    if (n == 0) return 0;
  }
  if (font == 1) {
    tidyE13B(r);
    if (n == 0) return 0;
  }
  return finalConfidence(r, edit);
}
