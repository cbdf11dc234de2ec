// Real-world symbols printed by others, each image a whole zone at 300 dpi, read through the
// one-zone reader with its category's font, beside ZXing-cpp and zbar restricted to the
// category's symbology: per category the reads and misreads of each, and our time per zone as a
// ratio to each peer's (the median and 95th percentile of the per-zone ratios), after one
// untimed read of each category's first zone by each reader. Then zones that
// hold no symbol (the corpus's negative set) read with the linear, PDF417 and DataMatrix fonts:
// false positives and the same ratios.
//
// bench_peer_symbols [-v] [-p] [ROUNDS] [CATEGORY...]: -v lists every zone with what we read; -p
// adds every linear sample read in perturbed zones (see zone_perturbations.h) by us and ZXing-cpp,
// per category and per kind of perturbation, -v then listing the zones where we fall short, and
// likewise per kind for each PDF417 and DataMatrix sample (see matrix_perturbations.h);
// ROUNDS (default 3) runs per zone and reader, the median kept; categories name the sample
// folders, "negative" the zones without a symbol.
// A linear sample smaller than the least zone a host may draw for a barcode font (200 x 8 pixels
// at 300 dpi) is read by us as a zone drawn to that least size around it, the added margin being
// paper of the sample's own border shade; the peers read the sample as it is.
// The samples' folder is PVK_PEER_SAMPLES of the environment, else the build's; absent, the
// benchmark says so and succeeds.
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/records.h"
#include "reading/reading.h"
#include "symbol_bench.h"
#include "matrix_perturbations.h"
#include "zone_perturbations.h"

using namespace pvk;
namespace fs = std::filesystem;
using corpus::Symbology;

namespace {

struct Category {
  const char* dir;
  Symbology symbology;
  short font;
};

const Category kCategories[] = {
    {"code39", Symbology::Code39, 300},   {"itf", Symbology::I2of5, 301},     {"code93", Symbology::Code93, 303},
    {"code128", Symbology::Code128, 304}, {"codabar", Symbology::Codabar, 306}, {"upca", Symbology::UpcA, 307},
    {"upce", Symbology::UpcE, 308},       {"ean8", Symbology::Ean8, 309},      {"ean13", Symbology::Ean13, 310},
    {"pdf417", Symbology::Pdf417, 8},     {"datamatrix", Symbology::DataMatrix, 36},
};

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// UPC-E's eight digits (number system, six digits, check) as the twelve of its UPC-A.
std::string upcEToA(const std::string& e) {
  if (e.size() != 8) return e;
  const std::string d = e.substr(1, 6);
  std::string mid;
  switch (d[5]) {
    case '0': case '1': case '2': mid = d.substr(0, 2) + d[5] + "0000" + d.substr(2, 3); break;
    case '3': mid = d.substr(0, 3) + "00000" + d.substr(3, 2); break;
    case '4': mid = d.substr(0, 4) + "00000" + d[4]; break;
    default: mid = d.substr(0, 5) + "0000" + d[5];
  }
  return e[0] + mid + e[7];
}

// The twelve digits of a UPC reading given as 8 (UPC-E), 12 or 13 digits (a leading 0).
std::string upcDigits(const std::string& t, bool upcE) {
  if (upcE && t.size() == 8) return upcEToA(t);
  if (t.size() == 13 && t[0] == '0') return t.substr(1);
  return t;
}

std::string trimBlanks(const std::string& t) {
  const size_t a = t.find_first_not_of(' '), b = t.find_last_not_of(' ');
  return a == std::string::npos ? "" : t.substr(a, b - a + 1);
}

// The equivalences the samples accept beside the exact bytes.
bool accepted(const Category& c, const std::string& got, const std::string& truth) {
  if (got.empty()) return false;
  if (got == truth) return true;
  const bool upcE = c.symbology == Symbology::UpcE;
  if (upcE || c.symbology == Symbology::UpcA) return upcDigits(got, upcE) == upcDigits(truth, upcE);
  if (c.symbology == Symbology::Code39) return trimBlanks(got) == trimBlanks(truth);
  if (got[0] == '\x1d' && got.substr(1) == truth) return true;  // GS1: FNC1 in first position
  // Our PDF417 text carries a Macro PDF417 control block after the data, as "\928" and its fields.
  const size_t macro = got.rfind("\\928");
  if (c.symbology == Symbology::Pdf417 && macro != std::string::npos && got.substr(0, macro) == truth) return true;
  const std::string trailer = "\x1e\x04";
  auto bare = [&](std::string t) {
    if (t.size() >= trailer.size() && t.compare(t.size() - trailer.size(), trailer.size(), trailer) == 0)
      t.resize(t.size() - trailer.size());
    return t;
  };
  return truth.rfind("[)>", 0) == 0 && bare(got) == bare(truth);
}

struct Zone {
  std::string name;
  corpus::Image image;
  std::string truth;  // empty: no symbol
};

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<Zone> loadCategory(const fs::path& dir) {
  std::vector<Zone> out;
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ".png") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  for (const fs::path& f : files) {
    cv::Mat m = cv::imread(f.string(), cv::IMREAD_GRAYSCALE);
    if (m.empty() || !m.isContinuous()) continue;
    Zone z;
    z.name = f.stem().string();
    z.image.width = m.cols;
    z.image.height = m.rows;
    z.image.dpi = 300;
    z.image.pixels.assign(m.data, m.data + m.total());
    z.truth = readFile(fs::path(f).replace_extension(".txt"));
    out.push_back(std::move(z));
  }
  return out;
}

