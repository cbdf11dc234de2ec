// The rows of a zone reading: each text line kept as a row with copies of its entries, the best
// row chosen, the payee databases narrowed to the font family that read most of a line, and a
// band that turned out to hold two lines split in two.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/shims.h"
#include "core/trace.h"
#include "ocr/ocr.h"

namespace pvk::ocr {

int zoneAllocFailAfter = -1;

void* zoneCalloc(size_t count, size_t size) {
  if (zoneAllocFailAfter == 0 || (zoneAllocFailAfter > 0 && --zoneAllocFailAfter == 0)) return nullptr;
  return std::calloc(count == 0 ? 1 : count, size == 0 ? 1 : size);
}

void releaseRow(OCRRigaType& row) {
  std::free(row.text);
  std::free(row.conf);
  std::free(row.info);
  row = OCRRigaType{};
}

}  // namespace pvk::ocr

using pvk::ocr::releaseRow;

bool AggiungiOCRRow(char* text, char* conf, ChInfo* info, int& n, OCRRigaType* row, int limit) {
  if (n < 0) {
    WriteTrace("err - ", "Unexpected b1NChar in AggiungiOCRRow", n, false);
    WriteTrace("err - ", text != nullptr ? static_cast<unsigned char>(text[0]) : 0, false);
    return false;
  }
  if (row == nullptr || text == nullptr || conf == nullptr || limit < 1) return false;
  if (n >= limit) n = limit - 1;
  const int capacity = 4 * n + 4 < limit ? 4 * n + 4 : limit;
  releaseRow(*row);
  row->text = static_cast<char*>(pvk::ocr::zoneCalloc(capacity, 1));
  row->conf = static_cast<char*>(pvk::ocr::zoneCalloc(capacity, 1));
  row->info = static_cast<ChInfo*>(pvk::ocr::zoneCalloc(capacity, sizeof(ChInfo)));
  if (row->text == nullptr || row->conf == nullptr || row->info == nullptr) {
    releaseRow(*row);
    WriteTrace("err - ", "AggiungiOCRRow - memory allocation failed", static_cast<int>(GetLastError()), false);
    MyDev.lastResult = -4;
    return false;
  }
  row->capacity = capacity;
  std::memcpy(row->text, text, n);
  std::memcpy(row->conf, conf, n);
  if (info != nullptr) std::memcpy(row->info, info, sizeof(ChInfo) * n);
  row->n = n;
  return true;
}

bool SpezzaInRighe(char* text, char* conf, ChInfo* info, int n, OCRRigaType* rows, unsigned short& nRows, int limit) {
  if (text == nullptr || conf == nullptr || rows == nullptr) return false;
  int start = 0;
  while (start < n && text[start] == ' ') ++start;
  // Fills slot nRows with text[from .. from + len) and scores it; the slot is kept (nRows grows)
  // only above the minimum line confidence, else emptied for the next line.
  auto addLine = [&](int from, int len) {
    if (!AggiungiOCRRow(text + from, conf + from, info != nullptr ? info + from : nullptr, len, &rows[nRows], limit))
      return false;
    OCRRigaType& row = rows[nRows];
    int m = row.n;
    const int score = CalCumulaConf(row.text, row.conf, row.info, m, false, 0);
    row.n = m;
    row.score = static_cast<uint8_t>(score < 0 ? 0 : score > 255 ? 255 : score);
    if (score > MyOcr.minLineConf) ++nRows;
    else releaseRow(row);
    return true;
  };
  for (int cr = pvk::ocr::findInReading(text, n, '\r', start); cr >= 0;
       cr = pvk::ocr::findInReading(text, n, '\r', start)) {
    const int len = cr - start;
    if (len < 1) return false;
    if (!addLine(start, len)) return false;
    start = cr + 2;
    while (start < n && text[start] == ' ') ++start;
    if (start >= n) return true;
  }
  if (start >= n) return true;
  return addLine(start, n - start);
}

