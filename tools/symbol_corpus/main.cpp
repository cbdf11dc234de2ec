// symbol_corpus: writes the symbol corpus as PGM images, each with a side-car .txt of what it
// holds and how it was degraded.
//   symbol_corpus --out DIR [--symbology NAME[,NAME...]|linear|all] [--dpi 300,200]
//                 [--x 7.5,10] [--levels 0,1,2] [--specs N] [--seed S] [--negatives N]
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "symbol_corpus.h"

using namespace pvk::corpus;

namespace {

std::vector<std::string> split(const std::string& s) {
  std::vector<std::string> out;
  std::stringstream ss(s);
  std::string item;
  while (std::getline(ss, item, ',')) out.push_back(item);
  return out;
}

int usage() {
  std::fprintf(stderr,
               "usage: symbol_corpus --out DIR [--symbology NAMES|linear|all] [--dpi 300,200] [--x 7.5,10]\n"
               "                     [--levels 0,1,2,3,4] [--specs N] [--seed S] [--negatives N]\n");
  return 2;
}

bool save(const std::string& dir, const Sample& s) {
  return writePgm(dir + "/" + s.id + ".pgm", s.image) && writeSidecar(dir + "/" + s.id + ".txt", s);
}

}  // namespace

int main(int argc, char** argv) {
  CorpusOptions o;
  std::string out;
  int negatives = 0;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (i + 1 >= argc) return usage();
    std::string v = argv[++i];
    if (a == "--out") {
      out = v;
    } else if (a == "--symbology") {
      if (v == "all") o.symbologies = allSymbologies();
      else if (v != "linear")
        for (const std::string& n : split(v)) {
          Symbology s;
          if (!nameToSymbology(n, s)) {
            std::fprintf(stderr, "symbol_corpus: unknown symbology %s\n", n.c_str());
            return 2;
          }
          o.symbologies.push_back(s);
        }
    } else if (a == "--dpi") {
      o.dpis.clear();
      for (const std::string& n : split(v)) o.dpis.push_back(std::atoi(n.c_str()));
    } else if (a == "--x") {
      for (const std::string& n : split(v)) o.xMils.push_back(std::atof(n.c_str()));
    } else if (a == "--levels") {
      o.levels.clear();
      for (const std::string& n : split(v)) o.levels.push_back(std::atoi(n.c_str()));
    } else if (a == "--specs") {
      o.specsPerSymbology = std::atoi(v.c_str());
    } else if (a == "--seed") {
      o.seed = static_cast<uint32_t>(std::strtoul(v.c_str(), nullptr, 10));
    } else if (a == "--negatives") {
      negatives = std::atoi(v.c_str());
    } else {
      return usage();
    }
  }
  if (out.empty()) return usage();
  mkdir(out.c_str(), 0755);
  int written = 0;
  for (const Sample& s : buildCorpus(o)) {
    if (!save(out, s)) {
      std::fprintf(stderr, "symbol_corpus: cannot write %s in %s\n", s.id.c_str(), out.c_str());
      return 1;
    }
    ++written;
  }
  for (int dpi : o.dpis)
    for (const Sample& s : negativeSet(negatives, 2 * dpi, dpi / 2, dpi, o.seed)) {
      if (!save(out, s)) return 1;
      ++written;
    }
  std::printf("symbol_corpus: %d images in %s\n", written, out.c_str());
  return 0;
}
