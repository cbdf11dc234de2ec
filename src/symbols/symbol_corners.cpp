// The corner choice of the 2D symbol entries: which box point becomes the top-left, top-right,
// bottom-right and bottom-left corner of the upright warp.
#include "symbols/symbols.h"

#include <algorithm>

namespace {

inline int trunc(float v) { return static_cast<int>(v); }

}  // namespace

void ChooseSymbolCorners(const cv::Point2f p[4], cv::Point2f c[4]) {
  int ys[4], xs[4];
  for (int i = 0; i < 4; ++i) {
    ys[i] = trunc(p[i].y);
    xs[i] = trunc(p[i].x);
  }
  std::sort(ys, ys + 4);
  std::sort(xs, xs + 4);
  auto inTop = [&](int i) { return trunc(p[i].y) == ys[0] || trunc(p[i].y) == ys[1]; };
  auto inBottom = [&](int i) { return trunc(p[i].y) == ys[2] || trunc(p[i].y) == ys[3]; };
  bool used[4] = {false, false, false, false};

  // Top-left: the leftmost of the two upper points; a point whose exact row is not one of the
  // two upper rows gives way to the upper point in the second column.
  int c0 = 0;
  for (int i = 1; i < 4; ++i)
    if (inTop(i) && p[i].x <= p[c0].x) c0 = i;
  if (p[c0].y != static_cast<float>(ys[0]) && p[c0].y != static_cast<float>(ys[1]))
    for (int i = 0; i < 4; ++i)
      if (inTop(i) && xs[1] == trunc(p[i].x)) c0 = i;
  used[c0] = true;

  // Top-right: the highest of the others, the later one on a tie.
  int c1 = -1;
  for (int i = 0; i < 4; ++i)
    if (!used[i] && (c1 < 0 || p[i].y <= p[c1].y)) c1 = i;
  used[c1] = true;

  // Bottom-right: the rightmost lower point, with the same fallback on the third column.
  int c2 = -1;
  for (int i = 0; i < 4; ++i) {
    if (used[i]) continue;
    if (c2 < 0) c2 = i;
    else if (p[i].x >= p[c2].x && inBottom(i)) c2 = i;
  }
  if (p[c2].y != static_cast<float>(ys[2]) && p[c2].y != static_cast<float>(ys[3]))
    for (int i = 0; i < 4; ++i)
      if (!used[i] && xs[2] == trunc(p[i].x) && inBottom(i)) c2 = i;
  used[c2] = true;

  int c3 = 0;
  while (used[c3]) ++c3;
  c[0] = p[c0];
  c[1] = p[c1];
  c[2] = p[c2];
  c[3] = p[c3];
}

bool GrowSymbolCorners(cv::Point2f c[4], float m, float width, float height) {
  if (!(c[0].x > m && c[0].y > m && c[1].x + m < width && c[1].y > m && c[2].x + m < width && c[2].y + m < height &&
        c[3].x > m && c[3].y + m < height))
    return false;
  c[0] += cv::Point2f(-m, -m);
  c[1] += cv::Point2f(m, -m);
  c[2] += cv::Point2f(m, m);
  c[3] += cv::Point2f(-m, m);
  return true;
}
