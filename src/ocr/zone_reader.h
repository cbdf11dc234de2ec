// The zone reader's parts, shared by its files: a band reading (text, confidences, boxes and its
// judgement) and the reader whose steps are the zone's set-up, its bands read pass by pass and
// cycle by cycle, the end of each band and the join of the rows (read_ocr.cpp, zone_passes.cpp,
// zone_cycles.cpp, zone_band_end.cpp).
#pragma once

#include <cstring>
#include <vector>

#include "ocr/ocr.h"

namespace pvk::ocr::zone {

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
  bool holds(char c) const { return findInReading(text, n, c) >= 0; }
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

inline bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool isDigitOrLetter(char c) { return isDigit(c) || isLetter(c); }
inline bool payeeFont(short f) { return f == 936 || f == 939 || f == 942 || f == 945; }
inline bool backlitFont(short f) { return f >= 938 && f <= 940; }

class Reader {
 public:
  Reader(PVKImg img, char* text, char* conf, ChInfo* info, short font, int maxChars)
      : img_(img), text_(text), conf_(conf), info_(info), font_(font), maxChars_(maxChars) {}
  ~Reader() { release(); }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  int run();

 private:
  enum class BandEnd { kDone, kReread, kFail };
  // What the end of a threshold cycle decides.
  enum class CycleEnd { kNext, kFinish, kNothing, kReread, kFail };

  // The zone: set-up, buffers, bands, rows (read_ocr.cpp).
  int setUp();
  bool allocate();
  bool allocateWork();
  void release();
  bool growRows(int more);
  void findBands();
  void tileBands(int n);
  int readBands();
  int join();
  void finishReading(int& n);

  // The passes of a band (zone_passes.cpp). One threshold pass: 1 read, 0 skipped, -1 the
  // reading fails, 2 a stop request (band ends with its best reading).
  int pass(int bi, int i);
  int readPass(int bi, int t);
  void placeInZone(int bi);
  void penalise(int t);
  bool scorePass();
  void merge(int t, int t0);
  void replaceBest(int Sc, int Sb, int nB);
  bool replacesSecond(int Sc, int rC, int t, int t0) const;
  void mergeStrong(int Sc, int nC, int rC, int rB);
  void judge(Work& w);
  void judgeBoth();
  bool stopRule(int i) const;
  int count(const Work& w, int minConf, bool star) const;

  // The cycles of a band (zone_cycles.cpp).
  BandEnd readBand(int bi);
  void startBand();
  CycleEnd runThresholds(int bi, int start, bool& early, int& i);
  bool expectedPayee();
  CycleEnd endCycle(int bi, bool early, int i, int& start);
  void dropWeakReadings();
  bool splitAgain(int bi);
  CycleEnd nextCycle(int bi);
  bool endOfCycleNeeded();
  bool neededByFont();
  void settleWeakBelowMinimum();
  bool caseAndFamilySwitches(int n);
  void cleanUp(Work& w);
  int px(int k) const;

  // The end of a band (zone_band_end.cpp).
  void reduce(int bi);
  void clearOutsideText(int bi);
  void reducePayee();
  bool finishBand(int bi);
  bool bandGivesNothing();
  bool finishByFont();
  bool addRows();

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
  ThresholdSeries first_{}, series_{};
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

}  // namespace pvk::ocr::zone
