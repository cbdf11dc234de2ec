// PDF417 rows: the runs of one scan line, its cleaning into 8 runs per codeword column, the
// decoding of one character (start, stop or a codeword of a cluster) and the reading of one
// symbol row from its best scan lines.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "ocr/ocr.h"
#include "symbols/symbols.h"

using pvk::symbols::PdfScan;

namespace {

constexpr int kStartKey = 0x922222;
constexpr int kStopKey = 0x824422;
constexpr int kMaxRuns = 1022;
constexpr int kMaxMatrix = 9600;

// Codeword values of each cluster sorted by key, for a binary search.
struct KeyIndex {
  std::pair<uint32_t, int> entries[3][929];
  KeyIndex()
  {
    for (int c = 0; c < 3; ++c) {
      for (int v = 0; v < 929; ++v)
        entries[c][v] = {static_cast<uint32_t>(tabPdf417[c][v]), v};
      std::sort(entries[c], entries[c] + 929);
    }
  }
  int find(int cluster, uint32_t key) const
  {
    const auto* e = entries[cluster];
    auto it = std::lower_bound(e, e + 929, std::make_pair(key, -1));
    return it != e + 929 && it->first == key ? it->second : -1;
  }
};

const KeyIndex& keyIndex()
{
  static const KeyIndex index;
  return index;
}

int differingBits(uint32_t a, uint32_t b) { return __builtin_popcount(a ^ b); }

// The six pair sums in modules as 4-bit digits, from counts 1..6 of m.
uint32_t keyOf(const calcModstr& m)
{
  uint32_t key = 0;
  for (int i = 1; i <= 6; ++i)
    key = key << 4 | (m.e[i].value > 15 ? 15 : m.e[i].value);
  return key;
}

}  // namespace

int decodPdf417(int* runs, int index, int startStop, int cluster)
{
  if (!runs || index < 0 || cluster < 0 || cluster > 2)
    return -1;
  calcModstr m{};
  m.count = 6;
  int total = 0;
  for (int i = 0; i < 8; ++i)
    total += runs[index + i];
  for (int i = 0; i < 6; ++i) {
    m.e[i + 1].value = static_cast<uint32_t>(std::max(runs[index + i] + runs[index + i + 1], 0));
    m.e[i + 1].residual = 0;
  }
  NormalizzaValore(&m, total, 17);
  if (startStop) {
    uint32_t key = keyOf(m);
    int dStart = differingBits(key, kStartKey), dStop = differingBits(key, kStopKey);
    if (dStart == 0)
      return 1000;
    if (dStop == 0)
      return 1001;
    if (std::min(dStart, dStop) >= 5)
      return -1;
    return dStart <= dStop ? 1000 : 1001;
  }
  for (int attempt = 0; attempt < 6; ++attempt) {
    int t[7];
    for (int i = 1; i <= 6; ++i)
      t[i] = static_cast<int>(m.e[i].value);
    int k = ((t[1] - t[2] + t[5] - t[6] + 9) % 9 + 9) % 9;
    if (k == 3 * cluster) {
      int v = keyIndex().find(cluster, keyOf(m));
      if (v >= 0)
        return v;
    }
    if (!correggiMod(&m, 0))
      break;
  }
  return -1;
}

int SampleRow(int* runs, int* edges, int n)
{
  if (!runs || !edges || n < 1)
    return 0;
  int i = 0;
  while (i < n && edges[i] <= 0)
    ++i;
  int count = 0, last = i;
  bool first = true;
  for (++i; i < n; ++i) {
    if (!edges[i])
      continue;
    if (count == kMaxRuns)
      return 0;
    runs[count++] = (i - last - (first ? 1 : 0)) * 68;
    first = false;
    last = i;
  }
  return count;
}

