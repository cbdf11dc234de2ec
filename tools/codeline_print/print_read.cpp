// Direct readings of printed lines through the library's internals.
#include "print_read.h"

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "codeline_scan.h"
#include "core/defaults.h"
#include "core/records.h"
#include "micr/micr.h"
#include "ocr/ocr.h"

namespace pvk::codelineprint {

namespace {

constexpr unsigned short kMaxChars = 128;
constexpr int kOpticalMagneticOffset = 520;  // raw lines between the document's edge and the head

// Thread CPU time asked of the kernel itself: the software scanner's virtual clock, when a
// program turns it on, answers clock_gettime with its own time.
double threadSeconds() {
  struct timespec t;
  syscall(SYS_clock_gettime, CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

void defaultState(const std::string& dbDir) {
  static const bool loaded = (InitOCRAcquisition(), true);
  (void)loaded;
  std::memcpy(&MyOcr, &OcrDefault, sizeof MyOcr);
  std::snprintf(MyOcr.dbDir, sizeof MyOcr.dbDir, "%s/", dbDir.c_str());
  MyOcr.zoneSide = 1;
  MyOcr.modeByte = 0;
  MyMICR.enabled = 0;
  MyMICR.samples = nullptr;
}

}  // namespace

std::string readerName(Reader r, Micr kind) {
  if (r == Reader::Ocr) return kind == Micr::E13B ? "ReadOCR 1" : "ReadOCR 202";
  return r == Reader::CmcHor ? "ReadCMCHor" : "ReadE13BVert";
}

DirectReading readDirect(Reader r, const Line& l, const std::string& dbDir, const magsynth::Impairments& head) {
  if ((r == Reader::CmcHor && l.kind != Micr::CMC7) || (r == Reader::E13BVert && l.kind != Micr::E13B))
    throw std::invalid_argument(readerName(r, l.kind) + " reads the other font");
  glyphs::GreyImage image = l.image;  // the readers take a record with a writable pointer
  const PVKImg img = image.view();
  char text[kMaxChars + 1] = {}, conf[kMaxChars + 1] = {};
  ChInfo info[kMaxChars];
  defaultState(dbDir);
  codelinedocs::Magnetic mag;
  if (r == Reader::E13BVert) {
    mag = magnetic(l, kOpticalMagneticOffset, head);
    codelinedocs::installHeadSamples(mag);
    MyOcr.ocrImg[1].dpi = static_cast<uint16_t>(l.image.dpi);  // the zone's image; the head's lines stay at 300
    MyOcr.currentFont = 33;  // as the zone dispatch sets it
  }
  DirectReading out;
  const double t0 = threadSeconds();
  switch (r) {
    case Reader::Ocr: out.n = ReadOCR(img, text, conf, info, l.kind == Micr::E13B ? 1 : 202, kMaxChars); break;
    case Reader::CmcHor: out.n = ReadCMCHor(img, text, conf, info, 202, kMaxChars); break;
    case Reader::E13BVert: out.n = ReadE13BVert(img, text, conf, kMaxChars); break;
  }
  out.seconds = threadSeconds() - t0;
  defaultState(dbDir);
  if (out.n > 0) {
    out.text.assign(text, static_cast<size_t>(out.n));
    out.conf.assign(conf, static_cast<size_t>(out.n));
  }
  return out;
}

}  // namespace pvk::codelineprint
