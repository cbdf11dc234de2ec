// The zone reader on text printed by others beside Tesseract: zones set by ImageMagick in the
// Debian OCR-A, OCR-B and Liberation Sans fonts at 8 to 14 points, 200 and 300 dpi, clean, mild
// and hard; numeric zones also drawn too tall, taking in part of a neighbouring line, and read as
// a host's zone is read (rows searched, the best kept). Per font,
// resolution and condition: exact lines, character error rate of both readers, our confident wrong
// characters (confidence 50 or more), time per zone of both and its ratio (ours over
// Tesseract's). The goals of the zone reader are checked at the end, one line each.
//   bench_ocr_text [PER_CELL] [SEED or FIRST-LAST] [-v] [-d DIR] [-f FONT]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "ocr/ocr.h"
#include "reading/reading.h"
#include "printed_zone.h"
#include "tesseract_peer.h"
#include "zone_score.h"

#ifndef PVK_FONT_DB_DIR
#error "PVK_FONT_DB_DIR names the directory of the generated font databases"
#endif

using namespace pvk::zonecorpus;

namespace {

double seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::string familyOf(short font) {
  for (const PrintedFont& f : printedFonts())
    if (f.font == font) return f.family;
  return std::to_string(font);
}

struct Cell {
  Tally ours, theirs;
};

struct Options {
  int perCell = 10;
  uint64_t seed = 1, lastSeed = 1;  // the corpus of each seed in turn
  bool verbose = false;
  std::string dumpDir;  // where the zones read wrong are written, when set
  short only = 0;
};

Options parse(int argc, char** argv) {
  Options o;
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-v") == 0) o.verbose = true;
    else if (std::strcmp(argv[i], "-d") == 0 && i + 1 < argc) o.dumpDir = argv[++i];
    else if (std::strcmp(argv[i], "-f") == 0 && i + 1 < argc) o.only = static_cast<short>(std::atoi(argv[++i]));
    else if (positional++ == 0) o.perCell = std::atoi(argv[i]);
    else {
      char* end = nullptr;
      o.seed = o.lastSeed = std::strtoull(argv[i], &end, 10);
      if (end != nullptr && *end == '-') o.lastSeed = std::max<uint64_t>(o.seed, std::strtoull(end + 1, nullptr, 10));
    }
  }
  return o;
}

std::string printable(const std::string& s) {
  std::string out;
  for (char c : s) out += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
  return out;
}

std::string confidences(const std::string& conf) {
  std::string out;
  for (char c : conf) out += std::to_string(static_cast<unsigned char>(c)) + " ";
  return out;
}

// One zone read by us, by the zone reader itself or as a host's zone: the reading's tally.
Tally readOurs(Zone& z, bool asHostZone, bool verbose, const std::string& dumpDir) {
  MyOcr = OcrInfo{};
  MyITACheck = ITACheckInfo{};
  std::snprintf(MyOcr.dbDir, sizeof MyOcr.dbDir, "%s/", PVK_FONT_DB_DIR);
  MyOcr.typeDoc = z.typeDoc;
  std::vector<char> text(256), conf(256);
  const PVKImg img = z.image.view();
  PVKOCRZone zone{};
  zone.font = z.font;
  const auto t0 = std::chrono::steady_clock::now();
  int n = asHostZone ? Vx3OCRRead(img, &zone, text.data(), conf.data(), nullptr, 256, img.width, true)
                     : ReadOCR(img, text.data(), conf.data(), nullptr, z.font, 256);
  const double s = seconds(t0);
  if (n < 0) n = 0;
  const std::string got(text.data(), static_cast<size_t>(n)), confs(conf.data(), static_cast<size_t>(n));
  const Tally t = scoreReading(z.lines, got, confs, false, false, s);
  if (!dumpDir.empty() && (t.errors > 0 || t.confidentWrong > 0)) writeZone(dumpDir, z);
  if (verbose && (t.errors > 0 || t.confidentWrong > 0))
    std::fprintf(stderr, "%-44s truth \"%s\" read \"%s\" conf %s\n", z.id.c_str(), z.lines[0].c_str(),
                 printable(got).c_str(), confidences(confs).c_str());
  return t;
}

struct Goal {
  std::string what;
  bool met;
};

double exactShare(const Tally& t) { return t.zones > 0 ? static_cast<double>(t.exact) / t.zones : 0; }

