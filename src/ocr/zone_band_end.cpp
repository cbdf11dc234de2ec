// The end of a band: the band cleared outside the text its readings found (before the reduced
// cycle), and the band finished, its best reading judged as a whole, its weak characters settled
// and its text lines kept as rows, the payee and amount rows scored by where they stand.
#include <algorithm>
#include <cstring>
#include <string>

#include "core/trace.h"
#include "ocr/zone_reader.h"

namespace pvk::ocr::zone {

namespace {

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

// The mean vertical centre of the row's confident digits and letters.
int rowCentre(const OCRRigaType& row) {
  int centreSum = 0, centreN = 0;
  for (int k = 0; k < row.n; ++k)
    if (static_cast<unsigned char>(row.conf[k]) > 30 && isDigitOrLetter(row.text[k])) {
      centreSum += (row.info[k].top + row.info[k].bottom) / 2;
      ++centreN;
    }
  return centreN > 0 ? centreSum / centreN : 0;
}

}  // namespace

// Every pixel of the band outside the box of the confident characters, widened by a margin, is
// cleared to white.
void Reader::clearOutsideText(int bi) {
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
}

// The payee and amount fonts: the databases narrowed to the dominant family, the readings
// cleaned and halved in score, and a payee without digits read as letters only.
void Reader::reducePayee() {
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
  if (font_ != 944 && font_ != 945) return;
  for (Work* w : {&B_, &S_}) {
    for (int k = 0; k < w->n;)
      if (w->text[k] == ' ' || static_cast<unsigned char>(w->conf[k]) <= 9) w->remove(k);
      else ++k;
    w->score /= 2;
    w->terminate();
  }
  if (font_ != 945) return;
  int digits = 0;
  for (int k = 0; k < B_.n; ++k) digits += isDigit(B_.text[k]) && static_cast<unsigned char>(B_.conf[k]) > 20 ? 1 : 0;
  ForzaSoloAlfa = digits < 2;
  if (ForzaSoloAlfa)
    for (Work* w : {&B_, &S_})
      for (int k = 0; k < w->n; ++k) {
        if (w->text[k] == '3') w->text[k] = 'B';
        if (w->text[k] == '0') w->text[k] = 'O';
        if (isDigit(w->text[k])) w->conf[k] = static_cast<char>(std::max(1, w->conf[k] / 4));
      }
}

void Reader::reduce(int bi) {
  clearOutsideText(bi);
  reducePayee();
}

// The font's own end of a band; false when font 39's field gives nothing.
bool Reader::finishByFont() {
  Work& b = B_;
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
    if (!(b.n > 9 && b.score > 69) && MyITACheck.semicolonAt10 == 0) return false;
  }
  return true;
}

// True when the band gives nothing: too weak, too few characters for the document, or font 39's
// field not found.
bool Reader::bandGivesNothing() {
  Work& b = B_;
  if (b.score < MyOcr.minLineConf || b.n == 0) return true;
  if (copy_.width > 400 && b.n < 3) {
    for (int k = 0; k < b.n;) {
      if (b.info[k].agreement <= 2) b.remove(k);
      else ++k;
    }
  }
  const uint16_t td = MyOcr.typeDoc;
  if (td == 3 || td == 4 || td == 6 || td == 7 || td == 8) {
    const int need = IsMICROPERFORATIONFont(font_, true) && font_ != 944 ? 4 : 2;
    if (count(b, 29, font_ == 944) < need) return true;
  } else if (td == 10 || td == 11) {
    if (count(b, 29, font_ == 944) <= 1) return true;
  }
  if (b.n >= 3 && MyOcr.modeByte != 0 && b.text[b.n - 1] == ' ') b.remove(b.n - 1);
  return !finishByFont();
}

// The best reading's text lines added as rows; the payee and amount rows cleaned and scored by
// where they stand. False when the rows cannot be built.
bool Reader::addRows() {
  Work& b = B_;
  RimuoviSpaziEsterniEDoppi(b.text, b.conf, b.info, b.n);
  b.terminate();
  int crs = 0;
  for (int k = 0; k < b.n; ++k) crs += b.text[k] == '\r' ? 1 : 0;
  if (!growRows(crs + 1)) return false;
  const unsigned short before = nRows_;
  if (!SpezzaInRighe(b.text, b.conf, b.info, b.n, rows_, nRows_, maxChars_)) return false;
  if (font_ != 944 && font_ != 945) return true;
  for (unsigned short r = before; r < nRows_; ++r) {
    OCRRigaType& row = rows_[r];
    const int centre = rowCentre(row);
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
  return true;
}

bool Reader::finishBand(int bi) {
  (void)bi;
  if (bandGivesNothing()) {
    freeBWImg();
    return true;
  }
  pvk::ocr::markWeakCharacters(B_.text, B_.conf, B_.info, B_.n, MyOcr.minLineConf);
  if (font_ == 945 && MyOcr.zoneSide != 2 && count(B_, 29, false) <= 3) {
    freeBWImg();
    return true;
  }
  if (!addRows()) return false;
  if (!endedAsRead_) {
    RimuoviSpaziEsterniEDoppi(B_.text, B_.conf, B_.info, B_.n);
    RimuoviCHNRInizialiEFinali(B_.text, B_.conf, B_.info, B_.n);
    RimuoviSpaziEsterniEDoppi(B_.text, B_.conf, B_.info, B_.n);
  }
  freeBWImg();
  return true;
}

}  // namespace pvk::ocr::zone

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

void pvk::ocr::doubtFewAgreed(const char* text, char* conf, const ChInfo* info, int n) {
  if (text == nullptr || conf == nullptr || info == nullptr) return;
  long sum = 0;
  int cnt = 0;
  for (int k = 0; k < n; ++k)
    if (!isBlankOrUnread(text[k]) && !isLineBreak(text[k])) {
      sum += info[k].agreement;
      ++cnt;
    }
  if (cnt < 5) return;
  for (int k = 0; k < n; ++k)
    if (!isBlankOrUnread(text[k]) && !isLineBreak(text[k]) && 3L * info[k].agreement * cnt < sum)
      conf[k] = static_cast<char>(std::min(static_cast<unsigned char>(conf[k]), static_cast<unsigned char>(49)));
}
