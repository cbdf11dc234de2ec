// Edits of a recognised reading: removal, insertion and replacement of one character with the
// text, confidences and boxes kept index by index, and the small trims that the zone reader,
// the merging of readings and the codeline readers apply at the ends of a line.
#include <algorithm>
#include <cstring>

#include "core/trace.h"
#include "ocr/ocr.h"

namespace pvk::ocr {

int findInReading(const char* text, int n, char c, int from) {
  if (text == nullptr) return -1;
  for (int i = std::max(from, 0); i < n; ++i)
    if (text[i] == c) return i;
  return -1;
}

const DBEntry* readingDB(uint8_t index) {
  if (DBList == nullptr || index >= nDBLoaded) return nullptr;
  return &DBList[index];
}

float readingSpaceFactor(uint8_t index) {
  const DBEntry* db = readingDB(index);
  return db != nullptr ? db->spaceFactor : 0.9f;
}

}  // namespace pvk::ocr

using namespace pvk::ocr;

namespace {

uint16_t toColumn(int x) { return static_cast<uint16_t>(std::clamp(x, 0, 0xFFFF)); }

uint16_t addCounts(uint16_t a, uint16_t b) { return static_cast<uint16_t>(std::min(a + b, 0xFFFF)); }

void cutAt(char* text, char* conf, int pos, int& n) {
  text[pos] = '\0';
  if (conf != nullptr) conf[pos] = 0;
  n = pos;
}

}  // namespace

void RimuoviCarattere(char* text, char* conf, ChInfo* info, int pos, int& n) {
  // A negative position would move entry 0 to the place before the arrays.
  if (text == nullptr || n < 1 || pos < 0) return;
  if (pos < n) {
    const size_t tail = static_cast<size_t>(n - pos);  // entries pos + 1 .. n, the terminator included
    std::memmove(text + pos, text + pos + 1, tail);
    if (conf != nullptr) std::memmove(conf + pos, conf + pos + 1, tail);
    if (info != nullptr) std::memmove(info + pos, info + pos + 1, tail * sizeof(ChInfo));
  }
  --n;
}

void AggiungiCarattere(char c, char cf, ChInfo ci, char* text, char* conf, ChInfo* info, int pos, int max,
                       int& n) {
  if (text == nullptr || n < 0 || n + 1 >= max || pos < 0) return;
  if (pos < n) {
    const size_t tail = static_cast<size_t>(n - pos);
    std::memmove(text + pos + 1, text + pos, tail);
    if (conf != nullptr) std::memmove(conf + pos + 1, conf + pos, tail);
    if (info != nullptr) std::memmove(info + pos + 1, info + pos, tail * sizeof(ChInfo));
  } else {
    pos = n;
  }
  text[pos] = c;
  if (conf != nullptr) conf[pos] = cf;
  if (info != nullptr) info[pos] = ci;
  ++n;
  text[n] = '\0';
}

void RimuoviCRLF(char* text, char* conf, ChInfo* info, int& n) {
  if (text == nullptr || n <= 0) return;
  for (int i = 0; i < n; ++i) {
    if (text[i] != '\r') continue;
    text[i] = ' ';
    if (i + 1 < n && text[i + 1] == '\n') RimuoviCarattere(text, conf, info, i + 1, n);
  }
}

void RimuoviCHNRInizialiEFinali(char* text, char* conf, ChInfo* info, int& n) {
  if (text == nullptr) return;
  while (n >= 2 && text[0] == '?' && text[1] == ' ') {
    RimuoviCarattere(text, conf, info, 0, n);
    RimuoviCarattere(text, conf, info, 0, n);
  }
  while (n > 1 && text[n - 2] == ' ' && text[n - 1] == '?') {
    RimuoviCarattere(text, conf, info, n - 1, n);
    RimuoviCarattere(text, conf, info, n - 1, n);
  }
}

