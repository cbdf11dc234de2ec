// Codelines printed in E13B and CMC7 fonts that others drew, read by our codeline readers: called
// directly (ReadOCR with the optical font, ReadCMCHor, ReadE13BVert with the head samples of the
// same ink) at 300, 240 and 200 dpi, and end to end by PVKImgScan1 on the software scanner (zone
// fonts 0 and 1 fed upright, 32, 33 and 34 fed lengthwise past the head) at 300 dpi. Clean, mild and
// hard prints of the same seeded lines in every cell. Per cell: characters right, '?', wrong,
// confident wrong (a wrong character in place at confidence 50 or more), extra and lost
// characters, lines exact, and the thread CPU time per line over the document's raw stream on
// USB 2.0, with the goal beside; then how often each symbol reads right, per reader, at 300 dpi.
//
//   bench_codeline_print [quick] [e13b|cmc7] [direct|scan] [lines=N]
//
// quick: 6 lines per cell and 300 dpi only, for iterating on a reader. The fonts are those kept
// under tests/data/fonts, else those of PVK_SHARED_DIR; without them the benchmark skips.
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "../bench_timing.h"
#include "print_bench.h"

namespace pvk::printbench {

Cell& Cells::at(const std::string& reader, cp::Micr kind, int dpi, const std::string& condition,
                const std::string& size) {
  for (Cell& c : cells_)
    if (c.reader == reader && c.kind == kind && c.dpi == dpi && c.condition == condition && c.size == size) return c;
  cells_.push_back({reader, kind, dpi, condition, size, {}, 0});
  return cells_.back();
}

double threadSeconds() { return pvk::bench::kernelSeconds(CLOCK_THREAD_CPUTIME_ID); }

zonecorpus::Tally score(const std::string& truth, const char* text, const char* conf, int n, double seconds) {
  const size_t len = n > 0 ? static_cast<size_t>(n) : 0;
  return zonecorpus::scoreReading({truth}, std::string(text, len), std::string(conf, len), false, false, seconds);
}

namespace {

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::string fontDir() {
  for (const std::string& dir : {std::string(PVK_TEST_DATA_DIR) + "/fonts", std::string(PVK_SHARED_DIR) + "/fonts"})
    if (exists(dir + "/GnuMICR.ttf") && exists(dir + "/CMC7.ttf")) return dir;
  return "";
}

Options parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "quick") {
      o.lines = 6;
      o.dpis = {300};
    } else if (a == "e13b" || a == "cmc7") {
      o.e13b = a == "e13b";
      o.cmc7 = a == "cmc7";
    } else if (a == "direct" || a == "scan") {
      o.direct = a == "direct";
      o.scan = a == "scan";
    } else if (a.rfind("lines=", 0) == 0) {
      o.lines = std::max(1, std::atoi(a.c_str() + 6));
    }
  }
  return o;
}

// The goal of a cell, and whether it is met. No cell may give a confident wrong character.
std::string goal(const Cell& c, bool& met) {
  const zonecorpus::Tally& t = c.tally;
  const double right = t.chars ? static_cast<double>(t.right()) / t.chars : 1.0;
  met = t.confidentWrong == 0;
  if (c.dpi == 300 && c.size == "1" && c.condition == "clean") {
    met = met && t.exact == t.zones;
    return "100% exact";
  }
  const double floor = c.dpi != 300 || c.size != "1" ? (c.condition == "clean" ? 0.97 : -1)
                                    : (c.condition == "mild" ? 0.99 : 0.95);
  if (floor < 0) return "no confW";
  met = met && right >= floor;
  char s[32];
  std::snprintf(s, sizeof s, ">=%.0f%% right", floor * 100);
  return s;
}

const char* fontName(cp::Micr k) { return k == cp::Micr::E13B ? "E13B" : "CMC7"; }

void printCells(const Cells& cells) {
  std::printf("%-15s %-4s %4s %-9s %-5s %5s %6s %7s %6s %5s %5s %5s %5s %9s %8s %7s  %-13s %s\n", "reader", "font",
              "dpi", "size", "cond", "lines", "chars", "right", "?", "wrong", "confW", "extra", "lost", "exact", "ms/line",
              "/USB", "goal", "");
  for (const Cell& c : cells.all()) {
    const zonecorpus::Tally& t = c.tally;
    const double chars = std::max<long>(t.chars, 1);
    bool met = false;
    const std::string g = goal(c, met);
    char exact[24];
    std::snprintf(exact, sizeof exact, "%ld/%ld", t.exact, t.zones);
    std::printf("%-15s %-4s %4d %-9s %-5s %5ld %6ld %6.2f%% %5.2f%% %5ld %5ld %5ld %5ld %9s %8.2f %7.3f  %-13s %s\n",
                c.reader.c_str(), fontName(c.kind), c.dpi, c.size.c_str(), c.condition.c_str(), t.zones, t.chars,
                100.0 * t.right() / chars, 100.0 * t.rejects / chars, t.substitutions, t.confidentWrong,
                t.insertions, t.deletions, exact, t.msPerZone(), c.usbSeconds > 0 ? t.seconds / c.usbSeconds : 0.0,
                g.c_str(), met ? "met" : "MISSED");
  }
}

