// The linear barcode reader of a zone: the zone cleaned at three grey offsets, read whole and
// then in ever thinner strips, the readings of every pass merged, the weak ones dropped; when
// all that reads nothing, strips read by their grey profiles.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/shims.h"
#include "core/trace.h"
#include "ocr/ocr.h"
#include "symbols/symbols.h"

namespace {

constexpr int kStripChars = kMaxBarcodeChars + 1;

void setConfidences(int ok, int ko) {
  Confidence_ChecSumOK = static_cast<signed char>(ok);
  Confidence_ChecSumKO = static_cast<signed char>(ko);
}

bool allSure(const char* conf, int n) {
  for (int i = 0; i < n; ++i)
    if (conf[i] <= 99) return false;
  return true;
}

// Removes n entries at pos from the four arrays of a list of count entries.
void cut(char* text, char* conf, unsigned short* start, unsigned short* length, int pos, int n, int& count) {
  int tail = count - pos - n;
  std::memmove(text + pos, text + pos + n, static_cast<size_t>(tail));
  std::memmove(conf + pos, conf + pos + n, static_cast<size_t>(tail));
  std::memmove(start + pos, start + pos + n, sizeof(unsigned short) * static_cast<size_t>(tail));
  std::memmove(length + pos, length + pos + n, sizeof(unsigned short) * static_cast<size_t>(tail));
  count -= n;
  text[count] = 0;
  conf[count] = 0;
}

// Drops readings whose first confidence is under 40, then every weak run of characters.
int dropWeak(char* text, char* conf, unsigned short* start, unsigned short* length, int count) {
  int i = 0;
  while (i < count) {
    int n = length[i];
    if (n <= 0) {
      ++i;
      continue;
    }
    if (text[i] == ' ' && n == 1 && start[i] == 0) {
      ++i;  // a separator
      continue;
    }
    if (conf[i] >= 40) {
      i += n;
      continue;
    }
    RimuoviBarCode(text, conf, start, length, i, n, &count);
  }
  for (int pos = 0; pos < count;) {
    int n = ChechIfToDelete(pos, count, text, conf);
    if (n > 0) cut(text, conf, start, length, pos, n, count);
    else ++pos;
  }
  return count;
}

// Fewer rows than this leave a band too low to tell a symbol from a stray pattern by its print.
constexpr int kLeastRows = 16;

// A zone drawn around a strip lower than kLeastRows: its rows repeated so that the edge signal
// still sums 16 rows once it leaves its 4 out, and the print is scored over as many. The
// strip's bars run the zone's whole ink height, which repeating does not change. False only
// without memory; a zone high enough is left as it is.
bool raiseToLeastRows(PVKImg& img) {
  if (img.height >= kLeastRows) return true;
  const int times = (kLeastRows + 4 + img.height - 1) / img.height;
  const size_t rowBytes = img.width;
  auto* data = static_cast<uint8_t*>(std::malloc(rowBytes * img.height * times));
  if (!data) return false;
  for (int y = 0; y < img.height * times; ++y)
    std::memcpy(data + y * rowBytes, img.data + static_cast<size_t>(y / times) * img.stride, rowBytes);
  std::free(img.data);
  img.data = data;
  img.stride = img.width;
  img.height = static_cast<uint16_t>(img.height * times);
  return true;
}

// The readings of one strip before they merge into the zone's list (malloc'd, as the strips'
// readers fill them to kStripChars).
struct StripList {
  char* text = static_cast<char*>(std::malloc(2 * kStripChars));
  unsigned short* start = static_cast<unsigned short*>(std::malloc(2 * kStripChars * sizeof(unsigned short)));
  char* conf() const { return text + kStripChars; }
  unsigned short* length() const { return start + kStripChars; }
  bool ok() const { return text && start; }
  ~StripList() {
    std::free(text);
    std::free(start);
  }
};

using StripReader = int (*)(const PVKImg*, int, char*, char*, unsigned short*, unsigned short*, bool*);

// Every strip of h rows read and merged into the list; true when the list is then sure
// throughout (nothing more to read).
bool readStrips(const PVKImg* img, int h, StripReader read, StripList& l, char* text, char* conf,
                unsigned short* start, unsigned short* length, int& count, int maxChars, bool* retryHint) {
  for (int k = 0; k < img->height / h; ++k) {
    if (pvk::core::stopRequested()) break;
    PVKImg strip = *img;
    strip.height = static_cast<uint16_t>(h);
    strip.data = img->data + static_cast<size_t>(k) * h * img->stride;
    std::memset(l.text, 0, 2 * kStripChars);
    std::memset(l.start, 0, 2 * kStripChars * sizeof(unsigned short));
    int n = read(&strip, kStripChars, l.text, l.conf(), l.start, l.length(), retryHint);
    if (n <= 0) continue;
    AggiornaBest(text, conf, start, length, &count, maxChars, l.text, l.conf(), l.start, l.length(), n);
    if (count < 1 || allSure(conf, count)) return true;
  }
  return false;
}

bool noMemory() {
  WriteTrace("err - ", "analysing barcode", static_cast<int>(GetLastError()), false);
  MyDev.lastResult = PVK_ERR_OUT_OF_MEMORY;
  return false;
}

// The last pass, when the others read nothing: the zone cleaned at the lowest offset read in
// strips of 16 rows by the edges of their grey profiles. Blurred narrow spaces that never
// reach the paper's level show there as valleys between bars, and a tilted bar stays within
// its column over so few rows.
int readByGrey(const PVKImg& clean, int maxChars, char* text, char* conf, unsigned short* start,
               unsigned short* length) {
  text[0] = conf[0] = 0;
  int count = 0;
  StripList l;
  if (l.ok() || noMemory()) {
    setConfidences(80, 20);
    readStrips(&clean, 16, pvk::symbols::readBarCodeByGrey, l, text, conf, start, length, count, maxChars, nullptr);
  }
  return count;
}

}  // namespace

