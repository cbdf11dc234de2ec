// The head samples of a codeline document put into the library's MICR state as a 300 dpi scan of
// side 1 leaves them: head on, one plane a line, the document's optical-magnetic offset. For the
// tests and benchmarks that link the library's internals; the samples stay owned by the caller's
// Magnetic, which must outlive the reading.
#pragma once

#include <cstdint>

#include "codeline_docs.h"
#include "core/records.h"

namespace pvk::codelinedocs {

inline void installHeadSamples(Magnetic& mag) {
  MyMICR.enabled = 1;
  MyMICR.samples = mag.signal.bytes.data();
  MyMICR.nSamples = mag.signal.bytes.size();
  MyMICR.samplesPer3Px = static_cast<uint16_t>(mag.head.samplesPer3Px);
  MyMICR.refOffset = static_cast<int16_t>(mag.head.refLines);
  MyMICR.opticalOffset300 = static_cast<uint16_t>(mag.offset);
  MyMICR.side = 1;
  MyAcq.planesPerLine = 1;
  MyAcq.dpiV = 300;
  MyOcr.ocrImg[1].dpi = 300;
  MyDev.img[1].fullHeight = static_cast<uint16_t>(mag.rawLines);
}

}  // namespace pvk::codelinedocs