void ScegliOcrRowMigliore(unsigned short& nRows, OCRRigaType* rows) {
  if (nRows > 0 && rows != nullptr) {
    unsigned best = 0;
    for (unsigned i = 1; i < nRows; ++i)
      if (rows[i].score > rows[best].score) best = i;
    if (best != 0) {
      releaseRow(rows[0]);
      rows[0] = rows[best];
      rows[best] = OCRRigaType{};
    }
    for (unsigned i = 1; i < nRows; ++i) releaseRow(rows[i]);
  }
  nRows = 1;
}

void CancellaRigheGiaLette(unsigned short& nRows, OCRRigaType* rows) {
  while (nRows > 0) {
    --nRows;
    if (rows != nullptr) releaseRow(rows[nRows]);
  }
}

bool EsisteBestDB(int* counts, const char* text, const char* conf, ChInfo* info, int n) {
  for (int i = 0; i < kDBMax; ++i) counts[i] = 0;
  for (int i = 0; text != nullptr && conf != nullptr && info != nullptr && i < n; ++i) {
    const char c = text[i];
    const bool digitOrCapital = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
    if (digitOrCapital && static_cast<unsigned char>(conf[i]) > 9 && info[i].dbIndex < kDBMax) ++counts[info[i].dbIndex];
  }
  BestIndex = -1;
  int most = 0;
  for (int i = 0; i < nDBLoaded && i < kDBMax; ++i)
    if (counts[i] > most) {
      most = counts[i];
      BestIndex = i;
    }
  return BestIndex >= 0;
}

namespace {

// The payee font families, in the order they are tried.
enum Family { kArial, kCourier, kOcrb, kCalibri, kVx3id, kFamilies };
constexpr const char* kFamilyName[kFamilies] = {"ARIAL", "COURIER", "OCRB", "CALIBRI", "VX3ID"};

bool named(int db, const char* part) { return std::strstr(DBList[db].name, part) != nullptr; }

bool disable(int db) {
  const bool was = ValidDB[db] != 0;
  ValidDB[db] = 0;
  return was;
}

// Disables every database whose name lacks part, except those holding keep (when not null).
bool keepOnly(const char* part, const char* keep) {
  bool any = false;
  for (int i = 0; i < nDBLoaded && i < kDBMax; ++i)
    if (!named(i, part) && (keep == nullptr || !named(i, keep))) any |= disable(i);
  return any;
}

}  // namespace

bool RiduciDBBeneficiario(int* counts, int n) {
  if (counts == nullptr || DBList == nullptr) return false;
  int family[kFamilies] = {};
  bool any = false;
  for (int i = 0; i < nDBLoaded && i < kDBMax; ++i) {
    if (counts[i] == 0) {
      any |= disable(i);
      continue;
    }
    for (int f = 0; f < kFamilies; ++f)
      if (named(i, kFamilyName[f])) {
        family[f] = counts[i];
        if (f == kArial) Verifica_i_Arial = 1;
        break;
      }
  }
  int top = 0;
  for (int f = 1; f < kFamilies; ++f)
    if (family[f] > family[top]) top = f;
  const int best = family[top];
  int second = 0;
  for (int f = 0; f < kFamilies; ++f)
    if (f != top && family[f] > second) second = family[f];
  if (best <= (n < 8 ? 4 : n / 2) && second > best / 2) return any;
  const int h = second / 2;
  if (best <= h) return any;
  switch (top) {
    case kArial:
      return keepOnly("ARIAL", nullptr) || any;
    case kCourier: {
      FixSizeFont = 1;
      const char* keep = MyOcr.currentFont == 944 ? "ABIIMPA" : MyOcr.currentFont == 945 ? "ABIBENA" : nullptr;
      return keepOnly("COURIER", keep) || any;
    }
    case kOcrb:
      FixSizeFont = 1;
      return keepOnly("OCRB", nullptr) || any;
    case kCalibri:
      return keepOnly("CALIBRI", nullptr) || any;
    default:
      return keepOnly("VX3ID", nullptr) || any;
  }
}

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
