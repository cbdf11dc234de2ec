// Tesseract as a judge of the zone corpus: the same grey zone read in process by the English
// model, restricted to a whitelist, one line or one block per zone.
#pragma once

#include <memory>
#include <string>

#include "glyphs.h"

namespace pvk::zonecorpus {

class TesseractPeer {
 public:
  TesseractPeer();  // loads the English model; ok() tells whether it could
  ~TesseractPeer();
  TesseractPeer(const TesseractPeer&) = delete;
  TesseractPeer& operator=(const TesseractPeer&) = delete;
  bool ok() const;
  // The text of the zone (lines joined by '\n'); empty when nothing was read.
  std::string read(const glyphs::GreyImage& zone, const std::string& whitelist, bool block);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace pvk::zonecorpus