int pulisciPdf417(int* edges, int* columnStarts, int columns, int n)
{
  if (!edges || !columnStarts || columns < 1 || columns > 62 || n < 1)
    return 0;
  long keptSum = 0;
  int keptCount = 0;
  std::vector<int> at;
  for (int c = 0; c < columns; ++c) {
    int from = std::clamp(columnStarts[c], 0, n - 1);
    int to = c + 1 < columns ? std::clamp(columnStarts[c + 1], from, n) : n;
    at.clear();
    for (int i = from; i < to; ++i)
      if (edges[i])
        at.push_back(i);
    // A column opens with a bar: no falling edge before its first rising one.
    while (!at.empty() && edges[at.front()] < 0) {
      edges[at.front()] = 0;
      at.erase(at.begin());
    }
    // Edges alternate in sign: of two neighbours of one sign the weaker goes.
    for (size_t k = 1; k < at.size();) {
      if ((edges[at[k]] > 0) == (edges[at[k - 1]] > 0)) {
        size_t weak = std::abs(edges[at[k]]) < std::abs(edges[at[k - 1]]) ? k : k - 1;
        edges[at[weak]] = 0;
        at.erase(at.begin() + static_cast<long>(weak));
      } else {
        ++k;
      }
    }
    // 8 elements per codeword: drop the weakest neighbouring pair, which keeps the alternation.
    while (at.size() > 8 && c + 1 < columns) {
      size_t best = 1;
      long bestSum = -1;
      for (size_t k = 1; k + 1 < at.size(); ++k) {
        long s = std::abs(edges[at[k]]) + std::abs(edges[at[k + 1]]);
        if (bestSum < 0 || s < bestSum) {
          bestSum = s;
          best = k;
        }
      }
      edges[at[best]] = edges[at[best + 1]] = 0;
      at.erase(at.begin() + static_cast<long>(best), at.begin() + static_cast<long>(best) + 2);
    }
    // A column whose opening edge was lost gets one at its boundary.
    if ((at.empty() || at.front() > from + 2) && c + 1 < columns && from > 0 && !edges[from]) {
      int strength = at.empty() ? 64 : std::abs(edges[at.front()]);
      edges[from] = strength > 0 ? strength : 64;
      at.insert(at.begin(), from);
    }
    for (int i : at) {
      keptSum += std::abs(edges[i]);
      ++keptCount;
    }
  }
  if (keptCount) {
    long floor = keptSum / keptCount / 4;
    for (int i = std::clamp(columnStarts[columns - 1], 0, n); i < n; ++i)
      if (edges[i] && std::abs(edges[i]) < floor)
        edges[i] = 0;
  }
  return 1;
}

