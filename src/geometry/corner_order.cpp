// Naming the four corners of a document box: top-left, top-right, bottom-right, bottom-left.
#include "geometry/geometry.h"

#include <algorithm>

namespace pvk::geometry {

namespace {

bool isOneOf(int v, int a, int b) { return v == a || v == b; }
bool exactlyOneOf(float v, int a, int b) { return v == static_cast<float>(a) || v == static_cast<float>(b); }

}  // namespace

void orderCorners(const cv::Point2f p[4], cv::Point2f out[4], int ys[4], int xs[4]) {
  for (int k = 0; k < 4; ++k) {
    ys[k] = static_cast<int>(p[k].y);
    xs[k] = static_cast<int>(p[k].x);
  }
  std::sort(ys, ys + 4);
  std::sort(xs, xs + 4);
  bool taken[4] = {false, false, false, false};

  // Top-left: the leftmost of the two upper corners; when the box corners do not sit on whole
  // rows, prefer the upper corner in the second column.
  int c = 0;
  for (int k = 1; k < 4; ++k)
    if (isOneOf(static_cast<int>(p[k].y), ys[0], ys[1]) && p[c].x >= p[k].x) c = k;
  if (!exactlyOneOf(p[c].y, ys[0], ys[1]))
    for (int k = 0; k < 4; ++k)
      if (isOneOf(static_cast<int>(p[k].y), ys[0], ys[1]) && static_cast<int>(p[k].x) == xs[1]) c = k;
  out[0] = p[c];
  taken[c] = true;

  // Top-right: the highest of the rest.
  c = -1;
  for (int k = 0; k < 4; ++k) {
    if (taken[k]) continue;
    if (c < 0 || p[k].y <= p[c].y) c = k;
  }
  out[1] = p[c];
  taken[c] = true;

  // Bottom-right: the rightmost lower corner of the rest.
  c = -1;
  for (int k = 0; k < 4; ++k) {
    if (taken[k]) continue;
    if (c < 0) {
      c = k;
      continue;
    }
    if (p[k].x >= p[c].x && isOneOf(static_cast<int>(p[k].y), ys[2], ys[3])) c = k;
  }
  if (!exactlyOneOf(p[c].y, ys[2], ys[3]))
    for (int k = 0; k < 4; ++k)
      if (!taken[k] && static_cast<int>(p[k].x) == xs[2] && isOneOf(static_cast<int>(p[k].y), ys[2], ys[3]))
        c = k;
  out[2] = p[c];
  taken[c] = true;

  for (int k = 0; k < 4; ++k)
    if (!taken[k]) out[3] = p[k];
}

}  // namespace pvk::geometry
