// The calibration file of one acquisition setting: its name, the binary blocks of the sides,
// reading with validation and conditioning, the fallback to the device's factory data, and the
// reload before each document.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "acquisition/acquisition.h"
#include "calibration/calibration.h"
#include "core/atomic_file.h"
#include "core/regular_file.h"
#include "core/trace.h"

namespace pvk::calibration {

int calibFirstSide() {
  bool frontOnly = MyAcq.rearOff && HasFrontOnlyCalibration();
  bool noRearHead = !MyDev.rearPresent && MyDev.fwVersion > 0x5008;
  return frontOnly || noRearHead ? 1 : 0;
}

int calibLastSide() { return MyAcq.backlight ? 2 : 1; }

int calibSlotCount() { return (MyDev.irHw || MyDev.uvHw) ? 5 : 3; }

size_t calibBlockBytes(int slots, size_t pixelsAlloc) { return 4u * slots + 2u * pixelsAlloc; }

}  // namespace pvk::calibration

namespace {

using namespace pvk::calibration;

// Appends formatted text to a bounded path; false when it does not fit.
bool appendf(char* buf, size_t size, const char* fmt, ...) {
  size_t used = std::strlen(buf);
  va_list ap;
  va_start(ap, fmt);
  int n = std::vsnprintf(buf + used, size - used, fmt, ap);
  va_end(ap);
  return n >= 0 && used + static_cast<size_t>(n) < size;
}

void appendBlock(std::vector<uint8_t>& out, const CorInfoSide& c, int slots) {
  for (int i = 0; i < slots; ++i) {
    out.push_back(static_cast<uint8_t>(c.ledLev[i] & 0xFF));
    out.push_back(static_cast<uint8_t>(c.ledLev[i] >> 8));
  }
  auto ref = [&](const uint8_t* p) {
    if (p) out.insert(out.end(), p, p + c.pixelsAlloc);
    else out.insert(out.end(), c.pixelsAlloc, 0);
  };
  out.insert(out.end(), c.whiteLev, c.whiteLev + slots);
  ref(c.white);
  out.insert(out.end(), c.blackLev, c.blackLev + slots);
  ref(c.black);
}

bool readBlock(FILE* f, CorInfoSide& c, int slots) {
  uint8_t led[2 * kColourSlots];
  std::memset(c.ledLev, 0, sizeof c.ledLev);
  if (std::fread(led, 1, 2 * slots, f) != static_cast<size_t>(2 * slots)) return false;
  for (int i = 0; i < slots; ++i) c.ledLev[i] = static_cast<uint16_t>(led[2 * i] | led[2 * i + 1] << 8);
  if (c.white) std::memset(c.white, 0, c.pixelsAlloc);
  if (c.black) std::memset(c.black, 0, c.pixelsAlloc);
  std::memset(c.whiteLev, 0, sizeof c.whiteLev);
  if (std::fread(c.whiteLev, 1, slots, f) != static_cast<size_t>(slots)) return false;
  if (c.pixelsAlloc && (!c.white || std::fread(c.white, 1, c.pixelsAlloc, f) != c.pixelsAlloc))
    return false;
  std::memset(c.blackLev, 0, sizeof c.blackLev);
  if (std::fread(c.blackLev, 1, slots, f) != static_cast<size_t>(slots)) return false;
  if (c.pixelsAlloc && (!c.black || std::fread(c.black, 1, c.pixelsAlloc, f) != c.pixelsAlloc))
    return false;
  return true;
}

size_t fileBytesFor(const CorInfoSide* cor, int first, int last, int slots) {
  size_t total = 0;
  for (int s = first; s <= last; ++s) total += calibBlockBytes(slots, cor[s].pixelsAlloc);
  return total;
}

bool validate(const CorInfoSide* cor, const char* path) {
  if (MyDev.ledCalib) {
    unsigned sum = cor[1].ledLev[0] + cor[1].ledLev[1] + cor[1].ledLev[2];
    if (MyDev.rearPresent) sum += cor[0].ledLev[0] + cor[0].ledLev[1] + cor[0].ledLev[2];
    if (sum == 0) {
      WriteTrace("err - ", "invalid led level", false);
      return false;
    }
  }
  if (cor[0].whiteLev[0] == 0 && cor[1].whiteLev[0] == 0) {
    WriteTrace("err - invalid white level in", path, false);
    return false;
  }
  return true;
}

bool condition(CorInfoSide* cor, int first, int last, bool& dirt) {
  unsigned planes = MyAcq.planesPerLine ? MyAcq.planesPerLine : 1;
  for (int s = first; s <= last; ++s) {
    CorInfoSide& c = cor[s];
    if (s == 2) {
      const CorInfoSide& b = cor[MyDev.backlightSide <= 1 ? MyDev.backlightSide : 1];
      c.blackLev[0] = b.blackLev[0];
      c.whiteLev[0] = b.whiteLev[0];
      size_t r = MyDev.img[2].fullRight;
      r = std::min<size_t>({r, c.pixelsAlloc, b.pixelsAlloc});
      if (c.black && b.black) std::memcpy(c.black, b.black, r);
      if (c.white && b.white) std::memcpy(c.white, b.white, r);
      continue;
    }
    const ImgInfo& img = MyDev.img[s];
    for (unsigned p = 0; p < planes; ++p) {
      size_t off = static_cast<size_t>(p) * c.pixelsInUse;
      if (!c.white || !c.black || off >= c.pixelsAlloc) break;
      int slot = ColVar2Fix(static_cast<int16_t>(p));
      ConditionInput in{};
      in.white = c.white + off;
      in.black = c.black + off;
      in.pixels = static_cast<int>(std::min<size_t>(c.pixelsInUse, c.pixelsAlloc - off));
      in.left = img.fullLeft;
      in.width = img.fullWidth;
      in.dpi = img.dpiH;
      in.whiteLevel = c.whiteLev[slot];
      in.blackLevel = c.blackLev[slot];
      if (!conditionWhiteReference(in, dirt)) return false;
    }
  }
  return true;
}

}  // namespace

