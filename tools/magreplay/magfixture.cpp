// Writes a synthesised magnetic capture as a replay fixture: the dump (raw head bytes, or the
// down-sampled signal as "micr.txt" holds it) and its sidecar, with the line's truth as the
// guide and the expected codeline.
//   magfixture <out-base> <32|33> <text> [seed] [noise] [raw|micrtxt]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "magsynth.h"

namespace ms = pvk::magsynth;

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s <out-base> <32|33> <text> [seed] [noise] [raw|micrtxt]\n", argv[0]);
    return 2;
  }
  const std::string base = argv[1];
  const int font = std::atoi(argv[2]);
  ms::Head head;
  ms::Codeline line;
  line.font = font == 32 ? pvk::glyphs::Font::CMC7 : pvk::glyphs::Font::E13B;
  line.text = argv[3];
  line.startLine = 500;
  ms::Impairments imp;
  imp.seed = argc > 4 ? static_cast<uint32_t>(std::atoi(argv[4])) : 1;
  imp.noise = argc > 5 ? std::atof(argv[5]) : 0;
  const bool raw = argc <= 6 || std::string(argv[6]) != "micrtxt";
  const int rawLines = 1400 + 50 * static_cast<int>(line.text.size());
  const ms::Signal s = ms::synthesise(head, line, rawLines, imp);

  const std::string name = base.substr(base.find_last_of('/') + 1);
  FILE* f = std::fopen((base + ".txt").c_str(), "w");
  if (!f) return 1;
  if (raw)
    for (uint8_t b : s.bytes) std::fprintf(f, "%d\n", b);
  else
    for (int v : s.samples) std::fprintf(f, "%d\n", v);
  std::fclose(f);
  f = std::fopen((base + ".cap").c_str(), "w");
  if (!f) return 1;
  std::fprintf(f, "# synthesised: seed %u, noise %.1f\nfile=%s.txt\ndump=%s\nplanes=%d\nratio=%d\nreverse=0\n",
               imp.seed, imp.noise, name.c_str(), raw ? "raw" : "micrtxt", head.planes, head.samplesPer3Px);
  std::string guide;
  for (const ms::CharTruth& t : s.truth) guide += t.symbol;
  std::fprintf(f, "offset=0\nref=%d\nfont=%d\nfrom=0\nto=%zu\nexpect=%s\nguide=%s\nguideAt=", head.refLines,
               font == 32 ? 32 : 33, s.samples.size(), guide.c_str(), guide.c_str());
  for (size_t i = 0; i < s.truth.size(); ++i)
    std::fprintf(f, "%s%d-%d", i ? " " : "", s.truth[i].first, s.truth[i].last);
  std::fprintf(f, "\n");
  std::fclose(f);
  return 0;
}
