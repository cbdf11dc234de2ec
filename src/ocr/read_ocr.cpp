// The zone reader: a grey zone cut into text-line bands, each band read at a series of
// binarisation thresholds, the passes merged into a best and a second reading, further cycles on
// a narrower series and on the band cleared outside the text found, then the bands' rows joined
// with CR LF and trimmed per font.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/shims.h"
#include "core/trace.h"
#include "ocr/ocr.h"

namespace pvk::ocr {
int zoneStopAfterPasses = -1;
}  // namespace pvk::ocr

bool SpezzaAncoraInRighe(const char* text, const ChInfo* info, int n, RigaType* bands, unsigned short index,
                         unsigned short& nBands) {
  if (text == nullptr || info == nullptr || bands == nullptr || index >= nBands) return false;
  if (nBands >= kMaxRighe) return false;  // no room for the band the split adds
  const int S = bands[index].start;
  const int E = S + bands[index].height;
  auto counted = [&](int i) { return text[i] != '?' && text[i] != ' ' && text[i] != '\r' && text[i] != '\n'; };
  // One text line from entry from to its LF (lf: -1 when none): the least top (tops) or bottom
  // and the greatest bottom of its counted characters (any: whether it has one).
  struct Row {
    int least, bottom, lf;
    bool any;
  };
  auto row = [&](int from, bool tops) {
    Row r{E, 0, -1, false};
    for (int i = from; i < n; ++i) {
      if (text[i] == '\n') {
        r.lf = i;
        break;
      }
      if (!counted(i)) continue;
      r.any = true;
      r.least = std::min<int>(r.least, tops ? info[i].top : info[i].bottom);
      r.bottom = std::max<int>(r.bottom, info[i].bottom);
    }
    return r;
  };
  const Row a = row(0, false);
  if (!a.any || a.lf < 0 || a.lf + 1 >= n) return false;
  const Row b = row(a.lf + 1, true);
  const int mid = (a.bottom + b.least) / 2;
  const int cut = std::min(mid, b.least);
  const int firstEnd = std::max(mid, a.bottom);
  if (!b.any || b.least < (a.least + a.bottom) / 2 || S > firstEnd || S > cut) return false;
  for (int k = nBands; k > index + 1; --k) bands[k] = bands[k - 1];
  const RigaType original = bands[index];
  bands[index].height = static_cast<uint16_t>(firstEnd - S);
  bands[index + 1] = RigaType{static_cast<uint16_t>(cut), static_cast<uint16_t>(std::max(E - cut, 0)), original.cut};
  ++nBands;
  if (b.lf >= 0 && b.lf + 1 < n)
    SpezzaAncoraInRighe(text + a.lf + 1, info + a.lf + 1, n - a.lf - 1, bands, static_cast<unsigned short>(index + 1),
                        nBands);
  return true;
}

namespace {

using pvk::core::requestStop;
using pvk::core::stopRequested;
using pvk::ocr::isBlankOrUnread;
using pvk::ocr::isLineBreak;

constexpr char kSure = 100;

// A reading of the zone reader: three arrays of cap + 1 entries, the count, the score and the
// weakest confidence and agreement of its last judgement.
struct Work {
  char* text = nullptr;
  char* conf = nullptr;
  ChInfo* info = nullptr;
  int n = 0;
  int score = 0;
  int worst = 100;
  int minCount = 0;

  void clear(int cap) {
    std::memset(text, 0, static_cast<size_t>(cap) + 1);
    std::memset(conf, 0, static_cast<size_t>(cap) + 1);
    std::memset(info, 0, sizeof(ChInfo) * (static_cast<size_t>(cap) + 1));
    n = 0;
    score = 0;
    worst = 100;
    minCount = 0;
  }
  void copyFrom(const Work& o, int cap) {
    std::memcpy(text, o.text, static_cast<size_t>(cap) + 1);
    std::memcpy(conf, o.conf, static_cast<size_t>(cap) + 1);
    std::memcpy(info, o.info, sizeof(ChInfo) * (static_cast<size_t>(cap) + 1));
    n = o.n;
    score = o.score;
    worst = o.worst;
    minCount = o.minCount;
  }
  void terminate() {
    text[n] = 0;
    conf[n] = 0;
  }
  void remove(int i) { RimuoviCarattere(text, conf, info, i, n); }
  bool holds(char c) const { return pvk::ocr::findInReading(text, n, c) >= 0; }
  bool real(int i) const { return !isBlankOrUnread(text[i]) && !isLineBreak(text[i]); }
  int readable() const {
    int r = 0;
    for (int i = 0; i < n; ++i) r += real(i) ? 1 : 0;
    return r;
  }
  int nonBlank() const {
    int r = 0;
    for (int i = 0; i < n; ++i) r += text[i] != ' ' ? 1 : 0;
    return r;
  }
  bool equals(const Work& o) const { return n == o.n && std::memcmp(text, o.text, static_cast<size_t>(n)) == 0; }
};

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigitOrLetter(char c) { return pvk::ocr::isDigit(c) || isLetter(c); }
bool payeeFont(short f) { return f == 936 || f == 939 || f == 942 || f == 945; }
bool backlitFont(short f) { return f >= 938 && f <= 940; }

// r' of the merge: the readable count below which a pass may not displace a strong reading.
int displaceLimit(int r) { return r - 3 > r / 2 ? r - 4 : r / 2; }

class ZoneReader {
 public:
  ZoneReader(PVKImg img, char* text, char* conf, ChInfo* info, short font, int maxChars)
      : img_(img), text_(text), conf_(conf), info_(info), font_(font), maxChars_(maxChars) {}
  ~ZoneReader() { release(); }
  ZoneReader(const ZoneReader&) = delete;
  ZoneReader& operator=(const ZoneReader&) = delete;

  int run();

 private:
  enum class BandEnd { kDone, kReread, kFail };

