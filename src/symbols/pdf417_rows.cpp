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

// The edges of one band of lines as one scan line, cleaned until its runs fit the columns;
// a line that does not fit is read column by column.
bool scanLine(PdfScan& s, const PVKImg* img, int top, int lines)
{
  PVKImg band = *img;
  band.data = img->data + static_cast<size_t>(top) * img->stride;
  band.height = static_cast<uint16_t>(lines);
  int* out = s.edges.data();
  normalizza(&band, s.signal.data(), s.work.data(), out, lines);
  const int n = 2 * img->width;
  for (int i = 0; i < n; ++i)
    if (i < s.start || i > s.end)
      out[i] = 0;
  int runs = SampleRow(s.runs.data(), out, n);
  for (int k = 0; k < 4 && runs != s.expectedRuns; ++k) {
    pulisciPdf417(out, s.boundaries.data(), static_cast<int>(s.boundaries.size()), n);
    runs = SampleRow(s.runs.data(), out, n);
  }
  return runs == s.expectedRuns || (runs >= 8 && runsByColumn(s, out, n));
}

}  // namespace

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
  std::vector<int> best(cols, -1), line(cols, -1);
  int bestPoints = -1;
  const int maxPoints = cols + 1 + (s.hasStop ? 1 : 0);
  // A row is kept from 4 points (all it can score when it has one column), and only a line that
  // would keep it ends the search for better ones.
  const int needed = std::min(4, maxPoints);
  int start = row.first;
  int n = std::min(row.height, img->height - start);
  // Bands of at least 3 lines, or the whole row where it is lower than that.
  const int least = std::min(3, std::max(n, 1));
  bool shrink = true;
  while (n >= least && start + n <= img->height) {
    bool fit = scanLine(s, img, start, n);
    if (fit) {
      int points = scoreLine(s, r, nRows, line.data());
      if (points <= maxPoints) {
        if (points > bestPoints) {
          // The better line keeps what the old best read where it read nothing.
          for (int j = 0; j < cols; ++j)
            if (line[j] < 0 && bestPoints >= 0)
              line[j] = best[j];
          best = line;
          bestPoints = points;
        } else if (points * 6 > cols * 5) {
          for (int j = 0; j < cols; ++j)
            if (best[j] < 0)
              best[j] = line[j];
        }
        if (bestPoints >= std::max(cols, needed) && std::find(best.begin(), best.end(), -1) == best.end())
          break;
      }
    }
    if (shrink)
      n = std::min(n - 1, n / 2);
    else
      start += n;
    shrink = !shrink;
  }
  if (bestPoints < needed)
    return 0;
  if (s.count + cols > kMaxMatrix) {
    pvk::symbols::pdfTrace("", "too many Cdw", s.count + cols);
    return 0;
  }
  std::copy(best.begin(), best.end(), s.matrix.begin() + s.count);
  s.count += cols;
  return cols;
}
