// The symbology cascade of one run: the print quality of the run sets the two confidence
// levels, then the symbologies that the zone's font allows are tried in a fixed order, each
// reading merged into the run's list; with BarcodeMirror a run that read nothing is tried
// backwards once more.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "core/shims.h"
#include "core/trace.h"
#include "symbols/symbols.h"

signed char Confidence_ChecSumOK = 100;
signed char Confidence_ChecSumKO = 20;

namespace {

pvk::symbols::BrightColumns* liveColumns = nullptr;

// Bright pixels (above 128) of columns x0..x0+span-1 over all rows, into bright[0..span-1].
void countBright(const PVKImg* img, int x0, int span, int* bright) {
  for (int y = 0; y < img->height; ++y) {
    const uint8_t* p = img->data + static_cast<size_t>(y) * img->stride;
    for (int x = 0; x < span && x0 + x < img->width; ++x) bright[x] += p[x0 + x] > 128;
  }
}

}  // namespace

pvk::symbols::BrightColumns::BrightColumns(const PVKImg* img) : img_(img) { liveColumns = this; }

pvk::symbols::BrightColumns::~BrightColumns() {
  if (liveColumns == this) liveColumns = nullptr;
}

const int* pvk::symbols::BrightColumns::of(const PVKImg* img) {
  BrightColumns* live = liveColumns;
  if (!live || live->img_ != img) return nullptr;
  if (live->counts_.empty()) {
    try {
      live->counts_.assign(img->width, 0);
    } catch (const std::bad_alloc&) {
      return nullptr;  // the run is scored from the pixels
    }
    countBright(img, 0, img->width, live->counts_.data());
  }
  return live->counts_.data();
}

namespace {

// The band's print quality over the run's span: how many pixel columns are clearly bar and
// clearly space. Sets the confidences; false when the span is too short or too wide.
bool scoreQuality(const PVKImg* img, int firstPos, int lastPos, bool* retryHint) {
  int span = (std::abs(lastPos - firstPos) - 1) / 2;
  if (span < 64 || span > img->width) return false;
  int x0 = std::min(firstPos, lastPos) / 2;
  int rows = img->height;
  int* bright = static_cast<int*>(std::calloc(static_cast<size_t>(span), sizeof(int)));
  if (!bright) {
    WriteTrace("err - ", "no barcode image analysis A", static_cast<int>(GetLastError()), false);
    return true;
  }
  if (const int* counted = pvk::symbols::BrightColumns::of(img))
    std::copy(counted + x0, counted + std::min(x0 + span, static_cast<int>(img->width)), bright);
  else
    countBright(img, x0, span, bright);
  int lo = rows < 24 ? 3 : rows / 8;
  int hi = rows < 64 ? std::max(4 * rows / 5, 4) : 50;
  int dark = 0, light = 0;
  for (int x = 0; x < span; ++x) {
    int p = 100 * bright[x] / rows;
    dark += p < lo;
    light += p > hi;
  }
  std::free(bright);
  int q = std::min({200 * dark / span, 200 * light / span, 100});
  if (rows < 16) q = 2 * q / 3;
  if (q > 50 && retryHint) *retryHint = true;
  Confidence_ChecSumOK = static_cast<signed char>(q < 50 ? 50 : q);
  if (rows > 15)
    Confidence_ChecSumKO = static_cast<signed char>(q < 20 ? 10 : q / 2);
  else
    Confidence_ChecSumKO = static_cast<signed char>(q > 59 ? q / 3 : 20);
  return true;
}

// Whether the zone's font lets this symbology read: font 7 (and any font that is not a single
// symbology) every enabled one, fonts 300..310 their own.
bool allowed(int code) {
  int font = MyOcr.currentFont;
  if (font >= 300 && font <= 310) return font - 300 == code;
  return IsVx3BarcodeTypeEnabled(static_cast<short>(code)) != 0;
}

struct Cascade {
  const int* w;
  int count;
  const PVKImg* img;
  int span;
  unsigned position;
  bool* retryHint;
  // The run's list.
  char* text;
  char* conf;
  unsigned short* start;
  unsigned short* length;
  int* listCount;
  int maxChars;
};

// Merges one reading into the run's list and records its symbology; true when its check
// verified, which ends the cascade.
bool keep(Cascade& c, char* t, char* k, int n, bool check, int code) {
  unsigned short s[kMaxBarcodeChars + 1], l[kMaxBarcodeChars + 1];
  SetIniEnd(s, l, static_cast<unsigned short>(std::min(c.position, 65535u)), n);
  AggiornaBest(c.text, c.conf, c.start, c.length, c.listCount, c.maxChars, t, k, s, l, n);
  AggiornaFirstBarcodeRead(static_cast<VX3_BARCODE>(code));
  return check;
}

bool runCascade(Cascade& c) {
  char t[kMaxBarcodeChars + 1], k[kMaxBarcodeChars + 1];
  bool check = false;
  int n;
  if (allowed(VX3_BARCODE_CODE39)) {
    bool startFound = false;
    n = Cerca_Codice_39(c.w, c.count, t, k, check, startFound);
    if (startFound && c.retryHint) *c.retryHint = true;
    if (n > 0 && MyOcr.pharmacode && n == 6) {
      char original[8];
      std::memcpy(original, t, 7);
      if (Base32ToBase10(t, k) != 9) {
        WriteTrace("wrong decoding", original, false);
        n = 0;
      } else {
        n = 9;
      }
    }
    if (n > 0 && keep(c, t, k, n, check, VX3_BARCODE_CODE39)) return true;
  }
  if (allowed(VX3_BARCODE_I2OF5) && (n = Cerca_Codice_25(c.w, c.count, t, k, check, c.img->height, c.span)) > 0 &&
      keep(c, t, k, n, check, VX3_BARCODE_I2OF5))
    return true;
  if (allowed(VX3_BARCODE_CODE128) && (n = Cerca_Codice_128(c.w, c.count, t, k, check)) > 0 &&
      keep(c, t, k, n, check, VX3_BARCODE_CODE128))
    return true;
  if (allowed(VX3_BARCODE_CODABAR) && (n = Cerca_Codice_CODABAR(c.w, c.count, t, k, check)) > 0 &&
      keep(c, t, k, n, check, VX3_BARCODE_CODABAR))
    return true;
  if (allowed(VX3_BARCODE_CODE93) && (n = Cerca_Codice_93(c.w, c.count, t, k, check)) > 0 &&
      keep(c, t, k, n, check, VX3_BARCODE_CODE93))
    return true;
  if (allowed(VX3_BARCODE_EAN8) && (n = Cerca_Codice_EAN8(c.w, c.count, t, k, check, c.img->height)) > 0 &&
      keep(c, t, k, n, check, VX3_BARCODE_EAN8))
    return true;
  if (allowed(VX3_BARCODE_UPCA)) {
    n = Cerca_Codice_UPCA(c.w, c.count, t, k, check);
    // Under its own font the UPC-A slot falls back on a verified EAN-13 reading; under font 7
    // the EAN-13 slot reads it.
    if (n == 0 && MyOcr.currentFont == 307) n = Cerca_Codice_EAN13(c.w, c.count, t, k, check);
    if (n > 0 && keep(c, t, k, n, check, VX3_BARCODE_UPCA)) return true;
  }
  if (allowed(VX3_BARCODE_EAN13) && (n = Cerca_Codice_EAN13(c.w, c.count, t, k, check)) > 0 &&
      keep(c, t, k, n, check, VX3_BARCODE_EAN13))
    return true;
  if (allowed(VX3_BARCODE_UPCE) && (n = Cerca_Codice_UPCE(c.w, c.count, t, k, check)) > 0 && (check || n >= 5) &&
      keep(c, t, k, n, check, VX3_BARCODE_UPCE))
    return true;
  return false;
}

}  // namespace

