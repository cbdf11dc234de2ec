// Linear bar extraction: the edge signal of a cleaned zone, the runs of bar and space widths
// between its strong edges, window by window, each plausible run handed to the cascade. The
// edges come from the band's level crossings, or, for blurred print, its grey extremes.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/shims.h"
#include "core/trace.h"
#include "ocr/ocr.h"
#include "symbols/symbols.h"

namespace {

constexpr int kWidestNarrow = 6001;  // widths past this count as this when the narrow width is weighed
constexpr int kMaxGap = 64;       // samples without a strong edge that end a run
constexpr int kWorkChars = kMaxBarcodeChars + 1;
constexpr int kLeastInk = 48;     // grey of a cleaned band's darkest column over its lightest, per row

void outOfMemory() {
  WriteTrace("read barcode with invalid memory allocation", static_cast<int>(GetLastError()), false);
  MyDev.lastResult = PVK_ERR_OUT_OF_MEMORY;
}

// Where the next window starts once the run ending at `last` was dealt with.
int advance(int from, int count, const _TipoBarre* bars) {
  if (count > 0 && static_cast<int>(bars[count - 1].position) > from + 3) return static_cast<int>(bars[count - 1].position);
  return from + 4;
}

// Weak edges go; of two strong edges of one sign in a row the weaker goes. The edges that
// bound elements, counted.
int pruneEdges(int* sig, int n, int threshold) {
  int edges = 0, prev = -1, last = -1;
  for (int i = 0; i < n; ++i) {
    int v = sig[i];
    if (v > threshold) {
      if (prev < 1) {
        ++edges;
      } else if (last >= 0 && sig[last] >= v) {
        sig[i] = 0;
        continue;
      } else if (last >= 0) {
        sig[last] = 0;
      }
      prev = v;
      last = i;
    } else if (v >= -threshold) {
      if (v > 0) sig[i] = 0;
    } else {
      if (prev < 0) {
        ++edges;
        if (last >= 0 && -sig[last] >= -v) {
          sig[i] = 0;
          continue;
        }
        if (last >= 0) sig[last] = 0;
      } else {
        edges += 2;
      }
      prev = v;
      last = i;
    }
  }
  return edges;
}

// Where the profile p falls from `from` (or rises, when it climbs towards `to`) through
// `level`, in edge-signal samples (two per pixel) to the nearest half pixel: the crossing
// interpolated between the two pixels on either side of it.
int crossing(const int* p, int from, int to, int level) {
  const bool rising = p[to] > p[from];
  int x = from;
  for (int i = from; i < to; ++i)
    if ((p[i] <= level) == rising) x = i;  // the last pixel still on the near side
  const int d = p[x] - p[x + 1];
  const double t = d ? static_cast<double>(p[x] - level) / d : 0.5;
  return static_cast<int>(2 * (x + std::clamp(t, 0.0, 1.0)) + 0.5);
}

// The sum of every column of a band (a strip thin enough that a tilted bar stays in its
// column), into p[0..width-1]: its grey profile at full depth.
void columnSums(const PVKImg* img, int* p) {
  std::fill(p, p + img->width, 0);
  for (int y = 0; y < img->height; ++y) {
    const uint8_t* row = img->data + static_cast<size_t>(y) * img->stride;
    for (int x = 0; x < img->width; ++x) p[x] += row[x];
  }
}

// The edges of the grey profile of a band of `rows` rows, w pixels (ink high), into sig (2 x w
// samples): between each two alternating extremes, a peak (a bar) and a valley (a space) that
// differ by a tenth of the profile's range or more, one edge, strength their difference, rising
// into a bar. A blurred narrow space that never reaches the paper's grey is still a valley
// between two peaks; at two pixels a module or less its dip is often under a sixth of the range.
// The edge lies where the profile crosses the middle grey of the whole band, kept within the
// middle quarter of the pair's own span: blur lowers a narrow bar's peak and raises a narrow
// space's valley, and the middle of the pair alone would thin the one and widen the other.
void greyEdges(const int* p, int w, int rows, int* sig) {
  std::memset(sig, 0, sizeof(int) * static_cast<size_t>(2 * w));
  const auto [lo, hi] = std::minmax_element(p, p + w);
  // A band without print: its grain would give edges by the thousand.
  if (*hi - *lo < kLeastInk * rows) return;
  const int delta = (*hi - *lo) / 10, middle = (*lo + *hi) / 2;
  auto edge = [&](int from, int to) {
    const int a = std::min(p[from], p[to]), b = std::max(p[from], p[to]), q = (b - a) * 3 / 8;
    const int at = crossing(p, from, to, std::clamp(middle, a + q, b - q));
    if (at > 0 && at < 2 * w - 1 && !sig[at]) sig[at] = p[to] - p[from];
  };
  int last = -1, cand = 0;  // the last extreme confirmed, the candidate for the next
  bool peak = false;        // a valley first: a bar's rising edge needs the paper before it
  for (int x = 1; x < w; ++x) {
    if (peak ? p[x] > p[cand] : p[x] < p[cand]) cand = x;
    if (peak ? p[x] > p[cand] - delta : p[x] < p[cand] + delta) continue;
    if (last >= 0) edge(last, cand);
    last = cand;
    cand = x;
    peak = !peak;
  }
  // Nothing rises after the paper behind the last bar to confirm its valley: the band's end
  // does, or the last bar would have no falling edge. (The candidate already lies a delta or
  // more below the peak that confirmed it.)
  if (!peak && last >= 0) edge(last, cand);
}

// The edge signal of an image and its threshold (see CalcolaSumPixY2); with `grey` the edges
// of its profile's extremes in place of its level crossings.
int* edgeSignal(const PVKImg* img, int& threshold, bool grey) {
  const int w = img->width;
  // Both are written whole before they are read: the profile, and the edges over the 2 x w
  // samples anything reads (the signal's padding cleared here). Not clearing them first saves
  // two passes over every strip a zone is read in.
  const size_t n = static_cast<size_t>(2 * w + 16);
  int* raw = static_cast<int*>(std::malloc(n * sizeof(int)));
  int* sig = static_cast<int*>(std::malloc(n * sizeof(int)));
  if (!raw || !sig) {
    std::free(raw);
    std::free(sig);
    outOfMemory();
    return nullptr;
  }
  std::fill(sig + 2 * w, sig + n, 0);
  int rows = img->height < 69 ? (img->height < 4 ? 0 : img->height - 4) : 64;
  bool ok = true;
  if (grey) {
    columnSums(img, raw);
    greyEdges(raw, w, img->height, sig);
  } else {
    ok = normalizzaBarcode(const_cast<PVKImg*>(img), raw, sig, rows);
  }
  std::free(raw);
  if (!ok) {
    std::free(sig);
    return nullptr;
  }
  long long sum = 0;
  int nonZero = 0;
  for (int i = 0; i < 2 * w; ++i)
    if (sig[i]) sum += std::abs(sig[i]), ++nonZero;
  if (nonZero > 15) threshold = static_cast<int>(sum / (4 * nonZero));
  if (threshold > 0 && pruneEdges(sig, 2 * w, threshold) > 15) return sig;
  std::free(sig);
  return nullptr;
}

}  // namespace