// The sample as a zone a host may draw for a linear font: widened to 200 and heightened to 8
// pixels (at 300 dpi) when smaller, centred on paper of the median shade of its border.
corpus::Image asLinearZone(const corpus::Image& im) {
  const int w = std::max(im.width, 200 * im.dpi / 300), h = std::max(im.height, 8 * im.dpi / 300);
  if (w == im.width && h == im.height) return im;
  std::vector<uint8_t> border;
  for (int x = 0; x < im.width; ++x) border.insert(border.end(), {im.row(0)[x], im.row(im.height - 1)[x]});
  for (int y = 0; y < im.height; ++y) border.insert(border.end(), {im.row(y)[0], im.row(y)[im.width - 1]});
  std::nth_element(border.begin(), border.begin() + border.size() / 2, border.end());
  corpus::Image out;
  out.width = w;
  out.height = h;
  out.dpi = im.dpi;
  out.pixels.assign(static_cast<size_t>(w) * h, border[border.size() / 2]);
  const int x0 = (w - im.width) / 2, y0 = (h - im.height) / 2;
  for (int y = 0; y < im.height; ++y)
    std::copy_n(im.pixels.begin() + static_cast<long>(y) * im.width, im.width,
                out.pixels.begin() + static_cast<long>(y + y0) * w + x0);
  return out;
}

// The zone reader on the whole image with the font: the text it gave.
std::string readOurs(const corpus::Image& im, short font) {
  static char text[8192], conf[8192];
  PVKImg side{static_cast<uint16_t>(im.width), static_cast<uint16_t>(im.height), static_cast<uint16_t>(im.width),
              static_cast<uint16_t>(im.dpi), const_cast<uint8_t*>(im.pixels.data())};
  PVKOCRZone zone{0, 0, 0, 0, 1, font, 0, 0};
  MyDev.lastResult = 0;
  if (!Vx3Read1Zone(&side, &zone, 0, sizeof text, text, conf, nullptr)) return "";
  return std::string(text, zone.charsRead);
}

// The median time of `rounds` calls and what the last one gave.
template <typename F>
symbench::Reading timed(int rounds, F&& f) {
  symbench::Reading r;
  std::vector<double> t;
  for (int i = 0; i < rounds; ++i) {
    const double t0 = now();
    r = f();
    t.push_back(now() - t0);
  }
  std::sort(t.begin(), t.end());
  r.seconds = t[t.size() / 2];
  return r;
}

// Our text as readings: the whole text, else its rows, else the blank-separated pieces of a row.
std::vector<std::string> ourReadings(const Category& c, const std::string& text, const std::string& truth) {
  if (text.empty()) return {};
  if (accepted(c, text, truth)) return {text};
  std::vector<std::string> out;
  std::istringstream rows(text);
  for (std::string row; std::getline(rows, row, '\n');) {
    if (!row.empty() && row.back() == '\r') row.pop_back();
    if (row.empty()) continue;
    if (accepted(c, row, truth)) {
      out.push_back(row);
      continue;
    }
    std::istringstream pieces(row);
    for (std::string p; std::getline(pieces, p, ' ');)
      if (!p.empty()) out.push_back(p);
  }
  return out;
}

