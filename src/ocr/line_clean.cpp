// Cleaning passes over an assembled reading: overlapping and empty boxes, characters standing
// apart from their line, debris at the start and the end of a line, and characters above or
// below the band of the line.
#include <algorithm>

#include "ocr/ocr.h"

using namespace pvk::ocr;

namespace {

bool singleLine(const char* text, int n) { return findInReading(text, n, '\r') < 0; }

// The line that starts at start ends at its CR or at n.
int lineEnd(const char* text, int n, int start) {
  const int cr = findInReading(text, n, '\r', start);
  return cr < 0 ? n : cr;
}

// The LF rule of the overlap pass: the character at i ends before a following LF box.
void keepBeforeLF(const char* text, ChInfo* info, int n, int i) {
  if (i + 1 < n && text[i + 1] == '\n' && info[i].right >= info[i + 1].left)
    info[i].right = columnBefore(info[i + 1].left);
}

// Pass 2 of the overlap check on the pair (i - 1, i); true when it removed a character.
bool settleOverlap(char* text, char* conf, ChInfo* info, int& n, int i) {
  ChInfo& prev = info[i - 1];
  ChInfo& cur = info[i];
  if (isBlankOrUnread(text[i - 1])) {
    if (cur.left <= prev.left) {
      prev.right = prev.left;
      RimuoviCarattere(text, conf, info, i - 1, n);
      return true;
    }
    prev.right = static_cast<uint16_t>(cur.left - 1);
    if (prev.left >= prev.right) {
      RimuoviCarattere(text, conf, info, i - 1, n);
      return true;
    }
    if (isBlankOrUnread(text[i])) {
      cur.left = static_cast<uint16_t>(prev.right + 1);
      keepBeforeLF(text, info, n, i);
    }
    return false;
  }
  if (isBlankOrUnread(text[i])) {
    cur.left = prev.right;
    if (cur.left >= cur.right) {
      RimuoviCarattere(text, conf, info, i, n);
      return true;
    }
    cur.left = static_cast<uint16_t>(std::min(prev.right + 1, 0xFFFF));
    keepBeforeLF(text, info, n, i);
    return false;
  }
  const int pw = prev.right - prev.left, cw = cur.right - cur.left;
  const int half = std::min<int>(std::max(pw, cw), aw) / 2;
  if (conf[i - 1] < 50 && prev.left + half > prev.right) {
    RimuoviCarattere(text, conf, info, i - 1, n);
    return true;
  }
  if (conf[i] < 50 && cur.left + half > cur.right) {
    RimuoviCarattere(text, conf, info, i, n);
    return true;
  }
  return false;
}

}  // namespace

void VerificaCaratteriSovrappostiESpazi(char* text, char* conf, ChInfo* info, int& n, int minBlank) {
  if (text == nullptr || conf == nullptr || info == nullptr) return;
  const int t = aw / 3;
  for (int i = 0; i < n;) {
    if (isLineBreak(text[i])) { ++i; continue; }
    if (info[i].right <= info[i].left || (text[i] == '?' && info[i].left + t > info[i].right)) {
      RimuoviCarattere(text, conf, info, i, n);
      continue;
    }
    if (text[i] == '?') conf[i] = 1;
    ++i;
  }
  for (int i = 1; i < n;) {
    if (isLineBreak(text[i]) || isLineBreak(text[i - 1]) || info[i - 1].right < info[i].left) { ++i; continue; }
    if (!settleOverlap(text, conf, info, n, i)) ++i;
  }
  for (int i = 1; i < n;) {
    if (text[i] != ' ') { ++i; continue; }
    if (i + 1 < n && text[i + 1] == ' ') {
      info[i + 1].left = info[i].left;
      RimuoviCarattere(text, conf, info, i, n);
      continue;
    }
    if (info[i].right - info[i].left < minBlank) {
      RimuoviCarattere(text, conf, info, i, n);
      continue;
    }
    ++i;
  }
}

void VerificaSeparati(char* text, char* conf, ChInfo* info, int& n) {
  if (text == nullptr || info == nullptr) return;
  for (int start = 0; start < n;) {
    int end = lineEnd(text, n, start);
    for (int j = start; j < end && end - start > 1;) {
      bool shares = false;
      for (int p = start; p < end && !shares; ++p) {
        if (p == j || isBlankOrUnread(text[p])) continue;
        shares = info[j].top <= info[p].bottom && info[p].top <= info[j].bottom;
      }
      if (shares) {
        ++j;
      } else {
        RimuoviCarattere(text, conf, info, j, n);
        --end;
      }
    }
    start = end + 2;
  }
}

