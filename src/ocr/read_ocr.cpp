// The zone reader: a grey zone cut into text-line bands, each band read at a series of
// binarisation thresholds, the passes merged into a best and a second reading, further cycles on
// a narrower series and on the band cleared outside the text found, then the bands' rows joined
// with CR LF and trimmed per font. This file holds the zone's set-up, its bands and the join; the
// passes, cycles and band ends are in the zone_* files.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/shims.h"
#include "core/trace.h"
#include "ocr/zone_reader.h"

namespace pvk::ocr {
int zoneStopAfterPasses = -1;
}  // namespace pvk::ocr

namespace pvk::ocr::zone {

bool Reader::allocate() {
  const size_t bytes = static_cast<size_t>(img_.stride) * img_.height;
  copy_ = img_;
  copy_.data = static_cast<uint8_t*>(zoneCalloc(bytes, 1));
  if (copy_.data == nullptr) {
    WriteTrace("err - ", "allocating memory", static_cast<int>(GetLastError()), false);
    MyDev.lastResult = -4;
    return false;
  }
  if (img_.height > 1) std::memcpy(copy_.data, img_.data, static_cast<size_t>(img_.stride) * (img_.height - 1));
  if (backlitFont(font_))
    for (size_t k = 0; k < bytes; ++k) copy_.data[k] = static_cast<uint8_t>(255 - copy_.data[k]);
  return true;
}

// The three band readings, the caller's missing position buffer and the first rows.
bool Reader::allocateWork() {
  // Readings of one band stay within the engine's reading size, whatever the caller's buffers.
  cap_ = std::min(maxChars_, kOcrUsableChars);
  for (Work* w : {&C_, &B_, &S_}) {
    w->text = static_cast<char*>(zoneCalloc(static_cast<size_t>(cap_) + 1, 1));
    w->conf = static_cast<char*>(zoneCalloc(static_cast<size_t>(cap_) + 1, 1));
    w->info = static_cast<ChInfo*>(zoneCalloc(static_cast<size_t>(cap_) + 1, sizeof(ChInfo)));
  }
  if (info_ == nullptr) ownInfo_ = static_cast<ChInfo*>(zoneCalloc(static_cast<size_t>(maxChars_), sizeof(ChInfo)));
  bool ok = (info_ != nullptr || ownInfo_ != nullptr) && growRows(4);
  for (const Work* w : {&C_, &B_, &S_}) ok = ok && w->text != nullptr && w->conf != nullptr && w->info != nullptr;
  if (!ok) {
    WriteTrace("err - ", "ReadOCR - memory allocation failed", static_cast<int>(GetLastError()), false);
    MyDev.lastResult = -4;
  }
  return ok;
}

void Reader::release() {
  std::free(copy_.data);
  copy_.data = nullptr;
  std::free(ownInfo_);
  ownInfo_ = nullptr;
  for (Work* w : {&C_, &B_, &S_}) {
    std::free(w->text);
    std::free(w->conf);
    std::free(w->info);
    *w = Work{};
  }
  freeBWImg();
  if (rows_ != nullptr) {
    for (int k = 0; k < rowCap_; ++k) releaseRow(rows_[k]);
    std::free(rows_);
    rows_ = nullptr;
  }
  ocr_clear();
}

bool Reader::growRows(int more) {
  const int need = nRows_ + more;
  if (need <= rowCap_) return true;
  const int cap = std::max(need, 2 * rowCap_ + 4);
  auto* grown = static_cast<OCRRigaType*>(zoneCalloc(static_cast<size_t>(cap), sizeof(OCRRigaType)));
  if (grown == nullptr) {
    WriteTrace("err - ", "ReadOCR - memory allocation failed", static_cast<int>(GetLastError()), false);
    MyDev.lastResult = -4;
    return false;
  }
  if (rows_ != nullptr) std::memcpy(grown, rows_, sizeof(OCRRigaType) * static_cast<size_t>(rowCap_));
  std::free(rows_);
  rows_ = grown;
  rowCap_ = cap;
  return true;
}

void Reader::findBands() {
  const float s = scale_;
  StudiaRighe study{};
  study.minGap = static_cast<uint16_t>(8 * s);
  study.widen = static_cast<uint16_t>(32 * s);
  study.smoothRows = static_cast<uint16_t>(H_ > 0 ? H_ : 9);
  study.runLength = static_cast<uint16_t>(W_ > 0 ? 2 * W_ : static_cast<int>(45 * s));
  study.minHeight = static_cast<uint16_t>(H_ > 0 ? H_ / 4 : static_cast<int>(16 * s));
  study.maxHeight = static_cast<uint16_t>(H_ > 0 ? 3 * H_ : static_cast<int>(150 * s));
  if (font_ == 1) {
    study.widen = static_cast<uint16_t>(24 * s);
    study.smoothRows = static_cast<uint16_t>(24 * s);
    study.runLength = static_cast<uint16_t>(W_ * s);
    study.maxHeight = static_cast<uint16_t>(80 * s);
  }
  bands_.assign(kMaxRighe + 1, RigaType{});
  int n = CercaRighe(&copy_, study, 2, 240, bands_.data(), true);
  n = std::clamp(n, 1, kMaxRighe);
  nBands_ = static_cast<unsigned short>(n);
  tileBands(n);
}

// The bands tile the zone: each takes its half of the gaps beside it.
void Reader::tileBands(int n) {
  bands_[0].height = static_cast<uint16_t>(bands_[0].height + bands_[0].start);
  bands_[0].start = 0;
  for (int k = 0; k + 1 < n; ++k) {
    const int end = bands_[k].start + bands_[k].height;
    const int next = bands_[k + 1].start;
    const int half = (next - end) / 2;
    if (half > 1) {
      bands_[k].height = static_cast<uint16_t>(bands_[k].height + half);
      bands_[k + 1].start = static_cast<uint16_t>(next - (next - end - half));
      bands_[k + 1].height = static_cast<uint16_t>(bands_[k + 1].height + (next - end - half));
    }
  }
  RigaType& last = bands_[n - 1];
  if (last.start + last.height < copy_.height - 1)
    last.height = static_cast<uint16_t>(copy_.height - 1 - last.start);
}

// 1 when the zone is to be read, 0 when it is too small, -1 on failure.
int Reader::setUp() {
  ForzaSoloAlfa = false;
  FixSizeFont = 0;
  Verifica_i_Arial = 0;
  PrivilegiaBarreVert = 0;
  SoloMaiuscolo = false;
  TagliaSopraPrimaLinea = 0;
  TopPrimaLineaValida = 0;
  freeBWImg();
  scale_ = static_cast<float>(img_.dpi) / 300.0f;
  if (InitOCR(font_, true, scale_) < 1) return -1;
  if (!allocate()) return -1;
  H_ = MyOcr.charHeight;
  W_ = MyOcr.charWidth;
  aw = static_cast<uint16_t>(W_ > 0 ? W_ : 1);
  ah = static_cast<uint16_t>(H_ > 0 ? H_ : 1);
  lastAw_ = std::max<uint16_t>(aw, 2);
  lastAh_ = std::max<uint16_t>(ah, 2);
  if (img_.dpi <= 71) {
    MyDev.lastResult = -3;
    return -1;
  }
  if (img_.height < 17 || img_.width < 16) return 0;
  if (!allocateWork()) return -1;
  std::memset(text_, 0, static_cast<size_t>(maxChars_));
  std::memset(conf_, 0, static_cast<size_t>(maxChars_));
  findBands();
  MyOcr.currentFont = font_;
  firstThresholdSeries(&copy_, first_);
  P_ = IsMICROPERFORATIONFont(font_, false) ? 15 : IsCMC7Font(font_) ? 7 : 0;
  return 1;
}

// Every band read and the rows joined; a zone that gave too little is read once more as one
// band. The characters joined, or -1 when a band fails.
int Reader::readBands() {
  for (;;) {
    for (int bi = 0; bi < nBands_ && !stopAll_;) {
      const BandEnd e = readBand(bi);
      if (e == BandEnd::kFail) return -1;
      if (e == BandEnd::kDone) ++bi;
    }
    const int n = join();
    const int enough = IsMICROPERFORATIONFont(font_, false) ? 3 : 1;
    const int firstEnd = bands_[0].start + bands_[0].height;
    if (n >= enough || retry_ || stopAll_ || firstEnd >= copy_.height - 8) return n;
    retry_ = true;
    CancellaRigheGiaLette(nRows_, rows_);
    std::memset(text_, 0, static_cast<size_t>(maxChars_));
    std::memset(conf_, 0, static_cast<size_t>(maxChars_));
    bands_[0] = RigaType{0, static_cast<uint16_t>(copy_.height - 1), 0};
    nBands_ = 1;
  }
}

int Reader::join() {
  if (nRows_ > 1 && MyOcr.multiLine != 0) ScegliOcrRowMigliore(nRows_, rows_);
  ChInfo* info = info_ != nullptr ? info_ : ownInfo_;
  int n = 0;
  for (unsigned short r = 0; r < nRows_; ++r) {
    OCRRigaType& row = rows_[r];
    if (row.text == nullptr || row.n <= 0) continue;
    if (font_ == 945 && row.score < 50) continue;
    if (font_ == 944 && row.score <= 39) continue;
    const int sep = n > 0 ? 2 : 0;
    if (n + sep + row.n >= maxChars_) break;
    capOcrbFragments(row.text, row.conf, row.info, row.n);
    verificaO0_OCRB(row.text, row.conf, row.info, row.n);
    if (sep > 0) {
      for (char c : {'\r', '\n'}) {
        text_[n] = c;
        conf_[n] = kSure;
        info[n] = row.info[0];
        ++n;
      }
    }
    std::memcpy(text_ + n, row.text, static_cast<size_t>(row.n));
    std::memcpy(conf_ + n, row.conf, static_cast<size_t>(row.n));
    std::memcpy(info + n, row.info, sizeof(ChInfo) * static_cast<size_t>(row.n));
    n += row.n;
  }
  return n;
}

// The final trims, the cheque codeline's check of a CMC7 result and the line breaks the host
// asked to lose.
void Reader::finishReading(int& n) {
  ChInfo* info = info_ != nullptr ? info_ : ownInfo_;
  if (font_ == 944 || font_ == 945) doubtFewAgreed(text_, conf_, info, n);
  trimZoneResult(text_, conf_, info, n, font_);
  if (IsCMC7Font(font_) && n > 0) {
    MyITACheck.level = static_cast<int16_t>(std::max<int>(MyITACheck.level, n));
    if (MyITACheck.active != 0) {
      for (int k = 10; k <= 13 && k < n; ++k) {
        if (text_[k] == ';') MyITACheck.semicolonAt10 = 1;
        if (text_[k] == '=') MyITACheck.equalsAt10 = 1;
      }
      if (MyITACheck.semicolonAt10 != 0 && MyITACheck.equalsAt10 != 0) MyITACheck.semicolonAt10 = MyITACheck.equalsAt10 = 0;
    }
    if ((MyITACheck.active != 0 || MyOcr.typeDoc == 3) && findInReading(text_, n, '?') >= 0)
      VerificaITA_CHECK_BItalia(text_, conf_, info, n);
  }
  if (n > 0 && MyOcr.removeCrLf != 0) {
    RimuoviCRLF(text_, conf_, info, n);
    RimuoviSpaziEsterniEDoppi(text_, conf_, info, n);
  }
  if (n < maxChars_) {
    text_[n] = 0;
    conf_[n] = 0;
  }
}

int Reader::run() {
  const int ready = setUp();
  if (ready <= 0) return ready;
  int n = readBands();
  if (n < 0) return -1;
  finishReading(n);
  return n;
}

}  // namespace pvk::ocr::zone