enum Who { kOurs, kZXing, kZBar, kWho };
const char* kWhoNames[kWho] = {"ours", "zxing", "zbar"};

struct Tally {
  int zones = 0;
  int read[kWho] = {}, misread[kWho] = {};
  std::vector<double> seconds[kWho];
  std::vector<double> ratio[kWho];  // ours over the peer's, per zone

  void add(const Category& c, const std::string& truth, Who who, const symbench::Reading& r) {
    bool ok = false, wrong = false;
    for (const std::string& t : r.texts) {
      if (!truth.empty() && accepted(c, t, truth)) ok = true;
      else wrong = true;
    }
    read[who] += ok;
    misread[who] += wrong;
    seconds[who].push_back(r.seconds);
  }
  void addRatios() {
    for (int w = kZXing; w < kWho; ++w)
      if (seconds[w].back() > 0) ratio[w].push_back(seconds[kOurs].back() / seconds[w].back());
  }
  void merge(const Tally& o) {
    zones += o.zones;
    for (int w = 0; w < kWho; ++w) {
      read[w] += o.read[w];
      misread[w] += o.misread[w];
      seconds[w].insert(seconds[w].end(), o.seconds[w].begin(), o.seconds[w].end());
      ratio[w].insert(ratio[w].end(), o.ratio[w].begin(), o.ratio[w].end());
    }
  }
};

void header(const char* first) {
  std::printf("%-20s %3s |", first, "n");
  for (int w = 0; w < kWho; ++w) std::printf(" %5s rd/mis |", kWhoNames[w]);
  std::printf(" ours ms p50    p95 | /zxing p50    p95 | /zbar p50    p95\n");
}

void line(const char* label, const Tally& t, bool zbar = true) {
  std::printf("%-20s %3d |", label, t.zones);
  for (int w = 0; w < kWho; ++w)
    if (w == kZBar && !zbar) std::printf(" %12s |", "-");
    else std::printf(" %6d/%-5d |", t.read[w], t.misread[w]);
  std::printf(" %7.2f %7.2f |", 1e3 * symbench::percentile(t.seconds[kOurs], 50),
              1e3 * symbench::percentile(t.seconds[kOurs], 95));
  std::printf(" %7.2f %7.2f |", symbench::percentile(t.ratio[kZXing], 50), symbench::percentile(t.ratio[kZXing], 95));
  if (zbar) std::printf(" %6.2f %7.2f\n", symbench::percentile(t.ratio[kZBar], 50), symbench::percentile(t.ratio[kZBar], 95));
  else std::printf(" %6s %7s\n", "-", "-");
}

Tally runCategory(const Category& c, const std::vector<Zone>& zones, int rounds, bool verbose) {
  Tally t;
  const std::vector<Symbology> only{c.symbology};
  const bool linear = c.font >= 300;
  for (const Zone& z : zones) {
    ++t.zones;
    std::string ourText;
    const corpus::Image zone = linear ? asLinearZone(z.image) : z.image;
    const symbench::Reading ours = timed(rounds, [&] {
      symbench::Reading r;
      ourText = readOurs(zone, c.font);
      r.texts = ourReadings(c, ourText, z.truth);
      return r;
    });
    t.add(c, z.truth, kOurs, ours);
    symbench::Reading zx = timed(rounds, [&] { return symbench::readZXing(z.image, only); });
    for (std::string& s : zx.texts) s = symbench::normalise(c.symbology, s, z.truth);
    t.add(c, z.truth, kZXing, zx);
    t.add(c, z.truth, kZBar, timed(rounds, [&] { return symbench::readZBar(z.image, only); }));
    t.addRatios();
    if (verbose)
      std::printf("  %-52s %s %8.2f ms x%-7.2f [%s]\n", z.name.c_str(),
                  !z.truth.empty() && !ours.texts.empty() && accepted(c, ours.texts[0], z.truth) ? "read" : "----",
                  1e3 * ours.seconds, t.ratio[kZXing].empty() ? 0 : t.ratio[kZXing].back(),
                  corpus::escapeText(ourText).c_str());
  }
  return t;
}