std::vector<Goal> goals(const std::map<std::string, Cell>& by, const std::map<std::string, Cell>& byFamily) {
  std::vector<Goal> g;
  long confW = 0;
  for (const auto& [key, c] : by)
    if (key.find("hard") == std::string::npos) confW += c.ours.confidentWrong;
  g.push_back({"no confident wrong character on clean and mild zones (" + std::to_string(confW) + ")", confW == 0});
  for (const char* fam : {"OCR-B", "payee"}) {
    for (const auto& [cond, need] : {std::pair<std::string, double>{"clean", 0.98}, {"mild", 0.95}}) {
      const auto it = byFamily.find(std::string(fam) + " " + cond);
      const double share = it == byFamily.end() ? 0 : exactShare(it->second.ours);
      char line[128];
      std::snprintf(line, sizeof line, "%s %s exact lines %.1f %% >= %.0f %%", fam, cond.c_str(), 100 * share,
                    100 * need);
      g.push_back({line, share >= need});
    }
  }
  for (const PrintedFont& f : printedFonts()) {
    for (const char* cond : {"clean", "mild"}) {
      const auto a = by.find(f.family + " 300dpi " + cond), b = by.find(f.family + " 200dpi " + cond);
      if (a == by.end() || b == by.end()) continue;
      const double d = 100 * (exactShare(a->second.ours) - exactShare(b->second.ours));
      char line[128];
      std::snprintf(line, sizeof line, "%s %s: 200 dpi within 3 points of 300 dpi (%+.1f)", f.family.c_str(), cond, -d);
      g.push_back({line, d <= 3});
    }
  }
  for (const auto& [fam, ceiling] : {std::pair<std::string, double>{"payee", 1.0}, {"OCR-A", 0.25}, {"OCR-B", 0.25}}) {
    const auto it = byFamily.find(fam + " all");
    if (it == byFamily.end() || it->second.theirs.msPerZone() <= 0) continue;
    const double r = it->second.ours.msPerZone() / it->second.theirs.msPerZone();
    char line[128];
    std::snprintf(line, sizeof line, "%s time %.2fx Tesseract's <= %.2fx", fam.c_str(), r, ceiling);
    g.push_back({line, r <= ceiling});
  }
  return g;
}

}  // namespace

int main(int argc, char** argv) {
  // Tesseract's OpenMP threads spin while they wait: both readers run on one thread. The
  // runtime reads the limit when it is loaded, so the program starts itself again with it set.
  if (std::getenv("OMP_THREAD_LIMIT") == nullptr) {
    setenv("OMP_THREAD_LIMIT", "1", 1);
    execv("/proc/self/exe", argv);
  }
  const Options o = parse(argc, argv);
  if (magickProgram().empty()) {
    std::printf("bench_ocr_text: ImageMagick is not installed, nothing measured\n");
    return 0;
  }
  double load[3] = {-1, -1, -1};
  if (getloadavg(load, 3) != 3) load[0] = -1;
  std::vector<Zone> zones;
  for (uint64_t seed = o.seed; seed <= o.lastSeed; ++seed)
    for (const PrintRequest& r : printedCorpus({300, 200}, {"clean", "mild", "hard"}, o.perCell, seed))
      if (o.only == 0 || r.font == o.only) zones.push_back(printZone(r));
  TesseractPeer peer;  // the model is loaded here, outside every timing

  std::map<std::string, Cell> by, byFamily;
  for (Zone& z : zones) {
    const bool tall = z.id.find("_nb") != std::string::npos;
    const std::string fam = familyOf(z.font) + (tall ? " tall" : "");
    Cell c;
    c.ours = readOurs(z, tall, o.verbose, o.dumpDir);
    if (peer.ok()) {
      const auto t0 = std::chrono::steady_clock::now();
      const std::string read = peer.read(z.image, drawableSet(z.font, z.typeDoc), false);
      c.theirs = scoreReading(z.lines, read, "", false, false, seconds(t0));
    }
    for (const std::string& key : {fam + " " + std::to_string(z.dpi) + "dpi " + z.cond.name}) {
      by[key].ours.add(c.ours);
      by[key].theirs.add(c.theirs);
    }
    for (const std::string& key : {fam + " " + z.cond.name, fam + " all"}) {
      byFamily[key].ours.add(c.ours);
      byFamily[key].theirs.add(c.theirs);
    }
  }

  std::printf("bench_ocr_text: %zu zones, %d per cell and seed, seeds %llu-%llu, load average %.2f\n", zones.size(),
              o.perCell, static_cast<unsigned long long>(o.seed), static_cast<unsigned long long>(o.lastSeed), load[0]);
  std::printf("%-28s %5s %7s %8s %8s %6s %9s %9s %7s\n", "font resolution condition", "zones", "exact", "CER",
              "CER tess", "confW", "ms/zone", "ms tess", "time");
  for (const auto& [key, c] : by) {
    const double ratio = c.theirs.msPerZone() > 0 ? c.ours.msPerZone() / c.theirs.msPerZone() : 0;
    std::printf("%-28s %5ld %6.1f%% %7.2f%% %7.2f%% %6ld %9.2f %9.2f %6.2fx\n", key.c_str(), c.ours.zones,
                100 * exactShare(c.ours), 100 * c.ours.errorRate(), 100 * c.theirs.errorRate(), c.ours.confidentWrong,
                c.ours.msPerZone(), c.theirs.msPerZone(), ratio);
  }
  std::printf("\ngoals\n");
  for (const Goal& g : goals(by, byFamily)) std::printf("  %-4s %s\n", g.met ? "met" : "MISS", g.what.c_str());
  return 0;
}
