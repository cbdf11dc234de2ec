// Writes printed codelines as PGM files with their truth beside them, to look at what the
// benchmark reads:
//   codeline_print FONTDIR DIR [SEEDS]
// both fonts of FONTDIR, at 300, 240 and 200 dpi, every condition, SEEDS lines per cell (default 2).
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "codeline_print.h"

namespace cp = pvk::codelineprint;

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: codeline_print FONTDIR DIR [SEEDS]\n");
    return 2;
  }
  const int seeds = argc > 3 ? std::atoi(argv[3]) : 2;
  int written = 0;
  try {
    for (const cp::FontSpec& spec : {cp::sharedE13B(argv[1]), cp::sharedCMC7(argv[1])}) {
      const cp::PrintFont font(spec);
      const short code = spec.kind == cp::Micr::E13B ? 1 : 202;
      for (int dpi : {300, 240, 200})
        for (const std::string& condition : cp::conditionNames())
          for (uint32_t seed = 1; seed <= static_cast<uint32_t>(seeds); ++seed) {
            const cp::Line l = cp::printLine(font, {cp::sampleLine(spec.kind, seed), dpi, condition, seed});
            const std::string id = std::string(code == 1 ? "e13b" : "cmc7") + "_" + std::to_string(dpi) + "dpi_" +
                                   condition + "_s" + std::to_string(seed);
            if (!pvk::codelinedocs::writeDoc(argv[2], {l.image, l.truth, l.boxes, code, dpi, false, l.deg, {}, id})) {
              std::fprintf(stderr, "codeline_print: cannot write into %s\n", argv[2]);
              return 1;
            }
            ++written;
          }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "codeline_print: %s\n", e.what());
    return 1;
  }
  std::printf("%d lines written\n", written);
  return 0;
}
