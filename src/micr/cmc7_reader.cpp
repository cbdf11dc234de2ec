// The optical CMC7 reader from its OCR pass on: the line's band is cleaned at up to three grey
// levels and read bar by bar in bands of three heights; the band readings accumulate, and the
// accumulated bar reading is merged into the OCR reading by position at the end.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/ini.h"
#include "core/trace.h"
#include "micr/micr.h"
#include "ocr/ocr.h"

using pvk::micr::confOf;
using pvk::micr::isRead;

namespace pvk::micr {
namespace {

int lastPasses = 0;

constexpr int kMaxPasses = 201;  // band passes per call; the last one forces the end

bool isSeparator(char c) { return c == ':' || c == ';' || c == '<' || c == '=' || c == '>'; }

bool hasUnread(const Codeline& l) { return std::memchr(l.text, '?', static_cast<size_t>(l.n)) != nullptr; }

bool sameText(const Codeline& a, const Codeline& b) {
  return a.n == b.n && std::memcmp(a.text, b.text, static_cast<size_t>(a.n)) == 0;
}

// The band passes' working state.
struct BarReader {
  PVKImg band{};                  // the line's band, as the caller's image holds it
  int top = 0, bottom = 0;        // its rows in the caller's image
  short font = 0;
  int width2 = 0;                 // profile positions: two per column
  int statFirst = 0, statLast = 0;
  std::unique_ptr<int[]> profile, peaks, work;
  Codeline ocr, r;                // the OCR reading and the accumulated bar reading
  int passes = 0;
  bool accepted = false;          // early acceptance or the forced end: straight to the final phase
  int level = 0;                  // grey level index: 0, 1, 2
  ChInfo boxes[kCdlChars + 1] = {};
};

int cmc7Thr() { return MyOcr.cmc7Thr; }

// The OCR reading in bar positions, the band around its read characters. False when no
// character was read.
bool ocrInBars(BarReader& b, const OcrReading& in, const PVKImg& img) {
  Codeline& o = b.ocr;
  o.n = std::clamp(in.n, 0, kCdlUsable);
  long sumTop = 0, sumBottom = 0;
  int read = 0;
  for (int k = 0; k < o.n; ++k) {
    o.text[k] = in.text[k];
    o.conf[k] = in.conf[k];
    o.start[k] = 2 * in.info[k].left;
    o.end[k] = 2 * in.info[k].right;
    o.count[k] = in.info[k].agreement;
    if (!isRead(in.text[k])) continue;
    sumTop += in.info[k].top;
    sumBottom += in.info[k].bottom;
    ++read;
  }
  o.endText();
  if (read == 0) return false;
  const int meanTop = static_cast<int>(sumTop / read), meanBottom = static_cast<int>(sumBottom / read);
  const int top = meanTop < 16 ? 0 : meanTop - 16;
  const int bottom = std::min(meanBottom + 16, img.height - 1);
  const bool cut = bottom > (meanTop < 16 ? 48 : meanTop + 32);
  b.top = cut ? top : 0;
  b.bottom = cut ? bottom : img.height;
  b.band = img;
  b.band.height = static_cast<uint16_t>(b.bottom - b.top);
  b.band.data = img.data + static_cast<size_t>(b.top) * img.stride;
  return true;
}

// The grey level of the cleaning from the engine's threshold centre, clamped and stored back.
int baseGreyLevel() {
  if (sMean > 70) sMean = 70;
  if (sMean < 40) sMean = std::max(2 * sMean, 40);
  return sMean;
}

// Steps b and c of a pass: the bars of the profile decoded into pass reading p. False when the
// band gives nothing.
bool decodeBand(BarReader& b, int h, Codeline& p, int* barProfile, int* barPeak) {
  int sumProfile = 0, maxPeak = 0, sumPeak = 0, count = 0;
  for (int i = b.statFirst; i < b.statLast; ++i) {
    if (b.peaks[i] <= 20) continue;
    sumProfile += b.profile[i];
    maxPeak = std::max(maxPeak, b.peaks[i]);
    sumPeak += b.peaks[i];
    ++count;
  }
  if (count < 7) return false;
  int level = maxPeak / 4;
  const int m = sumPeak / (2 * count);
  if (m <= level) level = (level + m) / 2;
  if (level < 30) return false;

  const int minMeanProfile = sumProfile / (2 * count);
  const char baseConf = static_cast<char>(h >= datiCmc[17] ? 4 : 2);
  p.n = 0;
  for (int i = 0; i < b.width2;) {
    if (b.peaks[i] <= 30) {
      ++i;
      continue;
    }
    int end = 0, start = i, meanProfile = 0, meanPeak = 0;
    char conf = baseConf;
    const char ch = decodCMC(end, start, conf, b.width2, b.profile.get(), meanProfile, minMeanProfile, b.peaks.get(),
                             30, meanPeak, 80);
    if (ch == 0) {
      ++i;
      continue;
    }
    if (p.n == kCdlUsable) return false;  // a 128th entry: not a codeline
    p.text[p.n] = ch;
    p.conf[p.n] = conf;
    p.start[p.n] = start;
    p.end[p.n] = end;
    p.count[p.n] = 1;
    barProfile[p.n] = meanProfile;
    barPeak[p.n] = meanPeak;
    ++p.n;
    i = std::max(i + 1, end);
  }
  p.endText();
  return p.n > 0;
}

// Whether R may end the reading before its grey level is done.
bool acceptEarly(BarReader& b) {
  Codeline& r = b.r;
  const bool equalsOcr = !hasUnread(r) && sameText(r, b.ocr);
  if (!equalsOcr && r.n < 23) return false;
  const Codeline saved = r;
  bool flag = false;
  bool ok = !IsAssegnoItalia(r.text, r.conf, nullptr, r.n, flag, false) || flag;
  VerificaCdlFinale(r.text, r.conf, r.start, r.end, r.count, r.n);
  const int needed = equalsOcr ? 50 : cmc7Thr() > 60 ? cmc7Thr() + 20 : 80;
  const int mean = CalcolaConfidenzaCMC7Barre(r.text, r.conf, r.count, r.n, b.passes);
  ok = ok && mean >= needed;
  if (ok && !equalsOcr) {
    const int least = cmc7Thr() > 80 ? 100 : cmc7Thr() + 20;
    for (int k = 0; k < r.n && ok; ++k) {
      if (r.text[k] == ' ')
        ok = k >= 5 && isSeparator(r.text[k - 1]);
      else
        ok = confOf(r.conf[k]) >= least;
    }
  }
  if (ok) {
    flag = false;
    ok = !IsAssegnoItalia(r.text, r.conf, nullptr, r.n, flag, false) || flag;
  }
  if (!ok) r = saved;
  return ok;
}

// One pass over rows [y, y + h) of the cleaned band. False when the reading must end at once
// (a stop request).
bool bandPass(BarReader& b, const PVKImg& cleaned, int y, int h) {
  PVKImg sub = cleaned;
  sub.height = static_cast<uint16_t>(h);
  sub.data = cleaned.data + static_cast<size_t>(y) * cleaned.stride;
  b.profile[b.width2 - 1] = 0;
  ElaboraSegnaleCMC(&sub, b.profile.get(), b.peaks.get(), b.work.get(), datiCmc[17]);
  if (b.font == 111) {
    std::reverse(b.profile.get(), b.profile.get() + b.width2);
    std::reverse(b.peaks.get(), b.peaks.get() + b.width2);
  }
  lastPasses = ++b.passes;
  auto p = std::make_unique<Codeline>();
  int barProfile[kCdlChars + 1] = {}, barPeak[kCdlChars + 1] = {};
  if (decodeBand(b, h, *p, barProfile, barPeak) &&
      VerificaCdl(p->text, p->conf, p->n, p->start, p->end, p->count, barProfile, barPeak, datiCmc[0])) {
    for (int k = 0; k < p->n; ++k)
      if (p->text[k] == '?') RimuoviCar(p->text, p->conf, p->start, p->end, p->count, k--, p->n);
    VerificaAggiungiSpazi(p->text, p->conf, p->start, p->end, p->count, p->n, datiCmc[0]);
    VerificaCaratteriTroppoVicini(p->text, p->conf, p->start, p->end, p->n);
    Codeline& r = b.r;
    ConfrontaCMC(r.text, r.conf, r.start, r.end, r.count, r.n, p->text, p->conf, p->start, p->end, p->count, p->n,
                 datiCmc[12] / 3, datiCmc[15], datiCmc[16], datiCmc[0]);
    if (b.level > 0 && acceptEarly(b)) b.accepted = true;
  }
  if (pvk::core::stopRequested()) {
    WriteTrace("war - ", "ReadCMC - user cancelled", false);
    MyDev.lastResult = -19;
    return false;
  }
  if (!b.accepted && b.passes >= kMaxPasses) {
    if (b.r.n > 0) WriteTrace("war - ", "ReadCMC - forcing end", false);
    b.accepted = true;
  }
  return true;
}

// Every band of one cleaned image. False on a stop request.
bool bandPasses(BarReader& b, const PVKImg& cleaned) {
  const int H = cleaned.height, d17 = datiCmc[17];
  if (H <= 2 * d17 && !bandPass(b, cleaned, 0, H)) return false;
  for (int div = 1; div <= 3 && !b.accepted; ++div) {
    const int h = d17 / div;
    const int step = std::max(h / 4, d17 / 4);
    if (h < 1 || step < 1) continue;
    const int positions = (H - h + 1 - step) / step;
    for (int k = 0; k < positions && !b.accepted; ++k)
      if (!bandPass(b, cleaned, k * step, h)) return false;
  }
  return true;
}

// The rounds of spaces, clean-up and rating that R gets before each merge with the OCR reading.
void rateBars(BarReader& b, Codeline& r) {
  VerificaAggiungiSpazi(r.text, r.conf, r.start, r.end, r.count, r.n, datiCmc[0]);
  VerificaCdlFinale(r.text, r.conf, r.start, r.end, r.count, r.n);
  CalcolaConfidenzaCMC7Barre(r.text, r.conf, r.count, r.n, b.passes);
}

int minGap() { return static_cast<int>(4 * MyOcr.engineScale); }

// The trial merge after a grey level: true when the OCR reading needs no further level.
bool trialSettles(BarReader& b) {
  if (b.ocr.n == 0) return true;
  auto o = std::make_unique<Codeline>(b.ocr);
  auto r = std::make_unique<Codeline>(b.r);
  rateBars(b, *r);
  int disagreements = 0;
  ConfrontaCMCMag(o->text, o->conf, o->start, o->end, o->n, r->text, r->conf, r->start, r->end, r->n, minGap(),
                  datiCmc[0] / 3, datiCmc[0], 81, datiCmc[12], disagreements, false);
  if (disagreements != 0) return false;
  const int least = std::min(cmc7Thr() + 1, 100);
  for (int k = 0; k < o->n; ++k)
    if (o->text[k] != ' ' && confOf(o->conf[k]) < least) return false;
  return true;
}

// The final phase: the bar reading merged into the OCR reading, thresholded and cleaned up, with
// a box per character. Returns the count (0: nothing).
int finalPhase(BarReader& b, Codeline& out, ChInfo* boxes) {
  Codeline& r = b.r;
  Codeline& o = b.ocr;
  rateBars(b, r);
  int disagreements = 0;
  ConfrontaCMCMag(o.text, o.conf, o.start, o.end, o.n, r.text, r.conf, r.start, r.end, r.n, minGap(),
                  datiCmc[0] / 3, datiCmc[0], 80, datiCmc[12], disagreements, true);
  IniBarre2IniOttico(o.n, o.start, o.end);
  IniBarre2IniOttico(r.n, r.start, r.end);
  out = o;
  if (out.n < 1) return 0;
  int read = 0;
  for (int k = 0; k < out.n; ++k) {
    if (out.text[k] == '?') out.conf[k] = 1;
    if (!isRead(out.text[k])) continue;
    ++read;
    if (confOf(out.conf[k]) > 100) out.conf[k] = 100;
  }
  if (read < 2) return 0;
  if (MyDev.cleaningRequired && MyLog.deviceFile[0] != '\0')
    WritePrivateProfileString("General", "CleaningRequired", "1", MyLog.deviceFile);

  for (int k = 0; k < out.n; ++k) {
    boxes[k] = ChInfo{};
    boxes[k].agreement = static_cast<uint16_t>(out.count[k]);
    boxes[k].left = static_cast<uint16_t>(std::max(0, out.start[k]));
    boxes[k].right = static_cast<uint16_t>(std::max(0, out.end[k]));
    boxes[k].top = static_cast<uint16_t>(b.top);
    boxes[k].bottom = static_cast<uint16_t>(b.bottom);
  }
  finishCodeline(out.text, out.conf, boxes, out.n, MyOcr.modeByte == 0 ? 0 : -1);
  int sum = 0;
  for (int k = 0; k < out.n; ++k) sum += confOf(out.conf[k]);
  if (sum / std::max(out.n, 1) < 40) return 0;
  const int least = std::max(cmc7Thr(), 30);
  for (int k = 0; k < out.n; ++k) {
    if (out.text[k] == '?' || confOf(out.conf[k]) < least) {
      out.text[k] = '?';
      out.conf[k] = 1;
    }
  }
  out.endText();
  return out.n;
}

}  // namespace

int cmcBarPasses() { return lastPasses; }

int handOut(const char* srcText, const char* srcConf, const ChInfo* srcInfo, int n, char* text, char* conf,
            ChInfo* info, unsigned short maxChars) {
  if (n < 1) {
    text[0] = conf[0] = 0;
    return 0;
  }
  if (n >= maxChars) {
    WriteTrace("err - ", "too many CMC7 char", false);
    text[0] = conf[0] = 0;
    return 0;
  }
  std::memcpy(text, srcText, static_cast<size_t>(n));
  std::memcpy(conf, srcConf, static_cast<size_t>(n));
  text[n] = conf[n] = 0;
  if (info != nullptr && srcInfo != nullptr) std::copy(srcInfo, srcInfo + n, info);
  return n;
}

void finishCodeline(char* text, char* conf, ChInfo* info, int& n, int keepBlanksBefore) {
  for (int k = 1; k < n; ++k)
    if (text[k] == ' ' && text[k - 1] == ' ') RimuoviCarattere(text, conf, info, k--, n);
  // The cheque clean-up edits text and confidences only: the boxes follow what it kept.
  char t[kCdlChars + 1], c[kCdlChars + 1];
  const int before = std::min(n, kCdlUsable);
  std::memcpy(t, text, static_cast<size_t>(before));
  std::memcpy(c, conf, static_cast<size_t>(before));
  int after = before;
  PulisciAssegniMinima(t, c, after);
  int j = 0;
  for (int k = 0; k < after; ++k) {
    // Entries only go; the one symbol changed in place is an unread one that became the field gap.
    while (j < before && !(conf[j] == c[k] && (text[j] == t[k] || (text[j] == '?' && t[k] == ' ')))) ++j;
    const int from = std::min(j, before - 1);
    text[k] = t[k];
    conf[k] = c[k];
    if (info != nullptr) info[k] = info[from];
    ++j;
  }
  n = after;
  text[n] = conf[n] = 0;
  if (keepBlanksBefore < 0) return;
  for (int k = keepBlanksBefore; k < n; ++k)
    if (text[k] == ' ') RimuoviCarattere(text, conf, info, k--, n);
}

int readCmcBars(PVKImg img, const OcrReading& ocrIn, char* text, char* conf, ChInfo* info, short font,
                unsigned short maxChars) {
  lastPasses = 0;
  auto b = std::make_unique<BarReader>();
  if (!ocrInBars(*b, ocrIn, img)) return 0;
  b->font = font;
  InitDatiCMC(font, img.dpi / 300.0f);
  auto ocrOut = [&] { return handOut(ocrIn.text, ocrIn.conf, ocrIn.info, ocrIn.n, text, conf, info, maxChars); };

  // The cleaning works on a copy of the band, so that the caller's image is never touched.
  PVKImg band = b->band;
  const size_t bytes = static_cast<size_t>(band.height) * band.stride;
  std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[bytes + 1]);
  if (!copy) {
    WriteTrace("err - ", "duplicating ocr image for CMC", errno, false);
    MyDev.lastResult = -4;
    return -1;
  }
  std::memcpy(copy.get(), band.data, bytes);
  band.data = copy.get();

