// Time per zone of the QR entry (the cost it adds to every font-37 zone) and of the locator,
// against ZXing-cpp and zbar reading the same in-memory images; the peers' read rates, and the
// locator's rate (three finders and a four-corner code area) and what the symbol model reads
// from its code image, per dpi and degradation level.
#include <chrono>
#include <cstdio>
#include <map>

#include "symbol_bench.h"
#include "symbols/symbols.h"

using namespace pvk;

namespace {

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Row {
  int images = 0, located = 0, modelRead = 0, zxingRead = 0, zbarRead = 0;
  std::vector<double> entry, locator, zxing, zbar;
};

// The locator with a global threshold midway, then the adaptive one; the model reads what it
// gives. True when three finders and a code area were found; `text` is the model's reading.
bool locate(const corpus::Image& image, std::string& text) {
  cv::Mat m(image.height, image.width, CV_8UC1, const_cast<uint8_t*>(image.pixels.data()));
  IplImage ipl = cvIplImage(m);
  for (auto [block, param] : {std::pair{0, 128}, std::pair{51, 10}}) {
    imageReader r;
    bool seen = false;
    if (!r.adjustImage(&ipl, seen, block, param)) continue;
    if (r.initialize(r.binaryCodeImage())) {
      std::vector<char> out(8000);
      unsigned short len = 8000;
      r.symbol.getCodeWords(out.data(), &len);
      text.assign(out.data(), len);
    }
    return true;
  }
  return false;
}

bool holds(const symbench::Reading& r, const std::string& truth) {
  for (const std::string& t : r.texts)
    if (t == truth) return true;
  return false;
}

void line(const char* name, const std::vector<double>& v, const std::vector<double>& zx, const std::vector<double>& zb) {
  const double p50 = symbench::percentile(v, 50), p95 = symbench::percentile(v, 95), mx = symbench::percentile(v, 100);
  std::printf("  %-8s p50 %7.2f ms  p95 %7.2f ms  max %7.2f ms", name, p50 * 1e3, p95 * 1e3, mx * 1e3);
  if (!zx.empty())
    std::printf("  | x ZXing p50 %.2f p95 %.2f max %.2f | x zbar p50 %.2f p95 %.2f max %.2f",
                p50 / symbench::percentile(zx, 50), p95 / symbench::percentile(zx, 95), mx / symbench::percentile(zx, 100),
                p50 / symbench::percentile(zb, 50), p95 / symbench::percentile(zb, 95), mx / symbench::percentile(zb, 100));
  std::printf("\n");
}

}  // namespace

int main() {
  corpus::CorpusOptions o;
  o.symbologies = {corpus::Symbology::QrCode};
  o.specsPerSymbology = 4;
  std::vector<corpus::Sample> samples = corpus::buildCorpus(o);
  for (int dpi : o.dpis)
    for (corpus::Sample& s : corpus::negativeSet(4, 2 * dpi, dpi, dpi, 37)) samples.push_back(std::move(s));

  std::map<std::pair<int, int>, Row> rows;  // (dpi, level); level -1 for the negative set
  Row all, none;  // none: the zones without a symbol, whose time every other zone also pays
  for (const corpus::Sample& s : samples) {
    Row& row = rows[{s.image.dpi, s.negative ? -1 : s.deg.level}];
    PVKImg img{static_cast<uint16_t>(s.image.width), static_cast<uint16_t>(s.image.height),
               static_cast<uint16_t>(s.image.width), static_cast<uint16_t>(s.image.dpi),
               const_cast<uint8_t*>(s.image.pixels.data())};
    char out[512];
    unsigned short len = sizeof out;
    double t0 = now();
    PQrCodeDecode(&img, out, len);
    const double entry = now() - t0;
    std::string text;
    t0 = now();
    const bool located = locate(s.image, text);
    const double locator = now() - t0;
    const symbench::Reading zx = symbench::readZXing(s.image, {corpus::Symbology::QrCode});
    const symbench::Reading zb = symbench::readZBar(s.image, {corpus::Symbology::QrCode});
    std::vector<Row*> into = {&row, &all};
    if (s.negative) into.push_back(&none);
    for (Row* r : into) {
      ++r->images;
      r->located += located;
      r->modelRead += !s.negative && text == s.truth;
      r->zxingRead += !s.negative && holds(zx, s.truth);
      r->zbarRead += !s.negative && holds(zb, s.truth);
      r->entry.push_back(entry);
      r->locator.push_back(locator);
      r->zxing.push_back(zx.seconds);
      r->zbar.push_back(zb.seconds);
    }
  }

  std::printf("bench_qr: %zu images (QR at 300 and 200 dpi, levels 0-4, and the negative set)\n", samples.size());
  for (const auto& [key, r] : rows) {
    std::printf("dpi %d %s%d: %d images, located %d, model read %d, ZXing read %d, zbar read %d\n", key.first,
                key.second < 0 ? "negative " : "level ", key.second < 0 ? 0 : key.second, r.images, r.located,
                r.modelRead, r.zxingRead, r.zbarRead);
  }
  std::printf("all: %d images, located %d, model read %d, ZXing read %d, zbar read %d\n", all.images, all.located,
              all.modelRead, all.zxingRead, all.zbarRead);
  line("entry", all.entry, all.zxing, all.zbar);
  line("locator", all.locator, all.zxing, all.zbar);
  std::printf("zones without a symbol (%d):\n", none.images);
  line("locator", none.locator, none.zxing, none.zbar);
  line("ZXing", all.zxing, {}, {});
  line("zbar", all.zbar, {}, {});
  return 0;
}