void pvk::ocr::trimZoneResult(char* text, char* conf, ChInfo* info, int& n, short font) {
  if (text == nullptr || conf == nullptr) return;
  auto removeAt = [&](int i) { RimuoviCarattere(text, conf, info, i, n); };
  const uint16_t td = MyOcr.typeDoc;
  const bool ocrbLike = font == 38 || font == 39 || td == 2 || (font >= 2 && font <= 5);
  if (n > 2 && ocrbLike) {
    if (text[0] == '?' && text[1] == ' ') {
      removeAt(0);
      removeAt(0);
    }
    if (n >= 2 && text[n - 1] == '?' && text[n - 2] == ' ') {
      removeAt(n - 1);
      removeAt(n - 1);
    }
  }
  if (font == 4 || font == 5 || font == 38 || font == 39) {
    int real = 0;
    for (int k = 0; k < n; ++k) real += !isBlankOrUnread(text[k]) ? 1 : 0;
    if (real <= 2) {
      n = 0;
    } else {
      if (n >= 2 && text[1] == ' ' && !(static_cast<unsigned char>(conf[0]) > 4 && text[0] != '.')) {
        removeAt(0);
        removeAt(0);
      }
      if (n >= 2 && text[n - 2] == ' ' &&
          (static_cast<unsigned char>(conf[n - 1]) < 5 || text[n - 1] == '.' || text[n - 1] == '?')) {
        removeAt(n - 1);
        removeAt(n - 1);
      }
    }
  } else if (n >= 3 && text[n - 1] == '?' && text[n - 2] == ' ') {
    removeAt(n - 1);
    removeAt(n - 1);
  }
  if (MyOcr.modeByte == 0) {
    for (int k = 0; k < n;) {
      if (text[k] == ' ') removeAt(k);
      else ++k;
    }
  }
}