namespace {

// The calibration files' directory and device stem (steps shared by every setting's name).
bool stemPath(char* path, bool withPid) {
  char stem[kCalibPathSize] = "";
  size_t snLen = strnlen(MyDev.serialString, sizeof MyDev.serialString);
  bool ok = true;
  if (withPid && MyDev.productId) ok = appendf(stem, sizeof stem, "pid_0x%04x_sn_", MyDev.productId);
  if (snLen == 0) {
    stem[0] = '\0';
    ok = appendf(stem, sizeof stem, "vclb");
  } else if (snLen >= 16) {
    WriteTrace("err - ", "invalid sn string length", static_cast<int>(snLen), false);
    ok = ok && appendf(stem, sizeof stem, "vclb");
  } else {
    ok = ok && appendf(stem, sizeof stem, "%.*s", static_cast<int>(snLen), MyDev.serialString);
  }
  path[0] = '\0';
  size_t dirLen = strnlen(MyDev.cnfDir, sizeof MyDev.cnfDir);
  if (dirLen == 0) {
    ok = ok && appendf(path, kCalibPathSize, "%s", stem);
  } else if (snLen + dirLen > 254) {
    WriteTrace("err - ", "invalid config dir string length", static_cast<int>(dirLen), false);
    ok = ok && appendf(path, kCalibPathSize, "%s", stem);
  } else {
    ok = ok && appendf(path, kCalibPathSize, "%.*s/%s", static_cast<int>(dirLen), MyDev.cnfDir, stem);
  }
  return ok;
}

void refuseName(char* path) {
  // A cut name could be another setting's file: refuse it.
  path[0] = '\0';
  WriteTrace("err - ", "calibration file name too long", false);
  MyDev.lastResult = -5;
}

}  // namespace

bool pvk::calibration::calibStemPath(char* path) {
  if (stemPath(path, true)) return true;
  refuseName(path);
  return false;
}

bool GetCalibFile(char* path, bool withPid) {
  if (!path) return false;
  bool ok = stemPath(path, withPid);
  uint16_t m = CorrMode();
  if (MyDev.fwVersion <= 0x3000) ok = ok && appendf(path, kCalibPathSize, "_%04x", m);
  else if (withPid) ok = ok && appendf(path, kCalibPathSize, "_fw_0x%04x_%04x", MyDev.fwVersion, m);
  else ok = ok && appendf(path, kCalibPathSize, "_%04x_%04x", m, MyDev.fwVersion);
  if (MyAcq.ir) ok = ok && appendf(path, kCalibPathSize, "_ir");
  if (MyAcq.uv) ok = ok && appendf(path, kCalibPathSize, "_uv");
  ok = ok && appendf(path, kCalibPathSize, ".pcf");
  if (!ok) refuseName(path);
  return ok;
}

bool CorrInfoWrite() {
  char path[kCalibPathSize];
  if (!GetCalibFile(path, true)) return false;
  std::vector<uint8_t> bytes;
  const int slots = calibSlotCount();
  for (int s = calibFirstSide(); s <= calibLastSide(); ++s) appendBlock(bytes, MyCorS[s], slots);
  // During a calibration run the file joins the run's set, which reaches the disk only when the
  // whole run has succeeded.
  if (calibSetActive()) {
    holdCalibFile(path, std::move(bytes));
    return true;
  }
  // Whole or not at all: a failed write keeps the calibration the file held before.
  pvk::core::AtomicFile f(path, pvk::core::FileKind::kState);
  if (!f.open()) {
    int err = errno;
    WriteTrace("error writing", path, false);
    WriteTrace("err - ", path, false);
    WriteTrace("err - ", "calibration file writing failed", err, false);
    MyDev.lastResult = -5;
    return false;
  }
  f.write(bytes.data(), bytes.size());
  if (!f.commit()) {
    WriteTrace("err - ", path, false);
    WriteTrace("err - ", "calibration file writing failed", errno, false);
    MyDev.lastResult = -5;
    return false;
  }
  return true;
}