void PulisciFineRiga(char* text, char* conf, ChInfo* info, int& n) {
  if (text == nullptr || conf == nullptr || info == nullptr || n < 7 || !singleLine(text, n)) return;
  for (int i = n - 1; i >= 6; --i) {
    if (text[i] == ' ') {
      if (info[i].right - info[i].left > 100) {
        text[i] = '\0';
        conf[i] = 0;
        n = i;
      }
    } else if (conf[i] > 80 || (conf[i] > 60 && info[i].agreement > 1)) {
      break;
    }
  }
  for (int i = n - 1; i > 5 && conf[i] < 60 && text[i - 1] == ' '; i -= 2) {
    text[i - 1] = '\0';
    conf[i - 1] = 0;
    n = i - 1;
  }
}

namespace {

// One line [start, end) of PulisciSottoSopraRiga; the new end.
int cleanAboveBelow(char* text, char* conf, ChInfo* info, int& n, int start, int end) {
  int k = 0;
  long tops = 0, bottoms = 0, mids = 0;
  for (int i = start; i < end; ++i) {
    if (conf[i] <= 20) continue;
    ++k;
    tops += info[i].top;
    bottoms += info[i].bottom;
    mids += (info[i].top + info[i].bottom) / 2;
  }
  if (k < 2) return end;
  const long mid = mids / k;
  const long upper = (tops / k + mid) / 2;
  const long lower = (mid + bottoms / k) / 2;
  // A comma or a dot stands below the middle of its line, an apostrophe above it: only their
  // weak readings are debris.
  for (int i = start; i < end;) {
    const char c = text[i];
    const bool lowMark = c == ',' || c == '.', highMark = c == '\'' || c == '"';
    const bool below = info[i].top > mid && (conf[i] <= 9 || (info[i].top > lower && !lowMark));
    const bool above = info[i].bottom < mid && (conf[i] <= 9 || (info[i].bottom < upper && !highMark));
    if (below || above) {
      RimuoviCarattere(text, conf, info, i, n);
      --end;
    } else {
      ++i;
    }
  }
  for (int i = start; i + 1 < end;) {
    if (text[i] == ' ' && text[i + 1] == ' ') {
      info[i].right = info[i + 1].right;
      RimuoviCarattere(text, conf, info, i + 1, n);
      --end;
    } else {
      ++i;
    }
  }
  if (end > start && text[start] == ' ') {
    RimuoviCarattere(text, conf, info, start, n);
    --end;
  }
  if (end > start && text[end - 1] == ' ') {
    RimuoviCarattere(text, conf, info, end - 1, n);
    --end;
  }
  return end;
}

}  // namespace

void PulisciSottoSopraRiga(char* text, char* conf, ChInfo* info, int& n) {
  if (text == nullptr || conf == nullptr || info == nullptr) return;
  for (int start = 0; start < n;) start = cleanAboveBelow(text, conf, info, n, start, lineEnd(text, n, start)) + 2;
}

void PulisciInizioRiga(char* text, char* conf, ChInfo* info, int& n, bool keep) {
  if (text == nullptr || conf == nullptr || info == nullptr || n < 2 || !singleLine(text, n)) return;
  if (info[0].left < 200) {
    if (text[1] == ' ') {
      RimuoviCarattere(text, conf, info, 0, n);
      RimuoviCarattere(text, conf, info, 0, n);
    }
    if (n >= 2 && info[0].left < 200 && text[0] == '?' && (text[1] == '?' || text[1] == ' ')) {
      RimuoviCarattere(text, conf, info, 0, n);
      RimuoviCarattere(text, conf, info, 0, n);
    }
  }
  if (n < 1 || info[0].left <= 400) return;
  if (!keep) {
    n = 0;
    text[0] = '\0';
    conf[0] = 0;
    return;
  }
  for (int i = 0; i < n; ++i)
    if (!isBlankOrUnread(text[i])) conf[i] = halvedConf(conf[i]);
}

void PulisciInizioRigaAmount(char* text, char* conf, ChInfo* info, int& n, bool skip) {
  if (skip || text == nullptr || conf == nullptr || info == nullptr || n < 2 || !singleLine(text, n)) return;
  while (n >= 2 && info[0].left < 100) {
    const bool debris = text[1] == ' ' || (text[0] == '?' && (text[1] == '?' || text[1] == '*')) ||
                        (text[0] != '*' && conf[0] < 80 && text[1] == '*');
    if (!debris) break;
    RimuoviCarattere(text, conf, info, 0, n);
    RimuoviCarattere(text, conf, info, 0, n);
  }
}
