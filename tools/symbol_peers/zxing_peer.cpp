// ZXing-cpp as a peer, and the texts of both peers put into our readers' form.
#include <ZXing/ReadBarcode.h>

#include <setjmp.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "symbol_peers.h"

namespace pvk::peers {

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

}  // namespace pvk::peers
