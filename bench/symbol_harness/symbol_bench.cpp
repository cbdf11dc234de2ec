// The symbol benchmark harness: our reader and the peers on one corpus, and the tallies.
#include "symbol_bench.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace pvk::symbench {

using corpus::Symbology;

namespace {

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

const char* readerName(Reader r) {
  return r == Reader::Ours ? "ours" : r == Reader::ZXing ? "zxing" : "zbar";
}

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t i = static_cast<size_t>(p / 100.0 * (v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

void Tally::add(const corpus::Sample& s, Reader who, const Reading& r) {
  Key k{s.negative ? "negative" : corpus::symbologyName(s.spec.symbology), s.image.dpi, s.deg.level};
  Counts& c = rows_[k][who];
  ++c.images;
  c.seconds.push_back(r.seconds);
  bool read = false, misread = false;
  for (const std::string& t0 : r.texts) {
    std::string t = (who == Reader::Ours || s.negative) ? t0 : normalise(s.spec.symbology, t0, s.truth);
    if (!s.negative && t == s.truth) read = true;
    else misread = true;
  }
  c.read += read;
  c.misread += misread;
  // PVK_BENCH_MISREADS=1 lists every misread with what was read.
  if (misread && std::getenv("PVK_BENCH_MISREADS")) {
    std::fprintf(stderr, "misread by %s of %s (truth %s):", readerName(who), s.id.c_str(),
                 corpus::escapeText(s.truth).c_str());
    for (const std::string& t : r.texts) std::fprintf(stderr, " [%s]", corpus::escapeText(t).c_str());
    std::fprintf(stderr, "\n");
  }
}

Counts Tally::total(Reader who, const std::string& sym) const {
  Counts t;
  for (const auto& [k, m] : rows_) {
    if (sym.empty() ? k.symbology == "negative" : k.symbology != sym) continue;
    auto it = m.find(who);
    if (it == m.end()) continue;
    t.images += it->second.images;
    t.read += it->second.read;
    t.misread += it->second.misread;
    t.seconds.insert(t.seconds.end(), it->second.seconds.begin(), it->second.seconds.end());
  }
  return t;
}

void Tally::report(FILE* out) const {
  const Reader all[] = {Reader::Ours, Reader::ZXing, Reader::ZBar};
  std::fprintf(out, "%-11s %4s %2s %5s", "symbology", "dpi", "L", "n");
  for (Reader r : all) std::fprintf(out, " | %-5s read miss   p50   p95   max", readerName(r));
  std::fprintf(out, " | read/zx read/zb p50/zx p50/zb\n");
  for (const auto& [k, m] : rows_) {
    auto ours = m.find(Reader::Ours);
    int n = ours != m.end() ? ours->second.images : m.begin()->second.images;
    std::fprintf(out, "%-11s %4d %2d %5d", k.symbology.c_str(), k.dpi, k.level, n);
    for (Reader r : all) {
      auto it = m.find(r);
      if (it == m.end()) {
        std::fprintf(out, " | %-5s    -    -     -     -     -", "");
        continue;
      }
      const Counts& c = it->second;
      std::fprintf(out, " | %-5s %4d %4d %5.1f %5.1f %5.1f", "", c.read, c.misread, 1e3 * percentile(c.seconds, 50),
                   1e3 * percentile(c.seconds, 95), 1e3 * percentile(c.seconds, 100));
    }
    auto ratio = [&](Reader peer, bool time) {
      auto a = m.find(Reader::Ours), b = m.find(peer);
      if (a == m.end() || b == m.end()) return -1.0;
      if (time) {
        double pb = percentile(b->second.seconds, 50);
        return pb > 0 ? percentile(a->second.seconds, 50) / pb : -1.0;
      }
      return b->second.read ? double(a->second.read) / b->second.read : (a->second.read ? 99.0 : 1.0);
    };
    std::fprintf(out, " | %7.2f %7.2f %6.2f %6.2f\n", ratio(Reader::ZXing, false), ratio(Reader::ZBar, false),
                 ratio(Reader::ZXing, true), ratio(Reader::ZBar, true));
  }
}

Tally runAll(const std::vector<corpus::Sample>& samples, const OurReader& ours, bool peers) {
  Tally t;
  for (const corpus::Sample& s : samples) {
    Reading r;
    double t0 = now();
    r.texts = ours(s);
    r.seconds = now() - t0;
    t.add(s, Reader::Ours, r);
    if (!peers) continue;
    std::vector<Symbology> only;
    if (!s.negative) only.push_back(s.spec.symbology);
    t.add(s, Reader::ZXing, readZXing(s.image, only));
    t.add(s, Reader::ZBar, readZBar(s.image, only));
  }
  return t;
}

}  // namespace pvk::symbench