uint8_t codelineRidotta = 0;
int32_t nCicliCompletiSoglia = 0;

namespace {

int readZone(PVKImg img, char* text, char* conf, ChInfo* info, short font, unsigned short maxChars) {
  try {
    pvk::ocr::zone::Reader reader(img, text, conf, info, font, maxChars);
    return reader.run();
  } catch (...) {
    // An allocation inside a callee that throws: the reader has released what it held.
    WriteTrace("err - ", "ReadOCR - memory allocation failed", static_cast<int>(GetLastError()), false);
    MyDev.lastResult = -4;
    return -1;
  }
}

// ReadOCR's checks of its arguments: 1 to read, else what ReadOCR answers.
int checkArguments(const PVKImg& img, const char* text, const char* conf, unsigned short maxChars) {
  if (text == nullptr || conf == nullptr || img.data == nullptr || img.stride < img.width) {
    WriteTrace("err - ", "ReadOCR - invalid argument", false);
    MyDev.lastResult = -3;
    return -1;
  }
  return maxChars == 0 ? 0 : 1;
}

}  // namespace

int pvk::ocr::readOcrAtOwnDpi(PVKImg img, char* text, char* conf, ChInfo* info, short font, unsigned short maxChars) {
  const int checked = checkArguments(img, text, conf, maxChars);
  return checked < 1 ? checked : readZone(img, text, conf, info, font, maxChars);
}

int ReadOCR(PVKImg img, char* text, char* conf, ChInfo* info, short font, unsigned short maxChars) {
  const int checked = checkArguments(img, text, conf, maxChars);
  if (checked < 1) return checked;
  // A codeline (E13B, CMC7) printed from a font scaled up or down is the standard line at another
  // resolution: read there, its characters meet the font's sizes, where at its own the tall ones
  // are cut down to shapes of other characters. When that reads nothing, the image's own
  // resolution has its try.
  if (font == 1 || font == 202) {
    PVKImg asRead = img;
    asRead.dpi = pvk::ocr::codelineReadingDpi(img);
    if (asRead.dpi != img.dpi) {
      const int n = readZone(asRead, text, conf, info, font, maxChars);
      if (n != 0) return n;
    }
  }
  return readZone(img, text, conf, info, font, maxChars);
}
