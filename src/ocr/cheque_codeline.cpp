// Italian cheque codelines read as text: the layout check of the CMC7 codeline (separators and
// blanks at fixed positions) with its tidying, the unread characters at the codeline's ends and
// in pairs, and whether a payment-form line still needs another reading.
#include <algorithm>
#include <cstring>

#include "ocr/ocr.h"

using namespace pvk::ocr;

namespace {

bool sepOrUnread(char c) { return IsSeparatore(c) || c == '?'; }
bool blankOrUnread(char c) { return isBlankOrUnread(c); }

// Positions of the layout as far as the reading reaches them.
bool layoutHolds(const char* text, int n) {
  if (!sepOrUnread(text[22])) return false;
  const int separators = IsSeparatore(text[0]) + IsSeparatore(text[11]) + IsSeparatore(text[22]);
  if (separators < 2) return false;
  struct Rule {
    int pos;
    bool (*ok)(char);
  };
  static constexpr Rule kRules[] = {{23, blankOrUnread}, {32, sepOrUnread}, {33, blankOrUnread},
                                    {39, sepOrUnread},   {40, blankOrUnread}, {51, sepOrUnread}};
  for (const Rule& r : kRules)
    if (r.pos < n && !r.ok(text[r.pos])) return false;
  return true;
}

// Fields 1-10 and 13-20: blanks become unread, separators weaken; either spoils completeness.
void checkHeadFields(char* text, char* conf, int n, bool edit, bool& complete) {
  for (int i = 1; i <= 20 && i < n; ++i) {
    if (i == 11 || i == 12) continue;
    if (text[i] == ' ') {
      text[i] = '?';
      conf[i] = 1;
      complete = false;
    } else if (IsSeparatore(text[i])) {
      if (edit) conf[i] = halvedConf(conf[i]);
      complete = false;
    }
  }
}

void checkTailField(char* text, char* conf, int from, int to, bool edit, bool& complete) {
  for (int i = from; i <= to; ++i) {
    if (text[i] == ' ') {
      complete = false;
      if (edit) {
        text[i] = '?';
        conf[i] = 1;
      }
    } else if (IsSeparatore(text[i])) {
      complete = false;
      if (edit) conf[i] = halvedConf(conf[i]);
    }
  }
}

}  // namespace

bool IsAssegnoItalia(char* text, char* conf, ChInfo* info, int& n, bool& complete, bool edit) {
  complete = false;
  const bool answer = MyITACheck.defaultAnswer != 0;
  if (text == nullptr || conf == nullptr || n < 1) return answer;
  const int colon = findInReading(text, n, ':');
  if (colon < 0 || colon > 2) return answer;

  if (n - colon >= 23 && conf[0] <= 9 && IsSeparatore(text[colon + 11]) && IsSeparatore(text[colon + 22])) {
    for (int i = 0; i < colon; ++i) RimuoviCarattere(text, conf, info, 0, n);
  } else if (text[0] == '?' && colon + 11 < n && IsSeparatore(text[colon + 11])) {
    while (n > 0 && blankOrUnread(text[0])) RimuoviCarattere(text, conf, info, 0, n);
  }
  if (n < 23) return answer;
  if (!(text[0] == '?' || text[0] == ':') || !sepOrUnread(text[11]) || !blankOrUnread(text[12])) return answer;

  if (!layoutHolds(text, n)) return true;
  if (edit) {
    for (int pos : {12, 23, 33, 40})
      if (pos < n && text[pos] == '?') text[pos] = ' ';
  }
  for (int pos : {51, 40, 33, 23})
    if (n > pos) RimuoviTimbri(pos, text, conf, info, n);

  complete = true;
  checkHeadFields(text, conf, n, edit, complete);
  if (edit) {
    std::memcpy(MyITACheck.cdlField1, text + 1, 10);
    MyITACheck.cdlField1[10] = '\0';
  }
  if (n > 32) checkTailField(text, conf, 24, 31, edit, complete);
  if (n > 39) checkTailField(text, conf, 34, 37, edit, complete);
  if (n > 51) checkTailField(text, conf, 41, 49, edit, complete);
  if (complete && findInReading(text, n, '?') >= 0) complete = false;
  return true;
}

