// The PDF417 zone reader: cleans the zone, finds the symbol's extent and skew, straightens it,
// cuts it into rows, finds the start and stop patterns and the codeword columns, and hands
// the codewords of every row to the stream decoder.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "image/image.h"
#include "ocr/ocr.h"
#include "symbols/symbols.h"

using pvk::symbols::PdfScan;
using pvk::symbols::pdfTrace;

namespace {

constexpr int kMinWidth = 150, kMaxWidth = 3888;

// A pixel buffer of our own, freed with the C allocator.
struct OwnedImg {
  PVKImg img{};
  ~OwnedImg() { std::free(img.data); }
};

PVKImg view(const PVKImg& src, int x, int y, int width, int height)
{
  PVKImg v = src;
  v.data = src.data + static_cast<size_t>(y) * src.stride + x;
  v.width = static_cast<uint16_t>(width);
  v.height = static_cast<uint16_t>(height);
  return v;
}

// ---- Start, stop and columns ---------------------------------------------------------------

// The runs are the stop pattern without a module off.
bool exactStop(const int* runs)
{
  static const int stop[8] = {7, 1, 1, 3, 1, 1, 1, 2};
  int total = 0;
  for (int k = 0; k < 8; ++k)
    total += runs[k];
  for (int k = 0; k < 8; ++k)
    if (std::abs(runs[k] * 16 - stop[k] * total) * 2 > total)
      return false;
  return true;
}

bool findStartStop(PdfScan& s, const PVKImg& img, int n, bool& startFound)
{
  const int* e = s.edges.data();
  int top = 0;
  for (int i = 0; i < n; ++i)
    top = std::max(top, e[i]);
  const int strong = top / 4, edge = top / 8;
  int runs[8], span = 0, lines0 = 0, lines1 = 0;
  s.start = -1;
  // The first start pattern whose bar is ink on paper down the symbol.
  for (int i = pvk::symbols::pdfFindStart(e, n, 0, strong, edge, runs, span); i >= 0;
       i = pvk::symbols::pdfFindStart(e, n, i + 2, strong, edge, runs, span)) {
    if (pvk::symbols::pdfStartLines(img, i, runs, lines0, lines1)) {
      s.start = i;
      s.width = span;
      startFound = true;
      break;
    }
  }
  if (s.start < 0)
    return false;
  s.hasStop = false;
  int stopLeft = n;
  // A stop read exactly first: a data character may lie within a few bits of its pattern.
  for (int pass = 0; pass < 2 && !s.hasStop; ++pass)
  for (int i = n - 1; i > s.start + s.width && !s.hasStop; --i) {
    if (e[i] <= strong)
      continue;
    span = pvk::symbols::pdfCollectRuns(e, n, i, edge, false, runs);
    if (span > 31 && i - span > s.start && decodPdf417(runs, 0, 1, 0) == 1001 &&
        (pass == 1 || exactStop(runs))) {
      s.hasStop = true;
      stopLeft = i - span;
      // The stop's last bar ends at the next falling edge.
      s.end = i + 1;
      while (s.end < n && e[s.end] >= -edge)
        ++s.end;
      s.end = std::min(s.end, n - 1);
    } else {
      --i;
    }
  }
  // Column boundaries: the strongest rising edge near one codeword width after the last.
  const int w = s.width, limit = s.hasStop ? stopLeft : n;
  s.boundaries.assign(1, s.start);
  while (static_cast<int>(s.boundaries.size()) < 64) {
    int prev = s.boundaries.back();
    if (prev + w > limit - w / 4)
      break;
    int lo = prev + w * 8 / 10, hi = std::min(prev + w * 12 / 10, n - 1), at = prev + w, best = 0;
    for (int k = lo; k <= hi; ++k)
      if (e[k] > best) {
        best = e[k];
        at = k;
      }
    s.boundaries.push_back(at);
  }
  return true;
}

// Without a stop the row indicators of cluster 2 settle how many data columns there are.
void columnsFromIndicators(PdfScan& s, const PVKImg& img, const datiRigheType* rows, int nRows)
{
  const int n = 2 * img.width;
  for (int r = 2; r < nRows; r += 3) {
    int start = rows[r].first, lines = std::min(rows[r].height, img.height - start);
    for (bool shrink = true; lines >= 3; shrink = !shrink) {
      PVKImg band = view(img, 0, start, img.width, lines);
      normalizza(&band, s.signal.data(), s.work.data(), s.edges.data(), lines);
      for (int i = 0; i < s.start; ++i)
        s.edges[i] = 0;
      pulisciPdf417(s.edges.data(), s.boundaries.data(), static_cast<int>(s.boundaries.size()), n);
      if (SampleRow(s.runs.data(), s.edges.data(), n) >= 16) {
        int v = decodPdf417(s.runs.data(), 8, 0, 2);
        if (v >= 0 && v / 30 == r / 3) {
          s.dataColumns = v % 30 + 1;
          return;
        }
      }
      if (shrink)
        lines = std::min(lines - 1, lines / 2);
      else
        start += lines;
    }
  }
}

// The start, stop and codeword columns of the symbol of a straightened image, into s: 1, 0 when
// they do not fit, -1 when memory runs out.
int symbolColumns(PVKImg* img, const datiRigheType* rows, int nRows, PdfScan& s, bool& startFound)
{
  const int n = 2 * img->width;
  try {
    s.signal.assign(n, 0);
    s.work.assign(n, 0);
    s.edges.assign(n, 0);
    s.runs.assign(1024, 0);
    s.matrix.assign(9600, -1);
  } catch (const std::bad_alloc&) {
    pdfTrace("err - ", "invalid memory allocation looking for pdf417", errno);
    MyDev.lastResult = -4;
    return -1;
  }
  normalizza(img, s.signal.data(), s.work.data(), s.edges.data(), img->height);
  if (!findStartStop(s, *img, n, startFound))
    return 0;
  const int boundaries = static_cast<int>(s.boundaries.size());
  if (boundaries > 63 || boundaries < 3)
    return 0;
  if (s.hasStop) {
    s.dataColumns = boundaries - 3;
    s.expectedRuns = (s.dataColumns + 3) * 8 + 9;
  } else {
    s.dataColumns = boundaries + 1 - 3;
    columnsFromIndicators(s, *img, rows, nRows);
    if (static_cast<int>(s.boundaries.size()) > s.dataColumns + 3)
      s.boundaries.resize(s.dataColumns + 3);
    if (static_cast<int>(s.boundaries.size()) < s.dataColumns + 3)
      return 0;
    s.end = s.boundaries[s.dataColumns + 2];
    s.expectedRuns = (s.dataColumns + 2) * 8;
  }
  return s.dataColumns < 1 ? 0 : 1;
}

// Cerca_Pdf417, which with `byLines` reads a symbol that its rows leave unread (or whose rows
// were too few to be rows of a symbol) once more line by line, from `above` lines above the
// image (the first row found: the symbol may begin higher). `linesTaken`, when given, is set
// once the symbol's columns are found with `byLines`: its lines are then read if need be.
int readSymbol(PVKImg* img, datiRigheType* rows, int nRows, char* text, char* conf, bool& startFound,
               unsigned short maxChars, bool byLines, int above, bool* linesTaken = nullptr)
{
  if (!rows || !img || !img->data)
    return -1;
  if (img->width < kMinWidth || img->width > kMaxWidth)
    return 0;
  const bool rowsFit = nRows >= 3 && nRows <= 90;
  if (!rowsFit && !byLines)
    return 0;
  PdfScan s;
  const int columns = symbolColumns(img, rows, nRows, s, startFound);
  if (columns <= 0)
    return columns;
  if (byLines && linesTaken)
    *linesTaken = true;
  int len = rowsFit ? pvk::symbols::readRows(img, rows, nRows, s, text, maxChars) : 0;
  auto readLines = [&] {
    PVKImg lines = *img;
    lines.data -= static_cast<size_t>(above) * img->stride;
    lines.height = static_cast<uint16_t>(img->height + above);
    return pvk::symbols::readByLines(&lines, s, text, maxChars);
  };
  bool linesRead = false;
  if (len == 0 && rowsFit && (s.forward >= 2 || s.backward >= 2)) {
    // A second reading after what the row indicators said; rows left short are read again
    // along sloping lines (a bent or askew print).
    const std::vector<datiRigheType> again = pvk::symbols::secondLayout(rows, nRows, s);
    // Turned over, or with rows beyond those found, a symbol reads again along its rows at
    // once. Otherwise its rows were read short where they lie, and the reading line by line,
    // which follows each line's slope, costs far less than scanning each of them at seven more.
    const bool rowsAgain = s.backward > s.forward || s.symbolRows > nRows;
    if (byLines && !rowsAgain) {
      len = readLines();
      linesRead = true;
    }
    s.shearRows = true;
    if (len == 0)
      len = pvk::symbols::readRows(img, again.data(), static_cast<int>(again.size()), s, text, maxChars);
  }
  if (len == 0 && byLines && !linesRead)
    len = readLines();
  if (len > 0) {
    for (int i = 0; i < len; ++i)
      conf[i] = 100;
    text[len] = conf[len] = 0;
    return len;
  }
  if (text && maxChars > 0)
    text[0] = 0;
  if (conf && maxChars > 0)
    conf[0] = 0;
  return 0;
}

}  // namespace

