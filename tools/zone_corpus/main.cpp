// zone_corpus: writes the zone corpus as PGM images with side-car truth files.
//   zone_corpus DIR [SEED] [PER_CELL] [clean,mild,hard]
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "zone_corpus.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DIR [SEED] [PER_CELL] [CONDITIONS]\n", argv[0]);
    return 2;
  }
  const uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
  const int perCell = argc > 3 ? std::atoi(argv[3]) : 2;
  std::vector<std::string> conds;
  std::stringstream ss(argc > 4 ? argv[4] : "clean,mild,hard");
  for (std::string c; std::getline(ss, c, ',');) conds.push_back(c);
  using namespace pvk::zonecorpus;
  int written = 0;
  for (const ZoneRequest& r : corpus(corpusFonts(), {200, 240, 300}, conds, perCell, seed)) {
    if (!writeZone(argv[1], makeZone(r))) {
      std::fprintf(stderr, "cannot write into %s\n", argv[1]);
      return 1;
    }
    ++written;
  }
  std::printf("%d zones written\n", written);
  return 0;
}