void VerificaITA_CHECK_BItalia(char* text, char* conf, ChInfo* info, int& n) {
  if (text == nullptr) return;
  const uint16_t type = MyOcr.typeDoc;
  if (!(type == 3 || type == 4 || type == 6 || type == 7 || type == 8)) return;
  if (MyOcr.currentFont != 202 && MyOcr.currentFont != 0) return;
  if (n < 48 || findInReading(text, n, '?') < 0) return;
  for (int seen = 0, i = 0; seen < 5 && i < n && text[i] != '>'; ++seen) {
    if (text[i] == '?') RimuoviCarattere(text, conf, info, i, n);
    else ++i;
  }
  for (int seen = 0, i = n - 1; seen < 4 && i >= 0 && text[i] != '>'; ++seen, --i)
    if (text[i] == '?') RimuoviCarattere(text, conf, info, i, n);
}

void RimuoviDoppi_CH_NR_e_Piccoli(char* text, char* conf, ChInfo* info, int& n, int max) {
  if (text == nullptr || conf == nullptr || info == nullptr) return;
  const int W = aw;
  while (n > 6 && text[0] == '?' && text[1] == '?') {
    const int gap = info[2].left - info[0].right;
    const bool narrowPair = info[0].left + W > info[1].right;
    const bool closeThird = text[2] != '\r' && text[2] != '?' && gap >= 0 && gap <= 2 * W - 1;
    if (!narrowPair && !closeThird) break;
    RimuoviCarattere(text, conf, info, 0, n);
  }
  if (n > 2) {
    auto plain = [](char c) { return c != '?' && !isLineBreak(c); };
    for (int i = 1; i < n - 1;) {
      if (text[i] != '?' || text[i + 1] != '?') { ++i; continue; }
      bool drop = info[i].left + W > info[i + 1].right;
      if (!drop && i < n - 2 && plain(text[i - 1]) && plain(text[i + 2])) {
        const int gap = info[i + 2].left - info[i - 1].right;
        drop = gap >= 0 && gap < 1.8 * W;
      }
      if (drop) RimuoviCarattere(text, conf, info, i, n);
      else ++i;
    }
  }
  const int narrow = static_cast<int>(0.33 * W), wide = static_cast<int>(2.2 * W);
  for (int i = 0; i < n;) {
    const int w = info[i].right - info[i].left;
    if (text[i] != '?') { ++i; continue; }
    if (w < narrow) {
      RimuoviCarattere(text, conf, info, i, n);
      continue;
    }
    if (w > wide) {
      ChInfo second = info[i];
      const uint16_t mid = static_cast<uint16_t>((info[i].left + info[i].right) / 2);
      second.left = mid;
      const int before = n;
      AggiungiCarattere('?', conf[i], second, text, conf, info, i + 1, max, n);
      if (n > before) {
        info[i].right = mid;
        ++i;
      }
    }
    ++i;
  }
  VerificaITA_CHECK_BItalia(text, conf, info, n);
}

bool daMigliorareBollettiniItalia(char* text, char* conf, int n) {
  if (text == nullptr || conf == nullptr || findInReading(text, n, '?') >= 0) return true;
  if (n < 61) {
    if (n < 3) return false;
    if (text[1] == ' ' || text[n - 2] == ' ') return true;
    for (int i = 1; i + 1 < n; ++i)
      if (text[i] != ' ' && text[i - 1] == ' ' && text[i + 1] == ' ') return true;
    return false;
  }
  if (findInReading(text, n, ' ') >= 0) return true;
  return n != 71;
}