int ReadBarCode1(PVKImg* img, int maxChars, char* text, char* conf, unsigned short* start, unsigned short* length,
                 bool* retryHint) {
  setConfidences(100, 30);
  int count = std::max(ReadBarCode0(img, maxChars, text, conf, start, length, retryHint), 0);
  bool small = img->width <= 512 && img->height <= 256;
  if (small && ((!*retryHint && count == 0) || (count > 0 && allSure(conf, count)))) return count;
  StripList l;
  if (!l.ok()) return noMemory(), count;
  int h = img->height < 33 ? 16 : 32;
  setConfidences(80, 20);
  while (img->height / h > 0 && !pvk::core::stopRequested()) {
    if (readStrips(img, h, ReadBarCode0, l, text, conf, start, length, count, maxChars, retryHint)) break;
    if (h < 9) break;
    h /= 2;
    if (h == 16) setConfidences(80, 20);
    else setConfidences(60, 10);
  }
  return count;
}

int ReadBarCode(PVKImg img, char* text, char* conf, unsigned short maxChars) {
  if (!text || !conf) {
    WriteTrace("err - ", "ReadBarCode with null pointer", false);
    MyDev.lastResult = PVK_ERR_INV_PARAMETER;
    return 0;
  }
  if (maxChars > 0) text[0] = conf[0] = 0;
  int dpi = img.dpi;
  if (!img.data || img.stride < img.width || img.width < 64 * dpi / 300 || img.height < 8 * dpi / 300 ||
      maxChars == 0 || img.width == 0 || img.height == 0)
    return 0;
  // The private copy lies on paper: a zone cut on its symbol's first or last bar still bounds it.
  PVKImg copy{};
  const int margin = std::min(pvk::symbols::paperMargin(dpi), (65535 - img.width) / 2);
  if (!pvk::symbols::copyOnPaper(img, margin, 0, copy) || !raiseToLeastRows(copy)) {
    std::free(copy.data);
    WriteTrace("err - ", "duplicating ocr image", static_cast<int>(GetLastError()), false);
    MyDev.lastResult = PVK_ERR_OUT_OF_MEMORY;
    return -1;
  }
  auto* start = static_cast<unsigned short*>(std::calloc(maxChars, sizeof(unsigned short)));
  auto* length = static_cast<unsigned short*>(std::calloc(maxChars, sizeof(unsigned short)));
  if (!start || !length) {
    WriteTrace("err - ", "analysing barcode", static_cast<int>(GetLastError()), false);
    MyDev.lastResult = PVK_ERR_OUT_OF_MEMORY;
    std::free(start);
    std::free(length);
    std::free(copy.data);
    return -1;
  }
  int count = 0;
  const bool oneOffset = pvk::symbols::twoGreyLevels(img);
  PVKImg lowest{};  // the cleaning at the first offset, kept for the grey pass
  for (int offset : {-40, 0, 40}) {
    if (pvk::core::stopRequested()) break;
    PVKImg clean{};
    text[0] = conf[0] = 0;
    if (!pulisci(&copy, &clean, offset)) break;
    bool retryHint = false;
    count = ReadBarCode1(&clean, maxChars, text, conf, start, length, &retryHint);
    if (lowest.data) std::free(clean.data);
    else lowest = clean;
    if (count > 0 || !retryHint || oneOffset) break;
  }
  if (count <= 0 && lowest.data && !oneOffset && !pvk::core::stopRequested())
    count = readByGrey(lowest, maxChars, text, conf, start, length);
  std::free(lowest.data);
  if (count > 0) count = DropPieces(text, conf, start, length, dropWeak(text, conf, start, length, count));
  if (count <= 0) {
    count = 0;
    text[0] = conf[0] = 0;
  }
  std::free(start);
  std::free(length);
  std::free(copy.data);
  return count;
}
