// The magnetic reading loop: the head samples of one document, down-sampled, smoothed once and
// then band-filtered over a grid of cut-off pairs, are read after every pass by the CMC7 or the
// E13B recogniser; the readings compete for a best and a second candidate and are merged by
// position; the best is rescaled, freed of weak characters and checked against the optical line.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/atomic_file.h"
#include "core/trace.h"
#include "micr/micr.h"

const char* fNameDatiMICR = nullptr;

namespace {

using pvk::micr::isRead;

// Passes of the last reading.
int lastPasses = 0;

// Largest down-sampled signal the loop takes on (about two hundred inches of travel).
constexpr uint64_t kMaxSignal = 1u << 22;

// A candidate codeline with its hit counts and scores.
struct Candidate {
  char text[kCdlChars];
  char conf[kCdlChars];
  int start[kCdlChars];
  int end[kCdlChars];
  int hits[kCdlChars];
  int n;
  int cum;       // cumulative confidence
  int readable;  // read characters with a read neighbour
  int mean;

  Candidate() { clear(); }
  void clear() { std::memset(this, 0, sizeof *this); }
  void rescore() {
    cum = CalCumulaConfCMC(text, conf, hits, n, readable);
    mean = readable < 1 ? 1 : cum / readable;
  }
  bool hasUnread() const { return std::memchr(text, '?', static_cast<size_t>(n)) != nullptr; }
};

void copy(Candidate& dst, Candidate& src) {
  SovrascriviBest(dst.text, dst.conf, dst.start, dst.end, dst.hits, dst.n, dst.cum, dst.mean, src.text, src.conf,
                  src.start, src.end, src.hits, src.n, src.cum, src.mean);
  dst.readable = src.readable;
}
void swap(Candidate& a, Candidate& b) {
  ScambiaBest(a.text, a.conf, a.start, a.end, a.hits, a.n, a.cum, a.mean, b.text, b.conf, b.start, b.end, b.hits,
              b.n, b.cum, b.mean);
  std::swap(a.readable, b.readable);
}
// Merges b into a with the loop's tolerances.
void merge(Candidate& a, Candidate& b, bool accumulate) {
  ConfrontaMICR(a.text, a.conf, a.start, a.end, a.hits, a.n, b.text, b.conf, b.start, b.end, b.hits, b.n,
                datiMICR[3] / 3, datiMICR[5], datiMICR[4], datiMICR[0], accumulate);
}
// Removes every '?', every blank and every character below minConf (by confidence) or minHits
// (by hit count); returns the sum of the confidences kept.
int prune(Candidate& c, int minConf, int minHits) {
  int sum = 0;
  for (int i = 0; i < c.n; ++i) {
    const int cf = pvk::micr::confOf(c.conf[i]);
    if (!isRead(c.text[i]) || cf < minConf || c.hits[i] < minHits) {
      RimuoviCarEDecrementa(c.text, c.conf, c.start, c.end, c.hits, i, c.n);
      continue;
    }
    sum += cf;
  }
  return sum;
}

// The raw samples, one decimal a line, whole or not at all; a file that cannot be written is
// skipped.
template <typename T>
void dump(const char* path, const T* v, uint64_t n) {
  std::string out;
  out.reserve(static_cast<size_t>(n) * 4);
  char num[16];
  for (uint64_t i = 0; i < n; ++i) {
    const int len = std::snprintf(num, sizeof num, "%d\n", static_cast<int>(v[i]));
    out.append(num, static_cast<size_t>(len));
  }
  pvk::core::writeFileAtomically(path, out.data(), out.size());
}

// Head bytes to signal: the mean of every k bytes.
int* downSample(uint64_t nOut, int k) {
  int* raw = static_cast<int*>(std::calloc(std::max<uint64_t>(nOut, 1), sizeof(int)));
  if (!raw) return nullptr;
  const uint8_t* s = MyMICR.samples;
  for (uint64_t i = 0; i < nOut; ++i) {
    int sum = 0;
    for (int j = 0; j < k; ++j) sum += s[i * k + j];
    raw[i] = sum / k;
  }
  return raw;
}

// The cut-off grid of the band filter over a window of the signal.
struct Grid {
  int hiMin, hiMax, hiStep, loMin, loMax, loStep, midLo, midHi;
  Grid(int wFrom, int wTo, bool cmc7) {
    const float s = static_cast<float>(wTo - wFrom) / 9844.0f;
    hiMin = std::max(1, static_cast<int>(1200 * s));
    hiMax = static_cast<int>((cmc7 ? 1400 : 1600) * s);
    hiStep = std::max(1, (hiMax - 1 - hiMin) / 5);
    loMin = std::max(1, static_cast<int>((cmc7 ? 100 : 1) * s));
    loMax = static_cast<int>((cmc7 ? 400 : 150) * s);
    loStep = std::max(1, (loMax - 1 - loMin) / 5);
    midLo = (loMax + loMin) / 2;
    midHi = (hiMax + hiMin) / 2;
  }
};

// Everything one reading works on.
struct Loop {
  char* optText;
  char* optConf;
  int* optStart;
  int* optEnd;
  int& optN;
  int font;
  int nOut, first, last, wFrom, wTo;
  int* raw = nullptr;
  int* filtered = nullptr;
  int* maxStart = nullptr;
  int* maxEnd = nullptr;
  int* minStart = nullptr;
  int* minEnd = nullptr;
  bool fft = false;
  bool inverted = false;  // the sweep runs on the negated signal
  Candidate pass, best, second;
  char reference[kCdlChars];
  int passes = 0;
  // Counts and thresholds of the last weak-character removal of the best.
  int weak = 0, middle = 0, strong = 0, d = 0, e = 0, f = 0;