// One untimed read by each reader of each category's first zone: what a process does once
// (thread pools, tables built on first use) is not charged to the first zones timed.
void warmUp(const fs::path& root) {
  for (const Category& c : kCategories) {
    if (!fs::is_directory(root / c.dir)) continue;
    const std::vector<Zone> zones = loadCategory(root / c.dir);
    if (zones.empty()) continue;
    const std::vector<Symbology> only{c.symbology};
    readOurs(zones[0].image, c.font);
    symbench::readZXing(zones[0].image, only);
    symbench::readZBar(zones[0].image, only);
  }
}

// Reads and misreads of us and ZXing-cpp on the perturbed zones of one group.
struct PerturbedTally {
  int zones = 0, read[2] = {}, misread[2] = {};
};

void perturbedLine(const std::string& label, const PerturbedTally& t) {
  std::printf("%-20s %4d | %6d/%-5d | %6d/%-5d\n", label.c_str(), t.zones, t.read[0], t.misread[0], t.read[1],
              t.misread[1]);
}

// One perturbed zone read by us and ZXing-cpp, scored into both tallies.
void readPerturbed(const Category& c, const Zone& z, const peerbench::Perturbed& p, PerturbedTally& byCategory,
                   PerturbedTally& byKind, bool verbose) {
  std::string ourText;
  symbench::Reading ours;
  ourText = readOurs(c.font >= 300 ? asLinearZone(p.image) : p.image, c.font);
  ours.texts = ourReadings(c, ourText, z.truth);
  symbench::Reading zx = symbench::readZXing(p.image, {c.symbology});
  for (std::string& s : zx.texts) s = symbench::normalise(c.symbology, s, z.truth);
  bool ok[2] = {}, wrong[2] = {};
  const symbench::Reading* r[2] = {&ours, &zx};
  for (int w = 0; w < 2; ++w)
    for (const std::string& t : r[w]->texts) (accepted(c, t, z.truth) ? ok[w] : wrong[w]) = true;
  for (PerturbedTally* t : {&byCategory, &byKind}) {
    ++t->zones;
    for (int w = 0; w < 2; ++w) t->read[w] += ok[w], t->misread[w] += wrong[w];
  }
  if (verbose && (wrong[0] || (!ok[0] && ok[1])))
    std::printf("  %-40s %-9s %s [%s]\n", z.name.c_str(), p.kind.c_str(), wrong[0] ? "MISREAD" : "zxing only",
                corpus::escapeText(ourText).c_str());
}

// Every linear sample of the chosen categories read in each of its perturbed zones.
void runPerturbed(const fs::path& root, const std::vector<std::string>& only, bool verbose) {
  const std::vector<std::string> kinds = peerbench::perturbationKinds();
  std::vector<PerturbedTally> byKind(kinds.size());
  PerturbedTally all;
  auto header = [](const char* first) { std::printf("\n%-20s %4s |  ours rd/mis | zxing rd/mis\n", first, "n"); };
  header("perturbed zones");
  for (const Category& c : kCategories) {
    if (c.font < 300 || !fs::is_directory(root / c.dir)) continue;
    if (!only.empty() && std::find(only.begin(), only.end(), c.dir) == only.end()) continue;
    PerturbedTally t;
    for (const Zone& z : loadCategory(root / c.dir)) {
      const std::vector<peerbench::Perturbed> zones = peerbench::perturbations(z.image);
      for (size_t k = 0; k < zones.size(); ++k) readPerturbed(c, z, zones[k], t, byKind[k], verbose);
    }
    perturbedLine(c.dir, t);
    all.zones += t.zones;
    for (int w = 0; w < 2; ++w) all.read[w] += t.read[w], all.misread[w] += t.misread[w];
  }
  perturbedLine("all", all);
  header("perturbation kind");
  for (size_t k = 0; k < kinds.size(); ++k) perturbedLine(kinds[k], byKind[k]);
}

