// The threshold cycles of a band: the passes of one series until the series runs out or the band
// may stop early, then the end of the cycle (best and second merged, weak readings dropped, the
// per-font clean-up, a band of two lines split) and the decision whether another cycle, on a
// narrower series or on the band cleared outside its text, is needed.
#include <algorithm>
#include <cstring>

#include "core/shims.h"
#include "core/trace.h"
#include "ocr/zone_reader.h"

namespace pvk::ocr::zone {

namespace {

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

}  // namespace

// The clean-ups' size limits are 300-dpi pixels: at the zone's resolution they scale with every
// other size of the engine.
int Reader::px(int k) const { return static_cast<int>(static_cast<float>(k) * scale_); }

void Reader::cleanUp(Work& w) {
  if (w.n <= 0) return;
  if (IsMICROPERFORATIONFont(font_, true)) {
    PulisciMicroperforati(w.text, w.conf, w.info, w.n, px(9), 0, px(26), px(42));
  } else if (font_ == 38) {
    PulisciFontOCRB(w.text, w.conf, w.info, w.n, px(9), px(26), px(12), px(38));
    auto weakEnd = [&](int k) {
      const char c = w.text[k];
      return c == ' ' || c == '?' ||
             (static_cast<unsigned char>(w.conf[k]) <= 59 && w.info[k].agreement <= 1 && !isLineBreak(c));
    };
    while (w.n > 0 && weakEnd(0)) w.remove(0);
    while (w.n > 0 && weakEnd(w.n - 1)) w.remove(w.n - 1);
  } else if (font_ == 39) {
    PulisciFontOCRB(w.text, w.conf, w.info, w.n, 0, 0, px(24), 0);
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

// Another cycle by the reading and the font (a reading of at least 3 characters).
bool Reader::neededByFont() {
  bool needed = B_.holds('?') || B_.minCount < MyOcr.minAgreement;
  if (IsCMC7Font(font_)) {
    if (B_.worst <= 99) needed = true;
    bool complete = false;
    const bool accepted = IsAssegnoItalia(B_.text, B_.conf, B_.info, B_.n, complete, false);
    bool completeS = false;
    if (S_.n > 0) IsAssegnoItalia(S_.text, S_.conf, S_.info, S_.n, completeS, false);
    if (accepted && !complete) needed = true;
  }
  if (IsMICROPERFORATIONFont(font_, true) && !MicorforaturaOK(font_, B_.text, B_.conf, B_.n)) needed = true;
  if ((font_ == 944 || font_ == 945) && B_.score < std::max<int>(MyOcr.minLineConf, 50)) needed = true;
  if (IsOCRBFont(font_) && MyOcr.multiLine != 0 && daMigliorareBollettiniItalia(B_.text, B_.conf, B_.n))
    needed = true;
  if (font_ == 39 && !(B_.n == 13 && S_.equals(B_))) needed = true;
  switch (MyOcr.typeDoc) {
    case 5: case 6: case 7: case 9: case 12: case 13: needed = true; break;
    default: break;
  }
  return needed;
}

// In a later cycle a reading below the minimum confidence settles its weak characters: unread
// below half the minimum, else raised to it.
void Reader::settleWeakBelowMinimum() {
  const int minConf = MyOcr.minLineConf;
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

// Capitals only when the reading holds few 'a' and 'b'; the Arial check when an Arial database
// read most of it. True when another cycle is needed for them.
bool Reader::caseAndFamilySwitches(int n) {
  bool needed = false;
  if (!SoloMaiuscolo && n > 0) {
    int ab = 0, capitals = 0;
    for (int k = 0; k < n; ++k) {
      ab += B_.text[k] == 'a' || B_.text[k] == 'b' ? 1 : 0;
      capitals += isCapital(B_.text[k]) ? 1 : 0;
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

bool Reader::endOfCycleNeeded() {
  const int n = B_.n;
  bool needed = n < 3 ? n >= 1 && copy_.width > 499 : neededByFont();
  if (B_.score < MyOcr.minLineConf) {
    needed = true;
    if (!firstCycle_ && !IsCMC7Font(font_)) settleWeakBelowMinimum();
  }
  if (caseAndFamilySwitches(n)) needed = true;
  return needed;
}

// Every database takes part again and every switch of the band starts afresh.
void Reader::startBand() {
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
}

// A payee reading with unread characters that is the expected payee text is read.
bool Reader::expectedPayee() {
  if (B_.n <= 0 || !B_.holds('?') || !payeeFont(font_)) return false;
  const size_t len = strnlen(MyITACheck.expPayee, sizeof MyITACheck.expPayee);
  if (len == 0 || static_cast<size_t>(B_.n) != len || std::memcmp(B_.text, MyITACheck.expPayee, len) != 0)
    return false;
  WriteTrace("inf - ", "beneficiario atteso", false);
  std::memset(B_.conf, kSure, static_cast<size_t>(B_.n));
  endedAsRead_ = true;
  return true;
}

// The passes from start: kNext when the series ran out or the band may stop (early, with i the
// pass that allowed it); kFinish, kNothing or kFail when the band ends here.
Reader::CycleEnd Reader::runThresholds(int bi, int start, bool& early, int& i) {
  early = false;
  for (i = start; i < series_.n; ++i) {
    if (i > start && core::stopRequested()) {
      stopAll_ = true;
      return CycleEnd::kNothing;
    }
    const int r = pass(bi, i);
    if (r < 0) {
      failed_ = true;
      return CycleEnd::kFail;
    }
    if (r == 2) {
      stopAll_ = true;
      return CycleEnd::kFinish;
    }
    if (zoneStopAfterPasses > 0 && --zoneStopAfterPasses == 0) core::requestStop(true);
    if (r == 0 && B_.n > 0) continue;
    if (expectedPayee()) return CycleEnd::kFinish;
    if (stopRule(i)) {
      early = true;
      return CycleEnd::kNext;
    }
  }
  return CycleEnd::kNext;
}

// In a later cycle unread and weak characters read by one pass only go.
void Reader::dropWeakReadings() {
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

// A band holding two lines is read again as two bands; a split that does not shorten it is kept
// without reading it again, so that the band cannot be split for ever.
bool Reader::splitAgain(int bi) {
  if (!firstCycle_ || retry_) return false;
  const uint16_t before = bands_[bi].height;
  for (const Work* w : {&B_, &S_})
    if (w->holds('\r') &&
        SpezzaAncoraInRighe(w->text, w->info, w->n, bands_.data(), static_cast<unsigned short>(bi), nBands_))
      return bands_[bi].height < before;
  return false;
}

// Another cycle: on a narrower series after the first, on the band cleared outside its text
// after the second (CMC7 once more with its barred database sitting out).
Reader::CycleEnd Reader::nextCycle(int bi) {
  if (firstCycle_) {
    firstCycle_ = false;
    nextThresholdSeries(series_, lo_, hi_);
    if (IsCMC7Font(font_)) PrivilegiaBarreVert = 1;
    return CycleEnd::kNext;
  }
  PrivilegiaBarreVert = 0;
  if (reduced_) {
    if (IsCMC7Font(font_) && nCicliCompletiSoglia == 3) {
      PrivilegiaBarreVert = 1;
      return CycleEnd::kNext;
    }
    return CycleEnd::kFinish;
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
    return CycleEnd::kFail;
  }
  if (copy_.width >= 500 && B_.n < 3) return CycleEnd::kFinish;
  reduce(bi);
  codelineRidotta = 1;
  return CycleEnd::kNext;
}

Reader::CycleEnd Reader::endCycle(int bi, bool early, int i, int& start) {
  start = 0;
  const int lim = MyOcr.minLineConf > 9 ? MyOcr.minLineConf / 2 : 5;
  if ((B_.n <= 0 || B_.score < lim) && (!firstCycle_ || retry_)) return CycleEnd::kNothing;
  if (S_.n > 0 && B_.n > 0) {
    ConfrontaSimili(S_.text, S_.conf, S_.info, S_.n, B_.text, B_.conf, B_.info, B_.n, true, cap_, false, true);
    B_.terminate();
  }
  const bool unread = B_.holds('?');
  if (unread && early && i + 1 < series_.n) {
    start = i + 1;
    return CycleEnd::kNext;
  }
  if (unread && !firstCycle_) dropWeakReadings();
  if (B_.n >= 5) {
    cleanUp(B_);
    cleanUp(S_);
  }
  B_.terminate();
  S_.terminate();
  B_.score = B_.n > 0 ? CalCumulaConf(B_.text, B_.conf, B_.info, B_.n, false, 0) : 0;
  S_.score = S_.n > 0 ? CalCumulaConf(S_.text, S_.conf, S_.info, S_.n, false, 0) : 0;
  if (splitAgain(bi)) return CycleEnd::kReread;
  if (!endOfCycleNeeded()) return CycleEnd::kFinish;
  return nextCycle(bi);
}

Reader::BandEnd Reader::readBand(int bi) {
  startBand();
  const int bandH = bands_[bi].height;
  int start = 0;
  for (;;) {
    if (start == 0) ++nCicliCompletiSoglia;
    if (IsCMC7Font(font_) && DBList != nullptr)
      for (int k = 0; k < nDBLoaded && k < kDBMax; ++k)
        if (std::strstr(DBList[k].name, "CMC7AB04") != nullptr) ValidDB[k] = PrivilegiaBarreVert ? 0 : 1;
    CycleEnd e = CycleEnd::kNothing;
    if (core::stopRequested()) {
      stopAll_ = true;
      e = CycleEnd::kFinish;
    } else if (bandH >= std::max(H_ / 2, static_cast<int>(16 * scale_))) {
      bool early = false;
      int i = start;
      e = runThresholds(bi, start, early, i);
      if (e == CycleEnd::kNext) e = endCycle(bi, early, i, start);
    }
    switch (e) {
      case CycleEnd::kNext: continue;
      case CycleEnd::kFinish: return finishBand(bi) ? BandEnd::kDone : BandEnd::kFail;
      case CycleEnd::kNothing: freeBWImg(); return BandEnd::kDone;
      case CycleEnd::kReread: return BandEnd::kReread;
      case CycleEnd::kFail: return BandEnd::kFail;
    }
  }
}

}  // namespace pvk::ocr::zone
