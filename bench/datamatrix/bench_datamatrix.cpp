// The DataMatrix reader beside libdmtx (a time limit per zone) and ZXing-cpp on the same
// in-memory corpus images and on the smallest symbols at 300 dpi: read and misread rates, false
// positives on the negative set and on other symbologies, time per zone p50/p95/max, our figures
// as ratios to each peer's.
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "dm_symbols.h"
#include "symbol_bench.h"

using namespace pvk;

namespace {

constexpr int kDmtxTimeoutMs = 1000;

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string readOurs(const corpus::Image& im) { return dmtest::readOurs(im.pixels.data(), im.width, im.height, im.dpi); }

std::string readDmtx(const corpus::Image& im) {
  return dmtest::readLibdmtx(im.pixels.data(), im.width, im.height, kDmtxTimeoutMs);
}

struct Counts {
  int images = 0, read = 0, misread = 0;
  std::vector<double> ms;
};

enum Who { kOurs, kDmtx, kZXing, kWho };
const char* kNames[kWho] = {"ours", "libdmtx", "zxing"};

void score(Counts& c, const std::string& got, const std::string& truth, double seconds) {
  ++c.images;
  c.ms.push_back(seconds * 1000);
  if (got.empty()) return;
  if (got == truth) ++c.read;
  else ++c.misread;  // on images without a DataMatrix: a false positive
}

void line(const char* label, const Counts* c) {
  std::printf("%-22s %4d |", label, c[kOurs].images);
  for (int w = 0; w < kWho; ++w)
    std::printf(" %s %3d/%-2d %6.1f %6.1f %7.1f |", kNames[w], c[w].read, c[w].misread, symbench::percentile(c[w].ms, 50),
                symbench::percentile(c[w].ms, 95), symbench::percentile(c[w].ms, 100));
  std::printf("\n");
}

void ratios(const char* label, const Counts* c) {
  for (int w = kDmtx; w < kWho; ++w) {
    const double readRatio = c[w].read ? static_cast<double>(c[kOurs].read) / c[w].read : 0;
    const double p50 = symbench::percentile(c[w].ms, 50), p95 = symbench::percentile(c[w].ms, 95);
    const double mx = symbench::percentile(c[w].ms, 100);
    std::printf("%s vs %s: read %.2f (%d/%d), misread %d/%d, time p50 %.2f p95 %.2f max %.2f\n", label, kNames[w],
                readRatio, c[kOurs].read, c[w].read, c[kOurs].misread, c[w].misread,
                p50 > 0 ? symbench::percentile(c[kOurs].ms, 50) / p50 : 0,
                p95 > 0 ? symbench::percentile(c[kOurs].ms, 95) / p95 : 0,
                mx > 0 ? symbench::percentile(c[kOurs].ms, 100) / mx : 0);
  }
}

// Runs the three readers on one image; `truth` empty for an image without a DataMatrix.
void runOne(const corpus::Image& im, const std::string& truth, Counts* c) {
  double t0 = now();
  std::string ours = readOurs(im);
  score(c[kOurs], ours, truth, now() - t0);
  t0 = now();
  std::string dmtx = readDmtx(im);
  score(c[kDmtx], dmtx, truth, now() - t0);
  const symbench::Reading z = symbench::readZXing(im, {corpus::Symbology::DataMatrix});
  score(c[kZXing], z.texts.empty() ? std::string() : z.texts.front(), truth, z.seconds);
}

// The smallest symbols at 300 dpi: 10 x 10, 12 x 12, 14 x 14, 8 x 18 and 12 x 26 modules at 10 to
// 20 mil, with a quiet zone of one, two and four modules, clean and at level 1.
void smallSymbols() {
  std::vector<Counts> c(kWho);
  for (int size : {1, 2, 3, 25, 27})
    for (double mils : {10.0, 13.0, 15.0, 20.0})
      for (int quiet : {1, 2, 4})
        for (int level : {0, 1}) {
          corpus::SymbolSpec spec;
          spec.symbology = corpus::Symbology::DataMatrix;
          spec.data = size == 1 ? "123456" : "AB12";
          spec.option2 = size;
          corpus::DrawSpec draw;
          draw.xMils = mils;
          draw.quietModules = quiet;
          corpus::Sample s;
          if (!corpus::makeSample(spec, draw, level, 7 * size + level, s)) continue;
          Counts one[kWho];
          runOne(s.image, s.truth, one);
          for (int w = 0; w < kWho; ++w) {
            c[w].images += one[w].images;
            c[w].read += one[w].read;
            c[w].misread += one[w].misread;
            c[w].ms.push_back(one[w].ms.front());
          }
        }
  line("small, 300 dpi", c.data());
  ratios("small", c.data());
}

}  // namespace

int main() {
  corpus::CorpusOptions o;
  o.symbologies = {corpus::Symbology::DataMatrix};
  o.specsPerSymbology = 6;
  const std::vector<corpus::Sample> samples = corpus::buildCorpus(o);

  std::map<std::pair<int, int>, std::vector<Counts>> byKey;  // (dpi, level)
  std::vector<Counts> all(kWho);
  for (const corpus::Sample& s : samples) {
    std::vector<Counts>& k = byKey[{s.draw.dpi, s.deg.level}];
    if (k.empty()) k.resize(kWho);
    Counts one[kWho];
    runOne(s.image, s.truth, one);
    for (int w = 0; w < kWho; ++w) {
      for (Counts* t : {&k[w], &all[w]}) {
        t->images += one[w].images;
        t->read += one[w].read;
        t->misread += one[w].misread;
        t->ms.push_back(one[w].ms.front());
      }
    }
  }
  std::printf("bench_datamatrix: %zu DataMatrix images (dpi, level: reader read/misread p50 p95 max ms)\n",
              samples.size());
  for (const auto& [key, c] : byKey) {
    char label[32];
    std::snprintf(label, sizeof label, "dpi %d level %d", key.first, key.second);
    line(label, c.data());
  }
  line("all", all.data());
  ratios("all", all.data());
  smallSymbols();

  // False positives: the negative set and the other symbologies.
  std::vector<Counts> fp(kWho);
  std::vector<corpus::Sample> others;
  for (int dpi : {300, 200})
    for (corpus::Sample& s : corpus::negativeSet(4, 2 * dpi, dpi / 2, dpi, 11)) others.push_back(std::move(s));
  corpus::CorpusOptions oo;
  oo.symbologies = {corpus::Symbology::Code128, corpus::Symbology::Ean13, corpus::Symbology::Pdf417,
                    corpus::Symbology::QrCode};
  oo.specsPerSymbology = 2;
  oo.levels = {0, 2};
  for (corpus::Sample& s : corpus::buildCorpus(oo)) others.push_back(std::move(s));
  for (const corpus::Sample& s : others) runOne(s.image, "", fp.data());
  line("no DataMatrix (FP)", fp.data());
  std::printf("false positives on %zu images without a DataMatrix: ours %d, libdmtx %d, zxing %d\n", others.size(),
              fp[kOurs].misread, fp[kDmtx].misread, fp[kZXing].misread);
  return 0;
}