int* CalcolaSumPixY2(const PVKImg* img, int& threshold, int& from, int& to) {
  from = 0;
  to = 2 * img->width;
  return edgeSignal(img, threshold, false);
}

namespace {

// The edges of signal[from, to) no stronger than the threshold (a positive one) zeroed, the
// others summed and counted. Without branches the compiler takes many samples at a time: every
// window of a band weighs all the rest of its signal.
void weighEdges(int* signal, int from, int to, int threshold, long long& sum, int& strong) {
  for (int i = from; i < to; ++i) {
    const int v = signal[i], a = std::abs(v);
    const bool kept = a > threshold;
    signal[i] = kept ? v : 0;
    sum += kept ? a : 0;
    strong += kept;
  }
}

}  // namespace

int CercaBarre(int* signal, int& threshold, _TipoBarre* bars, int& count, int from, int to) {
  count = 0;
  long long sum = 0;
  int strong = 0;
  weighEdges(signal, from, to, threshold, sum, strong);
  if (strong < 6) return 0;
  if (strong > kMaxBarre) {
    if (MyDev.calibValid) WriteTrace("too many bars", strong, false);
    return 0;
  }
  int mean = static_cast<int>(sum / strong);
  if (mean < threshold) return 0;
  threshold = std::max(mean / 4, threshold);
  int begin = from;
  while (begin < to && signal[begin] <= threshold) ++begin;
  if (begin >= to) return 0;
  int prevEdge = begin;
  for (int i = begin + 1; i < to; ++i) {
    if (count > 0 && i - prevEdge > kMaxGap) break;
    if (std::abs(signal[i]) <= threshold) continue;
    if (count >= kMaxBarre) return 0;
    _TipoBarre& b = bars[count];
    b.position = static_cast<uint32_t>(i);
    b.edge = signal[i];
    b.width = static_cast<uint32_t>(i - prevEdge - (count == 0 ? 1 : 0));
    ++count;
    prevEdge = i;
  }
  if (count < 6) count = 0;
  return 1;
}

