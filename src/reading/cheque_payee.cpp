// A microperforated payee corrected against the DataMatrix payee, and the small blank rules the
// codeline output shares.
#include <cstring>
#include <string>

#include "reading/reading.h"

namespace {

using pvk::reading::insertAt;
using pvk::reading::removeAt;

std::string withoutBlanks(const char* s) {
  std::string out;
  for (; *s; ++s)
    if (*s != ' ') out += *s;
  return out;
}

// The reference as the text may hold it: characters the holes cannot form, and that the text
// does not hold either, become blanks; double and trailing blanks go.
std::string usableReference(const char* ref, const char* text) {
  std::string r;
  for (const char* p = ref; *p; ++p) {
    const char c = (BeneficiarioCarattereRiconoscibile(*p) || std::strchr(text, *p)) ? *p : ' ';
    if (c == ' ' && (r.empty() || r.back() == ' ')) continue;
    r += c;
  }
  while (!r.empty() && r.back() == ' ') r.pop_back();
  return r;
}

// The two readings walked side by side. A text blank stands for an unread character and pairs
// with whatever the reference has there; a reference blank the text lacks, and a reference
// character the holes cannot form, pair with nothing in the text. mismatches counts the pairs
// that are neither equal nor look-alikes; with fix, the text is corrected along the way.
struct PayeeWalk {
  char* text;
  char* conf;
  int n;
  int size;
  const std::string& ref;
  uint8_t confValue;
  int i = 0;
  size_t j = 0;
  int mismatches = 0;
  int changes = 0;

  bool room() const { return n + 1 < size; }

  void run(bool fix) {
    while (i < n && j < ref.size()) {
      const char t = text[i], r = ref[j];
      if (t == r) {
        if (fix) conf[i] = 100;
        ++i, ++j;
      } else if (r == ' ') {
        // Without room for the blank the text goes on as if the reference had none there.
        if (fix && room()) {
          insertAt(text, conf, nullptr, n, i, ' ', confValue);
          ++changes;
          ++i;
        }
        ++j;
      } else if (!BeneficiarioCarattereRiconoscibile(r)) {
        ++j;
      } else {
        if (!CaratteriSimilioNonRiconosciuti(t, r)) ++mismatches;
        if (fix) {
          text[i] = r;
          conf[i] = static_cast<char>(confValue);
          ++changes;
        }
        ++i, ++j;
      }
    }
  }

  // What the reference has beyond the text, appended until a few identifying characters are in.
  void appendRest() {
    int identifying = 0;
    for (; j < ref.size() && identifying <= 2; ++j) {
      const char r = ref[j];
      if (!BeneficiarioCarattereRiconoscibile(r)) continue;
      if (!room()) return;
      insertAt(text, conf, nullptr, n, n, r, confValue);
      ++changes;
      if ((r >= '0' && r <= '9') || r == 'A' || r == 'B') ++identifying;
    }
  }

  // Text beyond the reference: kept but distrusted when it looks like real characters, else cut.
  void settleExtra() {
    if (i >= n) return;
    int real = 0;
    for (int k = i; k < n; ++k)
      if (text[k] != '?' && text[k] != ' ' && static_cast<uint8_t>(conf[k]) >= 20) ++real;
    if (real > 2) {
      const uint8_t cap = confValue < 20 ? 10 : confValue / 2;
      for (int k = i; k < n; ++k)
        if (static_cast<uint8_t>(conf[k]) > cap) conf[k] = static_cast<char>(cap);
    } else {
      n = i;
      text[n] = 0;
      conf[n] = 0;
      ++changes;
    }
  }
};

void setText(char* text, char* conf, int size, const std::string& s) {
  const size_t len = s.size() < static_cast<size_t>(size - 1) ? s.size() : static_cast<size_t>(size - 1);
  std::memcpy(text, s.data(), len);
  std::memset(conf, 100, len);
  text[len] = 0;
  conf[len] = 0;
}

}  // namespace

bool CaratteriSimilioNonRiconosciuti(char a, char b) {
  if (a == '?' || a == ' ' || b == '?' || b == ' ') return true;
  auto zeroLike = [](char c) { return c == '0' || c == 'O'; };
  return (a == 'D' && zeroLike(b)) || (b == 'D' && zeroLike(a));
}

bool BeneficiarioCarattereRiconoscibile(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' || c == '/' || c == '-' || c == '*' ||
         c == '&' || c == '#';
}

void RimuoviSpazi(char* text, char* conf, short& n) {
  if (!text) return;
  int count = n < 0 ? 0 : n;
  for (int i = count - 1; i >= 0; --i)
    if (text[i] == ' ') removeAt(text, conf, nullptr, count, i);
  text[count] = 0;
  if (conf) conf[count] = 0;
  n = static_cast<short>(count);
}

void RimuoviDoppiSpaziESpazioFinale(char* text, char* conf, ChInfo* info) {
  if (!text) return;
  int n = static_cast<int>(std::strlen(text));
  for (int i = n - 1; i > 0; --i)
    if (text[i] == ' ' && text[i - 1] == ' ') removeAt(text, conf, info, n, i);
  if (n > 0 && text[n - 1] == ' ') removeAt(text, conf, info, n, n - 1);
}

bool CorreggiBeneficiario(char* text, char* conf, unsigned char confValue, int size) {
  if (!text || !conf || size < 2 || !text[0] || !MyITACheck.dmPayee[0]) return false;
  char payee[sizeof MyITACheck.dmPayee + 1];
  std::memcpy(payee, MyITACheck.dmPayee, sizeof MyITACheck.dmPayee);
  payee[sizeof MyITACheck.dmPayee] = 0;
  int n = static_cast<int>(strnlen(text, static_cast<size_t>(size - 1)));
  text[n] = 0;
  if (std::strcmp(text, payee) == 0) {
    std::memset(conf, 100, static_cast<size_t>(n));
    return true;
  }
  const std::string ref = usableReference(payee, text);
  const std::string t0 = withoutBlanks(text), r0 = withoutBlanks(ref.c_str());
  if (t0 == r0) {
    setText(text, conf, size, ref);
    return true;
  }
  const std::string& shorter = t0.size() < r0.size() ? t0 : r0;
  const std::string& longer = t0.size() < r0.size() ? r0 : t0;
  const size_t gap = longer.size() - shorter.size();
  if (shorter.size() >= 5 && gap <= 2 && longer.find(shorter) != std::string::npos) {
    setText(text, conf, size, ref);
    return gap != 0;
  }

  PayeeWalk count{text, conf, n, size, ref, confValue};
  count.run(false);
  if (count.mismatches > 3) return false;
  PayeeWalk fix{text, conf, n, size, ref, confValue};
  fix.run(true);
  if (fix.j < ref.size())
    fix.appendRest();
  else
    fix.settleExtra();
  RimuoviDoppiSpaziESpazioFinale(text, conf, nullptr);
  return fix.changes > 0;
}
