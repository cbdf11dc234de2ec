// The cost of one codeline reading as a ratio to the zone reader alone on the same image, both
// measured in this run (medians of interleaved rounds): ReadCMCHor against ReadOCR with the
// optical CMC7 font 202, ReadE13BVert with its magnetic pass against ReadOCR with the E13B font 1.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "codeline_docs.h"
#include "codeline_scan.h"
#include "micr/micr.h"
#include "ocr/ocr.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace cd = pvk::codelinedocs;

struct Pair {
  std::vector<double> a, b;
};

template <class A, class B>
void interleave(int rounds, Pair& p, A&& a, B&& b) {
  for (int r = 0; r < rounds; ++r) {
    auto t0 = Clock::now();
    a();
    auto t1 = Clock::now();
    b();
    auto t2 = Clock::now();
    p.a.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    p.b.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
  }
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

cd::Doc line(short font, uint32_t seed) {
  cd::DocRequest r;
  r.font = font;
  r.seed = seed;
  r.deg = cd::condition("blur", seed);
  return cd::makeDoc(r);
}

}  // namespace

int main() {
  std::snprintf(MyOcr.dbDir, sizeof MyOcr.dbDir, "%s", PVK_FONT_DB_DIR "/");
  MyOcr.cmc7Thr = 60;
  MyOcr.typeDoc = 3;
  MyOcr.zoneSide = 1;
  char text[256], conf[256];
  ChInfo info[256];
  const int rounds = 9;

  Pair cmc7;
  int nHor = 0, nOcr = 0;
  std::string counts;
  for (uint32_t seed = 1; seed <= 3; ++seed) {
    cd::Doc d = line(202, seed);
    const PVKImg img = d.image.view();
    interleave(rounds, cmc7, [&] { MyOcr.modeByte = 1; nHor = ReadCMCHor(img, text, conf, info, 202, 128); },
               [&] { MyOcr.modeByte = 1; nOcr = ReadOCR(img, text, conf, info, 202, 128); });
    counts += " " + std::to_string(nHor) + "/" + std::to_string(nOcr);
  }
  std::printf("bench_codeline_readers: ReadCMCHor %.2f ms per line, ReadOCR font 202 %.2f ms; ratio %.2f "
              "(characters per line, reader/OCR:%s)\n",
              median(cmc7.a), median(cmc7.b), median(cmc7.a) / median(cmc7.b), counts.c_str());
  counts.clear();

  Pair e13b;
  int nVert = 0, nE = 0;
  pvk::magsynth::Head head;
  pvk::magsynth::Impairments imp;
  imp.noise = 1;
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    cd::Doc d = line(1, seed);
    cd::Magnetic mag = cd::magnetic(d, head, 520, imp);
    cd::installHeadSamples(mag);
    const PVKImg img = d.image.view();
    // The zone reader leaves its own font as the current one: the dispatch sets 33 for each call.
    interleave(rounds, e13b, [&] { MyOcr.currentFont = 33; nVert = ReadE13BVert(img, text, conf, 128); },
               [&] { nE = ReadOCR(img, text, conf, info, 1, 128); });
    counts += " " + std::to_string(nVert) + "/" + std::to_string(nE);
  }
  std::printf("bench_codeline_readers: ReadE13BVert %.2f ms per line, ReadOCR font 1 %.2f ms; ratio %.2f "
              "(characters per line, reader/OCR:%s)\n",
              median(e13b.a), median(e13b.b), median(e13b.a) / median(e13b.b), counts.c_str());
  return 0;
}
