// The best row of a multi-line zone reading, for zones read as a single line: rows are the
// stretches between CR LF pairs, scored by the mean confidence of their scored characters. With
// the character boxes, a row that fits the font goes before one that does not: a zone drawn too
// tall takes in part of the neighbouring line, cut by the zone's edge and lower than the font.
#include <algorithm>
#include <cstring>
#include <vector>

#include "reading/reading.h"

namespace {

struct Row {
  int start = 0;
  int length = 0;
  int sum = 0;
  int scored = 0;
  bool fits = false;
};

// Scores the row from `start` up to its CR (or the end); `next` is where the next row begins.
Row scoreRow(const char* text, const char* conf, int start, int count, int& next) {
  Row r{start};
  int i = start;
  for (; i < count && text[i] != '\r'; ++i) {
    ++r.length;
    const char c = text[i];
    if (c == ' ' || c == ',' || c == '.') continue;
    ++r.scored;
    r.sum += c == '?' ? -10 : static_cast<unsigned char>(conf[i]);
  }
  next = i + 1;  // past the CR
  if (next < count && text[next] == '\n') ++next;
  return r;
}

bool digitOrLetter(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// No digit or letter of the row reaches within 2 rows of the zone's top or 3 of its bottom, and
// their median height is at least 3/5 of the font's nominal height.
bool rowFits(const char* text, const ChInfo* info, const Row& r, int zoneHeight, int nominal) {
  std::vector<int> heights;
  for (int i = r.start; i < r.start + r.length; ++i) {
    if (!digitOrLetter(text[i])) continue;
    if (info[i].top <= 2 || info[i].bottom + 3 >= zoneHeight) return false;
    heights.push_back(info[i].bottom > info[i].top ? info[i].bottom - info[i].top : 0);
  }
  if (heights.empty()) return false;
  std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
  return 5 * heights[heights.size() / 2] >= 3 * nominal;
}

}  // namespace

namespace pvk::reading {

void bestRow(char* text, char* conf, ChInfo* info, int& count, int zoneHeight) {
  if (!text || !conf || count <= 0) return;
  std::vector<Row> rows;
  for (int start = 0; start < count;) {
    int next = start;
    rows.push_back(scoreRow(text, conf, start, count, next));
    start = next;
  }
  bool anyFits = false;
  if (info != nullptr && zoneHeight > 0) {
    for (Row& r : rows) anyFits |= r.fits = rowFits(text, info, r, zoneHeight, MyOcr.charHeight);
  }
  Row best;
  bool chosen = false;
  int bestValue = 0;
  for (const Row& r : rows) {
    if (anyFits && !r.fits) continue;
    // Compared by the mean of the scored characters, kept as the mean over the whole row.
    if (r.scored > 0 && bestValue < r.sum / r.scored) {
      best = r;
      bestValue = r.sum / r.length;
      chosen = true;
    }
  }
  if (!chosen) best = Row{};
  if (best.start > 0 && best.length > 0) {
    std::memmove(text, text + best.start, static_cast<size_t>(best.length));
    std::memmove(conf, conf + best.start, static_cast<size_t>(best.length));
    if (info) std::memmove(info, info + best.start, sizeof(ChInfo) * static_cast<size_t>(best.length));
  }
  text[best.length] = '\0';
  conf[best.length] = '\0';
  count = best.length;
}

}  // namespace pvk::reading

void ScegliRigaMigliore(char* text, char* conf, int& count) { pvk::reading::bestRow(text, conf, nullptr, count); }