  Loop(char* t, char* c, int* s, int* e, int& n) : optText(t), optConf(c), optStart(s), optEnd(e), optN(n) {}
  ~Loop() {
    lastPasses = passes;
    for (int* a : {raw, filtered, maxStart, maxEnd, minStart, minEnd}) std::free(a);
    if (fft) freeFFT();
  }
  bool cmc7() const { return font == 32; }
  int readPass(int cut);
  void updateCandidates(int sum);
  void marginBlanks();
  void dropMarginBlanks();
  bool sweep(bool& stoppedEarly);
  void rescale();
  void removeWeak();
  bool invertedSweep();
  int finish(int to);
};

// One recognition of the current peak arrays into the pass candidate; the candidates follow.
int Loop::readPass(int cut) {
  pass.clear();
  if (cmc7())
    pass.n = RiconosciCaratteriCMC7(pass.text, pass.conf, pass.hits, pass.start, pass.end, optText, optStart, optEnd,
                                    optN, maxStart, maxEnd, first, last, nOut, 105, 4, datiMICR[0]);
  else if (font == 33)
    pass.n = RiconosciCaratteriE13B(pass.text, pass.conf, pass.hits, pass.start, pass.end, optText, optStart, optEnd,
                                    optN, maxStart, maxEnd, minStart, minEnd, first, last, nOut, 105, 4, cut);
  int sum = 0;
  if (pass.n > 0) sum = prune(pass, 2, 0);
  RimuoviSovrapposti(pass.text, pass.conf, pass.start, pass.end, pass.hits, pass.n);
  if (pass.n >= 1) updateCandidates(sum);
  return pass.n;
}

void Loop::updateCandidates(int sum) {
  const int c = pass.n;
  const int mean = sum / c;
  const bool longer = sum > 40 && c > best.readable + 10;
  const bool mergeOld = !longer && best.n != 0;
  if ((best.cum < sum || (sum == best.cum && best.readable <= c) || longer) && mean > 0 && sum > 0) {
    if (second.cum > 1) merge(best, second, false);
    copy(second, best);
    if (mergeOld) merge(pass, best, true);  // the old best, still in place, joins the pass
    pass.cum = sum;
    pass.mean = mean;
    copy(best, pass);
    best.conf[best.n] = 0;
  } else if (sum < 1 || sum <= second.cum) {
    if (mean > 0) merge(second, pass, true);
  } else if (mean > 0) {
    if (second.cum > 1) merge(pass, second, true);
    pass.cum = sum;
    pass.mean = mean;
    copy(second, pass);
  }
  best.rescore();
  second.rescore();
  if (best.cum < second.cum || best.readable < second.readable) swap(best, second);
}

// Blanks at both ends of the optical line, so that the recognisers see where it starts and
// ends; blanks already there stay.
void Loop::marginBlanks() {
  if (optN <= 0) return;
  if (optText[0] != ' ')
    AggiungiCarattereMICR(' ', 1, first, optStart[0], 1, optText, optConf, optStart, optEnd, nullptr, 0, optN,
                          kCdlChars);
  const int l = optN - 1;
  if (optText[l] != ' ')
    AggiungiCarattereMICR(' ', 1, optEnd[l], last, 1, optText, optConf, optStart, optEnd, nullptr, optN, optN,
                          kCdlChars);
}

void Loop::dropMarginBlanks() {
  if (optN > 0 && optText[0] == ' ') RimuoviCarattereMICR(optText, optConf, optStart, optEnd, 0, optN);
  if (optN > 0 && optText[optN - 1] == ' ') RimuoviCarattereMICR(optText, optConf, optStart, optEnd, optN - 1, optN);
}

// One sweep: the smoothing pass, then every pair of cuts of the grid, lower cuts from the top
// down; false when the lobe extraction failed (the candidates found so far stand).
bool Loop::sweep(bool& stoppedEarly) {
  const Grid g(wFrom, wTo, cmc7());
  bool smoothing = true;
  int lo = g.loMax, hi = g.hiMin, amplitude = 30;
  stoppedEarly = false;
  for (;;) {
    ++passes;
    if (smoothing) amplitude = MediaMobile(raw, filtered, wFrom, wTo, nOut, true);
    else FiltraFFT(filtered, lo, hi, inverted, false, amplitude);
    marginBlanks();
    if (!ElaboraSegnale(filtered, maxStart, maxEnd, minStart, minEnd, nOut, first, last)) {
      WriteTrace("error ElaboraSegnale", false);
      return false;
    }
    readPass(smoothing ? 0 : hi);
    if (cmc7()) {
      // The other polarity: the signal negated, peaks and valleys exchanged.
      for (int i = first; i < last; ++i) {
        filtered[i] = -filtered[i];
        const int s = maxStart[i], e = maxEnd[i];
        maxStart[i] = -minStart[i];
        minStart[i] = -s;
        maxEnd[i] = -minEnd[i];
        minEnd[i] = -e;
      }
      readPass(smoothing ? 0 : hi);
    }
    if (smoothing) {
      smoothing = false;
      continue;
    }
    if (hi < g.hiMax) {
      hi += g.hiStep;
      continue;
    }
    // One lower cut done: the second joins the best, and both keep what was read twice.
    merge(best, second, false);
    prune(best, -128, 2);
    prune(second, -128, 2);
    best.rescore();
    second.rescore();
    if (best.cum < second.cum) swap(best, second);
    const auto matches = [&](const Candidate& c) { return std::strcmp(c.text, reference) == 0 && !c.hasUnread(); };
    if (best.n >= 11 && matches(best)) {
      stoppedEarly = true;
      return true;
    }
    if (second.n > 10 && matches(second)) {
      swap(best, second);
      stoppedEarly = true;
      return true;
    }
    if (lo > g.loStep && lo > g.loMin) {
      lo -= g.loStep;
      hi = g.hiMin;
      continue;
    }
    return true;
  }
}

// Confidences over the number of passes; characters seen once and weakly go.
void Loop::rescale() {
  const int d = passes > 51 ? 12 : passes >= 8 ? passes / 4 : 2;
  for (int i = 0; i < best.n; ++i) {
    char& ch = best.text[i];
    char& cf = best.conf[i];
    if (ch == ' ') {
      cf = 100;
    } else if (ch == '?') {
      cf = 1;
    } else {
      const int c = pvk::micr::confOf(cf) * 25 / d;
      if (c <= 1) ch = '?', cf = 1;
      else cf = static_cast<char>(std::min(c, 100));
    }
    if (ch != ' ' && best.hits[i] < 2 && pvk::micr::confOf(cf) < 30) {
      RimuoviCar(best.text, best.conf, best.start, best.end, best.hits, i, best.n);
      --i;
    }
  }
}

// The best against the smoothed signal, then against the signal filtered in the middle of the
// grid; the second leaves the counts and thresholds that judge the reading.
void Loop::removeWeak() {
  int w = 0, m = 0, s = 0;
  d = 2, e = 4, f = 6;
  MediaMobile(raw, maxEnd, wFrom, wTo, nOut, false);
  RimuoviCaratteriDeboli(best.text, best.conf, best.start, best.end, best.n, nullptr, w, m, s, d, e, f, 0.1f, 0.35f,
                         0.7f, maxEnd, first, last, cmc7(), 0, false);
  const Grid g(wFrom, wTo, cmc7());
  const int amplitude = MediaMobile(raw, filtered, wFrom, wTo, nOut, false);
  FiltraFFT(filtered, g.midLo, g.midHi, false, false, amplitude);
  d = 3, e = 10, f = 15;
  RimuoviCaratteriDeboli(best.text, best.conf, best.start, best.end, best.n, nullptr, weak, middle, strong, d, e, f,
                         0.1f, 0.35f, 0.7f, filtered, first, last, cmc7(), 0, false);
}

// E13B printed with the head's polarity reversed reads weakly: the sweep runs again on the
// negated signal and the stronger of the two readings stands. True when a second sweep is due.
bool Loop::invertedSweep() {
  return !inverted && !cmc7() && strong <= 19;
}

// Rejection, the check against the optical line and the weighing of the optical characters.
int Loop::finish(int to) {
  dropMarginBlanks();
  if (strong < 2 || strong + middle <= weak) return 0;
  char status[kCdlChars] = {};
  int agree = 0, disagree = 0;
  optText[std::clamp(optN, 0, kCdlUsable)] = 0;
  const int shift = ValutaCMC(optText, optStart, optEnd, optN, status, best.text, best.start, best.end, best.n,
                              datiMICR[3], agree, disagree, true, first, to);
  const bool accepted = (agree > 1 && disagree <= agree) || (best.n > 0 && std::strcmp(optText, best.text) == 0);
  if (!accepted) {
    optN = 0;
    return 0;
  }
  if (optN > 4 && optText[optN - 1] == '=')
    optConf[optN - 1] = static_cast<char>(std::min(100, pvk::micr::confOf(optConf[optN - 1]) * 3 / 2));
  int w = 0, m = 0, s = 0;
  RimuoviCaratteriDeboli(optText, optConf, optStart, optEnd, optN, status, w, m, s, d, e, f, 0.3f, 0.5f, 0.7f,
                         filtered, first, last, cmc7(), -shift, true);
  int minimum;
  if (font == 33) minimum = optN >= 36 ? 8 : optN <= 7 ? 2 : optN / 4;
  else minimum = optN >= 33 ? 10 : optN <= 5 ? 2 : optN / 3;
  if (m + s < minimum) optN = 0;
  return middle + strong < minimum ? 0 : best.n;
}

}  // namespace

