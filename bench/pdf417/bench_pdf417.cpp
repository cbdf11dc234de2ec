// The PDF417 reader on the symbol corpus (every degradation level, 300 and 200 dpi, X of 10 to
// 20 mils, error-correction levels 0 to 8) and on the negative set, beside ZXing-cpp and zbar
// on the same in-memory images: read and misread rates, false positives and the time per zone
// (p50, p95, max), with our figures as ratios to the peers'.
#include <cstdio>
#include <cstring>

#include "core/records.h"
#include "symbol_bench.h"
#include "symbols/symbols.h"

using namespace pvk;

int main()
{
  MyAcq.colourLines = 1;
  MyAcq.planesPerLine = 1;
  std::memset(&MyLog, 0, sizeof MyLog);
  corpus::CorpusOptions o;
  o.symbologies = {corpus::Symbology::Pdf417};
  o.specsPerSymbology = 6;
  std::vector<corpus::Sample> samples = corpus::buildCorpus(o);
  // The corpus's PDF417 symbols leave the level to the encoder: add every level explicitly.
  uint32_t seed = 417;
  for (int level = 0; level <= 8; ++level)
    for (const corpus::SymbolSpec& spec : corpus::specsFor(corpus::Symbology::Pdf417, 2, seed++)) {
      corpus::SymbolSpec s = spec;
      s.option1 = level;
      for (int dpi : {300, 200}) {
        corpus::DrawSpec d;
        d.dpi = dpi;
        d.xMils = 15;
        corpus::Sample sample;
        if (corpus::makeSample(s, d, level % corpus::kLevels, seed, sample))
          samples.push_back(std::move(sample));
      }
    }
  for (int dpi : o.dpis)
    for (corpus::Sample& s : corpus::negativeSet(4, 2 * dpi, dpi / 2, dpi, 7))
      samples.push_back(std::move(s));
  symbench::Tally t = symbench::runAll(samples, [](const corpus::Sample& s) {
    static char text[4096], conf[4096];
    PVKImg img{static_cast<uint16_t>(s.image.width), static_cast<uint16_t>(s.image.height),
               static_cast<uint16_t>(s.image.width), static_cast<uint16_t>(s.image.dpi),
               const_cast<uint8_t*>(s.image.pixels.data())};
    int n = ReadPdf(img, text, conf, sizeof text);
    return n > 0 ? std::vector<std::string>{std::string(text, n)} : std::vector<std::string>{};
  });
  std::printf("bench_pdf417: %zu images\n", samples.size());
  t.report(stdout);
  auto line = [&](symbench::Reader who) {
    symbench::Counts c = t.total(who, "pdf417");
    std::printf("  %-6s read %d/%d, misread %d, p50 %.3f ms, p95 %.3f ms, max %.3f ms\n",
                symbench::readerName(who), c.read, c.images, c.misread,
                1e3 * symbench::percentile(c.seconds, 50), 1e3 * symbench::percentile(c.seconds, 95),
                1e3 * symbench::percentile(c.seconds, 100));
    return c;
  };
  symbench::Counts us = line(symbench::Reader::Ours);
  symbench::Counts zx = line(symbench::Reader::ZXing);
  if (zx.read && !zx.seconds.empty())
    std::printf("  ours / ZXing: read %.2f, p50 time %.2f, p95 time %.2f\n",
                static_cast<double>(us.read) / zx.read,
                symbench::percentile(us.seconds, 50) / symbench::percentile(zx.seconds, 50),
                symbench::percentile(us.seconds, 95) / symbench::percentile(zx.seconds, 95));
  return 0;
}
