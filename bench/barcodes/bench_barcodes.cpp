// The linear barcode reader on the whole symbol corpus (every linear symbology, 300 and 200
// dpi, X from 7.5 to 20 mils, every degradation level) and on the negative set, beside
// ZXing-cpp and zbar restricted to each zone's symbology: reads, misreads, false positives and
// time per zone, with our figures as ratios to each peer's. Then zones lower than 16 rows, of
// symbols and of the negative set; `bench_barcodes low` runs these alone.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "symbol_bench.h"
#include "symbols/symbols.h"

using namespace pvk;

namespace {

std::vector<std::string> ours(const corpus::Sample& s) {
  MyOcr.currentFont = static_cast<int16_t>(s.negative ? 7 : corpus::ownFont(s.spec.symbology));
  MyOcr.pharmacode = !s.negative && s.spec.symbology == corpus::Symbology::Code32;
  PVKImg img{static_cast<uint16_t>(s.image.width), static_cast<uint16_t>(s.image.height),
             static_cast<uint16_t>(s.image.width), static_cast<uint16_t>(s.image.dpi),
             const_cast<uint8_t*>(s.image.pixels.data())};
  char text[512], conf[512];
  int n = ReadBarCode(img, text, conf, sizeof text);
  std::vector<std::string> out;
  // Readings are separated by one blank, which is also a Code 39 character: a text that is the
  // truth whole counts as one reading.
  if (n > 0 && !s.negative && std::string(text, n) == s.truth) return {s.truth};
  for (int i = 0, from = 0; i <= n; ++i)
    if (i == n || text[i] == ' ') {
      if (i > from) out.emplace_back(text + from, i - from);
      from = i + 1;
    }
  return out;
}

// Per symbology our reads and misreads beside the peers', and our time as ratios to theirs.
void summary(const symbench::Tally& t) {
  std::printf("\n%-10s %5s | %-23s | %-23s | %-23s | time ratio p50 p95 max to zxing, to zbar\n", "symbology", "n",
              "ours read/miss", "zxing read/miss", "zbar read/miss");
  std::vector<std::string> names;
  for (corpus::Symbology s : corpus::linearSymbologies()) names.push_back(corpus::symbologyName(s));
  names.push_back("negative");
  for (const std::string& name : names) {
    symbench::Counts c[3];
    const symbench::Reader who[3] = {symbench::Reader::Ours, symbench::Reader::ZXing, symbench::Reader::ZBar};
    for (int k = 0; k < 3; ++k) {
      for (const auto& [key, m] : t.rows()) {
        if (key.symbology != name) continue;
        auto it = m.find(who[k]);
        if (it == m.end()) continue;
        c[k].images += it->second.images;
        c[k].read += it->second.read;
        c[k].misread += it->second.misread;
        c[k].seconds.insert(c[k].seconds.end(), it->second.seconds.begin(), it->second.seconds.end());
      }
    }
    auto r = [&](int k, double p) {
      double b = symbench::percentile(c[k].seconds, p);
      return b > 0 ? symbench::percentile(c[0].seconds, p) / b : 0.0;
    };
    std::printf("%-10s %5d | %5d %4d            | %5d %4d            | %5d %4d            | %4.2f %4.2f %4.2f, %4.2f %4.2f %4.2f\n",
                name.c_str(), c[0].images, c[0].read, c[0].misread, c[1].read, c[1].misread, c[2].read, c[2].misread,
                r(1, 50), r(1, 95), r(1, 100), r(2, 50), r(2, 95), r(2, 100));
  }
}

// A sample cut to rows y0..y1-1 of its image.
corpus::Sample cutRows(const corpus::Sample& s, int y0, int y1) {
  corpus::Sample out = s;
  out.image.height = y1 - y0;
  out.image.pixels.assign(s.image.row(y0), s.image.row(y0) + static_cast<size_t>(y1 - y0) * s.image.width);
  return out;
}

std::vector<corpus::Sample> lowZones() {
  corpus::CorpusOptions o;
  o.specsPerSymbology = 2;
  o.dpis = {300};
  o.xMils = {10, 13};
  o.levels = {0, 1, 2};
  o.barHeightPx = 6;
  std::vector<corpus::Sample> out;
  for (const corpus::Sample& s : corpus::buildCorpus(o)) {
    const int y0 = std::max(0, static_cast<int>(s.where.top) - 1);
    out.push_back(cutRows(s, y0, std::min(s.image.height, y0 + 8)));
  }
  for (const corpus::Sample& s : corpus::negativeSet(6, 600, 150, 300, 3))
    for (int h : {8, 12})
      for (int y = 0; y + h <= s.image.height; y += h) out.push_back(cutRows(s, y, y + h));
  return out;
}

void wholeCorpus() {
  corpus::CorpusOptions o;
  o.specsPerSymbology = 4;
  std::vector<corpus::Sample> samples = corpus::buildCorpus(o);
  for (int dpi : o.dpis)
    for (corpus::Sample& s : corpus::negativeSet(6, 2 * dpi, dpi / 2, dpi, 3)) samples.push_back(std::move(s));
  symbench::Tally t = symbench::runAll(samples, ours);
  std::printf("bench_barcodes: %zu zones (%zu negatives)\n", samples.size(), size_t(2 * 5 * 6));
  t.report(stdout);
  summary(t);
}

}  // namespace

int main(int argc, char** argv) {
  std::memset(MyOcr.barcodeDisabled, 0, sizeof MyOcr.barcodeDisabled);
  const bool lowOnly = argc > 1 && std::strcmp(argv[1], "low") == 0;
  if (!lowOnly) wholeCorpus();
  // Zones drawn around strips lower than 16 rows: symbols of 6-row bars cut to their bars and a
  // row of paper either side, and 8- and 12-row strips of the negative zones.
  symbench::Tally low = symbench::runAll(lowZones(), ours);
  std::printf("\nzones lower than 16 rows: %d symbols, %d negatives\n", low.total(symbench::Reader::Ours).images,
              low.total(symbench::Reader::Ours, "negative").images);
  summary(low);
  std::printf("zxing calls stopped by its own assertion: %d\n", symbench::zxingAborts);
  return 0;
}