namespace {

// One scan line of a row: points for the indicators that agree and every codeword read.
int scoreLine(PdfScan& s, int r, int nRows, int* cw)
{
  const int cluster = r % 3, cols = s.dataColumns;
  const int rows = s.symbolRows > 0 ? s.symbolRows : nRows;
  int points = 0;
  int v = decodPdf417(s.runs.data(), 8, 0, cluster);
  if (v >= 0 && v / 30 != r / 3 && v / 30 == (nRows - 1 - r) / 3)
    ++s.backward;
  if (v >= 0 && v / 30 == r / 3) {
    ++s.forward;
    int q = v - 30 * (r / 3);
    if (cluster == 0) {
      points += q == (rows - 1) / 3;
      ++s.rowVotes[q];
    } else if (cluster == 1) {
      ++points;
      ++s.rowRestVotes[q % 3];
      // A level above 8 is no level: the stream decoder has no room for its syndromes.
      if (q / 3 <= 8)
        s.level = std::max(s.level, q / 3);
    } else
      points += q == cols - 1;
  }
  if (s.hasStop) {
    int w = decodPdf417(s.runs.data(), 8 * (cols + 2), 0, cluster);
    if (w >= 0 && w / 30 == r / 3) {
      int q = w % 30;
      if (cluster == 0)
        points += q == cols - 1;
      else if (cluster == 1) {
        points += q == (rows - 1) / 3;
        ++s.rowVotes[q];
      } else {
        ++points;
        ++s.rowRestVotes[q % 3];
        if (q / 3 <= 8)
          s.level = std::max(s.level, q / 3);
      }
    }
  }
  for (int j = 0; j < cols; ++j) {
    cw[j] = decodPdf417(s.runs.data(), 8 * (j + 2), 0, cluster);
    points += cw[j] >= 0;
  }
  return points;
}

// The runs of each codeword column taken on their own, from the rising edge nearest the
// column's start: 8 runs of alternating edges about one codeword wide, else zeros (which no
// character matches). A stray or lost edge then costs its own column, not every one after it.
// False when no column gives its runs.
bool runsByColumn(PdfScan& s, const int* edges, int n)
{
  const int w = s.width, reach = w / 5;
  bool any = false;
  for (size_t c = 0; c < s.boundaries.size(); ++c) {
    int* runs = s.runs.data() + 8 * c;
    std::fill(runs, runs + 8, 0);
    const int b = s.boundaries[c];
    int at = -1;
    for (int i = std::max(b - reach, 0); i <= std::min(b + reach, n - 1); ++i)
      if (edges[i] > 0 && (at < 0 || std::abs(i - b) < std::abs(at - b)))
        at = i;
    if (at < 0)
      continue;
    int found[8], k = 0, last = at;
    for (int i = at + 1; i < n && k < 8; ++i) {
      if (!edges[i])
        continue;
      if ((edges[i] > 0) != (k % 2 == 1))  // falling after a rising edge, and so on
        break;
      found[k++] = i - last;
      last = i;
    }
    if (k < 8 || std::abs(last - at - w) * 4 > w)
      continue;
    for (int j = 0; j < 8; ++j)
      runs[j] = found[j] * 68;
    any = true;
  }
  return any;
}

// The band of lines from top, sheared by `shear` pixels from the left edge to the right one (0:
// the lines as they lie), as an image of its own in s.band.
PVKImg shearedBand(PdfScan& s, const PVKImg* img, int top, int lines, int shear)
{
  PVKImg band = *img;
  band.height = static_cast<uint16_t>(lines);
  band.data = img->data + static_cast<size_t>(top) * img->stride;
  if (shear == 0)
    return band;
  const int w = img->width, h = img->height;
  s.band.resize(static_cast<size_t>(w) * lines);
  for (int x = 0; x < w; ++x) {
    const int dy = (2 * shear * x - shear * w) / (2 * w);
    for (int i = 0; i < lines; ++i) {
      const int y = std::clamp(top + i + dy, 0, h - 1);
      s.band[static_cast<size_t>(i) * w + x] = img->data[static_cast<size_t>(y) * img->stride + x];
    }
  }
  band.stride = static_cast<uint16_t>(w);
  band.data = s.band.data();
  return band;
}

// The edges of one band of lines as one scan line, cleaned until its runs fit the columns;
// a line that does not fit is read column by column.
bool scanLine(PdfScan& s, const PVKImg* img, int top, int lines, int shear)
{
  PVKImg band = shearedBand(s, img, top, lines, shear);
  int* out = s.edges.data();
  normalizza(&band, s.signal.data(), s.work.data(), out, lines);
  const int n = 2 * img->width;
  // The start was placed on the edges of the whole symbol's lines; on a blurred or ragged bar a
  // band of few lines may show its first edge a sample or two further left. Half a module of
  // slack keeps that edge: cut off, the line's runs would all fall one element out of step.
  const int from = s.start - s.width / 34;
  for (int i = 0; i < n; ++i)
    if (i < from || i > s.end)
      out[i] = 0;
  int runs = SampleRow(s.runs.data(), out, n);
  for (int k = 0; k < 4 && runs != s.expectedRuns; ++k) {
    pulisciPdf417(out, s.boundaries.data(), static_cast<int>(s.boundaries.size()), n);
    runs = SampleRow(s.runs.data(), out, n);
  }
  return runs == s.expectedRuns || (runs >= 8 && runsByColumn(s, out, n));
}

// The best line of a row so far and its points.
struct RowBest {
  std::vector<int> codewords;
  int points = -1;
};

// The scan lines of row r (bands of the whole row, then halves, sheared as asked) into best;
// true when a line completed the row.
bool scanRow(const PVKImg* img, const datiRigheType& row, int r, int nRows, PdfScan& s, int shear, RowBest& best)
{
  const int cols = s.dataColumns;
  const int maxPoints = cols + 1 + (s.hasStop ? 1 : 0);
  // A row is kept from 4 points (all it can score when it has one column), and only a line that
  // would keep it ends the search for better ones.
  const int needed = std::min(4, maxPoints);
  std::vector<int> line(cols, -1);
  int start = row.first;
  int n = std::min(row.height, img->height - start);
  // Bands of at least 3 lines, or the whole row where it is lower than that.
  const int least = std::min(3, std::max(n, 1));
  bool shrink = true;
  while (n >= least && start + n <= img->height) {
    if (scanLine(s, img, start, n, shear)) {
      int points = scoreLine(s, r, nRows, line.data());
      if (points <= maxPoints) {
        if (points > best.points) {
          // The better line keeps what the old best read where it read nothing.
          for (int j = 0; j < cols; ++j)
            if (line[j] < 0 && best.points >= 0)
              line[j] = best.codewords[j];
          best.codewords = line;
          best.points = points;
        } else if (points * 6 > cols * 5) {
          for (int j = 0; j < cols; ++j)
            if (best.codewords[j] < 0)
              best.codewords[j] = line[j];
        }
        if (best.points >= std::max(cols, needed) &&
            std::find(best.codewords.begin(), best.codewords.end(), -1) == best.codewords.end())
          return true;
      }
    }
    if (shrink)
      n = std::min(n - 1, n / 2);
    else
      start += n;
    shrink = !shrink;
  }
  return false;
}

}  // namespace

bool pvk::symbols::pdfScanLine(PdfScan& s, const PVKImg* img, int top, int lines)
{
  return scanLine(s, img, top, lines, 0);
}

