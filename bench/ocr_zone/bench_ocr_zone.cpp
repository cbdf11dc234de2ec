// The zone reader on the whole zone corpus beside Tesseract on the same grey images: per font
// family and condition the character error rates and times per zone of both and their ratios
// (ours over Tesseract's; below 1 is better). Tesseract reads in process, initialised before any
// timing, one line (or one block for zones of several lines) per zone, restricted to the zone's
// valid set. E13B, CMC7 and microperforation have no Debian model: our figures alone, "no peer".
// The accuracy table per font, resolution and condition is printed and written to
// zone_bench_report.txt.
//   bench_ocr_zone [PER_CELL] [SEED]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "ocr/ocr.h"
#include "tesseract_peer.h"
#include "zone_corpus.h"
#include "zone_score.h"

#ifndef PVK_FONT_DB_DIR
#error "PVK_FONT_DB_DIR names the directory of the generated font databases"
#endif

using namespace pvk::zonecorpus;

namespace {

std::string family(short font) {
  if (font == 1) return "E13B";
  if (font == 202) return "CMC7";
  if (font == 2) return "OCR-A";
  if (font >= 3 && font <= 5) return "OCR-B";
  if (font == 38 || font == 39) return "OCR-B";
  if (font >= 9 && font <= 12) return "multi-font";
  if (font >= 935 && font <= 943) return "microperforation";
  return "payee";  // 944, 945
}

bool hasPeer(short font) { return font != 1 && font != 202 && !(font >= 935 && font <= 943); }

double seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  // Tesseract's OpenMP threads spin while they wait, which on a shared machine measures the
  // machine's load rather than the reader: both readers run on one thread. The runtime reads
  // the limit when it is loaded, so the program starts itself again with it set.
  if (std::getenv("OMP_THREAD_LIMIT") == nullptr) {
    setenv("OMP_THREAD_LIMIT", "1", 1);
    execv("/proc/self/exe", argv);
  }
  const int perCell = argc > 1 ? std::atoi(argv[1]) : 2;
  const uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
  double load[3] = {-1, -1, -1};
  if (getloadavg(load, 3) != 3) load[0] = -1;

  std::vector<Zone> zones;
  for (const ZoneRequest& r : corpus(corpusFonts(), {200, 240, 300}, {"clean", "mild", "hard"}, perCell, seed))
    zones.push_back(makeZone(r));
  TesseractPeer peer;  // the model is loaded here, outside every timing

  Report ours, theirs;
  std::map<std::string, Tally> oursBy, theirsBy;
  int done = 0;
  for (Zone& z : zones) {
    MyOcr = OcrInfo{};
    MyITACheck = ITACheckInfo{};
    std::snprintf(MyOcr.dbDir, sizeof MyOcr.dbDir, "%s/", PVK_FONT_DB_DIR);
    MyOcr.typeDoc = z.typeDoc;
    std::vector<char> text(256), conf(256);
    auto t0 = std::chrono::steady_clock::now();
    int n = ReadOCR(z.image.view(), text.data(), conf.data(), nullptr, z.font, 256);
    const double s = seconds(t0);
    if (n < 0) n = 0;
    const Tally t = scoreReading(z.lines, std::string(text.data(), n), std::string(conf.data(), n), false,
                                 MyOcr.multiLine != 0, s);
    const std::string cell = cellName(z.font, z.italianLayout, z.dpi, z.cond.name);
    const std::string key = family(z.font) + " " + z.cond.name;
    ours.add(cell, t);
    oursBy[key].add(t);
    if (!hasPeer(z.font) || !peer.ok()) continue;
    const std::string set = drawableSet(z.font, z.typeDoc);
    t0 = std::chrono::steady_clock::now();
    const std::string read = peer.read(z.image, set, z.lines.size() > 1);
    const double ps = seconds(t0);
    const Tally p = scoreReading(z.lines, read, "", false, false, ps);
    theirs.add(cell, p);
    theirsBy[key].add(p);
    if (++done % 50 == 0) std::fprintf(stderr, "%d of %zu zones\n", done, zones.size());
  }

  std::printf("bench_ocr_zone: %zu zones, %d per cell, seed %llu, load average %.2f\n", zones.size(), perCell,
              static_cast<unsigned long long>(seed), load[0]);
  std::printf("%-28s %7s %8s %8s %8s %10s %10s %8s\n", "family condition", "zones", "CER", "CER tess", "ratio",
              "ms/zone", "ms tess", "ratio");
  for (const auto& [key, t] : oursBy) {
    auto it = theirsBy.find(key);
    if (it == theirsBy.end()) {
      std::printf("%-28s %7ld %7.2f%% %8s %8s %10.2f %10s %8s\n", key.c_str(), t.zones, 100 * t.errorRate(),
                  "no peer", "-", t.msPerZone(), "-", "-");
      continue;
    }
    const Tally& p = it->second;
    // Tesseract without an error: the ratio is 1 when we have none either, else unbounded.
    char cerRatio[16];
    if (p.errorRate() > 0) std::snprintf(cerRatio, sizeof cerRatio, "%.2f", t.errorRate() / p.errorRate());
    else std::snprintf(cerRatio, sizeof cerRatio, "%s", t.errorRate() > 0 ? "inf" : "1.00");
    std::printf("%-28s %7ld %7.2f%% %7.2f%% %8s %10.2f %10.2f %8.2f\n", key.c_str(), t.zones, 100 * t.errorRate(),
                100 * p.errorRate(), cerRatio, t.msPerZone(), p.msPerZone(),
                p.msPerZone() > 0 ? t.msPerZone() / p.msPerZone() : 0.0);
  }
  const std::string title = "Zone reader accuracy (whole corpus)";
  std::printf("\n%s\n", ours.table(title).c_str());
  std::printf("%s\n", theirs.table("Tesseract on the same zones").c_str());
  if (!ours.write("zone_bench_report.txt", title)) std::fprintf(stderr, "cannot write zone_bench_report.txt\n");
  return 0;
}
