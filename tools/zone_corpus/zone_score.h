// Scoring zone readings against the corpus truth, and the accuracy report per font, resolution
// and condition that the accuracy tests print and the benchmark writes.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace pvk::zonecorpus {

// How often one character of the truth was read as itself.
struct SymbolCount {
  long right = 0;
  long total = 0;
};

struct Tally {
  long zones = 0;
  long exact = 0;          // zones read exactly
  long chars = 0;          // characters of the truth
  long errors = 0;         // edit distance: substitutions + rejects + insertions + deletions
  long substitutions = 0;  // a wrong character in place
  long rejects = 0;        // '?' in place of a character
  long insertions = 0;
  long deletions = 0;
  long confidentWrong = 0;  // substitutions at confidence 50 or more
  double seconds = 0;       // reading time, all zones
  std::map<char, SymbolCount> bySymbol;  // per character of the truth

  void add(const Tally& t);
  long right() const { return chars - substitutions - rejects - deletions; }
  double accuracy() const { return chars > 0 ? 1.0 - static_cast<double>(errors) / chars : 1.0; }
  double errorRate() const { return chars > 0 ? static_cast<double>(errors) / chars : 0.0; }
  double confidentWrongRate() const { return chars > 0 ? static_cast<double>(confidentWrong) / chars : 0.0; }
  double msPerZone() const { return zones > 0 ? 1000.0 * seconds / zones : 0.0; }
};

// Scores one reading. Line breaks (CR LF or LF) separate lines on both sides; blanks are left
// out unless keepBlanks. conf holds one confidence per character of text (may be empty: every
// character unconfident). With bestRowOnly a reading of one line is scored against the truth
// line it matches best, as a reader that keeps the best row of a zone answers.
Tally scoreReading(const std::vector<std::string>& truth, const std::string& text, const std::string& conf,
                   bool keepBlanks, bool bestRowOnly, double seconds = 0);

// Tallies by cell name, printed as a table in name order.
struct Report {
  std::map<std::string, Tally> cells;
  void add(const std::string& cell, const Tally& t) { cells[cell].add(t); }
  Tally total() const;
  std::string table(const std::string& title) const;
  bool write(const std::string& path, const std::string& title) const;
};

// "f<font> <dpi>dpi <condition>" with the font padded so that the table sorts by font.
std::string cellName(int font, bool italian, int dpi, const std::string& condition);

}  // namespace pvk::zonecorpus