int Cerca_Pdf417(PVKImg* img, datiRigheType* rows, int nRows, char* text, char* conf,
                 bool& startFound, unsigned short maxChars)
{
  return readSymbol(img, rows, nRows, text, conf, startFound, maxChars, false, 0);
}


namespace {

// One pass of the reader over a cleaned image.
int readCleaned(PVKImg& cleaned, char* text, char* conf, unsigned short maxChars, bool& startFound)
{
  if (cleaned.width < 128 || cleaned.height < 16)
    return 0;
  int left, right;
  if (!pvk::symbols::pdfFindExtent(cleaned, left, right))
    return 0;
  float angle = CalcolaAngoloPDF(&cleaned, left, right);
  OwnedImg rotated;
  PVKImg* src = &cleaned;
  int shift = 0;
  if (std::fabs(angle) > 0.001f) {
    // Straightening costs more than all the rest of a zone that holds no symbol: a zone ends
    // here when fewer of its lines than the start's check wants once straightened (6) cross a
    // start or stop pattern, or when its edges show no start pattern, in bands thin enough for
    // the pattern's bar to lean less than half a pixel in each.
    const int lines = std::clamp(static_cast<int>(0.5f / std::fabs(std::tan(angle))), 16, 64);
    const int from = std::max(left - 5, 0), to = std::min(right + 50, cleaned.width - 1);
    const PVKImg searched = view(cleaned, from, 0, to - from + 1, cleaned.height);
    if (pvk::symbols::pdfPatternLines(searched, 6) < 6 || !pvk::symbols::pdfStartSeen(searched, lines))
      return 0;
    const int dpi = cleaned.dpi ? cleaned.dpi : 1;
    if (!StretchRotateStretch(cleaned, rotated.img, dpi, dpi, dpi, dpi, angle, 1, false))
      return 0;
    src = &rotated.img;
    shift = static_cast<int>(std::fabs(cleaned.height * std::sin(angle)) + 0.5f);
  }
  int x0 = std::max(left - 5, 0);
  int x1 = std::min(right + 50 + shift, src->width - 1);
  if (src->height < 4 || x1 - x0 + 1 < 32)
    return 0;
  PVKImg crop = view(*src, x0, 0, x1 - x0 + 1, src->height);
  // No start pattern inked down the zone, no symbol. Rows are sought only along the lines it
  // spans: a rule or print above or below the symbol would be taken for rows of it.
  int top = 0, bottom = 0;
  if (!pvk::symbols::pdfSymbolLines(crop, top, bottom))
    return 0;
  startFound = true;
  const PVKImg lines = view(crop, 0, top, crop.width, bottom - top);
  // Rows are bounded by the difference of each line with the one 4 below; rows of fewer lines
  // than that (small modules printed low) show no boundary there, and are sought again with
  // the next line but one, then the next.
  bool linesRead = false, rowsTried = false;
  for (int lag : {4, 2, 1}) {
    if (pvk::core::stopRequested())
      return 0;
    datiRigheType rows[pvk::symbols::kPdfMaxRows + 1];
    float meanHeight = 0;
    int base = 0;
    int nRows = pvk::symbols::pdfFindRows(lines, rows, meanHeight, base, lag);
    base += top;
    if (nRows == 0)
      continue;
    PVKImg symbol = view(crop, 0, base, crop.width, crop.height - base);
    // The first symbol whose columns are found in this pass is read line by line too when its
    // rows read nothing: without a stop its columns come from the row indicators, which the
    // rows of one lag may miss and those of the next give.
    int len = readSymbol(&symbol, rows, nRows, text, conf, startFound, maxChars, !linesRead, base - top,
                         &linesRead);
    rowsTried = true;
    if (len == 0 && startFound && meanHeight > 1 && !pvk::core::stopRequested()) {
      for (int i = 0; i < nRows; ++i) {
        rows[i].first = static_cast<int>(i * meanHeight + 0.5f);
        rows[i].height = static_cast<int>(meanHeight);
        rows[i].last = rows[i].first + rows[i].height;
      }
      len = readSymbol(&symbol, rows, nRows, text, conf, startFound, maxChars, false, 0);
    }
    if (len != 0 || !startFound || meanHeight >= 2 * lag)
      return len;
  }
  // No rows found at all: the lines the start pattern spans are read one by one.
  if (rowsTried || pvk::core::stopRequested())
    return 0;
  datiRigheType none[1] = {};
  PVKImg symbol = lines;
  return readSymbol(&symbol, none, 0, text, conf, startFound, maxChars, true, 0);
}

}  // namespace

