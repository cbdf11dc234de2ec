// Edit-distance scoring of a zone reading with its errors told apart, and the report table.
#include "zone_score.h"

#include <algorithm>
#include <cstdio>

namespace pvk::zonecorpus {

namespace {

struct Sym {
  char c;
  int conf;
};

std::vector<Sym> normalise(const std::string& text, const std::string& conf, bool keepBlanks) {
  std::vector<Sym> out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || (c == ' ' && !keepBlanks)) continue;
    out.push_back({c, i < conf.size() ? static_cast<unsigned char>(conf[i]) : 0});
  }
  while (!out.empty() && out.back().c == '\n') out.pop_back();
  return out;
}

Tally align(const std::vector<Sym>& truth, const std::vector<Sym>& read) {
  const size_t n = truth.size(), m = read.size();
  std::vector<std::vector<int>> d(n + 1, std::vector<int>(m + 1, 0));
  for (size_t i = 0; i <= n; ++i) d[i][0] = static_cast<int>(i);
  for (size_t j = 0; j <= m; ++j) d[0][j] = static_cast<int>(j);
  for (size_t i = 1; i <= n; ++i)
    for (size_t j = 1; j <= m; ++j)
      d[i][j] = std::min({d[i - 1][j - 1] + (truth[i - 1].c == read[j - 1].c ? 0 : 1), d[i - 1][j] + 1, d[i][j - 1] + 1});
  Tally t;
  t.chars = static_cast<long>(n);
  t.errors = d[n][m];
  for (const Sym& s : truth) ++t.bySymbol[s.c].total;
  size_t i = n, j = m;
  while (i > 0 || j > 0) {
    if (i > 0 && j > 0 && d[i][j] == d[i - 1][j - 1] + (truth[i - 1].c == read[j - 1].c ? 0 : 1)) {
      if (truth[i - 1].c == read[j - 1].c) {
        ++t.bySymbol[truth[i - 1].c].right;
      } else if (read[j - 1].c == '?') {
        ++t.rejects;
      } else {
        ++t.substitutions;
        if (read[j - 1].conf >= 50) ++t.confidentWrong;
      }
      --i, --j;
    } else if (i > 0 && d[i][j] == d[i - 1][j] + 1) {
      ++t.deletions, --i;
    } else {
      ++t.insertions, --j;
    }
  }
  return t;
}

}  // namespace

void Tally::add(const Tally& t) {
  zones += t.zones;
  exact += t.exact;
  chars += t.chars;
  errors += t.errors;
  substitutions += t.substitutions;
  rejects += t.rejects;
  insertions += t.insertions;
  deletions += t.deletions;
  confidentWrong += t.confidentWrong;
  seconds += t.seconds;
  for (const auto& [c, k] : t.bySymbol) {
    bySymbol[c].right += k.right;
    bySymbol[c].total += k.total;
  }
}

Tally scoreReading(const std::vector<std::string>& truth, const std::string& text, const std::string& conf,
                   bool keepBlanks, bool bestRowOnly, double seconds) {
  std::string joined;
  for (size_t i = 0; i < truth.size(); ++i) joined += (i ? "\n" : "") + truth[i];
  const std::vector<Sym> read = normalise(text, conf, keepBlanks);
  Tally best = align(normalise(joined, "", keepBlanks), read);
  const bool oneLine = std::none_of(read.begin(), read.end(), [](const Sym& s) { return s.c == '\n'; });
  if (bestRowOnly && oneLine && truth.size() > 1) {
    for (const std::string& line : truth) {
      Tally t = align(normalise(line, "", keepBlanks), read);
      if (t.errors < best.errors || (t.errors == best.errors && t.chars > best.chars)) best = t;
    }
  }
  best.zones = 1;
  best.exact = best.errors == 0 ? 1 : 0;
  best.seconds = seconds;
  return best;
}

Tally Report::total() const {
  Tally t;
  for (const auto& c : cells) t.add(c.second);
  return t;
}

std::string Report::table(const std::string& title) const {
  std::string out = title + "\n";
  char line[256];
  std::snprintf(line, sizeof line, "%-26s %5s %6s %8s %5s %5s %5s %5s %6s %7s %9s\n", "cell", "zones", "chars",
                "accuracy", "subs", "rej", "ins", "del", "confW", "exact", "ms/zone");
  out += line;
  auto row = [&](const std::string& name, const Tally& t) {
    std::snprintf(line, sizeof line, "%-26s %5ld %6ld %7.2f%% %5ld %5ld %5ld %5ld %6ld %6.1f%% %9.2f\n", name.c_str(),
                  t.zones, t.chars, 100.0 * t.accuracy(), t.substitutions, t.rejects, t.insertions, t.deletions,
                  t.confidentWrong, t.zones ? 100.0 * t.exact / t.zones : 0.0, t.msPerZone());
    out += line;
  };
  for (const auto& c : cells) row(c.first, c.second);
  row("all", total());
  return out;
}

bool Report::write(const std::string& path, const std::string& title) const {
  FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) return false;
  const std::string t = table(title);
  const bool ok = std::fwrite(t.data(), 1, t.size(), f) == t.size();
  return std::fclose(f) == 0 && ok;
}

std::string cellName(int font, bool italian, int dpi, const std::string& condition) {
  char s[64];
  std::snprintf(s, sizeof s, "f%03d%s %ddpi %s", font, italian ? "ita" : "", dpi, condition.c_str());
  return s;
}

}  // namespace pvk::zonecorpus
