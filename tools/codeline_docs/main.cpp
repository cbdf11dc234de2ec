// Writes a set of codeline documents as PGM files with their truth beside them:
//   codeline_docs DIR [SEEDS]
// fonts 202, 111 and 1, at 300 and 600 dpi, every condition, SEEDS lines per cell (default 2).
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "codeline_docs.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: codeline_docs DIR [SEEDS]\n");
    return 2;
  }
  const int seeds = argc > 2 ? std::atoi(argv[2]) : 2;
  int written = 0;
  try {
    for (short font : {202, 111, 1})
      for (int dpi : {300, 600})
        for (uint32_t seed = 1; seed <= static_cast<uint32_t>(seeds); ++seed)
          for (const auto& deg : pvk::codelinedocs::conditions(seed)) {
            pvk::codelinedocs::DocRequest r;
            r.font = font;
            r.dpi = dpi;
            r.deg = deg;
            r.seed = seed;
            if (!pvk::codelinedocs::writeDoc(argv[1], pvk::codelinedocs::makeDoc(r))) {
              std::fprintf(stderr, "codeline_docs: cannot write into %s\n", argv[1]);
              return 1;
            }
            ++written;
          }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "codeline_docs: %s\n", e.what());
    return 1;
  }
  std::printf("%d documents written\n", written);
  return 0;
}