int ReadPdf(PVKImg img, char* text, char* conf, unsigned short maxChars)
{
  if (!text || !conf || maxChars < 1) {
    MyDev.lastResult = -3;
    return -1;
  }
  text[0] = conf[0] = 0;
  if (!img.data)
    return -1;
  // A zone the cleaning refuses fails with its trace and result; one below the least size the
  // reader takes reads nothing.
  if (img.stride < img.width || img.height < 8) {
    OwnedImg refused;
    pulisci(&img, &refused.img, -60);
    return -1;
  }
  if (img.width < 128 || img.height < 16)
    return 0;
  // The zone lies on paper: a cut through the start pattern's first bar or along the top or
  // bottom row still bounds them.
  OwnedImg zone;
  const int margin = pvk::symbols::paperMargin(img.dpi);
  if (!pvk::symbols::copyOnPaper(img, std::min(margin, (65535 - img.width) / 2),
                                 std::min(margin, (65535 - img.height) / 2), zone.img)) {
    pdfTrace("err - ", "read pdf invalid memory allocation", errno);
    MyDev.lastResult = -4;
    return -1;
  }
  bool anyStart = false;
  const bool oneOffset = pvk::symbols::twoGreyLevels(img);
  for (int offset = -60;; offset += 20) {
    if (pvk::core::stopRequested()) break;
    OwnedImg cleaned;
    if (!pulisci(&zone.img, &cleaned.img, offset))
      return -1;
    bool startFound = false;
    int len = 0;
    try {
      len = readCleaned(cleaned.img, text, conf, maxChars, startFound);
    } catch (const std::bad_alloc&) {
      pdfTrace("err - ", offset == -60 ? "read pdf invalid memory allocation"
                                        : "read pdf (2) with invalid memory allocation",
               errno);
      MyDev.lastResult = -4;
      return -1;
    }
    if (len != 0)
      return len;
    anyStart = anyStart || startFound;
    if (offset >= 0 || !anyStart || oneOffset)
      break;
  }
  text[0] = conf[0] = 0;
  return 0;
}