namespace {

// How many leading elements go when the first k do: a run opens with a bar, so an element
// that opens at a falling edge (a space after a wide dark band, a background or a border)
// goes with them.
int leadingToDrop(const _TipoBarre* bars, int count, int k) {
  return k > 0 && k < count && bars[k - 1].edge < 0 ? k + 1 : k;
}

}  // namespace

int AnalizzaBarre(_TipoBarre* bars, int& count) {
  for (;;) {
    if (count < 6) {
      count = 0;
      return 0;
    }
    long long sum = 0;
    uint32_t minW = bars[0].width;
    for (int i = 0; i < count; ++i) {
      sum += bars[i].width;
      minW = std::min(minW, bars[i].width);
    }
    long long m = sum / count;
    if (m <= static_cast<long long>(minW)) {
      count = 0;
      return 0;
    }
    // The narrow width: the elements under the mean weighed by their width. A width past
    // kWidestNarrow is never a narrow one and counts as kWidestNarrow.
    long long num = 0, den = 0;
    for (int i = 0; i < count; ++i) {
      const long long v = std::min<uint32_t>(bars[i].width, kWidestNarrow);
      if (v >= minW && v < m) num += v * v, den += v;
    }
    double narrow = den ? static_cast<double>(num) / den : static_cast<double>(minW);
    long long limit = std::min<long long>(6 * m, static_cast<long long>(10 * narrow));
    int k = 0;
    while (k < count && static_cast<long long>(bars[k].width) >= limit) ++k;
    k = leadingToDrop(bars, count, k);
    if (k + 5 >= count) {
      count = 0;
      return 0;
    }
    if (k > 0) {
      std::memmove(bars, bars + k, sizeof(_TipoBarre) * static_cast<size_t>(count - k));
      count -= k;
      continue;
    }
    int j = 1;
    while (j < count && static_cast<long long>(bars[j].width) <= limit) ++j;
    if (j == count) {
      if (count == 6) {
        count = 0;
        return 0;
      }
      return 1;
    }
    if (j > 5) {
      count = j;
    } else {
      j = leadingToDrop(bars, count, j);
      std::memmove(bars, bars + j, sizeof(_TipoBarre) * static_cast<size_t>(count - j));
      count -= j;
    }
  }
}

namespace {

// The work list of one window and the elements of its run.
struct Window {
  char text[kWorkChars];
  char conf[kWorkChars];
  unsigned short start[kWorkChars];
  unsigned short length[kWorkChars];
  _TipoBarre bars[kMaxBarre];
};

// What the attempts on one window came to: characters read, where the next window starts, and
// whether the signal holds no barcode from here on.
struct Attempts {
  int read;
  int nextFrom;
  bool stop;
};

// The runs of the window at `from`, each refusal raising the threshold, until one reads.
Attempts readWindow(const PVKImg* img, int* signal, int& threshold, int from, int to, Window* win, bool* retryHint) {
  std::memset(win->text, 0, sizeof win->text);
  std::memset(win->conf, 0, sizeof win->conf);
  std::memset(win->start, 0, sizeof win->start);
  std::memset(win->length, 0, sizeof win->length);
  const int dpi = img->dpi;
  Attempts a{0, from + 4, false};
  int count = 0;
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (!CercaBarre(signal, threshold, win->bars, count, from, to)) {
      a.stop = true;
      break;
    }
    if (count < 7) {
      a.nextFrom = advance(from, count, win->bars);
      break;
    }
    if (count > 60 && img->height > 40 * dpi / 300 && retryHint) *retryHint = true;
    int lastFound = advance(from, count, win->bars);
    const int found = count;
    if (!AnalizzaBarre(win->bars, count)) {
      // A run as long as the shortest symbols that the trimming refuses whole: a crinkled or
      // curved print blurs its bars in a band this high, and thinner strips may not.
      if (found > 20 && retryHint) *retryHint = true;
      a.nextFrom = lastFound;
      break;
    }
    a.nextFrom = advance(from, count, win->bars);
    if (count % 2 == 1) {
      a.read = decodificaBarcode(count, win->bars, win->text, win->conf, win->start, win->length, kMaxBarcodeChars,
                                 img, retryHint);
      // A run as long as the shortest symbols that reads nothing: thinner strips and other
      // grey offsets may separate what this band mixes (printed digits, a stain).
      if (a.read == 0 && count > 20 && retryHint) *retryHint = true;
      if (a.read > 0 || count < 30) break;
    } else if (count < 30) {
      break;
    }
    threshold = std::max(threshold * 11 / 10, threshold + 1);
  }
  return a;
}