int pvk::symbols::finish(char* text, char* conf, int n, int c) {
  c = std::clamp(c, 0, 100);
  for (int i = 0; i < n; ++i) conf[i] = static_cast<char>(c);
  text[n] = 0;
  conf[n] = 0;
  return n;
}

int pvk::symbols::noReading(char* text, char* conf, int n) {
  if (n <= 0) text[0] = conf[0] = 0;
  return n;
}

int decodificaBarcode(int count, _TipoBarre* bars, char* text, char* conf, unsigned short* start,
                      unsigned short* length, int maxChars, const PVKImg* img, bool* retryHint) {
  if (!bars || !text || !conf || !start || !length || !img || !img->data || maxChars < 1) return 0;
  maxChars = std::min(maxChars, kMaxBarcodeChars);
  int listCount = static_cast<int>(strnlen(text, static_cast<size_t>(maxChars)));
  if (count > 1000) {
    WriteTrace("too many bars, ignored", count, false);
    return listCount;
  }
  if (count < 12) return listCount;
  if (count > 30 && retryHint) *retryHint = true;
  int firstPos = static_cast<int>(bars[0].position), lastPos = static_cast<int>(bars[count - 1].position);
  if (!scoreQuality(img, firstPos, lastPos, retryHint)) return listCount;

  int* w = static_cast<int*>(std::malloc(sizeof(int) * static_cast<size_t>(count)));
  if (!w) {
    WriteTrace("read barcode with invalid memory allocation", static_cast<int>(GetLastError()), false);
    MyDev.lastResult = PVK_ERR_OUT_OF_MEMORY;
    return 0;
  }
  for (int i = 0; i < count; ++i) w[i] = static_cast<int>(std::min<uint32_t>(bars[i].width, 1u << 26)) * 10;
  Cascade c{w, count, img, (std::abs(lastPos - firstPos) - 1) / 2, bars[0].position, retryHint,
            text, conf, start, length, &listCount, maxChars};
  bool done = runCascade(c);
  // A run read backwards: a symbol upside down in the zone.
  if (!done && MyOcr.barcodeMirror && count >= 26) {
    std::reverse(w, w + count);
    if (scoreQuality(img, lastPos, firstPos, retryHint)) runCascade(c);
  }
  std::free(w);
  return listCount;
}