namespace {

// The file of a setting: the one the running calibration holds, else the one on disk.
FILE* openCalibFile(const char* path, size_t& size) {
  if (const std::vector<uint8_t>* bytes = heldCalibFile(path)) {
    size = bytes->size();
    return size ? fmemopen(const_cast<uint8_t*>(bytes->data()), size, "rb") : nullptr;
  }
  FILE* f = path[0] ? pvk::core::openForReading(path) : nullptr;
  struct stat sb;
  if (f && fstat(fileno(f), &sb) == 0) size = static_cast<size_t>(sb.st_size);
  return f;
}

bool readSteps(CorInfoSide* cor, const char* path, FILE*& f, bool& dirt) {
  int first = calibFirstSide();
  const int last = calibLastSide();
  const int slots = calibSlotCount();
  if (!CorrInfoCreate(cor)) return false;
  size_t size = 0;
  f = openCalibFile(path, size);
  if (f) {
    // A file of the other first side is still read: files written before keep loading.
    if (size != fileBytesFor(cor, first, last, slots) && size == fileBytesFor(cor, 1 - first, last, slots))
      first = 1 - first;
    for (int s = first; s <= last; ++s) {
      if (!readBlock(f, cor[s], slots)) return false;
      cor[s].modeLoaded = CorrMode();
    }
  } else {
    WriteTrace("err - ", "error reading calibration file", errno, false);
    // Composition bit 22 (the side-switch feature): the device carries factory calibration data.
    if (!MyDev.sideSwitch || MyAcq.calibrating) return false;
    int dpi = MyDev.img[1].dpiH;
    if (dpi != 300 && dpi != 600) return false;
    if (!EEPROMCalibDataRead(dpi == 300 ? 3 : 6)) return false;
    CorrInfoWrite();
    for (int s = first; s <= last; ++s) cor[s].modeLoaded = CorrMode();
  }
  if (!MyAcq.calibrating) {
    if (!validate(cor, path)) return false;
    if (!condition(cor, first, last, dirt)) return false;
  }
  if (first == 1)
    for (int c = 0; c < 3; ++c) cor[0].ledLev[c] = cor[1].ledLev[c];
  if (f) {
    if (std::fgetc(f) != EOF) return false;
    std::fclose(f);
    f = nullptr;
  }
  return true;
}

}  // namespace

bool CorrInfoRead(CorInfoSide* cor) {
  if (!cor) cor = MyCorS;
  char path[kCalibPathSize] = "";
  GetCalibFile(path, true);
  // A set of files whose commit a killed process left half done is completed before any of
  // them is read.
  if (!calibSetActive()) finishCalibCommit();
  FILE* f = nullptr;
  bool dirt = false;
  if (readSteps(cor, path, f, dirt)) {
    MyDev.calibValid = 1;
    if (MyDev.cleaningCalibCheck && dirt) MyDev.cleaningRequired = 1;
    return true;
  }
  uint16_t pid = MyDev.productId;
  if (pid != 1 && pid != 2 && pid != 17) {
    char text[kCalibPathSize + 32];
    std::snprintf(text, sizeof text, "reading calibration file %s", path);
    WriteTrace("err - ", text, errno, false);
  }
  CorrModeReset(cor);
  MyDev.calibValid = 0;
  if (f) std::fclose(f);
  return false;
}

void CorrInfoMakeInvalid() {
  char path[kCalibPathSize];
  if (!GetCalibFile(path, true)) return;
  // An empty file is read as no calibration; one that cannot be written keeps the old data.
  if (!pvk::core::writeFileAtomically(path, "", 0, pvk::core::FileKind::kState))
    WriteTrace("err - ", "calibration file writing failed", errno, false);
}

void CorrModeUpdate() {
  if (MyAcq.calibrating) {
    for (int s = 0; s < kSides; ++s) MyCorS[s].pixelsInUse = MyDev.img[s].sensorPixels;
    return;
  }
  if (MyCorS[1].modeLoaded == CorrMode()) return;
  CorrInfoRead(MyCorS);
  BrightnessContrastEval(1);
  BrightnessContrastEval(0);
  BrightnessContrastEval(2);
}