void RimuoviSpaziEsterniEDoppi(char* text, char* conf, ChInfo* info, int& n) {
  if (text == nullptr) return;
  while (n > 0 && text[0] == ' ') RimuoviCarattere(text, conf, info, 0, n);
  while (n > 0 && text[n - 1] == ' ') RimuoviCarattere(text, conf, info, n - 1, n);
  if (n < 2) return;
  for (int i = 1; i < n;) {
    if (text[i] != ' ') {
      ++i;
    } else if (text[i - 1] == ' ') {
      if (info != nullptr) info[i - 1].right = info[i].right;
      RimuoviCarattere(text, conf, info, i, n);
    } else if (text[i - 1] == '\'' || text[i - 1] == '\n') {
      RimuoviCarattere(text, conf, info, i, n);
    } else if (i + 1 < n && (text[i + 1] == '.' || text[i + 1] == '\'')) {
      RimuoviCarattere(text, conf, info, i, n);
      ++i;  // past the '.' or apostrophe that moved to i
    } else {
      ++i;
    }
  }
}

void CercaCaratterePeggiore(char* text, char* conf, ChInfo* info, int n, char& worst, int& minCount) {
  worst = 'n';
  minCount = 999999;
  if (text != nullptr && conf != nullptr) {
    for (int i = 0; i < n; ++i) {
      if (text[i] == ' ' || isLineBreak(text[i])) continue;
      worst = std::min(worst, conf[i]);
      if (text[i] != '?' && info != nullptr) minCount = std::min<int>(minCount, info[i].agreement);
    }
  }
  if (minCount == 999999) minCount = 0;
}

void RiduciConfidenza(int& total, char* conf, int n, float factor, bool perChar) {
  auto scaled = [factor](int v) { return std::clamp(static_cast<int>(v * factor), 1, 100); };
  if (perChar && conf != nullptr)
    for (int i = 0; i < n; ++i) conf[i] = static_cast<char>(scaled(conf[i]));
  total = scaled(total);
}

bool RimuoviSchifezzeFinali(char* text, char* conf, int& n) {
  if (text == nullptr) return false;
  auto kept = [](char c) { return isDigit(c) || isCapital(c) || c == ' '; };
  int i = n - 1;
  while (i >= 3 && !kept(text[i])) --i;
  const bool cut = i >= 3 ? text[i] == ' ' : i == 2 && !isDigit(text[2]) && !isCapital(text[2]);
  if (!cut || i == n - 1) return false;
  cutAt(text, conf, i, n);
  return true;
}

void TagliaCaratteriSopraPrimaLinea(char* text, char* conf, ChInfo* info, int& n) {
  if (text == nullptr || info == nullptr || n < 1) return;
  int first = 0;
  while (first < n && (isBlankOrUnread(text[first]) || isLineBreak(text[first]) ||
                       info[first].bottom <= TopPrimaLineaValida))
    ++first;
  for (; first > 0; --first) RimuoviCarattere(text, conf, info, 0, n);
}

void AggiornaCarattere(char c, char* conf1, ChInfo* info1, int i1, char* conf2, ChInfo* info2, int i2, bool sum) {
  if (conf1 == nullptr || info1 == nullptr || conf2 == nullptr || info2 == nullptr || i1 < 0 || i2 < 0) return;
  const ChInfo& a = info1[i1];
  ChInfo& b = info2[i2];
  auto fold = [](uint16_t x, uint16_t& y) {
    if (x != y) y = static_cast<uint16_t>((x + y) / 2);
  };
  fold(a.left, b.left);
  fold(a.right, b.right);
  fold(a.top, b.top);
  fold(a.bottom, b.bottom);
  if (c == ' ') return;
  if (!sum) {
    if (conf2[i2] < conf1[i1]) {
      conf2[i2] = conf1[i1];
      b.agreement = a.agreement;
    }
    return;
  }
  if (c == '?') {
    b.agreement = addCounts(b.agreement, a.agreement);
    const int hi = std::max(conf1[i1], conf2[i2]);
    conf2[i2] = static_cast<char>(hi > 95 ? 100 : hi + 5);
  }
  b.agreement = addCounts(b.agreement, a.agreement);
  const int hi = std::max(conf1[i1], conf2[i2]);
  const int lo = std::min(conf1[i1], conf2[i2]);
  conf2[i2] = static_cast<char>(std::min(hi + lo / 2, 100));
}