int AnalizzaRigaPdf(const PVKImg* img, const datiRigheType* rows, int r, int nRows, PdfScan& s)
{
  const int cols = s.dataColumns;
  if (cols > 63) {
    pvk::symbols::pdfTrace("", "too many Cdw per Row", cols);
    return 0;
  }
  const datiRigheType& row = rows[r];
  if (row.first >= img->height)
    return 0;
  RowBest best;
  best.codewords.assign(cols, -1);
  // A print bent or seen askew runs its rows at slopes of their own: when asked, a row the
  // straightened lines leave incomplete is scanned again along lines that rise or fall across
  // it, the slope that completed the row before first.
  static const int kShears[] = {0, 2, -2, 4, -4, 6, -6};
  bool complete = scanRow(img, row, r, nRows, s, s.shearRows ? s.shear : 0, best);
  for (int k = 0; s.shearRows && !complete && k < 7; ++k)
    if (kShears[k] != s.shear && (complete = scanRow(img, row, r, nRows, s, kShears[k], best)))
      s.shear = kShears[k];
  if (best.points < std::min(4, cols + 1 + (s.hasStop ? 1 : 0)))
    return 0;
  if (s.count + cols > kMaxMatrix) {
    pvk::symbols::pdfTrace("", "too many Cdw", s.count + cols);
    return 0;
  }
  std::copy(best.codewords.begin(), best.codewords.end(), s.matrix.begin() + s.count);
  s.count += cols;
  return cols;
}

namespace {

// The rows the indicators agree on: the most voted (rows - 1) / 3 (at least two votes) and
// (rows - 1) % 3; 0 without such votes.
int toldRows(const PdfScan& s)
{
  const int* a = std::max_element(s.rowVotes, s.rowVotes + 30);
  const int* b = std::max_element(s.rowRestVotes, s.rowRestVotes + 3);
  if (*a < 2 || *b < 1)
    return 0;
  return 3 * static_cast<int>(a - s.rowVotes) + static_cast<int>(b - s.rowRestVotes) + 1;
}

}  // namespace

// The rows of a second reading, after what the indicators said: bottom up for a symbol upside
// down; checked against the rows they count when these are more than were found (those missing
// at the foot become erasures); that many laid evenly over those found when these are more (a
// profile that a bent or warped print doubles).
std::vector<datiRigheType> pvk::symbols::secondLayout(const datiRigheType* rows, int nRows, PdfScan& s)
{
  std::vector<datiRigheType> out(rows, rows + nRows);
  if (s.backward > s.forward) {
    std::reverse(out.begin(), out.end());
    return out;
  }
  const int told = toldRows(s);
  if (told > nRows && told <= 90) {
    s.symbolRows = told;
  } else if (told >= 3 && told < nRows) {
    const int top = rows[0].first, bottom = rows[nRows - 1].last;
    out.resize(told);
    for (int i = 0; i < told; ++i) {
      out[i].first = top + (bottom - top) * i / told;
      out[i].last = top + (bottom - top) * (i + 1) / told;
      out[i].height = out[i].last - out[i].first;
    }
    s.symbolRows = told;
  }
  return out;
}

// Reads every row into the codeword matrix and the matrix into text: a row that reads nothing
// keeps its place as erasures, and so do the rows the symbol has beyond the last one read when
// its row count is known. The text length, or 0.
int pvk::symbols::readRows(PVKImg* img, const datiRigheType* rows, int nRows, PdfScan& s, char* text, unsigned short maxChars)
{
  s.count = 0;
  s.level = -1;
  std::fill(s.matrix.begin(), s.matrix.end(), -1);
  int pending = 0;
  for (int r = 0; r < nRows; ++r) {
    int before = s.count;
    int got = AnalizzaRigaPdf(img, rows, r, nRows, s);
    if (got > 0) {
      if (pending) {
        int moved = s.count - before;
        int gap = pending * s.dataColumns;
        if (s.count + gap > 9600)
          break;
        std::memmove(&s.matrix[before + gap], &s.matrix[before], sizeof(int) * moved);
        std::fill(s.matrix.begin() + before, s.matrix.begin() + before + gap, -1);
        s.count += gap;
        pending = 0;
      }
    } else {
      ++pending;
    }
  }
  if (s.count > 0 && s.symbolRows > 0)
    s.count = std::min(std::max(s.count, s.symbolRows * s.dataColumns), 9600);
  return s.count > 0 && text ? AnalyzeRuns(s.count, s.matrix.data(), text, s.level, maxChars) : 0;
}
