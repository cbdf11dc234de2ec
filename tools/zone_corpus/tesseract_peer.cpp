// The Tesseract judge, run as a black box through its C++ interface.
#include "tesseract_peer.h"

#include <tesseract/baseapi.h>

namespace pvk::zonecorpus {

struct TesseractPeer::Impl {
  tesseract::TessBaseAPI api;
  bool ok = false;
};

TesseractPeer::TesseractPeer() : impl_(new Impl) {
  impl_->ok = impl_->api.Init(nullptr, "eng", tesseract::OEM_LSTM_ONLY) == 0;
  if (impl_->ok) impl_->api.SetVariable("debug_file", "/dev/null");
}

TesseractPeer::~TesseractPeer() {
  if (impl_->ok) impl_->api.End();
}

bool TesseractPeer::ok() const { return impl_->ok; }

std::string TesseractPeer::read(const glyphs::GreyImage& zone, const std::string& whitelist, bool block) {
  if (!impl_->ok) return {};
  tesseract::TessBaseAPI& api = impl_->api;
  api.SetPageSegMode(block ? tesseract::PSM_SINGLE_BLOCK : tesseract::PSM_SINGLE_LINE);
  api.SetVariable("tessedit_char_whitelist", whitelist.c_str());
  api.SetImage(zone.pixels.data(), zone.width, zone.height, 1, zone.stride);
  api.SetSourceResolution(zone.dpi);
  char* text = api.GetUTF8Text();
  std::string out = text != nullptr ? text : "";
  delete[] text;
  api.Clear();
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

}  // namespace pvk::zonecorpus