namespace {

// The new box [L, R] of a character placed at pos, narrowed against its neighbours: the next one
// stands at next (-1 none), the previous one at pos - 1. The neighbours' new edges come back in
// nextLeft and prevRight; nothing is written into the reading here.
struct Fit {
  int L, R;
  int nextLeft = -1;
  int prevRight = -1;
};

Fit fitBetween(char c, const ChInfo& ci, const char* text, const ChInfo* info, int pos, int next, bool replacing) {
  Fit f{ci.left, ci.right};
  if (next >= 0 && text[next] != '\r') {
    const ChInfo& nx = info[next];
    const bool nextGivesWay = replacing ? isBlankOrUnread(text[next]) : text[next] == ' ';
    if (c != ' ' && nextGivesWay) {
      f.R = std::min<int>(f.R, nx.right);
      f.nextLeft = std::max<int>(f.R + 1, nx.left);
    } else {
      f.R = std::min<int>(f.R, columnBefore(nx.left));
    }
  }
  if (pos > 0 && text[pos - 1] != '\n') {
    const ChInfo& pv = info[pos - 1];
    const bool prevGivesWay = replacing ? isBlankOrUnread(text[pos - 1]) : text[pos - 1] == ' ';
    if (c == ' ') {
      f.L = std::max<int>(f.L, pv.right);
    } else if (prevGivesWay) {
      f.L = std::max<int>(f.L, pv.left);
      f.prevRight = std::min<int>(pv.right, f.L == 0 ? 0 : f.L - 1);
    } else {
      f.L = std::max<int>(f.L, pv.right + 1);
    }
  }
  return f;
}

}  // namespace

void AggiungiEVerifica(char c, char cf, ChInfo ci, char* text, char* conf, ChInfo* info, int& pos, int& n,
                       int max) {
  if (text == nullptr || conf == nullptr || info == nullptr) return;
  if (pos > n || pos < 0 || n < 0) {
    WriteTrace("err - ", "unexpected n", pos, false);
    return;
  }
  const Fit f = fitBetween(c, ci, text, info, pos, pos < n ? pos : -1, false);
  if (!(f.R > f.L || pos == n)) return;
  ci.left = toColumn(f.L);
  ci.right = toColumn(f.R);
  const int before = n;
  AggiungiCarattere(c, cf, ci, text, conf, info, pos, max, n);
  if (n == before) return;  // the reading is full: neighbours and pos stay as they were
  if (f.prevRight >= 0) info[pos - 1].right = toColumn(f.prevRight);
  if (f.nextLeft >= 0) info[pos + 1].left = toColumn(f.nextLeft);
  ++pos;
}

void SostituisciEVerifica2(char* text, char* conf, ChInfo* info, int pos, int n, char c, char cf, ChInfo ci) {
  if (text == nullptr || pos < 0 || pos >= n) return;
  if (info != nullptr) {
    const Fit f = fitBetween(c, ci, text, info, pos, pos + 1 < n ? pos + 1 : -1, true);
    ci.left = toColumn(f.L);
    ci.right = toColumn(f.R);
    if (f.prevRight >= 0) info[pos - 1].right = toColumn(f.prevRight);
    if (f.nextLeft >= 0) info[pos + 1].left = toColumn(f.nextLeft);
    info[pos] = ci;
  }
  text[pos] = c;
  if (conf != nullptr) conf[pos] = cf;
}