std::string symbolName(cp::Micr k, char s) {
  static const std::map<char, const char*> e13b = {{':', "transit"}, {'=', "amount"}, {'<', "on-us"}, {';', "dash"}};
  static const std::map<char, const char*> cmc7 = {{':', "S1"}, {';', "S2"}, {'<', "S3"}, {'=', "S4"}, {'>', "S5"}};
  const auto& names = k == cp::Micr::E13B ? e13b : cmc7;
  const auto it = names.find(s);
  return std::string(1, s) + (it != names.end() ? std::string(" ") + it->second : "");
}

// How often each symbol of the font reads right, per reader, over every 300 dpi cell of print at
// the standard size.
void printSymbols(const Cells& cells, const cp::FontSpec& spec) {
  std::map<std::string, zonecorpus::Tally> byReader;
  std::vector<std::string> readers;
  for (const Cell& c : cells.all()) {
    if (c.kind != spec.kind || c.dpi != 300 || c.size != "1") continue;
    if (!byReader.count(c.reader)) readers.push_back(c.reader);
    byReader[c.reader].add(c.tally);
  }
  if (readers.empty()) return;
  std::printf("\n%s symbols read right at 300 dpi, clean, mild and hard together\n%-11s", fontName(spec.kind),
              "symbol");
  for (const std::string& r : readers) std::printf(" %17s", r.c_str());
  std::printf("\n");
  for (char s : spec.symbols) {
    std::printf("%-11s", symbolName(spec.kind, s).c_str());
    for (const std::string& r : readers) {
      const auto it = byReader[r].bySymbol.find(s);
      const zonecorpus::SymbolCount k = it != byReader[r].bySymbol.end() ? it->second : zonecorpus::SymbolCount{};
      char v[32];
      std::snprintf(v, sizeof v, "%ld/%ld %3.0f%%", k.right, k.total, k.total ? 100.0 * k.right / k.total : 0.0);
      std::printf(" %17s", v);
    }
    std::printf("\n");
  }
}

}  // namespace

}  // namespace pvk::printbench

int main(int argc, char** argv) {
  namespace pb = pvk::printbench;
  namespace cp = pvk::codelineprint;
  const pb::Options o = pb::parse(argc, argv);
  const std::string dir = pb::fontDir();
  if (dir.empty()) {
    std::printf("bench_codeline_print: skipped, no codeline fonts under %s/fonts or %s/fonts\n", PVK_TEST_DATA_DIR,
                PVK_SHARED_DIR);
    return 0;
  }
  double load[3] = {-1, -1, -1};
  if (getloadavg(load, 3) != 3) load[0] = -1;
  const double wall0 = pvk::bench::kernelSeconds(CLOCK_MONOTONIC);
  std::vector<cp::FontSpec> specs;
  if (o.e13b) specs.push_back(cp::sharedE13B(dir));
  if (o.cmc7) specs.push_back(cp::sharedCMC7(dir));
  pb::Cells cells;
  try {
    std::vector<std::unique_ptr<cp::PrintFont>> fonts;
    std::vector<const cp::PrintFont*> all;
    for (const cp::FontSpec& spec : specs) {
      fonts.push_back(std::make_unique<cp::PrintFont>(spec));
      all.push_back(fonts.back().get());
    }
    for (const cp::PrintFont* f : all)
      if (o.direct) pb::readDirect(*f, o, cells);
    if (o.scan && !pb::readScanned(all, o, cells)) return 1;
  } catch (const std::exception& e) {
    std::printf("bench_codeline_print: %s\n", e.what());
    return 1;
  }
  std::printf("bench_codeline_print: codelines printed in the fonts of %s, %d lines per cell; load average %.1f "
              "%.1f %.1f on %ld cores\n",
              dir.c_str(), o.lines, load[0], load[1], load[2], sysconf(_SC_NPROCESSORS_ONLN));
  pb::printCells(cells);
  std::printf("  right, ?: shares of the characters printed (blanks left out); wrong: another character in "
              "place, confW: of those at confidence 50 or more;\n  extra, lost: characters read that were not "
              "printed, printed and not read; /USB: thread CPU time per line over the document's raw stream\n"
              "  on USB 2.0 at 40 MB/s (the whole PVKImgScan1 call; a direct reading beside a 300 dpi grey "
              "cheque)\n");
  for (const cp::FontSpec& spec : specs) pb::printSymbols(cells, spec);
  std::printf("\nbench_codeline_print: %.0f s\n", pvk::bench::kernelSeconds(CLOCK_MONOTONIC) - wall0);
  return 0;
}