int LetturaMag(char* text, char* conf, int* start, int* end, int from, int to, char* optText, char* optConf,
               int* optStart, int* optEnd, int& optN) {
  if (!text || !conf || !start || !end) return 0;
  if (!optText || !optConf || !optStart || !optEnd) optN = 0;
  optN = std::clamp(optN, 0, kCdlUsable);
  Loop L(optText, optConf, optStart, optEnd, optN);
  // The reference line: the optical text without its blanks.
  int r = 0;
  for (int i = 0; i < optN; ++i)
    if (optText[i] != ' ') L.reference[r++] = optText[i];
  L.reference[r] = 0;
  if (!MyMICR.enabled) {
    WriteTrace("not enabled", false);
    return 0;
  }
  std::memset(text, 0, kCdlChars);
  std::memset(conf, 0, kCdlChars);
  std::memset(start, 0, sizeof(int) * kCdlChars);
  std::memset(end, 0, sizeof(int) * kCdlChars);
  L.font = MyOcr.currentFont;
  std::memset(datiMICR, 0, sizeof datiMICR);
  datiMICR[0] = 160;
  datiMICR[1] = 40;
  datiMICR[3] = L.cmc7() ? 95 : 110;
  datiMICR[4] = L.cmc7() ? 115 : 125;
  datiMICR[5] = L.cmc7() ? 75 : 30;
  datiMICR[6] = 4;
  if (!L.cmc7()) MyOcr.remapPending = MyOcr.e13bMapping != 0;

  // Without samples, or without planes to group them by, there is nothing to read (nor dump).
  const int k = 3 * MyAcq.planesPerLine;
  if ((MyMICR.samples == nullptr && MyMICR.nSamples > 0) || k == 0) {
    WriteTrace("err - ", "no MICR samples to read", k, false);
    return 0;
  }
  if (fNameDatiMICR) dump(fNameDatiMICR, MyMICR.samples, MyMICR.nSamples);
  const uint64_t nOut = MyMICR.nSamples / static_cast<uint64_t>(k);
  if (nOut > kMaxSignal) {
    WriteTrace("err - ", "too many MICR samples", static_cast<int>(nOut / 1024), false);
    return 0;
  }
  L.nOut = static_cast<int>(nOut);
  L.raw = downSample(nOut, k);
  if (!L.raw) {
    WriteTrace("err - ", "memory allocation for MICR signal", errno, false);
    MyDev.lastResult = -4;
    optN = 0;
    return 0;
  }
  if (MyMICR.reverse && !SpecchiaMICR(L.raw, L.nOut)) return 0;
  if (MyOcr.cdlMicr) {
    const std::string path = std::string(MyDev.cnfDir) + "/micr.txt";
    dump(path.c_str(), L.raw, nOut);
  }
  if (L.nOut <= 511) return 0;

  L.first = std::max(from, 1);
  L.last = std::min(to, L.nOut - 1);
  if (L.last <= L.first) return 0;  // no stretch of the signal to read
  L.wFrom = L.first < 1034 ? 10 : L.first - 1024;
  L.wTo = std::min(L.last + 1024, L.nOut - 4);
  for (int** a : {&L.filtered, &L.maxStart, &L.maxEnd, &L.minStart, &L.minEnd}) {
    *a = static_cast<int*>(std::calloc(nOut, sizeof(int)));
    if (!*a) {
      WriteTrace("err - ", "memory allocation for MICR signal", errno, false);
      MyDev.lastResult = -4;
      optN = 0;
      return 0;
    }
  }
  const Grid g(L.wFrom, L.wTo, L.cmc7());
  if (!CreaFFT(L.raw, L.wFrom, L.wTo, g.loMin, g.hiMax, 10.0f, 5.0f)) {
    optN = 0;
    return 0;
  }
  L.fft = true;

  // Steps after a sweep: the second joins the best, confidences over the passes, weak characters.
  auto settle = [&L] {
    bool early = false;
    L.sweep(early);
    if (L.second.cum > 1) merge(L.best, L.second, false);
    L.rescale();
    L.removeWeak();
  };
  settle();
  if (L.invertedSweep()) {
    Candidate saved;
    copy(saved, L.best);
    const int sw = L.weak, sm = L.middle, ss = L.strong, sd = L.d, se = L.e, sf = L.f;
    // The inverted sweep starts from nothing: a second candidate kept from the first sweep would
    // come back as its best at the first rescoring, and the two sweeps, always counting alike,
    // would reject every such line.
    L.best.clear();
    L.second.clear();
    for (int i = L.first; i < L.last; ++i) L.raw[i] = 255 - L.raw[i];
    L.inverted = true;
    settle();
    if (L.strong <= ss + 2 && L.strong + L.middle <= ss + sm + 2) {
      if (L.strong + 2 < ss || L.strong + L.middle + 2 < ss + sm) {
        copy(L.best, saved);
        L.weak = sw, L.middle = sm, L.strong = ss, L.d = sd, L.e = se, L.f = sf;
      } else if (L.strong > 2 || ss > 2) {
        WriteTrace("unexpected reading results", false);
        WriteTrace(L.best.text, false);
        WriteTrace(saved.text, false);
        L.best.n = 0;
      }
    }
  }
  const int n = L.finish(to);
  L.best.n = n;
  std::memcpy(text, L.best.text, static_cast<size_t>(n));
  std::memcpy(conf, L.best.conf, static_cast<size_t>(n));
  std::memcpy(start, L.best.start, sizeof(int) * static_cast<size_t>(n));
  std::memcpy(end, L.best.end, sizeof(int) * static_cast<size_t>(n));
  text[n] = 0;
  conf[n] = 0;
  return n;
}

int pvk::micr::magPassCount() { return lastPasses; }
