// The linear barcode reader on the whole symbol corpus (every linear symbology, 300 and 200
// dpi, X from 7.5 to 20 mils, every degradation level) and on the negative set, beside
// ZXing-cpp and zbar restricted to each zone's symbology: reads, misreads, false positives and
// time per zone, with our figures as ratios to each peer's.
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

}  // namespace

int main() {
  std::memset(MyOcr.barcodeDisabled, 0, sizeof MyOcr.barcodeDisabled);
  corpus::CorpusOptions o;
  o.specsPerSymbology = 4;
  std::vector<corpus::Sample> samples = corpus::buildCorpus(o);
  for (int dpi : o.dpis)
    for (corpus::Sample& s : corpus::negativeSet(6, 2 * dpi, dpi / 2, dpi, 3)) samples.push_back(std::move(s));
  symbench::Tally t = symbench::runAll(samples, ours);
  std::printf("bench_barcodes: %zu zones (%zu negatives)\n", samples.size(), size_t(2 * 5 * 6));
  t.report(stdout);
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
  std::printf("zxing calls stopped by its own assertion: %d\n", symbench::zxingAborts);
  return 0;
}
