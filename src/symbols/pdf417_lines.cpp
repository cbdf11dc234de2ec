// PDF417 read line by line: every line of the symbol is one scan line, and its codewords go to
// the row that its row indicator names (the indicator's cluster gives the row within its group
// of three, its value the group). Rows need not be found: rows lower than the line differences
// can part, and rows that slope across each other, are read so.
#include <algorithm>
#include <utility>
#include <vector>

#include "symbols/symbols.h"

namespace {

constexpr int kMostRows = 90;

// The values read for one codeword and how often each was read.
using Votes = std::vector<std::pair<int, int>>;

void vote(Votes& v, int value)
{
  for (auto& [val, n] : v)
    if (val == value) {
      ++n;
      return;
    }
  v.emplace_back(value, 1);
}

// The value read most often, -1 when none was read or two were read equally often.
int winner(const Votes& v)
{
  int best = -1, most = 0;
  bool tie = false;
  for (const auto& [val, n] : v) {
    if (n > most)
      best = val, most = n, tie = false;
    else if (n == most)
      tie = true;
  }
  return tie ? -1 : best;
}

// The row indicator of the scan line in s.runs at run `at`: its cluster (0, 1, 2) and value.
bool indicator(pvk::symbols::PdfScan& s, int at, int& cluster, int& value)
{
  for (cluster = 0; cluster < 3; ++cluster)
    if ((value = decodPdf417(s.runs.data(), at, 0, cluster)) >= 0)
      return true;
  return false;
}

}  // namespace

int pvk::symbols::readByLines(PVKImg* img, PdfScan& s, char* text, unsigned short maxChars)
{
  const int cols = s.dataColumns;
  if (cols < 1 || !text)
    return 0;
  std::vector<Votes> cells(static_cast<size_t>(kMostRows) * cols);
  int groupVotes[30] = {}, restVotes[3] = {}, level = -1, lastRow = -1;
  for (int y = 0; y < img->height; ++y) {
    int cluster, value;
    if (!pdfScanLine(s, img, y, 1))
      continue;
    // The left indicator names the row; without it, the right one (after a stop).
    const bool left = indicator(s, 8, cluster, value);
    if (!left && !(s.hasStop && indicator(s, 8 * (cols + 2), cluster, value)))
      continue;
    const int row = 3 * (value / 30) + cluster, q = value % 30;
    // Which of the symbol's counts this indicator holds depends on its side and cluster.
    const int kind = left ? cluster : (cluster + 2) % 3;  // 0 rows, 1 level and rows, 2 columns
    if (row >= kMostRows || (kind == 2 && q != cols - 1))
      continue;
    if (kind == 0)
      ++groupVotes[q];
    if (kind == 1) {
      ++restVotes[q % 3];
      if (q / 3 <= 8)
        level = std::max(level, q / 3);
    }
    lastRow = std::max(lastRow, row);
    for (int j = 0; j < cols; ++j) {
      const int cw = decodPdf417(s.runs.data(), 8 * (j + 2), 0, cluster);
      if (cw >= 0)
        vote(cells[static_cast<size_t>(row) * cols + j], cw);
    }
  }
  const int* group = std::max_element(groupVotes, groupVotes + 30);
  const int* rest = std::max_element(restVotes, restVotes + 3);
  const int rows = *group >= 2 && *rest >= 1 ? 3 * static_cast<int>(group - groupVotes) + static_cast<int>(rest - restVotes) + 1
                                             : lastRow + 1;
  if (rows < 3 || rows > kMostRows || level < 0)
    return 0;
  std::vector<int> matrix(static_cast<size_t>(rows) * cols);
  for (size_t i = 0; i < matrix.size(); ++i)
    matrix[i] = winner(cells[i]);
  return AnalyzeRuns(static_cast<int>(matrix.size()), matrix.data(), text, level, maxChars);
}
