// The best row of a multi-line zone reading, for zones read as a single line: rows are the
// stretches between CR LF pairs, scored by the mean confidence of their scored characters.
#include <cstring>

#include "reading/reading.h"

namespace {

struct Row {
  int start = 0;
  int length = 0;
};

// Scores the row from `start` up to its CR (or the end); `next` is where the next row begins.
void scoreRow(const char* text, const char* conf, int start, int count, int& length, int& sum, int& scored,
              int& next) {
  length = sum = scored = 0;
  int i = start;
  for (; i < count && text[i] != '\r'; ++i) {
    ++length;
    const char c = text[i];
    if (c == ' ' || c == ',' || c == '.') continue;
    ++scored;
    sum += c == '?' ? -10 : static_cast<unsigned char>(conf[i]);
  }
  next = i + 1;  // past the CR
  if (next < count && text[next] == '\n') ++next;
}

}  // namespace

namespace pvk::reading {

void bestRow(char* text, char* conf, ChInfo* info, int& count) {
  if (!text || !conf || count <= 0) return;
  Row best;
  bool chosen = false;
  int bestValue = 0;
  for (int start = 0; start < count;) {
    int length, sum, scored, next;
    scoreRow(text, conf, start, count, length, sum, scored, next);
    // Compared by the mean of the scored characters, kept as the mean over the whole row.
    if (scored > 0 && bestValue < sum / scored) {
      best = Row{start, length};
      bestValue = sum / length;
      chosen = true;
    }
    start = next;
  }
  if (!chosen) best = Row{0, 0};
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