// Every run of an edge signal (freed here) into the list, window by window; the characters
// placed.
int readRuns(const PVKImg* img, int* signal, int threshold, int maxChars, char* text, char* conf,
             unsigned short* start, unsigned short* length, bool* retryHint) {
  const pvk::symbols::BrightColumns columns(img);
  Window* win = static_cast<Window*>(std::malloc(sizeof(Window)));
  if (!win) {
    std::free(signal);
    outOfMemory();
    return 0;
  }
  const int step = img->dpi * 64 / 300 / 2, to = 2 * img->width;
  int gathered = static_cast<int>(strnlen(text, static_cast<size_t>(maxChars)));
  for (int from = 0; from + step < to;) {
    const Attempts a = readWindow(img, signal, threshold, from, to, win, retryHint);
    if (a.stop) break;
    if (a.read > 0 && !AggiungiBarCode(text, conf, start, length, gathered, &gathered, maxChars, win->text,
                                       win->conf, win->start, win->length, 0) &&
        MyDev.lastResult == PVK_ERR_OUT_OF_MEMORY)
      break;
    // Past the run even when the attempts read nothing, or the same window comes back for ever.
    from = std::max(a.nextFrom, from + 1);
  }
  if (gathered > 0 && text[gathered - 1] == ' ') {
    --gathered;
    text[gathered] = 0;
    conf[gathered] = 0;
  }
  std::free(win);
  std::free(signal);
  return gathered;
}

// Whether ReadBarCode0 reads this image at all (its arguments usable, the image large enough).
bool readable(const PVKImg* img, int maxChars, const char* text, const char* conf, const unsigned short* start,
              const unsigned short* length) {
  if (!img->data || !text || !conf || !start || !length || maxChars < 1) return false;
  const int dpi = img->dpi;
  return img->width >= 64 * dpi / 300 && img->height >= 8 * dpi / 300;
}

int firstThreshold(const PVKImg* img) { return img->height < 40 ? img->height / 4 : 10; }

}  // namespace

int ReadBarCode0(const PVKImg* img, int maxChars, char* text, char* conf, unsigned short* start,
                 unsigned short* length, bool* retryHint) {
  MyDev.lastResult = 0;
  if (!img) {
    WriteTrace("ReadBarCode0 with null pointer", false);
    return -1;
  }
  if (!readable(img, maxChars, text, conf, start, length)) return 0;
  int threshold = firstThreshold(img), from = 0, to = 0;
  int* signal = CalcolaSumPixY2(img, threshold, from, to);
  if (!signal) return 0;
  return readRuns(img, signal, threshold, maxChars, text, conf, start, length, retryHint);
}

int pvk::symbols::readBarCodeByGrey(const PVKImg* img, int maxChars, char* text, char* conf, unsigned short* start,
                                    unsigned short* length, bool*) {
  MyDev.lastResult = 0;
  if (!img || !readable(img, maxChars, text, conf, start, length)) return 0;
  int threshold = firstThreshold(img);
  int* signal = edgeSignal(img, threshold, true);
  if (!signal) return 0;
  return readRuns(img, signal, threshold, maxChars, text, conf, start, length, nullptr);
}
