// The symbol benchmark harness: runs our reader and the peers (ZXing-cpp and zbar, as black
// boxes) on the same in-memory corpus images, each peer restricted to the symbologies of the
// zone, and tallies per symbology, dpi and level: reads, misreads, false positives on the
// negative set and the time per image (p50, p95, max), with our times as ratios to each peer's.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "symbol_corpus.h"
#include "symbol_peers.h"

namespace pvk::symbench {

enum class Reader { Ours, ZXing, ZBar };
const char* readerName(Reader r);

// The peers (tools/symbol_peers) as the harness calls them.
using peers::normalise;
using peers::readZBar;
using peers::readZXing;
using peers::Reading;
using peers::zxingAborts;

// Our reader: the texts it read in one sample's image.
using OurReader = std::function<std::vector<std::string>(const corpus::Sample&)>;

struct Key {
  std::string symbology;  // "negative" for the negative set
  int dpi = 0;
  int level = 0;
  bool operator<(const Key& o) const {
    return symbology != o.symbology ? symbology < o.symbology : dpi != o.dpi ? dpi < o.dpi : level < o.level;
  }
};

struct Counts {
  int images = 0;
  int read = 0;      // the truth among the texts
  int misread = 0;   // a text that is not the truth (on the negative set: a false positive)
  std::vector<double> seconds;
};

class Tally {
 public:
  // Scores one reading of a sample (its truth, or nothing for a negative).
  void add(const corpus::Sample& sample, Reader who, const Reading& r);
  const std::map<Key, std::map<Reader, Counts>>& rows() const { return rows_; }
  // Totals of one reader over every key of a symbology ("" = all symbols, negatives aside).
  Counts total(Reader who, const std::string& symbology = "") const;
  // One line per key: images, then per reader read/misread and p50/p95/max in ms, and our
  // read rate and p50 time as ratios to each peer's.
  void report(FILE* out) const;

 private:
  std::map<Key, std::map<Reader, Counts>> rows_;
};

// Percentile (0..100) of a list of times; 0 for an empty list.
double percentile(std::vector<double> v, double p);

// Every sample through our reader and, when `peers`, through both peers restricted to the
// sample's symbology (the negatives: to every linear symbology).
Tally runAll(const std::vector<corpus::Sample>& samples, const OurReader& ours, bool peers = true);

}  // namespace pvk::symbench