// Every PDF417 and DataMatrix sample of the chosen categories read in each of its perturbed
// zones, the linear kinds and the turned and white-bordered ones.
void runMatrixPerturbed(const fs::path& root, const std::vector<std::string>& only, bool verbose) {
  const std::vector<std::string> kinds = peerbench::matrixPerturbationKinds();
  for (const Category& c : kCategories) {
    if (c.font >= 300 || !fs::is_directory(root / c.dir)) continue;
    if (!only.empty() && std::find(only.begin(), only.end(), c.dir) == only.end()) continue;
    std::vector<PerturbedTally> byKind(kinds.size());
    PerturbedTally all;
    std::printf("\n%-20s %4s |  ours rd/mis | zxing rd/mis\n", (std::string(c.dir) + " perturbed").c_str(), "n");
    for (const Zone& z : loadCategory(root / c.dir)) {
      const std::vector<peerbench::Perturbed> zones = peerbench::matrixPerturbations(z.image);
      for (size_t k = 0; k < zones.size(); ++k) readPerturbed(c, z, zones[k], all, byKind[k], verbose);
    }
    for (size_t k = 0; k < kinds.size(); ++k) perturbedLine(kinds[k], byKind[k]);
    perturbedLine("all", all);
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool verbose = false, perturb = false;
  int rounds = 3;
  std::vector<std::string> only;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-v") == 0) verbose = true;
    else if (std::strcmp(argv[i], "-p") == 0) perturb = true;
    else if (std::atoi(argv[i]) > 0) rounds = std::atoi(argv[i]);
    else only.emplace_back(argv[i]);
  }
  const char* env = std::getenv("PVK_PEER_SAMPLES");
  const fs::path root = env ? env : PVK_PEER_SAMPLES;
  if (!fs::is_directory(root)) {
    std::printf("bench_peer_symbols: skipped, no samples at %s\n", root.c_str());
    return 0;
  }
  MyLog.Log = 0;
  MyLog.Debug = 0;
  MyAcq.colourLines = MyAcq.planesPerLine = 1;
  std::memset(MyOcr.barcodeDisabled, 0, sizeof MyOcr.barcodeDisabled);

  std::printf("bench_peer_symbols: %s, %d rounds per zone and reader, the median kept\n", root.c_str(), rounds);
  warmUp(root);
  header("category");
  Tally all;
  for (const Category& c : kCategories) {
    if (!only.empty() && std::find(only.begin(), only.end(), c.dir) == only.end()) continue;
    if (!fs::is_directory(root / c.dir)) continue;
    const Tally t = runCategory(c, loadCategory(root / c.dir), rounds, verbose);
    line(c.dir, t, c.symbology != Symbology::DataMatrix);
    all.merge(t);
  }
  line("all", all, false);

  // Zones without a symbol, under each family of fonts.
  std::vector<Zone> negatives;
  for (corpus::Sample& s : corpus::negativeSet(4, 600, 240, 300, 11))
    negatives.push_back(Zone{s.id, std::move(s.image), ""});
  const Category families[] = {{"no symbol, font 7", Symbology::Code128, 7},
                               {"no symbol, PDF417", Symbology::Pdf417, 8},
                               {"no symbol, DM", Symbology::DataMatrix, 36}};
  std::printf("\n");
  header("zones without symbol");
  for (const Category& f : families) {
    if (!only.empty() && std::find(only.begin(), only.end(), "negative") == only.end()) continue;
    Tally t;
    const std::vector<Symbology> peers = f.font == 7 ? std::vector<Symbology>{} : std::vector<Symbology>{f.symbology};
    for (const Zone& z : negatives) {
      ++t.zones;
      t.add(f, "", kOurs, timed(rounds, [&] {
              symbench::Reading r;
              const std::string text = readOurs(z.image, f.font);
              if (!text.empty()) r.texts.push_back(text);
              return r;
            }));
      t.add(f, "", kZXing, timed(rounds, [&] { return symbench::readZXing(z.image, peers); }));
      t.add(f, "", kZBar, timed(rounds, [&] { return symbench::readZBar(z.image, peers); }));
      t.addRatios();
      if (verbose)
        std::printf("  %-52s %8.2f ms x%-7.2f\n", z.name.c_str(), 1e3 * t.seconds[kOurs].back(),
                    t.ratio[kZXing].empty() ? 0 : t.ratio[kZXing].back());
    }
    line(f.dir, t, f.symbology != Symbology::DataMatrix);
  }
  std::printf("(rd/mis: zones read / zones with a wrong text, on zones without a symbol a false positive; "
              "times: ours per zone, and ours over the peer's per zone)\n");
  if (perturb) runPerturbed(root, only, verbose);
  if (perturb) runMatrixPerturbed(root, only, verbose);
  if (symbench::zxingAborts) std::printf("zxing calls stopped by its own assertion: %d\n", symbench::zxingAborts);
  return 0;
}