  const int W = img.width;
  b->width2 = 2 * W;
  b->profile.reset(new (std::nothrow) int[2 * W + 1]());
  b->peaks.reset(new (std::nothrow) int[2 * W + 1]());
  b->work.reset(new (std::nothrow) int[2 * W + 1]());
  if (!b->profile || !b->peaks || !b->work) {
    WriteTrace("err - ", "ReadCMC - memory allocation failed", errno, false);
    MyDev.lastResult = -4;
    return ocrOut();
  }
  b->statFirst = b->width2 <= 1000 ? 0 : 100;
  b->statLast = b->width2 <= 1000 ? b->width2 : b->width2 - 100;

  const int base = baseGreyLevel();
  const int levels[3] = {base, base + 10, base - 10};
  for (b->level = 0; b->level < 3 && !b->accepted; ++b->level) {
    PVKImg cleaned{};
    if (!pulisci(&band, &cleaned, levels[b->level])) return ocrOut();
    std::unique_ptr<uint8_t, decltype(&std::free)> own(cleaned.data, &std::free);
    if (!bandPasses(*b, cleaned)) return ocrOut();
    if (!b->accepted && trialSettles(*b)) break;
  }
  auto out = std::make_unique<Codeline>();
  const int n = finalPhase(*b, *out, b->boxes);
  return handOut(out->text, out->conf, b->boxes, n, text, conf, info, maxChars);
}

}  // namespace pvk::micr
