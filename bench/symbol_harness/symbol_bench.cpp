// The symbol benchmark harness: peers as black boxes, normalisation of their texts, tallies.
#include "symbol_bench.h"

#include <ZXing/ReadBarcode.h>

#include <setjmp.h>
#include <signal.h>

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

ZXing::BarcodeFormats zxingFormats(const std::vector<Symbology>& only) {
  const std::vector<Symbology>& list = only.empty() ? corpus::linearSymbologies() : only;
  ZXing::BarcodeFormats f;
  for (Symbology s : list) switch (s) {
      case Symbology::Code39:
      case Symbology::Code32: f |= ZXing::BarcodeFormat::Code39; break;
      case Symbology::I2of5: f |= ZXing::BarcodeFormat::ITF; break;
      case Symbology::Code93: f |= ZXing::BarcodeFormat::Code93; break;
      case Symbology::Code128: f |= ZXing::BarcodeFormat::Code128; break;
      case Symbology::Codabar: f |= ZXing::BarcodeFormat::Codabar; break;
      case Symbology::Ean8: f |= ZXing::BarcodeFormat::EAN8; break;
      case Symbology::Ean13: f |= ZXing::BarcodeFormat::EAN13; break;
      case Symbology::UpcA: f |= ZXing::BarcodeFormat::UPCA; break;
      case Symbology::UpcE: f |= ZXing::BarcodeFormat::UPCE; break;
      case Symbology::Pdf417: f |= ZXing::BarcodeFormat::PDF417; break;
      case Symbology::DataMatrix: f |= ZXing::BarcodeFormat::DataMatrix; break;
      case Symbology::QrCode: f |= ZXing::BarcodeFormat::QRCode; break;
    }
  return f;
}

// Code 32: six base-32 digits (no vowels) to the nine decimal digits.
std::string code32Digits(const std::string& t) {
  static const char kDigits[] = "0123456789BCDFGHJKLMNPQRSTUVWXYZ";
  if (t.size() != 6) return t;
  long v = 0;
  for (char c : t) {
    const char* p = std::strchr(kDigits, c);
    if (!p || !c) return t;
    v = v * 32 + (p - kDigits);
  }
  char b[16];
  std::snprintf(b, sizeof b, "%09ld", v);
  return b;
}

// The Debian build of the peer keeps its internal assertions, and one of them fails on some
// degraded symbols (while merging the results of many scan lines): such a call is taken as
// reading nothing, and the harness goes on with the next image.
sigjmp_buf abortJump;
void onAbort(int) { siglongjmp(abortJump, 1); }

bool guardedZXing(const ZXing::ImageView& view, const ZXing::DecodeHints& hints, ZXing::Results& out) {
  struct sigaction sa {}, old {};
  sa.sa_handler = onAbort;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGABRT, &sa, &old);
  bool ok = true;
  if (sigsetjmp(abortJump, 1) == 0)
    out = ZXing::ReadBarcodes(view, hints);
  else
    ok = false;
  sigaction(SIGABRT, &old, nullptr);
  return ok;
}

}  // namespace

int zxingAborts = 0;

const char* readerName(Reader r) {
  return r == Reader::Ours ? "ours" : r == Reader::ZXing ? "zxing" : "zbar";
}

Reading readZXing(const corpus::Image& im, const std::vector<Symbology>& only) {
  Reading out;
  double t0 = now();
  ZXing::DecodeHints hints;
  hints.setFormats(zxingFormats(only));
  hints.setReturnCodabarStartEnd(true);
  hints.setTryHarder(true);
  ZXing::ImageView view(im.pixels.data(), im.width, im.height, ZXing::ImageFormat::Lum);
  ZXing::Results results;
  if (!guardedZXing(view, hints, results)) ++zxingAborts;
  out.seconds = now() - t0;
  for (const ZXing::Result& r : results) {
    if (!r.isValid()) continue;
    const ZXing::ByteArray& b = r.bytes();
    out.texts.push_back(b.empty() ? r.text() : std::string(b.begin(), b.end()));
  }
  return out;
}

std::string normalise(Symbology s, const std::string& text, const std::string& truth) {
  std::string t = text;
  switch (s) {
    case Symbology::Code32: return code32Digits(t);
    case Symbology::Code128:
      for (char& c : t)
        if (c == 0) c = static_cast<char>(0xEC);
      return t;
    case Symbology::UpcA:
    case Symbology::Ean13:
    case Symbology::UpcE:
      // A peer may give UPC-A as EAN-13 with a leading 0, or the other way round.
      if (t.size() == truth.size() + 1 && t[0] == '0') return t.substr(1);
      if (t.size() + 1 == truth.size() && truth[0] == '0') return "0" + t;
      return t;
    default: return t;
  }
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
