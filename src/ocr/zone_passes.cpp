// The passes of a band: the band binarised at one threshold and read, its characters placed in
// the zone and their confidences penalised far from the series' first threshold, the pass
// merged into the band's best and second readings, both judged, and the rule that lets a band
// stop early.
#include <algorithm>
#include <cstdlib>

#include "core/shims.h"
#include "ocr/zone_reader.h"

namespace pvk::ocr::zone {

namespace {

// r' of the merge: the readable count below which a pass may not displace a strong reading.
int displaceLimit(int r) { return r - 3 > r / 2 ? r - 4 : r / 2; }

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

// Characters of confidence 11 or more that are neither blank nor a line break.
int strong(const Work& w) {
  int k = 0;
  for (int i = 0; i < w.n; ++i)
    if (w.text[i] != ' ' && !isLineBreak(w.text[i]) && static_cast<unsigned char>(w.conf[i]) >= 11) ++k;
  return k;
}

void mergeInto(Work& from, Work& into, int cap) {
  ConfrontaSimili(from.text, from.conf, from.info, from.n, into.text, into.conf, into.info, into.n, true, cap, false,
                  true);
}

}  // namespace

int Reader::count(const Work& w, int minConf, bool star) const {
  int c = 0;
  for (int i = 0; i < w.n; ++i)
    if (static_cast<unsigned char>(w.conf[i]) > minConf && (isDigitOrLetter(w.text[i]) || (star && w.text[i] == '*')))
      ++c;
  return c;
}

void Reader::judge(Work& w) {
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

void Reader::judgeBoth() {
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

// The pass becomes the best: the old best, merged into the pass when close to it, becomes the
// second.
void Reader::replaceBest(int Sc, int Sb, int nB) {
  const bool mergeOld = Sc <= Sb + 30 && nB > 0;
  if (S_.n > 0) mergeInto(S_, B_, cap_);
  S_.copyFrom(B_, cap_);
  if (mergeOld) mergeInto(B_, C_, cap_);
  B_.copyFrom(C_, cap_);
  B_.score = Sc;
  S_.score = Sb;
}

bool Reader::replacesSecond(int Sc, int rC, int t, int t0) const {
  const int Ss = S_.score;
  if (Ss < 1) return true;
  bool toSecond = Sc > Ss;
  if (toSecond && Ss >= 21 && S_.readable() >= 5 && rC < displaceLimit(S_.readable())) toSecond = false;
  if (toSecond && t < t0) toSecond = strong(S_) <= strong(C_);
  return toSecond;
}

// A pass that displaces neither is merged into the best or the second when strong enough.
void Reader::mergeStrong(int Sc, int nC, int rC, int rB) {
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
    mergeInto(C_, B_, cap_);
    B_.terminate();
    B_.score = CalCumulaConf(B_.text, B_.conf, B_.info, B_.n, false, 0);
  } else if (Sc > L2) {
    mergeInto(C_, S_, cap_);
    S_.terminate();
    S_.score = CalCumulaConf(S_.text, S_.conf, S_.info, S_.n, false, 0);
  }
}

void Reader::merge(int t, int t0) {
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
    replaceBest(Sc, Sb, nB);
    return;
  }
  if (replacesSecond(Sc, rC, t, t0)) {
    if (S_.n > 0) mergeInto(S_, C_, cap_);
    S_.copyFrom(C_, cap_);
    S_.score = Sc;
    return;
  }
  mergeStrong(Sc, nC, rC, rB);
}

// The band binarised at t, segmented and read into the current reading: as pass() answers.
int Reader::readPass(int bi, int t) {
  const RigaType& band = bands_[bi];
  PVKImg b = copy_;
  b.data = copy_.data + static_cast<size_t>(band.start) * copy_.stride;
  b.height = band.height;
  if (!Convol(&b, static_cast<unsigned char>(t), font_ == 944 || font_ == 945)) return 0;
  if (ocr_pre_process(BWImg, copy_.width, band.height) < 0) return 0;
  if (core::stopRequested()) return 2;
  if (aw < 2) aw = lastAw_;
  if (ah < 2) ah = lastAh_;
  C_.clear(cap_);
  const short got = ocr_read(C_.text, C_.conf, C_.info, cap_, 0);
  if (got < 0 || got > cap_) return -1;
  if (aw >= 2) lastAw_ = aw;
  if (ah >= 2) lastAh_ = ah;
  if (got == 0) return 0;
  C_.n = got;
  return 1;
}

// The characters moved from band to zone rows; until the band is reduced, those on the zone's
// top or bottom edge go.
void Reader::placeInZone(int bi) {
  const RigaType& band = bands_[bi];
  for (int k = 0; k < C_.n; ++k) {
    C_.info[k].top = static_cast<uint16_t>(C_.info[k].top + band.start);
    C_.info[k].bottom = static_cast<uint16_t>(C_.info[k].bottom + band.start);
  }
  if (reduced_) return;
  for (int k = 0; k < C_.n;) {
    if (!isLineBreak(C_.text[k]) && (C_.info[k].top <= 2 || C_.info[k].bottom + 3 >= copy_.height))
      C_.remove(k);
    else
      ++k;
  }
}

// Far from the series' first threshold the confidences fall.
void Reader::penalise(int t) {
  const int d = std::abs(t - series_.t[0]);
  if (series_.D <= 0 || d <= series_.D) return;
  const float f = 1.0f - static_cast<float>(d) * series_.K / static_cast<float>(series_.D);
  for (int k = 0; k < C_.n; ++k)
    if (!isLineBreak(C_.text[k]))
      C_.conf[k] = static_cast<char>(std::max(1, static_cast<int>(static_cast<unsigned char>(C_.conf[k]) * f)));
}

// The pass's score; a weak pass keeps two thirds of its confident characters. False when the
// pass gives nothing.
bool Reader::scorePass() {
  VerificaSeparati(C_.text, C_.conf, C_.info, C_.n);
  C_.terminate();
  C_.score = CalCumulaConf(C_.text, C_.conf, C_.info, C_.n, true, 0);
  if (C_.score == 0 || C_.n <= 0) return false;
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
    if (C_.score == 0 || C_.n <= 0) return false;
  }
  if ((font_ == 944 || font_ == 945) && C_.score < 5) return false;
  C_.terminate();
  return true;
}

int Reader::pass(int bi, int i) {
  const int t = series_.t[i];
  if (t < 3 || t > 252) return 0;
  const int r = readPass(bi, t);
  if (r != 1) return r;
  placeInZone(bi);
  penalise(t);
  if (!scorePass()) return 0;
  lo_ = lo_ < 0 ? t : std::min(lo_, t);
  hi_ = std::max(hi_, t);
  merge(t, series_.t[0]);
  judgeBoth();
  return 1;
}

bool Reader::stopRule(int i) const {
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

}  // namespace pvk::ocr::zone
