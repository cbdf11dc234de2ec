// The peers alone on the symbol corpus (every symbology, both dpis, every level) and on the
// negative set: what a reader of ours is measured against.
#include <cstdio>

#include "symbol_bench.h"

using namespace pvk;

int main() {
  corpus::CorpusOptions o;
  o.symbologies = corpus::allSymbologies();
  o.specsPerSymbology = 2;
  std::vector<corpus::Sample> samples = corpus::buildCorpus(o);
  for (int dpi : o.dpis)
    for (corpus::Sample& s : corpus::negativeSet(4, 2 * dpi, dpi / 2, dpi, 7)) samples.push_back(std::move(s));
  symbench::Tally t = symbench::runAll(samples, [](const corpus::Sample&) { return std::vector<std::string>{}; });
  std::printf("bench_symbol_peers: %zu images\n", samples.size());
  t.report(stdout);
  std::printf("zxing calls stopped by its own assertion: %d\n", symbench::zxingAborts);
  return 0;
}
