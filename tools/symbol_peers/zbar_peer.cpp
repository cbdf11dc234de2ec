// zbar as a peer (its C++ header wraps the C calls in a namespace whose names clash with
// ZXing's, so it has a file of its own).
#include <zbar.h>

#include <chrono>

#include "symbol_peers.h"

namespace pvk::peers {

using corpus::Symbology;
using namespace zbar;

namespace {

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::vector<zbar_symbol_type_t> zbarTypes(const std::vector<Symbology>& only) {
  const std::vector<Symbology>& list = only.empty() ? corpus::linearSymbologies() : only;
  std::vector<zbar_symbol_type_t> t;
  for (Symbology s : list) switch (s) {
      case Symbology::Code39:
      case Symbology::Code32: t.push_back(ZBAR_CODE39); break;
      case Symbology::I2of5: t.push_back(ZBAR_I25); break;
      case Symbology::Code93: t.push_back(ZBAR_CODE93); break;
      case Symbology::Code128: t.push_back(ZBAR_CODE128); break;
      case Symbology::Codabar: t.push_back(ZBAR_CODABAR); break;
      case Symbology::Ean8: t.push_back(ZBAR_EAN8); break;
      case Symbology::Ean13: t.push_back(ZBAR_EAN13); break;
      case Symbology::UpcA: t.push_back(ZBAR_UPCA); t.push_back(ZBAR_EAN13); break;
      case Symbology::UpcE: t.push_back(ZBAR_UPCE); t.push_back(ZBAR_EAN13); break;
      case Symbology::Pdf417: t.push_back(ZBAR_PDF417); break;
      case Symbology::QrCode: t.push_back(ZBAR_QRCODE); break;
      case Symbology::DataMatrix: break;  // zbar has no DataMatrix reader
    }
  return t;
}

}  // namespace

Reading readZBar(const corpus::Image& im, const std::vector<Symbology>& only) {
  Reading out;
  double t0 = now();
  zbar_image_scanner_t* sc = zbar_image_scanner_create();
  zbar_image_scanner_set_config(sc, ZBAR_NONE, ZBAR_CFG_ENABLE, 0);
  for (zbar_symbol_type_t t : zbarTypes(only)) {
    zbar_image_scanner_set_config(sc, t, ZBAR_CFG_ENABLE, 1);
    if (t == ZBAR_I25) zbar_image_scanner_set_config(sc, t, ZBAR_CFG_MIN_LEN, 4);
  }
  zbar_image_t* z = zbar_image_create();
  zbar_image_set_format(z, zbar_fourcc('Y', '8', '0', '0'));
  zbar_image_set_size(z, im.width, im.height);
  zbar_image_set_data(z, im.pixels.data(), im.pixels.size(), nullptr);
  if (zbar_scan_image(sc, z) > 0)
    for (const zbar_symbol_t* s = zbar_image_first_symbol(z); s; s = zbar_symbol_next(s))
      out.texts.emplace_back(zbar_symbol_get_data(s), zbar_symbol_get_data_length(s));
  zbar_image_destroy(z);
  zbar_image_scanner_destroy(sc);
  out.seconds = now() - t0;
  return out;
}

}  // namespace pvk::peers
