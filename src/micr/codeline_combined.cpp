// The combined codeline readers from their optical pass on: the magnetic reading loop reads the
// head signal guided by the optical line, and the optical line is handed out only when the
// magnetic pass confirms enough of it (CMC7), or with the magnetic reading merged into it (E13B).
#include <algorithm>
#include <cstring>
#include <memory>

#include "core/trace.h"
#include "micr/micr.h"
#include "ocr/ocr.h"

using pvk::micr::confOf;
using pvk::micr::isRead;

namespace pvk::micr {
namespace {

int micrSide() { return std::clamp<int>(MyMICR.side, 0, kSides - 1); }

// The last column of the magnetic window: rows of the head side's image scaled from the
// acquisition's vertical dpi to the OCR image's, in 32 bits. Without a vertical dpi there is no
// window.
int windowEnd(int rows) {
  const int dpiV = MyAcq.dpiV;
  if (dpiV == 0) {
    WriteTrace("war - ", "no vertical dpi for the magnetic window", false);
    return 0;
  }
  const long long to = static_cast<long long>(rows) * MyOcr.ocrImg[micrSide()].dpi / dpiV;
  return static_cast<int>(std::clamp<long long>(to, 0, 1 << 30));
}

// The head's offset and its samples per three pixels count lines of 300 per inch: the transport
// samples the head at a fixed rate per inch of travel whatever resolution a zone was cut at. A
// zone's columns go to that scale before they meet the head and come back after (the same
// columns at 300 dpi).
int zoneDpi(const PVKImg& img) { return img.dpi > 0 ? img.dpi : 300; }

void columnsTo300(int n, int* start, int* end, int dpi) {
  for (int k = 0; k < n; ++k) {
    start[k] = static_cast<int>(static_cast<long long>(start[k]) * 300 / dpi);
    end[k] = static_cast<int>(static_cast<long long>(end[k]) * 300 / dpi);
  }
}

void columnsFrom300(int n, int* start, int* end, int dpi) {
  for (int k = 0; k < n; ++k) {
    start[k] = static_cast<int>(static_cast<long long>(start[k]) * dpi / 300);
    end[k] = static_cast<int>(static_cast<long long>(end[k]) * dpi / 300);
  }
}

}  // namespace

int combineCmc7(PVKImg img, const OcrReading& optical, char* text, char* conf, ChInfo* info, short font,
                unsigned short maxChars) {
  auto opt = std::make_unique<Codeline>();
  auto mag = std::make_unique<Codeline>();
  const int nOptical = optical.n;
  if (nOptical < 1 && MyDev.productId != 0 && (fNameDatiMICR == nullptr || fNameDatiMICR[0] == '\0')) {
    text[0] = conf[0] = 0;
    return nOptical;
  }
  opt->n = std::clamp(nOptical, 0, kCdlUsable);
  auto boxes = std::make_unique<ChInfo[]>(kCdlChars + 1);
  for (int k = 0; k < opt->n; ++k) {
    opt->text[k] = optical.text[k];
    opt->conf[k] = optical.conf[k];
    boxes[k] = optical.info[k];
  }
  opt->endText();

  if (MyMICR.enabled && font == 32) {
    long sumTop = 0, sumBottom = 0;
    for (int k = 0; k < opt->n; ++k) {
      sumTop += optical.info[k].top;
      sumBottom += optical.info[k].bottom;
      opt->count[k] = optical.info[k].agreement;
      opt->start[k] = optical.info[k].left;
      opt->end[k] = optical.info[k].right;
    }
    const int off = MyMICR.opticalOffset300;
    int from = 0, to = windowEnd(MyDev.img[micrSide()].rowsUsed);
    const int16_t savedFont = MyOcr.currentFont;
    MyOcr.currentFont = 32;
    const int dpi = zoneDpi(img);
    columnsTo300(1, &from, &to, dpi);
    columnsTo300(opt->n, opt->start, opt->end, dpi);
    IniOttico2IniMagnetico(1, &from, &to, off);
    IniOttico2IniMagnetico(opt->n, opt->start, opt->end, off);
    InitDatiMICR(32, 1.0f);
    mag->n = LetturaMag(mag->text, mag->conf, mag->start, mag->end, from, to, opt->text, opt->conf, opt->start,
                        opt->end, opt->n);
    MyOcr.currentFont = savedFont;
    InitDatiCMC(32, img.dpi / 300.0f);
    IniMagnetico2IniOttico(mag->n, mag->start, mag->end, off);
    IniMagnetico2IniOttico(opt->n, opt->start, opt->end, off);
    columnsFrom300(mag->n, mag->start, mag->end, dpi);
    columnsFrom300(opt->n, opt->start, opt->end, dpi);
    if (mag->n < 4) return 0;

    while (opt->n > 0 && (opt->text[0] == ' ' || opt->text[0] == '?'))
      RimuoviCar(opt->text, opt->conf, opt->start, opt->end, opt->count, 0, opt->n);
    opt->endText();
    mag->endText();
    if (std::strcmp(opt->text, mag->text) == 0 && std::memchr(opt->text, '?', static_cast<size_t>(opt->n)) == nullptr) {
      VerificaAggiungiSpazi(opt->text, opt->conf, opt->start, opt->end, opt->count, opt->n, datiCmc[0]);
      for (int k = 0; k < opt->n; ++k) opt->conf[k] = kConfAgree;
    } else if (!magneticConfirms(mag->text, mag->conf, mag->n, opt->n)) {
      return 0;
    }
    const int rows = std::max(1, nOptical);
    for (int k = 0; k < opt->n; ++k) {
      boxes[k] = ChInfo{};
      boxes[k].agreement = static_cast<uint16_t>(std::max(0, opt->count[k]));
      boxes[k].left = static_cast<uint16_t>(std::max(0, opt->start[k]));
      boxes[k].right = static_cast<uint16_t>(std::max(0, opt->end[k]));
      boxes[k].top = static_cast<uint16_t>(sumTop / rows);
      boxes[k].bottom = static_cast<uint16_t>(sumBottom / rows);
    }
  }

  Codeline& o = *opt;
  if (datiCmc[0] == 0) datiCmc[0] = 35;
  // Re-spacing within the arrays' limit: with the blank gap as the limit, every line of 35 or
  // more characters would lose its blanks and get none back.
  VerificaAggiungiSpazi(o.text, o.conf, boxes.get(), o.n, kCdlChars, 1);
  finishCodeline(o.text, o.conf, boxes.get(), o.n, MyOcr.modeByte == 0 ? 1 : -1);
  int sum = 0;
  for (int k = 0; k < o.n; ++k) sum += confOf(o.conf[k]);
  if (sum / std::max(o.n, 1) <= 39) o.n = 0;
  for (int k = 0; k < o.n; ++k) {
    if (o.text[k] == '?') o.conf[k] = 1;
    if (confOf(o.conf[k]) > 100) o.conf[k] = 100;
  }
  return handOut(o.text, o.conf, boxes.get(), o.n, text, conf, info, maxChars);
}

bool magneticConfirms(const char* text, const char* conf, int n, int opticalCount) {
  int k = 0;
  for (int i = 0; i < n; ++i)
    if (isRead(text[i]) && confOf(conf[i]) >= 6) ++k;
  return opticalCount < 24 ? k >= 5 : k >= opticalCount / 4;
}

int checkCodelineImage(PVKImg img, unsigned short maxChars, bool sizes) {
  if (img.dpi == 0) {
    WriteTrace("err - ", "invald dpi value for CMC", 0, false);
    MyDev.lastResult = -1;
    return -1;
  }
  return sizes && (img.height < 12 || img.width < 64 || maxChars < 8) ? 0 : 1;
}

int combineE13B(PVKImg img, const OcrReading& optical, char* text, char* conf, unsigned short maxChars) {
  auto opt = std::make_unique<Codeline>();
  auto mag = std::make_unique<Codeline>();
  Codeline& o = *opt;
  o.n = std::clamp(optical.n, 0, kCdlUsable);
  for (int k = 0; k < o.n; ++k) {
    o.text[k] = optical.text[k];
    o.conf[k] = optical.conf[k];
    o.count[k] = 1;
    o.start[k] = optical.info[k].left;
    o.end[k] = optical.info[k].right;
  }
  o.endText();

  if (MyMICR.enabled) {
    // The recogniser tells the head's symbols apart by windows in samples of print at the
    // standard pitch. The signal of a line printed more than a tenth smaller or larger is
    // stretched out of them: what it finds there is other symbols that happen to fit, never a
    // confirmation of the optical line nor anything to fill its gaps with. Such a line is not
    // confirmed.
    if (pvk::ocr::codelineOffSize(img)) return 0;
    const int off = MyMICR.opticalOffset300;
    // The window opens where the signal does, on the quiet stretch before the document that
    // the recogniser measures its noise on. It closes at the document's end: the side's rows
    // start at the document's edge, as its characters' columns do, so the last row takes the
    // offset too; without it the window ended that many lines short and cut the last
    // characters of a line printed close to the far edge.
    // The line stays in columns of 300 dpi from here on, so the merge's and the clean-up's
    // windows, given at 300 dpi, hold at any resolution of the zone.
    int from = 0, to = windowEnd(MyDev.img[micrSide()].fullHeight), unused = 0;
    columnsTo300(1, &from, &to, zoneDpi(img));
    columnsTo300(o.n, o.start, o.end, zoneDpi(img));
    IniOttico2IniMagnetico(1, &from, &unused, 0);
    IniOttico2IniMagnetico(1, &unused, &to, off);
    IniOttico2IniMagnetico(o.n, o.start, o.end, off);
    mag->n = LetturaMag(mag->text, mag->conf, mag->start, mag->end, from, to, o.text, o.conf, o.start, o.end, o.n);
    IniMagnetico2IniOttico(mag->n, mag->start, mag->end, off);
    IniMagnetico2IniOttico(o.n, o.start, o.end, off);
    if (!magneticConfirms(mag->text, mag->conf, mag->n, o.n)) return 0;
    datiMICR[0] = 40;
    int disagreements = 0;
    ConfrontaCMCMag(o.text, o.conf, o.start, o.end, o.n, mag->text, mag->conf, mag->start, mag->end, mag->n,
                    datiMICR[6], 9, 40, 50, 28, disagreements, false);
    VerificaCHNR(o.text, o.conf, o.start, o.end, o.count, o.n, 20);
    VerificaAggiungiSpazi(o.text, o.conf, o.start, o.end, o.count, o.n, datiMICR[0], true);
  }

  PulisciAssegniMinima(o.text, o.conf, o.n);
  if (MyOcr.modeByte == 0 && o.n >= 2)
    for (int k = 1; k < o.n; ++k)
      if (o.text[k] == ' ') RimuoviCar(o.text, o.conf, k--, o.n);
  int sum = 0, counted = 0;
  for (int k = 0; k < o.n; ++k) {
    if (o.text[k] == ' ') continue;
    sum += std::min(confOf(o.conf[k]), 100);
    ++counted;
  }
  if (o.n > 0 && sum / std::max(counted, 1) > 19) {
    for (int k = 0; k < o.n; ++k) {
      if (confOf(o.conf[k]) > 100) o.conf[k] = 100;
      if (o.text[k] == '?')
        o.conf[k] = 1;
      else if (isRead(o.text[k]) && confOf(o.conf[k]) == 1)
        o.text[k] = '?';
    }
  } else {
    o.n = 0;
  }
  o.endText();
  if (o.n == 0) {
    text[0] = conf[0] = 0;
    return 0;
  }
  return handOut(o.text, o.conf, nullptr, o.n, text, conf, nullptr, maxChars);
}

}  // namespace pvk::micr