  bool allocate();
  void release();
  void findBands();
  BandEnd readBand(int bi);
  // One threshold pass: 1 read, 0 skipped, -1 the reading fails, 2 a stop request (band ends
  // with its best reading).
  int pass(int bi, int i);
  void merge(int t, int t0);
  void judge(Work& w);
  void judgeBoth();
  bool stopRule(int i) const;
  bool endOfCycleNeeded();
  void cleanUp(Work& w);
  void reduce(int bi);
  bool finishBand(int bi);
  int join();
  bool growRows(int more);
  int count(const Work& w, int minConf, bool star) const;

  PVKImg img_;
  char* text_;
  char* conf_;
  ChInfo* info_;
  short font_;
  int maxChars_;

  float scale_ = 1;
  int H_ = 0, W_ = 0;  // nominal character size
  PVKImg copy_{};
  ChInfo* ownInfo_ = nullptr;
  int cap_ = 0;  // entries of a band reading
  Work C_, B_, S_;
  std::vector<RigaType> bands_;
  unsigned short nBands_ = 0;
  pvk::ocr::ThresholdSeries first_{}, series_{};
  int P_ = 0;
  int lo_ = -1, hi_ = -1;
  bool firstCycle_ = true;
  bool retry_ = false;
  bool stopAll_ = false;
  bool endedAsRead_ = false;
  bool failed_ = false;
  bool reduced_ = false;  // the band was cleared outside the text found
  uint16_t lastAw_ = 2, lastAh_ = 2;
  OCRRigaType* rows_ = nullptr;
  unsigned short nRows_ = 0;
  int rowCap_ = 0;
  int counts_[kDBMax] = {};
};

bool ZoneReader::allocate() {
  const size_t bytes = static_cast<size_t>(img_.stride) * img_.height;
  copy_ = img_;
  copy_.data = static_cast<uint8_t*>(pvk::ocr::zoneCalloc(bytes, 1));
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

void ZoneReader::release() {
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
  pvk::ocr::freeBWImg();
  if (rows_ != nullptr) {
    for (int k = 0; k < rowCap_; ++k) pvk::ocr::releaseRow(rows_[k]);
    std::free(rows_);
    rows_ = nullptr;
  }
  ocr_clear();
}

bool ZoneReader::growRows(int more) {
  const int need = nRows_ + more;
  if (need <= rowCap_) return true;
  const int cap = std::max(need, 2 * rowCap_ + 4);
  auto* grown = static_cast<OCRRigaType*>(pvk::ocr::zoneCalloc(static_cast<size_t>(cap), sizeof(OCRRigaType)));
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

void ZoneReader::findBands() {
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
  // The bands tile the zone: each takes its half of the gaps beside it.
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

int ZoneReader::count(const Work& w, int minConf, bool star) const {
  int c = 0;
  for (int i = 0; i < w.n; ++i)
    if (static_cast<unsigned char>(w.conf[i]) > minConf && (isDigitOrLetter(w.text[i]) || (star && w.text[i] == '*')))
      ++c;
  return c;
}

void ZoneReader::judge(Work& w) {
  if (w.n <= 0) return;
  VerificaAggiungiSpazi(w.text, w.conf, w.info, w.n, cap_, font_);
  RimuoviDoppi_CH_NR_e_Piccoli(w.text, w.conf, w.info, w.n, cap_);
  VerificaAggiungiSpazi(w.text, w.conf, w.info, w.n, cap_, font_);
  w.terminate();
  w.score = CalCumulaConf(w.text, w.conf, w.info, w.n, false, 0);
  w.terminate();
  char worst = 110;
  CercaCaratterePeggiore(w.text, w.conf, w.info, w.n, worst, w.minCount);
  w.worst = static_cast<unsigned char>(worst);
}

// Characters of confidence 6 or more that are neither blank, '?' nor a line break; for font 945
// one standing alone between blanks is not counted.
int countedChars(const Work& w, short font) {
  int c = 0;
  for (int i = 0; i < w.n; ++i) {
    if (!w.real(i) || static_cast<unsigned char>(w.conf[i]) < 6) continue;
    if (font == 945 && i > 0 && i + 1 < w.n && w.text[i - 1] == ' ' && w.text[i + 1] == ' ') continue;
    ++c;
  }
  return c;
}

void ZoneReader::judgeBoth() {
  judge(B_);
  judge(S_);
  if (S_.n <= 0) return;
  const int c1 = countedChars(B_, font_), c2 = countedChars(S_, font_);
  const int S1 = B_.score, S2 = S_.score;
  const bool swap = (c2 >= c1 && S2 > S1) || (S2 > S1 + 19 && c2 > std::max(4, c1 / 2)) ||
                    (S2 * c2 > S1 * c1 + 100 && c2 >= c1 && S2 > 30) ||
                    (S1 <= S2 + 9 && c2 >= c1 && S2 >= 31 && B_.worst < S_.worst) ||
                    (10 * S2 > 9 * S1 && S2 >= 31 && c2 > c1 + 6);
  if (swap) std::swap(B_, S_);
}

void ZoneReader::merge(int t, int t0) {
  const int nC = C_.n, nB = B_.n;
  const int Sc = C_.score, Sb = B_.score;
  const int rC = C_.readable(), rB = B_.readable();
  bool X = Sc > 40 && nB + 10 < nC;
  if (!X || (nC == 1 && rB >= 3)) X = Sc > 10 && nB < 2 && rC > 2;
  bool outranks = Sc > Sb || (Sc == Sb && rC > rB) || X;
  if (Sb >= 21 && nB >= 5 && rC < displaceLimit(rB)) outranks = false;
  // Below the first threshold a pass tends to lose thin strokes: it displaces the best only
  // when it holds at least as many marks.
  if (outranks && t < t0) outranks = nB == 0 || B_.nonBlank() <= C_.nonBlank();
  if (outranks) {
    const bool mergeOld = Sc <= Sb + 30 && nB > 0;
    if (S_.n > 0)
      ConfrontaSimili(S_.text, S_.conf, S_.info, S_.n, B_.text, B_.conf, B_.info, B_.n, true, cap_, false, true);
    S_.copyFrom(B_, cap_);
    if (mergeOld)
      ConfrontaSimili(B_.text, B_.conf, B_.info, B_.n, C_.text, C_.conf, C_.info, C_.n, true, cap_, false, true);
    B_.copyFrom(C_, cap_);
    B_.score = Sc;
    S_.score = Sb;
    return;
  }
  const int Ss = S_.score;
  bool toSecond = Sc > Ss;
  if (Ss < 1) {
    toSecond = true;
  } else {
    if (toSecond && Ss >= 21 && S_.readable() >= 5 && rC < displaceLimit(S_.readable())) toSecond = false;
    if (toSecond && t < t0) {
      auto strong = [](const Work& w) {
        int k = 0;
        for (int i = 0; i < w.n; ++i)
          if (w.text[i] != ' ' && !isLineBreak(w.text[i]) && static_cast<unsigned char>(w.conf[i]) >= 11) ++k;
        return k;
      };
      toSecond = strong(S_) <= strong(C_);
    }
  }
  if (toSecond) {
    if (S_.n > 0)
      ConfrontaSimili(S_.text, S_.conf, S_.info, S_.n, C_.text, C_.conf, C_.info, C_.n, true, cap_, false, true);
    S_.copyFrom(C_, cap_);
    S_.score = Sc;
    return;
  }
  // Merged in when strong enough.
  int L1 = 20, L2 = 10;
  if (firstCycle_) {
    const bool low = rC < 4;
    const bool bMore = low && rB > rC;
    const bool sMore = low && S_.readable() > rC;
    if (font_ == 945) {
      L1 = bMore ? 30 : 10;
      L2 = sMore ? 10 : 5;
    } else {
      L1 = bMore ? 50 : 20;
      L2 = sMore ? 20 : 10;
    }
  } else if (font_ == 945) {
    L1 = 10;
    L2 = 5;
  }
  if (nC < 2) return;
  bool allSure = B_.n > 0;
  int sureB = 0, sureS = 0;
  for (int i = 0; i < B_.n; ++i) {
    if (static_cast<unsigned char>(B_.conf[i]) == 100) ++sureB;
    else allSure = false;
  }
  for (int i = 0; i < S_.n; ++i) sureS += static_cast<unsigned char>(S_.conf[i]) == 100 ? 1 : 0;
  if (Sc > L1 && nC >= 4 && !(allSure && sureB > sureS)) {
    ConfrontaSimili(C_.text, C_.conf, C_.info, C_.n, B_.text, B_.conf, B_.info, B_.n, true, cap_, false, true);
    B_.terminate();
    B_.score = CalCumulaConf(B_.text, B_.conf, B_.info, B_.n, false, 0);
  } else if (Sc > L2) {
    ConfrontaSimili(C_.text, C_.conf, C_.info, C_.n, S_.text, S_.conf, S_.info, S_.n, true, cap_, false, true);
    S_.terminate();
    S_.score = CalCumulaConf(S_.text, S_.conf, S_.info, S_.n, false, 0);
  }
}

int ZoneReader::pass(int bi, int i) {
  const int t = series_.t[i];
  if (t < 3 || t > 252) return 0;
  const RigaType& band = bands_[bi];
  PVKImg b = copy_;
  b.data = copy_.data + static_cast<size_t>(band.start) * copy_.stride;
  b.height = band.height;
  if (!Convol(&b, static_cast<unsigned char>(t), font_ == 944 || font_ == 945)) return 0;
  if (ocr_pre_process(BWImg, copy_.width, band.height) < 0) return 0;
  if (stopRequested()) return 2;
  if (aw < 2) aw = lastAw_;
  if (ah < 2) ah = lastAh_;
  C_.clear(cap_);
  const short got = ocr_read(C_.text, C_.conf, C_.info, cap_, 0);
  if (got < 0 || got > cap_) return -1;
  if (aw >= 2) lastAw_ = aw;
  if (ah >= 2) lastAh_ = ah;
  if (got == 0) return 0;
  C_.n = got;
  for (int k = 0; k < C_.n; ++k) {
    C_.info[k].top = static_cast<uint16_t>(C_.info[k].top + band.start);
    C_.info[k].bottom = static_cast<uint16_t>(C_.info[k].bottom + band.start);
  }
  if (!reduced_) {
    for (int k = 0; k < C_.n;) {
      if (!isLineBreak(C_.text[k]) && (C_.info[k].top <= 2 || C_.info[k].bottom + 3 >= copy_.height))
        C_.remove(k);
      else
        ++k;
    }
  }
  const int d = std::abs(t - series_.t[0]);
  if (series_.D > 0 && d > series_.D) {
    const float f = 1.0f - static_cast<float>(d) * series_.K / static_cast<float>(series_.D);
    for (int k = 0; k < C_.n; ++k)
      if (!isLineBreak(C_.text[k]))
        C_.conf[k] = static_cast<char>(std::max(1, static_cast<int>(static_cast<unsigned char>(C_.conf[k]) * f)));
  }
  VerificaSeparati(C_.text, C_.conf, C_.info, C_.n);
  C_.terminate();
  C_.score = CalCumulaConf(C_.text, C_.conf, C_.info, C_.n, true, 0);
  if (C_.score == 0 || C_.n <= 0) return 0;
  if (C_.score <= 9) {
    for (int k = 0; k < C_.n;) {
      const unsigned char c = static_cast<unsigned char>(C_.conf[k]);
      if (C_.text[k] != ' ' && C_.text[k] != '?' && !isLineBreak(C_.text[k]) && c > 9) {
        C_.conf[k] = static_cast<char>(std::max(1, c * 2 / 3));
        ++k;
      } else if (isLineBreak(C_.text[k])) {
        ++k;
      } else {
        C_.remove(k);
      }
    }
    C_.terminate();
    C_.score = CalCumulaConf(C_.text, C_.conf, C_.info, C_.n, true, 0);
    if (C_.score == 0 || C_.n <= 0) return 0;
  }
  if ((font_ == 944 || font_ == 945) && C_.score < 5) return 0;
  C_.terminate();
  lo_ = lo_ < 0 ? t : std::min(lo_, t);
  hi_ = std::max(hi_, t);
  merge(t, series_.t[0]);
  judgeBoth();
  return 1;
}

bool ZoneReader::stopRule(int i) const {
  const int m = std::min(MyOcr.minLineConf + 10, 100);
  const int n = B_.n;
  if (n <= 0) return i > P_ + 5;
  if (B_.holds('?')) return false;
  if (font_ == 39 && !(B_.n == 13 && S_.n == 13)) return false;
  if (IsMICROPERFORATIONFont(font_, false) && MicorforaturaOK(font_, B_.text, B_.conf, B_.n) && S_.equals(B_))
    return true;
  if (IsCMC7Font(font_) && n > 10) {
    if (B_.worst < MyOcr.cmc7Thr || (n != 33 && n != 23)) return false;
    for (int k = 0; k < n; ++k)
      if (B_.text[k] == ' ' && k != 12 && k != 23) return false;
  }
  const int w = B_.worst, g = B_.minCount;
  if (n >= 11) {
    if (i > P_ + 1 && g >= 4 && w > std::max(m, 60) && m <= 69 && !B_.holds(' ')) return true;
    if (i > P_ + 3 && g >= 3 && w > std::max(m, 40) && m < 80) return true;
    if (i > P_ + 5 && w > std::max(m, 30) && m < 90) return true;
  }
  return i > P_ + 7 && g >= 3 && w > std::max(m, 10) && m < 90;
}

// Font 39 reads a 13-character field: a longer reading holding an expected text keeps it.
void trimToExpected(Work& w) {
  for (const char* e : {MyITACheck.expected1, MyITACheck.expected2}) {
    const size_t len = strnlen(e, sizeof MyITACheck.expected1);
    if (len != 13 || w.n <= 13) continue;
    for (int at = 0; at + 13 <= w.n; ++at)
      if (std::memcmp(w.text + at, e, 13) == 0) {
        while (w.n > at + 13) w.remove(w.n - 1);
        for (int k = 0; k < at; ++k) w.remove(0);
        return;
      }
  }
}

void ZoneReader::cleanUp(Work& w) {
  if (w.n <= 0) return;
  if (IsMICROPERFORATIONFont(font_, true)) {
    const auto px = [](int k300) { return static_cast<int>(k300 * MyOcr.engineScale); };  // 300-dpi pixels
    PulisciMicroperforati(w.text, w.conf, w.info, w.n, px(9), 0, px(26), px(42));
  } else if (font_ == 38) {
    PulisciFontOCRB(w.text, w.conf, w.info, w.n, 9, 26, 12, 38);
    auto weakEnd = [&](int k) {
      const char c = w.text[k];
      return c == ' ' || c == '?' ||
             (static_cast<unsigned char>(w.conf[k]) <= 59 && w.info[k].agreement <= 1 && !isLineBreak(c));
    };
    while (w.n > 0 && weakEnd(0)) w.remove(0);
    while (w.n > 0 && weakEnd(w.n - 1)) w.remove(w.n - 1);
  } else if (font_ == 39) {
    PulisciFontOCRB(w.text, w.conf, w.info, w.n, 0, 0, 24, 0);
    trimToExpected(w);
  } else if (IsCMC7Font(font_)) {
    pvk::ocr::cleanCmc7Sizes(w.text, w.conf, w.info, w.n, scale_);
  } else if (font_ == 945) {
    if (w.n >= 2 && w.text[0] == '?' && w.text[1] == ' ') {
      w.remove(0);
      w.remove(0);
    }
    while (RimuoviSchifezzeFinali(w.text, w.conf, w.n)) {
    }
  } else if (font_ == 944) {
    if (w.n >= 2 && w.text[0] == '?' && w.text[1] == ' ') {
      w.remove(0);
      w.remove(0);
    } else if (w.text[0] == ',') {
      while (w.n > 4 && (w.text[0] == ',' || w.text[0] == ' ')) w.remove(0);
    }
  }
  w.terminate();
}

bool ZoneReader::endOfCycleNeeded() {
  const int n = B_.n;
  const int minConf = MyOcr.minLineConf;
  bool needed;
  if (n < 3) {
    needed = n >= 1 && copy_.width > 499;
  } else {
    needed = B_.holds('?') || B_.minCount < MyOcr.minAgreement;
    if (IsCMC7Font(font_)) {
      if (B_.worst <= 99) needed = true;
      bool complete = false;
      const bool accepted = IsAssegnoItalia(B_.text, B_.conf, B_.info, B_.n, complete, false);
      bool completeS = false;
      if (S_.n > 0) IsAssegnoItalia(S_.text, S_.conf, S_.info, S_.n, completeS, false);
      if (accepted && !complete) needed = true;
    }
    if (IsMICROPERFORATIONFont(font_, true) && !MicorforaturaOK(font_, B_.text, B_.conf, B_.n)) needed = true;
    if ((font_ == 944 || font_ == 945) && B_.score < std::max(minConf, 50)) needed = true;
    if (IsOCRBFont(font_) && MyOcr.multiLine != 0 && daMigliorareBollettiniItalia(B_.text, B_.conf, B_.n))
      needed = true;
    if (font_ == 39 && !(B_.n == 13 && S_.equals(B_))) needed = true;
    switch (MyOcr.typeDoc) {
      case 5: case 6: case 7: case 9: case 12: case 13: needed = true; break;
      default: break;
    }
  }
  if (B_.score < minConf) {
    needed = true;
    if (!firstCycle_ && !IsCMC7Font(font_))
      for (int k = 0; k < B_.n; ++k) {
        if (!B_.real(k)) continue;
        const int c = static_cast<unsigned char>(B_.conf[k]);
        if (c >= minConf) continue;
        if (2 * c < minConf) {
          B_.text[k] = '?';
          B_.conf[k] = 1;
        } else {
          B_.conf[k] = static_cast<char>(minConf);
        }
      }
  }
  if (!SoloMaiuscolo && n > 0) {
    int ab = 0, capitals = 0;
    for (int k = 0; k < n; ++k) {
      ab += B_.text[k] == 'a' || B_.text[k] == 'b' ? 1 : 0;
      capitals += pvk::ocr::isCapital(B_.text[k]) ? 1 : 0;
    }
    if (ab == 0) {
      SoloMaiuscolo = true;
    } else if (3 * ab + 4 < capitals) {
      SoloMaiuscolo = true;
      needed = true;
    }
  }
  if (n > 0 && EsisteBestDB(counts_, B_.text, B_.conf, B_.info, B_.n) && DBList != nullptr &&
      std::strstr(DBList[BestIndex].name, "ARIAL") != nullptr) {
    Verifica_i_Arial = 1;
    if (n >= 2) needed = true;
  }
  return needed;
}

void ZoneReader::reduce(int bi) {
  int top = copy_.height, bottom = 0, left = copy_.width, right = 0;
  for (const Work* w : {&B_, &S_})
    for (int k = 0; k < w->n; ++k) {
      if (!w->real(k) || static_cast<unsigned char>(w->conf[k]) <= 9) continue;
      if (k > 0 && k + 1 < w->n && w->text[k - 1] == ' ' && w->text[k + 1] == ' ') continue;
      top = std::min<int>(top, w->info[k].top);
      bottom = std::max<int>(bottom, w->info[k].bottom);
      left = std::min<int>(left, w->info[k].left);
      right = std::max<int>(right, w->info[k].right);
    }
  int vm = H_ > 47 ? H_ / 16 : 2;
  if (font_ == 944 || font_ == 945) vm = std::min(vm, 4);
  const int hm = 4 * W_;
  top -= vm;
  bottom += vm;
  left -= hm;
  right += hm;
  // Only the band's own rows are cleared: the bands below it are still to be read.
  const int y0 = bands_[bi].start, y1 = bands_[bi].start + bands_[bi].height;
  for (int y = y0; y < y1 && y < copy_.height; ++y) {
    uint8_t* row = copy_.data + static_cast<size_t>(y) * copy_.stride;
    if (y < top || y >= bottom || left >= right) {
      std::memset(row, 255, copy_.width);
      continue;
    }
    for (int x = 0; x < copy_.width; ++x)
      if (x < left || x >= right) row[x] = 255;
  }
  reduced_ = true;
  if (font_ == 945) {
    EsisteBestDB(counts_, B_.text, B_.conf, B_.info, B_.n);
    RiduciDBBeneficiario(counts_, B_.n);
    WriteTrace("inf - ", "nChar1OK", count(B_, 9, false), false);
    WriteTrace("inf - ", "nChar2OK", count(S_, 9, false), false);
    for (Work* w : {&B_, &S_}) {
      PulisciSottoSopraRiga(w->text, w->conf, w->info, w->n);
      PulisciInizioRiga(w->text, w->conf, w->info, w->n, firstCycle_);
      PulisciFineRiga(w->text, w->conf, w->info, w->n);
    }
  } else if (font_ == 944) {
    for (Work* w : {&B_, &S_}) {
      PulisciSottoSopraRiga(w->text, w->conf, w->info, w->n);
      PulisciFineRiga(w->text, w->conf, w->info, w->n);
      PulisciInizioRigaAmount(w->text, w->conf, w->info, w->n, false);
    }
  }
  if (font_ == 944 || font_ == 945) {
    for (Work* w : {&B_, &S_}) {
      for (int k = 0; k < w->n;)
        if (w->text[k] == ' ' || static_cast<unsigned char>(w->conf[k]) <= 9) w->remove(k);
        else ++k;
      w->score /= 2;
      w->terminate();
    }
  }
  if (font_ == 945) {
    int digits = 0;
    for (int k = 0; k < B_.n; ++k)
      digits += pvk::ocr::isDigit(B_.text[k]) && static_cast<unsigned char>(B_.conf[k]) > 20 ? 1 : 0;
    ForzaSoloAlfa = digits < 2;
    if (ForzaSoloAlfa)
      for (Work* w : {&B_, &S_})
        for (int k = 0; k < w->n; ++k) {
          if (w->text[k] == '3') w->text[k] = 'B';
          if (w->text[k] == '0') w->text[k] = 'O';
          if (pvk::ocr::isDigit(w->text[k])) w->conf[k] = static_cast<char>(std::max(1, w->conf[k] / 4));
        }
  }
}

void adjustRow(OCRRigaType& row, short font, int centre) {
  auto scaled = [&](int num, int den) {
    row.score = static_cast<uint8_t>(std::max(1, std::min(100, row.score * num / den)));
  };
  const std::string text(row.text, static_cast<size_t>(row.n));
  auto has = [&](const char* s) { return text.find(s) != std::string::npos; };
  const int n = row.n;
  if (font == 944) {
    if (centre < 35) scaled(3, 5);
    else if (centre <= 44) scaled(4, 5);
    else if (centre >= 121) scaled(4, 5);
    if (n <= 3) scaled(4, 5);
    if (n > 9 && row.text[n - 5] == ' ' && row.text[n - 8] == ' ') scaled(4, 5);
    if (n >= 8 && row.text[n - 3] == ' ' && row.text[n - 5] == ' ') scaled(4, 5);
    if (has("*")) scaled(7, 6);
  } else {
    if (centre < 25) scaled(2, 3);
    else if (centre >= 91 && centre <= 110) scaled(4, 5);
    else if (centre >= 111) scaled(2, 3);
    if (has("CENTO") || has("CENT0")) scaled(2, 3);
    if (has("MILLE") || has("M?LLE") || has("MILA")) scaled(2, 3);
    for (const char* w : {"DUE", "TRE", "QUATT", "CINQ", "SETTE", "OTTO", "NOVE"})
      if (has(w)) scaled(4, 5);
    if (has("SEI")) scaled(6, 7);
  }
}

bool ZoneReader::finishBand(int bi) {
  (void)bi;
  Work& b = B_;
  const int minConf = MyOcr.minLineConf;
  auto nothing = [&]() {
    pvk::ocr::freeBWImg();
    return true;
  };
  if (b.score < minConf || b.n == 0) return nothing();
  if (copy_.width > 400 && b.n < 3) {
    for (int k = 0; k < b.n;) {
      if (b.info[k].agreement <= 2) b.remove(k);
      else ++k;
    }
  }
  const uint16_t td = MyOcr.typeDoc;
  if (td == 3 || td == 4 || td == 6 || td == 7 || td == 8) {
    const int need = IsMICROPERFORATIONFont(font_, true) && font_ != 944 ? 4 : 2;
    if (count(b, 29, font_ == 944) < need) return nothing();
  } else if (td == 10 || td == 11) {
    if (count(b, 29, font_ == 944) <= 1) return nothing();
  }
  if (b.n >= 3 && MyOcr.modeByte != 0 && b.text[b.n - 1] == ' ') b.remove(b.n - 1);
  if (font_ == 945) {
    PulisciSottoSopraRiga(b.text, b.conf, b.info, b.n);
    PulisciInizioRiga(b.text, b.conf, b.info, b.n, firstCycle_);
    PulisciFineRiga(b.text, b.conf, b.info, b.n);
  } else if (font_ == 944) {
    PulisciSottoSopraRiga(b.text, b.conf, b.info, b.n);
    PulisciFineRiga(b.text, b.conf, b.info, b.n);
    PulisciInizioRigaAmount(b.text, b.conf, b.info, b.n, false);
    for (int k = 0; k < b.n;)
      if (b.text[k] == '#') b.remove(k);
      else ++k;
    if (b.n >= 3 && b.text[1] == '*' && b.text[2] == '*' && static_cast<unsigned char>(b.conf[0]) < 70) b.remove(0);
  } else if (font_ == 39) {
    if (!(b.n > 9 && b.score > 69) && MyITACheck.semicolonAt10 == 0) return nothing();
  }
  pvk::ocr::markWeakCharacters(b.text, b.conf, b.info, b.n, minConf);
  if (font_ == 945 && MyOcr.zoneSide != 2 && count(b, 29, false) <= 3) return nothing();
  RimuoviSpaziEsterniEDoppi(b.text, b.conf, b.info, b.n);
  b.terminate();
  int crs = 0;
  for (int k = 0; k < b.n; ++k) crs += b.text[k] == '\r' ? 1 : 0;
  if (!growRows(crs + 1)) return false;
  const unsigned short before = nRows_;
  if (!SpezzaInRighe(b.text, b.conf, b.info, b.n, rows_, nRows_, maxChars_)) return false;
  for (unsigned short r = before; r < nRows_; ++r) {
    OCRRigaType& row = rows_[r];
    int centreSum = 0, centreN = 0;
    for (int k = 0; k < row.n; ++k)
      if (static_cast<unsigned char>(row.conf[k]) > 30 && isDigitOrLetter(row.text[k])) {
        centreSum += (row.info[k].top + row.info[k].bottom) / 2;
        ++centreN;
      }
    const int centre = centreN > 0 ? centreSum / centreN : 0;
    if (font_ != 944 && font_ != 945) continue;
    const bool lastRow = r + 1 == nRows_;
    PulisciSottoSopraRiga(row.text, row.conf, row.info, row.n);
    if (font_ == 944) {
      PulisciInizioRigaAmount(row.text, row.conf, row.info, row.n, false);
    } else {
      PulisciInizioRiga(row.text, row.conf, row.info, row.n, firstCycle_);
    }
    PulisciFineRiga(row.text, row.conf, row.info, row.n);
    if (!lastRow) VerificaAggiungiSpazi(row.text, row.conf, row.info, row.n, row.capacity - 1, font_);
    row.text[row.n] = 0;
    row.conf[row.n] = 0;
    adjustRow(row, font_, centre);
  }
  if (!endedAsRead_) {
    RimuoviSpaziEsterniEDoppi(b.text, b.conf, b.info, b.n);
    RimuoviCHNRInizialiEFinali(b.text, b.conf, b.info, b.n);
    RimuoviSpaziEsterniEDoppi(b.text, b.conf, b.info, b.n);
  }
  pvk::ocr::freeBWImg();
  return true;
}

ZoneReader::BandEnd ZoneReader::readBand(int bi) {
  for (int k = 0; k < nDBLoaded && k < kDBMax; ++k) ValidDB[k] = 1;
  BestIndex = -1;
  reduced_ = false;
  codelineRidotta = 0;
  nCicliCompletiSoglia = 0;
  ForzaSoloAlfa = false;
  FixSizeFont = 0;
  Verifica_i_Arial = 0;
  PrivilegiaBarreVert = 0;
  firstCycle_ = true;
  endedAsRead_ = false;
  series_ = first_;
  lo_ = hi_ = -1;
  for (Work* w : {&C_, &B_, &S_}) w->clear(cap_);
  auto finish = [&]() { return finishBand(bi) ? BandEnd::kDone : BandEnd::kFail; };
  auto nothing = [&]() {
    pvk::ocr::freeBWImg();
    return BandEnd::kDone;
  };
  const int bandH = bands_[bi].height;
  int start = 0;
  for (;;) {
    if (start == 0) ++nCicliCompletiSoglia;
    if (IsCMC7Font(font_) && DBList != nullptr)
      for (int k = 0; k < nDBLoaded && k < kDBMax; ++k)
        if (std::strstr(DBList[k].name, "CMC7AB04") != nullptr) ValidDB[k] = PrivilegiaBarreVert ? 0 : 1;
    if (stopRequested()) {
      stopAll_ = true;
      return finish();
    }
    if (bandH < std::max(H_ / 2, static_cast<int>(16 * scale_))) return nothing();
    int i = start;
    bool early = false;
    for (; i < series_.n; ++i) {
      if (i > start && stopRequested()) {
        stopAll_ = true;
        return nothing();
      }
      const int r = pass(bi, i);
      if (r < 0) {
        failed_ = true;
        return BandEnd::kFail;
      }
      if (r == 2) {
        stopAll_ = true;
        return finish();
      }
      if (pvk::ocr::zoneStopAfterPasses > 0 && --pvk::ocr::zoneStopAfterPasses == 0) requestStop(true);
      if (r == 0 && B_.n > 0) continue;
      if (B_.n > 0 && B_.holds('?') && payeeFont(font_)) {
        const size_t len = strnlen(MyITACheck.expPayee, sizeof MyITACheck.expPayee);
        if (len > 0 && static_cast<size_t>(B_.n) == len && std::memcmp(B_.text, MyITACheck.expPayee, len) == 0) {
          WriteTrace("inf - ", "beneficiario atteso", false);
          std::memset(B_.conf, kSure, static_cast<size_t>(B_.n));
          endedAsRead_ = true;
          return finish();
        }
      }
      if (stopRule(i)) {
        early = true;
        break;
      }
    }
    start = 0;
    // End of the cycle.
    const int lim = MyOcr.minLineConf > 9 ? MyOcr.minLineConf / 2 : 5;
    if ((B_.n <= 0 || B_.score < lim) && (!firstCycle_ || retry_)) return nothing();
    if (S_.n > 0 && B_.n > 0) {
      ConfrontaSimili(S_.text, S_.conf, S_.info, S_.n, B_.text, B_.conf, B_.info, B_.n, true, cap_, false, true);
      B_.terminate();
    }
    const bool unread = B_.holds('?');
    if (unread && early && i + 1 < series_.n) {
      start = i + 1;
      continue;
    }
    if (unread && !firstCycle_) {
      const int weak = font_ == 944 || font_ == 945 ? 5 : 1;
      for (int k = 0; k < B_.n;)
        if ((B_.text[k] == '?' || static_cast<unsigned char>(B_.conf[k]) < weak) && B_.info[k].agreement <= 1 &&
            !isLineBreak(B_.text[k]))
          B_.remove(k);
        else
          ++k;
      for (int k = 0; k < S_.n;)
        if ((S_.text[k] == '?' || static_cast<unsigned char>(S_.conf[k]) <= 9) && S_.info[k].agreement <= 1 &&
            !isLineBreak(S_.text[k]))
          S_.remove(k);
        else
          ++k;
    }
    if (B_.n >= 5) {
      cleanUp(B_);
      cleanUp(S_);
    }
    B_.terminate();
    S_.terminate();
    B_.score = B_.n > 0 ? CalCumulaConf(B_.text, B_.conf, B_.info, B_.n, false, 0) : 0;
    S_.score = S_.n > 0 ? CalCumulaConf(S_.text, S_.conf, S_.info, S_.n, false, 0) : 0;
    if (firstCycle_ && !retry_) {
      // A band holding two lines is read again as two bands; a split that does not shorten it is
      // kept without reading it again, so that the band cannot be split for ever.
      const uint16_t before = bands_[bi].height;
      for (const Work* w : {&B_, &S_})
        if (w->holds('\r') && SpezzaAncoraInRighe(w->text, w->info, w->n, bands_.data(), static_cast<unsigned short>(bi),
                                                  nBands_)) {
          if (bands_[bi].height < before) return BandEnd::kReread;
          break;
        }
    }
    const bool needed = endOfCycleNeeded();
    if (!needed) return finish();
    if (firstCycle_) {
      firstCycle_ = false;
      pvk::ocr::nextThresholdSeries(series_, lo_, hi_);
      if (IsCMC7Font(font_)) PrivilegiaBarreVert = 1;
      continue;
    }
    PrivilegiaBarreVert = 0;
    if (reduced_) {
      if (IsCMC7Font(font_) && nCicliCompletiSoglia == 3) {
        PrivilegiaBarreVert = 1;
        continue;
      }
      return finish();
    }
    if (TopPrimaLineaValida != 0 && TagliaSopraPrimaLinea != 0) {
      if (B_.score > 60) {
        TagliaCaratteriSopraPrimaLinea(B_.text, B_.conf, B_.info, B_.n);
        B_.terminate();
        TagliaSopraPrimaLinea = 0;
      } else {
        TopPrimaLineaValida = 0;
      }
    }
    if (InitOCR(font_, true, scale_) < 1) {
      failed_ = true;
      return BandEnd::kFail;
    }
    if (copy_.width >= 500 && B_.n < 3) return finish();
    reduce(bi);
    codelineRidotta = 1;
  }
}

int ZoneReader::join() {
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

}  // namespace

void pvk::ocr::markWeakCharacters(char* text, char* conf, const ChInfo* info, int n, int minConf) {
  if (text == nullptr || conf == nullptr || info == nullptr) return;
  int sum = 0, cnt = 0;
  for (int k = 0; k < n; ++k)
    if (!isBlankOrUnread(text[k]) && !isLineBreak(text[k]) && static_cast<unsigned char>(conf[k]) > minConf) {
      sum += info[k].agreement;
      ++cnt;
    }
  // A handful of characters says little about how many passes a good one gets: their sum stands
  // for the mean.
  const int h = cnt <= 4 ? sum : sum / cnt;
  const int L = std::clamp(h / 4, 2, 4);
  for (int k = 0; k < n; ++k) {
    const char c = text[k];
    if (c == ' ' || isLineBreak(c)) continue;
    // Blanks on both sides; at either end one blank suffices.
    const bool alone = (k == 0 || text[k - 1] == ' ') && (k == n - 1 || text[k + 1] == ' ');
    if (c == '?') {
      if (info[k].agreement < L && alone) text[k] = ' ';
    } else if (info[k].agreement < L + (alone ? 1 : 0) && static_cast<unsigned char>(conf[k]) < minConf) {
      text[k] = alone ? ' ' : '?';
      conf[k] = 1;
    }
  }
}

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

namespace {

int ZoneReader::run() {
  ForzaSoloAlfa = false;
  FixSizeFont = 0;
  Verifica_i_Arial = 0;
  PrivilegiaBarreVert = 0;
  SoloMaiuscolo = false;
  TagliaSopraPrimaLinea = 0;
  TopPrimaLineaValida = 0;
  pvk::ocr::freeBWImg();
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
  // Readings of one band stay within the engine's reading size, whatever the caller's buffers.
  cap_ = std::min(maxChars_, kOcrUsableChars);
  for (Work* w : {&C_, &B_, &S_}) {
    w->text = static_cast<char*>(pvk::ocr::zoneCalloc(static_cast<size_t>(cap_) + 1, 1));
    w->conf = static_cast<char*>(pvk::ocr::zoneCalloc(static_cast<size_t>(cap_) + 1, 1));
    w->info = static_cast<ChInfo*>(pvk::ocr::zoneCalloc(static_cast<size_t>(cap_) + 1, sizeof(ChInfo)));
  }
  if (info_ == nullptr) ownInfo_ = static_cast<ChInfo*>(pvk::ocr::zoneCalloc(static_cast<size_t>(maxChars_),
                                                                                sizeof(ChInfo)));
  bool ok = (info_ != nullptr || ownInfo_ != nullptr) && growRows(4);
  for (const Work* w : {&C_, &B_, &S_}) ok = ok && w->text != nullptr && w->conf != nullptr && w->info != nullptr;
  if (!ok) {
    WriteTrace("err - ", "ReadOCR - memory allocation failed", static_cast<int>(GetLastError()), false);
    MyDev.lastResult = -4;
    return -1;
  }
  std::memset(text_, 0, static_cast<size_t>(maxChars_));
  std::memset(conf_, 0, static_cast<size_t>(maxChars_));
  findBands();
  MyOcr.currentFont = font_;
  pvk::ocr::firstThresholdSeries(&copy_, first_);
  P_ = IsMICROPERFORATIONFont(font_, false) ? 15 : IsCMC7Font(font_) ? 7 : 0;

  int n = 0;
  for (;;) {
    for (int bi = 0; bi < nBands_ && !stopAll_;) {
      const BandEnd e = readBand(bi);
      if (e == BandEnd::kFail) return -1;
      if (e == BandEnd::kDone) ++bi;
    }
    n = join();
    const int enough = IsMICROPERFORATIONFont(font_, false) ? 3 : 1;
    const int firstEnd = bands_[0].start + bands_[0].height;
    if (n >= enough || retry_ || stopAll_ || firstEnd >= copy_.height - 8) break;
    retry_ = true;
    CancellaRigheGiaLette(nRows_, rows_);
    std::memset(text_, 0, static_cast<size_t>(maxChars_));
    std::memset(conf_, 0, static_cast<size_t>(maxChars_));
    bands_[0] = RigaType{0, static_cast<uint16_t>(copy_.height - 1), 0};
    nBands_ = 1;
  }
  ChInfo* info = info_ != nullptr ? info_ : ownInfo_;
  pvk::ocr::trimZoneResult(text_, conf_, info, n, font_);
  if (IsCMC7Font(font_) && n > 0) {
    MyITACheck.level = static_cast<int16_t>(std::max<int>(MyITACheck.level, n));
    if (MyITACheck.active != 0) {
      for (int k = 10; k <= 13 && k < n; ++k) {
        if (text_[k] == ';') MyITACheck.semicolonAt10 = 1;
        if (text_[k] == '=') MyITACheck.equalsAt10 = 1;
      }
      if (MyITACheck.semicolonAt10 != 0 && MyITACheck.equalsAt10 != 0) MyITACheck.semicolonAt10 = MyITACheck.equalsAt10 = 0;
    }
    if ((MyITACheck.active != 0 || MyOcr.typeDoc == 3) && pvk::ocr::findInReading(text_, n, '?') >= 0)
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
  return n;
}

}  // namespace

uint8_t codelineRidotta = 0;
int32_t nCicliCompletiSoglia = 0;

namespace {

int readZone(PVKImg img, char* text, char* conf, ChInfo* info, short font, unsigned short maxChars) {
  try {
    ZoneReader reader(img, text, conf, info, font, maxChars);
    return reader.run();
  } catch (...) {
    // An allocation inside a callee that throws: the reader has released what it held.
    WriteTrace("err - ", "ReadOCR - memory allocation failed", static_cast<int>(GetLastError()), false);
    MyDev.lastResult = -4;
    return -1;
  }
}

}  // namespace

int ReadOCR(PVKImg img, char* text, char* conf, ChInfo* info, short font, unsigned short maxChars) {
  if (text == nullptr || conf == nullptr || img.data == nullptr || img.stride < img.width) {
    WriteTrace("err - ", "ReadOCR - invalid argument", false);
    MyDev.lastResult = -3;
    return -1;
  }
  if (maxChars == 0) return 0;
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
